// Typed lists, view settings records and hit-testing distances.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "imaging/core/base/ielists.h"

namespace test_lists_tests {

namespace {

TEST(TIEList, FlagsFollowWhatChanged) {
  TIEIntegerList l;
  EXPECT_EQ(l.Count(), 0);
  EXPECT_EQ(l.ItemSize(), 4);
  EXPECT_EQ(l.Changed, 0);
  EXPECT_EQ(l.Add(5), 0);
  EXPECT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Changed, ieclItems);
  l.Changed = 0;
  l.SetRangeMin(1);
  EXPECT_EQ(l.Changed, ieclRange);
  l.Changed = 0;
  l.SetCurrentValue(3);
  EXPECT_EQ(l.Changed, ieclCurrentValue);
  l.Clear();
  EXPECT_EQ(l.Changed, 0);
  EXPECT_EQ(l.ItemSize(), 4);
  EXPECT_EQ(l.RangeMin, 0);
  EXPECT_EQ(l.CurrentValue, 0);
}

TEST(TIEList, CapacityGrowsByDoublingAndShrinkKeepsBlock) {
  TIEDoubleList l;
  EXPECT_EQ(l.ItemSize(), 8);
  const struct { Integer n, capacity; } steps[] = {{1, 1}, {2, 2}, {3, 4}, {10, 10}, {4, 10}, {11, 20}};
  for (const auto& s : steps) {
    l.SetCount(s.n);
    EXPECT_EQ(l.Count(), s.n);
    EXPECT_EQ(l.Capacity(), s.capacity) << s.n;
  }
  // Items kept across growth; new items start at zero.
  TIEIntegerList k;
  for (Integer v : {7, 8, 9}) k.Add(v);
  k.SetCount(2);
  k.SetCount(5);
  EXPECT_EQ(k.GetItem(0), 7);
  EXPECT_EQ(k.GetItem(1), 8);
  EXPECT_EQ(k.GetItem(2), 0);
  EXPECT_EQ(k.GetItem(4), 0);
}

TEST(TIEList, DeleteIgnoresBadIndexAndShrinksToFit) {
  TIEIntegerList l;
  for (Integer v : {10, 20, 30, 40}) l.Add(v);
  l.Changed = 0;
  l.Delete(-1);
  l.Delete(4);
  EXPECT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Changed, 0);
  l.Delete(1);
  ASSERT_EQ(l.Count(), 3);
  EXPECT_EQ(l.Capacity(), 3);
  EXPECT_EQ(l.GetItem(0), 10);
  EXPECT_EQ(l.GetItem(1), 30);
  EXPECT_EQ(l.GetItem(2), 40);
  EXPECT_EQ(l.Changed, ieclItems);
  TIEIntegerList one;
  one.Add(1);
  one.Delete(0);
  EXPECT_EQ(one.Count(), 0);
  EXPECT_EQ(one.Capacity(), 0);
  EXPECT_EQ(one.Data(), nullptr);
}

TEST(TIEList, AssignCopiesItemsRangeAndGrowsAfterwards) {
  TIEIntegerList a, b;
  for (Integer v : {1, 2, 3, 4, 5}) a.Add(v);
  a.SetRangeMin(-3);
  a.SetRangeMax(9);
  a.SetRangeStep(2);
  a.SetCurrentValue(4);
  b.Add(99);
  b.Assign(&a);
  EXPECT_EQ(b.Count(), 5);
  EXPECT_EQ(b.Capacity(), 5);
  EXPECT_EQ(b.Changed, a.Changed);
  EXPECT_EQ(b.RangeMin, -3);
  EXPECT_EQ(b.RangeMax, 9);
  EXPECT_EQ(b.RangeStep, 2);
  EXPECT_EQ(b.CurrentValue, 4);
  EXPECT_EQ(b.Add(6), 5);  // grows from the exact-fit block
  EXPECT_EQ(b.Capacity(), 10);
  for (Integer i = 0; i < 6; ++i) EXPECT_EQ(b.GetItem(i), i + 1);
  b.Assign(nullptr);
  EXPECT_EQ(b.Count(), 6);
  // A list of another class gives its items but no range.
  TIEDoubleList d;
  d.SetRangeMax(7.5);
  d.Add(1.0);
  TIEIntegerList c;
  c.SetRangeMax(3);
  c.Assign(&d);
  EXPECT_EQ(c.ItemSize(), 8);
  EXPECT_EQ(c.RangeMax, 3);
}

TEST(TIEList, IndexOfComparesBytes) {
  TIEDoubleList d;
  d.Add(0.0);
  d.Add(2.5);
  EXPECT_EQ(d.IndexOf(2.5), 1);
  EXPECT_EQ(d.IndexOf(-0.0), -1);
  EXPECT_EQ(d.IndexOf(0.0), 0);
  d.SetItem(0, -0.0);
  EXPECT_EQ(d.IndexOf(-0.0), 0);
  d.SetItem(5, 1.0);  // outside: nothing
  EXPECT_EQ(d.Count(), 2);
}

TEST(TIERecordList, KeepsRecordSizeAcrossClear) {
  struct Rec { Integer x, y; Byte tag; };
  TIERecordList l(sizeof(Rec));
  Rec r1{1, 2, 3}, r2{4, 5, 6};
  EXPECT_EQ(l.AddItem(&r1), 0);
  EXPECT_EQ(l.AddItem(&r2), 1);
  EXPECT_EQ(std::memcmp(l.GetItem(1), &r2, sizeof(Rec)), 0);
  EXPECT_EQ(l.IndexOfItem(&r2), 1);
  l.Clear();
  EXPECT_EQ(l.ItemSize(), static_cast<Integer>(sizeof(Rec)));
  EXPECT_EQ(l.AddItem(&r1), 0);
}

TEST(ViewSettings, Defaults) {
  TIEScrollBarParams s;
  EXPECT_EQ(s.LineStep, -1);
  EXPECT_EQ(s.PageStep, -1);
  EXPECT_TRUE(s.Tracking);
  TIEMouseWheelParams w;
  EXPECT_FALSE(w.InvertDirection);
  EXPECT_EQ(w.Action, 2);
  EXPECT_EQ(w.Variation, 1);
  EXPECT_EQ(w.Value, 8);
  EXPECT_FALSE(w.ZoomAtCursor);
}

TEST(Distances, PointToSegment) {
  const struct { Integer x, y, x1, y1, x2, y2; double d; } cases[] = {
      {0, 0, 10, -5, 10, 5, 10},            // perpendicular foot inside
      {0, 0, 20, 0, 30, 0, 20},             // before the start
      {40, 0, 20, 0, 30, 0, 10},            // after the end
      {3, 4, 0, 0, 0, 0, 5},                // zero-length segment
      {0, 0, 200000, 0, 100000, 0, 1000000},  // beyond the end, far away: "far"
      {0, 0, -100000, 0, -50000, 0, 1000000},
      // Far-apart points that overflow 32-bit squares still measure right.
      {0, 0, -2000000000, 10, 2000000000, 10, 10},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(IEDistPointSegment(c.x, c.y, c.x1, c.y1, c.x2, c.y2), c.d, 1e-9)
        << c.x << "," << c.y << " to " << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
  EXPECT_DOUBLE_EQ(IEDistance(0, 0, 3, 4), 5);
  EXPECT_DOUBLE_EQ(IEDistance(-2000000000, 0, 2000000000, 0), 4e9);
  EXPECT_DOUBLE_EQ(IEDistPointLine(0, 0, 10, -5, 10, 5), 10);
  EXPECT_DOUBLE_EQ(IEDistPointLine(100, 3, 0, 0, 10, 0), 3);  // the infinite line
}

TEST(Distances, Polyline) {
  EXPECT_EQ(IEDistPointPolyline(0, 0, nullptr, 0, 0, 0, 0, 0, 1, 1, 1, false), 1000000);
  const Integer tri[] = {0, 0, 10, 0, 10, 10};
  // (2, 5) lies 5 from the first side and 3/sqrt(2) from the closing side.
  const double toHyp = std::fabs(2.0 - 5.0) / std::sqrt(2.0);
  EXPECT_NEAR(IEDistPointPolyline(2, 5, tri, 3, 0, 0, 0, 0, 1, 1, 1, true), toHyp, 1e-9);
  EXPECT_NEAR(IEDistPointPolyline(2, 5, tri, 3, 0, 0, 0, 0, 1, 1, 1, false), 5, 1e-9);
  // Mapping to the view: (p - Src) x Zoom + Dst.
  EXPECT_NEAR(IEDistPointPolyline(15, 105, tri, 3, 0, 0, 5, 100, 2, 2, 1, false), 5, 1e-9);
  // A wide pen: a point within half its width counts as on the line.
  EXPECT_EQ(IEDistPointPolyline(5, 3, tri, 2, 0, 0, 0, 0, 1, 1, 7, false), 0);
  EXPECT_NEAR(IEDistPointPolyline(5, 8, tri, 2, 0, 0, 0, 0, 1, 1, 6, false), 5, 1e-9);
}

}  // namespace

namespace {

TEST(Processor, MMXIsReportedOnX86) {
#if defined(__x86_64__)
  EXPECT_TRUE(IEHasMMX());  // every x86-64 processor has it
#elif !defined(__i386__)
  EXPECT_FALSE(IEHasMMX());  // no such instruction set elsewhere
#endif
}

}  // namespace

}  // namespace test_lists_tests
