// Accessibility objects of toolbars, menu bars and popup menus: one for each
// view and one for each item viewer, so that screen readers can read names,
// roles, states and shortcuts, walk from a bar to its items and into open
// submenus, and select or invoke an item. Invoking and selecting are queued
// and run after the reader's call has returned.
#pragma once

#include <atomic>

#include "platform/ui/accbridge.h"

class TTBView;
class TTBItemViewer;

// Reference counting and the automation side, which answers "not implemented".
class TTBBaseAccObject : public IAccessible {
 public:
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT& Count) override;
  HRESULT GetTypeInfo(UINT Index, void*& TypeInfo) override;
  HRESULT GetIDsOfNames(const WideString& Name, LONG& DispId) override;
  HRESULT Invoke(LONG DispId) override;
  // The view or viewer is going: the object answers E_FAIL from now on.
  virtual void DetachOwner() = 0;
  ULONG RefCount() const { return FRefCount.load(); }
  // Adds a reference unless the last one is already being released.
  bool TryKeep();

 protected:
  ~TTBBaseAccObject() override = default;

 private:
  std::atomic<ULONG> FRefCount{0};
};

// Membership in the list of live objects, which is disconnected from its
// clients at shutdown.
class TTBCustomAccObject : public TTBBaseAccObject {
 public:
  TTBCustomAccObject();
  void DetachOwner() override;
  // Clears the owner's link to this object and this object's link to the
  // owner; runs under the list lock.
  virtual void ForgetOwnerLocked() = 0;

 protected:
  ~TTBCustomAccObject() override;

 private:
  friend void DisconnectAccObjects();
  TTBCustomAccObject* FOlderObject = nullptr;
  TTBCustomAccObject* FNewerObject = nullptr;
};

class TTBViewAccObject : public TTBCustomAccObject {
 public:
  explicit TTBViewAccObject(TTBView* AOwner);
  TTBView* OwnerView() const { return FOwnerView; }

  HRESULT get_accParent(TAccRef& Parent) override;
  HRESULT get_accChildCount(LONG& Count) override;
  HRESULT get_accChild(const VARIANT& Child, TAccRef& Disp) override;
  HRESULT get_accName(const VARIANT& Child, WideString& Name) override;
  HRESULT get_accValue(const VARIANT& Child, WideString& Value) override;
  HRESULT get_accDescription(const VARIANT& Child, WideString& Description) override;
  HRESULT get_accRole(const VARIANT& Child, VARIANT& Role) override;
  HRESULT get_accState(const VARIANT& Child, VARIANT& State) override;
  HRESULT get_accHelp(const VARIANT& Child, WideString& Help) override;
  HRESULT get_accHelpTopic(WideString& HelpFile, const VARIANT& Child, LONG& Topic) override;
  HRESULT get_accKeyboardShortcut(const VARIANT& Child, WideString& Shortcut) override;
  HRESULT get_accFocus(VARIANT& Child) override;
  HRESULT get_accSelection(VARIANT& Children) override;
  HRESULT get_accDefaultAction(const VARIANT& Child, WideString& Action) override;
  HRESULT accSelect(LONG Flags, const VARIANT& Child) override;
  HRESULT accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height, const VARIANT& Child) override;
  HRESULT accNavigate(LONG NavDir, const VARIANT& Start, VARIANT& End) override;
  HRESULT accHitTest(LONG Left, LONG Top, VARIANT& Child) override;
  HRESULT accDoDefaultAction(const VARIANT& Child) override;
  HRESULT put_accName(const VARIANT& Child, const WideString& Name) override;
  HRESULT put_accValue(const VARIANT& Child, const WideString& Value) override;
  HRESULT GetWindow(HWND& Wnd) override;

  void ForgetOwnerLocked() override;

 protected:
  ~TTBViewAccObject() override;

 private:
  bool CheckSelfChild(const VARIANT& Child, HRESULT& Result) const;
  TTBView* FOwnerView;
};

class TTBItemViewerAccObject : public TTBCustomAccObject {
 public:
  explicit TTBItemViewerAccObject(TTBItemViewer* AOwner);
  TTBItemViewer* OwnerViewer() const { return FOwnerViewer; }

  HRESULT get_accParent(TAccRef& Parent) override;
  HRESULT get_accChildCount(LONG& Count) override;
  HRESULT get_accChild(const VARIANT& Child, TAccRef& Disp) override;
  HRESULT get_accName(const VARIANT& Child, WideString& Name) override;
  HRESULT get_accValue(const VARIANT& Child, WideString& Value) override;
  HRESULT get_accDescription(const VARIANT& Child, WideString& Description) override;
  HRESULT get_accRole(const VARIANT& Child, VARIANT& Role) override;
  HRESULT get_accState(const VARIANT& Child, VARIANT& State) override;
  HRESULT get_accHelp(const VARIANT& Child, WideString& Help) override;
  HRESULT get_accHelpTopic(WideString& HelpFile, const VARIANT& Child, LONG& Topic) override;
  HRESULT get_accKeyboardShortcut(const VARIANT& Child, WideString& Shortcut) override;
  HRESULT get_accFocus(VARIANT& Child) override;
  HRESULT get_accSelection(VARIANT& Children) override;
  HRESULT get_accDefaultAction(const VARIANT& Child, WideString& Action) override;
  HRESULT accSelect(LONG Flags, const VARIANT& Child) override;
  HRESULT accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height, const VARIANT& Child) override;
  HRESULT accNavigate(LONG NavDir, const VARIANT& Start, VARIANT& End) override;
  HRESULT accHitTest(LONG Left, LONG Top, VARIANT& Child) override;
  HRESULT accDoDefaultAction(const VARIANT& Child) override;
  HRESULT put_accName(const VARIANT& Child, const WideString& Name) override;
  HRESULT put_accValue(const VARIANT& Child, const WideString& Value) override;

  // A queued select (Invoke false) or invoke (Invoke true) arriving.
  void PerformQueuedAccAction(bool Invoke);

  void ForgetOwnerLocked() override;

 protected:
  ~TTBItemViewerAccObject() override;

 private:
  bool CheckSelfChild(const VARIANT& Child, HRESULT& Result) const;
  bool ViewerAvailable() const;
  TTBItemViewer* FOwnerViewer;
};

// Accessibility objects are handed out only when this answers true (bound
// once; the platform's bridge is always there).
bool BindOleAcc();
// Reports a menu or focus event to assistive tools.
void NotifyAccEvent(DWORD Event, HWND Wnd, LONG ObjectId, LONG ChildId);
// The standard object of a window (its frame).
HRESULT AccObjectOfWindow(HWND Wnd, TAccRef& Obj);
// The localized name of the Alt key ("Alt" when the keyboard has none).
WideString AltKeyName();
// The view or viewer is being destroyed: its object, if it has one, loses
// its owner (and the view's reference is released).
void DetachAccObjectOf(TTBView* View);
void DetachAccObjectOf(TTBItemViewer* Viewer);
// Disconnects every live object from its clients (at shutdown).
void DisconnectAccObjects();
// Live view and viewer objects (diagnostics).
Integer TBLiveViewAccObjects();
Integer TBLiveViewerAccObjects();
