// Mirroring, quarter turns, turns by any angle and the EXIF orientation
// fix-up, held against ImageMagick's -flip/-flop/-rotate/-transpose/
// -transverse and against exiftran -a on JPEG files, and checked for the
// geometry of the sheared turn.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/geometry/ierotate.h"
#include "tests/imaging/core/render/render_support.h"

namespace test_rotate_tests {

using namespace render_test;

namespace {

using TOp = std::function<bool(TIEBitmap& In, TIEBitmap& Out)>;

// An in-place routine applied to a copy.
TOp InPlace(std::function<bool(TIEBitmap&)> Fn) {
  return [Fn](TIEBitmap& In, TIEBitmap& Out) {
    Out.Assign(&In);
    return Fn(Out);
  };
}

TOp Flip(Byte Direction) {
  return InPlace([Direction](TIEBitmap& B) {
    IEFlipBitmap(&B, Direction);
    return true;
  });
}

TOp Exif(Integer Orientation) {
  return InPlace([Orientation](TIEBitmap& B) {
    IEApplyExifOrientation(&B, Orientation);
    return true;
  });
}

TOp Rotate1Bit(double Angle) {
  return InPlace([Angle](TIEBitmap& B) {
    std::atomic<bool> abort{false};
    TIEProgressRec rec(abort);
    return IERotate1Bit(&B, false, rec, Angle);
  });
}

TOp RotateBitmap(double Angle) {
  return InPlace([Angle](TIEBitmap& B) { return IERotateBitmap(&B, true, nullptr, nullptr, TRGB{0, 0, 0}, Angle); });
}

// Runs ImageMagick once on In's PNM file with every operation of Args, each
// on a fresh copy, and loads the answers.
::testing::AssertionResult ImageMagick(TempDir& Dir, TIEBitmap& In, const std::vector<std::string>& Args,
                                       std::vector<std::unique_ptr<TIEBitmap>>& Out) {
  const bool bits = In.PixelFormat() == ie1g;
  const std::string in = Dir.File(In.PixelFormat() == ie24RGB ? "in.ppm" : bits ? "in.pbm" : "in.pgm");
  // 1-bit answers come back as 8-bit gray: writing PBM files is slow here.
  const std::string ext = In.PixelFormat() == ie24RGB ? ".ppm" : ".pgm";
  if (!WritePnm(in, In)) return ::testing::AssertionFailure() << "cannot write " << in;
  std::string cmd = "convert " + in;
  for (size_t i = 0; i < Args.size(); ++i)
    cmd += " \\( +clone " + Args[i] + " -depth 8 -write " + Dir.File("out" + std::to_string(i) + ext) +
           " +delete \\)";
  if (Shell(cmd + " null:") != 0) return ::testing::AssertionFailure() << "convert failed";
  Out.clear();
  for (size_t i = 0; i < Args.size(); ++i) {
    Out.push_back(std::make_unique<TIEBitmap>());
    Pnm p;
    const std::string out = Dir.File("out" + std::to_string(i) + ext);
    if (!ReadPnm(out, p) || !LoadPnm(p, *Out[i], In.PixelFormat() == ie8p ? ie8p : ie8g))
      return ::testing::AssertionFailure() << "cannot read " << out;
    if (bits) {
      TIEBitmap gray;
      gray.Assign(Out[i].get());
      if (!Out[i]->Allocate(gray.Width(), gray.Height(), ie1g)) return ::testing::AssertionFailure() << "no memory";
      for (Integer y = 0; y < gray.Height(); ++y) {
        Byte* d = static_cast<Byte*>(Out[i]->GetScanline(y));
        std::memset(d, 0, size_t(Out[i]->RowLen()));
        for (Integer x = 0; x < gray.Width(); ++x)
          if (gray.GetPixelByte(x, y) != 0) d[x >> 3] |= Byte(0x80 >> (x & 7));
      }
    }
  }
  return ::testing::AssertionSuccess();
}

bool SamePalette(TIEBitmap& A, TIEBitmap& B) {
  if (A.GetPaletteLength() != B.GetPaletteLength()) return false;
  for (Integer i = 0; i < A.GetPaletteLength(); ++i) {
    TRGB a{}, b{};
    A.GetPaletteColor(i, a);
    B.GetPaletteColor(i, b);
    if (!SameRGB(a, b)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Whole-pixel operations against ImageMagick

struct OracleCase {
  const char* Name;
  const char* Args;  // ImageMagick's operation
  TOp Op;
};

void RunOracleCases(TIEPixelFormat PF, const std::vector<std::pair<Integer, Integer>>& Sizes,
                    const std::vector<OracleCase>& Cases) {
  if (!Have("convert")) GTEST_FAIL() << "ImageMagick (convert) is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  uint32_t seed = 7;
  std::vector<std::string> args;
  for (const OracleCase& c : Cases) args.push_back(c.Args);
  for (auto [w, h] : Sizes) {
    TIEBitmap src;
    MakeNoise(src, w, h, PF, seed++);
    std::vector<std::unique_ptr<TIEBitmap>> answers;
    ASSERT_TRUE(ImageMagick(dir, src, args, answers));
    for (size_t i = 0; i < Cases.size(); ++i) {
      const OracleCase& c = Cases[i];
      SCOPED_TRACE(std::string(c.Name) + " " + std::to_string(w) + "x" + std::to_string(h));
      TIEBitmap ours;
      ASSERT_TRUE(c.Op(src, ours));
      TIEBitmap& theirs = *answers[i];
      if (PF == ie8p) {
        // Only the indexes travel through the oracle; the palette must stay.
        EXPECT_TRUE(SamePalette(ours, src));
        TIEBitmap indexes;
        indexes.Assign(&ours);
        theirs.CopyPaletteTo(&indexes);
        EXPECT_TRUE(SamePixels(indexes, theirs));
      } else {
        EXPECT_TRUE(SamePixels(ours, theirs));
      }
    }
  }
}

TEST(FlipsAndQuarterTurns, TrueColourMatchesImageMagick) {
  RunOracleCases(ie24RGB, {{17, 9}, {8, 13}},
                 {{"flip 0", "-flop", Flip(0)},
                  {"flip 1", "-flip", Flip(1)},
                  {"IERotate90Clockwise24", "-rotate 90", [](TIEBitmap& i, TIEBitmap& o) { return IERotate90Clockwise24(&i, &o); }},
                  {"IERotate90CounterClockwise24", "-rotate -90",
                   [](TIEBitmap& i, TIEBitmap& o) { return IERotate90CounterClockwise24(&i, &o); }},
                  {"IERotateBitmap 90", "-rotate -90", RotateBitmap(90)},
                  {"IERotateBitmap -90", "-rotate 90", RotateBitmap(-90)},
                  {"IERotateBitmap 180", "-rotate 180", RotateBitmap(180)},
                  {"IERotateBitmap -270", "-rotate -90", RotateBitmap(-270)},
                  {"orientation 5", "-transpose", Exif(5)},
                  {"orientation 7", "-transverse", Exif(7)}});
}

TEST(FlipsAndQuarterTurns, OneBitOddWidthsMatchImageMagick) {
  RunOracleCases(ie1g, {{13, 7}, {21, 10}, {9, 1}, {1, 5}},
                 {{"flip 0", "-flop", Flip(0)},
                  {"flip 1", "-flip", Flip(1)},
                  {"IERotate1Bit 90", "-rotate -90", Rotate1Bit(90)},
                  {"IERotate1Bit -90", "-rotate 90", Rotate1Bit(-90)},
                  {"IERotate1Bit 270", "-rotate 90", Rotate1Bit(270)},
                  {"IERotate1Bit 180", "-rotate 180", Rotate1Bit(180)},
                  {"IERotate1Bit -180", "-rotate 180", Rotate1Bit(-180)},
                  {"IERotateBitmap 90", "-rotate -90", RotateBitmap(90)},
                  {"orientation 6", "-rotate 90", Exif(6)},
                  {"orientation 5", "-transpose", Exif(5)},
                  {"orientation 7", "-transverse", Exif(7)}});
}

TEST(FlipsAndQuarterTurns, PaletteIndexesMatchImageMagickAndPaletteStays) {
  RunOracleCases(ie8p, {{15, 11}, {4, 3}},
                 {{"flip 0", "-flop", Flip(0)},
                  {"flip 1", "-flip", Flip(1)},
                  {"orientation 3", "-rotate 180", Exif(3)},
                  {"orientation 6", "-rotate 90", Exif(6)},
                  {"orientation 8", "-rotate -90", Exif(8)},
                  {"orientation 5", "-transpose", Exif(5)},
                  {"orientation 7", "-transverse", Exif(7)}});
}

// The quarter turns of IERotate90*24 copy three bytes per pixel: given a
// picture of another format they would write past its rows.
TEST(FlipsAndQuarterTurns, TwentyFourBitQuarterTurnsRefuseOtherFormats) {
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie16g, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
    SCOPED_TRACE(int(pf));
    TIEBitmap src, dst, before;
    MakeNoise(src, 5, 3, pf, 1);
    MakeNoise(dst, 2, 2, ie8g, 2);
    before.Assign(&dst);
    EXPECT_FALSE(IERotate90Clockwise24(&src, &dst));
    EXPECT_FALSE(IERotate90CounterClockwise24(&src, &dst));
    EXPECT_TRUE(SamePixels(dst, before));
  }
}

TEST(FlipsAndQuarterTurns, FlipMirrorsTheAlphaChannelAndKeepsItsFullFlag) {
  TIEBitmap b, expect;
  MakeNoise(b, 6, 4, ie24RGB, 3);
  Noise(*b.GetAlphaChannel(), 4);
  expect.Assign(&b);
  for (Byte dir : {Byte(0), Byte(1)}) {
    IEFlipBitmap(&b, dir);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 6; ++x) {
        const Integer sx = dir == 0 ? 5 - x : x, sy = dir == 1 ? 3 - y : y;
        ASSERT_EQ(b.GetAlphaChannel()->GetPixelByte(x, y), expect.GetAlphaChannel()->GetPixelByte(sx, sy));
        ASSERT_TRUE(SameRGB(Pixel(b, x, y), Pixel(expect, sx, sy)));
      }
    IEFlipBitmap(&b, dir);
  }
  // A wholly opaque alpha channel is still known to be one after a flip.
  TIEBitmap full;
  MakeNoise(full, 3, 3, ie24RGB, 5);
  full.GetAlphaChannel()->Fill(255);
  ASSERT_TRUE(full.GetAlphaChannel()->Full());
  IEFlipBitmap(&full, 0);
  EXPECT_TRUE(full.GetAlphaChannel()->Full());
}

// Every kind of storage gives the same pixels as one memory block.
class TurnStorage : public ::testing::TestWithParam<Storage> {};

TEST_P(TurnStorage, SameResultInEveryStorage) {
  const std::vector<std::pair<const char*, TOp>> ops = {
      {"flip 0", Flip(0)},         {"flip 1", Flip(1)},          {"orientation 6", Exif(6)},
      {"orientation 7", Exif(7)},  {"rotate 30", RotateBitmap(30)}, {"rotate 180", RotateBitmap(180)},
      {"into 33", [](TIEBitmap& i, TIEBitmap& o) { return IERotateIntoBitmap(&i, &o, 0x102030, 33, nullptr, nullptr); }}};
  for (TIEPixelFormat pf : {ie24RGB, ie1g}) {
    for (auto& [name, op] : ops) {
      SCOPED_TRACE(std::string(name) + " format " + std::to_string(int(pf)));
      TIEBitmap blockIn, blockOut;
      MakeNoise(blockIn, 37, 23, pf, 9);
      ASSERT_TRUE(op(blockIn, blockOut));
      StorageScope scope(GetParam());
      // In a file, quarter turns go in bands of source rows: one band, bands
      // of 5 rows (the last one short) and bands of one row.
      const int64_t saved = IETurnBandBytes;
      for (int64_t band : {saved, int64_t(37 * 3 * 5), int64_t(1)}) {
        if (GetParam() != Storage::File && band != saved) continue;
        SCOPED_TRACE(band);
        IETurnBandBytes = band;
        TIEBitmap in, out;
        MakeNoise(in, 37, 23, pf, 9);
        ExpectStorage(in, GetParam());
        ASSERT_TRUE(op(in, out));
        EXPECT_TRUE(SamePixels(out, blockOut));
      }
      IETurnBandBytes = saved;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Storages, TurnStorage, ::testing::Values(Storage::Block, Storage::Segments, Storage::File),
                         [](const auto& i) { return std::string(StorageName(i.param)); });

// ---------------------------------------------------------------------------
// EXIF orientation

// A JPEG file with an EXIF block that holds only the orientation, put
// right after the start-of-image marker of Jpeg.
std::string WithOrientation(const std::string& Jpeg, Integer Orientation) {
  const unsigned char exif[] = {
      0xFF, 0xE1, 0x00, 0x22, 'E', 'x', 'i', 'f', 0, 0,  // APP1, 34 bytes
      'M', 'M', 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08,     // big-endian TIFF header, IFD at 8
      0x00, 0x01,                                       // one entry
      0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01,   // Orientation, SHORT, count 1
      0x00, Byte(Orientation), 0x00, 0x00,              // its value
      0x00, 0x00, 0x00, 0x00};                          // no next IFD
  return Jpeg.substr(0, 2) + std::string(reinterpret_cast<const char*>(exif), sizeof exif) + Jpeg.substr(2);
}

// exiftran turns JPEG files losslessly. Pictures made of 8x8 blocks of one
// colour decode exactly whatever the turn, so the decoded files can be
// compared pixel for pixel; the block layout is asymmetric, so each of the
// eight orientations gives a different picture.
TEST(ExifOrientation, MatchesExiftranForTrueColourAndGray) {
  for (const char* tool : {"convert", "mogrify", "exiftran"})
    if (!Have(tool)) GTEST_FAIL() << tool << " is not installed";
  TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
    SCOPED_TRACE("format " + std::to_string(int(pf)));
    TIEBitmap blocks;
    ASSERT_TRUE(blocks.Allocate(40, 24, pf));
    Lcg g(pf);
    std::vector<Byte> colours(5 * 3 * 3);
    for (Byte& c : colours) c = Byte(g.Next());
    for (Integer y = 0; y < 24; ++y) {
      Byte* r = static_cast<Byte*>(blocks.GetScanline(y));
      for (Integer x = 0; x < 40; ++x) {
        const Byte* c = &colours[size_t((y / 8) * 5 + x / 8) * 3];
        if (pf == ie8g)
          r[x] = c[0];
        else
          std::memcpy(r + x * 3, c, 3);
      }
    }
    const std::string ext = pf == ie8g ? ".pgm" : ".ppm";
    ASSERT_TRUE(WritePnm(dir.File("blocks" + ext), blocks));
    ASSERT_EQ(Shell("cd " + dir.Path + " && convert blocks" + ext +
                    " -quality 100 -sampling-factor 1x1 base.jpg && convert base.jpg base" + ext),
              0);
    std::ifstream in(dir.File("base.jpg"), std::ios::binary);
    const std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(jpeg.size(), 2u);
    std::string files;
    for (Integer o = 1; o <= 8; ++o) {
      const std::string name = "o" + std::to_string(o) + ".jpg";
      std::ofstream(dir.File(name), std::ios::binary) << WithOrientation(jpeg, o);
      files += " " + name;
    }
    ASSERT_EQ(Shell("cd " + dir.Path + " && exiftran -a -i" + files + " >/dev/null 2>&1 && mogrify -format " +
                    ext.substr(1) + files),
              0);
    Pnm base;
    ASSERT_TRUE(ReadPnm(dir.File("base" + ext), base));
    for (Integer o = 1; o <= 8; ++o) {
      SCOPED_TRACE("orientation " + std::to_string(o));
      Pnm turned;
      ASSERT_TRUE(ReadPnm(dir.File("o" + std::to_string(o) + ext), turned));
      TIEBitmap ours, theirs;
      ASSERT_TRUE(LoadPnm(base, ours));
      ASSERT_TRUE(LoadPnm(turned, theirs));
      IEApplyExifOrientation(&ours, o);
      EXPECT_TRUE(SamePixels(ours, theirs));
    }
  }
}

// Every format is turned by whole pixels; each orientation is held against
// a composition of other routines (the nearest-pixel turn by exactly 90
// degrees, flips).
TEST(ExifOrientation, TurnsEveryFormatByWholePixels) {
  auto into = [](double a) {
    return [a](TIEBitmap& i, TIEBitmap& o) { return IERotateIntoBitmap(&i, &o, 0, a, nullptr, nullptr); };
  };
  auto then = [](TOp a, TOp b) {
    return [a, b](TIEBitmap& i, TIEBitmap& o) {
      TIEBitmap m;
      return a(i, m) && b(m, o);
    };
  };
  const struct {
    Integer Orientation;
    TOp Expected;
  } cases[] = {{2, Flip(0)},
               {3, into(180)},
               {4, Flip(1)},
               {5, then(into(90), Flip(1))},
               {6, into(-90)},
               {7, then(into(90), Flip(0))},
               {8, into(90)}};
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
    for (const auto& c : cases) {
      SCOPED_TRACE("orientation " + std::to_string(c.Orientation) + " format " + std::to_string(int(pf)));
      TIEBitmap src, ours, expect;
      MakeNoise(src, 11, 6, pf, uint32_t(pf) * 10 + c.Orientation);
      ASSERT_TRUE(Exif(c.Orientation)(src, ours));
      ASSERT_TRUE(c.Expected(src, expect));
      EXPECT_TRUE(SamePixels(ours, expect));
      if (pf == ie8p) {
        EXPECT_TRUE(SamePalette(ours, src));
      }
    }
  }
}

TEST(ExifOrientation, OtherValuesChangeNothingAndAlphaTurnsAlong) {
  TIEBitmap b, before;
  MakeNoise(b, 5, 3, ie24RGB, 1);
  before.Assign(&b);
  for (Integer o : {0, 1, 9, -1}) {
    IEApplyExifOrientation(&b, o);
    EXPECT_TRUE(SamePixels(b, before)) << o;
  }
  Noise(*b.GetAlphaChannel(), 2);
  TIEBitmap alpha;
  alpha.Assign(b.GetAlphaChannel());
  for (Integer o = 2; o <= 8; ++o) {
    SCOPED_TRACE(o);
    TIEBitmap turned, alphaTurned;
    ASSERT_TRUE(Exif(o)(b, turned));
    ASSERT_TRUE(Exif(o)(alpha, alphaTurned));
    ASSERT_TRUE(turned.HasAlphaChannel());
    EXPECT_TRUE(turned.GetAlphaChannel()->IsAlphaChannel());
    EXPECT_TRUE(SamePixels(*turned.GetAlphaChannel(), alphaTurned));
  }
}

// ---------------------------------------------------------------------------
// IERotateBitmap: quarter turns and shears

// Width and height after the three shears, from the sizes' formulas.
std::pair<int64_t, int64_t> ShearSize(int64_t W, int64_t H, double Degrees) {
  const double th = Degrees * M_PI / 180;
  const double T = std::fabs(std::sin(th / 2) / std::cos(th / 2)), Sn = std::fabs(std::sin(th));
  const int64_t w1 = Round(H * T + W + 1);
  const int64_t dy = Round((w1 - W) * Sn);
  int64_t h2 = Round(w1 * Sn + H + 1);
  const int64_t dx = Round((h2 - H - dy) * T);
  h2 -= 2 * dy;
  return {Round(h2 * T + w1 + 1 - 2 * dx), h2};
}

TEST(RotateBitmap, AnglesThatLeaveThePixelsAlone) {
  for (double a : {0.0, 360.0, 720.0, -360.0, 0.0004, -0.0009}) {
    TIEBitmap b, before;
    MakeNoise(b, 9, 5, ie24RGB, 3);
    before.Assign(&b);
    EXPECT_TRUE(IERotateBitmap(&b, true, nullptr, nullptr, TRGB{1, 2, 3}, a));
    EXPECT_TRUE(SamePixels(b, before)) << a;
  }
}

TEST(RotateBitmap, SizesFollowTheShearFormulasAfterQuarterTurns) {
  const Integer W = 61, H = 37;
  const struct {
    double Angle;
    bool Swapped;     // after an odd number of quarter turns
    double Residual;  // angle left for the shears
  } cases[] = {{1, false, 1},          {10, false, 10},       {30, false, 30},         {45, false, 45},
               {45.001, true, -44.999}, {-7.5, false, -7.5},  {-45, false, -45},       {-45.0015, true, 44.999},
               {100, true, 10},         {250.5, true, -19.5}, {-135.25, false, 44.75}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Angle);
    TIEBitmap b;
    MakeNoise(b, W, H, ie24RGB, 4);
    ASSERT_TRUE(IERotateBitmap(&b, false, nullptr, nullptr, TRGB{0, 0, 0}, c.Angle));
    const auto [w, h] = c.Swapped ? ShearSize(H, W, c.Residual) : ShearSize(W, H, c.Residual);
    EXPECT_EQ(b.Width(), w);
    EXPECT_EQ(b.Height(), h);
  }
}

// A white rectangle on black turned by the angle: well inside the turned
// rectangle every pixel is white, well outside it every pixel is the
// background. Catches a wrong direction, a misplaced shear and samples that
// wrap around instead of being limited at edges.
TEST(RotateBitmap, TurnedRectangleLandsWhereTheRotationPutsIt) {
  const Integer W = 60, H = 36;
  for (bool aa : {false, true}) {
    for (double angle : {10.0, -10.0, 30.0, -30.0, 45.0, -44.0, 100.0, -170.0}) {
      SCOPED_TRACE(std::to_string(angle) + (aa ? " antialiased" : ""));
      TIEBitmap b;
      ASSERT_TRUE(b.Allocate(W, H, ie24RGB));
      b.Fill(0xFFFFFF);
      const TRGB bg{40, 50, 60};
      ASSERT_TRUE(IERotateBitmap(&b, aa, nullptr, nullptr, bg, angle));
      const double th = angle * M_PI / 180, c = std::cos(th), s = std::sin(th);
      const double cx = b.Width() / 2.0, cy = b.Height() / 2.0;
      Integer inside = 0, outside = 0;
      for (Integer y = 0; y < b.Height(); ++y)
        for (Integer x = 0; x < b.Width(); ++x) {
          // Back into the source frame: a counter-clockwise turn on the
          // screen (y down) is undone by turning clockwise.
          const double px = x + 0.5 - cx, py = y + 0.5 - cy;
          const double u = c * px - s * py, v = s * px + c * py;
          const double margin = std::min(W / 2.0 - std::fabs(u), H / 2.0 - std::fabs(v));
          const TRGB p = Pixel(b, x, y);
          if (margin > 2.5) {
            ++inside;
            ASSERT_TRUE(p.r == 255 && p.g == 255 && p.b == 255) << x << "," << y;
          } else if (margin < -2.5) {
            ++outside;
            ASSERT_TRUE(SameRGB(p, bg)) << x << "," << y;
          }
        }
      EXPECT_GT(inside, W * H / 2);
      EXPECT_GT(outside, 0);
    }
  }
}

// Mixing two equal samples must give the sample back: a flat area stays
// flat under the anti-aliased shears, odd values included.
TEST(RotateBitmap, AntialiasedShearKeepsFlatAreasExact) {
  for (Byte v : {Byte(3), Byte(127), Byte(254)}) {
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(50, 40, ie24RGB));
    b.Fill(double(v) * 0x010101);
    ASSERT_TRUE(IERotateBitmap(&b, true, nullptr, nullptr, TRGB{0, 0, 0}, 17.3));
    // The middle of the turned picture lies well inside the flat area.
    for (Integer y = b.Height() / 2 - 8; y < b.Height() / 2 + 8; ++y)
      for (Integer x = b.Width() / 2 - 8; x < b.Width() / 2 + 8; ++x) {
        const TRGB p = Pixel(b, x, y);
        ASSERT_TRUE(p.r == v && p.g == v && p.b == v) << int(v) << " at " << x << "," << y << ": " << int(p.r);
      }
  }
}

// Pictures tall enough that the shears work in many bands of rows and give
// their work rows back part by part: a flat picture must come out flat
// everywhere inside the turned rectangle and background everywhere outside
// it. A band joined with the wrong neighbour sample, a row taken from the
// wrong band or a part given back while still needed shows up as a pixel
// that is neither.
TEST(RotateBitmap, LargePictureStaysFlatAcrossWorkBands) {
  const struct {
    Integer W, H;
    double Angle;
    bool Antialias;
  } cases[] = {
      {900, 700, 30, true}, {900, 700, -30, false}, {700, 1100, 44.5, true}, {1300, 600, -12.5, true},
      {641, 897, 120, true},
  };
  const Byte v = 173;
  const TRGB bg{40, 50, 60};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H) + " by " + std::to_string(c.Angle) +
                 (c.Antialias ? " antialiased" : ""));
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(c.W, c.H, ie24RGB));
    b.Fill(double(v) * 0x010101);
    ASSERT_TRUE(IERotateBitmap(&b, c.Antialias, nullptr, nullptr, bg, c.Angle));
    const double th = c.Angle * M_PI / 180, co = std::cos(th), si = std::sin(th);
    const double cx = b.Width() / 2.0, cy = b.Height() / 2.0;
    int64_t inside = 0, wrong = 0;
    for (Integer y = 0; y < b.Height(); ++y)
      for (Integer x = 0; x < b.Width(); ++x) {
        const double px = x + 0.5 - cx, py = y + 0.5 - cy;
        const double u = co * px - si * py, w = si * px + co * py;
        const double margin = std::min(c.W / 2.0 - std::fabs(u), c.H / 2.0 - std::fabs(w));
        const TRGB p = Pixel(b, x, y);
        if (margin > 2.5) {
          ++inside;
          if (!(p.r == v && p.g == v && p.b == v) && wrong++ < 5) ADD_FAILURE() << "inside " << x << "," << y;
        } else if (margin < -2.5 && !SameRGB(p, bg) && wrong++ < 5) {
          ADD_FAILURE() << "outside " << x << "," << y;
        }
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(inside, int64_t(c.W) * c.H * 9 / 10);
  }
}

TEST(RotateBitmap, ProgressRisesToTheEnd) {
  TIEBitmap b;
  MakeNoise(b, 40, 30, ie24RGB, 1);
  std::vector<Integer> seen;
  ASSERT_TRUE(IERotateBitmap(&b, true, [&](TObject*, Integer p) { seen.push_back(p); }, nullptr, TRGB{}, 20));
  ASSERT_FALSE(seen.empty());
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
  EXPECT_GE(seen.front(), 0);
  EXPECT_GE(seen.back(), 97);
  EXPECT_LE(seen.back(), 100);
}

// Reading a gray picture as bits would leave a black-and-white picture of
// noise; other formats are refused and stay as they were.
TEST(RotateBitmap, RefusesFormatsItCannotTurn) {
  for (TIEPixelFormat pf : {ie8g, ie8p, ie16g, ieRGB48, ie32RGB}) {
    TIEBitmap b, before;
    MakeNoise(b, 7, 5, pf, 2);
    before.Assign(&b);
    EXPECT_FALSE(IERotateBitmap(&b, false, nullptr, nullptr, TRGB{}, 30)) << int(pf);
    EXPECT_TRUE(SamePixels(b, before)) << int(pf);
  }
}

// The turned picture is made completely before the picture takes it: when
// memory runs out the picture stays as it was.
TEST(RotateBitmap, NoMemoryLeavesThePictureAsItWas) {
  const struct {
    const char* Name;
    TIEPixelFormat PF;
    std::function<bool(TIEBitmap&)> Op;
  } cases[] = {
      {"shear", ie24RGB, [](TIEBitmap& b) { return IERotateBitmap(&b, true, nullptr, nullptr, TRGB{}, 30); }},
      {"quarter turn", ie24RGB, [](TIEBitmap& b) { return IERotateBitmap(&b, true, nullptr, nullptr, TRGB{}, 90); }},
      {"1-bit", ie1g, [](TIEBitmap& b) { return IERotateBitmap(&b, true, nullptr, nullptr, TRGB{}, 30); }},
      {"orientation 6", ie8g,
       [](TIEBitmap& b) {
         IEApplyExifOrientation(&b, 6);
         return false;
       }},
      {"into itself", ie16g, [](TIEBitmap& b) { return IERotateIntoBitmap(&b, &b, 0, 30, nullptr, nullptr); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b, before;
    MakeNoise(b, 30, 20, c.PF, 3);
    before.Assign(&b);
    const bool fallback = IEFileFallback, segments = IEUseSegments;
    IEFileFallback = false;
    IEUseSegments = false;
    IEBitmapTestHooks.FailBlock = [](int64_t) { return true; };
    const bool ok = c.Op(b);
    IEBitmapTestHooks = {};
    IEFileFallback = fallback;
    IEUseSegments = segments;
    EXPECT_FALSE(ok);
    EXPECT_TRUE(SamePixels(b, before));
  }
}

TEST(RotateBitmap, AlphaChannelIsResizedAlongAfterAShear) {
  TIEBitmap b;
  MakeNoise(b, 20, 10, ie24RGB, 1);
  b.GetAlphaChannel()->Fill(200);
  ASSERT_TRUE(IERotateBitmap(&b, true, nullptr, nullptr, TRGB{}, 25));
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlphaChannel()->Width(), b.Width());
  EXPECT_EQ(b.GetAlphaChannel()->Height(), b.Height());
  // Quarter turns alone: an alpha channel that no longer fits becomes opaque.
  ASSERT_TRUE(IERotateBitmap(&b, true, nullptr, nullptr, TRGB{}, 90));
  EXPECT_EQ(b.GetAlphaChannel()->Width(), b.Width());
  EXPECT_EQ(b.GetAlphaChannel()->Height(), b.Height());
  EXPECT_EQ(b.GetAlphaChannel()->GetPixelByte(0, 0), 255);
}

// ---------------------------------------------------------------------------
// 1-bit turns

TEST(Rotate1Bit, OutsideIsWhiteOnlyWhenEveryBackgroundByteIsNonZero) {
  const struct {
    TRGB Background;
    bool White;
  } cases[] = {{{255, 255, 255}, true}, {{1, 1, 1}, true}, {{255, 255, 0}, false}, {{0, 0, 0}, false}};
  for (const auto& c : cases) {
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(30, 20, ie1g));
    b.Fill(0);  // black picture
    ASSERT_TRUE(IERotateBitmap(&b, false, nullptr, nullptr, c.Background, 30));
    const Byte corner = static_cast<const Byte*>(b.GetScanline(0))[0] & 0x80;
    EXPECT_EQ(corner != 0, c.White);
  }
}

TEST(Rotate1Bit, GeneralAngleSizesAndAlphaDropped) {
  for (double angle : {30.0, -270.0, 360.0, 12.5}) {
    SCOPED_TRACE(angle);
    TIEBitmap b;
    MakeNoise(b, 31, 17, ie1g, 3);
    b.GetAlphaChannel();
    std::atomic<bool> abort{false};
    std::vector<Integer> seen;
    TIEProgressRec rec(abort, [&](TObject*, Integer p) { seen.push_back(p); });
    ASSERT_TRUE(IERotate1Bit(&b, true, rec, angle));
    const double th = -angle * M_PI / 180;
    const double cs = double(Trunc(std::cos(th) * 10000)) / 10000, sn = double(Trunc(std::sin(th) * 10000)) / 10000;
    EXPECT_EQ(b.Width(), Trunc(std::fabs(31 * cs) + std::fabs(17 * sn)));
    EXPECT_EQ(b.Height(), Trunc(std::fabs(31 * sn) + std::fabs(17 * cs)));
    EXPECT_EQ(b.PixelFormat(), ie1g);
    EXPECT_FALSE(b.HasAlphaChannel());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), Integer(Trunc((b.Height() - 1) * (100.0 / b.Height()))));
  }
  // Not a 1-bit picture: refused, unchanged.
  TIEBitmap g, before;
  MakeNoise(g, 5, 5, ie8g, 1);
  before.Assign(&g);
  std::atomic<bool> abort{false};
  TIEProgressRec rec(abort);
  EXPECT_FALSE(IERotate1Bit(&g, false, rec, 30));
  EXPECT_TRUE(SamePixels(g, before));
}

// ---------------------------------------------------------------------------
// IERotateIntoBitmap

TEST(RotateIntoBitmap, CornersTakeTheBackgroundButOneBitStaysBlack) {
  const struct {
    TIEPixelFormat PF;
    double Background;
  } cases[] = {{ie1g, 1}, {ie8g, 77}, {ie24RGB, 0x0000FF}, {ie16g, 1234}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.PF));
    TIEBitmap src, dst, corner;
    ASSERT_TRUE(src.Allocate(40, 20, c.PF));
    src.Fill(c.PF == ie1g ? 1 : 0);  // the picture: white (1-bit) or black
    ASSERT_TRUE(IERotateIntoBitmap(&src, &dst, c.Background, 30, nullptr, nullptr));
    EXPECT_EQ(dst.Width(), Round(std::fabs(40 * std::cos(M_PI / 6)) + std::fabs(20 * std::sin(M_PI / 6))));
    EXPECT_EQ(dst.Height(), Round(std::fabs(40 * std::sin(M_PI / 6)) + std::fabs(20 * std::cos(M_PI / 6))));
    ASSERT_TRUE(corner.Allocate(1, 1, c.PF));
    corner.Fill(c.PF == ie1g ? 0 : c.Background);
    const std::vector<Byte> expect = RowBytes(corner, 0);
    const std::vector<Byte> got = RowBytes(dst, 0);
    EXPECT_TRUE(std::equal(expect.begin(), expect.end(), got.begin(),
                           [&](Byte a, Byte b) { return c.PF == ie1g ? ((a ^ b) & 0x80) == 0 : a == b; }));
  }
}

TEST(RotateIntoBitmap, PaletteCopiedAndSourceMayBeTheDestination) {
  TIEBitmap src, dst, self;
  MakeNoise(src, 9, 6, ie8p, 5);
  ASSERT_TRUE(IERotateIntoBitmap(&src, &dst, 0, 90, nullptr, nullptr));
  EXPECT_TRUE(SamePalette(dst, src));
  self.Assign(&src);
  ASSERT_TRUE(IERotateIntoBitmap(&self, &self, 0, 90, nullptr, nullptr));
  EXPECT_TRUE(SamePixels(self, dst));
  EXPECT_TRUE(SamePalette(self, src));
}

}  // namespace

}  // namespace test_rotate_tests
