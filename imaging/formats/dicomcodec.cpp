// The compressed pixel data of DICOM files: finding a frame's fragments in
// encapsulated data, the RLE byte-plane decoder and a lossless JPEG decoder
// (Huffman coded, predictors 1 to 7). Every count and offset comes from the
// file and is checked against the bytes that are there.
#include <algorithm>
#include <cstring>

#include "imaging/formats/dicom.h"
#include "imaging/io/ielimits.h"

namespace dicomcodec {
namespace {

uint32_t LE32(const Byte* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }
uint16_t LE16(const Byte* P) { return uint16_t(P[0] | P[1] << 8); }

struct TItem {
  size_t Header;  // position of the item tag
  size_t Start;   // first value byte
  size_t Length;
};

// ---------------------------------------------------------------------------
// Lossless JPEG

struct THuffman {
  bool Defined = false;
  Integer MaxCode[18] = {};
  Integer ValPtr[18] = {};
  Integer MinCode[18] = {};
  Byte Values[17] = {};
};

// Canonical codes from the 16 length counts.
bool BuildHuffman(const Byte* Counts, const Byte* Symbols, Integer Total, THuffman& T) {
  Integer code = 0, k = 0;
  for (Integer len = 1; len <= 16; ++len) {
    T.ValPtr[len] = k;
    T.MinCode[len] = code;
    code += Counts[len - 1];
    k += Counts[len - 1];
    T.MaxCode[len] = Counts[len - 1] ? code - 1 : -1;
    // A code that would not fit in len bits means the counts are inconsistent.
    if (code > (1 << len)) return false;
    code <<= 1;
  }
  T.MaxCode[17] = INT32_MAX;
  std::memcpy(T.Values, Symbols, size_t(Total));
  T.Defined = true;
  return true;
}

class TBitReader {
 public:
  TBitReader(const Byte* Data, size_t Size, size_t Pos) : FData(Data), FSize(Size), FPos(Pos) {}
  // One bit; past the data or at a marker, zeros.
  Integer Bit() {
    if (FBits == 0) {
      FByte = NextByte();
      FBits = 8;
    }
    --FBits;
    return (FByte >> FBits) & 1;
  }
  Integer Bits(Integer N) {
    Integer v = 0;
    for (Integer i = 0; i < N; ++i) v = (v << 1) | Bit();
    return v;
  }
  // Drops the partial byte and moves past the next restart marker.
  void Restart() {
    FBits = 0;
    FMarker = false;
    while (FPos + 1 < FSize) {
      if (FData[FPos] == 0xFF && FData[FPos + 1] >= 0xD0 && FData[FPos + 1] <= 0xD7) {
        FPos += 2;
        return;
      }
      ++FPos;
    }
    FPos = FSize;
  }

 private:
  Byte NextByte() {
    if (FMarker || FPos >= FSize) return 0;
    const Byte b = FData[FPos];
    if (b == 0xFF) {
      if (FPos + 1 < FSize && FData[FPos + 1] == 0x00) {
        FPos += 2;
        return 0xFF;
      }
      FMarker = true;  // a marker ends the coded data
      return 0;
    }
    ++FPos;
    return b;
  }
  const Byte* FData;
  size_t FSize, FPos;
  Byte FByte = 0;
  Integer FBits = 0;
  bool FMarker = false;
};

Integer DecodeSymbol(TBitReader& R, const THuffman& T) {
  Integer code = R.Bit();
  Integer len = 1;
  while (len <= 16 && code > T.MaxCode[len]) {
    code = (code << 1) | R.Bit();
    ++len;
  }
  if (len > 16) return -1;
  const Integer index = T.ValPtr[len] + code - T.MinCode[len];
  return index >= 0 && index < 17 ? T.Values[index] : -1;
}

}  // namespace
}  // namespace dicomcodec

using namespace dicomcodec;

bool IEDICOMFrameFragments(const Byte* Data, size_t Size, Integer Index, Integer Frames, bool,
                           std::vector<Byte>& Frame) {
  Frame.clear();
  if (Index < 0 || Frames < 1 || Index >= Frames) return false;
  std::vector<TItem> items;
  size_t pos = 0;
  while (pos + 8 <= Size) {
    const uint16_t g = LE16(Data + pos), e = LE16(Data + pos + 2);
    if (g != 0xFFFE || e != 0xE000) break;  // the sequence delimiter, or the end
    const size_t len = LE32(Data + pos + 4);
    if (len > Size - pos - 8) return false;
    items.push_back({pos, pos + 8, len});
    pos += 8 + len;
  }
  if (items.empty()) return false;
  const TItem table = items.front();
  items.erase(items.begin());
  if (items.empty()) return false;
  const size_t tableEnd = table.Start + table.Length;
  // Offsets count from the end of the whole table, to each frame's first item.
  const size_t entries = table.Length / 4;
  std::vector<const TItem*> chosen;
  if (entries >= size_t(Frames) && size_t(Index) < entries) {
    const size_t first = tableEnd + LE32(Data + table.Start + 4 * size_t(Index));
    const size_t last = size_t(Index) + 1 < entries ? tableEnd + LE32(Data + table.Start + 4 * size_t(Index + 1)) : Size;
    for (const TItem& it : items)
      if (it.Header >= first && it.Header < last) chosen.push_back(&it);
  } else if (Frames == 1) {
    for (const TItem& it : items) chosen.push_back(&it);
  } else if (size_t(Index) < items.size()) {
    // No usable table: one fragment per frame.
    chosen.push_back(&items[size_t(Index)]);
  }
  if (chosen.empty()) return false;
  for (const TItem* it : chosen) Frame.insert(Frame.end(), Data + it->Start, Data + it->Start + it->Length);
  return !Frame.empty();
}

bool IEDICOMDecodeRLE(const Byte* Data, size_t Size, Integer Planes, size_t Count, std::vector<Byte>& Out) {
  if (Size < 64 || Planes < 1 || Planes > 15) return false;
  const uint32_t segments = LE32(Data);
  if (segments != uint32_t(Planes)) return false;
  Out.assign(size_t(Planes) * Count, 0);
  for (Integer s = 0; s < Planes; ++s) {
    const size_t start = LE32(Data + 4 + 4 * s);
    // Each segment ends where the next begins: segments are padded to an
    // even length, and the pad byte is not a control byte.
    const size_t end = s + 1 < Planes ? LE32(Data + 8 + 4 * s) : Size;
    if (start < 64 || start > end || end > Size) return false;
    Byte* out = Out.data() + size_t(s) * Count;
    size_t n = 0, p = start;
    while (n < Count && p < end) {
      const int8_t c = int8_t(Data[p++]);
      if (c >= 0) {
        const size_t run = std::min({size_t(c) + 1, Count - n, end - p});
        std::memcpy(out + n, Data + p, run);
        n += run;
        p += size_t(c) + 1;
      } else if (c != -128) {
        if (p >= end) break;
        const size_t run = std::min(size_t(1 - c), Count - n);
        std::memset(out + n, Data[p++], run);
        n += run;
      }
    }
  }
  return true;
}

bool IEDICOMDecodeLosslessJPEG(const Byte* Data, size_t Size, std::vector<Word>& Out16, std::vector<Byte>& Out8,
                               Integer& Width, Integer& Height, Integer& Components, Integer& Precision) {
  if (Size < 32) return false;
  THuffman byOrder[4], byId[4];
  Integer tables = 0;
  Integer restart = 0, predictor = 0, pointTransform = 0;
  bool sof3 = false, frame = false;
  Integer scanComps = 0;
  Integer compTable[4] = {-1, -1, -1, -1};
  Width = Height = Components = Precision = 0;
  size_t pos = 2;
  size_t scanStart = 0;
  while (pos < Size) {
    if (Data[pos] != 0xFF || pos + 1 >= Size) return false;
    const Byte m = Data[pos + 1];
    pos += 2;
    if (m == 0xFF) {
      --pos;  // fill byte: the next 0xFF starts the marker
      continue;
    }
    if (m == 0x00 || m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;
    if (m == 0xD9) return false;  // end of image before any scan
    if (pos + 2 > Size) return false;
    const size_t len = size_t(Data[pos]) << 8 | Data[pos + 1];
    if (len < 2 || len > Size - pos) return false;
    const Byte* seg = Data + pos + 2;
    const size_t segLen = len - 2;
    if ((m >= 0xC0 && m <= 0xC3) || (m >= 0xC5 && m <= 0xCB) || (m >= 0xCD && m <= 0xCF)) {
      if (segLen < 6) return false;
      frame = true;
      sof3 = m == 0xC3;
      Precision = seg[0];
      Height = seg[1] << 8 | seg[2];
      Width = seg[3] << 8 | seg[4];
      Components = seg[5];
      if (segLen < 6 + 3 * size_t(Components)) return false;
    } else if (m == 0xC4) {
      size_t p = 0;
      while (segLen - p > 17) {
        const Byte id = seg[p] & 3;
        const Byte* counts = seg + p + 1;
        Integer total = 0;
        for (int i = 0; i < 16; ++i) total += counts[i];
        if (total > 17 || segLen - p - 17 < size_t(total)) return false;
        const Byte* symbols = seg + p + 17;
        for (Integer i = 0; i < total; ++i)
          if (symbols[i] > 16) return false;
        THuffman t;
        if (!BuildHuffman(counts, symbols, total, t)) return false;
        if (tables < 4) byOrder[tables++] = t;
        byId[id] = t;
        p += 17 + size_t(total);
      }
    } else if (m == 0xDD) {
      if (segLen < 2) return false;
      restart = seg[0] << 8 | seg[1];
    } else if (m == 0xDA) {
      if (!frame || !sof3 || segLen < 1) return false;
      scanComps = seg[0];
      if (scanComps < 1 || scanComps > 4 || segLen < 1 + 2 * size_t(scanComps) + 3) return false;
      for (Integer c = 0; c < scanComps; ++c) compTable[c] = seg[2 + 2 * c] >> 4;
      predictor = seg[1 + 2 * scanComps];
      pointTransform = seg[3 + 2 * scanComps] & 15;
      scanStart = pos + len;
      break;
    }
    pos += len;
  }
  if (!scanStart || !sof3 || tables == 0) return false;
  if (predictor < 1 || predictor > 7 || Precision < 2 || Precision > 16 || pointTransform >= Precision) return false;
  if (Width < 1 || Height < 1 || (Components != 1 && Components != 3) || scanComps != Components) return false;
  if (!IEPictureFits(IEReadLimits.Native, Width, Height, int64_t(Components) * 16)) return false;
  // A picture needs at least one bit per sample of coded data.
  if (!IEDataCanExplain(int64_t(Width) * Height * Components / 8, int64_t(Size - scanStart))) return false;

  const THuffman* use[4];
  for (Integer c = 0; c < Components; ++c) {
    const Integer sel = compTable[c];
    if (sel >= 0 && sel < 4 && byId[sel].Defined)
      use[c] = &byId[sel];
    else
      use[c] = c < tables ? &byOrder[c] : &byOrder[0];
  }
  const size_t w = size_t(Width), n = size_t(Components);
  std::vector<int32_t> rec(w * size_t(Height) * n);
  const int32_t mask = (1 << Precision) - 1;
  const int32_t initial = 1 << (Precision - pointTransform - 1);
  TBitReader bits(Data, Size, scanStart);
  Integer mcus = 0;
  bool firstLine = true;  // the line where the scan or a restart interval begins
  for (Integer y = 0; y < Height; ++y) {
    for (Integer x = 0; x < Width; ++x) {
      bool restartHere = false;
      if (restart > 0 && mcus > 0 && mcus % restart == 0) {
        bits.Restart();
        restartHere = true;
        firstLine = true;
      }
      for (size_t c = 0; c < n; ++c) {
        const Integer s = DecodeSymbol(bits, *use[c]);
        if (s < 0 || s > 16) return false;
        int32_t diff = 0;
        if (s == 16) {
          diff = 32768;
        } else if (s > 0) {
          diff = bits.Bits(s);
          if (diff < (1 << (s - 1))) diff -= (1 << s) - 1;
        }
        const size_t at = (size_t(y) * w + size_t(x)) * n + c;
        int32_t pred;
        if ((y == 0 && x == 0) || restartHere) {
          pred = initial;
        } else if (firstLine) {
          pred = x > 0 ? rec[at - n] : rec[at - w * n];
        } else if (x == 0) {
          pred = rec[at - w * n];
        } else {
          const int32_t ra = rec[at - n], rb = rec[at - w * n], rc = rec[at - w * n - n];
          switch (predictor) {
            case 1: pred = ra; break;
            case 2: pred = rb; break;
            case 3: pred = rc; break;
            case 4: pred = ra + rb - rc; break;
            case 5: pred = ra + ((rb - rc) >> 1); break;
            case 6: pred = rb + ((ra - rc) >> 1); break;
            default: pred = (ra + rb) >> 1; break;
          }
        }
        rec[at] = (pred + diff) & mask;
      }
      ++mcus;
    }
    firstLine = false;
  }
  if (Precision <= 8) {
    Out8.resize(rec.size());
    for (size_t i = 0; i < rec.size(); ++i) Out8[i] = Byte(rec[i] << pointTransform);
  } else {
    Out16.resize(rec.size());
    for (size_t i = 0; i < rec.size(); ++i) Out16[i] = Word(rec[i] << pointTransform);
  }
  return true;
}
