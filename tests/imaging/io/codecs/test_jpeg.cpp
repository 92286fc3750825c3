// The JPEG codec against libjpeg-turbo's own tools and ImageMagick: pixels,
// scaling, resolution, markers, the writer's options, and hostile input.
#include <gtest/gtest.h>

#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "codec_test_util.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/jpeglib_glue.h"

namespace test_jpeg_tests {

using namespace codec_test;
using io_test::Shell;
using io_test::TempDir;

namespace {

struct Decoded {
  TIEBitmap Bitmap;
  TIOParamsVals Params{nullptr};
  Progress P;
  Integer Rows = 0;
};

void Read(Decoded& D, const Bytes& File, bool Native = false, bool Preview = false, Integer MaxRows = -1) {
  TMemoryStream s;
  io_test::Fill(s, File);
  D.Rows = IEReadJPEG(&s, nullptr, &D.Bitmap, D.Params, D.P.Rec, Preview, false, true, false, true, true, MaxRows,
                      Native);
}

Bytes Write(TIEBitmap& B, TIOParamsVals& Params, bool* Aborted = nullptr) {
  TMemoryStream s;
  Progress p;
  IEWriteJPEG(&s, &B, Params, p.Rec);
  if (Aborted) *Aborted = p.Aborting;
  return Contents(s);
}

// Compares an ie24RGB or ie8g picture with PNM samples (RGB or grey).
::testing::AssertionResult SamePixels(TIEBitmap& B, const Pnm& Ref) {
  if (B.Width() != Ref.Width || B.Height() != Ref.Height)
    return ::testing::AssertionFailure() << "size " << B.Width() << "x" << B.Height() << " vs " << Ref.Width << "x"
                                         << Ref.Height;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x) {
      const int grey = Ref.At(x, y);
      const bool rgb = Ref.Channels == 3;
      const int want[3] = {grey, rgb ? Ref.At(x, y, 1) : grey, rgb ? Ref.At(x, y, 2) : grey};
      bool ok = B.PixelFormat() == ie8g ? p[x] == want[0]
                                        : p[3 * x + 2] == want[0] && p[3 * x + 1] == want[1] && p[3 * x] == want[2];
      if (!ok) return ::testing::AssertionFailure() << "pixel " << x << "," << y;
    }
  }
  return ::testing::AssertionSuccess();
}

class JpegFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir();
    auto pic = MakePicture(67, 45);
    ASSERT_TRUE(WritePnm(Dir->File("src.ppm"), *pic));
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }
  // Makes a fixture with cjpeg and returns its bytes.
  static Bytes Cjpeg(const std::string& Name, const std::string& Options) {
    std::string f = Dir->File(Name + ".jpg");
    EXPECT_EQ(Shell("cjpeg " + Options + " " + Dir->File("src.ppm") + " > " + f), 0);
    return io_test::ReadFile(f);
  }
  static TempDir* Dir;
};
TempDir* JpegFixtures::Dir = nullptr;

}  // namespace

TEST_F(JpegFixtures, PixelExactAgainstDjpegAtEveryScaleAndDctMethod) {
  ASSERT_TRUE(HaveTool("cjpeg") && HaveTool("djpeg")) << "libjpeg-turbo-progs is not installed";
  struct Fixture {
    const char* name;
    const char* options;
    Byte colorSpace;
  } fixtures[] = {
      {"baseline420", "-quality 85 -sample 2x2", 2}, {"s422", "-quality 90 -sample 2x1", 2},
      {"s444", "-quality 75 -sample 1x1", 2},        {"progressive", "-progressive -sample 2x2", 2},
      {"grey", "-grayscale", 1},                     {"rgbcoded", "-rgb", 0},
  };
  struct Dct {
    Byte method;
    const char* flag;
  } dcts[] = {{0, "int"}, {1, "fast"}, {2, "float"}};
  for (const Fixture& f : fixtures) {
    const Bytes file = Cjpeg(f.name, f.options);
    const std::string path = Dir->File(std::string(f.name) + ".jpg");
    for (const Dct& dct : dcts) {
      for (Byte scaleParam : {1, 2, 3, 4}) {
        const int denom = 1 << (scaleParam - 1);
        if (dct.method != 0 && denom != 1) continue;  // other methods at full size only
        SCOPED_TRACE(std::string(f.name) + " dct " + dct.flag + " 1/" + std::to_string(denom));
        const std::string out = Dir->File("ref.pnm");
        ASSERT_EQ(Shell(std::string("djpeg -dct ") + dct.flag + " -scale 1/" + std::to_string(denom) + " -pnm " +
                        path + " > " + out),
                  0);
        Pnm ref;
        ASSERT_TRUE(ReadPnm(out, ref));
        for (bool native : {false, true}) {
          Decoded d;
          d.Params.JPEG_SCALE = scaleParam;
          d.Params.JPEG_DCTMETHOD = dct.method;
          Read(d, file, native);
          ASSERT_FALSE(d.P.Aborting);
          EXPECT_EQ(d.Bitmap.PixelFormat(), native && f.colorSpace == 1 ? ie8g : ie24RGB);
          EXPECT_EQ(d.Params.JPEG_SCALE_USED, denom);
          EXPECT_EQ(d.Params.JPEG_COLORSPACE, f.colorSpace);
          EXPECT_EQ(d.Params.SAMPLESPERPIXEL, f.colorSpace == 1 ? 1 : 3);
          EXPECT_EQ(d.Params.JPEG_PROGRESSIVE, std::string(f.name) == "progressive");
          EXPECT_EQ(d.Params.ORIGINALWIDTH, 67);
          EXPECT_EQ(d.Rows, ref.Height);
          EXPECT_TRUE(SamePixels(d.Bitmap, ref));
        }
      }
    }
  }
}

TEST_F(JpegFixtures, CMYKSamplesMatchImageMagick) {
  ASSERT_TRUE(HaveTool("convert")) << "imagemagick is not installed";
  const std::string f = Dir->File("cmyk.jpg");
  ASSERT_EQ(Shell("convert " + Dir->File("src.ppm") + " -colorspace CMYK " + f), 0);
  ASSERT_EQ(Shell("convert " + f + " -depth 8 cmyk:" + Dir->File("cmyk.raw")), 0);
  const Bytes im = io_test::ReadFile(Dir->File("cmyk.raw"));
  ASSERT_EQ(im.size(), size_t(67) * 45 * 4);
  Decoded native;
  Read(native, io_test::ReadFile(f), true);
  ASSERT_FALSE(native.P.Aborting);
  ASSERT_EQ(native.Bitmap.PixelFormat(), ieCMYK);
  EXPECT_EQ(native.Params.JPEG_COLORSPACE, 4);  // ImageMagick codes CMYK as YCCK
  EXPECT_EQ(native.Params.SAMPLESPERPIXEL, 4);
  // JPEG stores CMYK inverted (255 = no ink) as ieCMYK does; ImageMagick gives ink.
  size_t bad = 0;
  for (Integer y = 0; y < 45; ++y) {
    const Byte* p = static_cast<const Byte*>(native.Bitmap.GetScanline(y));
    for (Integer i = 0; i < 67 * 4; ++i)
      if (p[i] != 255 - im[size_t(y) * 67 * 4 + size_t(i)]) ++bad;
  }
  EXPECT_EQ(bad, 0u);
  // Without Native the same samples go through the CMYK conversion into ie24RGB.
  Decoded rgb;
  Read(rgb, io_test::ReadFile(f), false);
  ASSERT_EQ(rgb.Bitmap.PixelFormat(), ie24RGB);
  EXPECT_EQ(rgb.Params.JPEG_COLORSPACE, 4);
  TRGB want;
  IEConvertColorFormat(native.Bitmap.GetScanline(20), iecfCMYK, &want, iecfBGR, 1, nullptr);
  TRGB got = *static_cast<TRGB*>(rgb.Bitmap.GetScanline(20));
  EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b);
}

namespace {

// The JPEG segments of File without its Adobe APP14 marker.
Bytes WithoutAdobeMarker(const Bytes& File) {
  Bytes out(File.begin(), File.begin() + 2);
  size_t i = 2;
  while (i + 4 <= File.size() && File[i] == 0xFF) {
    const Byte code = File[i + 1];
    if (code == 0xDA) break;
    const size_t len = size_t(File[i + 2]) << 8 | File[i + 3];
    if (code != 0xEE) out.insert(out.end(), File.begin() + long(i), File.begin() + long(i + 2 + len));
    i += 2 + len;
  }
  out.insert(out.end(), File.begin() + long(i), File.end());
  return out;
}

}  // namespace

// Mean and largest difference of an ie24RGB picture from an RGB PNM.
std::pair<double, int> Difference(TIEBitmap& B, const Pnm& Ref) {
  double sum = 0;
  int worst = 0;
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x)
      for (int k = 0; k < 3; ++k) {
        const int diff = std::abs(int(p[3 * x + 2 - k]) - Ref.At(x, y, k));
        sum += diff;
        worst = std::max(worst, diff);
      }
  }
  return {sum / (double(B.Width()) * B.Height() * 3), worst};
}

// CMYK files are decoded through the press profile the program found
// (IECMYKProfile) into the built-in sRGB profile, perceptual intent. The
// references decode the same file through the same CMYK profile:
// - LittleCMS's jpgicc into the same built-in sRGB: the same colours, up to
//   the loss of its own JPEG output;
// - ImageMagick into Ghostscript's sRGB profile: a few levels apart, which is
//   the difference between the two sRGB profiles' perceptual renderings.
// A file with the Adobe marker stores its samples inverted (255 = no ink) and
// is inverted once. Without the marker the samples are taken the same way
// (as ImageMagick takes them), so the picture does not change.
TEST(JpegCmyk, DecodesLikeIndependentDecodingsThroughTheSameProfile) {
  ASSERT_TRUE(HaveTool("convert") && HaveTool("jpgicc")) << "imagemagick or liblcms2-utils is not installed";
  const char* env = std::getenv("GT_CMYK_PROFILE");
  const std::string cmykProfile = env && *env ? env : "/usr/share/color/icc/ghostscript/default_cmyk.icc";
  const std::string gsSrgb = "/usr/share/color/icc/ghostscript/srgb.icc";
  ASSERT_EQ(Shell("test -r " + cmykProfile + " -a -r " + gsSrgb), 0)
      << "the Ghostscript colour profiles (libgs-common) are not installed";
  ASSERT_TRUE(IECMYKProfile() && IECMYKProfile()->IsValid());
  TempDir dir;
  auto pic = MakePicture(64, 48, 9);
  ASSERT_TRUE(WritePnm(dir.File("src.ppm"), *pic));
  ASSERT_EQ(Shell("convert " + dir.File("src.ppm") + " -colorspace CMYK -quality 95 " + dir.File("ycck.jpg")), 0);
  TIOParamsVals wp(nullptr);
  wp.JPEG_COLORSPACE = 3;
  wp.JPEG_QUALITY = 95;
  const Bytes plain = Write(*pic, wp);
  struct Case {
    const char* what;
    Bytes file;
    Byte colorSpace;
    bool adobe;
  } cases[] = {
      {"YCCK with the Adobe marker (ImageMagick)", io_test::ReadFile(dir.File("ycck.jpg")), 4, true},
      {"CMYK with the Adobe marker", plain, 3, true},
      {"CMYK without the Adobe marker", WithoutAdobeMarker(plain), 3, false},
  };
  Decoded marked;
  marked.Params.JPEG_SCALE = 1;
  Read(marked, plain);
  ASSERT_FALSE(marked.P.Aborting);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string in = dir.File("in.jpg"), im = dir.File("im.ppm"), lcms = dir.File("lcms.jpg"),
                      lcmsPpm = dir.File("lcms.ppm");
    io_test::WriteFile(in, c.file);
    Decoded d;
    d.Params.JPEG_SCALE = 1;
    Read(d, c.file);
    ASSERT_FALSE(d.P.Aborting);
    EXPECT_EQ(d.Params.JPEG_COLORSPACE, c.colorSpace);
    ASSERT_EQ(Shell("convert " + in + " -profile " + cmykProfile + " -profile " + gsSrgb + " -depth 8 " + im), 0);
    Pnm ref;
    ASSERT_TRUE(ReadPnm(im, ref));
    ASSERT_TRUE(ref.Width == d.Bitmap.Width() && ref.Height == d.Bitmap.Height());
    auto [imMean, imWorst] = Difference(d.Bitmap, ref);
    std::printf("[ measured ] %s: ImageMagick mean %.2f, largest %d\n", c.what, imMean, imWorst);
    EXPECT_LE(imMean, 6.0);
    EXPECT_LE(imWorst, 40);
    if (c.adobe) {
      // jpgicc inverts the samples only when the Adobe marker says so.
      ASSERT_EQ(Shell("jpgicc -q 100 -i " + cmykProfile + " -o '*sRGB' " + in + " " + lcms + " >/dev/null 2>&1 && convert " +
                      lcms + " -depth 8 " + lcmsPpm),
                0);
      ASSERT_TRUE(ReadPnm(lcmsPpm, ref));
      auto [mean, worst] = Difference(d.Bitmap, ref);
      std::printf("[ measured ] %s: jpgicc mean %.2f, largest %d\n", c.what, mean, worst);
      EXPECT_LE(mean, 1.5);
      EXPECT_LE(worst, 24);
    } else {
      for (Integer y = 0; y < d.Bitmap.Height(); ++y)
        ASSERT_EQ(std::memcmp(d.Bitmap.GetScanline(y), marked.Bitmap.GetScanline(y), size_t(d.Bitmap.Width()) * 3), 0);
    }
  }
}

TEST(Jpeg, AutomaticScaleTable) {
  TIEBitmap big(4000, 3000, ie8g);
  big.Fill(128);
  TIOParamsVals wp(nullptr);
  wp.JPEG_COLORSPACE = 1;
  wp.JPEG_QUALITY = 50;
  const Bytes file = Write(big, wp);
  struct Case {
    Integer w, h, used, outW, outH;
  } cases[] = {{500, 375, 8, 500, 375}, {600, 375, 4, 1000, 750}, {2000, 1500, 2, 2000, 1500},
               {4001, 10, 1, 4000, 3000}, {0, 0, 1, 4000, 3000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    Decoded d;
    d.Params.JPEG_SCALE = 0;
    d.Params.WIDTH = c.w;
    d.Params.HEIGHT = c.h;
    Read(d, file, true);
    EXPECT_EQ(d.Params.JPEG_SCALE_USED, c.used);
    EXPECT_EQ(d.Bitmap.Width(), c.outW);
    EXPECT_EQ(d.Bitmap.Height(), c.outH);
    EXPECT_EQ(d.Params.WIDTH, c.outW);
    EXPECT_EQ(d.Params.ORIGINALWIDTH, 4000);
  }
  // Explicit scales above 4 mean full size; a preview reports the full size.
  Decoded d;
  d.Params.JPEG_SCALE = 9;
  Read(d, file, true, true);
  EXPECT_EQ(d.Params.JPEG_SCALE_USED, 1);
  EXPECT_EQ(d.Params.WIDTH, 4000);
  EXPECT_EQ(d.Params.HEIGHT, 3000);
  EXPECT_TRUE(d.Bitmap.IsEmpty());
}

TEST(Jpeg, ResolutionFromTheJfifHeader) {
  auto pic = MakePicture(16, 16);
  TIOParamsVals wp(nullptr);
  wp.JPEG_QUALITY = 80;
  wp.JPEG_COLORSPACE = 2;
  const Bytes base = Write(*pic, wp);
  ASSERT_EQ(std::memcmp(base.data() + 6, "JFIF", 4), 0);
  struct Case {
    Byte unit;
    int x, y;
    Integer dpiX, dpiY;
  } cases[] = {
      {2, 118, 118, 299, 299},  // 118 x 2.54 = 299.72, truncated
      {1, 72, 96, 72, 96},
      {0, 2, 1, 555, 555},  // an aspect ratio leaves the resolution alone
      {3, 300, 300, 555, 555},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.unit));
    Bytes f = base;
    f[13] = c.unit;
    f[14] = Byte(c.x >> 8), f[15] = Byte(c.x);
    f[16] = Byte(c.y >> 8), f[17] = Byte(c.y);
    Decoded d;
    d.Params.JPEG_SCALE = 1;
    d.Params.SetDpiX(555);
    d.Params.SetDpiY(555);
    Read(d, f);
    ASSERT_FALSE(d.P.Aborting);
    EXPECT_EQ(d.Params.DPIX, c.dpiX);
    EXPECT_EQ(d.Params.DPIY, c.dpiY);
  }
}

TEST_F(JpegFixtures, WriterOptionsSeenByIdentifyAndExiv2) {
  ASSERT_TRUE(HaveTool("identify") && HaveTool("exiv2"));
  auto pic = MakePicture(40, 30);
  struct Case {
    Byte space, sub;
    bool progressive;
    const char* sampling;
    const char* colorspace;
    const char* interlace;
  } cases[] = {
      {2, 0, false, "2x1,1x1,1x1", "sRGB", "None"}, {2, 1, true, "2x2,1x1,1x1", "sRGB", "JPEG"},
      {2, 2, false, "1x1,1x1,1x1", "sRGB", "None"}, {1, 0, false, "", "Gray", "None"},
      {3, 0, false, "", "CMYK", "None"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.space) * 10 + c.sub);
    TIOParamsVals wp(nullptr);
    wp.JPEG_COLORSPACE = c.space;
    wp.JPEG_CROMASUBSAMPLING = c.sub;
    wp.JPEG_PROGRESSIVE = c.progressive;
    wp.JPEG_QUALITY = 85;
    wp.SetDpiX(150);
    wp.SetDpiY(120);
    bool aborted = true;
    const std::string f = Dir->File("w.jpg");
    io_test::WriteFile(f, Write(*pic, wp, &aborted));
    ASSERT_FALSE(aborted);
    const std::string info = Capture("identify -verbose " + f);
    EXPECT_NE(info.find(std::string("Colorspace: ") + c.colorspace), std::string::npos);
    EXPECT_NE(info.find(std::string("Interlace: ") + c.interlace), std::string::npos);
    EXPECT_NE(info.find("Resolution: 150x120"), std::string::npos);
    EXPECT_NE(info.find("Units: PixelsPerInch"), std::string::npos);
    if (*c.sampling) {
      EXPECT_NE(info.find(std::string("sampling-factor: ") + c.sampling), std::string::npos);
    }
    const std::string structure = Capture("exiv2 -pS " + f);
    // CMYK files carry the JFIF header and libjpeg's Adobe marker.
    EXPECT_NE(structure.find("APP0"), std::string::npos);
    EXPECT_EQ(structure.find("APP14") != std::string::npos, c.space == 3);
  }
}

TEST_F(JpegFixtures, MarkersKeptInOrderAndWrittenBack) {
  ASSERT_TRUE(HaveTool("exiv2"));
  auto pic = MakePicture(24, 24);
  TIOParamsVals wp(nullptr);
  wp.JPEG_QUALITY = 85;
  wp.JPEG_COLORSPACE = 2;
  const Byte second[] = "SECOND-APP0";
  const Byte comment[] = "a comment";
  const Byte adobe[] = "Adobe\0\x64\0\0\0\0\x01";
  wp.JPEG_MARKERS.AddMarker(0xFE, comment, sizeof comment - 1);
  wp.JPEG_MARKERS.AddMarker(0xEE, adobe, 12);  // never written from the list
  wp.JPEG_MARKERS.AddMarker(0xE0, second, sizeof second - 1);
  const std::string f = Dir->File("m.jpg");
  io_test::WriteFile(f, Write(*pic, wp));
  const std::string s = Capture("exiv2 -pS " + f);
  size_t jfif = s.find("APP0"), kept = s.find("APP0", jfif + 1), com = s.find("COM");
  ASSERT_NE(kept, std::string::npos);
  EXPECT_LT(jfif, kept);
  EXPECT_LT(kept, com);
  EXPECT_NE(s.find("JFIF"), std::string::npos);
  EXPECT_EQ(s.find("APP14"), std::string::npos);
  // Reading drops only the first APP0 (the JFIF header).
  Decoded d;
  d.Params.JPEG_SCALE = 1;
  Read(d, io_test::ReadFile(f), false, true);
  ASSERT_EQ(d.Params.JPEG_MARKERS.GetCount(), 2);
  EXPECT_EQ(d.Params.JPEG_MARKERS.GetMarkerType(0), 0xE0);
  EXPECT_EQ(Bytes(d.Params.JPEG_MARKERS.GetMarkerData(0), d.Params.JPEG_MARKERS.GetMarkerData(0) + 11),
            Bytes(second, second + 11));
  EXPECT_EQ(d.Params.JPEG_MARKERS.GetMarkerType(1), 0xFE);
}

TEST(Jpeg, WriterRoundTripsEveryInputFormat) {
  // Other pixel formats are converted on a copy: the picture stays as it was.
  auto pic = MakePicture(33, 21);
  for (TIEPixelFormat pf : {ie24RGB, ie8g, ie8p, ie1g, ie16g, ieCMYK, ieRGB48}) {
    SCOPED_TRACE(int(pf));
    TIEBitmap b(33, 21, pf);
    b.CopyAndConvertFormat(pic.get());
    TIEBitmap before;
    before.Assign(&b);
    TIOParamsVals wp(nullptr);
    wp.JPEG_QUALITY = 100;
    wp.JPEG_CROMASUBSAMPLING = 2;
    wp.JPEG_COLORSPACE = pf == ie8g ? 1 : 2;
    bool aborted = true;
    Bytes file = Write(b, wp, &aborted);
    ASSERT_FALSE(aborted);
    EXPECT_EQ(b.PixelFormat(), pf);
    EXPECT_EQ(std::memcmp(b.GetScanline(5), before.GetScanline(5), size_t(b.RowLen())), 0);
    Decoded d;
    d.Params.JPEG_SCALE = 1;
    Read(d, file);
    ASSERT_FALSE(d.P.Aborting);
    TIEBitmap ref(33, 21, ie24RGB);
    ref.CopyAndConvertFormat(&b);
    int worst = 0;
    for (Integer y = 0; y < 21; ++y) {
      const Byte* p = static_cast<const Byte*>(d.Bitmap.GetScanline(y));
      const Byte* q = static_cast<const Byte*>(ref.GetScanline(y));
      for (Integer i = 0; i < 33 * 3; ++i) worst = std::max(worst, std::abs(int(p[i]) - int(q[i])));
    }
    EXPECT_LE(worst, 12);
  }
}

TEST_F(JpegFixtures, StartSearchAndTruncation) {
  const Bytes file = Cjpeg("t", "-quality 90");
  struct Case {
    const char* what;
    Bytes data;
    bool aborted;
    bool whole = true;  // the pixels of the complete file
  } cases[] = {
      {"100 junk bytes", io_test::Cat({Bytes(100, 0x11), file}), false},
      {"200 junk bytes", io_test::Cat({Bytes(200, 0x11), file}), true},
      {"no EOI", Bytes(file.begin(), file.end() - 2), false},
      {"cut in the image data", Bytes(file.begin(), file.begin() + long(file.size() * 2 / 3)),
       false, false},
      {"cut in the header", Bytes(file.begin(), file.begin() + 40), true},
      {"empty", Bytes(), true},
  };
  Decoded ref;
  ref.Params.JPEG_SCALE = 1;
  Read(ref, file);
  ASSERT_FALSE(ref.P.Aborting);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Decoded d;
    d.Params.JPEG_SCALE = 1;
    Read(d, c.data);
    EXPECT_EQ(bool(d.P.Aborting), c.aborted);
    if (!c.aborted && c.whole) {
      ASSERT_EQ(d.Bitmap.Height(), 45);
      for (Integer y = 0; y < 45; ++y)
        ASSERT_EQ(std::memcmp(d.Bitmap.GetScanline(y), ref.Bitmap.GetScanline(y), 67 * 3), 0);
    }
  }
}

// A file cut short loads: the rows its data gave, the rest as the decoder
// fills them, and the cut reported as warnings; djpeg decoding the same cut
// file is the reference for every pixel and for the warning text.
TEST(JpegCut, CutFilesLoadLikeDjpegDecodesThem) {
  ASSERT_TRUE(HaveTool("cjpeg") && HaveTool("djpeg")) << "libjpeg-turbo-progs is not installed";
  TempDir dir;
  // Tall enough that many MCU rows follow every cut.
  auto pic = MakePicture(96, 256, 5);
  ASSERT_TRUE(WritePnm(dir.File("tall.ppm"), *pic));
  jpeg_decompress_struct messages{};
  jpeg_error_mgr messageTable;
  messages.err = jpeg_std_error(&messageTable);
  struct Kind {
    const char* name;
    const char* options;
  } kinds[] = {
      {"baseline", "-quality 90"},
      {"baseline with restarts", "-quality 90 -restart 1"},
      {"progressive", "-quality 90 -progressive"},
      {"grey", "-quality 90 -grayscale"},
  };
  for (const Kind& k : kinds) {
    const std::string whole = dir.File("whole.jpg");
    ASSERT_EQ(Shell(std::string("cjpeg ") + k.options + " " + dir.File("tall.ppm") + " > " + whole), 0);
    const Bytes file = io_test::ReadFile(whole);
    for (double at : {0.2, 0.45, 0.7, 0.95}) {
      SCOPED_TRACE(std::string(k.name) + " cut at " + std::to_string(at));
      const Bytes cut(file.begin(), file.begin() + long(double(file.size()) * at));
      const std::string cutPath = dir.File("cut.jpg"), ref = dir.File("cut.pnm"), err = dir.File("cut.err");
      io_test::WriteFile(cutPath, cut);
      // djpeg ends with status 2 when it gave warnings; at trace level 3 it
      // prints every warning, not only the first.
      ASSERT_EQ(Shell("djpeg -verbose -verbose -verbose -pnm " + cutPath + " > " + ref + " 2> " + err), 2);
      const Bytes said = io_test::ReadFile(err);
      const std::string warnings(said.begin(), said.end());
      ASSERT_NE(warnings.find("Premature end of JPEG file"), std::string::npos) << warnings;
      Pnm want;
      ASSERT_TRUE(ReadPnm(ref, want));
      Decoded d;
      d.Params.JPEG_SCALE = 1;
      Read(d, cut);
      EXPECT_FALSE(d.P.Aborting);
      EXPECT_EQ(d.Rows, 256);
      EXPECT_TRUE(SamePixels(d.Bitmap, want));
      EXPECT_GE(d.Params.JPEG_WARNINGTOT, 1);
      // The last warning is one djpeg gave too (its parameters shown as "?").
      std::string last = IEJpegMessageText(reinterpret_cast<j_common_ptr>(&messages), d.Params.JPEG_WARNINGCODE);
      last = last.substr(0, last.find('?'));
      EXPECT_FALSE(last.empty());
      EXPECT_NE(warnings.find(last), std::string::npos) << "last warning \"" << last << "\" not among djpeg's";
      // Scaled decoding fills the same way, at its own MCU row height.
      ASSERT_EQ(Shell("djpeg -scale 1/4 -pnm " + cutPath + " > " + ref + " 2> " + err), 2);
      ASSERT_TRUE(ReadPnm(ref, want));
      Decoded quarter;
      quarter.Params.JPEG_SCALE = 3;
      Read(quarter, cut);
      EXPECT_FALSE(quarter.P.Aborting);
      EXPECT_EQ(quarter.Rows, 64);
      EXPECT_TRUE(SamePixels(quarter.Bitmap, want));
    }
  }
  // Only a stream with no data, or no decodable header, is refused.
  for (size_t keep : {size_t(0), size_t(2), size_t(30)}) {
    SCOPED_TRACE(keep);
    const Bytes file = io_test::ReadFile(dir.File("whole.jpg"));
    Decoded d;
    Read(d, Bytes(file.begin(), file.begin() + long(keep)));
    EXPECT_TRUE(d.P.Aborting);
  }
}

TEST_F(JpegFixtures, MaxRowsStopsEarlyWithoutAnError) {
  const Bytes file = Cjpeg("rows", "-quality 90");
  Decoded all, some;
  all.Params.JPEG_SCALE = some.Params.JPEG_SCALE = 1;
  Read(all, file);
  Read(some, file, false, false, 10);
  EXPECT_EQ(some.Rows, 10);
  EXPECT_FALSE(some.P.Aborting);  // finishing early reports "too few scanlines", which is expected here
  for (Integer y = 0; y < 10; ++y)
    EXPECT_EQ(std::memcmp(some.Bitmap.GetScanline(y), all.Bitmap.GetScanline(y), 67 * 3), 0);
}

TEST_F(JpegFixtures, AbortFromProgressStopsTheReader) {
  const Bytes file = Cjpeg("abort", "-quality 90");
  Decoded d;
  d.Params.JPEG_SCALE = 1;
  std::vector<Integer> seen;
  d.P.Rec.fOnProgress = [&](TObject*, Integer per) {
    seen.push_back(per);
    if (per >= 50) d.P.Aborting = true;
  };
  Read(d, file);
  EXPECT_TRUE(d.P.Aborting);
  EXPECT_LT(d.Rows, 45);
  EXPECT_GE(d.Rows, 22);
  ASSERT_FALSE(seen.empty());
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

namespace {

// A JPEG with Components components of an unnamed colour space, made
// through libjpeg directly.
Bytes UnknownSpaceJpeg(int Components) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &out, &size);
  c.image_width = 16;
  c.image_height = 8;
  c.input_components = Components;
  c.in_color_space = JCS_UNKNOWN;
  jpeg_set_defaults(&c);
  jpeg_set_colorspace(&c, JCS_UNKNOWN);
  jpeg_start_compress(&c, TRUE);
  std::vector<Byte> row(16 * size_t(Components), 100);
  JSAMPROW r = row.data();
  for (int y = 0; y < 8; ++y) jpeg_write_scanlines(&c, &r, 1);
  jpeg_finish_compress(&c);
  Bytes b(out, out + size);
  jpeg_destroy_compress(&c);
  free(out);
  return b;
}

}  // namespace

TEST(Jpeg, UnknownColourSpacesAreRefusedBeforeDecoding) {
  // Two components: no named colour space has two.
  {
    Decoded d;
    d.Params.JPEG_SCALE = 1;
    Read(d, UnknownSpaceJpeg(2), true);
    EXPECT_TRUE(d.P.Aborting);
    EXPECT_EQ(d.Rows, 0);
    EXPECT_TRUE(d.Bitmap.IsEmpty());
  }
}

namespace {

class ShortStream : public TMemoryStream {
 public:
  explicit ShortStream(int64_t Limit) : FLimit(Limit) {}
  int64_t Write(const void* Buffer, int64_t Count) override {
    int64_t n = std::min(Count, FLimit - Size());
    return n > 0 ? TMemoryStream::Write(Buffer, n) : 0;
  }

 private:
  int64_t FLimit;
};

}  // namespace

TEST(Jpeg, WriterFailuresSetTheAbortFlag) {
  auto pic = MakePicture(300, 200);
  TIOParamsVals wp(nullptr);
  wp.JPEG_QUALITY = 95;
  {
    ShortStream s(1000);
    Progress p;
    IEWriteJPEG(&s, pic.get(), wp, p.Rec);
    EXPECT_TRUE(p.Aborting);
  }
  {
    TIEBitmap empty;
    TMemoryStream s;
    Progress p;
    IEWriteJPEG(&s, &empty, wp, p.Rec);
    EXPECT_TRUE(p.Aborting);
    EXPECT_EQ(s.Size(), 0);
  }
}

namespace {

// Inserts segments (marker code and payload) right after the SOI.
Bytes Splice(const Bytes& Jpeg, const std::vector<std::pair<Byte, Bytes>>& Segments) {
  Bytes out(Jpeg.begin(), Jpeg.begin() + 2);
  for (const auto& [code, payload] : Segments) {
    out.push_back(0xFF);
    out.push_back(code);
    out.push_back(Byte((payload.size() + 2) >> 8));
    out.push_back(Byte(payload.size() + 2));
    out.insert(out.end(), payload.begin(), payload.end());
  }
  out.insert(out.end(), Jpeg.begin() + 2, Jpeg.end());
  return out;
}

Bytes IccChunk(int Seq, int Count, const std::string& Payload) {
  Bytes b = io_test::Str(std::string("ICC_PROFILE") + '\0');
  b.push_back(Byte(Seq));
  b.push_back(Byte(Count));
  Bytes p = io_test::Str(Payload);
  b.insert(b.end(), p.begin(), p.end());
  return b;
}

}  // namespace

TEST(Jpeg, IccChunksJoinInSequenceOrderAndBadChunksAreIgnored) {
  auto pic = MakePicture(16, 16);
  TIOParamsVals wp(nullptr);
  wp.JPEG_QUALITY = 80;
  const Bytes base = Write(*pic, wp);
  Bytes shortChunk = io_test::Str(std::string("ICC_PROFILE") + '\0');
  shortChunk.push_back(1);
  const Bytes file = Splice(base, {{0xE2, IccChunk(2, 3, "BBBB")},
                                   {0xE2, IccChunk(0, 3, "zero")},
                                   {0xE2, IccChunk(5, 3, "five")},
                                   {0xE2, IccChunk(1, 4, "count")},
                                   {0xE2, shortChunk},
                                   {0xE2, IccChunk(1, 3, "AAAA")},
                                   {0xE2, IccChunk(2, 3, "dup!")},
                                   {0xE2, IccChunk(3, 3, "CC")}});
  Decoded d;
  d.Params.JPEG_SCALE = 1;
  Read(d, file);
  ASSERT_FALSE(d.P.Aborting);
  ASSERT_TRUE(d.Params.INPUTICCPROFILE);
  const TIEICC* icc = d.Params.INPUTICCPROFILE.get();
  ASSERT_EQ(icc->RawLength(), 10);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(icc->Raw()), 10), "AAAABBBBCC");
  // With colour management off the chunks stay in the markers, to be written back.
  Integer app2 = 0;
  for (Integer i = 0; i < d.Params.JPEG_MARKERS.GetCount(); ++i) app2 += d.Params.JPEG_MARKERS.GetMarkerType(i) == 0xE2;
  EXPECT_EQ(app2, 8);
}

TEST(Jpeg, IptcAndStreamLength) {
  auto pic = MakePicture(16, 16);
  TIOParamsVals wp(nullptr);
  wp.JPEG_QUALITY = 80;
  TIEIPTCInfoList iptc;
  iptc.AddStringItem(2, 120, "A caption");
  std::vector<Byte> block;
  iptc.SaveToBuffer(block, true);
  wp.JPEG_MARKERS.AddMarker(0xED, block.data(), static_cast<Word>(block.size()));
  const Bytes file = Write(*pic, wp);
  Decoded d;
  d.Params.JPEG_SCALE = 1;
  Read(d, file, false, true);
  ASSERT_EQ(d.Params.IPTC_LIST.GetCount(), 1);
  EXPECT_EQ(d.Params.IPTC_LIST.GetStringItem(0), W("A caption"));
  // The length scan stops after the EOI, whatever follows.
  TMemoryStream s;
  io_test::Fill(s, io_test::Cat({Bytes(7, 0), file, io_test::Str("trailing data \xFF\xD9 more")}), 7);
  EXPECT_EQ(IEGetJPEGStreamLength(&s), static_cast<Integer>(file.size()));
  EXPECT_EQ(s.Position(), 7);
}

TEST_F(JpegFixtures, OneCallDecoderAndThumbnailRequestWithoutExif) {
  const Bytes file = Cjpeg("onecall", "-quality 90 -sample 1x1");
  Decoded ref;
  ref.Params.JPEG_SCALE = 1;
  Read(ref, file);
  ASSERT_FALSE(ref.P.Aborting);
  // The one-call decoder gives the same pixels as coded (red, green, blue).
  std::vector<Byte> px;
  Integer w = 0, h = 0, n = 0;
  IEDecodeJPEGBuffer(file.data(), file.size(), px, w, h, n);
  ASSERT_EQ(w, 67);
  ASSERT_EQ(h, 45);
  ASSERT_EQ(n, 3);
  const Byte* row = static_cast<const Byte*>(ref.Bitmap.GetScanline(30));
  for (Integer x = 0; x < w; ++x)
    ASSERT_TRUE(px[(30 * 67 + x) * 3] == row[3 * x + 2] && px[(30 * 67 + x) * 3 + 2] == row[3 * x]) << x;
  EXPECT_THROW(IEDecodeJPEGBuffer(file.data(), 40, px, w, h, n), EIEJpegException);
  // Asking for the EXIF thumbnail of a file without one reads the picture itself.
  Decoded d;
  d.Params.JPEG_SCALE = 1;
  d.Params.SetJPEGGetExifThumbnail(true);
  Read(d, io_test::Cat({Bytes(5, 0), file}));
  ASSERT_FALSE(d.P.Aborting);
  EXPECT_TRUE(d.Params.JPEG_GETEXIFTHUMBNAIL);
  ASSERT_EQ(d.Bitmap.Height(), 45);
  EXPECT_EQ(std::memcmp(d.Bitmap.GetScanline(30), row, 67 * 3), 0);
}

}  // namespace test_jpeg_tests
