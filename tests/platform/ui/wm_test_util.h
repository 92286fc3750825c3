// A window manager (openbox) on the test's X display for as long as the
// object lives: activation and window states are the window manager's to
// keep, so the X checks of them run one.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/ui/testsupport.h"
#include "tests/support/process.h"

namespace gt_test {

class TXWindowManager {
 public:
  TXWindowManager() {
    // The mark of a window manager that has gone must not pass for this one's.
    Shell("xprop -root -remove _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1");
    FPid = fork();
    if (FPid == 0) {
      unsetenv("GTEST_SHARD_INDEX");
      unsetenv("GTEST_TOTAL_SHARDS");
      unsetenv("GTEST_SHARD_STATUS_FILE");
      execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
      _exit(127);
    }
    Ready = FPid > 0 && GtTestPumpUntil([] {
      return Shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'") == 0;
    }, 10000);
  }
  ~TXWindowManager() {
    if (FPid <= 0) return;
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
  }
  TXWindowManager(const TXWindowManager&) = delete;
  TXWindowManager& operator=(const TXWindowManager&) = delete;
  bool Ready = false;

 private:
  pid_t FPid = -1;
};

}  // namespace gt_test
