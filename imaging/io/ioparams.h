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

// Colour profiles are held through the profile module's own delete routine,
// so that every way of filling a field (including reset(new TIEICC)) frees
// the profile the same way.
struct TIEICCDeleter {
  void (*Free)(TIEICC*) = &IEDeleteICC;
  void operator()(TIEICC* P) const {
    if (Free)
      Free(P);
    else
      IEDeleteICC(P);
  }
};
using TIEICCPtr = std::unique_ptr<TIEICC, TIEICCDeleter>;

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

class TIOParamsVals : public TObject {
 public:
  explicit TIOParamsVals(TZiduzUvIO* Owner);
  ~TIOParamsVals() override;

  // --- common ---------------------------------------------------------------
  TZiduzUvIO* OWNER = nullptr;  // not owned
  Integer BITSPERSAMPLE = 0;
  WideString FILENAME;
  Integer SAMPLESPERPIXEL = 0;
  Integer WIDTH = 0, HEIGHT = 0;
  Integer DPIX = 0, DPIY = 0;  // write through SetDpiX / SetDpiY
  Integer FILETYPE = 0;
  Integer IMAGEINDEX = 0;  // write through SetImageIndex
  Integer IMAGECOUNT = 0;
  bool GETTHUMBNAIL = false;
  bool ENABLEADJUSTORIENTATION = false;
  Integer ORIGINALWIDTH = 0, ORIGINALHEIGHT = 0;

  // --- TIFF -------------------------------------------------------------------
  Byte TIFF_COMPRESSION = 0;
  Integer TIFF_IMAGEINDEX = 0;
  Integer TIFF_SUBINDEX = 0;
  Byte TIFF_PHOTOMETINTEPRET = 0;
  Integer TIFF_PLANARCONF = 0;
  Integer TIFF_XPOS = 0, TIFF_YPOS = 0;
  Integer TIFF_GETTILE = 0;
  AnsiString TIFF_DOCUMENTNAME, TIFF_IMAGEDESCRIPTION, TIFF_PAGENAME;
  Integer TIFF_PAGENUMBER = 0, TIFF_PAGECOUNT = 0;
  Integer TIFF_ORIENTATION = 0;  // kept equal to EXIF_ORIENTATION by the setters
  TIETIFFLZWDecompressFunc TIFF_LZWDECOMPRESS = nullptr;
  TIETIFFLZWCompressFunc TIFF_LZWCOMPRESS = nullptr;
  bool TIFF_ENABLEADJUSTORIENTATION = false;
  Integer TIFF_JPEGQUALITY = 0;
  Byte TIFF_JPEGCOLORSPACE = 0;
  Integer TIFF_ZIPCOMPRESSION = 0;
  Integer TIFF_IMAGECOUNT = 0;
  Integer TIFF_FILLORDER = 0;
  Byte TIFF_BYTEORDER = 0;

  // --- DCX --------------------------------------------------------------------
  Integer DCX_IMAGEINDEX = 0;

  // --- GIF --------------------------------------------------------------------
  AnsiString GIF_VERSION;
  Integer GIF_IMAGEINDEX = 0;
  Integer GIF_XPOS = 0, GIF_YPOS = 0;
  Integer GIF_DELAYTIME = 0;
  bool GIF_TRANSPARENT = false;
  TRGB GIF_TRANSPCOLOR{};
  bool GIF_INTERLACED = false;
  Integer GIF_WINWIDTH = 0, GIF_WINHEIGHT = 0;
  TRGB GIF_BACKGROUND{};
  Integer GIF_RATIO = 0;
  TStringList GIF_COMMENTS;
  Byte GIF_DISPOSAL = 0;
  TIEGIFLZWDecompressFunc GIF_LZWDECOMPRESS = nullptr;
  TIEGIFLZWCompressFunc GIF_LZWCOMPRESS = nullptr;
  Integer GIF_IMAGECOUNT = 0;

  // --- JPEG -------------------------------------------------------------------
  Byte JPEG_COLORSPACE = 0;
  Integer JPEG_QUALITY = 0;
  Byte JPEG_DCTMETHOD = 0;
  Byte JPEG_CROMASUBSAMPLING = 0;
  bool JPEG_OPTIMALHUFFMAN = false;
  Integer JPEG_SMOOTH = 0;
  bool JPEG_PROGRESSIVE = false;
  Byte JPEG_SCALE = 0;
  TIEMarkerList JPEG_MARKERS;
  Integer JPEG_SCALE_USED = 0;
  Integer JPEG_WARNINGTOT = 0, JPEG_WARNINGCODE = 0;
  bool JPEG_ENABLEADJUSTORIENTATION = false;
  bool JPEG_GETEXIFTHUMBNAIL = false;

  // --- JPEG 2000 --------------------------------------------------------------
  Byte J2000_COLORSPACE = 0;
  Double J2000_RATE = 0.0;
  Byte J2000_SCALABLEBY = 0;

  // --- PCX, BMP ---------------------------------------------------------------
  Integer PCX_VERSION = 0;
  Byte PCX_COMPRESSION = 0;
  Byte BMP_VERSION = 0;
  Byte BMP_COMPRESSION = 0;
  bool BMP_HANDLETRANSPARENCY = false;

  // --- ICO, CUR ---------------------------------------------------------------
  Integer ICO_IMAGEINDEX = 0;
  TRGB ICO_BACKGROUND{};
  Integer CUR_IMAGEINDEX = 0;
  Integer CUR_XHOTSPOT = 0, CUR_YHOTSPOT = 0;
  TRGB CUR_BACKGROUND{};

  // --- PNG --------------------------------------------------------------------
  bool PNG_INTERLACED = false;
  TRGB PNG_BACKGROUND{};
  Byte PNG_FILTER = 0;
  Integer PNG_COMPRESSION = 0;
  TStringList PNG_TEXTKEYS, PNG_TEXTVALUES;

  // --- DICOM ------------------------------------------------------------------
  TIEDICOMTags DICOM_TAGS;

  // --- TGA --------------------------------------------------------------------
  Integer TGA_XPOS = 0, TGA_YPOS = 0;
  bool TGA_COMPRESSED = false;
  AnsiString TGA_DESCRIPTOR, TGA_AUTHOR;
  TDateTime TGA_DATE = 0.0;
  AnsiString TGA_IMAGENAME;
  TRGB TGA_BACKGROUND{};
  Double TGA_ASPECTRATIO = 0.0;
  Double TGA_GAMMA = 0.0;
  bool TGA_GRAYLEVEL = false;

  // --- IPTC, annotations, PNM -------------------------------------------------
  TIEIPTCInfoList IPTC_LIST;
  std::unique_ptr<TIEImagingAnnot> IMAGING_ANNOTATIONS;  // created by GetImagingAnnot
  TStringList PNM_COMMENTS;

  // --- EXIF (absent values: -1 and -1.0 where the reset says so) ---------------
  TIEIntegerList EXIF_TAGSPRESENT;
  bool EXIF_HASEXIF = false;
  Integer EXIF_ORIENTATION = 0;  // kept equal to TIFF_ORIENTATION by the setters
  std::unique_ptr<TIEBitmap> EXIF_THUMBNAIL;
  AnsiString EXIF_IMAGEDESCRIPTION, EXIF_MAKE, EXIF_MODEL;
  Double EXIF_XRESOLUTION = 0.0, EXIF_YRESOLUTION = 0.0;
  Integer EXIF_RESOLUTIONUNIT = 0;
  AnsiString EXIF_SOFTWARE, EXIF_ARTIST, EXIF_DATETIME;
  std::array<Double, 2> EXIF_WHITEPOINT{};
  std::array<Double, 6> EXIF_PRIMARYCHROMATICITIES{};
  std::array<Double, 3> EXIF_YCBCRCOEFFICIENTS{};
  Integer EXIF_YCBCRPOSITIONING = 0;
  std::array<Double, 6> EXIF_REFERENCEBLACKWHITE{};
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
  TIETagsHandler EXIF_MAKERNOTE;
  Integer EXIF_XPRATING = 0;
  WideString EXIF_XPTITLE, EXIF_XPCOMMENT, EXIF_XPAUTHOR, EXIF_XPKEYWORDS, EXIF_XPSUBJECT;
  Integer EXIF_EXPOSUREMODE = 0, EXIF_WHITEBALANCE = 0;
  Double EXIF_DIGITALZOOMRATIO = 0.0;
  Integer EXIF_FOCALLENGTHIN35MMFILM = 0, EXIF_SCENECAPTURETYPE = 0, EXIF_GAINCONTROL = 0, EXIF_CONTRAST = 0,
          EXIF_SATURATION = 0, EXIF_SHARPNESS = 0, EXIF_SUBJECTDISTANCERANGE = 0;
  AnsiString EXIF_IMAGEUNIQUEID;

  // --- GPS --------------------------------------------------------------------
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

  // --- AVI, media files ---------------------------------------------------------
  Integer AVI_FRAMECOUNT = 0, AVI_FRAMEDELAYTIME = 0;
  Integer MEDIAFILE_FRAMECOUNT = 0, MEDIAFILE_FRAMEDELAYTIME = 0;

  // --- PostScript, PDF --------------------------------------------------------
  Integer PS_PAPERWIDTH = 0, PS_PAPERHEIGHT = 0;
  Byte PS_COMPRESSION = 0;
  AnsiString PS_TITLE;
  Integer PDF_PAPERWIDTH = 0, PDF_PAPERHEIGHT = 0;
  Byte PDF_COMPRESSION = 0;
  AnsiString PDF_TITLE, PDF_AUTHOR, PDF_SUBJECT, PDF_KEYWORDS, PDF_CREATOR, PDF_PRODUCER;

  // --- camera RAW ---------------------------------------------------------------
  bool RAW_HALFSIZE = false;
  Double RAW_GAMMA = 0.0, RAW_BRIGHT = 0.0;
  Double RAW_REDSCALE = 0.0, RAW_BLUESCALE = 0.0;
  bool RAW_QUICKINTERPOLATE = false;
  bool RAW_USEAUTOWB = false, RAW_USECAMERAWB = false, RAW_FOURCOLORRGB = false;
  AnsiString RAW_CAMERA;
  bool RAW_GETEXIFTHUMBNAIL = false;
  bool RAW_AUTOADJUSTCOLORS = false;
  AnsiString RAW_EXTRAPARAMS;

  // --- headerless raw pixels ----------------------------------------------------
  Byte BMPRAW_CHANNELORDER = 0;
  Byte BMPRAW_PLANES = 0;
  Integer BMPRAW_ROWALIGN = 0;
  Integer BMPRAW_HEADERSIZE = 0;
  Byte BMPRAW_DATAFORMAT = 0;

  // --- PSD, HD Photo, XMP -------------------------------------------------------
  bool PSD_LOADLAYERS = false;
  bool PSD_REPLACELAYERS = false;
  bool PSD_HASPREMULTIPLIEDALPHA = false;
  Double HDP_IMAGEQUALITY = 0.0;
  bool HDP_LOSSLESS = false;
  AnsiString XMP_INFO;

  // --- common, continued ----------------------------------------------------------
  bool ISNATIVEPIXELFORMAT = false;
  std::unique_ptr<TRGB[]> COLORMAP;  // COLORMAPCOUNT entries blue, green, red; nil when none
  Integer COLORMAPCOUNT = 0;
  std::array<TSize, 16> ICO_SIZES{};
  std::array<Integer, 16> ICO_BITDEPTHS{};
  // Created when needed; prefer the getters, which create them.
  TIEICCPtr INPUTICCPROFILE;    // the picture's own profile, filled by readers
  TIEICCPtr OUTPUTICCPROFILE;   // destination of colour conversions
  TIEICCPtr DEFAULTICCPROFILE;  // source for pictures without a valid profile of their own

  // --- operations -----------------------------------------------------------------
  void SetDefaultParams();
  // Clears what a read fills in: metadata, texts, the EXIF fields and the
  // input profile. Options, sizes, indexes and the other profiles stay.
  void ResetInfo();
  void ResetEXIF();
  // Deep copy of everything but OWNER, the JPEG warnings and the media-file
  // counts; DPIX/DPIY go through their setters and the image indexes through
  // SetImageIndex once per format group, so all six end with the source's
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

 private:
  void CopyEXIFFields(const TIOParamsVals& S);
};
