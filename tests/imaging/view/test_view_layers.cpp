// The layer list of the single-image view: removing, stepping, rotation
// values, picking, adding, clearing, growing to a common size, the selection
// following the current layer, and a navigator outliving its main view.
#include <cmath>
#include <limits>
#include <vector>

#include "platform/graphics/colors.h"
#include "view_test_util.h"

namespace test_view_layers_tests {

using namespace view_test;

namespace {

using TLayerTest = ViewTest;

void FillGrey(TIEBitmap* B, Byte V) { B->Fill(double(Cardinal(V) | Cardinal(V) << 8 | Cardinal(V) << 16)); }

Byte GreyAt(TIEBitmap* B, Integer X, Integer Y) { return B->GetPixelTriple(X, Y).r; }

class TLayers : public TLayerTest {
 protected:
  // Count layers of W x H, layer i filled with grey 10·(i+1); the top one current.
  TZiduzUvView* Make(Integer Count, Integer W = 40, Integer H = 30) {
    TZiduzUvView* v = MakeView(200, 200);
    SetPicture(v, W, H);
    FillGrey(v->GetIEBitmap(), 10);
    for (Integer i = 1; i < Count; ++i) {
      EXPECT_EQ(v->AddLayer(), i);
      FillGrey(v->GetIEBitmap(), Byte(10 * (i + 1)));
    }
    return v;
  }
  // The grey of each layer, bottom first.
  static std::vector<Integer> Greys(TZiduzUvView* V) {
    std::vector<Integer> g;
    for (Integer i = 0; i < V->LayersCount(); ++i) g.push_back(GreyAt(V->Layers(i)->Bitmap, 0, 0));
    return g;
  }
};

TEST_F(TLayers, RemoveKeepsTheRightLayerCurrent) {
  struct TCase {
    const char* Name;
    Integer Count, Current, MaskOf, Remove;
    std::vector<Integer> GreysAfter;
    Integer CurrentAfter;
  };
  const TCase cases[] = {
      {"single layer stays", 1, 0, -1, 0, {10}, 0},
      {"layer 0 of two", 2, 1, -1, 0, {20}, 0},
      {"layer with its mask, top current", 4, 3, 2, 1, {10, 40}, 1},
      {"the current layer itself", 3, 1, -1, 1, {10, 30}, 1},
      {"the current mask with its layer", 4, 2, 2, 1, {10, 40}, 1},
      {"the last layer, current", 3, 2, -1, 2, {10, 20}, 1},
      {"out of range", 2, 1, -1, 2, {10, 20}, 1},
      {"negative", 2, 1, -1, -1, {10, 20}, 1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvView* v = Make(c.Count);
    if (c.MaskOf >= 0) v->Layers(c.MaskOf)->IsMask = true;
    v->SetCurrentLayer(c.Current);
    ASSERT_EQ(v->CurrentLayer(), c.Current);
    v->RemoveLayer(c.Remove);
    EXPECT_EQ(Greys(v), c.GreysAfter);
    EXPECT_EQ(v->CurrentLayer(), c.CurrentAfter);
    // The image is always the current layer's picture.
    EXPECT_EQ(v->GetIEBitmap(), v->Layers(v->CurrentLayer())->Bitmap);
    delete v;
  }
}

TEST_F(TLayers, CurrentLayerStepsDownPastUnselectableLayers) {
  for (bool only : {true, false}) {
    SCOPED_TRACE(only);
    TZiduzUvView* v = Make(4);
    v->SetCurrentLayer(0);
    for (Integer i = 1; i <= 3; ++i) v->Layers(i)->Selectable = false;
    v->SetSelectableLayersOnly(only);
    v->SetCurrentLayer(3);
    EXPECT_EQ(v->CurrentLayer(), only ? 0 : 3);
    EXPECT_EQ(GreyAt(v->GetIEBitmap(), 0, 0), only ? 10 : 40);
    delete v;
  }
  // Layer 2 selectable: the step stops there.
  TZiduzUvView* v = Make(4);
  v->SetCurrentLayer(0);
  v->Layers(3)->Selectable = false;
  v->SetCurrentLayer(3);
  EXPECT_EQ(v->CurrentLayer(), 2);
  delete v;
}

TEST_F(TLayers, RotationValues) {
  const double inf = std::numeric_limits<double>::infinity();
  struct TCase {
    double In;
    double Out;
  };
  const TCase cases[] = {{720, 0},      {-360, 0}, {720.5, 720.5}, {-30, -30},
                         {359.9, 359.9}, {inf, inf}, {-inf, -inf}, {3.6e20, 0}};
  TIELayer l(nullptr, nullptr, false);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.In);
    l.SetRotate(12);
    l.SetRotate(c.In);
    EXPECT_EQ(l.Rotate(), c.Out);
  }
  // A NaN is kept as it is, without an undefined conversion on the way.
  l.SetRotate(std::nan(""));
  EXPECT_TRUE(std::isnan(l.Rotate()));
}

TEST_F(TLayers, FindLayerAtLooksThroughTransparentPixels) {
  struct TCase {
    const char* Name;
    Integer X, Y;
    bool TranspOption, TopHidden, TopUnselectable, SelectableOnly;
    Integer Expected;
  };
  const TCase cases[] = {
      {"transparent pixel gives the layer below", 5, 7, false, false, false, true, 0},
      {"opaque pixel gives the top layer", 6, 7, false, false, false, true, 1},
      {"transparency ignored on request", 5, 7, true, false, false, true, 1},
      {"hidden top layer", 6, 7, false, true, false, true, 0},
      {"unselectable top layer skipped", 6, 7, false, false, true, true, 0},
      {"unselectable top layer asked for all", 6, 7, false, false, true, false, 1},
      {"right edge of the box counts", 39, 7, false, false, false, true, 1},
      {"outside every box", 41, 7, false, false, false, true, -1},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvView* v = MakeView(40, 30);
    SetPicture(v, 40, 30);
    v->AddLayer();
    TIEBitmap* top = v->GetIEBitmap();
    top->GetAlphaChannel()->Fill(255);
    top->SetAlpha(5, 7, 0);
    for (Integer i = 0; i < 2; ++i) v->Layers(i)->ClientAreaBox = TRect(0, 0, 39, 29);
    v->Layers(1)->Visible = !c.TopHidden;
    v->Layers(1)->Selectable = !c.TopUnselectable;
    TIESelectionOptions o = v->SelectionOptions();
    if (c.TranspOption) o.Include(iesoSelectTranspLayers);
    v->SetSelectionOptions(o);
    ASSERT_EQ(v->OffsetX(), 0);
    EXPECT_EQ(v->FindLayerAt(c.X, c.Y, c.SelectableOnly), c.Expected);
    delete v;
  }
}

TEST_F(TLayers, AddLayerHasTheFormatAndSizeFilledWithBackground) {
  for (TColor bg : {TColor(clWhite), TColor(clBlack)}) {
    SCOPED_TRACE(bg);
    TZiduzUvView* v = MakeView(100, 100);
    ASSERT_TRUE(v->GetIEBitmap()->Allocate(33, 17, ie1g));
    v->SetBackground(bg);
    v->Update();
    // A pattern in layer 0, so that a copy would show.
    TIEBitmap* first = v->GetIEBitmap();
    first->Fill(double(0x55));
    EXPECT_EQ(v->AddLayer(), 1);
    TIEBitmap* b = v->GetIEBitmap();
    ASSERT_NE(b, first);
    EXPECT_EQ(b->PixelFormat(), ie1g);
    EXPECT_EQ(b->Width(), 33);
    EXPECT_EQ(b->Height(), 17);
    EXPECT_FALSE(b->HasAlphaChannel());
    const Byte want = bg == clWhite ? 255 : 0;
    Integer wrong = 0;
    for (Integer y = 0; y < 17; ++y)
      for (Integer x = 0; x < 33; ++x) {
        TRGB c;
        b->GetPixelAsRGB(x, y, c);
        wrong += c.r != want;
      }
    EXPECT_EQ(wrong, 0);
    delete v;
  }
}

TEST_F(TLayers, ClearLayersLeavesOneLockedLayerWithoutBox) {
  TZiduzUvView* v = Make(3);
  v->SetBackground(clRed);
  v->SetCurrentLayer(0);
  TIELayer* l0 = v->Layers(0);
  l0->PosX = 5;
  l0->Transparency = 100;
  l0->VisibleBox = true;
  l0->Locked = false;
  v->ClearLayers();
  ASSERT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->Layers(0), l0);
  EXPECT_EQ(v->CurrentLayer(), 0);
  EXPECT_TRUE(l0->Locked);
  EXPECT_FALSE(l0->VisibleBox);
  EXPECT_EQ(l0->PosX, 0);
  EXPECT_EQ(l0->Transparency, 255);
  const TRGB c = v->GetIEBitmap()->GetPixelTriple(3, 3);
  EXPECT_EQ(c.r, 255);
  EXPECT_EQ(c.g, 0);
  EXPECT_EQ(c.b, 0);
  delete v;
}

TEST_F(TLayers, LayersSyncGrowsEveryLayerWithTransparentMargins) {
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 100, 50);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(40, 80, ie24RGB));
  v->SetLayersSync(true);
  v->Update();
  EXPECT_EQ(v->ImageWidth(), 100);
  EXPECT_EQ(v->ImageHeight(), 80);
  struct TProbe {
    Integer Layer, X, Y;
    Byte Alpha;
  };
  const TProbe probes[] = {{0, 10, 10, 255}, {0, 99, 49, 255}, {0, 50, 60, 0}, {0, 99, 79, 0},
                           {1, 10, 70, 255}, {1, 39, 79, 255}, {1, 60, 10, 0}, {1, 40, 0, 0}};
  for (Integer i = 0; i < 2; ++i) {
    EXPECT_EQ(v->Layers(i)->Bitmap->Width(), 100);
    EXPECT_EQ(v->Layers(i)->Bitmap->Height(), 80);
  }
  for (const TProbe& p : probes) {
    SCOPED_TRACE(testing::Message() << p.Layer << ": " << p.X << "," << p.Y);
    EXPECT_EQ(v->Layers(p.Layer)->Bitmap->GetAlpha(p.X, p.Y), p.Alpha);
  }
  delete v;
}

TEST_F(TLayers, SelectionStaysOnTheImageWhenTheLayerChanges) {
  TZiduzUvView* v = MakeView(300, 300);
  SetPicture(v, 200, 200);
  v->AddLayer();
  v->GetCurrentLayer()->PosX = 50;
  v->GetCurrentLayer()->PosY = 20;
  v->SetSelectionBase(iesbBitmap);
  v->Select(10, 10, 30, 20);
  ASSERT_EQ(v->GetSelectionX1(), 10);
  v->SetCurrentLayer(0);
  EXPECT_TRUE(v->Selected());
  EXPECT_EQ(v->GetSelectionX1(), 60);
  EXPECT_EQ(v->GetSelectionY1(), 30);
  EXPECT_EQ(v->GetSelectionX2(), 79);
  EXPECT_EQ(v->GetSelectionY2(), 39);
  // The stack entry pushed for the change is used up.
  EXPECT_EQ(v->SelectionStackCount(), 0);
  delete v;
}

TEST_F(TLayers, NavigatorOutlivesItsMainView) {
  // Attached and detached, or still attached when the main view goes: the
  // navigator's layer owns the picture it shows from then on.
  for (bool detachFirst : {true, false}) {
    SCOPED_TRACE(detachFirst);
    TZiduzUvView* main = MakeView(100, 100);
    TZiduzUvView* nav = MakeView(50, 50);
    SetPicture(main, 80, 60);
    main->SetNavigator(nav);
    ASSERT_EQ(nav->GetIEBitmap(), main->GetIEBitmap());
    if (detachFirst) main->SetNavigator(nullptr);
    delete main;
    EXPECT_TRUE(nav->Layers(0)->OwnsBitmap);
    EXPECT_EQ(nav->Layers(0)->Bitmap, nav->GetIEBitmap());
    nav->Repaint();
    nav->AddLayer();
    nav->ClearLayers();
    nav->Repaint();
    EXPECT_EQ(nav->LayersCount(), 1);
    delete nav;
  }
}

}  // namespace

}  // namespace test_view_layers_tests
