// Editing vector objects with the mouse: resizing by grips, moving within or
// beyond the picture, the rubber band, polyline points, the angle's grips,
// custom objects receiving the mouse, and the undo step of a gesture.
#include <string>
#include <vector>

#include "tests/imaging/view/vect_mouse_util.h"

namespace test_vect_gestures_tests {

using vect_mouse_test::VectMouseTest;
using VI = TIEVectorInteract;

TEST_F(VectMouseTest, ResizeObjectByEveryGrip) {
  struct TCase {
    Integer Grip, DX1, DY1, DX2, DY2;
    bool Keep;
    const char* Want;
  };
  // A 100 x 50 box at the origin; with keepAspect the other axis follows.
  const TCase cases[] = {
      {1, 10, 10, 0, 0, false, "10,10,100,50"},  {1, 20, 0, 0, 0, true, "20,10,100,50"},
      {2, 0, 0, 20, 0, false, "0,0,120,50"},     {2, 0, 0, 20, 0, true, "0,0,120,60"},
      {4, 0, 0, 20, 0, true, "0,-10,120,50"},    {5, -20, 0, 0, 0, true, "-20,0,100,60"},
      {6, 10, 0, 0, 0, true, "10,0,100,45"},     {7, 0, 0, 10, 0, false, "0,0,110,50"},
      {8, 0, -10, 0, 0, true, "-20,-10,100,50"}, {9, 0, 0, 0, 10, true, "0,0,120,60"},
      {9, 0, 0, 0, 10, false, "0,0,100,60"},
  };
  TZiduzUvVect* v = MakeVect();
  for (const TCase& c : cases) {
    const Integer h = AddBox(v, 0, 0, 100, 50);
    v->GetObj(h)->DragStartRect = TRect(0, 0, 100, 50);
    v->ResizeObject(h, c.DX1, c.DY1, c.DX2, c.DY2, c.Keep, c.Grip);
    EXPECT_EQ(RectOf(v, h), c.Want) << "grip " << c.Grip << (c.Keep ? " keeping the aspect" : "");
  }
  // A start rectangle without width leaves the plain step.
  const Integer h = AddBox(v, 0, 0, 100, 50);
  v->GetObj(h)->DragStartRect = TRect(5, 0, 5, 50);
  v->ResizeObject(h, 0, 0, 20, 0, true, 2);
  EXPECT_EQ(RectOf(v, h), "0,0,120,50");
}

TEST_F(VectMouseTest, DraggingGripsResizesAndAltKeepsTheAspect) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer h = AddBox(v, 20, 20, 120, 70);
  Click(v, 60, 40);
  ASSERT_EQ(v->SelObjects(), std::vector<Integer>{h});
  Drag(v, {TPoint(120, 70), TPoint(130, 70), TPoint(140, 70)}, gmkAlt);
  EXPECT_EQ(RectOf(v, h), "20,20,140,80");
  // Without Alt only the dragged edge moves; an edge dragged across the
  // other ends normalised.
  Drag(v, {TPoint(140, 50), TPoint(100, 50), TPoint(10, 50)});
  EXPECT_EQ(RectOf(v, h), "10,20,20,80");
}

TEST_F(VectMouseTest, AMoveStopsAtTheBorderUnlessMovingOutsideIsAllowed) {
  for (bool outside : {false, true}) {
    SCOPED_TRACE(outside ? "outside allowed" : "kept inside");
    TZiduzUvVect* v = MakeVect();
    v->SetVectorInteract(VI{viEdit});
    v->SetAllowMoveOutside(outside);
    const Integer h = AddBox(v, 150, 50, 180, 80);
    Click(v, 165, 65);
    Press(v, 165, 65);
    Move(v, 180, 65);
    Move(v, 199, 65);
    EXPECT_EQ(RectOf(v, h), outside ? "184,50,214,80" : "169,50,199,80");
    // Back to where it stopped: the box waits for the mouse, then follows it.
    Move(v, 190, 65);
    EXPECT_EQ(RectOf(v, h), outside ? "175,50,205,80" : "169,50,199,80");
    Move(v, 180, 65);
    Release(v, 180, 65);
    EXPECT_EQ(RectOf(v, h), outside ? "165,50,195,80" : "165,50,195,80");
    delete v;
  }
}

TEST_F(VectMouseTest, TheRubberBandSelectsEnclosedObjectsAndShiftAdds) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  v->SetMaxHitDistance(3);
  const Integer a = AddBox(v, 10, 10, 30, 30), b = AddBox(v, 40, 10, 60, 30), c = AddBox(v, 100, 100, 120, 120);
  Drag(v, {TPoint(2, 2), TPoint(30, 20), TPoint(65, 35)});
  EXPECT_EQ(v->SelObjects(), (std::vector<Integer>{a, b}));
  Drag(v, {TPoint(92, 92), TPoint(110, 110), TPoint(125, 125)}, gmkShift);
  EXPECT_EQ(v->SelObjects(), (std::vector<Integer>{a, b, c}));
  Drag(v, {TPoint(92, 92), TPoint(110, 110), TPoint(125, 125)});
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{c});
  // A box only partly inside is not taken.
  Drag(v, {TPoint(2, 2), TPoint(30, 20), TPoint(50, 35)});
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{a});
}

TEST_F(VectMouseTest, PolylinePointsAreDeletedWithCtrlAndInsertedOnSegments) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEditPolyline});
  const Integer h = AddPolyline(v, {TPoint(20, 20), TPoint(80, 20), TPoint(80, 80)});
  v->AddSelObject(h);
  Click(v, 80, 20, gmkCtrl);
  EXPECT_EQ(v->GetObj(h)->Points, (std::vector<TPoint>{TPoint(20, 20), TPoint(80, 80)}));
  // Two points are the least a polyline keeps.
  Click(v, 20, 20, gmkCtrl);
  EXPECT_EQ(v->GetObj(h)->Points.size(), 2u);

  // A stretched polyline: its points are stored at half the drawn width.
  const Integer s = AddPolyline(v, {TPoint(20, 20), TPoint(80, 20), TPoint(80, 80)});
  v->GetObj(s)->X2 = 140;
  v->UnSelAllObjects();
  v->AddSelObject(s);
  Press(v, 100, 20);
  Release(v, 100, 24);
  const TIEVectObject* o = v->GetObj(s);
  EXPECT_EQ(o->Points, (std::vector<TPoint>{TPoint(20, 20), TPoint(60, 24), TPoint(80, 20), TPoint(80, 80)}));
  EXPECT_EQ(RectOf(v, s), "20,20,140,80");
  // Dragging a point moves it by the mouse's step in its own coordinates.
  Drag(v, {TPoint(140, 80), TPoint(140, 90), TPoint(140, 100)});
  EXPECT_EQ(o->Points.back(), TPoint(80, 100));
  EXPECT_EQ(RectOf(v, s), "20,20,140,100");
}

TEST_F(VectMouseTest, ASelectedAngleClaimsEveryPressAsItsMoveGrip) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer box = AddBox(v, 100, 100, 150, 140);
  TIEVectObject a;
  a.Kind = vkAngle;
  a.AnglePoints[0] = TPoint(10, 10);
  a.AnglePoints[1] = TPoint(50, 50);
  a.AnglePoints[2] = TPoint(90, 10);
  a.X1 = 10, a.Y1 = 10, a.X2 = 90, a.Y2 = 90;
  const Integer h = v->AddObject(a);
  v->AddSelObject(box);
  v->AddSelObject(h);
  Integer grip = 0;
  struct TCase {
    TPoint At;
    Integer Position, Grip;
  };
  // The box, first in the selection, keeps its own grips.
  for (const TCase& c : {TCase{TPoint(190, 20), 1, 3}, TCase{TPoint(10, 10), 1, 10}, TCase{TPoint(51, 49), 1, 11},
                         TCase{TPoint(90, 10), 1, 12}, TCase{TPoint(150, 140), 0, 2}, TCase{TPoint(125, 120), 0, 3}}) {
    EXPECT_EQ(v->GetGripAt(c.At.X, c.At.Y, grip), c.Position) << c.At.X << "," << c.At.Y;
    EXPECT_EQ(grip, c.Grip) << c.At.X << "," << c.At.Y;
  }
  // Dragging beside its arms moves the angle; dragging its last point
  // moves that point alone.
  v->UnSelAllObjects();
  v->AddSelObject(h);
  Drag(v, {TPoint(60, 20), TPoint(65, 25), TPoint(69, 30)});
  EXPECT_EQ(v->GetObj(h)->AnglePoints[0], TPoint(19, 20));
  EXPECT_EQ(v->GetObj(h)->AnglePoints[2], TPoint(99, 20));
  Drag(v, {TPoint(99, 20), TPoint(100, 30), TPoint(110, 40)});
  EXPECT_EQ(v->GetObj(h)->AnglePoints[2], TPoint(110, 40));
  EXPECT_EQ(v->GetObj(h)->AnglePoints[1], TPoint(59, 60));
}

struct TRecordingObject : TIEVectCustomObject {
  static inline std::vector<std::string>* Log = nullptr;
  std::unique_ptr<TIEVectCustomObject> Clone() override { return std::make_unique<TRecordingObject>(); }
  void Note(const std::string& S) {
    if (Log && (Log->empty() || Log->back() != S)) Log->push_back(S);
  }
  void MouseDown(TMouseButton, TShiftState, Integer, Integer) override { Note("down"); }
  void MouseUp(TMouseButton, TShiftState, Integer, Integer) override { Note("up"); }
  void MouseMove(TShiftState, Integer, Integer) override { Note("move"); }
  void MouseEnter() override { Note("enter"); }
  void MouseLeave() override { Note("leave"); }
  static std::unique_ptr<TIEVectCustomObject> Make() { return std::make_unique<TRecordingObject>(); }
};

TEST_F(VectMouseTest, ACustomObjectUnderTheMouseReceivesItsEvents) {
  IEVectRegisterCustomClass("TRecordingObject", &TRecordingObject::Make);
  std::vector<std::string> log;
  TRecordingObject::Log = &log;
  {
    TZiduzUvVect* v = MakeVect();
    v->SetVectorInteract(VI{viEdit});
    TIEVectObject o;
    o.Kind = vkCustom;
    o.X1 = 50, o.Y1 = 50, o.X2 = 100, o.Y2 = 100;
    o.CustomObject.P = TRecordingObject::Make();
    v->AddObject(o);
    Move(v, 20, 20, 0, gmbNone);
    EXPECT_TRUE(log.empty()) << "far from the object";
    // Near but not on it: only distance 0 counts.
    Move(v, 48, 60, 0, gmbNone);
    EXPECT_TRUE(log.empty());
    Move(v, 60, 60, 0, gmbNone);
    Move(v, 62, 61, 0, gmbNone);
    Press(v, 62, 61);
    Release(v, 62, 61);
    Move(v, 150, 120, 0, gmbNone);
    EXPECT_EQ(log, (std::vector<std::string>{"enter", "move", "down", "up", "leave"}));
    delete v;
  }
  TRecordingObject::Log = nullptr;
  IEVectUnregisterCustomClass(&TRecordingObject::Make);
}

TEST_F(VectMouseTest, OnlyAGestureThatChangesObjectsKeepsItsUndoStep) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  v->SetObjAutoUndo(true);
  v->SetObjUndoLimit(10);
  v->SetMaxHitDistance(3);
  const Integer h = AddBox(v, 40, 40, 100, 100);
  Click(v, 150, 130);
  EXPECT_EQ(v->ObjUndoCount(), 0) << "a click on empty space";
  Click(v, 70, 70);
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{h});
  EXPECT_EQ(v->ObjUndoCount(), 0) << "selecting changes no object";
  Click(v, 100, 100);
  EXPECT_EQ(v->ObjUndoCount(), 0) << "a grip pressed and let go";
  Drag(v, {TPoint(70, 70), TPoint(80, 75), TPoint(90, 80)});
  EXPECT_EQ(RectOf(v, h), "60,50,120,110");
  ASSERT_EQ(v->ObjUndoCount(), 1) << "a move";
  // The step holds the objects as they were before the move.
  TZiduzUvVect* other = MakeVect();
  ASSERT_TRUE(other->LoadObjectsFromStream(v->ObjUndoAt(0)));
  EXPECT_EQ(RectOf(other, 0), "40,40,100,100");
  delete other;
  v->SetVectorInteract(VI{viPutBox});
  Click(v, 10, 10);
  EXPECT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(v->ObjUndoCount(), 2) << "a new object";
}

TEST_F(VectMouseTest, AFullUndoListIsKeptByAGestureThatChangesNothing) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  v->SetObjAutoUndo(true);
  v->SetObjUndoLimit(1);
  v->SetMaxHitDistance(3);
  const Integer h = AddBox(v, 40, 40, 100, 100);
  Drag(v, {TPoint(70, 70), TPoint(80, 75), TPoint(90, 80)});
  ASSERT_EQ(v->ObjUndoCount(), 1);
  const TMemoryStream* before = v->ObjUndoAt(0);
  // Saving for the click pushes the one step out; the click changes
  // nothing, so the step comes back.
  Click(v, 150, 130);
  ASSERT_EQ(v->ObjUndoCount(), 1);
  EXPECT_EQ(v->ObjUndoAt(0), before);
  // Two changes leave the newer step.
  Drag(v, {TPoint(80, 80), TPoint(85, 85), TPoint(90, 90)});
  ASSERT_EQ(v->ObjUndoCount(), 1);
  TZiduzUvVect* probe = MakeVect();
  ASSERT_TRUE(probe->LoadObjectsFromStream(v->ObjUndoAt(0)));
  EXPECT_EQ(RectOf(probe, 0), "60,50,120,110");
  delete probe;
  EXPECT_EQ(RectOf(v, h), "70,60,130,120");

  // Moving, deleting and inserting polyline points are changes too.
  v->SetObjUndoLimit(10);
  v->ClearObjUndo();
  v->SetVectorInteract(VI{viEditPolyline});
  const Integer p = AddPolyline(v, {TPoint(10, 10), TPoint(30, 10), TPoint(30, 30)});
  v->UnSelAllObjects();
  v->AddSelObject(p);
  Drag(v, {TPoint(30, 30), TPoint(32, 34), TPoint(34, 38)});
  EXPECT_EQ(v->ObjUndoCount(), 1) << "a point moved";
  Press(v, 20, 10);
  Release(v, 20, 10);
  EXPECT_EQ(v->ObjUndoCount(), 2) << "a point inserted";
  Click(v, 20, 10, gmkCtrl);
  EXPECT_EQ(v->ObjUndoCount(), 3) << "a point deleted";
  EXPECT_EQ(v->GetObj(p)->Points.size(), 3u);
}

TEST_F(VectMouseTest, HoveringShowsTheGripsCursorAndReportsTheObject) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  v->SetMaxHitDistance(3);
  const Integer h = AddBox(v, 40, 40, 100, 80);
  v->AddSelObject(h);
  std::vector<Integer> over, clicked;
  v->OnObjectOver = [&](TObject*, Integer o) { over.push_back(o); };
  v->OnObjectClick = [&](TObject*, Integer o) { clicked.push_back(o); };
  struct TCase {
    TPoint At;
    TCursor Cursor;
  };
  const TCursor resting = v->RestingCursor();
  for (const TCase& c : {TCase{TPoint(40, 40), 1786}, TCase{TPoint(100, 80), 1786}, TCase{TPoint(70, 60), 1790},
                         TCase{TPoint(40, 60), 1789}, TCase{TPoint(70, 80), 1787}, TCase{TPoint(100, 40), 1788},
                         TCase{TPoint(160, 120), resting}}) {
    Move(v, c.At.X, c.At.Y, 0, gmbNone);
    EXPECT_EQ(v->Cursor(), c.Cursor) << c.At.X << "," << c.At.Y;
  }
  EXPECT_FALSE(over.empty());
  EXPECT_EQ(over.front(), h);
  Click(v, 70, 60);
  EXPECT_EQ(clicked, std::vector<Integer>{h});
}

TEST_F(VectMouseTest, SettingTheBaseInteractionsEndsAnUnfinishedPolyline) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viPutPolyline, viMeasureArea, viNoClickCreate});
  Click(v, 10, 10);
  Click(v, 50, 10);
  ASSERT_EQ(v->CreatingKind(), vkPolyline);
  v->SetMouseInteract(TIEMouseInteract{miZoom});
  EXPECT_EQ(v->VectorInteract(), (VI{viMeasureArea, viNoClickCreate}));
  EXPECT_EQ(v->CreatingKind(), vkNone);
  // The polyline stays with the points it has; the next click makes nothing.
  ASSERT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(v->GetObj(0)->Points.size(), 2u);
  v->SetMouseInteract(TIEMouseInteract{});
  Click(v, 90, 90);
  EXPECT_EQ(v->ObjectsCount(), 1);
}

}  // namespace test_vect_gestures_tests
