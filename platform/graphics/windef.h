// Windows scalar types, points, sizes and rectangles with their helpers.
// Rectangles exclude their right and bottom edges, as on Windows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base/types.h"

using BYTE = uint8_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using ULONG = uint32_t;
using BOOL = int32_t;
using WCHAR = char16_t;
using CHAR = char;
using FLOAT = float;
using LPARAM = intptr_t;
using WPARAM = uintptr_t;
using LRESULT = intptr_t;
using ULONG_PTR = uintptr_t;
using COLORREF = uint32_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// One type serves both the class library's TPoint/TRect and the Windows
// POINT/RECT records, as the class library itself does.
struct TPoint {
  Integer X = 0;
  Integer Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(Integer AX, Integer AY) : X(AX), Y(AY) {}
  friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  Integer cx = 0;
  Integer cy = 0;
  constexpr TSize() = default;
  constexpr TSize(Integer ACx, Integer ACy) : cx(ACx), cy(ACy) {}
  friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  Integer Left = 0;
  Integer Top = 0;
  Integer Right = 0;
  Integer Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(Integer L, Integer T, Integer R, Integer B) : Left(L), Top(T), Right(R), Bottom(B) {}
  constexpr Integer Width() const { return Right - Left; }
  constexpr Integer Height() const { return Bottom - Top; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TSmallPoint {
  int16_t x = 0;
  int16_t y = 0;
};

using POINT = TPoint;
using SIZE = TSize;
using RECT = TRect;
using PRect = TRect*;
using PPoint = TPoint*;

constexpr TPoint Point(Integer X, Integer Y) { return {X, Y}; }
constexpr TRect Rect(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  return {Left, Top, Right, Bottom};
}
constexpr TRect Rect(const TPoint& TopLeft, const TPoint& BottomRight) {
  return {TopLeft.X, TopLeft.Y, BottomRight.X, BottomRight.Y};
}
constexpr TRect Bounds(Integer Left, Integer Top, Integer Width, Integer Height) {
  return {Left, Top, Left + Width, Top + Height};
}

// True when P lies inside R; the right and bottom edges are outside.
bool PtInRect(const TRect& R, const TPoint& P);
// Dest := the overlap of A and B; an empty overlap gives (0,0,0,0) and false.
bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B);
// Dest := the smallest rectangle holding A and B; empty inputs are ignored.
bool UnionRect(TRect& Dest, const TRect& A, const TRect& B);
bool OffsetRect(TRect& R, Integer DX, Integer DY);
bool InflateRect(TRect& R, Integer DX, Integer DY);
// Empty: no width or no height (right <= left or bottom <= top).
bool IsRectEmpty(const TRect& R);
bool EqualRect(const TRect& A, const TRect& B);
bool SetRect(TRect& R, Integer Left, Integer Top, Integer Right, Integer Bottom);
bool SetRectEmpty(TRect& R);
bool SubtractRect(TRect& Dest, const TRect& A, const TRect& B);

// Number * Numerator / Denominator in 64 bits, rounded half away from zero;
// -1 when Denominator is 0.
Integer MulDiv(Integer Number, Integer Numerator, Integer Denominator);
