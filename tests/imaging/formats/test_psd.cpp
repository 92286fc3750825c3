// The PSD reader: merged pictures of every mode ImageMagick writes compared
// with its own decoding, hand-built documents for the resource scan, layers,
// masks and hostile lengths, and layers compared with psd-tools.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/formats/psd.h"
#include "imaging/io/ieprobes.h"
#include "imaging/view/ziduzuvview.h"
#include "test_psd_util.h"

using namespace fmt_test;
using namespace psd_tests;

namespace psd_tests {
namespace {

TEST(PsdRead, MergedPictureMatchesImageMagick) {
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("psd");
  const std::string src = dir.File("src.png");
  // Colour steps in both directions, so that swapped channels or rows show.
  ASSERT_EQ(Shell("convert -size 19x7 gradient:red-blue \\( -size 19x7 gradient:black-lime -rotate 0 \\) "
                  "-compose plus -composite -type TrueColor '" + src + "'"), 0);
  struct Case {
    const char* Name;
    const char* Args;
    TIEPixelFormat Native;
    int Tolerance;  // 16-bit samples: the high byte here, rounded there
    bool Pillow = false;  // ImageMagick cannot read back its own indexed files
  };
  const Case cases[] = {
      {"rgb8", "-depth 8", ie24RGB, 0},
      {"rgb8_rle", "-depth 8 -compress RLE", ie24RGB, 0},
      {"rgb8_raw", "-depth 8 -compress None", ie24RGB, 0},
      {"grey8", "-colorspace Gray -depth 8", ie8g, 0},
      {"grey16", "-colorspace Gray -depth 16", ie16g, 1},
      {"rgb16", "-depth 16", ieRGB48, 1},
      {"indexed", "+dither -colors 60 -type Palette -depth 8", ie8p, 0, true},
      {"bitmap", "-monochrome -depth 1", ie1g, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = dir.File(std::string(c.Name) + ".psd");
    ASSERT_EQ(Shell("convert '" + src + "' " + c.Args + " '" + f + "'"), 0);
    // Pillow numbers the layers from 1; this one covers the whole picture.
    const Rgb want = c.Pillow ? PillowRgb(f, "1") : MagickRgb(f);
    ASSERT_GT(want.W, 0);
    for (bool native : {false, true}) {
      Read r;
      ReadPsd(r, gt_test::ReadFileBytes(f), false, native);
      ASSERT_FALSE(r.Pr.Aborting);
      EXPECT_EQ(r.B.PixelFormat(), native || c.Native == ie1g ? c.Native : ie24RGB);
      EXPECT_EQ(r.P.WIDTH, 19);
      EXPECT_EQ(r.P.HEIGHT, 7);
      Rgb got = ToRgb(&r.B);
      got.Alpha = want.Alpha;
      EXPECT_TRUE(Near(got, want, c.Tolerance)) << testing::PrintToString(got) << "\n" << testing::PrintToString(want);
    }
  }
}

TEST(PsdRead, CmykSamplesAreKeptInverted) {
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("psd");
  const std::string f = dir.File("cmyk.psd");
  ASSERT_EQ(Shell("convert -size 9x5 gradient:yellow-navy -colorspace CMYK -depth 8 '" + f + "'"), 0);
  const std::string ink = Capture("convert '" + f + "[0]' -depth 8 cmyk:-");
  ASSERT_EQ(ink.size(), size_t(9 * 5 * 4));
  Read r;
  ReadPsd(r, gt_test::ReadFileBytes(f), false, true);
  ASSERT_FALSE(r.Pr.Aborting);
  ASSERT_EQ(r.B.PixelFormat(), ieCMYK);
  int differ = 0;
  for (Integer y = 0; y < 5; ++y) {
    const Byte* p = static_cast<const Byte*>(r.B.GetScanline(y));
    for (int i = 0; i < 9 * 4; ++i) differ += p[i] != Byte(255 - Byte(ink[size_t(y * 36 + i)]));
  }
  EXPECT_EQ(differ, 0);
}

TEST(PsdRead, LabAndSixteenBitCmykSamples) {
  // L, a + 128, b + 128 per pixel as the file stores them.
  const Bytes L = {0, 128, 255, 60}, A = {128, 0, 255, 100}, B = {128, 255, 0, 200};
  for (int depth : {8, 16}) {
    SCOPED_TRACE(depth);
    Doc d;
    d.Mode = 9;
    d.Depth = depth;
    d.Channels = 3;
    d.W = 4;
    d.H = 1;
    d.Merged = RawMerged({Widen(L, depth), Widen(A, depth), Widen(B, depth)});
    Read r;
    ReadPsd(r, Build(d), false, true);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.B.PixelFormat(), ieCIELab);
    const Byte* p = static_cast<const Byte*>(r.B.GetScanline(0));
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(p[3 * x], L[size_t(x)]);
      EXPECT_EQ(int8_t(p[3 * x + 1]), int(A[size_t(x)]) - 128);
      EXPECT_EQ(int8_t(p[3 * x + 2]), int(B[size_t(x)]) - 128);
    }
  }
  // 16-bit CMYK keeps each sample's high byte.
  Doc d;
  d.Mode = 4;
  d.Depth = 16;
  d.Channels = 4;
  d.W = 2;
  d.H = 1;
  d.Merged = RawMerged({{0x12, 0x34, 0xFF, 0x00}, {0x56, 0x78, 0x01, 0x02}, {0x9A, 0xBC, 0x80, 0x80},
                        {0xDE, 0xF0, 0x00, 0xFF}});
  Read r;
  ReadPsd(r, Build(d), false, true);
  ASSERT_FALSE(r.Pr.Aborting);
  ASSERT_EQ(r.B.PixelFormat(), ieCMYK);
  const Byte* p = static_cast<const Byte*>(r.B.GetScanline(0));
  EXPECT_EQ(Bytes(p, p + 8), (Bytes{0x12, 0x56, 0x9A, 0xDE, 0xFF, 0x01, 0x80, 0x00}));
}

TEST(PsdRead, MergedAlphaAndBitmapRows) {
  // RGB with a fourth channel: the picture's alpha.
  Doc d;
  d.W = 3;
  d.H = 1;
  d.Channels = 4;
  d.Merged = RawMerged({{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {0, 128, 255}});
  Read r;
  ReadPsd(r, Build(d), false, false);
  ASSERT_FALSE(r.Pr.Aborting);
  const Rgb got = ToRgb(&r.B);
  EXPECT_EQ(got.Pixels, (Bytes{10, 40, 70, 20, 50, 80, 30, 60, 90}));
  EXPECT_EQ(got.Alpha, (Bytes{0, 128, 255}));

  // Bitmap mode: a file 1 is black, a picture 1 is white.
  Doc m;
  m.Mode = 0;
  m.Depth = 1;
  m.Channels = 1;
  m.W = 10;
  m.H = 1;
  m.Merged = RawMerged({{0xF0, 0x40}});
  Read rb;
  ReadPsd(rb, Build(m), false, false);
  ASSERT_EQ(rb.B.PixelFormat(), ie1g);
  const Byte* p = static_cast<const Byte*>(rb.B.GetScanline(0));
  EXPECT_EQ(p[0], 0x0F);
  EXPECT_EQ(p[1] & 0xC0, 0x80);
}

TEST(PsdRead, ResourcesAreFoundWhateverComesBeforeThem) {
  // A valid ICC profile made by the colour engine's tools is not needed: the
  // profile's bytes are kept even when the engine rejects them.
  const Bytes icc = {0, 0, 0, 24, 'n', 'o', 'n', 'e', 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const Bytes dpi = {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0, 0x48, 0x80, 0, 0, 1, 0, 1};  // 300 x 72.5
  const Bytes xmp = {'<', 'x', '/', '>', 'z'};
  struct Case {
    const char* Name;
    Bytes Resources;
    int64_t Offset;  // where the document starts in the stream
  };
  const Case cases[] = {
      {"empty block first", Res(1000, "", {}) + Res(1005, "", dpi) + Res(1039, "", icc) + Res(1060, "", xmp), 0},
      {"odd data and a two-letter name", Res(2000, "ab", {1, 2, 3}) + Res(1005, "xyz", dpi) + Res(1039, "", icc) +
                                             Res(1060, "", xmp), 0},
      {"document at an odd offset", Res(2000, "", {7}) + Res(1005, "", dpi) + Res(1039, "a", icc) + Res(1060, "", xmp),
       3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Doc d;
    d.Resources = c.Resources;
    Bytes file(size_t(c.Offset), 0xEE);
    file = file + Build(d);
    Read r;
    TIEMemStream s(file.data(), int64_t(file.size()));
    s.SetPosition(c.Offset);
    IEReadPSD(&s, &r.B, r.P, r.Pr.Rec, false, nullptr);
    ASSERT_FALSE(r.Pr.Aborting);
    EXPECT_EQ(r.P.DPIX, 300);
    EXPECT_EQ(r.P.DPIY, 72);
    ASSERT_TRUE(r.P.INPUTICCPROFILE);
    EXPECT_EQ(Bytes(r.P.INPUTICCPROFILE->Raw(), r.P.INPUTICCPROFILE->Raw() + r.P.INPUTICCPROFILE->RawLength()), icc);
    EXPECT_EQ(r.P.XMP_INFO, "<x/>z");
    EXPECT_FALSE(r.B.IsEmpty());
  }
  // No resolution resource: 96 dpi.
  Doc d;
  Read r;
  ReadPsd(r, Build(d), false, false);
  EXPECT_EQ(r.P.DPIX, 96);
  EXPECT_EQ(r.P.DPIY, 96);
}

TEST(PsdRead, IndexedTransparentIndexGivesAlpha) {
  Doc d;
  d.Mode = 2;
  d.Channels = 1;
  d.W = 4;
  d.H = 1;
  d.ColourData.assign(768, 0);
  for (int i = 0; i < 256; ++i) {
    d.ColourData[size_t(i)] = Byte(i);
    d.ColourData[size_t(256 + i)] = Byte(255 - i);
    d.ColourData[size_t(512 + i)] = 7;
  }
  d.Resources = Res(1047, "", {0, 5});
  d.Merged = RawMerged({{5, 6, 5, 255}});
  Read r;
  ReadPsd(r, Build(d), false, false);
  ASSERT_FALSE(r.Pr.Aborting);
  const Rgb got = ToRgb(&r.B);
  EXPECT_EQ(got.Alpha, (Bytes{0, 255, 0, 255}));
  EXPECT_EQ(Bytes(got.Pixels.begin() + 3, got.Pixels.begin() + 6), (Bytes{6, 249, 7}));
}

TEST(PsdRead, ThumbnailResource) {
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("psd");
  const std::string j = dir.File("t.jpg");
  ASSERT_EQ(Shell("convert -size 6x4 xc:'#3080c0' -quality 100 '" + j + "'"), 0);
  const Bytes jpeg = gt_test::ReadFileBytes(j);
  Bytes t;
  for (uint32_t v : {1u, 6u, 4u, 18u, 72u, uint32_t(jpeg.size())}) Be32(t, v);
  Be16(t, 24);
  Be16(t, 1);
  t = t + jpeg;
  Doc d;
  d.W = 30;
  d.H = 20;
  d.Resources = Res(1036, "", t);
  for (bool only : {false, true}) {
    SCOPED_TRACE(only);
    Read r;
    r.P.GETTHUMBNAIL = only;
    ReadPsd(r, Build(d), false, false);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_TRUE(r.P.EXIF_THUMBNAIL);
    EXPECT_EQ(r.P.EXIF_THUMBNAIL->Width(), 6);
    EXPECT_EQ(r.B.Width(), only ? 6 : 30);
    TRGB c;
    r.P.EXIF_THUMBNAIL->GetPixelAsRGB(2, 2, c);
    EXPECT_NEAR(c.r, 0x30, 3);
    EXPECT_NEAR(c.b, 0xC0, 3);
  }
}

TEST(PsdRead, PackBitsRows) {
  struct Case {
    const char* Name;
    Bytes Packed;
    Bytes Row;  // 6 bytes
  };
  const Case cases[] = {
      {"literal and run", {1, 9, 8, 0xFD, 4}, {9, 8, 4, 4, 4, 4}},
      {"0x80 is no operation", {0x80, 0x01, 1, 2, 0x80, 0xFE, 3}, {1, 2, 3, 3, 3, 0}},
      {"output beyond the row is dropped", {0xF9, 6}, {6, 6, 6, 6, 6, 6}},
      {"a literal cut short", {5, 1, 2}, {1, 2, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Doc d;
    d.Channels = 1;
    d.Mode = 1;
    d.W = 6;
    d.H = 1;
    d.Merged = {0, 1};
    Be16(d.Merged, uint32_t(c.Packed.size()));
    d.Merged = d.Merged + c.Packed;
    Read r;
    ReadPsd(r, Build(d), false, true);
    ASSERT_FALSE(r.Pr.Aborting);
    const Byte* p = static_cast<const Byte*>(r.B.GetScanline(0));
    EXPECT_EQ(Bytes(p, p + 6), c.Row);
  }
}

TEST(PsdRead, HostileDocumentsFailCleanly) {
  Doc good;
  const Bytes base = Build(good);
  struct Case {
    const char* Name;
    Bytes File;
  };
  Bytes badVersion = base, badMode = base, tooManyChannels = base, cut = base;
  badVersion[5] = 2;
  badMode[25] = 10;
  tooManyChannels[13] = 25;
  cut.resize(cut.size() - 3);
  Doc huge;
  huge.W = 200000;
  huge.H = 200000;
  huge.Merged = {0, 0};
  Doc hugeSection;
  hugeSection.Resources = Res(1005, "", Bytes(16, 0));
  Bytes longSection = Build(hugeSection);
  longSection[30] = 0x7F;  // resource section longer than the file
  const Case cases[] = {
      {"version 2", badVersion}, {"mode 10", badMode}, {"25 channels", tooManyChannels}, {"merged data cut", cut},
      {"huge and empty", Build(huge)}, {"section beyond the end", longSection}, {"empty", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Read r;
    ReadPsd(r, c.File, true, false);
    EXPECT_TRUE(r.Pr.Aborting);
  }
  // The probe agrees with the reader's header test and leaves the position.
  for (const Case& c : {Case{"good", base}, Case{"version 2", badVersion}, Case{"mode 10", badMode}}) {
    TIEMemStream s(c.File.data(), int64_t(c.File.size()));
    EXPECT_EQ(IEProbePSD(&s), std::string(c.Name) == "good") << c.Name;
    EXPECT_EQ(s.Position(), 0);
  }
}

}  // namespace
}  // namespace psd_tests
