// The in-memory TIFF model: files made by libtiff's tools and exiftool read
// and written back unchanged as those tools see them, entry editing, and
// hostile files that must end quickly in a sound model.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "imaging/core/meta/ietifftags.h"
#include "tifftags_util.h"

namespace test_tiffhandler_tests {

using namespace tifftags_test;

namespace {

WideString Wide(const std::filesystem::path& p) { return Utf8ToWide(p.string()); }

// Makes a fixture in Dir with the outside tools; false when a tool failed.
bool Make(const TempDir& Dir, const std::string& Commands) {
  int rc = 0;
  Capture("cd " + Quote(Dir.Path()) + " && (" + Commands + ") >/dev/null 2>&1", &rc);
  return rc == 0;
}

const char* kBase = "convert -size 37x23 gradient:red-blue -depth 8 base.tif";
// Appends the strip page a.tif and the tile page b.tif to the file named after it.
const std::string kTwoPages =
    "tiffcp -c none -r 5 base.tif a.tif && tiffcp -c lzw -t -w 16 -l 16 base.tif b.tif && f() { tiffcp a.tif $1 &&"
    " tiffcp -a -c lzw -t -w 16 -l 16 b.tif $1; } && f";

int CountTag(const TIETIFFEntryList& L, Word Tag) {
  return int(std::count_if(L.begin(), L.end(), [Tag](const TIETIFFEntry& e) { return e.Tag == Tag; }));
}

// Tags of directory 0 of a TIFF in memory, in the order they are stored.
std::vector<uint16_t> StoredTags(const Bytes& f, uint32_t* Offset = nullptr) {
  const bool big = f[0] == 'M';
  const uint32_t at = Get32(f.data() + 4, big);
  if (Offset) *Offset = at;
  std::vector<uint16_t> tags;
  const uint16_t n = Get16(f.data() + at, big);
  for (uint16_t i = 0; i < n; ++i) tags.push_back(Get16(f.data() + at + 2 + 12 * i, big));
  return tags;
}

TMemoryStream* StreamOf(const Bytes& b, TMemoryStream& s) {
  s.Clear();
  s.WriteBuffer(b.data(), int64_t(b.size()));
  s.SetPosition(0);
  return &s;
}

}  // namespace

// Files made by tiffcp and exiftool come back from a read and a write with
// the same directories, values and pixel data, as tiffdump, tiffcmp and
// exiftool see them.
TEST(TIFFHandlerOracle, ToolMadeFilesRoundTrip) {
  REQUIRE_TOOL("tiffcp", "libtiff-tools");
  REQUIRE_TOOL("convert", "imagemagick");
  REQUIRE_TOOL("exiftool", "libimage-exiftool-perl");
  const std::string exif =
      "exiftool -q -overwrite_original -Make=TestMake -ExposureTime=1/125 -FNumber=2.8 -ISO=200 "
      "-UserComment=hello -GPSLatitude=48.5 -GPSLatitudeRef=N -GPSLongitude=11.25 -GPSLongitudeRef=E "
      "-GPSAltitude=512 -InteropIndex=R98 ";
  struct Case {
    const char* Name;
    std::string Commands;
    bool Image;  // pixels are compared too
  } cases[] = {
      {"strips", std::string(kBase) + " && tiffcp -c none -r 5 base.tif out.tif", true},
      {"strips big-endian", std::string(kBase) + " && tiffcp -B -c none -r 7 base.tif out.tif", true},
      {"tiles lzw", std::string(kBase) + " && tiffcp -c lzw -t -w 16 -l 16 base.tif out.tif", true},
      {"tiles deflate big-endian", std::string(kBase) + " && tiffcp -B -c zip -t -w 16 -l 16 base.tif out.tif", true},
      {"strips then tiles", std::string(kBase) + " && " + kTwoPages + " out.tif", true},
      {"EXIF, GPS and interoperability", std::string(kBase) + " && tiffcp -c none -r 5 base.tif out.tif && " + exif + "out.tif",
       true},
      {"EXIF big-endian", std::string(kBase) + " && tiffcp -B -c none base.tif out.tif && " + exif + "out.tif", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    ASSERT_TRUE(Make(dir, c.Commands));
    const auto src = dir / "out.tif";
    const auto dst = dir / "again.tif";
    TIETIFFHandler h(Wide(src));
    ASSERT_GT(h.IFDCount(), 0);
    h.WriteFile(Wide(dst), -1);

    const std::string dumpA = NormalizeTiffdump(Tiffdump(src));
    ASSERT_NE(dumpA.find("Directory 0"), std::string::npos) << dumpA;
    EXPECT_EQ(dumpA, NormalizeTiffdump(Tiffdump(dst)));
    const std::string exA = NormalizeExiftoolV3(ExiftoolV3(src));
    EXPECT_EQ(exA, NormalizeExiftoolV3(ExiftoolV3(dst)));
    if (std::string(c.Name).find("EXIF") != std::string::npos) {
      for (const char* part : {"ExifIFD directory with", "GPS directory with", "InteropIndex = R98", "UserComment = ASCIIhello"})
        EXPECT_NE(exA.find(part), std::string::npos) << part << "\n" << exA;
    }
    if (c.Image) {
      // tiffcmp reads strips only: both files go through libtiff's decoder
      // into plain strips first, so the pixels are compared, not the bytes.
      int rc = -1;
      const std::string diff = Capture("cd " + Quote(dir.Path()) +
                                     " && tiffcp -c none -s out.tif p1.tif && tiffcp -c none -s again.tif p2.tif"
                                     " && tiffcmp p1.tif p2.tif 2>&1", &rc);
      EXPECT_EQ(rc, 0) << diff;
    }
    // And it reads back into the same model.
    TIETIFFHandler back(Wide(dst));
    EXPECT_EQ(back.IFDCount(), h.IFDCount());
    EXPECT_EQ(back.BigEndian(), h.BigEndian());
  }
}

// The EXIF block of a JPEG holds an old-style JPEG thumbnail (compression 6
// with 513/514). Written back, its directory carries a last, temporary
// StripOffsets entry at the start of scan; reading that file removes 273 and
// the old JPEG table tags again.
TEST(TIFFHandlerOracle, OldStyleJpegThumbnail) {
  REQUIRE_TOOL("exiftool", "libimage-exiftool-perl");
  REQUIRE_TOOL("convert", "imagemagick");
  TempDir dir;
  ASSERT_TRUE(Make(dir,
                   "convert -size 160x120 gradient:yellow-green main.jpg && convert -size 64x48 gradient:white-black "
                   "thumb.jpg && exiftool -q -overwrite_original '-ThumbnailImage<=thumb.jpg' -Make=X "
                   "-ExposureTime=1/60 main.jpg && exiftool -b -EXIF main.jpg > exif.tif"));
  const Bytes thumb = ReadFileBytes(dir / "thumb.jpg");
  TIETIFFHandler h(Wide(dir / "exif.tif"));
  ASSERT_EQ(h.IFDCount(), 2);
  const TIETIFFEntryList* ifd1 = h.IFD(1);
  const int j = h.FindTag(1, 513);
  ASSERT_GE(j, 0);
  ASSERT_TRUE((*ifd1)[j].HasPieces);
  ASSERT_EQ((*ifd1)[j].Pieces.size(), 1u);
  EXPECT_EQ((*ifd1)[j].Pieces[0], thumb);
  EXPECT_EQ(h.FindTag(1, 273), -1);

  // Old JPEG table tags on a compression-6 directory go when 273 is there.
  for (int t : {519, 520, 521}) h.SetTag(h.IFD(1), t, IETIFFTYPE_LONG, 0);
  h.WriteFile(Wide(dir / "again.tif"), -1);
  const Bytes f = ReadFileBytes(dir / "again.tif");

  const std::string dump = NormalizeTiffdump(Tiffdump(dir / "again.tif"));
  const size_t d1 = dump.find("Directory 1");
  ASSERT_NE(d1, std::string::npos) << dump;
  const std::string ifd1Dump = dump.substr(d1);
  // The temporary entry stands last, after the sorted ones.
  EXPECT_NE(ifd1Dump.find("JPEGInterchangeFormatLength (514) LONG (4) 1<" + std::to_string(thumb.size()) + ">"),
            std::string::npos)
      << ifd1Dump;
  const std::string last = ifd1Dump.substr(ifd1Dump.rfind('\n', ifd1Dump.size() - 2) + 1);
  EXPECT_EQ(last, "StripOffsets (273) LONG (4) 1<offsets>\n") << ifd1Dump;

  // 273 points at the start of scan inside the thumbnail, 513 at its start.
  const bool big = f[0] == 'M';
  const uint32_t at1 = Get32(f.data() + 4 + 0, big);
  const uint32_t next = Get32(f.data() + at1 + 2 + 12 * Get16(f.data() + at1, big), big);
  const uint16_t n1 = Get16(f.data() + next, big);
  uint32_t soi = 0, sos = 0;
  for (uint16_t i = 0; i < n1; ++i) {
    const uint8_t* e = f.data() + next + 2 + 12 * i;
    if (Get16(e, big) == 513) soi = Get32(e + 8, big);
    if (Get16(e, big) == 273) sos = Get32(e + 8, big);
  }
  ASSERT_TRUE(soi > 0 && soi + thumb.size() <= f.size());
  EXPECT_TRUE(std::equal(thumb.begin(), thumb.end(), f.begin() + soi));
  ASSERT_GT(sos, soi);
  ASSERT_LT(sos + 1, f.size());
  EXPECT_EQ(f[sos], 0xFF);
  EXPECT_EQ(f[sos + 1], 0xDA);
  const uint8_t sosMarker[] = {0xFF, 0xDA};
  EXPECT_EQ(std::search(thumb.begin(), thumb.end(), std::begin(sosMarker), std::end(sosMarker)) - thumb.begin(),
            int64_t(sos - soi));

  TIETIFFHandler back(Wide(dir / "again.tif"));
  ASSERT_EQ(back.IFDCount(), 2);
  for (int t : {273, 519, 520, 521}) EXPECT_EQ(back.FindTag(1, t), -1) << t;
  const int k = back.FindTag(1, 513);
  ASSERT_GE(k, 0);
  EXPECT_EQ((*back.IFD(1))[k].Pieces[0], thumb);
  // The main directory and the EXIF directory are unchanged.
  const std::string a = NormalizeExiftoolV3(ExiftoolV3(dir / "exif.tif"));
  const std::string b = NormalizeExiftoolV3(ExiftoolV3(dir / "again.tif"));
  EXPECT_EQ(a.substr(0, a.find("IFD1")), b.substr(0, b.find("IFD1")));
  EXPECT_NE(a.find("ExposureTime = 0.01666"), std::string::npos) << a;
}

// GetValue reads each type's items in the file's byte order.
TEST(TIFFHandler, GetValueByTypeAndOrder) {
  for (bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    ByteWriter w(big);
    w.Str(big ? "MM" : "II");
    w.U16(42);
    w.U32(8);
    const int n = 9;
    const uint32_t data = 8 + 2 + 12 * n + 4;
    w.U16(n);
    auto entry = [&](uint16_t tag, uint16_t type, uint32_t count) { w.U16(tag), w.U16(type), w.U32(count); };
    entry(258, IETIFFTYPE_BYTE, 3), w.U8(200), w.U8(7), w.U8(9), w.U8(0);
    entry(259, IETIFFTYPE_SBYTE, 1), w.U32(big ? 0xF0000000 : 0xF0);
    entry(260, IETIFFTYPE_SHORT, 3), w.U32(data);
    entry(261, IETIFFTYPE_SSHORT, 1), w.U16(0xFFFF), w.U16(0);
    entry(262, IETIFFTYPE_LONG, 1), w.U32(0x80000001);
    entry(263, IETIFFTYPE_SLONG, 2), w.U32(data + 6);
    entry(264, IETIFFTYPE_ASCII, 4), w.Str(std::string("abc\0", 4));
    entry(265, IETIFFTYPE_RATIONAL, 1), w.U32(data + 14);
    entry(266, IETIFFTYPE_UNDEFINED, 2), w.U8(0xAB), w.U8(0xCD), w.U16(0);
    w.U32(0);
    w.U16(1), w.U16(0xFFFE), w.U16(3);
    w.U32(uint32_t(-5)), w.U32(6);
    w.U32(3), w.U32(4);
    TMemoryStream s;
    TIETIFFHandler h(StreamOf(w.Data(), s));
    ASSERT_EQ(h.IFDCount(), 1);
    const TIETIFFEntryList* l = h.IFD(0);
    struct Case {
      int Tag, Item, Expected;
    } cases[] = {
        {258, 0, 200}, {258, 2, 9}, {258, 3, 0},  // past the count
        {259, 0, -16}, {260, 1, 65534}, {260, 2, 3}, {261, 0, 65535},
        {262, 0, int32_t(0x80000001)}, {263, 0, -5}, {263, 1, 6}, {264, 1, 'b'},
        {265, 0, 0},  // RATIONAL has no integer items
        {266, 1, 0xCD}, {266, -1, 0}, {300, 0, 0},  // absent tag
    };
    for (const auto& c : cases) EXPECT_EQ(h.GetValueByTag(l, c.Tag, c.Item), c.Expected) << c.Tag << "[" << c.Item << "]";
    EXPECT_EQ(h.GetValue(l, 99, 0), 0);
    EXPECT_EQ(h.GetValue(nullptr, 0, 0), 0);
    EXPECT_EQ(h.FindTag(5, 271), -1);
    EXPECT_EQ(h.FindTag(0, 266), 8);
    EXPECT_EQ(h.FindTag(-1, 266), -1);
  }
}

// SetTag stores each type as tiffdump reads it, replaces the tag's entry, and
// a big-endian file is written big-endian with its entries sorted.
TEST(TIFFHandler, SetTagAndSortedBigEndianWrite) {
  REQUIRE_TOOL("tiffcp", "libtiff-tools");
  REQUIRE_TOOL("convert", "imagemagick");
  TempDir dir;
  ASSERT_TRUE(Make(dir, std::string(kBase) + " && tiffcp -B -c none base.tif out.tif"));
  TIETIFFHandler h(Wide(dir / "out.tif"));
  ASSERT_TRUE(h.BigEndian());
  TIETIFFEntryList* l = h.IFD(0);
  h.SetTag(l, 305, IETIFFTYPE_ASCII, AnsiString("Gimro"));
  h.SetTag(l, 270, IETIFFTYPE_ASCII, AnsiString("Ab"));  // fits inline with its zero
  h.SetTag(l, 282, IETIFFTYPE_RATIONAL, 72.56789);       // four decimals, truncated
  h.SetTag(l, 274, IETIFFTYPE_SHORT, 6.0);               // replaces the existing entry
  h.SetTag(l, 65003, IETIFFTYPE_SSHORT, -2.0);  // private tags, appended out of order
  h.SetTag(l, 65000, IETIFFTYPE_LONG, AnsiString("123456"));
  h.SetTag(l, 65002, IETIFFTYPE_SRATIONAL, -0.5);
  h.SetTag(l, 65001, IETIFFTYPE_DOUBLE, 0.125);
  EXPECT_THROW(h.SetTag(l, 65004, IETIFFTYPE_LONG, AnsiString("twelve")), EConvertError);
  EXPECT_EQ(CountTag(*l, 274), 1);
  EXPECT_EQ(h.GetValueByTag(l, 274, 0), 6);
  EXPECT_EQ(h.GetValueByTag(l, 305, 5), 0);  // the zero byte
  h.WriteFile(Wide(dir / "again.tif"), -1);

  const Bytes f = ReadFileBytes(dir / "again.tif");
  ASSERT_GE(f.size(), 8u);
  EXPECT_EQ(f[0], 'M');
  const auto tags = StoredTags(f);
  EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
  const std::string dump = Tiffdump(dir / "again.tif");
  for (const char* line : {"Software (305) ASCII (2) 6<Gimro\\0>", "ImageDescription (270) ASCII (2) 3<Ab\\0>",
                           "XResolution (282) RATIONAL (5) 1<72.5678>", "Orientation (274) SHORT (3) 1<6>",
                           "65003 (0xfdeb) SSHORT (8) 1<-2>", "65000 (0xfde8) LONG (4) 1<123456>",
                           "65002 (0xfdea) SRATIONAL (10) 1<-0.5>", "65001 (0xfde9) DOUBLE (12) 1<0.125>"})
    EXPECT_NE(dump.find(line), std::string::npos) << line << "\n" << dump;
}

// Copying the EXIF pointer copies the whole EXIF directory with its nested
// interoperability directory; a second copy replaces the first; handlers of
// different byte order and indexes out of range copy nothing.
TEST(TIFFHandler, CopyTagCarriesSubdirectories) {
  REQUIRE_TOOL("exiftool", "libimage-exiftool-perl");
  REQUIRE_TOOL("tiffcp", "libtiff-tools");
  REQUIRE_TOOL("convert", "imagemagick");
  TempDir dir;
  ASSERT_TRUE(Make(dir, std::string(kBase) +
                            " && tiffcp -c none base.tif plain.tif && tiffcp -B -c none base.tif be.tif"
                            " && cp plain.tif exif.tif && exiftool -q -overwrite_original -ExposureTime=1/8"
                            " -InteropIndex=R98 exif.tif"));
  TIETIFFHandler src(Wide(dir / "exif.tif"));
  TIETIFFHandler dst(Wide(dir / "plain.tif"));
  TIETIFFHandler be(Wide(dir / "be.tif"));
  const int e = src.FindTag(0, 34665);
  ASSERT_GE(e, 0);
  ASSERT_EQ(dst.FindTag(0, 34665), -1);

  dst.CopyTag(0, e, &src, 0);
  dst.CopyTag(0, e, &src, 0);
  EXPECT_EQ(CountTag(*dst.IFD(0), 34665), 1);
  be.CopyTag(0, e, &src, 0);  // other byte order
  dst.CopyTag(0, -1, &src, 0);
  dst.CopyTag(3, e, &src, 0);
  dst.CopyTag(0, e, &src, 4);
  EXPECT_EQ(be.FindTag(0, 34665), -1);
  EXPECT_EQ(int(dst.IFD(0)->size()), int(TIETIFFHandler(Wide(dir / "plain.tif")).IFD(0)->size()) + 1);

  // The copy is deep: changing the source afterwards leaves it alone.
  (*src.IFD(0))[e].SubIFD->clear();
  dst.WriteFile(Wide(dir / "copied.tif"), -1);
  // exiftool sees the same file as the one it wrote the EXIF data into.
  const std::string want = NormalizeExiftoolV3(ExiftoolV3(dir / "exif.tif"));
  ASSERT_NE(want.find("InteropIndex = R98"), std::string::npos) << want;
  EXPECT_EQ(want, NormalizeExiftoolV3(ExiftoolV3(dir / "copied.tif")));
}

// WriteStream with a directory index writes that directory alone; with an
// index out of range it writes all of them.
TEST(TIFFHandler, WriteOneOrAllDirectories) {
  REQUIRE_TOOL("tiffcp", "libtiff-tools");
  REQUIRE_TOOL("convert", "imagemagick");
  TempDir dir;
  ASSERT_TRUE(Make(dir, std::string(kBase) + " && " + kTwoPages + " multi.tif"));
  TIETIFFHandler h(Wide(dir / "multi.tif"));
  ASSERT_EQ(h.IFDCount(), 2);
  struct Case {
    int Index, Dirs;
    bool Tiled;
  } cases[] = {{1, 1, true}, {0, 1, false}, {7, 2, false}, {-1, 2, false}};
  for (const auto& c : cases) {
    TMemoryStream s;
    s.WriteBuffer("xyz", 3);  // offsets count from the start of the stream
    h.WriteStream(&s, c.Index);
    s.SetPosition(3);
    TIETIFFHandler back(&s);
    ASSERT_EQ(back.IFDCount(), c.Dirs) << c.Index;
    EXPECT_EQ(back.FindTag(0, 324) >= 0, c.Tiled) << c.Index;
    const int k = back.FindTag(0, c.Tiled ? 324 : 273);
    ASSERT_GE(k, 0);
    const auto& got = (*back.IFD(0))[k].Pieces;
    const auto& want = (*h.IFD(c.Tiled ? 1 : 0))[h.FindTag(c.Tiled ? 1 : 0, c.Tiled ? 324 : 273)].Pieces;
    EXPECT_EQ(got, want);
  }
}

// Only "II" and "MM" headers of classic TIFF are read; a missing file leaves
// the handler empty.
TEST(TIFFHandler, HeadersThatAreNotClassicTiff) {
  struct Case {
    const char* What;
    std::string Bytes;
    bool Ok;
  } cases[] = {
      {"empty", "", false},
      {"short", "II*", false},
      {"other signature", std::string("XX*\0\x08\0\0\0", 8), false},
      {"BigTIFF", std::string("II+\0\x08\0\0\0\x10\0\0\0\0\0\0\0", 16), false},
      {"no directory", std::string("MM\0*\0\0\0\0", 8), true},
      {"directory outside", std::string("II*\0\xff\0\0\0", 8), true},
  };
  for (const auto& c : cases) {
    TMemoryStream s;
    TIETIFFHandler h;
    EXPECT_EQ(h.ReadStream(StreamOf(Bytes(c.Bytes.begin(), c.Bytes.end()), s)), c.Ok) << c.What;
    EXPECT_EQ(h.IFDCount(), 0) << c.What;
  }
  TempDir dir;
  TIETIFFHandler none(Wide(dir / "missing.tif"));
  EXPECT_EQ(none.IFDCount(), 0);
  EXPECT_FALSE(none.BigEndian());
  EXPECT_EQ(none.Magic(), 42);
}

// HD Photo files (magic 444) carry their image planes through 48320/48321;
// in a plain TIFF those tags are ordinary values.
TEST(TIFFHandler, HDPhotoPlanesArePieces) {
  for (Word magic : {Word(444), Word(42)}) {
    ByteWriter w(false);
    w.Str("II");
    w.U16(magic);
    w.U32(8);
    w.U16(2);
    w.U16(48320), w.U16(IETIFFTYPE_LONG), w.U32(1), w.U32(38);
    w.U16(48321), w.U16(IETIFFTYPE_LONG), w.U32(1), w.U32(5);
    w.U32(0);
    w.Str("plane");
    TMemoryStream s, out;
    TIETIFFHandler h(StreamOf(w.Data(), s));
    ASSERT_EQ(h.IFDCount(), 1);
    EXPECT_EQ(h.Magic(), magic);
    const TIETIFFEntry& e = (*h.IFD(0))[0];
    EXPECT_EQ(e.HasPieces, magic == 444);
    out.WriteBuffer("0123456789", 10);  // moves the plane when rewritten
    h.WriteStream(&out, -1);
    out.SetPosition(10);
    TIETIFFHandler back(&out);
    ASSERT_EQ(back.IFDCount(), 1);
    const uint32_t at = uint32_t(back.GetValueByTag(back.IFD(0), 48320, 0));
    const Bytes b = StreamBytes(out);
    ASSERT_LE(at + 5, b.size());
    EXPECT_EQ(std::string(b.begin() + at, b.begin() + at + 5) == "plane", magic == 444) << magic;
  }
}

// A handler can write over the file it was read from; a file that cannot be
// created raises and leaves nothing behind.
TEST(TIFFHandler, WriteFileReplacesItsSourceSafely) {
  TempDir dir;
  ByteWriter w(false);
  w.Str("II");
  w.U16(42);
  w.U32(8);
  w.U16(1);
  w.U16(270), w.U16(IETIFFTYPE_ASCII), w.U32(8), w.U32(8 + 18);
  w.U32(0);
  w.Str(std::string("picture\0", 8));
  WriteFileBytes(dir / "a.tif", w.Data());
  {
    TIETIFFHandler h(Wide(dir / "a.tif"));
    ASSERT_EQ(h.IFDCount(), 1);
    h.SetTag(h.IFD(0), 305, IETIFFTYPE_ASCII, AnsiString("tool"));
    h.WriteFile(Wide(dir / "a.tif"), -1);
  }
  TIETIFFHandler back(Wide(dir / "a.tif"));
  ASSERT_EQ(back.IFDCount(), 1);
  const int d = back.FindTag(0, 270);
  ASSERT_GE(d, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>((*back.IFD(0))[d].Data.data())), "picture");
  EXPECT_GE(back.FindTag(0, 305), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);

  EXPECT_THROW(back.WriteFile(Wide(dir / "missing" / "b.tif"), -1), EStreamError);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

}  // namespace test_tiffhandler_tests
