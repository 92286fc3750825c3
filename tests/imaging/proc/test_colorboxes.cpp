// The histogram control and the HSV colour picker off-screen: its geometry and ramps, picking and
// dragging, clamped setters that never report, and indicators that come off
// exactly.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/proc/iehistogrambox.h"
#include "imaging/proc/iehsvbox.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/graphics/bitmap.h"

namespace test_colorboxes_tests {

namespace colorbox_tests {
namespace {

// The box with its mouse handlers reachable.
class Box : public THSVBox {
 public:
  Box() : THSVBox(nullptr) {}
  using THSVBox::MouseDown;
  using THSVBox::MouseMove;
  using THSVBox::MouseUp;
  void Click(Integer X, Integer Y) {
    MouseDown(mbLeft, TShiftState{}, X, Y);
    MouseUp(mbLeft, TShiftState{}, X, Y);
  }
};

std::vector<Byte> Bytes(TBitmap* B) {
  std::vector<Byte> v;
  for (Integer y = 0; y < B->Height(); ++y) {
    const auto* r = static_cast<const Byte*>(B->ScanLine(y));
    v.insert(v.end(), r, r + size_t(B->Width()) * 3);
  }
  return v;
}

TRGB Pixel(TBitmap* B, Integer X, Integer Y) {
  const auto* p = static_cast<const Byte*>(B->ScanLine(Y)) + X * 3;
  TRGB c{};
  c.b = p[0];
  c.g = p[1];
  c.r = p[2];
  return c;
}

TRGB Hsv(Integer H, Integer S, Integer V) {
  TRGB c{};
  IEHSVToRGB(c, H, S, V);
  return c;
}


TEST(HSVBox, PicksSaturationValueAndHueFromWhereTheMouseIs) {
  Box b;
  Integer changes = 0;
  b.OnChange = [&](TObject* S) {
    EXPECT_EQ(S, &b);
    ++changes;
  };
  // 105 x 105: the square is 105 - 5 - 20 = 80 wide.
  struct Case {
    Integer X, Y;
    Integer Hue, Sat, Val;
  } cases[] = {
      {79, 0, 0, 99, 99},    // the square's top right
      {0, 104, 0, 0, 0},     // its bottom left
      {40, 52, 0, 50, 49},   // Round(40 / 79 x 99) = 50, 99 - Round(52 / 104 x 99) = 99 - 50 (49.5 to even)
      {90, 0, 359, 50, 49},  // the hue bar's top row
      {104, 104, 0, 50, 49}, // its bottom row
      {82, 30, 0, 50, 49},   // the gap: nothing
  };
  Integer expectChanges = 0;
  for (const Case& c : cases) {
    b.Click(c.X, c.Y);
    if (c.X < 80 || c.X >= 85) ++expectChanges;  // not the gap
    EXPECT_EQ((std::vector<Integer>{b.Hue(), b.Sat(), b.Val()}), (std::vector<Integer>{c.Hue, c.Sat, c.Val}))
        << c.X << "," << c.Y;
  }
  EXPECT_EQ(changes, expectChanges);
  const TRGB now = Hsv(b.Hue(), b.Sat(), b.Val());
  EXPECT_EQ(b.Color(), TColor(now.r | now.g << 8 | now.b << 16));
}

TEST(HSVBox, DraggingStaysOnThePartWhereItStarted) {
  Box b;
  b.MouseDown(mbLeft, TShiftState{}, 10, 10);
  b.MouseMove(TShiftState{}, 300, -40);  // far right and above: the square's top-right edge
  EXPECT_EQ(b.Sat(), 99);
  EXPECT_EQ(b.Val(), 99);
  EXPECT_EQ(b.Hue(), 0);  // never switched to the bar
  b.MouseUp(mbLeft, TShiftState{}, 300, -40);
  b.MouseMove(TShiftState{}, 10, 104);  // no button: nothing
  EXPECT_EQ(b.Val(), 99);
  b.MouseDown(mbLeft, TShiftState{}, 100, 104);
  b.MouseMove(TShiftState{}, 0, 0);  // into the square: picks the bar's left column, top
  EXPECT_EQ(b.Hue(), 359);
  EXPECT_EQ(b.Sat(), 99);
  b.MouseUp(mbLeft, TShiftState{}, 0, 0);
}

TEST(HSVBox, SettersClampAndNeverReport) {
  Box b;
  Integer changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  const std::pair<Integer, Integer> hues[] = {{400, 359}, {360, 359}, {-1, 0}, {200, 200}};
  for (auto [in, out] : hues) {
    b.SetHue(in);
    EXPECT_EQ(b.Hue(), out) << in;
  }
  b.SetSat(-5);
  EXPECT_EQ(b.Sat(), 0);
  b.SetSat(100);
  EXPECT_EQ(b.Sat(), 99);
  b.SetVal(150);
  EXPECT_EQ(b.Val(), 99);
  b.SetRGB(255, 0, 0);
  EXPECT_EQ(b.Hue(), 0);
  EXPECT_EQ(b.Red(), 255);
  EXPECT_EQ(b.Color(), TColor(0x0000FF));
  EXPECT_EQ(changes, 0);
}

TEST(HSVBox, TheSquareAndBarShowTheirRampsAndTheIndicatorsComeOffExactly) {
  Box b;
  b.SetHue(120);
  b.SetSat(0);
  b.SetVal(0);
  TBitmap* bm = b.Bitmap();
  // Value grows upward in steps of 100 / 105, saturation rightward in steps
  // of 100 / 80, both truncated; the hue bar from 0 at the bottom.
  EXPECT_TRUE(Pixel(bm, 40, 0) == Hsv(120, 50, 99));
  EXPECT_TRUE(Pixel(bm, 79, 52) == Hsv(120, 98, 49));
  const TRGB bar = Pixel(bm, 95, 104 - 52), hue178 = Hsv(178, 99, 99);
  EXPECT_TRUE(bar == hue178) << int(bar.r) << "," << int(bar.g) << "," << int(bar.b) << " for "
                             << int(hue178.r) << "," << int(hue178.g) << "," << int(hue178.b);  // Trunc(52 x 360 / 105)
  const TRGB gap = Pixel(bm, 82, 50);
  EXPECT_TRUE(Pixel(bm, 84, 10) == gap);
  // Moving the indicators away and back leaves the same pixels: each
  // change erases them by drawing them again.
  const std::vector<Byte> before = Bytes(bm);
  b.SetSat(60);
  b.SetVal(30);
  EXPECT_NE(Bytes(bm), before);
  b.SetSat(0);
  b.SetVal(0);
  EXPECT_EQ(Bytes(bm), before);
  b.SetHue(10);
  b.SetHue(120);
  EXPECT_EQ(Bytes(bm), before);
}

TEST(HSVBox, ABoxTooNarrowOrOnePixelHighIgnoresTheMouse) {
  Box b;
  b.SetBounds(0, 0, 60, 1);
  Integer changes = 0;
  b.OnChange = [&](TObject*) { ++changes; };
  b.Click(10, 0);   // one pixel high: no value scale to pick from
  b.Click(55, 0);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(b.Sat(), 0);
  b.SetBounds(0, 0, 25, 50);  // 25 - 5 - 20 = 0: no square at all
  b.Click(0, 10);
  b.Click(24, 10);
  EXPECT_EQ(changes, 0);
}

// ---------------------------------------------------------------------------
// Histogram

// A gray picture of N pixels: Levels[i] pixels at level i (the rest at 0).
void GrayPicture(TIEBitmap& B, Integer W, Integer H, std::vector<std::pair<Integer, Integer>> Levels) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  Integer k = 0;
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      Integer v = 0, seen = 0;
      for (auto [level, count] : Levels) {
        if (k >= seen && k < seen + count) v = level;
        seen += count;
      }
      B.SetPixelTriple(x, y, TRGB{Byte(v), Byte(v), Byte(v)});
      ++k;
    }
}

// Column X of the box from the top: '#' where the pixel is black, '.' for
// the white background, '?' for anything else.
std::string Column(TBitmap* B, Integer X) {
  std::string s;
  for (Integer y = 0; y < B->Height(); ++y) {
    const TRGB p = Pixel(B, X, y);
    s += p.r == 0 && p.g == 0 && p.b == 0 ? '#' : (p.r == 255 && p.g == 255 && p.b == 255 ? '.' : '?');
  }
  return s;
}

struct Histo {
  TIEBitmap Picture;
  TZiduzUvProc Proc{nullptr};
  THistogramBox Box{nullptr};
  Histo() {
    Box.SetLabels(THistogramLabels{});
    Box.SetCompBar(false);
  }
  void Attach() {
    Proc.SetAttachedIEBitmap(&Picture);
    Box.SetAttachedZiduzUvProc(&Proc);
    Box.Update();
  }
};

TEST(HistogramBox, BarsRiseInProportionToTheLargestCount) {
  Histo t;
  // 16 pixels: 8 at level 10, 4 at 200, 4 at 255 on a 256-wide graph, so
  // column x shows level x; heights of 105: 105, Round(52.5) = 52, 52.
  GrayPicture(t.Picture, 4, 4, {{10, 8}, {200, 4}, {255, 4}});
  t.Attach();
  TBitmap* b = t.Box.Bitmap();
  ASSERT_EQ(b->Width(), 256);
  EXPECT_EQ(Column(b, 10), std::string(105, '#'));
  EXPECT_EQ(Column(b, 200), std::string(53, '.') + std::string(52, '#'));
  EXPECT_EQ(Column(b, 255), std::string(53, '.') + std::string(52, '#'));
  EXPECT_EQ(Column(b, 11), std::string(105, '.'));
  // A count far below the largest still shows one pixel as a bar, and
  // lies on the base line as a line.
  GrayPicture(t.Picture, 64, 64, {{50, 1}});
  t.Box.Update();
  EXPECT_EQ(Column(b, 50), std::string(104, '.') + "#");
  t.Box.SetHistogramStyle(hsLines);
  EXPECT_EQ(Column(b, 50), std::string(105, '.'));
  EXPECT_EQ(Column(b, 0), std::string(105, '#'));  // the line climbs from the base to level 0's top
}

TEST(HistogramBox, GrayColourShowsOnlyAfterTheNextUpdate) {
  Histo t;
  GrayPicture(t.Picture, 4, 4, {{10, 16}});
  t.Attach();
  t.Box.SetGrayColor(TColor(0x0000FF));
  EXPECT_EQ(Column(t.Box.Bitmap(), 10), std::string(105, '#'));
  t.Box.Update();
  const TRGB p = Pixel(t.Box.Bitmap(), 10, 50);
  EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{255, 0, 0}));
}

TEST(HistogramBox, TheColourRampIsCutToTheBitmapAndStopsAt255) {
  Histo t;
  GrayPicture(t.Picture, 4, 4, {{10, 16}});
  t.Attach();
  t.Box.SetBounds(0, 0, 600, 80);
  t.Box.SetCompBar(true);
  TBitmap* b = t.Box.Bitmap();
  ASSERT_EQ(b->Width(), 600);
  // Round(x / 600 x 256): 0 at the left, 128 in the middle, and 255, not
  // 256 wrapped to 0, in the last column.
  for (auto [x, v] : {std::pair{0, 0}, {300, 128}, {599, 255}, {598, 255}}) {
    const TRGB p = Pixel(b, x, 79);
    EXPECT_EQ((std::vector<int>{p.r, p.g, p.b}), (std::vector<int>{v, v, v})) << x;
  }
  // Only red shown: the ramp is red.
  t.Box.SetHistogramKind(THistogramKind{hkRed});
  const TRGB red = Pixel(b, 300, 79);
  EXPECT_EQ((std::vector<int>{red.r, red.g, red.b}), (std::vector<int>{128, 0, 0}));
  // A box lower than the ramp: its rows are cut to the bitmap.
  t.Box.SetBounds(0, 0, 600, 4);
  EXPECT_EQ(b->Height(), 4);
  const TRGB top = Pixel(b, 300, 0);
  EXPECT_EQ((std::vector<int>{top.r, top.g, top.b}), (std::vector<int>{128, 0, 0}));
}

TEST(HistogramBox, WithoutAPictureOrAfterItsProcessorIsFreedOnlyTheBackgroundShows) {
  auto proc = std::make_unique<TZiduzUvProc>(nullptr);
  THistogramBox box(nullptr);
  box.SetLabels(THistogramLabels{});
  box.SetAttachedZiduzUvProc(proc.get());
  box.Update();
  EXPECT_EQ(Column(box.Bitmap(), 0), std::string(105, '.'));
  TIEBitmap picture;
  GrayPicture(picture, 4, 4, {{0, 16}});
  proc->SetAttachedIEBitmap(&picture);
  box.Update();
  EXPECT_NE(Column(box.Bitmap(), 128), std::string(105, '.'));
  proc.reset();
  EXPECT_EQ(box.AttachedZiduzUvProc(), nullptr);
  box.Update();
  EXPECT_EQ(Column(box.Bitmap(), 128), std::string(105, '.'));
}

}  // namespace
}  // namespace colorbox_tests

}  // namespace test_colorboxes_tests
