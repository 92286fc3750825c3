// Selection inside a view and the keyboard's ways through it: the next
// selectable viewer, accelerators and first letters, scrolling of tall popups.
#include <algorithm>

#include "controls/tbcommon.h"
#include "controls/tbview.h"
#include "platform/ui/controls.h"

namespace {

// Scroll-arrow band of a popup.
constexpr Integer ArrowBand = 19;

bool Selectable(const TTBItemViewer* V) {
  return (V->Show || V->Clipped) && V->Item()->Visible() && V->Item()->ItemStyle().Contains(tisSelectable);
}

}  // namespace

TTBItemViewer* TTBView::NextSelectable(TTBItemViewer* From, bool Forward) {
  EnsureLayout();
  const Integer N = ViewerCount();
  if (N == 0) return nullptr;
  // Steps wrap at both ends (so backward from none starts at the last);
  // arriving again at the first index visited means nothing qualifies.
  auto Step = [&](Integer I) {
    I = Forward ? I + 1 : I - 1;
    return I >= N ? 0 : I < 0 ? N - 1 : I;
  };
  const Integer First = Step(IndexOfViewer(From));
  Integer I = First;
  do {
    if (Selectable(FViewers[I])) return FViewers[I];
    I = Step(I);
  } while (I != First);
  return nullptr;
}

TTBItemViewer* TTBView::FirstSelectable() {
  TTBItemViewer* First = NextSelectable(nullptr, true);
  TTBItemViewer* V = First;
  while (V && V->Item()->ItemStyle().Contains(tisDontSelectFirst)) {
    V = NextSelectable(V, true);
    if (V == First) break;
  }
  return V;
}

void TTBView::SelectNext(bool Forward) {
  Select(NextSelectable(FSelected, Forward), false);
  ScrollSelectedIntoView();
}

TTBItemViewer* TTBView::FindAccelerator(TTBItemViewer* From, WideChar Ch, bool& Unique, bool AcceleratorsOnly) {
  Unique = false;
  EnsureLayout();
  const Integer N = ViewerCount();
  const WideChar Key = LowerChar(Ch);
  auto Matches = [&](TTBItemViewer* V, bool AcceleratorMode, bool Enabled) {
    if (!Selectable(V) || V->Item()->Enabled() != Enabled || !V->CaptionShown()) return false;
    const WideString Caption = V->CaptionText();
    if (Caption.empty()) return false;
    const WideChar Accel = AcceleratorOf(Caption);
    if (AcceleratorMode) return Accel != 0 && LowerChar(Accel) == Key;
    return Accel == 0 && Ch != u' ' && LowerChar(Caption[0]) == Key;
  };
  // One pass: after From, wrapping once round the list.
  auto Pass = [&](TTBItemViewer* After, bool AcceleratorMode, bool Enabled) -> TTBItemViewer* {
    const Integer Start = IndexOfViewer(After);
    for (Integer K = 1; K <= N; ++K) {
      TTBItemViewer* V = FViewers[static_cast<size_t>(((Start + K) % N + N) % N)];
      if (Matches(V, AcceleratorMode, Enabled)) return V;
    }
    return nullptr;
  };
  if (N == 0) return nullptr;
  for (const bool AcceleratorMode : {true, false}) {
    if (!AcceleratorMode && AcceleratorsOnly) break;
    if (TTBItemViewer* V = Pass(From, AcceleratorMode, true)) {
      Unique = Pass(V, AcceleratorMode, true) == V;
      return V;
    }
    if (TTBItemViewer* V = Pass(From, AcceleratorMode, false)) {
      Unique = true;  // a disabled item ends the search by itself
      return V;
    }
  }
  return nullptr;
}

void TTBView::Scroll(bool Down) {
  EnsureLayout();
  const Integer Bottom = FMaxHeight - ArrowBand;
  bool Found = false;
  Integer Edge = 0;
  for (TTBItemViewer* V : FViewers) {
    if (!V->Clipped || V->Item()->ItemStyle().Contains(tisSeparator)) continue;
    const TRect& R = V->BoundsRect;
    if (Down && R.Bottom > Bottom && (!Found || R.Bottom < Edge)) {
      Edge = R.Bottom;
      Found = true;
    } else if (!Down && R.Top < ArrowBand && (!Found || R.Top > Edge)) {
      Edge = R.Top;
      Found = true;
    }
  }
  if (!Found) return;
  FScrollOffset += Down ? Edge - Bottom : Edge - ArrowBand;
  TPoint Size;
  Relayout(Size);
}

void TTBView::ScrollSelectedIntoView() {
  if (!FSelected || !FSelected->Clipped) return;
  const TRect& R = FSelected->BoundsRect;
  if (R.Top <= ArrowBand - 1)
    FScrollOffset -= ArrowBand - R.Top;
  else if (R.Bottom > FMaxHeight - ArrowBand)
    FScrollOffset += R.Bottom - (FMaxHeight - ArrowBand);
  TPoint Size;
  Relayout(Size);
}

void TTBView::ShowAccelerators(bool Force) {
  const bool Wanted = Force || !FStyle.Contains(vstHideAccelsUntilAlt) || KeyboardCuesShown();
  if (Wanted == FState.Contains(vsShowAccels)) return;
  if (Wanted)
    FState.Include(vsShowAccels);
  else
    FState.Exclude(vsShowAccels);
  if (!FWindow || !FWindow->HandleAllocated() || !IsWindowVisible(FWindow->Handle())) return;
  for (TTBItemViewer* V : FViewers)
    if (V->CaptionShown() && AcceleratorOf(V->CaptionText()) != 0) InvalidateViewer(V);
}
