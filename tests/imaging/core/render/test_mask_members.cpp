// The mask's own drawing operations keep one scaled plane for outline and
// outer area across repaints of changing sizes and a changing selection; each
// drawing must match a drawing from a fresh plane.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "imaging/core/render/iemaskdraw.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace test_mask_members_tests {

namespace {

std::unique_ptr<TBitmap> White(Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) std::fill_n(static_cast<Byte*>(b->ScanLine(y)), 3 * W, Byte(255));
  return b;
}

bool Same(TBitmap* A, TBitmap* B) {
  for (Integer y = 0; y < A->Height(); ++y)
    if (!std::equal(static_cast<Byte*>(A->ScanLine(y)), static_cast<Byte*>(A->ScanLine(y)) + 3 * A->Width(),
                    static_cast<Byte*>(B->ScanLine(y))))
      return false;
  return true;
}

// Draws through the member and through the routine with a fresh plane.
struct Step {
  const char* Name;
  bool Outline;
  Integer DxDst, DyDst, XSrc, YSrc, DxSrc, DySrc;
};

TEST(MaskMembers, SharedScaledPlaneMatchesFreshDrawings) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask mask;
    mask.AllocateBits(20, 16, bpp);
    for (Integer y = 3; y <= 9; ++y)
      for (Integer x = 2; x <= 12; ++x) mask.SetPixel(x, y, 255);
    const Step steps[] = {
        {"outline 1:1", true, 20, 16, 0, 0, 20, 16},
        {"outer area at 2x of a part", false, 30, 24, 4, 2, 15, 12},
        {"outline at 3x", true, 60, 48, 0, 0, 20, 16},
        {"outer area 1:1", false, 20, 16, 0, 0, 20, 16},
    };
    for (int round = 0; round < 2; ++round) {
      for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.Name << ", round " << round);
        auto viaMember = White(s.DxDst + 2, s.DyDst + 2);
        auto viaRoutine = White(s.DxDst + 2, s.DyDst + 2);
        TIEMaskScaledBuffer fresh;
        if (s.Outline) {
          TRect memberRect, routineRect;
          mask.DrawOutline(viaMember->Canvas(), 1, 1, s.DxDst, s.DyDst, s.XSrc, s.YSrc, s.DxSrc, s.DySrc, round,
                           clRed, clBlue, &memberRect);
          IEMaskDrawOutline(mask, fresh, viaRoutine->Canvas(), 1, 1, s.DxDst, s.DyDst, s.XSrc, s.YSrc, s.DxSrc,
                            s.DySrc, round, clRed, clBlue, &routineRect);
          EXPECT_EQ(memberRect, routineRect);
        } else {
          mask.DrawOuterArea(viaMember.get(), 1, 1, s.DxDst, s.DyDst, s.XSrc, s.YSrc, s.DxSrc, s.DySrc, 128, clRed);
          IEMaskDrawOuterArea(mask, fresh, viaRoutine.get(), 1, 1, s.DxDst, s.DyDst, s.XSrc, s.YSrc, s.DxSrc,
                              s.DySrc, 128, clRed);
        }
        EXPECT_FALSE(Same(viaMember.get(), White(s.DxDst + 2, s.DyDst + 2).get())) << "nothing drawn";
        EXPECT_TRUE(Same(viaMember.get(), viaRoutine.get()));
        EXPECT_EQ(mask.ScaledBuffer().Width, s.DxDst);
        EXPECT_EQ(mask.ScaledBuffer().Height, s.DyDst);
      }
      // The selection grows between repaints: the kept plane must follow it.
      for (Integer y = 10; y <= 14; ++y)
        for (Integer x = 8; x <= 18; ++x) mask.SetPixel(x, y, 255);
    }
    // A new plane of another size drops the scaled one.
    mask.AllocateBits(5, 5, bpp);
    EXPECT_TRUE(mask.ScaledBuffer().Bits.empty());
    EXPECT_EQ(mask.ScaledBuffer().Width, 0);
  }
}

}  // namespace

}  // namespace test_mask_members_tests
