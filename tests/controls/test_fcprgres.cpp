// The progress bar: fill extents, clamped drawing of large percentages, the
// LED layout, parts, the split-colour text and the style switches.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "controls/fcprgres.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"

namespace test_fcprgres_tests {

namespace {

struct TBarForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TFcProgressBar* Bar;
  TBarForm(Integer W, Integer H) {
    Form->SetClientWidth(260);
    Form->SetClientHeight(160);
    Form->Show();
    Bar = new TFcProgressBar(Form.get());
    Bar->SetParent(Form.get());
    Bar->SetBounds(4, 4, W, H);
  }
  // The bar's pixels as the form's surface holds them (0x00RRGGBB).
  std::vector<uint32_t> Pixels() {
    Bar->Repaint();
    std::vector<uint32_t> px, out;
    Integer w = 0, h = 0;
    GtTestSurface(Form->Handle(), px, w, h);
    for (Integer y = 0; y < Bar->Height(); ++y)
      for (Integer x = 0; x < Bar->Width(); ++x) out.push_back(px[size_t(Bar->Top() + y) * w + Bar->Left() + x]);
    return out;
  }
};

uint32_t Qt(COLORREF C) { return (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C); }

TEST(FcProgressBar, FillExtentsAndPercentagesAboveOneHundredDrawAsFull) {
  TBarForm f(104, 14);  // a 100 x 10 bar area inside the two-pixel lowered frame
  TFcProgressBar* b = f.Bar;
  struct TCase { Word Percent; Integer Fill; };
  const TCase cases[] = {{0, 0}, {1, 1}, {50, 50}, {99, 99}, {100, 100}, {150, 100}, {65535, 100}};
  for (const TCase& c : cases) {
    b->SetPercent(c.Percent);
    TRect fill, rest;
    b->SetOrientation(orHorizontal);
    b->FillExtent(TRect(2, 2, 102, 12), fill, rest);
    EXPECT_EQ(fill, TRect(2, 2, 2 + c.Fill, 12)) << c.Percent;
    EXPECT_EQ(rest, TRect(2 + c.Fill, 2, 102, 12)) << c.Percent;
    b->SetOrientation(orVertical);
    b->FillExtent(TRect(2, 2, 12, 102), fill, rest);
    EXPECT_EQ(fill, TRect(2, 102 - c.Fill, 12, 102)) << c.Percent;
    EXPECT_EQ(rest, TRect(2, 2, 12, 102 - c.Fill)) << c.Percent;
  }
  b->SetOrientation(orHorizontal);
  EXPECT_EQ(b->Percent(), 65535);  // stored as given
  for (TBarStyle st : {bsTraditional, bsLED, bsGradient}) {
    b->SetBarStyle(st);
    b->SetShowPercent(false);
    b->SetPercent(100);
    const auto full = f.Pixels();
    for (Word p : {Word(150), Word(65535)}) {
      b->SetPercent(p);
      EXPECT_EQ(f.Pixels(), full) << int(st) << " " << p;
    }
  }
  b->SetBarStyle(bsTraditional);
  b->SetShowPercent(false);
  b->SetBarColor(0x0000FF);
  b->SetBackColor(0xFFFFFF);
  b->SetPercent(50);
  const auto px = f.Pixels();
  for (Integer x = 2; x < 102; ++x) EXPECT_EQ(px[size_t(7) * 104 + x], x < 52 ? Qt(0x0000FF) : Qt(0xFFFFFF)) << x;
}

TEST(FcProgressBar, LedLayoutSegmentsAndMargins) {
  struct TCase { Integer Length, Segments, Size, Count, Margin; };
  const TCase cases[] = {
      {60, 20, 6, 10, 0}, {205, 20, 10, 20, 2}, {79, 12, 7, 11, 1}, {200, 20, 10, 20, 0}, {81, 12, 6, 13, 1},
  };
  for (const TCase& c : cases) {
    const TFcLedLayout l = FcLedLayout(c.Length, c.Segments);
    EXPECT_EQ(l.Size, c.Size) << c.Length << "/" << c.Segments;
    EXPECT_EQ(l.Count, c.Count) << c.Length << "/" << c.Segments;
    EXPECT_EQ(l.Margin, c.Margin) << c.Length << "/" << c.Segments;
  }
  // 60 pixels of segments: ten of six, each outlined in the back colour.
  TBarForm f(66, 16);  // frame 2 + interior offset 1 on each side leaves 60 x 10
  f.Bar->SetBarStyle(bsLED);
  f.Bar->SetBarColor(0x0000FF);
  f.Bar->SetBackColor(0xFFFFFF);
  f.Bar->SetPercent(30);
  const auto px = f.Pixels();
  std::string row;
  for (Integer x = 3; x < 63; ++x) row += px[size_t(8) * 66 + x] == Qt(0x0000FF) ? '#' : '.';
  EXPECT_EQ(row, std::string(".####..####..####.") + std::string(42, '.'));
  f.Bar->SetPercent(65535);  // never more than the ten segments there are
  const auto all = f.Pixels();
  row.clear();
  for (Integer x = 0; x < 66; ++x) row += all[size_t(8) * 66 + x] == Qt(0x0000FF) ? '#' : '.';
  std::string ten;
  for (int i = 0; i < 10; ++i) ten += ".####.";
  EXPECT_EQ(row, "..." + ten + "...");
}

TEST(FcProgressBar, PartsTextAndStyleSwitches) {
  TBarForm f(200, 24);
  TFcProgressBar* b = f.Bar;
  std::vector<Integer> changes;
  b->OnChange = [&](TObject*, Integer p) { changes.push_back(p); };
  b->SetPercent(40);
  b->SetPartsComplete(5);  // no total: limited to 0, the percentage stays
  EXPECT_EQ(b->PartsComplete(), 0u);
  EXPECT_EQ(b->Percent(), 40);
  b->SetTotalParts(3);
  EXPECT_EQ(b->Percent(), 0);
  b->SetPartsComplete(1);
  EXPECT_EQ(b->Percent(), 33);
  b->SetPartsComplete(2);
  EXPECT_EQ(b->Percent(), 67);
  b->SetPartsComplete(9);
  EXPECT_EQ(b->PartsComplete(), 3u);
  EXPECT_EQ(b->Percent(), 100);
  EXPECT_EQ(changes, (std::vector<Integer>{40, 0, 33, 67, 100}));

  b->SetPercent(50);
  EXPECT_EQ(b->BarText(), u" 50%");
  b->SetHint(u"Saving");
  EXPECT_EQ(b->BarText(), u"Saving 50%");
  b->SetShowParts(true);
  EXPECT_EQ(b->BarText(), u"3 / 3");
  b->SetShowParts(false);
  b->SetBarStyle(bsGradient);
  EXPECT_EQ(b->BarText(), u"50%");

  b->SetBarStyle(bsLED);
  EXPECT_FALSE(b->ShowPercent());
  EXPECT_EQ(b->InteriorOffset(), 1);
  EXPECT_TRUE(b->BarText().empty());
  b->SetBarStyle(bsTraditional);
  EXPECT_TRUE(b->ShowPercent());
  EXPECT_EQ(b->InteriorOffset(), 0);

  b->SetBounds(4, 4, 24, 120);
  EXPECT_EQ(b->Orientation(), orVertical);
  b->SetBounds(4, 4, 120, 24);
  EXPECT_EQ(b->Orientation(), orHorizontal);
}

TEST(FcProgressBar, PercentTextChangesColourExactlyAtTheFillEdge) {
  TBarForm f(124, 24);
  TFcProgressBar* b = f.Bar;
  b->Font()->SetName(u"DejaVu Sans");
  b->Font()->SetHeight(-14);
  b->Font()->SetQuality(fqNonAntialiased);
  b->SetBarColor(0x800000);
  b->SetBackColor(0xFFFFFF);
  b->SetPercent(50);  // the text " 50%" is centred on the fill edge at x = 62
  const auto px = f.Pixels();
  const uint32_t bar = Qt(0x800000), back = Qt(0xFFFFFF);
  int textInFill = 0, textInRest = 0;
  for (Integer y = 2; y < 22; ++y)
    for (Integer x = 2; x < 122; ++x) {
      const uint32_t v = px[size_t(y) * 124 + x];
      ASSERT_TRUE(v == bar || v == back) << x << "," << y;
      if (x < 62 && v == back) ++textInFill;
      if (x >= 62 && v == bar) ++textInRest;
    }
  EXPECT_GT(textInFill, 10);
  EXPECT_GT(textInRest, 10);
}

}  // namespace

}  // namespace test_fcprgres_tests
