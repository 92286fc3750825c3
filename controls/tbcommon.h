// The toolbox of the toolbar and docking library: list helpers, message
// pumping, printing of windows that draw their own frame, checkerboard drag
// frames, system settings, monitor work areas, mouse tracking, vertical text,
// text with accelerator prefixes, menu sounds and the small caption of
// floating windows.
#pragma once

#include <functional>

#include "platform/base/lists.h"
#include "platform/ui/winuser.h"

class TObject;

// ---------------------------------------------------------------- lists

// A list variable may hold no list; the helpers create it on the first
// addition and free it when it runs empty.
bool ListAddUnique(TList*& List, void* Item);
bool ListAddUniqueFront(TList*& List, void* Item);
void ListRemoveAndRelease(TList*& List, void* Item);

// ---------------------------------------------------------------- messages

// Dispatches every waiting WM_PAINT of the thread; a WM_QUIT met on the way
// is posted again and ends the pumping.
void DispatchPendingPaints();
// Removes every waiting message numbered First..Last; a WM_QUIT met on the
// way is posted again and ends the removal.
void DiscardQueuedMessages(UINT First, UINT Last);
// The screen position of the mouse when the last message was taken.
TPoint LastMessagePoint();
bool ThreadHasActiveWindow();

// ---------------------------------------------------------------- printing of self-drawn windows

enum : LPARAM { PRF_CHECKVISIBLE = 0x1, PRF_NONCLIENT = 0x2, PRF_CLIENT = 0x4, PRF_ERASEBKGND = 0x8,
                PRF_CHILDREN = 0x10, PRF_OWNED = 0x20 };

using TTBPaintNonClientProc = std::function<void(HWND Wnd, HDC DC, void* PaintData)>;
using TTBPaintHandler = std::function<void(TObject* Control, TMessage& Message)>;

// The WM_PRINT handler of windows that draw their own frame: frame, erase,
// client and children, each in its own saved state of the device context.
// The message result is 1 when it drew, 0 when it refused.
void EmulatePrint(HWND Wnd, TMessage& Message, const TTBPaintNonClientProc& PaintNonClient, void* PaintData);
// The WM_PRINTCLIENT handler: paints through PaintHandler as for WM_PAINT,
// with the message's device context, whose state survives even an exception.
void EmulatePrintClient(TMessage& Message, const TTBPaintHandler& PaintHandler, TObject* Control);
// Used in WM_NCPAINT: limits DC to the non-client update region, in window
// coordinates; a region of 0 or 1 (the whole window) changes nothing.
void ClipToNonClientUpdateRegion(HWND Wnd, HDC DC, HRGN Region);

// ---------------------------------------------------------------- text

WideString StripAmpersands(const WideString& Text);
WideString DoubleAmpersands(const WideString& Text);
// "Open..." -> "Open", "Name:" -> "Name"; a text that is only ":" or "..." stays.
WideString TrimEllipsisOrColon(const WideString& Text);
// The character after the last single "&" ("&&" is a literal ampersand); 0 for none.
WideChar AcceleratorOf(const WideString& Text);
WideChar LowerChar(WideChar Ch);
Integer MeasureTextWidth(HDC DC, const WideString& Text, bool StripPrefix);
Integer DrawTextString(HDC DC, const WideString& Text, TRect& R, UINT Format);
TSize TextExtentOf(HDC DC, const WideString& Text);
void TextOutString(HDC DC, Integer X, Integer Y, const WideString& Text);
bool FontFaceExists(HDC DC, const WideString& Face);
// The font selected into DC turned by 270 degrees; null when it cannot be read.
HFONT CreateVerticalFont(HDC DC);
// Text running from top to bottom, centred in R, the accelerator underlined
// unless Format holds DT_HIDEPREFIX.
void DrawVerticalText(HDC DC, const WideString& Text, const TRect& R, UINT Format);

// ---------------------------------------------------------------- drawing

// R minus R shrunk by Size: the frame; an empty inner part gives all of R.
HRGN CreateFrameRegion(const TRect& R, const TSize& Size);
// Inverts the frames of NewRect and OldRect that did not stay in place.
void InvertRectFrames(HDC DC, const TRect& NewRect, const TRect& OldRect, const TSize& NewSize, const TSize& OldSize,
                      HBRUSH Brush);
HBITMAP CreateMonoBitmap(Integer Width, Integer Height, const void* Bits);
HBRUSH CreateCheckerBrush();
// Drag frames in a checkerboard: drawing the same pair again erases them;
// an empty OldRect draws only the new frame.
void DrawCheckerFrames(HDC DC, const TRect& NewRect, const TRect& OldRect, const TSize& NewSize,
                       const TSize& OldSize);
// Fills R with one colour through a brush made for the call.
void FillSolid(HDC DC, const TRect& R, COLORREF Colour);
bool GradientFillAvailable();
void FillGradientRect(HDC DC, const TRect& R, TColor Color1, bool Horizontal, TColor Color2);
// The caption bar of floating windows: gradient or solid background, then
// the text in the small-caption font.
void DrawSmallCaption(HWND Wnd, HDC DC, const TRect& R, bool Active, const WideString& Text);
// Repaints the window at once through an off-screen bitmap.
void RepaintBuffered(HWND Wnd);

// ---------------------------------------------------------------- system settings

// Milliseconds before a submenu opens: the desktop's menu show delay, never negative.
Integer MenuPopupDelay();
bool FlatMenusActive();
bool KeyboardCuesShown();
bool SystemFlag(UINT Action, bool Default);
bool ReadNonClientMetrics(NONCLIENTMETRICSW& Metrics);
bool WindowsXPOrLater();
Integer MinInt(Integer A, Integer B);
bool SamePoint(const TPoint& A, const TPoint& B);

// ---------------------------------------------------------------- screen areas

// The work area (UseWorkArea) or the whole primary screen.
void DesktopArea(bool UseWorkArea, TRect& R);
bool SeveralMonitors();
// Monitors are numbered as the screen object numbers them.
bool MonitorArea(Integer Monitor, bool UseWorkArea, TRect& R);
// The area of the monitor nearest to the rectangle or point.
void MonitorAreaOfRect(const TRect& Rect, bool UseWorkArea, TRect& R);
void MonitorAreaOfPoint(const TPoint& Point, bool UseWorkArea, TRect& R);

// ---------------------------------------------------------------- mouse, foreground and sound

void LoadTrackMouseEvent();
// False when the platform offers no mouse tracking.
bool StartMouseTracking(HWND Wnd, DWORD Flags);
void ForegroundLock(bool Lock);
// Whether the desktop's sound theme has the event ("menu-popup", "menu-click").
bool SoundEventConfigured(const WideString& Alias);
void PlaySoundEvent(const WideString& Alias);
