// Items of toolbars, menu bars and popup menus: commands with caption,
// image, check state, shortcut and sub-items. Items never draw themselves;
// the views that show them listen to the changes items broadcast.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/base/components.h"
#include "platform/base/sysutils.h"
#include "platform/ui/controls.h"
#include "platform/ui/menus.h"

class TTBCustomItem;
class TTBItemViewer;
class TTBView;
class TTBPopupWindow;
class TBasicAction;
class TTBCustomItemActionLink;
class TCustomImageList;
class TTBImageChangeLink;

using TShortCut = Word;

GT_DECLARE_EXCEPTION(ETBItemError, Exception)

enum TTBItemDisplayMode { nbdmDefault, nbdmTextOnly, nbdmTextOnlyInMenus, nbdmImageAndText };

enum TTBItemOption {
  tboDefault,
  tboDropdownArrow,
  tboImageAboveCaption,
  tboLongHintInMenuOnly,
  tboNoAutoHint,
  tboNoRotation,
  tboSameWidth,
  tboShowHint,
  tboToolbarStyle,
  tboToolbarSize,
};
using TTBItemOptions = TEnumSet<TTBItemOption>;

enum TTBItemStyleFlag {
  tisSubmenu = 0,
  tisSelectable = 1,
  tisSeparator = 2,
  tisEmbeddedGroup = 3,
  tisClicksTransparent = 4,
  tisCombo = 5,
  tisNoAutoOpen = 6,
  tisNoLineBreak = 8,
  tisRightAlign = 9,
  tisDontSelectFirst = 10,
  tisRedrawOnSelChange = 11,
  tisRedrawOnMouseOverChange = 12,
};
using TTBItemStyle = TEnumSet<TTBItemStyleFlag>;

enum TTBItemChange {
  icInserted,
  icDeleting,
  icSubitemsChanged,
  icBeginUpdate,
  icEndUpdate,
  icInvalidate,
  icInvalidateAndResize,
  icNameChanged,
  icSubmenuImagesChanged,
};

// A change listener. Two listeners are the same when they name the same
// object and the same method tag, as two method pointers are equal when
// both their parts are.
struct TTBItemChangeProc {
  using TCall = std::function<void(TTBCustomItem* Sender, bool Relayed, TTBItemChange Change, Integer Index,
                                   TTBCustomItem* Item)>;
  const void* Object = nullptr;
  uintptr_t Method = 0;
  TCall Call;
  bool SameAs(const TTBItemChangeProc& Other) const { return Object == Other.Object && Method == Other.Method; }
};

// One registered listener and how often it was registered.
class TItemChangedNotificationData : public TObject {
 public:
  TTBItemChangeProc Proc;
  Integer RefCount = 0;
};

using TTBPopupEvent = std::function<void(TTBCustomItem* Sender, bool FromLink)>;
using TTBSelectEvent = std::function<void(TTBCustomItem* Sender, TTBItemViewer* Viewer, bool Selecting)>;

// A component that holds an item tree (toolbars, popup menus).
class ITBItemContainer {
 public:
  virtual ~ITBItemContainer() = default;
  virtual TTBCustomItem* GetRootItem() = 0;
};

// The component itself when it is an item, the root of an item container,
// or nullptr.
TTBCustomItem* ItemContainerOf(TComponent* Component);

// The item's OnClick takes this when it runs its action's OnExecute, so
// that "the click handler is the action's" stays a question one can ask.
// It keeps its own copy of the handler: the action is named only to be
// compared, never reached through, as it may be gone by the time of a click.
struct TTBActionExecute {
  const TBasicAction* Action = nullptr;
  TNotifyEvent Handler;
  void operator()(TObject* Sender) const {
    if (Handler) Handler(Sender);
  }
};
// Whether Handler is Action's OnExecute as an item took it (both empty counts).
bool IsActionExecuteHandler(const TNotifyEvent& Handler, const TBasicAction* Action);

class TTBCustomItem : public TComponent {
 public:
  explicit TTBCustomItem(TComponent* AOwner);
  ~TTBCustomItem() override;

  // ---- sub-items
  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  Integer GetCount() const { return Count(); }
  TTBCustomItem* Items(Integer Index) const;
  TTBCustomItem* GetItem(Integer Index) const { return Items(Index); }
  void Add(TTBCustomItem* AItem);
  void Insert(Integer Index, TTBCustomItem* AItem);
  void Delete(Integer Index);
  Integer IndexOf(TTBCustomItem* AItem) const;
  void Remove(TTBCustomItem* AItem);
  void Clear();
  void Move(Integer CurIndex, Integer NewIndex);
  TTBCustomItem* SubitemSource() const { return FLinkSubitems ? FLinkSubitems : const_cast<TTBCustomItem*>(this); }
  TTBCustomItem* Parent() const { return FParent; }
  // The toolbar or popup menu that owns a root item's tree.
  TComponent* ParentComponent() const { return FParentComponent; }
  void SetParentComponentOfRoot(TComponent* Value) { FParentComponent = Value; }

  // ---- change notification
  void AddChangeListener(const TTBItemChangeProc& Proc);
  void RemoveChangeListener(const TTBItemChangeProc& Proc);
  void BroadcastChange(TTBItemChange Change, Integer Index, TTBCustomItem* AItem);
  void BeginSubitemUpdate();
  void EndSubitemUpdate();
  // Listeners currently registered (test and diagnostics).
  Integer ChangeListenerCount() const;

  // ---- virtual operations
  virtual void Changed(bool NeedsResize);
  virtual void PopupOpening(TTBCustomItem* Sender, bool FromLink);
  virtual void EnabledChanged();
  virtual TTBView* ChevronSourceView() { return nullptr; }
  // The viewer that shows this item in View (the kind's viewer class).
  virtual TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel);
  virtual bool ViewerNeedsRecreate(TTBItemViewer*) { return false; }
  virtual void Click();
  virtual void RefreshFromAction();
  // Shows the item's sub-items in a popup window beside ParentViewer of
  // ParentView, or at PopupPoint without parent view (Alignment applies
  // then), and answers the shown window.
  virtual TTBPopupWindow* OpenPopup(TTBView* ParentView, TTBItemViewer* ParentViewer, bool PositionAsSubmenu,
                                    bool SelectFirst, bool Customizing, const TPoint& PopupPoint,
                                    TPopupAlignment Alignment);
  // Shows the sub-items as a popup menu at PopupPoint and runs the menu
  // until it ends; answers the chosen item, whose click runs after the menu
  // has gone unless ReturnClickedItemOnly.
  TTBCustomItem* PopupAt(bool SelectFirst, bool TrackRightButton, const TPoint& PopupPoint, TPopupAlignment Alignment,
                         bool ReturnClickedItemOnly);
  // PopupAt at (X, Y) without selecting the first item.
  TTBCustomItem* Popup(Integer X, Integer Y, bool TrackRightButton, TPopupAlignment Alignment = paLeft,
                       bool ReturnClickedItemOnly = false);
  // The window OpenPopup makes; a kind with its own popup window overrides it.
  virtual TTBPopupWindow* CreatePopupWindow(TTBView* ParentView, bool Customizing);

  // ---- shortcuts
  TTBCustomItem* FindByShortCut(TShortCut AShortCut, TTBCustomItem*& TopParent);
  bool ExecuteShortCut(const TMessage& Message);
  WideString ShortCutText() const;

  // ---- properties
  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& Value);
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& Value) { FHint = Value; }
  bool AutoCheck() const { return FAutoCheck; }
  void SetAutoCheck(bool Value) { FAutoCheck = Value; }
  Integer HelpContext() const { return FHelpContext; }
  void SetHelpContext(Integer Value) { FHelpContext = Value; }
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value) { FShortCut = Value; }
  TTBItemDisplayMode DisplayMode() const { return FDisplayMode; }
  void SetDisplayMode(TTBItemDisplayMode Value);
  Integer GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(Integer Value);
  Integer ImageIndex() const { return FImageIndex; }
  void SetImageIndex(Integer Value);
  // The item's own image list, and the one for the items of its popup.
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  TCustomImageList* SubMenuImages() const { return FSubMenuImages; }
  void SetSubMenuImages(TCustomImageList* Value);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value);
  TTBItemOptions Options() const { return FOptions; }
  void SetOptions(TTBItemOptions Value);
  TTBItemOptions MaskOptions() const { return FMaskOptions; }
  void SetMaskOptions(TTBItemOptions Value);
  bool InheritOptions() const { return FInheritOptions; }
  void SetInheritOptions(bool Value);
  TTBItemOptions EffectiveOptions() const { return FEffectiveOptions; }
  TTBItemStyle ItemStyle() const { return FItemStyle; }
  void SetItemStyle(TTBItemStyle Value) { FItemStyle = Value; }
  TTBCustomItem* LinkSubitems() const { return FLinkSubitems; }
  void SetLinkSubitems(TTBCustomItem* Value);
  // Items whose LinkSubitems names this one.
  const std::vector<TTBCustomItem*>& LinkParents() const { return FLinkParents; }

  // The flat colour scheme.
  bool DisplayXP() const { return FDisplayXP; }
  void SetDisplayXP(bool Value) { FDisplayXP = Value; }
  TColor XPItemBkgrCol() const { return FXPItemBkgrCol; }
  void SetXPItemBkgrCol(TColor Value) { FXPItemBkgrCol = Value; }
  TColor XPItemSelBkgrCol() const { return FXPItemSelBkgrCol; }
  // Kept from the system's caption colour: a value set here is not stored.
  void SetXPItemSelBkgrCol(TColor) {}
  TColor XPItemSelTxtCol() const { return FXPItemSelTxtCol; }
  void SetXPItemSelTxtCol(TColor Value) { FXPItemSelTxtCol = Value; }
  TColor XPItemUnactTxtCol() const { return FXPItemUnactTxtCol; }
  void SetXPItemUnactTxtCol(TColor Value) { FXPItemUnactTxtCol = Value; }
  TColor XPItemLeftCol() const { return FXPItemLeftCol; }
  void SetXPItemLeftCol(TColor Value) { FXPItemLeftCol = Value; }
  TColor XPItemOutlineCol() const { return FXPItemOutlineCol; }
  // Kept from the system's caption colour: a value set here is not stored.
  void SetXPItemOutlineCol(TColor) {}

  // ---- actions
  TBasicAction* Action() const;
  void SetAction(TBasicAction* Value);
  TTBCustomItemActionLink* ActionLink() const { return FActionLink; }
  virtual void ApplyAction(TBasicAction* AAction, bool CheckDefaults);
  // Whether each property goes to a form file: not while the action supplies it.
  bool IsCaptionStored() const;
  bool IsCheckedStored() const;
  bool IsEnabledStored() const;
  bool IsHelpContextStored() const;
  bool IsHintStored() const;
  bool IsImageIndexStored() const;
  bool IsShortCutStored() const;
  bool IsVisibleStored() const;
  bool IsAutoCheckStored() const;
  bool IsOnClickStored() const;

  // ---- component streaming
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root);
  void SetChildOrder(TComponent* Child, Integer Order);
  TComponent* GetParentComponent() const;
  void SetParentComponent(TComponent* Value);
  bool HasParent() const { return true; }

  void SetName(const WideString& NewName) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void Loaded() override;

  TNotifyEvent OnClick;
  TTBPopupEvent OnPopup;
  TTBSelectEvent OnSelect;

 protected:
  virtual TTBCustomItemActionLink* CreateActionLink();
  void ActionChanged(TObject* Sender);

 private:
  struct TListeners;
  friend class TTBCustomItemActionLink;

  void Deliver(TTBCustomItem* Origin, TTBItemChange Change, Integer Index, TTBCustomItem* AItem, Integer Depth);
  void RelayFrom(TTBCustomItem* Relayer, TTBCustomItem* Origin, TTBItemChange Change, Integer Index,
                 TTBCustomItem* AItem, Integer Depth);
  void RecalcOptions();
  void UncheckGroupSiblings();
  TTBCustomItem* FindShortCutIn(TShortCut AShortCut, TTBCustomItem*& TopParent, Integer LinkDepth);
  void FreeActionLink();
  bool ChangeImages(TCustomImageList*& Field, TTBImageChangeLink*& Link, TCustomImageList* Value);
  void ImageListChanged(TTBImageChangeLink* Link);
  void ActionNotification(TComponent* AComponent);
  // True once the item whose listener list this is has been freed.
  static bool Gone(const std::shared_ptr<TListeners>& L);

  TTBCustomItemActionLink* FActionLink = nullptr;  // owned
  bool FAutoCheck = false;
  WideString FCaption;
  bool FChecked = false;
  bool FDisplayXP = true;
  TColor FXPItemBkgrCol = static_cast<TColor>(0xFFFFFF);
  TColor FXPItemSelBkgrCol = static_cast<TColor>(0xDDDDDD);
  TColor FXPItemSelTxtCol = static_cast<TColor>(0x000000);
  TColor FXPItemUnactTxtCol = static_cast<TColor>(0xD2D2D2);
  TColor FXPItemLeftCol = clBtnFace;
  TColor FXPItemOutlineCol = static_cast<TColor>(0x666666);
  TTBItemDisplayMode FDisplayMode = nbdmDefault;
  bool FEnabled = true;
  TTBItemOptions FEffectiveOptions;
  Integer FGroupIndex = 0;
  Integer FHelpContext = 0;
  WideString FHint;
  Integer FImageIndex = -1;
  TCustomImageList* FImages = nullptr;
  TTBImageChangeLink* FImagesChangeLink = nullptr;  // owned
  TCustomImageList* FSubMenuImages = nullptr;
  TTBImageChangeLink* FSubMenuImagesChangeLink = nullptr;  // owned
  std::vector<TTBCustomItem*> FItems;
  TTBItemStyle FItemStyle{tisSelectable, tisRedrawOnSelChange, tisRedrawOnMouseOverChange};
  std::vector<TTBCustomItem*> FLinkParents;
  TTBItemOptions FMaskOptions;
  TTBItemOptions FOptions;
  bool FInheritOptions = true;
  std::shared_ptr<TListeners> FListeners;
  TTBCustomItem* FParent = nullptr;
  TComponent* FParentComponent = nullptr;
  bool FRadioItem = false;
  TShortCut FShortCut = 0;
  TTBCustomItem* FLinkSubitems = nullptr;
  bool FVisible = true;
};

class TTBItem : public TTBCustomItem {
 public:
  explicit TTBItem(TComponent* AOwner) : TTBCustomItem(AOwner) {}
};

class TTBSubmenuItem : public TTBCustomItem {
 public:
  explicit TTBSubmenuItem(TComponent* AOwner);
  bool DropdownCombo() const { return ItemStyle().Contains(tisCombo); }
  void SetDropdownCombo(bool Value);
};

class TTBSeparatorItem : public TTBCustomItem {
 public:
  explicit TTBSeparatorItem(TComponent* AOwner);
  TTBItemViewer* CreateViewer(TTBView* View, Integer GroupLevel) override;
  bool Blank() const { return FBlank; }
  void SetBlank(bool Value);

 private:
  bool FBlank = false;
};

// A foreign control placed on a toolbar.
class TTBControlItem : public TTBCustomItem {
 public:
  explicit TTBControlItem(TComponent* AOwner);
  ~TTBControlItem() override;
  TControl* Control() const { return FControl; }
  void SetControl(TControl* Value);
  // Set by the toolbar when the control leaves it: the item then keeps it alive.
  void SetDontFreeControl(bool Value) { FDontFreeControl = Value; }
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TControl* FControl = nullptr;
  bool FDontFreeControl = false;
};

// The root of every toolbar and popup-menu tree.
class TTBRootItem : public TTBCustomItem {
 public:
  explicit TTBRootItem(TComponent* AOwner) : TTBCustomItem(AOwner) {}
};

// Live items and viewers of the calling thread.
Integer TBLiveItemCount();
// Called by items and viewers as they are made and freed; the last one of a
// thread releases the thread's queued-click window.
void TBAddLiveObject();
void TBReleaseLiveObject();
// The routine that releases the thread's queued-click window (set by the menu loop).
void TBSetLastLiveObjectHandler(void (*Handler)());
// Drops the clicks queued for an item that is going away (set by the menu loop).
void TBSetCancelQueuedClicksHandler(void (*Handler)(TTBCustomItem* Item));
void TBCancelQueuedClicksOf(TTBCustomItem* Item);
// Drops the accessibility actions queued for a viewer that is going away.
void TBSetCancelQueuedViewerActionsHandler(void (*Handler)(TTBItemViewer* Viewer));
void TBCancelQueuedViewerActions(TTBItemViewer* Viewer);
