// Regions as bands of equal rows, combined band by band.
#include <algorithm>

#include "platform/graphics/gdi_private.h"

namespace gdi {

namespace {

bool Op(Integer Mode, bool A, bool B) {
  switch (Mode) {
    case RGN_AND: return A && B;
    case RGN_OR: return A || B;
    case RGN_XOR: return A != B;
    case RGN_DIFF: return A && !B;
    default: return A;
  }
}

// Combines two sorted, disjoint span lists; touching results merge.
void CombineSpans(const std::vector<Integer>* A, const std::vector<Integer>* B, Integer Mode,
                  std::vector<Integer>& Out) {
  Out.clear();
  static const std::vector<Integer> kNone;
  const std::vector<Integer>& a = A ? *A : kNone;
  const std::vector<Integer>& b = B ? *B : kNone;
  size_t i = 0, j = 0;
  bool inA = false, inB = false, out = false;
  while (i < a.size() || j < b.size()) {
    Integer x;
    if (i < a.size() && (j >= b.size() || a[i] <= b[j])) x = a[i];
    else x = b[j];
    while (i < a.size() && a[i] == x) {
      inA = !inA;
      ++i;
    }
    while (j < b.size() && b[j] == x) {
      inB = !inB;
      ++j;
    }
    bool st = Op(Mode, inA, inB);
    if (st != out) {
      Out.push_back(x);
      out = st;
    }
  }
}

void AppendBand(std::vector<TBand>& Bands, Integer Top, Integer Bottom, const std::vector<Integer>& X) {
  if (X.empty() || Bottom <= Top) return;
  if (!Bands.empty() && Bands.back().Bottom == Top && Bands.back().X == X) {
    Bands.back().Bottom = Bottom;
    return;
  }
  Bands.push_back(TBand{Top, Bottom, X});
}

}  // namespace

TRegion TRegion::FromRect(const TRect& R) {
  TRegion r;
  TRect n(std::min(R.Left, R.Right), std::min(R.Top, R.Bottom), std::max(R.Left, R.Right),
          std::max(R.Top, R.Bottom));
  if (!IsRectEmpty(n)) r.Bands.push_back(TBand{n.Top, n.Bottom, {n.Left, n.Right}});
  return r;
}

TRegion TRegion::FromSpans(std::vector<TSpan> Spans) {
  TRegion r;
  Spans.erase(std::remove_if(Spans.begin(), Spans.end(), [](const TSpan& s) { return s.X1 <= s.X0; }),
              Spans.end());
  if (Spans.empty()) return r;
  std::sort(Spans.begin(), Spans.end(),
            [](const TSpan& a, const TSpan& b) { return a.Y != b.Y ? a.Y < b.Y : a.X0 < b.X0; });
  std::vector<Integer> row;
  size_t i = 0;
  while (i < Spans.size()) {
    const Integer y = Spans[i].Y;
    row.clear();
    while (i < Spans.size() && Spans[i].Y == y) {
      const TSpan& s = Spans[i++];
      if (!row.empty() && s.X0 <= row.back()) {
        if (s.X1 > row.back()) row.back() = s.X1;
      } else {
        row.push_back(s.X0);
        row.push_back(s.X1);
      }
    }
    AppendBand(r.Bands, y, y + 1, row);
  }
  return r;
}

TRegion TRegion::Combine(const TRegion& A, const TRegion& B, Integer Mode) {
  if (Mode == RGN_COPY) return A;
  TRegion r;
  std::vector<Integer> ys;
  ys.reserve((A.Bands.size() + B.Bands.size()) * 2);
  for (const TBand& b : A.Bands) {
    ys.push_back(b.Top);
    ys.push_back(b.Bottom);
  }
  for (const TBand& b : B.Bands) {
    ys.push_back(b.Top);
    ys.push_back(b.Bottom);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  size_t ia = 0, ib = 0;
  std::vector<Integer> x;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const Integer y0 = ys[k], y1 = ys[k + 1];
    while (ia < A.Bands.size() && A.Bands[ia].Bottom <= y0) ++ia;
    while (ib < B.Bands.size() && B.Bands[ib].Bottom <= y0) ++ib;
    const std::vector<Integer>* sa = (ia < A.Bands.size() && A.Bands[ia].Top <= y0) ? &A.Bands[ia].X : nullptr;
    const std::vector<Integer>* sb = (ib < B.Bands.size() && B.Bands[ib].Top <= y0) ? &B.Bands[ib].X : nullptr;
    if (!sa && !sb) continue;
    CombineSpans(sa, sb, Mode, x);
    AppendBand(r.Bands, y0, y1, x);
  }
  return r;
}

TRect TRegion::Box() const {
  if (Bands.empty()) return TRect();
  Integer l = Bands[0].X.front(), r = Bands[0].X.back();
  for (const TBand& b : Bands) {
    l = std::min(l, b.X.front());
    r = std::max(r, b.X.back());
  }
  return TRect(l, Bands.front().Top, r, Bands.back().Bottom);
}

Integer TRegion::Kind() const {
  if (Bands.empty()) return NULLREGION;
  return IsRect() ? SIMPLEREGION : COMPLEXREGION;
}

void TRegion::Offset(Integer DX, Integer DY) {
  for (TBand& b : Bands) {
    b.Top += DY;
    b.Bottom += DY;
    for (Integer& x : b.X) x += DX;
  }
}

bool TRegion::Contains(Integer X, Integer Y) const {
  auto it = std::upper_bound(Bands.begin(), Bands.end(), Y, [](Integer y, const TBand& b) { return y < b.Bottom; });
  if (it == Bands.end() || Y < it->Top) return false;
  for (size_t i = 0; i + 1 < it->X.size(); i += 2)
    if (X >= it->X[i] && X < it->X[i + 1]) return true;
  return false;
}

bool TRegion::Intersects(const TRect& R) const {
  if (IsRectEmpty(R)) return false;
  for (const TBand& b : Bands) {
    if (b.Bottom <= R.Top) continue;
    if (b.Top >= R.Bottom) break;
    for (size_t i = 0; i + 1 < b.X.size(); i += 2)
      if (b.X[i] < R.Right && b.X[i + 1] > R.Left) return true;
  }
  return false;
}

bool TRegion::operator==(const TRegion& Other) const {
  if (Bands.size() != Other.Bands.size()) return false;
  for (size_t i = 0; i < Bands.size(); ++i)
    if (Bands[i].Top != Other.Bands[i].Top || Bands[i].Bottom != Other.Bands[i].Bottom ||
        Bands[i].X != Other.Bands[i].X)
      return false;
  return true;
}

}  // namespace gdi
