// Shared helpers of the toolbar library: accelerator texts, list helpers,
// settings, checkerboard drag frames, vertical text and window printing.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <string>
#include <vector>

#include "controls/tbcommon.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace test_tbcommon_tests {

namespace {

// A pixel of a saved copy of a 24-bit bottom-up DIB's bytes.
COLORREF PixelOf(const std::vector<uint8_t>& Bytes, const TTestDib& D, Integer X, Integer Y) {
  const uint8_t* P = Bytes.data() + static_cast<size_t>(D.H - 1 - Y) * D.Row + 3 * X;
  return RGB(P[2], P[1], P[0]);
}

TEST(TbCommonText, AmpersandsColonsAndAccelerators) {
  struct {
    const char16_t* Text;
    const char16_t* Stripped;
    const char16_t* Doubled;
    const char16_t* Trimmed;
    WideChar Accel;
  } Cases[] = {
      {u"&File", u"File", u"&&File", u"&File", u'F'},
      {u"Save &As...", u"Save As...", u"Save &&As...", u"Save &As", u'A'},
      {u"A&&B", u"A&B", u"A&&&&B", u"A&&B", 0},
      {u"&&", u"&", u"&&&&", u"&&", 0},
      {u"Tail&", u"Tail", u"Tail&&", u"Tail&", 0},
      {u"&a&b", u"ab", u"&&a&&b", u"&a&b", u'b'},  // the last single one wins
      {u"&a&&", u"a&", u"&&a&&&&", u"&a&&", u'a'},
      {u"x&&&y", u"x&y", u"x&&&&&&y", u"x&&&y", u'y'},
      {u"Name:", u"Name:", u"Name:", u"Name", 0},
      {u":", u":", u":", u":", 0},
      {u"...", u"...", u"...", u"...", 0},
      {u"a...", u"a...", u"a...", u"a", 0},
      {u"", u"", u"", u"", 0},
  };
  for (const auto& C : Cases) {
    const WideString T = C.Text;
    EXPECT_EQ(StripAmpersands(T), WideString(C.Stripped)) << "case " << (&C - Cases);
    EXPECT_EQ(DoubleAmpersands(T), WideString(C.Doubled)) << "case " << (&C - Cases);
    EXPECT_EQ(TrimEllipsisOrColon(T), WideString(C.Trimmed)) << "case " << (&C - Cases);
    EXPECT_EQ(AcceleratorOf(T), C.Accel) << "case " << (&C - Cases);
  }
  EXPECT_EQ(LowerChar(u'Q'), u'q');
  EXPECT_EQ(LowerChar(u'Ä'), u'ä');
  EXPECT_EQ(LowerChar(u'7'), u'7');
}

TEST(TbCommonLists, CreatedOnDemandAndReleasedWhenEmpty) {
  int A = 0, B = 0, C = 0;
  TList* List = nullptr;
  ListRemoveAndRelease(List, &A);  // no list: nothing
  EXPECT_EQ(List, nullptr);
  EXPECT_TRUE(ListAddUnique(List, &A));
  ASSERT_NE(List, nullptr);
  EXPECT_TRUE(ListAddUnique(List, &B));
  EXPECT_FALSE(ListAddUnique(List, &A));
  EXPECT_TRUE(ListAddUniqueFront(List, &C));
  EXPECT_FALSE(ListAddUniqueFront(List, &B));
  ASSERT_EQ(List->Count(), 3);
  EXPECT_EQ(List->Items(0), &C);
  EXPECT_EQ(List->Items(1), &A);
  EXPECT_EQ(List->Items(2), &B);
  ListRemoveAndRelease(List, &A);
  ListRemoveAndRelease(List, &C);
  EXPECT_EQ(List->Count(), 1);
  ListRemoveAndRelease(List, &B);
  EXPECT_EQ(List, nullptr);
}

TEST(TbCommonSettings, DesktopDefaults) {
  // The desktop's menu show delay; there is no second source to consult.
  EXPECT_EQ(MenuPopupDelay(), 400);
  EXPECT_FALSE(FlatMenusActive());
  EXPECT_TRUE(KeyboardCuesShown());  // an unanswered query counts as shown
  EXPECT_TRUE(SystemFlag(0x7FFF, true));
  EXPECT_FALSE(SystemFlag(0x7FFF, false));
  NONCLIENTMETRICSW M;
  EXPECT_TRUE(ReadNonClientMetrics(M));
  TRect Work, Whole;
  DesktopArea(true, Work);
  DesktopArea(false, Whole);
  EXPECT_FALSE(IsRectEmpty(Whole));
  EXPECT_EQ(Whole.Left, 0);
  EXPECT_EQ(Whole.Top, 0);
  TRect Common;
  EXPECT_TRUE(IntersectRect(Common, Work, Whole));
  EXPECT_EQ(Common, Work);  // the work area lies inside the screen
  TRect OfPoint, OfRect;
  MonitorAreaOfPoint(TPoint(5, 5), true, OfPoint);
  MonitorAreaOfRect(TRect(5, 5, 50, 50), true, OfRect);
  EXPECT_EQ(OfPoint, Work);
  EXPECT_EQ(OfRect, Work);
}

TEST(TbCommonDrawing, CheckerFramesUndoThemselves) {
  TTestDib Dib(64, 48);
  Dib.Randomize(7);
  const std::vector<uint8_t> Before = Dib.Bytes();
  const TRect A(4, 4, 30, 24), B(10, 8, 40, 30);
  const TSize Thick(3, 3);

  DrawCheckerFrames(Dib.DC, A, TRect(), Thick, Thick);
  const std::vector<uint8_t> FrameA = Dib.Bytes();
  EXPECT_NE(FrameA, Before);
  // Inside the frame nothing changed, on the frame every other pixel did.
  EXPECT_EQ(Dib.Raw(15, 12), COLORREF(PixelOf(Before, Dib, 15, 12)));
  Integer Changed = 0;
  for (Integer X = A.Left; X < A.Right; ++X)
    if (Dib.Raw(X, A.Top) != COLORREF(PixelOf(Before, Dib, X, A.Top))) ++Changed;
  EXPECT_EQ(Changed, A.Width() / 2);

  // Moving the frame, then drawing the last frame again, restores every byte.
  DrawCheckerFrames(Dib.DC, B, A, Thick, Thick);
  EXPECT_NE(Dib.Bytes(), FrameA);
  DrawCheckerFrames(Dib.DC, B, TRect(), Thick, Thick);
  EXPECT_EQ(Dib.Bytes(), Before);

  // A frame whose inner part is empty is a filled rectangle.
  DrawCheckerFrames(Dib.DC, TRect(2, 2, 6, 6), TRect(), TSize(3, 3), TSize(3, 3));
  Changed = 0;
  for (Integer Y = 2; Y < 6; ++Y)
    for (Integer X = 2; X < 6; ++X)
      if (Dib.Raw(X, Y) != COLORREF(PixelOf(Before, Dib, X, Y))) ++Changed;
  EXPECT_EQ(Changed, 8);
  DrawCheckerFrames(Dib.DC, TRect(2, 2, 6, 6), TRect(), TSize(3, 3), TSize(3, 3));
  EXPECT_EQ(Dib.Bytes(), Before);
}

// Columns of Dib where any pixel differs from Other, with their row extents.
struct TDiff {
  Integer Columns = 0, Column = -1, Top = 1 << 30, Bottom = -1;
};
TDiff DiffOf(const TTestDib& A, const TTestDib& B) {
  TDiff D;
  for (Integer X = 0; X < A.W; ++X) {
    bool Any = false;
    for (Integer Y = 0; Y < A.H; ++Y)
      if (A.Raw(X, Y) != B.Raw(X, Y)) {
        Any = true;
        D.Top = std::min(D.Top, Y);
        D.Bottom = std::max(D.Bottom, Y + 1);
      }
    if (Any) {
      ++D.Columns;
      D.Column = X;
    }
  }
  return D;
}

TEST(TbCommonDrawing, VerticalTextKeepsDoubledAmpersandAndUnderlinesTheAccelerator) {
  auto Draw = [](TTestDib& Dib, const WideString& Text, UINT Format) {
    SetTextColor(Dib.DC, RGB(0, 0, 0));
    SetBkMode(Dib.DC, TRANSPARENT);
    DrawVerticalText(Dib.DC, Text, TRect(0, 0, Dib.W, Dib.H), Format);
  };
  TTestDib Shown(40, 120), Hidden(40, 120), Plain(40, 120), Blank(40, 120);
  Draw(Shown, u"&&a&b", 0);
  Draw(Hidden, u"&&a&b", DT_HIDEPREFIX);
  Draw(Plain, u"&&ab", DT_HIDEPREFIX);
  // The same characters, "&ab", either way: the pair leaves one "&".
  EXPECT_EQ(Hidden.Bytes(), Plain.Bytes());
  EXPECT_NE(Hidden.Bytes(), Blank.Bytes());
  // The underline is the only difference: one column, as long as "b" is
  // wide, starting where "&a" ends.
  const TDiff D = DiffOf(Shown, Hidden);
  ASSERT_EQ(D.Columns, 1);
  HFONT Vertical = CreateVerticalFont(Shown.DC);
  ASSERT_NE(Vertical, nullptr);
  HGDIOBJ Old = SelectObject(Shown.DC, Vertical);
  const Integer WidthAB = TextExtentOf(Shown.DC, u"&ab").cx;
  const Integer WidthA = TextExtentOf(Shown.DC, u"&a").cx;
  const Integer WidthB = TextExtentOf(Shown.DC, u"b").cx;
  SelectObject(Shown.DC, Old);
  DeleteObject(Vertical);
  const Integer Y = (Shown.H - WidthAB) / 2;
  EXPECT_EQ(D.Top, Y + WidthA);
  EXPECT_EQ(D.Bottom - D.Top, WidthB);  // a line leaves out its end point
}

TEST(TbCommonPrinting, CheckVisibleRefusesAndTheClientIsErasedThenPrinted) {
  std::vector<UINT> Seen;
  HWND Wnd = AllocateHWnd([&](TMessage& M) {
    Seen.push_back(M.Msg);
    M.Result = 0;
  });
  ASSERT_NE(Wnd, nullptr);
  ASSERT_FALSE(IsWindowVisible(Wnd));
  TTestDib Dib(8, 8);
  std::vector<std::string> Frames;
  const TTBPaintNonClientProc Frame = [&](HWND W, HDC DC, void* Data) {
    EXPECT_EQ(W, Wnd);
    EXPECT_EQ(DC, Dib.DC);
    Frames.push_back(static_cast<const char*>(Data));
    Seen.push_back(0);
  };
  char Tag[] = "frame";

  TMessage M;
  M.Msg = WM_PRINT;
  M.WParam = reinterpret_cast<WPARAM>(Dib.DC);
  M.LParam = PRF_CHECKVISIBLE | 0x1E;
  M.Result = 7;
  EmulatePrint(Wnd, M, Frame, Tag);
  EXPECT_EQ(M.Result, 0);
  EXPECT_TRUE(Seen.empty());

  M.LParam = 0x1E;
  EmulatePrint(Wnd, M, Frame, Tag);
  EXPECT_EQ(M.Result, 1);
  EXPECT_EQ(Seen, (std::vector<UINT>{0, WM_ERASEBKGND, WM_PRINTCLIENT}));
  EXPECT_EQ(Frames, std::vector<std::string>{"frame"});

  Seen.clear();
  M.LParam = PRF_CLIENT;  // neither frame nor erasing
  EmulatePrint(Wnd, M, Frame, Tag);
  EXPECT_EQ(Seen, std::vector<UINT>{WM_PRINTCLIENT});

  // The print-client handler paints as for WM_PAINT and leaves the DC's state as it was.
  const UINT AlignBefore = GetTextAlign(Dib.DC);
  TMessage P;
  P.Msg = WM_PRINTCLIENT;
  P.WParam = reinterpret_cast<WPARAM>(Dib.DC);
  std::vector<UINT> Painted;
  EXPECT_THROW(EmulatePrintClient(
                   P,
                   [&](TObject*, TMessage& Paint) {
                     Painted.push_back(Paint.Msg);
                     EXPECT_EQ(Paint.WParam, P.WParam);
                     SetTextAlign(Dib.DC, TA_BOTTOM | TA_RIGHT);
                     throw Exception("paint failed");
                   },
                   nullptr),
               Exception);
  EXPECT_EQ(Painted, std::vector<UINT>{WM_PAINT});
  EXPECT_EQ(GetTextAlign(Dib.DC), AlignBefore);
  DeallocateHWnd(Wnd);
}

}  // namespace

}  // namespace test_tbcommon_tests
