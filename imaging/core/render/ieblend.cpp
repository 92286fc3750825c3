#include "imaging/core/render/ieblend.h"

#include <array>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

inline Integer Clamp255(Integer v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Operation 16 in floating point, per the soft-light formula.
Integer SoftLight(Integer s, Integer d) {
  const double a = s / 255.0, b = d / 255.0;
  double x;
  if (a >= 0.5)
    x = std::sqrt(b) * (2 * a - 1) + 2 * b * (1 - a);
  else
    x = b * b * (1 - 2 * a) + 2 * a * b;
  return Clamp255(static_cast<Integer>(Trunc(x * 255)));
}

Integer Channel(Integer s, Integer d, Integer op) {
  switch (op) {
    case 0: return s;
    case 1: return Clamp255(d + s);
    case 2: return std::abs(d - s);
    case 3: return Clamp255(d / (s > 1 ? s : 1));
    case 4: return (s * d) >> 8;
    case 5: return d | s;
    case 6: return d & s;
    case 7: return d ^ s;
    case 8: return d > s ? d : s;
    case 9: return d < s ? d : s;
    case 10: return (d + s) >> 1;
    case 11: return 255 - (((255 - d) * (255 - s)) >> 8);
    case 12: return 255 - std::abs(255 - s - d);
    case 13: return (d + s - (s * d) / 128) & 0xFF;
    case 14: return d < 128 ? (s * d) >> 7 : 255 - (((255 - s) * (255 - d)) >> 7);
    case 15: return s < 128 ? (s * d) >> 7 : 255 - (((255 - s) * (255 - d)) >> 7);
    case 16: return SoftLight(s, d);
    case 17: {
      const Integer m = (s * d) >> 8;
      const Integer c = 255 - (((255 - d) * (255 - s)) >> 8) - m;
      return m + ((d * c) >> 8);
    }
    case 18: return s == 255 ? 255 : IEMin(255, (d * 256) / (255 - s));
    case 19: return s == 0 ? 0 : IEMax(0, 255 - ((255 - d) << 8) / s);
    case 20: return d == 255 ? 255 : IEMin(255, (s * 256) / (255 - d));
    case 21: return d == 0 ? 0 : IEMax(0, 255 - ((255 - s) << 8) / d);
    case 22:
      if (s + d < 256) return s == 255 ? 255 : IEMin(255, (d * 128) / (255 - s));
      return IEMax(0, 255 - ((255 - s) << 7) / d);
    case 23:
      if (s + d < 256) return d == 255 ? 255 : IEMin(255, (s * 128) / (255 - d));
      return IEMax(0, 255 - ((255 - d) << 7) / s);
    case 24: return s == 255 ? 255 : IEMin(255, d * d / (255 - s));
    case 25: return d == 255 ? 255 : IEMin(255, s * s / (255 - d));
    case 26: return s == 0 ? 0 : IEMax(0, 255 - (255 - d) * (255 - d) / s);
    case 27: return d == 0 ? 0 : IEMax(0, 255 - (255 - s) * (255 - s) / d);
    case 28: return Clamp255(d + s - 256);
    case 29: {
      const Byte* t = IEBlendCosineCurve();
      return IEMin(255, t[s] + t[d]);
    }
    case 30: return Clamp255(d + 2 * s - 256);
    default: return d;
  }
}

// The tables of the per-channel operations, each built once on first use.
struct TBlendTables {
  std::once_flag Once[31];
  std::unique_ptr<Byte[]> Table[31];
};

TBlendTables& Tables() {
  static TBlendTables t;
  return t;
}

}  // namespace

const Byte* IEBlendCosineCurve() {
  static const std::array<Byte, 256> curve = [] {
    std::array<Byte, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<Byte>(Round(64 - 64 * std::cos(i * M_PI / 255)));
    return t;
  }();
  return curve.data();
}

Byte IEBlendChannel(Byte s, Byte d, Byte Operation) {
  if (Operation < 1 || Operation > 30) return d;
  return static_cast<Byte>(Channel(s, d, Operation));
}

const Byte* IEBlendChannelTable(Byte Operation) {
  if (Operation < 1 || Operation > 30) return nullptr;
  TBlendTables& t = Tables();
  std::call_once(t.Once[Operation], [&] {
    std::unique_ptr<Byte[]> table(new Byte[65536]);
    for (Integer s = 0; s < 256; ++s)
      for (Integer d = 0; d < 256; ++d) table[(s << 8) | d] = static_cast<Byte>(Channel(s, d, Operation));
    t.Table[Operation] = std::move(table);
  });
  return t.Table[Operation].get();
}

void IEBlendRGB(const TRGB& Src, TRGB& Dst, Byte Operation) {
  if (Operation == 0) {
    Dst = Src;
    return;
  }
  if (Operation <= 30) {
    const Byte* t = IEBlendChannelTable(Operation);
    Dst.b = t[(Src.b << 8) | Dst.b];
    Dst.g = t[(Src.g << 8) | Dst.g];
    Dst.r = t[(Src.r << 8) | Dst.r];
    return;
  }
  switch (Operation) {
    case 31: Dst.r = Src.r; return;
    case 32: Dst.g = Src.g; return;
    case 33: Dst.b = Src.b; return;
    case 34:
    case 35:
    case 36:
    case 37: {
      double sh, ss, sl, dh, ds, dl;
      IERGBToHSL(sh, ss, sl, Src);
      IERGBToHSL(dh, ds, dl, Dst);
      switch (Operation) {
        case 34: IEHSLToRGB(Dst, sh, ds, dl); break;
        case 35: IEHSLToRGB(Dst, dh, ss, dl); break;
        case 36: IEHSLToRGB(Dst, sh, ss, dl); break;
        default: IEHSLToRGB(Dst, sh, ds, sl); break;
      }
      return;
    }
    default: return;
  }
}
