// A small persistent pool behind IEParallelRows: workers sleep on a condition
// variable between jobs, so a resample of a thumbnail does not pay for
// creating threads.
#include "imaging/core/base/ieparallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<Integer> GThreadSetting{0};
thread_local bool GInsideBody = false;

// Below this much work in total the rows stay on the calling thread.
constexpr int64_t kMinParallelWork = int64_t(1) << 17;
// Smallest share of work worth handing to another thread.
constexpr int64_t kMinChunkWork = int64_t(1) << 15;

Integer HardwareThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : Integer(std::min(n, 64u));
}

struct TJob {
  const TIERowRange* Body = nullptr;
  Integer Count = 0;
  Integer Grain = 1;
  Integer MaxHelpers = 0;
  Integer Joined = 0;  // helpers that took part (under the pool lock)
  std::atomic<Integer> Next{0};
  std::atomic<Integer> Finished{0};
  std::atomic<bool> Failed{false};
  std::mutex ErrorLock;
  std::exception_ptr Error;

  void Fail() {
    std::lock_guard<std::mutex> g(ErrorLock);
    if (!Error) Error = std::current_exception();
    Failed.store(true, std::memory_order_relaxed);
  }

  // Takes chunks until none is left or one failed, calling AfterChunk after
  // each (the calling thread reports progress there; helpers pass nothing).
  template <class TAfterChunk>
  void Work(TAfterChunk&& AfterChunk) {
    GInsideBody = true;
    for (;;) {
      if (Failed.load(std::memory_order_relaxed)) break;
      const Integer first = Next.fetch_add(Grain, std::memory_order_relaxed);
      if (first >= Count) break;
      const Integer last = std::min<Integer>(Count, first + Grain);
      try {
        (*Body)(first, last);
      } catch (...) {
        Fail();
      }
      Finished.fetch_add(last - first, std::memory_order_release);
      AfterChunk();
    }
    GInsideBody = false;
  }
  void Work() {
    Work([] {});
  }
};

class TPool {
 public:
  static TPool& Get() {
    static TPool pool;
    return pool;
  }

  // Serialises whole jobs: a second caller finds the pool busy and runs alone.
  std::mutex Busy;

  // Makes sure Helpers threads exist, then shares Job with up to
  // Job.MaxHelpers of them; the caller works too and waits for the helpers.
  void Run(TJob& Job, const TIERowsDone& Done) {
    {
      std::unique_lock<std::mutex> l(FLock);
      while (Integer(FThreads.size()) < Job.MaxHelpers) FThreads.emplace_back([this] { Loop(); });
      FJob = &Job;
      ++FGeneration;
    }
    FWake.notify_all();

    Integer reported = 0;
    Job.Work([&] {
      if (!Done || Job.Failed.load(std::memory_order_relaxed)) return;
      const Integer now = Job.Finished.load(std::memory_order_acquire);
      if (now <= reported || now >= Job.Count) return;
      reported = now;
      // A progress handler may raise (to cancel): that ends the job like a
      // failing chunk, after the helpers have left it.
      try {
        Done(now);
      } catch (...) {
        Job.Fail();
      }
    });

    std::unique_lock<std::mutex> l(FLock);
    FJob = nullptr;  // latecomers find nothing to join
    FIdle.wait(l, [this] { return FRunning == 0; });
  }

  ~TPool() {
    {
      std::lock_guard<std::mutex> l(FLock);
      FStop = true;
    }
    FWake.notify_all();
    for (auto& t : FThreads) t.join();
  }

 private:
  TPool() = default;

  void Loop() {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> l(FLock);
    for (;;) {
      FWake.wait(l, [&] { return FStop || (FJob && FGeneration != seen); });
      if (FStop) return;
      seen = FGeneration;
      TJob* job = FJob;
      if (job->Joined >= job->MaxHelpers) continue;
      ++job->Joined;
      ++FRunning;
      l.unlock();
      job->Work();
      l.lock();
      if (--FRunning == 0) FIdle.notify_all();
    }
  }

  std::mutex FLock;
  std::condition_variable FWake, FIdle;
  std::vector<std::thread> FThreads;
  TJob* FJob = nullptr;
  uint64_t FGeneration = 0;
  Integer FRunning = 0;
  bool FStop = false;
};

void RunSerial(Integer Count, const TIERowRange& Body, const TIERowsDone& Done) {
  if (!Done) {
    Body(0, Count);
    return;
  }
  for (Integer y = 0; y < Count; ++y) {
    Body(y, y + 1);
    Done(y + 1);
  }
}

}  // namespace

void IESetParallelThreads(Integer Count) { GThreadSetting.store(std::max<Integer>(0, Count)); }

Integer IEParallelThreads() { return GThreadSetting.load(); }

Integer IEParallelThreadCount() {
  const Integer setting = GThreadSetting.load();
  const Integer hw = HardwareThreads();
  return setting == 0 ? hw : std::min(setting, hw);
}

void IEParallelRows(Integer Count, int64_t RowCost, const TIERowRange& Body, const TIERowsDone& Done, bool Parallel) {
  if (Count <= 0) return;
  const Integer threads = IEParallelThreadCount();
  const int64_t cost = std::max<int64_t>(1, RowCost);
  if (!Parallel || threads <= 1 || Count < 2 || GInsideBody || cost * Count < kMinParallelWork) {
    RunSerial(Count, Body, Done);
    return;
  }
  TPool& pool = TPool::Get();
  std::unique_lock<std::mutex> busy(pool.Busy, std::try_to_lock);
  if (!busy.owns_lock()) {
    RunSerial(Count, Body, Done);
    return;
  }
  // About eight chunks per thread balance uneven rows; no chunk is smaller
  // than kMinChunkWork.
  const int64_t minRows = (kMinChunkWork + cost - 1) / cost;
  const int64_t grain = std::max<int64_t>(minRows, Count / (int64_t(threads) * 8));
  const int64_t chunks = (Count + grain - 1) / grain;
  TJob job;
  job.Body = &Body;
  job.Count = Count;
  job.Grain = Integer(std::min<int64_t>(grain, Count));
  job.MaxHelpers = Integer(std::min<int64_t>(threads - 1, chunks - 1));
  if (job.MaxHelpers <= 0) {
    busy.unlock();
    RunSerial(Count, Body, Done);
    return;
  }
  pool.Run(job, Done);
  if (job.Error) std::rethrow_exception(job.Error);
  if (Done) Done(Count);
}
