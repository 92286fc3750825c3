// Message boxes and message dialogs as forms with a label, an icon and buttons.
#include "platform/ui/dialogs.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QStyle>

#include <algorithm>

#include "platform/ui/private/native.h"
#include "platform/ui/testsupport.h"

namespace {

std::function<Integer(const WideString&, const WideString&, UINT)> g_Hook;
std::function<Integer(TForm*)> g_FormHook;

struct TButtonSpec {
  WideString Caption;
  Integer Result;
};

// The platform's message icon on the dialog's face colour, as a 24-bit bitmap.
void FillIcon(TBitmap* Bmp, QStyle::StandardPixmap Kind) {
  constexpr int Size = 32;
  COLORREF Face = GetSysColor(COLOR_BTNFACE);
  QImage Img(Size, Size, QImage::Format_RGB32);
  Img.fill(QColor(GetRValue(Face), GetGValue(Face), GetBValue(Face)));
  {
    QPainter P(&Img);
    QApplication::style()->standardIcon(Kind).paint(&P, QRect(0, 0, Size, Size));
  }
  Bmp->SetPixelFormat(pf24bit);
  Bmp->SetSize(Size, Size);
  for (int y = 0; y < Size; ++y) {
    auto* Dst = static_cast<uint8_t*>(Bmp->ScanLine(y));
    const auto* Src = reinterpret_cast<const QRgb*>(Img.constScanLine(y));
    for (int x = 0; x < Size; ++x) {
      Dst[3 * x] = static_cast<uint8_t>(qBlue(Src[x]));
      Dst[3 * x + 1] = static_cast<uint8_t>(qGreen(Src[x]));
      Dst[3 * x + 2] = static_cast<uint8_t>(qRed(Src[x]));
    }
  }
}

TForm* BuildBox(const WideString& Text, const WideString& Caption, int Icon, const std::vector<TButtonSpec>& Buttons,
                Integer DefaultIndex, Integer CancelIndex) {
  constexpr Integer Margin = 12, IconSize = 32, MaxTextWidth = 360, ButtonHeight = 25, Gap = 6;
  auto* Form = new TForm(nullptr);
  Form->SetBorderStyle(bsDialog);
  Form->SetCaption(Caption);
  Form->SetPosition(poScreenCenter);
  Integer TextLeft = Margin;
  if (Icon >= 0) {
    auto* Img = new TImage(Form);
    Img->SetParent(Form);
    Img->SetBounds(Margin, Margin, IconSize, IconSize);
    TBitmap Bmp;
    FillIcon(&Bmp, static_cast<QStyle::StandardPixmap>(Icon));
    Img->Picture()->SetBitmap(&Bmp);
    TextLeft = Margin + IconSize + Margin;
  }
  auto* Label = new TLabel(Form);
  Label->SetName(u"Message");
  Label->SetParent(Form);
  Label->SetShowAccelChar(false);
  Label->SetWordWrap(true);
  Label->SetBounds(TextLeft, Margin, MaxTextWidth, 13);
  Label->SetCaption(Text);
  Integer ContentHeight = std::max(Icon >= 0 ? IconSize : 0, Label->Height());
  if (Icon >= 0 && Label->Height() < IconSize) Label->SetTop(Margin + (IconSize - Label->Height()) / 2);

  std::vector<Integer> Widths;
  Integer RowWidth = 0;
  HDC DC = GetDC(nullptr);
  HGDIOBJ Old = SelectObject(DC, Form->Font()->Handle());
  for (const TButtonSpec& B : Buttons) {
    TSize S;
    GetTextExtentPoint32W(DC, B.Caption.c_str(), static_cast<Integer>(B.Caption.size()), &S);
    Integer W = std::max<Integer>(75, S.cx + 16);
    Widths.push_back(W);
    RowWidth += W;
  }
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  RowWidth += Gap * (static_cast<Integer>(Buttons.size()) - 1);
  Integer ClientWidth = std::max({Label->Left() + Label->Width() + Margin, RowWidth + 2 * Margin, 180});
  Integer ButtonTop = Margin + ContentHeight + 2 * Margin;
  Form->SetClientWidth(ClientWidth);
  Form->SetClientHeight(ButtonTop + ButtonHeight + Margin);
  Integer X = (ClientWidth - RowWidth) / 2;
  for (size_t i = 0; i < Buttons.size(); ++i) {
    auto* B = new TButton(Form);
    B->SetParent(Form);
    B->SetCaption(Buttons[i].Caption);
    B->SetModalResult(Buttons[i].Result);
    B->SetBounds(X, ButtonTop, Widths[i], ButtonHeight);
    X += Widths[i] + Gap;
    if (static_cast<Integer>(i) == DefaultIndex) {
      B->SetDefault(true);
      Form->SetActiveControl(B);
    }
    if (static_cast<Integer>(i) == CancelIndex) B->SetCancel(true);
  }
  return Form;
}

int IconOf(UINT Type) {
  switch (Type & MB_ICONMASK) {
    case MB_ICONHAND: return QStyle::SP_MessageBoxCritical;
    case MB_ICONQUESTION: return QStyle::SP_MessageBoxQuestion;
    case MB_ICONEXCLAMATION: return QStyle::SP_MessageBoxWarning;
    case MB_ICONASTERISK: return QStyle::SP_MessageBoxInformation;
    default: return -1;
  }
}

struct TDlgButton {
  TMsgDlgBtn Btn;
  const char16_t* Caption;
  Integer Result;
};
const TDlgButton kDlgButtons[] = {
    {mbYes, u"&Yes", mrYes},         {mbNo, u"&No", mrNo},                {mbOK, u"OK", mrOk},
    {mbCancel, u"Cancel", mrCancel}, {mbAbort, u"&Abort", mrAbort},       {mbRetry, u"&Retry", mrRetry},
    {mbIgnore, u"&Ignore", mrIgnore}, {mbAll, u"&All", mrAll},            {mbNoToAll, u"N&o to All", mrNoToAll},
    {mbYesToAll, u"Yes to &All", mrYesToAll}, {mbHelp, u"&Help", mrNone},
};

UINT DlgTypeFlags(TMsgDlgType T, TMsgDlgButtons B) {
  UINT F = 0;
  switch (T) {
    case mtWarning: F = MB_ICONWARNING; break;
    case mtError: F = MB_ICONERROR; break;
    case mtInformation: F = MB_ICONINFORMATION; break;
    case mtConfirmation: F = MB_ICONQUESTION; break;
    default: break;
  }
  if (B == TMsgDlgButtons{mbOK, mbCancel}) F |= MB_OKCANCEL;
  else if (B == TMsgDlgButtons{mbYes, mbNo}) F |= MB_YESNO;
  else if (B == TMsgDlgButtons{mbYes, mbNo, mbCancel}) F |= MB_YESNOCANCEL;
  else if (B == TMsgDlgButtons{mbAbort, mbRetry, mbIgnore}) F |= MB_ABORTRETRYIGNORE;
  else if (B == TMsgDlgButtons{mbRetry, mbCancel}) F |= MB_RETRYCANCEL;
  return F;
}

WideString DlgCaption(TMsgDlgType T) {
  switch (T) {
    case mtWarning: return u"Warning";
    case mtError: return u"Error";
    case mtInformation: return u"Information";
    case mtConfirmation: return u"Confirmation";
    default: return Application->Title();
  }
}

}  // namespace

void GtSetMessageBoxHook(const std::function<Integer(const WideString&, const WideString&, UINT)>& Hook) {
  g_Hook = Hook;
}

Integer MessageBox(HWND, const WideString& Text, const WideString& Caption, UINT Type) {
  WideString Cap = Caption.empty() ? WideString(u"Error") : Caption;
  if (g_Hook) return g_Hook(Text, Cap, Type);
  std::vector<TButtonSpec> Buttons;
  switch (Type & MB_TYPEMASK) {
    case MB_OKCANCEL: Buttons = {{u"OK", IDOK}, {u"Cancel", IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE: Buttons = {{u"&Abort", IDABORT}, {u"&Retry", IDRETRY}, {u"&Ignore", IDIGNORE}}; break;
    case MB_YESNOCANCEL: Buttons = {{u"&Yes", IDYES}, {u"&No", IDNO}, {u"Cancel", IDCANCEL}}; break;
    case MB_YESNO: Buttons = {{u"&Yes", IDYES}, {u"&No", IDNO}}; break;
    case MB_RETRYCANCEL: Buttons = {{u"&Retry", IDRETRY}, {u"Cancel", IDCANCEL}}; break;
    default: Buttons = {{u"OK", IDOK}}; break;
  }
  Integer Default = std::min<Integer>(static_cast<Integer>((Type & MB_DEFMASK) >> 8), static_cast<Integer>(Buttons.size()) - 1);
  Integer Cancel = -1;
  for (size_t i = 0; i < Buttons.size(); ++i)
    if (Buttons[i].Result == IDCANCEL) Cancel = static_cast<Integer>(i);
  if (Cancel < 0 && Buttons.size() == 1) Cancel = 0;
  std::unique_ptr<TForm> Form(BuildBox(Text, Cap, IconOf(Type), Buttons, Default, Cancel));
  Integer R = Form->ShowModal();
  // Closed without a button: Cancel when there is one, else the box's "no" answer.
  if (R == mrCancel && Cancel < 0) R = (Type & MB_TYPEMASK) == MB_YESNO ? IDNO : Buttons.back().Result;
  return R;
}

namespace gtui {
// Beeps so far, for tests that check a key is taken silently.
Integer g_BeepCount = 0;
}  // namespace gtui

BOOL MessageBeep(UINT) {
  ++gtui::g_BeepCount;
  QApplication::beep();
  return TRUE;
}

TForm* CreateMessageDialog(const WideString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  std::vector<TButtonSpec> Specs;
  for (const TDlgButton& B : kDlgButtons)
    if (Buttons.Contains(B.Btn)) Specs.push_back({B.Caption, B.Result});
  if (Specs.empty()) Specs.push_back({u"OK", mrOk});
  auto IndexOf = [&](Integer Result) {
    for (size_t i = 0; i < Specs.size(); ++i)
      if (Specs[i].Result == Result) return static_cast<Integer>(i);
    return -1;
  };
  Integer Default = IndexOf(mrOk);
  if (Default < 0) Default = IndexOf(mrYes);
  if (Default < 0) Default = 0;
  Integer Cancel = IndexOf(mrCancel);
  if (Cancel < 0) Cancel = IndexOf(mrNo);
  if (Cancel < 0) Cancel = IndexOf(mrOk);
  int Icon = -1;
  switch (DlgType) {
    case mtWarning: Icon = QStyle::SP_MessageBoxWarning; break;
    case mtError: Icon = QStyle::SP_MessageBoxCritical; break;
    case mtInformation: Icon = QStyle::SP_MessageBoxInformation; break;
    case mtConfirmation: Icon = QStyle::SP_MessageBoxQuestion; break;
    default: break;
  }
  return BuildBox(Msg, DlgCaption(DlgType), Icon, Specs, Default, Cancel);
}

Integer MessageDlg(const WideString& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, Integer) {
  if (g_Hook) return g_Hook(Msg, DlgCaption(DlgType), DlgTypeFlags(DlgType, Buttons));
  std::unique_ptr<TForm> Form(CreateMessageDialog(Msg, DlgType, Buttons));
  return Form->ShowModal();
}

void ShowMessage(const WideString& Msg) {
  if (g_Hook) {
    g_Hook(Msg, Application->Title(), MB_OK);
    return;
  }
  std::unique_ptr<TForm> Form(CreateMessageDialog(Msg, mtCustom, TMsgDlgButtons{mbOK}));
  Form->ShowModal();
}

TCommonDialog::TCommonDialog(TComponent* AOwner) : TComponent(AOwner) {}

void TCommonDialog::DoShow() {
  if (OnShow) OnShow(this);
}

void TCommonDialog::DoClose() {
  if (OnClose) OnClose(this);
}

void GtSetDialogFormHook(const std::function<Integer(TForm* Form)>& Hook) { g_FormHook = Hook; }

Integer GtShowDialogForm(TForm* Form) { return g_FormHook ? g_FormHook(Form) : Form->ShowModal(); }

bool InputQuery(const WideString& ACaption, const WideString& APrompt, WideString& Value) {
  constexpr Integer Margin = 8, Width = 260, ButtonWidth = 75, ButtonHeight = 25;
  std::unique_ptr<TForm> Form(new TForm(nullptr));
  Form->SetBorderStyle(bsDialog);
  Form->SetCaption(ACaption);
  Form->SetPosition(poScreenCenter);
  auto* Prompt = new TLabel(Form.get());
  Prompt->SetName(u"Prompt");
  Prompt->SetParent(Form.get());
  Prompt->SetBounds(Margin, Margin, Width - 2 * Margin, 13);
  Prompt->SetCaption(APrompt);
  auto* Edit = new TEdit(Form.get());
  Edit->SetName(u"Edit");
  Edit->SetParent(Form.get());
  Edit->SetBounds(Margin, Prompt->Top() + Prompt->Height() + 4, Width - 2 * Margin, 21);
  Edit->SetText(Value);
  Edit->SelectAll();
  const Integer ButtonTop = Edit->Top() + Edit->Height() + 12;
  auto* Ok = new TButton(Form.get());
  Ok->SetName(u"OKButton");
  Ok->SetParent(Form.get());
  Ok->SetCaption(u"OK");
  Ok->SetModalResult(mrOk);
  Ok->SetDefault(true);
  Ok->SetBounds(Width / 2 - ButtonWidth - 4, ButtonTop, ButtonWidth, ButtonHeight);
  auto* Cancel = new TButton(Form.get());
  Cancel->SetName(u"CancelButton");
  Cancel->SetParent(Form.get());
  Cancel->SetCaption(u"Cancel");
  Cancel->SetModalResult(mrCancel);
  Cancel->SetCancel(true);
  Cancel->SetBounds(Width / 2 + 4, ButtonTop, ButtonWidth, ButtonHeight);
  Form->SetClientWidth(Width);
  Form->SetClientHeight(ButtonTop + ButtonHeight + Margin);
  Form->SetActiveControl(Edit);
  if (GtShowDialogForm(Form.get()) != mrOk) return false;
  Value = Edit->Text();
  return true;
}
