// TIFF tiles, planar data and JPEG-compressed strips and tiles, made by
// tiffcp from one picture and compared with that picture (lossless codings)
// or with libtiff's own decoding through tiff2rgba (JPEG, within 2 levels).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "formats_test_util.h"
#include "imaging/formats/tiffread.h"
#include "tests/support/pnm_bitmap.h"

namespace tiff_tiles_tests {
namespace {

using namespace fmt_test;

std::string Quote(const std::string& S) { return "'" + S + "'"; }

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/formats";

void MakePhoto(TIEBitmap& B, Integer W, Integer H, TIEPixelFormat PF) {
  ASSERT_TRUE(B.Allocate(W, H, PF));
  for (Integer y = 0; y < H; ++y) {
    Byte* p = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      const Byte v[3] = {Byte(x * 255 / (W - 1)), Byte(y * 255 / (H - 1)), Byte((x / 5 + y / 3) % 2 ? 200 : 40)};
      if (PF == ie8g)
        p[x] = Byte((v[0] + v[1] + v[2]) / 3);
      else
        p[3 * x] = v[0], p[3 * x + 1] = v[1], p[3 * x + 2] = v[2];
    }
  }
}

struct TLoaded {
  TIEBitmap Bitmap;
  bool Aborted = true;
  TIOParamsVals Params{nullptr};
};

void Load(const Bytes& File, TLoaded& L, bool Native, Integer GetTile = -1) {
  Progress p;
  L.Params.ISNATIVEPIXELFORMAT = Native;
  L.Params.TIFF_GETTILE = GetTile;
  std::unique_ptr<TIEMask> mask;
  Integer count = 0;
  TMemoryStream s;
  Fill(s, File);
  IEReadTIFF(&L.Bitmap, &s, count, &L.Params, p.Rec, false, mask, true, true, false);
  L.Aborted = p.Aborting.load();
}

// The largest difference of any sample; -1 when the sizes or formats differ.
Integer Worst(TIEBitmap& A, TIEBitmap& B) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat()) return -1;
  Integer worst = 0;
  const int64_t n = A.RowLen();
  for (Integer y = 0; y < A.Height(); ++y) {
    const Byte* a = static_cast<const Byte*>(A.GetScanline(y));
    const Byte* b = static_cast<const Byte*>(B.GetScanline(y));
    const int64_t used = A.PixelFormat() == ie8g ? A.Width() : int64_t(A.Width()) * 3;
    for (int64_t i = 0; i < used && i < n; ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  }
  return worst;
}

class TiffTiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTool("tiffcp"));
    ASSERT_TRUE(HaveTool("tiff2rgba"));
    ASSERT_TRUE(HaveTool("convert"));
  }
  // The picture as an uncompressed TIFF made by ImageMagick.
  std::string Source(TIEBitmap& B, const std::string& Name) {
    const std::string pnm = dir.File(Name + ".pnm"), tif = dir.File(Name + ".tif");
    EXPECT_TRUE(gt_test::WritePnm(pnm, B));
    EXPECT_EQ(Shell("convert " + Quote(pnm) + " -compress none " + Quote(tif)), 0);
    return tif;
  }
  std::string Tiffcp(const std::string& In, const std::string& Options) {
    const std::string out = dir.File("t" + std::to_string(n++) + ".tif");
    EXPECT_EQ(Shell("tiffcp " + Options + " " + Quote(In) + " " + Quote(out)), 0) << Options;
    return out;
  }
  // libtiff's decoding as RGB (tiff2rgba, then the uncompressed reader).
  void Oracle(const std::string& Tif, TIEBitmap& Out, bool Gray) {
    const std::string rgba = dir.File("o" + std::to_string(n++) + ".tif");
    ASSERT_EQ(Shell("tiff2rgba -c none " + Quote(Tif) + " " + Quote(rgba)), 0);
    TLoaded l;
    Load(gt_test::ReadFileBytes(rgba), l, false);
    ASSERT_FALSE(l.Aborted);
    if (Gray) {
      ASSERT_TRUE(Out.Allocate(l.Bitmap.Width(), l.Bitmap.Height(), ie8g));
      for (Integer y = 0; y < Out.Height(); ++y)
        for (Integer x = 0; x < Out.Width(); ++x)
          static_cast<Byte*>(Out.GetScanline(y))[x] = static_cast<const Byte*>(l.Bitmap.GetScanline(y))[3 * x];
    } else {
      Out.Assign(&l.Bitmap);
    }
  }
  TempDir dir{"tifftiles"};
  int n = 0;
};

// Tiles of 16 x 16 over a 37 x 29 picture (edge tiles overhang), planar
// strips, each in several codings: the picture comes back exactly.
TEST_F(TiffTiles, LosslessTilesAndPlanarStrips) {
  TIEBitmap rgb, gray;
  MakePhoto(rgb, 37, 29, ie24RGB);
  MakePhoto(gray, 37, 29, ie8g);
  const std::string rgbTif = Source(rgb, "rgb"), grayTif = Source(gray, "gray");
  const char* const layouts[] = {"-t -w 16 -l 16", "-p separate -r 5"};
  const char* const codings[] = {"-c none", "-c lzw:2", "-c zip", "-c packbits"};
  for (const char* layout : layouts)
    for (const char* coding : codings)
      for (bool isGray : {false, true}) {
        if (isGray && std::string(layout).find("separate") != std::string::npos) continue;
        SCOPED_TRACE(std::string(layout) + " " + coding + (isGray ? " grey" : " rgb"));
        const std::string tif = Tiffcp(isGray ? grayTif : rgbTif, std::string(layout) + " " + coding);
        TLoaded l;
        Load(gt_test::ReadFileBytes(tif), l, true);
        ASSERT_FALSE(l.Aborted);
        EXPECT_EQ(Worst(isGray ? gray : rgb, l.Bitmap), 0);
      }
}

// JPEG in strips and tiles, RGB coded as YCbCr or as it is, and grey tiles
// read into a grey picture: equal to libtiff's decoding within 2 levels, grey
// tiles at their own positions.
TEST_F(TiffTiles, JpegStripsAndTilesMatchLibtiff) {
  TIEBitmap rgb, gray;
  MakePhoto(rgb, 37, 29, ie24RGB);
  MakePhoto(gray, 37, 29, ie8g);
  const std::string rgbTif = Source(rgb, "rgb"), grayTif = Source(gray, "gray");
  struct TCase {
    bool Gray;
    const char* Options;
  };
  const TCase cases[] = {
      {false, "-c jpeg -r 16"},          {false, "-c jpeg:r -r 8"},        {false, "-c jpeg -t -w 16 -l 16"},
      {true, "-c jpeg -r 8"},            {true, "-c jpeg -t -w 16 -l 16"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Options) + (c.Gray ? " grey" : " rgb"));
    const std::string tif = Tiffcp(c.Gray ? grayTif : rgbTif, c.Options);
    TIEBitmap want;
    Oracle(tif, want, c.Gray);
    TLoaded l;
    Load(gt_test::ReadFileBytes(tif), l, true);
    ASSERT_FALSE(l.Aborted);
    ASSERT_EQ(l.Bitmap.PixelFormat(), c.Gray ? ie8g : ie24RGB);
    const Integer worst = Worst(want, l.Bitmap);
    EXPECT_GE(worst, 0);
    EXPECT_LE(worst, 2);
    // And, on the whole, close to the picture it was made from (the sharp
    // edges of the test picture lose most to chroma subsampling).
    TIEBitmap& source = c.Gray ? gray : rgb;
    const int64_t samples = int64_t(source.Width()) * source.Height() * (c.Gray ? 1 : 3);
    int64_t sum = 0;
    for (Integer y = 0; y < source.Height(); ++y)
      for (int64_t i = 0; i < samples / source.Height(); ++i)
        sum += std::abs(static_cast<const Byte*>(source.GetScanline(y))[i] -
                        static_cast<const Byte*>(l.Bitmap.GetScanline(y))[i]);
    const bool subsampled = !c.Gray && std::string(c.Options).find("jpeg:r") == std::string::npos;
    EXPECT_LE(sum / samples, subsampled ? 32 : 12);
  }
}

// Old-style JPEG as scanners wrote it: the tables at JPEGInterchangeFormat,
// the scan header in strip 0, one restart interval per strip with the
// restart markers left out. Each strip lands at its own rows, as libtiff
// decodes it. libtiff upsamples the colour planes by repeating samples where
// libjpeg interpolates, so the picture is smooth: what differs then is
// only a few levels, while a strip at wrong rows differs by far more.
TEST_F(TiffTiles, OldJpegSplitInStripsMatchesLibtiff) {
  ASSERT_TRUE(HaveTool("cjpeg"));
  struct TCase {
    Integer Width, Height;
    bool Gray;
    Integer RowsPerStrip;
    const char* Options;
    Integer Tolerance;  // grey has no colour planes to upsample: exact
  };
  const TCase cases[] = {
      {64, 80, false, 16, "-sample 2x2 -restart 1", 6},
      {37, 29, false, 16, "-sample 2x2 -restart 1", 10},  // a short last strip, a part MCU at the edge
      {37, 29, true, 8, "-grayscale -restart 1", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.Options) + " " + std::to_string(c.Width) + "x" + std::to_string(c.Height));
    TIEBitmap source;
    ASSERT_TRUE(source.Allocate(c.Width, c.Height, c.Gray ? ie8g : ie24RGB));
    for (Integer y = 0; y < c.Height; ++y) {
      Byte* p = static_cast<Byte*>(source.GetScanline(y));
      for (Integer x = 0; x < c.Width; ++x) {
        const Byte v[3] = {Byte(x * 255 / (c.Width - 1)), Byte(y * 255 / (c.Height - 1)),
                           Byte((x + y) * 255 / (c.Width + c.Height - 2))};
        if (c.Gray)
          p[x] = v[1];
        else
          p[3 * x] = v[0], p[3 * x + 1] = v[1], p[3 * x + 2] = v[2];
      }
    }
    const std::string name = "oj" + std::to_string(n++);
    const std::string pnm = dir.File(name + ".pnm"), jpg = dir.File(name + ".jpg"), tif = dir.File(name + ".tif");
    ASSERT_TRUE(gt_test::WritePnm(pnm, source));
    ASSERT_EQ(Shell(std::string("cjpeg -quality 90 ") + c.Options + " " + Quote(pnm) + " > " + Quote(jpg)), 0);
    ASSERT_EQ(Shell("/usr/bin/python3 " + kHere + "/ojpeg_strips.py " + Quote(jpg) + " " + Quote(tif) + " " +
                    std::to_string(c.RowsPerStrip)),
              0);
    TIEBitmap want;
    Oracle(tif, want, false);
    TLoaded l;
    Load(gt_test::ReadFileBytes(tif), l, false);
    ASSERT_FALSE(l.Aborted);
    ASSERT_EQ(l.Bitmap.PixelFormat(), ie24RGB);
    const Integer worst = Worst(want, l.Bitmap);
    EXPECT_GE(worst, 0);
    EXPECT_LE(worst, c.Tolerance);
    // The complete stream as the one strip, with neither tables tag nor byte
    // count: its length comes from its markers, and the picture is libjpeg's
    // own decoding of it.
    {
      const std::string whole = dir.File(name + "w.tif"), ppm = dir.File(name + ".ppm");
      ASSERT_EQ(Shell("/usr/bin/python3 " + kHere + "/ojpeg_strips.py " + Quote(jpg) + " " + Quote(whole) + " " +
                      std::to_string(c.RowsPerStrip) + " whole"),
                0);
      ASSERT_EQ(Shell("djpeg -rgb -pnm " + Quote(jpg) + " > " + Quote(ppm)), 0);
      gt_test::Pnm pnm;
      TIEBitmap libjpeg;
      ASSERT_TRUE(gt_test::ReadPnm(ppm, pnm));
      ASSERT_TRUE(gt_test::LoadPnm(pnm, libjpeg));
      TLoaded w;
      Load(gt_test::ReadFileBytes(whole), w, false);
      ASSERT_FALSE(w.Aborted);
      EXPECT_EQ(Worst(libjpeg, w.Bitmap), 0);
    }
    // The last strip named past the end of the file: the strips before it
    // keep their rows, the missing ones stay black, nothing is read outside.
    if (c.Height % c.RowsPerStrip == 0) {
      Bytes f = gt_test::ReadFileBytes(tif);
      auto get32 = [&](size_t at) {
        return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 | uint32_t(f[at + 3]) << 24;
      };
      const size_t ifd = get32(4);
      const size_t entries = f[ifd] | f[ifd + 1] << 8;
      for (size_t e = 0; e < entries; ++e) {
        const size_t at = ifd + 2 + e * 12;
        if ((f[at] | f[at + 1] << 8) != 273) continue;
        const size_t last = get32(at + 8) + 4 * (get32(at + 4) - 1);
        f[last] = f[last + 1] = f[last + 2] = f[last + 3] = 0xF0;
      }
      TLoaded cut;
      Load(f, cut, false);
      ASSERT_FALSE(cut.Aborted);
      const Integer kept = c.Height - c.RowsPerStrip;
      for (Integer y = 0; y < c.Height; ++y) {
        const Byte* row = static_cast<const Byte*>(cut.Bitmap.GetScanline(y));
        if (y < kept)
          ASSERT_EQ(std::memcmp(row, l.Bitmap.GetScanline(y), size_t(c.Width) * 3), 0) << y;
        else
          ASSERT_EQ(*std::max_element(row, row + c.Width * 3), 0) << y;
      }
    }
  }
}

// One tile asked for by index is that tile alone, edge tile included.
TEST_F(TiffTiles, SingleTile) {
  TIEBitmap rgb;
  MakePhoto(rgb, 37, 29, ie24RGB);
  const std::string tif = Tiffcp(Source(rgb, "rgb"), "-t -w 16 -l 16 -c lzw");
  TLoaded l;
  Load(gt_test::ReadFileBytes(tif), l, true, 2);  // the right edge tile of the first row
  ASSERT_FALSE(l.Aborted);
  ASSERT_EQ(l.Bitmap.Width(), 16);
  ASSERT_EQ(l.Bitmap.Height(), 16);
  for (Integer y = 0; y < 16; ++y)
    EXPECT_EQ(std::memcmp(l.Bitmap.GetScanline(y), static_cast<const Byte*>(rgb.GetScanline(y)) + 32 * 3, 5 * 3), 0)
        << y;
}

// TileOffsets with far more entries than the grid has tiles, and fewer:
// the picture is filled from the tiles there are and nothing is written
// past it (the sanitizer build checks).
TEST(TiffTilesHostile, TileCountsThatDisagreeWithTheGrid) {
  for (uint32_t tiles : {1u, 2u, 60u}) {
    SCOPED_TRACE(tiles);
    // 20 x 10 grey, tiles of 16 x 16: a grid of 2 x 1.
    const uint32_t entries = 10, dirAt = 8, arrays = dirAt + 2 + entries * 12 + 4;
    const uint32_t tileData = arrays + (tiles > 1 ? tiles * 8 : 0);
    Bytes f = {'I', 'I', 42, 0, 8, 0, 0, 0};
    Add16(f, entries);
    auto entry = [&](Word Tag, Word Type, uint32_t Count, uint32_t Value) {
      Add16(f, Tag), Add16(f, Type), Add32(f, Count), Add32(f, Value);
    };
    entry(256, 4, 1, 20);
    entry(257, 4, 1, 10);
    entry(258, 3, 1, 8);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 1);
    entry(277, 3, 1, 1);
    entry(322, 4, 1, 16);
    entry(323, 4, 1, 16);
    entry(324, 4, tiles, tiles == 1 ? tileData : arrays);
    entry(325, 4, tiles, tiles == 1 ? 256 : arrays + tiles * 4);
    Add32(f, 0);
    if (tiles > 1) {
      for (uint32_t i = 0; i < tiles; ++i) Add32(f, tileData + (i % 2) * 256);
      for (uint32_t i = 0; i < tiles; ++i) Add32(f, 256);
    }
    for (int t = 0; t < 2; ++t)
      for (int i = 0; i < 256; ++i) f.push_back(Byte(t * 100 + i % 16));
    TLoaded l;
    Load(f, l, true);
    ASSERT_FALSE(l.Aborted);
    ASSERT_EQ(l.Bitmap.Width(), 20);
    const Byte* row = static_cast<const Byte*>(l.Bitmap.GetScanline(3));
    EXPECT_EQ(row[5], 5);
    EXPECT_EQ(row[17], tiles == 1 ? 0 : 101) << "the second tile, when there is one";
  }
}

}  // namespace
}  // namespace tiff_tiles_tests
