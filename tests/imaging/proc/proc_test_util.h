// Shared pieces of the processor tests: noise pictures, byte comparison of
// pictures, an event recorder, and a processor whose selection is a given mask.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/proc/ziduzuvproc.h"
#include "tests/support/lcg.h"

namespace proc_test {

// W x H of format PF filled with deterministic noise (palette too for ie8p).
inline void Noise(TIEBitmap& B, Integer W, Integer H, TIEPixelFormat PF, uint32_t Seed = 7) {
  ASSERT_TRUE(B.Allocate(W, H, PF));
  gt_test::Lcg g(Seed);
  const Integer bytes = (W * IEPixelFormatBitCount(PF) + 7) / 8;
  for (Integer y = 0; y < H; ++y) {
    Byte* r = static_cast<Byte*>(B.GetScanline(y));
    for (Integer i = 0; i < bytes; ++i) r[i] = static_cast<Byte>(g.Next());
  }
  if (PF == ie8p)
    for (Integer i = 0; i < 256; ++i) {
      TRGB c{static_cast<Byte>(g.Next()), static_cast<Byte>(g.Next()), static_cast<Byte>(g.Next())};
      B.SetPaletteColor(i, c);
    }
  if (PF == ie32f)
    for (Integer y = 0; y < H; ++y)
      for (Integer x = 0; x < W; ++x) B.SetPixelFloat(x, y, static_cast<float>(g.Next() % 1000) / 1000.0f);
}

// The pixel bytes of every row (padding left out).
inline std::vector<Byte> Bytes(TIEBitmap& B) {
  std::vector<Byte> v;
  const size_t n = (static_cast<size_t>(B.Width()) * B.BitCount() + 7) / 8;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* r = static_cast<const Byte*>(B.GetScanline(y));
    v.insert(v.end(), r, r + n);
  }
  return v;
}

inline std::vector<Byte> PixelBytes(TIEBitmap& B, Integer X, Integer Y) {
  const Integer n = IEPixelFormatByteCount(B.PixelFormat());
  const Byte* r = static_cast<const Byte*>(B.GetScanline(Y)) + static_cast<ptrdiff_t>(n) * X;
  return std::vector<Byte>(r, r + n);
}

// Counts the processor's events.
struct Events {
  int Finished = 0, Saved = 0;
  std::vector<Integer> Progress;
  void Attach(TZiduzUvProc& P) {
    P.OnFinishWork = [this](TObject*) { ++Finished; };
    P.OnProgress = [this](TObject*, Integer Per) { Progress.push_back(Per); };
    P.OnSaveUndo = [this](TObject*, TIEUndoSource) { ++Saved; };
  }
};

// A processor whose view "has a selection" given by a mask over the picture.
class MaskedProc : public TZiduzUvProc {
 public:
  MaskedProc() : TZiduzUvProc(nullptr) {}
  std::unique_ptr<TIEMask> Selection;
  bool GetSelectionArea(Integer& x1, Integer& y1, Integer& x2, Integer& y2, TIEMask*& Mask) override {
    TZiduzUvProc::GetSelectionArea(x1, y1, x2, y2, Mask);
    if (!Selection) return false;
    Mask = Selection.get();
    if (!Mask->IsEmpty()) {
      x1 = Mask->X1;
      y1 = Mask->Y1;
      x2 = Mask->X2 + 1;
      y2 = Mask->Y2 + 1;
    }
    return true;
  }
  // An 8-bit mask over W x H selecting the ellipse inside (L, T) - (R, B).
  void SelectEllipse(Integer W, Integer H, Integer L, Integer T, Integer R, Integer B) {
    Selection = std::make_unique<TIEMask>();
    Selection->AllocateBits(W, H, 8);
    const double cx = (L + R) / 2.0, cy = (T + B) / 2.0, rx = (R - L) / 2.0, ry = (B - T) / 2.0;
    for (Integer y = T; y <= B; ++y)
      for (Integer x = L; x <= R; ++x) {
        const double u = (x - cx) / rx, v = (y - cy) / ry;
        if (u * u + v * v <= 1.0) Selection->SetPixel(x, y, 255);
      }
  }
};

}  // namespace proc_test
