// The sound-theme lookup behind menu sounds: an event counts only when the
// default theme of one of the data folders has a file for it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/devices/sounds.h"
#include "tests/support/temp_dir.h"

namespace test_sounds_tests {

namespace {

TEST(Sounds, ThemeLookupFindsOnlyEventsWithAFile) {
  gt_test::TempDir A, B;
  ASSERT_TRUE(A.Ok() && B.Ok());
  std::filesystem::create_directories(B.File("sounds/freedesktop/stereo"));
  std::ofstream(B.File("sounds/freedesktop/stereo/menu-popup.oga")) << "x";
  std::filesystem::create_directories(B.File("sounds/freedesktop/stereo/menu-click.oga"));  // a folder, not a file
  const std::vector<std::string> Dirs{A.Path, B.Path};
  EXPECT_TRUE(GtSoundThemeHasEvent("menu-popup", Dirs));
  EXPECT_FALSE(GtSoundThemeHasEvent("menu-click", Dirs));
  EXPECT_FALSE(GtSoundThemeHasEvent("menu-popup", {A.Path}));
  EXPECT_FALSE(GtSoundThemeHasEvent("../stereo/menu-popup", Dirs));
  EXPECT_FALSE(GtSoundThemeHasEvent("", Dirs));
}

TEST(Sounds, DataFoldersFollowTheDesktopVariables) {
  setenv("XDG_DATA_HOME", "/h", 1);
  setenv("XDG_DATA_DIRS", "/a::/b", 1);
  EXPECT_EQ(GtDesktopDataDirs(), (std::vector<std::string>{"/h", "/a", "/b"}));
  unsetenv("XDG_DATA_DIRS");
  EXPECT_EQ(GtDesktopDataDirs(), (std::vector<std::string>{"/h", "/usr/local/share", "/usr/share"}));
  unsetenv("XDG_DATA_HOME");
}

}  // namespace

}  // namespace test_sounds_tests
