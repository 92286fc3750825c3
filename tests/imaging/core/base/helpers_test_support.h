// Shared bits of the helper tests: a private temporary folder and byte views.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/base/sysutils.h"
#include "platform/base/types.h"

// A fresh folder under Base (default $TMPDIR, else /tmp), removed with
// everything in it.
class ScopedTempDir {
 public:
  explicit ScopedTempDir(const char* Base = nullptr) {
    const char* env = std::getenv("TMPDIR");
    const char* base = Base ? Base : (env && *env ? env : "/tmp");
    std::string tmpl = std::string(base) + "/gt-helpers-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (::mkdtemp(buf.data())) FPath = buf.data();
  }
  ~ScopedTempDir() {
    std::error_code ec;
    if (!FPath.empty()) std::filesystem::remove_all(FPath, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  // The folder with a trailing "/".
  bool Ok() const { return !FPath.empty(); }
  std::string Path() const { return FPath + "/"; }
  WideString WPath() const { return Utf8ToWide(Path()); }

 private:
  std::string FPath;
};

inline std::vector<Byte> Bytes(std::initializer_list<int> v) {
  std::vector<Byte> r;
  for (int b : v) r.push_back(static_cast<Byte>(b));
  return r;
}
