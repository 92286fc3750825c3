// Gamma correction of packed DIBs, DIB copies of pictures with a display
// window, DIBs drawn into DIB bitmaps, and red/blue exchanges.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "imaging/core/render/iedib.h"
#include "imaging/core/render/iedibbitmap.h"
#include "imaging/core/render/iedibconvert.h"

namespace test_dib_convert_tests {

namespace {

using Bytes = std::vector<uint8_t>;

// A packed DIB in a global block: header of HeaderSize bytes (the rest of a
// larger header filled with 0xEE), then Rows.
HGLOBAL Block(int32_t w, int32_t h, uint16_t bits, uint32_t headerSize, const Bytes& table, const Bytes& rows) {
  Bytes b(headerSize, 0xEE);
  std::memset(b.data(), 0, 40);
  std::memcpy(&b[0], &headerSize, 4);
  std::memcpy(&b[4], &w, 4);
  std::memcpy(&b[8], &h, 4);
  b[12] = 1;
  std::memcpy(&b[14], &bits, 2);
  const uint32_t used = uint32_t(table.size() / 4);
  std::memcpy(&b[32], &used, 4);
  b.insert(b.end(), table.begin(), table.end());
  b.insert(b.end(), rows.begin(), rows.end());
  HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, b.size());
  std::memcpy(GlobalLock(g), b.data(), b.size());
  GlobalUnlock(g);
  return g;
}

Bytes Contents(HGLOBAL g) {
  const auto* p = static_cast<const uint8_t*>(GlobalLock(g));
  Bytes b(p, p + GlobalSize(g));
  GlobalUnlock(g);
  return b;
}

TEST(GammaCorrectDIB, TableValuesAndWhatIsLeftAlone) {
  // One row of 4 pixels: the samples 0, 64, 128, 255 and more.
  const Bytes row = {0, 64, 128, 255, 1, 254, 100, 200, 30, 128, 128, 128};
  struct TCase {
    double Gamma;
    Bytes Want;
  } cases[] = {
      // 255 x (i/255)^(1/2): 64 -> 127.75, 128 -> 180.67, 1 -> 15.97, 100 -> 159.7
      {2.0, {0, 128, 181, 255, 16, 254, 160, 226, 87, 181, 181, 181}},
      {1.0, row},
      // 255 x (i/255)^2: 128 -> 64.25, 64 -> 16.06
      {0.5, {0, 16, 64, 255, 0, 253, 39, 157, 4, 64, 64, 64}},
      {0.0, row},   // no meaning: left alone
      {-2.0, row},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Gamma);
    HGLOBAL g = Block(4, 1, 24, 40, {}, row);
    IEGammaCorrectDIB(g, c.Gamma);
    const Bytes b = Contents(g);
    EXPECT_EQ(Bytes(b.begin() + 40, b.end()), c.Want);
    GlobalFree(g);
  }
  // An 8-bit DIB is not changed, neither its table nor its indexes.
  const Bytes table = {10, 20, 30, 0, 40, 50, 60, 0};
  HGLOBAL g8 = Block(4, 1, 8, 40, table, {0, 1, 0, 1});
  const Bytes before = Contents(g8);
  IEGammaCorrectDIB(g8, 2.0);
  EXPECT_EQ(Contents(g8), before);
  GlobalFree(g8);
}

// A larger header (here 124 bytes) is part of the DIB, not pixels: only the
// rows behind it change, and a block too short for its rows is left alone.
TEST(GammaCorrectDIB, RowsStartAfterTheHeaderItNames) {
  const Bytes row = {128, 128, 128, 0};  // one pixel plus padding
  HGLOBAL g = Block(1, 1, 24, 124, {}, row);
  IEGammaCorrectDIB(g, 2.0);
  const Bytes b = Contents(g);
  EXPECT_EQ(Bytes(b.begin() + 40, b.begin() + 124), Bytes(84, 0xEE));
  EXPECT_EQ(Bytes(b.begin() + 124, b.end()), (Bytes{181, 181, 181, 0}));
  GlobalFree(g);

  HGLOBAL tall = Block(1, 3, 24, 40, {}, row);  // claims 3 rows, holds 1
  const Bytes before = Contents(tall);
  IEGammaCorrectDIB(tall, 2.0);
  EXPECT_EQ(Contents(tall), before);
  GlobalFree(tall);
}

// The first pixel of a 24-bit DIB's top row (blue, green, red).
Bytes TopLeft(HGLOBAL h) {
  const auto* p = static_cast<const uint8_t*>(GlobalLock(h));
  int32_t height;
  std::memcpy(&height, p + 8, 4);
  int32_t width;
  std::memcpy(&width, p + 4, 4);
  const size_t rowLen = (size_t(width) * 24 + 31) / 32 * 4;
  const uint8_t* top = p + 40 + rowLen * size_t(height - 1);
  Bytes px(top, top + 3 * size_t(width));
  GlobalUnlock(h);
  return px;
}

// A 16-bit grey picture goes to the clipboard with the display window the
// view shows, not with its top bytes.
TEST(CopyBitmapToDIB, GreyDisplayWindowIsKept) {
  TIEBitmap grey;
  ASSERT_TRUE(grey.Allocate(5, 1, ie16g));
  const uint16_t values[] = {500, 1000, 1500, 2000, 60000};
  std::memcpy(grey.GetScanline(0), values, sizeof(values));
  struct TCase {
    double Low, High;
    Bytes Want;  // grey level of each pixel
  } cases[] = {
      {1000, 2000, {0, 0, 127, 255, 255}},
      {0, 0, {1, 3, 5, 7, 234}},  // no window: the top byte
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.High);
    grey.SetDisplayLow(c.Low);
    grey.SetDisplayHigh(c.High);
    HGLOBAL h = _CopyBitmaptoDIBEx(&grey, 0, 0, 0, 0, 96, 96);
    ASSERT_NE(h, nullptr);
    const Bytes px = TopLeft(h);
    for (size_t i = 0; i < c.Want.size(); ++i) {
      EXPECT_EQ(px[3 * i], c.Want[i]) << i;
      EXPECT_EQ(px[3 * i + 2], c.Want[i]) << i;
    }
    GlobalFree(h);
  }
}

// Contrast and channel offsets of a colour picture are in its DIB as well,
// the same as the views' renderer draws them.
TEST(CopyBitmapToDIB, ChannelOffsetsAsRendered) {
  TIEBitmap pic;
  ASSERT_TRUE(pic.Allocate(2, 1, ie32RGB));
  const uint8_t px[] = {10, 20, 30, 255, 200, 210, 220, 255};
  std::memcpy(pic.GetScanline(0), px, sizeof(px));
  pic.SetChannelOffsetsOn(true);
  pic.SetChannelOffset(0, 40);   // red
  pic.SetChannelOffset(2, -15);  // blue
  TIEBitmap rendered;
  ASSERT_TRUE(rendered.Allocate(2, 1, ie24RGB));
  pic.RenderToTIEBitmap(&rendered, 0, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, 0);
  const auto* want = static_cast<const uint8_t*>(rendered.GetScanline(0));
  EXPECT_EQ(want[2], 70);  // the offsets do change the colours
  HGLOBAL h = _CopyBitmaptoDIBEx(&pic, 0, 0, 0, 0, 96, 96);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(TopLeft(h), Bytes(want, want + 6));
  GlobalFree(h);
}

TEST(DIBToDibbitmap, DrawsEveryDepthAndRefusesMalformedBlocks) {
  // 8 bits: indexes through the table; rows bottom-up.
  const Bytes table = {0, 0, 255, 0, 255, 0, 0, 0};  // red, blue
  HGLOBAL g8 = Block(2, 2, 8, 40, table, {0, 1, 0, 0, 1, 1, 0, 0});
  TIEDibbitmap d;
  EXPECT_EQ(IEDIBToDibbitmap(g8, &d, nullptr, false), 8);
  ASSERT_EQ(d.GetBitCount(), 24);
  ASSERT_EQ(d.GetWidth(), 2);
  const auto* top = static_cast<const uint8_t*>(d.GetScanline(0));
  const auto* bottom = static_cast<const uint8_t*>(d.GetScanline(1));
  EXPECT_EQ(Bytes(top, top + 6), (Bytes{255, 0, 0, 255, 0, 0}));     // blue, blue
  EXPECT_EQ(Bytes(bottom, bottom + 6), (Bytes{0, 0, 255, 255, 0, 0}));  // red, blue
  GlobalFree(g8);

  // 1 bit with white as entry 0: set bits are black in the 1-bit result.
  HGLOBAL g1 = Block(8, 1, 1, 40, {255, 255, 255, 0, 0, 0, 0, 0}, {0xF0, 0, 0, 0});
  EXPECT_EQ(IEDIBToDibbitmap(g1, &d, nullptr, false), 1);
  ASSERT_EQ(d.GetBitCount(), 1);
  EXPECT_EQ(static_cast<const uint8_t*>(d.GetScanline(0))[0], 0x0F);
  GlobalFree(g1);

  // Truncated: nothing drawn, the bitmap left as it was.
  HGLOBAL bad = Block(8, 4, 24, 40, {}, {1, 2, 3});
  EXPECT_EQ(IEDIBToDibbitmap(bad, &d, nullptr, false), 0);
  EXPECT_EQ(d.GetWidth(), 8);
  EXPECT_EQ(d.GetHeight(), 1);
  GlobalFree(bad);
}

TEST(SwapRedBlue, AllForms) {
  Bytes px = {1, 2, 3, 4, 5, 6};
  Bytes copy(6);
  IECopySwapRedBlue(copy.data(), px.data(), 2);
  EXPECT_EQ(copy, (Bytes{3, 2, 1, 6, 5, 4}));
  IESwapRedBlue(px.data(), 1);  // only the first pixel
  EXPECT_EQ(px, (Bytes{3, 2, 1, 4, 5, 6}));
  uint16_t wide[] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666};
  IESwapRedBlue48(wide, 1);
  EXPECT_EQ(wide[0], 0x3333);
  EXPECT_EQ(wide[2], 0x1111);
  EXPECT_EQ(wide[3], 0x4444);
  TRGB entries[2] = {{1, 2, 3}, {4, 5, 6}};
  IESwapRedBlueArray(entries, 2);
  EXPECT_EQ(entries[0].b, 3);
  EXPECT_EQ(entries[1].r, 4);
}

}  // namespace

}  // namespace test_dib_convert_tests
