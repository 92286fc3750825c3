// The raw picture stream: its exact bytes, round trips of every format and
// storage, and a reader that refuses every malformed stream untouched.
#include <limits>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/iestreams.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_rawstream_tests {

namespace {

using RawStream = BitmapTest;

std::vector<Byte> Saved(TIEBitmap& b) {
  TMemoryStream ms;
  b.SaveRawToStream(nullptr, &ms);
  const Byte* p = static_cast<const Byte*>(ms.Memory());
  return std::vector<Byte>(p, p + ms.Size());
}

void PutI32(std::vector<Byte>& v, int32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(Byte(uint32_t(x) >> (8 * i)));
}

// A 3 x 2 ie24RGB picture aligned to 32 bits without alpha: 100 bytes, laid
// out field by field, rows from the top with their padding.
TEST_F(RawStream, GoldenHundredBytes) {
  TIEBitmap b(3, 2, ie24RGB);
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 3; ++x) b.SetPixelRGB(x, y, TRGB{Byte(10 * y + x), Byte(0x40 + x), Byte(0x80 + y)});
  b.SetDisplayLow(1.5);
  b.SetDisplayHigh(-2.0);
  b.SetChannelOffset(1, -3);
  b.SetContrast(9);

  std::vector<Byte> want = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
  PutI32(want, 0);    // version
  PutI32(want, 0);    // palette entries
  PutI32(want, 3);    // width
  PutI32(want, 2);    // height
  want.push_back(5);  // ie24RGB
  want.push_back(0);  // Full
  PutI32(want, 256);  // PaletteUsed
  for (Byte x : {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}) want.push_back(x);  // 1.5
  for (Byte x : {0, 0, 0, 0, 0, 0, 0x00, 0xC0}) want.push_back(x);  // -2.0
  for (int32_t o : {0, -3, 0, 0}) PutI32(want, o);
  want.push_back(0);  // ChannelOffsetsOn
  PutI32(want, 9);    // Contrast
  PutI32(want, 32);   // RowAlignment
  for (Byte y = 0; y < 2; ++y) {
    for (Byte x = 0; x < 3; ++x)
      for (Byte c : {Byte(10 * y + x), Byte(0x40 + x), Byte(0x80 + y)}) want.push_back(c);
    for (int i = 0; i < 3; ++i) want.push_back(0);  // padding
  }
  want.push_back(0);  // no alpha
  ASSERT_EQ(want.size(), 100u);
  EXPECT_EQ(b.GetRawSize(), 100);
  EXPECT_EQ(Saved(b), want);

  std::vector<Byte> buffer(100, 0xEE);
  b.SaveRawToStream(buffer.data(), nullptr);
  EXPECT_EQ(buffer, want);
}

// A stream laid out by hand: a 3 x 2 ie16g picture with 8-bit row alignment
// (rows of 6 bytes), a four-entry palette, and an alpha channel.
TEST_F(RawStream, ReadsAStreamLaidOutByHand) {
  std::vector<Byte> s = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
  PutI32(s, 3);  // a later version is read the same way
  PutI32(s, 4);
  for (Byte i = 0; i < 12; ++i) s.push_back(i);
  PutI32(s, 3);
  PutI32(s, 2);
  s.push_back(4);  // ie16g
  s.push_back(1);  // Full
  PutI32(s, 16);
  for (Byte x : {0, 0, 0, 0, 0, 0x40, 0x8F, 0x40}) s.push_back(x);  // 1000.0
  for (Byte x : {0, 0, 0, 0, 0, 0x40, 0x9F, 0x40}) s.push_back(x);  // 2000.0
  for (int32_t o : {1, 2, 3, 4}) PutI32(s, o);
  s.push_back(1);
  PutI32(s, -7);
  PutI32(s, 8);
  for (Byte b : {0x01, 0x00, 0x02, 0x01, 0xFF, 0xFF, 0x34, 0x12, 0x00, 0x80, 0x07, 0x00}) s.push_back(b);
  s.push_back(1);  // alpha rows of 4 bytes (32-bit alignment), then its Full
  for (Byte b : {10, 20, 30, 0, 40, 50, 60, 0}) s.push_back(b);
  s.push_back(0);

  TIEBitmap b;
  ASSERT_TRUE(b.LoadRawFromStream(s.data(), nullptr, int64_t(s.size())));
  EXPECT_EQ(b.PixelFormat(), ie16g);
  EXPECT_EQ(b.RowAlignment(), 8);
  EXPECT_EQ(b.RowLen(), 6);
  EXPECT_EQ(b.GetPixelWord(0, 0), 1);
  EXPECT_EQ(b.GetPixelWord(1, 0), 0x0102);
  EXPECT_EQ(b.GetPixelWord(2, 0), 0xFFFF);
  EXPECT_EQ(b.GetPixelWord(0, 1), 0x1234);
  EXPECT_EQ(b.GetPixelWord(1, 1), 0x8000);
  EXPECT_EQ(b.GetPixelWord(2, 1), 7);
  EXPECT_TRUE(b.Full());
  EXPECT_EQ(b.PaletteUsed(), 16);
  EXPECT_EQ(b.DisplayLow(), 1000.0);
  EXPECT_EQ(b.DisplayHigh(), 2000.0);
  EXPECT_EQ(b.ChannelOffset(2), 3);
  EXPECT_TRUE(b.ChannelOffsetsOn());
  EXPECT_EQ(b.Contrast(), -7);
  ASSERT_EQ(b.GetPaletteLength(), 4);
  EXPECT_EQ(b.GetPaletteBuffer()[3].r, 11);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.GetAlpha(2, 1), 60);
  EXPECT_FALSE(b.GetAlphaChannel()->Full());
}

// An ie8p stream with fewer than 256 stored entries still gives a palette of
// 256 (the rest black): every pixel index must find its entry.
TEST_F(RawStream, ShortPaletteOfAnIndexedPictureIsCompleted) {
  TIEBitmap src(4, 1, ie8p);
  src.SetPixelByte(3, 0, 250);
  std::vector<Byte> s = Saved(src);
  // Keep two entries: N = 2, and drop the other 254 x 3 bytes.
  s[16] = 2;
  s[17] = 0;
  s.erase(s.begin() + 20 + 6, s.begin() + 20 + 768);
  s[20] = 9;
  TIEBitmap b;
  ASSERT_TRUE(b.LoadRawFromStream(s.data(), nullptr, int64_t(s.size())));
  ASSERT_EQ(b.GetPaletteLength(), 256);
  EXPECT_EQ(b.GetPaletteBuffer()[0].b, 9);
  TRGB c{1, 1, 1};
  b.GetPixelAsRGB(3, 0, c);
  EXPECT_EQ(c.r + c.g + c.b, 0);
}

struct TRoundTrip {
  const char* name;
  TIEPixelFormat format;
  Integer alignment;
  bool alpha;
  int64_t threshold;
};
void PrintTo(const TRoundTrip& c, std::ostream* os) { *os << c.name; }

class RawRoundTrip : public BitmapTest, public ::testing::WithParamInterface<TRoundTrip> {};

TEST_P(RawRoundTrip, RestoresEverything) {
  const TRoundTrip& c = GetParam();
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  TIEBitmap b(13, 5, c.format);
  if (c.alignment != 32) {
    b.SetRowAlignment(c.alignment);
    ASSERT_TRUE(b.Allocate(13, 5, c.format));
  }
  IEMemoryThresholdOverride = c.threshold;
  for (Integer y = 0; y < 5; ++y)
    for (Integer i = 0; i < b.RowLen(); ++i) Px(b, i, y) = Byte(i * 7 + y * 31);
  if (c.format == ie8p)
    for (Integer i = 0; i < 256; ++i) b.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i * 3)});
  if (c.alpha) {
    for (Integer y = 0; y < 5; ++y)
      for (Integer x = 0; x < 13; ++x) b.SetAlpha(x, y, Byte(x * 19 + y));
  }
  b.SetFull(true);
  b.SetPaletteUsed(77);
  b.SetDisplayLow(-1e300);
  b.SetDisplayHigh(3.25);
  b.SetChannelOffset(3, 123456);
  b.SetChannelOffsetsOn(true);
  b.SetContrast(-40);
  const std::vector<Byte> stream = Saved(b);
  ASSERT_EQ(int64_t(stream.size()), b.GetRawSize());

  TIEBitmap r(2, 2, ie16g);
  r.GetAlphaChannel();
  ASSERT_TRUE(r.LoadRawFromStream(stream.data(), nullptr, int64_t(stream.size())));
  EXPECT_TRUE(Snapshot(r) == Snapshot(b));
  EXPECT_EQ(r.RowAlignment(), c.alignment);
  EXPECT_EQ(r.HasAlphaChannel(), c.alpha);
  EXPECT_EQ(r.DisplayLow(), -1e300);
  EXPECT_EQ(r.DisplayHigh(), 3.25);
  EXPECT_EQ(r.ChannelOffset(3), 123456);
  EXPECT_TRUE(r.ChannelOffsetsOn());
  EXPECT_EQ(r.Contrast(), -40);
  EXPECT_EQ(Saved(r), stream);

  // The same from a stream, which is left just after the picture.
  TMemoryStream ms;
  ms.WriteBuffer(stream.data(), int64_t(stream.size()));
  ms.WriteBuffer("tail", 4);
  ms.SetPosition(0);
  TIEBitmap s;
  ASSERT_TRUE(s.LoadRawFromStream(nullptr, &ms));
  EXPECT_EQ(ms.Position(), int64_t(stream.size()));
  EXPECT_TRUE(Snapshot(s) == Snapshot(b));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RawRoundTrip,
    ::testing::Values(TRoundTrip{"OneBit", ie1g, 32, false, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"Palette", ie8p, 32, true, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"Gray16ByteAligned", ie16g, 8, false, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"RGBWithAlpha", ie24RGB, 32, true, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"RGBInFiles", ie24RGB, 32, true, 0},
                      TRoundTrip{"FloatAligned64", ie32f, 64, false, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"RGB48Aligned16", ieRGB48, 16, true, std::numeric_limits<int64_t>::max()},
                      TRoundTrip{"CIELab", ieCIELab, 32, false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A valid stream of an ie8p picture with alpha, to be damaged below.
std::vector<Byte> ValidStream() {
  TIEBitmap b(5, 3, ie8p);
  b.SetPaletteColor(1, TRGB{1, 2, 3});
  b.SetPixelByte(4, 2, 1);
  b.SetAlpha(0, 0, 9);
  return Saved(b);
}

struct TDamage {
  const char* name;
  size_t offset;  // into the stream of ValidStream (N = 256: the header ends at 75 + 768)
  std::vector<Byte> bytes;
};
void PrintTo(const TDamage& c, std::ostream* os) { *os << c.name; }

class RawDamage : public BitmapTest, public ::testing::WithParamInterface<TDamage> {};

TEST_P(RawDamage, IsRefusedAndLeavesThePictureAlone) {
  std::vector<Byte> s = ValidStream();
  const TDamage& d = GetParam();
  ASSERT_LE(d.offset + d.bytes.size(), s.size());
  std::copy(d.bytes.begin(), d.bytes.end(), s.begin() + long(d.offset));
  TIEBitmap b(4, 4, ie24RGB);
  b.Fill(0x123456);
  b.SetAlpha(1, 1, 3);
  b.SetPaletteUsed(5);
  const TPictureSnapshot before = Snapshot(b);
  EXPECT_FALSE(b.LoadRawFromStream(s.data(), nullptr, int64_t(s.size())));
  EXPECT_TRUE(Snapshot(b) == before);
}

constexpr size_t kAfterPalette = 20 + 768;
INSTANTIATE_TEST_SUITE_P(
    Fields, RawDamage,
    ::testing::Values(TDamage{"Magic", 0, {'t'}}, TDamage{"NegativeVersion", 12, {0xFF, 0xFF, 0xFF, 0xFF}},
                      TDamage{"PaletteTooLong", 16, {1, 1, 0, 0}}, TDamage{"NegativePalette", 16, {0xFF, 0xFF, 0xFF, 0xFF}},
                      TDamage{"ZeroWidth", kAfterPalette, {0, 0, 0, 0}},
                      TDamage{"NegativeHeight", kAfterPalette + 4, {0xFE, 0xFF, 0xFF, 0xFF}},
                      TDamage{"HugeSize", kAfterPalette, {0xFF, 0xFF, 0xFF, 0x3F, 0xFF, 0xFF, 0xFF, 0x3F}},
                      TDamage{"FormatNone", kAfterPalette + 8, {0}}, TDamage{"FormatEleven", kAfterPalette + 8, {11}},
                      TDamage{"AlignmentZero", kAfterPalette + 51, {0, 0, 0, 0}},
                      TDamage{"AlignmentTwelve", kAfterPalette + 51, {12, 0, 0, 0}},
                      TDamage{"AlignmentNegative", kAfterPalette + 51, {0xE0, 0xFF, 0xFF, 0xFF}},
                      TDamage{"AlignmentHuge", kAfterPalette + 51, {0, 1, 0, 0}},
                      // 5 x 3 ie8p rows of 8 bytes, then the alpha flag.
                      TDamage{"WiderThanTheRows", kAfterPalette, {200, 0, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

// A stream cut anywhere is refused: every read is checked.
TEST_F(RawStream, TruncatedStreamsAreRefusedAtEveryLength) {
  const std::vector<Byte> s = ValidStream();
  TIEBitmap b(2, 2, ie8g);
  const TPictureSnapshot before = Snapshot(b);
  for (size_t n = 0; n < s.size(); ++n) {
    ASSERT_FALSE(b.LoadRawFromStream(s.data(), nullptr, int64_t(n))) << n;
    TIEMemStream ms(s.data(), int64_t(n));
    ASSERT_FALSE(b.LoadRawFromStream(nullptr, &ms)) << n;
  }
  EXPECT_TRUE(Snapshot(b) == before);
  EXPECT_TRUE(b.LoadRawFromStream(s.data(), nullptr, int64_t(s.size())));
  // A buffer of unknown length cannot be checked and is refused.
  EXPECT_FALSE(b.LoadRawFromStream(s.data(), nullptr));
  EXPECT_FALSE(b.LoadRawFromStream(nullptr, nullptr));
}

// The size of a picture above 2 GiB does not fit the 32-bit result: it is
// refused, and so is writing it into a buffer. The rows are never touched.
TEST_F(RawStream, RawSizeAbove2GiBIsRefused) {
  static Byte dummy[64];
  TIEBitmap big;
  big.EncapsulateMemory(dummy, 30000, 30000, ie24RGB, true, false);  // 2.7e9 bytes of rows
  ASSERT_EQ(big.RowLen(), 90000);
  EXPECT_EQ(big.GetRawSize(), -1);
  big.SaveRawToStream(dummy, nullptr);
  EXPECT_EQ(dummy[0], 0);
  TIEBitmap edge;
  edge.EncapsulateMemory(dummy, 4, 536870892, ie8g, true, false);  // 4 x 536870892 + 76 = 2^31 - 1 - 3
  EXPECT_EQ(edge.GetRawSize(), 2147483644);
}

}  // namespace

}  // namespace test_rawstream_tests
