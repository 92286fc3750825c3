// Frames per second of the view's paint path: a 24-megapixel picture drawn
// into a 1920 x 1080 back buffer at several zooms, the way the single-image
// view draws its only layer (visible source and destination rectangles and
// the column and row maps of the view's coordinate tables, kept between
// frames; rows that repeat a source row copied). One thread: the frame rate
// of a single core is what the goal is stated in.
//
//   bench_view [benchmark options]
//
// Each row reports "fps"; the goals are 60 without a filter and 20 with
// rfFastLinear at every zoom.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/render/ierender.h"

namespace {

constexpr Integer kImageWidth = 6000;
constexpr Integer kImageHeight = 4000;
constexpr Integer kViewWidth = 1920;
constexpr Integer kViewHeight = 1080;

// Gradients with a noisy texture: the content does not change the work of
// the nearest or the linear path, but constant pictures would hide mistakes
// such as reading the wrong row.
std::unique_ptr<TIEBitmap> MakePicture() {
  auto b = std::make_unique<TIEBitmap>(kImageWidth, kImageHeight, ie24RGB);
  uint32_t h = 0x12345678u;
  for (Integer y = 0; y < kImageHeight; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kImageWidth; ++x, row += 3) {
      h = h * 1664525u + 1013904223u;
      const Byte noise = Byte(h >> 28);
      row[0] = Byte((x * 255 / kImageWidth) ^ noise);
      row[1] = Byte((y * 255 / kImageHeight) + noise);
      row[2] = Byte(((x + y) >> 4) - noise);
    }
  }
  return b;
}

TIEBitmap* Picture() {
  static std::unique_ptr<TIEBitmap> picture = MakePicture();
  return picture.get();
}

// What the view hands the renderer for one axis: the visible source run,
// where it is drawn, and the map from each drawn pixel to its source pixel.
struct TAxis {
  Integer Offset = 0;     // client position of the image area
  Integer Drawn = 0;      // client pixels covered
  Integer BmpFirst = 0;   // first visible source pixel
  Integer BmpCount = 0;   // visible source pixels
  TIEMapTable Map;        // source pixel of each drawn pixel
};

// The view's geometry for one axis with the origin in the middle of the
// zoomed image (or the image centred when it is smaller than the view).
TAxis ViewAxis(Integer ImageSize, Integer ViewSize, double Zoom) {
  TAxis a;
  const double factor = Zoom / 100.0;
  const Integer zoomed = Integer(Round(ImageSize * factor));
  const Integer extent = std::min(zoomed, ViewSize);
  a.Offset = extent < ViewSize ? (ViewSize - extent) / 2 : 0;
  // Zoomed position -> image column, as the coordinate tables hold it.
  auto column = [&](int64_t z) { return Integer(std::floor((double(z) * 100.0 + 1e-7) / Zoom)); };
  auto columnStart = [&](Integer c) { return Integer(Trunc(c * factor)); };
  int64_t origin = std::max<int64_t>(0, (zoomed - ViewSize) / 2);
  origin = columnStart(column(origin));  // snapped to the start of a column
  const double d = double(ImageSize) / zoomed;
  a.BmpFirst = Integer(Round(origin * d));
  a.BmpCount = Integer(Round(d * extent));
  if (a.BmpFirst + a.BmpCount > ImageSize) --a.BmpCount;
  if (Zoom > 100) {
    a.Drawn = Integer(Trunc(a.BmpCount * factor));
    if (a.Drawn < extent && a.BmpFirst + a.BmpCount + 1 <= ImageSize) {
      ++a.BmpCount;
      a.Drawn = Integer(Trunc(a.BmpCount * factor));
    }
  } else {
    a.Drawn = extent;
  }
  a.Map.resize(size_t(a.Drawn));
  for (Integer i = 0; i < a.Drawn; ++i) a.Map[size_t(i)] = std::min(column(origin + i), ImageSize - 1);
  return a;
}

void ViewRender(benchmark::State& State, double Zoom, TResampleFilter Filter) {
  TIEBitmap* src = Picture();
  TIEBitmap back(kViewWidth, kViewHeight, ie24RGB);
  const TAxis ax = ViewAxis(kImageWidth, kViewWidth, Zoom);
  const TAxis ay = ViewAxis(kImageHeight, kViewHeight, Zoom);
  // The view's row-address cache and coordinate tables live across paints.
  std::unique_ptr<TIERowTable> rows;
  auto xmap = std::make_unique<TIEMapTable>(ax.Map);
  auto ymap = std::make_unique<TIEMapTable>(ay.Map);
  const Integer clip[4] = {0, 0, kViewWidth - 1, kViewHeight - 1};
  const Integer saved = IEParallelThreads();
  IESetParallelThreads(1);
  for (auto _ : State) {
    RenderToTIEBitmapEx(*src, &back, rows, xmap, ymap, clip, ax.Offset, ay.Offset, ax.Drawn, ay.Drawn, ax.BmpFirst,
                        ay.BmpFirst, ax.BmpCount, ay.BmpCount, true, true, 255, Filter, false, 0);
    benchmark::DoNotOptimize(back.GetScanline(kViewHeight / 2));
    benchmark::ClobberMemory();
  }
  IESetParallelThreads(saved);
  State.counters["fps"] = benchmark::Counter(double(State.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    double Zoom;
    const char* Name;
  } zooms[] = {{5, "5"}, {33.33, "33.33"}, {100, "100"}, {400, "400"}};
  const struct {
    TResampleFilter Filter;
    const char* Name;
  } filters[] = {{rfNone, "rfNone"}, {rfFastLinear, "rfFastLinear"}};
  for (const auto& f : filters)
    for (const auto& z : zooms) {
      const std::string name = std::string("ViewRender/zoom:") + z.Name + "/" + f.Name;
      benchmark::RegisterBenchmark(name.c_str(), ViewRender, z.Zoom, f.Filter)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime()
          ->MinTime(0.5);
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
