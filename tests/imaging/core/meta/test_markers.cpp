// JPEG marker list: payload copies, sort order of markers and ICC chunks, EXIF first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/meta/iemarkers.h"
#include "platform/base/sysutils.h"

namespace test_markers_tests {

namespace {

void Add(TIEMarkerList& l, Byte type, const std::string& payload) {
  l.AddMarker(type, payload.data(), static_cast<Word>(payload.size()));
}

std::string Payload(const TIEMarkerList& l, Integer i) {
  return std::string(reinterpret_cast<const char*>(l.GetMarkerData(i)), l.GetMarkerLength(i));
}

// "ICC_PROFILE\0", sequence number, chunk count, then profile bytes.
std::string IccChunk(Byte seq, const std::string& body = "profile-bytes") {
  return std::string("ICC_PROFILE\0", 12) + char(seq) + char(3) + body;
}

std::vector<std::string> Describe(const TIEMarkerList& l) {
  std::vector<std::string> r;
  for (Integer i = 0; i < l.GetCount(); ++i) {
    char head[8];
    std::snprintf(head, sizeof head, "%02X:", l.GetMarkerType(i));
    r.push_back(head + Payload(l, i));
  }
  return r;
}

TEST(TIEMarkerList, KeepsCopiesAndRangeChecksIndexes) {
  TIEMarkerList l;
  std::string app1("Exif\0\0data", 10);
  Add(l, 0xE1, app1);
  app1[0] = 'X';  // the list owns a copy
  Add(l, 0xFE, "");
  EXPECT_EQ(Payload(l, 0), std::string("Exif\0\0data", 10));
  EXPECT_EQ(l.GetMarkerLength(1), 0);
  EXPECT_EQ(l.IndexOf(0xFE), 1);
  EXPECT_EQ(l.IndexOf(0xE0), -1);
  l.SetMarker(0, 0xED, "abc", 3);
  EXPECT_EQ(l.GetMarkerType(0), 0xED);
  EXPECT_EQ(Payload(l, 0), "abc");
  for (Integer bad : {-1, 2}) {
    EXPECT_THROW(l.GetMarkerData(bad), EListError);
    EXPECT_THROW(l.GetMarkerType(bad), EListError);
    EXPECT_THROW(l.DeleteMarker(bad), EListError);
    EXPECT_THROW(l.Exchange(0, bad), EListError);
  }
  l.DeleteMarker(0);
  EXPECT_EQ(l.GetCount(), 1);
  EXPECT_EQ(l.GetMarkerType(0), 0xFE);
  std::string big(65535, 'z');
  Add(l, 0xE5, big);
  EXPECT_EQ(l.GetMarkerLength(1), 65535);
}

TEST(TIEMarkerList, AssignCopiesOrIgnoresNil) {
  TIEMarkerList a, b, empty;
  Add(a, 0xE0, "JFIF");
  Add(a, 0xFE, "note");
  b.Assign(nullptr);
  EXPECT_EQ(b.GetCount(), 0);
  b.Assign(&a);
  EXPECT_EQ(Describe(b), Describe(a));
  b.Assign(nullptr);
  EXPECT_EQ(b.GetCount(), 2);
  b.Assign(&empty);
  EXPECT_EQ(b.GetCount(), 0);
}

TEST(TIEMarkerList, SortOrders) {
  const std::string plainApp2 = "FPXR-block-not-icc";
  const std::string shortIcc = std::string("ICC_PROFILE\0", 12) + char(0);  // 13 bytes: no chunk
  const struct {
    const char* name;
    std::vector<std::pair<Byte, std::string>> in;
    std::vector<std::pair<Byte, std::string>> out;
  } cases[] = {
      {"by type", {{0xED, "p"}, {0xE1, "x"}, {0xE0, "j"}}, {{0xE0, "j"}, {0xE1, "x"}, {0xED, "p"}}},
      {"icc chunks by sequence",
       {{0xE2, IccChunk(3)}, {0xE2, IccChunk(1)}, {0xE2, IccChunk(2)}},
       {{0xE2, IccChunk(1)}, {0xE2, IccChunk(2)}, {0xE2, IccChunk(3)}}},
      // Other APP2 blocks among the chunks: they keep their order before the
      // chunks, which still end in sequence.
      {"icc among other app2",
       {{0xE2, IccChunk(2)}, {0xE2, plainApp2 + "1"}, {0xE2, IccChunk(3)}, {0xFE, "c"},
        {0xE2, plainApp2 + "2"}, {0xE2, IccChunk(1)}, {0xE2, shortIcc}},
       {{0xE2, plainApp2 + "1"}, {0xE2, plainApp2 + "2"}, {0xE2, shortIcc}, {0xE2, IccChunk(1)},
        {0xE2, IccChunk(2)}, {0xE2, IccChunk(3)}, {0xFE, "c"}}},
      {"equal markers stay in order",
       {{0xFE, "3"}, {0xE0, "a"}, {0xFE, "1"}, {0xFE, "2"}, {0xE0, "b"}},
       {{0xE0, "a"}, {0xE0, "b"}, {0xFE, "3"}, {0xFE, "1"}, {0xFE, "2"}}},
      {"exif first among app1",
       {{0xE1, "http://xmp"}, {0xE1, std::string("Exif\0\0", 6) + "II"}},
       {{0xE1, std::string("Exif\0\0", 6) + "II"}, {0xE1, "http://xmp"}}},
      {"exif from the back swaps with the first app1",
       {{0xE1, "xmp"}, {0xE1, "other"}, {0xE0, "j"}, {0xE1, std::string("Exif\0", 5)}},
       {{0xE0, "j"}, {0xE1, std::string("Exif\0", 5)}, {0xE1, "other"}, {0xE1, "xmp"}}},
      {"exif already first", {{0xE1, std::string("Exif\0x", 6)}, {0xE1, "xmp"}},
       {{0xE1, std::string("Exif\0x", 6)}, {0xE1, "xmp"}}},
  };
  for (const auto& c : cases) {
    TIEMarkerList l, expected;
    for (const auto& [t, p] : c.in) Add(l, t, p);
    for (const auto& [t, p] : c.out) Add(expected, t, p);
    l.SortMarkers();
    EXPECT_EQ(Describe(l), Describe(expected)) << c.name;
  }
}

TEST(TIEMarkerList, CompareMarkers) {
  TIEMarkerList l;
  Add(l, 0xE2, IccChunk(5));
  Add(l, 0xE2, IccChunk(2));
  Add(l, 0xE2, "plain");
  Add(l, 0xE0, "j");
  EXPECT_EQ(l.CompareMarkers(0, 1), 3);
  EXPECT_EQ(l.CompareMarkers(0, 2), 0);  // chunk and plain APP2: by type only
  EXPECT_EQ(l.CompareMarkers(3, 2), -2);
}

TEST(IEQuickSort, SortsByIndexAndStaysInRange) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 3, 17, 200}) {
    std::vector<int> v(n);
    for (int& x : v) x = static_cast<int>(rng() % 10);
    std::vector<int> expected = v;
    std::sort(expected.begin(), expected.end());
    IEQuickSort(
        n, [&](Integer i, Integer j) { std::swap(v.at(i), v.at(j)); },
        [&](Integer i, Integer j) { return v.at(i) - v.at(j); });
    EXPECT_EQ(v, expected) << n;
  }
  // A comparison that is no order at all must not lead outside the items.
  std::vector<int> w(50);
  IEQuickSort(
      50, [&](Integer i, Integer j) { std::swap(w.at(i), w.at(j)); },
      [&](Integer i, Integer j) {
        EXPECT_TRUE(i >= 0 && i < 50 && j >= 0 && j < 50);
        return static_cast<Integer>(rng() % 3) - 1;
      });
}

}  // namespace

}  // namespace test_markers_tests
