// Format plug-ins over dlopen: loading and registering, the entry-point
// check, round trips of 1-, 24- and 48-bit pictures through a plug-in built in
// the tree (with its call log), the bounded parameter callback, the thumbnail
// path of the RAW plug-in and its configurable name, and the RAW plug-in
// itself on a DNG made by the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieplugins.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/sysutils.h"
#include "tests/support/files.h"
#include "tests/support/lcg.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_plugins_tests {

namespace plugin_tests {
namespace {

const std::string kPlugins = std::string(GT_TEST_BINARY_DIR) + "/../plugins/";

std::vector<std::string> ReadLog(const std::string& Path) {
  std::vector<std::string> lines;
  std::ifstream in(Path);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// Every test starts with no plug-in loaded, a fresh log, and the default RAW name.
class Plugins : public ::testing::Test {
 protected:
  void SetUp() override {
    IEBuildFormatRegistry();
    IEUnloadFormatPlugins();
    IESetRAWPluginName(W("libgtrawplugin.so"));
    ASSERT_TRUE(Dir.Ok());
    Log = Dir.File("calls.log");
    setenv("GT_TEST_PLUGIN_LOG", Log.c_str(), 1);
  }
  void TearDown() override {
    IEUnloadFormatPlugins();
    IESetRAWPluginName(W("libgtrawplugin.so"));
    unsetenv("GT_TEST_PLUGIN_LOG");
  }
  void ClearLog() { std::filesystem::remove(Log); }
  gt_test::TempDir Dir{"plugins"};
  std::string Log;
};

TEST_F(Plugins, ThreeFormatsRegisterWithIdsCapabilitiesAndLocks) {
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 4098);
  const auto list = IEFormatPlugins();
  ASSERT_EQ(list.size(), 3u);
  const char* names[] = {"Test mono", "Test colour", "Test deep"};
  const char* exts[] = {"TPA", "TPB", "TPC"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(list[i]->FileType, 4096 + i);
    EXPECT_EQ(list[i]->FormatIndex, i);
    EXPECT_FALSE(list[i]->CDecl);
    // Only the second format declares itself thread-safe.
    EXPECT_EQ(list[i]->Lock == nullptr, i == 1);
    TIEFileFormatInfoRef e = IEFindFormatInfo(4096 + i);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->FullName, W(names[i]));
    EXPECT_EQ(e->Extensions, W(exts[i]));
    EXPECT_TRUE(e->ReadRoutine && e->WriteRoutine && e->ProbeRoutine);
  }
  // The same library again, also from another folder: nothing new.
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 0);
  const std::string copy = Dir.File("libgt_testplugin.so");
  std::filesystem::copy_file(kPlugins + "libgt_testplugin.so", copy);
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(copy)), 0);
  EXPECT_EQ(IEFormatPlugins().size(), 3u);
  // Every context opened while loading was closed again.
  const auto log = ReadLog(Log);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Finalize"), 3);

  IEUnloadFormatPlugins();
  EXPECT_TRUE(IEFormatPlugins().empty());
  EXPECT_FALSE(IEFindFormatInfo(4096));
}

TEST_F(Plugins, ConventionMarkerAndMissingEntryPoints) {
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin_broken.so")), 0);
  EXPECT_TRUE(IEFormatPlugins().empty());
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(Dir.File("no-such-library.so"))), 0);
  EXPECT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin_cdecl.so")), 4098);
  for (const TIEIOPlugin* p : IEFormatPlugins()) EXPECT_TRUE(p->CDecl);
}

std::unique_ptr<TIEBitmap> Pattern(TIEPixelFormat Format, Integer W, Integer H) {
  auto b = std::make_unique<TIEBitmap>(W, H, Format);
  gt_test::Lcg g(Format);
  for (Integer y = 0; y < H; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer i = 0; i < b->RowLen(); ++i) row[i] = Byte(g.Next() >> 5);
  }
  return b;
}

bool SameRows(TIEBitmap& A, TIEBitmap& B, Integer RowBytes) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || A.PixelFormat() != B.PixelFormat()) return false;
  for (Integer y = 0; y < A.Height(); ++y)
    if (std::memcmp(A.GetScanline(y), B.GetScanline(y), size_t(RowBytes)) != 0) return false;
  return true;
}

TEST_F(Plugins, PicturesRoundTripThroughThePluginInEveryFormat) {
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 4098);
  struct Case {
    TIEPixelFormat Format;
    TIEFileType Id;
    Integer RowBytes;  // of an 11-pixel row
  } cases[] = {{ie1g, 4096, 2}, {ie24RGB, 4097, 33}, {ieRGB48, 4098, 66}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    ClearLog();
    auto src = Pattern(c.Format, 11, 7);
    if (c.Format == ie1g)  // the padding bits of a row are not picture
      for (Integer y = 0; y < 7; ++y) static_cast<Byte*>(src->GetScanline(y))[1] &= 0xE0;
    TIEBitmap out;
    TMemoryStream ms;
    // Straight through the plug-in's writer: the companion hands registry
    // writers 24-bit copies.
    TIOParamsVals wp(nullptr);
    wp.FILETYPE = c.Id;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEPluginWrite(&ms, src.get(), wp, rec);
    ASSERT_FALSE(aborting);
    ASSERT_EQ(ms.Size(), 13 + 7 * c.RowBytes);
    const Byte* file = static_cast<const Byte*>(ms.Memory()) + 13;
    const Byte* row0 = static_cast<const Byte*>(src->GetScanline(0));
    if (c.Format == ie24RGB) {  // red, green, blue in the block; the bitmap holds blue first
      EXPECT_EQ(file[0], row0[2]);
      EXPECT_EQ(file[2], row0[0]);
    } else {  // 48-bit words little-endian, as the protocol fixes
      EXPECT_EQ(std::memcmp(file, row0, size_t(c.RowBytes)), 0);
    }
    if (c.Format == ieRGB48) {
      const Word first = static_cast<const Word*>(src->GetScanline(0))[0];
      EXPECT_EQ(file[0], Byte(first & 0xFF));
      EXPECT_EQ(file[1], Byte(first >> 8));
    }

    // By content: the plug-in's probe recognises its own file.
    for (bool native : {true, false}) {
      ms.SetPosition(0);
      auto in = TZiduzUvIO::CreateForBitmap(&out);
      in->Params().ISNATIVEPIXELFORMAT = native;
      in->LoadFromStream(&ms);
      ASSERT_FALSE(in->Aborting());
      EXPECT_EQ(in->Params().WIDTH, 11);
      if (native || c.Format != ieRGB48) {
        EXPECT_TRUE(SameRows(out, *src, c.RowBytes));
      } else {
        // Through the 48-bit picture into 24 bits: the high bytes.
        ASSERT_EQ(out.PixelFormat(), ie24RGB);
        TRGB px;
        out.GetPixelAsRGB(3, 2, px);
        const Word* s = static_cast<const Word*>(src->GetScanline(2)) + 9;
        EXPECT_EQ(px.r, s[0] >> 8);
        EXPECT_EQ(px.b, s[2] >> 8);
      }
      EXPECT_EQ(in->Params().BITSPERSAMPLE, c.Format == ie1g ? 1 : c.Format == ie24RGB ? 8 : 16);
      EXPECT_EQ(in->Params().SAMPLESPERPIXEL, c.Format == ie1g ? 1 : 3);
    }
    // The calls of one read: a context, the callbacks, the read, the close.
    const auto log = ReadLog(Log);
    const auto at = [&](const std::string& s) { return std::find(log.begin(), log.end(), s) - log.begin(); };
    const std::string init = "Initialize " + std::to_string(c.Id - 4096);
    EXPECT_LT(at("SetInfo 4"), at("ExecuteWrite " + std::to_string(int(c.Format))));
    const auto firstRead = at("ExecuteRead 0");
    ASSERT_LT(size_t(firstRead), log.size());
    EXPECT_EQ(log[size_t(firstRead) - 1], "SetCallBacks");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Finalize"),
              std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Initialize", 0) == 0; }));
    EXPECT_NE(std::find(log.begin(), log.end(), init), log.end());
  }
}

TEST_F(Plugins, ACutShortFileFailsToLoad) {
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 4098);
  // A header claiming more rows than the file holds: the plug-in reports no
  // pixels, and the load fails instead of reporting success.
  const Byte bad[] = {'G', 'T', 'P', 'L', 1, 11, 0, 0, 0, 7, 0, 0, 0, 1, 2, 3};
  TMemoryStream ms;
  ms.WriteBuffer(bad, sizeof bad);
  ms.SetPosition(0);
  TIEBitmap out;
  auto in = TZiduzUvIO::CreateForBitmap(&out);
  in->LoadFromStreamFormat(&ms, 4097);
  EXPECT_TRUE(in->Aborting());
}

TEST_F(Plugins, LongParameterValuesAreCutToThePluginsBuffer) {
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 4098);
  auto src = Pattern(ie24RGB, 3, 2);
  TMemoryStream ms;
  TZiduzUvIO::CreateForBitmap(src.get())->SaveToStream(&ms, 4097);
  ClearLog();
  TIEBitmap out;
  // The reader itself: a load through the companion clears the metadata first.
  TIOParamsVals params(nullptr);
  params.FILETYPE = 4097;
  params.XMP_INFO = std::string(5000, 'q');
  std::atomic<bool> aborting{false};
  TIEProgressRec rec(aborting);
  ms.SetPosition(0);
  IEPluginRead(&ms, &out, params, rec, false);
  ASSERT_FALSE(aborting);
  const auto log = ReadLog(Log);
  // 16 bytes of buffer: 15 characters and the terminator.
  EXPECT_NE(std::find(log.begin(), log.end(), "XMP 15"), log.end());
  // What the plug-in sets reaches the parameters.
  EXPECT_EQ(WideToUtf8(params.GetProperty(W("PNG_COMPRESSION"))), "3");
}

TEST_F(Plugins, ThumbnailReadsAskTheRawPluginForItsPreviewByConfiguredName) {
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgt_testplugin.so")), 4098);
  auto src = Pattern(ie24RGB, 5, 4);
  TMemoryStream ms;
  TZiduzUvIO::CreateForBitmap(src.get())->SaveToStream(&ms, 4097);
  struct Case {
    const char* RawName;
    bool AsksForPreview;
  } cases[] = {{"libgt_testplugin.so", true}, {"libgtrawplugin.so", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.RawName);
    IESetRAWPluginName(W(c.RawName));
    ClearLog();
    TIEBitmap out;
    auto in = TZiduzUvIO::CreateForBitmap(&out);
    in->Params().SetGetThumbnail(true);
    ms.SetPosition(0);
    in->LoadFromStreamFormat(&ms, 4097);
    ASSERT_FALSE(in->Aborting());
    EXPECT_TRUE(in->Params().GETTHUMBNAIL);
    EXPECT_EQ(out.Width(), 5);
    const auto log = ReadLog(Log);
    // Parameters first; with the RAW plug-in one full read then delivers the preview.
    std::vector<std::string> reads;
    for (const std::string& l : log)
      if (l.rfind("ExecuteRead", 0) == 0) reads.push_back(l);
    EXPECT_EQ(reads, (std::vector<std::string>{"ExecuteRead -1", "ExecuteRead 0"}));
    EXPECT_EQ(std::find(log.begin(), log.end(), "EXTRA -e") != log.end(), c.AsksForPreview);
    EXPECT_EQ(in->Params().RAW_EXTRAPARAMS, "");
  }
}

TEST_F(Plugins, RawPluginDecodesADngLikeLibRaw) {
  ASSERT_TRUE(gt_test::HaveTool("dcraw_emu"));
  const std::string dng = Dir.File("a.dng");
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 " + std::string(GT_TEST_DATA_DIR) +
                           "/../imaging/formats/raw_fixtures.py dng '" + dng + "' 40 30 Testmake Plug"),
            0);
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgtrawplugin.so")), 4096);
  ASSERT_EQ(gt_test::Shell("cd '" + Dir.Path + "' && dcraw_emu -q 0 a.dng"), 0);
  const auto ppm = gt_test::ReadFileBytes(dng + ".ppm");
  ASSERT_GT(ppm.size(), 40u * 30 * 3);
  const Byte* ref = ppm.data() + ppm.size() - 40 * 30 * 3;

  TIEBitmap out;
  auto in = TZiduzUvIO::CreateForBitmap(&out);
  in->Params().RAW_QUICKINTERPOLATE = true;
  in->LoadFromFileFormat(Utf8ToWide(dng), 4096);
  ASSERT_FALSE(in->Aborting());
  ASSERT_EQ(out.Width(), 40);
  ASSERT_EQ(out.Height(), 30);
  EXPECT_EQ(in->Params().ORIGINALWIDTH, 40);
  // The host read the camera metadata itself.
  EXPECT_EQ(in->Params().EXIF_MAKE, "Testmake");
  int worst = 0;
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) {
      TRGB px;
      out.GetPixelAsRGB(x, y, px);
      const Byte* r = ref + (size_t(y) * 40 + x) * 3;
      worst = std::max({worst, std::abs(px.r - r[0]), std::abs(px.g - r[1]), std::abs(px.b - r[2])});
    }
  EXPECT_LE(worst, 1);
}


// With the built-in RAW format taken out of the registry and the RAW
// plug-in loaded, the camera RAW methods read through the plug-in; with the
// built-in format in place they do not.
TEST_F(Plugins, CameraRawMethodsFollowThePluginThatTookTheExtension) {
  const std::string dng = Dir.File("b.dng");
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 " + std::string(GT_TEST_DATA_DIR) +
                           "/../imaging/formats/raw_fixtures.py dng '" + dng + "' 40 30 Testmake Plug"),
            0);
  ASSERT_EQ(IELoadFormatPlugin(Utf8ToWide(kPlugins + "libgtrawplugin.so")), 4096);
  {
    TIEBitmap out;
    auto in = TZiduzUvIO::CreateForBitmap(&out);
    in->LoadFromFileRAW(Utf8ToWide(dng));
    EXPECT_EQ(in->Params().FILETYPE, ieftRAW);
  }
  IEUnregisterFormat(ieftRAW);
  for (bool byStream : {false, true}) {
    SCOPED_TRACE(byStream ? "stream" : "file");
    TIEBitmap out;
    auto in = TZiduzUvIO::CreateForBitmap(&out);
    if (byStream) {
      TFileStream s(Utf8ToWide(dng), fmOpenRead);
      in->LoadFromStreamRAW(&s);
    } else {
      in->LoadFromFileRAW(Utf8ToWide(dng));
      EXPECT_EQ(in->Params().FILENAME, Utf8ToWide(dng));
    }
    ASSERT_FALSE(in->Aborting());
    EXPECT_EQ(in->Params().FILETYPE, 4096);
    EXPECT_EQ(out.Width(), 40);
    EXPECT_EQ(out.Height(), 30);
  }
  IEBuildFormatRegistry();
}

}  // namespace
}  // namespace plugin_tests

}  // namespace test_plugins_tests
