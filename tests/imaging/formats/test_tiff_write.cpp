// The TIFF writer against libtiff and tifffile: every stored layout under
// every lossless compression reads back with the source's pixels and no
// warning, pages insert where asked, the tags other readers depend on are
// there, and JPEG-compressed files decode close to the source.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/formats/tiffwrite.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/classes.h"
#include "platform/base/sysutils.h"
#include "tests/support/files.h"
#include "tests/support/lcg.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"
#include "tests/support/temp_dir.h"

namespace test_tiff_write_tests {

using gt_test::Capture;
using gt_test::HaveTool;
using gt_test::Shell;
using Bytes = std::vector<uint8_t>;

namespace {

const std::string kPy = "/usr/bin/python3";

struct TWriteResult {
  Bytes File;
  bool Aborted = true;
  Integer Images = 0;
};

TWriteResult Write(TIEBitmap* B, TIOParamsVals& P, bool Insert = false, const Bytes& Existing = {}) {
  TMemoryStream s;
  if (!Existing.empty()) {
    s.WriteBuffer(Existing.data(), int64_t(Existing.size()));
    s.SetPosition(0);
  }
  std::atomic<bool> abort{false};
  TIEProgressRec rec(abort);
  TWriteResult r;
  r.Images = IEWriteTIFF(&s, Insert, B, P, rec);
  r.Aborted = abort;
  r.File = gt_test::StreamBytes(s);
  return r;
}

// The entries of the first directory of a little-endian TIFF: tag -> (count, value field).
std::map<Word, std::pair<uint32_t, uint32_t>> FirstDirectory(const Bytes& F) {
  std::map<Word, std::pair<uint32_t, uint32_t>> tags;
  if (F.size() < 8 || F[0] != 'I' || F[1] != 'I') return tags;
  const uint32_t at = gt_test::U32(F, 4);
  if (at + 2 > F.size()) return tags;
  const Word n = Word(F[at] | F[at + 1] << 8);
  for (Word i = 0; i < n && at + 2 + 12u * (i + 1) <= F.size(); ++i) {
    const size_t e = at + 2 + 12u * i;
    const Word tag = Word(F[e] | F[e + 1] << 8);
    const Word type = Word(F[e + 2] | F[e + 3] << 8);
    uint32_t v = gt_test::U32(F, e + 8);
    if (type == 3 && gt_test::U32(F, e + 4) == 1) v &= 0xFFFF;
    tags[tag] = {gt_test::U32(F, e + 4), v};
  }
  return tags;
}

// A picture with smooth areas and noise, so every compression has work.
void FillPicture(TIEBitmap& B, uint32_t Seed) {
  gt_test::Lcg r(Seed);
  const Integer w = B.Width(), h = B.Height();
  for (Integer y = 0; y < h; ++y) {
    Byte* p = static_cast<Byte*>(B.GetScanline(y));
    const Integer len = B.GetRowLen();
    for (Integer i = 0; i < len; ++i) p[i] = (y / 7 + i / 11) % 3 == 0 ? Byte(r.Next()) : Byte(i * 3 + y);
  }
  if (B.PixelFormat() == ie8p)
    for (Integer i = 0; i < 256; ++i) B.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i * 5)});
  (void)w;
}

// The layouts under test: how the picture is made, what is asked, and the
// pixels tifffile must then give (after the palette, for palette files).
struct TLayoutCase {
  const char* Name;
  TIEPixelFormat Format;
  Integer Bits, Samples, Photometric;
  bool Alpha;
  Word ExpectPhotometric;
  Integer ExpectSamples;
};

Bytes ExpectedPixels(TIEBitmap& B, const TLayoutCase& C) {
  Bytes e;
  const Integer w = B.Width(), h = B.Height();
  for (Integer y = 0; y < h; ++y) {
    const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      switch (B.PixelFormat()) {
        case ie1g: e.push_back((p[x >> 3] >> (7 - (x & 7))) & 1); break;
        case ie8g: e.push_back(p[x]); break;
        case ie16g:
        case ieRGB48: {
          const Integer n = B.PixelFormat() == ie16g ? 2 : 6;
          e.insert(e.end(), p + n * x, p + n * x + n);
          break;
        }
        case ie8p: {
          TRGB c;
          B.GetPaletteColor(p[x], c);
          e.insert(e.end(), {c.r, c.g, c.b});
          break;
        }
        case ieCMYK:
          for (Integer i = 0; i < 4; ++i) e.push_back(Byte(255 - p[4 * x + i]));
          break;
        default:
          e.insert(e.end(), {p[3 * x + 2], p[3 * x + 1], p[3 * x]});
          if (C.Alpha) e.push_back(static_cast<const Byte*>(B.GetAlphaChannel()->GetScanline(y))[x]);
          break;
      }
    }
  }
  return e;
}

// Pixels as tifffile reads the file that libtiff's tiffcp decompressed:
// palette files through their colour map (8-bit values), bilevel as 0/1;
// 2- and 4-bit palettes, which tifffile cannot unpack alone, through Pillow.
std::string ReadBack(const gt_test::TempDir& Dir, const std::string& File, int* Status) {
  const std::string plain = Dir.File("plain.tif");
  if (Shell("tiffcp -c none '" + File + "' '" + plain + "'") != 0) return "tiffcp failed";
  return Capture(kPy + " -c \"import sys, numpy, tifffile\n"
                       "p = tifffile.TiffFile('" + plain + "').pages[0]\n"
                       "if p.bitspersample in (2, 4):\n"
                       "  from PIL import Image\n"
                       "  a = numpy.asarray(Image.open('" + plain + "').convert('RGB'))\n"
                       "else:\n"
                       "  a = p.asarray()\n"
                       "  if p.photometric == 3: a = (p.colormap[:, a] >> 8).transpose(1, 2, 0).astype(numpy.uint8)\n"
                       "if a.dtype == bool: a = a.astype(numpy.uint8)\n"
                       "sys.stdout.buffer.write(numpy.ascontiguousarray(a).tobytes())\"",
                 Status);
}

TEST(TiffWrite, EveryLayoutAndLosslessCompressionReadsBackExactly) {
  ASSERT_TRUE(HaveTool("tiffinfo") && HaveTool("tiffcp")) << "libtiff tools missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("tiffw");
  const TLayoutCase layouts[] = {
      {"RGB", ie24RGB, 8, 3, 2, false, 2, 3},
      {"RGB with alpha", ie24RGB, 8, 3, 2, true, 2, 4},
      // A stale palette photometric from an earlier load must not leave tag 262 out.
      {"bilevel", ie1g, 1, 1, 3, false, 1, 1},
      {"grey 8", ie8g, 8, 1, 1, false, 1, 1},
      {"grey 16", ie16g, 16, 1, 1, false, 1, 1},
      {"palette 8", ie8p, 8, 1, 3, false, 3, 1},
      {"RGB 48", ieRGB48, 16, 3, 2, false, 2, 3},
      {"CMYK", ieCMYK, 8, 4, 5, false, 5, 4},
  };
  const struct {
    Integer Param;
    Word Code;
  } compressions[] = {{0, 1}, {5, 5}, {8, 32773}, {9, 32946}, {10, 32946}};
  for (const TLayoutCase& c : layouts) {
    TIEBitmap b(53, 37, c.Format);
    FillPicture(b, 9);
    if (c.Alpha) {
      TIEBitmap* a = b.GetAlphaChannel();
      for (Integer y = 0; y < b.Height(); ++y)
        for (Integer x = 0; x < b.Width(); ++x) static_cast<Byte*>(a->GetScanline(y))[x] = Byte(x * 5 + y);
    }
    const Bytes expect = ExpectedPixels(b, c);
    for (const auto& comp : compressions) {
      SCOPED_TRACE(std::string(c.Name) + ", compression " + std::to_string(comp.Param));
      TIOParamsVals p(nullptr);
      p.BITSPERSAMPLE = c.Bits;
      p.SAMPLESPERPIXEL = c.Samples;
      p.TIFF_PHOTOMETINTEPRET = Byte(c.Photometric);
      p.TIFF_COMPRESSION = Byte(comp.Param);
      p.SetDpiX(150);
      p.SetDpiY(75);
      const TWriteResult r = Write(&b, p);
      ASSERT_FALSE(r.Aborted);
      EXPECT_EQ(r.Images, 1);
      auto tags = FirstDirectory(r.File);
      EXPECT_EQ(tags[259].second, comp.Code);
      ASSERT_TRUE(tags.count(262));
      EXPECT_EQ(tags[262].second, c.ExpectPhotometric);
      EXPECT_EQ(tags[277].second, Word(c.ExpectSamples));
      if (c.Alpha) {
        EXPECT_EQ(tags[338].second, 2u);  // unassociated alpha
      }
      EXPECT_EQ(p.SAMPLESPERPIXEL, c.ExpectSamples);
      const std::string f = dir.File("out.tif");
      gt_test::WriteFileBytes(f, r.File);
      int status = -1;
      const std::string info = Capture("tiffinfo -D '" + f + "' 2>&1 >/dev/null", &status);
      EXPECT_EQ(status, 0);
      EXPECT_EQ(info, "") << "libtiff complained";
      const std::string px = ReadBack(dir, f, &status);
      ASSERT_EQ(status, 0) << px;
      EXPECT_TRUE(px.size() == expect.size() && std::memcmp(px.data(), expect.data(), expect.size()) == 0)
          << "pixels differ (" << px.size() << " bytes read, " << expect.size() << " expected)";
    }
  }
}

TEST(TiffWrite, ReducedColourLayoutsOfRGBPictures) {
  ASSERT_TRUE(HaveTool("tiffcp")) << "libtiff tools missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("tiffw");
  struct TCase {
    const char* Name;
    bool Grey;
    Integer Bits;
    Word ExpectPhotometric;
    Integer ExpectBits;
  };
  const TCase cases[] = {
      {"grey picture, 8 bits", true, 8, 1, 8},
      {"grey picture, 16 bits", true, 16, 1, 16},
      {"coloured picture, 4 bits", false, 4, 3, 4},
      {"coloured picture, 8 bits", false, 8, 3, 8},
      {"coloured picture, 16 bits asked", false, 16, 3, 8},
  };
  for (const TCase& c : cases) {
    for (Integer comp : {0, 5}) {
      SCOPED_TRACE(std::string(c.Name) + ", compression " + std::to_string(comp));
      // Eleven colours (or grey levels), so every depth holds them exactly.
      TIEBitmap b(41, 23, ie24RGB);
      Bytes rgb;
      for (Integer y = 0; y < b.Height(); ++y) {
        Byte* p = static_cast<Byte*>(b.GetScanline(y));
        for (Integer x = 0; x < b.Width(); ++x) {
          const Integer k = (x / 4 + y) % 11;
          const Byte r = Byte(k * 23), g = c.Grey ? r : Byte(200 - k * 9), bl = c.Grey ? r : Byte(k * k);
          p[3 * x] = bl, p[3 * x + 1] = g, p[3 * x + 2] = r;
          if (c.Grey) {
            if (c.Bits == 16) rgb.insert(rgb.end(), {r, r});
            else rgb.push_back(r);
          } else {
            rgb.insert(rgb.end(), {r, g, bl});
          }
        }
      }
      TIOParamsVals p(nullptr);
      p.BITSPERSAMPLE = c.Bits;
      p.SAMPLESPERPIXEL = 1;
      p.TIFF_COMPRESSION = Byte(comp);
      const TWriteResult r = Write(&b, p);
      ASSERT_FALSE(r.Aborted);
      auto tags = FirstDirectory(r.File);
      EXPECT_EQ(tags[262].second, c.ExpectPhotometric);
      EXPECT_EQ(tags[258].second, Word(c.ExpectBits));
      EXPECT_EQ(tags.count(320), c.ExpectPhotometric == 3 ? 1u : 0u);
      if (c.ExpectPhotometric == 3) {
        EXPECT_EQ(tags[320].first, 3u << c.ExpectBits);
      }
      const std::string f = dir.File("q.tif");
      gt_test::WriteFileBytes(f, r.File);
      int status = -1;
      const std::string px = ReadBack(dir, f, &status);
      ASSERT_EQ(status, 0) << px;
      EXPECT_EQ(Bytes(px.begin(), px.end()), rgb);
    }
  }
}

// A picture of one colour whose width tells the pages apart.
std::unique_ptr<TIEBitmap> Page(Integer W) {
  auto b = std::make_unique<TIEBitmap>(W, 5, ie24RGB);
  FillPicture(*b, Cardinal(W));
  return b;
}

TEST(TiffWrite, InsertedPagesLandWhereAsked) {
  ASSERT_TRUE(HaveTool("tiffinfo")) << "tiffinfo missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("tiffw");
  TIOParamsVals p(nullptr);
  p.TIFF_COMPRESSION = 5;
  TWriteResult r = Write(Page(10).get(), p);
  ASSERT_FALSE(r.Aborted);
  const struct {
    Integer Width, Index;
    std::vector<Integer> Order;
  } steps[] = {
      {20, 7, {10, 20}},           // past the end: appended
      {30, 0, {30, 10, 20}},       // first
      {40, 2, {30, 10, 40, 20}},   // in the middle
      {50, 4, {30, 10, 40, 20, 50}},  // exactly at the end
      {60, -1, {30, 10, 40, 20, 50, 60}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.Width);
    p.TIFF_IMAGEINDEX = s.Index;
    p.TIFF_COMPRESSION = Byte(s.Width % 20 ? 0 : 8);
    r = Write(Page(s.Width).get(), p, true, r.File);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Images, Integer(s.Order.size()));
    const std::string f = dir.File("pages.tif");
    gt_test::WriteFileBytes(f, r.File);
    int status = -1;
    const std::string widths = Capture("tiffinfo '" + f + "' 2>&1 | grep -o 'Image Width: [0-9]*' | cut -d' ' -f3 | tr '\\n' ' '", &status);
    std::string expect;
    for (Integer w : s.Order) expect += std::to_string(w) + " ";
    EXPECT_EQ(widths, expect);
  }
  {
    // A chain that loops back (last page -> first) ends the walk at the revisit;
    // the new page goes after the last one seen and closes the loop.
    TIOParamsVals two(nullptr);
    TWriteResult loop = Write(Page(10).get(), two);
    two.TIFF_IMAGEINDEX = 1;
    loop = Write(Page(20).get(), two, true, loop.File);
    ASSERT_FALSE(loop.Aborted);
    const uint32_t first = gt_test::U32(loop.File, 4);
    const uint32_t second = gt_test::U32(loop.File, first + 2 + 12u * (loop.File[first] | loop.File[first + 1] << 8));
    const size_t secondNext = second + 2 + 12u * (loop.File[second] | loop.File[second + 1] << 8);
    ASSERT_EQ(gt_test::U32(loop.File, secondNext), 0u);
    gt_test::PutU32(loop.File, secondNext, first);
    two.TIFF_IMAGEINDEX = 99;
    const TWriteResult r3 = Write(Page(30).get(), two, true, loop.File);
    ASSERT_FALSE(r3.Aborted);
    EXPECT_EQ(r3.Images, 3);
    const std::string f = dir.File("loop.tif");
    gt_test::WriteFileBytes(f, r3.File);
    EXPECT_EQ(Capture("tiffinfo '" + f + "' 2>&1 | grep -o 'Image Width: [0-9]*' | cut -d' ' -f3 | tr '\\n' ' '"),
              "10 20 30 ");
  }
  // Only little-endian files take pages; the stream stays as it was.
  Bytes mm = r.File;
  mm[0] = mm[1] = 'M';
  const TWriteResult refused = Write(Page(5).get(), p, true, mm);
  EXPECT_TRUE(refused.Aborted);
  EXPECT_EQ(refused.Images, 0);
  EXPECT_EQ(refused.File, mm);
}

TEST(TiffWrite, StripsTagsAndEdgeLayouts) {
  {
    SCOPED_TRACE("rows longer than a strip");
    TIEBitmap b(200000, 100, ie24RGB);
    TIOParamsVals p(nullptr);
    const TWriteResult r = Write(&b, p);
    ASSERT_FALSE(r.Aborted);
    auto tags = FirstDirectory(r.File);
    EXPECT_EQ(tags[278].second, 1u);
    EXPECT_EQ(tags[273].first, 100u);
    EXPECT_EQ(tags[279].first, 100u);
    EXPECT_GE(r.File.size(), 200000u * 3 * 100);
  }
  {
    SCOPED_TRACE("200 equal bytes under PackBits: runs of 128 and 72");
    TIEBitmap b(200, 1, ie8g);
    std::memset(b.GetScanline(0), 0x5A, 200);
    TIOParamsVals p(nullptr);
    p.BITSPERSAMPLE = 8;
    p.SAMPLESPERPIXEL = 1;
    p.TIFF_COMPRESSION = 8;
    const TWriteResult r = Write(&b, p);
    ASSERT_FALSE(r.Aborted);
    auto tags = FirstDirectory(r.File);
    ASSERT_EQ(tags[279].second, 4u);
    const Bytes strip(r.File.begin() + tags[273].second, r.File.begin() + tags[273].second + 4);
    EXPECT_EQ(strip, (Bytes{Byte(1 - 128), 0x5A, Byte(1 - 72), 0x5A}));
  }
  {
    SCOPED_TRACE("fully opaque alpha is left out");
    TIEBitmap b(9, 9, ie24RGB);
    TIEBitmap* a = b.GetAlphaChannel();
    for (Integer y = 0; y < 9; ++y) std::memset(a->GetScanline(y), 255, 9);
    TIOParamsVals p(nullptr);
    auto tags = FirstDirectory(Write(&b, p).File);
    EXPECT_EQ(tags[277].second, 3u);
    EXPECT_EQ(tags.count(338), 0u);
  }
  {
    SCOPED_TRACE("no picture: the description and resolution only");
    TIOParamsVals p(nullptr);
    p.TIFF_IMAGEDESCRIPTION = "scan of page one";
    const TWriteResult r = Write(nullptr, p);
    ASSERT_FALSE(r.Aborted);
    auto tags = FirstDirectory(r.File);
    std::vector<Word> ids;
    for (auto& t : tags) ids.push_back(t.first);
    EXPECT_EQ(ids, (std::vector<Word>{270, 282, 283, 296}));
    EXPECT_EQ(tags[270].first, 17u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r.File[tags[270].second])), "scan of page one");
  }
  {
    SCOPED_TRACE("a short text sits in the entry without its NUL");
    TIOParamsVals p(nullptr);
    p.TIFF_DOCUMENTNAME = "abc";
    TIEBitmap b(2, 2, ie24RGB);
    auto tags = FirstDirectory(Write(&b, p).File);
    EXPECT_EQ(tags[269].first, 3u);
    EXPECT_EQ(tags[269].second, uint32_t('a' | 'b' << 8 | 'c' << 16));
  }
}

TEST(TiffWrite, JpegCompressedFilesDecodeThroughLibtiff) {
  gt_test::TempDir dir("tiffw");
  TIEBitmap b(64, 48, ie24RGB);
  for (Integer y = 0; y < 48; ++y) {
    Byte* p = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < 64; ++x) p[3 * x] = Byte(x * 4), p[3 * x + 1] = Byte(y * 5), p[3 * x + 2] = 128;
  }
  struct TCase {
    const char* Name;
    Integer Compression, ColorSpace;
    Word Code, Photometric;
  };
  const TCase cases[] = {
      {"new style, YCbCr", 7, 2, 7, 6},
      {"new style, RGB", 7, 0, 7, 2},
      {"old style, YCbCr", 6, 2, 6, 6},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p(nullptr);
    p.TIFF_COMPRESSION = Byte(c.Compression);
    p.TIFF_JPEGCOLORSPACE = Byte(c.ColorSpace);
    p.TIFF_JPEGQUALITY = 95;
    const TWriteResult r = Write(&b, p);
    ASSERT_FALSE(r.Aborted);
    auto tags = FirstDirectory(r.File);
    EXPECT_EQ(tags[259].second, c.Code);
    EXPECT_EQ(tags[262].second, c.Photometric);
    const std::string f = dir.File("j.tif");
    gt_test::WriteFileBytes(f, r.File);
    int status = -1;
    const std::string px = Capture(kPy + " -c \"import sys; from PIL import Image; "
                                         "sys.stdout.buffer.write(Image.open('" + f + "').convert('RGB').tobytes())\"",
                                   &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(px.size(), size_t(64 * 48 * 3));
    int64_t err = 0;
    for (Integer y = 0; y < 48; ++y) {
      const Byte* s = static_cast<const Byte*>(b.GetScanline(y));
      for (Integer x = 0; x < 64; ++x)
        for (Integer k = 0; k < 3; ++k) err += std::abs(Byte(px[size_t((y * 64 + x) * 3 + k)]) - s[3 * x + 2 - k]);
    }
    EXPECT_LT(double(err) / (64 * 48 * 3), 3.0);
  }
}

TEST(TiffWrite, CompanionSavesByFileAndStream) {
  ASSERT_TRUE(HaveTool("tiffinfo")) << "tiffinfo missing (scripts/install-deps.sh installs it)";
  IEBuildFormatRegistry();
  gt_test::TempDir dir("tiffw");
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(31, 17, ie24RGB);
  FillPicture(*io.IEBitmap(), 4);
  io.Params().TIFF_COMPRESSION = 5;
  const std::string f = dir.File("saved.tif");
  io.SaveToFile(Utf8ToWide(f));
  EXPECT_FALSE(io.Aborting());
  TMemoryStream s;
  io.SaveToStream(&s, ieftTIFF);
  EXPECT_FALSE(io.Aborting());
  const Bytes file = gt_test::ReadFileBytes(f);
  EXPECT_EQ(gt_test::StreamBytes(s), file);
  int status = -1;
  const std::string info = Capture("tiffinfo '" + f + "' 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(info.find("Image Width: 31 Image Length: 17"), std::string::npos) << info;
  EXPECT_NE(info.find("LZW"), std::string::npos) << info;
}

}  // namespace

}  // namespace test_tiff_write_tests
