#include "imaging/core/color/ieconvert.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/iequantizer.h"

namespace {

// What a row routine reads besides the two rows.
struct TRowContext {
  TRGB Palette[256];  // the source palette, zero past its length
  Integer Wr = 21, Wg = 71, Wb = 8;
  // ie16g to colour through a display range: the byte of every 16-bit value.
  const Byte* DisplayLut = nullptr;
};

using TRowFn = void (*)(const Byte* s, Byte* d, Integer w, const TRowContext& c);

// Rows of 16-bit and float formats are not always aligned to their sample
// size (8-bit row alignment gives odd row lengths): samples go through
// memcpy, which the compiler turns into plain moves.
inline Word LoadW(const Byte* p) {
  Word v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void StoreW(Byte* p, Word v) { std::memcpy(p, &v, 2); }
inline float LoadF(const Byte* p) {
  float v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StoreF(Byte* p, float v) { std::memcpy(p, &v, 4); }

inline bool Bit(const Byte* s, Integer x) { return (s[x >> 3] & (0x80 >> (x & 7))) != 0; }

inline Byte Gray8(const TRowContext& c, Integer r, Integer g, Integer b) {
  return static_cast<Byte>((r * c.Wr + g * c.Wg + b * c.Wb) / 100);
}
// 8-bit channels widened by 257 and weighted 0.212, 0.713, 0.075.
inline Word Gray16Of8(Integer r, Integer g, Integer b) {
  return static_cast<Word>((r * 54484 + g * 183241 + b * 19275) / 1000);
}
inline Word Gray16Of16(Integer r, Integer g, Integer b) {
  return static_cast<Word>((r * 212 + g * 713 + b * 75) / 1000);
}
inline float GrayFloatOf8(Integer r, Integer g, Integer b) {
  return static_cast<float>((r * 0.2126 + g * 0.7152 + b * 0.0722) / 255);
}

// Float samples outside 0..1 (HDR, float TIFF) are clamped and NaN counts as
// black, instead of wrapping through the low bits of the product.
inline double Unit(float v) { return v > 0.0f ? (v < 1.0f ? static_cast<double>(v) : 1.0) : 0.0; }
inline Byte FloatTo8(float v) { return static_cast<Byte>(static_cast<int>(Unit(v) * 255.0)); }
inline Word FloatTo16(float v) { return static_cast<Word>(static_cast<int>(Unit(v) * 65535.0)); }

inline void Put3(Byte* d, Byte b, Byte g, Byte r) {
  d[0] = b;
  d[1] = g;
  d[2] = r;
}
inline void Put4(Byte* d, Byte b, Byte g, Byte r) {
  d[0] = b;
  d[1] = g;
  d[2] = r;
  d[3] = 255;
}
inline void Put48(Byte* d, Word r, Word g, Word b) {
  StoreW(d, r);
  StoreW(d + 2, g);
  StoreW(d + 4, b);
}

// ---------------------------------------------------------------------------
// Row routines, one per pair that the table converts directly.

TRowFn DirectRow(TIEPixelFormat sp, TIEPixelFormat dp) {
  switch (sp) {
    case ie1g:
      switch (dp) {
        case ie8p:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) d[x] = Bit(s, x) ? 1 : 0;
          };
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) d[x] = Bit(s, x) ? 255 : 0;
          };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreW(d + 2 * x, Bit(s, x) ? 65535 : 0);
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Byte v = Bit(s, x) ? 255 : 0;
              Put3(d + 3 * x, v, v, v);
            }
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreF(d + 4 * x, Bit(s, x) ? 1.0f : 0.0f);
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Word v = Bit(s, x) ? 65535 : 0;
              Put48(d + 6 * x, v, v, v);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Byte v = Bit(s, x) ? 255 : 0;
              Put4(d + 4 * x, v, v, v);
            }
          };
        default:
          return nullptr;
      }
    case ie8p:
      switch (dp) {
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              d[x] = Gray8(c, p.r, p.g, p.b);
            }
          };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              StoreW(d + 2 * x, Gray16Of8(p.r, p.g, p.b));
            }
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              Put3(d + 3 * x, p.b, p.g, p.r);
            }
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              StoreF(d + 4 * x, GrayFloatOf8(p.r, p.g, p.b));
            }
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              Put48(d + 6 * x, Word(p.r * 257), Word(p.g * 257), Word(p.b * 257));
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x) {
              const TRGB& p = c.Palette[s[x]];
              Put4(d + 4 * x, p.b, p.g, p.r);
            }
          };
        default:
          return nullptr;
      }
    case ie8g:
      switch (dp) {
        case ie8p:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) { std::memcpy(d, s, size_t(w)); };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreW(d + 2 * x, Word(s[x] * 257));
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) Put3(d + 3 * x, s[x], s[x], s[x]);
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreF(d + 4 * x, static_cast<float>(s[x] / 255.0));
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Word v = Word(s[x] * 257);
              Put48(d + 6 * x, v, v, v);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) Put4(d + 4 * x, s[x], s[x], s[x]);
          };
        default:
          return nullptr;
      }
    case ie16g:
      switch (dp) {
        case ie8p:
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) d[x] = Byte(LoadW(s + 2 * x) >> 8);
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            if (c.DisplayLut) {
              for (Integer x = 0; x < w; ++x) {
                Byte v = c.DisplayLut[LoadW(s + 2 * x)];
                Put3(d + 3 * x, v, v, v);
              }
            } else {
              for (Integer x = 0; x < w; ++x) {
                Byte v = Byte(LoadW(s + 2 * x) >> 8);
                Put3(d + 3 * x, v, v, v);
              }
            }
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreF(d + 4 * x, static_cast<float>(LoadW(s + 2 * x) / 65535.0));
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Word v = LoadW(s + 2 * x);
              Put48(d + 6 * x, v, v, v);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Byte v = Byte(LoadW(s + 2 * x) >> 8);
              Put4(d + 4 * x, v, v, v);
            }
          };
        default:
          return nullptr;
      }
    case ie24RGB:
      switch (dp) {
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            const Integer wr = c.Wr, wg = c.Wg, wb = c.Wb;
            for (Integer x = 0; x < w; ++x, s += 3) d[x] = static_cast<Byte>((s[2] * wr + s[1] * wg + s[0] * wb) / 100);
          };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) StoreW(d + 2 * x, Gray16Of8(s[2], s[1], s[0]));
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) StoreF(d + 4 * x, GrayFloatOf8(s[2], s[1], s[0]));
          };
        case ieCMYK:
          // Whole rows, so that the global profiles run once per row.
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            IEConvertColorFormat(s, iecfBGR, d, iecfCMYK, w, nullptr);
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) Put48(d + 6 * x, Word(s[2] * 257), Word(s[1] * 257), Word(s[0] * 257));
          };
        case ieCIELab:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) {
              TCIELab l = IERGBToCIELab(TRGB{s[0], s[1], s[2]});
              std::memcpy(d + 3 * x, &l, 3);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) Put4(d + 4 * x, s[0], s[1], s[2]);
          };
        default:
          return nullptr;
      }
    case ie32f:
      switch (dp) {
        case ie8p:
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) d[x] = FloatTo8(LoadF(s + 4 * x));
          };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) StoreW(d + 2 * x, FloatTo16(LoadF(s + 4 * x)));
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Byte v = FloatTo8(LoadF(s + 4 * x));
              Put3(d + 3 * x, v, v, v);
            }
          };
        case ieRGB48:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Word v = FloatTo16(LoadF(s + 4 * x));
              Put48(d + 6 * x, v, v, v);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x) {
              Byte v = FloatTo8(LoadF(s + 4 * x));
              Put4(d + 4 * x, v, v, v);
            }
          };
        default:
          return nullptr;
      }
    case ieCMYK:
      switch (dp) {
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            IEConvertColorFormat(s, iecfCMYK, d, iecfBGR, w, nullptr);
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            // The row as 3-byte colour at the start of the 4-byte row, then
            // widened from the last pixel back, so no pixel is overwritten
            // before it is read.
            IEConvertColorFormat(s, iecfCMYK, d, iecfBGR, w, nullptr);
            for (Integer x = w - 1; x >= 0; --x) {
              const Byte* p = d + 3 * x;
              Put4(d + 4 * x, p[0], p[1], p[2]);
            }
          };
        default:
          return nullptr;
      }
    case ieRGB48:
      switch (dp) {
        case ie8g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext& c) {
            for (Integer x = 0; x < w; ++x, s += 6) d[x] = Gray8(c, s[1], s[3], s[5]);
          };
        case ie16g:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 6) StoreW(d + 2 * x, Gray16Of16(LoadW(s), LoadW(s + 2), LoadW(s + 4)));
          };
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 6) Put3(d + 3 * x, s[5], s[3], s[1]);
          };
        case ie32f:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 6) {
              double r = LoadW(s), g = LoadW(s + 2), b = LoadW(s + 4);
              StoreF(d + 4 * x, static_cast<float>((r * 0.2126 / 256 + g * 0.7152 / 256 + b * 0.0722 / 256) / 255));
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 6) Put4(d + 4 * x, s[5], s[3], s[1]);
          };
        default:
          return nullptr;
      }
    case ieCIELab:
      switch (dp) {
        case ie24RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) {
              TRGB p = IECIELabToRGB(TCIELab{s[0], static_cast<int8_t>(s[1]), static_cast<int8_t>(s[2])});
              Put3(d + 3 * x, p.b, p.g, p.r);
            }
          };
        case ie32RGB:
          return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
            for (Integer x = 0; x < w; ++x, s += 3) {
              TRGB p = IECIELabToRGB(TCIELab{s[0], static_cast<int8_t>(s[1]), static_cast<int8_t>(s[2])});
              Put4(d + 4 * x, p.b, p.g, p.r);
            }
          };
        default:
          return nullptr;
      }
    case ie32RGB:
      if (dp == ie24RGB)
        return [](const Byte* s, Byte* d, Integer w, const TRowContext&) {
          for (Integer x = 0; x < w; ++x, s += 4) Put3(d + 3 * x, s[0], s[1], s[2]);
        };
      return nullptr;
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------------------
// Whole pictures

// The context of a row routine that writes into Target (whose display range
// applies) from Source (whose palette is read).
struct TContextStore {
  TRowContext Ctx;
  std::vector<Byte> Lut;
};

// Only the grey weights: enough for every source but ie8p and ie16g.
void BasicContext(TRowContext& c) {
  std::memset(c.Palette, 0, sizeof(c.Palette));
  c.Wr = IEGrayWeightRed;
  c.Wg = IEGrayWeightGreen;
  c.Wb = IEGrayWeightBlue;
  c.DisplayLut = nullptr;
}

void BuildContext(TIEBitmap& Source, const TIEBitmap& Target, TContextStore& Store) {
  TRowContext& c = Store.Ctx;
  BasicContext(c);
  if (const TRGB* pal = Source.GetPaletteBuffer())
    std::memcpy(c.Palette, pal, sizeof(TRGB) * static_cast<size_t>(std::clamp(Source.GetPaletteLength(), 0, 256)));
  double d = Target.DisplayHigh() - Target.DisplayLow();
  if (Source.PixelFormat() == ie16g && d != 0) {
    // One byte per 16-bit value: the rule costs a division per pixel.
    int64_t lo = Trunc(Target.DisplayLow()), hi = Trunc(Target.DisplayHigh());
    Store.Lut.resize(65536);
    for (int64_t v = 0; v < 65536; ++v) {
      int64_t x = v < lo ? lo : v;
      if (x > hi) x = hi;
      int64_t t = Trunc((static_cast<double>(x) - static_cast<double>(lo)) / d * 255.0);
      // A reversed or fractional range would leave 0..255; keep to the byte.
      Store.Lut[static_cast<size_t>(v)] = static_cast<Byte>(t < 0 ? 0 : (t > 255 ? 255 : t));
    }
    c.DisplayLut = Store.Lut.data();
  }
}

void RunRows(TIEBitmap& S, TIEBitmap& D, TRowFn f, const TRowContext& c) {
  TIEAccessScope sa(S, ieaRead), da(D, ieaWrite);
  const Integer w = S.Width(), h = S.Height();
  for (Integer y = 0; y < h; ++y)
    f(static_cast<const Byte*>(S.GetScanline(y)), static_cast<Byte*>(D.GetScanline(y)), w, c);
}

// Two routines through one ie24RGB row.
void RunRowsVia(TIEBitmap& S, TIEBitmap& D, TRowFn f1, const TRowContext& c1, TRowFn f2, const TRowContext& c2) {
  TIEAccessScope sa(S, ieaRead), da(D, ieaWrite);
  const Integer w = S.Width(), h = S.Height();
  std::vector<Byte> row(static_cast<size_t>(w) * 3 + 4);
  for (Integer y = 0; y < h; ++y) {
    f1(static_cast<const Byte*>(S.GetScanline(y)), row.data(), w, c1);
    f2(row.data(), static_cast<Byte*>(D.GetScanline(y)), w, c2);
  }
}

void CopySameFormat(TIEBitmap& S, TIEBitmap& D) {
  TIEAccessScope sa(S, ieaRead), da(D, ieaWrite);
  const size_t bytes = std::min<size_t>(
      {(static_cast<size_t>(S.Width()) * S.BitCount() + 7) / 8, size_t(S.RowLen()), size_t(D.RowLen())});
  for (Integer y = 0; y < S.Height(); ++y) std::memcpy(D.GetScanline(y), S.GetScanline(y), bytes);
  TRGB* dp = D.GetPaletteBuffer();
  const TRGB* sp = S.GetPaletteBuffer();
  if (dp && sp) std::memcpy(dp, sp, sizeof(TRGB) * size_t(std::min(S.GetPaletteLength(), D.GetPaletteLength())));
}

void SetGrayRamp(TIEBitmap& D) {
  TRGB* p = D.GetPaletteBuffer();
  for (Integer i = 0; i < std::min(D.GetPaletteLength(), 256); ++i) p[i] = TRGB{Byte(i), Byte(i), Byte(i)};
}

// A temporary ie24RGB copy of Source, converted as Source itself would be
// (its own display range).
bool MakeRGBCopy(TIEBitmap& Source, TIEBitmap& Copy) {
  Copy.SetDisplayLow(Source.DisplayLow());
  Copy.SetDisplayHigh(Source.DisplayHigh());
  if (!Copy.Allocate(Source.Width(), Source.Height(), ie24RGB)) return false;
  return IEConvertPixels(Source, Copy);
}

// Black and white by the target's BlackWhiteMethod.
bool ToBlackWhite(TIEBitmap& S, TIEBitmap& D) {
  switch (D.BlackWhiteMethod()) {
    case 0: {
      // Ordered dither of each pixel's colour: its grey level in 0..63, or 64
      // for near white so that white areas get no black dots. Every source
      // reaches the colour through its ie24RGB row rule (with its own
      // display range), which gives each format's grey scaling.
      TRowFn toRGB = S.PixelFormat() == ie24RGB ? nullptr : DirectRow(S.PixelFormat(), ie24RGB);
      if (S.PixelFormat() != ie24RGB && !toRGB) return false;
      TContextStore store;
      BuildContext(S, S, store);
      TIEAccessScope sa(S, ieaRead), da(D, ieaWrite);
      const Integer w = S.Width(), h = S.Height();
      std::vector<TRGB> rgb(toRGB ? size_t(w) : 0);
      std::vector<Byte> levels(static_cast<size_t>(w));
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(S.GetScanline(y));
        if (toRGB) {
          toRGB(s, reinterpret_cast<Byte*>(rgb.data()), w, store.Ctx);
          s = reinterpret_cast<const Byte*>(rgb.data());
        }
        const TRGB* px = reinterpret_cast<const TRGB*>(s);
        for (Integer x = 0; x < w; ++x) levels[size_t(x)] = Byte(IEDitherLevel(px[x]));
        IEDitherRow(levels.data(), static_cast<Byte*>(D.GetScanline(y)), w, y);
      }
      return true;
    }
    case 1:
      // The grey level of the average colour as threshold.
      IEThresholdToBitmap(&S, &D, -1);
      return true;
    default:
      return true;  // any other method leaves the rows as allocated
  }
}

// A colour picture into ie8p: a quantizer for PaletteUsed colours on the
// ie24RGB picture (a temporary copy for the other colour formats) gives the
// whole 256-entry colour map as palette and each pixel's index.
bool ToQuantized(TIEBitmap& S, TIEBitmap& D) {
  TIEBitmap copy;
  TIEBitmap* rgb = &S;
  if (S.PixelFormat() != ie24RGB) {
    if (!MakeRGBCopy(S, copy)) return false;
    rgb = &copy;
  }
  TRGB map[256] = {};
  TIEQuantizer q(rgb, map, std::clamp(D.PaletteUsed(), 1, 256));
  std::memcpy(D.GetPaletteBuffer(), map, sizeof(map));
  TIEAccessScope sa(*rgb, ieaRead), da(D, ieaWrite);
  for (Integer y = 0; y < rgb->Height(); ++y)
    q.RGBIndexRow(static_cast<const TRGB*>(rgb->GetScanline(y)), static_cast<Byte*>(D.GetScanline(y)), rgb->Width());
  return true;
}

bool ConvertPixels(TIEBitmap& S, TIEBitmap& D) {
  const TIEPixelFormat sp = S.PixelFormat(), dp = D.PixelFormat();
  if (sp == ieNone || S.IsEmpty()) return true;
  if (sp == dp) {
    CopySameFormat(S, D);
    return true;
  }
  if (dp == ie1g) return ToBlackWhite(S, D);
  if (dp == ie8p && sp != ie1g && sp != ie8g && sp != ie16g && sp != ie32f) return ToQuantized(S, D);

  if (dp == ie8p) {
    if (sp == ie1g) {
      TRGB* p = D.GetPaletteBuffer();
      p[0] = TRGB{0, 0, 0};
      p[1] = TRGB{255, 255, 255};
    } else {
      SetGrayRamp(D);
    }
  }
  TContextStore store;
  if (TRowFn f = DirectRow(sp, dp)) {
    BuildContext(S, D, store);
    RunRows(S, D, f, store.Ctx);
    return true;
  }
  TRowFn f1 = DirectRow(sp, ie24RGB), f2 = DirectRow(ie24RGB, dp);
  if (!f1 || !f2) return false;
  // The first step is the conversion of Source to ie24RGB, with Source's own
  // attributes; the second reads no palette.
  TRowContext second;
  BasicContext(second);
  BuildContext(S, S, store);
  RunRowsVia(S, D, f1, store.Ctx, f2, second);
  return true;
}

}  // namespace

bool IEConvertPixels(TIEBitmap& Source, TIEBitmap& Dest) {
  if (&Source == &Dest || Source.Width() != Dest.Width() || Source.Height() != Dest.Height()) return false;
  try {
    return ConvertPixels(Source, Dest);
  } catch (...) {
    // A row of a file-backed picture that cannot be read or written back.
    return false;
  }
}

// ---------------------------------------------------------------------------
// The container's side

void TIEBitmap::CopyAndConvertFormat(TIEBitmap* Source) {
  if (!Source || Source == this || FLocation == ieTBitmap) return;
  if (Source->FWidth != FWidth || Source->FHeight != FHeight) return;
  IEConvertPixels(*Source, *this);
  if (Source->FAlphaChannel && !FIsAlphaChannel) GetAlphaChannel()->Assign(Source->FAlphaChannel);
}

bool TIEBitmap::ConvertToPixelFormat(TIEPixelFormat PixelFormat) {
  if (FLocation == ieTBitmap) return ConvertTBitmapToPixelFormat(PixelFormat);
  if (PixelFormat == FPixelFormat) return true;
  if (IsEmpty() || FPixelFormat == ieNone) {
    FreeImage(true);
    FPixelFormat = PixelFormat;
    FNeedsAllocation = true;
    return true;
  }
  // The new pixels are made beside the old ones and take their place only
  // when everything worked: a failed allocation leaves the picture as it was.
  TIEBitmap target;
  target.FLocation = FLocation;
  target.FMemoryThreshold = FMemoryThreshold;
  target.FRowAlignment = FRowAlignment;
  target.FAllocator = FAllocator;
  target.FBlackWhiteMethod = FBlackWhiteMethod;
  target.FPaletteUsed = FPaletteUsed;
  target.FDisplayLow = FDisplayLow;
  target.FDisplayHigh = FDisplayHigh;
  if (!target.Allocate(FWidth, FHeight, PixelFormat)) return false;
  if (!IEConvertPixels(*this, target)) return false;
  // The alpha channel stays as it is: same size, same values.
  TIEBitmap* alpha = FAlphaChannel;
  FAlphaChannel = nullptr;
  bool isAlpha = FIsAlphaChannel;
  target.MoveStorageTo(this);
  FAlphaChannel = alpha;
  FIsAlphaChannel = isAlpha;
  return true;
}
