// Resampling speed on a 24-megapixel photo-like picture: reduction to 25% and
// enlargement to 200% with the filters the viewer and the resize dialog use,
// on one thread and on all. bench/compare_resample.sh runs the same
// operations with libvips and ImageMagick on the same picture.
//
//   bench_resample [--write-picture=FILE.ppm] [benchmark options]
//
// --write-picture writes the picture as a binary PPM and exits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresample.h"

namespace {

constexpr Integer kWidth = 6000;
constexpr Integer kHeight = 4000;

uint32_t Hash(uint32_t x, uint32_t y) {
  uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h;
}

// Smooth light, large soft shapes, fine texture, thin sharp lines and
// sensor-like noise: the mix of flat areas, gradients and edges a photo has.
std::unique_ptr<TIEBitmap> MakePhoto() {
  auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
  std::vector<double> wx(kWidth), wy(kHeight);
  for (Integer x = 0; x < kWidth; ++x) wx[size_t(x)] = std::sin(x * 0.0021) * 0.5 + std::sin(x * 0.031) * 0.08;
  for (Integer y = 0; y < kHeight; ++y) wy[size_t(y)] = std::cos(y * 0.0017) * 0.5 + std::sin(y * 0.027) * 0.08;
  struct Disc {
    double x, y, r;
    Byte b, g, r8;
  };
  const Disc discs[] = {{1500, 1200, 700, 40, 90, 200}, {4200, 2500, 1100, 180, 140, 60},
                        {3000, 600, 350, 220, 220, 230}, {900, 3300, 500, 30, 160, 70}};
  for (Integer y = 0; y < kHeight; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kWidth; ++x, row += 3) {
      const double light = 0.55 + 0.35 * (wx[size_t(x)] + wy[size_t(y)]) / 2 + 0.25 * x / kWidth;
      double bl = 70 * light + 30, gr = 120 * light + 20, rd = 160 * light + 10;
      for (const Disc& d : discs) {
        const double dist = std::hypot(x - d.x, y - d.y);
        if (dist < d.r + 4) {
          const double a = std::min(1.0, std::max(0.0, (d.r + 4 - dist) / 8));  // soft rim
          bl = bl * (1 - a) + d.b * light * a;
          gr = gr * (1 - a) + d.g * light * a;
          rd = rd * (1 - a) + d.r8 * light * a;
        }
      }
      const uint32_t h = Hash(uint32_t(x), uint32_t(y));
      const double grain = double(h & 15) - 7.5;
      const bool line = (x % 211 == 0) || ((x + y) % 389 == 0);
      auto put = [&](double v) { return Byte(line ? 250 : std::min(255.0, std::max(0.0, v + grain))); };
      row[0] = put(bl);
      row[1] = put(gr);
      row[2] = put(rd);
    }
  }
  return b;
}

TIEBitmap* Photo() {
  static std::unique_ptr<TIEBitmap> photo = MakePhoto();
  return photo.get();
}

bool WritePpm(const std::string& Path) {
  TIEBitmap* b = Photo();
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", b->Width(), b->Height());
  std::vector<Byte> rgb(size_t(b->Width()) * 3);
  bool ok = true;
  for (Integer y = 0; y < b->Height() && ok; ++y) {
    const Byte* s = static_cast<const Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < b->Width(); ++x) {
      rgb[size_t(x) * 3 + 0] = s[x * 3 + 2];
      rgb[size_t(x) * 3 + 1] = s[x * 3 + 1];
      rgb[size_t(x) * 3 + 2] = s[x * 3 + 0];
    }
    ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
  }
  return std::fclose(f) == 0 && ok;
}

void Resample(benchmark::State& State, TResampleFilter Filter, double Scale, Integer Threads) {
  TIEBitmap* src = Photo();
  TIEBitmap dst(Integer(std::lround(src->Width() * Scale)), Integer(std::lround(src->Height() * Scale)), ie24RGB);
  const Integer saved = IEParallelThreads();
  IESetParallelThreads(Threads);
  for (auto _ : State) {
    IEResample(src, &dst, Filter);
    benchmark::DoNotOptimize(dst.GetScanline(0));
    benchmark::ClobberMemory();
  }
  IESetParallelThreads(saved);
  State.counters["Mpx/s"] =
      benchmark::Counter(double(src->Width()) * src->Height() / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const char* flag = "--write-picture=";
    if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) return WritePpm(argv[i] + std::strlen(flag)) ? 0 : 1;
    args.push_back(argv[i]);
  }
  struct FilterName {
    TResampleFilter Filter;
    const char* Name;
  };
  const FilterName filters[] = {
      {rfLanczos3, "Lanczos3"}, {rfBicubic, "Bicubic"}, {rfTriangle, "Triangle"}, {rfFastLinear, "FastLinear"}};
  const struct {
    double Scale;
    const char* Name;
  } sizes[] = {{0.25, "reduce25"}, {2.0, "enlarge200"}};
  for (const auto& f : filters)
    for (const auto& s : sizes)
      for (Integer threads : {1, 0}) {
        const std::string name = std::string("Resample/") + f.Name + "/" + s.Name + (threads == 1 ? "/1thread" : "/allthreads");
        benchmark::RegisterBenchmark(name.c_str(), Resample, f.Filter, s.Scale, threads)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0);
      }
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
