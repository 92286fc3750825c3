// The readers' limits against hostile sizes: the checks themselves, the
// crafted files that once cost gigabytes (each loaded in a child process
// whose peak memory is measured), and valid files of extreme compression
// that the checks must still let through.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "codec_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iepng.h"
#include "imaging/io/iezlib.h"

namespace test_reader_limits_tests {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

namespace {

const std::string kData = GT_TEST_DATA_DIR;

// A field of /proc/self/status in kilobytes ("VmHWM", "VmRSS"), -1 when absent.
long StatusKb(const char* Field) {
  long kb = -1;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const size_t n = std::strlen(Field);
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, Field, n) == 0 && line[n] == ':') kb = std::atol(line + n + 1);
    std::fclose(f);
  }
  return kb;
}

// Runs Fn in a child process; returns the child's exit status (Fn's result)
// and how far the child's peak resident memory rose while Fn ran. The peak
// inherited from this process is reset first, so only Fn's own use counts.
int InChild(const std::function<int()>& Fn, long& GrowthKb) {
  int fds[2];
  GrowthKb = -1;
  if (pipe(fds) != 0) return 100;
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
      std::fputs("5", f);  // resets the peak to what is resident now
      std::fclose(f);
    }
    const long base = StatusKb("VmHWM");
    const int result = Fn();
    const long growth = StatusKb("VmHWM") - base;
    if (write(fds[1], &growth, sizeof growth) != sizeof growth) _exit(101);
    _exit(result);
  }
  close(fds[1]);
  if (read(fds[0], &GrowthKb, sizeof GrowthKb) != sizeof GrowthKb) GrowthKb = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

enum TReader { rJpeg, rPng };

// 0: refused with nothing allocated; 1: loaded; 2: refused after allocating.
int Load(TReader R, const Bytes& File, Integer* Width = nullptr) {
  TIEMemStream s(File.data(), static_cast<int64_t>(File.size()));
  TIEBitmap b;
  TIOParamsVals params(nullptr);
  Progress p;
  if (R == rJpeg)
    IEReadJPEG(&s, nullptr, &b, params, p.Rec, false, false, true, false, true, true, -1, false);
  else
    IEReadPNG(&s, &b, params, p.Rec, false);
  if (Width) *Width = b.Width();
  if (!p.Aborting) return 1;
  return b.IsEmpty() ? 0 : 2;
}

Bytes PngChunk(const char* Type, const Bytes& Data) {
  Bytes out;
  out.reserve(Data.size() + 12);
  for (int i = 3; i >= 0; --i) out.push_back(Byte(Data.size() >> (8 * i)));
  for (int i = 0; i < 4; ++i) out.push_back(Byte(Type[i]));
  for (Byte b : Data) out.push_back(b);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(Type), 4);
  // (zlib takes a null buffer as a request for the initial value)
  if (!Data.empty()) crc = crc32(crc, Data.data(), static_cast<uInt>(Data.size()));
  for (int i = 3; i >= 0; --i) out.push_back(Byte(crc >> (8 * i)));
  return out;
}

// An RGBA picture of one colour, Adam7-interlaced or not, compressed as hard
// as zlib can: close to deflate's largest ratio.
Bytes UniformRgbaPng(uint32_t W, uint32_t H, bool Interlaced) {
  Bytes raw;
  auto rows = [&](uint32_t x0, uint32_t dx, uint32_t y0, uint32_t dy) {
    const uint32_t cols = W > x0 ? (W - x0 + dx - 1) / dx : 0;
    if (cols == 0) return;
    for (uint32_t y = y0; y < H; y += dy) {
      raw.push_back(0);
      for (uint32_t x = 0; x < cols; ++x) raw.insert(raw.end(), {200, 100, 50, 255});
    }
  };
  if (Interlaced) {
    const uint32_t pass[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                 {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
    for (const auto& p : pass) rows(p[0], p[1], p[2], p[3]);
  } else {
    rows(0, 1, 0, 1);
  }
  uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
  Bytes z(zlen);
  EXPECT_EQ(compress2(z.data(), &zlen, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
  z.resize(zlen);
  Bytes ihdr = {Byte(W >> 24), Byte(W >> 16), Byte(W >> 8), Byte(W), Byte(H >> 24), Byte(H >> 16), Byte(H >> 8),
                Byte(H), 8, 6, 0, 0, Byte(Interlaced ? 1 : 0)};
  return io_test::Cat({Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, PngChunk("IHDR", ihdr),
                       PngChunk("IDAT", z), PngChunk("IEND", {})});
}

}  // namespace

TEST(ReaderLimits, PictureFitsCountsPixelsAndBytes) {
  const TIEReadLimit limit{1000, 3000};
  struct Case {
    int64_t w, h, bits;
    bool fits;
  } cases[] = {
      {10, 100, 24, true},    // 1000 pixels, 3000 bytes: both at the limit
      {10, 101, 8, false},    // one row too many pixels
      {10, 100, 32, false},   // pixels fit, 4000 bytes do not
      {1000, 1, 1, true},     // 1-bit rows round up to whole bytes only once
      {0, 100, 24, false},    // empty pictures are not pictures
      {-5, -5, 24, false},    // nor are negative ones
      {int64_t(1) << 40, int64_t(1) << 40, 24, false},  // no overflow into a small product
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + "x" + std::to_string(c.bits));
    EXPECT_EQ(IEPictureFits(limit, c.w, c.h, c.bits), c.fits);
  }
}

TEST(ReaderLimits, DataAvailabilityAndGrowth) {
  EXPECT_TRUE(IEDataCanExplain(100, 100));
  EXPECT_FALSE(IEDataCanExplain(101, 100));
  EXPECT_TRUE(IEDataCanExplain(int64_t(1) << 40, -1));  // a stream that cannot tell its size
  EXPECT_EQ(IEDeflateMinInput(1032 * 7), 7);
  EXPECT_EQ(IEDeflateMinInput(1031), 0);

  // The stream's position stays where it was.
  Byte bytes[50] = {};
  TIEMemStream s(bytes, sizeof bytes);
  s.SetPosition(20);
  EXPECT_EQ(IEStreamBytesLeft(&s), 30);
  EXPECT_EQ(s.Position(), 20);
  s.SetPosition(50);
  EXPECT_EQ(IEStreamBytesLeft(&s), 0);

  struct Grow {
    int64_t current, needed, cap, want;
  } grows[] = {
      {1000, 1001, 1 << 20, 2000},  // doubles, not the step asked for
      {1000, 5000, 1 << 20, 5000},  // at least what is needed
      {900, 1000, 1000, 1000},      // never beyond the cap
      {1000, 2000, 1000, 1000},     // at the cap: no growth
      {0, 1, 100, 100},             // an empty block starts small, within the cap
  };
  for (const Grow& g : grows) {
    SCOPED_TRACE(std::to_string(g.current) + " -> " + std::to_string(g.needed));
    EXPECT_EQ(IEGrowCapacity(g.current, g.needed, g.cap), g.want);
  }
}

// The crafted files: a 631-byte JPEG cut early that declares 20000 x 20000,
// and a 69-byte interlaced RGBA PNG that declares 16000 x 16000. Both are
// refused before the picture is allocated, within a small memory budget.
TEST(ReaderLimits, HugeDeclaredSizesOverLittleDataAreRefusedCheaply) {
  struct Case {
    const char* file;
    TReader reader;
  } cases[] = {{"jpeg_huge_declared_cut.jpg", rJpeg}, {"png_interlaced_huge_declared.png", rPng}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes file = io_test::ReadFile(kData + "/" + c.file);
    ASSERT_LT(file.size(), 1000u);
    long growthKb = 0;
    EXPECT_EQ(InChild([&] { return Load(c.reader, file); }, growthKb), 0);
    EXPECT_GE(growthKb, 0);
    EXPECT_LT(growthKb, 100 * 1024) << "peak memory rose by " << growthKb << " KB";
    std::printf("[ measured ] %s: peak memory +%ld KB\n", c.file, growthKb);
  }
}

// An interlaced RGBA file needs a buffer of the whole picture; it is made
// only once image data has arrived, so a header of 8000 x 8000 over enough
// bytes to pass the size checks, but with no decodable data, costs little.
TEST(ReaderLimits, InterlacedBufferWaitsForImageData) {
  const uint32_t side = 8000;
  Bytes junk(300000);
  uint32_t seed = 11;
  for (Byte& b : junk) b = Byte((seed = seed * 1664525u + 1013904223u) >> 24);
  junk[0] = 0x78;  // a zlib header, then data that cannot be inflated
  junk[1] = 0xDA;
  junk[2] = 0xFF;  // block type 3: invalid
  Bytes ihdr = {Byte(side >> 24), Byte(side >> 16), Byte(side >> 8), Byte(side),
                Byte(side >> 24), Byte(side >> 16), Byte(side >> 8), Byte(side), 8, 6, 0, 0, 1};
  const Bytes png = io_test::Cat({Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, PngChunk("IHDR", ihdr),
                                  PngChunk("IDAT", junk), PngChunk("IEND", {})});
  long growthKb = 0;
  // Refused after the picture was allocated: libpng only finds the data bad
  // when the first row is asked for.
  EXPECT_EQ(InChild([&] { return Load(rPng, png); }, growthKb), 2);
  EXPECT_GE(growthKb, 0);
  EXPECT_LT(growthKb, 100 * 1024) << "peak memory rose by " << growthKb << " KB";
}

// Files that compress as hard as their format allows are valid and load:
// the availability checks refuse only what no encoder could produce.
TEST(ReaderLimits, ValidFilesOfExtremeCompressionStillLoad) {
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced ? "interlaced PNG" : "PNG");
    const Bytes png = UniformRgbaPng(1500, 1400, interlaced);
    ASSERT_LT(png.size() * 300, size_t(1500) * 1400 * 4);  // compressed hundreds of times
    Integer width = 0;
    EXPECT_EQ(Load(rPng, png, &width), 1);
    EXPECT_EQ(width, 1500);
  }
  ASSERT_TRUE(HaveTool("cjpeg")) << "libjpeg-turbo-progs is not installed";
  TempDir dir;
  const std::string flat = dir.File("flat.pgm");
  {
    std::string head = "P5\n2048 2048\n255\n";
    Bytes pgm(head.begin(), head.end());
    pgm.resize(pgm.size() + size_t(2048) * 2048, 128);
    io_test::WriteFile(flat, pgm);
  }
  for (const char* options : {"-grayscale", "-grayscale -progressive", "-grayscale -optimize"}) {
    SCOPED_TRACE(options);
    const std::string out = dir.File("flat.jpg");
    ASSERT_EQ(Shell(std::string("cjpeg ") + options + " " + flat + " > " + out), 0);
    const Bytes jpg = io_test::ReadFile(out);
    ASSERT_LT(jpg.size() * 40, size_t(2048) * 2048);
    Integer width = 0;
    EXPECT_EQ(Load(rJpeg, jpg, &width), 1);
    EXPECT_EQ(width, 2048);
  }
}

// A caller may lower or raise a reader's limit; the next load follows it.
TEST(ReaderLimits, CallersAdjustTheLimits) {
  const Bytes png = UniformRgbaPng(300, 200, false);
  const TIEReadLimit saved = IEReadLimits.PNG;
  IEReadLimits.PNG.MaxPixels = 300 * 200 - 1;
  EXPECT_EQ(Load(rPng, png), 0);
  IEReadLimits.PNG.MaxPixels = 300 * 200;
  IEReadLimits.PNG.MaxBytes = 300 * 200 * 3;  // the picture fits, its alpha channel does not
  EXPECT_EQ(Load(rPng, png), 0);
  IEReadLimits.PNG.MaxBytes = 300 * 200 * 4;
  EXPECT_EQ(Load(rPng, png), 1);
  IEReadLimits.PNG = saved;
}

// Whole-buffer inflation of data at deflate's largest ratio: the block grows
// by doubling up to what the data can expand to, so the result is exact even
// from the smallest first estimate.
TEST(ReaderLimits, WholeBufferInflationOfExtremeRatioData) {
  const Bytes zeros(size_t(24) << 20, 0);
  uLongf zlen = compressBound(static_cast<uLong>(zeros.size()));
  Bytes z(zlen);
  ASSERT_EQ(compress2(z.data(), &zlen, zeros.data(), static_cast<uLong>(zeros.size()), 9), Z_OK);
  z.resize(zlen);
  for (Integer estimate : {0, 1, 4096}) {
    SCOPED_TRACE(estimate);
    void* out = nullptr;
    Integer outSize = 0;
    ZDecompressBuffer(z.data(), static_cast<Integer>(z.size()), out, outSize, estimate);
    ASSERT_EQ(outSize, Integer(zeros.size()));
    EXPECT_EQ(std::memcmp(out, zeros.data(), zeros.size()), 0);
    std::free(out);
  }
}

}  // namespace test_reader_limits_tests
