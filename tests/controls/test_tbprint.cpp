// Printing a window that draws its own frame: its client and its children,
// each at its place, as the window shows them.
#include "tests/controls/tbtest.h"

#include <vector>

#include "controls/tbcommon.h"
#include "tests/platform/graphics/gdi_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_tbprint_tests {

namespace {

class TbPrint : public UiTest {};

TEST_F(TbPrint, ChildrenArePrintedAtTheirPlaces) {
  TRecorder* P = AddRecorder(10, 10, 120, 90);
  auto* Kid = new TRecorder(P);
  Kid->SetBounds(30, 20, 40, 30);
  Kid->SetParent(P);
  GtTestPump(30);
  std::vector<uint32_t> Grab;
  Integer GW = 0, GH = 0;
  ASSERT_TRUE(GtTestGrab(P->Handle(), Grab, GW, GH));
  ASSERT_EQ(GW, 120);

  for (const LPARAM Flags : {LPARAM(0x1E), LPARAM(PRF_CLIENT | PRF_ERASEBKGND)}) {
    TTestDib Dib(120, 90, 24, RGB(1, 2, 3), true);
    TMessage M;
    M.Msg = WM_PRINT;
    M.WParam = reinterpret_cast<WPARAM>(Dib.DC);
    M.LParam = Flags;
    EmulatePrint(P->Handle(), M, nullptr, nullptr);
    EXPECT_EQ(M.Result, 1);
    Integer Differ = 0, ChildDiffer = 0;
    for (Integer Y = 0; Y < GH; ++Y)
      for (Integer X = 0; X < GW; ++X) {
        const COLORREF C = Dib.At(X, Y);
        const uint32_t Got = (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
        const bool InChild = X >= 30 && X < 70 && Y >= 20 && Y < 50;
        if (Got != Grab[static_cast<size_t>(Y) * GW + X]) ++(InChild ? ChildDiffer : Differ);
      }
    EXPECT_EQ(Differ, 0) << Flags;
    // Without PRF_CHILDREN the parent's own pattern shows where the child is.
    EXPECT_EQ(ChildDiffer == 0, (Flags & PRF_CHILDREN) != 0) << Flags;
  }
}

}  // namespace

}  // namespace test_tbprint_tests
