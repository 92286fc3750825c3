// Shared fixture of the vector view's mouse and editing tests: a vector view
// whose client area shows its picture pixel for pixel at zoom 100, driven
// by synthetic window events.
#pragma once

#include <exception>  // winuser.h uses std::exception_ptr
#include <string>
#include <vector>

#include "imaging/view/ievect.h"
#include "platform/ui/winuser.h"
#include "tests/imaging/view/view_test_util.h"

namespace vect_mouse_test {

class VectMouseTest : public view_test::ViewTest {
 protected:
  TZiduzUvVect* MakeVect(Integer W = 200, Integer H = 150) {
    auto* v = MakeView<TZiduzUvVect>(W, H);
    SetPicture(v, W, H);
    v->Repaint();
    GtTestPump(5);
    return v;
  }
  static Integer AddBox(TZiduzUvVect* V, Integer X1, Integer Y1, Integer X2, Integer Y2,
                        TBrushStyle Brush = bsSolid, TIEVectKind Kind = vkBox) {
    TIEVectObject o;
    o.Kind = Kind;
    o.X1 = X1, o.Y1 = Y1, o.X2 = X2, o.Y2 = Y2;
    o.BrushStyle = Brush;
    return V->AddObject(o);
  }
  static Integer AddPolyline(TZiduzUvVect* V, std::vector<TPoint> Points) {
    TIEVectObject o;
    o.Kind = vkPolyline;
    o.X1 = o.Y1 = 1000000;
    o.X2 = o.Y2 = -1000000;
    const Integer h = V->AddObject(o);
    for (const TPoint& p : Points) V->AddPolylinePoint(h, p.X, p.Y);
    return h;
  }
  // A press that starts a gesture of its own: a middle click (which the
  // view ignores) first moves the synthetic clock past the double-click time.
  static void Press(TZiduzUvVect* V, Integer X, Integer Y, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestClick(V->Handle(), gmbMiddle, X, Y));
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaPress, gmbLeft, X, Y, Mods));
  }
  static void Move(TZiduzUvVect* V, Integer X, Integer Y, Cardinal Mods = 0, TGtMouseButton B = gmbLeft) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaMove, B, X, Y, Mods));
  }
  static void Release(TZiduzUvVect* V, Integer X, Integer Y, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaRelease, gmbLeft, X, Y, Mods));
  }
  static void Click(TZiduzUvVect* V, Integer X, Integer Y, Cardinal Mods = 0) {
    ASSERT_TRUE(GtTestClick(V->Handle(), gmbLeft, X, Y, Mods));
  }
  static void DoubleClick(TZiduzUvVect* V, Integer X, Integer Y) {
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaPress, gmbLeft, X, Y));
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaRelease, gmbLeft, X, Y));
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaDoubleClick, gmbLeft, X, Y));
    ASSERT_TRUE(GtTestMouse(V->Handle(), gmaRelease, gmbLeft, X, Y));
  }
  // A drag through the points with the button held, released at the last.
  static void Drag(TZiduzUvVect* V, std::vector<TPoint> Path, Cardinal Mods = 0) {
    Press(V, Path.front().X, Path.front().Y, Mods);
    for (size_t i = 1; i < Path.size(); ++i) Move(V, Path[i].X, Path[i].Y, Mods);
    Release(V, Path.back().X, Path.back().Y, Mods);
  }
  // "X1,Y1,X2,Y2" of an object, "none" for a handle that names none.
  static std::string RectOf(TZiduzUvVect* V, Integer hobj) {
    const TIEVectObject* o = V->GetObj(hobj);
    return o ? Str(o->X1, o->Y1, o->X2, o->Y2) : std::string("none");
  }
  static std::string Str(Integer A, Integer B, Integer C, Integer D) {
    return std::to_string(A) + "," + std::to_string(B) + "," + std::to_string(C) + "," + std::to_string(D);
  }
};

}  // namespace vect_mouse_test
