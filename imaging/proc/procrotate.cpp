// Rotation of the picture and its alpha channel by any angle: nearest-pixel
// mapping for every format, three shears for 24-bit and one-byte pictures,
// and bilinear or bicubic mapping of 24-bit pictures. The alpha channel is
// turned by the same geometry as the picture, so the two stay aligned.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/strutils.h"

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;

// A one-byte picture spread into a 24-bit grey one, so that one-byte planes
// take exactly the shears the 24-bit rotation makes.
void SpreadTo24(TIEBitmap* Src, TIEBitmap& Dst) {
  const Integer W = Src->Width(), H = Src->Height();
  Dst.Allocate(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    const Byte* s = static_cast<const Byte*>(Src->GetScanline(y));
    std::vector<Byte> row(s, s + W);
    Byte* d = static_cast<Byte*>(Dst.GetScanline(y));
    for (Integer x = 0; x < W; ++x) d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = row[static_cast<size_t>(x)];
  }
}

// Dst (one byte per pixel, format Format) := channel 0 of the 24-bit Src.
void GatherFrom24(TIEBitmap& Src, TIEBitmap* Dst) {
  const Integer W = Src.Width(), H = Src.Height();
  TIEBitmap out;
  out.Allocate(W, H, Dst->PixelFormat());
  Dst->CopyPaletteTo(&out);
  for (Integer y = 0; y < H; ++y) {
    const Byte* s = static_cast<const Byte*>(Src.GetScanline(y));
    std::vector<Byte> row(s, s + 3 * static_cast<size_t>(W));
    Byte* d = static_cast<Byte*>(out.GetScanline(y));
    for (Integer x = 0; x < W; ++x) d[x] = row[3 * static_cast<size_t>(x)];
  }
  bool isAlpha = Dst->IsAlphaChannel();
  Dst->AssignImage(&out);
  if (isAlpha) Dst->SyncFull();
}

// Fits an alpha plane to the picture's size when a turn gave them
// different sizes (new area transparent).
void FitAlpha(TIEBitmap* Alpha, Integer W, Integer H) {
  if (Alpha->Width() == W && Alpha->Height() == H) return;
  TIEBitmap fitted;
  fitted.Allocate(W, H, ie8g);
  fitted.Fill(0);
  Alpha->CopyRectTo(&fitted, 0, 0, 0, 0, std::min(W, Alpha->Width()), std::min(H, Alpha->Height()));
  Alpha->AssignImage(&fitted);
}

// Samples of a padded one-plane or three-plane picture; outside reads as Bg.
template <int N>
struct TSampler {
  std::vector<const Byte*> Rows;
  Integer W = 0, H = 0;
  Byte Bg[3] = {0, 0, 0};
  const Byte* At(Integer x, Integer y) const {
    if (x < 0 || y < 0 || x >= W || y >= H) return Bg;
    return Rows[static_cast<size_t>(y)] + N * static_cast<ptrdiff_t>(x);
  }
};

inline double CubicWeight(int i, double t) {
  switch (i) {
    case -1: return -t * (1 - t) * (1 - t);
    case 0: return 1 - 2 * t * t + t * t * t;
    case 1: return t * (1 + t - t * t);
    default: return t * t * (t - 1);
  }
}

// Bilinear or bicubic rotation of Bitmap (N bytes per pixel) in place.
template <int N>
void RotateQuality(TIEBitmap* Bitmap, const Byte Bg[3], Byte Mode, const TIEProgressEvent& OnProgress,
                   TObject* Sender, double Angle) {
  if (Mode != 1 && Mode != 2) return;
  const Integer W0 = Bitmap->Width(), H0 = Bitmap->Height();
  if (W0 == 0 || H0 == 0) return;
  // Three pixels of background around the picture, so that the edges blend
  // into the background instead of ending hard.
  TIEBitmap padded;
  if (!padded.Allocate(W0 + 6, H0 + 6, Bitmap->PixelFormat())) return;
  const Integer W = W0 + 6, H = H0 + 6;
  for (Integer y = 0; y < H; ++y) {
    Byte* d = static_cast<Byte*>(padded.GetScanline(y));
    for (Integer x = 0; x < W; ++x)
      for (int c = 0; c < N; ++c) d[N * x + c] = Bg[c];
  }
  Bitmap->CopyRectTo(&padded, 0, 0, 3, 3, W0, H0);
  TSampler<N> s;
  s.W = W;
  s.H = H;
  for (int c = 0; c < N; ++c) s.Bg[c] = Bg[c];
  for (Integer y = 0; y < H; ++y) s.Rows.push_back(static_cast<const Byte*>(padded.MapRow(y)));

  // Whole turns are taken off first, so that 405 degrees maps exactly as 45.
  const double a = std::fmod(Angle, 360.0) * kDegToRad, cs = std::cos(a), sn = std::sin(a);
  const Integer dw = static_cast<Integer>(Round(std::fabs((H - 1) * sn) + std::fabs((W - 1) * cs)));
  const Integer dh = static_cast<Integer>(Round(std::fabs((H - 1) * cs) + std::fabs((W - 1) * sn)));
  // The result is the destination without its three-pixel frame.
  const Integer ow = dw - 6, oh = dh - 6;
  if (ow < 1 || oh < 1) return;
  TIEBitmap out;
  if (!out.Allocate(ow, oh, Bitmap->PixelFormat())) return;
  Bitmap->CopyPaletteTo(&out);
  const double cxd = (dw - 1) / 2.0, cyd = (dh - 1) / 2.0, cxs = (W - 1) / 2.0, cys = (H - 1) / 2.0;
  for (Integer oy = 0; oy < oh; ++oy) {
    const Integer y = oy + 3;
    Byte* d = static_cast<Byte*>(out.GetScanline(oy));
    const double dy = y - cyd;
    for (Integer ox = 0; ox < ow; ++ox) {
      const double dx = ox + 3 - cxd;
      const double sx = cxs + dx * cs - dy * sn, sy = cys + dx * sn + dy * cs;
      const Integer x0 = static_cast<Integer>(Trunc(sx)), y0 = static_cast<Integer>(Trunc(sy));
      for (int c = 0; c < N; ++c) {
        double v;
        if (Mode == 1) {
          const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
          const double p00 = s.At(x0, y0)[c], p10 = s.At(x0 + 1, y0)[c];
          const double p01 = s.At(x0, y0 + 1)[c], p11 = s.At(x0 + 1, y0 + 1)[c];
          const double top = p00 + (p10 - p00) * fx, bottom = p01 + (p11 - p01) * fx;
          v = static_cast<double>(Trunc(top + (bottom - top) * fy));
        } else {
          const double fx = sx - x0, fy = sy - y0;
          double sum = 0;
          for (int j = -1; j <= 2; ++j) {
            const double wy = CubicWeight(j, fy);
            for (int i = -1; i <= 2; ++i) sum += s.At(x0 + i, y0 + j)[c] * CubicWeight(i, fx) * wy;
          }
          // The weights sum to 1 only up to rounding: a flat area of 255
          // would come out 254 without the small allowance. Ringing below
          // black next to a bright edge stays black rather than turning
          // into a bright speck.
          v = std::max<double>(0, static_cast<double>(Trunc(sum + 1e-6)));
        }
        d[N * ox + c] = static_cast<Byte>(std::min(v, 255.0));
      }
    }
    if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc(static_cast<double>(y) * 100 / dh)));
  }
  padded.ReleaseMappedRows();
  Bitmap->AssignImage(&out);
}

}  // namespace

bool IEIsRightAngleMultiple(double Angle) {
  if (Angle != std::trunc(Angle)) return false;
  return std::fmod(Angle, 90.0) == 0.0;
}

void IERotate90Clockwise8(TIEBitmap* Src, TIEBitmap* Dst) {
  const Integer W = Src->Width(), H = Src->Height();
  if (!Dst->Allocate(H, W, Src->PixelFormat())) return;
  Src->CopyPaletteTo(Dst);
  for (Integer r = 0; r < W; ++r) {
    Byte* d = static_cast<Byte*>(Dst->GetScanline(r));
    for (Integer c = 0; c < H; ++c) d[c] = static_cast<const Byte*>(Src->GetScanline(H - 1 - c))[r];
  }
}

void IERotate90CounterClockwise8(TIEBitmap* Src, TIEBitmap* Dst) {
  const Integer W = Src->Width(), H = Src->Height();
  if (!Dst->Allocate(H, W, Src->PixelFormat())) return;
  Src->CopyPaletteTo(Dst);
  for (Integer r = 0; r < W; ++r) {
    Byte* d = static_cast<Byte*>(Dst->GetScanline(r));
    for (Integer c = 0; c < H; ++c) d[c] = static_cast<const Byte*>(Src->GetScanline(c))[W - 1 - r];
  }
}

void IERotateShear8(TIEBitmap* Bitmap, bool Antialias, Byte Background, const TIEProgressEvent& OnProgress,
                    TObject* Sender, double Angle) {
  if (Angle == 0 || !Bitmap) return;
  if (Bitmap->PixelFormat() != ie8g && Bitmap->PixelFormat() != ie8p) return;
  TIEBitmap wide;
  SpreadTo24(Bitmap, wide);
  if (!IERotateBitmap(&wide, Antialias, OnProgress, Sender, TRGB{Background, Background, Background}, Angle)) return;
  GatherFrom24(wide, Bitmap);
}

void IERotateNearest8(TIEBitmap* Bitmap, Byte Background, double Angle) {
  if (!Bitmap || (Bitmap->PixelFormat() != ie8g && Bitmap->PixelFormat() != ie8p)) return;
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  TIEBitmap out;
  if (Angle == 90) {
    IERotate90CounterClockwise8(Bitmap, &out);
  } else if (Angle == -90 || Angle == 270) {
    IERotate90Clockwise8(Bitmap, &out);
  } else if (Angle == 180 || Angle == -180) {
    if (!out.Allocate(W, H, Bitmap->PixelFormat())) return;
    for (Integer r = 0; r < H; ++r) {
      const Byte* s = static_cast<const Byte*>(Bitmap->GetScanline(H - 1 - r));
      std::vector<Byte> row(s, s + W);
      Byte* d = static_cast<Byte*>(out.GetScanline(r));
      for (Integer c = 0; c < W; ++c) d[c] = row[static_cast<size_t>(W - 1 - c)];
    }
  } else {
    const double a = -Angle * kDegToRad;
    const double cs = static_cast<double>(Trunc(std::cos(a) * 10000)) / 10000;
    const double sn = static_cast<double>(Trunc(std::sin(a) * 10000)) / 10000;
    const Integer nw = static_cast<Integer>(Trunc(std::fabs(W * cs) + std::fabs(H * sn)));
    const Integer nh = static_cast<Integer>(Trunc(std::fabs(W * sn) + std::fabs(cs * H)));
    if (!out.Allocate(nw, nh, Bitmap->PixelFormat())) return;
    std::vector<Integer> colX(static_cast<size_t>(nw)), colY(static_cast<size_t>(nw));
    for (Integer j = 0; j < nw; ++j) {
      const double u = j - (nw / 2.0 - 0.5);
      colX[static_cast<size_t>(j)] = static_cast<Integer>(Trunc(cs * u));
      colY[static_cast<size_t>(j)] = static_cast<Integer>(Trunc(-sn * u));
    }
    std::vector<const Byte*> rows(static_cast<size_t>(H));
    for (Integer y = 0; y < H; ++y) rows[static_cast<size_t>(y)] = static_cast<const Byte*>(Bitmap->MapRow(y));
    for (Integer k = 0; k < nh; ++k) {
      const double u = k - (nh / 2.0 - 0.5);
      const Integer rx = static_cast<Integer>(Trunc((W / 2.0 - 0.5) + sn * u));
      const Integer ry = static_cast<Integer>(Trunc((H / 2.0 - 0.5) + cs * u));
      Byte* d = static_cast<Byte*>(out.GetScanline(k));
      for (Integer j = 0; j < nw; ++j) {
        const Integer sx = rx + colX[static_cast<size_t>(j)], sy = ry + colY[static_cast<size_t>(j)];
        d[j] = (sx >= 0 && sy >= 0 && sx < W && sy < H) ? rows[static_cast<size_t>(sy)][sx] : Background;
      }
    }
    Bitmap->ReleaseMappedRows();
  }
  if (out.IsEmpty()) return;
  Bitmap->CopyPaletteTo(&out);
  bool isAlpha = Bitmap->IsAlphaChannel();
  Bitmap->AssignImage(&out);
  if (isAlpha) Bitmap->SyncFull();
}

void IERotateQuality24(TIEBitmap* Bitmap, TColor Background, Byte Mode, const TIEProgressEvent& OnProgress,
                       TObject* Sender, double Angle) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  TRGB bg = IEColorToRGB(Background);
  const Byte b[3] = {bg.b, bg.g, bg.r};
  RotateQuality<3>(Bitmap, b, Mode, OnProgress, Sender, Angle);
}

void IERotateQuality8(TIEBitmap* Bitmap, Byte Background, Byte Mode, double Angle) {
  if (!Bitmap || (Bitmap->PixelFormat() != ie8g && Bitmap->PixelFormat() != ie8p)) return;
  const Byte b[3] = {Background, Background, Background};
  bool isAlpha = Bitmap->IsAlphaChannel();
  RotateQuality<1>(Bitmap, b, Mode, nullptr, nullptr, Angle);
  if (isAlpha) Bitmap->SyncFull();
}

void IERotateResized(TIEBitmap* Bitmap, double Background, const TIEProgressEvent& OnProgress, TObject* Sender,
                     double Angle) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  TIEBitmap out;
  if (!IERotateIntoBitmap(Bitmap, &out, Background, Angle, OnProgress, Sender)) return;
  bool isAlpha = Bitmap->IsAlphaChannel();
  Bitmap->AssignImage(&out);
  if (isAlpha) Bitmap->SyncFull();
}

void TZiduzUvProc::Rotate(double Angle, bool Antialias, Byte AntialiasMode, TColor Background) {
  if (Angle == 0) return;
  if (!PrepareBitmap(0)) return;
  // The caption writes the angle with a point whatever the user's locale, so
  // that undo lists read the same everywhere.
  if (FAutoUndo) SaveUndoCaptioned(u"Rotate " + FloatToStr(Angle), ieuImage);
  if (Background == -1) Background = this->Background();
  std::unique_ptr<TIEBitmap> alpha;
  if (FIEBitmap->HasAlphaChannel()) {
    alpha = std::make_unique<TIEBitmap>();
    alpha->Assign(FIEBitmap->GetAlphaChannel());
  }
  const TIEPixelFormat pf = FIEBitmap->PixelFormat();
  if (!Antialias || (pf != ie24RGB && pf != ie1g)) {
    if (alpha) IERotateResized(alpha.get(), 0, nullptr, nullptr, Angle);
    IERotateResized(FIEBitmap, static_cast<double>(Background), ProgressEvent(), this, Angle);
  } else if ((AntialiasMode == 1 || AntialiasMode == 2) && !IEIsRightAngleMultiple(Angle) && pf == ie24RGB) {
    if (alpha) IERotateQuality8(alpha.get(), 0, AntialiasMode, Angle);
    IERotateQuality24(FIEBitmap, Background, AntialiasMode, ProgressEvent(), this, Angle);
  } else {
    if (alpha) {
      if (pf == ie1g)
        IERotateNearest8(alpha.get(), 0, Angle);
      else
        IERotateShear8(alpha.get(), true, 0, nullptr, nullptr, Angle);
    }
    IERotateBitmap(FIEBitmap, true, ProgressEvent(), this, IEColorToRGB(Background), Angle);
  }
  if (alpha) {
    FitAlpha(alpha.get(), FIEBitmap->Width(), FIEBitmap->Height());
    TIEBitmap* a = FIEBitmap->GetAlphaChannel();
    a->AssignImage(alpha.get());
    a->SyncFull();
  }
  RefreshAttached();
  DoFinishWork();
}
