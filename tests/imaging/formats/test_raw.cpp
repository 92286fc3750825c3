// The camera RAW reader: identification and sizes against LibRaw's own tools,
// the working image against dcraw_emu, the 8-bit and 16-bit output against an
// independent numpy implementation of the white point and gamma table, the
// white point rule, and the CRW metadata heap (with hostile heaps).
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "formats_test_util.h"
#include "imaging/formats/raw.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "tests/support/pnm.h"

using namespace fmt_test;

namespace raw_tests {
namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/formats";

std::string MakeDng(const TempDir& Dir, const std::string& Name, int W, int H, const std::string& Make,
                    const std::string& Model) {
  const std::string path = Dir.File(Name);
  const int rc = Shell("/usr/bin/python3 " + kHere + "/raw_fixtures.py dng '" + path + "' " + std::to_string(W) +
                       " " + std::to_string(H) + " '" + Make + "' '" + Model + "'");
  EXPECT_EQ(rc, 0) << "python3 with numpy and tifffile is needed";
  return path;
}

std::unique_ptr<TMemoryStream> Load(const std::string& Path) {
  auto s = std::make_unique<TMemoryStream>();
  Fill(*s, gt_test::ReadFileBytes(Path));
  return s;
}

// "Camera: ..." and "Image size: W x H" of raw-identify -v.
void Identify(const std::string& Path, std::string& Camera, int& W, int& H) {
  std::istringstream in(Capture("raw-identify -v '" + Path + "'"));
  std::string line;
  W = H = 0;
  while (std::getline(in, line)) {
    if (line.rfind("Camera: ", 0) == 0) Camera = line.substr(8, line.find(" ID:") - 8);
    if (line.rfind("Image size:", 0) == 0) std::sscanf(line.c_str() + 11, " %d x %d", &W, &H);
  }
}

TEST(RawReader, PreviewNamesTheCameraAndSizesLikeLibRawsIdentify) {
  ASSERT_TRUE(HaveTool("raw-identify"));
  TempDir dir("raw");
  struct Case {
    int W, H;
    const char* Make;
    const char* Model;
  } cases[] = {{40, 30, "Testmake", "Cam1"}, {36, 22, "FUJIFILM", "Two Words"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Model);
    const std::string path = MakeDng(dir, "p.dng", c.W, c.H, c.Make, c.Model);
    std::string camera;
    int iw = 0, ih = 0;
    Identify(path, camera, iw, ih);
    ASSERT_GT(iw, 0);
    auto s = Load(path);
    s->SetPosition(5);
    EXPECT_TRUE(IEProbeRAW(s.get()));
    EXPECT_EQ(s->Position(), 5);
    TIEBitmap bmp(3, 3, ie24RGB);
    TIOParamsVals params(nullptr);
    Progress pr;
    Integer last = -1;
    pr.Rec.fOnProgress = [&](TObject*, Integer p) { last = p; };
    IEReadRAW(s.get(), &bmp, params, pr.Rec, true);
    ASSERT_FALSE(pr.Aborting);
    // make + " " + model + " " + secondary model: an empty last part leaves a blank.
    EXPECT_EQ(params.RAW_CAMERA, camera + " ");
    EXPECT_EQ(params.WIDTH, iw - 2);
    EXPECT_EQ(params.HEIGHT, ih - 2);
    EXPECT_EQ(params.ORIGINALWIDTH, iw - 2);
    EXPECT_EQ(params.DPIX, IEDefaultDpiX);
    EXPECT_EQ(last, 100);
    EXPECT_EQ(bmp.Width(), 3);  // a preview leaves the picture alone
  }
}

TEST(RawReader, ProbeAndReaderRefuseWhatTheDecoderDoesNotKnow) {
  Bytes junk(4096);
  gt_test::Lcg g(5);
  for (Byte& b : junk) b = Byte(g.Next());
  const Bytes tiffLike = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  for (const Bytes& data : {junk, tiffLike, Bytes{}}) {
    TMemoryStream s;
    Fill(s, data);
    EXPECT_FALSE(IEProbeRAW(&s));
    EXPECT_EQ(s.Position(), 0);
    TIEBitmap bmp(2, 2, ie24RGB);
    TIOParamsVals params(nullptr);
    Progress pr;
    IEReadRAW(&s, &bmp, params, pr.Rec, false);
    EXPECT_TRUE(pr.Aborting);
    EXPECT_EQ(bmp.Width(), 2);
  }
}

TEST(RawReader, WorkingImageMatchesDcrawEmuLinearOutput) {
  ASSERT_TRUE(HaveTool("dcraw_emu"));
  TempDir dir("raw");
  const std::string path = MakeDng(dir, "w.dng", 48, 36, "Testmake", "Cam1");
  ASSERT_EQ(Shell("cd '" + dir.Path + "' && dcraw_emu -q 0 -4 w.dng"), 0);
  gt_test::Pnm ref;
  ASSERT_TRUE(gt_test::ReadPnm(path + ".ppm", ref));
  auto s = Load(path);
  TIOParamsVals params(nullptr);
  Progress pr;
  TIERAWWorking work;
  ASSERT_TRUE(IEDecodeRAWWorking(s.get(), params, pr.Rec, false, 1.0, work));
  ASSERT_EQ(work.Width, ref.Width);
  ASSERT_EQ(work.Height, ref.Height);
  EXPECT_EQ(work.Trim, 1);
  int worst = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(int(work.Pixels[(size_t(y) * ref.Width + x) * 4 + c]) - ref.At(x, y, c)));
  EXPECT_LE(worst, 2);
}

TEST(RawReader, OutputMatchesTheReferenceWhitePointAndGammaTable) {
  TempDir dir("raw");
  struct Case {
    const char* Make;
    bool Native;
    double Bright, Gamma;
  } cases[] = {{"Testmake", false, 1.0, 0.6}, {"Testmake", true, 1.0, 0.6},
               {"FUJIFILM", false, 1.3, 0.45}, {"FUJIFILM", true, 0.8, 0.6}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Make) + (c.Native ? " 16-bit" : " 8-bit"));
    const std::string path = MakeDng(dir, "o.dng", 50, 40, c.Make, "Out");
    TIOParamsVals params(nullptr);
    params.RAW_BRIGHT = c.Bright;
    params.RAW_GAMMA = c.Gamma;
    params.ISNATIVEPIXELFORMAT = c.Native;
    Progress pr;
    TIERAWWorking work;
    auto s = Load(path);
    ASSERT_TRUE(IEDecodeRAWWorking(s.get(), params, pr.Rec, false, c.Bright, work));
    Bytes dump(work.Pixels.size() * 2);
    std::memcpy(dump.data(), work.Pixels.data(), dump.size());
    ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("work.bin"), dump));
    std::ostringstream cmd;
    cmd << "/usr/bin/python3 " << kHere << "/raw_fixtures.py output '" << dir.File("work.bin") << "' " << work.Width
        << " " << work.Height << " " << c.Make << " " << c.Bright << " " << c.Gamma << " " << (c.Native ? 16 : 8)
        << " '" << dir.File("want.bin") << "'";
    ASSERT_EQ(Shell(cmd.str()), 0) << "brightness samples are not Trunc(|RGB| / 2)";
    const Bytes want = gt_test::ReadFileBytes(dir.File("want.bin"));

    TIEBitmap bmp;
    IEReadRAW(s.get(), &bmp, params, pr.Rec, false);
    ASSERT_FALSE(pr.Aborting);
    ASSERT_EQ(bmp.Width(), 48);
    ASSERT_EQ(bmp.Height(), 38);
    EXPECT_EQ(bmp.PixelFormat(), c.Native ? ieRGB48 : ie24RGB);
    EXPECT_EQ(params.BITSPERSAMPLE, c.Native ? 16 : 8);
    EXPECT_EQ(params.SAMPLESPERPIXEL, 3);
    Bytes got;
    for (Integer y = 0; y < bmp.Height(); ++y) {
      const Byte* row = static_cast<const Byte*>(bmp.GetScanline(y));
      if (c.Native) {
        got.insert(got.end(), row, row + bmp.Width() * 6);
      } else {
        for (Integer x = 0; x < bmp.Width(); ++x)  // rows are blue, green, red
          got.insert(got.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
      }
    }
    ASSERT_EQ(got.size(), want.size());
    size_t diff = 0;
    for (size_t i = 0; i < got.size(); ++i) diff += got[i] != want[i];
    EXPECT_EQ(diff, 0u);
    // The output is not black: the table reached the data.
    EXPECT_GT(*std::max_element(got.begin(), got.end()), 100);
  }
}

TEST(RawReader, HalfSizeKeepsEveryEdgeAndTheFullSizeFields) {
  ASSERT_TRUE(HaveTool("raw-identify"));
  TempDir dir("raw");
  const std::string path = MakeDng(dir, "h.dng", 42, 30, "Testmake", "Half");
  std::string camera;
  int iw = 0, ih = 0;
  Identify(path, camera, iw, ih);
  ASSERT_EQ(iw, 42);
  TIOParamsVals params(nullptr);
  params.RAW_HALFSIZE = true;
  Progress pr;
  TIEBitmap bmp;
  auto s = Load(path);
  IEReadRAW(s.get(), &bmp, params, pr.Rec, false);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(bmp.Width(), 21);
  EXPECT_EQ(bmp.Height(), 15);
  EXPECT_EQ(params.WIDTH, 40);
  EXPECT_EQ(params.HEIGHT, 28);
}

TEST(RawReader, ExifThumbnailModeDecodesInFullWithoutThumbnailAndKeepsTheFlag) {
  TempDir dir("raw");
  const std::string path = MakeDng(dir, "t.dng", 40, 30, "Testmake", "Thumb");
  TIOParamsVals params(nullptr);
  params.RAW_GETEXIFTHUMBNAIL = true;
  Progress pr;
  TIEBitmap bmp;
  auto s = Load(path);
  IEReadRAW(s.get(), &bmp, params, pr.Rec, false);
  ASSERT_FALSE(pr.Aborting);
  EXPECT_EQ(bmp.Width(), 38);
  EXPECT_TRUE(params.RAW_GETEXIFTHUMBNAIL);
}

TEST(RawReader, LoadsThroughTheIOCompanion) {
  TempDir dir("raw");
  const std::string path = MakeDng(dir, "c.dng", 40, 30, "Testmake", "Io");
  IEBuildFormatRegistry();
  TIEBitmap bmp;
  auto io = TZiduzUvIO::CreateForBitmap(&bmp);
  auto s = Load(path);
  io->LoadFromStreamFormat(s.get(), ieftRAW);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(bmp.Width(), 38);
  EXPECT_EQ(bmp.Height(), 28);
}

TEST(RawWhitePoint, BrightestPercentOfPixelsByMake) {
  struct Case {
    const char* Make;
    std::vector<std::pair<int, uint32_t>> Bins;  // bin, count
    Integer W, H, Want;
  } cases[] = {
      // 100 x 100: 1 % is 100 pixels, 0.5 % is 50.
      {"Canon", {{4000, 60}, {3000, 60}}, 100, 100, 3000 * 16},
      {"FUJIFILM", {{4000, 60}, {3000, 60}}, 100, 100, 4000 * 16},
      {"FUJIFILMX", {{4000, 60}, {3000, 60}}, 100, 100, 3000 * 16},
      // Exactly at the limit is not beyond it.
      {"Canon", {{5000, 100}, {10, 1}}, 100, 100, 10 * 16},
      // Never beyond the limit: 1, not 0.
      {"Canon", {{8191, 5}}, 100, 100, 1},
      // Bin 0 never counts.
      {"Canon", {{0, 10000}}, 100, 100, 1},
      {"Canon", {{8191, 2}}, 10, 10, 8191 * 16},
  };
  for (const auto& c : cases) {
    std::vector<uint32_t> h(0x2000, 0);
    for (auto [bin, n] : c.Bins) h[size_t(bin)] = n;
    EXPECT_EQ(IERAWWhitePoint(h, c.W, c.H, c.Make), c.Want) << c.Make;
  }
}

TEST(RawStraighten45, UnusableTopRowLeavesThePictureAndAGridIsStraightened) {
  TIEBitmap black(8, 6, ie24RGB);
  for (Integer y = 0; y < 6; ++y) std::memset(black.GetScanline(y), 0, 24);
  black.SetPixelRGB(3, 3, TRGB{1, 2, 3});
  IERAWStraighten45(&black);
  EXPECT_EQ(black.Width(), 8);
  EXPECT_EQ(black.Height(), 6);

  // A lit diamond on black: top row lit from column 2 on, so L = 2, fw = W - 1.
  const Integer W = 10, H = 10;
  TIEBitmap b(W, H, ieRGB48);
  for (Integer y = 0; y < H; ++y) {
    Word* row = static_cast<Word*>(b.GetScanline(y));
    for (Integer x = 0; x < W; ++x)
      for (int s = 0; s < 3; ++s) row[3 * x + s] = x < 2 && y == 0 ? 0 : Word(1000 + 10 * x + y);
  }
  IERAWStraighten45(&b);
  EXPECT_EQ(b.PixelFormat(), ieRGB48);
  EXPECT_EQ(b.Width(), 2 * (W - 1));
  EXPECT_EQ(b.Height(), 2 * (W - 2) - 4);
  // Column 0 stays black; a pixel on an even k + m is the grid cell itself.
  const Word* r0 = static_cast<const Word*>(b.GetScanline(0));
  EXPECT_EQ(r0[0], 0);
  // k = 4, m = 2: cell (4, 1), which only source pixel (x 1, y 7) reaches
  // (e = y + x - fw + 5 = 4, g = (x + fw - y - 1) / 2 = 1 with fw = 9).
  EXPECT_EQ(static_cast<const Word*>(b.GetScanline(3))[3 * 2], 1000 + 10 * 1 + 7);
  Integer lit = 0;
  for (Integer y = 0; y < b.Height(); ++y) {
    const Word* row = static_cast<const Word*>(b.GetScanline(y));
    for (Integer x = 0; x < b.Width(); ++x) lit += row[3 * x] != 0;
  }
  EXPECT_GT(lit, 0);
}

// ---------------------------------------------------------------------------
// CRW heaps, built by hand.

struct Entry {
  Word Tag;
  Bytes Data;  // placed in the heap's data area
  uint32_t ForceOffset = 0xFFFFFFFF, ForceSize = 0xFFFFFFFF;
};

// Data area, then the table, then the table's offset.
Bytes Heap(const std::vector<Entry>& Entries) {
  Bytes h;
  std::vector<std::pair<uint32_t, uint32_t>> where;
  for (const Entry& e : Entries) {
    where.push_back({uint32_t(h.size()), uint32_t(e.Data.size())});
    AddBytes(h, e.Data);
  }
  const uint32_t table = uint32_t(h.size());
  Add16(h, uint32_t(Entries.size()));
  for (size_t i = 0; i < Entries.size(); ++i) {
    Add16(h, Entries[i].Tag);
    Add32(h, Entries[i].ForceSize != 0xFFFFFFFF ? Entries[i].ForceSize : where[i].second);
    Add32(h, Entries[i].ForceOffset != 0xFFFFFFFF ? Entries[i].ForceOffset : where[i].first);
  }
  Add32(h, table);
  return h;
}

Bytes Crw(const Bytes& Root, const char* Signature = "HEAPCCDR") {
  Bytes f = {'I', 'I'};
  Add32(f, 26);
  f.insert(f.end(), Signature, Signature + 8);
  f.resize(26, 0);
  AddBytes(f, Root);
  return f;
}

Bytes Str(const std::string& S) { return Bytes(S.begin(), S.end()); }

Bytes Jpeg(const TempDir& Dir, int W, int H) {
  const std::string p = Dir.File("j" + std::to_string(W) + ".jpg");
  EXPECT_EQ(Shell("convert -size " + std::to_string(W) + "x" + std::to_string(H) + " xc:orange '" + p + "'"), 0);
  return gt_test::ReadFileBytes(p);
}

TEST(RawCrwHeap, ReadsTextsSizesMakerNotesAndTheSmallestJpeg) {
  ASSERT_TRUE(HaveTool("convert"));
  ASSERT_TRUE(HaveTool("exiftool"));
  TempDir dir("crw");
  Bytes info;
  Add32(info, 3000);
  Add32(info, 2000);
  Add32(info, 0);
  Bytes arr4, arr1;
  for (uint32_t v : {7u, 0x1234u, 65535u, 0u}) Add16(arr4, v);
  for (uint32_t v : {42u, 43u, 44u}) Add16(arr1, v);
  const Bytes nested = Heap({{0x080B, Str(std::string("Firmware 1.0\0", 13))}, {0x102D, arr1}});
  const Bytes root = Heap({
      {0x080A, Str(std::string("Canon\0Canon EOS TEST\0", 21))},
      {0x0805, Str(std::string("A file\0pad", 10))},
      {0x2007, Jpeg(dir, 16, 12)},
      {0x2008, Jpeg(dir, 8, 6)},
      {0x2007, Jpeg(dir, 4, 40)},  // narrower but taller: not smaller in both
      {0x1810, info},
      {0x102A, arr4},
      {0x300A, nested},
      // Data in the entry itself: the record id is in bits 0-13.
      {0x4000 | 0x0805, {}, 0x6E, 0x20776F4E},
  });
  const Bytes file = Crw(root);
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("a.crw"), file));

  TMemoryStream s;
  Fill(s, file);
  TIOParamsVals params(nullptr);
  IEReadRAWMetadata(&s, params);
  EXPECT_EQ(params.EXIF_MAKE, "Canon");
  EXPECT_EQ(params.EXIF_MODEL, "Canon EOS TEST");
  EXPECT_EQ(params.EXIF_SOFTWARE, "Firmware 1.0");
  // The last 0x0805 (inline) overwrote the first: its 8 bytes are the text.
  EXPECT_EQ(params.EXIF_IMAGEDESCRIPTION, "Now n");
  EXPECT_EQ(params.EXIF_EXIFIMAGEWIDTH, 3000);
  EXPECT_EQ(params.EXIF_EXIFIMAGEHEIGHT, 2000);
  ASSERT_TRUE(params.EXIF_THUMBNAIL);
  EXPECT_EQ(params.EXIF_THUMBNAIL->Width(), 8);
  EXPECT_EQ(params.EXIF_THUMBNAIL->Height(), 6);

  // The maker-note directory: tag 4 then tag 1, type 3, values in host order.
  const TIETagsHandler& mn = params.EXIF_MAKERNOTE;
  ASSERT_EQ(mn.IFDCount(), 2);
  EXPECT_EQ(mn.IFD()[0].Tag, 4);
  EXPECT_EQ(mn.IFD()[0].DataType, 3);
  EXPECT_EQ(mn.IFD()[0].Count, 4u);
  EXPECT_EQ(mn.IFD()[1].Tag, 1);
  EXPECT_EQ(mn.IFD()[1].Count, 3u);
  auto* ts = const_cast<TIETagsHandler&>(mn).TagsStream();
  const Byte* base = static_cast<const Byte*>(ts->Memory());
  Word v;
  std::memcpy(&v, base + mn.IFD()[0].Value + 2, 2);
  EXPECT_EQ(v, 0x1234);
  std::memcpy(&v, base + mn.IFD()[1].Value + 4, 2);
  EXPECT_EQ(v, 44);

  // exiftool reads the same make, model and sizes from the same heap.
  const std::string et = Capture("exiftool -s3 -Make -Model -ImageWidth -ImageHeight '" + dir.File("a.crw") + "'");
  EXPECT_EQ(et, "Canon\nCanon EOS TEST\n3000\n2000\n");
}

TEST(RawCrwHeap, HostileHeapsEndCleanly) {
  const Bytes make = Str(std::string("Canon\0Model\0", 12));
  // A heap listing itself (root and nested), an entry pointing past the end,
  // a table offset beyond the stream, and more than 256 entries.
  std::vector<Entry> many(300, Entry{0x0000, {}});
  many[280] = Entry{0x080A, make};
  struct Case {
    const char* Name;
    Bytes File;
    const char* WantMake;
    Integer WantNotes;  // -1: no directory written
  } cases[] = {
      {"self-containing root", Crw(Heap({{0x300A, {}, 0, 0}, {0x080A, make}})), "Canon", 0},
      {"signature missing", Crw(Heap({{0x080A, make}}), "HEAPXXXX"), "", -1},
      {"past the end", Crw(Heap({{0x080A, make, 0x7FFFFFF0}, {0x102A, Bytes(4, 1)}})), "", 0},
      {"table beyond", Crw({1, 2, 3, 4, 0xFF, 0xFF, 0, 0}), "", 0},
      {"256 entries only", Crw(Heap(many)), "", 0},
      {"cut header", Bytes{'I', 'I', 26, 0, 0, 0, 'H', 'E'}, "", -1},
  };
  // The self-containing root needs its own length: patch the nested entry's
  // size to the whole root heap (offset 0 is the heap's start).
  {
    Bytes& f = cases[0].File;
    const uint32_t rootLen = uint32_t(f.size() - 26);
    const uint32_t table = uint32_t(f[f.size() - 4]) | (uint32_t(f[f.size() - 3]) << 8);
    gt_test::PutU32(f, 26 + table + 2 + 2, rootLen);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s;
    Fill(s, c.File);
    TIOParamsVals params(nullptr);
    IEReadRAWMetadata(&s, params);
    EXPECT_EQ(params.EXIF_MAKE, c.WantMake);
    if (c.WantNotes < 0) {
      EXPECT_FALSE(params.EXIF_THUMBNAIL);
    } else {
      EXPECT_EQ(params.EXIF_MAKERNOTE.IFDCount(), c.WantNotes);
      ASSERT_TRUE(params.EXIF_THUMBNAIL);
      EXPECT_TRUE(params.EXIF_THUMBNAIL->IsEmpty());
      // An empty directory is still written: a count of 0.
      EXPECT_EQ(const_cast<TIETagsHandler&>(params.EXIF_MAKERNOTE).TagsStream()->Size(), 2);
    }
  }
}

}  // namespace
}  // namespace raw_tests
