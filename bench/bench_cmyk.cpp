// Milliseconds per frame of drawing a 2000 x 2000 ieCMYK picture into an
// ie24RGB back buffer, 1:1 and enlarged twice, with the global CMYK colour
// profile in use and with the formulas. The view redraws on every scroll,
// so the profile path has to stay interactive. One thread, tables kept
// between frames as the view keeps them.
//
//   bench_cmyk [benchmark options]
//
// Each row reports "ms_per_frame" (the iteration time); "profile:none" rows
// say the system has no CMYK profile and the formulas ran instead.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/render/ierender.h"

namespace {

constexpr Integer kSize = 2000;

// Smooth inks with a little noise: every row differs, and most pixels have
// a colour of their own, as in a scanned or photographed picture.
std::unique_ptr<TIEBitmap> MakePicture() {
  auto b = std::make_unique<TIEBitmap>(kSize, kSize, ieCMYK);
  uint32_t h = 0x9e3779b9u;
  for (Integer y = 0; y < kSize; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kSize; ++x, row += 4) {
      h = h * 1664525u + 1013904223u;
      const Byte noise = Byte(h >> 27);
      row[0] = Byte(x * 255 / kSize + noise);
      row[1] = Byte(y * 255 / kSize - noise);
      row[2] = Byte(((x + y) * 255 / (2 * kSize)) ^ noise);
      row[3] = Byte(255 - ((x ^ y) & 0x7f) - noise);
    }
  }
  return b;
}

TIEBitmap* Picture() {
  static std::unique_ptr<TIEBitmap> picture = MakePicture();
  return picture.get();
}

void RenderCMYK(benchmark::State& State, Integer Scale, bool UseProfile) {
  TIEBitmap* src = Picture();
  const Integer side = kSize * Scale;
  TIEBitmap back(side, side, ie24RGB);
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xmap, ymap;
  const bool savedUse = IEUseCMYKProfile;
  const Integer savedThreads = IEParallelThreads();
  IEUseCMYKProfile = UseProfile;
  IESetParallelThreads(1);
  if (UseProfile && !IEInitCMYKProfiles()) State.SetLabel("profile:none");
  // The first frame builds whatever the profile path keeps (outside timing).
  RenderToTIEBitmapEx(*src, &back, rows, xmap, ymap, nullptr, 0, 0, side, side, 0, 0, kSize, kSize, false, true, 255,
                      rfNone, false, 0);
  for (auto _ : State) {
    RenderToTIEBitmapEx(*src, &back, rows, xmap, ymap, nullptr, 0, 0, side, side, 0, 0, kSize, kSize, false, true,
                        255, rfNone, false, 0);
    benchmark::DoNotOptimize(back.GetScanline(side / 2));
    benchmark::ClobberMemory();
  }
  IESetParallelThreads(savedThreads);
  IEUseCMYKProfile = savedUse;
}

}  // namespace

int main(int argc, char** argv) {
  for (Integer scale : {1, 2})
    for (bool profile : {true, false}) {
      const std::string name = "RenderCMYK/scale:" + std::to_string(scale) + "/profile:" + (profile ? "on" : "off");
      benchmark::RegisterBenchmark(name.c_str(), RenderCMYK, scale, profile)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(1.0);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
