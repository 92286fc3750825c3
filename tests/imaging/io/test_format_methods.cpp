// The per-format methods of the companion checked against outside tools:
// icons holding one picture per leading size, WBMP both ways through
// netpbm, PostScript and PDF read by ghostscript and qpdf, and the small
// accessors (black-and-white method, platform bitmap behind the picture).
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "platform/base/strutils.h"
#include "platform/graphics/bitmap.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_format_methods_tests {

// ie1g rows: the leftmost pixel in the high bit, 1 for white.
void SetBit(TIEBitmap& B, Integer X, Integer Y, bool White) {
  Byte& b = static_cast<Byte*>(B.GetScanline(Y))[X / 8];
  const Byte m = Byte(0x80 >> (X % 8));
  b = White ? Byte(b | m) : Byte(b & ~m);
}
bool GetBit(TIEBitmap& B, Integer X, Integer Y) {
  return (static_cast<const Byte*>(B.GetScanline(Y))[X / 8] & (0x80 >> (X % 8))) != 0;
}

class FormatMethods : public ::testing::Test {
 protected:
  void SetUp() override {
    IEStartup();
    ASSERT_TRUE(Dir.Ok());
  }
  void TearDown() override { IEShutdown(); }
  // A w x h paletted picture of four colours in vertical bands.
  static void Paletted(TIEBitmap& B, Integer W, Integer H) {
    ASSERT_TRUE(B.Allocate(W, H, ie8p));
    const TRGB pal[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) B.SetPaletteColor(i, pal[i]);
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) static_cast<Byte*>(B.GetScanline(y))[x] = Byte((x * 4) / W);
  }
  gt_test::TempDir Dir{"fmtmethods"};
};

// Only the leading sizes wider than 0 are written, each at its depth; a
// zero entry ends the list even when entries after it are set.
TEST_F(FormatMethods, IconHoldsOnePicturePerLeadingSize) {
  ASSERT_TRUE(gt_test::HaveTool("identify"));
  TIEBitmap pic;
  Paletted(pic, 40, 40);
  auto io = TZiduzUvIO::CreateForBitmap(&pic);
  auto& p = io->Params();
  p.ICO_SIZES.fill(TSize(0, 0));
  p.ICO_SIZES[0] = TSize(32, 32);
  p.ICO_SIZES[1] = TSize(16, 16);
  p.ICO_SIZES[2] = TSize(48, 48);
  p.ICO_SIZES[4] = TSize(64, 64);
  p.ICO_BITDEPTHS = {32, 8, 4, 8, 8};
  const std::string f = Dir.File("a.ico");
  io->SaveToFileICO(Utf8ToWide(f));
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FILETYPE, ieftICO);
  EXPECT_EQ(gt_test::Capture("identify -format '%wx%h ' '" + f + "'"), "32x32 16x16 48x48 ");
  // The writer worked on a 24-bit copy; the document keeps its palette.
  EXPECT_EQ(pic.PixelFormat(), ie8p);
}

// WBMP both ways: ours read by netpbm, netpbm's read by ours, bit for bit.
TEST_F(FormatMethods, WirelessBitmapRoundTripsThroughNetpbm) {
  ASSERT_TRUE(gt_test::HaveTool("wbmptopbm"));
  const Integer w = 13, h = 5;
  TIEBitmap pic;
  ASSERT_TRUE(pic.Allocate(w, h, ie1g));
  std::string pbm = "P1\n13 5\n";
  for (Integer y = 0; y < h; ++y) {
    for (Integer x = 0; x < w; ++x) {
      const bool white = (x + 2 * y) % 3 == 0;
      SetBit(pic, x, y, white);  // ie1g: 1 is white
      pbm += white ? "0 " : "1 ";     // PBM: 1 is black
    }
    pbm += "\n";
  }
  const std::string ours = Dir.File("ours.wbmp");
  auto io = TZiduzUvIO::CreateForBitmap(&pic);
  io->SaveToFileWBMP(Utf8ToWide(ours));
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FILETYPE, ieftWBMP);
  const std::string expected = gt_test::CaptureWithInput("pnmtopnm -plain", pbm);
  EXPECT_EQ(gt_test::Capture("wbmptopbm '" + ours + "' | pnmtopnm -plain"), expected);

  const std::string theirs = Dir.File("theirs.wbmp");
  ASSERT_EQ(gt_test::Shell("printf '" + pbm + "' | pbmtowbmp > '" + theirs + "'"), 0);
  TIEBitmap back;
  auto in = TZiduzUvIO::CreateForBitmap(&back);
  in->LoadFromFileWBMP(Utf8ToWide(theirs));
  ASSERT_FALSE(in->Aborting());
  EXPECT_EQ(in->Params().FILETYPE, ieftWBMP);
  ASSERT_EQ(back.Width(), w);
  ASSERT_EQ(back.Height(), h);
  for (Integer y = 0; y < h; ++y)
    for (Integer x = 0; x < w; ++x) EXPECT_EQ(GetBit(back, x, y), GetBit(pic, x, y)) << x << "," << y;
}

// A paletted picture saved as PostScript and PDF: ghostscript renders the
// page and qpdf finds the PDF sound; the document stays paletted.
TEST_F(FormatMethods, PostScriptAndPdfPagesReadByGhostscriptAndQpdf) {
  ASSERT_TRUE(gt_test::HaveTool("gs"));
  ASSERT_TRUE(gt_test::HaveTool("qpdf"));
  TIEBitmap pic;
  Paletted(pic, 30, 20);
  auto io = TZiduzUvIO::CreateForBitmap(&pic);
  const std::string ps = Dir.File("a.ps"), pdf = Dir.File("a.pdf");
  io->SaveToFilePS(Utf8ToWide(ps));
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FILETYPE, ieftPS);
  io->SaveToFilePDF(Utf8ToWide(pdf));
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FILETYPE, ieftPDF);
  EXPECT_EQ(pic.PixelFormat(), ie8p);
  int status = -1;
  const std::string bbox =
      gt_test::Capture("gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=bbox '" + ps + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << bbox;
  EXPECT_NE(bbox.find("%%BoundingBox:"), std::string::npos) << bbox;
  EXPECT_EQ(bbox.find("%%BoundingBox: 0 0 0 0"), std::string::npos) << bbox;
  EXPECT_EQ(gt_test::Shell("qpdf --check '" + pdf + "' >/dev/null 2>&1"), 0);

  // A stream save writes the same kind of document.
  TMemoryStream s;
  io->SaveToStreamPDF(&s);
  ASSERT_FALSE(io->Aborting());
  ASSERT_GT(s.Size(), 5);
  EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), 5), "%PDF-");
}

TEST_F(FormatMethods, MonoConversionModeAndPlatformBitmap) {
  TIEBitmap pic(4, 4, ie24RGB);
  auto io = TZiduzUvIO::CreateForBitmap(&pic);
  io->SetMonoConversionMode(3);
  EXPECT_EQ(io->MonoConversionMode(), 3);
  EXPECT_EQ(pic.BlackWhiteMethod(), 3);
  // A picture of its own is no platform bitmap.
  EXPECT_EQ(io->GetTBitmap(), nullptr);

  TBitmap platform;
  platform.SetPixelFormat(pf24bit);
  platform.SetSize(5, 2);
  TZiduzUvIO on(nullptr);
  on.AttachTBitmap(&platform);
  EXPECT_EQ(on.GetTBitmap(), &platform);
  TIEBitmap wrapping;
  wrapping.EncapsulateTBitmap(&platform, false);
  auto w = TZiduzUvIO::CreateForBitmap(&wrapping);
  EXPECT_EQ(w->GetTBitmap(), &platform);
}

}  // namespace test_format_methods_tests
