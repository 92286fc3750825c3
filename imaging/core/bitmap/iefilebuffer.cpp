#include "imaging/core/bitmap/iefilebuffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <random>

#include "imaging/core/base/ieglobals.h"

TIEFileBufferTestHooks IEFileBufferTestHooks;

namespace {

WideString UnableToCreate(const WideString& Name) { return W("Unable to create ") + Name; }

// Folder for temporary files, ending with '/': IETempFolder when set, else
// $TMPDIR when set, else /tmp.
std::string TemporaryFolder() {
  std::string folder;
  if (!IETempFolder.empty()) folder = WideToUtf8(IETempFolder);
  else if (const char* t = std::getenv("TMPDIR"); t && *t) folder = t;
  else folder = "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

// Eight upper-case hex digits of a number in 0..2147483646. The generator is
// shared by all threads, so it is locked; it is seeded from the system so
// that two processes do not walk the same names.
std::string RandomHex8() {
  static std::mutex lock;
  static std::mt19937 gen{std::random_device{}()};
  uint32_t v;
  {
    std::lock_guard<std::mutex> g(lock);
    v = std::uniform_int_distribution<uint32_t>(0, 2147483646u)(gen);
  }
  char s[9];
  std::snprintf(s, sizeof s, "%08X", v);
  return s;
}

// Exclusive creation: fails on an existing name and on a symbolic link, so a
// name planted by someone else in a shared folder is never opened.
int CreateExclusive(const std::string& Name) {
  return ::open(Name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

}  // namespace

int64_t IETemporaryFolderFreeBytes() {
  if (IEFileBufferTestHooks.FreeBytes) return IEFileBufferTestHooks.FreeBytes();
  struct statvfs st {};
  if (::statvfs(TemporaryFolder().c_str(), &st) != 0) return -1;
  // Blocks an unprivileged process may take, not those kept for the system.
  const long double bytes = static_cast<long double>(st.f_bavail) * st.f_frsize;
  constexpr int64_t most = std::numeric_limits<int64_t>::max();
  return bytes >= static_cast<long double>(most) ? most : static_cast<int64_t>(bytes);
}

namespace {

int Reserve(int Handle, int64_t Offset, int64_t Length) {
  if (IEFileBufferTestHooks.Fallocate) return IEFileBufferTestHooks.Fallocate(Handle, Offset, Length);
  return ::posix_fallocate(Handle, static_cast<off_t>(Offset), static_cast<off_t>(Length));
}

}  // namespace

// ---------------------------------------------------------------------------
// TIETemporaryFileStream

TIETemporaryFileStream::TIETemporaryFileStream(const WideString& FileName) {
  std::string name = WideToUtf8(FileName);
  FHandle = CreateExclusive(name);
  if (FHandle < 0) throw EInOutError(UnableToCreate(FileName));
  ::unlink(name.c_str());
}

TIETemporaryFileStream::TIETemporaryFileStream(const WideString& Folder, const WideString& Prefix,
                                               WideString& FileName) {
  std::string folder = WideToUtf8(Folder);
  if (folder.empty()) folder = "./";
  if (folder.back() != '/') folder += '/';
  FileName.clear();
#ifdef O_TMPFILE
  if (!IEFileBufferTestHooks.NoNamelessFile) {
    FHandle = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (FHandle >= 0) return;
  }
#endif
  std::string name;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = folder + WideToUtf8(Prefix) + "-" + RandomHex8() + ".tmp";
    FHandle = CreateExclusive(name);
    if (FHandle >= 0) {
      ::unlink(name.c_str());
      FileName = Utf8ToWide(name);
      return;
    }
    if (errno != EEXIST) break;
  }
  throw EInOutError(UnableToCreate(Utf8ToWide(name)));
}

TIETemporaryFileStream::~TIETemporaryFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TIETemporaryFileStream::Read(void* Buffer, int64_t Count) {
  int64_t done = 0;
  auto* p = static_cast<char*>(Buffer);
  while (done < Count) {
    ssize_t n = ::read(FHandle, p + done, static_cast<size_t>(std::min<int64_t>(Count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TIETemporaryFileStream::Write(const void* Buffer, int64_t Count) {
  int64_t done = 0;
  auto* p = static_cast<const char*>(Buffer);
  while (done < Count) {
    ssize_t n = ::write(FHandle, p + done, static_cast<size_t>(std::min<int64_t>(Count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TIETemporaryFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int whence = Origin == soBeginning ? SEEK_SET : Origin == soCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) throw EStreamError("Stream seek error");
  return r;
}

int64_t TIETemporaryFileStream::Size() {
  struct stat st;
  if (::fstat(FHandle, &st) != 0) throw EStreamError("Stream size error");
  return st.st_size;
}

void TIETemporaryFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  int64_t old = Size();
  if (NewSize > old) {
    if (int err = Reserve(FHandle, old, NewSize - old); err != 0) {
      // Leave no half-reserved tail behind.
      if (::ftruncate(FHandle, static_cast<off_t>(old)) != 0) { /* size stays as the failure left it */ }
      throw EWriteError(W("Unable to reserve ") + Utf8ToWide(std::to_string(NewSize)) + W(" bytes: ") +
                        Utf8ToWide(std::strerror(err)));
    }
    // posix_fallocate extends the file; a stand-in might not.
    if (Size() < NewSize && ::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0)
      throw EWriteError("Stream size error");
  } else if (NewSize < old) {
    if (::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) throw EWriteError("Stream size error");
  }
}

// ---------------------------------------------------------------------------
// TIEFileBuffer

TIEFileBuffer::~TIEFileBuffer() {
  try {
    Close();
  } catch (...) {
    // A write-back that fails while the owner is being destroyed has nowhere to go.
  }
}

bool TIEFileBuffer::AllocateFile(const WideString& Prefix, bool UseFile, int64_t Size) {
  try {
    Close();
  } catch (...) {
  }
  if (Size < 0) return false;
  try {
    std::unique_ptr<TStream> s;
    WideString name;
    if (UseFile) s = std::make_unique<TIETemporaryFileStream>(Utf8ToWide(TemporaryFolder()), Prefix, name);
    else s = std::make_unique<TMemoryStream>();
    s->SetSize(Size);
    FStream = std::move(s);
    FFileName = name;
    FSize = Size;
    return true;
  } catch (...) {
    // A store that could not take its size goes with `s`: the buffer stays
    // unallocated rather than holding a half-made file.
    return false;
  }
}

void TIEFileBuffer::SetSize(int64_t Size) {
  if (!FStream) return;
  FStream->SetSize(Size);
  FSize = Size;
}

void* TIEFileBuffer::Map(TIEBitmapAccess Access, int64_t Position, int64_t Length) {
  if (Position < 0 || Length < 0) throw ERangeError("File buffer range out of bounds");
  if (FStream && (Position > FSize || Length > FSize - Position))
    throw ERangeError("File buffer range out of bounds");
  if (static_cast<uint64_t>(Length) > std::numeric_limits<size_t>::max() / 2) throw EOutOfMemory("Out of memory");
  size_t n = static_cast<size_t>(std::max<int64_t>(Length, 1));
  bool read = FStream && (Access & ieaRead);
  // A block that is not read in starts zeroed, so nothing of the heap can
  // reach the file through a write-back.
  void* block = read ? std::malloc(n) : std::calloc(n, 1);
  if (!block) throw EOutOfMemory("Out of memory");
  if (read) {
    try {
      FStream->Seek(Position, soBeginning);
      if (FStream->Read(block, Length) != Length) throw EReadError("Stream read error");
    } catch (...) {
      std::free(block);
      throw;
    }
  }
  try {
    FMappings.push_back({Position, Length, block, Access});
  } catch (...) {
    std::free(block);
    throw;
  }
  return block;
}

int32_t TIEFileBuffer::FindMapping(void* Block) const {
  for (size_t i = 0; i < FMappings.size(); ++i)
    if (FMappings[i].Block == Block) return static_cast<int32_t>(i);
  return -1;
}

void TIEFileBuffer::Unmap(void* Block) {
  int32_t i = FindMapping(Block);
  if (i < 0) return;
  TIEFileBufferMapping m = FMappings[i];
  FMappings.erase(FMappings.begin() + i);
  bool ok = true;
  if (FStream && (m.Access & ieaWrite)) {
    try {
      FStream->Seek(m.Position, soBeginning);
      ok = FStream->Write(m.Block, m.Length) == m.Length;
    } catch (...) {
      std::free(m.Block);
      throw;
    }
  }
  std::free(m.Block);
  if (!ok) throw EWriteError("Stream write error");
}

void TIEFileBuffer::UnmapAll() {
  if (!FStream) return;
  // Every block is given back even when a write-back fails; the first
  // failure is reported afterwards.
  std::exception_ptr first;
  while (!FMappings.empty()) {
    try {
      Unmap(FMappings.back().Block);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TIEFileBuffer::CopyTo(TIEFileBuffer* Dest, int64_t Position, int64_t Size) {
  if (!Dest || !IsAllocated() || !Dest->IsAllocated()) return;
  UnmapAll();
  Dest->UnmapAll();
  if (Position < 0 || Size < 0 || Position > FSize - Size || Position > Dest->FSize - Size)
    throw ERangeError("File buffer range out of bounds");
  constexpr int64_t kPiece = 1048576;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min(Size, kPiece)));
  FStream->Seek(Position, soBeginning);
  Dest->FStream->Seek(Position, soBeginning);
  for (int64_t left = Size; left > 0;) {
    int64_t n = std::min(left, kPiece);
    FStream->ReadBuffer(buf.data(), n);
    Dest->FStream->WriteBuffer(buf.data(), n);
    left -= n;
  }
}

void TIEFileBuffer::Close() {
  if (!FStream) return;
  std::exception_ptr failure;
  try {
    UnmapAll();
  } catch (...) {
    failure = std::current_exception();
  }
  for (auto& m : FMappings) std::free(m.Block);
  FMappings.clear();
  // The file has had no name since it was created, so closing removes it.
  FStream.reset();
  FFileName.clear();
  FSize = 0;
  if (failure) std::rethrow_exception(failure);
}
