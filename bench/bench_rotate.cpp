// Turning a 24-megapixel ie24RGB picture: by 30 degrees with the three
// anti-aliased shears, by 30 degrees with nearest-pixel sampling into a
// second picture, and a quarter turn. Each runs on one thread and on all of
// them. bench/compare_rotate.sh times vips and ImageMagick on the same
// picture (written by --write-ppm=FILE) in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ierotate.h"

namespace {

constexpr Integer kWidth = 6000, kHeight = 4000;  // 24 megapixels

struct ThresholdScope {
  int64_t saved = IEMemoryThresholdOverride;
  explicit ThresholdScope(int64_t v) { IEMemoryThresholdOverride = v; }
  ~ThresholdScope() { IEMemoryThresholdOverride = saved; }
};

// A photo-like picture: gradients with some noise.
void Paint(TIEBitmap& b) {
  uint32_t seed = 12345;
  for (Integer y = 0; y < b.Height(); ++y) {
    Byte* p = static_cast<Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.Width(); ++x, p += 3) {
      seed = seed * 1664525u + 1013904223u;
      const Byte n = Byte(seed >> 28);
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

// Threads: range(0) = 1 for one thread, 0 for every processor.
struct ThreadScope {
  explicit ThreadScope(Integer n) { IESetParallelThreads(n); }
  ~ThreadScope() { IESetParallelThreads(0); }
};

void BM_Rotate30Antialiased(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  ThreadScope threads(Integer(state.range(0)));
  TIEBitmap& src = Picture();
  TIEBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(&src);
    state.ResumeTiming();
    if (!IERotateBitmap(&work, true, nullptr, nullptr, TRGB{0, 0, 0}, 30)) {
      state.SkipWithError("rotation failed");
      return;
    }
    benchmark::DoNotOptimize(work.GetScanline(work.Height() / 2));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_Rotate30Antialiased)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_Rotate30Nearest(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  ThreadScope threads(Integer(state.range(0)));
  TIEBitmap& src = Picture();
  TIEBitmap dst;
  for (auto _ : state) {
    if (!IERotateIntoBitmap(&src, &dst, 0, 30, nullptr, nullptr)) {
      state.SkipWithError("rotation failed");
      return;
    }
    benchmark::DoNotOptimize(dst.GetScanline(dst.Height() / 2));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_Rotate30Nearest)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_QuarterTurn(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  ThreadScope threads(Integer(state.range(0)));
  TIEBitmap& src = Picture();
  TIEBitmap dst;
  for (auto _ : state) {
    if (!IERotate90Clockwise24(&src, &dst)) {
      state.SkipWithError("quarter turn failed");
      return;
    }
    benchmark::DoNotOptimize(dst.GetScanline(dst.Height() / 2));
  }
  state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_QuarterTurn)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// The benchmark picture as a binary PPM, for the peers.
bool WritePpm(const std::string& Path) {
  TIEBitmap& b = Picture();
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", b.Width(), b.Height());
  std::vector<Byte> row(size_t(b.Width()) * 3);
  bool ok = true;
  for (Integer y = 0; y < b.Height() && ok; ++y) {
    const Byte* s = static_cast<const Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < b.Width(); ++x) {
      row[3 * x] = s[3 * x + 2];
      row[3 * x + 1] = s[3 * x + 1];
      row[3 * x + 2] = s[3 * x];
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string flag = "--write-ppm=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], flag.c_str(), flag.size()) == 0) return WritePpm(argv[i] + flag.size()) ? 0 : 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
