// Shared window hooks of the toolbar library: objects register a procedure for
// activation, window-position, destruction and message-queue events, and the
// module keeps at most one platform hook of each kind per thread, installed
// only while some registration needs it.
#pragma once

#include <cstdint>

#include "platform/ui/winuser.h"

class TObject;

enum THookProcCode : uint8_t {
  hookActivate = 0,          // WM_ACTIVATE seen by the call-window-procedure hook
  hookActivateApp = 1,       // WM_ACTIVATEAPP
  hookWindowPosChanged = 2,  // WM_WINDOWPOSCHANGED
  hookDestroyWindow = 3,     // HCBT_DESTROYWND of the CBT hook
  hookGetMessage = 4,        // HC_ACTION of the get-message hook
};
// A set of hook codes, one bit per code.
using THookProcCodes = uint8_t;
constexpr THookProcCodes HookCodeBit(THookProcCode Code) { return static_cast<THookProcCodes>(1u << Code); }

enum THookKind : uint8_t { kindCallWndProc = 0, kindCBT = 1, kindGetMessage = 2 };
using THookKinds = uint8_t;

// Called with (code, window, wParam, lParam): activation codes pass the
// CWPSTRUCT's window, wParam and lParam; hookDestroyWindow the window being
// destroyed and 0, 0; hookGetMessage no window, the remove flag and the MSG.
using THookProc = void (*)(THookProcCode Code, HWND Wnd, WPARAM WParam, LPARAM LParam);

// Registers Procedure for Owner (compared by identity). The codes of a
// procedure are those of its first registration; registering the same owner
// and procedure again changes nothing.
void RegisterHookProc(TObject* Owner, THookProc Procedure, THookProcCodes Codes);
// Removes Owner's registration of Procedure; an unknown pair changes nothing.
// Safe while the procedures are being called, also from inside one of them.
void UnregisterHookProc(TObject* Owner, THookProc Procedure);

// Which kinds a set of codes needs.
THookKinds KindsForCodes(THookProcCodes Codes);
// Removes this thread's hooks whatever the counts say (module shutdown).
void ReleaseAllHookKinds();
