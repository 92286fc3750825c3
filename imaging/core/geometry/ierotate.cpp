#include "imaging/core/geometry/ierotate.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/core/base/ieparallel.h"
#include "platform/base/pages.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

int64_t IETurnBandBytes = int64_t(64) << 20;

namespace {

// ---------------------------------------------------------------------------
// Rows and storage

// Addresses of every row of a picture at once. Rows of a file-backed picture
// are mapped one by one and written back (when Access has ieaWrite) when the
// table is released; memory rows are addressed in place.
class TRowTable {
 public:
  TRowTable(TIEBitmap& B, TIEBitmapAccess Access) : FB(B), FSaved(B.Access()) {
    B.SetAccess(Access);
    FRows.resize(size_t(std::max(B.Height(), 0)));
    const bool file = B.Location() == ieFile;
    for (Integer y = 0; y < B.Height(); ++y)
      FRows[size_t(y)] = static_cast<Byte*>(file ? B.MapRow(y) : B.GetScanline(y));
  }
  ~TRowTable() {
    try {
      FB.ReleaseMappedRows();
    } catch (...) {
      // A failed write-back of a temporary file cannot be reported from here.
    }
    FB.SetAccess(FSaved);
  }
  TRowTable(const TRowTable&) = delete;
  TRowTable& operator=(const TRowTable&) = delete;
  Byte* operator[](Integer y) const { return FRows[size_t(y)]; }
  Byte* const* Data() const { return FRows.data(); }

 private:
  TIEBitmap& FB;
  TIEBitmapAccess FSaved;
  std::vector<Byte*> FRows;
};

// Bytes per pixel of the byte-addressed formats; 0 for ie1g and ieNone.
Integer PixelBytes(TIEPixelFormat PF) {
  const Integer bits = IEPixelFormatBitCount(PF);
  return bits >= 8 ? bits / 8 : 0;
}

inline bool GetBit(const Byte* Row, Integer x) { return (Row[x >> 3] & (0x80 >> (x & 7))) != 0; }

// Calls Report(Done - 1), the last unit finished, once per new count: the
// parallel row helper may announce the same count twice at the end.
template <class F>
TIERowsDone EachNewCount(F Report) {
  return [Report, last = Integer(0)](Integer Done) mutable {
    if (Done <= last) return;
    last = Done;
    Report(Done - 1);
  };
}

enum class TAlphaAfter {
  Drop,          // the alpha channel goes
  Resize,        // resized along, keeping its top-left area
  OpaqueIfSize,  // kept when its size still fits, else wholly opaque
};

// Bitmap takes Src's pixel storage (and palette) without a copy. Bitmap's
// own settings stay: row alignment, allocator, black-and-white method,
// display range and the rest. Src is left empty.
void TakeStorage(TIEBitmap& Bitmap, TIEBitmap& Src, TAlphaAfter AlphaAfter) {
  std::unique_ptr<TIEBitmap> alpha = Bitmap.AttachAlphaChannel(nullptr);
  const Byte bw = Bitmap.BlackWhiteMethod(), allocator = Bitmap.Allocator();
  const Integer align = Bitmap.RowAlignment(), used = Bitmap.PaletteUsed();
  Src.MoveStorageTo(&Bitmap);
  Bitmap.SetBlackWhiteMethod(bw);
  Bitmap.SetAllocator(allocator);
  Bitmap.SetPaletteUsed(used);
  if (Bitmap.RowAlignment() != align) Bitmap.SetRowAlignment(align);
  if (!alpha) return;
  const Integer w = Bitmap.Width(), h = Bitmap.Height();
  switch (AlphaAfter) {
    case TAlphaAfter::Drop:
      return;
    case TAlphaAfter::Resize:
      alpha->SetHeight(h);
      alpha->SetWidth(w);
      break;
    case TAlphaAfter::OpaqueIfSize:
      if (alpha->Width() != w || alpha->Height() != h) {
        if (!alpha->Allocate(w, h, ie8g)) return;
        alpha->Fill(255);
      }
      break;
  }
  (void)Bitmap.AttachAlphaChannel(std::move(alpha));
}

// ---------------------------------------------------------------------------
// Quarter turns and transpositions, every pixel format

enum class TTurn { Clockwise, CounterClockwise, Transpose, Transverse };

constexpr Integer kTile = 64;

// Dst (allocated Src.Height x Src.Width in Src's format) receives Src turned.
// Destination pixel (x, y) comes from source column sx(y) of source row
// sy(x), so a tile of the destination reads a tile of the source: both stay
// in the cache.
template <Integer PS>
void TurnPixels(const TRowTable& S, const TRowTable& D, Integer W, Integer H, TTurn Turn) {
  const bool sxIsY = Turn == TTurn::Clockwise || Turn == TTurn::Transpose;
  const bool syIsX = Turn == TTurn::CounterClockwise || Turn == TTurn::Transpose;
  const Integer DW = H, DH = W;
  std::vector<const Byte*> colRow(static_cast<size_t>(DW));
  for (Integer x = 0; x < DW; ++x) colRow[size_t(x)] = S[syIsX ? x : H - 1 - x];
  const Integer bands = (DH + kTile - 1) / kTile;
  IEParallelRows(bands, int64_t(DW) * PS * kTile, [&](Integer First, Integer Last) {
    for (Integer ty = First * kTile; ty < std::min(DH, Last * kTile); ty += kTile) {
      const Integer ey = std::min(DH, ty + kTile);
      for (Integer tx = 0; tx < DW; tx += kTile) {
        const Integer ex = std::min(DW, tx + kTile);
        for (Integer y = ty; y < ey; ++y) {
          const size_t off = size_t(sxIsY ? y : W - 1 - y) * PS;
          Byte* d = D[y] + size_t(tx) * PS;
          const Byte* const* c = colRow.data() + tx;
          for (Integer x = tx; x < ex; ++x, d += PS, ++c) std::memcpy(d, *c + off, PS);
        }
      }
    }
  });
}

void TurnBits(const TRowTable& S, const TRowTable& D, Integer W, Integer H, TTurn Turn) {
  const bool sxIsY = Turn == TTurn::Clockwise || Turn == TTurn::Transpose;
  const bool syIsX = Turn == TTurn::CounterClockwise || Turn == TTurn::Transpose;
  const Integer DW = H, DH = W;
  const Integer bytes = (DW + 7) / 8;
  std::vector<const Byte*> colRow(static_cast<size_t>(bytes) * 8, nullptr);
  for (Integer x = 0; x < DW; ++x) colRow[size_t(x)] = S[syIsX ? x : H - 1 - x];
  constexpr Integer kByteTile = 32;  // 256 destination pixels
  const Integer bands = (DH + kTile - 1) / kTile;
  IEParallelRows(bands, int64_t(DW) * kTile, [&](Integer First, Integer Last) {
    for (Integer ty = First * kTile; ty < std::min(DH, Last * kTile); ty += kTile) {
      const Integer ey = std::min(DH, ty + kTile);
      for (Integer tb = 0; tb < bytes; tb += kByteTile) {
        const Integer eb = std::min(bytes, tb + kByteTile);
        for (Integer y = ty; y < ey; ++y) {
          const Integer sx = sxIsY ? y : W - 1 - y;
          const Integer sb = sx >> 3;
          const Byte mask = Byte(0x80 >> (sx & 7));
          Byte* d = D[y];
          for (Integer b = tb; b < eb; ++b) {
            const Integer n = std::min<Integer>(8, DW - b * 8);
            const Byte* const* c = colRow.data() + size_t(b) * 8;
            Byte v = 0;
            for (Integer k = 0; k < n; ++k)
              if (c[k][sb] & mask) v |= Byte(0x80 >> k);
            d[b] = v;
          }
        }
      }
    }
  });
}

// A quarter turn where either picture is in a temporary file (kept there
// because memory is short): source rows are read in bands, and each band
// becomes a run of columns of every destination row, written as one range of
// that row, so that neither picture is ever in memory whole. PS bytes per
// pixel.
void TurnInBands(TIEBitmap& Src, TIEBitmap& Dst, TTurn Turn, Integer PS) {
  const bool sxIsY = Turn == TTurn::Clockwise || Turn == TTurn::Transpose;
  const bool syIsX = Turn == TTurn::CounterClockwise || Turn == TTurn::Transpose;
  const Integer W = Src.Width(), H = Src.Height(), DH = W;
  const int64_t rowBytes = int64_t(W) * PS;
  const Integer K = Integer(std::clamp<int64_t>(std::max<int64_t>(IETurnBandBytes, 1) / rowBytes, 1, H));
  std::vector<Byte> band(size_t(K) * size_t(rowBytes)), run(size_t(K) * size_t(PS));
  for (Integer sy0 = 0; sy0 < H; sy0 += K) {
    const Integer sy1 = std::min(H, sy0 + K), n = sy1 - sy0;
    for (Integer sy = sy0; sy < sy1; ++sy)
      Src.ReadRowBytes(sy, 0, Integer(rowBytes), band.data() + size_t(sy - sy0) * size_t(rowBytes));
    // Destination column x comes from source row sy(x): the band's rows are
    // the columns x0 .. x0 + n - 1.
    const Integer x0 = syIsX ? sy0 : H - sy1;
    for (Integer y = 0; y < DH; ++y) {
      const size_t off = size_t(sxIsY ? y : W - 1 - y) * size_t(PS);
      for (Integer i = 0; i < n; ++i) {
        const Integer sy = syIsX ? x0 + i : H - 1 - (x0 + i);
        std::memcpy(run.data() + size_t(i) * size_t(PS), band.data() + size_t(sy - sy0) * size_t(rowBytes) + off,
                    size_t(PS));
      }
      Dst.WriteRowBytes(y, x0 * PS, n * PS, run.data());
    }
  }
}

// Allocates Dst as the turned size in Src's format (Src != Dst) and fills it.
bool TurnInto(TIEBitmap& Src, TIEBitmap& Dst, TTurn Turn) {
  const Integer W = Src.Width(), H = Src.Height();
  const TIEPixelFormat pf = Src.PixelFormat();
  if (Src.IsEmpty() || !Dst.Allocate(H, W, pf)) return false;
  const Integer ps = PixelBytes(pf);
  if (pf != ie1g && (Src.Location() == ieFile || Dst.Location() == ieFile)) {
    if (ps != 1 && ps != 2 && ps != 3 && ps != 4 && ps != 6) return false;
    TurnInBands(Src, Dst, Turn, ps);
    return true;
  }
  TRowTable s(Src, ieaRead);
  TRowTable d(Dst, ieaWrite);
  switch (pf == ie1g ? 0 : PixelBytes(pf)) {
    case 0: TurnBits(s, d, W, H, Turn); break;
    case 1: TurnPixels<1>(s, d, W, H, Turn); break;
    case 2: TurnPixels<2>(s, d, W, H, Turn); break;
    case 3: TurnPixels<3>(s, d, W, H, Turn); break;
    case 4: TurnPixels<4>(s, d, W, H, Turn); break;
    case 6: TurnPixels<6>(s, d, W, H, Turn); break;
    default: return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Mirroring

const Byte* ReversedBits() {
  static const auto table = [] {
    std::vector<Byte> t(256);
    for (Integer i = 0; i < 256; ++i) {
      Byte b = Byte(i);
      IEReverseByteBits(b);
      t[size_t(i)] = b;
    }
    return t;
  }();
  return table.data();
}

// Row reversed into Out: whole pixels of PS bytes.
template <Integer PS>
void ReverseRow(const Byte* In, Byte* Out, Integer W) {
  const Byte* s = In + size_t(W - 1) * PS;
  for (Integer x = 0; x < W; ++x, s -= PS, Out += PS) std::memcpy(Out, s, PS);
}

// A 1-bit row reversed: the bytes in reverse order with their bits reversed,
// then shifted left so that the first pixel lands on the first bit again.
void ReverseBitRow(const Byte* In, Byte* Out, Integer W) {
  const Integer n = (W + 7) / 8;
  const Byte* rev = ReversedBits();
  const Integer shift = (8 - W % 8) % 8;
  if (shift == 0) {
    for (Integer i = 0; i < n; ++i) Out[i] = rev[In[n - 1 - i]];
    return;
  }
  for (Integer i = 0; i < n; ++i) {
    const Byte cur = rev[In[n - 1 - i]];
    const Byte next = i + 1 < n ? rev[In[n - 2 - i]] : 0;
    Out[i] = Byte((cur << shift) | (next >> (8 - shift)));
  }
}

void ReverseAnyRow(const Byte* In, Byte* Out, Integer W, TIEPixelFormat PF) {
  switch (PF == ie1g ? 0 : PixelBytes(PF)) {
    case 0: ReverseBitRow(In, Out, W); break;
    case 1: ReverseRow<1>(In, Out, W); break;
    case 2: ReverseRow<2>(In, Out, W); break;
    case 3: ReverseRow<3>(In, Out, W); break;
    case 4: ReverseRow<4>(In, Out, W); break;
    case 6: ReverseRow<6>(In, Out, W); break;
    default: break;
  }
}

// Dst (Src's size and format) := Src turned by a half turn.
bool HalfTurnInto(TIEBitmap& Src, TIEBitmap& Dst) {
  const Integer W = Src.Width(), H = Src.Height();
  if (Src.IsEmpty() || !Dst.Allocate(W, H, Src.PixelFormat())) return false;
  const TIEPixelFormat pf = Src.PixelFormat();
  if (Src.Location() == ieFile || Dst.Location() == ieFile) {
    // One row at a time, so that a picture in a temporary file is never in
    // memory whole.
    std::vector<Byte> in(size_t(Src.RowLen())), out(size_t(Dst.RowLen()));
    for (Integer y = 0; y < H; ++y) {
      Src.ReadRowBytes(H - 1 - y, 0, Src.RowLen(), in.data());
      ReverseAnyRow(in.data(), out.data(), W, pf);
      Dst.WriteRowBytes(y, 0, Dst.RowLen(), out.data());
    }
    return true;
  }
  TRowTable s(Src, ieaRead);
  TRowTable d(Dst, ieaWrite);
  IEParallelRows(H, Src.RowLen(), [&](Integer First, Integer Last) {
    for (Integer y = First; y < Last; ++y) ReverseAnyRow(s[H - 1 - y], d[y], W, pf);
  });
  return true;
}

// ---------------------------------------------------------------------------
// Shears of ie24RGB pictures

constexpr Integer kFracOne = 4096;

// One shifted sample with its left neighbour mixed in by the fraction F of
// 4096 (negative fractions extrapolate); rounded, limited to a byte.
inline Byte ShearMix(Integer Prev, Integer Cur, Integer F) {
  return Byte(IEClampByte((Prev * F + Cur * (kFracOne - F) + 2048) >> 12));
}

// Out[j] = ShearMix(In[j - 3], In[j], F) for the Count bytes of a run of
// pixels whose left neighbours precede them in memory.
void MixRun(const Byte* In, Byte* Out, Integer Count, Integer F) {
  Integer j = 0;
#if defined(__SSE2__)
  // Pairs (left, own) of 16-bit samples against (F, 4096 - F): one
  // multiply-add gives the exact 32-bit sum; the saturating packs limit
  // to 0..255 as ShearMix does.
  const __m128i coef = _mm_set1_epi32(Integer(Word(F)) | ((kFracOne - F) << 16));
  const __m128i half = _mm_set1_epi32(2048), zero = _mm_setzero_si128();
  for (; j + 16 <= Count; j += 16) {
    const __m128i cur = _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + j));
    const __m128i prev = _mm_loadu_si128(reinterpret_cast<const __m128i*>(In + j - 3));
    const __m128i c0 = _mm_unpacklo_epi8(cur, zero), c1 = _mm_unpackhi_epi8(cur, zero);
    const __m128i p0 = _mm_unpacklo_epi8(prev, zero), p1 = _mm_unpackhi_epi8(prev, zero);
    auto part = [&](__m128i pairs) {
      return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, coef), half), 12);
    };
    const __m128i lo = _mm_packs_epi32(part(_mm_unpacklo_epi16(p0, c0)), part(_mm_unpackhi_epi16(p0, c0)));
    const __m128i hi = _mm_packs_epi32(part(_mm_unpacklo_epi16(p1, c1)), part(_mm_unpackhi_epi16(p1, c1)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Out + j), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; j < Count; ++j) Out[j] = ShearMix(In[j - 3], In[j], F);
}

inline void PutBackground(Byte* d, Integer Count, const Byte Bg[3]) {
  for (Integer i = 0; i < Count; ++i, d += 3) {
    d[0] = Bg[0];
    d[1] = Bg[1];
    d[2] = Bg[2];
  }
}

// Writes the SW pixels of S at column C of the DW-pixel row D (pixels outside
// 0..DW-1 are dropped), background elsewhere. With Antialias each pixel is
// mixed with its left neighbour by F and, when F > 0, one trailing pixel
// mixes the last pixel into the background.
void ShearRow(const Byte* S, Integer SW, Byte* D, Integer DW, Integer C, Integer F, bool Antialias,
              const Byte Bg[3]) {
  const Integer first = std::max(0, -C);                 // first source pixel that lands
  const Integer last = std::min(SW, DW - C);             // one past the last
  const Integer lead = std::clamp(C + first, 0, DW);     // background before the pixels
  PutBackground(D, lead, Bg);
  Integer col = lead;
  if (last > first) {
    Byte* d = D + size_t(C + first) * 3;
    const Byte* s = S + size_t(first) * 3;
    if (!Antialias) {
      std::memcpy(d, s, size_t(last - first) * 3);
    } else {
      Integer from = first;
      if (first == 0) {
        // The first pixel's left neighbour is the background.
        for (int k = 0; k < 3; ++k) d[k] = ShearMix(Bg[k], s[k], F);
        d += 3;
        s += 3;
        from = 1;
      }
      MixRun(s, d, (last - from) * 3, F);
    }
    col = C + last;
  }
  if (Antialias && F > 0 && C + SW >= 0 && C + SW < DW) {
    Byte* d = D + size_t(C + SW) * 3;
    const Byte* s = S + size_t(SW - 1) * 3;
    for (int k = 0; k < 3; ++k) d[k] = ShearMix(s[k], Bg[k], F);
    col = std::max(col, C + SW + 1);
  }
  if (col < DW) PutBackground(D + size_t(col) * 3, DW - col, Bg);
}

struct TShearPlan {
  double T = 0, Sn = 0;
  Integer W = 0, H = 0, W1 = 0, H2 = 0, W3 = 0, Dx = 0, Dy = 0;
  bool Positive = true;
};

bool PlanShears(Integer W, Integer H, double Degrees, TShearPlan& P) {
  const double theta = Degrees * M_PI / 180;
  P.T = std::fabs(std::sin(theta / 2) / std::cos(theta / 2));
  P.Sn = std::fabs(std::sin(theta));
  P.Positive = theta > 0;
  P.W = W;
  P.H = H;
  const int64_t w1 = Round(H * P.T + W + 1);
  const int64_t dy = Round((w1 - W) * P.Sn);
  int64_t h2 = Round(w1 * P.Sn + H + 1);
  const int64_t dx = Round((h2 - H - dy) * P.T);
  h2 -= 2 * dy;
  const int64_t w3 = Round(h2 * P.T + w1 + 1 - 2 * dx);
  if (w1 <= 0 || h2 <= 0 || w3 <= 0 || w1 > INT32_MAX / 3 || h2 > INT32_MAX || w3 > INT32_MAX / 3) return false;
  P.W1 = Integer(w1);
  P.H2 = Integer(h2);
  P.W3 = Integer(w3);
  P.Dx = Integer(dx);
  P.Dy = Integer(dy);
  return true;
}

// Turns Src (ie24RGB, W x H) by Degrees (-45..45, not 0) into a new picture
// Out of W3 x H2 pixels. With ReleaseSource the caller is replacing Src by
// Out: Src's pixels (not its alpha channel) are given back as soon as the
// first shear has read them, once nothing can fail any more.
bool ShearRotate(TIEBitmap& Src, TIEBitmap& Out, double Degrees, bool Antialias, const TRGB& Background,
                 const TIEProgressEvent& OnProgress, TObject* Sender, bool ReleaseSource) {
  TShearPlan p;
  if (!PlanShears(Src.Width(), Src.Height(), Degrees, p)) return false;
  const Integer W = p.W, H = p.H, W1 = p.W1, H2 = p.H2, W3 = p.W3;
  const Byte bg[3] = {Background.b, Background.g, Background.r};
  constexpr Integer kBand = 64;
  // The first shear's result is the only work picture, held transposed in
  // tiles of kBand rows: tile t holds rows t * kBand .. of every column,
  // column after column. The first shear writes each tile whole; the second
  // (vertical) shear then reads short runs of a column from one or two
  // tiles, and a tile whose rows no later band reads is given back at once.
  // The second shear is done band by band for the third and never held
  // whole. Straight from the kernel in huge pages: written once, its first
  // touch would otherwise cost a page fault every 4 KiB.
  const size_t tileCol = size_t(kBand) * 3, tileBytes = tileCol * size_t(W1);
  const Integer tiles = (H + kBand - 1) / kBand;
  TZeroedPages<Byte> b1(static_cast<Byte*>(AllocateZeroedPages(tileBytes * size_t(tiles))));
  if (!b1) return false;
  const double step = 100.0 / (double(H) + H2);
  auto report = [&](int64_t Done) {
    if (OnProgress) OnProgress(Sender, Integer(Trunc(Done * step)));
  };
  const size_t row1 = size_t(W1) * 3;

  // First shear: rows to the right, a band of rows at a time, each band
  // then written into its tile.
  {
    TRowTable s(Src, ieaRead);
    IEParallelRows(
        tiles, int64_t(W1) * 3 * kBand,
        [&](Integer First, Integer Last) {
          std::vector<Byte> rows(row1 * kBand);
          for (Integer band = First; band < Last; ++band) {
            const Integer y0 = band * kBand, y1 = std::min(H, y0 + kBand), n = y1 - y0;
            for (Integer y = y0; y < y1; ++y) {
              const double k = (p.Positive ? y : H - y) * p.T;
              const Integer sh = Integer(Round(k));
              const Integer f = Integer(Trunc((k - sh) * kFracOne));
              ShearRow(s[y], W, rows.data() + row1 * size_t(y - y0), W1, sh, f, Antialias, bg);
            }
            Byte* d = b1.get() + tileBytes * size_t(band);
            for (Integer x = 0; x < W1; ++x, d += tileCol) {
              const Byte* r = rows.data() + size_t(x) * 3;
              for (Integer j = 0; j < n; ++j, r += row1) std::memcpy(d + size_t(j) * 3, r, 3);
            }
          }
        },
        EachNewCount([&](Integer band) { report(std::min(H, (band + 1) * kBand) - 1); }));
  }
  if (!Out.Allocate(W3, H2, ie24RGB)) return false;
  if (ReleaseSource && (Src.Location() == ieMemory || Src.Location() == ieFile)) Src.FreeImage(false);

  // The second shear moves column x down by Shift[x], mixing by Frac[x].
  std::vector<Integer> shift(static_cast<size_t>(W1)), frac(static_cast<size_t>(W1));
  Integer maxShift = INT32_MIN;
  for (Integer x = 0; x < W1; ++x) {
    const double k = (p.Positive ? W1 - x : x) * p.Sn;
    const Integer n = Integer(Round(k));
    shift[size_t(x)] = n - p.Dy;
    frac[size_t(x)] = Integer(Round((k - n) * kFracOne));
    maxShift = std::max(maxShift, shift[size_t(x)]);
  }

  // Second and third shears, a band of result rows at a time: each column's
  // part of the band is sheared from the tiles (with the sample above it,
  // its neighbour in the mix) into the rows of the band, then each row to
  // the right into the picture. The bands go in groups, after which the
  // tiles above every later band's reach are given back.
  {
    TRowTable d(Out, ieaWrite);
    const Integer bands = (H2 + kBand - 1) / kBand;
    constexpr Integer kGroup = 8;
    Integer freedTiles = 0;
    for (Integer g0 = 0; g0 < bands; g0 += kGroup) {
      const Integer g1 = std::min(bands, g0 + kGroup);
      IEParallelRows(
          g1 - g0, int64_t(W3) * 3 * kBand,
          [&](Integer First, Integer Last) {
            std::vector<Byte> rows(row1 * kBand);
            Byte run[(kBand + 1) * 3], col[kBand * 3];
            for (Integer band = g0 + First; band < g0 + Last; ++band) {
              const Integer y0 = band * kBand, y1 = std::min(H2, y0 + kBand), n = y1 - y0;
              for (Integer x = 0; x < W1; ++x) {
                const Integer c = shift[size_t(x)];
                // Source rows r0 .. r1 - 1 land in this band, r0 being the
                // neighbour of the first one when it exists.
                const Integer r0 = std::max(0, y0 - c - 1), r1 = std::min(H, y1 - c);
                if (r0 < r1) {
                  const Byte* column = b1.get() + tileCol * size_t(x);
                  for (Integer r = r0; r < r1;) {
                    const Integer t = r / kBand, upTo = std::min(r1, (t + 1) * kBand);
                    std::memcpy(run + size_t(r - r0) * 3, column + tileBytes * size_t(t) + size_t(r - t * kBand) * 3,
                                size_t(upTo - r) * 3);
                    r = upTo;
                  }
                  ShearRow(run, r1 - r0, col, n, c + r0 - y0, frac[size_t(x)], Antialias, bg);
                } else {
                  PutBackground(col, n, bg);
                }
                Byte* r = rows.data() + size_t(x) * 3;
                for (Integer j = 0; j < n; ++j, r += row1) std::memcpy(r, col + size_t(j) * 3, 3);
              }
              for (Integer y = y0; y < y1; ++y) {
                const double k = (p.Positive ? y : H2 - y) * p.T;
                const Integer sh = Integer(Round(k));
                const Integer f = Integer(Round((k - sh) * kFracOne));
                ShearRow(rows.data() + row1 * size_t(y - y0), W1, d[y], W3, sh - p.Dx, f, Antialias, bg);
              }
            }
          },
          EachNewCount([&](Integer band) { report(int64_t(H) + std::min(H2, (g0 + band + 1) * kBand) - 1); }));
      // Later bands read source rows from g1 * kBand - maxShift - 1 on.
      const int64_t firstNeeded = int64_t(g1) * kBand - maxShift - 1;
      const Integer doneTiles = Integer(std::clamp<int64_t>(firstNeeded / kBand, 0, tiles));
      if (g1 < bands && doneTiles > freedTiles) {
        ReleaseZeroedPages(b1.get(), tileBytes * size_t(freedTiles), tileBytes * size_t(doneTiles));
        freedTiles = doneTiles;
      }
    }
  }
  return true;
}

// Whole-pixel copy of one pixel of PS bytes.
template <Integer PS>
inline void CopyPixel(Byte* d, const Byte* s) {
  std::memcpy(d, s, PS);
}

// Nearest-neighbour turn of every pixel of Dst from Src.
template <Integer PS>
void TurnNearest(const TRowTable& S, const TRowTable& Dst, Integer dw, Integer dh, Integer W, Integer H,
                 const std::vector<double>& ColX, const std::vector<double>& ColY, double SinT, double CosT,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  const double hh = (dh - 1) / 2.0;
  auto row = [&](Integer D) {
    const double E = D - hh;
    const double sE = SinT * E, cE = CosT * E;
    Byte* d = Dst[D];
    for (Integer j = 0; j < dw; ++j) {
      const double fx = std::nearbyint(ColX[size_t(j)] - sE);
      const double fy = std::nearbyint(ColY[size_t(j)] + cE);
      if (fx < 0 || fy < 0 || fx >= W || fy >= H) continue;
      const Integer x = Integer(fx), y = Integer(fy);
      if constexpr (PS == 0) {
        if (GetBit(S[y], x)) d[j >> 3] |= Byte(0x80 >> (j & 7));
      } else {
        CopyPixel<PS>(d + size_t(j) * PS, S[y] + size_t(x) * PS);
      }
    }
  };
  IEParallelRows(
      dh, int64_t(dw) * (PS == 0 ? 1 : PS) * 4,
      [&](Integer First, Integer Last) {
        for (Integer D = First; D < Last; ++D) row(D);
      },
      EachNewCount([&](Integer D) {
        if (OnProgress) OnProgress(Sender, Integer(int64_t(D) * 100 / dh));
      }));
}

}  // namespace

// ---------------------------------------------------------------------------

void IEFlipBitmap(TIEBitmap* Bitmap, Byte Direction) {
  if (!Bitmap || Bitmap->IsEmpty() || Direction > 1) return;
  TIEBitmap& b = *Bitmap;
  const Integer W = b.Width(), H = b.Height(), len = b.RowLen();
  const TIEPixelFormat pf = b.PixelFormat();
  if (pf != ie1g && PixelBytes(pf) == 0) return;
  std::vector<Byte> rowA(static_cast<size_t>(len)), rowB(static_cast<size_t>(len));
  TIEAccessScope scope(b, ieaRead | ieaWrite);
  // In place, so the palette and every setting of the picture stay as they
  // are, and no second picture is needed.
  if (Direction == 0) {
    const size_t used = pf == ie1g ? size_t((W + 7) / 8) : size_t(W) * size_t(PixelBytes(pf));
    for (Integer y = 0; y < H; ++y) {
      Byte* row = static_cast<Byte*>(b.GetScanline(y));
      std::memcpy(rowA.data(), row, used);
      ReverseAnyRow(rowA.data(), row, W, pf);
    }
  } else {
    const bool stable = b.Location() != ieFile;  // memory rows keep their addresses
    for (Integer y = 0, z = H - 1; y < z; ++y, --z) {
      if (stable) {
        Byte* a = static_cast<Byte*>(b.GetScanline(y));
        Byte* c = static_cast<Byte*>(b.GetScanline(z));
        std::memcpy(rowA.data(), a, size_t(len));
        std::memcpy(a, c, size_t(len));
        std::memcpy(c, rowA.data(), size_t(len));
      } else {
        std::memcpy(rowA.data(), b.GetScanline(y), size_t(len));
        std::memcpy(rowB.data(), b.GetScanline(z), size_t(len));
        std::memcpy(b.GetScanline(y), rowB.data(), size_t(len));
        std::memcpy(b.GetScanline(z), rowA.data(), size_t(len));
      }
    }
  }
  b.ReleaseMappedRows();
  if (b.HasAlphaChannel()) IEFlipBitmap(b.GetAlphaChannel(), Direction);
}

bool IERotate90Clockwise24(TIEBitmap* Src, TIEBitmap* Dst) {
  if (!Src || !Dst || Src->PixelFormat() != ie24RGB || Src->IsEmpty()) return false;
  if (Src == Dst) {
    TIEBitmap tmp;
    if (!TurnInto(*Src, tmp, TTurn::Clockwise)) return false;
    TakeStorage(*Dst, tmp, TAlphaAfter::Drop);
    return true;
  }
  return TurnInto(*Src, *Dst, TTurn::Clockwise);
}

bool IERotate90CounterClockwise24(TIEBitmap* Src, TIEBitmap* Dst) {
  if (!Src || !Dst || Src->PixelFormat() != ie24RGB || Src->IsEmpty()) return false;
  if (Src == Dst) {
    TIEBitmap tmp;
    if (!TurnInto(*Src, tmp, TTurn::CounterClockwise)) return false;
    TakeStorage(*Dst, tmp, TAlphaAfter::Drop);
    return true;
  }
  return TurnInto(*Src, *Dst, TTurn::CounterClockwise);
}

bool IERotateBitmap(TIEBitmap* Bitmap, bool Antialias, const TIEProgressEvent& OnProgress, TObject* Sender,
                    const TRGB& Background, double Angle) {
  if (!Bitmap) return false;
  if (Angle == 0) return true;
  if (Bitmap->PixelFormat() == ie1g) {
    std::atomic<bool> abort{false};
    TIEProgressRec rec(abort, OnProgress, Sender);
    const bool white = Background.b != 0 && Background.g != 0 && Background.r != 0;
    return IERotate1Bit(Bitmap, white, rec, Angle);
  }
  if (Bitmap->PixelFormat() != ie24RGB) return false;
  if (Bitmap->IsEmpty()) return true;

  // Thousandths of a degree, then quarter turns until at most 45 degrees remain.
  int64_t t = Trunc(Angle * 1000.0) % 360000;
  Integer turns = 0;  // counter-clockwise quarter turns
  while (t > 45000) {
    t -= 90000;
    ++turns;
  }
  while (t < -45000) {
    t += 90000;
    --turns;
  }
  turns = ((turns % 4) + 4) % 4;

  TIEBitmap turned;
  TIEBitmap* src = Bitmap;
  if (turns != 0) {
    const bool ok = turns == 2 ? HalfTurnInto(*Bitmap, turned)
                               : TurnInto(*Bitmap, turned, turns == 1 ? TTurn::CounterClockwise : TTurn::Clockwise);
    if (!ok) return false;
    src = &turned;
  }
  if (t == 0) {
    if (turns != 0) TakeStorage(*Bitmap, turned, TAlphaAfter::OpaqueIfSize);
    return true;
  }
  TIEBitmap out;
  // The picture is replaced by the result: its pixels (or the quarter-turned
  // copy's) go as soon as the first shear has read them.
  if (!ShearRotate(*src, out, double(t) / 1000.0, Antialias, Background, OnProgress, Sender, true)) return false;
  TakeStorage(*Bitmap, out, TAlphaAfter::Resize);
  return true;
}

bool IERotate1Bit(TIEBitmap* Bitmap, bool WhiteBackground, TIEProgressRec& Progress, double Angle) {
  if (!Bitmap || Bitmap->PixelFormat() != ie1g || Bitmap->IsEmpty()) return false;
  TIEBitmap& b = *Bitmap;
  const Integer W = b.Width(), H = b.Height();
  TIEBitmap tmp;
  if (Angle == 90 || Angle == -90 || Angle == 270) {
    if (!TurnInto(b, tmp, Angle == 90 ? TTurn::CounterClockwise : TTurn::Clockwise)) return false;
  } else if (Angle == 180 || Angle == -180) {
    if (!HalfTurnInto(b, tmp)) return false;
  } else {
    const double theta = -Angle * M_PI / 180;
    const double cs = double(Trunc(std::cos(theta) * 10000)) / 10000;
    const double sn = double(Trunc(std::sin(theta) * 10000)) / 10000;
    const int64_t wn = Trunc(std::fabs(W * cs) + std::fabs(H * sn));
    const int64_t hn = Trunc(std::fabs(W * sn) + std::fabs(H * cs));
    if (wn <= 0 || hn <= 0 || wn > INT32_MAX || hn > INT32_MAX) return false;
    const Integer Wn = Integer(wn), Hn = Integer(hn);
    if (!tmp.Allocate(Wn, Hn, ie1g)) return false;
    // Per destination column the two column terms, per row the two row terms.
    std::vector<Integer> colX(static_cast<size_t>(Wn)), colY(static_cast<size_t>(Wn));
    for (Integer k = 0; k < Wn; ++k) {
      const double m = k - (Wn / 2.0 - 0.5);
      colX[size_t(k)] = Integer(Trunc(cs * m));
      colY[size_t(k)] = Integer(Trunc(-sn * m));
    }
    Progress.SetUnits(Hn);
    TRowTable s(b, ieaRead);
    TRowTable out(tmp, ieaWrite);
    const Integer rowBytes = (Wn + 7) / 8;
    IEParallelRows(
        Hn, int64_t(Wn) * 4,
        [&](Integer First, Integer Last) {
          for (Integer j = First; j < Last; ++j) {
            const double o = j - (Hn / 2.0 - 0.5);
            const Integer rx = Integer(Trunc((W / 2.0 - 0.5) + sn * o));
            const Integer ry = Integer(Trunc((H / 2.0 - 0.5) + cs * o));
            Byte* d = out[j];
            std::memset(d, 0, size_t(rowBytes));
            for (Integer k = 0; k < Wn; ++k) {
              const Integer x = rx + colX[size_t(k)], y = ry + colY[size_t(k)];
              const bool white = (x < 0 || y < 0 || x >= W || y >= H) ? WhiteBackground : GetBit(s[y], x);
              if (white) d[k >> 3] |= Byte(0x80 >> (k & 7));
            }
          }
        },
        EachNewCount([&](Integer j) { Progress.Report(j); }));
  }
  TakeStorage(b, tmp, TAlphaAfter::Drop);
  return true;
}

bool IERotateIntoBitmap(TIEBitmap* Src, TIEBitmap* Dst, double Background, double Angle,
                        const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src->IsEmpty()) return false;
  const TIEPixelFormat pf = Src->PixelFormat();
  const Integer ps = pf == ie1g ? 0 : PixelBytes(pf);
  if (pf != ie1g && ps == 0) return false;
  if (Src == Dst) {
    TIEBitmap tmp;
    if (!IERotateIntoBitmap(Src, &tmp, Background, Angle, OnProgress, Sender)) return false;
    TakeStorage(*Dst, tmp, TAlphaAfter::Drop);
    return true;
  }
  const Integer W = Src->Width(), H = Src->Height();
  const double theta = Angle * M_PI / 180;
  const double c = std::cos(theta), s = std::sin(theta);
  const int64_t dw = Round(std::fabs(W * c) + std::fabs(H * s));
  const int64_t dh = Round(std::fabs(W * s) + std::fabs(H * c));
  if (dw <= 0 || dh <= 0 || dw > INT32_MAX || dh > INT32_MAX) return false;
  if (!Dst->Allocate(Integer(dw), Integer(dh), pf)) return false;
  if (pf == ie8p) Src->CopyPaletteTo(Dst);
  Dst->SetBlackWhiteMethod(Src->BlackWhiteMethod());
  Dst->Fill(pf == ie1g ? 0.0 : Background);

  // Per destination column the two column terms of the source position.
  std::vector<double> colX(static_cast<size_t>(dw)), colY(static_cast<size_t>(dw));
  const double hw = (double(dw) - 1) / 2.0;
  for (int64_t j = 0; j < dw; ++j) {
    const double B = double(j) - hw;
    colX[size_t(j)] = (W - 1) / 2.0 + c * B;
    colY[size_t(j)] = (H - 1) / 2.0 + s * B;
  }
  TRowTable rows(*Src, ieaRead);
  TRowTable out(*Dst, ieaRead | ieaWrite);
  const Integer w = Integer(dw), h = Integer(dh);
  switch (ps) {
    case 0: TurnNearest<0>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    case 1: TurnNearest<1>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    case 2: TurnNearest<2>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    case 3: TurnNearest<3>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    case 4: TurnNearest<4>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    case 6: TurnNearest<6>(rows, out, w, h, W, H, colX, colY, s, c, OnProgress, Sender); break;
    default: break;
  }
  return true;
}

void IEApplyExifOrientation(TIEBitmap* Bitmap, Integer Orientation) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  switch (Orientation) {
    case 2: IEFlipBitmap(Bitmap, 0); return;
    case 3:
      IEFlipBitmap(Bitmap, 1);
      IEFlipBitmap(Bitmap, 0);
      return;
    case 4: IEFlipBitmap(Bitmap, 1); return;
    case 5:
    case 6:
    case 7:
    case 8: break;
    default: return;
  }
  const TTurn turn = Orientation == 5   ? TTurn::Transpose
                     : Orientation == 6 ? TTurn::Clockwise
                     : Orientation == 7 ? TTurn::Transverse
                                        : TTurn::CounterClockwise;
  TIEBitmap out;
  if (!TurnInto(*Bitmap, out, turn)) return;
  std::unique_ptr<TIEBitmap> alpha;
  if (Bitmap->HasAlphaChannel()) {
    TIEBitmap* a = Bitmap->GetAlphaChannel();
    alpha = std::make_unique<TIEBitmap>();
    if (!TurnInto(*a, *alpha, turn)) return;
    alpha->SetFull(a->Full());
  }
  Bitmap->CopyPaletteTo(&out);
  TakeStorage(*Bitmap, out, TAlphaAfter::Drop);
  if (alpha) (void)Bitmap->AttachAlphaChannel(std::move(alpha));
}
