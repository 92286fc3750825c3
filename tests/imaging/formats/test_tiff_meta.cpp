// TIFF metadata: EXIF, GPS, IPTC, XMP and ICC tags of TIFF files, read from
// files exiftool and tiffcp made and written so that exiftool and tiffdump
// read them back.
#include <gtest/gtest.h>

#include <string>

#include "formats_test_util.h"
#include "imaging/core/meta/ieiptc.h"
#include "imaging/formats/tiffmeta.h"
#include "imaging/formats/tiffread.h"
#include "imaging/formats/tiffwrite.h"
#include "imaging/io/ieexif.h"

namespace tiff_meta_tests {
namespace {

using namespace fmt_test;

std::string Quote(const std::string& S) { return "'" + S + "'"; }

struct TRead {
  Progress P;
  TIOParamsVals Params{nullptr};
  TIEBitmap Bitmap;
  std::unique_ptr<TIEMask> Mask;
  Integer Count = 0;
};

void ReadFile(TRead& R, const std::string& Path) {
  TMemoryStream s;
  Fill(s, gt_test::ReadFileBytes(Path));
  IEReadTIFF(&R.Bitmap, &s, R.Count, &R.Params, R.P.Rec, false, R.Mask, true, false, false);
}

std::unique_ptr<TIEBitmap> Picture() {
  auto b = std::make_unique<TIEBitmap>(8, 6, ie24RGB);
  for (Integer y = 0; y < 6; ++y) {
    Byte* r = static_cast<Byte*>(b->GetScanline(y));
    for (Integer i = 0; i < 24; ++i) r[i] = Byte(y * 40 + i * 9);
  }
  return b;
}

// A big-endian TIFF with EXIF and GPS directories exiftool wrote reads field
// by field, signs and the UNICODE comment included.
TEST(TiffMeta, ExiftoolTagsOfABigEndianFileRead) {
  ASSERT_TRUE(HaveTool("exiftool"));
  ASSERT_TRUE(HaveTool("tiffcp"));
  ASSERT_TRUE(HaveTool("convert"));
  TempDir dir("tiffmeta");
  const std::string tif = dir.File("mm.tif");
  const std::string le = dir.File("le.tif");
  ASSERT_EQ(Shell("convert -size 8x6 xc:gray -depth 8 -compress none " + Quote(le) + " && tiffcp -B " + Quote(le) +
                  " " + Quote(tif)),
            0);
  ASSERT_EQ(Shell("exiftool -q -q -overwrite_original -n -Make=Cam -Artist=Ar -ExposureCompensation=-0.7 "
                  "-BrightnessValue=-2.5 -ISO=400 -ExifVersion=0231 -UserComment=Hé -ExifIFD:Flash=9 "
                  "'-GPSVersionID=2 2 0 0' -GPSLatitude=1.5 -GPSLatitudeRef=S -GPSAltitudeRef=1 "
                  "-GPSDestLongitudeRef=W -GPSDestLatitudeRef=N -XPAuthor=Me -XMP-dc:Title=xt " +
                  Quote(tif)),
            0);
  TRead r;
  ReadFile(r, tif);
  ASSERT_FALSE(r.P.Aborting.load());
  const TIOParamsVals& p = r.Params;
  EXPECT_EQ(p.TIFF_BYTEORDER, 0);
  EXPECT_TRUE(p.EXIF_HASEXIF);
  EXPECT_EQ(p.EXIF_MAKE, "Cam");
  EXPECT_EQ(p.EXIF_ARTIST, "Ar");
  EXPECT_NEAR(p.EXIF_EXPOSUREBIASVALUE, -0.7, 1e-9);
  EXPECT_NEAR(p.EXIF_BRIGHTNESSVALUE, -2.5, 1e-9);
  EXPECT_EQ(p.EXIF_ISOSPEEDRATINGS[0], 400);
  EXPECT_EQ(p.EXIF_EXIFVERSION, "0231");
  EXPECT_EQ(p.EXIF_FLASH, 9);
  EXPECT_EQ(p.EXIF_USERCOMMENT, u"H\u00e9");
  EXPECT_EQ(p.EXIF_XPAUTHOR, u"Me");
  EXPECT_EQ(p.EXIF_GPSVERSIONID, "2.2.0.0");
  EXPECT_EQ(p.EXIF_GPSLATITUDEREF, AnsiString("S\0", 2));
  EXPECT_NEAR(p.EXIF_GPSLATITUDEDEGREES + p.EXIF_GPSLATITUDEMINUTES / 60, 1.5, 1e-9);
  EXPECT_EQ(p.EXIF_GPSALTITUDEREF, "1");
  // Tag 21 lands in its own key and leaves tag 19's alone.
  EXPECT_EQ(p.EXIF_GPSDESTLONGITUDEREF, AnsiString("W\0", 2));
  EXPECT_EQ(p.EXIF_GPSDESTLATITUDEREF, AnsiString("N\0", 2));
  EXPECT_NE(p.XMP_INFO.find("xt"), std::string::npos);
}

// A file without an EXIF directory leaves EXIF_HASEXIF false and the EXIF
// numbers at 0.
TEST(TiffMeta, NoExifDirectoryNoExif) {
  TIOParamsVals w(nullptr);
  Progress wp;
  TMemoryStream s;
  auto pic = Picture();
  IEWriteTIFF(&s, false, pic.get(), w, wp.Rec);
  ASSERT_FALSE(wp.Aborting.load());
  TRead r;
  r.Params.SetEXIFExposureTime(3);
  s.SetPosition(0);
  IEReadTIFF(&r.Bitmap, &s, r.Count, &r.Params, r.P.Rec, true, r.Mask, true, false, false);
  EXPECT_FALSE(r.Params.EXIF_HASEXIF);
  EXPECT_EQ(r.Params.EXIF_EXPOSURETIME, 0.0);
  EXPECT_EQ(r.Params.EXIF_TAGSPRESENT.Count(), 0);
}

// What we write with EXIF, GPS, IPTC and XMP, exiftool reads; our reader
// gives the same fields back; tiffdump shows the IPTC block as whole LONGs.
TEST(TiffMeta, WrittenMetadataReadsBackEverywhere) {
  ASSERT_TRUE(HaveTool("exiftool"));
  ASSERT_TRUE(HaveTool("tiffdump"));
  TempDir dir("tiffmeta");
  const std::string tif = dir.File("ours.tif");
  TIOParamsVals w(nullptr);
  w.EXIF_HASEXIF = true;
  w.EXIF_MAKE = "Maker";
  w.EXIF_MODEL = "Model 7";
  w.EXIF_IMAGEDESCRIPTION = "described";
  w.SetEXIFXResolution(240);
  w.SetEXIFYResolution(240);
  w.EXIF_EXIFVERSION = "0230";
  w.EXIF_FLASHPIXVERSION = "0100";
  w.SetEXIFColorSpace(1);
  w.SetEXIFExposureBiasValue(-1.3);
  w.SetEXIFExposureTime(0.01);
  w.SetEXIFISOSpeedRating(0, 800);
  w.EXIF_USERCOMMENT = u"Hi";
  w.EXIF_GPSVERSIONID = "2.2.0.0";
  w.EXIF_GPSLATITUDEREF = "N";
  w.EXIF_GPSLATITUDEDEGREES = 48;
  w.EXIF_GPSLATITUDEMINUTES = 30;
  w.EXIF_GPSALTITUDEREF = "0";
  w.EXIF_GPSALTITUDE = 12.5;
  w.XMP_INFO =
      "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'/>"
      "<?xpacket end='w'?>";
  // A block that is not a whole number of LONGs: it is padded to the count
  // it claims.
  std::string name = "abcdefg";
  std::vector<Byte> iptc;
  for (;; name += 'h') {
    w.IPTC_LIST.Clear();
    w.IPTC_LIST.AddStringItem(2, 5, name);
    w.IPTC_LIST.SaveToBuffer(iptc, false);
    if (iptc.size() % 4 != 0) break;
  }
  const std::string longs = std::to_string((iptc.size() + 3) / 4);
  Progress wp;
  TMemoryStream s;
  auto pic = Picture();
  IEWriteTIFF(&s, false, pic.get(), w, wp.Rec);
  ASSERT_FALSE(wp.Aborting.load());
  gt_test::WriteFileBytes(tif, Contents(s));

  const std::string out = Capture("exiftool -n -T -Make -Model -ImageDescription -IFD0:XResolution "
                                  "-ExposureCompensation -ExposureTime -ISO -ExifVersion -UserComment "
                                  "-GPSVersionID -GPSLatitudeRef -GPSLatitude -GPSAltitude -ObjectName " +
                                  Quote(tif));
  EXPECT_EQ(out, "Maker\tModel 7\tdescribed\t240\t-1.3\t0.01\t800\t0230\tHi\t2 2 0 0\tN\t48.5\t12.5\t" + name + "\n");
  // The one warning allowed is for a GPS tag the parameters have no field
  // for.
  std::istringstream validate(Capture("exiftool -q -validate -warning -a -s3 " + Quote(tif) + " 2>&1"));
  for (std::string l; std::getline(validate, l);)
    EXPECT_TRUE(l.find("GPSProcessingMethod") != std::string::npos || l == "1 Warning") << l;
  const std::string dump = Capture("tiffdump " + Quote(tif));
  EXPECT_NE(dump.find("33723 (0x83bb) LONG (4) " + longs + "<"), std::string::npos) << dump;

  TRead r;
  ReadFile(r, tif);
  ASSERT_FALSE(r.P.Aborting.load());
  const TIOParamsVals& p = r.Params;
  EXPECT_EQ(p.EXIF_MAKE, "Maker");
  EXPECT_NEAR(p.EXIF_EXPOSUREBIASVALUE, -1.3, 1e-9);
  EXPECT_EQ(p.EXIF_USERCOMMENT, u"Hi");
  EXPECT_EQ(p.EXIF_GPSLATITUDEREF, AnsiString("N\0", 2));
  EXPECT_EQ(p.EXIF_GPSVERSIONID, "2.2.0.0");
  EXPECT_EQ(p.XMP_INFO, w.XMP_INFO);
  const Integer at = p.IPTC_LIST.IndexOf(2, 5);
  ASSERT_GE(at, 0);
  EXPECT_EQ(p.IPTC_LIST.GetStringItem(at), WideString(name.begin(), name.end()));
}

// UserComment: 8 bytes or fewer give the UNICODE code and no text; UTF-16
// follows the file's byte order; trailing zero characters go.
TEST(TiffMeta, UserCommentDecoding) {
  struct TCase {
    std::string Raw;
    bool Little;
    AnsiString Code;
    WideString Text;
  };
  const TCase cases[] = {
      {std::string("UNICODE\0", 8), true, AnsiString("UNICODE\0", 8), u""},
      {std::string("ASCII\0\0", 7), true, AnsiString("UNICODE\0", 8), u""},
      {std::string("UNICODE\0H\0i\0", 12), true, AnsiString("UNICODE\0", 8), u"Hi"},
      {std::string("UNICODE\0\0H\0i", 12), false, AnsiString("UNICODE\0", 8), u"Hi"},
      {std::string("UNICODE\0H\0i\0\0\0", 14), true, AnsiString("UNICODE\0", 8), u"Hi"},
      {std::string("ASCII\0\0\0text\0", 13), true, AnsiString("ASCII\0\0\0", 8), u"text"},
      {std::string("JIS\0\0\0\0\0ab", 10), false, AnsiString("JIS\0\0\0\0\0", 8), u"ab"},
  };
  for (const TCase& c : cases) {
    AnsiString code;
    WideString text;
    TIFFDecodeUserComment(reinterpret_cast<const Byte*>(c.Raw.data()), c.Raw.size(), c.Little, code, text);
    EXPECT_EQ(code, c.Code) << c.Raw.size();
    EXPECT_EQ(text, c.Text) << c.Raw.size();
  }
}


// EXIF injected into a written TIFF: exiftool finds the tags, the picture is
// still there, and the answer says whether anything was written.
TEST(TiffMeta, InjectedExifReadsBackAndTheAnswerIsTrue) {
  ASSERT_TRUE(HaveTool("exiftool"));
  TempDir dir("tiffmeta");
  auto pic = Picture();
  TIOParamsVals plain(nullptr);
  Progress wp;
  TMemoryStream s;
  IEWriteTIFF(&s, false, pic.get(), plain, wp.Rec);
  ASSERT_FALSE(wp.Aborting.load());
  const Bytes before = Contents(s);

  TIOParamsVals p(nullptr);
  p.EXIF_MAKE = "Injected";
  p.SetEXIFExposureBiasValue(-0.3);
  p.EXIF_GPSVERSIONID = "2.2.0.0";
  p.EXIF_GPSLATITUDEREF = "S";
  s.SetPosition(0);
  ASSERT_TRUE(IEInjectEXIFTags(&s, &s, u"", u"", 0, p));
  const std::string tif = dir.File("injected.tif");
  gt_test::WriteFileBytes(tif, Contents(s));
  EXPECT_EQ(Capture("exiftool -n -T -Make -ExposureCompensation -GPSLatitudeRef " + Quote(tif)), "Injected\t-0.3\tS\n");
  TRead r;
  ReadFile(r, tif);
  ASSERT_FALSE(r.P.Aborting.load());
  EXPECT_EQ(r.Params.EXIF_MAKE, "Injected");
  EXPECT_EQ(ToRgb(&r.Bitmap), ToRgb(pic.get()));

  // Nothing to copy into a big-endian file: false, and the stream is as it
  // was. (HD Photo containers take the tags: test_hdphoto.cpp.)
  Bytes mm = before;
  mm[0] = mm[1] = 'M';
  TMemoryStream t;
  Fill(t, mm);
  EXPECT_FALSE(IEInjectEXIFTags(&t, &t, u"", u"", 0, p));
  EXPECT_EQ(Contents(t), mm);
}

}  // namespace
}  // namespace tiff_meta_tests
