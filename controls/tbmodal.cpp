// Done actions and the per-thread queue of clicks that run after a menu has gone.
#include "controls/tbmodal.h"

#include <vector>

#include "controls/tbcommon.h"
#include "platform/ui/forms.h"

namespace {

// Marks a slot whose object went away before its message arrived.
TObject* const Cancelled = reinterpret_cast<TObject*>(static_cast<uintptr_t>(1));

struct TClickQueue {
  HWND Wnd = nullptr;
  std::vector<TObject*> Slots;
};
thread_local TClickQueue Queue;

void (*ViewerActionHandler)(TTBItemViewer*, bool) = nullptr;

void RunSlot(TMessage& Message) {
  const auto Index = static_cast<size_t>(Message.LParam);
  if (Message.LParam < 0 || Index >= Queue.Slots.size()) return;
  TObject* Obj = Queue.Slots[Index];
  Queue.Slots[Index] = nullptr;
  while (!Queue.Slots.empty() && !Queue.Slots.back()) Queue.Slots.pop_back();
  if (!Obj || Obj == Cancelled) return;
  try {
    if (auto* Item = dynamic_cast<TTBCustomItem*>(Obj))
      Item->Click();
    else if (auto* Viewer = dynamic_cast<TTBItemViewer*>(Obj); Viewer && ViewerActionHandler)
      ViewerActionHandler(Viewer, Message.WParam != 0);
  } catch (...) {
    Application->HandleException(nullptr, std::current_exception());
  }
}

void QueueWndProc(TMessage& Message) {
  if (Message.Msg == TBQueuedClickMessage)
    RunSlot(Message);
  else
    Message.Result = DefWindowProc(Queue.Wnd, Message.Msg, Message.WParam, Message.LParam);
}

// The thread's last item or viewer has gone: nothing can be queued any more.
void ReleaseQueue() {
  if (Queue.Wnd) DeallocateHWnd(Queue.Wnd);
  Queue.Wnd = nullptr;
  Queue.Slots.clear();
  Queue.Slots.shrink_to_fit();
}

void CancelItem(TTBCustomItem* Item) { CancelQueuedClicks(Item); }
void CancelViewer(TTBItemViewer* Viewer) { CancelQueuedClicks(Viewer); }

}  // namespace

void QueueClick(TObject* Obj, WPARAM Param) {
  if (!Queue.Wnd) {
    TBSetLastLiveObjectHandler(ReleaseQueue);
    TBSetCancelQueuedClicksHandler(CancelItem);
    TBSetCancelQueuedViewerActionsHandler(CancelViewer);
    Queue.Wnd = AllocateHWnd(QueueWndProc);
  }
  size_t Index = 0;
  while (Index < Queue.Slots.size() && Queue.Slots[Index]) ++Index;
  if (Index == Queue.Slots.size())
    Queue.Slots.push_back(Obj);
  else
    Queue.Slots[Index] = Obj;
  PostMessage(Queue.Wnd, TBQueuedClickMessage, Param, static_cast<LPARAM>(Index));
}

void QueueItemClick(TTBCustomItem* Item) { QueueClick(Item, 0); }

void CancelQueuedClicks(TObject* Obj) {
  for (TObject*& S : Queue.Slots)
    if (S == Obj) S = Cancelled;
}

void TBSetQueuedViewerActionHandler(void (*Handler)(TTBItemViewer*, bool)) { ViewerActionHandler = Handler; }

HWND TBQueuedClickWindow() { return Queue.Wnd; }
Integer TBQueuedClickSlotCount() { return static_cast<Integer>(Queue.Slots.size()); }

TTBCustomItem* PerformDoneAction(const TTBDoneActionData& Action, bool ReturnClickedItemOnly) {
  switch (Action.DoneAction) {
    case daClick:
      if (Action.Sound && SoundEventConfigured(u"MenuCommand")) PlaySoundEvent(u"MenuCommand");
      if (!ReturnClickedItemOnly) QueueItemClick(Action.ClickItem);
      return Action.ClickItem;
    case daSysKeyMenu:
      SendMessage(Action.Wnd, WM_SYSCOMMAND, SC_KEYMENU, Action.Key);
      return nullptr;
    case daHelp: {
      constexpr Integer HelpContextPopup = 8;
      TCustomForm* Active = Screen->ActiveCustomForm();
      if (Active && Active->BorderIcons().Contains(biHelp))
        Application->HelpCommand(HelpContextPopup, Action.ContextID);
      else
        Application->HelpContext(Action.ContextID);
      return nullptr;
    }
    default: return nullptr;
  }
}
