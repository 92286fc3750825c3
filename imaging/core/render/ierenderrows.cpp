// The twenty row renderers: per source format, pixel to colour, then the
// adjustments, the blend operation and the mix by transparency and alpha,
// over whole destination rows through the column and row maps.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/render/ieblend.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/render/ierender.h"

namespace {

constexpr Integer kStepOne = 16384;

inline Byte ClampByte64(int64_t v) { return Byte(v < 0 ? 0 : (v > 255 ? 255 : v)); }

int64_t ContrastFactor(Integer Contrast) {
  if (Contrast >= 0) return Trunc((Contrast / 10.0 + 1) * 65536);
  return Trunc((1 - std::sqrt(double(-Contrast)) / 10) * 65536);
}

// Channel offsets and contrast of the adjusted path as one table per channel.
struct TAdjustTables {
  Byte R[256], G[256], B[256];
  explicit TAdjustTables(TIEBitmap& S) {
    const int64_t k = ContrastFactor(S.Contrast());
    const Integer offR = S.ChannelOffset(0), offG = S.ChannelOffset(1), offB = S.ChannelOffset(2);
    for (Integer v = 0; v < 256; ++v) {
      R[v] = ClampByte64((int64_t(v) + offR - 128) * k / 65536 + 128);
      G[v] = ClampByte64((int64_t(v) + offG - 128) * k / 65536 + 128);
      B[v] = ClampByte64((int64_t(v) + offB - 128) * k / 65536 + 128);
    }
  }
};

// The same on 16-bit samples around 32768, the factor taken as a real number.
struct TAdjust48 {
  double K;
  Integer OffR, OffG, OffB;
  explicit TAdjust48(TIEBitmap& S)
      : K(double(ContrastFactor(S.Contrast())) / 65536.0),
        OffR(S.ChannelOffset(0)),
        OffG(S.ChannelOffset(1)),
        OffB(S.ChannelOffset(2)) {}
  Byte Apply(Word v, Integer Off) const {
    const double x = (double(v) + Off - 32768) * K;
    const int64_t y = int64_t(x) + 32768;  // toward zero
    return ClampByte64(y >> 8);
  }
};

// Gray of an integer sample through the display range Low..High.
inline Byte RangeGray(int64_t v, double Low, double High) {
  const int64_t lo = Trunc(Low), hi = Trunc(High);
  if (v <= lo)
    v = lo;
  else if (v >= hi)
    v = hi;
  return ClampByte64(Trunc(double(v - lo) / (High - Low) * 255));
}

inline bool HasRange(TIEBitmap& S) { return S.DisplayHigh() - S.DisplayLow() != 0; }

// The alpha channel a blended renderer may read: present, of the source's size.
TIEBitmap* UsableAlpha(TIEBitmap& S, bool UseAlpha) {
  if (!UseAlpha || !S.HasAlphaChannel()) return nullptr;
  TIEBitmap* a = S.GetAlphaChannel();
  if (!a || a->PixelFormat() != ie8g || a->Width() != S.Width() || a->Height() != S.Height()) return nullptr;
  return a;
}

inline void Store(Byte* d, const TRGB& c) {
  d[0] = c.b;
  d[1] = c.g;
  d[2] = c.r;
}

inline TRGB Load(const Byte* d) { return TRGB{d[0], d[1], d[2]}; }

// Moves each channel d toward c by t/256, rounding toward minus infinity.
inline void Mix(Byte* d, const TRGB& c, Integer t) {
  d[0] = Byte(d[0] + ((t * (Integer(c.b) - d[0])) >> 8));
  d[1] = Byte(d[1] + ((t * (Integer(c.g) - d[1])) >> 8));
  d[2] = Byte(d[2] + ((t * (Integer(c.r) - d[2])) >> 8));
}

inline const Integer* ColumnMap(const TIERenderRowsArgs& A) { return A.XMap + (A.FirstCol - A.DstX); }
inline Integer WindowWidth(const TIERenderRowsArgs& A) { return A.LastCol - A.FirstCol + 1; }

// Copies the previous destination row's window when the source row repeats.
inline bool ReusePrevious(const TIERenderRowsArgs& A, Integer y, Integer sy, Integer& PrevSy, bool Reuse) {
  if (Reuse && y > A.FirstRow && sy == PrevSy) {
    std::memcpy(A.DestRows[y] + size_t(A.FirstCol) * 3, A.DestRows[y - 1] + size_t(A.FirstCol) * 3,
                size_t(WindowWidth(A)) * 3);
    return true;
  }
  PrevSy = sy;
  return false;
}

// Row preparation of the formats that fetch straight from the source row.
struct TSourceRow {
  const Byte* operator()(TIEBitmap& S, Integer sy) const { return static_cast<const Byte*>(S.GetScanline(sy)); }
};

// Opaque rows: the destination pixel becomes the colour, or the colour
// combined with it by Op. Row gives the bytes fetch reads for a source row.
template <class Fetch, class Row = TSourceRow>
void OpaqueRows(TIEBitmap& S, const TIERenderRowsArgs& A, const Fetch& fetch, bool Reuse, Byte Op,
                Row&& row = Row{}) {
  const Integer n = WindowWidth(A);
  const Integer* xm = ColumnMap(A);
  Integer prev = -1;
  for (Integer y = A.FirstRow; y <= A.LastRow; ++y) {
    const Integer sy = A.YMap[y - A.DstY];
    if (ReusePrevious(A, y, sy, prev, Reuse)) continue;
    const Byte* s = row(S, sy);
    Byte* d = A.DestRows[y] + size_t(A.FirstCol) * 3;
    if (Op == 0) {
      for (Integer i = 0; i < n; ++i, d += 3) Store(d, fetch(s, xm[i]));
    } else {
      for (Integer i = 0; i < n; ++i, d += 3) {
        TRGB r = Load(d);
        IEBlendRGB(fetch(s, xm[i]), r, Op);
        Store(d, r);
      }
    }
  }
}

// Blended rows: the destination moves toward the colour (or its combination
// with the destination by Op) by min(Transparency, alpha) / 256.
template <class Fetch, class Row = TSourceRow>
void BlendedRows(TIEBitmap& S, const TIERenderRowsArgs& A, const Fetch& fetch, bool Reuse, Byte Op,
                 Row&& row = Row{}) {
  const Integer n = WindowWidth(A);
  const Integer* xm = ColumnMap(A);
  const Integer T = std::clamp(A.Transparency, 0, 255);
  TIEBitmap* alpha = UsableAlpha(S, A.UseAlpha);
  Integer prev = -1;
  for (Integer y = A.FirstRow; y <= A.LastRow; ++y) {
    const Integer sy = A.YMap[y - A.DstY];
    if (ReusePrevious(A, y, sy, prev, Reuse)) continue;
    const Byte* a = alpha ? static_cast<const Byte*>(alpha->GetScanline(sy)) : nullptr;
    const Byte* s = row(S, sy);
    Byte* d = A.DestRows[y] + size_t(A.FirstCol) * 3;
    for (Integer i = 0; i < n; ++i, d += 3) {
      const Integer sx = xm[i];
      const Integer t = a ? std::min<Integer>(T, a[sx]) : T;
      TRGB c = fetch(s, sx);
      if (Op != 0) {
        TRGB r = Load(d);
        IEBlendRGB(c, r, Op);
        c = r;
      }
      Mix(d, c, t);
    }
  }
}

template <class Fetch, class Row = TSourceRow>
void Rows(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended, const Fetch& fetch, bool Reuse, Byte Op,
          Row&& row = Row{}) {
  if (A.FirstRow > A.LastRow || A.FirstCol > A.LastCol || !A.XMap || !A.YMap || !A.DestRows) return;
  if (Blended)
    BlendedRows(S, A, fetch, Reuse, Op, row);
  else
    OpaqueRows(S, A, fetch, Reuse, Op, row);
}

bool AdjustedPath(TIEBitmap& S, Byte Op) { return S.ChannelOffsetsOn() || S.Contrast() != 0 || Op != 0; }

// ---------------------------------------------------------------------------
// Per-format colour

template <Integer PS>
void RenderTriples(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended, bool Adjusted) {
  const Byte op = A.BlendOperation;
  if (Adjusted) {
    const TAdjustTables t(S);
    Rows(S, A, Blended,
         [&t](const Byte* s, Integer x) {
           const Byte* p = s + size_t(x) * PS;
           return TRGB{t.B[p[0]], t.G[p[1]], t.R[p[2]]};
         },
         A.ReuseRows, op);
  } else {
    Rows(S, A, Blended,
         [](const Byte* s, Integer x) {
           const Byte* p = s + size_t(x) * PS;
           return TRGB{p[0], p[1], p[2]};
         },
         A.ReuseRows, 0);
  }
}

// The columns of the window are one run of source pixels.
bool OneRun(const Integer* xm, Integer n) {
  for (Integer i = 1; i < n; ++i)
    if (xm[i] != xm[0] + i) return false;
  return true;
}

void Render8g(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  Byte lut[256];
  const bool range = HasRange(S);
  for (Integer v = 0; v < 256; ++v) lut[v] = range ? RangeGray(v, S.DisplayLow(), S.DisplayHigh()) : Byte(v);
  Rows(S, A, Blended,
       [&lut](const Byte* s, Integer x) {
         const Byte g = lut[s[x]];
         return TRGB{g, g, g};
       },
       false, 0);
}

void Render16g(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  if (!HasRange(S)) {
    Rows(S, A, Blended,
         [](const Byte* s, Integer x) {
           Word w;
           std::memcpy(&w, s + size_t(x) * 2, 2);
           const Byte g = Byte(w >> 8);
           return TRGB{g, g, g};
         },
         false, 0);
    return;
  }
  std::vector<Byte> lut(65536);
  const double lo = S.DisplayLow(), hi = S.DisplayHigh();
  for (Integer v = 0; v < 65536; ++v) lut[size_t(v)] = RangeGray(v, lo, hi);
  const Byte* l = lut.data();
  Rows(S, A, Blended,
       [l](const Byte* s, Integer x) {
         Word w;
         std::memcpy(&w, s + size_t(x) * 2, 2);
         const Byte g = l[w];
         return TRGB{g, g, g};
       },
       false, 0);
}

void Render32f(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  const bool range = HasRange(S);
  const double lo = S.DisplayLow(), hi = S.DisplayHigh(), span = hi - lo;
  Rows(S, A, Blended,
       [=](const Byte* s, Integer x) {
         float f;
         std::memcpy(&f, s + size_t(x) * 4, 4);
         double v = f, g;
         if (range) {
           if (v <= lo)
             v = lo;
           else if (!(v < hi))
             v = hi;
           g = (v - lo) / span * 255;
         } else {
           g = v * 255;
         }
         // Limited before the conversion: out-of-range and NaN samples must
         // not reach an integer cast.
         const Byte b = !(g > 0) ? 0 : (g >= 255 ? 255 : Byte(g));
         return TRGB{b, b, b};
       },
       false, 0);
}

void Render8p(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  const TRGB* pal = S.GetPaletteBuffer();
  const Integer len = S.GetPaletteLength();
  if (!pal || len <= 0) return;
  // Indexes beyond a short palette show black instead of reading past it.
  TRGB table[256] = {};
  std::memcpy(table, pal, sizeof(TRGB) * size_t(std::min(len, 256)));
  Rows(S, A, Blended, [&table](const Byte* s, Integer x) { return table[s[x]]; }, false, 0);
}

// CMYK goes through the colour profile's display transform when one is in
// use, which is far cheaper per row than per pixel: each source row's
// columns that the window shows are converted together, once, into a buffer
// of the call, and the pixels are then read from there.
class TCMYKRows {
 public:
  explicit TCMYKRows(const TIERenderRowsArgs& A) {
    if (A.FirstRow > A.LastRow || A.FirstCol > A.LastCol || !A.XMap) return;
    const Integer n = WindowWidth(A);
    const Integer* xm = ColumnMap(A);
    const auto [lo, hi] = std::minmax_element(xm, xm + n);
    FLow = *lo;
    const size_t span = size_t(int64_t(*hi) - *lo + 1);
    // Slot of each source column in the converted row; columns the window
    // repeats are converted once, those it skips not at all.
    FSlot.assign(span, -1);
    for (Integer i = 0; i < n; ++i) FSlot[size_t(xm[i] - FLow)] = 0;
    for (size_t j = 0; j < span; ++j)
      if (FSlot[j] == 0) {
        FSlot[j] = Integer(FColumns.size());
        FColumns.push_back(FLow + Integer(j));
      }
    FContiguous = FColumns.size() == span;
    if (!FContiguous) FGathered.resize(FColumns.size() * 4);
    FBGR.resize(FColumns.size() * 3);
  }

  // The converted row sy; a repeated source row is not converted again.
  const Byte* operator()(TIEBitmap& S, Integer sy) {
    if (sy == FRow) return FBGR.data();
    const Byte* s = static_cast<const Byte*>(S.GetScanline(sy));
    const Integer m = Integer(FColumns.size());
    const Byte* cmyk = s + size_t(FLow) * 4;
    if (!FContiguous) {
      Byte* g = FGathered.data();
      for (Integer i = 0; i < m; ++i, g += 4) std::memcpy(g, s + size_t(FColumns[size_t(i)]) * 4, 4);
      cmyk = FGathered.data();
    }
    IEDisplayCMYKToRGB(reinterpret_cast<const TCMYK*>(cmyk), reinterpret_cast<TRGB*>(FBGR.data()), m);
    FRow = sy;
    return FBGR.data();
  }

  TRGB Fetch(const Byte* row, Integer x) const {
    const Byte* p = row + size_t(FSlot[size_t(x - FLow)]) * 3;
    return TRGB{p[0], p[1], p[2]};
  }

 private:
  Integer FLow = 0;
  Integer FRow = -1;
  bool FContiguous = true;
  std::vector<Integer> FSlot;
  std::vector<Integer> FColumns;
  std::vector<Byte> FGathered;
  std::vector<Byte> FBGR;
};

void RenderCMYK(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  if (A.FirstRow > A.LastRow || A.FirstCol > A.LastCol || !A.XMap || !A.YMap || !A.DestRows) return;
  TCMYKRows rows(A);
  Rows(S, A, Blended, [&rows](const Byte* s, Integer x) { return rows.Fetch(s, x); }, false, 0, rows);
}

TRGB FetchLab(const Byte* s, Integer x) {
  const Byte* p = s + size_t(x) * 3;
  return IECIELabToRGB(TCIELab{p[0], int8_t(p[1]), int8_t(p[2])});
}

void Render48(TIEBitmap& S, const TIERenderRowsArgs& A, bool Blended) {
  auto words = [](const Byte* s, Integer x) {
    TRGB48 p;
    std::memcpy(&p, s + size_t(x) * 6, 6);
    return p;
  };
  if (AdjustedPath(S, A.BlendOperation)) {
    const TAdjust48 adj(S);
    Rows(S, A, Blended,
         [&](const Byte* s, Integer x) {
           const TRGB48 p = words(s, x);
           return TRGB{adj.Apply(p.b, adj.OffB), adj.Apply(p.g, adj.OffG), adj.Apply(p.r, adj.OffR)};
         },
         false, A.BlendOperation);
  } else {
    Rows(S, A, Blended,
         [&](const Byte* s, Integer x) {
           const TRGB48 p = words(s, x);
           return TRGB{Byte(p.b >> 8), Byte(p.g >> 8), Byte(p.r >> 8)};
         },
         false, 0);
  }
}

}  // namespace

// ---------------------------------------------------------------------------

void RenderRows24RGB(TIEBitmap& S, const TIERenderRowsArgs& A) {
  if (A.FirstRow > A.LastRow || A.FirstCol > A.LastCol || !A.DestRows) return;
  const Integer n = WindowWidth(A);
  if (!A.XMap) {
    // Unmapped 1:1 copy, one row address per destination row.
    for (Integer y = A.FirstRow; y <= A.LastRow; ++y) {
      const Byte* s = static_cast<const Byte*>(S.GetScanline(A.SrcY + y - A.DstY));
      std::memcpy(A.DestRows[y] + size_t(A.FirstCol) * 3, s + size_t(A.SrcX + A.FirstCol - A.DstX) * 3,
                  size_t(n) * 3);
    }
    return;
  }
  const bool adjusted = AdjustedPath(S, A.BlendOperation);
  if (!adjusted && A.StepX == kStepOne && A.StepY == kStepOne && A.YMap && OneRun(ColumnMap(A), n)) {
    const size_t first = size_t(ColumnMap(A)[0]) * 3;
    Integer prev = -1;
    for (Integer y = A.FirstRow; y <= A.LastRow; ++y) {
      const Integer sy = A.YMap[y - A.DstY];
      if (ReusePrevious(A, y, sy, prev, A.ReuseRows)) continue;
      std::memcpy(A.DestRows[y] + size_t(A.FirstCol) * 3, static_cast<const Byte*>(S.GetScanline(sy)) + first,
                  size_t(n) * 3);
    }
    return;
  }
  RenderTriples<3>(S, A, false, adjusted);
}

void RenderRows24RGBBlended(TIEBitmap& S, const TIERenderRowsArgs& A) {
  RenderTriples<3>(S, A, true, AdjustedPath(S, A.BlendOperation));
}

void RenderRows32RGB(TIEBitmap& S, const TIERenderRowsArgs& A) {
  const bool unscaled = A.StepX == kStepOne && A.StepY == kStepOne;
  RenderTriples<4>(S, A, false, unscaled || AdjustedPath(S, A.BlendOperation));
}

void RenderRows32RGBBlended(TIEBitmap& S, const TIERenderRowsArgs& A) {
  RenderTriples<4>(S, A, true, AdjustedPath(S, A.BlendOperation));
}

void RenderRows1g(TIEBitmap& S, const TIERenderRowsArgs& A) {
  Rows(S, A, false,
       [](const Byte* s, Integer x) {
         const Byte v = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
         return TRGB{v, v, v};
       },
       A.ReuseRows, 0);
}

void RenderRows1gBlended(TIEBitmap& S, const TIERenderRowsArgs& A) {
  Rows(S, A, true,
       [](const Byte* s, Integer x) {
         const Byte v = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
         return TRGB{v, v, v};
       },
       false, 0);
}

void RenderRows8g(TIEBitmap& S, const TIERenderRowsArgs& A) { Render8g(S, A, false); }
void RenderRows8gBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { Render8g(S, A, true); }

void RenderRows8p(TIEBitmap& S, const TIERenderRowsArgs& A) { Render8p(S, A, false); }
void RenderRows8pBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { Render8p(S, A, true); }

void RenderRows16g(TIEBitmap& S, const TIERenderRowsArgs& A) { Render16g(S, A, false); }
void RenderRows16gBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { Render16g(S, A, true); }

void RenderRows32f(TIEBitmap& S, const TIERenderRowsArgs& A) { Render32f(S, A, false); }
void RenderRows32fBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { Render32f(S, A, true); }

void RenderRowsCMYK(TIEBitmap& S, const TIERenderRowsArgs& A) { RenderCMYK(S, A, false); }
void RenderRowsCMYKBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { RenderCMYK(S, A, true); }

void RenderRowsCIELab(TIEBitmap& S, const TIERenderRowsArgs& A) { Rows(S, A, false, FetchLab, false, 0); }
void RenderRowsCIELabBlended(TIEBitmap& S, const TIERenderRowsArgs& A) { Rows(S, A, true, FetchLab, false, 0); }

void RenderRowsRGB48(TIEBitmap& S, const TIERenderRowsArgs& A) { Render48(S, A, false); }
void RenderRowsRGB48Blended(TIEBitmap& S, const TIERenderRowsArgs& A) { Render48(S, A, true); }
