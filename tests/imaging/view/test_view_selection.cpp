// The selection of the single-image view: rectangles and their sub-polygons,
// aspect and fixed sizes, ellipses, grip drags, inverting and moving, the
// magic wand, zooming to the selection, and the selection record and stack.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "tests/support/files.h"
#include "tests/support/lcg.h"
#include "tests/support/pnm.h"
#include "tests/support/temp_dir.h"
#include "view_test_util.h"

namespace test_view_selection_tests {

using namespace view_test;

namespace {

class TSelTest : public ViewTest {
 protected:
  // A view showing a W x H picture whose selection works in bitmap pixels.
  TZiduzUvView* Make(Integer W, Integer H, Integer ViewW = 200, Integer ViewH = 200) {
    TZiduzUvView* v = MakeView(ViewW, ViewH);
    SetPicture(v, W, H);
    v->SetSelectionBase(iesbBitmap);
    return v;
  }
  static std::vector<TPoint> Polygon(TZiduzUvView* V) {
    return std::vector<TPoint>(V->GetSelectionPolygon(), V->GetSelectionPolygon() + V->GetSelectionPolygonCount());
  }
  static TRect Bounds(TZiduzUvView* V) {
    return TRect(V->GetSelectionX1(), V->GetSelectionY1(), V->GetSelectionX2(), V->GetSelectionY2());
  }
  // Pixels set in the mask, counted over the whole plane.
  static Integer MaskCount(TZiduzUvView* V) {
    Integer n = 0;
    for (Integer y = 0; y < V->SelectionMask()->Height(); ++y)
      for (Integer x = 0; x < V->SelectionMask()->Width(); ++x) n += V->SelectionMask()->IsPointInside(x, y);
    return n;
  }
};

TEST_F(TSelTest, RectanglesAndSubPolygons) {
  TZiduzUvView* v = Make(100, 100);
  v->Select(10, 10, 50, 30, 0);
  EXPECT_EQ(Polygon(v), (std::vector<TPoint>{{10, 10}, {50, 10}, {50, 30}, {10, 30}}));
  EXPECT_TRUE(v->Selected());
  // The second corner is exclusive: 40 x 20 pixels.
  EXPECT_EQ(Bounds(v), TRect(10, 10, 49, 29));
  EXPECT_EQ(MaskCount(v), 40 * 20);
  // Op 1 adds a sub-polygon after a separator; both areas are selected.
  v->Select(60, 60, 80, 90, 1);
  const auto p = Polygon(v);
  ASSERT_EQ(p.size(), 9u);
  EXPECT_EQ(p[4].X, IEPolygonSeparator);
  EXPECT_EQ(p[5], TPoint(60, 60));
  EXPECT_EQ(MaskCount(v), 40 * 20 + 20 * 30);
  EXPECT_EQ(Bounds(v), TRect(10, 10, 79, 89));
  // Op 0 replaces both.
  v->Select(0, 0, 5, 5, 0);
  EXPECT_EQ(MaskCount(v), 25);
  // Corners given in any order are ordered; beyond the picture they are cut.
  v->Select(120, 90, 95, -10, 0);
  EXPECT_EQ(Bounds(v), TRect(95, 0, 99, 89));
  // A rectangle without area selects nothing new.
  v->Select(30, 30, 30, 60, 0);
  EXPECT_EQ(Bounds(v), TRect(95, 0, 99, 89));
  delete v;
}

TEST_F(TSelTest, BoundsDuringADragComeFromThePolygon) {
  TZiduzUvView* v = Make(100, 100);
  v->StartSelectionDrag(10, 10);
  v->DragRectangle(50, 30, false, false);
  EXPECT_TRUE(v->GestureRunning());
  EXPECT_EQ(Bounds(v), TRect(10, 10, 49, 29));
  // Alt makes a square of the dragged width.
  v->DragRectangle(50, 30, false, true);
  EXPECT_EQ(Bounds(v), TRect(10, 10, 49, 49));
  v->EndSelectionGesture();
  EXPECT_FALSE(v->GestureRunning());
  EXPECT_EQ(Bounds(v), TRect(10, 10, 49, 49));
  EXPECT_EQ(MaskCount(v), 40 * 40);
  delete v;
}

TEST_F(TSelTest, AspectRatioAndFixedSize) {
  TZiduzUvView* v = Make(400, 400, 400, 400);
  v->SetSelectionAspectRatio(0.5);
  v->Select(0, 0, 40, 100, 0);
  EXPECT_EQ(Polygon(v), (std::vector<TPoint>{{0, 0}, {40, 0}, {40, 20}, {0, 20}}));
  // A ratio that would run below the picture shortens the width instead.
  v->SetSelectionAspectRatio(2);
  v->Select(0, 300, 100, 301, 0);
  EXPECT_EQ(Bounds(v), TRect(0, 300, 49, 399));
  // Fixed 100 x 100, centred on the mouse: exactly 100 pixels each way.
  v->SetSelectionAspectRatio(0);
  EXPECT_FALSE(v->SelectionOptions().Contains(iesoSizeable));
  v->SetFixedSelectionSize(100, 100);
  v->StartSelectionDrag(200, 200);
  v->DragRectangle(200, 200, false, false);
  EXPECT_EQ(Bounds(v), TRect(150, 150, 249, 249));
  v->EndSelectionGesture();
  EXPECT_EQ(Bounds(v), TRect(150, 150, 249, 249));
  EXPECT_EQ(MaskCount(v), 100 * 100);
  // Not sizeable: a fixed rectangle near the edge is kept inside whole,
  // up to the last column and row.
  v->StartSelectionDrag(390, 20);
  v->DragRectangle(390, 20, false, false);
  v->EndSelectionGesture();
  EXPECT_EQ(Bounds(v), TRect(300, 0, 399, 99));
  delete v;
}

TEST_F(TSelTest, EllipsePointsAndMask) {
  struct TCase {
    Integer Radius;
    Integer Points;
  };
  // At least 50 points, else one per unit of circumference.
  for (const TCase c : {TCase{5, 50}, TCase{7, 50}, TCase{8, 50}, TCase{100, 628}}) {
    SCOPED_TRACE(c.Radius);
    TZiduzUvView* v = Make(400, 400, 400, 400);
    v->StartSelectionDrag(200, 200);
    v->DragEllipse(200 + c.Radius, 200 + c.Radius, false, false);
    EXPECT_EQ(v->GetSelectionPolygonCount(), c.Points);
    EXPECT_EQ(v->GetSelectionPolygon()[0], TPoint(200 + c.Radius, 200));
    v->EndSelectionGesture();
    // The mask is the disc up to a pixel at its rim (the points are rounded).
    Integer wrong = 0;
    for (Integer y = 200 - c.Radius - 3; y <= 200 + c.Radius + 3; ++y)
      for (Integer x = 200 - c.Radius - 3; x <= 200 + c.Radius + 3; ++x) {
        const double d = std::hypot(x + 0.5 - 200, y - 200.0);
        if (d < c.Radius - 1) wrong += !v->IsPointInSelection(x, y);
        if (d > c.Radius + 1) wrong += v->IsPointInSelection(x, y);
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_GT(MaskCount(v), 0);
    delete v;
  }
}

TEST_F(TSelTest, GripDrags) {
  struct TCase {
    const char* Name;
    TIEGrip Grip;
    Integer X, Y;
    bool Constrain;
    TRect Box;  // polygon box after the drag (right and bottom exclusive)
    TIEGrip Next;
  };
  // Selection (10,10)-(50,30): 40 x 20 pixels, width/height 41/21 with the
  // inclusive sizes the constrained drag keeps.
  const TCase cases[] = {
      {"top-left across both edges", ieTopLeft, 60, 40, false, TRect(50, 30, 60, 40), ieBottomRight},
      {"bottom-right outward", ieBottomRight, 70, 50, false, TRect(10, 10, 71, 51), ieBottomRight},
      {"bottom-right across the left edge", ieBottomRight, 4, 50, false, TRect(5, 10, 10, 51), ieBottomLeft},
      {"right side moves the right edge only", ieRightSide, 80, 99, false, TRect(10, 10, 81, 30), ieRightSide},
      {"top side up", ieTopSide, 0, 2, false, TRect(10, 2, 50, 30), ieTopSide},
      {"left side across the right edge", ieLeftSide, 70, 0, false, TRect(50, 10, 70, 30), ieRightSide},
      {"bottom side onto the top edge", ieBottomSide, 0, 9, false, TRect(10, 10, 50, 11), ieBottomSide},
      // by = Round(9 + 61 / (41/21)) = 40, then the exclusive corner.
      {"bottom-right keeps the proportion", ieBottomRight, 70, 0, true, TRect(10, 10, 71, 41), ieBottomRight},
      // The right side acts as the bottom-right corner when constrained.
      {"right side constrained", ieRightSide, 70, 0, true, TRect(10, 10, 71, 41), ieBottomRight},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvView* v = Make(100, 100);
    v->Select(10, 10, 50, 30, 0);
    v->BeginGripDrag(c.Grip);
    EXPECT_EQ(v->DragGrip(c.Grip, c.X, c.Y, c.Constrain), c.Next);
    const auto p = Polygon(v);
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(TRect(p[0].X, p[0].Y, p[2].X, p[2].Y), c.Box);
    EXPECT_TRUE(TZiduzUvView::IsRectPolygon(p.data(), 4));
    delete v;
  }
}

TEST_F(TSelTest, GripHitTest) {
  TZiduzUvView* v = Make(200, 200);
  v->SetSelectionBase(iesbClientArea);
  v->Select(v->ImageToClientX(20), v->ImageToClientY(20), v->ImageToClientX(120), v->ImageToClientY(80), 0);
  const Integer x1 = v->ImageToClientX(20), y1 = v->ImageToClientY(20);
  const Integer x2 = v->ImageToClientX(120), y2 = v->ImageToClientY(80);
  struct TCase {
    Integer X, Y;
    bool Shift;
    TIEGrip Grip;
  };
  const TCase cases[] = {
      {x1, y1, false, ieTopLeft},           {x1 + 5, y1 - 5, false, ieTopLeft}, {x1 + 6, y1, false, ieTopSide},
      {x2, y1, false, ieTopRight},          {x2, y2, false, ieBottomRight},     {x1, y2, false, ieBottomLeft},
      {x1 + 1, (y1 + y2) / 2, false, ieLeftSide}, {x2 - 2, (y1 + y2) / 2, false, ieRightSide},
      {(x1 + x2) / 2, y2, false, ieBottomSide}, {(x1 + x2) / 2, (y1 + y2) / 2, false, TIEGrip(0)},
      {x1, y1, true, TIEGrip(0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
    EXPECT_EQ(v->FindSelectionGrip(c.X, c.Y, c.Shift), c.Grip);
  }
  delete v;
}

TEST_F(TSelTest, InvertAndMove) {
  TZiduzUvView* v = Make(100, 100);
  // A full selection inverted is no selection.
  v->Select(0, 0, 100, 100, 0);
  ASSERT_EQ(MaskCount(v), 100 * 100);
  v->InvertSelection();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(MaskCount(v), 0);
  // A partial one becomes its complement.
  v->Select(0, 0, 30, 100, 0);
  v->InvertSelection();
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(Bounds(v), TRect(30, 0, 99, 99));
  EXPECT_EQ(MaskCount(v), 70 * 100);
  // Moving stops at the border and keeps the size, for a rectangle and for
  // a shape held only in the mask (the inverted one above).
  v->MoveSelection(-1000, 0);
  EXPECT_EQ(Bounds(v), TRect(0, 0, 69, 99));
  v->Select(10, 10, 50, 30, 0);
  v->MoveSelection(1000, 5);
  EXPECT_EQ(Bounds(v), TRect(60, 15, 99, 34));
  EXPECT_EQ(MaskCount(v), 40 * 20);
  // With cut borders the part that leaves is gone.
  v->SetSelectionOptions(TIESelectionOptions{iesoCutBorders});
  v->Select(10, 10, 50, 30, 0);
  v->MoveSelection(80, 0);
  EXPECT_EQ(Bounds(v), TRect(90, 10, 99, 29));
  EXPECT_EQ(MaskCount(v), 10 * 20);
  // Deselect clears everything.
  v->Deselect();
  EXPECT_FALSE(v->Selected());
  EXPECT_EQ(v->GetSelectionPolygonCount(), 0);
  EXPECT_EQ(MaskCount(v), 0);
  delete v;
}

// Three crisp regions: a red left part, a green right part and a blue
// block inside the green one.
void PaintRegions(TIEBitmap* B) {
  for (Integer y = 0; y < B->Height(); ++y)
    for (Integer x = 0; x < B->Width(); ++x) {
      TRGB c{200, 0, 0};
      if (x < 20)
        c = TRGB{200, 0, 0};
      else if (x >= 30 && x < 40 && y >= 5 && y < 15)
        c = TRGB{0, 0, 200};
      else
        c = TRGB{0, 200, 0};
      B->SetPixelTriple(x, y, c);
    }
}

TEST_F(TSelTest, MagicWand) {
  struct TCase {
    const char* Name;
    Byte Mode;
    Integer X, Y;
    bool (*Inside)(Integer x, Integer y);
  };
  const TCase cases[] = {
      {"connected red", 1, 3, 3, [](Integer x, Integer) { return x < 20; }},
      {"connected green around the block", 1, 25, 3,
       [](Integer x, Integer y) { return x >= 20 && !(x >= 30 && x < 40 && y >= 5 && y < 15); }},
      {"outline of the blue block", 0, 35, 10,
       [](Integer x, Integer y) { return x >= 30 && x < 40 && y >= 5 && y < 15; }},
      {"global blue", 2, 35, 10, [](Integer x, Integer y) { return x >= 30 && x < 40 && y >= 5 && y < 15; }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvView* v = Make(50, 30);
    PaintRegions(v->GetIEBitmap());
    v->SetWandMode(c.Mode, 15, 0);
    v->SelectMagicWand(c.X, c.Y, false);
    Integer wrong = 0;
    for (Integer y = 0; y < 30; ++y)
      for (Integer x = 0; x < 50; ++x) wrong += v->SelectionMask()->IsPointInside(x, y) != c.Inside(x, y);
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(v->Selected());
    delete v;
  }
  // Shift adds; a click on the column or row just past the picture does
  // nothing (it has no pixel).
  TZiduzUvView* v = Make(50, 30);
  PaintRegions(v->GetIEBitmap());
  v->SetWandMode(1, 15, 0);
  v->SelectMagicWand(3, 3, false);
  v->SelectMagicWand(35, 10, true);
  EXPECT_EQ(MaskCount(v), 20 * 30 + 10 * 10);
  v->Deselect();
  for (const TPoint p : {TPoint(50, 3), TPoint(3, 30), TPoint(-1, 3), TPoint(50, 30)}) {
    v->SelectMagicWand(p.X, p.Y, false);
    EXPECT_FALSE(v->Selected());
    EXPECT_EQ(MaskCount(v), 0);
  }
  delete v;
}

TEST_F(TSelTest, ZoomToSelectionCentresIt) {
  TZiduzUvView* v = Make(1000, 1000, 200, 200);
  v->Select(400, 300, 500, 400, 0);
  v->ZoomToSelection(true, false);
  EXPECT_FALSE(v->Selected());
  EXPECT_DOUBLE_EQ(v->Zoom(), 200);
  // The former selection's centre (450, 350) is under the view's centre.
  EXPECT_NEAR(v->ClientToImageX(v->ClientWidth() / 2), 450, 1);
  EXPECT_NEAR(v->ClientToImageY(v->ClientHeight() / 2), 350, 1);
  // A selection narrower than 2 pixels does nothing.
  v->Select(10, 10, 11, 50, 0);
  v->ZoomToSelection(true, false);
  EXPECT_TRUE(v->Selected());
  EXPECT_DOUBLE_EQ(v->Zoom(), 200);
  delete v;
}

TEST_F(TSelTest, SelectionRecordAndStack) {
  TZiduzUvView* v = Make(100, 100);
  EXPECT_FALSE(v->RestoreSelection(true, 0));
  v->Select(10, 10, 50, 30, 0);
  v->SaveSelection();
  v->Select(70, 70, 90, 90, 0);
  ASSERT_TRUE(v->RestoreSelection(false, 0));
  EXPECT_EQ(Bounds(v), TRect(10, 10, 49, 29));
  EXPECT_EQ(v->GetSelectionPolygonCount(), 4);
  EXPECT_EQ(v->SelectionStackCount(), 1);
  ASSERT_TRUE(v->RestoreSelection(true, 0));
  EXPECT_EQ(v->SelectionStackCount(), 0);

  // A record cut anywhere, or with a count it cannot hold, is refused and
  // leaves the selection as it was.
  TMemoryStream whole;
  v->SaveSelectionToStream(&whole);
  v->Select(70, 70, 90, 90, 0);
  const int64_t size = whole.Size();
  for (int64_t cut : {int64_t(0), int64_t(4), int64_t(12), int64_t(40), size / 2, size - 1}) {
    SCOPED_TRACE(cut);
    TMemoryStream part;
    part.WriteBuffer(whole.Memory(), cut);
    part.SetPosition(0);
    EXPECT_FALSE(v->LoadSelectionFromStream(&part, 0));
    EXPECT_EQ(Bounds(v), TRect(70, 70, 89, 89));
  }
  TMemoryStream hostile;
  hostile.WriteBuffer(whole.Memory(), size);
  const Integer huge = 0x7FFFFFFF;
  hostile.SetPosition(8);
  hostile.WriteBuffer(&huge, 4);
  hostile.SetPosition(0);
  EXPECT_FALSE(v->LoadSelectionFromStream(&hostile, 0));
  EXPECT_EQ(Bounds(v), TRect(70, 70, 89, 89));
  // Mode 1 brings a selection that no longer fits back inside a smaller picture.
  v->Select(60, 60, 100, 100, 0);
  TMemoryStream big;
  v->SaveSelectionToStream(&big);
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(80, 80, ie24RGB));
  v->Update();
  big.SetPosition(0);
  ASSERT_TRUE(v->LoadSelectionFromStream(&big, 1));
  EXPECT_EQ(Bounds(v), TRect(40, 40, 79, 79));
  // A record without a plane selects nothing, and later selections still
  // have a plane to be drawn into.
  TMemoryStream planeless;
  for (Integer i : {80, 80, 0, 0, 0, 0, 0}) planeless.WriteBuffer(&i, 4);
  const Byte yes = 1, no = 0;
  planeless.WriteBuffer(&yes, 1);
  for (Integer i : {0, 0, 0, 1, 1, 5, 5}) planeless.WriteBuffer(&i, 4);
  planeless.WriteBuffer(&no, 1);
  planeless.SetPosition(0);
  ASSERT_TRUE(v->LoadSelectionFromStream(&planeless, 0));
  EXPECT_FALSE(v->Selected());
  v->Select(10, 10, 20, 20, 0);
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(Bounds(v), TRect(10, 10, 19, 19));
  delete v;
}

// The connected wand against ImageMagick's flood fill on a crisp fixture of
// nested rings: each click selects exactly the pixels the flood fill paints.
TEST_F(TSelTest, MagicWandMatchesImageMagickFloodFill) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick is not installed";
  gt_test::TempDir dir("wand");
  ASSERT_TRUE(dir.Ok());
  const Integer W = 60, H = 40;
  auto colourAt = [](Integer x, Integer y) -> int {
    auto in = [&](Integer x1, Integer y1, Integer x2, Integer y2) { return x >= x1 && x < x2 && y >= y1 && y < y2; };
    if (in(25, 15, 35, 25)) return 0;                       // red island
    if (in(14, 9, 46, 31)) return 1;                        // green inside the ring
    if (in(10, 5, 50, 35)) return 2;                        // blue ring
    if (in(52, 2, 55, 38) || in(52, 35, 60, 38)) return 1;  // a green L outside
    return 0;                                               // red around
  };
  const TRGB colours[3] = {{0, 0, 200}, {0, 200, 0}, {200, 0, 0}};
  TZiduzUvView* v = Make(W, H);
  std::vector<int> samples;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const TRGB c = colours[colourAt(x, y)];
      v->GetIEBitmap()->SetPixelTriple(x, y, c);
      samples.insert(samples.end(), {c.r, c.g, c.b});
    }
  ASSERT_TRUE(gt_test::WritePnmSamples(dir.File("in.ppm"), W, H, 3, 255, samples));
  v->SetWandMode(1, 15, 0);
  for (const TPoint p : {TPoint(2, 2), TPoint(27, 18), TPoint(20, 12), TPoint(11, 6), TPoint(53, 36)}) {
    SCOPED_TRACE(std::to_string(p.X) + "," + std::to_string(p.Y));
    const std::string out = dir.File("out.ppm");
    ASSERT_EQ(gt_test::Shell("convert " + dir.File("in.ppm") + " -fill '#FF00FF' -draw 'color " +
                             std::to_string(p.X) + "," + std::to_string(p.Y) + " floodfill' " + out),
              0);
    gt_test::Pnm ref;
    ASSERT_TRUE(gt_test::ReadPnm(out, ref));
    ASSERT_EQ(ref.Width, W);
    ASSERT_EQ(ref.Height, H);
    v->SelectMagicWand(p.X, p.Y, false);
    Integer wrong = 0, painted = 0;
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) {
        const bool magenta = ref.At(x, y, 0) == 255 && ref.At(x, y, 1) == 0 && ref.At(x, y, 2) == 255;
        painted += magenta;
        wrong += magenta != v->SelectionMask()->IsPointInside(x, y);
      }
    EXPECT_GT(painted, 0);
    EXPECT_EQ(wrong, 0);
  }
  delete v;
}

// Polygon masks against Pillow's polygon fill (even-odd, as ours) on random
// polygons, self-crossing ones among them: the two may differ only on
// pixels whose square an edge passes within a pixel of (1.75 from the
// centre), where the two rules of which point of a pixel counts, and
// Pillow's drawn edges, legitimately part.
TEST_F(TSelTest, PolygonMasksMatchPillowAwayFromTheEdges) {
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 -c 'import PIL' 2>/dev/null"), 0) << "/usr/bin/python3 with PIL is not installed";
  gt_test::TempDir dir("poly");
  ASSERT_TRUE(dir.Ok());
  const Integer N = 64;
  TZiduzUvView* v = Make(N, N);
  gt_test::Lcg rnd(2024);
  std::string polys;
  std::vector<uint8_t> masks;
  for (int k = 0; k < 20; ++k) {
    v->Deselect();
    const int n = 3 + int(rnd.Next() % 6);
    for (int i = 0; i < n; ++i) {
      const Integer x = Integer(rnd.Next() % (N + 1)), y = Integer(rnd.Next() % (N + 1));
      v->AddSelectionPoint(x, y);
      polys += std::to_string(x) + "," + std::to_string(y) + (i + 1 < n ? " " : "\n");
    }
    v->EndSelection();
    for (Integer y = 0; y < N; ++y)
      for (Integer x = 0; x < N; ++x) masks.push_back(v->SelectionMask()->IsPointInside(x, y) ? 1 : 0);
  }
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("masks.raw"), masks));
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("polys.txt"), std::vector<uint8_t>(polys.begin(), polys.end())));
  const std::string py =
      "import math\nfrom PIL import Image, ImageDraw\n"
      "N=" + std::to_string(N) + "\n"
      "ours=open('" + dir.File("masks.raw") + "','rb').read()\n"
      "def near(px,py,pts):\n"
      "  for i in range(len(pts)):\n"
      "    (ax,ay),(bx,by)=pts[i],pts[(i+1)%len(pts)]\n"
      "    dx,dy=bx-ax,by-ay; l=dx*dx+dy*dy\n"
      "    t=0 if l==0 else max(0,min(1,((px-ax)*dx+(py-ay)*dy)/l))\n"
      "    if math.hypot(ax+t*dx-px,ay+t*dy-py)<=1.75: return True\n"
      "  return False\n"
      "bad=area=edge=0\n"
      "for k,line in enumerate(open('" + dir.File("polys.txt") + "').read().split('\\n')[:20]):\n"
      "  pts=[tuple(int(c) for c in p.split(',')) for p in line.split()]\n"
      "  im=Image.new('L',(N,N),0); ImageDraw.Draw(im).polygon(pts,fill=1)\n"
      "  ref=im.tobytes()\n"
      "  for i in range(N*N):\n"
      "    area+=ref[i]\n"
      "    if ref[i]!=ours[k*N*N+i]:\n"
      "      if near(i%N+0.5,i//N+0.5,pts): edge+=1\n"
      "      else: bad+=1\n"
      "print(bad,area,edge)\n";
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("c.py"), std::vector<uint8_t>(py.begin(), py.end())));
  int status = 0;
  const std::string out = RunOutput("/usr/bin/python3 " + dir.File("c.py"), status);
  ASSERT_EQ(status, 0) << out;
  long bad = -1, area = 0, edge = 0;
  ASSERT_EQ(std::sscanf(out.c_str(), "%ld %ld %ld", &bad, &area, &edge), 3) << out;
  EXPECT_EQ(bad, 0) << "pixels that differ away from every edge" << out;
  EXPECT_GT(area, 20 * N * N / 20) << "the polygons cover a fair part of the plane";
  EXPECT_LT(edge, area / 4) << "the rules part on a thin boundary only";
  delete v;
}

// Mode 2 keeps the selection where it was on the image when the current
// layer changes: a mask made on a layer at (50, 20) moves by (50, 20) on
// layer 0. A record's far-off layer position selects nothing, at no cost.
TEST_F(TSelTest, SelectionFollowsTheLayerPosition) {
  TZiduzUvView* v = Make(200, 100);
  v->AddLayer();
  v->GetCurrentLayer()->PosX = 50;
  v->GetCurrentLayer()->PosY = 20;
  v->Select(10, 10, 30, 20, 0);
  TMemoryStream onLayer1;
  v->SaveSelectionToStream(&onLayer1);
  v->SetCurrentLayer(0);
  EXPECT_EQ(Bounds(v), TRect(60, 30, 79, 39));
  onLayer1.SetPosition(0);
  ASSERT_TRUE(v->LoadSelectionFromStream(&onLayer1, 2));
  EXPECT_EQ(Bounds(v), TRect(60, 30, 79, 39));
  // Moved partly off the left edge: the rest stays.
  v->GetCurrentLayer()->PosX = 65;
  onLayer1.SetPosition(0);
  ASSERT_TRUE(v->LoadSelectionFromStream(&onLayer1, 2));
  EXPECT_EQ(Bounds(v), TRect(0, 30, 14, 39));
  v->GetCurrentLayer()->PosX = 0;
  Integer points = 0;
  std::memcpy(&points, static_cast<const Byte*>(onLayer1.Memory()) + 8, 4);
  for (Integer far : {Integer(0x40000000), Integer(-0x40000000)}) {
    SCOPED_TRACE(far);
    TMemoryStream hostile;
    hostile.WriteBuffer(onLayer1.Memory(), onLayer1.Size());
    // The stored layer position follows size, points, box and the flag.
    const int64_t at = 12 + 8 * int64_t(points) + 16 + 1;
    hostile.SetPosition(at);
    hostile.WriteBuffer(&far, 4);
    hostile.WriteBuffer(&far, 4);
    hostile.SetPosition(0);
    ASSERT_TRUE(v->LoadSelectionFromStream(&hostile, 2));
    EXPECT_FALSE(v->Selected());
  }
  delete v;
}

}  // namespace

}  // namespace test_view_selection_tests
