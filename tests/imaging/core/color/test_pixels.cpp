// Single-pixel access with the Full flag, fills, rectangle moves, canvas
// resizing and the whole-picture tests.
#include <cmath>
#include <limits>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/base/ieglobals.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_pixels_tests {

namespace {

using Pixels = FormulaCMYKTest;  // CMYK pixels read and fill by the formulas

// Each writer keeps Full by its own rule: a value below the maximum clears
// it, the maximum leaves it; the DWord and triple writers never touch it.
TEST_F(Pixels, WritersKeepFullByTheirRules) {
  struct Case {
    const char* name;
    TIEPixelFormat format;
    void (*writeMax)(TIEBitmap&);
    void (*writeLess)(TIEBitmap&);
    bool lessClears;
  };
  const Case cases[] = {
      {"Byte", ie8g, [](TIEBitmap& b) { b.SetPixelByte(1, 1, 255); }, [](TIEBitmap& b) { b.SetPixelByte(1, 1, 254); }, true},
      {"Word", ie16g, [](TIEBitmap& b) { b.SetPixelWord(1, 1, 65535); }, [](TIEBitmap& b) { b.SetPixelWord(1, 1, 65534); }, true},
      {"Float", ie32f, [](TIEBitmap& b) { b.SetPixelFloat(1, 1, 1.5f); },
       [](TIEBitmap& b) { b.SetPixelFloat(1, 1, std::numeric_limits<float>::quiet_NaN()); }, true},
      {"RGB", ie24RGB, [](TIEBitmap& b) { b.SetPixelRGB(1, 1, TRGB{255, 255, 255}); },
       [](TIEBitmap& b) { b.SetPixelRGB(1, 1, TRGB{255, 254, 255}); }, true},
      {"RGB48", ieRGB48, [](TIEBitmap& b) { b.SetPixelRGB48(1, 1, TRGB48{65535, 65535, 65535}); },
       [](TIEBitmap& b) { b.SetPixelRGB48(1, 1, TRGB48{65535, 65535, 0}); }, true},
      {"DWord", ieCMYK, [](TIEBitmap& b) { b.SetPixelDWord(1, 1, 0xFFFFFFFF); }, [](TIEBitmap& b) { b.SetPixelDWord(1, 1, 0); }, false},
      {"Triple", ieCIELab, [](TIEBitmap& b) { b.SetPixelTriple(1, 1, TRGB{255, 255, 255}); },
       [](TIEBitmap& b) { b.SetPixelTriple(1, 1, TRGB{0, 0, 0}); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIEBitmap b(3, 3, c.format);
    b.SetFull(true);
    c.writeMax(b);
    EXPECT_TRUE(b.Full());
    c.writeLess(b);
    EXPECT_EQ(b.Full(), !c.lessClears);
  }
}

TEST_F(Pixels, AccessorsReadWhatWasWrittenWhereTheLayoutSaysInUnalignedRows) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  TIEBitmap w(3, 2, ie16g);
  w.SetRowAlignment(8);  // rows of 6 bytes: the second row starts unaligned
  ASSERT_TRUE(w.Allocate(3, 2, ie16g));
  w.SetPixelWord(2, 1, 0x1234);
  EXPECT_EQ(w.GetPixelWord(2, 1), 0x1234);
  EXPECT_EQ(Px(w, 4, 1), 0x34);
  EXPECT_EQ(Px(w, 5, 1), 0x12);

  TIEBitmap f(2, 2, ie32f);
  f.SetPixelFloat(1, 1, 0.25f);
  EXPECT_EQ(f.GetPixelFloat(1, 1), 0.25f);
  TIEBitmap k(2, 2, ieCMYK);
  k.SetPixelDWord(1, 0, 0x04030201);
  EXPECT_EQ(Px(k, 4, 0), 1);
  EXPECT_EQ(Px(k, 7, 0), 4);
  EXPECT_EQ(k.GetPixelDWord(1, 0), 0x04030201u);
  TIEBitmap rgb(2, 2, ie24RGB);
  rgb.SetPixelRGB(1, 1, TRGB{1, 2, 3});
  EXPECT_EQ(Px(rgb, 3, 1), 1);
  EXPECT_EQ(rgb.GetPixelRGBAddress(1, 1)->r, 3);
  TIEBitmap w48(2, 1, ieRGB48);
  w48.SetPixelRGB48(1, 0, TRGB48{0x0102, 0x0304, 0x0506});
  EXPECT_EQ(Px(w48, 6, 0), 0x02);  // red first, little-endian
  TRGB48 back;
  w48.GetPixelRGB48(1, 0, back);
  EXPECT_EQ(back.b, 0x0506);
}

// Any format reads as a colour triple; float samples clamp.
TEST_F(Pixels, GetPixelAsRGBForEveryFormat) {
  struct Case {
    TIEPixelFormat format;
    void (*set)(TIEBitmap&);
    TRGB want;  // blue, green, red
  };
  const Case cases[] = {
      {ie1g, [](TIEBitmap& b) { Px(b, 0, 0) = 0x40; }, {255, 255, 255}},
      {ie8p, [](TIEBitmap& b) { b.SetPixelByte(1, 0, 9); b.SetPaletteColor(9, TRGB{1, 2, 3}); }, {1, 2, 3}},
      {ie8g, [](TIEBitmap& b) { b.SetPixelByte(1, 0, 77); }, {77, 77, 77}},
      {ie16g, [](TIEBitmap& b) { b.SetPixelWord(1, 0, 0xAB12); }, {0xAB, 0xAB, 0xAB}},
      {ie24RGB, [](TIEBitmap& b) { b.SetPixelRGB(1, 0, TRGB{4, 5, 6}); }, {4, 5, 6}},
      {ie32f, [](TIEBitmap& b) { b.SetPixelFloat(1, 0, 7.0f); }, {255, 255, 255}},
      {ieCMYK, [](TIEBitmap& b) { b.SetPixelDWord(1, 0, IEMakeCMYK(255, 128, 0, 255)); }, {0, 128, 255}},
      {ieRGB48, [](TIEBitmap& b) { b.SetPixelRGB48(1, 0, TRGB48{0x1100, 0x2200, 0x3300}); }, {0x33, 0x22, 0x11}},
      {ieCIELab, [](TIEBitmap& b) { b.SetPixelTriple(1, 0, TRGB{255, 0, 0}); }, {255, 255, 255}},
      {ie32RGB, [](TIEBitmap& b) { b.SetPixelDWord(1, 0, 0x00030201); }, {1, 2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.format));
    TIEBitmap b(2, 1, c.format);
    c.set(b);
    TRGB got;
    b.GetPixelAsRGB(1, 0, got);
    EXPECT_EQ((std::vector<int>{got.b, got.g, got.r}), (std::vector<int>{c.want.b, c.want.g, c.want.r}));
  }
  TIEBitmap none;
  TRGB got{1, 1, 1};
  none.GetPixelAsRGB(0, 0, got);
  EXPECT_EQ(got.r + got.g + got.b, 0);
}

TEST_F(Pixels, AlphaAccessCreatesTheChannelOnFirstUse) {
  TIEBitmap b(3, 2, ie24RGB);
  EXPECT_EQ(b.GetAlpha(2, 1), 255);
  ASSERT_TRUE(b.HasAlphaChannel());
  b.SetFull(true);
  b.SetAlpha(2, 1, 40);
  EXPECT_EQ(b.GetAlpha(2, 1), 40);
  EXPECT_FALSE(b.Full());
  EXPECT_FALSE(b.GetAlphaChannel()->Full());
  TIEBitmap* a = b.GetAlphaChannel();
  EXPECT_EQ(a->GetAlpha(2, 1), 40);  // an alpha channel reads its own bytes
  a->SetAlpha(0, 0, 1);
  EXPECT_EQ(b.GetAlpha(0, 0), 1);
  EXPECT_FALSE(a->HasAlphaChannel());
}

// --- Fill ------------------------------------------------------------------------

TEST_F(Pixels, FillWritesEveryFormatAndSetsFullFromTheValue) {
  struct Case {
    TIEPixelFormat format;
    double value;
    std::vector<Byte> pixel;  // bytes of every pixel afterwards
    bool full;
  };
  const TCMYK red = IEConvertRGBToCMYK(TRGB{0, 0, 255});
  const TCIELab white = IERGBToCIELab(TRGB{255, 255, 255});
  const Case cases[] = {
      {ie8g, 255, {255}, true},
      {ie8g, 0x1FF, {255}, false},  // the low byte is written; Full wants the value 255 itself
      {ie8p, 7.9, {7}, false},
      {ie16g, 65535, {255, 255}, true},
      {ie16g, 0x10203, {3, 2}, false},
      {ie24RGB, 0x0000FF, {0, 0, 255}, false},  // a TColor: red in the low byte
      {ie24RGB, 0xFFFFFF, {255, 255, 255}, true},
      {ie32f, 1.0, {0, 0, 0x80, 0x3F}, true},
      {ie32f, 0.5, {0, 0, 0, 0x3F}, false},
      {ieCMYK, 0x0000FF, {red.c, red.m, red.y, red.k}, false},
      {ieRGB48, 0x00FF00, {0, 0, 255, 255, 0, 0}, false},
      {ieCIELab, 0xFFFFFF, {white.l, Byte(white.a), Byte(white.b)}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << int(c.format) << " " << c.value);
    TIEBitmap b(3, 2, c.format);
    b.SetFull(!c.full);
    b.Fill(c.value);
    EXPECT_EQ(b.Full(), c.full);
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x)
        for (size_t k = 0; k < c.pixel.size(); ++k) ASSERT_EQ(Px(b, Integer(x * c.pixel.size() + k), y), c.pixel[k]);
  }
  // ie1g: every byte, padding included.
  TIEBitmap bw(3, 2, ie1g);
  bw.Fill(-5);
  EXPECT_TRUE(bw.Full());
  for (Integer i = 0; i < bw.RowLen(); ++i) EXPECT_EQ(Px(bw, i, 1), 255);
  bw.Fill(0);
  EXPECT_FALSE(bw.Full());
  EXPECT_TRUE(bw.IsAllZero());
}

// ie32RGB keeps the fourth byte of every pixel, row 0 included, also when the
// rows live in a temporary file (which a write-only fill would not read in).
TEST_F(Pixels, FillKeepsTheFourthByteOf32BitPixels) {
  for (int64_t threshold : {std::numeric_limits<int64_t>::max(), int64_t(0)}) {
    IEMemoryThresholdOverride = threshold;
    TIEBitmap b(3, 3, ie32RGB);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 3; ++x) b.SetPixelDWord(x, y, Cardinal(x + 3 * y + 1) << 24);
    b.Fill(0x336699);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 3; ++x) ASSERT_EQ(b.GetPixelDWord(x, y), (Cardinal(x + 3 * y + 1) << 24) | 0x996633u);
    EXPECT_FALSE(b.Full());
  }
}

TEST_F(Pixels, FillResolvesSystemColours) {
  TIEBitmap b(1, 1, ie24RGB);
  b.Fill(double(int32_t(0xFF000000u | COLOR_WINDOW)));
  COLORREF c = GetSysColor(COLOR_WINDOW);
  TRGB got = b.GetPixelTriple(0, 0);
  EXPECT_EQ(got.r, GetRValue(c));
  EXPECT_EQ(got.b, GetBValue(c));
}

TEST_F(Pixels, FillRectClipsAndClearsFullBelowTheMaximum) {
  TIEBitmap b(5, 4, ie8g);
  b.Fill(255);
  b.FillRect(-3, 2, 99, 1, 0);  // Y2 < Y1: nothing
  EXPECT_TRUE(b.Full());
  b.FillRect(3, -1, 99, 1, 255);
  EXPECT_TRUE(b.Full());
  b.FillRect(3, -1, 99, 1, 9);
  EXPECT_FALSE(b.Full());
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 5; ++x) EXPECT_EQ(b.GetPixelByte(x, y), x >= 3 && y <= 1 ? 9 : 255) << x << "," << y;

  TIEBitmap f(3, 1, ie32f);
  f.FillRect(0, 0, 1, 0, 0.5);
  EXPECT_EQ(f.GetPixelFloat(1, 0), 0.5f);
  EXPECT_EQ(f.GetPixelFloat(2, 0), 0.0f);

  TIEBitmap bw(12, 1, ie1g);
  bw.Fill(0);
  bw.FillRect(3, 0, 9, 0, 1);
  EXPECT_EQ(Px(bw, 0, 0), 0x1F);
  EXPECT_EQ(Px(bw, 1, 0), 0xC0);
  bw.FillRect(4, 0, 4, 0, 0);
  EXPECT_EQ(Px(bw, 0, 0), 0x17);
}

TEST_F(Pixels, MoveRectMovesPixelsAndFillsWhatItLeaves) {
  TIEBitmap b(6, 4, ie8g);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) b.SetPixelByte(x, y, Byte(10 * y + x + 1));
  TIEBitmap orig;
  orig.Assign(&b);
  b.MoveRect(0, 0, 2, 1, 2, 1, 200);  // overlapping move down-right
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) {
      Byte want = orig.GetPixelByte(x, y);
      if (x <= 2 && y <= 1) want = 200;
      if (x >= 2 && x <= 4 && y >= 1 && y <= 2) want = orig.GetPixelByte(x - 2, y - 1);
      ASSERT_EQ(b.GetPixelByte(x, y), want) << x << "," << y;
    }
  // A rectangle partly outside moves only its inside part, to where it
  // would have gone; a destination far away moves nothing but still fills.
  TIEBitmap c;
  c.Assign(&orig);
  c.MoveRect(-2, -2, 1, 1, 1, 1, 7);
  EXPECT_EQ(c.GetPixelByte(0, 0), 7);
  EXPECT_EQ(c.GetPixelByte(1, 1), 7);
  EXPECT_EQ(c.GetPixelByte(3, 3), orig.GetPixelByte(0, 0));
  EXPECT_EQ(c.GetPixelByte(4, 3), orig.GetPixelByte(1, 0));
  EXPECT_EQ(c.GetPixelByte(2, 3), orig.GetPixelByte(2, 3));
  c.MoveRect(0, 0, 5, 3, INT32_MAX, INT32_MIN, 3);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) ASSERT_EQ(c.GetPixelByte(x, y), 3);
}

// --- ResizeCanvas -------------------------------------------------------------------

struct TCanvasCase {
  Integer newW, newH, horiz, vert;
};
void PrintTo(const TCanvasCase& c, std::ostream* os) {
  *os << c.newW << "x" << c.newH << " h" << c.horiz << " v" << c.vert;
}

class ResizeCanvas : public BitmapTest, public ::testing::WithParamInterface<TCanvasCase> {};

// The old picture lands at the offset its alignment gives (halves toward
// zero, negative when the canvas shrinks); everything else is the background,
// in the pixels and in the alpha channel alike.
TEST_P(ResizeCanvas, PlacesTheOldPictureByAlignment) {
  const TCanvasCase& c = GetParam();
  const Integer W = 10, H = 8;
  TIEBitmap b(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      b.SetPixelRGB(x, y, TRGB{Byte(x), Byte(y), 1});
      b.SetAlpha(x, y, Byte(100 + x + 10 * y));
    }
  b.ResizeCanvas(c.newW, c.newH, 0xFFFFFF, 7, c.horiz, c.vert);
  ASSERT_EQ(b.Width(), c.newW);
  ASSERT_EQ(b.Height(), c.newH);
  auto offset = [](Integer old, Integer now, Integer align) {
    return align == 1 ? (now - old) / 2 : align == 2 ? now - old : 0;
  };
  const Integer ox = offset(W, c.newW, c.horiz), oy = offset(H, c.newH, c.vert);
  for (Integer y = 0; y < c.newH; ++y)
    for (Integer x = 0; x < c.newW; ++x) {
      Integer sx = x - ox, sy = y - oy;
      bool old = sx >= 0 && sx < W && sy >= 0 && sy < H;
      TRGB p = b.GetPixelTriple(x, y);
      if (old) {
        ASSERT_TRUE(p.b == sx && p.g == sy && p.r == 1) << x << "," << y;
        ASSERT_EQ(b.GetAlpha(x, y), 100 + sx + 10 * sy) << x << "," << y;
      } else {
        ASSERT_TRUE(p.b == 255 && p.g == 255 && p.r == 255) << x << "," << y;
        ASSERT_EQ(b.GetAlpha(x, y), 7) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(Alignments, ResizeCanvas,
                         ::testing::Values(TCanvasCase{15, 13, 0, 0}, TCanvasCase{15, 13, 1, 0}, TCanvasCase{15, 13, 2, 0},
                                           TCanvasCase{15, 13, 0, 1}, TCanvasCase{15, 13, 1, 1}, TCanvasCase{15, 13, 2, 1},
                                           TCanvasCase{15, 13, 0, 2}, TCanvasCase{15, 13, 1, 2}, TCanvasCase{15, 13, 2, 2},
                                           TCanvasCase{5, 3, 0, 0}, TCanvasCase{5, 3, 1, 1}, TCanvasCase{5, 3, 2, 2},
                                           TCanvasCase{7, 11, 1, 2}, TCanvasCase{13, 5, 2, 1}, TCanvasCase{10, 8, 1, 1}));

TEST_F(Pixels, ResizeCanvasSpecimens) {
  // 100 x 100 to 200 x 100 centred: old columns at 50..149.
  TIEBitmap b(100, 100, ie8g);
  b.Fill(9);
  b.ResizeCanvas(200, 100, 200, 255, 1, 0);
  for (Integer x : {0, 49, 150, 199}) EXPECT_EQ(b.GetPixelByte(x, 50), 200) << x;
  for (Integer x : {50, 149}) EXPECT_EQ(b.GetPixelByte(x, 50), 9) << x;
  // 100 x 100 to 40 x 100 centred keeps columns 30..69.
  TIEBitmap s(100, 100, ie8g);
  for (Integer x = 0; x < 100; ++x) s.SetPixelByte(x, 0, Byte(x));
  s.ResizeCanvas(40, 100, 0, 255, 1, 0);
  EXPECT_EQ(s.GetPixelByte(0, 0), 30);
  EXPECT_EQ(s.GetPixelByte(39, 0), 69);
  // Nothing for an empty picture or a size that is not positive.
  TIEBitmap e;
  e.ResizeCanvas(5, 5, 0, 255, 0, 0);
  EXPECT_TRUE(e.IsEmpty());
  s.ResizeCanvas(0, 10, 0, 255, 0, 0);
  EXPECT_EQ(s.Width(), 40);
}

TEST_F(Pixels, ResizeCanvasOfOneBitPictures) {
  TIEBitmap b(9, 2, ie1g);
  b.Fill(1);
  b.ResizeCanvas(13, 2, 0, 255, 2, 0);  // right: old picture at columns 4..12
  for (Integer x = 0; x < 13; ++x) {
    TRGB c;
    b.GetPixelAsRGB(x, 1, c);
    EXPECT_EQ(c.g, x >= 4 ? 255 : 0) << x;
  }
}

// --- whole-picture tests --------------------------------------------------------------

TEST_F(Pixels, SyncFullIsAllZeroAndIsGrayScale) {
  TIEBitmap b(5, 3, ie8g);
  b.Fill(255);
  b.SetPixelByte(4, 2, 254);
  EXPECT_FALSE(b.Full());
  b.SyncFull();
  EXPECT_FALSE(b.Full());
  b.SetPixelByte(4, 2, 255);
  b.SyncFull();
  EXPECT_TRUE(b.Full());
  EXPECT_FALSE(b.IsAllZero());
  // Padding bytes do not count.
  TIEBitmap z(5, 3, ie8g);
  for (Integer y = 0; y < 3; ++y) Px(z, 6, y) = 1;
  EXPECT_TRUE(z.IsAllZero());
  z.SetPixelByte(0, 2, 1);
  EXPECT_FALSE(z.IsAllZero());

  TIEBitmap rgb(3, 2, ie24RGB);
  rgb.Fill(0x808080);
  EXPECT_TRUE(rgb.IsGrayScale());
  rgb.SetPixelRGB(2, 1, TRGB{1, 1, 2});
  EXPECT_FALSE(rgb.IsGrayScale());
  TIEBitmap w(2, 1, ieRGB48);
  w.SetPixelRGB48(1, 0, TRGB48{0x100, 0x100, 0x101});
  EXPECT_FALSE(w.IsGrayScale());
  TIEBitmap x32(2, 1, ie32RGB);
  x32.SetPixelDWord(0, 0, 0x07050505);  // the fourth byte does not count
  EXPECT_TRUE(x32.IsGrayScale());
  TIEBitmap p(2, 1, ie8p);
  EXPECT_TRUE(p.IsGrayScale());
  p.SetPaletteColor(200, TRGB{1, 2, 1});
  EXPECT_FALSE(p.IsGrayScale());
  TIEBitmap lab(2, 1, ieCIELab);
  lab.SetPixelTriple(0, 0, TRGB{9, 50, 50});
  EXPECT_TRUE(lab.IsGrayScale());
}

}  // namespace

}  // namespace test_pixels_tests
