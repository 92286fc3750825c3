// A private folder for one test's files, with a name no other test or run
// can hold (mkdtemp), removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace gt_test {

class TempDir {
 public:
  // Made under Base, else under $TMPDIR, else under /tmp; Path stays empty
  // when the folder could not be made.
  explicit TempDir(const std::string& Tag = "test", const char* Base = nullptr) {
    const char* env = std::getenv("TMPDIR");
    const std::string base = Base ? Base : (env && *env ? env : "/tmp");
    std::string tmpl = base + "/gt-" + Tag + "-XXXXXX";
    if (::mkdtemp(tmpl.data())) Path = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  bool Ok() const { return !Path.empty(); }
  std::string File(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

// Names in a folder, "." and ".." left out; empty when it cannot be read.
inline std::vector<std::string> FolderEntries(const std::string& Dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  return names;
}

}  // namespace gt_test
