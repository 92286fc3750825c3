// Deflate and inflate in the zlib format (RFC 1950) as streams of the
// platform's stream model, and whole-buffer inflation with an output cap.
// Layer and vector-object streams, TIFF deflate strips and the built-in CMYK
// profile go through here.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "platform/base/classes.h"
#include "platform/base/sysutils.h"
#include "platform/base/types.h"

GT_DECLARE_EXCEPTION(EZLibError, Exception)
GT_DECLARE_EXCEPTION(EZCompressionError, EZLibError)
GT_DECLARE_EXCEPTION(EZDecompressionError, EZLibError)

// Compression level of TZCompressionStream: none (stored blocks), fastest,
// zlib's default (6) and maximum (9).
enum TZCompressionLevel : Byte { zcNone = 0, zcFastest = 1, zcDefault = 2, zcMax = 3 };

// The zlib level of a TZCompressionLevel; values above 3 count as the default.
int ZLevelOf(Integer Level);
// The message of a negative zlib result ("data error", "buffer error" ...).
const char* ZErrorText(int Code);

// Common part of both directions: the wrapped stream (not owned), the
// position in it at which this stream continues, the zlib record and a
// 64 KB exchange buffer.
class TCustomZStream : public TStream {
 public:
  static constexpr Integer BufferSize = 65536;
  ~TCustomZStream() override = default;
  TCustomZStream(const TCustomZStream&) = delete;
  TCustomZStream& operator=(const TCustomZStream&) = delete;

  // Fired after every exchange of a full buffer with the wrapped stream.
  TNotifyEvent OnProgress;

 protected:
  explicit TCustomZStream(TStream* Stream);
  virtual void DoProgress();
  // Puts the wrapped stream back where this stream left it (other code may
  // have moved it between calls).
  void SyncStreamPosition();

  TStream* FStream;
  int64_t FStreamPos;
  z_stream FZRec{};
  Byte FBuffer[BufferSize];
};

// Deflates everything written to it into Dest, from Dest's position at
// creation. The data in Dest is complete only after Finish (the destructor
// calls it and swallows its errors, so call Finish yourself to learn of them).
class TZCompressionStream : public TCustomZStream {
 public:
  TZCompressionStream(TStream* Dest, Integer Level);
  ~TZCompressionStream() override;
  // Raises EZCompressionError "Invalid ZStream operation!".
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Ignores both arguments: the uncompressed byte count written so far.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FZRec.total_in); }
  // Ends the zlib stream into Dest. Raises on a zlib or write error; later
  // calls do nothing.
  void Finish();

 private:
  bool FFinished = false;
};

// Inflates Source from its position at creation while it is read. At the end
// of the compressed data the source is left directly behind it.
class TZDecompressionStream : public TCustomZStream {
 public:
  explicit TZDecompressionStream(TStream* Source);
  ~TZDecompressionStream() override;
  // Fewer bytes than Count only at the end of the compressed data or of the
  // source. Corrupt data (and data that needs a preset dictionary) raise
  // EZDecompressionError.
  int64_t Read(void* Buffer, int64_t Count) override;
  // Raises EZDecompressionError "Invalid ZStream operation!".
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Forward only: (0, soBeginning) restarts at the creation position;
  // forward seeks inflate and discard; (0, soEnd) inflates to the end. Every
  // other request raises "Invalid ZStream operation!". Returns the
  // uncompressed bytes produced so far.
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;

 private:
  void Skip(int64_t Count);
  int64_t FStreamStart;
};

// Inflates InSize bytes of zlib data at InBuf into a new block (free it with
// std::free), first of OutEstimate bytes (0: InSize rounded up to 256), at
// least doubled whenever it is full (never beyond what InSize bytes of
// deflate data can expand to) and trimmed to the result. Output beyond
// MaxOutSize bytes (negative: IEReadLimits.DeflateMaxBytes) raises
// "insufficient memory"; data that end early raise "buffer error", corrupt
// data "data error". On a raise OutBuf is nil and OutSize 0.
void ZDecompressBuffer(const void* InBuf, Integer InSize, void*& OutBuf, Integer& OutSize, Integer OutEstimate,
                       int64_t MaxOutSize = -1);
