// The processor's operations on a 24-megapixel ie24RGB picture: Gaussian
// blur of radius 5, the 3x3 sharpen ("High Pass 1"), contrast and HSL, a
// 30-degree antialiased rotation and a resample to 50% with Lanczos3.
// --write-ppm=FILE writes the picture for ImageMagick to work on in the same
// run (for example `convert FILE -gaussian-blur 0x5 out.ppm`).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/proc/ziduzuvproc.h"

namespace {

constexpr Integer kWidth = 6000, kHeight = 4000;  // 24 megapixels

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

// A fresh copy of the picture in memory for each run.
std::unique_ptr<TIEBitmap> Fresh() {
  static const std::unique_ptr<TIEBitmap> picture = [] {
    auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
    Paint(*b);
    return b;
  }();
  auto b = std::make_unique<TIEBitmap>();
  b->Assign(picture.get());
  return b;
}

template <typename F>
void Run(benchmark::State& State, F Operation) {
  int64_t saved = IEMemoryThresholdOverride;
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  IEProcInitialize();
  for (auto _ : State) {
    State.PauseTiming();
    auto b = Fresh();
    State.ResumeTiming();
    Operation(b.get());
    benchmark::DoNotOptimize(b->GetScanline(0));
  }
  IEMemoryThresholdOverride = saved;
}

void BM_GaussianBlur5(benchmark::State& s) { Run(s, [](TIEBitmap* b) { IEGaussianBlur(b, nullptr, nullptr, 5); }); }
void BM_Sharpen3x3(benchmark::State& s) {
  Run(s, [](TIEBitmap* b) { IEApplyFilter3x3(b, *IEGetPredefinedFilter(4), nullptr, nullptr, 0, 0, kWidth, kHeight); });
}
void BM_ContrastAndHSL(benchmark::State& s) {
  Run(s, [](TIEBitmap* b) {
    IEAdjustContrast(b, 128, 128, 128, 20, nullptr, nullptr, 0, 0, kWidth, kHeight);
    IEAdjustHSL(b, 30, 10, 5, nullptr, nullptr, 0, 0, kWidth, kHeight);
  });
}
void BM_Rotate30Antialiased(benchmark::State& s) {
  Run(s, [](TIEBitmap* b) { TZiduzUvProc::CreateFromBitmap(b)->Rotate(30, true, 1, 0); });
}
void BM_ResampleHalfLanczos3(benchmark::State& s) {
  Run(s, [](TIEBitmap* b) { TZiduzUvProc::CreateFromBitmap(b)->Resample(kWidth / 2, kHeight / 2, rfLanczos3); });
}

BENCHMARK(BM_GaussianBlur5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sharpen3x3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContrastAndHSL)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate30Antialiased)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResampleHalfLanczos3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--write-ppm=", 12) == 0) {
      auto b = Fresh();
      FILE* f = std::fopen(argv[i] + 12, "wb");
      if (!f) return 1;
      std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
      for (Integer y = 0; y < kHeight; ++y) {
        const Byte* p = static_cast<const Byte*>(b->GetScanline(y));
        for (Integer x = 0; x < kWidth; ++x) {
          const Byte rgb[3] = {p[3 * x + 2], p[3 * x + 1], p[3 * x]};
          std::fwrite(rgb, 1, 3, f);
        }
      }
      return std::fclose(f) == 0 ? 0 : 1;
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  return 0;
}
