// A private folder under /tmp for one test's files, removed with everything in
// it when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace gt_test {

class TempDir {
 public:
  explicit TempDir(const std::string& Tag = "test") {
    std::string tmpl = "/tmp/gt-" + Tag + "-XXXXXX";
    if (::mkdtemp(tmpl.data())) Path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string File(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

}  // namespace gt_test
