// The picture container stored in a platform bitmap: wrapping, following
// changes made behind its back, allocation, moving in, conversion and copies.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/render/iedibconvert.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace test_tbitmap_tests {

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<TBitmap> Platform(TPixelFormat pf, Integer w, Integer h) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf);
  b->SetSize(w, h);
  return b;
}

// Fills every row byte of a platform bitmap with a pattern of its row and column.
void Pattern(TBitmap& b, Integer rowBytes) {
  for (Integer y = 0; y < b.Height(); ++y) {
    auto* r = static_cast<Byte*>(b.ScanLine(y));
    for (Integer i = 0; i < rowBytes; ++i) r[i] = Byte(y * 31 + i * 7 + 1);
  }
}

TRGB Colour(TIEBitmap& b, Integer x, Integer y) {
  TRGB c{};
  b.GetPixelAsRGB(x, y, c);
  return c;
}

void ExpectColour(const TRGB& c, Byte r, Byte g, Byte b) {
  EXPECT_EQ(c.r, r);
  EXPECT_EQ(c.g, g);
  EXPECT_EQ(c.b, b);
}

// The container uses the platform bitmap's own rows, whatever depth it has.
TEST(WrappedBitmap, RowsAreThePlatformBitmapsOwn) {
  struct TCase {
    TPixelFormat PF;
    bool GreyTable;
    TIEPixelFormat Want;
    Integer Bits;
  } cases[] = {
      {pf1bit, false, ie1g, 1},    {pf8bit, true, ie8g, 8},       {pf8bit, false, ie8p, 8},
      {pf24bit, false, ie24RGB, 24}, {pf32bit, false, ie32RGB, 32},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Want);
    auto b = Platform(c.PF, 7, 3);
    if (c.GreyTable) {
      for (Integer i = 0; i < 256; ++i) b->SetColorTableEntry(i, RGBQUAD{Byte(i), Byte(i), Byte(i), 0});
    }
    const Integer rowBytes = (7 * c.Bits + 31) / 32 * 4;
    Pattern(*b, rowBytes);
    TIEBitmap w;
    w.EncapsulateTBitmap(b.get(), true);
    EXPECT_EQ(w.Location(), ieTBitmap);
    EXPECT_EQ(w.VclBitmap(), b.get());
    EXPECT_TRUE(w.VclBitmapIsExternal());
    EXPECT_EQ(w.GetPixelFormat(), c.Want);
    EXPECT_EQ(w.GetWidth(), 7);
    EXPECT_EQ(w.GetHeight(), 3);
    EXPECT_EQ(w.GetRowLen(), rowBytes);
    for (Integer y = 0; y < 3; ++y) EXPECT_EQ(w.GetScanline(y), b->ScanLine(y)) << y;
    // Written through the container, seen in the platform bitmap.
    static_cast<Byte*>(w.GetScanline(2))[0] = 0xA5;
    EXPECT_EQ(static_cast<Byte*>(b->ScanLine(2))[0], 0xA5);
  }
  // The container never frees a wrapped bitmap.
  auto b = Platform(pf24bit, 2, 2);
  { TIEBitmap w; w.EncapsulateTBitmap(b.get(), true); }
  EXPECT_EQ(b->Width(), 2);
}

// An 8-bit palette bitmap keeps its colours when wrapped: the palette exists
// and holds the colour table, so the picture renders in its colours.
TEST(WrappedBitmap, PaletteBitmapKeepsItsColours) {
  auto b = Platform(pf8bit, 2, 1);
  b->SetColorTableEntry(0, RGBQUAD{0, 0, 200, 0});    // red 200
  b->SetColorTableEntry(1, RGBQUAD{50, 100, 0, 0});   // green 100, blue 50
  static_cast<Byte*>(b->ScanLine(0))[0] = 0;
  static_cast<Byte*>(b->ScanLine(0))[1] = 1;
  TIEBitmap w;
  w.EncapsulateTBitmap(b.get(), true);
  ASSERT_EQ(w.GetPixelFormat(), ie8p);
  ASSERT_EQ(w.GetPaletteLength(), 256);
  TRGB c{};
  w.GetPaletteColor(1, c);
  ExpectColour(c, 0, 100, 50);
  TIEBitmap shown(2, 1, ie24RGB);
  w.RenderToTIEBitmap(&shown, 0, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, 0);
  ExpectColour(Colour(shown, 0, 0), 200, 0, 0);
  ExpectColour(Colour(shown, 1, 0), 0, 100, 50);

  // Colour table changed directly: a sync takes it over; a palette entry set
  // through the container reaches the colour table.
  b->SetColorTableEntry(1, RGBQUAD{9, 8, 7, 0});
  w.SyncWithTBitmap();
  w.GetPaletteColor(1, c);
  ExpectColour(c, 7, 8, 9);
  w.SetPaletteColor(0, TRGB{1, 2, 3});
  const RGBQUAD q = b->ColorTableEntry(0);
  EXPECT_EQ(q.rgbBlue, 1);
  EXPECT_EQ(q.rgbRed, 3);

  // A bitmap that turns 8-bit behind the container's back gets a palette too.
  auto c24 = Platform(pf24bit, 2, 1);
  TIEBitmap w2;
  w2.EncapsulateTBitmap(c24.get(), true);
  ASSERT_EQ(w2.GetPaletteLength(), 0);
  c24->SetPixelFormat(pf8bit);
  c24->SetColorTableEntry(5, RGBQUAD{0, 255, 0, 0});
  w2.SyncWithTBitmap();
  EXPECT_EQ(w2.PixelFormat(), ie8p);
  ASSERT_EQ(w2.GetPaletteLength(), 256);
  w2.GetPaletteColor(5, c);
  ExpectColour(c, 0, 255, 0);
}

// Size and storage changed directly are followed by the getters; an alpha
// channel keeps the picture's size.
TEST(WrappedBitmap, FollowsChangesBehindItsBack) {
  auto b = Platform(pf24bit, 4, 4);
  TIEBitmap w;
  w.EncapsulateTBitmap(b.get(), true);
  w.GetAlphaChannel()->Fill(7);
  b->SetSize(9, 5);  // new pixel storage
  EXPECT_EQ(w.GetWidth(), 9);
  EXPECT_EQ(w.Height(), 5);
  EXPECT_EQ(w.RowLen(), 28);
  for (Integer y = 0; y < 5; ++y) EXPECT_EQ(w.GetScanline(y), b->ScanLine(y));
  ASSERT_TRUE(w.HasAlphaChannel());
  EXPECT_EQ(w.GetAlphaChannel()->Width(), 9);
  EXPECT_EQ(w.GetAlphaChannel()->GetPixelByte(8, 4), 255);
}

// Depths the container has no rows for are made 24-bit, keeping the picture,
// instead of being read as 24-bit rows they are not.
TEST(WrappedBitmap, DepthsWithoutAContainerFormatBecome24Bits) {
  for (TPixelFormat pf : {pf4bit, pf15bit, pf16bit}) {
    SCOPED_TRACE(int(pf));
    auto b = Platform(pf, 3, 2);
    b->Canvas()->SetPixels(2, 1, TColor(0x0000FF));  // red
    TIEBitmap w;
    w.EncapsulateTBitmap(b.get(), true);
    EXPECT_EQ(w.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b->PixelFormat(), pf24bit);
    EXPECT_EQ(w.GetScanline(0), b->ScanLine(0));
    const TRGB c = Colour(w, 2, 1);
    EXPECT_GE(c.r, 240);
    EXPECT_EQ(c.g, 0);
  }
}

TEST(PlatformLocation, AllocateByFormat) {
  struct TCase {
    TIEPixelFormat Asked, Got;
    TPixelFormat PF;
  } cases[] = {
      {ie1g, ie1g, pf1bit},      {ie8p, ie8p, pf8bit},       {ie8g, ie8g, pf8bit},
      {ie16g, ie8g, pf8bit},     {ie24RGB, ie24RGB, pf24bit}, {ie32RGB, ie32RGB, pf32bit},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Asked);
    // Reused and resized when it is the caller's.
    auto b = Platform(pf24bit, 2, 2);
    b->Canvas()->SetPixels(0, 0, TColor(0xFFFFFF));
    TIEBitmap w;
    w.EncapsulateTBitmap(b.get(), true);
    ASSERT_TRUE(w.Allocate(6, 3, c.Asked));
    EXPECT_EQ(w.VclBitmap(), b.get());
    EXPECT_EQ(w.PixelFormat(), c.Got);
    EXPECT_EQ(b->PixelFormat(), c.PF);
    EXPECT_EQ(b->Width(), 6);
    EXPECT_EQ(b->Height(), 3);
    EXPECT_TRUE(w.IsAllZero());
    if (c.Got == ie8g) {
      EXPECT_EQ(b->ColorTableEntry(77).rgbGreen, 77);
      EXPECT_EQ(w.GetPixelFormat(), ie8g);
    }
  }
  // The formats a platform bitmap cannot hold fail cleanly.
  for (TIEPixelFormat pf : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    TIEBitmap w;
    w.SetLocation(ieTBitmap);
    EXPECT_FALSE(w.Allocate(4, 4, pf)) << pf;
    EXPECT_TRUE(w.IsEmpty());
  }
}

// Moving a picture into a platform bitmap keeps pixels, palette and alpha;
// 16-bit grey arrives as its top bytes; formats without a platform layout
// are refused with the message and stay where they were.
TEST(PlatformLocation, SetLocationMovesThePicture) {
  TIEBitmap p(5, 3, ie8p);
  p.SetPaletteColor(200, TRGB{6, 7, 8});
  static_cast<Byte*>(p.GetScanline(2))[4] = 200;
  p.GetAlphaChannel()->SetPixelByte(4, 2, 33);
  p.SetLocation(ieTBitmap);
  ASSERT_EQ(p.Location(), ieTBitmap);
  ASSERT_NE(p.VclBitmap(), nullptr);
  EXPECT_FALSE(p.VclBitmapIsExternal());
  EXPECT_EQ(p.PixelFormat(), ie8p);
  EXPECT_EQ(static_cast<Byte*>(p.VclBitmap()->ScanLine(2))[4], 200);
  EXPECT_EQ(p.VclBitmap()->ColorTableEntry(200).rgbRed, 8);
  EXPECT_EQ(p.GetAlphaChannel()->GetPixelByte(4, 2), 33);
  // And back.
  p.SetLocation(ieMemory);
  EXPECT_EQ(p.VclBitmap(), nullptr);
  EXPECT_EQ(p.GetPixelByte(4, 2), 200);
  ExpectColour(Colour(p, 4, 2), 8, 7, 6);

  TIEBitmap g(3, 1, ie16g);
  const uint16_t v[] = {0x1234, 0xFF00, 0x00FF};
  std::memcpy(g.GetScanline(0), v, sizeof(v));
  g.SetLocation(ieTBitmap);
  EXPECT_EQ(g.PixelFormat(), ie8g);
  const auto* row = static_cast<const Byte*>(g.GetScanline(0));
  EXPECT_EQ(Bytes(row, row + 3), (Bytes{0x12, 0xFF, 0x00}));

  TIEBitmap cmyk(2, 2, ieCMYK);
  cmyk.Fill(0);
  try {
    cmyk.SetLocation(ieTBitmap);
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()),
              "ieCMYK pixel format not allowed when Location=ieTBitmap. Please set TZiduzUvView.LegacyBitmap=false.");
  }
  EXPECT_NE(cmyk.Location(), ieTBitmap);
  EXPECT_EQ(cmyk.PixelFormat(), ieCMYK);
  EXPECT_EQ(cmyk.Width(), 2);
}

// Drawing on the canvas lands in the picture's pixels.
TEST(PlatformLocation, CanvasDrawsIntoThePixels) {
  TIEBitmap p(4, 4, ie24RGB);
  TCanvas* c = p.GetCanvas();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(p.Location(), ieTBitmap);
  c->Brush()->SetColor(TColor(0x00FF00));
  c->FillRect(TRect(1, 1, 3, 3));
  ExpectColour(Colour(p, 1, 1), 0, 255, 0);
  ExpectColour(Colour(p, 2, 2), 0, 255, 0);
  ExpectColour(Colour(p, 3, 3), 0, 0, 0);
}

// Conversion at the platform location really changes the rows (and the
// platform bitmap's depth), for the caller's bitmap as for an owned one.
TEST(PlatformLocation, ConvertToPixelFormatConverts) {
  struct TCase {
    TIEPixelFormat To;
    TPixelFormat PF;
  } cases[] = {{ie8p, pf8bit}, {ie8g, pf8bit}, {ie1g, pf1bit}, {ie32RGB, pf32bit}};
  for (bool external : {true, false}) {
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::to_string(c.To) + (external ? " wrapped" : " owned"));
      auto b = Platform(pf24bit, 4, 2);
      TIEBitmap w;
      if (external) {
        w.EncapsulateTBitmap(b.get(), true);
      } else {
        ASSERT_TRUE(w.Allocate(4, 2, ie24RGB));
        w.SetLocation(ieTBitmap);
      }
      // Row 0: red, green, blue, white; row 1: black.
      w.SetPixelRGB(0, 0, TRGB{0, 0, 255});
      w.SetPixelRGB(1, 0, TRGB{0, 255, 0});
      w.SetPixelRGB(2, 0, TRGB{255, 0, 0});
      w.SetPixelRGB(3, 0, TRGB{255, 255, 255});
      std::memset(w.GetScanline(1), 0, 12);
      w.SetBlackWhiteMethod(1);
      ASSERT_TRUE(w.ConvertToPixelFormat(c.To));
      EXPECT_EQ(w.Location(), ieTBitmap);
      EXPECT_EQ(w.GetPixelFormat(), c.To);  // and not undone by the next look
      TBitmap* vb = w.VclBitmap();
      if (external) {
        EXPECT_EQ(vb, b.get());
      }
      EXPECT_EQ(vb->PixelFormat(), c.PF);
      for (Integer y = 0; y < 2; ++y) EXPECT_EQ(w.GetScanline(y), vb->ScanLine(y));
      switch (c.To) {
        case ie8p:
          ExpectColour(Colour(w, 0, 0), 255, 0, 0);
          ExpectColour(Colour(w, 2, 0), 0, 0, 255);
          ExpectColour(Colour(w, 1, 1), 0, 0, 0);
          break;
        case ie8g:
          EXPECT_EQ(w.GetPixelByte(0, 0), 53);  // 255 x 21 div 100
          EXPECT_EQ(w.GetPixelByte(1, 0), 181);
          EXPECT_EQ(w.GetPixelByte(3, 0), 255);
          break;
        case ie1g:
          ExpectColour(Colour(w, 3, 0), 255, 255, 255);
          ExpectColour(Colour(w, 0, 1), 0, 0, 0);
          break;
        default:
          ExpectColour(Colour(w, 1, 0), 0, 255, 0);
          break;
      }
    }
  }
  // What a platform bitmap cannot hold is refused and nothing changes.
  auto b = Platform(pf24bit, 2, 2);
  TIEBitmap w;
  w.EncapsulateTBitmap(b.get(), true);
  w.SetPixelRGB(1, 1, TRGB{1, 2, 3});
  for (TIEPixelFormat pf : {ie32f, ieCMYK, ieRGB48, ieCIELab}) {
    EXPECT_FALSE(w.ConvertToPixelFormat(pf)) << pf;
    EXPECT_EQ(w.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b->PixelFormat(), pf24bit);
    ExpectColour(Colour(w, 1, 1), 3, 2, 1);
  }
  // 16-bit grey is held as 8-bit grey.
  EXPECT_TRUE(w.ConvertToPixelFormat(ie16g));
  EXPECT_EQ(w.GetPixelFormat(), ie8g);
}

// Assigning into a platform bitmap: formats it has keep their depth, the
// others arrive converted; a platform bitmap as source is copied.
TEST(PlatformLocation, AssignConvertsWhatItCannotHold) {
  auto b = Platform(pf24bit, 1, 1);
  TIEBitmap w;
  w.EncapsulateTBitmap(b.get(), true);

  TIEBitmap rgb48(2, 1, ieRGB48);
  auto* r = static_cast<uint16_t*>(rgb48.GetScanline(0));
  r[0] = 0xFF00, r[1] = 0x8000, r[2] = 0x1000;
  w.Assign(&rgb48);
  EXPECT_EQ(w.VclBitmap(), b.get());
  EXPECT_EQ(b->PixelFormat(), pf24bit);
  EXPECT_EQ(b->Width(), 2);
  ExpectColour(Colour(w, 0, 0), 0xFF, 0x80, 0x10);

  TIEBitmap grey(3, 2, ie8g);
  grey.SetPixelByte(2, 1, 99);
  w.AssignImage(&grey);
  EXPECT_EQ(b->PixelFormat(), pf8bit);
  EXPECT_EQ(w.GetPixelFormat(), ie8g);
  EXPECT_EQ(w.GetPixelByte(2, 1), 99);

  // An empty source leaves the platform bitmap as it is.
  TIEBitmap empty;
  w.Assign(&empty);
  EXPECT_EQ(b->Width(), 3);
}

// Copies of platform bitmaps of every depth into memory; the source is never
// changed, also when the copy goes into a platform bitmap.
TEST(CopyFromTBitmap, EveryPlatformDepth) {
  auto mono = Platform(pf1bit, 9, 1);
  static_cast<Byte*>(mono->ScanLine(0))[0] = 0xA0;
  auto inverted = Platform(pf1bit, 2, 1);
  inverted->SetColorTableEntry(0, RGBQUAD{255, 255, 255, 0});
  inverted->SetColorTableEntry(1, RGBQUAD{0, 0, 255, 0});
  static_cast<Byte*>(inverted->ScanLine(0))[0] = 0x40;  // pixel 1 set
  auto nibble = Platform(pf4bit, 3, 1);
  static_cast<Byte*>(nibble->ScanLine(0))[0] = 0x9C;  // pixels 9, 12
  static_cast<Byte*>(nibble->ScanLine(0))[1] = 0x10;  // pixel 1
  auto pal = Platform(pf8bit, 2, 1);
  pal->SetColorTableEntry(3, RGBQUAD{30, 20, 10, 0});
  static_cast<Byte*>(pal->ScanLine(0))[1] = 3;
  auto w15 = Platform(pf15bit, 1, 1);
  const uint16_t v15 = (31u << 10) | (16u << 5) | 1u;
  std::memcpy(w15->ScanLine(0), &v15, 2);
  auto w16 = Platform(pf16bit, 1, 1);
  const uint16_t v16 = (31u << 11) | (32u << 5) | 2u;
  std::memcpy(w16->ScanLine(0), &v16, 2);
  auto c32 = Platform(pf32bit, 1, 1);
  const Byte q[4] = {1, 2, 3, 4};
  std::memcpy(c32->ScanLine(0), q, 4);

  TIEBitmap m;
  m.CopyFromTBitmap(mono.get());
  EXPECT_EQ(m.PixelFormat(), ie1g);
  EXPECT_EQ(static_cast<Byte*>(m.GetScanline(0))[0], 0xA0);

  m.CopyFromTBitmap(inverted.get());
  ASSERT_EQ(m.PixelFormat(), ie8p);
  ExpectColour(Colour(m, 0, 0), 255, 255, 255);
  ExpectColour(Colour(m, 1, 0), 255, 0, 0);

  m.CopyFromTBitmap(nibble.get());
  ASSERT_EQ(m.PixelFormat(), ie8p);
  const auto* row = static_cast<const Byte*>(m.GetScanline(0));
  EXPECT_EQ(Bytes(row, row + 3), (Bytes{9, 12, 1}));

  m.Assign(pal.get());  // through Assign
  ASSERT_EQ(m.PixelFormat(), ie8p);
  ExpectColour(Colour(m, 1, 0), 10, 20, 30);

  m.CopyFromTBitmap(w15.get());
  ASSERT_EQ(m.PixelFormat(), ie24RGB);
  // Samples widen by repeating their top bits: 31 -> 255, 16 -> 132, 1 -> 8.
  ExpectColour(Colour(m, 0, 0), 255, 132, 8);
  m.CopyFromTBitmap(w16.get());
  // Six-bit green 32 -> 130; five-bit blue 2 -> 16.
  ExpectColour(Colour(m, 0, 0), 255, 130, 16);

  m.CopyFromTBitmap(c32.get());
  ASSERT_EQ(m.PixelFormat(), ie32RGB);
  EXPECT_EQ(std::memcmp(m.GetScanline(0), q, 4), 0);

  // Into a platform bitmap an 8-bit source arrives as 24 bits; the caller's
  // bitmap stays 8-bit.
  TIEBitmap t;
  t.SetLocation(ieTBitmap);
  t.CopyFromTBitmap(pal.get());
  EXPECT_EQ(pal->PixelFormat(), pf8bit);
  EXPECT_EQ(t.GetPixelFormat(), ie24RGB);
  ExpectColour(Colour(t, 1, 0), 10, 20, 30);
}

// A platform-bitmap copy carries the colour table: the same indexes under
// the target's old table would be other colours.
TEST(CopyTBitmap, ExactCopyWithColourTable) {
  auto src = Platform(pf8bit, 3, 2);
  src->SetColorTableEntry(4, RGBQUAD{1, 2, 3, 0});
  static_cast<Byte*>(src->ScanLine(1))[2] = 4;
  auto dst = Platform(pf8bit, 3, 2);
  void* before = dst->ScanLine(0);
  IECopyTBitmap(src.get(), dst.get());
  EXPECT_EQ(dst->ScanLine(0), before);  // same size and depth: copied in place
  EXPECT_EQ(static_cast<Byte*>(dst->ScanLine(1))[2], 4);
  EXPECT_EQ(dst->ColorTableEntry(4).rgbRed, 3);

  auto other = Platform(pf1bit, 10, 10);
  IECopyTBitmap(src.get(), other.get());
  EXPECT_EQ(other->PixelFormat(), pf8bit);
  EXPECT_EQ(other->Width(), 3);
  EXPECT_EQ(static_cast<Byte*>(other->ScanLine(1))[2], 4);

  std::unique_ptr<TBitmap> clone = IECloneTBitmap(src.get());
  EXPECT_EQ(clone->Height(), 2);
  EXPECT_EQ(clone->ColorTableEntry(4).rgbGreen, 2);

  TBitmap empty;
  IECopyTBitmap(&empty, other.get());
  EXPECT_EQ(other->Width(), 1);
}

// Resizing at the platform location keeps what still fits.
TEST(PlatformLocation, ResizeKeepsTheTopLeft) {
  for (TIEPixelFormat pf : {ie1g, ie24RGB}) {
    SCOPED_TRACE(pf);
    TIEBitmap p(16, 4, pf);
    p.SetLocation(ieTBitmap);
    for (Integer y = 0; y < 4; ++y) std::memset(p.GetScanline(y), 0xFF, size_t(p.RowLen()));  // white
    auto* top = static_cast<Byte*>(p.GetScanline(0));
    if (pf == ie1g) top[0] = 0x7F; else top[0] = top[1] = top[2] = 0;  // pixel 0 black
    p.SetWidth(20);
    p.SetHeight(6);
    EXPECT_EQ(p.VclBitmap()->Width(), 20);
    EXPECT_EQ(p.Height(), 6);
    ExpectColour(Colour(p, 15, 3), 255, 255, 255);
    ExpectColour(Colour(p, 0, 0), 0, 0, 0);
  }
}

}  // namespace

}  // namespace test_tbitmap_tests
