// Printing a picture onto a canvas (strips of packed DIBs, resampling, gamma,
// the debug log), drawing packed DIBs, and the views' two overlay boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/render/iegdiplus.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/render/ierendercanvas.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/printers.h"
#include "tests/support/temp_dir.h"

namespace test_rendercanvas_tests {

namespace {

using TBgr = std::array<int, 3>;  // blue, green, red

// A white 24-bit platform bitmap standing in for the printer's page.
std::unique_ptr<TBitmap> Page(Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) std::fill_n(static_cast<Byte*>(b->ScanLine(y)), 3 * W, Byte(255));
  return b;
}

TBgr At(TBitmap* B, Integer X, Integer Y) {
  const Byte* p = static_cast<const Byte*>(B->ScanLine(Y)) + 3 * X;
  return {p[0], p[1], p[2]};
}

TBgr At(TIEBitmap& B, Integer X, Integer Y) {
  const Byte* p = static_cast<const Byte*>(B.GetScanline(Y)) + 3 * X;
  return {p[0], p[1], p[2]};
}

// An ie24RGB picture whose pixel (x, y) has distinct, uneven channel values.
std::unique_ptr<TIEBitmap> Pattern(Integer W, Integer H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      row[3 * x] = Byte((x * 53 + y * 17) % 256);
      row[3 * x + 1] = Byte((x * 11 + y * 71 + 40) % 256);
      row[3 * x + 2] = Byte(255 - (x * 29 + y * 37) % 256);
    }
  }
  return b;
}

// The gamma curve computed independently: nearbyint rounds halves to even.
int GammaOf(int V, double Gamma) {
  if (Gamma == 1 || Gamma <= 0) return V;
  return std::clamp(int(std::nearbyint(std::pow(V / 255.0, 1.0 / Gamma) * 255.0)), 0, 255);
}

// Sets the memory threshold of pictures made from now on; restored at the end.
class ThresholdScope {
 public:
  explicit ThresholdScope(int64_t Value) { IEMemoryThresholdOverride = Value; }
  ~ThresholdScope() { IEMemoryThresholdOverride = FOld; }

 private:
  int64_t FOld = IEMemoryThresholdOverride;
};

// The debug log of one test, read back as its messages (date and time cut off).
class LogScope {
 public:
  LogScope() : FDir("rendercanvas") {
    FPath = FDir.File("debug.log");
    IEDebugLogFile = Utf8ToWide(FPath);
  }
  ~LogScope() { IEDebugLogFile.clear(); }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    std::ifstream in(FPath);
    for (std::string line; std::getline(in, line);) {
      const size_t sep = line.find(" : ");
      out.push_back(sep == std::string::npos ? "<malformed> " + line : line.substr(sep + 3));
    }
    return out;
  }

 private:
  gt_test::TempDir FDir;
  std::string FPath;
};

std::string Join(const std::vector<std::string>& Lines) {
  std::string s;
  for (const std::string& l : Lines) s += l + "\n";
  return s;
}

// ---------------------------------------------------------------------------
// Printing

TEST(RenderToCanvas, StripsAtTwiceTheSizeEqualOwnResampleAndGamma) {
  struct Case {
    TResampleFilter Filter;
    double Gamma;
  };
  const Case cases[] = {{rfBilinear, 2.2}, {rfLanczos3, 1.0}, {rfTriangle, 0.5}, {rfBicubic, 0.0}};
  const Integer w = 7, h = 5, dw = 2 * w, dh = 2 * h;
  // Three rows of 24-bit target per strip: the strips meet at rows 3, 6 and 9.
  const int64_t threshold = 4 * int64_t(IEBitmapRowLen(dw, 24, 32)) * 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "filter " << int(c.Filter) << " gamma " << c.Gamma);
    ThresholdScope scope(threshold);
    auto src = Pattern(w, h);
    auto page = Page(dw + 4, dh + 3);
    src->RenderToCanvas(page->Canvas(), 2, 1, dw, dh, c.Filter, c.Gamma);

    TIEBitmap expected(dw, dh, ie24RGB);
    IEResampleFiltered(src.get(), &expected, c.Filter);
    for (Integer y = 0; y < page->Height(); ++y)
      for (Integer x = 0; x < page->Width(); ++x) {
        TBgr want{255, 255, 255};
        if (x >= 2 && x < 2 + dw && y >= 1 && y < 1 + dh) {
          want = At(expected, x - 2, y - 1);
          for (int& v : want) v = GammaOf(v, c.Gamma);
        }
        ASSERT_EQ(At(page.get(), x, y), want) << "at " << x << "," << y;
      }
  }
}

// Uniform pictures keep their value through every filter, so the printed
// value shows the colour rules alone. Gamma 2 maps 128 to
// Round(sqrt(128 / 255) x 255) = 181; gamma 1 and gamma at or below 0 change
// nothing (a negative one would otherwise whiten the page on one path).
TEST(RenderToCanvas, GammaAndDisplayColoursOfUniformPictures) {
  struct Case {
    const char* Name;
    std::function<std::unique_ptr<TIEBitmap>()> Make;
    double Gamma;
    TBgr Want;
  };
  auto grey24 = [](Integer W, Integer H, Byte V) {
    auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    b->Fill(double(V | V << 8 | V << 16));
    return b;
  };
  const Case cases[] = {
      {"grey 128, gamma 2", [&] { return grey24(2, 2, 128); }, 2.0, {181, 181, 181}},
      {"grey 128, gamma 1", [&] { return grey24(2, 2, 128); }, 1.0, {128, 128, 128}},
      {"grey 128, gamma 0", [&] { return grey24(2, 2, 128); }, 0.0, {128, 128, 128}},
      {"grey 128, gamma -1", [&] { return grey24(2, 2, 128); }, -1.0, {128, 128, 128}},
      // A single pixel cannot be filtered; it must not print black.
      {"one red pixel", [] {
         auto b = std::make_unique<TIEBitmap>(1, 1, ie24RGB);
         b->Fill(double(clRed));
         return b;
       }, 1.0, {0, 0, 255}},
      // A 16-bit grey picture shows its display range (here 0..4095) as the
      // views do, not its high byte.
      {"ie16g 4095 of 0..4095", [] {
         auto b = std::make_unique<TIEBitmap>(2, 2, ie16g);
         b->Fill(4095);
         b->SetDisplayLow(0);
         b->SetDisplayHigh(4095);
         return b;
       }, 1.0, {255, 255, 255}},
      {"ie16g 2048 of 0..4095", [] {
         auto b = std::make_unique<TIEBitmap>(2, 2, ie16g);
         b->Fill(2048);
         b->SetDisplayHigh(4095);
         return b;
       }, 1.0, {127, 127, 127}},
      {"ie8g 150 of 100..200", [] {
         auto b = std::make_unique<TIEBitmap>(2, 2, ie8g);
         b->Fill(150);
         b->SetDisplayLow(100);
         b->SetDisplayHigh(200);
         return b;
       }, 1.0, {127, 127, 127}},
      // Contrast 10: K = 2, c -> (c - 128) x 2 + 128; red offset +20 first.
      // Gamma comes after the view's colours.
      {"ie24RGB contrast and offset", [] {
         auto b = std::make_unique<TIEBitmap>(2, 2, ie24RGB);
         b->Fill(double(RGB(100, 150, 200)));
         b->SetContrast(10);
         b->SetChannelOffsetsOn(true);
         b->SetChannelOffset(0, 20);
         return b;
       }, 2.0, {GammaOf(255, 2), GammaOf(172, 2), GammaOf(112, 2)}},
  };
  for (const Case& c : cases)
    for (TResampleFilter filter : {rfNone, rfBilinear}) {
      SCOPED_TRACE(testing::Message() << c.Name << ", filter " << int(filter));
      auto src = c.Make();
      auto page = Page(6, 6);
      src->RenderToCanvas(page->Canvas(), 1, 1, 4, 4, filter, c.Gamma);
      int wrong = 0;
      for (Integer y = 1; y < 5; ++y)
        for (Integer x = 1; x < 5; ++x) wrong += At(page.get(), x, y) != c.Want;
      EXPECT_EQ(wrong, 0) << "first pixel " << At(page.get(), 1, 1)[0] << "," << At(page.get(), 1, 1)[1] << ","
                          << At(page.get(), 1, 1)[2];
      EXPECT_EQ((At(page.get(), 0, 0)), (TBgr{255, 255, 255}));
      EXPECT_EQ((At(page.get(), 5, 5)), (TBgr{255, 255, 255}));
    }
}

TEST(RenderToCanvas, OneBitPicturesPrintBlackAndWhite) {
  TIEBitmap src(8, 1, ie1g);
  static_cast<Byte*>(src.GetScanline(0))[0] = 0xF0;  // left half white
  for (TResampleFilter filter : {rfNone, rfProjectBW, rfTriangle}) {
    SCOPED_TRACE(int(filter));
    auto page = Page(16, 2);
    src.RenderToCanvas(page->Canvas(), 0, 0, 16, 2, filter, 1.0);
    for (Integer y = 0; y < 2; ++y) {
      EXPECT_EQ(At(page.get(), 1, y), (TBgr{255, 255, 255}));
      EXPECT_EQ(At(page.get(), 4, y), (TBgr{255, 255, 255}));
      EXPECT_EQ(At(page.get(), 11, y), (TBgr{0, 0, 0}));
      EXPECT_EQ(At(page.get(), 14, y), (TBgr{0, 0, 0}));
    }
  }
}

TEST(RenderToCanvas, StripHeight) {
  struct Case {
    int64_t Threshold;
    Integer Width, Height, Align, Want;
  };
  const int64_t huge = int64_t(1) << 50;
  const Case cases[] = {
      {4 * 44 * 5, 14, 100, 32, 5},        // a quarter of the threshold: 5 rows of 44 bytes
      {4 * 44 * 5 + 4 * 43, 14, 100, 32, 5},  // never more than fits
      {huge, 14, 100, 32, 100},              // the height bounds it
      {0, 14, 100, 32, 1},                   // at least one row
      {huge, 20000, 5000, 32, 699},          // 40 MB of 60,000-byte rows
      {4 * 15 * 10, 5, 100, 8, 10},          // rows of 15 bytes unpadded...
      {4 * 15 * 10, 5, 100, 32, 9},          // ...of 16 bytes padded to 32 bits
  };
  for (const Case& c : cases)
    EXPECT_EQ(IERenderStripHeight(c.Threshold, c.Width, c.Height, c.Align), c.Want)
        << c.Threshold << " " << c.Width << "x" << c.Height << " align " << c.Align;
}

TEST(RenderToCanvas, DebugLogOfOnePrint) {
  auto copyLines = [](const std::string& Bytes, const std::string& Format) {
    return std::vector<std::string>{"PrintPict: calling _CopyBitmaptoDIBEx", "_CopyBitmaptoDIBEx: begin",
                                    "_CopyBitmaptoDIBEx: allocate " + Bytes + " bytes",
                                    "_CopyBitmaptoDIBEx: " + Format, "PrintPict: calling _DIBDrawTo",
                                    "PrintPict: calling GlobalFree"};
  };
  // 6 x 4 target, 20-byte rows, strips of two rows: 44 + 2 x 20 bytes a strip.
  std::vector<std::string> filtered = {"TIEBitmap.RenderToCanvas: begin", "TIEBitmap.RenderToCanvas: stripHeight=2",
                                       "TIEBitmap.RenderToCanvas: allocating 6x4", "TIEBitmap.RenderToCanvas: _ResampleEx",
                                       "TIEBitmap.RenderToCanvas: gamma", "TIEBitmap.RenderToCanvas: PrintPict y=0"};
  for (const auto& l : copyLines("84", "ie24RGB")) filtered.push_back(l);
  filtered.push_back("TIEBitmap.RenderToCanvas: PrintPict y=2");
  for (const auto& l : copyLines("84", "ie24RGB")) filtered.push_back(l);
  filtered.push_back("TIEBitmap.RenderToCanvas: end");

  // ie8g stretched: 6 x 4 target in one strip, 8-byte rows after a 1024-byte table.
  std::vector<std::string> grey = {"TIEBitmap.RenderToCanvas: begin", "TIEBitmap.RenderToCanvas: stripHeight=4",
                                   "TIEBitmap.RenderToCanvas: allocating 6x4",
                                   "TIEBitmap.RenderToCanvas: _IEBmpStretchEx",
                                   "TIEBitmap.RenderToCanvas: PrintPict y=0"};
  for (const auto& l : copyLines(std::to_string(44 + 1024 + 8 * 4), "ie8g or ie8p")) grey.push_back(l);
  grey.push_back("TIEBitmap.RenderToCanvas: end");

  // The whole 3 x 2 picture as one DIB of 12-byte rows, stretched by the device.
  const std::vector<std::string> unfiltered = {
      "TIEBitmap.RenderToCanvas: begin", "TIEBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0",
      "_CopyBitmaptoDIBEx: begin", "_CopyBitmaptoDIBEx: allocate 68 bytes", "_CopyBitmaptoDIBEx: ie24RGB",
      "TIEBitmap.RenderToCanvas: calling _DIBDrawTo", "TIEBitmap.RenderToCanvas: end"};
  const std::vector<std::string> nothing = {"TIEBitmap.RenderToCanvas: begin", "TIEBitmap.RenderToCanvas: end"};

  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    Integer SrcWidth, TargetHeight;
    TResampleFilter Filter;
    double Gamma;
    const std::vector<std::string>* Want;
  };
  const Case cases[] = {
      {"filtered in two strips", ie24RGB, 3, 4, rfBilinear, 2.0, &filtered},
      {"grey, stretched", ie8g, 3, 4, rfBilinear, 2.0, &grey},
      {"unfiltered", ie24RGB, 3, 4, rfNone, 1.0, &unfiltered},
      {"empty picture", ie24RGB, 0, 4, rfBilinear, 2.0, &nothing},
      {"empty target", ie24RGB, 3, 0, rfNone, 2.0, &nothing},
  };
  const int64_t threshold = 4 * 20 * 2;  // two rows of 20 bytes a strip
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ThresholdScope scope(c.Format == ie8g ? std::numeric_limits<int64_t>::max() : threshold);
    TIEBitmap src(c.SrcWidth, 2, c.Format);
    auto page = Page(8, 8);
    LogScope log;
    src.RenderToCanvas(page->Canvas(), 1, 1, 6, c.TargetHeight, c.Filter, c.Gamma);
    EXPECT_EQ(Join(log.Messages()), Join(*c.Want));
  }
}

TEST(RenderToCanvas, PrintsThroughThePrinterIntoItsDocument) {
  ASSERT_EQ(std::system("gs --version >/dev/null 2>&1"), 0) << "Ghostscript is not installed";
  gt_test::TempDir dir("rendercanvas");
  const std::string pdf = dir.File("print.pdf");
  setenv("GT_PRINT_TO_FILE", pdf.c_str(), 1);
  {
    // Red left half, blue right half, printed into the page's top-left quarter.
    TIEBitmap src(8, 1, ie24RGB);
    for (Integer x = 0; x < 8; ++x) src.SetPixelRGB(x, 0, x < 4 ? TRGB{0, 0, 255} : TRGB{255, 0, 0});
    TPrinter printer;
    printer.BeginDoc();
    src.RenderToCanvas(printer.Canvas(), 0, 0, printer.PageWidth() / 2, printer.PageHeight() / 2, rfBilinear, 1.0);
    printer.EndDoc();
  }
  unsetenv("GT_PRINT_TO_FILE");
  const std::string ppm = dir.File("page.ppm");
  const std::string cmd = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r20 -sOutputFile='" + ppm + "' '" + pdf +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(ppm, std::ios::binary);
  // Header tokens, with "#" comment lines between them.
  auto token = [&in] {
    std::string t;
    while (in >> t && t[0] == '#') std::getline(in, t);
    return t;
  };
  const std::string magic = token();
  const int w = std::atoi(token().c_str()), h = std::atoi(token().c_str());
  token();
  in.get();
  ASSERT_EQ(magic, "P6");
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  std::vector<unsigned char> rgb(size_t(w) * h * 3);
  in.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size()));
  ASSERT_TRUE(in.good());
  auto px = [&](double FX, double FY) {
    const size_t i = (size_t(FY * h) * w + size_t(FX * w)) * 3;
    return std::array<int, 3>{rgb[i], rgb[i + 1], rgb[i + 2]};  // r, g, b
  };
  auto near = [](std::array<int, 3> A, std::array<int, 3> B) {
    for (int i = 0; i < 3; ++i)
      if (std::abs(A[i] - B[i]) > 40) return false;
    return true;
  };
  EXPECT_TRUE(near(px(0.08, 0.25), {255, 0, 0}));
  EXPECT_TRUE(near(px(0.42, 0.25), {0, 0, 255}));
  EXPECT_TRUE(near(px(0.75, 0.25), {255, 255, 255}));
  EXPECT_TRUE(near(px(0.25, 0.75), {255, 255, 255}));
}

// ---------------------------------------------------------------------------
// Packed DIBs

// A global block holding an 8-bit packed DIB of W x 1 with the given colour
// table, pixel values and header overrides.
HGLOBAL MakeDib8(Integer W, const std::vector<RGBQUAD>& Table, const std::vector<Byte>& Pixels, uint32_t ClrUsed,
                 uint32_t Compression, size_t Cut) {
  const size_t rowLen = ((size_t(W) * 8 + 31) / 32) * 4;
  const size_t size = 40 + Table.size() * 4 + rowLen - Cut;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
  Byte* p = static_cast<Byte*>(GlobalLock(h));
  std::vector<Byte> all(40 + Table.size() * 4 + rowLen, 0);
  BITMAPINFOHEADER hdr;
  hdr.biWidth = W;
  hdr.biHeight = 1;
  hdr.biBitCount = 8;
  hdr.biCompression = Compression;
  hdr.biClrUsed = ClrUsed;
  std::memcpy(all.data(), &hdr, 40);
  std::memcpy(all.data() + 40, Table.data(), Table.size() * 4);
  std::memcpy(all.data() + 40 + Table.size() * 4, Pixels.data(), Pixels.size());
  std::memcpy(p, all.data(), size);
  GlobalUnlock(h);
  return h;
}

TEST(DIBDrawTo, ColourTableLengthAndMalformedBlocks) {
  const std::vector<RGBQUAD> two = {RGBQUAD{0, 0, 255, 0}, RGBQUAD{255, 0, 0, 0}};  // red, blue
  std::vector<RGBQUAD> full(256, RGBQUAD{0, 255, 0, 0});
  full[0] = two[0];
  full[1] = two[1];
  struct Case {
    const char* Name;
    HGLOBAL Dib;
    bool Drawn;
  };
  const Case cases[] = {
      // Two used colours: the rows follow two table entries, not 256.
      {"colours used 2", MakeDib8(4, two, {0, 1, 1, 0}, 2, 0, 0), true},
      {"full table", MakeDib8(4, full, {0, 1, 1, 0}, 0, 0, 0), true},
      {"rows cut short", MakeDib8(4, two, {0, 1, 1, 0}, 2, 0, 1), false},
      {"table cut short", MakeDib8(4, two, {0, 1, 1, 0}, 0, 0, 0), false},
      {"run-length coded", MakeDib8(4, two, {0, 1, 1, 0}, 2, 1, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto page = Page(8, 2);
    EXPECT_EQ(_DIBDrawTo(page->Canvas(), c.Dib, 0, 0, 4, 1, 0, 0, 8, 2), c.Drawn);
    const TBgr red{0, 0, 255}, blue{255, 0, 0}, white{255, 255, 255};
    for (Integer y = 0; y < 2; ++y) {
      EXPECT_EQ(At(page.get(), 0, y), c.Drawn ? red : white);
      EXPECT_EQ(At(page.get(), 3, y), c.Drawn ? blue : white);
      EXPECT_EQ(At(page.get(), 5, y), c.Drawn ? blue : white);
      EXPECT_EQ(At(page.get(), 7, y), c.Drawn ? red : white);
    }
    GlobalFree(c.Dib);
  }
}

// ---------------------------------------------------------------------------
// Overlay boxes

// A canvas with a pattern that shows every pixel left behind.
std::unique_ptr<TBitmap> Patterned(Integer W, Integer H) {
  auto b = Page(W, H);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < 3 * W; ++x) row[x] = Byte((x * 7 + y * 13) % 251);
  }
  return b;
}

TEST(IEDrawTextBox, ClampsDrawsAndRestoresWithoutTrace) {
  const TColor frame1 = RGB(10, 20, 30), frame2 = RGB(200, 100, 50);
  TFont font;
  font.SetSize(10);
  TBrush brush;
  brush.SetColor(RGB(0, 128, 0));
  const WideString text = W("12.5 mm");
  auto probe = Page(10, 10);
  probe->Canvas()->SetFont(&font);
  const TSize ext = probe->Canvas()->TextExtent(text);
  const Integer w = ext.cx + 12, h = ext.cy + 12;
  const Integer cw = 160, ch = 90;
  ASSERT_LT(w + 1, cw);
  ASSERT_LT(h + 1, ch);

  struct Case {
    Integer X, Y, WantX, WantY;
  };
  const Case cases[] = {{-5, -7, 0, 0}, {20, 15, 20, 15}, {cw, ch, cw - w - 1, ch - h - 1}, {cw - w - 1, 0, cw - w - 1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
    auto canvas = Patterned(cw, ch);
    auto original = Patterned(cw, ch);
    TBitmap background;
    Integer x = c.X, y = c.Y;
    IEDrawTextBox(canvas->Canvas(), x, y, text, &font, &brush, &background, cw, ch, frame1, frame2);
    EXPECT_EQ(x, c.WantX);
    EXPECT_EQ(y, c.WantY);
    const TBgr f1{30, 20, 10}, f2{50, 100, 200}, fill{0, 128, 0};
    EXPECT_EQ(At(canvas.get(), x + 6, y + h - 1), f1);  // left edge
    EXPECT_EQ(At(canvas.get(), x + 7, y + 6), f1);      // top edge
    EXPECT_EQ(At(canvas.get(), x + 7, y + h), f2);      // bottom edge
    EXPECT_EQ(At(canvas.get(), x + w, y + 7), f2);      // right edge
    EXPECT_EQ(At(canvas.get(), x + w - 1, y + h - 1), fill);
    EXPECT_EQ(At(canvas.get(), x + 5, y + 5), At(original.get(), x + 5, y + 5));

    // Painting the saved pixels back leaves the canvas as it was.
    canvas->Canvas()->Draw(x, y, &background);
    for (Integer yy = 0; yy < ch; ++yy)
      for (Integer xx = 0; xx < cw; ++xx)
        ASSERT_EQ(At(canvas.get(), xx, yy), At(original.get(), xx, yy)) << "at " << xx << "," << yy;
  }
}

TEST(IEDrawInfoBox, HalfTransparentBoxAsWideAsTheSample) {
  IEGDIPlusLoad();
  auto canvas = Page(200, 60);
  Integer x = -4, y = -9;
  IEDrawInfoBox(canvas->Canvas(), x, y, W("1"), W("000000000"));
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  auto probe = Page(10, 10);
  probe->Canvas()->Font()->SetName(W("Arial"));
  probe->Canvas()->Font()->SetSize(9);
  const Integer w = probe->Canvas()->TextWidth(W("000000000")) + 12;
  const Integer h = probe->Canvas()->TextHeight(W("1")) + 12;
  // Light yellow (red 255, green 255, blue 0x60) at 128 of 255 over white.
  const TBgr inside = At(canvas.get(), w - 3, h - 3);
  EXPECT_NEAR(inside[0], 255 - (255 - 0x60) * 128 / 255, 2);
  EXPECT_EQ(inside[1], 255);
  EXPECT_EQ(inside[2], 255);
  EXPECT_EQ(At(canvas.get(), w, h / 2), (TBgr{0x80, 0x80, 0x80}));  // grey right edge
  EXPECT_EQ(At(canvas.get(), w / 2, h), (TBgr{0x80, 0x80, 0x80}));  // grey bottom edge
  EXPECT_EQ(At(canvas.get(), w + 2, h / 2), (TBgr{255, 255, 255}));  // nothing beyond
  EXPECT_EQ(At(canvas.get(), 3, 3), (TBgr{255, 255, 255}));          // the margin stays
  // The text is drawn in black inside the box.
  bool dark = false;
  for (Integer yy = 9; yy < h; ++yy)
    for (Integer xx = 9; xx < w; ++xx) dark = dark || At(canvas.get(), xx, yy)[2] < 100;
  EXPECT_TRUE(dark);
  IEGDIPlusUnload();
}

}  // namespace

}  // namespace test_rendercanvas_tests
