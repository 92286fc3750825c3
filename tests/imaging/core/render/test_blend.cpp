// The 38 blend operations against an independent numpy implementation of
// their table, directly and through the 24-bit renderer.
#include <cstdio>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/render/ieblend.h"
#include "imaging/core/render/ierender.h"
#include "tests/imaging/core/render/render_support.h"

namespace test_blend_tests {

using namespace render_test;

namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/render";

struct RefLine {
  int Op, I, J;
  TRGB S, D, R;
};

std::vector<RefLine> LoadReference(TempDir& Dir) {
  std::vector<RefLine> lines;
  const std::string out = Dir.File("blend.txt");
  if (Shell("/usr/bin/python3 " + kHere + "/blend_reference.py " + out) != 0) return lines;
  std::ifstream f(out);
  std::string text;
  while (std::getline(f, text)) {
    std::istringstream in(text);
    int v[12];
    for (int& x : v) in >> x;
    if (!in) continue;
    lines.push_back({v[0], v[1], v[2], TRGB{Byte(v[3]), Byte(v[4]), Byte(v[5])}, TRGB{Byte(v[6]), Byte(v[7]), Byte(v[8])},
                     TRGB{Byte(v[9]), Byte(v[10]), Byte(v[11])}});
  }
  return lines;
}

std::string Show(const TRGB& c) {
  char text[32];
  std::snprintf(text, sizeof text, "(%d,%d,%d)", c.b, c.g, c.r);
  return text;
}

TEST(BlendOperations, AllThirtyEightMatchTheNumpyReference) {
  if (Shell("/usr/bin/python3 -c 'import numpy' 2>/dev/null") != 0) GTEST_FAIL() << "python3-numpy is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  const std::vector<RefLine> ref = LoadReference(dir);
  ASSERT_EQ(ref.size(), size_t(38 * 16 * 16));

  // Directly.
  for (const RefLine& l : ref) {
    TRGB d = l.D;
    IEBlendRGB(l.S, d, Byte(l.Op));
    ASSERT_TRUE(SameRGB(d, l.R)) << "op " << l.Op << " s" << Show(l.S) << " d" << Show(l.D) << ": " << Show(d)
                                 << " instead of " << Show(l.R);
  }

  // Through the renderer: source row i holds S[i], destination column j
  // holds D[j]; drawn at 1:1 with the operation.
  for (int op = 0; op < 38; ++op) {
    TIEBitmap src, dst;
    ASSERT_TRUE(src.Allocate(16, 16, ie24RGB));
    ASSERT_TRUE(dst.Allocate(16, 16, ie24RGB));
    for (const RefLine& l : ref)
      if (l.Op == op) {
        SetPixel(src, l.J, l.I, l.S);
        SetPixel(dst, l.J, l.I, l.D);
      }
    RenderToTIEBitmap(src, &dst, 0, 0, 16, 16, 0, 0, 16, 16, 255, rfNone, Byte(op));
    for (const RefLine& l : ref) {
      if (l.Op == op) {
        ASSERT_TRUE(SameRGB(Pixel(dst, l.J, l.I), l.R)) << "op " << op << " at " << l.J << "," << l.I;
      }
    }
  }
}

TEST(BlendOperations, NamedCasesAndUnknownOperations) {
  const struct {
    int Op;
    Byte S, D, R;
  } cases[] = {{1, 200, 100, 255}, {28, 100, 100, 0}, {28, 200, 100, 44}, {0, 9, 200, 9}, {29, 255, 255, 255},
               {29, 0, 0, 0},      {13, 255, 255, 2}, {38, 10, 20, 20},   {100, 10, 20, 20}, {255, 10, 20, 20}};
  for (const auto& c : cases) {
    TRGB d{c.D, c.D, c.D};
    IEBlendRGB(TRGB{c.S, c.S, c.S}, d, Byte(c.Op));
    EXPECT_TRUE(SameRGB(d, TRGB{c.R, c.R, c.R})) << "op " << c.Op << ": " << Show(d);
  }
}

}  // namespace

}  // namespace test_blend_tests
