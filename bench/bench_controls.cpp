// The control set's gradient painter on a full-HD area, one direction per
// case: the panels and status bars repaint through it at every resize.
#include <benchmark/benchmark.h>

#include "controls/fccommon.h"

namespace {

void BM_PaintGradient(benchmark::State& State) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(1920, 1080);
  const auto dir = static_cast<TGradientDirection>(State.range(0));
  for (auto _ : State) PaintGradient(bmp.Canvas(), TRect(0, 0, 1920, 1080), dir, 0x2040E0, 0xE08020, 1);
}
BENCHMARK(BM_PaintGradient)->DenseRange(gdDiagonalUp, gdBigSquareBox)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
