// The progress record: percentage arithmetic with its guards, reporting, the
// abort flag shared with other threads, and the short-write guard.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "imaging/core/base/ieprogress.h"

namespace test_progress_tests {

namespace {

TEST(ProgressStep, PercentagesStayWithinZeroToHundred) {
  struct Case {
    int64_t Units, Done;
    Integer Want;
  } cases[] = {
      {0, 0, 0},         // no units: step 0, never inf or NaN
      {0, 5, 0},         //
      {-1, 3, 0},        // a scanner reporting -1 rows
      {3, 1, 33},        // Trunc(33.33)
      {3, 2, 66},        // Trunc(66.67), not rounded
      {3, 3, 100},       //
      {3, 4, 100},       // one unit too many: clamped
      {200, -1, 0},      // a negative count: clamped
      {480, 479, 99},    // the last row of a picture
      {1, INT64_MAX, 100},
  };
  for (const Case& c : cases) {
    Double step = IEProgressStep(c.Units);
    EXPECT_TRUE(std::isfinite(step)) << c.Units;
    EXPECT_EQ(IEProgressPercent(c.Done, step), c.Want) << c.Units << " units, " << c.Done << " done";
  }
  EXPECT_EQ(IEProgressPercent(1, std::numeric_limits<Double>::infinity()), 100);
  EXPECT_EQ(IEProgressPercent(1, -std::numeric_limits<Double>::infinity()), 0);
  EXPECT_EQ(IEProgressPercent(1, std::numeric_limits<Double>::quiet_NaN()), 0);
}

TEST(ProgressRec, ReportsThroughTheMethodWithItsSender) {
  std::atomic<bool> abort{false};
  TObject sender;
  std::vector<std::pair<TObject*, Integer>> got;
  TIEProgressRec rec(abort, [&](TObject* s, Integer p) { got.emplace_back(s, p); }, &sender);
  rec.SetUnits(4);
  for (int i = 0; i < 4; ++i) rec.Report(i + 1);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].first, &sender);
  EXPECT_EQ(got[0].second, 25);
  EXPECT_EQ(got[3].second, 100);

  // Without a method nothing is called and nothing fails.
  TIEProgressRec silent(abort);
  silent.SetUnits(0);
  silent.Report(10);
  EXPECT_EQ(silent.per1, 0.0);
}

TEST(ProgressRec, TwoLevelReporterCallsOnlyOnChange) {
  std::atomic<bool> abort{false};
  std::vector<Integer> got;
  TIEProgressRec rec(abort, [&](TObject*, Integer p) { got.push_back(p); });
  Integer last = -1;
  Double step = IEProgressStep(1000);  // 0.1 per unit
  for (int i = 0; i <= 1000; ++i) rec.ReportChanged(i, step, last);
  ASSERT_EQ(got.size(), 101u);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], static_cast<Integer>(i));
}

TEST(ProgressRec, AbortFromAnotherThreadStopsTheLoop) {
  std::atomic<bool> abort{false};
  std::atomic<bool> started{false};
  TIEProgressRec rec(abort);
  int64_t units = 0;
  std::thread worker([&] {
    rec.SetUnits(1'000'000'000);
    while (!rec.Aborted()) {
      ++units;
      started.store(true);
    }
  });
  while (!started.load()) std::this_thread::yield();
  abort.store(true);  // what the companion's cancel does
  worker.join();
  EXPECT_TRUE(rec.Aborted());
  EXPECT_GT(units, 0);
}

// A stream that accepts at most Room bytes, or raises on any write.
class TShortStream : public TStream {
 public:
  explicit TShortStream(int64_t Room, bool Raise = false) : FRoom(Room), FRaise(Raise) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t Count) override {
    if (FRaise) throw EWriteError("Stream write error");
    int64_t n = std::min(Count, FRoom);
    FRoom -= n;
    return n;
  }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }

 private:
  int64_t FRoom;
  bool FRaise;
};

TEST(ProgressRec, ShortOrFailingWriteSetsTheAbortFlag) {
  const char data[8] = "1234567";
  struct Case {
    int64_t Room;
    bool Raise;
    bool WantAbort;
  } cases[] = {{8, false, false}, {7, false, true}, {0, false, true}, {100, true, true}};
  for (const Case& c : cases) {
    std::atomic<bool> abort{false};
    TIEProgressRec rec(abort);
    TShortStream s(c.Room, c.Raise);
    EXPECT_NO_THROW(IESafeStreamWrite(&s, rec, data, 8));
    EXPECT_EQ(abort.load(), c.WantAbort) << c.Room << (c.Raise ? " raising" : "");
  }
}

}  // namespace

}  // namespace test_progress_tests
