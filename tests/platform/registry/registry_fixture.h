// Every registry test runs on a registry file of its own in a fresh temporary
// folder, named through GT_REGISTRY_FILE, so that no test touches the user's
// real configuration or another test's file.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/registry/registry.h"
#include "platform/registry/registry_file.h"

namespace regtest {

// Sets or unsets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* Name, const char* Value) : FName(Name) {
    if (const char* old = getenv(Name)) FOld = old;
    if (Value) setenv(Name, Value, 1);
    else unsetenv(Name);
  }
  ~ScopedEnv() {
    if (FOld) setenv(FName.c_str(), FOld->c_str(), 1);
    else unsetenv(FName.c_str());
  }

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

inline std::string ReadFile(const std::filesystem::path& Path) {
  std::ifstream in(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& Path, const std::string& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out << Bytes;
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string templ = (std::filesystem::temp_directory_path() / "gt-registry-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    Dir = templ;
    File = Dir / "registry.json";
    Env.emplace("GT_REGISTRY_FILE", File.c_str());
  }
  void TearDown() override {
    Env.reset();
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }

  // Points GT_REGISTRY_FILE at another file of the test's folder.
  void UseFile(const std::string& Name) {
    File = Dir / Name;
    Env.reset();
    Env.emplace("GT_REGISTRY_FILE", File.c_str());
  }

  // The registry as the file holds it now.
  gt::reg::RegTree ParseFile() {
    gt::reg::RegTree tree;
    std::string error;
    EXPECT_TRUE(gt::reg::ParseRegistryFile(ReadFile(File), tree, error)) << error;
    return tree;
  }

  std::filesystem::path Dir, File;
  std::optional<ScopedEnv> Env;
};

}  // namespace regtest
