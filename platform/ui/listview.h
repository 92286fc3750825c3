// The list view: items with a caption, sub-items, images and states, shown
// as icons, small icons, a list or report rows under column headers. Its
// messages (LVM_, and HDM_ to its header) and the notifications it reflects
// to itself (CN_NOTIFY) carry the numbers of the common controls, so that
// derived lists can take them over.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/lists.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/imglist.h"
#include "platform/ui/stdctrls.h"

class TCustomListView;
class TListItems;
class TListColumns;

using TImageIndex = Integer;

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TItemChange { ctText, ctImage, ctState };
enum TItemState { isNone, isCut, isDropHilited, isFocused, isSelected, isActivating };
using TItemStates = TEnumSet<TItemState>;
enum TSearchDirection { sdLeft, sdRight, sdAbove, sdBelow, sdAll };
enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };
enum THitTest {
  htAbove, htBelow, htNowhere, htOnItem, htOnButton, htOnIcon, htOnIndent, htOnLabel, htOnRight, htOnStateIcon,
  htToLeft, htToRight,
};
using THitTests = TEnumSet<THitTest>;
enum TSortType { stNone, stData, stText, stBoth };
enum TListArrangement { arAlignBottom, arAlignLeft, arAlignRight, arAlignTop, arDefault, arSnapToGrid };
enum TCustomDrawTarget { dtControl, dtItem, dtSubItem };
enum TCustomDrawStage { cdPrePaint, cdPostPaint, cdPreErase, cdPostErase };
enum TCustomDrawStateItem {
  cdsSelected, cdsGrayed, cdsDisabled, cdsChecked, cdsFocused, cdsDefault, cdsHot, cdsMarked, cdsIndeterminate,
};
using TCustomDrawState = TEnumSet<TCustomDrawStateItem>;

class TListColumn : public TObject {
 public:
  explicit TListColumn(TListColumns* AOwner);
  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& Value);
  Integer Width() const;
  void SetWidth(Integer Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  Integer Index() const;
  TListColumns* Collection() const { return FOwner; }

 private:
  friend class TCustomListView;
  friend class TListColumns;
  friend class TListViewHost;
  friend class TListModel;
  TListColumns* FOwner;
  WideString FCaption;
  Integer FWidth = 50;
  TAlignment FAlignment = taLeftJustify;
  // What the header shows beyond the caption (HDF_ sort and bitmap bits, HDM_SETITEMW).
  Integer FHeaderFormat = 0;
  HBITMAP FHeaderBitmap = nullptr;
};

class TListColumns : public TObject {
 public:
  explicit TListColumns(TCustomListView* AOwner) : FOwner(AOwner) {}
  ~TListColumns() override;
  TListColumn* Add();
  TListColumn* Items(Integer Index) const;
  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  void Delete(Integer Index);
  void Clear();
  // Changes inside a bracket reach the header once, at its end.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  TCustomListView* Owner() const { return FOwner; }

 private:
  friend class TListColumn;
  friend class TCustomListView;
  void Changed();
  TCustomListView* FOwner;
  std::vector<std::unique_ptr<TListColumn>> FItems;
  Integer FUpdateCount = 0;
  bool FChanged = false;
};

class TListItem : public TObject {
 public:
  explicit TListItem(TListItems* AOwner);
  ~TListItem() override;
  TListItems* Owner() const { return FOwner; }
  TCustomListView* ListView() const;
  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& Value);
  // The texts of the report columns after the first, made on first use.
  TStrings* SubItems();
  TImageIndex ImageIndex() const { return FImageIndex; }
  void SetImageIndex(TImageIndex Value);
  // Image number OverlayIndex of the same image list is drawn over the item's image (-1: none).
  TImageIndex OverlayIndex() const { return FOverlayIndex; }
  void SetOverlayIndex(TImageIndex Value);
  // Image number StateIndex of the state images is drawn before the item's image (0 or less: none).
  TImageIndex StateIndex() const { return FStateIndex; }
  void SetStateIndex(TImageIndex Value);
  bool Selected() const { return (FState & LVIS_SELECTED) != 0; }
  void SetSelected(bool Value);
  bool Focused() const { return (FState & LVIS_FOCUSED) != 0; }
  void SetFocused(bool Value);
  // Drawn dimmed (a cut file).
  bool Cut() const { return (FState & LVIS_CUT) != 0; }
  void SetCut(bool Value);
  // Drawn highlighted as the target of a drag.
  bool DropTarget() const { return (FState & LVIS_DROPHILITED) != 0; }
  void SetDropTarget(bool Value);
  // A flag the program keeps with the item (no check box is drawn for it).
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value) { FChecked = Value; }
  void* Data() const { return FData; }
  void SetData(void* Value);
  Integer Index() const;
  void Delete();
  void MakeVisible(bool PartialOK);
  // Client coordinates of the item's parts.
  TRect DisplayRect(TDisplayCode Code) const;
  // Starts label editing (false when the list refuses it).
  bool EditCaption();
  void CancelEdit();
  void Update();

 private:
  friend class TListItems;
  friend class TCustomListView;
  friend class TListViewHost;
  void SetState(UINT Mask, bool Value);
  void SubItemsChanged();
  TListItems* FOwner;
  WideString FCaption;
  std::unique_ptr<TStringList> FSubItems;
  TImageIndex FImageIndex = -1, FOverlayIndex = -1, FStateIndex = -1;
  UINT FState = 0;
  bool FChecked = false;
  void* FData = nullptr;
  Integer FIndex = -1;
};

class TListItems : public TObject {
 public:
  explicit TListItems(TCustomListView* AOwner) : FOwner(AOwner) {}
  ~TListItems() override;
  TListItem* Add();
  TListItem* Insert(Integer Index);
  TListItem* Item(Integer Index) const;
  TListItem* operator[](Integer Index) const { return Item(Index); }
  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  Integer IndexOf(const TListItem* Value) const;
  void Delete(Integer Index);
  void Clear();
  // Inside a bracket the view is told once, at its end, about added and removed items.
  void BeginUpdate();
  void EndUpdate();
  TCustomListView* Owner() const { return FOwner; }

 private:
  friend class TListItem;
  friend class TCustomListView;
  void Renumber(size_t From);
  TCustomListView* FOwner;
  std::vector<TListItem*> FItems;
  Integer FUpdateCount = 0;
  bool FStructureChanged = false;
};

using TListItemClass = std::function<TListItem*(TListItems* Owner)>;
using TLVNotifyEvent = std::function<void(TObject* Sender, TListItem* Item)>;
using TLVDeletedEvent = TLVNotifyEvent;
using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;
using TLVChangeEvent = std::function<void(TObject* Sender, TListItem* Item, TItemChange Change)>;
using TLVChangingEvent = std::function<void(TObject* Sender, TListItem* Item, TItemChange Change, bool& AllowChange)>;
using TLVColumnClickEvent = std::function<void(TObject* Sender, TListColumn* Column)>;
using TLVCompareEvent =
    std::function<void(TObject* Sender, TListItem* Item1, TListItem* Item2, Integer Data, Integer& Compare)>;
using TLVCustomDrawItemEvent =
    std::function<void(TCustomListView* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw)>;
using TLVEditingEvent = std::function<void(TObject* Sender, TListItem* Item, bool& AllowEdit)>;
using TLVEditedEvent = std::function<void(TObject* Sender, TListItem* Item, WideString& S)>;
using TLVCreateItemClassEvent = std::function<void(TCustomListView* Sender, TListItemClass& ItemClass)>;
// A sort order for CustomSort: below 0 puts Item1 first.
using TLVCompare = std::function<Integer(TListItem* Item1, TListItem* Item2, LPARAM Data)>;

class TCustomListView : public TWinControl {
 public:
  explicit TCustomListView(TComponent* AOwner);
  ~TCustomListView() override;

  TListItems* Items() const { return FItems.get(); }
  TListColumns* Columns() const { return FColumns.get(); }
  TViewStyle ViewStyle() const { return FViewStyle; }
  virtual void SetViewStyle(TViewStyle Value);
  bool MultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool Value);
  bool RowSelect() const { return FRowSelect; }
  void SetRowSelect(bool Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  bool HideSelection() const { return FHideSelection; }
  void SetHideSelection(bool Value);
  bool ShowColumnHeaders() const { return FShowColumnHeaders; }
  void SetShowColumnHeaders(bool Value);
  TCustomImageList* SmallImages() const { return FSmallImages; }
  void SetSmallImages(TCustomImageList* Value);
  TCustomImageList* LargeImages() const { return FLargeImages; }
  void SetLargeImages(TCustomImageList* Value);
  TCustomImageList* StateImages() const { return FStateImages; }
  void SetStateImages(TCustomImageList* Value);
  TSortType SortType() const { return FSortType; }
  void SetSortType(TSortType Value);
  Integer AllocBy() const { return FAllocBy; }
  void SetAllocBy(Integer Value) { FAllocBy = Value; }
  bool AutoArrange() const { return FAutoArrange; }
  void SetAutoArrange(bool Value) { FAutoArrange = Value; }

  // The first selected item (nullptr for none); setting it selects only that item.
  TListItem* Selected() const;
  void SetSelected(TListItem* Value);
  TListItem* ItemFocused() const;
  void SetItemFocused(TListItem* Value);
  Integer SelCount() const { return FSelCount; }
  void ClearSelection();
  virtual void SelectAll();
  // The next item after StartItem (from the first with nullptr) that has all the states.
  TListItem* GetNextItem(TListItem* StartItem, TSearchDirection Direction, TItemStates States) const;
  TListItem* GetItemAt(Integer X, Integer Y);
  THitTests GetHitTestInfoAt(Integer X, Integer Y);
  TListItem* TopItem();
  Integer VisibleRowCount();
  void Scroll(Integer DX, Integer DY);
  void Arrange(TListArrangement Code);
  void UpdateItems(Integer FirstIndex, Integer LastIndex);
  bool AlphaSort();
  // Sorts with SortProc, or with OnCompare (Data passed on), or by caption ignoring case.
  bool CustomSort(const TLVCompare& SortProc, LPARAM Data);
  bool IsEditing() const;
  // The header's window (HDM_ messages; its pixels belong to the list's window).
  HWND HeaderHandle() const { return FHeaderHandle; }
  // The canvas of the row being drawn, during OnCustomDrawItem.
  TCanvas* Canvas() const { return FCanvas.get(); }

  TLVNotifyEvent OnGetImageIndex;
  TLVDeletedEvent OnDeletion;
  TLVNotifyEvent OnInsert;
  TLVSelectItemEvent OnSelectItem;
  TLVChangeEvent OnChange;
  TLVChangingEvent OnChanging;
  TLVColumnClickEvent OnColumnClick;
  TLVCompareEvent OnCompare;
  TLVCustomDrawItemEvent OnCustomDrawItem;
  TLVEditingEvent OnEditing;
  TLVEditedEvent OnEdited;
  TLVCreateItemClassEvent OnCreateItemClass;

 protected:
  friend class TListItem;
  friend class TListItems;
  friend class TListColumns;
  friend class TListColumn;
  friend struct TListViewAccess;
  virtual TListItem* CreateListItem();
  virtual bool CanChange(TListItem* Item, Integer Change);
  virtual void Change(TListItem* Item, Integer Change);
  virtual bool CanEdit(TListItem* Item);
  // The end of label editing; Item.pszText is null when it was cancelled.
  virtual void Edit(const LVITEMW& Item);
  virtual void ColClick(TListColumn* Column);
  virtual void Delete(TListItem* Item);
  virtual void InsertItem(TListItem* Item);
  // Asked when an item is about to be painted (OnGetImageIndex).
  virtual void GetImageIndex(TListItem* Item);
  virtual bool IsCustomDrawn(TCustomDrawTarget Target, TCustomDrawStage Stage);
  // False: the handler drew the item itself.
  virtual bool CustomDrawItem(TListItem* Item, TCustomDrawState State, TCustomDrawStage Stage);
  virtual void CNNotify(TMessage& Message);
  void CreateWindowHandle(const TCreateParams& Params) override;
  void DestroyWnd() override;
  void Dispatch(TMessage& Message) override;
  void FontChanged() override;
  void ColorChanged() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TListViewHost;
  void ChangeImages(TCustomImageList*& Field, TCustomImageList* Value, UINT Slot);
  LRESULT Notify(NMHDR& Header);
  void ItemStateChanging(TListItem* Item, UINT NewState);
  void ItemChanged(TListItem* Item, UINT Changed, UINT OldState);
  void ItemInserted(TListItem* Item);
  void ItemRemoving(TListItem* Item);
  void StructureChanged();
  void ColumnsChanged();
  void ImageListChanged();
  void RepaintItem(const TListItem* Item);
  void SortWith(const std::function<Integer(TListItem*, TListItem*)>& Less);
  void HeaderProc(TMessage& Message);
  LRESULT HandleListMessage(TMessage& Message, bool& Handled);
  HIMAGELIST ImageListFor(UINT Kind) const;

  std::unique_ptr<TListItems> FItems;
  std::unique_ptr<TListColumns> FColumns;
  std::unique_ptr<TCanvas> FCanvas;
  TViewStyle FViewStyle = vsIcon;
  bool FMultiSelect = false, FRowSelect = false, FReadOnly = false, FHideSelection = true;
  bool FShowColumnHeaders = true, FAutoArrange = true;
  TCustomImageList *FSmallImages = nullptr, *FLargeImages = nullptr, *FStateImages = nullptr;
  // By slot: LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE (a link has one list).
  std::unique_ptr<TChangeLink> FImageLinks[3];
  HIMAGELIST FImageHandles[3] = {nullptr, nullptr, nullptr};
  TSortType FSortType = stNone;
  Integer FAllocBy = 0;
  Integer FSelCount = 0;
  DWORD FExStyle = 0;
  COLORREF FTextBkColor = CLR_DEFAULT;
  HWND FHeaderHandle = nullptr;
  bool FDestroying = false;
};

class TListView : public TCustomListView {
 public:
  using TCustomListView::TCustomListView;
};
