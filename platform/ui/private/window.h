// Internals of the window layer: the record behind a window handle, the Qt
// widgets that show it, its surface and its scroll bars. Only the sources of
// platform/ui include this header.
#pragma once

#include <QImage>
#include <QMargins>
#include <QRegion>
#include <QWidget>

#include <exception>
#include <memory>
#include <vector>

#include "platform/graphics/gdi_surface.h"
#include "platform/ui/winuser.h"

class QCursor;
class QScrollBar;

namespace gtui {

struct TWindow;

// The persistent image of a window's client area. Device contexts of the
// window draw into it; what they change is shown at the next platform paint.
class TWindowSurface : public TGdiSurface {
 public:
  explicit TWindowSurface(TWindow* AOwner) : Owner(AOwner) {}
  bool LockPixels(TGdiPixels& Pixels) override;
  void UnlockPixels(const TRect& Changed) override;
  TWindow* Owner;  // null once the window is gone: its DCs then draw nothing
  QImage Image;    // Format_RGB32, the size of the client area
};

// The image of the whole window that its window DCs draw into; the frame
// widget shows its margins from it.
class TFrameSurface : public TGdiSurface {
 public:
  explicit TFrameSurface(TWindow* AOwner) : Owner(AOwner) {}
  bool LockPixels(TGdiPixels& Pixels) override;
  void UnlockPixels(const TRect& Changed) override;
  TWindow* Owner;  // null once the window is gone
  QImage Image;    // Format_RGB32, the size of the window
};

struct TScrollBarState {
  Integer Min = 0, Max = 100, Pos = 0, TrackPos = 0;
  UINT Page = 0;
  bool Visible = false;
  UINT Disabled = ESB_ENABLE_BOTH;
  bool Dragging = false;
  QScrollBar* Bar = nullptr;  // created when first shown
};

enum TWindowKind {
  wkSurface,  // the layer paints it from its surface
  wkNative,   // a Qt widget paints itself (buttons, edits ...)
  wkMessage,  // no visible part (AllocateHWnd)
};

struct TWindow {
  HWND Handle = nullptr;
  TWindowKind Kind = wkSurface;
  TWndMethod Proc;
  TWindow* Parent = nullptr;
  std::vector<TWindow*> Children;
  // The owner of a top-level window (GWL_HWNDPARENT): the owned window stays
  // above it, goes with it, and is destroyed before it.
  TWindow* Owner = nullptr;
  QWidget* Frame = nullptr;   // the whole window; its geometry is the window rectangle
  QWidget* Client = nullptr;  // the client area: children live here and input arrives here
  // An MDI child: the sub-window of its client's area that carries Frame
  // with its caption; Rect is the sub-window's rectangle and Deco the part
  // of it (caption, frame) that the sub-window draws around Frame.
  QWidget* Sub = nullptr;
  QMargins Deco;
  DWORD Style = 0, ExStyle = 0, ClassStyle = CS_DBLCLKS;
  TRect Rect;  // window rectangle in the parent's client coordinates (screen for top level)
  std::shared_ptr<TWindowSurface> Surface;
  std::shared_ptr<TFrameSurface> FrameSurface;  // made by the first window DC
  TRect Margins;          // non-client widths: Left, Top, Right, Bottom (from WM_NCCALCSIZE)
  bool NcDefault = true;  // the last WM_NCPAINT went to DefWindowProc: the layer draws the border
  QRegion NcDrawn;        // margins drawn through a window DC since the last frame paint
  bool InNc = false;      // the pointer is over the margins
  bool TrackLeave = false, TrackNcLeave = false;  // TrackMouseEvent requests
  QRegion UpdateRgn;
  bool EraseBkgnd = false;
  bool InPaint = false;
  bool Began = false;  // BeginPaint ran during the WM_PAINT being served
  QRegion PaintDirty;  // drawn during WM_PAINT, outside the platform paint being served
  TScrollBarState Bars[2];
  bool FlatBars = false;
  WideString Text;
  HCURSOR AppliedCursor = nullptr;  // the cursor last shown over the client widget
  int Busy = 0;       // procedure calls running; the record outlives them
  bool Dead = false;  // destroyed; freed by FlushDeferredDeletes once Busy is 0

  bool TopLevel() const { return Parent == nullptr; }
  Integer BorderWidth() const;
  // The client area inside the frame widget.
  QRect ClientInFrame() const;
};

// Main thread only. Null for a handle that is not a live window.
TWindow* Lookup(HWND Wnd);
// Every live window, children and (when asked) message windows included,
// oldest first.
std::vector<HWND> AllWindowHandles(bool WithMessageWindows);
// The desktop's style changed: every window receives WM_THEMECHANGED once,
// soon after (uxtheme.cpp).
void DesktopThemeChanged();
// The live window whose frame or client is Widget (or one of its ancestors).
TWindow* WindowOfWidget(QWidget* Widget);
// Lets windows that answer WM_GETOBJECT show their own accessibility objects
// (accbridge.cpp); run once the widget application exists.
void InstallAccessibilityFactory();

struct TCreateWindow {
  TWindowKind Kind = wkSurface;
  HWND Parent = nullptr;
  DWORD Style = 0, ExStyle = 0, ClassStyle = CS_DBLCLKS;
  TRect Rect;
  WideString Text;
  TWndMethod Proc;
  QWidget* Native = nullptr;  // wkNative: the widget, owned by the window from now on
  HWND* HandleOut = nullptr;  // receives the handle before the first message is sent
};
HWND CreateWindowRecord(const TCreateWindow& Params);

// Calls the window's procedure with exceptions handed to the application's handler.
void Deliver(TWindow* W, TMessage& Message);
LRESULT Perform(TWindow* W, UINT Msg, WPARAM WParam, LPARAM LParam);
void HandleException(std::exception_ptr E);

// Counts Qt's calls into the layer, so that the queue knows whether it runs
// inside a PeekMessage of the current level.
struct TQtEntry {
  TQtEntry();
  ~TQtEntry();
};
int QtDepth();

// Places the client widget and the scroll bars after a change of size, style
// or bars, resizes the surface and sends WM_SIZE when the client size changed.
void Relayout(TWindow* W);
// Asks the window for its margins (WM_NCCALCSIZE).
void UpdateMargins(TWindow* W);
// Makes the frame surface the size of the window, keeping what it holds.
TFrameSurface* FrameSurfaceOf(TWindow* W);
// Mouse input over a window's margins; true when it was consumed.
bool TranslateNcInput(TWindow* W, QEvent* Event);
// The window beneath a child window at a screen point: the topmost sibling
// below it there, else its parent; null for a top-level window.
TWindow* WindowBeneath(TWindow* W, const QPoint& Global);
// The pointer left the margins or the client area.
void PointerLeftNc(TWindow* W);
void PointerLeftClient(TWindow* W);
// Moves and sizes the window; sends WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE.
void ApplyRect(TWindow* W, const TRect& R, bool FromPlatform);
// Serves a platform paint of Region: WM_PAINT when the update region is not
// empty, then the surface is copied.
void PaintClient(TWindow* W, QWidget* Target, const QRegion& Region);
void InvalidateRegion(TWindow* W, const QRegion& Region, bool Erase);

// Input translation shared by surface windows and native widgets; answers
// true when the event was consumed.
bool TranslateInput(TWindow* W, QEvent* Event, QWidget* Receiver);
// Records the last pointer position and button/key state for the state queries.
void NoteCursor(const QPoint& Global);
void NoteKey(WORD VirtKey, bool Down);
// Input handed to a window at once counts as the message last taken, as if
// the program's loop had taken it (GetMessagePos).
void NoteMessagePos(TPoint Pt);
WORD QtKeyToVirtualKey(int Key, Qt::KeyboardModifiers Mods);

// The hint text a window shows at a client point (the control layer answers;
// empty for none).
extern WideString (*TooltipText)(HWND Wnd, TPoint Point);

// The Qt cursor behind a cursor handle, or nullptr.
const QCursor* CursorOf(HCURSOR Cursor);

// The caret is hidden while a window paints.
void CaretBeforePaint(TWindow* W);
void CaretAfterPaint(TWindow* W);
void CaretWindowGone(TWindow* W);
void TimersWindowGone(TWindow* W);
void CaptureWindowGone(TWindow* W);
void CursorWindowGone(TWindow* W);
void ScrollBarsWindowGone(TWindow* W);
void DCsWindowGone(TWindow* W);
void DropTargetsWindowGone(TWindow* W);

// Input while a message loop of the program (not the application's own
// pump) waits in PeekMessage, GetMessage, WaitMessage or
// MsgWaitForMultipleObjects goes into the queue as MSG records, in arrival
// order, with pt on the screen. A record's window is chosen when it is taken
// from the queue: the capture window or the window under pt for the mouse,
// the focus window for keys.
inline HWND const MouseInputTarget = reinterpret_cast<HWND>(3);
inline HWND const KeyInputTarget = reinterpret_cast<HWND>(4);
bool InputGoesToQueue();
// A reserved bit of the key data: on the WM_SYSKEYUP of Alt, set when no
// other key or button came between its press and release.
constexpr LPARAM AltAloneKeyData = LPARAM(1) << 25;
void QueueInput(const MSG& M);
// Marks the application's own next wait, whose input goes to the windows at
// once; the waits of loops nested in its handlers queue their input.
struct TAppPump {
  TAppPump();
  ~TAppPump();
  TAppPump(const TAppPump&) = delete;
  TAppPump& operator=(const TAppPump&) = delete;

 private:
  bool Outer;
};

// The system's move (Edge 0) or resize by the WMSZ_ edge of a window with
// the left button held: follows the pointer until the button is released;
// Escape or WM_CANCELMODE puts the window back.
void SystemMoveSize(HWND Wnd, UINT Edge);

// MDI (mdi.cpp). The client window of a frame is a native window over an
// MDI area; windows made with it as parent become its children in
// sub-windows. The client keeps the children's z-order (the active one
// first) and the window menu.
HWND CreateMdiClient(HWND Frame, const TRect& Rect);
bool IsMdiClient(const TWindow* W);
// Puts the new child's frame widget into a sub-window of its client.
void AttachMdiChild(TWindow* W);
// The child was shown or hidden (activation moves on), or is being destroyed.
void MdiChildShown(TWindow* W, bool Shown, bool Activate);
void MdiChildGone(TWindow* W);
// The client's children, the active one first, the others in z-order.
std::vector<HWND> MdiChildrenOf(HWND Client);
// The widget that carries the window on the screen: the sub-window of an
// MDI child, else the frame.
inline QWidget* OuterWidget(const TWindow* W) { return W->Sub ? W->Sub : W->Frame; }

// The Qt window flags of a top-level window of these styles.
Qt::WindowFlags TopLevelFlags(const TWindow* W);
// A top-level window that never takes activation: popups (tool windows that
// stay on top without any frame style) and frameless tool windows such as
// floating bars, which draw their own caption.
bool NeverActivated(const TWindow* W);
// Gives a top-level window the flags of its styles and its owner, keeping it
// shown (without activation) when it was.
void ApplyTopLevelFlags(TWindow* W);
// WS_EX_LAYERED was taken away: the window is fully opaque again.
void LayeredStyleRemoved(TWindow* W);

// Creates the message pump object on the main thread (idempotent) and makes
// sure a QApplication exists.
void InitWindowing();
// Runs queued calls of worker threads and posted messages that nobody peeks.
void DrainQueue();
// Runs the platform's pending events once (WaitForMore: blocks until one came).
void ProcessPlatformEvents(bool WaitForMore);
// Frees widgets of destroyed windows when nothing of theirs runs any more.
void FlushDeferredDeletes();

// The overlay surface of the screen (Wnd null) or of a window's client
// area above its children, for inverted outlines; Origin is the device
// origin that maps screen or client coordinates onto it. Null when there is
// nothing to draw on.
std::shared_ptr<TGdiSurface> OverlaySurface(HWND Wnd, TPoint& Origin);
// True while a window is locked with LockWindowUpdate: the screen DC then
// draws into the screen's overlay.
bool ScreenOverlayActive();
void OverlayWindowGone(TWindow* W);

constexpr Integer ScrollBarThickness = 17;

}  // namespace gtui
