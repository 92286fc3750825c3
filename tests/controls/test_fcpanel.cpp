// The framed panel and the group box on a shown form: frame and fill pixels,
// grids, the dialog-style groove with its caption gap, banner heights, group
// enabling of children, bottom-docked growth and edge-strip invalidation.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "controls/fcpanel.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/controls/fc_test_util.h"

namespace test_fcpanel_tests {

namespace {

// A shown form and the pixels of a window's surface as COLORREF values.
struct TFcForm {
  std::unique_ptr<TForm> Form{new TForm(nullptr)};
  TFcForm() {
    Form->SetBounds(0, 0, 300, 200);
    Form->Show();
  }
  template <class T>
  T* Add(Integer L, Integer T_, Integer W, Integer H, TWinControl* Parent = nullptr) {
    auto* c = new T(Form.get());
    c->SetParent(Parent ? Parent : Form.get());
    c->SetBounds(L, T_, W, H);
    return c;
  }
};

struct TShot {
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  explicit TShot(TWinControl* C) {
    C->Repaint();
    GtTestSurface(C->Handle(), Px, W, H);
  }
  COLORREF At(Integer X, Integer Y) const {
    const uint32_t v = Px[size_t(Y) * W + X];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  std::string Map(std::initializer_list<std::pair<char, COLORREF>> Legend, Integer X0 = 0, Integer Y0 = 0,
                  Integer X1 = -1, Integer Y1 = -1) const {
    if (X1 < 0) X1 = W;
    if (Y1 < 0) Y1 = H;
    std::string s;
    for (Integer y = Y0; y < Y1; ++y) {
      for (Integer x = X0; x < X1; ++x) {
        char ch = '?';
        for (auto& [k, v] : Legend)
          if ((v & 0xFFFFFF) == At(x, y)) {
            ch = k;
            break;
          }
        s += ch;
      }
      s += '\n';
    }
    return s;
  }
};

COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)) & 0xFFFFFF; }

TEST(FcPanel, DefaultRaisedFrameAndRoundedCornersOverTheFill) {
  TFcForm f;
  f.Form->SetColor(0x00FF00);
  auto* p = f.Add<TFcPanel>(5, 5, 10, 8);
  p->SetColor(0x3366CC);
  // The raised frame: light and dark-shadow ring, then highlight and shadow.
  const auto legend = std::initializer_list<std::pair<char, COLORREF>>{
      {'F', 0x3366CC}, {'l', Rgb(cl3DLight)}, {'D', Rgb(cl3DDkShadow)}, {'h', Rgb(clBtnHighlight)},
      {'s', Rgb(clBtnShadow)}, {'p', 0x00FF00}, {'r', Rgb(LightenColor(clBtnShadow, 30))}};
  EXPECT_EQ(TShot(p).Map(legend), Rows({"lllllllllD", "lhhhhhhhsD", "lhFFFFFFsD", "lhFFFFFFsD", "lhFFFFFFsD",
                                        "lhFFFFFFsD", "lssssssssD", "DDDDDDDDDD"}));
  EXPECT_EQ(p->ClientRect(), TRect(2, 2, 8, 6));

  // Rounded outer frame with nothing inside it: the fill reaches under the
  // outline, the cut corners show the parent, the corner pixels the flat colour.
  p->SetBorderOuter(fsFlatRounded);
  EXPECT_EQ(TShot(p).Map(legend), Rows({"pprrrrrrpp", "prFFFFFFrp", "rFFFFFFFFr", "rFFFFFFFFr", "rFFFFFFFFr",
                                        "rFFFFFFFFr", "prFFFFFFrp", "pprrrrrrpp"}));
}

TEST(FcPanel, GridDotsEveryCellAndNoneForAZeroCellSize) {
  TFcForm f;
  auto* p = f.Add<TFcPanel>(0, 0, 33, 17);
  p->SetBorderOuter(fsNone);
  p->SetColor(0xFFFFFF);
  p->SetGridColor(0x0000FF);
  p->SetShowGrid(true);
  const std::string dots = TShot(p).Map({{'.', 0xFFFFFF}, {'#', 0x0000FF}});
  std::string want;
  for (Integer y = 0; y < 17; ++y) {
    for (Integer x = 0; x < 33; ++x) want += (x % 8 == 7 && y % 8 == 7) ? '#' : '.';
    want += '\n';
  }
  EXPECT_EQ(dots, want);
  p->SetGridXSize(0);
  std::string blank;
  for (Integer y = 0; y < 17; ++y) blank += std::string(33, '.') + "\n";
  EXPECT_EQ(TShot(p).Map({{'.', 0xFFFFFF}, {'#', 0x0000FF}}), blank);
  p->SetGridXSize(8);
  p->SetGridStyle(gsSolidLines);
  const TShot lines(p);
  for (Integer y = 0; y < 17; ++y) EXPECT_EQ(lines.At(15, y), 0x0000FFu) << y;
  for (Integer x = 0; x < 33; ++x) EXPECT_EQ(lines.At(x, 7), 0x0000FFu) << x;
  EXPECT_EQ(lines.At(14, 6), 0xFFFFFFu);
}

TEST(FcPanel, TransparentChildShowsTheGradientPanelBeneath) {
  TFcForm f;
  auto* back = f.Add<TFcPanel>(0, 0, 60, 40);
  back->SetBorderOuter(fsNone);
  back->SetVisualStyle(vsGradient);
  back->SetGradientColorStyle(gcsCustom);
  back->SetGradientColorStart(0x0000FF);
  back->SetGradientColorStop(0xFF0000);
  auto* child = f.Add<TFcPanel>(10, 12, 20, 10, back);
  child->SetBorderOuter(fsNone);
  child->SetTransparent(true);
  const TShot under(back);
  const TShot over(child);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 20; ++x) ASSERT_EQ(over.At(x, y), under.At(10 + x, 12 + y)) << x << "," << y;
  EXPECT_NE(over.At(0, 0), over.At(0, 9));  // a gradient, not one colour
}

TEST(FcGroupBox, DialogLookIsAGrooveInterruptedByTheCaption) {
  TFcForm f;
  auto* g = f.Add<TFcGroupBox>(0, 0, 80, 40);
  g->SetGroupStyle(gsStandard);
  g->SetVisualStyle(vsClassic);
  g->SetColor(clBtnFace);
  g->Font()->SetName(u"DejaVu Sans");
  g->Font()->SetHeight(-11);
  g->Font()->SetColor(0x0000FF);
  g->SetCaption(u"&Size");
  const TRect cr = g->CaptionRect();
  ASSERT_EQ(cr.Left, 8);
  ASSERT_GT(cr.Right, cr.Left);
  const Integer half = g->Canvas()->TextHeight(u"Pp") / 2 - 1;
  const TShot s(g);
  const COLORREF sh = Rgb(clBtnShadow), hi = Rgb(clBtnHighlight), face = Rgb(clBtnFace);
  for (Integer x = 0; x < 79; ++x) {
    if (x >= cr.Left && x < cr.Right) {
      EXPECT_NE(s.At(x, half), sh) << x;  // the caption box interrupts the groove
      EXPECT_NE(s.At(x, half + 1), hi) << x;
      continue;
    }
    EXPECT_EQ(s.At(x, half), sh) << x;
    if (x >= 1) {
      EXPECT_EQ(s.At(x, half + 1), x == 78 ? sh : hi) << x;
    }
  }
  EXPECT_EQ(s.At(0, 39), hi);
  EXPECT_EQ(s.At(0, 38), sh);
  EXPECT_EQ(s.At(1, 38), sh);  // the upper-left ring's bottom line is drawn last
  EXPECT_EQ(s.At(1, 37), hi);
  EXPECT_EQ(s.At(79, 20), hi);
  EXPECT_EQ(s.At(40, 30), face);
  // Children start below the caption line, inside the groove.
  auto* child = f.Add<TFcPanel>(0, 0, 10, 10, g);
  child->SetAlign(alClient);
  const Integer h = g->Canvas()->TextHeight(u"Yy");
  EXPECT_EQ(child->Top(), h + 2);
  EXPECT_EQ(child->Left(), 2);

  g->SetCaption(u"");
  const TShot e(g);
  for (Integer x = 0; x < 79; ++x) EXPECT_EQ(e.At(x, half), sh) << x;
}

TEST(FcGroupBox, BannerHeightFollowsTheCaptionAndTheClientStartsBelowIt) {
  TFcForm f;
  auto* g = f.Add<TFcGroupBox>(0, 0, 80, 60);
  g->Font()->SetName(u"DejaVu Sans");
  g->Font()->SetSize(8);
  g->SetGroupStyle(gsBanner);
  g->SetCaption(u"Banner");
  TSize ext;
  g->Canvas()->SetFont(g->Font());
  ext = g->Canvas()->TextExtent(u"Banner");
  EXPECT_EQ(g->CaptionRect(), TRect(0, 0, 80, ext.cy + 6));
  auto* child = f.Add<TFcPanel>(0, 0, 10, 10, g);
  child->SetAlign(alClient);
  EXPECT_EQ(child->Top(), g->Canvas()->TextHeight(u"Yy") + 8);
  g->SetBannerHeight(30);
  EXPECT_EQ(g->CaptionRect(), TRect(0, 0, 80, 30));
  EXPECT_EQ(child->Top(), 30);
}

TEST(FcPanel, DisablingSavesChildStatesAndForgetsChildrenThatGo) {
  TFcForm f;
  auto* p = f.Add<TFcPanel>(0, 0, 100, 60);
  auto* a = f.Add<TFcPanel>(0, 0, 10, 10, p);
  auto* b = f.Add<TFcPanel>(20, 0, 10, 10, p);
  b->SetEnabled(false);
  // A child that lives in storage we control, so that its successor can take its address.
  alignas(TFcPanel) static unsigned char slot[sizeof(TFcPanel)];
  auto* gone = new (slot) TFcPanel(nullptr);
  gone->SetParent(p);
  gone->SetEnabled(false);

  p->SetEnabled(false);
  EXPECT_FALSE(a->Enabled());
  EXPECT_FALSE(b->Enabled());
  gone->~TFcPanel();
  auto* reborn = new (slot) TFcPanel(nullptr);  // same address, created while disabled
  reborn->SetParent(p);
  auto* added = f.Add<TFcPanel>(40, 0, 10, 10, p);

  p->SetEnabled(true);
  EXPECT_TRUE(a->Enabled());
  EXPECT_FALSE(b->Enabled());  // was disabled before: stays so
  EXPECT_TRUE(added->Enabled());
  EXPECT_TRUE(reborn->Enabled());  // not the freed child's saved state
  reborn->~TFcPanel();
}

class TStripPanel : public TFcPanel {
 public:
  using TFcPanel::TFcPanel;
  std::vector<TRect> Strips;

 protected:
  void InvalidateStrip(const TRect& R) override {
    Strips.push_back(R);
    TFcPanel::InvalidateStrip(R);
  }
};

TEST(FcPanel, BottomPanelsGrowUpwardAndSizeChangesInvalidateOnlyEdgeStrips) {
  TFcForm f;
  auto* bottom = f.Add<TFcPanel>(0, 0, 100, 30);
  bottom->SetAlign(alBottom);
  const Integer edge = bottom->Top() + bottom->Height();
  bottom->SetHeight(50);
  EXPECT_EQ(bottom->Top() + bottom->Height(), edge);
  EXPECT_EQ(bottom->Height(), 50);

  auto* p = f.Add<TStripPanel>(10, 10, 100, 40);
  p->SetFullRepaint(false);
  p->Strips.clear();
  p->SetBounds(10, 10, 90, 40);  // narrower: the new right frame and what was beyond it
  ASSERT_EQ(p->Strips.size(), 1u);
  EXPECT_EQ(p->Strips[0], TRect(87, 0, 100, 40));
  p->Strips.clear();
  p->SetBounds(10, 10, 90, 52);  // taller: the old bottom frame down to the new edge
  ASSERT_EQ(p->Strips.size(), 1u);
  EXPECT_EQ(p->Strips[0], TRect(0, 37, 90, 52));
  p->Strips.clear();
  p->SetCaption(u"text");  // a caption repaints everything
  p->SetBounds(10, 10, 95, 52);
  EXPECT_TRUE(p->Strips.empty());
}

}  // namespace

}  // namespace test_fcpanel_tests
