// Standard controls: labels, buttons, check and radio buttons, edits, memos,
// combo and list boxes, group boxes and scroll bars. The input controls are
// Qt widgets behind their windows; labels and group boxes draw themselves.
#pragma once

#include <memory>

#include "platform/base/lists.h"
#include "platform/ui/forms.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TLeftRight { taLeftJustifyLR = 0, taRightJustifyLR = 1 };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, Integer& ScrollPos)>;

// ---------------------------------------------------------------- TLabel

// Text drawn on the parent's surface; AutoSize fits the bounds to the text.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout Value);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool Value);
  TWinControl* FocusControl() const { return FFocusControl; }
  void SetFocusControl(TWinControl* Value) { FFocusControl = Value; }

 protected:
  void Paint() override;
  void TextChanged() override;
  void FontChanged() override;
  void AdjustBounds();
  UINT DrawFlags() const;

 private:
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FAutoSize = true;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FShowAccelChar = true;
  TWinControl* FFocusControl = nullptr;
};

// ---------------------------------------------------------------- buttons

class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* AOwner);

 protected:
  void Dispatch(TMessage& Message) override;
  void TextChanged() override;
  virtual void SyncWidget() {}
};

class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* AOwner);
  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  // Sets the form's ModalResult (when the button has one), then OnClick.
  void Click() override;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;
  void SyncWidget() override;

 private:
  bool FDefault = false;
  bool FCancel = false;
  Integer FModalResult = 0;
};

class TCustomCheckBox : public TButtonControl {
 public:
  explicit TCustomCheckBox(TComponent* AOwner);
  bool Checked() const { return FState == cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return FState; }
  // A change of state fires OnClick, as a click does.
  void SetState(TCheckBoxState Value);
  bool AllowGrayed() const { return FAllowGrayed; }
  void SetAllowGrayed(bool Value);

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void SyncWidget() override;
  TCheckBoxState FState = cbUnchecked;
  bool FAllowGrayed = false;
};

class TCheckBox : public TCustomCheckBox {
 public:
  using TCustomCheckBox::TCustomCheckBox;
};

// Checking a radio button unchecks the other radio buttons of its parent.
class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void SyncWidget() override;

 private:
  bool FChecked = false;
};

// ---------------------------------------------------------------- edits

class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  Integer MaxLength() const { return FMaxLength; }
  void SetMaxLength(Integer Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value);
  // bsNone draws no frame round a single-line edit.
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase Value);
  Integer SelStart();
  void SetSelStart(Integer Value);
  Integer SelLength();
  void SetSelLength(Integer Value);
  WideString SelText();
  void SetSelText(const WideString& Value);
  void SelectAll();
  void Clear() { SetText(WideString()); }

  TNotifyEvent OnChange;

 protected:
  virtual void Change();
  void Dispatch(TMessage& Message) override;
  // The control's and its font's colours onto the native edit.
  void ApplyColors();
  Integer FMaxLength = 0;
  bool FReadOnly = false;
  TBorderStyle FBorderStyle = bsSingle;
  bool FModified = false;
  TEditCharCase FCharCase = ecNormal;
  bool FSyncing = false;  // the widget is being set from the properties
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* AOwner);
  WideChar PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(WideChar Value);

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void TextChanged() override;
  WideString GetText() const override;

 private:
  WideChar FPasswordChar = 0;
};

class TMemo : public TCustomEdit {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  // The lines of the text; changing them changes the memo and the other way round.
  TStrings* Lines() const { return FLines.get(); }
  void SetLines(TStrings* Value) { FLines->Assign(Value); }
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  bool WantReturns() const { return FWantReturns; }
  void SetWantReturns(bool Value) { FWantReturns = Value; }
  bool WantTabs() const { return FWantTabs; }
  void SetWantTabs(bool Value) { FWantTabs = Value; }

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void TextChanged() override;
  WideString GetText() const override;
  void Dispatch(TMessage& Message) override;

 private:
  void LinesChanged();
  std::unique_ptr<TStringList> FLines;
  bool FWordWrap = true;
  TScrollStyle FScrollBars = ssNone;
  bool FWantReturns = true;
  bool FWantTabs = false;
};

// ---------------------------------------------------------------- lists

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* Value) { FItems->Assign(Value); }
  Integer ItemIndex() const { return FItemIndex; }
  void SetItemIndex(Integer Value);
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle Value);
  bool Sorted() const { return FItems->Sorted(); }
  void SetSorted(bool Value) { FItems->SetSorted(Value); }
  Integer DropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(Integer Value);
  Integer MaxLength() const { return FMaxLength; }
  void SetMaxLength(Integer Value) { FMaxLength = Value; }
  bool DroppedDown() const;
  void SetDroppedDown(bool Value);
  void Clear();

  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void TextChanged() override;
  WideString GetText() const override;
  void Dispatch(TMessage& Message) override;

 private:
  void ItemsChanged();
  std::unique_ptr<TStringList> FItems;
  Integer FItemIndex = -1;
  TComboBoxStyle FStyle = csDropDown;
  Integer FDropDownCount = 8;
  Integer FMaxLength = 0;
  bool FSyncing = false;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings* Items() const { return FItems.get(); }
  void SetItems(TStrings* Value) { FItems->Assign(Value); }
  Integer ItemIndex() const;
  void SetItemIndex(Integer Value);
  bool MultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool Value);
  bool Selected(Integer Index) const;
  void SetSelected(Integer Index, bool Value);
  Integer SelCount() const;
  bool Sorted() const { return FItems->Sorted(); }
  void SetSorted(bool Value) { FItems->SetSorted(Value); }
  Integer TopIndex() const;
  void SetTopIndex(Integer Value);
  Integer ItemHeight() const { return FItemHeight; }
  void SetItemHeight(Integer Value) { FItemHeight = Value; }
  void Clear() { FItems->Clear(); }
  Integer ItemAtPos(const TPoint& Pos, bool Existing);

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;
  void Dispatch(TMessage& Message) override;

 private:
  void ItemsChanged();
  void SyncSelection();
  std::unique_ptr<TStringList> FItems;
  std::vector<bool> FSelected;
  Integer FItemIndex = -1;
  bool FMultiSelect = false;
  Integer FItemHeight = 16;
  bool FSyncing = false;
};

// ---------------------------------------------------------------- group box, scroll bar

// An etched frame with its caption; children sit below the caption.
class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);

 protected:
  void Paint() override;
  void AdjustClientRect(TRect& Rect) override;
  void TextChanged() override { Invalidate(); }
};

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* AOwner);
  TScrollBarKind Kind() const { return FKind; }
  void SetKind(TScrollBarKind Value);
  Integer Min() const { return FMin; }
  Integer Max() const { return FMax; }
  Integer Position() const { return FPosition; }
  void SetMin(Integer Value) { SetParams(FPosition, Value, FMax); }
  void SetMax(Integer Value) { SetParams(FPosition, FMin, Value); }
  // OnChange when the position changes.
  void SetPosition(Integer Value) { SetParams(Value, FMin, FMax); }
  void SetParams(Integer APosition, Integer AMin, Integer AMax);
  Integer PageSize() const { return FPageSize; }
  void SetPageSize(Integer Value);
  Integer SmallChange() const { return FSmallChange; }
  void SetSmallChange(Integer Value);
  Integer LargeChange() const { return FLargeChange; }
  void SetLargeChange(Integer Value);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

 protected:
  void CreateWindowHandle(const TCreateParams& Params) override;

 private:
  void SyncWidget();
  void UserScroll(TScrollCode Code, Integer Pos);
  TScrollBarKind FKind = sbHorizontal;
  Integer FMin = 0, FMax = 100, FPosition = 0, FPageSize = 0, FSmallChange = 1, FLargeChange = 1;
  bool FSyncing = false;
};
