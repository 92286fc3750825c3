#include "platform/base/fileutils.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// A file name is any byte string. Bytes that are not UTF-8 become the lone
// surrogates U+DC80..U+DCFF and go back to the same bytes, so every name the
// system gives can be opened again (other texts still show U+FFFD).
std::string NativeFileName(const WideString& FileName) {
  std::string Out;
  size_t From = 0;
  for (size_t i = 0; i <= FileName.size(); ++i) {
    char16_t C = i < FileName.size() ? FileName[i] : 0;
    bool Escaped = C >= 0xDC80 && C <= 0xDCFF && !(i > 0 && FileName[i - 1] >= 0xD800 && FileName[i - 1] <= 0xDBFF);
    if (i < FileName.size() && !Escaped) continue;
    Out += WideToUtf8(FileName.substr(From, i - From));
    if (Escaped) Out += static_cast<char>(C - 0xDC00);
    From = i + 1;
  }
  return Out;
}

WideString WideFileName(const std::string& NativeName) {
  WideString Out;
  size_t i = 0, n = NativeName.size();
  while (i < n) {
    auto B = static_cast<unsigned char>(NativeName[i]);
    size_t Len = B < 0x80 ? 1 : (B & 0xE0) == 0xC0 ? 2 : (B & 0xF0) == 0xE0 ? 3 : (B & 0xF8) == 0xF0 ? 4 : 0;
    if (Len > 0 && i + Len <= n) {
      WideString W = Utf8ToWide(NativeName.substr(i, Len));
      // A valid sequence comes back as one code point and no replacement character.
      if (W.find(u'\uFFFD') == WideString::npos || NativeName.compare(i, Len, "\xEF\xBF\xBD") == 0) {
        Out += W;
        i += Len;
        continue;
      }
    }
    Out += static_cast<char16_t>(0xDC00 + B);
    ++i;
  }
  return Out;
}

namespace {

bool StatName(const WideString& Name, struct stat& St) {
  std::string p = NativeFileName(Name);
  return !p.empty() && ::stat(p.c_str(), &St) == 0;
}

uint32_t RandomWord() {
  uint32_t v = 0;
  ssize_t n;
  do n = ::getrandom(&v, sizeof v, 0);
  while (n < 0 && errno == EINTR);
  if (n != static_cast<ssize_t>(sizeof v)) {
    // getrandom is missing or refused: a counter mixed with time and pid
    // still differs between callers; O_EXCL keeps names unique anyway.
    static std::atomic<uint32_t> counter{0};
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    v = static_cast<uint32_t>(ts.tv_nsec) * 2654435761u ^ static_cast<uint32_t>(getpid()) ^
        (counter.fetch_add(1) * 40503u);
  }
  return v;
}

}  // namespace

bool FileExists(const WideString& FileName) {
  struct stat st {};
  return StatName(FileName, st) && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const WideString& Name) {
  struct stat st {};
  return StatName(Name, st) && S_ISDIR(st.st_mode);
}

int64_t GetFileSize(const WideString& FileName) {
  struct stat st {};
  if (!StatName(FileName, st) || S_ISDIR(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

Integer FileGetAttr(const WideString& FileName) {
  std::string p = NativeFileName(FileName);
  struct stat lst {}, st {};
  if (p.empty() || ::lstat(p.c_str(), &lst) != 0) return -1;
  Integer attr = 0;
  if (S_ISLNK(lst.st_mode)) {
    attr |= faSymLink;
    if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) attr |= faDirectory;
  } else if (S_ISDIR(lst.st_mode)) {
    attr |= faDirectory;
  }
  if (::access(p.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) attr |= faReadOnly;
  WideString name = ExtractFileName(ExcludeTrailingPathDelimiter(FileName));
  if (!name.empty() && name[0] == u'.' && name != u"." && name != u"..") attr |= faHidden;
  return attr == 0 ? faNormal : attr;
}

bool CreateDir(const WideString& Dir) {
  std::string p = NativeFileName(Dir);
  return !p.empty() && ::mkdir(p.c_str(), 0777) == 0;
}

bool ForceDirectories(const WideString& Dir) {
  if (Dir.empty()) throw EInOutError("Unable to create directory");
  WideString d = ExcludeTrailingPathDelimiter(ExpandFileName(Dir));
  if (DirectoryExists(d)) return true;
  WideString parent = ExtractFilePath(d);
  if (parent.empty()) return false;
  if (parent.size() > 1 && !ForceDirectories(parent)) return false;
  // Another process may create it between the test and mkdir: count that as done.
  return CreateDir(d) || DirectoryExists(d);
}

bool DeleteFile(const WideString& FileName) {
  std::string p = NativeFileName(FileName);
  struct stat st {};
  if (p.empty() || ::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  return ::unlink(p.c_str()) == 0;
}

bool RenameFile(const WideString& OldName, const WideString& NewName, bool ReplaceExisting) {
  std::string from = NativeFileName(OldName), to = NativeFileName(NewName);
  if (from.empty() || to.empty()) return false;
  if (ReplaceExisting) return ::rename(from.c_str(), to.c_str()) == 0;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing
  // target just as well (files only; folders cannot be linked).
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

WideString GetTempDir() {
  const char* env = std::getenv("TMPDIR");
  if (env && *env) {
    WideString d = WideFileName(env);
    if (DirectoryExists(d)) return IncludeTrailingPathDelimiter(d);
  }
  return u"/tmp/";
}

WideString GetCurrentDir() {
  std::vector<char> buf(4096);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return WideString();
    buf.resize(buf.size() * 2);
  }
  return WideFileName(buf.data());
}

int CreateTempFile(const WideString& Folder, const WideString& Prefix, const WideString& Ext, WideString& FileName) {
  int err = 0;
  WideString name;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", RandomWord());
    name = Folder + Prefix + WideFileName(hex) + Ext;
    int fd = ::open(NativeFileName(name).c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      FileName = name;
      return fd;
    }
    err = errno;
    if (err != EEXIST && err != EINTR) break;
  }
  throw EFCreateError(W("Cannot create file \"") + ExpandFileName(name) + W("\". ") + SysErrorMessage(err));
}

int CreateUnnamedTempFile(const WideString& Folder) {
  WideString dir = Folder.empty() ? WideString(u".") : Folder;
  int fd = ::open(NativeFileName(dir).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  // File systems without nameless files: create exclusively, drop the name.
  WideString name;
  fd = CreateTempFile(IncludeTrailingPathDelimiter(dir), u"tmp", u".tmp", name);
  ::unlink(NativeFileName(name).c_str());
  return fd;
}

WideString IncludeTrailingPathDelimiter(const WideString& S) {
  if (!S.empty() && S.back() == PathDelim) return S;
  return S + PathDelim;
}

WideString ExcludeTrailingPathDelimiter(const WideString& S) {
  if (S.size() > 1 && S.back() == PathDelim) return S.substr(0, S.size() - 1);
  return S;
}

WideString ExtractFilePath(const WideString& FileName) {
  size_t p = FileName.rfind(PathDelim);
  return p == WideString::npos ? WideString() : FileName.substr(0, p + 1);
}

WideString ExtractFileName(const WideString& FileName) {
  size_t p = FileName.rfind(PathDelim);
  return p == WideString::npos ? FileName : FileName.substr(p + 1);
}

namespace {
// Index of the extension's dot, or npos.
size_t ExtDot(const WideString& FileName) {
  size_t p = FileName.find_last_of(u"./");
  if (p == WideString::npos || FileName[p] != u'.') return WideString::npos;
  return p;
}
}  // namespace

WideString ExtractFileExt(const WideString& FileName) {
  size_t p = ExtDot(FileName);
  return p == WideString::npos ? WideString() : FileName.substr(p);
}

WideString ChangeFileExt(const WideString& FileName, const WideString& Ext) {
  size_t p = ExtDot(FileName);
  return (p == WideString::npos ? FileName : FileName.substr(0, p)) + Ext;
}

WideString ExpandFileName(const WideString& FileName) {
  if (FileName.empty()) return WideString();
  WideString full = FileName[0] == PathDelim ? FileName : IncludeTrailingPathDelimiter(GetCurrentDir()) + FileName;
  const bool trailing = full.back() == PathDelim;
  std::vector<WideString> parts;
  size_t i = 0;
  while (i < full.size()) {
    size_t j = full.find(PathDelim, i);
    if (j == WideString::npos) j = full.size();
    WideString part = full.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  WideString out;
  for (const auto& p : parts) out += PathDelim + p;
  if (out.empty()) return u"/";
  if (trailing) out += PathDelim;
  return out;
}
