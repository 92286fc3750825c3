// Magic wand: fill and global match against scipy (wand_reference.py), and
// the outline traced back into a mask with FillPolygons.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/kernels/iemagicwand.h"
#include "imaging/core/bitmap/iemask.h"
#include "kernels_support.h"

namespace test_magicwand_tests {

using namespace kernels_test;

namespace {

// Blobs of a few colours, some a small step apart, so that tolerance 10
// joins regions that tolerance 0 keeps apart.
void BlobPicture(TIEBitmap& B, Integer W, Integer H, unsigned Seed, TIEPixelFormat PF) {
  static const TRGB kColors[] = {{100, 100, 100}, {104, 96, 107}, {110, 100, 100}, {30, 200, 60},
                                 {35, 190, 60},   {250, 10, 10},  {0, 0, 0},       {255, 255, 255}};
  std::mt19937 rng(Seed);
  std::vector<TRGB> px(size_t(W) * H, kColors[0]);
  for (int i = 0; i < 14; ++i) {
    const TRGB c = kColors[rng() % 8];
    const int cx = int(rng() % W), cy = int(rng() % H), rx = 1 + int(rng() % (W / 3)), ry = 1 + int(rng() % (H / 3));
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if ((x - cx) * (x - cx) * ry * ry + (y - cy) * (y - cy) * rx * rx <= rx * rx * ry * ry)
          px[size_t(y) * W + x] = c;
  }
  for (int i = 0; i < W * H / 10; ++i) px[rng() % px.size()] = kColors[rng() % 8];
  B.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) std::memcpy(RowOf(B, y), &px[size_t(y) * W], size_t(W) * 3);
  if (PF != ie24RGB) B.ConvertToPixelFormat(PF);
}

struct TWandCase {
  std::string Mode;  // "fill" or "global"
  Integer X, Y, Tolerance;
  bool Dilate;
};

std::string MaskBits(const TIEMask& M) {
  std::string s;
  for (Integer y = 0; y < M.Height(); ++y)
    for (Integer x = 0; x < M.Width(); ++x) s += M.GetPixel(x, y) == 255 ? '1' : '0';
  return s;
}

}  // namespace

TEST(MagicWand, FillAndGlobalMatchScipy) {
  if (std::system("/usr/bin/python3 -c 'import scipy' 2>/dev/null") != 0) GTEST_FAIL() << "python3-scipy is missing";
  const Integer W = 37, H = 29;
  std::vector<TWandCase> cases;
  for (Integer tol : {0, 10, 255})
    for (bool dilate : {false, true})
      for (auto [x, y] : {std::pair{0, 0}, std::pair{18, 14}, std::pair{36, 28}, std::pair{5, 22}})
        cases.push_back({"fill", x, y, tol, dilate});
  for (Integer tol : {0, 10}) cases.push_back({"global", 18, 14, tol, false});

  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie8p, ie32RGB}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      TIEBitmap pic;
      BlobPicture(pic, W, H, seed, pf);
      ASSERT_EQ(pic.PixelFormat(), pf);
      std::ostringstream pixels;
      for (Integer y = 0; y < H; ++y)
        for (Integer x = 0; x < W; ++x) {
          TRGB c;
          pic.GetPixelAsRGB(x, y, c);
          pixels << ' ' << int(c.r) << ' ' << int(c.g) << ' ' << int(c.b);
        }
      const std::string rgb = pixels.str();
      std::ostringstream in;
      for (const auto& c : cases)
        in << c.Mode << ' ' << W << ' ' << H << ' ' << c.X << ' ' << c.Y << ' ' << c.Tolerance << ' '
           << int(c.Dilate) << rgb << '\n';
      int status = 0;
      const std::string out =
          gt_test::CaptureWithInput("/usr/bin/python3 " + kHere + "/wand_reference.py", in.str(), &status);
      ASSERT_EQ(status, 0);
      std::istringstream lines(out);
      for (const auto& c : cases) {
        std::string expected;
        ASSERT_TRUE(std::getline(lines, expected));
        TIEMask mask;
        mask.AllocateBits(W, H, 8);
        if (c.Mode == "fill")
          IEMagicWandFill(&pic, c.X, c.Y, c.Dilate, c.Tolerance, &mask, 255);
        else
          IEMagicWandGlobal(&pic, c.X, c.Y, c.Tolerance, &mask, 255);
        SCOPED_TRACE(c.Mode + " format " + std::to_string(int(pf)) + " seed " + std::to_string(seed) + " at " +
                     std::to_string(c.X) + "," + std::to_string(c.Y) + " tolerance " +
                     std::to_string(c.Tolerance) + " dilate " + std::to_string(c.Dilate));
        EXPECT_EQ(MaskBits(mask), expected);
        // The box is the one of the selected pixels.
        Integer x1 = W, y1 = H, x2 = -1, y2 = -1;
        for (Integer i = 0; i < W * H; ++i)
          if (expected[size_t(i)] == '1') {
            x1 = std::min(x1, i % W), x2 = std::max(x2, i % W);
            y1 = std::min(y1, i / W), y2 = std::max(y2, i / W);
          }
        EXPECT_EQ(mask.X1, x1);
        EXPECT_EQ(mask.Y1, y1);
        EXPECT_EQ(mask.X2, x2);
        EXPECT_EQ(mask.Y2, y2);
      }
    }
  }
}

TEST(MagicWand, FillKeepsOtherMaskPixelsAndIgnoresSeedsOutside) {
  // Two white regions touching at a corner: the fill takes one, the global
  // match both; mask pixels outside keep their value.
  TIEBitmap pic(6, 4, ie8g);
  const char* rows[] = {"##....", "##....", "..##..", "..##.."};
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) RowOf(pic, y)[x] = rows[y][x] == '#' ? 255 : 0;
  TIEMask mask;
  mask.AllocateBits(6, 4, 8);
  mask.SetPixel(5, 3, 7);
  IEMagicWandFill(&pic, 0, 0, false, 0, &mask, 200);
  EXPECT_EQ(mask.GetPixel(0, 0), 200);
  EXPECT_EQ(mask.GetPixel(1, 1), 200);
  EXPECT_EQ(mask.GetPixel(2, 2), 0);
  EXPECT_EQ(mask.GetPixel(5, 3), 7);
  IEMagicWandGlobal(&pic, 0, 0, 0, &mask, 100);
  EXPECT_EQ(mask.GetPixel(3, 3), 100);
  EXPECT_EQ(mask.GetPixel(0, 0), 100);
  EXPECT_EQ(mask.GetPixel(4, 0), 0);

  for (auto [x, y] : {std::pair{-1, 0}, std::pair{6, 0}, std::pair{0, -1}, std::pair{0, 4}}) {
    TIEMask m;
    m.AllocateBits(6, 4, 1);
    IEMagicWandFill(&pic, x, y, true, 255, &m, 1);
    IEMagicWandGlobal(&pic, x, y, 255, &m, 1);
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(m.GetPixel(0, 0), 0);
    Integer count = -1;
    EXPECT_EQ(IEMagicWandOutline(&pic, x, y, false, 0, count), nullptr);
    EXPECT_EQ(count, 0);
  }
}

namespace {

std::vector<TPoint> Outline(TIEBitmap& Pic, Integer X, Integer Y, bool Dilate, Integer Tolerance) {
  Integer count = 0;
  std::unique_ptr<TPoint[]> pts = IEMagicWandOutline(&Pic, X, Y, Dilate, Tolerance, count);
  if (!pts) return {};
  return std::vector<TPoint>(pts.get(), pts.get() + count);
}

// A two-level gray picture of the shape ('#' 255, else 0).
void ShapePicture(TIEBitmap& B, const std::vector<std::string>& Rows) {
  B.Allocate(Integer(Rows[0].size()), Integer(Rows.size()), ie8g);
  for (size_t y = 0; y < Rows.size(); ++y)
    for (size_t x = 0; x < Rows[y].size(); ++x) RowOf(B, Integer(y))[x] = Rows[y][x] == '#' ? 255 : 0;
}

std::vector<std::string> Refilled(const std::vector<TPoint>& Pts, Integer W, Integer H) {
  TIEMask m;
  m.AllocateBits(W, H, 1);
  m.FillPolygons(1, Pts.data(), Integer(Pts.size()));
  std::vector<std::string> rows;
  for (Integer y = 0; y < H; ++y) {
    std::string r;
    for (Integer x = 0; x < W; ++x) r += m.IsPointInside(x, y) ? '#' : '.';
    rows.push_back(r);
  }
  return rows;
}

// Random 4-connected shapes grown pixel by pixel, with every pocket that the
// outside cannot reach through 4-neighbours filled: simply connected, and no
// two parts touching only at a corner.
std::vector<std::string> RandomShape(Integer W, Integer H, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::vector<std::string> g(size_t(H), std::string(size_t(W), '.'));
  std::vector<std::pair<int, int>> cells{{W / 2, H / 2}};
  g[size_t(H / 2)][size_t(W / 2)] = '#';
  const int n = W * H / 3;
  for (int i = 0; i < n; ++i) {
    auto [x, y] = cells[rng() % cells.size()];
    static const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    const int k = int(rng() % 4);
    x += d[k][0];
    y += d[k][1];
    if (x < 1 || y < 1 || x >= W - 1 || y >= H - 1 || g[size_t(y)][size_t(x)] == '#') continue;
    g[size_t(y)][size_t(x)] = '#';
    cells.emplace_back(x, y);
  }
  std::vector<std::string> outside(size_t(H), std::string(size_t(W), '0'));
  std::vector<std::pair<int, int>> stack;
  for (int x = 0; x < W; ++x) stack.insert(stack.end(), {{x, 0}, {x, H - 1}});
  for (int y = 0; y < H; ++y) stack.insert(stack.end(), {{0, y}, {W - 1, y}});
  while (!stack.empty()) {
    auto [x, y] = stack.back();
    stack.pop_back();
    if (x < 0 || y < 0 || x >= W || y >= H || g[size_t(y)][size_t(x)] == '#' || outside[size_t(y)][size_t(x)] == '1')
      continue;
    outside[size_t(y)][size_t(x)] = '1';
    stack.insert(stack.end(), {{x + 1, y}, {x - 1, y}, {x, y + 1}, {x, y - 1}});
  }
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (outside[size_t(y)][size_t(x)] == '0') g[size_t(y)][size_t(x)] = '#';
  return g;
}

}  // namespace

TEST(MagicWandOutline, SinglePixelGivesEachCornerTwice) {
  for (auto [x, y] : {std::pair{0, 0}, std::pair{3, 2}, std::pair{6, 4}}) {
    TIEBitmap pic(7, 5, ie24RGB);
    pic.GetPixelRGBAddress(x, y)->r = 255;
    const std::vector<TPoint> expected{{x, y},         {x + 1, y},     {x + 1, y}, {x + 1, y + 1},
                                       {x + 1, y + 1}, {x, y + 1},     {x, y + 1}, {x, y}};
    EXPECT_EQ(Outline(pic, x, y, false, 0), expected) << x << "," << y;
  }
}

TEST(MagicWandOutline, RefilledOutlineIsTheRegion) {
  const std::vector<std::vector<std::string>> shapes{
      {"#####", "#####", "#####"},
      {"......", ".#....", ".#....", ".####.", "......"},
      {"..#..", "..#..", "#####", "..#..", "..#.."},
      {"#...#", "#...#", "#####"},
      {"#......", "##.....", ".##....", "..##...", "...####"},
      {"#.#.#.#", "#######", ".#.#.#."},
      {"########", "#.......", "#.#####.", "#.#...#.", "#.###.#.", "#.....#.", "#######."},
  };
  for (const auto& rows : shapes) {
    TIEBitmap pic;
    ShapePicture(pic, rows);
    const Integer W = pic.Width(), H = pic.Height();
    Integer sx = 0, sy = 0;
    while (rows[size_t(sy)][size_t(sx)] != '#')
      if (++sx == W) sx = 0, ++sy;
    EXPECT_EQ(Refilled(Outline(pic, sx, sy, false, 0), W, H), rows);
  }
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const Integer W = 24 + Integer(seed % 7), H = 18 + Integer(seed % 5);
    const std::vector<std::string> rows = RandomShape(W, H, seed);
    TIEBitmap pic;
    ShapePicture(pic, rows);
    EXPECT_EQ(Refilled(Outline(pic, W / 2, H / 2, false, 0), W, H), rows) << "seed " << seed;
  }
}

TEST(MagicWandOutline, DilatedOutlineEnclosesTheDilatedFill) {
  // The outline grows like the fill does, also on the sides where the
  // region's own box ends (and not past the picture's edge).
  for (const std::vector<std::string>& rows : std::vector<std::vector<std::string>>{
           {"......", "..##..", "..#...", "......"}, {"##....", "#.....", "......"}}) {
    TIEBitmap pic;
    ShapePicture(pic, rows);
    const Integer W = pic.Width(), H = pic.Height();
    Integer sx = 0, sy = 0;
    while (rows[size_t(sy)][size_t(sx)] != '#')
      if (++sx == W) sx = 0, ++sy;
    TIEMask fill;
    fill.AllocateBits(W, H, 1);
    IEMagicWandFill(&pic, sx, sy, true, 0, &fill, 1);
    std::vector<std::string> expected;
    for (Integer y = 0; y < H; ++y) {
      std::string r;
      for (Integer x = 0; x < W; ++x) r += fill.IsPointInside(x, y) ? '#' : '.';
      expected.push_back(r);
    }
    EXPECT_EQ(Refilled(Outline(pic, sx, sy, true, 0), W, H), expected);
  }
}

TEST(MagicWandOutline, HugeRegionFailsCleanly) {
  // A one-pixel frame around a 30000 x 30000 picture: few pixels, but a box
  // whose tracing grid would need 14.4 billion cells.
  const Integer N = 30000;
  TIEBitmap pic;
  ASSERT_TRUE(pic.Allocate(N, N, ie1g));
  std::memset(RowOf(pic, 0), 0xFF, size_t(pic.RowLen()));
  std::memset(RowOf(pic, N - 1), 0xFF, size_t(pic.RowLen()));
  for (Integer y = 0; y < N; ++y) {
    RowOf(pic, y)[0] |= 0x80;
    RowOf(pic, y)[(N - 1) >> 3] |= Byte(0x80 >> ((N - 1) & 7));
  }
  Integer count = -1;
  EXPECT_EQ(IEMagicWandOutline(&pic, 0, 0, false, 0, count), nullptr);
  EXPECT_EQ(count, 0);
  // The fill of the same region still works.
  TIEMask mask;
  mask.AllocateBits(N, N, 1);
  IEMagicWandFill(&pic, 0, 0, false, 0, &mask, 1);
  EXPECT_TRUE(mask.IsPointInside(N - 1, N / 2));
  EXPECT_FALSE(mask.IsPointInside(N / 2, N / 2));
  EXPECT_EQ(mask.X2, N - 1);
  EXPECT_EQ(mask.Y2, N - 1);
}

}  // namespace test_magicwand_tests
