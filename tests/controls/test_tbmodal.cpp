// Clicks queued by a menu that run once the menu's messages are done, and
// the other actions a menu leaves behind when it ends.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "controls/tbmodal.h"
#include "platform/ui/forms.h"

namespace test_tbmodal_tests {

namespace {

struct TTree {
  TComponent Owner{nullptr};
  std::vector<std::string> Log;
  TTBItem* Make(const std::string& Name) {
    auto* I = new TTBItem(&Owner);
    I->OnClick = [this, Name](TObject*) { Log.push_back(Name); };
    return I;
  }
};

}  // namespace

TEST(TbQueuedClicks, RunAfterTheMessagesAndNeverReachAFreedItem) {
  TTree T;
  TTBItem* A = T.Make("A");
  TTBItem* B = T.Make("B");
  TTBItem* C = T.Make("C");
  QueueItemClick(A);
  QueueItemClick(B);
  QueueItemClick(A);
  EXPECT_TRUE(T.Log.empty());  // nothing runs inside the caller
  EXPECT_EQ(TBQueuedClickSlotCount(), 3);
  delete B;  // its slot stays taken until its message arrives
  QueueItemClick(C);
  EXPECT_EQ(TBQueuedClickSlotCount(), 4);
  Application->ProcessMessages();
  EXPECT_EQ(T.Log, (std::vector<std::string>{"A", "A", "C"}));
  EXPECT_EQ(TBQueuedClickSlotCount(), 0);  // free slots at the end are dropped

  // Freed slots are taken again before the list grows.
  T.Log.clear();
  QueueItemClick(C);
  EXPECT_EQ(TBQueuedClickSlotCount(), 1);
  CancelQueuedClicks(C);
  QueueItemClick(A);
  EXPECT_EQ(TBQueuedClickSlotCount(), 2);
  Application->ProcessMessages();
  EXPECT_EQ(T.Log, (std::vector<std::string>{"A"}));
}

TEST(TbQueuedClicks, AFailingClickLeavesTheQueueWorking) {
  TTree T;
  TTBItem* Bad = T.Make("Bad");
  Bad->OnClick = [](TObject*) { throw std::runtime_error("boom"); };
  TTBItem* Good = T.Make("Good");
  std::vector<WideString> Reported;
  Application->OnException = [&](TObject*, Exception& E) { Reported.push_back(E.Message()); };
  QueueItemClick(Bad);
  QueueItemClick(Good);
  Application->ProcessMessages();
  Application->OnException = nullptr;
  EXPECT_EQ(T.Log, (std::vector<std::string>{"Good"}));
  EXPECT_EQ(Reported, (std::vector<WideString>{u"boom"}));
}

TEST(TbQueuedClicks, TheThreadsLastItemReleasesTheWindow) {
  ASSERT_EQ(TBLiveItemCount(), 0) << "an earlier test left items alive";
  {
    TTree T;
    TTBItem* A = T.Make("A");
    T.Make("B");
    QueueItemClick(A);
    EXPECT_NE(TBQueuedClickWindow(), nullptr);
  }
  EXPECT_EQ(TBQueuedClickWindow(), nullptr);
  EXPECT_EQ(TBQueuedClickSlotCount(), 0);
  Application->ProcessMessages();  // the pending message went with its window
}

TEST(TbDoneAction, ClickQueuesOrReturnsAndSystemMenuSendsTheKey) {
  TTree T;
  TTBItem* A = T.Make("A");
  TTBDoneActionData D;
  D.DoneAction = daClick;
  D.ClickItem = A;
  EXPECT_EQ(PerformDoneAction(D, true), A);
  Application->ProcessMessages();
  EXPECT_TRUE(T.Log.empty());  // returned only, not clicked
  EXPECT_EQ(PerformDoneAction(D, false), A);
  EXPECT_TRUE(T.Log.empty());
  Application->ProcessMessages();
  EXPECT_EQ(T.Log, (std::vector<std::string>{"A"}));

  std::vector<TMessage> Got;
  HWND Wnd = AllocateHWnd([&](TMessage& M) {
    if (M.Msg == WM_SYSCOMMAND) Got.push_back(M);
  });
  D = TTBDoneActionData();
  D.DoneAction = daSysKeyMenu;
  D.Wnd = Wnd;
  D.Key = u' ';
  EXPECT_EQ(PerformDoneAction(D, false), nullptr);
  ASSERT_EQ(Got.size(), 1u);
  EXPECT_EQ(Got[0].WParam, static_cast<WPARAM>(SC_KEYMENU));
  EXPECT_EQ(Got[0].LParam, static_cast<LPARAM>(u' '));
  for (TTBDoneActionKind K : {daNone, daCancel}) {
    D.DoneAction = K;
    EXPECT_EQ(PerformDoneAction(D, false), nullptr);
  }
  EXPECT_EQ(Got.size(), 1u);
  DeallocateHWnd(Wnd);
}

}  // namespace test_tbmodal_tests
