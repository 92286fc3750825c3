// Waiting in tests without racing the scheduler: a condition is polled until
// it holds, under a deadline long enough for a loaded machine, and the wait
// ends as soon as it holds. A test never asserts how quickly something
// happened; timings belong to the benchmarks.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace gt_test {

// Deadline for something that normally takes milliseconds (a worker waking,
// a message arriving, a timer firing): a minute, so that only a real hang
// fails, never a busy machine.
constexpr int kWaitMs = 60000;

// Polls Done until it returns true (true) or DeadlineMs has passed (false).
inline bool WaitUntil(const std::function<bool()>& Done, int DeadlineMs = kWaitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(DeadlineMs);
  for (;;) {
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= end) return Done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace gt_test
