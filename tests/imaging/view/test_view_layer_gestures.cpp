// Layers resized and rotated with the mouse: every grip with and without
// the proportional constraint, the rotation snap, the events and the
// cursors around a layer's rotation centre.
#include <utility>
#include <vector>

#include "view_test_util.h"

namespace test_view_layer_gestures_tests {

using namespace view_test;

namespace {

class TGestureTest : public ViewTest {
 protected:
  // A W x H picture in a view of the same size (client = image pixels) with
  // a 40 x 20 layer at (100, 100), current.
  TZiduzUvView* Make(Integer W, Integer H, TIEMouseInteract Interact) {
    TZiduzUvView* v = MakeView(W, H);
    SetPicture(v, W, H);
    v->AddLayer();
    EXPECT_TRUE(v->GetIEBitmap()->Allocate(40, 20, ie24RGB));
    v->GetCurrentLayer()->PosX = 100;
    v->GetCurrentLayer()->PosY = 100;
    v->SetMouseInteract(Interact);
    v->Repaint();
    GtTestPump(5);
    return v;
  }
};

TEST_F(TGestureTest, ResizeWithEachGrip) {
  struct TCase {
    TIEGrip Grip;
    bool Alt;
    Integer PosX, PosY, Width, Height;
  };
  // Each grip is pressed on its own point and dragged by (10, 6).
  const TCase cases[] = {
      {ieTopLeft, false, 110, 106, 30, 14},     {ieTopRight, false, 100, 106, 50, 14},
      {ieBottomRight, false, 100, 100, 50, 26}, {ieBottomLeft, false, 110, 100, 30, 26},
      {ieLeftSide, false, 110, 100, 30, 20},    {ieRightSide, false, 100, 100, 50, 20},
      {ieTopSide, false, 100, 106, 40, 14},     {ieBottomSide, false, 100, 100, 40, 26},
      // With Alt the other coordinate follows the picture's proportion 1:2;
      // the sides act as corners.
      {ieTopLeft, true, 110, 105, 30, 15},      {ieTopRight, true, 100, 95, 50, 25},
      {ieBottomRight, true, 100, 100, 50, 25},  {ieBottomLeft, true, 110, 100, 30, 15},
      {ieLeftSide, true, 110, 100, 30, 15},     {ieRightSide, true, 100, 100, 50, 25},
      {ieTopSide, true, 112, 106, 28, 14},      {ieBottomSide, true, 100, 100, 52, 26},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Grip) << (c.Alt ? " with Alt" : ""));
    TZiduzUvView* v = Make(300, 300, TIEMouseInteract{miResizeLayers});
    TRect r[8];
    v->GetLayerGripRects(1, r);
    const Integer x = (r[c.Grip - 1].Left + r[c.Grip - 1].Right) / 2, y = (r[c.Grip - 1].Top + r[c.Grip - 1].Bottom) / 2;
    ASSERT_EQ(v->FindLayerGrip(x, y), c.Grip);
    std::vector<TIELayerEvent> events;
    v->OnLayerNotify = [&](TObject*, Integer, TIELayerEvent E) { events.push_back(E); };
    const Cardinal mods = c.Alt ? Cardinal(gmkAlt) : 0;
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, x, y, mods));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbLeft, x + 10, y + 6, mods));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, x + 10, y + 6, mods));
    TIELayer* l = v->GetCurrentLayer();
    EXPECT_EQ(l->PosX, c.PosX);
    EXPECT_EQ(l->PosY, c.PosY);
    EXPECT_EQ(l->GetWidth(), c.Width);
    EXPECT_EQ(l->GetHeight(), c.Height);
    // The picture itself keeps its size until the sizes are fixed.
    EXPECT_EQ(l->Bitmap->Width(), 40);
    EXPECT_EQ(events, (std::vector<TIELayerEvent>{ielResizing, ielResized}));
    delete v;
  }
}

TEST_F(TGestureTest, RotationSnapsWithShift) {
  struct TCase {
    Integer FromX, ToX;
    bool Shift;
    double Angle;
  };
  // Below the centre's row the horizontal move turns the layer by a
  // quarter of its image pixels; Shift truncates to multiples of 45.
  const TCase cases[] = {{100, 500, true, 90}, {600, 200, true, -90}, {100, 500, false, 100}, {100, 260, true, 0}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.FromX << " -> " << c.ToX);
    TZiduzUvView* v = Make(700, 500, TIEMouseInteract{miRotateLayers});
    std::vector<TIELayerEvent> events;
    v->OnLayerNotify = [&](TObject*, Integer, TIELayerEvent E) { events.push_back(E); };
    const Cardinal mods = c.Shift ? Cardinal(gmkShift) : 0;
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, c.FromX, 400, mods));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbLeft, c.ToX, 400, mods));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, c.ToX, 400, mods));
    EXPECT_DOUBLE_EQ(v->GetCurrentLayer()->Rotate(), c.Angle);
    EXPECT_EQ(events, (std::vector<TIELayerEvent>{ielRotating, ielRotated}));
    delete v;
  }
}

TEST_F(TGestureTest, CursorsAroundTheRotationCentre) {
  TZiduzUvView* v = Make(400, 400, TIEMouseInteract{miRotateLayers});
  // The layer's centre is at (120, 110).
  ASSERT_EQ(v->LayerRotationCentre(1), TPoint(120, 110));
  struct TCase {
    Integer X, Y;
    TCursor Cursor;
  };
  for (const TCase c : {TCase{50, 50, 1814}, TCase{50, 300, 1811}, TCase{300, 50, 1812}, TCase{300, 300, 1813},
                        TCase{110, 105, 1785}}) {
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaMove, gmbNone, c.X, c.Y));
    EXPECT_EQ(v->Cursor(), c.Cursor) << c.X << "," << c.Y;
  }
  delete v;
}

}  // namespace

}  // namespace test_view_layer_gestures_tests
