#include "imaging/core/color/iecolorformat.h"

#include <cmath>
#include <cstring>

#include "imaging/core/color/ieicc.h"

namespace {

inline double Linearise(double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); }

inline double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

inline double LabFInverse(double f) {
  double f3 = f * f * f;
  return f3 > 0.008856 ? f3 : (f - 0.13793103448) / 7.787;
}

inline Byte GammaByte(double c) {
  c = c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 0.41666666667) - 0.055;
  // NaN cannot arise from byte inputs; the comparison order sends it to 0.
  double v = c * 255.0;
  if (!(v > 0.0)) return 0;
  if (v >= 255.0) return 255;
  return static_cast<Byte>(Round(v));
}

inline int8_t SignedByte(double v) {
  int64_t t = Trunc(v);
  return static_cast<int8_t>(t < -128 ? -128 : (t > 127 ? 127 : t));
}

inline Byte ClampTrunc(double v) {
  int64_t t = Trunc(v);
  return static_cast<Byte>(t < 0 ? 0 : (t > 255 ? 255 : t));
}

// Truncation of a CIELab channel. The double sums fall a hair short of whole
// values they stand for (white's Y is 1 less 1e-16, L 254.99999...), which
// truncation would turn into a whole level lost; 1e-9 away from zero is far
// below any real difference between two byte colours.
inline double LabEdge(double v) { return v + (v >= 0 ? 1e-9 : -1e-9); }

// The formulas behind the CMYK conversions, for when the global profiles do
// not apply. The row converter calls them directly once the profiles have
// declined the whole row, instead of asking again for every pixel.
inline TRGB FormulaCMYKToRGB(const TCMYK& CMYK) {
  const unsigned k = CMYK.k;
  return TRGB{static_cast<Byte>(CMYK.y * k / 255), static_cast<Byte>(CMYK.m * k / 255),
              static_cast<Byte>(CMYK.c * k / 255)};
}

inline TCMYK FormulaRGBToCMYK(const TRGB& BGR) {
  unsigned k = BGR.r;
  if (BGR.g > k) k = BGR.g;
  if (BGR.b > k) k = BGR.b;
  if (k == 0) k = 1;
  return TCMYK{static_cast<Byte>(BGR.r * 255u / k), static_cast<Byte>(BGR.g * 255u / k),
               static_cast<Byte>(BGR.b * 255u / k), static_cast<Byte>(k)};
}

}  // namespace

void IEConvertCMYKToRGB(const TCMYK& CMYK, TRGB& BGR) {
  if (IEProfileCMYKToRGB(&CMYK, iecfCMYK, &BGR, 1)) return;
  BGR = FormulaCMYKToRGB(CMYK);
}

TCMYK IEConvertRGBToCMYK(const TRGB& BGR) {
  if (TCMYK c; IEProfileRGBToCMYK(&BGR, &c, 1)) return c;
  return FormulaRGBToCMYK(BGR);
}

TCIELab IERGBToCIELab(const TRGB& BGR) {
  double r = Linearise(BGR.r / 255.0), g = Linearise(BGR.g / 255.0), b = Linearise(BGR.b / 255.0);
  double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) / 0.95047;
  double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
  double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088883;
  double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  double l = y > 0.008856 ? 116.0 * fy - 16.0 : 903.3 * y;
  return TCIELab{ClampTrunc(LabEdge(l * 2.55)), SignedByte(LabEdge(500.0 * (fx - fy))),
                 SignedByte(LabEdge(200.0 * (fy - fz)))};
}

TRGB IECIELabToRGB(const TCIELab& Lab) {
  double l = Lab.l * 0.39215686275;
  double fy = (l + 16.0) / 116.0;
  double fx = fy + Lab.a / 500.0;
  double fz = fy - Lab.b / 200.0;
  double x = LabFInverse(fx) * 0.95047, y = LabFInverse(fy), z = LabFInverse(fz) * 1.08883;
  double r = 3.2406 * x - 1.5372 * y - 0.4986 * z;
  double g = -0.9689 * x + 1.8758 * y + 0.0415 * z;
  double b = 0.0557 * x - 0.204 * y + 1.057 * z;
  return TRGB{GammaByte(b), GammaByte(g), GammaByte(r)};
}

void IEYCbCrToRGB(TRGB& BGR, Integer Y, Integer Cb, Integer Cr) {
  double cb = Cb - 128.0, cr = Cr - 128.0;
  BGR.r = ClampTrunc(Y + 1.402 * cr);
  BGR.g = ClampTrunc(Y - 0.34414 * cb - 0.71414 * cr);
  BGR.b = ClampTrunc(Y + 1.772 * cb);
}

void IEConvertColorFormat(const void* Source, Integer SourceLayout, void* Target, Integer TargetLayout,
                          Integer Count, TIEColorProfiles* Params) {
  if (!Source || !Target || Count <= 0) return;
  if (IEConvertColorFormatCMS(Source, SourceLayout, Target, TargetLayout, Count, Params)) return;
  const auto* s = static_cast<const Byte*>(Source);
  auto* d = static_cast<Byte*>(Target);
  if (TargetLayout == iecfBGR) {
    switch (SourceLayout) {
      case iecfRGB:
        // Byte by byte through locals, so that a conversion in place works.
        for (Integer i = 0; i < Count; ++i, s += 3, d += 3) {
          Byte r = s[0], g = s[1], b = s[2];
          d[0] = b;
          d[1] = g;
          d[2] = r;
        }
        return;
      case iecfBGR:
        std::memmove(d, s, static_cast<size_t>(Count) * 3);
        return;
      case iecfCMYK:
        for (Integer i = 0; i < Count; ++i, s += 4, d += 3) {
          *reinterpret_cast<TRGB*>(d) = FormulaCMYKToRGB(TCMYK{s[0], s[1], s[2], s[3]});
        }
        return;
      case iecfCMYKInk:
        for (Integer i = 0; i < Count; ++i, s += 6, d += 3) {
          TCMYK c{Byte(255 - s[0]), Byte(255 - s[1]), Byte(255 - s[2]), Byte(255 - s[3])};
          *reinterpret_cast<TRGB*>(d) = FormulaCMYKToRGB(c);
        }
        return;
      case iecfCIELab:
        for (Integer i = 0; i < Count; ++i, s += 3, d += 3) {
          TCIELab lab{s[0], static_cast<int8_t>(s[1]), static_cast<int8_t>(s[2])};
          *reinterpret_cast<TRGB*>(d) = IECIELabToRGB(lab);
        }
        return;
      case iecfRGB48:
        // Little-endian words: the high byte is the second of each pair.
        for (Integer i = 0; i < Count; ++i, s += 6, d += 3) {
          d[0] = s[5];
          d[1] = s[3];
          d[2] = s[1];
        }
        return;
      case iecfRGB48BE:
        for (Integer i = 0; i < Count; ++i, s += 6, d += 3) {
          d[0] = s[4];
          d[1] = s[2];
          d[2] = s[0];
        }
        return;
      case iecfYCbCr:
        for (Integer i = 0; i < Count; ++i, s += 3, d += 3) IEYCbCrToRGB(*reinterpret_cast<TRGB*>(d), s[0], s[1], s[2]);
        return;
      default:
        return;
    }
  }
  if (SourceLayout != iecfBGR) return;
  switch (TargetLayout) {
    case iecfCMYK:
      for (Integer i = 0; i < Count; ++i, s += 3, d += 4) {
        TCMYK c = FormulaRGBToCMYK(TRGB{s[0], s[1], s[2]});
        std::memcpy(d, &c, 4);
      }
      return;
    case iecfCIELab:
      for (Integer i = 0; i < Count; ++i, s += 3, d += 3) {
        TCIELab lab = IERGBToCIELab(TRGB{s[0], s[1], s[2]});
        std::memcpy(d, &lab, 3);
      }
      return;
    case iecfGray: {
      const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
      for (Integer i = 0; i < Count; ++i, s += 3, ++d) *d = static_cast<Byte>((s[2] * wr + s[1] * wg + s[0] * wb) / 100);
      return;
    }
    default:
      return;
  }
}
