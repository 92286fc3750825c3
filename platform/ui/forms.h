// Forms, the application object and the screen: TScrollingWinControl,
// TCustomForm/TForm with Show, ShowModal and closing, TApplication with its
// message loop and exception handler, TScreen with cursors, forms and monitors.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/base/lists.h"
#include "platform/ui/controls.h"

namespace gtui {
void ControlDestroyed(TControl* Control);
}
class TMenuItem;
class TForm;

// ---------------------------------------------------------------- scrolling

enum TScrollBarKind { sbHorizontal, sbVertical };
class TScrollingWinControl;

// One scroll bar of a scrolling control: Range is the extent of the scrolled
// contents, Position the part scrolled away; the bar shows while Visible and
// the range exceeds the client size.
class TControlScrollBar : public TPersistent {
 public:
  TControlScrollBar(TScrollingWinControl* AControl, TScrollBarKind AKind) : FControl(AControl), FKind(AKind) {}
  TScrollBarKind Kind() const { return FKind; }
  Integer Increment() const { return FIncrement; }
  void SetIncrement(Integer Value) { FIncrement = Value > 0 ? Value : 1; }
  Integer Position() const { return FPosition; }
  void SetPosition(Integer Value);
  Integer Range() const { return FRange; }
  void SetRange(Integer Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  bool Tracking() const { return FTracking; }
  void SetTracking(bool Value) { FTracking = Value; }
  // The bar is shown now.
  bool IsScrollBarVisible() const;
  Integer ScrollPos() const { return IsScrollBarVisible() ? FPosition : 0; }

 private:
  friend class TScrollingWinControl;
  Integer ControlSize() const;
  void Update();
  void ScrollMessage(TMessage& Message);
  TScrollingWinControl* FControl;
  TScrollBarKind FKind;
  Integer FIncrement = 8;
  Integer FPosition = 0;
  Integer FRange = 0;
  bool FVisible = true;
  bool FTracking = false;
  bool FCalcRange = true;  // the range follows the children (AutoScroll)
};

class TScrollingWinControl : public TWinControl {
 public:
  explicit TScrollingWinControl(TComponent* AOwner);
  ~TScrollingWinControl() override;
  TControlScrollBar* HorzScrollBar() const { return FHorzScrollBar.get(); }
  TControlScrollBar* VertScrollBar() const { return FVertScrollBar.get(); }
  bool AutoScroll() const { return FAutoScroll; }
  void SetAutoScroll(bool Value);
  // Scrolls so that the control is fully visible.
  void ScrollInView(TControl* AControl);

 protected:
  friend class TControlScrollBar;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void Dispatch(TMessage& Message) override;
  void CreateWnd() override;
  // Sets the ranges from the children when AutoScroll is on and updates both bars.
  void UpdateScrollBars();

 private:
  std::unique_ptr<TControlScrollBar> FHorzScrollBar;
  std::unique_ptr<TControlScrollBar> FVertScrollBar;
  bool FAutoScroll = true;
  bool FUpdatingScrollBars = false;
};

// ---------------------------------------------------------------- forms

using TModalResult = Integer;
enum : TModalResult {
  mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY, mrIgnore = IDIGNORE,
  mrYes = IDYES, mrNo = IDNO, mrAll = mrNo + 1, mrNoToAll = mrAll + 1, mrYesToAll = mrNoToAll + 1, mrClose = 11,
};

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TPosition {
  poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter,
  poOwnerFormCenter,
};
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
using TBorderIcons = TEnumSet<TBorderIcon>;
enum TTileMode { tbHorizontal, tbVertical };
enum TFormStateItem { fsCreating, fsVisible, fsShowing, fsModal, fsCreatedMDIChild, fsActivated };
using TFormState = TEnumSet<TFormStateItem>;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TScrollingWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  // Fires OnDestroy (unless DoDestroy already ran) before the controls go.
  ~TCustomForm() override;

  // Fires OnCreate once; CreateForm and the first Show call it when nobody did.
  void DoCreate();
  // Fires OnDestroy once; a derived form whose handler uses its own members
  // calls it at the start of its destructor.
  void DoDestroy();

  void Show();
  void Hide();
  // OnCloseQuery, then OnClose with caHide (caFree, caMinimize and caNone as
  // the handler says); closing the main form ends the application. A modal
  // form closes with mrCancel.
  void Close();
  bool CloseQuery();
  // Shows the form modally and runs messages until ModalResult is set.
  // EInvalidOperation "Cannot make a visible window modal" for a visible form.
  virtual Integer ShowModal();
  // Frees the form once the messages queued before have run.
  void Release();

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  // An MDI child reports the state its window is in now (the user may
  // have changed it with the caption's buttons).
  TWindowState WindowState() const;
  void SetWindowState(TWindowState Value);
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  // The form's own help file, in place of the application's while it is active.
  const WideString& HelpFile() const { return FHelpFile; }
  void SetHelpFile(const WideString& Value) { FHelpFile = Value; }
  TFormState FormState() const { return FFormState; }
  bool Active() const { return FActive; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  // Focuses the control when the form is shown (raises EInvalidOperation for
  // a hidden or disabled control of a visible form, as the class library does).
  void SetActiveControl(TWinControl* Control);
  void FocusControl(TWinControl* Control);
  // Makes Control the focused control (the window layer calls it on WM_SETFOCUS).
  bool SetFocusedControl(TWinControl* Control);
  void DefocusControl(TWinControl* Control, bool Removing);
  TCanvas* Canvas() { return FCanvas.get(); }
  bool Showing() const override;

  // MDI frame (fsMDIForm): the client window that holds the child windows,
  // made with the form's window and filling what aligned controls leave.
  HWND ClientHandle() const { return FClientHandle; }
  // The active child, null when there is none (or this is no MDI frame).
  TForm* ActiveMDIChild();
  // The children: the active one first, the others in z-order.
  Integer MDIChildCount();
  TForm* MDIChildren(Integer Index);
  // Arrangements of the children that are not minimised: stepped, or tiled
  // as TileMode says; minimised children lined up along the bottom.
  void Cascade();
  void Tile();
  void ArrangeIcons();
  // The next child in z-order becomes active (the active one goes to the
  // bottom); Previous activates the bottom one.
  void Next();
  void Previous();
  TTileMode TileMode() const { return FTileMode; }
  void SetTileMode(TTileMode Value) { FTileMode = Value; }
  // The menu whose handle lists the children ("&1 caption" ...) each time
  // the client is sent WM_MDIREFRESHMENU.
  TMenuItem* WindowMenu() const { return FWindowMenu; }
  void SetWindowMenu(TMenuItem* Value);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetFocus() override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnPaint;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void AlignControls(TControl* AControl, TRect& Rect) override;
  void PaintWindow(HDC DC) override;
  virtual void Paint();
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();
  void CloseModal();
  void Dispatch(TMessage& Message) override;
  void CMShowingChanged(TMessage& Message) override;
  void CMDialogKey(TMessage& Message) override;
  void UpdateControlState() override;
  bool DoKeyPreview() const { return FKeyPreview; }

 private:
  friend class TWinControl;
  void ControlRemoved(TControl* AControl);
  void PlaceOnShow();

  TModalResult FModalResult = mrNone;
  WideString FHelpFile;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  TFormStyle FFormStyle = fsNormal;
  TWindowState FWindowState = wsNormal;
  bool FKeyPreview = false;
  TFormState FFormState;
  bool FActive = false;
  bool FCreated = false;
  bool FDestroyed = false;
  bool FPlaced = false;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
  std::unique_ptr<TControlCanvas> FCanvas;
  HWND FClientHandle = nullptr;
  TTileMode FTileMode = tbHorizontal;
  TMenuItem* FWindowMenu = nullptr;
};

class TForm : public TCustomForm {
 public:
  using TCustomForm::TCustomForm;
};

// ---------------------------------------------------------------- screen

class TMonitor {
 public:
  Integer MonitorNum = 0;
  bool Primary = false;
  TRect BoundsRect;
  TRect WorkareaRect;
  Integer PixelsPerInch = 96;
  Integer Left() const { return BoundsRect.Left; }
  Integer Top() const { return BoundsRect.Top; }
  Integer Width() const { return BoundsRect.Width(); }
  Integer Height() const { return BoundsRect.Height(); }
};

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  Integer Width() const;
  Integer Height() const;
  // The logical resolution of the primary screen (96 on the offscreen platform).
  Integer PixelsPerInch() const;
  TRect WorkAreaRect() const;
  Integer WorkAreaLeft() const { return WorkAreaRect().Left; }
  Integer WorkAreaTop() const { return WorkAreaRect().Top; }
  Integer WorkAreaWidth() const { return WorkAreaRect().Width(); }
  Integer WorkAreaHeight() const { return WorkAreaRect().Height(); }
  TRect DesktopRect() const;
  Integer DesktopWidth() const { return DesktopRect().Width(); }
  Integer DesktopHeight() const { return DesktopRect().Height(); }

  // The cursor shown over every window while it is not crDefault (crHourGlass while busy).
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  // The registry of cursors by number; unknown numbers give the arrow.
  HCURSOR Cursors(Integer Index) const;
  // Registers a cursor under Index (the screen keeps it); a null handle removes the entry.
  void SetCursors(Integer Index, HCURSOR Handle);

  Integer FormCount() const { return static_cast<Integer>(FForms.size()); }
  TForm* Forms(Integer Index) const;
  Integer CustomFormCount() const { return static_cast<Integer>(FForms.size()); }
  TCustomForm* CustomForms(Integer Index) const;
  TForm* ActiveForm() const;
  TCustomForm* ActiveCustomForm() const { return FActiveForm; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  TCustomForm* FocusedForm() const { return FFocusedForm; }

  Integer MonitorCount() const;
  TMonitor Monitors(Integer Index) const;
  TMonitor MonitorFromPoint(const TPoint& P) const;
  TMonitor MonitorFromWindow(HWND Wnd) const;
  TMonitor PrimaryMonitor() const { return Monitors(0); }
  // The installed font families.
  TStrings* Fonts();

  TNotifyEvent OnActiveFormChange;
  TNotifyEvent OnActiveControlChange;

 private:
  friend class TCustomForm;
  friend class TApplication;
  friend void gtui::ControlDestroyed(TControl* Control);
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);
  void SetActiveForm(TCustomForm* Form);
  void SetActiveControl(TWinControl* Control);
  std::vector<TCustomForm*> FForms;
  TCustomForm* FActiveForm = nullptr;
  TCustomForm* FFocusedForm = nullptr;
  TWinControl* FActiveControl = nullptr;
  TCursor FCursor = crDefault;
  std::map<Integer, HCURSOR> FCursors;
  std::unique_ptr<TStringList> FFonts;
};

// ---------------------------------------------------------------- application

using TExceptionEvent = std::function<void(TObject* Sender, Exception& E)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
// A help request (the help engines' command and data); clearing CallHelp
// says the handler dealt with it, and its answer is the request's result.
using THelpEvent = std::function<bool(Word Command, intptr_t Data, bool& CallHelp)>;
using TMessageEvent = std::function<void(MSG& Msg, bool& Handled)>;
// A hook sees the application window's messages first; true stops them.
using TWindowHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
 public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize() {}
  // Creates the form owned by the application; the first form made becomes
  // the main form. OnCreate runs before Reference is set, as in the class library.
  template <class TFormClass>
  void CreateForm(TFormClass*& Reference) {
    auto* F = new TFormClass(this);
    Reference = F;
    if (!FMainForm) FMainForm = F;
    F->DoCreate();
  }
  // Shows the main form and runs messages until Terminate.
  void Run();
  // Runs every pending event and queued message, then returns.
  void ProcessMessages();
  // Handles one message, or waits for the next event when there is none.
  void HandleMessage();
  // Ends Run (and modal loops) once the queued messages ahead have run.
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Hands the exception being handled to OnException, or shows its message;
  // EAbort is silent. Called with the exception in flight or with E.
  void HandleException(TObject* Sender);
  void HandleException(TObject* Sender, std::exception_ptr E);
  void ShowException(Exception& E);
  // Application.MessageBox: MessageBox owned by the active form.
  Integer MessageBox(const WideString& Text, const WideString& Caption, UINT Flags);

  TCustomForm* MainForm() const { return FMainForm; }
  void SetMainForm(TCustomForm* Form) { FMainForm = Form; }
  const WideString& Title() const { return FTitle; }
  void SetTitle(const WideString& Value) { FTitle = Value; }
  WideString ExeName() const;
  // The hidden application window (posting target of other processes and threads).
  HWND Handle();
  bool Active() const { return FActive; }
  const WideString& Hint() const { return FHint; }
  void SetHint(const WideString& Value);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value) { FShowHint = Value; }
  // Hides the hint window and forgets the control it was for.
  void CancelHint();
  void HideHint();
  // Asks the control the mouse rests on for its hint at once (screen point).
  void ActivateHint(const TPoint& CursorPos);
  // Milliseconds before a hint shows, before the next one shows while one
  // is up or after leaving a hint's cursor rectangle, and before it hides.
  Integer HintPause() const { return FHintPause; }
  void SetHintPause(Integer Value) { FHintPause = Value; }
  Integer HintShortPause() const { return FHintShortPause; }
  void SetHintShortPause(Integer Value) { FHintShortPause = Value; }
  Integer HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(Integer Value) { FHintHidePause = Value; }
  TColor HintColor() const { return FHintColor; }
  void SetHintColor(TColor Value) { FHintColor = Value; }
  // Whether hints name the shortcut of their command.
  bool HintShortCuts() const { return FHintShortCuts; }
  void SetHintShortCuts(bool Value) { FHintShortCuts = Value; }
  // Help requests go to OnHelp; what it leaves to the application finds no
  // help system of its own here: false.
  bool HelpCommand(Integer Command, intptr_t Data);
  // HelpCommand with the topic command (1) and Context.
  bool HelpContext(Integer Context);
  const WideString& HelpFile() const { return FHelpFile; }
  void SetHelpFile(const WideString& Value) { FHelpFile = Value; }
  void Minimize();
  void Restore();
  void BringToFront();
  // Returns an id for UnhookMainWindow (std::function targets cannot be compared).
  Integer HookMainWindow(const TWindowHook& Hook);
  void UnhookMainWindow(Integer Id);
  // Called by the controls for every mouse move: follows the control under the mouse for Hint.
  void HintMouseMessage(TControl* Control, TMessage& Message);

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnHint;
  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  TMessageEvent OnMessage;
  THelpEvent OnHelp;

 private:
  friend void gtui::ControlDestroyed(TControl* Control);
  bool ProcessMessage(MSG& Msg);
  void Idle();
  void WndProc(TMessage& Message);

  TCustomForm* FMainForm = nullptr;
  WideString FTitle;
  WideString FHint;
  WideString FHelpFile;
  bool FShowHint = true;
  bool FTerminated = false;
  bool FActive = false;
  bool FHandlingException = false;
  HWND FHandle = nullptr;
  std::vector<std::pair<Integer, TWindowHook>> FHooks;
  Integer FNextHookId = 1;
  TControl* FHintControl = nullptr;
  Integer FHintPause = 500;
  Integer FHintShortPause = 50;
  Integer FHintHidePause = 2500;
  TColor FHintColor = clInfoBk;
  bool FHintShortCuts = true;
};

// The application and screen objects, made on first use (the first use also
// makes the platform's widget application).
struct TApplicationRef {
  TApplication* operator->() const;
  operator TApplication*() const;
};
struct TScreenRef {
  TScreen* operator->() const;
  operator TScreen*() const;
};
extern TApplicationRef Application;
extern TScreenRef Screen;
