// Shared set-up of the picture-container tests: library switches and test
// seams restored after each test, and a private temporary folder that must
// be empty again when the test ends.
#pragma once

#include "imaging/core/base/iesysinfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/color/ieicc.h"
#include "tests/support/temp_dir.h"

using gt_test::FolderEntries;

inline void RemoveTree(const std::string& Dir) {
  std::error_code ec;
  std::filesystem::remove_all(Dir, ec);
}

class BitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FTemp = std::make_unique<gt_test::TempDir>("bitmap");
    ASSERT_TRUE(FTemp->Ok());
    Dir = FTemp->Path;
    IETempFolder = Utf8ToWide(Dir);
    // The tests choose the storage themselves; how much memory this machine
    // has left at the moment must not change it.
    IEMemoryLeftOverride = std::numeric_limits<int64_t>::max();
  }
  void TearDown() override {
    // Whatever a test did, it must leave no temporary file behind.
    EXPECT_TRUE(FolderEntries(Dir).empty()) << "left in " << Dir;
    FTemp.reset();
    IEMemoryThresholdOverride = SavedThreshold;
    IEFileFallback = SavedFileFallback;
    IEUseSegments = SavedUseSegments;
    IETempFolder = SavedTempFolder;
    IEBitmapTestHooks = {};
    IEFileBufferTestHooks = {};
    IEMemoryLeftOverride = -1;
  }

  std::string Dir;

 private:
  std::unique_ptr<gt_test::TempDir> FTemp;
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
