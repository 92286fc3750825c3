#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/threads.h"
#include "tests/support/wait.h"

namespace test_threads_tests {

namespace {

// A thread that runs a lambda.
class TLambdaThread : public TThread {
 public:
  TLambdaThread(std::function<void(TLambdaThread*)> Body, bool CreateSuspended = false)
      : TThread(true), FBody(std::move(Body)) {
    if (!CreateSuspended) Start();
  }
  ~TLambdaThread() override {
    // Stop here, while the body still exists.
    if (!Suspended() && !Finished()) {
      Terminate();
      WaitFor();
    }
  }
  using TThread::SetReturnValue;
  using TThread::Terminated;

 protected:
  void Execute() override { FBody(this); }

 private:
  std::function<void(TLambdaThread*)> FBody;
};

// Runs queued calls until Done says so or the generous deadline passes.
bool PumpUntil(const std::function<bool()>& Done) {
  uint64_t end = GetTickCount64() + gt_test::kWaitMs;
  while (!Done()) {
    if (GetTickCount64() > end) return false;
    CheckSynchronize(10);
  }
  return true;
}

}  // namespace

TEST(Threads, QueueRunsOnTheThreadThatDrainsTheQueue) {
  ASSERT_TRUE(IsMainThread());
  while (CheckSynchronize()) {}
  std::atomic<int> ran{0};
  std::thread::id ranOn;
  TLambdaThread t([&](TLambdaThread* self) {
    for (int i = 0; i < 3; ++i)
      self->Queue([&] {
        ranOn = std::this_thread::get_id();
        ++ran;
      });
  });
  // The worker does not wait for its queued calls.
  uint64_t end = GetTickCount64() + gt_test::kWaitMs;
  while (!t.Finished() && GetTickCount64() < end) Sleep(1);
  ASSERT_TRUE(t.Finished());
  EXPECT_EQ(ran, 0);
  EXPECT_TRUE(CheckSynchronize());
  EXPECT_EQ(ran, 3);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_FALSE(CheckSynchronize());
  // On the main thread itself the call runs at once.
  TThread::Queue(nullptr, [&] { ++ran; });
  EXPECT_EQ(ran, 4);
}

TEST(Threads, SynchronizeBlocksTheWorkerUntilTheMainThreadRunsIt) {
  std::atomic<bool> before{false}, after{false};
  std::thread::id ranOn;
  std::string error;
  TLambdaThread t([&](TLambdaThread* self) {
    before = true;
    self->Synchronize([&] { ranOn = std::this_thread::get_id(); });
    after = true;
    try {
      self->Synchronize([] { throw EAbort("stop there"); });
    } catch (const EAbort& e) {
      error = e.what();  // the main thread's exception comes back to the worker
    }
    self->SetReturnValue(7);
  });
  // Wait without running queued calls: the worker reaches Synchronize and stops.
  uint64_t end = GetTickCount64() + gt_test::kWaitMs;
  while (!before && GetTickCount64() < end) Sleep(1);
  ASSERT_TRUE(before);
  Sleep(50);
  EXPECT_FALSE(after);  // still waiting for the main thread
  EXPECT_TRUE(PumpUntil([&] { return after.load(); }));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(t.WaitFor(), 7);  // runs the second call while waiting
  EXPECT_EQ(error, "stop there");
}

TEST(Threads, LifecycleOfAThread) {
  // Created suspended: nothing runs before Start.
  std::atomic<int> runs{0};
  TLambdaThread t([&](TLambdaThread* self) {
    ++runs;
    while (!self->Terminated()) Sleep(1);
    self->SetReturnValue(3);
  }, true);
  Sleep(20);
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(t.Suspended());
  EXPECT_THROW(t.WaitFor(), EThread);
  std::thread::id terminatedOn;
  t.OnTerminate = [&](TObject* sender) {
    EXPECT_EQ(sender, &t);
    terminatedOn = std::this_thread::get_id();
  };
  t.Start();
  EXPECT_THROW(t.Start(), EThread);
  uint64_t end = GetTickCount64() + gt_test::kWaitMs;  // a thread terminated before it runs skips Execute
  while (runs == 0 && GetTickCount64() < end) Sleep(1);
  t.Terminate();
  EXPECT_EQ(t.WaitFor(), 3);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(t.Finished());
  EXPECT_NE(t.ThreadID(), 0u);
  EXPECT_EQ(terminatedOn, std::this_thread::get_id());  // OnTerminate runs on the main thread

  // An exception that leaves Execute is kept, not lost and not fatal.
  TLambdaThread failing([](TLambdaThread*) { throw EInOutError("disk gone"); });
  failing.WaitFor();
  ASSERT_TRUE(failing.FatalException());
  EXPECT_THROW(std::rethrow_exception(failing.FatalException()), EInOutError);

  // A thread cannot wait for itself.
  std::atomic<bool> refused{false};
  TLambdaThread self([&](TLambdaThread* me) {
    try {
      me->WaitFor();
    } catch (const EThread&) {
      refused = true;
    }
  });
  self.WaitFor();
  EXPECT_TRUE(refused);
}

TEST(Threads, FreeOnTerminateFreesTheObject) {
  static std::atomic<int> freed;
  freed = 0;
  class TSelfFreeing : public TThread {
   public:
    TSelfFreeing() : TThread(true) { SetFreeOnTerminate(true); }
    ~TSelfFreeing() override { ++freed; }

   protected:
    void Execute() override { Synchronize([] {}); }
  };
  auto* t = new TSelfFreeing;
  EXPECT_THROW(t->WaitFor(), EThread);  // the object may be gone by then
  t->Start();
  EXPECT_TRUE(PumpUntil([] { return freed.load() == 1; }));
}

TEST(Threads, QueuedCallsOfAThreadCanBeWithdrawn) {
  int ran = 0;
  TLambdaThread t([&](TLambdaThread* self) { self->Queue([&] { ++ran; }); });
  uint64_t end = GetTickCount64() + gt_test::kWaitMs;  // not WaitFor, which would run the call
  while (!t.Finished() && GetTickCount64() < end) Sleep(1);
  ASSERT_TRUE(t.Finished());
  TThread::RemoveQueuedEvents(&t);
  CheckSynchronize();
  EXPECT_EQ(ran, 0);
  // CheckSynchronize belongs to the main thread.
  std::atomic<bool> refused{false};
  TLambdaThread other([&](TLambdaThread*) {
    try {
      CheckSynchronize();
    } catch (const EThread&) {
      refused = true;
    }
  });
  other.WaitFor();
  EXPECT_TRUE(refused);
}

TEST(Threads, EventsResetManuallyOrAutomatically) {
  struct Case { bool manual; TWaitResult second; };
  for (const Case c : {Case{true, wrSignaled}, Case{false, wrTimeout}}) {
    TEvent e(c.manual, false);
    EXPECT_EQ(e.WaitFor(0), wrTimeout);
    e.SetEvent();
    EXPECT_EQ(e.WaitFor(0), wrSignaled);
    EXPECT_EQ(e.WaitFor(0), c.second);
    e.SetEvent();
    e.ResetEvent();
    EXPECT_EQ(e.WaitFor(0), wrTimeout);
  }
  TEvent initially(true, true);
  EXPECT_EQ(initially.WaitFor(0), wrSignaled);

  uint64_t start = GetTickCount64();
  TEvent never(false, false);
  EXPECT_EQ(never.WaitFor(60), wrTimeout);
  EXPECT_GE(GetTickCount64() - start, 55u);

  // One SetEvent of an auto-reset event releases one of two waiters.
  TEvent work(false, false);
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (work.WaitFor(400) == wrSignaled) ++woken;
    });
  Sleep(50);
  work.SetEvent();
  for (auto& w : waiters) w.join();
  EXPECT_EQ(woken, 1);
}

TEST(Threads, CriticalSectionIsRecursiveAndExcludesOthers) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();
  auto tryFromOther = [&] {
    bool got = false;
    std::thread([&] {
      got = cs.TryEnter();
      if (got) cs.Leave();
    }).join();
    return got;
  };
  EXPECT_FALSE(tryFromOther());
  cs.Leave();
  EXPECT_FALSE(tryFromOther());
  cs.Leave();
  EXPECT_TRUE(tryFromOther());

  TThreadList list;
  int a = 0, b = 0;
  list.Add(&a);
  list.Add(&a);  // ignored
  list.Add(&b);
  EXPECT_EQ(list.LockList()->Count(), 2);
  list.UnlockList();
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add(&b), EListError);
}

TEST(Threads, InterlockedCounters) {
  Integer counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        InterlockedIncrement(counter);
        if (i % 2) InterlockedDecrement(counter);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 8 * 10000);

  Integer v = 5;
  EXPECT_EQ(InterlockedExchange(v, 9), 5);
  EXPECT_EQ(InterlockedExchangeAdd(v, 3), 9);
  EXPECT_EQ(v, 12);
  EXPECT_EQ(InterlockedCompareExchange(v, 1, 11), 12);  // no match: unchanged
  EXPECT_EQ(v, 12);
  EXPECT_EQ(InterlockedCompareExchange(v, 1, 12), 12);
  EXPECT_EQ(v, 1);
  Integer top = INT32_MAX;
  EXPECT_EQ(InterlockedIncrement(top), INT32_MIN);  // wraps, as the counter does

  uint32_t t0 = GetTickCount();
  Sleep(20);
  EXPECT_GE(GetTickCount() - t0, 15u);
}

}  // namespace test_threads_tests
