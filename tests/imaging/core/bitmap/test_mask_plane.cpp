// The mask's plane, box and Full flag: pixels, lines, whole-plane operations,
// resizing, inversion, moving, and the scaling used to draw the selection.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iemask.h"
#include "mask_support.h"
#include "platform/base/sysutils.h"

namespace test_mask_plane_tests {

using namespace mask_test;

TEST(MaskPlane, NewMaskIsEmptyWithoutPlane) {
  TIEMask m;
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.Bits(), nullptr);
  EXPECT_FALSE(m.Full);
  EXPECT_EQ(m.Width(), 0);
  for (auto [x, y] : {std::pair{0, 0}, {5, 5}, {-1, 0}, {INT32_MAX, INT32_MIN}}) EXPECT_EQ(m.GetPixel(x, y), 0);
  m.SetPixel(0, 0, 255);  // no plane: ignored
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.DrawHorizontalLine(1, 0, 10, 0), 0);
}

TEST(MaskPlane, AllocationLayoutIsBottomUpMsbFirstPaddedTo4Bytes) {
  TIEMask m;
  m.AllocateBits(13, 3, 1);
  EXPECT_EQ(m.RowLen(), 4);
  m.SetPixel(0, 0, 1);   // top row is the last row in memory, leftmost pixel the top bit
  m.SetPixel(12, 2, 1);  // bottom row is the first in memory
  EXPECT_EQ(m.Bits()[2 * 4], 0x80);
  EXPECT_EQ(m.Bits()[1], 0x08);
  EXPECT_EQ(m.ScanLine(2), m.Bits());
  EXPECT_EQ(m.GetPixel(3, 0), 0);
  m.SetPixel(3, 0, 7);
  EXPECT_EQ(m.GetPixel(3, 0), 16) << "a 1-bit pixel answers its bit's weight";

  m.AllocateBits(5, 2, 8);
  EXPECT_EQ(m.RowLen(), 8);
  EXPECT_TRUE(m.IsEmpty());
  for (Integer i = 0; i < 16; ++i) EXPECT_EQ(m.Bits()[i], 0) << "zero-filled";
  m.SetPixel(4, 1, 300);
  EXPECT_EQ(m.GetPixel(4, 1), 300 & 255) << "the low byte is stored";

  m.AllocateBits(0, 10, 8);
  EXPECT_EQ(m.Bits(), nullptr);
  EXPECT_EQ(m.Width(), 0);
  m.AllocateBits(4, 4, 1);
  m.FreeBits();
  EXPECT_EQ(m.Bits(), nullptr);
  EXPECT_EQ(m.BitsPerPixel(), 0);
  EXPECT_EQ(m.RowLen(), 0);
}

TEST(MaskPlane, AnImpossiblePlaneRaisesOutOfMemory) {
  TIEMask m;
  EXPECT_THROW(m.AllocateBits(INT32_MAX, 8, 8), EOutOfMemory);  // row length beyond 31 bits
  EXPECT_EQ(m.Bits(), nullptr);
  EXPECT_EQ(m.Width(), 0);
}

TEST(MaskPlane, SetPixelWidensAndClampsTheBox) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    m.AllocateBits(20, 10, bpp);
    m.SetPixel(5, 4, 255);
    EXPECT_EQ(Box(m), (TBox{5, 4, 5, 4}));
    m.SetPixel(2, 8, 1);
    m.SetPixel(9, 1, 0);  // unselecting never widens
    m.SetPixel(30, 1, 255);  // outside: ignored
    EXPECT_EQ(Box(m), (TBox{2, 4, 5, 8}));
    EXPECT_FALSE(m.IsEmpty());
  }
}

// The Full rule of single writes and lines: Full only survives writes that
// leave pixels fully selected.
TEST(MaskPlane, FullSurvivesOnlyFullySelectingWrites) {
  struct Case {
    Integer Bpp;
    bool Line;
    Integer Value;
    bool FullAfter;
  };
  const Case cases[] = {
      {8, false, 255, true}, {8, false, 0, false},  {8, false, 128, false}, {1, false, 1, true},
      {1, false, 255, true}, {1, false, 0, false},  {8, true, 255, true},   {8, true, 254, false},
      {1, true, 1, true},    {1, true, 255, true},  {1, true, 0, false},    {1, true, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bpp " << c.Bpp << (c.Line ? " line " : " pixel ") << c.Value);
    TIEMask m;
    m.AllocateBits(12, 4, c.Bpp);
    EXPECT_TRUE(m.Fill(255));
    if (c.Line)
      m.DrawHorizontalLine(c.Value, 2, 9, 1);
    else
      m.SetPixel(3, 1, c.Value);
    EXPECT_EQ(m.Full, c.FullAfter);
  }
}

TEST(MaskPlane, FillAndClear) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    m.AllocateBits(13, 5, bpp);
    m.SetPixel(3, 2, 255);
    EXPECT_TRUE(m.Fill(255));
    EXPECT_TRUE(m.Full);
    EXPECT_EQ(Box(m), (TBox{3, 2, 3, 2})) << "Fill leaves the box alone";
    for (Integer i = 0; i < m.RowLen() * 5; ++i) ASSERT_EQ(m.Bits()[i], 255) << "padding included";
    EXPECT_FALSE(m.Fill(7));
    m.Clear();
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_FALSE(m.Full);
    for (Integer i = 0; i < m.RowLen() * 5; ++i) ASSERT_EQ(m.Bits()[i], 0);
  }
}

TEST(MaskPlane, SyncFullOnA13PixelRowIgnoresThePaddingBits) {
  TIEMask m;
  m.AllocateBits(13, 1, 1);
  Byte* row = m.ScanLine(0);
  const struct {
    Byte b0, b1;
    bool Full;
  } cases[] = {{0xFF, 0xF8, true}, {0xFF, 0xFF, true}, {0xFF, 0xF0, false}, {0xFE, 0xF8, false}, {0xFF, 0x78, false}};
  for (const auto& c : cases) {
    row[0] = c.b0;
    row[1] = c.b1;
    row[2] = row[3] = 0;
    m.SyncFull();
    EXPECT_EQ(m.Full, c.Full) << std::hex << int(c.b0) << " " << int(c.b1);
  }
  TIEMask e8;
  e8.AllocateBits(3, 2, 8);
  std::memset(e8.ScanLine(0), 255, 3);
  std::memset(e8.ScanLine(1), 255, 3);  // row padding stays 0
  e8.SyncFull();
  EXPECT_TRUE(e8.Full);
  e8.ScanLine(1)[2] = 254;
  e8.SyncFull();
  EXPECT_FALSE(e8.Full);
}

TEST(MaskPlane, SyncRectFindsTheSelectedPixelsOnly) {
  TIEMask m;
  DrawMask(m, 1,
           {"..............",  //
            ".......#......",  //
            "...#..........",  //
            "............#.",  //
            ".............."});
  m.X1 = m.Y1 = INT32_MAX;  // forget the box
  m.X2 = m.Y2 = 0;
  m.SyncRect();
  EXPECT_EQ(Box(m), (TBox{3, 1, 12, 3}));
  // Set padding bits are not pixels.
  m.AllocateBits(13, 3, 1);
  m.ScanLine(1)[1] = 0x07;  // bits of columns 13..15
  m.SyncRect();
  EXPECT_TRUE(m.IsEmpty());
  m.ScanLine(1)[1] = 0x0F;  // column 12 as well
  m.SyncRect();
  EXPECT_EQ(Box(m), (TBox{12, 1, 12, 1}));

  TIEMask e8;
  DrawMask(e8, 8, {".....", "..3..", ".1..."});
  e8.Clear();
  e8.ScanLine(2)[1] = 1;
  e8.ScanLine(1)[4] = 9;
  e8.SyncRect();
  EXPECT_EQ(Box(e8), (TBox{1, 1, 4, 2}));
}

TEST(MaskPlane, DrawHorizontalLineClipsAndCounts) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    m.AllocateBits(20, 3, bpp);
    EXPECT_EQ(m.DrawHorizontalLine(255, -5, 3, 0), 4);
    EXPECT_EQ(m.DrawHorizontalLine(255, 17, 40, 1), 3);
    EXPECT_EQ(m.DrawHorizontalLine(255, 9, 8, 2), 0);
    EXPECT_EQ(m.DrawHorizontalLine(255, 5, 5, 2), 1);
    // Rows outside the plane are not folded onto the first or last row.
    EXPECT_EQ(m.DrawHorizontalLine(255, 0, 19, -1), 0);
    EXPECT_EQ(m.DrawHorizontalLine(255, 0, 19, 3), 0);
    EXPECT_EQ(MaskRows(m), (std::vector<std::string>{"####................",  //
                                                     ".................###",  //
                                                     ".....#.............."}));
    EXPECT_TRUE(m.IsEmpty()) << "lines leave the box alone";
    EXPECT_EQ(m.DrawHorizontalLine(0, 1, 18, 0), 18);
    EXPECT_EQ(MaskRows(m)[0], "#...................");
  }
}

TEST(MaskPlane, OneBitLinesSetEveryBitOfLongAndShortRuns) {
  // Runs that start and end at every bit position of a byte, against SetPixel.
  TIEMask line, dots;
  line.AllocateBits(45, 1, 1);
  dots.AllocateBits(45, 1, 1);
  for (Integer a = 0; a < 45; ++a)
    for (Integer b = a; b < 45; ++b) {
      line.Clear();
      dots.Clear();
      line.DrawHorizontalLine(255, a, b, 0);
      for (Integer x = a; x <= b; ++x) dots.SetPixel(x, 0, 1);
      ASSERT_EQ(std::memcmp(line.Bits(), dots.Bits(), size_t(line.RowLen())), 0) << a << ".." << b;
    }
}

TEST(MaskPlane, ResizeKeepsTheTopLeftAndClipsTheBox) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    DrawMask(m, bpp,
             {"#.....",  //
              ".#..#.",  //
              "......",  //
              "...#.."});
    m.Resize(5, 3);
    EXPECT_EQ(MaskRows(m), (std::vector<std::string>{"#....", ".#..#", "....."}));
    EXPECT_EQ(Box(m), (TBox{0, 0, 4, 2}));
    EXPECT_EQ(m.BitsPerPixel(), bpp);
    m.Resize(7, 4);
    EXPECT_EQ(MaskRows(m), (std::vector<std::string>{"#......", ".#..#..", ".......", "......."}));
  }
  // A one-column box is clipped too; one wholly cut away leaves the mask empty.
  TIEMask c;
  DrawMask(c, 8, {"....#", "....#"});
  c.Resize(3, 2);
  EXPECT_TRUE(c.IsEmpty());
  // A grown plane is no longer fully selected; a shrunk one stays so.
  TIEMask f;
  f.AllocateBits(4, 4, 8);
  f.Fill(255);
  f.Resize(3, 3);
  EXPECT_TRUE(f.Full);
  f.Resize(3, 5);
  EXPECT_FALSE(f.Full);
  f.SyncFull();
  EXPECT_FALSE(f.Full);
}

TEST(MaskPlane, InvertSelectsTheRest) {
  TIEMask empty;
  empty.AllocateBits(4, 4, 8);
  empty.Invert(255);
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(empty.GetPixel(0, 0), 0) << "an empty mask is not inverted";

  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    m.AllocateBits(20, 20, bpp);
    for (Integer y = 5; y < 15; ++y) m.DrawHorizontalLine(255, 5, 14, y);
    m.SyncRect();
    m.Full = true;
    m.Invert(255);
    Integer selected = 0;
    for (Integer y = 0; y < 20; ++y)
      for (Integer x = 0; x < 20; ++x) selected += m.IsPointInside(x, y);
    EXPECT_EQ(selected, 300);
    EXPECT_FALSE(m.IsPointInside(5, 5));
    EXPECT_FALSE(m.IsPointInside(14, 14));
    EXPECT_EQ(Box(m), (TBox{0, 0, 19, 19}));
    EXPECT_FALSE(m.Full);
  }
  TIEMask v;
  DrawMask(v, 8, {"#..", "..5"});
  v.Invert(77);
  EXPECT_EQ(v.GetPixel(1, 0), 77);
  EXPECT_EQ(v.GetPixel(2, 1), 0);
  EXPECT_EQ(Box(v), (TBox{0, 0, 2, 1}));
}

TEST(MaskPlane, TranslateWithoutClipKeepsTheBoxInsideAndReportsTheMove) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    m.AllocateBits(60, 10, bpp);
    for (Integer y = 2; y < 5; ++y) m.DrawHorizontalLine(255, 30, 40, y);
    m.SyncRect();
    Integer dx = -100, dy = 0;
    m.Translate(dx, dy, false);
    EXPECT_EQ(dx, -30);
    EXPECT_EQ(dy, 0);
    EXPECT_EQ(Box(m), (TBox{0, 2, 10, 4}));
    EXPECT_EQ(MaskRows(m)[3], std::string(11, '#') + std::string(49, '.'));
    dx = 3;
    dy = 50;
    m.Translate(dx, dy, false);
    EXPECT_EQ(dx, 3);
    EXPECT_EQ(dy, 5);
    EXPECT_EQ(Box(m), (TBox{3, 7, 13, 9}));
    EXPECT_EQ(MaskRows(m)[9], "..." + std::string(11, '#') + std::string(46, '.'));
    EXPECT_EQ(MaskRows(m)[6], std::string(60, '.'));
  }
}

TEST(MaskPlane, TranslateWithClipCutsWhatLeavesThePlane) {
  const std::vector<std::string> start = {
      "...........",  //
      "..##.#.....",  //
      "...####....",  //
      "....#..#...",  //
      "..........."};
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    DrawMask(m, bpp, start);
    Integer dx = 5, dy = -2;
    m.Translate(dx, dy, true);
    EXPECT_EQ(dx, 5);
    EXPECT_EQ(dy, -2);
    EXPECT_EQ(MaskRows(m), (std::vector<std::string>{"........###",  //
                                                     ".........#.",  //
                                                     "...........",  //
                                                     "...........",  //
                                                     "..........."}));
    EXPECT_EQ(Box(m), (TBox{7, 0, 10, 1}));
    // Everything moved out: nothing left, and the box says so at both depths.
    dx = 0;
    dy = 20;
    m.Translate(dx, dy, true);
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_EQ(MaskRows(m)[0], "...........");
  }
}

TEST(MaskPlane, OneBitTranslateMovesEveryBitOffset) {
  // Moves by every sub-byte offset in both directions, checked pixel by pixel.
  std::vector<std::string> rows(6, std::string(37, '.'));
  const char* pattern[] = {"#.##...#.#.####", "..#.#######....", "##.....#......#", "#.#.#.#.#.#.#.#"};
  for (int r = 0; r < 4; ++r) rows[size_t(r + 1)].replace(11, 15, pattern[r]);
  for (Integer shift = -9; shift <= 9; ++shift) {
    TIEMask m;
    DrawMask(m, 1, rows);
    Integer dx = shift, dy = 1;
    m.Translate(dx, dy, false);
    ASSERT_EQ(dx, shift);
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 37; ++x) {
        const Integer sx = x - shift, sy = y - 1;
        const bool want = sy >= 0 && sx >= 0 && sx < 37 && rows[size_t(sy)][size_t(sx)] == '#';
        ASSERT_EQ(m.IsPointInside(x, y), want) << "shift " << shift << " at " << x << "," << y;
      }
  }
}

TEST(MaskPlane, TranslateOfAMaskWithoutBoxFindsItsPixelsFirst) {
  TIEMask m;
  m.AllocateBits(8, 4, 8);
  m.ScanLine(1)[2] = 200;  // written directly: the box does not know it
  Integer dx = 3, dy = 1;
  m.Translate(dx, dy, false);
  EXPECT_EQ(m.GetPixel(5, 2), 200);
  EXPECT_EQ(m.GetPixel(2, 1), 0);
  EXPECT_EQ(Box(m), (TBox{5, 2, 5, 2}));
  TIEMask none;
  none.AllocateBits(8, 4, 1);
  dx = 2;
  none.Translate(dx, dy, true);
  EXPECT_TRUE(none.IsEmpty());
}

// ---------------------------------------------------------------------------
// Scaling

namespace {
// A plane of the mask's geometry as IEStretchMaskBits writes it: DestWidth x
// DestHeight, rows padded to 4 bytes, bottom-up.
struct TScaled {
  Integer W, H, Bpp, RowLen;
  std::vector<Byte> Bits;
  TScaled(Integer AW, Integer AH, Integer ABpp) : W(AW), H(AH), Bpp(ABpp) {
    RowLen = ((W * Bpp + 31) / 32) * 4;
    Bits.assign(size_t(RowLen) * size_t(H), 0xAA);  // whatever the last drawing left
  }
  Integer At(Integer X, Integer Y) const {
    const Byte* r = Bits.data() + size_t(RowLen) * size_t(H - 1 - Y);
    return Bpp == 8 ? r[X] : (r[X >> 3] >> (7 - (X & 7))) & 1;
  }
};
void Stretch(const TIEMask& M, TScaled& D, Integer XSrc, Integer YSrc, Integer DxSrc, Integer DySrc) {
  IEStretchMaskBits(M.BitsPerPixel(), D.Bits.data(), D.W, D.H, M.X1, M.Y1, M.X2, M.Y2, M.Width(), M.Height(),
                    M.Bits(), XSrc, YSrc, DxSrc, DySrc);
}
}  // namespace

TEST(MaskStretch, DoublesAndHalvesByNearestSample) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    DrawMask(m, bpp,
             {"........",  //
              "..##....",  //
              "..#.#...",  //
              "........"});
    TScaled up(16, 8, bpp);
    Stretch(m, up, 0, 0, 8, 4);
    for (Integer y = 0; y < 8; ++y)
      for (Integer x = 0; x < 16; ++x)
        ASSERT_EQ(up.At(x, y) != 0, m.IsPointInside(x / 2, y / 2)) << x << "," << y;
    // The row padding of a 1-bit plane (bytes 2 and 3) ends zero as well.
    if (bpp == 1) {
      for (Integer y = 0; y < 8; ++y) ASSERT_EQ(up.Bits[size_t(y) * 4 + 2] | up.Bits[size_t(y) * 4 + 3], 0);
    }

    // The source rectangle (2, 1, 4, 2) shown in 2 x 1: columns 2 and 4 of row 1.
    TScaled down(2, 1, bpp);
    Stretch(m, down, 2, 1, 4, 2);
    EXPECT_NE(down.At(0, 0), 0);
    EXPECT_EQ(down.At(1, 0), 0);
  }
  // 8-bit values are carried as they are.
  TIEMask v;
  DrawMask(v, 8, {"3.", ".7"});
  TScaled d(4, 4, 8);
  Stretch(v, d, 0, 0, 2, 2);
  EXPECT_EQ(d.At(1, 1), 3);
  EXPECT_EQ(d.At(3, 2), 7);
  EXPECT_EQ(d.At(2, 1), 0);
}

TEST(MaskStretch, EmptyBoxOrSizesGiveAZeroPlane) {
  TIEMask m;
  m.AllocateBits(8, 8, 8);
  m.Fill(255);  // pixels set, but the box is empty
  TScaled d(8, 8, 8);
  Stretch(m, d, 0, 0, 8, 8);
  for (Byte b : d.Bits) ASSERT_EQ(b, 0);
  m.SyncRect();
  TScaled z(8, 8, 8);
  Stretch(m, z, 0, 0, 0, 8);  // a zero source width scales nothing
  for (Byte b : z.Bits) ASSERT_EQ(b, 0);
}

TEST(MaskStretch, SourceRectangleBeyondThePlaneReadsInsideIt) {
  // The view may show more than the picture: a source rectangle twice the
  // mask's size. The mask's last row is the end of its buffer (bottom-up),
  // so a sample past the last column would read outside it.
  TIEMask m;
  m.AllocateBits(32, 4, 8);
  for (Integer y = 0; y < 4; ++y) m.DrawHorizontalLine(255, 20, 31, y);
  m.SyncRect();
  TScaled d(64, 8, 8);
  Stretch(m, d, 0, 0, 64, 8);
  for (Integer x = 0; x < 32; ++x) EXPECT_EQ(d.At(x, 0), x >= 20 ? 255 : 0) << x;
  EXPECT_EQ(d.At(32, 0), 255) << "the sample past the edge takes the edge column";
  EXPECT_EQ(d.At(33, 0), 0);
  EXPECT_EQ(d.At(0, 5), 0);
}

TEST(MaskStretch, TallPlanesNeedMoreThan32BitProducts) {
  // (Y2 - YSrc + 1) x DestHeight = 50000 x 100000 does not fit in 32 bits;
  // truncated, the last rows of the scaled plane would stay empty.
  TIEMask m;
  m.AllocateBits(8, 50000, 1);
  m.SetPixel(3, 49990, 1);
  m.SetPixel(3, 49999, 1);
  TScaled d(8, 100000, 1);
  Stretch(m, d, 0, 0, 8, 50000);
  for (Integer y : {99980, 99981, 99998, 99999}) EXPECT_EQ(d.At(3, y), 1) << y;
  for (Integer y : {0, 50000, 99979, 99982, 99997}) EXPECT_EQ(d.At(3, y), 0) << y;
}

TEST(MaskStretch, EveryDestinationPixelShowsTheSourceOffsetRoundedDown) {
  // At zooms such as 300 and 700 the ratio Src / Dst has no exact binary
  // form; a truncated 14-bit step falls short and starts every source column
  // and row one destination pixel late (at 300, destination column 3 would
  // still show source column 0). Destination pixel d must show source offset
  // floor(d x Src / Dst), exactly as the view shows the picture.
  struct TCase {
    Integer Src, Dst, XSrc, YSrc;
  };
  const TCase cases[] = {
      {10, 30, 0, 0},  // 300
      {10, 70, 0, 0},  // 700
      {5, 15, 3, 2},   // 300 from inside the mask
      {7, 49, 1, 1},   // 700 from inside the mask
  };
  std::vector<std::string> rows;
  for (Integer y = 0; y < 10; ++y) {
    std::string r;
    for (Integer x = 0; x < 10; ++x) r += (x + y) % 2 ? '#' : '.';
    rows.push_back(r);
  }
  for (Integer bpp : {1, 8}) {
    TIEMask m;
    DrawMask(m, bpp, rows);
    for (const TCase& t : cases) {
      SCOPED_TRACE(testing::Message() << "bpp " << bpp << ", " << t.Src << " -> " << t.Dst << " at " << t.XSrc
                                      << "," << t.YSrc);
      TScaled d(t.Dst, t.Dst, bpp);
      Stretch(m, d, t.XSrc, t.YSrc, t.Src, t.Src);
      for (Integer y = 0; y < t.Dst; ++y)
        for (Integer x = 0; x < t.Dst; ++x)
          ASSERT_EQ(d.At(x, y) != 0, m.IsPointInside(t.XSrc + x * t.Src / t.Dst, t.YSrc + y * t.Src / t.Dst))
              << x << "," << y;
    }
    // The boundary the short step misplaces, pinned: at 300 source column 1
    // (selected in row 0) begins at destination column 3.
    TScaled z(30, 30, bpp);
    Stretch(m, z, 0, 0, 10, 10);
    EXPECT_EQ(z.At(2, 0), 0);
    EXPECT_NE(z.At(3, 0), 0);
  }
}

}  // namespace test_mask_plane_tests
