// Foundation helpers: row lengths, bits, powers, containers, string records,
// rectangle tests, folders and the scalar colour routines.
#include "imaging/core/base/ieutils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <set>

#include "helpers_test_support.h"
#include "platform/graphics/colors.h"

namespace test_ieutils_tests {

// ---------------------------------------------------------------------------
// Row length

TEST(IEBitmapRowLen, PadsRowsToTheAlignment) {
  struct Case {
    Integer width, bits, align, expected;
  } cases[] = {
      {3, 24, 32, 12},  {10, 1, 32, 4},   {3, 24, 8, 9},    {0, 24, 32, 0},   {1, 1, 8, 1},
      {9, 1, 8, 2},     {1, 48, 16, 6},   {5, 4, 32, 4},    {1, 24, 32, 4},   {7, 8, 64, 8},
      // the largest row that fits, and the full width range at 1 bit
      {536870911, 32, 32, 2147483644},    {INT32_MAX, 1, 8, 268435456},
      {0x10000000, 48, 32, 1610612736},  // 32-bit arithmetic wraps this to 0
  };
  for (const auto& c : cases)
    EXPECT_EQ(IEBitmapRowLen(c.width, c.bits, c.align), c.expected)
        << c.width << "x" << c.bits << " align " << c.align;
}

TEST(IEBitmapRowLen, RejectsRowsThatWouldWrapOrDivideByZero) {
  struct Case {
    Integer width, bits, align;
  } cases[] = {
      {0x20000000, 48, 32},  // 3 GiB; 32-bit arithmetic wraps this to 0
      {536870912, 32, 32},   // exactly 2^31 bytes
      {INT32_MAX, 48, 8},    //
      {1, 24, 0},            // division by zero
      {1, 24, 12},           // not whole bytes
      {1, 24, -32},          //
      {-1, 8, 32},           //
      {1, -8, 32},           //
  };
  for (const auto& c : cases)
    EXPECT_EQ(IEBitmapRowLen(c.width, c.bits, c.align), -1) << c.width << "x" << c.bits << " align " << c.align;
}

// ---------------------------------------------------------------------------
// Bits, byte order, powers

TEST(IEBits, FieldWidthCeilLog2AndColorCount) {
  const std::pair<Cardinal, Integer> widths[] = {{0x3E0, 5},     {0xF800, 5}, {0xFFFFFFFF, 32}, {0, 0},
                                                 {0x80000000, 1}, {0x0F0F, 4}, {0x7FFFFFFF, 31}, {1, 1}};
  for (auto [mask, w] : widths) EXPECT_EQ(IEBitFieldWidth(mask), w) << std::hex << mask;

  const std::pair<Integer, Integer> logs[] = {{0, -1}, {1, 0},  {2, 1},      {5, 3},  {8, 3},
                                              {256, 8}, {257, 9}, {INT32_MIN, 31}, {-1, 32}};
  for (auto [n, l] : logs) EXPECT_EQ(IECeilLog2(n), l) << n;

  struct Count {
    Integer bits, samples, colours;
  } counts[] = {
      {8, 3, 16777216}, {1, 1, 2},  {4, 1, 16},  {8, 1, 256}, {16, 1, 65536}, {8, 0, 1}, {0, 3, 1},
      // counts beyond 32 bits saturate instead of wrapping to 0 or 1
      {8, 4, INT32_MAX}, {32, 1, INT32_MAX}, {16, 3, INT32_MAX}, {-1, 1, 0},
  };
  for (const auto& c : counts) EXPECT_EQ(IEColorCount(c.bits, c.samples), c.colours) << c.bits << "x" << c.samples;
}

TEST(IEBits, ReversalsAndSwaps) {
  Byte b = 0x01;
  IEReverseByteBits(b);
  EXPECT_EQ(b, 0x80);
  b = 0xB1;
  IEReverseByteBits(b);
  EXPECT_EQ(b, 0x8D);
  for (int i = 0; i < 256; ++i) {
    Byte x = static_cast<Byte>(i);
    IEReverseByteBits(x);
    for (int bit = 0; bit < 8; ++bit) EXPECT_EQ((i >> bit) & 1, (x >> (7 - bit)) & 1);
  }
  Cardinal v = 1;
  IEReverseDWordBits(v);
  EXPECT_EQ(v, 0x80000000u);
  v = 0x12345678;
  IEReverseDWordBits(v);
  EXPECT_EQ(v, 0x1E6A2C48u);

  EXPECT_EQ(IEByteSwap16(0x1234), 0x3412);
  EXPECT_EQ(IEByteSwap32(0x12345678u), 0x78563412u);
  Word words[3] = {0x0102, 0xA0B0, 0x00FF};
  Word* end = IEByteSwap16Array(words, 2);
  EXPECT_EQ(end, words + 2);
  EXPECT_EQ(words[0], 0x0201);
  EXPECT_EQ(words[1], 0xB0A0);
  EXPECT_EQ(words[2], 0x00FF);  // outside Count: untouched
}

TEST(IEPowers, IntegerAndFractionalPaths) {
  EXPECT_EQ(IEIntPower(2, 10), 1024);
  EXPECT_EQ(IEIntPower(2, -2), 0.25);
  EXPECT_EQ(IEIntPower(-3, 3), -27);
  EXPECT_EQ(IEIntPower(7, 0), 1);
  EXPECT_EQ(IEIntPower(1, INT32_MIN), 1);

  EXPECT_NEAR(static_cast<double>(IEPower(2, 0.5)), std::sqrt(2.0), 1e-15);
  EXPECT_EQ(IEPower(5, 0), 1);
  EXPECT_EQ(IEPower(0, 3), 0);
  EXPECT_EQ(IEPower(3, 4), 81);
  EXPECT_NEAR(static_cast<double>(IEPower(9, -0.5)), 1.0 / 3, 1e-15);
  EXPECT_TRUE(std::isnan(static_cast<double>(IEPower(-2, 0.5))));

  EXPECT_EQ(IEPowerDouble(0, -2), 0);
  EXPECT_EQ(IEPowerDouble(0, 0), 1);
  EXPECT_EQ(IEPowerDouble(0, 3e9), 0);
  EXPECT_EQ(IEPowerDouble(2.5, 1), 2.5);
  EXPECT_EQ(IEPowerDouble(3, 2), 9);
  EXPECT_EQ(IEPowerDouble(2, -1), 0.5);
  EXPECT_EQ(IEPowerDouble(2, 10), 1024);
  EXPECT_NEAR(IEPowerDouble(0.5, 2.4), std::pow(0.5, 2.4), 1e-15);
  EXPECT_NEAR(IEPowerDouble(8, 1.0 / 3), 2, 1e-15);
}

// ---------------------------------------------------------------------------
// Containers

TEST(THash1, CollidingKeysChainAndCountOnce) {
  THash1 h(13);
  EXPECT_TRUE(h.Insert(5));
  EXPECT_TRUE(h.Insert(8197));  // 8197 = 8192 + 5: same slot
  EXPECT_EQ(h.Count(), 2);
  EXPECT_FALSE(h.Insert(8197));
  EXPECT_FALSE(h.Insert(5));
  EXPECT_EQ(h.Count(), 2);

  Integer slot = -1;
  THash1Item* item = nullptr;
  EXPECT_TRUE(h.InsertItem(16389, slot, item));  // third key of slot 5
  EXPECT_EQ(slot, 5);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Key, 16389);
  EXPECT_TRUE(h.InsertItem(6, slot, item));  // straight into its slot
  EXPECT_EQ(slot, 6);
  EXPECT_EQ(item, nullptr);
  EXPECT_FALSE(h.InsertItem(16389, slot, item));
  EXPECT_EQ(item, nullptr);
}

TEST(THash1, AgreesWithASetOnManyKeys) {
  THash1 h(4);  // 16 slots: long chains
  std::set<Integer> reference;
  std::mt19937 gen(7);
  std::uniform_int_distribution<Integer> dist(-500, 500);
  for (int i = 0; i < 5000; ++i) {
    const Integer k = dist(gen);
    EXPECT_EQ(h.Insert(k), reference.insert(k).second) << k;
  }
  EXPECT_EQ(h.Count(), static_cast<Integer>(reference.size()));
}

TEST(TIEByteArray, GrowsAndShrinksOnlyOutsideTheBand) {
  TIEByteArray a(16);
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Capacity(), 16);
  for (int i = 0; i < 17; ++i) a.AddByte(static_cast<Byte>(i + 1));
  EXPECT_EQ(a.Size(), 17);
  EXPECT_EQ(a.Capacity(), 33);
  a.SetSize(30);
  EXPECT_EQ(a.Capacity(), 33);
  a.SetSize(17);
  EXPECT_EQ(a.Capacity(), 33);
  for (int i = 0; i < 17; ++i) EXPECT_EQ(a.Data()[i], i + 1);
  a.SetSize(2);
  EXPECT_EQ(a.Size(), 2);
  EXPECT_EQ(a.Capacity(), 18);
  EXPECT_EQ(a.Data()[0], 1);
  EXPECT_EQ(a.Data()[1], 2);
  EXPECT_THROW(a.SetSize(-1), ERangeError);
  EXPECT_THROW(a.SetSize(INT32_MAX), ERangeError);
  EXPECT_EQ(a.Size(), 2);
}

TEST(TIEByteArray, AppendFromStreamTakesWhatIsThere) {
  TMemoryStream s;
  const char text[] = "0123456789";
  s.WriteBuffer(text, 10);
  s.SetPosition(5);
  TIEByteArray a(4);
  a.AddByte('x');
  EXPECT_EQ(a.AppendFromStream(&s, 100), 5);
  ASSERT_EQ(a.Size(), 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(a.Data()), 6), "x56789");
  EXPECT_EQ(a.AppendFromStream(&s, 10), 0);
  EXPECT_EQ(a.Size(), 6);
  EXPECT_EQ(a.AppendFromStream(&s, -3), 0);
}

TEST(TNulStream, CountsWithoutStoring) {
  TNulStream s;
  char buf[100] = {};
  EXPECT_EQ(s.Write(buf, 100), 100);
  EXPECT_EQ(s.Seek(10, soBeginning), 10);
  EXPECT_EQ(s.Write(buf, 20), 20);
  EXPECT_EQ(s.Position(), 30);
  EXPECT_EQ(s.Size(), 100);
  EXPECT_EQ(s.Seek(0, soEnd), 100);
  EXPECT_EQ(s.Seek(10, soEnd), 90);
  EXPECT_EQ(s.Seek(50, soCurrent), 140);
  EXPECT_EQ(s.Size(), 140);
  // Reading moves the position too and leaves the buffer alone.
  std::memset(buf, 0x5A, sizeof buf);
  EXPECT_EQ(s.Read(buf, 60), 60);
  EXPECT_EQ(s.Size(), 200);
  EXPECT_EQ(buf[0], 0x5A);
}

// ---------------------------------------------------------------------------
// Length-prefixed strings

namespace {

std::string StreamBytes(TMemoryStream& s) { return std::string(static_cast<const char*>(s.Memory()), s.Size()); }

// A stream over fixed bytes that remembers the largest single read request.
class RecordingStream : public TCustomMemoryStream {
 public:
  explicit RecordingStream(const std::string& data) : FData(data) { SetPointer(FData.data(), FData.size()); }
  int64_t Read(void* Buffer, int64_t Count) override {
    MaxRequest = std::max(MaxRequest, Count);
    return TCustomMemoryStream::Read(Buffer, Count);
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t MaxRequest = 0;

 private:
  std::string FData;
};

}  // namespace

TEST(StringRecords, ExactBytes) {
  TMemoryStream s;
  IESaveWideStringToStream(&s, u"ab");
  EXPECT_EQ(StreamBytes(s), std::string("\x02\x00\x00\x00\x61\x00\x62\x00", 8));

  TMemoryStream e;
  IESaveStringToStream(&e, AnsiString());
  EXPECT_EQ(StreamBytes(e), std::string(4, '\0'));

  // A wide argument goes through the 8-bit code page: e-acute 0xE9, euro 0x80.
  TMemoryStream n;
  IESaveStringToStream(&n, WideString(u"\u00e9\u20ac!"));
  EXPECT_EQ(StreamBytes(n), std::string("\x03\x00\x00\x00\xE9\x80!", 7));
}

TEST(StringRecords, RoundTrip) {
  TMemoryStream s;
  const AnsiString a = "Layer \x01\xff name";
  const WideString w = u"Caf\u00e9 \U0001F600 \u4e2d";
  IESaveStringToStream(&s, a);
  IESaveWideStringToStream(&s, w);
  IESaveWideStringToStream(&s, WideString());
  s.SetPosition(0);
  AnsiString ra = "junk";
  WideString rw = u"junk", re = u"junk";
  IELoadStringFromStream(&s, ra);
  IELoadWideStringFromStream(&s, rw);
  IELoadWideStringFromStream(&s, re);
  EXPECT_EQ(ra, a);
  EXPECT_EQ(rw, w);
  EXPECT_EQ(re, WideString());
  EXPECT_EQ(s.Position(), s.Size());
}

TEST(StringRecords, HostileCountsFailCleanly) {
  struct Case {
    const char* name;
    std::string bytes;
    bool wide;
  } cases[] = {
      {"negative count", std::string("\xff\xff\xff\xff" "abc", 7), false},
      {"negative wide count", std::string("\x00\x00\x00\x80" "ab", 6), true},
      {"huge count, little data", std::string("\xff\xff\xff\x7f" "abc", 7), false},
      {"huge wide count", std::string("\xff\xff\xff\x7f" "a\0", 6), true},
      {"text cut short", std::string("\x05\x00\x00\x00" "abc", 7), false},
      {"odd byte of a wide text", std::string("\x02\x00\x00\x00" "a\0b", 7), true},
      {"count cut short", std::string("\x05\x00", 2), false},
      {"empty stream", std::string(), true},
  };
  for (const auto& c : cases) {
    RecordingStream s(c.bytes);
    if (c.wide) {
      WideString w = u"old";
      EXPECT_THROW(IELoadWideStringFromStream(&s, w), EReadError) << c.name;
      EXPECT_TRUE(w.empty()) << c.name;
    } else {
      AnsiString a = "old";
      EXPECT_THROW(IELoadStringFromStream(&s, a), EReadError) << c.name;
      EXPECT_TRUE(a.empty()) << c.name;
    }
    // Memory follows the data read, not the count claimed.
    EXPECT_LE(s.MaxRequest, 1 << 16) << c.name;
  }
}

// ---------------------------------------------------------------------------
// Point and rectangle tests, 45-degree constraint

TEST(IERectTests, OverlapIntersectAndPointInUnorderedRect) {
  struct Overlap {
    Integer x1, y1, x2, y2, expected;
  } overlaps[] = {
      {2, 2, 8, 8, 2},    {5, 5, 20, 8, 1},   {-5, 2, 20, 8, 0},  // both X outside: 0 although it crosses
      {0, 0, 10, 10, 2},  {-1, -1, 11, 11, 0}, {5, -5, 5, 5, 1},   {20, 20, 30, 30, 0},
  };
  for (const auto& o : overlaps)
    EXPECT_EQ(IERectOverlapState(0, 0, 10, 10, o.x1, o.y1, o.x2, o.y2), o.expected)
        << o.x1 << "," << o.y1 << "-" << o.x2 << "," << o.y2;

  struct Intersect {
    Integer x1, y1, x2, y2;
    bool expected;
  } intersects[] = {
      {-5, 2, 20, 8, true}, {20, 8, -5, 2, true}, {11, 0, 20, 5, false}, {10, 10, 20, 20, true},
      {-5, -5, -1, 20, false}, {0, 11, 5, 12, false}, {-100, -100, 100, 100, true},
  };
  for (const auto& i : intersects)
    EXPECT_EQ(IERectIntersects(i.x1, i.y1, i.x2, i.y2, 0, 0, 10, 10), i.expected)
        << i.x1 << "," << i.y1 << "-" << i.x2 << "," << i.y2;

  EXPECT_TRUE(IEPointInRect(10, 0, 0, 0, 10, 10));
  EXPECT_FALSE(IEPointInRect(11, 0, 0, 0, 10, 10));
  EXPECT_TRUE(IEPointInUnorderedRect(3, 4, 10, 10, 0, 0));
  EXPECT_FALSE(IEPointInUnorderedRect(-1, 4, 10, 10, 0, 0));
}

TEST(IEConstrainLineTo45, SnapsToTheNearestDirection) {
  struct Case {
    Integer x2, y2, ex, ey;
  } cases[] = {
      {50, 40, 50, 50},     // right and below: shorter leg lengthened
      {-50, -40, -40, -40},  // left and above: longer leg shortened
      {10, 100, 0, 100},    // steep: vertical
      {100, 10, 100, 0},    // flat: horizontal
      {-50, 40, -50, 50},   // left and below
      {40, -50, 50, -50},   // right and above
      {-40, 50, -50, 50},   // left and below, steeper
      {50, -40, 50, -50},   // right and above, flatter
      {0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    Integer x = c.x2, y = c.y2;
    IEConstrainLineTo45(0, 0, x, y);
    EXPECT_EQ(x, c.ex) << c.x2 << "," << c.y2;
    EXPECT_EQ(y, c.ey) << c.x2 << "," << c.y2;
  }
  Integer x = INT32_MAX, y = INT32_MIN;  // extreme input must not overflow
  IEConstrainLineTo45(INT32_MIN, INT32_MAX, x, y);
  EXPECT_EQ(x, INT32_MAX);
}

// ---------------------------------------------------------------------------
// Folders and file sizes

TEST(IEFolders, CreateDirectoryPathMakesEveryParent) {
  ScopedTempDir tmp;
  const WideString base = tmp.WPath();
  IECreateDirectoryPath(base + u"a/b/c/");
  EXPECT_TRUE(IEDirectoryExists(base + u"a"));
  EXPECT_TRUE(IEDirectoryExists(base + u"a/b/c"));
  IECreateDirectoryPath(base + u"a/b/c");  // existing: nothing to do
  IECreateDirectoryPath(u"/");
  EXPECT_THROW(IECreateDirectoryPath(WideString()), Exception);
  try {
    IECreateDirectoryPath(WideString());
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Cannot Create Directory");
  }

  // A relative path whose first folder is missing is created in the current folder.
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(tmp.Path().c_str()), 0);
  EXPECT_NO_THROW(IECreateDirectoryPath(u"rel/sub"));
  EXPECT_TRUE(IEDirectoryExists(u"rel/sub"));
  EXPECT_NO_THROW(IECreateDirectoryPath(u"x"));
  EXPECT_TRUE(IEDirectoryExists(u"x"));
  ASSERT_EQ(::chdir(old), 0);

  std::ofstream(tmp.Path() + "file") << "x";
  EXPECT_FALSE(IEDirectoryExists(base + u"file"));
  EXPECT_FALSE(IEDirectoryExists(base + u"missing"));
}

TEST(IEFolders, GetFileSizeIs64BitAndOptional) {
  ScopedTempDir tmp;
  const std::string big = tmp.Path() + "big.bin";
  {
    std::ofstream f(big);
  }
  // 3 GiB sparse: no disk blocks, but a size beyond 32 bits.
  ASSERT_EQ(::truncate(big.c_str(), int64_t{3} << 30), 0);
  EXPECT_EQ(IEGetFileSize(Utf8ToWide(big)), std::optional<int64_t>(int64_t{3} << 30));
  std::ofstream(tmp.Path() + "small") << "12345";
  EXPECT_EQ(IEGetFileSize(tmp.WPath() + u"small"), std::optional<int64_t>(5));
  EXPECT_EQ(IEGetFileSize(tmp.WPath() + u"missing"), std::nullopt);
  EXPECT_EQ(IEGetFileSize(tmp.WPath()), std::nullopt);  // a folder
}

// ---------------------------------------------------------------------------
// Scalar colour routines

TEST(IEScalars, CeilFloorClampAndMinMax) {
  struct Round {
    long double x;
    Integer ceil, floor;
  } rounds[] = {
      {1.2L, 2, 1},   {-1.2L, -1, -2}, {3, 3, 3},    {-3, -3, -3},  {0, 0, 0},
      {0.5L, 1, 0},   {-0.5L, 0, -1},  {1e20L, INT32_MAX, INT32_MAX}, {-1e20L, INT32_MIN, INT32_MIN},
  };
  for (const auto& r : rounds) {
    EXPECT_EQ(IECeil(r.x), r.ceil) << static_cast<double>(r.x);
    EXPECT_EQ(IEFloor(r.x), r.floor) << static_cast<double>(r.x);
  }
  EXPECT_EQ(IECeil(std::nanl("")), 0);

  EXPECT_EQ(IEClamp(5, 10, 0), 10);  // min wins over max
  EXPECT_EQ(IEClamp(5, 0, 10), 5);
  EXPECT_EQ(IEClamp(-5, 0, 10), 0);
  EXPECT_EQ(IEClamp(15, 0, 10), 10);
  EXPECT_EQ(IEClampByte(-1), 0);
  EXPECT_EQ(IEClampByte(256), 255);
  EXPECT_EQ(IEClampByte(17), 17);
  EXPECT_EQ(IEMin(3, -2), -2);
  EXPECT_EQ(IEMax(3, -2), 3);
  EXPECT_EQ(IEMinFloat(0.5, 0.25), 0.25);
  EXPECT_EQ(IEMaxFloat(0.5, 0.25), 0.5);
  Integer a = 1, b = 2;
  IESwapInt(a, b);
  EXPECT_EQ(a * 10 + b, 21);
  Integer x1 = 5, y1 = 1, x2 = 2, y2 = 9;
  IEOrderCoords(x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(x2, 5);
  EXPECT_EQ(y1, 1);
  EXPECT_EQ(y2, 9);
}

TEST(IEScalars, ColourPacking) {
  const TRGB c = IEMakeRGB(0x11, 0x22, 0x33);
  EXPECT_EQ(c.r, 0x11);
  EXPECT_EQ(c.g, 0x22);
  EXPECT_EQ(c.b, 0x33);
  EXPECT_EQ(reinterpret_cast<const Byte*>(&c)[0], 0x33);  // blue first in storage
  EXPECT_EQ(IEMakeCMYK(1, 2, 3, 4), 0x04030201u);
  EXPECT_EQ(IERGBToColor(0xFF112233u), 0x00332211u);
  EXPECT_EQ(IERGBToColor(IERGBToColor(0x00ABCDEFu)), 0x00ABCDEFu);
  EXPECT_TRUE(IERGBEqual(0xFF102030u, 0x00102030u));
  EXPECT_FALSE(IERGBEqual(0x00102031u, 0x00102030u));

  // Platform colours: red in the low byte; system colours resolved.
  const TRGB red = IEColorToRGB(0x0000FF);
  EXPECT_EQ(red.r, 255);
  EXPECT_EQ(red.g, 0);
  EXPECT_EQ(red.b, 0);
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const TRGB sys = IEColorToRGB(SysColor(COLOR_WINDOW));
  EXPECT_EQ(sys.r, GetRValue(window));
  EXPECT_EQ(sys.g, GetGValue(window));
  EXPECT_EQ(sys.b, GetBValue(window));
  EXPECT_EQ(IEColorToARGB(0x00332211, 0x80), 0x80112233u);
  EXPECT_EQ(IEColorToARGB(SysColor(COLOR_WINDOW), 0xFF),
            0xFF000000u | (Cardinal(GetRValue(window)) << 16) | (Cardinal(GetGValue(window)) << 8) | GetBValue(window));

  EXPECT_EQ(IERGBToGray(IEMakeRGB(255, 255, 255)), 255);
  EXPECT_EQ(IERGBToGray(IEMakeRGB(100, 0, 0)), 21);
  EXPECT_EQ(IERGBToGray(IEMakeRGB(0, 100, 0)), 71);
  EXPECT_EQ(IERGBToGray(IEMakeRGB(0, 0, 100)), 8);
  EXPECT_EQ(IERGBToGray(IEMakeRGB(10, 20, 30)), (10 * 21 + 20 * 71 + 30 * 8) / 100);
}

TEST(IEScalars, HSLConversions) {
  double h, s, l;
  const struct {
    TRGB c;
    double h;
  } hues[] = {{IEMakeRGB(255, 0, 0), 0}, {IEMakeRGB(0, 255, 0), 1.0 / 3}, {IEMakeRGB(0, 0, 255), 2.0 / 3},
              {IEMakeRGB(255, 0, 255), 5.0 / 6}};
  for (const auto& x : hues) {
    IERGBToHSL(h, s, l, x.c);
    EXPECT_NEAR(h, x.h, 1e-12);
    EXPECT_NEAR(s, 1, 1e-12);
    EXPECT_NEAR(l, 0.5, 1e-12);
  }
  // Greys come back exactly.
  for (int v = 0; v < 256; ++v) {
    const TRGB grey = IEMakeRGB(v, v, v);
    IERGBToHSL(h, s, l, grey);
    EXPECT_EQ(s, 0);
    TRGB back{};
    IEHSLToRGB(back, h, s, l);
    EXPECT_EQ(back.r, v);
    EXPECT_EQ(back.g, v);
    EXPECT_EQ(back.b, v);
  }
  // And colours within one level.
  for (int r = 0; r < 256; r += 15)
    for (int g = 3; g < 256; g += 14)
      for (int b = 7; b < 256; b += 13) {
        TRGB back{};
        IERGBToHSL(h, s, l, IEMakeRGB(r, g, b));
        IEHSLToRGB(back, h, s, l);
        EXPECT_NEAR(back.r, r, 1);
        EXPECT_NEAR(back.g, g, 1);
        EXPECT_NEAR(back.b, b, 1);
      }
  // Out-of-range input is wrapped or limited, never out of the byte range.
  TRGB c{};
  IEHSLToRGB(c, -0.5, 2, 0.5);  // hue -180 degrees = 180: cyan, saturation limited to 1
  EXPECT_EQ(c.r, 0);
  EXPECT_EQ(c.g, 255);
  EXPECT_EQ(c.b, 255);
  IEHSLToRGB(c, 0, 0, 7);  // lightness limited to 1
  EXPECT_EQ(c.r, 255);
  EXPECT_NEAR(IEHueToRGB(1.5, 1, 0), IEHueToRGB(0.5, 1, 0), 1e-15);
}

TEST(IEScalars, FindNearestColor) {
  const TRGB pal[] = {IEMakeRGB(0, 0, 0), IEMakeRGB(10, 0, 0), IEMakeRGB(0, 10, 0), IEMakeRGB(255, 255, 255)};
  EXPECT_EQ(IEFindNearestColor(pal, 4, 0x050000), 0);  // equal distance to 0 and 1: the first
  EXPECT_EQ(IEFindNearestColor(pal, 4, 0x000500), 0);
  EXPECT_EQ(IEFindNearestColor(pal, 4, 0x090000), 1);
  EXPECT_EQ(IEFindNearestColor(pal, 4, 0x000600), 2);  // red in bits 16-23, green 8-15
  EXPECT_EQ(IEFindNearestColor(pal, 4, 0xF0F0F0), 3);
  EXPECT_EQ(IEFindNearestColor(pal, 0, 0x123456), 0);
}

}  // namespace test_ieutils_tests
