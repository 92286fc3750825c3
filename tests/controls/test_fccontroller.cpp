// The frame controller pushing settings by name or to listeners, the shared
// blink timer driven by hand, and the colour-name tables.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/fccommon.h"

namespace test_fccontroller_tests {

namespace {

// A control that publishes some frame properties by name and records each set.
class TNamedControl : public TControl {
 public:
  explicit TNamedControl(TComponent* AOwner) : TControl(AOwner) {}
  TFrameStyle FrameStyle = fsRaised;
  TColor FocusColor = clNone;
  TSides FrameSides = 0;
  bool FrameVisible = false;
  TFcFrameControllerNotifications Notifications = fcnAll;
  std::vector<std::string> Sets;
};

void RegisterNamed() {
  TFcFramedProperties p;
  p.Notifications = [](TControl* c) { return static_cast<TNamedControl*>(c)->Notifications; };
  auto rec = [](const char* Name, auto Apply) {
    return [Name, Apply](TControl* c, int64_t v) {
      auto* n = static_cast<TNamedControl*>(c);
      n->Sets.push_back(Name);
      Apply(n, v);
    };
  };
  p.Setters["FrameStyle"] = rec("FrameStyle", [](TNamedControl* n, int64_t v) { n->FrameStyle = TFrameStyle(v); });
  p.Setters["FocusColor"] = rec("FocusColor", [](TNamedControl* n, int64_t v) { n->FocusColor = TColor(v); });
  p.Setters["FrameSides"] = rec("FrameSides", [](TNamedControl* n, int64_t v) { n->FrameSides = TSides(v); });
  p.Setters["FrameVisible"] = rec("FrameVisible", [](TNamedControl* n, int64_t v) { n->FrameVisible = v != 0; });
  p.Setters["Color"] = rec("Color", [](TNamedControl* n, int64_t v) { n->SetColor(TColor(v)); });
  RegisterFcFramedProperties(typeid(TNamedControl), p);
}

class TListeningControl : public TControl, public IFrameSettingsListener {
 public:
  explicit TListeningControl(TComponent* AOwner) : TControl(AOwner) {}
  void FrameSettingsChanged() override { ++Calls; }
  int Calls = 0;
};

TEST(FcFrameController, PushesNamedSettingsUnderEachControlsNotifications) {
  RegisterNamed();
  TFcFrameController fc(nullptr);
  TNamedControl a(nullptr), b(nullptr);
  b.Notifications = static_cast<TFcFrameControllerNotifications>(fcnAll & ~(1u << fcpFrameStyle));
  fc.AddFramedControl(&a);
  fc.AddFramedControl(&b);
  // Everything on registration, in the documented order, each under its bit.
  EXPECT_EQ(a.Sets, (std::vector<std::string>{"Color", "FocusColor", "FrameSides", "FrameStyle", "FrameVisible"}));
  EXPECT_EQ(a.FrameStyle, fsFlat);
  EXPECT_EQ(b.FrameStyle, fsRaised);
  EXPECT_EQ(a.FrameSides, sdAll);
  fc.AddFramedControl(&a);  // a second registration pushes nothing and adds nothing
  EXPECT_EQ(a.Sets.size(), 5u);
  EXPECT_EQ(fc.FramedControlCount(), 2);

  a.Sets.clear();
  fc.SetFrameStyle(fsGroove);
  EXPECT_EQ(a.FrameStyle, fsGroove);
  EXPECT_EQ(b.FrameStyle, fsRaised);  // b lacks the bit and keeps its own style
  EXPECT_EQ(a.Sets, (std::vector<std::string>{"FrameStyle"}));
  fc.SetFrameStyle(fsGroove);  // unchanged: nothing pushed
  EXPECT_EQ(a.Sets.size(), 1u);

  // Colour equal to the focus colour drags it along; once they differ it does not.
  fc.SetColor(0x123456);
  EXPECT_EQ(fc.FocusColor(), 0x123456);
  EXPECT_EQ(a.Color(), 0x123456);
  fc.SetFocusColor(0x00FF00);
  fc.SetColor(0x654321);
  EXPECT_EQ(fc.FocusColor(), 0x00FF00);
  EXPECT_EQ(a.FocusColor, 0x00FF00);

  // Hot tracking shows the frame on all four sides.
  fc.SetFrameSides(SideBit(sdLeft));
  EXPECT_EQ(a.FrameSides, SideBit(sdLeft));
  fc.SetFrameHotTrack(true);
  EXPECT_TRUE(fc.FrameVisible());
  EXPECT_TRUE(a.FrameVisible);
  EXPECT_EQ(fc.FrameSides(), sdAll);

  // Between begin and end nothing is pushed; the end pushes everything once.
  a.Sets.clear();
  fc.BeginFrameUpdate();
  fc.BeginFrameUpdate();
  fc.SetFrameStyle(fsBump);
  fc.SetFocusColor(0x0000FF);
  fc.EndFrameUpdate();
  EXPECT_TRUE(a.Sets.empty());
  fc.EndFrameUpdate();
  EXPECT_EQ(a.Sets, (std::vector<std::string>{"Color", "FocusColor", "FrameSides", "FrameStyle", "FrameVisible"}));
  EXPECT_EQ(a.FrameStyle, fsBump);

  // Assign copies the settings and pushes once.
  TFcFrameController other(nullptr);
  other.SetFrameStyle(fsPopup);
  a.Sets.clear();
  fc.Assign(&other);
  EXPECT_EQ(fc.FrameStyle(), fsPopup);
  EXPECT_EQ(fc.FrameHotTrack(), false);
  EXPECT_EQ(a.FrameStyle, fsPopup);
  EXPECT_EQ(a.Sets.size(), 5u);
}

TEST(FcFrameController, ListenersAreCalledInsteadAndFreedControlsLeave) {
  TFcFrameController fc(nullptr);
  auto l = std::make_unique<TListeningControl>(nullptr);
  fc.AddFramedControl(l.get());
  EXPECT_EQ(l->Calls, 1);
  fc.SetFrameColor(0x112233);
  fc.SetParentColor(true);
  EXPECT_EQ(l->Calls, 3);
  fc.SetParentColor(false);  // pushes the parent colour and then the colour
  EXPECT_EQ(l->Calls, 5);
  l.reset();
  EXPECT_EQ(fc.FramedControlCount(), 0);
  fc.SetFrameColor(0x445566);  // nothing left to reach

  auto ini = std::make_unique<TFcRegIniFile>(nullptr);
  EXPECT_TRUE(ini->ReopenStorage());
  EXPECT_EQ(ini->PathType(), ptIniFile);
  EXPECT_EQ(ini->RegKey(), hkeyCurrentUser);
  EXPECT_EQ(ini->RegAccess(), TFcRegAccess(1u << keyAllAccess));
  fc.SetRegIniFile(ini.get());
  EXPECT_EQ(fc.RegIniFile(), ini.get());
  ini.reset();
  EXPECT_EQ(fc.RegIniFile(), nullptr);
}

// A pane stand-in that answers the blink question and counts repaints.
class TBlinker : public TControl {
 public:
  TBlinker(bool Blinks) : TControl(nullptr), FBlinks(Blinks) {}
  void WndProc(TMessage& M) override {
    if (M.Msg == FC_BLINK_QUERY) {
      ++Queries;
      M.Result = FBlinks ? 1 : 0;
      return;
    }
    if (M.Msg == FC_BLINK_PHASE) {
      Phases.push_back(static_cast<int>(M.WParam));
      return;
    }
    TControl::WndProc(M);
  }
  int Queries = 0;
  std::vector<int> Phases;

 private:
  bool FBlinks;
};

TEST(FcBlinking, RegisteredControlsBlinkInPhaseAndTheListGoesWhenEmpty) {
  ASSERT_EQ(BlinkingControls, nullptr);
  BlinkingControls = new TFcBlinkingControlsList;
  TBlinker a(true), b(true), quiet(false);
  BlinkingControls->AddBlinkingControl(&a);
  BlinkingControls->AddBlinkingControl(&quiet);
  BlinkingControls->AddBlinkingControl(&b);
  BlinkingControls->AddBlinkingControl(&a);
  EXPECT_EQ(BlinkingControls->BlinkControlCount(), 3);
  TTimer* t = BlinkingControls->Timer();
  EXPECT_TRUE(t->Enabled());
  EXPECT_EQ(t->Interval(), 500u);
  BlinkingControls->SetIntervalOn(300);
  BlinkingControls->SetIntervalOff(700);
  t->OnTimer(t);  // the list starts in phase 1: the normal colour comes first
  EXPECT_EQ(t->Interval(), 700u);
  t->OnTimer(t);
  EXPECT_EQ(t->Interval(), 300u);
  t->OnTimer(t);
  EXPECT_EQ(a.Phases, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(b.Phases, a.Phases);
  EXPECT_TRUE(quiet.Phases.empty());
  EXPECT_EQ(quiet.Queries, 3);

  ReleaseBlinkListIfEmpty();
  EXPECT_NE(BlinkingControls, nullptr);  // controls are still in it
  for (TControl* c : {static_cast<TControl*>(&a), static_cast<TControl*>(&b), static_cast<TControl*>(&quiet)})
    BlinkingControls->RemoveBlinkingControl(c);
  ReleaseBlinkListIfEmpty();
  EXPECT_EQ(BlinkingControls, nullptr);
}

TEST(FcColorTables, RowsNamesAndTheDivideKey) {
  const auto& two = FcColorData();
  ASSERT_EQ(two.size(), 70u);
  EXPECT_EQ(two[0].Name, u"Black");
  EXPECT_EQ(two[9].Color, 0x0066FF);
  EXPECT_EQ(two[39].Name, u"White");
  for (size_t i = 40; i < 70; ++i) {
    const Integer index = two[i].Color & 0xFF;
    EXPECT_EQ(two[i].Color & 0xFF000000, static_cast<TColor>(0xFF000000)) << i;
    EXPECT_EQ(index, i < 65 ? Integer(i - 40) : Integer(i - 39)) << i;  // 25 is skipped
  }
  EXPECT_EQ(two[55].Name, u"Button Face");
  EXPECT_EQ(two[65].Name, u"Hot Light");
  EXPECT_EQ(two[65].Color, clHotLight);
  EXPECT_EQ(two[69].Color, clMenuBar);

  EXPECT_EQ(FcStandardColors[8].Color, clSilver);
  EXPECT_EQ(FcSystemColors[15].Color, clBtnFace);
  EXPECT_EQ(FcSystemColors[24].Name, u"InfoBk");
  EXPECT_EQ(FcDefaultColor.Name, u"Default");
  EXPECT_EQ(FcCustomColor.Color, 0);

  EXPECT_EQ(FcCalculatorKeys[14], u"\u00F7");
  EXPECT_EQ(FcCalculatorKeys[10], u".");
  EXPECT_EQ(FcCalculatorKeys[16], u"=");
  EXPECT_TRUE(FcCalculatorKeys[18].empty());
}

}  // namespace

}  // namespace test_fccontroller_tests
