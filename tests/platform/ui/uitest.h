// Shared fixtures of the window-layer tests: a shown form and a custom
// control that records what reaches it.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/support/wait.h"

struct TRecordedMouse {
  std::string Kind;  // "down", "move", "up"
  TMouseButton Button = mbLeft;
  TShiftState Shift;
  Integer X = 0, Y = 0;
};

// The platform reports a move to the place of every press and release that
// happens somewhere new, as real mice do; tests of the press and release
// themselves leave those out.
inline std::vector<TRecordedMouse> Significant(const std::vector<TRecordedMouse>& All) {
  std::vector<TRecordedMouse> Out;
  for (size_t i = 0; i < All.size(); ++i) {
    const TRecordedMouse& M = All[i];
    if (M.Kind == "move" && i + 1 < All.size() && All[i + 1].Kind != "move" && All[i + 1].X == M.X &&
        All[i + 1].Y == M.Y)
      continue;
    Out.push_back(M);
  }
  return Out;
}

// A custom control that paints a fixed pattern and records events.
class TRecorder : public TCustomControl {
 public:
  explicit TRecorder(TComponent* AOwner) : TCustomControl(AOwner) {
    OnMouseDown = [this](TObject*, TMouseButton B, TShiftState S, Integer X, Integer Y) {
      Mouse.push_back({"down", B, S, X, Y});
    };
    OnMouseMove = [this](TObject*, TShiftState S, Integer X, Integer Y) { Mouse.push_back({"move", mbLeft, S, X, Y}); };
    OnMouseUp = [this](TObject*, TMouseButton B, TShiftState S, Integer X, Integer Y) {
      Mouse.push_back({"up", B, S, X, Y});
    };
  }
  std::vector<TRecordedMouse> Mouse;
  std::vector<TMessage> Messages;  // messages >= WM_USER
  std::vector<std::thread::id> MessageThreads;  // the thread each of them ran on
  std::vector<std::pair<WORD, Integer>> Scrolls;  // WM_VSCROLL codes and positions
  Integer Paints = 0;
  TRect LastPaintClip;
  bool WantArrows = false;
  // Fills the client area with a pattern that makes every pixel distinct.
  bool PaintPattern = true;

  void Dispatch(TMessage& M) override {
    if (M.Msg >= WM_USER && M.Msg < CM_BASE) {
      Messages.push_back(M);
      MessageThreads.push_back(std::this_thread::get_id());
    }
    if (M.Msg == WM_VSCROLL) Scrolls.push_back({LOWORD(M.WParam), static_cast<Integer>(HIWORD(M.WParam))});
    if (M.Msg == CM_WANTSPECIALKEY && WantArrows && M.WParam >= VK_LEFT && M.WParam <= VK_DOWN) {
      M.Result = 1;
      return;
    }
    TCustomControl::Dispatch(M);
  }

 protected:
  void Paint() override {
    ++Paints;
    LastPaintClip = Canvas()->ClipRect();
    if (!PaintPattern) return;
    for (Integer y = 0; y < ClientHeight(); y += 8)
      for (Integer x = 0; x < ClientWidth(); x += 8) {
        Canvas()->Brush()->SetColor(static_cast<TColor>(RGB(static_cast<Byte>(x * 3), static_cast<Byte>(y * 5), 0x40)));
        Canvas()->FillRect(TRect(x, y, x + 8, y + 8));
      }
  }
};

// A shown form of 320 x 240 client pixels.
class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(40, 40, 320, 240);
    Form->Show();
    GtTestPump(20);
  }
  void TearDown() override {
    Form.reset();
    GtSetMessageBoxHook(nullptr);
    Application->OnException = nullptr;
    Application->ProcessMessages();
  }
  TRecorder* AddRecorder(Integer L, Integer T, Integer W, Integer H) {
    auto* R = new TRecorder(Form.get());
    R->SetBounds(L, T, W, H);
    R->SetParent(Form.get());
    return R;
  }
  std::unique_ptr<TForm> Form;
};

namespace gt_uitest {

// Runs Fn once from a timer while a menu loop waits, as the user's input
// would arrive.
inline std::function<void()> g_Soon;
inline void SoonProc(HWND, UINT, UINT_PTR Id, DWORD) {
  KillTimer(nullptr, Id);
  auto Fn = std::move(g_Soon);
  g_Soon = nullptr;
  if (Fn) Fn();
}
inline void Soon(std::function<void()> Fn) {
  g_Soon = std::move(Fn);
  SetTimer(nullptr, 0, 1, SoonProc);
}

}  // namespace gt_uitest
