// ie24RGB -> ie8g on a 24-megapixel picture, next to ImageMagick's
// `convert -colorspace gray` on the same picture in the same run. ImageMagick
// must read its input file, so it is timed twice: reading alone (`null:`
// output) and reading plus the grey conversion; the difference is its
// conversion. Our figure is the conversion alone, picture already in memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"

namespace {

constexpr Integer kWidth = 6000, kHeight = 4000;  // 24 megapixels

struct ThresholdScope {
  int64_t saved = IEMemoryThresholdOverride;
  explicit ThresholdScope(int64_t v) { IEMemoryThresholdOverride = v; }
  ~ThresholdScope() { IEMemoryThresholdOverride = saved; }
};

// A photo-like picture: smooth gradients with some noise, so that no
// conversion can profit from flat areas.
void Paint(TIEBitmap& b) {
  uint32_t seed = 12345;
  for (Integer y = 0; y < b.Height(); ++y) {
    Byte* p = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.Width(); ++x, p += 3) {
      seed = seed * 1664525u + 1013904223u;
      Byte n = Byte(seed >> 28);
      p[0] = Byte((x >> 4) + n);
      p[1] = Byte((y >> 4) + n);
      p[2] = Byte(((x + y) >> 5) + n);
    }
  }
}

TIEBitmap& Picture() {
  static const std::unique_ptr<TIEBitmap> picture = [] {
    ThresholdScope t(std::numeric_limits<int64_t>::max());
    auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
    Paint(*b);
    return b;
  }();
  return *picture;
}

void BM_Convert24RGBTo8g(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  TIEBitmap& src = Picture();
  TIEBitmap dst(kWidth, kHeight, ie8g);
  if (src.IsEmpty() || dst.IsEmpty()) {
    state.SkipWithError("allocation failed");
    return;
  }
  for (auto _ : state) {
    dst.CopyAndConvertFormat(&src);
    benchmark::DoNotOptimize(dst.GetScanline(kHeight / 2));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_Convert24RGBTo8g)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The same picture as a binary PPM in a temporary file, written once.
const std::string& PpmFile() {
  static const std::string path = [] {
    char name[] = "/tmp/gt-bench-convert-XXXXXX.ppm";
    int fd = ::mkstemps(name, 4);
    if (fd < 0) return std::string();
    FILE* f = ::fdopen(fd, "wb");
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    TIEBitmap& b = Picture();
    std::string row(size_t(kWidth) * 3, '\0');
    for (Integer y = 0; y < kHeight; ++y) {
      const Byte* p = static_cast<const Byte*>(b.GetScanline(y));
      for (Integer x = 0; x < kWidth; ++x) {
        row[3 * x] = char(p[3 * x + 2]);
        row[3 * x + 1] = char(p[3 * x + 1]);
        row[3 * x + 2] = char(p[3 * x]);
      }
      std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
    std::atexit([] { ::unlink(PpmFile().c_str()); });
    return std::string(name);
  }();
  return path;
}

// Runs convert with the given operators on the PPM, output discarded.
void RunConvert(benchmark::State& state, const char* ops) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick convert is not installed");
    return;
  }
  const std::string& in = PpmFile();
  if (in.empty()) {
    state.SkipWithError("cannot write the input picture");
    return;
  }
  const std::string cmd = "convert " + in + " " + ops + " null: 2>/dev/null";
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError(("failed: " + cmd).c_str());
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void BM_ImageMagickReadOnly(benchmark::State& state) { RunConvert(state, ""); }
void BM_ImageMagickReadAndGray(benchmark::State& state) { RunConvert(state, "-colorspace gray"); }
BENCHMARK(BM_ImageMagickReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ImageMagickReadAndGray)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
