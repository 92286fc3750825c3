// Headerless pixel data in every layout the raw parameters describe, checked
// against ImageMagick's own raw output, and the metafile probes on short and
// near-miss headers.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/formats/rawpixels.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/io/ieformats.h"

using namespace fmt_test;

namespace rawpixels_tests {
namespace {

struct Raw {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  Progress Pr;
};

void ReadRaw(Raw& R, const Bytes& Data) {
  TIEMemStream s(Data.data(), int64_t(Data.size()));
  IEReadRawPixels(&s, &R.B, R.P, R.Pr.Rec);
}

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

Bytes RowBytes(TIEBitmap& B, Integer Y, size_t N) {
  const Byte* r = static_cast<const Byte*>(B.GetScanline(Y));
  return Bytes(r, r + N);
}

TEST(RawPixels, BinaryRowsAlignmentHeaderAndChannelOrder) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    int W, H, Align, Header, Planes, Order;
    Bytes Data;
    std::vector<Bytes> Rows;  // the first bytes of each picture row afterwards
  } cases[] = {
      {"24-bit rows of 9 bytes in rows of 12", ie24RGB, 3, 2, 8, 0, 0, 1,
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18},
       {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}}},
      {"channel order 0 exchanges red and blue", ie24RGB, 1, 1, 8, 0, 0, 0, {1, 2, 3}, {{3, 2, 1}}},
      {"32-bit alignment skips the padding", ie8g, 3, 2, 32, 0, 0, 0, {1, 2, 3, 99, 4, 5, 6, 99}, {{1, 2, 3}, {4, 5, 6}}},
      {"header skipped", ie8g, 2, 1, 8, 3, 0, 0, {9, 9, 9, 7, 8}, {{7, 8}}},
      {"16-bit grey little-endian", ie16g, 2, 1, 16, 0, 0, 0, {0x34, 0x12, 0xFF, 0}, {{0x34, 0x12, 0xFF, 0}}},
      {"1-bit rows aligned to 16", ie1g, 9, 2, 16, 0, 0, 0, {0xA5, 0x80, 0x0F, 0x00}, {{0xA5, 0x80}, {0x0F, 0x00}}},
      {"planar RGB ends up blue, green, red", ie24RGB, 2, 1, 8, 0, 1, 0, {10, 11, 20, 21, 30, 31},
       {{30, 20, 10, 31, 21, 11}}},
      {"planar CMYK", ieCMYK, 2, 1, 8, 0, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8}, {{1, 3, 5, 7, 2, 4, 6, 8}}},
      {"planar 48-bit", ieRGB48, 1, 1, 16, 0, 1, 1, {1, 0, 2, 0, 3, 0}, {{1, 0, 2, 0, 3, 0}}},
      {"short data keep the rest", ie8g, 2, 2, 8, 0, 0, 0, {5, 6, 7}, {{5, 6}, {7, 0xEE}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Raw r;
    ASSERT_TRUE(r.B.Allocate(c.W, c.H, c.Format));
    for (Integer y = 0; y < c.H; ++y) std::memset(r.B.GetScanline(y), 0xEE, size_t(r.B.RowLen()));
    r.P.BMPRAW_ROWALIGN = c.Align;
    r.P.BMPRAW_HEADERSIZE = c.Header;
    r.P.BMPRAW_PLANES = Byte(c.Planes);
    r.P.BMPRAW_CHANNELORDER = Byte(c.Order);
    ReadRaw(r, c.Data);
    ASSERT_FALSE(r.Pr.Aborting);
    for (size_t y = 0; y < c.Rows.size(); ++y) EXPECT_EQ(RowBytes(r.B, Integer(y), c.Rows[y].size()), c.Rows[y]) << y;
  }
}

TEST(RawPixels, TextValues) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    int W, DataFormat;
    std::string Data;
    Bytes Row;
  } cases[] = {
      {"signs and points separate", ie8g, 4, 1, "12,-5 7.25", {12, 5, 7, 25}},
      {"values wrap to the byte", ie8g, 2, 1, "256\n513", {0, 1}},
      {"upper-case hexadecimal only", ie8g, 3, 2, "FF 1a 0C", {255, 1, 12}},
      {"words", ie16g, 2, 1, "4660 65535", {0x34, 0x12, 0xFF, 0xFF}},
      {"one value per 1-bit pixel", ie1g, 9, 1, "1 0 1 1 0 0 0 0 7", {0xB0, 0x80}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Raw r;
    ASSERT_TRUE(r.B.Allocate(c.W, 1, c.Format));
    r.P.BMPRAW_DATAFORMAT = Byte(c.DataFormat);
    ReadRaw(r, Text(c.Data));
    ASSERT_FALSE(r.Pr.Aborting);
    EXPECT_EQ(RowBytes(r.B, 0, c.Row.size()), c.Row);
  }
  Raw f;
  ASSERT_TRUE(f.B.Allocate(2, 1, ie32f));
  f.P.BMPRAW_DATAFORMAT = 1;
  ReadRaw(f, Text("3 x 250"));
  const float* v = static_cast<const float*>(f.B.GetScanline(0));
  EXPECT_EQ(v[0], 3.0f);
  EXPECT_EQ(v[1], 250.0f);
  Raw hex;
  ASSERT_TRUE(hex.B.Allocate(2, 1, ie32f));
  hex.P.BMPRAW_DATAFORMAT = 2;
  try {
    ReadRaw(hex, Text("FF"));
    ADD_FAILURE() << "hexadecimal floats raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Format unsupported");
  }
}

TEST(RawPixels, AlignmentsThatAreNoRowLengthFail) {
  for (Integer align : {0, -8, 12, 4, 128}) {
    SCOPED_TRACE(align);
    Raw r;
    ASSERT_TRUE(r.B.Allocate(4, 2, ie8g));
    r.P.BMPRAW_ROWALIGN = align;
    ReadRaw(r, Bytes(64, 1));
    EXPECT_TRUE(r.Pr.Aborting);
  }
}

TEST(RawPixels, ImageMagickRawDataThroughTheIOCompanion) {
  IEBuildFormatRegistry();
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("raw");
  const std::string rgb = dir.File("p.rgb"), ppm = dir.File("p.ppm");
  ASSERT_EQ(Shell("convert -size 13x7 plasma:fractal -seed 5 -depth 8 '" + ppm + "' && convert '" + ppm +
                  "' -depth 8 'rgb:" + rgb + "'"),
            0);
  const Rgb want = MagickRgb(ppm);
  ASSERT_EQ(want.W, 13);
  TZiduzUvIO io(nullptr);
  ASSERT_TRUE(io.IEBitmap()->Allocate(13, 7, ie24RGB));
  io.LoadFromFileBMPRAW(Wide(rgb));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(ToRgb(io.IEBitmap()).Pixels, want.Pixels);
  EXPECT_EQ(io.Params().FILETYPE, ieftBMPRAW);
  // A stream with a header, and an empty file name, which does nothing.
  Bytes data(5, 0);
  AddBytes(data, gt_test::ReadFileBytes(rgb));
  TIEMemStream s(data.data(), int64_t(data.size()));
  TZiduzUvIO other(nullptr);
  ASSERT_TRUE(other.IEBitmap()->Allocate(13, 7, ie24RGB));
  other.Params().BMPRAW_HEADERSIZE = 5;
  other.LoadFromStreamFormat(&s, ieftBMPRAW);
  ASSERT_FALSE(other.Aborting());
  EXPECT_EQ(ToRgb(other.IEBitmap()).Pixels, want.Pixels);
  other.LoadFromFileBMPRAW(u"");
  EXPECT_EQ(ToRgb(other.IEBitmap()).Pixels, want.Pixels);
  IEFreeFormatRegistry();
}

TEST(MetafileProbes, ShortAndNearMissHeaders) {
  auto emf = [](size_t Size) {
    Bytes b(Size, 0);
    b[0] = 1;
    if (Size >= 44) std::memcpy(b.data() + 40, " EMF", 4);
    return b;
  };
  Bytes placeable = {0xD7, 0xCD, 0xC6, 0x9A};
  placeable.resize(22, 0);
  Bytes disk = placeable, memory = placeable;
  for (Bytes* b : {&disk, &memory}) {
    b->insert(b->end(), {Byte(b == &disk ? 2 : 1), 0, 9, 0});
    b->resize(22 + 18, 0);
  }
  struct Case {
    const char* Name;
    Bytes Data;
    bool Emf, Wmf;
  } cases[] = {
      {"EMF header of 100 bytes", emf(100), true, false},
      {"EMF cut to 44 bytes", emf(44), true, false},
      {"43 bytes", emf(43), false, false},
      {"placeable memory metafile", memory, false, true},
      {"placeable header before a disk metafile", disk, false, false},
      {"bare metafile header", Bytes(memory.begin() + 22, memory.end()), false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEMemStream s(c.Data.data(), int64_t(c.Data.size()));
    EXPECT_EQ(IEProbeEMF(&s), c.Emf);
    EXPECT_EQ(IEProbeWMF(&s), c.Wmf);
    EXPECT_EQ(s.Position(), 0);
  }
}

}  // namespace
}  // namespace rawpixels_tests
