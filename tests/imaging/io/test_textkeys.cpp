// Named access to the parameter record: every key round-trips through text and
// reaches its own field (and only the fields its setter links to it), values
// parse the same under every locale, and odd keys and values fail softly.
#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "imaging/io/ioparams.h"
#include "platform/base/dateutils.h"
#include "platform/base/strutils.h"

namespace textkeys_tests {
namespace {

// Kinds: i Integer, b Byte, o Boolean, d Double, c colour, s 8-bit text,
// w wide text, t date, r read only, x the colour-map item.
struct KeyCase {
  const char* Key;
  char Kind;
  const char* Also = "";  // keys a setter writes together with this one
  bool Marks = false;     // sets an EXIF tag present
};

const char* const kIndexes = "IMAGEINDEX TIFF_IMAGEINDEX DCX_IMAGEINDEX GIF_IMAGEINDEX ICO_IMAGEINDEX CUR_IMAGEINDEX";

const KeyCase kKeys[] = {
    {"FILENAME", 'r'}, {"FILETYPESTR", 'r'}, {"FILETYPE", 'r'}, {"BITSPERSAMPLE", 'i'},
    {"SAMPLESPERPIXEL", 'i'}, {"WIDTH", 'i'}, {"HEIGHT", 'i'},
    {"DPIX", 'i', "EXIF_XRESOLUTION"}, {"DPIY", 'i', "EXIF_YRESOLUTION"}, {"COLORMAPITEM", 'x'},
    {"COLORMAPCOUNT", 'r'}, {"ISNATIVEPIXELFORMAT", 'o'},
    {"ENABLEADJUSTORIENTATION", 'o', "TIFF_ENABLEADJUSTORIENTATION JPEG_ENABLEADJUSTORIENTATION"},
    {"ORIGINALWIDTH", 'i', "JPEG_ORIGINALWIDTH"}, {"ORIGINALHEIGHT", 'i', "JPEG_ORIGINALHEIGHT"},
    {"IMAGEINDEX", 'i', kIndexes}, {"IMAGECOUNT", 'i', "TIFF_IMAGECOUNT GIF_IMAGECOUNT MEDIAFILE_FRAMECOUNT"},
    {"GETTHUMBNAIL", 'o', "JPEG_GETEXIFTHUMBNAIL RAW_GETEXIFTHUMBNAIL"},
    // TIFF
    {"TIFF_COMPRESSION", 'b'}, {"TIFF_IMAGEINDEX", 'i', kIndexes}, {"TIFF_SUBINDEX", 'i'}, {"TIFF_IMAGECOUNT", 'r'},
    {"TIFF_JPEGQUALITY", 'i'}, {"TIFF_ZIPCOMPRESSION", 'i'}, {"TIFF_PHOTOMETINTEPRET", 'b'},
    {"TIFF_PLANARCONF", 'i'}, {"TIFF_XPOS", 'i'}, {"TIFF_YPOS", 'i'}, {"TIFF_GETTILE", 'i'},
    {"TIFF_DOCUMENTNAME", 's'}, {"TIFF_IMAGEDESCRIPTION", 's'}, {"TIFF_PAGENAME", 's'}, {"TIFF_PAGENUMBER", 'i'},
    {"TIFF_PAGECOUNT", 'i'}, {"TIFF_JPEGCOLORSPACE", 'b'}, {"TIFF_FILLORDER", 'i'},
    {"TIFF_ORIENTATION", 'i', "EXIF_ORIENTATION"}, {"TIFF_ENABLEADJUSTORIENTATION", 'o'}, {"TIFF_BYTEORDER", 'b'},
    {"DCX_IMAGEINDEX", 'i', kIndexes},
    // GIF
    {"GIF_VERSION", 's'}, {"GIF_IMAGEINDEX", 'i', kIndexes}, {"GIF_IMAGECOUNT", 'r'}, {"GIF_XPOS", 'i'},
    {"GIF_YPOS", 'i'}, {"GIF_DELAYTIME", 'i'}, {"GIF_TRANSPARENT", 'o'}, {"GIF_TRANSPCOLOR", 'c'},
    {"GIF_INTERLACED", 'o'}, {"GIF_WINWIDTH", 'i'}, {"GIF_WINHEIGHT", 'i'}, {"GIF_BACKGROUND", 'c'},
    {"GIF_RATIO", 'i'},
    // JPEG
    {"JPEG_COLORSPACE", 'b'}, {"JPEG_QUALITY", 'i'}, {"JPEG_DCTMETHOD", 'b'}, {"JPEG_OPTIMALHUFFMAN", 'o'},
    {"JPEG_SMOOTH", 'i'}, {"JPEG_PROGRESSIVE", 'o'}, {"JPEG_SCALE_USED", 'i'}, {"JPEG_SCALE", 'b'},
    {"JPEG_ENABLEADJUSTORIENTATION", 'o'}, {"JPEG_GETEXIFTHUMBNAIL", 'o', "GETTHUMBNAIL"},
    {"JPEG_WARNINGTOT", 'i'}, {"JPEG_WARNINGCODE", 'i'}, {"JPEG_ORIGINALWIDTH", 'i', "ORIGINALWIDTH"},
    {"JPEG_ORIGINALHEIGHT", 'i', "ORIGINALHEIGHT"}, {"JPEG_CROMASUBSAMPLING", 'b'},
    // PCX, BMP, raw, ICO, CUR
    {"PCX_VERSION", 'i'}, {"PCX_COMPRESSION", 'b'}, {"BMP_VERSION", 'b'}, {"BMP_COMPRESSION", 'b'},
    {"BMP_HANDLETRANSPARENCY", 'o'}, {"BMPRAW_CHANNELORDER", 'b'}, {"BMPRAW_PLANES", 'b'},
    {"BMPRAW_ROWALIGN", 'i'}, {"BMPRAW_HEADERSIZE", 'i'}, {"BMPRAW_DATAFORMAT", 'b'},
    {"ICO_IMAGEINDEX", 'i', kIndexes}, {"ICO_BACKGROUND", 'c'}, {"CUR_IMAGEINDEX", 'i', kIndexes},
    {"CUR_XHOTSPOT", 'i'}, {"CUR_YHOTSPOT", 'i'}, {"CUR_BACKGROUND", 'c'},
    // PNG, PSD, HD Photo
    {"PNG_INTERLACED", 'o'}, {"PNG_BACKGROUND", 'c'}, {"PNG_FILTER", 'b'}, {"PNG_COMPRESSION", 'i'},
    {"PSD_LOADLAYERS", 'o'}, {"PSD_REPLACELAYERS", 'o'}, {"PSD_HASPREMULTIPLIEDALPHA", 'r'},
    {"HDP_IMAGEQUALITY", 'd'}, {"HDP_LOSSLESS", 'o'},
    // TGA
    {"TGA_XPOS", 'i'}, {"TGA_YPOS", 'i'}, {"TGA_COMPRESSED", 'o'}, {"TGA_DESCRIPTOR", 's'}, {"TGA_AUTHOR", 's'},
    {"TGA_DATE", 't'}, {"TGA_IMAGENAME", 's'}, {"TGA_BACKGROUND", 'c'}, {"TGA_ASPECTRATIO", 'd'},
    {"TGA_GAMMA", 'd'}, {"TGA_GRAYLEVEL", 'o'},
    // JPEG 2000, PostScript, PDF
    {"J2000_COLORSPACE", 'b'}, {"J2000_RATE", 'd'}, {"J2000_SCALABLEBY", 'b'},
    {"PS_PAPERWIDTH", 'i'}, {"PS_PAPERHEIGHT", 'i'}, {"PS_COMPRESSION", 'b'}, {"PS_TITLE", 's'},
    {"PDF_PAPERWIDTH", 'i'}, {"PDF_PAPERHEIGHT", 'i'}, {"PDF_COMPRESSION", 'b'}, {"PDF_TITLE", 's'},
    {"PDF_AUTHOR", 's'}, {"PDF_SUBJECT", 's'}, {"PDF_KEYWORDS", 's'}, {"PDF_CREATOR", 's'}, {"PDF_PRODUCER", 's'},
    // EXIF
    {"EXIF_HASEXIF", 'o'}, {"EXIF_IMAGEDESCRIPTION", 's'}, {"EXIF_MAKE", 's'}, {"EXIF_MODEL", 's'},
    {"EXIF_ORIENTATION", 'i', "TIFF_ORIENTATION"}, {"EXIF_XRESOLUTION", 'd', "DPIX"},
    {"EXIF_YRESOLUTION", 'd', "DPIY"}, {"EXIF_RESOLUTIONUNIT", 'i'}, {"EXIF_SOFTWARE", 's'},
    {"EXIF_DATETIME", 's'}, {"EXIF_COPYRIGHT", 's'}, {"EXIF_EXPOSURETIME", 'd', "", true},
    {"EXIF_FNUMBER", 'd', "", true}, {"EXIF_EXPOSUREPROGRAM", 'i', "", true}, {"EXIF_EXIFVERSION", 's'},
    {"EXIF_DATETIMEORIGINAL", 's'}, {"EXIF_DATETIMEDIGITIZED", 's'},
    {"EXIF_COMPRESSEDBITSPERPIXEL", 'd', "", true}, {"EXIF_SHUTTERSPEEDVALUE", 'd', "", true},
    {"EXIF_APERTUREVALUE", 'd', "", true}, {"EXIF_BRIGHTNESSVALUE", 'd', "", true},
    {"EXIF_EXPOSUREBIASVALUE", 'd', "", true}, {"EXIF_MAXAPERTUREVALUE", 'd', "", true},
    {"EXIF_SUBJECTDISTANCE", 'd', "", true}, {"EXIF_METERINGMODE", 'i', "", true},
    {"EXIF_LIGHTSOURCE", 'i', "", true}, {"EXIF_FLASH", 'i', "", true}, {"EXIF_FOCALLENGTH", 'd', "", true},
    {"EXIF_SUBSECTIME", 's'}, {"EXIF_SUBSECTIMEORIGINAL", 's'}, {"EXIF_SUBSECTIMEDIGITIZED", 's'},
    {"EXIF_FLASHPIXVERSION", 's'}, {"EXIF_COLORSPACE", 'i', "", true}, {"EXIF_EXIFIMAGEWIDTH", 'i', "", true},
    {"EXIF_EXIFIMAGEHEIGHT", 'i', "", true}, {"EXIF_RELATEDSOUNDFILE", 's'},
    {"EXIF_FOCALPLANEXRESOLUTION", 'd', "", true}, {"EXIF_FOCALPLANEYRESOLUTION", 'd', "", true},
    {"EXIF_FOCALPLANERESOLUTIONUNIT", 'i', "", true}, {"EXIF_EXPOSUREINDEX", 'd', "", true},
    {"EXIF_SENSINGMETHOD", 'i', "", true}, {"EXIF_FILESOURCE", 'i', "", true}, {"EXIF_SCENETYPE", 'i', "", true},
    {"EXIF_USERCOMMENT", 'w'}, {"EXIF_USERCOMMENTCODE", 's'}, {"EXIF_EXPOSUREMODE", 'i'},
    {"EXIF_WHITEBALANCE", 'i'}, {"EXIF_DIGITALZOOMRATIO", 'd'}, {"EXIF_FOCALLENGTHIN35MMFILM", 'i'},
    {"EXIF_SCENECAPTURETYPE", 'i'}, {"EXIF_GAINCONTROL", 'i'}, {"EXIF_CONTRAST", 'i'}, {"EXIF_SATURATION", 'i'},
    {"EXIF_SHARPNESS", 'i'}, {"EXIF_SUBJECTDISTANCERANGE", 'i'}, {"EXIF_IMAGEUNIQUEID", 's'},
    {"EXIF_ARTIST", 's'}, {"EXIF_ISOSPEEDRATINGS0", 'i'}, {"EXIF_ISOSPEEDRATINGS1", 'i'},
    {"EXIF_XPRATING", 'i'}, {"EXIF_XPTITLE", 'w'}, {"EXIF_XPCOMMENT", 'w'}, {"EXIF_XPAUTHOR", 'w'},
    {"EXIF_XPKEYWORDS", 'w'}, {"EXIF_XPSUBJECT", 'w'},
    // GPS
    {"EXIF_GPSVERSIONID", 's'}, {"EXIF_GPSLATITUDEREF", 's'}, {"EXIF_GPSLATITUDEDEGREES", 'd'},
    {"EXIF_GPSLATITUDEMINUTES", 'd'}, {"EXIF_GPSLATITUDESECONDS", 'd'}, {"EXIF_GPSLONGITUDEREF", 's'},
    {"EXIF_GPSLONGITUDEDEGREES", 'd'}, {"EXIF_GPSLONGITUDEMINUTES", 'd'}, {"EXIF_GPSLONGITUDESECONDS", 'd'},
    {"EXIF_GPSALTITUDEREF", 's'}, {"EXIF_GPSALTITUDE", 'd'}, {"EXIF_GPSTIMESTAMPHOUR", 'd'},
    {"EXIF_GPSTIMESTAMPMINUTE", 'd'}, {"EXIF_GPSTIMESTAMPSECOND", 'd'}, {"EXIF_GPSSATELLITES", 's'},
    {"EXIF_GPSSTATUS", 's'}, {"EXIF_GPSMEASUREMODE", 's'}, {"EXIF_GPSDOP", 'd'}, {"EXIF_GPSSPEEDREF", 's'},
    {"EXIF_GPSSPEED", 'd'}, {"EXIF_GPSTRACKREF", 's'}, {"EXIF_GPSTRACK", 'd'}, {"EXIF_GPSIMGDIRECTIONREF", 's'},
    {"EXIF_GPSIMGDIRECTION", 'd'}, {"EXIF_GPSMAPDATUM", 's'}, {"EXIF_GPSDESTLATITUDEREF", 's'},
    {"EXIF_GPSDESTLATITUDEDEGREES", 'd'}, {"EXIF_GPSDESTLATITUDEMINUTES", 'd'},
    {"EXIF_GPSDESTLATITUDESECONDS", 'd'}, {"EXIF_GPSDESTLONGITUDEREF", 's'},
    {"EXIF_GPSDESTLONGITUDEDEGREES", 'd'}, {"EXIF_GPSDESTLONGITUDEMINUTES", 'd'},
    {"EXIF_GPSDESTLONGITUDESECONDS", 'd'}, {"EXIF_GPSDESTBEARINGREF", 's'}, {"EXIF_GPSDESTBEARING", 'd'},
    {"EXIF_GPSDESTDISTANCEREF", 's'}, {"EXIF_GPSDESTDISTANCE", 'd'}, {"EXIF_GPSDATESTAMP", 's'},
    // camera RAW, media files, XMP
    {"RAW_HALFSIZE", 'o'}, {"RAW_GAMMA", 'd'}, {"RAW_BRIGHT", 'd'}, {"RAW_REDSCALE", 'd'},
    {"RAW_BLUESCALE", 'd'}, {"RAW_QUICKINTERPOLATE", 'o'}, {"RAW_USEAUTOWB", 'o'}, {"RAW_USECAMERAWB", 'o'},
    {"RAW_FOURCOLORRGB", 'o'}, {"RAW_CAMERA", 's'}, {"RAW_GETEXIFTHUMBNAIL", 'o'},
    {"RAW_AUTOADJUSTCOLORS", 'o'}, {"RAW_EXTRAPARAMS", 's'}, {"MEDIAFILE_FRAMECOUNT", 'i'},
    {"MEDIAFILE_FRAMEDELAYTIME", 'i'}, {"XMP_INFO", 's'},
};

WideString W8(const char* s) { return Utf8ToWide(s); }
std::string U8(const WideString& s) { return WideToUtf8(s); }

std::map<std::string, std::string> Snapshot(const TIOParamsVals& P) {
  std::map<std::string, std::string> m;
  for (const KeyCase& k : kKeys) m[k.Key] = U8(P.GetProperty(W8(k.Key)));
  return m;
}

std::set<std::string> Changed(const std::map<std::string, std::string>& A,
                              const std::map<std::string, std::string>& B) {
  std::set<std::string> r;
  for (const auto& [key, value] : A)
    if (B.at(key) != value) r.insert(key);
  return r;
}

std::set<std::string> Words(const std::string& S) {
  std::set<std::string> r;
  size_t p = 0;
  while (p < S.size()) {
    size_t e = S.find(' ', p);
    if (e == std::string::npos) e = S.size();
    if (e > p) r.insert(S.substr(p, e - p));
    p = e + 1;
  }
  return r;
}

// A sample unlike every default of its kind, and the text it reads back as.
std::pair<std::string, std::string> Sample(char Kind, const std::string& Current) {
  switch (Kind) {
    case 'i': return {"-4321", "-4321"};
    case 'b': return {"201", "201"};
    case 'o': return Current == "1" ? std::pair<std::string, std::string>{"no", "0"} : std::pair<std::string, std::string>{"t", "1"};
    case 'd': return {"-2,75", "-2.75"};
    case 'c': return {" 12 , 34,56 ", "12,34,56"};
    case 's': return {"Zo\xC3\xAB & \xE2\x82\xAC 5", "Zo\xC3\xAB & \xE2\x82\xAC 5"};
    case 'w': return {"\xD0\x9F\xD1\x80\xD0\xB8 \xE2\x9C\x93", "\xD0\x9F\xD1\x80\xD0\xB8 \xE2\x9C\x93"};
    default: break;
  }
  const std::string date = U8(DateToStr(EncodeDate(2001, 2, 3)));
  return {date, date};
}

// Makes the C library use a locale for the life of the scope.
class LocaleScope {
 public:
  explicit LocaleScope(const char* Name) : FSaved(std::setlocale(LC_ALL, nullptr)) {
    FOk = std::setlocale(LC_ALL, Name) != nullptr;
  }
  ~LocaleScope() { std::setlocale(LC_ALL, FSaved.c_str()); }
  bool Ok() const { return FOk; }

 private:
  std::string FSaved;
  bool FOk = false;
};

const char* const kLocales[] = {"C", "de_DE.UTF-8"};

TEST(TextKeys, EveryKeyReachesItsOwnFieldAndOnlyItsLinkedOnes) {
  for (const KeyCase& k : kKeys) {
    SCOPED_TRACE(k.Key);
    TIOParamsVals p(nullptr);
    const auto before = Snapshot(p);
    ASSERT_NE(before.at(k.Key), "INVALID PROPERTY");
    if (k.Kind == 'r' || k.Kind == 'x') {
      p.SetProperty(W8(k.Key), u"77");
      EXPECT_TRUE(Changed(before, Snapshot(p)).empty());
      continue;
    }
    const auto [text, expected] = Sample(k.Kind, before.at(k.Key));
    p.SetProperty(W8(k.Key), W8(text.c_str()));
    EXPECT_EQ(U8(p.GetProperty(W8(k.Key))), expected);
    std::set<std::string> want = Words(k.Also);
    want.insert(k.Key);
    EXPECT_EQ(Changed(before, Snapshot(p)), want);
    EXPECT_EQ(p.EXIF_TAGSPRESENT.Count(), k.Marks ? 1 : 0);
  }
}

TEST(TextKeys, WritingBackWhatWasReadChangesNothing) {
  for (const char* locale : kLocales) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok()) << locale;
    // A record away from its defaults, so that values with fractions, signs
    // and non-ASCII text are read and written back too.
    TIOParamsVals p(nullptr);
    for (const KeyCase& k : kKeys)
      if (k.Kind != 'r' && k.Kind != 'x') p.SetProperty(W8(k.Key), W8(Sample(k.Kind, "").first.c_str()));
    p.TGA_GAMMA = 1.0 / 3.0;
    p.RAW_GAMMA = 1e-7;
    TIOParamsVals fresh(nullptr);
    for (TIOParamsVals* q : {&p, &fresh}) {
      const auto before = Snapshot(*q);
      for (const KeyCase& k : kKeys) q->SetProperty(W8(k.Key), W8(before.at(k.Key).c_str()));
      // The two orientations are one value written through either key: a
      // fresh record's 1 and 0 end united, nothing else moves.
      const std::set<std::string> united{"TIFF_ORIENTATION"};
      EXPECT_EQ(Changed(before, Snapshot(*q)), q == &fresh ? united : std::set<std::string>()) << locale;
    }
  }
}

TEST(TextKeys, KeysAreCleanedAndUnknownOnesFailSoftly) {
  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.GetProperty(u"jpeg_quality"), u"80");
  EXPECT_EQ(p.GetProperty(u"JPEG_QUALITY\r"), u"80");
  EXPECT_EQ(p.GetProperty(u"\tJpeg_\x7FQuality\n"), u"80");
  EXPECT_EQ(p.GetProperty(u"NO_SUCH_KEY"), u"INVALID PROPERTY");
  EXPECT_EQ(p.GetProperty(u""), u"INVALID PROPERTY");
  EXPECT_EQ(p.GetProperty(u"JPEG_QUALITYX"), u"INVALID PROPERTY");
  EXPECT_EQ(p.GetProperty(u"JPEG_QUALIT\u00DD"), u"INVALID PROPERTY");

  p.FILENAME = u"/tmp/a.jpg";
  const TIOParamsVals fresh(nullptr);
  p.SetProperty(u"FILENAME", u"/tmp/b.jpg");
  p.SetProperty(u"NO_SUCH_KEY", u"1");
  EXPECT_EQ(p.FILENAME, u"/tmp/a.jpg");
  p.FILENAME = fresh.FILENAME;
  EXPECT_TRUE(static_cast<const TIOParamsFields&>(p) == static_cast<const TIOParamsFields&>(fresh));

  // Control characters leave values too.
  p.SetProperty(u"jpeg_quality", u"9\t5\r\n");
  EXPECT_EQ(p.JPEG_QUALITY, 95);
}

TEST(TextKeys, TextThatDoesNotReadGivesTheKeysDefault) {
  struct Case {
    const char* Key;
    const char* Value;
    const char* Expected;
  } const cases[] = {
      {"SAMPLESPERPIXEL", "abc", "8"}, {"WIDTH", "", "1"},           {"EXIF_XPRATING", "", "-1"},
      {"BITSPERSAMPLE", "x", "8"},     {"HEIGHT", "1.5", "1"},       {"DPIX", "x", "1"},
      {"DPIY", "x", "1"},              {"TIFF_GETTILE", "x", "-1"},  {"TIFF_FILLORDER", "x", "1"},
      {"TIFF_ORIENTATION", "x", "1"},  {"TIFF_BYTEORDER", "x", "1"}, {"JPEG_CROMASUBSAMPLING", "x", "1"},
      {"BMPRAW_ROWALIGN", "x", "8"},   {"PNG_COMPRESSION", "x", "1"}, {"PS_PAPERWIDTH", "x", "595"},
      {"PS_PAPERHEIGHT", "x", "842"},  {"PDF_PAPERWIDTH", "x", "595"}, {"PDF_PAPERHEIGHT", "x", "842"},
      {"JPEG_QUALITY", "x", "0"},      {"EXIF_ORIENTATION", "x", "0"}, {"GIF_XPOS", "99999999999", "0"},
      {"JPEG_QUALITY", " 42", "42"},  {"JPEG_QUALITY", "$10", "16"},  {"GIF_XPOS", "-7", "-7"},
      // A byte field takes no value it cannot hold.
      {"JPEG_SCALE", "300", "0"},      {"JPEG_SCALE", "-1", "0"},      {"JPEG_SCALE", "255", "255"},
      {"HDP_IMAGEQUALITY", "x", "0.9"}, {"TGA_GAMMA", "x", "0"},       {"J2000_RATE", "", "0"},
      {"TGA_GAMMA", "1,5,5", "0"},
      {"GIF_BACKGROUND", "255,128,0", "255,128,0"}, {"GIF_BACKGROUND", "7", "7,0,0"},
      {"GIF_BACKGROUND", "1,x,3", "1,0,3"},         {"GIF_BACKGROUND", "", "0,0,0"},
      {"GIF_BACKGROUND", "256,1,2,3", "0,1,2"},
  };
  for (const Case& c : cases) {
    TIOParamsVals p(nullptr);
    p.SetProperty(W8(c.Key), W8("12"));  // away from the default first
    p.SetProperty(W8(c.Key), W8(c.Value));
    EXPECT_EQ(U8(p.GetProperty(W8(c.Key))), c.Expected) << c.Key << " <- '" << c.Value << "'";
  }
}

TEST(TextKeys, BooleansAcceptOnlyOneTrueAndT) {
  const std::pair<const char*, bool> cases[] = {{"true", true}, {"t", true}, {"TRUE", true}, {"1", true},
                                                {"T\r\n", true}, {"yes", false}, {"0", false}, {"", false},
                                                {"2", false},   {"tru", false}};
  for (const auto& [text, value] : cases) {
    TIOParamsVals p(nullptr);
    p.JPEG_PROGRESSIVE = !value;
    p.SetProperty(u"JPEG_PROGRESSIVE", W8(text));
    EXPECT_EQ(p.JPEG_PROGRESSIVE, value) << text;
    EXPECT_EQ(p.GetProperty(u"JPEG_PROGRESSIVE"), value ? u"1" : u"0");
  }
}

TEST(TextKeys, DecimalsReadAndWriteTheSameUnderEveryLocale) {
  for (const char* locale : kLocales) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok()) << locale;
    SCOPED_TRACE(locale);
    TIOParamsVals p(nullptr);
    p.SetProperty(u"TGA_GAMMA", u"1,5");
    EXPECT_EQ(p.TGA_GAMMA, 1.5);
    EXPECT_EQ(p.GetProperty(u"TGA_GAMMA"), u"1.5");
    p.SetProperty(u"TGA_GAMMA", u"2.25");
    EXPECT_EQ(p.TGA_GAMMA, 2.25);
    p.SetProperty(u"TGA_GAMMA", u"-1e3");
    EXPECT_EQ(p.TGA_GAMMA, -1000.0);
    // Up to 15 significant digits, no needless fraction.
    const std::pair<double, const char*> outs[] = {
        {1.0, "1"}, {0.1, "0.1"}, {1.0 / 3.0, "0.333333333333333"}, {-0.7, "-0.7"}, {1234567.5, "1234567.5"}};
    for (const auto& [value, text] : outs) {
      p.J2000_RATE = value;
      EXPECT_EQ(U8(p.GetProperty(u"J2000_RATE")), text);
    }
  }
}

TEST(TextKeys, DateFollowsTheLocaleAndANonDateChangesNothing) {
  for (const char* locale : kLocales) {
    LocaleScope scope(locale);
    ASSERT_TRUE(scope.Ok()) << locale;
    TIOParamsVals p(nullptr);
    p.TGA_DATE = EncodeDate(2020, 11, 30);
    const WideString shown = p.GetProperty(u"TGA_DATE");
    EXPECT_EQ(shown, DateToStr(EncodeDate(2020, 11, 30))) << locale;
    p.SetProperty(u"TGA_DATE", DateToStr(EncodeDate(1999, 1, 2)));
    EXPECT_EQ(p.TGA_DATE, EncodeDate(1999, 1, 2)) << locale;
    p.SetProperty(u"TGA_DATE", u"no date");
    EXPECT_EQ(p.TGA_DATE, EncodeDate(1999, 1, 2)) << locale;
  }
  {
    LocaleScope scope("de_DE.UTF-8");
    TIOParamsVals p(nullptr);
    p.TGA_DATE = EncodeDate(2020, 11, 30);
    EXPECT_EQ(p.GetProperty(u"TGA_DATE"), u"30.11.2020");
  }
}

TEST(TextKeys, SettersRunForTheirKeys) {
  TIOParamsVals p(nullptr);
  p.SetProperty(u"GIF_IMAGEINDEX", u"2");
  for (Integer v : {p.IMAGEINDEX, p.TIFF_IMAGEINDEX, p.DCX_IMAGEINDEX, p.GIF_IMAGEINDEX, p.ICO_IMAGEINDEX,
                    p.CUR_IMAGEINDEX})
    EXPECT_EQ(v, 2);
  p.SetProperty(u"DPIX", u"96");
  EXPECT_EQ(p.DPIX, 96);
  EXPECT_EQ(p.EXIF_XRESOLUTION, 96.0);
  p.SetProperty(u"EXIF_YRESOLUTION", u"72.9");
  EXPECT_EQ(p.DPIY, 72);
  EXPECT_EQ(p.EXIF_YRESOLUTION, 72.9);
  p.SetProperty(u"EXIF_FNUMBER", u"2.8");
  EXPECT_EQ(p.EXIF_FNUMBER, 2.8);
  ASSERT_EQ(p.EXIF_TAGSPRESENT.Count(), 1);
  EXPECT_EQ(p.EXIF_TAGSPRESENT.GetItem(0), IETAG_FNUMBER);
  // Marking again keeps one entry; a genuine 0 is still marked.
  p.SetProperty(u"EXIF_FNUMBER", u"0");
  p.SetProperty(u"EXIF_FLASH", u"0");
  EXPECT_EQ(p.EXIF_TAGSPRESENT.Count(), 2);
  EXPECT_GE(p.EXIF_TAGSPRESENT.IndexOf(IETAG_FLASH), 0);
  p.SetProperty(u"EXIF_ISOSPEEDRATINGS1", u"400");
  EXPECT_EQ(p.EXIF_ISOSPEEDRATINGS[1], 400);
  EXPECT_EQ(p.EXIF_ISOSPEEDRATINGS[0], 0);
  p.SetProperty(u"EXIF_ORIENTATION", u"6");
  EXPECT_EQ(p.TIFF_ORIENTATION, 6);
}

TEST(TextKeys, TextFieldsCrossAsUnicode) {
  TIOParamsVals p(nullptr);
  p.SetProperty(u"EXIF_MAKE", u"Caf\u00E9 \u20AC");
  EXPECT_EQ(p.EXIF_MAKE, "Caf\xC3\xA9 \xE2\x82\xAC");
  // Bytes that are no UTF-8 (an old file's 8-bit text) still show.
  p.EXIF_MAKE = "Caf\xE9";
  EXPECT_EQ(p.GetProperty(u"EXIF_MAKE"), u"Caf\u00E9");
  p.SetProperty(u"EXIF_XPTITLE", u"\u041F\u0440\u0438");
  EXPECT_EQ(p.EXIF_XPTITLE, u"\u041F\u0440\u0438");
  p.SetProperty(u"XMP_INFO", u"<x:xmpmeta>\u00E9</x:xmpmeta>");
  EXPECT_EQ(p.XMP_INFO, "<x:xmpmeta>\xC3\xA9</x:xmpmeta>");
}

TEST(TextKeys, ColorMapItemsStayInsideTheMap) {
  TIOParamsVals p(nullptr);
  // No map: nothing to read, nothing written.
  for (const char16_t* key : {u"COLORMAPITEM", u"COLORMAPITEM0", u"COLORMAPITEM3"}) {
    EXPECT_EQ(p.GetProperty(key), u"");
    p.SetProperty(key, u"1,2,3");
  }
  p.COLORMAP.reset(new TRGB[3]{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  p.COLORMAPCOUNT = 3;
  EXPECT_EQ(p.GetProperty(u"COLORMAPITEM1"), u"6,5,4");
  EXPECT_EQ(p.GetProperty(u"colormapitem"), u"3,2,1");     // no digits: entry 0
  EXPECT_EQ(p.GetProperty(u"COLORMAPITEMx"), u"3,2,1");    // not a number: entry 0
  for (const char16_t* key : {u"COLORMAPITEM3", u"COLORMAPITEM-1", u"COLORMAPITEM2147483647"}) {
    EXPECT_EQ(p.GetProperty(key), u"") << U8(key);
    p.SetProperty(key, u"10,20,30");
  }
  p.SetProperty(u"COLORMAPITEM2", u"255,128,0");
  EXPECT_EQ(p.COLORMAP[2].r, 255);
  EXPECT_EQ(p.COLORMAP[2].g, 128);
  EXPECT_EQ(p.COLORMAP[2].b, 0);
  EXPECT_EQ(p.GetProperty(u"COLORMAPITEM2"), u"255,128,0");
  EXPECT_EQ(p.GetProperty(u"COLORMAPITEM0"), u"3,2,1");
  EXPECT_EQ(p.GetProperty(u"COLORMAPITEM1"), u"6,5,4");
  EXPECT_EQ(p.GetProperty(u"COLORMAPCOUNT"), u"3");
  EXPECT_EQ(p.GetProperty(u"COLORMAPITE"), u"INVALID PROPERTY");
}

}  // namespace
}  // namespace textkeys_tests
