// Threads, the queue of calls for the main thread, and synchronisation:
// critical sections, events, interlocked counters, tick counts.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/base/classes.h"
#include "platform/base/lists.h"

using TThreadMethod = std::function<void()>;

// The main thread is the one that started the program, unless SetMainThread
// names another (the UI layer calls it from the thread that runs its loop).
void SetMainThread();
bool IsMainThread();

// Runs, on the calling thread, the calls that Synchronize and Queue placed for
// the main thread, in their order, and answers whether any ran. With a
// Timeout (ms) it first waits that long for a call (or for a thread to end)
// when none is pending. Raises EThread off the main thread. An exception of a
// Synchronize call goes back to the waiting thread; one of a Queue call
// leaves CheckSynchronize, and the calls behind it stay queued.
bool CheckSynchronize(int Timeout = 0);
// Called, from whichever thread queues a call, after it was queued: the UI
// layer makes it wake its event loop, which then runs CheckSynchronize.
void SetWakeMainThread(std::function<void()> Wake);

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// A thread that runs Execute. A derived class that may be freed while its
// thread still runs stops it in its own destructor (Terminate(); WaitFor();),
// because by the time ~TThread waits, the derived part is already gone.
class TThread : public TObject {
 public:
  // Runs at once unless CreateSuspended; a suspended thread runs on Start.
  explicit TThread(bool CreateSuspended);
  // Terminates and waits for a running thread; a never started one never runs.
  ~TThread() override;

  // EThread when the thread was started already.
  void Start();
  // Starts a thread created suspended; nothing otherwise (a running thread
  // cannot be suspended on this platform).
  void Resume();
  // Asks Execute to stop; Execute looks at Terminated.
  void Terminate() { FTerminated = true; }
  // Waits until the thread has ended (on the main thread, running queued
  // calls meanwhile, so that a thread in Synchronize can finish) and returns
  // ReturnValue. EThread for a FreeOnTerminate thread, a thread that was never
  // started, or a call from the thread itself.
  Integer WaitFor();

  bool Terminated() const { return FTerminated; }
  bool Finished() const;
  bool Suspended() const { return !FStarted; }
  bool FreeOnTerminate() const { return FFreeOnTerminate; }
  // When set, the thread frees its object after OnTerminate.
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
  // Recorded for callers; threads of this platform all run at normal priority.
  TThreadPriority Priority() const { return FPriority; }
  void SetPriority(TThreadPriority Value) { FPriority = Value; }
  // The system's id of the running thread; 0 before it started.
  uint64_t ThreadID() const { return FThreadID; }
  Integer ReturnValue() const { return FReturnValue; }
  // The exception that left Execute, if any.
  std::exception_ptr FatalException() const { return FFatalException; }

  // Runs on the main thread (through DoTerminate) after Execute.
  TNotifyEvent OnTerminate;

  // Runs Method on the main thread and waits for it; on the main thread
  // itself Method runs at once. Method's exception is raised here.
  void Synchronize(const TThreadMethod& Method) { Synchronize(this, Method); }
  static void Synchronize(TThread* AThread, const TThreadMethod& Method);
  // Places Method in the main thread's queue and returns at once; on the
  // main thread itself Method runs at once.
  void Queue(const TThreadMethod& Method) { Queue(this, Method); }
  static void Queue(TThread* AThread, const TThreadMethod& Method);
  // Drops the queued (not the synchronised) calls placed for AThread.
  static void RemoveQueuedEvents(TThread* AThread);
  // The TThread whose Execute runs on the calling thread, or nullptr.
  static TThread* CurrentThread();

 protected:
  virtual void Execute() = 0;
  // Calls OnTerminate through Synchronize when it is set.
  virtual void DoTerminate();
  void SetReturnValue(Integer Value) { FReturnValue = Value; }

 private:
  struct TState;
  static void Run(TThread* Self, std::shared_ptr<TState> State);
  void WaitUntilFinished();

  std::shared_ptr<TState> FState;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<uint64_t> FThreadID{0};
  std::atomic<Integer> FReturnValue{0};
  std::exception_ptr FFatalException;
  TThreadPriority FPriority = tpNormal;
};

// A lock that the holding thread may take again.
class TCriticalSection : public TObject {
 public:
  void Acquire() { FLock.lock(); }
  void Release() { FLock.unlock(); }
  void Enter() { Acquire(); }
  void Leave() { Release(); }
  bool TryEnter() { return FLock.try_lock(); }
  // For std::lock_guard and std::unique_lock.
  void lock() { Acquire(); }
  void unlock() { Release(); }

 private:
  std::recursive_mutex FLock;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };
constexpr Cardinal INFINITE = 0xFFFFFFFF;

// An event: a manual-reset event stays signalled until ResetEvent and
// releases every waiter; an auto-reset event releases one waiter and resets.
class TEvent : public TObject {
 public:
  explicit TEvent(bool ManualReset = true, bool InitialState = false);
  ~TEvent() override;
  void SetEvent();
  void ResetEvent();
  // Timeout in milliseconds, INFINITE to wait for ever.
  TWaitResult WaitFor(Cardinal Timeout = INFINITE);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

// A pointer list behind a lock. Add ignores an item that is there already
// (dupIgnore), raises EListError for it (dupError) or adds it (dupAccept).
class TThreadList : public TObject {
 public:
  void Add(void* Item);
  void Remove(void* Item);
  void Clear();
  // Takes the lock and hands out the list; UnlockList gives it back.
  TList* LockList();
  void UnlockList();
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

 private:
  TCriticalSection FLock;
  TList FList;
  TDuplicates FDuplicates = dupIgnore;
};

// Atomic operations on plain Integer variables; Increment and Decrement
// answer the new value, the others the value before.
Integer InterlockedIncrement(Integer& Addend);
Integer InterlockedDecrement(Integer& Addend);
Integer InterlockedExchange(Integer& Target, Integer Value);
Integer InterlockedExchangeAdd(Integer& Addend, Integer Value);
// Stores Exchange when Destination equals Comparand.
Integer InterlockedCompareExchange(Integer& Destination, Integer Exchange, Integer Comparand);

// Milliseconds of a monotonic clock; the 32-bit count wraps after 49.7 days.
Cardinal GetTickCount();
uint64_t GetTickCount64();
// Sleep(0) gives up the rest of the time slice.
void Sleep(Cardinal Milliseconds);
