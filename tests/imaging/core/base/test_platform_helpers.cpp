// Window centring, scroll bars, the clipboard helpers, the primary mouse
// button and the version answers, on the headless platform.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/base/iestartup.h"
#include "platform/graphics/globalmem.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "platform/ui/winuser.h"

namespace test_platform_helpers_tests {

namespace {

// A control that has nothing of its own to say about its scroll bars.
class TPlainControl : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
};

class PlatformHelpers : public ::testing::Test {
 protected:
  void SetUp() override {
    IEStartup();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(10, 10, 400, 300);
    Form->Show();
    GtTestPump(20);
  }
  void TearDown() override {
    Form.reset();
    Application->ProcessMessages();
    IEShutdown();
  }
  std::unique_ptr<TForm> Form;
};

void PutBytes(UINT Format, const char* Text) {
  const size_t N = std::strlen(Text) + 1;
  HGLOBAL Mem = GlobalAlloc(GMEM_MOVEABLE, N);
  ASSERT_NE(Mem, nullptr);
  std::memcpy(GlobalLock(Mem), Text, N);
  GlobalUnlock(Mem);
  ASSERT_EQ(SetClipboardData(Format, Mem), Mem);
}

TEST_F(PlatformHelpers, StartUpRegistersThePrivateFormatsAndShutDownForgetsThem) {
  EXPECT_EQ(IERawClipboardFormat, RegisterClipboardFormat(W("ziduzuv raw format")));
  EXPECT_EQ(IEVectClipboardFormat, RegisterClipboardFormat(W("ZIDUZUV VECT")));
  EXPECT_EQ(IETextMemoClipboardFormat, RegisterClipboardFormat(W("ZIDUZUV TEXTMEMO")));
  EXPECT_GE(IERawClipboardFormat, 0xC000u);
  EXPECT_NE(IERawClipboardFormat, IEVectClipboardFormat);
  EXPECT_NE(IEVectClipboardFormat, IETextMemoClipboardFormat);
  EXPECT_EQ(GtClipboardMimeType(IERawClipboardFormat), "application/x-ziduzuv-raw-format");
  IEShutdown();
  EXPECT_EQ(IERawClipboardFormat, 0u);
  EXPECT_EQ(IETextMemoClipboardFormat, 0u);
  IEStartup();
  EXPECT_EQ(IEVectClipboardFormat, RegisterClipboardFormat(W("ZIDUZUV VECT")));
}

TEST_F(PlatformHelpers, ListsTheNamedFormatsOnTheClipboardWithTheirIds) {
  ASSERT_TRUE(IEOpenClipboard());
  ASSERT_TRUE(EmptyClipboard());
  PutBytes(IERawClipboardFormat, "raw");
  PutBytes(IETextMemoClipboardFormat, "memo");
  PutBytes(CF_UNICODETEXT, "t\0e\0x\0t\0\0");  // a standard format: no registered name
  ASSERT_TRUE(CloseClipboard());

  ASSERT_TRUE(IEOpenClipboard());
  std::unique_ptr<TStringList> L = IEListClipboardFormats();
  const UINT Vect = IEGetClipboardFormatByName(W("ZIDUZUV VECT"));
  const UINT Raw = IEGetClipboardFormatByName(W("Ziduzuv Raw Format"));
  const UINT Memo = IEGetClipboardFormatByName(W("ZIDUZUV TEXTMEMO"));
  const UINT Png = IEGetClipboardFormatByName(W("PNG"));
  ASSERT_TRUE(CloseClipboard());

  ASSERT_NE(L, nullptr);
  const Integer RawAt = L->IndexOf(W("ZIDUZUV RAW FORMAT"));
  const Integer MemoAt = L->IndexOf(W("ZIDUZUV TEXTMEMO"));
  ASSERT_GE(RawAt, 0);
  ASSERT_GE(MemoAt, 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(L->Objects(RawAt)), IERawClipboardFormat);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(L->Objects(MemoAt)), IETextMemoClipboardFormat);
  for (Integer i = 0; i < L->Count(); ++i) {
    EXPECT_FALSE(L->Strings(i).empty());
    EXPECT_GE(reinterpret_cast<uintptr_t>(L->Objects(i)), 0xC000u) << "standard formats have no name";
  }
  EXPECT_EQ(Raw, IERawClipboardFormat);
  EXPECT_EQ(Memo, IETextMemoClipboardFormat);
  EXPECT_EQ(Vect, 0u);  // registered, but not on the clipboard
  EXPECT_EQ(Png, 0u);
}

TEST_F(PlatformHelpers, OpeningAClipboardHeldByAnotherWindowGivesUpAfterTenTries) {
  ASSERT_TRUE(OpenClipboard(Form->Handle()));
  const auto Start = std::chrono::steady_clock::now();
  const bool Opened = IEOpenClipboard();
  const auto Ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - Start).count();
  EXPECT_FALSE(Opened);
  EXPECT_GE(Ms, 190);  // it did wait between its tries (how long at most is the benchmarks' business)
  EXPECT_EQ(GetOpenClipboardWindow(), Form->Handle());  // still held by its owner
  ASSERT_TRUE(CloseClipboard());
  EXPECT_TRUE(IEOpenClipboard());
  EXPECT_TRUE(CloseClipboard());
}

TEST_F(PlatformHelpers, CentringPutsTheWindowMidwayAcrossAndAThirdDownTheWorkArea) {
  TRect Area;
  ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &Area, 0));
  ASSERT_GT(Area.Width(), 0);
  struct Case {
    Integer W, H;
  } Cases[] = {{400, 300}, {401, 301}, {Area.Width() - 101, 52}};
  for (const Case& C : Cases) {
    Form->SetBounds(5, 7, C.W, C.H);
    GtTestPump(10);
    TRect Before;
    ASSERT_TRUE(GetWindowRect(Form->Handle(), &Before));
    IECenterWindow(Form->Handle());
    GtTestPump(10);
    TRect R;
    ASSERT_TRUE(GetWindowRect(Form->Handle(), &R));
    EXPECT_EQ(R.Left, Area.Left + (Area.Width() - Before.Width()) / 2) << C.W;
    EXPECT_EQ(R.Top, Area.Top + (Area.Height() - Before.Height()) / 3) << C.H;
    EXPECT_EQ(R.Width(), Before.Width());
    EXPECT_EQ(R.Height(), Before.Height());
  }
  if (Area.Width() == 800 && Area.Height() == 600) {
    Form->SetBounds(0, 0, 400, 300);
    IECenterWindow(Form->Handle());
    EXPECT_EQ(Form->Left(), 200);
    EXPECT_EQ(Form->Top(), 100);
  }
}

TEST_F(PlatformHelpers, ASetCentringHookPlacesTheWindowInstead) {
  Form->SetBounds(5, 7, 400, 300);
  std::vector<HWND> Calls;
  IECenterWindowHook = [&](HWND Wnd) { Calls.push_back(Wnd); };
  IECenterWindow(Form->Handle());
  ASSERT_EQ(Calls.size(), 1u);
  EXPECT_EQ(Calls[0], Form->Handle());
  TRect R;
  ASSERT_TRUE(GetWindowRect(Form->Handle(), &R));
  EXPECT_EQ(R.Left, 5);
  EXPECT_EQ(R.Top, 7);
  // Library start-up restores the default (no hook).
  IEShutdown();
  IEStartup();
  EXPECT_FALSE(static_cast<bool>(IECenterWindowHook));
}

TEST_F(PlatformHelpers, ScrollBarHelpersSetRangePageAndPositionOnTheWindow) {
  auto* Control = new TPlainControl(Form.get());
  Control->SetBounds(0, 0, 200, 120);
  Control->SetParent(Form.get());
  HWND H = Control->Handle();
  for (bool Flat : {false, true}) {
    SCOPED_TRACE(Flat ? "flat" : "plain");
    IESetScrollInfo(H, SB_VERT, 0, 99, 10, 40, true, Flat);
    SCROLLINFO Out;
    Out.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, &Out));
    EXPECT_EQ(Out.nMin, 0);
    EXPECT_EQ(Out.nMax, 99);
    EXPECT_EQ(Out.nPage, 10u);
    EXPECT_EQ(Out.nPos, 40);
    EXPECT_GT(GtTestScrollBarLength(H, SB_VERT), 0);

    IESetScrollPos(H, SB_VERT, 25, true, Flat);
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, &Out));
    EXPECT_EQ(Out.nPos, 25);
    EXPECT_EQ(Out.nMax, 99);  // the range is left alone
    EXPECT_EQ(Out.nPage, 10u);

    IESetScrollRange(H, SB_VERT, 5, 59, true, Flat);
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, &Out));
    EXPECT_EQ(Out.nMin, 5);
    EXPECT_EQ(Out.nMax, 59);
    EXPECT_EQ(Out.nPage, 10u);  // the page is left alone
    EXPECT_EQ(Out.nPos, 25);

    IEShowScrollBar(H, SB_VERT, false, Flat);
    EXPECT_EQ(GtTestScrollBarLength(H, SB_VERT), 0);
    IEShowScrollBar(H, SB_VERT, true, Flat);
    EXPECT_GT(GtTestScrollBarLength(H, SB_VERT), 0);
    IEEnableScrollBar(H, SB_VERT, ESB_DISABLE_BOTH, Flat);
    IEEnableScrollBar(H, SB_VERT, ESB_ENABLE_BOTH, Flat);

    SCROLLINFO In;
    In.fMask = SIF_RANGE | SIF_POS;
    In.nMin = 0;
    In.nMax = 199;
    In.nPos = 150;
    IEApplyScrollInfo(H, SB_HORZ, In, Flat, true);
    ASSERT_TRUE(GetScrollInfo(H, SB_HORZ, &Out));
    EXPECT_EQ(Out.nMax, 199);
    EXPECT_EQ(Out.nPos, 150);
    IESetScrollInfo(H, SB_HORZ, 0, 0, 0, 0, true, Flat);
    IESetScrollInfo(H, SB_VERT, 0, 0, 0, 0, true, Flat);
  }
}

TEST(PlatformVersion, VersionPartsMapToTheVersionByte) {
  struct Case {
    Cardinal Platform, Major, Minor;
    Byte Expected;
  } Cases[] = {
      {1, 4, 0, 1}, {1, 4, 10, 2}, {1, 4, 90, 3}, {1, 4, 1, 0},  {1, 5, 0, 0},  {2, 4, 0, 4},
      {2, 4, 10, 0}, {2, 5, 0, 5}, {2, 5, 1, 6},  {2, 5, 2, 7},  {2, 5, 3, 0},  {2, 6, 0, 8},
      {2, 6, 1, 9}, {2, 6, 2, 0},  {2, 10, 0, 0}, {0, 4, 0, 0},  {3, 6, 1, 0},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(IEWinVersionFromParts(C.Platform, C.Major, C.Minor), C.Expected)
        << C.Platform << " " << C.Major << "." << C.Minor;
}

TEST_F(PlatformHelpers, ThisSystemReportsNoKnownWindowsVersionAndALocalSession) {
  EXPECT_EQ(IEGetWinVersion(), 0);
  EXPECT_FALSE(IEIsRemoteSession());
}

TEST_F(PlatformHelpers, OnlyTheLeftButtonIsPrimaryWhenTheButtonsAreNotSwapped) {
  ASSERT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 0);
  HWND H = Form->Handle();
  EXPECT_FALSE(IEIsPrimaryButtonDown());
  ASSERT_TRUE(GtTestMouse(H, gmaPress, gmbLeft, 20, 20));
  EXPECT_TRUE(IEIsPrimaryButtonDown());
  ASSERT_TRUE(GtTestMouse(H, gmaRelease, gmbLeft, 20, 20));
  EXPECT_FALSE(IEIsPrimaryButtonDown());
  ASSERT_TRUE(GtTestMouse(H, gmaPress, gmbRight, 20, 20));
  EXPECT_FALSE(IEIsPrimaryButtonDown());
  ASSERT_TRUE(GtTestMouse(H, gmaRelease, gmbRight, 20, 20));
}

}  // namespace

}  // namespace test_platform_helpers_tests
