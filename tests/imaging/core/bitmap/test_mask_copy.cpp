// Pixels moved between pictures through the mask: CopyBitmap per format and
// depth, CopyAlphaChannel, IntersectWithBitmap, and clipping when the mask
// and the pictures differ in size.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/bitmap/iemask.h"
#include "mask_support.h"

namespace test_mask_copy_tests {

using namespace mask_test;

namespace {

// A selection over an 11 x 5 plane with runs that start and end inside bytes
// and whole selected bytes.
const std::vector<std::string> kSelection = {
    "#..........",  //
    "..#######..",  //
    "#########.#",  //
    "...........",  //
    ".#.#.#.#.#."};

struct TFormatCase {
  TIEPixelFormat PF;
  const char* Name;
};
const TFormatCase kAllFormats[] = {{ie1g, "ie1g"},       {ie8p, "ie8p"},       {ie8g, "ie8g"},
                                   {ie16g, "ie16g"},     {ie24RGB, "ie24RGB"}, {ie32f, "ie32f"},
                                   {ieCMYK, "ieCMYK"},   {ieRGB48, "ieRGB48"}, {ieCIELab, "ieCIELab"},
                                   {ie32RGB, "ie32RGB"}};

}  // namespace

TEST(MaskCopyBitmap, OneBitMaskCopiesSelectedPixelsOfEveryFormat) {
  for (const TFormatCase& f : kAllFormats) {
    SCOPED_TRACE(f.Name);
    TIEMask m;
    DrawMask(m, 1, kSelection);
    TIEBitmap src(11, 5, f.PF), dst(11, 5, f.PF), before(11, 5, f.PF);
    Pattern(src, 1);
    Pattern(dst, 2);
    Pattern(before, 2);
    m.CopyBitmap(&dst, &src, false, false, false);
    for (Integer y = 0; y < 5; ++y)
      for (Integer x = 0; x < 11; ++x)
        ASSERT_EQ(PixelBytes(dst, x, y), PixelBytes(kSelection[size_t(y)][size_t(x)] == '#' ? src : before, x, y))
            << x << "," << y;
    EXPECT_FALSE(dst.HasAlphaChannel()) << "no alpha without CopyAlpha";
  }
}

TEST(MaskCopyBitmap, EightBitMaskBlendsByTheMaskValue) {
  // (source, dest, mask) -> result: d + floor((s - d) x m / 256), except that
  // a fully selected pixel is the source pixel itself.
  struct Case {
    Byte s, d, m, want;
  };
  const Case rgbCases[] = {{200, 100, 128, 150}, {100, 200, 128, 150}, {0, 255, 1, 254},
                           {200, 0, 255, 200},   {255, 0, 254, 253},   {10, 20, 0, 20}};
  const Case grayCases[] = {{10, 20, 200, 12}, {250, 50, 64, 100}, {200, 0, 255, 200}, {0, 255, 255, 0}, {9, 3, 0, 3}};
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie8p}) {
    const bool rgb = pf == ie24RGB;
    const std::vector<Case> cases = rgb ? std::vector<Case>(std::begin(rgbCases), std::end(rgbCases))
                                        : std::vector<Case>(std::begin(grayCases), std::end(grayCases));
    const Integer n = Integer(cases.size()), ps = rgb ? 3 : 1;
    TIEMask m;
    m.AllocateBits(n, 1, 8);
    TIEBitmap src(n, 1, pf), dst(n, 1, pf);
    Byte* s = static_cast<Byte*>(src.GetScanline(0));
    Byte* d = static_cast<Byte*>(dst.GetScanline(0));
    for (Integer i = 0; i < n; ++i) {
      m.SetPixel(i, 0, cases[size_t(i)].m);
      for (Integer c = 0; c < ps; ++c) {
        s[i * ps + c] = cases[size_t(i)].s;
        d[i * ps + c] = cases[size_t(i)].d;
      }
    }
    m.X2 = n - 1;  // the last pixel, valued 0, lies inside the box as well
    m.CopyBitmap(&dst, &src, false, false, false);
    d = static_cast<Byte*>(dst.GetScanline(0));
    for (Integer i = 0; i < n; ++i)
      for (Integer c = 0; c < ps; ++c)
        EXPECT_EQ(d[i * ps + c], cases[size_t(i)].want) << "format " << int(pf) << " case " << i;
  }
  // Each channel blends on its own.
  TIEMask m;
  m.AllocateBits(1, 1, 8);
  m.SetPixel(0, 0, 128);
  TIEBitmap src(1, 1, ie24RGB), dst(1, 1, ie24RGB);
  Byte* s = static_cast<Byte*>(src.GetScanline(0));
  Byte* d = static_cast<Byte*>(dst.GetScanline(0));
  s[0] = 200, s[1] = 100, s[2] = 50;
  d[0] = 100, d[1] = 200, d[2] = 50;
  m.CopyBitmap(&dst, &src, false, false, false);
  EXPECT_EQ(PixelBytes(dst, 0, 0), (std::vector<Byte>{150, 150, 50}));
}

TEST(MaskCopyBitmap, EightBitMaskOnOtherFormats) {
  TIEMask m;
  DrawMask(m, 8, {"1.#9", "..5."});
  // ie1g: the bit is copied wherever the mask is not 0.
  TIEBitmap s1(4, 2, ie1g), d1(4, 2, ie1g);
  static_cast<Byte*>(s1.GetScanline(0))[0] = 0xF0;
  static_cast<Byte*>(s1.GetScanline(1))[0] = 0x00;
  static_cast<Byte*>(d1.GetScanline(0))[0] = 0x00;
  static_cast<Byte*>(d1.GetScanline(1))[0] = 0xF0;
  m.CopyBitmap(&d1, &s1, false, false, false);
  EXPECT_EQ(static_cast<Byte*>(d1.GetScanline(0))[0] & 0xF0, 0xB0);
  EXPECT_EQ(static_cast<Byte*>(d1.GetScanline(1))[0] & 0xF0, 0xD0);
  // Formats without a blend rule are left alone.
  for (TIEPixelFormat pf : {ie16g, ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    TIEBitmap s(4, 2, pf), d(4, 2, pf), before(4, 2, pf);
    Pattern(s, 1);
    Pattern(d, 2);
    Pattern(before, 2);
    m.CopyBitmap(&d, &s, false, false, false);
    for (Integer y = 0; y < 2; ++y) EXPECT_EQ(RowBytes(d, y), RowBytes(before, y)) << int(pf);
  }
  // ie32RGB blends all four bytes like ie24RGB's three.
  TIEBitmap s4(4, 2, ie32RGB), d4(4, 2, ie32RGB);
  Pattern(s4, 1);
  Pattern(d4, 2);
  m.CopyBitmap(&d4, &s4, false, false, false);
  EXPECT_EQ(PixelBytes(d4, 2, 0), PixelBytes(s4, 2, 0));
}

TEST(MaskCopyBitmap, DifferentFormatsCopyNothing) {
  TIEMask m;
  DrawMask(m, 1, kSelection);
  TIEBitmap src(11, 5, ie24RGB), dst(11, 5, ie8g), before(11, 5, ie8g);
  Pattern(src, 1);
  Pattern(dst, 2);
  Pattern(before, 2);
  m.CopyBitmap(&dst, &src, false, false, false);
  for (Integer y = 0; y < 5; ++y) EXPECT_EQ(RowBytes(dst, y), RowBytes(before, y));
}

// A mask larger than both pictures (the selection kept while the picture was
// replaced by a smaller one): whatever the cropping, only pixels inside both
// pictures are touched. Runs under the sanitizers in the asan build.
TEST(MaskCopyBitmap, MaskLargerThanThePicturesIsClippedInEveryMode) {
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    m.AllocateBits(40, 30, bpp);
    for (Integer y = 4; y <= 25; ++y)
      for (Integer x = 5; x <= 35; ++x)
        if ((x + y) % 3 != 0) m.SetPixel(x, y, 255);
    ASSERT_EQ(Box(m), (TBox{5, 4, 35, 25}));
    for (bool destCropped : {false, true})
      for (bool sourceCropped : {false, true}) {
        SCOPED_TRACE(testing::Message() << "bpp " << bpp << " dest cropped " << destCropped << " source cropped "
                                        << sourceCropped);
        TIEBitmap src(20, 12, ie24RGB), dst(16, 10, ie24RGB), before(16, 10, ie24RGB);
        Pattern(src, 1);
        Pattern(dst, 2);
        Pattern(before, 2);
        m.CopyBitmap(&dst, &src, destCropped, sourceCropped, true);
        TIEBitmap* alpha = dst.GetAlphaChannel();
        for (Integer y = 0; y < 10; ++y)
          for (Integer x = 0; x < 16; ++x) {
            // The mask pixel over dest pixel (x, y), and the source pixel under it.
            const Integer mx = x + (destCropped ? 5 : 0), my = y + (destCropped ? 4 : 0);
            const Integer sx = mx - (sourceCropped ? 5 : 0), sy = my - (sourceCropped ? 4 : 0);
            const bool inArea = mx >= 5 && mx <= 35 && my >= 4 && my <= 25 && sx < 20 && sy < 12;
            const bool selected = inArea && m.IsPointInside(mx, my);
            ASSERT_EQ(PixelBytes(dst, x, y), selected ? PixelBytes(src, sx, sy) : PixelBytes(before, x, y))
                << x << "," << y;
            ASSERT_EQ(alpha->GetPixelByte(x, y), inArea && !selected ? 0 : 255) << x << "," << y;
          }
      }
  }
}

TEST(MaskCopyBitmap, CopyWithinOnePictureReadsEveryRowBeforeWritingIt) {
  // The box's block moved to the top-left of the same picture and back:
  // source and destination overlap in rows, or (box on row 0) within rows.
  for (TIEPixelFormat pf : {ie8g, ie1g})
    for (auto [bx, by] : {std::pair{6, 3}, {6, 0}})
      for (bool toCorner : {false, true}) {
        SCOPED_TRACE(testing::Message() << "format " << int(pf) << " box at " << bx << "," << by
                                        << (toCorner ? " box to corner" : " corner to box"));
        TIEMask m;
        m.AllocateBits(20, 12, 1);
        for (Integer y = by; y < by + 6; ++y) m.DrawHorizontalLine(1, bx, bx + 6, y);
        m.SetPixel(bx + 2, by + 1, 0);
        m.SyncRect();
        TIEBitmap pic(20, 12, pf), orig(20, 12, pf);
        Pattern(pic, 3);
        Pattern(orig, 3);
        m.CopyBitmap(&pic, &pic, toCorner, !toCorner, false);
        for (Integer y = 0; y < 12; ++y)
          for (Integer x = 0; x < 20; ++x) {
            // corner to box: mask (x, y) writes (x, y) from (x - bx, y - by);
            // box to corner: mask (x + bx, y + by) writes (x, y) from itself.
            const Integer mx = toCorner ? x + bx : x, my = toCorner ? y + by : y;
            const Integer sx = toCorner ? mx : x - bx, sy = toCorner ? my : y - by;
            const auto want = m.IsPointInside(mx, my) ? PixelBytes(orig, sx, sy) : PixelBytes(orig, x, y);
            ASSERT_EQ(PixelBytes(pic, x, y), want) << x << "," << y;
          }
      }
}

TEST(MaskCopyBitmap, FileBackedPicturesGiveTheSameResult) {
  TIEMask m;
  m.AllocateBits(30, 20, 8);
  for (Integer y = 2; y < 18; ++y)
    for (Integer x = 3; x < 27; ++x) m.SetPixel(x, y, (x * 11 + y * 5) % 256);
  const int64_t saved = IEMemoryThresholdOverride;
  IEMemoryThresholdOverride = 0;
  TIEBitmap fs(30, 20, ie24RGB), fd(30, 20, ie24RGB);
  IEMemoryThresholdOverride = saved;
  TIEBitmap ms(30, 20, ie24RGB), md(30, 20, ie24RGB);
  ASSERT_EQ(fs.Location(), ieFile);
  ASSERT_EQ(fd.Location(), ieFile);
  for (TIEBitmap* b : {&fs, &ms}) Pattern(*b, 1);
  for (TIEBitmap* b : {&fd, &md}) Pattern(*b, 2);
  for (TIEBitmap* b : {&fs, &ms}) b->GetAlphaChannel()->Fill(140);
  m.CopyBitmap(&fd, &fs, false, false, true);
  m.CopyBitmap(&md, &ms, false, false, true);
  for (Integer y = 0; y < 20; ++y) {
    ASSERT_EQ(RowBytes(fd, y), RowBytes(md, y)) << y;
    ASSERT_EQ(RowBytes(*fd.GetAlphaChannel(), y), RowBytes(*md.GetAlphaChannel(), y)) << y;
  }
  EXPECT_EQ(md.GetAlphaChannel()->GetPixelByte(10, 10), std::min(140, (10 * 11 + 10 * 5) % 256));
}

TEST(MaskCopyAlpha, SelectedPixelsTakeTheSourceAlphaAndOthersZero) {
  TIEMask m;
  DrawMask(m, 8,
           {"......",  //
            ".#5...",  //
            ".9..#.",  //
            "......"});
  TIEBitmap src(6, 4, ie24RGB), dst(6, 4, ie24RGB);
  TIEBitmap* sa = src.GetAlphaChannel();
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) sa->SetPixelByte(x, y, Byte(100 + x));
  dst.GetAlphaChannel()->Fill(33);
  m.CopyAlphaChannel(&dst, &src, false, false);
  TIEBitmap* da = dst.GetAlphaChannel();
  const Byte want[4][6] = {{33, 33, 33, 33, 33, 33}, {33, 101, 5, 0, 0, 33}, {33, 9, 0, 0, 104, 33},
                           {33, 33, 33, 33, 33, 33}};
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 6; ++x) EXPECT_EQ(da->GetPixelByte(x, y), want[y][x]) << x << "," << y;
  EXPECT_FALSE(da->Full());

  // Without a source alpha channel selected pixels become opaque (1-bit mask).
  TIEMask one;
  DrawMask(one, 1, {".#.", "#.#"});
  TIEBitmap plain(3, 2, ie8g), d2(3, 2, ie8g);
  one.CopyAlphaChannel(&d2, &plain, false, false);
  EXPECT_FALSE(plain.HasAlphaChannel()) << "the source gets no alpha channel";
  EXPECT_EQ(RowBytes(*d2.GetAlphaChannel(), 0)[1], 255);
  EXPECT_EQ(RowBytes(*d2.GetAlphaChannel(), 0)[0], 0);
  EXPECT_EQ(RowBytes(*d2.GetAlphaChannel(), 1)[2], 255);

  // An alpha channel as destination has no alpha channel of its own.
  TIEBitmap* alphaDest = dst.GetAlphaChannel();
  one.CopyAlphaChannel(alphaDest, &plain, false, false);
  EXPECT_EQ(alphaDest->GetPixelByte(0, 0), 33);
}

TEST(MaskIntersect, BitmapOverlaidAtAnOffsetCutsTheMask) {
  // Bitmap pixel (bx, by) lies over mask pixel (bx - 1, by + 6).
  TIEBitmap b(4, 3, ie8g);
  const Byte vals[3][4] = {{9, 0, 100, 255}, {9, 50, 0, 7}, {9, 9, 9, 9}};
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 4; ++x) b.SetPixelByte(x, y, vals[y][x]);

  TIEMask m8;
  m8.AllocateBits(10, 8, 8);
  m8.Fill(200);
  m8.SyncRect();
  m8.IntersectWithBitmap(&b, -1, 6, false);
  EXPECT_EQ(m8.GetPixel(0, 6), 0);
  EXPECT_EQ(m8.GetPixel(1, 6), 100);
  EXPECT_EQ(m8.GetPixel(2, 6), 200);
  EXPECT_EQ(m8.GetPixel(1, 7), 0);
  EXPECT_EQ(m8.GetPixel(2, 7), 7);
  EXPECT_EQ(m8.GetPixel(3, 7), 200);
  EXPECT_EQ(m8.GetPixel(0, 5), 200);
  EXPECT_FALSE(m8.Full);

  TIEMask m1;
  m1.AllocateBits(10, 8, 1);
  m1.Fill(255);
  m1.IntersectWithBitmap(&b, -1, 6, true);
  EXPECT_EQ(MaskRows(m1)[6], ".#########");
  EXPECT_EQ(MaskRows(m1)[7], "#.########");
  EXPECT_EQ(Box(m1), (TBox{0, 0, 9, 7}));
  EXPECT_FALSE(m1.Full);

  // Wholly outside: nothing changes, and Full is recomputed.
  TIEMask f;
  f.AllocateBits(5, 5, 8);
  f.Fill(255);
  f.Full = false;
  f.IntersectWithBitmap(&b, 100, -100, false);
  EXPECT_TRUE(f.Full);

  // Other formats do nothing at all.
  TIEBitmap rgb(4, 3, ie24RGB);
  TIEMask g;
  g.AllocateBits(5, 5, 8);
  g.Fill(255);
  g.IntersectWithBitmap(&rgb, 0, 0, true);
  EXPECT_EQ(g.GetPixel(0, 0), 255);
  EXPECT_TRUE(g.IsEmpty()) << "not even the box is recomputed";
}

}  // namespace test_mask_copy_tests
