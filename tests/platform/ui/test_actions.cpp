// Shortcut texts, key names, and actions reaching the clients of their links.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/actnlist.h"

namespace test_actions_tests {

namespace {

std::string Narrow(const WideString& S) { return std::string(S.begin(), S.end()); }
WideString Wide(const std::string& S) { return WideString(S.begin(), S.end()); }

struct ShortCutCase {
  TShortCut Value;
  const char* Text;
};

TEST(ShortCuts, TextRoundTrip) {
  const ShortCutCase Cases[] = {
      {static_cast<TShortCut>('A' | scCtrl), "Ctrl+A"},
      {static_cast<TShortCut>(VK_DELETE), "Del"},
      {static_cast<TShortCut>(VK_PRIOR | scShift), "Shift+PgUp"},
      {static_cast<TShortCut>(VK_F10 | scShift), "Shift+F10"},
      {static_cast<TShortCut>((VK_F1 + 23) | scAlt), "Alt+F24"},
      {static_cast<TShortCut>('9' | scShift | scCtrl | scAlt), "Shift+Ctrl+Alt+9"},
      {static_cast<TShortCut>(VK_RETURN | scAlt), "Alt+Enter"},
      {static_cast<TShortCut>(VK_BACK), "BkSp"},
      {static_cast<TShortCut>(VK_ADD | scCtrl), "Ctrl+Num +"},
      {static_cast<TShortCut>(VK_OEM_MINUS | scCtrl), "Ctrl+-"},
      {static_cast<TShortCut>(VK_SPACE | scCtrl), "Ctrl+Space"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Text);
    EXPECT_EQ(Narrow(ShortCutToText(C.Value)), C.Text);
    EXPECT_EQ(TextToShortCut(Wide(C.Text)), C.Value);
  }
  // Every value with a name reads back as itself, whatever the modifiers.
  for (int Mods : {0, 0x2000, 0x4000, 0x8000, 0xE000})
    for (Word Key = 0; Key <= 0xFF; ++Key) {
      TShortCut V = static_cast<TShortCut>(Key | Mods);
      WideString T = ShortCutToText(V);
      if (!T.empty()) {
        EXPECT_EQ(TextToShortCut(T), V) << Narrow(T);
      }
    }
}

TEST(ShortCuts, ReadingIsLenientButRefusesUnknownNames) {
  const ShortCutCase Cases[] = {
      {static_cast<TShortCut>('S' | scCtrl), "ctrl+s"},
      {static_cast<TShortCut>('S' | scCtrl | scShift), "Ctrl+Shift+S"},
      {static_cast<TShortCut>(VK_NEXT), "pgdn"},
      {0, ""},
      {0, "Ctrl+"},
      {0, "Ctrl+Banana"},
      {0, "F25"},
      {0, "Hyper+A"},
  };
  for (const auto& C : Cases) EXPECT_EQ(TextToShortCut(Wide(C.Text)), C.Value) << C.Text;
  // A key without a name gives no text, not a bare modifier.
  EXPECT_TRUE(ShortCutToText(static_cast<TShortCut>(0xFF | scCtrl)).empty());
  EXPECT_TRUE(ShortCutToText(0).empty());
}

TEST(ShortCuts, ValuesAndKeyMessages) {
  EXPECT_EQ(ShortCut('N', TShiftState{ssCtrl, ssShift}), 'N' | scCtrl | scShift);
  EXPECT_EQ(ShortCut(0x1FF, TShiftState{}), 0);
  Word Key = 0;
  TShiftState Shift;
  ShortCutToKey(static_cast<TShortCut>(VK_F5 | scAlt), Key, Shift);
  EXPECT_EQ(Key, VK_F5);
  EXPECT_EQ(Shift, (TShiftState{ssAlt}));
  // Alt sits in bit 29 of the key data of a WM_SYSKEYDOWN.
  TMessage M{WM_SYSKEYDOWN, 'X', LPARAM(1) << 29, 0};
  EXPECT_EQ(ShortCutFromMessage(M), 'X' | scAlt);
}

TEST(ShortCuts, KeyNamesOfScanCodes) {
  WideChar Buf[256];
  UINT Scan = MapVirtualKey(VK_MENU, MAPVK_VK_TO_VSC);
  ASSERT_NE(Scan, 0u);
  EXPECT_EQ(MapVirtualKey(Scan, MAPVK_VSC_TO_VK), VK_MENU);
  ASSERT_EQ(GetKeyNameText(static_cast<LPARAM>(Scan) << 16, Buf, 256), 3);
  EXPECT_EQ(WideString(Buf), u"Alt");
  UINT ScanQ = MapVirtualKey('Q', MAPVK_VK_TO_VSC);
  EXPECT_EQ(MapVirtualKey(ScanQ, MAPVK_VSC_TO_VK), UINT('Q'));
  // A short buffer gets what fits and a terminator, never more.
  WideChar Small[4] = {'#', '#', '#', '#'};
  UINT ScanDel = MapVirtualKey(VK_DELETE, MAPVK_VK_TO_VSC);
  EXPECT_EQ(GetKeyNameText((static_cast<LPARAM>(ScanDel) << 16) | (LPARAM(1) << 24), Small, 3), 2);
  EXPECT_EQ(WideString(Small, 3), (WideString{'D', 'e', 0}));
  EXPECT_EQ(Small[3], '#');
  EXPECT_EQ(GetKeyNameText(static_cast<LPARAM>(0x7F) << 16, Buf, 256), 0);
}

// A client that keeps its own copies of the values, as menu items do.
struct TClient {
  WideString Caption;
  bool Checked = false, Enabled = true, Visible = true;
  Integer ImageIndex = -1;
  TShortCut ShortCut = 0;
  WideString Hint;
};

class TClientLink : public TActionLink {
 public:
  explicit TClientLink(TClient* C) : Client(C) {}
  // Linked only while the client still shows the action's value.
  bool IsCaptionLinked() override { return TActionLink::IsCaptionLinked() && Client->Caption == CustomAction()->Caption(); }
  void SetCaption(const WideString& V) override {
    if (IsCaptionLinked()) Client->Caption = V;
  }
  void SetChecked(bool V) override { Client->Checked = V; }
  void SetEnabled(bool V) override { Client->Enabled = V; }
  void SetVisible(bool V) override { Client->Visible = V; }
  void SetImageIndex(Integer V) override { Client->ImageIndex = V; }
  void SetShortCut(TShortCut V) override { Client->ShortCut = V; }
  void SetHint(const WideString& V) override { Client->Hint = V; }
  TClient* Client;
};

TEST(Actions, ChangesReachEveryLinkedClient) {
  TComponent Owner(nullptr);
  auto* A = new TCustomAction(&Owner);
  A->SetCaption(u"&Open");
  TClient C1, C2;
  C1.Caption = C2.Caption = u"&Open";
  TClientLink L1(&C1), L2(&C2);
  L1.SetAction(A);
  L2.SetAction(A);
  int Changes = 0;
  A->OnChange = [&](TObject*) { ++Changes; };

  A->SetCaption(u"&Open...");
  A->SetEnabled(false);
  A->SetChecked(true);
  A->SetImageIndex(4);
  A->SetShortCut(static_cast<TShortCut>('O' | scCtrl));
  A->SetHint(u"Open a picture");
  A->SetVisible(false);
  for (TClient* C : {&C1, &C2}) {
    EXPECT_EQ(C->Caption, u"&Open...");
    EXPECT_FALSE(C->Enabled);
    EXPECT_TRUE(C->Checked);
    EXPECT_EQ(C->ImageIndex, 4);
    EXPECT_EQ(C->ShortCut, 'O' | scCtrl);
    EXPECT_EQ(C->Hint, u"Open a picture");
    EXPECT_FALSE(C->Visible);
  }
  EXPECT_EQ(Changes, 7);
  // The same value again changes nothing and tells nobody.
  A->SetCaption(u"&Open...");
  EXPECT_EQ(Changes, 7);

  // A caption changed on one client alone is no longer linked there.
  C2.Caption = u"Mine";
  A->SetCaption(u"Load");
  EXPECT_EQ(C1.Caption, u"Load");
  EXPECT_EQ(C2.Caption, u"Mine");

  // An unlinked client hears nothing more.
  L1.SetAction(nullptr);
  A->SetCaption(u"Again");
  EXPECT_EQ(C1.Caption, u"Load");
  EXPECT_EQ(A->Clients().size(), 1u);
}

TEST(Actions, ExecuteUpdatesFirstAndHonoursEnabledAndAutoCheck) {
  TCustomAction A(nullptr);
  std::vector<std::string> Calls;
  A.OnUpdate = [&](TObject* S) {
    EXPECT_EQ(S, &A);
    Calls.push_back("update");
  };
  EXPECT_FALSE(A.Execute()) << "no OnExecute";
  A.OnExecute = [&](TObject* S) {
    EXPECT_EQ(S, &A);
    Calls.push_back("execute");
  };
  A.SetAutoCheck(true);
  EXPECT_TRUE(A.Execute());
  EXPECT_TRUE(A.Checked());
  EXPECT_EQ(Calls, (std::vector<std::string>{"update", "update", "execute"}));
  // OnUpdate may disable the action; Execute then neither toggles nor runs.
  A.OnUpdate = [&](TObject*) { A.SetEnabled(false); };
  Calls.clear();
  EXPECT_FALSE(A.Execute());
  EXPECT_TRUE(A.Checked());
  EXPECT_TRUE(Calls.empty());
}

TEST(Actions, LinkExecuteNamesTheComponentAndSurvivesFreeing) {
  TComponent Owner(nullptr);
  auto* Item = new TComponent(&Owner);
  auto* A = new TCustomAction(&Owner);
  TComponent* Seen = nullptr;
  A->OnExecute = [&](TObject* S) { Seen = static_cast<TCustomAction*>(S)->ActionComponent(); };
  TActionLink Link;
  Link.SetAction(A);
  EXPECT_TRUE(Link.Execute(Item));
  EXPECT_EQ(Seen, Item);
  EXPECT_EQ(A->ActionComponent(), nullptr) << "reset after the call";
  EXPECT_TRUE(Link.IsCaptionLinked());
  // The action freed by its own handler: the link forgets it, nothing dangles.
  A->OnExecute = [&](TObject*) { delete A; };
  EXPECT_TRUE(Link.Execute(Item));
  EXPECT_EQ(Link.Action(), nullptr);
  EXPECT_FALSE(Link.Execute(Item));
  EXPECT_FALSE(Link.IsCaptionLinked());
  EXPECT_FALSE(Link.Update());
}

TEST(Actions, HintHandlerMayChangeOrForbid) {
  TCustomAction A(nullptr);
  WideString H = u"Save";
  EXPECT_TRUE(A.DoHint(H));
  A.OnHint = [](WideString& S, bool& CanShow) {
    S += u"!";
    CanShow = S.size() < 6;
  };
  EXPECT_TRUE(A.DoHint(H));
  EXPECT_EQ(H, u"Save!");
  EXPECT_FALSE(A.DoHint(H));
}

}  // namespace

}  // namespace test_actions_tests
