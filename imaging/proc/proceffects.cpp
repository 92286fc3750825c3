// Distortion and lighting effects: bump map, lens, concentric wave and the
// soft drop shadow built in the alpha channel.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/core/render/iegeom.h"     // IEArcCos, IEArcTan2
#include "imaging/proc/procrows.h"
#include "imaging/proc/ziduzuvproc.h"

namespace {

inline Byte Limit(int64_t v) { return static_cast<Byte>(std::clamp<int64_t>(v, 0, 255)); }

// Rows of a picture copied into memory, read while the picture is rewritten.
struct TRowCopy {
  std::vector<Byte> Data;
  size_t RowBytes = 0;
  TRowCopy(TIEBitmap* B, Integer BytesPerRow) : RowBytes(static_cast<size_t>(BytesPerRow)) {
    Data.resize(RowBytes * static_cast<size_t>(B->Height()));
    for (Integer y = 0; y < B->Height(); ++y)
      std::memcpy(&Data[RowBytes * static_cast<size_t>(y)], B->GetScanline(y), RowBytes);
  }
  const Byte* Row(Integer y) const { return &Data[RowBytes * static_cast<size_t>(y)]; }
};

}  // namespace

// The geometry helpers' arc tangent takes (x, y).
double IEArcSin(double x) { return IEArcTan2(std::sqrt(std::max(0.0, 1 - x * x)), x); }
double IETan(double x) { return std::tan(x); }

void IEBumpMap(TIEBitmap* Bitmap, Integer LightX, Integer LightY, TIEProgressRec& Progress, Integer x1, Integer y1,
               Integer x2, Integer y2, Cardinal Color, Integer SourcePercent, Integer LightHeight,
               Integer LightWidth) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || LightWidth == 0 || LightHeight == 0) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  if (c.x2 <= c.x1 || c.y2 <= c.y1) return;
  static const auto table = [] {
    std::vector<Byte> t(256 * 256);
    for (int i = 0; i < 256; ++i)
      for (int j = 0; j < 256; ++j) {
        const double u = (i - 128) / 128.0, v = (j - 128) / 128.0;
        t[static_cast<size_t>(i) * 256 + j] =
            static_cast<Byte>(Trunc(std::max(0.0, 1 - std::sqrt(u * u + v * v)) * 256) % 256);
      }
    t[128 * 256 + 128] = static_cast<Byte>((t[129 * 256 + 129] + t[127 * 256 + 127]) >> 1);
    return t;
  }();
  const Integer rw = c.x2 - c.x1, rh = c.y2 - c.y1;
  const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
  std::vector<Integer> gray(static_cast<size_t>(rw) * rh);
  for (Integer y = 0; y < rh; ++y) {
    const TRGB* p = static_cast<const TRGB*>(Bitmap->GetScanline(c.y1 + y)) + c.x1;
    for (Integer x = 0; x < rw; ++x) gray[static_cast<size_t>(y) * rw + x] = (p[x].r * wr + p[x].g * wg + p[x].b * wb) / 100;
  }
  auto G = [&](Integer x, Integer y) {
    x = std::clamp(x, 0, rw - 1);
    y = std::clamp(y, 0, rh - 1);
    return gray[static_cast<size_t>(y) * rw + x];
  };
  const double a = SourcePercent / 100.0, k = (100 - SourcePercent) / 100.0;
  const double cb = (Color & 0xFF) / 255.0, cg = ((Color >> 8) & 0xFF) / 255.0, cr = ((Color >> 16) & 0xFF) / 255.0;
  for (Integer y = 0; y < rh; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanline(c.y1 + y)) + c.x1;
    const Integer py = c.y1 + y;
    for (Integer x = 0; x < rw; ++x) {
      const Integer px = c.x1 + x;
      const Integer gx = G(x + 1, y) - G(x - 1, y), gy = G(x, y + 1) - G(x, y - 1);
      const int64_t tx = std::clamp<int64_t>(gx - Trunc(static_cast<double>(px - LightX) / LightWidth * 128) + 128, 0, 255);
      const int64_t ty = std::clamp<int64_t>(gy - Trunc(static_cast<double>(py - LightY) / LightHeight * 128) + 128, 0, 255);
      const double light = table[static_cast<size_t>(tx) * 256 + static_cast<size_t>(ty)] * k;
      p[x].r = Limit(Round(p[x].r * a + light * cr));
      p[x].g = Limit(Round(p[x].g * a + light * cg));
      p[x].b = Limit(Round(p[x].b * a + light * cb));
    }
    if (Progress.fOnProgress)
      Progress.fOnProgress(Progress.Sender, static_cast<Integer>(Trunc((y + 1) * 100.0 / (rh - 1 + 0.5))));
  }
}

void IELensRefract(double& rx, double& ry, double y, double x, double HalfHeight, double HalfWidth,
                   double Refraction) {
  const double r = std::min(HalfHeight, HalfWidth);
  double z = std::sqrt(std::max(0.0, (1 - x * x / (HalfWidth * HalfWidth) - y * y / (HalfHeight * HalfHeight)) * r * r));
  if (Refraction < 0) z = -z;
  auto axis = [&](double v) {
    const double len = std::sqrt(v * v + z * z);
    if (len == 0) return v;
    const double alpha = std::numbers::pi / 2 - IEArcCos(v / len);
    const double beta = IEArcSin(std::sin(alpha) * 1.0 / std::fabs(Refraction));
    return v - IETan(alpha - beta) * z;
  };
  rx = axis(x);
  ry = axis(y);
}

void IELensEffect(TIEBitmap* Bitmap, Integer CentreX, Integer CentreY, TIEProgressRec& Progress, double Refraction,
                  Integer Height, Integer Width) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || !(std::fabs(Refraction) >= 1)) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  if (W == 0 || H == 0) return;
  const Integer left = std::clamp(CentreX - Width / 2, 0, W - 1), right = std::clamp(CentreX + Width / 2, 0, W - 1);
  const Integer top = std::clamp(CentreY - Height / 2, 0, H - 1), bottom = std::clamp(CentreY + Height / 2, 0, H - 1);
  const Integer bw = right - left, bh = bottom - top;
  // A lens without area has no inside to refract (and no radius to divide by).
  if (bw <= 0 || bh <= 0) return;
  TRowCopy copy(Bitmap, 3 * W);
  TIEBitmap box;
  if (!box.Allocate(bw, bh, ie24RGB)) return;
  const double halfW = bw / 2.0, halfH = bh / 2.0;
  for (Integer i = 0; i < bw; ++i) {
    for (Integer j = 0; j < bh; ++j) {
      const double x = i - halfW + 0.5, y = halfH - j - 0.5;
      Integer sx = left + i, sy = top + j;
      if (x * x / (halfW * halfW) + y * y / (halfH * halfH) < 1) {
        double rx, ry;
        IELensRefract(rx, ry, y, x, halfH, halfW, Refraction);
        // The limit applies to the position read, not to the offset alone,
        // so that a lens at the picture's edge never reads beyond it.
        sx = static_cast<Integer>(std::clamp<int64_t>(left + Trunc(halfW + rx), 0, W - 1));
        sy = static_cast<Integer>(std::clamp<int64_t>(top + Trunc(halfH - ry), 0, H - 1));
      }
      const Byte* s = copy.Row(sy) + 3 * static_cast<size_t>(sx);
      Byte* d = static_cast<Byte*>(box.GetScanline(j)) + 3 * static_cast<ptrdiff_t>(i);
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, static_cast<Integer>(Trunc((i + 1) * 100.0 / bw)));
  }
  box.CopyRectTo(Bitmap, 0, 0, left, top, bw, bh);
}

Byte IEBilinearByte(Byte c00, Byte c10, Byte c01, Byte c11, double x, double y) {
  double fx = x - std::trunc(x), fy = y - std::trunc(y);
  if (fx < 0) fx += 1;
  if (fy < 0) fy += 1;
  return Limit(Trunc((1 - fy) * ((1 - fx) * c00 + fx * c10) + fy * ((1 - fx) * c01 + fx * c11)));
}

void IEWaveEffect(TIEBitmap* Bitmap, Integer Amplitude, Integer Wavelength, TIEProgressRec& Progress, bool Reflective,
                  Integer Phase) {
  // Rows are read as 24-bit pixels: any other layout would be read past its ends.
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  if (Amplitude == 0 || Wavelength == 0) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  TRowCopy copy(Bitmap, 3 * W);
  TIEBitmap out;
  if (!out.Allocate(W, H, ie24RGB)) return;
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0, hw = W / 2.0, hh = H / 2.0;
  const double sx = hw < hh ? hh / hw : 1, sy = hw > hh ? hw / hh : 1;
  static const Byte kZero[3] = {0, 0, 0};
  // Row y counts from the bottom.
  auto at = [&](Integer x, Integer y) -> const Byte* {
    if (x < 0 || y < 0 || x >= W || y >= H) return kZero;
    return copy.Row(H - 1 - y) + 3 * static_cast<size_t>(x);
  };
  for (Integer y = 0; y < H; ++y) {
    Byte* d = static_cast<Byte*>(out.GetScanline(H - 1 - y));
    for (Integer x = 0; x < W; ++x) {
      const double mx = (x - cx) * sx, my = (y - cy) * sy;
      const double dist = std::sqrt(mx * mx + my * my);
      const double w = std::sin(dist / (2.0 * Wavelength) * 2 * std::numbers::pi + Phase * std::numbers::pi / 180);
      double fx, fy;
      if (Reflective) {
        const double s = std::fabs(w) * Amplitude;
        fx = cx + mx * s / sx;
        fy = cy + my * s / sy;
      } else {
        const double s = w * Amplitude;
        fx = (s + mx) / sx + cx;
        fy = (s + my) / sy + cy;
      }
      // At least 0 first, so that a one-pixel side gives 0 and not -1.
      const Integer x0 = static_cast<Integer>(std::max<int64_t>(0, std::min<int64_t>(Trunc(fx), W - 2)));
      const Integer y0 = static_cast<Integer>(std::max<int64_t>(0, std::min<int64_t>(Trunc(fy), H - 2)));
      const Byte *c00 = at(x0, y0), *c10 = at(x0 + 1, y0), *c01 = at(x0, y0 + 1), *c11 = at(x0 + 1, y0 + 1);
      for (int ch = 0; ch < 3; ++ch) d[3 * x + ch] = IEBilinearByte(c00[ch], c10[ch], c01[ch], c11[ch], fx, fy);
    }
    if (Progress.fOnProgress) Progress.fOnProgress(Progress.Sender, static_cast<Integer>(Trunc(y * 100.0 / H)));
  }
  Bitmap->AssignImage(&out);
}

void IEAddSoftShadow(TIEBitmap* Bitmap, Integer OffsetX, Integer OffsetY, TObject* Sender,
                     const TIEProgressEvent& OnProgress, Cardinal ShadowColor, bool Enlarge, Integer Intensity,
                     double Radius) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  Bitmap->GetAlphaChannel()->SetFull(false);
  if (Enlarge) {
    const int64_t g = std::max<int64_t>(
        2 * static_cast<int64_t>(std::max(std::abs(OffsetX), std::abs(OffsetY))) + Trunc(Radius * 5), 1);
    Bitmap->ResizeCanvas(static_cast<Integer>(Bitmap->Width() + g), static_cast<Integer>(Bitmap->Height() + g), 0, 0,
                         1, 1);
  }
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  TRowCopy original(alpha, W);
  IEGaussianBlur(alpha, Sender, OnProgress, Radius);
  if (OffsetX != 0 || OffsetY != 0) alpha->MoveRect(0, 0, W - 1, H - 1, OffsetX, OffsetY, 0);
  const Integer e = std::clamp(Intensity, 0, 100);
  const double g = 3 - 2.0 * e / 100;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  const Byte shadow[3] = {Byte(ShadowColor), Byte(ShadowColor >> 8), Byte(ShadowColor >> 16)};
  for (Integer y = 0; y < H; ++y) {
    const Byte* o = original.Row(y);
    Byte* s = static_cast<Byte*>(alpha->MapRow(y));
    Byte* p = static_cast<Byte*>(Bitmap->MapRow(y));
    for (Integer x = 0; x < W; ++x) {
      const Byte ov = o[x], sv = s[x];
      if (pf == ie1g) {
        if (ov != 0 || ov == sv) {
          s[x] = ov;
        } else {
          p[x >> 3] &= static_cast<Byte>(~(0x80 >> (x & 7)));
          if (g != 1) s[x] = static_cast<Byte>(Trunc(sv / g));
        }
      } else if (pf == ie24RGB) {
        Byte* c = p + 3 * static_cast<ptrdiff_t>(x);
        if (ov != 0 || ov == sv) {
          if (ov > 0 && ov < 255) {
            const double m = sv / 255.0, v = ov / 255.0;
            for (int ch = 0; ch < 3; ++ch) {
              const double before = c[ch];
              const double mixed = static_cast<double>(Trunc(shadow[ch] * m + (1 - m) * before));
              c[ch] = Limit(Trunc(v * before + (1 - v) * mixed));
            }
            s[x] = Limit(Trunc((v + m * (1 - v)) * 255));
          } else {
            s[x] = ov;
          }
        } else {
          c[0] = shadow[0];
          c[1] = shadow[1];
          c[2] = shadow[2];
          if (g != 1) s[x] = static_cast<Byte>(Trunc(sv / g));
        }
      }
    }
    alpha->UnmapRow(y);
    Bitmap->UnmapRow(y);
  }
  alpha->SetFull(false);
}
