// Equal resolutions by resampling (the free routine, the companion's own and
// a load that triggers it), image counts by file name, and the preset
// pictures the library builds at start-up.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/io/iedpi.h"
#include "imaging/io/iepng.h"
#include "imaging/io/ielzw.h"
#include "imaging/io/ielzwhooks.h"
#include "imaging/io/iepresets.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "platform/base/sysutils.h"

namespace dpi_counts_tests {
namespace {

using namespace io_test;

// An ie8g picture whose pixel (x, y) is 10 * y + x.
std::unique_ptr<TIEBitmap> Grey(Integer W, Integer H) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie8g);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) static_cast<Byte*>(b->GetScanline(y))[x] = Byte(10 * y + x);
  return b;
}

TEST(AdjustDPI, ShorterSideTakesTheLargerScale) {
  struct Case {
    Integer W, H, DpiX, DpiY;
    Integer NewW, NewH, Dpi;
  } cases[] = {
      {1000, 500, 300, 150, 1000, 1000, 300},  // height rescaled
      {500, 1000, 150, 300, 1000, 1000, 300},  // width rescaled
      {100, 100, 300, 100, 33, 100, 100},      // a square: the width follows DPIY
      {5, 5, 2, 1, 2, 5, 1},                   // 2.5 rounds to the even neighbour
      {7, 5, 3, 2, 7, 8, 3},                   // 7.5 likewise, to 8
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.W) + "x" + std::to_string(c.H));
    auto b = Grey(c.W, c.H);
    TIOParamsVals p(nullptr);
    p.SetDpiX(c.DpiX);
    p.SetDpiY(c.DpiY);
    std::unique_ptr<TIEBitmap> r(IEAdjustDPI(b.get(), p, false));
    ASSERT_NE(r.get(), b.get());
    EXPECT_EQ(r->Width(), c.NewW);
    EXPECT_EQ(r->Height(), c.NewH);
    EXPECT_EQ(r->PixelFormat(), ie8g);
    EXPECT_EQ(p.DPIX, c.Dpi);
    EXPECT_EQ(p.DPIY, c.Dpi);
    EXPECT_EQ(p.WIDTH, c.NewW);
    EXPECT_EQ(p.HEIGHT, c.NewH);
  }
}

TEST(AdjustDPI, NothingToDoReturnsTheSameObject) {
  struct Case {
    Integer W, H, DpiX, DpiY;
  } cases[] = {{10, 5, 300, 300}, {10, 5, 0, 300}, {10, 5, 300, -1}, {0, 0, 300, 150}};
  for (const Case& c : cases) {
    TIEBitmap b;
    if (c.W) {
      ASSERT_TRUE(b.Allocate(c.W, c.H, ie24RGB));
    }
    TIOParamsVals p(nullptr);
    p.DPIX = c.DpiX;
    p.DPIY = c.DpiY;
    EXPECT_EQ(IEAdjustDPI(&b, p, true), &b) << c.DpiX << " " << c.DpiY;
    EXPECT_EQ(b.Width(), c.W);
    EXPECT_EQ(p.DPIX, c.DpiX);
  }
  EXPECT_EQ(IEAdjustDPI(nullptr, *std::make_unique<TIOParamsVals>(nullptr), false), nullptr);
}

TEST(AdjustDPI, UsesTheBitmapsOwnSizeNotTheFilesPictureSize) {
  // A thumbnail of a 4000 x 2000 picture: the stored size must not be allocated.
  auto thumb = Grey(100, 50);
  TIOParamsVals p(nullptr);
  p.WIDTH = 4000;
  p.HEIGHT = 2000;
  p.SetDpiX(300);
  p.SetDpiY(150);
  std::unique_ptr<TIEBitmap> r(IEAdjustDPI(thumb.get(), p, false));
  ASSERT_NE(r.get(), thumb.get());
  EXPECT_EQ(r->Width(), 100);
  EXPECT_EQ(r->Height(), 100);
  EXPECT_EQ(p.WIDTH, 100);
  EXPECT_EQ(p.HEIGHT, 100);
}

TEST(AdjustDPI, NearestStretchRepeatsRowsAndFilteredGoesThroughColour) {
  auto b = Grey(4, 2);
  TIOParamsVals p(nullptr);
  p.SetDpiX(2);
  p.SetDpiY(1);
  std::unique_ptr<TIEBitmap> r(IEAdjustDPI(b.get(), p, false));
  ASSERT_EQ(r->Height(), 4);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x)
      EXPECT_EQ(static_cast<Byte*>(r->GetScanline(y))[x], 10 * (y / 2) + x) << x << "," << y;

  TIOParamsVals q(nullptr);
  q.SetDpiX(2);
  q.SetDpiY(1);
  std::unique_ptr<TIEBitmap> f(IEAdjustDPI(b.get(), q, true));
  EXPECT_EQ(b->PixelFormat(), ie24RGB);  // converted in place first
  EXPECT_EQ(f->PixelFormat(), ie24RGB);
  EXPECT_EQ(f->Height(), 4);
}

TEST(AdjustDPI, CompanionResamplesInPlaceWithItsAlpha) {
  TIEBitmap pic(20, 10, ie24RGB);
  TIEBitmap* a = pic.GetAlphaChannel();
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 20; ++x) static_cast<Byte*>(a->GetScanline(y))[x] = Byte(y * 20 + x);
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&pic);
  io.Params().SetDpiX(300);
  io.Params().SetDpiY(150);
  io.SetFilteredAdjustDPI(true);
  io.AdjustDPI();
  ASSERT_EQ(pic.Width(), 20);
  ASSERT_EQ(pic.Height(), 20);
  EXPECT_EQ(io.Params().DPIX, 300);
  EXPECT_EQ(io.Params().DPIY, 300);
  EXPECT_EQ(io.Params().HEIGHT, 20);
  ASSERT_TRUE(pic.HasAlphaChannel());
  a = pic.GetAlphaChannel();
  ASSERT_EQ(a->Height(), 20);
  // Nearest: no blended coverage values between rows.
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 20; ++x)
      ASSERT_EQ(static_cast<Byte*>(a->GetScanline(y))[x], (y / 2) * 20 + x) << x << "," << y;
}

TEST(AdjustDPI, ALoadWithUnequalResolutionsComesOutSquare) {
  IEBuildFormatRegistry();
  TempDir dir;
  const std::string file = dir.File("r.png");
  {
    TIEBitmap b(30, 12, ie24RGB);
    TIOParamsVals p(nullptr);
    p.DPIX = 200;
    p.DPIY = 100;
    TFileStream out(Utf8ToWide(file), fmCreate);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEWritePNG(&out, &b, p, rec, nullptr);
    ASSERT_FALSE(aborting);
  }
  for (bool automatic : {true, false}) {
    TZiduzUvIO io(nullptr);
    io.SetAutoAdjustDPI(automatic);
    io.LoadFromFile(Utf8ToWide(file));
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(io.IEBitmap()->Width(), 30);
    EXPECT_EQ(io.IEBitmap()->Height(), automatic ? 24 : 12);
    EXPECT_EQ(io.Params().DPIY, automatic ? 200 : 100);
  }
  IEFreeFormatRegistry();
}

// ---------------------------------------------------------------------------
// Image counts

TEST(ImageCount, ByExtensionAndByContent) {
  IEBuildFormatRegistry();
  EXPECT_EQ(IEFileTypeOfExtension(u".JPG"), ieftJPEG);
  EXPECT_EQ(IEFileTypeOfExtension(u"tif"), ieftTIFF);
  EXPECT_EQ(IEFileTypeOfExtension(u".nothing"), ieftUnknown);
  EXPECT_EQ(IEFileTypeOfExtension(u""), ieftUnknown);

  TempDir dir;
  struct Case {
    std::string Name;
    Integer Count;
  } cases[] = {
      {"missing.jpg", 1},  // a single-image type: the file is not even opened
      {"missing.png", 1},
      {"a.gif", 3},
      {"a.tif", 3},
      {"a.dcx", 3},
      {"a.ico", 2},
      {"missing.tif", 0},  // a counted type that cannot be read
      {"a.xyz", 0},        // unknown, and no media file either
      {"a.avi", 0},
  };
  ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  const std::string three = "-size 16x8 xc:red xc:green xc:blue ";
  ASSERT_EQ(Shell("cd '" + dir.Path + "' && convert " + three + "a.gif && convert " + three + "a.tif && convert " +
                  three + "a.dcx && convert -size 32x32 xc:red -define icon:auto-resize=32,16 a.ico && " +
                  "echo x > a.xyz && echo x > a.avi"),
            0);
  for (const Case& c : cases) EXPECT_EQ(IEGetFileImageCount(Utf8ToWide(dir.File(c.Name))), c.Count) << c.Name;
  IEFreeFormatRegistry();
}

// ---------------------------------------------------------------------------
// Preset pictures

// The PNG colour type (IHDR byte 9) and whether a chunk of that name is present.
int ColorType(const TIEPresetImage& E) { return E.Size > 25 ? E.Data[25] : -1; }
bool HasChunk(const TIEPresetImage& E, const char* Name) {
  const std::string s(reinterpret_cast<const char*>(E.Data), E.Size);
  return s.find(Name) != std::string::npos;
}

TEST(PresetImages, FourPicturesWithTheirRectanglesLiveBetweenStartupAndShutdown) {
  ASSERT_EQ(IEStartupCount(), 0);
  EXPECT_TRUE(IEPresetImages().empty());
  IEStartup();
  const auto& list = IEPresetImages();
  ASSERT_EQ(list.size(), 4u);
  struct Expect {
    Integer W, H;
    TRect R;
    int ColorType;
    bool Transparency;
  } expect[] = {{162, 159, TRect(18, 29, 140, 119), 6, false},
                {112, 100, TRect(13, 1, 95, 98), 2, false},
                {163, 108, TRect(30, 14, 147, 92), 3, true},
                {150, 150, TRect(17, 17, 131, 131), 3, false}};
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const TIEPresetImage& e = *list[i];
    EXPECT_EQ(e.FileType, ieftPNG);
    EXPECT_EQ(ColorType(e), expect[i].ColorType);
    EXPECT_TRUE(HasChunk(e, "bKGD"));
    EXPECT_TRUE(HasChunk(e, "pHYs"));
    EXPECT_EQ(HasChunk(e, "tRNS"), expect[i].Transparency);
    EXPECT_EQ(e.Rect.Left, expect[i].R.Left);
    EXPECT_EQ(e.Rect.Bottom, expect[i].R.Bottom);
    TIEMemStream s(e.Data, e.Size);
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReadPNG(&s, &b, p, rec, false);
    ASSERT_FALSE(aborting);
    EXPECT_EQ(b.Width(), expect[i].W);
    EXPECT_EQ(b.Height(), expect[i].H);
    EXPECT_EQ(p.DPIX, 96);
    EXPECT_EQ(b.HasAlphaChannel() && !b.GetAlphaChannel()->Full(), i == 0 || i == 2);
    EXPECT_TRUE(e.Rect.Right <= b.Width() && e.Rect.Bottom <= b.Height());
  }
  IEShutdown();
  EXPECT_TRUE(IEPresetImages().empty());
}

// ---------------------------------------------------------------------------
// I/O start-up and shut-down

TEST(IOStartup, SetsTheLoaderGlobalsAndBuildsTheRegistryAfterTheHooks) {
  const WideString folder = IETempFolder, log = IEDebugLogFile;
  IEFreeFormatRegistry();
  // Everything the step sets, set otherwise first.
  IEGIFLZWDecompressProc = nullptr;
  IEGIFLZWCompressProc = nullptr;
  IETIFFLZWDecompressProc = nullptr;
  IETIFFLZWCompressProc = nullptr;
  IETempFolder = u"/nowhere";
  IEDebugLogFile = u"/nowhere.log";
  IEColorConversionHook = nullptr;
  IEEnableCMS = true;
  IEQuantizerMethod = 2;
  IEQuantizerQuality = 5;
  IEUseCMYKProfile = false;

  IEStartupZiduzUvIO();
  EXPECT_EQ(IEGIFLZWDecompressProc, &IEGIFLZWDecompress);
  EXPECT_EQ(IEGIFLZWCompressProc, &IEGIFLZWCompress);
  EXPECT_EQ(IETIFFLZWDecompressProc, &IETIFFLZWDecompress);
  EXPECT_EQ(IETIFFLZWCompressProc, &IETIFFLZWCompress);
  // GIF is offered only while its hooks are set: they came first.
  EXPECT_TRUE(IEFindFormatInfo(ieftGIF));
  EXPECT_TRUE(IEFindFormatInfo(ieftJPEG));
  EXPECT_TRUE(IETempFolder.empty());
  EXPECT_TRUE(IEDebugLogFile.empty());
  EXPECT_EQ(IEColorConversionHook, &IEConvertColorFormat);
  EXPECT_FALSE(IEEnableCMS);
  EXPECT_EQ(IEQuantizerMethod, -1);
  EXPECT_EQ(IEQuantizerQuality, -1);
  EXPECT_TRUE(IEUseCMYKProfile);

  IEShutdownZiduzUvIO();
  EXPECT_FALSE(IEFindFormatInfo(ieftJPEG));
  IETempFolder = folder;
  IEDebugLogFile = log;
}

}  // namespace
}  // namespace dpi_counts_tests
