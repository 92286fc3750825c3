// The floating window: the small tool window that holds a bar while it
// floats. It draws its own frame, small caption and close button, turns its
// frame into resize handles and its caption into a drag handle, never takes
// activation from the bar's form, and passes Escape and closing on to that
// form.
#pragma once

#include "controls/tbdockwin.h"

// Private hit codes of the floating caption.
constexpr Integer HTTBCLOSE = 2001;
constexpr Integer HTTBCAPTION = 2002;

// Parts of the floating frame to draw.
enum : unsigned { tbnpBorder = 1, tbnpCaption = 2, tbnpCloseButton = 4, tbnpAll = 7 };

// What the floating frame's layout depends on.
struct TTBFloatingGeometry {
  Integer Width = 0, Height = 0;  // the window's outer size
  Integer BorderX = 0, BorderY = 0;
  Integer CaptionHeight = 0;  // the small caption's height
  bool ShowCaption = true, CloseButton = true, Resizable = true;
  // The caption strip with the close button cell at its right, in window coordinates.
  TRect CaptionRect() const;
  TRect CloseButtonCell() const;
  // The close button inside its cell.
  TRect CloseButtonRect() const;
  // HTTBCLOSE, HTTBCAPTION, HTTOP, HTBOTTOM, HTLEFT, HTRIGHT or HTNOWHERE for
  // a point of the frame (window coordinates); corners go to the top or bottom.
  Integer HitTest(const TPoint& P) const;
};

// The resize side for an edge's hit code: left 0, right 1, top 2, bottom 5; -1 for others.
Integer SizingSideOf(Integer HitCode);

class TTBFloatingWindowParent : public TCustomForm, public TTBFloatingFormLink {
 public:
  explicit TTBFloatingWindowParent(TComponent* AOwner);
  ~TTBFloatingWindowParent() override;

  TCustomForm* FloatingParentForm() override { return FParentForm; }
  TTBCustomDockableWindow* DockableWindow() const { return FDockableWindow; }
  void SetDockableWindow(TTBCustomDockableWindow* Value) { FDockableWindow = Value; }
  TCustomForm* ParentForm() const { return FParentForm; }
  void SetParentForm(TCustomForm* Value);
  bool ShouldShow() const { return FShouldShow; }
  // Set by the bar's showing logic: the window shows only while the form
  // shows it and this is set, never activated.
  void SetShouldShow(bool Value);
  bool CloseButtonPushed() const { return FCloseButtonPushed; }
  void SetCloseButtonPushed(bool Value);

  TTBFloatingGeometry Geometry();
  void DrawNCArea(bool DrawToDC, HDC DC, unsigned Parts, HRGN Clip);
  void RedrawNCArea(unsigned Parts);

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
  void CMShowingChanged(TMessage& Message) override;
  void CMDialogKey(TMessage& Message) override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  void ApplyShowing();
  // A press on the window: raised without activation, and the form made
  // active when the bar floats over it.
  void MouseActivate();
  // The form the bar belongs to, or its MDI frame when it is an MDI child.
  HWND FormFrameHandle();
  void NCLButtonDown(TMessage& Message);

  bool FCloseButtonPushed = false;
  TTBCustomDockableWindow* FDockableWindow = nullptr;
  TCustomForm* FParentForm = nullptr;
  bool FShouldShow = false;
  friend class TTBCustomDockableWindow;
};
