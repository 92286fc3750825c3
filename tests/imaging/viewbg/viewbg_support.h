// Shared helpers of the background tests: 24-bit targets pre-filled with the
// junk a back buffer may hold, and pixel reads as RGB colour values.
#pragma once

#include <memory>

#include "imaging/view/iebackground.h"
#include "platform/graphics/bitmap.h"

namespace viewbg_test {

// The same pattern the reference script starts from.
inline COLORREF Junk(Integer X, Integer Y) {
  return RGB(Byte((X * 53 + Y * 17) & 255), Byte((X * 11 + Y * 71 + 40) & 255), Byte((X * Y + 7) & 255));
}

inline std::unique_ptr<TBitmap> JunkTarget(Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(W, H);
  for (Integer y = 0; y < H; ++y) {
    auto* p = static_cast<Byte*>(b->ScanLine(y));
    for (Integer x = 0; x < W; ++x) {
      const COLORREF c = Junk(x, y);
      p[3 * x] = GetBValue(c);
      p[3 * x + 1] = GetGValue(c);
      p[3 * x + 2] = GetRValue(c);
    }
  }
  return b;
}

inline COLORREF At(TBitmap& B, Integer X, Integer Y) {
  const auto* p = static_cast<const Byte*>(B.ScanLine(Y)) + 3 * X;
  return RGB(p[2], p[1], p[0]);
}

// A picture box and an area that the tests share.
struct TGeometry {
  Integer Left = 0, Top = 0, Width = 0, Height = 0;
  Integer X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
};

inline void Paint(TBitmap& B, TIEBackgroundStyle Style, TColor Color, const TGeometry& G, Integer Chess = 16,
                  TBrushStyle Brush = bsSolid, bool Target = true, bool Designing = false,
                  TColor GradientEnd = clBlack, TPicture* WallPaper = nullptr,
                  TIEWallPaperStyle WallStyle = iewoNormal) {
  TComponentState state;
  if (Designing) state.Include(csDesigning);
  IEDrawBackground(state, B.Canvas(), Target ? &B : nullptr, Style, Color, G.Left, G.Top, G.Width, G.Height, G.X1,
                   G.Y1, G.X2, G.Y2, Chess, Brush, GradientEnd, WallPaper, WallStyle);
}

}  // namespace viewbg_test
