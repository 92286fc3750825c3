// Per-channel colour adjustments, the histogram, the channel splits and the
// integer HSV model shared with the HSV colour box.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/core/base/ieutils.h"
#include "imaging/proc/procrows.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/strutils.h"

namespace {

inline Byte Limit(int64_t v) { return static_cast<Byte>(std::clamp<int64_t>(v, 0, 255)); }

// Maps the rectangle of an ie24RGB picture through three tables (byte 0
// blue), reporting progress per row.
void MapTables(TIEBitmap* Bitmap, const Byte* R, const Byte* G, const Byte* B, Integer x1, Integer y1, Integer x2,
               Integer y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  for (Integer y = c.y1; y < c.y2; ++y) {
    Byte* p = static_cast<Byte*>(Bitmap->GetScanline(y)) + 3 * static_cast<ptrdiff_t>(c.x1);
    for (Integer x = c.x1; x < c.x2; ++x, p += 3) {
      p[0] = B[p[0]];
      p[1] = G[p[1]];
      p[2] = R[p[2]];
    }
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, c.y2 - c.y1);
  }
}

}  // namespace

void IEAdjustIntensityRGB(TIEBitmap* Bitmap, Integer r, Integer g, Integer b, TObject* Sender,
                          const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  Byte tr[256], tg[256], tb[256];
  for (int i = 0; i < 256; ++i) {
    tr[i] = Limit(int64_t(i) + r);
    tg[i] = Limit(int64_t(i) + g);
    tb[i] = Limit(int64_t(i) + b);
  }
  MapTables(Bitmap, tr, tg, tb, x1, y1, x2, y2, OnProgress, Sender);
}

void IEAdjustContrast(TIEBitmap* Bitmap, Integer MeanR, Integer MeanG, Integer MeanB, double Contrast,
                      TObject* Sender, const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2,
                      Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  const double k = Contrast >= 0 ? Contrast / 10 + 1 : 1 - std::sqrt(-Contrast) / 10;
  Byte t[3][256];
  const Integer means[3] = {MeanR, MeanG, MeanB};
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) t[c][i] = Limit(Round((i - means[c]) * k + means[c]));
  MapTables(Bitmap, t[0], t[1], t[2], x1, y1, x2, y2, OnProgress, Sender);
}

void IEAdjustHSL(TIEBitmap* Bitmap, Integer Hue, Integer Saturation, Integer Lightness, TObject* Sender,
                 const TIEProgressEvent& OnProgress, Integer x1, Integer y1, Integer x2, Integer y2) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const double dh = Hue / 360.0, ds = Saturation / 100.0, dl = Lightness / 100.0;
  for (Integer y = c.y1; y < c.y2; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
    for (Integer x = c.x1; x < c.x2; ++x) {
      double h, s, l;
      IERGBToHSL(h, s, l, p[x]);
      IEHSLToRGB(p[x], h + dh, s + ds, l + dl);
    }
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, c.y2 - c.y1);
  }
}

bool IEBuildGammaTable(double Gamma, Byte* Table) {
  // No curve has a gamma of 0 or below: 1/gamma would divide by zero or
  // send black to infinity.
  if (!(Gamma > 0)) return false;
  for (int i = 0; i < 256; ++i) Table[i] = Limit(Round(255 * IEPowerDouble(i / 255.0, 1 / Gamma)));
  return true;
}

void IEGammaCorrect(TIEBitmap* Bitmap, Byte Channels, TObject* Sender, const TIEProgressEvent& OnProgress,
                    double Gamma) {
  // The rows are read as 24-bit pixels: any other layout would be walked
  // past its ends.
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  Byte t[256], id[256];
  if (!IEBuildGammaTable(Gamma, t)) return;
  for (int i = 0; i < 256; ++i) id[i] = static_cast<Byte>(i);
  const Byte* r = (Channels == 7 || (Channels & 1)) ? t : id;
  const Byte* g = (Channels == 7 || (Channels & 2)) ? t : id;
  const Byte* b = (Channels == 7 || (Channels & 4)) ? t : id;
  const Integer H = Bitmap->Height(), W = Bitmap->Width();
  for (Integer y = 0; y < H; ++y) {
    Byte* p = static_cast<Byte*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < W; ++x, p += 3) {
      p[0] = b[p[0]];
      p[1] = g[p[1]];
      p[2] = r[p[2]];
    }
    if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc(static_cast<double>(y) * 100 / H)));
  }
}

void IERGBToHSV(Integer& Hue, Integer& Saturation, Integer& Value, Cardinal Color) {
  const Integer r = static_cast<Integer>(Round(((Color >> 16) & 0xFF) / 255.0 * 99));
  const Integer g = static_cast<Integer>(Round(((Color >> 8) & 0xFF) / 255.0 * 99));
  const Integer b = static_cast<Integer>(Round((Color & 0xFF) / 255.0 * 99));
  const Integer mx = std::max({r, g, b}), mn = std::min({r, g, b});
  Value = mx;
  Saturation = mx == 0 ? 0 : (mx - mn) * 99 / mx;
  if (Saturation == 0) {
    Hue = 0;
    return;
  }
  const Integer diff = mx - mn;
  if (r == mx)
    Hue = (g - b) * 60 / diff;
  else if (g == mx)
    Hue = (b - r) * 60 / diff + 120;
  else
    Hue = (r - g) * 60 / diff + 240;
  if (Hue < 0) Hue += 360;
}

void IEHSVToRGB(TRGB& Color, Integer Hue, Integer Saturation, Integer Value) {
  if (Hue < 0) Hue += 360;
  if (Hue > 359) Hue -= 360;
  Saturation = std::clamp(Saturation, 0, 99);
  Value = std::clamp(Value, 0, 99);
  Integer r, g, b;
  if (Saturation == 0) {
    r = g = b = Value;
  } else {
    if (Hue == 360) Hue = 0;
    // Hues still outside after one turn are brought in fully, so that the
    // sector below always names one of the six.
    Hue = ((Hue % 360) + 360) % 360;
    const Integer p = Value - Saturation * Value / 99;
    const Integer q = Value - Saturation * Value * (Hue % 60) / 5940;
    const Integer t = Value - Saturation * Value * (60 - Hue % 60) / 5940;
    switch (Hue / 60) {
      case 0: r = Value, g = t, b = p; break;
      case 1: r = q, g = Value, b = p; break;
      case 2: r = p, g = Value, b = t; break;
      case 3: r = p, g = q, b = Value; break;
      case 4: r = t, g = p, b = Value; break;
      default: r = Value, g = p, b = q; break;
    }
  }
  Color.r = static_cast<Byte>(Round(r / 99.0 * 255));
  Color.g = static_cast<Byte>(Round(g / 99.0 * 255));
  Color.b = static_cast<Byte>(Round(b / 99.0 * 255));
}

void TZiduzUvProc::IntensityRGBall(Integer r, Integer g, Integer b) {
  TIEProcOperation op;
  if (!BeginOperation(IEPixelFormats(ie24RGB),
                      u"IntensityRGBall " + IntToStr(r) + u"," + IntToStr(g) + u"," + IntToStr(b), op))
    return;
  IEAdjustIntensityRGB(op.Work, r, g, b, this, ProgressEvent(), op.x1, op.y1, op.x2, op.y2);
  EndOperation(op);
  DoFinishWork();
}

void TZiduzUvProc::GetHistogram(TIEHistogram& Histogram) {
  std::memset(&Histogram, 0, sizeof(Histogram));
  if (!PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  Integer x1, y1, x2, y2;
  TIEMask* mask = nullptr;
  GetSelectionArea(x1, y1, x2, y2, mask);
  const bool masked = mask && !mask->IsEmpty();
  TIERowClip c(FIEBitmap, x1, y1, x2, y2);
  const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
  for (Integer y = c.y1; y < c.y2; ++y) {
    const TRGB* p = static_cast<const TRGB*>(FIEBitmap->GetScanline(y));
    for (Integer x = c.x1; x < c.x2; ++x) {
      if (masked && !mask->IsPointInside(x, y)) continue;
      const TRGB& t = p[x];
      ++Histogram[t.r].r;
      ++Histogram[t.g].g;
      ++Histogram[t.b].b;
      ++Histogram[std::clamp((t.r * wr + t.g * wg + t.b * wb) / 100, 0, 255)].gray;
    }
  }
}

void TZiduzUvProc::SplitChannels(TIEBitmap* A, TIEBitmap* B, TIEBitmap* C, bool HSV) {
  if (!A || !B || !C || !PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  const Integer W = FIEBitmap->Width(), H = FIEBitmap->Height();
  TIEBitmap* out[3] = {A, B, C};
  for (TIEBitmap* o : out)
    if (o == FIEBitmap || !o->Allocate(W, H, ie24RGB)) return;
  std::vector<TRGB> row(static_cast<size_t>(W));
  for (Integer y = 0; y < H; ++y) {
    std::memcpy(row.data(), FIEBitmap->GetScanline(y), row.size() * 3);
    for (int k = 0; k < 3; ++k) {
      Byte* d = static_cast<Byte*>(out[k]->GetScanline(y));
      for (Integer x = 0; x < W; ++x) {
        const TRGB& t = row[static_cast<size_t>(x)];
        Byte v;
        if (HSV) {
          Integer h, s, val;
          IERGBToHSV(h, s, val, Cardinal(t.b) | Cardinal(t.g) << 8 | Cardinal(t.r) << 16);
          v = static_cast<Byte>(k == 0 ? Trunc(h / 359.0 * 255) : Trunc((k == 1 ? s : val) / 99.0 * 255));
        } else {
          v = k == 0 ? t.r : k == 1 ? t.g : t.b;
        }
        d[3 * x] = d[3 * x + 1] = d[3 * x + 2] = v;
      }
    }
    Progress(static_cast<Integer>(Trunc(static_cast<double>(y) * 100 / H)));
  }
  DoFinishWork();
}
