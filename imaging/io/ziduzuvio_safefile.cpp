// Saving through a temporary file in the target's folder, keeping the
// target's attributes and links, and clearing what killed saves left behind.
#include "imaging/io/ziduzuvio_safefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"

namespace {

const char kTempPrefix[] = ".gt-save-";
const char kTempExt[] = ".tmp";
// Appended to a temporary whose content is being copied into a hard-linked
// target: after a crash it may be the only complete copy, so nobody removes it.
const char kCopyMark[] = "-copy";

WideString CreateMessage(const WideString& Name, int Err) {
  return W("Cannot create file \"") + ExpandFileName(Name) + W("\". ") + SysErrorMessage(Err);
}

[[noreturn]] void RaiseCreate(const WideString& Name, int Err) { throw EFCreateError(CreateMessage(Name, Err)); }

// The permission bits a file created now gets: 0666 less the process's
// creation mask, read without changing it (umask() would, for every thread).
mode_t NewFileMode() {
  mode_t mask = 022;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
      unsigned m = 0;
      if (std::sscanf(line, "Umask: %o", &m) == 1) {
        mask = static_cast<mode_t>(m);
        break;
      }
    }
    std::fclose(f);
  }
  return 0666 & ~mask;
}

std::string ReadSmallFile(const char* Path) {
  std::string out;
  if (FILE* f = std::fopen(Path, "re")) {
    char buf[512];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    out.assign(buf, n);
    std::fclose(f);
  }
  return out;
}

std::string Hex32(uint32_t V) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", V);
  return buf;
}

uint32_t Fnv32(const std::string& S) {
  uint32_t h = 2166136261u;
  for (unsigned char c : S) h = (h ^ c) * 16777619u;
  return h;
}

// ---------------------------------------------------------------------------
// Who wrote a temporary file. The name carries enough to tell, later and from
// another process, whether its writer can still be running: the machine, the
// boot, the pid namespace, the pid and the process's start time (a pid alone
// is reused). Fields a system cannot give are 0, and a 0 never proves a
// writer gone.

struct TWriter {
  std::string Host, Boot, Ns;  // lower-case hex
  long long Pid = 0;
  unsigned long long Start = 0;
};

// The start time (clock ticks after boot) and state letter of a process, from
// /proc/<pid>/stat; false when the process does not exist there.
bool ProcStat(long long Pid, unsigned long long& Start, char& State) {
  char path[64];
  if (Pid > 0)
    std::snprintf(path, sizeof path, "/proc/%lld/stat", Pid);
  else
    std::snprintf(path, sizeof path, "/proc/self/stat");
  const std::string s = ReadSmallFile(path);
  // The command name may hold spaces and parentheses: the fields start after the last ")".
  const size_t close = s.rfind(')');
  if (close == std::string::npos) return false;
  const char* p = s.c_str() + close + 1;
  std::vector<std::string> fields;
  while (*p && fields.size() < 20) {
    while (*p == ' ') ++p;
    const char* q = p;
    while (*q && *q != ' ') ++q;
    if (q == p) break;
    fields.emplace_back(p, q);
    p = q;
  }
  if (fields.size() < 20 || fields[0].empty()) return false;
  State = fields[0][0];
  Start = std::strtoull(fields[19].c_str(), nullptr, 10);
  return true;
}

// The parts of this process's identity that a fork keeps.
struct TMachine {
  std::string Host, Boot, Ns;
};

const TMachine& Machine() {
  static const TMachine m = [] {
    TMachine r;
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string machine = ReadSmallFile("/etc/machine-id");
    if (machine.empty()) machine = ReadSmallFile("/var/lib/dbus/machine-id");
    r.Host = Hex32(Fnv32(machine + "|" + host));
    const std::string boot = ReadSmallFile("/proc/sys/kernel/random/boot_id");
    r.Boot = boot.empty() ? "0" : Hex32(Fnv32(boot));
    char link[128] = {};
    const ssize_t n = ::readlink("/proc/self/ns/pid", link, sizeof link - 1);
    unsigned long long ns = 0;
    if (n > 0) std::sscanf(link, "pid:[%llu]", &ns);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llx", ns);
    r.Ns = buf;
    return r;
  }();
  return m;
}

TWriter Self() {
  TWriter w;
  const TMachine& m = Machine();
  w.Host = m.Host;
  w.Boot = m.Boot;
  w.Ns = m.Ns;
  w.Pid = ::getpid();  // not cached: a forked child is another writer
  char state = 0;
  if (!ProcStat(0, w.Start, state)) w.Start = 0;
  return w;
}

std::string TempStem(const TWriter& W) {
  return std::string(kTempPrefix) + W.Host + "-" + W.Boot + "-" + W.Ns + "-" + std::to_string(W.Pid) + "-" +
         std::to_string(W.Start) + "-";
}

bool AllOf(const std::string& S, const char* Chars) {
  return !S.empty() && S.size() <= 20 && S.find_first_not_of(Chars) == std::string::npos;
}

// Reads the writer out of a temporary's name; false for any other name,
// including the marked copies of in-place saves and names of older versions.
bool ParseTempName(const std::string& Name, TWriter& W) {
  const size_t pre = sizeof kTempPrefix - 1, ext = sizeof kTempExt - 1;
  if (Name.size() <= pre + ext || Name.compare(0, pre, kTempPrefix) != 0 ||
      Name.compare(Name.size() - ext, ext, kTempExt) != 0)
    return false;
  const std::string body = Name.substr(pre, Name.size() - pre - ext);
  std::vector<std::string> f;
  size_t at = 0;
  while (true) {
    const size_t dash = body.find('-', at);
    f.push_back(body.substr(at, dash == std::string::npos ? std::string::npos : dash - at));
    if (dash == std::string::npos) break;
    at = dash + 1;
  }
  static const char hex[] = "0123456789abcdef", digits[] = "0123456789";
  if (f.size() != 6 || !AllOf(f[0], hex) || !AllOf(f[1], hex) || !AllOf(f[2], hex) || !AllOf(f[3], digits) ||
      !AllOf(f[4], digits) || !AllOf(f[5], "0123456789ABCDEF"))
    return false;
  W.Host = f[0];
  W.Boot = f[1];
  W.Ns = f[2];
  W.Pid = std::strtoll(f[3].c_str(), nullptr, 10);
  W.Start = std::strtoull(f[4].c_str(), nullptr, 10);
  return true;
}

// True only when the writer certainly cannot write any more. Writers on
// other machines or in other pid namespaces are never judged: their pids
// mean nothing here.
bool WriterGone(const TWriter& W, const TWriter& Me) {
  if (W.Host != Me.Host) return false;
  if (W.Boot != Me.Boot) return W.Boot != "0" && Me.Boot != "0";  // an earlier boot of this machine
  if (W.Ns != Me.Ns || W.Ns == "0" || W.Pid <= 0) return false;
  if (W.Pid == Me.Pid && W.Start == Me.Start) return false;  // another save of this process
  unsigned long long start = 0;
  char state = 0;
  if (Me.Start != 0) {
    // /proc works here: a missing entry, a zombie or another start time
    // (the pid was reused) all mean the writer is gone.
    if (!ProcStat(W.Pid, start, state)) return ::kill(static_cast<pid_t>(W.Pid), 0) != 0 && errno == ESRCH;
    return state == 'Z' || state == 'X' || (W.Start != 0 && start != W.Start);
  }
  return ::kill(static_cast<pid_t>(W.Pid), 0) != 0 && errno == ESRCH;
}

// Removes the temporary files of dead writers from Folder ("" is the
// current folder). Best effort: a file that cannot be removed stays.
void RemoveStaleTemps(const std::string& Folder, const TWriter& Me) {
  DIR* d = ::opendir(Folder.empty() ? "." : Folder.c_str());
  if (!d) return;
  const int dfd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    TWriter w;
    if (!ParseTempName(e->d_name, w) || !WriterGone(w, Me)) continue;
    struct stat st {};
    if (::fstatat(dfd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      ::unlinkat(dfd, e->d_name, 0);
  }
  ::closedir(d);
}

// Follows a chain of symbolic links to the name that is not one (which may
// not exist yet: a dangling link creates its target). Relative link texts
// count from the folder of the link. False with ELOOP for a cycle.
bool ResolveLinks(std::string Path, std::string& Out, int& Err) {
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      Out = Path;
      return true;
    }
    std::vector<char> buf(static_cast<size_t>(std::max<off_t>(st.st_size, 255)) + 1);
    const ssize_t n = ::readlink(Path.c_str(), buf.data(), buf.size() - 1);
    if (n <= 0) {
      Err = n < 0 ? errno : ENOENT;
      return false;
    }
    const std::string text(buf.data(), static_cast<size_t>(n));
    if (text[0] == '/') {
      Path = text;
    } else {
      const size_t slash = Path.rfind('/');
      Path = (slash == std::string::npos ? std::string() : Path.substr(0, slash + 1)) + text;
    }
  }
  Err = ELOOP;
  return false;
}

bool WriteAllAt(int Fd, const char* Data, size_t Count, off_t Offset, bool Positional) {
  size_t done = 0;
  while (done < Count) {
    const ssize_t n = Positional ? ::pwrite(Fd, Data + done, Count - done, Offset + static_cast<off_t>(done))
                                 : ::write(Fd, Data + done, Count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Makes sure the file can grow from OldSize to NewSize before any byte of its
// content changes, so that a full disk cannot stop the copy halfway.
bool Reserve(int Fd, off_t OldSize, off_t NewSize) {
  if (NewSize <= OldSize) return true;
  if (::fallocate(Fd, 0, OldSize, NewSize - OldSize) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
  // File systems without fallocate: write the new tail (zeros for now; the
  // copy overwrites it), which touches nothing of the old content.
  static const char zeros[65536] = {};
  for (off_t at = OldSize; at < NewSize;) {
    const size_t n = static_cast<size_t>(std::min<off_t>(NewSize - at, sizeof zeros));
    if (!WriteAllAt(Fd, zeros, n, at, true)) return false;
    at += static_cast<off_t>(n);
  }
  return true;
}

void SyncFolderOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : Path.substr(0, slash);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // best effort: the rename itself has already happened
  ::close(fd);
}

}  // namespace

TIESafeFileSave::TIESafeFileSave(const WideString& FileName) : FFileName(FileName) {
  if (FileName.empty()) RaiseCreate(FileName, ENOENT);
  // Saving through a link replaces the file it leads to, not the link.
  std::string target;
  int err = 0;
  if (!ResolveLinks(NativeFileName(FileName), target, err)) RaiseCreate(FileName, err);
  FTarget = WideFileName(target);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) RaiseCreate(FileName, EISDIR);
    // A file we may not write stays protected: renaming over it would bypass that.
    if (::access(target.c_str(), W_OK) != 0) RaiseCreate(FileName, errno);
  }
  const WideString folder = ExtractFilePath(FTarget);
  const TWriter me = Self();
  RemoveStaleTemps(NativeFileName(folder), me);
  try {
    FHandle = CreateTempFile(folder, WideFileName(TempStem(me)), W(kTempExt), FTempName);
  } catch (const EFCreateError& e) {
    // Report the file the caller named, with the reason the folder gave.
    const WideString& msg = e.Message();
    const size_t at = msg.rfind(W("\". "));
    throw EFCreateError(W("Cannot create file \"") + ExpandFileName(FileName) + W("\". ") +
                        (at == WideString::npos ? msg : msg.substr(at + 3)));
  }
  FStream = std::make_unique<THandleStream>(FHandle, false);
}

TIESafeFileSave::~TIESafeFileSave() {
  if (FError == 0 && FStream && !FTempName.empty()) FError = FStream->LastError();
  FStream.reset();
  if (FHandle >= 0) ::close(FHandle);
  if (!FTempName.empty()) DeleteFile(FTempName);
  if (FError != 0) LogFailure();
}

int TIESafeFileSave::ErrorCode() const {
  if (FError != 0) return FError;
  return FStream ? FStream->LastError() : 0;
}

WideString TIESafeFileSave::ErrorMessage() const {
  const int err = ErrorCode();
  return err == 0 ? WideString() : CreateMessage(FFileName, err);
}

void TIESafeFileSave::RaiseError() const {
  if (ErrorCode() != 0) throw EFCreateError(ErrorMessage());
}

void TIESafeFileSave::LogFailure() {
  if (FLogged) return;
  FLogged = true;
  try {
    IEWriteDebugLog(ErrorMessage());
  } catch (...) {
    // logging never breaks a save's clean-up
  }
}

bool TIESafeFileSave::Fail(int Err) {
  if (FError == 0) FError = Err != 0 ? Err : EIO;
  LogFailure();
  return false;
}

bool TIESafeFileSave::Commit() {
  if (FHandle < 0 || FTempName.empty() || !FStream) return false;
  // A write the system refused fails the save even when the writer went on.
  if (const int err = FStream->LastError()) return Fail(err);
  struct stat st {};
  const std::string target = NativeFileName(FTarget);
  if (::stat(target.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && (!S_ISREG(st.st_mode) || st.st_nlink > 1))
    return CommitInPlace();
  return CommitByRename();
}

bool TIESafeFileSave::CommitByRename() {
  const std::string target = NativeFileName(FTarget);
  struct stat orig {};
  mode_t mode;
  if (::stat(target.c_str(), &orig) == 0) {
    mode = orig.st_mode & 07777;
    struct stat mine {};
    if (::fstat(FHandle, &mine) != 0) return Fail(errno);
    // Owner and group where the process may set them (a superuser, or a
    // member of the group): otherwise the saver's, which the system decides.
    if (mine.st_uid != orig.st_uid || mine.st_gid != orig.st_gid) {
      if (::fchown(FHandle, orig.st_uid, orig.st_gid) != 0 && mine.st_gid != orig.st_gid)
        (void)::fchown(FHandle, static_cast<uid_t>(-1), orig.st_gid);
      if (::fstat(FHandle, &mine) != 0) return Fail(errno);
    }
    // Set-id bits belong to the owner who set them, not to whoever saves.
    if (mine.st_uid != orig.st_uid) mode &= ~S_ISUID;
    if (mine.st_gid != orig.st_gid) mode &= ~S_ISGID;
  } else {
    mode = NewFileMode();
  }
  // After fchown, which clears set-id bits.
  if (::fchmod(FHandle, mode) != 0) return Fail(errno);
  if (::fsync(FHandle) != 0) return Fail(errno);
  FStream.reset();
  const int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0) return Fail(errno);
  if (::rename(NativeFileName(FTempName).c_str(), target.c_str()) != 0) return Fail(errno);
  FTempName.clear();
  SyncFolderOf(target);
  return true;
}

// A file with several hard links, or one that is not a regular file (a
// device), cannot be replaced by a rename without cutting it off from its
// other names. Its content is overwritten instead, and what "never
// half-written" still means there is this: the new content is complete and on
// disk in the temporary before the first byte of the target changes, and the
// room for a larger file is reserved first, so that a full disk, a writer
// error or a failed reservation leave the target exactly as it was. The one
// window left is the copy itself: a crash or kill there leaves the target
// mixed. The temporary is therefore renamed with a mark first; marked files
// are never removed as stale, so after such a crash the complete new content
// remains beside the target. (On copy-on-write file systems an overwrite may
// still need new room; the reservation cannot promise it there.)
bool TIESafeFileSave::CommitInPlace() {
  const std::string target = NativeFileName(FTarget);
  struct stat tmp {};
  if (::fstat(FHandle, &tmp) != 0) return Fail(errno);
  if (::fsync(FHandle) != 0) return Fail(errno);
  int fd;
  do fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(errno);
  struct stat orig {};
  if (::fstat(fd, &orig) != 0 || S_ISDIR(orig.st_mode)) {
    const int err = S_ISDIR(orig.st_mode) ? EISDIR : errno;
    ::close(fd);
    return Fail(err);
  }
  const bool regular = S_ISREG(orig.st_mode);
  const off_t newSize = tmp.st_size, oldSize = regular ? orig.st_size : 0;
  if (regular && !Reserve(fd, oldSize, newSize)) {
    const int err = errno;
    (void)::ftruncate(fd, oldSize);  // give back what the reservation took
    ::close(fd);
    return Fail(err);
  }

  // From here on the target changes: the temporary becomes the marked copy.
  const std::string from = NativeFileName(FTempName);
  const std::string marked = from.substr(0, from.size() - (sizeof kTempExt - 1)) + kCopyMark + kTempExt;
  if (::rename(from.c_str(), marked.c_str()) == 0) FTempName = WideFileName(marked);
  bool ok = true;
  std::vector<char> buf(256 * 1024);
  for (off_t at = 0; ok && at < newSize;) {
    const ssize_t n = ::pread(FHandle, buf.data(), std::min<size_t>(buf.size(), newSize - at), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;  // the temporary shrank under us
      ok = false;
      break;
    }
    ok = WriteAllAt(fd, buf.data(), static_cast<size_t>(n), at, regular);
    at += n;
  }
  if (ok && regular && newSize < oldSize) ok = ::ftruncate(fd, newSize) == 0;
  if (ok && ::fsync(fd) != 0 && regular) ok = false;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  FStream.reset();
  ::close(FHandle);
  FHandle = -1;
  if (!ok) {
    FError = err != 0 ? err : EIO;
    // Keep the complete new content: the target may now be mixed.
    const WideString kept = FTempName;
    FTempName.clear();
    FLogged = true;
    try {
      IEWriteDebugLog(ErrorMessage() + W(" The new content remains in \"") + kept + W("\"."));
    } catch (...) {
    }
    return false;
  }
  ::unlink(NativeFileName(FTempName).c_str());
  FTempName.clear();
  return true;
}
