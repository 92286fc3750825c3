// The list view with 100,000 items, in-process on the offscreen platform:
// filling it (goal: under 0.5 s, as a shell folder of that size fills in
// one update bracket) and each scroll step by a page, from the scroll to
// the new rows painted (goal: under 16 ms, one 60 Hz frame).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <memory>
#include <string>

#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"
#include "platform/ui/listview.h"

namespace {

constexpr Integer ItemCount = 100000;

struct TListFixture {
  std::unique_ptr<TForm> Form;
  TListView* LV = nullptr;
  std::unique_ptr<TImageList> Images;
  Integer Asked = -1;  // the last item asked for its image

  TListFixture() {
    // Without a display the list still lays out and paints, in memory.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    (void)static_cast<TApplication*>(Application);
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 640, 480);
    Images = std::make_unique<TImageList>(16, 16, nullptr);
    TBitmap Icon;
    Icon.SetPixelFormat(pf24bit);
    Icon.SetSize(16, 16);
    Icon.Canvas()->Brush()->SetColor(static_cast<TColor>(0x2040A0));
    Icon.Canvas()->FillRect(TRect(0, 0, 16, 16));
    Images->AddMasked(&Icon, static_cast<TColor>(0xFF00FF));
    LV = new TListView(Form.get());
    LV->SetViewStyle(vsReport);
    LV->SetAlign(alClient);
    LV->Columns()->Add()->SetWidth(300);
    LV->Columns()->Add()->SetWidth(120);
    LV->SetSmallImages(Images.get());
    LV->OnGetImageIndex = [this](TObject*, TListItem* Item) {
      Asked = Item->Index();
      if (Item->ImageIndex() < 0) Item->SetImageIndex(0);
    };
    LV->SetParent(Form.get());
    Form->Show();
  }
  void Fill() {
    LV->Items()->BeginUpdate();
    for (Integer i = 0; i < ItemCount; ++i) {
      TListItem* Item = LV->Items()->Add();
      Item->SetCaption(u"picture " + Utf8ToWide(std::to_string(i)) + u".jpg");
      Item->SubItems()->Add(u"1 234 KB");
    }
    LV->Items()->EndUpdate();
  }
  // Runs events until the row Index has been painted.
  bool PaintedUpTo(Integer Index) {
    for (int Guard = 0; Guard < 100000 && Asked < Index; ++Guard) Application->ProcessMessages();
    return Asked >= Index;
  }
};

void BM_ListViewFill100k(benchmark::State& State) {
  State.SetLabel("in-process, offscreen platform");
  for (auto _ : State) {
    State.PauseTiming();
    auto F = std::make_unique<TListFixture>();
    F->PaintedUpTo(-1);
    State.ResumeTiming();
    F->Fill();
    // Filled means shown: the first rows have painted.
    if (!F->PaintedUpTo(0)) State.SkipWithError("the filled list never painted");
    State.PauseTiming();
    F.reset();
    State.ResumeTiming();
  }
}
BENCHMARK(BM_ListViewFill100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ListViewScrollStep(benchmark::State& State) {
  State.SetLabel("in-process, offscreen platform");
  TListFixture F;
  F.Fill();
  F.PaintedUpTo(0);
  const Integer Page = F.LV->VisibleRowCount();
  const Integer RowHeight = F.LV->Items()->Item(0)->DisplayRect(drBounds).Height();
  for (auto _ : State) {
    TListItem* Top = F.LV->TopItem();
    Integer Next = (Top ? Top->Index() : 0) + Page;
    if (Next + Page >= ItemCount) {
      State.PauseTiming();
      F.LV->Items()->Item(0)->MakeVisible(false);
      F.Asked = -1;
      F.PaintedUpTo(0);
      State.ResumeTiming();
      Next = Page;
    }
    F.LV->Scroll(0, Page * RowHeight);
    // The step ends when the last row of the new page has painted.
    if (!F.PaintedUpTo(Next + Page - 1)) State.SkipWithError("the scrolled rows never painted");
  }
}
BENCHMARK(BM_ListViewScrollStep)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
