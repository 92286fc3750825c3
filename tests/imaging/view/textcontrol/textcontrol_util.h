// Shared pieces of the text editor tests: a monospace font whose advance the
// wrap expectations are computed from, a shown form for the controls that
// take keys and the mouse, and key strokes through the platform's input.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "imaging/view/ietextcontrol.h"
#include "platform/base/strutils.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"

namespace textcontrol_test {

inline const WideString kMono = u"DejaVu Sans Mono";

// Gives a control the test's font and plain colours.
inline void Style(TIETextControl* C, Integer Height = -16) {
  C->Font()->SetName(kMono);
  C->Font()->SetHeight(Height);
  C->Font()->SetColor(clBlack);
  C->Font()->SetStyle(TFontStyles{});
  C->TextBrush()->SetColor(clWhite);
  C->TextBrush()->SetStyle(bsClear);
  C->BackgroundBrush()->SetColor(clWhite);
  C->BackgroundBrush()->SetStyle(bsSolid);
  C->BorderPen()->SetColor(clBlack);
}

// The advance of the monospace font at Height, measured on a plain canvas.
inline Integer Advance(Integer Height = -16) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(8, 8);
  B.Canvas()->Font()->SetName(kMono);
  B.Canvas()->Font()->SetHeight(Height);
  return B.Canvas()->TextWidth(u"M");
}

struct TKey {
  WORD Vk;
  Cardinal Mods = 0;
  WideChar Ch = 0;
};
// Typed characters become key strokes that carry their text.
inline std::vector<TKey> Typed(const std::string& S) {
  std::vector<TKey> K;
  for (char c : S) {
    const WORD Vk = c >= 'a' && c <= 'z' ? static_cast<WORD>(c - 'a' + 'A') : static_cast<WORD>(VK_SPACE);
    K.push_back({Vk, 0, static_cast<WideChar>(c)});
  }
  return K;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(20, 20, 640, 420);
    Form->Show();
    GtTestActivate(Form->Handle());
    GtTestPump(10);
  }
  void TearDown() override {
    Form.reset();
    Application->ProcessMessages();
  }
  // A shown, focused editor over Text (which the test owns).
  TIETextControl* Make(AnsiString* Text, Integer W = 400, Integer H = 200) {
    auto* C = new TIETextControl(Form.get());
    C->SetParent(Form.get());
    C->SetBounds(10, 10, W, H);
    Style(C);
    C->Text = Text;
    C->Init();
    C->HandleNeeded();
    C->SetFocus();
    GtTestPump(5);
    return C;
  }
  static void PressOne(TWinControl* C, const TKey& K) {
    GtTestKey(C->Handle(), true, K.Vk, K.Mods, K.Ch);
    GtTestKey(C->Handle(), false, K.Vk, K.Mods);
    Application->ProcessMessages();
  }
  static void Press(TWinControl* C, const std::vector<TKey>& Keys) {
    for (const TKey& K : Keys) PressOne(C, K);
  }
  std::unique_ptr<TForm> Form;
};

// The format of character I (its entry in the control's list).
inline const TIETextFormat& FormatAt(TIETextControl* C, Integer I) {
  return (*C->Formats)[static_cast<size_t>((*C->CharFormats)[static_cast<size_t>(I)])];
}

}  // namespace textcontrol_test
