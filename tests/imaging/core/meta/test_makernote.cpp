// Maker notes: the known layouts read and written back, checked against
// exiftool's parse, and notes that lie about their sizes.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "imaging/core/meta/ietifftags.h"
#include "tifftags_util.h"

namespace test_makernote_tests {

using namespace tifftags_test;

namespace {

struct NoteLayout {
  const char* Make;
  std::string Signature;
  std::string Block;  // byte-order block, empty when the layout has none
  int OffsetMode;
  bool NoteBig;       // byte order of the note's numbers
};

const NoteLayout kLayouts[] = {
    {"SONY", std::string("SONY DSC \0\0\0", 12), "", 0, false},
    {"SONY", std::string("SONY CAM \0\0\0", 12), "", 0, false},
    {"NIKON CORPORATION", std::string("Nikon\0\x02\x10\0\0", 10), std::string("MM\0\x2a\0\0\0\x08", 8), 1, true},
    {"CASIO COMPUTER CO.,LTD.", std::string("QVC\0\0\0", 6), "", 0, true},
    {"SEIKO EPSON CORP.", std::string("EPSON\0\x01\0", 8), "", 0, false},
    {"NIKON", std::string("Nikon\0\x01\0", 8), "", 0, false},
    {"Panasonic", std::string("Panasonic\0\0\0", 12), "", 0, false},
};

// A note with five entries: SHORT inline, LONG array, text, RATIONAL, bytes.
Bytes MakeNote(const NoteLayout& L, size_t Base) {
  ByteWriter w(L.NoteBig);
  w.Str(L.Signature);
  w.Str(L.Block);
  const size_t count = 5;
  const size_t dataAt = w.Size() + 2 + 12 * count + 4;
  ByteWriter data(L.NoteBig);
  ByteWriter dir(L.NoteBig);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t cnt, const Bytes& val) {
    dir.U16(tag);
    dir.U16(type);
    dir.U32(cnt);
    if (val.size() <= 4) {
      Bytes v = val;
      v.resize(4, 0);
      dir.Raw(v);
    } else {
      const size_t pos = dataAt + data.Size();
      dir.U32(uint32_t(L.OffsetMode == 1 ? pos - L.Signature.size() : Base + pos));
      data.Raw(val);
      data.Pad();
    }
  };
  ByteWriter v(L.NoteBig);
  v.U16(7);
  entry(1, 3, 1, v.Data());
  ByteWriter arr(L.NoteBig);
  arr.U32(1);
  arr.U32(70000);
  arr.U32(3);
  entry(2, 4, 3, arr.Data());
  entry(3, 2, 12, Bytes{'H', 'e', 'l', 'l', 'o', ' ', 'n', 'o', 't', 'e', '!', 0});
  ByteWriter rat(L.NoteBig);
  rat.U32(28);
  rat.U32(10);
  entry(4, 5, 1, rat.Data());
  entry(5, 7, 6, Bytes{1, 2, 3, 4, 5, 6});
  w.U16(count);
  w.Raw(dir.Data());
  w.U32(0);
  w.Raw(data.Data());
  return w.Data();
}

struct NoteTiff {
  Bytes File;
  size_t NoteOffset = 0, NoteLength = 0;
};

// A TIFF with Make in IFD0 and the maker note in the EXIF directory; Note
// receives the absolute offset at which its bytes will stand.
NoteTiff TiffWithNote(const std::string& Make, bool Big, const std::function<Bytes(size_t)>& Note) {
  ByteWriter w(Big);
  w.Str(Big ? "MM" : "II");
  w.U16(42);
  w.U32(8);
  const std::string make = Make + std::string(1, '\0');
  const size_t makeAt = 8 + 2 + 2 * 12 + 4;
  const size_t exifAt = (makeAt + make.size() + 1) & ~size_t(1);
  const size_t noteAt = exifAt + 2 + 12 + 4;
  w.U16(2);
  w.U16(271), w.U16(2), w.U32(uint32_t(make.size())), w.U32(uint32_t(makeAt));
  w.U16(34665), w.U16(4), w.U32(1), w.U32(uint32_t(exifAt));
  w.U32(0);
  w.Str(make);
  w.Pad();
  const Bytes note = Note(noteAt);
  w.U16(1);
  w.U16(37500), w.U16(7), w.U32(uint32_t(note.size())), w.U32(uint32_t(noteAt));
  w.U32(0);
  w.Raw(note);
  return {w.Data(), noteAt, note.size()};
}

// The note's bytes as the handler writes them at an absolute offset.
Bytes WrittenAt(TIETagsHandler& H, size_t At, Integer* Result = nullptr) {
  TMemoryStream s;
  s.SetSize(int64_t(At));
  s.SetPosition(int64_t(At));
  const Integer n = H.WriteToStream(&s);
  if (Result) *Result = n;
  Bytes all = StreamBytes(s);
  return Bytes(all.begin() + int64_t(At), all.end());
}

void ReadNote(TIETagsHandler& H, const Bytes& File, size_t At, size_t Len, bool LittleEndian) {
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(int64_t(At));
  H.ReadFromStream(&s, Integer(Len), LittleEndian);
}

uint32_t TagStreamLong(TIETagsHandler& H, uint32_t Pos) {
  return Get32(static_cast<const uint8_t*>(H.TagsStream()->Memory()) + Pos, false);
}

}  // namespace

// Every known layout is recognised, its numbers arrive in host order, and the
// note written back parses in exiftool exactly as the original does.
TEST(MakerNote, KnownLayoutsRoundTripAsExiftoolReadsThem) {
  REQUIRE_TOOL("exiftool", "libimage-exiftool-perl");
  TempDir dir;
  for (const auto& L : kLayouts) {
    SCOPED_TRACE(L.Make + std::string(" ") + L.Signature.c_str());
    const NoteTiff orig = TiffWithNote(L.Make, false, [&](size_t at) { return MakeNote(L, at); });

    TIETagsHandler h;
    ReadNote(h, orig.File, orig.NoteOffset, orig.NoteLength, true);
    ASSERT_EQ(h.DeviceInfo().Signature, L.Signature);
    ASSERT_EQ(h.RawSize(), Integer(orig.NoteLength));
    ASSERT_EQ(h.IFDCount(), 5);
    const TIETIFFDirEntry* e = h.IFD();
    EXPECT_EQ(e[0].Tag, 1);
    EXPECT_EQ(e[0].Value & 0xFFFF, 7u);  // a big-endian SHORT keeps its value, not its bytes
    EXPECT_EQ(e[1].Count, 3u);
    EXPECT_EQ(TagStreamLong(h, e[1].Value + 4), 70000u);
    EXPECT_EQ(TagStreamLong(h, e[3].Value), 28u);
    EXPECT_EQ(TagStreamLong(h, e[3].Value + 4), 10u);
    if (!L.Block.empty()) {
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.DeviceInfo().ByteOrderBlock), 8), L.Block);
    }

    Integer written = 0;
    const NoteTiff again = TiffWithNote(L.Make, false, [&](size_t at) { return WrittenAt(h, at, &written); });
    EXPECT_EQ(size_t(written), again.NoteLength);
    const Bytes note(again.File.begin() + int64_t(again.NoteOffset), again.File.end());
    ASSERT_GE(note.size(), L.Signature.size() + L.Block.size());
    EXPECT_EQ(std::string(note.begin(), note.begin() + int64_t(L.Signature.size())), L.Signature);
    if (!L.Block.empty()) {  // the block's offset field is 8 again
      EXPECT_EQ(std::string(note.begin() + int64_t(L.Signature.size()), note.begin() + int64_t(L.Signature.size() + 8)),
                L.Block);
    }

    WriteFileBytes(dir / "orig.tif", orig.File);
    WriteFileBytes(dir / "again.tif", again.File);
    const std::string a = NormalizeExiftoolV3(ExiftoolV3(dir / "orig.tif"));
    const std::string b = NormalizeExiftoolV3(ExiftoolV3(dir / "again.tif"));
    ASSERT_NE(a.find("MakerNotes directory with 5 entries"), std::string::npos) << a;
    EXPECT_EQ(a, b);

    // Our own reader takes the written note back unchanged.
    TIETagsHandler back;
    ReadNote(back, again.File, again.NoteOffset, again.NoteLength, true);
    ASSERT_EQ(back.IFDCount(), 5);
    EXPECT_EQ(StreamBytes(*back.TagsStream()), StreamBytes(*h.TagsStream()));
  }
}

// A note of fixed big-endian order ("QVC") stays big-endian when written, so
// that it reads back whatever the enclosing order; written little-endian it
// would come back with a byte-swapped entry count and be thrown away.
TEST(MakerNote, FixedOrderNoteReadsBackInEitherEnclosingOrder) {
  const NoteLayout& qvc = kLayouts[3];
  for (bool enclosingLittle : {true, false}) {
    const NoteTiff orig = TiffWithNote(qvc.Make, !enclosingLittle, [&](size_t at) { return MakeNote(qvc, at); });
    TIETagsHandler h;
    ReadNote(h, orig.File, orig.NoteOffset, orig.NoteLength, enclosingLittle);
    ASSERT_EQ(h.IFDCount(), 5);
    const Bytes note = WrittenAt(h, orig.NoteOffset);
    ASSERT_GE(note.size(), 8u);
    EXPECT_EQ(Get16(note.data() + 6, true), 5);
    TIETagsHandler back;
    const NoteTiff again = TiffWithNote(qvc.Make, !enclosingLittle, [&](size_t) { return note; });
    ReadNote(back, again.File, again.NoteOffset, again.NoteLength, !enclosingLittle);
    ASSERT_EQ(back.IFDCount(), 5);
    EXPECT_EQ(StreamBytes(*back.TagsStream()), StreamBytes(*h.TagsStream()));
  }
}

// Notes whose directory does not fit leave the handler empty, and nothing is
// read beyond the note.
TEST(MakerNote, NotesThatDoNotHoldTheirDirectoryAreRejected) {
  auto le16 = [](uint16_t v) { return std::string{char(v & 0xFF), char(v >> 8)}; };
  const std::string sony("SONY DSC \0\0\0", 12);
  const std::string entry12(12, '\x01');
  struct Case {
    const char* What;
    std::string Note;
  } cases[] = {
      {"300 entries", le16(300) + std::string(300 * 12 + 4, '\0')},
      // Passes "size >= count x 12" yet the second entry runs past the note.
      {"entries past the end", sony + le16(2) + entry12},
      {"count past the end", sony + std::string(1, '\x01')},
      {"shorter than its signature", std::string("SONY D")},
      {"byte-order block cut short", std::string("Nikon\0\x02\x10\0\0MM\0", 13)},
      {"one byte", std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    // The note sits at the very end of a buffer, so ASan sees any overread.
    TIETagsHandler h;
    const Bytes file(c.Note.begin(), c.Note.end());
    ReadNote(h, file, 0, file.size(), true);
    EXPECT_EQ(h.IFDCount(), 0);
    EXPECT_EQ(h.RawSize(), 0);
    EXPECT_EQ(h.RawData(), nullptr);
    EXPECT_EQ(h.TagsStream()->Size(), 0);
    EXPECT_EQ(WrittenAt(h, 0).size(), 0u);
  }
}

// Entries whose data lie outside the note stay with count and value 0; a
// count whose byte length overflows 32 bits does not pass as inside.
TEST(MakerNote, DataOutsideTheNoteIsDroppedFromItsEntry) {
  const size_t base = 100;  // where the note stands in the enclosing TIFF
  ByteWriter w(false);
  w.U16(4);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    w.U16(tag), w.U16(type), w.U32(count), w.U32(value);
  };
  const uint32_t data = uint32_t(base + 2 + 4 * 12 + 4);
  entry(1, 2, 8, data);                  // inside: "inside!\0"
  entry(2, 2, 8, uint32_t(base - 10));   // 10 bytes before the note
  entry(3, 12, 0x20000001, data);        // 8 x count wraps to 8 in 32 bits
  entry(4, 2, 8, data + 4);              // runs 4 bytes past the end
  w.U32(0);
  w.Str(std::string("inside!\0", 8));
  Bytes file(base, 0);
  file.insert(file.end(), w.Data().begin(), w.Data().end());

  TIETagsHandler h;
  ReadNote(h, file, base, file.size() - base, true);
  ASSERT_EQ(h.IFDCount(), 4);
  const TIETIFFDirEntry* e = h.IFD();
  EXPECT_EQ(e[0].Count, 8u);
  const char* ts = static_cast<const char*>(h.TagsStream()->Memory());
  EXPECT_STREQ(ts + e[0].Value, "inside!");
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(e[i].Tag, i + 1);
    EXPECT_EQ(e[i].Count, 0u) << i;
    EXPECT_EQ(e[i].Value, 0u) << i;
  }
}

// Directories built by hand in the tag stream (the RAW reader's way) are read
// and written; Assign copies all of it; a note past 65000 bytes writes nothing.
TEST(MakerNote, HandBuiltDirectoryAssignAndLengthLimit) {
  auto build = [](TIETagsHandler& h, uint32_t arrayLen) {
    ByteWriter w(false);
    w.U16(2);
    w.U16(0x10), w.U16(3), w.U32(arrayLen), w.U32(2 + 24);
    w.U16(0x11), w.U16(3), w.U32(1), w.U32(0xBEEF);
    for (uint32_t i = 0; i < arrayLen; ++i) w.U16(i * 3);
    h.TagsStream()->WriteBuffer(w.Data().data(), int64_t(w.Size()));
    h.ReadDirectory();
  };
  TIETagsHandler h;
  build(h, 5);
  ASSERT_EQ(h.IFDCount(), 2);
  EXPECT_EQ(h.IFD()[1].Value, 0xBEEFu);

  TIETagsHandler copy;
  copy.Assign(&h);
  ASSERT_EQ(copy.IFDCount(), 2);
  EXPECT_EQ(StreamBytes(*copy.TagsStream()), StreamBytes(*h.TagsStream()));

  // No layout: a plain little-endian directory with absolute offsets.
  Integer n = 0;
  const Bytes note = WrittenAt(copy, 40, &n);
  ASSERT_EQ(size_t(n), note.size());
  ASSERT_EQ(note.size(), 2u + 24 + 4 + 10);
  EXPECT_EQ(Get16(note.data(), false), 2);
  EXPECT_EQ(Get32(note.data() + 2 + 8, false), 40u + 30);  // data right after the directory
  EXPECT_EQ(Get16(note.data() + 30 + 8, false), 12);       // fifth item, 4 x 3
  EXPECT_EQ(Get32(note.data() + 14 + 8, false), 0xBEEFu);

  TIETagsHandler big;
  build(big, 33000);  // 66000 bytes of data
  TMemoryStream s;
  EXPECT_EQ(big.WriteToStream(&s), 0);
  EXPECT_EQ(s.Size(), 0);
  TIETagsHandler fits;
  build(fits, 32000);
  EXPECT_EQ(fits.WriteToStream(&s), Integer(2 + 24 + 4 + 64000));

  h.Clear();
  EXPECT_EQ(h.IFDCount(), 0);
  EXPECT_EQ(h.TagsStream()->Size(), 0);
  EXPECT_EQ(h.WriteToStream(&s), 0);
}

}  // namespace test_makernote_tests
