// The speed button, static text, scroll box, progress bar and file list box:
// the behaviour the dialogs that use them rely on.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/base/fileutils.h"
#include "platform/ui/smallctrls.h"
#include "tests/support/temp_dir.h"
#include "uitest.h"

namespace test_smallctrls_tests {

// The colour of a grab pixel as a TColor (0x00BBGGRR).
TColor AsColor(uint32_t Rgb) {
  return static_cast<TColor>(((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF));
}

TEST_F(UiTest, SpeedButtonsOfAGroupAreDownOneAtATimeAndAllUpOnlyWhenAllowed) {
  auto Make = [&](Integer Left, Integer Group, bool AllUp) {
    auto* B = new TSpeedButton(Form.get());
    B->SetBounds(Left, 10, 23, 22);
    B->SetGroupIndex(Group);
    B->SetAllowAllUp(AllUp);
    B->SetParent(Form.get());
    return B;
  };
  TSpeedButton* Play = Make(10, 1, true);
  TSpeedButton* Other = Make(40, 1, true);
  TSpeedButton* Sticky = Make(70, 2, false);
  TSpeedButton* Plain = Make(100, 0, false);
  Integer Clicks = 0;
  Play->OnClick = [&](TObject*) { ++Clicks; };
  GtTestPump(20);
  HWND F = Form->Handle();

  GtTestClick(F, gmbLeft, 20, 20);
  EXPECT_TRUE(Play->Down());
  EXPECT_EQ(Clicks, 1);
  GtTestClick(F, gmbLeft, 50, 20);  // the other of the group goes down, Play comes up
  EXPECT_TRUE(Other->Down());
  EXPECT_FALSE(Play->Down());
  GtTestClick(F, gmbLeft, 50, 20);  // all up allowed: a second click raises it
  EXPECT_FALSE(Other->Down());
  GtTestClick(F, gmbLeft, 80, 20);
  GtTestClick(F, gmbLeft, 80, 20);  // without all up it stays down
  EXPECT_TRUE(Sticky->Down());
  GtTestClick(F, gmbLeft, 110, 20);
  EXPECT_FALSE(Plain->Down()) << "an ungrouped button springs back";

  // Set from the program: no click; a disabled button ignores the mouse.
  Play->SetDown(true);
  EXPECT_EQ(Clicks, 1);
  Play->SetDown(false);
  Play->SetEnabled(false);
  GtTestClick(F, gmbLeft, 20, 20);
  EXPECT_FALSE(Play->Down());
  EXPECT_EQ(Clicks, 1);
  // A press that leaves the button before the release is no click.
  Play->SetEnabled(true);
  GtTestMouse(F, gmaPress, gmbLeft, 20, 20);
  GtTestMouse(F, gmaMove, gmbNone, 200, 150);
  GtTestMouse(F, gmaRelease, gmbLeft, 200, 150);
  EXPECT_EQ(Clicks, 1);
}

TEST_F(UiTest, SpeedButtonDrawsItsGlyphWithoutTheKeyColour) {
  TBitmap Glyph;
  Glyph.SetSize(16, 16);
  Glyph.Canvas()->Brush()->SetColor(clWhite);  // the key colour: the bottom-left pixel
  Glyph.Canvas()->FillRect(TRect(0, 0, 16, 16));
  Glyph.Canvas()->Brush()->SetColor(clRed);
  Glyph.Canvas()->FillRect(TRect(4, 4, 12, 12));
  auto* B = new TSpeedButton(Form.get());
  B->SetBounds(10, 10, 23, 22);
  B->SetFlat(true);
  B->SetGlyph(&Glyph);
  B->SetParent(Form.get());
  GtTestPump(50);
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(Form->Handle(), Px, W, H));
  auto At = [&](Integer X, Integer Y) { return AsColor(Px[static_cast<size_t>(Y) * W + X]); };
  // The glyph's square sits in the middle (3 and 3 from the button's corner).
  EXPECT_EQ(At(10 + 3 + 8, 10 + 3 + 8), static_cast<TColor>(ColorToRGB(clRed)));
  EXPECT_EQ(At(10 + 3 + 1, 10 + 3 + 1), static_cast<TColor>(ColorToRGB(clBtnFace))) << "white is see-through";
}

TEST_F(UiTest, StaticTextSizesItselfToItsLinesBrokenAtCarriageReturns) {
  auto Make = [&](const WideString& Caption) {
    auto* T = new TStaticText(Form.get());
    T->Font()->SetStyle(TFontStyles{fsBold});
    T->SetParent(Form.get());
    T->SetCaption(Caption);
    return T;
  };
  TStaticText* Longest = Make(u"Dir: 12/345 wide");
  TStaticText* Short = Make(u"a");
  TStaticText* Three = Make(u"a\rDir: 12/345 wide\rbb");
  TStaticText* Mixed = Make(u"a\r\nDir: 12/345 wide\nbb");
  EXPECT_GT(Longest->Width(), Short->Width());
  EXPECT_EQ(Three->Width(), Longest->Width()) << "as wide as the widest line";
  EXPECT_EQ(Three->Height(), 3 * Short->Height());
  EXPECT_EQ(Mixed->Width(), Three->Width());
  EXPECT_EQ(Mixed->Height(), Three->Height()) << "CR LF is one break";
  // Without AutoSize the bounds stay.
  Short->SetAutoSize(false);
  Short->SetBounds(0, 0, 7, 5);
  Short->SetCaption(u"much longer now");
  EXPECT_EQ(Short->Width(), 7);
  // The colours the full-screen text takes.
  Short->SetAutoSize(true);
  Short->SetLeft(200);
  Short->SetColor(clBlack);
  Short->Font()->SetColor(clWhite);
  GtTestPump(50);
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(Short->Handle(), Px, W, H));
  size_t White = 0, Black = 0;
  for (uint32_t P : Px) {
    White += P == 0xFFFFFF;
    Black += P == 0;
  }
  EXPECT_GT(White, 0u);
  EXPECT_GT(Black, White) << "the background is the control's colour";
}

TEST_F(UiTest, ScrollBoxScrollsItsChildrenAndBackToTheTop) {
  auto* Box = new TScrollBox(Form.get());
  Box->SetBounds(10, 10, 200, 150);
  Box->SetParent(Form.get());
  auto* Far = new TRecorder(Box);
  Far->SetBounds(10, 400, 60, 40);
  Far->SetParent(Box);
  GtTestPump(20);
  EXPECT_GE(Box->VertScrollBar()->Range(), 440);
  EXPECT_TRUE(Box->VertScrollBar()->IsScrollBarVisible());
  Box->ScrollInView(Far);
  EXPECT_GT(Box->VertScrollBar()->Position(), 0);
  EXPECT_LE(Far->Top() + Far->Height(), Box->ClientHeight());
  Box->VertScrollBar()->SetPosition(0);
  EXPECT_EQ(Far->Top(), 400);
  SendMessage(Box->Handle(), WM_VSCROLL, SB_LINEDOWN, 0);
  EXPECT_EQ(Far->Top(), 400 - Box->VertScrollBar()->Increment());
}

TEST_F(UiTest, ProgressBarKeepsItsPositionInRangeAndFillsThatShare) {
  auto* P = new TProgressBar(Form.get());
  P->SetBounds(10, 10, 202, 19);
  P->SetParent(Form.get());
  P->SetSmooth(true);
  struct Case {
    Integer Set, Position, Filled;  // filled: highlighted pixels of the 200 inside the edge
  } Cases[] = {{0, 0, 0}, {10, 10, 20}, {65, 65, 130}, {150, 100, 200}, {-5, 0, 0}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Set);
    P->SetPosition(C.Set);
    EXPECT_EQ(P->Position(), C.Position);
    GtTestPump(30);
    std::vector<uint32_t> Px;
    Integer W = 0, H = 0;
    ASSERT_TRUE(GtTestGrab(P->Handle(), Px, W, H));
    Integer Filled = 0;
    for (Integer x = 0; x < W; ++x) Filled += AsColor(Px[static_cast<size_t>(H / 2) * W + x]) == ColorToRGB(clHighlight);
    EXPECT_EQ(Filled, C.Filled);
  }
  P->SetRange(50, 40);  // a maximum below the minimum is the minimum
  EXPECT_EQ(P->Max(), 50);
  EXPECT_EQ(P->Position(), 50);
  P->SetRange(0, 100);
  P->SetPosition(0);
  P->SetStep(30);
  for (int i = 0; i < 4; ++i) P->StepIt();
  EXPECT_EQ(P->Position(), 100);
}

TEST_F(UiTest, FileListBoxListsTheFilesOfItsMaskWhateverTheirCase) {
  gt_test::TempDir Dir("filelist");
  ASSERT_FALSE(Dir.Path.empty());
  for (const char* N : {"b.BMP", "a.jpg", "C.Gif", "d.png", "e.jpg.txt", "f.JPEG", "g\xFF.jpg"}) {
    int Fd = ::open((Dir.Path + "/" + N).c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(Fd, 0);
    ::close(Fd);
  }
  ::mkdir((Dir.Path + "/folder.jpg").c_str(), 0700);
  auto* L = new TFileListBox(Form.get());
  L->SetBounds(10, 10, 150, 120);
  L->SetParent(Form.get());
  L->SetMask(u"*.jpg;*.bmp;*.gif");
  L->SetDirectory(WideFileName(Dir.Path));
  std::vector<WideString> Got;
  for (Integer i = 0; i < L->Items()->Count(); ++i) Got.push_back(L->Items()->Strings(i));
  EXPECT_EQ(Got, (std::vector<WideString>{u"a.jpg", u"b.BMP", u"C.Gif", WideFileName("g\xFF.jpg")}));
  EXPECT_EQ(L->ItemIndex(), -1) << "nothing selected";
  EXPECT_EQ(L->FileName(), u"");
  L->SetItemIndex(3);
  EXPECT_TRUE(FileExists(L->FileName())) << "a name that is not UTF-8 still opens";

  struct MaskCase {
    const char16_t* Name;
    const char16_t* Mask;
    bool Match;
  } Masks[] = {
      {u"PHOTO.JPG", u"*.jpg", true},       {u"photo.jpeg", u"*.jpg", false}, {u"a.b.gif", u"*.bmp; *.GIF", true},
      {u"x1.png", u"x?.png", true},         {u"x12.png", u"x?.png", false},   {u"README", u"*.*", true},
      {u"README", u"*.txt", false},         {u"", u"*.jpg", false},           {u"a.jpg", u";;", false},
  };
  for (size_t i = 0; i < std::size(Masks); ++i)
    EXPECT_EQ(GtFileMaskMatches(Masks[i].Name, Masks[i].Mask), Masks[i].Match) << "case " << i;
}

}  // namespace test_smallctrls_tests
