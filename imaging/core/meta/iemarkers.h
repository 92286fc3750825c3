// The application and comment markers of a JPEG picture kept as raw payloads,
// so that a picture read from a JPEG file can be written back with them.
#pragma once

#include <functional>
#include <vector>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// A marker's payload is the bytes after its 2-byte length field. The list takes
// up to 65535 bytes, but a JPEG segment holds at most 65533 (the length field
// counts itself): writers must check before they emit a marker.
class TIEMarkerList : public TObject {
 public:
  Integer GetCount() const { return static_cast<Integer>(FMarkers.size()); }
  // Index arguments outside 0..Count - 1 raise EListError.
  const Byte* GetMarkerData(Integer Index) const;  // valid until the marker changes
  Word GetMarkerLength(Integer Index) const;
  Byte GetMarkerType(Integer Index) const;         // 0xE0..0xEF APPn, 0xFE COM
  Integer IndexOf(Byte MarkerType) const;          // first of that type, -1 when none

  void AddMarker(Byte MarkerType, const void* Data, Word Length);
  void SetMarker(Integer Index, Byte MarkerType, const void* Data, Word Length);
  void DeleteMarker(Integer Index);
  void Clear() { FMarkers.clear(); }
  void Assign(const TIEMarkerList* Source);
  void Exchange(Integer I, Integer J);

  // type(I) - type(J); two ICC profile chunks (APP2 "ICC_PROFILE\0", more than
  // 13 bytes) compare by their sequence numbers instead.
  Integer CompareMarkers(Integer I, Integer J) const;
  // Orders the markers by type, keeping the order of equal markers; within APP2
  // other blocks come first, then the ICC chunks by sequence number. Then an
  // EXIF block is moved to the first APP1 place.
  void SortMarkers();

 private:
  struct TMarker {
    Byte Type;
    std::vector<Byte> Data;
  };
  void Check(Integer Index) const;
  std::vector<TMarker> FMarkers;
};

// In-place quicksort of Count items addressed by index through two callbacks;
// the middle item is the pivot and is followed through exchanges. It stays
// within 0..Count - 1 even when Compare is not a consistent order.
void IEQuickSort(Integer Count, const std::function<void(Integer, Integer)>& Exchange,
                 const std::function<Integer(Integer, Integer)>& Compare);
