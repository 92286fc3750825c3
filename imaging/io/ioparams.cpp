// Defaults, reset, deep copy and multi-field setters of the parameter record.
#include "imaging/io/ioparams.h"

#include <algorithm>
#include <cstring>

#include "imaging/io/ieformats.h"
#include "platform/base/strutils.h"
#include "platform/graphics/bitmap.h"

Integer IEDefaultDpiX = 300;
Integer IEDefaultDpiY = 300;
TIOParamsOwnerLink IEParamsOwnerLink;

namespace {

// The EXIF block header "Exif\0" at the start of an APP1 marker's data.
bool IsEXIFBlock(const void* Data, Integer Size) {
  return Data != nullptr && Size >= 5 && std::memcmp(Data, "Exif\0", 5) == 0;
}

void CopyStrings(TStringList& Dest, const TStringList& Source) {
  Dest.BeginUpdate();
  Dest.Clear();
  for (Integer i = 0; i < Source.Count(); ++i) Dest.Add(Source.Strings(i));
  Dest.EndUpdate();
}

// Dest becomes a copy of Source (created when missing), or nothing when
// Source is nil. The system sRGB profile is opened without bytes, so a
// byte copy of it would be an empty, unusable profile: it is opened again.
void CopyProfile(TIEICCPtr& Dest, const TIEICC* Source) {
  if (!Source) {
    Dest.reset();
    return;
  }
  if (!Dest) Dest.reset(new TIEICC);
  if (Source->IsValid() && Source->RawLength() == 0)
    Dest->LoadSRGB();
  else
    Dest->Assign(Source);
}

Integer ClampToInteger(int64_t V) {
  return static_cast<Integer>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
}

template <size_t N>
Double GetItem(const std::array<Double, N>& A, Integer Index) {
  return Index >= 0 && static_cast<size_t>(Index) < N ? A[Index] : -1.0;
}

template <size_t N>
void SetItem(std::array<Double, N>& A, Integer Index, Double Value) {
  if (Index >= 0 && static_cast<size_t>(Index) < N) A[Index] = Value;
}

}  // namespace

TIOParamsVals::TIOParamsVals(TZiduzUvIO* Owner) : OWNER(Owner) { SetDefaultParams(); }

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::FreeColorMap() {
  COLORMAP.reset();
  COLORMAPCOUNT = 0;
}

TIEImagingAnnot* TIOParamsVals::GetImagingAnnot() {
  if (!IMAGING_ANNOTATIONS) {
    IMAGING_ANNOTATIONS = std::make_unique<TIEImagingAnnot>();
    IMAGING_ANNOTATIONS->Parent = this;
  }
  return IMAGING_ANNOTATIONS.get();
}

TIEICC* TIOParamsVals::GetInputICCProfile() {
  if (!INPUTICCPROFILE) INPUTICCPROFILE.reset(new TIEICC);
  return INPUTICCPROFILE.get();
}

TIEICC* TIOParamsVals::GetOutputICCProfile() {
  if (!OUTPUTICCPROFILE) {
    OUTPUTICCPROFILE.reset(new TIEICC);
    OUTPUTICCPROFILE->LoadSRGB();
  }
  return OUTPUTICCPROFILE.get();
}

TIEICC* TIOParamsVals::GetDefaultICCProfile() {
  if (!DEFAULTICCPROFILE) DEFAULTICCPROFILE.reset(new TIEICC);
  return DEFAULTICCPROFILE.get();
}

// The owner's size and the default resolution come first, so that the EXIF
// resolutions SetDpiX/SetDpiY mirror are cleared with the EXIF group after
// them; TIFF_ORIENTATION starts at 1 and EXIF_ORIENTATION at 0 the same way.
// Fields outside the groups that are not named here (the JPEG warnings, the
// media-file counts, and the size without an owner's bitmap) stay as they are.
void TIOParamsVals::SetDefaultParams() {
  if (OWNER) {
    if (IEParamsOwnerLink.GetTBitmap) {
      if (TBitmap* bmp = IEParamsOwnerLink.GetTBitmap(OWNER)) {
        WIDTH = bmp->Width();
        HEIGHT = bmp->Height();
      }
    }
    SetDpiX(IEDefaultDpiX);
    SetDpiY(IEDefaultDpiY);
  }
  static_cast<TIOParamsFields&>(*this) = TIOParamsFields();
  FreeColorMap();
  GIF_COMMENTS.Clear();
  JPEG_MARKERS.Clear();
  PNG_TEXTKEYS.Clear();
  PNG_TEXTVALUES.Clear();
  DICOM_TAGS.Clear();
  IPTC_LIST.Clear();
  PNM_COMMENTS.Clear();
  ResetEXIF();
  IMAGING_ANNOTATIONS.reset();
  INPUTICCPROFILE.reset();
  OUTPUTICCPROFILE.reset();
  DEFAULTICCPROFILE.reset();
}

void TIOParamsVals::ResetInfo() {
  IPTC_LIST.Clear();
  IMAGING_ANNOTATIONS.reset();
  JPEG_MARKERS.Clear();
  ResetEXIF();
  GIF_COMMENTS.Clear();
  DICOM_TAGS.Clear();
  PNG_TEXTKEYS.Clear();
  PNG_TEXTVALUES.Clear();
  TIFF_DOCUMENTNAME.clear();
  TIFF_IMAGEDESCRIPTION.clear();
  TIFF_PAGENAME.clear();
  TGA_DESCRIPTOR.clear();
  TGA_AUTHOR.clear();
  TGA_IMAGENAME.clear();
  PNM_COMMENTS.Clear();
  XMP_INFO.clear();
  INPUTICCPROFILE.reset();
}

void TIOParamsVals::ResetEXIF() {
  EXIF_TAGSPRESENT.Clear();
  EXIF_THUMBNAIL.reset();
  static_cast<TIEEXIFFields&>(*this) = TIEEXIFFields();
  static_cast<TIEGPSFields&>(*this) = TIEGPSFields();
  EXIF_MAKERNOTE.Clear();
  // Only the first EXIF block goes; a second one is kept.
  for (Integer i = 0; i < JPEG_MARKERS.GetCount(); ++i) {
    if (JPEG_MARKERS.GetMarkerType(i) == 0xE1 &&
        IsEXIFBlock(JPEG_MARKERS.GetMarkerData(i), JPEG_MARKERS.GetMarkerLength(i))) {
      JPEG_MARKERS.DeleteMarker(i);
      break;
    }
  }
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& S = *Source;
  // Every group whole: a field added to a group needs no line here.
  static_cast<TIOParamsFields&>(*this) = S;
  WIDTH = S.WIDTH;
  HEIGHT = S.HEIGHT;
  // The resolution goes through the setters, which tell the owner's view;
  // they mirror the DPI into the EXIF resolutions, which end as the source's.
  SetDpiX(S.DPIX);
  SetDpiY(S.DPIY);
  EXIF_XRESOLUTION = S.EXIF_XRESOLUTION;
  EXIF_YRESOLUTION = S.EXIF_YRESOLUTION;
  // The index setter writes all six indexes, once per format group with the
  // cursor group last, so they all end with the source's cursor index.
  SetImageIndex(S.CUR_IMAGEINDEX);
  SetTIFFOrientation(S.TIFF_ORIENTATION);
  // Owned objects by content.
  CopyStrings(GIF_COMMENTS, S.GIF_COMMENTS);
  JPEG_MARKERS.Assign(&S.JPEG_MARKERS);
  CopyStrings(PNG_TEXTKEYS, S.PNG_TEXTKEYS);
  CopyStrings(PNG_TEXTVALUES, S.PNG_TEXTVALUES);
  DICOM_TAGS.Assign(&S.DICOM_TAGS);
  IPTC_LIST.Assign(&S.IPTC_LIST);
  if (S.IMAGING_ANNOTATIONS) {
    GetImagingAnnot()->Assign(S.IMAGING_ANNOTATIONS.get());
  } else {
    IMAGING_ANNOTATIONS.reset();
  }
  CopyStrings(PNM_COMMENTS, S.PNM_COMMENTS);
  EXIF_TAGSPRESENT.Assign(&S.EXIF_TAGSPRESENT);
  if (S.EXIF_THUMBNAIL) {
    if (!EXIF_THUMBNAIL) EXIF_THUMBNAIL = std::make_unique<TIEBitmap>();
    EXIF_THUMBNAIL->Assign(S.EXIF_THUMBNAIL.get());
  } else {
    EXIF_THUMBNAIL.reset();
  }
  EXIF_MAKERNOTE.Assign(&S.EXIF_MAKERNOTE);
  COLORMAP.reset();
  if (S.COLORMAP && S.COLORMAPCOUNT > 0) {
    COLORMAP = std::make_unique<TRGB[]>(S.COLORMAPCOUNT);
    std::copy_n(S.COLORMAP.get(), S.COLORMAPCOUNT, COLORMAP.get());
  }
  COLORMAPCOUNT = S.COLORMAPCOUNT;
  // Profiles by content; a source without one leaves the copy without one.
  CopyProfile(INPUTICCPROFILE, S.INPUTICCPROFILE.get());
  CopyProfile(OUTPUTICCPROFILE, S.OUTPUTICCPROFILE.get());
  CopyProfile(DEFAULTICCPROFILE, S.DEFAULTICCPROFILE.get());
}

void TIOParamsVals::AssignCompressionParams(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& S = *Source;
  BITSPERSAMPLE = S.BITSPERSAMPLE;
  SAMPLESPERPIXEL = S.SAMPLESPERPIXEL;
  TIFF_COMPRESSION = S.TIFF_COMPRESSION;
  TIFF_PHOTOMETINTEPRET = S.TIFF_PHOTOMETINTEPRET;
  TIFF_PLANARCONF = S.TIFF_PLANARCONF;
  SetTIFFOrientation(S.TIFF_ORIENTATION);
  TIFF_LZWDECOMPRESS = S.TIFF_LZWDECOMPRESS;
  TIFF_LZWCOMPRESS = S.TIFF_LZWCOMPRESS;
  TIFF_ENABLEADJUSTORIENTATION = S.TIFF_ENABLEADJUSTORIENTATION;
  TIFF_JPEGQUALITY = S.TIFF_JPEGQUALITY;
  TIFF_JPEGCOLORSPACE = S.TIFF_JPEGCOLORSPACE;
  TIFF_FILLORDER = S.TIFF_FILLORDER;
  TIFF_ZIPCOMPRESSION = S.TIFF_ZIPCOMPRESSION;
  GIF_INTERLACED = S.GIF_INTERLACED;
  GIF_LZWDECOMPRESS = S.GIF_LZWDECOMPRESS;
  GIF_LZWCOMPRESS = S.GIF_LZWCOMPRESS;
  JPEG_COLORSPACE = S.JPEG_COLORSPACE;
  JPEG_QUALITY = S.JPEG_QUALITY;
  JPEG_DCTMETHOD = S.JPEG_DCTMETHOD;
  JPEG_CROMASUBSAMPLING = S.JPEG_CROMASUBSAMPLING;
  JPEG_OPTIMALHUFFMAN = S.JPEG_OPTIMALHUFFMAN;
  JPEG_SMOOTH = S.JPEG_SMOOTH;
  JPEG_PROGRESSIVE = S.JPEG_PROGRESSIVE;
  J2000_COLORSPACE = S.J2000_COLORSPACE;
  J2000_RATE = S.J2000_RATE;
  J2000_SCALABLEBY = S.J2000_SCALABLEBY;
  PCX_VERSION = S.PCX_VERSION;
  PCX_COMPRESSION = S.PCX_COMPRESSION;
  BMP_VERSION = S.BMP_VERSION;
  BMP_COMPRESSION = S.BMP_COMPRESSION;
  BMP_HANDLETRANSPARENCY = S.BMP_HANDLETRANSPARENCY;
  PNG_INTERLACED = S.PNG_INTERLACED;
  PNG_FILTER = S.PNG_FILTER;
  PNG_COMPRESSION = S.PNG_COMPRESSION;
  TGA_COMPRESSED = S.TGA_COMPRESSED;
  TGA_GRAYLEVEL = S.TGA_GRAYLEVEL;
}

WideString TIOParamsVals::GetFileTypeStr() const {
  WideString s;
  if (auto info = IEFindFormatInfo(FILETYPE)) s = info->FullName;
  switch (FILETYPE) {
    case 1: {
      static const char* const kTIFF[] = {" (Uncompressed)",   " (Huffman)",
                                          " (Group 3 Fax)",    " (Group 3 Fax 2D)",
                                          " (Group 4 Fax)",    " (LZW-compressed)",
                                          " (Compression: JPEG v.5)", " (JPEG-compressed)",
                                          " (PackBits RLE)",   " (ZIP-compressed)",
                                          " (Deflate)"};
      if (TIFF_COMPRESSION <= 10) s += W(kTIFF[TIFF_COMPRESSION]);
      break;
    }
    case 2:
      if (GIF_INTERLACED) s += u" Interlaced";
      break;
    case 3: {
      static const char* const kJPEG[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (JPEG_COLORSPACE <= 4) s += W(kJPEG[JPEG_COLORSPACE]);
      break;
    }
    case 4:
      if (PCX_COMPRESSION == 0) s += u" Uncompressed";
      break;
    case 5: {
      static const char* const kBMP[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (BMP_VERSION <= 3) s += W(kBMP[BMP_VERSION]);
      break;
    }
    case 8:
      if (PNG_INTERLACED) s += u" Interlaced";
      break;
    case 11:
      s += TGA_COMPRESSED ? u" Compressed" : u" Uncompressed";
      break;
    case 13:
    case 14: {
      static const char* const kJ2K[] = {" Gray level", " RGB", " YCbCr"};
      if (J2000_COLORSPACE <= 2) s += W(kJ2K[J2000_COLORSPACE]);
      break;
    }
    case 20:
      s += u" (" + AnsiToWide(RAW_CAMERA) + u")";
      break;
    default:
      break;
  }
  return s;
}

// --- multi-field setters ---------------------------------------------------

void TIOParamsVals::SetDpiX(Integer Value) {
  DPIX = Value;
  EXIF_XRESOLUTION = Value;
  if (OWNER && IEParamsOwnerLink.SetViewDpiX) IEParamsOwnerLink.SetViewDpiX(OWNER, Value);
}

void TIOParamsVals::SetDpiY(Integer Value) {
  DPIY = Value;
  EXIF_YRESOLUTION = Value;
  if (OWNER && IEParamsOwnerLink.SetViewDpiY) IEParamsOwnerLink.SetViewDpiY(OWNER, Value);
}

void TIOParamsVals::SetImageIndex(Integer Value) {
  IMAGEINDEX = TIFF_IMAGEINDEX = DCX_IMAGEINDEX = GIF_IMAGEINDEX = ICO_IMAGEINDEX = CUR_IMAGEINDEX = Value;
}

void TIOParamsVals::SetImageCount(Integer Value) {
  IMAGECOUNT = TIFF_IMAGECOUNT = AVI_FRAMECOUNT = GIF_IMAGECOUNT = MEDIAFILE_FRAMECOUNT = Value;
}

void TIOParamsVals::SetEnableAdjustOrientation(bool Value) {
  ENABLEADJUSTORIENTATION = TIFF_ENABLEADJUSTORIENTATION = JPEG_ENABLEADJUSTORIENTATION = Value;
}

void TIOParamsVals::SetGetThumbnail(bool Value) {
  GETTHUMBNAIL = JPEG_GETEXIFTHUMBNAIL = RAW_GETEXIFTHUMBNAIL = Value;
}

void TIOParamsVals::SetJPEGGetExifThumbnail(bool Value) { GETTHUMBNAIL = JPEG_GETEXIFTHUMBNAIL = Value; }

void TIOParamsVals::SetRAWGetExifThumbnail(bool Value) { RAW_GETEXIFTHUMBNAIL = Value; }

void TIOParamsVals::SetTIFFOrientation(Integer Value) { TIFF_ORIENTATION = EXIF_ORIENTATION = Value; }

void TIOParamsVals::SetEXIFOrientation(Integer Value) { TIFF_ORIENTATION = EXIF_ORIENTATION = Value; }

void TIOParamsVals::SetEXIFXResolution(Double Value) {
  SetDpiX(ClampToInteger(Trunc(Value)));
  EXIF_XRESOLUTION = Value;
}

void TIOParamsVals::SetEXIFYResolution(Double Value) {
  SetDpiY(ClampToInteger(Trunc(Value)));
  EXIF_YRESOLUTION = Value;
}

// --- EXIF presence and items -------------------------------------------------

Integer TIOParamsVals::MarkEXIFTagSet(Integer Tag) {
  Integer i = EXIF_TAGSPRESENT.IndexOf(Tag);
  return i >= 0 ? i : EXIF_TAGSPRESENT.Add(Tag);
}

Integer TIOParamsVals::GetEXIFISOSpeedRating(Integer Index) const {
  return Index >= 0 && Index < 2 ? EXIF_ISOSPEEDRATINGS[Index] : 0;
}
void TIOParamsVals::SetEXIFISOSpeedRating(Integer Index, Integer Value) {
  if (Index >= 0 && Index < 2) EXIF_ISOSPEEDRATINGS[Index] = Value;
}
Double TIOParamsVals::GetEXIFWhitePoint(Integer Index) const { return GetItem(EXIF_WHITEPOINT, Index); }
void TIOParamsVals::SetEXIFWhitePoint(Integer Index, Double Value) { SetItem(EXIF_WHITEPOINT, Index, Value); }
Double TIOParamsVals::GetEXIFPrimaryChromaticities(Integer Index) const {
  return GetItem(EXIF_PRIMARYCHROMATICITIES, Index);
}
void TIOParamsVals::SetEXIFPrimaryChromaticities(Integer Index, Double Value) {
  SetItem(EXIF_PRIMARYCHROMATICITIES, Index, Value);
}
Double TIOParamsVals::GetEXIFYCbCrCoefficients(Integer Index) const {
  return GetItem(EXIF_YCBCRCOEFFICIENTS, Index);
}
void TIOParamsVals::SetEXIFYCbCrCoefficients(Integer Index, Double Value) {
  SetItem(EXIF_YCBCRCOEFFICIENTS, Index, Value);
}
Double TIOParamsVals::GetEXIFReferenceBlackWhite(Integer Index) const {
  return GetItem(EXIF_REFERENCEBLACKWHITE, Index);
}
void TIOParamsVals::SetEXIFReferenceBlackWhite(Integer Index, Double Value) {
  SetItem(EXIF_REFERENCEBLACKWHITE, Index, Value);
}

#define IE_TAG_SETTER(Name, Type, Field, Tag) \
  void TIOParamsVals::Name(Type Value) {      \
    Field = Value;                            \
    MarkEXIFTagSet(Tag);                      \
  }

IE_TAG_SETTER(SetEXIFExposureTime, Double, EXIF_EXPOSURETIME, IETAG_EXPOSURETIME)
IE_TAG_SETTER(SetEXIFFNumber, Double, EXIF_FNUMBER, IETAG_FNUMBER)
IE_TAG_SETTER(SetEXIFExposureProgram, Integer, EXIF_EXPOSUREPROGRAM, IETAG_EXPOSUREPROGRAM)
IE_TAG_SETTER(SetEXIFCompressedBitsPerPixel, Double, EXIF_COMPRESSEDBITSPERPIXEL, IETAG_COMPRESSEDBITSPERPIXEL)
IE_TAG_SETTER(SetEXIFShutterSpeedValue, Double, EXIF_SHUTTERSPEEDVALUE, IETAG_SHUTTERSPEEDVALUE)
IE_TAG_SETTER(SetEXIFApertureValue, Double, EXIF_APERTUREVALUE, IETAG_APERTUREVALUE)
IE_TAG_SETTER(SetEXIFBrightnessValue, Double, EXIF_BRIGHTNESSVALUE, IETAG_BRIGHTNESSVALUE)
IE_TAG_SETTER(SetEXIFExposureBiasValue, Double, EXIF_EXPOSUREBIASVALUE, IETAG_EXPOSUREBIASVALUE)
IE_TAG_SETTER(SetEXIFMaxApertureValue, Double, EXIF_MAXAPERTUREVALUE, IETAG_MAXAPERTUREVALUE)
IE_TAG_SETTER(SetEXIFSubjectDistance, Double, EXIF_SUBJECTDISTANCE, IETAG_SUBJECTDISTANCE)
IE_TAG_SETTER(SetEXIFMeteringMode, Integer, EXIF_METERINGMODE, IETAG_METERINGMODE)
IE_TAG_SETTER(SetEXIFLightSource, Integer, EXIF_LIGHTSOURCE, IETAG_LIGHTSOURCE)
IE_TAG_SETTER(SetEXIFFlash, Integer, EXIF_FLASH, IETAG_FLASH)
IE_TAG_SETTER(SetEXIFFocalLength, Double, EXIF_FOCALLENGTH, IETAG_FOCALLENGTH)
IE_TAG_SETTER(SetEXIFColorSpace, Integer, EXIF_COLORSPACE, IETAG_COLORSPACE)
IE_TAG_SETTER(SetEXIFExifImageWidth, Integer, EXIF_EXIFIMAGEWIDTH, IETAG_EXIFIMAGEWIDTH)
IE_TAG_SETTER(SetEXIFExifImageHeight, Integer, EXIF_EXIFIMAGEHEIGHT, IETAG_EXIFIMAGEHEIGHT)
IE_TAG_SETTER(SetEXIFFocalPlaneXResolution, Double, EXIF_FOCALPLANEXRESOLUTION, IETAG_FOCALPLANEXRESOLUTION)
IE_TAG_SETTER(SetEXIFFocalPlaneYResolution, Double, EXIF_FOCALPLANEYRESOLUTION, IETAG_FOCALPLANEYRESOLUTION)
IE_TAG_SETTER(SetEXIFFocalPlaneResolutionUnit, Integer, EXIF_FOCALPLANERESOLUTIONUNIT,
              IETAG_FOCALPLANERESOLUTIONUNIT)
IE_TAG_SETTER(SetEXIFExposureIndex, Double, EXIF_EXPOSUREINDEX, IETAG_EXPOSUREINDEX)
IE_TAG_SETTER(SetEXIFSensingMethod, Integer, EXIF_SENSINGMETHOD, IETAG_SENSINGMETHOD)
IE_TAG_SETTER(SetEXIFFileSource, Integer, EXIF_FILESOURCE, IETAG_FILESOURCE)
IE_TAG_SETTER(SetEXIFSceneType, Integer, EXIF_SCENETYPE, IETAG_SCENETYPE)

#undef IE_TAG_SETTER
