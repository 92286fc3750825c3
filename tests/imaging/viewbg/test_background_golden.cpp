// Every background style and wallpaper mode against pictures drawn by an
// independent Pillow/numpy script from the rules of the styles. Targets start
// as junk, so the comparison also shows which pixels a style must define and
// which it must leave alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/graphics/gdi.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"
#include "tests/imaging/viewbg/viewbg_support.h"
#include "tests/support/temp_dir.h"

namespace test_background_golden_tests {

using namespace viewbg_test;

namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/viewbg";

struct TWall {
  const char* Mode = nullptr;  // nullptr: no wallpaper
  TIEWallPaperStyle Style = iewoNormal;
};

struct TCase {
  const char* Name;
  Integer W, H;
  TIEBackgroundStyle Style;
  TColor Color;
  TGeometry G;
  Integer Chess = 16;
  TBrushStyle Brush = bsSolid;
  bool Target = true;
  bool Designing = false;
  TColor GradientEnd = clBlack;
  TWall Wall = {};
};

// A square area (the reference draws diagonals of squares only) with a margin
// of junk around it, and a picture box inside.
constexpr TGeometry kBox{4, 6, 80, 80, 20, 24, 62, 60};
// The direct chessboard over an area that overhangs every side of the target.
constexpr TGeometry kOverhang{-3, -5, 120, 100, 0, 0, 0, 0};
// Wallpaper areas: 24 x 16 is eight times the 3 x 2 wallpaper; 25 x 15 makes
// the last tiles stick out of the area.
constexpr TGeometry kWallArea{0, 0, 24, 16, 0, 0, 0, 0};
constexpr TGeometry kWallOdd{2, 1, 25, 15, 0, 0, 0, 0};
constexpr TGeometry kWallPhoto{0, 0, 40, 30, 5, 4, 17, 12};

const std::vector<TCase>& Cases() {
  static const std::vector<TCase> cases = {
      {"solid", 96, 90, iebsSolid, clBtnFace, kBox},
      {"horizontal", 96, 90, iebsHorizontal, 0x3060C0, kBox},
      {"vertical", 96, 90, iebsVertical, 0x3060C0, kBox},
      {"fdiagonal", 96, 90, iebsFDiagonal, 0x3060C0, kBox},
      {"bdiagonal", 96, 90, iebsBDiagonal, 0x3060C0, kBox},
      {"cross", 96, 90, iebsCross, 0x3060C0, kBox},
      {"diagcross", 96, 90, iebsDiagCross, clBtnFace, kBox},
      {"chess_white_16", 96, 90, iebsChessboard, clWhite, kBox, 16},
      {"chess_btnface_5", 96, 90, iebsChessboard, clBtnFace, kBox, 5},
      {"chess_overhang_7", 96, 90, iebsChessboard, 0x2080E0, kOverhang, 7},
      {"chess_hatched_16", 96, 90, iebsChessboard, 0x204080, kBox, 16, bsDiagCross},
      {"chess_horizontal_6", 96, 90, iebsChessboard, clWhite, kBox, 6, bsHorizontal},
      {"chess_canvas_solid_16", 96, 90, iebsChessboard, 0x2080E0, kBox, 16, bsSolid, false},
      {"diagonals", 96, 90, iebsDiagonals, 0x10A040, kBox},
      {"cropped", 96, 90, iebsCropped, 0x3060C0, kBox},
      {"cropped_design", 96, 90, iebsCropped, 0x3060C0, kBox, 16, bsSolid, true, true},
      {"cropshadow", 96, 90, iebsCropShadow, 0xC0D0E0, kBox},
      {"cropshadow_design", 96, 90, iebsCropShadow, 0xC0D0E0, kBox, 16, bsSolid, true, true},
      {"gradient", 96, 90, iebsGradient, clRed, kBox, 16, bsSolid, true, false, clBlue},
      {"gradient_sys", 96, 90, iebsGradient, clBtnFace, kBox, 16, bsSolid, true, false, 0x204060},
      {"softshadow_design", 96, 90, iebsSoftShadow, 0x808000, kBox, 16, bsSolid, false, true},
      {"photolike_8", 96, 90, iebsPhotoLike, clWhite, kBox, 8},
      {"photolike_hatched", 96, 90, iebsPhotoLike, 0x3060C0, kBox, 8, bsCross},
      {"wall_normal", 30, 20, iebsSolid, 0x405060, kWallArea, 16, bsSolid, true, false, clBlack,
       {"normal", iewoNormal}},
      {"wall_stretch", 30, 20, iebsSolid, 0x405060, kWallArea, 16, bsSolid, true, false, clBlack,
       {"stretch", iewoStretch}},
      {"wall_tile", 30, 20, iebsSolid, 0x405060, kWallOdd, 16, bsSolid, true, false, clBlack, {"tile", iewoTile}},
      {"wall_photolike_tile", 44, 34, iebsPhotoLike, clWhite, kWallPhoto, 4, bsSolid, true, false, clBlack,
       {"tile", iewoTile}},
  };
  return cases;
}

// The 3 x 2 wallpaper, as TColor values (red in the low byte).
const TColor kWallPixels[2][3] = {{0x0000FF, 0x00FF00, 0xFF0000}, {0x00FFFF, 0xFF00FF, 0x101010}};

const char* StyleName(TIEBackgroundStyle S) {
  static const char* names[] = {"solid",    "horizontal", "vertical",   "fdiagonal", "bdiagonal",
                                "cross",    "diagcross",  "chessboard", "diagonals", "cropped",
                                "cropshadow", "gradient", "softshadow", "photolike"};
  return names[S];
}

const char* BrushName(TBrushStyle B) {
  static const char* names[] = {"solid", "clear", "horizontal", "vertical", "fdiagonal", "bdiagonal", "cross",
                                "diagcross"};
  return names[B];
}

std::string CasesJson() {
  std::ostringstream o;
  o << "[";
  bool first = true;
  for (const TCase& c : Cases()) {
    if (!first) o << ",";
    first = false;
    o << "{\"name\":\"" << c.Name << "\",\"width\":" << c.W << ",\"height\":" << c.H << ",\"style\":\""
      << StyleName(c.Style) << "\",\"color\":" << Cardinal(c.Color) << ",\"area\":[" << c.G.Left << ","
      << c.G.Top << "," << c.G.Width << "," << c.G.Height << "],\"image\":[" << c.G.X1 << "," << c.G.Y1 << ","
      << c.G.X2 << "," << c.G.Y2 << "],\"chess\":" << c.Chess << ",\"brush\":\"" << BrushName(c.Brush)
      << "\",\"target\":" << (c.Target ? "true" : "false") << ",\"designing\":"
      << (c.Designing ? "true" : "false") << ",\"gradient_end\":" << Cardinal(c.GradientEnd)
      << ",\"edge\":" << GetSystemMetrics(SM_CXEDGE) << ",\"syscolors\":{";
    for (Integer i = 0; i < SystemColorCount; ++i) o << (i ? "," : "") << "\"" << i << "\":" << GetSysColor(i);
    o << "}";
    if (c.Wall.Mode) {
      o << ",\"wallpaper\":{\"mode\":\"" << c.Wall.Mode << "\",\"width\":3,\"height\":2,\"pixels\":[";
      for (int y = 0; y < 2; ++y)
        o << (y ? "," : "") << "[" << kWallPixels[y][0] << "," << kWallPixels[y][1] << "," << kWallPixels[y][2]
          << "]";
      o << "]}";
    }
    o << "}";
  }
  o << "]";
  return o.str();
}

struct TPpm {
  Integer W = 0, H = 0;
  std::vector<Byte> Rgb;
};

bool ReadPpm(const std::string& Path, TPpm& P) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  if (!(f >> magic >> P.W >> P.H >> maxval) || magic != "P6" || maxval != 255) return false;
  f.get();
  P.Rgb.resize(size_t(P.W) * P.H * 3);
  return bool(f.read(reinterpret_cast<char*>(P.Rgb.data()), std::streamsize(P.Rgb.size())));
}

class BackgroundGolden : public ::testing::TestWithParam<size_t> {
 protected:
  static void SetUpTestSuite() {
    Dir = new gt_test::TempDir("viewbg");
    const std::string json = Dir->File("cases.json");
    std::ofstream(json) << CasesJson();
    const std::string cmd = "/usr/bin/python3 " + kHere + "/background_reference.py " + json + " " + Dir->Path;
    Ran = std::system(cmd.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }
  static gt_test::TempDir* Dir;
  static bool Ran;
};

gt_test::TempDir* BackgroundGolden::Dir = nullptr;
bool BackgroundGolden::Ran = false;

TEST_P(BackgroundGolden, MatchesTheReferencePicture) {
  ASSERT_TRUE(Ran) << "the reference script failed (it needs /usr/bin/python3 with PIL and numpy)";
  const TCase& c = Cases()[GetParam()];
  TPpm ref;
  ASSERT_TRUE(ReadPpm(Dir->File(std::string(c.Name) + ".ppm"), ref));
  ASSERT_EQ(ref.W, c.W);
  ASSERT_EQ(ref.H, c.H);

  auto target = JunkTarget(c.W, c.H);
  TPicture wall;
  if (c.Wall.Mode) {
    TBitmap w;
    w.SetPixelFormat(pf24bit);
    w.SetSize(3, 2);
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 3; ++x) w.Canvas()->SetPixels(x, y, kWallPixels[y][x]);
    wall.SetGraphic(&w);
  }
  Paint(*target, c.Style, c.Color, c.G, c.Chess, c.Brush, c.Target, c.Designing, c.GradientEnd,
        c.Wall.Mode ? &wall : nullptr, c.Wall.Style);

  int wrong = 0;
  std::string first;
  for (Integer y = 0; y < c.H; ++y)
    for (Integer x = 0; x < c.W; ++x) {
      const Byte* r = &ref.Rgb[(size_t(y) * c.W + x) * 3];
      const COLORREF want = RGB(r[0], r[1], r[2]), got = At(*target, x, y);
      if (want != got && wrong++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "first at (%d, %d): got 0x%06X, reference 0x%06X", x, y, got, want);
        first = text;
      }
    }
  EXPECT_EQ(wrong, 0) << first;
}

INSTANTIATE_TEST_SUITE_P(Styles, BackgroundGolden, ::testing::Range<size_t>(0, Cases().size()),
                         [](const ::testing::TestParamInfo<size_t>& I) { return std::string(Cases()[I.param].Name); });

}  // namespace

}  // namespace test_background_golden_tests
