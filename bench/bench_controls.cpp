// The control set's gradient painter on a full-HD area, one direction per
// case: the panels and status bars repaint through it at every resize.
// And a popup menu of 30 items with 16 x 16 images, laid out and painted as
// when it opens (goal: well under a 60 Hz frame, 16 ms).
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <memory>
#include <string>

#include "controls/fccommon.h"
#include "controls/tbitem.h"
#include "controls/tbpopup.h"
#include "platform/ui/forms.h"
#include "platform/ui/imglist.h"

namespace {

void BM_PaintGradient(benchmark::State& State) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(1920, 1080);
  const auto dir = static_cast<TGradientDirection>(State.range(0));
  for (auto _ : State) PaintGradient(bmp.Canvas(), TRect(0, 0, 1920, 1080), dir, 0x2040E0, 0xE08020, 1);
}
BENCHMARK(BM_PaintGradient)->DenseRange(gdDiagonalUp, gdBigSquareBox)->Unit(benchmark::kMillisecond);

// Thirty items with captions, shortcuts and images (every fifth a submenu,
// one separator), as a large context menu has.
struct TPopupFixture {
  TComponent Owner{nullptr};
  TTBRootItem* Root;
  TImageList* Images;

  TPopupFixture() {
    // Without a display the menu still lays out and paints, in memory.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    (void)static_cast<TApplication*>(Application);
    Root = new TTBRootItem(&Owner);
    Images = new TImageList(&Owner);
    Images->SetSize(16, 16);
    TBitmap Icon;
    Icon.SetPixelFormat(pf24bit);
    Icon.SetSize(16, 16);
    for (Integer I = 0; I < 30; ++I) {
      Icon.Canvas()->Brush()->SetColor(static_cast<TColor>(0x101010 * (I % 15) + 0x2040A0));
      Icon.Canvas()->FillRect(TRect(0, 0, 16, 16));
      Icon.Canvas()->Brush()->SetColor(static_cast<TColor>(0xFF00FF));
      Icon.Canvas()->FillRect(TRect(0, 0, 4 + I % 8, 3));
      Images->AddMasked(&Icon, static_cast<TColor>(0xFF00FF));
    }
    Root->SetSubMenuImages(Images);
    for (Integer I = 0; I < 30; ++I) {
      TTBCustomItem* Item;
      if (I == 15)
        Item = new TTBSeparatorItem(&Owner);
      else if (I % 5 == 4)
        Item = new TTBSubmenuItem(&Owner);
      else
        Item = new TTBItem(&Owner);
      const std::string Caption = "&Command number " + std::to_string(I + 1);
      Item->SetCaption(WideString(Caption.begin(), Caption.end()));
      Item->SetImageIndex(I);
      if (I % 3 == 0) Item->SetShortCut(static_cast<TShortCut>(scCtrl | ('A' + I % 26)));
      Root->Add(Item);
    }
  }
};

void BM_PopupLayoutAndPaint(benchmark::State& State) {
  TPopupFixture F;
  std::unique_ptr<TTBPopupWindow> W(F.Root->OpenPopup(nullptr, nullptr, false, true, false, TPoint(20, 20), paLeft));
  TTBPopupView* V = W->View();
  TBitmap Surface;
  Surface.SetPixelFormat(pf24bit);
  Surface.SetSize(W->ClientWidth(), W->ClientHeight());
  for (auto _ : State) {
    V->InvalidateLayout();
    TPoint Size;
    V->Relayout(Size);
    V->PaintViewers(Surface.Canvas());
    benchmark::DoNotOptimize(Size);
  }
  State.SetLabel(std::to_string(V->ViewerCount()) + " viewers, " + std::to_string(W->Width()) + " x " +
                 std::to_string(W->Height()) + " px");
}
BENCHMARK(BM_PopupLayoutAndPaint)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
