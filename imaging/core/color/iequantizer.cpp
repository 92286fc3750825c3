#include "imaging/core/color/iequantizer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

Integer IEQuantizerMethod = -1;
Integer IEQuantizerQuality = -1;

namespace {

// Open addressing over 1024 slots: enough for 256 keys at a low load.
constexpr Integer LookupBits = 10;
constexpr Cardinal LookupSlots = 1u << LookupBits;
inline Cardinal LookupHash(Cardinal Packed) { return (Packed * 2654435761u) >> (32 - LookupBits); }

inline Integer CellOf(Byte r, Byte g, Byte b) { return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3); }
inline Integer CellOf(Cardinal packed) {
  return CellOf(Byte(packed >> 16), Byte(packed >> 8), Byte(packed));
}

}  // namespace

// ---------------------------------------------------------------------------
// Median cut

namespace {

struct TBox {
  double Score = 0;
  double Mean[3] = {0, 0, 0};  // bin units, red, green, blue
  int64_t Count = 0;
  int64_t Hist[3][32] = {};
  Integer Lo[3] = {0, 0, 0};  // inclusive
  Integer Hi[3] = {0, 0, 0};  // exclusive
};

// A failed axis scores this, above any real sum of two box scores.
constexpr double FailedAxisSum = 17523.6;

}  // namespace

struct TIEMedianCut {
  // Per 5-bit cell: the pixel count and the sums of the real 8-bit red,
  // green and blue values, so that palette entries are true box means.
  std::vector<int64_t> Histogram;
  std::vector<std::array<int64_t, 3>> Sums;
  std::vector<TBox> Boxes;
  std::vector<Byte> Map;
  int64_t Total = 0;
  Integer NCol = 0;
  Integer BoxCount = 0;
  Integer Width = 0, Height = 0;

  int64_t& Cell(Integer r, Integer g, Integer b) { return Histogram[(r << 10) | (g << 5) | b]; }
};

namespace {

void BoxStatistics(TBox& b, int64_t total) {
  if (b.Count == 0) {
    b.Score = 0;
    return;
  }
  double score = 0;
  for (int a = 0; a < 3; ++a) {
    int64_t s1 = 0, s2 = 0;
    for (Integer j = b.Lo[a]; j < b.Hi[a]; ++j) {
      s1 += int64_t(j) * b.Hist[a][j];
      s2 += int64_t(j) * j * b.Hist[a][j];
    }
    const double mean = double(s1) / double(b.Count);
    b.Mean[a] = mean;
    score += double(s2) - mean * mean * double(b.Count);
  }
  b.Score = score / double(total);
}

void ShrinkBounds(TBox& b) {
  for (int a = 0; a < 3; ++a) {
    Integer lo = b.Lo[a], hi = b.Hi[a];
    while (lo < hi && b.Hist[a][lo] == 0) ++lo;
    while (hi > lo && b.Hist[a][hi - 1] == 0) --hi;
    b.Lo[a] = lo;
    b.Hi[a] = hi;
  }
}

bool SplitAxis(TIEMedianCut& st, const TBox& box, int a, TBox& c1, TBox& c2) {
  const Integer lo = box.Lo[a], hi = box.Hi[a];
  if (hi == lo + 1) return false;
  const double m = box.Mean[a];
  const int64_t* h = box.Hist[a];
  const Integer start = static_cast<Integer>(Round((lo + m) * 0.5));
  // The loop leaves at the last populated bin at the latest (the counts then
  // reach the box's count), but it never reads beyond the axis either way.
  const Integer stop = std::min<Integer>(static_cast<Integer>(Round((hi + m) * 0.5)), 31);
  const int64_t cnt = box.Count;
  int64_t L = 0;
  for (Integer j = lo; j < start; ++j) L += h[j];
  double T = 0, best = -1;
  Integer splitBin = start;
  int64_t left = cnt;
  for (Integer j = std::max<Integer>(start, 0); j <= stop; ++j) {
    L += h[j];
    if (L == cnt) break;
    T += double(j) * double(h[j]) / double(cnt);
    const double crit = double(L) / double(cnt - L) * (m - T) * (m - T);
    if (crit > best) {
      best = crit;
      splitBin = j;
      left = L;
    }
  }
  const Integer splitPoint = splitBin + 1;
  c1 = box;
  c2 = box;
  c1.Count = left;
  c1.Hi[a] = splitPoint;
  c2.Count = cnt - left;
  c2.Lo[a] = splitPoint;
  if (c1.Count <= 0 || c2.Count <= 0) return false;
  // The first half's axis histograms from the cells it covers; the second's
  // are what remains of the parent's.
  std::memset(c1.Hist, 0, sizeof(c1.Hist));
  for (Integer r = c1.Lo[0]; r < c1.Hi[0]; ++r)
    for (Integer g = c1.Lo[1]; g < c1.Hi[1]; ++g)
      for (Integer b = c1.Lo[2]; b < c1.Hi[2]; ++b) {
        const int64_t n = st.Cell(r, g, b);
        if (!n) continue;
        c1.Hist[0][r] += n;
        c1.Hist[1][g] += n;
        c1.Hist[2][b] += n;
      }
  for (int k = 0; k < 3; ++k)
    for (int j = 0; j < 32; ++j) c2.Hist[k][j] -= c1.Hist[k][j];
  ShrinkBounds(c1);
  ShrinkBounds(c2);
  BoxStatistics(c1, st.Total);
  BoxStatistics(c2, st.Total);
  return true;
}

bool SplitBox(TIEMedianCut& st, const TBox& box, TBox& first, TBox& second) {
  if (box.Score == 0 || box.Count == 0) return false;
  double bestSum = FailedAxisSum;
  int bestAxis = -1;
  TBox c1, c2;
  for (int a = 0; a < 3; ++a) {
    const double sum = SplitAxis(st, box, a, c1, c2) ? c1.Score + c2.Score : FailedAxisSum;
    if (sum < bestSum) {
      bestSum = sum;
      bestAxis = a;
      first = c1;
      second = c2;
    }
  }
  return bestAxis >= 0;
}

}  // namespace

TIEMedianCut* IEMedianCutBuild(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol) {
  auto st = std::make_unique<TIEMedianCut>();
  st->NCol = std::clamp<Integer>(NCol, 1, 256);
  st->Histogram.assign(32768, 0);
  st->Sums.assign(32768, {0, 0, 0});
  st->Boxes.assign(256, TBox{});
  st->Map.assign(32768, 0);
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Bitmap->IsEmpty()) return st.release();
  TIEBitmap& B = *Bitmap;
  st->Width = B.Width();
  st->Height = B.Height();
  st->Total = int64_t(st->Width) * st->Height;
  {
    TIEAccessScope access(B, ieaRead);
    int64_t* hist = st->Histogram.data();
    std::array<int64_t, 3>* sums = st->Sums.data();
    for (Integer y = 0; y < st->Height; ++y) {
      const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
      for (Integer x = 0; x < st->Width; ++x, p += 3) {
        const Integer c = CellOf(p[2], p[1], p[0]);
        ++hist[c];
        sums[c][0] += p[2];
        sums[c][1] += p[1];
        sums[c][2] += p[0];
      }
    }
  }
  TBox& b0 = st->Boxes[0];
  for (Integer c = 0; c < 32768; ++c) {
    const int64_t n = st->Histogram[c];
    if (!n) continue;
    b0.Hist[0][c >> 10] += n;
    b0.Hist[1][(c >> 5) & 31] += n;
    b0.Hist[2][c & 31] += n;
  }
  for (int a = 0; a < 3; ++a) {
    b0.Lo[a] = 0;
    b0.Hi[a] = 32;
  }
  b0.Count = st->Total;
  BoxStatistics(b0, st->Total);

  Integer boxes = 1;
  TBox first, second;
  while (boxes < st->NCol) {
    Integer pick = -1;
    double bestScore = 0;
    for (Integer i = 0; i < boxes; ++i)
      if (st->Boxes[i].Score > bestScore) {
        bestScore = st->Boxes[i].Score;
        pick = i;
      }
    if (pick < 0) break;
    if (SplitBox(*st, st->Boxes[pick], first, second)) {
      st->Boxes[pick] = first;
      st->Boxes[boxes] = second;
      ++boxes;
    } else {
      st->Boxes[pick].Score = 0;
    }
  }
  st->BoxCount = boxes;

  for (Integer i = 0; i < boxes; ++i) {
    const TBox& b = st->Boxes[i];
    int64_t n = 0, s[3] = {0, 0, 0};
    for (Integer r = b.Lo[0]; r < b.Hi[0]; ++r)
      for (Integer g = b.Lo[1]; g < b.Hi[1]; ++g)
        for (Integer bl = b.Lo[2]; bl < b.Hi[2]; ++bl) {
          const Integer c = (r << 10) | (g << 5) | bl;
          st->Map[c] = static_cast<Byte>(i);
          n += st->Histogram[c];
          for (int k = 0; k < 3; ++k) s[k] += st->Sums[c][k];
        }
    if (ColorMap && n > 0) {
      auto mean = [&](int k) { return static_cast<Byte>(std::clamp<int64_t>(Round(double(s[k]) / double(n)), 0, 255)); };
      ColorMap[i] = TRGB{mean(2), mean(1), mean(0)};
    }
  }
  return st.release();
}

Integer IEMedianCutIndex(const TIEMedianCut* State, Cardinal Packed) {
  return State ? State->Map[CellOf(Packed)] : 0;
}

Integer IEMedianCutCount(const TIEMedianCut* State) { return State ? State->BoxCount : 0; }

void IEMedianCutFree(TIEMedianCut* State) { delete State; }

// ---------------------------------------------------------------------------
// Neural net: the published self-organising colour network, with a network
// of NCol neurons and samples taken from the picture's rows.

namespace {

constexpr int NetBiasShift = 4;
constexpr int NCycles = 100;
constexpr int IntBiasShift = 16;
constexpr int IntBias = 1 << IntBiasShift;
constexpr int GammaShift = 10;
constexpr int BetaShift = 10;
constexpr int Beta = IntBias >> BetaShift;
constexpr int BetaGamma = IntBias << (GammaShift - BetaShift);
constexpr int RadiusBiasShift = 6;
constexpr int RadiusBias = 1 << RadiusBiasShift;
constexpr int RadiusDec = 30;
constexpr int AlphaBiasShift = 10;
constexpr int InitAlpha = 1 << AlphaBiasShift;
constexpr int RadBiasShift = 8;
constexpr int RadBias = 1 << RadBiasShift;
constexpr int AlphaRadBShift = AlphaBiasShift + RadBiasShift;
constexpr int AlphaRadBias = 1 << AlphaRadBShift;
constexpr int Primes[4] = {499, 491, 487, 503};

constexpr Cardinal CacheEmpty = 0xFFFFFFFFu;

// Four 32-bit lanes (plain SSE2 on x86-64; the compiler lowers them elsewhere).
typedef Integer V4 __attribute__((vector_size(16)));
inline V4 Load(const Integer* p) {
  V4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void Store(Integer* p, V4 v) { std::memcpy(p, &v, sizeof v); }
inline V4 Abs(V4 v) {
  const V4 s = v >> 31;
  return (v ^ s) - s;
}

}  // namespace

struct TIENeuQuant {
  Integer NetSize = 0;
  Integer MaxNetPos = 0;
  Integer InitRad = 0;
  Integer InitRadius = 0;
  Integer AlphaDec = 0;
  int64_t LengthCount = 0;  // bytes: width x height x 3
  Integer SampleFac = 1;
  std::vector<std::array<Integer, 4>> Network;  // blue, green, red, neuron number
  Integer NetIndex[256] = {};
  std::vector<Integer> Bias, Freq, RadPower;
  Integer Width = 0, Height = 0;
  // Lookups of recent colours: the search is deterministic per colour, so a
  // cached answer is the answer.
  std::vector<Cardinal> CacheKey;
  std::vector<Byte> CacheValue;
  Cardinal CacheBits = 12;

  // While learning the neurons are kept as three separate channel arrays,
  // so that the contest's loops over the whole network vectorise.
  std::vector<Integer> LB, LG, LR, Dist;

  Integer Contest(Integer b, Integer g, Integer r) {
    const Integer n = NetSize;
    // Four neurons at a time; the arrays are padded to a multiple of four
    // with neurons far outside the colour cube, whose results are never read.
    const V4 vb = {b, b, b, b}, vg = {g, g, g, g}, vr = {r, r, r, r};
    for (Integer i = 0; i < n; i += 4) {
      V4 db = Load(&LB[i]) - vb, dg = Load(&LG[i]) - vg, dr = Load(&LR[i]) - vr;
      Store(&Dist[i], Abs(db) + Abs(dg) + Abs(dr));
    }
    Integer bestd = 0x7FFFFFFF, bestbiasd = bestd, bestpos = -1, bestbiaspos = -1;
    const Integer* dist = Dist.data();
    const Integer* bias = Bias.data();
    for (Integer i = 0; i < n; ++i) {
      if (dist[i] < bestd) {
        bestd = dist[i];
        bestpos = i;
      }
      // Each neuron's bias is read before its own update below; the updates
      // of one neuron never touch another, so they can follow in a loop of
      // their own.
      const Integer biasdist = dist[i] - (bias[i] >> (IntBiasShift - NetBiasShift));
      if (biasdist < bestbiasd) {
        bestbiasd = biasdist;
        bestbiaspos = i;
      }
    }
    for (Integer i = 0; i < n; i += 4) {
      const V4 f = Load(&Freq[i]);
      const V4 betafreq = f >> BetaShift;
      Store(&Freq[i], f - betafreq);
      Store(&Bias[i], Load(&Bias[i]) + (betafreq << GammaShift));
    }
    Freq[bestpos] += Beta;
    Bias[bestpos] -= BetaGamma;
    return bestbiaspos;
  }

  void AlterSingle(Integer alpha, Integer i, Integer b, Integer g, Integer r) {
    LB[i] -= (alpha * (LB[i] - b)) / InitAlpha;
    LG[i] -= (alpha * (LG[i] - g)) / InitAlpha;
    LR[i] -= (alpha * (LR[i] - r)) / InitAlpha;
  }

  void MoveNeighbour(Integer a, Integer k, Integer b, Integer g, Integer r) {
    LB[k] -= static_cast<Integer>((int64_t(a) * (LB[k] - b)) / AlphaRadBias);
    LG[k] -= static_cast<Integer>((int64_t(a) * (LG[k] - g)) / AlphaRadBias);
    LR[k] -= static_cast<Integer>((int64_t(a) * (LR[k] - r)) / AlphaRadBias);
  }

  void AlterNeigh(Integer rad, Integer i, Integer b, Integer g, Integer r) {
    const Integer lo = std::max(i - rad, -1);
    const Integer hi = std::min(i + rad, NetSize);
    Integer j = i + 1, k = i - 1, q = 0;
    while (j < hi || k > lo) {
      const Integer a = RadPower[++q];
      if (j < hi) MoveNeighbour(a, j++, b, g, r);
      if (k > lo) MoveNeighbour(a, k--, b, g, r);
    }
  }

  void FillRadPower(Integer rad, Integer alpha) {
    for (Integer i = 0; i < rad; ++i) RadPower[i] = alpha * (((rad * rad - i * i) * RadBias) / (rad * rad));
  }

  void Learn(TIEBitmap& B) {
    const int64_t pixels = int64_t(Width) * Height;
    if (pixels <= 0) return;
    const size_t padded = (size_t(NetSize) + 3) & ~size_t(3);
    LB.assign(padded, 1 << 20);
    LG.assign(padded, 1 << 20);
    LR.assign(padded, 1 << 20);
    Dist.assign(padded, 0);
    Freq.resize(padded, 0);
    Bias.resize(padded, 0);
    for (Integer i = 0; i < NetSize; ++i) {
      LB[i] = Network[i][0];
      LG[i] = Network[i][1];
      LR[i] = Network[i][2];
    }
    AlphaDec = 30 + ((SampleFac - 1) / 3);
    const int64_t samplePixels = LengthCount / (3 * int64_t(SampleFac));
    int64_t delta = samplePixels / NCycles;
    if (delta < 1) delta = 1;
    Integer alpha = InitAlpha;
    Integer radius = InitRadius;
    Integer rad = radius >> RadiusBiasShift;
    if (rad <= 1) rad = 0;
    FillRadPower(rad, alpha);
    // The step is chosen against the byte length but taken in pixels.
    int64_t step = Primes[3];
    for (int k = 0; k < 3; ++k)
      if (LengthCount % Primes[k] != 0) {
        step = Primes[k];
        break;
      }
    step %= pixels;
    int64_t pos = 0;
    TIEAccessScope access(B, ieaRead);
    for (int64_t i = 0; i < samplePixels;) {
      const Integer y = static_cast<Integer>(pos / Width), x = static_cast<Integer>(pos % Width);
      const Byte* p = static_cast<const Byte*>(B.GetScanline(y)) + 3 * size_t(x);
      const Integer b = Integer(p[0]) << NetBiasShift;
      const Integer g = Integer(p[1]) << NetBiasShift;
      const Integer r = Integer(p[2]) << NetBiasShift;
      const Integer j = Contest(b, g, r);
      AlterSingle(alpha, j, b, g, r);
      if (rad) AlterNeigh(rad, j, b, g, r);
      // Wrapping by the remainder keeps the position inside the picture
      // even when the step exceeds twice the pixel count (tiny pictures).
      pos += step;
      if (pos >= pixels) pos -= pixels;
      ++i;
      if (i % delta == 0) {
        alpha -= alpha / AlphaDec;
        radius -= radius / RadiusDec;
        rad = radius >> RadiusBiasShift;
        if (rad <= 1) rad = 0;
        FillRadPower(rad, alpha);
      }
    }
    for (Integer i = 0; i < NetSize; ++i) Network[i] = {LB[i], LG[i], LR[i], i};
  }

  void Unbias() {
    for (Integer i = 0; i < NetSize; ++i) {
      for (int j = 0; j < 3; ++j) Network[i][j] = std::clamp((Network[i][j] + (1 << (NetBiasShift - 1))) >> NetBiasShift, 0, 255);
      Network[i][3] = i;
    }
  }

  // Sorts the network by green and builds the green index.
  void InxBuild() {
    Integer previouscol = 0, startpos = 0;
    for (Integer i = 0; i < NetSize; ++i) {
      Integer smallpos = i, smallval = Network[i][1];
      for (Integer j = i + 1; j < NetSize; ++j)
        if (Network[j][1] < smallval) {
          smallpos = j;
          smallval = Network[j][1];
        }
      if (i != smallpos) std::swap(Network[i], Network[smallpos]);
      if (smallval != previouscol) {
        NetIndex[previouscol] = (startpos + i) >> 1;
        for (Integer j = previouscol + 1; j < smallval; ++j) NetIndex[j] = i;
        previouscol = smallval;
        startpos = i;
      }
    }
    NetIndex[previouscol] = (startpos + MaxNetPos) >> 1;
    for (Integer j = previouscol + 1; j < 256; ++j) NetIndex[j] = MaxNetPos;
  }

  Integer InxSearch(Integer b, Integer g, Integer r) const {
    Integer bestd = 1000, best = -1;
    Integer i = NetIndex[g], j = i - 1;
    while (i < NetSize || j >= 0) {
      if (i < NetSize) {
        const auto& p = Network[i];
        Integer dist = p[1] - g;
        if (dist >= bestd) {
          i = NetSize;
        } else {
          ++i;
          if (dist < 0) dist = -dist;
          dist += std::abs(p[0] - b);
          if (dist < bestd) {
            dist += std::abs(p[2] - r);
            if (dist < bestd) {
              bestd = dist;
              best = p[3];
            }
          }
        }
      }
      if (j >= 0) {
        const auto& p = Network[j];
        Integer dist = g - p[1];
        if (dist >= bestd) {
          j = -1;
        } else {
          --j;
          if (dist < 0) dist = -dist;
          dist += std::abs(p[0] - b);
          if (dist < bestd) {
            dist += std::abs(p[2] - r);
            if (dist < bestd) {
              bestd = dist;
              best = p[3];
            }
          }
        }
      }
    }
    return best;
  }
};

namespace {

Integer SamplingFactor(Integer Quality, int64_t Pixels) {
  if (Quality >= 0) {
    if (Quality > 100) Quality = 100;
    return 1 + (100 - Quality) * 29 / 100;
  }
  if (Pixels < 2000) return 1;
  const int64_t f = Round(13.0 * double(Pixels - 2000) / 148000.0 + 2.0);
  return static_cast<Integer>(std::clamp<int64_t>(f, 1, 30));
}

}  // namespace

TIENeuQuant* IENeuQuantBuild(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol, Integer Quality) {
  auto st = std::make_unique<TIENeuQuant>();
  const Integer n = std::clamp<Integer>(NCol, 1, 256);
  st->NetSize = n;
  st->MaxNetPos = n - 1;
  st->InitRad = n >> 3;
  st->InitRadius = st->InitRad * RadiusBias;
  st->Network.resize(size_t(n));
  st->Bias.assign(size_t(n), 0);
  st->Freq.assign(size_t(n), IntBias / n);
  st->RadPower.assign(size_t(std::max<Integer>(st->InitRad, 1)), 0);
  for (Integer i = 0; i < n; ++i) {
    const Integer v = (i << (NetBiasShift + 8)) / n;
    st->Network[i] = {v, v, v, i};
  }
  const bool usable = Bitmap && Bitmap->PixelFormat() == ie24RGB && !Bitmap->IsEmpty();
  if (usable) {
    st->Width = Bitmap->Width();
    st->Height = Bitmap->Height();
  }
  const int64_t pixels = int64_t(st->Width) * st->Height;
  st->LengthCount = pixels * 3;
  st->SampleFac = SamplingFactor(Quality, pixels);
  if (usable) st->Learn(*Bitmap);
  st->Unbias();
  if (ColorMap)
    for (Integer i = 0; i < n; ++i)
      ColorMap[i] = TRGB{Byte(st->Network[i][0]), Byte(st->Network[i][1]), Byte(st->Network[i][2])};
  st->InxBuild();
  // Big pictures have many distinct colours: the cache grows with the
  // picture, from 4,096 to about a million entries.
  while (st->CacheBits < 20 && (int64_t(1) << (st->CacheBits + 4)) < pixels) ++st->CacheBits;
  st->CacheKey.assign(size_t(1) << st->CacheBits, CacheEmpty);
  st->CacheValue.assign(size_t(1) << st->CacheBits, 0);
  return st.release();
}

Integer IENeuQuantIndex(TIENeuQuant* State, Cardinal Packed) {
  if (!State) return 0;
  Packed &= 0xFFFFFFu;
  const Cardinal slot = (Packed * 2654435761u) >> (32 - State->CacheBits);
  if (State->CacheKey[slot] == Packed) return State->CacheValue[slot];
  const Integer v = State->InxSearch(Integer(Packed & 0xFF), Integer((Packed >> 8) & 0xFF), Integer(Packed >> 16));
  State->CacheKey[slot] = Packed;
  State->CacheValue[slot] = static_cast<Byte>(v);
  return v;
}

Integer IENeuQuantSamplingFactor(const TIENeuQuant* State) { return State ? State->SampleFac : 0; }

void IENeuQuantFree(TIENeuQuant* State) { delete State; }

// ---------------------------------------------------------------------------
// The quantizer

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TRGB* ColorMap, Integer NCol)
    : FMedianCut(nullptr, IEMedianCutFree), FNeuQuant(nullptr, IENeuQuantFree) {
  FBitmap = Bitmap;
  FNCol = std::clamp<Integer>(NCol, 1, 256);
  if (!Bitmap) return;
  FGrayScale = Bitmap->IsGrayScale();
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  if (!FGrayScale && pf == ie24RGB) {
    if (TryExactColors(ColorMap)) {
      FStrategy = iqsExactColors;
      return;
    }
    Integer method = IEQuantizerMethod;
    if (method == -1)
      method = FNCol < 128 ? 1 : 0;
    else if (method != 1)
      method = 0;
    FMethod = method;
    if (method == 1) {
      FMedianCut.reset(IEMedianCutBuild(Bitmap, ColorMap, FNCol));
      FStrategy = iqsMedianCut;
    } else {
      FNeuQuant.reset(IENeuQuantBuild(Bitmap, ColorMap, FNCol, IEQuantizerQuality));
      FStrategy = iqsNeuralNet;
    }
  } else if (pf == ie8p) {
    const TRGB* pal = Bitmap->GetPaletteBuffer();
    const Integer len = Bitmap->GetPaletteLength();
    if (ColorMap && pal)
      for (Integer i = 0; i < std::min(FNCol, len); ++i) ColorMap[i] = pal[i];
    // Lookups go to the first palette entry of each colour.
    FPaletteLength = len;
    InitLookup();
    for (Integer i = 0; pal && i < len; ++i) AddLookup(IEPackRGB(pal[i]), i);
    FStrategy = iqsPalette;
  } else if (FGrayScale) {
    // Entry i is gray Trunc(256 / NCol x i), computed exactly.
    for (Integer i = 0; ColorMap && i < FNCol; ++i) {
      const Byte v = static_cast<Byte>(256 * i / FNCol);
      ColorMap[i] = TRGB{v, v, v};
    }
    FStrategy = iqsGrayRamp;
  }
}

TIEQuantizer::~TIEQuantizer() = default;

void TIEQuantizer::InitLookup() {
  FLookupKeys = std::make_unique<Cardinal[]>(LookupSlots);
  FLookupValues = std::make_unique<int16_t[]>(LookupSlots);
}

// Adds Packed at position Index unless it is there already (first wins).
bool TIEQuantizer::AddLookup(Cardinal Packed, Integer Index) {
  Cardinal s = LookupHash(Packed);
  while (FLookupKeys[s] != 0) {
    if (FLookupKeys[s] == Packed + 1) return false;
    s = (s + 1) & (LookupSlots - 1);
  }
  FLookupKeys[s] = Packed + 1;
  FLookupValues[s] = static_cast<int16_t>(Index);
  return true;
}

Integer TIEQuantizer::FindLookup(Cardinal Packed) const {
  Cardinal s = LookupHash(Packed);
  while (FLookupKeys[s] != 0) {
    if (FLookupKeys[s] == Packed + 1) return FLookupValues[s];
    s = (s + 1) & (LookupSlots - 1);
  }
  return -1;
}

// Collects the distinct colours in order of first appearance (rows from the
// top, left to right) and gives up at the first colour beyond NCol.
bool TIEQuantizer::TryExactColors(TRGB* ColorMap) {
  TIEBitmap& B = *FBitmap;
  InitLookup();
  std::vector<Cardinal> found;
  found.reserve(size_t(FNCol));
  TIEAccessScope access(B, ieaRead);
  const Integer w = B.Width(), h = B.Height();
  Cardinal last = 0xFFFFFFFFu;
  for (Integer y = 0; y < h; ++y) {
    const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < w; ++x, p += 3) {
      const Cardinal c = (Cardinal(p[2]) << 16) | (Cardinal(p[1]) << 8) | p[0];
      if (c == last) continue;
      last = c;
      if (FindLookup(c) >= 0) continue;
      if (static_cast<Integer>(found.size()) == FNCol) {
        FLookupKeys.reset();
        FLookupValues.reset();
        return false;
      }
      AddLookup(c, static_cast<Integer>(found.size()));
      found.push_back(c);
    }
  }
  FExactCount = static_cast<Integer>(found.size());
  for (Integer i = 0; ColorMap && i < FExactCount; ++i)
    ColorMap[i] = TRGB{Byte(found[i]), Byte(found[i] >> 8), Byte(found[i] >> 16)};
  return true;
}

Integer TIEQuantizer::RGBIndex(const TRGB& Color) {
  switch (FStrategy) {
    case iqsExactColors:
      return FindLookup(IEPackRGB(Color));
    case iqsGrayRamp:
      return (Integer(Color.r) * FNCol) >> 8;
    case iqsMedianCut:
      return IEMedianCutIndex(FMedianCut.get(), IEPackRGB(Color));
    case iqsNeuralNet:
      return IENeuQuantIndex(FNeuQuant.get(), IEPackRGB(Color));
    case iqsPalette: {
      const Integer i = FindLookup(IEPackRGB(Color));
      return i >= 0 ? i : FPaletteLength;
    }
    default:
      return 0;
  }
}

void TIEQuantizer::RGBIndexRow(const TRGB* Src, Byte* Dst, Integer Width) {
  switch (FStrategy) {
    case iqsMedianCut: {
      const TIEMedianCut* mc = FMedianCut.get();
      for (Integer x = 0; x < Width; ++x) Dst[x] = mc->Map[CellOf(Src[x].r, Src[x].g, Src[x].b)];
      return;
    }
    case iqsGrayRamp:
      for (Integer x = 0; x < Width; ++x) Dst[x] = static_cast<Byte>((Integer(Src[x].r) * FNCol) >> 8);
      return;
    default: {
      Cardinal last = 0xFFFFFFFFu;
      Byte lastIndex = 0;
      for (Integer x = 0; x < Width; ++x) {
        const Cardinal c = IEPackRGB(Src[x]);
        if (c != last) {
          last = c;
          lastIndex = static_cast<Byte>(RGBIndex(Src[x]));
        }
        Dst[x] = lastIndex;
      }
      return;
    }
  }
}
