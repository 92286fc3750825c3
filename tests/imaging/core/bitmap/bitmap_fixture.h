// Shared set-up of the picture-container tests: library switches and test
// seams restored after each test, and a private temporary folder that must
// be empty again when the test ends.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/color/ieicc.h"

// Names in a folder, "." and ".." left out.
inline std::vector<std::string> FolderEntries(const std::string& Dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(Dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  return names;
}

inline void RemoveTree(const std::string& Dir) {
  for (const auto& n : FolderEntries(Dir)) {
    std::string p = Dir + "/" + n;
    if (::unlink(p.c_str()) != 0) RemoveTree(p);
  }
  ::rmdir(Dir.c_str());
}

class BitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/gt-bitmap-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    Dir = tmpl;
    IETempFolder = Utf8ToWide(Dir);
  }
  void TearDown() override {
    // Whatever a test did, it must leave no temporary file behind.
    EXPECT_TRUE(FolderEntries(Dir).empty()) << "left in " << Dir;
    RemoveTree(Dir);
    IEMemoryThresholdOverride = SavedThreshold;
    IEFileFallback = SavedFileFallback;
    IEUseSegments = SavedUseSegments;
    IETempFolder = SavedTempFolder;
    IEBitmapTestHooks = {};
    IEFileBufferTestHooks = {};
  }

  std::string Dir;

 private:
  int64_t SavedThreshold = IEMemoryThresholdOverride;
  bool SavedFileFallback = IEFileFallback;
  bool SavedUseSegments = IEUseSegments;
  WideString SavedTempFolder = IETempFolder;
};

// The CMYK formulas instead of the system's CMYK profile while it lives.
// Tests that hold conversions against the fixed CMYK formulas must not
// depend on which press profile the machine has installed (or whether it
// has one); the profile path has tests of its own.
class TCMYKFormulasScope {
 public:
  TCMYKFormulasScope() : FSaved(IEUseCMYKProfile) { IEUseCMYKProfile = false; }
  ~TCMYKFormulasScope() { IEUseCMYKProfile = FSaved; }
  TCMYKFormulasScope(const TCMYKFormulasScope&) = delete;
  TCMYKFormulasScope& operator=(const TCMYKFormulasScope&) = delete;

 private:
  bool FSaved;
};

// BitmapTest with the CMYK formulas.
class FormulaCMYKTest : public BitmapTest {
 private:
  TCMYKFormulasScope FFormulas;
};
