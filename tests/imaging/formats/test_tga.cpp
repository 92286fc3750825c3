// The TGA codec: row orders, run-length packets across rows, colour maps of
// every entry size (one placed where it would overflow the palette), alpha,
// the 2.0 extension area, and a writer whose files Pillow and ImageMagick read.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_test_util.h"
#include "imaging/formats/tga.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/dateutils.h"

namespace test_tga_tests {

using namespace fmt_test;

namespace {

struct TgaSpec {
  const char* Name;
  int Type, Depth, W, H;
  Byte Descriptor;      // 0x20 top-down, 0x10 right to left
  int MapFirst = 0, MapLength = 0, MapBits = 0;
  Bytes Data;           // empty: raw random pixels made here
  uint32_t Compare = 0xFFFFFF;
};

Bytes MakeTga(const TgaSpec& S, Bytes* Pixels = nullptr) {
  Bytes f = {3, Byte(S.MapLength ? 1 : 0), Byte(S.Type)};
  Add16(f, S.MapFirst);
  Add16(f, S.MapLength);
  f.push_back(Byte(S.MapBits));
  Add16(f, 0);
  Add16(f, 0);
  Add16(f, S.W);
  Add16(f, S.H);
  f.push_back(Byte(S.Depth));
  f.push_back(S.Descriptor);
  AddBytes(f, {'i', 'd', '!'});
  gt_test::Lcg g(S.Depth * 13 + S.W + S.MapBits);
  for (int i = 0; i < S.MapLength * ((S.MapBits + 7) / 8); ++i) f.push_back(Byte(g.Next()));
  Bytes data = S.Data;
  if (data.empty()) {
    data.resize(size_t(S.W) * S.H * (S.Depth / 8));
    for (Byte& b : data) b = Byte(g.Next());
    if (S.MapLength)
      for (Byte& b : data) b = Byte(S.MapFirst + b % S.MapLength);
  }
  if (Pixels) *Pixels = data;
  AddBytes(f, data);
  return f;
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
  std::unique_ptr<TIEMask> Mask;
};

void ReadTga(Read& R, const Bytes& File) {
  TMemoryStream s;
  Fill(s, File);
  IEReadTGA(&s, &R.B, R.P, R.Pr.Rec, false, R.Mask, false);
}

Rgb Masked(Rgb R, uint32_t Compare, bool KeepAlpha) {
  for (size_t i = 0; i < R.Pixels.size(); i += 3) {
    R.Pixels[i] &= Byte(Compare >> 16);
    R.Pixels[i + 1] &= Byte(Compare >> 8);
    R.Pixels[i + 2] &= Byte(Compare);
  }
  if (!KeepAlpha) R.Alpha.assign(R.Alpha.size(), 255);
  return R;
}

TEST(TgaReader, DecodesLikePillow) {
  // Run-length rows of 3 pixels: a run of 5 that crosses into the next row,
  // a raw packet of 2 crossing again, then a run to the end.
  const Bytes rle = {0x84, 10, 20, 30, 0x01, 1, 2, 3, 4, 5, 6, 0x81, 7, 8, 9};
  const TgaSpec cases[] = {
      {"24 bottom-up", 2, 24, 5, 4, 0x00, 0, 0, 0, {}},
      {"24 top-down", 2, 24, 5, 4, 0x20, 0, 0, 0, {}},
      {"24 mirrored bottom-up", 2, 24, 5, 4, 0x10, 0, 0, 0, {}},
      {"24 rle across rows", 10, 24, 3, 3, 0x20, 0, 0, 0, rle},
      {"16", 2, 16, 4, 3, 0x20, 0, 0, 0, {}, 0xF8F8F8},
      {"32 alpha", 2, 32, 4, 3, 0x28, 0, 0, 0, {}},
      {"8 grey", 3, 8, 6, 2, 0x20, 0, 0, 0, {}},
      {"8 map of 15-bit entries", 1, 8, 4, 4, 0x20, 0, 16, 15, {}, 0xF8F8F8},
      {"8 map of 16-bit entries", 1, 8, 4, 4, 0x20, 0, 16, 16, {}, 0xF8F8F8},
      {"8 map of 24-bit entries", 1, 8, 4, 4, 0x20, 0, 40, 24, {}},
      {"8 map of 32-bit entries", 1, 8, 4, 4, 0x20, 0, 30, 32, {}},
  };
  TempDir dir("tga");
  for (const TgaSpec& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = MakeTga(c);
    const std::string path = dir.File("a.tga");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
    Read r;
    ReadTga(r, file);
    ASSERT_FALSE(r.Pr.Aborting);
    if (r.Mask) {
      TIEBitmap* a = r.B.GetAlphaChannel();
      for (Integer y = 0; y < c.H; ++y)
        for (Integer x = 0; x < c.W; ++x) a->SetPixelByte(x, y, Byte(r.Mask->GetPixel(x, y)));
    }
    // Pillow refuses packets that run on into the next row and maps of 32-bit
    // entries, and shows maps of 15- and 16-bit entries in grey.
    const bool magick = c.Type == 10 || c.MapBits == 15 || c.MapBits == 16 || c.MapBits == 32;
    const Rgb want = magick ? MagickRgb(path) : PillowRgb(path);
    ASSERT_EQ(want.W, c.W);
    // Pillow takes map entries' fourth byte as padding.
    const bool alpha = c.Depth == 32;
    EXPECT_EQ(Masked(ToRgb(&r.B), c.Compare, alpha), Masked(want, c.Compare, alpha));
    EXPECT_EQ(r.P.TGA_GRAYLEVEL, c.Type == 3);
  }
}

// A map whose entries start at 250 and run for 20: the entries past the
// palette are consumed but not stored, and the pixels after the map are
// still found.
TEST(TgaReader, ColourMapBeyondThePaletteIsConsumedNotStored) {
  TgaSpec s{"map 250+20", 1, 8, 2, 1, 0x20, 250, 20, 24, {255, 250}};
  const Bytes file = MakeTga(s);
  Read r;
  ReadTga(r, file);
  ASSERT_FALSE(r.Pr.Aborting);
  const size_t map = 18 + 3;
  // Entry k of the map holds palette index 250 + k.
  const TRGB e5{file[map + 15], file[map + 16], file[map + 17]};
  const TRGB e0{file[map], file[map + 1], file[map + 2]};
  EXPECT_EQ(r.B.GetPixelTriple(0, 0), e5);
  EXPECT_EQ(r.B.GetPixelTriple(1, 0), e0);
  EXPECT_EQ(r.P.COLORMAPCOUNT, 20);
}

TEST(TgaReader, AlphaAndHostileHeaders) {
  for (Byte a : {Byte(0), Byte(255)}) {
    Bytes px;
    for (int i = 0; i < 6; ++i) px.insert(px.end(), {Byte(i), 2, 3, a});
    Read r;
    ReadTga(r, MakeTga({"alpha", 2, 32, 3, 2, 0x20, 0, 0, 0, px}));
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.Mask != nullptr, a == 255) << int(a);
    if (r.Mask) {
      EXPECT_EQ(r.Mask->GetPixel(2, 1), 255);
    }
  }
  struct Bad {
    const char* Name;
    size_t At;
    Byte Value;
  } bad[] = {{"type 4", 2, 4}, {"depth 12", 16, 12}, {"map type 2", 1, 2}, {"width 0", 12, 0}};
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.Name);
    Bytes f = MakeTga({"good", 2, 24, 2, 2, 0x20, 0, 0, 0, {}});
    f[b.At] = b.Value;
    if (b.At == 12) f[13] = 0;
    Read r;
    ReadTga(r, f);
    EXPECT_TRUE(r.Pr.Aborting);
  }
  // Data cut short: the rows read as zeros, the reader stays in the stream.
  Bytes cut = MakeTga({"cut", 10, 24, 40, 40, 0x20, 0, 0, 0, {}});
  cut.resize(30);
  Read r;
  ReadTga(r, cut);
  EXPECT_FALSE(r.Pr.Aborting);
}

TEST(TgaWriter, PacketsExtensionAndFooter) {
  TIEBitmap b(130, 1, ie24RGB);
  b.Fill(0x123456);
  TIOParamsVals p(nullptr);
  p.TGA_ASPECTRATIO = 1.5;
  p.TGA_GAMMA = 2.2;
  p.TGA_AUTHOR = "someone";
  p.TGA_DESCRIPTOR = "";
  TMemoryStream s;
  Progress pr;
  IEWriteTGA(&s, &b, p, pr.Rec, nullptr);
  ASSERT_FALSE(pr.Aborting);
  const Bytes f = Contents(s);
  ASSERT_EQ(f[2], 10);
  const size_t data = 18 + 1;
  EXPECT_EQ(f[data], 0xFF);
  EXPECT_EQ(f[data + 4], 0x81);
  ASSERT_EQ(f.size(), data + 8 + 495 + 26);
  const size_t ext = gt_test::U32(f, f.size() - 26);
  EXPECT_EQ(ext, data + 8);
  EXPECT_EQ(f[ext] | f[ext + 1] << 8, 495);
  EXPECT_EQ(f[ext + 474] | f[ext + 475] << 8, 15000);
  EXPECT_EQ(f[ext + 478] | f[ext + 479] << 8, 22000);
  EXPECT_EQ(f[ext + 480] | f[ext + 481] << 8, 10000);
  EXPECT_EQ(std::string(f.end() - 18, f.end() - 1), "TRUEVISION-XFILE.");

  // Read back: the fields come home; a date of 31 February gives today.
  Bytes bad = f;
  bad[ext + 367] = 2;
  bad[ext + 369] = 31;
  Read r;
  ReadTga(r, f);
  ASSERT_FALSE(r.Pr.Aborting);
  EXPECT_EQ(r.P.TGA_AUTHOR, "someone");
  EXPECT_DOUBLE_EQ(r.P.TGA_ASPECTRATIO, 1.5);
  Read r2;
  ReadTga(r2, bad);
  Word y, m, d;
  DecodeDate(r2.P.TGA_DATE, y, m, d);
  Word ty, tm, td;
  DecodeDate(Date(), ty, tm, td);
  EXPECT_EQ(std::make_tuple(y, m, d), std::make_tuple(ty, tm, td));
}

TEST(TgaWriter, VariantsReadBackInThePeers) {
  struct Case {
    const char* Name;
    int Bps, Spp;
    bool Compressed, Alpha, Grey;
    int Colors;
    int FileType, FileDepth;
  } cases[] = {
      {"24 rle", 8, 3, true, false, false, 0, 10, 24},    {"24 raw", 8, 3, false, false, false, 0, 2, 24},
      {"32 alpha", 8, 3, true, true, false, 0, 2, 32},    {"8 mapped rle", 8, 1, true, false, false, 100, 9, 8},
      {"8 grey", 8, 1, false, false, true, 0, 3, 8},      {"4 asked", 4, 1, true, false, false, 16, 1, 8},
  };
  TempDir dir("tgaw");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto src = c.Colors ? FewColors(21, 7, c.Colors) : ManyColors(21, 7);
    if (c.Alpha) {
      for (Integer y = 0; y < 7; ++y)
        for (Integer x = 0; x < 21; ++x) src->GetAlphaChannel()->SetPixelByte(x, y, Byte(x * 12));
    }
    TIOParamsVals p(nullptr);
    p.BITSPERSAMPLE = c.Bps;
    p.SAMPLESPERPIXEL = c.Spp;
    p.TGA_COMPRESSED = c.Compressed;
    p.TGA_GRAYLEVEL = c.Grey;
    TMemoryStream s;
    Progress pr;
    IEWriteTGA(&s, src.get(), p, pr.Rec, c.Alpha ? src->GetAlphaChannel() : nullptr);
    ASSERT_FALSE(pr.Aborting);
    const Bytes f = Contents(s);
    EXPECT_EQ(f[2], c.FileType);
    EXPECT_EQ(f[16], c.FileDepth);
    const size_t ext = gt_test::U32(f, f.size() - 26);
    EXPECT_EQ(f[ext + 494], c.Alpha ? 3 : 0);
    const std::string path = dir.File("w.tga");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
    Rgb want = ToRgb(src.get());
    if (c.Grey)
      for (size_t i = 0; i < want.Pixels.size(); i += 3)
        want.Pixels[i] = want.Pixels[i + 1] = want.Pixels[i + 2] =
            Byte((want.Pixels[i] * 21 + want.Pixels[i + 1] * 71 + want.Pixels[i + 2] * 8) / 100);
    EXPECT_EQ(PillowRgb(path), want) << "Pillow";
    EXPECT_EQ(MagickRgb(path).Pixels, want.Pixels) << "ImageMagick";
  }
}

TEST(TgaCompanion, FileAndBufferWithAlpha) {
  IEBuildFormatRegistry();
  auto src = ManyColors(9, 5);
  for (Integer y = 0; y < 5; ++y)
    for (Integer x = 0; x < 9; ++x) src->GetAlphaChannel()->SetPixelByte(x, y, Byte(x * 30 + y));
  TempDir dir("tgaio");
  const std::string path = dir.File("a.tga");
  TZiduzUvIO out(nullptr);
  out.AttachIEBitmap(src.get());
  out.SaveToFile(Wide(path));
  ASSERT_FALSE(out.Aborting());
  TZiduzUvIO in(nullptr);
  in.LoadFromFile(Wide(path));
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FILETYPE, ieftTGA);
  EXPECT_EQ(ToRgb(in.IEBitmap()), ToRgb(src.get()));
  const Bytes bytes = gt_test::ReadFileBytes(path);
  TZiduzUvIO fromBuffer(nullptr);
  fromBuffer.LoadFromBuffer(bytes.data(), Integer(bytes.size()), ieftTGA);
  ASSERT_FALSE(fromBuffer.Aborting());
  EXPECT_EQ(ToRgb(fromBuffer.IEBitmap()), ToRgb(src.get()));
  IEFreeFormatRegistry();
}

}  // namespace

}  // namespace test_tga_tests
