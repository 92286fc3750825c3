// Icons and cursors: every depth with its AND mask decoded as Pillow decodes
// it, cursors whose colour count disagrees with their bit count, hot spots,
// icons that are bitmaps, and the multi-size writer run off the main thread.
#include <gtest/gtest.h>

#include <thread>

#include "formats_test_util.h"
#include "imaging/formats/ico.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"

namespace test_ico_tests {

using namespace fmt_test;

namespace {

struct Entry {
  int W, H, Bits;
  Byte CountByte;      // directory colour count
  bool AndMask;        // AND rows stored
  Byte AlphaOf32 = 1;  // 0: every alpha byte of a 32-bit image 0; else varied
  uint16_t HotX = 0, HotY = 0;
};

Bytes Image(const Entry& E, uint32_t Seed) {
  Bytes d;
  Add32(d, 40);
  Add32(d, uint32_t(E.W));
  Add32(d, uint32_t(E.H * 2));
  Add16(d, 1);
  Add16(d, uint32_t(E.Bits));
  for (int i = 0; i < 6; ++i) Add32(d, 0);
  gt_test::Lcg g(Seed);
  // One-bit tables are black and white: the reader shows one bit as such.
  if (E.Bits <= 8)
    for (int i = 0; i < (1 << E.Bits); ++i) Add32(d, E.Bits == 1 ? (i ? 0xFFFFFF : 0) : g.Next() & 0xFFFFFF);
  const int rowLen = (E.W * E.Bits + 31) / 32 * 4;
  for (int i = 0; i < rowLen * E.H; ++i) {
    Byte v = Byte(g.Next());
    if (E.Bits == 32 && i % 4 == 3) v = E.AlphaOf32 ? Byte(v | 1) : 0;
    d.push_back(v);
  }
  if (E.AndMask) {
    const int andLen = (E.W + 31) / 32 * 4;
    for (int i = 0; i < andLen * E.H; ++i) d.push_back(Byte(g.Next() & 0x9C));
  }
  return d;
}

Bytes Icon(const std::vector<Entry>& Entries, int Type) {
  Bytes f;
  Add16(f, 0);
  Add16(f, uint32_t(Type));
  Add16(f, uint32_t(Entries.size()));
  std::vector<Bytes> images;
  uint32_t at = uint32_t(6 + 16 * Entries.size());
  for (size_t i = 0; i < Entries.size(); ++i) {
    const Entry& e = Entries[i];
    images.push_back(Image(e, uint32_t(17 + i)));
    f.insert(f.end(), {Byte(e.W), Byte(e.H), e.CountByte, 0});
    Add16(f, Type == 2 ? e.HotX : 1);
    Add16(f, Type == 2 ? e.HotY : uint32_t(e.Bits));
    Add32(f, uint32_t(images.back().size()));
    Add32(f, at);
    at += uint32_t(images.back().size());
  }
  for (const Bytes& b : images) AddBytes(f, b);
  return f;
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
  std::unique_ptr<TIEMask> Mask;
};

void ReadIcon(Read& R, const Bytes& File, bool Cursor, Integer Index = 0) {
  TMemoryStream s;
  Fill(s, File);
  R.P.SetImageIndex(Index);
  R.P.ICO_BACKGROUND = IEBlackRGB;
  R.P.CUR_BACKGROUND = IEBlackRGB;
  if (Cursor)
    IEReadCUR(&s, &R.B, R.P, false, R.Pr.Rec, R.Mask, false);
  else
    IEReadICO(&s, &R.B, R.P, false, R.Pr.Rec, R.Mask, false);
}

// Ours against Pillow's RGBA: alpha everywhere (Pillow gives cursors none),
// colour where opaque.
void ExpectLikePillow(Read& R, const std::string& Path, bool Alpha) {
  const Rgb want = PillowRgb(Path);
  ASSERT_EQ(want.W, R.B.Width()) << "Pillow could not read the fixture";
  Rgb got = ToRgb(&R.B);
  for (size_t i = 0; i < got.Alpha.size(); ++i) {
    got.Alpha[i] = Byte(R.Mask ? R.Mask->GetPixel(Integer(i % got.W), Integer(i / got.W)) : 255);
  }
  if (Alpha) {
    EXPECT_EQ(got.Alpha, want.Alpha);
  }
  for (size_t i = 0; i < want.Alpha.size(); ++i) {
    if (got.Alpha[i] != 255) continue;
    ASSERT_EQ(Bytes(got.Pixels.begin() + 3 * i, got.Pixels.begin() + 3 * i + 3),
              Bytes(want.Pixels.begin() + 3 * i, want.Pixels.begin() + 3 * i + 3))
        << "pixel " << i;
  }
}

TEST(IcoReader, DepthsAndMasksLikePillow) {
  const Entry cases[] = {
      {16, 16, 1, 2, true}, {16, 16, 4, 16, true}, {16, 16, 8, 0, true}, {16, 16, 24, 0, true}, {16, 16, 32, 0, true},
  };
  TempDir dir("ico");
  for (const Entry& c : cases) {
    SCOPED_TRACE(c.Bits);
    const Bytes file = Icon({c}, 1);
    const std::string path = dir.File("a.ico");
    ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
    Read r;
    ReadIcon(r, file, false);
    ASSERT_FALSE(r.Pr.Aborting);
    ExpectLikePillow(r, path, true);
  }
}

TEST(IcoReader, EdgeCases) {
  // Every alpha byte 0 with AND rows: the AND mask decides.
  Read andMask;
  ReadIcon(andMask, Icon({{16, 16, 32, 0, true, 0}}, 1), false);
  ASSERT_FALSE(andMask.Pr.Aborting);
  int clear = 0, opaque255 = 0;
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) (andMask.Mask->GetPixel(x, y) == 0 ? clear : opaque255)++;
  EXPECT_GT(clear, 0);
  EXPECT_GT(opaque255, 0);
  // A 32-bit icon with every alpha 0 and no AND rows is opaque.
  Read opaque;
  ReadIcon(opaque, Icon({{8, 8, 32, 0, false, 0}}, 1), false);
  ASSERT_FALSE(opaque.Pr.Aborting);
  ASSERT_TRUE(opaque.Mask);
  EXPECT_EQ(opaque.Mask->GetPixel(3, 5), 255);
  // An index past the directory fails the load.
  Read missing;
  ReadIcon(missing, Icon({{8, 8, 8, 0, true}}, 1), false, 3);
  EXPECT_TRUE(missing.Pr.Aborting);
  // Several images: the size list, and the second image by index.
  const Bytes two = Icon({{16, 16, 8, 0, true}, {32, 24, 24, 0, true}}, 1);
  Read second;
  ReadIcon(second, two, false, 1);
  ASSERT_FALSE(second.Pr.Aborting);
  EXPECT_EQ(second.B.Width(), 32);
  EXPECT_EQ(second.B.Height(), 24);
  EXPECT_EQ(second.P.ICO_SIZES[1], TSize(32, 24));
  EXPECT_EQ(second.P.ICO_BITDEPTHS[0], 8);
  // An ".ico" that is a bitmap.
  TIEBitmap b(3, 2, ie24RGB);
  b.Fill(0x102030);
  Read bmp;
  TMemoryStream s;
  {
    std::vector<Byte> f = {'B', 'M'};
    Add32(f, 14 + 40 + 16);
    Add32(f, 0);
    Add32(f, 54);
    Add32(f, 40);
    Add32(f, 3);
    Add32(f, 2);
    Add16(f, 1);
    Add16(f, 24);
    for (int i = 0; i < 6; ++i) Add32(f, 0);
    for (int i = 0; i < 16; ++i) f.push_back(Byte(i));
    ReadIcon(bmp, f, false);
  }
  ASSERT_FALSE(bmp.Pr.Aborting);
  EXPECT_EQ(bmp.B.Width(), 3);
  EXPECT_EQ(bmp.B.GetPixelTriple(0, 1), (TRGB{0, 1, 2}));
}

// Cursors: hot spots, and tables whose entry count disagrees with the bit
// count (a 4- or 8-bit cursor counting 2 colours) decode at their bit count.
TEST(CurReader, HotSpotsAndShortTables) {
  struct Case {
    Entry E;
    bool Pillow;
  } cases[] = {
      {{16, 16, 1, 2, true, 1, 3, 4}, false},
      {{16, 16, 4, 16, true, 1, 5, 6}, true},
      {{16, 16, 8, 0, true, 1, 7, 8}, true},
      {{16, 16, 8, 2, true, 1, 1, 2}, false},
      {{16, 16, 4, 2, true, 1, 9, 9}, false},
  };
  TempDir dir("cur");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.E.Bits) + " bits, count " + std::to_string(c.E.CountByte));
    const Bytes file = Icon({c.E}, 2);
    Read r;
    ReadIcon(r, file, true);
    ASSERT_FALSE(r.Pr.Aborting);
    EXPECT_EQ(r.P.CUR_XHOTSPOT, c.E.HotX);
    EXPECT_EQ(r.P.CUR_YHOTSPOT, c.E.HotY);
    EXPECT_EQ(r.B.PixelFormat(), c.E.Bits == 1 ? ie1g : ie24RGB);
    if (c.Pillow) {
      const std::string path = dir.File("a.cur");
      ASSERT_TRUE(gt_test::WriteFileBytes(path, file));
      ExpectLikePillow(r, path, false);
    } else if (c.E.Bits > 1) {
      // Only the two counted entries are colours; the rest read black.
      const size_t table = 6 + 16 + 40;
      TRGB first{file[table], file[table + 1], file[table + 2]};
      bool sawIndexAbove = false;
      for (Integer y = 0; y < 16; ++y)
        for (Integer x = 0; x < 16; ++x) {
          if (r.Mask->GetPixel(x, y) == 0) continue;
          const TRGB p = r.B.GetPixelTriple(x, y);
          if (!(p == first) && !(p == TRGB{file[table + 4], file[table + 5], file[table + 6]})) {
            EXPECT_EQ(p, (TRGB{0, 0, 0}));
            sawIndexAbove = true;
          }
        }
      EXPECT_TRUE(sawIndexAbove);
    }
  }
}

TEST(IcoWriter, DefaultIconOnAWorkerThreadReadsInPillow) {
  auto src = ManyColors(40, 30);
  TIEBitmap* a = src->GetAlphaChannel();
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) a->SetPixelByte(x, y, x < 10 ? 0 : 255);
  TIOParamsVals p(nullptr);
  TMemoryStream s;
  Progress pr;
  std::thread worker([&] {
    IEWriteICO(&s, src.get(), p, pr.Rec, {p.ICO_SIZES[0], TSize(16, 16)}, {p.ICO_BITDEPTHS[0], 32});
  });
  worker.join();
  ASSERT_FALSE(pr.Aborting);
  const Bytes f = Contents(s);
  EXPECT_EQ(gt_test::U32(f, 0) & 0xFFFF0000u, 0x10000u);
  EXPECT_EQ(f[4], 2);
  // The 8-bit entry: 64 x 64, 255 colours counted, planes and bits 0.
  EXPECT_EQ(Bytes(f.begin() + 6, f.begin() + 14), (Bytes{64, 64, 255, 0, 0, 0, 0, 0}));
  EXPECT_EQ(p.COLORMAPCOUNT, 256);
  TempDir dir("icow");
  const std::string path = dir.File("w.ico");
  ASSERT_TRUE(gt_test::WriteFileBytes(path, f));
  for (const char* frame : {"0", "1"}) {
    SCOPED_TRACE(frame);
    Read r;
    ReadIcon(r, f, false, std::string(frame) == "0" ? 0 : 1);
    ASSERT_FALSE(r.Pr.Aborting);
    // The left quarter was transparent.
    EXPECT_EQ(r.Mask->GetPixel(0, 5), 0);
    EXPECT_EQ(r.Mask->GetPixel(r.B.Width() - 1, 5), 255);
  }
  // Pillow opens the largest image: the 64 x 64 one, transparent pixels on index 0.
  const Rgb pil = PillowRgb(path);
  ASSERT_EQ(pil.W, 64);
  EXPECT_EQ(pil.Alpha[64 * 10], 0);
  EXPECT_EQ(pil.Alpha[64 * 10 + 63], 255);
}

TEST(IcoCompanion, SaveAndLoadByFile) {
  IEBuildFormatRegistry();
  auto src = FewColors(64, 64, 40);
  TempDir dir("icoio");
  const std::string path = dir.File("a.ico");
  TZiduzUvIO out(nullptr);
  out.AttachIEBitmap(src.get());
  out.SaveToFile(Wide(path));
  ASSERT_FALSE(out.Aborting());
  TZiduzUvIO in(nullptr);
  in.LoadFromFile(Wide(path));
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FILETYPE, ieftICO);
  // 40 colours fit the 255 of an 8-bit icon exactly.
  EXPECT_EQ(ToRgb(in.IEBitmap()).Pixels, ToRgb(src.get()).Pixels);
  IEFreeFormatRegistry();
}

}  // namespace

}  // namespace test_ico_tests
