// Reparenting with the handle kept, child lookup by point, placement of a
// minimised maximised form, window shapes that hide pixels and clicks, owned
// popup and tool windows, the topmost band, layered opacity, and outlines
// inverted on the screen or over a window's children.
#include <vector>

#include "tests/platform/ui/uitest.h"

namespace test_toplevel_tests {

namespace {

class TopLevelUi : public UiTest {};

// A top-level window of the given styles, owned by the window it names.
class TTopProbe : public TRecorder {
 public:
  TTopProbe(DWORD AStyle, DWORD AExStyle, HWND AOwner) : TRecorder(nullptr), Style(AStyle), ExStyle(AExStyle), Owner(AOwner) {}
  DWORD Style, ExStyle;
  HWND Owner;
  std::vector<UINT>* Log = nullptr;  // WM_DESTROY is noted here as 1, with the probe's tag
  UINT Tag = 0;

 protected:
  void CreateParams(TCreateParams& P) override {
    TRecorder::CreateParams(P);
    P.Style = Style;
    P.ExStyle = ExStyle;
    P.WndParent = Owner;
  }
  void WndProc(TMessage& M) override {
    if (M.Msg == WM_DESTROY && Log) Log->push_back(Tag);
    TRecorder::WndProc(M);
  }
};

constexpr DWORD kPopupStyle = WS_POPUP | WS_CLIPCHILDREN;
constexpr DWORD kPopupEx = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
constexpr DWORD kFloatStyle = WS_POPUP | WS_BORDER | WS_THICKFRAME;

TEST_F(TopLevelUi, ReparentingKeepsTheHandleAndThePlaceOnScreen) {
  auto* A = AddRecorder(10, 10, 120, 100);
  auto* B = AddRecorder(150, 10, 120, 100);
  auto* K = new TRecorder(A);
  K->SetBounds(20, 30, 40, 30);
  K->SetParent(A);
  GtTestPump(20);
  HWND KH = K->Handle();
  TRect Before;
  GetWindowRect(KH, &Before);
  EXPECT_EQ(SetParent(KH, B->Handle()), A->Handle());
  EXPECT_TRUE(IsWindow(KH));
  EXPECT_EQ(GetParent(KH), B->Handle());
  TRect After;
  GetWindowRect(KH, &After);
  EXPECT_EQ(After, Before);
  // Messages still reach the same procedure under the same handle.
  SendMessage(KH, WM_USER + 9, 1, 2);
  ASSERT_FALSE(K->Messages.empty());
  EXPECT_EQ(K->Messages.back().Msg, static_cast<UINT>(WM_USER + 9));
  // Out to the top level and back.
  EXPECT_EQ(SetParent(KH, nullptr), B->Handle());
  EXPECT_EQ(GetParent(KH), nullptr);
  EXPECT_EQ(SetParent(KH, A->Handle()), nullptr);
  EXPECT_EQ(GetParent(KH), A->Handle());
  // A window cannot go inside its own child.
  EXPECT_EQ(SetParent(A->Handle(), KH), nullptr);
  EXPECT_EQ(GetParent(A->Handle()), Form->Handle());
  SetParent(KH, B->Handle());  // leave it where the form frees it
}

TEST_F(TopLevelUi, ChildWindowFromPointTable) {
  auto* P = AddRecorder(10, 10, 200, 150);
  auto* Shown = new TRecorder(P);
  Shown->SetBounds(10, 10, 50, 50);
  Shown->SetParent(P);
  auto* Hidden = new TRecorder(P);
  Hidden->SetBounds(100, 10, 50, 50);
  Hidden->SetParent(P);
  Hidden->Hide();
  GtTestPump(20);
  HWND PH = P->Handle();
  struct Case {
    TPoint Pt;
    UINT Flags;
    HWND Expected;
  };
  const Case Cases[] = {
      {TPoint(20, 20), CWP_ALL, Shown->Handle()},
      {TPoint(120, 20), CWP_ALL, Hidden->Handle()},
      {TPoint(120, 20), CWP_SKIPINVISIBLE, PH},
      {TPoint(180, 140), CWP_ALL, PH},
      {TPoint(250, 20), CWP_ALL, nullptr},
      {TPoint(-1, 5), CWP_ALL, nullptr},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ChildWindowFromPointEx(PH, C.Pt, C.Flags), C.Expected) << C.Pt.X << "," << C.Pt.Y << " " << C.Flags;
}

TEST_F(TopLevelUi, MinimisedAfterMaximisedRestoresToMaximised) {
  HWND F = Form->Handle();
  struct Case {
    const char* Name;
    std::vector<Integer> Shows;
    UINT ShowCmd;
    UINT Flags;
  };
  const Case Cases[] = {
      {"normal", {SW_RESTORE}, SW_SHOWNORMAL, 0},
      {"maximised", {SW_MAXIMIZE}, SW_SHOWMAXIMIZED, 0},
      {"maximised then minimised", {SW_MAXIMIZE, SW_MINIMIZE}, SW_SHOWMINIMIZED, WPF_RESTORETOMAXIMIZED},
      {"normal then minimised", {SW_RESTORE, SW_MINIMIZE}, SW_SHOWMINIMIZED, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    ShowWindow(F, SW_RESTORE);
    GtTestPump(10);
    for (Integer S : C.Shows) {
      ShowWindow(F, S);
      GtTestPump(10);
    }
    WINDOWPLACEMENT WP;
    ASSERT_TRUE(GetWindowPlacement(F, &WP));
    EXPECT_EQ(WP.showCmd, C.ShowCmd);
    EXPECT_EQ(WP.flags, C.Flags);
  }
  ShowWindow(F, SW_RESTORE);
}

TEST_F(TopLevelUi, WindowShapeHidesPixelsAndLetsClicksThrough) {
  auto* P = AddRecorder(10, 10, 200, 150);
  auto* K = new TRecorder(P);
  K->SetBounds(20, 20, 60, 40);
  K->SetParent(P);
  GtTestPump(20);
  HWND PH = P->Handle(), KH = K->Handle();
  TPoint Left(30, 40), Right(70, 40);  // in the parent's client area
  auto Under = [PH](TPoint Pt) {
    ClientToScreen(PH, &Pt);
    return WindowFromPoint(Pt);
  };
  ASSERT_EQ(Under(Left), KH);
  // The shape reads back: none, a rectangle, empty (not taken for none).
  auto ShapeOf = [KH](TRect* Box) {
    HRGN R = CreateRectRgn(5, 5, 6, 6);
    const Integer Kind = GetWindowRgn(KH, R);
    GetRgnBox(R, Box);
    DeleteObject(R);
    return Kind;
  };
  TRect Box;
  EXPECT_EQ(ShapeOf(&Box), ERROR);

  // Only the left half of the child remains.
  SetWindowRgn(KH, CreateRectRgn(0, 0, 30, 40), TRUE);
  EXPECT_EQ(ShapeOf(&Box), SIMPLEREGION);
  EXPECT_EQ(Box, TRect(0, 0, 30, 40));
  GtTestPump(20);
  EXPECT_EQ(Under(Left), KH);
  EXPECT_EQ(Under(Right), PH);

  // Empty: nothing of the child shows, and a click goes to the parent.
  SetWindowRgn(KH, CreateRectRgn(0, 0, 0, 0), TRUE);
  EXPECT_EQ(ShapeOf(&Box), NULLREGION);
  GtTestPump(20);
  EXPECT_EQ(Under(Left), PH);
  std::vector<uint32_t> Shaped, Plain;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(PH, Shaped, W, H));
  K->Mouse.clear();
  P->Mouse.clear();
  GtTestClick(PH, gmbLeft, Left.X, Left.Y);
  GtTestPump(10);
  EXPECT_TRUE(Significant(K->Mouse).empty());
  EXPECT_FALSE(Significant(P->Mouse).empty());
  // The grab equals the parent without the child.
  K->Hide();
  GtTestPump(20);
  ASSERT_TRUE(GtTestGrab(PH, Plain, W, H));
  EXPECT_EQ(Shaped, Plain);

  // No region: the whole child again.
  K->Show();
  SetWindowRgn(KH, nullptr, TRUE);
  EXPECT_EQ(ShapeOf(&Box), ERROR);
  GtTestPump(20);
  EXPECT_EQ(Under(Right), KH);
}

Integer g_Activations = 0;
LRESULT CountActivations(Integer Code, WPARAM WParam, LPARAM LParam) {
  if (Code == HC_ACTION && reinterpret_cast<CWPSTRUCT*>(LParam)->message == WM_ACTIVATE) ++g_Activations;
  return CallNextHookEx(nullptr, Code, WParam, LParam);
}

TEST_F(TopLevelUi, PopupsAndFloatingWindowsAreOwnedAndNeverTakeActivation) {
  HWND F = Form->Handle();
  ASSERT_TRUE(GtTestActivate(F));
  GtTestPump(20);
  g_Activations = 0;
  HHOOK Hook = SetWindowsHookEx(WH_CALLWNDPROC, CountActivations, nullptr, GetCurrentThreadId());
  struct Case {
    const char* Name;
    DWORD Style, ExStyle;
  };
  const Case Cases[] = {{"popup", kPopupStyle, kPopupEx}, {"floating window", kFloatStyle, WS_EX_TOOLWINDOW}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TTopProbe P(C.Style, C.ExStyle, F);
    P.SetBounds(100, 100, 80, 60);
    HWND PH = P.Handle();
    EXPECT_EQ(GetWindowLong(PH, GWL_HWNDPARENT), static_cast<LONG>(reinterpret_cast<uintptr_t>(F)));
    EXPECT_EQ(GetParent(PH), nullptr);  // owned, not a child
    SetWindowPos(PH, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    GtTestPump(20);
    EXPECT_TRUE(IsWindowVisible(PH));
    EXPECT_EQ(GetActiveWindow(), F);
    GtTestClick(PH, gmbLeft, 10, 10);
    GtTestPump(20);
    EXPECT_FALSE(Significant(P.Mouse).empty());  // the click arrived
    EXPECT_EQ(GetActiveWindow(), F);             // and the form stayed active
    // Even an explicit activating show leaves the form active.
    ShowWindow(PH, SW_SHOW);
    GtTestPump(20);
    EXPECT_EQ(GetActiveWindow(), F);
  }
  UnhookWindowsHookEx(Hook);
  // Nobody heard of an activation change.
  EXPECT_EQ(g_Activations, 0);
}

TEST_F(TopLevelUi, OwnedWindowsGoBeforeTheirOwnerAndOwnersChange) {
  std::vector<UINT> Destroyed;
  auto* Owner = new TTopProbe(WS_POPUP | WS_CAPTION, 0, nullptr);
  Owner->Log = &Destroyed;
  Owner->Tag = 1;
  Owner->SetBounds(60, 60, 200, 150);
  auto* Owned = new TTopProbe(kPopupStyle, kPopupEx, Owner->Handle());
  Owned->Log = &Destroyed;
  Owned->Tag = 2;
  Owned->SetBounds(80, 80, 50, 40);
  HWND OH = Owner->Handle(), PH = Owned->Handle();

  // A new owner: the form; then none; cycles are refused.
  HWND F = Form->Handle();
  SetWindowLong(PH, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(F)));
  EXPECT_EQ(GetWindowLong(PH, GWL_HWNDPARENT), static_cast<LONG>(reinterpret_cast<uintptr_t>(F)));
  SetWindowLong(PH, GWL_HWNDPARENT, 0);
  EXPECT_EQ(GetWindowLong(PH, GWL_HWNDPARENT), 0);
  SetWindowLong(PH, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(OH)));
  SetWindowLong(OH, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(PH)));
  EXPECT_EQ(GetWindowLong(OH, GWL_HWNDPARENT), 0);
  SetWindowLong(PH, GWL_HWNDPARENT, static_cast<LONG>(reinterpret_cast<uintptr_t>(PH)));
  EXPECT_EQ(GetWindowLong(PH, GWL_HWNDPARENT), static_cast<LONG>(reinterpret_cast<uintptr_t>(OH)));
  // A child's GWL_HWNDPARENT is its parent.
  auto* Kid = AddRecorder(0, 0, 10, 10);
  EXPECT_EQ(GetWindowLong(Kid->Handle(), GWL_HWNDPARENT), static_cast<LONG>(reinterpret_cast<uintptr_t>(F)));

  ShowWindow(OH, SW_SHOWNA);
  ShowWindow(PH, SW_SHOWNA);
  GtTestPump(20);
  DestroyWindow(OH);
  EXPECT_FALSE(IsWindow(PH));
  EXPECT_EQ(Destroyed, (std::vector<UINT>{2, 1}));
  delete Owned;
  delete Owner;
}

TEST_F(TopLevelUi, TopmostBandChangesOnTheSamePlatformWindow) {
  TTopProbe P(kFloatStyle, WS_EX_TOOLWINDOW, Form->Handle());
  P.SetBounds(90, 90, 60, 50);
  HWND PH = P.Handle();
  ShowWindow(PH, SW_SHOWNA);
  GtTestPump(20);
  uint64_t Native = GtTestNativeWindowId(PH);
  ASSERT_NE(Native, 0u);
  const UINT Keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  SetWindowPos(PH, HWND_TOPMOST, 0, 0, 0, 0, Keep);
  EXPECT_TRUE(GetWindowLong(PH, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(PH, HWND_NOTOPMOST, 0, 0, 0, 0, Keep);
  EXPECT_FALSE(GetWindowLong(PH, GWL_EXSTYLE) & WS_EX_TOPMOST);
  GtTestPump(20);
  EXPECT_TRUE(IsWindowVisible(PH));
  EXPECT_EQ(GtTestNativeWindowId(PH), Native);
  // Child windows have no band of their own.
  auto* Kid = AddRecorder(0, 0, 10, 10);
  SetWindowPos(Kid->Handle(), HWND_TOPMOST, 0, 0, 0, 0, Keep);
  EXPECT_FALSE(GetWindowLong(Kid->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(TopLevelUi, LayeredWindowsTakeAConstantAlphaOnly) {
  TTopProbe Plain(kPopupStyle, kPopupEx, nullptr);
  TTopProbe Layered(kPopupStyle, kPopupEx | WS_EX_LAYERED, nullptr);
  Plain.SetBounds(10, 10, 40, 30);
  Layered.SetBounds(10, 10, 40, 30);
  BLENDFUNCTION Constant;
  Constant.SourceConstantAlpha = 40;
  BLENDFUNCTION PerPixel = Constant;
  PerPixel.AlphaFormat = AC_SRC_ALPHA;
  struct Case {
    const char* Name;
    HWND Wnd;
    const BLENDFUNCTION* Blend;
    DWORD Flags;
    BOOL Result;
  };
  const Case Cases[] = {
      {"not layered", Plain.Handle(), &Constant, ULW_ALPHA, FALSE},
      {"per-pixel alpha", Layered.Handle(), &PerPixel, ULW_ALPHA, FALSE},
      {"colour key", Layered.Handle(), &Constant, ULW_COLORKEY, FALSE},
      {"no blend", Layered.Handle(), nullptr, ULW_ALPHA, FALSE},
      {"constant alpha", Layered.Handle(), &Constant, ULW_ALPHA, TRUE},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(UpdateLayeredWindow(C.Wnd, nullptr, nullptr, nullptr, nullptr, nullptr, 0, C.Blend, C.Flags), C.Result)
        << C.Name;
  EXPECT_NEAR(GtTestWindowOpacity(Layered.Handle()), 40.0 / 255.0, 0.01);
  // Position and size come along when given.
  TPoint At(30, 35);
  TSize Size(50, 45);
  Constant.SourceConstantAlpha = 255;
  ASSERT_TRUE(UpdateLayeredWindow(Layered.Handle(), nullptr, &At, &Size, nullptr, nullptr, 0, &Constant, ULW_ALPHA));
  TRect R;
  GetWindowRect(Layered.Handle(), &R);
  EXPECT_EQ(R, TRect(30, 35, 80, 80));
  EXPECT_NEAR(GtTestWindowOpacity(Layered.Handle()), 1.0, 0.01);
  // Taking the style away leaves no translucency behind.
  Constant.SourceConstantAlpha = 90;
  ASSERT_TRUE(UpdateLayeredWindow(Layered.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, 0, &Constant, ULW_ALPHA));
  SetWindowLong(Layered.Handle(), GWL_EXSTYLE, kPopupEx);
  EXPECT_NEAR(GtTestWindowOpacity(Layered.Handle()), 1.0, 0.01);
  EXPECT_FALSE(UpdateLayeredWindow(Layered.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, 0, &Constant, ULW_ALPHA));
}

// Inverts the frame of R, Width pixels wide, with a checkerboard brush.
void InvertFrame(HDC DC, const TRect& R, Integer Width) {
  static const WORD Bits[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
  HBITMAP Pattern = CreateBitmap(8, 8, 1, 1, Bits);
  HBRUSH Brush = CreatePatternBrush(Pattern);
  HGDIOBJ Old = SelectObject(DC, Brush);
  PatBlt(DC, R.Left, R.Top, R.Width(), Width, PATINVERT);
  PatBlt(DC, R.Left, R.Bottom - Width, R.Width(), Width, PATINVERT);
  PatBlt(DC, R.Left, R.Top + Width, Width, R.Height() - 2 * Width, PATINVERT);
  PatBlt(DC, R.Right - Width, R.Top + Width, Width, R.Height() - 2 * Width, PATINVERT);
  SelectObject(DC, Old);
  DeleteObject(Brush);
  DeleteObject(Pattern);
}

TEST_F(TopLevelUi, OutlinesOverAWindowsChildrenComeOffExactly) {
  auto* P = AddRecorder(10, 10, 200, 150);
  auto* K = new TRecorder(P);
  K->SetBounds(20, 20, 80, 60);
  K->SetParent(P);
  GtTestPump(20);
  HWND PH = P->Handle();
  std::vector<uint32_t> Before, Drawn, After;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(PH, Before, W, H));
  const TRect Outline(10, 10, 120, 100);  // crosses the child
  auto Draw = [&] {
    HDC DC = GetDCEx(PH, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS | DCX_LOCKWINDOWUPDATE);
    ASSERT_NE(DC, nullptr);
    InvertFrame(DC, Outline, 4);
    ReleaseDC(PH, DC);
    GtTestPump(20);
  };
  Draw();
  ASSERT_TRUE(GtTestGrab(PH, Drawn, W, H));
  // Inside the frame band the pixels change, over the child too; elsewhere not.
  Integer Changed = 0, Outside = 0;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      size_t I = static_cast<size_t>(y) * W + x;
      bool InBand = PtInRect(Outline, TPoint(x, y)) && !PtInRect(TRect(14, 14, 116, 96), TPoint(x, y));
      if (Before[I] == Drawn[I]) continue;
      if (InBand) ++Changed;
      else ++Outside;
    }
  EXPECT_GT(Changed, 0);
  EXPECT_EQ(Outside, 0);
  uint32_t OverChild = Drawn[static_cast<size_t>(20) * W + 30], Plain = Before[static_cast<size_t>(20) * W + 30];
  EXPECT_TRUE(OverChild == Plain || OverChild == (Plain ^ 0xFFFFFFu)) << std::hex << OverChild << " " << Plain;
  // Clicks pass through the outline to the child.
  K->Mouse.clear();
  GtTestClick(K->Handle(), gmbLeft, 1, 1);
  GtTestPump(10);
  EXPECT_FALSE(Significant(K->Mouse).empty());
  Draw();
  ASSERT_TRUE(GtTestGrab(PH, After, W, H));
  EXPECT_EQ(After, Before);
}

TEST_F(TopLevelUi, ScreenOutlinesUnderALockComeOffExactly) {
  HWND F = Form->Handle();
  EXPECT_FALSE(LockWindowUpdate(reinterpret_cast<HWND>(uintptr_t(0x7FFFFFF0))));
  ASSERT_TRUE(LockWindowUpdate(F));
  TRect Win;
  GetWindowRect(F, &Win);
  const TRect Outline(Win.Left + 20, Win.Top + 20, Win.Left + 140, Win.Top + 100);
  std::vector<uint32_t> Before, Drawn, After;
  const Integer Sx = Win.Left, Sy = Win.Top, Sw = 200, Sh = 150;
  ASSERT_TRUE(GtTestScreenPixels(Sx, Sy, Sw, Sh, Before));
  auto Draw = [&] {
    HDC DC = GetDC(nullptr);
    ASSERT_NE(DC, nullptr);
    InvertFrame(DC, Outline, 3);
    ReleaseDC(nullptr, DC);
    GtTestPump(20);
  };
  Draw();
  ASSERT_TRUE(GtTestScreenPixels(Sx, Sy, Sw, Sh, Drawn));
  EXPECT_NE(Drawn, Before);
  // Only the band of the frame changed.
  Integer Outside = 0;
  for (Integer y = 0; y < Sh; ++y)
    for (Integer x = 0; x < Sw; ++x) {
      TPoint S(Sx + x, Sy + y);
      bool InBand = PtInRect(Outline, S) && !PtInRect(TRect(Outline.Left + 3, Outline.Top + 3, Outline.Right - 3,
                                                             Outline.Bottom - 3), S);
      size_t I = static_cast<size_t>(y) * Sw + x;
      if (!InBand && Drawn[I] != Before[I]) ++Outside;
    }
  EXPECT_EQ(Outside, 0);
  Draw();
  ASSERT_TRUE(GtTestScreenPixels(Sx, Sy, Sw, Sh, After));
  EXPECT_EQ(After, Before);
  EXPECT_TRUE(LockWindowUpdate(nullptr));
}

}  // namespace

}  // namespace test_toplevel_tests
