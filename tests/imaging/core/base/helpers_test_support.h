// Shared bits of the helper tests: a private temporary folder and byte views.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/base/sysutils.h"
#include "platform/base/types.h"
#include "tests/support/temp_dir.h"

// A fresh folder under Base (default $TMPDIR, else /tmp), removed with
// everything in it.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const char* Base = nullptr) : FDir("helpers", Base) {}
  bool Ok() const { return FDir.Ok(); }
  // The folder with a trailing "/".
  std::string Path() const { return FDir.Path + "/"; }
  WideString WPath() const { return Utf8ToWide(Path()); }

 private:
  gt_test::TempDir FDir;
};

inline std::vector<Byte> Bytes(std::initializer_list<int> v) {
  std::vector<Byte> r;
  for (int b : v) r.push_back(static_cast<Byte>(b));
  return r;
}
