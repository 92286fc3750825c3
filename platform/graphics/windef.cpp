#include "platform/graphics/windef.h"

#include <algorithm>

bool PtInRect(const TRect& R, const TPoint& P) {
  return P.X >= R.Left && P.X < R.Right && P.Y >= R.Top && P.Y < R.Bottom;
}

bool IsRectEmpty(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B) {
  TRect r(std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom));
  if (IsRectEmpty(r)) {
    Dest = TRect();
    return false;
  }
  Dest = r;
  return true;
}

bool UnionRect(TRect& Dest, const TRect& A, const TRect& B) {
  const bool ea = IsRectEmpty(A), eb = IsRectEmpty(B);
  if (ea && eb) {
    Dest = TRect();
    return false;
  }
  if (ea) {
    Dest = B;
    return true;
  }
  if (eb) {
    Dest = A;
    return true;
  }
  Dest = TRect(std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
               std::max(A.Bottom, B.Bottom));
  return true;
}

bool OffsetRect(TRect& R, Integer DX, Integer DY) {
  R.Left += DX;
  R.Right += DX;
  R.Top += DY;
  R.Bottom += DY;
  return true;
}

bool InflateRect(TRect& R, Integer DX, Integer DY) {
  R.Left -= DX;
  R.Right += DX;
  R.Top -= DY;
  R.Bottom += DY;
  return true;
}

bool EqualRect(const TRect& A, const TRect& B) { return A == B; }

bool SetRect(TRect& R, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  R = TRect(Left, Top, Right, Bottom);
  return true;
}

bool SetRectEmpty(TRect& R) {
  R = TRect();
  return true;
}

bool SubtractRect(TRect& Dest, const TRect& A, const TRect& B) {
  // Only a B that covers A completely along one axis can shrink A.
  TRect r = A;
  TRect i;
  if (!IntersectRect(i, A, B)) {
    Dest = A;
    return !IsRectEmpty(A);
  }
  if (i.Top == A.Top && i.Bottom == A.Bottom) {
    if (i.Left == A.Left) r.Left = i.Right;
    else if (i.Right == A.Right) r.Right = i.Left;
  } else if (i.Left == A.Left && i.Right == A.Right) {
    if (i.Top == A.Top) r.Top = i.Bottom;
    else if (i.Bottom == A.Bottom) r.Bottom = i.Top;
  }
  if (IsRectEmpty(r)) {
    Dest = TRect();
    return false;
  }
  Dest = r;
  return true;
}

Integer MulDiv(Integer Number, Integer Numerator, Integer Denominator) {
  if (Denominator == 0) return -1;
  int64_t p = static_cast<int64_t>(Number) * Numerator;
  int64_t d = Denominator;
  bool neg = (p < 0) != (d < 0);
  if (p < 0) p = -p;
  if (d < 0) d = -d;
  int64_t q = (p + d / 2) / d;
  if (neg) q = -q;
  if (q > INT32_MAX || q < INT32_MIN) return -1;
  return static_cast<Integer>(q);
}
