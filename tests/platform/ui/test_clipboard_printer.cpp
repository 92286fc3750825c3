// The clipboard's formats and payloads, and printing into a PDF file.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "platform/ui/clipbrd.h"
#include "platform/ui/printers.h"
#include "tests/support/pnm.h"
#include "tests/support/temp_dir.h"
#include "uitest.h"

namespace test_clipboard_printer_tests {

namespace {

std::vector<uint8_t> Bytes(const char* S, size_t N) { return std::vector<uint8_t>(S, S + N); }

// A 2 x 2 24-bit bottom-up DIB: blue, green / red, white (top row last in memory).
std::vector<uint8_t> SmallDib() {
  BITMAPINFOHEADER H;
  H.biWidth = 2;
  H.biHeight = 2;
  H.biBitCount = 24;
  H.biSizeImage = 16;
  std::vector<uint8_t> D(sizeof(H) + 16, 0);
  std::memcpy(D.data(), &H, sizeof(H));
  const uint8_t Rows[16] = {0, 0, 255, 255, 255, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0};
  std::memcpy(D.data() + sizeof(H), Rows, 16);
  return D;
}

TEST(UiClipboard, RegisteredNamesMapToMimeTypesAndBackByName) {
  UINT Raw = RegisterClipboardFormat(u"ZIDUZUV RAW FORMAT");
  EXPECT_GE(Raw, 0xC000u);
  EXPECT_EQ(RegisterClipboardFormat(u"Ziduzuv Raw Format"), Raw);
  EXPECT_EQ(GtClipboardMimeType(Raw), "application/x-ziduzuv-raw-format");
  EXPECT_EQ(GtClipboardMimeType(RegisterClipboardFormat(u"PNG")), "image/png");
  EXPECT_EQ(GtClipboardMimeType(CF_DIB), "image/bmp");
  EXPECT_EQ(GtClipboardMimeType(CF_UNICODETEXT), "text/plain");
  EXPECT_EQ(GtClipboardMimeType(CF_TEXT), "text/plain");
  WCHAR Name[8];
  EXPECT_EQ(GetClipboardFormatName(Raw, Name, 8), 7);  // cut to the buffer
  EXPECT_EQ(std::u16string(Name), u"ZIDUZUV");
  EXPECT_EQ(GetClipboardFormatName(CF_DIB, Name, 8), 0);
  EXPECT_EQ(RegisterClipboardFormat(u""), 0u);
}

TEST(UiClipboard, RawFormatTextAndPicturesRoundTrip) {
  UINT Raw = RegisterClipboardFormat(u"ZIDUZUV RAW FORMAT");
  const char Payload[] = "\x01\x00\xFFraw\x00data";
  TClipboard* C = Clipboard();
  C->Open();
  C->SetAsBytes(static_cast<Word>(Raw), reinterpret_cast<const uint8_t*>(Payload), sizeof(Payload));
  C->SetAsText(u"Gr\u00FC\u00DFe");
  std::vector<uint8_t> Dib = SmallDib();
  C->SetAsBytes(CF_DIB, Dib.data(), Dib.size());
  C->Close();
  GtTestPump(10);
  EXPECT_TRUE(C->HasFormat(static_cast<Word>(Raw)));
  EXPECT_TRUE(C->HasFormat(CF_TEXT));
  EXPECT_TRUE(C->HasFormat(CF_DIB));
  std::vector<uint8_t> Out;
  ASSERT_TRUE(C->GetAsBytes(static_cast<Word>(Raw), Out));
  EXPECT_EQ(Out, Bytes(Payload, sizeof(Payload)));
  EXPECT_EQ(C->AsText(), u"Gr\u00FC\u00DFe");
  // The 8-bit text is Windows-1252 with its terminating zero.
  ASSERT_TRUE(C->GetAsBytes(CF_TEXT, Out));
  EXPECT_EQ(Out, Bytes("Gr\xFC\xDF" "e", 6));
  ASSERT_TRUE(C->GetAsBytes(CF_DIB, Out));
  EXPECT_EQ(Out, Dib);
  // Enumeration lists every format, each once.
  ASSERT_TRUE(OpenClipboard(nullptr));
  std::vector<UINT> Formats;
  for (UINT F = EnumClipboardFormats(0); F; F = EnumClipboardFormats(F)) Formats.push_back(F);
  EXPECT_NE(std::find(Formats.begin(), Formats.end(), Raw), Formats.end());
  EXPECT_NE(std::find(Formats.begin(), Formats.end(), static_cast<UINT>(CF_DIB)), Formats.end());
  EXPECT_EQ(std::count(Formats.begin(), Formats.end(), Raw), 1);
  // The block handed out stays the same until the contents change.
  HGLOBAL A = GetClipboardData(Raw);
  EXPECT_EQ(GetClipboardData(Raw), A);
  EXPECT_EQ(GlobalSize(A), sizeof(Payload));
  CloseClipboard();
  // A new set of an Open..Close replaces everything.
  C->SetAsText(u"only");
  EXPECT_FALSE(C->HasFormat(static_cast<Word>(Raw)));
  EXPECT_EQ(C->AsText(), u"only");
}

TEST(UiClipboard, OpenFailsOnlyWhileAnotherWindowHoldsIt) {
  HWND A = AllocateHWnd([](TMessage&) {});
  HWND B = AllocateHWnd([](TMessage&) {});
  ASSERT_TRUE(OpenClipboard(A));
  EXPECT_FALSE(OpenClipboard(B));
  EXPECT_EQ(GetOpenClipboardWindow(), A);
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_TRUE(CloseClipboard());
  EXPECT_EQ(GetClipboardOwner(), A);
  EXPECT_TRUE(OpenClipboard(B));
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, nullptr), nullptr);  // not open
  DeallocateHWnd(A);
  DeallocateHWnd(B);
}

TEST(UiClipboard, BitmapFilesAndPackedDibsAreCheckedAgainstTheirData) {
  std::vector<uint8_t> Dib = SmallDib(), Bmp, Back;
  ASSERT_TRUE(GtPackedDIBToBmpFile(Dib.data(), Dib.size(), Bmp));
  ASSERT_EQ(Bmp.size(), Dib.size() + 14);
  EXPECT_EQ(Bmp[0], 'B');
  DWORD Off;
  std::memcpy(&Off, Bmp.data() + 10, 4);
  EXPECT_EQ(Off, 14u + 40u);
  ASSERT_TRUE(GtBmpFileToPackedDIB(Bmp.data(), Bmp.size(), Back));
  EXPECT_EQ(Back, Dib);
  struct Case {
    const char* Name;
    std::vector<uint8_t> Data;
  };
  std::vector<uint8_t> HugeHeader = Bmp;
  HugeHeader[14] = 0xFF;
  HugeHeader[15] = 0xFF;
  std::vector<uint8_t> NotBm = Bmp;
  NotBm[0] = 'X';
  const Case Bad[] = {{"empty", {}}, {"truncated", std::vector<uint8_t>(Bmp.begin(), Bmp.begin() + 20)},
                      {"header past the end", HugeHeader}, {"no signature", NotBm}};
  for (const Case& C : Bad) EXPECT_FALSE(GtBmpFileToPackedDIB(C.Data.data(), C.Data.size(), Back)) << C.Name;
  // A DIB whose colour table reaches past its end is refused.
  std::vector<uint8_t> Paletted = Dib;
  Paletted[14] = 8;  // 8 bits per pixel: 1024 bytes of colour table that are not there
  EXPECT_FALSE(GtPackedDIBToBmpFile(Paletted.data(), Paletted.size(), Bmp));
  EXPECT_FALSE(GtPackedDIBToBmpFile(Dib.data(), 20, Bmp));
}

// Renders page Page (1-based) of a PDF with Ghostscript at Dpi into an RGB buffer.
bool RenderPdfPage(const std::string& Pdf, int Page, int Dpi, std::vector<uint8_t>& Rgb, int& W, int& H) {
  std::string Ppm = Pdf + ".ppm";
  std::ostringstream Cmd;
  Cmd << "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r" << Dpi << " -dFirstPage=" << Page
      << " -dLastPage=" << Page << " -sOutputFile='" << Ppm << "' '" << Pdf << "' 2>/dev/null";
  if (std::system(Cmd.str().c_str()) != 0) return false;
  gt_test::Pnm Picture;
  const bool Read = gt_test::ReadPnm(Ppm, Picture) && Picture.Kind == '6' && Picture.MaxVal == 255;
  std::remove(Ppm.c_str());
  if (!Read) return false;
  W = Picture.Width;
  H = Picture.Height;
  Rgb.assign(Picture.Data.begin(), Picture.Data.end());
  return true;
}

TEST(UiPrinter, PagesDrawnOnTheCanvasEndUpInThePdfFile) {
  ASSERT_EQ(std::system("gs --version >/dev/null 2>&1"), 0) << "Ghostscript is not installed";
  gt_test::TempDir Dir("print");
  ASSERT_TRUE(Dir.Ok());
  const std::string Pdf = Dir.File("out.pdf");
  setenv("GT_PRINT_TO_FILE", Pdf.c_str(), 1);
  TPrinter P;
  ASSERT_EQ(P.Printers()->Count(), 1);
  EXPECT_EQ(P.Printers()->Strings(0), Utf8ToWide(Pdf));
  EXPECT_THROW(P.Canvas()->FillRect(TRect(0, 0, 1, 1)), EPrinter);
  P.SetTitle(u"Test page");
  P.BeginDoc();
  EXPECT_THROW(P.BeginDoc(), EPrinter);
  EXPECT_EQ(P.PageWidth(), 2480);  // A4 at 300 dpi
  EXPECT_EQ(GetDeviceCaps(P.Handle(), LOGPIXELSX), 300);
  EXPECT_EQ(GetDeviceCaps(P.Handle(), HORZRES), P.PageWidth());
  // The left half of page 1 black; page 2 stays white except a black band at the top.
  P.Canvas()->Brush()->SetColor(clBlack);
  P.Canvas()->FillRect(TRect(0, 0, P.PageWidth() / 2, P.PageHeight()));
  P.NewPage();
  EXPECT_EQ(P.PageNumber(), 2);
  P.Canvas()->Brush()->SetColor(clBlack);
  P.Canvas()->FillRect(TRect(0, 0, P.PageWidth(), 300));
  P.EndDoc();
  EXPECT_FALSE(P.Printing());
  unsetenv("GT_PRINT_TO_FILE");

  std::ifstream In(Pdf, std::ios::binary);
  std::string Head(5, '\0');
  In.read(Head.data(), 5);
  EXPECT_EQ(Head, "%PDF-");
  std::vector<uint8_t> Rgb;
  int W = 0, H = 0;
  ASSERT_TRUE(RenderPdfPage(Pdf, 1, 20, Rgb, W, H));
  EXPECT_NEAR(W, 165, 2);  // 210 mm at 20 dpi
  auto Px = [&](int X, int Y) { return Rgb[(static_cast<size_t>(Y) * W + X) * 3]; };
  EXPECT_LT(Px(W / 4, H / 2), 40);
  EXPECT_GT(Px(3 * W / 4, H / 2), 215);
  ASSERT_TRUE(RenderPdfPage(Pdf, 2, 20, Rgb, W, H));
  EXPECT_LT(Px(W / 2, 5), 40);
  EXPECT_GT(Px(W / 2, H / 2), 215);
}

}  // namespace

}  // namespace test_clipboard_printer_tests
