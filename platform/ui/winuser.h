// The window services of the platform: messages and their queue, window
// geometry and visibility, painting through window surfaces, mouse and
// keyboard state, capture, cursors, the caret, timers, the scroll bars of a
// window, system metrics and message boxes. Everything except PostMessage,
// SendMessage, IsWindow and RegisterWindowMessage belongs to the main thread.
#pragma once

#include <functional>

#include "platform/base/threads.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/messages.h"

// ---------------------------------------------------------------- messages

// Calls the window's procedure and returns its result. From another thread
// the call waits until the main thread has run it (as on Windows); 0 for a
// handle that is not a live window.
LRESULT SendMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// Queues the message for the main thread and returns at once; safe from any
// thread. Messages are delivered in the order they were posted. Posting to a
// handle that is not a live window fails (FALSE) and queues nothing; a null
// handle posts a thread message that GetMessage and PeekMessage return.
BOOL PostMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
// On the main thread as SendMessage; from another thread as PostMessage
// (it never waits).
BOOL SendNotifyMessage(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
void PostQuitMessage(Integer ExitCode);
// Runs pending platform events (input, paint, timers), then takes the first
// queued message that matches (Wnd null: any; Min = Max = 0: every number).
BOOL PeekMessage(MSG* Msg, HWND Wnd, UINT MsgFilterMin, UINT MsgFilterMax, UINT RemoveMsg);
// Waits for a matching message; FALSE when it is WM_QUIT.
BOOL GetMessage(MSG* Msg, HWND Wnd, UINT MsgFilterMin, UINT MsgFilterMax);
// Characters reach the windows as WM_CHAR from the layer itself; kept for loops written the Windows way.
BOOL TranslateMessage(const MSG* Msg);
LRESULT DispatchMessage(const MSG* Msg);
// Waits until an event or a message arrives.
BOOL WaitMessage();
// The screen position of the pointer for the last message GetMessage or
// PeekMessage took: X in the low word, Y in the high word.
DWORD GetMessagePos();
// Without handles: waits up to Milliseconds (INFINITE: no limit) for a
// queued message; WAIT_OBJECT_0 + Count when one is there, else WAIT_TIMEOUT.
DWORD MsgWaitForMultipleObjects(DWORD Count, const void* Handles, BOOL WaitAll, DWORD Milliseconds, DWORD WakeMask);
enum : DWORD { WAIT_OBJECT_0 = 0, WAIT_TIMEOUT = 258 };
enum : DWORD { QS_KEY = 0x1, QS_MOUSEMOVE = 0x2, QS_MOUSEBUTTON = 0x4, QS_POSTMESSAGE = 0x8, QS_TIMER = 0x10,
               QS_PAINT = 0x20, QS_SENDMESSAGE = 0x40, QS_ALLINPUT = 0xFF };
// The same name gives the same number (0xC000..0xFFFF) for the whole run, case ignored.
UINT RegisterWindowMessage(const WideString& Name);
// Default handling of the messages the layer knows (painting, erasing, cursor); 0 otherwise.
LRESULT DefWindowProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

// A window without a visible part that receives posted and sent messages
// through Method (the class library's utility windows).
using TWndMethod = std::function<void(TMessage& Message)>;
HWND AllocateHWnd(const TWndMethod& Method);
void DeallocateHWnd(HWND Wnd);

// Exceptions that leave a window procedure, a timer or a posted call are
// handed to this handler (the application object installs one); without
// one they are dropped so that they never unwind through the event loop.
void GtSetExceptionHandler(const std::function<void(std::exception_ptr)>& Handler);
// Thread messages (null window) that the event loop meets outside
// GetMessage/PeekMessage go here, in order.
void GtSetThreadMessageHandler(const std::function<void(const MSG&)>& Handler);

// ---------------------------------------------------------------- windows

BOOL IsWindow(HWND Wnd);
BOOL IsWindowVisible(HWND Wnd);
BOOL IsWindowEnabled(HWND Wnd);
BOOL EnableWindow(HWND Wnd, BOOL Enable);
BOOL DestroyWindow(HWND Wnd);
HWND GetParent(HWND Wnd);
// The top-level window that holds Wnd (Wnd itself for a top-level one).
HWND GetAncestorWindow(HWND Wnd);
HWND GetDesktopWindow();
HWND GetActiveWindow();
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND Wnd);
HWND GetFocus();
HWND SetFocus(HWND Wnd);
HWND WindowFromPoint(TPoint Point);
BOOL GetClientRect(HWND Wnd, TRect* R);
// Screen coordinates of the whole window.
BOOL GetWindowRect(HWND Wnd, TRect* R);
BOOL ClientToScreen(HWND Wnd, TPoint* Point);
BOOL ScreenToClient(HWND Wnd, TPoint* Point);
// Maps client points of From to client points of To (null: the screen).
Integer MapWindowPoints(HWND From, HWND To, TPoint* Points, UINT Count);
BOOL MoveWindow(HWND Wnd, Integer X, Integer Y, Integer Width, Integer Height, BOOL Repaint);
BOOL SetWindowPos(HWND Wnd, HWND InsertAfter, Integer X, Integer Y, Integer CX, Integer CY, UINT Flags);
BOOL ShowWindow(HWND Wnd, Integer CmdShow);
BOOL BringWindowToTop(HWND Wnd);
BOOL IsIconic(HWND Wnd);
BOOL IsZoomed(HWND Wnd);
// GWL_STYLE and GWL_EXSTYLE. Changing WS_BORDER or WS_EX_CLIENTEDGE changes the client area.
LONG GetWindowLong(HWND Wnd, Integer Index);
LONG SetWindowLong(HWND Wnd, Integer Index, LONG NewValue);
BOOL SetWindowText(HWND Wnd, const WideString& Text);
// Visits the live top-level windows (message windows of AllocateHWnd
// excluded) or the descendants of Parent, oldest first, while Proc answers TRUE.
using WNDENUMPROC = std::function<BOOL(HWND Wnd, LPARAM Param)>;
BOOL EnumWindows(const WNDENUMPROC& Proc, LPARAM Param);
BOOL EnumChildWindows(HWND Parent, const WNDENUMPROC& Proc, LPARAM Param);
// Moves Child under NewParent (null: top level) with its handle, state and
// position kept (in the new parent's client coordinates); the old parent or null.
HWND SetParent(HWND Child, HWND NewParent);
// The direct child of Parent at a client point of Parent (the last created
// on top), Parent itself when no child is there, null outside Parent.
enum : UINT { CWP_ALL = 0, CWP_SKIPINVISIBLE = 1, CWP_SKIPDISABLED = 2, CWP_SKIPTRANSPARENT = 4 };
HWND ChildWindowFromPointEx(HWND Parent, TPoint Point, UINT Flags);
struct WINDOWPLACEMENT {
  UINT length = sizeof(WINDOWPLACEMENT);
  UINT flags = 0;
  UINT showCmd = 0;
  TPoint ptMinPosition, ptMaxPosition;
  TRect rcNormalPosition;
};
enum : UINT { WPF_SETMINPOSITION = 1, WPF_RESTORETOMAXIMIZED = 2 };
// showCmd SW_SHOWNORMAL, SW_SHOWMAXIMIZED or SW_SHOWMINIMIZED; a minimised
// window that was maximised carries WPF_RESTORETOMAXIMIZED.
BOOL GetWindowPlacement(HWND Wnd, WINDOWPLACEMENT* Placement);
// The window shows only inside Region (window coordinates; the window owns
// it from now on); an empty region hides every pixel and takes no clicks,
// null removes the shape.
Integer SetWindowRgn(HWND Wnd, HRGN Region, BOOL Redraw);
// Copies the window's shape into Region: NULLREGION for an empty shape,
// ERROR (and Region untouched) when the window has none.
Integer GetWindowRgn(HWND Wnd, HRGN Region);
WideString GtGetWindowText(HWND Wnd);
// GWL_HWNDPARENT reads the parent of a child window and the owner of a
// top-level one; setting it gives a top-level window a new owner (the
// top-level window that holds the one named; null: none). An owned window
// stays above its owner and is destroyed with it, before it. Top-level tool
// windows without a caption (popups, floating bars) never take activation.
// SetWindowPos with HWND_TOPMOST or HWND_NOTOPMOST sets or clears
// WS_EX_TOPMOST on the same platform window.

// Layered windows: only a constant alpha over the whole window (its
// opacity, shown where a compositor runs). The window keeps painting
// itself, so the source DC is not read; DstPt and Size, when given, move and
// size it. FALSE for per-pixel alpha, a colour key or a window without
// WS_EX_LAYERED; taking WS_EX_LAYERED away
// makes the window fully opaque again.
struct BLENDFUNCTION {
  BYTE BlendOp = 0;
  BYTE BlendFlags = 0;
  BYTE SourceConstantAlpha = 255;
  BYTE AlphaFormat = 0;
};
enum : BYTE { AC_SRC_OVER = 0, AC_SRC_ALPHA = 1 };
enum : DWORD { ULW_COLORKEY = 1, ULW_ALPHA = 2, ULW_OPAQUE = 4 };
BOOL UpdateLayeredWindow(HWND Wnd, HDC DstDC, const TPoint* DstPt, const TSize* Size, HDC SrcDC, const TPoint* SrcPt,
                         COLORREF Key, const BLENDFUNCTION* Blend, DWORD Flags);

// WM_GETMINMAXINFO (lParam points at it): the system's move and size loop
// keeps the window between the minimum and maximum track sizes.
struct MINMAXINFO {
  TPoint ptReserved;
  TPoint ptMaxSize;
  TPoint ptMaxPosition;
  TPoint ptMinTrackSize;
  TPoint ptMaxTrackSize;
};

// Non-client areas. The client area is what WM_NCCALCSIZE leaves of the
// window rectangle: the layer sends it with wParam FALSE and lParam pointing
// at rgrc[0], the window rectangle in the parent's client coordinates, when
// the window is created, sized, restyled or given SWP_FRAMECHANGED;
// DefWindowProc takes the standard border off. A window that answers
// WM_NCPAINT itself draws its margins through GetWindowDC (origin at the
// window's corner; wParam 1 means the whole window); otherwise the layer
// draws the standard border. Mouse input over the margins asks WM_NCHITTEST
// (screen point) and sends the non-client mouse message with that code in
// wParam and the screen point in lParam; DefWindowProc moves a top-level
// window from HTCAPTION and sizes it from the edge codes.
struct WINDOWPOS;
struct NCCALCSIZE_PARAMS {
  TRect rgrc[3];
  WINDOWPOS* lppos = nullptr;
};
// TME_LEAVE: one WM_MOUSELEAVE (with TME_NONCLIENT: WM_NCMOUSELEAVE) is
// posted when the pointer leaves the client area (the margins), at once when
// it is not there; TME_CANCEL ends the request.
struct TRACKMOUSEEVENT {
  DWORD cbSize = sizeof(TRACKMOUSEEVENT);
  DWORD dwFlags = 0;
  HWND hwndTrack = nullptr;
  DWORD dwHoverTime = 0;
};
enum : DWORD { TME_HOVER = 0x1, TME_LEAVE = 0x2, TME_NONCLIENT = 0x10, TME_CANCEL = 0x80000000 };
BOOL TrackMouseEvent(TRACKMOUSEEVENT* Track);

struct WINDOWPOS {
  HWND hwnd = nullptr;
  HWND hwndInsertAfter = nullptr;
  Integer x = 0, y = 0, cx = 0, cy = 0;
  UINT flags = 0;
};

// ---------------------------------------------------------------- painting

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;
  TRect rcPaint;
  BOOL fRestore = FALSE;
  BOOL fIncUpdate = FALSE;
};

// Every window with a surface keeps an image of its client area. Drawing
// through any DC of the window goes into that image and is shown at the next
// paint of the platform; the update region decides only when WM_PAINT is sent.
HDC BeginPaint(HWND Wnd, PAINTSTRUCT* Paint);
BOOL EndPaint(HWND Wnd, const PAINTSTRUCT* Paint);
HDC GetDC(HWND Wnd);
HDC GetDCEx(HWND Wnd, HRGN Clip, DWORD Flags);
HDC GetWindowDC(HWND Wnd);
Integer ReleaseDC(HWND Wnd, HDC DC);
HWND WindowFromDC(HDC DC);
BOOL InvalidateRect(HWND Wnd, const TRect* R, BOOL Erase);
BOOL InvalidateRgn(HWND Wnd, HRGN Region, BOOL Erase);
BOOL ValidateRect(HWND Wnd, const TRect* R);
BOOL ValidateRgn(HWND Wnd, HRGN Region);
BOOL GetUpdateRect(HWND Wnd, TRect* R, BOOL Erase);
Integer GetUpdateRgn(HWND Wnd, HRGN Region, BOOL Erase);
// Sends WM_PAINT at once when the update region is not empty.
BOOL UpdateWindow(HWND Wnd);
BOOL RedrawWindow(HWND Wnd, const TRect* Update, HRGN Region, UINT Flags);
// Moves the surface's pixels by (DX, DY) inside Clip (the client area when
// null) and invalidates the uncovered part.
BOOL ScrollWindow(HWND Wnd, Integer DX, Integer DY, const TRect* Scroll, const TRect* Clip);
enum : DWORD { DCX_WINDOW = 0x1, DCX_CACHE = 0x2, DCX_CLIPCHILDREN = 0x8, DCX_CLIPSIBLINGS = 0x10,
               DCX_PARENTCLIP = 0x20, DCX_EXCLUDERGN = 0x40, DCX_INTERSECTRGN = 0x80,
               DCX_LOCKWINDOWUPDATE = 0x400 };
// Outlines: while a window is locked, the screen DC (GetDC of no window)
// draws into an overlay above every window, and GetDCEx with
// DCX_LOCKWINDOWUPDATE of a window draws into an overlay above its client
// area and its children. Both start empty and show the pixels beneath
// inverted by what was drawn, so inverting the same outline twice (PatBlt
// with PATINVERT or DSTINVERT) leaves the screen exactly as it was. Input
// passes through them. One window at a time; null unlocks.
BOOL LockWindowUpdate(HWND Wnd);

// ---------------------------------------------------------------- input

HWND SetCapture(HWND Wnd);
BOOL ReleaseCapture();
HWND GetCapture();
BOOL GetCursorPos(TPoint* Point);
BOOL SetCursorPos(Integer X, Integer Y);
// Bit 15 (a negative value) when the key or button is down.
SHORT GetKeyState(Integer VirtKey);
SHORT GetAsyncKeyState(Integer VirtKey);
BOOL GetKeyboardState(BYTE* KeyState);
UINT GetDoubleClickTime();

// Stock cursors: LoadCursor(nullptr, IDC_...). Cursor handles stay valid for
// the whole run (DestroyCursor of a stock cursor does nothing).
HCURSOR LoadCursor(HINSTANCE Instance, uintptr_t CursorId);
// A cursor from 32-bit top-down B, G, R, A pixels.
HCURSOR GtCreateCursor(const uint32_t* Pixels, Integer Width, Integer Height, Integer HotX, Integer HotY);
BOOL DestroyCursor(HCURSOR Cursor);
// Shows Cursor at once over the window under the mouse (or the capture window).
HCURSOR SetCursor(HCURSOR Cursor);
HCURSOR GetCursor();

// The caret: one per thread, drawn by the layer by inverting a rectangle of
// the owner's surface, blinking with a timer.
BOOL CreateCaret(HWND Wnd, HBITMAP Bitmap, Integer Width, Integer Height);
BOOL DestroyCaret();
BOOL SetCaretPos(Integer X, Integer Y);
BOOL GetCaretPos(TPoint* Point);
BOOL ShowCaret(HWND Wnd);
BOOL HideCaret(HWND Wnd);
UINT GetCaretBlinkTime();
BOOL SetCaretBlinkTime(UINT Milliseconds);

// ---------------------------------------------------------------- timers

using UINT_PTR = uintptr_t;
using TIMERPROC = void (*)(HWND Wnd, UINT Msg, UINT_PTR IdEvent, DWORD Time);
// With a window: WM_TIMER (WParam = IdEvent) or Proc every Elapse ms; setting
// an existing id again restarts it. Without a window a new id is returned.
UINT_PTR SetTimer(HWND Wnd, UINT_PTR IdEvent, UINT Elapse, TIMERPROC Proc);
BOOL KillTimer(HWND Wnd, UINT_PTR IdEvent);

// ---------------------------------------------------------------- scroll bars

// The window's own bars (SB_HORZ, SB_VERT). Showing a bar shrinks the client
// area by its thickness (GetSystemMetrics SM_CXVSCROLL / SM_CYHSCROLL) and
// sends WM_SIZE. Changing range or page shows a bar that is needed and hides
// one that is not (unless SIF_DISABLENOSCROLL), as Windows does.
Integer SetScrollInfo(HWND Wnd, Integer Bar, const SCROLLINFO* Info, BOOL Redraw);
BOOL GetScrollInfo(HWND Wnd, Integer Bar, SCROLLINFO* Info);
BOOL SetScrollRange(HWND Wnd, Integer Bar, Integer Min, Integer Max, BOOL Redraw);
BOOL GetScrollRange(HWND Wnd, Integer Bar, Integer* Min, Integer* Max);
Integer SetScrollPos(HWND Wnd, Integer Bar, Integer Pos, BOOL Redraw);
Integer GetScrollPos(HWND Wnd, Integer Bar);
BOOL ShowScrollBar(HWND Wnd, Integer Bar, BOOL Show);
BOOL EnableScrollBar(HWND Wnd, UINT Bar, UINT Arrows);
// Flat scroll bars look like the others here; they share the same state.
BOOL InitializeFlatSB(HWND Wnd);
BOOL UninitializeFlatSB(HWND Wnd);
Integer FlatSB_SetScrollInfo(HWND Wnd, Integer Bar, const SCROLLINFO* Info, BOOL Redraw);
BOOL FlatSB_GetScrollInfo(HWND Wnd, Integer Bar, SCROLLINFO* Info);
BOOL FlatSB_SetScrollRange(HWND Wnd, Integer Bar, Integer Min, Integer Max, BOOL Redraw);
Integer FlatSB_SetScrollPos(HWND Wnd, Integer Bar, Integer Pos, BOOL Redraw);
BOOL FlatSB_ShowScrollBar(HWND Wnd, Integer Bar, BOOL Show);
BOOL FlatSB_EnableScrollBar(HWND Wnd, Integer Bar, UINT Arrows);

// ---------------------------------------------------------------- metrics and settings

// Screen sizes come from the primary screen; the other sizes are the fixed
// values of the classic desktop: borders 1, edges 2, scroll bars 17,
// caption 19, double-click area 4 x 4, drag threshold 4, icons 32 and 16,
// menu check marks 13.
Integer GetSystemMetrics(Integer Index);
// SPI_GETWORKAREA (TRect), SPI_GETWHEELSCROLLLINES (UINT), SPI_GET/SETDRAGFULLWINDOWS,
// SPI_GET/SETFONTSMOOTHING, SPI_GETNONCLIENTMETRICS, SPI_GETFLATMENU (FALSE),
// SPI_GET/SETMENUANIMATION (TRUE) and SPI_GET/SETMENUFADE (FALSE), program settings
// set through PvParam as on Windows, SPI_GETMENUSHOWDELAY (400),
// SPI_GETKEYBOARDDELAY (1), SPI_GETKEYBOARDSPEED (31), SPI_GETMOUSEHOVERTIME (400),
// SPI_GETMOUSEHOVERWIDTH/HEIGHT (4). SPI_SETDESKWALLPAPER is refused. FALSE for others.
BOOL SystemParametersInfo(UINT Action, UINT Param, void* PvParam, UINT WinIni);

// ---------------------------------------------------------------- message boxes

// A modal box with the text, the caption, the icon and buttons of Type;
// answers IDOK, IDCANCEL, IDYES... Closing the box answers IDCANCEL (or IDNO,
// IDOK when the box has no Cancel button).
Integer MessageBox(HWND Owner, const WideString& Text, const WideString& Caption, UINT Type);
BOOL MessageBeep(UINT Type);

// ---------------------------------------------------------------- hooks

// Hooks of the current thread. The layer calls them where Windows would:
// WH_CALLWNDPROC before a window procedure gets a message (lParam: CWPSTRUCT),
// WH_CBT before a window is destroyed, minimised, maximised or restored and
// before the focus moves (a non-zero answer stops the change), WH_GETMESSAGE
// when GetMessage or PeekMessage hands out a message (wParam: the remove
// flag, lParam: the MSG, which the hook may rewrite). The newest hook runs
// first and passes on with CallNextHookEx; hooks added or removed during a
// call do not change the chain that call walks.
struct HHOOK__;
using HHOOK = HHOOK__*;
using HOOKPROC = LRESULT (*)(Integer Code, WPARAM WParam, LPARAM LParam);
enum : Integer { WH_GETMESSAGE = 3, WH_CALLWNDPROC = 4, WH_CBT = 5 };
enum : Integer { HC_ACTION = 0 };
enum : Integer { HCBT_MOVESIZE = 0, HCBT_MINMAX = 1, HCBT_DESTROYWND = 4, HCBT_SETFOCUS = 9 };
struct CWPSTRUCT {
  LPARAM lParam = 0;
  WPARAM wParam = 0;
  UINT message = 0;
  HWND hwnd = nullptr;
};
DWORD GetCurrentThreadId();
// Only hooks of the calling thread are supported (ThreadId 0 or the current
// thread); null for another thread, an unknown kind or no procedure.
HHOOK SetWindowsHookEx(Integer IdHook, HOOKPROC Proc, HINSTANCE Module, DWORD ThreadId);
BOOL UnhookWindowsHookEx(HHOOK Hook);
// Calls the hook after Hook in the chain being walked; 0 at the end.
LRESULT CallNextHookEx(HHOOK Hook, Integer Code, WPARAM WParam, LPARAM LParam);
