// Packed DIB reading and writing, checked against an independent BMP codec
// (ImageMagick's command line) and against hostile blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/render/iedib.h"
#include "imaging/core/base/iestartup.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace test_dib_tests {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

class DibFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    temp_ = std::make_unique<gt_test::TempDir>("dib");
    ASSERT_TRUE(temp_->Ok());
    dir_ = temp_->Path;
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }
  static Bytes Read(const std::string& path) { return gt_test::ReadFileBytes(path); }
  static void Write(const std::string& path, const Bytes& b) { gt_test::WriteFileBytes(path, b); }
  // The picture as ImageMagick decodes it: red, green, blue per pixel, top row first.
  Bytes ImageMagickRGB(const std::string& bmp) {
    const std::string out = Path("pixels.rgb");
    Run("convert '" + bmp + "' -depth 8 rgb:'" + out + "'");
    return Read(out);
  }
  std::unique_ptr<gt_test::TempDir> temp_;
  fs::path dir_;
};

using gt_test::PutU16;
using gt_test::PutU32;
using gt_test::U32;

// Our picture as red, green, blue per pixel, top row first (ie1g: 0 or 255).
Bytes OurRGB(TIEBitmap& bmp) {
  Bytes out;
  for (Integer y = 0; y < bmp.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(bmp.GetScanline(y));
    for (Integer x = 0; x < bmp.Width(); ++x) {
      if (bmp.PixelFormat() == ie1g) {
        const uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        out.insert(out.end(), {v, v, v});
      } else {
        out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

// A bare 40-byte header followed by Extra zero bytes.
Bytes Header(int32_t w, int32_t h, uint16_t bits, uint32_t compression, size_t extra) {
  Bytes b(40 + extra, 0);
  PutU32(b, 0, 40);
  PutU32(b, 4, static_cast<uint32_t>(w));
  PutU32(b, 8, static_cast<uint32_t>(h));
  PutU16(b, 12, 1);
  PutU16(b, 14, bits);
  PutU32(b, 16, compression);
  return b;
}

TEST_F(DibFiles, ImageMagickBmp3DecodesAlike) {
  struct Case {
    int bits;
    const char* options;
    // 16-bit pictures come in a larger header that holds the bit-field masks.
    const char* coder = "BMP3";
  } cases[] = {
      {1, "-monochrome -type bilevel"},
      {4, "-colors 12 -type palette"},
      {8, "-colors 200 -type palette -compress none"},
      {24, "-type truecolor"},
      {32, "-alpha set -define bmp3:alpha=true"},
      // Five- and six-bit samples widen to full scale, exactly as there.
      {16, "-define bmp:subtype=RGB565", "BMP"},
      {16, "-define bmp:subtype=RGB555", "BMP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.options));
    const std::string file = Path("src.bmp");
    // 13 columns: odd, and not a multiple of 4 or 8, so row padding matters.
    Run(std::string("convert -seed 3 -size 13x7 plasma: ") + c.options + " " + c.coder + ":'" + file + "'");
    const Bytes bmp = Read(file);
    ASSERT_GT(bmp.size(), 54u);
    const Bytes dib(bmp.begin() + 14, bmp.end());
    ASSERT_EQ(dib[14], c.bits) << "fixture has the wrong depth";
    TIEBitmap out;
    EXPECT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), c.bits);
    EXPECT_EQ(out.PixelFormat(), c.bits == 1 ? ie1g : ie24RGB);
    ASSERT_EQ(out.Width(), 13);
    ASSERT_EQ(out.Height(), 7);
    EXPECT_EQ(OurRGB(out), ImageMagickRGB(file));
  }
}

// Fields of every width from 1 to 12 bits, at a low and a high position:
// each value widens to within one level of its exact share of 255, with 0
// and full scale exact.
TEST(DibRead, BitFieldsOfEveryWidthSpanTheFullRange) {
  for (int n = 1; n <= 12; ++n) {
    for (int shift : {0, 16 - n}) {
      SCOPED_TRACE(::testing::Message() << n << " bits at " << shift);
      const uint32_t max = (1u << n) - 1, mask = max << shift;
      const int32_t w = int32_t(max) + 1;
      Bytes dib = Header(w, 1, 16, 3, 12 + (size_t(w) * 2 + 3) / 4 * 4);
      PutU32(dib, 40, mask), PutU32(dib, 44, 0), PutU32(dib, 48, 0);
      for (uint32_t v = 0; v <= max; ++v) PutU16(dib, 52 + 2 * v, static_cast<uint16_t>(v << shift));
      TIEBitmap out;
      ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 16);
      const Bytes rgb = OurRGB(out);
      EXPECT_EQ(rgb[0], 0);
      EXPECT_EQ(rgb[3 * max], 255);
      for (uint32_t v = 0; v <= max; ++v) {
        const double exact = v * 255.0 / max;
        EXPECT_LE(std::abs(rgb[3 * v] - exact), 1.0) << "value " << v;
        EXPECT_EQ(rgb[3 * v + 1], 0);
      }
    }
  }
}

// A picture with distinct pixels in every format the writer keeps.
void Fill(TIEBitmap& bmp, TIEPixelFormat format) {
  ASSERT_TRUE(bmp.Allocate(11, 5, format));
  for (Integer y = 0; y < 5; ++y) {
    auto* row = static_cast<uint8_t*>(bmp.GetScanline(y));
    for (Integer x = 0; x < 11; ++x) {
      const uint8_t v = static_cast<uint8_t>(x * 23 + y * 41);
      if (format == ie1g) {
        if ((x * 7 + y * 3) % 5 < 2) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        else row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
      } else if (format == ie24RGB) {
        row[3 * x] = v, row[3 * x + 1] = static_cast<uint8_t>(v ^ 0x5A), row[3 * x + 2] = static_cast<uint8_t>(255 - v);
      } else {
        row[x] = v;
      }
    }
  }
  if (format == ie8p)
    for (Integer i = 0; i < 256; ++i)
      bmp.SetPaletteColor(i, TRGB{static_cast<Byte>(i), static_cast<Byte>(255 - i), static_cast<Byte>(i * 3)});
}

// The expected red, green, blue of the rectangle, top row first.
Bytes ExpectedRGB(TIEBitmap& bmp, Integer x1, Integer y1, Integer x2, Integer y2) {
  Bytes out;
  for (Integer y = y1; y < y2; ++y) {
    const auto* row = static_cast<const uint8_t*>(bmp.GetScanline(y));
    for (Integer x = x1; x < x2; ++x) {
      switch (bmp.PixelFormat()) {
        case ie1g: {
          const uint8_t v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
          out.insert(out.end(), {v, v, v});
          break;
        }
        case ie8g:
          out.insert(out.end(), {row[x], row[x], row[x]});
          break;
        case ie8p: {
          TRGB c;
          bmp.GetPaletteColor(row[x], c);
          out.insert(out.end(), {c.r, c.g, c.b});
          break;
        }
        default:
          out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
  }
  return out;
}

TEST_F(DibFiles, WrittenDibWithFileHeaderDecodesInImageMagick) {
  struct Case {
    TIEPixelFormat format;
    int bits;
    Integer x1, y1, x2, y2;
  } cases[] = {
      {ie24RGB, 24, 0, 0, 0, 0}, {ie8g, 8, 0, 0, 0, 0}, {ie8p, 8, 0, 0, 0, 0},
      {ie1g, 1, 0, 0, 0, 0},     {ie1g, 1, 3, 1, 10, 4}, {ie24RGB, 24, 2, 1, 9, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.format << " " << c.x1 << "," << c.y1);
    TIEBitmap src;
    Fill(src, c.format);
    HGLOBAL h = _CopyBitmaptoDIBEx(&src, c.x1, c.y1, c.x2, c.y2, 96, 300);
    ASSERT_NE(h, nullptr);
    const size_t size = GlobalSize(h);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
    Bytes dib(p, p + size);
    GlobalUnlock(h);
    ASSERT_EQ(GlobalFree(h), nullptr);
    const Integer w = (c.x2 ? c.x2 : 11) - c.x1, hgt = (c.y2 ? c.y2 : 5) - c.y1;
    EXPECT_EQ(U32(dib, 4), static_cast<uint32_t>(w));
    EXPECT_EQ(U32(dib, 8), static_cast<uint32_t>(hgt));
    EXPECT_EQ(dib[14], c.bits);
    EXPECT_EQ(U32(dib, 24), 3779u);   // 96 dpi
    EXPECT_EQ(U32(dib, 28), 11811u);  // 300 dpi
    const size_t table = c.bits == 1 ? 8 : c.bits == 8 ? 1024 : 0;
    const size_t rowLen = ((size_t(w) * c.bits + 31) / 32) * 4;
    EXPECT_EQ(size, 44 + table + rowLen * size_t(hgt));

    Bytes file(14, 0);
    file[0] = 'B', file[1] = 'M';
    PutU32(file, 2, static_cast<uint32_t>(14 + dib.size()));
    PutU32(file, 10, static_cast<uint32_t>(14 + 40 + table));
    file.insert(file.end(), dib.begin(), dib.end());
    const std::string path = Path("ours.bmp");
    Write(path, file);
    EXPECT_EQ(ImageMagickRGB(path), ExpectedRGB(src, c.x1, c.y1, c.x2 ? c.x2 : 11, c.y2 ? c.y2 : 5));

    // And our own reader gives the same picture back.
    TIEBitmap back;
    EXPECT_EQ(IEDIBToBitmap(dib.data(), &back, nullptr, true), c.bits);
    EXPECT_EQ(OurRGB(back), ExpectedRGB(src, c.x1, c.y1, c.x2 ? c.x2 : 11, c.y2 ? c.y2 : 5));
  }
}

TEST_F(DibFiles, WiderFormatsAreWrittenAs24BitsAndLogged) {
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(4, 3, ieRGB48));
  auto* row = static_cast<uint16_t*>(src.GetScanline(1));
  row[3] = 0x1234, row[4] = 0xABCD, row[5] = 0xFF00;  // pixel 1: red, green, blue
  const WideString saved = IEDebugLogFile;
  IEDebugLogFile = Utf8ToWide(Path("debug.log"));
  HGLOBAL h = _CopyBitmaptoDIBEx(&src, 1, 1, 3, 2, 96, 96);
  IEDebugLogFile = saved;
  ASSERT_NE(h, nullptr);
  const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
  EXPECT_EQ(p[14], 24);
  EXPECT_EQ(U32(Bytes(p, p + 40), 4), 2u);
  EXPECT_EQ(Bytes(p + 40, p + 43), (Bytes{0xFF, 0xAB, 0x12}));  // blue, green, red of pixel 1
  GlobalUnlock(h);
  EXPECT_EQ(GlobalFree(h), nullptr);
  const Bytes log = Read(Path("debug.log"));
  const std::string text(log.begin(), log.end());
  const char* lines[] = {"_CopyBitmaptoDIBEx: begin", "not supported pixel format, converting to 24bit and recurse",
                         "_CopyBitmaptoDIBEx: begin", "_CopyBitmaptoDIBEx: allocate 52 bytes",
                         "_CopyBitmaptoDIBEx: ie24RGB"};
  size_t at = 0;
  for (const char* line : lines) {
    const size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " in\n" << text;
    at = found + 1;
  }
}

TEST(DibRead, GlobalHandleAndRectangleOutsideThePicture) {
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(4, 3, ie24RGB));
  EXPECT_EQ(_CopyBitmaptoDIBEx(&src, 0, 0, 5, 3, 96, 96), nullptr);
  EXPECT_EQ(_CopyBitmaptoDIBEx(&src, 2, 0, 2, 3, 96, 96), nullptr);
  EXPECT_EQ(_CopyBitmaptoDIBEx(&src, -1, 0, 0, 0, 96, 96), nullptr);
  auto* row = static_cast<uint8_t*>(src.GetScanline(2));
  row[9] = 7, row[10] = 8, row[11] = 9;
  HGLOBAL h = _CopyBitmaptoDIBEx(&src, 0, 0, 0, 0, 96, 96);
  ASSERT_NE(h, nullptr);
  TIEBitmap back;
  EXPECT_EQ(IEDIBToBitmap(h, &back, nullptr, false), 24);
  const auto* r = static_cast<const uint8_t*>(back.GetScanline(2));
  EXPECT_EQ(Bytes(r + 9, r + 12), (Bytes{7, 8, 9}));
  EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST(DibRead, NegativeHeightIsTopDown) {
  // 2x2 at 24 bits, rows of 8 bytes; first stored row is the top one.
  Bytes dib = Header(2, -2, 24, 0, 16);
  const uint8_t rows[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
  std::memcpy(dib.data() + 40, rows, 16);
  TIEBitmap out;
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 24);
  ASSERT_EQ(out.Height(), 2);
  const auto* top = static_cast<const uint8_t*>(out.GetScanline(0));
  EXPECT_EQ(Bytes(top, top + 6), (Bytes{1, 2, 3, 4, 5, 6}));
  PutU32(dib, 8, 2);  // bottom-up: the first stored row is the bottom one
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 24);
  top = static_cast<const uint8_t*>(out.GetScanline(0));
  EXPECT_EQ(Bytes(top, top + 6), (Bytes{7, 8, 9, 10, 11, 12}));
}

TEST(DibRead, OneBitHonoursColourTable) {
  // Entry 0 white, entry 1 black: a stored 1 bit is black.
  Bytes dib = Header(3, 1, 1, 0, 8 + 4);
  std::memset(dib.data() + 40, 0xFF, 3);
  dib[48] = 0xA0;  // 1 0 1
  TIEBitmap out;
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 1);
  EXPECT_EQ(OurRGB(out), (Bytes{0, 0, 0, 255, 255, 255, 0, 0, 0}));
  std::memset(dib.data() + 40, 0, 8);
  std::memset(dib.data() + 44, 0xFF, 3);  // ordinary table: 1 is white
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 1);
  EXPECT_EQ(OurRGB(out), (Bytes{255, 255, 255, 0, 0, 0, 255, 255, 255}));
}

TEST(DibRead, BitFieldMasks) {
  struct Case {
    uint16_t bits;
    uint32_t r, g, b;
    uint32_t pixel;
    Bytes rgb;
  } cases[] = {
      // RGBA byte order: red in the lowest byte.
      {32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0x80332211, {0x11, 0x22, 0x33}},
      {32, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00332211, {0x33, 0x22, 0x11}},
      // Narrow fields repeat their top bits: full scale reads 255.
      {16, 0xF800, 0x07E0, 0x001F, 0xFFFF, {0xFF, 0xFF, 0xFF}},  // 5-6-5
      {16, 0xF800, 0x07E0, 0x001F, 0x0821, {0x08, 0x04, 0x08}},
      {16, 0xF800, 0x07E0, 0x001F, 0x8410, {0x84, 0x82, 0x84}},  // 16, 32, 16
      // 2-bit wide masks: narrow fields must not shift by a negative count.
      {16, 0x0030, 0x000C, 0x0003, 0x0039, {0xFF, 0xAA, 0x55}},
      // 1-, 3- and 4-bit fields.
      {16, 0x8000, 0x7000, 0x0F00, 0xDA00, {0xFF, 0xB6, 0xAA}},
      // Fields wider than 8 bits keep their top 8 bits (10-10-10).
      {32, 0x3FF00000, 0x000FFC00, 0x000003FF, 0x3FF003FC, {0xFF, 0x00, 0xFF}},
      {16, 0, 0, 0, 0xFFFF, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.bits << " " << std::hex << c.r);
    Bytes dib = Header(1, 1, c.bits, 3, 12 + 4);
    PutU32(dib, 40, c.r), PutU32(dib, 44, c.g), PutU32(dib, 48, c.b), PutU32(dib, 52, c.pixel);
    TIEBitmap out;
    ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), c.bits);
    EXPECT_EQ(OurRGB(out), c.rgb);
  }
  // Without masks 16 bits are 5-5-5.
  Bytes dib = Header(1, 1, 16, 0, 4);
  PutU32(dib, 40, 0x7C00);
  TIEBitmap out;
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 16);
  EXPECT_EQ(OurRGB(out), (Bytes{0xFF, 0, 0}));
}

TEST(DibRead, HostileBlocksFailCleanly) {
  struct Case {
    const char* what;
    Bytes dib;
  };
  auto with = [](Bytes b, size_t at, uint32_t v) {
    PutU32(b, at, v);
    return b;
  };
  const Bytes ok = Header(3, 2, 8, 0, 1024 + 8);
  Case cases[] = {
      {"shorter than a header", Bytes(ok.begin(), ok.begin() + 39)},
      {"header size past the block", with(ok, 0, 5000)},
      {"header size too small", with(ok, 0, 12)},
      {"rows cut short", Bytes(ok.begin(), ok.end() - 1)},
      {"colours used past the block", with(ok, 32, 0x40000000)},
      {"zero width", with(ok, 4, 0)},
      {"negative width", with(ok, 4, 0xFFFFFFFF)},
      {"zero height", with(ok, 8, 0)},
      {"most negative height", with(ok, 8, 0x80000000)},
      {"huge height", with(ok, 8, 0x7FFFFFFF)},
      {"huge width", with(ok, 4, 0x7FFFFFFF)},
      {"odd depth", Header(3, 2, 7, 0, 64)},
      {"run-length rows", Header(3, 2, 8, 1, 1024 + 8)},
      {"masks missing", Header(1, 1, 32, 3, 4)},
      {"masks at 24 bits", Header(1, 1, 24, 3, 16)},
  };
  ASSERT_NE(ok.size(), 0u);
  {
    TIEBitmap out;
    ASSERT_EQ(IEDIBToBitmapBlock(ok.data(), ok.size(), &out), 8);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TIEBitmap out;
    ASSERT_TRUE(out.Allocate(2, 2, ie24RGB));
    EXPECT_EQ(IEDIBToBitmapBlock(c.dib.data(), c.dib.size(), &out), 0);
    EXPECT_EQ(out.Width(), 0);
    EXPECT_EQ(out.Height(), 0);
  }
}

TEST(DibRead, FourBitOddWidthAndPaletteIndexBeyondTable) {
  // Width 3 at 4 bits; colours used 2 so index 5 has no entry (black).
  Bytes dib = Header(3, 1, 4, 0, 8 + 4);
  PutU32(dib, 32, 2);
  dib[40] = 10, dib[41] = 20, dib[42] = 30;  // entry 0: b g r
  dib[44] = 40, dib[45] = 50, dib[46] = 60;  // entry 1
  dib[48] = 0x15, dib[49] = 0x0F;            // 1, 5, 0 (low half unused)
  TIEBitmap out;
  ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 4);
  EXPECT_EQ(OurRGB(out), (Bytes{60, 50, 40, 0, 0, 0, 30, 20, 10}));
}

}  // namespace

}  // namespace test_dib_tests
