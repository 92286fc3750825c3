// What the list view and tree view tests share: image lists of plain
// colours, pixels of a grab, and typing into the focused editor.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/imglist.h"
#include "platform/ui/testsupport.h"
#include "tests/platform/graphics/gdi_test_util.h"

namespace gt_itemview_test {

inline uint32_t Rgb(TColor C) {
  const COLORREF R = static_cast<COLORREF>(ColorToRGB(C));
  return (uint32_t{GetRValue(R)} << 16) | (uint32_t{GetGValue(R)} << 8) | GetBValue(R);
}

// 16 x 16 images, one per colour, opaque.
inline std::unique_ptr<TImageList> SolidImages(std::initializer_list<TColor> Colors) {
  auto L = std::make_unique<TImageList>(16, 16, nullptr);
  for (TColor C : Colors) L->AddMasked(FilledBitmap(16, 16, C).get(), clFuchsia);
  return L;
}

// A 16 x 16 image transparent but for a blue 6 x 6 square in its middle (an overlay).
inline void AddOverlayDot(TImageList* L) {
  auto B = FilledBitmap(16, 16, clFuchsia);
  B->Canvas()->Brush()->SetColor(clBlue);
  B->Canvas()->FillRect(TRect(5, 5, 11, 11));
  L->AddMasked(B.get(), clFuchsia);
}

struct TGrab {
  std::vector<uint32_t> Px;
  Integer W = 0, H = 0;
  explicit TGrab(HWND Wnd) { GtTestGrab(Wnd, Px, W, H); }
  uint32_t At(Integer X, Integer Y) const {
    if (X < 0 || Y < 0 || X >= W || Y >= H) return 0xDEADBEEF;
    return Px[static_cast<size_t>(Y) * static_cast<size_t>(W) + static_cast<size_t>(X)] & 0xFFFFFF;
  }
  uint32_t At(const TRect& R) const { return At((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2); }
  // Pixels of R for which Test answers true.
  template <class F>
  Integer Count(const TRect& R, F Test) const {
    Integer N = 0;
    for (Integer y = R.Top; y < R.Bottom; ++y)
      for (Integer x = R.Left; x < R.Right; ++x)
        if (Test(At(x, y))) ++N;
    return N;
  }
  bool SameRows(const TGrab& O, Integer Top, Integer Bottom) const {
    for (Integer y = Top; y < Bottom; ++y)
      for (Integer x = 0; x < W; ++x)
        if (At(x, y) != O.At(x, y)) return false;
    return true;
  }
};

inline bool Bluish(uint32_t P) { return (P & 0xFF) > 170 && ((P >> 8) & 0xFF) < 90 && ((P >> 16) & 0xFF) < 90; }

// Types Text (letters and digits) into whatever has the focus in Wnd's window.
inline void Type(HWND Wnd, const std::string& Text) {
  for (char C : Text) {
    const WORD VK = static_cast<WORD>(C >= 'a' && C <= 'z' ? C - 'a' + 'A' : C);
    GtTestKey(Wnd, true, VK, 0, static_cast<WideChar>(C));
    GtTestKey(Wnd, false, VK, 0, static_cast<WideChar>(C));
  }
}

inline void Press(HWND Wnd, WORD VK, Cardinal Mods = 0) {
  GtTestKey(Wnd, true, VK, Mods);
  GtTestKey(Wnd, false, VK, Mods);
}

inline TPoint Mid(const TRect& R) { return TPoint((R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2); }

}  // namespace gt_itemview_test
