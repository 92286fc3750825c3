// IPTC record list: block layout, parsing limits on hostile input, code page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/meta/ieiptc.h"
#include "platform/base/sysutils.h"

namespace test_iptc_tests {

namespace {

using Bytes = std::vector<Byte>;

Bytes B(std::initializer_list<int> v) {
  Bytes r;
  for (int x : v) r.push_back(static_cast<Byte>(x));
  return r;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string Text(const TIEIPTCInfoList& l, Integer i) {
  const Bytes& d = l.GetData(i);
  return std::string(d.begin(), d.end());
}

// Loads from a heap block of exactly the data's size, so that the sanitizer
// sees any read past its end.
bool Load(TIEIPTCInfoList& l, const Bytes& data) {
  std::unique_ptr<Byte[]> exact(new Byte[data.size()]);
  std::copy(data.begin(), data.end(), exact.get());
  return l.LoadFromBuffer(exact.get(), static_cast<Integer>(data.size()));
}

const Bytes kPhotoshop = Cat({Str("Photoshop 3.0"), B({0})});

Bytes Resource(const std::string& sig, int id, const Bytes& name, const Bytes& data) {
  Bytes r = Cat({Str(sig), B({id >> 8, id & 0xFF, static_cast<int>(name.size())}), name});
  if ((1 + name.size()) % 2) r.push_back(0);
  const size_t n = data.size();
  r.insert(r.end(), {Byte(n >> 24), Byte(n >> 16), Byte(n >> 8), Byte(n)});
  r.insert(r.end(), data.begin(), data.end());
  if (n % 2) r.push_back(0);
  return r;
}

TEST(IPTCSave, GoldenBlocks) {
  TIEIPTCInfoList l;
  l.AddStringItem(2, 5, "abc");
  Bytes plain, wrapped;
  l.SaveToBuffer(plain, false);
  EXPECT_EQ(plain, B({0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x1C, 0x02, 0x05, 0x00, 0x03, 'a', 'b', 'c', 0x00}));
  l.SaveToBuffer(wrapped, true);
  EXPECT_EQ(wrapped, Cat({kPhotoshop, Str("8BIM"), B({0x04, 0x04, 0, 0, 0, 0, 0, 8}),
                          B({0x1C, 0x02, 0x05, 0x00, 0x03, 'a', 'b', 'c'})}));
  EXPECT_EQ(wrapped.size(), 34u);

  // The record version alone: the prefix (and a pad byte), or the bare header.
  TIEIPTCInfoList v;
  v.AddStringItem(2, 0, std::string("\0\4", 2));
  v.AddBufferItem(2, 10, nullptr, 0);  // empty datasets are not written
  v.SaveToBuffer(plain, false);
  EXPECT_EQ(plain, B({0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x00}));
  v.SaveToBuffer(wrapped, true);
  EXPECT_EQ(wrapped.size(), 26u);
  EXPECT_EQ(Bytes(wrapped.begin() + 22, wrapped.end()), B({0, 0, 0, 0}));

  TIEIPTCInfoList none;
  none.SaveToBuffer(plain, true);
  EXPECT_TRUE(plain.empty());
}

TEST(IPTCSave, ExtendedLengthRoundTrip) {
  TIEIPTCInfoList l;
  Bytes big(40000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<Byte>(i * 7);
  l.AddBufferItem(2, 202, big.data(), static_cast<Integer>(big.size()));
  l.AddStringItem(2, 25, "kw");
  Bytes block;
  l.SaveToBuffer(block, true);
  EXPECT_EQ(Bytes(block.begin() + 26, block.begin() + 35), B({0x1C, 0x02, 0xCA, 0x80, 0x04, 0x00, 0x00, 0x9C, 0x40}));
  const uint32_t size = block[22] << 24 | block[23] << 16 | block[24] << 8 | block[25];
  EXPECT_EQ(size, 9u + 40000u + 7u);
  TIEIPTCInfoList back;
  ASSERT_TRUE(Load(back, block));
  ASSERT_EQ(back.GetCount(), 2);
  EXPECT_EQ(back.GetData(0), big);
  EXPECT_EQ(back.GetDataSet(0), 202);
  EXPECT_EQ(Text(back, 1), "kw");
}

TEST(IPTCLoad, ReadsBackInOrderWithoutRecordVersion) {
  TIEIPTCInfoList l;
  l.AddStringItem(2, 0, std::string("\0\4", 2));
  l.AddStringItem(2, 25, "one");
  l.AddStringItem(2, 120, "caption");
  l.AddStringItem(2, 25, "two");
  l.AddStringItem(1, 90, "\x1b%G");
  l.AddStringItem(0x1C, 0x1C, "record 28");  // tag-marker bytes in the header
  for (bool header : {false, true}) {
    Bytes block;
    l.SaveToBuffer(block, header);
    TIEIPTCInfoList back;
    back.UserChanged = true;
    ASSERT_TRUE(Load(back, block));
    EXPECT_FALSE(back.UserChanged);
    // Without the header the block's own version dataset reads back first.
    const int first = header ? 0 : 1;
    ASSERT_EQ(back.GetCount(), first + 5);
    if (!header) {
      EXPECT_EQ(back.GetDataSet(0), 0);
    }
    EXPECT_EQ(Text(back, first + 0), "one");
    EXPECT_EQ(Text(back, first + 1), "caption");
    EXPECT_EQ(Text(back, first + 2), "two");
    EXPECT_EQ(back.GetRecordNumber(first + 3), 1);
    EXPECT_EQ(back.GetDataSet(first + 3), 90);
    EXPECT_EQ(back.GetRecordNumber(first + 4), 0x1C);
    EXPECT_EQ(Text(back, first + 4), "record 28");
    EXPECT_EQ(back.IndexOf(2, 25), first);
    EXPECT_EQ(back.IndexOfFrom(2, 25, first + 1), first + 2);
    EXPECT_EQ(back.IndexOfFrom(2, 25, first + 3), -1);
    EXPECT_EQ(back.IndexOfFrom(2, 25, 99), -1);
    EXPECT_EQ(back.IndexOf(3, 1), -1);
  }
}

TEST(IPTCLoad, StopsCleanlyOnMalformedData) {
  const Bytes ds = B({0x1C, 0x02, 0x05, 0x00, 0x02, 'h', 'i'});
  const struct { const char* name; Bytes data; int count; } cases[] = {
      {"empty", {}, 0},
      {"junk before the first marker is skipped", Cat({B({0, 7, 9}), ds}), 1},
      {"stops at a byte that is no marker", Cat({ds, B({0x00}), ds}), 1},
      {"header at the very end without data", Cat({ds, B({0x1C, 0x02, 0x05, 0x00, 0x00})}), 1},
      {"data running past the end", Cat({ds, B({0x1C, 0x02, 0x05, 0x00, 0x09, 'x'})}), 1},
      // Extended lengths: the length field must lie inside the data...
      {"extended length cut off", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x04, 0x00})}), 1},
      {"extended length field only", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x04, 0, 0, 0, 2})}), 1},
      // ...lengths are unsigned and cannot wrap the end test...
      {"length with the sign bit", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x04, 0x80, 0, 0, 0, 'a', 'b'})}), 1},
      {"length near 2^32", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x04, 0xFF, 0xFF, 0xFF, 0xF8, 'a'})}), 1},
      // ...and the size of the length field must be 1 to 4.
      {"length field of 0 bytes", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x00, 'a', 'b'})}), 1},
      {"length field of 8 bytes", Cat({ds, B({0x1C, 0x02, 0x78, 0x80, 0x08, 0, 0, 0, 0, 0, 0, 0, 1, 'a'})}), 1},
      {"length field of 2 bytes", Cat({B({0x1C, 0x02, 0x78, 0x80, 0x02, 0x00, 0x02, 'o', 'k'}), ds}), 2},
      {"photoshop header without resources", kPhotoshop, 0},
      {"photoshop header cut inside a resource", Cat({kPhotoshop, Str("8BIM"), B({0x04, 0x04, 0x00})}), 0},
  };
  for (const auto& c : cases) {
    TIEIPTCInfoList l;
    EXPECT_EQ(Load(l, c.data), c.count > 0) << c.name;
    EXPECT_EQ(l.GetCount(), c.count) << c.name;
    if (c.count > 0) {
      EXPECT_EQ(Text(l, c.count - 1), "hi") << c.name;  // the well-formed dataset
    }
  }
}

TEST(IPTCLoad, PhotoshopBlockIsReadThroughItsResources) {
  const Bytes datasets = B({0x1C, 0x02, 0x05, 0x00, 0x03, 'a', 'b', 'c', 0x1C, 0x02, 0x19, 0x00, 0x01, 'k'});
  // A resource name holding the tag marker, a resource before the IPTC one
  // whose data contains the bytes of an IPTC resource header, and one after.
  const Bytes decoy = Cat({Str("8BIM"), B({0x04, 0x04, 0x00, 0x00, 0x1C, 0x09, 0x09})});
  const Bytes block = Cat({kPhotoshop, Resource("8BIM", 0x03ED, {}, decoy),
                           Resource("8BIM", 0x0404, B({0x1C, 'x'}), datasets),
                           Resource("8BIM", 0x0425, {}, B({0x1C, 0x02, 0x07, 0x00, 0x01, 'z'}))});
  TIEIPTCInfoList l;
  ASSERT_TRUE(Load(l, block));
  ASSERT_EQ(l.GetCount(), 2);
  EXPECT_EQ(Text(l, 0), "abc");
  EXPECT_EQ(Text(l, 1), "k");

  // Parsing ends with the resource's size even when datasets follow.
  Bytes cut = Cat({kPhotoshop, Resource("8BIM", 0x0404, {}, Bytes(datasets.begin(), datasets.begin() + 8))});
  cut.insert(cut.end(), datasets.begin() + 8, datasets.end());
  ASSERT_TRUE(Load(l, cut));
  EXPECT_EQ(l.GetCount(), 1);

  // Other writers' resource signatures are walked over.
  const Bytes other = Cat({kPhotoshop, Resource("MeSa", 0x0404, {}, Str("12")), Resource("8BIM", 0x0404, {}, datasets)});
  ASSERT_TRUE(Load(l, other));
  EXPECT_EQ(l.GetCount(), 2);

  // No IPTC resource: nothing, even though a tag marker follows.
  ASSERT_FALSE(Load(l, Cat({kPhotoshop, Resource("8BIM", 0x03ED, {}, datasets)})));
}

TEST(IPTCLoad, ResourceSizeHoldingTheTagMarker) {
  // Datasets of 0x1C00 bytes put the marker byte into the resource size field.
  TIEIPTCInfoList l;
  const std::string caption(0x1C00 - 5, 'c');
  l.AddStringItem(2, 120, caption);
  Bytes block;
  l.SaveToBuffer(block, true);
  ASSERT_EQ(Bytes(block.begin() + 22, block.begin() + 26), B({0x00, 0x00, 0x1C, 0x00}));
  TIEIPTCInfoList back;
  ASSERT_TRUE(Load(back, block));
  ASSERT_EQ(back.GetCount(), 1);
  EXPECT_EQ(back.GetRecordNumber(0), 2);
  EXPECT_EQ(back.GetDataSet(0), 120);
  EXPECT_EQ(Text(back, 0), caption);
}

TEST(IPTCLoad, FirstDatasetMayUseTheMarkerByteAsRecordNumber) {
  TIEIPTCInfoList l;
  l.AddStringItem(0x1C, 0x1C, "r");
  l.AddStringItem(2, 5, "t");
  Bytes block;
  l.SaveToBuffer(block, true);
  TIEIPTCInfoList back;
  ASSERT_TRUE(Load(back, block));
  ASSERT_EQ(back.GetCount(), 2);
  EXPECT_EQ(back.GetRecordNumber(0), 0x1C);
  EXPECT_EQ(Text(back, 0), "r");
  EXPECT_EQ(Text(back, 1), "t");
}

TEST(IPTCList, ItemsAndChangeFlag) {
  TIEIPTCInfoList l;
  EXPECT_FALSE(l.UserChanged);
  EXPECT_EQ(l.GetStringItem(-1), u"");
  EXPECT_EQ(l.GetStringItem(0), u"");
  EXPECT_THROW(l.GetRecordNumber(0), EListError);
  EXPECT_THROW(l.SetStringItem(0, u"x"), EListError);
  EXPECT_THROW(l.DeleteItem(-1), EListError);

  const struct { const char* name; void (*change)(TIEIPTCInfoList&); } changes[] = {
      {"AddStringItem", [](TIEIPTCInfoList& x) { x.AddStringItem(2, 5, "t"); }},
      {"AddBufferItem", [](TIEIPTCInfoList& x) { x.AddBufferItem(2, 5, "t", 1); }},
      {"SetStringItem", [](TIEIPTCInfoList& x) { x.SetStringItem(0, u"new"); }},
      {"DeleteItem", [](TIEIPTCInfoList& x) { x.DeleteItem(0); }},
      {"Clear", [](TIEIPTCInfoList& x) { x.Clear(); }},
      {"Assign", [](TIEIPTCInfoList& x) { TIEIPTCInfoList s; x.Assign(&s); }},
  };
  for (const auto& c : changes) {
    TIEIPTCInfoList x;
    const Bytes block = B({0x1C, 0x02, 0x05, 0x00, 0x01, 'a'});
    ASSERT_TRUE(Load(x, block));
    EXPECT_FALSE(x.UserChanged) << c.name;
    c.change(x);
    EXPECT_TRUE(x.UserChanged) << c.name;
  }

  l.AddStringItem(2, 5, "abc");
  l.AddStringItem(2, 25, "k");
  TIEIPTCInfoList copy;
  copy.Assign(&l);
  copy.Assign(nullptr);
  ASSERT_EQ(copy.GetCount(), 2);
  EXPECT_EQ(copy.GetStringItem(1), u"k");
  copy.SetStringItem(0, u"Caf\u00e9 \u20ac5");
  EXPECT_EQ(Text(copy, 0), "Caf\xe9 \x80" "5");
  EXPECT_EQ(Text(l, 0), "abc");  // the source is untouched
  copy.DeleteItem(0);
  EXPECT_EQ(copy.GetCount(), 1);
  EXPECT_EQ(copy.GetDataSet(0), 25);
}

TEST(IPTCCodePage, EveryByteSurvivesTheStringRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  TIEIPTCInfoList l;
  l.AddStringItem(2, 120, all);
  const WideString wide = l.GetStringItem(0);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(wide[0x80], u'\u20ac');
  EXPECT_EQ(wide[0x9F], u'\u0178');
  EXPECT_EQ(wide[0xE9], u'\u00e9');
  EXPECT_EQ(wide[0x81], u'\u0081');
  l.SetStringItem(0, wide);
  EXPECT_EQ(Text(l, 0), all);
  // Characters outside the code page become one '?' each.
  l.SetStringItem(0, u"a\u65e5\U0001F600b\u0153");
  EXPECT_EQ(Text(l, 0), "a??b\x9c");
}

}  // namespace

}  // namespace test_iptc_tests
