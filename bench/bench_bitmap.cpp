// Cost of the picture container's storage against plain memory: allocating a
// 10000 x 10000 ie24RGB picture and writing every row through GetScanline,
// next to malloc + memset of the same bytes; and the row writes alone.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <limits>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"

namespace {

constexpr int kSide = 10000;

struct ThresholdScope {
  int64_t saved = IEMemoryThresholdOverride;
  explicit ThresholdScope(int64_t v) { IEMemoryThresholdOverride = v; }
  ~ThresholdScope() { IEMemoryThresholdOverride = saved; }
};

void WriteRows(TIEBitmap& b) {
  const Integer h = b.Height();
  const size_t len = static_cast<size_t>(b.RowLen());
  for (Integer y = 0; y < h; ++y) std::memset(b.GetScanline(y), y & 0xFF, len);
}

// Allocation plus a full write, picture in one memory block.
void BM_BitmapAllocateAndWriteRows(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  int64_t bytes = 0;
  for (auto _ : state) {
    TIEBitmap b;
    if (!b.Allocate(kSide, kSide, ie24RGB)) {
      state.SkipWithError("allocation failed");
      break;
    }
    WriteRows(b);
    benchmark::DoNotOptimize(b.GetScanline(kSide / 2));
    bytes = int64_t(b.RowLen()) * b.Height();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BitmapAllocateAndWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MallocAndMemset(benchmark::State& state) {
  const size_t bytes = size_t(IEBitmapRowLen(kSide, 24, 32)) * kSide;
  for (auto _ : state) {
    void* p = std::malloc(bytes);
    if (!p) {
      state.SkipWithError("allocation failed");
      break;
    }
    std::memset(p, 0x5A, bytes);
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
    std::free(p);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(BM_MallocAndMemset)->Unit(benchmark::kMillisecond)->UseRealTime();

// Row writes alone on storage that exists already: the price of GetScanline.
void BM_BitmapWriteRows(benchmark::State& state) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  TIEBitmap b;
  if (!b.Allocate(kSide, kSide, ie24RGB)) {
    state.SkipWithError("allocation failed");
    return;
  }
  for (auto _ : state) {
    WriteRows(b);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t(b.RowLen()) * b.Height());
}
BENCHMARK(BM_BitmapWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MemsetPreallocated(benchmark::State& state) {
  const size_t bytes = size_t(IEBitmapRowLen(kSide, 24, 32)) * kSide;
  void* p = std::malloc(bytes);
  std::memset(p, 0, bytes);
  for (auto _ : state) {
    std::memset(p, 0x5A, bytes);
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  std::free(p);
  state.SetBytesProcessed(state.iterations() * int64_t(bytes));
}
BENCHMARK(BM_MemsetPreallocated)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same rows written through plain pointer arithmetic on a malloc'd
// block: separates the row-by-row write pattern from the row lookup.
void BM_MemsetRowsPreallocated(benchmark::State& state) {
  const size_t rowLen = size_t(IEBitmapRowLen(kSide, 24, 32));
  auto* p = static_cast<Byte*>(std::malloc(rowLen * kSide));
  std::memset(p, 0, rowLen * kSide);
  for (auto _ : state) {
    for (int y = 0; y < kSide; ++y) std::memset(p + rowLen * (kSide - 1 - y), y & 0xFF, rowLen);
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  std::free(p);
  state.SetBytesProcessed(state.iterations() * int64_t(rowLen) * kSide);
}
BENCHMARK(BM_MemsetRowsPreallocated)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same picture in a temporary file: what a picture beyond the memory
// threshold costs.
void BM_BitmapFileAllocateAndWriteRows(benchmark::State& state) {
  ThresholdScope t(0);
  int64_t bytes = 0;
  for (auto _ : state) {
    TIEBitmap b;
    if (!b.Allocate(kSide, kSide, ie24RGB) || b.Location() != ieFile) {
      state.SkipWithError("file allocation failed");
      break;
    }
    b.SetAccess(ieaWrite);
    WriteRows(b);
    b.ReleaseMappedRows();
    bytes = int64_t(b.RowLen()) * b.Height();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_BitmapFileAllocateAndWriteRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
