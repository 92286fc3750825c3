// Accessibility objects of views and item viewers. The objects may outlive
// what they speak for (a screen reader keeps its reference): the view or
// viewer detaches itself when it goes, and from then on the object answers
// E_FAIL. Detaching and the object's own end both run under the list lock,
// so neither side reaches the other half-destroyed.
#include "controls/tbacc.h"

#include <mutex>

#include "controls/tbcommon.h"
#include "controls/tbmodal.h"
#include "controls/tbview.h"
#include "platform/ui/controls.h"
#include "platform/ui/menus.h"
#include "platform/ui/winuser.h"

namespace {

std::recursive_mutex& AccListLock() {
  static auto* L = new std::recursive_mutex;
  return *L;
}

TTBCustomAccObject* AccObjectList = nullptr;  // the newest live object
std::atomic<Integer> ViewAccObjectCount{0};
std::atomic<Integer> ViewerAccObjectCount{0};

std::atomic<bool> OleAccBound{false};
bool OleAccAvailable = false;

bool IsSelf(const VARIANT& Child) { return Child.vt == VT_I4 && Child.lVal == CHILDID_SELF; }

// Every operation answers E_UNEXPECTED when answering raises.
template <class F>
HRESULT Guarded(F&& Body) {
  try {
    return Body();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HWND ViewWnd(const TTBView* View) {
  TWinControl* W = View->Window();
  return W && W->HandleAllocated() ? W->Handle() : nullptr;
}

bool IsChildWindow(HWND Parent, HWND Wnd) {
  for (HWND P = Wnd ? GetParent(Wnd) : nullptr; P; P = GetParent(P))
    if (P == Parent) return true;
  return false;
}

bool WindowChainEnabled(HWND Wnd) {
  for (HWND W = Wnd; W; W = GetParent(W))
    if (!IsWindowEnabled(W)) return false;
  return true;
}

bool ItemEnabledAndSelectable(TTBItemViewer* V) {
  return V->Item()->Enabled() && V->Item()->ItemStyle().Contains(tisSelectable);
}

bool ViewAcceptsInput(TTBView* View) {
  TWinControl* W = View->Window();
  if (!W || W->ComponentState().Contains(csDesigning)) return false;
  HWND Wnd = ViewWnd(View);
  if (!Wnd || !IsWindowVisible(Wnd) || !WindowChainEnabled(Wnd)) return false;
  if (View->State().Contains(vsModal)) return true;
  HWND Active = GetActiveWindow();
  return Active && (Active == Wnd || IsChildWindow(Active, Wnd));
}

// Viewers a screen reader sees: shown, off the edge or clipped.
std::vector<TTBItemViewer*> AccessibleViewers(TTBView* View) {
  std::vector<TTBItemViewer*> Out;
  for (Integer I = 0; I < View->ViewerCount(); ++I)
    if (View->Viewers(I)->IsReachable()) Out.push_back(View->Viewers(I));
  return Out;
}

TAccRef ObjectOf(TTBItemViewer* V) { return TAccRef(V->AccessibleObject()); }
TAccRef ObjectOf(TTBView* V) { return TAccRef(V->AccessibleObject()); }

// The view whose popup a viewer opened, when its submenu is open.
TTBView* OpenSubmenuOf(TTBItemViewer* V) {
  TTBView* View = V->View();
  return View->OpenViewer() == V ? View->OpenViewerView() : nullptr;
}

void PerformViewerAction(TTBItemViewer* Viewer, bool Invoke) { Viewer->PerformAccessibleAction(Invoke ? 1 : 0); }

}  // namespace

// ---------------------------------------------------------------- module services

bool BindOleAcc() {
  if (!OleAccBound.load()) {
    OleAccAvailable = true;
    TBSetQueuedViewerActionHandler(PerformViewerAction);
    AccAtShutdown(DisconnectAccObjects);
    OleAccBound.exchange(true);
  }
  return OleAccAvailable;
}

void NotifyAccEvent(DWORD Event, HWND Wnd, LONG ObjectId, LONG ChildId) {
  if (OleAccBound.load()) NotifyWinEvent(Event, Wnd, ObjectId, ChildId);
}

HRESULT AccObjectOfWindow(HWND Wnd, TAccRef& Obj) {
  Obj.reset();
  return AccessibleObjectFromWindow(Wnd, OBJID_WINDOW, Obj);
}

WideString AltKeyName() {
  const UINT Scan = MapVirtualKey(VK_MENU, MAPVK_VK_TO_VSC);
  if (Scan != 0) {
    WideChar Buf[256] = {};
    const Integer N = GetKeyNameText(static_cast<LPARAM>(Scan) << 16, Buf, 256);
    if (N > 0) return WideString(Buf, static_cast<size_t>(N));
  }
  return u"Alt";
}

void DisconnectAccObjects() {
  std::lock_guard<std::recursive_mutex> L(AccListLock());
  TTBCustomAccObject* Obj = AccObjectList;
  while (Obj) {
    TTBCustomAccObject* Older = Obj->FOlderObject;
    CoDisconnectObject(Obj);
    Obj = Older;
  }
}

Integer TBLiveViewAccObjects() { return ViewAccObjectCount.load(); }
Integer TBLiveViewerAccObjects() { return ViewerAccObjectCount.load(); }

void DetachAccObjectOf(TTBView* View) {
  // The view's own reference keeps the object alive until released here.
  TTBViewAccObject* Obj = View->AccObject();
  if (!Obj) return;
  Obj->DetachOwner();
  Obj->Release();
}

void DetachAccObjectOf(TTBItemViewer* Viewer) {
  TTBItemViewerAccObject* Obj;
  {
    std::lock_guard<std::recursive_mutex> L(AccListLock());
    Obj = Viewer->AccObject();
    if (!Obj) return;
    // The viewer holds no reference: the last client may be releasing the
    // object at this moment. Then the links are cut here and the object's
    // end finds no owner.
    if (!Obj->TryKeep()) {
      Obj->ForgetOwnerLocked();
      return;
    }
  }
  Obj->DetachOwner();
  Obj->Release();
}

// ---------------------------------------------------------------- base objects

ULONG TTBBaseAccObject::AddRef() { return ++FRefCount; }

ULONG TTBBaseAccObject::Release() {
  const ULONG N = --FRefCount;
  if (N == 0) delete this;
  return N;
}

bool TTBBaseAccObject::TryKeep() {
  ULONG C = FRefCount.load();
  while (C != 0)
    if (FRefCount.compare_exchange_weak(C, C + 1)) return true;
  return false;
}

HRESULT TTBBaseAccObject::GetTypeInfoCount(UINT& Count) {
  Count = 0;
  return E_NOTIMPL;
}
HRESULT TTBBaseAccObject::GetTypeInfo(UINT, void*& TypeInfo) {
  TypeInfo = nullptr;
  return E_NOTIMPL;
}
HRESULT TTBBaseAccObject::GetIDsOfNames(const WideString&, LONG& DispId) {
  DispId = -1;
  return E_NOTIMPL;
}
HRESULT TTBBaseAccObject::Invoke(LONG) { return E_NOTIMPL; }

TTBCustomAccObject::TTBCustomAccObject() {
  std::lock_guard<std::recursive_mutex> L(AccListLock());
  FOlderObject = AccObjectList;
  if (AccObjectList) AccObjectList->FNewerObject = this;
  AccObjectList = this;
}

TTBCustomAccObject::~TTBCustomAccObject() {
  std::lock_guard<std::recursive_mutex> L(AccListLock());
  if (AccObjectList == this) AccObjectList = FOlderObject;
  if (FOlderObject) FOlderObject->FNewerObject = FNewerObject;
  if (FNewerObject) FNewerObject->FOlderObject = FOlderObject;
}

void TTBCustomAccObject::DetachOwner() {
  {
    std::lock_guard<std::recursive_mutex> L(AccListLock());
    ForgetOwnerLocked();
  }
  // Tools asking through the bridge have nothing left to read.
  CoDisconnectObject(this);
}

// ---------------------------------------------------------------- view object

TTBViewAccObject::TTBViewAccObject(TTBView* AOwner) : FOwnerView(AOwner) { ++ViewAccObjectCount; }

TTBViewAccObject::~TTBViewAccObject() {
  --ViewAccObjectCount;
  std::lock_guard<std::recursive_mutex> L(AccListLock());
  ForgetOwnerLocked();
}

void TTBViewAccObject::ForgetOwnerLocked() {
  if (FOwnerView && FOwnerView->AccObject() == this) FOwnerView->SetAccObject(nullptr);
  FOwnerView = nullptr;
}

bool TTBViewAccObject::CheckSelfChild(const VARIANT& Child, HRESULT& Result) const {
  if (!FOwnerView) {
    Result = E_FAIL;
    return false;
  }
  if (!IsSelf(Child)) {
    Result = E_INVALIDARG;
    return false;
  }
  return true;
}

HRESULT TTBViewAccObject::GetWindow(HWND& Wnd) {
  Wnd = FOwnerView ? ViewWnd(FOwnerView) : nullptr;
  return Wnd ? S_OK : E_FAIL;
}

HRESULT TTBViewAccObject::get_accParent(TAccRef& Parent) {
  Parent.reset();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerView) return E_FAIL;
    if (TTBView* P = FOwnerView->ParentView(); P && P->OpenViewer()) {
      Parent = ObjectOf(P->OpenViewer());
      return S_OK;
    }
    return AccObjectOfWindow(ViewWnd(FOwnerView), Parent);
  });
}

HRESULT TTBViewAccObject::get_accChildCount(LONG& Count) {
  Count = 0;
  return Guarded([&]() -> HRESULT {
    if (!FOwnerView) return E_FAIL;
    Count = static_cast<LONG>(AccessibleViewers(FOwnerView).size());
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accChild(const VARIANT& Child, TAccRef& Disp) {
  Disp.reset();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerView) return E_FAIL;
    if (Child.vt != VT_I4 || Child.lVal < 0) return E_INVALIDARG;
    if (Child.lVal == CHILDID_SELF) {
      Disp = TAccRef(this);
      return S_OK;
    }
    const std::vector<TTBItemViewer*> List = AccessibleViewers(FOwnerView);
    if (static_cast<size_t>(Child.lVal) > List.size()) return E_INVALIDARG;
    TTBItemViewer* V = List[static_cast<size_t>(Child.lVal) - 1];
    if (auto* CI = dynamic_cast<TTBControlItem*>(V->Item())) {
      if (auto* W = dynamic_cast<TWinControl*>(CI->Control()); W && W->HandleAllocated())
        return AccObjectOfWindow(W->Handle(), Disp);
    }
    Disp = ObjectOf(V);
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accName(const VARIANT& Child, WideString& Name) {
  Name.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (TTBView* P = FOwnerView->ParentView(); P && P->OpenViewer())
      Name = StripAmpersands(P->OpenViewer()->CaptionText());
    if (Name.empty()) {
      if (HWND Wnd = ViewWnd(FOwnerView)) Name = GtGetWindowText(Wnd);
    }
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accValue(const VARIANT&, WideString& Value) {
  Value.clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accDescription(const VARIANT&, WideString& Description) {
  Description.clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accRole(const VARIANT& Child, VARIANT& Role) {
  Role.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (FOwnerView->IsPopup())
      Role = VARIANT::I4(ROLE_SYSTEM_MENUPOPUP);
    else if (FOwnerView->Style().Contains(vstMenuBar))
      Role = VARIANT::I4(ROLE_SYSTEM_MENUBAR);
    else
      Role = VARIANT::I4(ROLE_SYSTEM_TOOLBAR);
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accState(const VARIANT& Child, VARIANT& State) {
  State.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    State = VARIANT::I4(0);
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accHelp(const VARIANT&, WideString& Help) {
  Help.clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accHelpTopic(WideString& HelpFile, const VARIANT&, LONG& Topic) {
  HelpFile.clear();
  Topic = 0;
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accKeyboardShortcut(const VARIANT& Child, WideString& Shortcut) {
  Shortcut.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (!FOwnerView->Style().Contains(vstMenuBar)) return S_FALSE;
    Shortcut = AltKeyName();
    return S_OK;
  });
}

HRESULT TTBViewAccObject::get_accFocus(VARIANT& Child) {
  Child.Clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accSelection(VARIANT& Children) {
  Children.Clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::get_accDefaultAction(const VARIANT&, WideString& Action) {
  Action.clear();
  return S_FALSE;
}

HRESULT TTBViewAccObject::accSelect(LONG, const VARIANT&) { return DISP_E_MEMBERNOTFOUND; }

HRESULT TTBViewAccObject::accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height, const VARIANT& Child) {
  Left = Top = Width = Height = 0;
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    TRect W;
    HWND Wnd = ViewWnd(FOwnerView);
    if (!Wnd || !GetWindowRect(Wnd, &W)) return E_FAIL;
    Left = W.Left;
    Top = W.Top;
    Width = W.Width();
    Height = W.Height();
    return S_OK;
  });
}

HRESULT TTBViewAccObject::accNavigate(LONG NavDir, const VARIANT& Start, VARIANT& End) {
  End.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Start, R)) return R;
    if (NavDir != NAVDIR_FIRSTCHILD && NavDir != NAVDIR_LASTCHILD) return S_FALSE;
    const std::vector<TTBItemViewer*> List = AccessibleViewers(FOwnerView);
    if (List.empty()) return S_FALSE;
    End = VARIANT::Dispatch(ObjectOf(NavDir == NAVDIR_FIRSTCHILD ? List.front() : List.back()));
    return S_OK;
  });
}

HRESULT TTBViewAccObject::accHitTest(LONG Left, LONG Top, VARIANT& Child) {
  Child.Clear();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerView) return E_FAIL;
    HWND Wnd = ViewWnd(FOwnerView);
    TRect W;
    if (!Wnd || !GetWindowRect(Wnd, &W)) return S_FALSE;
    if (Left < W.Left || Left >= W.Right || Top < W.Top || Top >= W.Bottom) return S_FALSE;
    TPoint P(Left, Top);
    ScreenToClient(Wnd, &P);
    HWND Under = ChildWindowFromPointEx(Wnd, P, CWP_SKIPINVISIBLE);
    if (Under && Under != Wnd) {
      TAccRef Obj;
      const HRESULT Res = AccObjectOfWindow(Under, Obj);
      if (Obj) Child = VARIANT::Dispatch(Obj);
      return Res;
    }
    if (TTBItemViewer* V = FOwnerView->ViewerAt(P)) {
      Child = VARIANT::Dispatch(ObjectOf(V));
      return S_OK;
    }
    Child = VARIANT::I4(CHILDID_SELF);
    return S_OK;
  });
}

HRESULT TTBViewAccObject::accDoDefaultAction(const VARIANT&) { return S_FALSE; }
HRESULT TTBViewAccObject::put_accName(const VARIANT&, const WideString&) { return S_FALSE; }
HRESULT TTBViewAccObject::put_accValue(const VARIANT&, const WideString&) { return S_FALSE; }

// ---------------------------------------------------------------- item viewer object

TTBItemViewerAccObject::TTBItemViewerAccObject(TTBItemViewer* AOwner) : FOwnerViewer(AOwner) {
  ++ViewerAccObjectCount;
}

TTBItemViewerAccObject::~TTBItemViewerAccObject() {
  --ViewerAccObjectCount;
  std::lock_guard<std::recursive_mutex> L(AccListLock());
  ForgetOwnerLocked();
}

void TTBItemViewerAccObject::ForgetOwnerLocked() {
  if (FOwnerViewer && FOwnerViewer->AccObject() == this) FOwnerViewer->SetAccObject(nullptr);
  FOwnerViewer = nullptr;
}

bool TTBItemViewerAccObject::CheckSelfChild(const VARIANT& Child, HRESULT& Result) const {
  if (!FOwnerViewer) {
    Result = E_FAIL;
    return false;
  }
  if (!IsSelf(Child)) {
    Result = E_INVALIDARG;
    return false;
  }
  return true;
}

bool TTBItemViewerAccObject::ViewerAvailable() const {
  return FOwnerViewer->IsReachable() && ItemEnabledAndSelectable(FOwnerViewer) &&
         ViewAcceptsInput(FOwnerViewer->View());
}

HRESULT TTBItemViewerAccObject::get_accParent(TAccRef& Parent) {
  Parent.reset();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerViewer) return E_FAIL;
    Parent = ObjectOf(FOwnerViewer->View());
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accChildCount(LONG& Count) {
  Count = 0;
  return Guarded([&]() -> HRESULT {
    if (!FOwnerViewer) return E_FAIL;
    Count = OpenSubmenuOf(FOwnerViewer) ? 1 : 0;
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accChild(const VARIANT& Child, TAccRef& Disp) {
  Disp.reset();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerViewer) return E_FAIL;
    if (Child.vt != VT_I4) return E_INVALIDARG;
    if (Child.lVal == CHILDID_SELF) {
      Disp = TAccRef(this);
      return S_OK;
    }
    if (Child.lVal == 1) {
      if (TTBView* Sub = OpenSubmenuOf(FOwnerViewer)) {
        Disp = ObjectOf(Sub);
        return S_OK;
      }
    }
    return E_INVALIDARG;
  });
}

HRESULT TTBItemViewerAccObject::get_accName(const VARIANT& Child, WideString& Name) {
  Name.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    Name = StripAmpersands(FOwnerViewer->CaptionText());
    if (!FOwnerViewer->IsToolbarStyle()) {
      const WideString Key = FOwnerViewer->Item()->ShortCutText();
      if (!Key.empty()) Name += u'\t' + Key;
    }
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accValue(const VARIANT& Child, WideString& Value) {
  Value.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (!FOwnerViewer->AccessibleValue(Value)) {
      Value.clear();
      return S_FALSE;
    }
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accDescription(const VARIANT&, WideString& Description) {
  Description.clear();
  return S_FALSE;
}

HRESULT TTBItemViewerAccObject::get_accRole(const VARIANT& Child, VARIANT& Role) {
  Role.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    Role = VARIANT::I4(FOwnerViewer->AccessibleRole());
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accState(const VARIANT& Child, VARIANT& State) {
  State.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    TTBItemViewer* V = FOwnerViewer;
    TTBView* View = V->View();
    LONG S = 0;
    if (View->Selected() == V) {
      S |= STATE_SYSTEM_HOTTRACKED;
      if (View->State().Contains(vsModal)) S |= STATE_SYSTEM_FOCUSED;
      if (View->MouseOverSelected() && View->Capture()) S |= STATE_SYSTEM_PRESSED;
    }
    if (V->Item()->ItemStyle().Contains(tisSubmenu)) S |= STATE_SYSTEM_HASPOPUP;
    if (V->Show || V->Clipped) {
      if (ViewAcceptsInput(View)) S |= STATE_SYSTEM_FOCUSABLE;
    } else {
      S |= STATE_SYSTEM_INVISIBLE;
    }
    if (!ItemEnabledAndSelectable(V)) S |= STATE_SYSTEM_UNAVAILABLE;
    if (V->Item()->Checked()) S |= STATE_SYSTEM_CHECKED;
    State = VARIANT::I4(S);
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accHelp(const VARIANT&, WideString& Help) {
  Help.clear();
  return S_FALSE;
}

HRESULT TTBItemViewerAccObject::get_accHelpTopic(WideString& HelpFile, const VARIANT&, LONG& Topic) {
  HelpFile.clear();
  Topic = 0;
  return S_FALSE;
}

HRESULT TTBItemViewerAccObject::get_accKeyboardShortcut(const VARIANT& Child, WideString& Shortcut) {
  Shortcut.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (!FOwnerViewer->CaptionShown()) return S_FALSE;
    const WideChar Accel = AcceleratorOf(FOwnerViewer->CaptionText());
    if (Accel == 0) return S_FALSE;
    const WideChar Lower = LowerChar(Accel);
    if (FOwnerViewer->View()->IsPopup())
      Shortcut = WideString(1, Lower);
    else
      Shortcut = AltKeyName() + u"+" + WideString(1, Lower);
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::get_accFocus(VARIANT& Child) {
  Child.Clear();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerViewer) return E_FAIL;
    TTBView* View = FOwnerViewer->View();
    if (View->State().Contains(vsModal) && View->Selected() == FOwnerViewer) {
      Child = VARIANT::I4(CHILDID_SELF);
      return S_OK;
    }
    return S_FALSE;
  });
}

HRESULT TTBItemViewerAccObject::get_accSelection(VARIANT& Children) {
  Children.Clear();
  return S_FALSE;
}

HRESULT TTBItemViewerAccObject::get_accDefaultAction(const VARIANT& Child, WideString& Action) {
  Action.clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (!ViewerAvailable()) return S_FALSE;
    TTBView* View = FOwnerViewer->View();
    if (OpenSubmenuOf(FOwnerViewer))
      Action = u"Close";
    else if (FOwnerViewer->Item()->ItemStyle().Contains(tisSubmenu))
      Action = u"Open";
    else if (View->IsPopup() || View->Style().Contains(vstMenuBar))
      Action = u"Execute";
    else
      Action = u"Press";
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::accSelect(LONG Flags, const VARIANT& Child) {
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (Flags != SELFLAG_TAKEFOCUS) return E_INVALIDARG;
    TTBItemViewer* V = FOwnerViewer;
    TTBView* View = V->View();
    if (!ViewAcceptsInput(View) || !(V->Show || V->Clipped)) return E_FAIL;
    View->Select(V, false);
    View->ScrollSelectedIntoView();
    if (!View->State().Contains(vsModal) && !View->ParentView()) V->QueueAccessibleAction(0);
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height,
                                            const VARIANT& Child) {
  Left = Top = Width = Height = 0;
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    HWND Wnd = ViewWnd(FOwnerViewer->View());
    if (!Wnd) return E_FAIL;
    TPoint Origin;
    ClientToScreen(Wnd, &Origin);
    const TRect& B = FOwnerViewer->BoundsRect;
    Left = B.Left + Origin.X;
    Top = B.Top + Origin.Y;
    Width = B.Width();
    Height = B.Height();
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::accNavigate(LONG NavDir, const VARIANT& Start, VARIANT& End) {
  End.Clear();
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Start, R)) return R;
    TTBView* View = FOwnerViewer->View();
    if (NavDir == NAVDIR_FIRSTCHILD || NavDir == NAVDIR_LASTCHILD) {
      if (TTBView* Sub = OpenSubmenuOf(FOwnerViewer)) {
        End = VARIANT::Dispatch(ObjectOf(Sub));
        return S_OK;
      }
      return S_FALSE;
    }
    const Integer Index = View->IndexOfViewer(FOwnerViewer);
    if (Index < 0) return S_FALSE;
    TTBItemViewer* Found = nullptr;
    switch (NavDir) {
      case NAVDIR_UP:
      case NAVDIR_LEFT:
      case NAVDIR_PREVIOUS:
        for (Integer I = Index - 1; I >= 0 && !Found; --I)
          if (View->Viewers(I)->IsReachable()) Found = View->Viewers(I);
        break;
      case NAVDIR_DOWN:
      case NAVDIR_RIGHT:
      case NAVDIR_NEXT:
        for (Integer I = Index + 1; I < View->ViewerCount() && !Found; ++I)
          if (View->Viewers(I)->IsReachable()) Found = View->Viewers(I);
        break;
      default: break;
    }
    if (!Found) return S_FALSE;
    End = VARIANT::Dispatch(ObjectOf(Found));
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::accHitTest(LONG Left, LONG Top, VARIANT& Child) {
  Child.Clear();
  return Guarded([&]() -> HRESULT {
    if (!FOwnerViewer) return E_FAIL;
    HWND Wnd = ViewWnd(FOwnerViewer->View());
    if (!Wnd) return S_FALSE;
    TPoint P(Left, Top);
    ScreenToClient(Wnd, &P);
    const TRect& B = FOwnerViewer->BoundsRect;
    if (P.X < B.Left || P.X >= B.Right || P.Y < B.Top || P.Y >= B.Bottom) return S_FALSE;
    Child = VARIANT::I4(CHILDID_SELF);
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::accDoDefaultAction(const VARIANT& Child) {
  return Guarded([&]() -> HRESULT {
    HRESULT R;
    if (!CheckSelfChild(Child, R)) return R;
    if (!ViewerAvailable()) return E_FAIL;
    TTBItemViewer* V = FOwnerViewer;
    TTBView* View = V->View();
    if (OpenSubmenuOf(V)) {
      View->CancelPopups();
      if (View->State().Contains(vsModal) && !View->IsPopup()) View->EndModal();
    } else {
      View->Select(V, false);
      View->ScrollSelectedIntoView();
      V->QueueAccessibleAction(1);
    }
    return S_OK;
  });
}

HRESULT TTBItemViewerAccObject::put_accName(const VARIANT&, const WideString&) { return S_FALSE; }
HRESULT TTBItemViewerAccObject::put_accValue(const VARIANT&, const WideString&) { return S_FALSE; }

void TTBItemViewerAccObject::PerformQueuedAccAction(bool Invoke) {
  TTBItemViewer* V = FOwnerViewer;
  if (!V) return;
  if (Invoke ? !ViewerAvailable() : !ViewAcceptsInput(V->View())) return;
  TTBView* View = V->View();
  View->Select(V, false);
  View->ScrollSelectedIntoView();
  if (View->State().Contains(vsModal)) {
    if (Invoke) View->ExecuteSelected(true);
  } else if (!View->ParentView() && !GetCapture()) {
    View->RunModal(Invoke ? 6 : 4);
  }
}

// ---------------------------------------------------------------- views and viewers

TTBViewAccObject* TTBView::AccessibleObject() {
  if (!FAccObject && BindOleAcc()) {
    FAccObject = new TTBViewAccObject(this);
    FAccObject->AddRef();
  }
  return FAccObject;
}

bool TTBView::HandleGetObject(TMessage& Message) {
  if (Message.Msg != WM_GETOBJECT || static_cast<LONG>(Message.LParam) != OBJID_CLIENT || !BindOleAcc())
    return false;
  Message.Result = LresultFromObject(Message.WParam, AccessibleObject());
  return true;
}

void TTBView::ReportFocus() {
  if (!FState.Contains(vsModal) || !RootView()->FState.Contains(vsModal) || ModalEnding()) return;
  HWND Wnd = ViewWnd(this);
  if (!Wnd || !IsWindowVisible(Wnd)) return;
  if (FSelected && FSelected->IsReachable()) {
    LONG Child = 1;
    for (TTBItemViewer* V : FViewers) {
      if (V == FSelected) break;
      if (V->IsReachable()) ++Child;
    }
    NotifyAccEvent(EVENT_OBJECT_FOCUS, Wnd, OBJID_CLIENT, Child);
  } else if (FParentView) {
    FParentView->ReportFocus();
  } else {
    NotifyAccEvent(EVENT_OBJECT_FOCUS, Wnd, OBJID_CLIENT, CHILDID_SELF);
  }
}

TTBItemViewerAccObject* TTBItemViewer::AccessibleObject() {
  if (!FAccObject && BindOleAcc()) FAccObject = new TTBItemViewerAccObject(this);
  return FAccObject;
}

void TTBItemViewer::QueueAccessibleAction(Integer Action) { QueueClick(this, static_cast<WPARAM>(Action)); }

void TTBItemViewer::PerformAccessibleAction(Integer Action) {
  if (FAccObject) FAccObject->PerformQueuedAccAction(Action != 0);
}
