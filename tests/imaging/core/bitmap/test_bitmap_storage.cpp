// Storage of the picture container: the three kinds of storage for every
// pixel format, the choice between memory and file, the fall-backs and the
// row layouts.
#include <cstring>
#include <limits>
#include <vector>

#include "bitmap_fixture.h"
#include "imaging/core/base/iesysinfo.h"

namespace test_bitmap_storage_tests {

namespace {

enum class Storage { Block, Segments, File };

const char* StorageName(Storage s) {
  return s == Storage::Block ? "Block" : s == Storage::Segments ? "Segments" : "File";
}

bool AlwaysFailBlock(int64_t) { return true; }
bool AlwaysFailSegment(int64_t, int32_t) { return true; }

// Puts the library into the state that makes new bitmaps use that storage.
void ForceStorage(Storage s) {
  IEMemoryThresholdOverride = s == Storage::File ? 0 : std::numeric_limits<int64_t>::max();
  if (s == Storage::Segments) IEBitmapTestHooks.FailBlock = AlwaysFailBlock;
}

void ExpectStorage(TIEBitmap& b, Storage s) {
  switch (s) {
    case Storage::Block:
      EXPECT_EQ(b.Location(), ieMemory);
      EXPECT_EQ(b.SegmentCount(), 0);
      break;
    case Storage::Segments:
      EXPECT_EQ(b.Location(), ieMemory);
      EXPECT_GE(b.SegmentCount(), 4);
      break;
    case Storage::File:
      EXPECT_EQ(b.Location(), ieFile);
      break;
  }
}

Byte PatternByte(int x, int y) { return static_cast<Byte>(y * 131 + x * 7 + 1); }

// What the rows must hold: the whole row, padding included, since a resize
// carries min(old, new) bytes of every kept row.
using Model = std::vector<std::vector<Byte>>;

void WritePattern(TIEBitmap& b, Model& m) {
  m.assign(b.Height(), std::vector<Byte>(b.RowLen()));
  for (int y = 0; y < b.Height(); ++y) {
    auto* row = static_cast<Byte*>(b.GetScanline(y));
    for (int x = 0; x < b.RowLen(); ++x) row[x] = m[y][x] = PatternByte(x, y);
  }
}

void ResizeModel(Model& m, int NewRowLen, int NewHeight) {
  Model n(NewHeight, std::vector<Byte>(NewRowLen, 0));
  for (int y = 0; y < NewHeight && y < static_cast<int>(m.size()); ++y)
    std::memcpy(n[y].data(), m[y].data(), std::min<size_t>(NewRowLen, m[y].size()));
  m = std::move(n);
}

void ExpectRows(TIEBitmap& b, const Model& m) {
  ASSERT_EQ(b.Height(), static_cast<int>(m.size()));
  for (int y = 0; y < b.Height(); ++y) {
    ASSERT_EQ(static_cast<size_t>(b.RowLen()), m[y].size());
    auto* row = static_cast<const Byte*>(b.GetScanline(y));
    ASSERT_EQ(std::memcmp(row, m[y].data(), m[y].size()), 0) << "row " << y;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Every storage kind with every pixel format: write, grow and shrink both
// ways, and read back what must have survived (new pixels are zero).

std::string MatrixName(const ::testing::TestParamInfo<std::tuple<Storage, TIEPixelFormat>>& info) {
  static const char* names[] = {"None", "1g", "8p", "8g", "16g", "24RGB", "32f", "CMYK", "RGB48", "CIELab", "32RGB"};
  return std::string(StorageName(std::get<0>(info.param))) + "_" + names[std::get<1>(info.param)];
}

class StorageMatrix : public BitmapTest,
                      public ::testing::WithParamInterface<std::tuple<Storage, TIEPixelFormat>> {};

TEST_P(StorageMatrix, ResizeKeepsTopLeftArea) {
  auto [storage, pf] = GetParam();
  ForceStorage(storage);
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(37, 23, pf));
  ExpectStorage(b, storage);
  EXPECT_EQ(b.PixelFormat(), pf);
  EXPECT_EQ(b.BitCount(), IEPixelFormatBitCount(pf));
  EXPECT_EQ(b.RowLen(), IEBitmapRowLen(37, IEPixelFormatBitCount(pf), 32));
  Model m;
  WritePattern(b, m);
  ExpectRows(b, m);

  struct Step { bool width; int value; };
  for (Step s : {Step{true, 53}, Step{false, 31}, Step{true, 19}, Step{false, 9}, Step{true, 1}}) {
    SCOPED_TRACE(::testing::Message() << (s.width ? "width " : "height ") << s.value);
    if (s.width) b.SetWidth(s.value);
    else b.SetHeight(s.value);
    ResizeModel(m, b.RowLen(), b.Height());
    EXPECT_EQ(s.width ? b.Width() : b.Height(), s.value);
    EXPECT_EQ(b.RowLen(), IEBitmapRowLen(b.Width(), IEPixelFormatBitCount(pf), 32));
    ExpectStorage(b, storage);
    ExpectRows(b, m);
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, StorageMatrix,
    ::testing::Combine(::testing::Values(Storage::Block, Storage::Segments, Storage::File),
                       ::testing::Values(ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab,
                                         ie32RGB)),
    MatrixName);

// ---------------------------------------------------------------------------
// Layouts

TEST_F(BitmapTest, SingleBlockIsBottomUpAnd64ByteAligned) {
  ForceStorage(Storage::Block);
  for (Byte allocator : {0, 1, 2}) {
    TIEBitmap b;
    b.SetAllocator(allocator);
    ASSERT_TRUE(b.Allocate(5, 4, ie24RGB));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.MemoryBlock()) % 64, 0u);
    EXPECT_EQ(b.RowLen(), 16);
    for (int y = 0; y < 4; ++y) EXPECT_EQ(b.GetScanline(y), b.MemoryBlock() + 16 * (3 - y));
    // The block is freed the way it was taken, even after the setting
    // changed (the sanitizer build reports a mismatched free).
    b.SetAllocator(static_cast<Byte>(2 - allocator));
  }
}

TEST_F(BitmapTest, SegmentsAreTopDownInSegmentsOfCeilHeightOverN) {
  ForceStorage(Storage::Segments);
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(10, 10, ie8g));
  EXPECT_EQ(b.SegmentCount(), 4);
  EXPECT_EQ(b.RowsPerSegment(), 3);
  // Rows within one segment follow each other; the next segment starts anew.
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(1)), static_cast<Byte*>(b.GetScanline(0)) + b.RowLen());
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(2)), static_cast<Byte*>(b.GetScanline(0)) + 2 * b.RowLen());
}

TEST_F(BitmapTest, NoSegmentsWhenSwitchedOffAndNoFileWithoutFallback) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  IEBitmapTestHooks.FailBlock = AlwaysFailBlock;
  IEUseSegments = false;
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(10, 10, ie8g));
  EXPECT_EQ(b.Location(), ieFile);  // fell back to the file

  IEFileFallback = false;
  TIEBitmap c;
  EXPECT_FALSE(c.Allocate(10, 10, ie24RGB));
  EXPECT_EQ(c.Width(), 0);
  EXPECT_EQ(c.Height(), 0);
  EXPECT_EQ(c.PixelFormat(), ie24RGB);
  EXPECT_TRUE(c.IsEmpty());
}

// Segment sizes are 64-bit: a 100000 x 100000 ieRGB48 picture (60 GB) needs
// four segments of 15 GB, far beyond what 32 bits hold. The seam records
// each attempt and refuses it, so nothing is really allocated. The count
// doubles until a segment would be below 10 MiB.
std::vector<std::pair<int64_t, int32_t>> gSegmentAttempts;
bool RecordAndFailSegment(int64_t Size, int32_t Count) {
  gSegmentAttempts.push_back({Size, Count});
  return true;
}

TEST_F(BitmapTest, HugeSegmentSizesAreComputedIn64Bits) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  IEFileFallback = false;
  IEBitmapTestHooks.FailBlock = AlwaysFailBlock;
  IEBitmapTestHooks.FailSegment = RecordAndFailSegment;
  gSegmentAttempts.clear();
  TIEBitmap b;
  EXPECT_FALSE(b.Allocate(100000, 100000, ieRGB48));
  EXPECT_TRUE(b.IsEmpty());
  const int64_t rowLen = 600000;
  ASSERT_FALSE(gSegmentAttempts.empty());
  EXPECT_EQ(gSegmentAttempts[0], (std::pair<int64_t, int32_t>{15000000000LL, 4}));
  int32_t n = 4;
  for (auto [size, count] : gSegmentAttempts) {
    EXPECT_EQ(count, n);
    EXPECT_EQ(size, rowLen * ((100000 + n - 1) / n));
    n *= 2;
  }
  // 8192 segments would be 13 rows = 7.8 MB each: below the 10 MiB floor.
  EXPECT_EQ(gSegmentAttempts.back().second, 4096);
}

// ---------------------------------------------------------------------------
// Memory threshold: a picture of exactly the threshold keeps the location it
// had; a new bitmap starts at ieFile.

struct ThresholdCase {
  const char* name;
  bool startInMemory;
  int64_t thresholdMinusSize;
  TIELocation expected;
};

void PrintTo(const ThresholdCase& c, std::ostream* os) { *os << c.name; }

class Threshold : public BitmapTest, public ::testing::WithParamInterface<ThresholdCase> {};

TEST_P(Threshold, DecidesLocationBySize) {
  const ThresholdCase& c = GetParam();
  const int64_t size = IEBitmapRowLen(100, 24, 32) * 50;
  IEMemoryThresholdOverride = size + c.thresholdMinusSize;
  TIEBitmap b;
  EXPECT_EQ(b.MemoryThreshold(), size + c.thresholdMinusSize);
  if (c.startInMemory) {
    ASSERT_TRUE(b.Allocate(1, 1, ie8g));
    ASSERT_EQ(b.Location(), ieMemory);
  }
  ASSERT_TRUE(b.Allocate(100, 50, ie24RGB));
  EXPECT_EQ(b.Location(), c.expected);
  static_cast<Byte*>(b.GetScanline(49))[299] = 7;
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(49))[299], 7);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, Threshold,
    ::testing::Values(ThresholdCase{"NewExactStaysFile", false, 0, ieFile},
                      ThresholdCase{"NewOneByteLessGoesToMemory", false, 1, ieMemory},
                      ThresholdCase{"NewLargerStaysFile", false, -1, ieFile},
                      ThresholdCase{"MemoryExactStaysMemory", true, 0, ieMemory},
                      ThresholdCase{"MemoryOneByteMoreGoesToFile", true, -1, ieFile}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapTest, DefaultThresholdIsTotalMemoryOver1Point3) {
  IEMemoryThresholdOverride = -1;
  TIEBitmap b;
  int64_t total = IEGetPhysicalMemory(false);
  ASSERT_GT(total, 0);
  EXPECT_EQ(b.MemoryThreshold(), static_cast<int64_t>(static_cast<long double>(total) / 1.3L));
}

// ---------------------------------------------------------------------------
// Fresh storage never shows old heap contents: palettes, blocks of every
// allocator, new pixels after a resize, rows of a new file.

TEST_F(BitmapTest, PalettesAndPixelBlocksStartZeroed) {
  // Leave recognisable garbage in freed heap blocks of the sizes that follow.
  for (size_t n : {size_t(768), size_t(64 * 64 + 128), size_t(4096)}) {
    void* p = std::malloc(n);
    std::memset(p, 0xAB, n);
    std::free(p);
  }
  ForceStorage(Storage::Block);
  for (Byte allocator : {0, 1, 2}) {
    TIEBitmap b;
    b.SetAllocator(allocator);
    ASSERT_TRUE(b.Allocate(64, 64, ie8p));
    ASSERT_EQ(b.GetPaletteLength(), 256);
    for (int i = 0; i < 256; ++i) {
      TRGB c{1, 2, 3};
      b.GetPaletteColor(i, c);
      ASSERT_TRUE(c.r == 0 && c.g == 0 && c.b == 0) << "palette entry " << i;
    }
    for (int y = 0; y < 64; ++y) {
      auto* row = static_cast<const Byte*>(b.GetScanline(y));
      for (int x = 0; x < b.RowLen(); ++x) ASSERT_EQ(row[x], 0) << "allocator " << int(allocator);
    }
  }
  // A wrapped ie8p buffer gets a zeroed palette of its own.
  std::vector<Byte> buf(16 * 4, 5);
  TIEBitmap e;
  e.EncapsulateMemory(buf.data(), 16, 4, ie8p, true, false);
  ASSERT_EQ(e.GetPaletteLength(), 256);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(e.GetPaletteBuffer()[i].g, 0);
  // Rows of a new file-backed picture read back as zero.
  ForceStorage(Storage::File);
  TIEBitmap f;
  ASSERT_TRUE(f.Allocate(20, 20, ie24RGB));
  ASSERT_EQ(f.Location(), ieFile);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < f.RowLen(); ++x) ASSERT_EQ(static_cast<const Byte*>(f.GetScanline(y))[x], 0);
}

// ---------------------------------------------------------------------------
// Allocation rules

TEST_F(BitmapTest, SameSizeAllocateKeepsPixelsUnlessReallocationIsPending) {
  ForceStorage(Storage::Block);
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(8, 8, ie8g));
  EXPECT_FALSE(b.NeedsAllocation());
  static_cast<Byte*>(b.GetScanline(3))[3] = 99;
  TIEBitmap* alpha = b.GetAlphaChannel();
  ASSERT_TRUE(b.Allocate(8, 8, ie8g));
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(3))[3], 99);
  EXPECT_EQ(b.GetAlphaChannel(), alpha);

  // After Assign the pending reallocation makes the same call start afresh.
  TIEBitmap src(8, 8, ie8g);
  static_cast<Byte*>(src.GetScanline(2))[2] = 42;
  b.Assign(&src);
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(2))[2], 42);
  EXPECT_TRUE(b.NeedsAllocation());
  ASSERT_TRUE(b.Allocate(8, 8, ie8g));
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(2))[2], 0);

  // A different size drops pixels and the alpha channel.
  b.GetAlphaChannel();
  ASSERT_TRUE(b.Allocate(9, 8, ie8g));
  EXPECT_FALSE(b.HasAlphaChannel());
}

TEST_F(BitmapTest, InvalidRequestsFailAndLeaveAnEmptyBitmap) {
  struct Case { int w, h; TIEPixelFormat pf; };
  for (Case c : {Case{0, 5, ie8g}, Case{5, 0, ie8g}, Case{-1, 5, ie8g}, Case{5, 5, ieNone},
                 Case{0x7FFFFFFF, 1, ieRGB48}}) {
    TIEBitmap b(4, 4, ie24RGB);
    b.GetAlphaChannel();
    EXPECT_FALSE(b.Allocate(c.w, c.h, c.pf)) << c.w << "x" << c.h;
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Width(), 0);
    EXPECT_EQ(b.Height(), 0);
    EXPECT_EQ(b.PixelFormat(), c.pf);
    EXPECT_FALSE(b.HasAlphaChannel());
  }
}

TEST_F(BitmapTest, FileIsUsedWhenNoMemoryCanBeHad) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  IEBitmapTestHooks.FailBlock = AlwaysFailBlock;
  IEBitmapTestHooks.FailSegment = AlwaysFailSegment;
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(30, 30, ie24RGB));
  EXPECT_EQ(b.Location(), ieFile);
  Model m;
  WritePattern(b, m);
  ExpectRows(b, m);
}

// ---------------------------------------------------------------------------
// Rows of a file-backed picture

TEST_F(BitmapTest, MappedRowsStayValidTogetherUntilUnmapped) {
  ForceStorage(Storage::File);
  TIEBitmap b(16, 8, ie8g);
  ASSERT_EQ(b.Location(), ieFile);
  Byte* r[3];
  for (int i = 0; i < 3; ++i) r[i] = static_cast<Byte*>(b.MapRow(i + 2));
  for (int i = 0; i < 3; ++i) std::memset(r[i], 10 + i, 16);
  b.UnmapRow(3);
  b.UnmapRow(2);
  b.UnmapRow(4);
  b.UnmapRow(4);  // not kept any more: nothing happens
  for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<Byte*>(b.GetScanline(i + 2))[15], 10 + i);

  // ReleaseMappedRows writes back everything still mapped, the current row too.
  std::memset(b.MapRow(6), 66, 16);
  std::memset(b.GetScanline(7), 77, 16);
  b.ReleaseMappedRows();
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(6))[0], 66);
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(7))[0], 77);
}

TEST_F(BitmapTest, AccessBitsDecideReadingInAndWritingBack) {
  ForceStorage(Storage::File);
  TIEBitmap b(16, 4, ie8g);
  for (int y = 0; y < 4; ++y) std::memset(b.GetScanline(y), 1 + y, 16);
  b.ReleaseMappedRows();

  b.SetAccess(ieaRead);  // changes are not written back
  std::memset(b.GetScanline(1), 200, 16);
  b.GetScanline(2);
  b.SetAccess(ieaWrite);  // rows are not read in
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(3))[0], 0);
  b.SetAccess(ieaRead | ieaWrite);
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(1))[0], 2);
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(3))[0], 0);  // the write-only row was written back as seen
}

// ---------------------------------------------------------------------------
// Moving and wrapping storage

TEST_F(BitmapTest, MoveStorageToHandsOverEverything) {
  ForceStorage(Storage::Block);
  TIEBitmap a(6, 5, ie8p);
  a.SetPaletteColor(7, TRGB{1, 2, 3});
  static_cast<Byte*>(a.GetScanline(4))[5] = 7;
  TIEBitmap* alpha = a.GetAlphaChannel();
  TIEBitmap d(3, 3, ie24RGB);
  d.GetAlphaChannel();
  a.MoveStorageTo(&d);
  EXPECT_EQ(d.Width(), 6);
  EXPECT_EQ(d.PixelFormat(), ie8p);
  EXPECT_EQ(static_cast<Byte*>(d.GetScanline(4))[5], 7);
  EXPECT_EQ(d.GetPaletteBuffer()[7].g, 2);
  EXPECT_EQ(d.GetAlphaChannel(), alpha);
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_FALSE(a.HasAlphaChannel());
  EXPECT_EQ(a.GetPaletteLength(), 0);
  EXPECT_TRUE(a.NeedsAllocation());
  EXPECT_EQ(a.Location(), ieMemory);
}

// A caller's top-down buffer must not come out flipped when the bitmap
// resizes, relocates or hands it on, and the bitmap's own later blocks are
// bottom-up again.
TEST_F(BitmapTest, TopDownBufferKeepsOrientationThroughResizeMoveAndRelocation) {
  const int W = 8, H = 6;
  std::vector<Byte> buf(W * H);
  for (int y = 0; y < H; ++y) std::memset(&buf[y * W], 10 + y, W);
  const std::vector<Byte> original = buf;
  auto expectRows = [&](TIEBitmap& b) {
    for (int y = 0; y < H; ++y) EXPECT_EQ(static_cast<Byte*>(b.GetScanline(y))[0], 10 + y) << "row " << y;
  };

  ForceStorage(Storage::Block);
  TIEBitmap b;
  b.EncapsulateMemory(buf.data(), W, H, ie8g, true, true);
  EXPECT_EQ(b.GetScanline(0), buf.data());
  EXPECT_EQ(b.TopDown(), 1);
  b.SetWidth(W + 4);
  EXPECT_EQ(b.TopDown(), 0);
  EXPECT_FALSE(b.MemoryIsExternal());
  EXPECT_EQ(b.GetScanline(0), b.MemoryBlock() + b.RowLen() * (H - 1));
  expectRows(b);
  EXPECT_EQ(buf, original);

  TIEBitmap c;
  c.EncapsulateMemory(buf.data(), W, H, ie8g, true, true);
  TIEBitmap d;
  c.MoveStorageTo(&d);
  EXPECT_EQ(d.TopDown(), 1);
  EXPECT_EQ(c.TopDown(), 0);
  expectRows(d);
  d.FreeImage(true);
  EXPECT_EQ(d.TopDown(), 0);
  ASSERT_TRUE(d.Allocate(W, H, ie8g));
  EXPECT_EQ(d.GetScanline(0), d.MemoryBlock() + d.RowLen() * (H - 1));

  IEMemoryThresholdOverride = 0;
  TIEBitmap f;  // takes the file threshold
  f.EncapsulateMemory(buf.data(), W, H, ie8g, true, true);
  f.SetLocation(ieFile);
  EXPECT_EQ(f.Location(), ieFile);
  expectRows(f);
  EXPECT_EQ(buf, original);
}

TEST_F(BitmapTest, EncapsulatedBufferIsBottomUpByDefaultAndNeverFreed) {
  ForceStorage(Storage::Block);
  std::vector<Byte> buf(12 * 3);
  TIEBitmap b(4, 4, ie8p);
  b.SetPaletteColor(1, TRGB{9, 9, 9});
  TIEBitmap* alpha = b.GetAlphaChannel();
  // Keeping the current palette and alpha channel; the own block is released.
  b.EncapsulateMemory(buf.data(), 4, 3, ie24RGB, false, false);
  EXPECT_EQ(b.GetScanline(0), buf.data() + 12 * 2);
  EXPECT_EQ(b.GetAlphaChannel(), alpha);
  EXPECT_EQ(b.GetPaletteLength(), 0);  // not a paletted format any more
  b.FreeImage(true);                    // must not free the caller's buffer (ASan would tell)
  EXPECT_TRUE(b.IsEmpty());
}

TEST_F(BitmapTest, SetLocationMovesPixelsPaletteAndAlpha) {
  const int64_t size = IEBitmapRowLen(20, 8, 32) * 10;
  IEMemoryThresholdOverride = size;  // both locations are stable at this size
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(20, 10, ie8p));
  ASSERT_EQ(b.Location(), ieFile);
  Model m;
  WritePattern(b, m);
  b.SetPaletteColor(200, TRGB{4, 5, 6});
  static_cast<Byte*>(b.GetAlphaChannel()->GetScanline(9))[19] = 33;
  for (TIELocation l : {ieMemory, ieFile}) {
    b.SetLocation(l);
    EXPECT_EQ(b.Location(), l);
    ExpectRows(b, m);
    EXPECT_EQ(b.GetPaletteBuffer()[200].r, 6);
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(static_cast<Byte*>(b.GetAlphaChannel()->GetScanline(9))[19], 33);
  }
  // Into a platform bitmap and back out again, nothing lost.
  b.SetLocation(ieTBitmap);
  EXPECT_EQ(b.Location(), ieTBitmap);
  ExpectRows(b, m);
  EXPECT_EQ(b.GetPaletteBuffer()[200].r, 6);
  b.SetLocation(ieMemory);
  EXPECT_EQ(b.Location(), ieMemory);
  ExpectRows(b, m);
  EXPECT_EQ(b.GetPaletteBuffer()[200].r, 6);
}

TEST_F(BitmapTest, SetRowAlignmentRelaysRowsInMemoryOnly) {
  ForceStorage(Storage::Block);
  TIEBitmap b(5, 3, ie24RGB);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 15; ++x) static_cast<Byte*>(b.GetScanline(y))[x] = PatternByte(x, y);
  b.SetRowAlignment(8);
  EXPECT_EQ(b.RowAlignment(), 8);
  EXPECT_EQ(b.RowLen(), 15);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 15; ++x) ASSERT_EQ(static_cast<Byte*>(b.GetScanline(y))[x], PatternByte(x, y));
  b.SetRowAlignment(12);  // not whole bytes: ignored
  EXPECT_EQ(b.RowAlignment(), 8);

  ForceStorage(Storage::File);
  TIEBitmap f(5, 3, ie24RGB);
  ASSERT_EQ(f.Location(), ieFile);
  f.SetRowAlignment(8);
  EXPECT_EQ(f.RowAlignment(), 32);
  EXPECT_EQ(f.RowLen(), 16);
}

// Resizing a paletted picture keeps its palette (a fresh palette would turn
// every index into black).
TEST_F(BitmapTest, ResizeKeepsPalette) {
  ForceStorage(Storage::Block);
  TIEBitmap b(4, 4, ie8p);
  for (int i = 0; i < 256; ++i) b.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), 7});
  b.SetWidth(9);
  b.SetHeight(2);
  ASSERT_EQ(b.GetPaletteLength(), 256);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(b.GetPaletteBuffer()[i].g, 255 - i);
}

TEST_F(BitmapTest, PaletteAccessOutsideTheRangeIsIgnored) {
  TIEBitmap b(2, 2, ie8p);
  TRGB c{1, 2, 3};
  b.GetPaletteColor(256, c);
  b.GetPaletteColor(-1, c);
  EXPECT_EQ(c.b + c.g + c.r, 6);
  b.SetPaletteColor(256, TRGB{9, 9, 9});
  TIEBitmap g(2, 2, ie8g);
  EXPECT_EQ(g.GetPaletteLength(), 0);
  EXPECT_EQ(g.GetPaletteBuffer(), nullptr);
  g.SetPaletteColor(0, TRGB{9, 9, 9});
}

// SetPixelFormat converts a picture in place (the conversion rules have their
// own tests); an empty bitmap only takes the format.
TEST_F(BitmapTest, PixelFormatChangeConvertsThePicture) {
  TIEBitmap b(3, 3, ie24RGB);
  static_cast<Byte*>(b.GetScanline(1))[5] = 255;  // red of pixel (1, 1)
  b.SetPixelFormat(ie24RGB);
  EXPECT_EQ(b.PixelFormat(), ie24RGB);
  b.SetPixelFormat(ie8g);
  EXPECT_EQ(b.PixelFormat(), ie8g);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.RowLen(), 4);
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(1))[1], 53);
  TIEBitmap e;
  e.SetPixelFormat(ie16g);
  EXPECT_EQ(e.PixelFormat(), ie16g);
  EXPECT_TRUE(e.IsEmpty());
}

// A big picture that fits under the threshold but not into the memory the
// system has left goes to a file: allocating it would let the out-of-memory
// killer end the program once the pixels are written.
TEST_F(BitmapTest, BigPictureGoesToAFileWhenTheSystemHasTooLittleLeft) {
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  const Integer w = 5000, h = 5000;  // 75 MB of ie24RGB
  const struct {
    int64_t left;
    TIELocation expected;
  } cases[] = {{int64_t(90) << 20, ieFile},     // more than three quarters of what is left
               {int64_t(200) << 20, ieMemory},  // room enough
               {std::numeric_limits<int64_t>::max(), ieMemory}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    IEMemoryLeftOverride = c.left;
    TIEBitmap b;
    ASSERT_TRUE(b.Allocate(w, h, ie24RGB));
    EXPECT_EQ(b.Location(), c.expected);
    // Either way the pixels are there to write and read back.
    static_cast<Byte*>(b.GetScanline(h - 1))[3 * w - 1] = 77;
    static_cast<Byte*>(b.GetScanline(0))[0] = 55;
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(h - 1))[3 * w - 1], 77);
    EXPECT_EQ(static_cast<Byte*>(b.GetScanline(0))[0], 55);
  }
  // Small pictures never ask.
  IEMemoryLeftOverride = 1;
  TIEBitmap small;
  ASSERT_TRUE(small.Allocate(100, 100, ie24RGB));
  EXPECT_EQ(small.Location(), ieMemory);
}

}  // namespace test_bitmap_storage_tests
