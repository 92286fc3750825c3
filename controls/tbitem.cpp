// The item model: sub-item lists, change delivery, options, radio groups and
// the item kinds.
#include "controls/tbitem.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <typeinfo>

#include "platform/base/strutils.h"
#include "platform/graphics/colors.h"
#include "platform/ui/imglist.h"

namespace {

const char* const IndexError = "Toolbar item index out of range";
const char* const AlreadyInserted = "Toolbar item already inserted";

// Option changes that alter how an item is measured or drawn; the others
// (hint options) need no repaint.
constexpr TTBItemOptions LayoutOptions{tboDefault,    tboDropdownArrow, tboImageAboveCaption, tboNoRotation,
                                      tboSameWidth,  tboToolbarStyle,  tboToolbarSize};

// Toolbar sizing only applies to toolbar-style items.
TTBItemOptions FixOptions(TTBItemOptions Value) {
  if (!Value.Contains(tboToolbarStyle)) Value.Exclude(tboToolbarSize);
  return Value;
}

WideString ClassNameOf(const TComponent* C) {
  int Status = 0;
  const char* Mangled = typeid(*C).name();
  char* Plain = abi::__cxa_demangle(Mangled, nullptr, nullptr, &Status);
  WideString Name = Utf8ToWide(Status == 0 && Plain ? Plain : Mangled);
  std::free(Plain);
  return Name;
}

thread_local Integer LiveObjects = 0;
void (*LastLiveObjectHandler)() = nullptr;
void (*CancelQueuedClicksHandler)(TTBCustomItem*) = nullptr;
void (*CancelQueuedViewerActionsHandler)(TTBItemViewer*) = nullptr;

}  // namespace

// The listener list of one item. It outlives the item while a delivery is
// running, so that a listener may unregister itself or others, or free the
// item, in the middle of it: entries removed then are only marked (count 0)
// and freed when the outermost delivery ends.
struct TTBCustomItem::TListeners {
  std::vector<std::unique_ptr<TItemChangedNotificationData>> List;
  Integer Delivering = 0;
  bool ItemGone = false;

  void Purge() {
    List.erase(std::remove_if(List.begin(), List.end(), [](const auto& E) { return E->RefCount <= 0; }), List.end());
  }
};

bool TTBCustomItem::Gone(const std::shared_ptr<TListeners>& L) { return L->ItemGone; }

// ---------------------------------------------------------------- live count

Integer TBLiveItemCount() { return LiveObjects; }
void TBAddLiveObject() { ++LiveObjects; }
void TBReleaseLiveObject() {
  if (--LiveObjects == 0 && LastLiveObjectHandler) LastLiveObjectHandler();
}
void TBSetLastLiveObjectHandler(void (*Handler)()) { LastLiveObjectHandler = Handler; }
void TBSetCancelQueuedClicksHandler(void (*Handler)(TTBCustomItem* Item)) { CancelQueuedClicksHandler = Handler; }
void TBCancelQueuedClicksOf(TTBCustomItem* Item) {
  if (CancelQueuedClicksHandler) CancelQueuedClicksHandler(Item);
}
void TBSetCancelQueuedViewerActionsHandler(void (*Handler)(TTBItemViewer* Viewer)) {
  CancelQueuedViewerActionsHandler = Handler;
}
void TBCancelQueuedViewerActions(TTBItemViewer* Viewer) {
  if (CancelQueuedViewerActionsHandler) CancelQueuedViewerActionsHandler(Viewer);
}

// ---------------------------------------------------------------- item containers

TTBCustomItem* ItemContainerOf(TComponent* Component) {
  if (auto* Item = dynamic_cast<TTBCustomItem*>(Component)) return Item;
  if (auto* Container = dynamic_cast<ITBItemContainer*>(Component)) return Container->GetRootItem();
  return nullptr;
}

// ---------------------------------------------------------------- life cycle

TTBCustomItem::TTBCustomItem(TComponent* AOwner) : TComponent(AOwner), FListeners(std::make_shared<TListeners>()) {
  // The selection colours of the flat scheme follow the hue that dominates
  // the system's caption colour.
  const COLORREF C = GetSysColor(COLOR_ACTIVECAPTION);
  const Integer R = C & 255, G = (C / 256) & 255, B = (C / 65536) & 255;
  if (B > R && B > G) {
    FXPItemSelBkgrCol = static_cast<TColor>(0xEFD3C6);
    FXPItemOutlineCol = static_cast<TColor>(0x800000);
  } else if (G > R && G > B) {
    FXPItemSelBkgrCol = static_cast<TColor>(0xCCFFCC);
    FXPItemOutlineCol = static_cast<TColor>(0x008800);
  } else if (R > G && R > B) {
    FXPItemSelBkgrCol = static_cast<TColor>(0xAEAEFF);
    FXPItemOutlineCol = static_cast<TColor>(0x000088);
  }
  TBAddLiveObject();
}

TTBCustomItem::~TTBCustomItem() {
  Destroying();
  TBCancelQueuedClicksOf(this);
  while (!FItems.empty()) delete FItems.back();  // each one leaves this list as it goes
  if (FParent) FParent->Remove(this);
  FreeActionLink();
  ChangeImages(FImages, FImagesChangeLink, nullptr);
  ChangeImages(FSubMenuImages, FSubMenuImagesChangeLink, nullptr);
  if (FLinkSubitems) {
    auto& L = FLinkSubitems->FLinkParents;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    FLinkSubitems->RemoveFreeNotification(this);
    FLinkSubitems = nullptr;
  }
  // Items that showed this one's sub-items fall back to their own, and tell
  // their views while this item can still be unregistered from.
  while (!FLinkParents.empty()) FLinkParents.back()->SetLinkSubitems(nullptr);
  // A delivery running further up the stack holds the list and stops when it
  // sees the item gone.
  FListeners->ItemGone = true;
  FListeners.reset();
  TBReleaseLiveObject();
}

// ---------------------------------------------------------------- sub-items

TTBCustomItem* TTBCustomItem::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw ETBItemError(IndexError);
  return FItems[static_cast<size_t>(Index)];
}

void TTBCustomItem::Add(TTBCustomItem* AItem) { Insert(Count(), AItem); }

void TTBCustomItem::Insert(Integer Index, TTBCustomItem* AItem) {
  if (AItem->FParent) throw ETBItemError(AlreadyInserted);
  if (Index < 0 || Index > Count()) throw ETBItemError(IndexError);
  FItems.insert(FItems.begin() + Index, AItem);
  AItem->FParent = this;
  BeginSubitemUpdate();
  try {
    BroadcastChange(icInserted, Index, AItem);
    AItem->RecalcOptions();
  } catch (...) {
    EndSubitemUpdate();
    throw;
  }
  EndSubitemUpdate();
}

void TTBCustomItem::Delete(Integer Index) {
  TTBCustomItem* AItem = Items(Index);
  BroadcastChange(icDeleting, Index, AItem);
  AItem->FParent = nullptr;
  // A listener may have moved things; remove the item wherever it is now.
  auto It = std::find(FItems.begin(), FItems.end(), AItem);
  if (It != FItems.end()) FItems.erase(It);
}

Integer TTBCustomItem::IndexOf(TTBCustomItem* AItem) const {
  auto It = std::find(FItems.begin(), FItems.end(), AItem);
  return It == FItems.end() ? -1 : static_cast<Integer>(It - FItems.begin());
}

void TTBCustomItem::Remove(TTBCustomItem* AItem) {
  const Integer I = IndexOf(AItem);
  if (I >= 0) Delete(I);
}

void TTBCustomItem::Clear() {
  while (!FItems.empty()) delete FItems.back();
}

void TTBCustomItem::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  if (NewIndex < 0 || NewIndex >= Count()) throw ETBItemError(IndexError);
  TTBCustomItem* AItem = Items(CurIndex);
  BeginSubitemUpdate();
  try {
    Delete(CurIndex);
    Insert(NewIndex, AItem);
  } catch (...) {
    EndSubitemUpdate();
    throw;
  }
  EndSubitemUpdate();
}

// ---------------------------------------------------------------- change notification

void TTBCustomItem::AddChangeListener(const TTBItemChangeProc& Proc) {
  if (!FListeners) return;  // the item is being freed
  for (auto& E : FListeners->List)
    if (E->RefCount > 0 && E->Proc.SameAs(Proc)) {
      ++E->RefCount;
      return;
    }
  auto E = std::make_unique<TItemChangedNotificationData>();
  E->Proc = Proc;
  E->RefCount = 1;
  FListeners->List.push_back(std::move(E));
}

void TTBCustomItem::RemoveChangeListener(const TTBItemChangeProc& Proc) {
  if (!FListeners) return;  // the item is being freed
  for (auto& E : FListeners->List)
    if (E->RefCount > 0 && E->Proc.SameAs(Proc)) {
      if (--E->RefCount == 0 && FListeners->Delivering == 0) FListeners->Purge();
      return;
    }
}

Integer TTBCustomItem::ChangeListenerCount() const {
  if (!FListeners) return 0;
  return static_cast<Integer>(std::count_if(FListeners->List.begin(), FListeners->List.end(),
                                            [](const auto& E) { return E->RefCount > 0; }));
}

void TTBCustomItem::BroadcastChange(TTBItemChange Change, Integer Index, TTBCustomItem* AItem) {
  Deliver(this, Change, Index, AItem, 0);
}

void TTBCustomItem::BeginSubitemUpdate() { BroadcastChange(icBeginUpdate, -1, nullptr); }
void TTBCustomItem::EndSubitemUpdate() { BroadcastChange(icEndUpdate, -1, nullptr); }

void TTBCustomItem::RelayFrom(TTBCustomItem* Relayer, TTBCustomItem* Origin, TTBItemChange Change, Integer Index,
                              TTBCustomItem* AItem, Integer Depth) {
  // Embedded groups show their sub-items in their parent's view, so their
  // changes concern the parent's listeners too; the depth bound stops cycles.
  if (Depth > 10 || !Relayer->FItemStyle.Contains(tisEmbeddedGroup) || !Relayer->FParent) return;
  Relayer->FParent->Deliver(Origin == this ? Relayer : Origin, Change, Index, AItem, Depth + 1);
}

void TTBCustomItem::Deliver(TTBCustomItem* Origin, TTBItemChange Change, Integer Index, TTBCustomItem* AItem,
                            Integer Depth) {
  if (!FListeners) return;  // the item is being freed
  std::shared_ptr<TListeners> L = FListeners;  // survives the item for this delivery
  RelayFrom(this, Origin, Change, Index, AItem, Depth);
  if (L->ItemGone) return;
  const std::vector<TTBCustomItem*> LinkParents = FLinkParents;
  for (TTBCustomItem* P : LinkParents) {
    if (P == FParent) continue;
    RelayFrom(P, Origin, Change, Index, AItem, Depth);
    if (L->ItemGone) return;
  }
  ++L->Delivering;
  const bool Relayed = Origin != this;
  try {
    // Indexes stay valid: entries are only marked while delivering, and
    // listeners added meanwhile are appended and called too.
    for (size_t I = 0; I < L->List.size() && !L->ItemGone; ++I) {
      TItemChangedNotificationData* E = L->List[I].get();
      if (E->RefCount <= 0) continue;
      const TTBItemChangeProc::TCall Call = E->Proc.Call;  // the entry may be unregistered by the call
      if (Call) Call(Origin, Relayed, Change, Index, AItem);
    }
  } catch (...) {
    if (--L->Delivering == 0) L->Purge();
    throw;
  }
  if (--L->Delivering == 0) L->Purge();
}

// ---------------------------------------------------------------- virtual operations

void TTBCustomItem::Changed(bool NeedsResize) {
  if (FParent) FParent->BroadcastChange(NeedsResize ? icInvalidateAndResize : icInvalidate, -1, this);
}

void TTBCustomItem::PopupOpening(TTBCustomItem* Sender, bool FromLink) {
  if (OnPopup) OnPopup(Sender, FromLink);
  // Opening a submenu is also a click of its item, except for split buttons
  // whose button part clicks on its own.
  if (!FItemStyle.Contains(tisCombo)) Click();
}

void TTBCustomItem::EnabledChanged() { Changed(false); }

// ---------------------------------------------------------------- properties

void TTBCustomItem::SetCaption(const WideString& Value) {
  if (FCaption == Value) return;
  FCaption = Value;
  Changed(true);
}

void TTBCustomItem::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  Changed(false);
  if (Value) UncheckGroupSiblings();
}

void TTBCustomItem::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  EnabledChanged();
}

void TTBCustomItem::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed(true);
}

void TTBCustomItem::SetDisplayMode(TTBItemDisplayMode Value) {
  if (FDisplayMode == Value) return;
  FDisplayMode = Value;
  Changed(true);
}

void TTBCustomItem::SetGroupIndex(Integer Value) {
  if (FGroupIndex == Value) return;
  FGroupIndex = Value;
  if (FChecked) UncheckGroupSiblings();
}

void TTBCustomItem::UncheckGroupSiblings() {
  if (FGroupIndex == 0 || !FParent) return;
  // A copy: unchecking notifies listeners, which may not change the list but could.
  const std::vector<TTBCustomItem*> Siblings = FParent->FItems;
  for (TTBCustomItem* S : Siblings)
    if (S != this && S->FGroupIndex == FGroupIndex) S->SetChecked(false);
}

void TTBCustomItem::SetImageIndex(Integer Value) {
  if (FImageIndex == Value) return;
  const Integer Old = FImageIndex;
  FImageIndex = Value;
  // Gaining or losing the image changes the size; another image does not.
  Changed((Old == -1) != (Value == -1));
}

void TTBCustomItem::SetRadioItem(bool Value) {
  if (FRadioItem == Value) return;
  FRadioItem = Value;
  Changed(false);
}

void TTBCustomItem::SetOptions(TTBItemOptions Value) {
  Value = FixOptions(Value);
  if (FOptions == Value) return;
  FOptions = Value;
  RecalcOptions();
}

void TTBCustomItem::SetMaskOptions(TTBItemOptions Value) {
  if (FMaskOptions == Value) return;
  FMaskOptions = Value;
  RecalcOptions();
}

void TTBCustomItem::SetInheritOptions(bool Value) {
  if (FInheritOptions == Value) return;
  FInheritOptions = Value;
  RecalcOptions();
}

void TTBCustomItem::RecalcOptions() {
  TTBItemOptions Inherited;
  if (FInheritOptions && FParent) Inherited = FParent->FEffectiveOptions - TTBItemOptions{tboDefault};
  const TTBItemOptions New = FixOptions((Inherited - FMaskOptions) + FOptions);
  if (New == FEffectiveOptions) return;
  const TTBItemOptions Old = FEffectiveOptions;
  FEffectiveOptions = New;
  if (!(((Old - New) + (New - Old)) * LayoutOptions).Empty()) Changed(true);
  const std::vector<TTBCustomItem*> Children = FItems;
  for (TTBCustomItem* C : Children)
    if (C->FInheritOptions) C->RecalcOptions();
}

void TTBCustomItem::SetLinkSubitems(TTBCustomItem* Value) {
  if (Value == this) Value = nullptr;
  if (Value == FLinkSubitems) return;
  if (FLinkSubitems) {
    auto& L = FLinkSubitems->FLinkParents;
    L.erase(std::remove(L.begin(), L.end(), this), L.end());
    FLinkSubitems->RemoveFreeNotification(this);
  }
  FLinkSubitems = Value;
  if (Value) {
    Value->FreeNotification(this);
    if (std::find(Value->FLinkParents.begin(), Value->FLinkParents.end(), this) == Value->FLinkParents.end())
      Value->FLinkParents.push_back(this);
  }
  BroadcastChange(icSubitemsChanged, -1, nullptr);
}

// ---------------------------------------------------------------- component streaming

void TTBCustomItem::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent*) {
  for (TTBCustomItem* I : FItems) Proc(I);
}

void TTBCustomItem::SetChildOrder(TComponent* Child, Integer Order) {
  const Integer I = IndexOf(dynamic_cast<TTBCustomItem*>(Child));
  if (I >= 0) Move(I, Order);
}

TComponent* TTBCustomItem::GetParentComponent() const {
  if (FParent && FParent->FParentComponent) return FParent->FParentComponent;
  return FParent;
}

void TTBCustomItem::SetParentComponent(TComponent* Value) {
  if (FParent) FParent->Remove(this);
  if (!Value) return;
  TTBCustomItem* Container = ItemContainerOf(Value);
  if (!Container)
    throw ETBItemError(W("Toolbar item cannot be inserted into container of type ") + ClassNameOf(Value));
  Container->Add(this);
}

void TTBCustomItem::SetName(const WideString& NewName) {
  const WideString Old = Name();
  TComponent::SetName(NewName);
  if (Name() != Old && FParent) FParent->BroadcastChange(icNameChanged, -1, this);
}

void TTBCustomItem::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  auto& L = FLinkParents;
  L.erase(std::remove(L.begin(), L.end(), AComponent), L.end());
  if (AComponent == FLinkSubitems) SetLinkSubitems(nullptr);
  if (AComponent == FImages) SetImages(nullptr);
  if (AComponent == FSubMenuImages) SetSubMenuImages(nullptr);
  ActionNotification(AComponent);
}

// ---------------------------------------------------------------- item kinds

TTBSubmenuItem::TTBSubmenuItem(TComponent* AOwner) : TTBCustomItem(AOwner) {
  SetItemStyle(TTBItemStyle(ItemStyle()).Include(tisSubmenu));
}

void TTBSubmenuItem::SetDropdownCombo(bool Value) {
  if (DropdownCombo() == Value) return;
  TTBItemStyle S = ItemStyle();
  if (Value)
    S.Include(tisCombo);
  else
    S.Exclude(tisCombo);
  SetItemStyle(S);
  Changed(true);
}

TTBSeparatorItem::TTBSeparatorItem(TComponent* AOwner) : TTBCustomItem(AOwner) {
  TTBItemStyle S = ItemStyle();
  S.Exclude(tisSelectable).Exclude(tisRedrawOnSelChange).Exclude(tisRedrawOnMouseOverChange);
  S.Include(tisSeparator).Include(tisClicksTransparent);
  SetItemStyle(S);
}

void TTBSeparatorItem::SetBlank(bool Value) {
  if (FBlank == Value) return;
  FBlank = Value;
  Changed(false);
}

TTBControlItem::TTBControlItem(TComponent* AOwner) : TTBCustomItem(AOwner) {
  TTBItemStyle S = ItemStyle();
  S.Exclude(tisSelectable).Include(tisClicksTransparent);
  SetItemStyle(S);
}

TTBControlItem::~TTBControlItem() {
  if (FControl && !FDontFreeControl && !FControl->ComponentState().Contains(csAncestor)) {
    TControl* C = FControl;
    FControl = nullptr;
    delete C;
  }
}

void TTBControlItem::SetControl(TControl* Value) {
  if (FControl == Value) return;
  if (FControl) FControl->RemoveFreeNotification(this);
  FControl = Value;
  if (Value) Value->FreeNotification(this);
  Changed(true);
}

void TTBControlItem::Notification(TComponent* AComponent, TOperation Operation) {
  TTBCustomItem::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FControl) FControl = nullptr;
}
