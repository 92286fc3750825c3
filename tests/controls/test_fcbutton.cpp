// The push button: what the mouse and Space click, default and cancel keys,
// latching groups, and the classic and hot-track frames to the pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "controls/fcbutton.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/testsupport.h"
#include "tests/controls/fc_test_util.h"

namespace fcbutton_tests {
namespace {

constexpr TColor kParent = static_cast<TColor>(0x80C0E0);

struct TButtonForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TButtonForm() {
    Form->SetClientWidth(300);
    Form->SetClientHeight(120);
    Form->SetColor(kParent);
    Form->Show();
    GtTestActivate(Form->Handle());
  }
  TFcButton* Add(Integer X, Integer Y, Integer W, Integer H, bool TabStop = true) {
    auto* b = new TFcButton(Form.get());
    b->SetParent(Form.get());
    b->SetBounds(X, Y, W, H);
    b->SetTabStop(TabStop);
    return b;
  }
};

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

// The button's pixels as the window shows them, one legend character each.
std::string Picture(TFcButton* B, std::initializer_list<std::pair<char, TColor>> Legend) {
  B->Repaint();
  std::vector<uint32_t> px;
  Integer w = 0, h = 0;
  GtTestSurface(B->Handle(), px, w, h);
  std::string s;
  for (Integer y = 0; y < h; ++y) {
    for (Integer x = 0; x < w; ++x) {
      const uint32_t v = px[size_t(y) * w + x];
      const COLORREF c = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
      char ch = '?';
      for (auto& [k, col] : Legend)
        if (Rgb(col) == c) {
          ch = k;
          break;
        }
      s += ch;
    }
    s += '\n';
  }
  return s;
}

TEST(FcButton, MouseClicksOnlyWhereReleasingInsideAndLooksPressedOnlyThere) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 75, 25);
  Integer clicks = 0;
  b->OnClick = [&](TObject*) { ++clicks; };
  GtTestPump(10);
  const HWND wnd = b->Handle();
  GtTestMouse(wnd, gmaPress, gmbLeft, 10, 10);
  EXPECT_TRUE(b->Pressed());
  GtTestMouse(wnd, gmaMove, gmbLeft, 10, 40);  // dragged out: pops up
  EXPECT_FALSE(b->Pressed());
  GtTestMouse(wnd, gmaMove, gmbLeft, 10, 12);
  EXPECT_TRUE(b->Pressed());
  // The bottom edge (y = client height) is outside for the look and the click alike.
  GtTestMouse(wnd, gmaMove, gmbLeft, 10, 25);
  EXPECT_FALSE(b->Pressed());
  GtTestMouse(wnd, gmaRelease, gmbLeft, 10, 25);
  EXPECT_EQ(clicks, 0);
  GtTestMouse(wnd, gmaPress, gmbLeft, 74, 24);
  GtTestMouse(wnd, gmaRelease, gmbLeft, 74, 24);
  EXPECT_EQ(clicks, 1);
  EXPECT_FALSE(b->Pressed());
}

TEST(FcButton, SpaceClicksOnlyAfterItsOwnSpaceDown) {
  TButtonForm f;
  auto* a = f.Add(10, 10, 75, 25);
  auto* b = f.Add(100, 10, 75, 25);
  Integer clicksA = 0, clicksB = 0;
  a->OnClick = [&](TObject*) { ++clicksA; };
  b->OnClick = [&](TObject*) { ++clicksB; };
  a->SetFocus();
  GtTestPump(10);
  ASSERT_EQ(GetFocus(), a->Handle());
  GtTestKey(a->Handle(), false, VK_SPACE);  // an up without a down
  EXPECT_EQ(clicksA, 0);
  GtTestKey(a->Handle(), true, VK_SPACE, 0, u' ');
  EXPECT_TRUE(a->Pressed());
  GtTestKey(a->Handle(), false, VK_SPACE);
  EXPECT_EQ(clicksA, 1);
  GtTestKey(a->Handle(), false, VK_SPACE);  // the press was used up
  EXPECT_EQ(clicksA, 1);
  // Pressed on one button, released on another: neither clicks.
  GtTestKey(a->Handle(), true, VK_SPACE, 0, u' ');
  b->SetFocus();
  GtTestPump(10);
  EXPECT_FALSE(a->Pressed());
  GtTestKey(b->Handle(), false, VK_SPACE);
  a->SetFocus();
  GtTestPump(10);
  GtTestKey(a->Handle(), false, VK_SPACE);
  EXPECT_EQ(clicksA, 1);
  EXPECT_EQ(clicksB, 0);
}

TEST(FcButton, EscapeClicksCancelAnywhereAndEnterTheDefaultOnlyWhileNoButtonHasFocus) {
  TButtonForm f;
  auto* edit = new TEdit(f.Form.get());
  edit->SetParent(f.Form.get());
  edit->SetBounds(10, 60, 100, 21);
  auto* ok = f.Add(10, 10, 75, 25);
  auto* cancel = f.Add(100, 10, 75, 25);
  auto* other = f.Add(190, 10, 75, 25);
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  std::vector<std::string> log;
  ok->OnClick = [&](TObject*) { log.push_back("ok"); };
  cancel->OnClick = [&](TObject*) { log.push_back("cancel"); };
  other->OnClick = [&](TObject*) { log.push_back("other"); };

  other->SetFocus();
  GtTestPump(10);
  EXPECT_FALSE(ok->ActingDefault());
  EXPECT_TRUE(other->ActingDefault());
  GtTestKey(other->Handle(), true, VK_ESCAPE);
  EXPECT_EQ(f.Form->ModalResult(), mrCancel);
  GtTestKey(other->Handle(), true, VK_RETURN);
  EXPECT_EQ(log, (std::vector<std::string>{"cancel", "other"}));

  edit->SetFocus();
  GtTestPump(10);
  EXPECT_TRUE(ok->ActingDefault());
  EXPECT_FALSE(other->ActingDefault());
  GtTestKey(edit->Handle(), true, VK_RETURN);
  EXPECT_EQ(log.back(), "ok");
  EXPECT_EQ(f.Form->ModalResult(), mrOk);
}

TEST(FcButton, GroupButtonsLatchAndTheLastOneDownStaysDownUnlessAllMayBeUp) {
  TButtonForm f;
  auto* a = f.Add(10, 10, 60, 25);
  auto* b = f.Add(80, 10, 60, 25);
  a->SetGroupIndex(1);
  b->SetGroupIndex(1);
  a->SetDown(true);
  EXPECT_EQ(a->State(), fbsLatched);
  GtTestPump(10);
  GtTestClick(b->Handle(), gmbLeft, 10, 10);  // the second button releases the first
  EXPECT_TRUE(b->Down());
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(a->State(), fbsUp);
  b->SetDown(false);
  EXPECT_TRUE(b->Down());
  GtTestClick(b->Handle(), gmbLeft, 10, 10);  // a click toggles through the same rule
  EXPECT_TRUE(b->Down());
  b->SetAllowAllUp(true);  // the group learns it
  EXPECT_TRUE(a->AllowAllUp());
  GtTestClick(b->Handle(), gmbLeft, 10, 10);
  EXPECT_FALSE(b->Down());
  auto* plain = f.Add(150, 10, 60, 25);
  plain->SetDown(true);  // no group: never down
  EXPECT_FALSE(plain->Down());
}

TEST(FcButton, FocusRectangleInsetAndTheLatchedShift) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 60, 25, false);
  EXPECT_EQ(b->FocusRect(), TRect(4, 4, 56, 21));
  EXPECT_EQ(b->CaptionRect(), TRect(5, 5, 55, 20));
  b->SetHotTrack(true);
  EXPECT_EQ(b->FocusRect(), TRect(3, 3, 57, 22));
  EXPECT_TRUE(b->CornerBackground());
  b->SetHotTrack(false);
  b->SetGroupIndex(2);
  b->SetDown(true);
  EXPECT_EQ(b->FocusRect(), TRect(5, 5, 57, 22));
  EXPECT_EQ(b->CaptionRect(), TRect(6, 6, 56, 21));
}

TEST(FcButton, ClassicFramesForButtonFaceAndATintedColour) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 10, 6, false);
  GtTestPump(10);
  EXPECT_EQ(Picture(b, {{'H', clBtnHighlight}, {'K', cl3DDkShadow}, {'F', clBtnFace}, {'s', clBtnShadow}}),
            Rows({"HHHHHHHHHK", "HFFFFFFFsK", "HFFFFFFFsK", "HFFFFFFFsK", "HssssssssK", "KKKKKKKKKK"}));
  const TColor t = static_cast<TColor>(0x6090C0);
  b->SetColor(t);
  EXPECT_EQ(Picture(b, {{'H', LightenColor(t, 100)},
                        {'K', DarkenColor(t, 100)},
                        {'l', LightenColor(t, 40)},
                        {'s', DarkenColor(t, 50)},
                        {'T', t}}),
            Rows({"HHHHHHHHHK", "HlllllllsK", "HlTTTTTTsK", "HlTTTTTTsK", "HssssssssK", "KKKKKKKKKK"}));
}

TEST(FcButton, HotTrackRingsCutTheirCornersToTheParent) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 12, 8, false);
  b->SetHotTrack(true);
  GtTestPump(10);
  // Hovered: a gradient ring from a whitened hot-track colour down.
  b->Perform(CM_MOUSEENTER, 0, 0);
  const TColor top = BlendTwoColors(clWhite, b->HotTrackColor(), 190);
  EXPECT_EQ(Picture(b, {{'t', top}, {'P', kParent}}).substr(13 * 2, 12), "??tttttttt??");
  b->Perform(CM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Picture(b, {{'P', kParent},
                        {'D', DarkenColor(kParent, 20)},
                        {'L', LightenColor(kParent, 20)},
                        {'K', cl3DDkShadow},
                        {'F', clBtnFace},
                        {'d', DarkenColor(clBtnFace, 20)},
                        {'e', DarkenColor(clBtnFace, 30)}}),
            Rows({"PPDDDDDDDDPP", "PDKKKKKKKKDP", "DKFFFFFFFFKL", "DKFFFFFFFFKL", "DKddddddddKL", "DKeeeeeeeeKL",
                  "PDKKKKKKKKLP", "PPLLLLLLLLPP"}));
  b->SetEnabled(false);
  const TColor inner = LightenColor(clBtnShadow, 30);
  EXPECT_EQ(Picture(b, {{'P', kParent}, {'I', inner}, {'F', clBtnFace}}),
            Rows({"PPPPPPPPPPPP", "PPIIIIIIIIPP", "PIFFFFFFFFIP", "PIFFFFFFFFIP", "PIFFFFFFFFIP", "PIFFFFFFFFIP",
                  "PPIIIIIIIIPP", "PPPPPPPPPPPP"}));
}

TEST(FcButton, ALatchedGroupButtonIsFilledWithTheDownPattern) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 20, 16, false);
  b->SetColor(static_cast<TColor>(0xC0C0C0));
  b->SetGroupIndex(1);
  b->SetDown(true);
  GtTestPump(10);
  const std::string p = Picture(b, {{'#', static_cast<TColor>(0x808080)}, {'.', static_cast<TColor>(0xC0C0C0)}});
  // Inside the two-pixel frame: grey where x and y have the same parity.
  for (Integer y = 2; y < 14; ++y)
    for (Integer x = 2; x < 18; ++x) EXPECT_EQ(p[size_t(y) * 21 + x], (x % 2 == y % 2) ? '#' : '.') << x << "," << y;
  b->SetColor(clBtnFace);
  const std::string q = Picture(b, {{'#', static_cast<TColor>(0xC0C0C0)}, {'.', clBtnFace}});
  EXPECT_EQ(q[size_t(4) * 21 + 4], '#');
  EXPECT_EQ(q[size_t(4) * 21 + 5], '.');
}

TEST(FcButton, RightAlignedTextKeepsTheShadowDepthFreeInEveryStyle) {
  TButtonForm f;
  auto* b = f.Add(10, 10, 60, 25, false);
  b->SetCaption(u"W");
  b->SetAlignment(taRightJustify);
  auto rightmostText = [&] {
    b->Repaint();
    std::vector<uint32_t> px;
    Integer w = 0, h = 0;
    GtTestSurface(b->Handle(), px, w, h);
    Integer right = -1;
    for (Integer y = 5; y < h - 5; ++y)
      for (Integer x = 5; x < w - 5; ++x)
        if ((px[size_t(y) * w + x] & 0xFFFFFF) == 0) right = std::max(right, x);
    return right;
  };
  b->SetTextShadowDepth(0);
  const Integer flush = rightmostText();
  ASSERT_GT(flush, 0);
  b->SetTextShadowDepth(5);
  EXPECT_EQ(rightmostText(), flush - 5);
}

}  // namespace
}  // namespace fcbutton_tests
