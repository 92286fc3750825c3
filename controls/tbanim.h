// Popup animation: a menu window fades in through its constant opacity, or
// slides in as a growing window region uncovers a snapshot of it moving in
// from one side. One animation at a time per thread; the popup window starts
// and cancels it, the menu loop steps it while it waits for input.
#pragma once

#include <functional>

#include "platform/ui/winuser.h"

// Slide directions, as bits: leftwards means the picture enters from the
// right edge, rightwards from the left, downwards from the top, upwards from
// the bottom. With both bits of one axis set, rightwards and downwards win.
enum : Byte { tbadLeftwards = 1, tbadRightwards = 2, tbadDownwards = 4, tbadUpwards = 8 };

// Sent (with zero parameters) to a window whose animation has ended.
constexpr UINT TBAnimationEndedMessage = 0x956;

// Ends any running animation, then snapshots Wnd through WM_PRINT and shows
// it animated: a fade when Fade is set and the platform has layered windows,
// else a slide in Direction. Raises EOSError when a device context, the
// snapshot or the layered update cannot be made; nothing is left running then.
void StartPopupAnimation(HWND Wnd, bool Fade, Byte Direction);
// Advances the running animation; cheap when nothing runs or when called
// again less than 10 ms after the last step that did work.
void StepPopupAnimation();
// Stops the running animation and shows the window in full.
void EndPopupAnimation();
// Ends the running animation when Wnd is null or the animated window.
void EndPopupAnimationFor(HWND Wnd);
bool PopupAnimationRunning();
// The window being animated, or null.
HWND PopupAnimationWindow();

// The offset of the snapshot (and of the window region) at Value (0..255)
// for a window of Width x Height sliding in Directions.
TPoint TBSlideOffset(Integer Width, Integer Height, Integer Value, Byte Directions);

// The clock and the cursor the animation reads (null: GetTickCount and
// GetCursorPos), and the layered-window update it fades with (null: the
// platform has no layered windows and a fade slides instead). Tests replace
// them; each answers the previous one.
using TTBAnimationClock = std::function<Cardinal()>;
using TTBAnimationCursor = std::function<TPoint()>;
using TTBUpdateLayeredWindowProc = BOOL (*)(HWND, HDC, const TPoint*, const TSize*, HDC, const TPoint*, COLORREF,
                                            const BLENDFUNCTION*, DWORD);
TTBAnimationClock TBSetAnimationClock(TTBAnimationClock Clock);
TTBAnimationCursor TBSetAnimationCursor(TTBAnimationCursor Cursor);
TTBUpdateLayeredWindowProc TBSetUpdateLayeredWindowEntry(TTBUpdateLayeredWindowProc Entry);
