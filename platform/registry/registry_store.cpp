// The user's registry file: cached reads, locked and atomic writes, and the
// setting aside of a file that cannot be read.
#include "platform/registry/registry_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/registry/registry_file.h"

namespace gt::reg {
namespace {

int64_t Nanoseconds(const timespec& T) { return static_cast<int64_t>(T.tv_sec) * 1000000000 + T.tv_nsec; }

timespec WallClock() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return t;
}

std::string ErrorText(int Error) {
  if (Error == EINVAL) return "not a regular file";
  if (Error == EFBIG) return "file too large";
  char buf[256];
  return strerror_r(Error, buf, sizeof buf);
}

// Holds an exclusive advisory lock on the side lock file while it lives. The
// kernel drops the lock when the holder dies, so a killed writer blocks no one.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (FFd >= 0) close(FFd);
  }
  bool Acquire(const std::string& Path) {
    FFd = open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (FFd < 0) return false;
    while (flock(FFd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(FFd);
        FFd = -1;
        return false;
      }
    }
    return true;
  }

 private:
  int FFd = -1;
};

// Reads from Fd to its end, expecting about Expected bytes; 0 or an errno value.
int ReadToEnd(int Fd, size_t Expected, std::string& Out) {
  Out.resize(Expected);
  size_t done = 0;
  int result = 0;
  for (;;) {
    if (done == Out.size()) {
      if (Out.size() > kMaxFileSize) {
        result = EFBIG;
        break;
      }
      Out.resize(Out.size() + 4096);
    }
    ssize_t n = read(Fd, Out.data() + done, Out.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      result = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  Out.resize(done);
  return result;
}

// Reads the whole file; returns 0 or an errno value. Only regular files are
// read (a FIFO or a device in the file's place must not block or flood us).
template <class Sig>
int ReadWhole(const std::string& Path, std::string& Out, Sig& S) {
  Out.clear();
  struct stat st;
  auto keep = [&S](const struct stat& From) {
    S.Dev = From.st_dev;
    S.Ino = From.st_ino;
    S.Size = From.st_size;
    S.MTime = From.st_mtim;
  };
  int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    int error = errno;
    // An unreadable file is still told apart from its successor by its signature.
    if (stat(Path.c_str(), &st) == 0) keep(st);
    return error;
  }
  int result = 0;
  if (fstat(fd, &st) != 0) {
    result = errno;
  } else {
    keep(st);
    if (!S_ISREG(st.st_mode))
      result = EINVAL;
    else if (static_cast<uint64_t>(st.st_size) > kMaxFileSize)
      result = EFBIG;
    else
      result = ReadToEnd(fd, static_cast<size_t>(st.st_size), Out);
  }
  close(fd);
  if (result != 0) Out.clear();
  return result;
}

bool WriteAll(int Fd, const std::string& Bytes) {
  size_t done = 0;
  while (done < Bytes.size()) {
    ssize_t n = write(Fd, Bytes.data() + done, Bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string HomeFolder() {
  const char* home = getenv("HOME");
  if (home && *home) return home;
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir)
    return found->pw_dir;
  return {};
}

}  // namespace

std::string RegStore::DefaultPath() {
  const char* file = getenv("GT_REGISTRY_FILE");
  if (file && *file) return file;
  std::string base;
  const char* xdg = getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;  // a relative value is invalid and ignored, as the convention says
  } else {
    std::string home = HomeFolder();
    if (home.empty()) return {};
    base = home + "/.config";
  }
  return base + "/gimro-tal/registry.json";
}

std::shared_ptr<RegStore> RegStore::ForPath(const std::string& Path) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<RegStore>> stores;
  std::string key;
  if (!Path.empty()) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(Path, ec);
    key = ec ? Path : absolute.lexically_normal().string();
  }
  std::lock_guard<std::mutex> guard(mutex);
  auto& slot = stores[key];
  if (!slot) slot = std::make_shared<RegStore>(key);
  return slot;
}

RegStore::RegStore(std::string Path) : FPath(std::move(Path)) {
  if (FPath.empty()) return;
  std::filesystem::path p(FPath);
  FDir = p.parent_path().string();
  if (FDir.empty()) FDir = ".";
  FLockPath = FPath + ".lock";
  FTempPrefix = FDir + "/." + p.filename().string() + ".tmp-";
}

void RegStore::Read(const std::function<void(const RegTree&)>& Fn) {
  std::lock_guard<std::mutex> guard(FMutex);
  Refresh();
  Fn(FTree);
}

bool RegStore::Modify(const std::function<RegChange(RegTree&)>& Fn) {
  std::lock_guard<std::mutex> guard(FMutex);
  if (FPath.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(FDir, ec);
  if (ec) return false;
  FileLock lock;
  if (!lock.Acquire(FLockPath)) return false;
  RemoveStaleTemporaries();
  // Apply the change to the file as it is now, not to what this process saw
  // last: another process may have written since.
  if (!LoadLocked()) return false;
  RegChange change = Fn(FTree);
  if (change == RegChange::Failed) return false;
  if (change == RegChange::Unchanged) return true;
  std::string bytes = FormatRegistryFile(FTree);
  if (bytes.size() > kMaxFileSize || !WriteFile(bytes)) {
    FState = State::Unknown;  // the next access reads the file again
    return false;
  }
  return true;
}

void RegStore::Refresh() {
  if (FPath.empty()) {
    UseEmpty(State::NoFile);
    return;
  }
  struct stat st;
  if (stat(FPath.c_str(), &st) != 0) {
    int error = errno;
    if (error == ENOENT || error == ENOTDIR) {
      UseEmpty(State::NoFile);
      return;
    }
    // The file cannot even be looked at (a folder without permission):
    // nothing can be set aside.
    if (FState != State::Damaged || !(FSig == FileSig{}))
      Report("the registry file " + FPath + " cannot be read (" + ErrorText(error) +
             "); an empty registry is used");
    UseEmpty(State::Damaged);
    return;
  }
  FileSig sig{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  if (FState == State::Damaged && sig == FSig) return;
  // The signature alone can miss a change: a new file may reuse the inode and
  // the size within one tick of the file-system clock. Until the file is
  // older than that, its bytes are compared as well.
  if (FState == State::Loaded && sig == FSig &&
      Nanoseconds(FVerifiedAt) - Nanoseconds(FSig.MTime) >= 1000000000)
    return;
  std::string bytes, why;
  FileSig readSig;
  int error = ReadWhole(FPath, bytes, readSig);
  if (error == ENOENT) {
    UseEmpty(State::NoFile);
    return;
  }
  if (error == 0 && TakeBytes(std::move(bytes), readSig, why)) return;
  // Damaged or unreadable: set it aside under the lock, so that a good file
  // another process has just written is never the one renamed.
  FileLock lock;
  if (lock.Acquire(FLockPath)) {
    LoadLocked();
    return;
  }
  if (FState != State::Damaged || !(FSig == readSig))
    Report("the registry file " + FPath + " cannot be read (" +
           (error ? ErrorText(error) : why) + "); an empty registry is used");
  UseEmpty(State::Damaged);
  FSig = readSig;
}

bool RegStore::LoadLocked() {
  std::string bytes, why;
  FileSig sig;
  int error = ReadWhole(FPath, bytes, sig);
  if (error == ENOENT) {
    UseEmpty(State::NoFile);
    return true;
  }
  if (error == 0) {
    if (TakeBytes(std::move(bytes), sig, why)) return true;
  } else {
    why = ErrorText(error);
  }
  std::string aside = SetAside();
  if (!aside.empty()) {
    Report("the registry file " + FPath + " could not be read (" + why + "); it was set aside as " +
           aside + " and an empty registry is used");
    UseEmpty(State::NoFile);
    return true;
  }
  int asideError = errno;
  if (FState != State::Damaged || !(FSig == sig))
    Report("the registry file " + FPath + " could not be read (" + why + ") nor set aside (" +
           ErrorText(asideError) + "); an empty registry is used and nothing is written");
  UseEmpty(State::Damaged);
  FSig = sig;
  return false;
}

bool RegStore::TakeBytes(std::string Bytes, const FileSig& Sig, std::string& Error) {
  if (FState == State::Loaded && Bytes == FBytes) {
    FSig = Sig;
    FVerifiedAt = WallClock();
    return true;
  }
  RegTree tree;
  if (!ParseRegistryFile(Bytes, tree, Error)) return false;
  FTree = std::move(tree);
  FBytes = std::move(Bytes);
  FSig = Sig;
  FState = State::Loaded;
  FVerifiedAt = WallClock();
  return true;
}

void RegStore::UseEmpty(State S) {
  FTree.Clear();
  FBytes.clear();
  FSig = FileSig{};
  FState = S;
}

std::string RegStore::SetAside() {
  char stamp[32];
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = FPath + ".damaged-" + stamp;
  for (int n = 0; n < 1000; ++n) {
    std::string target = n == 0 ? base : base + "-" + std::to_string(n);
    if (renameat2(AT_FDCWD, FPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
      return target;
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) return {};
    // A file system without no-replace renames: look first. The lock keeps our
    // own writers out between the look and the rename.
    struct stat st;
    if (lstat(target.c_str(), &st) == 0) continue;
    if (rename(FPath.c_str(), target.c_str()) == 0) return target;
    return {};
  }
  errno = EEXIST;
  return {};
}

bool RegStore::WriteFile(const std::string& Bytes) {
  std::string temp = FTempPrefix + "XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (stat(FPath.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
  bool ok = WriteAll(fd, Bytes) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), FPath.c_str()) != 0) ok = false;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dir = open(FDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  if (stat(FPath.c_str(), &st) != 0) {
    FState = State::Unknown;
    return true;
  }
  FBytes = Bytes;
  FSig = FileSig{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  FState = State::Loaded;
  FVerifiedAt = WallClock();
  return true;
}

void RegStore::RemoveStaleTemporaries() {
  if (FTemporariesChecked) return;
  FTemporariesChecked = true;
  // Temporaries are only made under the lock we hold, so any that exist were
  // left by a writer that died.
  std::string prefix = std::filesystem::path(FTempPrefix).filename().string();
  DIR* dir = opendir(FDir.c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0)
      unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

void RegStore::Report(const std::string& Message) {
  std::fprintf(stderr, "gimro-tal: %s\n", Message.c_str());
}

}  // namespace gt::reg
