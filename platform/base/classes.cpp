#include "platform/base/classes.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/base/fileutils.h"

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignTo(this);  // Assign(nullptr): let AssignTo report the mismatch
}

void TPersistent::AssignTo(TPersistent* Dest) {
  (void)Dest;
  throw EConvertError("Cannot assign");
}

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  if (Count < 0 || Read(Buffer, Count) != Count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  if (Count < 0 || Write(Buffer, Count) != Count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* Source, int64_t Count) {
  if (Count == 0) {
    Source->SetPosition(0);
    Count = Source->Size();
  }
  if (Count <= 0) return 0;
  const int64_t kBuf = 256 * 1024;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(Count, kBuf)));
  int64_t left = Count;
  while (left > 0) {
    int64_t n = std::min<int64_t>(left, static_cast<int64_t>(buf.size()));
    Source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    left -= n;
  }
  return Count;
}

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

// ---------------------------------------------------------------------------
// Handle and file streams

THandleStream::THandleStream(int Handle, bool OwnsHandle) : FHandle(Handle), FOwnsHandle(OwnsHandle) {}

THandleStream::~THandleStream() {
  if (FOwnsHandle && FHandle >= 0) ::close(FHandle);
}

int64_t THandleStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  auto* p = static_cast<uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    size_t chunk = static_cast<size_t>(std::min<int64_t>(Count - done, int64_t(1) << 30));
    ssize_t n = ::read(FHandle, p + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FLastError = errno;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FHandle < 0) return 0;
  const auto* p = static_cast<const uint8_t*>(Buffer);
  int64_t done = 0;
  while (done < Count) {
    size_t chunk = static_cast<size_t>(std::min<int64_t>(Count - done, int64_t(1) << 30));
    ssize_t n = ::write(FHandle, p + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FLastError = errno;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) {
    FLastError = errno;
    return -1;
  }
  return static_cast<int64_t>(r);
}

void THandleStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EWriteError("Invalid stream size");
  int r;
  do r = ::ftruncate(FHandle, static_cast<off_t>(NewSize));
  while (r != 0 && errno == EINTR);
  if (r != 0) {
    FLastError = errno;
    throw EWriteError(u"Stream size could not be changed: " + SysErrorMessage(FLastError));
  }
  // As a memory stream does: a cut leaves no position behind the new end.
  if (Position() > NewSize) Seek(NewSize, soBeginning);
}

namespace {

[[noreturn]] void RaiseFileError(bool Create, const WideString& FileName, const WideString& Reason) {
  WideString msg = W(Create ? "Cannot create file \"" : "Cannot open file \"") + ExpandFileName(FileName) +
                   W("\". ") + Reason;
  if (Create) throw EFCreateError(msg);
  throw EFOpenError(msg);
}

}  // namespace

TFileStream::TFileStream(const WideString& FileName, Word Mode) : FFileName(FileName) {
  FOwnsHandle = true;
  const bool create = Mode == fmCreate;
  std::string path = NativeFileName(FileName);
  int flags = O_CLOEXEC;
  int lock = LOCK_EX;
  if (create) {
    // Not O_TRUNC: the file is emptied only once its lock is ours, so that a
    // create that loses against another holder destroys nothing.
    flags |= O_RDWR | O_CREAT;
  } else {
    int access = Mode & 3, share = (Mode >> 4) & 0xF;
    if (access > 2 || share > 4 || (Mode & 0xFF0C) != 0) RaiseFileError(false, FileName, u"Invalid file mode");
    flags |= access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
    switch (share) {
      case 2: lock = access == fmOpenRead ? LOCK_SH : LOCK_EX; break;  // deny write
      case 4: lock = 0; break;                                          // deny none
      default: lock = LOCK_EX; break;                                   // compat, exclusive, deny read
    }
  }
  if (path.empty()) RaiseFileError(create, FileName, SysErrorMessage(ENOENT));
  int fd;
  do fd = ::open(path.c_str(), flags, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) RaiseFileError(create, FileName, SysErrorMessage(errno));
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    RaiseFileError(create, FileName, SysErrorMessage(EISDIR));
  }
  if (lock != 0) {
    int r;
    do r = ::flock(fd, lock | LOCK_NB);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
      int err = errno;
      ::close(fd);
      RaiseFileError(create, FileName,
                     err == EWOULDBLOCK ? WideString(u"The file is in use by another process.") : SysErrorMessage(err));
    }
  }
  if (create && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    RaiseFileError(true, FileName, SysErrorMessage(err));
  }
  FHandle = fd;
}

TFileStream::~TFileStream() = default;  // the handle (and with it the lock) goes in ~THandleStream

// ---------------------------------------------------------------------------
// Memory streams

namespace {
// a + b clamped to the int64 range, for positions computed from file data.
int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? INT64_MAX : INT64_MIN;
  return r;
}
// Rounds up to a multiple of Step (a power of two); values too close to the
// top of the range stay as they are and fail in the allocator instead.
int64_t RoundUpTo(int64_t Value, int64_t Step) {
  if (Value > INT64_MAX - Step) return Value;
  return (Value + Step - 1) & ~(Step - 1);
}
}  // namespace

int64_t TCustomMemoryStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || FPosition >= FSize) return 0;
  int64_t n = std::min(Count, FSize - FPosition);
  std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case soBeginning: FPosition = Offset; break;
    case soCurrent: FPosition = SaturatingAdd(FPosition, Offset); break;
    case soEnd: FPosition = SaturatingAdd(FSize, Offset); break;
  }
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream* Stream) {
  if (FSize) Stream->WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = Size;
}

TMemoryStream::~TMemoryStream() { Clear(); }

void TMemoryStream::Clear() {
  std::free(FMemory);
  FMemory = nullptr;
  FSize = 0;
  FPosition = 0;
  FCapacity = 0;
}

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity == FCapacity) return;
  if (NewCapacity == 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  if (static_cast<uint64_t>(NewCapacity) > SIZE_MAX) throw EOutOfMemory("Out of memory while expanding memory stream");
  void* p = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
  if (!p) throw EOutOfMemory("Out of memory while expanding memory stream");
  FMemory = p;
  FCapacity = NewCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  int64_t old = FSize;
  if (NewSize > FCapacity) SetCapacity(RoundUpTo(NewSize, 0x2000));
  FSize = NewSize;
  // New bytes are zero so that nothing of the heap leaks into saved data.
  if (NewSize > old) std::memset(static_cast<uint8_t*>(FMemory) + old, 0, static_cast<size_t>(NewSize - old));
  if (FPosition > NewSize) FPosition = NewSize;
}

int64_t TMemoryStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0 || FPosition < 0 || Count > INT64_MAX - FPosition) return 0;
  int64_t end = FPosition + Count;
  if (end > FSize) {
    // Grow by a quarter at least, so that many small writes stay linear.
    if (end > FCapacity) SetCapacity(RoundUpTo(std::max(end, FCapacity + FCapacity / 4), 0x1000));
    if (FPosition > FSize) std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, static_cast<size_t>(FPosition - FSize));
    FSize = end;
  }
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::LoadFromStream(TStream* Stream) {
  Stream->SetPosition(0);
  int64_t n = Stream->Size();
  SetSize(n);
  if (n) Stream->ReadBuffer(FMemory, n);
  FPosition = 0;
}
