// The list view: the items, columns and notifications of the control; its
// window's widget (listview_host.cpp) shows and draws them.
#include "platform/ui/listview.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>
#include <utility>

#include "platform/base/strutils.h"
#include "platform/ui/private/itemviews.h"
#include "platform/ui/private/listviewhost.h"
#include "platform/ui/private/native.h"

using namespace gtui;

namespace {
COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)); }
}  // namespace

// Access from the items to the host of their list's window.
struct TListViewAccess {
  static TListViewHost* Host(const TCustomListView* LV) {
    return LV && !LV->FDestroying ? NativeOf<TListViewHost>(LV->FHandle) : nullptr;
  }
};

namespace {
TListViewHost* HostOf(const TCustomListView* LV) { return TListViewAccess::Host(LV); }
}  // namespace

// ---------------------------------------------------------------- TListColumn(s)

TListColumn::TListColumn(TListColumns* AOwner) : FOwner(AOwner) {}

void TListColumn::SetCaption(const WideString& Value) {
  FCaption = Value;
  FOwner->Changed();
}

Integer TListColumn::Width() const { return FWidth; }

void TListColumn::SetWidth(Integer Value) {
  FWidth = std::max(0, Value);
  FOwner->Changed();
}

void TListColumn::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  FOwner->Changed();
}

Integer TListColumn::Index() const {
  for (Integer i = 0; i < FOwner->Count(); ++i)
    if (FOwner->FItems[static_cast<size_t>(i)].get() == this) return i;
  return -1;
}

TListColumns::~TListColumns() = default;

TListColumn* TListColumns::Add() {
  FItems.push_back(std::make_unique<TListColumn>(this));
  Changed();
  return FItems.back().get();
}

TListColumn* TListColumns::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)].get();
}

void TListColumns::Delete(Integer Index) {
  Items(Index);
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TListColumns::Clear() {
  FItems.clear();
  Changed();
}

void TListColumns::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged) {
    FChanged = false;
    FOwner->ColumnsChanged();
  }
}

void TListColumns::Changed() {
  if (FUpdateCount > 0) {
    FChanged = true;
    return;
  }
  FOwner->ColumnsChanged();
}

// ---------------------------------------------------------------- TListItem

TListItem::TListItem(TListItems* AOwner) : FOwner(AOwner) {}

TListItem::~TListItem() = default;

TCustomListView* TListItem::ListView() const { return FOwner->Owner(); }

Integer TListItem::Index() const { return FIndex; }

void TListItem::SetCaption(const WideString& Value) {
  if (FCaption == Value) return;
  TCustomListView* LV = ListView();
  FCaption = Value;
  LV->ItemChanged(this, LVIF_TEXT, FState);
  if (LV->FSortType == stText || LV->FSortType == stBoth) LV->AlphaSort();
}

TStrings* TListItem::SubItems() {
  if (!FSubItems) {
    FSubItems = std::make_unique<TStringList>();
    FSubItems->OnChange = [this](TObject*) { SubItemsChanged(); };
  }
  return FSubItems.get();
}

void TListItem::SubItemsChanged() { ListView()->RepaintItem(this); }

void TListItem::SetImageIndex(TImageIndex Value) {
  if (FImageIndex == Value) return;
  FImageIndex = Value;
  ListView()->ItemChanged(this, LVIF_IMAGE, FState);
}

void TListItem::SetOverlayIndex(TImageIndex Value) {
  if (FOverlayIndex == Value) return;
  FOverlayIndex = Value;
  ListView()->RepaintItem(this);
}

void TListItem::SetStateIndex(TImageIndex Value) {
  if (FStateIndex == Value) return;
  FStateIndex = Value;
  ListView()->RepaintItem(this);
}

void TListItem::SetSelected(bool Value) { SetState(LVIS_SELECTED, Value); }
void TListItem::SetFocused(bool Value) { SetState(LVIS_FOCUSED, Value); }
void TListItem::SetCut(bool Value) { SetState(LVIS_CUT, Value); }
void TListItem::SetDropTarget(bool Value) { SetState(LVIS_DROPHILITED, Value); }

void TListItem::SetState(UINT Mask, bool Value) {
  const UINT New = Value ? (FState | Mask) : (FState & ~Mask);
  if (New == FState || FIndex < 0) return;
  ListView()->ItemStateChanging(this, New);
}

void TListItem::SetData(void* Value) {
  FData = Value;
  TCustomListView* LV = ListView();
  if (LV->FSortType == stData || LV->FSortType == stBoth) LV->AlphaSort();
}

void TListItem::Delete() { FOwner->Delete(Index()); }

void TListItem::MakeVisible(bool PartialOK) {
  TListViewHost* H = HostOf(ListView());
  if (!H || !H->View || FIndex >= H->Model->Rows) return;
  const QModelIndex I = H->Model->index(FIndex, 0, {});
  const QRect R = H->View->visualRect(I);
  if (PartialOK && R.intersects(H->View->viewport()->rect())) return;
  H->View->scrollTo(I, QAbstractItemView::EnsureVisible);
}

TRect TListItem::DisplayRect(TDisplayCode Code) const {
  TListViewHost* H = HostOf(ListView());
  if (!H) return TRect();
  const TListViewHost::TParts P = H->PartsOf(FIndex);
  QRect R = Code == drIcon ? P.Icon : Code == drLabel ? P.Label : Code == drSelectBounds ? P.SelectBounds : P.Bounds;
  if (R.isNull()) return TRect();
  return TRect(R.left(), R.top(), R.right() + 1, R.bottom() + 1);
}

bool TListItem::EditCaption() {
  TCustomListView* LV = ListView();
  LV->HandleNeeded();
  TListViewHost* H = HostOf(LV);
  if (!H || !H->View || FIndex >= H->Model->Rows) return false;
  MakeVisible(false);
  H->View->setFocus();
  const QModelIndex I = H->Model->index(FIndex, 0, {});
  if (H->ReportView) H->ReportView->StartEdit(I);
  if (H->IconView) H->IconView->StartEdit(I);
  return H->EditingRow == FIndex;
}

void TListItem::CancelEdit() {
  TListViewHost* H = HostOf(ListView());
  if (!H || H->EditingRow != FIndex) return;
  if (H->ReportView) H->ReportView->CancelEditing();
  if (H->IconView) H->IconView->CancelEditing();
}

void TListItem::Update() { ListView()->RepaintItem(this); }

// ---------------------------------------------------------------- TListItems

TListItems::~TListItems() {
  for (TListItem* I : FItems) delete I;
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(Integer Index) {
  Index = std::clamp<Integer>(Index, 0, Count());
  TListItem* Item = FOwner->CreateListItem();
  FItems.insert(FItems.begin() + Index, Item);
  Renumber(static_cast<size_t>(Index));
  FOwner->ItemInserted(Item);
  return Item;
}

TListItem* TListItems::Item(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)];
}

Integer TListItems::IndexOf(const TListItem* Value) const {
  return Value && Value->FOwner == this ? Value->FIndex : -1;
}

void TListItems::Delete(Integer Index) {
  TListItem* Item = this->Item(Index);
  FOwner->ItemRemoving(Item);
  Index = Item->FIndex;  // a deletion handler may have moved things
  if (Index < 0 || Index >= Count() || FItems[static_cast<size_t>(Index)] != Item) return;
  TListViewHost* H = FUpdateCount > 0 ? nullptr : HostOf(FOwner);
  if (FUpdateCount > 0) FStructureChanged = true;
  if (H) H->Model->BeginRemoveRow(Index);
  FItems.erase(FItems.begin() + Index);
  Renumber(static_cast<size_t>(Index));
  if (H) H->Model->EndRemoveRow();
  Item->FIndex = -1;
  delete Item;
}

void TListItems::Clear() {
  BeginUpdate();
  try {
    while (Count() > 0) Delete(Count() - 1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TListItems::BeginUpdate() { ++FUpdateCount; }

void TListItems::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0) return;
  if (FStructureChanged) {
    FStructureChanged = false;
    FOwner->StructureChanged();
  }
}

void TListItems::Renumber(size_t From) {
  for (size_t i = From; i < FItems.size(); ++i) FItems[i]->FIndex = static_cast<Integer>(i);
}

// ---------------------------------------------------------------- TCustomListView

TCustomListView::TCustomListView(TComponent* AOwner)
    : TWinControl(AOwner),
      FItems(std::make_unique<TListItems>(this)),
      FColumns(std::make_unique<TListColumns>(this)),
      FCanvas(std::make_unique<TCanvas>()) {
  FControlStyle = TControlStyle{csSetCaption, csDoubleClicks, csOpaque};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  SetBounds(0, 0, 250, 150);
  for (auto& Link : FImageLinks) {
    Link = std::make_unique<TChangeLink>();
    Link->OnChange = [this](TObject*) { ImageListChanged(); };
  }
}

TCustomListView::~TCustomListView() {
  FDestroying = true;
  if (TListViewHost* H = NativeOf<TListViewHost>(FHandle)) H->LV = nullptr;
  if (FHeaderHandle) DestroyWindow(std::exchange(FHeaderHandle, nullptr));
  ChangeImages(FSmallImages, nullptr, LVSIL_SMALL);
  ChangeImages(FLargeImages, nullptr, LVSIL_NORMAL);
  ChangeImages(FStateImages, nullptr, LVSIL_STATE);
}

void TCustomListView::ChangeImages(TCustomImageList*& Field, TCustomImageList* Value, UINT Slot) {
  if (Field == Value) return;
  TCustomImageList* Old = Field;
  Field = Value;
  FImageHandles[Slot] = Value ? Value->Handle() : nullptr;
  auto Used = [this](TCustomImageList* L) { return L == FSmallImages || L == FLargeImages || L == FStateImages; };
  // A list in two slots stays linked until it leaves both.
  TChangeLink* Link = FImageLinks[Slot].get();
  if (Old) {
    Old->UnRegisterChanges(Link);
    if (!Used(Old)) Old->RemoveFreeNotification(this);
  }
  if (Value) {
    Value->RegisterChanges(Link);
    Value->FreeNotification(this);
  }
}

void TCustomListView::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  // An image list that goes away leaves the list without it, never with a dangling one.
  bool Changed = false;
  TCustomImageList** Fields[] = {&FLargeImages, &FSmallImages, &FStateImages};
  for (UINT Slot = 0; Slot <= LVSIL_STATE; ++Slot)
    if (*Fields[Slot] && *Fields[Slot] == AComponent) {
      *Fields[Slot] = nullptr;
      FImageHandles[Slot] = nullptr;
      Changed = true;
    }
  if (Changed && !FDestroying) ImageListChanged();
}

HIMAGELIST TCustomListView::ImageListFor(UINT Kind) const { return Kind <= LVSIL_STATE ? FImageHandles[Kind] : nullptr; }

TListItem* TCustomListView::CreateListItem() {
  TListItemClass Class;
  if (OnCreateItemClass) OnCreateItemClass(this, Class);
  return Class ? Class(FItems.get()) : new TListItem(FItems.get());
}

LRESULT TCustomListView::Notify(NMHDR& Header) {
  Header.hwndFrom = FHandle;
  if (!FHandle) {
    // Without a window the notification still reaches the control's own handling.
    TMessage M{CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header), 0};
    WindowProc(M);
    return M.Result;
  }
  return SendMessage(FHandle, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header));
}

void TCustomListView::ItemStateChanging(TListItem* Item, UINT NewState) {
  if (FDestroying) {
    Item->FState = NewState;
    return;
  }
  const UINT Old = Item->FState;
  const Integer Index = Item->FIndex;
  auto Alive = [&] { return Index < FItems->Count() && FItems->FItems[static_cast<size_t>(Index)] == Item; };
  NMLISTVIEW N;
  N.hdr.code = LVN_ITEMCHANGING;
  N.iItem = Item->FIndex;
  N.uOldState = Old;
  N.uNewState = NewState;
  N.uChanged = LVIF_STATE;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  if (Notify(N.hdr) != 0) {
    // Refused: the view shows the item as it was.
    if (TListViewHost* H = HostOf(this); H && Alive()) H->SyncItemToQt(Index);
    return;
  }
  if (!Alive()) return;
  // A single-selection list keeps one selected and one focused item.
  if ((NewState & ~Old & LVIS_SELECTED) && !FMultiSelect && FSelCount > 0)
    for (TListItem* Other : FItems->FItems)
      if (Other != Item && Other->Selected()) Other->SetSelected(false);
  if (NewState & ~Old & LVIS_FOCUSED)
    if (TListItem* F = ItemFocused(); F && F != Item) F->SetFocused(false);
  if (!Alive()) return;
  const UINT Now = Item->FState;
  Item->FState = (Now & ~(Old ^ NewState)) | (NewState & (Old ^ NewState));
  if ((Item->FState ^ Now) & LVIS_SELECTED) FSelCount += Item->Selected() ? 1 : -1;
  if (TListViewHost* H = HostOf(this)) {
    H->SyncItemToQt(Item->FIndex);
    H->Model->RowChanged(Item->FIndex);
  }
  ItemChanged(Item, LVIF_STATE, Now);
}

void TCustomListView::ItemChanged(TListItem* Item, UINT Changed, UINT OldState) {
  if (FDestroying || Item->FIndex < 0) return;
  if (Changed != LVIF_STATE) RepaintItem(Item);
  NMLISTVIEW N;
  N.hdr.code = LVN_ITEMCHANGED;
  N.iItem = Item->FIndex;
  N.uOldState = OldState;
  N.uNewState = Item->FState;
  N.uChanged = Changed;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::RepaintItem(const TListItem* Item) {
  TListViewHost* H = HostOf(this);
  if (!H || !Item || Item->FIndex < 0 || H->PaintingRow == Item->FIndex) return;
  if (FItems->FUpdateCount > 0) return;
  H->Model->RowChanged(Item->FIndex);
}

void TCustomListView::ItemInserted(TListItem* Item) {
  if (FItems->FUpdateCount > 0) {
    FItems->FStructureChanged = true;
  } else if (TListViewHost* H = HostOf(this)) {
    H->Model->InsertRow(Item->FIndex);
  }
  NMLISTVIEW N;
  N.hdr.code = LVN_FIRST - 2;  // LVN_INSERTITEM
  N.iItem = Item->FIndex;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::ItemRemoving(TListItem* Item) {
  if (Item->Selected()) --FSelCount;
  if (TListViewHost* H = HostOf(this); H && H->EditingRow == Item->FIndex) {
    Item->CancelEdit();
    H->EditingRow = -1;
  }
  if (FDestroying) return;
  NMLISTVIEW N;
  N.hdr.code = LVN_DELETEITEM;
  N.iItem = Item->FIndex;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::StructureChanged() {
  if (TListViewHost* H = HostOf(this)) {
    H->Model->Reset();
    H->SyncSelectionToQt();
  }
}

void TCustomListView::ColumnsChanged() {
  if (TListViewHost* H = HostOf(this)) H->SyncColumns();
}

void TCustomListView::ImageListChanged() {
  if (FSmallImages) FImageHandles[LVSIL_SMALL] = FSmallImages->Handle();
  if (FLargeImages) FImageHandles[LVSIL_NORMAL] = FLargeImages->Handle();
  if (FStateImages) FImageHandles[LVSIL_STATE] = FStateImages->Handle();
  if (TListViewHost* H = HostOf(this)) {
    H->ApplyOptions();
    if (H->View) {
      H->View->doItemsLayout();
      H->View->viewport()->update();
    }
  }
}

void TCustomListView::SetSmallImages(TCustomImageList* Value) {
  ChangeImages(FSmallImages, Value, LVSIL_SMALL);
  ImageListChanged();
}

void TCustomListView::SetLargeImages(TCustomImageList* Value) {
  ChangeImages(FLargeImages, Value, LVSIL_NORMAL);
  ImageListChanged();
}

void TCustomListView::SetStateImages(TCustomImageList* Value) {
  ChangeImages(FStateImages, Value, LVSIL_STATE);
  ImageListChanged();
}

void TCustomListView::SetViewStyle(TViewStyle Value) {
  if (FViewStyle == Value) return;
  FViewStyle = Value;
  if (TListViewHost* H = HostOf(this)) H->MakeView();
}

void TCustomListView::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetRowSelect(bool Value) {
  FRowSelect = Value;
  FExStyle = Value ? (FExStyle | LVS_EX_FULLROWSELECT) : (FExStyle & ~LVS_EX_FULLROWSELECT);
  Invalidate();
}

void TCustomListView::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetHideSelection(bool Value) {
  FHideSelection = Value;
  Invalidate();
}

void TCustomListView::SetShowColumnHeaders(bool Value) {
  FShowColumnHeaders = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetSortType(TSortType Value) {
  if (FSortType == Value) return;
  FSortType = Value;
  if (Value != stNone) AlphaSort();
}

TListItem* TCustomListView::Selected() const {
  if (FSelCount <= 0) return nullptr;
  for (TListItem* I : FItems->FItems)
    if (I->Selected()) return I;
  return nullptr;
}

void TCustomListView::SetSelected(TListItem* Value) {
  ClearSelection();
  if (Value) Value->SetSelected(true);
}

TListItem* TCustomListView::ItemFocused() const {
  for (TListItem* I : FItems->FItems)
    if (I->Focused()) return I;
  return nullptr;
}

void TCustomListView::SetItemFocused(TListItem* Value) {
  if (Value) {
    Value->SetFocused(true);
  } else if (TListItem* F = ItemFocused()) {
    F->SetFocused(false);
  }
}

void TCustomListView::ClearSelection() {
  for (TListItem* I : std::vector<TListItem*>(FItems->FItems)) {
    if (FSelCount <= 0) break;
    if (I->FIndex >= 0 && I->Selected()) I->SetSelected(false);
  }
}

void TCustomListView::SelectAll() {
  if (!FMultiSelect) return;
  for (TListItem* I : std::vector<TListItem*>(FItems->FItems))
    if (I->FIndex >= 0) I->SetSelected(true);
}

TListItem* TCustomListView::GetNextItem(TListItem* StartItem, TSearchDirection, TItemStates States) const {
  UINT Mask = 0;
  if (States.Contains(isCut)) Mask |= LVIS_CUT;
  if (States.Contains(isDropHilited)) Mask |= LVIS_DROPHILITED;
  if (States.Contains(isFocused)) Mask |= LVIS_FOCUSED;
  if (States.Contains(isSelected)) Mask |= LVIS_SELECTED;
  const Integer Start = StartItem ? StartItem->FIndex + 1 : 0;
  for (Integer i = std::max<Integer>(0, Start); i < FItems->Count(); ++i) {
    TListItem* I = FItems->FItems[static_cast<size_t>(i)];
    if ((I->FState & Mask) == Mask) return I;
  }
  return nullptr;
}

TListItem* TCustomListView::GetItemAt(Integer X, Integer Y) {
  int Row = -1;
  TListViewHost* H = HostOf(this);
  if (!H || !(H->HitTest(QPoint(X, Y), Row) & LVHT_ONITEM)) return nullptr;
  return Row >= 0 && Row < FItems->Count() ? FItems->Item(Row) : nullptr;
}

THitTests TCustomListView::GetHitTestInfoAt(Integer X, Integer Y) {
  LVHITTESTINFO Info;
  Info.pt = TPoint(X, Y);
  Perform(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Info));
  THitTests R;
  const UINT F = Info.flags;
  if (F & LVHT_NOWHERE) R.Include(htNowhere);
  if (F & LVHT_ONITEMICON) R.Include(htOnIcon);
  if (F & LVHT_ONITEMLABEL) R.Include(htOnLabel);
  // The same bit means "above" when no item was hit.
  if (F & LVHT_ONITEMSTATEICON) R.Include(Info.iItem >= 0 ? htOnStateIcon : htAbove);
  if (F & LVHT_ONITEM && Info.iItem >= 0) R.Include(htOnItem);
  if (F & LVHT_BELOW) R.Include(htBelow);
  if (F & LVHT_TORIGHT) R.Include(htToRight);
  if (F & LVHT_TOLEFT) R.Include(htToLeft);
  return R;
}

TListItem* TCustomListView::TopItem() {
  const LRESULT I = Perform(LVM_GETTOPINDEX, 0, 0);
  return I >= 0 && I < FItems->Count() ? FItems->Item(static_cast<Integer>(I)) : nullptr;
}

Integer TCustomListView::VisibleRowCount() { return static_cast<Integer>(Perform(LVM_GETCOUNTPERPAGE, 0, 0)); }

void TCustomListView::Scroll(Integer DX, Integer DY) {
  TListViewHost* H = HostOf(this);
  if (!H || !H->View) return;
  if (DX) H->View->horizontalScrollBar()->setValue(H->View->horizontalScrollBar()->value() + DX);
  if (DY) H->View->verticalScrollBar()->setValue(H->View->verticalScrollBar()->value() + DY);
}

void TCustomListView::Arrange(TListArrangement) {
  if (TListViewHost* H = HostOf(this); H && H->View) H->View->doItemsLayout();
}

void TCustomListView::UpdateItems(Integer FirstIndex, Integer LastIndex) {
  TListViewHost* H = HostOf(this);
  if (!H) return;
  for (Integer i = std::max(0, FirstIndex); i <= LastIndex && i < FItems->Count(); ++i) H->Model->RowChanged(i);
}

bool TCustomListView::AlphaSort() { return CustomSort(nullptr, 0); }

bool TCustomListView::CustomSort(const TLVCompare& SortProc, LPARAM Data) {
  if (SortProc) {
    SortWith([&](TListItem* A, TListItem* B) { return SortProc(A, B, Data); });
  } else {
    SortWith([&](TListItem* A, TListItem* B) {
      Integer R = 0;
      if (OnCompare)
        OnCompare(this, A, B, static_cast<Integer>(Data), R);
      else
        R = WideCompareText(A->Caption(), B->Caption());
      return R;
    });
  }
  return true;
}

void TCustomListView::SortWith(const std::function<Integer(TListItem*, TListItem*)>& Compare) {
  std::vector<TListItem*>& V = FItems->FItems;
  std::stable_sort(V.begin(), V.end(), [&](TListItem* A, TListItem* B) { return Compare(A, B) < 0; });
  FItems->Renumber(0);
  if (FItems->FUpdateCount > 0) {
    FItems->FStructureChanged = true;
    return;
  }
  if (TListViewHost* H = HostOf(this)) {
    H->Model->Reordered();
    H->SyncSelectionToQt();
  }
}

bool TCustomListView::IsEditing() const {
  TListViewHost* H = HostOf(this);
  return H && H->EditingRow >= 0;
}

bool TCustomListView::CanChange(TListItem* Item, Integer Change) {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Item, static_cast<TItemChange>(Change), Allow);
  return Allow;
}

void TCustomListView::Change(TListItem* Item, Integer Change) {
  if (OnChange) OnChange(this, Item, static_cast<TItemChange>(Change));
}

bool TCustomListView::CanEdit(TListItem* Item) {
  bool Allow = !FReadOnly;
  if (Allow && OnEditing) OnEditing(this, Item, Allow);
  return Allow;
}

void TCustomListView::Edit(const LVITEMW& Item) {
  if (!Item.pszText || Item.iItem < 0 || Item.iItem >= FItems->Count()) return;
  TListItem* It = FItems->Item(Item.iItem);
  WideString S(Item.pszText);
  if (OnEdited) OnEdited(this, It, S);
  if (It->FIndex >= 0) It->SetCaption(S);
}

void TCustomListView::ColClick(TListColumn* Column) {
  if (OnColumnClick) OnColumnClick(this, Column);
}

void TCustomListView::Delete(TListItem* Item) {
  if (OnDeletion) OnDeletion(this, Item);
}

void TCustomListView::InsertItem(TListItem* Item) {
  if (OnInsert) OnInsert(this, Item);
}

void TCustomListView::GetImageIndex(TListItem* Item) {
  if (OnGetImageIndex) OnGetImageIndex(this, Item);
}

bool TCustomListView::IsCustomDrawn(TCustomDrawTarget Target, TCustomDrawStage Stage) {
  return Target == dtItem && Stage == cdPrePaint && static_cast<bool>(OnCustomDrawItem);
}

bool TCustomListView::CustomDrawItem(TListItem* Item, TCustomDrawState State, TCustomDrawStage Stage) {
  bool DefaultDraw = true;
  if (Stage == cdPrePaint && OnCustomDrawItem) OnCustomDrawItem(this, Item, State, DefaultDraw);
  return DefaultDraw;
}

void TCustomListView::CNNotify(TMessage& M) {
  auto* H = reinterpret_cast<NMHDR*>(M.LParam);
  M.Result = 0;
  if (!H) return;
  auto ItemAt = [this](Integer I) { return I >= 0 && I < FItems->Count() ? FItems->Item(I) : nullptr; };
  switch (H->code) {
    case LVN_ITEMCHANGING: {
      auto* N = reinterpret_cast<NMLISTVIEW*>(H);
      if (TListItem* I = ItemAt(N->iItem))
        M.Result = CanChange(I, N->uChanged == LVIF_TEXT ? ctText : N->uChanged == LVIF_IMAGE ? ctImage : ctState) ? 0 : 1;
      break;
    }
    case LVN_ITEMCHANGED: {
      auto* N = reinterpret_cast<NMLISTVIEW*>(H);
      TListItem* I = ItemAt(N->iItem);
      if (!I) break;
      Change(I, N->uChanged == LVIF_TEXT ? ctText : N->uChanged == LVIF_IMAGE ? ctImage : ctState);
      // A handler may have deleted the item.
      if (ItemAt(N->iItem) != I) break;
      if (N->uChanged == LVIF_STATE && ((N->uOldState ^ N->uNewState) & LVIS_SELECTED) && OnSelectItem)
        OnSelectItem(this, I, (N->uNewState & LVIS_SELECTED) != 0);
      break;
    }
    case LVN_FIRST - 2: {  // LVN_INSERTITEM
      if (TListItem* I = ItemAt(reinterpret_cast<NMLISTVIEW*>(H)->iItem)) InsertItem(I);
      break;
    }
    case LVN_DELETEITEM: {
      if (TListItem* I = ItemAt(reinterpret_cast<NMLISTVIEW*>(H)->iItem)) Delete(I);
      break;
    }
    case LVN_COLUMNCLICK: {
      const Integer C = reinterpret_cast<NMLISTVIEW*>(H)->iSubItem;
      if (C >= 0 && C < FColumns->Count()) ColClick(FColumns->Items(C));
      break;
    }
    case LVN_GETDISPINFOW: {
      auto* D = reinterpret_cast<NMLVDISPINFOW*>(H);
      if (TListItem* I = ItemAt(D->item.iItem); I && (D->item.mask & LVIF_IMAGE)) {
        GetImageIndex(I);
        D->item.iImage = I->FIndex >= 0 ? I->ImageIndex() : -1;
      }
      break;
    }
    case LVN_BEGINLABELEDITW: {
      TListItem* I = ItemAt(reinterpret_cast<NMLVDISPINFOW*>(H)->item.iItem);
      M.Result = I && CanEdit(I) ? 0 : 1;
      break;
    }
    case LVN_ENDLABELEDITW: Edit(reinterpret_cast<NMLVDISPINFOW*>(H)->item); break;
    case NM_CUSTOMDRAW: {
      auto* CD = reinterpret_cast<NMLVCUSTOMDRAW*>(H);
      if (CD->nmcd.dwDrawStage == CDDS_PREPAINT) {
        M.Result = IsCustomDrawn(dtItem, cdPrePaint) ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
      } else if (CD->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        TListItem* I = ItemAt(static_cast<Integer>(CD->nmcd.dwItemSpec));
        if (!I) break;
        TCustomDrawState S;
        if (CD->nmcd.uItemState & CDIS_SELECTED) S.Include(cdsSelected);
        if (CD->nmcd.uItemState & CDIS_FOCUS) S.Include(cdsFocused);
        const TColor FontBefore = FCanvas->Font()->Color(), BrushBefore = FCanvas->Brush()->Color();
        if (!CustomDrawItem(I, S, cdPrePaint)) {
          M.Result = CDRF_SKIPDEFAULT;
        } else {
          if (FCanvas->Font()->Color() != FontBefore) CD->clrText = Rgb(FCanvas->Font()->Color());
          if (FCanvas->Brush()->Color() != BrushBefore) CD->clrTextBk = Rgb(FCanvas->Brush()->Color());
          M.Result = CDRF_NEWFONT;
        }
      }
      break;
    }
    default: break;
  }
}

LRESULT TCustomListView::HandleListMessage(TMessage& M, bool& Handled) {
  Handled = true;
  TListViewHost* H = HostOf(this);
  switch (M.Msg) {
    case LVM_SETBKCOLOR:
      if (static_cast<COLORREF>(M.LParam) != CLR_NONE) SetColor(static_cast<TColor>(M.LParam));
      return TRUE;
    case LVM_SETTEXTBKCOLOR:
      FTextBkColor = static_cast<COLORREF>(M.LParam);
      Invalidate();
      return TRUE;
    case LVM_SETIMAGELIST: {
      if (M.WParam > LVSIL_STATE) return 0;
      HIMAGELIST Old = FImageHandles[M.WParam];
      FImageHandles[M.WParam] = reinterpret_cast<HIMAGELIST>(M.LParam);
      if (H) {
        H->ApplyOptions();
        if (H->View) H->View->doItemsLayout();
        Invalidate();
      }
      return reinterpret_cast<LRESULT>(Old);
    }
    case LVM_GETITEMCOUNT: return FItems->Count();
    case LVM_GETNEXTITEM: {
      const Integer Start = static_cast<Integer>(static_cast<intptr_t>(M.WParam));
      TItemStates S;
      if (M.LParam & LVNI_CUT) S.Include(isCut);
      if (M.LParam & LVNI_DROPHILITED) S.Include(isDropHilited);
      if (M.LParam & LVNI_FOCUSED) S.Include(isFocused);
      if (M.LParam & LVNI_SELECTED) S.Include(isSelected);
      TListItem* I = GetNextItem(Start >= 0 && Start < FItems->Count() ? FItems->Item(Start) : nullptr, sdAll, S);
      return I ? I->FIndex : -1;
    }
    case LVM_GETITEMRECT: {
      auto* R = reinterpret_cast<TRect*>(M.LParam);
      const Integer Index = static_cast<Integer>(M.WParam);
      if (!R || Index < 0 || Index >= FItems->Count()) return FALSE;
      const Integer Code = R->Left;
      *R = FItems->Item(Index)->DisplayRect(Code == LVIR_ICON ? drIcon : Code == LVIR_LABEL ? drLabel
                                            : Code == LVIR_SELECTBOUNDS ? drSelectBounds : drBounds);
      return TRUE;
    }
    case LVM_HITTEST: {
      auto* Info = reinterpret_cast<LVHITTESTINFO*>(M.LParam);
      if (!Info) return -1;
      int Row = -1;
      Info->flags = H ? H->HitTest(QPoint(Info->pt.X, Info->pt.Y), Row) : LVHT_NOWHERE;
      Info->iItem = Row;
      Info->iSubItem = 0;
      return Row;
    }
    case LVM_ENSUREVISIBLE: {
      const Integer Index = static_cast<Integer>(M.WParam);
      if (Index < 0 || Index >= FItems->Count()) return FALSE;
      FItems->Item(Index)->MakeVisible(M.LParam != 0);
      return TRUE;
    }
    case LVM_GETHEADER: return reinterpret_cast<LRESULT>(FHeaderHandle);
    case LVM_GETTOPINDEX: {
      if (!H || !H->View) return 0;
      const QModelIndex I = H->View->indexAt(QPoint(2, 1));
      return I.isValid() ? I.row() : 0;
    }
    case LVM_GETCOUNTPERPAGE: {
      if (!H || !H->View) return 0;
      if (FViewStyle == vsIcon || FViewStyle == vsSmallIcon) return FItems->Count();
      return std::max<Integer>(1, H->View->viewport()->height() / std::max<Integer>(1, H->RowHeight()));
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD Old = FExStyle;
      const DWORD Mask = M.WParam ? static_cast<DWORD>(M.WParam) : 0xFFFFFFFFu;
      FExStyle = (FExStyle & ~Mask) | (static_cast<DWORD>(M.LParam) & Mask);
      FRowSelect = (FExStyle & LVS_EX_FULLROWSELECT) != 0;
      Invalidate();
      return Old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return FExStyle;
    case LVM_SETBKIMAGEW: {
      auto* B = reinterpret_cast<const LVBKIMAGEW*>(M.LParam);
      if (!B || !H) return FALSE;
      if ((B->ulFlags & 0x3) == LVBKIF_SOURCE_NONE) {
        H->Background = QImage();
      } else if ((B->ulFlags & 0x3) == LVBKIF_SOURCE_URL && B->pszImage) {
        QImage Img(QString::fromUtf16(B->pszImage));
        if (Img.isNull()) return FALSE;
        H->Background = Img.convertToFormat(QImage::Format_RGB32);
      } else {
        return FALSE;
      }
      H->BackgroundFlags = B->ulFlags;
      H->BackgroundX = std::clamp(B->xOffsetPercent, 0, 100);
      H->BackgroundY = std::clamp(B->yOffsetPercent, 0, 100);
      if (H->View) H->View->viewport()->update();
      return TRUE;
    }
    default: Handled = false; return 0;
  }
}

void TCustomListView::Dispatch(TMessage& M) {
  if (M.Msg == CN_NOTIFY) {
    CNNotify(M);
    return;
  }
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  if ((M.Msg >= LVM_FIRST && M.Msg < LVM_FIRST + 0x100)) {
    bool Handled = false;
    LRESULT R = HandleListMessage(M, Handled);
    if (Handled) {
      M.Result = R;
      return;
    }
  }
  TWinControl::Dispatch(M);
}

void TCustomListView::HeaderProc(TMessage& M) {
  M.Result = 0;
  auto Column = [this](WPARAM I) {
    return static_cast<Integer>(I) < FColumns->Count() ? FColumns->Items(static_cast<Integer>(I)) : nullptr;
  };
  switch (M.Msg) {
    case HDM_GETITEMCOUNT: M.Result = FColumns->Count(); return;
    case HDM_GETITEMW: {
      auto* Item = reinterpret_cast<HDITEMW*>(M.LParam);
      TListColumn* C = Column(M.WParam);
      if (!Item || !C) return;
      if (Item->mask & HDI_FORMAT)
        Item->fmt = HDF_STRING | C->FHeaderFormat |
                    (C->FAlignment == taRightJustify ? HDF_RIGHT : C->FAlignment == taCenter ? HDF_CENTER : HDF_LEFT);
      if (Item->mask & HDI_WIDTH) Item->cxy = C->Width();
      if (Item->mask & HDI_BITMAP) Item->hbm = C->FHeaderBitmap;
      if ((Item->mask & HDI_TEXT) && Item->pszText && Item->cchTextMax > 0) {
        const size_t N = std::min(C->FCaption.size(), static_cast<size_t>(Item->cchTextMax - 1));
        std::copy_n(C->FCaption.begin(), N, Item->pszText);
        Item->pszText[N] = 0;
      }
      M.Result = TRUE;
      return;
    }
    case HDM_SETITEMW: {
      auto* Item = reinterpret_cast<const HDITEMW*>(M.LParam);
      TListColumn* C = Column(M.WParam);
      if (!Item || !C) return;
      if (Item->mask & HDI_FORMAT) {
        C->FHeaderFormat = Item->fmt & (HDF_SORTUP | HDF_SORTDOWN | HDF_BITMAP | HDF_BITMAP_ON_RIGHT);
        const Integer J = Item->fmt & HDF_JUSTIFYMASK;
        C->FAlignment = J == HDF_RIGHT ? taRightJustify : J == HDF_CENTER ? taCenter : taLeftJustify;
      }
      if (Item->mask & HDI_BITMAP) C->FHeaderBitmap = Item->hbm;
      if (Item->mask & HDI_WIDTH) C->FWidth = std::max(0, Item->cxy);
      if ((Item->mask & HDI_TEXT) && Item->pszText) C->FCaption = Item->pszText;
      if (TListViewHost* H = HostOf(this)) {
        if (Item->mask & (HDI_WIDTH | HDI_TEXT)) H->SyncColumns();
        H->SyncHeaderLook();
      }
      M.Result = TRUE;
      return;
    }
    case HDM_GETITEMRECT: {
      auto* R = reinterpret_cast<TRect*>(M.LParam);
      TListViewHost* H = HostOf(this);
      if (!R || !H || !H->ReportView || static_cast<Integer>(M.WParam) >= H->ReportView->header()->count()) return;
      QHeaderView* HV = H->ReportView->header();
      const int I = static_cast<int>(M.WParam);
      *R = TRect(HV->sectionViewportPosition(I), 0, HV->sectionViewportPosition(I) + HV->sectionSize(I), HV->height());
      M.Result = TRUE;
      return;
    }
    default: M.Result = DefWindowProc(FHeaderHandle, M.Msg, M.WParam, M.LParam); return;
  }
}

void TCustomListView::CreateWindowHandle(const TCreateParams& P) {
  auto* Host = new TListViewHost(this);
  Host->setFocusPolicy(Qt::StrongFocus);
  CreateNativeWindow(P, Host, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  Host->MakeView();
  // The header has a window of its own for its messages; the shell list
  // subclasses it when told of its creation.
  FHeaderHandle = AllocateHWnd([this](TMessage& M) { HeaderProc(M); });
  Perform(WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 0), reinterpret_cast<LPARAM>(FHeaderHandle));
}

void TCustomListView::DestroyWnd() {
  if (TListViewHost* H = NativeOf<TListViewHost>(FHandle)) {
    if (H->EditingRow >= 0) H->EditingRow = -1;
    H->LV = nullptr;
  }
  if (FHeaderHandle) {
    HWND Header = FHeaderHandle;
    FHeaderHandle = nullptr;
    DestroyWindow(Header);
  }
  TWinControl::DestroyWnd();
}

void TCustomListView::FontChanged() {
  TWinControl::FontChanged();
  if (TListViewHost* H = HostOf(this)) {
    H->setFont(ToQFont(FFont.get()));
    H->ApplyOptions();
    if (H->View) H->View->doItemsLayout();
  }
}

void TCustomListView::ColorChanged() {
  TWinControl::ColorChanged();
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

// ---------------------------------------------------------------- subclassing

TWndMethod SubclassWindow(HWND Wnd, const TWndMethod& NewProc) {
  TWindow* W = Lookup(Wnd);
  if (!W || !NewProc) return nullptr;
  TWndMethod Old = W->Proc;
  W->Proc = NewProc;
  return Old;
}
