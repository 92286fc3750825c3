// The PNG codec: a decode matrix checked against expected pixels (and Pillow),
// native reads, resolution, background and texts, and a writer whose files
// pngcheck and Pillow must accept with the pixels we gave.
#include <algorithm>
#include <iterator>
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "codec_test_util.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iepng.h"

namespace test_png_tests {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/io/codecs";

struct Decoded {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  Progress P;
};

void Read(Decoded& D, const Bytes& File, bool Native = false, bool Preview = false) {
  TMemoryStream s;
  io_test::Fill(s, File);
  D.Params.ISNATIVEPIXELFORMAT = Native;
  IEReadPNG(&s, &D.Bitmap, D.Params, D.P.Rec, Preview);
}

Bytes Chunk(const char* Type, const Bytes& Data) {
  Bytes c;
  auto be32 = [&](uint32_t v) {
    for (int i = 3; i >= 0; --i) c.push_back(Byte(v >> (8 * i)));
  };
  be32(static_cast<uint32_t>(Data.size()));
  Bytes body(Type, Type + 4);
  body.insert(body.end(), Data.begin(), Data.end());
  c.insert(c.end(), body.begin(), body.end());
  be32(static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
  return c;
}

// Inserts a chunk right after IHDR (8-byte signature + 25-byte IHDR chunk).
Bytes WithChunk(const Bytes& Png, const Bytes& C) {
  Bytes out;
  out.reserve(Png.size() + C.size());
  std::copy(Png.begin(), Png.begin() + 33, std::back_inserter(out));
  std::copy(C.begin(), C.end(), std::back_inserter(out));
  std::copy(Png.begin() + 33, Png.end(), std::back_inserter(out));
  return out;
}

class PngMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir();
    std::string list = Capture("/usr/bin/python3 " + kHere + "/png_matrix.py " + Dir->Path, &Status);
    std::istringstream in(list);
    std::string name;
    int w, h, ct, depth, interlace;
    while (in >> name >> w >> h >> ct >> depth >> interlace) Cases.push_back({name, w, h, ct, depth, interlace});
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
    Cases.clear();
  }
  struct Case {
    std::string name;
    int w, h, ct, depth, interlace;
  };
  static TempDir* Dir;
  static std::vector<Case> Cases;
  static int Status;
};
TempDir* PngMatrix::Dir = nullptr;
std::vector<PngMatrix::Case> PngMatrix::Cases;
int PngMatrix::Status = -1;

}  // namespace

TEST_F(PngMatrix, DecodesEveryColourTypeDepthInterlaceAndTransparency) {
  ASSERT_EQ(Status, 0) << "png_matrix.py failed (python3-pil missing, or Pillow disagrees with the expectations)";
  ASSERT_EQ(Cases.size(), 53u);
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.name);
    Decoded d;
    Read(d, io_test::ReadFile(Dir->File(c.name + ".png")));
    ASSERT_FALSE(d.P.Aborting);
    const Bytes want = io_test::ReadFile(Dir->File(c.name + ".rgba"));
    EXPECT_EQ(d.Params.BITSPERSAMPLE, c.depth);
    EXPECT_EQ(d.Params.SAMPLESPERPIXEL, c.ct == 2 ? 3 : c.ct == 4 ? 2 : c.ct == 6 ? 4 : 1);
    EXPECT_EQ(d.Params.PNG_INTERLACED, c.interlace == 1);
    EXPECT_EQ(d.Params.WIDTH, c.w);
    size_t bad = 0;
    if (c.ct == 0 && c.depth == 1) {
      // One-bit grey stays packed, as stored.
      ASSERT_EQ(d.Bitmap.PixelFormat(), ie1g);
      for (int y = 0; y < c.h; ++y) {
        const Byte* row = static_cast<const Byte*>(d.Bitmap.GetScanline(y));
        for (int x = 0; x < c.w; ++x)
          bad += ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255 != want[(size_t(y) * c.w + x) * 4];
      }
    } else {
      ASSERT_EQ(d.Bitmap.PixelFormat(), ie24RGB);
      bool anyAlpha = false;
      for (size_t i = 3; i < want.size(); i += 4) anyAlpha |= want[i] != 255;
      EXPECT_EQ(d.Bitmap.HasAlphaChannel(), anyAlpha || c.ct == 4 || c.ct == 6);
      for (int y = 0; y < c.h; ++y) {
        const Byte* row = static_cast<const Byte*>(d.Bitmap.GetScanline(y));
        const Byte* a = d.Bitmap.HasAlphaChannel() ? static_cast<const Byte*>(d.Bitmap.GetAlphaChannel()->GetScanline(y))
                                                   : nullptr;
        for (int x = 0; x < c.w; ++x) {
          const Byte* w = &want[(size_t(y) * c.w + x) * 4];
          bad += row[3 * x + 2] != w[0] || row[3 * x + 1] != w[1] || row[3 * x] != w[2] || (a ? a[x] : 255) != w[3];
        }
      }
    }
    EXPECT_EQ(bad, 0u);
  }
}

TEST_F(PngMatrix, NativeReadsKeepSamplesAndPalette) {
  ASSERT_EQ(Status, 0);
  for (const Case& c : Cases) {
    if (!((c.ct == 0 || c.ct == 3) && (c.depth == 8 || c.depth == 16))) continue;
    SCOPED_TRACE(c.name);
    Decoded d;
    const Bytes file = io_test::ReadFile(Dir->File(c.name + ".png"));
    Read(d, file, true);
    ASSERT_FALSE(d.P.Aborting);
    const Bytes raw = io_test::ReadFile(Dir->File(c.name + ".raw"));
    const TIEPixelFormat pf = c.ct == 3 ? ie8p : c.depth == 8 ? ie8g : ie16g;
    ASSERT_EQ(d.Bitmap.PixelFormat(), pf);
    EXPECT_FALSE(d.Bitmap.HasAlphaChannel());
    const size_t rowBytes = size_t(c.w) * (c.depth / 8);
    for (int y = 0; y < c.h; ++y)
      EXPECT_EQ(std::memcmp(d.Bitmap.GetScanline(y), raw.data() + rowBytes * y, rowBytes), 0) << y;
    if (c.ct == 3) {
      // The file's palette, then black up to 256 entries (short palettes too).
      const Bytes want = io_test::ReadFile(Dir->File(c.name + ".rgba"));
      const Byte* idx = raw.data();
      for (size_t i = 0; i < raw.size(); ++i) {
        TRGB e;
        d.Bitmap.GetPaletteColor(idx[i], e);
        ASSERT_TRUE(e.r == want[4 * i] && e.g == want[4 * i + 1] && e.b == want[4 * i + 2]) << i;
      }
      EXPECT_GT(d.Params.COLORMAPCOUNT, 0);
      TRGB last;
      d.Bitmap.GetPaletteColor(255, last);
      if (d.Params.COLORMAPCOUNT < 256) {
        EXPECT_TRUE(last.r == 0 && last.g == 0 && last.b == 0);
      }
    }
  }
}

TEST_F(PngMatrix, ResolutionBackgroundAndPreview) {
  ASSERT_EQ(Status, 0);
  const Bytes rgb16 = io_test::ReadFile(Dir->File("ct2_d16_i0_t0.png"));
  auto phys = [](uint32_t x, uint32_t y, Byte unit) {
    Bytes d;
    for (uint32_t v : {x, y})
      for (int i = 3; i >= 0; --i) d.push_back(Byte(v >> (8 * i)));
    d.push_back(unit);
    return Chunk("pHYs", d);
  };
  struct DpiCase {
    Bytes file;
    Integer x, y;
  } dpis[] = {{WithChunk(rgb16, phys(11811, 5906, 1)), 300, 150},
              {rgb16, IEDefaultDpiX, IEDefaultDpiY},
              {WithChunk(rgb16, phys(11811, 11811, 0)), IEDefaultDpiX, IEDefaultDpiY}};
  for (const DpiCase& c : dpis) {
    Decoded d;
    Read(d, c.file, false, true);
    ASSERT_FALSE(d.P.Aborting);
    EXPECT_EQ(d.Params.DPIX, c.x);
    EXPECT_EQ(d.Params.DPIY, c.y);
    EXPECT_TRUE(d.Bitmap.IsEmpty());  // preview: no pixels
  }
  struct BkCase {
    const char* file;
    Bytes chunk;
    TRGB want;
  } bks[] = {
      {"ct2_d16_i0_t0", {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, TRGB{0x9A, 0x56, 0x12}},  // high bytes
      {"ct2_d8_i0_t0", {0, 0x12, 0, 0x34, 0, 0x56}, TRGB{0x56, 0x34, 0x12}},
      {"ct0_d4_i0_t0", {0, 5}, TRGB{85, 85, 85}},
  };
  for (const BkCase& c : bks) {
    SCOPED_TRACE(c.file);
    Decoded d;
    Read(d, WithChunk(io_test::ReadFile(Dir->File(std::string(c.file) + ".png")), Chunk("bKGD", c.chunk)), false,
         true);
    EXPECT_TRUE(d.Params.PNG_BACKGROUND.r == c.want.r && d.Params.PNG_BACKGROUND.g == c.want.g &&
                d.Params.PNG_BACKGROUND.b == c.want.b);
  }
}

TEST_F(PngMatrix, HostileFilesEndInTheAbortFlag) {
  ASSERT_EQ(Status, 0);
  const Bytes good = io_test::ReadFile(Dir->File("ct6_d8_i1_t0.png"));
  Bytes crc = good;
  crc[30] ^= 0xFF;  // the IHDR checksum
  Bytes huge = good;
  huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x86, huge[19] = 0xA0;  // width 100000
  huge[20] = 0x00, huge[21] = 0x01, huge[22] = 0x86, huge[23] = 0xA0;  // height 100000
  uint32_t c = static_cast<uint32_t>(crc32(0, huge.data() + 12, 17));
  for (int i = 0; i < 4; ++i) huge[29 + i] = Byte(c >> (24 - 8 * i));
  struct Case {
    const char* what;
    Bytes data;
  } cases[] = {{"truncated in the image data", Bytes(good.begin(), good.end() - 30)},
               {"truncated in the header", Bytes(good.begin(), good.begin() + 20)},
               {"bad header checksum", crc},
               {"ten gigapixels", huge},
               {"not a PNG", io_test::Str("definitely not a PNG file")}};
  const TIEReadLimit saved = IEReadLimits.PNG;
  IEReadLimits.PNG.MaxPixels = 1 << 24;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    Decoded d;
    Read(d, k.data);
    EXPECT_TRUE(d.P.Aborting);
  }
  IEReadLimits.PNG = saved;
}

namespace {

struct Written {
  Bytes File;
  bool Aborted = false;
};

Written WritePng(TIEBitmap& B, TIOParamsVals& P, TIEMask* Mask) {
  TMemoryStream s;
  Progress p;
  IEWritePNG(&s, &B, P, p.Rec, Mask);
  return {Contents(s), p.Aborting};
}

// A picture of at most 256 colours, so that palette output is exact.
std::unique_ptr<TIEBitmap> FewColours(Integer W, Integer H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    TRGB* p = static_cast<TRGB*>(b->GetScanline(y));
    for (Integer x = 0; x < W; ++x) p[x] = TRGB{Byte(x * 40), Byte(y * 30), Byte((x + y) * 20)};
  }
  return b;
}

}  // namespace

TEST(PngWriter, OutputsAcceptedByPngcheckAndDecodedByPillow) {
  ASSERT_TRUE(HaveTool("pngcheck")) << "pngcheck is not installed";
  TempDir dir;
  const Integer Wd = 6, H = 5;
  auto colours = FewColours(Wd, H);
  TIEBitmap grey(Wd, H, ie8g), grey16(Wd, H, ie16g), onebit(Wd, H, ie1g), cmyk(Wd, H, ieCMYK), greyRGB(Wd, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    for (Integer x = 0; x < Wd; ++x) {
      static_cast<Byte*>(grey.GetScanline(y))[x] = Byte(x * 50 + y);
      static_cast<Word*>(grey16.GetScanline(y))[x] = Word(x * 10001 + y * 7 + 1);
      static_cast<TRGB*>(greyRGB.GetScanline(y))[x] = TRGB{Byte(x * 40 + 55), Byte(x * 40 + 55), Byte(x * 40 + 55)};
    }
  }
  for (Integer y = 0; y < H; ++y) static_cast<Byte*>(onebit.GetScanline(y))[0] = Byte(0xA5 ^ y);
  cmyk.CopyAndConvertFormat(colours.get());
  TIEMask mask;
  mask.AllocateBits(Wd, H, 8);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < Wd; ++x) mask.SetPixel(x, y, x == 0 ? 0 : x == 1 ? 128 : 255);
  mask.Full = false;

  // Expected RGBA of a case, as Pillow must read it (0-255 or, for 16-bit
  // grey, the raw sample in "I" mode).
  struct Case {
    const char* what;
    TIEBitmap* bitmap;
    Integer spp, bits;
    TIEMask* mask;
    bool interlaced;
    const char* type;  // pngcheck's description
  } cases[] = {
      {"rgb", colours.get(), 3, 8, nullptr, false, "24-bit RGB, non-interlaced"},
      {"rgb interlaced", colours.get(), 3, 8, nullptr, true, "24-bit RGB, interlaced"},
      {"rgba", colours.get(), 3, 8, &mask, false, "32-bit RGB+alpha"},
      {"one bit", &onebit, 1, 1, nullptr, false, "1-bit grayscale"},
      {"grey 8", &grey, 1, 8, nullptr, false, "8-bit grayscale"},
      {"grey 16 from ie16g", &grey16, 1, 16, nullptr, false, "16-bit grayscale"},
      {"grey 16 from grey ie24RGB", &greyRGB, 1, 16, nullptr, false, "16-bit grayscale"},
      {"palette", colours.get(), 1, 8, nullptr, false, "8-bit palette"},
      {"palette asked at 16 bits", colours.get(), 1, 16, nullptr, false, "8-bit palette"},
      {"palette with transparency", colours.get(), 1, 8, &mask, false, "8-bit palette"},
      {"ie8g as RGB", &grey, 3, 8, nullptr, false, "24-bit RGB"},
      {"CMYK as RGB", &cmyk, 3, 8, nullptr, true, "24-bit RGB, interlaced"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIOParamsVals p(nullptr);
    p.SAMPLESPERPIXEL = c.spp;
    p.BITSPERSAMPLE = c.bits;
    p.PNG_INTERLACED = c.interlaced;
    p.PNG_COMPRESSION = 9;
    p.PNG_FILTER = 2;
    p.PNG_BACKGROUND = TRGB{1, 2, 3};
    p.SetDpiX(300);
    p.SetDpiY(300);
    p.PNG_TEXTKEYS.Add(W("Title"));
    p.PNG_TEXTVALUES.Add(W("Hello"));
    p.PNG_TEXTKEYS.Add(W(" bad key"));  // libpng refuses it: skipped
    p.PNG_TEXTVALUES.Add(W("dropped"));
    TIEBitmap before;
    before.Assign(c.bitmap);
    Written w = WritePng(*c.bitmap, p, c.mask);
    ASSERT_FALSE(w.Aborted);
    EXPECT_EQ(std::memcmp(before.GetScanline(2), c.bitmap->GetScanline(2), size_t(c.bitmap->RowLen())), 0);
    const std::string f = dir.File("w.png");
    io_test::WriteFile(f, w.File);
    int rc = -1;
    const std::string check = Capture("pngcheck -v " + f, &rc);
    EXPECT_EQ(rc, 0) << check;
    EXPECT_NE(check.find(c.type), std::string::npos) << check;
    EXPECT_NE(check.find("11811x11811 pixels/meter"), std::string::npos);
    EXPECT_NE(check.find("Title"), std::string::npos);
    EXPECT_EQ(check.find("bad key"), std::string::npos);
    if (c.mask && c.spp == 1) {
      EXPECT_NE(check.find("tRNS"), std::string::npos);
    }

    // Pillow's pixels against ours: I mode for 16-bit grey, RGBA otherwise.
    const bool sixteen = std::string(c.type).find("16-bit grayscale") != std::string::npos;
    std::string dump = Capture("/usr/bin/python3 -c 'import sys; from PIL import Image; im=Image.open(\"" + f +
                               "\"); im=im.convert(\"I\") if " + (sixteen ? "1" : "0") +
                               " else im.convert(\"RGBA\"); sys.stdout.write(\" \".join(str(v) for p in "
                               "(im.getdata()) for v in (p if isinstance(p,tuple) else (p,))))'");
    std::istringstream in(dump);
    std::vector<long> got;
    long v;
    while (in >> v) got.push_back(v);
    TIEBitmap rgb(Wd, H, ie24RGB);
    rgb.CopyAndConvertFormat(c.bitmap);
    std::vector<long> want;
    for (Integer y = 0; y < H; ++y) {
      for (Integer x = 0; x < Wd; ++x) {
        if (sixteen) {
          long s = c.bitmap->PixelFormat() == ie16g ? static_cast<Word*>(c.bitmap->GetScanline(y))[x]
                                                     : static_cast<TRGB*>(c.bitmap->GetScanline(y))[x].r * 257L;
          want.push_back(s);
          continue;
        }
        TRGB px = static_cast<TRGB*>(rgb.GetScanline(y))[x];
        long alpha = c.mask ? mask.GetPixel(x, y) : 255;
        if (c.mask && c.spp == 1 && alpha != 255) {
          // Palette output: partly transparent pixels become the transparent background entry.
          want.insert(want.end(), {3, 2, 1, 0});
        } else {
          want.insert(want.end(), {px.r, px.g, px.b, alpha});
        }
      }
    }
    EXPECT_EQ(got, want);

    // Our own reader gets the background and the texts back.
    Decoded d;
    Read(d, w.File, false, true);
    ASSERT_FALSE(d.P.Aborting);
    ASSERT_EQ(d.Params.PNG_TEXTKEYS.Count(), 1);
    EXPECT_EQ(d.Params.PNG_TEXTVALUES.Strings(0), W("Hello"));
    const TRGB bk = d.Params.PNG_BACKGROUND;
    const bool greyOut = std::string(c.type).find("grayscale") != std::string::npos;
    if (greyOut) {
      EXPECT_TRUE(bk.r == 0 && bk.g == 0 && bk.b == 0);  // grey output always names level 0
    } else if (!(c.spp == 1 && !c.mask)) {
      EXPECT_TRUE(bk.r == 3 && bk.g == 2 && bk.b == 1);
    }
  }
}

TEST(PngWriter, ShortWritesAndEmptyPicturesSetTheAbortFlag) {
  auto pic = MakePicture(200, 100);
  TIOParamsVals p(nullptr);
  p.SAMPLESPERPIXEL = 3;
  p.BITSPERSAMPLE = 8;
  p.PNG_COMPRESSION = 0;
  class Short : public TMemoryStream {
   public:
    int64_t Write(const void* B, int64_t N) override {
      int64_t n = std::min<int64_t>(N, 500 - Size());
      return n > 0 ? TMemoryStream::Write(B, n) : 0;
    }
  } s;
  Progress pr;
  EXPECT_NO_THROW(IEWritePNG(&s, pic.get(), p, pr.Rec, nullptr));
  EXPECT_TRUE(pr.Aborting);
  TIEBitmap empty;
  TMemoryStream m;
  Progress pe;
  IEWritePNG(&m, &empty, p, pe.Rec, nullptr);
  EXPECT_TRUE(pe.Aborting);
  EXPECT_EQ(m.Size(), 0);
}

}  // namespace test_png_tests
