// Compositing of placed layers: a mixed stack against an ImageMagick
// composite, the area outside layer 0, the magnifier, rotated layers (small
// and huge), a mask that moves against its layer, grips, and flattening.
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/colors.h"
#include "tests/support/files.h"
#include "tests/support/pnm.h"
#include "tests/support/temp_dir.h"
#include "view_test_util.h"

// Internals of the layer compositor, declared here only for the tests.
double IELayerSupersample(Integer W, Integer H, double Angle);
extern int64_t IELayerRotationMaxPixels;

namespace test_view_compositing_tests {

using namespace view_test;

namespace {

class TCompTest : public StartedViewTest {
 protected:
  // The view's whole client area as drawn, background and layers.
  static std::unique_ptr<TIEBitmap> Draw(TZiduzUvView* V, Integer W, Integer H) {
    auto t = std::make_unique<TIEBitmap>();
    EXPECT_TRUE(t->Allocate(W, H, ie24RGB));
    V->DrawLayers(t.get(), nullptr, nullptr, true, false);
    return t;
  }
};

TRGB Px(TIEBitmap* B, Integer X, Integer Y) { return B->GetPixelTriple(X, Y); }
// A triple from red, green and blue (the record keeps them the other way round).
TRGB Rgb(Integer R, Integer G, Integer B) { return TRGB{Byte(B), Byte(G), Byte(R)}; }

// An ie24RGB picture as P6, an ie8g one as P5, through the shared writer.
bool WritePnm(TIEBitmap* B, const std::string& Path) {
  const bool grey = B->PixelFormat() == ie8g;
  std::vector<int> samples;
  for (Integer y = 0; y < B->Height(); ++y)
    for (Integer x = 0; x < B->Width(); ++x) {
      if (grey) {
        samples.push_back(B->GetPixelByte(x, y));
        continue;
      }
      const TRGB c = Px(B, x, y);
      samples.insert(samples.end(), {c.r, c.g, c.b});
    }
  return gt_test::WritePnmSamples(Path, B->Width(), B->Height(), grey ? 1 : 3, 255, samples);
}

TEST_F(TCompTest, MixedStackMatchesImageMagick) {
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick is not installed";
  gt_test::TempDir dir("comp");
  ASSERT_TRUE(dir.Ok());
  TZiduzUvView* v = MakeView(100, 100);
  SetPicture(v, 60, 40);
  TIEBitmap* b0 = v->GetIEBitmap();
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) b0->SetPixelTriple(x, y, Rgb(x * 4, y * 6, 200 - x - y));
  // Layer 1: 30 x 20 at (-10, -5), half transparent, with its own alpha,
  // cropped to layer 0, masked by layer 2.
  v->AddLayer();
  TIEBitmap* b1 = v->GetIEBitmap();
  ASSERT_TRUE(b1->Allocate(30, 20, ie24RGB));
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x) {
      b1->SetPixelTriple(x, y, Rgb(255 - 7 * x, 40 + 9 * y, 90 + 3 * x));
      b1->SetAlpha(x, y, Byte(60 + 6 * x));
    }
  TIELayer* l1 = v->GetCurrentLayer();
  l1->PosX = -10;
  l1->PosY = -5;
  l1->Transparency = 128;
  l1->Cropped = true;
  v->AddLayer();
  TIEBitmap* m = v->GetIEBitmap();
  ASSERT_TRUE(m->Allocate(30, 20, ie8g));
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x) m->SetPixelByte(x, y, Byte(y < 12 ? 255 : 90));
  TIELayer* l2 = v->GetCurrentLayer();
  l2->IsMask = true;
  l2->Visible = false;
  l2->PosX = -10;
  l2->PosY = -5;
  TIEBitmap out;
  v->RenderLayersTo(&out);
  ASSERT_EQ(out.Width(), 60);
  ASSERT_EQ(out.Height(), 40);
  EXPECT_FALSE(out.HasAlphaChannel());
  // The mask layer keeps its own format (it is read through a grey copy).
  EXPECT_EQ(m->PixelFormat(), ie8g);

  TIEBitmap a1;
  ASSERT_TRUE(a1.Allocate(30, 20, ie8g));
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x) a1.SetPixelByte(x, y, b1->GetAlpha(x, y));
  ASSERT_TRUE(WritePnm(b0, dir.File("b0.ppm")));
  ASSERT_TRUE(WritePnm(b1, dir.File("b1.ppm")));
  ASSERT_TRUE(WritePnm(&a1, dir.File("a1.pgm")));
  ASSERT_TRUE(WritePnm(m, dir.File("m.pgm")));
  // Alpha = min(own, mask, 128); the layer over layer 0 at (-10, -5).
  const std::string cmd = "convert " + dir.File("b0.ppm") + " \\( " + dir.File("b1.ppm") + " \\( " +
                          dir.File("a1.pgm") + " " + dir.File("m.pgm") +
                          " -compose darken -composite -evaluate min 50.19607843% \\) -alpha off "
                          "-compose CopyOpacity -composite \\) -geometry -10-5 -compose over -composite -depth 8 " +
                          dir.File("ref.ppm");
  ASSERT_EQ(gt_test::Shell(cmd), 0);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ReadPnm(dir.File("ref.ppm"), ref));
  ASSERT_EQ(ref.Width, 60);
  ASSERT_EQ(ref.Height, 40);
  // The renderer mixes by t / 256 with truncation; ImageMagick by t / 255
  // rounded: the two differ by up to 2 levels.
  Integer worst = 0;
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const TRGB c = Px(&out, x, y);
      worst = std::max({worst, std::abs(c.r - ref.At(x, y, 0)), std::abs(c.g - ref.At(x, y, 1)),
                        std::abs(c.b - ref.At(x, y, 2))});
    }
  EXPECT_LE(worst, 2);
  // And the layer really shows: the top-left pixel is not layer 0's.
  EXPECT_NE(Px(&out, 0, 0).r, Px(b0, 0, 0).r);
  delete v;
}

TEST_F(TCompTest, OutsideLayerZero) {
  const TColor bg = TColor(0x00000AFA);  // red 250, green 10, blue 0
  struct TCase {
    Byte Mode;
    Integer X, Y;
    TRGB Want;
  };
  // Layer 0 (20 x 20 grey 50) is centred in a 100 x 100 view: drawn at (40, 40).
  const TCase cases[] = {
      {2, 39, 39, Rgb(128, 128, 128)}, {2, 38, 39, Rgb(250, 10, 0)}, {2, 60, 40, Rgb(250, 10, 0)},
      {2, 61, 41, Rgb(128, 128, 128)}, {2, 45, 45, Rgb(50, 50, 50)},  {3, 39, 39, Rgb(255, 70, 60)},
      {3, 60, 40, Rgb(255, 70, 60)},   {3, 59, 59, Rgb(50, 50, 50)},   {0, 39, 39, Rgb(250, 10, 0)},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Mode) << " at " << c.X << "," << c.Y);
    TZiduzUvView* v = MakeView(100, 100);
    SetPicture(v, 20, 20);
    v->GetIEBitmap()->Fill(double(0x323232));
    v->SetBackground(bg);
    v->SetLayersCropping(c.Mode);
    v->SetLayersCroppingValue(60);
    ASSERT_EQ(v->OffsetX(), 40);
    auto t = Draw(v, 100, 100);
    const TRGB p = Px(t.get(), c.X, c.Y);
    EXPECT_EQ(p.r, c.Want.r);
    EXPECT_EQ(p.g, c.Want.g);
    EXPECT_EQ(p.b, c.Want.b);
    delete v;
  }
}

TEST_F(TCompTest, MagnifierDoublesTheAreaUnderIt) {
  for (Byte source : {Byte(0), Byte(1)}) {
    SCOPED_TRACE(int(source));
    TZiduzUvView* v = MakeView(300, 100);
    SetPicture(v, 200, 50);
    TIEBitmap* b0 = v->GetIEBitmap();
    for (Integer y = 0; y < 50; ++y)
      for (Integer x = 0; x < 200; ++x) b0->SetPixelTriple(x, y, Rgb(x, 4 * y, 7));
    v->AddLayer();
    ASSERT_TRUE(v->GetIEBitmap()->Allocate(200, 20, ie24RGB));
    TIELayer* l = v->GetCurrentLayer();
    l->Magnify.Enabled = true;
    l->Magnify.Rate = 2;
    l->Magnify.Source = source;
    TIEBitmap out;
    v->RenderLayersTo(&out);
    ASSERT_EQ(out.Width(), 200);
    // A 100 x 10 area centred on the layer, (50, 5) .. (149, 14), stretched
    // to the layer's 200 x 20.
    Integer wrong = 0;
    for (Integer y = 0; y < 20; ++y)
      for (Integer x = 0; x < 200; ++x) {
        const TRGB c = Px(&out, x, y);
        wrong += std::abs(c.r - (50 + x / 2)) > 1 || std::abs(c.g - 4 * (5 + y / 2)) > 4;
      }
    EXPECT_EQ(wrong, 0);
    // Below the magnifier layer 0 shows as it is.
    EXPECT_EQ(Px(&out, 10, 30).r, 10);
    // A smaller display size is drawn through a copy: the layer keeps its pixels.
    l->Width = 120;
    v->RenderLayersTo(&out);
    EXPECT_EQ(l->Bitmap->Width(), 200);
    delete v;
  }
}

TEST_F(TCompTest, RotatedLayerBoxAndCorners) {
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 200, 200);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(40, 20, ie24RGB));
  v->GetIEBitmap()->Fill(double(0x0000FF));
  TIELayer* l = v->GetCurrentLayer();
  l->PosX = 50;
  l->PosY = 50;
  l->SetRotate(90);
  auto t = Draw(v, 200, 200);
  // The placement fields are the user's again after the draw.
  EXPECT_EQ(l->PosX, 50);
  EXPECT_EQ(l->Width, 0);
  const TRect b = l->ClientAreaBox;
  EXPECT_NEAR(b.Width(), 20, 1);
  EXPECT_NEAR(b.Height(), 40, 1);
  // Turned about its centre (70, 60): corners at x 60 / 80 and y 40 / 80.
  std::set<std::pair<Integer, Integer>> corners;
  for (const TPoint& p : l->DrawnCorners) {
    const Integer cx = std::abs(p.X - 60) <= 1 ? 60 : std::abs(p.X - 80) <= 1 ? 80 : -1;
    const Integer cy = std::abs(p.Y - 40) <= 1 ? 40 : std::abs(p.Y - 80) <= 1 ? 80 : -1;
    corners.insert({cx, cy});
  }
  EXPECT_EQ(corners, (std::set<std::pair<Integer, Integer>>{{60, 40}, {80, 40}, {80, 80}, {60, 80}}));
  // Red inside the turned layer, layer 0 (black) outside it. The turned
  // copy carries an alpha channel, and the renderer mixes by t / 256, so
  // an opaque pixel over black comes out at 254.
  EXPECT_GE(Px(t.get(), 70, 60).r, 254);
  EXPECT_GE(Px(t.get(), 70, 45).r, 254);
  EXPECT_EQ(Px(t.get(), 55, 60).r, 0);
  // A point inside the turned quadrilateral is in the layer.
  EXPECT_TRUE(v->IsPointInLayer(70, 75, 1));
  EXPECT_FALSE(v->IsPointInLayer(50, 55, 1));
  delete v;
}

TEST_F(TCompTest, HugeRotatedLayerStaysUnderTheCap) {
  struct TCase {
    Integer W, H;
    double Angle;
  };
  for (const TCase c : {TCase{8000, 6000, 30}, TCase{40, 20, 90}, TCase{100000, 3, 45}}) {
    const double k = IELayerSupersample(c.W, c.H, c.Angle);
    const double a = c.Angle * M_PI / 180, g = std::fabs(std::cos(a)) + std::fabs(std::sin(a));
    EXPECT_GT(k, 0);
    EXPECT_LE(k, 5);
    EXPECT_LE(c.W * k * c.H * k * g * g, double(IELayerRotationMaxPixels) + 1);
  }
  // A small layer gets the full five-fold supersample.
  EXPECT_EQ(IELayerSupersample(40, 20, 90), 5);
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 100, 100);
  v->SetZoom(2);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(8000, 6000, ie8g));
  v->GetIEBitmap()->Fill(200);
  TIELayer* l = v->GetCurrentLayer();
  l->SetRotate(30);
  auto t = Draw(v, 200, 200);
  // The layer was drawn: its turned corners were recorded.
  const TPoint* c = l->DrawnCorners;
  EXPECT_FALSE(c[0] == c[1] && c[1] == c[2]);
  delete v;
}

TEST_F(TCompTest, MovingALayerAgainstItsMaskChangesTheAlpha) {
  TZiduzUvView* v = MakeView(100, 100);
  SetPicture(v, 60, 20);
  v->GetIEBitmap()->Fill(0);
  v->AddLayer();
  v->GetIEBitmap()->Fill(double(0xFFFFFF));  // white layer over black
  v->AddLayer();
  TIEBitmap* m = v->GetIEBitmap();
  // A 24-bit mask: white on the left 20 columns, black elsewhere.
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 60; ++x) m->SetPixelTriple(x, y, x < 20 ? TRGB{255, 255, 255} : TRGB{0, 0, 0});
  v->GetCurrentLayer()->IsMask = true;
  v->GetCurrentLayer()->Visible = false;
  TIEBitmap out;
  v->RenderLayersTo(&out);
  // Opaque through the mask (the renderer's t / 256 mixing gives 254).
  EXPECT_GE(Px(&out, 10, 5).r, 254);
  EXPECT_EQ(Px(&out, 30, 5).r, 0);
  // The layer moves 20 to the right; the mask stays: now its columns
  // 20..39 lie over the mask's white part.
  v->Layers(1)->PosX = 20;
  v->Update();
  out.Allocate(1, 1, ie24RGB);
  v->RenderLayersTo(&out);
  EXPECT_EQ(Px(&out, 10, 5).r, 0);
  EXPECT_EQ(Px(&out, 30, 5).r, 0);
  v->Layers(2)->PosX = 20;
  v->Update();
  v->RenderLayersTo(&out);
  EXPECT_GE(Px(&out, 30, 5).r, 254);
  // The mask layer itself is untouched.
  EXPECT_EQ(m->PixelFormat(), ie24RGB);
  EXPECT_FALSE(m->HasAlphaChannel());
  delete v;
}

TEST_F(TCompTest, LayerGrips) {
  TZiduzUvView* v = MakeView(200, 200);
  SetPicture(v, 200, 200);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(40, 20, ie24RGB));
  TIELayer* l = v->GetCurrentLayer();
  l->PosX = 30;
  l->PosY = 50;
  Draw(v, 200, 200);
  ASSERT_EQ(l->ClientAreaBox, TRect(30, 50, 70, 70));
  TRect r[8];
  v->GetLayerGripRects(1, r);
  const TPoint centres[8] = {{30, 50}, {70, 50}, {70, 70}, {30, 70}, {30, 60}, {70, 60}, {50, 50}, {50, 70}};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(r[i], TRect(centres[i].X - 5, centres[i].Y - 5, centres[i].X + 5, centres[i].Y + 5)) << i;
  struct TCase {
    Integer X, Y;
    TIEGrip Grip;
  };
  for (const TCase c : {TCase{30, 50, ieTopLeft}, TCase{35, 55, ieTopLeft}, TCase{36, 50, TIEGrip(0)},
                        TCase{70, 70, ieBottomRight}, TCase{50, 45, ieTopSide}, TCase{50, 60, TIEGrip(0)}})
    EXPECT_EQ(v->FindLayerGrip(c.X, c.Y), c.Grip) << c.X << "," << c.Y;
  // Turned a quarter: the grips follow the drawn corners.
  l->SetRotate(90);
  Draw(v, 200, 200);
  v->GetLayerGripRects(1, r);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(r[i], TRect(l->DrawnCorners[i].X - 5, l->DrawnCorners[i].Y - 5, l->DrawnCorners[i].X + 5,
                          l->DrawnCorners[i].Y + 5));
  const TPoint c0 = l->DrawnCorners[0], c3 = l->DrawnCorners[3];
  EXPECT_EQ(r[4].Left + 5, (c0.X + c3.X) / 2);
  EXPECT_EQ(v->FindLayerGrip(c0.X, c0.Y), ieTopLeft);
  delete v;
}

TEST_F(TCompTest, FlattenShowsBackgroundUnderTransparency) {
  TZiduzUvView* v = MakeView(100, 100);
  SetPicture(v, 50, 40);
  v->SetBackground(TColor(0xFF0000));  // blue
  TIEBitmap* b0 = v->GetIEBitmap();
  b0->Fill(double(0x0000FF));  // red
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 50; ++x) b0->SetAlpha(x, y, x < 25 ? 255 : 0);
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(10, 10, ie24RGB));
  v->GetIEBitmap()->Fill(double(0x00FF00));  // green
  v->GetCurrentLayer()->PosX = 5;
  v->GetCurrentLayer()->PosY = 5;
  v->FlattenLayers();
  ASSERT_EQ(v->LayersCount(), 1);
  TIEBitmap* f = v->GetIEBitmap();
  EXPECT_EQ(f->PixelFormat(), ie24RGB);
  EXPECT_FALSE(f->HasAlphaChannel());
  EXPECT_EQ(f->Width(), 50);
  EXPECT_EQ(f->Height(), 40);
  // Layer 0 carries an alpha channel, mixed by t / 256: opaque red gives 254.
  const TRGB red = Px(f, 20, 30), blue = Px(f, 40, 30), green = Px(f, 8, 8);
  EXPECT_GE(red.r, 254);
  EXPECT_EQ(red.g + red.b, 0);
  EXPECT_EQ((std::vector<int>{blue.r, blue.g, blue.b}), (std::vector<int>{0, 0, 255}));
  EXPECT_EQ((std::vector<int>{green.r, green.g, green.b}), (std::vector<int>{0, 255, 0}));
  delete v;
}

}  // namespace

}  // namespace test_view_compositing_tests
