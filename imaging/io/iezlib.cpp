// Deflate streams over zlib.
#include "imaging/io/iezlib.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "imaging/io/ielimits.h"

namespace {

constexpr const char* kInvalidOp = "Invalid ZStream operation!";
// zlib counts in 32-bit units; larger requests are cut into pieces of this.
constexpr int64_t kMaxChunk = 1 << 30;

[[noreturn]] void RaiseCompression(int Code) { throw EZCompressionError(ZErrorText(Code)); }
[[noreturn]] void RaiseDecompression(int Code) { throw EZDecompressionError(ZErrorText(Code)); }

int CheckDeflate(int Code) {
  if (Code < 0) RaiseCompression(Code);
  return Code;
}

// A stream that needs a preset dictionary can never make progress here (no
// dictionary is ever given), so it counts as corrupt data instead of being
// retried for ever.
int CheckInflate(int Code) {
  if (Code == Z_NEED_DICT) RaiseDecompression(Z_DATA_ERROR);
  if (Code < 0) RaiseDecompression(Code);
  return Code;
}

}  // namespace

int ZLevelOf(Integer Level) {
  switch (Level) {
    case zcNone: return 0;
    case zcFastest: return 1;
    case zcMax: return 9;
    default: return Z_DEFAULT_COMPRESSION;
  }
}

const char* ZErrorText(int Code) {
  switch (Code) {
    case Z_ERRNO: return "file error";
    case Z_STREAM_ERROR: return "stream error";
    case Z_DATA_ERROR: return "data error";
    case Z_MEM_ERROR: return "insufficient memory";
    case Z_BUF_ERROR: return "buffer error";
    case Z_VERSION_ERROR: return "incompatible version";
    default: return "";
  }
}

// ---------------------------------------------------------------------------

TCustomZStream::TCustomZStream(TStream* Stream) : FStream(Stream), FStreamPos(Stream->Position()) {}

void TCustomZStream::DoProgress() {
  if (OnProgress) OnProgress(this);
}

void TCustomZStream::SyncStreamPosition() {
  if (FStream->Position() != FStreamPos) FStream->SetPosition(FStreamPos);
}

// ---------------------------------------------------------------------------

TZCompressionStream::TZCompressionStream(TStream* Dest, Integer Level) : TCustomZStream(Dest) {
  FZRec.next_out = FBuffer;
  FZRec.avail_out = BufferSize;
  CheckDeflate(deflateInit2(&FZRec, ZLevelOf(Level), Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY));
}

TZCompressionStream::~TZCompressionStream() {
  // A destructor must not raise: whoever needs to know that the data reached
  // the destination calls Finish first.
  try {
    Finish();
  } catch (...) {
  }
  deflateEnd(&FZRec);
}

int64_t TZCompressionStream::Read(void*, int64_t) { throw EZCompressionError(kInvalidOp); }

int64_t TZCompressionStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  SyncStreamPosition();
  const Byte* src = static_cast<const Byte*>(Buffer);
  int64_t left = Count;
  while (left > 0) {
    int64_t piece = std::min(left, kMaxChunk);
    FZRec.next_in = const_cast<Byte*>(src);
    FZRec.avail_in = static_cast<uInt>(piece);
    while (FZRec.avail_in > 0) {
      CheckDeflate(deflate(&FZRec, Z_NO_FLUSH));
      if (FZRec.avail_out == 0) {
        FStream->WriteBuffer(FBuffer, BufferSize);
        FZRec.next_out = FBuffer;
        FZRec.avail_out = BufferSize;
        FStreamPos = FStream->Position();
        DoProgress();
      }
    }
    src += piece;
    left -= piece;
  }
  FZRec.next_in = nullptr;
  return Count;
}

int64_t TZCompressionStream::Seek(int64_t, TSeekOrigin) { return static_cast<int64_t>(FZRec.total_in); }

void TZCompressionStream::Finish() {
  if (FFinished) return;
  FFinished = true;
  FZRec.next_in = nullptr;
  FZRec.avail_in = 0;
  SyncStreamPosition();
  while (CheckDeflate(deflate(&FZRec, Z_FINISH)) != Z_STREAM_END) {
    FStream->WriteBuffer(FBuffer, BufferSize - FZRec.avail_out);
    FZRec.next_out = FBuffer;
    FZRec.avail_out = BufferSize;
  }
  if (FZRec.avail_out < static_cast<uInt>(BufferSize)) FStream->WriteBuffer(FBuffer, BufferSize - FZRec.avail_out);
  FZRec.next_out = FBuffer;
  FZRec.avail_out = BufferSize;
  FStreamPos = FStream->Position();
}

// ---------------------------------------------------------------------------

TZDecompressionStream::TZDecompressionStream(TStream* Source) : TCustomZStream(Source), FStreamStart(FStreamPos) {
  FZRec.next_in = FBuffer;
  FZRec.avail_in = 0;
  CheckInflate(inflateInit(&FZRec));
}

TZDecompressionStream::~TZDecompressionStream() { inflateEnd(&FZRec); }

int64_t TZDecompressionStream::Read(void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  SyncStreamPosition();
  Byte* dst = static_cast<Byte*>(Buffer);
  int64_t done = 0;
  int result = Z_OK;
  while (done < Count && result != Z_STREAM_END) {
    int64_t piece = std::min(Count - done, kMaxChunk);
    FZRec.next_out = dst + done;
    FZRec.avail_out = static_cast<uInt>(piece);
    while (FZRec.avail_out > 0 && result != Z_STREAM_END) {
      if (FZRec.avail_in == 0) {
        int64_t got = FStream->Read(FBuffer, BufferSize);
        if (got <= 0) return done + (piece - FZRec.avail_out);
        FZRec.next_in = FBuffer;
        FZRec.avail_in = static_cast<uInt>(got);
        FStreamPos = FStream->Position();
        DoProgress();
      }
      result = CheckInflate(inflate(&FZRec, Z_NO_FLUSH));
    }
    done += piece - FZRec.avail_out;
  }
  if (result == Z_STREAM_END && FZRec.avail_in > 0) {
    // Leave the source directly behind the compressed data.
    FStream->SetPosition(FStream->Position() - FZRec.avail_in);
    FStreamPos = FStream->Position();
    FZRec.avail_in = 0;
  }
  return done;
}

int64_t TZDecompressionStream::Write(const void*, int64_t) { throw EZDecompressionError(kInvalidOp); }

void TZDecompressionStream::Skip(int64_t Count) {
  Byte scratch[8192];
  while (Count > 0) {
    int64_t n = std::min<int64_t>(Count, sizeof scratch);
    ReadBuffer(scratch, n);
    Count -= n;
  }
}

int64_t TZDecompressionStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t produced = static_cast<int64_t>(FZRec.total_out);
  if (Offset == 0 && Origin == soBeginning) {
    // Restart where the compressed data began, which need not be position 0
    // of the source (an embedded stream).
    CheckInflate(inflateReset(&FZRec));
    FZRec.next_in = FBuffer;
    FZRec.avail_in = 0;
    FStream->SetPosition(FStreamStart);
    FStreamPos = FStreamStart;
  } else if ((Offset >= 0 && Origin == soCurrent) || (Origin == soBeginning && Offset - produced > 0)) {
    if (Origin == soBeginning) Offset -= produced;
    Skip(Offset);
  } else if (Offset == 0 && Origin == soEnd) {
    Byte scratch[8192];
    while (Read(scratch, sizeof scratch) > 0) {
    }
  } else {
    throw EZDecompressionError(kInvalidOp);
  }
  return static_cast<int64_t>(FZRec.total_out);
}

// ---------------------------------------------------------------------------

void ZDecompressBuffer(const void* InBuf, Integer InSize, void*& OutBuf, Integer& OutSize, Integer OutEstimate,
                       int64_t MaxOutSize) {
  OutBuf = nullptr;
  OutSize = 0;
  if (InSize < 0) InSize = 0;
  if (MaxOutSize < 0) MaxOutSize = IEReadLimits.DeflateMaxBytes;
  if (MaxOutSize > INT32_MAX) MaxOutSize = INT32_MAX;
  if (MaxOutSize < 0) MaxOutSize = 0;
  const int64_t delta = (static_cast<int64_t>(InSize) + 255) / 256 * 256;
  int64_t size = OutEstimate > 0 ? OutEstimate : delta;
  if (size > MaxOutSize) size = MaxOutSize;
  // No deflate data expands beyond this, so the block never grows past it
  // (growth doubles, which may overshoot what the data needs).
  const int64_t growCap = std::min(MaxOutSize, std::max(size, static_cast<int64_t>(InSize) * IEDeflateMaxRatio + 1024));

  Byte* block = static_cast<Byte*>(std::malloc(static_cast<size_t>(std::max<int64_t>(size, 1))));
  if (!block) RaiseDecompression(Z_MEM_ERROR);
  z_stream z{};
  z.next_in = static_cast<Bytef*>(const_cast<void*>(InBuf));
  z.avail_in = static_cast<uInt>(InSize);
  z.next_out = block;
  z.avail_out = static_cast<uInt>(size);
  int init = inflateInit(&z);
  if (init < 0) {
    std::free(block);
    RaiseDecompression(init);
  }
  try {
    while (CheckInflate(inflate(&z, Z_NO_FLUSH)) != Z_STREAM_END) {
      if (z.avail_out > 0) continue;  // progress was made; give it more room only when full
      if (size >= growCap || delta == 0) RaiseDecompression(size >= MaxOutSize ? Z_MEM_ERROR : Z_BUF_ERROR);
      // Geometric growth: filling a block by fixed steps copies it once a
      // step, which is quadratic in the output.
      int64_t grown = IEGrowCapacity(size, size + delta, growCap);
      Byte* bigger = static_cast<Byte*>(std::realloc(block, static_cast<size_t>(grown)));
      if (!bigger) RaiseDecompression(Z_MEM_ERROR);
      block = bigger;
      z.next_out = block + z.total_out;
      z.avail_out = static_cast<uInt>(grown - size);
      size = grown;
    }
  } catch (...) {
    inflateEnd(&z);
    std::free(block);
    throw;
  }
  int end = inflateEnd(&z);
  if (end < 0) {
    std::free(block);
    RaiseDecompression(end);
  }
  int64_t total = static_cast<int64_t>(z.total_out);
  if (total > 0 && total < size) {
    if (Byte* trimmed = static_cast<Byte*>(std::realloc(block, static_cast<size_t>(total)))) block = trimmed;
  }
  OutBuf = block;
  OutSize = static_cast<Integer>(total);
}
