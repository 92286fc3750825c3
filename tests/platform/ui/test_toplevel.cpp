// Reparenting with the handle kept, child lookup by point, placement of a
// minimised maximised form, and window shapes that hide pixels and clicks.
#include <vector>

#include "tests/platform/ui/uitest.h"

namespace {

class TopLevelUi : public UiTest {};

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

  // Only the left half of the child remains.
  SetWindowRgn(KH, CreateRectRgn(0, 0, 30, 40), TRUE);
  GtTestPump(20);
  EXPECT_EQ(Under(Left), KH);
  EXPECT_EQ(Under(Right), PH);

  // Empty: nothing of the child shows, and a click goes to the parent.
  SetWindowRgn(KH, CreateRectRgn(0, 0, 0, 0), TRUE);
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
  GtTestPump(20);
  EXPECT_EQ(Under(Right), KH);
}

}  // namespace
