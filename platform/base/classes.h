// The root object classes and the stream family that codecs and records use.
#pragma once

#include <cstdint>
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
  int64_t CopyFrom(TStream* Source, int64_t Count);

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Pos) { Seek(Pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);
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
