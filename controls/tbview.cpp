// Views and their viewers: the viewer list kept in step with the item tree,
// the priority list, hints and what a viewer knows about its item.
#include "controls/tbview.h"

#include <algorithm>

#include "controls/tbacc.h"
#include "controls/tbcommon.h"
#include "controls/tbitemaction.h"
#include "platform/ui/controls.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"

namespace {

const char* const IndexError = "Toolbar item index out of range";
const char* const ViewerNotFound = "An item viewer associated the specified item could not be found";

// Method tags of the view's two change listeners.
constexpr uintptr_t ItemChangedTag = 1;
constexpr uintptr_t ParentItemChangedTag = 2;

// Embedded groups nest down to this level; deeper sub-items get no viewers.
constexpr Integer MaxGroupLevel = 10;

// Arrow part of a split button in toolbar style.
constexpr Integer ToolbarComboArrowWidth = 11;

bool IsSeparator(const TTBItemViewer* V) { return V->Item()->ItemStyle().Contains(tisSeparator); }

}  // namespace

// ---------------------------------------------------------------- item kinds' viewers

TTBItemViewer* TTBCustomItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBItemViewer(View, this, GroupLevel);
}

TTBItemViewer* TTBSeparatorItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBSeparatorItemViewer(View, this, GroupLevel);
}

// ---------------------------------------------------------------- viewers

TTBItemViewer::TTBItemViewer(TTBView* AView, TTBCustomItem* AItem, Integer AGroupLevel)
    : FView(AView), FItem(AItem), FGroupLevel(AGroupLevel) {
  TBAddLiveObject();
}

TTBItemViewer::~TTBItemViewer() {
  TBCancelQueuedViewerActions(this);
  DetachAccObjectOf(this);
  TBReleaseLiveObject();
}

bool TTBItemViewer::DoExecute() {
  FView->EndModalWithClick(this);
  return true;
}

bool TTBItemViewer::Execute(bool GivePriority) {
  const bool Done = DoExecute();
  if (Done && GivePriority) FView->GivePriority(this);
  return Done;
}

void TTBItemViewer::Entering() {
  if (FItem->OnSelect) FItem->OnSelect(FItem, this, true);
}

void TTBItemViewer::Leaving() {
  if (FItem->OnSelect) FItem->OnSelect(FItem, this, false);
}

WideString TTBItemViewer::CaptionText() const {
  const WideString& C = FItem->Caption();
  return C.substr(0, C.find(u'\t'));
}

bool TTBItemViewer::InButtonPart(Integer X, Integer) {
  if (!FItem->ItemStyle().Contains(tisCombo)) return !FItem->ItemStyle().Contains(tisSubmenu);
  const Integer Arrow = IsToolbarStyle() ? ToolbarComboArrowWidth : GetSystemMetrics(SM_CXMENUCHECK);
  return X < BoundsRect.Width() - Arrow;
}

void TTBItemViewer::LosingCapture() { FView->InvalidateViewer(this); }

bool TTBItemViewer::UsesSameWidth() {
  const TTBItemOptions O = FItem->EffectiveOptions();
  return O.Contains(tboImageAboveCaption) && O.Contains(tboSameWidth) && IsToolbarSize();
}

bool TTBItemViewer::CaptionShown() {
  if (!CaptionText().empty() &&
      (!IsToolbarSize() || FItem->ImageIndex() < 0 || FItem->DisplayMode() == nbdmTextOnly ||
       FItem->DisplayMode() == nbdmImageAndText))
    return true;
  return FItem->EffectiveOptions().Contains(tboImageAboveCaption);
}

bool TTBItemViewer::ImageShown() {
  if (FItem->ImageIndex() < 0) return false;
  const TTBItemDisplayMode M = FItem->DisplayMode();
  return M == nbdmDefault || M == nbdmImageAndText || (M == nbdmTextOnlyInMenus && IsToolbarStyle());
}

bool TTBItemViewer::IsToolbarStyle() const {
  return FView->IsToolbar() || FItem->EffectiveOptions().Contains(tboToolbarStyle);
}

bool TTBItemViewer::IsToolbarSize() const {
  return FView->IsToolbar() || FItem->EffectiveOptions().Contains(tboToolbarSize);
}

bool TTBItemViewer::IsRotated() const {
  const TTBItemOptions O = FItem->EffectiveOptions();
  return FView->Orientation() == tbvoVertical && !O.Contains(tboNoRotation) && !O.Contains(tboImageAboveCaption);
}

Integer TTBItemViewer::AccessibleRole() {
  if (dynamic_cast<TTBControlItem*>(FItem)) return 10;         // client
  if (IsSeparator(this)) return 21;                            // separator
  if (FView->IsPopup() || FView->Style().Contains(vstMenuBar)) return 12;  // menu item
  if (FItem->ItemStyle().Contains(tisSubmenu)) return 57;      // button menu
  return 43;                                                   // push button
}

bool TTBItemViewer::AccessibleValue(WideString&) { return false; }

TPoint TTBItemViewer::ScreenToViewer(const TPoint& P) const {
  TPoint C = P;
  if (FView->Window() && FView->Window()->HandleAllocated()) ScreenToClient(FView->Window()->Handle(), &C);
  return TPoint(C.X - BoundsRect.Left, C.Y - BoundsRect.Top);
}

// ---------------------------------------------------------------- view life cycle

TTBView::TTBView(TComponent* AOwner, TTBView* AParentView, TTBCustomItem* AParentItem, TWinControl* AWindow,
                 bool AIsToolbar, bool ACustomizing, bool AUsePriorityList)
    : TComponent(AOwner),
      FCustomizing(ACustomizing),
      FIsPopup(!AIsToolbar),
      FIsToolbar(AIsToolbar),
      FParentView(AParentView),
      FParentItem(AParentItem),
      FUsePriorityList(AUsePriorityList),
      FWindow(AWindow) {
  if (FIsPopup) FState.Include(vsModal);
  if (FParentItem) {
    FParentItem->AddChangeListener(ParentItemChangedProc());
    FParentItem->FreeNotification(this);
  }
  UpdateSourceItem();
}

TTBView::~TTBView() {
  CloseChildPopups();
  DetachAccObjectOf(this);
  if (FParentView && FParentView->IsToolbar()) {
    TTBViewState S = FParentView->State();
    FParentView->SetState(S.Include(vsNoAnimation));
    if (FParentView->FOpenViewer) FParentView->InvalidateViewer(FParentView->FOpenViewer);
  }
  if (FCurrentSource) FCurrentSource->RemoveChangeListener(ItemChangedProc());
  if (FParentItem) FParentItem->RemoveChangeListener(ParentItemChangedProc());
  FreeViewers();
  if (FParentView) FParentView->ReportFocus();
}

TTBItemChangeProc TTBView::ItemChangedProc() {
  return {this, ItemChangedTag, [this](TTBCustomItem* S, bool R, TTBItemChange C, Integer I, TTBCustomItem* It) {
            ItemChanged(S, R, C, I, It);
          }};
}

TTBItemChangeProc TTBView::ParentItemChangedProc() {
  return {this, ParentItemChangedTag,
          [this](TTBCustomItem* S, bool R, TTBItemChange C, Integer I, TTBCustomItem* It) {
            ParentItemChanged(S, R, C, I, It);
          }};
}

void TTBView::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FParentItem) {
    FParentItem = nullptr;
    UpdateSourceItem();
    if (FParentView) FParentView->CloseChildPopups();
  }
  if (AComponent == FOpenViewerView || (AComponent && AComponent == FOpenPopupWindow)) {
    FOpenViewer = nullptr;
    FOpenViewerView = nullptr;
    FOpenPopupWindow = nullptr;
  }
  if (AComponent == FChevronParentView) FChevronParentView = nullptr;
}

void TTBView::SetChevronParentView(TTBView* Value) {
  if (FChevronParentView == Value) return;
  if (FChevronParentView) FChevronParentView->RemoveFreeNotification(this);
  FChevronParentView = Value;
  if (Value) Value->FreeNotification(this);
}

void TTBView::CloseChildPopups() {
  if (FOpenViewerView) FOpenViewerView->CloseChildPopups();
  StopTimer(1);
  TWinControl* Window = FOpenPopupWindow;
  FOpenViewer = nullptr;
  FOpenViewerView = nullptr;
  FOpenPopupWindow = nullptr;
  if (Window) {
    Window->RemoveFreeNotification(this);
    delete Window;  // frees its view as well
  }
}

void TTBView::SetOpenPopup(TWinControl* Window, TTBView* ItsView, TTBItemViewer* Viewer) {
  if (Window) Window->FreeNotification(this);
  FOpenPopupWindow = Window;
  FOpenViewerView = ItsView;
  FOpenViewer = Viewer;
}

void TTBView::UpdateSourceItem() {
  TTBCustomItem* New = FParentItem ? FParentItem->SubitemSource() : nullptr;
  if (New == FCurrentSource) return;
  CloseChildPopups();
  if (FCurrentSource) FCurrentSource->RemoveChangeListener(ItemChangedProc());
  FCurrentSource = New;
  if (New) New->AddChangeListener(ItemChangedProc());
  RebuildViewers();
  if (New && !ComponentState().Contains(csDesigning)) RefreshActions();
}

void TTBView::RefreshActions() {
  // An item's refresh may rebuild its own sub-items and so free viewers
  // further on in the copy; those are skipped.
  const std::vector<TTBItemViewer*> Copy = FViewers;
  for (TTBItemViewer* V : Copy)
    if (std::find(FViewers.begin(), FViewers.end(), V) != FViewers.end()) V->Item()->RefreshFromAction();
}

// ---------------------------------------------------------------- viewer list

void TTBView::FreeViewers() {
  FPriorityList.clear();
  std::vector<TTBItemViewer*> Old;
  Old.swap(FViewers);
  for (TTBItemViewer* V : Old) delete V;
}

void TTBView::RebuildViewers() {
  CloseChildPopups();
  FSelected = nullptr;
  InvalidateLayout();
  FreeViewers();
  FInternalViewersAtEnd = 0;
  FInternalViewersAtFront = 0;
  if (TTBCustomItem* M = MDISystemMenuItem())
    FInternalViewersAtFront += InsertViewers(ViewerCount(), M, false, false, 0);
  if (FCurrentSource)
    for (Integer I = 0; I < FCurrentSource->Count(); ++I)
      InsertViewers(ViewerCount(), FCurrentSource->Items(I), false, true, 0);
  if (TTBCustomItem* B = MDIButtonsItem())
    for (Integer I = 0; I < B->Count(); ++I) FInternalViewersAtEnd += InsertViewers(ViewerCount(), B->Items(I), false, false, 0);
  if (TTBCustomItem* C = ChevronItem()) FInternalViewersAtEnd += InsertViewers(ViewerCount(), C, false, false, 0);
}

Integer TTBView::InsertViewers(Integer Index, TTBCustomItem* AItem, bool ToFront, bool IntoPriorityList,
                               Integer GroupLevel) {
  if (GroupLevel > MaxGroupLevel) return 0;
  TTBItemViewer* V = AItem->CreateViewer(this, GroupLevel);
  FViewers.insert(FViewers.begin() + Index, V);
  if (IntoPriorityList && FUsePriorityList) {
    if (ToFront)
      FPriorityList.insert(FPriorityList.begin(), V);
    else
      FPriorityList.push_back(V);
  }
  Integer Inserted = 1;
  if (!FCustomizing && AItem->ItemStyle().Contains(tisEmbeddedGroup)) {
    TTBCustomItem* Source = AItem->SubitemSource();
    for (Integer I = 0; I < Source->Count(); ++I)
      Inserted += InsertViewers(Index + Inserted, Source->Items(I), ToFront, IntoPriorityList, GroupLevel + 1);
  }
  return Inserted;
}

void TTBView::RecreateViewer(Integer Index) {
  TTBItemViewer* Old = Viewers(Index);
  TTBItemViewer* New = Old->Item()->CreateViewer(this, Old->GroupLevel());
  FViewers[static_cast<size_t>(Index)] = New;
  std::replace(FPriorityList.begin(), FPriorityList.end(), Old, New);
  ViewerDeleting(Old);
  delete Old;
}

void TTBView::ViewerDeleting(TTBItemViewer* Viewer) {
  if (FSelected == Viewer) FSelected = nullptr;
  if (FOpenViewer == Viewer) CloseChildPopups();
}

TTBItemViewer* TTBView::Viewers(Integer Index) const {
  if (Index < 0 || Index >= ViewerCount()) throw ETBItemError(IndexError);
  return FViewers[static_cast<size_t>(Index)];
}

Integer TTBView::IndexOfViewer(TTBItemViewer* Viewer) const {
  if (!Viewer) return -1;
  auto It = std::find(FViewers.begin(), FViewers.end(), Viewer);
  return It == FViewers.end() ? -1 : static_cast<Integer>(It - FViewers.begin());
}

TTBItemViewer* TTBView::FindViewer(TTBCustomItem* AItem) const {
  for (TTBItemViewer* V : FViewers)
    if (V->Item() == AItem) return V;
  throw ETBItemError(ViewerNotFound);
}

TTBItemViewer* TTBView::ViewerAt(const TPoint& P) {
  EnsureLayout();
  for (TTBItemViewer* V : FViewers) {
    const TRect& R = V->BoundsRect;
    if (V->Show && P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom) return V;
  }
  return nullptr;
}

void TTBView::CollectControls(std::vector<TControl*>& List) {
  for (TTBItemViewer* V : FViewers)
    if (auto* C = dynamic_cast<TTBControlItem*>(V->Item()))
      if (V->OffEdge && C->Control() && dynamic_cast<TWinControl*>(C->Control())) List.push_back(C->Control());
}

TTBView* TTBView::RootView() {
  TTBView* V = this;
  while (V->FParentView) V = V->FParentView;
  return V;
}

TTBView* TTBView::ToolbarAncestor() {
  for (TTBView* V = this; V; V = V->FParentView)
    if (V->FIsToolbar) return V;
  return nullptr;
}

TTBItemViewer* TTBView::TopPriorityViewer() {
  EnsureLayout();
  const std::vector<TTBItemViewer*>& Order = FUsePriorityList ? FPriorityList : FViewers;
  for (TTBItemViewer* V : Order)
    if (V->Show && !IsSeparator(V)) return V;
  return nullptr;
}

void TTBView::GivePriority(TTBItemViewer* Viewer) {
  if (FChevronParentView) {
    // A chevron popup shows the hidden items of its toolbar: the toolbar's
    // viewer of the same item is the one that moves up.
    const Integer I = IndexOfViewer(Viewer) + FChevronParentView->FInternalViewersAtFront;
    if (I >= 0 && I < FChevronParentView->ViewerCount()) FChevronParentView->GivePriority(FChevronParentView->FViewers[I]);
    return;
  }
  auto It = std::find(FPriorityList.begin(), FPriorityList.end(), Viewer);
  if (It != FPriorityList.end()) {
    FPriorityList.erase(It);
    FPriorityList.insert(FPriorityList.begin(), Viewer);
    if (!FValidated || Viewer->OffEdge) {
      InvalidateLayout();
      EnsureLayout();
    }
  }
  if (FParentView && FParentView->FOpenViewer) FParentView->GivePriority(FParentView->FOpenViewer);
}

void TTBView::SetUsePriorityList(bool Value) {
  if (FUsePriorityList == Value) return;
  FUsePriorityList = Value;
  RebuildViewers();
}

// ---------------------------------------------------------------- change listeners

void TTBView::ItemChanged(TTBCustomItem* Sender, bool Relayed, TTBItemChange Change, Integer Index,
                          TTBCustomItem* AItem) {
  switch (Change) {
    case icInserted:
      InvalidateLayout();
      InsertItemViewers(Sender, Index, AItem);
      break;
    case icDeleting:
      InvalidateLayout();
      DeleteItemViewers(AItem);
      break;
    case icSubitemsChanged:
      if (Relayed) RebuildViewers();
      break;
    case icBeginUpdate:
      BeginUpdate();
      break;
    case icEndUpdate:
      EndUpdate();
      break;
    case icInvalidate:
      for (TTBItemViewer* V : FViewers)
        if (V->Item() == AItem) InvalidateViewer(V);
      break;
    case icInvalidateAndResize:
      InvalidateLayout();
      break;
    case icSubmenuImagesChanged:
      ImagesChanged();
      break;
    case icNameChanged:
      return;
  }
  TryEnsureLayout();
}

void TTBView::ParentItemChanged(TTBCustomItem*, bool, TTBItemChange Change, Integer, TTBCustomItem*) {
  if (Change == icSubitemsChanged)
    UpdateSourceItem();
  else if (Change == icSubmenuImagesChanged && FParentItem != FCurrentSource)
    ImagesChanged();
}

void TTBView::InsertItemViewers(TTBCustomItem* Sender, Integer Index, TTBCustomItem* AItem) {
  const Integer Count = ViewerCount();
  Integer Level = 0, SpanStart = 0, SpanEnd = Count;
  bool Found = Sender == FCurrentSource;
  // An item inserted into an embedded group goes after the group's viewer,
  // among the viewers one level deeper; the first showing of the group that
  // lacks it gets it.
  for (Integer G = 0; !Found && G < Count; ++G) {
    TTBItemViewer* V = FViewers[G];
    if (V->Item() != Sender || !Sender->ItemStyle().Contains(tisEmbeddedGroup)) continue;
    Level = V->GroupLevel() + 1;
    SpanStart = G + 1;
    SpanEnd = SpanStart;
    while (SpanEnd < Count && FViewers[SpanEnd]->GroupLevel() >= Level) ++SpanEnd;
    bool Present = false;
    for (Integer I = SpanStart; I < SpanEnd; ++I)
      if (FViewers[I]->Item() == AItem && FViewers[I]->GroupLevel() == Level) Present = true;
    Found = !Present;
  }
  if (!Found) return;
  // The chevron and MDI buttons stay last.
  if (SpanEnd == Count) SpanEnd = std::max(SpanStart, SpanEnd - FInternalViewersAtEnd);
  Integer Pos = SpanEnd;
  TTBCustomItem* Parent = AItem->Parent();
  if (Parent && Index + 1 < Parent->Count()) {
    TTBCustomItem* Next = Parent->Items(Index + 1);
    for (Integer I = SpanStart; I < SpanEnd; ++I)
      if (FViewers[I]->Item() == Next && FViewers[I]->GroupLevel() == Level) {
        Pos = I;
        break;
      }
  }
  const bool ToFront = !AItem->ComponentState().Contains(csLoading) && FNewViewersGetHighestPriority;
  InsertViewers(Pos, AItem, ToFront, true, Level);
}

void TTBView::DeleteItemViewers(TTBCustomItem* AItem) {
  auto RemoveAt = [this](Integer I) {
    TTBItemViewer* V = FViewers[I];
    ViewerDeleting(V);
    FPriorityList.erase(std::remove(FPriorityList.begin(), FPriorityList.end(), V), FPriorityList.end());
    FViewers.erase(FViewers.begin() + I);
    delete V;
  };
  for (Integer I = 0; I < ViewerCount();) {
    if (FViewers[I]->Item() != AItem) {
      ++I;
      continue;
    }
    const Integer Level = FViewers[I]->GroupLevel();
    RemoveAt(I);
    while (I < ViewerCount() && FViewers[I]->GroupLevel() > Level) RemoveAt(I);
  }
}

// ---------------------------------------------------------------- layout validity

void TTBView::InvalidateLayout() {
  if (!FValidated) return;
  FValidated = false;
  if (FWindow && FWindow->HandleAllocated()) InvalidateRect(FWindow->Handle(), nullptr, TRUE);
}

void TTBView::EnsureLayout() {
  if (FValidated) return;
  TPoint Size;
  Relayout(Size);
}

void TTBView::TryEnsureLayout() {
  if (FUpdating != 0) return;
  if (FParentItem) {
    if (FParentItem->ComponentState().Contains(csLoading)) return;
    if (FParentItem->Owner() && FParentItem->Owner()->ComponentState().Contains(csLoading)) return;
  }
  EnsureLayout();
}

void TTBView::EndUpdate() {
  if (--FUpdating == 0) TryEnsureLayout();
}

void TTBView::ImagesChanged() {
  InvalidateLayout();
  TryEnsureLayout();
  if (FOpenViewerView) FOpenViewerView->ImagesChanged();
}

void TTBView::InvalidateViewer(TTBItemViewer* Viewer) {
  if (!FValidated || !Viewer || !FWindow || !FWindow->HandleAllocated()) return;
  if (!Viewer->Show || IsRectEmpty(Viewer->BoundsRect) || dynamic_cast<TTBControlItem*>(Viewer->Item())) return;
  Viewer->State |= tbvsNeedsFullRepaint;
  InvalidateRect(FWindow->Handle(), &Viewer->BoundsRect, FALSE);
}

void TTBView::SetOrientation(Integer Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  InvalidateLayout();
}
void TTBView::SetWrapOffset(Integer Value) {
  if (FWrapOffset == Value) return;
  FWrapOffset = Value;
  InvalidateLayout();
}
void TTBView::SetChevronOffset(Integer Value) {
  if (FChevronOffset == Value) return;
  FChevronOffset = Value;
  InvalidateLayout();
}
void TTBView::SetChevronSize(Integer Value) {
  if (FChevronSize == Value) return;
  FChevronSize = Value;
  InvalidateLayout();
}
void TTBView::SetMaxHeight(Integer Value) {
  if (FMaxHeight == Value) return;
  FMaxHeight = Value;
  InvalidateLayout();
}

// ---------------------------------------------------------------- done actions

void TTBView::EndModal() { RootView()->FDoneActionData.DoneAction = daCancel; }

void TTBView::EndModalWithClick(TTBItemViewer* Viewer) {
  TTBDoneActionData& D = RootView()->FDoneActionData;
  D.DoneAction = daClick;
  D.ClickItem = Viewer->Item();
  D.Sound = Viewer->View()->IsPopup();
}

void TTBView::EndModalWithHelp(Integer AContextID) {
  TTBDoneActionData& D = RootView()->FDoneActionData;
  D.DoneAction = daHelp;
  D.ContextID = AContextID;
}

void TTBView::EndModalWithSystemMenu(HWND AWnd, Word AKey) {
  TTBDoneActionData& D = RootView()->FDoneActionData;
  D.DoneAction = daSysKeyMenu;
  D.Wnd = AWnd;
  D.Key = AKey;
}

bool TTBView::ModalEnding() { return RootView()->FDoneActionData.DoneAction != daNone; }

// ---------------------------------------------------------------- hints

WideString TTBView::ViewerHintText(TTBItemViewer* Viewer) {
  TTBCustomItem* Item = Viewer->Item();
  WideString S = GetShortHint(Item->Hint());
  const TTBItemStyle St = Item->ItemStyle();
  if (S.empty() && !Item->EffectiveOptions().Contains(tboNoAutoHint) &&
      (!St.Contains(tisSubmenu) || St.Contains(tisCombo) || !Viewer->CaptionShown()))
    S = StripAmpersands(TrimEllipsisOrColon(Viewer->CaptionText()));
  if (auto* A = dynamic_cast<TCustomAction*>(Item->Action()))
    if (!A->DoHint(S)) S.clear();
  if (!S.empty() && Application->HintShortCuts() && Item->ShortCut() != 0)
    S += u" (" + ShortCutToText(Item->ShortCut()) + u")";
  return S;
}

void TTBView::HandleHintShow(const TPoint& CursorPos, TRect& CursorRect, WideString& HintStr, void*& HintData) {
  HintStr.clear();
  TTBItemViewer* V = ViewerAt(CursorPos);
  if (!V) return;
  CursorRect = V->BoundsRect;
  HintData = V;
  HintStr = ViewerHintText(V);
}
