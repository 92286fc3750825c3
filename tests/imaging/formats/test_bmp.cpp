// The BMP codec: files of every header kind and depth decoded like Pillow and
// ImageMagick decode them, run-length data that tries to leave the picture,
// hostile header sizes, the writer's variants read back by both oracles, and
// the companion's file, stream and buffer paths.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_test_util.h"
#include "imaging/formats/bmp.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/ziduzuvio.h"

namespace test_bmp_tests {

using namespace fmt_test;

namespace {

struct BmpSpec {
  const char* Name;
  uint32_t Header;  // 12, 40, 64, 108 or 124
  int Bits;
  uint32_t Compression;
  bool TopDown;
  int W, H;
  int TableCount;            // entries written (0: none)
  uint32_t Masks[3];         // compression 3
  Bytes Data;                // coded pixels; empty: random rows made here
  bool BlackWhite = false;   // a 2-entry table: white, black
  const char* Oracle = "pil";
  uint32_t Compare = 0xFFFFFF;  // bits of R, G, B (as 0xRRGGBB) both sides must agree on
};

Bytes Table(const BmpSpec& S) {
  Bytes t;
  gt_test::Lcg g(S.Bits * 7 + S.W);
  for (int i = 0; i < S.TableCount; ++i) {
    uint32_t v = g.Next();
    if (i == 0) v = 0;  // index 0 black: what unwritten run-length pixels show
    if (S.BlackWhite) v = i == 0 ? 0xFFFFFF : 0;
    // Two-entry tables other than black and white read as black and white.
    if (S.Bits == 1 && !S.BlackWhite) v = i == 0 ? 0 : 0xFFFFFF;
    t.insert(t.end(), {Byte(v), Byte(v >> 8), Byte(v >> 16)});
    if (S.Header != 12) t.push_back(0);
  }
  return t;
}

Bytes RandomRows(const BmpSpec& S) {
  const size_t rowLen = size_t((S.W * S.Bits + 31) / 32) * 4;
  Bytes d(rowLen * S.H);
  gt_test::Lcg g(S.W * 31 + S.Bits);
  for (Byte& b : d) b = Byte(g.Next());
  if (S.Bits <= 8 && S.TableCount < (1 << S.Bits)) {
    // Keep indexes inside the table so that both decoders agree.
    for (size_t i = 0; i < d.size(); ++i) {
      if (S.Bits == 8) d[i] = Byte(d[i] % S.TableCount);
      if (S.Bits == 4) d[i] = Byte(((d[i] >> 4) % S.TableCount) << 4 | ((d[i] & 15) % S.TableCount));
    }
  }
  return d;
}

Bytes MakeBmp(const BmpSpec& S) {
  Bytes info;
  Add32(info, S.Header);
  if (S.Header == 12) {
    Add16(info, S.W);
    Add16(info, S.H);
    Add16(info, 1);
    Add16(info, S.Bits);
  } else {
    Add32(info, uint32_t(S.W));
    Add32(info, uint32_t(S.TopDown ? -S.H : S.H));
    Add16(info, 1);
    Add16(info, S.Bits);
    Add32(info, S.Compression);
    Add32(info, 0);
    Add32(info, 2835);
    Add32(info, 3780);
    Add32(info, S.Header == 12 ? 0 : uint32_t(S.TableCount));
    Add32(info, 0);
    if (S.Header >= 52) {
      Add32(info, S.Masks[0]);
      Add32(info, S.Masks[1]);
      Add32(info, S.Masks[2]);
    }
    info.resize(S.Header, 0);
  }
  Bytes extra = Table(S);
  if (S.Compression == 3 && S.Header < 52)
    for (uint32_t m : S.Masks) Add32(extra, m);
  const Bytes data = S.Data.empty() ? RandomRows(S) : S.Data;
  const uint32_t offset = uint32_t(14 + info.size() + extra.size());
  Bytes f = {'B', 'M'};
  Add32(f, uint32_t(offset + data.size()));
  Add32(f, 0);
  Add32(f, offset);
  AddBytes(f, info);
  AddBytes(f, extra);
  AddBytes(f, data);
  return f;
}

Rgb Masked(Rgb R, uint32_t Compare) {
  for (size_t i = 0; i < R.Pixels.size(); i += 3) {
    R.Pixels[i] &= Byte(Compare >> 16);
    R.Pixels[i + 1] &= Byte(Compare >> 8);
    R.Pixels[i + 2] &= Byte(Compare);
  }
  R.Alpha.assign(R.Alpha.size(), 255);
  return R;
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
  std::unique_ptr<TIEMask> Mask;
};

void ReadBytes(Read& R, const Bytes& File, bool IgnoreAlpha = true, bool Native = false) {
  TMemoryStream s;
  Fill(s, File);
  R.P.ISNATIVEPIXELFORMAT = Native;
  IEReadBMP(&s, &R.B, 0, R.P, R.Pr.Rec, false, false, R.Mask, IgnoreAlpha);
}

// Run-length rows (6 x 4): an encoded run and an absolute run, a delta that
// skips a whole row and two columns, an absolute run of odd length.
Bytes Rle8Data() { return {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 2, 1, 2, 7, 0, 0, 0, 5, 9, 8, 7, 6, 4, 0, 0, 0, 0, 1}; }
Bytes Rle4Data() { return {2, 0x52, 0, 4, 0x12, 0x34, 0, 0, 4, 0x77, 0, 0, 0, 6, 0x98, 0x76, 0x54, 0, 0, 0, 2, 0xAB, 0, 0, 0, 1}; }

TEST(BmpReader, DecodesLikeTheOutsideReaders) {
  const BmpSpec cases[] = {
      {"os2-1", 12, 1, 0, false, 19, 5, 2, {}, {}},
      {"os2-4", 12, 4, 0, false, 13, 4, 16, {}, {}},
      {"os2-8", 12, 8, 0, false, 9, 6, 256, {}, {}},
      {"os2-24", 12, 24, 0, false, 7, 3, 0, {}, {}},
      {"v3-1-white-black", 40, 1, 0, false, 21, 3, 2, {}, {}, true},
      {"v3-4", 40, 4, 0, false, 11, 5, 16, {}, {}},
      {"v3-8-20-colours", 40, 8, 0, false, 10, 7, 20, {}, {}},
      {"v3-16-555", 40, 16, 0, false, 9, 4, 0, {}, {}, false, "pil", 0xF8F8F8},
      {"v3-24-top-down", 40, 24, 0, true, 5, 6, 0, {}, {}},
      {"v3-32-top-down", 40, 32, 0, true, 6, 5, 0, {}, {}},
      {"v3-rle4", 40, 4, 2, false, 6, 4, 16, {}, Rle4Data(), false, "pil"},
      {"v3-rle8-delta", 40, 8, 1, false, 6, 4, 256, {}, Rle8Data(), false, "magick"},
      {"v5-565-masks-in-header", 124, 16, 3, false, 7, 3, 0, {0xF800, 0x07E0, 0x001F}, {}, false, "pil", 0xF8FCF8},
      {"v4-24-with-table", 108, 24, 0, false, 4, 4, 3, {}, {}},
  };
  TempDir dir("bmp");
  for (const BmpSpec& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = MakeBmp(c);
    const std::string path = dir.File(std::string(c.Name) + ".bmp");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
    Read r;
    ReadBytes(r, file);
    ASSERT_FALSE(r.Pr.Aborting);
    const Rgb want = std::string(c.Oracle) == "pil" ? PillowRgb(path) : MagickRgb(path);
    ASSERT_EQ(want.W, c.W) << "the oracle could not read the fixture";
    EXPECT_EQ(Masked(ToRgb(&r.B), c.Compare), Masked(want, c.Compare));
    EXPECT_EQ(r.P.WIDTH, c.W);
    EXPECT_EQ(r.P.HEIGHT, c.H);
  }
}

// Native reads keep indexes and palette; the colours through the palette are
// the converting read's colours.
TEST(BmpReader, NativeReadKeepsIndexes) {
  for (int bits : {4, 8}) {
    BmpSpec s{"native", 40, bits, 0, false, 9, 4, bits == 4 ? 16 : 200, {}, {}};
    const Bytes file = MakeBmp(s);
    Read native, rgb;
    ReadBytes(native, file, true, true);
    ReadBytes(rgb, file, true, false);
    ASSERT_EQ(native.B.PixelFormat(), ie8p);
    ASSERT_EQ(rgb.B.PixelFormat(), ie24RGB);
    EXPECT_EQ(native.B.PaletteUsed(), bits == 4 ? 16 : 256);
    EXPECT_EQ(ToRgb(&native.B), ToRgb(&rgb.B));
    EXPECT_EQ(native.P.COLORMAPCOUNT, s.TableCount);
  }
}

TEST(BmpReader, AlphaMaskOnlyWhenTheFourthBytesVary) {
  struct Case {
    const char* Name;
    Byte A0, A1;  // alpha of even and odd pixels
    bool Mask;
  } cases[] = {{"all 0", 0, 0, false}, {"all 255", 255, 255, false}, {"varied", 0, 200, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    BmpSpec s{"alpha", 40, 32, 0, true, 4, 3, 0, {}, {}};
    Bytes data;
    for (int i = 0; i < 12; ++i) data.insert(data.end(), {Byte(i), Byte(2 * i), Byte(3 * i), (i & 1) ? c.A1 : c.A0});
    s.Data = data;
    Read r;
    ReadBytes(r, MakeBmp(s), false);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.Mask != nullptr, c.Mask);
    if (c.Mask) {
      // Top-down file: the first stored pixel is the top-left of picture and mask.
      EXPECT_EQ(r.Mask->GetPixel(0, 0), c.A0);
      EXPECT_EQ(r.Mask->GetPixel(1, 0), c.A1);
      EXPECT_EQ(r.B.GetPixelTriple(1, 0), (TRGB{1, 2, 3}));
    }
  }
}

// Run-length data that overruns rows, points past the table or moves out of
// the picture: both depths drop what passes the row's end,
// and a delta below the last row ends decoding without a write.
TEST(BmpReader, RunLengthStaysInsideThePicture) {
  struct Case {
    const char* Name;
    int Bits;
    Bytes Data;
    std::vector<int> Row0;  // indexes expected in the bottom row (table: index i -> grey i)
  } cases[] = {
      {"rle8 overrun", 8, {6, 4, 0, 0, 0, 1}, {4, 4, 4, 4}},
      {"rle8 absolute overrun", 8, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {1, 2, 3, 4}},
      {"rle4 overrun", 4, {6, 0x12, 0, 1}, {1, 2, 1, 2}},
      {"delta below the picture", 8, {1, 9, 0, 2, 0, 200, 1, 7, 0, 1}, {9, 0, 0, 0}},
      {"index past a short table", 8, {2, 250, 0, 1}, {0, 0, 0, 0}},
      {"absolute run cut by the data", 8, {0, 200, 3, 3}, {3, 3, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    BmpSpec s{"rle", 40, c.Bits, c.Bits == 8 ? 1u : 2u, false, 4, 3, 16, {}, c.Data};
    Bytes file = MakeBmp(s);
    // A grey table: entry i is (i, i, i) for i < 16.
    const size_t table = 14 + 40;
    for (int i = 0; i < 16; ++i) std::memset(&file[table + 4 * i], i, 3);
    Read r;
    ReadBytes(r, file);
    ASSERT_FALSE(r.Pr.Aborting);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(r.B.GetPixelTriple(x, 2).g, c.Row0[x]) << "column " << x;
  }
}

TEST(BmpReader, HostileHeadersFailCleanly) {
  BmpSpec good{"good", 40, 24, 0, false, 3, 2, 0, {}, {}};
  struct Case {
    const char* Name;
    size_t At;
    uint32_t Value;
  } cases[] = {
      {"negative width", 18, uint32_t(-5)},
      {"zero height", 22, 0},
      {"most negative height", 22, 0x80000000u},
      {"beyond the limits", 18, 0x7FFFFFFF},
      {"header too short", 14, 8},
      {"signature", 0, 0x4D41},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes f = MakeBmp(good);
    if (c.At == 0)
      gt_test::PutU16(f, 0, uint16_t(c.Value));
    else
      gt_test::PutU32(f, c.At, c.Value);
    Read r;
    ReadBytes(r, f);
    EXPECT_TRUE(r.Pr.Aborting);
    EXPECT_TRUE(r.B.IsEmpty() || r.B.Width() < 100);
  }
  // A huge RLE image size field is clamped to the stream.
  BmpSpec rle{"rle", 40, 8, 1, false, 4, 2, 2, {}, {2, 1, 0, 1}};
  Bytes f = MakeBmp(rle);
  gt_test::PutU32(f, 34, 0xFFFFFFF0u);
  gt_test::PutU32(f, 2, 0);  // no file size: the header's image size would be used
  Read r;
  ReadBytes(r, f);
  EXPECT_FALSE(r.Pr.Aborting);
}

TEST(BmpWriter, RunLengthRows) {
  struct Case {
    const char* Name;
    bool Rle4;
    Bytes Indexes;
    Bytes Coded;
  } cases[] = {
      {"rle4 five different", true, {1, 2, 3, 4, 5}, {0, 5, 0x12, 0x34, 0x50, 0, 0, 0}},
      {"rle4 run then pair", true, {7, 7, 7, 1, 2}, {3, 0x77, 2, 0x12, 0, 0}},
      {"rle8 single and pair", false, {9, 4, 4, 6}, {1, 9, 2, 4, 1, 6, 0, 0}},
      {"rle8 literal of three", false, {1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0}},
      {"rle8 literal of two", false, {1, 2}, {1, 1, 1, 2, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes out(c.Indexes.size() * 10 + 16);
    const Integer n = c.Rle4 ? IEBMPEncodeRLE4Row(c.Indexes.data(), Integer(c.Indexes.size()), out.data())
                             : IEBMPEncodeRLE8Row(c.Indexes.data(), Integer(c.Indexes.size()), out.data());
    out.resize(size_t(n));
    EXPECT_EQ(out, c.Coded);
  }
  // Long rows: runs and literals longer than 255 come back whole.
  Bytes row(700);
  for (size_t i = 0; i < row.size(); ++i) row[i] = i < 300 ? 5 : Byte(i % 13);
  for (bool rle4 : {false, true}) {
    Bytes v = row;
    if (rle4)
      for (Byte& b : v) b &= 15;
    Bytes out(v.size() * 10 + 16);
    const Integer n = rle4 ? IEBMPEncodeRLE4Row(v.data(), 700, out.data()) : IEBMPEncodeRLE8Row(v.data(), 700, out.data());
    BmpSpec s{"long", 40, rle4 ? 4 : 8, rle4 ? 2u : 1u, false, 700, 1, 16, {}, Bytes(out.begin(), out.begin() + n)};
    Read r;
    ReadBytes(r, MakeBmp(s), true, true);
    ASSERT_FALSE(r.Pr.Aborting);
    for (Integer x = 0; x < 700; ++x) {
      ASSERT_EQ(r.B.GetPixelByte(x, 0), v[size_t(x)]) << "x " << x;
    }
  }
}

struct WriteCase {
  const char* Name;
  Byte Version;
  Byte Compression;
  int Bps, Spp;
  bool Alpha;
  int Colors;  // picture's colours (0: many)
  int FileBits;
};

TEST(BmpWriter, EveryVariantReadsBackInBothOracles) {
  const WriteCase cases[] = {
      {"24 v1", 1, 0, 8, 3, false, 0, 24},   {"24 os2", 2, 0, 8, 3, false, 0, 24},
      {"24 v3", 3, 0, 8, 3, false, 0, 24},   {"32 alpha", 1, 0, 8, 3, true, 0, 32},
      {"8", 1, 0, 8, 1, false, 200, 8},      {"8 rle", 1, 1, 8, 1, false, 200, 8},
      {"4", 1, 0, 4, 1, false, 16, 4},       {"4 rle", 1, 1, 4, 1, false, 16, 4},
      {"4 os2 rle asked", 2, 1, 4, 1, false, 16, 4},  {"1 two colours", 1, 0, 1, 1, false, 2, 1},
  };
  TempDir dir("bmpw");
  for (const WriteCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto src = c.Colors ? FewColors(37, 11, c.Colors) : ManyColors(37, 11);
    if (c.Alpha) {
      TIEBitmap* a = src->GetAlphaChannel();
      for (Integer y = 0; y < 11; ++y)
        for (Integer x = 0; x < 37; ++x) a->SetPixelByte(x, y, Byte(x * 7 + y));
    }
    TIOParamsVals p(nullptr);
    p.BMP_VERSION = c.Version;
    p.BMP_COMPRESSION = c.Compression;
    p.BITSPERSAMPLE = c.Bps;
    p.SAMPLESPERPIXEL = c.Spp;
    p.SetDpiX(150);
    p.SetDpiY(300);
    TMemoryStream s;
    Progress pr;
    IEWriteBMP(&s, src.get(), p, pr.Rec, c.Alpha);
    ASSERT_FALSE(pr.Aborting);
    const Bytes file = Contents(s);
    ASSERT_GT(file.size(), 30u);
    EXPECT_EQ(gt_test::U32(file, 2), file.size());
    const int bitsAt = c.Version == 2 ? 24 : 28;
    EXPECT_EQ(file[bitsAt], c.FileBits);
    if (c.Version == 2) {
      EXPECT_NE(Bytes(file.end() - 2, file.end()), (Bytes{0, 1})) << "no end-of-bitmap code";
    }
    const std::string path = dir.File(std::string(c.Name) + ".bmp");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
    Rgb want = ToRgb(src.get());
    if (!c.Alpha) want.Alpha.assign(want.Alpha.size(), 255);
    // Pillow's decoder reads an odd absolute run of nibbles one short.
    if (c.Version != 2 && !(c.FileBits == 4 && c.Compression == 1)) {
      Rgb pil = PillowRgb(path);
      if (!c.Alpha) pil.Alpha.assign(pil.Alpha.size(), 255);
      // Pillow takes the fourth byte of a plain 32-bit file as padding.
      if (c.Alpha) pil.Alpha = want.Alpha;
      EXPECT_EQ(pil, want) << "Pillow";
    }
    EXPECT_EQ(MagickRgb(path).Pixels, want.Pixels) << "ImageMagick";
    // And our own reader, with the alpha when it was written.
    Read r;
    ReadBytes(r, file, !c.Alpha);
    ASSERT_FALSE(r.Pr.Aborting);
    if (r.Mask) IEApplyAlphaMask(&r.B, r.Mask.get());
    // One bit reads as black and white whatever the table holds.
    if (c.FileBits != 1) {
      EXPECT_EQ(ToRgb(&r.B), want);
    }
    if (c.Version != 2) {
      EXPECT_EQ(r.P.DPIX, 150);
      EXPECT_EQ(r.P.DPIY, 300);
    }
  }
}

// A palette picture with indexes past 16 written as 4 bits keeps its colours
// (the indexes are remapped, not cut to a nibble); a 32-bit save of a picture
// without alpha adds none to it.
TEST(BmpWriter, SourcesTheTableCannotHoldAsTheyAre) {
  TIEBitmap pal(13, 5, ie8p);
  for (int i = 0; i < 256; ++i) pal.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i * 3)});
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 13; ++x) pal.SetPixelByte(x, y, Byte(200 + (x + y) % 16));
  TIOParamsVals p(nullptr);
  p.BITSPERSAMPLE = 4;
  p.SAMPLESPERPIXEL = 1;
  TMemoryStream s;
  Progress pr;
  IEWriteBMP(&s, &pal, p, pr.Rec, false);
  ASSERT_FALSE(pr.Aborting);
  Read r;
  ReadBytes(r, Contents(s));
  EXPECT_EQ(ToRgb(&r.B), ToRgb(&pal));

  auto rgb = ManyColors(5, 4);
  TIOParamsVals p32(nullptr);
  TMemoryStream s32;
  Progress pr32;
  IEWriteBMP(&s32, rgb.get(), p32, pr32.Rec, true);
  ASSERT_FALSE(pr32.Aborting);
  EXPECT_FALSE(rgb->HasAlphaChannel());
  const Bytes f = Contents(s32);
  EXPECT_EQ(f[28], 32);
  EXPECT_EQ(f[gt_test::U32(f, 10) + 3], 255);
}

TEST(BmpCompanion, FileStreamAndBufferPaths) {
  IEBuildFormatRegistry();
  auto src = ManyColors(23, 9);
  TempDir dir("bmpio");
  const std::string path = dir.File("pic.bmp");
  TZiduzUvIO out(nullptr);
  out.AttachIEBitmap(src.get());
  out.SaveToFile(Wide(path));
  ASSERT_FALSE(out.Aborting());
  EXPECT_EQ(MagickRgb(path).Pixels, ToRgb(src.get()).Pixels);

  TZiduzUvIO in(nullptr);
  in.LoadFromFile(Wide(path));
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FILETYPE, ieftBMP);
  EXPECT_EQ(ToRgb(in.IEBitmap()), ToRgb(src.get()));

  TMemoryStream s;
  out.SaveToStream(&s, ieftBMP);
  ASSERT_FALSE(out.Aborting());
  const Bytes bytes = Contents(s);
  TZiduzUvIO fromStream(nullptr);
  s.SetPosition(0);
  fromStream.LoadFromStream(&s);
  ASSERT_FALSE(fromStream.Aborting());
  EXPECT_EQ(ToRgb(fromStream.IEBitmap()), ToRgb(src.get()));
  TZiduzUvIO fromBuffer(nullptr);
  fromBuffer.LoadFromBuffer(bytes.data(), Integer(bytes.size()), ieftBMP);
  ASSERT_FALSE(fromBuffer.Aborting());
  EXPECT_EQ(ToRgb(fromBuffer.IEBitmap()), ToRgb(src.get()));

  // With BMP_HANDLETRANSPARENCY the alpha travels both ways.
  TIEBitmap* a = src->GetAlphaChannel();
  for (Integer y = 0; y < 9; ++y)
    for (Integer x = 0; x < 23; ++x) a->SetPixelByte(x, y, Byte(x * 11));
  out.Params().BMP_HANDLETRANSPARENCY = true;
  out.SaveToFile(Wide(path));
  ASSERT_FALSE(out.Aborting());
  TZiduzUvIO alphaIn(nullptr);
  alphaIn.Params().BMP_HANDLETRANSPARENCY = true;
  alphaIn.LoadFromFile(Wide(path));
  ASSERT_FALSE(alphaIn.Aborting());
  EXPECT_EQ(ToRgb(alphaIn.IEBitmap()), ToRgb(src.get()));
  IEFreeFormatRegistry();
}

}  // namespace

}  // namespace test_bmp_tests
