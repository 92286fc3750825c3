// Drawing vector objects: pen widths at zoom, line-end triangles, polyline
// placement, and-fill against ImageMagick, crisp shapes without
// antialiasing, the drawing events, burning into pictures of other formats,
// and renders of the layers that must not carry grips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "imaging/view/ievect.h"
#include "platform/base/strutils.h"
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
  TZiduzUvVect* MakeVect(Integer W = 200, Integer H = 150) { return MakeView<TZiduzUvVect>(W, H); }
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


// Shapes drawn without antialiasing against ImageMagick's aliased drawing of
// the same client-pixel geometry, at zoom 100 and 200: the extreme pixels
// (corners and ends) agree exactly, every other pixel lies within one pixel
// of the reference's ink and the other way round.
TEST_F(VectDraw, AliasedShapesMatchImageMagickAtZoom100And200) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  gt_test::TempDir dir("vectgold");
  // A 4 x 3 picture for the bitmap objects, blue, green, red, grey steps.
  TIEBitmap small;
  ASSERT_TRUE(small.Allocate(4, 3, ie24RGB));
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 4; ++x) {
      Byte* p = static_cast<Byte*>(small.GetScanline(y)) + x * 3;
      p[0] = Byte(x * 60), p[1] = Byte(y * 100), p[2] = Byte(200 - x * 40);
    }
  ASSERT_TRUE(gt_test::WritePnm(dir.File("small.ppm"), small));

  struct Case {
    const char* Name;
    TIEVectKind Kind;
    TRect R;  // image pixels
    bool Border = false, WithBitmap = false;
  };
  const Case cases[] = {
      {"line", vkLine, TRect(4, 5, 50, 31)},
      {"steep line", vkLine, TRect(30, 2, 22, 36)},
      {"box", vkBox, TRect(6, 4, 45, 30)},
      {"ellipse", vkEllipse, TRect(5, 6, 51, 33)},
      {"arc", vkArc, TRect(5, 3, 49, 35)},
      {"placeholder", vkBitmap, TRect(8, 5, 40, 30)},
      {"bitmap", vkBitmap, TRect(8, 5, 39, 28), false, true},
      {"bitmap with border", vkBitmap, TRect(8, 5, 39, 28), true, true},
      {"polyline", vkPolyline, TRect(5, 5, 45, 33)},
      {"line label", vkLineLabel, TRect(6, 30, 44, 8)},
  };
  for (Integer zoom : {100, 200}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + " at " + std::to_string(zoom));
      TZiduzUvVect* v = MakeVect(150, 100);
      view_test::ViewTest::SetPicture(v, 60, 40);
      v->SetObjAntialias(false);
      v->SetZoomObjectsWidth(false);
      v->SetZoom(zoom);
      TIEVectObject o(*v->GetObj(IEV_TEMPLATE));
      o.Kind = c.Kind;
      o.X1 = c.R.Left, o.Y1 = c.R.Top, o.X2 = c.R.Right, o.Y2 = c.R.Bottom;
      o.PenColor = 0;
      o.PenWidth = c.Border ? 2 : 1;
      o.BrushStyle = bsClear;
      o.Shadow.reset();
      o.ArcStart = 0.5, o.ArcEnd = 2.5;
      o.BitmapBorder = c.Border;
      o.Text = c.Kind == vkLineLabel ? "Label" : "";
      o.LabelBrushStyle = bsClear;
      o.Points = {TPoint(0, 0), TPoint(10, 6), TPoint(3, 9), TPoint(8, 2)};
      o.PointsBox = TRect(0, 0, 10, 9);
      const Integer h = v->AddObject(o);
      if (c.Kind == vkBitmap) {
        if (c.WithBitmap)
          v->SetObjBitmap(h, &small);
        else
          v->GetObj(h)->BitmapIndex = -1;
      }
      TIEBitmap ours;
      Fill(ours, 150, 100, 255);
      v->DrawObjects(&ours, false, false, h, false);
      const TIEVectObject* n = v->GetObj(h);

      // The same geometry for ImageMagick, in client pixels.
      auto X = [&](Integer I) { return v->ImageToClientX(I); };
      auto Y = [&](Integer I) { return v->ImageToClientY(I); };
      const Integer x1 = X(o.X1), y1 = Y(o.Y1), x2 = X(o.X2), y2 = Y(o.Y2);
      auto pt = [](Integer A, Integer B) { return std::to_string(A) + "," + std::to_string(B) + " "; };
      std::string draw, extra;
      TRect skip(0, 0, -1, -1);  // pixels left out of the comparison (text)
      switch (c.Kind) {
        case vkLine:
          draw = "line " + pt(x1, y1) + pt(x2, y2);
          break;
        case vkBox:
          draw = "rectangle " + pt(x1, y1) + pt(x2, y2);
          break;
        case vkEllipse:
        case vkArc: {
          // Ours is the ellipse in (x1, y1)-(x2 + 1, y2 + 1) with its right
          // and bottom edges exclusive: centre and radii in pixel centres.
          const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0, rx = (x2 - x1) / 2.0, ry = (y2 - y1) / 2.0;
          char b[160];
          if (c.Kind == vkEllipse) {
            std::snprintf(b, sizeof b, "ellipse %g,%g %g,%g 0,360", cx, cy, rx, ry);
          } else {
            // Drawn counter-clockwise from the start to the end point: in
            // screen angles (clockwise) that is from the end to the start.
            // The arc ends where the rays from the centre through the two
            // points meet the ellipse; ImageMagick takes the ellipse's own
            // (parametric) angles.
            auto param = [&](double A) {
              const double px = std::trunc(rx + std::cos(A) * rx) - rx, py = std::trunc(ry + std::sin(A) * ry) - ry;
              return std::atan2(py / ry, px / rx) * 180 / M_PI;
            };
            const double sa = param(o.ArcStart), ea = param(o.ArcEnd);
            std::snprintf(b, sizeof b, "ellipse %g,%g %g,%g %g,%g", cx, cy, rx, ry, ea, sa + 360);
          }
          draw = b;
          break;
        }
        case vkBitmap: {
          const Integer l = std::min(x1, x2), t = std::min(y1, y2);
          Integer r = std::max(x1, x2), b = std::max(y1, y2);
          if (!c.WithBitmap) {
            draw = "line " + pt(x1, y1) + pt(x2, y2) + "line " + pt(x2, y1) + pt(x1, y2) + "rectangle " + pt(l, t) +
                   pt(r, b);
            break;
          }
          // Pen widths do not follow the zoom here, so neither does the
          // bitmap's last pixel: it ends at the mapped corner.
          const Integer g = c.Border ? 2 : 0;
          extra = " \\( " + dir.File("small.ppm") + " -filter point -resize " + std::to_string(r - l + 1 - 2 * g) +
                  "x" + std::to_string(b - t + 1 - 2 * g) + "! \\) -geometry +" + std::to_string(l + g) + "+" +
                  std::to_string(t + g) + " -composite";
          if (c.Border)
            draw = "rectangle " + pt(l, t) + pt(r, b) + "rectangle " + pt(l + 1, t + 1) + pt(r - 1, b - 1);
          break;
        }
        case vkPolyline:
          draw = "polyline ";
          for (const TPoint& q : n->ScreenPoints) draw += pt(q.X, q.Y);
          break;
        case vkLineLabel: {
          draw = "line " + pt(x1, y1) + pt(x2, y2);
          // The label's frame, with the text inside it left out: the text's
          // size in the object's font at the zoom (LabelRect, in image
          // pixels, is rounded).
          TBitmap measure;
          measure.SetSize(4, 4);
          TFont* f = measure.Canvas()->Font();
          f->SetName(AnsiToWide(AnsiString(o.Font->lfFaceName)));
          f->SetHeight(Integer(std::trunc(o.Font->lfHeight * zoom / 100.0)));
          const Integer w = measure.Canvas()->TextWidth(u"Label"), th = measure.Canvas()->TextHeight(u"Label");
          // The label sits at the second end, which lies right of and above
          // the first: left at its x, bottom at its y.
          const Integer l = x2, t = y2 - th, r = x2 + w - 1, b = y2 - 1;
          EXPECT_EQ(n->LabelRect.Left, o.X2);
          ASSERT_GT(r, l);
          draw += "rectangle " + pt(l, t) + pt(r, b);
          skip = TRect(l + 1, t + 1, r - 1, b - 1);
          break;
        }
        default:
          break;
      }
      const std::string cmd = "convert -size 150x100 xc:white +antialias -fill none -stroke black -strokewidth 1" +
                              (draw.empty() ? std::string() : " -draw '" + draw + "'") + extra + " -depth 8 " +
                              dir.File("ref.ppm");
      ASSERT_EQ(gt_test::Shell(cmd), 0) << cmd;
      gt_test::Pnm pnm;
      TIEBitmap ref;
      ASSERT_TRUE(gt_test::ReadPnm(dir.File("ref.ppm"), pnm));
      ASSERT_TRUE(gt_test::LoadPnm(pnm, ref));

      // Ink: anything not white, outside the text.
      auto ink = [&](TIEBitmap& B, Integer x, Integer y) {
        if (x < 0 || y < 0 || x >= 150 || y >= 100) return false;
        if (x >= skip.Left && x <= skip.Right && y >= skip.Top && y <= skip.Bottom) return false;
        const Byte* p = Px(B, x, y);
        return !(p[0] == 255 && p[1] == 255 && p[2] == 255);
      };
      auto near = [&](TIEBitmap& B, Integer x, Integer y) {
        for (Integer dy = -1; dy <= 1; ++dy)
          for (Integer dx = -1; dx <= 1; ++dx)
            if (ink(B, x + dx, y + dy)) return true;
        return false;
      };
      TRect ob(1000, 1000, -1, -1), rb(1000, 1000, -1, -1);
      Integer count = 0, far = 0, colourOff = 0;
      for (Integer y = 0; y < 100; ++y)
        for (Integer x = 0; x < 150; ++x) {
          if (ink(ours, x, y)) {
            ++count;
            ob = TRect(std::min(ob.Left, x), std::min(ob.Top, y), std::max(ob.Right, x), std::max(ob.Bottom, y));
            far += !near(ref, x, y);
            // Stretched pixels: the same colour as the reference's, or its
            // neighbour's at a cell edge.
            if (c.WithBitmap) {
              bool same = false;
              for (Integer dy = -1; dy <= 1 && !same; ++dy)
                for (Integer dx = -1; dx <= 1 && !same; ++dx)
                  if (ink(ref, x + dx, y + dy)) same = std::memcmp(Px(ours, x, y), Px(ref, x + dx, y + dy), 3) == 0;
              colourOff += !same;
            }
          }
          if (ink(ref, x, y)) {
            rb = TRect(std::min(rb.Left, x), std::min(rb.Top, y), std::max(rb.Right, x), std::max(rb.Bottom, y));
            far += !near(ours, x, y);
          }
        }
      EXPECT_GT(count, 20);
      EXPECT_EQ(ob, rb);
      EXPECT_EQ(far, 0);
      EXPECT_EQ(colourOff, 0);
    }
  }
}

}  // namespace vect_draw_tests
