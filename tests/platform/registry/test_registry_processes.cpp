// The registry file shared between processes: killed writers, concurrent
// writers, damaged files, and where the file lives.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry_store.h"
#include "registry_fixture.h"

namespace test_registry_processes_tests {

using regtest::RegistryTest;
using regtest::ScopedEnv;

namespace {

WideString Name(const char* Prefix, int I) { return W(Prefix) + Utf8ToWide(std::to_string(I)); }

// A binary value that proves its own integrity: its length and every byte
// follow from the sequence number in its first four bytes.
std::vector<Byte> Blob(uint32_t Seq) {
  std::vector<Byte> b(16 + (Seq * 37) % 3000);
  for (size_t k = 0; k < b.size(); ++k) b[k] = static_cast<Byte>(Seq * 131 + k * 7);
  std::memcpy(b.data(), &Seq, 4);
  return b;
}

// Runs Body in a child process; the child ends with 0 when Body returns and
// with 2 when it raised. The child dies with the test process.
pid_t Spawn(const std::function<void()>& Body) {
  pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  int code = 0;
  try {
    Body();
  } catch (...) {
    code = 2;
  }
  _exit(code);
}

int ExitCode(pid_t Pid) {
  int status = 0;
  if (waitpid(Pid, &status, 0) != Pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::filesystem::path> Siblings(const std::filesystem::path& Dir, const std::string& Prefix) {
  std::vector<std::filesystem::path> found;
  for (const auto& e : std::filesystem::directory_iterator(Dir))
    if (e.path().filename().string().rfind(Prefix, 0) == 0) found.push_back(e.path());
  return found;
}

}  // namespace

TEST_F(RegistryTest, KilledWriterAlwaysLeavesACompleteEarlierFile) {
  // The child writes without end: V<i>, then the self-checking blob, then
  // Count = i + 1, and reports each finished step through a pipe. Whatever
  // moment it dies at, the file must parse and hold V0 .. V<Count-1>, no V
  // beyond Count, and an intact blob of Count-1 or Count.
  int progress[2];
  ASSERT_EQ(pipe(progress), 0);
  auto writer = [&] {
    close(progress[0]);
    TRegistry reg;
    if (!reg.OpenKey(W("\\Stress"), true)) throw 1;
    int start = reg.ValueExists(W("Count")) ? reg.ReadInteger(W("Count")) : 0;
    for (int i = start; i < start + 1000000; ++i) {
      reg.WriteInteger(Name("V", i), i * 7);
      std::vector<Byte> blob = Blob(static_cast<uint32_t>(i));
      reg.WriteBinaryData(W("Blob"), blob.data(), static_cast<Integer>(blob.size()));
      reg.WriteInteger(W("Count"), i + 1);
      if (write(progress[1], "s", 1) != 1) throw 1;
    }
  };
  std::mt19937 random(20240601);
  int count = 0;
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    auto started = std::chrono::steady_clock::now();
    pid_t pid = Spawn(writer);
    ASSERT_GT(pid, 0);
    // Wait for one finished step, then kill at a random moment within about
    // two more steps, so that kills land inside writes whatever the disk's speed.
    pollfd wait{progress[0], POLLIN, 0};
    ASSERT_EQ(poll(&wait, 1, 60000), 1);
    char step;
    ASSERT_EQ(read(progress[0], &step, 1), 1);
    auto stepTime = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    usleep(static_cast<useconds_t>(std::uniform_int_distribution<int64_t>(0, 2 * stepTime.count())(random)));
    kill(pid, SIGKILL);
    ASSERT_EQ(ExitCode(pid), 128 + SIGKILL);  // killed while writing, never failed
    // Drop the reports of this child.
    while (poll(&wait, 1, 0) == 1 && read(progress[0], &step, 1) == 1) {
    }
    gt::reg::RegTree tree = ParseFile();
    const gt::reg::RegKey* key = tree.Find(gt::reg::rrCurrentUser, {W("Stress")});
    ASSERT_NE(key, nullptr);
    const gt::reg::RegValue* c = key->FindValue(W("Count"));
    ASSERT_NE(c, nullptr);
    int now = static_cast<int>(c->Number);
    ASSERT_GT(now, count);  // the finished step is there, and nothing went back
    count = now;
    for (int i = 0; i < count; ++i) {
      const gt::reg::RegValue* v = key->FindValue(Name("V", i));
      ASSERT_NE(v, nullptr) << i;
      ASSERT_EQ(v->Number, static_cast<uint32_t>(i * 7));
    }
    EXPECT_EQ(key->FindValue(Name("V", count + 1)), nullptr);
    const gt::reg::RegValue* blob = key->FindValue(W("Blob"));
    ASSERT_NE(blob, nullptr);
    ASSERT_GE(blob->Bytes.size(), 4u);
    uint32_t seq;
    std::memcpy(&seq, blob->Bytes.data(), 4);
    EXPECT_EQ(blob->Bytes, Blob(seq));
    EXPECT_TRUE(static_cast<int>(seq) == count - 1 || static_cast<int>(seq) == count) << seq << " " << count;
  }
  close(progress[0]);
  close(progress[1]);

  // The next writer clears the temporaries that killed writers left behind.
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(W("\\Stress"), false));
  reg.WriteInteger(W("After"), 1);
  EXPECT_TRUE(Siblings(Dir, "." + File.filename().string() + ".tmp-").empty());
  EXPECT_EQ(reg.ReadInteger(W("Count")), count);
}

TEST_F(RegistryTest, ConcurrentWritersKeepEachOthersValues) {
  constexpr int kValues = 200;
  int gate[2];
  ASSERT_EQ(pipe(gate), 0);
  auto writer = [&](int who) {
    return [&, who] {
      close(gate[1]);
      char go;
      if (read(gate[0], &go, 1) != 1) throw 1;
      TRegistry reg;
      if (!reg.OpenKey(W("\\Shared"), true)) throw 1;
      for (int j = 0; j < kValues; ++j) {
        reg.WriteInteger(Name(who ? "B" : "A", j), who * 1000 + j);
        if (j % 50 == 0) {
          TRegistry other;
          if (!other.OpenKey(W("\\Shared\\Own") + Name("", who) + W("\\") + Name("S", j), true)) throw 1;
        }
      }
    };
  };
  pid_t a = Spawn(writer(0));
  pid_t b = Spawn(writer(1));
  close(gate[0]);
  ASSERT_EQ(write(gate[1], "go", 2), 2);  // both start at once
  close(gate[1]);
  EXPECT_EQ(ExitCode(a), 0);
  EXPECT_EQ(ExitCode(b), 0);

  // Threads of one process, each with its own registry object, as well.
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      TRegistry reg;
      if (!reg.OpenKey(W("\\Shared"), true)) return;
      for (int j = 0; j < 50; ++j) reg.WriteInteger(Name("T", t * 100 + j), j);
    });
  for (auto& t : threads) t.join();

  TRegistry reg;
  ASSERT_TRUE(reg.OpenKeyReadOnly(W("\\Shared")));
  for (int j = 0; j < kValues; ++j) {
    EXPECT_EQ(reg.ReadInteger(Name("A", j)), j);
    EXPECT_EQ(reg.ReadInteger(Name("B", j)), 1000 + j);
  }
  for (int t = 0; t < 4; ++t)
    for (int j = 0; j < 50; ++j) EXPECT_EQ(reg.ReadInteger(Name("T", t * 100 + j)), j);
  std::vector<WideString> names;
  reg.GetValueNames(names);
  EXPECT_EQ(names.size(), static_cast<size_t>(2 * kValues + 200));
  for (int who = 0; who < 2; ++who)
    for (int j = 0; j < kValues; j += 50)
      EXPECT_TRUE(reg.KeyExists(W("Own") + Name("", who) + W("\\") + Name("S", j))) << who << " " << j;
}

TEST_F(RegistryTest, DamagedFileIsSetAsideOnceAndAnEmptyRegistryUsed) {
  const std::string good = gt::reg::FormatRegistryFile(gt::reg::RegTree{}).substr(0, 20);
  struct Case {
    const char* what;
    std::function<void(const std::filesystem::path&)> damage;
    std::string bytes;  // what the set-aside file must still hold ("" for no check)
  };
  const Case cases[] = {
      {"garbage", [](const auto& p) { regtest::WriteFile(p, "\x01\xffnot a registry"); }, "\x01\xffnot a registry"},
      {"truncated", [&](const auto& p) { regtest::WriteFile(p, good); }, good},
      {"other JSON", [](const auto& p) { regtest::WriteFile(p, "{\"a\": 1}"); }, "{\"a\": 1}"},
      {"empty file", [](const auto& p) { regtest::WriteFile(p, ""); }, ""},
      {"folder in its place", [](const auto& p) { std::filesystem::create_directories(p / "inside"); }, ""},
      // Opening a FIFO for reading would block for ever.
      {"FIFO in its place", [](const auto& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UseFile("case" + std::to_string(n++) + ".json");
    c.damage(File);
    const std::string prefix = File.filename().string() + ".damaged-";

    testing::internal::CaptureStderr();
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(W("\\Software")));
    EXPECT_FALSE(reg.OpenKey(W("\\Software"), false));
    EXPECT_EQ(reg.ReadString(W("x")), W(""));
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(err.find("set aside"), err.rfind("set aside")) << err;  // reported exactly once
    EXPECT_NE(err.find("set aside"), std::string::npos) << err;
    EXPECT_NE(err.find(File.string()), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(File)));
    auto aside = Siblings(Dir, prefix);
    ASSERT_EQ(aside.size(), 1u);
    if (std::filesystem::is_regular_file(aside[0])) {
      EXPECT_EQ(regtest::ReadFile(aside[0]), c.bytes);
    }

    // Writing starts a new, good file and leaves the set-aside one alone.
    ASSERT_TRUE(reg.OpenKey(W("\\Software"), true));
    reg.WriteInteger(W("Fresh"), 1);
    gt::reg::RegTree tree = ParseFile();
    ASSERT_NE(tree.Find(gt::reg::rrCurrentUser, {W("Software")}), nullptr);
    EXPECT_EQ(Siblings(Dir, prefix).size(), 1u);

    // A second damage later is set aside under another name.
    regtest::WriteFile(File, "garbage again");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg.ValueExists(W("Fresh")));
    err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("set aside"), std::string::npos) << err;
    EXPECT_EQ(Siblings(Dir, prefix).size(), 2u);
  }
}

TEST_F(RegistryTest, FileLocationComesFromTheEnvironment) {
  struct Case {
    const char* what;
    const char* gtFile;  // relative to the test folder; null unsets
    const char* xdg;     // relative to the test folder unless it is "relative"; null unsets
    const char* expected;
  };
  const Case cases[] = {
      {"override wins", "custom/deeper/reg.json", "xdg", "custom/deeper/reg.json"},
      {"XDG folder", nullptr, "xdg", "xdg/gimro-tal/registry.json"},
      {"empty override ignored", "", "xdg", "xdg/gimro-tal/registry.json"},
      {"relative XDG ignored", nullptr, "relative", "home/.config/gimro-tal/registry.json"},
      {"home folder", nullptr, nullptr, "home/.config/gimro-tal/registry.json"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);
    auto inDir = [&](const char* p) -> std::string {
      if (!p) return {};
      if (!*p) return "";
      if (std::string(p) == "relative") return "relative/config";
      return (Dir / p).string();
    };
    std::string gtFile = inDir(c.gtFile), xdg = inDir(c.xdg), home = (Dir / "home").string();
    ScopedEnv e1("GT_REGISTRY_FILE", c.gtFile ? gtFile.c_str() : nullptr);
    ScopedEnv e2("XDG_CONFIG_HOME", c.xdg ? xdg.c_str() : nullptr);
    ScopedEnv e3("HOME", home.c_str());
    const std::filesystem::path expected = Dir / c.expected;
    EXPECT_EQ(gt::reg::RegStore::DefaultPath(), expected.string());

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(W("\\Software"), true));
    reg.WriteInteger(W("here"), 1);
    EXPECT_TRUE(std::filesystem::is_regular_file(expected));
    size_t files = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Dir))
      if (e.is_regular_file() && e.path().extension() == ".json") ++files;
    EXPECT_EQ(files, 1u);  // and nowhere else
  }
}

}  // namespace test_registry_processes_tests
