// Printing windows into a DC: WM_PRINT with its flags, WM_PRINTCLIENT
// through the paint handler, children at their places.
#include <vector>

#include "tests/platform/graphics/gdi_test_util.h"
#include "tests/platform/ui/uitest.h"

namespace test_print_tests {

namespace {

// A recorder with a sunken two-pixel frame.
class TFramed : public TRecorder {
 public:
  using TRecorder::TRecorder;

 protected:
  void CreateParams(TCreateParams& P) override {
    TRecorder::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
  }
};

class PrintUi : public UiTest {};

TEST_F(PrintUi, PrintOfAFramedWindowWithAChildEqualsItsGrab) {
  auto* P = new TFramed(Form.get());
  P->SetBounds(10, 10, 120, 90);
  P->SetParent(Form.get());
  auto* Kid = new TRecorder(P);
  Kid->SetBounds(30, 20, 40, 30);
  Kid->SetParent(P);
  // The child's pattern must differ from the parent's under it.
  Kid->PaintPattern = true;
  GtTestPump(30);
  HWND H = P->Handle();
  TRect Client;
  GetClientRect(H, &Client);
  ASSERT_EQ(Client.Width(), 116);
  ASSERT_EQ(Client.Height(), 86);
  std::vector<uint32_t> Grab;
  Integer GW = 0, GH = 0;
  ASSERT_TRUE(GtTestGrab(H, Grab, GW, GH));
  ASSERT_EQ(GW, 116);

  TTestDib Dib(120, 90, 24, RGB(1, 2, 3), true);
  SendMessage(H, WM_PRINT, reinterpret_cast<WPARAM>(Dib.DC), 0x1E);
  int Differ = 0;
  for (Integer y = 0; y < GH; ++y)
    for (Integer x = 0; x < GW; ++x) {
      COLORREF C = Dib.At(x + 2, y + 2);
      uint32_t Want = Grab[static_cast<size_t>(y) * GW + x];
      uint32_t Got = (GetRValue(C) << 16) | (GetGValue(C) << 8) | GetBValue(C);
      if (Got != Want) ++Differ;
    }
  EXPECT_EQ(Differ, 0);
  // The frame was drawn: no pixel of the outer ring keeps the fill.
  for (Integer x = 0; x < 120; ++x) {
    EXPECT_NE(Dib.At(x, 0), RGB(1, 2, 3)) << x;
    EXPECT_NE(Dib.At(x, 89), RGB(1, 2, 3)) << x;
  }

  // Client alone: the DC's origin is the client's corner and no frame is drawn.
  TTestDib ClientOnly(120, 90, 24, RGB(1, 2, 3), true);
  SendMessage(H, WM_PRINT, reinterpret_cast<WPARAM>(ClientOnly.DC), 0x04);
  EXPECT_EQ(ClientOnly.At(119, 89), RGB(1, 2, 3));
  uint32_t First = Grab[0];
  COLORREF C0 = ClientOnly.At(0, 0);
  EXPECT_EQ((GetRValue(C0) << 16) | (GetGValue(C0) << 8) | GetBValue(C0), First);
}

TEST_F(PrintUi, CheckVisibleOnAHiddenWindowPrintsNothing) {
  auto* P = AddRecorder(10, 10, 50, 40);
  GtTestPump(20);
  P->Hide();
  GtTestPump(10);
  const LPARAM Flags[] = {0x1E | 0x1, 0x4 | 0x1};
  for (LPARAM F : Flags) {
    TTestDib Dib(50, 40, 24, RGB(1, 2, 3), true);
    const UINT Msg = (F & 0x2) ? WM_PRINT : WM_PRINTCLIENT;
    EXPECT_EQ(SendMessage(P->Handle(), Msg, reinterpret_cast<WPARAM>(Dib.DC), F), 0);
    EXPECT_EQ(Dib.Picture(RGB(1, 2, 3), 0, 0, 50, 40).find('.'), std::string::npos) << Msg;
  }
  // Without the check the hidden control paints.
  TTestDib Dib(50, 40, 24, RGB(1, 2, 3), true);
  int Before = P->Paints;
  SendMessage(P->Handle(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(Dib.DC), 0x4);
  EXPECT_EQ(P->Paints, Before + 1);
  EXPECT_NE(Dib.At(0, 0), RGB(1, 2, 3));
}

}  // namespace

}  // namespace test_print_tests
