// The PDF writer: every compression for bilevel and colour pictures rendered
// by ghostscript at the expected place, checked by qpdf and listed by
// pdfimages with the declared encoding; the file structure (cross-reference
// offsets, trailer, Info) and the object model's escaping.
#include <gtest/gtest.h>

#include "imaging/formats/pdf.h"
#include "imaging/io/ziduzuvio.h"
#include "test_pdf_render.h"

using namespace fmt_test;

namespace pdf_tests {
namespace {

std::string Text(const Bytes& B) { return std::string(B.begin(), B.end()); }

Bytes WriteOne(TIEBitmap* B, TIOParamsVals& P, bool& Aborted) {
  Progress pr;
  TMemoryStream s;
  IEWritePDF(&s, B, P, pr.Rec);
  Aborted = pr.Aborting;
  return Contents(s);
}

// The "enc" and "color" columns of pdfimages -list for the first image.
std::string ImageList(const std::string& File) {
  return Capture("pdfimages -list '" + File + "' 2>&1 | awk 'NR==3{printf \"%s %s\", $6, $9}'");
}

struct Case {
  const char* Name;
  bool Bilevel;
  int Compression;
  int JpegColorSpace;  // -1: the default
  bool KeepLZW;
  const char* Listed;  // pdfimages: colour space, encoding
  const char* Filter;  // as qpdf shows the image dictionary
  int Tolerance;
};

const Case kCases[] = {
    {"bilevel none", true, 0, -1, true, "gray image", "", 0},
    {"bilevel run length", true, 1, -1, true, "gray image", "/Filter [ /RunLengthDecode ]", 0},
    {"bilevel group 4", true, 2, -1, true, "gray ccitt", "/K -1 /Rows 50", 0},
    {"bilevel group 3 2-D", true, 3, -1, true, "gray ccitt", "/K 1 /Rows 50", 0},
    {"bilevel jpeg asks for group 3", true, 4, -1, true, "gray ccitt", "/K 1 /Rows 50", 0},
    {"bilevel lzw", true, 5, -1, true, "gray image", "/Filter /LZWDecode", 0},
    // No coding for the value: the page still gets its image, uncompressed.
    {"bilevel unknown value", true, 9, -1, true, "gray image", "", 0},
    // No LZW routine: uncompressed instead of a call through nothing.
    {"bilevel lzw without routine", true, 5, -1, false, "gray image", "", 0},
    {"colour none", false, 0, -1, true, "rgb image", "", 0},
    {"colour run length is uncompressed", false, 1, -1, true, "rgb image", "", 0},
    {"colour group 4 is uncompressed", false, 2, -1, true, "rgb image", "", 0},
    {"colour lzw", false, 5, -1, true, "rgb image", "/Filter /LZWDecode", 0},
    {"colour lzw without routine", false, 5, -1, false, "rgb image", "", 0},
    {"colour jpeg", false, 4, -1, true, "rgb jpeg", "/Filter /DCTDecode", 24},
    {"colour jpeg rgb", false, 4, 0, true, "rgb jpeg", "/Filter /DCTDecode", 24},
    // CMYK settings would put four components under /DeviceRGB.
    {"colour jpeg asked cmyk", false, 4, 3, true, "rgb jpeg", "/Filter /DCTDecode", 24},
    {"colour jpeg asked ycck", false, 4, 4, true, "rgb jpeg", "/Filter /DCTDecode", 24},
};

TEST(PdfWriter, EveryCompressionRendersInPlaceAndChecksClean) {
  ASSERT_TRUE(HaveTool("gs") && HaveTool("qpdf") && HaveTool("pdfimages")) << "gs, qpdf or pdfimages missing";
  TempDir dir("pdfw");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    auto bmp = c.Bilevel ? pdf_render::Bilevel() : pdf_render::Colour();
    TIOParamsVals p(nullptr);
    p.PDF_PAPERWIDTH = 200;
    p.PDF_PAPERHEIGHT = 300;
    p.PDF_COMPRESSION = Byte(c.Compression);
    if (c.JpegColorSpace >= 0) p.JPEG_COLORSPACE = Byte(c.JpegColorSpace);
    if (!c.KeepLZW) p.TIFF_LZWCOMPRESS = nullptr;
    p.JPEG_QUALITY = 95;
    bool aborted = true;
    const Bytes pdf = WriteOne(bmp.get(), p, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(p.BITSPERSAMPLE, c.Bilevel ? 1 : 8);
    EXPECT_EQ(p.SAMPLESPERPIXEL, c.Bilevel ? 1 : 3);
    const std::string file = dir.File("p.pdf");
    ASSERT_TRUE(gt_test::WriteFileBytes(file, pdf));
    int status = -1;
    const std::string check = Capture("qpdf --check '" + file + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << check;
    EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
    // pdfimages names no LZW ("image"); qpdf shows the filter itself.
    EXPECT_EQ(ImageList(file), c.Listed);
    const std::string object = Capture("qpdf --show-object=3 '" + file + "' 2>&1");
    EXPECT_NE(object.find(c.Filter), std::string::npos) << object;
    if (!*c.Filter) {
      EXPECT_EQ(object.find("/Filter"), std::string::npos) << object;
    }
    gt_test::Pnm page;
    ASSERT_TRUE(pdf_render::Render(file, 1, page));
    EXPECT_LE(pdf_render::PlacementError(page, bmp.get()), c.Tolerance);
  }
}

TEST(PdfWriter, GreyJpegIsDeclaredGrey) {
  ASSERT_TRUE(HaveTool("gs") && HaveTool("pdfimages")) << "gs or pdfimages missing";
  TempDir dir("pdfg");
  auto bmp = pdf_render::Colour();
  TIOParamsVals p(nullptr);
  p.PDF_PAPERWIDTH = 200;
  p.PDF_PAPERHEIGHT = 300;
  p.PDF_COMPRESSION = 4;
  p.JPEG_COLORSPACE = 1;
  p.JPEG_QUALITY = 95;
  bool aborted = true;
  const std::string file = dir.File("g.pdf");
  ASSERT_TRUE(gt_test::WriteFileBytes(file, WriteOne(bmp.get(), p, aborted)));
  EXPECT_FALSE(aborted);
  EXPECT_EQ(ImageList(file), "gray jpeg");
  gt_test::Pnm page;
  ASSERT_TRUE(pdf_render::Render(file, 1, page));
  // A grey rendering of the blocks: each sample equals the block's luma.
  int worst = 0;
  for (int y = 1; y < 100; y += 2)
    for (int x = 1; x < 200; x += 2) {
      TRGB c;
      bmp->GetPixelAsRGB(x / 2, y / 2, c);
      const int luma = (299 * c.r + 587 * c.g + 114 * c.b + 500) / 1000;
      const int* s = &page.Data[(size_t(y) * 200 + x) * 3];
      worst = std::max({worst, std::abs(s[0] - luma), std::abs(s[1] - luma), std::abs(s[2] - luma)});
    }
  EXPECT_LE(worst, 24);
}

TEST(PdfWriter, OnePageLayoutOffsetsAndInfo) {
  auto bmp = pdf_render::Colour();
  TIOParamsVals p(nullptr);
  p.PDF_COMPRESSION = 0;
  p.PDF_TITLE = "a (b) c\\";
  p.PDF_AUTHOR = "Ann";
  bool aborted = true;
  const Bytes pdf = WriteOne(bmp.get(), p, aborted);
  EXPECT_FALSE(aborted);
  const std::string t = Text(pdf);
  EXPECT_EQ(t.compare(0, 14, "%PDF-1.4\n\xC8\xD2\xF0\xFE\n"), 0);
  // 100 x 50 on the default paper: 595 x 297 (truncated) at the top.
  EXPECT_NE(t.find("q\n595 0 0 297 0 545 cm\n/lm1 Do\nQ"), std::string::npos);
  EXPECT_NE(t.find("/Title (a \\(b\\) c\\\\)"), std::string::npos);
  EXPECT_NE(t.find("trailer\n<< /Size 8\n/Root 1 0 R\n/Info 7 0 R\n>>\n"), std::string::npos);
  EXPECT_EQ(t.find("/Subject"), std::string::npos);
  // Every entry is 20 bytes and points at its object's "n 0 obj" line.
  const size_t startxref = t.rfind("startxref\n");
  ASSERT_NE(startxref, std::string::npos);
  const size_t xref = std::stoul(t.substr(startxref + 10));
  ASSERT_EQ(t.compare(xref, 5, "xref\n"), 0);
  ASSERT_EQ(t.compare(xref + 5, 4, "0 8\n"), 0);
  const size_t entries = xref + 9;
  EXPECT_EQ(t.substr(entries, 20), "0000000000 65535 f \n");
  for (int n = 1; n <= 7; ++n) {
    const std::string e = t.substr(entries + 20 * size_t(n), 20);
    ASSERT_EQ(e.substr(10), " 00000 n \n") << n;
    const size_t off = std::stoul(e.substr(0, 10));
    EXPECT_EQ(t.compare(off, std::to_string(n).size() + 6, std::to_string(n) + " 0 obj"), 0) << n;
  }
  EXPECT_EQ(t.substr(t.size() - 6), "%%EOF\n");
  if (HaveTool("pdfinfo")) {
    TempDir dir("pdfi");
    const std::string file = dir.File("i.pdf");
    ASSERT_TRUE(gt_test::WriteFileBytes(file, pdf));
    const std::string info = Capture("pdfinfo '" + file + "' 2>&1");
    EXPECT_NE(info.find("Title:           a (b) c\\\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Author:          Ann\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
  }
}

TEST(PdfWriter, PagesAddedOneByOne) {
  ASSERT_TRUE(HaveTool("gs") && HaveTool("qpdf")) << "gs or qpdf missing";
  auto colour = pdf_render::Colour();
  auto bilevel = pdf_render::Bilevel();
  TIOParamsVals p(nullptr);
  p.PDF_PAPERWIDTH = 200;
  p.PDF_PAPERHEIGHT = 300;
  Progress pr;
  // The document is written wherever the stream stands.
  TMemoryStream s;
  s.WriteBuffer("junk", 4);
  auto doc = IECreatePDFDocument();
  IEPDFAddImagePage(*doc, colour.get(), p, pr.Rec);
  IEPDFAddImagePage(*doc, bilevel.get(), p, pr.Rec);
  IEFinishPDF(doc, &s, p, pr.Rec);
  EXPECT_FALSE(pr.Aborting);
  EXPECT_EQ(doc, nullptr);
  Bytes all = Contents(s);
  ASSERT_GT(all.size(), 4u);
  const std::string t = Text(Bytes(all.begin() + 4, all.end()));
  // Pages and Info come last: objects 9 and 10 of 10.
  EXPECT_NE(t.find("/Size 11\n/Root 1 0 R\n/Info 10 0 R\n"), std::string::npos);
  EXPECT_NE(t.find("/Kids [5 0 R 8 0 R ]"), std::string::npos);
  TempDir dir("pdf2");
  const std::string file = dir.File("two.pdf");
  ASSERT_TRUE(gt_test::WriteFileBytes(file, Bytes(all.begin() + 4, all.end())));
  int status = -1;
  const std::string check = Capture("qpdf --check '" + file + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << check;
  gt_test::Pnm page;
  ASSERT_TRUE(pdf_render::Render(file, 1, page));
  EXPECT_EQ(pdf_render::PlacementError(page, colour.get()), 0);
  ASSERT_TRUE(pdf_render::Render(file, 2, page));
  EXPECT_EQ(pdf_render::PlacementError(page, bilevel.get()), 0);
}

TEST(PdfObjects, NamesStringsAndContainers) {
  struct W {
    std::unique_ptr<TIEPDFObject> Object;
    const char* Text;
  };
  auto dict = std::make_unique<TIEPDFDictionaryObject>();
  dict->Set("A", new TIEPDFNumericObject(1.5));
  dict->Set("B", new TIEPDFBooleanObject(false));
  dict->Set("A", new TIEPDFNumericObject(595));  // replaced in place
  auto arr = std::make_unique<TIEPDFArrayObject>();
  arr->Add(new TIEPDFRefObject(3, 0));
  arr->Add(new TIEPDFNameObject("x"));
  auto stream = std::make_unique<TIEPDFStreamObject>("abc", 3);
  W cases[] = {
      {std::make_unique<TIEPDFNameObject>("a b#c/(d)<e>[f]{g}%h\x80"), "/a#20b#23c#2F#28d#29#3Ce#3E#5Bf#5D#7Bg#7D#25h#80"},
      {std::make_unique<TIEPDFStringObject>("\b\t\n\f\r()\\x"), "(\\b\\t\\n\\f\\r\\(\\)\\\\x)"},
      {std::make_unique<TIEPDFNumericObject>(0.25), "0.25"},
      {std::move(dict), "<< /A 595\n/B false\n>>"},
      {std::move(arr), "[3 0 R /x ]"},
      {std::move(stream), "<< /Length 3\n>>\nstream\nabc\nendstream"},
  };
  for (W& c : cases) {
    TMemoryStream s;
    c.Object->Write(&s);
    EXPECT_EQ(Text(Contents(s)), c.Text);
  }
}

TEST(PdfWriter, SavedThroughTheIOComponentByExtension) {
  ASSERT_TRUE(HaveTool("qpdf")) << "qpdf missing";
  TempDir dir("pdfio");
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Assign(pdf_render::Colour().get());
  io.Params().PDF_COMPRESSION = 5;
  const std::string file = dir.File("saved.pdf");
  io.SaveToFile(Wide(file));
  EXPECT_FALSE(io.Aborting());
  int status = -1;
  Capture("qpdf --check '" + file + "' >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace pdf_tests
