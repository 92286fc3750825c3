// Growable arrays of equal-sized items with change flags (scanner capabilities,
// magic-wand records), the view's scroll-bar and mouse-wheel settings, and the
// distance routines of hit-testing.
#pragma once

#include <cstddef>

#include "platform/base/classes.h"
#include "platform/base/types.h"

// Bits of TIEList::Changed; the owner of the list clears them.
constexpr Byte ieclItems = 1;
constexpr Byte ieclRange = 2;
constexpr Byte ieclCurrentValue = 4;

// Raw items of ItemSize bytes each. Index arguments of GetItemAddress and the
// typed GetItem are not range-tested (callers index within 0..Count - 1).
class TIEList : public TObject {
 public:
  TIEList() { TIEList::Clear(); }
  ~TIEList() override;

  Integer Capacity() const { return FCapacity; }
  Integer Count() const { return FCount; }
  Integer ItemSize() const { return FItemSize; }
  void* Data() const { return FData; }
  Byte Changed = 0;

  // Grows the block to max(2 x Capacity, N) when needed; shrinking keeps it.
  // Items beyond the old Count are zero (never stale heap bytes).
  virtual void SetCount(Integer N);
  // Removes Index; the block is reallocated to exactly Count - 1 items.
  // An Index outside 0..Count - 1 does nothing.
  virtual void Delete(Integer Index);
  virtual void Clear();
  // Count, ItemSize, Changed and the items of Source; Capacity = Count.
  virtual void Assign(const TIEList* Source);

  Integer AddItem(const void* Item);
  Integer IndexOfItem(const void* Item) const;
  void* GetItemAddress(Integer Index) const {
    return static_cast<Byte*>(FData) + static_cast<ptrdiff_t>(Index) * FItemSize;
  }
  // Copies the item when Index lies within the list.
  void SetItem(Integer Index, const void* Item);

 protected:
  void FreeData();
  Integer FCapacity = 0;
  Integer FCount = 0;
  Integer FItemSize = 0;
  void* FData = nullptr;
};

// Values with an allowed range and a current value: a scanner capability.
template <typename T>
class TIEValueList : public TIEList {
 public:
  TIEValueList() { TIEValueList::Clear(); }
  void Clear() override {
    TIEList::Clear();
    FItemSize = sizeof(T);
    RangeMin = RangeMax = RangeStep = CurrentValue = T();
  }
  // The range and current value are copied only from a list of the same class.
  void Assign(const TIEList* Source) override {
    TIEList::Assign(Source);
    if (auto* s = dynamic_cast<const TIEValueList<T>*>(Source)) {
      RangeMin = s->RangeMin;
      RangeMax = s->RangeMax;
      RangeStep = s->RangeStep;
      CurrentValue = s->CurrentValue;
    }
  }
  Integer Add(T V) { return AddItem(&V); }
  T GetItem(Integer Index) const { return *static_cast<const T*>(GetItemAddress(Index)); }
  void SetItem(Integer Index, T V) { TIEList::SetItem(Index, &V); }
  // Byte comparison: for doubles 0.0 and -0.0 differ.
  Integer IndexOf(T V) const { return IndexOfItem(&V); }

  T RangeMin, RangeMax, RangeStep, CurrentValue;
  void SetRangeMin(T V) { RangeMin = V; Changed |= ieclRange; }
  void SetRangeMax(T V) { RangeMax = V; Changed |= ieclRange; }
  void SetRangeStep(T V) { RangeStep = V; Changed |= ieclRange; }
  void SetCurrentValue(T V) { CurrentValue = V; Changed |= ieclCurrentValue; }
};

class TIEIntegerList : public TIEValueList<Integer> {};
class TIEDoubleList : public TIEValueList<Double> {};

// Items of any record size.
class TIERecordList : public TIEList {
 public:
  explicit TIERecordList(Integer RecordSize) { FItemSize = RecordSize < 0 ? 0 : RecordSize; }
  void Clear() override {
    Integer size = FItemSize;
    TIEList::Clear();
    FItemSize = size;
  }
  void* GetItem(Integer Index) const { return GetItemAddress(Index); }
};

class TIEScrollBarParams : public TObject {
 public:
  Integer LineStep = -1;  // -1: one step of the view's own size
  Integer PageStep = -1;  // -1: one page of the view
  Boolean Tracking = true;
};

class TIEMouseWheelParams : public TObject {
 public:
  Boolean InvertDirection = false;
  Byte Action = 2;     // 0 nothing, 1 scroll, 2 zoom
  Byte Variation = 1;  // 0 absolute, 1 percent
  Integer Value = 8;
  Boolean ZoomAtCursor = false;
};

// Distances for hit-testing. Products are computed in floating point, so
// far-apart points give true distances instead of wrapped ones.
Double IEDistance(Integer X1, Integer Y1, Integer X2, Integer Y2);
Double IEDistPointLine(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
// Beyond an end of the segment, points more than 45000 away on an axis count
// as 1000000 ("far"), which hit-testing relies on.
Double IEDistPointSegment(Integer X, Integer Y, Integer X1, Integer Y1, Integer X2, Integer Y2);
// Points: PointCount (x, y) pairs in picture coordinates, mapped to the view by
// (p - Src) x Zoom + Dst. Wide pens: a point within half the pen width of a
// segment counts as near it. 1000000 when there is nothing to measure.
Double IEDistPointPolyline(Integer X, Integer Y, const Integer* Points, Integer PointCount, Integer SrcX,
                           Integer SrcY, Integer DstX, Integer DstY, Double ZoomX, Double ZoomY,
                           Integer PenWidth, Boolean Closed);
Boolean IEHasMMX();
