// IPTC records written into JPEG files without decoding them, checked with
// exiv2; Photoshop resource blocks edited in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "codec_test_util.h"
#include "imaging/io/iejpeg.h"

namespace test_jpeg_iptc_tests {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

namespace {

void PutBE16(Bytes& b, uint32_t v) {
  b.push_back(Byte(v >> 8));
  b.push_back(Byte(v));
}
void PutBE32(Bytes& b, uint32_t v) {
  PutBE16(b, v >> 16);
  PutBE16(b, v & 0xFFFF);
}

// One 8BIM resource with a Pascal name padded to even length.
Bytes Resource(Word Id, const std::string& Name, const Bytes& Data) {
  Bytes b = io_test::Str("8BIM");
  PutBE16(b, Id);
  b.push_back(Byte(Name.size()));
  b.insert(b.end(), Name.begin(), Name.end());
  if ((Name.size() + 1) & 1) b.push_back(0);
  PutBE32(b, static_cast<uint32_t>(Data.size()));
  b.insert(b.end(), Data.begin(), Data.end());
  if (Data.size() & 1) b.push_back(0);
  return b;
}

Bytes PhotoshopBlock(std::initializer_list<Bytes> Resources) {
  Bytes b = io_test::Str(std::string("Photoshop 3.0") + '\0');
  for (const Bytes& r : Resources) b.insert(b.end(), r.begin(), r.end());
  return b;
}

Bytes ResolutionData(uint32_t Dpi) {
  Bytes d;
  PutBE32(d, Dpi << 16);
  PutBE16(d, 1);
  PutBE16(d, 2);
  PutBE32(d, Dpi << 16);
  PutBE16(d, 1);
  PutBE16(d, 2);
  return d;
}

Bytes IptcResourceData(const std::string& Caption) {
  TIEIPTCInfoList l;
  l.AddStringItem(2, 120, Caption);
  std::vector<Byte> b;
  l.SaveToBuffer(b, false);
  return Bytes(b.begin(), b.end());
}

// A JPEG (SOI, JFIF APP0, DQT ... EOI) from our writer with Markers written after the JFIF header.
Bytes MakeJpeg(const std::vector<std::pair<Byte, Bytes>>& Markers) {
  auto pic = MakePicture(32, 24);
  TIOParamsVals p(nullptr);
  p.JPEG_QUALITY = 80;
  for (const auto& [type, data] : Markers) p.JPEG_MARKERS.AddMarker(type, data.data(), static_cast<Word>(data.size()));
  TMemoryStream s;
  Progress pr;
  IEWriteJPEG(&s, pic.get(), p, pr.Rec);
  return Contents(s);
}

// The bytes from the SOS marker to the end.
Bytes ScanData(const Bytes& Jpeg) {
  for (size_t i = 2; i + 1 < Jpeg.size();) {
    if (Jpeg[i] == 0xFF && Jpeg[i + 1] == 0xDA) return Bytes(Jpeg.begin() + long(i), Jpeg.end());
    i += 2 + ((Jpeg[i + 2] << 8) | Jpeg[i + 3]);
  }
  return {};
}

// Marker names of exiv2 -pS in file order.
std::vector<std::string> Structure(const std::string& File) {
  std::vector<std::string> names;
  std::string s = Capture("exiv2 -pS " + File);
  size_t pos = 0;
  while ((pos = s.find("0xff", pos)) != std::string::npos) {
    size_t name = pos + 7;
    size_t end = s.find_first_of(" |\n", name);
    names.push_back(s.substr(name, end - name));
    pos = end;
  }
  return names;
}

Integer IndexOf(const std::vector<std::string>& V, const std::string& S) {
  auto it = std::find(V.begin(), V.end(), S);
  return it == V.end() ? -1 : Integer(it - V.begin());
}

}  // namespace

TEST(JpegIptc, InjectionPlacesMergesAndRemoves) {
  ASSERT_TRUE(HaveTool("exiv2"));
  TempDir dir;
  const Bytes exifLike = io_test::Str("NotExifJustAnAPP1Block");
  struct Case {
    const char* what;
    Bytes file;
    std::vector<std::pair<Integer, std::string>> records;  // dataset, text
    bool expectApp13;
    bool keepsResolution;
  } cases[] = {
      {"APP0 APP1 DQT", MakeJpeg({{0xE1, exifLike}}), {{120, "New caption"}, {25, "kw"}}, true, false},
      {"existing APP13 with other resources",
       MakeJpeg({{0xE1, exifLike},
                 {0xED, PhotoshopBlock({Resource(0x03ED, "", ResolutionData(72)),
                                        Resource(0x0404, "", IptcResourceData("Old caption"))})}}),
       {{120, "New caption"}},
       true,
       true},
      {"empty list removes only the IPTC",
       MakeJpeg({{0xED, PhotoshopBlock({Resource(0x03ED, "", ResolutionData(72)),
                                        Resource(0x0404, "", IptcResourceData("Old caption"))})}}),
       {},
       true,
       true},
      {"empty list drops an IPTC-only block",
       MakeJpeg({{0xED, PhotoshopBlock({Resource(0x0404, "", IptcResourceData("Old caption"))})}}),
       {},
       false,
       false},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string f = dir.File("i.jpg");
    io_test::WriteFile(f, c.file);
    TIEIPTCInfoList iptc;
    for (auto& [ds, text] : c.records) iptc.AddStringItem(2, ds, text);
    Progress p;
    ASSERT_TRUE(IEInjectJPEGIPTC(Utf8ToWide(f), iptc, p.Rec));
    const Bytes after = io_test::ReadFile(f);
    EXPECT_EQ(ScanData(after), ScanData(c.file));
    const std::string shown = Capture("exiv2 -pi " + f + " 2>/dev/null");
    EXPECT_EQ(shown.find("Old caption"), std::string::npos);
    for (auto& [ds, text] : c.records) EXPECT_NE(shown.find(text), std::string::npos) << shown;
    auto names = Structure(f);
    Integer app13 = IndexOf(names, "APP13"), dqt = IndexOf(names, "DQT"), app1 = IndexOf(names, "APP1");
    EXPECT_EQ(app13 >= 0, c.expectApp13);
    if (app13 >= 0) {
      EXPECT_LT(app13, dqt);
      if (app1 >= 0) {
        EXPECT_GT(app13, app1);
      }
    }
    // Other Photoshop resources survive the change.
    const Bytes resolutionId = {'8', 'B', 'I', 'M', 0x03, 0xED};
    bool hasResolution = std::search(after.begin(), after.end(), resolutionId.begin(), resolutionId.end()) != after.end();
    EXPECT_EQ(hasResolution, c.keepsResolution);
  }
}

TEST(JpegIptc, MalformedInputLeavesTheFileUntouched) {
  TempDir dir;
  const Bytes good = MakeJpeg({{0xE1, io_test::Str("APP1 payload")}});
  Bytes longSegment = good;
  longSegment[22] = 0x7F;  // the APP1 after the 18-byte JFIF segment claims 32 KB more
  ASSERT_EQ(good[20], 0xFF);
  ASSERT_EQ(good[21], 0xE1);
  Bytes badCode = good;
  badCode[20 + 2 + 14] = 0xFF;  // right after the APP1: 0xFF 0x10 is no marker
  badCode.insert(badCode.begin() + 20 + 2 + 14 + 1, 0x10);
  struct Case {
    const char* what;
    Bytes data;
  } cases[] = {{"segment past the end", longSegment},
               {"invalid marker code", badCode},
               {"cut inside a segment header", Bytes(good.begin(), good.begin() + 21)}};
  TIEIPTCInfoList iptc;
  iptc.AddStringItem(2, 120, "caption");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string f = dir.File("bad.jpg");
    io_test::WriteFile(f, c.data);
    Progress p;
    EXPECT_FALSE(IEInjectJPEGIPTC(Utf8ToWide(f), iptc, p.Rec));
    EXPECT_EQ(io_test::ReadFile(f), c.data);
  }
}

TEST(JpegIptc, FillBytesBeforeMarkersAreCopied) {
  Bytes file = MakeJpeg({});
  file.insert(file.begin() + 2, {0xFF, 0xFF});  // fill bytes before the JFIF marker
  TMemoryStream src, dst;
  io_test::Fill(src, file);
  TIEIPTCInfoList iptc;
  iptc.AddStringItem(2, 120, "caption");
  Progress p;
  ASSERT_TRUE(IEReplaceJPEGIPTC(&src, &dst, iptc, p.Rec));
  const Bytes out = Contents(dst);
  EXPECT_GT(out.size(), file.size());
  EXPECT_EQ(ScanData(out), ScanData(file));
}

TEST(JpegIptc, SaveMarkerUpdateWalksPhotoshopResources) {
  // The resolution resource follows another resource with a non-empty name.
  const Bytes before = PhotoshopBlock({Resource(0x0400, "ab", Bytes(5, 7)), Resource(0x03ED, "", ResolutionData(72)),
                                       Resource(0x0404, "", IptcResourceData("Old"))});
  TIOParamsVals p(nullptr);
  p.JPEG_MARKERS.AddMarker(0xED, before.data(), static_cast<Word>(before.size()));
  p.SetDpiX(300);
  p.SetDpiY(150);
  p.IPTC_LIST.AddStringItem(2, 120, "New");
  p.IPTC_LIST.UserChanged = true;
  IEUpdateJPEGMarkers(p);
  ASSERT_EQ(p.JPEG_MARKERS.GetCount(), 1);
  const Byte* d = p.JPEG_MARKERS.GetMarkerData(0);
  Bytes after(d, d + p.JPEG_MARKERS.GetMarkerLength(0));
  // The other resources are still there, the resolution rewritten in place.
  EXPECT_NE(std::search(after.begin(), after.end(), before.begin() + 14, before.begin() + 14 + 20), after.end());
  Bytes res = ResolutionData(300);
  res[4] = 0, res[5] = 1, res[6] = 0, res[7] = 1;
  Bytes y = ResolutionData(150);
  std::copy(y.begin() + 8, y.begin() + 12, res.begin() + 8);
  res[12] = 0, res[13] = 1, res[14] = 0, res[15] = 1;
  EXPECT_NE(std::search(after.begin(), after.end(), res.begin(), res.end()), after.end());
  TIEIPTCInfoList back;
  ASSERT_TRUE(back.LoadFromBuffer(after.data(), Integer(after.size())));
  EXPECT_EQ(back.GetStringItem(0), W("New"));

  // Short and malformed blocks are left exactly as they were.
  Bytes truncated = PhotoshopBlock({Resource(0x03ED, "", ResolutionData(72))});
  truncated.resize(truncated.size() - 6);
  for (const Bytes& block : {PhotoshopBlock({Resource(0x03ED, "", Bytes(10, 1))}), truncated}) {
    TIOParamsVals q(nullptr);
    q.JPEG_MARKERS.AddMarker(0xED, block.data(), static_cast<Word>(block.size()));
    q.SetDpiX(300);
    q.SetDpiY(300);
    IEUpdateJPEGMarkers(q);
    EXPECT_EQ(Bytes(q.JPEG_MARKERS.GetMarkerData(0), q.JPEG_MARKERS.GetMarkerData(0) + q.JPEG_MARKERS.GetMarkerLength(0)),
              block);
  }
}

}  // namespace test_jpeg_iptc_tests
