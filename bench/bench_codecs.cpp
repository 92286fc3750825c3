// JPEG and PNG coding of a 24-megapixel picture next to the peers on the same
// files in the same run: djpeg and cjpeg (the library's own tools), vips copy
// and ImageMagick's convert. Our figures decode from and encode to memory;
// the peers' are whole process runs (start-up, file reading, writing their
// output to /dev/null or a memory-backed folder), which is what a user waits for.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "imaging/core/iebitmap.h"
#include "imaging/core/ieglobals.h"
#include "imaging/core/iestreams.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/iepng.h"

namespace {

constexpr Integer kWidth = 6000, kHeight = 4000;

struct ThresholdScope {
  int64_t saved = IEMemoryThresholdOverride;
  explicit ThresholdScope(int64_t v) { IEMemoryThresholdOverride = v; }
  ~ThresholdScope() { IEMemoryThresholdOverride = saved; }
};

std::string Folder() {
  static const std::string dir = [] {
    std::string d = std::getenv("BENCH_DIR") ? std::getenv("BENCH_DIR") : "/dev/shm";
    return d + "/gt-bench-codecs";
  }();
  return dir;
}

// Smooth gradients with mild noise: a photograph's statistics, roughly.
TIEBitmap& Picture() {
  static const std::unique_ptr<TIEBitmap> picture = [] {
    ThresholdScope t(std::numeric_limits<int64_t>::max());
    auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie24RGB);
    uint32_t seed = 99;
    for (Integer y = 0; y < kHeight; ++y) {
      Byte* p = static_cast<Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < kWidth; ++x, p += 3) {
        seed = seed * 1664525u + 1013904223u;
        Byte n = Byte(seed >> 29);
        p[0] = Byte((x >> 5) + (y >> 6) + n);
        p[1] = Byte((y >> 4) + n);
        p[2] = Byte(((x + y) >> 5) + ((x / 300 + y / 200) & 1) * 40 + n);
      }
    }
    return b;
  }();
  return *picture;
}

TMemoryStream& Encoded(bool Png) {
  static TMemoryStream jpeg, png;
  TMemoryStream& s = Png ? png : jpeg;
  if (s.Size() == 0) {
    ThresholdScope t(std::numeric_limits<int64_t>::max());
    TIOParamsVals p(nullptr);
    p.JPEG_QUALITY = 85;
    p.JPEG_COLORSPACE = 2;
    p.SAMPLESPERPIXEL = 3;
    p.BITSPERSAMPLE = 8;
    p.PNG_COMPRESSION = 6;
    p.PNG_FILTER = 0;  // the default: no filter (vips is told the same)
    std::atomic<bool> a{false};
    TIEProgressRec rec(a);
    if (Png)
      IEWritePNG(&s, &Picture(), p, rec, nullptr);
    else
      IEWriteJPEG(&s, &Picture(), p, rec);
    std::system(("mkdir -p " + Folder()).c_str());
    TIEWideFileStream f(Utf8ToWide(Folder() + (Png ? "/pic.png" : "/pic.jpg")), fmCreate);
    f.WriteBuffer(s.Memory(), s.Size());
  }
  return s;
}

void EnsurePPM() {
  static bool done = [] {
    Encoded(false);
    return std::system(("djpeg -ppm -outfile " + Folder() + "/pic.ppm " + Folder() + "/pic.jpg").c_str()) == 0;
  }();
  (void)done;
}

void Decode(benchmark::State& state, bool Png, Byte Scale) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  TMemoryStream& s = Encoded(Png);
  TIEBitmap b;
  for (auto _ : state) {
    s.SetPosition(0);
    TIOParamsVals p(nullptr);
    p.JPEG_SCALE = Scale;
    std::atomic<bool> a{false};
    TIEProgressRec rec(a);
    if (Png)
      IEReadPNG(&s, &b, p, rec, false);
    else
      IEReadJPEG(&s, nullptr, &b, p, rec, false, false, true, false, true, true, -1, false);
    if (a) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(b.GetScanline(0));
  }
}

void Encode(benchmark::State& state, bool Png) {
  ThresholdScope t(std::numeric_limits<int64_t>::max());
  TIEBitmap& pic = Picture();
  TMemoryStream out;
  for (auto _ : state) {
    out.SetSize(0);
    out.SetPosition(0);
    TIOParamsVals p(nullptr);
    p.JPEG_QUALITY = 85;
    p.JPEG_COLORSPACE = 2;
    p.SAMPLESPERPIXEL = 3;
    p.BITSPERSAMPLE = 8;
    p.PNG_COMPRESSION = 6;
    p.PNG_FILTER = 0;
    std::atomic<bool> a{false};
    TIEProgressRec rec(a);
    if (Png)
      IEWritePNG(&out, &pic, p, rec, nullptr);
    else
      IEWriteJPEG(&out, &pic, p, rec);
    if (a) state.SkipWithError("encode failed");
  }
  state.counters["bytes"] = static_cast<double>(out.Size());
}

// A peer's command line, timed as a whole process.
void Peer(benchmark::State& state, const std::string& Command) {
  Encoded(false);
  Encoded(true);
  EnsurePPM();
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(Command.c_str());
    auto t1 = std::chrono::steady_clock::now();
    if (rc != 0) state.SkipWithError(("failed: " + Command).c_str());
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
}

}  // namespace

BENCHMARK_CAPTURE(Decode, jpeg_full, false, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, djpeg_full, "djpeg -dct int -ppm -outfile /dev/null " + Folder() + "/pic.jpg")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, vips_jpeg_full, "vips copy " + Folder() + "/pic.jpg " + Folder() + "/out.v")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, jpeg_eighth, false, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, djpeg_eighth, "djpeg -dct int -scale 1/8 -ppm -outfile /dev/null " + Folder() + "/pic.jpg")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, vips_jpeg_eighth, "vips copy " + Folder() + "/pic.jpg[shrink=8] " + Folder() + "/out8.v")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, jpeg_q85, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, cjpeg_q85, "cjpeg -quality 85 -outfile /dev/null " + Folder() + "/pic.ppm")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, png, true, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, vips_png_decode, "vips copy " + Folder() + "/pic.png " + Folder() + "/outp.v")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, convert_png_decode, "convert " + Folder() + "/pic.png null:")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, png, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, vips_png_encode,
                  "vips copy " + Folder() + "/pic.ppm " + Folder() + "/out.png[compression=6,filter=none]")
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Peer, convert_png_encode,
                  "convert " + Folder() + "/pic.ppm -quality 65 " + Folder() + "/outc.png")
    ->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
