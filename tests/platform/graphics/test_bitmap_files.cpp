// BMP files from another writer loaded into TBitmap: 16-bit bit fields and
// run-length (RLE8, RLE4) pictures, compared pixel by pixel with
// ImageMagick's decoding of the same file; hand-made run-length files for the
// codes it never writes and for cut or hostile data.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace test_bitmap_files_tests {

namespace {

using Bytes = std::vector<uint8_t>;

using gt_test::PutU16;
using gt_test::PutU32;
using gt_test::U32;
Bytes ReadFile(const std::string& Path) { return gt_test::ReadFileBytes(Path); }
void WriteFile(const std::string& Path, const Bytes& B) { gt_test::WriteFileBytes(Path, B); }

void Load(TBitmap& B, const Bytes& File) {
  TMemoryStream s;
  if (!File.empty()) s.WriteBuffer(File.data(), static_cast<int64_t>(File.size()));
  s.SetPosition(0);
  B.LoadFromStream(&s);
}

// The picture as red, green, blue per pixel, top row first, read through the
// canvas (so through the bitmap's own pixel-to-colour path).
Bytes OurRGB(TBitmap& B) {
  Bytes out;
  for (Integer y = 0; y < B.Height(); ++y)
    for (Integer x = 0; x < B.Width(); ++x) {
      const TColor c = B.Canvas()->Pixels(x, y);
      out.insert(out.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return out;
}

// A BMP file with a 40-byte header: Table entries as red, green, blue; Data
// the pixel bytes as they stand.
Bytes BmpFile(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression, const std::vector<RGBQUAD>& Table,
              const Bytes& Data) {
  const size_t off = 14 + 40 + Table.size() * 4;
  Bytes f(off, 0);
  f[0] = 'B', f[1] = 'M';
  PutU32(f, 2, static_cast<uint32_t>(off + Data.size()));
  PutU32(f, 10, static_cast<uint32_t>(off));
  PutU32(f, 14, 40);
  PutU32(f, 18, static_cast<uint32_t>(W));
  PutU32(f, 22, static_cast<uint32_t>(H));
  PutU16(f, 26, 1);
  PutU16(f, 28, Bits);
  PutU32(f, 30, Compression);
  PutU32(f, 34, static_cast<uint32_t>(Data.size()));
  PutU32(f, 46, static_cast<uint32_t>(Table.size()));
  for (size_t i = 0; i < Table.size(); ++i) std::memcpy(f.data() + 54 + 4 * i, &Table[i], 4);
  f.insert(f.end(), Data.begin(), Data.end());
  return f;
}

// Sixteen grey levels 0, 17, .., 255: index i reads as grey 17 i.
std::vector<RGBQUAD> Greys(size_t N) {
  std::vector<RGBQUAD> t(N);
  for (size_t i = 0; i < N; ++i) {
    const BYTE v = static_cast<BYTE>(17 * i);
    t[i] = RGBQUAD{v, v, v, 0};
  }
  return t;
}

// Our picture as palette indexes, top row first (grey palette of Greys()).
std::vector<std::vector<int>> Indexes(TBitmap& B) {
  std::vector<std::vector<int>> rows;
  for (Integer y = 0; y < B.Height(); ++y) {
    rows.emplace_back();
    for (Integer x = 0; x < B.Width(); ++x) rows.back().push_back(GetRValue(B.Canvas()->Pixels(x, y)) / 17);
  }
  return rows;
}

class BmpFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(std::system("command -v convert >/dev/null 2>&1"), 0) << "ImageMagick is not installed";
  }
  static void Run(const std::string& Cmd) { ASSERT_EQ(std::system(Cmd.c_str()), 0) << Cmd; }
  // The picture as ImageMagick decodes it: red, green, blue per pixel, top row first.
  Bytes ImageMagickRGB(const std::string& Bmp) {
    const std::string out = Dir.File("pixels.rgb");
    Run("convert '" + Bmp + "' -depth 8 rgb:'" + out + "'");
    return ReadFile(out);
  }
  gt_test::TempDir Dir{"bmpfiles"};
};

TEST_F(BmpFiles, SixteenBitFilesReadLikeImageMagick) {
  struct Case {
    const char* subtype;
    uint32_t greenMask;
    TPixelFormat format;
  } cases[] = {
      {"RGB565", 0x07E0, pf16bit},
      {"RGB555", 0x03E0, pf15bit},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subtype);
    const std::string file = Dir.File("in.bmp");
    // A gradient reaches both ends of every channel; 13 columns pad the rows.
    Run(std::string("convert -size 13x9 gradient:white-black \\( -size 13x9 gradient:red-blue \\) +append "
                    "-define bmp:subtype=") +
        c.subtype + " BMP:'" + file + "'");
    const Bytes bmp = ReadFile(file);
    ASSERT_GT(bmp.size(), 70u);
    ASSERT_EQ(bmp[28], 16) << "fixture has the wrong depth";
    ASSERT_EQ(U32(bmp, 30), 3u) << "fixture has no bit fields";
    ASSERT_EQ(U32(bmp, 58), c.greenMask);
    TBitmap b;
    Load(b, bmp);
    EXPECT_EQ(b.PixelFormat(), c.format);
    ASSERT_EQ(b.Width(), 26);
    ASSERT_EQ(b.Height(), 9);
    const Bytes ours = OurRGB(b);
    EXPECT_EQ(ours, ImageMagickRGB(file));
    // White is full scale, not 248.
    EXPECT_EQ(b.Canvas()->Pixels(0, 0), clWhite);
  }
}

// Fields of unusual widths go through the masks into 24 bits: each value
// widens to within one level of its exact share of 255, 0 and full scale exact.
TEST(BmpBitFields, EveryFieldWidthSpansTheFullRange) {
  for (int n = 1; n <= 12; ++n) {
    SCOPED_TRACE(::testing::Message() << n << " bits");
    const uint32_t max = (1u << n) - 1;
    const uint32_t red = max << (16 - n), blue = n <= 8 ? 0x1 : 0;  // never a 5-5-5 or 5-6-5 layout
    const int32_t w = int32_t(max) + 1;
    Bytes data((size_t(w) * 2 + 3) / 4 * 4, 0);
    for (uint32_t v = 0; v <= max; ++v) PutU16(data, 2 * v, static_cast<uint16_t>(v << (16 - n)));
    Bytes file = BmpFile(w, 1, 16, 3, {}, Bytes(12, 0));
    PutU32(file, 54, red), PutU32(file, 58, 0), PutU32(file, 62, blue);
    PutU32(file, 10, 66);
    file.insert(file.end(), data.begin(), data.end());
    TBitmap b;
    Load(b, file);
    ASSERT_EQ(b.Width(), w);
    EXPECT_EQ(GetRValue(b.Canvas()->Pixels(0, 0)), 0);
    EXPECT_EQ(GetRValue(b.Canvas()->Pixels(w - 1, 0)), 255);
    for (uint32_t v = 0; v <= max; ++v) {
      const TColor c = b.Canvas()->Pixels(Integer(v), 0);
      EXPECT_LE(std::abs(GetRValue(c) - v * 255.0 / max), 1.0) << "value " << v;
      EXPECT_EQ(GetGValue(c), 0);
    }
  }
}

// ImageMagick run-length encodes an uncompressed palette file of ours; its
// decoding of the result must be the pixels we meant, and so must ours.
TEST_F(BmpFiles, RunLength8FilesReadLikeImageMagick) {
  struct Case {
    int w, h, colours;
  } cases[] = {{37, 21, 256}, {18, 5, 2}, {300, 6, 4}, {1, 1, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << ", " << c.colours << " colours");
    std::vector<RGBQUAD> table(size_t(c.colours));
    for (int i = 0; i < c.colours; ++i)
      table[size_t(i)] = RGBQUAD{BYTE(i * 7), BYTE(255 - i), BYTE(i), 0};
    // Noise, and rows of one colour whose runs pass 255 pixels in the wide case.
    const size_t row = (size_t(c.w) + 3) / 4 * 4;
    Bytes rows(row * size_t(c.h), 0);
    Bytes meant;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const int i = (y % 3 == 1) ? y % c.colours : (x * 7 + y * 13 + x * x / 5) % c.colours;
        rows[size_t(c.h - 1 - y) * row + size_t(x)] = static_cast<uint8_t>(i);
        const RGBQUAD& q = table[size_t(i)];
        meant.insert(meant.end(), {q.rgbRed, q.rgbGreen, q.rgbBlue});
      }
    const std::string plain = Dir.File("plain.bmp"), file = Dir.File("rle8.bmp");
    WriteFile(plain, BmpFile(c.w, c.h, 8, 0, table, rows));
    Run("convert '" + plain + "' -compress RLE bmp3:'" + file + "'");
    const Bytes bmp = ReadFile(file);
    ASSERT_GT(bmp.size(), 54u);
    ASSERT_EQ(bmp[28], 8);
    ASSERT_EQ(U32(bmp, 30), 1u) << "fixture is not run-length encoded";
    ASSERT_EQ(ImageMagickRGB(file), meant);
    TBitmap b;
    Load(b, bmp);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(OurRGB(b), meant);
  }
}

// RLE4 encoder for the fixtures: alternating pairs (a run of one index is a
// pair of equal ones), absolute runs with their word padding, and short
// leftovers; every row ends with 0 0, the picture with 0 1.
Bytes EncodeRle4(const std::vector<std::vector<int>>& TopDown) {
  Bytes out;
  for (size_t r = TopDown.size(); r-- > 0;) {
    const std::vector<int>& row = TopDown[r];
    const size_t w = row.size();
    auto alternating = [&](size_t x) {
      size_t k = 1;
      while (x + k < w && k < 255 && row[x + k] == row[x + (k % 2)]) ++k;
      return k;
    };
    size_t x = 0;
    while (x < w) {
      const size_t alt = alternating(x);
      if (alt >= 4 || x + alt == w) {
        out.push_back(static_cast<uint8_t>(alt));
        out.push_back(static_cast<uint8_t>((row[x] << 4) | (alt > 1 ? row[x + 1] : 0)));
        x += alt;
        continue;
      }
      size_t n = 0;
      while (x + n < w && n < 255 && (n == 0 || alternating(x + n) < 4)) ++n;
      if (n < 3) {
        out.push_back(static_cast<uint8_t>(n));
        out.push_back(static_cast<uint8_t>((row[x] << 4) | (n > 1 ? row[x + 1] : 0)));
      } else {
        out.push_back(0);
        out.push_back(static_cast<uint8_t>(n));
        const size_t bytes = (n + 1) / 2;
        for (size_t i = 0; i < bytes; ++i)
          out.push_back(static_cast<uint8_t>((row[x + 2 * i] << 4) | (2 * i + 1 < n ? row[x + 2 * i + 1] : 0)));
        if (bytes % 2) out.push_back(0);
      }
      x += n;
    }
    out.push_back(0);
    out.push_back(r == 0 ? 1 : 0);
  }
  return out;
}

TEST_F(BmpFiles, RunLength4FilesReadLikeImageMagick) {
  struct Case {
    int w, h;
  } cases[] = {{1, 1}, {7, 3}, {31, 9}, {300, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h);
    // Flat stretches, alternating pairs and noise, so every code is used.
    std::vector<std::vector<int>> idx(size_t(c.h), std::vector<int>(size_t(c.w)));
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const int zone = (x / 11 + y) % 3;
        idx[size_t(y)][size_t(x)] = zone == 0 ? 5 : zone == 1 ? ((x & 1) ? 9 : 2) : (x * 7 + y * 13 + x * x) % 16;
      }
    const Bytes file = BmpFile(c.w, c.h, 4, 2, Greys(16), EncodeRle4(idx));
    const std::string path = Dir.File("rle4.bmp");
    WriteFile(path, file);
    // The oracle must read what the encoder meant, or the comparison proves nothing.
    Bytes meant;
    for (const auto& row : idx)
      for (int i : row) meant.insert(meant.end(), 3, static_cast<uint8_t>(17 * i));
    ASSERT_EQ(ImageMagickRGB(path), meant);
    TBitmap b;
    Load(b, file);
    EXPECT_EQ(b.PixelFormat(), pf4bit);
    EXPECT_EQ(OurRGB(b), meant);
  }
}

// Hand-made run-length data, 6 x 4, 8 bits, top row first in the results.
TEST(BmpRunLength, CodesAndHostileDataStayInsideThePicture) {
  using Rows = std::vector<std::vector<int>>;
  struct Case {
    const char* what;
    Bytes data;
    Rows expected;
  } cases[] = {
      {"runs, delta, absolute run with padding, end of picture",
       {3, 1, 0, 2, 1, 1, 2, 2, 0, 0, 0, 3, 3, 4, 5, 0, 0, 0, 2, 6, 0, 1},
       {{6, 6, 0, 0, 0, 0}, {3, 4, 5, 0, 0, 0}, {0, 0, 0, 0, 2, 2}, {1, 1, 1, 0, 0, 0}}},
      {"a run past the row end is cut at the edge, not wrapped",
       {9, 1, 0, 0, 2, 3, 0, 1},
       {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {3, 3, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}}},
      {"an absolute run past the row end is cut, its data skipped",
       {0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 1, 9, 0, 1},
       {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {9, 0, 0, 0, 0, 0}, {1, 2, 3, 4, 5, 6}}},
      {"a delta right of the row drops the rest of the row",
       {0, 2, 200, 0, 4, 7, 0, 0, 1, 8, 0, 1},
       {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {8, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}}},
      {"a delta above the top ends the picture",
       {2, 1, 0, 2, 0, 250, 6, 9, 0, 1},
       {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0}}},
      {"rows past the top are ignored",
       {1, 1, 0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4, 0, 0, 6, 5, 0, 0, 6, 6, 0, 1},
       {{4, 0, 0, 0, 0, 0}, {3, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}}},
      {"cut inside a run's code: the rows read so far, the rest index 0",
       {6, 1, 0, 0, 6, 2, 0, 0, 6},
       {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {2, 2, 2, 2, 2, 2}, {1, 1, 1, 1, 1, 1}}},
      {"cut inside an absolute run", {6, 1, 0, 0, 0, 5, 7, 8}, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {7, 8, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}}},
      {"cut inside a delta", {6, 1, 0, 2, 3}, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}}},
      {"no end codes at all", {2, 1}, {{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b;
    ASSERT_NO_THROW(Load(b, BmpFile(6, 4, 8, 1, Greys(16), c.data)));
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(Indexes(b), c.expected);
  }
}

TEST(BmpRunLength, FourBitCodesAndOddRuns) {
  using Rows = std::vector<std::vector<int>>;
  struct Case {
    const char* what;
    Bytes data;
    Rows expected;
  } cases[] = {
      {"pairs alternate; an odd absolute run pads to a word",
       {5, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 0, 0, 5, 0xAB, 0xCD, 0xE0, 0, 0, 1},
       {{10, 11, 12, 13, 14}, {3, 4, 5, 0, 0}, {1, 2, 1, 2, 1}}},
      {"delta and runs cut at the row end", {0, 2, 3, 1, 9, 0x77, 0, 1}, {{0, 0, 0, 0, 0}, {0, 0, 0, 7, 7}, {0, 0, 0, 0, 0}}},
      {"cut in the middle of an absolute run", {5, 0x11, 0, 0, 0, 6, 0x23}, {{0, 0, 0, 0, 0}, {2, 3, 0, 0, 0}, {1, 1, 1, 1, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b;
    ASSERT_NO_THROW(Load(b, BmpFile(5, 3, 4, 2, Greys(16), c.data)));
    EXPECT_EQ(b.PixelFormat(), pf4bit);
    EXPECT_EQ(Indexes(b), c.expected);
  }
}

TEST(BmpRunLength, RefusedFiles) {
  struct Case {
    const char* what;
    int32_t w, h;
    uint16_t bits;
    uint32_t compression;
    Bytes data;
  } cases[] = {
      {"top-down run-length rows", 4, -2, 8, 1, {4, 1, 0, 1}},
      {"RLE8 in a 4-bit file", 4, 2, 4, 1, {4, 1, 0, 1}},
      {"RLE4 in an 8-bit file", 4, 2, 8, 2, {4, 1, 0, 1}},
      {"RLE8 in a 24-bit file", 4, 2, 24, 1, {4, 1, 0, 1}},
      {"no pixel data at all", 4, 2, 8, 1, {}},
      // Far more picture than a few bytes of codes can describe: refused
      // before anything is allocated for it.
      {"a huge picture from a few bytes", 60000, 60000, 8, 1, {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TBitmap b;
    EXPECT_THROW(Load(b, BmpFile(c.w, c.h, c.bits, c.compression, Greys(c.bits <= 8 ? size_t(1) << c.bits : 0), c.data)),
                 EInvalidGraphic);
  }
}

}  // namespace

}  // namespace test_bitmap_files_tests
