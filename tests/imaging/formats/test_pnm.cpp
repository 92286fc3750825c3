// The PNM and WBMP codecs: header tokens and comments, samples scaled by any
// maxval, files of every kind that netpbm makes decoded as ImageMagick
// decodes them, the writer's rules and the pictures it must convert first,
// WBMP at sizes past 255, and the companion's paths.
#include <gtest/gtest.h>

#include "formats_test_util.h"
#include "imaging/formats/pnm.h"
#include "imaging/formats/wbmp.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/strutils.h"
#include "tests/support/pnm.h"
#include "tests/support/pnm_bitmap.h"

namespace test_pnm_tests {

using namespace fmt_test;

namespace {

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
};

void ReadPnmBytes(Read& R, const std::string& File, bool Native = false) {
  TMemoryStream s;
  Fill(s, Bytes(File.begin(), File.end()));
  R.P.ISNATIVEPIXELFORMAT = Native;
  IEReadPNM(&s, &R.B, R.P, R.Pr.Rec, false);
}

std::string Bin(std::initializer_list<int> V) {
  std::string s;
  for (int v : V) s.push_back(char(v));
  return s;
}

// Header forms and sample scaling. Greys are listed per pixel, top row first.
TEST(PnmReader, HeadersAndSamples) {
  struct Case {
    const char* Name;
    std::string File;
    int W, H;
    std::vector<int> Grey;  // the green channel of each pixel
    std::vector<std::string> Comments;
  } cases[] = {
      {"comment between every token", "P2\n# one\n2\n#  two  \n1\n# three\n4\n0 4", 2, 1, {0, 255}, {"one", "two", "three"}},
      {"number ended by #", "P2\n2#3\n4 1 2 3 4 5 6", 2, 3, {63, 127, 191, 255, 255, 255}, {}},
      {"P5 maxval 100 truncates", "P5 3 1 100\n" + Bin({100, 50, 1}), 3, 1, {255, 127, 2}, {}},
      {"P1 digits without separators", "P1 3 2\n010110", 3, 2, {255, 0, 255, 0, 0, 255}, {}},
      {"P2 sample above maxval clamps", "P2 2 1 10 5 99", 2, 1, {127, 255}, {}},
      {"P6 maxval 4095 scaled", "P6 1 1 4095\n" + Bin({0x0F, 0xFF, 0x08, 0x00, 0x00, 0x01}), 1, 1, {127}, {}},
      {"P6 maxval 15 scaled", "P6 2 1 15\n" + Bin({15, 15, 15, 0, 7, 0}), 2, 1, {255, 119}, {}},
      {"P5 16-bit full scale keeps the high byte", "P5 2 1 65535\n" + Bin({0x80, 0x00, 0xFF, 0xFF}), 2, 1, {128, 255}, {}},
      {"P4 rows", "P4 10 2\n" + Bin({0x80, 0x40, 0xFF, 0xFF}), 10, 2, {0, 255, 255, 255, 255, 255, 255, 255, 255, 0,
                                                                      0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}},
      {"short data leaves the rest black", "P5 2 2 255\n" + Bin({9, 8, 7}), 2, 2, {9, 8, 7, 0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Read r;
    ReadPnmBytes(r, c.File);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.B.Width(), c.W);
    ASSERT_EQ(r.B.Height(), c.H);
    std::vector<int> got;
    for (Integer y = 0; y < c.H; ++y)
      for (Integer x = 0; x < c.W; ++x) {
        TRGB p;
        r.B.GetPixelAsRGB(x, y, p);
        got.push_back(p.g);
      }
    EXPECT_EQ(got, c.Grey);
    std::vector<std::string> comments;
    for (Integer i = 0; i < r.P.PNM_COMMENTS.Count(); ++i) comments.push_back(WideToAnsi(r.P.PNM_COMMENTS.Strings(i)));
    EXPECT_EQ(comments, c.Comments);
  }
}

TEST(PnmReader, MalformedHeadersFail) {
  const char* cases[] = {"P7 1 1 255\n\x01", "P5 0 3 255\n", "P5 2 2 0\n\x01\x01\x01\x01",
                         "P5 2 2 70000\n", "P6 2 2", "P3 2 x 255", "P5 99999999999 9 255\n", ""};
  for (const char* c : cases) {
    SCOPED_TRACE(c);
    Read r;
    ReadPnmBytes(r, c);
    EXPECT_TRUE(r.Pr.Aborting);
  }
}

TEST(PnmReader, NativeSixteenBitsScaledToFullWords) {
  Read r;
  ReadPnmBytes(r, "P5 2 1 4095\n" + Bin({0x0F, 0xFF, 0x08, 0x00}), true);
  ASSERT_FALSE(r.Pr.Aborting);
  ASSERT_EQ(r.B.PixelFormat(), ie16g);
  EXPECT_EQ(r.B.GetPixelWord(0, 0), 65535);
  EXPECT_EQ(r.B.GetPixelWord(1, 0), 2048 * 65535 / 4095);
  EXPECT_EQ(r.P.BITSPERSAMPLE, 16);
}

// What netpbm makes, in every kind and in plain form, we decode as
// ImageMagick does.
TEST(PnmReader, NetpbmFilesDecodeLikeImageMagick) {
  ASSERT_TRUE(HaveTool("pnmtoplainpnm") && HaveTool("pamdepth") && HaveTool("convert")) << "netpbm and ImageMagick";
  TempDir dir("pnm");
  auto pic = ManyColors(17, 9);
  ASSERT_TRUE(gt_test::WritePnm(dir.File("src.ppm"), *pic));
  const std::string d = dir.Path + "/";
  struct Case {
    const char* Name;
    std::string Command;
  } cases[] = {
      {"P6", "cp " + d + "src.ppm " + d + "out"},
      {"P5", "ppmtopgm " + d + "src.ppm > " + d + "out"},
      {"P4", "ppmtopgm " + d + "src.ppm | pgmtopbm -threshold > " + d + "out"},
      {"P3", "pnmtoplainpnm " + d + "src.ppm > " + d + "out"},
      {"P2", "ppmtopgm " + d + "src.ppm | pnmtoplainpnm > " + d + "out"},
      {"P1", "ppmtopgm " + d + "src.ppm | pgmtopbm -threshold | pnmtoplainpnm > " + d + "out"},
      {"P6 maxval 4095", "pamdepth 4095 " + d + "src.ppm | pamtopnm > " + d + "out"},
      {"P5 maxval 1000", "ppmtopgm " + d + "src.ppm | pamdepth 1000 | pamtopnm > " + d + "out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    ASSERT_EQ(Shell(c.Command + " 2>/dev/null"), 0);
    Read r;
    const Bytes file = gt_test::ReadFileBytes(d + "out");
    ReadPnmBytes(r, std::string(file.begin(), file.end()));
    ASSERT_FALSE(r.Pr.Aborting);
    const Rgb want = MagickRgb(d + "out");
    ASSERT_EQ(want.W, 17);
    const Rgb got = ToRgb(&r.B);
    // ImageMagick rounds where we truncate: allow one step.
    ASSERT_EQ(got.Pixels.size(), want.Pixels.size());
    for (size_t i = 0; i < got.Pixels.size(); ++i) {
      ASSERT_LE(std::abs(got.Pixels[i] - want.Pixels[i]), 1) << "sample " << i;
    }
  }
}

TEST(PnmWriter, RulesAndHeaders) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    int Bps, Spp;
    std::string Head;  // before the size line
    std::string SizeLine;
  } cases[] = {
      {"ie1g to P4", ie1g, 8, 3, "P4 ", "5 3\n"},
      {"bits 1 to P4", ie24RGB, 1, 1, "P4 ", "5 3\n"},
      {"grey to P5", ie24RGB, 8, 1, "P5 ", "5 3 255\n"},
      {"16/3 to P6 65535", ie24RGB, 16, 3, "P6 ", "5 3 65535\n"},
      {"ie48 to P6 65535", ieRGB48, 8, 3, "P6 ", "5 3 65535\n"},
      {"8/3 to P6", ie24RGB, 8, 3, "P6 ", "5 3 255\n"},
      {"ie8g converted to P6", ie8g, 8, 3, "P6 ", "5 3 255\n"},
      {"ie8p converted to P6", ie8p, 8, 3, "P6 ", "5 3 255\n"},
      {"ie16g converted to P6", ie16g, 8, 3, "P6 ", "5 3 255\n"},
  };
  TempDir dir("pnmw");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto rgb = c.Format == ie1g ? FewColors(5, 3, 2) : ManyColors(5, 3);
    TIEBitmap src;
    src.Assign(rgb.get());
    if (c.Format == ie8p) {
      src.Allocate(5, 3, ie8p);
      for (int i = 0; i < 256; ++i) src.SetPaletteColor(i, TRGB{Byte(i), Byte(i / 2), Byte(255 - i)});
      for (Integer y = 0; y < 3; ++y)
        for (Integer x = 0; x < 5; ++x) src.SetPixelByte(x, y, Byte(40 * x + y));
    } else if (c.Format != ie24RGB) {
      ASSERT_TRUE(src.ConvertToPixelFormat(c.Format));
    }
    TIOParamsVals p(nullptr);
    p.BITSPERSAMPLE = c.Bps;
    p.SAMPLESPERPIXEL = c.Spp;
    p.PNM_COMMENTS.Add(u"first");
    p.PNM_COMMENTS.Add(u"second line");
    TMemoryStream s;
    Progress pr;
    IEWritePNM(&s, &src, p, pr.Rec);
    ASSERT_FALSE(pr.Aborting);
    const Bytes out = Contents(s);
    const std::string head = c.Head + "\n# first\n\n# second line\n" + c.SizeLine;
    ASSERT_GE(out.size(), head.size());
    EXPECT_EQ(std::string(out.begin(), out.begin() + head.size()), head);
    const std::string path = dir.File("out.pnm");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, out));
    // Our reader and ImageMagick agree on the file, and it holds the picture.
    Read back;
    ReadPnmBytes(back, std::string(out.begin(), out.end()));
    ASSERT_FALSE(back.Pr.Aborting);
    const Rgb ours = ToRgb(&back.B);
    EXPECT_EQ(MagickRgb(path).Pixels, ours.Pixels);
    TIEBitmap expected;
    expected.Assign(&src);
    if (c.Bps == 1) {
      ASSERT_TRUE(expected.ConvertToPixelFormat(ie1g));
    }
    Rgb want = ToRgb(&expected);
    if (c.Spp == 1 && c.Bps == 8) {
      for (size_t i = 0; i < want.Pixels.size(); i += 3) {
        const int g = (want.Pixels[i] * 21 + want.Pixels[i + 1] * 71 + want.Pixels[i + 2] * 8) / 100;
        want.Pixels[i] = want.Pixels[i + 1] = want.Pixels[i + 2] = Byte(g);
      }
    }
    EXPECT_EQ(ours.Pixels, want.Pixels);
  }
}

TEST(Wbmp, SizesPastTheOneByteRangeAndOracle) {
  struct Case {
    Integer W, H;
    Bytes Head;
  } cases[] = {{300, 100, {0, 0, 0x82, 0x2C, 0x64}}, {200, 3, {0, 0, 0x81, 0x48, 3}}, {7, 5, {0, 0, 7, 5}}};
  TempDir dir("wbmp");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.W);
    auto src = FewColors(c.W, c.H, 2, 9);
    ASSERT_TRUE(src->ConvertToPixelFormat(ie1g));
    TMemoryStream s;
    Progress pr;
    IEWriteWBMP(&s, src.get(), pr.Rec);
    ASSERT_FALSE(pr.Aborting);
    const Bytes out = Contents(s);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + c.Head.size()), c.Head);
    EXPECT_EQ(out.size(), c.Head.size() + size_t((c.W + 7) / 8) * c.H);
    TMemoryStream in;
    Fill(in, out);
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    Progress rp;
    IEReadWBMP(&in, &b, p, rp.Rec, false);
    ASSERT_FALSE(rp.Aborting);
    EXPECT_EQ(ToRgb(&b), ToRgb(src.get()));
    const std::string path = dir.File("a.wbmp");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, out));
    EXPECT_EQ(MagickRgb(path).Pixels, ToRgb(src.get()).Pixels);
  }
  // A multibyte integer of 300 and malformed headers.
  TMemoryStream i;
  Fill(i, {0x82, 0x2C});
  EXPECT_EQ(IEReadWBMPInteger(&i), 300);
  const Bytes bad[] = {{1, 0, 2, 2, 0, 0}, {0, 0, 0, 2, 0, 0}, {0, 0, 0x80, 0x80, 0x80, 0x80, 1, 1}, {0, 0, 8, 200}};
  for (const Bytes& b : bad) {
    TMemoryStream s;
    Fill(s, b);
    TIEBitmap bm;
    TIOParamsVals p(nullptr);
    Progress pr;
    IEReadWBMP(&s, &bm, p, pr.Rec, false);
    EXPECT_TRUE(pr.Aborting);
  }
}

TEST(PnmCompanion, FileStreamAndBufferPaths) {
  IEBuildFormatRegistry();
  auto src = ManyColors(11, 6);
  TempDir dir("pnmio");
  for (const char* name : {"a.ppm", "b.wbmp"}) {
    SCOPED_TRACE(name);
    const bool wbmp = std::string(name) == "b.wbmp";
    TIEBitmap pic;
    pic.Assign(src.get());
    if (wbmp) {
      ASSERT_TRUE(pic.ConvertToPixelFormat(ie1g));
    }
    const std::string path = dir.File(name);
    TZiduzUvIO out(nullptr);
    out.AttachIEBitmap(&pic);
    out.SaveToFile(Wide(path));
    ASSERT_FALSE(out.Aborting());
    TZiduzUvIO in(nullptr);
    in.LoadFromFile(Wide(path));
    ASSERT_FALSE(in.Aborting());
    EXPECT_EQ(ToRgb(in.IEBitmap()), ToRgb(&pic));
    const TIEFileType type = wbmp ? ieftWBMP : ieftPXM;
    TMemoryStream s;
    out.SaveToStream(&s, type);
    ASSERT_FALSE(out.Aborting());
    const Bytes bytes = Contents(s);
    EXPECT_EQ(bytes, gt_test::ReadFileBytes(path));
    TZiduzUvIO fromBuffer(nullptr);
    fromBuffer.LoadFromBuffer(bytes.data(), Integer(bytes.size()), type);
    ASSERT_FALSE(fromBuffer.Aborting());
    EXPECT_EQ(ToRgb(fromBuffer.IEBitmap()), ToRgb(&pic));
  }
  IEFreeFormatRegistry();
}

}  // namespace

}  // namespace test_pnm_tests
