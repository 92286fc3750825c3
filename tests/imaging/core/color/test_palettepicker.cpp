// The palette picker window driven by synthetic input.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "imaging/core/color/iepalettepicker.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/stdctrls.h"
#include "platform/ui/testsupport.h"

namespace test_palettepicker_tests {

namespace {

class PalettePicker : public ::testing::Test {
 protected:
  void SetUp() override {
    for (Integer i = 0; i < 256; ++i) Colors[i] = TRGB{Byte(i), Byte(255 - i), Byte(i / 2 + 10)};
  }
  // Runs Execute while a timer plays the steps one after another.
  bool Run(TZiduzUvPaletteDialog& D, std::vector<std::function<void()>> Steps) {
    TTimer t(nullptr);
    size_t next = 0;
    t.SetInterval(15);
    t.OnTimer = [&](TObject*) {
      if (next < Steps.size()) Steps[next++]();
      if (next >= Steps.size()) t.SetEnabled(false);
    };
    const bool r = D.Execute();
    EXPECT_EQ(next, Steps.size()) << "closed before every step ran";
    return r;
  }
  static TColor ColorOf(const TRGB& C) { return TColor(RGB(C.r, C.g, C.b)); }
  TRGB Colors[256];
};

}  // namespace

TEST_F(PalettePicker, HoverPicksCellsAndClickReturnsTheCurrentColour) {
  TZiduzUvPaletteDialog d(nullptr);
  d.SetPalette(Colors, 256);
  EXPECT_EQ(d.Caption(), u"Palette");
  EXPECT_EQ(d.CurrentCell(), -1);
  std::vector<Integer> cells;
  std::vector<uint32_t> surface;
  Integer sw = 0, sh = 0;
  auto move = [&](Integer X, Integer Y) {
    return [&, X, Y] {
      GtTestMouse(d.Handle(), gmaMove, gmbNone, X, Y);
      GtTestPump(5);
      cells.push_back(d.CurrentCell());
    };
  };
  const bool ok = Run(d, {move(1, 1), move(513, 1), move(17, 1),
                          [&] { GtTestSurface(d.Handle(), surface, sw, sh); },
                          move(1, 17),
                          // Off the grid: the last hovered cell stays current.
                          move(300, 150), [&] { GtTestClick(d.Handle(), gmbLeft, 300, 150); }});
  EXPECT_TRUE(ok);
  // A pointer right of the 32nd column addresses the first cell of the next row.
  EXPECT_EQ(cells, (std::vector<Integer>{0, 32, 1, 32, 32}));
  EXPECT_EQ(d.SelectedColor, ColorOf(Colors[32]));

  // Painted while cell 1 was current: its frame black, the others white, the
  // inside the cell's colour.
  ASSERT_GT(sw, 40);
  ASSERT_GT(sh, 40);
  auto px = [&](Integer X, Integer Y) { return surface[size_t(Y) * sw + X]; };
  const TRGB& c1 = Colors[1];
  EXPECT_EQ(px(17, 1), 0u);
  EXPECT_EQ(px(31, 15), 0u);
  EXPECT_EQ(px(1, 1), 0xFFFFFFu);
  EXPECT_EQ(px(24, 8), (uint32_t(c1.r) << 16) | (uint32_t(c1.g) << 8) | c1.b);
}

TEST_F(PalettePicker, CellsWithoutColourAreNotPicked) {
  TZiduzUvPaletteDialog d(nullptr);
  d.SetPalette(Colors, 20);
  std::vector<Integer> cells;
  auto move = [&](Integer X, Integer Y) {
    return [&, X, Y] {
      GtTestMouse(d.Handle(), gmaMove, gmbNone, X, Y);
      GtTestPump(5);
      cells.push_back(d.CurrentCell());
    };
  };
  d.SelectedColor = 0x123456;
  const bool ok = Run(d, {move(17, 1), move(25 * 16 + 1, 1), move(513, 1),
                          [&] { GtTestKey(d.Handle(), true, VK_ESCAPE); }});
  EXPECT_FALSE(ok);
  EXPECT_EQ(cells, (std::vector<Integer>{1, 1, 1}));
  EXPECT_EQ(d.SelectedColor, 0x123456);
}

TEST_F(PalettePicker, ClickWithoutCurrentCellDoesNothing) {
  TZiduzUvPaletteDialog d(nullptr);
  d.SetPalette(Colors, 20);
  d.SelectedColor = 0x123456;
  bool openAfterClick = false;
  const bool ok = Run(d, {[&] { GtTestClick(d.Handle(), gmbLeft, 300, 150); },
                          [&] {
                            GtTestPump(10);
                            openAfterClick = d.Visible() && d.ModalResult() == mrNone;
                          },
                          [&] { GtTestClick(d.CancelButton()->Handle(), gmbLeft, 5, 5); }});
  EXPECT_FALSE(ok);
  EXPECT_TRUE(openAfterClick);
  EXPECT_EQ(d.CurrentCell(), -1);
  EXPECT_EQ(d.SelectedColor, 0x123456);
}

}  // namespace test_palettepicker_tests
