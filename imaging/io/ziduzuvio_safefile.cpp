// Saving through a temporary file in the target's folder.
#include "imaging/io/ziduzuvio_safefile.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/base/fileutils.h"
#include "platform/base/sysutils.h"

namespace {

[[noreturn]] void RaiseCreate(const WideString& Target, int Err) {
  throw EFCreateError(W("Cannot create file \"") + ExpandFileName(Target) + W("\". ") + SysErrorMessage(Err));
}

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

}  // namespace

TIESafeFileSave::TIESafeFileSave(const WideString& FileName) : FTarget(FileName) {
  if (FTarget.empty()) RaiseCreate(FileName, ENOENT);
  // Saving through a link replaces the file it points to, not the link.
  const std::string native = NativeFileName(FTarget);
  struct stat lst;
  if (::lstat(native.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(native.c_str(), resolved)) FTarget = WideFileName(resolved);
  }
  if (DirectoryExists(FTarget)) RaiseCreate(FileName, EISDIR);
  // A file we may not write stays protected: renaming over it would bypass that.
  if (FileExists(FTarget) && ::access(NativeFileName(FTarget).c_str(), W_OK) != 0) RaiseCreate(FileName, EACCES);
  WideString folder = ExtractFilePath(FTarget);
  try {
    FHandle = CreateTempFile(folder, W(".gt-save-"), W(".tmp"), FTempName);
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
  FStream.reset();
  if (FHandle >= 0) ::close(FHandle);
  if (!FTempName.empty()) DeleteFile(FTempName);
}

bool TIESafeFileSave::Commit() {
  if (FHandle < 0 || FTempName.empty()) return false;
  struct stat st;
  const mode_t mode = ::stat(NativeFileName(FTarget).c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();
  if (::fchmod(FHandle, mode) != 0) return false;
  if (::fsync(FHandle) != 0) return false;
  FStream.reset();
  const int fd = FHandle;
  FHandle = -1;
  if (::close(fd) != 0) return false;
  if (!RenameFile(FTempName, FTarget, true)) return false;
  FTempName.clear();
  return true;
}
