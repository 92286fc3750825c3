// Thin wrappers over the platform's window, scroll-bar, clipboard, mouse and
// version services that the views, the processing unit and the dialogs share.
// The private clipboard formats are registered once at library start-up.
#pragma once

#include <functional>
#include <memory>

#include "platform/base/lists.h"
#include "platform/base/types.h"
#include "platform/ui/messages.h"

// ---------------------------------------------------------------- windows

// When set, IECenterWindow calls it instead of placing the window itself.
// Cleared at library start-up and shut-down.
extern std::function<void(HWND)> IECenterWindowHook;

// Moves Window (no size, z-order or activation change) so that it is centred
// horizontally on the work area of the primary screen and sits at one third of
// its free vertical space: x = left + (width - window width) div 2,
// y = top + (height - window height) div 3.
void IECenterWindow(HWND Window);

// ---------------------------------------------------------------- system

// Maps the parts of an operating-system version to the version byte: platform
// 1 (4.0, 4.10, 4.90) gives 1, 2, 3; platform 2 (4.0, 5.0, 5.1, 5.2, 6.0, 6.1)
// gives 4..9; anything else 0.
Byte IEWinVersionFromParts(Cardinal PlatformId, Cardinal Major, Cardinal Minor);
// The version byte stored at library start-up. This system runs on none of
// the versions the byte names, so it is 0 ("other"): callers that compare it
// take their general path.
Byte IEGetWinVersion();

// True in a remote desktop session (as the platform's metrics report it).
bool IEIsRemoteSession();

// True while the primary mouse button is down: the left one, or the right one
// when the buttons are swapped.
bool IEIsPrimaryButtonDown();

// ---------------------------------------------------------------- scroll bars

// Flat selects the flat scroll-bar functions, else the plain ones.
void IEApplyScrollInfo(HWND Window, Integer Bar, const SCROLLINFO& Info, bool Flat, bool Redraw);
// Range, page and position.
void IESetScrollInfo(HWND Window, Integer Bar, Integer Min, Integer Max, Integer Page, Integer Pos, bool Redraw,
                     bool Flat);
// The range only.
void IESetScrollRange(HWND Window, Integer Bar, Integer Min, Integer Max, bool Redraw, bool Flat);
// The position only.
void IESetScrollPos(HWND Window, Integer Bar, Integer Pos, bool Redraw, bool Flat);
void IEEnableScrollBar(HWND Window, Integer Bar, UINT Arrows, bool Flat);
void IEShowScrollBar(HWND Window, Integer Bar, bool Show, bool Flat);

// ---------------------------------------------------------------- clipboard

// The private formats, registered at library start-up (0 before).
extern UINT IERawClipboardFormat;       // "ZIDUZUV RAW FORMAT"
extern UINT IEVectClipboardFormat;      // "ZIDUZUV VECT"
extern UINT IETextMemoClipboardFormat;  // "ZIDUZUV TEXTMEMO"

// Opens the clipboard, trying up to 10 times with a 20 ms pause after each
// failure; false when every try fails.
bool IEOpenClipboard();
// With the clipboard open: every format now on it that has a registered name
// (up to 512 characters), the name with the format id as its object
// (reinterpret_cast<uintptr_t>(Objects(i))).
std::unique_ptr<TStringList> IEListClipboardFormats();
// With the clipboard open: the id of the format of that name (case ignored)
// among those on the clipboard, 0 when absent.
UINT IEGetClipboardFormatByName(const WideString& Name);
