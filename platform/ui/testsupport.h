// Input synthesis and inspection for tests of windows, without a platform
// dependency in the tests themselves. Events go through the platform's own
// event delivery (focus, mouse grab, double-click detection), as real input does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/ui/messages.h"

enum TGtMouseAction { gmaPress, gmaRelease, gmaMove, gmaDoubleClick };
enum TGtMouseButton { gmbNone, gmbLeft, gmbRight, gmbMiddle };
// Modifier keys held during a synthetic event.
enum : Cardinal { gmkShift = 1, gmkCtrl = 2, gmkAlt = 4 };

// A mouse event at client point (X, Y) of Wnd. Buttons already pressed by
// earlier synthetic presses stay down until their release.
bool GtTestMouse(HWND Wnd, TGtMouseAction Action, TGtMouseButton Button, Integer X, Integer Y, Cardinal Mods = 0);
// Press and release at the same place (a second click later than the
// double-click time, so it never turns into a double click by accident).
bool GtTestClick(HWND Wnd, TGtMouseButton Button, Integer X, Integer Y, Cardinal Mods = 0);
// A wheel event over client point (X, Y); Delta is in 1/120 notches, positive away from the user.
bool GtTestWheel(HWND Wnd, Integer X, Integer Y, Integer Delta, Cardinal Mods = 0);
// A key press or release in the window that holds Wnd, delivered to the focused window.
// Text is the character the key types (0 for none).
bool GtTestKey(HWND Wnd, bool Press, WORD VirtKey, Cardinal Mods = 0, WideChar Text = 0);
// The pixels of the client area as the platform would show them now (0x00RRGGBB).
bool GtTestGrab(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height);
// The pixels of the whole window, margins and children included, from its corner.
bool GtTestGrabWindow(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height);
// The window surface itself (what GetDC draws on), in the same layout.
bool GtTestSurface(HWND Wnd, std::vector<uint32_t>& Pixels, Integer& Width, Integer& Height);
// Runs events and queued messages until Done answers true or TimeoutMs passed; returns Done().
bool GtTestPumpUntil(const std::function<bool()>& Done, Integer TimeoutMs);
// Runs events and queued messages for Ms milliseconds.
void GtTestPump(Integer Ms);
// Answers every message box (MessageBox, MessageDlg, ShowMessage) without
// showing it; null restores the real boxes.
void GtSetMessageBoxHook(const std::function<Integer(const WideString& Text, const WideString& Caption, UINT Type)>& Hook);
// Makes Wnd's top-level window the active one.
bool GtTestActivate(HWND Wnd);
// True when windows go to a real display (X11 or Wayland), not the headless platform.
bool GtTestHasRealDisplay();
// The pixels the display shows in a screen rectangle (0x00RRGGBB).
bool GtTestScreenPixels(Integer X, Integer Y, Integer Width, Integer Height, std::vector<uint32_t>& Pixels);
// A mouse event on the window's own scroll bar (SB_HORZ or SB_VERT) at a
// point of the bar (0, 0 is its top-left corner).
bool GtTestScrollBarMouse(HWND Wnd, Integer Bar, TGtMouseAction Action, Integer X, Integer Y);
// The length of the window's scroll bar along its direction (0 when hidden).
Integer GtTestScrollBarLength(HWND Wnd, Integer Bar);
// Asks the window for its tool tip at a client point, as hovering does; the text shown.
WideString GtTestTooltip(HWND Wnd, Integer X, Integer Y);
// Whether the layer's application event filter for hooks is installed.
bool GtTestHookFilterInstalled();
// The desktop's theme changes under the program: every top-level window is
// told, as the window system tells them.
void GtTestDesktopThemeChanged();
// The platform's own window behind a top-level window (the X window on X11;
// 0 when it has none yet), so that checks can ask the display about it.
uint64_t GtTestNativeWindowId(HWND Wnd);
// The opacity the platform was asked to give a top-level window (0 to 1).
double GtTestWindowOpacity(HWND Wnd);
// How many times MessageBeep was called so far.
Integer GtTestBeepCount();

// A drag from another program over client point (X, Y) of Wnd carrying
// UriList (text/uri-list bytes), offering Effects (DROPEFFECT_ bits) with
// KeyState (MK_ bits); answers the effect the window takes (0 for none).
enum TGtDragStage { gdsEnter, gdsMove, gdsLeave, gdsDrop };
DWORD GtTestDragFiles(HWND Wnd, TGtDragStage Stage, Integer X, Integer Y, const std::string& UriList, DWORD Effects,
                      DWORD KeyState);
