// The descriptor table seen through the dispatch: every format whose row
// holds a reader gives the same picture whether it is loaded by file, by
// stream or by buffer, by content or by id; every row without one refuses
// the same way on all three paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>

#include "dispatch_test_util.h"
#include "imaging/io/ieformatdesc.h"
#include "tests/support/pnm.h"

namespace test_format_table_tests {

using namespace dispatch_test;
using io_test::Bytes;
using io_test::TempDir;

namespace {

WideString Wide(const std::string& S) { return Utf8ToWide(S); }

std::string LowerFirstExtension(TIEFileType Id) {
  std::string ext = WideToUtf8(IEGetFormatExtension(Id, 0));
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// A file of the format made by an outside program from a small picture, so
// that the readers see data they did not write; without that program, the
// format's own writer makes it.
Bytes MakeFixture(TempDir& Dir, TIEFileType Id, std::string& Path) {
  const std::string ext = LowerFirstExtension(Id);
  Path = Dir.File("fixture." + ext);
  const int w = 13, h = 7;
  std::vector<int> samples;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      samples.push_back(static_cast<uint8_t>(x * 19));
      samples.push_back(static_cast<uint8_t>(y * 36));
      samples.push_back(static_cast<uint8_t>((x + y) * 11));
    }
  const std::string ppm = Dir.File("source.ppm");
  // ImageMagick writes no DICOM: dcmtk wraps a BMP of the picture.
  if (Id == ieftDICOM && gt_test::WritePnmSamples(ppm, w, h, 3, 255, samples) && gt_test::HaveTool("img2dcm") &&
      gt_test::Shell("convert " + ppm + " bmp3:" + Dir.File("source.bmp") + " && img2dcm -i BMP " +
                     Dir.File("source.bmp") + " " + Path + " >/dev/null 2>&1") == 0)
    return io_test::ReadFile(Path);
  if (gt_test::WritePnmSamples(ppm, w, h, 3, 255, samples) && gt_test::HaveTool("convert") &&
      gt_test::Shell("convert " + ppm + " " + ext + ":" + Path) == 0)
    return io_test::ReadFile(Path);
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(w, h, ie24RGB);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<Byte*>(io.IEBitmap()->GetScanline(y));
    for (int i = 0; i < w * 3; ++i) row[i] = static_cast<Byte>(samples[size_t(y) * w * 3 + i]);
  }
  TMemoryStream s;
  io.SaveToStream(&s, Id);
  EXPECT_FALSE(io.Aborting()) << "no fixture for format " << Id;
  const Bytes data = StreamBytes(s);
  io_test::WriteFile(Path, data);
  return data;
}

struct TLoaded {
  bool Aborting = true;
  Integer Finishes = 0;
  TIEFileType FileType = -1;
  Integer Width = 0, Height = 0;
  TIEPixelFormat PixelFormat = ieNone;
  Bytes Pixels, Alpha;
};

Bytes Rows(TIEBitmap* B) {
  Bytes out;
  const size_t len = static_cast<size_t>(B->Width()) * B->BitCount() / 8;
  for (Integer y = 0; y < B->Height(); ++y) {
    const auto* row = static_cast<const Byte*>(B->GetScanline(y));
    out.insert(out.end(), row, row + len);
  }
  return out;
}

template <typename F>
TLoaded Load(F&& Do) {
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(1, 1, ie24RGB);
  TEventLog log;
  log.Attach(io);
  io.SetAborting(false);
  Do(io);
  TLoaded r;
  r.Aborting = io.Aborting();
  r.Finishes = log.Finishes();
  r.FileType = io.Params().FILETYPE;
  TIEBitmap* b = io.IEBitmap();
  r.Width = b->Width();
  r.Height = b->Height();
  r.PixelFormat = b->PixelFormat();
  r.Pixels = Rows(b);
  if (b->HasAlphaChannel()) r.Alpha = Rows(b->GetAlphaChannel());
  return r;
}

// The five ways into a format's reader.
struct TWay {
  const char* Name;
  std::function<void(TZiduzUvIO&, const std::string& Path, const Bytes& Data, TIEFileType Id)> Do;
};
const TWay kWays[] = {
    {"file by id", [](TZiduzUvIO& io, const std::string& p, const Bytes&, TIEFileType id) {
       io.LoadFromFileFormat(Wide(p), id);
     }},
    {"stream by content",
     [](TZiduzUvIO& io, const std::string&, const Bytes& d, TIEFileType) {
       TMemoryStream s;
       io_test::Fill(s, d);
       io.LoadFromStream(&s);
     }},
    {"stream by id",
     [](TZiduzUvIO& io, const std::string&, const Bytes& d, TIEFileType id) {
       TMemoryStream s;
       io_test::Fill(s, d);
       io.LoadFromStreamFormat(&s, id);
     }},
    {"buffer by content",
     [](TZiduzUvIO& io, const std::string&, const Bytes& d, TIEFileType) {
       io.LoadFromBuffer(d.data(), static_cast<Integer>(d.size()), 0);
     }},
    {"buffer by id", [](TZiduzUvIO& io, const std::string&, const Bytes& d, TIEFileType id) {
       io.LoadFromBuffer(d.data(), static_cast<Integer>(d.size()), id);
     }},
};

TEST_F(RegistryTest, EveryReadableFormatLoadsAlikeByFileStreamAndBuffer) {
  TempDir dir;
  std::vector<TIEFileType> covered;
  for (const TIEFormatDescriptor& d : IEFormatDescriptors()) {
    // Headerless raw pixels need a picture the caller has sized: no file holds one.
    // Camera files lose their edge pixels to the sensor's colour filter and come
    // from no writer here: their loads are checked with synthetic files of their own.
    if (!IEGetBuiltInCodec(d.FileType).Read || d.FileType == ieftBMPRAW || d.FileType == ieftRAW) continue;
    SCOPED_TRACE(d.FullName);
    covered.push_back(d.FileType);
    std::string path;
    const Bytes data = MakeFixture(dir, d.FileType, path);
    ASSERT_FALSE(data.empty());
    // The file by its extension is the reference the other ways must match.
    const TLoaded ref = Load([&](TZiduzUvIO& io) { io.LoadFromFile(Wide(path)); });
    ASSERT_FALSE(ref.Aborting);
    EXPECT_EQ(ref.Finishes, 1);
    EXPECT_EQ(ref.FileType, d.FileType);
    EXPECT_EQ(ref.Width, 13);
    EXPECT_EQ(ref.Height, 7);
    for (const TWay& way : kWays) {
      // A format without a content test (WBMP) is known by its name or id only.
      if (d.Sniff[0].Order == 0 && std::strstr(way.Name, "by content")) continue;
      // ImageMagick writes a cursor as an icon directory (type 1): by content it is an icon.
      if (d.FileType == ieftCUR && data.size() > 2 && data[2] != 2 && std::strstr(way.Name, "by content")) continue;
      SCOPED_TRACE(way.Name);
      const TLoaded got = Load([&](TZiduzUvIO& io) { way.Do(io, path, data, d.FileType); });
      EXPECT_FALSE(got.Aborting);
      EXPECT_EQ(got.Finishes, 1);
      EXPECT_EQ(got.FileType, d.FileType);
      EXPECT_EQ(got.Width, ref.Width);
      EXPECT_EQ(got.Height, ref.Height);
      EXPECT_EQ(got.PixelFormat, ref.PixelFormat);
      EXPECT_TRUE(got.Pixels == ref.Pixels) << "pixels differ from the file load";
      EXPECT_TRUE(got.Alpha == ref.Alpha) << "alpha differs from the file load";
    }
  }
  // The formats built so far; a new codec joins this list by its row alone.
  EXPECT_NE(std::find(covered.begin(), covered.end(), ieftJPEG), covered.end());
  EXPECT_NE(std::find(covered.begin(), covered.end(), ieftPNG), covered.end());
}

// A row without a reader (a module not built yet, or a format that is only
// written) refuses every load by id alike: Aborting set, one finish event,
// the picture untouched.
TEST_F(RegistryTest, EveryRowWithoutAReaderRefusesByFileStreamAndBuffer) {
  TempDir dir;
  Integer rows = 0;
  for (const TIEFormatDescriptor& d : IEFormatDescriptors()) {
    if (!d.Registered || !IEFindFormatInfo(d.FileType) || IEGetBuiltInCodec(d.FileType).Read) continue;
    // Layered files go to a view or an off-screen view, not to a reader.
    if (d.FileLoad == ierLayered) continue;
    SCOPED_TRACE(d.FullName);
    ++rows;
    const std::string ext = LowerFirstExtension(d.FileType);
    const std::string path = dir.File(ext.empty() ? "picture" : "picture." + ext);
    const Bytes data = io_test::Zeros(200);
    io_test::WriteFile(path, data);
    for (const TWay& way : kWays) {
      if (std::strstr(way.Name, "by content")) continue;  // zeros are no format's content
      SCOPED_TRACE(way.Name);
      const TLoaded got = Load([&](TZiduzUvIO& io) { way.Do(io, path, data, d.FileType); });
      EXPECT_TRUE(got.Aborting);
      EXPECT_EQ(got.Finishes, 1);
      EXPECT_EQ(got.Width, 1);
      EXPECT_EQ(got.Height, 1);
    }
  }
  EXPECT_GE(rows, 4) << "the written-only and rendered formats at least";
}

// Where the platform has the HD Photo component its entry joins the registry
// and its files go through the codec: saved by extension and by id, loaded
// by extension and by id; content that is no HD Photo is refused with the
// finish event.
TEST_F(RegistryTest, HDPhotoEntryWhereThePlatformHasTheComponent) {
  auto entries = IEBuiltInFormatEntries(true);
  ASSERT_EQ(entries.back()->FileType, ieftHDP);
  IERegisterFormat(std::move(entries.back()));
  ASSERT_NE(IEFindFormatInfoByExtension(u".HDP"), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"wdp")->FileType, ieftHDP);

  TempDir dir;
  const std::string saved = dir.File("b.wdp");
  TMemoryStream byId;
  {
    TZiduzUvIO io(nullptr);
    io.IEBitmap()->Allocate(3, 2, ie24RGB);
    for (Integer y = 0; y < 2; ++y) std::memset(io.IEBitmap()->GetScanline(y), 40 + 100 * y, 9);
    io.Params().HDP_LOSSLESS = true;
    io.SaveToFile(Wide(saved));
    EXPECT_FALSE(io.Aborting());
    io.SaveToStream(&byId, ieftHDP);
    EXPECT_FALSE(io.Aborting());
  }
  EXPECT_EQ(io_test::ReadFile(saved), StreamBytes(byId));
  const std::function<void(TZiduzUvIO&)> loads[] = {
      [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(saved)); },
      [&](TZiduzUvIO& io) { io.LoadFromFileFormat(Wide(saved), ieftHDP); },
  };
  for (const auto& op : loads) {
    const TLoaded got = Load(op);
    EXPECT_FALSE(got.Aborting);
    EXPECT_EQ(got.Finishes, 1);
    EXPECT_EQ(got.FileType, ieftHDP);
    EXPECT_EQ(got.Width, 3);
    ASSERT_EQ(got.Pixels.size(), 18u);
    EXPECT_EQ(got.Pixels[0], 40);
    EXPECT_EQ(got.Pixels[17], 140);
  }
  const std::string zeros = dir.File("a.hdp");
  io_test::WriteFile(zeros, io_test::Zeros(64));
  const TLoaded got = Load([&](TZiduzUvIO& io) { io.LoadFromFile(Wide(zeros)); });
  EXPECT_TRUE(got.Aborting);
  EXPECT_EQ(got.Finishes, 1);
}

}  // namespace

}  // namespace test_format_table_tests
