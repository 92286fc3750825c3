// The JPEG 2000 codec against OpenJPEG's own tools: files opj_compress made
// from samples we chose read as opj_decompress reads them (reduced to 8 bits),
// and what we write opj_decompress reads back and opj_dump describes as we
// asked. Then the load and save methods of the companion, and hostile input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "codec_test_util.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/io/iejpeg2000.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/sysutils.h"
#include <cstring>

namespace jpeg2000_tests {
namespace {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

bool HaveOpj() { return HaveTool("opj_compress") && HaveTool("opj_decompress") && HaveTool("opj_dump"); }

// Deterministic samples below MaxVal + 1.
std::vector<int> Samples(size_t Count, int MaxVal, uint32_t Seed) {
  std::vector<int> v(Count);
  for (size_t i = 0; i < Count; ++i) {
    Seed = Seed * 1664525u + 1013904223u;
    v[i] = static_cast<int>((Seed >> 8) % (uint32_t(MaxVal) + 1));
  }
  return v;
}

// Interleaved samples as a PNM (1 or 3 channels) or a PAM with alpha (4);
// precisions below 8, which opj_compress takes only from raw planes, as one
// byte a sample with Args telling their layout.
void WriteInput(const std::string& Path, int W, int H, int Channels, int MaxVal, const std::vector<int>& S,
                std::string& Args) {
  if (MaxVal < 255) {
    int prec = 0;
    for (int m = MaxVal; m; m >>= 1) ++prec;
    Bytes b;
    for (int c = 0; c < Channels; ++c)
      for (int i = 0; i < W * H; ++i) b.push_back(Byte(S[size_t(i * Channels + c)]));
    io_test::WriteFile(Path, b);
    Args = " -F " + std::to_string(W) + "," + std::to_string(H) + "," + std::to_string(Channels) + "," +
           std::to_string(prec) + ",u" + Args;
    return;
  }
  if (Channels != 4) {
    ASSERT_TRUE(gt_test::WritePnmSamples(Path, W, H, Channels, MaxVal, S));
    return;
  }
  std::string head = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) +
                     "\nDEPTH 4\nMAXVAL " + std::to_string(MaxVal) + "\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  Bytes b(head.begin(), head.end());
  for (int v : S) b.push_back(Byte(v));
  io_test::WriteFile(Path, b);
}

// opj_decompress's planar raw output of a picture whose components all have
// the full size: Comps planes of W x H samples, 1 byte each up to 8 bits,
// else 2 bytes little-endian.
std::vector<std::vector<int>> OracleDecode(const std::string& File, const std::string& Raw, int W, int H,
                                           int Comps, int Prec) {
  std::vector<std::vector<int>> planes;
  if (Shell("opj_decompress -i '" + File + "' -o '" + Raw + "' >/dev/null 2>&1") != 0) return planes;
  const Bytes b = io_test::ReadFile(Raw);
  const size_t bytes = Prec > 8 ? 2 : 1;
  if (b.size() != size_t(W) * size_t(H) * size_t(Comps) * bytes) return planes;
  size_t at = 0;
  planes.resize(size_t(Comps));
  for (auto& p : planes)
    for (int i = 0; i < W * H; ++i, at += bytes) p.push_back(bytes == 2 ? (b[at] | b[at + 1] << 8) : b[at]);
  return planes;
}

// The top 8 bits of a Prec-bit sample, as the picture shows it.
int Top8(int V, int Prec) { return Prec >= 8 ? V >> (Prec - 8) : V << (8 - Prec); }

struct Decoded {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  Progress P;
};

void ReadBytes(Decoded& D, const Bytes& File, bool Preview = false) {
  TMemoryStream s;
  io_test::Fill(s, File);
  IEReadJPEG2000(&s, &D.Bitmap, D.Params, D.P.Rec, Preview);
}

// Blue, green, red of pixel (x, y) of an ie24RGB picture.
const Byte* Px(TIEBitmap& B, int X, int Y) { return static_cast<const Byte*>(B.GetScanline(Y)) + 3 * X; }
bool Bit(TIEBitmap& B, int X, int Y) { return (static_cast<const Byte*>(B.GetScanline(Y))[X >> 3] >> (7 - (X & 7))) & 1; }

// ---------------------------------------------------------------------------
// Reading what OpenJPEG wrote

struct TReadCase {
  const char* Name;
  int Channels;    // of the input: 1, 3, or 4 (RGB and alpha)
  int MaxVal;      // of the input, giving the precision
  const char* Ext;  // ".jp2" or ".j2k"
  const char* Args;  // further opj_compress options
};

class Jpeg2000Read : public ::testing::TestWithParam<TReadCase> {};

TEST_P(Jpeg2000Read, PixelsAsOpenJpegDecodesThem) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  const TReadCase& c = GetParam();
  TempDir dir;
  const int W = 40, H = 33;  // opj_compress refuses raw 1-bit rows of odd width
  int prec = 0;
  for (int m = c.MaxVal; m; m >>= 1) ++prec;
  const std::string in = dir.File(c.MaxVal < 255 ? "in.raw" : c.Channels == 4 ? "in.pam" : c.Channels == 3 ? "in.ppm" : "in.pgm");
  const std::string out = dir.File(std::string("a") + c.Ext);
  std::string args = std::string(" ") + c.Args;
  WriteInput(in, W, H, c.Channels, c.MaxVal, Samples(size_t(W) * H * c.Channels, c.MaxVal, 7), args);
  ASSERT_EQ(Shell("opj_compress -i '" + in + "' -o '" + out + "'" + args + " >/dev/null 2>&1"), 0);
  const auto planes = OracleDecode(out, dir.File("o.raw"), W, H, c.Channels, prec);
  ASSERT_EQ(planes.size(), size_t(c.Channels));

  Decoded d;
  ReadBytes(d, io_test::ReadFile(out));
  ASSERT_FALSE(d.P.Aborting);
  EXPECT_EQ(d.Params.WIDTH, W);
  EXPECT_EQ(d.Params.HEIGHT, H);
  EXPECT_EQ(d.Params.BITSPERSAMPLE, prec);
  EXPECT_EQ(d.Params.SAMPLESPERPIXEL, c.Channels == 1 ? 1 : 3);
  EXPECT_EQ(d.Params.IMAGECOUNT, 1);
  ASSERT_EQ(d.Bitmap.Width(), W);
  ASSERT_EQ(d.Bitmap.Height(), H);
  if (prec == 1) {
    ASSERT_EQ(d.Bitmap.PixelFormat(), ie1g);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) ASSERT_EQ(Bit(d.Bitmap, x, y), planes[0][size_t(y * W + x)] != 0) << x << "," << y;
    return;
  }
  ASSERT_EQ(d.Bitmap.PixelFormat(), ie24RGB);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = size_t(y * W + x);
      const Byte* p = Px(d.Bitmap, x, y);
      if (c.Channels == 1) {
        const int g = Top8(planes[0][i], prec);
        ASSERT_TRUE(p[0] == g && p[1] == g && p[2] == g) << x << "," << y << ": " << int(p[0]) << " vs " << g;
      } else {
        ASSERT_EQ(p[2], Top8(planes[0][i], prec)) << x << "," << y;
        ASSERT_EQ(p[1], Top8(planes[1][i], prec)) << x << "," << y;
        ASSERT_EQ(p[0], Top8(planes[2][i], prec)) << x << "," << y;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Jpeg2000Read,
    ::testing::Values(TReadCase{"grey1", 1, 1, ".j2k", ""}, TReadCase{"grey4", 1, 15, ".jp2", ""},
                      TReadCase{"grey8", 1, 255, ".jp2", ""}, TReadCase{"grey12", 1, 4095, ".j2k", ""},
                      TReadCase{"grey16", 1, 65535, ".jp2", ""}, TReadCase{"rgb8", 3, 255, ".jp2", ""},
                      TReadCase{"rgb8_codestream", 3, 255, ".j2k", ""}, TReadCase{"rgb16", 3, 65535, ".j2k", ""},
                      TReadCase{"rgb_alpha", 4, 255, ".jp2", ""},
                      // Lossy: the pixels are OpenJPEG's decode, not the input.
                      TReadCase{"rgb8_lossy_tiles", 3, 255, ".jp2", "-I -r 20 -t 16,16 -n 3 -p RPCL"}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Jpeg2000Read, ReductionOfSmallPrecisionsIsAShiftNotAScale) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  // 12-bit 4095 -> 255, 2048 -> 128; 4-bit 15 -> 240, 1 -> 16.
  struct Case {
    int MaxVal;
    int Values[2];
    int Expect[2];
  } cases[] = {{4095, {4095, 2048}, {255, 128}}, {15, {15, 1}, {240, 16}}};
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<int> s(32 * 32);
    for (size_t i = 0; i < s.size(); ++i) s[i] = c.Values[i & 1];
    const std::string in = dir.File(c.MaxVal < 255 ? "g.raw" : "g.pgm");
    std::string args;
    WriteInput(in, 32, 32, 1, c.MaxVal, s, args);
    ASSERT_EQ(Shell("opj_compress -i '" + in + "' -o '" + dir.File("g.j2k") + "'" + args + " >/dev/null 2>&1"), 0);
    Decoded d;
    ReadBytes(d, io_test::ReadFile(dir.File("g.j2k")));
    ASSERT_FALSE(d.P.Aborting);
    EXPECT_EQ(Px(d.Bitmap, 0, 0)[0], c.Expect[0]) << c.MaxVal;
    EXPECT_EQ(Px(d.Bitmap, 1, 0)[0], c.Expect[1]) << c.MaxVal;
  }
}

// Raw planes through opj_compress -F: a 4:2:0 YCbCr code stream, signed grey
// and two unnamed components.
TEST(Jpeg2000Read, RawCodeStreamsTakeTheirColourFromTheirLayout) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  TempDir dir;
  const int W = 36, H = 32;
  {
    SCOPED_TRACE("4:2:0 YCbCr");
    const std::vector<int> y = Samples(W * H, 255, 3), cb = Samples(W * H / 4, 255, 4), cr = Samples(W * H / 4, 255, 5);
    Bytes raw;
    for (const auto* p : {&y, &cb, &cr})
      for (int v : *p) raw.push_back(Byte(v));
    io_test::WriteFile(dir.File("yuv.raw"), raw);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("yuv.raw") + "' -o '" + dir.File("yuv.j2k") +
                    "' -F 36,32,3,8,u@1x1:2x2:2x2 >/dev/null 2>&1"),
              0);
    Decoded d;
    ReadBytes(d, io_test::ReadFile(dir.File("yuv.j2k")));
    ASSERT_FALSE(d.P.Aborting);
    ASSERT_EQ(d.Bitmap.Width(), W);
    ASSERT_EQ(d.Bitmap.Height(), H);
    auto clamp = [](double v) { return int(std::lround(std::min(255.0, std::max(0.0, v)))); };
    for (int yy = 0; yy < H; ++yy)
      for (int x = 0; x < W; ++x) {
        // Each chroma sample covers two by two pixels.
        const double Y = y[size_t(yy * W + x)], Cb = cb[size_t((yy / 2) * (W / 2) + x / 2)] - 128.0,
                     Cr = cr[size_t((yy / 2) * (W / 2) + x / 2)] - 128.0;
        const Byte* p = Px(d.Bitmap, x, yy);
        ASSERT_NEAR(p[2], clamp(Y + 1.402 * Cr), 1) << x << "," << yy;
        ASSERT_NEAR(p[1], clamp(Y - 0.714136 * Cr - 0.344136 * Cb), 1) << x << "," << yy;
        ASSERT_NEAR(p[0], clamp(Y + 1.772 * Cb), 1) << x << "," << yy;
      }
  }
  {
    SCOPED_TRACE("signed grey");
    const std::vector<int> s = Samples(W * H, 255, 9);
    Bytes raw;
    for (int v : s) raw.push_back(Byte(v));  // two's complement: -128..127
    io_test::WriteFile(dir.File("s.raw"), raw);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("s.raw") + "' -o '" + dir.File("s.j2k") +
                    "' -F 36,32,1,8,s >/dev/null 2>&1"),
              0);
    Decoded d;
    ReadBytes(d, io_test::ReadFile(dir.File("s.j2k")));
    ASSERT_FALSE(d.P.Aborting);
    for (int i = 0; i < W * H; ++i) {
      const int v = static_cast<int8_t>(s[size_t(i)]);
      ASSERT_EQ(Px(d.Bitmap, i % W, i / W)[0], v + 128) << i;
    }
  }
  {
    SCOPED_TRACE("two components: grey from the first");
    const std::vector<int> s = Samples(W * H * 2, 255, 11);
    Bytes raw;
    for (int v : s) raw.push_back(Byte(v));
    io_test::WriteFile(dir.File("two.raw"), raw);
    ASSERT_EQ(Shell("opj_compress -i '" + dir.File("two.raw") + "' -o '" + dir.File("two.j2k") +
                    "' -F 36,32,2,8,u >/dev/null 2>&1"),
              0);
    Decoded d;
    ReadBytes(d, io_test::ReadFile(dir.File("two.j2k")));
    ASSERT_FALSE(d.P.Aborting);
    EXPECT_EQ(d.Params.SAMPLESPERPIXEL, 1);
    for (int i = 0; i < W * H; ++i) ASSERT_EQ(Px(d.Bitmap, i % W, i / W)[1], s[size_t(i)]) << i;
  }
}

TEST(Jpeg2000Read, PreviewFillsParametersOnly) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  TempDir dir;
  ASSERT_TRUE(gt_test::WritePnmSamples(dir.File("p.ppm"), 40, 34, 3, 255, Samples(40 * 34 * 3, 255, 1)));
  ASSERT_EQ(Shell("opj_compress -i '" + dir.File("p.ppm") + "' -o '" + dir.File("p.jp2") + "' >/dev/null 2>&1"), 0);
  Decoded d;
  d.Params.DPIX = 0;
  ReadBytes(d, io_test::ReadFile(dir.File("p.jp2")), true);
  ASSERT_FALSE(d.P.Aborting);
  EXPECT_EQ(d.Params.WIDTH, 40);
  EXPECT_EQ(d.Params.ORIGINALHEIGHT, 34);
  EXPECT_EQ(d.Params.DPIX, IEDefaultDpiX);
  EXPECT_TRUE(d.Bitmap.IsEmpty());
}

TEST(Jpeg2000Read, YCbCrTablesFollowTheJfifCoefficients) {
  const TIEYCbCrTables& t = IEYCbCrTables();
  struct Case {
    int I, CrR, CbB, CrG, CbG;
  } cases[] = {{128, 0, 0, 0, 0}, {255, 178, 225, -91, -44}, {0, -179, -227, 91, 44}};
  for (const Case& c : cases) {
    EXPECT_EQ(t.CrToRed[c.I], c.CrR) << c.I;
    EXPECT_EQ(t.CbToBlue[c.I], c.CbB) << c.I;
    EXPECT_EQ(t.CrToGreen[c.I], c.CrG) << c.I;
    EXPECT_EQ(t.CbToGreen[c.I], c.CbG) << c.I;
  }
}

// ---------------------------------------------------------------------------
// Probes and hostile input

TEST(Jpeg2000Probe, SignaturesAndPositionKept) {
  const Bytes jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0};
  const Bytes j2k = {0xFF, 0x4F, 0xFF, 0x51, 0, 0};
  const Bytes neither = {0xFF, 0x4F, 0xFF, 0x52, 0, 0, 0, 12, 'j', 'P', ' ', ' '};
  struct Case {
    const Bytes* Data;
    bool JP2, J2K;
  } cases[] = {{&jp2, true, false}, {&j2k, false, true}, {&neither, false, false}};
  for (const Case& c : cases) {
    TMemoryStream s;
    Bytes withLead = {1, 2, 3};
    withLead.insert(withLead.end(), c.Data->begin(), c.Data->end());
    io_test::Fill(s, withLead, 3);
    EXPECT_EQ(IEProbeJP2(&s), c.JP2);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(IEProbeJ2K(&s), c.J2K);
    EXPECT_EQ(s.Position(), 3);
  }
}

TEST(Jpeg2000Read, DamagedAndOversizedFilesFailCleanly) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  TempDir dir;
  ASSERT_TRUE(gt_test::WritePnmSamples(dir.File("p.ppm"), 64, 48, 3, 255, Samples(64 * 48 * 3, 255, 2)));
  ASSERT_EQ(Shell("opj_compress -i '" + dir.File("p.ppm") + "' -o '" + dir.File("p.jp2") + "' >/dev/null 2>&1"), 0);
  const Bytes good = io_test::ReadFile(dir.File("p.jp2"));
  ASSERT_GT(good.size(), 200u);
  // Cut at every length through the headers and at a few in the data.
  for (size_t n : {size_t(4), size_t(12), size_t(40), size_t(80), size_t(120), good.size() / 2, good.size() - 3}) {
    Decoded d;
    ReadBytes(d, Bytes(good.begin(), good.begin() + long(n)));
    EXPECT_TRUE(d.P.Aborting) << n;
  }
  // Not a JPEG 2000 stream at all.
  {
    Decoded d;
    ReadBytes(d, io_test::Str("GIF89a not a picture"));
    EXPECT_TRUE(d.P.Aborting);
  }
  // A picture beyond the limit is refused before anything is decoded.
  {
    const TIEReadLimits saved = IEReadLimits;
    IEReadLimits.JPEG2000 = {64 * 47, int64_t(1) << 30};
    Decoded d;
    ReadBytes(d, good);
    IEReadLimits = saved;
    EXPECT_TRUE(d.P.Aborting);
    EXPECT_TRUE(d.Bitmap.IsEmpty());
  }
}

// ---------------------------------------------------------------------------
// Writing

struct TWriteCase {
  const char* Name;
  TIEJ2000Format Format;
  TIEPixelFormat Pixels;  // ie24RGB or ie1g
  Byte ColorSpace;
  Integer Bits;
  Byte ScalableBy;
  int Alpha;  // -1 none, 255 full, else the alpha value of every odd pixel
};

class Jpeg2000Write : public ::testing::TestWithParam<TWriteCase> {};

TEST_P(Jpeg2000Write, OpenJpegReadsWhatWasWritten) {
  ASSERT_TRUE(HaveOpj()) << "OpenJPEG's tools are not installed";
  const TWriteCase& c = GetParam();
  const int W = 41, H = 35;
  std::unique_ptr<TIEBitmap> b;
  if (c.Pixels == ie1g) {
    b = std::make_unique<TIEBitmap>(W, H, ie1g);
    for (int y = 0; y < H; ++y) {
      Byte* r = static_cast<Byte*>(b->GetScanline(y));
      for (int x = 0; x < W; ++x)
        if ((x * 7 + y * 3) % 5 < 2) r[x >> 3] |= Byte(0x80 >> (x & 7));
    }
  } else {
    b = MakePicture(W, H, 5);
  }
  if (c.Alpha >= 0) {
    TIEBitmap* a = b->GetAlphaChannel();
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) static_cast<Byte*>(a->GetScanline(y))[x] = Byte((x & 1) ? c.Alpha : 255);
  }
  TIOParamsVals p(nullptr);
  p.J2000_COLORSPACE = c.ColorSpace;
  p.BITSPERSAMPLE = c.Bits;
  p.J2000_SCALABLEBY = c.ScalableBy;
  TMemoryStream s;
  Progress pr;
  IEWriteJPEG2000(&s, b.get(), p, pr.Rec, c.Format);
  ASSERT_FALSE(pr.Aborting);
  TempDir dir;
  const std::string file = dir.File(c.Format == iej2kJP2 ? "w.jp2" : "w.j2k");
  const Bytes written = Contents(s);
  io_test::WriteFile(file, written);

  const bool grey = c.Pixels == ie1g || c.ColorSpace == 0;
  const int prec = c.Pixels == ie1g ? 1 : c.Bits;
  const bool alpha = !grey && c.Alpha >= 0 && c.Alpha != 255;
  const int comps = grey ? 1 : (alpha ? 4 : 3);
  const auto planes = OracleDecode(file, dir.File("o.raw"), W, H, comps, prec);
  ASSERT_EQ(planes.size(), size_t(comps));
  const int maxv = (1 << prec) - 1;
  auto scale = [&](int v) { return int(Round(v / 255.0 * maxv)); };
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const size_t i = size_t(y * W + x);
      if (c.Pixels == ie1g) {
        ASSERT_EQ(planes[0][i], int(Bit(*b, x, y))) << x << "," << y;
        continue;
      }
      const Byte* px = Px(*b, x, y);
      if (grey) {
        ASSERT_EQ(planes[0][i], scale(IERGBToGray(TRGB{px[0], px[1], px[2]}))) << x << "," << y;
        continue;
      }
      ASSERT_EQ(planes[0][i], scale(px[2])) << x << "," << y;
      ASSERT_EQ(planes[1][i], scale(px[1])) << x << "," << y;
      ASSERT_EQ(planes[2][i], scale(px[0])) << x << "," << y;
      if (alpha) {
        ASSERT_EQ(planes[3][i], scale((x & 1) ? c.Alpha : 255)) << x << "," << y;
      }
    }

  const std::string dump = Capture("opj_dump -i '" + file + "' 2>/dev/null");
  EXPECT_NE(dump.find("numcomps=" + std::to_string(comps)), std::string::npos) << dump;
  EXPECT_NE(dump.find("prec=" + std::to_string(prec)), std::string::npos) << dump;
  // LRCP is progression 0, RLCP 1; the default is LRCP.
  EXPECT_NE(dump.find(c.ScalableBy == 1 ? "prg=0x1\n" : "prg=0\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find(comps >= 3 ? "mct=1\n" : "mct=0\n"), std::string::npos) << dump;
  // A JP2 names the opacity component in its channel definition box.
  if (c.Format == iej2kJP2) {
    const std::string bytes(written.begin(), written.end());
    const size_t cdef = bytes.find("cdef");
    EXPECT_EQ(cdef != std::string::npos, alpha);
    if (alpha && cdef != std::string::npos) {
      // N, then (channel, type, association) words; the fourth channel is opacity (type 1).
      ASSERT_GT(bytes.size(), cdef + 4 + 2 + 4 * 6);
      const Byte* e = written.data() + cdef + 4 + 2 + 3 * 6;
      EXPECT_EQ((e[0] << 8 | e[1]), 3);
      EXPECT_EQ((e[2] << 8 | e[3]), 1);
    }
  }

  // Our own reader gives the 8-bit picture back exactly.
  if (prec == 8 && !grey) {
    Decoded d;
    ReadBytes(d, written);
    ASSERT_FALSE(d.P.Aborting);
    for (int y = 0; y < H; ++y)
      ASSERT_EQ(0, std::memcmp(d.Bitmap.GetScanline(y), b->GetScanline(y), size_t(W) * 3)) << y;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, Jpeg2000Write,
    ::testing::Values(TWriteCase{"rgb8_jp2_lrcp", iej2kJP2, ie24RGB, 1, 8, 0, -1},
                      TWriteCase{"rgb8_j2k_rlcp", iej2kCodeStream, ie24RGB, 1, 8, 1, -1},
                      TWriteCase{"rgb12_jp2_default_order", iej2kJP2, ie24RGB, 1, 12, 2, -1},
                      TWriteCase{"grey8_from_colour", iej2kJP2, ie24RGB, 0, 8, 0, -1},
                      TWriteCase{"grey4_from_colour", iej2kCodeStream, ie24RGB, 0, 4, 0, -1},
                      TWriteCase{"bilevel", iej2kJP2, ie1g, 1, 8, 0, -1},
                      TWriteCase{"rgb_alpha", iej2kJP2, ie24RGB, 1, 8, 1, 100},
                      TWriteCase{"rgb_full_alpha", iej2kJP2, ie24RGB, 1, 8, 0, 255}),
    [](const auto& I) { return std::string(I.param.Name); });

TEST(Jpeg2000Write, ColourSpaceChoicesAndRate) {
  auto b = MakePicture(64, 48, 3);
  auto write = [&](Byte Space, Double Rate, bool& Aborted) {
    TIOParamsVals p(nullptr);
    p.J2000_COLORSPACE = Space;
    p.J2000_RATE = Rate;
    TMemoryStream s;
    Progress pr;
    IEWriteJPEG2000(&s, b.get(), p, pr.Rec, iej2kJP2);
    Aborted = pr.Aborting;
    return Contents(s);
  };
  bool a1, a2, a3, a4;
  const Bytes rgb = write(1, 1.0, a1), ycc = write(2, 1.0, a2), none = write(3, 1.0, a3), small = write(1, 0.05, a4);
  EXPECT_FALSE(a1);
  EXPECT_FALSE(a2);
  // YCbCr writes the same file as RGB.
  EXPECT_EQ(rgb, ycc);
  // An unknown colour space builds no image and writes nothing.
  EXPECT_TRUE(a3);
  EXPECT_TRUE(none.empty());
  // A rate below 1 asks for that fraction of the raw size.
  EXPECT_FALSE(a4);
  EXPECT_LT(small.size(), size_t(64 * 48 * 3 / 10));
  EXPECT_LT(small.size(), rgb.size() / 2);
  Decoded d;
  ReadBytes(d, small);
  EXPECT_FALSE(d.P.Aborting);
  EXPECT_EQ(d.Bitmap.Width(), 64);
}

// ---------------------------------------------------------------------------
// The companion's methods

class Jpeg2000Methods : public ::testing::Test {
 protected:
  void SetUp() override { IEBuildFormatRegistry(); }
  void TearDown() override { IEFreeFormatRegistry(); }
};

TEST_F(Jpeg2000Methods, FilesAndStreamsRoundTripWithTheirFileType) {
  TempDir dir;
  auto src = MakePicture(33, 20, 8);
  TZiduzUvIO out(nullptr);
  out.AttachIEBitmap(src.get());
  const WideString jp2 = Utf8ToWide(dir.File("a.jp2")), j2k = Utf8ToWide(dir.File("a.j2k"));
  out.SaveToFileJP2(jp2);
  ASSERT_FALSE(out.Aborting());
  EXPECT_EQ(out.Params().FILETYPE, ieftJP2);
  out.SaveToFile(j2k);  // by extension
  ASSERT_FALSE(out.Aborting());
  EXPECT_EQ(out.Params().FILETYPE, ieftJ2K);

  struct Case {
    const WideString* File;
    TIEFileType Type;
  } cases[] = {{&jp2, ieftJP2}, {&j2k, ieftJ2K}};
  for (const Case& c : cases) {
    TZiduzUvIO in(nullptr);
    in.LoadFromFile(*c.File);
    ASSERT_FALSE(in.Aborting());
    EXPECT_EQ(in.Params().FILETYPE, c.Type);
    EXPECT_EQ(in.Params().FILENAME, *c.File);
    ASSERT_EQ(in.IEBitmap()->Width(), 33);
    for (Integer y = 0; y < 20; ++y)
      ASSERT_EQ(0, std::memcmp(in.IEBitmap()->GetScanline(y), src->GetScanline(y), 33 * 3)) << y;
  }
  // A JP2 read through the code-stream method still decodes, and is then a code stream.
  TMemoryStream s;
  io_test::Fill(s, io_test::ReadFile(dir.File("a.jp2")));
  TZiduzUvIO in(nullptr);
  in.LoadFromStreamJ2K(&s);
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FILETYPE, ieftJ2K);
  EXPECT_TRUE(in.Params().FILENAME.empty());
  EXPECT_EQ(in.IEBitmap()->Width(), 33);
}

TEST_F(Jpeg2000Methods, GreySaveLeavesTheDocumentAsItWas) {
  TIEBitmap g(20, 10, ie8g);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 20; ++x) static_cast<Byte*>(g.GetScanline(y))[x] = Byte(x * 12 + y);
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&g);
  TMemoryStream s;
  io.SaveToStreamJP2(&s);
  ASSERT_FALSE(io.Aborting());
  // The writer took a colour copy; the document keeps its own pixel format.
  EXPECT_EQ(g.PixelFormat(), ie8g);
  s.SetPosition(0);
  Decoded d;
  IEReadJPEG2000(&s, &d.Bitmap, d.Params, d.P.Rec, false);
  ASSERT_FALSE(d.P.Aborting);
  for (Integer x = 0; x < 20; ++x) EXPECT_EQ(Px(d.Bitmap, x, 3)[1], x * 12 + 3) << x;
}

}  // namespace
}  // namespace jpeg2000_tests
