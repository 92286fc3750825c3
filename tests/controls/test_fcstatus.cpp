// The status bar's grip, simple mode and pane rescaling, and the status
// panes' auto width, blinking and fill colours.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/fcstatus.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/testsupport.h"
#include "tests/controls/fc_test_util.h"

namespace test_fcstatus_tests {

namespace {

class TRecForm : public TForm {
 public:
  TRecForm() : TForm(nullptr) {}
  std::vector<WPARAM> SysCommands;
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_SYSCOMMAND) {
      SysCommands.push_back(M.WParam);
      return;
    }
    TForm::WndProc(M);
  }
};

struct TStatusForm {
  std::unique_ptr<TRecForm> Form{new TRecForm};
  TFcStatusBar* Bar;
  TStatusForm() {
    Form->SetClientWidth(360);
    Form->SetClientHeight(120);
    Form->Show();
    Bar = new TFcStatusBar(Form.get());
    Bar->SetParent(Form.get());
    Bar->SetColor(clBtnFace);
  }
  TFcStatusPane* Pane(Integer W, TAlign A = alLeft) {
    auto* p = new TFcStatusPane(Form.get());
    p->SetParent(Bar);
    p->SetWidth(W);
    p->SetAlign(A);
    return p;
  }
};

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

std::string GripPicture(TFcStatusBar* Bar) {
  Bar->Repaint();
  std::vector<uint32_t> px;
  Integer w = 0, h = 0;
  GtTestSurface(Bar->Handle(), px, w, h);
  std::string s;
  for (Integer y = 5; y < h; ++y) {
    for (Integer x = w - 14; x < w; ++x) {
      const uint32_t v = px[size_t(y) * w + x];
      const COLORREF c = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
      s += c == Rgb(clBtnHighlight) ? 'L' : c == Rgb(clBtnShadow) ? 'D' : c == Rgb(clBtnFace) ? '.' : '?';
    }
    s += '\n';
  }
  return s;
}

TEST(FcStatusBar, GripDotsOnSizableFormsOnlyAndItsClickSizesTheForm) {
  TStatusForm f;
  EXPECT_EQ(f.Bar->Height(), 19);
  EXPECT_EQ(f.Bar->Align(), alBottom);
  EXPECT_EQ(f.Bar->GripRect(), TRect(f.Bar->Width() - 13, 0, f.Bar->Width(), 19));
  // Six 2 x 2 squares in light, then the same six in dark one pixel up and left.
  EXPECT_EQ(GripPicture(f.Bar), Rows({"..............", ".........DD...", ".........DDL..", "..........LL..",
                                      "..............", ".....DD..DD...", ".....DDL.DDL..", "......LL..LL..",
                                      "..............", ".DD..DD..DD...", ".DDL.DDL.DDL..", "..LL..LL..LL..",
                                      "..............", ".............."}));
  const Integer w = f.Bar->Width();
  f.Bar->Perform(WM_LBUTTONDOWN, 0, (10 << 16) | (w - 5));
  f.Bar->Perform(WM_LBUTTONDOWN, 0, (10 << 16) | (w - 20));  // outside the grip
  EXPECT_EQ(f.Form->SysCommands, (std::vector<WPARAM>{0xF008}));

  const std::string none = Rows({"..............", "..............", "..............", "..............",
                                 "..............", "..............", "..............", "..............",
                                 "..............", "..............", "..............", "..............",
                                 "..............", ".............."});
  f.Form->SetBorderStyle(bsDialog);
  EXPECT_FALSE(f.Bar->GripActive());
  EXPECT_EQ(GripPicture(f.Bar), none);
  f.Bar->Perform(WM_LBUTTONDOWN, 0, (10 << 16) | (f.Bar->Width() - 5));
  f.Form->SetBorderStyle(bsSizeable);
  f.Form->SetWindowState(wsMaximized);
  EXPECT_FALSE(f.Bar->GripActive());
  f.Bar->Perform(WM_LBUTTONDOWN, 0, (10 << 16) | (f.Bar->Width() - 5));
  EXPECT_EQ(f.Form->SysCommands.size(), 1u);
}

TEST(FcStatusBar, PanesScaleWithTheBarAndSmallWidthsDoNotCount) {
  TStatusForm f;
  auto* a = f.Pane(120);
  auto* b = f.Pane(240);
  f.Bar->SetAlign(alNone);
  f.Bar->SetBounds(0, 0, 360, 19);
  f.Bar->SetAutoScalePanes(true);
  f.Bar->SetBounds(0, 0, 460, 19);
  EXPECT_EQ(a->Width(), 153);  // 120 + Round(100 * 120 / 360) = 120 + 33
  EXPECT_EQ(b->Width(), 307);  // 240 + Round(66.7) = 240 + 67
  f.Bar->SetBounds(0, 0, 30, 19);  // too narrow: neither scaled nor remembered
  EXPECT_EQ(a->Width(), 153);
  f.Bar->SetBounds(0, 0, 506, 19);  // 46 wider than the last counted width
  EXPECT_EQ(a->Width(), 153 + 15);  // Round(46 * 153 / 460) = Round(15.3)
  EXPECT_EQ(b->Width(), 307 + 31);  // Round(30.7)
}

TEST(FcStatusBar, SimpleModeHidesPanesAndBringsBackOnlyThoseShownBefore) {
  TStatusForm f;
  auto* shown = f.Pane(100);
  auto* hidden = f.Pane(80);
  hidden->SetVisible(false);
  f.Bar->SetSimpleStatus(true);
  EXPECT_FALSE(shown->Visible());
  EXPECT_FALSE(hidden->Visible());
  f.Bar->SetSimpleStatus(false);
  EXPECT_TRUE(shown->Visible());
  EXPECT_FALSE(hidden->Visible());

  // The automatic style ends with the first real change of a frame setting.
  EXPECT_TRUE(f.Bar->AutoStyle());
  f.Bar->SetBorderOuter(fsNone);
  EXPECT_TRUE(f.Bar->AutoStyle());
  f.Bar->SetBorderOuter(fsLowered);
  EXPECT_FALSE(f.Bar->AutoStyle());
}

TEST(FcStatusPane, AutoWidthFollowsTheCaptionAndTheFillFollowsTheParent) {
  TStatusForm f;
  auto* p = f.Pane(100, alNone);
  p->Font()->SetName(u"DejaVu Sans");
  p->Font()->SetSize(8);
  p->SetAutoSize(true);
  EXPECT_EQ(p->Width(), 40);
  p->SetCaption(u"OK");
  TFcSurface s(10, 10);
  s.Canvas()->SetFont(p->Font());
  TRect r(0, 0, 0, 0);
  DrawTextOn(s.Canvas(), u"OK", r, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
  ASSERT_GT(r.Width(), 5);
  EXPECT_EQ(p->Width(), r.Width() + 2 * 1 + 2 + 6);
  p->SetBorderWidth(3);
  p->SetCaptionOffset(5);
  EXPECT_EQ(p->Width(), r.Width() + 2 * 3 + 5 + 6);
  p->SetCaption(u"");
  EXPECT_EQ(p->Width(), 40);

  f.Bar->SetColor(0x123456);
  EXPECT_EQ(p->FillColor(), 0x123456);
  p->SetFillColor(0x00FF00);
  EXPECT_FALSE(p->ParentFillColor());
  f.Bar->SetColor(0x654321);
  EXPECT_EQ(p->FillColor(), 0x00FF00);
  EXPECT_EQ(p->TextRect(), TRect(4, 4, p->Width() - 4, p->Height() - 4));
}

class TCountingPane : public TFcStatusPane {
 public:
  using TFcStatusPane::TFcStatusPane;
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    TFcStatusPane::Paint();
  }
};

TEST(FcStatusPane, PanesBlinkTogetherAndAQuietOneIsNeverRepainted) {
  TStatusForm f;
  Integer left = 0;
  auto make = [&] {
    auto* p = new TCountingPane(f.Form.get());
    p->SetParent(f.Bar);
    p->SetBounds(left, 0, 100, 18);
    left += 110;
    p->Font()->SetColor(0x000080);
    return p;
  };
  auto *a = make(), *b = make(), *quiet = make();
  a->SetBlinking(true);
  b->SetBlinking(true);
  a->SetBlinkColor(0x00FF00);
  b->SetBlinkColor(0x00FF00);
  ASSERT_NE(BlinkingControls, nullptr);
  a->SetBlinkIntervalOn(200);
  EXPECT_EQ(b->BlinkIntervalOn(), 200);
  TTimer* t = BlinkingControls->Timer();
  f.Bar->Repaint();  // pending first paints out of the way
  const int quietPaints = quiet->Paints;
  ASSERT_GT(quietPaints, 0);
  t->OnTimer(t);  // normal colour
  EXPECT_EQ(a->CurrentTextColor(), 0x000080);
  t->OnTimer(t);  // blink colour, for the 200 ms just set
  EXPECT_EQ(t->Interval(), 200u);
  EXPECT_EQ(a->CurrentTextColor(), 0x00FF00);
  EXPECT_EQ(b->CurrentTextColor(), 0x00FF00);
  EXPECT_EQ(quiet->CurrentTextColor(), 0x000080);
  EXPECT_EQ(quiet->Paints, quietPaints);
  const int paints = a->Paints;
  a->SetBlinking(false);  // back to the font colour at once
  EXPECT_EQ(a->CurrentTextColor(), 0x000080);
  EXPECT_GT(a->Paints, paints);
}

}  // namespace

}  // namespace test_fcstatus_tests
