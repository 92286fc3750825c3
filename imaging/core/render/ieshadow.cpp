// Drop and soft shadows around a picture box.
#include "imaging/core/render/ieshadow.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/kernels/ieblur.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

double IEShadowStripFactor(Integer T, Integer K) {
  const double t = double(T - K) / (double(T) / 3.0);
  return std::exp(-0.1 - t * t / 6.0);
}

namespace {

inline bool InBitmap(TBitmap* B, Integer X, Integer Y) {
  return B && B->PixelFormat() == pf24bit && X >= 0 && Y >= 0 && X < B->Width() && Y < B->Height();
}

// Darkens one pixel, in the bitmap's row memory when it lies there, else on the canvas.
void DarkenPixel(TCanvas* Canvas, TBitmap* Bitmap, Integer X, Integer Y, double F) {
  if (InBitmap(Bitmap, X, Y)) {
    Byte* p = static_cast<Byte*>(Bitmap->ScanLine(Y)) + 3 * ptrdiff_t(X);
    for (int i = 0; i < 3; ++i) p[i] = Byte(Trunc(p[i] * F));
  } else if (Canvas) {
    const Cardinal c = Cardinal(Canvas->Pixels(X, Y));
    if (c == CLR_INVALID) return;  // outside the canvas
    const Byte r = Byte(Trunc((c & 0xFF) * F)), g = Byte(Trunc(((c >> 8) & 0xFF) * F)),
               b = Byte(Trunc(((c >> 16) & 0xFF) * F));
    Canvas->SetPixels(X, Y, TColor(RGB(r, g, b)));
  }
}

}  // namespace

void IEDrawVertShadow(TCanvas* Canvas, TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const Integer T = X2 - X1 + 1;
  if (T < 1) return;
  for (Integer k = 0; k < T; ++k) {
    const double f = IEShadowStripFactor(T, k);
    for (Integer y = Y1 + T; y <= Y2 - T + k + 3; ++y) DarkenPixel(Canvas, Bitmap, X1 + k, y, f);
  }
}

void IEDrawHorizShadow(TCanvas* Canvas, TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const Integer T = Y2 - Y1 + 1;
  if (T < 1) return;
  for (Integer k = 0; k < T; ++k) {
    const double f = IEShadowStripFactor(T, k);
    for (Integer x = X1 + T; x <= X2 - T + k + 1; ++x) DarkenPixel(Canvas, Bitmap, x, Y1 + k, f);
  }
}

void IEDrawSoftShadow(TBitmap* Bitmap, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!Bitmap || Bitmap->PixelFormat() != pf24bit || X2 < X1 || Y2 < Y1) return;
  const Integer w = X2 - X1 + 1, h = Y2 - Y1 + 1;
  TIEBitmap grey;
  if (!grey.Allocate(w + 10, h + 10, ie8g)) return;
  grey.Fill(0);
  grey.FillRect(5, 5, w + 6, h + 6, 255);
  IEGaussianBlurRect8(&grey, 0, 0, w + 9, h + 9, 2.5);
  const Integer bw = Bitmap->Width(), bh = Bitmap->Height();
  const Integer ya = std::max(Y1 - 5, 0), yb = std::min(Y2 + 5, bh - 1);
  const Integer xa = std::max(X1 - 5, 0), xb = std::min(X2 + 5, bw - 1);
  for (Integer y = ya; y <= yb; ++y) {
    const Byte* g = static_cast<const Byte*>(grey.GetScanline(y - Y1 + 5));
    Byte* row = static_cast<Byte*>(Bitmap->ScanLine(y));
    const bool rowInBox = y >= Y1 && y < Y2;
    for (Integer x = xa; x <= xb; ++x) {
      // The box ends before X2 and Y2, as the views' picture rectangle does:
      // column X2 and row Y2 are the first shadow pixels, the darkest ones.
      if (rowInBox && x >= X1 && x < X2) continue;
      const double f = 1.0 - g[x - X1 + 5] / 255.0;
      Byte* p = row + 3 * ptrdiff_t(x);
      for (int i = 0; i < 3; ++i) p[i] = Byte(Trunc(p[i] * f));
    }
  }
}
