// What the TIFF reader and writer share: the tag numbers of the fields they
// handle, the size of each field type, the 12-byte directory entry and the
// byte-order helpers for "II" and "MM" data.
#pragma once

#include <cstdint>

#include "imaging/core/meta/ietifftags.h"
#include "platform/base/types.h"

// Tag numbers.
enum : Word {
  TIFFTAG_NEWSUBFILETYPE = 254,
  TIFFTAG_SUBFILETYPE = 255,
  TIFFTAG_IMAGEWIDTH = 256,
  TIFFTAG_IMAGELENGTH = 257,
  TIFFTAG_BITSPERSAMPLE = 258,
  TIFFTAG_COMPRESSION = 259,
  TIFFTAG_PHOTOMETRIC = 262,
  TIFFTAG_FILLORDER = 266,
  TIFFTAG_DOCUMENTNAME = 269,
  TIFFTAG_IMAGEDESCRIPTION = 270,
  TIFFTAG_MAKE = 271,
  TIFFTAG_MODEL = 272,
  TIFFTAG_STRIPOFFSETS = 273,
  TIFFTAG_ORIENTATION = 274,
  TIFFTAG_SAMPLESPERPIXEL = 277,
  TIFFTAG_ROWSPERSTRIP = 278,
  TIFFTAG_STRIPBYTECOUNTS = 279,
  TIFFTAG_XRESOLUTION = 282,
  TIFFTAG_YRESOLUTION = 283,
  TIFFTAG_PLANARCONFIG = 284,
  TIFFTAG_PAGENAME = 285,
  TIFFTAG_XPOSITION = 286,
  TIFFTAG_YPOSITION = 287,
  TIFFTAG_T4OPTIONS = 292,
  TIFFTAG_T6OPTIONS = 293,
  TIFFTAG_RESOLUTIONUNIT = 296,
  TIFFTAG_PAGENUMBER = 297,
  TIFFTAG_TRANSFERFUNCTION = 301,
  TIFFTAG_SOFTWARE = 305,
  TIFFTAG_DATETIME = 306,
  TIFFTAG_ARTIST = 315,
  TIFFTAG_WHITEPOINT = 318,
  TIFFTAG_PRIMARYCHROMATICITIES = 319,
  TIFFTAG_PREDICTOR = 317,
  TIFFTAG_COLORMAP = 320,
  TIFFTAG_TILEWIDTH = 322,
  TIFFTAG_TILELENGTH = 323,
  TIFFTAG_TILEOFFSETS = 324,
  TIFFTAG_TILEBYTECOUNTS = 325,
  TIFFTAG_SUBIFD = 330,
  TIFFTAG_INKSET = 332,
  TIFFTAG_NUMBEROFINKS = 334,
  TIFFTAG_DOTRANGE = 336,
  TIFFTAG_EXTRASAMPLES = 338,
  TIFFTAG_SAMPLEFORMAT = 339,
  TIFFTAG_JPEGTABLES = 347,
  TIFFTAG_JPEGPROC = 512,
  TIFFTAG_JPEGIFOFFSET = 513,
  TIFFTAG_JPEGIFBYTECOUNT = 514,
  TIFFTAG_JPEGRESTARTINTERVAL = 515,
  TIFFTAG_JPEGLOSSLESSPREDICTORS = 517,
  TIFFTAG_JPEGPOINTTRANSFORM = 518,
  TIFFTAG_JPEGQTABLES = 519,
  TIFFTAG_JPEGDCTABLES = 520,
  TIFFTAG_JPEGACTABLES = 521,
  TIFFTAG_YCBCRCOEFFICIENTS = 529,
  TIFFTAG_YCBCRSUBSAMPLING = 530,
  TIFFTAG_YCBCRPOSITIONING = 531,
  TIFFTAG_REFERENCEBLACKWHITE = 532,
  TIFFTAG_XMP = 700,
  TIFFTAG_XPRATING = 18246,
  TIFFTAG_IMAGINGANNOT = 32932,
  TIFFTAG_IMAGINGANNOT2 = 32933,
  TIFFTAG_COPYRIGHT = 33432,
  TIFFTAG_IPTC = 33723,
  TIFFTAG_PHOTOSHOP = 34377,
  TIFFTAG_EXIFIFD = 34665,
  TIFFTAG_ICCPROFILE = 34675,
  TIFFTAG_GPSIFD = 34853,
};

// Compression codes as files store them.
enum : Word {
  TIFFCOMP_NONE = 1,
  TIFFCOMP_CCITTRLE = 2,
  TIFFCOMP_CCITTFAX3 = 3,
  TIFFCOMP_CCITTFAX4 = 4,
  TIFFCOMP_LZW = 5,
  TIFFCOMP_OJPEG = 6,
  TIFFCOMP_JPEG = 7,
  TIFFCOMP_ADOBE_DEFLATE = 8,
  TIFFCOMP_PACKBITS = 32773,
  TIFFCOMP_DEFLATE = 32946,
};

// PhotometricInterpretation values as files store them.
enum : Word {
  TIFFPHOTO_MINISWHITE = 0,
  TIFFPHOTO_MINISBLACK = 1,
  TIFFPHOTO_RGB = 2,
  TIFFPHOTO_PALETTE = 3,
  TIFFPHOTO_MASK = 4,
  TIFFPHOTO_SEPARATED = 5,
  TIFFPHOTO_YCBCR = 6,
  TIFFPHOTO_CIELAB = 8,
};

// Bytes per value of the field types 1..13; 0 for every other type, whose
// blocks are never read as numbers. The signed rationals, floats and IFD
// offsets of EXIF data must be sized too, or their blocks would be skipped.
inline constexpr Integer TIFFFieldTypeSize(Integer FieldType) {
  switch (FieldType) {
    case IETIFFTYPE_BYTE:
    case IETIFFTYPE_ASCII:
    case IETIFFTYPE_SBYTE:
    case IETIFFTYPE_UNDEFINED:
      return 1;
    case IETIFFTYPE_SHORT:
    case IETIFFTYPE_SSHORT:
      return 2;
    case IETIFFTYPE_LONG:
    case IETIFFTYPE_SLONG:
      return 4;
    case IETIFFTYPE_RATIONAL:
    case IETIFFTYPE_SRATIONAL:
    case IETIFFTYPE_DOUBLE:
      return 8;
    case IETIFFTYPE_FLOAT:
    case 13:  // IFD
      return 4;
    default:
      return 0;
  }
}

// One directory entry. In the file it is 12 bytes in the file's byte order;
// once loaded, Tag, Type and Count are in host order and Value holds the
// 4-byte value field read as one 32-bit number in the file's byte order (so
// a single SHORT sits in the low half for "II" and the high half for "MM").
struct TTIFFEntry {
  Word Tag = 0;
  Word Type = 0;
  Cardinal Count = 0;
  Cardinal Value = 0;
};

// Byte-order helpers. "II" is little-endian, "MM" big-endian.
inline constexpr Word TIFFSwap16(Word V) { return static_cast<Word>(V << 8 | V >> 8); }
inline constexpr Cardinal TIFFSwap32(Cardinal V) {
  return (V >> 24) | ((V >> 8) & 0xFF00u) | ((V << 8) & 0xFF0000u) | (V << 24);
}
inline Word TIFFGet16(const Byte* P, bool LittleEndian) {
  return LittleEndian ? static_cast<Word>(P[0] | P[1] << 8) : static_cast<Word>(P[0] << 8 | P[1]);
}
inline Cardinal TIFFGet32(const Byte* P, bool LittleEndian) {
  const Cardinal b0 = P[0], b1 = P[1], b2 = P[2], b3 = P[3];
  return LittleEndian ? (b0 | b1 << 8 | b2 << 16 | b3 << 24) : (b0 << 24 | b1 << 16 | b2 << 8 | b3);
}
inline void TIFFPut16(Byte* P, Word V, bool LittleEndian) {
  if (LittleEndian) {
    P[0] = static_cast<Byte>(V);
    P[1] = static_cast<Byte>(V >> 8);
  } else {
    P[0] = static_cast<Byte>(V >> 8);
    P[1] = static_cast<Byte>(V);
  }
}
inline void TIFFPut32(Byte* P, Cardinal V, bool LittleEndian) {
  for (int i = 0; i < 4; ++i) P[LittleEndian ? i : 3 - i] = static_cast<Byte>(V >> (8 * i));
}

// The 8-byte file header: byte order mark, 42, first directory offset.
constexpr Word TIFFMarkLittle = 0x4949;  // "II"
constexpr Word TIFFMarkBig = 0x4D4D;     // "MM"
constexpr Word TIFFMagic = 42;
