#include "imaging/core/color/iebitrows.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/kernels/iefilters.h"
#include "imaging/core/base/ieparallel.h"
#include "platform/graphics/bitmap.h"

const Byte IEBitMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

const Byte IEBayerMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21},
};

namespace {

struct TWeights {
  Integer r = IEGrayWeightRed, g = IEGrayWeightGreen, b = IEGrayWeightBlue;
  Integer Gray(Integer R, Integer G, Integer B) const { return (R * r + G * g + B * b) / 100; }
};

// Reports Trunc(rows done x step) with step 100 / (height + 0.5).
class TRowProgress {
 public:
  TRowProgress(TIEProgressRec& P, Integer Height) : FP(P) { FP.per1 = 100.0 / (Height + 0.5); }
  void Row(Integer Done) { FP.Report(Done); }

 private:
  TIEProgressRec& FP;
};

// Rows of two pictures can be reached from several threads at once only
// when both are in memory; a temporary file maps one row at a time.
bool InMemory(TIEBitmap& A, TIEBitmap& B) { return A.Location() == ieMemory && B.Location() == ieMemory; }

// Rows of any format as colour triples, and the average colour, are the
// shared routines of iebitmapstats.
void RowToRGB(TIEBitmap& B, Integer y, TRGB* out) { IEGetRowAsRGB(&B, y, out); }

TRGB AverageRGB(TIEBitmap& B) {
  Integer r, g, b;
  IECalcAverageRGB(&B, r, g, b);
  return TRGB{static_cast<Byte>(b), static_cast<Byte>(g), static_cast<Byte>(r)};
}

// Clamped so that unusual gray weights can never index outside the table.
inline Integer GrayIndex(Integer g) { return g < 0 ? 0 : (g > 255 ? 255 : g); }

// Maximum-entropy threshold of a gray histogram: the split t that maximises
// the sum of the two classes' entropies. The search starts below every real
// value, so a picture of two gray levels (where every split between them
// scores exactly 0) splits between them instead of turning white; a picture
// of a single level thresholds at 128.
Integer MaxEntropyThreshold(const int64_t (&h)[256]) {
  int64_t total = 0;
  for (int64_t c : h) total += c;
  if (total <= 0) return 128;
  double p[256];
  double ht = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = double(h[i]) / double(total);
    if (p[i] > 0) ht -= p[i] * std::log(p[i]);
  }
  double best = -std::numeric_limits<double>::infinity();
  Integer threshold = 128;
  double P = 0, H = 0;
  int64_t lower = 0;
  for (int t = 1; t <= 255; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) H -= p[t - 1] * std::log(p[t - 1]);
    // Only proper splits count; rounding can leave P a hair below 1 when the
    // upper class is empty, so emptiness is decided on the counts.
    lower += h[t - 1];
    if (lower == 0 || lower == total) continue;
    const double psi = std::log(P * (1 - P)) + H / P + (ht - H) / (1 - P);
    if (psi > best) {
      best = psi;
      threshold = t;
    }
  }
  return threshold;
}

// Packs one row: bit x set when Gray(x) >= Threshold.
template <class GrayOf>
void ThresholdRow(Byte* d, Integer w, Integer threshold, GrayOf gray) {
  Integer x = 0;
  for (; x + 8 <= w; x += 8) {
    Byte v = 0;
    for (int k = 0; k < 8; ++k) v |= static_cast<Byte>((gray(x + k) >= threshold) << (7 - k));
    *d++ = v;
  }
  if (x < w) {
    Byte v = 0;
    for (int k = 0; x + k < w; ++k) v |= static_cast<Byte>((gray(x + k) >= threshold) << (7 - k));
    *d = v;
  }
}

bool EnsureOneBit(TIEBitmap& Dst, Integer w, Integer h) {
  if (Dst.PixelFormat() == ie1g && Dst.Width() == w && Dst.Height() == h && !Dst.IsEmpty()) return true;
  return Dst.Allocate(w, h, ie1g) && !Dst.IsEmpty();
}

}  // namespace

Integer IEDitherLevel(const TRGB& c) {
  if (c.r >= 251 && c.g >= 251 && c.b >= 251) return 64;
  return TWeights().Gray(c.r, c.g, c.b) >> 2;
}

void IEDitherRow(const Byte* Levels, Byte* Dst, Integer Width, Integer Y) {
  Byte thr[8];
  for (int k = 0; k < 8; ++k) thr[k] = IEBayerMatrix[k][Y & 7];
  Integer x = 0;
  for (; x + 8 <= Width; x += 8) {
    Byte v = 0;
    for (int k = 0; k < 8; ++k) v |= static_cast<Byte>((Levels[x + k] > thr[k]) << (7 - k));
    *Dst++ = v;
  }
  if (x < Width) {
    Byte v = 0;
    for (int k = 0; x + k < Width; ++k) v |= static_cast<Byte>((Levels[x + k] > thr[k]) << (7 - k));
    *Dst = v;
  }
}

void IEGetGrayHistogram(TIEBitmap* Bitmap, int64_t (&Counts)[256]) {
  std::memset(Counts, 0, sizeof(Counts));
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TIEBitmap& B = *Bitmap;
  TIEAccessScope access(B, ieaRead);
  const Integer w = B.Width(), h = B.Height();
  const TWeights wt;
  switch (B.PixelFormat()) {
    case ie1g:
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
        int64_t set = 0;
        Integer x = 0;
        for (; x + 8 <= w; x += 8) set += __builtin_popcount(s[x >> 3]);
        for (; x < w; ++x) set += (s[x >> 3] & IEBitMask[x & 7]) != 0;
        Counts[1] += set;
        Counts[0] += w - set;
      }
      return;
    case ie8g:
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
        for (Integer x = 0; x < w; ++x) ++Counts[s[x]];
      }
      return;
    case ie24RGB:
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
        for (Integer x = 0; x < w; ++x, s += 3) ++Counts[GrayIndex(wt.Gray(s[2], s[1], s[0]))];
      }
      return;
    default: {
      std::vector<TRGB> row(static_cast<size_t>(w));
      for (Integer y = 0; y < h; ++y) {
        RowToRGB(B, y, row.data());
        for (Integer x = 0; x < w; ++x) ++Counts[GrayIndex(wt.Gray(row[x].r, row[x].g, row[x].b))];
      }
      return;
    }
  }
}

void IEThresholdToBitmap(TIEBitmap* Src, TIEBitmap* Dst, Integer Threshold, TIEProgressRec& Progress) {
  if (!Src || !Dst || Src == Dst || Src->IsEmpty()) return;
  TIEBitmap& S = *Src;
  if (S.PixelFormat() == ie1g) {
    Dst->AssignImage(Src);
    return;
  }
  const Integer w = S.Width(), h = S.Height();
  const TWeights wt;
  {
    TIEAccessScope sa(S, ieaRead);
    if (Threshold == -1) {
      const TRGB a = AverageRGB(S);
      Threshold = wt.Gray(a.r, a.g, a.b);
    } else if (Threshold == -2) {
      int64_t hist[256];
      IEGetGrayHistogram(Src, hist);
      Threshold = MaxEntropyThreshold(hist);
    }
  }
  if (!EnsureOneBit(*Dst, w, h)) return;
  TIEAccessScope sa(S, ieaRead), da(*Dst, ieaWrite);
  TRowProgress progress(Progress, h);
  const TIEPixelFormat pf = S.PixelFormat();
  TIEBitmap& D = *Dst;
  IEParallelRows(
      h, int64_t(w) * 3,
      [&](Integer first, Integer last) {
        std::vector<TRGB> row;
        if (pf != ie24RGB && pf != ie8g) row.resize(static_cast<size_t>(w));
        for (Integer y = first; y < last; ++y) {
          const Byte* s = static_cast<const Byte*>(S.GetScanline(y));
          Byte* d = static_cast<Byte*>(D.GetScanline(y));
          switch (pf) {
            case ie24RGB:
              ThresholdRow(d, w, Threshold, [&](Integer x) { return wt.Gray(s[3 * x + 2], s[3 * x + 1], s[3 * x]); });
              break;
            case ie8g:
              ThresholdRow(d, w, Threshold, [&](Integer x) { return wt.Gray(s[x], s[x], s[x]); });
              break;
            default: {
              RowToRGB(S, y, row.data());
              const TRGB* p = row.data();
              ThresholdRow(d, w, Threshold, [&](Integer x) { return wt.Gray(p[x].r, p[x].g, p[x].b); });
              break;
            }
          }
        }
      },
      [&](Integer done) { progress.Row(done); }, InMemory(S, D));
}

void IEThresholdToBitmap(TIEBitmap* Src, TIEBitmap* Dst, Integer Threshold) {
  std::atomic<bool> abort{false};
  TIEProgressRec none(abort);
  IEThresholdToBitmap(Src, Dst, Threshold, none);
}

void IEThresholdTo1Bit(TIEBitmap* Bitmap, Integer Threshold, TIEProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  TIEBitmap temp;
  if (!temp.Allocate(Bitmap->Width(), Bitmap->Height(), ie1g) || temp.IsEmpty()) return;
  IEThresholdToBitmap(Bitmap, &temp, Threshold, Progress);
  Bitmap->AssignImage(&temp);
}

void IEDitherTo1Bit(TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  TIEBitmap& B = *Bitmap;
  const Integer w = B.Width(), h = B.Height();
  TIEBitmap temp;
  if (!temp.Allocate(w, h, ie1g) || temp.IsEmpty()) return;
  {
    TIEAccessScope sa(B, ieaRead), da(temp, ieaWrite);
    TRowProgress progress(Progress, h);
    const TWeights wt;
    IEParallelRows(
        h, int64_t(w) * 3,
        [&](Integer first, Integer last) {
          std::vector<Byte> levels(static_cast<size_t>(w));
          for (Integer y = first; y < last; ++y) {
            const Byte* s = static_cast<const Byte*>(B.GetScanline(y));
            for (Integer x = 0; x < w; ++x, s += 3)
              levels[x] = (s[0] >= 251 && s[1] >= 251 && s[2] >= 251)
                              ? 64
                              : static_cast<Byte>(wt.Gray(s[2], s[1], s[0]) >> 2);
            IEDitherRow(levels.data(), static_cast<Byte*>(temp.GetScanline(y)), w, y);
          }
        },
        [&](Integer done) { progress.Row(done); }, InMemory(B, temp));
  }
  B.AssignImage(&temp);
}

std::unique_ptr<TIEBitmap> IETwoColorsTo1Bit(TIEBitmap* Bitmap, TRGB& Color1, TRGB& Color2) {
  if (!Bitmap || Bitmap->IsEmpty()) return nullptr;
  TIEBitmap& B = *Bitmap;
  const Integer w = B.Width(), h = B.Height();
  auto result = std::make_unique<TIEBitmap>();
  if (!result->Allocate(w, h, ie1g) || result->IsEmpty()) return nullptr;
  TIEAccessScope sa(B, ieaRead);
  std::vector<TRGB> row(static_cast<size_t>(w));
  Integer found = 0;
  Cardinal c1 = 0, c2 = 0;
  for (Integer y = 0; y < h; ++y) {
    RowToRGB(B, y, row.data());
    Byte* d = static_cast<Byte*>(result->GetScanline(y));
    for (Integer x = 0; x < w; ++x) {
      const Cardinal c = (Cardinal(row[x].r) << 16) | (Cardinal(row[x].g) << 8) | row[x].b;
      if (found == 0) {
        c1 = c;
        found = 1;
        Color1 = row[x];
      } else if (c != c1) {
        if (found == 1) {
          c2 = c;
          found = 2;
          Color2 = row[x];
        } else if (c != c2) {
          return nullptr;  // a third colour
        }
      }
      if (c != c1) d[x >> 3] |= IEBitMask[x & 7];
    }
  }
  if (found != 2) return nullptr;
  auto grayOf = [](const TRGB& c) {
    return Round((double(c.r) * IEGrayWeightRed + double(c.g) * IEGrayWeightGreen + double(c.b) * IEGrayWeightBlue) /
                 100.0);
  };
  if (grayOf(Color2) < grayOf(Color1)) {
    IEInvertBitmapBits(result.get());
    std::swap(Color1, Color2);
  }
  return result;
}

void IECopyBits(void* Dest, const void* Src, Integer DestBitOffset, Integer SrcLength, Integer BitCount,
                Integer SrcBitOffset) {
  if (BitCount < 1 || DestBitOffset < 0 || SrcBitOffset < 0) return;
  const int sb = SrcBitOffset & 7, db = DestBitOffset & 7;
  const Byte* s = static_cast<const Byte*>(Src) + (SrcBitOffset >> 3);
  Byte* d = static_cast<Byte*>(Dest) + (DestBitOffset >> 3);
  const int64_t srcBytes = (int64_t(BitCount) + sb + 7) / 8;
  int64_t avail = int64_t(SrcLength) - (SrcBitOffset >> 3);
  if (avail > srcBytes) avail = srcBytes;
  if (avail < 0) avail = 0;
  const int64_t dn = (int64_t(BitCount) + db + 7) / 8;

  // Source and destination may share a row: work from a copy when they overlap.
  std::vector<Byte> copy;
  if (avail > 0 && s < d + dn && d < s + avail) {
    copy.assign(s, s + avail);
    s = copy.data();
  }
  auto at = [&](int64_t i) -> unsigned { return (i >= 0 && i < avail) ? s[i] : 0u; };

  // Destination byte k takes the 8 source bits from bit 8k + sb - db on.
  const int shift = sb - db;  // -7 .. 7
  const int64_t base = shift < 0 ? -1 : 0;
  const int r = shift < 0 ? shift + 8 : shift;  // bit within the byte at 'base + k'
  const Byte keepFirst = static_cast<Byte>(0xFF00 >> db);
  const int lastBit = (db + BitCount - 1) & 7;
  const Byte keepLast = static_cast<Byte>(0xFF >> (lastBit + 1));
  for (int64_t k = 0; k < dn; ++k) {
    const int64_t i = base + k;
    Byte v;
    if (r == 0)
      v = static_cast<Byte>(at(i));
    else
      v = static_cast<Byte>(((at(i) << 8) | at(i + 1)) >> (8 - r));
    Byte keep = 0;
    if (k == 0) keep |= keepFirst;
    if (k == dn - 1) keep |= keepLast;
    d[k] = static_cast<Byte>((d[k] & keep) | (v & ~keep));
  }
}

void IEExpand1BitRow(const void* Src, void* Dst, Integer Width) {
  if (Width <= 0) return;
  const Byte* s = static_cast<const Byte*>(Src);
  Byte* d = static_cast<Byte*>(Dst);
  const Integer whole = Width >> 3;
  for (Integer i = 0; i < whole; ++i, d += 24) std::memcpy(d, IE1BitExpandTable[s[i]].data(), 24);
  if (Width & 7) std::memcpy(d, IE1BitExpandTable[s[whole]].data(), size_t(Width & 7) * 3);
}

void IEConvert1BitTBitmapTo24(TBitmap*& Src, TBitmap*& Dst, TIEProgressRec& Progress) {
  if (!Src || !Dst || Src == Dst) return;
  if (Src->PixelFormat() != pf1bit) {
    // Not a 1-bit picture: its rows cannot be expanded, so it is copied.
    Dst->Assign(Src);
    Dst->SetPixelFormat(pf24bit);
    return;
  }
  Dst->SetSize(1, 1);
  Dst->SetPixelFormat(pf24bit);
  const Integer w = Src->Width(), h = Src->Height();
  Dst->SetSize(w, h);
  if (w <= 0 || h <= 0) return;
  TRowProgress progress(Progress, h);
  for (Integer y = 0; y < h; ++y) {
    IEExpand1BitRow(Src->ScanLine(y), Dst->ScanLine(y), w);
    progress.Row(y + 1);
  }
}

void IEInvertBuffer(void* Buffer, Integer Length) {
  Byte* p = static_cast<Byte*>(Buffer);
  for (Integer i = 0; i < Length; ++i) p[i] = static_cast<Byte>(~p[i]);
}

void IEInvertBitmapBits(TIEBitmap* Bitmap) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TIEAccessScope a(*Bitmap, ieaRead | ieaWrite);
  for (Integer y = 0; y < Bitmap->Height(); ++y) IEInvertBuffer(Bitmap->GetScanline(y), Bitmap->RowLen());
}
