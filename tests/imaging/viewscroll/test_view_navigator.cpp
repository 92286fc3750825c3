// The navigator: a second view showing the whole picture with a frame around
// what the main view shows; moving the frame scrolls the main view, and the
// link is undone cleanly whichever of the two views goes first.
#include "../view/view_test_util.h"
#include "platform/ui/winuser.h"

namespace test_view_navigator_tests {

using view_test::ViewTest;

namespace {

class NavigatorTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    Main = MakeView(400, 300);
    SetPicture(Main, 1000, 800);
    Nav = MakeView(200, 160);
    Nav->SetBounds(450, 0, 200, 160);
    GtTestPump(5);
  }
  TZiduzUvView* Main = nullptr;
  TZiduzUvView* Nav = nullptr;
};

TEST_F(NavigatorTest, AttachingMakesTheViewANavigatorOfThePicture) {
  Main->SetNavigator(Nav, 0);
  EXPECT_EQ(Main->Navigator(), Nav);
  EXPECT_TRUE(Nav->IsNavigator());
  EXPECT_TRUE(Nav->AutoFit());
  EXPECT_EQ(Nav->MouseInteract(), TIEMouseInteract{miSelect});
  EXPECT_EQ(Nav->SelectionBase(), iesbBitmap);
  EXPECT_EQ(Nav->SelectionOptions(), (TIESelectionOptions{iesoMoveable, iesoCanScroll}));
  EXPECT_EQ(Nav->GetIEBitmap(), Main->GetIEBitmap());
  EXPECT_EQ(Nav->ImageWidth(), 1000);
  EXPECT_EQ(Nav->ImageHeight(), 800);
  EXPECT_TRUE(static_cast<bool>(Nav->OnSelectionChanging));
  EXPECT_FALSE(static_cast<bool>(Nav->OnMouseWheel));  // options bit 0 clear
  // The whole picture fits the navigator.
  EXPECT_LT(Nav->Zoom(), 100);
  // The frame is the visible part of the main view: 383 x 283 from (0, 0).
  EXPECT_EQ(Nav->NavigatorFrame(), TRect(0, 0, 383, 283));
}

TEST_F(NavigatorTest, FrameFollowsTheMainView) {
  Main->SetNavigator(Nav);
  Main->SetViewOrigin(200, 150);
  EXPECT_EQ(Nav->NavigatorFrame(), TRect(200, 150, 583, 433));
  Main->SetZoom(200);
  const TRect f = Nav->NavigatorFrame();
  EXPECT_EQ(f.Left, Main->ClientToImageX(0));
  EXPECT_NEAR(f.Width(), 383 / 2, 1);
  EXPECT_NEAR(f.Height(), 283 / 2, 1);
  // While the main view's paint is locked the frame waits, and the unlock
  // (which lays the view out) brings it up to date.
  Main->LockPaint();
  Main->SetViewOrigin(600, 500);
  EXPECT_EQ(Nav->NavigatorFrame(), f);
  Main->UnlockPaint();
  EXPECT_EQ(Nav->NavigatorFrame().Left, Main->ClientToImageX(0));
  EXPECT_EQ(Nav->NavigatorFrame().Top, Main->ClientToImageY(0));
}

TEST_F(NavigatorTest, DraggingTheFrameMovesTheMainView) {
  Main->SetNavigator(Nav);
  Main->SetZoom(250);
  struct Case {
    Integer X1, Y1, ViewX, ViewY;
  } cases[] = {
      {101, 61, 252, 152},  // Round(252.5) and Round(152.5): halves to even
      {103, 63, 258, 158},  // Round(257.5) = 258, Round(157.5) = 158
      {40, 20, 100, 50},
      {0, 0, 0, 0},
  };
  Integer mx, my;
  Main->GetMaxViewXY(mx, my);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.X1 << "," << c.Y1);
    Nav->MoveNavigatorFrame(c.X1, c.Y1);
    EXPECT_EQ(Main->ViewX(), std::min(c.ViewX, mx));
    EXPECT_EQ(Main->ViewY(), std::min(c.ViewY, my));
    // The frame stays where it was dragged while the main view follows.
    EXPECT_EQ(Nav->NavigatorFrame().Left, c.X1);
    EXPECT_EQ(Nav->NavigatorFrame().Top, c.Y1);
  }
  // Past the end: the main view stops at its maximum origin.
  Nav->MoveNavigatorFrame(990, 790);
  EXPECT_EQ(Main->ViewX(), mx);
  EXPECT_EQ(Main->ViewY(), my);
}

TEST_F(NavigatorTest, NavigatorWheelZoomsTheMainView) {
  Main->SetNavigator(Nav, 1);
  const double navZoom = Nav->Zoom();
  double sawOut = -1;
  Main->OnZoomOut = [&](TObject* s, double& z) {
    EXPECT_EQ(s, Main);
    sawOut = z;
  };
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), 50, 50, 120));
  EXPECT_DOUBLE_EQ(sawOut, 92);
  EXPECT_DOUBLE_EQ(Main->Zoom(), 92);
  EXPECT_DOUBLE_EQ(Nav->Zoom(), navZoom);
  // The navigator's own settings decide, whatever action they name.
  Nav->MouseWheelParams()->Action = 1;
  Nav->MouseWheelParams()->Variation = 0;
  Nav->MouseWheelParams()->Value = 10;
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), 50, 50, -120));
  EXPECT_DOUBLE_EQ(Main->Zoom(), 102);
  // Without options bit 0 the navigator's wheel leaves the main view alone.
  Main->SetNavigator(Nav, 0);
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), 50, 50, -120));
  EXPECT_DOUBLE_EQ(Main->Zoom(), 102);
}

TEST_F(NavigatorTest, NavigatorWheelAtCursorKeepsThePointedImagePoint) {
  Main->SetNavigator(Nav, 1);
  Main->SetZoom(200);
  Main->SetViewOrigin(600, 500);
  Nav->MouseWheelParams()->ZoomAtCursor = true;
  // The navigator client point over image point (bx, by), and where the main
  // view shows that point now.
  const Integer nx = Nav->ImageToClientX(420), ny = Nav->ImageToClientY(330);
  const Integer bx = Nav->ClientToImageX(nx), by = Nav->ClientToImageY(ny);
  const Integer mx = Main->ImageToClientX(bx), my = Main->ImageToClientY(by);
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), nx, ny, -120));
  ASSERT_DOUBLE_EQ(Main->Zoom(), 216);
  EXPECT_NEAR(Main->ClientToImageX(mx), bx, 1);
  EXPECT_NEAR(Main->ClientToImageY(my), by, 1);
}

TEST_F(NavigatorTest, DetachingGivesTheNavigatorItsOwnPictureBack) {
  Main->SetNavigator(Nav, 1);
  Main->SetNavigator(nullptr);
  EXPECT_EQ(Main->Navigator(), nullptr);
  EXPECT_FALSE(Nav->IsNavigator());
  EXPECT_NE(Nav->GetIEBitmap(), Main->GetIEBitmap());
  EXPECT_EQ(Nav->ImageWidth(), 0);
  EXPECT_FALSE(static_cast<bool>(Nav->OnSelectionChanging));
  EXPECT_FALSE(static_cast<bool>(Nav->OnMouseWheel));
  // Nothing links them any more.
  Main->SetViewOrigin(100, 100);
  Nav->MoveNavigatorFrame(300, 300);
  EXPECT_EQ(Main->ViewX(), 100);
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), 50, 50, 120));
  EXPECT_DOUBLE_EQ(Main->Zoom(), 100);
  // The main picture was not freed with the link.
  EXPECT_EQ(Main->GetIEBitmap()->Width(), 1000);
}

TEST_F(NavigatorTest, AViewCannotNavigateItself) {
  Main->SetNavigator(Main, 1);
  EXPECT_EQ(Main->Navigator(), nullptr);
  EXPECT_FALSE(Main->IsNavigator());
  EXPECT_EQ(Main->GetIEBitmap()->Width(), 1000);
  Main->SetZoom(50);
  EXPECT_DOUBLE_EQ(Main->Zoom(), 50);
}

TEST_F(NavigatorTest, SwitchingNavigators) {
  TZiduzUvView* other = MakeView(150, 120);
  other->SetBounds(450, 200, 150, 120);
  Main->SetNavigator(Nav, 1);
  Main->SetNavigator(other, 1);
  EXPECT_FALSE(Nav->IsNavigator());
  EXPECT_TRUE(other->IsNavigator());
  EXPECT_EQ(other->GetIEBitmap(), Main->GetIEBitmap());
  EXPECT_NE(Nav->GetIEBitmap(), Main->GetIEBitmap());
  other->MoveNavigatorFrame(100, 100);
  EXPECT_EQ(Main->ViewX(), 100);
}

// --- the link is undone whichever view goes first (checked by the sanitizers)

TEST_F(NavigatorTest, MainViewDestroyedFirst) {
  Main->SetNavigator(Nav, 3);
  delete Main;
  Main = nullptr;
  EXPECT_FALSE(Nav->IsNavigator());
  ASSERT_NE(Nav->GetIEBitmap(), nullptr);
  EXPECT_EQ(Nav->GetIEBitmap()->Width(), 0);
  // The navigator lives on without calling into the freed view.
  Nav->Update();
  Nav->Repaint();
  ASSERT_TRUE(GtTestWheel(Nav->Handle(), 50, 50, 120));
  Nav->MoveNavigatorFrame(10, 10);
  GtTestPump(5);
}

TEST_F(NavigatorTest, NavigatorDestroyedFirst) {
  Main->SetNavigator(Nav, 1);
  delete Nav;
  Nav = nullptr;
  EXPECT_EQ(Main->Navigator(), nullptr);
  Main->SetZoom(150);
  Main->SetViewOrigin(50, 50);
  Main->Update();
  GtTestPump(5);
  EXPECT_EQ(Main->ViewX(), 50);
}

TEST_F(NavigatorTest, NavigatorWithoutOwnerDestroyedFirst) {
  auto* nav = new TZiduzUvView(nullptr);
  nav->SetParent(Form.get());
  nav->SetBounds(450, 200, 120, 100);
  nav->HandleNeeded();
  Main->SetNavigator(nav, 1);
  EXPECT_EQ(nav->GetIEBitmap(), Main->GetIEBitmap());
  delete nav;
  EXPECT_EQ(Main->Navigator(), nullptr);
  Main->SetViewOrigin(10, 10);
  EXPECT_EQ(Main->ViewX(), 10);
}

TEST_F(NavigatorTest, OwnerTearsDownBothInEitherOrder) {
  // SetUp made Main before Nav; the form frees the later one first.
  Main->SetNavigator(Nav, 3);
  // A second pair made the other way round.
  TZiduzUvView* nav2 = MakeView(100, 80);
  TZiduzUvView* main2 = MakeView(300, 200);
  SetPicture(main2, 640, 480);
  main2->SetNavigator(nav2, 3);
  EXPECT_EQ(nav2->GetIEBitmap(), main2->GetIEBitmap());
  EXPECT_EQ(Main->Navigator(), Nav);
  // The sanitizer build checks that neither order touches a freed view.
  Form.reset();
  Application->ProcessMessages();
}

}  // namespace

}  // namespace test_view_navigator_tests
