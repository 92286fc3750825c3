// TIFF metadata in both directions. Every block read from the file is sized
// in 64 bits and must lie inside the stream; EXIF values keep their sign
// where the EXIF types are signed (exposure bias, shutter speed and
// brightness are SRATIONAL), so a camera's -0.7 EV stays -0.7.
#include "imaging/formats/tiffmeta.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/meta/iemetarecords.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/io/ieprobes.h"

namespace tiffmeta {
namespace {

// EXIF sub-directory tags.
enum : Word {
  kExposureTime = 33434,
  kFNumber = 33437,
  kExposureProgram = 34850,
  kISOSpeedRatings = 34855,
  kExifVersion = 36864,
  kDateTimeOriginal = 36867,
  kDateTimeDigitized = 36868,
  kComponentsConfiguration = 37121,
  kCompressedBitsPerPixel = 37122,
  kShutterSpeedValue = 37377,
  kApertureValue = 37378,
  kBrightnessValue = 37379,
  kExposureBiasValue = 37380,
  kMaxApertureValue = 37381,
  kSubjectDistance = 37382,
  kMeteringMode = 37383,
  kLightSource = 37384,
  kFlash = 37385,
  kFocalLength = 37386,
  kMakerNote = 37500,
  kUserComment = 37510,
  kSubSecTime = 37520,
  kSubSecTimeOriginal = 37521,
  kSubSecTimeDigitized = 37522,
  kFlashpixVersion = 40960,
  kColorSpace = 40961,
  kExifImageWidth = 40962,
  kExifImageHeight = 40963,
  kRelatedSoundFile = 40964,
  kFocalPlaneXResolution = 41486,
  kFocalPlaneYResolution = 41487,
  kFocalPlaneResolutionUnit = 41488,
  kExposureIndex = 41493,
  kSensingMethod = 41495,
  kFileSource = 41728,
  kSceneType = 41729,
  kExposureMode = 41986,
  kWhiteBalance = 41987,
  kDigitalZoomRatio = 41988,
  kFocalLengthIn35mmFilm = 41989,
  kSceneCaptureType = 41990,
  kGainControl = 41991,
  kContrast = 41992,
  kSaturation = 41993,
  kSharpness = 41994,
  kSubjectDistanceRange = 41996,
  kImageUniqueID = 42016,
  kXPTitle = 40091,
};

const char kUnicodeCode[] = "UNICODE\0";   // 8 bytes with the closing NUL
const char kAsciiCode[] = "ASCII\0\0\0";  // 8 bytes

const TTIFFEntry* Find(const TTIFFDirectory& Dir, Word Tag) {
  const Integer i = TIFFFindTag(Dir, Tag);
  return i < 0 ? nullptr : &Dir.Entries[static_cast<size_t>(i)];
}

// Item Index of a rational tag, signed when the file says SRATIONAL; SHORT
// and LONG values count too (some writers store integral values so).
Double Rational(const TTIFFDirectory& Dir, Word Tag, int64_t Index, Double Default) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e || Index < 0 || Index >= e->Count) return Default;
  if (e->Type == IETIFFTYPE_SHORT || e->Type == IETIFFTYPE_LONG)
    return Double(TIFFGetArrayItem(Dir, Tag, Index, int64_t(Default)));
  if (e->Type != IETIFFTYPE_RATIONAL && e->Type != IETIFFTYPE_SRATIONAL) return Default;
  Byte b[8];
  if (IEReadAt(Dir.Stream, Dir.Base + int64_t(e->Value) + 8 * Index, b, 8) != 8) return Default;
  const Cardinal num = TIFFGet32(b, Dir.LittleEndian), den = TIFFGet32(b + 4, Dir.LittleEndian);
  if (e->Type == IETIFFTYPE_SRATIONAL) {
    const int32_t n = static_cast<int32_t>(num), d = static_cast<int32_t>(den);
    return d == 0 ? Double(n) : Double(n) / Double(d);
  }
  return den == 0 ? Double(num) : Double(num) / Double(den);
}

// One integer value; byte types take their first byte, whatever the
// file's byte order put into the value field.
Integer Int(const TTIFFDirectory& Dir, Word Tag, Integer Default) {
  const TTIFFEntry* e = Find(Dir, Tag);
  if (!e || e->Count == 0) return Default;
  switch (e->Type) {
    case IETIFFTYPE_BYTE:
    case IETIFFTYPE_UNDEFINED:
    case IETIFFTYPE_SBYTE: {
      Byte b[4];
      TIFFPut32(b, e->Value, Dir.LittleEndian);
      return e->Type == IETIFFTYPE_SBYTE ? static_cast<int8_t>(b[0]) : b[0];
    }
    case IETIFFTYPE_SSHORT:
      return static_cast<int16_t>(TIFFGetArrayItem(Dir, Tag, 0, Default));
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
      return static_cast<Integer>(TIFFGetInteger(Dir, Tag, Default));
    default:
      return Default;
  }
}

AnsiString Str(const TTIFFDirectory& Dir, Word Tag) {
  AnsiString s;
  TIFFGetString(Dir, Tag, s);
  return s;
}

// A Windows XP text tag: UTF-16LE bytes, usually closed by a zero word.
WideString XPText(const TTIFFDirectory& Dir, Word Tag) {
  const std::vector<Byte> raw = TIFFReadTagBytes(Dir, Tag);
  WideString w;
  if (raw.size() > TIFFMaxStringLength) return w;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) w.push_back(static_cast<char16_t>(raw[i] | raw[i + 1] << 8));
  while (!w.empty() && w.back() == 0) w.pop_back();
  return w;
}

// The value bytes (at most 4) of a version or reference tag.
AnsiString ValueBytes(const TTIFFDirectory& Dir, Word Tag) {
  AnsiString s;
  TIFFGetValueBytes(Dir, Tag, s);
  return s;
}

// The GPS version's bytes as dotted decimals: 2, 2, 0, 0 -> "2.2.0.0".
AnsiString DottedBytes(const TTIFFDirectory& Dir, Word Tag) {
  const std::vector<Byte> b = TIFFReadTagBytes(Dir, Tag);
  AnsiString s;
  for (size_t i = 0; i < b.size() && i < 16; ++i) {
    if (i) s += '.';
    s += std::to_string(b[i]);
  }
  return s;
}

void ReadMainTags(const TTIFFDirectory& D, TIOParamsVals& P) {
  P.EXIF_MAKE = Str(D, TIFFTAG_MAKE);
  P.EXIF_MODEL = Str(D, TIFFTAG_MODEL);
  P.EXIF_DATETIME = Str(D, TIFFTAG_DATETIME);
  P.EXIF_SOFTWARE = Str(D, TIFFTAG_SOFTWARE);
  P.EXIF_ARTIST = Str(D, TIFFTAG_ARTIST);
  P.EXIF_COPYRIGHT = Str(D, TIFFTAG_COPYRIGHT);
  // The reader hands the resolutions on in pixels per inch, so the unit
  // that goes with them is inches.
  P.EXIF_RESOLUTIONUNIT = Find(D, TIFFTAG_RESOLUTIONUNIT) ? 2 : 0;
  P.EXIF_XPRATING = Int(D, TIFFTAG_XPRATING, -1);
  P.EXIF_XPTITLE = XPText(D, kXPTitle);
  P.EXIF_XPCOMMENT = XPText(D, kXPTitle + 1);
  P.EXIF_XPAUTHOR = XPText(D, kXPTitle + 2);
  P.EXIF_XPKEYWORDS = XPText(D, kXPTitle + 3);
  P.EXIF_XPSUBJECT = XPText(D, kXPTitle + 4);
  for (Integer i = 0; i < 2; ++i) P.SetEXIFWhitePoint(i, Rational(D, TIFFTAG_WHITEPOINT, i, -1.0));
  for (Integer i = 0; i < 6; ++i)
    P.SetEXIFPrimaryChromaticities(i, Rational(D, TIFFTAG_PRIMARYCHROMATICITIES, i, -1.0));
  for (Integer i = 0; i < 3; ++i) P.SetEXIFYCbCrCoefficients(i, Rational(D, TIFFTAG_YCBCRCOEFFICIENTS, i, -1.0));
  for (Integer i = 0; i < 6; ++i)
    P.SetEXIFReferenceBlackWhite(i, Rational(D, TIFFTAG_REFERENCEBLACKWHITE, i, -1.0));
  P.EXIF_YCBCRPOSITIONING = Int(D, TIFFTAG_YCBCRPOSITIONING, 0);
}

void ReadExifTags(const TTIFFDirectory& D, TIOParamsVals& P) {
  P.EXIF_TAGSPRESENT.Clear();
  // The setters mark their tags present; only tags the file has stay marked.
  P.SetEXIFExposureTime(Rational(D, kExposureTime, 0, 0.0));
  P.SetEXIFFNumber(Rational(D, kFNumber, 0, 0.0));
  P.SetEXIFExposureProgram(Int(D, kExposureProgram, 0));
  P.SetEXIFISOSpeedRating(0, Integer(TIFFGetArrayItem(D, kISOSpeedRatings, 0, 0)));
  P.SetEXIFISOSpeedRating(1, Integer(TIFFGetArrayItem(D, kISOSpeedRatings, 1, 0)));
  P.EXIF_EXIFVERSION = ValueBytes(D, kExifVersion);
  P.EXIF_DATETIMEORIGINAL = Str(D, kDateTimeOriginal);
  P.EXIF_DATETIMEDIGITIZED = Str(D, kDateTimeDigitized);
  P.SetEXIFCompressedBitsPerPixel(Rational(D, kCompressedBitsPerPixel, 0, 0.0));
  P.SetEXIFShutterSpeedValue(Rational(D, kShutterSpeedValue, 0, 0.0));
  P.SetEXIFApertureValue(Rational(D, kApertureValue, 0, 0.0));
  P.SetEXIFBrightnessValue(Rational(D, kBrightnessValue, 0, 0.0));
  P.SetEXIFExposureBiasValue(Rational(D, kExposureBiasValue, 0, 0.0));
  P.SetEXIFMaxApertureValue(Rational(D, kMaxApertureValue, 0, 0.0));
  P.SetEXIFSubjectDistance(Rational(D, kSubjectDistance, 0, 0.0));
  P.SetEXIFMeteringMode(Int(D, kMeteringMode, 0));
  P.SetEXIFLightSource(Int(D, kLightSource, 0));
  P.SetEXIFFlash(Int(D, kFlash, 0));
  P.SetEXIFFocalLength(Rational(D, kFocalLength, 0, 0.0));
  P.EXIF_SUBSECTIME = Str(D, kSubSecTime);
  P.EXIF_SUBSECTIMEORIGINAL = Str(D, kSubSecTimeOriginal);
  P.EXIF_SUBSECTIMEDIGITIZED = Str(D, kSubSecTimeDigitized);
  P.EXIF_FLASHPIXVERSION = ValueBytes(D, kFlashpixVersion);
  P.SetEXIFColorSpace(Int(D, kColorSpace, 0));
  P.SetEXIFExifImageWidth(Int(D, kExifImageWidth, 0));
  P.SetEXIFExifImageHeight(Int(D, kExifImageHeight, 0));
  P.EXIF_RELATEDSOUNDFILE = Str(D, kRelatedSoundFile);
  P.SetEXIFFocalPlaneXResolution(Rational(D, kFocalPlaneXResolution, 0, 0.0));
  P.SetEXIFFocalPlaneYResolution(Rational(D, kFocalPlaneYResolution, 0, 0.0));
  P.SetEXIFFocalPlaneResolutionUnit(Int(D, kFocalPlaneResolutionUnit, 0));
  P.SetEXIFExposureIndex(Rational(D, kExposureIndex, 0, 0.0));
  P.SetEXIFSensingMethod(Int(D, kSensingMethod, 0));
  P.SetEXIFFileSource(Int(D, kFileSource, 0));
  P.SetEXIFSceneType(Int(D, kSceneType, 0));
  P.EXIF_EXPOSUREMODE = Int(D, kExposureMode, -1);
  P.EXIF_WHITEBALANCE = Int(D, kWhiteBalance, -1);
  P.EXIF_DIGITALZOOMRATIO = Rational(D, kDigitalZoomRatio, 0, -1.0);
  P.EXIF_FOCALLENGTHIN35MMFILM = Int(D, kFocalLengthIn35mmFilm, -1);
  P.EXIF_SCENECAPTURETYPE = Int(D, kSceneCaptureType, -1);
  P.EXIF_GAINCONTROL = Int(D, kGainControl, -1);
  P.EXIF_CONTRAST = Int(D, kContrast, -1);
  P.EXIF_SATURATION = Int(D, kSaturation, -1);
  P.EXIF_SHARPNESS = Int(D, kSharpness, -1);
  P.EXIF_SUBJECTDISTANCERANGE = Int(D, kSubjectDistanceRange, -1);
  P.EXIF_IMAGEUNIQUEID = Str(D, kImageUniqueID);
  // Keep only the marks of tags the directory really holds.
  for (Integer i = P.EXIF_TAGSPRESENT.Count() - 1; i >= 0; --i)
    if (TIFFFindTag(D, static_cast<Word>(P.EXIF_TAGSPRESENT.GetItem(i))) < 0) P.EXIF_TAGSPRESENT.Delete(i);

  const std::vector<Byte> comment = TIFFReadTagBytes(D, kUserComment);
  if (Find(D, kUserComment) && comment.size() <= TIFFMaxStringLength) {
    TIFFDecodeUserComment(comment.data(), comment.size(), D.LittleEndian, P.EXIF_USERCOMMENTCODE,
                          P.EXIF_USERCOMMENT);
  } else {
    P.EXIF_USERCOMMENTCODE.clear();
    P.EXIF_USERCOMMENT.clear();
  }

  P.EXIF_MAKERNOTE.Clear();
  if (const TTIFFEntry* e = Find(D, kMakerNote)) {
    const int64_t at = D.Base + int64_t(e->Value);
    // Only the offset was ever checked; the whole note must lie in the
    // stream, or a hostile count asks for gigabytes.
    if (e->Count > 4 && e->Count <= 0x7FFFFFFF && at + int64_t(e->Count) <= D.Stream->Size() &&
        D.Stream->Seek(at, soBeginning) == at)
      P.EXIF_MAKERNOTE.ReadFromStream(D.Stream, Integer(e->Count), D.LittleEndian);
  }
}

void ReadGpsTags(const TTIFFDirectory& D, TIOParamsVals& P) {
  P.EXIF_GPSVERSIONID = DottedBytes(D, 0);
  P.EXIF_GPSLATITUDEREF = ValueBytes(D, 1);
  P.EXIF_GPSLATITUDEDEGREES = Rational(D, 2, 0, 0.0);
  P.EXIF_GPSLATITUDEMINUTES = Rational(D, 2, 1, 0.0);
  P.EXIF_GPSLATITUDESECONDS = Rational(D, 2, 2, 0.0);
  P.EXIF_GPSLONGITUDEREF = ValueBytes(D, 3);
  P.EXIF_GPSLONGITUDEDEGREES = Rational(D, 4, 0, 0.0);
  P.EXIF_GPSLONGITUDEMINUTES = Rational(D, 4, 1, 0.0);
  P.EXIF_GPSLONGITUDESECONDS = Rational(D, 4, 2, 0.0);
  P.EXIF_GPSALTITUDEREF = Find(D, 5) ? std::to_string(Int(D, 5, 0)) : AnsiString();
  P.EXIF_GPSALTITUDE = Rational(D, 6, 0, 0.0);
  P.EXIF_GPSTIMESTAMPHOUR = Rational(D, 7, 0, 0.0);
  P.EXIF_GPSTIMESTAMPMINUTE = Rational(D, 7, 1, 0.0);
  P.EXIF_GPSTIMESTAMPSECOND = Rational(D, 7, 2, 0.0);
  P.EXIF_GPSSATELLITES = Str(D, 8);
  P.EXIF_GPSSTATUS = ValueBytes(D, 9);
  P.EXIF_GPSMEASUREMODE = ValueBytes(D, 10);
  P.EXIF_GPSDOP = Rational(D, 11, 0, 0.0);
  P.EXIF_GPSSPEEDREF = ValueBytes(D, 12);
  P.EXIF_GPSSPEED = Rational(D, 13, 0, 0.0);
  P.EXIF_GPSTRACKREF = ValueBytes(D, 14);
  P.EXIF_GPSTRACK = Rational(D, 15, 0, 0.0);
  P.EXIF_GPSIMGDIRECTIONREF = ValueBytes(D, 16);
  P.EXIF_GPSIMGDIRECTION = Rational(D, 17, 0, 0.0);
  P.EXIF_GPSMAPDATUM = Str(D, 18);
  P.EXIF_GPSDESTLATITUDEREF = ValueBytes(D, 19);
  P.EXIF_GPSDESTLATITUDEDEGREES = Rational(D, 20, 0, 0.0);
  P.EXIF_GPSDESTLATITUDEMINUTES = Rational(D, 20, 1, 0.0);
  P.EXIF_GPSDESTLATITUDESECONDS = Rational(D, 20, 2, 0.0);
  P.EXIF_GPSDESTLONGITUDEREF = ValueBytes(D, 21);
  P.EXIF_GPSDESTLONGITUDEDEGREES = Rational(D, 22, 0, 0.0);
  P.EXIF_GPSDESTLONGITUDEMINUTES = Rational(D, 22, 1, 0.0);
  P.EXIF_GPSDESTLONGITUDESECONDS = Rational(D, 22, 2, 0.0);
  P.EXIF_GPSDESTBEARINGREF = ValueBytes(D, 23);
  P.EXIF_GPSDESTBEARING = Rational(D, 24, 0, 0.0);
  P.EXIF_GPSDESTDISTANCEREF = ValueBytes(D, 25);
  P.EXIF_GPSDESTDISTANCE = Rational(D, 26, 0, 0.0);
  P.EXIF_GPSDATESTAMP = Str(D, 29);
}

void ReadBlocks(const TTIFFDirectory& D, TIOParamsVals& P) {
  // TIFFReadTagBytes sizes every block in 64 bits and returns nothing for
  // one that does not lie wholly inside the stream.
  const std::vector<Byte> iptc = TIFFReadTagBytes(D, TIFFTAG_IPTC);
  P.IPTC_LIST.Clear();
  if (!iptc.empty() && iptc.size() <= 0x7FFFFFFF) P.IPTC_LIST.LoadFromBuffer(iptc.data(), Integer(iptc.size()));
  if (const TTIFFEntry* e = Find(D, TIFFTAG_XMP)) {
    if (e->Type == IETIFFTYPE_BYTE || e->Type == IETIFFTYPE_UNDEFINED) {
      const std::vector<Byte> xmp = TIFFReadTagBytes(D, TIFFTAG_XMP);
      P.XMP_INFO.assign(xmp.begin(), xmp.end());
    }
  }
  const Word annotTag = Find(D, TIFFTAG_IMAGINGANNOT2) ? TIFFTAG_IMAGINGANNOT2 : TIFFTAG_IMAGINGANNOT;
  const std::vector<Byte> annot = TIFFReadTagBytes(D, annotTag);
  if (!annot.empty() && annot.size() <= 0x7FFFFFFF) {
    TIEImagingAnnot* a = P.GetImagingAnnot();
    a->Clear();
    a->LoadFromBuffer(annot.data(), Integer(annot.size()));
  }
  const std::vector<Byte> icc = TIFFReadTagBytes(D, TIFFTAG_ICCPROFILE);
  if (!icc.empty() && icc.size() <= 0x7FFFFFFF)
    P.GetInputICCProfile()->LoadFromBuffer(icc.data(), Integer(icc.size()));
}

// --- writing ---------------------------------------------------------------------

bool Marked(const TIOParamsVals& P, Word Tag) { return P.EXIF_TAGSPRESENT.IndexOf(Tag) >= 0; }

std::vector<Byte> UTF16LE(const WideString& W, bool ClosingZero) {
  std::vector<Byte> b;
  b.reserve(W.size() * 2 + 2);
  for (char16_t c : W) {
    b.push_back(static_cast<Byte>(c));
    b.push_back(static_cast<Byte>(c >> 8));
  }
  if (ClosingZero) b.insert(b.end(), 2, 0);
  return b;
}

// Reference texts keep the closing NUL they were read with ("N\0"); one
// set without it gets it, as EXIF asks for.
void RefText(TTagList& T, Word Tag, const AnsiString& S) {
  if (S.empty()) return;
  AnsiString v = S;
  if (v.back() != '\0') v.push_back('\0');
  T.Bytes(Tag, IETIFFTYPE_ASCII, v.data(), v.size());
}

void Rational3(TTagList& T, Word Tag, Double A, Double B, Double C) {
  const double v[3] = {A, B, C};
  T.Rationals(Tag, v, 3);
}

void WriteUserComment(TTagList& T, const TIOParamsVals& P) {
  if (P.EXIF_USERCOMMENT.empty()) return;
  AnsiString code = P.EXIF_USERCOMMENTCODE.empty() ? AnsiString(kUnicodeCode, 8) : P.EXIF_USERCOMMENTCODE;
  if (code.size() != 8) return;
  std::vector<Byte> b(code.begin(), code.end());
  if (code == AnsiString(kUnicodeCode, 8)) {
    const std::vector<Byte> text = UTF16LE(P.EXIF_USERCOMMENT, true);
    b.insert(b.end(), text.begin(), text.end());
  } else {
    // ASCII and every other code: the text as 8-bit characters, which is
    // how the reader takes any code but UNICODE.
    for (char16_t c : P.EXIF_USERCOMMENT) b.push_back(c < 256 ? static_cast<Byte>(c) : Byte('?'));
    if (code == AnsiString(kAsciiCode, 8)) b.push_back(0);
  }
  T.Bytes(kUserComment, IETIFFTYPE_UNDEFINED, b.data(), b.size());
}

Cardinal WriteExifDirectory(TStream* S, int64_t Base, TIOParamsVals& P, TIEProgressRec& Progress, bool ForJPEG) {
  TTagList t(S, Base, Progress);
  // Y, Cb, Cr: the order of compressed JPEG data, which EXIF requires to be
  // stated.
  if (ForJPEG) {
    const Byte components[4] = {1, 2, 3, 0};
    t.Bytes(kComponentsConfiguration, IETIFFTYPE_UNDEFINED, components, 4);
  }
  struct TRat {
    Word Tag;
    Double Value;
    bool Signed;
  };
  const TRat rats[] = {
      {kExposureTime, P.EXIF_EXPOSURETIME, false},
      {kFNumber, P.EXIF_FNUMBER, false},
      {kCompressedBitsPerPixel, P.EXIF_COMPRESSEDBITSPERPIXEL, false},
      {kShutterSpeedValue, P.EXIF_SHUTTERSPEEDVALUE, true},
      {kApertureValue, P.EXIF_APERTUREVALUE, false},
      {kBrightnessValue, P.EXIF_BRIGHTNESSVALUE, true},
      {kExposureBiasValue, P.EXIF_EXPOSUREBIASVALUE, true},
      {kMaxApertureValue, P.EXIF_MAXAPERTUREVALUE, false},
      {kSubjectDistance, P.EXIF_SUBJECTDISTANCE, false},
      {kFocalLength, P.EXIF_FOCALLENGTH, false},
      {kFocalPlaneXResolution, P.EXIF_FOCALPLANEXRESOLUTION, false},
      {kFocalPlaneYResolution, P.EXIF_FOCALPLANEYRESOLUTION, false},
      {kExposureIndex, P.EXIF_EXPOSUREINDEX, false},
  };
  for (const TRat& r : rats)
    if (Marked(P, r.Tag)) t.Rationals(r.Tag, &r.Value, 1, r.Signed);
  const std::pair<Word, Integer> shorts[] = {
      {kExposureProgram, P.EXIF_EXPOSUREPROGRAM}, {kMeteringMode, P.EXIF_METERINGMODE},
      {kLightSource, P.EXIF_LIGHTSOURCE},         {kFlash, P.EXIF_FLASH},
      {kColorSpace, P.EXIF_COLORSPACE},           {kExifImageWidth, P.EXIF_EXIFIMAGEWIDTH},
      {kExifImageHeight, P.EXIF_EXIFIMAGEHEIGHT}, {kFocalPlaneResolutionUnit, P.EXIF_FOCALPLANERESOLUTIONUNIT},
      {kSensingMethod, P.EXIF_SENSINGMETHOD},
  };
  for (const auto& [tag, v] : shorts)
    if (Marked(P, tag)) t.Short(tag, static_cast<Word>(v));
  for (const auto& [tag, v] : {std::pair<Word, Integer>{kFileSource, P.EXIF_FILESOURCE}, {kSceneType, P.EXIF_SCENETYPE}})
    if (Marked(P, tag)) {
      const Byte b = static_cast<Byte>(v);
      t.Bytes(tag, IETIFFTYPE_UNDEFINED, &b, 1);
    }
  if (P.EXIF_ISOSPEEDRATINGS[1] != 0)
    t.Shorts(kISOSpeedRatings, {Word(P.EXIF_ISOSPEEDRATINGS[0]), Word(P.EXIF_ISOSPEEDRATINGS[1])});
  else if (P.EXIF_ISOSPEEDRATINGS[0] != 0)
    t.Short(kISOSpeedRatings, Word(P.EXIF_ISOSPEEDRATINGS[0]));
  // The two versions are four undefined bytes ("0230"); an empty one is
  // left out rather than written as a count-0 entry.
  if (!P.EXIF_EXIFVERSION.empty())
    t.Bytes(kExifVersion, IETIFFTYPE_UNDEFINED, P.EXIF_EXIFVERSION.data(), std::min<size_t>(4, P.EXIF_EXIFVERSION.size()));
  if (!P.EXIF_FLASHPIXVERSION.empty())
    t.Bytes(kFlashpixVersion, IETIFFTYPE_UNDEFINED, P.EXIF_FLASHPIXVERSION.data(),
            std::min<size_t>(4, P.EXIF_FLASHPIXVERSION.size()));
  t.Ascii(kDateTimeOriginal, P.EXIF_DATETIMEORIGINAL);
  t.Ascii(kDateTimeDigitized, P.EXIF_DATETIMEDIGITIZED);
  t.Ascii(kSubSecTime, P.EXIF_SUBSECTIME);
  t.Ascii(kSubSecTimeOriginal, P.EXIF_SUBSECTIMEORIGINAL);
  t.Ascii(kSubSecTimeDigitized, P.EXIF_SUBSECTIMEDIGITIZED);
  t.Ascii(kRelatedSoundFile, P.EXIF_RELATEDSOUNDFILE);
  t.Ascii(kImageUniqueID, P.EXIF_IMAGEUNIQUEID);
  const std::pair<Word, Integer> optional[] = {
      {kExposureMode, P.EXIF_EXPOSUREMODE},     {kWhiteBalance, P.EXIF_WHITEBALANCE},
      {kFocalLengthIn35mmFilm, P.EXIF_FOCALLENGTHIN35MMFILM}, {kSceneCaptureType, P.EXIF_SCENECAPTURETYPE},
      {kGainControl, P.EXIF_GAINCONTROL},       {kContrast, P.EXIF_CONTRAST},
      {kSaturation, P.EXIF_SATURATION},         {kSharpness, P.EXIF_SHARPNESS},
      {kSubjectDistanceRange, P.EXIF_SUBJECTDISTANCERANGE},
  };
  for (const auto& [tag, v] : optional)
    if (v != -1) t.Short(tag, static_cast<Word>(v));
  if (P.EXIF_DIGITALZOOMRATIO != -1.0) t.Rational(kDigitalZoomRatio, P.EXIF_DIGITALZOOMRATIO);
  WriteUserComment(t, P);
  if (P.EXIF_MAKERNOTE.TagsStream()->Size() >= 13) {
    const Cardinal at = t.EvenOffset();
    const Integer n = P.EXIF_MAKERNOTE.WriteToStream(S);
    if (n > 0) t.Add(kMakerNote, IETIFFTYPE_UNDEFINED, Cardinal(n), at);
  }
  if (Progress.Aborted()) return 0;
  return t.WriteDirectory(0);
}

Cardinal WriteGpsDirectory(TStream* S, int64_t Base, TIOParamsVals& P, TIEProgressRec& Progress) {
  TTagList t(S, Base, Progress);
  std::vector<Byte> version;
  {
    size_t i = 0;
    const AnsiString& v = P.EXIF_GPSVERSIONID;
    while (i < v.size() && version.size() < 16) {
      Integer n = 0;
      bool digits = false;
      while (i < v.size() && v[i] >= '0' && v[i] <= '9') n = std::min(n * 10 + (v[i++] - '0'), 255), digits = true;
      if (digits) version.push_back(static_cast<Byte>(n));
      while (i < v.size() && (v[i] < '0' || v[i] > '9')) ++i;
    }
  }
  t.Bytes(0, IETIFFTYPE_BYTE, version.data(), version.size());
  RefText(t, 1, P.EXIF_GPSLATITUDEREF);
  Rational3(t, 2, P.EXIF_GPSLATITUDEDEGREES, P.EXIF_GPSLATITUDEMINUTES, P.EXIF_GPSLATITUDESECONDS);
  RefText(t, 3, P.EXIF_GPSLONGITUDEREF);
  Rational3(t, 4, P.EXIF_GPSLONGITUDEDEGREES, P.EXIF_GPSLONGITUDEMINUTES, P.EXIF_GPSLONGITUDESECONDS);
  {
    Integer ref = 0;
    try {
      ref = P.EXIF_GPSALTITUDEREF.empty() ? 0 : std::stoi(P.EXIF_GPSALTITUDEREF);
    } catch (...) {
      ref = 0;
    }
    const Byte b = static_cast<Byte>(ref);
    t.Bytes(5, IETIFFTYPE_BYTE, &b, 1);
  }
  t.Rational(6, P.EXIF_GPSALTITUDE);
  Rational3(t, 7, P.EXIF_GPSTIMESTAMPHOUR, P.EXIF_GPSTIMESTAMPMINUTE, P.EXIF_GPSTIMESTAMPSECOND);
  t.Ascii(8, P.EXIF_GPSSATELLITES);
  RefText(t, 9, P.EXIF_GPSSTATUS);
  RefText(t, 10, P.EXIF_GPSMEASUREMODE);
  t.Rational(11, P.EXIF_GPSDOP);
  RefText(t, 12, P.EXIF_GPSSPEEDREF);
  t.Rational(13, P.EXIF_GPSSPEED);
  RefText(t, 14, P.EXIF_GPSTRACKREF);
  t.Rational(15, P.EXIF_GPSTRACK);
  RefText(t, 16, P.EXIF_GPSIMGDIRECTIONREF);
  t.Rational(17, P.EXIF_GPSIMGDIRECTION);
  t.Ascii(18, P.EXIF_GPSMAPDATUM);
  RefText(t, 19, P.EXIF_GPSDESTLATITUDEREF);
  Rational3(t, 20, P.EXIF_GPSDESTLATITUDEDEGREES, P.EXIF_GPSDESTLATITUDEMINUTES, P.EXIF_GPSDESTLATITUDESECONDS);
  RefText(t, 21, P.EXIF_GPSDESTLONGITUDEREF);
  Rational3(t, 22, P.EXIF_GPSDESTLONGITUDEDEGREES, P.EXIF_GPSDESTLONGITUDEMINUTES, P.EXIF_GPSDESTLONGITUDESECONDS);
  RefText(t, 23, P.EXIF_GPSDESTBEARINGREF);
  t.Rational(24, P.EXIF_GPSDESTBEARING);
  RefText(t, 25, P.EXIF_GPSDESTDISTANCEREF);
  t.Rational(26, P.EXIF_GPSDESTDISTANCE);
  t.Ascii(29, P.EXIF_GPSDATESTAMP);
  if (Progress.Aborted()) return 0;
  return t.WriteDirectory(0);
}

}  // namespace
}  // namespace tiffmeta

using namespace tiffmeta;

void TIFFDecodeUserComment(const Byte* Data, size_t Size, bool LittleEndian, AnsiString& Code, WideString& Text) {
  Text.clear();
  if (Size <= 8) {
    Code.assign(kUnicodeCode, 8);
    return;
  }
  Code.assign(reinterpret_cast<const char*>(Data), 8);
  if (Code == AnsiString(kUnicodeCode, 8)) {
    // Raw bytes in the file's byte order: a trailing 0 high byte is part of
    // the last character, not padding.
    for (size_t i = 8; i + 1 < Size; i += 2)
      Text.push_back(static_cast<char16_t>(LittleEndian ? Data[i] | Data[i + 1] << 8 : Data[i] << 8 | Data[i + 1]));
  } else {
    for (size_t i = 8; i < Size; ++i) Text.push_back(static_cast<char16_t>(Data[i]));
  }
  while (!Text.empty() && Text.back() == 0) Text.pop_back();
}

void TIFFReadMetadata(const TTIFFDirectory& MainDir, const TTIFFDirectory& ExifDir, const TTIFFDirectory& GpsDir,
                      TIOParamsVals& Params) {
  ReadMainTags(MainDir, Params);
  ReadExifTags(ExifDir, Params);
  ReadGpsTags(GpsDir, Params);
  ReadBlocks(MainDir, Params);
}

void TIFFWriteEXIFTags(TTagList& Tags, TStream* Stream, int64_t Base, TIOParamsVals& Params,
                       TIEProgressRec& Progress, bool ForJPEG) {
  TIOParamsVals& P = Params;
  Tags.Ascii(TIFFTAG_IMAGEDESCRIPTION, P.EXIF_IMAGEDESCRIPTION);
  if (P.EXIF_XRESOLUTION != 0) Tags.Rational(TIFFTAG_XRESOLUTION, P.EXIF_XRESOLUTION);
  if (P.EXIF_YRESOLUTION != 0) Tags.Rational(TIFFTAG_YRESOLUTION, P.EXIF_YRESOLUTION);
  Tags.Short(TIFFTAG_ORIENTATION, static_cast<Word>(P.TIFF_ORIENTATION >= 1 && P.TIFF_ORIENTATION <= 8 ? P.TIFF_ORIENTATION : 1));
  Tags.Short(TIFFTAG_RESOLUTIONUNIT, 2);
  Tags.Ascii(TIFFTAG_SOFTWARE, P.EXIF_SOFTWARE);
  if (P.EXIF_XPRATING >= 0) Tags.Short(TIFFTAG_XPRATING, static_cast<Word>(P.EXIF_XPRATING));
  const WideString* xp[] = {&P.EXIF_XPTITLE, &P.EXIF_XPCOMMENT, &P.EXIF_XPAUTHOR, &P.EXIF_XPKEYWORDS,
                            &P.EXIF_XPSUBJECT};
  for (Word i = 0; i < 5; ++i)
    if (!xp[i]->empty()) {
      const std::vector<Byte> b = UTF16LE(*xp[i], true);
      Tags.Bytes(static_cast<Word>(kXPTitle + i), IETIFFTYPE_BYTE, b.data(), b.size());
    }
  Tags.Ascii(TIFFTAG_ARTIST, P.EXIF_ARTIST);
  Tags.Ascii(TIFFTAG_MAKE, P.EXIF_MAKE);
  Tags.Ascii(TIFFTAG_MODEL, P.EXIF_MODEL);
  Tags.Ascii(TIFFTAG_DATETIME, P.EXIF_DATETIME);
  auto any = [](const auto& A) { return std::any_of(A.begin(), A.end(), [](Double v) { return v != -1.0; }); };
  if (any(P.EXIF_WHITEPOINT))
    Tags.Rationals(TIFFTAG_WHITEPOINT, P.EXIF_WHITEPOINT.data(), 2);
  if (P.EXIF_YCBCRPOSITIONING != 0) Tags.Short(TIFFTAG_YCBCRPOSITIONING, static_cast<Word>(P.EXIF_YCBCRPOSITIONING));
  if (any(P.EXIF_PRIMARYCHROMATICITIES))
    Tags.Rationals(TIFFTAG_PRIMARYCHROMATICITIES, P.EXIF_PRIMARYCHROMATICITIES.data(), 6);
  if (any(P.EXIF_YCBCRCOEFFICIENTS)) Tags.Rationals(TIFFTAG_YCBCRCOEFFICIENTS, P.EXIF_YCBCRCOEFFICIENTS.data(), 3);
  if (any(P.EXIF_REFERENCEBLACKWHITE))
    Tags.Rationals(TIFFTAG_REFERENCEBLACKWHITE, P.EXIF_REFERENCEBLACKWHITE.data(), 6);
  Tags.Ascii(TIFFTAG_COPYRIGHT, P.EXIF_COPYRIGHT);
  const Cardinal exif = WriteExifDirectory(Stream, Base, P, Progress, ForJPEG);
  if (Progress.Aborted()) return;
  Tags.Long(TIFFTAG_EXIFIFD, exif);
  if (!P.EXIF_GPSVERSIONID.empty()) {
    const Cardinal gps = WriteGpsDirectory(Stream, Base, P, Progress);
    if (Progress.Aborted()) return;
    Tags.Long(TIFFTAG_GPSIFD, gps);
  }
}

void TIFFWriteMetadataTags(TTagList& Tags, TIOParamsVals& Params) {
  if (Params.IPTC_LIST.GetCount() > 0) {
    std::vector<Byte> b;
    Params.IPTC_LIST.SaveToBuffer(b, false);
    if (!b.empty()) {
      // Stored as LONGs: the block is padded to whole LONGs so that the
      // count covers bytes that are really there.
      b.resize((b.size() + 3) / 4 * 4, 0);
      Tags.Add(TIFFTAG_IPTC, IETIFFTYPE_LONG, Cardinal(b.size() / 4),
               b.size() <= 4 ? TIFFGet32(b.data(), true) : Tags.Block(b.data(), b.size()));
    }
  }
  if (!Params.XMP_INFO.empty()) Tags.Bytes(TIFFTAG_XMP, IETIFFTYPE_BYTE, Params.XMP_INFO.data(), Params.XMP_INFO.size());
  if (Params.IMAGING_ANNOTATIONS && !Params.IMAGING_ANNOTATIONS->Objects.empty()) {
    std::vector<Byte> b;
    Params.IMAGING_ANNOTATIONS->SaveToBuffer(b);
    Tags.Bytes(TIFFTAG_IMAGINGANNOT, IETIFFTYPE_BYTE, b.data(), b.size());
  }
  TIEICC* icc = Params.INPUTICCPROFILE.get();
  if (icc && icc->IsValid() && !icc->Applied() && icc->RawLength() > 0)
    Tags.Bytes(TIFFTAG_ICCPROFILE, IETIFFTYPE_UNDEFINED, icc->Raw(), size_t(icc->RawLength()));
}
