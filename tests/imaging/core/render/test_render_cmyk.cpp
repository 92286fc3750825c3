// CMYK sources are converted a row at a time while drawing, through the
// display conversion: the pixels must be those of a picture whose pixels
// went through that conversion one at a time, drawn from there, with the
// global colour profile in use and with the formulas, at every scale
// (columns repeated or skipped) and when blended. Without the profile the
// display conversion is the picture conversion itself; with it, it stays
// within 2 levels of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/render/ierender.h"
#include "tests/imaging/core/render/render_support.h"

namespace test_render_cmyk_tests {

using namespace render_test;

namespace {

class UseCMYKProfileScope {
 public:
  explicit UseCMYKProfileScope(bool On) { IEUseCMYKProfile = On; }
  ~UseCMYKProfileScope() { IEUseCMYKProfile = FSaved; }
  UseCMYKProfileScope(const UseCMYKProfileScope&) = delete;
  UseCMYKProfileScope& operator=(const UseCMYKProfileScope&) = delete;

 private:
  bool FSaved = IEUseCMYKProfile;
};

struct DrawCase {
  const char* Name;
  Integer DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, Transparency;
  Byte Op;
};

void Draw(TIEBitmap& Src, TIEBitmap& Dst, const DrawCase& C) {
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xm, ym;
  RenderToTIEBitmapEx(Src, &Dst, rows, xm, ym, nullptr, C.DstX, C.DstY, C.DstW, C.DstH, C.SrcX, C.SrcY, C.SrcW,
                      C.SrcH, true, false, C.Transparency, rfNone, true, C.Op);
}

TEST(RenderCMYK, RowConversionDrawsWhatPixelByPixelConversionDraws) {
  constexpr Integer W = 37, H = 23;
  const DrawCase cases[] = {
      {"one to one", 0, 0, W, H, 0, 0, W, H, 255, 0},
      {"part at an offset", 3, 2, 20, 12, 9, 5, 20, 12, 255, 0},
      {"enlarged, columns and rows repeat", 0, 0, 83, 51, 0, 0, W, H, 255, 0},
      {"enlarged part, window starts left of the picture", -7, -3, 90, 60, 4, 2, 25, 17, 255, 0},
      {"reduced, columns skipped", 1, 1, 11, 9, 0, 0, W, H, 255, 0},
      {"blended", 0, 0, 61, 40, 2, 1, 30, 20, 90, 0},
  };
  const bool profiles = IEInitCMYKProfiles();
  for (bool useProfile : {true, false}) {
    UseCMYKProfileScope scope(useProfile);
    TIEBitmap cmyk, rgb;
    MakeNoise(cmyk, W, H, ieCMYK, 11);
    MakeNoise(rgb, W, H, ieCMYK, 11);
    ASSERT_TRUE(rgb.ConvertToPixelFormat(ie24RGB));
    ASSERT_EQ(rgb.PixelFormat(), ie24RGB);

    // The converted picture holds the per-pixel colours of the picture
    // conversion; "shown" those of the display conversion, one pixel at a
    // time, so comparing with it compares with the per-pixel conversion.
    TIEBitmap shown;
    ASSERT_TRUE(shown.Allocate(W, H, ie24RGB));
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) {
        const Byte* p = static_cast<const Byte*>(cmyk.GetScanline(y)) + size_t(x) * 4;
        const TCMYK k{p[0], p[1], p[2], p[3]};
        TRGB c, d;
        IEConvertCMYKToRGB(k, c);
        ASSERT_TRUE(SameRGB(Pixel(rgb, x, y), c)) << "profile " << useProfile << " at " << x << "," << y;
        IEDisplayCMYKToRGB(&k, &d, 1);
        SetPixel(shown, x, y, d);
        if (useProfile && profiles) {
          EXPECT_LE(std::abs(d.r - c.r), 2) << x << "," << y;
          EXPECT_LE(std::abs(d.g - c.g), 2) << x << "," << y;
          EXPECT_LE(std::abs(d.b - c.b), 2) << x << "," << y;
        } else {
          ASSERT_TRUE(SameRGB(d, c)) << "profile " << useProfile << " at " << x << "," << y;
        }
      }

    for (const DrawCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + (useProfile ? " with profile" : " without profile") +
                   (profiles ? "" : " (none installed)"));
      TIEBitmap a, b;
      MakeNoise(a, 70, 50, ie24RGB, 5);
      MakeNoise(b, 70, 50, ie24RGB, 5);
      Draw(cmyk, a, c);
      Draw(shown, b, c);
      EXPECT_TRUE(SamePixels(a, b));
      // Something was drawn: the destination is no longer the noise it was.
      TIEBitmap before;
      MakeNoise(before, 70, 50, ie24RGB, 5);
      EXPECT_FALSE(SamePixels(a, before));
    }
  }
}

}  // namespace

}  // namespace test_render_cmyk_tests
