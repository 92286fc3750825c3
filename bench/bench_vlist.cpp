// The thumbnail cache's store: 10,000 thumbnails of 160 x 120 ie24RGB put
// into a virtual image list and read back, on disk and in memory. Reports
// the store's size and the time per thumbnail (store, and read back through
// a borrowed bitmap).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/kernels/ievirtualimagelist.h"

namespace {

constexpr int kCount = 10000;
constexpr Integer kWidth = 160, kHeight = 120;

std::vector<std::unique_ptr<TIEBitmap>> MakeThumbnails() {
  // A few distinct pictures are enough: the store copies bytes whatever
  // they hold.
  std::vector<std::unique_ptr<TIEBitmap>> v;
  for (int s = 0; s < 16; ++s) {
    auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
    for (Integer y = 0; y < kHeight; ++y) {
      auto* row = static_cast<Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < b->RowLen(); ++x) row[x] = static_cast<Byte>(x + y * 3 + s * 17);
    }
    v.push_back(std::move(b));
  }
  return v;
}

void BM_VirtualListStoreAndReadBack(benchmark::State& state) {
  const bool useDisk = state.range(0) != 0;
  auto thumbs = MakeThumbnails();
  int64_t storeSize = 0, checksum = 0;
  for (auto _ : state) {
    TIEVirtualImageList list(W("ICACHE"), useDisk);
    std::vector<TIEVirtualImageInfo*> imgs(kCount);
    for (int i = 0; i < kCount; ++i) {
      imgs[i] = list.AddBitmap(thumbs[i % thumbs.size()].get());
      if (!imgs[i]) {
        state.SkipWithError("AddBitmap failed");
        return;
      }
    }
    for (int i = 0; i < kCount; ++i) {
      TIEBitmap* b = list.GetBitmap(imgs[i]);
      if (!b) {
        state.SkipWithError("GetBitmap failed");
        return;
      }
      checksum += static_cast<Byte*>(b->GetScanline(kHeight / 2))[i % 480];
      list.ReleaseBitmap(b, false);
    }
    storeSize = list.StoreSize();
  }
  benchmark::DoNotOptimize(checksum);
  state.counters["store_MB"] = double(storeSize) / 1048576.0;
  state.counters["thumb_bytes"] = double(int64_t(IEBitmapRowLen(kWidth, 24, 32)) * kHeight);
  // Seconds per thumbnail (store plus read back), shown in the time unit.
  state.counters["per_thumbnail"] =
      benchmark::Counter(double(kCount), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VirtualListStoreAndReadBack)->Arg(1)->Arg(0)->ArgName("disk")->Unit(benchmark::kMillisecond)->UseRealTime();

// Reading back alone, through the bits address the grid draws from.
void BM_VirtualListReadBits(benchmark::State& state) {
  const bool useDisk = state.range(0) != 0;
  auto thumbs = MakeThumbnails();
  TIEVirtualImageList list(W("ICACHE"), useDisk);
  std::vector<TIEVirtualImageInfo*> imgs(kCount);
  for (int i = 0; i < kCount; ++i) imgs[i] = list.AddBitmap(thumbs[i % thumbs.size()].get());
  int64_t checksum = 0;
  for (auto _ : state) {
    for (int i = 0; i < kCount; ++i) {
      auto* p = static_cast<const Byte*>(list.GetImageBits(imgs[i]));
      if (!p) {
        state.SkipWithError("GetImageBits failed");
        return;
      }
      checksum += p[i % 57600];
    }
  }
  benchmark::DoNotOptimize(checksum);
  state.counters["store_MB"] = double(list.StoreSize()) / 1048576.0;
  state.counters["per_thumbnail"] =
      benchmark::Counter(double(kCount), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_VirtualListReadBits)->Arg(1)->Arg(0)->ArgName("disk")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
