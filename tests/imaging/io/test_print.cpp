// Printing: the layout as a table of size modes, positions and margins;
// pages printed into a PDF whose inked area ghostscript measures; the
// guards that draw nothing; and the preview's size and margin outline.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "imaging/io/ieprint.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "tests/support/pnm.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/printers.h"

namespace print_tests {
namespace {

using namespace io_test;
using gt_test::Capture;
using gt_test::HaveTool;

TEST(PrintLayout, SizeModesAndPositions) {
  // A 3000 x 1500 picture at 300 dpi on an 8.5 x 11 inch page, device 600 dpi,
  // margins 1 inch left and top, 0.5 right and bottom: 7 x 9.5 inches free.
  struct Case {
    const char* Name;
    Byte Size, V, H;
    double X, Y, W, Ht;
  } cases[] = {
      {"normal, top left", iesNormal, ievpTop, iehpLeft, 1, 1, 10, 5},
      {"normal, centred", iesNormal, ievpCenter, iehpCenter, 1 + (7 - 10) / 2.0, 1 + (9.5 - 5) / 2, 10, 5},
      {"normal, bottom right", iesNormal, ievpBottom, iehpRight, 1 + 7 - 10, 1 + 9.5 - 5, 10, 5},
      // Fit uses the device's resolution: 5 x 2.5 inches grow to the width.
      {"fit, centred vertically", iesFit, ievpCenter, iehpLeft, 1, 1 + (9.5 - 3.5) / 2, 7, 3.5},
      {"stretch", iesStretch, ievpTop, iehpLeft, 1, 1, 7, 9.5},
      {"specified", iesSpecified, ievpBottom, iehpCenter, 1 + (7 - 2) / 2.0, 1 + 9.5 - 3, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEPrintLayout l;
    ASSERT_TRUE(IEComputePrintLayout(3000, 1500, 300, 300, 600, 600, 8.5, 11, 1, 1, 0.5, 0.5, c.V, c.H, c.Size, 2, 3,
                                     l));
    EXPECT_DOUBLE_EQ(l.X, c.X);
    EXPECT_DOUBLE_EQ(l.Y, c.Y);
    EXPECT_DOUBLE_EQ(l.Width, c.W);
    EXPECT_DOUBLE_EQ(l.Height, c.Ht);
  }
}

TEST(PrintLayout, NothingToDrawIsRefusedNotComputed) {
  TIEPrintLayout l;
  // An empty picture in fit mode would divide by zero.
  EXPECT_FALSE(IEComputePrintLayout(0, 0, 300, 300, 600, 600, 8.5, 11, 1, 1, 1, 1, 0, 0, iesFit, 0, 0, l));
  // Margins wider than the page.
  EXPECT_FALSE(IEComputePrintLayout(100, 100, 300, 300, 600, 600, 8.5, 11, 5, 1, 4, 1, 0, 0, iesNormal, 0, 0, l));
  // No device resolution.
  EXPECT_FALSE(IEComputePrintLayout(100, 100, 300, 300, 0, 600, 8.5, 11, 1, 1, 1, 1, 0, 0, iesFit, 0, 0, l));
  // An unknown size mode has no size.
  EXPECT_FALSE(IEComputePrintLayout(100, 100, 300, 300, 600, 600, 8.5, 11, 1, 1, 1, 1, 0, 0, 7, 0, 0, l));
}

// ---------------------------------------------------------------------------
// Pages

class PrintPages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTool("gs")) << "ghostscript missing (scripts/install-deps.sh installs it)";
  }
  // The dark area of page 1 of a PDF rendered at 72 dpi, in points from the
  // top left: left, top, right, bottom. (The page is one raster image, so
  // the whole page counts as marked for ghostscript's own bounding box.)
  static bool DarkBox(const std::string& Pdf, const std::string& Pgm, double Box[4]) {
    if (Shell("gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pgmraw -r72 -sOutputFile='" + Pgm + "' '" + Pdf +
              "' >/dev/null 2>&1") != 0)
      return false;
    gt_test::Pnm p;
    if (!gt_test::ParsePnm(ReadFile(Pgm), p) || p.Channels != 1) return false;
    int l = p.Width, t = p.Height, r = -1, b = -1;
    for (int y = 0; y < p.Height; ++y)
      for (int x = 0; x < p.Width; ++x)
        if (p.At(x, y) < 128) {
          l = std::min(l, x);
          t = std::min(t, y);
          r = std::max(r, x + 1);
          b = std::max(b, y + 1);
        }
    if (r < 0) return false;
    Box[0] = l;
    Box[1] = t;
    Box[2] = r;
    Box[3] = b;
    return true;
  }
};

TEST_F(PrintPages, InkedAreaIsTheComputedRectangle) {
  TempDir dir;
  struct Case {
    const char* Name;
    Byte Size, V, H;
    double Margin;
  } cases[] = {{"normal top left", iesNormal, ievpTop, iehpLeft, 1},
               {"normal centred", iesNormal, ievpCenter, iehpCenter, 0.5},
               {"fit bottom right", iesFit, ievpBottom, iehpRight, 1},
               {"stretch", iesStretch, ievpTop, iehpLeft, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string pdf = dir.File(std::string("p") + std::to_string(&c - cases) + ".pdf");
    ASSERT_EQ(setenv("GT_PRINT_TO_FILE", pdf.c_str(), 1), 0);
    // 600 x 300 black pixels at 200 dpi: 3 x 1.5 inches.
    TIEBitmap pic(600, 300, ie24RGB);
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&pic);
    io.Params().DPIX = io.Params().DPIY = 200;
    TPrinter printer;
    printer.BeginDoc();
    const double pageW = double(printer.PageWidth()) / printer.Resolution();
    const double pageH = double(printer.PageHeight()) / printer.Resolution();
    io.PrintImage(printer.Canvas(), c.Margin, c.Margin, c.Margin, c.Margin, c.V, c.H, c.Size, 0, 0, 1);
    printer.EndDoc();
    unsetenv("GT_PRINT_TO_FILE");
    TIEPrintLayout l;
    ASSERT_TRUE(IEComputePrintLayout(600, 300, 200, 200, printer.Resolution(), printer.Resolution(), pageW, pageH,
                                     c.Margin, c.Margin, c.Margin, c.Margin, c.V, c.H, c.Size, 0, 0, l));
    double box[4];
    ASSERT_TRUE(DarkBox(pdf, dir.File("page.pgm"), box));
    // A point of slack for the rounding of either rendering.
    const double tol = 1.5;
    EXPECT_NEAR(box[0], l.X * 72, tol);
    EXPECT_NEAR(box[1], l.Y * 72, tol);
    EXPECT_NEAR(box[2], (l.X + l.Width) * 72, tol);
    EXPECT_NEAR(box[3], (l.Y + l.Height) * 72, tol);
  }
}

TEST_F(PrintPages, PreviewKeepsThePageProportionsAndOutlinesTheMargins) {
  TIEBitmap pic(600, 300, ie24RGB);  // black
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&pic);
  io.Params().DPIX = io.Params().DPIY = 200;
  TPrinter printer;
  TBitmap preview;
  io.RenderPrintPreview(&preview, 300, 400, &printer, 1, 1, 1, 1, ievpTop, iehpLeft, iesNormal, 0, 0, 1);
  ASSERT_GT(preview.Width(), 0);
  EXPECT_LE(preview.Width(), 300 - 5);
  EXPECT_LE(preview.Height(), 400 - 5);
  const double page = double(printer.PageWidth()) / printer.PageHeight();
  EXPECT_NEAR(double(preview.Width()) / preview.Height(), page, 0.01);
  // Too little room: nothing is drawn, nothing is sized.
  TBitmap none;
  io.RenderPrintPreview(&none, 4, 400, &printer, 1, 1, 1, 1, ievpTop, iehpLeft, iesNormal, 0, 0, 1);
  EXPECT_EQ(none.Width(), 0);
}

}  // namespace
}  // namespace print_tests
