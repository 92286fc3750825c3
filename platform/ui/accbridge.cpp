// The accessibility bridge: objects that windows hand out through
// WM_GETOBJECT become Qt accessibility interfaces, and through Qt the
// desktop's accessibility bus (AT-SPI) reaches them. A window whose frame
// answers WM_GETOBJECT for its client area is shown as that object; objects
// without a window of their own (the items of a bar) get an interface of
// their own, kept until the object is disconnected. Everything here runs on
// the GUI thread, and says so loudly when it does not.
#include "platform/ui/accbridge.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QCoreApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <atomic>
#include <map>

#include "platform/ui/private/window.h"
#include "platform/ui/winuser.h"

namespace {

void AssertGuiThread() {
  QCoreApplication* App = QCoreApplication::instance();
  if (App && QThread::currentThread() != App->thread())
    qFatal("accessibility objects are used on the GUI thread only");
}

// ---------------------------------------------------------------- tokens of WM_GETOBJECT

std::map<LRESULT, TAccRef>& Tokens() {
  static auto* M = new std::map<LRESULT, TAccRef>;
  return *M;
}
LRESULT g_NextToken = 0;

// ---------------------------------------------------------------- the standard window object

// A window's frame (OBJID_WINDOW) or, when the window gives none of its
// own, its client area: name, location and state from the window.
class TWindowAccObject : public IAccessible {
 public:
  TWindowAccObject(HWND Wnd, bool Client) : FWnd(Wnd), FClient(Client) {}
  ULONG AddRef() override { return ++FRefs; }
  ULONG Release() override {
    const ULONG N = --FRefs;
    if (N == 0) delete this;
    return N;
  }
  HRESULT GetTypeInfoCount(UINT& Count) override {
    Count = 0;
    return E_NOTIMPL;
  }
  HRESULT GetTypeInfo(UINT, void*& Info) override {
    Info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(const WideString&, LONG& Id) override {
    Id = -1;
    return E_NOTIMPL;
  }
  HRESULT Invoke(LONG) override { return E_NOTIMPL; }

  HRESULT get_accParent(TAccRef& Parent) override {
    Parent.reset();
    if (!IsWindow(FWnd)) return E_FAIL;
    if (FClient) return AccessibleObjectFromWindow(FWnd, OBJID_WINDOW, Parent);
    HWND P = GetParent(FWnd);
    return P ? AccessibleObjectFromWindow(P, OBJID_CLIENT, Parent) : S_FALSE;
  }
  HRESULT get_accChildCount(LONG& Count) override {
    Count = 0;
    return IsWindow(FWnd) ? S_OK : E_FAIL;
  }
  HRESULT get_accChild(const VARIANT& Child, TAccRef& Disp) override {
    Disp.reset();
    if (!IsWindow(FWnd)) return E_FAIL;
    if (!Self(Child)) return E_INVALIDARG;
    Disp = TAccRef(this);
    return S_OK;
  }
  HRESULT get_accName(const VARIANT& Child, WideString& Name) override {
    Name.clear();
    HRESULT R;
    if (!Check(Child, R)) return R;
    Name = GtGetWindowText(FWnd);
    return S_OK;
  }
  HRESULT get_accValue(const VARIANT&, WideString& Value) override {
    Value.clear();
    return S_FALSE;
  }
  HRESULT get_accDescription(const VARIANT&, WideString& Text) override {
    Text.clear();
    return S_FALSE;
  }
  HRESULT get_accRole(const VARIANT& Child, VARIANT& Role) override {
    Role.Clear();
    HRESULT R;
    if (!Check(Child, R)) return R;
    Role = VARIANT::I4(FClient ? ROLE_SYSTEM_CLIENT : ROLE_SYSTEM_WINDOW);
    return S_OK;
  }
  HRESULT get_accState(const VARIANT& Child, VARIANT& State) override {
    State.Clear();
    HRESULT R;
    if (!Check(Child, R)) return R;
    LONG S = 0;
    if (!IsWindowVisible(FWnd)) S |= STATE_SYSTEM_INVISIBLE;
    if (!IsWindowEnabled(FWnd)) S |= STATE_SYSTEM_UNAVAILABLE;
    if (GetFocus() == FWnd) S |= STATE_SYSTEM_FOCUSED;
    State = VARIANT::I4(S);
    return S_OK;
  }
  HRESULT get_accHelp(const VARIANT&, WideString& Help) override {
    Help.clear();
    return S_FALSE;
  }
  HRESULT get_accHelpTopic(WideString& File, const VARIANT&, LONG& Topic) override {
    File.clear();
    Topic = 0;
    return S_FALSE;
  }
  HRESULT get_accKeyboardShortcut(const VARIANT&, WideString& Key) override {
    Key.clear();
    return S_FALSE;
  }
  HRESULT get_accFocus(VARIANT& Child) override {
    Child.Clear();
    return S_FALSE;
  }
  HRESULT get_accSelection(VARIANT& Children) override {
    Children.Clear();
    return S_FALSE;
  }
  HRESULT get_accDefaultAction(const VARIANT&, WideString& Action) override {
    Action.clear();
    return S_FALSE;
  }
  HRESULT accSelect(LONG, const VARIANT&) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT accLocation(LONG& Left, LONG& Top, LONG& Width, LONG& Height, const VARIANT& Child) override {
    Left = Top = Width = Height = 0;
    HRESULT R;
    if (!Check(Child, R)) return R;
    TRect Rect;
    if (FClient) {
      GetClientRect(FWnd, &Rect);
      TPoint Origin;
      ClientToScreen(FWnd, &Origin);
      OffsetRect(Rect, Origin.X, Origin.Y);
    } else {
      GetWindowRect(FWnd, &Rect);
    }
    Left = Rect.Left;
    Top = Rect.Top;
    Width = Rect.Width();
    Height = Rect.Height();
    return S_OK;
  }
  HRESULT accNavigate(LONG, const VARIANT&, VARIANT& End) override {
    End.Clear();
    return S_FALSE;
  }
  HRESULT accHitTest(LONG, LONG, VARIANT& Child) override {
    Child.Clear();
    return S_FALSE;
  }
  HRESULT accDoDefaultAction(const VARIANT&) override { return DISP_E_MEMBERNOTFOUND; }
  HRESULT put_accName(const VARIANT&, const WideString&) override { return S_FALSE; }
  HRESULT put_accValue(const VARIANT&, const WideString&) override { return S_FALSE; }
  HRESULT GetWindow(HWND& Wnd) override {
    Wnd = FWnd;
    return S_OK;
  }

 private:
  ~TWindowAccObject() override = default;
  static bool Self(const VARIANT& Child) { return Child.vt == VT_I4 && Child.lVal == CHILDID_SELF; }
  bool Check(const VARIANT& Child, HRESULT& R) const {
    R = !IsWindow(FWnd) ? E_FAIL : !Self(Child) ? E_INVALIDARG : S_OK;
    return R == S_OK;
  }
  std::atomic<ULONG> FRefs{0};
  HWND FWnd;
  bool FClient;
};

// ---------------------------------------------------------------- Qt's side

QWidget* FrameWidgetOf(HWND Wnd) {
  gtui::TWindow* W = Wnd ? gtui::Lookup(Wnd) : nullptr;
  return W && !W->Dead ? W->Frame : nullptr;
}

class TAccInterface;
// The interface shown for each object the bridge has met.
std::map<IAccessible*, TAccInterface*>& Interfaces() {
  static auto* M = new std::map<IAccessible*, TAccInterface*>;
  return *M;
}

QAccessibleInterface* InterfaceFor(const TAccRef& Obj);

QAccessible::Role RoleOf(LONG Role) {
  switch (Role) {
    case ROLE_SYSTEM_MENUBAR: return QAccessible::MenuBar;
    case ROLE_SYSTEM_WINDOW: return QAccessible::Window;
    case ROLE_SYSTEM_CLIENT: return QAccessible::Client;
    case ROLE_SYSTEM_MENUPOPUP: return QAccessible::PopupMenu;
    case ROLE_SYSTEM_MENUITEM: return QAccessible::MenuItem;
    case ROLE_SYSTEM_SEPARATOR: return QAccessible::Separator;
    case ROLE_SYSTEM_TOOLBAR: return QAccessible::ToolBar;
    case ROLE_SYSTEM_PUSHBUTTON: return QAccessible::Button;
    case ROLE_SYSTEM_BUTTONMENU: return QAccessible::ButtonMenu;
    default: return QAccessible::Client;
  }
}

QString ToQ(const WideString& S) { return QString::fromUtf16(S.data(), static_cast<qsizetype>(S.size())); }

VARIANT SelfChild() { return VARIANT::I4(CHILDID_SELF); }

class TAccInterface : public QAccessibleInterface, public QAccessibleActionInterface {
 public:
  TAccInterface(const TAccRef& Obj, QWidget* Widget) : FObj(Obj), FWidget(Widget) {}
  ~TAccInterface() override {
    auto It = Interfaces().find(FObj.get());
    if (It != Interfaces().end() && It->second == this) Interfaces().erase(It);
  }
  IAccessible* Object() const { return FObj.get(); }

  bool isValid() const override {
    VARIANT Role;
    return FObj && FObj->get_accRole(SelfChild(), Role) != E_FAIL;
  }
  QObject* object() const override { return FWidget; }
  QWindow* window() const override {
    if (FWidget) return FWidget->window()->windowHandle();
    QAccessibleInterface* P = parent();
    return P ? P->window() : nullptr;
  }
  QAccessibleInterface* parent() const override {
    AssertGuiThread();
    if (FWidget) {
      QWidget* P = FWidget->parentWidget();
      return QAccessible::queryAccessibleInterface(P ? static_cast<QObject*>(P) : QCoreApplication::instance());
    }
    TAccRef Parent;
    if (!FObj || FObj->get_accParent(Parent) != S_OK) return nullptr;
    return InterfaceFor(Parent);
  }
  QAccessibleInterface* child(int Index) const override {
    AssertGuiThread();
    TAccRef Child;
    if (Index < 0 || !FObj || FObj->get_accChild(VARIANT::I4(Index + 1), Child) != S_OK) return nullptr;
    return InterfaceFor(Child);
  }
  int childCount() const override {
    LONG N = 0;
    return FObj && FObj->get_accChildCount(N) == S_OK ? static_cast<int>(N) : 0;
  }
  int indexOfChild(const QAccessibleInterface* Child) const override {
    const int N = childCount();
    for (int I = 0; I < N; ++I)
      if (child(I) == Child) return I;
    return -1;
  }
  QAccessibleInterface* childAt(int X, int Y) const override {
    VARIANT Hit;
    if (!FObj || FObj->accHitTest(X, Y, Hit) != S_OK) return nullptr;
    if (Hit.vt == VT_DISPATCH) return InterfaceFor(Hit.pdispVal);
    if (Hit.vt == VT_I4 && Hit.lVal > 0) return child(Hit.lVal - 1);
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    VARIANT Focus;
    if (!FObj || FObj->get_accFocus(Focus) != S_OK) return nullptr;
    if (Focus.vt == VT_DISPATCH) return InterfaceFor(Focus.pdispVal);
    if (Focus.vt == VT_I4 && Focus.lVal > 0) return child(Focus.lVal - 1);
    return nullptr;
  }
  QString text(QAccessible::Text T) const override {
    if (!FObj) return {};
    WideString S;
    switch (T) {
      case QAccessible::Name: FObj->get_accName(SelfChild(), S); break;
      case QAccessible::Description: FObj->get_accDescription(SelfChild(), S); break;
      case QAccessible::Value: FObj->get_accValue(SelfChild(), S); break;
      case QAccessible::Help: FObj->get_accHelp(SelfChild(), S); break;
      case QAccessible::Accelerator: FObj->get_accKeyboardShortcut(SelfChild(), S); break;
      default: break;
    }
    return ToQ(S);
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    LONG L, T, W, H;
    if (!FObj || FObj->accLocation(L, T, W, H, SelfChild()) != S_OK) return {};
    return QRect(L, T, W, H);
  }
  QAccessible::Role role() const override {
    VARIANT R;
    if (!FObj || FObj->get_accRole(SelfChild(), R) != S_OK || R.vt != VT_I4) return QAccessible::NoRole;
    return RoleOf(R.lVal);
  }
  QAccessible::State state() const override {
    QAccessible::State S;
    VARIANT V;
    if (!FObj || FObj->get_accState(SelfChild(), V) != S_OK || V.vt != VT_I4) {
      S.invalid = true;
      return S;
    }
    const LONG B = V.lVal;
    S.disabled = (B & STATE_SYSTEM_UNAVAILABLE) != 0;
    S.focused = (B & STATE_SYSTEM_FOCUSED) != 0;
    S.pressed = (B & STATE_SYSTEM_PRESSED) != 0;
    S.checked = (B & STATE_SYSTEM_CHECKED) != 0;
    S.hotTracked = (B & STATE_SYSTEM_HOTTRACKED) != 0;
    S.invisible = (B & STATE_SYSTEM_INVISIBLE) != 0;
    S.focusable = (B & STATE_SYSTEM_FOCUSABLE) != 0;
    S.hasPopup = (B & STATE_SYSTEM_HASPOPUP) != 0;
    return S;
  }
  void* interface_cast(QAccessible::InterfaceType T) override {
    return T == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
  }

  QStringList actionNames() const override {
    WideString A;
    if (!FObj || FObj->get_accDefaultAction(SelfChild(), A) != S_OK || A.empty()) return {};
    return {ToQ(A)};
  }
  void doAction(const QString& Name) override {
    AssertGuiThread();
    if (actionNames().contains(Name)) FObj->accDoDefaultAction(SelfChild());
  }
  QStringList keyBindingsForAction(const QString& Name) const override {
    WideString K;
    if (!actionNames().contains(Name) || FObj->get_accKeyboardShortcut(SelfChild(), K) != S_OK) return {};
    return {ToQ(K)};
  }

 private:
  TAccRef FObj;
  QWidget* FWidget;
};

QAccessibleInterface* InterfaceFor(const TAccRef& Obj) {
  if (!Obj) return nullptr;
  if (auto It = Interfaces().find(Obj.get()); It != Interfaces().end()) return It->second;
  HWND Wnd = nullptr;
  if (Obj->GetWindow(Wnd) == S_OK) {
    if (QWidget* Frame = FrameWidgetOf(Wnd)) {
      // Asking Qt for the window's interface asks the window for its object.
      QAccessibleInterface* I = QAccessible::queryAccessibleInterface(Frame);
      if (auto It = Interfaces().find(Obj.get()); It != Interfaces().end()) return It->second;
      // The standard object of a window stands for whatever Qt shows for it.
      if (dynamic_cast<TWindowAccObject*>(Obj.get())) return I;
    }
  }
  // A window Qt does not show (a message window) has nothing to stand for.
  if (dynamic_cast<TWindowAccObject*>(Obj.get())) return nullptr;
  auto* I = new TAccInterface(Obj, nullptr);
  QAccessible::registerAccessibleInterface(I);
  Interfaces()[Obj.get()] = I;
  return I;
}

// Called by Qt for each object whose interface it needs, once per class
// name up its hierarchy: the most derived name decides.
QAccessibleInterface* WindowFactory(const QString& ClassName, QObject* Obj) {
  if (!Obj || !Obj->isWidgetType() || ClassName != QLatin1String(Obj->metaObject()->className())) return nullptr;
  AssertGuiThread();
  auto* Widget = static_cast<QWidget*>(Obj);
  gtui::TWindow* W = gtui::WindowOfWidget(Widget);
  if (!W || W->Dead || W->Frame != Widget) return nullptr;
  TAccRef Client;
  const LRESULT R = SendMessage(W->Handle, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
  if (!R || ObjectFromLresult(R, 0, Client) != S_OK || !Client) return nullptr;
  // An interface made before the window was asked gives way to this one.
  if (auto It = Interfaces().find(Client.get()); It != Interfaces().end())
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(It->second));
  auto* I = new TAccInterface(Client, Widget);
  Interfaces()[Client.get()] = I;
  return I;
}

}  // namespace

namespace gtui {

void InstallAccessibilityFactory() {
  // Factories installed later are asked first: this one must come after the
  // widget application's own, which answers for every plain widget.
  QAccessible::installFactory(WindowFactory);
}

}  // namespace gtui

// ---------------------------------------------------------------- references

TAccRef::TAccRef(IAccessible* Obj) : FObj(Obj) {
  if (FObj) FObj->AddRef();
}
TAccRef::TAccRef(const TAccRef& Other) : TAccRef(Other.FObj) {}
TAccRef& TAccRef::operator=(const TAccRef& Other) {
  if (Other.FObj) Other.FObj->AddRef();
  IAccessible* Old = FObj;
  FObj = Other.FObj;
  if (Old) Old->Release();
  return *this;
}
TAccRef& TAccRef::operator=(TAccRef&& Other) noexcept {
  if (this != &Other) {
    IAccessible* Old = FObj;
    FObj = Other.FObj;
    Other.FObj = nullptr;
    if (Old) Old->Release();
  }
  return *this;
}
TAccRef::~TAccRef() { reset(); }
TAccRef TAccRef::Adopt(IAccessible* Obj) {
  TAccRef R;
  R.FObj = Obj;
  return R;
}
void TAccRef::reset() {
  IAccessible* Old = FObj;
  FObj = nullptr;
  if (Old) Old->Release();
}

// ---------------------------------------------------------------- services

LRESULT LresultFromObject(WPARAM, IAccessible* Obj) {
  if (!Obj) return 0;
  AssertGuiThread();
  const LRESULT Token = ++g_NextToken;
  Tokens()[Token] = TAccRef(Obj);
  return Token;
}

HRESULT ObjectFromLresult(LRESULT Result, WPARAM, TAccRef& Obj) {
  Obj.reset();
  auto It = Tokens().find(Result);
  if (It == Tokens().end()) return E_INVALIDARG;
  Obj = std::move(It->second);
  Tokens().erase(It);
  return S_OK;
}

HRESULT AccessibleObjectFromWindow(HWND Wnd, LONG ObjectId, TAccRef& Obj) {
  Obj.reset();
  if (!Wnd || !IsWindow(Wnd)) return E_INVALIDARG;
  AssertGuiThread();
  if (ObjectId == OBJID_CLIENT) {
    const LRESULT R = SendMessage(Wnd, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT));
    if (R && ObjectFromLresult(R, 0, Obj) == S_OK && Obj) return S_OK;
    Obj = TAccRef(new TWindowAccObject(Wnd, true));
    return S_OK;
  }
  if (ObjectId == OBJID_WINDOW) {
    Obj = TAccRef(new TWindowAccObject(Wnd, false));
    return S_OK;
  }
  return E_INVALIDARG;
}

void NotifyWinEvent(DWORD Event, HWND Wnd, LONG ObjectId, LONG ChildId) {
  if (!QAccessible::isActive() || !Wnd || !IsWindow(Wnd)) return;
  AssertGuiThread();
  QAccessible::Event Type;
  switch (Event) {
    case EVENT_SYSTEM_MENUSTART: Type = QAccessible::MenuStart; break;
    case EVENT_SYSTEM_MENUEND: Type = QAccessible::MenuEnd; break;
    case EVENT_SYSTEM_MENUPOPUPSTART: Type = QAccessible::PopupMenuStart; break;
    case EVENT_SYSTEM_MENUPOPUPEND: Type = QAccessible::PopupMenuEnd; break;
    case EVENT_OBJECT_FOCUS: Type = QAccessible::Focus; break;
    default: return;
  }
  TAccRef Obj;
  if (AccessibleObjectFromWindow(Wnd, ObjectId, Obj) != S_OK) return;
  QAccessibleInterface* I = InterfaceFor(Obj);
  if (I && ChildId > 0) I = I->child(ChildId - 1);
  if (!I) return;
  QAccessibleEvent E(I, Type);
  QAccessible::updateAccessibility(&E);
}

HRESULT CoDisconnectObject(IAccessible* Obj) {
  if (!Obj) return E_INVALIDARG;
  AssertGuiThread();
  auto It = Interfaces().find(Obj);
  if (It == Interfaces().end()) return S_OK;
  TAccInterface* I = It->second;
  Interfaces().erase(It);
  if (QAccessible::Id Id = QAccessible::uniqueId(I))
    QAccessible::deleteAccessibleInterface(Id);
  else
    delete I;
  return S_OK;
}

void AccAtShutdown(void (*Proc)()) {
  if (Proc) qAddPostRoutine(Proc);
}
