// A fresh folder per test under the system's temporary folder, removed with
// everything in it when the test ends; and a guard that restores the C locale.
#pragma once

#include <clocale>
#include <string>

#include "platform/base/sysutils.h"
#include "tests/support/temp_dir.h"

class ScratchDir : public gt_test::TempDir {
 public:
  ScratchDir() : gt_test::TempDir("base") {}
  // The folder with a trailing "/", as WideString.
  WideString Wide() const { return Utf8ToWide(Path + "/"); }
};

class LocaleGuard {
 public:
  LocaleGuard() : FSaved(std::setlocale(LC_ALL, nullptr)) {}
  ~LocaleGuard() { std::setlocale(LC_ALL, FSaved.c_str()); }

 private:
  std::string FSaved;
};
