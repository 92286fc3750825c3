// Frame data of the GIF library: the LZW decoder, which reads damaged data
// as far as it goes, and two encoders, a real LZW compressor and one that
// writes only codes for runs of one colour (readable by any decoder, no
// string matching needed). Both cut their bytes into data sub-blocks.
#include <algorithm>
#include <cstring>

#include "imaging/formats/giflib.h"

namespace giflib_coder {
namespace {

constexpr Integer kTableSize = 4096;
// A string is never longer than the table; a longer prefix chain can only
// come from a cycle in corrupt data.
constexpr Integer kMaxChain = 4096;

class TDecoder {
 public:
  TDecoder(TStream* Stream, const std::function<void(const WideString&)>& Warn) : FStream(Stream), FWarn(Warn) {}

  // False at the end of the stream before the code-size byte.
  bool Start() {
    const Integer s = ReadByte(FStream);
    if (s < 0) return false;
    FCodeSize = s > 8 ? 8 : s;
    FClear = 1 << FCodeSize;
    FEnd = FClear + 1;
    FWidth = FCodeSize + 1;
    FLimit = 2 * FClear;
    FNextFree = FClear + 2;
    return true;
  }

  Integer NextPixel() {
    if (FStackTop > 0) return FStack[--FStackTop];
    return Step();
  }

 private:
  Integer ReadCode(Integer n) {
    if (FFirstCall) {
      FFirstCall = false;
      return FClear;
    }
    // A short sub-block may not complete the code; the next one is read then.
    while (FBitPos + n >= FBitLimit) {
      if (FDataEnded) {
        if (FBitPos + n <= FBitLimit) break;
        if (FBitPos >= FBitLimit) FWarn(W("Decoder bit buffer under-run"));
        return -1;
      }
      FBuffer[0] = FBuffer[FCount - 2];
      FBuffer[1] = FBuffer[FCount - 1];
      Integer len = ReadByte(FStream);
      if (len < 0) return -1;
      if (len == 0) {
        FTerminatorSeen = true;
        FDataEnded = true;
      } else {
        const int64_t got = FStream->Read(FBuffer + 2, len);
        if (got < len) {
          FWarn(W("Premature end of data"));
          len = Integer(got);
        }
      }
      FCount = len + 2;
      FBitPos = FBitPos - FBitLimit + 16;
      FBitLimit = 8 * FCount;
    }
    uint32_t v = 0;
    const Integer first = FBitPos / 8, last = (FBitPos + n) / 8;
    for (Integer i = first, k = 0; i <= last && i < FCount; ++i, ++k) v |= uint32_t(FBuffer[i]) << (8 * k);
    v = (v >> (FBitPos % 8)) & ((1u << n) - 1);
    FBitPos += n;
    return Integer(v);
  }

  void Push(Integer V) {
    if (FStackTop >= Integer(sizeof(FStack) / sizeof(FStack[0]))) GIFError("Circular decoder table entry");
    FStack[FStackTop++] = V;
  }

  Integer Step() {
    Integer code = ReadCode(FWidth);
    if (code < 0) return code;
    if (code == FClear) {
      for (Integer i = 0; i < kTableSize; ++i) {
        FPrefix[i] = 0;
        FSuffix[i] = i < FClear ? i : 0;
      }
      FWidth = FCodeSize + 1;
      FLimit = 2 * FClear;
      FNextFree = FClear + 2;
      FStackTop = 0;
      do code = ReadCode(FWidth);
      while (code == FClear);
      if (code < 0) return code;
      FFirstCode = FPrevCode = code;
      return code;
    }
    if (code == FEnd) {
      if (!FTerminatorSeen) {
        for (;;) {
          const Integer len = ReadByte(FStream);
          if (len <= 0) break;
          FStream->Seek(len, soCurrent);
        }
        FTerminatorSeen = true;
      }
      FDataEnded = true;
      return -2;
    }
    const Integer incoming = code;
    if (code >= FNextFree) {
      Push(FFirstCode);
      code = FPrevCode;
    }
    Integer chain = 0;
    while (code >= FClear) {
      Push(FSuffix[code]);
      if (FPrefix[code] == code || ++chain > kMaxChain) GIFError("Circular decoder table entry");
      code = FPrefix[code];
    }
    FFirstCode = FSuffix[code];
    Push(FFirstCode);
    if (FNextFree < kTableSize) {
      FPrefix[FNextFree] = FPrevCode;
      FSuffix[FNextFree] = FFirstCode;
      ++FNextFree;
      if (FNextFree >= FLimit && FLimit < kTableSize) {
        FLimit *= 2;
        ++FWidth;
      }
    }
    FPrevCode = incoming;
    return FStack[--FStackTop];
  }

  TStream* FStream;
  const std::function<void(const WideString&)>& FWarn;
  Integer FCodeSize = 0, FClear = 0, FEnd = 0, FWidth = 0, FLimit = 0, FNextFree = 0;
  Integer FFirstCode = 0, FPrevCode = 0;
  Integer FPrefix[kTableSize] = {};
  Integer FSuffix[kTableSize] = {};
  Integer FStack[2 * kTableSize + 2] = {};
  Integer FStackTop = 0;
  Byte FBuffer[258] = {};
  Integer FBitPos = 0, FBitLimit = 0, FCount = 2;
  bool FFirstCall = true, FTerminatorSeen = false, FDataEnded = false;
};

// Cuts bytes into sub-blocks of at most 255 bytes; a full block goes out at
// once, the last short one when the writer is flushed.
class TGIFWriter {
 public:
  explicit TGIFWriter(TStream* Stream) : FStream(Stream) {}
  void WriteByte(Byte V) {
    FDirty = true;
    FBuffer[FUsed++] = V;
    if (FUsed == 256) FlushBuffer();
  }
  void FlushBuffer() {
    if (FUsed < 1) return;
    FBuffer[0] = Byte(FUsed - 1);
    FStream->WriteBuffer(FBuffer, FUsed);
    FUsed = 1;
    FDirty = false;
  }
  void Finish() {
    if (FDirty) FlushBuffer();
  }

 private:
  TStream* FStream;
  Byte FBuffer[256] = {};
  Integer FUsed = 1;
  bool FDirty = false;
};

// Open addressing over 8009 slots keyed by (prefix shl 8) or pixel. The
// probe step doubles the slot, which visits only half the slots; a full
// probe falls back to a linear walk so that every slot can be used.
class THashTable {
 public:
  static constexpr Integer kSize = 8009;
  void Clear() { std::memset(FSlots, 0xFF, sizeof(FSlots)); }
  void Insert(uint32_t Key, Integer Code) {
    Integer i = Slot(Key);
    for (Integer n = 0; n < kSize; ++n) {
      if (Empty(i)) {
        FSlots[i] = (Key << 12) | uint32_t(Code & 0xFFF);
        return;
      }
      i = Next(i, n);
    }
  }
  Integer Lookup(uint32_t Key) const {
    Integer i = Slot(Key);
    for (Integer n = 0; n < kSize; ++n) {
      if (Empty(i)) return -1;
      if ((FSlots[i] >> 12) == Key) return Integer(FSlots[i] & 0xFFF);
      i = Next(i, n);
    }
    return -1;
  }

 private:
  static Integer Slot(uint32_t Key) { return Integer(((Key >> 4) ^ Key) % kSize); }
  bool Empty(Integer i) const { return (FSlots[i] >> 12) == 0xFFFFF; }
  static Integer Next(Integer i, Integer n) {
    if (n >= kSize / 2) return (i + 1) % kSize;
    return i == 0 ? kSize - 1 : (2 * i) % kSize;
  }
  uint32_t FSlots[kSize];
};

class TGIFEncoder {
 public:
  virtual ~TGIFEncoder() = default;

  void Compress(TStream* Stream, Integer BitsPerPixel, Integer Width, Integer Height, bool Interlaced,
                const Byte* Data, Integer MaxColor) {
    FMaxColor = MaxColor;
    FBitsPerPixel = BitsPerPixel <= 1 ? 2 : BitsPerPixel;
    FWidth = Width;
    FHeight = Height;
    FInterlaced = Interlaced;
    FData = Data;
    WriteByte(Stream, Byte(FBitsPerPixel));
    FInitialWidth = FCodeWidth = FBitsPerPixel + 1;
    FMaxCode = (1 << FCodeWidth) - 1;
    FClearCode = 1 << FBitsPerPixel;
    FEndCode = FClearCode + 1;
    FBaseCode = FClearCode + 2;
    FBits = 0;
    FBucket = 0;
    FPixelsLeft = Interlaced ? int64_t(Width) : int64_t(Width) * Height;
    FRow = 0;
    FPass = 0;
    FPixel = Data;
    TGIFWriter writer(Stream);
    FWriter = &writer;
    if (Data && Width > 0 && Height > 0) DoCompress();
    Output(FEndCode);
    writer.Finish();
    WriteByte(Stream, 0);
  }

 protected:
  virtual void Output(Integer Code) {
    FBucket = FBits > 0 ? ((uint32_t(Code) << FBits) | (FBucket & ((1u << FBits) - 1))) : uint32_t(Code);
    FBits += FCodeWidth;
    while (FBits >= 8) {
      FWriter->WriteByte(Byte(FBucket));
      FBucket >>= 8;
      FBits -= 8;
    }
    if (Code == FEndCode)
      while (FBits > 0) {
        FWriter->WriteByte(Byte(FBucket));
        FBucket >>= 8;
        FBits -= 8;
      }
  }
  virtual void Clear() {
    FClearFlag = true;
    Output(FClearCode);
  }
  virtual void DoCompress() = 0;

  Integer CheckedPixel() const {
    const Integer p = *FPixel;
    if (p >= FMaxColor) GIFError("Color not in color table");
    return p;
  }

  bool NextPixel() {
    if (--FPixelsLeft > 0) {
      ++FPixel;
      return true;
    }
    if (!FInterlaced) return false;
    FPixelsLeft = FWidth;
    static const Integer kStep[4] = {8, 8, 4, 2};
    static const Integer kStart[4] = {0, 4, 2, 1};
    FRow += kStep[FPass];
    while (FRow >= FHeight) {
      if (++FPass > 3) return false;
      FRow = kStart[FPass];
    }
    FPixel = FData + int64_t(FRow) * FWidth;
    return true;
  }

  Integer FMaxColor = 0, FBitsPerPixel = 0, FWidth = 0, FHeight = 0;
  bool FInterlaced = false;
  const Byte* FData = nullptr;
  TGIFWriter* FWriter = nullptr;
  uint32_t FBucket = 0;
  Integer FBits = 0;
  bool FClearFlag = false;
  Integer FCodeWidth = 0, FInitialWidth = 0, FMaxCode = 0, FClearCode = 0, FEndCode = 0, FBaseCode = 0;
  const Byte* FPixel = nullptr;
  int64_t FPixelsLeft = 0;
  Integer FRow = 0, FPass = 0;
};

class TLZWEncoder : public TGIFEncoder {
 protected:
  void Clear() override {
    TGIFEncoder::Clear();
    FHash->Clear();
    FNextFree = FClearCode + 2;
  }
  void Output(Integer Code) override {
    TGIFEncoder::Output(Code);
    if (FNextFree > FMaxCode || FClearFlag) {
      if (FClearFlag) {
        FCodeWidth = FInitialWidth;
        FMaxCode = (1 << FCodeWidth) - 1;
        FClearFlag = false;
      } else {
        ++FCodeWidth;
        FMaxCode = FCodeWidth >= 12 ? 4096 : (1 << FCodeWidth) - 1;
      }
    }
  }
  void DoCompress() override {
    auto hash = std::make_unique<THashTable>();
    FHash = hash.get();
    Clear();
    Integer prefix = CheckedPixel();
    while (NextPixel()) {
      const Integer p = CheckedPixel();
      const uint32_t key = (uint32_t(prefix) << 8) | uint32_t(p);
      const Integer found = FHash->Lookup(key);
      if (found >= 0) {
        prefix = found;
        continue;
      }
      Output(prefix);
      prefix = p;
      if (FNextFree >= 4095) {
        Clear();
      } else {
        FHash->Insert(key, FNextFree);
        ++FNextFree;
      }
    }
    Output(prefix);
  }

 private:
  THashTable* FHash = nullptr;
  Integer FNextFree = 0;
};

Integer IntSqrt(Integer X) {
  if (X < 2) return X;
  Integer t = 0;
  for (Integer v = X; v > 0; v /= 4) ++t;
  Integer r = 1 << t;
  for (;;) {
    const Integer d = (X / r + r) / 2;
    if (d == r || d == r + 1) return r;
    r = d;
  }
}

Integer RunCost(Integer N, Integer M) {
  Integer cost = 0;
  const Integer full = M * (M + 1) / 2;
  while (N >= full) {
    cost += M;
    N -= full;
  }
  if (N > 0) {
    Integer k = IntSqrt(N);
    while (k > 0 && k * (k + 1) >= 2 * N) --k;
    while (k * (k + 1) < 2 * N) ++k;
    cost += k;
  }
  return cost;
}

class TRLEEncoder : public TGIFEncoder {
 protected:
  void Clear() override {
    FBumpLimit = FInitialBump;
    FClearLimit = FInitialClear;
    FOutCount = 0;
    FRunTableMax = 0;
    TGIFEncoder::Clear();
    FCodeWidth = FInitialWidth;
  }
  void DoCompress() override {
    FInitialBump = FClearCode - 1;
    FInitialClear = FBitsPerPixel > 3 ? FInitialBump - 1 : 9;
    FMaxRunCodes = 4095 - FBaseCode;
    Clear();
    FRunPixel = -1;
    Integer len = 0;
    for (bool more = true; more; more = NextPixel()) {
      const Integer p = CheckedPixel();
      if (len > 0 && p != FRunPixel) {
        EmitRun(len);
        len = 0;
      }
      if (p == FRunPixel) {
        ++len;
      } else {
        FRunPixel = p;
        len = 1;
      }
    }
    EmitRun(len);
  }

 private:
  Integer RunCode(Integer N) const { return FBaseCode + N - 2; }

  void EmitCode(Integer Code) {
    FClearFlag = false;
    Output(Code);
    ++FOutCount;
    if (FOutCount >= FBumpLimit) {
      // The decoder widens again when its table has grown by 2^width more codes.
      ++FCodeWidth;
      FBumpLimit += 1 << (FCodeWidth - 1);
    }
    if (FOutCount >= FClearLimit) Clear();
  }

  void EmitRun(Integer N) {
    if (N <= 0) return;
    if (N == 1)
      EmitCode(FRunPixel);
    else if (FClearFlag)
      EmitRunAfterClear(N);
    else if (FRunTableMax > 1 && FRunTablePixel == FRunPixel)
      EmitRunFromTable(N);
    else
      EmitRunClearOrRepeat(N);
  }

  void EmitRunAfterClear(Integer N) {
    FClearLimit = FMaxRunCodes;
    FRunTablePixel = FRunPixel;
    Integer k = 1;
    while (N > 0) {
      if (k == 1) {
        FRunTableMax = 1;
        EmitCode(FRunPixel);
        N -= 1;
      } else if (N >= k) {
        FRunTableMax = k;
        EmitCode(RunCode(k));
        N -= k;
      } else {
        ++FRunTableMax;
        EmitCode(N == 1 ? FRunPixel : RunCode(N));
        break;
      }
      k = FOutCount == 0 ? 1 : k + 1;
    }
    FClearLimit = FInitialClear;
    if (FOutCount >= FClearLimit) Clear();
  }

  void EmitRunClearOrRepeat(Integer N) {
    if (1 + RunCost(N, FMaxRunCodes) < N) {
      Clear();
      EmitRunAfterClear(N);
    } else {
      for (Integer i = 0; i < N; ++i) EmitCode(FRunPixel);
    }
  }

  void EmitRunFromTable(Integer N) {
    Integer reps = N / FRunTableMax;
    Integer rest = N % FRunTableMax;
    Integer extra = rest > 0 ? 1 : 0;
    if (FOutCount + reps + extra > FMaxRunCodes) {
      reps = FMaxRunCodes - FOutCount;
      rest = N - reps * FRunTableMax;
      extra = 1 + RunCost(rest, FMaxRunCodes);
    }
    if (1 + RunCost(N, FMaxRunCodes) < reps + extra) {
      Clear();
      EmitRunAfterClear(N);
      return;
    }
    FClearLimit = FMaxRunCodes;
    for (Integer i = 0; i < reps; ++i) EmitCode(RunCode(FRunTableMax));
    if (rest > 0) {
      if (FClearFlag)
        EmitRunAfterClear(rest);
      else if (rest == 1)
        EmitCode(FRunPixel);
      else
        EmitCode(RunCode(rest));
    }
    FClearLimit = FInitialClear;
    if (FOutCount >= FClearLimit) Clear();
  }

  Integer FMaxRunCodes = 0, FInitialBump = 0, FInitialClear = 0, FRunPixel = -1, FRunTableMax = 0,
          FRunTablePixel = -1, FOutCount = 0, FClearLimit = 0, FBumpLimit = 0;
};

}  // namespace
}  // namespace giflib_coder

void GIFDecodePixels(TStream* Stream, Integer Width, Integer Height, bool Interlaced, Byte* Pixels,
                     const std::function<void(const WideString&)>& Warn) {
  auto dec = std::make_unique<giflib_coder::TDecoder>(Stream, Warn);
  if (!dec->Start()) return;
  try {
    if (!Interlaced) {
      const int64_t n = int64_t(Width) * Height;
      for (int64_t i = 0; i < n; ++i) {
        const Integer v = dec->NextPixel();
        if (v < 0) break;
        Pixels[i] = Byte(v);
      }
    } else {
      Integer row = 0, pass = 0, step = 8;
      for (Integer r = 0; r < Height; ++r) {
        Byte* line = Pixels + int64_t(row) * Width;
        for (Integer x = 0; x < Width; ++x) {
          const Integer v = dec->NextPixel();
          if (v < 0) goto done;
          line[x] = Byte(v);
        }
        row += step;
        while (row >= Height && pass < 4) {
          if (pass > 0) step /= 2;
          ++pass;
          row = step / 2;
        }
      }
    }
  done:
    // One more pixel reads the end code after the last pixel, which skips
    // whatever sub-blocks remain up to the terminator.
    dec->NextPixel();
  } catch (...) {
    try {
      dec->NextPixel();
    } catch (...) {
    }
    throw;
  }
}

void GIFEncodePixels(TStream* Stream, Byte CompressionKind, Integer BitsPerPixel, Integer Width, Integer Height,
                     bool Interlaced, const Byte* Pixels, Integer MaxColor) {
  std::unique_ptr<giflib_coder::TGIFEncoder> enc;
  if (CompressionKind == gcmRLE)
    enc = std::make_unique<giflib_coder::TRLEEncoder>();
  else
    enc = std::make_unique<giflib_coder::TLZWEncoder>();
  enc->Compress(Stream, BitsPerPixel, Width, Height, Interlaced, Pixels, MaxColor);
}

void DecodeGIFData(TGIFSubImage* Frame, TStream* Stream) {
  // One 12-bit code stands for at most 4096 pixels (a code of one bit for
  // at most 4096 too), so the rest of the stream bounds what it can fill; a
  // descriptor that claims more is refused before anything is allocated.
  const int64_t left = std::max<int64_t>(0, Stream->Size() - Stream->Position());
  if (int64_t(Frame->Width()) * Frame->Height() > (left + 1) * 8 * 4096) GIFError("Image is too large");
  Frame->AllocPixelData();
  if (Frame->HasTransparency && !Frame->PixelData.empty())
    std::memset(Frame->PixelData.data(), Frame->TransparentIndex(), Frame->PixelData.size());
  GIFDecodePixels(Stream, Frame->Width(), Frame->Height(), Frame->Interlaced(), Frame->PixelData.data(),
                  [Frame](const WideString& Msg) { Frame->Warning(1, Msg); });
}

void EncodeGIFData(TGIFSubImage* Frame, TStream* Stream) {
  Integer bpp, maxColor;
  if (Frame->LocalColorMap()->Count() > 0) {
    bpp = Frame->LocalColorMap()->GetBitsPerPixel();
    maxColor = Frame->LocalColorMap()->Count();
  } else {
    bpp = Frame->Image() ? Frame->Image()->GetBitsPerPixel() : 8;
    if (bpp <= 0) bpp = 8;
    maxColor = 1 << bpp;
  }
  GIFEncodePixels(Stream, Frame->Image() ? Frame->Image()->CompressionKind : Byte(gcmLZW), bpp, Frame->Width(),
                  Frame->Height(), Frame->Interlaced(), Frame->PixelData.data(), maxColor);
}
