// The per-image parameter record that travels with every load and save: what
// a reader found in the file, and the options a writer takes. Besides typed
// fields it owns the variable-length metadata (markers, IPTC, DICOM tags,
// annotations, the EXIF maker note and thumbnail, colour profiles).
#pragma once

#include <array>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/meta/ieiptc.h"
#include "imaging/core/base/ielists.h"
#include "imaging/core/meta/iemarkers.h"
#include "imaging/core/meta/iemetarecords.h"
#include "imaging/core/meta/ietifftags.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/io/ielzwhooks.h"
#include "platform/base/dateutils.h"
#include "platform/base/lists.h"
#include "platform/graphics/windef.h"

class TZiduzUvIO;
class TBitmap;

// The library's default resolution, given to pictures whose file carries none.
extern Integer IEDefaultDpiX;
extern Integer IEDefaultDpiY;

// What the record needs of its owning I/O companion: the platform bitmap the
// companion works on (nil when none), and the resolution of the single-image
// view it is attached to, set without a repaint (nothing when there is no such
// view). The companion's module installs these; while it is not linked an
// owner has neither.
struct TIOParamsOwnerLink {
  TBitmap* (*GetTBitmap)(TZiduzUvIO* Owner) = nullptr;
  void (*SetViewDpiX)(TZiduzUvIO* Owner, Integer Dpi) = nullptr;
  void (*SetViewDpiY)(TZiduzUvIO* Owner, Integer Dpi) = nullptr;
};
extern TIOParamsOwnerLink IEParamsOwnerLink;


// EXIF tags of the fields whose setters mark them present.
enum : Integer {
  IETAG_EXPOSURETIME = 33434,
  IETAG_FNUMBER = 33437,
  IETAG_EXPOSUREPROGRAM = 34850,
  IETAG_COMPRESSEDBITSPERPIXEL = 37122,
  IETAG_SHUTTERSPEEDVALUE = 37377,
  IETAG_APERTUREVALUE = 37378,
  IETAG_BRIGHTNESSVALUE = 37379,
  IETAG_EXPOSUREBIASVALUE = 37380,
  IETAG_MAXAPERTUREVALUE = 37381,
  IETAG_SUBJECTDISTANCE = 37382,
  IETAG_METERINGMODE = 37383,
  IETAG_LIGHTSOURCE = 37384,
  IETAG_FLASH = 37385,
  IETAG_FOCALLENGTH = 37386,
  IETAG_COLORSPACE = 40961,
  IETAG_EXIFIMAGEWIDTH = 40962,
  IETAG_EXIFIMAGEHEIGHT = 40963,
  IETAG_FOCALPLANEXRESOLUTION = 41486,
  IETAG_FOCALPLANEYRESOLUTION = 41487,
  IETAG_FOCALPLANERESOLUTIONUNIT = 41488,
  IETAG_EXPOSUREINDEX = 41493,
  IETAG_SENSINGMETHOD = 41495,
  IETAG_FILESOURCE = 41728,
  IETAG_SCENETYPE = 41729,
};

constexpr TRGB IEBlackRGB{0, 0, 0};
constexpr TRGB IEWhiteRGB{255, 255, 255};

// The plain fields of the record, one group per format. Each group carries
// its defaults in its member initializers, copies with its default copy
// assignment and compares with its defaulted ==, so that Assign (which copies
// every group whole) and SetDefaultParams (which gives every group a
// default-constructed value) cannot miss a field added to a group. Fields
// with other rules (owned objects, fields written through setters, fields
// that are neither copied nor reset) are members of TIOParamsVals itself.

struct TIECommonFields {
  Integer BITSPERSAMPLE = 8;
  WideString FILENAME;
  Integer SAMPLESPERPIXEL = 3;
  Integer FILETYPE = 0;
  Integer IMAGEINDEX = 0;  // write through SetImageIndex
  Integer IMAGECOUNT = 0;
  bool GETTHUMBNAIL = false;
  bool ENABLEADJUSTORIENTATION = false;
  Integer ORIGINALWIDTH = 0, ORIGINALHEIGHT = 0;
  bool ISNATIVEPIXELFORMAT = false;
  bool operator==(const TIECommonFields&) const = default;
};

struct TIETIFFFields {
  Byte TIFF_COMPRESSION = 0;
  Integer TIFF_IMAGEINDEX = 0;
  Integer TIFF_SUBINDEX = -1;
  Byte TIFF_PHOTOMETINTEPRET = 2;
  Integer TIFF_PLANARCONF = 1;
  Integer TIFF_XPOS = 0, TIFF_YPOS = 0;
  Integer TIFF_GETTILE = -1;
  AnsiString TIFF_DOCUMENTNAME, TIFF_IMAGEDESCRIPTION, TIFF_PAGENAME;
  Integer TIFF_PAGENUMBER = -1, TIFF_PAGECOUNT = -1;
  Integer TIFF_ORIENTATION = 1;  // kept equal to EXIF_ORIENTATION by the setters
  // The library's LZW routines at the time the group is made.
  TIETIFFLZWDecompressFunc TIFF_LZWDECOMPRESS = IETIFFLZWDecompressProc;
  TIETIFFLZWCompressFunc TIFF_LZWCOMPRESS = IETIFFLZWCompressProc;
  bool TIFF_ENABLEADJUSTORIENTATION = false;
  Integer TIFF_JPEGQUALITY = 80;
  Byte TIFF_JPEGCOLORSPACE = 2;
  Integer TIFF_ZIPCOMPRESSION = 1;
  Integer TIFF_IMAGECOUNT = 0;
  Integer TIFF_FILLORDER = 1;
  Byte TIFF_BYTEORDER = 1;
  bool operator==(const TIETIFFFields&) const = default;
};

struct TIEDCXFields {
  Integer DCX_IMAGEINDEX = 0;
  bool operator==(const TIEDCXFields&) const = default;
};

struct TIEGIFFields {
  AnsiString GIF_VERSION = "GIF89a";
  Integer GIF_IMAGEINDEX = 0;
  Integer GIF_XPOS = 0, GIF_YPOS = 0;
  Integer GIF_DELAYTIME = 0;
  bool GIF_TRANSPARENT = false;
  TRGB GIF_TRANSPCOLOR = IEBlackRGB;
  bool GIF_INTERLACED = false;
  Integer GIF_WINWIDTH = 0, GIF_WINHEIGHT = 0;
  TRGB GIF_BACKGROUND = IEBlackRGB;
  Integer GIF_RATIO = 0;
  Byte GIF_DISPOSAL = 2;
  TIEGIFLZWDecompressFunc GIF_LZWDECOMPRESS = IEGIFLZWDecompressProc;
  TIEGIFLZWCompressFunc GIF_LZWCOMPRESS = IEGIFLZWCompressProc;
  Integer GIF_IMAGECOUNT = 0;
  bool operator==(const TIEGIFFields&) const = default;
};

struct TIEJPEGFields {
  Byte JPEG_COLORSPACE = 2;
  Integer JPEG_QUALITY = 80;
  Byte JPEG_DCTMETHOD = 0;
  Byte JPEG_CROMASUBSAMPLING = 1;
  bool JPEG_OPTIMALHUFFMAN = false;
  Integer JPEG_SMOOTH = 0;
  bool JPEG_PROGRESSIVE = false;
  Byte JPEG_SCALE = 1;
  Integer JPEG_SCALE_USED = 1;
  bool JPEG_ENABLEADJUSTORIENTATION = false;
  bool JPEG_GETEXIFTHUMBNAIL = false;
  bool operator==(const TIEJPEGFields&) const = default;
};

struct TIEJ2000Fields {
  Byte J2000_COLORSPACE = 1;
  Double J2000_RATE = 1.0;
  Byte J2000_SCALABLEBY = 0;
  bool operator==(const TIEJ2000Fields&) const = default;
};

struct TIEPCXFields {
  Integer PCX_VERSION = 5;
  Byte PCX_COMPRESSION = 1;
  bool operator==(const TIEPCXFields&) const = default;
};

struct TIEBMPFields {
  Byte BMP_VERSION = 1;
  Byte BMP_COMPRESSION = 0;
  bool BMP_HANDLETRANSPARENCY = false;
  bool operator==(const TIEBMPFields&) const = default;
};

struct TIEICOFields {
  Integer ICO_IMAGEINDEX = 0;
  TRGB ICO_BACKGROUND = IEWhiteRGB;
  // The writer's sizes: one 64 x 64 icon of 8 bits unless told otherwise.
  std::array<TSize, 16> ICO_SIZES{TSize(64, 64)};
  std::array<Integer, 16> ICO_BITDEPTHS{8};
  bool operator==(const TIEICOFields&) const = default;
};

struct TIECURFields {
  Integer CUR_IMAGEINDEX = 0;
  Integer CUR_XHOTSPOT = 0, CUR_YHOTSPOT = 0;
  TRGB CUR_BACKGROUND = IEWhiteRGB;
  bool operator==(const TIECURFields&) const = default;
};

struct TIEPNGFields {
  bool PNG_INTERLACED = false;
  TRGB PNG_BACKGROUND = IEBlackRGB;
  Byte PNG_FILTER = 0;
  Integer PNG_COMPRESSION = 5;
  bool operator==(const TIEPNGFields&) const = default;
};

struct TIETGAFields {
  Integer TGA_XPOS = 0, TGA_YPOS = 0;
  bool TGA_COMPRESSED = true;
  AnsiString TGA_DESCRIPTOR, TGA_AUTHOR;
  TDateTime TGA_DATE = Date();  // the day the group is made
  AnsiString TGA_IMAGENAME;
  TRGB TGA_BACKGROUND = IEBlackRGB;
  Double TGA_ASPECTRATIO = 1.0;
  Double TGA_GAMMA = 2.2;
  bool TGA_GRAYLEVEL = false;
  bool operator==(const TIETGAFields&) const = default;
};

// The EXIF fields with their reset values (absent: -1 and -1.0 where the
// field has such a value).
struct TIEEXIFFields {
  bool EXIF_HASEXIF = false;
  Integer EXIF_ORIENTATION = 0;  // kept equal to TIFF_ORIENTATION by the setters
  AnsiString EXIF_IMAGEDESCRIPTION, EXIF_MAKE, EXIF_MODEL;
  Double EXIF_XRESOLUTION = 0.0, EXIF_YRESOLUTION = 0.0;
  Integer EXIF_RESOLUTIONUNIT = 0;
  AnsiString EXIF_SOFTWARE, EXIF_ARTIST, EXIF_DATETIME;
  std::array<Double, 2> EXIF_WHITEPOINT{-1.0, -1.0};
  std::array<Double, 6> EXIF_PRIMARYCHROMATICITIES{-1.0, -1.0, -1.0, -1.0, -1.0, -1.0};
  std::array<Double, 3> EXIF_YCBCRCOEFFICIENTS{-1.0, -1.0, -1.0};
  Integer EXIF_YCBCRPOSITIONING = 0;
  std::array<Double, 6> EXIF_REFERENCEBLACKWHITE{-1.0, -1.0, -1.0, -1.0, -1.0, -1.0};
  AnsiString EXIF_COPYRIGHT;
  Double EXIF_EXPOSURETIME = 0.0, EXIF_FNUMBER = 0.0;
  Integer EXIF_EXPOSUREPROGRAM = 0;
  std::array<Integer, 2> EXIF_ISOSPEEDRATINGS{};
  AnsiString EXIF_EXIFVERSION;
  AnsiString EXIF_DATETIMEORIGINAL, EXIF_DATETIMEDIGITIZED;
  Double EXIF_COMPRESSEDBITSPERPIXEL = 0.0, EXIF_SHUTTERSPEEDVALUE = 0.0, EXIF_APERTUREVALUE = 0.0,
         EXIF_BRIGHTNESSVALUE = 0.0, EXIF_EXPOSUREBIASVALUE = 0.0, EXIF_MAXAPERTUREVALUE = 0.0,
         EXIF_SUBJECTDISTANCE = 0.0;
  Integer EXIF_METERINGMODE = 0, EXIF_LIGHTSOURCE = 0, EXIF_FLASH = 0;
  Double EXIF_FOCALLENGTH = 0.0;
  AnsiString EXIF_SUBSECTIME, EXIF_SUBSECTIMEORIGINAL, EXIF_SUBSECTIMEDIGITIZED;
  AnsiString EXIF_FLASHPIXVERSION;
  Integer EXIF_COLORSPACE = 0, EXIF_EXIFIMAGEWIDTH = 0, EXIF_EXIFIMAGEHEIGHT = 0;
  AnsiString EXIF_RELATEDSOUNDFILE;
  Double EXIF_FOCALPLANEXRESOLUTION = 0.0, EXIF_FOCALPLANEYRESOLUTION = 0.0;
  Integer EXIF_FOCALPLANERESOLUTIONUNIT = 0;
  Double EXIF_EXPOSUREINDEX = 0.0;
  Integer EXIF_SENSINGMETHOD = 0, EXIF_FILESOURCE = 0, EXIF_SCENETYPE = 0;
  WideString EXIF_USERCOMMENT;
  AnsiString EXIF_USERCOMMENTCODE;
  Integer EXIF_XPRATING = -1;
  WideString EXIF_XPTITLE, EXIF_XPCOMMENT, EXIF_XPAUTHOR, EXIF_XPKEYWORDS, EXIF_XPSUBJECT;
  Integer EXIF_EXPOSUREMODE = -1, EXIF_WHITEBALANCE = -1;
  Double EXIF_DIGITALZOOMRATIO = -1.0;
  Integer EXIF_FOCALLENGTHIN35MMFILM = -1, EXIF_SCENECAPTURETYPE = -1, EXIF_GAINCONTROL = -1, EXIF_CONTRAST = -1,
          EXIF_SATURATION = -1, EXIF_SHARPNESS = -1, EXIF_SUBJECTDISTANCERANGE = -1;
  AnsiString EXIF_IMAGEUNIQUEID;
  bool operator==(const TIEEXIFFields&) const = default;
};

struct TIEGPSFields {
  AnsiString EXIF_GPSVERSIONID, EXIF_GPSLATITUDEREF;
  Double EXIF_GPSLATITUDEDEGREES = 0.0, EXIF_GPSLATITUDEMINUTES = 0.0, EXIF_GPSLATITUDESECONDS = 0.0;
  AnsiString EXIF_GPSLONGITUDEREF;
  Double EXIF_GPSLONGITUDEDEGREES = 0.0, EXIF_GPSLONGITUDEMINUTES = 0.0, EXIF_GPSLONGITUDESECONDS = 0.0;
  AnsiString EXIF_GPSALTITUDEREF;
  Double EXIF_GPSALTITUDE = 0.0, EXIF_GPSTIMESTAMPHOUR = 0.0, EXIF_GPSTIMESTAMPMINUTE = 0.0,
         EXIF_GPSTIMESTAMPSECOND = 0.0;
  AnsiString EXIF_GPSSATELLITES, EXIF_GPSSTATUS;
  AnsiString EXIF_GPSMEASUREMODE;
  Double EXIF_GPSDOP = 0.0;
  AnsiString EXIF_GPSSPEEDREF;
  Double EXIF_GPSSPEED = 0.0;
  AnsiString EXIF_GPSTRACKREF;
  Double EXIF_GPSTRACK = 0.0;
  AnsiString EXIF_GPSIMGDIRECTIONREF;
  Double EXIF_GPSIMGDIRECTION = 0.0;
  AnsiString EXIF_GPSMAPDATUM, EXIF_GPSDESTLATITUDEREF;
  Double EXIF_GPSDESTLATITUDEDEGREES = 0.0, EXIF_GPSDESTLATITUDEMINUTES = 0.0, EXIF_GPSDESTLATITUDESECONDS = 0.0;
  AnsiString EXIF_GPSDESTLONGITUDEREF;
  Double EXIF_GPSDESTLONGITUDEDEGREES = 0.0, EXIF_GPSDESTLONGITUDEMINUTES = 0.0,
         EXIF_GPSDESTLONGITUDESECONDS = 0.0;
  AnsiString EXIF_GPSDESTBEARINGREF;
  Double EXIF_GPSDESTBEARING = 0.0;
  AnsiString EXIF_GPSDESTDISTANCEREF;
  Double EXIF_GPSDESTDISTANCE = 0.0;
  AnsiString EXIF_GPSDATESTAMP;
  bool operator==(const TIEGPSFields&) const = default;
};

struct TIEAVIFields {
  Integer AVI_FRAMECOUNT = 0, AVI_FRAMEDELAYTIME = 0;
  bool operator==(const TIEAVIFields&) const = default;
};

struct TIEPSFields {
  Integer PS_PAPERWIDTH = 595, PS_PAPERHEIGHT = 842;
  Byte PS_COMPRESSION = 1;
  AnsiString PS_TITLE = "No Title";
  bool operator==(const TIEPSFields&) const = default;
};

struct TIEPDFFields {
  Integer PDF_PAPERWIDTH = 595, PDF_PAPERHEIGHT = 842;
  Byte PDF_COMPRESSION = 2;
  AnsiString PDF_TITLE, PDF_AUTHOR, PDF_SUBJECT, PDF_KEYWORDS, PDF_CREATOR, PDF_PRODUCER;
  bool operator==(const TIEPDFFields&) const = default;
};

struct TIERAWFields {
  bool RAW_HALFSIZE = false;
  Double RAW_GAMMA = 0.6, RAW_BRIGHT = 1.0;
  Double RAW_REDSCALE = 1.0, RAW_BLUESCALE = 1.0;
  bool RAW_QUICKINTERPOLATE = true;
  bool RAW_USEAUTOWB = false, RAW_USECAMERAWB = false, RAW_FOURCOLORRGB = false;
  AnsiString RAW_CAMERA;
  bool RAW_GETEXIFTHUMBNAIL = false;
  bool RAW_AUTOADJUSTCOLORS = false;
  AnsiString RAW_EXTRAPARAMS;
  bool operator==(const TIERAWFields&) const = default;
};

// Headerless raw pixels.
struct TIEBMPRAWFields {
  Byte BMPRAW_CHANNELORDER = 0;
  Byte BMPRAW_PLANES = 0;
  Integer BMPRAW_ROWALIGN = 8;
  Integer BMPRAW_HEADERSIZE = 0;
  Byte BMPRAW_DATAFORMAT = 0;
  bool operator==(const TIEBMPRAWFields&) const = default;
};

struct TIEPSDFields {
  bool PSD_LOADLAYERS = false;
  bool PSD_REPLACELAYERS = true;
  bool PSD_HASPREMULTIPLIEDALPHA = false;
  bool operator==(const TIEPSDFields&) const = default;
};

struct TIEHDPFields {
  Double HDP_IMAGEQUALITY = 0.9;
  bool HDP_LOSSLESS = false;
  bool operator==(const TIEHDPFields&) const = default;
};

struct TIEXMPFields {
  AnsiString XMP_INFO;
  bool operator==(const TIEXMPFields&) const = default;
};

// Every group; the record copies, resets and compares them as one.
struct TIOParamsFields : TIECommonFields,
                         TIETIFFFields,
                         TIEDCXFields,
                         TIEGIFFields,
                         TIEJPEGFields,
                         TIEJ2000Fields,
                         TIEPCXFields,
                         TIEBMPFields,
                         TIEICOFields,
                         TIECURFields,
                         TIEPNGFields,
                         TIETGAFields,
                         TIEEXIFFields,
                         TIEGPSFields,
                         TIEAVIFields,
                         TIEPSFields,
                         TIEPDFFields,
                         TIERAWFields,
                         TIEBMPRAWFields,
                         TIEPSDFields,
                         TIEHDPFields,
                         TIEXMPFields {
  bool operator==(const TIOParamsFields&) const = default;
};

class TIOParamsVals : public TObject, public TIOParamsFields, public TIEColorProfiles {
 public:
  explicit TIOParamsVals(TZiduzUvIO* Owner);
  ~TIOParamsVals() override;

  // --- fields with rules of their own ------------------------------------------
  TZiduzUvIO* OWNER = nullptr;  // not owned; neither copied nor reset
  // Copied by Assign; the defaults take them from the owner only (none without one).
  Integer WIDTH = 0, HEIGHT = 0;
  Integer DPIX = 0, DPIY = 0;  // write through SetDpiX / SetDpiY
  // What the last read reported: neither copied by Assign nor reset.
  Integer JPEG_WARNINGTOT = 0, JPEG_WARNINGCODE = 0;
  Integer MEDIAFILE_FRAMECOUNT = 0, MEDIAFILE_FRAMEDELAYTIME = 0;

  // --- owned objects, copied by content ------------------------------------------
  TStringList GIF_COMMENTS;
  TIEMarkerList JPEG_MARKERS;
  TStringList PNG_TEXTKEYS, PNG_TEXTVALUES;
  TIEDICOMTags DICOM_TAGS;
  TIEIPTCInfoList IPTC_LIST;
  std::unique_ptr<TIEImagingAnnot> IMAGING_ANNOTATIONS;  // created by GetImagingAnnot
  TStringList PNM_COMMENTS;
  TIEIntegerList EXIF_TAGSPRESENT;
  std::unique_ptr<TIEBitmap> EXIF_THUMBNAIL;
  TIETagsHandler EXIF_MAKERNOTE;
  std::unique_ptr<TRGB[]> COLORMAP;  // COLORMAPCOUNT entries blue, green, red; nil when none
  Integer COLORMAPCOUNT = 0;
  // The three colour profiles (INPUTICCPROFILE, OUTPUTICCPROFILE,
  // DEFAULTICCPROFILE) come from TIEColorProfiles; they are created when
  // needed: prefer the getters, which create them.

  // --- operations -----------------------------------------------------------------
  void SetDefaultParams();
  // Clears what a read fills in: metadata, texts, the EXIF fields and the
  // input profile. Options, sizes, indexes and the other profiles stay.
  void ResetInfo();
  void ResetEXIF();
  // Deep copy of everything but OWNER, the JPEG warnings and the media-file
  // counts; DPIX/DPIY go through their setters (the EXIF resolutions still end
  // as the source's), all six image indexes end with the source's
  // CUR_IMAGEINDEX, and EXIF_ORIENTATION with the source's TIFF_ORIENTATION.
  void Assign(const TIOParamsVals* Source);
  // Copies only the saving options.
  void AssignCompressionParams(const TIOParamsVals* Source);
  void FreeColorMap();
  // The registry's name of FILETYPE followed by a suffix naming its main option.
  WideString GetFileTypeStr() const;
  TIEImagingAnnot* GetImagingAnnot();
  // The profiles, created on first use: the input and default ones empty,
  // the output one holding the system sRGB profile.
  TIEICC* GetInputICCProfile();
  TIEICC* GetOutputICCProfile();
  TIEICC* GetDefaultICCProfile();

  // --- text keys ------------------------------------------------------------------
  // A field by its key (the field's name, upper case): as text, or
  // "INVALID PROPERTY" for a key that names none.
  WideString GetProperty(const WideString& Prop) const;
  // Sets a field from text; unknown and read-only keys are ignored, and text
  // that does not read as the field's type gives the key's default.
  void SetProperty(const WideString& Prop, const WideString& Value);

  // --- setters that write more than one field ----------------------------------
  void SetDpiX(Integer Value);
  void SetDpiY(Integer Value);
  void SetImageIndex(Integer Value);
  void SetImageCount(Integer Value);
  void SetEnableAdjustOrientation(bool Value);
  void SetGetThumbnail(bool Value);
  void SetJPEGGetExifThumbnail(bool Value);
  void SetRAWGetExifThumbnail(bool Value);
  void SetTIFFOrientation(Integer Value);
  void SetEXIFOrientation(Integer Value);
  // DPI := the value truncated toward zero, EXIF resolution := the exact value.
  void SetEXIFXResolution(Double Value);
  void SetEXIFYResolution(Double Value);

  // --- EXIF presence and items ---------------------------------------------------
  // Adds Tag to EXIF_TAGSPRESENT unless it is there; returns its index.
  Integer MarkEXIFTagSet(Integer Tag);
  // Item access; an index outside the array reads the absent value (0 for the
  // ISO ratings, -1.0 for the others) and writes nothing.
  Integer GetEXIFISOSpeedRating(Integer Index) const;
  void SetEXIFISOSpeedRating(Integer Index, Integer Value);
  Double GetEXIFWhitePoint(Integer Index) const;
  void SetEXIFWhitePoint(Integer Index, Double Value);
  Double GetEXIFPrimaryChromaticities(Integer Index) const;
  void SetEXIFPrimaryChromaticities(Integer Index, Double Value);
  Double GetEXIFYCbCrCoefficients(Integer Index) const;
  void SetEXIFYCbCrCoefficients(Integer Index, Double Value);
  Double GetEXIFReferenceBlackWhite(Integer Index) const;
  void SetEXIFReferenceBlackWhite(Integer Index, Double Value);

  // Tag-marking setters: store the value, then mark the field's tag present.
  void SetEXIFExposureTime(Double Value);
  void SetEXIFFNumber(Double Value);
  void SetEXIFExposureProgram(Integer Value);
  void SetEXIFCompressedBitsPerPixel(Double Value);
  void SetEXIFShutterSpeedValue(Double Value);
  void SetEXIFApertureValue(Double Value);
  void SetEXIFBrightnessValue(Double Value);
  void SetEXIFExposureBiasValue(Double Value);
  void SetEXIFMaxApertureValue(Double Value);
  void SetEXIFSubjectDistance(Double Value);
  void SetEXIFMeteringMode(Integer Value);
  void SetEXIFLightSource(Integer Value);
  void SetEXIFFlash(Integer Value);
  void SetEXIFFocalLength(Double Value);
  void SetEXIFColorSpace(Integer Value);
  void SetEXIFExifImageWidth(Integer Value);
  void SetEXIFExifImageHeight(Integer Value);
  void SetEXIFFocalPlaneXResolution(Double Value);
  void SetEXIFFocalPlaneYResolution(Double Value);
  void SetEXIFFocalPlaneResolutionUnit(Integer Value);
  void SetEXIFExposureIndex(Double Value);
  void SetEXIFSensingMethod(Integer Value);
  void SetEXIFFileSource(Integer Value);
  void SetEXIFSceneType(Integer Value);

};
