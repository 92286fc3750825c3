// Typed lists and hit-testing distances.
#include "imaging/core/base/ielists.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/base/sysutils.h"

namespace {

void* AllocItems(int64_t Items, Integer ItemSize) {
  const int64_t bytes = Items * ItemSize;
  if (bytes <= 0) return nullptr;
  void* p = std::malloc(static_cast<size_t>(bytes));
  if (p == nullptr) throw EOutOfMemory("Out of memory");
  return p;
}

}  // namespace

TIEList::~TIEList() { FreeData(); }

void TIEList::FreeData() {
  std::free(FData);
  FData = nullptr;
}

void TIEList::Clear() {
  FreeData();
  FCapacity = 0;
  FCount = 0;
  Changed = 0;
}

void TIEList::SetCount(Integer N) {
  if (N < 0) N = 0;
  if (FCapacity < N) {
    // Doubling is computed in 64 bits and kept within Integer.
    const int64_t cap = std::min<int64_t>(std::max<int64_t>(2 * int64_t{FCapacity}, N),
                                          std::numeric_limits<Integer>::max());
    void* block = AllocItems(cap, FItemSize);
    if (FData != nullptr && block != nullptr)
      std::memcpy(block, FData, static_cast<size_t>(std::min(FCount, N)) * FItemSize);
    FreeData();
    FData = block;
    FCapacity = static_cast<Integer>(cap);
  }
  if (N > FCount && FData != nullptr)
    std::memset(GetItemAddress(FCount), 0, static_cast<size_t>(N - FCount) * FItemSize);
  FCount = N;
  Changed |= ieclItems;
}

Integer TIEList::AddItem(const void* Item) {
  SetCount(FCount + 1);
  if (FItemSize > 0) std::memcpy(GetItemAddress(FCount - 1), Item, FItemSize);
  Changed |= ieclItems;
  return FCount - 1;
}

void TIEList::Delete(Integer Index) {
  if (Index < 0 || Index >= FCount) return;
  void* block = AllocItems(FCount - 1, FItemSize);
  if (block != nullptr) {
    const size_t before = static_cast<size_t>(Index) * FItemSize;
    const size_t after = static_cast<size_t>(FCount - 1 - Index) * FItemSize;
    std::memcpy(block, FData, before);
    std::memcpy(static_cast<Byte*>(block) + before, static_cast<Byte*>(GetItemAddress(Index + 1)), after);
  }
  FreeData();
  FData = block;
  FCount = FCount - 1;
  FCapacity = FCount;
  Changed |= ieclItems;
}

Integer TIEList::IndexOfItem(const void* Item) const {
  for (Integer i = 0; i < FCount; ++i)
    if (std::memcmp(GetItemAddress(i), Item, FItemSize) == 0) return i;
  return -1;
}

void TIEList::SetItem(Integer Index, const void* Item) {
  if (Index >= 0 && Index < FCount && FItemSize > 0) std::memcpy(GetItemAddress(Index), Item, FItemSize);
  Changed |= ieclItems;
}

void TIEList::Assign(const TIEList* Source) {
  if (Source == nullptr || Source == this) return;
  void* block = AllocItems(Source->FCount, Source->FItemSize);
  if (block != nullptr)
    std::memcpy(block, Source->FData, static_cast<size_t>(Source->FCount) * Source->FItemSize);
  FreeData();
  FData = block;
  FCount = Source->FCount;
  FCapacity = Source->FCount;
  FItemSize = Source->FItemSize;
  Changed = Source->Changed;
}

// --- distances -------------------------------------------------------------

namespace {

constexpr Double kFar = 1000000.0;

Double Hypot(Double dx, Double dy) { return std::sqrt(dx * dx + dy * dy); }

}  // namespace

// Coordinates differ by up to 2^32, so squares and products are taken in
// floating point: exact for every picture-sized value, and never wrapping.
Double IEDistance(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  return Hypot(Double(X2) - X1, Double(Y2) - Y1);
}

Double IEDistPointLine(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const Double len = IEDistance(X1, Y1, X2, Y2);
  if (len == 0) return IEDistance(X, Y, X1, Y1);  // no line: the distance to its one point
  // Relative to (X1, Y1), which keeps the products small for nearby points.
  const Double px = Double(X) - X1, py = Double(Y) - Y1;
  const Double dx = Double(X2) - X1, dy = Double(Y2) - Y1;
  return std::fabs(px * dy - py * dx) / len;
}

Double IEDistPointSegment(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  const Double dx = Double(X2) - X1, dy = Double(Y2) - Y1;
  const Double len2 = dx * dx + dy * dy;
  if (len2 == 0) return IEDistance(X, Y, X1, Y1);
  const Double t = ((Double(X) - X1) * dx + (Double(Y) - Y1) * dy) / len2;
  auto nearEnd = [&](Integer EX, Integer EY) {
    if (std::fabs(Double(X) - EX) > 45000 || std::fabs(Double(Y) - EY) > 45000) return kFar;
    return IEDistance(X, Y, EX, EY);
  };
  if (t > 1) return nearEnd(X2, Y2);
  if (t < 0) return nearEnd(X1, Y1);
  return IEDistPointLine(X, Y, X1, Y1, X2, Y2);
}

Double IEDistPointPolyline(Integer X, Integer Y, const Integer* Points, Integer PointCount, Integer SrcX,
                           Integer SrcY, Integer DstX, Integer DstY, Double ZoomX, Double ZoomY,
                           Integer PenWidth, Boolean Closed) {
  Double best = kFar;
  if (PointCount <= 0 || Points == nullptr) return best;
  auto toView = [](Double v) {
    const Double lim = std::numeric_limits<Integer>::max();
    if (!(v > -lim)) return -std::numeric_limits<Integer>::max();  // also NaN
    if (v > lim) return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(Round(v));
  };
  auto mapX = [&](Integer i) { return toView((Double(Points[2 * i]) - SrcX) * ZoomX + DstX); };
  auto mapY = [&](Integer i) { return toView((Double(Points[2 * i + 1]) - SrcY) * ZoomY + DstY); };
  // A wide pen covers every point within half its width of the centre line:
  // measuring against the segment shifted anywhere within that radius gives
  // the centre-line distance less the half width.
  const Double half = PenWidth > 1 ? PenWidth / 2.0 : 0;
  auto measure = [&](Integer a, Integer b) {
    Double d = IEDistPointSegment(X, Y, mapX(a), mapY(a), mapX(b), mapY(b));
    if (half > 0 && d < kFar) d = std::max(0.0, d - half);
    best = std::min(best, d);
  };
  for (Integer i = 0; i + 1 < PointCount; ++i) measure(i, i + 1);
  if (Closed) measure(PointCount - 1, 0);
  return best;
}

Boolean IEHasMMX() {
#if defined(__i386__) || defined(__x86_64__)
  return __builtin_cpu_supports("mmx");
#else
  return false;
#endif
}
