// Menus: keyboard shortcuts (a virtual key in the low byte plus Shift, Ctrl
// and Alt bits) and their texts, menu handles with the popup menu loop, and
// the class library's menu items and popup menu over those handles. The
// key-name table here is the only one; the toolbar library uses it too.
#pragma once

#include <memory>
#include <vector>

#include "platform/ui/controls.h"
#include "platform/ui/winuser.h"

using TShortCut = Word;
constexpr TShortCut scNone = 0, scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;

// Key plus the Shift, Ctrl and Alt members of Shift; 0 when Key has bits
// above the low byte (it cannot be told from the modifier bits then).
TShortCut ShortCut(Word Key, TShiftState Shift);
void ShortCutToKey(TShortCut ShortCut, Word& Key, TShiftState& Shift);
// "Shift+", "Ctrl+", "Alt+" in that order, then the key's name; empty for a
// key without a name.
WideString ShortCutToText(TShortCut ShortCut);
// The inverse of ShortCutToText, case ignored; 0 for a text it cannot read.
TShortCut TextToShortCut(const WideString& Text);
// The name of a virtual key as ShortCutToText writes it ("PgUp", "F5", "Num 3"), or empty.
WideString ShortCutKeyName(Word Key);
// The shortcut of a WM_KEYDOWN or WM_SYSKEYDOWN (key code and key data).
TShortCut ShortCutFromMessage(const TMessage& Message);

// Scan codes of a PC keyboard (set 1), enough for the key names asked of
// GetKeyNameText. MAPVK_VK_TO_VSC and MAPVK_VSC_TO_VK; 0 when unknown.
enum : UINT { MAPVK_VK_TO_VSC = 0, MAPVK_VSC_TO_VK = 1 };
UINT MapVirtualKey(UINT Code, UINT MapType);
// The key's name for a key message's lParam (scan code in bits 16..23,
// extended flag in bit 24), at most Size - 1 characters plus a terminating
// zero; answers the characters written.
Integer GetKeyNameText(LPARAM Param, WideChar* Buffer, Integer Size);

// ---------------------------------------------------------------- menu handles

// A menu handle is one list of entries; popups are shown by TrackPopupMenu,
// which runs the program's own menu loop over the queue.
enum : UINT {
  MF_BYCOMMAND = 0x0, MF_BYPOSITION = 0x400, MF_STRING = 0x0, MF_ENABLED = 0x0, MF_GRAYED = 0x1,
  MF_DISABLED = 0x2, MF_CHECKED = 0x8, MF_POPUP = 0x10, MF_SEPARATOR = 0x800, MF_DEFAULT = 0x1000,
  MF_HILITE = 0x80, MF_MOUSESELECT = 0x8000
};
enum : UINT { MFT_STRING = 0x0, MFT_MENUBARBREAK = 0x20, MFT_MENUBREAK = 0x40, MFT_RADIOCHECK = 0x200, MFT_SEPARATOR = 0x800 };
enum : UINT { MFS_ENABLED = 0x0, MFS_GRAYED = 0x3, MFS_DISABLED = 0x3, MFS_CHECKED = 0x8, MFS_HILITE = 0x80, MFS_DEFAULT = 0x1000 };
enum : UINT {
  MIIM_STATE = 0x1, MIIM_ID = 0x2, MIIM_SUBMENU = 0x4, MIIM_CHECKMARKS = 0x8, MIIM_TYPE = 0x10, MIIM_DATA = 0x20,
  MIIM_STRING = 0x40, MIIM_BITMAP = 0x80, MIIM_FTYPE = 0x100
};
enum : UINT {
  TPM_LEFTBUTTON = 0x0, TPM_RIGHTBUTTON = 0x2, TPM_LEFTALIGN = 0x0, TPM_CENTERALIGN = 0x4, TPM_RIGHTALIGN = 0x8,
  TPM_TOPALIGN = 0x0, TPM_VCENTERALIGN = 0x10, TPM_BOTTOMALIGN = 0x20, TPM_NONOTIFY = 0x80, TPM_RETURNCMD = 0x100
};
enum : UINT { GMDI_USEDISABLED = 0x1, GMDI_GOINTOPOPUPS = 0x2 };

struct MENUITEMINFOW {
  UINT cbSize = sizeof(MENUITEMINFOW);
  UINT fMask = 0;
  UINT fType = 0;
  UINT fState = 0;
  UINT wID = 0;
  HMENU hSubMenu = nullptr;
  HBITMAP hbmpChecked = nullptr;
  HBITMAP hbmpUnchecked = nullptr;
  ULONG_PTR dwItemData = 0;
  WideChar* dwTypeData = nullptr;  // the text; on reading, a buffer of cch characters
  UINT cch = 0;
  HBITMAP hbmpItem = nullptr;
};

HMENU CreatePopupMenu();
// Frees the menu and its submenus; FALSE for a handle that is not a menu.
BOOL DestroyMenu(HMENU Menu);
BOOL IsMenu(HMENU Menu);
BOOL InsertMenuItemW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info);
BOOL AppendMenuW(HMENU Menu, UINT Flags, UINT_PTR IdNewItem, const WideChar* NewItem);
BOOL DeleteMenu(HMENU Menu, UINT Position, UINT Flags);
BOOL RemoveMenu(HMENU Menu, UINT Position, UINT Flags);
// -1 for a handle that is not a menu.
Integer GetMenuItemCount(HMENU Menu);
UINT GetMenuItemID(HMENU Menu, Integer Pos);
HMENU GetSubMenu(HMENU Menu, Integer Pos);
// Reading the text: with a null dwTypeData, cch becomes the text's length;
// otherwise at most cch - 1 characters and a zero are written and cch
// becomes the number copied.
BOOL GetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, MENUITEMINFOW* Info);
BOOL SetMenuItemInfoW(HMENU Menu, UINT Item, BOOL ByPosition, const MENUITEMINFOW* Info);
// The state and type bits of the entry (for a submenu, its entry count in
// the high byte), or 0xFFFFFFFF when there is no such entry.
UINT GetMenuState(HMENU Menu, UINT Id, UINT Flags);
// The characters copied (at most MaxCount - 1, then a zero); with a null
// buffer, the text's length.
Integer GetMenuStringW(HMENU Menu, UINT Item, WideChar* String, Integer MaxCount, UINT Flags);
// The previous state, or 0xFFFFFFFF for no such entry.
UINT EnableMenuItem(HMENU Menu, UINT IdEnableItem, UINT Enable);
UINT CheckMenuItem(HMENU Menu, UINT IdCheckItem, UINT Check);
BOOL SetMenuDefaultItem(HMENU Menu, UINT Item, UINT ByPos);
// The default entry's id (or position with ByPos), or 0xFFFFFFFF (-1) for none.
UINT GetMenuDefaultItem(HMENU Menu, UINT ByPos, UINT Flags);
// Shows the menu at the screen point (kept on the work area) and runs the
// menu loop until an entry is chosen or the menu is cancelled. Owner gets
// WM_INITMENUPOPUP first and WM_MENUSELECT for each highlight. A submenu
// opens beside its entry when the mouse rests on it or on Right or Enter
// (WM_INITMENUPOPUP with its position first); Left and Escape close it. With
// TPM_RETURNCMD the answer is the chosen id (0 for none); otherwise Owner
// is posted WM_COMMAND with the id and the answer is whether one was chosen.
BOOL TrackPopupMenu(HMENU Menu, UINT Flags, Integer X, Integer Y, Integer Reserved, HWND Owner, const TRect* Rect);
// The window's menu of system commands (Restore, Move, Size, Minimize,
// Maximize, Close), greyed for the window's state and box styles now.
// Revert TRUE puts back the standard menu and answers null.
HMENU GetSystemMenu(HWND Wnd, BOOL Revert);
// Test hook: the menu being tracked now (null when none); the window of the
// innermost open menu of its chain (the menu itself or an open submenu) and
// the entry highlighted there (-1 for none); how many menus are open.
HMENU GtTrackedMenu();
HWND GtTrackedMenuWindow();
Integer GtTrackedMenuSelection();
Integer GtTrackedMenuDepth();

// ---------------------------------------------------------------- menu components

class TBasicAction;
class TCustomImageList;
class TMenuActionLink;

enum TMenuBreak { mbNone, mbBreak, mbBarBreak };
enum TPopupAlignment { paLeft, paRight, paCenter };
enum TTrackButton { tbRightButton, tbLeftButton };

// One entry of a menu with its sub-entries. Each item has a command number
// that is unique for the run; the menu handle of its menu uses it as id.
class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const WideString& Caption() const { return FCaption; }
  void SetCaption(const WideString& Value);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value);
  TMenuBreak Break() const { return FBreak; }
  void SetBreak(TMenuBreak Value) { FBreak = Value; }
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  bool Default() const { return FDefault; }
  void SetDefault(bool Value) { FDefault = Value; }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  Byte GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(Byte Value) { FGroupIndex = Value; }
  Integer HelpContext() const { return FHelpContext; }
  void SetHelpContext(Integer Value);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value) { FRadioItem = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  Integer ImageIndex() const { return FImageIndex; }
  void SetImageIndex(Integer Value);
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& Value);
  // The action that supplies caption, check, enabled and visible state, help
  // context, hint, image, shortcut and click; the item follows its changes.
  TBasicAction* Action() const;
  void SetAction(TBasicAction* Value);
  TNotifyEvent OnClick;

  UINT Command() const { return FCommand; }
  // The item's own menu handle, made from its sub-entries on first use and
  // kept while the item lives; others may add entries to it (an MDI frame
  // lists its children in its window menu's handle).
  HMENU Handle();
  Integer Count() const { return static_cast<Integer>(FItems.size()); }
  TMenuItem* Items(Integer Index) const;
  TMenuItem* Parent() const { return FParent; }
  Integer MenuIndex() const;
  // Takes Item as a sub-entry (out of its old parent); the item is freed with this one.
  void Add(TMenuItem* Item);
  void Insert(Integer Index, TMenuItem* Item);
  // Takes Item out without freeing it.
  void Remove(TMenuItem* Item);
  void Delete(Integer Index);
  // Frees every sub-entry.
  void Clear();
  Integer IndexOf(const TMenuItem* Item) const;
  bool IsLine() const { return FCaption == u"-"; }

  // The action's Execute when one is linked (it runs the item's OnClick
  // when it has no handler of its own), else OnClick.
  virtual void Click();

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TMenuActionLink;
  WideString FCaption;
  TShortCut FShortCut = 0;
  TMenuBreak FBreak = mbNone;
  bool FChecked = false;
  bool FDefault = false;
  bool FEnabled = true;
  Byte FGroupIndex = 0;
  Integer FHelpContext = 0;
  bool FRadioItem = false;
  bool FVisible = true;
  Integer FImageIndex = -1;
  WideString FHint;
  UINT FCommand = 0;
  TMenuItem* FParent = nullptr;
  HMENU FHandle = nullptr;
  std::vector<TMenuItem*> FItems;
  std::unique_ptr<TMenuActionLink> FActionLink;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  TMenuItem* Items() const { return FItems; }
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  // A new menu handle built from the visible items (the caller destroys it).
  HMENU CreateMenuHandle() const;
  // The item with this command number, or nullptr.
  TMenuItem* FindItem(UINT Command) const;
  // The visible, enabled item whose shortcut the key message gives is clicked; true then.
  virtual bool IsShortCut(TMessage& Message);

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TMenuItem* FItems;
  TCustomImageList* FImages = nullptr;
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;
  // OnPopup, then the menu at the screen point; a chosen item's Click runs
  // after the menu has gone.
  virtual void Popup(Integer X, Integer Y);
  const TPoint& PopupPoint() const { return FPopupPoint; }
  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment Value) { FAlignment = Value; }
  TTrackButton TrackButton() const { return FTrackButton; }
  void SetTrackButton(TTrackButton Value) { FTrackButton = Value; }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool Value) { FAutoPopup = Value; }
  // The control whose context menu opened it (set by the control).
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* Value);
  TNotifyEvent OnPopup;

  void Notification(TComponent* AComponent, TOperation Operation) override;

 protected:
  virtual void DoPopup(TObject* Sender);
  void SetPopupPoint(const TPoint& Value) { FPopupPoint = Value; }

 private:
  TPoint FPopupPoint{-1, -1};
  TPopupAlignment FAlignment = paLeft;
  TTrackButton FTrackButton = tbRightButton;
  bool FAutoPopup = true;
  TComponent* FPopupComponent = nullptr;
};
