// TBitmap: pixel formats, scan lines, colour tables, size and format changes,
// BMP files, drawing and the canvas; TPicture's format registry.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "platform/graphics/globalmem.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_bitmap_tests {

namespace {

// Bits per pixel of each pixel format.
const Integer kBits[] = {32, 1, 4, 8, 16, 16, 24, 32, 32};

std::unique_ptr<TBitmap> Make(TPixelFormat F, Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(F);
  b->SetSize(W, H);
  return b;
}

TEST(Bitmap, PixelsReadBackWhatWasWrittenInEveryDepth) {
  struct Case {
    TPixelFormat format;
    std::vector<TColor> colours;
    TColor white;  // how white reads back
  };
  const Case cases[] = {
      {pf1bit, {clBlack, clWhite}, clWhite},
      {pf4bit, {clRed, clNavy, clSilver, clWhite}, clWhite},
      {pf8bit, {clBlack, clRed, clLime, clWhite, RGB(51, 102, 153)}, clWhite},
      // 5- and 6-bit samples read back widened to full scale.
      {pf15bit, {clBlack, RGB(255, 0, 0), RGB(8, 16, 255), RGB(132, 66, 33)}, clWhite},
      {pf16bit, {RGB(255, 255, 0), RGB(0, 4, 8), RGB(132, 130, 66)}, clWhite},
      {pf24bit, {RGB(1, 2, 3), RGB(250, 128, 7), clWhite}, clWhite},
      {pf32bit, {RGB(1, 2, 3), RGB(250, 128, 7), clBlack}, clWhite},
  };
  for (const Case& c : cases) {
    auto b = Make(c.format, 9, 3);
    for (size_t i = 0; i < c.colours.size(); ++i) b->Canvas()->SetPixels(static_cast<Integer>(i), 1, c.colours[i]);
    for (size_t i = 0; i < c.colours.size(); ++i)
      EXPECT_EQ(b->Canvas()->Pixels(static_cast<Integer>(i), 1), c.colours[i]) << c.format << " #" << i;
    EXPECT_EQ(b->Canvas()->Pixels(8, 2), c.white) << "new bitmaps are white";
    EXPECT_EQ(b->Canvas()->Pixels(9, 2), static_cast<TColor>(CLR_INVALID)) << "outside";
  }
}

TEST(Bitmap, ScanLinesAreTopDownRowsOfBlueGreenRed) {
  auto b = Make(pf24bit, 5, 4);
  b->Canvas()->SetPixels(2, 0, RGB(10, 20, 30));
  b->Canvas()->SetPixels(0, 3, RGB(40, 50, 60));
  auto* top = static_cast<uint8_t*>(b->ScanLine(0));
  EXPECT_EQ(top[6], 30);
  EXPECT_EQ(top[7], 20);
  EXPECT_EQ(top[8], 10);
  auto* bottom = static_cast<uint8_t*>(b->ScanLine(3));
  EXPECT_EQ(bottom[0], 60);
  EXPECT_EQ(bottom[2], 40);
  // Rows are padded to 4 bytes and stored bottom-up, as in a DIB.
  EXPECT_EQ(static_cast<uint8_t*>(b->ScanLine(0)) - static_cast<uint8_t*>(b->ScanLine(1)), 16);
  EXPECT_THROW(b->ScanLine(4), EInvalidGraphicOperation);
  EXPECT_THROW(b->ScanLine(-1), EInvalidGraphicOperation);
  // Writing through the scan line shows on the canvas.
  static_cast<uint8_t*>(b->ScanLine(1))[3] = 0xEE;
  EXPECT_EQ(b->Canvas()->Pixels(1, 1) & 0xFF0000, 0xEE0000);
  auto q = Make(pf32bit, 3, 2);
  q->Canvas()->SetPixels(1, 1, RGB(7, 8, 9));
  auto* r = static_cast<uint8_t*>(q->ScanLine(1));
  EXPECT_EQ(r[4], 9);
  EXPECT_EQ(r[5], 8);
  EXPECT_EQ(r[6], 7);
}

TEST(Bitmap, ResizingKeepsWhatFitsAndFormatChangesConvert) {
  auto b = Make(pf24bit, 4, 4);
  b->Canvas()->SetPixels(1, 1, clRed);
  b->Canvas()->SetPixels(3, 3, clBlue);
  b->SetSize(6, 2);
  EXPECT_EQ(b->Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(b->Canvas()->Pixels(5, 1), clWhite);
  b->SetSize(6, 4);
  EXPECT_EQ(b->Canvas()->Pixels(3, 3), clWhite) << "cut-off pixels are gone";
  // 24 to 1 bit picks the nearest of black and white; back to 24 keeps them.
  b->Canvas()->SetPixels(0, 0, RGB(30, 30, 30));
  b->SetPixelFormat(pf1bit);
  EXPECT_TRUE(b->Monochrome());
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b->Canvas()->Pixels(5, 0), clWhite);
  b->SetPixelFormat(pf24bit);
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b->Width(), 6);
  // The 1 x 1, format, size sequence of the picture container leaves a white bitmap.
  TBitmap c;
  c.SetSize(1, 1);
  c.SetPixelFormat(pf8bit);
  c.SetSize(3, 3);
  EXPECT_EQ(c.PixelFormat(), pf8bit);
  EXPECT_EQ(c.Canvas()->Pixels(2, 2), clWhite);
  EXPECT_THROW(c.SetPixelFormat(pfCustom), EInvalidGraphic);
}

TEST(Bitmap, ColourTableAndLogicalPaletteReadAndWrite) {
  auto b = Make(pf8bit, 2, 1);
  ASSERT_EQ(b->ColorTableSize(), 256);
  // A grey ramp through the palette handle reaches the colour table.
  PALETTEENTRY e[256];
  for (int i = 0; i < 256; ++i) e[i] = PALETTEENTRY{BYTE(i), BYTE(i), BYTE(i), 0};
  HPALETTE pal = b->Palette();
  ASSERT_NE(pal, nullptr);
  EXPECT_EQ(SetPaletteEntries(pal, 0, 256, e), 256u);
  EXPECT_EQ(b->ColorTableEntry(77).rgbGreen, 77);
  static_cast<uint8_t*>(b->ScanLine(0))[0] = 200;
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), RGB(200, 200, 200));
  RGBQUAD q[1];
  EXPECT_EQ(GetDIBColorTable(b->Canvas()->Handle(), 200, 1, q), 1u);
  EXPECT_EQ(q[0].rgbBlue, 200);
  // Entries set on the table read back through the palette.
  b->SetColorTableEntry(5, RGBQUAD{1, 2, 3, 0});
  PALETTEENTRY one;
  GetPaletteEntries(b->Palette(), 5, 1, &one);
  EXPECT_EQ(one.peRed, 3);
  EXPECT_EQ(one.peBlue, 1);
  // The table survives a resize.
  b->SetSize(4, 4);
  EXPECT_EQ(b->ColorTableEntry(77).rgbRed, 77);
  EXPECT_EQ(Make(pf24bit, 1, 1)->Palette(), nullptr);
}

TEST(Bitmap, BmpFilesRoundTripInEveryFormat) {
  for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
    auto b = Make(f, 7, 5);
    b->Canvas()->SetPixels(0, 0, clBlack);
    b->Canvas()->SetPixels(6, 4, clBlack);
    if (f != pf1bit) b->Canvas()->SetPixels(3, 2, clRed);
    TMemoryStream s;
    b->SaveToStream(&s);
    EXPECT_EQ(static_cast<const char*>(s.Memory())[0], 'B');
    s.SetPosition(0);
    TBitmap c;
    c.LoadFromStream(&s);
    EXPECT_EQ(c.PixelFormat(), f);
    ASSERT_EQ(c.Width(), 7);
    ASSERT_EQ(c.Height(), 5);
    const size_t row = DIBRowBytes(7, kBits[f]);
    for (Integer y = 0; y < 5; ++y) EXPECT_EQ(std::memcmp(b->ScanLine(y), c.ScanLine(y), row), 0) << f << " row " << y;
  }
}

TEST(Bitmap, MalformedBmpDataRaisesInvalidGraphic) {
  auto b = Make(pf24bit, 4, 4);
  TMemoryStream good;
  b->SaveToStream(&good);
  const auto* g = static_cast<const uint8_t*>(good.Memory());
  auto load = [](const std::vector<uint8_t>& data) {
    TMemoryStream s;
    s.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    s.SetPosition(0);
    TBitmap t;
    t.LoadFromStream(&s);
  };
  std::vector<uint8_t> ok(g, g + good.Size());
  EXPECT_NO_THROW(load(ok));
  struct Case {
    const char* what;
    size_t offset;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"signature", 0, {'X'}},
      {"header size", 14, {99, 0, 0, 0}},
      {"zero width", 18, {0, 0, 0, 0}},
      {"huge height", 22, {0xFF, 0xFF, 0xFF, 0x7F}},
      {"bit count", 28, {7, 0}},
      {"compression", 30, {1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    auto bad = ok;
    std::memcpy(bad.data() + c.offset, c.bytes.data(), c.bytes.size());
    EXPECT_THROW(load(bad), EInvalidGraphic) << c.what;
  }
  auto truncated = ok;
  truncated.resize(ok.size() - 10);
  EXPECT_THROW(load(truncated), EInvalidGraphic);
  truncated.resize(20);
  EXPECT_THROW(load(truncated), Exception);
}

TEST(Bitmap, AssignCopiesPixelsFormatAndTable) {
  auto a = Make(pf8bit, 3, 2);
  a->SetColorTableEntry(9, RGBQUAD{9, 9, 9, 0});
  static_cast<uint8_t*>(a->ScanLine(1))[2] = 9;
  TBitmap b;
  b.Assign(a.get());
  EXPECT_EQ(b.PixelFormat(), pf8bit);
  EXPECT_EQ(b.Canvas()->Pixels(2, 1), RGB(9, 9, 9));
  static_cast<uint8_t*>(a->ScanLine(1))[2] = 0;
  EXPECT_EQ(b.Canvas()->Pixels(2, 1), RGB(9, 9, 9)) << "a copy, not a share";
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
}

TEST(Bitmap, DrawStretchesWithTheCopyModeAndHonoursTransparency) {
  auto src = Make(pf24bit, 2, 2);
  src->Canvas()->SetPixels(0, 0, clRed);
  auto dst = Make(pf24bit, 6, 6);
  dst->Canvas()->Brush()->SetColor(clBlue);
  dst->Canvas()->FillRect(TRect(0, 0, 6, 6));
  dst->Canvas()->StretchDraw(TRect(0, 0, 4, 4), src.get());
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(3, 3), clWhite);
  EXPECT_EQ(dst->Canvas()->Pixels(5, 5), clBlue);
  // Transparent: the bottom-left colour (white here) lets the destination show.
  dst->Canvas()->FillRect(TRect(0, 0, 6, 6));
  src->SetTransparent(true);
  dst->Canvas()->Draw(1, 1, src.get());
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(2, 2), clBlue);
  // Copy mode applies to Draw.
  src->SetTransparent(false);
  dst->Canvas()->SetCopyMode(cmSrcInvert);
  dst->Canvas()->Draw(0, 0, src.get());
  dst->Canvas()->Draw(0, 0, src.get());
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clBlue);
}

TEST(Canvas, ToolsReachTheDeviceContextAndModesAreApplied) {
  auto b = Make(pf24bit, 10, 10);
  TCanvas* c = b->Canvas();
  c->Pen()->SetColor(clRed);
  c->Pen()->SetMode(pmXor);
  c->MoveTo(0, 5);
  c->LineTo(10, 5);
  EXPECT_EQ(c->Pixels(3, 5), RGB(255, 255, 255) ^ RGB(255, 0, 0));
  EXPECT_EQ(GetROP2(c->Handle()), R2_XORPEN);
  c->Pen()->SetMode(pmCopy);
  c->Brush()->SetStyle(bsClear);
  c->Rectangle(2, 2, 8, 8);
  EXPECT_EQ(c->Pixels(2, 2), clRed);
  EXPECT_EQ(c->Pixels(4, 4), clWhite) << "clear brush";
  EXPECT_EQ(GetBkMode(c->Handle()), TRANSPARENT);
  c->Brush()->SetColor(clLime);  // also makes the brush solid again
  EXPECT_EQ(c->Brush()->Style(), bsSolid);
  c->FillRect(TRect(0, 0, 2, 2));
  EXPECT_EQ(c->Pixels(1, 1), clLime);
  EXPECT_EQ(GetBkMode(c->Handle()), OPAQUE);
  EXPECT_EQ(c->ClipRect(), TRect(0, 0, 10, 10));
  // A pen handle adopted from elsewhere is selected as it is.
  LOGBRUSH lb;
  lb.lbColor = RGB(0, 0, 255);
  c->Pen()->SetHandle(ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT, 3, &lb, 0, nullptr));
  EXPECT_EQ(c->Pen()->Width(), 3);
  c->MoveTo(0, 0);
  c->LineTo(9, 9);
  EXPECT_EQ(GetObjectType(GetCurrentObject(c->Handle(), OBJ_PEN)), static_cast<DWORD>(OBJ_EXTPEN));
  EXPECT_TRUE(c->TryLock());
  EXPECT_EQ(c->LockCount(), 1);
  c->Unlock();
}

TEST(Canvas, CopyRectAndBitmapHandlesDoNotLeak) {
  const Integer before = GtGdiObjectCount();
  {
    auto a = Make(pf24bit, 8, 8);
    auto b = Make(pf24bit, 8, 8);
    a->Canvas()->SetPixels(7, 0, clRed);
    b->Canvas()->CopyRect(TRect(0, 0, 8, 8), a->Canvas(), TRect(7, 0, -1, 8));
    EXPECT_EQ(b->Canvas()->Pixels(0, 0), clRed) << "a negative source width mirrors";
    b->Canvas()->Font()->SetSize(20);
    b->Canvas()->TextOut(0, 0, u"x");
    a->SetSize(3, 3);
    a->SetPixelFormat(pf8bit);
    (void)a->Palette();
  }
  EXPECT_EQ(GtGdiObjectCount(), before);
}

TEST(Picture, FileFormatsAreRegisteredByExtension) {
  EXPECT_EQ(TPicture::FileFormatClass(u"BMP"), &TBitmap::Create);
  EXPECT_EQ(TPicture::FileFormatClass(u"xyz"), nullptr);
  TPicture p;
  EXPECT_THROW(p.LoadFromFile(u"/nonexistent/picture.xyz"), EInvalidGraphic);
  auto make = []() -> TGraphic* { return new TBitmap; };
  TPicture::RegisterFileFormat(u"Dib", u"Device-independent bitmaps", make);
  EXPECT_EQ(TPicture::FileFormatClass(u"dib"), make);
  EXPECT_NE(TPicture::FileFilter().find(u"*.dib"), WideString::npos);
  TPicture::UnregisterGraphicClass(make);
  EXPECT_EQ(TPicture::FileFormatClass(u"dib"), nullptr);
  // Bitmap() makes a bitmap graphic; Assign copies it.
  p.Bitmap()->SetSize(3, 2);
  TPicture q;
  q.Assign(&p);
  EXPECT_EQ(q.Width(), 3);
  EXPECT_NE(q.Graphic(), p.Graphic());
}

TEST(Picture, SaveAndLoadAFileThroughATemporaryName) {
  const WideString name = Utf8ToWide(std::string(GT_TEST_BINARY_DIR) + "/graphics_picture_test.bmp");
  TPicture p;
  p.Bitmap()->SetPixelFormat(pf24bit);
  p.Bitmap()->SetSize(4, 3);
  p.Bitmap()->Canvas()->SetPixels(2, 1, clRed);
  p.SaveToFile(name);
  TPicture q;
  q.LoadFromFile(name);
  ASSERT_NE(q.Graphic(), nullptr);
  EXPECT_EQ(q.Bitmap()->Canvas()->Pixels(2, 1), clRed);
  std::remove(WideToUtf8(name).c_str());
}

}  // namespace

}  // namespace test_bitmap_tests
