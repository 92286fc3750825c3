// A second process for the X checks: this test program started again as a
// peer (or a shell command), its output collected while the caller keeps
// running events, and ended with the test if a check fails.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/ui/testsupport.h"

namespace peer_test {

struct TChild {
  pid_t Pid = -1;
  int Out = -1;
  std::string Said;
  TChild() = default;
  TChild(TChild&& O) noexcept : Pid(O.Pid), Out(O.Out), Said(std::move(O.Said)) { O.Pid = -1; O.Out = -1; }
  TChild(const TChild&) = delete;
  // A child left running by a failed check is ended with the test.
  ~TChild() {
    if (Pid > 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
    }
    if (Out >= 0) close(Out);
  }
};

inline void Collect(TChild& C) {
  char Buf[512];
  ssize_t N;
  while ((N = read(C.Out, Buf, sizeof Buf)) > 0) C.Said.append(Buf, static_cast<size_t>(N));
}

// Runs events until the child has ended; its exit code, -1 when it had to be killed.
inline int Finish(TChild& C, Integer TimeoutMs) {
  int Status = 0;
  bool Done = GtTestPumpUntil(
      [&] {
        Collect(C);
        return waitpid(C.Pid, &Status, WNOHANG) == C.Pid;
      },
      TimeoutMs);
  if (!Done) {
    kill(C.Pid, SIGKILL);
    waitpid(C.Pid, &Status, 0);
  }
  Collect(C);
  close(C.Out);
  C.Out = -1;
  C.Pid = -1;
  return Done && WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

// The child's first lines are the test program's own; "ready X Y" follows.
inline bool WaitReady(TChild& C, TPoint& Mid) {
  bool Ok = GtTestPumpUntil(
      [&] {
        Collect(C);
        size_t At = C.Said.find("ready ");
        return At != std::string::npos && C.Said.find('\n', At) != std::string::npos;
      },
      20000);
  return Ok && std::sscanf(C.Said.c_str() + C.Said.find("ready "), "ready %d %d", &Mid.X, &Mid.Y) == 2;
}

}  // namespace peer_test
