// Whole-image assignment, clipped rectangle copies, the alpha merge and the
// scaled copy into a 24-bit picture.
#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_copy_tests {

namespace {

using Copies = BitmapTest;

Byte Pattern(Integer x, Integer y) { return Byte(1 + x + 16 * y); }

void FillPattern(TIEBitmap& b) {
  const Integer size = b.BitCount() / 8;
  for (Integer y = 0; y < b.Height(); ++y)
    for (Integer x = 0; x < b.Width(); ++x)
      for (Integer k = 0; k < size; ++k) Px(b, x * size + k, y) = Byte(Pattern(x, y) + 64 * k);
}

// --- AssignImage -------------------------------------------------------------

TEST_F(Copies, AssignImageTakesPixelsAndPaletteButNotAlignmentOrFull) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  TIEBitmap src(5, 3, ie8p);
  src.SetRowAlignment(8);
  FillPattern(src);
  src.SetPaletteColor(7, TRGB{1, 2, 3});
  src.SetPaletteUsed(16);
  src.SetFull(true);

  TIEBitmap dst(5, 3, ie24RGB);
  dst.GetAlphaChannel()->SetPixelByte(1, 1, 9);
  TIEBitmap* alpha = dst.GetAlphaChannel();
  dst.AssignImage(&src);
  EXPECT_EQ(dst.PixelFormat(), ie8p);
  EXPECT_EQ(dst.RowAlignment(), 32);
  EXPECT_EQ(dst.RowLen(), 8);
  EXPECT_FALSE(dst.Full());
  EXPECT_EQ(PackedRows(dst), PackedRows(src));
  EXPECT_EQ(PaletteBytes(dst), PaletteBytes(src));
  EXPECT_EQ(dst.PaletteUsed(), 16);
  // Same size: the alpha channel object and its values stay.
  ASSERT_EQ(dst.GetAlphaChannel(), alpha);
  EXPECT_EQ(alpha->GetPixelByte(1, 1), 9);

  TIEBitmap empty;
  dst.AssignImage(&empty);
  EXPECT_EQ(dst.Width(), 5);
}

// The kept alpha channel follows a size change (opaque), so that a later
// walk over the picture's rows never leaves the alpha channel's.
TEST_F(Copies, AssignImageResizesTheKeptAlphaChannel) {
  TIEBitmap dst(4, 4, ie24RGB);
  TIEBitmap* alpha = dst.GetAlphaChannel();
  alpha->Fill(7);
  TIEBitmap src(9, 6, ie8g);
  dst.AssignImage(&src);
  ASSERT_EQ(dst.GetAlphaChannel(), alpha);
  EXPECT_EQ(alpha->Width(), 9);
  EXPECT_EQ(alpha->Height(), 6);
  EXPECT_TRUE(alpha->Full());
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 9; ++x) ASSERT_EQ(dst.GetAlpha(x, y), 255);
}

// Two file-backed pictures whose rows differ in length (the source keeps
// its byte alignment, the target its own) copy row by row, not as one block.
TEST_F(Copies, AssignImageBetweenFilesWithDifferentRowLengths) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  TIEBitmap mem(5, 4, ie24RGB);
  mem.SetRowAlignment(8);
  FillPattern(mem);
  TMemoryStream raw;
  mem.SaveRawToStream(nullptr, &raw);
  // Loaded into a file-backed picture, the byte alignment comes along.
  IEMemoryThresholdOverride = 0;
  TIEBitmap src;
  raw.SetPosition(0);
  ASSERT_TRUE(src.LoadRawFromStream(nullptr, &raw));
  ASSERT_EQ(src.Location(), ieFile);
  ASSERT_EQ(src.RowLen(), 15);
  TIEBitmap dst(2, 2, ie8g);
  ASSERT_EQ(dst.Location(), ieFile);
  dst.AssignImage(&src);
  ASSERT_EQ(dst.RowLen(), 16);
  EXPECT_EQ(PackedRows(dst), PackedRows(src));
}

// --- CopyRectTo ----------------------------------------------------------------

struct TRectCase {
  const char* name;
  Integer srcW, srcH, dstW, dstH;
  Integer SrcX, SrcY, DstX, DstY, W, H;
};
void PrintTo(const TRectCase& c, std::ostream* os) { *os << c.name; }

struct TFormatPair {
  TIEPixelFormat src, dst;
};

class CopyRect : public BitmapTest, public ::testing::WithParamInterface<std::tuple<TRectCase, TFormatPair>> {};

// The destination pixel (x, y) takes source pixel (x - DstX + SrcX,
// y - DstY + SrcY) exactly when it lies in the destination rectangle and that
// source pixel exists; every other pixel keeps its value.
TEST_P(CopyRect, CopiesTheIntersectionOnly) {
  const TRectCase& c = std::get<0>(GetParam());
  const TFormatPair f = std::get<1>(GetParam());
  TIEBitmap src, dst;
  ASSERT_TRUE(src.Allocate(c.srcW, c.srcH, f.src));
  if (c.dstW > 0) {
    ASSERT_TRUE(dst.Allocate(c.dstW, c.dstH, f.dst));
  }
  for (Integer y = 0; y < c.srcH; ++y)
    for (Integer x = 0; x < c.srcW; ++x) {
      if (f.src == ie1g) {
        if ((x * 7 + y * 3) % 5 < 2) Px(src, x / 8, y) |= Byte(0x80 >> (x % 8));
      } else {
        src.SetPixelRGB(x, y, TRGB{Pattern(x, y), Byte(Pattern(x, y) ^ 0x55), Byte(y)});
      }
    }
  if (f.dst == ie1g) {
    // Alternate bits so that both values of the untouched bits are checked.
    for (Integer y = 0; y < dst.Height(); ++y) std::memset(dst.GetScanline(y), 0x5A, size_t(dst.RowLen()));
  } else {
    dst.Fill(0x102030);
  }
  TIEBitmap before;
  before.Assign(&dst);

  src.CopyRectTo(&dst, c.SrcX, c.SrcY, c.DstX, c.DstY, c.W, c.H);
  for (Integer y = 0; y < dst.Height(); ++y)
    for (Integer x = 0; x < dst.Width(); ++x) {
      int64_t sx = int64_t(x) - c.DstX + c.SrcX, sy = int64_t(y) - c.DstY + c.SrcY;
      bool inside = x >= c.DstX && int64_t(x) < int64_t(c.DstX) + c.W && y >= c.DstY &&
                    int64_t(y) < int64_t(c.DstY) + c.H && sx >= 0 && sx < c.srcW && sy >= 0 && sy < c.srcH;
      TRGB got, want;
      dst.GetPixelAsRGB(x, y, got);
      if (inside) src.GetPixelAsRGB(Integer(sx), Integer(sy), want);
      else before.GetPixelAsRGB(x, y, want);
      ASSERT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b)
          << "pixel " << x << "," << y << (inside ? " should be copied" : " should be untouched");
    }
}

const TRectCase kRectCases[] = {
    {"Inside", 8, 6, 10, 9, 1, 2, 3, 1, 4, 3},
    {"WholePicture", 8, 6, 8, 6, 0, 0, 0, 0, 8, 6},
    // A negative destination start shifts the source by the same amount.
    {"NegativeDestination", 20, 3, 15, 3, 0, 0, -10, 0, 20, 3},
    {"NegativeDestinationY", 8, 6, 8, 6, 1, 0, 2, -4, 5, 6},
    {"NegativeSource", 8, 6, 10, 9, -2, -1, 1, 1, 4, 4},
    {"CutAtDestinationEdge", 8, 6, 10, 9, 0, 0, 7, 6, 8, 6},
    {"CutAtSourceEdge", 8, 6, 10, 9, 6, 4, 0, 0, 8, 6},
    {"DestinationBeyondWidth", 8, 6, 10, 9, 0, 0, 10, 0, 4, 4},
    {"DestinationBeyondHeight", 8, 6, 10, 9, 0, 0, 0, 12, 4, 4},
    {"SourceBeyond", 8, 6, 10, 9, 8, 0, 0, 0, 4, 4},
    {"NegativeSize", 8, 6, 10, 9, 0, 0, 0, 0, -3, 4},
    {"Huge", 8, 6, 10, 9, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    {"HugeSize", 8, 6, 10, 9, 2, 1, 3, 2, INT_MAX, INT_MAX},
    {"OddBitOffsets", 30, 4, 40, 5, 3, 1, 13, 0, 17, 3},
    {"EmptyDestination", 8, 6, 0, 0, 0, 0, 0, 0, 8, 6},
};

std::string CopyRectName(const ::testing::TestParamInfo<std::tuple<TRectCase, TFormatPair>>& info) {
  auto f = std::get<1>(info.param);
  auto name = [](TIEPixelFormat pf) { return pf == ie1g ? "1g" : "24RGB"; };
  return std::string(std::get<0>(info.param).name) + "_" + name(f.src) + "To" + name(f.dst);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyRect,
    ::testing::Combine(::testing::ValuesIn(kRectCases),
                       ::testing::Values(TFormatPair{ie24RGB, ie24RGB}, TFormatPair{ie1g, ie1g},
                                         TFormatPair{ie1g, ie24RGB})),
    CopyRectName);

TEST_F(Copies, CopyRectMovesWholeSamplesOfEveryWidth) {
  // Four bytes per pixel for ie32RGB, six for ieRGB48, two for ie16g.
  for (TIEPixelFormat f : {ie8g, ie16g, ieCIELab, ie32RGB, ie32f, ieCMYK, ieRGB48}) {
    SCOPED_TRACE(int(f));
    TIEBitmap src(6, 4, f), dst(6, 4, f);
    FillPattern(src);
    src.CopyRectTo(&dst, 2, 1, 1, 2, 3, 2);
    const Integer size = src.BitCount() / 8;
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 6; ++x)
        for (Integer k = 0; k < size; ++k) {
          bool inside = x >= 1 && x < 4 && y >= 2 && y < 4;
          ASSERT_EQ(Px(dst, x * size + k, y), inside ? Px(src, (x + 1) * size + k, y - 1) : 0) << x << "," << y;
        }
  }
}

TEST_F(Copies, CopyRectBetweenOtherFormatsCopiesNothing) {
  TIEBitmap src(4, 4, ie8g), dst(4, 4, ie24RGB);
  src.Fill(200);
  src.CopyRectTo(&dst, 0, 0, 0, 0, 4, 4);
  EXPECT_TRUE(dst.IsAllZero());
  src.CopyRectTo(nullptr, 0, 0, 0, 0, 4, 4);
}

// Inside one picture the rows are copied in an order that never reads a row
// already overwritten, in both directions.
TEST_F(Copies, CopyRectWithinOnePictureOverlapping) {
  for (int dir : {1, -1}) {
    TIEBitmap b(7, 6, ie8g);
    FillPattern(b);
    TIEBitmap orig;
    orig.Assign(&b);
    b.CopyRectTo(&b, 1, 1, 1 + dir, 1 + dir, 4, 4);
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 7; ++x) {
        bool inside = x >= 1 + dir && x < 5 + dir && y >= 1 + dir && y < 5 + dir;
        ASSERT_EQ(b.GetPixelByte(x, y), inside ? orig.GetPixelByte(x - dir, y - dir) : orig.GetPixelByte(x, y))
            << dir << ": " << x << "," << y;
      }
  }
}

TEST_F(Copies, MergeAlphaRectTakesTheLargerValueInsideTheClippedRectangle) {
  TIEBitmap src(5, 4, ie24RGB), dst(6, 5, ie24RGB);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 5; ++x) src.SetAlpha(x, y, Byte(x * 60));
  dst.GetAlphaChannel()->Fill(100);
  src.MergeAlphaRectTo(&dst, 1, 0, 3, -1, 9, 9);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 6; ++x) {
      bool inside = x >= 3 && y < 3;  // source columns 1..3, rows 1..3
      Byte want = inside ? Byte(std::max(100, (x - 2) * 60)) : 100;
      ASSERT_EQ(dst.GetAlpha(x, y), want) << x << "," << y;
    }
  // A destination without alpha gets an opaque one, which the maximum keeps.
  TIEBitmap plain(5, 4, ie24RGB);
  src.MergeAlphaRectTo(&plain, 0, 0, 0, 0, 5, 4);
  EXPECT_EQ(plain.GetAlpha(0, 0), 255);
}

// --- StretchRectTo ---------------------------------------------------------------

TEST_F(Copies, StretchAtOneToOneCopiesAndFillsAlphaWithTransparency) {
  TIEBitmap src(4, 3, ie24RGB), dst(6, 5, ie24RGB);
  FillPattern(src);
  src.StretchRectTo(&dst, 1, 1, 4, 3, 0, 0, 4, 3, rfNone, 200);
  ASSERT_TRUE(dst.HasAlphaChannel());
  EXPECT_FALSE(dst.GetAlphaChannel()->Full());
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 6; ++x) {
      bool inside = x >= 1 && x < 5 && y >= 1 && y < 4;
      TRGB got = dst.GetPixelTriple(x, y);
      EXPECT_EQ(got.b, inside ? src.GetPixelTriple(x - 1, y - 1).b : 0) << x << "," << y;
      EXPECT_EQ(dst.GetAlpha(x, y), inside ? 200 : 255) << x << "," << y;
    }
}

TEST_F(Copies, StretchEnlargesByNearestPixelAndCapsPartialAlpha) {
  TIEBitmap src(2, 2, ie24RGB), dst(4, 4, ie24RGB);
  FillPattern(src);
  const Byte alpha[2][2] = {{0, 150}, {255, 90}};
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 2; ++x) src.SetAlpha(x, y, alpha[y][x]);
  src.StretchRectTo(&dst, 0, 0, 4, 4, 0, 0, 2, 2, rfNone, 120);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x) {
      EXPECT_EQ(dst.GetPixelTriple(x, y).b, src.GetPixelTriple(x / 2, y / 2).b) << x << "," << y;
      EXPECT_EQ(dst.GetAlpha(x, y), std::min<Byte>(120, alpha[y / 2][x / 2])) << x << "," << y;
    }
}

// A source rectangle reaching beyond the picture repeats its edge pixels
// instead of reading outside the rows.
TEST_F(Copies, StretchClampsSourceRectanglesBeyondThePicture) {
  TIEBitmap src(4, 3, ie24RGB), dst(8, 6, ie24RGB);
  FillPattern(src);
  src.StretchRectTo(&dst, 0, 0, 8, 6, 2, -3, 8, 9, rfNone, 255);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 8; ++x) {
      Integer sx = std::min(2 + x, 3), sy = std::clamp(-3 + y * 9 / 6, 0, 2);
      ASSERT_EQ(dst.GetPixelTriple(x, y).b, src.GetPixelTriple(sx, sy).b) << x << "," << y;
    }
  EXPECT_EQ(dst.GetAlpha(7, 5), 255);
}

TEST_F(Copies, StretchFromOneBitAndIntoOtherFormats) {
  TIEBitmap bw(3, 1, ie1g), dst(3, 1, ie24RGB);
  Px(bw, 0, 0) = 0xA0;  // white, black, white
  bw.StretchRectTo(&dst, 0, 0, 3, 1, 0, 0, 3, 1, rfNone, 255);
  EXPECT_EQ(dst.GetPixelTriple(0, 0).g, 255);
  EXPECT_EQ(dst.GetPixelTriple(1, 0).g, 0);
  EXPECT_EQ(dst.GetPixelTriple(2, 0).g, 255);

  TIEBitmap gray(3, 1, ie8g);
  bw.StretchRectTo(&gray, 0, 0, 3, 1, 0, 0, 3, 1, rfNone, 255);
  EXPECT_TRUE(gray.IsAllZero());
  EXPECT_FALSE(gray.HasAlphaChannel());
  dst.StretchRectTo(&dst, 0, 0, 3, 1, 0, 0, 3, 1, rfNone, 255);
  bw.StretchRectTo(&dst, 0, 0, 0, 1, 0, 0, 3, 1, rfNone, 255);
}

}  // namespace

namespace {

// With a filter and a size change the rectangle is resampled first: flat
// areas stay flat whatever the kernel, and the alpha channel is resampled
// alongside and capped at Transparency.
TEST_F(Copies, StretchWithAFilterResamplesPixelsAndAlpha) {
  for (TResampleFilter f : {rfTriangle, rfLanczos3, rfFastLinear, rfBicubic}) {
    SCOPED_TRACE(int(f));
    TIEBitmap src(6, 5, ie24RGB), dst(20, 20, ie24RGB);
    src.Fill(0x1E140A);  // red 10, green 20, blue 30
    src.GetAlphaChannel()->Fill(100);
    src.StretchRectTo(&dst, 2, 3, 12, 10, 0, 0, 6, 5, f, 90);
    for (Integer y = 0; y < 20; ++y)
      for (Integer x = 0; x < 20; ++x) {
        bool inside = x >= 2 && x < 14 && y >= 3 && y < 13;
        TRGB p = dst.GetPixelTriple(x, y);
        if (inside) {
          ASSERT_NEAR(p.r, 10, 1) << x << "," << y;
          ASSERT_NEAR(p.b, 30, 1) << x << "," << y;
          ASSERT_EQ(dst.GetAlpha(x, y), 90) << x << "," << y;
        } else {
          ASSERT_EQ(p.r + p.g + p.b, 0) << x << "," << y;
          ASSERT_EQ(dst.GetAlpha(x, y), 255) << x << "," << y;
        }
      }
  }
  // Grey pictures come out as colour.
  TIEBitmap g(4, 4, ie8g), dst(8, 8, ie24RGB);
  g.Fill(77);
  g.StretchRectTo(&dst, 0, 0, 8, 8, 0, 0, 4, 4, rfTriangle, 255);
  EXPECT_NEAR(dst.GetPixelTriple(5, 5).g, 77, 1);
}

TEST_F(Copies, StretchWithAFilterShrinksBlackAndWhiteToGrey) {
  // Left half white, right half black: white and black at the ends, grey
  // where a destination pixel covers both.
  TIEBitmap bw(16, 2, ie1g), dst(8, 2, ie24RGB);
  for (Integer y = 0; y < 2; ++y) Px(bw, 0, y) = 0xFF;
  bw.StretchRectTo(&dst, 0, 0, 8, 2, 0, 0, 16, 2, rfTriangle, 255);
  EXPECT_EQ(dst.GetPixelTriple(0, 1).g, 255);
  EXPECT_EQ(dst.GetPixelTriple(7, 1).g, 0);
  bool grey = false;
  for (Integer x = 0; x < 8; ++x) {
    TRGB p = dst.GetPixelTriple(x, 1);
    EXPECT_TRUE(p.r == p.g && p.g == p.b);
    if (x > 0) {
      EXPECT_LE(p.g, dst.GetPixelTriple(x - 1, 1).g) << x;
    }
    grey = grey || (p.g > 0 && p.g < 255);
  }
  EXPECT_TRUE(grey);

  // A projection keeps black and white when enlarging.
  TIEBitmap one(2, 1, ie1g), big(4, 2, ie24RGB);
  Px(one, 0, 0) = 0x80;  // white, black
  one.StretchRectTo(&big, 0, 0, 4, 2, 0, 0, 2, 1, rfProjectBW, 255);
  EXPECT_EQ(big.GetPixelTriple(0, 1).g, 255);
  EXPECT_EQ(big.GetPixelTriple(3, 1).g, 0);
}

// A smooth gradient, enlarged and shrunk with every kernel and fast filter,
// stays within about one source step of the nearest-pixel copy: the filtered
// path draws the rectangle where it belongs, and draws something else than
// the plain copy.
TEST_F(Copies, StretchWithAFilterFollowsTheNearestCopyOfAGradient) {
  auto gradient = [](TIEBitmap& b, Integer stepR, Integer stepG) {
    for (Integer y = 0; y < b.Height(); ++y)
      for (Integer x = 0; x < b.Width(); ++x) b.SetPixelRGB(x, y, TRGB{100, Byte(10 + y * stepG), Byte(8 + x * stepR)});
  };
  struct Size {
    Integer sw, sh, dw, dh, stepR, stepG;
  };
  for (Size z : {Size{16, 12, 40, 30, 15, 18}, Size{40, 30, 16, 12, 6, 7}}) {
    TIEBitmap src(z.sw, z.sh, ie24RGB), nearest(z.dw + 4, z.dh + 4, ie24RGB);
    gradient(src, z.stepR, z.stepG);
    src.StretchRectTo(&nearest, 2, 2, z.dw, z.dh, 0, 0, z.sw, z.sh, rfNone, 255);
    // Steps of the source measured in destination pixels: the widest a
    // kernel may blur, and the ramp a nearest copy jumps by.
    const double limitR = 2.0 * z.stepR * std::max(1.0, double(z.sw) / z.dw);
    const double limitG = 2.0 * z.stepG * std::max(1.0, double(z.sh) / z.dh);
    for (TResampleFilter f : {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfLinear, rfFastLinear,
                              rfBilinear, rfBicubic}) {
      SCOPED_TRACE(::testing::Message() << "filter " << int(f) << ", " << z.sw << "x" << z.sh << " to " << z.dw << "x"
                                        << z.dh);
      TIEBitmap dst(z.dw + 4, z.dh + 4, ie24RGB);
      src.StretchRectTo(&dst, 2, 2, z.dw, z.dh, 0, 0, z.sw, z.sh, f, 255);
      double sumR = 0, sumG = 0;
      bool differs = false;
      for (Integer y = 0; y < z.dh + 4; ++y)
        for (Integer x = 0; x < z.dw + 4; ++x) {
          const TRGB p = dst.GetPixelTriple(x, y), n = nearest.GetPixelTriple(x, y);
          if (x < 2 || y < 2 || x >= z.dw + 2 || y >= z.dh + 2) {
            ASSERT_EQ(p.r + p.g + p.b, 0) << "drawn outside at " << x << "," << y;
            continue;
          }
          ASSERT_NEAR(p.b, 100, 1) << x << "," << y;
          ASSERT_NEAR(p.r, n.r, limitR) << x << "," << y;
          ASSERT_NEAR(p.g, n.g, limitG) << x << "," << y;
          sumR += std::abs(p.r - n.r);
          sumG += std::abs(p.g - n.g);
          differs = differs || p.r != n.r || p.g != n.g;
        }
      const double count = double(z.dw) * z.dh;
      EXPECT_LT(sumR / count, limitR / 2);
      EXPECT_LT(sumG / count, limitG / 2);
      EXPECT_TRUE(differs) << "the filtered copy is the nearest one";
    }
  }
}

}  // namespace

}  // namespace test_copy_tests
