// A small program over the toolbar library for checks that drive a real X
// server: an MDI frame with four docks, a menu bar, a tool bar and two MDI
// children. It prints one line per event on stdout, flushed at once, so a
// script can wait for a line and read the geometry it needs:
//   handle <bar> <window handle>
//   viewer <bar> <caption> <left> <top> <width> <height>   (screen pixels)
//   popup <parent caption> <left> <top> <width> <height>
//   entry <parent caption> <caption> <checked 0|1> <left> <top> <width> <height>
//   closed <parent caption>                                 (a popup window went)
//   click <caption>
//   dock <bar> <dock> row <row> pos <position>
//   place <bar> <window handle> <dock>|floating <left> <top> <width> <height> <X window>
//                         (the bar's window, or its floating window, on screen,
//                          and that window's X id; at start and on every change)
//   mdiclick <x> <y>                                        (client pixels)
//   client <left> <top> <width> <height>                    (the MDI client)
//   child <caption> <left> <top> <width> <height>           (at start)
//   state <caption> normal|maximized|minimized              (at start and on change)
//   ready
// The menu bar's viewer lines are printed again, after a line "bar <bar>",
// whenever its items or their places change (the MDI buttons come and go).
// Viewers without a caption are named after their kind: sysmenu, minimize,
// restore, close.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "controls/tbcommon.h"
#include "controls/tbdock.h"
#include "controls/tbfloat.h"
#include "controls/tbmdi.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/base/sysutils.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/winuser.h"

namespace {

void Say(const std::string& Line) {
  std::fputs(Line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string U8(const WideString& S) { return WideToUtf8(StripAmpersands(S)); }

std::string RectText(const TRect& R) {
  return std::to_string(R.Left) + " " + std::to_string(R.Top) + " " + std::to_string(R.Width()) + " " +
         std::to_string(R.Height());
}

class TDemoForm : public TForm {
 public:
  TDemoForm() : TForm(nullptr) {
    SetFormStyle(fsMDIForm);
    SetCaption(u"Dock demo");
    SetBounds(40, 40, 720, 520);
    const std::pair<TTBDockPosition, const char16_t*> Places[] = {
        {dpTop, u"TBDockT"}, {dpLeft, u"TBDockL"}, {dpRight, u"TBDockR"}, {dpBottom, u"TBDockB"}};
    for (auto [Position, Name] : Places) {
      auto* D = new TTBDock(this);
      D->SetName(Name);
      D->SetPosition(Position);
      D->SetParent(this);
      if (Position == dpTop) Top = D;
    }
    MakeMenuBar();
    MakeToolbar();
    auto* Handler = new TTBMDIHandler(this);
    Handler->SetToolbar(MenuBar);
  }

  TTBToolbar* MenuBar = nullptr;
  TTBToolbar* Toolbar = nullptr;

 private:
  TTBCustomItem* AddItem(TTBCustomItem* Parent, TTBCustomItem* Item, const char16_t* Caption) {
    if (Caption) Item->SetCaption(Caption);
    Item->OnClick = [Item](TObject*) { Say("click " + U8(Item->Caption())); };
    Parent->Add(Item);
    return Item;
  }

  void MakeMenuBar() {
    MenuBar = new TTBToolbar(this);
    MenuBar->SetName(u"MenuToolBar");
    MenuBar->SetCaption(u"Menu");
    MenuBar->SetMenuBar(true);
    TTBCustomItem* Root = MenuBar->Items();
    TTBCustomItem* File = AddItem(Root, new TTBSubmenuItem(this), u"&File");
    AddItem(File, new TTBItem(this), u"&New");
    AddItem(File, new TTBItem(this), u"&Save");
    File->Add(new TTBSeparatorItem(this));
    TTBCustomItem* Exit = AddItem(File, new TTBItem(this), u"E&xit");
    Exit->OnClick = [](TObject*) {
      Say("click Exit");
      Application->Terminate();
    };
    TTBCustomItem* Edit = AddItem(Root, new TTBSubmenuItem(this), u"&Edit");
    AddItem(Edit, new TTBItem(this), u"&Copy");
    AddItem(Edit, new TTBItem(this), u"&Paste");
    TTBCustomItem* Window = AddItem(Root, new TTBSubmenuItem(this), u"&Window");
    auto* List = new TTBMDIWindowItem(this);
    List->SetForm(this);
    Window->Add(List);
    Watch(MenuBar);
    MenuBar->SetCurrentDock(Top);
  }

  void MakeToolbar() {
    Toolbar = new TTBToolbar(this);
    Toolbar->SetName(u"TBToolbar1");
    Toolbar->SetCaption(u"Tools");
    for (const char16_t* Caption : {u"One", u"Two", u"Three", u"Four", u"Five"})
      AddItem(Toolbar->Items(), new TTBItem(this), Caption);
    Watch(Toolbar);
    Toolbar->SetDockRow(1);
    Toolbar->SetCurrentDock(Top);
  }

  static void Watch(TTBToolbar* Bar) {
    Bar->OnDockChanged = [Bar](TObject*) {
      TTBDock* D = Bar->CurrentDock();
      Say("dock " + WideToUtf8(Bar->Name()) + " " + (D ? WideToUtf8(D->Name()) : std::string("floating")) + " row " +
          std::to_string(Bar->DockRow()) + " pos " + std::to_string(Bar->DockPos()));
    };
  }

  TTBDock* Top = nullptr;
};

// Popups are reported as they show; presses on the MDI client as they arrive.
HWND g_Client = nullptr;
HHOOK g_Hook = nullptr;

std::string ViewerName(TTBItemViewer* V) {
  TTBCustomItem* Item = V->Item();
  if (dynamic_cast<TTBMDISystemMenuItem*>(Item)) return "sysmenu";
  if (auto* B = dynamic_cast<TTBMDIButtonItem*>(Item)) {
    const char* Kinds[] = {"minimize", "restore", "close"};
    return B->Kind() >= 0 && B->Kind() < 3 ? Kinds[B->Kind()] : "button";
  }
  return U8(Item->Caption());
}

// The shown viewers of a view with their screen rectangles.
std::vector<std::pair<TTBItemViewer*, TRect>> ShownViewers(TTBView* V, HWND Wnd) {
  std::vector<std::pair<TTBItemViewer*, TRect>> Out;
  V->EnsureLayout();
  TPoint Origin;
  ClientToScreen(Wnd, &Origin);
  for (Integer I = 0; I < V->ViewerCount(); ++I) {
    TTBItemViewer* Vw = V->Viewers(I);
    if (!Vw->Show) continue;
    TRect R = Vw->BoundsRect;
    OffsetRect(R, Origin.X, Origin.Y);
    Out.push_back({Vw, R});
  }
  return Out;
}

std::string ParentName(TTBPopupWindow* P) {
  TTBCustomItem* Parent = P->View()->ParentItem();
  return Parent ? U8(Parent->Caption()) : std::string("-");
}

LRESULT SeeMessages(Integer Code, WPARAM WParam, LPARAM LParam) {
  const auto* C = reinterpret_cast<const CWPSTRUCT*>(LParam);
  if (C->message == WM_SHOWWINDOW && C->wParam != 0) {
    if (auto* P = dynamic_cast<TTBPopupWindow*>(FindControl(C->hwnd))) {
      TRect R;
      GetWindowRect(C->hwnd, &R);
      Say("popup " + ParentName(P) + " " + RectText(R));
      for (const auto& [Vw, VR] : ShownViewers(P->View(), C->hwnd))
        Say("entry " + ParentName(P) + " " + ViewerName(Vw) + " " + (Vw->Item()->Checked() ? "1 " : "0 ") +
            RectText(VR));
    }
  } else if (C->message == WM_DESTROY) {
    if (auto* P = dynamic_cast<TTBPopupWindow*>(FindControl(C->hwnd))) Say("closed " + ParentName(P));
  } else if (C->hwnd == g_Client && (C->message == WM_LBUTTONDOWN || C->message == WM_RBUTTONDOWN)) {
    Say("mdiclick " + std::to_string(static_cast<int16_t>(C->lParam & 0xFFFF)) + " " +
        std::to_string(static_cast<int16_t>((C->lParam >> 16) & 0xFFFF)));
  }
  return CallNextHookEx(g_Hook, Code, WParam, LParam);
}

void ReportBar(TTBToolbar* Bar) {
  Say("handle " + WideToUtf8(Bar->Name()) + " " + std::to_string(reinterpret_cast<uintptr_t>(Bar->Handle())));
  for (const auto& [Vw, R] : ShownViewers(Bar->View(), Bar->Handle()))
    Say("viewer " + WideToUtf8(Bar->Name()) + " " + ViewerName(Vw) + " " + RectText(R));
}

// What the watch timer saw last: the menu bar's viewers and the children's states.
TDemoForm* g_Form = nullptr;
std::string g_LastBar;
std::map<std::string, std::string> g_LastState;
std::string g_LastPlace;

void WatchPlace(TTBToolbar* Bar) {
  TTBDock* D = Bar->CurrentDock();
  TTBFloatingWindowParent* F = Bar->FloatingWindow();
  HWND Outer = Bar->Floating() && F ? F->Handle() : Bar->Handle();
  TRect R;
  GetWindowRect(Outer, &R);
  const std::string Line = "place " + WideToUtf8(Bar->Name()) + " " +
                           std::to_string(reinterpret_cast<uintptr_t>(Bar->Handle())) + " " +
                           (Bar->Floating() ? std::string("floating") : D ? WideToUtf8(D->Name()) : "none") + " " +
                           RectText(R) + " " + std::to_string(GtTestNativeWindowId(Outer));
  if (Line == g_LastPlace) return;
  g_LastPlace = Line;
  Say(Line);
}

const char* StateOf(HWND Wnd) { return IsZoomed(Wnd) ? "maximized" : IsIconic(Wnd) ? "minimized" : "normal"; }

void WatchTick(HWND, UINT, UINT_PTR, DWORD) {
  TTBToolbar* Bar = g_Form->MenuBar;
  std::string Lines;
  for (const auto& [Vw, R] : ShownViewers(Bar->View(), Bar->Handle()))
    Lines += "viewer " + WideToUtf8(Bar->Name()) + " " + ViewerName(Vw) + " " + RectText(R) + "\n";
  if (Lines != g_LastBar) {
    g_LastBar = Lines;
    Say("bar " + WideToUtf8(Bar->Name()));
    std::fputs(Lines.c_str(), stdout);
    std::fflush(stdout);
  }
  WatchPlace(g_Form->Toolbar);
  for (Integer I = 0; I < g_Form->MDIChildCount(); ++I) {
    TForm* Child = g_Form->MDIChildren(I);
    const std::string Name = WideToUtf8(Child->Caption());
    const std::string State = StateOf(Child->Handle());
    if (g_LastState[Name] != State) {
      g_LastState[Name] = State;
      Say("state " + Name + " " + State);
    }
  }
}

}  // namespace

int main() {
  auto* Form = new TDemoForm;
  Application->SetMainForm(Form);
  Form->Show();
  Integer Offset = 10;
  for (const char16_t* Caption : {u"Child 1", u"Child 2"}) {
    auto* Child = new TForm(Form);
    Child->SetFormStyle(fsMDIChild);
    Child->SetCaption(Caption);
    Child->SetBounds(Offset, Offset, 240, 160);
    Offset += 30;
    Child->Show();
  }
  g_Client = Form->ClientHandle();
  g_Hook = SetWindowsHookEx(WH_CALLWNDPROC, SeeMessages, nullptr, GetCurrentThreadId());
  Application->ProcessMessages();
  ReportBar(Form->MenuBar);
  ReportBar(Form->Toolbar);
  TRect Client;
  GetWindowRect(g_Client, &Client);
  Say("client " + RectText(Client));
  for (Integer I = Form->MDIChildCount() - 1; I >= 0; --I) {
    TForm* Child = Form->MDIChildren(I);
    TRect R;
    GetWindowRect(Child->Handle(), &R);
    Say("child " + WideToUtf8(Child->Caption()) + " " + RectText(R));
  }
  g_Form = Form;
  WatchTick(nullptr, 0, 0, 0);
  SetTimer(nullptr, 0, 100, WatchTick);
  Say("ready");
  Application->Run();
  UnhookWindowsHookEx(g_Hook);
  delete Form;
  return 0;
}
