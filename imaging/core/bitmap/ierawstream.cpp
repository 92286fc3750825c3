// The raw stream "TIEBITMAPRAW": a picture with all its attributes, byte for
// byte. It is the payload of the private clipboard format, which any process
// can write, so the reader checks every field against the data it has.
#include <cstring>
#include <limits>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/core/base/iesysinfo.h"

namespace {

constexpr char kMagic[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
constexpr Integer kAlphaAlignment = 32;  // every alpha channel has the default alignment

// Writes either into a caller's buffer or into a stream.
class TRawSink {
 public:
  TRawSink(Byte* Buffer, TStream* Stream) : FBuffer(Buffer), FStream(Stream) {}
  void Put(const void* p, size_t n) {
    if (FBuffer) {
      std::memcpy(FBuffer, p, n);
      FBuffer += n;
    } else {
      FStream->WriteBuffer(p, static_cast<int64_t>(n));
    }
  }
  template <class T>
  void PutValue(T v) {
    // Little-endian like the stored layout: the platform's own order.
    Put(&v, sizeof(v));
  }
  void PutByte(Byte v) { Put(&v, 1); }
  // Reserves room for Bytes more bytes in a stream, when memory allows; a
  // refusal only costs speed.
  void Reserve(int64_t Bytes) {
    if (!FStream || Bytes <= 0) return;
    try {
      int64_t need = FStream->Position() + Bytes;
      if (need > FStream->Size() && need < IEGetPhysicalMemory(true)) {
        int64_t pos = FStream->Position();
        FStream->SetSize(need);
        FStream->SetPosition(pos);
      }
    } catch (...) {
    }
  }

 private:
  Byte* FBuffer;
  TStream* FStream;
};

class TRawSource {
 public:
  explicit TRawSource(TStream& S) : FS(S) {}
  bool Get(void* p, int64_t n) { return FS.Read(p, n) == n; }
  template <class T>
  bool GetValue(T& v) {
    return Get(&v, sizeof(v));
  }
  int64_t Remaining() {
    int64_t r = FS.Size() - FS.Position();
    return r > 0 ? r : 0;
  }

 private:
  TStream& FS;
};

bool ValidAlignment(Integer a) { return a == 8 || a == 16 || a == 32 || a == 64; }

}  // namespace

// The alpha rows travel only with an alpha channel of the picture's size.
static bool WritesAlpha(TIEBitmap& B, TIEBitmap* Alpha) {
  return Alpha && Alpha->PixelFormat() == ie8g && Alpha->Width() == B.Width() && Alpha->Height() == B.Height() &&
         !Alpha->IsEmpty();
}

Integer TIEBitmap::GetRawSize() {
  int64_t size = 76 + 3 * int64_t(FPaletteLength) + int64_t(FRowLen) * FHeight;
  if (WritesAlpha(*this, FAlphaChannel)) size += int64_t(FAlphaChannel->FRowLen) * FHeight + 1;
  // The clipboard and the layer streams hold the stream as one block whose
  // size is a 32-bit value.
  return size > std::numeric_limits<Integer>::max() ? -1 : Integer(size);
}

void TIEBitmap::SaveRawToStream(void* Buffer, TStream* Stream) {
  if (!Buffer && !Stream) return;
  if (Buffer && GetRawSize() < 0) return;
  TRawSink out(static_cast<Byte*>(Buffer), Buffer ? nullptr : Stream);
  out.Put(kMagic, sizeof(kMagic));
  out.PutValue<int32_t>(0);
  out.PutValue<int32_t>(FPaletteLength);
  if (FPaletteLength > 0) out.Put(FPalette.get(), sizeof(TRGB) * size_t(FPaletteLength));
  out.PutValue<int32_t>(FWidth);
  out.PutValue<int32_t>(FHeight);
  out.PutByte(Byte(FPixelFormat));
  out.PutByte(FFull ? 1 : 0);
  out.PutValue<int32_t>(FPaletteUsed);
  out.PutValue<double>(FDisplayLow);
  out.PutValue<double>(FDisplayHigh);
  for (Integer i = 0; i < 4; ++i) out.PutValue<int32_t>(FChannelOffsets[i]);
  out.PutByte(FChannelOffsetsOn ? 1 : 0);
  out.PutValue<int32_t>(FContrast);
  out.PutValue<int32_t>(FRowAlignment);
  out.Reserve(int64_t(FRowLen) * FHeight);
  {
    TIEBitmapAccess saved = FAccess;
    FAccess = ieaRead;
    try {
      for (Integer y = 0; y < FHeight; ++y) out.Put(GetScanline(y), size_t(FRowLen));
    } catch (...) {
      FAccess = saved;
      throw;
    }
    FAccess = saved;
  }
  TIEBitmap* alpha = FAlphaChannel;
  if (!WritesAlpha(*this, alpha)) {
    out.PutByte(0);
    return;
  }
  out.PutByte(1);
  out.Reserve(int64_t(alpha->FRowLen) * FHeight + 1);
  TIEBitmapAccess saved = alpha->FAccess;
  alpha->FAccess = ieaRead;
  try {
    for (Integer y = 0; y < FHeight; ++y) out.Put(alpha->GetScanline(y), size_t(alpha->FRowLen));
  } catch (...) {
    alpha->FAccess = saved;
    throw;
  }
  alpha->FAccess = saved;
  out.PutByte(alpha->FFull ? 1 : 0);
}

bool TIEBitmap::LoadRawFromStream(const void* Buffer, TStream* Stream, int64_t BufferSize) {
  std::unique_ptr<TStream> own;
  if (Buffer) {
    if (BufferSize < 0) return false;
    own = std::make_unique<TIEMemStream>(Buffer, BufferSize);
    Stream = own.get();
  }
  if (!Stream) return false;
  try {
    TRawSource in(*Stream);
    char magic[12];
    if (!in.Get(magic, 12) || std::memcmp(magic, kMagic, 12) != 0) return false;
    int32_t version, n;
    if (!in.GetValue(version) || version < 0) return false;
    if (!in.GetValue(n) || n < 0 || n > 256) return false;
    TRGB palette[256];
    if (n > 0 && !in.Get(palette, 3 * int64_t(n))) return false;
    int32_t width, height, paletteUsed, offsets[4], contrast, alignment;
    Byte format, full, offsetsOn;
    double displayLow, displayHigh;
    if (!in.GetValue(width) || !in.GetValue(height) || !in.GetValue(format) || !in.GetValue(full) ||
        !in.GetValue(paletteUsed) || !in.GetValue(displayLow) || !in.GetValue(displayHigh) ||
        !in.Get(offsets, sizeof(offsets)) || !in.GetValue(offsetsOn) || !in.GetValue(contrast) ||
        !in.GetValue(alignment))
      return false;
    if (width <= 0 || height <= 0 || format < ie1g || format > ie32RGB || !ValidAlignment(alignment)) return false;
    const TIEPixelFormat pf = TIEPixelFormat(format);
    const Integer rowLen = IEBitmapRowLen(width, IEPixelFormatBitCount(pf), alignment);
    if (rowLen <= 0) return false;
    // Nothing is allocated for rows the data does not hold (the alpha flag
    // byte must follow them too).
    if (int64_t(rowLen) * height + 1 > in.Remaining()) return false;

    // Read into a picture of its own: this one changes only on success.
    TIEBitmap tmp;
    tmp.FRowAlignment = alignment;
    tmp.FMemoryThreshold = FMemoryThreshold;
    tmp.FLocation = FLocation == ieTBitmap ? ieFile : FLocation;
    tmp.FAllocator = FAllocator;
    tmp.FBlackWhiteMethod = FBlackWhiteMethod;
    if (!tmp.Allocate(width, height, pf) || tmp.FRowLen != rowLen) return false;
    if (pf == ie8p) {
      // An ie8p picture always has 256 entries: pixels index all of them.
      std::memcpy(tmp.FPalette.get(), palette, sizeof(TRGB) * size_t(n));
    } else if (n > 0) {
      tmp.FPalette.reset(new TRGB[size_t(n)]);
      std::memcpy(tmp.FPalette.get(), palette, sizeof(TRGB) * size_t(n));
      tmp.FPaletteLength = n;
    }
    tmp.FAccess = ieaWrite;
    for (Integer y = 0; y < height; ++y)
      if (!in.Get(tmp.GetScanline(y), rowLen)) return false;
    tmp.FAccess = ieaRead | ieaWrite;
    Byte hasAlpha;
    if (!in.GetValue(hasAlpha)) return false;
    std::unique_ptr<TIEBitmap> alpha;
    if (hasAlpha) {
      const Integer alphaLen = IEBitmapRowLen(width, 8, kAlphaAlignment);
      if (alphaLen <= 0 || int64_t(alphaLen) * height + 1 > in.Remaining()) return false;
      alpha = CreateAlphaChannel(width, height, tmp.FLocation);
      if (alpha->IsEmpty() || alpha->FRowLen != alphaLen) return false;
      alpha->FAccess = ieaWrite;
      for (Integer y = 0; y < height; ++y)
        if (!in.Get(alpha->GetScanline(y), alphaLen)) return false;
      alpha->FAccess = ieaRead | ieaWrite;
      Byte alphaFull;
      if (!in.GetValue(alphaFull)) return false;
      alpha->FFull = alphaFull != 0;
      tmp.FAlphaChannel = alpha.release();
    }

    const bool isAlpha = FIsAlphaChannel;
    tmp.MoveStorageTo(this);
    FIsAlphaChannel = isAlpha;
    if (isAlpha) {
      // An alpha channel has no alpha channel of its own.
      delete FAlphaChannel;
      FAlphaChannel = nullptr;
    }
    FNeedsAllocation = false;
    FFull = full != 0;
    FPaletteUsed = paletteUsed;
    FDisplayLow = displayLow;
    FDisplayHigh = displayHigh;
    for (Integer i = 0; i < 4; ++i) FChannelOffsets[i] = offsets[i];
    FChannelOffsetsOn = offsetsOn != 0;
    FContrast = contrast;
    return true;
  } catch (...) {
    // A stream that fails to read, or storage that cannot be had.
    return false;
  }
}
