// The pixel half of the TIFF reader for strips: each row is decompressed
// (none, PackBits, LZW, deflate), brought to host order, its predictor
// undone, its samples widened to bytes and converted into the bitmap's pixel
// format, the alpha samples into the mask. Every row is checked against the
// bytes the strip really holds: a short strip stops decoding, and the rows
// not reached stay as allocated.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/formats/ccitt.h"
#include "imaging/formats/tiffread.h"
#include "imaging/io/ielimits.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ieprobes.h"

void TIFFUndoPredictor(Byte* Row, Integer Width, Integer Samples, Integer Bits) {
  if (Width <= 1 || Samples <= 0) return;
  const int64_t n = int64_t(Width) * Samples;
  if (Bits == 8) {
    for (int64_t i = Samples; i < n; ++i) Row[i] = static_cast<Byte>(Row[i] + Row[i - Samples]);
  } else if (Bits == 16) {
    Word* w = reinterpret_cast<Word*>(Row);
    for (int64_t i = Samples; i < n; ++i) w[i] = static_cast<Word>(w[i] + w[i - Samples]);
  }
}

namespace {

// How one decoded row becomes a bitmap row: chosen once per image.
enum TRowKind {
  rkNone,       // a layout this reader does not convert: the rows stay as allocated
  rkBilevel,    // one 1-bit grey sample into ie1g
  rkRGB8,       // R, G, B (and extra samples) of 8 bits
  rkRGB16,      // R, G, B (and extra samples) of 16 bits
  rkRGB555,     // one 16-bit word of 5-5-5 RGB
  rkPalette,    // palette index (2..8 bits, or 1 bit into a colour target)
  rkPaletteA,   // palette index and alpha
  rkGray8,      // grey of up to 8 bits
  rkGrayA8,     // grey and alpha
  rkGray16,     // 16-bit grey
  rkCMYK8,      // four 8-bit inks (and extra samples)
  rkCMYK16,     // four 16-bit inks
  rkLab,        // CIELab, 8 bits
  rkYCbCr21,    // YCbCr with 2 x 1 subsampling
};

TRowKind ChooseRowKind(const TTIFFVars& V) {
  const Integer ph = V.Photometric, s = V.SamplesPerPixel, b = V.BitsPerSample;
  switch (ph) {
    case TIFFPHOTO_RGB:
      if (b == 8 && s >= 3) return rkRGB8;
      if (b == 16 && s >= 3) return rkRGB16;
      if (b == 16 && s == 1) return rkRGB555;
      return rkNone;
    case TIFFPHOTO_PALETTE:
      if (s == 1 && b >= 1 && b <= 8) return rkPalette;
      if (s == 2 && b == 8) return rkPaletteA;
      return rkNone;
    case TIFFPHOTO_MINISWHITE:
    case TIFFPHOTO_MINISBLACK:
      if (s == 1 && b == 1) return rkBilevel;
      if (s == 1 && (b == 2 || b == 4 || b == 7 || b == 8)) return rkGray8;
      if (s == 2 && b == 8) return rkGrayA8;
      if (s == 1 && b == 16) return rkGray16;
      return rkNone;
    case TIFFPHOTO_SEPARATED:
      if (b == 8 && s >= 4) return rkCMYK8;
      if (b == 16 && s == 4) return rkCMYK16;
      return rkNone;
    case TIFFPHOTO_CIELAB:
      return b == 8 && s == 3 ? rkLab : rkNone;
    case TIFFPHOTO_YCBCR:
      return b == 8 && s == 3 && V.YCbCrSubsampleHoriz == 2 && V.YCbCrSubsampleVert == 1 ? rkYCbCr21 : rkNone;
    default:
      return rkNone;
  }
}

Byte ClampByte(int64_t V) { return static_cast<Byte>(V < 0 ? 0 : V > 255 ? 255 : V); }

class TStripReader {
 public:
  TStripReader(TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress)
      : FDir(Dir), FV(V), FBitmap(Bitmap), FProgress(Progress) {}

  void Run() {
    FKind = ChooseRowKind(FV);
    const Integer w = FV.ImageWidth, h = FV.ImageHeight;
    const int64_t samples = FV.PlanarConfig == 2 ? 1 : FV.SamplesPerPixel;
    // Planar images are decoded elsewhere; an image without a conversion
    // keeps its rows as allocated, as the format allows.
    if (FV.PlanarConfig != 1 || FKind == rkNone) return;
    if (FKind == rkYCbCr21)
      FRowLength = (int64_t(w) + 1) / 2 * 4;
    else
      FRowLength = (int64_t(w) * samples * FV.BitsPerSample + 7) / 8;
    // One row goes to the LZW routine as a 32-bit count.
    if (FRowLength <= 0 || FRowLength > INT32_MAX) {
      FProgress.Abort();
      return;
    }
    FRow.assign(static_cast<size_t>(FRowLength) + 8, 0);
    FSamples.assign(static_cast<size_t>(int64_t(w) * samples) + 8, 0);
    FPixels.assign(static_cast<size_t>(w) * 4 + 8, 0);
    FStreamSize = FDir.Stream->Size();
    FProgress.per1 = IEProgressStep(h);
    FProgress.val = 0;

    const int64_t rps = FV.RowsPerStrip > 0 ? FV.RowsPerStrip : h;
    for (size_t i = 0; i < FV.StripOffsets.size() && !FProgress.Aborted(); ++i) {
      const int64_t first = int64_t(i) * rps;
      if (first >= h) break;
      const int64_t rows = std::min<int64_t>(rps, h - first);
      ReadStrip(FV.StripOffsets[i], i < FV.StripByteCounts.size() ? FV.StripByteCounts[i] : 0, first, rows);
    }
    if (FV.AlphaMask) {
      FV.AlphaMask->SyncFull();
      FV.AlphaMask->SyncRect();
    }
  }

 private:
  void ReadStrip(int64_t Offset, int64_t Size, int64_t FirstRow, int64_t Rows) {
    const int64_t start = FDir.Base + Offset;
    const int64_t left = FStreamSize - start;
    if (left <= 0) return;
    if (FV.Compression == TIFFCOMP_NONE) {
      // Row by row straight from the stream: a huge single strip never
      // needs one buffer, and a byte count too small is not trusted.
      for (int64_t r = 0; r < Rows && !FProgress.Aborted(); ++r) {
        if (IEReadAt(FDir.Stream, start + r * FRowLength, FRow.data(), FRowLength) != FRowLength) return;
        if (FV.FillOrder == 2 && FV.BitsPerSample <= 8)
          for (int64_t k = 0; k < FRowLength; ++k) IEReverseByteBits(FRow[size_t(k)]);
        EmitRow(FirstRow + r);
      }
      return;
    }
    if (Size <= 0 || Size > left) Size = left;
    Size = std::min<int64_t>(Size, IEReadLimits.TIFF.MaxBytes);
    FStrip.resize(static_cast<size_t>(Size));
    const int64_t got = IEReadAt(FDir.Stream, start, FStrip.data(), Size);
    if (got <= 0) return;
    FStrip.resize(static_cast<size_t>(got));
    switch (FV.Compression) {
      case TIFFCOMP_PACKBITS:
        PackBitsStrip(FirstRow, Rows);
        break;
      case TIFFCOMP_LZW:
        LZWStrip(FirstRow, Rows);
        break;
      case TIFFCOMP_ADOBE_DEFLATE:
      case TIFFCOMP_DEFLATE:
        DeflateStrip(FirstRow, Rows);
        break;
      case TIFFCOMP_CCITTRLE:
      case TIFFCOMP_CCITTFAX3:
      case TIFFCOMP_CCITTFAX4:
        CCITTStrip(FirstRow, Rows);
        break;
      default:
        break;
    }
  }

  // Fax rows: modified Huffman rows start on byte boundaries, Group 3 and
  // Group 4 rows follow each other bit by bit. The reference line starts
  // white in every strip. A row that consumes no data ends the strip.
  void CCITTStrip(int64_t FirstRow, int64_t Rows) {
    if (FKind != rkBilevel) return;
    const Integer w = FV.ImageWidth;
    const Byte* d = FStrip.data();
    const int64_t n = int64_t(FStrip.size());
    std::vector<Byte> ref(static_cast<size_t>(FRowLength), 255);
    int64_t bit = 0, byte = 0;
    for (int64_t r = 0; r < Rows && !FProgress.Aborted(); ++r) {
      if (FV.Compression == TIFFCOMP_CCITTRLE) {
        if (byte >= n) return;
        const int64_t used = IECCITTDecodeHuffmanRow(FRow.data(), d + byte, n - byte, w, FV.FillOrder);
        if (used <= 0) return;
        byte += used;
      } else {
        if (bit >= n * 8) return;
        int64_t next;
        if (FV.Compression == TIFFCOMP_CCITTFAX4)
          next = IECCITTDecodeRow2D(FRow.data(), d, n, w, ref.data(), bit, FV.FillOrder, (FV.T4Options & 4) != 0);
        else if (FV.T4Options & 1)
          next = IECCITTDecodeRow2D(FRow.data(), d, n, w, ref.data(), bit, FV.FillOrder, true);
        else
          next = IECCITTDecodeRow1D(FRow.data(), d, n, w, bit, FV.FillOrder);
        if (next <= bit) return;
        bit = next;
      }
      EmitRow(FirstRow + r);
    }
  }

  void PackBitsStrip(int64_t FirstRow, int64_t Rows) {
    const bool mirror = FV.FillOrder == 2;
    const Byte* p = FStrip.data();
    const Byte* end = p + FStrip.size();
    auto next = [&]() {
      Byte b = *p++;
      if (mirror) IEReverseByteBits(b);
      return b;
    };
    for (int64_t r = 0; r < Rows && !FProgress.Aborted(); ++r) {
      int64_t out = 0;
      while (out < FRowLength && p < end) {
        const int8_t n = static_cast<int8_t>(next());
        if (n >= 0) {
          // A literal run cut by the end of the strip copies what is there.
          const int64_t count = std::min<int64_t>(n + 1, end - p);
          for (int64_t k = 0; k < count; ++k) {
            const Byte b = next();
            if (out < FRowLength) FRow[size_t(out++)] = b;
          }
        } else if (n != -128) {
          if (p >= end) break;
          const Byte b = next();
          for (int64_t k = 0; k < 1 - n && out < FRowLength; ++k) FRow[size_t(out++)] = b;
        }
      }
      if (out < FRowLength) return;  // the strip ended inside this row
      EmitRow(FirstRow + r);
    }
  }

  void LZWStrip(int64_t FirstRow, int64_t Rows) {
    void* state = nullptr;
    const Integer size = static_cast<Integer>(std::min<int64_t>(int64_t(FStrip.size()), INT32_MAX));
    for (int64_t r = 0; r < Rows && !FProgress.Aborted(); ++r) {
      const Byte* row =
          FV.LZWDecompress(FStrip.data(), size, static_cast<Integer>(FRowLength), state, FV.FillOrder);
      if (!row) {
        FProgress.Abort();
        break;
      }
      std::memcpy(FRow.data(), row, size_t(FRowLength));
      EmitRow(FirstRow + r);
    }
    FV.LZWDecompress(nullptr, 0, 0, state, FV.FillOrder);
  }

  // The whole strip is inflated at once, into no more than its rows need
  // (a deflate bomb inflates no further); corrupt or cut data keep the rows
  // inflated before the fault.
  void DeflateStrip(int64_t FirstRow, int64_t Rows) {
    const int64_t want = Rows * FRowLength;
    if (want > IEReadLimits.TIFF.MaxBytes) return;
    FInflated.resize(static_cast<size_t>(want));
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return;
    int64_t produced = 0, consumed = 0;
    const int64_t inSize = int64_t(FStrip.size());
    int rc = Z_OK;
    while (rc == Z_OK && produced < want) {
      const uInt inChunk = static_cast<uInt>(std::min<int64_t>(inSize - consumed, 1 << 30));
      const uInt outChunk = static_cast<uInt>(std::min<int64_t>(want - produced, 1 << 30));
      z.next_in = FStrip.data() + consumed;
      z.avail_in = inChunk;
      z.next_out = FInflated.data() + produced;
      z.avail_out = outChunk;
      rc = inflate(&z, Z_NO_FLUSH);
      consumed += inChunk - z.avail_in;
      produced += outChunk - z.avail_out;
      if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && consumed >= inSize)) break;
    }
    inflateEnd(&z);
    for (int64_t r = 0; r < Rows && !FProgress.Aborted(); ++r) {
      if ((r + 1) * FRowLength > produced) return;
      std::memcpy(FRow.data(), FInflated.data() + r * FRowLength, size_t(FRowLength));
      EmitRow(FirstRow + r);
    }
  }

  // Host order, predictor, samples widened to bytes, conversion.
  void EmitRow(int64_t Y) {
    const Integer w = FV.ImageWidth;
    const Integer s = FV.SamplesPerPixel;
    const Integer bits = FV.BitsPerSample;
    Byte* raw = FRow.data();
    if (bits == 16 && !FV.LittleEndian) {
      Word* words = reinterpret_cast<Word*>(raw);
      for (int64_t i = 0; i < FRowLength / 2; ++i) words[i] = IEByteSwap16(words[i]);
    }
    if (FV.Predictor == 2 && FKind != rkYCbCr21) TIFFUndoPredictor(raw, w, s, bits);
    const Byte* src = raw;
    if (bits < 8 && FKind != rkBilevel) {
      Unpack(raw, int64_t(w) * s, bits);
      src = FSamples.data();
    }
    ConvertRow(src, static_cast<Integer>(Y));
    FProgress.val++;
    if (FProgress.fOnProgress) {
      const Integer per = IEProgressPercent(FProgress.val, FProgress.per1);
      if (per != FLastPercent) {
        FLastPercent = per;
        FProgress.fOnProgress(FProgress.Sender, per);
      }
    }
  }

  // Samples of 1..7 bits, most significant first, into one byte each; grey
  // levels are brought to the 0..255 scale.
  void Unpack(const Byte* Src, int64_t Count, Integer Bits) {
    const Integer mask = (1 << Bits) - 1;
    int64_t bit = 0;
    for (int64_t i = 0; i < Count; ++i, bit += Bits) {
      // Two bytes hold any sample of up to 7 bits; the row buffer has slack.
      const Integer pair = Src[bit >> 3] << 8 | Src[(bit >> 3) + 1];
      FSamples[size_t(i)] = static_cast<Byte>((pair >> (16 - Bits - (bit & 7))) & mask);
    }
    if (FKind == rkGray8) {
      const Integer scale = Bits == 4 ? 17 : Bits == 2 ? 85 : Bits == 7 ? 2 : 1;
      if (scale != 1)
        for (int64_t i = 0; i < Count; ++i) FSamples[size_t(i)] = static_cast<Byte>(FSamples[size_t(i)] * scale);
    }
  }

  TRGB PaletteColor(Byte Index) const {
    return Index < FV.Palette.size() ? FV.Palette[Index] : TRGB{0, 0, 0};
  }

  void ConvertRow(const Byte* Src, Integer Y) {
    const Integer w = FV.ImageWidth;
    const Integer s = FV.SamplesPerPixel;
    const TIEPixelFormat pf = FBitmap->PixelFormat();
    Byte* dst = static_cast<Byte*>(FBitmap->GetScanline(Y));
    Byte* alpha = FV.AlphaMask && !FV.IgnoreAlpha ? FV.AlphaMask->ScanLine(Y) : nullptr;
    const bool white0 = FV.Photometric == TIFFPHOTO_MINISWHITE;
    const Word* words = reinterpret_cast<const Word*>(Src);
    TIEColorProfiles* profiles = FV.Params;
    switch (FKind) {
      case rkBilevel: {
        // Fax decoding gives 1 = white already; with BlackIsZero the fax
        // "white" runs are the zeros, which display black, whatever the
        // fax coding (modified Huffman, Group 3 or Group 4).
        const bool fax = FV.Compression >= TIFFCOMP_CCITTRLE && FV.Compression <= TIFFCOMP_CCITTFAX4;
        const bool invert = (white0 && !fax) || (FV.Photometric == TIFFPHOTO_MINISBLACK && fax);
        const int64_t n = std::min<int64_t>(FRowLength, FBitmap->RowLen());
        for (int64_t i = 0; i < n; ++i) dst[i] = invert ? static_cast<Byte>(~Src[i]) : Src[i];
        break;
      }
      case rkRGB8:
        if (alpha) {
          for (Integer x = 0; x < w; ++x) {
            const Byte* p = Src + int64_t(x) * s;
            Byte* d = dst + int64_t(x) * 3;
            d[0] = p[2];
            d[1] = p[1];
            d[2] = p[0];
            ExtraSamples(p + 3, s - 3, d, alpha[x]);
          }
        } else if (s > 3) {
          // Extra samples that are not kept: the colours alone go through
          // the colour conversion.
          for (Integer x = 0; x < w; ++x) std::memcpy(&FPixels[size_t(x) * 3], Src + int64_t(x) * s, 3);
          IEConvertColorFormat(FPixels.data(), iecfRGB, dst, iecfBGR, w, profiles);
        } else {
          IEConvertColorFormat(Src, iecfRGB, dst, iecfBGR, w, profiles);
        }
        break;
      case rkRGB16:
        if (pf == ieRGB48 && s == 3) {
          std::memcpy(dst, Src, size_t(w) * 6);
        } else {
          for (Integer x = 0; x < w; ++x) {
            const Word* p = words + int64_t(x) * s;
            for (Integer c = 0; c < 3; ++c) FPixels[size_t(x) * 3 + c] = static_cast<Byte>(p[c] >> 8);
          }
          // The same 8-bit colour path as 8-bit files, then the alpha.
          IEConvertColorFormat(FPixels.data(), iecfRGB, dst, iecfBGR, w, profiles);
          if (alpha && s > 3)
            for (Integer x = 0; x < w; ++x) {
              Byte extra[TIFFMaxExtraSamples];
              const Integer n = std::min(s - 3, TIFFMaxExtraSamples);
              for (Integer k = 0; k < n; ++k) extra[k] = static_cast<Byte>(words[int64_t(x) * s + 3 + k] >> 8);
              ExtraSamples(extra, n, dst + int64_t(x) * 3, alpha[x]);
            }
        }
        break;
      case rkRGB555:
        for (Integer x = 0; x < w; ++x) {
          const Word v = words[x];
          dst[x * 3 + 0] = static_cast<Byte>((v & 0x1F) << 3);
          dst[x * 3 + 1] = static_cast<Byte>(((v >> 5) & 0x1F) << 3);
          dst[x * 3 + 2] = static_cast<Byte>(((v >> 10) & 0x1F) << 3);
        }
        break;
      case rkPalette:
        if (pf == ie8p) {
          std::memcpy(dst, Src, size_t(w));
        } else {
          for (Integer x = 0; x < w; ++x) reinterpret_cast<TRGB*>(dst)[x] = PaletteColor(Src[x]);
        }
        break;
      case rkPaletteA:
        for (Integer x = 0; x < w; ++x) {
          reinterpret_cast<TRGB*>(dst)[x] = PaletteColor(Src[x * 2]);
          // Alpha 0 is transparent in TIFF, as in the mask.
          if (alpha) alpha[x] = Src[x * 2 + 1];
        }
        break;
      case rkGray8:
        for (Integer x = 0; x < w; ++x) {
          const Byte g = white0 ? static_cast<Byte>(255 - Src[x]) : Src[x];
          if (pf == ie8g)
            dst[x] = g;
          else
            dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = g;
        }
        break;
      case rkGrayA8:
        for (Integer x = 0; x < w; ++x) {
          const Byte g = white0 ? static_cast<Byte>(255 - Src[x * 2]) : Src[x * 2];
          dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = g;
          if (alpha) alpha[x] = Src[x * 2 + 1];
        }
        break;
      case rkGray16: {
        const int shift = FV.Software.compare(0, 15, "Look@Molli v1.1") == 0 ? 4 : 8;
        Word* d16 = reinterpret_cast<Word*>(dst);
        for (Integer x = 0; x < w; ++x) {
          const Word v = white0 ? static_cast<Word>(65535 - words[x]) : words[x];
          if (pf == ie16g)
            d16[x] = v;
          else
            dst[x * 3] = dst[x * 3 + 1] = dst[x * 3 + 2] = ClampByte(v >> shift);
        }
        break;
      }
      case rkCMYK8:
      case rkCMYK16: {
        // Files store ink (255 = full); the pixel stores its inverse.
        Byte* cmyk = pf == ieCMYK ? dst : FPixels.data();
        for (Integer x = 0; x < w; ++x)
          for (Integer c = 0; c < 4; ++c) {
            const Byte ink = FKind == rkCMYK8 ? Src[int64_t(x) * s + c] : static_cast<Byte>(words[x * 4 + c] >> 8);
            cmyk[x * 4 + c] = static_cast<Byte>(255 - ink);
          }
        if (pf != ieCMYK) IEConvertColorFormat(cmyk, iecfCMYK, dst, iecfBGR, w, profiles);
        if (alpha && FKind == rkCMYK8 && s >= 5 && FV.ExtraSample == 2)
          for (Integer x = 0; x < w; ++x) alpha[x] = Src[int64_t(x) * s + 4];
        break;
      }
      case rkLab:
        IEConvertColorFormat(Src, iecfCIELab, dst, iecfBGR, w, profiles);
        break;
      case rkYCbCr21: {
        for (Integer x = 0; x < w; ++x) {
          const Byte* g = Src + int64_t(x / 2) * 4;
          FPixels[size_t(x) * 3] = g[x & 1];
          FPixels[size_t(x) * 3 + 1] = g[2];
          FPixels[size_t(x) * 3 + 2] = g[3];
        }
        IEConvertColorFormat(FPixels.data(), iecfYCbCr, dst, iecfBGR, w, profiles);
        break;
      }
      case rkNone:
        break;
    }
  }

  // The extra samples of one RGB pixel (BGR already in Pixel): associated
  // alpha is divided out (clamped, since rounding or straight data can put a
  // colour above its alpha), unassociated alpha goes to the mask as it is.
  // Four-sample files without ExtraSamples count as unassociated.
  void ExtraSamples(const Byte* Extra, Integer Count, Byte* Pixel, Byte& Mask) {
    Count = std::min(Count, TIFFMaxExtraSamples);
    for (Integer k = 0; k < Count; ++k) {
      const Integer kind = k < FV.ExtraSamplesCount ? FV.ExtraSamples[k] : (FV.ExtraSamplesCount == 0 && k == 0 ? 2 : 0);
      const Byte a = Extra[k];
      if (kind == 1) {
        Mask = a;
        if (a != 0)
          for (int c = 0; c < 3; ++c) Pixel[c] = ClampByte(int64_t(Pixel[c]) * 255 / a);
      } else if (kind == 2) {
        Mask = a;
      }
    }
  }

  TTIFFDirectory& FDir;
  TTIFFVars& FV;
  TIEBitmap* FBitmap;
  TIEProgressRec& FProgress;
  TRowKind FKind = rkNone;
  int64_t FRowLength = 0;
  int64_t FStreamSize = 0;
  Integer FLastPercent = -1;
  std::vector<Byte> FRow, FSamples, FPixels, FStrip, FInflated;
};

}  // namespace

namespace tiffstrips {
namespace {

// The bytes of one strip or tile: the count when it is sound, else what the
// stream holds from the offset; never more than the reader's limit.
bool ReadChunk(TTIFFDirectory& Dir, int64_t Offset, int64_t Size, TMemoryStream& Out) {
  const int64_t start = Dir.Base + Offset;
  const int64_t left = Dir.Stream->Size() - start;
  if (left <= 0) return false;
  if (Size <= 0 || Size > left) Size = left;
  Size = std::min<int64_t>(Size, IEReadLimits.TIFF.MaxBytes);
  Out.SetSize(Size);
  const int64_t got = IEReadAt(Dir.Stream, start, Out.Memory(), Size);
  if (got <= 0) return false;
  Out.SetSize(got);
  Out.SetPosition(0);
  return true;
}

// JPEG strips or tiles (compression 7): each is a JPEG stream of its own,
// with the shared tables (JPEGTables) read first. RGB data are coded
// without colour conversion. The decoder runs on a flag of its own, merged
// afterwards, so that its failure and the user's cancel stay apart.
void ReadJPEGStrips(TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  const int64_t h = V.ImageHeight;
  const int64_t rps = V.RowsPerStrip > 0 ? V.RowsPerStrip : h;
  TMemoryStream tables;
  if (!V.JPEGTables.empty()) tables.Write(V.JPEGTables.data(), int64_t(V.JPEGTables.size()));
  for (size_t i = 0; i < V.StripOffsets.size() && !Progress.Aborted(); ++i) {
    const int64_t first = int64_t(i) * rps;
    if (first >= h) break;
    TMemoryStream strip;
    if (!ReadChunk(Dir, V.StripOffsets[i], i < V.StripByteCounts.size() ? V.StripByteCounts[i] : 0, strip)) continue;
    tables.SetPosition(0);
    std::atomic<bool> aborting{false};
    TIEProgressRec local(aborting);
    TIOParamsVals jp(nullptr);
    TIEBitmap rows;
    const bool native = pf == ie8g || pf == ieCMYK;
    IEReadJPEG(&strip, V.JPEGTables.empty() ? nullptr : &tables, &rows, jp, local, false,
               V.Photometric == TIFFPHOTO_RGB, false, V.Photometric == TIFFPHOTO_SEPARATED, false, false, -1, native);
    if (aborting.load() || rows.Width() == 0) {
      Progress.Abort();
      return;
    }
    TIEBitmap converted;
    TIEBitmap* src = &rows;
    if (rows.PixelFormat() != pf) {
      if (!converted.Allocate(rows.Width(), rows.Height(), pf)) {
        Progress.Abort();
        return;
      }
      converted.CopyAndConvertFormat(&rows);
      src = &converted;
    }
    const int64_t n = std::min<int64_t>({rps, h - first, src->Height()});
    const int64_t bytes = std::min<int64_t>(src->RowLen(), Bitmap->RowLen());
    for (int64_t r = 0; r < n; ++r)
      std::memcpy(Bitmap->GetScanline(Integer(first + r)), src->GetScanline(Integer(r)), size_t(bytes));
  }
}

void DecodeChunky(TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  if (V.Compression == TIFFCOMP_JPEG)
    ReadJPEGStrips(Dir, V, Bitmap, Progress);
  else
    TStripReader(Dir, V, Bitmap, Progress).Run();
}

// Tiles: each is decoded as a one-strip picture of the tile's size, then
// its visible part is copied into place, so edge tiles that overhang the
// picture and tile counts that disagree with the grid never reach past it.
void ReadTiles(TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  const int64_t tw = V.TileWidth, tl = V.TileLength;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  const Integer bits = IEPixelFormatBitCount(pf);
  if (tw <= 0 || tl <= 0 || tw > 65536 || tl > 65536 || V.PlanarConfig != 1 || (bits != 1 && bits % 8 != 0) ||
      (bits == 1 && tw % 8 != 0)) {
    Progress.Abort();
    return;
  }
  const Integer getTile = V.Params ? V.Params->TIFF_GETTILE : -1;
  // With one tile asked for, the picture is that tile; the grid is the
  // whole image's.
  const int64_t imageW = getTile >= 0 ? TIFFGetInteger(Dir, TIFFTAG_IMAGEWIDTH, 0) : V.ImageWidth;
  const int64_t imageH = getTile >= 0 ? TIFFGetInteger(Dir, TIFFTAG_IMAGELENGTH, 0) : V.ImageHeight;
  const int64_t across = (imageW + tw - 1) / tw, down = (imageH + tl - 1) / tl;
  TTIFFVars t = V;
  t.ImageWidth = Integer(tw);
  t.ImageHeight = Integer(tl);
  t.RowsPerStrip = Integer(tl);
  t.TileWidth = t.TileLength = -1;
  std::unique_ptr<TIEMask> mask;
  if (V.AlphaMask) {
    mask = std::make_unique<TIEMask>();
    mask->AllocateBits(Integer(tw), Integer(tl), 8);
    t.AlphaMask = mask.get();
  }
  TIEBitmap tile;
  if (!tile.Allocate(Integer(tw), Integer(tl), pf)) {
    Progress.Abort();
    return;
  }
  for (Integer i = 0; i < Bitmap->GetPaletteLength() && i < tile.GetPaletteLength(); ++i) {
    TRGB c;
    Bitmap->GetPaletteColor(i, c);
    tile.SetPaletteColor(i, c);
  }
  for (int64_t ty = 0; ty < down && !Progress.Aborted(); ++ty)
    for (int64_t tx = 0; tx < across && !Progress.Aborted(); ++tx) {
      const int64_t i = ty * across + tx;
      if (getTile >= 0 && i != getTile) continue;
      if (i >= int64_t(V.TileOffsets.size())) return;
      t.StripOffsets.assign(1, V.TileOffsets[size_t(i)]);
      t.StripByteCounts.assign(1, i < int64_t(V.TileByteCounts.size()) ? V.TileByteCounts[size_t(i)] : 0);
      tile.Fill(0);
      if (mask) mask->Fill(255);
      DecodeChunky(Dir, t, &tile, Progress);
      const int64_t x0 = getTile >= 0 ? 0 : tx * tw, y0 = getTile >= 0 ? 0 : ty * tl;
      const int64_t cols = std::min<int64_t>(tw, Bitmap->Width() - x0), rows = std::min<int64_t>(tl, Bitmap->Height() - y0);
      if (cols <= 0 || rows <= 0) continue;
      const int64_t at = bits == 1 ? x0 / 8 : x0 * (bits / 8);
      const int64_t bytes = bits == 1 ? (cols + 7) / 8 : cols * (bits / 8);
      for (int64_t r = 0; r < rows; ++r) {
        Byte* d = static_cast<Byte*>(Bitmap->GetScanline(Integer(y0 + r)));
        std::memcpy(d + at, tile.GetScanline(Integer(r)), size_t(bytes));
        if (mask) std::memcpy(V.AlphaMask->ScanLine(Integer(y0 + r)) + x0, mask->ScanLine(Integer(r)), size_t(cols));
      }
    }
}

// Planar data: each sample plane is decoded as a grey picture (its own
// compression and predictor), then the planes are combined. 8-bit RGB and
// CMYK only; other planar layouts leave the picture as allocated.
void ReadPlanar(TTIFFDirectory& Dir, TTIFFVars& V, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  const Integer s = V.SamplesPerPixel;
  const bool rgb = V.Photometric == TIFFPHOTO_RGB && s == 3;
  const bool cmyk = V.Photometric == TIFFPHOTO_SEPARATED && s >= 4;
  if (V.BitsPerSample != 8 || (!rgb && !cmyk) || s > 10) return;
  const size_t perPlane = V.StripOffsets.size() / size_t(s);
  if (perPlane == 0) return;
  const Integer planes = rgb ? 3 : 4;
  TIEBitmap plane[4];
  for (Integer e = 0; e < planes && !Progress.Aborted(); ++e) {
    TTIFFVars t = V;
    t.SamplesPerPixel = 1;
    t.Photometric = TIFFPHOTO_MINISBLACK;
    t.PlanarConfig = 1;
    t.AlphaMask = nullptr;
    t.ExtraSamplesCount = 0;
    t.ExtraSample = 0;
    const size_t from = size_t(e) * perPlane;
    t.StripOffsets.assign(V.StripOffsets.begin() + from, V.StripOffsets.begin() + from + perPlane);
    t.StripByteCounts.clear();
    for (size_t k = from; k < from + perPlane && k < V.StripByteCounts.size(); ++k)
      t.StripByteCounts.push_back(V.StripByteCounts[k]);
    if (!plane[size_t(e)].Allocate(V.ImageWidth, V.ImageHeight, ie8g)) {
      Progress.Abort();
      return;
    }
    plane[size_t(e)].Fill(0);
    DecodeChunky(Dir, t, &plane[size_t(e)], Progress);
  }
  const Integer w = V.ImageWidth;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  std::vector<Byte> ink(size_t(w) * 4);
  for (Integer y = 0; y < V.ImageHeight && !Progress.Aborted(); ++y) {
    Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y));
    const Byte* p[4] = {};
    for (Integer e = 0; e < planes; ++e) p[e] = static_cast<const Byte*>(plane[size_t(e)].GetScanline(y));
    if (rgb) {
      for (Integer x = 0; x < w; ++x) d[3 * x] = p[2][x], d[3 * x + 1] = p[1][x], d[3 * x + 2] = p[0][x];
      continue;
    }
    // Files store ink (255 = full); the pixel stores its inverse.
    Byte* c = pf == ieCMYK ? d : ink.data();
    for (Integer x = 0; x < w; ++x)
      for (Integer k = 0; k < 4; ++k) c[4 * x + k] = Byte(255 - p[k][x]);
    if (pf != ieCMYK) IEConvertColorFormat(c, iecfCMYK, d, iecfBGR, w, V.Params);
  }
}

}  // namespace
}  // namespace tiffstrips

void TIFFReadStrips(TTIFFDirectory& Dir, TTIFFVars& Vars, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  using namespace tiffstrips;
  if (Vars.TileWidth > 0 || Vars.TileLength > 0)
    ReadTiles(Dir, Vars, Bitmap, Progress);
  else if (Vars.PlanarConfig == 2)
    ReadPlanar(Dir, Vars, Bitmap, Progress);
  else
    DecodeChunky(Dir, Vars, Bitmap, Progress);
}
