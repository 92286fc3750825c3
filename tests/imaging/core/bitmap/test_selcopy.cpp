// Selection copies between pictures (copy, copy on a background, paste) and
// the exchange of whole planes between pictures and masks.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/core/bitmap/ieselcopy.h"
#include "mask_support.h"

namespace test_selcopy_tests {

using namespace mask_test;

namespace {

// A 20 x 15 selection whose box is (4, 5)-(12, 10), 9 x 6 pixels.
void Selection(TIEMask& M, Integer Bpp) {
  M.AllocateBits(20, 15, Bpp);
  for (Integer y = 5; y <= 10; ++y)
    for (Integer x = 4; x <= 12; ++x)
      if (x == 4 || y == 5 || x == 12 || y == 10 || (x + y) % 2 == 0) M.SetPixel(x, y, 255);
  M.SetPixel(8, 7, 0);
}

}  // namespace

TEST(SelectionCopy, CopySelectionToTakesTheBoxAndMarksUnselectedTransparent) {
  TIEMask m;
  Selection(m, 1);
  ASSERT_EQ(Box(m), (TBox{4, 5, 12, 10}));
  TIEBitmap pic(20, 15, ie24RGB), dst;
  Pattern(pic, 1);
  TIEBitmap* pa = pic.GetAlphaChannel();
  for (Integer y = 0; y < 15; ++y)
    for (Integer x = 0; x < 20; ++x) pa->SetPixelByte(x, y, Byte(x * 10 + y));
  IECopySelectionTo(pic, &dst, &m);
  ASSERT_EQ(dst.Width(), 9);
  ASSERT_EQ(dst.Height(), 6);
  ASSERT_EQ(dst.PixelFormat(), ie24RGB);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 9; ++x) {
      ASSERT_EQ(PixelBytes(dst, x, y), PixelBytes(pic, x + 4, y + 5)) << x << "," << y;
      const Integer a = m.IsPointInside(x + 4, y + 5) ? (x + 4) * 10 + y + 5 : 0;
      ASSERT_EQ(dst.GetAlphaChannel()->GetPixelByte(x, y), a) << x << "," << y;
    }
}

TEST(SelectionCopy, PaletteTravelsWithAPalettePicture) {
  TIEMask m;
  Selection(m, 1);
  TIEBitmap pic(20, 15, ie8p), dst;
  Pattern(pic, 4);
  for (Integer i = 0; i < 256; ++i) pic.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i / 2)});
  IECopySelectionTo(pic, &dst, &m);
  ASSERT_EQ(dst.GetPaletteLength(), 256);
  for (Integer i = 0; i < 256; ++i) {
    TRGB a, b;
    pic.GetPaletteColor(i, a);
    dst.GetPaletteColor(i, b);
    ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b) << i;
  }
  TIEBitmap onBack;
  IECopySelectionOnBackgroundTo(pic, &onBack, &m, 0);
  EXPECT_EQ(onBack.GetPaletteBuffer()[200].g, 55);
}

TEST(SelectionCopy, OnBackgroundFillsTheUnselectedPixels) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    Selection(m, bpp);
    TIEBitmap pic(20, 15, ie24RGB), dst;
    Pattern(pic, 1);
    IECopySelectionOnBackgroundTo(pic, &dst, &m, 0x0000FF);  // TColor red
    ASSERT_EQ(dst.Width(), 9);
    ASSERT_EQ(dst.Height(), 6);
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 9; ++x) {
        const bool sel = m.IsPointInside(x + 4, y + 5);
        ASSERT_EQ(PixelBytes(dst, x, y), sel ? PixelBytes(pic, x + 4, y + 5) : (std::vector<Byte>{0, 0, 255}))
            << x << "," << y;
        ASSERT_EQ(dst.GetAlphaChannel()->GetPixelByte(x, y), sel ? 255 : 0);
      }
  }
}

TEST(SelectionCopy, PastePutsTheSelectedPixelsAndAlphaAtTheBox) {
  TIEMask m;
  Selection(m, 1);
  TIEBitmap piece(9, 6, ie24RGB), pic(20, 15, ie24RGB), before(20, 15, ie24RGB);
  Pattern(piece, 5);
  Pattern(pic, 6);
  Pattern(before, 6);
  TIEBitmap* pa = piece.GetAlphaChannel();
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 9; ++x) pa->SetPixelByte(x, y, Byte(x + 16 * y));
  pic.GetAlphaChannel()->Fill(250);
  pic.GetAlphaChannel()->SetFull(true);
  IEPasteSelectionTo(piece, &pic, &m);
  for (Integer y = 0; y < 15; ++y)
    for (Integer x = 0; x < 20; ++x) {
      const bool sel = m.IsPointInside(x, y);
      ASSERT_EQ(PixelBytes(pic, x, y), sel ? PixelBytes(piece, x - 4, y - 5) : PixelBytes(before, x, y))
          << x << "," << y;
      ASSERT_EQ(pic.GetAlphaChannel()->GetPixelByte(x, y), sel ? (x - 4) + 16 * (y - 5) : 250) << x << "," << y;
    }
  EXPECT_FALSE(pic.GetAlphaChannel()->Full());

  // Without an alpha channel of its own the piece leaves the target's alone.
  TIEBitmap plain(9, 6, ie24RGB), target(20, 15, ie24RGB);
  IEPasteSelectionTo(plain, &target, &m);
  EXPECT_FALSE(target.HasAlphaChannel());
}

TEST(SelectionCopy, EmptyMaskOrAMaskBeyondThePicture) {
  TIEMask empty;
  empty.AllocateBits(20, 15, 1);
  TIEBitmap pic(20, 15, ie8g), dst(3, 3, ie8g);
  Pattern(pic, 1);
  IECopySelectionTo(pic, &dst, &empty);
  IECopySelectionOnBackgroundTo(pic, &dst, &empty, 0);
  IEPasteSelectionTo(pic, &dst, &empty);
  EXPECT_EQ(dst.Width(), 3) << "an empty mask leaves the destination as it was";

  // The picture was replaced by a smaller one under a kept selection: only
  // the part inside the picture is taken (checked by the sanitizers too).
  TIEMask big;
  big.AllocateBits(40, 40, 8);
  for (Integer y = 10; y < 30; ++y) big.DrawHorizontalLine(255, 15, 34, y);
  big.SyncRect();
  TIEBitmap small(20, 15, ie8g), out;
  Pattern(small, 2);
  IECopySelectionTo(small, &out, &big);
  ASSERT_EQ(out.Width(), 20);
  ASSERT_EQ(out.Height(), 20);
  EXPECT_EQ(out.GetPixelByte(4, 4), small.GetPixelByte(19, 14));
  EXPECT_EQ(out.GetAlphaChannel()->GetPixelByte(4, 4), 255);
  TIEBitmap back(20, 15, ie8g);
  IEPasteSelectionTo(out, &back, &big);
  EXPECT_EQ(back.GetPixelByte(19, 14), small.GetPixelByte(19, 14));
}

// ---------------------------------------------------------------------------
// Mask exchange

TEST(MaskExchange, NoMaskMakesThePictureWhollyOpaque) {
  TIEBitmap b(5, 3, ie8g);
  Pattern(b, 1);
  IECopyFromTIEMask(b, nullptr);
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) ASSERT_EQ(b.GetPixelByte(x, y), 255);
  EXPECT_TRUE(b.Full());
}

TEST(MaskExchange, MaskPlanesBecomePicturesAndBack) {
  for (Integer bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    DrawMask(m, bpp,
             {"#...........#",  //
              ".#.9.....##..",  //
              "............."});
    TIEBitmap b;
    IECopyFromTIEMask(b, &m);
    ASSERT_EQ(b.PixelFormat(), bpp == 1 ? ie1g : ie8g);
    ASSERT_EQ(b.Width(), 13);
    ASSERT_EQ(b.Height(), 3);
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 13; ++x) {
        const Integer v = m.GetPixel(x, y);
        ASSERT_EQ(PixelBytes(b, x, y)[0], bpp == 1 ? (v != 0) : v) << x << "," << y;
      }
    EXPECT_FALSE(b.Full());

    TIEMask back;
    b.SetFull(true);  // taken over as it stands
    IECopyToTIEMask(b, &back);
    EXPECT_EQ(back.BitsPerPixel(), bpp);
    EXPECT_EQ(MaskRows(back), MaskRows(m));
    EXPECT_EQ(back.GetPixel(3, 1), m.GetPixel(3, 1));
    EXPECT_EQ(Box(back), (TBox{0, 0, 12, 1})) << "the box is found";
    EXPECT_TRUE(back.Full);
  }
  TIEMask full;
  full.AllocateBits(9, 2, 1);
  full.Fill(255);
  TIEBitmap fb;
  IECopyFromTIEMask(fb, &full);
  EXPECT_TRUE(fb.Full());

  // A depth other than 1 or 8 leaves the picture alone.
  TIEMask odd;
  odd.AllocateBits(4, 4, 4);
  TIEBitmap keep(2, 2, ie24RGB);
  IECopyFromTIEMask(keep, &odd);
  EXPECT_EQ(keep.PixelFormat(), ie24RGB);
  EXPECT_EQ(keep.Width(), 2);
}

TEST(MaskExchange, ColourPicturesGiveGreyLevelsAndOtherFormatsNothing) {
  TIEBitmap rgb(3, 1, ie24RGB);
  rgb.SetPixelRGB(0, 0, TRGB{0, 0, 255});      // pure red: (255 x 21) div 100
  rgb.SetPixelRGB(1, 0, TRGB{255, 255, 255});  // white selects fully
  rgb.SetPixelRGB(2, 0, TRGB{0, 0, 0});
  rgb.SetFull(true);
  TIEMask m;
  IECopyToTIEMask(rgb, &m);
  EXPECT_EQ(m.BitsPerPixel(), 8);
  EXPECT_EQ(m.GetPixel(0, 0), 53);
  EXPECT_EQ(m.GetPixel(1, 0), 255);
  EXPECT_EQ(m.GetPixel(2, 0), 0);
  EXPECT_FALSE(m.Full) << "Full is not taken from colour pictures";
  EXPECT_EQ(Box(m), (TBox{0, 0, 1, 0}));

  TIEBitmap gray16(4, 4, ie16g);
  IECopyToTIEMask(gray16, &m);
  EXPECT_EQ(m.Width(), 3) << "the mask is left as it was";
  EXPECT_EQ(m.GetPixel(0, 0), 53);
}

TEST(MaskExchange, AlphaChannelRoundTripsThroughAMask) {
  // How codecs hand transparency to writers and take it back from readers.
  TIEBitmap pic(17, 9, ie24RGB);
  TIEBitmap* a = pic.GetAlphaChannel();
  Pattern(*a, 7);
  TIEMask m;
  IECopyToTIEMask(*a, &m);
  TIEBitmap other(17, 9, ie24RGB);
  IECopyFromTIEMask(*other.GetAlphaChannel(), &m);
  for (Integer y = 0; y < 9; ++y)
    for (Integer x = 0; x < 17; ++x)
      ASSERT_EQ(other.GetAlphaChannel()->GetPixelByte(x, y), a->GetPixelByte(x, y)) << x << "," << y;
}

namespace {

// Format, size, every row and every alpha row of a picture.
std::vector<Byte> Contents(TIEBitmap& B) {
  std::vector<Byte> out{Byte(B.PixelFormat()), Byte(B.Width()), Byte(B.Height())};
  for (Integer y = 0; y < B.Height(); ++y) {
    const std::vector<Byte> r = RowBytes(B, y);
    out.insert(out.end(), r.begin(), r.end());
  }
  if (B.HasAlphaChannel() && !B.IsAlphaChannel()) {
    const std::vector<Byte> a = Contents(*B.GetAlphaChannel());
    out.insert(out.end(), a.begin(), a.end());
  }
  return out;
}

}  // namespace

// The members of the picture are the routines with the picture first.
TEST(SelectionCopy, MembersAgreeWithTheRoutines) {
  TIEMask m;
  Selection(m, 8);
  TIEBitmap pic(20, 15, ie24RGB);
  Pattern(pic, 2);
  Pattern(*pic.GetAlphaChannel(), 3);

  TIEBitmap byMember, byRoutine;
  pic.CopySelectionTo(&byMember, &m);
  IECopySelectionTo(pic, &byRoutine, &m);
  ASSERT_EQ(byMember.Width(), 9);
  EXPECT_EQ(Contents(byMember), Contents(byRoutine));

  TIEBitmap onMember, onRoutine;
  pic.CopySelectionOnBackgroundTo(&onMember, &m, 0x00FF00);
  IECopySelectionOnBackgroundTo(pic, &onRoutine, &m, 0x00FF00);
  EXPECT_EQ(PixelBytes(onMember, 4, 2), (std::vector<Byte>{0, 255, 0}));  // the hole at (8, 7)
  EXPECT_EQ(Contents(onMember), Contents(onRoutine));

  TIEBitmap intoMember(20, 15, ie24RGB), intoRoutine(20, 15, ie24RGB);
  Pattern(intoMember, 5);
  Pattern(intoRoutine, 5);
  const std::vector<Byte> before = Contents(intoMember);
  onMember.PasteSelectionTo(&intoMember, &m);
  IEPasteSelectionTo(onMember, &intoRoutine, &m);
  EXPECT_NE(Contents(intoMember), before);
  EXPECT_EQ(Contents(intoMember), Contents(intoRoutine));

  TIEBitmap planeMember, planeRoutine;
  planeMember.CopyFromTIEMask(&m);
  IECopyFromTIEMask(planeRoutine, &m);
  EXPECT_EQ(planeMember.PixelFormat(), ie8g);
  EXPECT_EQ(Contents(planeMember), Contents(planeRoutine));

  TIEMask back;
  planeMember.CopyToTIEMask(&back);
  EXPECT_EQ(MaskRows(back), MaskRows(m));
  EXPECT_EQ(Box(back), Box(m));
}

}  // namespace test_selcopy_tests
