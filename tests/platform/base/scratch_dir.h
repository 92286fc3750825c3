// A fresh folder per test under the system's temporary folder, removed with
// everything in it when the test ends; and a guard that restores the C locale.
#pragma once

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/base/sysutils.h"

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "gt-base-XXXXXX").string();
    Path = mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!Path.empty()) std::filesystem::remove_all(Path, ec);
  }
  // The folder with a trailing "/", as WideString.
  WideString Wide() const { return Utf8ToWide(Path + "/"); }
  std::string Path;
};

class LocaleGuard {
 public:
  LocaleGuard() : FSaved(std::setlocale(LC_ALL, nullptr)) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, FSaved.c_str()); }

 private:
  std::string FSaved;
};
