// IPTC and XMP blocks exchanged with independent tools: what we write in a JPEG
// APP13/APP1 segment they read, and what they write we read.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/meta/ieiptc.h"
#include "imaging/core/meta/iemetarecords.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_oracles_tests {

namespace {

using Bytes = std::vector<Byte>;
namespace fs = std::filesystem;

using gt_test::Capture;
using gt_test::HaveTool;

Bytes ReadFile(const fs::path& p) { return gt_test::ReadFileBytes(p); }
void WriteFile(const fs::path& p, const Bytes& b) { gt_test::WriteFileBytes(p, b); }

// Inserts a segment right after SOI.
Bytes InsertSegment(const Bytes& jpeg, Byte marker, const Bytes& payload) {
  EXPECT_LE(payload.size(), 65533u);
  const size_t len = payload.size() + 2;
  Bytes out;
  out.reserve(jpeg.size() + len + 2);
  for (Byte b : {jpeg[0], jpeg[1], Byte(0xFF), marker, Byte(len >> 8), Byte(len & 0xFF)}) out.push_back(b);
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// Payloads of the segments of one marker type, up to the scan.
std::vector<Bytes> Segments(const Bytes& jpeg, Byte marker) {
  std::vector<Bytes> found;
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] != 0xDA) {
    const size_t len = size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
    if (len < 2 || pos + 2 + len > jpeg.size()) break;
    if (jpeg[pos + 1] == marker) found.emplace_back(jpeg.begin() + pos + 4, jpeg.begin() + pos + 2 + len);
    pos += 2 + len;
  }
  return found;
}

class OracleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"convert", "exiv2", "exiftool"})
      ASSERT_TRUE(HaveTool(tool)) << tool << " is needed as a test oracle (scripts/install-deps.sh)";
    temp_ = std::make_unique<gt_test::TempDir>("meta-oracle");
    ASSERT_TRUE(temp_->Ok());
    dir_ = temp_->Path;
    int rc = -1;
    Capture("convert -size 8x8 xc:red '" + (dir_ / "plain.jpg").string() + "' 2>&1", &rc);
    ASSERT_EQ(rc, 0);
    plain_ = ReadFile(dir_ / "plain.jpg");
    ASSERT_GT(plain_.size(), 4u);
  }
  std::string Path(const char* name) const {
    std::string quoted(1, '\'');
    quoted += (dir_ / name).string();
    quoted += '\'';
    return quoted;
  }
  std::unique_ptr<gt_test::TempDir> temp_;
  fs::path dir_;
  Bytes plain_;
};

TEST_F(OracleTest, Exiv2AndExiftoolReadOurIPTC) {
  TIEIPTCInfoList l;
  l.AddStringItem(2, 5, "Title");
  l.AddStringItem(2, 25, "one");
  l.AddStringItem(2, 25, "two");
  l.AddStringItem(2, 120, std::string(40000, 'x'));  // extended length form
  l.AddStringItem(2, 80, "");
  l.SetStringItem(4, u"caf\u00e9");
  Bytes block;
  l.SaveToBuffer(block, true);
  WriteFile(dir_ / "ours.jpg", InsertSegment(plain_, 0xED, block));

  int rc = -1;
  std::istringstream listing(Capture("exiv2 -pi " + Path("ours.jpg") + " 2>&1", &rc));
  EXPECT_EQ(rc, 0) << listing.str();
  struct Row { std::string key, type; int count; std::string value; };
  std::vector<Row> rows;
  for (std::string line; std::getline(listing, line);) {
    std::istringstream f(line);
    Row r;
    f >> r.key >> r.type >> r.count;
    std::getline(f >> std::ws, r.value);
    rows.push_back(r);
  }
  ASSERT_EQ(rows.size(), 5u) << listing.str();
  const Row expected[] = {{"Iptc.Application2.ObjectName", "String", 5, "Title"},
                          {"Iptc.Application2.Keywords", "String", 3, "one"},
                          {"Iptc.Application2.Keywords", "String", 3, "two"},
                          {"Iptc.Application2.Caption", "String", 40000, ""},
                          {"Iptc.Application2.Byline", "String", 4, ""}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(rows[i].key, expected[i].key) << i;
    EXPECT_EQ(rows[i].type, expected[i].type) << i;
    EXPECT_EQ(rows[i].count, expected[i].count) << i;
    if (!expected[i].value.empty()) {
      EXPECT_EQ(rows[i].value, expected[i].value) << i;
    }
  }
  EXPECT_EQ(rows[3].value.substr(0, 10), "xxxxxxxxxx");
  // exiftool takes IPTC text without a character-set dataset as Windows-1252.
  EXPECT_EQ(Capture("exiftool -s -s -s -IPTC:By-line " + Path("ours.jpg")), "caf\xc3\xa9\n");
}

TEST_F(OracleTest, WeReadIPTCWrittenByExiv2) {
  WriteFile(dir_ / "e.jpg", plain_);
  int rc = -1;
  const std::string out = Capture("exiv2 -M'set Iptc.Application2.Caption String Hello world' "
                              "-M'add Iptc.Application2.Keywords String alpha' "
                              "-M'add Iptc.Application2.Keywords String beta' "
                              "-M'set Iptc.Application2.SpecialInstructions String " + std::string(33000, 's') +
                              "' " + Path("e.jpg") + " 2>&1", &rc);
  ASSERT_EQ(rc, 0) << out;
  const auto app13 = Segments(ReadFile(dir_ / "e.jpg"), 0xED);
  ASSERT_EQ(app13.size(), 1u);
  TIEIPTCInfoList l;
  ASSERT_TRUE(l.LoadFromBuffer(app13[0].data(), static_cast<Integer>(app13[0].size())));
  const Integer caption = l.IndexOf(2, 120);
  ASSERT_GE(caption, 0);
  EXPECT_EQ(l.GetStringItem(caption), u"Hello world");
  const Integer k1 = l.IndexOf(2, 25);
  const Integer k2 = l.IndexOfFrom(2, 25, k1 + 1);
  ASSERT_GE(k1, 0);
  ASSERT_GE(k2, 0);
  EXPECT_EQ(l.GetStringItem(k1), u"alpha");
  EXPECT_EQ(l.GetStringItem(k2), u"beta");
  const Integer special = l.IndexOf(2, 40);
  ASSERT_GE(special, 0);
  EXPECT_EQ(l.GetData(special).size(), 33000u);
}

TEST_F(OracleTest, WeReadIPTCWrittenByExiftoolInItsCodePage) {
  WriteFile(dir_ / "x.jpg", plain_);
  int rc = -1;
  const std::string out = Capture("exiftool -q -overwrite_original '-IPTC:ObjectName=T\xc3\xa9st \xe2\x82\xac' "
                              "-IPTC:Keywords=a -IPTC:Keywords=b " + Path("x.jpg") + " 2>&1", &rc);
  ASSERT_EQ(rc, 0) << out;
  const auto app13 = Segments(ReadFile(dir_ / "x.jpg"), 0xED);
  ASSERT_EQ(app13.size(), 1u);
  TIEIPTCInfoList l;
  ASSERT_TRUE(l.LoadFromBuffer(app13[0].data(), static_cast<Integer>(app13[0].size())));
  const Integer name = l.IndexOf(2, 5);
  ASSERT_GE(name, 0);
  EXPECT_EQ(l.GetStringItem(name), u"T\u00e9st \u20ac");
  EXPECT_GE(l.IndexOf(2, 0), 0);  // exiftool writes the record version
  // Our block (re-saved without the version) reads back in exiftool the same.
  Bytes block;
  l.SaveToBuffer(block, true);
  WriteFile(dir_ / "back.jpg", InsertSegment(plain_, 0xED, block));
  EXPECT_EQ(Capture("exiftool -s -s -s -IPTC:ObjectName -IPTC:Keywords " + Path("back.jpg")),
            "T\xc3\xa9st \xe2\x82\xac\na, b\n");
}

TEST_F(OracleTest, XMPPacketsBothWays) {
  WriteFile(dir_ / "x.jpg", plain_);
  int rc = -1;
  Capture("exiftool -q -overwrite_original -XMP-dc:Title=Harbour " + Path("x.jpg") + " 2>&1", &rc);
  ASSERT_EQ(rc, 0);
  AnsiString xmp;
  bool found = false;
  for (const Bytes& seg : Segments(ReadFile(dir_ / "x.jpg"), 0xE1))
    if (IELoadXMP(seg.data(), static_cast<Integer>(seg.size()), xmp)) found = true;
  ASSERT_TRUE(found);
  EXPECT_NE(xmp.find("<x:xmpmeta"), std::string::npos);
  EXPECT_NE(xmp.find("Harbour"), std::string::npos);

  const std::string packet =
      "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>"
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
      "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Lighthouse</rdf:li></rdf:Alt></dc:title>"
      "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
  Bytes block;
  IESaveXMP(packet, block);
  WriteFile(dir_ / "ours.jpg", InsertSegment(plain_, 0xE1, block));
  EXPECT_EQ(Capture("exiftool -s -s -s -XMP-dc:Title " + Path("ours.jpg")), "Lighthouse\n");
}

}  // namespace

}  // namespace test_oracles_tests
