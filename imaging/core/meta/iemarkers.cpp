// JPEG marker list and the generic index quicksort.
#include "imaging/core/meta/iemarkers.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include "platform/base/sysutils.h"

namespace {

std::vector<Byte> CopyOf(const void* Data, Word Length) {
  if (Length == 0 || Data == nullptr) return {};
  const Byte* p = static_cast<const Byte*>(Data);
  return std::vector<Byte>(p, p + Length);
}

// An APP2 chunk of an ICC profile: "ICC_PROFILE\0", sequence number, count.
bool IsICCChunk(Byte Type, const std::vector<Byte>& Data) {
  return Type == 0xE2 && Data.size() > 13 && std::memcmp(Data.data(), "ICC_PROFILE", 12) == 0;
}

// The EXIF block header "Exif\0".
bool IsEXIF(const std::vector<Byte>& Data) {
  return Data.size() >= 5 && std::memcmp(Data.data(), "Exif", 5) == 0;
}

}  // namespace

void TIEMarkerList::Check(Integer Index) const {
  if (Index < 0 || Index >= GetCount())
    throw EListError(("List index out of bounds (" + std::to_string(Index) + ")").c_str());
}

const Byte* TIEMarkerList::GetMarkerData(Integer Index) const {
  Check(Index);
  return FMarkers[Index].Data.data();
}

Word TIEMarkerList::GetMarkerLength(Integer Index) const {
  Check(Index);
  return static_cast<Word>(FMarkers[Index].Data.size());
}

Byte TIEMarkerList::GetMarkerType(Integer Index) const {
  Check(Index);
  return FMarkers[Index].Type;
}

Integer TIEMarkerList::IndexOf(Byte MarkerType) const {
  for (Integer i = 0; i < GetCount(); ++i)
    if (FMarkers[i].Type == MarkerType) return i;
  return -1;
}

void TIEMarkerList::AddMarker(Byte MarkerType, const void* Data, Word Length) {
  FMarkers.push_back({MarkerType, CopyOf(Data, Length)});
}

void TIEMarkerList::SetMarker(Integer Index, Byte MarkerType, const void* Data, Word Length) {
  Check(Index);
  FMarkers[Index] = {MarkerType, CopyOf(Data, Length)};
}

void TIEMarkerList::DeleteMarker(Integer Index) {
  Check(Index);
  FMarkers.erase(FMarkers.begin() + Index);
}

void TIEMarkerList::Assign(const TIEMarkerList* Source) {
  if (Source == nullptr || Source == this) return;
  FMarkers = Source->FMarkers;
}

void TIEMarkerList::Exchange(Integer I, Integer J) {
  Check(I);
  Check(J);
  std::swap(FMarkers[I], FMarkers[J]);
}

Integer TIEMarkerList::CompareMarkers(Integer I, Integer J) const {
  Check(I);
  Check(J);
  const TMarker& a = FMarkers[I];
  const TMarker& b = FMarkers[J];
  if (IsICCChunk(a.Type, a.Data) && IsICCChunk(b.Type, b.Data)) return Integer(a.Data[12]) - Integer(b.Data[12]);
  return Integer(a.Type) - Integer(b.Type);
}

void TIEMarkerList::SortMarkers() {
  // CompareMarkers is not a strict weak ordering (an ICC chunk equals a plain
  // APP2 block but not another chunk), so sort by a total key instead, stable
  // for markers that compare equal.
  struct Key {
    Byte Type;
    bool ICC;
    Byte Sequence;
  };
  std::vector<Key> keys(FMarkers.size());
  for (size_t i = 0; i < FMarkers.size(); ++i) {
    const bool icc = IsICCChunk(FMarkers[i].Type, FMarkers[i].Data);
    keys[i] = {FMarkers[i].Type, icc, icc ? FMarkers[i].Data[12] : Byte(0)};
  }
  std::vector<size_t> order(FMarkers.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const Key& x = keys[a];
    const Key& y = keys[b];
    if (x.Type != y.Type) return x.Type < y.Type;
    if (x.ICC != y.ICC) return !x.ICC;
    return x.Sequence < y.Sequence;
  });
  std::vector<TMarker> sorted;
  sorted.reserve(FMarkers.size());
  for (size_t i : order) sorted.push_back(std::move(FMarkers[i]));
  FMarkers = std::move(sorted);

  // Readers take the first APP1 block as the EXIF block.
  const Integer first = IndexOf(0xE1);
  if (first < 0) return;
  for (Integer j = first + 1; j < GetCount(); ++j)
    if (FMarkers[j].Type == 0xE1 && IsEXIF(FMarkers[j].Data)) Exchange(first, j);
}

namespace {

void QuickSortRange(Integer L, Integer R, const std::function<void(Integer, Integer)>& Exchange,
                    const std::function<Integer(Integer, Integer)>& Compare) {
  Integer i;
  do {
    i = L;
    Integer j = R;
    Integer p = static_cast<Integer>(L + (static_cast<Cardinal>(R - L) >> 1));
    do {
      // The bounds keep an inconsistent Compare from walking off the range.
      while (i < R && Compare(i, p) < 0) ++i;
      while (j > L && Compare(j, p) > 0) --j;
      if (i <= j) {
        if (i != j) {
          Exchange(i, j);
          if (p == i) p = j;
          else if (p == j) p = i;
        }
        ++i;
        --j;
      }
    } while (i <= j);
    if (L < j) QuickSortRange(L, j, Exchange, Compare);
    L = i;
  } while (i < R);
}

}  // namespace

void IEQuickSort(Integer Count, const std::function<void(Integer, Integer)>& Exchange,
                 const std::function<Integer(Integer, Integer)>& Compare) {
  if (Count <= 0) return;
  QuickSortRange(0, Count - 1, Exchange, Compare);
}
