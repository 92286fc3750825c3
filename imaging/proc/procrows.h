// Small helpers shared by the processor's row kernels.
#pragma once

#include <algorithm>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"

// A kernel's rectangle (x2, y2 exclusive) cut to the picture, so that no
// caller's rectangle can make a kernel write outside the rows.
struct TIERowClip {
  Integer x1, y1, x2, y2;
  TIERowClip(TIEBitmap* B, Integer X1, Integer Y1, Integer X2, Integer Y2)
      : x1(std::max(X1, 0)), y1(std::max(Y1, 0)), x2(std::min(X2, B->Width())), y2(std::min(Y2, B->Height())) {
    if (x2 < x1) x2 = x1;
    if (y2 < y1) y2 = y1;
  }
};

// The usual report after the K-th of N rows: slightly above 100 at the last
// row, so that the closing report of exactly 100 still comes after it.
inline void IEReportRow(const TIEProgressEvent& OnProgress, TObject* Sender, Integer K, Integer N) {
  if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc(K * 100.0 / (N - 0.5))));
}
