// The spin edit: a number edit with up and down buttons.
#pragma once

#include "platform/ui/stdctrls.h"

// MinValue = MaxValue leaves Value unlimited; otherwise Value stays inside them.
class TSpinEdit : public TWinControl {
 public:
  explicit TSpinEdit(TComponent* AOwner);
  Integer MinValue() const { return FMinValue; }
  void SetMinValue(Integer Value);
  Integer MaxValue() const { return FMaxValue; }
  void SetMaxValue(Integer Value);
  Integer Value() const { return FValue; }
  // OnChange when the value changes.
  void SetValue(Integer NewValue);
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value);
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool Value);

  TNotifyEvent OnChange;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  WideString GetText() const override;
  void TextChanged() override;
  void Dispatch(TMessage& Message) override;

 private:
  Integer CheckValue(Integer NewValue) const;
  void SyncWidget();
  Integer FMinValue = 0, FMaxValue = 0, FValue = 0, FIncrement = 1;
  bool FEditorEnabled = true;
  bool FSyncing = false;
};
