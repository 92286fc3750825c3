// Standard controls over Qt widgets, and the self-drawn label and group box.
#include "platform/ui/stdctrls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPalette>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>

#include "platform/base/strutils.h"
#include "platform/ui/private/native.h"

using namespace gtui;

namespace {

// Text measured with a control's font on the screen DC (the control may have no window yet).
TRect MeasureText(TFont* Font, const WideString& Text, Integer MaxWidth, UINT Flags) {
  HDC DC = GetDC(nullptr);
  TRect R(0, 0, MaxWidth, 0);
  if (!DC) return R;
  HGDIOBJ Old = SelectObject(DC, Font->Handle());
  DrawTextW(DC, Text.c_str(), static_cast<Integer>(Text.size()), &R, Flags | DT_CALCRECT);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  return R;
}

WideString ApplyCase(const WideString& S, TEditCharCase Case) {
  switch (Case) {
    case ecUpperCase: return WideUpperCase(S);
    case ecLowerCase: return WideLowerCase(S);
    default: return S;
  }
}

WideString NewlinesToCRLF(const QString& S) {
  WideString In = FromQString(S), Out;
  Out.reserve(In.size());
  for (WideChar C : In) {
    if (C == u'\n') Out += u'\r';
    Out += C;
  }
  return Out;
}

// The text of a string list without the line break after its last line.
WideString JoinedText(TStrings* Lines) {
  WideString T = Lines->Text();
  if (T.size() >= 2 && T.compare(T.size() - 2, 2, u"\r\n") == 0) T.resize(T.size() - 2);
  return T;
}

QString ForWidget(const WideString& S) {
  WideString Out;
  Out.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    if (S[i] == u'\r' && i + 1 < S.size() && S[i + 1] == u'\n') continue;
    Out += S[i] == u'\r' ? u'\n' : S[i];
  }
  return ToQString(Out);
}

}  // namespace

// ---------------------------------------------------------------- TLabel

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle.Include(csReplicatable);
  SetBounds(0, 0, 65, 17);
  AdjustBounds();
}

void TLabel::SetAlignment(TAlignment Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout Value) {
  if (FLayout == Value) return;
  FLayout = Value;
  Invalidate();
}

void TLabel::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  AdjustBounds();
}

void TLabel::SetWordWrap(bool Value) {
  if (FWordWrap == Value) return;
  FWordWrap = Value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  if (Value)
    FControlStyle.Exclude(csOpaque);
  else
    FControlStyle.Include(csOpaque);
  Invalidate();
}

void TLabel::SetShowAccelChar(bool Value) {
  if (FShowAccelChar == Value) return;
  FShowAccelChar = Value;
  AdjustBounds();
  Invalidate();
}

UINT TLabel::DrawFlags() const {
  UINT F = DT_EXPANDTABS;
  if (FWordWrap) F |= DT_WORDBREAK;
  if (FAlignment == taRightJustify) F |= DT_RIGHT;
  if (FAlignment == taCenter) F |= DT_CENTER;
  if (!FShowAccelChar) F |= DT_NOPREFIX;
  return F;
}

void TLabel::TextChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize) return;
  WideString T = Caption();
  if (T.empty() || (FShowAccelChar && T == u"&")) T += u' ';
  TRect R = MeasureText(FFont.get(), T, FWordWrap ? FWidth : 0x7FFF, DrawFlags() & ~static_cast<UINT>(DT_RIGHT | DT_CENTER));
  Integer X = FLeft;
  if (FAlignment == taRightJustify) X += FWidth - R.Right;
  SetBounds(X, FTop, R.Right, R.Bottom);
}

void TLabel::Paint() {
  TRect R = ClientRect();
  TCanvas* C = Canvas();
  if (!FTransparent) {
    C->Brush()->SetColor(FColor);
    C->Brush()->SetStyle(bsSolid);
    C->FillRect(R);
  }
  C->Brush()->SetStyle(bsClear);
  C->SetFont(FFont.get());
  WideString T = Caption();
  UINT Flags = DrawFlags();
  if (FLayout != tlTop) {
    TRect Calc = R;
    DrawTextW(C->Handle(), T.c_str(), static_cast<Integer>(T.size()), &Calc, Flags | DT_CALCRECT);
    Integer Off = FLayout == tlBottom ? R.Height() - Calc.Height() : (R.Height() - Calc.Height()) / 2;
    OffsetRect(R, 0, Off);
  }
  if (!FEnabled) {
    // Disabled text: a highlight shadow under grey text.
    TRect Shifted = R;
    OffsetRect(Shifted, 1, 1);
    C->Font()->SetColor(clBtnHighlight);
    DrawTextW(C->Handle(), T.c_str(), static_cast<Integer>(T.size()), &Shifted, Flags);
    C->Font()->SetColor(clBtnShadow);
  }
  DrawTextW(C->Handle(), T.c_str(), static_cast<Integer>(T.size()), &R, Flags);
}

// ---------------------------------------------------------------- buttons

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {
  // The widget reports clicks itself; mouse messages must not click a second time.
  FControlStyle = TControlStyle{csSetCaption, csDoubleClicks};
  FTabStop = true;
}

void TButtonControl::Dispatch(TMessage& M) { TWinControl::Dispatch(M); }

void TButtonControl::TextChanged() { SyncWidget(); }

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) { SetBounds(0, 0, 75, 25); }

void TButton::SetDefault(bool Value) {
  FDefault = Value;
  SyncWidget();
}

void TButton::Click() {
  if (FModalResult != mrNone)
    if (TCustomForm* F = GetParentForm(this)) F->SetModalResult(FModalResult);
  TButtonControl::Click();
}

void TButton::CreateWindowHandle(const TCreateParams& P) {
  auto* B = new QPushButton(ToQString(FText));
  B->setAutoDefault(false);
  B->setDefault(FDefault);
  QObject::connect(B, &QPushButton::clicked, B, [this] { Guarded([this] { Click(); }); });
  CreateNativeWindow(P, B, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
}

void TButton::SyncWidget() {
  if (auto* B = NativeOf<QPushButton>(FHandle)) {
    B->setText(ToQString(FText));
    B->setDefault(FDefault);
  }
}

void TButton::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CM_DIALOGKEY: {
      TWinControl* Focus = FindControl(GetFocus());
      bool Active = Focus == this || (FDefault && !dynamic_cast<TButton*>(Focus));
      if (((M.WParam == VK_RETURN && Active) || (M.WParam == VK_ESCAPE && FCancel)) &&
          KeyDataToShiftState(M.LParam).Empty() && CanFocus()) {
        Click();
        M.Result = 1;
        return;
      }
      break;
    }
    case WM_GETDLGCODE: M.Result = DLGC_BUTTON | (FDefault ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON); return;
    default: break;
  }
  TButtonControl::Dispatch(M);
}

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) { SetBounds(0, 0, 97, 17); }

void TCustomCheckBox::SetState(TCheckBoxState Value) {
  if (FState == Value) return;
  FState = Value;
  SyncWidget();
  Click();
}

void TCustomCheckBox::SetAllowGrayed(bool Value) {
  FAllowGrayed = Value;
  if (!Value && FState == cbGrayed) SetState(cbUnchecked);
  SyncWidget();
}

void TCustomCheckBox::CreateWindowHandle(const TCreateParams& P) {
  auto* C = new QCheckBox(ToQString(FText));
  QObject::connect(C, &QCheckBox::clicked, C, [this, C] {
    Guarded([this, C] {
      TCheckBoxState S = C->checkState() == Qt::Checked ? cbChecked
                         : C->checkState() == Qt::PartiallyChecked ? cbGrayed
                                                                    : cbUnchecked;
      if (S == FState) return;
      FState = S;
      Click();
    });
  });
  CreateNativeWindow(P, C, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  SyncWidget();
}

void TCustomCheckBox::SyncWidget() {
  auto* C = NativeOf<QCheckBox>(FHandle);
  if (!C) return;
  const QSignalBlocker Block(C);
  C->setText(ToQString(FText));
  C->setTristate(FAllowGrayed || FState == cbGrayed);
  C->setCheckState(FState == cbChecked ? Qt::Checked : FState == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  SetBounds(0, 0, 113, 17);
  FTabStop = false;
}

void TRadioButton::SetChecked(bool Value) {
  if (FChecked == Value) return;
  FChecked = Value;
  SetTabStop(Value);
  SyncWidget();
  if (!Value) return;
  if (FParent)
    for (Integer i = 0; i < FParent->ControlCount(); ++i)
      if (auto* R = dynamic_cast<TRadioButton*>(FParent->Controls(i)))
        if (R != this) R->SetChecked(false);
  Click();
}

void TRadioButton::CreateWindowHandle(const TCreateParams& P) {
  auto* R = new QRadioButton(ToQString(FText));
  R->setAutoExclusive(false);
  QObject::connect(R, &QRadioButton::clicked, R, [this] {
    Guarded([this] {
      if (FChecked)
        SyncWidget();  // a click on the checked button leaves it checked
      else
        SetChecked(true);
    });
  });
  CreateNativeWindow(P, R, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  SyncWidget();
}

void TRadioButton::SyncWidget() {
  auto* R = NativeOf<QRadioButton>(FHandle);
  if (!R) return;
  const QSignalBlocker Block(R);
  R->setText(ToQString(FText));
  R->setChecked(FChecked);
}

// ---------------------------------------------------------------- edits

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
}

void TCustomEdit::Change() {
  if (OnChange) OnChange(this);
}

void TCustomEdit::SetMaxLength(Integer Value) {
  // The limit stops typing; a text that is longer already stays (the widget's own limit would cut it).
  FMaxLength = std::max(0, Value);
}

void TCustomEdit::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->setReadOnly(Value);
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) M->setReadOnly(Value);
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  FBorderStyle = Value;
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->setFrame(Value != bsNone);
}

void TCustomEdit::SetCharCase(TEditCharCase Value) {
  if (FCharCase == Value) return;
  FCharCase = Value;
  SetText(ApplyCase(GetText(), Value));
}

Integer TCustomEdit::SelStart() {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) return E->hasSelectedText() ? E->selectionStart() : E->cursorPosition();
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) return M->textCursor().selectionStart();
  return 0;
}

void TCustomEdit::SetSelStart(Integer Value) {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->setCursorPosition(Value);
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    QTextCursor C = M->textCursor();
    C.setPosition(std::clamp(Value, 0, static_cast<Integer>(M->document()->characterCount() - 1)));
    M->setTextCursor(C);
  }
}

Integer TCustomEdit::SelLength() {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) return static_cast<Integer>(E->selectedText().size());
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    QTextCursor C = M->textCursor();
    return C.selectionEnd() - C.selectionStart();
  }
  return 0;
}

void TCustomEdit::SetSelLength(Integer Value) {
  Integer Start = SelStart();
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->setSelection(Start, Value);
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    QTextCursor C = M->textCursor();
    C.setPosition(Start);
    C.setPosition(std::clamp(Start + Value, 0, static_cast<Integer>(M->document()->characterCount() - 1)),
                  QTextCursor::KeepAnchor);
    M->setTextCursor(C);
  }
}

WideString TCustomEdit::SelText() {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) return FromQString(E->selectedText());
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) return NewlinesToCRLF(M->textCursor().selectedText().replace(QChar(0x2029), QChar('\n')));
  return WideString();
}

void TCustomEdit::SetSelText(const WideString& Value) {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->insert(ToQString(Value));
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) M->insertPlainText(ForWidget(Value));
}

void TCustomEdit::SelectAll() {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->selectAll();
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) M->selectAll();
}

void TCustomEdit::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    return;
  }
  TWinControl::Dispatch(M);
  if (M.Msg == CM_COLORCHANGED || M.Msg == CM_FONTCHANGED) ApplyColors();
}

void TCustomEdit::ApplyColors() {
  // Only colours that differ from the system's change the edit's palette,
  // so that ordinary edits keep the platform's look.
  auto* W = NativeOf<QWidget>(FHandle);
  if (!W) return;
  QPalette P = W->palette();
  auto rgb = [](TColor C) {
    const Integer V = ColorToRGB(C);
    return QColor(GetRValue(V), GetGValue(V), GetBValue(V));
  };
  const bool base = FColor != clWindow, text = Font()->Color() != clWindowText;
  if (!base && !text) return;
  if (base) P.setColor(QPalette::Base, rgb(FColor));
  if (text) P.setColor(QPalette::Text, rgb(Font()->Color()));
  W->setPalette(P);
}

TEdit::TEdit(TComponent* AOwner) : TCustomEdit(AOwner) { SetBounds(0, 0, 121, 21); }

void TEdit::SetPasswordChar(WideChar Value) {
  FPasswordChar = Value;
  if (auto* E = NativeOf<QLineEdit>(FHandle)) E->setEchoMode(Value ? QLineEdit::Password : QLineEdit::Normal);
}

void TEdit::CreateWindowHandle(const TCreateParams& P) {
  auto* E = new QLineEdit(ToQString(FText));
  E->setMaxLength(32767);
  E->setReadOnly(FReadOnly);
  E->setFrame(FBorderStyle != bsNone);
  E->setEchoMode(FPasswordChar ? QLineEdit::Password : QLineEdit::Normal);
  QObject::connect(E, &QLineEdit::textChanged, E, [this, E](const QString& S) {
    if (FSyncing) return;
    Guarded([this, E, &S] {
      WideString T = FromQString(S), Cased = ApplyCase(T, FCharCase);
      if (FMaxLength > 0 && T.size() > static_cast<size_t>(FMaxLength) && T.size() > FText.size()) {
        // Typed or pasted past the limit: the edit keeps what it had.
        FSyncing = true;
        Integer Pos = E->cursorPosition() - static_cast<Integer>(T.size() - FText.size());
        E->setText(ToQString(FText));
        E->setCursorPosition(std::max(0, Pos));
        FSyncing = false;
        return;
      }
      if (Cased != T) {
        FSyncing = true;
        Integer Pos = E->cursorPosition();
        E->setText(ToQString(Cased));
        E->setCursorPosition(Pos);
        FSyncing = false;
      }
      FText = Cased;
      FModified = true;
      Change();
    });
  });
  CreateNativeWindow(P, E, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  ApplyColors();
}

WideString TEdit::GetText() const {
  if (auto* E = NativeOf<QLineEdit>(FHandle)) return FromQString(E->text());
  return FText;
}

void TEdit::TextChanged() {
  FText = ApplyCase(FText, FCharCase);
  if (auto* E = NativeOf<QLineEdit>(FHandle)) {
    FSyncing = true;
    E->setText(ToQString(FText));
    FSyncing = false;
  }
  Change();
}

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), FLines(std::make_unique<TStringList>()) {
  SetBounds(0, 0, 185, 89);
  FLines->OnChange = [this](TObject*) { LinesChanged(); };
}

TMemo::~TMemo() { FLines->OnChange = nullptr; }

void TMemo::LinesChanged() {
  if (FSyncing) return;
  FText = JoinedText(FLines.get());
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    FSyncing = true;
    M->setPlainText(ForWidget(FText));
    FSyncing = false;
  }
  Change();
}

void TMemo::SetWordWrap(bool Value) {
  FWordWrap = Value;
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle))
    M->setLineWrapMode(Value ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    M->setHorizontalScrollBarPolicy(Value == ssHorizontal || Value == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    M->setVerticalScrollBarPolicy(Value == ssVertical || Value == ssBoth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  }
}

void TMemo::CreateWindowHandle(const TCreateParams& P) {
  auto* M = new QPlainTextEdit(ForWidget(FText));
  M->setReadOnly(FReadOnly);
  M->setTabChangesFocus(!FWantTabs);
  QObject::connect(M, &QPlainTextEdit::textChanged, M, [this, M] {
    if (FSyncing) return;
    Guarded([this, M] {
      FText = NewlinesToCRLF(M->toPlainText());
      FSyncing = true;
      FLines->SetText(FText);
      FSyncing = false;
      FModified = true;
      Change();
    });
  });
  CreateNativeWindow(P, M, [this](TMessage& Msg) { MainWndProc(Msg); }, &FHandle, FFont.get());
  SetWordWrap(FWordWrap);
  SetScrollBars(FScrollBars);
}

WideString TMemo::GetText() const { return FText; }

void TMemo::TextChanged() {
  FSyncing = true;
  FLines->SetText(FText);
  FSyncing = false;
  if (auto* M = NativeOf<QPlainTextEdit>(FHandle)) {
    FSyncing = true;
    M->setPlainText(ForWidget(FText));
    FSyncing = false;
  }
  Change();
}

void TMemo::Dispatch(TMessage& Msg) {
  if (Msg.Msg == WM_GETDLGCODE) {
    Msg.Result = DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_HASSETSEL;
    if (FWantReturns) Msg.Result |= DLGC_WANTALLKEYS;
    if (FWantTabs) Msg.Result |= DLGC_WANTTAB;
    return;
  }
  TCustomEdit::Dispatch(Msg);
}

// ---------------------------------------------------------------- TComboBox

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
  FControlStyle = TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  SetBounds(0, 0, 145, 21);
  FItems->OnChange = [this](TObject*) { ItemsChanged(); };
}

TComboBox::~TComboBox() { FItems->OnChange = nullptr; }

void TComboBox::ItemsChanged() {
  if (FItemIndex >= FItems->Count()) FItemIndex = -1;
  auto* C = NativeOf<QComboBox>(FHandle);
  if (!C) return;
  FSyncing = true;
  WideString EditText = GetText();
  C->clear();
  for (Integer i = 0; i < FItems->Count(); ++i) C->addItem(ToQString(FItems->Strings(i)));
  C->setCurrentIndex(FItemIndex);
  if (C->isEditable()) C->setEditText(ToQString(FItemIndex >= 0 ? FItems->Strings(FItemIndex) : EditText));
  FSyncing = false;
}

void TComboBox::SetItemIndex(Integer Value) {
  if (Value < -1 || Value >= FItems->Count()) Value = -1;
  FItemIndex = Value;
  if (Value >= 0) FText = FItems->Strings(Value);
  if (auto* C = NativeOf<QComboBox>(FHandle)) {
    FSyncing = true;
    C->setCurrentIndex(Value);
    if (C->isEditable()) C->setEditText(ToQString(Value >= 0 ? FText : WideString()));
    FSyncing = false;
  }
  if (Value < 0 && FStyle == csDropDownList) FText.clear();
}

void TComboBox::SetStyle(TComboBoxStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  RecreateWnd();
}

void TComboBox::SetDropDownCount(Integer Value) {
  FDropDownCount = std::max(1, Value);
  if (auto* C = NativeOf<QComboBox>(FHandle)) C->setMaxVisibleItems(FDropDownCount);
}

bool TComboBox::DroppedDown() const {
  auto* C = NativeOf<QComboBox>(FHandle);
  return C && C->view() && C->view()->isVisible();
}

void TComboBox::SetDroppedDown(bool Value) {
  if (auto* C = NativeOf<QComboBox>(FHandle)) {
    if (Value)
      C->showPopup();
    else
      C->hidePopup();
  }
}

void TComboBox::Clear() {
  FItems->Clear();
  SetText(WideString());
}

void TComboBox::CreateWindowHandle(const TCreateParams& P) {
  auto* C = new QComboBox();
  C->setEditable(FStyle == csDropDown || FStyle == csSimple);
  C->setInsertPolicy(QComboBox::NoInsert);
  C->setMaxVisibleItems(FDropDownCount);
  QObject::connect(C, QOverload<int>::of(&QComboBox::activated), C, [this](int Index) {
    if (FSyncing) return;
    Guarded([this, Index] {
      FItemIndex = Index;
      if (Index >= 0 && Index < FItems->Count()) FText = FItems->Strings(Index);
      if (OnChange) OnChange(this);
      if (OnSelect) OnSelect(this);
    });
  });
  QObject::connect(C, &QComboBox::editTextChanged, C, [this, C](const QString& S) {
    if (FSyncing) return;
    Guarded([this, C, &S] {
      FText = FromQString(S);
      if (C->currentIndex() >= 0 && C->itemText(C->currentIndex()) != S) FItemIndex = -1;
      if (OnChange) OnChange(this);
    });
  });
  CreateNativeWindow(P, C, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  WideString Keep = FText;
  ItemsChanged();
  if (C->isEditable() && FItemIndex < 0) {
    FSyncing = true;
    C->setEditText(ToQString(Keep));
    FSyncing = false;
  }
}

WideString TComboBox::GetText() const {
  if (auto* C = NativeOf<QComboBox>(FHandle)) return FromQString(C->currentText());
  return FText;
}

void TComboBox::TextChanged() {
  Integer Found = FItems->IndexOf(FText);
  if (FStyle == csDropDownList) {
    SetItemIndex(Found);
    return;
  }
  FItemIndex = Found;
  if (auto* C = NativeOf<QComboBox>(FHandle)) {
    FSyncing = true;
    C->setCurrentIndex(Found);
    C->setEditText(ToQString(FText));
    FSyncing = false;
  }
  if (OnChange) OnChange(this);
}

void TComboBox::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TWinControl::Dispatch(M);
}

// ---------------------------------------------------------------- TListBox

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner), FItems(std::make_unique<TStringList>()) {
  // Clicks come from the list's selection changes, not from the mouse messages.
  FControlStyle = TControlStyle{csSetCaption, csDoubleClicks, csOpaque};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  SetBounds(0, 0, 121, 97);
  FItems->OnChange = [this](TObject*) { ItemsChanged(); };
}

TListBox::~TListBox() { FItems->OnChange = nullptr; }

void TListBox::ItemsChanged() {
  FSelected.assign(static_cast<size_t>(FItems->Count()), false);
  if (FItemIndex >= FItems->Count()) FItemIndex = -1;
  auto* L = NativeOf<QListWidget>(FHandle);
  if (!L) return;
  FSyncing = true;
  L->clear();
  for (Integer i = 0; i < FItems->Count(); ++i) L->addItem(ToQString(FItems->Strings(i)));
  FSyncing = false;
  SyncSelection();
}

void TListBox::SyncSelection() {
  auto* L = NativeOf<QListWidget>(FHandle);
  if (!L) return;
  FSyncing = true;
  L->setCurrentRow(FItemIndex, FMultiSelect ? QItemSelectionModel::NoUpdate : QItemSelectionModel::ClearAndSelect);
  if (FMultiSelect)
    for (Integer i = 0; i < L->count(); ++i)
      L->item(i)->setSelected(static_cast<size_t>(i) < FSelected.size() && FSelected[static_cast<size_t>(i)]);
  FSyncing = false;
}

Integer TListBox::ItemIndex() const { return FItemIndex; }

void TListBox::SetItemIndex(Integer Value) {
  if (Value < -1 || Value >= FItems->Count()) Value = -1;
  FItemIndex = Value;
  if (!FMultiSelect) {
    FSelected.assign(static_cast<size_t>(FItems->Count()), false);
    if (Value >= 0) FSelected[static_cast<size_t>(Value)] = true;
  }
  SyncSelection();
}

void TListBox::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  if (auto* L = NativeOf<QListWidget>(FHandle))
    L->setSelectionMode(Value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  SyncSelection();
}

bool TListBox::Selected(Integer Index) const {
  if (Index < 0 || Index >= FItems->Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FSelected[static_cast<size_t>(Index)];
}

void TListBox::SetSelected(Integer Index, bool Value) {
  if (Index < 0 || Index >= FItems->Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  if (!FMultiSelect) {
    SetItemIndex(Value ? Index : (FItemIndex == Index ? -1 : FItemIndex));
    return;
  }
  FSelected[static_cast<size_t>(Index)] = Value;
  SyncSelection();
}

Integer TListBox::SelCount() const {
  if (!FMultiSelect) return -1;
  return static_cast<Integer>(std::count(FSelected.begin(), FSelected.end(), true));
}

Integer TListBox::TopIndex() const {
  auto* L = NativeOf<QListWidget>(FHandle);
  if (!L) return 0;
  QModelIndex I = L->indexAt(QPoint(1, 1));
  return I.isValid() ? I.row() : 0;
}

void TListBox::SetTopIndex(Integer Value) {
  if (auto* L = NativeOf<QListWidget>(FHandle))
    if (QListWidgetItem* I = L->item(Value)) L->scrollToItem(I, QAbstractItemView::PositionAtTop);
}

Integer TListBox::ItemAtPos(const TPoint& Pos, bool Existing) {
  auto* L = NativeOf<QListWidget>(FHandle);
  if (!L) return -1;
  QPoint P = L->viewport()->mapFrom(L, QPoint(Pos.X, Pos.Y));
  QModelIndex I = L->indexAt(P);
  if (I.isValid()) return I.row();
  return Existing ? -1 : FItems->Count();
}

void TListBox::CreateWindowHandle(const TCreateParams& P) {
  auto* L = new QListWidget();
  L->setSelectionMode(FMultiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  QObject::connect(L, &QListWidget::itemSelectionChanged, L, [this, L] {
    if (FSyncing) return;
    Guarded([this, L] {
      FSelected.assign(static_cast<size_t>(FItems->Count()), false);
      for (QListWidgetItem* I : L->selectedItems()) {
        int Row = L->row(I);
        if (Row >= 0 && Row < FItems->Count()) FSelected[static_cast<size_t>(Row)] = true;
      }
      FItemIndex = L->currentRow();
      Click();
    });
  });
  QObject::connect(L, &QListWidget::itemDoubleClicked, L, [this](QListWidgetItem*) { Guarded([this] { DblClick(); }); });
  CreateNativeWindow(P, L, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  ItemsChanged();
}

void TListBox::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TWinControl::Dispatch(M);
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::AdjustClientRect(TRect& Rect) {
  TCustomControl::AdjustClientRect(Rect);
  Rect.Top += MeasureText(FFont.get(), u"0", 0x7FFF, DT_SINGLELINE).Bottom;
  InflateRect(Rect, -1, -1);
  if (FCtl3D) InflateRect(Rect, -1, -1);
}

void TGroupBox::Paint() {
  TCanvas* C = Canvas();
  C->SetFont(FFont.get());
  Integer H = C->TextHeight(u"0");
  TRect R(0, H / 2 - 1, FWidth, FHeight);
  DrawEdge(C->Handle(), &R, FCtl3D ? UINT(EDGE_ETCHED) : UINT(BDR_OUTER), UINT(BF_RECT) | (FCtl3D ? 0u : UINT(BF_MONO)));
  if (FText.empty()) return;
  TRect T(8, 0, 0, H);
  DrawTextW(C->Handle(), FText.c_str(), static_cast<Integer>(FText.size()), &T, DT_SINGLELINE | DT_CALCRECT);
  C->Brush()->SetColor(FColor);
  C->Brush()->SetStyle(bsSolid);
  SetBkColor(C->Handle(), static_cast<COLORREF>(ColorToRGB(FColor)));
  SetBkMode(C->Handle(), OPAQUE);
  DrawTextW(C->Handle(), FText.c_str(), static_cast<Integer>(FText.size()), &T, DT_SINGLELINE);
}

// ---------------------------------------------------------------- TScrollBar

TScrollBar::TScrollBar(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csFramed, csDoubleClicks, csOpaque};
  FTabStop = true;
  SetBounds(0, 0, 121, GetSystemMetrics(SM_CYHSCROLL));
}

void TScrollBar::SetKind(TScrollBarKind Value) {
  if (FKind == Value) return;
  FKind = Value;
  SetBounds(FLeft, FTop, FHeight, FWidth);
  SyncWidget();
}

void TScrollBar::SetParams(Integer APosition, Integer AMin, Integer AMax) {
  if (AMax < AMin) throw EInvalidOperation("Scroll bar property out of range");
  APosition = std::clamp(APosition, AMin, AMax);
  bool Changed = APosition != FPosition;
  FMin = AMin;
  FMax = AMax;
  FPosition = APosition;
  SyncWidget();
  if (Changed && OnChange) OnChange(this);
}

void TScrollBar::SetPageSize(Integer Value) {
  FPageSize = std::max(0, Value);
  SyncWidget();
}

void TScrollBar::SetSmallChange(Integer Value) {
  FSmallChange = std::max(1, Value);
  SyncWidget();
}

void TScrollBar::SetLargeChange(Integer Value) {
  FLargeChange = std::max(1, Value);
  SyncWidget();
}

void TScrollBar::SyncWidget() {
  auto* B = NativeOf<QScrollBar>(FHandle);
  if (!B || FSyncing) return;
  const QSignalBlocker Block(B);
  B->setOrientation(FKind == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
  B->setRange(FMin, std::max(FMin, FMax - std::max(FPageSize - 1, 0)));
  B->setPageStep(std::max(1, FPageSize ? FPageSize : FLargeChange));
  B->setSingleStep(FSmallChange);
  B->setValue(FPosition);
}

void TScrollBar::UserScroll(TScrollCode Code, Integer Pos) {
  if (OnScroll) OnScroll(this, Code, Pos);
  SetPosition(Pos);
}

void TScrollBar::CreateWindowHandle(const TCreateParams& P) {
  auto* B = new QScrollBar(FKind == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
  QObject::connect(B, &QAbstractSlider::actionTriggered, B, [this, B](int Action) {
    Guarded([this, B, Action] {
      TScrollCode Code;
      Integer Pos = FPosition;
      switch (Action) {
        case QAbstractSlider::SliderSingleStepAdd: Code = scLineDown; Pos += FSmallChange; break;
        case QAbstractSlider::SliderSingleStepSub: Code = scLineUp; Pos -= FSmallChange; break;
        case QAbstractSlider::SliderPageStepAdd: Code = scPageDown; Pos += FLargeChange; break;
        case QAbstractSlider::SliderPageStepSub: Code = scPageUp; Pos -= FLargeChange; break;
        case QAbstractSlider::SliderToMinimum: Code = scTop; Pos = FMin; break;
        case QAbstractSlider::SliderToMaximum: Code = scBottom; Pos = FMax; break;
        case QAbstractSlider::SliderMove: Code = scTrack; Pos = B->sliderPosition(); break;
        default: return;
      }
      Pos = std::clamp(Pos, FMin, FMax);
      UserScroll(Code, Pos);
      if (Action != QAbstractSlider::SliderMove) B->setSliderPosition(FPosition);
    });
  });
  QObject::connect(B, &QAbstractSlider::sliderReleased, B, [this, B] {
    Guarded([this, B] {
      UserScroll(scPosition, B->sliderPosition());
      UserScroll(scEndScroll, FPosition);
    });
  });
  CreateNativeWindow(P, B, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  SyncWidget();
}
