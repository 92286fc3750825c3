// The spin edit over a Qt spin box.
#include "platform/ui/spin.h"

#include <QSpinBox>

#include <algorithm>
#include <climits>

#include "platform/ui/private/native.h"

using namespace gtui;

TSpinEdit::TSpinEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csSetCaption, csDoubleClicks};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  FText.assign(1, u'0');
  SetBounds(0, 0, 121, 22);
}

Integer TSpinEdit::CheckValue(Integer NewValue) const {
  if (FMaxValue != FMinValue) NewValue = std::clamp(NewValue, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
  return NewValue;
}

void TSpinEdit::SetMinValue(Integer Value) {
  FMinValue = Value;
  SyncWidget();
  SetValue(FValue);
}

void TSpinEdit::SetMaxValue(Integer Value) {
  FMaxValue = Value;
  SyncWidget();
  SetValue(FValue);
}

void TSpinEdit::SetValue(Integer NewValue) {
  NewValue = CheckValue(NewValue);
  if (NewValue == FValue && FText == Utf8ToWide(std::to_string(FValue))) return;
  FValue = NewValue;
  FText = Utf8ToWide(std::to_string(FValue));
  SyncWidget();
  if (OnChange) OnChange(this);
}

void TSpinEdit::SetIncrement(Integer Value) {
  FIncrement = Value;
  SyncWidget();
}

void TSpinEdit::SetEditorEnabled(bool Value) {
  FEditorEnabled = Value;
  SyncWidget();
}

void TSpinEdit::SyncWidget() {
  auto* S = NativeOf<QSpinBox>(FHandle);
  if (!S) return;
  FSyncing = true;
  if (FMinValue == FMaxValue)
    S->setRange(INT_MIN, INT_MAX);
  else
    S->setRange(std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
  S->setSingleStep(FIncrement);
  S->setReadOnly(!FEditorEnabled);
  S->setValue(FValue);
  FSyncing = false;
}

void TSpinEdit::CreateWindowHandle(const TCreateParams& P) {
  auto* S = new QSpinBox();
  S->setKeyboardTracking(true);
  QObject::connect(S, QOverload<int>::of(&QSpinBox::valueChanged), S, [this](int V) {
    if (FSyncing) return;
    Guarded([this, V] {
      FValue = V;
      FText = Utf8ToWide(std::to_string(V));
      if (OnChange) OnChange(this);
    });
  });
  CreateNativeWindow(P, S, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  SyncWidget();
}

WideString TSpinEdit::GetText() const { return FText; }

void TSpinEdit::TextChanged() {
  std::string Digits = WideToUtf8(FText);
  try {
    size_t Used = 0;
    long long V = std::stoll(Digits, &Used);
    SetValue(static_cast<Integer>(std::clamp<long long>(V, INT_MIN, INT_MAX)));
  } catch (const std::exception&) {
    // Not a number: the value stays; the text goes back to it.
    FText = Utf8ToWide(std::to_string(FValue));
  }
}

void TSpinEdit::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  TWinControl::Dispatch(M);
}
