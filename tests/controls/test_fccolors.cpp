// Colour arithmetic against Python's colorsys and single-precision blends,
// the scheme colours, and the gradient painter's pictures in every direction.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <vector>

#include "controls/fccommon.h"
#include "tests/controls/fc_test_util.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_fccolors_tests {

namespace {

using gt_test::CaptureWithInput;
using gt_test::HaveTool;

// Reads "kind a b c" lines and answers each with three numbers computed by
// colorsys (rounding halves to even, as Python's round does) or in float32.
constexpr const char* kOracle = R"PY(
import colorsys, struct, sys
f32 = lambda x: struct.unpack('f', struct.pack('f', x))[0]
for line in sys.stdin:
    k, a, b, c = line.split()
    a, b, c = int(a), int(b), int(c)
    if k == 'hsl':
        h, l, s = colorsys.rgb_to_hls(a / 255, b / 255, c / 255)
        print(round(h * 240), round(s * 240), round(l * 240))
    elif k == 'rgb':
        r, g, bl = colorsys.hls_to_rgb(a / 239, c / 240, b / 240)
        print(*(round(min(max(x, 0), 1) * 255) for x in (r, g, bl)))
    else:
        w = f32(c / 255); v = f32(1 - w)
        print(*(round(f32(f32(x * w) + f32(y * v))) for x, y in ((a & 255, b & 255), (a >> 8 & 255, b >> 8 & 255), (a >> 16, b >> 16))))
)PY";

std::string Oracle(const std::string& Input) {
  gt_test::TempDir dir("fccolors");
  const std::string script = dir.File("oracle.py");
  FILE* f = std::fopen(script.c_str(), "w");
  std::fputs(kOracle, f);
  std::fclose(f);
  int rc = -1;
  std::string out = CaptureWithInput("python3 '" + script + "'", Input, &rc);
  EXPECT_EQ(rc, 0);
  return out;
}

TEST(FcColorMaths, HslConversionsAndBlendsEqualTheOracle) {
  ASSERT_TRUE(HaveTool("python3")) << "python3 missing (scripts/install-deps.sh installs it)";
  std::vector<COLORREF> colors;
  for (int r = 0; r <= 255; r += 17)
    for (int g = 0; g <= 255; g += 17)
      for (int b = 0; b <= 255; b += 17) colors.push_back(RGB(r, g, b));
  for (COLORREF c : {0x000001u, 0x010000u, 0xFEFFFFu, 0x7F8080u, 0x808080u, 0x0080FFu, 0xFF00FEu, 0x7F7F7Fu})
    colors.push_back(c);
  std::ostringstream in;
  for (COLORREF c : colors) in << "hsl " << int(GetRValue(c)) << ' ' << int(GetGValue(c)) << ' ' << int(GetBValue(c)) << '\n';
  struct THslIn { int H, S, L; };
  std::vector<THslIn> hsls;
  for (int h = 0; h <= 255; h += 11)
    for (int s = 0; s <= 240; s += 24)
      for (int l = 0; l <= 240; l += 16) hsls.push_back({h, s, l});
  for (THslIn t : {THslIn{239, 240, 120}, THslIn{0, 240, 120}, THslIn{80, 240, 120}, THslIn{160, 240, 120}})
    hsls.push_back(t);
  for (auto& t : hsls) in << "rgb " << t.H << ' ' << t.S << ' ' << t.L << '\n';
  struct TBlend { COLORREF A, B; int W; };
  std::vector<TBlend> blends;
  for (int w : {0, 1, 40, 60, 80, 127, 128, 160, 190, 254, 255})
    for (COLORREF a : {0x000000u, 0xFFFFFFu, 0x149BF0u, 0x3D7Au})
      for (COLORREF b : {0xC0C0C0u, 0xF0FBFFu, 0x010203u}) blends.push_back({a, b, w});
  for (auto& t : blends) in << "blend " << t.A << ' ' << t.B << ' ' << t.W << '\n';

  std::istringstream out(Oracle(in.str()));
  for (COLORREF c : colors) {
    int h, s, l;
    ASSERT_TRUE(out >> h >> s >> l);
    const THsl240 got = ColorToHsl240(static_cast<TColor>(c));
    EXPECT_EQ((THsl240{Byte(h), Byte(s), Byte(l)}), got) << std::hex << c;
    EXPECT_EQ(HueOf(static_cast<TColor>(c)), got.Hue);
  }
  for (auto& t : hsls) {
    int r, g, b;
    ASSERT_TRUE(out >> r >> g >> b);
    EXPECT_EQ(static_cast<TColor>(RGB(r, g, b)), Hsl240ToColor(t.H, t.S, t.L)) << t.H << ' ' << t.S << ' ' << t.L;
  }
  for (auto& t : blends) {
    int r, g, b;
    ASSERT_TRUE(out >> r >> g >> b);
    EXPECT_EQ(static_cast<TColor>(RGB(r, g, b)),
              BlendTwoColors(static_cast<TColor>(t.A), static_cast<TColor>(t.B), t.W))
        << std::hex << t.A << ' ' << t.B << std::dec << ' ' << t.W;
  }
}

TEST(FcColorMaths, LightnessShiftsSaturateAndZeroKeepsTheColourItself) {
  struct TCase { const char* What; TColor Got, Want; };
  const THsl240 face = ColorToHsl240(clBtnFace);
  const THsl240 red = ColorToHsl240(ComplementaryColor(clRed, 120));
  const TCase cases[] = {
      {"black darkened", DarkenColor(clBlack, 200), clBlack},
      {"white lightened", LightenColor(clWhite, 100), clWhite},
      // Lightness 120 + 200 passes 240: every channel saturates.
      {"grey past full lightness", LightenColor(0x808080, 200), clWhite},
      {"darken by 0 is the colour in RGB", DarkenColor(clBtnFace, 0), ColorToRGB(clBtnFace)},
      {"adjust 0 keeps a system colour", AdjustLightness(clBtnFace, 0), clBtnFace},
      {"adjust up is lighten", AdjustLightness(clBtnFace, 30), LightenColor(clBtnFace, 30)},
      {"adjust down is darken", AdjustLightness(clBtnFace, -30), DarkenColor(clBtnFace, 30)},
      {"darkened lightness", static_cast<TColor>(ColorToHsl240(DarkenColor(clBtnFace, 50)).Lightness),
       static_cast<TColor>(face.Lightness - 50)},
      {"hue 239 equals hue 0", Hsl240ToColor(239, 200, 100), Hsl240ToColor(0, 200, 100)},
      {"complement of red is green", red.Hue, 120},
      {"complement at full saturation", red.Saturation, 240},
      {"blend weight 255 is the first colour", BlendTwoColors(clBlack, clBtnFace, 255), clBlack},
      {"blend weight 0 is the second colour", BlendTwoColors(clBlack, clBtnFace, 0), ColorToRGB(clBtnFace)},
  };
  for (const TCase& c : cases) EXPECT_EQ(c.Got, c.Want) << c.What;

  EXPECT_TRUE(ColorsAlike(0x0000FF, 0x0010F0));  // hue and lightness close, saturation ignored
  EXPECT_TRUE(ColorsAlike(0x0000FF, 0x4040C0));
  EXPECT_FALSE(ColorsAlike(0x0000FF, 0x00FF00));  // hues 0 and 80
  EXPECT_FALSE(ColorsAlike(0x000080, 0x8080FF));  // lightness 60 apart
}

TEST(FcColorMaths, SchemeColoursFollowTheSettingOnlyWithThemesOn) {
  struct TCase { const char* Name; Byte Scheme; TColor Light, Dark, Frame; };
  const TCase cases[] = {
      {"", 0, 0xFFEFE3, 0xEABB99, 0xBF7F57},
      {"homestead", 1, 0xEDFFFF, 0x92C7B8, 0x77A17F},
      {"Metallic", 2, 0xFFF9F9, 0xD0BCBD, 0xB19F9F},
      {"NormalColor", 0, 0xFFEFE3, 0xEABB99, 0xBF7F57},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    SetXpColorSchemeName(WideString(c.Name, c.Name + std::strlen(c.Name)));
    XpColorScheme = ReadXpColorScheme();
    EXPECT_EQ(XpColorScheme, c.Scheme);
    TColor a, b, line;
    SetFcThemesEnabled(true);
    GradientColorsForStyle(gcsMSOffice, a, b);
    EXPECT_EQ(a, c.Light);
    EXPECT_EQ(b, c.Dark);
    EXPECT_EQ(FrameColorForStyle(gcsMSOffice), c.Frame);
    StatusGradientColorsForStyle(gcsMSOffice, a, b, line);
    EXPECT_EQ(a, c.Dark);
    EXPECT_EQ(b, c.Light);
    EXPECT_EQ(line, c.Dark);
    // The system style ignores the scheme even with themes on.
    GradientColorsForStyle(gcsSystem, a, b);
    EXPECT_EQ(a, clWindow);
    SetFcThemesEnabled(false);
    GradientColorsForStyle(gcsMSOffice, a, b);
    EXPECT_EQ(a, clWindow);
    EXPECT_EQ(b, DarkenColor(clBtnFace, 10));
    EXPECT_EQ(FrameColorForStyle(gcsMSOffice), LightenColor(clBtnShadow, 30));
    StatusGradientColorsForStyle(gcsMSOffice, a, b, line);
    EXPECT_EQ(a, DarkenColor(clBtnFace, 20));
    EXPECT_EQ(b, clWindow);
    EXPECT_EQ(line, DarkenColor(clBtnFace, 40));
    BarGradientColorsForStyle(gcsMSOffice, a, b);
    EXPECT_EQ(a, BlendTwoColors(clBlack, clBtnFace, 40));
    EXPECT_EQ(b, BlendTwoColors(clBlack, clBtnFace, 80));
  }
  SetXpColorSchemeName(u"");
  XpColorScheme = ReadXpColorScheme();
  EXPECT_EQ(ThemeElementColor(tekGroupBoxCaption), clBtnFace);
  EXPECT_TRUE(ScreenIsFullColor());
  EXPECT_TRUE(IsWindowsVersion(wkWindowsVista));
}

// ---------------------------------------------------------------------------
// Gradients

constexpr COLORREF kStart = 0x2040E0, kStop = 0xE08020, kBack = 0x00FF00;

int Channel(COLORREF C, int I) { return (C >> (8 * I)) & 0xFF; }

// Whether every channel moves only toward To along the sequence.
bool Monotone(const std::vector<COLORREF>& Seq, COLORREF From, COLORREF To) {
  for (size_t i = 1; i < Seq.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      const int d = Channel(Seq[i], c) - Channel(Seq[i - 1], c);
      const int dir = Channel(To, c) - Channel(From, c);
      if ((dir >= 0 && d < 0) || (dir <= 0 && d > 0)) return false;
    }
  return true;
}

bool Between(COLORREF C, COLORREF A, COLORREF B) {
  for (int i = 0; i < 3; ++i) {
    const int lo = std::min(Channel(A, i), Channel(B, i)), hi = std::max(Channel(A, i), Channel(B, i));
    if (Channel(C, i) < lo || Channel(C, i) > hi) return false;
  }
  return true;
}

struct TSize2 { Integer W, H; };
constexpr TSize2 kSizes[] = {{1, 1}, {4, 4}, {5, 5}, {64, 17}, {17, 64}, {12, 10}};

TEST(FcGradient, EndDirectionsStartAtTheStartColourAndMatchThePlatformGradient) {
  for (TGradientDirection d : {gdHorizontalEnd, gdVerticalEnd})
    for (TSize2 sz : kSizes) {
      SCOPED_TRACE(testing::Message() << int(d) << " " << sz.W << "x" << sz.H);
      TFcSurface s(sz.W + 4, sz.H + 4, kBack);
      PaintGradient(s.Canvas(), TRect(2, 2, 2 + sz.W, 2 + sz.H), d, kStart, kStop, 1);
      // The platform's own gradient on the same rectangle is what we must show.
      TFcSurface ref(sz.W + 4, sz.H + 4, kBack);
      TRIVERTEX v[2];
      v[0].x = 2, v[0].y = 2, v[0].Red = 0xE000, v[0].Green = 0x4000, v[0].Blue = 0x2000;
      v[1].x = 2 + sz.W, v[1].y = 2 + sz.H, v[1].Red = 0x2000, v[1].Green = 0x8000, v[1].Blue = 0xE000;
      GRADIENT_RECT gr{0, 1};
      ASSERT_TRUE(GradientFill(ref.DC(), v, 2, &gr, 1, d == gdHorizontalEnd ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H));
      std::vector<COLORREF> axis;
      for (Integer y = 0; y < sz.H + 4; ++y)
        for (Integer x = 0; x < sz.W + 4; ++x) ASSERT_EQ(s.At(x, y), ref.At(x, y)) << x << "," << y;
      EXPECT_EQ(s.At(2, 2), kStart);
      const Integer n = d == gdHorizontalEnd ? sz.H : sz.W;
      for (Integer i = 0; i < n; ++i) axis.push_back(d == gdHorizontalEnd ? s.At(2, 2 + i) : s.At(2 + i, 2));
      EXPECT_TRUE(Monotone(axis, kStart, kStop));
      // Bands: constant across the other axis.
      for (Integer i = 0; i < n; ++i)
        EXPECT_EQ(d == gdHorizontalEnd ? s.At(1 + sz.W, 2 + i) : s.At(2 + i, 1 + sz.H), axis[size_t(i)]);
    }
}

TEST(FcGradient, EndDirectionsLieCloseToImageMagicksGradient) {
  ASSERT_TRUE(HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("fcgrad");
  for (TGradientDirection d : {gdHorizontalEnd, gdVerticalEnd}) {
    const Integer w = d == gdHorizontalEnd ? 9 : 64, h = d == gdHorizontalEnd ? 64 : 9;
    TFcSurface s(w, h, kBack);
    PaintGradient(s.Canvas(), TRect(0, 0, w, h), d, kStart, kStop, 1);
    // ImageMagick paints top to bottom; the vertical bands are that picture turned.
    const std::string cmd = "convert -size " + std::to_string(d == gdHorizontalEnd ? w : h) + "x" +
                            std::to_string(d == gdHorizontalEnd ? h : w) +
                            " 'gradient:#E04020-#2080E0' " + (d == gdVerticalEnd ? "-rotate -90 " : "") +
                            "-depth 8 rgb:-";
    int rc = -1;
    const std::string px = gt_test::Capture(cmd, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(px.size(), size_t(w) * h * 3);
    const Integer n = d == gdHorizontalEnd ? h : w;
    for (Integer y = 0; y < h; ++y)
      for (Integer x = 0; x < w; ++x) {
        const COLORREF c = s.At(x, y);
        const auto* p = reinterpret_cast<const unsigned char*>(px.data()) + (size_t(y) * w + x) * 3;
        for (int i = 0; i < 3; ++i) {
          // The platform gradient stops one step short of the stop colour,
          // where ImageMagick reaches it: allow that one step beside the 2.
          const int step = (std::abs(Channel(kStop, i) - Channel(kStart, i)) + n - 1) / n;
          EXPECT_LE(std::abs(Channel(c, i) - int(p[i])), 2 + step) << int(d) << " " << x << "," << y << " ch" << i;
        }
      }
  }
}

TEST(FcGradient, CentreDirectionsRiseToTheStopColourInTheMiddle) {
  for (TGradientDirection d : {gdHorizontalCenter, gdVerticalCenter})
    for (TSize2 sz : kSizes) {
      SCOPED_TRACE(testing::Message() << int(d) << " " << sz.W << "x" << sz.H);
      TFcSurface s(sz.W, sz.H, kBack);
      PaintGradient(s.Canvas(), TRect(0, 0, sz.W, sz.H), d, kStart, kStop, 1);
      const bool alongY = d == gdHorizontalCenter;
      const Integer n = alongY ? sz.H : sz.W, across = alongY ? sz.W : sz.H, mid = n / 2;
      auto at = [&](Integer i, Integer j) { return alongY ? s.At(j, i) : s.At(i, j); };
      std::vector<COLORREF> up, down;
      for (Integer i = 0; i <= mid && i < n; ++i) up.push_back(at(i, 0));
      for (Integer i = mid; i < n; ++i) down.push_back(at(i, 0));
      EXPECT_EQ(at(mid < n ? mid : n - 1, 0), kStop);
      EXPECT_EQ(at(n - 1, 0), n - 1 > mid ? kStart : kStop);
      EXPECT_TRUE(Monotone(up, kStart, kStop));
      EXPECT_TRUE(Monotone(down, kStop, kStart));
      for (Integer i = 0; i < n; ++i) {
        EXPECT_TRUE(Between(at(i, 0), kStart, kStop)) << i;
        for (Integer j = 1; j < across; ++j) ASSERT_EQ(at(i, j), at(i, 0)) << i << "," << j;
      }
    }
}

TEST(FcGradient, BoxDirectionsAreMirrorImagesWithTheStartColourAtTheEdges) {
  for (TGradientDirection d : {gdHorizontalBox, gdVerticalBox, gdSquareBox, gdBigSquareBox})
    for (TSize2 sz : kSizes) {
      SCOPED_TRACE(testing::Message() << int(d) << " " << sz.W << "x" << sz.H);
      TFcSurface s(sz.W, sz.H, kBack);
      PaintGradient(s.Canvas(), TRect(0, 0, sz.W, sz.H), d, kStart, kStop, 1);
      const bool solid = sz.W < 5 || sz.H <= 4;
      for (Integer y = 0; y < sz.H; ++y)
        for (Integer x = 0; x < sz.W; ++x) {
          const COLORREF c = s.At(x, y);
          if (solid) {
            ASSERT_EQ(c, kStart) << x << "," << y;
          }
          ASSERT_EQ(c, s.At(sz.W - 1 - x, y)) << "left-right " << x << "," << y;
          ASSERT_EQ(c, s.At(x, sz.H - 1 - y)) << "top-bottom " << x << "," << y;
          ASSERT_TRUE(Between(c, kStart, kStop)) << x << "," << y;
        }
      if (solid) continue;
      EXPECT_EQ(s.At(0, 0), kStart);
      // From the corner to the centre the colour only moves toward the stop colour.
      std::vector<COLORREF> diag;
      for (Integer i = 0; i <= (sz.W - 1) / 2 && i <= (sz.H - 1) / 2; ++i) diag.push_back(s.At(i, i));
      EXPECT_TRUE(Monotone(diag, kStart, kStop));
      EXPECT_NE(s.At((sz.W - 1) / 2, (sz.H - 1) / 2), kStart);
    }
}

TEST(FcGradient, DiagonalsRunFromTheirStartCornerToTheirStopCorner) {
  for (TGradientDirection d : {gdDiagonalUp, gdDiagonalDown})
    for (TSize2 sz : kSizes) {
      SCOPED_TRACE(testing::Message() << int(d) << " " << sz.W << "x" << sz.H);
      TFcSurface s(sz.W, sz.H, kBack);
      PaintGradient(s.Canvas(), TRect(0, 0, sz.W, sz.H), d, kStart, kStop, 1);
      for (Integer y = 0; y < sz.H; ++y) {
        std::vector<COLORREF> row;
        for (Integer x = 0; x < sz.W; ++x) {
          ASSERT_TRUE(Between(s.At(x, y), kStart, kStop)) << x << "," << y;
          row.push_back(s.At(x, y));
        }
        // Up: stop colour to the right; down: stop colour to the right too.
        EXPECT_TRUE(Monotone(row, kStart, kStop)) << y;
      }
      for (Integer x = 0; x < sz.W; ++x) {
        std::vector<COLORREF> col;
        for (Integer y = 0; y < sz.H; ++y) col.push_back(s.At(x, y));
        EXPECT_TRUE(d == gdDiagonalUp ? Monotone(col, kStop, kStart) : Monotone(col, kStart, kStop)) << x;
      }
      if (sz.W >= 5 && sz.H >= 5) {
        const COLORREF first = d == gdDiagonalUp ? s.At(0, sz.H - 1) : s.At(0, 0);
        const COLORREF last = d == gdDiagonalUp ? s.At(sz.W - 1, 0) : s.At(sz.W - 1, sz.H - 1);
        for (int i = 0; i < 3; ++i) {
          const int span = std::abs(Channel(kStop, i) - Channel(kStart, i));
          EXPECT_LE(std::abs(Channel(first, i) - Channel(kStart, i)), span / 4) << i;
          EXPECT_LE(std::abs(Channel(last, i) - Channel(kStop, i)), span / 4) << i;
        }
      }
    }
  // One colour on both ends fills the area with it.
  TFcSurface s(9, 7, kBack);
  PaintGradient(s.Canvas(), TRect(0, 0, 9, 7), gdDiagonalDown, kStart, kStart, 1);
  EXPECT_EQ(s.Picture(kStart), Rows({"#########", "#########", "#########",
                                                                                "#########", "#########", "#########",
                                                                                "#########"}));
}

TEST(FcGradient, EmptyRectanglesPaintNothingAndMergedStepsStayWithinTheColours) {
  for (int d = gdDiagonalUp; d <= gdBigSquareBox; ++d)
    for (TRect r : {TRect(2, 2, 2, 9), TRect(2, 5, 9, 5)}) {
      TFcSurface s(12, 12, kBack);
      PaintGradient(s.Canvas(), r, static_cast<TGradientDirection>(d), kStart, kStop, 1);
      EXPECT_EQ(s.Picture(kBack), Rows({"############", "############", "############", "############",
                                        "############", "############", "############", "############",
                                        "############", "############", "############", "############"}))
          << d;
    }
  // Sixteen colour steps: fewer distinct bands, still from start to stop.
  TFcSurface s(8, 64, kBack);
  PaintGradient(s.Canvas(), TRect(0, 0, 8, 64), gdHorizontalCenter, kStart, kStop, 16);
  std::vector<COLORREF> col;
  for (Integer y = 0; y <= 32; ++y) col.push_back(s.At(0, y));
  EXPECT_TRUE(Monotone(col, kStart, kStop));
  int distinct = 1;
  for (size_t i = 1; i < col.size(); ++i) distinct += col[i] != col[i - 1];
  EXPECT_LT(distinct, 33);
  EXPECT_GT(distinct, 1);
}

TEST(FcGradient, RingKeepsTheCallersClipAndPaintsOnlyTheEdge) {
  TFcSurface s(12, 12, kBack);
  HDC dc = s.DC();
  // The caller has cut a corner out of its clip before the ring.
  ExcludeClipRect(dc, 0, 0, 1, 1);
  PaintGradientRing(s.Canvas(), TRect(0, 0, 12, 12), gdHorizontalEnd, kStart, kStart);
  // Painting after the ring must still keep off the corner.
  TRect inner(3, 3, 9, 9), all(0, 0, 12, 12);
  HBRUSH b = CreateSolidBrush(kStop);
  FillRect(dc, &inner, b);
  FillRect(dc, &all, b);
  DeleteObject(b);
  SelectClipRgn(dc, nullptr);
  EXPECT_EQ(s.At(0, 0), kBack);
  EXPECT_EQ(s.At(1, 0), kStop);
  TFcSurface r(12, 12, kBack);
  PaintGradientRing(r.Canvas(), TRect(0, 0, 12, 12), gdHorizontalEnd, kStart, kStart);
  EXPECT_EQ(r.Map({{'S', kStart}, {'.', kBack}}),
            Rows({"SSSSSSSSSSSS", "SSSSSSSSSSSS", "SS........SS", "SS........SS", "SS........SS", "SS........SS",
                  "SS........SS", "SS........SS", "SS........SS", "SS........SS", "SSSSSSSSSSSS", "SSSSSSSSSSSS"}));
}

TEST(FcGradient, BarBackgroundAndVerticalFlip) {
  TFcSurface s(6, 10, kBack);
  PaintBarBackground(s.Canvas(), TRect(0, 0, 6, 10), vsClassic, gcsCustom, false, kStart, kStop);
  EXPECT_EQ(s.At(3, 3), kBack);
  PaintBarBackground(s.Canvas(), TRect(0, 0, 6, 10), vsGradient, gcsCustom, true, kStart, kStop);
  EXPECT_EQ(s.At(3, 0), kStop);  // reversed: the second colour on top
  const COLORREF top = s.At(2, 0), bottom = s.At(2, 9);
  std::vector<COLORREF> before;
  for (Integer y = 0; y < 10; ++y) before.push_back(s.At(1, y));
  s.Canvas()->SetPixels(4, 2, kBack);
  FlipBitmapVertically(&s.Bmp);
  EXPECT_EQ(s.W(), 6);
  EXPECT_EQ(s.H(), 10);
  EXPECT_EQ(s.At(2, 9), top);
  EXPECT_EQ(s.At(2, 0), bottom);
  for (Integer y = 0; y < 10; ++y) EXPECT_EQ(s.At(1, 9 - y), before[size_t(y)]);
  EXPECT_EQ(s.At(4, 7), kBack);
}

}  // namespace

}  // namespace test_fccolors_tests
