// Annotation blocks, DICOM tag list, XMP segments and the wide-string list.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/meta/iemetarecords.h"
#include "imaging/core/base/iestartup.h"
#include "platform/base/sysutils.h"

namespace test_metarecords_tests {

namespace {

using Bytes = std::vector<Byte>;

Integer LE32(const Bytes& b, size_t at) {
  return static_cast<Integer>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | Cardinal(b[at + 3]) << 24);
}

void PutLE32(Bytes& b, size_t at, Integer v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<Byte>(Cardinal(v) >> (8 * i));
}

std::string Name(const Bytes& b, size_t at) { return std::string(reinterpret_cast<const char*>(&b[at]), 8); }

// Sets the screen resolution for a test and restores it.
struct ScreenDpi {
  ScreenDpi(Integer x, Integer y) : oldX(IEScreenDpiX), oldY(IEScreenDpiY) {
    IEScreenDpiX = x;
    IEScreenDpiY = y;
  }
  ~ScreenDpi() {
    IEScreenDpiX = oldX;
    IEScreenDpiY = oldY;
  }
  Integer oldX, oldY;
};

std::unique_ptr<TIEImagingObject> Mark(Integer type) {
  auto o = std::make_unique<TIEImagingObject>();
  o->SetMarkType(type);
  for (int i = 4; i < IEMarkAttributesSize; ++i) o->Attributes[i] = static_cast<Byte>(i * 3 + type);
  return o;
}

void Load(TIEImagingAnnot& a, const Bytes& data) {
  std::unique_ptr<Byte[]> exact(new Byte[data.size()]);  // exact size for the sanitizer
  std::copy(data.begin(), data.end(), exact.get());
  a.LoadFromBuffer(exact.get(), static_cast<Integer>(data.size()));
}

TEST(Annotations, FreehandMarkLayout) {
  ScreenDpi dpi(96, 96);
  TIEImagingAnnot a;
  auto m = Mark(4);
  m->Points = {{1, 2}, {30, -4}, {500, 600}};
  a.Objects.push_back(std::move(m));
  Bytes b;
  a.SaveToBuffer(b);
  ASSERT_EQ(b.size(), 320u);
  EXPECT_EQ(LE32(b, 0), 0);
  EXPECT_EQ(LE32(b, 4), 1);
  // Two default blocks of 22 bytes: type 2, header 12, name, length 2, "0"/"1".
  const struct { size_t at; Integer type; const char* name; const char* text; } named[] = {
      {8, 2, "OiGroup", "0"}, {30, 2, "OiIndex", "1"}, {276, 6, "OiGroup", "0"}, {298, 6, "OiIndex", "0"}};
  for (const auto& n : named) {
    EXPECT_EQ(LE32(b, n.at), n.type) << n.at;
    EXPECT_EQ(LE32(b, n.at + 4), 12) << n.at;
    EXPECT_EQ(Name(b, n.at + 8), std::string(n.name, 7) + '\0') << n.at;
    EXPECT_EQ(LE32(b, n.at + 16), 2) << n.at;
    EXPECT_EQ(b[n.at + 20], n.text[0]) << n.at;
    EXPECT_EQ(b[n.at + 21], 0) << n.at;
  }
  // The mark: type 5, header 164 and the attribute record.
  EXPECT_EQ(LE32(b, 52), 5);
  EXPECT_EQ(LE32(b, 56), 164);
  EXPECT_TRUE(std::equal(a.Objects[0]->Attributes.begin(), a.Objects[0]->Attributes.end(), b.begin() + 60));
  // Its points: maximum count, count, pairs.
  EXPECT_EQ(LE32(b, 224), 6);
  EXPECT_EQ(Name(b, 232), "OiAnoDat");
  EXPECT_EQ(LE32(b, 240), 32);
  const Integer expected[] = {3, 3, 1, 2, 30, -4, 500, 600};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(LE32(b, 244 + 4 * i), expected[i]) << i;

  TIEImagingAnnot back;
  back.UserChanged = true;
  Load(back, b);
  EXPECT_FALSE(back.UserChanged);
  ASSERT_EQ(back.Objects.size(), 1u);
  const TIEImagingObject& o = *back.Objects[0];
  EXPECT_EQ(o.MarkType(), 4);
  EXPECT_EQ(o.Attributes, a.Objects[0]->Attributes);
  ASSERT_EQ(o.PointCount(), 3);
  EXPECT_EQ(o.Points[1].X, 30);
  EXPECT_EQ(o.Points[1].Y, -4);
  EXPECT_TRUE(o.Text.empty());
  EXPECT_TRUE(o.DIB.empty());
}

TEST(Annotations, MixedMarksRoundTrip) {
  ScreenDpi dpi(120, 144);
  TIEImagingAnnot a;
  auto text = Mark(7);
  text->Text = "Approved";
  text->SetFontHeight(-24);
  auto image = Mark(1);
  image->DIB = {40, 0, 0, 0, 1, 2, 3, 4, 5};
  auto line = Mark(3);
  line->Points = {{0, 0}, {10, 10}};
  a.Objects.push_back(std::move(text));
  a.Objects.push_back(std::move(image));
  a.Objects.push_back(Mark(2));
  a.Objects.push_back(std::move(line));
  a.Objects.push_back(Mark(12));
  Bytes b;
  a.SaveToBuffer(b);
  TIEImagingAnnot back;
  Load(back, b);
  ASSERT_EQ(back.Objects.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(back.Objects[i]->Attributes, a.Objects[i]->Attributes) << i;
  EXPECT_EQ(back.Objects[0]->Text, "Approved");
  EXPECT_EQ(back.Objects[0]->FontHeight(), -24);  // same screen: same height
  EXPECT_EQ(back.Objects[1]->DIB, a.Objects[1]->DIB);
  EXPECT_EQ(back.Objects[3]->PointCount(), 2);
  // Saving what was loaded gives the same block.
  Bytes again;
  back.SaveToBuffer(again);
  EXPECT_EQ(again, b);
  // Loading appends to what is there.
  Load(back, b);
  EXPECT_EQ(back.Objects.size(), 10u);

  TIEImagingAnnot copy;
  copy.Objects.push_back(Mark(3));
  copy.Assign(&back);
  ASSERT_EQ(copy.Objects.size(), 10u);
  EXPECT_EQ(copy.Objects[0]->Text, "Approved");
  EXPECT_NE(copy.Objects[0].get(), back.Objects[0].get());
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Objects.empty());

  TIEImagingAnnot none;
  none.SaveToBuffer(b);
  EXPECT_TRUE(b.empty());
}

TEST(Annotations, FontHeightFollowsTheCreationScale) {
  // A text written on a 96-dpi screen (scale 750) and read on 144 dpi.
  Bytes b;
  {
    ScreenDpi dpi(96, 96);
    TIEImagingAnnot a;
    auto t = Mark(8);
    t->Text = "x";
    t->SetFontHeight(12);
    a.Objects.push_back(std::move(t));
    a.SaveToBuffer(b);
  }
  const size_t text = 8 + 44 + 172;  // the OiAnText block follows the mark
  ASSERT_EQ(Name(b, text + 8), "OiAnText");
  EXPECT_EQ(LE32(b, text + 20), 0);     // orientation
  EXPECT_EQ(LE32(b, text + 24), 1000);
  EXPECT_EQ(LE32(b, text + 28), 750);   // 72000 div 96
  EXPECT_EQ(LE32(b, text + 32), 1);     // text length
  EXPECT_EQ(b[text + 36], 'x');
  EXPECT_EQ(b[text + 37], 0);
  const struct { Integer dpi; Integer scale; Integer height; } cases[] = {
      {144, 750, 8},    // Round(72000 / 750 x 12 / 144)
      {96, 750, 12},
      {0, 750, 12},     // no screen recorded yet: 96 dpi, no division by zero
      {0, 0, 12},       // no scale stored: the screen's own
      {72, 1000, 12},
  };
  for (const auto& c : cases) {
    ScreenDpi dpi(c.dpi, c.dpi);
    Bytes data = b;
    PutLE32(data, text + 28, c.scale);
    TIEImagingAnnot a;
    Load(a, data);
    ASSERT_EQ(a.Objects.size(), 1u);
    EXPECT_EQ(a.Objects[0]->FontHeight(), c.height) << c.dpi << "/" << c.scale;
  }
  // Extreme heights stay within the field's range both ways.
  for (Integer extreme : {std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max()}) {
    TIEImagingAnnot x, y;
    auto t = Mark(10);
    t->SetFontHeight(extreme);
    x.Objects.push_back(std::move(t));
    Bytes e;
    x.SaveToBuffer(e);
    Load(y, e);
    ASSERT_EQ(y.Objects.size(), 1u);
    EXPECT_EQ(y.Objects[0]->FontHeight(), extreme);
  }
  // Saving without a recorded screen writes the 96-dpi scale.
  ScreenDpi none(0, 0);
  TIEImagingAnnot a;
  Load(a, b);
  Bytes c;
  a.SaveToBuffer(c);
  EXPECT_EQ(LE32(c, text + 28), 750);
}

TEST(Annotations, HostileBlocksEndParsingCleanly) {
  ScreenDpi dpi(96, 96);
  TIEImagingAnnot a;
  auto line = Mark(4);
  line->Points = {{1, 1}, {2, 2}, {3, 3}};
  auto text = Mark(9);
  text->Text = "hello";
  a.Objects.push_back(std::move(line));
  a.Objects.push_back(std::move(text));
  Bytes good;
  a.SaveToBuffer(good);
  // Every truncation: never a read past the data, never more marks than whole.
  for (size_t n = 0; n <= good.size(); ++n) {
    TIEImagingAnnot t;
    Load(t, Bytes(good.begin(), good.begin() + n));
    EXPECT_LE(t.Objects.size(), 2u) << n;
  }
  const size_t anoDat = 8 + 44 + 172;
  ASSERT_EQ(Name(good, anoDat + 8), "OiAnoDat");
  const struct { const char* name; size_t at; Integer value; size_t marks; Integer points; } cases[] = {
      {"point count beyond the data", anoDat + 24, 0x7FFFFFFF, 2, 3},
      {"negative point count", anoDat + 24, -5, 2, 0},
      {"data length past the end", anoDat + 16, 0x7FFFFFF0, 1, 0},
      {"negative data length", anoDat + 16, -1, 1, 0},
  };
  for (const auto& c : cases) {
    Bytes bad = good;
    PutLE32(bad, c.at, c.value);
    TIEImagingAnnot t;
    Load(t, bad);
    ASSERT_EQ(t.Objects.size(), c.marks) << c.name;
    EXPECT_EQ(t.Objects[0]->PointCount(), c.points) << c.name;
  }
  // A text length larger than its block reads only what the block holds.
  Bytes bad = good;
  size_t textAt = 0;
  for (size_t i = 0; i + 8 <= bad.size(); ++i)
    if (Name(bad, i) == "OiAnText") textAt = i - 8;
  ASSERT_NE(textAt, 0u);
  PutLE32(bad, textAt + 32, 1 << 30);
  TIEImagingAnnot t;
  Load(t, bad);
  ASSERT_EQ(t.Objects.size(), 2u);
  EXPECT_EQ(t.Objects[1]->Text, "hello");

  // Header only, unknown block types, marks of type 0.
  TIEImagingAnnot u;
  Load(u, Bytes{0, 0, 0, 0, 1, 0, 0, 0});
  Load(u, Bytes{0, 0, 0, 0, 1, 0, 0, 0, 9, 0, 0, 0, 4, 0, 0, 0, 9, 0, 0});
  Bytes zeroMark(8 + 8 + 164, 0);
  zeroMark[4] = 1;
  zeroMark[8] = 5;
  Load(u, zeroMark);
  EXPECT_TRUE(u.Objects.empty());
}

TEST(Annotations, ZeroIntegerSizeFlagPutsDataEightBytesOn) {
  // The flag 0 layout: the data starts 8 bytes after the name.
  Bytes b(8, 0);
  auto put = [&](Integer v) { for (int i = 0; i < 4; ++i) b.push_back(static_cast<Byte>(Cardinal(v) >> (8 * i))); };
  put(5);
  put(164);
  Bytes attributes(164, 0);
  attributes[0] = 3;
  b.insert(b.end(), attributes.begin(), attributes.end());
  put(6);
  put(12);
  const char name[8] = {'O', 'i', 'A', 'n', 'o', 'D', 'a', 't'};
  b.insert(b.end(), name, name + 8);
  put(16);
  put(0);  // the second half of the wider length field
  for (Integer v : {1, 1, 7, 9}) put(v);
  TIEImagingAnnot a;
  Load(a, b);
  ASSERT_EQ(a.Objects.size(), 1u);
  ASSERT_EQ(a.Objects[0]->PointCount(), 1);
  EXPECT_EQ(a.Objects[0]->Points[0].X, 7);
  EXPECT_EQ(a.Objects[0]->Points[0].Y, 9);
}

TEST(DICOMTags, AddAndAssign) {
  TIEDICOMTags t;
  const char value[] = "512";
  EXPECT_EQ(t.AddTag(0x0028, 0x0010, "US", value, 3), 0);
  EXPECT_EQ(t.AddTag(0x0010, 0x0010, "", "Doe^John", 8), 1);
  EXPECT_EQ(t.AddTag(0x7FE0, 0x0010, "OBX", nullptr, -1), 2);
  EXPECT_EQ(t.AddTag(0x0008, 0x0000, "UL", "", 0), 3);
  const TIEDICOMTag& a = t.GetTag(0);
  EXPECT_EQ(a.Group, 0x0028);
  EXPECT_EQ(a.Element, 0x0010);
  EXPECT_EQ(a.VR[0], 'U');
  EXPECT_EQ(a.VR[1], 'S');
  EXPECT_EQ(a.Length, 3);
  ASSERT_NE(a.Value(), nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(a.Value()), "512");  // with its terminating 0
  EXPECT_EQ(t.GetTag(1).VR[0], 0);
  EXPECT_EQ(t.GetTag(2).VR[0], 0);
  EXPECT_EQ(t.GetTag(2).VR[1], 0);
  EXPECT_EQ(t.GetTag(2).Value(), nullptr);
  EXPECT_EQ(t.GetTag(2).Length, 0);
  EXPECT_NE(t.GetTag(3).Value(), nullptr);  // an empty value has its 0 byte
  EXPECT_THROW(t.GetTag(4), EListError);

  TIEDICOMTags c;
  c.AddTag(1, 1, "AE", "x", 1);
  c.Assign(&t);
  ASSERT_EQ(c.Count(), 4);
  EXPECT_NE(c.GetTag(0).Value(), t.GetTag(0).Value());
  EXPECT_STREQ(reinterpret_cast<const char*>(c.GetTag(1).Value()), "Doe^John");
  EXPECT_EQ(c.GetTag(3).Value(), nullptr);  // no bytes: no value after a copy
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
}

TEST(XMP, FindLoadSave) {
  const std::string header = std::string("http://ns.adobe.com/xap/1.0/") + '\0';
  const std::string packet = "<?xpacket begin?><x:xmpmeta/>";
  const std::string segment = header + packet;
  const auto* p = reinterpret_cast<const Byte*>(segment.data());
  EXPECT_EQ(IEFindXMPPacket(p, static_cast<Integer>(segment.size())), p + 29);
  AnsiString text;
  ASSERT_TRUE(IELoadXMP(p, static_cast<Integer>(segment.size()), text));
  EXPECT_EQ(text, packet);

  const struct { const char* name; std::string data; } misses[] = {
      {"29 bytes", header},
      {"other namespace", "http://ns.adobe.com/xmp/extension/" + std::string(1, '\0') + packet},
      {"no 0 byte", "http://ns.adobe.com/xap/1.0/xxxxxxxxxx"},
      {"empty", ""},
  };
  for (const auto& m : misses) {
    // Exact-size copies: a search past the data would be seen by the sanitizer.
    std::unique_ptr<Byte[]> exact(new Byte[m.data.size()]);
    std::memcpy(exact.get(), m.data.data(), m.data.size());
    EXPECT_EQ(IEFindXMPPacket(exact.get(), static_cast<Integer>(m.data.size())), nullptr) << m.name;
    AnsiString keep = "kept";
    EXPECT_FALSE(IELoadXMP(exact.get(), static_cast<Integer>(m.data.size()), keep)) << m.name;
    EXPECT_EQ(keep, "kept") << m.name;
  }

  Bytes block;
  IESaveXMP("", block);
  EXPECT_EQ(block, Bytes(header.begin(), header.end()));
  IESaveXMP(packet, block);
  EXPECT_EQ(block.size(), 29 + packet.size());
  EXPECT_EQ(std::string(block.begin(), block.end()), segment);
}

TEST(WideStrings, AddAndGet) {
  TIEWideStrings w;
  w.Add(u"/home/u/a.jpg");
  w.Add(u"");
  w.Add(u"\u65e5\u672c.png");
  ASSERT_EQ(w.Count(), 3);
  WideString s = u"x";
  w.GetString(1, s);
  EXPECT_EQ(s, u"");
  EXPECT_EQ(w.GetString(2), u"\u65e5\u672c.png");
  EXPECT_THROW(w.GetString(3), EListError);
  w.Clear();
  EXPECT_EQ(w.Count(), 0);
}

}  // namespace

}  // namespace test_metarecords_tests
