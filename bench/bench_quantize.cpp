// Colour reduction and black-and-white conversion of a 24-megapixel photo-like
// ie24RGB picture (6000 x 4000): a 256-colour palette by median cut and by the
// neural net (palette plus an index for every pixel), a 50% threshold and the
// ordered dither; next to ImageMagick doing the same on the same picture in
// the same run ("-colors 256 +dither", "-threshold 50%"). ImageMagick's times
// include reading the PPM file and writing its result; "convert in out" alone
// is measured as well so that its conversion time can be told apart. Our
// kernels run on the picture in memory; the threshold and dither spread their
// rows over the processors, the quantizers run on one thread.
// Quality counters: mean squared error per channel against the original, and
// the share of pixels on which the two thresholds agree.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/color/iequantizer.h"

namespace {

constexpr Integer kWidth = 6000, kHeight = 4000;

std::string WorkDir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/gt-bench-quant-XXXXXX";
    const char* d = ::mkdtemp(tmpl);
    return std::string(d ? d : "/tmp");
  }();
  return dir;
}

// A photo-like picture made by ImageMagick once per run (a fractal plasma,
// softened, enlarged and given film-like noise; fixed seed), read into an
// ie24RGB picture. Both sides work on exactly these pixels.
const std::string& PhotoFile() {
  static std::string path = [] {
    std::string p = WorkDir() + "/photo.ppm";
    const std::string cmd = "convert -size 1500x1000 -seed 7 plasma:fractal -blur 0x1 -resize " +
                            std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                            "\\! -attenuate 0.3 +noise Gaussian -depth 8 " + p;
    if (std::system(cmd.c_str()) != 0) {
      std::fprintf(stderr, "cannot make the test picture: %s\n", cmd.c_str());
      std::exit(1);
    }
    return p;
  }();
  return path;
}

TIEBitmap& Photo() {
  static TIEBitmap* pic = [] {
    IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
    auto* b = new TIEBitmap(kWidth, kHeight, ie24RGB);
    std::ifstream f(PhotoFile(), std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    f >> magic >> w >> h >> maxval;
    f.get();
    if (magic != "P6" || w != kWidth || h != kHeight || maxval != 255) {
      std::fprintf(stderr, "unexpected test picture\n");
      std::exit(1);
    }
    std::vector<char> row(size_t(kWidth) * 3);
    for (Integer y = 0; y < kHeight; ++y) {
      f.read(row.data(), std::streamsize(row.size()));
      Byte* d = static_cast<Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < kWidth; ++x) {
        d[3 * x] = Byte(row[3 * x + 2]);
        d[3 * x + 1] = Byte(row[3 * x + 1]);
        d[3 * x + 2] = Byte(row[3 * x]);
      }
    }
    return b;
  }();
  return *pic;
}

double MseOfIndexes(const std::vector<Byte>& Indexes, const TRGB* Map) {
  TIEBitmap& b = Photo();
  double sum = 0;
  for (Integer y = 0; y < kHeight; ++y) {
    const TRGB* s = static_cast<const TRGB*>(b.GetScanline(y));
    const Byte* i = Indexes.data() + size_t(y) * kWidth;
    for (Integer x = 0; x < kWidth; ++x) {
      const TRGB& p = Map[i[x]];
      const double dr = s[x].r - p.r, dg = s[x].g - p.g, db = s[x].b - p.b;
      sum += dr * dr + dg * dg + db * db;
    }
  }
  return sum / (3.0 * kWidth * kHeight);
}

// MSE of a P6 file against the picture.
double MseOfFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  f >> magic >> w >> h >> maxval;
  f.get();
  if (magic != "P6" || w != kWidth || h != kHeight || maxval != 255) return -1;
  std::vector<unsigned char> row(size_t(w) * 3);
  TIEBitmap& b = Photo();
  double sum = 0;
  for (Integer y = 0; y < h; ++y) {
    f.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
    const Byte* s = static_cast<const Byte*>(b.GetScanline(y));
    for (Integer x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const double d = double(row[3 * x + c]) - double(s[3 * x + 2 - c]);
        sum += d * d;
      }
  }
  return sum / (3.0 * kWidth * kHeight);
}

void Quantize(benchmark::State& state, Integer Method, Integer Quality = -1) {
  TIEBitmap& b = Photo();
  const Integer savedMethod = IEQuantizerMethod, savedQuality = IEQuantizerQuality;
  IEQuantizerMethod = Method;
  IEQuantizerQuality = Quality;
  std::vector<Byte> indexes(size_t(kWidth) * kHeight);
  std::vector<TRGB> map(256);
  for (auto _ : state) {
    TIEQuantizer q(&b, map.data(), 256);
    for (Integer y = 0; y < kHeight; ++y)
      q.RGBIndexRow(static_cast<const TRGB*>(b.GetScanline(y)), indexes.data() + size_t(y) * kWidth, kWidth);
    benchmark::DoNotOptimize(indexes.data());
  }
  IEQuantizerMethod = savedMethod;
  IEQuantizerQuality = savedQuality;
  state.counters["mse"] = MseOfIndexes(indexes, map.data());
  state.counters["Mpx/s"] = benchmark::Counter(double(kWidth) * kHeight * state.iterations() / 1e6,
                                               benchmark::Counter::kIsRate);
}

void BM_MedianCut256(benchmark::State& state) { Quantize(state, 1); }
BENCHMARK(BM_MedianCut256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_NeuQuant256(benchmark::State& state) { Quantize(state, 0); }
BENCHMARK(BM_NeuQuant256)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The automatic quality samples a picture this size sparsely (factor 30);
// quality 90 (factor 3) shows the price of a palette closer to ImageMagick's.
void BM_NeuQuant256_Quality90(benchmark::State& state) { Quantize(state, 0, 90); }
BENCHMARK(BM_NeuQuant256_Quality90)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

void BM_Threshold50(benchmark::State& state) {
  TIEBitmap& b = Photo();
  TIEBitmap out(kWidth, kHeight, ie1g);
  for (auto _ : state) {
    // ImageMagick's 50% whitens levels above 127.5, that is from 128.
    IEThresholdToBitmap(&b, &out, 128);
    benchmark::DoNotOptimize(out.GetScanline(0));
  }
  state.counters["Mpx/s"] = benchmark::Counter(double(kWidth) * kHeight * state.iterations() / 1e6,
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Threshold50)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Dither(benchmark::State& state) {
  TIEBitmap& b = Photo();
  TIEBitmap work;
  for (auto _ : state) {
    state.PauseTiming();
    work.Assign(&b);
    state.ResumeTiming();
    std::atomic<bool> abort{false};
    TIEProgressRec none(abort);
    IEDitherTo1Bit(&work, none);
    benchmark::DoNotOptimize(work.GetScanline(0));
  }
  state.counters["Mpx/s"] = benchmark::Counter(double(kWidth) * kHeight * state.iterations() / 1e6,
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Dither)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Share of pixels on which a PBM file (1 = black) and our 50% threshold agree.
double ThresholdAgreement(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0;
  f >> magic >> w >> h;
  f.get();
  if (magic != "P4" || w != kWidth || h != kHeight) return -1;
  TIEBitmap ours(kWidth, kHeight, ie1g);
  IEThresholdToBitmap(&Photo(), &ours, 128);
  std::vector<unsigned char> row(size_t(w + 7) / 8);
  int64_t agree = 0;
  for (Integer y = 0; y < h; ++y) {
    f.read(reinterpret_cast<char*>(row.data()), std::streamsize(row.size()));
    const Byte* o = static_cast<const Byte*>(ours.GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      const bool black = row[x >> 3] & (0x80 >> (x & 7));
      const bool white = o[x >> 3] & (0x80 >> (x & 7));
      agree += black != white;
    }
  }
  return 100.0 * double(agree) / (double(w) * h);
}

enum TCheck { ckNone, ckMse, ckThreshold };

// Runs convert with Args between the input and output file names.
void ImageMagick(benchmark::State& state, const std::string& Args, const std::string& OutName, TCheck Check) {
  if (std::system("convert -version >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick (convert) is not installed");
    return;
  }
  const std::string& in = PhotoFile();
  const std::string out = WorkDir() + "/" + OutName;
  const std::string cmd = "convert " + in + " " + Args + " " + out;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = std::system(cmd.c_str());
    const auto t1 = std::chrono::steady_clock::now();
    if (rc != 0) {
      state.SkipWithError(("failed: " + cmd).c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  if (Check == ckMse) state.counters["mse"] = MseOfFile(out);
  if (Check == ckThreshold) state.counters["agree%"] = ThresholdAgreement(out);
  std::remove(out.c_str());
}

void BM_ImageMagick_ReadWriteOnly(benchmark::State& state) { ImageMagick(state, "", "copy.ppm", ckNone); }
BENCHMARK(BM_ImageMagick_ReadWriteOnly)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImageMagick_Colors256(benchmark::State& state) {
  ImageMagick(state, "+dither -colors 256", "colors.ppm", ckMse);
}
BENCHMARK(BM_ImageMagick_Colors256)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_ImageMagick_Threshold50(benchmark::State& state) {
  ImageMagick(state, "-threshold 50%", "threshold.pbm", ckThreshold);
}
BENCHMARK(BM_ImageMagick_Threshold50)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// ImageMagick's nearest counterpart of the ordered dither: its own 8x8 ordered map.
void BM_ImageMagick_OrderedDither(benchmark::State& state) {
  ImageMagick(state, "-colorspace gray -ordered-dither o8x8", "dither.pbm", ckNone);
}
BENCHMARK(BM_ImageMagick_OrderedDither)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::system(("rm -rf '" + WorkDir() + "'").c_str());
  return 0;
}
