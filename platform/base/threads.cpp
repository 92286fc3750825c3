#include "platform/base/threads.h"

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <system_error>
#include <thread>

// ---------------------------------------------------------------------------
// The main thread and its queue of calls

namespace {

std::atomic<std::thread::id> gMainThread{std::this_thread::get_id()};

thread_local TThread* tCurrentThread = nullptr;

struct TSyncRequest {
  TThreadMethod Method;
  TThread* Thread = nullptr;
  bool Synchronous = false;
  bool Done = false;
  std::exception_ptr Error;
};

struct TSyncQueue {
  std::mutex Lock;
  std::condition_variable Arrived;   // a call was queued or a thread ended
  std::condition_variable Finished;  // a synchronous call was run
  std::deque<std::shared_ptr<TSyncRequest>> Items;
  uint64_t Generation = 0;
  std::function<void()> Wake;
};

// Never destroyed: detached threads may still queue while the program exits.
TSyncQueue& SyncQueue() {
  static TSyncQueue* q = new TSyncQueue;
  return *q;
}

void Enqueue(const std::shared_ptr<TSyncRequest>& Request) {
  TSyncQueue& q = SyncQueue();
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lk(q.Lock);
    q.Items.push_back(Request);
    ++q.Generation;
    wake = q.Wake;
  }
  q.Arrived.notify_all();
  if (wake) wake();
}

// Wakes a main thread that waits in CheckSynchronize for a thread's end.
void SignalThreadEnded() {
  TSyncQueue& q = SyncQueue();
  {
    std::lock_guard<std::mutex> lk(q.Lock);
    ++q.Generation;
  }
  q.Arrived.notify_all();
}

}  // namespace

void SetMainThread() { gMainThread = std::this_thread::get_id(); }
bool IsMainThread() { return gMainThread.load() == std::this_thread::get_id(); }

void SetWakeMainThread(std::function<void()> Wake) {
  TSyncQueue& q = SyncQueue();
  std::lock_guard<std::mutex> lk(q.Lock);
  q.Wake = std::move(Wake);
}

bool CheckSynchronize(int Timeout) {
  if (!IsMainThread()) throw EThread("CheckSynchronize called from a thread that is not the main thread");
  TSyncQueue& q = SyncQueue();
  std::unique_lock<std::mutex> lk(q.Lock);
  if (q.Items.empty() && Timeout > 0) {
    uint64_t gen = q.Generation;
    q.Arrived.wait_for(lk, std::chrono::milliseconds(Timeout),
                       [&] { return !q.Items.empty() || q.Generation != gen; });
  }
  // Only the calls pending now: a call that queues another cannot keep us here.
  size_t pending = q.Items.size();
  bool ran = false;
  while (pending-- > 0 && !q.Items.empty()) {
    std::shared_ptr<TSyncRequest> r = q.Items.front();
    q.Items.pop_front();
    lk.unlock();
    ran = true;
    if (r->Synchronous) {
      try {
        r->Method();
      } catch (...) {
        r->Error = std::current_exception();
      }
      lk.lock();
      r->Done = true;
      q.Finished.notify_all();
    } else {
      r->Method();  // an exception leaves with the lock released
      lk.lock();
    }
  }
  return ran;
}

// ---------------------------------------------------------------------------
// TThread

struct TThread::TState {
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
};

TThread::TThread(bool CreateSuspended) : FState(std::make_shared<TState>()) {
  if (!CreateSuspended) Start();
}

TThread::~TThread() {
  if (FStarted && !Finished()) {
    Terminate();
    // A queued call that raises while we wait must not end the program here.
    while (true) {
      try {
        WaitUntilFinished();
        break;
      } catch (...) {
      }
    }
  }
  RemoveQueuedEvents(this);
}

void TThread::Start() {
  bool expected = false;
  if (!FStarted.compare_exchange_strong(expected, true))
    throw EThread("Cannot call Start on a running or terminated thread");
  try {
    std::thread(&TThread::Run, this, FState).detach();
  } catch (const std::system_error& e) {
    FStarted = false;
    throw EThread(std::string("Thread creation error: ") + e.what());
  }
}

void TThread::Resume() {
  if (!FStarted) Start();
}

// The thread's own procedure. It keeps the shared state alive, so that it
// can report its end even when the owner frees the object at once.
void TThread::Run(TThread* Self, std::shared_ptr<TState> State) {
  tCurrentThread = Self;
  Self->FThreadID = static_cast<uint64_t>(::syscall(SYS_gettid));
  if (!Self->FTerminated) {
    try {
      Self->Execute();
    } catch (...) {
      Self->FFatalException = std::current_exception();
    }
  }
  const bool freeThread = Self->FFreeOnTerminate;
  try {
    Self->DoTerminate();
  } catch (...) {
    if (!Self->FFatalException) Self->FFatalException = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lk(State->Lock);
    State->Finished = true;
  }
  State->Done.notify_all();
  SignalThreadEnded();
  // From here the owner may free a thread that does not free itself.
  if (freeThread) delete Self;
  tCurrentThread = nullptr;
}

void TThread::DoTerminate() {
  if (OnTerminate) Synchronize([this] { OnTerminate(this); });
}

bool TThread::Finished() const {
  std::lock_guard<std::mutex> lk(FState->Lock);
  return FState->Finished;
}

void TThread::WaitUntilFinished() {
  if (IsMainThread()) {
    // The thread may need the main thread (Synchronize, OnTerminate) to end.
    while (!Finished()) CheckSynchronize(50);
    return;
  }
  std::unique_lock<std::mutex> lk(FState->Lock);
  FState->Done.wait(lk, [&] { return FState->Finished; });
}

Integer TThread::WaitFor() {
  if (CurrentThread() == this) throw EThread("A thread cannot wait for itself");
  if (FFreeOnTerminate) throw EThread("Cannot call WaitFor on a FreeOnTerminate thread");
  if (!FStarted) throw EThread("Cannot call WaitFor on a thread that was never started");
  WaitUntilFinished();
  return FReturnValue;
}

void TThread::Synchronize(TThread* AThread, const TThreadMethod& Method) {
  if (IsMainThread()) {
    Method();
    return;
  }
  auto r = std::make_shared<TSyncRequest>();
  r->Method = Method;
  r->Thread = AThread;
  r->Synchronous = true;
  Enqueue(r);
  TSyncQueue& q = SyncQueue();
  {
    std::unique_lock<std::mutex> lk(q.Lock);
    q.Finished.wait(lk, [&] { return r->Done; });
  }
  if (r->Error) std::rethrow_exception(r->Error);
}

void TThread::Queue(TThread* AThread, const TThreadMethod& Method) {
  if (IsMainThread()) {
    Method();
    return;
  }
  auto r = std::make_shared<TSyncRequest>();
  r->Method = Method;
  r->Thread = AThread;
  Enqueue(r);
}

void TThread::RemoveQueuedEvents(TThread* AThread) {
  TSyncQueue& q = SyncQueue();
  std::lock_guard<std::mutex> lk(q.Lock);
  std::erase_if(q.Items, [&](const std::shared_ptr<TSyncRequest>& r) { return !r->Synchronous && r->Thread == AThread; });
}

TThread* TThread::CurrentThread() { return tCurrentThread; }

// ---------------------------------------------------------------------------
// TEvent

struct TEvent::TImpl {
  std::mutex Lock;
  std::condition_variable Cond;
  bool ManualReset;
  bool Signaled;
};

TEvent::TEvent(bool ManualReset, bool InitialState) : FImpl(std::make_unique<TImpl>()) {
  FImpl->ManualReset = ManualReset;
  FImpl->Signaled = InitialState;
}

TEvent::~TEvent() = default;

void TEvent::SetEvent() {
  {
    std::lock_guard<std::mutex> lk(FImpl->Lock);
    FImpl->Signaled = true;
  }
  if (FImpl->ManualReset) FImpl->Cond.notify_all();
  else FImpl->Cond.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> lk(FImpl->Lock);
  FImpl->Signaled = false;
}

TWaitResult TEvent::WaitFor(Cardinal Timeout) {
  std::unique_lock<std::mutex> lk(FImpl->Lock);
  auto signaled = [&] { return FImpl->Signaled; };
  if (Timeout == INFINITE) FImpl->Cond.wait(lk, signaled);
  else if (!FImpl->Cond.wait_for(lk, std::chrono::milliseconds(Timeout), signaled)) return wrTimeout;
  if (!FImpl->ManualReset) FImpl->Signaled = false;
  return wrSignaled;
}

// ---------------------------------------------------------------------------
// TThreadList

void TThreadList::Add(void* Item) {
  std::lock_guard<TCriticalSection> lk(FLock);
  if (FDuplicates == dupAccept || FList.IndexOf(Item) < 0) FList.Add(Item);
  else if (FDuplicates == dupError) throw EListError("Duplicates not allowed in this list");
}

void TThreadList::Remove(void* Item) {
  std::lock_guard<TCriticalSection> lk(FLock);
  FList.Remove(Item);
}

void TThreadList::Clear() {
  std::lock_guard<TCriticalSection> lk(FLock);
  FList.Clear();
}

TList* TThreadList::LockList() {
  FLock.Acquire();
  return &FList;
}

void TThreadList::UnlockList() { FLock.Release(); }

// ---------------------------------------------------------------------------
// Interlocked operations and time

// The new value is computed in unsigned arithmetic: the counter wraps like the atomic does.
Integer InterlockedIncrement(Integer& Addend) {
  return static_cast<Integer>(static_cast<Cardinal>(std::atomic_ref<Integer>(Addend).fetch_add(1)) + 1u);
}
Integer InterlockedDecrement(Integer& Addend) {
  return static_cast<Integer>(static_cast<Cardinal>(std::atomic_ref<Integer>(Addend).fetch_sub(1)) - 1u);
}
Integer InterlockedExchange(Integer& Target, Integer Value) { return std::atomic_ref<Integer>(Target).exchange(Value); }
Integer InterlockedExchangeAdd(Integer& Addend, Integer Value) {
  return std::atomic_ref<Integer>(Addend).fetch_add(Value);
}
Integer InterlockedCompareExchange(Integer& Destination, Integer Exchange, Integer Comparand) {
  std::atomic_ref<Integer>(Destination).compare_exchange_strong(Comparand, Exchange);
  return Comparand;  // the value found, whether or not it was replaced
}

uint64_t GetTickCount64() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

Cardinal GetTickCount() { return static_cast<Cardinal>(GetTickCount64()); }

void Sleep(Cardinal Milliseconds) {
  if (Milliseconds == 0) sched_yield();
  else std::this_thread::sleep_for(std::chrono::milliseconds(Milliseconds));
}
