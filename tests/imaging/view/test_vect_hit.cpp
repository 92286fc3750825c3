// Hit-testing and creating vector objects with the mouse: the distance of a
// point to every kind, the object a click finds, click and drag creation,
// angles by three clicks, polylines by clicks and freehand.
#include <cmath>

#include "tests/imaging/view/vect_mouse_util.h"

namespace test_vect_hit_tests {

using vect_mouse_test::VectMouseTest;
using VI = TIEVectorInteract;

TEST_F(VectMouseTest, DistanceOfAPointToEveryKind) {
  TZiduzUvVect* v = MakeVect();
  struct TCase {
    const char* Name;
    TIEVectKind Kind;
    TRect R;
    Integer Pen;
    TBrushStyle Brush;
    TPoint At;
    double Want;
  };
  const TRect box(10, 10, 50, 40);
  const TRect line(0, 0, 100, 0);
  const TCase cases[] = {
      {"line", vkLine, line, 1, bsClear, TPoint(50, 5), 5},
      {"wide line less half its pen", vkLine, line, 4, bsClear, TPoint(50, 5), 3},
      {"point inside a very wide line", vkLine, line, 20, bsClear, TPoint(50, 5), 0},
      {"ruler ignores its pen", vkRuler, line, 10, bsClear, TPoint(50, 5), 5},
      {"unfilled box from inside", vkBox, box, 1, bsClear, TPoint(30, 25), 15},
      {"filled box from inside", vkBox, box, 1, bsSolid, TPoint(30, 25), 0},
      {"box from outside", vkBox, box, 1, bsSolid, TPoint(60, 25), 10},
      {"text is filled", vkText, box, 1, bsClear, TPoint(30, 25), 0},
      {"memo is filled", vkMemo, box, 1, bsClear, TPoint(30, 25), 0},
      {"custom is filled", vkCustom, box, 1, bsClear, TPoint(30, 25), 0},
      {"filled ellipse", vkEllipse, TRect(0, 0, 100, 100), 1, bsSolid, TPoint(50, 50), 0},
      {"unfilled ellipse from its centre", vkEllipse, TRect(0, 0, 100, 100), 1, bsClear, TPoint(50, 50), 49},
      {"an arc is never filled", vkArc, TRect(0, 0, 100, 100), 1, bsSolid, TPoint(50, 50), 49},
      {"no kind", vkNone, box, 1, bsSolid, TPoint(30, 25), -1},
      {"unknown kind", TIEVectKind(13), box, 1, bsSolid, TPoint(30, 25), -1},
  };
  for (const TCase& c : cases) {
    TIEVectObject o;
    o.Kind = c.Kind;
    o.X1 = c.R.Left, o.Y1 = c.R.Top, o.X2 = c.R.Right, o.Y2 = c.R.Bottom;
    o.PenWidth = c.Pen;
    o.BrushStyle = c.Brush;
    EXPECT_NEAR(v->GetObjDistance(&o, c.At.X, c.At.Y), c.Want, 1.0) << c.Name;
  }
  // An unfilled box counts as filled when asked to.
  TIEVectObject b;
  b.Kind = vkBox;
  b.X1 = 10, b.Y1 = 10, b.X2 = 50, b.Y2 = 40;
  v->SetBoxAlwaysHit(true);
  EXPECT_EQ(v->GetObjDistance(&b, 30, 25), 0);

  // A polyline: open it is its outline, closed and filled its inside too.
  const Integer p = AddPolyline(v, {TPoint(10, 10), TPoint(50, 10), TPoint(50, 50)});
  TIEVectObject* pl = v->GetObj(p);
  EXPECT_NEAR(v->GetObjDistance(pl, 40, 20), 10, 0.5);
  pl->Closed = true;
  pl->BrushStyle = bsSolid;
  EXPECT_EQ(v->GetObjDistance(pl, 40, 20), 0);
  EXPECT_NEAR(v->GetObjDistance(pl, 30, 0), 10, 0.5);
  // A stretched polyline is measured where it is drawn.
  pl->X2 = 10 + 2 * 40;
  pl->Closed = false;
  EXPECT_NEAR(v->GetObjDistance(pl, 90, 30), 0, 0.5);
  // An angle: only its placed points count.
  TIEVectObject a;
  a.Kind = vkAngle;
  a.AnglePoints[0] = TPoint(10, 10);
  a.AnglePoints[1] = TPoint(50, 50);
  a.AnglePoints[2] = TPoint(-1000000, -1000000);
  EXPECT_NEAR(v->GetObjDistance(&a, 50, 10), 40 / std::sqrt(2.0), 0.5);
}

TEST_F(VectMouseTest, ATransparentPixelOfAZeroWidthBitmapIsMissedWithoutDividingByZero) {
  TZiduzUvVect* v = MakeVect();
  TIEBitmap pic;
  ASSERT_TRUE(pic.Allocate(4, 4, ie24RGB));
  pic.Fill(0xFF0000);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x) pic.SetAlpha(x, y, x == 0 ? 0 : 255);
  TIEVectObject o;
  o.Kind = vkBitmap;
  o.X1 = 40, o.Y1 = 10, o.X2 = 80, o.Y2 = 50;
  const Integer h = v->AddObject(o);
  v->SetObjBitmap(h, &pic);
  TIEVectObject* b = v->GetObj(h);
  // Column 0 of the picture is transparent, the others opaque.
  EXPECT_EQ(v->GetObjDistance(b, 42, 20), 1000);
  EXPECT_EQ(v->GetObjDistance(b, 75, 20), 0);
  v->SetBitmapAlphaHitTest(false);
  EXPECT_EQ(v->GetObjDistance(b, 42, 20), 0);
  v->SetBitmapAlphaHitTest(true);
  // Collapsed to zero width or height: every point maps to column or row 0.
  b->X2 = b->X1;
  EXPECT_EQ(v->GetObjDistance(b, 40, 20), 1000);
  b->X2 = 80;
  b->Y2 = b->Y1;
  EXPECT_EQ(v->GetObjDistance(b, 75, 10), 0);
}

TEST_F(VectMouseTest, TheUpperOfEquallyNearObjectsWinsAndUnknownKindsNever) {
  TZiduzUvVect* v = MakeVect();
  const Integer lower = AddBox(v, 10, 10, 80, 80);
  const Integer upper = AddBox(v, 40, 40, 120, 120);
  double d = -1;
  EXPECT_EQ(v->FindObjectAt(60, 60, d, true), upper);
  EXPECT_EQ(d, 0);
  EXPECT_EQ(v->FindObjectAt(20, 20, d, true), lower);
  // An object of a kind the view does not know lies on top of both, and its
  // distance of -1 would be the smallest.
  AddBox(v, 0, 0, 199, 149, bsSolid, TIEVectKind(40));
  EXPECT_EQ(v->FindObjectAt(60, 60, d, true), upper);
  // Hidden and unselectable objects.
  v->GetObj(upper)->Style &= Byte(~vsVisible);
  EXPECT_EQ(v->FindObjectAt(60, 60, d, true), lower);
  v->GetObj(lower)->Style &= Byte(~vsSelectable);
  EXPECT_EQ(v->FindObjectAt(60, 60, d, true), IEV_ALL);
  EXPECT_EQ(v->FindObjectAt(60, 60, d, false), lower);
}

TEST_F(VectMouseTest, ClickSelectsWithinTheHitDistance) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viEdit});
  const Integer h = AddBox(v, 50, 50, 80, 80);
  // Without a limit the nearest object is found however far.
  Click(v, 150, 120);
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{h});
  v->SetMaxHitDistance(10);
  Click(v, 91, 65);
  EXPECT_TRUE(v->SelObjects().empty());
  Click(v, 90, 65);
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{h});
  // Shift-click on empty space keeps the selection; on the object removes it.
  Integer deselected = -1;
  v->OnUserDeselectObject = [&](TObject*, Integer o) { deselected = o; };
  Click(v, 150, 20, gmkShift);
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{h});
  Click(v, 65, 65, gmkShift);
  EXPECT_TRUE(v->SelObjects().empty());
  EXPECT_EQ(deselected, h);
}

TEST_F(VectMouseTest, ClickAndDragCreateBoxes) {
  struct TCase {
    const char* Name;
    bool NoClickCreate, Center;
    std::string Want;
  };
  const TCase cases[] = {
      {"template size at the click", false, false, "100,80,163,143"},
      {"centred on the click", false, true, "69,49,132,112"},
      {"no click creation", true, false, "none"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvVect* v = MakeVect();
    VI vi{viPutBox};
    if (c.NoClickCreate) vi.Include(viNoClickCreate);
    v->SetVectorInteract(vi);
    v->SetCenterNewObjects(c.Center);
    std::vector<Integer> made;
    v->OnNewObject = [&](TObject*, Integer h) { made.push_back(h); };
    Click(v, 100, 80);
    EXPECT_EQ(RectOf(v, 0), c.Want);
    EXPECT_EQ(made.size(), c.NoClickCreate ? 0u : 1u);
    if (!c.NoClickCreate) {
      EXPECT_EQ(v->SelObjects(), std::vector<Integer>{0});
      EXPECT_EQ(v->GetObj(0)->Kind, vkBox);
    }
    delete v;
  }
  // A drag makes the box it spans, and the template keeps that size for the
  // next click; the drag works even with click creation off.
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viPutBox, viNoClickCreate});
  Drag(v, {TPoint(60, 40), TPoint(30, 30), TPoint(10, 10)});
  EXPECT_EQ(RectOf(v, 0), "10,10,60,40");
  v->SetVectorInteract(VI{viPutEllipse});
  Click(v, 100, 100);
  EXPECT_EQ(RectOf(v, 1), "100,100,150,130");
  EXPECT_EQ(v->GetObj(1)->Kind, vkEllipse);
  // A line keeps its direction; Ctrl snaps it to 45 degrees.
  v->SetVectorInteract(VI{viPutLine});
  Drag(v, {TPoint(150, 100), TPoint(120, 90), TPoint(100, 95)});
  EXPECT_EQ(RectOf(v, 2), "150,100,100,95");
  Drag(v, {TPoint(20, 100), TPoint(50, 90), TPoint(60, 98)}, gmkCtrl);
  EXPECT_EQ(RectOf(v, 3), "20,100,60,100");
  EXPECT_EQ(v->ObjectsCount(), 4);
}

TEST_F(VectMouseTest, ThreeClicksPlaceOneAngle) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viPutAngle});
  std::vector<Integer> made;
  v->OnNewObject = [&](TObject*, Integer h) { made.push_back(h); };
  Click(v, 10, 10);
  Click(v, 50, 50);
  EXPECT_EQ(v->CreatingKind(), vkAngle);
  EXPECT_TRUE(made.empty());
  Click(v, 90, 10);
  ASSERT_EQ(v->ObjectsCount(), 1);
  EXPECT_EQ(made, std::vector<Integer>{0});
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{0});
  EXPECT_EQ(v->CreatingKind(), vkNone);
  const TIEVectObject* a = v->GetObj(0);
  EXPECT_EQ(a->Kind, vkAngle);
  EXPECT_EQ(a->AnglePoints[0], TPoint(10, 10));
  EXPECT_EQ(a->AnglePoints[1], TPoint(50, 50));
  EXPECT_EQ(a->AnglePoints[2], TPoint(90, 10));
  EXPECT_EQ(RectOf(v, 0), "10,10,90,90");
  // A fourth click starts the next angle.
  Click(v, 120, 120);
  EXPECT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(made.size(), 1u);
}

TEST_F(VectMouseTest, PolylinesByClicksAndFreehand) {
  TZiduzUvVect* v = MakeVect();
  v->SetVectorInteract(VI{viPutPolyline});
  std::vector<Integer> made;
  v->OnNewObject = [&](TObject*, Integer h) { made.push_back(h); };
  Click(v, 10, 10);
  Click(v, 50, 10);
  Click(v, 50, 50);
  EXPECT_EQ(v->CreatingKind(), vkPolyline);
  DoubleClick(v, 80, 50);
  EXPECT_EQ(v->CreatingKind(), vkNone);
  ASSERT_EQ(v->ObjectsCount(), 1);
  const TIEVectObject* p = v->GetObj(0);
  const std::vector<TPoint> want{TPoint(10, 10), TPoint(50, 10), TPoint(50, 50), TPoint(80, 50)};
  EXPECT_EQ(p->Points, want);
  EXPECT_EQ(RectOf(v, 0), "10,10,80,50");
  EXPECT_EQ(made, std::vector<Integer>{0});
  EXPECT_EQ(v->SelObjects(), std::vector<Integer>{0});

  // Freehand, ended by the release: one point per move.
  v->SetPolylineEndMode(2);
  Drag(v, {TPoint(100, 100), TPoint(110, 105), TPoint(120, 115), TPoint(140, 130)});
  ASSERT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(v->GetObj(1)->Points.size(), 4u);
  EXPECT_EQ(RectOf(v, 1), "100,100,140,130");
  EXPECT_EQ(made, (std::vector<Integer>{0, 1}));
  EXPECT_EQ(v->CreatingKind(), vkNone);
}

}  // namespace test_vect_hit_tests
