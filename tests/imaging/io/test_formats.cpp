// The format registry (built-in entries, extension lookup and splitting,
// registering plug-ins, the GIF capability switch, changes under concurrent
// lookups) and the sniffing cascade on small crafted streams: the exact size
// thresholds, the order of the tests, plug-in probes, failing streams, and the
// reconciliation of content with a file's extension; the registry's place in
// the library start-up.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ieformatdesc.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ielzwhooks.h"
#include "imaging/io/ieprobes.h"
#include "io_test_util.h"
#include "platform/base/sysutils.h"

namespace test_formats_tests {

using namespace io_test;

namespace {

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { IEBuildFormatRegistry(); }
  void TearDown() override { IEFreeFormatRegistry(); }
};

std::unique_ptr<TIEFileFormatInfo> PlugIn(TIEFileType Id, const char* Exts, TIEProbeRoutine Probe = nullptr) {
  auto e = std::make_unique<TIEFileFormatInfo>();
  e->FileType = Id;
  e->FullName = u"Plug-in";
  e->Extensions = W(Exts);
  e->InternalFormat = false;
  e->ReadRoutine = [](TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool) {};
  e->ProbeRoutine = std::move(Probe);
  return e;
}

TIEFileType Sniff(const Bytes& Data, int64_t Pos = 0) {
  TMemoryStream s;
  Fill(s, Data, Pos);
  TIEFileType t = IEFindStreamFormat(&s);
  EXPECT_EQ(s.Position(), Pos) << "position moved";
  return t;
}

TEST_F(Registry, BuiltInEntriesInRegistrationOrder) {
  struct Want {
    TIEFileType Id;
    const char* Name;
    const char* Exts;
    TIEParamsDialogPages Pages;
    bool Read, Write;
  } want[] = {
      {1, "TIFF", "TIF;TIFF;FAX;G3N;G3F;XIF", 8, true, true},
      {2, "CompuServe GIF", "GIF", 16, true, true},
      {3, "JPEG", "JPG;JPEG;JPE;JIF", 4, true, true},
      {4, "PCX - PaintBrush", "PCX", 64, true, true},
      {5, "BMP - Windows Bitmap", "BMP;DIB;RLE", 32, true, true},
      {21, "Camera RAW", "", 0, true, true},
      {6, "ICO - Windows Icon", "ICO", 0, true, true},
      {7, "CUR - Windows Cursor", "CUR", 0, true, false},
      {8, "PNG - Portable Network Graphics", "PNG", 128, true, true},
      {28, "DICOM Bitmap", "DCM;DIC;DICOM", 0, true, false},
      {9, "WMF - Windows Metafile", "WMF", 0, true, false},
      {10, "EMF - Enhanced Windows Metafile", "EMF", 0, true, false},
      {11, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", 256, true, true},
      {12, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
      {16, "WBMP - Wireless Bitmap", "WBMP", 0, true, true},
      {13, "JPEG2000", "JP2", 512, true, true},
      {14, "JPEG2000 Code Stream", "J2K;JPC;J2C", 512, true, true},
      {17, "PostScript Level 2", "PS;EPS", 0, false, true},
      {18, "Adobe PDF", "PDF", 0, false, true},
      {19, "Multipage PCX", "DCX", 0, true, true},
      {20, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true, false},
      {24, "Photoshop PSD", "PSD", 0, true, true},
      {25, "Vectorial objects", "IEV", 0, true, true},
      {26, "Layers", "LYR", 0, true, true},
      {27, "Layers and objects", "ALL", 0, true, true},
      {29, "Microsoft HD Photo", "WDP;HDP", 0, true, true},  // only with the HD Photo codec
  };
  // The entries for a platform with and without the HD Photo component: the
  // last row exists only with it.
  for (bool wic : {false, true}) {
    SCOPED_TRACE(wic ? "with HD Photo" : "without HD Photo");
    const auto list = IEBuiltInFormatEntries(wic);
    ASSERT_EQ(list.size(), wic ? 26u : 25u);
    for (size_t i = 0; i < list.size(); ++i) {
      const auto& e = *list[i];
      const Want& w = want[i];
      EXPECT_EQ(e.FileType, w.Id) << i;
      EXPECT_EQ(e.FullName, W(w.Name)) << i;
      EXPECT_EQ(e.Extensions, W(w.Exts)) << i;
      EXPECT_EQ(e.DialogPages, w.Pages) << i;
      EXPECT_EQ(static_cast<bool>(e.ReadRoutine), w.Read) << i;
      EXPECT_EQ(static_cast<bool>(e.WriteRoutine), w.Write) << i;
      EXPECT_TRUE(e.InternalFormat) << i;
      ASSERT_TRUE(e.ProbeRoutine) << i;
      TMemoryStream s;
      Fill(s, Str("GIF89a-anything"));
      EXPECT_FALSE(e.ProbeRoutine(&s, e.FileType)) << i;  // built-ins are probed by the cascade
    }
  }
  // The registry the start-up builds holds exactly the entries of this
  // platform, whose HD Photo codec is built in.
  EXPECT_TRUE(IEWICAvailable());
  const auto list = IEFormatRegistrySnapshot();
  ASSERT_EQ(list.size(), 26u);
  for (size_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->FileType, want[i].Id) << i;
  ASSERT_NE(IEFindFormatInfo(29), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"HDP")->FileType, 29);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"wdp")->FileType, 29);
  EXPECT_EQ(IEFindFormatInfo(15), nullptr);  // AVI: by content only
  EXPECT_EQ(IEFindFormatInfo(22), nullptr);
}

TEST_F(Registry, ExtensionLookup) {
  struct Case {
    const char16_t* Ext;
    TIEFileType Want;  // 0: none
  } cases[] = {
      {u".JPG", 3}, {u"jpg", 3},  {u"JpEg", 3},  {u".jif", 3},  {u"", 0},     {u".", 0},
      {u"..jpg", 0}, {u".PIX", 11}, {u"win", 0},   {u"xif", 1},   {u"nef", 20}, {u"SR2", 20},
      {u"dicom", 28}, {u"jp", 0},   {u"jpgx", 0},  {u"eps", 17},  {u" jpg", 0},
  };
  for (const Case& c : cases) {
    auto e = IEFindFormatInfoByExtension(c.Ext);
    EXPECT_EQ(e ? e->FileType : 0, c.Want) << WideToUtf8(c.Ext);
  }
  struct Can {
    const char16_t* Name;
    bool Want;
  } names[] = {{u"/a/b.JPG", true}, {u"x.ps", false}, {u"x.cur", true}, {u"x.xyz", false},
               {u"noext", false},   {u"dir.jpg/noext", false}};
  for (const Can& c : names) EXPECT_EQ(IECanReadFileExtension(c.Name), c.Want) << WideToUtf8(c.Name);
}

TEST_F(Registry, ExtensionSplitting) {
  EXPECT_EQ(IEGetFormatExtensionCount(1), 6);
  EXPECT_EQ(IEGetFormatExtension(1, 0), u"TIF");
  EXPECT_EQ(IEGetFormatExtension(1, 5), u"XIF");
  EXPECT_EQ(IEGetFormatExtension(1, 6), u"");
  EXPECT_EQ(IEGetFormatExtension(1, -1), u"");
  EXPECT_EQ(IEGetFormatExtensionCount(21), 0);
  EXPECT_EQ(IEGetFormatExtension(21, 0), u"");
  EXPECT_EQ(IEGetFormatExtensionCount(20), 13);
  EXPECT_EQ(IEGetFormatExtensionCount(999), 0);
  WideString ext = u"stale";
  IEGetFormatExtension(999, 0, ext);
  EXPECT_TRUE(ext.empty());

  // An empty token ends the list, as the end of the text does.
  struct Case {
    const char* Exts;
    Integer Count;
  } cases[] = {{"C;;D", 1}, {"A;B;", 2}, {";A", 0}, {"ABC", 1}, {"", 0}};
  TIEFileType id = 5000;
  for (const Case& c : cases) {
    IERegisterFormat(PlugIn(id, c.Exts));
    EXPECT_EQ(IEGetFormatExtensionCount(id), c.Count) << c.Exts;
    ++id;
  }
  // "D" after the empty token is not found by extension either.
  EXPECT_EQ(IEFindFormatInfoByExtension(u"d"), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"c")->FileType, 5000);
}

TEST_F(Registry, RegisterAndUnregister) {
  IERegisterFormat(nullptr);  // nothing
  size_t before = IEFormatRegistrySnapshot().size();
  IERegisterFormat(PlugIn(4096, "QQQ;QQ2"));
  IERegisterFormat(PlugIn(4096, "ZZZ"));  // a second entry with that id is never found first
  auto list = IEFormatRegistrySnapshot();
  ASSERT_EQ(list.size(), before + 2);
  EXPECT_EQ(list[before]->FileType, 4096);
  EXPECT_EQ(IEFindFormatInfo(4096)->Extensions, u"QQQ;QQ2");
  EXPECT_EQ(IEFindFormatInfoByExtension(u".qq2")->FileType, 4096);
  EXPECT_EQ(IEGetFormatExtension(4096, 1), u"QQ2");

  TIEFileFormatInfoRef held = IEFindFormatInfo(20);
  IEUnregisterFormat(20);
  EXPECT_EQ(IEFindFormatInfo(20), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"NEF"), nullptr);
  ASSERT_NE(held, nullptr);  // what a reader holds stays valid
  EXPECT_EQ(held->Extensions.substr(0, 3), u"CRW");
  IEUnregisterFormat(20);  // not there: nothing
  IEUnregisterFormat(4096);
  EXPECT_EQ(IEFindFormatInfo(4096)->Extensions, u"ZZZ");

  IEFreeFormatRegistry();
  EXPECT_EQ(IEFindFormatInfo(1), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"jpg"), nullptr);
  EXPECT_EQ(IEGetFormatExtensionCount(1), 0);
  EXPECT_FALSE(IECanReadFileExtension(u"a.jpg"));
}

// The library start-up builds the registry and the last shut-down frees it;
// a start-up that only counts leaves it alone.
TEST(RegistryStartup, BuiltByStartupFreedByTheLastShutdown) {
  ASSERT_EQ(IEStartupCount(), 0);
  IEFreeFormatRegistry();
  IEStartup();
  ASSERT_NE(IEFindFormatInfo(ieftJPEG), nullptr);
  EXPECT_EQ(IEFindFormatInfoByExtension(u"png")->FileType, ieftPNG);
  IEStartup();  // only counts
  IEShutdown();
  EXPECT_NE(IEFindFormatInfo(ieftJPEG), nullptr);
  IEShutdown();
  EXPECT_EQ(IEStartupCount(), 0);
  EXPECT_EQ(IEFindFormatInfo(ieftJPEG), nullptr);
  EXPECT_FALSE(IECanReadFileExtension(u"a.jpg"));
}

TEST_F(Registry, GIFCapabilityFollowsTheLZWHooks) {
  auto saveD = IEGIFLZWDecompressProc;
  auto saveC = IEGIFLZWCompressProc;
  TIEFileFormatInfoRef before = IEFindFormatInfo(2);

  IEGIFLZWDecompressProc = nullptr;
  IEGIFLZWCompressProc = nullptr;
  IEUpdateGIFFormatInfo();
  auto gif = IEFindFormatInfo(2);
  EXPECT_FALSE(gif->ReadRoutine);
  EXPECT_FALSE(gif->WriteRoutine);
  EXPECT_FALSE(IECanReadFileExtension(u"a.gif"));
  EXPECT_TRUE(before->ReadRoutine);  // an entry already handed out does not change

  IEGIFLZWDecompressProc = [](TStream*, Integer, Integer, bool, Byte*) {};
  IEUpdateGIFFormatInfo();
  gif = IEFindFormatInfo(2);
  EXPECT_TRUE(gif->ReadRoutine);
  EXPECT_FALSE(gif->WriteRoutine);
  EXPECT_EQ(gif->FullName, u"CompuServe GIF");
  // The entry keeps its place.
  EXPECT_EQ(IEFormatRegistrySnapshot()[1]->FileType, 2);

  IEUnregisterFormat(2);
  IEUpdateGIFFormatInfo();  // no GIF entry: nothing
  EXPECT_EQ(IEFindFormatInfo(2), nullptr);
  IEGIFLZWDecompressProc = saveD;
  IEGIFLZWCompressProc = saveC;
}

// Lookups on workers while the main thread loads and unloads plug-ins. Without
// the registry's lock the list reallocates under the readers (the sanitizer
// build reports it). Both sides do a fixed number of rounds, so the test takes
// as long as the work and never spins against a clock.
TEST_F(Registry, LookupsWhileRegistering) {
  constexpr int kReaderRounds = 3000;
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  const Bytes png = Cat({Bytes{137, 80, 78, 71, 13, 10, 26, 10}, Zeros(8)});
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      TMemoryStream s;
      Fill(s, png);
      for (int round = 0; round < kReaderRounds && !stop.load(); ++round) {
        auto jpg = IEFindFormatInfoByExtension(u"jpg");
        if (!jpg || jpg->FileType != 3) ++wrong;
        if (IEFindStreamFormat(&s) != 8) ++wrong;
        auto e = IEFindFormatInfo(4100);
        if (e && e->FullName != u"Plug-in") ++wrong;
        IEGetFormatExtensionCount(4100);
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    IERegisterFormat(PlugIn(4100 + i % 7, "P1;P2;P3", [](TStream*, Integer) { return false; }));
    if (i % 3 == 0) IEUnregisterFormat(4100 + (i / 3) % 7);
    if (i % 50 == 0) IEUpdateGIFFormatInfo();
  }
  stop.store(true);
  for (auto& t : readers) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

// --- the cascade on crafted streams -------------------------------------------

Bytes Pad(const Bytes& Head, size_t Total) {
  Bytes b = Head;
  b.resize(Total, 0);
  return b;
}

Bytes TgaHeader(uint8_t IdLength, uint8_t CmapType, uint8_t Type, uint8_t Depth) {
  Bytes h = Zeros(18);
  h[0] = IdLength;
  h[1] = CmapType;
  h[2] = Type;
  PutLE16(h, 12, 8);
  PutLE16(h, 14, 8);
  h[16] = Depth;
  return h;
}

TEST_F(Registry, SizeThresholdsOfTheHeaderTests) {
  const Bytes pcx = {10, 5, 1, 8};
  struct Case {
    const char* What;
    Bytes Data;
    TIEFileType Want;
  } cases[] = {
      {"JPEG stream header, 12 bytes", Pad(Str(std::string("JFIF\0", 5)), 12), 0},
      {"JPEG stream header, 13 bytes", Pad(Str(std::string("JFIF\0", 5)), 13), 3},
      {"GIF, 13 bytes", Pad(Str("GIF89a"), 13), 0},
      {"GIF, 14 bytes", Pad(Str("GIF89a"), 14), 2},
      {"PCX stream header, 12 bytes", Pad(Str(std::string("PCX2\0", 5)), 12), 0},
      {"PCX stream header, 13 bytes", Pad(Str(std::string("PCX2\0", 5)), 13), 4},
      {"old PCX header, 4 bytes", Str(std::string("PCX\0", 4)), 0},
      {"old PCX header, 5 bytes", Pad(Str(std::string("PCX\0", 4)), 5), 4},
      {"BMP, 14 bytes", Pad(Str("BM"), 14), 0},
      {"BMP, 15 bytes", Pad(Str("BM"), 15), 5},
      {"PCX file header, 128 bytes", Pad(pcx, 128), 0},
      {"PCX file header, 129 bytes", Pad(pcx, 129), 4},
      {"TIFF stream header, 12 bytes", Pad(Str(std::string("TIFF\0", 5)), 12), 0},
      {"TIFF stream header, 13 bytes", Pad(Str(std::string("TIFF\0", 5)), 13), 1},
      {"PNG signature, 8 bytes", Bytes{137, 80, 78, 71, 13, 10, 26, 10}, 0},
      {"PNG signature, 9 bytes", Bytes{137, 80, 78, 71, 13, 10, 26, 10, 0}, 8},
      {"PNG, 7 bytes", Bytes{137, 80, 78, 71, 13, 10, 26}, 0},
      {"EMF, 43 bytes", [] { Bytes b = Zeros(43); b[0] = 1; b[40] = ' '; b[41] = 'E'; b[42] = 'M'; return b; }(), 0},
      {"EMF, 44 bytes", [] { Bytes b = Zeros(44); b[0] = 1; b[40] = ' '; b[41] = 'E'; b[42] = 'M'; b[43] = 'F'; return b; }(), 10},
      {"empty", Bytes{}, 0},
      {"one byte", Bytes{0xFF}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Sniff(c.Data), c.Want) << c.What;
}

// A TGA whose image ID is 10 bytes long starts with the byte 10, as a PCX file
// does; the PCX test also asks for run-length encoding and a PCX bit depth.
TEST_F(Registry, PCXTestLeavesTargaWithTenByteIdAlone) {
  struct Case {
    const char* What;
    Bytes Data;
    TIEFileType Want;
  } cases[] = {
      {"TGA true colour, 10-byte ID", Pad(TgaHeader(10, 0, 2, 24), 300), 11},
      {"TGA colour-mapped, 10-byte ID", Pad(TgaHeader(10, 1, 1, 8), 300), 11},
      {"TGA grey RLE, 10-byte ID", Pad(TgaHeader(10, 0, 11, 8), 300), 11},
      {"PCX 1 bit", Pad(Bytes{10, 5, 1, 1}, 300), 4},
      {"PCX 2 bits", Pad(Bytes{10, 0, 1, 2}, 300), 4},
      {"PCX 4 bits", Pad(Bytes{10, 3, 1, 4}, 300), 4},
      {"PCX version 6", Pad(Bytes{10, 6, 1, 8}, 300), 0},
      {"PCX 24 bits per plane", Pad(Bytes{10, 5, 1, 24}, 300), 0},
      {"PCX encoding 0", Pad(Bytes{10, 5, 0, 8}, 300), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Sniff(c.Data), c.Want) << c.What;
}

TEST_F(Registry, TiffFamilyAndTheirOrder) {
  using E = IfdEntry;
  const std::vector<E> plain = {{256, 3, 1, 300}, {257, 3, 1, 200}};
  struct Case {
    const char* What;
    Bytes Data;
    TIEFileType Want;
  } cases[] = {
      {"little-endian TIFF", MakeTiff(plain), 1},
      {"big-endian TIFF", MakeTiff(plain, true), 1},
      {"big-endian, ninth byte 0xBA", [&] { Bytes b = MakeTiff(plain, true); b[8] = 0xBA; return b; }(), 0},
      {"no ImageLength", MakeTiff({{256, 3, 1, 300}}), 0},
      {"directory past the end", [&] { Bytes b = MakeTiff(plain); PutLE32(b, 4, 5000); return b; }(), 0},
      {"directory cut short", [&] { Bytes b = MakeTiff(plain, false, 0); b.erase(b.end() - 8, b.end()); return b; }(), 0},
      {"empty directory", MakeTiff({}), 0},
      // Camera raw in a TIFF container is not TIFF; the RAW identification
      // of the built-in reader (the last step) is not built yet.
      {"DNG", MakeTiff({{256, 3, 1, 300}, {257, 3, 1, 200}, {50706, 1, 4, 0x00000101}}), 0},
      {"DNGVersion as SHORT", MakeTiff({{256, 3, 1, 300}, {257, 3, 1, 200}, {50706, 3, 4, 0}}), 1},
      {"colour filter array", MakeTiff({{256, 3, 1, 300}, {257, 3, 1, 200}, {262, 3, 1, 32803}}), 0},
      {"linear raw, big-endian", MakeTiff({{256, 3, 1, 300}, {257, 3, 1, 200}, {262, 3, 1, 34892}}, true), 0},
      {"RGB photometric", MakeTiff({{256, 3, 1, 300}, {257, 3, 1, 200}, {262, 3, 1, 2}}), 1},
      {"TIFF/EP 160 x 120 main image",
       MakeTiff({{256, 3, 1, 160}, {257, 3, 1, 120}, {330, 4, 1, 100}, {37398, 1, 4, 0}}), 0},
      {"TIFF/EP 200 x 150 main image",
       MakeTiff({{256, 3, 1, 200}, {257, 3, 1, 150}, {330, 4, 1, 100}, {37398, 1, 4, 0}}), 1},
      {"TIFF/EP LONG sizes, big-endian",
       MakeTiff({{256, 4, 1, 199}, {257, 4, 1, 199}, {330, 4, 1, 100}, {37398, 1, 4, 0}}, true), 0},
      {"HD Photo", MakeTiff({{48129, 1, 16, 0}, {48256, 4, 1, 8}, {48257, 4, 1, 8}, {48320, 4, 1, 0}, {48321, 4, 1, 0}}), 29},
      {"HD Photo with TIFF size tags",
       MakeTiff({{256, 3, 1, 8}, {257, 3, 1, 8}, {48129, 1, 16, 0}, {48256, 4, 1, 8}, {48257, 4, 1, 8},
                 {48320, 4, 1, 0}, {48321, 4, 1, 0}}),
       29},
      {"HD Photo tags, big-endian",
       MakeTiff({{48129, 1, 16, 0}, {48256, 4, 1, 8}, {48257, 4, 1, 8}, {48320, 4, 1, 0}, {48321, 4, 1, 0}}, true), 0},
      {"HD Photo missing a tag", MakeTiff({{48129, 1, 16, 0}, {48256, 4, 1, 8}, {48257, 4, 1, 8}, {48320, 4, 1, 0}}), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Sniff(c.Data), c.Want) << c.What;
  // At a non-zero position the directory offsets count from where the TIFF starts.
  EXPECT_EQ(Sniff(Cat({Str("junk!"), MakeTiff(plain)}), 5), 1);
}

TEST_F(Registry, OtherProbes) {
  Bytes dcx = Cat({LE32(987654321), LE32(12), LE32(0), Pad(Bytes{10, 5, 1, 8}, 130)});
  Bytes dcxOut = dcx;
  PutLE32(dcxOut, 4, static_cast<uint32_t>(dcx.size()));  // a page at the very end: outside
  Bytes ico = Cat({Bytes{0, 0, 1, 0, 1, 0}, Bytes{16, 16, 0, 0, 1, 0, 32, 0}, LE32(40), LE32(22), Zeros(40)});
  Bytes icoReserved = ico;
  icoReserved[9] = 1;
  Bytes icoOffsetInside = ico;
  PutLE32(icoOffsetInside, 18, 21);  // data would overlap the directory
  Bytes icoNoSize = ico;
  PutLE32(icoNoSize, 14, 0);
  Bytes cur = ico;
  cur[2] = 2;
  Bytes wmf = Cat({Bytes{1, 0, 9, 0, 0, 3}, Zeros(12), Zeros(10)});
  Bytes placeable = Cat({LE32(0x9AC6CDD7), Zeros(18), wmf});
  Bytes wmfParams = wmf;
  wmfParams[16] = 1;
  Bytes psd = Cat({Str("8BPS"), Bytes{0, 1}, Zeros(6), Bytes{0, 3}, Bytes{0, 0, 0, 4, 0, 0, 0, 3}, Bytes{0, 8}, Bytes{0, 3}, Zeros(10)});
  Bytes psdChannels = psd;
  psdChannels[13] = 25;
  Bytes layers = Cat({Str("ZIDUZUVLAYERS"), LE32(6), LE32(static_cast<uint32_t>(-2)), LE32(0)});
  Bytes layers0 = Cat({Str("ZIDUZUVLAYERS"), LE32(0), LE32(0), LE32(0)});
  Bytes objects = Cat({Str("IEV"), Bytes{0x3C}, Zeros(8)});
  Bytes both = Cat({LE32(29), layers, objects});
  Bytes bothBadOffset = Cat({LE32(1000), layers, objects});
  Bytes avi = Cat({Str("RIFF"), LE32(100), Str("AVI LIST"), Zeros(8)});
  Bytes wav = Cat({Str("RIFF"), LE32(100), Str("WAVEfmt "), Zeros(8)});
  struct Case {
    const char* What;
    Bytes Data;
    TIEFileType Want;
  } cases[] = {
      {"DICOM", Cat({Zeros(128), Str("DICM"), Zeros(8)}), 28},
      {"DICOM without preamble", Cat({Str("DICM"), Zeros(140)}), 0},
      {"icon", ico, 6},
      {"cursor", cur, 7},
      {"icon entry reserved byte", icoReserved, 0},
      {"icon data inside the directory", icoOffsetInside, 0},
      {"icon entry without data", icoNoSize, 0},
      {"icon shorter than 23 bytes", Bytes(ico.begin(), ico.begin() + 22), 0},
      {"TGA", Pad(TgaHeader(0, 0, 2, 24), 40), 11},
      {"TGA depth 15", Pad(TgaHeader(0, 0, 2, 15), 40), 0},
      {"TGA type 4", Pad(TgaHeader(0, 0, 4, 8), 40), 0},
      {"TGA zero width", [] { Bytes b = Pad(TgaHeader(0, 0, 2, 24), 40); b[12] = 0; return b; }(), 0},
      {"PNM with comments", Str("P2\n# made by hand\n# twice\n4 3\n255\n"), 12},
      {"PNM comment inside the size", Str("P5 4#c\n 3 255 "), 12},
      {"PNM zero width", Str("P6\n0 3\n255\n"), 0},
      {"PNM letters for the size", Str("P6\nab 3\n255\n"), 0},
      {"PNM huge width", Str("P6\n99999999999 3\n255\n"), 0},
      {"PNM P7", Str("P7\n4 3\n255\n"), 0},
      {"JP2", Cat({Bytes{0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10}, Zeros(8)}), 13},
      {"J2K", Bytes{0xFF, 0x4F, 0xFF, 0x51, 0, 0}, 14},
      {"AVI", avi, 15},
      {"RIFF WAVE", wav, 0},
      {"DCX", dcx, 19},
      {"DCX page past the end", dcxOut, 0},
      {"WMF", wmf, 9},
      {"placeable WMF", placeable, 9},
      {"WMF with parameters", wmfParams, 0},
      {"PSD", psd, 24},
      {"PSD with 25 channels", psdChannels, 0},
      {"vector objects", objects, 25},
      {"vector objects, version 0x52", Cat({Str("IEV"), Bytes{0x52}, Zeros(8)}), 0},
      {"layers", layers, 26},
      {"layers, version 0", layers0, 0},
      {"layers and objects", both, 27},
      {"layers and objects, offset past the end", bothBadOffset, 0},
      {"JPEG after 100 junk bytes", Cat({Bytes(100, 0x20), Bytes{0xFF, 0xD8, 0xFF, 0xE0}}), 3},
      {"JPEG after 150 junk bytes", Cat({Bytes(150, 0x20), Bytes{0xFF, 0xD8, 0xFF, 0xE0}}), 0},
      {"JPEG at position 149", Cat({Bytes(149, 0x20), Bytes{0xFF, 0xD8, 0xFF}}), 3},
      {"WBMP (no probe)", Bytes{0, 0, 4, 3, 0, 0, 0}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Sniff(c.Data), c.Want) << c.What;
}

TEST_F(Registry, JPEGStartSearch) {
  TMemoryStream s;
  Fill(s, Cat({Bytes(100, 0), Bytes{0xFF, 0xD8, 0xFF}}), 0);
  EXPECT_EQ(IEProbeJPEG(&s, true), 100);
  EXPECT_EQ(IEProbeJPEG(&s, false), -1);
  s.SetPosition(100);
  EXPECT_EQ(IEProbeJPEG(&s, false), 0);
  EXPECT_EQ(IEProbeJPEG(&s, true), 100);
  s.SetPosition(99);
  EXPECT_EQ(IEProbeJPEG(&s, false), -1);
  EXPECT_EQ(s.Position(), 99);
  Fill(s, Cat({Bytes(200, 0), Bytes{0xFF, 0xD8, 0xFF}}), 0);
  EXPECT_EQ(IEProbeJPEG(&s, true), -1);
}

TEST_F(Registry, PlugInProbesRunAfterTheBuiltInTests) {
  int calls = 0;
  auto yes = [&](TStream* s, Integer) {
    ++calls;
    s->Seek(3, soCurrent);  // a careless probe moves the position
    return true;
  };
  IERegisterFormat(PlugIn(4096, "AAA", [&](TStream* s, Integer id) {
    Byte b[4] = {0, 0, 0, 0};
    s->Read(b, 4);  // also careless; the next probe must still start at the start
    return id == 4096 && b[0] == 'X' && b[1] == 'Y';
  }));
  IERegisterFormat(PlugIn(4097, "BBB", [&](TStream* s, Integer) {
    Byte b[2] = {0, 0};
    s->Read(b, 2);
    return b[0] == 'Q';
  }));
  IERegisterFormat(PlugIn(4098, "CCC", yes));

  EXPECT_EQ(Sniff(Str("XY and more")), 4096);
  EXPECT_EQ(Sniff(Str("junk..Q"), 6), 4097);
  EXPECT_EQ(Sniff(Str("nothing known"), 2), 4098);
  // Built-in content is decided before any plug-in is asked.
  calls = 0;
  EXPECT_EQ(Sniff(Pad(Str("GIF89a"), 20)), 2);
  EXPECT_EQ(calls, 0);
}

// A stream that fails once anything past byte Limit is read.
class TFailingStream : public TMemoryStream {
 public:
  explicit TFailingStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    if (Position() + Count > FLimit) throw EReadError("Stream read error");
    return TMemoryStream::Read(Buffer, Count);
  }

 private:
  int64_t FLimit;
};

TEST_F(Registry, FailuresEndTheSearchWithZeroAndKeepThePosition) {
  // The stream itself fails early on: no answer, no exception.
  for (int64_t limit : {0, 3, 12, 40}) {
    TFailingStream s(limit);
    Fill(s, Pad(Str("GIF89a"), 64), 1);
    TIEFileType t = -1;
    EXPECT_NO_THROW(t = IEFindStreamFormat(&s)) << limit;
    EXPECT_EQ(s.Position(), 1) << limit;
    if (limit < 4) {
      EXPECT_EQ(t, 0) << limit;
    }
  }
  // A plug-in probe that raises ends the search, even before a probe that would answer.
  IERegisterFormat(PlugIn(4096, "", [](TStream*, Integer) -> bool { throw std::runtime_error("probe"); }));
  IERegisterFormat(PlugIn(4097, "", [](TStream*, Integer) { return true; }));
  TMemoryStream s;
  Fill(s, Str("unknown content here"), 4);
  EXPECT_EQ(IEFindStreamFormat(&s), 0);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_EQ(IEFindStreamFormat(nullptr), 0);
}

// --- content against extension ------------------------------------------------

class FileFormat : public Registry {
 protected:
  std::string Put(const std::string& Name, const Bytes& Data) {
    std::string path = Dir.File(Name);
    WriteFile(path, Data);
    return path;
  }
  TIEFileType Find(const std::string& Path, bool Verify) { return IEFindFileFormat(Utf8ToWide(Path), Verify); }
  TempDir Dir;
};

TEST_F(FileFormat, ContentReconciledWithExtension) {
  const Bytes tiff = MakeTiff({{256, 3, 1, 4}, {257, 3, 1, 3}});
  const Bytes ico = Cat({Bytes{0, 0, 1, 0, 1, 0}, Bytes{16, 16, 0, 0, 1, 0, 32, 0}, LE32(40), LE32(22), Zeros(40)});
  Bytes cur = ico;
  cur[2] = 2;
  const Bytes png = Cat({Bytes{137, 80, 78, 71, 13, 10, 26, 10}, Zeros(20)});
  IERegisterFormat(PlugIn(4096, "QQQ"));
  struct Case {
    const char* Name;
    Bytes Data;
    TIEFileType NoVerify, Verify;
  } cases[] = {
      {"a.tif", tiff, 1, 1},
      {"a.nef", tiff, 20, 20},   // a camera RAW extension on a TIFF container
      {"a.NEF", tiff, 20, 20},
      {"a.cur", ico, 6, 7},      // icon content takes the cursor extension's id
      {"a.ico", cur, 7, 6},
      {"a.ico", ico, 6, 6},
      {"a.jpg", ico, 6, 0},      // but not that of an unrelated extension
      {"a.bmp", png, 8, 0},
      {"a.png", png, 8, 8},
      {"a.xyz", png, 8, 0},      // no entry for the extension
      {"noext", png, 8, 0},
      {"a.qqq", Str("whatever"), 4096, 4096},  // a plug-in's extension decides
      {"b.qqq", png, 4096, 4096},
      {"a.jpg", Str("plain text, nothing known"), 0, 0},
  };
  for (const Case& c : cases) {
    std::string path = Put(c.Name, c.Data);
    EXPECT_EQ(Find(path, false), c.NoVerify) << c.Name;
    EXPECT_EQ(Find(path, true), c.Verify) << c.Name << " verified";
  }
  // Without the RAW entry RAW extensions are unknown: TIFF content stays TIFF.
  IEUnregisterFormat(20);
  std::string nef = Put("b.nef", tiff);
  EXPECT_EQ(Find(nef, false), 1);
  EXPECT_EQ(Find(nef, true), 0);
}

TEST_F(FileFormat, MissingOrUnopenableFilesGiveZero) {
  EXPECT_EQ(IEFindFileFormat(u"", false), 0);
  EXPECT_EQ(Find(Dir.File("missing.png"), false), 0);
  EXPECT_EQ(Find(Dir.Path, false), 0);  // a folder
  std::string empty = Put("empty.png", {});
  EXPECT_EQ(Find(empty, false), 0);
  EXPECT_EQ(Find(empty, true), 0);
}

}  // namespace

}  // namespace test_formats_tests
