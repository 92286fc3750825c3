// The standard controls: events, properties kept in step with their widgets,
// dialog keys, and message boxes.
#include "platform/ui/comctrls.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/spin.h"
#include "uitest.h"

namespace test_controls_tests {

namespace {

template <class T>
T* Add(TForm* F, Integer L, Integer Top, Integer W, Integer H) {
  auto* C = new T(F);
  C->SetParent(F);
  C->SetBounds(L, Top, W, H);
  return C;
}

// Runs Action from inside the modal loop of the next ShowModal.
// The box may take longer than one tick to appear on a loaded machine, so the
// timer keeps waiting until the active window is a modal form.
void WhenModal(TTimer& T, std::function<void()> Action) {
  T.SetInterval(20);
  T.OnTimer = [&T, Action](TObject*) {
    auto* Active = dynamic_cast<TCustomForm*>(FindControl(GetActiveWindow()));
    if (!Active || !Active->FormState().Contains(fsModal)) return;
    T.SetEnabled(false);
    Action();
  };
  T.SetEnabled(true);
}

TEST_F(UiTest, ButtonClicksOnceAndDialogKeysPressDefaultAndCancel) {
  auto* Edit = Add<TEdit>(Form.get(), 10, 10, 100, 21);
  auto* Ok = Add<TButton>(Form.get(), 10, 40, 75, 25);
  auto* Cancel = Add<TButton>(Form.get(), 100, 40, 75, 25);
  Ok->SetDefault(true);
  Cancel->SetCancel(true);
  std::vector<std::string> Log;
  Ok->OnClick = [&](TObject*) { Log.push_back("ok"); };
  Cancel->OnClick = [&](TObject*) { Log.push_back("cancel"); };
  GtTestPump(10);
  GtTestClick(Ok->Handle(), gmbLeft, 10, 10);
  EXPECT_EQ(Log, std::vector<std::string>{"ok"});
  GtTestActivate(Form->Handle());
  Edit->SetFocus();
  GtTestPump(10);
  ASSERT_EQ(GetFocus(), Edit->Handle());
  GtTestKey(Edit->Handle(), true, VK_RETURN);
  GtTestKey(Edit->Handle(), true, VK_ESCAPE);
  EXPECT_EQ(Log, (std::vector<std::string>{"ok", "ok", "cancel"}));
  // A focused button is the one Enter presses.
  Cancel->SetFocus();
  GtTestPump(10);
  GtTestKey(Cancel->Handle(), true, VK_RETURN);
  EXPECT_EQ(Log.back(), "cancel");
  // A disabled button takes no dialog key.
  Ok->SetEnabled(false);
  Edit->SetFocus();
  GtTestPump(10);
  size_t Before = Log.size();
  GtTestKey(Edit->Handle(), true, VK_RETURN);
  EXPECT_EQ(Log.size(), Before);
}

TEST_F(UiTest, CheckAndRadioButtonsFollowClicksAndSettersAlike) {
  auto* Check = Add<TCheckBox>(Form.get(), 10, 10, 100, 20);
  Integer CheckClicks = 0;
  Check->OnClick = [&](TObject*) { ++CheckClicks; };
  GtTestPump(10);
  GtTestClick(Check->Handle(), gmbLeft, 5, 10);
  EXPECT_TRUE(Check->Checked());
  EXPECT_EQ(CheckClicks, 1);
  Check->SetChecked(false);  // a change by program fires OnClick too
  EXPECT_EQ(CheckClicks, 2);
  Check->SetChecked(false);
  EXPECT_EQ(CheckClicks, 2);

  auto* Panel = Add<TPanel>(Form.get(), 150, 10, 150, 100);
  TRadioButton* R[3];
  for (int i = 0; i < 3; ++i) {
    R[i] = new TRadioButton(Form.get());
    R[i]->SetParent(Panel);
    R[i]->SetBounds(5, 5 + 25 * i, 100, 20);
  }
  R[0]->SetChecked(true);
  GtTestPump(10);
  GtTestClick(R[2]->Handle(), gmbLeft, 5, 10);
  EXPECT_FALSE(R[0]->Checked());
  EXPECT_TRUE(R[2]->Checked());
  // A radio button of another parent is not touched.
  auto* Other = Add<TRadioButton>(Form.get(), 10, 150, 100, 20);
  Other->SetChecked(true);
  EXPECT_TRUE(R[2]->Checked());

  auto* Group = Add<TRadioGroup>(Form.get(), 10, 40, 130, 100);
  Group->Items()->SetCommaText(u"One,Two,Three");
  Integer GroupClicks = 0;
  Group->OnClick = [&](TObject*) { ++GroupClicks; };
  GtTestPump(10);
  ASSERT_EQ(Group->ButtonCount(), 3);
  GtTestClick(Group->Buttons(1)->Handle(), gmbLeft, 5, 8);
  EXPECT_EQ(Group->ItemIndex(), 1);
  EXPECT_EQ(GroupClicks, 1);
  Group->SetItemIndex(2);
  EXPECT_TRUE(Group->Buttons(2)->Checked());
  EXPECT_FALSE(Group->Buttons(1)->Checked());
}

TEST_F(UiTest, EditsReportTypingAndKeepTextAndLinesInStep) {
  auto* Edit = Add<TEdit>(Form.get(), 10, 10, 120, 21);
  std::vector<std::u16string> Changes;
  Edit->OnChange = [&](TObject*) { Changes.push_back(Edit->Text()); };
  GtTestActivate(Form->Handle());
  Edit->SetFocus();
  GtTestPump(10);
  GtTestKey(Edit->Handle(), true, 'A', gmkShift, u'A');
  GtTestKey(Edit->Handle(), true, 'B', 0, u'b');
  EXPECT_EQ(Edit->Text(), u"Ab");
  EXPECT_EQ(Changes, (std::vector<std::u16string>{u"A", u"Ab"}));
  EXPECT_TRUE(Edit->Modified());
  Edit->SetText(u"xyz");
  EXPECT_EQ(Changes.back(), u"xyz");
  Edit->SetCharCase(ecUpperCase);
  EXPECT_EQ(Edit->Text(), u"XYZ");
  Edit->SetMaxLength(2);
  GtTestKey(Edit->Handle(), true, VK_END);
  GtTestKey(Edit->Handle(), true, 'Q', 0, u'q');
  EXPECT_EQ(Edit->Text(), u"XYZ");  // already longer than the limit: no more typing

  auto* Memo = Add<TMemo>(Form.get(), 10, 40, 200, 100);
  Memo->Lines()->Add(u"first");
  Memo->Lines()->Add(u"second");
  EXPECT_EQ(Memo->Text(), u"first\r\nsecond");
  Memo->SetText(u"a\r\nb\r\nc");
  EXPECT_EQ(Memo->Lines()->Count(), 3);
  EXPECT_EQ(Memo->Lines()->Strings(2), u"c");
  Memo->SetFocus();
  GtTestPump(10);
  GtTestKey(Memo->Handle(), true, VK_END, gmkCtrl);
  GtTestKey(Memo->Handle(), true, VK_RETURN, 0, u'\r');
  GtTestKey(Memo->Handle(), true, 'D', 0, u'd');
  EXPECT_EQ(Memo->Lines()->Count(), 4);
  EXPECT_EQ(Memo->Lines()->Strings(3), u"d");
}

TEST_F(UiTest, ListsKeepItemsAndSelectionWithTheirWidgets) {
  auto* Combo = Add<TComboBox>(Form.get(), 10, 10, 120, 21);
  Combo->SetStyle(csDropDownList);
  Combo->Items()->SetCommaText(u"Red,Green,Blue");
  Combo->SetItemIndex(1);
  EXPECT_EQ(Combo->Text(), u"Green");
  Combo->SetText(u"Blue");
  EXPECT_EQ(Combo->ItemIndex(), 2);
  Combo->SetText(u"Purple");
  EXPECT_EQ(Combo->ItemIndex(), -1);
  Combo->Items()->Delete(0);
  Combo->SetItemIndex(5);
  EXPECT_EQ(Combo->ItemIndex(), -1);

  auto* List = Add<TListBox>(Form.get(), 10, 40, 120, 100);
  List->Items()->SetCommaText(u"a,b,c,d");
  Integer Clicks = 0;
  List->OnClick = [&](TObject*) { ++Clicks; };
  List->SetItemIndex(2);
  EXPECT_EQ(List->ItemIndex(), 2);
  EXPECT_TRUE(List->Selected(2));
  EXPECT_EQ(Clicks, 0);  // selection by program is no click
  GtTestPump(10);
  GtTestClick(List->Handle(), gmbLeft, 10, 5);  // the first row
  EXPECT_EQ(List->ItemIndex(), 0);
  EXPECT_EQ(Clicks, 1);
  List->SetMultiSelect(true);
  List->SetSelected(1, true);
  List->SetSelected(3, true);
  EXPECT_EQ(List->SelCount(), 3);
  EXPECT_THROW(List->Selected(9), EListError);
}

TEST_F(UiTest, PageControlShowsOnlyTheActiveSheetAndAsksBeforeChanging) {
  auto* Pages = Add<TPageControl>(Form.get(), 0, 0, 300, 200);
  TTabSheet* S[3];
  for (int i = 0; i < 3; ++i) {
    S[i] = new TTabSheet(Form.get());
    S[i]->SetCaption(u"Page " + std::u16string(1, static_cast<char16_t>(u'1' + i)));
    S[i]->SetPageControl(Pages);
  }
  GtTestPump(10);
  EXPECT_EQ(Pages->PageCount(), 3);
  EXPECT_EQ(Pages->ActivePage(), S[0]);
  EXPECT_TRUE(S[0]->Visible());
  EXPECT_FALSE(S[1]->Visible());
  TRect D = Pages->DisplayRect();
  EXPECT_EQ(S[0]->BoundsRect(), D);
  bool Allow = false;
  Integer Changes = 0;
  Pages->OnChanging = [&](TObject*, bool& A) { A = Allow; };
  Pages->OnChange = [&](TObject*) { ++Changes; };
  Pages->SelectNextPage(true);
  EXPECT_EQ(Pages->ActivePage(), S[0]);
  Allow = true;
  Pages->SelectNextPage(true);
  EXPECT_EQ(Pages->ActivePage(), S[1]);
  EXPECT_TRUE(S[1]->Visible());
  EXPECT_FALSE(S[0]->Visible());
  EXPECT_EQ(Changes, 1);
  S[1]->SetTabVisible(false);
  EXPECT_EQ(Pages->ActivePage(), S[2]);
  EXPECT_EQ(S[2]->TabIndex(), 1);
  delete S[2];
  EXPECT_EQ(Pages->PageCount(), 2);
  EXPECT_EQ(Pages->ActivePage(), S[0]);
}

TEST_F(UiTest, RangeControlsClampAndReportChanges) {
  auto* Track = Add<TTrackBar>(Form.get(), 0, 0, 150, 45);
  Integer TrackChanges = 0;
  Track->OnChange = [&](TObject*) { ++TrackChanges; };
  Track->SetMax(20);
  Track->SetPosition(25);
  EXPECT_EQ(Track->Position(), 20);
  Track->SetMin(21);
  EXPECT_EQ(Track->Position(), 21);
  EXPECT_EQ(TrackChanges, 2);

  auto* Spin = Add<TSpinEdit>(Form.get(), 0, 50, 80, 22);
  Spin->SetValue(-500);  // Min = Max = 0: no limit
  EXPECT_EQ(Spin->Value(), -500);
  Spin->SetMinValue(1);
  Spin->SetMaxValue(10);
  EXPECT_EQ(Spin->Value(), 1);
  Spin->SetText(u"7");
  EXPECT_EQ(Spin->Value(), 7);
  Spin->SetText(u"99");
  EXPECT_EQ(Spin->Value(), 10);

  auto* Bar = Add<TScrollBar>(Form.get(), 0, 80, 150, 17);
  Integer BarChanges = 0;
  Bar->OnChange = [&](TObject*) { ++BarChanges; };
  Bar->SetParams(150, 0, 100);
  EXPECT_EQ(Bar->Position(), 100);
  EXPECT_EQ(BarChanges, 1);
  EXPECT_THROW(Bar->SetParams(0, 10, 5), EInvalidOperation);

  auto* Edit = Add<TEdit>(Form.get(), 0, 110, 80, 21);
  auto* Up = Add<TUpDown>(Form.get(), 0, 0, 17, 21);
  Up->SetMax(3);
  Up->SetAssociate(Edit);
  EXPECT_EQ(Edit->Text(), u"0");
  EXPECT_EQ(Up->Left(), Edit->Left() + Edit->Width());
  std::vector<TUDBtnType> Clicks;
  Up->OnClick = [&](TObject*, TUDBtnType B) { Clicks.push_back(B); };
  Up->Step(btNext);
  Up->Step(btNext);
  EXPECT_EQ(Edit->Text(), u"2");
  Edit->SetText(u"3");  // typed by the user: the next step starts from it
  Up->Step(btNext);
  EXPECT_EQ(Up->Position(), 3);
  Up->SetWrap(true);
  Up->Step(btNext);
  EXPECT_EQ(Up->Position(), 0);
  Up->OnChanging = [](TObject*, bool& A) { A = false; };
  Up->Step(btNext);
  EXPECT_EQ(Up->Position(), 0);
  EXPECT_EQ(Clicks.size(), 4u);
  Up->OnChanging = nullptr;
  // Arrow keys in the edit step the up-down instead of moving the cursor.
  GtTestActivate(Form->Handle());
  Edit->SetFocus();
  GtTestPump(10);
  GtTestKey(Edit->Handle(), true, VK_UP);
  EXPECT_EQ(Up->Position(), 1);
  Up->SetThousands(true);
  Up->SetMax(5000);
  Up->SetPosition(1234);
  EXPECT_EQ(Edit->Text(), u"1,234");
}

TEST_F(UiTest, LabelsSizeToTheirTextAndPanelsDrawTheirBevels) {
  auto* Label = Add<TLabel>(Form.get(), 10, 10, 10, 10);
  Label->SetCaption(u"W");
  Integer Narrow = Label->Width();
  Label->SetCaption(u"WWWWWWWWWW");
  EXPECT_GT(Label->Width(), 5 * Narrow);
  EXPECT_GT(Label->Height(), 5);
  Label->SetAutoSize(false);
  Label->SetCaption(u"W");
  EXPECT_GT(Label->Width(), 5 * Narrow);

  auto* Panel = Add<TPanel>(Form.get(), 50, 50, 60, 40);
  Panel->SetBevelOuter(bvRaised);
  ASSERT_TRUE(GtTestPumpUntil([&] { return Panel->HandleAllocated() && IsWindowVisible(Panel->Handle()); }, gt_test::kWaitMs));
  GtTestPump(30);
  std::vector<uint32_t> P;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(Panel->Handle(), P, W, H));
  auto Rgb = [](TColor C) {
    Integer V = ColorToRGB(C);
    return static_cast<uint32_t>(((V & 0xFF) << 16) | (V & 0xFF00) | ((V >> 16) & 0xFF));
  };
  EXPECT_EQ(P[0], Rgb(clBtnHighlight));
  EXPECT_EQ(P[static_cast<size_t>(H - 1) * W + (W - 1)], Rgb(clBtnShadow));
  EXPECT_EQ(P[static_cast<size_t>(H / 2) * W + 5], Rgb(clBtnFace));
  // Children of a bevelled panel are aligned inside the bevel.
  auto* Inner = new TPanel(Form.get());
  Inner->SetParent(Panel);
  Inner->SetAlign(alClient);
  EXPECT_EQ(Inner->BoundsRect(), TRect(1, 1, 59, 39));
}

TEST_F(UiTest, ImagesDrawTheirPicture) {
  auto* Host = AddRecorder(0, 0, 100, 100);
  Host->PaintPattern = false;
  Host->SetColor(clWhite);
  auto* Img = new TImage(Form.get());
  Img->SetParent(Host);
  Img->SetBounds(10, 10, 40, 40);
  Img->SetStretch(true);
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(2, 2);
  B.Canvas()->Brush()->SetColor(clRed);
  B.Canvas()->FillRect(TRect(0, 0, 2, 2));
  Img->Picture()->SetBitmap(&B);
  ASSERT_TRUE(GtTestPumpUntil([&] { return Host->Paints > 0; }, gt_test::kWaitMs));
  GtTestPump(30);
  std::vector<uint32_t> P;
  Integer W = 0, H = 0;
  ASSERT_TRUE(GtTestGrab(Host->Handle(), P, W, H));
  EXPECT_EQ(P[30 * 100 + 30], 0xFF0000u);
  EXPECT_EQ(P[30 * 100 + 55], 0xFFFFFFu);
  // Drawing on an image's canvas goes into its bitmap.
  Img->Canvas()->Pixels(0, 0);
  EXPECT_EQ(Img->Canvas()->Pixels(1, 1), clRed);
}

TEST_F(UiTest, MessageBoxesAnswerWithTheButtonPressed) {
  std::vector<std::u16string> Seen;
  GtSetMessageBoxHook([&](const WideString& Text, const WideString& Caption, UINT Type) {
    Seen.push_back(Caption + u": " + Text);
    return (Type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
  });
  EXPECT_EQ(MessageBox(nullptr, u"Save?", u"Gimro-Tal", MB_YESNO | MB_ICONQUESTION), IDNO);
  EXPECT_EQ(MessageDlg(u"Gone", mtError, TMsgDlgButtons{mbOK}, 0), IDOK);
  EXPECT_EQ(Seen, (std::vector<std::u16string>{u"Gimro-Tal: Save?", u"Error: Gone"}));
  GtSetMessageBoxHook(nullptr);

  // The real box: Enter presses the default button, Escape closes with Cancel.
  TTimer T(nullptr);
  WhenModal(T, [] { GtTestKey(GetActiveWindow(), true, VK_RETURN); });
  EXPECT_EQ(MessageBox(nullptr, u"Really?", u"Gimro-Tal", MB_YESNO | MB_DEFBUTTON2), IDNO);
  WhenModal(T, [] { GtTestKey(GetActiveWindow(), true, VK_ESCAPE); });
  EXPECT_EQ(MessageDlg(u"Keep?", mtConfirmation, mbYesNoCancel, 0), mrCancel);
  WhenModal(T, [] {
    auto* Box = dynamic_cast<TCustomForm*>(FindControl(GetActiveWindow()));
    for (Integer i = 0; Box && i < Box->ControlCount(); ++i)
      if (auto* B = dynamic_cast<TButton*>(Box->Controls(i)))
        if (B->Caption() == u"&Yes") GtTestClick(B->Handle(), gmbLeft, 5, 5);
  });
  EXPECT_EQ(MessageDlg(u"Keep?", mtConfirmation, mbYesNoCancel, 0), mrYes);
}

TEST_F(UiTest, ClosingFormsRunsTheirEventsAndReleaseFreesLater) {
  auto* F = new TForm(nullptr);
  std::vector<std::string> Log;
  bool CanClose = false;
  F->OnCreate = [&](TObject*) { Log.push_back("create"); };
  F->OnShow = [&](TObject*) { Log.push_back("show"); };
  F->OnHide = [&](TObject*) { Log.push_back("hide"); };
  F->OnCloseQuery = [&](TObject*, bool& C) {
    Log.push_back("query");
    C = CanClose;
  };
  F->OnClose = [&](TObject*, TCloseAction& A) {
    Log.push_back("close");
    A = caFree;
  };
  F->OnDestroy = [&](TObject*) { Log.push_back("destroy"); };
  F->Show();
  F->Close();
  EXPECT_TRUE(F->Visible());
  CanClose = true;
  F->Close();
  EXPECT_EQ(Log, (std::vector<std::string>{"create", "show", "query", "query", "close"}));
  Integer Forms = Screen->FormCount();
  GtTestPump(30);
  EXPECT_EQ(Screen->FormCount(), Forms - 1);
  EXPECT_EQ(Log.back(), "destroy");
}

}  // namespace

}  // namespace test_controls_tests
