// The PCX and DCX codecs: every plane layout decoded as ImageMagick decodes
// it, runs that cross line ends, short lines and short files, the writer's
// run coding and layouts read back by Pillow and ImageMagick, and DCX page
// insertion and reading.
#include <gtest/gtest.h>

#include "formats_test_util.h"
#include "imaging/formats/dcx.h"
#include "imaging/formats/pcx.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"

namespace test_pcx_tests {

using namespace fmt_test;

namespace {

struct PcxSpec {
  const char* Name;
  int Bits, Planes, W, H;
  bool EndMarker;  // 0x0C before an end palette
};

Bytes Header(int Bits, int Planes, int W, int H, int Bpl, int Encoding, int DpiX = 72, int DpiY = 72) {
  Bytes h(128, 0);
  h[0] = 10;
  h[1] = 5;
  h[2] = Byte(Encoding);
  h[3] = Byte(Bits);
  gt_test::PutU16(h, 8, uint16_t(W - 1));
  gt_test::PutU16(h, 10, uint16_t(H - 1));
  gt_test::PutU16(h, 12, uint16_t(DpiX));
  gt_test::PutU16(h, 14, uint16_t(DpiY));
  gt_test::Lcg g(7);
  for (int i = 3; i < 48; ++i) h[16 + i] = Byte(g.Next());
  h[65] = Byte(Planes);
  gt_test::PutU16(h, 66, uint16_t(Bpl));
  h[68] = 1;
  return h;
}

// Raw lines of a spec and the same lines run-coded as one stream whose runs
// ignore line ends.
void MakePcx(const PcxSpec& S, Bytes& Raw, Bytes& Crossing) {
  const int need = S.Bits == 8 ? S.W : (S.W * S.Bits + 7) / 8;
  const int bpl = (need + 1) & ~1;
  Bytes lines;
  gt_test::Lcg g(S.W * 3 + S.Bits);
  for (int i = 0; i < bpl * S.Planes * S.H; ++i) lines.push_back(Byte((g.Next() >> 20) < 6 ? 0xC7 : (i / 5) * 3));
  Bytes runs;
  for (size_t i = 0; i < lines.size();) {
    size_t n = 1;
    while (i + n < lines.size() && n < 63 && lines[i + n] == lines[i]) ++n;
    if (n > 1 || lines[i] >= 0xC0) {
      runs.push_back(Byte(0xC0 | n));
      runs.push_back(lines[i]);
    } else {
      runs.push_back(lines[i]);
    }
    i += n;
  }
  runs.insert(runs.begin(), {0xC0, 0x55});  // a run of nothing
  Bytes tail;
  if (S.Bits == 8 && S.Planes == 1) {
    if (S.EndMarker) tail.push_back(0x0C);
    for (int i = 0; i < 768; ++i) tail.push_back(Byte(i * 7));
  }
  Raw = Header(S.Bits, S.Planes, S.W, S.H, bpl, 0);
  AddBytes(Raw, lines);
  AddBytes(Raw, tail);
  Crossing = Header(S.Bits, S.Planes, S.W, S.H, bpl, 1);
  AddBytes(Crossing, runs);
  AddBytes(Crossing, tail);
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
};

void ReadPcx(Read& R, const Bytes& File) {
  TMemoryStream s;
  Fill(s, File);
  IEReadPCX(&s, &R.B, R.P, int64_t(File.size()), R.Pr.Rec, false);
}

TEST(PcxReader, LayoutsAndRunsAcrossLines) {
  const PcxSpec cases[] = {
      {"1x1", 1, 1, 21, 4, false}, {"4x1", 4, 1, 9, 3, false},  {"8x1 without 0x0C", 8, 1, 7, 3, false},
      {"8x1", 8, 1, 8, 2, true},   {"8x3", 8, 3, 5, 4, false},  {"1x4", 1, 4, 19, 3, false},
  };
  TempDir dir("pcx");
  for (const PcxSpec& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes raw, crossing;
    MakePcx(c, raw, crossing);
    Read a, b;
    ReadPcx(a, raw);
    ReadPcx(b, crossing);
    ASSERT_FALSE(a.Pr.Aborting);
    ASSERT_FALSE(b.Pr.Aborting);
    EXPECT_EQ(ToRgb(&a.B), ToRgb(&b.B)) << "runs across line ends decode as the plain lines";
    // The peers want the 0x0C marker: they get the file with it.
    Bytes marked = raw;
    if (c.Bits == 8 && c.Planes == 1 && !c.EndMarker) marked.insert(marked.end() - 768, 0x0C);
    const std::string path = dir.File("a.pcx");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, marked));
    // One-bit files: ImageMagick colours the bits from the header palette;
    // the reader gives each set bit as white.
    Rgb want;
    if (c.Bits == 1 && c.Planes == 1) {
      want.W = c.W;
      want.H = c.H;
      const size_t bpl = size_t(((c.W + 7) / 8 + 1) & ~1);
      for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x) {
          const Byte v = (raw[128 + bpl * y + size_t(x / 8)] & (0x80 >> (x % 8))) ? 255 : 0;
          want.Pixels.insert(want.Pixels.end(), {v, v, v});
        }
    } else {
      want = MagickRgb(path);
    }
    ASSERT_EQ(want.W, c.W);
    EXPECT_EQ(ToRgb(&a.B).Pixels, want.Pixels);
  }
}

TEST(PcxReader, ShortLinesShortFilesAndResolution) {
  // Bytes per line below what the row needs: the rest of the row reads 0.
  Bytes f = Header(8, 3, 6, 2, 2, 0);
  for (int i = 0; i < 12; ++i) f.push_back(Byte(100 + i));
  Read r;
  ReadPcx(r, f);
  ASSERT_FALSE(r.Pr.Aborting);
  EXPECT_EQ(r.B.GetPixelTriple(0, 0), (TRGB{104, 102, 100}));
  EXPECT_EQ(r.B.GetPixelTriple(5, 1), (TRGB{0, 0, 0}));
  // An 8-bit file too short for an end palette, and a cut run.
  Bytes small = Header(8, 1, 4, 4, 4, 1);
  small.insert(small.end(), {0xC5, 9, 0xFF});
  Read s;
  ReadPcx(s, small);
  EXPECT_FALSE(s.Pr.Aborting);
  EXPECT_EQ(s.B.Width(), 4);
  // 300 dpi across and 0 down: both take the default.
  Read d;
  ReadPcx(d, Header(1, 1, 8, 1, 2, 0, 300, 0));
  EXPECT_EQ(d.P.DPIX, IEDefaultDpiX);
  EXPECT_EQ(d.P.DPIY, IEDefaultDpiY);
  const Bytes bad[] = {Header(9, 1, 4, 4, 4, 1), Header(8, 1, 4, 4, 4, 2), Bytes(60, 10)};
  for (const Bytes& b : bad) {
    Read x;
    ReadPcx(x, b);
    EXPECT_TRUE(x.Pr.Aborting);
  }
  Bytes negative = Header(8, 1, 4, 4, 4, 1);
  gt_test::PutU16(negative, 4, 50);  // Xmin past Xmax
  Read n;
  ReadPcx(n, negative);
  EXPECT_TRUE(n.Pr.Aborting);
}

Bytes WritePcx(TIEBitmap* B, TIOParamsVals& P) {
  TMemoryStream s;
  Progress pr;
  IEWritePCX(&s, B, P, pr.Rec);
  EXPECT_FALSE(pr.Aborting);
  return Contents(s);
}

TEST(PcxWriter, RunCoding) {
  // One grey row through 8 bits: the quantizer keeps the exact colours, so
  // the indexes are the colours' order of appearance.
  struct Case {
    const char* Name;
    std::vector<Byte> Greys;  // pixel values; index i is the i-th new value
    Bytes Coded;
  } cases[] = {
      {"100 equal", std::vector<Byte>(100, 7), {0xFF, 0, 0xE5, 0}},
      {"odd width pads a literal 0", {1, 2, 3}, {0, 1, 2, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b(Integer(c.Greys.size()), 1, ie24RGB);
    for (size_t x = 0; x < c.Greys.size(); ++x) b.SetPixelRGB(Integer(x), 0, TRGB{c.Greys[x], c.Greys[x], Byte(c.Greys[x] + 1)});
    TIOParamsVals p(nullptr);
    p.SAMPLESPERPIXEL = 1;
    p.BITSPERSAMPLE = 8;
    const Bytes f = WritePcx(&b, p);
    ASSERT_GT(f.size(), 128u + 769u);
    EXPECT_EQ(Bytes(f.begin() + 128, f.end() - 769), c.Coded);
    EXPECT_EQ(f[f.size() - 769], 0x0C);
  }
  // A single byte of 0xC5 in a 24-bit line is written as a run of one.
  TIEBitmap one(1, 1, ie24RGB);
  one.SetPixelRGB(0, 0, TRGB{1, 2, 0xC5});
  TIOParamsVals p(nullptr);
  p.SAMPLESPERPIXEL = 4;
  const Bytes f = WritePcx(&one, p);
  EXPECT_EQ(p.SAMPLESPERPIXEL, 3);
  EXPECT_EQ(f[65], 3);
  EXPECT_EQ(Bytes(f.begin() + 128, f.begin() + 132), (Bytes{0xC1, 0xC5, 0, 2}));
}

TEST(PcxWriter, LayoutsReadBackInThePeers) {
  struct Case {
    const char* Name;
    int Bps, Spp, Colors;
    bool Compressed;
    int FileBits, FilePlanes;
  } cases[] = {
      {"24", 8, 3, 0, true, 8, 3},       {"24 raw", 8, 3, 0, false, 8, 3},  {"8", 8, 1, 150, true, 8, 1},
      {"4", 4, 1, 16, true, 4, 1},       {"1", 1, 1, 2, true, 1, 1},        {"2 bits as 4", 2, 1, 4, true, 4, 1},
      {"48 bits as 24", 16, 3, 0, true, 8, 3},
  };
  TempDir dir("pcxw");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto src = c.Colors ? FewColors(23, 5, c.Colors) : ManyColors(23, 5);
    // The peers show one-bit files in black and white whatever the header says.
    if (c.Bps == 1) {
      ASSERT_TRUE(src->ConvertToPixelFormat(ie1g));
    }
    TIOParamsVals p(nullptr);
    p.BITSPERSAMPLE = c.Bps;
    p.SAMPLESPERPIXEL = c.Spp;
    p.PCX_COMPRESSION = c.Compressed;
    const Bytes f = WritePcx(src.get(), p);
    EXPECT_EQ(f[3], c.FileBits);
    EXPECT_EQ(f[65], c.FilePlanes);
    const std::string path = dir.File("w.pcx");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
    const Rgb want = ToRgb(src.get());
    // Pillow reads run-length files only, and no 16-colour single plane.
    if (c.Compressed && c.FileBits != 4) {
      EXPECT_EQ(PillowRgb(path).Pixels, want.Pixels) << "Pillow";
    }
    if (c.FileBits != 1) {
      EXPECT_EQ(MagickRgb(path).Pixels, want.Pixels) << "ImageMagick";
    }
    if (c.FileBits != 1) {
      Read r;
      ReadPcx(r, f);
      EXPECT_EQ(ToRgb(&r.B), want);
    }
  }
}

Bytes Dcx(const std::vector<Bytes>& Pages) {
  Bytes f;
  Add32(f, 987654321u);
  uint32_t at = uint32_t(4 + 4 * (Pages.size() + 1));
  for (const Bytes& p : Pages) {
    Add32(f, at);
    at += uint32_t(p.size());
  }
  Add32(f, 0);
  for (const Bytes& p : Pages) AddBytes(f, p);
  return f;
}

TEST(Dcx, InsertAndReadPages) {
  std::vector<Bytes> pages;
  for (int i = 0; i < 3; ++i) {
    auto b = FewColors(5 + i, 3, 2 + i, 20 + i);
    TIOParamsVals p(nullptr);
    pages.push_back(WritePcx(b.get(), p));
  }
  const Bytes file = Dcx(pages);
  auto fresh = FewColors(9, 2, 3, 99);
  struct Case {
    Integer Index;
    bool Aborts;
    std::vector<int> Widths;  // pages after the insertion
  } cases[] = {{1, false, {5, 9, 6, 7}}, {3, false, {5, 6, 7, 9}}, {0, false, {9, 5, 6, 7}}, {5, true, {5, 6, 7}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Index);
    TMemoryStream s;
    Fill(s, file);
    TIOParamsVals p(nullptr);
    p.DCX_IMAGEINDEX = c.Index;
    Progress pr;
    IEWriteDCX(&s, fresh.get(), p, pr.Rec);
    EXPECT_EQ(bool(pr.Aborting), c.Aborts);
    s.SetPosition(0);
    ASSERT_EQ(IECountDCXPages(&s), Integer(c.Widths.size()));
    for (size_t i = 0; i < c.Widths.size(); ++i) {
      TIEBitmap b;
      TIOParamsVals rp(nullptr);
      rp.SetImageIndex(Integer(i));
      Progress rpr;
      s.SetPosition(0);
      IEReadDCXPage(&s, &b, rp, rpr.Rec, false);
      ASSERT_FALSE(rpr.Aborting);
      EXPECT_EQ(b.Width(), c.Widths[i]);
      if (c.Widths[i] == 9) {
        EXPECT_EQ(ToRgb(&b), ToRgb(fresh.get()));
      }
    }
  }
  // Page 7 of three reads page 2 and says so.
  TMemoryStream s;
  Fill(s, file);
  TIEBitmap b;
  TIOParamsVals p(nullptr);
  p.SetImageIndex(7);
  Progress pr;
  IEReadDCXPage(&s, &b, p, pr.Rec, false);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(p.DCX_IMAGEINDEX, 2);
  EXPECT_EQ(b.Width(), 7);
  // An offset past the end is no DCX.
  Bytes bad = file;
  gt_test::PutU32(bad, 8, uint32_t(bad.size()));
  Fill(s, bad);
  EXPECT_FALSE(IEProbeDCX(&s));
}

TEST(PcxCompanion, FileStreamAndBufferPaths) {
  IEBuildFormatRegistry();
  auto src = ManyColors(15, 6);
  TempDir dir("pcxio");
  for (const char* name : {"a.pcx", "b.dcx"}) {
    SCOPED_TRACE(name);
    const std::string path = dir.File(name);
    TZiduzUvIO out(nullptr);
    out.AttachIEBitmap(src.get());
    out.SaveToFile(Wide(path));
    ASSERT_FALSE(out.Aborting());
    TZiduzUvIO in(nullptr);
    in.LoadFromFile(Wide(path));
    ASSERT_FALSE(in.Aborting());
    EXPECT_EQ(ToRgb(in.IEBitmap()), ToRgb(src.get()));
    const Bytes bytes = gt_test::ReadFileBytes(path);
    TZiduzUvIO fromBuffer(nullptr);
    fromBuffer.LoadFromBuffer(bytes.data(), Integer(bytes.size()), 0);
    ASSERT_FALSE(fromBuffer.Aborting());
    EXPECT_EQ(ToRgb(fromBuffer.IEBitmap()), ToRgb(src.get()));
    EXPECT_EQ(fromBuffer.Params().FILETYPE, std::string(name) == "a.pcx" ? ieftPCX : ieftDCX);
  }
  IEFreeFormatRegistry();
}

}  // namespace

}  // namespace test_pcx_tests
