// Running the outside programs that serve the tests as oracles and fixture
// makers: a shell command's standard output, its exit code, and whether a
// tool is installed at all.
#pragma once

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"

namespace gt_test {

// The exit code of a finished shell command; -1 when it could not be run or
// was ended by a signal.
inline int ExitCodeOf(int WaitStatus) {
  if (WaitStatus == -1) return -1;
  return WIFEXITED(WaitStatus) ? WEXITSTATUS(WaitStatus) : -1;
}

// Runs Command through the shell and returns its exit code.
inline int Shell(const std::string& Command) { return ExitCodeOf(std::system(Command.c_str())); }

// Runs Command through the shell and returns what it wrote on standard
// output; Status, when given, gets its exit code.
inline std::string Capture(const std::string& Command, int* Status = nullptr) {
  std::string out;
  if (Status) *Status = -1;
  FILE* p = ::popen(Command.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ExitCodeOf(::pclose(p));
  if (Status) *Status = rc;
  return out;
}

// The same with Input on the command's standard input (through a file, so
// that a large input and a large output cannot block each other).
inline std::string CaptureWithInput(const std::string& Command, const std::string& Input, int* Status = nullptr) {
  if (Status) *Status = -1;
  TempDir dir("capture");
  if (dir.Path.empty()) return {};
  const std::string in = dir.File("stdin");
  FILE* f = std::fopen(in.c_str(), "wb");
  if (!f) return {};
  const bool written = std::fwrite(Input.data(), 1, Input.size(), f) == Input.size();
  if (std::fclose(f) != 0 || !written) return {};
  return Capture(Command + " < '" + in + "'", Status);
}

// Whether Name is a program on the PATH.
inline bool HaveTool(const std::string& Name) { return Shell("command -v " + Name + " >/dev/null 2>&1") == 0; }

}  // namespace gt_test
