// The root object classes and the stream family that codecs and records use.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/base/sysutils.h"
#include "platform/base/types.h"

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// An event with the sender as its only argument.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// Objects that copy their state from another of a compatible class.
class TPersistent : public TObject {
 public:
  // Copies Source's state; raises EConvertError when neither side knows the other.
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
};

enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// Byte stream with 64-bit positions. Read/Write transfer what they can and
// return the count; ReadBuffer/WriteBuffer raise on a short transfer.
class TStream : public TObject {
 public:
  virtual int64_t Read(void* Buffer, int64_t Count) = 0;
  virtual int64_t Write(const void* Buffer, int64_t Count) = 0;
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  void ReadBuffer(void* Buffer, int64_t Count);    // EReadError "Stream read error"
  void WriteBuffer(const void* Buffer, int64_t Count);  // EWriteError "Stream write error"
  // Copies Count bytes from Source's position; Count 0 copies all of Source from its start.
  // Returns the count copied; a negative Count copies nothing.
  int64_t CopyFrom(TStream* Source, int64_t Count);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
};

// File-mode word of TFileStream: the low two bits are the access, bits 4..7
// the sharing, and fmCreate creates (or empties) the file for reading and
// writing with no sharing.
enum : Word {
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF,
};

// Stream over an open file descriptor. Errors end a transfer early: Read and
// Write return what was moved before the error (0 when nothing was); Seek
// returns -1 when the descriptor cannot seek. The system's code of the error
// stays in LastError, so that a caller who sees a short count can say why
// (a full disk, a lost device) with SysErrorMessage.
class THandleStream : public TStream {
 public:
  // The stream closes Handle when it is freed only when OwnsHandle is set.
  explicit THandleStream(int Handle, bool OwnsHandle = false);
  ~THandleStream() override;
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  // Cuts or extends the file; raises EWriteError when the system refuses.
  void SetSize(int64_t NewSize) override;
  int Handle() const { return FHandle; }
  // The errno of the latest transfer, seek or resize the system refused; 0
  // while none was. Later successes do not clear it.
  int LastError() const { return FLastError; }

 protected:
  THandleStream() = default;
  int FHandle = -1;
  bool FOwnsHandle = false;
  int FLastError = 0;
};

// Stream on a named file. Sharing is advisory (flock): exclusive sharing, fmCreate,
// fmShareDenyRead and writers that deny writing hold an exclusive lock; readers
// that deny writing share a lock with each other; fmShareDenyNone takes no
// lock. A conflicting lock makes the open fail. fmCreate empties an existing
// file only after its lock was granted.
// Failures raise EFCreateError "Cannot create file "<full name>". <reason>" for
// fmCreate and EFOpenError "Cannot open file "<full name>". <reason>" otherwise;
// access bits above 2 or a sharing nibble above 4 fail as an invalid mode.
class TFileStream : public THandleStream {
 public:
  TFileStream(const WideString& FileName, Word Mode);
  ~TFileStream() override;
  const WideString& FileName() const { return FFileName; }

 private:
  WideString FFileName;
};

// Stream over memory the caller owns or the stream owns.
class TCustomMemoryStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }
  void* Memory() const { return FMemory; }
  void SaveToStream(TStream* Stream);

 protected:
  void SetPointer(void* Ptr, int64_t Size);
  void* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream* Stream);
  int64_t Capacity() const { return FCapacity; }

 private:
  void SetCapacity(int64_t NewCapacity);
  int64_t FCapacity = 0;
};
