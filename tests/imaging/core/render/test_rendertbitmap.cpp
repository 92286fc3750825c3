// Drawing a picture into a platform bitmap: the bitmap is wrapped for the
// call, so what lands in its rows must be exactly what the renderer draws
// into a picture in memory, and a bitmap the renderer cannot write (not
// 24 bits once wrapped) must come back untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/render/ierender.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace test_rendertbitmap_tests {

namespace {

constexpr Integer kW = 20, kH = 16;  // the target
constexpr Integer kSW = 13, kSH = 9;  // the source

// What the target holds before drawing, so that blending and clipping show.
Byte Backdrop(Integer X, Integer Y, Integer C) { return Byte((X * 37 + Y * 23 + C * 90 + 11) % 256); }

std::unique_ptr<TBitmap> PlatformTarget() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(kW, kH);
  for (Integer y = 0; y < kH; ++y) {
    Byte* row = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < kW; ++x)
      for (Integer c = 0; c < 3; ++c) row[3 * x + c] = Backdrop(x, y, c);
  }
  return b;
}

std::unique_ptr<TIEBitmap> MemoryTarget() {
  auto b = std::make_unique<TIEBitmap>(kW, kH, ie24RGB);
  for (Integer y = 0; y < kH; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kW; ++x)
      for (Integer c = 0; c < 3; ++c) row[3 * x + c] = Backdrop(x, y, c);
  }
  return b;
}

// A source of the given format with uneven content; with Alpha, an alpha
// channel that runs from transparent to opaque across the picture.
std::unique_ptr<TIEBitmap> Source(TIEPixelFormat PF, bool Alpha) {
  auto b = std::make_unique<TIEBitmap>(kSW, kSH, PF);
  for (Integer y = 0; y < kSH; ++y)
    for (Integer x = 0; x < kSW; ++x) {
      switch (PF) {
        case ie24RGB:
          b->SetPixelTriple(x, y, TRGB{Byte(x * 19 + y * 3), Byte(200 - x * 7 - y * 11), Byte(x * y * 5 + 30)});
          break;
        case ie8g:
        case ie8p:
          b->SetPixelByte(x, y, Byte((x * 29 + y * 13) % 256));
          break;
        case ie1g: {
          Byte& cell = static_cast<Byte*>(b->GetScanline(y))[x / 8];
          const Byte bit = Byte(0x80 >> (x % 8));
          cell = (x + y) % 3 == 0 ? Byte(cell | bit) : Byte(cell & ~bit);
          break;
        }
        default:
          break;
      }
    }
  if (PF == ie8p)
    for (Integer i = 0; i < 256; ++i) b->SetPaletteColor(i, TRGB{Byte(255 - i), Byte(i / 2), Byte(i)});
  if (PF == ie8g) b->SetContrast(30);
  if (Alpha) {
    TIEBitmap* a = b->GetAlphaChannel();
    for (Integer y = 0; y < kSH; ++y)
      for (Integer x = 0; x < kSW; ++x) a->SetPixelByte(x, y, Byte(x * 255 / (kSW - 1)));
  }
  return b;
}

std::vector<Byte> Pixels(TBitmap* B) {
  std::vector<Byte> out;
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* row = static_cast<const Byte*>(B->ScanLine(y));
    out.insert(out.end(), row, row + 3 * B->Width());
  }
  return out;
}

std::vector<Byte> Pixels(TIEBitmap& B) {
  std::vector<Byte> out;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* row = static_cast<const Byte*>(B.GetScanline(y));
    out.insert(out.end(), row, row + 3 * B.Width());
  }
  return out;
}

struct TCase {
  const char* Name;
  TIEPixelFormat Format;
  Integer DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH;
  Integer Transparency;
  TResampleFilter Filter;
  Byte Blend;
  bool Clip;         // draw only inside kClip
  bool Alpha;        // the source has a partial alpha channel
  bool EnableAlpha;
  bool ShortForm;    // RenderToTBitmap against RenderToTIEBitmap
};

constexpr Integer kClip[4] = {3, 2, 11, 9};  // inclusive

const TCase kCases[] = {
    {"copy_1to1", ie24RGB, 2, 3, kSW, kSH, 0, 0, kSW, kSH, 255, rfNone, 0, false, false, true, false},
    {"copy_1to1_short", ie24RGB, 5, 1, kSW, kSH, 0, 0, kSW, kSH, 255, rfNone, 0, false, false, true, true},
    {"enlarged_filtered", ie24RGB, 0, 0, kW, kH, 0, 0, kSW, kSH, 255, rfLanczos3, 0, false, false, true, false},
    {"shrunk_partly_outside", ie24RGB, -4, -2, 10, 7, 1, 1, 12, 8, 255, rfNone, 0, false, false, true, false},
    {"overhanging_far_side", ie24RGB, 12, 10, 17, 11, 0, 0, kSW, kSH, 255, rfNone, 0, false, false, true, true},
    {"clipped", ie24RGB, 0, 0, kW, kH, 0, 0, kSW, kSH, 255, rfNone, 0, true, false, true, false},
    {"half_transparent_blend", ie24RGB, 1, 1, 15, 12, 0, 0, kSW, kSH, 128, rfNone, 14, false, false, true, false},
    {"source_alpha", ie24RGB, 0, 0, kW, kH, 0, 0, kSW, kSH, 255, rfNone, 0, false, true, true, false},
    {"source_alpha_short", ie24RGB, 0, 0, kW, kH, 0, 0, kSW, kSH, 200, rfNone, 0, false, true, true, true},
    {"source_alpha_ignored", ie24RGB, 0, 0, kW, kH, 0, 0, kSW, kSH, 255, rfNone, 0, false, true, false, false},
    {"palette", ie8p, 3, 2, 14, 10, 0, 0, kSW, kSH, 255, rfNone, 0, false, false, true, false},
    {"grey_contrast", ie8g, 0, 0, kW, kH, 2, 1, 9, 7, 255, rfNone, 0, true, false, true, false},
    {"one_bit_shrunk_filtered", ie1g, 0, 0, 7, 5, 0, 0, kSW, kSH, 255, rfTriangle, 0, false, false, true, false},
};

class RenderToTBitmapCases : public ::testing::TestWithParam<TCase> {};

}  // namespace

TEST_P(RenderToTBitmapCases, RowsEqualTheRenderIntoAPictureInMemory) {
  const TCase& k = GetParam();
  auto src = Source(k.Format, k.Alpha);
  auto expected = MemoryTarget();
  auto target = PlatformTarget();
  const Integer* clip = k.Clip ? kClip : nullptr;
  if (k.ShortForm) {
    src->RenderToTIEBitmap(expected.get(), k.DstX, k.DstY, k.DstW, k.DstH, k.SrcX, k.SrcY, k.SrcW, k.SrcH,
                           k.Transparency, k.Filter, k.Blend);
    src->RenderToTBitmap(target.get(), k.DstX, k.DstY, k.DstW, k.DstH, k.SrcX, k.SrcY, k.SrcW, k.SrcH,
                         k.Transparency, k.Filter, k.Blend);
  } else {
    std::unique_ptr<TIERowTable> r1, r2;
    std::unique_ptr<TIEMapTable> x1, x2, y1, y2;
    src->RenderToTIEBitmapEx(expected.get(), r1, x1, y1, clip, k.DstX, k.DstY, k.DstW, k.DstH, k.SrcX, k.SrcY,
                             k.SrcW, k.SrcH, k.EnableAlpha, false, k.Transparency, k.Filter, true, k.Blend);
    src->RenderToTBitmapEx(target.get(), r2, x2, y2, clip, k.DstX, k.DstY, k.DstW, k.DstH, k.SrcX, k.SrcY, k.SrcW,
                           k.SrcH, k.EnableAlpha, false, k.Transparency, k.Filter, true, k.Blend);
    EXPECT_FALSE(r2 || x2 || y2) << "tables built by the call are freed";
  }
  const std::vector<Byte> want = Pixels(*expected), got = Pixels(target.get());
  ASSERT_EQ(got.size(), want.size());
  // The case must draw something, or the comparison would prove nothing.
  Integer changed = 0;
  for (Integer y = 0; y < kH; ++y)
    for (Integer x = 0; x < kW; ++x)
      for (Integer c = 0; c < 3; ++c) {
        const size_t i = size_t(3 * (y * kW + x) + c);
        changed += want[i] != Backdrop(x, y, c);
        ASSERT_EQ(got[i], want[i]) << k.Name << " at " << x << "," << y << " channel " << c;
        if (clip && (x < kClip[0] || y < kClip[1] || x > kClip[2] || y > kClip[3])) {
          ASSERT_EQ(got[i], Backdrop(x, y, c)) << k.Name << " drew outside the clip at " << x << "," << y;
        }
      }
  EXPECT_GT(changed, 0) << k.Name;
  EXPECT_EQ(target->PixelFormat(), pf24bit);
  EXPECT_EQ(target->Width(), kW);
  EXPECT_EQ(target->Height(), kH);
}

INSTANTIATE_TEST_SUITE_P(Geometries, RenderToTBitmapCases, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TCase>& i) { return std::string(i.param.Name); });

// The wrapped bitmap is the caller's: its canvas shows what was drawn, and
// it outlives the call (the sanitizer build catches a wrapper that frees it).
TEST(RenderToTBitmap, DrawsIntoTheCallersBitmapSeenByItsCanvas) {
  auto src = Source(ie24RGB, false);
  auto target = PlatformTarget();
  src->RenderToTBitmap(target.get(), 4, 3, kSW, kSH, 0, 0, kSW, kSH, 255, rfNone, 0);
  for (const auto& [x, y] : {std::pair{0, 0}, std::pair{4, 3}, std::pair{10, 7}, std::pair{16, 11}}) {
    const bool inside = x >= 4 && y >= 3 && x < 4 + kSW && y < 3 + kSH;
    const TRGB p = inside ? src->GetPixelTriple(x - 4, y - 3) : TRGB{Backdrop(x, y, 0), Backdrop(x, y, 1),
                                                                      Backdrop(x, y, 2)};
    EXPECT_EQ(Cardinal(target->Canvas()->Pixels(x, y)), Cardinal(RGB(p.r, p.g, p.b))) << x << "," << y;
  }
  // Drawing on it afterwards still works.
  target->Canvas()->SetPixels(0, 0, clRed);
  EXPECT_EQ(Cardinal(target->Canvas()->Pixels(0, 0)), Cardinal(clRed));
}

// Tables kept between calls (FreeTables false) come back through the
// arguments; the row table holds the platform bitmap's own rows, and using
// the tables again draws the same picture.
TEST(RenderToTBitmap, KeptTablesPointAtTheBitmapsRowsAndDrawTheSame) {
  auto src = Source(ie24RGB, false);
  auto target = PlatformTarget();
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xMap, yMap;
  src->RenderToTBitmapEx(target.get(), rows, xMap, yMap, nullptr, 1, 2, 17, 11, 0, 0, kSW, kSH, true, true, 255,
                         rfNone, false, 0);
  ASSERT_TRUE(rows && xMap && yMap);
  ASSERT_EQ(rows->size(), size_t(kH));
  for (Integer y = 0; y < kH; ++y) EXPECT_EQ((*rows)[size_t(y)], target->ScanLine(y)) << y;
  const std::vector<Byte> first = Pixels(target.get());

  auto again = PlatformTarget();
  ASSERT_NE(Pixels(again.get()), first);
  // The same rows, reset to the backdrop, drawn with the kept tables.
  for (Integer y = 0; y < kH; ++y) std::memcpy(target->ScanLine(y), again->ScanLine(y), size_t(3 * kW));
  src->RenderToTBitmapEx(target.get(), rows, xMap, yMap, nullptr, 1, 2, 17, 11, 0, 0, kSW, kSH, true, true, 255,
                         rfNone, true, 0);
  EXPECT_EQ(Pixels(target.get()), first);
  EXPECT_TRUE(rows && xMap && yMap) << "tables passed in stay the caller's";
}

// Only a bitmap that wraps as a 24-bit picture is drawn on: 1, 8 and 32-bit
// rows are not 24-bit pixels, and writing them as such would scramble them.
// A device bitmap wraps as 24 bits and is drawn on.
TEST(RenderToTBitmap, TargetPixelFormats) {
  auto src = Source(ie24RGB, false);
  for (TPixelFormat pf : {pf1bit, pf8bit, pf32bit}) {
    TBitmap b;
    b.SetPixelFormat(pf);
    b.SetSize(kW, kH);
    const Integer rowBytes = pf == pf1bit ? (kW + 7) / 8 : pf == pf8bit ? kW : 4 * kW;
    for (Integer y = 0; y < kH; ++y) {
      Byte* row = static_cast<Byte*>(b.ScanLine(y));
      for (Integer i = 0; i < rowBytes; ++i) row[i] = Backdrop(i, y, 0);
    }
    src->RenderToTBitmap(&b, 0, 0, kW, kH, 0, 0, kSW, kSH, 255, rfNone, 0);
    EXPECT_EQ(b.PixelFormat(), pf) << int(pf);
    for (Integer y = 0; y < kH; ++y) {
      const Byte* row = static_cast<const Byte*>(b.ScanLine(y));
      for (Integer i = 0; i < rowBytes; ++i) ASSERT_EQ(row[i], Backdrop(i, y, 0)) << int(pf) << " " << i << "," << y;
    }
  }

  TBitmap device;  // a new bitmap: device format
  device.SetSize(kW, kH);
  device.Canvas()->Brush()->SetColor(clWhite);
  device.Canvas()->FillRect(TRect(0, 0, kW, kH));
  src->RenderToTBitmap(&device, 3, 2, kSW, kSH, 0, 0, kSW, kSH, 255, rfNone, 0);
  ASSERT_EQ(device.PixelFormat(), pf24bit);
  TIEBitmap expected(kW, kH, ie24RGB);
  expected.Fill(0xFFFFFF);
  src->RenderToTIEBitmap(&expected, 3, 2, kSW, kSH, 0, 0, kSW, kSH, 255, rfNone, 0);
  EXPECT_EQ(Pixels(&device), Pixels(expected));
}

}  // namespace test_rendertbitmap_tests
