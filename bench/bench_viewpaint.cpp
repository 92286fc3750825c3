// Frames per second of the view's whole paint: a 24-megapixel picture in a
// 1920 x 1080 single-image view on an offscreen form, each frame marking
// the back buffer dirty and repainting the window synchronously, so a frame
// is the layer compositing over the background into the back buffer plus
// the copy of the back buffer to the window surface. One thread.
//
//   bench_viewpaint [benchmark options]
//
// Each row reports "fps"; the goals are 60 without a filter and 20 with
// rfFastLinear at every zoom.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/ui/forms.h"
#include "platform/ui/winuser.h"

namespace {

constexpr Integer kImageWidth = 6000;
constexpr Integer kImageHeight = 4000;
constexpr Integer kViewWidth = 1920;
constexpr Integer kViewHeight = 1080;

std::unique_ptr<TForm> gForm;
TZiduzUvView* gView = nullptr;
int64_t gRenders = 0;

void MakeView() {
  gForm = std::make_unique<TForm>(nullptr);
  gForm->SetBounds(0, 0, kViewWidth + 40, kViewHeight + 60);
  gForm->Show();
  gView = new TZiduzUvView(gForm.get());
  gView->SetBorderStyle(bsNone);
  gView->SetParent(gForm.get());
  gView->SetScrollBars(ssNone);
  gView->SetBounds(0, 0, kViewWidth, kViewHeight);
  gView->HandleNeeded();
  TIEBitmap* b = gView->GetIEBitmap();
  b->Allocate(kImageWidth, kImageHeight, ie24RGB);
  // A noisy texture: constant pictures would hide reading the wrong row.
  uint32_t h = 0x12345678u;
  for (Integer y = 0; y < kImageHeight; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kImageWidth * 3; ++x) {
      h = h * 1664525u + 1013904223u;
      row[x] = Byte((x / 3 + y) / 40 + (h >> 28));
    }
  }
  gView->Update();
  gView->OnDrawBackBuffer = [](TObject*) { ++gRenders; };
  Application->ProcessMessages();
}

void BM_ViewPaint(benchmark::State& State, double Zoom, TResampleFilter Filter) {
  gView->SetZoomFilter(Filter);
  gView->SetDelayZoomFilter(false);
  gView->SetZoom(Zoom);
  // Somewhere in the middle of the picture, where one can scroll.
  Integer mx = 0, my = 0;
  gView->GetMaxViewXY(mx, my);
  gView->SetViewOrigin(mx / 2, my / 2);
  // The countdowns of the zoom and scroll are over: every frame is a steady one.
  while (gView->FilterDelayCount() > 0 || gView->FastFramesCount() > 0) {
    gView->InvalidateRectDirty(TRect(0, 0, kViewWidth, kViewHeight));
    UpdateWindow(gView->Handle());
  }
  const int64_t before = gRenders;
  for (auto _ : State) {
    gView->InvalidateRectDirty(TRect(0, 0, kViewWidth, kViewHeight));
    UpdateWindow(gView->Handle());
  }
  if (gRenders - before != int64_t(State.iterations())) State.SkipWithError("a frame was not rendered");
  State.counters["fps"] = benchmark::Counter(double(State.iterations()), benchmark::Counter::kIsRate);
}

void Register() {
  const double zooms[] = {5, 33.33, 100, 400};
  for (TResampleFilter f : {rfNone, rfFastLinear})
    for (double z : zooms) {
      const std::string name = std::string("ViewPaint/") + (f == rfNone ? "rfNone" : "rfFastLinear") + "/zoom:" +
                               (z == 33.33 ? std::string("33.33") : std::to_string(int(z)));
      benchmark::RegisterBenchmark(name.c_str(), BM_ViewPaint, z, f)->Unit(benchmark::kMillisecond)->UseRealTime();
    }
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  IEStartup();
  IESetParallelThreads(1);
  MakeView();
  Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  gForm.reset();
  IEShutdown();
  return 0;
}
