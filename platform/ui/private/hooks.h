// Where the window layer calls the hooks of the current thread.
#pragma once

#include "platform/ui/winuser.h"

namespace gtui {

// True when any hook of that kind is installed on this thread.
bool HookInstalled(Integer IdHook);
// Walks the chain of that kind, newest first; 0 without hooks.
LRESULT CallHooks(Integer IdHook, Integer Code, WPARAM WParam, LPARAM LParam);
// Suppresses the application filter's report of changes the layer itself
// started (and reported) while the guard lives.
struct TLayerChange {
  TLayerChange();
  ~TLayerChange();
};
// Whether the application event filter for changes that start in Qt exists.
bool HookFilterInstalled();

}  // namespace gtui
