// The display pipeline of the single-image view on the headless platform:
// back buffer against an independent nearest-neighbour oracle, the window
// surface against the back buffer, background and overlays, partial
// re-renders, the delayed zoom filter, locks, and transitions.
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "display_test_util.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/view/ietransitions.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/colors.h"
#include "tests/support/wait.h"

namespace test_view_display_tests {

using namespace display_test;

namespace {

// The library's start-up: the format registry, the view's globals.
class TLibrary : public ::testing::Environment {
 public:
  void SetUp() override { IEStartup(); }
  void TearDown() override { IEShutdown(); }
};
[[maybe_unused]] const auto* const kLibrary = ::testing::AddGlobalTestEnvironment(new TLibrary);

class DisplayTest : public ViewTest {
 protected:
  // The surface of the view's window, cut to the view area.
  std::vector<uint32_t> Surface(TZiduzUvView* V) {
    std::vector<uint32_t> all, out;
    Integer w = 0, h = 0;
    EXPECT_TRUE(GtTestSurface(V->Handle(), all, w, h));
    const Integer vw = V->GetViewWidth(), vh = V->GetViewHeight();
    EXPECT_GE(w, vw);
    EXPECT_GE(h, vh);
    for (Integer y = 0; y < std::min(vh, h); ++y)
      for (Integer x = 0; x < std::min(vw, w); ++x) out.push_back(all[size_t(y) * size_t(w) + size_t(x)]);
    return out;
  }
  // Runs the pending paints.
  static void Settle() { GtTestPump(30); }
};

// A 640 x 480 picture written as PNG by ImageMagick from raw pixels, so the
// file does not come from this system's own writer.
std::string MakePngFixture() {
  const std::string dir = ::testing::TempDir();
  const std::string raw = dir + "/display_fixture.rgb", png = dir + "/display_fixture.png";
  {
    std::ofstream f(raw, std::ios::binary);
    for (Integer y = 0; y < 480; ++y)
      for (Integer x = 0; x < 640; ++x) {
        const uint32_t c = PatternAt(x, y);
        const char px[3] = {char(c >> 16), char(c >> 8), char(c)};
        f.write(px, 3);
      }
  }
  int status = 0;
  RunOutput("convert -size 640x480 -depth 8 rgb:" + raw + " png:" + png + " 2>&1", status);
  return status == 0 ? png : std::string();
}

TEST_F(DisplayTest, LoadedPictureAtZoom200ScrolledShowsTheNearestPixels) {
  const std::string png = MakePngFixture();
  ASSERT_FALSE(png.empty()) << "ImageMagick convert is needed";
  TZiduzUvView* v = MakeView(420, 300);
  v->GetIO()->LoadFromFile(Utf8ToWide(png));
  ASSERT_EQ(v->GetIEBitmap()->Width(), 640);
  ASSERT_EQ(v->GetIEBitmap()->Height(), 480);
  v->SetZoom(200);
  v->SetViewOrigin(100, 50);
  Settle();
  ASSERT_EQ(v->ViewX(), 100);
  ASSERT_EQ(v->ViewY(), 50);
  const Integer vw = v->GetViewWidth(), vh = v->GetViewHeight();
  TIEBitmap* bb = v->BackBuffer();
  ASSERT_EQ(bb->Width(), vw);
  ASSERT_EQ(bb->Height(), vh);
  EXPECT_FALSE(v->BackBufferDirty());
  std::string where;
  EXPECT_EQ(CountDiff(Pixels(bb), NearestOracle(vw, vh, 200, 100, 50), &where, vw), 0u) << where;
  EXPECT_EQ(CountDiff(Surface(v), Pixels(bb), &where, vw), 0u) << where;
}

// Zooms where the view's column tables are easy to get wrong, each with an
// origin that is not a multiple of the zoom.
TEST_F(DisplayTest, BackBufferFollowsTheOracleAcrossZoomsAndOrigins) {
  struct Case {
    Integer Zoom, OX, OY;
  } cases[] = {{100, 37, 11}, {300, 301, 95}, {700, 1403, 352}, {400, 4, 8}, {50, 20, 12}, {25, 0, 0}};
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 640, 480);
  v->Update();
  for (const Case& c : cases) {
    SCOPED_TRACE("zoom " + std::to_string(c.Zoom));
    v->SetZoom(c.Zoom);
    v->SetViewOrigin(c.OX, c.OY);
    Settle();
    const Integer vw = v->GetViewWidth(), vh = v->GetViewHeight();
    const Integer zw = 640 * c.Zoom / 100, zh = 480 * c.Zoom / 100;
    // The origin is snapped to the first pixel boundary at or before it.
    const Integer sx = v->ViewX() * 100 / c.Zoom * c.Zoom / 100, sy = v->ViewY() * 100 / c.Zoom * c.Zoom / 100;
    const Integer ox = v->OffsetX(), oy = v->OffsetY();
    ASSERT_EQ(ox, zw < vw ? (vw - zw) / 2 : 0);
    ASSERT_EQ(oy, zh < vh ? (vh - zh) / 2 : 0);
    std::vector<uint32_t> want;
    const uint32_t bg = uint32_t(ColorToRGB(v->Background()));
    const uint32_t bgRgb = ((bg & 0xFF) << 16) | (bg & 0xFF00) | ((bg >> 16) & 0xFF);
    for (Integer y = 0; y < vh; ++y)
      for (Integer x = 0; x < vw; ++x) {
        const Integer zx = sx + x - ox, zy = sy + y - oy;
        const bool in = x >= ox && y >= oy && zx < zw && zy < zh;
        want.push_back(in ? PatternAt(zx * 100 / c.Zoom, zy * 100 / c.Zoom) : bgRgb);
      }
    std::string where;
    EXPECT_EQ(CountDiff(Pixels(v->BackBuffer()), want, &where, vw), 0u) << where;
  }
}

TEST_F(DisplayTest, BackgroundIsPaintedOnlyWhereThePictureLeavesRoom) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  Integer backgrounds = 0;
  v->OnDrawBackground = [&](TObject*, TCanvas*, const TRect& R, bool& Handled) {
    ++backgrounds;
    EXPECT_EQ(R, TRect(0, 0, 200, 150));
    Handled = false;
  };
  // An opaque picture that fills the view: no background first.
  FillPattern(v->GetIEBitmap(), 400, 300);
  v->Update();
  Settle();
  EXPECT_EQ(backgrounds, 0);
  // A smaller one, and one whose alpha makes it see-through: background.
  FillPattern(v->GetIEBitmap(), 50, 40);
  v->Update();
  Settle();
  EXPECT_EQ(backgrounds, 1);
  FillPattern(v->GetIEBitmap(), 400, 300);
  v->GetIEBitmap()->GetAlphaChannel()->Fill(0);
  v->GetIEBitmap()->GetAlphaChannel()->SetFull(false);
  v->Update();
  Settle();
  EXPECT_EQ(backgrounds, 2);
  // With alpha 0 everywhere the whole view is background.
  const uint32_t bg = uint32_t(ColorToRGB(v->Background()));
  EXPECT_EQ(PixelOf(v->BackBuffer(), 100, 75), ((bg & 0xFF) << 16) | (bg & 0xFF00) | ((bg >> 16) & 0xFF));
  // Without alpha honoured the same picture is opaque again.
  v->SetEnableAlphaChannel(false);
  Settle();
  EXPECT_EQ(backgrounds, 2);
  EXPECT_EQ(PixelOf(v->BackBuffer(), 100, 75), PatternAt(100, 75));
  // A handler that paints it itself keeps the painter out.
  v->OnDrawBackground = [&](TObject*, TCanvas* C, const TRect& R, bool& Handled) {
    C->Brush()->SetColor(0x00FF00);
    C->FillRect(R);
    Handled = true;
  };
  FillPattern(v->GetIEBitmap(), 20, 20);
  v->SetEnableAlphaChannel(true);
  Settle();
  EXPECT_EQ(PixelOf(v->BackBuffer(), 0, 0), 0x00FF00u);
}

TEST_F(DisplayTest, ChessboardAndPhotoLikeBackgroundsThroughTheView) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  v->SetBackground(clWhite);
  FillPattern(v->GetIEBitmap(), 40, 30);
  v->SetBackgroundStyle(iebsChessboard);
  Settle();
  TIEBitmap* bb = v->BackBuffer();
  EXPECT_EQ(v->ChessboardSize(), 16);
  // The first square is one pixel wider than the others.
  EXPECT_EQ(PixelOf(bb, 16, 0), 0xFFFFFFu);
  EXPECT_EQ(PixelOf(bb, 17, 0), 0x000000u);
  EXPECT_EQ(PixelOf(bb, 0, 17), 0x000000u);
  EXPECT_EQ(PixelOf(bb, 17, 17), 0xFFFFFFu);
  // The picture sits centred over it.
  EXPECT_EQ(PixelOf(bb, 80, 60), PatternAt(0, 0));

  // Photo-like: grey surround, a black frame around the picture, and the
  // chessboard only under the picture (seen through its transparent alpha).
  v->GetIEBitmap()->GetAlphaChannel()->Fill(0);
  v->GetIEBitmap()->GetAlphaChannel()->SetFull(false);
  v->SetChessboardStyle(8, bsSolid);
  v->SetBackgroundStyle(iebsPhotoLike);
  Settle();
  EXPECT_EQ(PixelOf(bb, 0, 0), 0xB0B0B0u);
  EXPECT_EQ(PixelOf(bb, 79, 59), 0x000000u);
  EXPECT_EQ(PixelOf(bb, 120, 90), 0x000000u);
  EXPECT_EQ(PixelOf(bb, 121, 91), 0xB0B0B0u);
  EXPECT_EQ(PixelOf(bb, 80, 60), 0xFFFFFFu);   // first colour at the picture's corner
  EXPECT_EQ(PixelOf(bb, 89, 60), 0x000000u);   // after 8 + 1 pixels, the complement
}

TEST_F(DisplayTest, EmptyPictureLeavesNoStalePixels) {
  TZiduzUvView* v = MakeView(120, 90);
  v->SetScrollBars(ssNone);
  v->SetBackground(0x00FF00);  // green
  FillPattern(v->GetIEBitmap(), 300, 300);
  v->Update();
  Settle();
  EXPECT_EQ(PixelOf(v->BackBuffer(), 10, 10), PatternAt(10, 10));
  v->GetIEBitmap()->FreeImage(true);
  v->Update();
  Settle();
  for (Integer y = 0; y < 90; y += 7)
    for (Integer x = 0; x < 120; x += 7) ASSERT_EQ(PixelOf(v->BackBuffer(), x, y), 0x00FF00u) << x << "," << y;
}

TEST_F(DisplayTest, InvalidateRectDirtyReRendersOnlyThatRectangle) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  v->SetBackground(clWhite);
  v->SetBackgroundStyle(iebsChessboard);
  FillPattern(v->GetIEBitmap(), 60, 40);
  v->Update();
  Settle();
  const std::vector<uint32_t> whole = Pixels(v->BackBuffer());
  // Scribble over the back buffer, then re-render one rectangle that holds
  // background and picture.
  TIEBitmap* bb = v->BackBuffer();
  for (Integer y = 0; y < 150; ++y) std::memset(bb->GetScanline(y), 0x55, 200 * 3);
  Integer renders = 0;
  v->OnDrawBackBuffer = [&](TObject*) { ++renders; };
  const TRect r(30, 40, 110, 80);
  v->InvalidateRectDirty(r);
  EXPECT_TRUE(v->BackBufferDirty());
  Settle();
  EXPECT_EQ(renders, 1);
  for (Integer y = 0; y < 150; ++y)
    for (Integer x = 0; x < 200; ++x) {
      const bool in = x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom;
      ASSERT_EQ(PixelOf(bb, x, y), in ? whole[size_t(y) * 200 + size_t(x)] : 0x555555u) << x << "," << y;
    }
}

TEST_F(DisplayTest, ResizedBackBufferIsRenderedWholeForAPartialPaint) {
  TZiduzUvView* v = MakeView(100, 80);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 400, 300);
  v->Update();
  Settle();
  v->SetBounds(0, 0, 160, 120);
  // Only a corner is asked for, but the new storage holds nothing yet.
  v->PaintBackBufferTo(TRect(0, 0, 10, 10));
  ASSERT_EQ(v->BackBuffer()->Width(), 160);
  std::string where;
  EXPECT_EQ(CountDiff(Pixels(v->BackBuffer()), NearestOracle(160, 120, 100, v->ViewX(), v->ViewY()), &where, 160),
            0u)
      << where;
}

TEST_F(DisplayTest, WindowKeepsItsPixelsWhileThePaintIsLocked) {
  TZiduzUvView* v = MakeView(100, 80);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 100, 80, 0xFF0000);
  v->Update();
  Settle();
  EXPECT_EQ(Surface(v)[0], 0xFF0000u);
  v->LockPaint();
  FillSolid(v->GetIEBitmap(), 100, 80, 0x0000FF);
  v->Update();
  Settle();
  EXPECT_EQ(Surface(v)[0], 0xFF0000u);
  EXPECT_EQ(v->UnlockPaint(), 0);
  Settle();
  EXPECT_EQ(Surface(v)[0], 0x0000FFu);
}

TEST_F(DisplayTest, UpdateUnderTheUpdateLockChangesNothing) {
  TZiduzUvView* v = MakeView(100, 80);
  FillSolid(v->GetIEBitmap(), 100, 80, 0xFF0000);
  v->Update();
  Settle();
  ASSERT_FALSE(v->BackBufferDirty());
  ASSERT_FALSE(v->PaintAll());
  const Integer updates = v->UpdateCount();
  Integer renders = 0;
  v->OnDrawBackBuffer = [&](TObject*) { ++renders; };
  v->LockUpdate();
  v->SetUpdateReason(3);
  FillSolid(v->GetIEBitmap(), 100, 80, 0x0000FF);
  v->Update();
  Settle();
  EXPECT_EQ(v->UpdateReason(), 3);
  EXPECT_EQ(v->UpdateCount(), updates);
  EXPECT_FALSE(v->BackBufferDirty());
  EXPECT_FALSE(v->PaintAll());
  EXPECT_EQ(renders, 0);
  EXPECT_EQ(Surface(v)[0], 0xFF0000u);
  v->UnlockUpdate();
  Settle();
  EXPECT_EQ(renders, 1);
  EXPECT_EQ(Surface(v)[0], 0x0000FFu);
}

// A paint re-renders a dirty back buffer, copies it, then hands the window
// canvas to OnDrawCanvas (what it draws reaches the window) and ends with
// OnPaint; under the paint lock nothing is copied and OnDrawCanvas is not
// asked, but OnPaint still comes.
TEST_F(DisplayTest, PaintEventsComeInOrderAndDrawOnTheWindow) {
  TZiduzUvView* v = MakeView(100, 80);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 100, 80, 0xFF0000);
  v->Update();
  Settle();
  std::vector<std::string> events;
  v->OnDrawBackBuffer = [&](TObject*) { events.push_back("backbuffer"); };
  v->OnDrawCanvas = [&](TObject* S, TCanvas* C, const TRect& R) {
    EXPECT_EQ(S, v);
    EXPECT_EQ(R, TRect(0, 0, 100, 80));
    events.push_back("canvas");
    C->Brush()->SetColor(0x00FF00);  // green, in TColor order
    C->FillRect(TRect(0, 0, 4, 4));
  };
  v->OnPaint = [&](TObject*) { events.push_back("paint"); };
  v->Update();
  Settle();
  EXPECT_EQ(events, (std::vector<std::string>{"backbuffer", "canvas", "paint"}));
  std::vector<uint32_t> s = Surface(v);
  EXPECT_EQ(s[0], 0x00FF00u);
  EXPECT_EQ(s[size_t(3) * 100 + 3], 0x00FF00u);
  EXPECT_EQ(s[4], 0xFF0000u);
  events.clear();
  v->LockPaint();
  v->Invalidate();
  Settle();
  EXPECT_EQ(events, std::vector<std::string>{"paint"});
  v->UnlockPaintQuiet();
  v->OnDrawBackBuffer = nullptr;
  v->OnDrawCanvas = nullptr;
  v->OnPaint = nullptr;
}

TEST_F(DisplayTest, ViewWithoutParentNeverGrowsItsBackBuffer) {
  auto* v = new TZiduzUvView(Form.get());  // owned by the form, never parented
  FillPattern(v->GetIEBitmap(), 300, 200);
  v->Update();
  v->SetZoom(200);
  v->SetViewOrigin(10, 10);
  v->PaintBackBufferTo(TRect(0, 0, 50, 50));
  v->InvalidateRectDirty(TRect(0, 0, 5, 5));
  GtTestPump(30);
  EXPECT_EQ(v->BackBuffer()->Width(), 10);
  EXPECT_EQ(v->BackBuffer()->Height(), 10);
  EXPECT_EQ(v->GetViewWidth(), 50);
}

TEST_F(DisplayTest, VersionTextSitsInTheBottomRightCorner) {
  TZiduzUvView* v = MakeView(300, 200);
  v->SetScrollBars(ssNone);
  v->SetBackground(0x808080);
  FillSolid(v->GetIEBitmap(), 2, 2, 0x808080);
  v->Update();
  Settle();
  v->SetDrawVersion(true);
  Settle();
  const std::vector<uint32_t> s = Surface(v);
  // The same text drawn by the painter itself on a grey bitmap.
  TBitmap ref;
  ref.SetPixelFormat(pf24bit);
  ref.SetSize(300, 200);
  ref.Canvas()->Brush()->SetColor(0x808080);
  ref.Canvas()->FillRect(TRect(0, 0, 300, 200));
  IEDrawVersionText(ref.Canvas(), 300, 200);
  EXPECT_EQ(IEVersionText(), u"ZiduzUv Version 3.0.4 - 26/9/2009");
  ref.Canvas()->Font()->SetName(u"Arial");
  ref.Canvas()->Font()->SetHeight(13);
  const TSize ext = ref.Canvas()->TextExtent(IEVersionText());
  ASSERT_GT(ext.cx, 50);
  Integer dark = 0;
  for (Integer y = 0; y < 200; ++y)
    for (Integer x = 0; x < 300; ++x) {
      const auto* p = static_cast<const Byte*>(ref.ScanLine(y)) + 3 * x;
      const uint32_t want = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      ASSERT_EQ(s[size_t(y) * 300 + size_t(x)], want) << x << "," << y;
      const bool inBox = x >= 300 - ext.cx && y >= 200 - ext.cy;
      if (!inBox) {
        ASSERT_EQ(want, 0x808080u);
      }
      if (inBox && (want & 0xFF) < 0x40) ++dark;
    }
  EXPECT_GT(dark, 20);
}

TEST_F(DisplayTest, GridAndPixelGridAreDrawn) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 200, 150, 0x204060);
  v->Update();
  Settle();
  // The grid goes onto the window outside the paint.
  v->SetGridDivisions(3);
  v->DrawGrid(90, 60, 0, 0);
  GtTestPump(20);
  std::vector<uint32_t> s = Surface(v);
  EXPECT_EQ(s[size_t(20) * 200 + 10], 0xA0A0A0u);
  EXPECT_EQ(s[size_t(40) * 200 + 10], 0xA0A0A0u);
  EXPECT_EQ(s[size_t(10) * 200 + 30], 0xA0A0A0u);
  EXPECT_EQ(s[size_t(10) * 200 + 60], 0xA0A0A0u);
  EXPECT_EQ(s[size_t(10) * 200 + 45], 0x204060u);
  EXPECT_EQ(s[size_t(100) * 200 + 150], 0x204060u);

  // The pixel grid inverts the lines between picture pixels from zoom 400 on.
  v->SetPixelGrid(true);
  v->SetZoom(300);
  Settle();
  EXPECT_EQ(PixelOf(v->BackBuffer(), 3, 5), 0x204060u);
  v->SetZoom(400);
  Settle();
  EXPECT_EQ(PixelOf(v->BackBuffer(), 4, 5), 0xDFBF9Fu);
  EXPECT_EQ(PixelOf(v->BackBuffer(), 5, 5), 0x204060u);
  EXPECT_EQ(PixelOf(v->BackBuffer(), 6, 4), 0xDFBF9Fu);
}

TEST_F(DisplayTest, DisplayedImageAndBackBufferBitmapAreTheBackBuffer) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 60, 40);
  v->Update();
  Settle();
  TBitmap* b = v->GetBackBufferBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Width(), 200);
  TBitmap out;
  out.SetPixelFormat(pf24bit);
  out.SetSize(60, 40);
  v->CopyDisplayedImageTo(out.Canvas());
  for (Integer y = 0; y < 40; ++y)
    for (Integer x = 0; x < 60; ++x) {
      const auto* p = static_cast<const Byte*>(out.ScanLine(y)) + 3 * x;
      ASSERT_EQ((uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0], PatternAt(x, y)) << x << "," << y;
    }
  // The background alone, as the transition engine asks for it.
  v->SetBackground(0x0000FF);  // red: TColor holds blue in its high byte
  TBitmap bg;
  bg.SetPixelFormat(pf24bit);
  bg.SetSize(v->Width(), v->Height());
  v->PaintBackgroundTo(bg.Canvas());
  const auto* p = static_cast<const Byte*>(bg.ScanLine(3));
  EXPECT_EQ(p[0], 0x00);  // B, G, R order
  EXPECT_EQ(p[2], 0xFF);
}

TEST(DisplayCopyPath, ScreenDepthAndSessionChooseTheCopy) {
  struct Case {
    bool DrawDib;
    Integer Bpp;
    bool Remote, Shaded;
    TIEBackBufferCopy Want;
  } cases[] = {
      {false, 24, false, false, iebcBlockCopy}, {false, 32, false, true, iebcShaded},
      {true, 24, false, false, iebcDrawDib},    {true, 24, true, false, iebcBlockCopy},
      {false, 8, false, false, iebcDrawDib},    {false, 8, true, true, iebcShaded},
      {false, 16, false, false, iebcHalftone},  {false, 16, true, false, iebcBlockCopy},
      {false, 23, false, false, iebcHalftone},  {false, 9, false, true, iebcHalftone},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IEBackBufferCopyPath(c.DrawDib, c.Bpp, c.Remote, c.Shaded), c.Want)
        << c.DrawDib << " " << c.Bpp << " " << c.Remote << " " << c.Shaded;
}

TEST_F(DisplayTest, DibDrawingCopiesTheSamePixels) {
  TZiduzUvView* v = MakeView(160, 120);
  v->SetScrollBars(ssNone);
  v->SetUseDrawDib(true);
  FillPattern(v->GetIEBitmap(), 300, 200);
  v->SetZoom(150);
  v->SetViewOrigin(31, 17);
  Settle();
  std::string where;
  EXPECT_EQ(CountDiff(Surface(v), Pixels(v->BackBuffer()), &where, 160), 0u) << where;
}

// After a scroll at 200 % with a delayed filter, the view is drawn without
// the filter at once, and with it when the fourth outline pass ends.
TEST_F(DisplayTest, DelayedZoomFilterRedrawsFilteredAfterFourPasses) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 400, 300);
  v->Update();
  v->SetZoom(200);
  v->SetZoomFilter(rfFastLinear);
  v->SetDelayZoomFilter(true);
  ASSERT_TRUE(
      GtTestPumpUntil([&] { return v->FilterDelayCount() == 0 && v->FastFramesCount() == 0; }, gt_test::kWaitMs));
  Settle();
  const std::vector<uint32_t> nearest = NearestOracle(200, 150, 200, 60, 40);
  struct Render {
    bool Nearest;
    Integer Delay;
  };
  std::vector<Render> renders;
  v->OnDrawBackBuffer = [&](TObject*) {
    std::string w;
    renders.push_back({CountDiff(Pixels(v->BackBuffer()), nearest, &w, 200) == 0, v->FilterDelayCount()});
  };
  v->SetViewOrigin(60, 40);
  ASSERT_EQ(renders.size(), 1u);
  EXPECT_TRUE(renders[0].Nearest);
  // The paint was the first pass.
  EXPECT_EQ(v->FilterDelayCount(), 3);
  EXPECT_EQ(v->FastFramesCount(), 1);
  EXPECT_TRUE(v->OutlineTimerEnabled());
  // Three timer ticks later the filter delay is over and the view updates.
  ASSERT_TRUE(GtTestPumpUntil([&] { return renders.size() >= 2; }, gt_test::kWaitMs));
  Settle();
  ASSERT_EQ(renders.size(), 2u);
  EXPECT_FALSE(renders[1].Nearest);
  EXPECT_EQ(renders[1].Delay, 0);
  EXPECT_FALSE(v->OutlineTimerEnabled());
  // Filtered pixels lie between their neighbours: column 1 of the view sits
  // between picture pixels 30 and 31.
  const uint32_t got = PixelOf(v->BackBuffer(), 1, 0), a = PatternAt(30, 20), b = PatternAt(31, 20);
  for (Integer sh : {0, 8, 16}) {
    const Integer g = Integer((got >> sh) & 255), lo = Integer(std::min((a >> sh) & 255, (b >> sh) & 255)),
                  hi = Integer(std::max((a >> sh) & 255, (b >> sh) & 255));
    EXPECT_GE(g, lo - 1);
    EXPECT_LE(g, hi + 1);
  }
}

TEST_F(DisplayTest, FastFramesAloneKeepTheTimerUntilTheyRunOut) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 400, 300);
  v->Update();
  v->SetZoom(200);
  ASSERT_TRUE(GtTestPumpUntil([&] { return v->FastFramesCount() == 0; }, gt_test::kWaitMs));
  v->SetViewOrigin(20, 20);  // no filter: only the fast frames count
  EXPECT_EQ(v->FilterDelayCount(), 0);
  EXPECT_EQ(v->FastFramesCount(), 1);
  EXPECT_TRUE(v->OutlineTimerEnabled());
  ASSERT_TRUE(GtTestPumpUntil([&] { return v->FastFramesCount() == 0; }, gt_test::kWaitMs));
  GtTestPump(20);
  // The next pass sees nothing to count and stops the timer.
  EXPECT_TRUE(GtTestPumpUntil([&] { return !v->OutlineTimerEnabled(); }, gt_test::kWaitMs));
}

// ---------------------------------------------------------------------------
// Transitions

TEST_F(DisplayTest, TransitionCrossFadesFromStartToEndAndStops) {
  TZiduzUvView* v = MakeView(120, 90);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 120, 90, 0xFF0000);
  v->Update();
  Settle();
  v->CaptureTransitionStart();
  ASSERT_TRUE(v->HasTransition());
  EXPECT_EQ(v->GetTransition()->StartFrame()->Width(), 120);
  FillSolid(v->GetIEBitmap(), 120, 90, 0x0000FF);
  v->Update();
  std::vector<std::pair<Integer, uint32_t>> frames;
  v->SetOnTransitionPaint([&](TObject*, TBitmap* B, TIETransitionEffects*, Integer Step) {
    const auto* p = static_cast<const Byte*>(B->ScanLine(45)) + 3 * 60;
    frames.push_back({Step, (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0]});
  });
  Integer stops = 0;
  v->SetOnTransitionStop([&](TObject* S) {
    EXPECT_EQ(S, v);
    ++stops;
  });
  v->RunTransition(iettCrossDissolve, 250);
  EXPECT_EQ(v->TransitionType(), 0);
  EXPECT_EQ(v->TransitionDuration(), 250);
  EXPECT_TRUE(v->GetTransition()->Running());
  ASSERT_TRUE(GtTestPumpUntil([&] { return stops == 1; }, gt_test::kWaitMs));
  ASSERT_GE(frames.size(), 3u);
  EXPECT_EQ(frames.front().first, 0);
  EXPECT_EQ(frames.front().second, 0xFF0000u);
  EXPECT_EQ(frames.back().first, 1024);
  EXPECT_EQ(frames.back().second, 0x0000FFu);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_GE(frames[i].first, frames[i - 1].first);
    EXPECT_LE(frames[i].second >> 16, frames[i - 1].second >> 16);
    EXPECT_GE(frames[i].second & 255, frames[i - 1].second & 255);
  }
  bool between = false;
  for (const auto& f : frames) between |= (f.second >> 16) > 0 && (f.second >> 16) < 255;
  EXPECT_TRUE(between);
  EXPECT_EQ(v->GetTransition()->StartFrame()->Width(), 1);
  Settle();
  EXPECT_EQ(Surface(v)[0], 0x0000FFu);
}

TEST_F(DisplayTest, TransitionOfZeroDurationRunsOneMillisecond) {
  TZiduzUvView* v = MakeView(80, 60);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 80, 60, 0x00FF00);
  v->Update();
  Settle();
  v->CaptureTransitionStart();
  Integer stops = 0;
  v->SetOnTransitionStop([&](TObject*) { ++stops; });
  v->RunTransition(iettCrossDissolve, 0);
  EXPECT_EQ(v->TransitionDuration(), 1);
  EXPECT_EQ(v->GetTransition()->Duration(), 1);
  EXPECT_TRUE(GtTestPumpUntil([&] { return stops == 1; }, gt_test::kWaitMs));
  v->RunTransition(iettCrossDissolve, -50);
  EXPECT_EQ(v->TransitionDuration(), 1);
  // Without a captured start there is no frame to start from: nothing runs.
  EXPECT_FALSE(v->GetTransition()->Running());
}

TEST_F(DisplayTest, PanZoomEndsAtTheEndRectangle) {
  TZiduzUvView* v = MakeView(200, 150);
  v->SetScrollBars(ssNone);
  FillPattern(v->GetIEBitmap(), 800, 600);
  v->Update();
  Settle();
  v->CaptureTransitionStart();
  v->GetTransition()->PanZoomEndRect = TRect(100, 50, 300, 200);
  v->RunTransition(iettPanZoom, 100);
  // 200 x 150 image pixels into a 200 x 150 view: zoom 100 at (100, 50).
  EXPECT_DOUBLE_EQ(v->ZoomX(), 100);
  EXPECT_EQ(v->ViewX(), 100);
  EXPECT_EQ(v->ViewY(), 50);
  EXPECT_EQ(v->TransitionType(), 0);
  v->GetTransition()->Stop();
  v->CaptureTransitionStart();
  v->GetTransition()->PanZoomEndRect = TRect(0, 0, 400, 300);
  v->RunTransition(iettPanZoom, 100);
  EXPECT_DOUBLE_EQ(v->ZoomX(), 50);
  v->GetTransition()->Stop();
}

TEST_F(DisplayTest, SizeChangeAndBlankStopARunningTransition) {
  TZiduzUvView* v = MakeView(80, 60);
  v->SetScrollBars(ssNone);
  FillSolid(v->GetIEBitmap(), 80, 60, 0x00FF00);
  v->Update();
  Settle();
  v->CaptureTransitionStart();
  v->RunTransition(iettCrossDissolve, 5000);
  ASSERT_TRUE(v->GetTransition()->Running());
  v->SetBounds(0, 0, 90, 70);
  GtTestPump(20);
  EXPECT_FALSE(v->GetTransition()->Running());
  // Blanking the view stops one too.
  v->CaptureTransitionStart();
  v->RunTransition(iettCrossDissolve, 5000);
  ASSERT_TRUE(v->GetTransition()->Running());
  v->Blank();
  EXPECT_FALSE(v->GetTransition()->Running());
  EXPECT_TRUE(v->IsEmpty());
}

}  // namespace

}  // namespace test_view_display_tests
