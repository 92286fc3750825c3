// Objects shared between the program's processes of one user: named
// mutexes (a locked file each) and window handles that other processes can
// post to. Everything lives in one folder only the user can enter:
// $XDG_RUNTIME_DIR/gimro-tal (else a folder of the user's in /tmp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ui/winuser.h"

using HANDLE = void*;
enum : DWORD { MUTEX_ALL_ACCESS = 0x1F0001, SYNCHRONIZE = 0x100000 };
enum : DWORD { ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_ALREADY_EXISTS = 183 };

// Creates (or opens) the named mutex and keeps it while the handle is open
// or the process lives; the calling thread never owns it. GetLastError
// answers ERROR_ALREADY_EXISTS when some process held it already.
HANDLE CreateMutex(const void* Attributes, BOOL InitialOwner, const WideString& Name);
// Opens the named mutex when some live process holds it; null otherwise
// (GetLastError ERROR_FILE_NOT_FOUND).
HANDLE OpenMutex(DWORD DesiredAccess, BOOL InheritHandle, const WideString& Name);
BOOL CloseHandle(HANDLE Object);
DWORD GetLastError();

namespace gtui {
// The bits every window handle of this process carries (its slot among the
// user's running processes and the slot's generation), taken on first use.
uintptr_t ProcessHandleBase();
// Whether the handle is of this process's range.
bool IsOwnHandle(uintptr_t Handle);
// Posts to a window of another of the program's processes: TRUE only when
// a peer that names itself as this program has the window and queued the
// message. Only messages from WM_USER up to 0x7FFF cross.
BOOL PostToOtherProcess(uintptr_t Handle, UINT Msg, WPARAM WParam, LPARAM LParam);
// The receiving side: a request from another process (handle, message,
// wParam, lParam as 32, 32, 64 and 64 bits) is queued when it names a live
// window of this process and a message that may cross; true then.
bool AnswerPostRequest(const void* Data, size_t Size);
}  // namespace gtui
