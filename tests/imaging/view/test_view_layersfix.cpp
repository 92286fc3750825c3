// Layer sizes and rotations written into the pixels by the processor, and
// the merge of two layers: its geometry, its arithmetic against Pillow's
// alpha composition, masks, pixel formats other than 24-bit, a navigator.
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/base/ieutils.h"
#include "platform/graphics/colors.h"
#include "platform/ui/winuser.h"
#include "tests/support/files.h"
#include "tests/support/lcg.h"
#include "tests/support/temp_dir.h"
#include "view_test_util.h"

namespace test_view_layersfix_tests {

using namespace view_test;

namespace layersfix_tests {
namespace {

class TFixTest : public StartedViewTest {
 protected:
  // A view with a white W x H layer 0.
  TZiduzUvView* MakeWhite(Integer W, Integer H) {
    TZiduzUvView* v = MakeView(300, 300);
    v->SetBackground(clWhite);
    SetPicture(v, W, H);
    v->GetIEBitmap()->Fill(static_cast<double>(0xFFFFFF));
    return v;
  }
  // Adds a layer of W x H filled with Color (24-bit, no alpha) at (X, Y).
  static TIELayer* AddSolid(TZiduzUvView* V, Integer W, Integer H, Integer X, Integer Y, TRGB Color) {
    V->AddLayer();
    TIEBitmap* b = V->GetIEBitmap();
    EXPECT_TRUE(b->Allocate(W, H, ie24RGB));
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) b->SetPixelTriple(x, y, Color);
    TIELayer* l = V->GetCurrentLayer();
    l->PosX = X;
    l->PosY = Y;
    return l;
  }
};

TRGB Rgb(Integer R, Integer G, Integer B) { return TRGB{Byte(B), Byte(G), Byte(R)}; }
const TRGB kBlue = Rgb(0, 0, 255), kRed = Rgb(255, 0, 0), kGreen = Rgb(0, 200, 0);

bool Near(TRGB A, TRGB B, int Tol) {
  return std::abs(A.r - B.r) <= Tol && std::abs(A.g - B.g) <= Tol && std::abs(A.b - B.b) <= Tol;
}

// ---------------------------------------------------------------------------
// Sizes and rotations

TEST_F(TFixTest, FixSizesResamplesTheRightLayerAndKeepsTheCurrentOne) {
  TZiduzUvView* v = MakeWhite(100, 80);
  TIELayer* l1 = AddSolid(v, 20, 10, 5, 5, kBlue);
  l1->Width = 40;
  l1->Height = 30;
  TIELayer* l2 = AddSolid(v, 10, 10, 0, 0, kRed);
  l2->Width = 25;  // the height stays the picture's own
  // Layer 1 cannot be selected: making it current for the fix must not slip
  // down to layer 0 and resample that one instead.
  l1->Selectable = false;
  v->SetCurrentLayer(2);
  v->LayersFixSizes(1);
  EXPECT_EQ(l1->Bitmap->Width(), 40);
  EXPECT_EQ(l1->Bitmap->Height(), 30);
  EXPECT_EQ(l1->Width, 0);
  EXPECT_EQ(l1->Height, 0);
  EXPECT_EQ(l1->Bitmap->GetPixelTriple(39, 29), kBlue);
  EXPECT_EQ(v->Layers(0)->Bitmap->Width(), 100);
  EXPECT_EQ(l2->Width, 25) << "only the layer asked for";
  EXPECT_EQ(v->CurrentLayer(), 2);
  EXPECT_EQ(v->GetIEBitmap(), l2->Bitmap);

  v->LayersFixSizes(-1);
  EXPECT_EQ(l2->Bitmap->Width(), 25);
  EXPECT_EQ(l2->Bitmap->Height(), 10);
  EXPECT_EQ(l2->Width, 0);
}

// The turned pixels land where the display showed them: the stack renders
// the same before and after the fix, but for the edges that the two
// samplings draw differently.
TEST_F(TFixTest, FixRotationsKeepsWhatTheStackShows) {
  struct TCase {
    double Angle;
    double CentreX, CentreY;
  };
  const TCase cases[] = {{90, 0.5, 0.5}, {30, 0.5, 0.5}, {-45, 0.5, 0.5}, {30, 0, 0}, {200, 0.25, 1}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Angle);
    TZiduzUvView* v = MakeWhite(200, 200);
    TIELayer* l = AddSolid(v, 60, 30, 70, 80, kBlue);
    l->RotateCenterX = c.CentreX;
    l->RotateCenterY = c.CentreY;
    l->SetRotate(c.Angle);
    TIEBitmap before, after;
    v->RenderLayersTo(&before);
    v->LayersFixRotations(-1);
    EXPECT_EQ(l->Rotate(), 0);
    EXPECT_TRUE(l->Bitmap->HasAlphaChannel());
    v->RenderLayersTo(&after);
    ASSERT_EQ(after.Width(), before.Width());
    ASSERT_EQ(after.Height(), before.Height());
    Integer blueBefore = 0, differ = 0;
    for (Integer y = 0; y < 200; ++y)
      for (Integer x = 0; x < 200; ++x) {
        const bool b1 = before.GetPixelTriple(x, y).b > 128 && before.GetPixelTriple(x, y).r < 128;
        const bool b2 = after.GetPixelTriple(x, y).b > 128 && after.GetPixelTriple(x, y).r < 128;
        blueBefore += b1;
        differ += b1 != b2;
      }
    EXPECT_NEAR(blueBefore, 60 * 30, 60) << "the turned layer keeps its area";
    EXPECT_LE(differ, 2 * (60 + 30)) << "only edge pixels may differ";
  }
}

TEST_F(TFixTest, FixRotationsCutsToTheOpaquePart) {
  TZiduzUvView* v = MakeWhite(200, 200);
  TIELayer* l = AddSolid(v, 40, 20, 50, 50, kBlue);
  l->SetRotate(90);
  v->LayersFixRotations(1);
  // The 40 x 20 layer turned about its centre (70, 60) stands 20 x 40 there.
  EXPECT_NEAR(l->Bitmap->Width(), 20, 1);
  EXPECT_NEAR(l->Bitmap->Height(), 40, 1);
  EXPECT_NEAR(l->PosX, 60, 1);
  EXPECT_NEAR(l->PosY, 40, 1);
  // At 30 degrees the box of the turned layer, and transparent corners.
  l->SetRotate(30);
  const Integer w = l->Bitmap->Width(), h = l->Bitmap->Height();
  v->LayersFixRotations(-1);
  const double a = M_PI / 6;
  EXPECT_NEAR(l->Bitmap->Width(), w * std::cos(a) + h * std::sin(a), 2);
  EXPECT_NEAR(l->Bitmap->Height(), w * std::sin(a) + h * std::cos(a), 2);
  EXPECT_EQ(l->Bitmap->GetAlpha(0, 0), 0);
  EXPECT_EQ(l->Bitmap->GetAlpha(l->Bitmap->Width() / 2, l->Bitmap->Height() / 2), 255);
}

TEST_F(TFixTest, SelectionPressTurnsRotatedLayersForGood) {
  struct TCase {
    TIEMouseInteractItems Item;
    bool Fixes;
  };
  const TCase cases[] = {{miSelect, true},       {miSelectPolygon, true}, {miSelectCircle, true},
                         {miSelectMagicWand, true}, {miSelectLasso, true},   {miZoom, false}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(int(c.Item));
    TZiduzUvView* v = MakeWhite(200, 200);
    TIELayer* l = AddSolid(v, 40, 20, 50, 50, kBlue);
    l->SetRotate(45);
    v->SetMouseInteract(TIEMouseInteract{c.Item});
    v->Repaint();
    GtTestPump(5);
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaPress, gmbLeft, 150, 150, 0));
    ASSERT_TRUE(GtTestMouse(v->Handle(), gmaRelease, gmbLeft, 150, 150, 0));
    EXPECT_EQ(l->Rotate() == 0, c.Fixes);
  }
}

// ---------------------------------------------------------------------------
// Merging

TEST_F(TFixTest, MergeGrowsLayerZeroOverALayerAtANegativePosition) {
  TZiduzUvView* v = MakeWhite(100, 100);
  v->SetBackground(TColor(0x030201));
  v->GetIEBitmap()->Fill(static_cast<double>(0x00FF00));  // the middle byte: green in either order
  const TRGB green = v->GetIEBitmap()->GetPixelTriple(0, 0);
  TIELayer* l1 = AddSolid(v, 50, 50, -10, -10, kRed);
  l1->Bitmap->GetAlphaChannel()->Fill(128);
  v->MergeLayers(0, 1, true);
  ASSERT_EQ(v->LayersCount(), 1);
  TIELayer* l0 = v->Layers(0);
  TIEBitmap* b = l0->Bitmap;
  EXPECT_EQ(v->GetIEBitmap(), b);
  EXPECT_EQ(v->CurrentLayer(), 0);
  ASSERT_EQ(b->Width(), 110);
  ASSERT_EQ(b->Height(), 110);
  EXPECT_EQ(l0->PosX, 0);
  ASSERT_TRUE(b->HasAlphaChannel());
  // The band of layer 1 alone, outside both, both, and layer 0 alone.
  EXPECT_EQ(b->GetPixelTriple(5, 5), kRed);
  EXPECT_EQ(b->GetAlpha(5, 5), 128);
  EXPECT_EQ(b->GetAlpha(5, 80), 0);
  EXPECT_EQ(b->GetPixelTriple(5, 80), IEColorToRGB(ColorToRGB(v->Background())));
  EXPECT_EQ(b->GetAlpha(30, 30), 255);
  const TRGB mix = b->GetPixelTriple(30, 30);
  EXPECT_NEAR(mix.r, 128, 1);
  EXPECT_NEAR(mix.g, green.g * 127 / 255.0, 1);
  EXPECT_EQ(b->GetPixelTriple(80, 80), green);
  EXPECT_EQ(b->GetAlpha(80, 80), 255);
}

TEST_F(TFixTest, MergeOfUpperLayersKeepsTheirCornerAndOptionallyTheSecond) {
  for (bool removeSecond : {true, false}) {
    SCOPED_TRACE(removeSecond);
    TZiduzUvView* v = MakeWhite(100, 100);
    TIELayer* l1 = AddSolid(v, 30, 30, 10, 20, kRed);
    l1->Locked = true;
    l1->Selectable = false;
    AddSolid(v, 30, 30, 25, 5, kBlue);
    v->MergeLayers(2, 1, removeSecond);
    ASSERT_EQ(v->LayersCount(), removeSecond ? 2 : 3);
    TIELayer* m = v->Layers(1);
    EXPECT_EQ(v->CurrentLayer(), 1);
    EXPECT_EQ(m->PosX, 10);
    EXPECT_EQ(m->PosY, 5);
    EXPECT_EQ(m->Bitmap->Width(), 45);
    EXPECT_EQ(m->Bitmap->Height(), 45);
    EXPECT_TRUE(m->Locked);
    EXPECT_FALSE(m->Selectable);
    // Image (12, 22) is red only, (30, 10) blue only, (30, 30) both, (50, 45)
    // neither.
    EXPECT_EQ(m->Bitmap->GetPixelTriple(2, 17), kRed);
    EXPECT_EQ(m->Bitmap->GetPixelTriple(20, 5), kBlue);
    EXPECT_EQ(m->Bitmap->GetPixelTriple(20, 25), kBlue);
    EXPECT_EQ(m->Bitmap->GetAlpha(40, 40), 0);
  }
}

TEST_F(TFixTest, MergeOfOpaqueLayersLeavesNoAlphaAndBadIndexesDoNothing) {
  TZiduzUvView* v = MakeWhite(60, 40);
  AddSolid(v, 60, 40, 0, 0, kBlue);
  for (auto [a, b] : {std::pair{1, 1}, std::pair{-1, 0}, std::pair{0, 2}}) {
    v->MergeLayers(a, b, true);
    EXPECT_EQ(v->LayersCount(), 2);
  }
  v->MergeLayers(1, 0, true);
  ASSERT_EQ(v->LayersCount(), 1);
  EXPECT_FALSE(v->GetIEBitmap()->HasAlphaChannel());
  EXPECT_EQ(v->GetIEBitmap()->GetPixelTriple(59, 39), kBlue);
}

// Layers in other pixel formats are merged by their colours, not by their
// bytes read as something else.
TEST_F(TFixTest, MergeReadsEveryPixelFormatByItsColours) {
  const TIEPixelFormat formats[] = {ie1g, ie8g, ie8p, ie16g, ie32RGB, ie24RGB};
  for (TIEPixelFormat f : formats) {
    SCOPED_TRACE(int(f));
    TZiduzUvView* v = MakeWhite(40, 20);
    TIELayer* l = AddSolid(v, 40, 20, 0, 0, kRed);
    for (Integer y = 0; y < 20; ++y)
      for (Integer x = 0; x < 40; ++x) l->Bitmap->SetPixelTriple(x, y, x < 20 ? Rgb(0, 0, 0) : Rgb(255, 255, 255));
    l->Bitmap->SetPixelTriple(3, 3, Rgb(90, 90, 90));
    ASSERT_TRUE(l->Bitmap->ConvertToPixelFormat(f));
    TIEBitmap expected;
    ASSERT_TRUE(expected.Allocate(40, 20, ie24RGB));
    expected.CopyAndConvertFormat(l->Bitmap);
    v->MergeLayers(0, 1, true);
    TIEBitmap* b = v->GetIEBitmap();
    ASSERT_EQ(b->PixelFormat(), ie24RGB);
    for (auto [x, y] : {std::pair{3, 3}, std::pair{5, 10}, std::pair{30, 10}, std::pair{39, 19}})
      EXPECT_EQ(b->GetPixelTriple(x, y), expected.GetPixelTriple(x, y)) << x << "," << y;
  }
}

TEST_F(TFixTest, MergeShowsTheUpperLayerOnlyInsideItsMask) {
  TZiduzUvView* v = MakeWhite(40, 20);
  TIELayer* l1 = AddSolid(v, 40, 20, 0, 0, kRed);
  l1->Transparency = 200;
  // A 24-bit mask of half the size shown at full size: 255 in the top-left
  // quarter, 0 elsewhere.
  TIELayer* m = AddSolid(v, 20, 10, 0, 0, Rgb(0, 0, 0));
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 10; ++x) m->Bitmap->SetPixelTriple(x, y, Rgb(255, 255, 255));
  m->Width = 40;
  m->Height = 20;
  m->IsMask = true;
  TIEBitmap out;
  v->MergeLayersInto(0, 1, &out);
  ASSERT_EQ(out.Width(), 40);
  EXPECT_EQ(m->Bitmap->PixelFormat(), ie24RGB) << "the mask layer is not converted";
  EXPECT_EQ(m->Bitmap->Width(), 20) << "nor resized";
  EXPECT_FALSE(out.HasAlphaChannel());
  const TRGB left = out.GetPixelTriple(5, 5), right = out.GetPixelTriple(35, 5);
  EXPECT_EQ(right, Rgb(255, 255, 255)) << "layer 0 alone";
  EXPECT_NEAR(left.r, 255, 1);
  EXPECT_NEAR(left.g, Round(55.0 / 255 * 255), 1);  // white under 200/255 red
}

TEST_F(TFixTest, MergeMatchesPillowAlphaComposite) {
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 -c 'import PIL' 2>/dev/null"), 0) << "/usr/bin/python3 with PIL is not installed";
  gt_test::TempDir dir("merge");
  ASSERT_TRUE(dir.Ok());
  const Integer W = 37, H = 23;
  TZiduzUvView* v = MakeWhite(W, H);
  gt_test::Lcg rnd(12345);
  TIEBitmap* b0 = v->GetIEBitmap();
  AddSolid(v, W, H, 0, 0, kRed);
  TIELayer* l1 = v->GetCurrentLayer();
  l1->Transparency = 200;
  std::vector<uint8_t> lower, upper;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const TRGB c0 = Rgb(rnd.Next() & 255, rnd.Next() & 255, rnd.Next() & 255);
      const TRGB c1 = Rgb(rnd.Next() & 255, rnd.Next() & 255, rnd.Next() & 255);
      const Byte a0 = Byte(rnd.Next() & 255), a1 = Byte(rnd.Next() & 255);
      b0->SetPixelTriple(x, y, c0);
      b0->SetAlpha(x, y, a0);
      l1->Bitmap->SetPixelTriple(x, y, c1);
      l1->Bitmap->SetAlpha(x, y, a1);
      lower.insert(lower.end(), {c0.r, c0.g, c0.b, a0});
      upper.insert(upper.end(), {c1.r, c1.g, c1.b, std::min<Byte>(a1, 200)});
    }
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("lower.raw"), lower));
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("upper.raw"), upper));
  const std::string py = "from PIL import Image\n"
                         "s=(" + std::to_string(W) + "," + std::to_string(H) + ")\n"
                         "a=Image.frombytes('RGBA',s,open('" + dir.File("lower.raw") + "','rb').read())\n"
                         "b=Image.frombytes('RGBA',s,open('" + dir.File("upper.raw") + "','rb').read())\n"
                         "open('" + dir.File("out.raw") + "','wb').write(Image.alpha_composite(a,b).tobytes())\n";
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("c.py"), std::vector<uint8_t>(py.begin(), py.end())));
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 " + dir.File("c.py")), 0);
  const std::vector<uint8_t> ref = gt_test::ReadFileBytes(dir.File("out.raw"));
  ASSERT_EQ(ref.size(), size_t(W * H * 4));
  v->MergeLayers(0, 1, true);
  TIEBitmap* m = v->GetIEBitmap();
  ASSERT_TRUE(m->HasAlphaChannel());
  Integer bad = 0;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const uint8_t* r = &ref[size_t(y * W + x) * 4];
      const Byte a = m->GetAlpha(x, y);
      bad += std::abs(a - r[3]) > 1;
      // Pillow's integer arithmetic strays further from the exact colour
      // where the result is nearly transparent.
      if (r[3] < 16) continue;
      bad += !Near(m->GetPixelTriple(x, y), Rgb(r[0], r[1], r[2]), 2);
    }
  EXPECT_EQ(bad, 0);
}

TEST_F(TFixTest, MergeWithANavigatorKeepsItShowingTheCurrentPicture) {
  TZiduzUvView* v = MakeWhite(80, 60);
  TZiduzUvView* nav = MakeView(100, 100);
  AddSolid(v, 30, 30, 5, 5, kGreen);
  v->SetNavigator(nav, 0);
  EXPECT_EQ(nav->GetIEBitmap(), v->GetIEBitmap());
  v->MergeLayers(0, 1, true);
  ASSERT_EQ(v->Navigator(), nav);
  EXPECT_EQ(nav->GetIEBitmap(), v->GetIEBitmap());
  nav->Repaint();
  GtTestPump(5);
  delete v;  // the main view goes first, then the navigator with the form
}

}  // namespace
}  // namespace layersfix_tests

}  // namespace test_view_layersfix_tests
