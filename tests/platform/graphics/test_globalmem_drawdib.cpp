// Global memory blocks, packed-DIB layout helpers, DrawDib, surface DCs,
// system colours, rectangles and the drawn resource pictures.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/graphics/drawdib.h"
#include "platform/graphics/gdi_surface.h"
#include "platform/graphics/globalmem.h"
#include "platform/graphics/resources.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_globalmem_drawdib_tests {

namespace {

TEST(GlobalMemory, MoveableBlocksLockUnlockResizeAndFree) {
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 64u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  EXPECT_NE(static_cast<void*>(p), h) << "a moveable handle is not its address";
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  p[63] = 7;
  EXPECT_EQ(GlobalHandle(p), h);
  EXPECT_EQ(GlobalReAlloc(h, 128, GMEM_MOVEABLE), nullptr) << "a locked block cannot move";
  EXPECT_FALSE(GlobalUnlock(h));
  ASSERT_EQ(GlobalReAlloc(h, 128, GMEM_MOVEABLE | GMEM_ZEROINIT), h);
  p = static_cast<uint8_t*>(GlobalLock(h));
  EXPECT_EQ(p[63], 7);
  EXPECT_EQ(p[127], 0);
  EXPECT_EQ(GlobalSize(h), 128u);
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
  EXPECT_EQ(GlobalFree(h), h) << "freed twice";
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
}

TEST(GlobalMemory, FixedBlocksAreTheirOwnAddress) {
  HGLOBAL h = GlobalAlloc(GPTR, 10);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalLock(h), h);
  EXPECT_EQ(static_cast<uint8_t*>(h)[9], 0);
  int local = 0;
  EXPECT_EQ(GlobalLock(&local), nullptr);
  EXPECT_EQ(GlobalFree(&local), static_cast<HGLOBAL>(&local));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(PackedDib, HeaderColourTableAndRowSizes) {
  BITMAPINFOHEADER h;
  struct Case {
    WORD bits;
    DWORD compression, used;
    size_t table;
  };
  const Case cases[] = {{1, BI_RGB, 0, 8},       {8, BI_RGB, 0, 1024}, {8, BI_RGB, 16, 64}, {8, BI_RGB, 999, 1024},
                        {24, BI_RGB, 0, 0},      {16, BI_BITFIELDS, 0, 12}, {32, BI_RGB, 0, 0}};
  for (const Case& c : cases) {
    h.biBitCount = c.bits;
    h.biCompression = c.compression;
    h.biClrUsed = c.used;
    EXPECT_EQ(DIBColorTableBytes(&h), c.table) << c.bits << "/" << c.used;
    EXPECT_EQ(DIBPixelOffset(&h), 40 + c.table);
  }
  EXPECT_EQ(DIBRowBytes(10, 24), 32u);
  EXPECT_EQ(DIBRowBytes(13, 1), 4u);
  EXPECT_EQ(DIBRowBytes(0, 24), 0u);
}

TEST(DrawDib, CopiesAPackedDibWithTopLeftSourceCoordinates) {
  // A packed 8-bit bottom-up DIB, 2 x 3, rows from the top: (1, 2), (3, 4), (5, 6).
  HGLOBAL mem = GlobalAlloc(GHND, 40 + 1024 + 12);
  auto* hdr = static_cast<BITMAPINFOHEADER*>(GlobalLock(mem));
  *hdr = BITMAPINFOHEADER();
  hdr->biWidth = 2;
  hdr->biHeight = 3;
  hdr->biBitCount = 8;
  auto* table = reinterpret_cast<RGBQUAD*>(reinterpret_cast<uint8_t*>(hdr) + 40);
  for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{BYTE(i * 10), BYTE(i * 10), BYTE(i * 10), 0};
  uint8_t* px = reinterpret_cast<uint8_t*>(hdr) + DIBPixelOffset(hdr);
  const uint8_t rows[3][2] = {{5, 6}, {3, 4}, {1, 2}};  // memory: bottom row first
  for (int r = 0; r < 3; ++r) std::memcpy(px + 4 * r, rows[r], 2);
  HDRAWDIB dd = DrawDibOpen();
  TTestDib d(4, 6);
  ASSERT_TRUE(DrawDibDraw(dd, d.DC, 0, 0, -1, -1, hdr, nullptr, 0, 0, -1, -1, 0));
  EXPECT_EQ(d.Raw(0, 0), RGB(10, 10, 10));
  EXPECT_EQ(d.Raw(1, 2), RGB(60, 60, 60));
  // The lower-right 1 x 2 of the picture, stretched to 2 x 4.
  ASSERT_TRUE(DrawDibDraw(dd, d.DC, 2, 2, 2, 4, hdr, px, 1, 1, 1, 2, 0));
  EXPECT_EQ(d.Raw(3, 2), RGB(40, 40, 40));
  EXPECT_EQ(d.Raw(2, 5), RGB(60, 60, 60));
  EXPECT_EQ(DrawDibRealize(dd, d.DC, FALSE), 0u);
  EXPECT_TRUE(DrawDibClose(dd));
  EXPECT_FALSE(DrawDibClose(dd));
  EXPECT_FALSE(DrawDibDraw(dd, d.DC, 0, 0, -1, -1, hdr, nullptr, 0, 0, -1, -1, 0));
  GlobalUnlock(mem);
  GlobalFree(mem);
}

// A surface owned elsewhere, as a window's image is.
class TTestSurface : public TGdiSurface {
 public:
  TTestSurface() : Pixels(4 * 8 * 6, 0xFF) {}
  bool LockPixels(TGdiPixels& P) override {
    ++Locks;
    P = TGdiPixels();
    P.Row0 = Pixels.data();
    P.Stride = 4 * 8;
    P.Width = 8;
    P.Height = 6;
    P.BitCount = 32;
    return true;
  }
  void UnlockPixels(const TRect& Changed) override { Dirty = Changed; }
  Integer DeviceCaps(Integer Index) override { return Index == LOGPIXELSX ? 300 : TGdiSurface::DeviceCaps(Index); }
  std::vector<uint8_t> Pixels;
  Integer Locks = 0;
  TRect Dirty;
};

TEST(SurfaceDC, DrawsIntoForeignPixelsAndReportsTheChangedRectangle) {
  TTestSurface s;
  HDC dc = GtCreateSurfaceDC(&s);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 300);
  HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
  const TRect r(2, 1, 5, 3);
  FillRect(dc, &r, b);
  EXPECT_EQ(s.Dirty, r);
  EXPECT_EQ(s.Pixels[4 * 8 * 1 + 4 * 2 + 0], 3);
  EXPECT_EQ(s.Pixels[4 * 8 * 1 + 4 * 2 + 2], 1);
  EXPECT_EQ(s.Pixels[0], 0xFF);
  // Bitmaps cannot be selected into it, but compatible ones can be made.
  HBITMAP bmp = CreateCompatibleBitmap(dc, 3, 3);
  EXPECT_EQ(SelectObject(dc, bmp), nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObjectW(bmp, sizeof(bm), &bm), static_cast<Integer>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmBitsPixel, 32);
  DeleteObject(bmp);
  DeleteObject(b);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(SystemColours, ClassicDefaultsAndColorToRGB) {
  EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(212, 208, 200));
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), RGB(64, 64, 64));
  EXPECT_EQ(ColorToRGB(clBtnShadow), 0x808080);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FF);
  EXPECT_EQ(ColorToRGB(clNone), 0x1FFFFFFF);
  EXPECT_EQ(ColorToRGB(clDefault), 0x20000000);
  EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0xFF00000Fu);
  EXPECT_EQ(GetSysColor(99), 0u);
  const COLORREF old = GtSetSysColor(COLOR_INFOBK, RGB(1, 2, 3));
  EXPECT_EQ(ColorToRGB(clInfoBk), static_cast<Integer>(RGB(1, 2, 3)));
  GtSetSysColor(COLOR_INFOBK, old);
}

TEST(Rects, HelpersExcludeRightAndBottom) {
  TRect r = Bounds(10, 20, 5, 4);
  EXPECT_EQ(r, Rect(10, 20, 15, 24));
  EXPECT_TRUE(PtInRect(r, Point(10, 20)));
  EXPECT_FALSE(PtInRect(r, Point(15, 22)));
  EXPECT_FALSE(PtInRect(r, Point(12, 24)));
  TRect i;
  EXPECT_TRUE(IntersectRect(i, r, Rect(12, 0, 100, 21)));
  EXPECT_EQ(i, Rect(12, 20, 15, 21));
  EXPECT_FALSE(IntersectRect(i, r, Rect(15, 20, 20, 24))) << "touching rectangles do not overlap";
  EXPECT_EQ(i, TRect());
  TRect u;
  EXPECT_TRUE(UnionRect(u, r, TRect()));
  EXPECT_EQ(u, r);
  UnionRect(u, r, Rect(0, 0, 1, 1));
  EXPECT_EQ(u, Rect(0, 0, 15, 24));
  OffsetRect(u, 2, 3);
  InflateRect(u, 1, -1);
  EXPECT_EQ(u, Rect(1, 4, 18, 26));
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 5, 10)));
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 4, 10)));
  EXPECT_EQ(MulDiv(10, 72, 96), 8);
  EXPECT_EQ(MulDiv(-13, 72, 96), -10);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

}  // namespace

namespace {

TEST(Resources, EveryNamedCursorIsDrawnWithAHotSpotInside) {
  const char16_t* needed[] = {u"MOVE2", u"MOVEY", u"MOVE1", u"MOVEX", u"MOVE", u"CROCE3+", u"CROCE3-",
                              u"ZOOMPIU", u"ZOOMMENO", u"CROCE", u"GOMMA", u"MANO", u"PENNA", u"CROCE1",
                              u"CROCE3", u"CROCE2", u"CROCE2+", u"CROCE2-", u"1795", u"1808", u"ROT1",
                              u"ROT4", u"CURSOR_1", u"FCSPLIT_HORZ", u"FCSPLIT_HORZHOTSPOT", u"FCSPLIT_VERT",
                              u"FCSPLIT_VERTHOTSPOT", u"move"};
  std::vector<std::vector<uint32_t>> seen;
  for (const char16_t* n : needed) {
    TGtCursorImage img;
    ASSERT_TRUE(GtResourceCursor(n, img)) << WideToUtf8(n);
    ASSERT_EQ(img.Width, 32);
    ASSERT_EQ(img.Pixels.size(), 32u * 32u);
    EXPECT_TRUE(img.HotSpot.X >= 0 && img.HotSpot.X < 32 && img.HotSpot.Y >= 0 && img.HotSpot.Y < 32);
    Integer black = 0, white = 0, clear = 0;
    for (uint32_t p : img.Pixels) {
      black += p == 0xFF000000u;
      white += p == 0xFFFFFFFFu;
      clear += p == 0;
    }
    EXPECT_GT(black, 10) << WideToUtf8(n);
    EXPECT_GT(white, 10) << WideToUtf8(n) << ": an outline keeps it visible on black";
    EXPECT_GT(clear, 300) << WideToUtf8(n);
    EXPECT_EQ(black + white + clear, 32 * 32);
    seen.push_back(img.Pixels);
  }
  EXPECT_NE(seen[0], seen[1]) << "MOVE2 and MOVEY differ";
  EXPECT_NE(seen[5], seen[6]) << "CROCE3+ and CROCE3- differ";
  TGtCursorImage none;
  EXPECT_FALSE(GtResourceCursor(u"NOSUCHCURSOR", none));
}

TEST(Resources, SystemMenuImagesHoldFourGlyphsOnSilver) {
  auto b = GtResourceBitmap(u"TBSYSMENUIMAGES");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 64);
  EXPECT_EQ(b->Height(), 16);
  EXPECT_EQ(b->PixelFormat(), pf4bit);
  std::vector<std::string> cells;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(b->Canvas()->Pixels(16 * i, 0), clSilver);
    std::string cell;
    Integer black = 0;
    for (Integer y = 0; y < 16; ++y)
      for (Integer x = 0; x < 16; ++x) {
        const TColor c = b->Canvas()->Pixels(16 * i + x, y);
        EXPECT_TRUE(c == clSilver || c == clBlack);
        cell += c == clBlack ? '#' : '.';
        black += c == clBlack;
      }
    EXPECT_GT(black, 8) << i;
    cells.push_back(cell);
  }
  for (int i = 0; i < 4; ++i)
    for (int j = i + 1; j < 4; ++j) EXPECT_NE(cells[i], cells[j]) << i << " " << j;
  EXPECT_EQ(GtResourceBitmap(u"NOSUCHBITMAP"), nullptr);
}

}  // namespace

}  // namespace test_globalmem_drawdib_tests
