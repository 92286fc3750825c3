// A small program over the toolbar library for checks that drive a real X
// server: an MDI frame with four docks, a menu bar, a tool bar and two MDI
// children. It prints one line per event on stdout, flushed at once, so a
// script can wait for a line and read the geometry it needs:
//   handle <bar> <window handle>
//   viewer <bar> <caption> <left> <top> <width> <height>   (screen pixels)
//   popup <parent caption> <left> <top> <width> <height>
//   click <caption>
//   dock <bar> <dock> row <row> pos <position>
//   mdiclick <x> <y>                                        (client pixels)
//   ready
#include <cstdio>
#include <string>

#include "controls/tbcommon.h"
#include "controls/tbdock.h"
#include "controls/tbmdi.h"
#include "controls/tbpopup.h"
#include "controls/tbtoolbar.h"
#include "platform/base/sysutils.h"
#include "platform/ui/forms.h"
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

LRESULT SeeMessages(Integer Code, WPARAM WParam, LPARAM LParam) {
  const auto* C = reinterpret_cast<const CWPSTRUCT*>(LParam);
  if (C->message == WM_SHOWWINDOW && C->wParam != 0) {
    if (auto* P = dynamic_cast<TTBPopupWindow*>(FindControl(C->hwnd))) {
      TRect R;
      GetWindowRect(C->hwnd, &R);
      TTBCustomItem* Parent = P->View()->ParentItem();
      Say("popup " + (Parent ? U8(Parent->Caption()) : std::string("-")) + " " + RectText(R));
    }
  } else if (C->hwnd == g_Client && (C->message == WM_LBUTTONDOWN || C->message == WM_RBUTTONDOWN)) {
    Say("mdiclick " + std::to_string(static_cast<int16_t>(C->lParam & 0xFFFF)) + " " +
        std::to_string(static_cast<int16_t>((C->lParam >> 16) & 0xFFFF)));
  }
  return CallNextHookEx(g_Hook, Code, WParam, LParam);
}

void ReportBar(TTBToolbar* Bar) {
  Say("handle " + WideToUtf8(Bar->Name()) + " " + std::to_string(reinterpret_cast<uintptr_t>(Bar->Handle())));
  TTBView* V = Bar->View();
  V->EnsureLayout();
  TPoint Origin;
  ClientToScreen(Bar->Handle(), &Origin);
  for (Integer I = 0; I < V->ViewerCount(); ++I) {
    TTBItemViewer* Vw = V->Viewers(I);
    if (!Vw->Show) continue;
    TRect R = Vw->BoundsRect;
    OffsetRect(R, Origin.X, Origin.Y);
    Say("viewer " + WideToUtf8(Bar->Name()) + " " + U8(Vw->Item()->Caption()) + " " + RectText(R));
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
  Say("ready");
  Application->Run();
  UnhookWindowsHookEx(g_Hook);
  delete Form;
  return 0;
}
