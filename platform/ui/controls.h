// The class library's control tree: TControl, TWinControl, TCustomControl,
// TGraphicControl and the canvas of a control. A windowed control owns a
// window (HWND) whose procedure is the control's WndProc; messages are
// dispatched to the handlers below, Qt events reach them translated into
// messages.
#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/base/components.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;

// A small set over an enumeration with at most 32 members.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> Items) {
    for (E e : Items) FBits |= 1u << static_cast<unsigned>(e);
  }
  constexpr bool Contains(E Item) const { return (FBits >> static_cast<unsigned>(Item)) & 1u; }
  constexpr TEnumSet& Include(E Item) {
    FBits |= 1u << static_cast<unsigned>(Item);
    return *this;
  }
  constexpr TEnumSet& Exclude(E Item) {
    FBits &= ~(1u << static_cast<unsigned>(Item));
    return *this;
  }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint32_t Bits() const { return FBits; }
  constexpr TEnumSet operator+(TEnumSet O) const { return FromBits(FBits | O.FBits); }
  constexpr TEnumSet operator-(TEnumSet O) const { return FromBits(FBits & ~O.FBits); }
  constexpr TEnumSet operator*(TEnumSet O) const { return FromBits(FBits & O.FBits); }
  friend constexpr bool operator==(const TEnumSet&, const TEnumSet&) = default;
  static constexpr TEnumSet FromBits(uint32_t B) {
    TEnumSet S;
    S.FBits = B;
    return S;
  }

 private:
  uint32_t FBits = 0;
};

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TEnumSet<TShiftStateItem>;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TAnchorKind { akLeft, akTop, akRight, akBottom };
using TAnchors = TEnumSet<TAnchorKind>;

// Border styles of controls (bsNone, bsSingle) and of forms (all of them).
enum TFormBorderStyle : Byte { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TBorderStyle = TFormBorderStyle;

enum TControlStyleItem {
  csAcceptsControls, csCaptureMouse, csDesignInteractive, csClickEvents, csFramed, csSetCaption, csOpaque,
  csDoubleClicks, csFixedWidth, csFixedHeight, csNoDesignVisible, csReplicatable, csNoStdEvents,
  csDisplayDragImage, csReflector, csActionClient, csMenuEvents, csNeedsBorderPaint, csParentBackground,
};
using TControlStyle = TEnumSet<TControlStyleItem>;

enum TControlStateItem {
  csLButtonDown, csClicked, csPalette, csReadingState, csAlignmentNeeded, csFocusing, csCreating,
  csPaintCopy, csCustomPaint, csDestroyingHandle, csDocking,
};
using TControlState = TEnumSet<TControlStateItem>;

// Cursor numbers; Screen->Cursors maps them to cursor handles.
using TCursor = Integer;
enum : TCursor {
  crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSize = -22, crSizeNESW = -6,
  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11, crDrag = -12,
  crNoDrop = -13, crHSplit = -14, crVSplit = -15, crMultiDrag = -16, crSQLWait = -17, crNo = -18,
  crAppStart = -19, crHelp = -20, crHandPoint = -21, crSizeAll = -22,
};

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, Integer X, Integer Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, Integer X, Integer Y)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, Integer WheelDelta, TPoint MousePos, bool& Handled)>;
using TMouseWheelUpDownEvent = std::function<void(TObject* Sender, TShiftState Shift, TPoint MousePos, bool& Handled)>;
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, WideChar& Key)>;

// Dragging one control onto another inside the program.
enum TDragMode { dmManual, dmAutomatic };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
// Source is the dragged control, or the object OnStartDrag gave; X and Y
// are in the target's client area.
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, Integer X, Integer Y)>;
using TStartDragEvent = std::function<void(TObject* Sender, TObject*& DragObject)>;
// Target is null when the drag was cancelled or no control accepted it.
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, Integer X, Integer Y)>;

// The mouse-key flags of a mouse message and the Alt key as a shift state.
TShiftState KeysToShiftState(WPARAM Keys);
// The shift state of a key message (Shift and Ctrl from the key state, Alt from KeyData).
TShiftState KeyDataToShiftState(LPARAM KeyData);
// The part of a hint before "|".
WideString GetShortHint(const WideString& Hint);
WideString GetLongHint(const WideString& Hint);

// The canvas of a control: a DC of its window (or of its parent's window for
// a graphic control, moved to the control and clipped to it), made on first use.
class TControlCanvas : public TCanvas {
 public:
  TControlCanvas() = default;
  ~TControlCanvas() override;
  class TControl* Control() const { return FControl; }
  void SetControl(class TControl* Value);
  // Releases the DC of the window (the next drawing call takes a new one).
  void FreeHandle();
  // Re-applies the control's clipping after the DC was handed in from outside.
  void UpdateTextFlags() {}

 protected:
  void CreateHandle() override;

 private:
  class TControl* FControl = nullptr;
  HDC FDeviceContext = nullptr;
  HWND FWindowHandle = nullptr;
};

struct TCreateParams {
  WideString Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  Integer X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  struct {
    DWORD style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
  } WindowClass;
};

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  Integer Left() const { return FLeft; }
  Integer Top() const { return FTop; }
  Integer Width() const { return FWidth; }
  Integer Height() const { return FHeight; }
  void SetLeft(Integer Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(Integer Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(Integer Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(Integer Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight);
  TRect BoundsRect() const { return TRect(FLeft, FTop, FLeft + FWidth, FTop + FHeight); }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  // (0, 0, ClientWidth, ClientHeight).
  virtual TRect ClientRect();
  Integer ClientWidth() { return ClientRect().Right; }
  Integer ClientHeight() { return ClientRect().Bottom; }
  void SetClientWidth(Integer Value);
  void SetClientHeight(Integer Value);
  // Screen position of the client area's top-left corner.
  virtual TPoint ClientOrigin();
  TPoint ClientToScreen(const TPoint& P);
  TPoint ScreenToClient(const TPoint& P);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  TAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TAnchors Value);

  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  void Show();
  void Hide();
  // Visible, and every parent up to a visible form too.
  virtual bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);

  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(TFont* Value) { FFont->Assign(Value); }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor Value);
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value) { FPopupMenu = Value; }
  // The caption (labels, buttons, forms) or text (edits) of the control.
  WideString Caption() const { return GetText(); }
  void SetCaption(const WideString& Value) { SetText(Value); }
  WideString Text() const { return GetText(); }
  void SetText(const WideString& Value);
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }
  TControlState ControlState() const { return FControlState; }
  bool MouseCapture() const;
  void SetMouseCapture(bool Value);

  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }
  void BringToFront();
  void SendToBack();

  // The procedure messages go through first; WndProc unless replaced (subclassing).
  TWndMethod WindowProc;
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  virtual void WndProc(TMessage& Message);
  virtual void Dispatch(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;

  // Automatic: a left press starts a drag at once instead of reaching the control.
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }
  // The cursor over a target that accepts the drag (elsewhere crNoDrop).
  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  // Drags this control while the left button is held: at once, or once the
  // pointer moved Threshold pixels (5 when negative); returns when the drag
  // has ended by the release (a drop), Escape, the right button or a lost capture.
  void BeginDrag(bool Immediate, Integer Threshold = -1);
  // Ends the running drag of this control, dropping or cancelling.
  void EndDrag(bool Drop);
  bool Dragging() const;
  // Asks OnDragOver; without it the drag is not accepted.
  virtual void DragOver(TObject* Source, Integer X, Integer Y, TDragState State, bool& Accept);
  virtual void DragDrop(TObject* Source, Integer X, Integer Y);
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TStartDragEvent OnStartDrag;
  TEndDragEvent OnEndDrag;

 protected:
  friend class TWinControl;
  virtual void DoStartDrag(TObject*& DragObject);
  virtual void DoEndDrag(TObject* Target, Integer X, Integer Y);
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  virtual void MouseMove(TShiftState Shift, Integer X, Integer Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y);
  // OnMouseWheel, then OnMouseWheelDown/Up for each notch while unhandled; true when handled.
  virtual bool DoMouseWheel(TShiftState Shift, Integer WheelDelta, TPoint MousePos);
  virtual bool DoMouseWheelDown(TShiftState Shift, TPoint MousePos);
  virtual bool DoMouseWheelUp(TShiftState Shift, TPoint MousePos);
  virtual void Resize();
  virtual WideString GetText() const { return FText; }
  virtual void TextChanged() {}
  virtual void VisibleChanging() {}
  virtual void FontChanged();
  virtual void ColorChanged();
  // Tells the parent that this control's place among aligned siblings may have changed.
  virtual void RequestAlign();
  // Remembers the distances the anchors keep when the parent is resized.
  void UpdateAnchorRules();
  void InvalidateControl(bool IsVisible, bool IsOpaque);

  void DoMouseDown(TMessage& Message, TMouseButton Button, TShiftState Shift);
  void DoMouseUp(TMessage& Message, TMouseButton Button);

  virtual void WMLButtonDown(TMessage& Message);
  virtual void WMLButtonUp(TMessage& Message);
  virtual void WMLButtonDblClk(TMessage& Message);
  virtual void WMRButtonDown(TMessage& Message);
  virtual void WMRButtonUp(TMessage& Message);
  virtual void WMMouseMove(TMessage& Message);
  virtual void WMMouseWheel(TMessage& Message);
  virtual void WMWindowPosChanged(TMessage& Message);
  virtual void CMMouseEnter(TMessage& Message);
  virtual void CMMouseLeave(TMessage& Message);
  virtual void CMVisibleChanged(TMessage& Message);
  virtual void CMEnabledChanged(TMessage& Message);
  virtual void CMParentFontChanged(TMessage& Message);
  virtual void CMParentColorChanged(TMessage& Message);
  virtual void CMHitTest(TMessage& Message);

  TWinControl* FParent = nullptr;
  Integer FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  TAnchors FAnchors{akLeft, akTop};
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  TCursor FCursor = crDefault;
  WideString FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TPopupMenu* FPopupMenu = nullptr;
  WideString FText;
  TControlStyle FControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  TControlState FControlState;
  bool FAnchoring = false;  // bounds set by the parent's anchor or align layout
  // Bounds and parent client size when the anchors were last recorded.
  TRect FAnchorBounds;
  TPoint FAnchorParentSize{-1, -1};
  Integer FWheelAccumulator = 0;
  TDragMode FDragMode = dmManual;
  TCursor FDragCursor = crDrag;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  // Frees the child controls and the window.
  ~TWinControl() override;

  // The window, made on first use (and the parent's before it).
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded();
  // Destroys and makes the window again (a new handle), for style changes.
  void RecreateWnd();

  Integer ControlCount() const { return static_cast<Integer>(FControls.size()); }
  TControl* Controls(Integer Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(TControl* Control) const;
  // The topmost visible child at a client point (enabled unless AllowDisabled).
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false);
  void Broadcast(TMessage& Message);

  Integer TabOrder() const;
  void SetTabOrder(Integer Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  // Windowed children in tab order, depth first (a container may leave out
  // children that cannot be reached).
  virtual void GetTabOrderList(std::vector<TWinControl*>& List);
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop, bool CheckParent);
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);

  bool Focused();
  virtual bool CanFocus();
  virtual void SetFocus();

  bool Ctl3D() const { return FCtl3D; }
  virtual void SetCtl3D(bool Value);
  bool ParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool Value) { FParentCtl3D = Value; }
  bool DoubleBuffered() const { return FDoubleBuffered; }
  void SetDoubleBuffered(bool Value) { FDoubleBuffered = Value; }

  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();
  void Realign();
  // Moves the children by (DX, DY) and scrolls the window's pixels with them.
  void ScrollBy(Integer DX, Integer DY);
  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) override;
  TRect ClientRect() override;
  TPoint ClientOrigin() override;
  bool Showing() const override;
  void SetEnabled(bool Value) override;
  // Paints the graphic children over DC (the window's paint does it), from First on.
  void PaintControls(HDC DC, TControl* First);

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

 protected:
  friend class TControl;
  friend class TCustomForm;
  virtual void CreateParams(TCreateParams& Params);
  // Makes the window from the parameters; native controls override it.
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void CreateWnd();
  virtual void CreateHandle();
  virtual void DestroyHandle();
  virtual void DestroyWnd();
  void SetWindowHandle(HWND Value) { FHandle = Value; }
  // Shows or hides the window as Showing says; makes it when it must show.
  virtual void UpdateControlState();
  void UpdateShowing();
  // Shows or hides the window and its children's windows (Showing becomes ShowIt).
  void SetShowing(bool ShowIt);
  void UpdateBounds();
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect);
  void AlignControl(TControl* AControl);
  virtual void PaintWindow(HDC DC);
  void PaintHandler(TMessage& Message);

  virtual void KeyDown(Word& Key, TShiftState Shift);
  virtual void KeyUp(Word& Key, TShiftState Shift);
  virtual void KeyPress(WideChar& Key);
  bool DoKeyDown(TMessage& Message);
  bool DoKeyUp(TMessage& Message);
  bool DoKeyPress(TMessage& Message);
  virtual void DoEnter();
  virtual void DoExit();

  void WndProc(TMessage& Message) override;
  void Dispatch(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  void WMWindowPosChanged(TMessage& Message) override;
  virtual void WMPaint(TMessage& Message);
  // Paints into the DC in WParam as for WM_PAINT (children of the layer's
  // own drawing, not other windows).
  virtual void WMPrintClient(TMessage& Message);
  virtual void WMEraseBkgnd(TMessage& Message);
  virtual void WMSize(TMessage& Message);
  virtual void WMSetFocus(TMessage& Message);
  virtual void WMKillFocus(TMessage& Message);
  virtual void WMSetCursor(TMessage& Message);
  virtual void WMKeyDown(TMessage& Message);
  virtual void WMKeyUp(TMessage& Message);
  virtual void WMChar(TMessage& Message);
  virtual void WMContextMenu(TMessage& Message);
  virtual void CNKeyDown(TMessage& Message);
  virtual void CMDialogKey(TMessage& Message);
  // Accelerators: offered to every child until one answers non-zero.
  virtual void CMDialogChar(TMessage& Message);
  // Alt+key: the form's CM_DIALOGCHAR first; unanswered, it goes on as a character.
  virtual void WMSysChar(TMessage& Message);
  // SC_KEYMENU: the application's hooks (CM_APPSYSCOMMAND), then the
  // controls that take menu events (csMenuEvents), then the default.
  virtual void WMSysCommand(TMessage& Message);
  // The key is a shortcut of a popup menu of this control or its parents, or
  // of a hook of the application (CM_APPKEYDOWN).
  virtual bool IsMenuKey(TMessage& Message);
  virtual void CMWantSpecialKey(TMessage& Message);
  void CMVisibleChanged(TMessage& Message) override;
  virtual void CMShowingChanged(TMessage& Message);

  HWND FHandle = nullptr;
  std::vector<TControl*> FControls;     // every child, in z order
  std::vector<TWinControl*> FTabList;   // windowed children, in tab order
  bool FTabStop = false;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  bool FDoubleBuffered = false;
  Integer FAlignLevel = 0;
  bool FShowing = false;
  TControl* FMouseControl = nullptr;  // the graphic child the mouse is over
  TControl* FCaptureControl = nullptr;  // the graphic child that holds the mouse

  // The window procedure of the control's window (WindowProc with bookkeeping).
  void MainWndProc(TMessage& Message);

 private:
  // What DoKeyDown, DoKeyUp and DoKeyPress share (defined beside them).
  template <class TKey, class THandler>
  bool DoKey(TMessage& Message, bool (TWinControl::*FormFirst)(TMessage&), THandler Handle);
  bool IsControlMouseMsg(TMessage& Message);
  void DoAlign(TAlign AAlign, TControl* AControl, TRect& Rect);
  void AnchorChildren(TControl* AControl);
};

class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }

 protected:
  // Draws the control; the canvas is the paint DC here, clipped to the update region.
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;
  void WMPaint(TMessage& Message) override;
  std::unique_ptr<TControlCanvas> FCanvas;
};

class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }

 protected:
  virtual void Paint() {}
  void Dispatch(TMessage& Message) override;
  std::unique_ptr<TControlCanvas> FCanvas;
};

// The form that holds Control (its top-level windowed ancestor that is a form), or nullptr.
TCustomForm* GetParentForm(TControl* Control);
// The control whose window is Wnd, or nullptr.
TWinControl* FindControl(HWND Wnd);
// The control under a screen point (windowed or graphic), or nullptr.
TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled);
