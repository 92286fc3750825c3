// The row forms of blending and merging over a full-HD picture, one row of
// 1920 pixels at a time: the budget is 10 ms per picture on one core.
#include <benchmark/benchmark.h>

#include <vector>

#include "controls/gfxblend.h"

namespace {

constexpr int W = 1920, H = 1080;

std::vector<TColor32> Pixels(uint32_t Seed) {
  std::vector<TColor32> V(static_cast<size_t>(W) * H);
  for (auto& C : V) {
    Seed = Seed * 1664525u + 1013904223u;
    C = Seed;
  }
  return V;
}

void RunRows(benchmark::State& State, TBlendRowProc Row) {
  const auto Src = Pixels(1);
  const auto Back = Pixels(2);
  auto Dst = Back;
  for (auto _ : State) {
    for (int Y = 0; Y < H; ++Y) Row(Src.data() + static_cast<size_t>(Y) * W, Dst.data() + static_cast<size_t>(Y) * W, W);
    benchmark::DoNotOptimize(Dst.data());
    State.PauseTiming();
    Dst = Back;
    State.ResumeTiming();
  }
}

void BM_BlendRow(benchmark::State& State) { RunRows(State, BlendRow); }
void BM_MergeRow(benchmark::State& State) { RunRows(State, MergeRow); }
BENCHMARK(BM_BlendRow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MergeRow)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
