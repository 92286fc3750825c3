// Saving over an existing file: what the file keeps (mode, owner, symbolic
// and hard links), which leftovers of killed saves a later save clears, and
// a full disk, which must leave the original as it was and say why.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/io/ziduzuvio_safefile.h"
#include "platform/base/sysutils.h"
#include "tests/support/temp_dir.h"

namespace test_safe_save_tests {

namespace fs = std::filesystem;
using gt_test::TempDir;

namespace {

WideString Wide(const std::string& S) { return Utf8ToWide(S); }

std::string ReadAll(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteAll(const std::string& Path, const std::string& Data) {
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f << Data;
}

std::string Noise(size_t Size, unsigned Seed) {
  std::mt19937 gen(Seed);
  std::string s(Size, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// Saves Data to Name the way every writer does; false when Commit refuses.
bool Save(const std::string& Name, const std::string& Data) {
  TIESafeFileSave out(Wide(Name));
  out.Stream()->WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  return out.Commit();
}

std::vector<std::string> SaveTemps(const std::string& Dir) {
  std::vector<std::string> r;
  for (const auto& e : fs::directory_iterator(Dir)) {
    const std::string n = e.path().filename().string();
    if (n.rfind(".gt-save-", 0) == 0) r.push_back(n);
  }
  return r;
}

// Runs Body in a forked child and returns what it reports (empty: all went
// well); the child never returns into the test runner. Used where the test
// needs another process: another user, a private mount, a writer that dies.
std::string InChild(const std::function<std::string()>& Body) {
  int p[2];
  if (::pipe(p) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    ::close(p[0]);
    std::string report;
    try {
      report = Body();
    } catch (const std::exception& e) {
      report = std::string("exception: ") + e.what();
    }
    size_t done = 0;
    while (done < report.size()) {
      const ssize_t n = ::write(p[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(p[1]);
  std::string report;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(p[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) report.append(buf, static_cast<size_t>(n));
  ::close(p[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) report += "child ended abnormally";
  return report;
}

// A child that opens a save of Target and then waits, its save unfinished,
// until it is killed. Its temporary file name is returned.
struct TPendingWriter {
  pid_t Pid = -1;
  std::string Temp;
  int Hold = -1;  // the child blocks reading this pipe

  explicit TPendingWriter(const std::string& Target) {
    int names[2], hold[2];
    if (::pipe(names) != 0 || ::pipe(hold) != 0) return;
    Pid = ::fork();
    if (Pid == 0) {
      ::close(names[0]);
      ::close(hold[1]);
      try {
        TIESafeFileSave out(Wide(Target));
        const std::string t = WideToUtf8(out.TempName());
        if (::write(names[1], t.data(), t.size()) < 0) ::_exit(1);
        ::close(names[1]);
        char c;
        while (::read(hold[0], &c, 1) < 0 && errno == EINTR) {
        }
      } catch (...) {
      }
      ::_exit(0);  // never reached in the tests: they kill it first
    }
    ::close(names[1]);
    ::close(hold[0]);
    Hold = hold[1];
    char buf[4096];
    ssize_t n;
    while ((n = ::read(names[0], buf, sizeof buf)) > 0) Temp.append(buf, static_cast<size_t>(n));
    ::close(names[0]);
  }
  void Kill(bool Reap) {
    ::kill(Pid, SIGKILL);
    if (Reap) {
      ::waitpid(Pid, nullptr, 0);
      Pid = -1;
    }
  }
  ~TPendingWriter() {
    if (Pid > 0) {
      ::kill(Pid, SIGKILL);
      ::waitpid(Pid, nullptr, 0);
    }
    if (Hold >= 0) ::close(Hold);
  }
};

std::string ExceptionText(const std::function<void()>& F) {
  try {
    F();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no exception)";
}

}  // namespace

// What a file keeps when it is saved over: its permission bits, owner and
// group, the symbolic links that lead to it (followed to the end of a chain,
// even to a file that does not exist yet) and the hard links that share it.
TEST(SafeSave, TheSavedFileKeepsItsAttributesAndLinks) {
  const bool root = ::geteuid() == 0;
  struct TCase {
    const char* Name;
    mode_t Mode;
    bool Chown;  // owned by 1234:1234 (only a superuser can arrange that)
    // Makes the file and the names around it; returns the name to save through.
    std::function<std::string(const std::string& Dir)> Setup;
    size_t OldSize, NewSize;
  };
  const auto plain = [](const std::string& Dir) { return Dir + "/pic.bin"; };
  const TCase cases[] = {
      {"mode 0640", 0640, false, plain, 100, 200},
      {"mode 0600", 0600, false, plain, 100, 200},
      {"mode 0755", 0755, false, plain, 100, 50},
      {"owner 1234:1234", 0644, true, plain, 100, 200},
      {"symbolic link", 0640,  false,
       [](const std::string& Dir) {
         fs::create_symlink("pic.bin", Dir + "/link.bin");
         return Dir + "/link.bin";
       },
       100, 300},
      {"chain of links across folders", 0600, true,
       [](const std::string& Dir) {
         fs::create_directory(Dir + "/sub");
         fs::create_symlink("../pic.bin", Dir + "/sub/inner.bin");
         fs::create_symlink(Dir + "/sub/inner.bin", Dir + "/outer.bin");
         return Dir + "/outer.bin";
       },
       100, 300},
      {"hard link, growing", 0640, true,
       [](const std::string& Dir) {
         fs::create_hard_link(Dir + "/pic.bin", Dir + "/twin.bin");
         return Dir + "/pic.bin";
       },
       1000, 300000},
      {"hard link, shrinking", 0600, false,
       [](const std::string& Dir) {
         fs::create_hard_link(Dir + "/pic.bin", Dir + "/twin.bin");
         return Dir + "/twin.bin";
       },
       300000, 10},
      {"hard link reached through a symbolic link", 0644, false,
       [](const std::string& Dir) {
         fs::create_hard_link(Dir + "/pic.bin", Dir + "/twin.bin");
         fs::create_symlink("twin.bin", Dir + "/link.bin");
         return Dir + "/link.bin";
       },
       500, 700},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (c.Chown && !root) {
      // Giving a file to another user needs the superuser.
      std::printf("[ SKIPPED  ] row \"%s\": not running as root\n", c.Name);
      continue;
    }
    TempDir dir("safe-save");
    ASSERT_FALSE(dir.Path.empty());
    const std::string file = dir.Path + "/pic.bin";
    WriteAll(file, Noise(c.OldSize, 1));
    ASSERT_EQ(::chmod(file.c_str(), c.Mode), 0);
    if (c.Chown) {
      ASSERT_EQ(::chown(file.c_str(), 1234, 1234), 0);
    }
    const std::string name = c.Setup(dir.Path);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    // The names that lead to the file, to check they still do afterwards.
    std::vector<std::pair<std::string, std::string>> links;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path))
      if (e.is_symlink()) links.emplace_back(e.path().string(), fs::read_symlink(e.path()).string());

    const std::string data = Noise(c.NewSize, 2);
    ASSERT_TRUE(Save(name, data));

    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(ReadAll(file), data);
    EXPECT_EQ(after.st_mode & 07777, c.Mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_nlink, before.st_nlink);
    for (const auto& [link, text] : links) {
      EXPECT_TRUE(fs::is_symlink(link)) << link;
      EXPECT_EQ(fs::read_symlink(link).string(), text) << link;
    }
    if (before.st_nlink > 1) {
      EXPECT_EQ(after.st_ino, before.st_ino) << "the hard link was cut";
      EXPECT_EQ(ReadAll(dir.Path + "/twin.bin"), data);
    }
    EXPECT_TRUE(SaveTemps(dir.Path).empty());
  }
}

// A dangling link creates the file it names; a loop of links, a folder and a
// missing folder are refused with the system's own words, and nothing is made.
TEST(SafeSave, LinksThatLeadNowhereAndRefusals) {
  TempDir dir("safe-save");
  ASSERT_FALSE(dir.Path.empty());
  fs::create_symlink("new.bin", dir.Path + "/dangling.bin");
  ASSERT_TRUE(Save(dir.Path + "/dangling.bin", "fresh"));
  EXPECT_TRUE(fs::is_symlink(dir.Path + "/dangling.bin"));
  EXPECT_EQ(ReadAll(dir.Path + "/new.bin"), "fresh");

  fs::create_symlink("loop-b", dir.Path + "/loop-a");
  fs::create_symlink("loop-a", dir.Path + "/loop-b");
  fs::create_directory(dir.Path + "/folder");
  fs::create_symlink("folder", dir.Path + "/to-folder");
  struct TCase {
    std::string Name, Reason;
  } cases[] = {
      {dir.Path + "/loop-a", "Too many levels of symbolic links"},
      {dir.Path + "/folder", "Is a directory"},
      {dir.Path + "/to-folder", "Is a directory"},
      {dir.Path + "/missing/x.bin", "No such file or directory"},
  };
  for (const TCase& c : cases) {
    const std::string msg = ExceptionText([&] { TIESafeFileSave out(Wide(c.Name)); });
    EXPECT_EQ(msg, "Cannot create file \"" + c.Name + "\". " + c.Reason);
  }
  EXPECT_THROW(TIESafeFileSave(Wide(dir.Path + "/loop-b")), EFCreateError);
  EXPECT_TRUE(SaveTemps(dir.Path).empty());
}

// Saved as another user: the group and the mode stay, the owner becomes the
// saver (only a superuser may give a file away), and a set-user-id bit does
// not pass to the new owner.
TEST(SafeSave, AnotherUserSavesOverAGroupFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to arrange two users";
  TempDir dir("safe-save");
  ASSERT_FALSE(dir.Path.empty());
  ASSERT_EQ(::chmod(dir.Path.c_str(), 0777), 0);
  const std::string file = dir.Path + "/shared.bin";
  WriteAll(file, "old");
  ASSERT_EQ(::chown(file.c_str(), 4321, 1234), 0);
  ASSERT_EQ(::chmod(file.c_str(), 04664), 0);
  const std::string report = InChild([&]() -> std::string {
    const gid_t groups[] = {1234};
    if (::setgroups(1, groups) != 0 || ::setgid(1234) != 0 || ::setuid(1234) != 0) return "cannot change user";
    return Save(file, "new") ? "" : "the save failed";
  });
  ASSERT_EQ(report, "");
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(ReadAll(file), "new");
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 1234u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_TRUE(SaveTemps(dir.Path).empty());
}

// A save starting in a folder removes the temporary files of saves whose
// writer is gone (killed, even if not yet reaped, or from an earlier boot),
// and never those of a live writer, of this process, of another machine, the
// marked copy of an interrupted in-place save, or names it cannot read.
TEST(SafeSave, StaleTemporariesOfDeadWritersAreRemoved) {
  TempDir dir("safe-save");
  ASSERT_FALSE(dir.Path.empty());
  const std::string target = dir.Path + "/pic.bin";
  WriteAll(target, "old");

  TPendingWriter killed(target), zombie(target), live(target), marked(target), moved(target);
  for (const TPendingWriter* w : {&killed, &zombie, &live, &marked, &moved}) ASSERT_FALSE(w->Temp.empty());
  TIESafeFileSave ours(Wide(target));  // unfinished, in this process
  killed.Kill(true);
  zombie.Kill(false);
  marked.Kill(true);
  moved.Kill(true);
  // Wait until the unreaped child really is dead (a zombie).
  for (int i = 0; i < 500; ++i) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(zombie.Pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0)
      break;
    ::usleep(10000);
  }

  // Names of the same writers with one field changed: the first field is the
  // machine, the second the boot.
  const auto withField = [](const std::string& Path, int Field, const std::string& Value) {
    const size_t slash = Path.rfind('/');
    std::string name = Path.substr(slash + 1);
    size_t at = std::strlen(".gt-save-");
    for (int f = 0; f < Field; ++f) at = name.find('-', at) + 1;
    name.replace(at, name.find('-', at) - at, Value);
    return Path.substr(0, slash + 1) + name;
  };
  const std::string otherBoot = withField(live.Temp, 1, "00c0ffee");
  const std::string otherHost = withField(moved.Temp, 0, "00c0ffee");
  ASSERT_EQ(::rename(moved.Temp.c_str(), otherHost.c_str()), 0);
  WriteAll(otherBoot, "");
  const std::string markedCopy = marked.Temp.substr(0, marked.Temp.size() - 4) + "-copy.tmp";
  ASSERT_EQ(::rename(marked.Temp.c_str(), markedCopy.c_str()), 0);
  const std::string unreadable = dir.Path + "/.gt-save-0123ABCD.tmp";
  WriteAll(unreadable, "");

  ASSERT_TRUE(Save(target, "new"));

  struct TRow {
    const char* What;
    std::string Name;
    bool Stays;
  } rows[] = {
      {"killed writer", killed.Temp, false},
      {"killed writer not yet reaped", zombie.Temp, false},
      {"writer of an earlier boot", otherBoot, false},
      {"live writer", live.Temp, true},
      {"unfinished save of this process", WideToUtf8(ours.TempName()), true},
      {"writer on another machine", otherHost, true},
      {"marked copy of an in-place save", markedCopy, true},
      {"name without a writer", unreadable, true},
  };
  for (const TRow& r : rows) EXPECT_EQ(fs::exists(r.Name), r.Stays) << r.What << ": " << r.Name;
  EXPECT_EQ(ReadAll(target), "new");

  // Once the live writer dies, the next save clears its file too.
  live.Kill(true);
  ASSERT_TRUE(Save(target, "newer"));
  EXPECT_FALSE(fs::exists(live.Temp));
  EXPECT_TRUE(fs::exists(WideToUtf8(ours.TempName())));
}

// A full file system: the write fails with the system's reason, the save is
// refused even when a writer ignores the short write, the original stays
// byte for byte and no temporary file remains. A small tmpfs mounted in a
// private mount namespace of a child process makes the disk full for real.
TEST(SafeSave, FullDiskLeavesTheOriginalAndSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TempDir outside("safe-save-log");
  TempDir mnt("safe-save-full");
  ASSERT_FALSE(outside.Path.empty());
  ASSERT_FALSE(mnt.Path.empty());
  const std::string log = outside.Path + "/debug.log";
  const std::string report = InChild([&]() -> std::string {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("SKIP unshare: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("SKIP private mounts: ") + std::strerror(errno);
    if (::mount("tmpfs", mnt.Path.c_str(), "tmpfs", 0, "size=256k") != 0)
      return std::string("SKIP mount tmpfs: ") + std::strerror(errno);
    IEDebugLogFile = Wide(log);
    std::string fails;
    const auto check = [&](bool Ok, const std::string& What) {
      if (!Ok) fails += What + "\n";
    };
    const std::string full = "No space left on device";

    struct TCase {
      const char* Name;
      size_t OldSize, NewSize;
      bool HardLink;
    } cases[] = {
        {"plain file", 8000, 400000, false},
        // The new content fits in the temporary, but the original cannot grow
        // to hold it: the room is reserved before any byte changes.
        {"hard-linked file", 100000, 140000, true},
    };
    for (const TCase& c : cases) {
      const std::string tag = std::string(c.Name) + ": ";
      const std::string file = mnt.Path + "/pic.bin", twin = mnt.Path + "/twin.bin";
      const std::string original = Noise(c.OldSize, 3);
      WriteAll(file, original);
      if (c.HardLink) ::link(file.c_str(), twin.c_str());
      {
        TIESafeFileSave out(Wide(file));
        const std::string data = Noise(c.NewSize, 4);
        // Write as a careless writer would: on past a short write.
        out.Stream()->Write(data.data(), static_cast<int64_t>(data.size()));
        check(!out.Commit(), tag + "a save that did not fit was reported as done");
        check(out.ErrorCode() == ENOSPC, tag + "error code " + std::to_string(out.ErrorCode()));
        check(WideToUtf8(out.ErrorMessage()) == "Cannot create file \"" + file + "\". " + full,
              tag + "message: " + WideToUtf8(out.ErrorMessage()));
        check(ExceptionText([&] { out.RaiseError(); }) == WideToUtf8(out.ErrorMessage()), tag + "RaiseError");
      }
      check(ReadAll(file) == original, tag + "the original changed");
      if (c.HardLink) check(ReadAll(twin) == original, tag + "the other name changed");
      check(SaveTemps(mnt.Path).empty(), tag + "a temporary file was left");
      ::unlink(file.c_str());
      ::unlink(twin.c_str());
    }

    // The whole way through the I/O companion and a real writer.
    const std::string pic = mnt.Path + "/photo.png";
    const std::string original = Noise(5000, 5);
    WriteAll(pic, original);
    IEBuildFormatRegistry();
    TZiduzUvIO io(nullptr);
    io.IEBitmap()->Allocate(400, 400, ie24RGB);
    std::mt19937 gen(6);
    for (int y = 0; y < 400; ++y) {
      auto* row = static_cast<Byte*>(io.IEBitmap()->GetScanline(y));
      for (int x = 0; x < 1200; ++x) row[x] = static_cast<Byte>(gen());
    }
    std::string raised;
    try {
      io.SaveToFile(Wide(pic));
    } catch (const Exception& e) {
      raised = e.what();
    }
    check(io.Aborting(), "companion: the save did not report failure");
    check(ReadAll(pic) == original, "companion: the original changed");
    check(SaveTemps(mnt.Path).empty(), "companion: a temporary file was left");
    const std::string logged = ReadAll(log);
    check(raised.find(full) != std::string::npos || logged.find(full) != std::string::npos,
          "companion: the reason was neither raised nor logged; log: " + logged);
    check(logged.find("Cannot create file \"" + pic + "\". " + full) != std::string::npos,
          "companion: log lacks the message: " + logged);
    IEFreeFormatRegistry();
    return fails;
  });
  if (report.rfind("SKIP ", 0) == 0) GTEST_SKIP() << report.substr(5);
  EXPECT_EQ(report, "");
}

}  // namespace test_safe_save_tests
