// The PostScript writer: every compression rendered by ghostscript at the
// expected place, the comments a document-structure reader relies on (page
// count, bounding box, data counts), and pages appended to an open document
// that psselect can pick out.
#include <gtest/gtest.h>

#include "imaging/formats/ps.h"
#include "test_pdf_render.h"

using namespace fmt_test;

namespace ps_tests {
namespace {

std::string Text(const Bytes& B) { return std::string(B.begin(), B.end()); }

std::string WriteOne(TIEBitmap* B, TIOParamsVals& P, bool& Aborted) {
  Progress pr;
  TMemoryStream s;
  IEWritePostScript(&s, B, P, pr.Rec);
  Aborted = pr.Aborting;
  return Text(Contents(s));
}

struct Case {
  const char* Name;
  bool Bilevel;
  int Compression;
  int JpegColorSpace;  // -1: the default
  const char* Source;  // a piece of the data source lines
  int Tolerance;
};

const Case kCases[] = {
    {"bilevel run length", true, 0, -1, "/ASCII85Decode filter /RunLengthDecode filter\r\n%%BeginData", 0},
    {"bilevel group 4", true, 1, -1, "<< /K -1 /BlackIs1 true /Columns 100 /Rows 50 ", 0},
    {"bilevel group 3 2-D", true, 2, -1, "<< /K 1 /BlackIs1 true /Columns 100 /Rows 50 ", 0},
    {"bilevel 3 is group 3 2-D", true, 3, -1, "<< /K 1 /BlackIs1 true", 0},
    {"bilevel unknown value is run length", true, 7, -1, "/RunLengthDecode filter\r\n%%BeginData", 0},
    {"colour run length", false, 1, -1, "rstr readstring pop}\r\n{currentfile", 0},
    {"colour other value is run length", false, 0, -1, "true 3\r\n%%BeginData", 0},
    {"colour jpeg", false, 3, -1, "<< >> /DCTDecode filter\r\nfalse 3\r\n", 24},
    // Grey or CMYK settings would give a stream that "false 3" misreads.
    {"colour jpeg asked grey", false, 3, 1, "/DCTDecode filter\r\nfalse 3\r\n", 24},
    {"colour jpeg asked cmyk", false, 3, 3, "/DCTDecode filter\r\nfalse 3\r\n", 24},
};

TEST(PostScriptWriter, EveryCompressionRendersInPlace) {
  ASSERT_TRUE(HaveTool("gs")) << "gs missing";
  TempDir dir("psw");
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    auto bmp = c.Bilevel ? pdf_render::Bilevel() : pdf_render::Colour();
    TIOParamsVals p(nullptr);
    p.PS_PAPERWIDTH = 200;
    p.PS_PAPERHEIGHT = 300;
    p.PS_COMPRESSION = Byte(c.Compression);
    if (c.JpegColorSpace >= 0) p.JPEG_COLORSPACE = Byte(c.JpegColorSpace);
    p.JPEG_QUALITY = 95;
    bool aborted = true;
    const std::string ps = WriteOne(bmp.get(), p, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_NE(ps.find(c.Source), std::string::npos) << ps.substr(0, 800);
    EXPECT_NE(ps.find(c.Bilevel ? " ASCII Bytes\r\nimage\r\n" : " ASCII Bytes\r\ncolorimage\r\n"), std::string::npos);
    const std::string file = dir.File("p.ps");
    ASSERT_TRUE(gt_test::WriteFileBytes(file, Bytes(ps.begin(), ps.end())));
    gt_test::Pnm page;
    ASSERT_TRUE(pdf_render::Render(file, 1, page));
    EXPECT_LE(pdf_render::PlacementError(page, bmp.get()), c.Tolerance);
  }
}

TEST(PostScriptWriter, StructureCommentsAndDataCount) {
  for (bool bilevel : {true, false}) {
    SCOPED_TRACE(bilevel);
    auto bmp = bilevel ? pdf_render::Bilevel() : pdf_render::Colour();
    TIOParamsVals p(nullptr);
    p.PS_TITLE = "Scan";
    bool aborted = true;
    const std::string ps = WriteOne(bmp.get(), p, aborted);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(ps.compare(0, 16, "%!PS-Adobe-3.0\r\n"), 0);
    EXPECT_NE(ps.find("\r\n%%Title: Scan\r\n"), std::string::npos);
    EXPECT_NE(ps.find("\r\n%%Pages: 1     \r\n"), std::string::npos);
    // The picture reaches the paper's far edges, so the box must too.
    EXPECT_NE(ps.find("\r\n%%BoundingBox: 0 0 595 842\r\n"), std::string::npos);
    EXPECT_NE(ps.find("\r\n%%Page: 1 1\r\n0 842 translate\r\n595 -297 scale\r\n100 50 " +
                      std::string(bilevel ? "1" : "8") + "\r\n[ 100 0 0 50 0 0 ]\r\n"),
              std::string::npos);
    const std::string tail = "%%EndData\r\nshowpage\r\n%%Trailer\r\n%%EOF\r\n";
    EXPECT_EQ(ps.substr(ps.size() - tail.size()), tail);
    // Skipping the counted bytes after the "%%BeginData:" line lands on "%%EndData".
    const size_t begin = ps.find("%%BeginData:");
    ASSERT_NE(begin, std::string::npos);
    const size_t count = std::stoul(ps.substr(begin + 12));
    const size_t after = ps.find("\r\n", begin) + 2;
    EXPECT_EQ(ps.compare(after + count, 11, "%%EndData\r\n"), 0);
    // 7-bit clean, every line CR LF.
    for (size_t i = 0; i < ps.size(); ++i) {
      ASSERT_LT(Byte(ps[i]), 128) << i;
      if (ps[i] == '\n') {
        ASSERT_EQ(ps[i - 1], '\r') << i;
      }
    }
  }
}

TEST(PostScriptWriter, AppendedPageCountsAndSelects) {
  ASSERT_TRUE(HaveTool("gs") && HaveTool("psselect")) << "gs or psselect missing";
  auto colour = pdf_render::Colour();
  auto bilevel = pdf_render::Bilevel();
  TIOParamsVals p(nullptr);
  p.PS_PAPERWIDTH = 200;
  p.PS_PAPERHEIGHT = 300;
  Progress pr;
  TMemoryStream s;
  auto st = IEStartPostScript(&s, p);
  ASSERT_NE(st, nullptr);
  IEPostScriptAddPage(*st, &s, colour.get(), p, pr.Rec);
  IEPostScriptAddPage(*st, &s, bilevel.get(), p, pr.Rec);
  IEFinishPostScript(st, &s, pr.Rec);
  EXPECT_FALSE(pr.Aborting);
  EXPECT_EQ(st, nullptr);
  const std::string ps = Text(Contents(s));
  EXPECT_NE(ps.find("\r\n%%Pages: 2     \r\n"), std::string::npos);
  EXPECT_NE(ps.find("\r\n%%Page: 2 2\r\n"), std::string::npos);
  EXPECT_EQ(ps.find("%%Trailer"), ps.rfind("%%Trailer"));
  TempDir dir("ps2");
  const std::string file = dir.File("two.ps"), second = dir.File("second.ps");
  ASSERT_TRUE(gt_test::WriteFileBytes(file, Bytes(ps.begin(), ps.end())));
  ASSERT_EQ(gt_test::Shell("psselect -q -p2 '" + file + "' '" + second + "' 2>/dev/null"), 0);
  gt_test::Pnm page;
  ASSERT_TRUE(pdf_render::Render(second, 1, page));
  EXPECT_EQ(pdf_render::PlacementError(page, bilevel.get()), 0);
  ASSERT_TRUE(pdf_render::Render(file, 1, page));
  EXPECT_EQ(pdf_render::PlacementError(page, colour.get()), 0);
}

}  // namespace
}  // namespace ps_tests
