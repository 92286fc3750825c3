// What a menu leaves behind when it ends: the done action of its root view,
// carried out after every popup has gone, and the per-thread queue through
// which a chosen item's click runs once the menu's messages are done.
#pragma once

#include "controls/tbview.h"

// The message the queued-click window receives: wParam the caller's
// parameter, lParam the slot of the queued object.
constexpr UINT TBQueuedClickMessage = 0x500;

// Queues a click of Obj (an item, or a viewer whose accessible action runs
// with Param not 0) for when the thread's messages reach it.
void QueueClick(TObject* Obj, WPARAM Param);
void QueueItemClick(TTBCustomItem* Item);
// Pending clicks of Obj do nothing when they arrive; their slots stay taken
// until then, so a pending message never reaches a later object.
void CancelQueuedClicks(TObject* Obj);
// The accessible action of a viewer, run when its queued entry arrives (set
// by the accessibility objects).
void TBSetQueuedViewerActionHandler(void (*Handler)(TTBItemViewer* Viewer, bool Alternate));

// The thread's queued-click window (nullptr until a click was queued, and
// again once the thread's last item or viewer has gone), and its slot count.
HWND TBQueuedClickWindow();
Integer TBQueuedClickSlotCount();

// Carries out a root view's done action; answers the clicked item or
// nullptr. The click is queued unless ReturnClickedItemOnly.
TTBCustomItem* PerformDoneAction(const TTBDoneActionData& Action, bool ReturnClickedItemOnly);

// Where the menu loop last handled the mouse, on the screen; X of
// TBUnsetPosition means not known, and the loop reads it again.
constexpr Integer TBUnsetPosition = static_cast<Integer>(0x80000000u);
TPoint& TBRememberedMousePos();
