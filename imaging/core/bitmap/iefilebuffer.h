// Backing store of pictures too big for memory: a temporary file (or a memory
// stream) sized once, from which callers borrow byte ranges as heap copies and
// give them back, written back when asked.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/base/iedefs.h"
#include "platform/base/classes.h"

// A read/write stream on a temporary file that nobody else can open and that
// the system removes however the process ends: the file is created without a
// name in the folder where the system allows it, otherwise created
// exclusively (never through a symbolic link, mode 0600) and its name removed
// at once. Growing the stream reserves the disk blocks, so that a full disk
// shows up while sizing, not later as a failed row write.
class TIETemporaryFileStream : public TStream {
 public:
  // Creates exactly FileName (which must not exist yet) and removes its name
  // at once. Raises EInOutError "Unable to create " + FileName.
  explicit TIETemporaryFileStream(const WideString& FileName);
  // Creates a temporary file in Folder: a nameless one where the file system
  // offers it, else Folder + Prefix + "-XXXXXXXX.tmp" (eight upper-case hex
  // digits, drawn again while the name is taken). FileName receives the name
  // used, empty for a nameless file. Raises EInOutError "Unable to create "
  // + the folder or the last name tried.
  TIETemporaryFileStream(const WideString& Folder, const WideString& Prefix, WideString& FileName);
  ~TIETemporaryFileStream() override;

  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override;
  // Growing reserves the blocks; raises EWriteError when the disk cannot
  // hold NewSize bytes (the size is then left as it was).
  void SetSize(int64_t NewSize) override;

  int Handle() const { return FHandle; }

 private:
  int FHandle = -1;
};

// One borrowed range of a TIEFileBuffer.
struct TIEFileBufferMapping {
  int64_t Position = 0;
  int64_t Length = 0;
  void* Block = nullptr;
  TIEBitmapAccess Access = 0;
};

class TIEFileBuffer : public TObject {
 public:
  TIEFileBuffer() = default;
  ~TIEFileBuffer() override;

  bool IsAllocated() const { return FStream != nullptr; }
  // Creates the store of Size bytes: a temporary file in IETempFolder (or
  // $TMPDIR, or /tmp) when UseFile, else a memory stream. Every failure,
  // including a disk that cannot hold Size bytes, gives false and leaves the
  // buffer unallocated.
  bool AllocateFile(const WideString& Prefix, bool UseFile, int64_t Size);
  // Resizes the store; raises when it cannot be resized.
  void SetSize(int64_t Size);
  // Borrows Length bytes at Position as a heap copy: read in when Access has
  // ieaRead, zero-filled otherwise. Raises ERangeError for a range outside
  // the store, EReadError for an incomplete read and EOutOfMemory when no
  // block can be had.
  void* Map(TIEBitmapAccess Access, int64_t Position, int64_t Length);
  // Gives a block back, writing it to the store first when it was mapped with
  // ieaWrite. The block is freed even when the write fails (EWriteError).
  // A block that is not mapped is ignored.
  void Unmap(void* Block);
  // Unmap of every mapping, newest first.
  void UnmapAll();
  // Index of Block's mapping, or -1.
  int32_t FindMapping(void* Block) const;
  // Copies Size bytes at Position of this store into the same range of
  // Dest's, after both have written back their mappings; nothing unless both
  // are allocated. Raises on a short read or write.
  void CopyTo(TIEFileBuffer* Dest, int64_t Position, int64_t Size);
  // Gives back every mapping and removes the store.
  void Close();

  // Name of the temporary file; empty for a memory store or a nameless file.
  const WideString& FileName() const { return FFileName; }
  int32_t MappingCount() const { return static_cast<int32_t>(FMappings.size()); }

 private:
  std::unique_ptr<TStream> FStream;
  WideString FFileName;
  int64_t FSize = 0;  // size of the store, so that mapping a row needs no system call
  std::vector<TIEFileBufferMapping> FMappings;
};

// Bytes a temporary file may still take in the folder where pictures too big
// for memory go (IETempFolder, $TMPDIR or /tmp); -1 when the folder cannot
// be asked.
int64_t IETemporaryFolderFreeBytes();

// Test seams, left at their defaults by the program.
struct TIEFileBufferTestHooks {
  // Stands in for posix_fallocate; returns 0 or an errno value such as ENOSPC.
  int (*Fallocate)(int Handle, int64_t Offset, int64_t Length) = nullptr;
  // Skips the nameless temporary file so that the named path runs.
  bool NoNamelessFile = false;
  // Stands in for the free space of the temporary folder when not null.
  int64_t (*FreeBytes)() = nullptr;
};
extern TIEFileBufferTestHooks IEFileBufferTestHooks;

