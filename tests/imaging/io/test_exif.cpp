// EXIF blocks of JPEG files: what exiftool writes we read field by field,
// what we save exiftool reads back as it wrote it, orientation 2-8 loads
// upright like ImageMagick's -auto-orient, and hostile blocks fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/io/ieexif.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "platform/base/sysutils.h"
#include "tests/support/pnm_bitmap.h"

namespace exif_tests {
namespace {

using gt_test::Capture;
using gt_test::HaveTool;
using io_test::Bytes;
using io_test::Shell;

// A photo-like picture with a different colour in each corner, so that any
// wrong turn or flip shows.
void MakePhoto(TIEBitmap& B, Integer W, Integer H) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  for (Integer y = 0; y < H; ++y) {
    Byte* p = static_cast<Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < W; ++x, p += 3) {
      p[0] = Byte(x * 255 / (W - 1));
      p[1] = Byte(y * 255 / (H - 1));
      p[2] = Byte((x < W / 2) == (y < H / 2) ? 230 : 20);
    }
  }
}

// Every value exiftool writes into the fixture, with -n (numbers as stored).
const char* const kFixtureArgs[] = {
    "-Make=Cam", "-Model=M1", "-Software=Sw", "-Artist=Ar", "-Copyright=Co", "-ModifyDate=2024:01:02 03:04:05",
    "-ImageDescription=Desc", "-IFD0:XResolution=300", "-IFD0:YResolution=300", "-IFD0:ResolutionUnit=2",
    "-Orientation=1", "-ExposureTime=0.004", "-FNumber=2.8", "-ExposureProgram=2", "-ISO=200",
    "-ExifVersion=0230", "-DateTimeOriginal=2024:01:02 03:04:05", "-CreateDate=2024:01:02 03:04:06",
    "-ShutterSpeedValue=7.97", "-ApertureValue=2.97", "-BrightnessValue=-1.5", "-ExposureCompensation=-0.7",
    "-MaxApertureValue=2.8", "-MeteringMode=5", "-LightSource=1", "-ExifIFD:Flash=16", "-FocalLength=35",
    "-SubSecTime=123", "-FlashpixVersion=0100", "-ColorSpace=1", "-ExifImageWidth=64", "-ExifImageHeight=48",
    "-WhiteBalance=0", "-ExposureMode=0", "-DigitalZoomRatio=1.5", "-FocalLengthIn35mmFormat=50",
    "-SceneCaptureType=0", "-Contrast=1", "-Saturation=2", "-Sharpness=0", "-ImageUniqueID=abc",
    "-UserComment=Hé", "-XPTitle=Title", "-GPSVersionID=2 2 0 0", "-GPSLatitude=48.1", "-GPSLatitudeRef=N",
    "-GPSLongitude=11.5", "-GPSLongitudeRef=E", "-GPSAltitude=520", "-GPSAltitudeRef=0",
    "-GPSTimeStamp=10:20:30", "-GPSDateStamp=2024:01:02", "-GPSMapDatum=WGS-84", "-GPSSpeedRef=K",
    "-GPSSpeed=12.5", "-XMP-dc:Title=xmp title",
};

// The tags compared between exiftool's file and ours.
const char* const kCompared[] = {
    "IFD0:ImageDescription", "IFD0:Make", "IFD0:Model", "IFD0:Orientation", "IFD0:XResolution",
    "IFD0:YResolution", "IFD0:ResolutionUnit", "IFD0:Software", "IFD0:ModifyDate", "IFD0:Artist",
    "IFD0:Copyright", "IFD0:XPTitle", "IFD0:YCbCrPositioning", "ExposureTime", "FNumber", "ExposureProgram",
    "ISO", "ExifVersion", "DateTimeOriginal", "CreateDate", "ShutterSpeedValue", "ApertureValue",
    "BrightnessValue", "ExposureCompensation", "MaxApertureValue", "MeteringMode", "LightSource",
    "ExifIFD:Flash", "FocalLength", "UserComment", "SubSecTime", "FlashpixVersion", "ColorSpace",
    "ExifImageWidth", "ExifImageHeight", "ExposureMode", "WhiteBalance", "DigitalZoomRatio",
    "FocalLengthIn35mmFormat", "SceneCaptureType", "Contrast", "Saturation", "Sharpness", "ImageUniqueID",
    "GPSVersionID", "GPSLatitudeRef", "GPSLatitude", "GPSLongitudeRef", "GPSLongitude", "GPSAltitudeRef",
    "GPSAltitude", "GPSTimeStamp", "GPSSpeedRef", "GPSSpeed", "GPSMapDatum", "GPSDateStamp", "XMP-dc:Title",
};

std::string Quote(const std::string& S) { return "'" + S + "'"; }

std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> out(1);
  for (char c : S) {
    if (c == Sep)
      out.emplace_back();
    else if (c != '\n')
      out.back() += c;
  }
  return out;
}

// exiftool's values of the compared tags, in their order ("-" when absent).
std::vector<std::string> ExiftoolValues(const std::string& File) {
  std::string cmd = "exiftool -n -T";
  for (const char* t : kCompared) cmd += std::string(" -") + t;
  return Split(Capture(cmd + " " + Quote(File)), '\t');
}

// Numbers equal to the precision a rational holds; texts exactly.
bool SameValue(const std::string& A, const std::string& B) {
  char* endA = nullptr;
  char* endB = nullptr;
  const double a = std::strtod(A.c_str(), &endA), b = std::strtod(B.c_str(), &endB);
  if (!A.empty() && !B.empty() && *endA == 0 && *endB == 0)
    return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(a));
  return A == B;
}

class ExifJpeg : public ::testing::Test {
 protected:
  void SetUp() override {
    IEBuildFormatRegistry();
    ASSERT_TRUE(HaveTool("exiftool"));
    ASSERT_TRUE(HaveTool("convert"));
  }
  void TearDown() override { IEFreeFormatRegistry(); }

  // An upright photo as a JPEG made by ImageMagick.
  std::string MakeJpeg(const std::string& Name, Integer W = 64, Integer H = 48) {
    TIEBitmap b;
    MakePhoto(b, W, H);
    const std::string ppm = dir.File(Name + ".ppm"), jpg = dir.File(Name);
    EXPECT_TRUE(gt_test::WritePnm(ppm, b));
    EXPECT_EQ(Shell("convert " + Quote(ppm) + " -quality 95 " + Quote(jpg)), 0);
    return jpg;
  }
  std::string MakeFixture() {
    const std::string jpg = MakeJpeg("camera.jpg");
    std::string cmd = "exiftool -q -q -overwrite_original -n";
    for (const char* a : kFixtureArgs) cmd += " " + Quote(a);
    EXPECT_EQ(Shell(cmd + " " + Quote(jpg)), 0);
    return jpg;
  }

  io_test::TempDir dir;
};

TEST_F(ExifJpeg, ExiftoolFixtureReadsFieldByField) {
  const std::string jpg = MakeFixture();
  TZiduzUvIO io(nullptr);
  io.LoadFromFile(Utf8ToWide(jpg));
  ASSERT_FALSE(io.Aborting());
  const TIOParamsVals& p = io.Params();
  EXPECT_TRUE(p.EXIF_HASEXIF);
  struct TText {
    const char* Name;
    AnsiString Got, Want;
  };
  const TText texts[] = {
      {"Make", p.EXIF_MAKE, "Cam"},
      {"Model", p.EXIF_MODEL, "M1"},
      {"Software", p.EXIF_SOFTWARE, "Sw"},
      {"Artist", p.EXIF_ARTIST, "Ar"},
      {"Copyright", p.EXIF_COPYRIGHT, "Co"},
      {"DateTime", p.EXIF_DATETIME, "2024:01:02 03:04:05"},
      {"ImageDescription", p.EXIF_IMAGEDESCRIPTION, "Desc"},
      {"ExifVersion", p.EXIF_EXIFVERSION, "0230"},
      {"FlashpixVersion", p.EXIF_FLASHPIXVERSION, "0100"},
      {"DateTimeOriginal", p.EXIF_DATETIMEORIGINAL, "2024:01:02 03:04:05"},
      {"DateTimeDigitized", p.EXIF_DATETIMEDIGITIZED, "2024:01:02 03:04:06"},
      {"SubSecTime", p.EXIF_SUBSECTIME, "123"},
      {"ImageUniqueID", p.EXIF_IMAGEUNIQUEID, "abc"},
      {"UserCommentCode", p.EXIF_USERCOMMENTCODE, AnsiString("UNICODE\0", 8)},
      {"GPSVersionID", p.EXIF_GPSVERSIONID, "2.2.0.0"},
      // References keep the NUL of their two stored bytes.
      {"GPSLatitudeRef", p.EXIF_GPSLATITUDEREF, AnsiString("N\0", 2)},
      {"GPSLongitudeRef", p.EXIF_GPSLONGITUDEREF, AnsiString("E\0", 2)},
      {"GPSSpeedRef", p.EXIF_GPSSPEEDREF, AnsiString("K\0", 2)},
      {"GPSAltitudeRef", p.EXIF_GPSALTITUDEREF, "0"},
      {"GPSMapDatum", p.EXIF_GPSMAPDATUM, "WGS-84"},
      {"GPSDateStamp", p.EXIF_GPSDATESTAMP, "2024:01:02"},
  };
  for (const TText& t : texts) EXPECT_EQ(t.Got, t.Want) << t.Name;
  struct TNumber {
    const char* Name;
    Double Got, Want;
  };
  const TNumber numbers[] = {
      {"XResolution", p.EXIF_XRESOLUTION, 300},
      {"DPIX", Double(p.DPIX), 300},
      {"ExposureTime", p.EXIF_EXPOSURETIME, 0.004},
      {"FNumber", p.EXIF_FNUMBER, 2.8},
      {"ExposureProgram", Double(p.EXIF_EXPOSUREPROGRAM), 2},
      {"ISO", Double(p.EXIF_ISOSPEEDRATINGS[0]), 200},
      // exiftool takes these as seconds and an F-number and stores APEX
      // values; the shutter speed of a 7.97 s exposure is negative.
      {"ShutterSpeedValue", p.EXIF_SHUTTERSPEEDVALUE, -std::log2(7.97)},
      {"ApertureValue", p.EXIF_APERTUREVALUE, 2 * std::log2(2.97)},
      // Signed rationals: a negative bias must not come back as 4e9.
      {"BrightnessValue", p.EXIF_BRIGHTNESSVALUE, -1.5},
      {"ExposureBiasValue", p.EXIF_EXPOSUREBIASVALUE, -0.7},
      {"MaxApertureValue", p.EXIF_MAXAPERTUREVALUE, 2 * std::log2(2.8)},
      {"MeteringMode", Double(p.EXIF_METERINGMODE), 5},
      {"LightSource", Double(p.EXIF_LIGHTSOURCE), 1},
      {"Flash", Double(p.EXIF_FLASH), 16},
      {"FocalLength", p.EXIF_FOCALLENGTH, 35},
      {"ColorSpace", Double(p.EXIF_COLORSPACE), 1},
      {"ExifImageWidth", Double(p.EXIF_EXIFIMAGEWIDTH), 64},
      {"ExifImageHeight", Double(p.EXIF_EXIFIMAGEHEIGHT), 48},
      {"WhiteBalance", Double(p.EXIF_WHITEBALANCE), 0},
      {"ExposureMode", Double(p.EXIF_EXPOSUREMODE), 0},
      {"DigitalZoomRatio", p.EXIF_DIGITALZOOMRATIO, 1.5},
      {"FocalLengthIn35mmFilm", Double(p.EXIF_FOCALLENGTHIN35MMFILM), 50},
      {"Contrast", Double(p.EXIF_CONTRAST), 1},
      {"Saturation", Double(p.EXIF_SATURATION), 2},
      {"Sharpness", Double(p.EXIF_SHARPNESS), 0},
      {"YCbCrPositioning", Double(p.EXIF_YCBCRPOSITIONING), 1},
      {"Orientation", Double(p.EXIF_ORIENTATION), 1},
      {"GPSLatitudeDegrees", p.EXIF_GPSLATITUDEDEGREES, 48},
      {"GPSLatitudeMinutes", p.EXIF_GPSLATITUDEMINUTES, 6},
      {"GPSLongitudeDegrees", p.EXIF_GPSLONGITUDEDEGREES, 11},
      {"GPSLongitudeMinutes", p.EXIF_GPSLONGITUDEMINUTES, 30},
      {"GPSAltitude", p.EXIF_GPSALTITUDE, 520},
      {"GPSTimeStampHour", p.EXIF_GPSTIMESTAMPHOUR, 10},
      {"GPSTimeStampMinute", p.EXIF_GPSTIMESTAMPMINUTE, 20},
      {"GPSTimeStampSecond", p.EXIF_GPSTIMESTAMPSECOND, 30},
      {"GPSSpeed", p.EXIF_GPSSPEED, 12.5},
  };
  for (const TNumber& n : numbers) EXPECT_NEAR(n.Got, n.Want, 1e-6) << n.Name;
  // A big-endian UNICODE comment whose last code unit has a 0 byte: every
  // character survives.
  EXPECT_EQ(p.EXIF_USERCOMMENT, u"H\u00e9");
  EXPECT_EQ(p.EXIF_XPTITLE, u"Title");
  EXPECT_NE(p.XMP_INFO.find("xmp title"), std::string::npos);
}

TEST_F(ExifJpeg, SavedFileReadsBackAsExiftoolWroteIt) {
  const std::string jpg = MakeFixture(), ours = dir.File("ours.jpg");
  TZiduzUvIO io(nullptr);
  io.LoadFromFile(Utf8ToWide(jpg));
  ASSERT_FALSE(io.Aborting());
  io.SaveToFile(Utf8ToWide(ours));
  ASSERT_FALSE(io.Aborting());

  const std::vector<std::string> want = ExiftoolValues(jpg), got = ExiftoolValues(ours);
  ASSERT_EQ(want.size(), std::size(kCompared));
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NE(want[i], "-") << kCompared[i] << " is in the fixture";
    EXPECT_TRUE(SameValue(got[i], want[i])) << kCompared[i] << ": ours " << got[i] << ", exiftool's " << want[i];
  }
  // No warning of our making: ours may warn only where the fixture does.
  const std::string theirs = Capture("exiftool -q -validate -warning -a -s3 " + Quote(jpg) + " 2>&1");
  for (const std::string& w : Split(Capture("exiftool -q -validate -warning -a -s3 " + Quote(ours) + " 2>&1"), '\n'))
    if (!w.empty()) {
      EXPECT_NE(theirs.find(w), std::string::npos) << "new warning: " << w;
    }
  // And the saved file loads with the same fields again.
  TZiduzUvIO again(nullptr);
  again.LoadFromFile(Utf8ToWide(ours));
  ASSERT_FALSE(again.Aborting());
  EXPECT_TRUE(static_cast<const TIEEXIFFields&>(again.Params()) == static_cast<const TIEEXIFFields&>(io.Params()));
  EXPECT_TRUE(static_cast<const TIEGPSFields&>(again.Params()) == static_cast<const TIEGPSFields&>(io.Params()));
}

// Orientations 2-8 as a camera stores them load upright when asked, equal to
// ImageMagick's -auto-orient of the same file.
TEST_F(ExifJpeg, OrientationLoadsUprightLikeAutoOrient) {
  const std::string upright = MakeJpeg("upright.jpg", 40, 24);
  for (Integer n = 2; n <= 8; ++n) {
    SCOPED_TRACE("orientation " + std::to_string(n));
    const std::string jpg = dir.File("o" + std::to_string(n) + ".jpg"), ppm = jpg + ".ppm";
    ASSERT_EQ(Shell("cp " + Quote(upright) + " " + Quote(jpg) + " && exiftool -q -q -overwrite_original -Orientation#=" +
                    std::to_string(n) + " " + Quote(jpg)),
              0);
    ASSERT_EQ(Shell("convert " + Quote(jpg) + " -auto-orient " + Quote(ppm)), 0);
    gt_test::Pnm want;
    ASSERT_TRUE(gt_test::ReadPnm(ppm, want));

    TZiduzUvIO plain(nullptr);
    plain.LoadFromFile(Utf8ToWide(jpg));
    ASSERT_FALSE(plain.Aborting());
    EXPECT_EQ(plain.Params().EXIF_ORIENTATION, n) << "the stored value without adjusting";
    EXPECT_EQ(plain.IEBitmap()->Width(), 40);

    TZiduzUvIO io(nullptr);
    io.Params().SetEnableAdjustOrientation(true);
    io.LoadFromFile(Utf8ToWide(jpg));
    ASSERT_FALSE(io.Aborting());
    // Once turned, the pixels are upright and a save must not turn them again.
    EXPECT_EQ(io.Params().EXIF_ORIENTATION, 1);
    TIEBitmap* b = io.IEBitmap();
    ASSERT_EQ(b->Width(), want.Width);
    ASSERT_EQ(b->Height(), want.Height);
    Integer worst = 0;
    for (Integer y = 0; y < b->Height(); ++y) {
      const Byte* r = static_cast<const Byte*>(b->GetScanline(y));
      for (Integer x = 0; x < b->Width(); ++x)
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(r[3 * x + 2 - k] - want.At(x, y, k)));
    }
    EXPECT_LE(worst, 2);
  }
}

// A thumbnail exiftool puts into a camera file is what a thumbnail request
// loads (the old-style JPEG of the EXIF block's second directory).
TEST_F(ExifJpeg, ExiftoolThumbnailLoadsOnRequest) {
  const std::string jpg = MakeFixture(), thumb = MakeJpeg("thumb.jpg", 32, 24);
  ASSERT_EQ(Shell("exiftool -q -q -overwrite_original '-ThumbnailImage<=" + thumb + "' " + Quote(jpg)), 0);
  TZiduzUvIO io(nullptr);
  io.Params().SetJPEGGetExifThumbnail(true);
  io.LoadFromFile(Utf8ToWide(jpg));
  ASSERT_FALSE(io.Aborting());
  TIEBitmap* b = io.IEBitmap();
  ASSERT_EQ(b->Width(), 32);
  ASSERT_EQ(b->Height(), 24);
  TIEBitmap want;
  MakePhoto(want, 32, 24);
  int64_t diff = 0;
  for (Integer y = 0; y < 24; ++y)
    for (Integer i = 0; i < 96; ++i)
      diff += std::abs(static_cast<const Byte*>(want.GetScanline(y))[i] - static_cast<const Byte*>(b->GetScanline(y))[i]);
  EXPECT_LT(diff / (96 * 24), 6);
}

// --- blocks built and parsed in memory ------------------------------------------

TEST(ExifBlock, UserCommentsKeepEveryCharacter) {
  struct TCase {
    AnsiString Code;
    WideString Text;
    AnsiString CodeBack;
  };
  const TCase cases[] = {
      {"", u"Hi", AnsiString("UNICODE\0", 8)},
      {AnsiString("UNICODE\0", 8), u"caf\u00e9 \u20ac!", AnsiString("UNICODE\0", 8)},
      {AnsiString("ASCII\0\0\0", 8), u"plain text", AnsiString("ASCII\0\0\0", 8)},
  };
  for (const TCase& c : cases) {
    TIOParamsVals p(nullptr);
    p.EXIF_HASEXIF = true;
    p.EXIF_USERCOMMENTCODE = c.Code;
    p.EXIF_USERCOMMENT = c.Text;
    std::vector<Byte> block;
    ASSERT_TRUE(IESaveEXIFToBuffer(p, block, true));
    ASSERT_GE(block.size(), 8u);
    EXPECT_EQ(std::string(block.begin(), block.begin() + 6), std::string("Exif\0\0", 6));
    EXPECT_EQ(std::string(block.begin() + 6, block.begin() + 8), "II");
    TIOParamsVals back(nullptr);
    ASSERT_TRUE(IELoadEXIFFromBuffer(block.data(), Integer(block.size()), back));
    EXPECT_TRUE(back.EXIF_HASEXIF);
    EXPECT_EQ(back.EXIF_USERCOMMENT, c.Text);
    EXPECT_EQ(back.EXIF_USERCOMMENTCODE, c.CodeBack);
    EXPECT_TRUE(!back.EXIF_THUMBNAIL || back.EXIF_THUMBNAIL->IsEmpty());
  }
}

TEST(ExifBlock, OnlyMarkedTagsAreWrittenAndSignsSurvive) {
  TIOParamsVals p(nullptr);
  p.EXIF_HASEXIF = true;
  p.EXIF_EXPOSURETIME = 0.5;  // never marked: not written
  p.SetEXIFExposureBiasValue(-0.7);
  p.SetEXIFShutterSpeedValue(-2.25);
  p.SetEXIFFNumber(4);
  p.EXIF_GPSVERSIONID = "";  // no GPS directory
  std::vector<Byte> block;
  ASSERT_TRUE(IESaveEXIFToBuffer(p, block, true));
  TIOParamsVals back(nullptr);
  ASSERT_TRUE(IELoadEXIFFromBuffer(block.data(), Integer(block.size()), back));
  EXPECT_EQ(back.EXIF_EXPOSURETIME, 0.0);
  EXPECT_LT(back.EXIF_TAGSPRESENT.IndexOf(33434), 0);
  EXPECT_GE(back.EXIF_TAGSPRESENT.IndexOf(37380), 0);
  EXPECT_NEAR(back.EXIF_EXPOSUREBIASVALUE, -0.7, 1e-9);
  EXPECT_NEAR(back.EXIF_SHUTTERSPEEDVALUE, -2.25, 1e-9);
  EXPECT_NEAR(back.EXIF_FNUMBER, 4, 1e-9);
  EXPECT_EQ(back.EXIF_GPSVERSIONID, "");
  // Fields that were never marked or set stay at their reset values.
  EXPECT_EQ(back.EXIF_EXPOSUREMODE, -1);
  EXPECT_EQ(back.EXIF_XPRATING, -1);
}

TEST(ExifBlock, SmallThumbnailsRoundTripLargeOnesAreNotReadBack) {
  for (const auto& [w, h, readBack] : {std::tuple{160, 120, true}, std::tuple{640, 480, false}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TIOParamsVals p(nullptr);
    p.EXIF_HASEXIF = true;
    p.EXIF_MAKE = "Cam";
    p.EXIF_THUMBNAIL = std::make_unique<TIEBitmap>();
    MakePhoto(*p.EXIF_THUMBNAIL, w, h);
    std::vector<Byte> block;
    ASSERT_TRUE(IESaveEXIFToBuffer(p, block, true));
    TIOParamsVals back(nullptr);
    ASSERT_TRUE(IELoadEXIFFromBuffer(block.data(), Integer(block.size()), back));
    EXPECT_EQ(back.EXIF_MAKE, "Cam");
    ASSERT_TRUE(back.EXIF_THUMBNAIL);
    if (!readBack) {
      EXPECT_TRUE(back.EXIF_THUMBNAIL->IsEmpty());
      continue;
    }
    ASSERT_EQ(back.EXIF_THUMBNAIL->Width(), w);
    ASSERT_EQ(back.EXIF_THUMBNAIL->Height(), h);
    int64_t diff = 0;
    for (Integer y = 0; y < h; ++y) {
      const Byte* a = static_cast<const Byte*>(p.EXIF_THUMBNAIL->GetScanline(y));
      const Byte* b = static_cast<const Byte*>(back.EXIF_THUMBNAIL->GetScanline(y));
      for (Integer i = 0; i < 3 * w; ++i) diff += std::abs(a[i] - b[i]);
    }
    EXPECT_LT(diff / (3 * w * h), 4) << "JPEG-compressed, close to the original";
  }
}

// Blocks too short, not EXIF, or whose TIFF structure does not parse leave
// the parameters alone; hostile counts inside a parsing block are skipped.
TEST(ExifBlock, HostileBlocksFailCleanly) {
  const std::string tiffHead("II*\0\x08\0\0\0", 8);
  const std::vector<std::string> refused = {
      std::string("Exif\0", 5),
      std::string("Exif\0\0II*", 9),
      std::string("Exif\0\0", 6) + "XX*\0\x08\0\0\0",
      std::string("Exif\0\0", 6) + tiffHead,  // a directory offset past the end
      std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 34),
  };
  for (const std::string& b : refused) {
    TIOParamsVals p(nullptr);
    p.EXIF_MAKE = "kept";
    EXPECT_FALSE(IELoadEXIFFromBuffer(b.data(), Integer(b.size()), p)) << b.size();
    EXPECT_FALSE(p.EXIF_HASEXIF);
    EXPECT_EQ(p.EXIF_MAKE, "kept");
  }
  // A directory whose IPTC, XMP and maker note claim about 4 GB each.
  Bytes tiff = io_test::Cat({io_test::Str(std::string("II*\0\x08\0\0\0", 8))});
  auto entry = [&](Word tag, Word type, Cardinal count, Cardinal value) {
    for (Cardinal v : {Cardinal(tag), Cardinal(type)}) tiff.push_back(Byte(v)), tiff.push_back(Byte(v >> 8));
    for (Cardinal v : {count, value})
      for (int i = 0; i < 4; ++i) tiff.push_back(Byte(v >> (8 * i)));
  };
  tiff.push_back(4), tiff.push_back(0);
  entry(271, 2, 4, 0x00706163);  // Make "cap"
  entry(700, 1, 0xFFFFFFF0u, 8);
  entry(33723, 4, 0x40000001u, 8);
  entry(34665, 4, 1, 8 + 2 + 4 * 12 + 4);
  tiff.insert(tiff.end(), 4, 0);
  // The EXIF directory: a maker note far larger than the data.
  tiff.push_back(1), tiff.push_back(0);
  entry(37500, 7, 0x7FFFFFF0u, 8);
  tiff.insert(tiff.end(), 4, 0);
  const Bytes block = io_test::Cat({io_test::Str(std::string("Exif\0\0", 6)), tiff});
  TIOParamsVals p(nullptr);
  ASSERT_TRUE(IELoadEXIFFromBuffer(block.data(), Integer(block.size()), p));
  EXPECT_TRUE(p.EXIF_HASEXIF);
  EXPECT_EQ(p.EXIF_MAKE, "cap");
  EXPECT_EQ(p.EXIF_MAKERNOTE.RawSize(), 0);
}

TEST(ExifBlock, FindTIFFHeaderBehindACameraHeader) {
  Bytes data(20, 'x');
  const Bytes ii = {'I', 'I', 42, 0, 8, 0, 0, 0};
  data.insert(data.end(), ii.begin(), ii.end());
  data.resize(64, 0);
  // An "MM" candidate whose directory lies past the end comes first.
  const Bytes mm = {'M', 'M', 0, 42, 0x7F, 0, 0, 0};
  std::copy(mm.begin(), mm.end(), data.begin() + 4);
  TMemoryStream s;
  io_test::Fill(s, data, 2);
  EXPECT_EQ(IEFindTIFFHeader(&s), 18);
  EXPECT_EQ(s.Position(), 2);
  io_test::Fill(s, Bytes(7, 'I'));
  EXPECT_EQ(IEFindTIFFHeader(&s), -1);
  EXPECT_EQ(s.Position(), 0);
}

}  // namespace
}  // namespace exif_tests
