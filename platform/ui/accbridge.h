// Accessibility objects as screen readers see them: the object interface a
// window hands out for its client area, counted references to such objects,
// the child identifiers and answers passed in and out, and the services that
// link objects, windows and events. The layer shows the objects to assistive
// tools through the desktop's accessibility bus; objects live and are called
// on the GUI thread only.
#pragma once

#include <cstdint>

#include "platform/base/sysutils.h"
#include "platform/graphics/windef.h"
#include "platform/ui/hresult.h"
#include "platform/ui/messages.h"

class IAccessible;

// A counted reference: taking a pointer adds a reference, dropping the
// reference releases it.
class TAccRef {
 public:
  TAccRef() = default;
  TAccRef(IAccessible* Obj);  // NOLINT: adds a reference
  TAccRef(const TAccRef& Other);
  TAccRef(TAccRef&& Other) noexcept : FObj(Other.FObj) { Other.FObj = nullptr; }
  TAccRef& operator=(const TAccRef& Other);
  TAccRef& operator=(TAccRef&& Other) noexcept;
  ~TAccRef();
  // Takes over a reference the caller already holds.
  static TAccRef Adopt(IAccessible* Obj);
  IAccessible* get() const { return FObj; }
  IAccessible* operator->() const { return FObj; }
  explicit operator bool() const { return FObj != nullptr; }
  void reset();

 private:
  IAccessible* FObj = nullptr;
};

// A child identifier or an answer: nothing, a 32-bit number or an object
// (which the variant holds a reference to).
enum VARTYPE : uint16_t { VT_EMPTY = 0, VT_I4 = 3, VT_DISPATCH = 9 };
struct VARIANT {
  VARTYPE vt = VT_EMPTY;
  LONG lVal = 0;
  TAccRef pdispVal;
  void Clear() {
    vt = VT_EMPTY;
    lVal = 0;
    pdispVal.reset();
  }
  static VARIANT I4(LONG Value) {
    VARIANT V;
    V.vt = VT_I4;
    V.lVal = Value;
    return V;
  }
  static VARIANT Dispatch(const TAccRef& Obj) {
    VARIANT V;
    V.vt = VT_DISPATCH;
    V.pdispVal = Obj;
    return V;
  }
};

constexpr LONG CHILDID_SELF = 0;
enum : LONG { OBJID_WINDOW = 0, OBJID_CLIENT = -4 };

enum : LONG {
  ROLE_SYSTEM_MENUBAR = 2,
  ROLE_SYSTEM_WINDOW = 9,
  ROLE_SYSTEM_CLIENT = 10,
  ROLE_SYSTEM_MENUPOPUP = 11,
  ROLE_SYSTEM_MENUITEM = 12,
  ROLE_SYSTEM_SEPARATOR = 21,
  ROLE_SYSTEM_TOOLBAR = 22,
  ROLE_SYSTEM_PUSHBUTTON = 43,
  ROLE_SYSTEM_BUTTONMENU = 57,
};

enum : LONG {
  STATE_SYSTEM_UNAVAILABLE = 0x1,
  STATE_SYSTEM_FOCUSED = 0x4,
  STATE_SYSTEM_PRESSED = 0x8,
  STATE_SYSTEM_CHECKED = 0x10,
  STATE_SYSTEM_HOTTRACKED = 0x80,
  STATE_SYSTEM_INVISIBLE = 0x8000,
  STATE_SYSTEM_FOCUSABLE = 0x100000,
  STATE_SYSTEM_HASPOPUP = 0x40000000,
};

enum : LONG {
  NAVDIR_UP = 1,
  NAVDIR_DOWN = 2,
  NAVDIR_LEFT = 3,
  NAVDIR_RIGHT = 4,
  NAVDIR_NEXT = 5,
  NAVDIR_PREVIOUS = 6,
  NAVDIR_FIRSTCHILD = 7,
  NAVDIR_LASTCHILD = 8,
};

enum : LONG { SELFLAG_TAKEFOCUS = 1, SELFLAG_TAKESELECTION = 2, SELFLAG_EXTENDSELECTION = 4 };

enum : DWORD {
  EVENT_SYSTEM_MENUSTART = 0x0004,
  EVENT_SYSTEM_MENUEND = 0x0005,
  EVENT_SYSTEM_MENUPOPUPSTART = 0x0006,
  EVENT_SYSTEM_MENUPOPUPEND = 0x0007,
  EVENT_OBJECT_FOCUS = 0x8005,
};

// The automation side every object carries; nothing here uses it.
class IDispatch {
 public:
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT GetTypeInfoCount(UINT& Count) = 0;
  virtual HRESULT GetTypeInfo(UINT Index, void*& TypeInfo) = 0;
  virtual HRESULT GetIDsOfNames(const WideString& Name, LONG& DispId) = 0;
  virtual HRESULT Invoke(LONG DispId) = 0;

 protected:
  virtual ~IDispatch() = default;
};

// Strings out are cleared first; "no string" is the empty one.
class IAccessible : public IDispatch {
 public:
  virtual HRESULT get_accParent(TAccRef& Parent) = 0;
  virtual HRESULT get_accChildCount(LONG& Count) = 0;
  virtual HRESULT get_accChild(const VARIANT& Child, TAccRef& Disp) = 0;
  virtual HRESULT get_accName(const VARIANT& Child, WideString& Name) = 0;
  virtual HRESULT get_accValue(const VARIANT& Child, WideString& Value) = 0;
  virtual HRESULT get_accDescription(const VARIANT& Child, WideString& Description) = 0;
  virtual HRESULT get_accRole(const VARIANT& Child, VARIANT& Role) = 0;
  virtual HRESULT get_accState(const VARIANT& Child, VARIANT& State) = 0;
  virtual HRESULT get_accHelp(const VARIANT& Child, WideString& Help) = 0;
  virtual HRESULT get_accHelpTopic(WideString& HelpFile, const VARIANT& Child, LONG& Topic) = 0;
  virtual HRESULT get_accKeyboardShortcut(const VARIANT& Child, WideString& Shortcut) = 0;
  virtual HRESULT get_accFocus(VARIANT& Child) = 0;
  virtual HRESULT get_accSelection(VARIANT& Children) = 0;
  virtual HRESULT get_accDefaultAction(const VARIANT& Child, WideString& Action) = 0;
  virtual HRESULT accSelect(LONG Flags, const VARIANT& Child) = 0;
  virtual HRESULT accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height, const VARIANT& Child) = 0;
  virtual HRESULT accNavigate(LONG NavDir, const VARIANT& Start, VARIANT& End) = 0;
  virtual HRESULT accHitTest(LONG Left, LONG Top, VARIANT& Child) = 0;
  virtual HRESULT accDoDefaultAction(const VARIANT& Child) = 0;
  virtual HRESULT put_accName(const VARIANT& Child, const WideString& Name) = 0;
  virtual HRESULT put_accValue(const VARIANT& Child, const WideString& Value) = 0;
  // The window whose client area or frame the object stands for, when it
  // stands for one; the bridge ties such an object to that window.
  virtual HRESULT GetWindow(HWND& Wnd) {
    Wnd = nullptr;
    return E_NOTIMPL;
  }
};

// The answer to WM_GETOBJECT: a token that holds a reference to Obj until
// ObjectFromLresult takes it; 0 without an object.
LRESULT LresultFromObject(WPARAM WParam, IAccessible* Obj);
HRESULT ObjectFromLresult(LRESULT Result, WPARAM WParam, TAccRef& Obj);
// OBJID_CLIENT asks the window (WM_GETOBJECT) and falls back to the
// standard object of the window; OBJID_WINDOW gives the standard object of
// the window (its name, location and state, the parent window's object as
// parent). E_INVALIDARG for a window that is not alive, Obj left empty.
HRESULT AccessibleObjectFromWindow(HWND Wnd, LONG ObjectId, TAccRef& Obj);
// Tells assistive tools about a menu or focus event of the object
// (ObjectId, ChildId) of the window; nothing while none listens.
void NotifyWinEvent(DWORD Event, HWND Wnd, LONG ObjectId, LONG ChildId);
// Drops every reference the bridge holds to Obj; tools that still ask
// about it get nothing.
HRESULT CoDisconnectObject(IAccessible* Obj);
// Runs Proc once before the windowing goes away at the end of the program.
void AccAtShutdown(void (*Proc)());
