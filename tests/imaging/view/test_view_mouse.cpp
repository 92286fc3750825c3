// Mouse and keyboard on the view, driven by window events: the interaction
// set's rules, zoom clicks, selection gestures, automatic and gliding
// scrolls, cursors, and layers moved by the mouse.
#include <algorithm>
#include <cmath>
#include <exception>  // winuser.h uses std::exception_ptr
#include <vector>

#include "platform/ui/winuser.h"
#include "view_test_util.h"

namespace test_view_mouse_tests {

using namespace view_test;

namespace {

using TSet = TIEMouseInteract;

class TMouseTest : public ViewTest {
 protected:
  // A view of W x H showing a picture of the same size (client = bitmap).
  TZiduzUvView* Make(Integer W, Integer H, TSet Interact) {
    TZiduzUvView* v = MakeView(W, H);
    SetPicture(v, W, H);
    v->SetMouseInteract(Interact);
    Paint(v);
    return v;
  }
  // A paint records where the layers lie (their boxes).
  static void Paint(TZiduzUvView* V) {
    V->Repaint();
    GtTestPump(5);
  }
  static void Press(TZiduzUvView* V, Integer X, Integer Y, TGtMouseButton B = gmbLeft, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaPress, B, X, Y, Mods));
  }
  static void Move(TZiduzUvView* V, Integer X, Integer Y, TGtMouseButton B = gmbLeft, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaMove, B, X, Y, Mods));
  }
  static void Release(TZiduzUvView* V, Integer X, Integer Y, TGtMouseButton B = gmbLeft, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaRelease, B, X, Y, Mods));
  }
  static void Drag(TZiduzUvView* V, std::vector<TPoint> Path, Cardinal Mods = 0) {
    Press(V, Path.front().X, Path.front().Y, gmbLeft, Mods);
    for (size_t i = 1; i < Path.size(); ++i) Move(V, Path[i].X, Path[i].Y, gmbLeft, Mods);
    Release(V, Path.back().X, Path.back().Y, gmbLeft, Mods);
  }
  static TRect MaskBox(TZiduzUvView* V) {
    TIEMask* m = V->SelectionMask();
    return TRect(m->X1, m->Y1, m->X2, m->Y2);
  }
};

TEST(TMouseRules, FirstRuleThatApplies) {
  struct TCase {
    const char* Name;
    TSet Old, New, Want;
  };
  const TCase cases[] = {
      {"zoom and scroll kept", {}, {miZoom, miScroll}, {miZoom, miScroll}},
      {"adding select drops scroll", {miZoom, miScroll}, {miZoom, miScroll, miSelect}, {miZoom, miSelect}},
      {"polygon alone", {}, {miSelectPolygon, miZoom}, {miSelectPolygon}},
      {"polygon keeps the gliding scroll", {}, {miSelectPolygon, miMovingScroll, miZoom}, {miSelectPolygon, miMovingScroll}},
      // Rule 2 comes before rule 3: the added select wins over the polygon.
      {"select before polygon", {}, {miSelectPolygon, miMovingScroll, miSelect}, {miSelect, miMovingScroll}},
      {"scroll added drops selections and layers", {miSelect}, {miSelect, miScroll, miMoveLayers}, {miScroll}},
      {"zoom added drops the wand and layers", {}, {miZoom, miSelectMagicWand, miMoveLayers}, {miZoom}},
      {"wand alone", {miZoom}, {miZoom, miSelectMagicWand}, {miSelectMagicWand}},
      {"rotation keeps moving", {}, {miRotateLayers, miMoveLayers, miResizeLayers}, {miRotateLayers, miMoveLayers}},
      {"moving drops zoom", {miZoom}, {miZoom, miMoveLayers, miResizeLayers}, {miMoveLayers, miResizeLayers}},
      {"resizing drops rotation", {miRotateLayers}, {miResizeLayers, miRotateLayers}, {miRotateLayers}},
      {"circle replaces select", {miSelect}, {miSelect, miSelectCircle}, {miSelectCircle}},
  };
  for (const TCase& c : cases) EXPECT_EQ(IEMouseInteractRules(c.Old, c.New), c.Want) << c.Name;
}

TEST(TMouseRules, ZoomClickSteps) {
  struct TCase {
    double From, In, Out;
  };
  // Zooming in never lowers the zoom, from 500 on it stays.
  const TCase cases[] = {{100, 200, 75}, {450, 500, 350}, {500, 500, 400}, {600, 600, 500}, {3, 5, 5},
                         {5, 10, 5},     {75, 100, 50},   {150, 250, 100}, {200, 300, 100}, {60, 75, 50}};
  for (const TCase& c : cases) {
    EXPECT_EQ(TZiduzUvView::ZoomInStep(c.From), c.In) << c.From;
    EXPECT_EQ(TZiduzUvView::ZoomOutStep(c.From), c.Out) << c.From;
  }
}

TEST_F(TMouseTest, ZoomClicksKeepThePointUnderTheMouse) {
  struct TCase {
    double From;
    TGtMouseButton Button;
    double To;
  };
  for (const TCase c : {TCase{100, gmbLeft, 75}, TCase{100, gmbRight, 200}, TCase{450, gmbRight, 500},
                        TCase{500, gmbRight, 500}, TCase{600, gmbRight, 600}, TCase{3, gmbLeft, 5}}) {
    SCOPED_TRACE(testing::Message() << c.From << " -> " << c.To);
    // The picture is larger than the view at every zoom here, so the
    // clicked point can stay where it is.
    TZiduzUvView* v = MakeView(100, 100);
    SetPicture(v, 4000, 4000);
    v->SetMouseInteract(TSet{miZoom});
    v->SetZoom(c.From);
    v->SetViewOrigin(v->ZoomedWidth() / 3, v->ZoomedHeight() / 3);
    Paint(v);
    const Integer before = v->ClientToImageX(45);
    ASSERT_TRUE(GtTestClick(v->Handle(), c.Button, 45, 45));
    EXPECT_DOUBLE_EQ(v->Zoom(), c.To);
    EXPECT_NEAR(v->ClientToImageX(45), before, 100.0 / std::min(c.From, c.To) + 1);
    delete v;
  }
  // A click on the background beside a small picture does not zoom.
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 20, 20);
  v->SetMouseInteract(TSet{miZoom});
  Paint(v);
  ASSERT_TRUE(GtTestClick(v->Handle(), gmbRight, 10, 10));
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  ASSERT_TRUE(GtTestClick(v->Handle(), gmbRight, 100, 100));
  EXPECT_DOUBLE_EQ(v->Zoom(), 200);
  delete v;
}

TEST_F(TMouseTest, SelectionGestures) {
  // Rectangle.
  {
    TZiduzUvView* v = Make(200, 150, TSet{miSelect});
    Integer changes = 0;
    v->OnSelectionChange = [&](TObject*) { ++changes; };
    Drag(v, {{20, 30}, {40, 40}, {60, 50}});
    EXPECT_TRUE(v->Selected());
    EXPECT_EQ(MaskBox(v), TRect(20, 30, 59, 49));
    EXPECT_EQ(changes, 1);
    // A click without movement removes it.
    Drag(v, {{100, 100}});
    EXPECT_FALSE(v->Selected());
    // A drag inside a selection moves it.
    Drag(v, {{20, 30}, {60, 50}});
    Drag(v, {{30, 35}, {40, 40}, {50, 45}});
    EXPECT_EQ(MaskBox(v), TRect(40, 40, 79, 59));
    delete v;
  }
  // Polygon, ended by a double click.
  {
    TZiduzUvView* v = Make(200, 150, TSet{miSelectPolygon});
    for (TPoint p : {TPoint(10, 10), TPoint(90, 10)}) ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, p.X, p.Y));
    ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, 90, 70));
    // A double click on the last point: its first click adds the point once
    // more, and the double click takes that one off and closes the polygon.
    ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, 90, 70));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaDoubleClick, gmbLeft, 90, 70));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, 90, 70));
    EXPECT_TRUE(v->Selected());
    EXPECT_TRUE(v->IsPointInSelection(80, 15));
    EXPECT_FALSE(v->IsPointInSelection(15, 60));
    EXPECT_FALSE(v->GestureRunning());
    delete v;
  }
  // Lasso.
  {
    TZiduzUvView* v = Make(200, 150, TSet{miSelectLasso});
    Drag(v, {{10, 10}, {60, 10}, {60, 60}, {10, 60}});
    EXPECT_TRUE(v->IsPointInSelection(30, 30));
    EXPECT_FALSE(v->IsPointInSelection(70, 30));
    delete v;
  }
  // Magic wand, Shift adding.
  {
    TZiduzUvView* v = Make(60, 40, TSet{miSelectMagicWand});
    TIEBitmap* b = v->GetIEBitmap();
    for (Integer y = 0; y < 40; ++y)
      for (Integer x = 0; x < 60; ++x) b->SetPixelTriple(x, y, x < 20 ? TRGB{0, 0, 255} : x < 40 ? TRGB{0, 255, 0} : TRGB{255, 0, 0});
    ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, 5, 5));
    ASSERT_TRUE(GtTestClick(v->Handle(), gmbLeft, 50, 5, gmkShift));
    EXPECT_TRUE(v->IsPointInSelection(10, 20));
    EXPECT_FALSE(v->IsPointInSelection(30, 20));
    EXPECT_TRUE(v->IsPointInSelection(45, 20));
    delete v;
  }
  // Select-zoom zooms to the dragged rectangle and gives the selection back.
  {
    TZiduzUvView* v = Make(200, 200, TSet{miSelect});
    Drag(v, {{5, 5}, {15, 15}});
    v->SetMouseInteract(TSet{miSelectZoom});
    Drag(v, {{50, 50}, {80, 80}, {100, 100}});
    EXPECT_DOUBLE_EQ(v->Zoom(), 400);
    EXPECT_TRUE(v->Selected());
    EXPECT_EQ(MaskBox(v), TRect(5, 5, 14, 14));
    EXPECT_EQ(v->SelectionStackCount(), 0);
    delete v;
  }
}

TEST_F(TMouseTest, RightPressDuringALeftDragChangesNothing) {
  TZiduzUvView* v = Make(200, 150, TSet{miSelect});
  v->SetMouseInteract(TSet{miSelect, miZoom});
  ASSERT_EQ(v->MouseInteract(), (TSet{miSelect, miZoom}));
  Press(v, 20, 20);
  Move(v, 60, 60);
  Press(v, 60, 60, gmbRight);
  Release(v, 60, 60, gmbRight);
  Release(v, 60, 60);
  EXPECT_DOUBLE_EQ(v->Zoom(), 100);
  EXPECT_EQ(MaskBox(v), TRect(20, 20, 59, 59));
  delete v;
}

TEST_F(TMouseTest, AutoScrollFollowsADragPastTheEdge) {
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 1000, 1000);
  v->SetMouseInteract(TSet{miSelect});
  Paint(v);
  ASSERT_EQ(v->ViewX(), 0);
  Press(v, 100, 100);
  Move(v, 150, 120);
  EXPECT_EQ(v->ViewX(), 0);
  Move(v, v->OffsetX() + v->ExtentX() + 30, 120);
  EXPECT_GT(v->ViewX(), 0);
  Release(v, v->OffsetX() + v->ExtentX() + 30, 120);
  // The selection started at the press point and reached past the old edge.
  EXPECT_EQ(v->GetSelectionX1(), 100);
  EXPECT_GT(v->GetSelectionX2(), 200);
  delete v;
}

TEST_F(TMouseTest, GlideTowardTheMouse) {
  // A 400 x 300 view area beside the bars, 1000 pixels of travel each way.
  TZiduzUvView* v = MakeView(400 + GetSystemMetrics(SM_CXVSCROLL), 300 + GetSystemMetrics(SM_CYHSCROLL));
  SetPicture(v, 1399, 1299);
  Integer mx = 0, my = 0;
  v->GetMaxViewXY(mx, my);
  ASSERT_EQ(mx, 1000);
  ASSERT_EQ(v->GetViewWidth(), 400);
  v->SetMouseInteract(TSet{miMovingScroll});
  Move(v, 399, 150, gmbNone);
  // Trunc((399 / 400 - 0.02) x 1.05 x 1000) = 1026, past the end.
  EXPECT_EQ(v->GlideTarget().X, 1026);
  // Each tick an eighth of what is left, rounded, the origin clamped to
  // 1000: 0, 128, 240, ... The timer may already have ticked while the
  // events were handled, so the origin is one of these.
  std::vector<Integer> path{0};
  while (path.back() < 1000)
    path.push_back(std::min<Integer>(1000, Integer(std::nearbyint(path.back() + (1026 - path.back()) / 8.0))));
  ASSERT_EQ(path[1], 128);
  ASSERT_EQ(path[2], 240);
  EXPECT_NE(std::find(path.begin() + 1, path.end(), v->ViewX()), path.end()) << v->ViewX();
  // Steps run here directly follow the same rule until the origin stands.
  for (int i = 0; i < 100 && v->Gliding(); ++i) {
    const Integer a = v->ViewX();
    v->GlideStep();
    EXPECT_EQ(v->ViewX(), std::min<Integer>(1000, Integer(std::nearbyint(a + (1026 - a) / 8.0))));
  }
  EXPECT_FALSE(v->Gliding());
  EXPECT_EQ(v->ViewX(), 1000);
  delete v;
}

TEST_F(TMouseTest, ShiftShowsTheAddCursor) {
  TZiduzUvView* v = Make(100, 100, TSet{miSelect});
  ASSERT_EQ(v->Cursor(), 1785);
  v->SetFocus();
  GtTestPump(5);
  ASSERT_TRUE(GtTestKey(v->Handle(), true, VK_SHIFT, gmkShift));
  EXPECT_EQ(v->Cursor(), 1791);
  ASSERT_TRUE(GtTestKey(v->Handle(), false, VK_SHIFT, 0));
  EXPECT_EQ(v->Cursor(), 1785);
  // Inside a moveable selection the move cursor.
  Drag(v, {{10, 10}, {50, 50}});
  Move(v, 30, 30, gmbNone);
  EXPECT_EQ(v->Cursor(), 1790);
  Move(v, 80, 80, gmbNone);
  EXPECT_EQ(v->Cursor(), 1785);
  delete v;
}

TEST_F(TMouseTest, DraggingALayer) {
  TZiduzUvView* v = MakeView(400, 400);
  SetPicture(v, 200, 200);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(40, 30, ie24RGB));
  v->GetCurrentLayer()->PosX = 10;
  v->GetCurrentLayer()->PosY = 20;
  v->SetCurrentLayer(0);
  v->SetMouseInteract(TSet{miMoveLayers});
  v->SetZoom(200);
  v->SetViewOrigin(0, 0);
  Paint(v);
  std::vector<std::pair<Integer, TIELayerEvent>> events;
  v->OnLayerNotify = [&](TObject*, Integer L, TIELayerEvent E) { events.push_back({L, E}); };
  const Integer x0 = v->ImageToClientX(20), y0 = v->ImageToClientY(30);
  Press(v, x0, y0);
  EXPECT_EQ(v->CurrentLayer(), 1);
  EXPECT_EQ(v->Cursor(), 1790);
  Move(v, x0 + 20, y0 + 10);
  EXPECT_EQ(v->HintText(), u"X=20 Y=25");
  Move(v, x0 + 40, y0 + 10);
  Release(v, x0 + 40, y0 + 10);
  // 40 client pixels at 200 % are 20 image pixels.
  EXPECT_EQ(v->GetCurrentLayer()->PosX, 30);
  EXPECT_EQ(v->GetCurrentLayer()->PosY, 25);
  EXPECT_TRUE(v->HintText().empty());
  const std::vector<std::pair<Integer, TIELayerEvent>> want{
      {1, ielSelected}, {1, ielMoving}, {1, ielMoving}, {1, ielMoved}};
  EXPECT_EQ(events, want);
  // A locked layer stays and shows no move cursor.
  v->GetCurrentLayer()->Locked = true;
  Paint(v);
  const Integer x1 = v->ImageToClientX(40), y1 = v->ImageToClientY(35);
  Move(v, x1, y1, gmbNone);
  EXPECT_NE(v->Cursor(), 1790);
  Drag(v, {{x1, y1}, {x1 + 30, y1 + 30}});
  EXPECT_EQ(v->GetCurrentLayer()->PosX, 30);
  delete v;
}

}  // namespace

}  // namespace test_view_mouse_tests
