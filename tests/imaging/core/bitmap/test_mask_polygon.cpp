// Polygon fill of the selection mask, against an independent per-pixel numpy
// reference (polygon_reference.py) and on the cases that broke it: crossing
// sides, polygons reaching outside the plane, far-away points.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iemask.h"
#include "mask_support.h"

namespace test_mask_polygon_tests {

using namespace mask_test;

// The largest single allocation while tracking is on: a fill must not size
// anything by the polygon's coordinates.
namespace {
std::atomic<bool> gTrackAllocations{false};
std::atomic<size_t> gLargestAllocation{0};
}  // namespace

// Every plain form of new and delete is replaced, so that each block is
// freed by the allocator that gave it out (the sanitizers check that).
namespace {
void* TrackedAlloc(size_t Size) noexcept {
  if (gTrackAllocations.load(std::memory_order_relaxed)) {
    size_t seen = gLargestAllocation.load();
    while (Size > seen && !gLargestAllocation.compare_exchange_weak(seen, Size)) {
    }
  }
  return std::malloc(Size ? Size : 1);
}
void* TrackedAllocOrThrow(size_t Size) {
  if (void* p = TrackedAlloc(Size)) return p;
  throw std::bad_alloc();
}
}  // namespace

}  // namespace test_mask_polygon_tests

// The replacements must be global.
void* operator new(size_t Size) { return test_mask_polygon_tests::TrackedAllocOrThrow(Size); }
void* operator new[](size_t Size) { return test_mask_polygon_tests::TrackedAllocOrThrow(Size); }
void* operator new(size_t Size, const std::nothrow_t&) noexcept { return test_mask_polygon_tests::TrackedAlloc(Size); }
void* operator new[](size_t Size, const std::nothrow_t&) noexcept { return test_mask_polygon_tests::TrackedAlloc(Size); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, size_t) noexcept { std::free(P); }
void operator delete[](void* P, size_t) noexcept { std::free(P); }
void operator delete(void* P, const std::nothrow_t&) noexcept { std::free(P); }
void operator delete[](void* P, const std::nothrow_t&) noexcept { std::free(P); }

namespace test_mask_polygon_tests {

namespace {

using TPolys = std::vector<std::vector<TPoint>>;

struct TPolyCase {
  std::string Name;
  Integer W, H;
  TPolys Polys;
};

// The point list of FillPolygons: polygons joined by separator points.
std::vector<TPoint> Joined(const TPolys& Polys) {
  std::vector<TPoint> pts;
  for (size_t i = 0; i < Polys.size(); ++i) {
    if (i) pts.push_back(TPoint(IEPolygonSeparator, 0));
    pts.insert(pts.end(), Polys[i].begin(), Polys[i].end());
  }
  return pts;
}

// Runs the reference over every case; the rows of each case, or an empty
// list when the script failed.
std::vector<std::vector<std::string>> Reference(const std::vector<TPolyCase>& Cases) {
  std::ostringstream in;
  for (const auto& c : Cases) {
    in << c.W << ' ' << c.H;
    for (size_t i = 0; i < c.Polys.size(); ++i) {
      if (i) in << " |";
      for (const TPoint& p : c.Polys[i]) in << ' ' << p.X << ' ' << p.Y;
    }
    in << '\n';
  }
  int status = 0;
  const std::string out =
      gt_test::CaptureWithInput("/usr/bin/python3 " + kHere + "/polygon_reference.py", in.str(), &status);
  std::vector<std::vector<std::string>> result;
  if (status != 0) return result;
  std::istringstream lines(out);
  std::string line;
  std::vector<std::string> rows;
  while (std::getline(lines, line)) {
    if (line.empty()) {
      result.push_back(rows);
      rows.clear();
    } else {
      rows.push_back(line);
    }
  }
  return result;
}

struct Lcg {
  uint32_t s;
  Integer Next(Integer Lo, Integer Hi) {
    s = s * 1664525u + 1013904223u;
    return Lo + Integer((s >> 8) % uint32_t(Hi - Lo + 1));
  }
};

std::vector<TPolyCase> Cases() {
  std::vector<TPolyCase> cases = {
      {"square", 12, 12, {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}}},
      // Two sides cross in the middle: after the crossing they change places.
      {"bow-tie", 44, 34, {{{2, 3}, {40, 30}, {40, 3}, {2, 30}}}},
      {"bow-tie with slanted ends", 41, 29, {{{1, 2}, {37, 26}, {30, 1}, {6, 27}}}},
      {"pentagram", 40, 40, {{{20, 1}, {31, 36}, {2, 14}, {38, 14}, {8, 36}}}},
      {"lasso crossing itself", 50, 30,
       {{{3, 5}, {45, 25}, {44, 4}, {20, 28}, {5, 27}, {30, 2}, {48, 12}, {2, 20}}}},
      {"half above the picture", 30, 12, {{{-5, -20}, {35, -20}, {15, 5}}}},
      {"half below the picture", 30, 12, {{{-5, 31}, {35, 31}, {15, 6}}}},
      {"beyond every edge", 20, 16, {{{-9, -7}, {29, 2}, {25, 30}, {-3, 20}}}},
      {"far-away points", 24, 18,
       {{{3, -2000000000}, {20, 5}, {2000000000, 9}, {12, 2000000001}, {-2000000000, 7}}}},
      {"two polygons", 30, 20, {{{1, 1}, {9, 1}, {9, 9}, {1, 9}}, {{5, 5}, {25, 5}, {15, 19}}}},
      {"concave with horizontal sides", 26, 14,
       {{{1, 1}, {24, 1}, {24, 12}, {17, 12}, {17, 5}, {8, 5}, {8, 12}, {1, 12}}}},
      {"exact halves", 16, 12, {{{2, 0}, {11, 6}, {3, 10}}, {{15, 1}, {6, 9}, {14, 11}}}},
  };
  // Random polygons, self-crossing most of the time, partly outside the plane.
  Lcg rnd{12345};
  for (int i = 0; i < 60; ++i) {
    TPolyCase c{"random " + std::to_string(i), 37, 23, {}};
    const int polys = rnd.Next(1, 3);
    for (int p = 0; p < polys; ++p) {
      std::vector<TPoint> pts;
      const int n = rnd.Next(3, 9);
      for (int k = 0; k < n; ++k) pts.push_back(TPoint(rnd.Next(-6, 43), rnd.Next(-6, 29)));
      c.Polys.push_back(pts);
    }
    cases.push_back(c);
  }
  return cases;
}

}  // namespace

TEST(MaskPolygon, MatchesThePerPixelReference) {
  if (std::system("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_FAIL() << "python3-numpy is missing";
  const auto cases = Cases();
  const auto ref = Reference(cases);
  ASSERT_EQ(ref.size(), cases.size()) << "the reference script failed";
  for (size_t i = 0; i < cases.size(); ++i) {
    const TPolyCase& c = cases[i];
    const std::vector<TPoint> pts = Joined(c.Polys);
    for (auto [bpp, value] : {std::pair{1, 255}, {1, 1}, {8, 255}}) {
      SCOPED_TRACE(testing::Message() << c.Name << ", bpp " << bpp << ", value " << value);
      TIEMask m;
      m.AllocateBits(c.W, c.H, bpp);
      m.FillPolygons(value, pts.data(), Integer(pts.size()));
      const auto got = MaskRows(m);
      ASSERT_EQ(got, ref[i]);
      // The box holds every selected pixel, and is empty only when none is.
      bool any = false;
      for (Integer y = 0; y < c.H; ++y)
        for (Integer x = 0; x < c.W; ++x)
          if (got[size_t(y)][size_t(x)] == '#') {
            any = true;
            ASSERT_TRUE(x >= m.X1 && x <= m.X2 && y >= m.Y1 && y <= m.Y2) << x << "," << y;
          }
      EXPECT_EQ(m.IsEmpty(), !any);
    }
  }
}

TEST(MaskPolygon, SquareSelectsItsInteriorAndSetsTheBox) {
  const TPoint sq[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(16, 16, bpp);
    m.FillPolygons(255, sq, 4);
    EXPECT_EQ(Box(m), (TBox{0, 0, 9, 9}));
    for (Integer y = 0; y < 16; ++y)
      for (Integer x = 0; x < 16; ++x) ASSERT_EQ(m.IsPointInside(x, y), x < 10 && y < 10) << x << "," << y;
  }
}

TEST(MaskPolygon, PolygonHalfAboveThePictureLeavesRowZeroWithItsOwnSpan) {
  // Above the picture the triangle is 40 columns wide; on row 0 its sides
  // are at 11 and 19. Rows above the plane must not be drawn into row 0.
  const TPoint tri[] = {{-5, -20}, {35, -20}, {15, 5}};
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(30, 10, bpp);
    m.FillPolygons(255, tri, 3);
    const auto rows = MaskRows(m);
    EXPECT_EQ(rows[0], "..........." + std::string(8, '#') + std::string(11, '.'));
    EXPECT_EQ(rows[4], std::string(14, '.') + "##" + std::string(14, '.'));
    for (Integer y = 5; y < 10; ++y) EXPECT_EQ(rows[size_t(y)], std::string(30, '.')) << y;
  }
}

TEST(MaskPolygon, FarAwayPointsAllocateNothingLarge) {
  const TPoint far[] = {{3, -2000000000}, {2000000000, 20}, {40, 2000000001}, {-2000000000, 30}};
  TIEMask m;
  m.AllocateBits(64, 64, 8);
  gLargestAllocation = 0;
  gTrackAllocations = true;
  m.FillPolygons(255, far, 4);
  gTrackAllocations = false;
  EXPECT_LT(gLargestAllocation.load(), size_t(4096));
  // Nearly the whole plane is inside; its corners show the far sides.
  EXPECT_TRUE(m.IsPointInside(32, 32));
  EXPECT_EQ(Box(m), (TBox{0, 0, 63, 63}));
}

TEST(MaskPolygon, AnyNonZeroValueSelectsOnOneBitMasks) {
  const TPoint sq[] = {{2, 1}, {7, 1}, {7, 4}, {2, 4}};
  for (Integer value : {1, 255, -1, 256}) {
    TIEMask m;
    m.AllocateBits(10, 6, 1);
    m.FillPolygons(value, sq, 4);
    EXPECT_TRUE(m.IsPointInside(2, 1)) << value;
    EXPECT_TRUE(m.IsPointInside(6, 3)) << value;
    EXPECT_FALSE(m.IsPointInside(7, 3)) << value;
  }
  // And a fully covering polygon of any non-zero value leaves the mask Full.
  const TPoint all[] = {{0, 0}, {10, 0}, {10, 6}, {0, 6}};
  TIEMask f;
  f.AllocateBits(10, 6, 1);
  f.FillPolygons(255, all, 4);
  EXPECT_TRUE(f.Full);
}

TEST(MaskPolygon, ValueZeroDeselectsAndSeparatorsSplitPolygons) {
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(12, 4, bpp);
    m.Fill(255);
    m.SyncRect();
    const TPoint pts[] = {{1, 0}, {3, 0}, {3, 4}, {1, 4}, {IEPolygonSeparator, 77}, {6, 1}, {9, 1}, {9, 3}, {6, 3}};
    m.FillPolygons(0, pts, 9);
    EXPECT_EQ(MaskRows(m), (std::vector<std::string>{"#..#########",  //
                                                     "#..###...###",  //
                                                     "#..###...###",  //
                                                     "#..#########"}));
    EXPECT_FALSE(m.Full);
  }
}

TEST(MaskPolygon, APolygonCoveringNoPixelKeepsTheBoxItFound) {
  const TPoint flat[] = {{2, 3}, {9, 3}, {5, 3}};
  // A fresh mask stays empty.
  TIEMask fresh;
  fresh.AllocateBits(12, 8, 1);
  fresh.FillPolygons(255, flat, 3);
  EXPECT_TRUE(fresh.IsEmpty());
  // A selection made before keeps its pixels and its box, also when the flat
  // polygon follows a real one in the same list.
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(12, 8, bpp);
    const TPoint pts[] = {{1, 1}, {4, 1}, {4, 3}, {1, 3}, {IEPolygonSeparator, 0}, {2, 6}, {9, 6}, {5, 6}};
    m.FillPolygons(255, pts, 8);
    EXPECT_EQ(Box(m), (TBox{1, 1, 3, 2}));
    m.FillPolygons(255, flat, 3);
    EXPECT_EQ(Box(m), (TBox{1, 1, 3, 2}));
    EXPECT_TRUE(m.IsPointInside(3, 2));
  }
}

}  // namespace test_mask_polygon_tests
