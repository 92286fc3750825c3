// Shared helper of the popup menu tests: finding the popup window a running
// menu shows for an item's children.
#pragma once

#include "controls/tbpopup.h"
#include "platform/ui/winuser.h"

namespace tbpopup_test {

// The shown popup window whose view shows Parent's items, or null.
inline TTBPopupWindow* PopupOf(TTBCustomItem* Parent) {
  TTBPopupWindow* Found = nullptr;
  EnumWindows(
      [&](HWND W, LPARAM) -> BOOL {
        if (auto* P = dynamic_cast<TTBPopupWindow*>(FindControl(W)); P && IsWindowVisible(W) &&
                                                                      P->View()->ParentItem() == Parent)
          Found = P;
        return TRUE;
      },
      0);
  return Found;
}

}  // namespace tbpopup_test
