// The text editor's clipboard (plain text and the private block with the
// formats), mouse selection, font and colour dialogs, and the one-line edit.
#include <cstring>

#include "platform/ui/choosedialogs.h"
#include "platform/ui/clipbrd.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "textcontrol_util.h"

using namespace textcontrol_test;

namespace textcontrol_input_tests {
namespace {

std::vector<Byte> ClipBytes(UINT Format) {
  std::vector<Byte> Out;
  if (!OpenClipboard(nullptr)) return Out;
  if (HGLOBAL H = GetClipboardData(Format)) {
    const Byte* P = static_cast<const Byte*>(GlobalLock(H));
    if (P) Out.assign(P, P + GlobalSize(H));
    GlobalUnlock(H);
  }
  CloseClipboard();
  return Out;
}

void PutClip(const std::vector<std::pair<UINT, std::vector<Byte>>>& Items) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  for (const auto& [Format, Bytes] : Items) {
    HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, Bytes.size());
    std::memcpy(GlobalLock(H), Bytes.data(), Bytes.size());
    GlobalUnlock(H);
    SetClipboardData(Format, H);
  }
  CloseClipboard();
}

std::vector<Byte> Bytes(const std::string& S) { return std::vector<Byte>(S.begin(), S.end()); }

class TextInput : public FormTest {
 protected:
  // "x", line feed, "y" in three formats: bold, plain, italic.
  TIETextControl* ThreeFormats(AnsiString* T) {
    TIETextControl* C = Make(T);
    Press(C, {{'B', gmkCtrl}});
    Press(C, Typed("x"));
    Press(C, {{'B', gmkCtrl}, {VK_RETURN}, {'I', gmkCtrl}});
    Press(C, Typed("y"));
    return C;
  }
};

TEST_F(TextInput, CopyGivesPlainTextAndThePrivateBlockAndPasteRestoresTheFormats) {
  AnsiString T;
  TIETextControl* C = ThreeFormats(&T);
  ASSERT_EQ(T, "x\ny");
  C->SelStart = 0;
  C->SelEnd = 3;
  Press(C, {{'C', gmkCtrl}});
  // Plain text with the platform's line feed (a paste drops CR anyway).
  EXPECT_EQ(ClipBytes(CF_TEXT), Bytes(std::string("x\ny\0", 4)));
  const std::vector<Byte> Memo = ClipBytes(IETextCMemoFormat());
  ASSERT_EQ(Memo.size(), 3u + 1u + 840u);
  EXPECT_EQ(std::string(Memo.begin(), Memo.begin() + 4), std::string("x\ny\0", 4));
  for (Integer i = 0; i < 3; ++i) {
    TIETextFormat F;
    std::memcpy(&F, Memo.data() + 4 + 280 * i, 280);
    EXPECT_TRUE(F.SameFormat(FormatAt(C, i))) << i;
  }
  EXPECT_EQ(T, "x\ny");  // copying leaves the text

  AnsiString U = "<>";
  TIETextControl* D = Make(&U);
  Press(D, {{VK_HOME}, {VK_RIGHT}, {'V', gmkCtrl}});
  ASSERT_EQ(U, "<x\ny>");
  EXPECT_EQ(FormatAt(D, 1).Style, ietfBold);
  EXPECT_EQ(FormatAt(D, 2).Style, 0);
  EXPECT_EQ(FormatAt(D, 3).Style, ietfItalic);
  for (Integer i = 0; i < 3; ++i) EXPECT_TRUE(FormatAt(D, i + 1).SameFormat(FormatAt(C, i))) << i;
  EXPECT_EQ(D->CaretPos, 4);
}

TEST_F(TextInput, WindowMessagesActAsTheShortcuts) {
  AnsiString T = "abc";
  TIETextControl* C = Make(&T);
  C->SelStart = 1;
  C->SelEnd = 3;
  C->Perform(WM_CUT, 0, 0);
  EXPECT_EQ(T, "a");
  EXPECT_EQ(ClipBytes(CF_TEXT), Bytes(std::string("bc\0", 3)));
  C->Perform(WM_PASTE, 0, 0);
  C->Perform(WM_PASTE, 0, 0);
  EXPECT_EQ(T, "abcbc");
  C->SelStart = 0;
  C->SelEnd = 1;
  C->Perform(WM_COPY, 0, 0);
  EXPECT_EQ(ClipBytes(CF_TEXT), Bytes(std::string("a\0", 2)));
}

TEST_F(TextInput, PlainTextPasteDropsCarriageReturns) {
  PutClip({{CF_TEXT, Bytes(std::string("p\r\nq\0tail", 9))}});
  AnsiString T;
  TIETextControl* C = Make(&T);
  Press(C, {{'V', gmkCtrl}});
  EXPECT_EQ(T, "p\nq");
  for (Integer i = 0; i < 3; ++i) EXPECT_TRUE(FormatAt(C, i).SameFormat(*C->CurrentFormat()));
}

TEST_F(TextInput, AShortPrivateBlockIsRefusedAndThePlainTextPasted) {
  std::vector<Byte> Short = Bytes(std::string("ab\0", 3));
  Short.resize(3 + 280, 0);  // one record where two are due
  PutClip({{IETextCMemoFormat(), Short}, {CF_TEXT, Bytes(std::string("zz\0", 3))}});
  AnsiString T;
  TIETextControl* C = Make(&T);
  Press(C, {{'V', gmkCtrl}});
  EXPECT_EQ(T, "zz");
}

struct BlockCase {
  const char* Name;
  std::string Text;  // up to the 0
  size_t Records;    // records that follow
  size_t Extra;      // bytes after them
  bool Ok;
};

TEST(TextMemoBlock, SizeRule) {
  const std::vector<BlockCase> Cases = {
      {"exact", "ab", 2, 0, true},
      {"with trailing bytes", "ab", 2, 5, true},
      {"one byte short", "ab", 1, 279, false},
      {"no records", "ab", 0, 0, false},
      {"empty text", "", 0, 0, true},
  };
  for (const BlockCase& K : Cases) {
    SCOPED_TRACE(K.Name);
    std::vector<Byte> B = Bytes(K.Text);
    B.push_back(0);
    for (size_t i = 0; i < K.Records; ++i) {
      TIETextFormat F;
      F.SetFontName("Arial");
      F.Height = -10 - static_cast<Integer>(i);
      const Byte* P = reinterpret_cast<const Byte*>(&F);
      B.insert(B.end(), P, P + 280);
    }
    B.resize(B.size() + K.Extra, 0);
    AnsiString T;
    TIETextFormatList F;
    EXPECT_EQ(IEParseTextMemoBlock(B.data(), B.size(), T, F), K.Ok);
    if (K.Ok) {
      EXPECT_EQ(T, K.Text);
      ASSERT_EQ(F.size(), K.Text.size());
      for (size_t i = 0; i < F.size(); ++i) EXPECT_EQ(F[i].Height, -10 - static_cast<Integer>(i));
    }
  }
  // No 0 at all, and nothing.
  AnsiString T;
  TIETextFormatList F;
  const std::vector<Byte> NoZero = Bytes("abc");
  EXPECT_FALSE(IEParseTextMemoBlock(NoZero.data(), NoZero.size(), T, F));
  EXPECT_FALSE(IEParseTextMemoBlock(nullptr, 0, T, F));
}

TEST(TextMemoBlock, RecordsFromOutsideAreMadeCanonical) {
  // Another program's record with junk in the padding, the name's tail and
  // out-of-range style, brush and alignment values.
  std::vector<Byte> B = {'a', 0};
  std::vector<Byte> Rec(280, 0xEE);
  Rec[4] = 3;
  std::memcpy(Rec.data() + 5, "Foo", 3);
  Rec[276] = 200;
  Rec[277] = 9;
  B.insert(B.end(), Rec.begin(), Rec.end());
  AnsiString T;
  TIETextFormatList F;
  ASSERT_TRUE(IEParseTextMemoBlock(B.data(), B.size(), T, F));
  TIETextFormat Want;
  Want.SetFontName("Foo");
  std::memcpy(&Want.Height, Rec.data() + 260, 4);
  Want.Style = 0x0E;
  std::memcpy(&Want.Color, Rec.data() + 268, 4);
  std::memcpy(&Want.BackColor, Rec.data() + 272, 4);
  Want.BrushStyle = bsSolid;
  Want.Alignment = 0;
  EXPECT_TRUE(F[0].SameFormat(Want));
}

TEST_F(TextInput, CutKeepsTheTextWhenTheClipboardCannotBeOpened) {
  AnsiString T = "keep me";
  TIETextControl* C = Make(&T);
  C->SelStart = 0;
  C->SelEnd = 4;
  // Another window of this program holds the clipboard open.
  ASSERT_TRUE(OpenClipboard(Form->Handle()));
  Press(C, {{'X', gmkCtrl}});
  EXPECT_EQ(T, "keep me");
  // A paste that cannot read the clipboard does not delete the selection either.
  Press(C, {{'V', gmkCtrl}});
  EXPECT_EQ(T, "keep me");
  EXPECT_EQ(C->SelEnd, 4);
  CloseClipboard();
  Press(C, {{'X', gmkCtrl}});
  EXPECT_EQ(T, " me");
  EXPECT_EQ(ClipBytes(CF_TEXT), Bytes(std::string("keep\0", 5)));
}

TEST_F(TextInput, MouseDragDoubleClickAndShiftClickSelect) {
  AnsiString T = "hello world";
  TIETextControl* C = Make(&T);
  Integer Moved = 0;
  C->OnCursorMoved = [&](TObject*) { ++Moved; };
  C->EnsureLayout();
  auto At = [&](Integer I) { return TPoint(C->Caches()[static_cast<size_t>(I)].X + 1, C->Caches()[0].Y + 3); };
  const HWND W = C->Handle();
  GtTestMouse(W, gmaPress, gmbLeft, At(1).X, At(1).Y);
  GtTestMouse(W, gmaMove, gmbLeft, At(3).X, At(3).Y);
  GtTestMouse(W, gmaMove, gmbLeft, At(4).X, At(4).Y);
  GtTestMouse(W, gmaRelease, gmbLeft, At(4).X, At(4).Y);
  Application->ProcessMessages();
  EXPECT_EQ(C->SelStart, 1);
  EXPECT_EQ(C->SelEnd, 4);
  EXPECT_EQ(C->CaretPos, 4);
  EXPECT_GE(Moved, 3);
  // Shift-click extends from the last press point.
  GtTestClick(W, gmbLeft, At(2).X, At(2).Y);
  GtTestClick(W, gmbLeft, At(8).X, At(8).Y, gmkShift);
  Application->ProcessMessages();
  EXPECT_EQ(C->SelStart, 2);
  EXPECT_EQ(C->SelEnd, 8);
  // A plain click empties the selection; a double click takes the word without the blank.
  GtTestClick(W, gmbLeft, At(5).X, At(5).Y);
  EXPECT_EQ(C->SelStart, C->SelEnd);
  EXPECT_EQ(C->CaretPos, 5);
  GtTestMouse(W, gmaPress, gmbLeft, At(8).X, At(8).Y);
  GtTestMouse(W, gmaRelease, gmbLeft, At(8).X, At(8).Y);
  GtTestMouse(W, gmaDoubleClick, gmbLeft, At(8).X, At(8).Y);
  GtTestMouse(W, gmaRelease, gmbLeft, At(8).X, At(8).Y);
  Application->ProcessMessages();
  EXPECT_EQ(C->SelStart, 6);
  EXPECT_EQ(C->SelEnd, 11);
  // A click right of the line's end puts the caret after its last character.
  GtTestClick(W, gmbLeft, 390, At(0).Y);
  EXPECT_EQ(C->CaretPos, 11);
  GtTestClick(W, gmbLeft, 0, At(0).Y);
  EXPECT_EQ(C->CaretPos, 0);
}

TEST_F(TextInput, FontAndColourDialogsApplyToTheSelection) {
  AnsiString T = "abc";
  TIETextControl* C = Make(&T);
  Integer Shown = 0;
  GtSetChooseDialogHook([&](TFont* F, TColor* Colour) {
    ++Shown;
    if (F) {
      EXPECT_EQ(F->Name(), kMono);  // starts from the current format
      EXPECT_EQ(F->Height(), -16);
      F->SetName(u"DejaVu Serif");
      F->SetHeight(-20);
      F->SetStyle(TFontStyles{fsBold});
      F->SetColor(static_cast<TColor>(0x0000FF));
      return true;
    }
    *Colour = static_cast<TColor>(0x123456);
    return true;
  });
  C->SelStart = 1;
  C->SelEnd = 3;
  Press(C, {{'F', gmkCtrl}, {'G', gmkCtrl}});
  EXPECT_EQ(Shown, 2);
  EXPECT_EQ(FormatAt(C, 0).FontName(), "DejaVu Sans Mono");
  for (Integer i = 1; i < 3; ++i) {
    EXPECT_EQ(FormatAt(C, i).FontName(), "DejaVu Serif");
    EXPECT_EQ(FormatAt(C, i).Height, -20);
    EXPECT_EQ(FormatAt(C, i).Style, ietfBold);
    EXPECT_EQ(FormatAt(C, i).Color, 0x0000FF);
    EXPECT_EQ(FormatAt(C, i).BackColor, 0x123456);
  }
  EXPECT_EQ(C->CurrentFormat()->BackColor, 0x123456);
  // A cancelled dialog changes nothing; in single-format mode none opens.
  GtSetChooseDialogHook([&](TFont*, TColor*) {
    ++Shown;
    return false;
  });
  Press(C, {{'G', gmkCtrl}});
  EXPECT_EQ(Shown, 3);
  C->SetSingleFormat(true);
  Press(C, {{'F', gmkCtrl}, {'G', gmkCtrl}});
  EXPECT_EQ(Shown, 3);
  GtSetChooseDialogHook(nullptr);
}

TEST_F(TextInput, TabAndCaretKeysStayInTheEditors) {
  AnsiString T = "ab";
  TIETextControl* C = Make(&T);
  auto* Next = new TEdit(Form.get());
  Next->SetParent(Form.get());
  Next->SetBounds(10, 300, 100, 24);
  Next->SetTabStop(true);
  std::vector<Word> Seen;
  C->OnKeyDown = [&](TObject*, Word& Key, TShiftState) { Seen.push_back(Key); };
  C->SetFocus();
  Press(C, {{VK_TAB, 0, u'\t'}, {VK_LEFT}, {VK_NEXT}});
  EXPECT_TRUE(C->Focused());
  EXPECT_EQ(Seen, (std::vector<Word>{VK_TAB, VK_LEFT, VK_NEXT}));
  EXPECT_EQ(T, "ab");

  auto* E = new TIEEdit(Form.get());
  E->SetParent(Form.get());
  E->SetBounds(10, 250, 100, 24);
  E->SetTabStop(true);
  E->SetText(u"ab");
  E->SetFocus();
  GtTestPump(5);
  Press(E, {{VK_TAB, 0, u'\t'}});
  EXPECT_TRUE(E->Focused());
  EXPECT_EQ(E->Text(), u"ab");
  Press(E, {{'C', 0, u'c'}});
  EXPECT_NE(E->Text().find(u'c'), WideString::npos);
  // A plain edit lets Tab move the focus on: the difference is the edit's own.
  auto* Plain = new TEdit(Form.get());
  Plain->SetParent(Form.get());
  Plain->SetBounds(150, 250, 100, 24);
  Plain->SetTabStop(true);
  Plain->SetFocus();
  GtTestPump(5);
  Press(Plain, {{VK_TAB, 0, u'\t'}});
  EXPECT_FALSE(Plain->Focused());
}

TEST_F(TextInput, PaintShowsTheBackgroundUnderAClearBrushAndPlacesTheCaret) {
  TBitmap Under;
  Under.SetPixelFormat(pf24bit);
  Under.SetSize(640, 420);
  Under.Canvas()->Brush()->SetColor(static_cast<TColor>(0x00FF00));
  Under.Canvas()->FillRect(TRect(0, 0, 640, 420));
  AnsiString T = "ab";
  TIETextControl* C = Make(&T, 120, 60);
  C->BackgroundBitmap = &Under;
  C->BackgroundBrush()->SetStyle(bsClear);
  C->BorderPen()->SetStyle(psClear);
  Press(C, {{VK_END}});
  C->Repaint();
  GtTestPump(10);
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestSurface(C->Handle(), Px, W, H));
  ASSERT_EQ(W, 120);
  EXPECT_EQ(Px[static_cast<size_t>(50 * W + 100)] & 0xFFFFFF, 0x00FF00u);  // below and right of the text
  // The caret stands where the layout put the position after "b".
  TPoint P;
  ASSERT_TRUE(GetCaretPos(&P));
  EXPECT_EQ(P.X, C->Caches()[2].X);
  EXPECT_EQ(P.Y, C->Caches()[2].Y);
  EXPECT_EQ(C->CaretHeight, C->Caches()[0].LineHeight);
  // A solid background brush covers the picture.
  C->BackgroundBrush()->SetStyle(bsSolid);
  C->Repaint();
  GtTestPump(10);
  ASSERT_TRUE(GtTestSurface(C->Handle(), Px, W, H));
  EXPECT_EQ(Px[static_cast<size_t>(50 * W + 100)] & 0xFFFFFF, 0xFFFFFFu);
}

// Another program reads the copied text on a real X server (run with
// tests/imaging/view/textcontrol/xvfb_checks.sh). Without a display it skips.
TEST_F(TextInput, XvfbCopiedTextReachesAnotherProgramWithLineFeeds) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/imaging/view/textcontrol/xvfb_checks.sh)";
  ASSERT_TRUE(gt_test::HaveTool("xclip")) << "xclip missing (scripts/install-deps.sh installs it)";
  AnsiString T = "x\ny";
  TIETextControl* C = Make(&T);
  C->SelStart = 0;
  C->SelEnd = 3;
  ASSERT_TRUE(C->CopyToClipboard());
  gt_test::TempDir Dir{"textclip"};
  const std::string Out = Dir.File("out.txt"), Rc = Dir.File("rc");
  // xclip asks this process for the data, so the test answers while it waits.
  ASSERT_EQ(gt_test::Shell("(xclip -selection clipboard -t text/plain -o > " + Out + "; echo $? > " + Rc + ".part && mv " +
                           Rc + ".part " + Rc + ") &"),
            0);
  ASSERT_TRUE(GtTestPumpUntil([&] { return !gt_test::ReadFileBytes(Rc).empty(); }, 30000));
  EXPECT_EQ(gt_test::Capture("cat " + Rc), "0\n");
  const std::vector<uint8_t> Got = gt_test::ReadFileBytes(Out);
  EXPECT_EQ(std::string(Got.begin(), Got.end()), "x\ny");
}

}  // namespace
}  // namespace textcontrol_input_tests
