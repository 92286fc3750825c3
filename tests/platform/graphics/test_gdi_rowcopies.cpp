// Solid fills and true-colour copies between depths run a row at a time;
// these pin them, byte for byte, to a pixel-by-pixel model: odd widths,
// columns outside the source and a clip region with a hole.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/graphics/gdi.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_gdi_rowcopies_tests {

namespace {

// The pixel's bytes in a bottom-up test DIB.
uint8_t* PixelAt(const TTestDib& D, Integer X, Integer Y) {
  return D.Bits + static_cast<size_t>(D.H - 1 - Y) * D.Row + static_cast<size_t>(X) * (D.BitCount / 8);
}

// The whole DIB minus pixel (3, 2): a clip that is not a rectangle.
void ClipWithHole(HDC DC, Integer W, Integer H) {
  HRGN all = CreateRectRgn(0, 0, W, H), hole = CreateRectRgn(3, 2, 4, 3);
  CombineRgn(all, all, hole, RGN_DIFF);
  SelectClipRgn(DC, all);
  DeleteObject(all);
  DeleteObject(hole);
}
bool InClip(Integer X, Integer Y) { return !(X == 3 && Y == 2); }

TEST(GdiRowPaths, SolidFillsMatchSetPixelOnEveryDepth) {
  const COLORREF colour = RGB(200, 100, 37);
  for (Integer bits : {8, 16, 24, 32})
    for (Integer w : {1, 2, 3, 4, 5, 7, 13}) {
      TTestDib fill(w + 4, 5, bits), model(w + 4, 5, bits);
      fill.Randomize(static_cast<unsigned>(bits * 100 + w));
      model.Randomize(static_cast<unsigned>(bits * 100 + w));
      const std::vector<uint8_t> hole(PixelAt(fill, 3, 2), PixelAt(fill, 3, 2) + bits / 8);
      ClipWithHole(fill.DC, fill.W, fill.H);
      ClipWithHole(model.DC, model.W, model.H);
      HBRUSH b = CreateSolidBrush(colour);
      const TRect r(1, 1, 1 + w + 8, 4);  // runs past the right edge
      FillRect(fill.DC, &r, b);
      DeleteObject(b);
      for (Integer y = r.Top; y < r.Bottom; ++y)
        for (Integer x = r.Left; x < model.W; ++x) SetPixel(model.DC, x, y, colour);
      EXPECT_EQ(fill.Bytes(), model.Bytes()) << bits << " bits, width " << w;
      // The hole in the clip kept its old pixel; its neighbours took the colour.
      EXPECT_EQ(std::vector<uint8_t>(PixelAt(fill, 3, 2), PixelAt(fill, 3, 2) + bits / 8), hole) << bits;
      if (bits >= 24) {
        EXPECT_EQ(fill.At(2, 2), colour);
      }
    }
}

TEST(GdiRowPaths, CopiesBetweenTwentyFourAndThirtyTwoBitsMatchThePixelModel) {
  for (auto [sbits, dbits] : {std::pair<Integer, Integer>{24, 32}, {32, 24}})
    for (Integer w = 1; w <= 9; ++w)
      for (Integer xs : {-2, 0, 3}) {
        TTestDib src(7, 4, sbits), dst(w + 6, 5, dbits);
        src.Randomize(static_cast<unsigned>(w * 7 + xs + 50));
        dst.Randomize(static_cast<unsigned>(w * 11 + xs + sbits));
        std::vector<uint8_t> before = dst.Bytes();
        ClipWithHole(dst.DC, dst.W, dst.H);
        ASSERT_TRUE(BitBlt(dst.DC, 2, 1, w, 3, src.DC, xs, 1, SRCCOPY));
        // Model: every destination pixel inside the clip whose source column
        // exists takes the source's blue, green and red; a 32-bit destination
        // gets 0 in its fourth byte.
        TTestDib expect(w + 6, 5, dbits);
        std::memcpy(expect.Bits, before.data(), before.size());
        for (Integer y = 1; y < 4; ++y)
          for (Integer x = 2; x < 2 + w; ++x) {
            const Integer sx = xs + (x - 2), sy = 1 + (y - 1);
            if (!InClip(x, y) || sx < 0 || sx >= src.W) continue;
            uint8_t* d = PixelAt(expect, x, y);
            const uint8_t* s = PixelAt(src, sx, sy);
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            if (dbits == 32) d[3] = 0;
          }
        EXPECT_EQ(dst.Bytes(), expect.Bytes()) << sbits << " to " << dbits << ", width " << w << ", from " << xs;
      }
}

}  // namespace

}  // namespace test_gdi_rowcopies_tests
