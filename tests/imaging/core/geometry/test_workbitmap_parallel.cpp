// The work bitmap of the resampling passes, what a failed allocation does to
// a resample, and the shared row-parallel helper.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/bitmap/ieworkbitmap.h"
#include "platform/base/sysutils.h"
#include "tests/imaging/core/geometry/resample_support.h"
#include "tests/support/wait.h"

namespace test_workbitmap_parallel_tests {

using namespace resample_test;

TEST(WorkBitmap, AllocationAndAddresses) {
  TIEWorkBitmap none(0, 5, 24);
  EXPECT_EQ(none.Bits, nullptr);
  EXPECT_EQ(none.Width, 0);

  TIEWorkBitmap w(10, 3, 24);
  ASSERT_NE(w.Bits, nullptr);
  EXPECT_EQ(w.RowLen, 32);  // 30 bytes padded to 4
  // Bottom-up: row 0 is the last in memory.
  EXPECT_EQ(w.ScanLine(2), w.Bits);
  EXPECT_EQ(w.ScanLine(0), w.Bits + 64);
  EXPECT_EQ(w.GetPixelAddress8(1, 5), w.Bits + 32 + 5);
  EXPECT_EQ(w.GetPixelAddress32(0, 2), w.Bits + 64 + 8);
  for (Integer i = 0; i < w.RowLen * w.Height; ++i) ASSERT_EQ(w.Bits[i], 0);

  Byte* before = w.Bits;
  EXPECT_TRUE(w.Allocate(10, 3, 24));
  EXPECT_EQ(w.Bits, before) << "unchanged arguments keep the buffer";
  EXPECT_TRUE(w.Allocate(10, 3, 8));
  EXPECT_EQ(w.BitCount, 8);
  EXPECT_EQ(w.RowLen, 12);
  w.FreeBits();
  EXPECT_EQ(w.Bits, nullptr);
  EXPECT_EQ(w.Width + w.Height + w.BitCount + w.RowLen, 0);
}

namespace {
bool FailAll(int64_t) { return true; }
bool FailLarge(int64_t Size) { return Size > 100000; }
}  // namespace

TEST(WorkBitmap, FailedAllocationLeavesItEmpty) {
  IEWorkBitmapTestHooks.FailAllocate = FailAll;
  TIEWorkBitmap w;
  EXPECT_FALSE(w.Allocate(100, 100, 24));
  IEWorkBitmapTestHooks = {};
  EXPECT_EQ(w.Bits, nullptr);
  EXPECT_EQ(w.Width, 0);
  EXPECT_EQ(w.Height, 0);
  EXPECT_EQ(w.RowLen, 0);
  // A row beyond 31 bits is refused, not wrapped.
  EXPECT_FALSE(w.Allocate(INT32_MAX / 2, 2, 24));
  EXPECT_EQ(w.Bits, nullptr);
}

// Without memory for the work image the resample stops with an
// out-of-memory exception instead of writing through a null row address.
TEST(WorkBitmap, ResampleWithoutMemoryForTheWorkImageAborts) {
  TIEBitmap rgb, gray;
  Make(rgb, ie24RGB, 400, 300, [](Integer x, Integer y, Integer c) { return (x + y + c) % 256; });
  Make(gray, ie8g, 400, 300, [](Integer x, Integer y, Integer) { return (x * y) % 256; });
  IEWorkBitmapTestHooks.FailAllocate = FailLarge;
  for (TResampleFilter f : {rfLanczos3, rfTriangle, rfFastLinear}) {
    TIEBitmap dst1(900, 700, ie24RGB), dst2(900, 700, ie8g);
    const TIEBitmapAccess srcAccess = rgb.Access(), dstAccess = dst1.Access();
    EXPECT_THROW(IEResample(&rgb, &dst1, f), EOutOfMemory) << int(f);
    EXPECT_THROW(IEResample(&gray, &dst2, f), EOutOfMemory) << int(f);
    EXPECT_EQ(rgb.Access(), srcAccess) << "access modes are put back";
    EXPECT_EQ(dst1.Access(), dstAccess);
  }
  IEWorkBitmapTestHooks = {};
  TIEBitmap dst(900, 700, ie24RGB);
  IEResample(&rgb, &dst, rfLanczos3);
  EXPECT_EQ(Sample(dst, 0, 0, 2), Sample(rgb, 0, 0, 2));
}

// ---------------------------------------------------------------------------

TEST(ParallelRows, EveryRowExactlyOnceWhateverTheThreadCount) {
  for (Integer threads : {1, 2, 3, 8, 0})
    for (Integer count : {1, 2, 7, 1000, 4099}) {
      ThreadScope t(threads);
      std::vector<std::atomic<int>> hits(static_cast<size_t>(count));
      IEParallelRows(count, 1 << 12, [&](Integer First, Integer Last) {
        ASSERT_LE(0, First);
        ASSERT_LT(First, Last);
        ASSERT_LE(Last, count);
        for (Integer y = First; y < Last; ++y) hits[size_t(y)]++;
      });
      for (Integer y = 0; y < count; ++y) ASSERT_EQ(hits[size_t(y)].load(), 1) << threads << " " << count << " " << y;
    }
}

TEST(ParallelRows, UsesSeveralThreadsForLargeJobsAndOneForSmallOnes) {
  if (IEParallelThreadCount() < 2) GTEST_SKIP() << "one processor";
  std::mutex lock;
  std::vector<std::thread::id> ids;
  auto body = [&](Integer, Integer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    std::lock_guard<std::mutex> g(lock);
    ids.push_back(std::this_thread::get_id());
  };
  auto distinct = [&] {
    std::vector<std::thread::id> u = ids;
    std::sort(u.begin(), u.end());
    return size_t(std::unique(u.begin(), u.end()) - u.begin());
  };
  // The first chunk of the large job holds its thread until a second thread has
  // run a chunk too, so that a helper woken late on a busy machine still joins;
  // a pool that never shares the job fails once, after the deadline.
  std::atomic<bool> held{false};
  auto holdingBody = [&](Integer, Integer) {
    {
      std::lock_guard<std::mutex> g(lock);
      ids.push_back(std::this_thread::get_id());
    }
    if (!held.exchange(true)) gt_test::WaitUntil([&] {
      std::lock_guard<std::mutex> g(lock);
      return distinct() > 1;
    });
  };
  IEParallelRows(256, 1 << 20, holdingBody);
  EXPECT_GT(distinct(), 1u);
  ids.clear();
  IEParallelRows(256, 1, body);
  EXPECT_EQ(distinct(), 1u);
  EXPECT_EQ(ids.front(), std::this_thread::get_id());
  ids.clear();
  {
    ThreadScope t(1);
    IEParallelRows(256, 1 << 20, body);
  }
  EXPECT_EQ(distinct(), 1u);
  ids.clear();
  IEParallelRows(256, 1 << 20, body, nullptr, false);
  EXPECT_EQ(distinct(), 1u);
}

TEST(ParallelRows, ProgressIsMonotoneOnTheCallingThreadAndEndsWithTheCount) {
  for (Integer threads : {1, 4}) {
    ThreadScope t(threads);
    std::vector<Integer> done;
    const auto caller = std::this_thread::get_id();
    IEParallelRows(
        500, 1 << 16, [](Integer, Integer) {},
        [&](Integer n) {
          EXPECT_EQ(std::this_thread::get_id(), caller);
          done.push_back(n);
        });
    ASSERT_FALSE(done.empty());
    for (size_t i = 1; i < done.size(); ++i) EXPECT_GT(done[i], done[i - 1]);
    EXPECT_EQ(done.back(), 500);
    if (threads == 1) {
      EXPECT_EQ(done.size(), 500u) << "one report per row on one thread";
    }
  }
}

TEST(ParallelRows, FirstExceptionIsRaisedAfterAllThreadsLeft) {
  for (Integer threads : {1, 4}) {
    ThreadScope t(threads);
    std::atomic<int> inside{0};
    EXPECT_THROW(IEParallelRows(1000, 1 << 16,
                                [&](Integer First, Integer Last) {
                                  inside++;
                                  std::this_thread::sleep_for(std::chrono::microseconds(200));
                                  inside--;
                                  if (First <= 500 && 500 < Last) throw std::runtime_error("row 500");
                                }),
                 std::runtime_error);
    EXPECT_EQ(inside.load(), 0);
    // A progress handler that raises ends the job the same way.
    EXPECT_THROW(IEParallelRows(
                     1000, 1 << 16, [](Integer, Integer) {}, [](Integer) { throw EAbort("stop"); }),
                 EAbort);
    // The pool is usable afterwards.
    std::atomic<int> rows{0};
    IEParallelRows(1000, 1 << 16, [&](Integer First, Integer Last) { rows += Last - First; });
    EXPECT_EQ(rows.load(), 1000);
  }
}

TEST(ParallelRows, NestedAndConcurrentCallsRunWithoutDeadlock) {
  ThreadScope t(4);
  std::atomic<int64_t> total{0};
  auto job = [&] {
    IEParallelRows(64, 1 << 20, [&](Integer First, Integer Last) {
      for (Integer y = First; y < Last; ++y)
        IEParallelRows(16, 1 << 20, [&](Integer a, Integer b) { total += b - a; });
    });
  };
  std::thread other(job);
  job();
  other.join();
  EXPECT_EQ(total.load(), 2 * 64 * 16);
}

}  // namespace test_workbitmap_parallel_tests
