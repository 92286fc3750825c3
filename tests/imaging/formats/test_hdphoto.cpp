// HD Photo reader and writer against the JPEG XR reference tools: lossless
// files made by JxrEncApp decode to their source pixels in every format of
// the mapping (native and not), our lossless files decode exactly in
// JxrDecApp, thumbnails match its reduced-resolution decode, CMYK inks
// survive both ways, EXIF data reaches exiftool, and damaged files fail.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "formats_test_util.h"
#include "imaging/formats/hdphoto.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"
#include "tests/support/pnm.h"

using namespace fmt_test;

namespace test_hdphoto_tests {
namespace {

constexpr int kW = 40, kH = 24;

// Sample c of pixel x, y of the test pictures.
int Gray8(int x, int y) { return (x * 7 + y * 13) & 255; }
int Gray16(int x, int y) { return (x * 1031 + y * 4099 + x * y * 37) & 0xFFFF; }
int Rgb8(int x, int y, int c) { return c == 0 ? (x * 6) & 255 : c == 1 ? (y * 10) & 255 : (x * y + 17) & 255; }
int Rgb16(int x, int y, int c) {
  return c == 0 ? (x * 1500 + y) & 0xFFFF : c == 1 ? (y * 2700 + x * 3) & 0xFFFF : (x * y * 97 + 5) & 0xFFFF;
}
bool White(int x, int y) { return x < 20 ? ((x ^ y) & 1) != 0 : x > y; }
int Ink(int x, int y, int c) { return (x * (c + 3) * 5 + y * (7 - c) * 9 + c * 40) & 255; }
Byte To8(int v) { return Byte((v * 255 + 32767) / 65535); }

// The pixels of a bitmap as its format lays them out, without row padding
// (and with the unused bits of a 1-bit row cleared).
Bytes Logical(TIEBitmap& B) {
  Bytes out;
  const int64_t n = (int64_t(B.BitCount()) * B.Width() + 7) / 8;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(B.GetScanline(y));
    out.insert(out.end(), r, r + n);
    if (B.PixelFormat() == ie1g && B.Width() % 8) out.back() &= Byte(0xFF << (8 - B.Width() % 8));
  }
  return out;
}

void Put16(Bytes& B, int v) {
  const uint16_t w = uint16_t(v);
  B.insert(B.end(), reinterpret_cast<const Byte*>(&w), reinterpret_cast<const Byte*>(&w) + 2);
}

// The bitmap rows a picture kind gives in Format.
enum TKind { kGray8, kGray16, kRgb8, kRgb16, kBW, kCMYK };
Bytes Expected(TKind K, TIEPixelFormat F, int W = kW, int H = kH) {
  Bytes b;
  for (int y = 0; y < H; ++y) {
    if (K == kBW) {
      for (int x = 0; x < W; x += 8) {
        Byte v = 0;
        for (int k = 0; k < 8; ++k) v = Byte(v << 1 | (x + k < W && White(x + k, y)));
        b.push_back(v);
      }
      continue;
    }
    for (int x = 0; x < W; ++x) {
      switch (K) {
        case kGray8:
          if (F == ie8g) b.push_back(Byte(Gray8(x, y)));
          else b.insert(b.end(), 3, Byte(Gray8(x, y)));
          break;
        case kGray16:
          if (F == ie16g) Put16(b, Gray16(x, y));
          else b.insert(b.end(), 3, To8(Gray16(x, y)));
          break;
        case kRgb8:
          b.insert(b.end(), {Byte(Rgb8(x, y, 2)), Byte(Rgb8(x, y, 1)), Byte(Rgb8(x, y, 0))});
          break;
        case kRgb16:
          if (F == ieRGB48)
            for (int c = 0; c < 3; ++c) Put16(b, Rgb16(x, y, c));
          else
            b.insert(b.end(), {To8(Rgb16(x, y, 2)), To8(Rgb16(x, y, 1)), To8(Rgb16(x, y, 0))});
          break;
        case kCMYK:
          for (int c = 0; c < 4; ++c) b.push_back(Byte(255 - Ink(x, y, c)));
          break;
        default: break;
      }
    }
  }
  return b;
}

// A picture of kind K in bitmap format F.
std::unique_ptr<TIEBitmap> Picture(TKind K, TIEPixelFormat F) {
  auto bmp = std::make_unique<TIEBitmap>();
  bmp->Allocate(kW, kH, F);
  const Bytes px = Expected(K, F);
  const int64_t n = (int64_t(bmp->BitCount()) * kW + 7) / 8;
  for (int y = 0; y < kH; ++y) std::memcpy(bmp->GetScanline(y), px.data() + y * n, size_t(n));
  return bmp;
}

// 8-bit binary PNM of a kind.
Bytes PnmOf(TKind K) {
  const bool rgb = K == kRgb8;
  const std::string head = std::string(rgb ? "P6" : "P5") + "\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n";
  Bytes b(head.begin(), head.end());
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int c = 0; c < (rgb ? 3 : 1); ++c) b.push_back(Byte(rgb ? Rgb8(x, y, c) : Gray8(x, y)));
  return b;
}

// An uncompressed one-strip little-endian TIFF of a kind: bilevel (0 =
// black), 16-bit grey or 16-bit RGB. (The reference tools read and write
// 16-bit PNM samples in the wrong byte order, so 16-bit pictures go
// through TIFF.)
Bytes TiffOf(TKind K) {
  const int spp = K == kRgb16 ? 3 : 1, bps = K == kBW ? 1 : 16;
  Bytes data = Expected(K, K == kBW ? ie1g : K == kGray16 ? ie16g : ieRGB48);
  struct E {
    uint16_t Tag, Type;
    uint32_t Count, Value;
  };
  const uint32_t entries = 12, extra = 8 + 2 + entries * 12 + 4, dataAt = extra + 24;
  const E e[] = {{256, 3, 1, kW},          {257, 3, 1, kH},          {258, 3, uint32_t(spp), spp == 1 ? uint32_t(bps) : extra + 16},
                 {259, 3, 1, 1},           {262, 3, 1, spp == 3 ? 2u : 1u},      {273, 4, 1, dataAt},
                 {277, 3, 1, uint32_t(spp)}, {278, 3, 1, kH},        {279, 4, 1, uint32_t(data.size())},
                 {282, 5, 1, extra},       {283, 5, 1, extra + 8},   {296, 3, 1, 2}};
  Bytes b = {'I', 'I', 42, 0};
  Add32(b, 8);
  Add16(b, entries);
  for (const E& x : e) {
    Add16(b, x.Tag);
    Add16(b, x.Type);
    Add32(b, x.Count);
    if (x.Type == 3 && x.Count == 1) Add16(b, x.Value), Add16(b, 0);
    else Add32(b, x.Value);
  }
  Add32(b, 0);
  for (int i = 0; i < 2; ++i) Add32(b, 72), Add32(b, 1);
  for (int i = 0; i < 4; ++i) Add16(b, uint32_t(bps));
  AddBytes(b, data);
  return b;
}

// The samples of an uncompressed TIFF's first image (strips joined) with its
// photometric interpretation; empty when it is not such a file.
Bytes TiffPixels(const Bytes& F, int& Photometric, int& Width) {
  auto u16 = [&](size_t at) { return at + 2 <= F.size() ? int(F[at] | F[at + 1] << 8) : -1; };
  auto u32 = [&](size_t at) { return at + 4 <= F.size() ? uint32_t(F[at] | F[at + 1] << 8 | F[at + 2] << 16 | uint32_t(F[at + 3]) << 24) : 0u; };
  if (F.size() < 8 || F[0] != 'I') return {};
  const size_t ifd = u32(4);
  const int n = u16(ifd);
  std::vector<uint32_t> offsets, counts;
  auto values = [&](size_t e) {
    const int type = u16(e + 2);
    const uint32_t count = u32(e + 4);
    std::vector<uint32_t> v;
    const size_t sz = type == 3 ? 2 : 4;
    const size_t at = count * sz <= 4 ? e + 8 : u32(e + 8);
    for (uint32_t i = 0; i < count && i < 100000; ++i) v.push_back(type == 3 ? uint32_t(u16(at + i * 2)) : u32(at + i * 4));
    return v;
  };
  Photometric = -1;
  Width = 0;
  for (int i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + size_t(i) * 12;
    const int tag = u16(e);
    if (tag == 256) Width = int(values(e)[0]);
    if (tag == 262) Photometric = int(values(e)[0]);
    if (tag == 259 && values(e)[0] != 1) return {};
    if (tag == 273) offsets = values(e);
    if (tag == 279) counts = values(e);
  }
  Bytes out;
  for (size_t i = 0; i < offsets.size() && i < counts.size(); ++i) {
    if (offsets[i] + uint64_t(counts[i]) > F.size()) return {};
    out.insert(out.end(), F.begin() + offsets[i], F.begin() + offsets[i] + counts[i]);
  }
  return out;
}

Bytes RunJxrEnc(TempDir& Dir, const std::string& Input, const Bytes& Data, int Format) {
  const std::string in = Dir.File(Input), out = Dir.File(Input + ".jxr");
  gt_test::WriteFileBytes(in, Data);
  EXPECT_EQ(Shell("JxrEncApp -i '" + in + "' -o '" + out + "' -c " + std::to_string(Format) + " -q 1 >/dev/null 2>&1"), 0);
  return gt_test::ReadFileBytes(out);
}

// JxrDecApp's decoding of Data into a file named Output (its type chosen by
// the extension), with extra options.
Bytes RunJxrDec(TempDir& Dir, const Bytes& Data, const std::string& Output, const std::string& Options = "") {
  const std::string in = Dir.File("dec.jxr"), out = Dir.File(Output);
  gt_test::WriteFileBytes(in, Data);
  std::remove(out.c_str());
  EXPECT_EQ(Shell("JxrDecApp -i '" + in + "' -o '" + out + "' " + Options + " >/dev/null 2>&1"), 0);
  return gt_test::ReadFileBytes(out);
}

// Rewrites entry Tag of the first directory of a little-endian container in
// place; false when the directory has no such entry.
bool SetEntry(Bytes& F, uint16_t Tag, uint16_t Type, uint32_t Count, const Bytes& Value) {
  auto u16 = [&](size_t at) { return uint32_t(F[at] | F[at + 1] << 8); };
  const size_t ifd = F[4] | F[5] << 8 | F[6] << 16 | size_t(F[7]) << 24;
  for (size_t i = 0; i < u16(ifd); ++i) {
    const size_t e = ifd + 2 + i * 12;
    if (u16(e) != Tag) continue;
    F[e + 2] = Byte(Type), F[e + 3] = Byte(Type >> 8);
    for (int k = 0; k < 4; ++k) F[e + 4 + k] = Byte(Count >> (8 * k)), F[e + 8 + k] = k < int(Value.size()) ? Value[k] : 0;
    return true;
  }
  return false;
}

struct TRead {
  bool Aborted = true;
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>(nullptr);
};

TRead Read(const Bytes& File, std::function<void(TIOParamsVals&)> Setup = nullptr) {
  TRead r;
  if (Setup) Setup(*r.Params);
  TMemoryStream s;
  Fill(s, File);
  Progress pr;
  IEReadHDPhoto(&s, r.Bitmap.get(), *r.Params, pr.Rec, false);
  r.Aborted = pr.Aborting;
  return r;
}

Bytes Write(TIEBitmap& B, std::function<void(TIOParamsVals&)> Setup = nullptr, bool* Aborted = nullptr) {
  TIOParamsVals p(nullptr);
  p.HDP_LOSSLESS = true;
  if (Setup) Setup(p);
  TMemoryStream s;
  Progress pr;
  IEWriteHDPhoto(&s, &B, p, pr.Rec);
  if (Aborted) *Aborted = pr.Aborting;
  EXPECT_TRUE(Aborted || !pr.Aborting);
  return Contents(s);
}

bool Tools() { return HaveTool("JxrEncApp") && HaveTool("JxrDecApp"); }

TEST(HDPhotoReader, ReferenceLosslessFilesDecodeToTheirPixelsInEveryMappedFormat) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  struct Case {
    const char* Name;
    TKind Kind;
    int JxrFormat;  // JxrEncApp -c
    TIEPixelFormat Native, NotNative;
    int Bits, Samples;
  } cases[] = {
      {"8-bit grey", kGray8, 2, ie8g, ie24RGB, 8, 1},
      {"16-bit grey", kGray16, 3, ie16g, ie24RGB, 16, 1},
      {"24-bit RGB", kRgb8, 9, ie24RGB, ie24RGB, 8, 3},
      {"48-bit RGB", kRgb16, 10, ieRGB48, ie24RGB, 16, 3},
      {"black and white", kBW, 1, ie1g, ie1g, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const bool tiff = c.Kind == kBW || c.Kind == kGray16 || c.Kind == kRgb16;
    const Bytes file = tiff ? RunJxrEnc(dir, "in.tif", TiffOf(c.Kind), c.JxrFormat)
                            : RunJxrEnc(dir, c.Kind == kRgb8 ? "in.ppm" : "in.pgm", PnmOf(c.Kind), c.JxrFormat);
    ASSERT_GT(file.size(), 16u);
    for (bool native : {true, false}) {
      SCOPED_TRACE(native ? "native" : "not native");
      TRead r = Read(file, [&](TIOParamsVals& p) { p.ISNATIVEPIXELFORMAT = native; });
      ASSERT_FALSE(r.Aborted);
      const TIEPixelFormat want = native ? c.Native : c.NotNative;
      ASSERT_EQ(r.Bitmap->PixelFormat(), want);
      EXPECT_EQ(Logical(*r.Bitmap), Expected(c.Kind, want));
      EXPECT_EQ(r.Params->WIDTH, kW);
      EXPECT_EQ(r.Params->HEIGHT, kH);
      EXPECT_EQ(r.Params->ORIGINALWIDTH, kW);
      EXPECT_EQ(r.Params->BITSPERSAMPLE, native ? c.Bits : want == ie1g ? 1 : 8);
      EXPECT_EQ(r.Params->SAMPLESPERPIXEL, native ? c.Samples : want == ie1g ? 1 : 3);
    }
  }
}

// A format outside the table (16-bit 5-6-5 here) arrives as 24-bit, as the
// reference decoder converts it.
TEST(HDPhotoReader, OtherFormatsReadAs24BitLikeTheReferenceConversion) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  const Bytes file = RunJxrEnc(dir, "in.ppm", PnmOf(kRgb8), 30);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ParsePnm(RunJxrDec(dir, file, "out.ppm", "-c 9"), ref));
  Bytes want;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) want.insert(want.end(), {Byte(ref.At(x, y, 2)), Byte(ref.At(x, y, 1)), Byte(ref.At(x, y, 0))});
  for (bool native : {true, false}) {
    TRead r = Read(file, [&](TIOParamsVals& p) { p.ISNATIVEPIXELFORMAT = native; });
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap->PixelFormat(), ie24RGB);
    EXPECT_EQ(Logical(*r.Bitmap), want);
    // Not the source picture itself: the format keeps 5 or 6 bits a channel.
    EXPECT_NE(want, Expected(kRgb8, ie24RGB));
  }
}

TEST(HDPhotoReader, ThumbnailIsTheReducedDecodeAndSizesTellBoth) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  const Bytes file = RunJxrEnc(dir, "in.ppm", PnmOf(kRgb8), 9);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ParsePnm(RunJxrDec(dir, file, "t.ppm", "-T 4 -c 9"), ref));
  TRead r = Read(file, [](TIOParamsVals& p) { p.SetGetThumbnail(true); });
  ASSERT_FALSE(r.Aborted);
  ASSERT_EQ(r.Bitmap->Width(), ref.Width);
  ASSERT_EQ(r.Bitmap->Height(), ref.Height);
  EXPECT_EQ(ref.Width, (kW + 15) / 16);
  EXPECT_EQ(r.Params->WIDTH, ref.Width);
  EXPECT_EQ(r.Params->HEIGHT, ref.Height);
  EXPECT_EQ(r.Params->ORIGINALWIDTH, kW);
  EXPECT_EQ(r.Params->ORIGINALHEIGHT, kH);
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      TRGB c;
      r.Bitmap->GetPixelAsRGB(x, y, c);
      EXPECT_EQ(c.r, ref.At(x, y, 0));
      EXPECT_EQ(c.g, ref.At(x, y, 1));
      EXPECT_EQ(c.b, ref.At(x, y, 2));
    }
}

// Fault: a frame that cannot be decoded must fail the load, never read as a
// picture.
TEST(HDPhotoReader, DamagedFilesAndMissingFramesAbort) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  const Bytes good = RunJxrEnc(dir, "in.ppm", PnmOf(kRgb8), 9);
  ASSERT_FALSE(Read(good).Aborted);
  Bytes cut(good.begin(), good.begin() + good.size() * 2 / 3);
  Bytes header(good.begin(), good.begin() + 8);
  // An orientation the codec does not know makes it fail an assertion,
  // which must not take the program with it.
  Bytes badOrientation = good;
  ASSERT_TRUE(SetEntry(badOrientation, 48130, 1, 1, {9}));
  Bytes scrambled = good;
  for (size_t i = scrambled.size() / 2; i < scrambled.size(); ++i) scrambled[i] = Byte(i * 37);
  struct Case {
    const char* What;
    Bytes File;
    Integer Index;
  } cases[] = {
      {"cut in its pixel data", cut, 0},
      {"only the header", header, 0},
      {"second frame of a one-frame file", good, 1},
      {"negative frame index", good, -1},
      {"zeros", Bytes(300, 0), 0},
      {"orientation out of range", badOrientation, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    EXPECT_TRUE(Read(c.File, [&](TIOParamsVals& p) { p.IMAGEINDEX = c.Index; }).Aborted);
  }
  // Scrambled coefficients either fail or give a picture of the frame's
  // size; the reader must not crash (the sanitizer build checks).
  TRead s = Read(scrambled);
  if (!s.Aborted) {
    EXPECT_EQ(s.Bitmap->Width(), kW);
  }
  // Damaged coefficients on which the codec crashes (a fuzzing find): a
  // failed load, and the test process lives on.
  const std::string crash = std::string(GT_TEST_DATA_DIR) + "/hdphoto_decoder_crash.wdp";
  const Bytes crashing = gt_test::ReadFileBytes(crash);
  ASSERT_FALSE(crashing.empty()) << crash;
  EXPECT_TRUE(Read(crashing).Aborted);
}

TEST(HDPhotoWriter, LosslessFilesDecodeExactlyInTheReferenceDecoder) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  struct Case {
    TKind Kind;
    TIEPixelFormat Format;
  } cases[] = {{kGray8, ie8g}, {kGray16, ie16g}, {kRgb8, ie24RGB}, {kRgb16, ieRGB48}, {kBW, ie1g}, {kCMYK, ieCMYK}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    auto pic = Picture(c.Kind, c.Format);
    const Bytes file = Write(*pic);
    ASSERT_GT(file.size(), 16u);
    // Our reader gives the same bitmap back.
    TRead back = Read(file, [](TIOParamsVals& p) { p.ISNATIVEPIXELFORMAT = true; });
    ASSERT_FALSE(back.Aborted);
    ASSERT_EQ(back.Bitmap->PixelFormat(), c.Format);
    EXPECT_EQ(Logical(*back.Bitmap), Expected(c.Kind, c.Format));
    // And so does the reference decoder.
    if (c.Kind != kGray8 && c.Kind != kRgb8) {
      int photometric = 0, width = 0;
      const Bytes px = TiffPixels(RunJxrDec(dir, file, "o.tif"), photometric, width);
      ASSERT_EQ(width, kW);
      if (c.Kind != kCMYK) {
        EXPECT_EQ(photometric, c.Kind == kRgb16 ? 2 : 1);  // 0 = black, as ours
        EXPECT_EQ(px, Expected(c.Kind, c.Format));
      } else {
        EXPECT_EQ(photometric, 5);  // ink values: ours complemented
        Bytes inks;
        for (int y = 0; y < kH; ++y)
          for (int x = 0; x < kW; ++x)
            for (int k = 0; k < 4; ++k) inks.push_back(Byte(Ink(x, y, k)));
        EXPECT_EQ(px, inks);
      }
      continue;
    }
    gt_test::Pnm ref;
    ASSERT_TRUE(gt_test::ParsePnm(RunJxrDec(dir, file, "o.pnm"), ref));
    ASSERT_EQ(ref.Width, kW);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        for (int k = 0; k < ref.Channels; ++k) {
          const int want = c.Kind == kGray8 ? Gray8(x, y) : Rgb8(x, y, k);
          ASSERT_EQ(ref.At(x, y, k), want) << x << "," << y << "," << k;
        }
  }
}

TEST(HDPhotoWriter, RefusedFormatsRaiseAndWriteNothing) {
  for (TIEPixelFormat f : {ie8p, ie32f, ieCIELab, ie32RGB}) {
    TIEBitmap b;
    b.Allocate(4, 4, f);
    TIOParamsVals p(nullptr);
    TMemoryStream s;
    Progress pr;
    EXPECT_THROW(IEWriteHDPhoto(&s, &b, p, pr.Rec), Exception) << int(f);
    EXPECT_EQ(s.Size(), 0) << int(f);
  }
}

TEST(HDPhotoWriter, OptionsGoInTheirOrderAndUnsetQualitiesStayOut) {
  using T = THDPhotoOption;
  TIEWICEncoderOptions o;
  const std::vector<THDPhotoOption> defaults = {
      {"Lossless", T::Boolean, 0},          {"HorizontalTileSlices", T::UInt16, 0}, {"VerticalTileSlices", T::UInt16, 0},
      {"FrequencyOrder", T::Boolean, 1},    {"TiffCompressionMethod", T::UInt8, 1}};
  EXPECT_EQ(IEHDPhotoPropertyBag(o), defaults);
  o.ImageQuality = 0.5;
  o.CompressionQuality = 0.25;
  o.UseCodecOptions = true;
  const std::vector<THDPhotoOption> all = {
      {"ImageQuality", T::Float, 0.5},     {"CompressionQuality", T::Float, 0.25}, {"Lossless", T::Boolean, 0},
      {"UseCodecOptions", T::Boolean, 1},  {"Quality", T::UInt8, 1},               {"Overlap", T::UInt8, 1},
      {"Subsampling", T::UInt8, 3},        {"HorizontalTileSlices", T::UInt16, 0}, {"VerticalTileSlices", T::UInt16, 0},
      {"FrequencyOrder", T::Boolean, 1},   {"TiffCompressionMethod", T::UInt8, 1}};
  EXPECT_EQ(IEHDPhotoPropertyBag(o), all);
}

// HDP_IMAGEQUALITY -1 leaves the quality to the codec: the file is the one
// the codec's default gives, not a failure and not a lossless one.
TEST(HDPhotoWriter, QualityMinusOneLeavesTheCodecDefault) {
  auto pic = Picture(kRgb8, ie24RGB);
  auto write = [&](double q) {
    return Write(*pic, [&](TIOParamsVals& p) {
      p.HDP_LOSSLESS = false;
      p.HDP_IMAGEQUALITY = q;
    });
  };
  const Bytes unset = write(-1), codecDefault = write(0.9), lossless = write(1.0), coarse = write(0.3);
  ASSERT_GT(unset.size(), 16u);
  EXPECT_EQ(unset, codecDefault);
  EXPECT_NE(unset, lossless);
  EXPECT_LT(coarse.size(), lossless.size());
  TRead r = Read(unset);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(r.Bitmap->Width(), kW);
}

// Tiles and the spatial order are real choices of the coded stream, and the
// picture survives them.
TEST(HDPhotoWriter, TilesAndOrderOptionsCodeTheSamePicture) {
  ASSERT_TRUE(Tools());
  TempDir dir("hdp");
  auto pic = Picture(kRgb8, ie24RGB);
  TMemoryStream plainS, tiledS;
  Bytes plain = Write(*pic);
  TIEWICWriter w;
  TMemoryStream s;
  ASSERT_TRUE(w.Open(&s, IEHDPhotoFileType));
  w.Options().Lossless = true;
  w.Options().HorizontalTileSlices = 1;
  w.Options().VerticalTileSlices = 1;
  w.Options().FrequencyOrder = false;
  ASSERT_TRUE(w.WriteFrame(pic.get(), nullptr));
  const Bytes tiled = Contents(s);
  EXPECT_NE(tiled, plain);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ParsePnm(RunJxrDec(dir, tiled, "o.ppm"), ref));
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x)
      for (int k = 0; k < 3; ++k) ASSERT_EQ(ref.At(x, y, k), Rgb8(x, y, k));
  EXPECT_FALSE(TIEWICWriter().Open(&s, 1));  // only HD Photo goes through the platform codec here
}

// The resolution is truncated, and a read without a bitmap (the
// parameters-only read of the I/O component) gives the same parameters.
TEST(HDPhotoReader, DpiIsTheTruncatedFrameResolutionWithOrWithoutABitmap) {
  std::vector<uint8_t> file;
  const Bytes row(kW, 100);
  ASSERT_TRUE(HDPhotoEncode(kW, kH, hdpf8bppGray, 72.9, 150.5, {{"Lossless", THDPhotoOption::Boolean, 1}},
                            [&](int32_t) { return row.data(); }, file));
  TRead r = Read(file, [](TIOParamsVals& p) { p.ISNATIVEPIXELFORMAT = true; });
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(r.Params->DPIX, 72);
  EXPECT_EQ(r.Params->DPIY, 150);

  TIOParamsVals p(nullptr);
  p.ISNATIVEPIXELFORMAT = true;
  TMemoryStream s;
  Fill(s, file);
  Progress pr;
  IEReadHDPhoto(&s, nullptr, p, pr.Rec, true);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(p.DPIX, 72);
  EXPECT_EQ(p.WIDTH, kW);
  EXPECT_EQ(p.HEIGHT, kH);
  EXPECT_EQ(p.BITSPERSAMPLE, 8);
  EXPECT_EQ(p.SAMPLESPERPIXEL, 1);
  EXPECT_EQ(s.Position(), 0);

  // A resolution beyond any Integer reads as none.
  Bytes huge = file;
  const float big = 1e30f;
  Bytes raw(reinterpret_cast<const Byte*>(&big), reinterpret_cast<const Byte*>(&big) + 4);
  ASSERT_TRUE(SetEntry(huge, 48258, 11, 1, raw));
  TRead h = Read(huge);
  ASSERT_FALSE(h.Aborted);
  EXPECT_EQ(h.Params->DPIX, 0);
  EXPECT_EQ(h.Params->DPIY, 150);
}

TEST(HDPhotoWriter, ExifIsStoredReadBackAndSeenByExiftool) {
  ASSERT_TRUE(Tools());
  ASSERT_TRUE(HaveTool("exiftool"));
  TempDir dir("hdp");
  auto pic = Picture(kRgb8, ie24RGB);
  const Bytes file = Write(*pic, [](TIOParamsVals& p) {
    p.EXIF_HASEXIF = true;
    p.EXIF_MAKE = "Gimro Camera Works";
    p.EXIF_MODEL = "GT-1";
    p.EXIF_EXPOSURETIME = 0.125;
    p.MarkEXIFTagSet(271);
    p.MarkEXIFTagSet(272);
    p.MarkEXIFTagSet(33434);
  });
  const std::string path = dir.File("exif.wdp");
  gt_test::WriteFileBytes(path, file);
  const std::string tags = Capture("exiftool -s -Make -Model -ExposureTime '" + path + "'");
  EXPECT_NE(tags.find("Gimro Camera Works"), std::string::npos) << tags;
  EXPECT_NE(tags.find("GT-1"), std::string::npos) << tags;
  EXPECT_NE(tags.find("1/8"), std::string::npos) << tags;
  // The picture still decodes exactly, in the reference decoder and in ours.
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ParsePnm(RunJxrDec(dir, file, "o.ppm"), ref));
  EXPECT_EQ(ref.At(5, 7, 0), Rgb8(5, 7, 0));
  TRead r = Read(file);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(Logical(*r.Bitmap), Expected(kRgb8, ie24RGB));
  EXPECT_TRUE(r.Params->EXIF_HASEXIF);
  EXPECT_EQ(r.Params->EXIF_MAKE, "Gimro Camera Works");
  EXPECT_EQ(r.Params->EXIF_MODEL, "GT-1");
  EXPECT_DOUBLE_EQ(r.Params->EXIF_EXPOSURETIME, 0.125);

  // Texts of four characters or fewer come without a NUL from TIFF writers;
  // the codec fails an assertion on them, so the reader terminates them first.
  Bytes bare = file;
  ASSERT_TRUE(SetEntry(bare, 272, 2, 4, {'G', 'T', '-', '1'}));
  TRead b = Read(bare);
  ASSERT_FALSE(b.Aborted);
  EXPECT_EQ(Logical(*b.Bitmap), Expected(kRgb8, ie24RGB));
  EXPECT_EQ(b.Params->EXIF_MODEL, "GT-1");
}

// Through the I/O component: saved by extension, counted, loaded back.
TEST(HDPhotoIO, SaveCountAndLoadThroughTheComponent) {
  ASSERT_TRUE(IEWICAvailable());
  TempDir dir("hdp");
  const std::string path = dir.File("a.wdp");
  auto pic = Picture(kGray16, ie16g);
  {
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(pic.get());
    io.Params().HDP_LOSSLESS = true;
    io.SaveToFile(Wide(path));
    ASSERT_FALSE(io.Aborting());
  }
  EXPECT_EQ(IECountHDPhotoFrames(Wide(path)), 1);
  EXPECT_EQ(IECountHDPhotoFrames(Wide(dir.File("missing.wdp"))), 0);
  TIEBitmap loaded;
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&loaded);
  io.Params().ISNATIVEPIXELFORMAT = true;
  io.LoadFromFileHDP(Wide(path));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FILETYPE, IEHDPhotoFileType);
  EXPECT_EQ(Logical(loaded), Expected(kGray16, ie16g));
}

}  // namespace
}  // namespace test_hdphoto_tests
