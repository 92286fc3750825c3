// The push button of the control set: a classic 3-D button, a flat button
// with a hot-tracking gradient ring, or the desktop theme's button; default
// and cancel buttons, modal results and latching groups.
#pragma once

#include "controls/fcpanel.h"
#include "platform/ui/forms.h"
#include "platform/ui/stdctrls.h"

enum TFcHotTrackColorType : Byte { htctComplement, htctActual };
enum TTextStyle : Byte { tsNormal, tsRaised, tsRecessed, tsShadow };
enum TFcButtonState : Byte { fbsUp = 0, fbsDown = 2, fbsLatched = 3 };

// Sent to the parent's controls when a group button goes down or its group
// settings change: wParam the group, lParam the button.
constexpr UINT FC_BUTTON_GROUP = 0x2421;

class TFcCustomButton : public TCustomControl {
 public:
  explicit TFcCustomButton(TComponent* AOwner);

  TAlignmentVertical AlignmentVertical() const { return FAlignmentVertical; }
  virtual void SetAlignmentVertical(TAlignmentVertical Value);
  TColor HotTrackColor() const { return FHotTrackColor; }
  void SetHotTrackColor(TColor Value);
  TFcHotTrackColorType HotTrackColorType() const { return FHotTrackColorType; }
  void SetHotTrackColorType(TFcHotTrackColorType Value);
  TColor HighlightColor() const { return FHighlightColor; }
  virtual void SetHighlightColor(TColor Value);
  bool LightTextStyle() const { return FLightTextStyle; }
  virtual void SetLightTextStyle(bool Value);
  TTextStyle TextStyle() const { return FTextStyle; }
  virtual void SetTextStyle(TTextStyle Value);
  TColor TextHighlightColor() const { return FTextHighlightColor; }
  virtual void SetTextHighlightColor(TColor Value);
  TColor TextShadowColor() const { return FTextShadowColor; }
  virtual void SetTextShadowColor(TColor Value);
  Integer TextShadowDepth() const { return FTextShadowDepth; }
  virtual void SetTextShadowDepth(Integer Value);
  bool HotTrack() const { return FHotTrack; }
  virtual void SetHotTrack(bool Value);
  bool ThemeAware() const { return FThemeAware; }
  virtual void SetThemeAware(bool Value);
  bool CornerBackground() const { return FCornerBackground; }
  virtual void SetCornerBackground(bool Value);

  bool MouseOver() const { return FMouseOver; }
  // The button looks pushed while the mouse or Space holds it.
  bool Pressed() const { return FPressed; }
  virtual bool UsesTheme() const;
  virtual TRect HotRect() { return ClientRect(); }

 protected:
  virtual void PaintBackground(HDC) {}
  virtual void RefreshLook() {}
  virtual void FocusChanged() { Repaint(); }
  virtual void DrawCaption(TCanvas* Canvas, TRect R, UINT Flags);
  virtual void DoClick() = 0;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void WndProc(TMessage& Message) override;

  bool FPressed = false;
  bool FMouseOver = false;
  bool FTracking = false;

 private:
  TAlignmentVertical FAlignmentVertical = avCenter;
  TColor FHotTrackColor = static_cast<TColor>(0x149BF0);
  TFcHotTrackColorType FHotTrackColorType = htctActual;
  TColor FHighlightColor = clHighlight;
  bool FLightTextStyle = false;
  TTextStyle FTextStyle = tsNormal;
  TColor FTextHighlightColor = clBtnHighlight;
  TColor FTextShadowColor = clBtnShadow;
  Integer FTextShadowDepth = 2;
  bool FHotTrack = false;
  bool FCornerBackground = false;
  bool FThemeAware = true;
};

class TFcButton : public TFcCustomButton {
 public:
  explicit TFcButton(TComponent* AOwner);

  TAlignment Alignment() const { return FAlignment; }
  virtual void SetAlignment(TAlignment Value);
  bool Default() const { return FDefault; }
  virtual void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  bool AllowAllUp() const { return FAllowAllUp; }
  virtual void SetAllowAllUp(bool Value);
  bool Down() const { return FDown; }
  virtual void SetDown(bool Value);
  Integer GroupIndex() const { return FGroupIndex; }
  virtual void SetGroupIndex(Integer Value);
  bool ShowDownPattern() const { return FShowDownPattern; }
  virtual void SetShowDownPattern(bool Value);
  bool ShowFocusRect() const { return FShowFocusRect; }
  virtual void SetShowFocusRect(bool Value);
  bool DropDownOnEnter() const { return FDropDownOnEnter; }
  void SetDropDownOnEnter(bool Value) { FDropDownOnEnter = Value; }
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  void SetHotTrack(bool Value) override;

  TFcButtonState State() const { return FState; }
  // Whether this button answers Enter now: it is the default and no other
  // push button has the focus, or it has the focus itself.
  bool ActingDefault() const { return FActiveDefault; }
  bool DownLooking() const { return FState != fbsUp || FPressed; }
  TRect FocusRect();
  virtual TRect CaptionRect();
  void Click() override;

 protected:
  void Paint() override;
  void PaintBackground(HDC DC) override;
  void RefreshLook() override { Invalidate(); }
  void DoClick() override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void KeyUp(Word& Key, TShiftState Shift) override;
  void CreateWnd() override;
  void WndProc(TMessage& Message) override;
  virtual void DrawCaptionArea(TCanvas* Canvas);
  // The 8 x 8 pattern a latched group button is filled with.
  virtual void BuildDownPattern(TBitmap* Bitmap);

 private:
  // The theme's push-button state: disabled, pressed, hot, normal or defaulted.
  Integer ThemeState();
  // False when no theme data can be had; the classic looks stand in then.
  bool PaintThemed(TCanvas* C, const TRect& R);
  void PaintHotTrack(TCanvas* C, TRect& R);
  void PaintClassic(TCanvas* C, TRect& R);
  void Broadcast();
  // Tells every button of the form which control has the focus now.
  void AnnounceFocus(TWinControl* Focused);

  TAlignment FAlignment = taCenter;
  bool FClicking = false;
  bool FDefault = false;
  bool FCancel = false;
  bool FActiveDefault = false;
  TModalResult FModalResult = 0;
  bool FSpacePressed = false;
  bool FAllowAllUp = false;
  bool FDown = false;
  Integer FGroupIndex = 0;
  bool FShowDownPattern = true;
  bool FShowFocusRect = true;
  bool FDropDownOnEnter = true;
  TColor FFrameColor = cl3DDkShadow;
  TFcButtonState FState = fbsUp;
};
