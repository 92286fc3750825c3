// Whole-picture statistics, channel routines and the bit-depth row converter.
#include "imaging/core/kernels/iebitmapstats.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaging/core/color/iecolorformat.h"

namespace {

inline Byte* Row(TIEBitmap* B, Integer Y) { return static_cast<Byte*>(B->GetScanline(Y)); }

inline Byte FloatSample(float v) {
  const double u = v > 0.0f ? (v < 1.0f ? double(v) : 1.0) : 0.0;
  return Byte(Trunc(u * 255.0));
}

// Word index of channel C (0 blue, 1 green, 2 red) in an ieRGB48 pixel,
// whose words run red, green, blue.
inline Integer Rgb48Word(Integer C) { return 2 - C; }

}  // namespace

void IEGetRowAsRGB(TIEBitmap* Bitmap, Integer Y, TRGB* Out) {
  const Integer w = Bitmap->Width();
  const Byte* s = Row(Bitmap, Y);
  switch (Bitmap->PixelFormat()) {
    case ie1g:
      for (Integer x = 0; x < w; ++x) {
        const Byte v = (s[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        Out[x] = TRGB{v, v, v};
      }
      break;
    case ie8p: {
      const TRGB* pal = Bitmap->GetPaletteBuffer();
      const Integer n = pal ? Bitmap->GetPaletteLength() : 0;
      for (Integer x = 0; x < w; ++x) Out[x] = s[x] < n ? pal[s[x]] : TRGB{0, 0, 0};
      break;
    }
    case ie8g:
      for (Integer x = 0; x < w; ++x) Out[x] = TRGB{s[x], s[x], s[x]};
      break;
    case ie16g: {
      const Word* p = reinterpret_cast<const Word*>(s);
      for (Integer x = 0; x < w; ++x) {
        const Byte v = Byte(p[x] >> 8);
        Out[x] = TRGB{v, v, v};
      }
      break;
    }
    case ie24RGB:
      std::memcpy(Out, s, size_t(w) * 3);
      break;
    case ie32RGB:
      for (Integer x = 0; x < w; ++x) Out[x] = TRGB{s[4 * x], s[4 * x + 1], s[4 * x + 2]};
      break;
    case ie32f: {
      const float* p = reinterpret_cast<const float*>(s);
      for (Integer x = 0; x < w; ++x) {
        const Byte v = FloatSample(p[x]);
        Out[x] = TRGB{v, v, v};
      }
      break;
    }
    case ieCMYK:
      // The whole row at once: with a CMYK profile installed each call runs
      // the colour engine, so one call per row instead of one per pixel.
      IEConvertColorFormat(s, iecfCMYK, Out, iecfBGR, w, nullptr);
      break;
    case ieCIELab:
      for (Integer x = 0; x < w; ++x)
        Out[x] = IECIELabToRGB(TCIELab{s[3 * x], int8_t(s[3 * x + 1]), int8_t(s[3 * x + 2])});
      break;
    case ieRGB48: {
      const Word* p = reinterpret_cast<const Word*>(s);
      for (Integer x = 0; x < w; ++x)
        Out[x] = TRGB{Byte(p[3 * x + 2] >> 8), Byte(p[3 * x + 1] >> 8), Byte(p[3 * x] >> 8)};
      break;
    }
    default:
      std::memset(Out, 0, size_t(w) * 3);
      break;
  }
}

void IECalcAverageRGB(TIEBitmap* Bitmap, Integer& R, Integer& G, Integer& B) {
  R = G = B = 128;
  if (!Bitmap || Bitmap->IsEmpty()) return;
  try {
    const Integer w = Bitmap->Width(), h = Bitmap->Height();
    TIEAccessScope scope(Bitmap, ieaRead);
    std::vector<TRGB> row(static_cast<size_t>(w));
    int64_t tr = 0, tg = 0, tb = 0;
    for (Integer y = 0; y < h; ++y) {
      IEGetRowAsRGB(Bitmap, y, row.data());
      int64_t sr = 0, sg = 0, sb = 0;
      for (const TRGB& p : row) {
        sr += p.r;
        sg += p.g;
        sb += p.b;
      }
      tr += sr / w;
      tg += sg / w;
      tb += sb / w;
    }
    R = Integer(tr / h);
    G = Integer(tg / h);
    B = Integer(tb / h);
  } catch (...) {
    // A picture that cannot be read (a failing temporary file) averages gray.
    R = G = B = 128;
  }
}

bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
  if (A == B) return true;
  if (!A || !B) return false;
  if (A->Width() != B->Width() || A->Height() != B->Height() || A->HasAlphaChannel() != B->HasAlphaChannel())
    return false;
  // Rows of different lengths can hold no equal bytes, and comparing the
  // first picture's length would read past the second's rows.
  if (A->RowLen() != B->RowLen()) return false;
  {
    TIEAccessScope sa(A, ieaRead), sb(B, ieaRead);
    const size_t len = size_t(A->RowLen());
    std::vector<Byte> copy(len);
    for (Integer y = 0; y < A->Height(); ++y) {
      // A file-backed row is valid only until the next row of the same
      // picture is asked for, so one side is copied first.
      std::memcpy(copy.data(), Row(A, y), len);
      if (std::memcmp(copy.data(), Row(B, y), len) != 0) return false;
    }
  }
  if (A->HasAlphaChannel()) return IEBitmapsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
  return true;
}

Integer IEConvertRowToIndexed(const void* Src, void* Dst, Integer SrcBits, Integer DstBits, Integer Width,
                              const TRGB* Palette, TIEQuantizer* Quantizer) {
  if (Width <= 0) return 0;
  const Byte* s = static_cast<const Byte*>(Src);
  Byte* d = static_cast<Byte*>(Dst);
  const auto bit = [s](Integer x) { return Byte((s[x >> 3] >> (7 - (x & 7))) & 1); };
  const auto nibble = [s](Integer x) { return Byte((x & 1) ? s[x >> 1] & 15 : s[x >> 1] >> 4); };
  const auto putTriple = [d](Integer x, const TRGB& c) { std::memcpy(d + size_t(x) * 3, &c, 3); };
  const auto putNibble = [d](Integer x, Integer v) { d[x >> 1] |= Byte((v & 15) << ((x & 1) ? 0 : 4)); };
  const Integer rowBytes1 = Integer((int64_t(Width) + 7) / 8), rowBytes4 = Integer((int64_t(Width) + 1) / 2);

  switch (SrcBits * 100 + DstBits) {
    case 101: std::memcpy(d, s, size_t(rowBytes1)); break;
    case 104: for (Integer x = 0; x < Width; ++x) putNibble(x, bit(x)); break;
    case 108: for (Integer x = 0; x < Width; ++x) d[x] = bit(x); break;
    case 124:
      if (Palette) for (Integer x = 0; x < Width; ++x) putTriple(x, Palette[bit(x)]);
      break;
    case 404: std::memcpy(d, s, size_t(rowBytes4)); break;
    case 408: for (Integer x = 0; x < Width; ++x) d[x] = nibble(x); break;
    case 424:
      if (Palette) for (Integer x = 0; x < Width; ++x) putTriple(x, Palette[nibble(x)]);
      break;
    case 801:
      std::memset(d, 0, size_t(rowBytes1));
      for (Integer x = 0; x < Width; ++x) d[x >> 3] |= Byte((s[x] & 1) << (7 - (x & 7)));
      break;
    case 808: std::memcpy(d, s, size_t(Width)); break;
    case 824:
      if (Palette) for (Integer x = 0; x < Width; ++x) putTriple(x, Palette[s[x]]);
      break;
    case 2404:
      if (Quantizer) {
        const TRGB* p = static_cast<const TRGB*>(Src);
        for (Integer x = 0; x < Width; ++x) putNibble(x, Quantizer->RGBIndex(p[x]));
      }
      break;
    case 2408:
      if (Quantizer) Quantizer->RGBIndexRow(static_cast<const TRGB*>(Src), d, Width);
      break;
    case 2424: std::memcpy(d, s, size_t(Width) * 3); break;
    case 3224:
      for (Integer x = 0; x < Width; ++x) std::memcpy(d + size_t(x) * 3, s + size_t(x) * 4, 3);
      break;
    default: break;
  }
  switch (DstBits) {
    case 1: return rowBytes1;
    case 4: return rowBytes4;
    case 8: return Width;
    case 24: return Integer(std::min<int64_t>(int64_t(Width) * 3, INT32_MAX));
    default: return 0;
  }
}

void IEMatchChannelHistogram(TIEBitmap* Bitmap, Integer Channel, const int64_t (&RefCounts)[256],
                             int64_t RefPixelCount) {
  if (!Bitmap || Bitmap->IsEmpty() || Channel < 0 || Channel > 2 || RefPixelCount <= 0) return;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  if (pf != ie24RGB && pf != ieRGB48) return;
  const Integer w = Bitmap->Width(), h = Bitmap->Height();

  int64_t hist[256] = {};
  {
    TIEAccessScope scope(Bitmap, ieaRead);
    for (Integer y = 0; y < h; ++y) {
      const Byte* r = Row(Bitmap, y);
      if (pf == ie24RGB) {
        for (Integer x = 0; x < w; ++x) ++hist[r[3 * x + Channel]];
      } else {
        const Word* p = reinterpret_cast<const Word*>(r) + Rgb48Word(Channel);
        for (Integer x = 0; x < w; ++x) ++hist[p[3 * x] >> 8];
      }
    }
  }
  // Equalising map, then the inverse of the reference's cumulative curve;
  // the two are applied as one table (the equalised 16-bit sample's high
  // byte is the equalised level itself).
  const int64_t total = int64_t(w) * h;
  Integer equal[256];
  int64_t cum = 0;
  for (Integer v = 0; v < 256; ++v) {
    cum += hist[v];
    equal[v] = Integer(cum * 255 / total);
  }
  double ref[256];
  int64_t refCum = 0;
  const double scale = 255.0 / double(RefPixelCount);
  for (Integer j = 0; j < 256; ++j) {
    refCum += RefCounts[j];
    ref[j] = scale * double(refCum);
  }
  Byte inv[256];
  for (Integer i = 0; i < 256; ++i) {
    Integer best = 0;
    double bestDist = std::fabs(i - ref[0]);
    for (Integer j = 1; j < 256; ++j) {
      const double d = std::fabs(i - ref[j]);
      if (d < bestDist) {
        bestDist = d;
        best = j;
      }
    }
    inv[i] = Byte(best);
  }
  Byte map[256];
  for (Integer v = 0; v < 256; ++v) map[v] = inv[equal[v]];

  TIEAccessScope scope(Bitmap, ieaRead | ieaWrite);
  for (Integer y = 0; y < h; ++y) {
    Byte* r = Row(Bitmap, y);
    if (pf == ie24RGB) {
      for (Integer x = 0; x < w; ++x) r[3 * x + Channel] = map[r[3 * x + Channel]];
    } else {
      Word* p = reinterpret_cast<Word*>(r) + Rgb48Word(Channel);
      for (Integer x = 0; x < w; ++x) p[3 * x] = Word(map[p[3 * x] >> 8] * 257);
    }
  }
}

void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Bitmap) {
  if (!Reference || !Bitmap || Reference->PixelFormat() != ie24RGB || Reference->IsEmpty() || Bitmap->IsEmpty())
    return;
  int64_t counts[3][256] = {};
  {
    TIEAccessScope scope(Reference, ieaRead);
    const Integer w = Reference->Width();
    for (Integer y = 0; y < Reference->Height(); ++y) {
      const Byte* r = Row(Reference, y);
      for (Integer x = 0; x < w; ++x) {
        ++counts[0][r[3 * x]];
        ++counts[1][r[3 * x + 1]];
        ++counts[2][r[3 * x + 2]];
      }
    }
  }
  const int64_t n = int64_t(Reference->Width()) * Reference->Height();
  for (Integer c = 0; c < 3; ++c) IEMatchChannelHistogram(Bitmap, c, counts[c], n);
}

void IEReorderChannels(TIEBitmap* Bitmap, const AnsiString& Order, const TIEProgressEvent& OnProgress,
                       TObject* Sender) {
  if (!Bitmap || Bitmap->IsEmpty() || Order.size() < 3) return;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  if (pf != ie24RGB && pf != ieRGB48) return;
  // Source channel (0 blue, 1 green, 2 red) of each new channel; -1 zero.
  Integer from[3];
  for (Integer i = 0; i < 3; ++i) {
    switch (std::toupper(static_cast<unsigned char>(Order[size_t(i)]))) {
      case 'B': from[i] = 0; break;
      case 'G': from[i] = 1; break;
      case 'R': from[i] = 2; break;
      case '0': from[i] = -1; break;
      default: return;
    }
  }
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  TIEAccessScope scope(Bitmap, ieaRead | ieaWrite);
  for (Integer y = 0; y < h; ++y) {
    Byte* r = Row(Bitmap, y);
    if (pf == ie24RGB) {
      for (Integer x = 0; x < w; ++x) {
        Byte* p = r + size_t(x) * 3;
        const Byte old[3] = {p[0], p[1], p[2]};
        for (Integer c = 0; c < 3; ++c) p[c] = from[c] < 0 ? 0 : old[from[c]];
      }
    } else {
      Word* row = reinterpret_cast<Word*>(r);
      for (Integer x = 0; x < w; ++x) {
        Word* p = row + size_t(x) * 3;
        const Word old[3] = {p[Rgb48Word(0)], p[Rgb48Word(1)], p[Rgb48Word(2)]};
        for (Integer c = 0; c < 3; ++c) p[Rgb48Word(c)] = from[c] < 0 ? 0 : old[from[c]];
      }
    }
    if (OnProgress) OnProgress(Sender, Integer(Trunc(double(y) / h * 100)));
  }
}

void IEGetOpaqueBounds(TIEBitmap* Bitmap, TRect& Rect) {
  if (!Bitmap) {
    Rect = TRect(0, 0, -1, -1);
    return;
  }
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  Rect = TRect(0, 0, w - 1, h - 1);
  if (!Bitmap->HasAlphaChannel() || Bitmap->IsEmpty()) return;
  TIEBitmap* A = Bitmap->GetAlphaChannel();
  TIEAccessScope scope(A, ieaRead);
  // An alpha channel smaller than its picture is read only where it exists.
  const Integer aw = std::min(w, A->Width()), ah = std::min(h, A->Height());
  Integer left = w, right = -1, top = h, bottom = -1;
  for (Integer y = 0; y < ah; ++y) {
    const Byte* r = Row(A, y);
    Integer first = 0;
    while (first < aw && r[first] == 0) ++first;
    if (first == aw) continue;
    Integer last = aw - 1;
    while (r[last] == 0) --last;
    left = std::min(left, first);
    right = std::max(right, last);
    if (top == h) top = y;
    bottom = y;
  }
  Rect = TRect(left, top, right, bottom);
}
