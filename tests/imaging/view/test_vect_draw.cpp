// Drawing vector objects: pen widths at zoom, line-end triangles, polyline
// placement, and-fill against ImageMagick, crisp shapes without
// antialiasing, the drawing events, burning into pictures of other formats,
// and renders of the layers that must not carry grips.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging/view/ievect.h"
#include "tests/imaging/view/view_test_util.h"
#include "tests/support/files.h"
#include "tests/support/pnm.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "platform/ui/testsupport.h"

namespace vect_draw_tests {

class VectDraw : public view_test::ViewTest {
 protected:
  TZiduzUvVect* MakeVect(Integer W = 200, Integer H = 150) {
    auto* v = new TZiduzUvVect(Form.get());
    v->SetBorderStyle(bsNone);
    v->SetParent(Form.get());
    v->SetBounds(0, 0, W, H);
    v->HandleNeeded();
    return v;
  }
  static void Fill(TIEBitmap& B, Integer W, Integer H, Byte V) {
    ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
    for (Integer y = 0; y < H; ++y) std::memset(B.GetScanline(y), V, size_t(W) * 3);
  }
  static const Byte* Px(TIEBitmap& B, Integer X, Integer Y) {
    return static_cast<const Byte*>(B.GetScanline(Y)) + X * 3;
  }
  static bool IsColour(TIEBitmap& B, Integer X, Integer Y, Byte Bl, Byte G, Byte R) {
    const Byte* p = Px(B, X, Y);
    return p[0] == Bl && p[1] == G && p[2] == R;
  }
};

TEST_F(VectDraw, DrawnPenWidthFollowsTheZoom) {
  TZiduzUvVect* v = MakeVect();
  struct Case {
    double Zoom;
    Integer Width, Expected;
  };
  const Case cases[] = {{0.5, 3, 2}, {0.1, 3, 1}, {1, 3, 3}, {2, 3, 6}, {1.5, 1, 2}};
  for (const Case& c : cases) EXPECT_EQ(v->DrawnPenWidthFor(c.Zoom, c.Zoom, c.Width), c.Expected) << c.Zoom;
  EXPECT_EQ(v->DrawnPenWidthFor(0.5, 2, 3), 2);  // the smaller factor
  v->SetZoomObjectsWidth(false);
  EXPECT_EQ(v->DrawnPenWidthFor(0.1, 0.1, 3), 3);
}

TEST_F(VectDraw, LineEndTriangles) {
  struct Case {
    TIEVectLineEnd Shape;
    TPoint E, O;
    TPoint Expected[3];
  };
  const Case cases[] = {
      {leArrow, TPoint(100, 0), TPoint(0, 0), {TPoint(80, 5), TPoint(80, -5), TPoint(100, 0)}},
      {leArrow, TPoint(100, 100), TPoint(0, 0), {TPoint(89, 83), TPoint(83, 89), TPoint(100, 100)}},
      {leArrow, TPoint(0, 100), TPoint(0, 0), {TPoint(5, 80), TPoint(-5, 80), TPoint(0, 100)}},
      {leReverseArrow, TPoint(100, 0), TPoint(0, 0), {TPoint(100, 5), TPoint(100, -5), TPoint(80, 0)}},
  };
  for (const Case& c : cases) {
    TPoint t[3];
    IEVectLineEndTriangle(c.Shape, c.E, c.O, 10, 20, t);
    // The two base corners may come in either order.
    if (t[0] != c.Expected[0]) std::swap(t[0], t[1]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t[i], c.Expected[i]) << c.E.X << "," << c.E.Y << " corner " << i;
  }
}

TEST_F(VectDraw, PolylinePointsAreMappedFromTheirBox) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject o;
  o.Kind = vkPolyline;
  o.X1 = 100, o.Y1 = 100, o.X2 = 120, o.Y2 = 140;
  o.Points = {TPoint(0, 0), TPoint(5, 5), TPoint(10, 10)};
  o.PointsBox = TRect(0, 0, 10, 10);
  const Integer h = v->AddObject(o);
  TIEBitmap target;
  Fill(target, 160, 160, 255);
  v->SetObjAntialias(false);
  v->DrawObjects(&target, true, false, h, false);
  const TIEVectObject* n = v->GetObj(h);
  ASSERT_EQ(n->ScreenPoints.size(), 3u);
  EXPECT_EQ(n->ScreenPoints[1], TPoint(110, 120));
  EXPECT_EQ(n->ScreenPoints[2], TPoint(120, 140));
}

TEST_F(VectDraw, BoxWithoutAntialiasHasExactCorners) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 10, o.Y1 = 20, o.X2 = 40, o.Y2 = 30;
  o.PenColor = 0x0000FF;  // red
  o.BrushStyle = bsClear;
  v->AddObject(o);
  TIEBitmap target;
  Fill(target, 60, 50, 255);
  v->DrawObjects(&target, true, false, IEV_ALL, false);
  for (TPoint c : {TPoint(10, 20), TPoint(40, 20), TPoint(10, 30), TPoint(40, 30), TPoint(25, 20), TPoint(40, 25)})
    EXPECT_TRUE(IsColour(target, c.X, c.Y, 0, 0, 255)) << c.X << "," << c.Y;
  for (TPoint c : {TPoint(9, 20), TPoint(41, 30), TPoint(25, 25), TPoint(10, 31)})
    EXPECT_TRUE(IsColour(target, c.X, c.Y, 255, 255, 255)) << c.X << "," << c.Y;
  const TRect& ext = v->GetObj(0)->DrawnExtent;
  EXPECT_EQ(ext, TRect(10, 20, 41, 31));
}

TEST_F(VectDraw, AndFillMasksEveryChannelLikeImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  gt_test::TempDir dir("vectand");
  // A picture with varied channels, made by ImageMagick, masked by it too.
  ASSERT_EQ(gt_test::Shell("convert -size 16x12 gradient:'#13C6A0'-'#F25A3E' -depth 8 " + dir.File("in.ppm")), 0);
  TIEBitmap picture, ref;
  gt_test::Pnm in, out;
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("in.ppm"), in));
  ASSERT_TRUE(gt_test::LoadPnm(in, picture));
  // Per channel: red AND 0x5A, green AND 0xF0, blue AND 0xC3. ImageMagick
  // holds 8-bit samples scaled to its quantum (v * 257 at 16 bits), and the
  // same scaling of the operand gives the 8-bit AND scaled alike.
  int status = 0;
  const std::string q = gt_test::Capture("convert xc: -format %q info:", &status);
  ASSERT_EQ(status, 0);
  const int scale = q == "16" ? 257 : q == "8" ? 1 : 0;
  ASSERT_NE(scale, 0) << q;
  auto op = [&](int M) { return std::to_string(M * scale); };
  ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -channel R -evaluate And " + op(0x5A) +
                           " -channel G -evaluate And " + op(0xF0) + " -channel B -evaluate And " + op(0xC3) +
                           " +channel -depth 8 " + dir.File("ref.ppm")),
            0);
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("ref.ppm"), out));
  ASSERT_TRUE(gt_test::LoadPnm(out, ref));

  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 0, o.Y1 = 0, o.X2 = 15, o.Y2 = 11;
  o.AndFill = true;
  o.BrushColor = 0xC3F05A;  // red 0x5A, green 0xF0, blue 0xC3
  v->AddObject(o);
  v->DrawObjects(&picture, true, false, IEV_ALL, false);
  for (Integer y = 0; y < 12; ++y)
    ASSERT_EQ(std::memcmp(picture.GetScanline(y), ref.GetScanline(y), 16 * 3), 0) << "row " << y;
}

TEST_F(VectDraw, HandledObjectsStillReachTheAfterEvent) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 2, o.Y1 = 2, o.X2 = 8, o.Y2 = 8;
  o.PenColor = 0;
  v->AddObject(o);
  int before = 0, after = 0;
  v->OnBeforeDrawObject = [&](TObject*, Integer, TBitmap*, const TRect&, bool, bool& Handled) {
    ++before;
    Handled = true;
  };
  v->OnAfterDrawObject = [&](TObject*, Integer, TBitmap*, const TRect&, bool, bool& Handled) {
    ++after;
    EXPECT_TRUE(Handled);
  };
  TIEBitmap target;
  Fill(target, 12, 12, 255);
  v->DrawObjects(&target, true, false, IEV_ALL, false);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  EXPECT_TRUE(IsColour(target, 2, 2, 255, 255, 255));
}

TEST_F(VectDraw, TextWithoutTextStillDrawsItsBox) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject o(*v->GetObj(IEV_TEMPLATE));
  o.Kind = vkText;
  o.X1 = 3, o.Y1 = 3, o.X2 = 20, o.Y2 = 12;
  o.PenColor = 0x00FF00;
  v->AddObject(o);
  TIEBitmap target;
  Fill(target, 30, 20, 255);
  v->DrawObjects(&target, true, false, IEV_ALL, false);
  EXPECT_TRUE(IsColour(target, 3, 3, 0, 255, 0));
  EXPECT_TRUE(IsColour(target, 20, 12, 0, 255, 0));
}

TEST_F(VectDraw, AnglesAndRulersDrawWhatIsPlaced) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject a(*v->GetObj(IEV_TEMPLATE));
  a.Kind = vkAngle;
  a.PenColor = 0;
  a.AnglePoints[0] = TPoint(10, 10);
  a.AnglePoints[1] = TPoint(30, 10);
  a.AnglePoints[2] = TPoint(-1000000, 0);
  const Integer ha = v->AddObject(a);
  TIEBitmap target;
  Fill(target, 60, 60, 255);
  v->DrawObjects(&target, true, false, ha, false);
  // The first arm only, and no text: the extent is that segment.
  EXPECT_EQ(v->GetObj(ha)->DrawnExtent, TRect(10, 10, 30, 10));
  EXPECT_TRUE(IsColour(target, 20, 10, 0, 0, 0));
  v->GetObj(ha)->AnglePoints[2] = TPoint(30, 40);
  v->DrawObjects(&target, true, false, ha, false);
  EXPECT_GT(v->GetObj(ha)->DrawnExtent.Right, 30);  // the text right of the vertex
  EXPECT_TRUE(IsColour(target, 30, 25, 0, 0, 0));

  TIEVectObject r(*v->GetObj(IEV_TEMPLATE));
  r.Kind = vkRuler;
  r.RulerType = rtScale;
  r.RulerUnit = ieuINCHES;
  r.PenColor = 0;
  r.X1 = 5, r.Y1 = 50, r.X2 = 55, r.Y2 = 50;
  v->SetDpi(100, 100);
  const Integer hr = v->AddObject(r);
  Fill(target, 60, 60, 255);
  v->DrawObjects(&target, true, false, hr, false);
  // Ticks every 10 pixels, the whole-unit ones 12 pixels to each side.
  EXPECT_TRUE(IsColour(target, 15, 44, 0, 0, 0));
  EXPECT_TRUE(IsColour(target, 5, 38, 0, 0, 0));
  EXPECT_TRUE(IsColour(target, 10, 44, 255, 255, 255));
}

TEST_F(VectDraw, BurningIntoOtherFormatsChangesOnlyTheDrawnPixels) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAntialias(false);
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 2, o.Y1 = 2, o.X2 = 6, o.Y2 = 5;
  o.PenColor = 0xFFFFFF;
  v->AddObject(o);

  // 48-bit colour with values no 8-bit round trip keeps.
  TIEBitmap deep;
  ASSERT_TRUE(deep.Allocate(10, 8, ieRGB48));
  for (Integer y = 0; y < 8; ++y) {
    uint16_t* r = static_cast<uint16_t*>(deep.GetScanline(y));
    for (Integer i = 0; i < 30; ++i) r[i] = uint16_t(0x1234 + 37 * i + 1001 * y);
  }
  TIEBitmap original;
  original.AssignImage(&deep);
  v->DrawObjectsOnBitmap(&deep, false, IEV_ALL);
  EXPECT_EQ(deep.PixelFormat(), ieRGB48);
  Integer changed = 0;
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 0; x < 10; ++x) {
      const bool same = std::memcmp(static_cast<uint16_t*>(deep.GetScanline(y)) + 3 * x,
                                    static_cast<uint16_t*>(original.GetScanline(y)) + 3 * x, 6) == 0;
      const bool onOutline = (x == 2 || x == 6 || y == 2 || y == 5) && x >= 2 && x <= 6 && y >= 2 && y <= 5;
      if (!onOutline) {
        EXPECT_TRUE(same) << x << "," << y;
      } else {
        ++changed;
        EXPECT_EQ(static_cast<uint16_t*>(deep.GetScanline(y))[3 * x], 0xFFFF) << x << "," << y;
      }
    }
  EXPECT_EQ(changed, 14);

  // A paletted picture stays paletted and keeps every index off the outline.
  TIEBitmap pal;
  ASSERT_TRUE(pal.Allocate(10, 8, ie8p));
  for (Integer i = 0; i < 4; ++i) pal.SetPaletteColor(i, TRGB{Byte(i * 60), Byte(255 - i * 60), 7});
  pal.SetPaletteColor(4, TRGB{255, 255, 255});
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 0; x < 10; ++x) static_cast<Byte*>(pal.GetScanline(y))[x] = Byte((x + y) % 4);
  v->DrawObjectsOnBitmap(&pal, false, IEV_ALL);
  EXPECT_EQ(pal.PixelFormat(), ie8p);
  EXPECT_EQ(static_cast<Byte*>(pal.GetScanline(2))[2], 4);
  EXPECT_EQ(static_cast<Byte*>(pal.GetScanline(3))[3], (3 + 3) % 4);
  EXPECT_EQ(static_cast<Byte*>(pal.GetScanline(7))[9], (9 + 7) % 4);
}

TEST_F(VectDraw, RenderedLayersCarryObjectsButNoGrips) {
  TZiduzUvVect* v = MakeVect();
  view_test::ViewTest::SetPicture(v, 40, 30);
  v->GetIEBitmap()->Fill(0xFFFFFF);
  v->SetObjAntialias(false);
  TIEVectObject o;
  o.Kind = vkBox;
  o.X1 = 10, o.Y1 = 10, o.X2 = 20, o.Y2 = 20;
  o.PenColor = 0;
  v->AddObject(o);
  v->AddSelObject(0);
  TIEBitmap flat;
  v->RenderLayersTo(&flat);
  ASSERT_EQ(flat.Width(), 40);
  ASSERT_EQ(flat.PixelFormat(), ie24RGB);
  EXPECT_TRUE(IsColour(flat, 10, 10, 0, 0, 0));
  EXPECT_TRUE(IsColour(flat, 20, 20, 0, 0, 0));
  // Nothing but white and the black outline: no grip anywhere.
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) {
      const Byte* p = Px(flat, x, y);
      ASSERT_TRUE((p[0] == 0 && p[1] == 0 && p[2] == 0) || (p[0] == 255 && p[1] == 255 && p[2] == 255))
          << x << "," << y;
    }
}


TEST_F(VectDraw, FastModeWhileTheButtonIsHeldThenAFullRedraw) {
  TZiduzUvVect* v = MakeVect(100, 100);
  view_test::ViewTest::SetPicture(v, 100, 100);
  v->GetIEBitmap()->Fill(0xFFFFFF);
  TIEVectObject o;
  o.Kind = vkLine;
  o.X1 = 5, o.Y1 = 10, o.X2 = 90, o.Y2 = 47;
  o.PenColor = 0;
  o.PenWidth = 2;
  v->AddObject(o);
  // Pixels of the back buffer that are neither white nor black: the soft
  // edges of an antialiased line.
  auto soft = [&] {
    v->Update();
    v->Repaint();
    GtTestPump(5);
    TIEBitmap* bb = v->BackBuffer();
    Integer n = 0;
    for (Integer y = 0; y < 100 && bb; ++y)
      for (Integer x = 0; x < 100; ++x) {
        const Byte* p = Px(*bb, x, y);
        n += !((p[0] == 0 && p[1] == 0 && p[2] == 0) || (p[0] == 255 && p[1] == 255 && p[2] == 255));
      }
    return n;
  };
  ASSERT_GT(soft(), 20);
  EXPECT_FALSE(v->FastDrawing());

  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, 95, 95));
  EXPECT_EQ(soft(), 0);
  EXPECT_TRUE(v->FastDrawing());
  ASSERT_NE(v->DrawingTimer(), nullptr);
  EXPECT_TRUE(v->DrawingTimer()->Enabled());
  EXPECT_EQ(v->DrawingTimer()->Interval(), 50u);
  // Ticks while the button is still held change nothing.
  GtTestPump(120);
  EXPECT_TRUE(v->FastDrawing());
  EXPECT_EQ(soft(), 0);

  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, 95, 95));
  EXPECT_TRUE(GtTestPumpUntil([&] { return !v->FastDrawing(); }, 2000));
  EXPECT_FALSE(v->DrawingTimer()->Enabled());
  EXPECT_GT(soft(), 20);

  // A view that may not draw fast stays at full quality during a drag.
  v->SetFastDrawDuringDrag(false);
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, 95, 95));
  EXPECT_GT(soft(), 20);
  ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, 95, 95));
}

}  // namespace vect_draw_tests
