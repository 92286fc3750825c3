// Named access to the parameter record: every field a caller may want to read
// or set generically (plug-in parameter lists, property editors) as text.
#include <cstdint>
#include <cstring>

#include "imaging/core/base/iehelpers.h"
#include "imaging/io/ioparams.h"
#include "platform/base/dateutils.h"
#include "platform/base/strutils.h"

namespace ioparams_keys {
namespace {

enum TKind { kInt, kByte, kBool, kDouble, kColor, kText8, kText16, kDate, kFileTypeStr, kColorMapItem, kISOItem };

using TP = TIOParamsVals;

struct TKey {
  const char* Name;
  TKind Kind;
  bool ReadOnly = false;
  Integer IntDefault = 0;  // taken when the text is not a number
  Double DoubleDefault = 0.0;
  Integer TP::*I = nullptr;
  Byte TP::*B = nullptr;
  bool TP::*Bo = nullptr;
  Double TP::*D = nullptr;  // also the date, which is a Double
  TRGB TP::*C = nullptr;
  AnsiString TP::*T8 = nullptr;
  WideString TP::*T16 = nullptr;
  void (TP::*SetI)(Integer) = nullptr;
  void (TP::*SetBo)(bool) = nullptr;
  void (TP::*SetD)(Double) = nullptr;
  Integer Item = 0;
};

constexpr TKey K(const char* N, Integer TP::*F, Integer Def = 0, void (TP::*S)(Integer) = nullptr) {
  TKey k{N, kInt};
  k.I = F;
  k.IntDefault = Def;
  k.SetI = S;
  return k;
}
constexpr TKey K(const char* N, Byte TP::*F, Integer Def = 0) {
  TKey k{N, kByte};
  k.B = F;
  k.IntDefault = Def;
  return k;
}
constexpr TKey K(const char* N, bool TP::*F, void (TP::*S)(bool) = nullptr) {
  TKey k{N, kBool};
  k.Bo = F;
  k.SetBo = S;
  return k;
}
constexpr TKey K(const char* N, Double TP::*F, void (TP::*S)(Double) = nullptr, Double Def = 0.0) {
  TKey k{N, kDouble};
  k.D = F;
  k.SetD = S;
  k.DoubleDefault = Def;
  return k;
}
constexpr TKey K(const char* N, TRGB TP::*F) {
  TKey k{N, kColor};
  k.C = F;
  return k;
}
constexpr TKey K(const char* N, AnsiString TP::*F) {
  TKey k{N, kText8};
  k.T8 = F;
  return k;
}
constexpr TKey K(const char* N, WideString TP::*F) {
  TKey k{N, kText16};
  k.T16 = F;
  return k;
}
constexpr TKey ReadOnly(TKey k) {
  k.ReadOnly = true;
  return k;
}
constexpr TKey Date(const char* N, TDateTime TP::*F) {
  TKey k{N, kDate};
  k.D = F;
  return k;
}
constexpr TKey Special(const char* N, TKind Kind, Integer Item = 0) {
  TKey k{N, Kind};
  k.Item = Item;
  return k;
}

// Field and key share their name, except where a key says otherwise.
#define F(name) #name, &TP::name

const TKey kKeys[] = {
    ReadOnly(K(F(FILENAME))),
    ReadOnly(Special("FILETYPESTR", kFileTypeStr)),
    ReadOnly(K(F(FILETYPE))),
    K(F(BITSPERSAMPLE), 8),
    K(F(SAMPLESPERPIXEL), 8),
    K(F(WIDTH), 1),
    K(F(HEIGHT), 1),
    K(F(DPIX), 1, &TP::SetDpiX),
    K(F(DPIY), 1, &TP::SetDpiY),
    Special("COLORMAPITEM", kColorMapItem),
    ReadOnly(K(F(COLORMAPCOUNT))),
    K(F(ISNATIVEPIXELFORMAT)),
    K(F(ENABLEADJUSTORIENTATION), &TP::SetEnableAdjustOrientation),
    K(F(ORIGINALWIDTH)),
    K(F(ORIGINALHEIGHT)),
    K(F(IMAGEINDEX), 0, &TP::SetImageIndex),
    K(F(IMAGECOUNT), 0, &TP::SetImageCount),
    K(F(GETTHUMBNAIL), &TP::SetGetThumbnail),
    // TIFF
    K(F(TIFF_COMPRESSION)),
    K(F(TIFF_IMAGEINDEX), 0, &TP::SetImageIndex),
    K(F(TIFF_SUBINDEX)),
    ReadOnly(K(F(TIFF_IMAGECOUNT))),
    K(F(TIFF_JPEGQUALITY)),
    K(F(TIFF_ZIPCOMPRESSION)),
    K(F(TIFF_PHOTOMETINTEPRET)),
    K(F(TIFF_PLANARCONF)),
    K(F(TIFF_XPOS)),
    K(F(TIFF_YPOS)),
    K(F(TIFF_GETTILE), -1),
    K(F(TIFF_DOCUMENTNAME)),
    K(F(TIFF_IMAGEDESCRIPTION)),
    K(F(TIFF_PAGENAME)),
    K(F(TIFF_PAGENUMBER)),
    K(F(TIFF_PAGECOUNT)),
    K(F(TIFF_JPEGCOLORSPACE)),
    K(F(TIFF_FILLORDER), 1),
    K(F(TIFF_ORIENTATION), 1, &TP::SetTIFFOrientation),
    K(F(TIFF_ENABLEADJUSTORIENTATION)),
    K(F(TIFF_BYTEORDER), 1),
    K(F(DCX_IMAGEINDEX), 0, &TP::SetImageIndex),
    // GIF
    K(F(GIF_VERSION)),
    K(F(GIF_IMAGEINDEX), 0, &TP::SetImageIndex),
    ReadOnly(K(F(GIF_IMAGECOUNT))),
    K(F(GIF_XPOS)),
    K(F(GIF_YPOS)),
    K(F(GIF_DELAYTIME)),
    K(F(GIF_TRANSPARENT)),
    K(F(GIF_TRANSPCOLOR)),
    K(F(GIF_INTERLACED)),
    K(F(GIF_WINWIDTH)),
    K(F(GIF_WINHEIGHT)),
    K(F(GIF_BACKGROUND)),
    K(F(GIF_RATIO)),
    // JPEG
    K(F(JPEG_COLORSPACE)),
    K(F(JPEG_QUALITY)),
    K(F(JPEG_DCTMETHOD)),
    K(F(JPEG_OPTIMALHUFFMAN)),
    K(F(JPEG_SMOOTH)),
    K(F(JPEG_PROGRESSIVE)),
    K(F(JPEG_SCALE_USED)),
    K(F(JPEG_SCALE)),
    K(F(JPEG_ENABLEADJUSTORIENTATION)),
    K(F(JPEG_GETEXIFTHUMBNAIL), &TP::SetJPEGGetExifThumbnail),
    K(F(JPEG_WARNINGTOT)),
    K(F(JPEG_WARNINGCODE)),
    K("JPEG_ORIGINALWIDTH", &TP::ORIGINALWIDTH),
    K("JPEG_ORIGINALHEIGHT", &TP::ORIGINALHEIGHT),
    K(F(JPEG_CROMASUBSAMPLING), 1),
    // PCX, BMP, headerless raw
    K(F(PCX_VERSION)),
    K(F(PCX_COMPRESSION)),
    K(F(BMP_VERSION)),
    K(F(BMP_COMPRESSION)),
    K(F(BMP_HANDLETRANSPARENCY)),
    K(F(BMPRAW_CHANNELORDER)),
    K(F(BMPRAW_PLANES)),
    K(F(BMPRAW_ROWALIGN), 8),
    K(F(BMPRAW_HEADERSIZE)),
    K(F(BMPRAW_DATAFORMAT)),
    // icons and cursors
    K(F(ICO_IMAGEINDEX), 0, &TP::SetImageIndex),
    K(F(ICO_BACKGROUND)),
    K(F(CUR_IMAGEINDEX), 0, &TP::SetImageIndex),
    K(F(CUR_XHOTSPOT)),
    K(F(CUR_YHOTSPOT)),
    K(F(CUR_BACKGROUND)),
    // PNG, PSD, HD Photo
    K(F(PNG_INTERLACED)),
    K(F(PNG_BACKGROUND)),
    K(F(PNG_FILTER)),
    K(F(PNG_COMPRESSION), 1),
    K(F(PSD_LOADLAYERS)),
    K(F(PSD_REPLACELAYERS)),
    ReadOnly(K(F(PSD_HASPREMULTIPLIEDALPHA))),
    K(F(HDP_IMAGEQUALITY), nullptr, 0.9),
    K(F(HDP_LOSSLESS)),
    // TGA
    K(F(TGA_XPOS)),
    K(F(TGA_YPOS)),
    K(F(TGA_COMPRESSED)),
    K(F(TGA_DESCRIPTOR)),
    K(F(TGA_AUTHOR)),
    Date(F(TGA_DATE)),
    K(F(TGA_IMAGENAME)),
    K(F(TGA_BACKGROUND)),
    K(F(TGA_ASPECTRATIO)),
    K(F(TGA_GAMMA)),
    K(F(TGA_GRAYLEVEL)),
    // JPEG 2000, PostScript, PDF
    K(F(J2000_COLORSPACE)),
    K(F(J2000_RATE)),
    K(F(J2000_SCALABLEBY)),
    K(F(PS_PAPERWIDTH), 595),
    K(F(PS_PAPERHEIGHT), 842),
    K(F(PS_COMPRESSION)),
    K(F(PS_TITLE)),
    K(F(PDF_PAPERWIDTH), 595),
    K(F(PDF_PAPERHEIGHT), 842),
    K(F(PDF_COMPRESSION)),
    K(F(PDF_TITLE)),
    K(F(PDF_AUTHOR)),
    K(F(PDF_SUBJECT)),
    K(F(PDF_KEYWORDS)),
    K(F(PDF_CREATOR)),
    K(F(PDF_PRODUCER)),
    // EXIF
    K(F(EXIF_HASEXIF)),
    K(F(EXIF_IMAGEDESCRIPTION)),
    K(F(EXIF_MAKE)),
    K(F(EXIF_MODEL)),
    K(F(EXIF_ORIENTATION), 0, &TP::SetEXIFOrientation),
    K(F(EXIF_XRESOLUTION), &TP::SetEXIFXResolution),
    K(F(EXIF_YRESOLUTION), &TP::SetEXIFYResolution),
    K(F(EXIF_RESOLUTIONUNIT)),
    K(F(EXIF_SOFTWARE)),
    K(F(EXIF_DATETIME)),
    K(F(EXIF_COPYRIGHT)),
    K(F(EXIF_EXPOSURETIME), &TP::SetEXIFExposureTime),
    K(F(EXIF_FNUMBER), &TP::SetEXIFFNumber),
    K(F(EXIF_EXPOSUREPROGRAM), 0, &TP::SetEXIFExposureProgram),
    K(F(EXIF_EXIFVERSION)),
    K(F(EXIF_DATETIMEORIGINAL)),
    K(F(EXIF_DATETIMEDIGITIZED)),
    K(F(EXIF_COMPRESSEDBITSPERPIXEL), &TP::SetEXIFCompressedBitsPerPixel),
    K(F(EXIF_SHUTTERSPEEDVALUE), &TP::SetEXIFShutterSpeedValue),
    K(F(EXIF_APERTUREVALUE), &TP::SetEXIFApertureValue),
    K(F(EXIF_BRIGHTNESSVALUE), &TP::SetEXIFBrightnessValue),
    K(F(EXIF_EXPOSUREBIASVALUE), &TP::SetEXIFExposureBiasValue),
    K(F(EXIF_MAXAPERTUREVALUE), &TP::SetEXIFMaxApertureValue),
    K(F(EXIF_SUBJECTDISTANCE), &TP::SetEXIFSubjectDistance),
    K(F(EXIF_METERINGMODE), 0, &TP::SetEXIFMeteringMode),
    K(F(EXIF_LIGHTSOURCE), 0, &TP::SetEXIFLightSource),
    K(F(EXIF_FLASH), 0, &TP::SetEXIFFlash),
    K(F(EXIF_FOCALLENGTH), &TP::SetEXIFFocalLength),
    K(F(EXIF_SUBSECTIME)),
    K(F(EXIF_SUBSECTIMEORIGINAL)),
    K(F(EXIF_SUBSECTIMEDIGITIZED)),
    K(F(EXIF_FLASHPIXVERSION)),
    K(F(EXIF_COLORSPACE), 0, &TP::SetEXIFColorSpace),
    K(F(EXIF_EXIFIMAGEWIDTH), 0, &TP::SetEXIFExifImageWidth),
    K(F(EXIF_EXIFIMAGEHEIGHT), 0, &TP::SetEXIFExifImageHeight),
    K(F(EXIF_RELATEDSOUNDFILE)),
    K(F(EXIF_FOCALPLANEXRESOLUTION), &TP::SetEXIFFocalPlaneXResolution),
    K(F(EXIF_FOCALPLANEYRESOLUTION), &TP::SetEXIFFocalPlaneYResolution),
    K(F(EXIF_FOCALPLANERESOLUTIONUNIT), 0, &TP::SetEXIFFocalPlaneResolutionUnit),
    K(F(EXIF_EXPOSUREINDEX), &TP::SetEXIFExposureIndex),
    K(F(EXIF_SENSINGMETHOD), 0, &TP::SetEXIFSensingMethod),
    K(F(EXIF_FILESOURCE), 0, &TP::SetEXIFFileSource),
    K(F(EXIF_SCENETYPE), 0, &TP::SetEXIFSceneType),
    K(F(EXIF_USERCOMMENT)),
    K(F(EXIF_USERCOMMENTCODE)),
    K(F(EXIF_EXPOSUREMODE)),
    K(F(EXIF_WHITEBALANCE)),
    K(F(EXIF_DIGITALZOOMRATIO)),
    K(F(EXIF_FOCALLENGTHIN35MMFILM)),
    K(F(EXIF_SCENECAPTURETYPE)),
    K(F(EXIF_GAINCONTROL)),
    K(F(EXIF_CONTRAST)),
    K(F(EXIF_SATURATION)),
    K(F(EXIF_SHARPNESS)),
    K(F(EXIF_SUBJECTDISTANCERANGE)),
    K(F(EXIF_IMAGEUNIQUEID)),
    K(F(EXIF_ARTIST)),
    Special("EXIF_ISOSPEEDRATINGS0", kISOItem, 0),
    Special("EXIF_ISOSPEEDRATINGS1", kISOItem, 1),
    K(F(EXIF_XPRATING), -1),
    K(F(EXIF_XPTITLE)),
    K(F(EXIF_XPCOMMENT)),
    K(F(EXIF_XPAUTHOR)),
    K(F(EXIF_XPKEYWORDS)),
    K(F(EXIF_XPSUBJECT)),
    // GPS
    K(F(EXIF_GPSVERSIONID)),
    K(F(EXIF_GPSLATITUDEREF)),
    K(F(EXIF_GPSLATITUDEDEGREES)),
    K(F(EXIF_GPSLATITUDEMINUTES)),
    K(F(EXIF_GPSLATITUDESECONDS)),
    K(F(EXIF_GPSLONGITUDEREF)),
    K(F(EXIF_GPSLONGITUDEDEGREES)),
    K(F(EXIF_GPSLONGITUDEMINUTES)),
    K(F(EXIF_GPSLONGITUDESECONDS)),
    K(F(EXIF_GPSALTITUDEREF)),
    K(F(EXIF_GPSALTITUDE)),
    K(F(EXIF_GPSTIMESTAMPHOUR)),
    K(F(EXIF_GPSTIMESTAMPMINUTE)),
    K(F(EXIF_GPSTIMESTAMPSECOND)),
    K(F(EXIF_GPSSATELLITES)),
    K(F(EXIF_GPSSTATUS)),
    K(F(EXIF_GPSMEASUREMODE)),
    K(F(EXIF_GPSDOP)),
    K(F(EXIF_GPSSPEEDREF)),
    K(F(EXIF_GPSSPEED)),
    K(F(EXIF_GPSTRACKREF)),
    K(F(EXIF_GPSTRACK)),
    K(F(EXIF_GPSIMGDIRECTIONREF)),
    K(F(EXIF_GPSIMGDIRECTION)),
    K(F(EXIF_GPSMAPDATUM)),
    K(F(EXIF_GPSDESTLATITUDEREF)),
    K(F(EXIF_GPSDESTLATITUDEDEGREES)),
    K(F(EXIF_GPSDESTLATITUDEMINUTES)),
    K(F(EXIF_GPSDESTLATITUDESECONDS)),
    K(F(EXIF_GPSDESTLONGITUDEREF)),
    K(F(EXIF_GPSDESTLONGITUDEDEGREES)),
    K(F(EXIF_GPSDESTLONGITUDEMINUTES)),
    K(F(EXIF_GPSDESTLONGITUDESECONDS)),
    K(F(EXIF_GPSDESTBEARINGREF)),
    K(F(EXIF_GPSDESTBEARING)),
    K(F(EXIF_GPSDESTDISTANCEREF)),
    K(F(EXIF_GPSDESTDISTANCE)),
    K(F(EXIF_GPSDATESTAMP)),
    // camera RAW
    K(F(RAW_HALFSIZE)),
    K(F(RAW_GAMMA)),
    K(F(RAW_BRIGHT)),
    K(F(RAW_REDSCALE)),
    K(F(RAW_BLUESCALE)),
    K(F(RAW_QUICKINTERPOLATE)),
    K(F(RAW_USEAUTOWB)),
    K(F(RAW_USECAMERAWB)),
    K(F(RAW_FOURCOLORRGB)),
    K(F(RAW_CAMERA)),
    K(F(RAW_GETEXIFTHUMBNAIL), &TP::SetRAWGetExifThumbnail),
    K(F(RAW_AUTOADJUSTCOLORS)),
    K(F(RAW_EXTRAPARAMS)),
    // media files, XMP
    K(F(MEDIAFILE_FRAMECOUNT)),
    K(F(MEDIAFILE_FRAMEDELAYTIME)),
    K(F(XMP_INFO)),
};

#undef F

constexpr const char* kInvalid = "INVALID PROPERTY";
constexpr size_t kColorMapPrefix = 12;  // strlen("COLORMAPITEM")

// Keys and values arrive from text channels that may carry line ends and
// other control characters; none of them is part of a key or a value.
WideString StripControls(const WideString& S) {
  WideString r;
  r.reserve(S.size());
  for (char16_t c : S)
    if (c >= 32 && c != 127) r += c;
  return r;
}

// Keys are ASCII: a key with any other character matches nothing.
AnsiString KeyName(const WideString& Key) {
  AnsiString r;
  for (char16_t c : StripControls(Key)) {
    if (c > 126) return AnsiString();
    r += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
  }
  return r;
}

const TKey* FindKey(const AnsiString& Name) {
  if (Name.compare(0, kColorMapPrefix, "COLORMAPITEM") == 0 && Name.size() >= kColorMapPrefix) {
    for (const TKey& k : kKeys)
      if (k.Kind == kColorMapItem) return &k;
  }
  for (const TKey& k : kKeys)
    if (Name == k.Name) return &k;
  return nullptr;
}

bool IsUtf8(const AnsiString& S) {
  const size_t n = S.size();
  size_t i = 0;
  while (i < n) {
    const auto c = static_cast<unsigned char>(S[i]);
    size_t extra = 0;
    if (c < 0x80)
      extra = 0;
    else if (c >= 0xC2 && c <= 0xDF)
      extra = 1;
    else if ((c & 0xF0) == 0xE0)
      extra = 2;
    else if (c >= 0xF0 && c <= 0xF4)
      extra = 3;
    else
      return false;
    if (extra > n - i - 1) return false;
    for (size_t j = 1; j <= extra; ++j)
      if ((static_cast<unsigned char>(S[i + j]) & 0xC0) != 0x80) return false;
    i += extra + 1;
  }
  return true;
}

// 8-bit fields hold bytes. Across the text boundary they travel as UTF-8,
// the code page of the system; bytes that are no UTF-8 (an old file's
// Windows-1252 text) are shown by that code page rather than dropped.
WideString Text8ToWide(const AnsiString& S) { return IsUtf8(S) ? Utf8ToWide(S) : IEAnsiToWide(S); }

// Integers in decimal; a text that does not read as one (or does not fit
// the field) gives the key's default.
Integer ParseInt(const WideString& S, Integer Default, Integer Min, Integer Max) {
  Integer v = 0;
  if (!TryStrToInt(S, v) || v < Min || v > Max) return Default;
  return v;
}

bool ParseBool(const WideString& S) {
  const WideString u = UpperCase(S);
  return u == u"1" || u == u"TRUE" || u == u"T";
}

// The locale's own separator first, then the other of "," and "." once:
// the same text reads the same under every locale.
Double ParseDouble(const WideString& S, Double Default) {
  Double v = 0.0;
  if (TryStrToFloat(S, v, LocaleDecimalSeparator())) return v;
  WideString t = S;
  size_t p = t.find(u',');
  if (p != WideString::npos)
    t[p] = u'.';
  else if ((p = t.find(u'.')) != WideString::npos)
    t[p] = u',';
  else
    return Default;
  if (TryStrToFloat(t, v, LocaleDecimalSeparator())) return v;
  return Default;
}

WideString ColorToText(const TRGB& C) { return IntToStr(C.r) + u"," + IntToStr(C.g) + u"," + IntToStr(C.b); }

// Red, green, blue; a missing or unreadable part is 0 and a part outside a
// byte is 0 too rather than some wrapped-around value.
TRGB ParseColor(const WideString& S) {
  Byte parts[3] = {0, 0, 0};
  size_t start = 0;
  for (int i = 0; i < 3 && start <= S.size(); ++i) {
    size_t end = S.find(u',', start);
    if (end == WideString::npos) end = S.size();
    parts[i] = static_cast<Byte>(ParseInt(Trim(S.substr(start, end - start)), 0, 0, 255));
    start = end + 1;
  }
  return TRGB{parts[2], parts[1], parts[0]};
}

// "COLORMAPITEM" followed by the entry's index; no number reads as 0.
Integer ColorMapIndex(const AnsiString& Name) {
  Integer i = 0;
  if (!TryStrToInt(Utf8ToWide(Name.substr(kColorMapPrefix)), i)) i = 0;
  return i;
}

}  // namespace
}  // namespace ioparams_keys

using namespace ioparams_keys;

WideString TIOParamsVals::GetProperty(const WideString& Prop) const {
  const AnsiString name = KeyName(Prop);
  const TKey* k = FindKey(name);
  if (!k) return Utf8ToWide(kInvalid);
  switch (k->Kind) {
    case kInt:
      return IntToStr(this->*(k->I));
    case kByte:
      return IntToStr(this->*(k->B));
    case kBool:
      return this->*(k->Bo) ? u"1" : u"0";
    case kDouble:
      // Always "." so that a value written under one locale reads under any.
      return FloatToStr(this->*(k->D));
    case kColor:
      return ColorToText(this->*(k->C));
    case kText8:
      return Text8ToWide(this->*(k->T8));
    case kText16:
      return this->*(k->T16);
    case kDate:
      return DateToStr(this->*(k->D));
    case kFileTypeStr:
      return GetFileTypeStr();
    case kColorMapItem: {
      // Only entries the map holds; no map answers nothing.
      const Integer i = ColorMapIndex(name);
      if (!COLORMAP || i < 0 || i >= COLORMAPCOUNT) return WideString();
      return ColorToText(COLORMAP[i]);
    }
    case kISOItem:
      return IntToStr(GetEXIFISOSpeedRating(k->Item));
  }
  return WideString();
}

void TIOParamsVals::SetProperty(const WideString& Prop, const WideString& Value) {
  const AnsiString name = KeyName(Prop);
  const TKey* k = FindKey(name);
  if (!k || k->ReadOnly) return;
  const WideString v = StripControls(Value);
  switch (k->Kind) {
    case kInt: {
      const Integer i = ParseInt(v, k->IntDefault, INT32_MIN, INT32_MAX);
      if (k->SetI)
        (this->*(k->SetI))(i);
      else
        this->*(k->I) = i;
      break;
    }
    case kByte:
      this->*(k->B) = static_cast<Byte>(ParseInt(v, k->IntDefault, 0, 255));
      break;
    case kBool:
      if (k->SetBo)
        (this->*(k->SetBo))(ParseBool(v));
      else
        this->*(k->Bo) = ParseBool(v);
      break;
    case kDouble: {
      const Double d = ParseDouble(v, k->DoubleDefault);
      if (k->SetD)
        (this->*(k->SetD))(d);
      else
        this->*(k->D) = d;
      break;
    }
    case kColor:
      this->*(k->C) = ParseColor(v);
      break;
    case kText8:
      this->*(k->T8) = WideToUtf8(v);
      break;
    case kText16:
      this->*(k->T16) = v;
      break;
    case kDate: {
      TDateTime d = 0;
      if (TryStrToDate(v, d)) this->*(k->D) = d;
      break;
    }
    case kColorMapItem: {
      const Integer i = ColorMapIndex(name);
      if (COLORMAP && i >= 0 && i < COLORMAPCOUNT) COLORMAP[i] = ParseColor(v);
      break;
    }
    case kISOItem:
      SetEXIFISOSpeedRating(k->Item, ParseInt(v, 0, INT32_MIN, INT32_MAX));
      break;
    case kFileTypeStr:
      break;
  }
}
