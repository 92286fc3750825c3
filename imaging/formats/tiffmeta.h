// The metadata half of the TIFF codec: EXIF, GPS, IPTC, XMP, ICC, imaging
// annotations and the maker note, between the tags of a TIFF structure and
// the fields of the parameters. The EXIF blocks of JPEG files go through
// the same mapping.
#pragma once

#include "imaging/core/base/ieprogress.h"
#include "imaging/formats/tiffread.h"
#include "imaging/formats/tifftaglist.h"
#include "imaging/io/ioparams.h"

// Fills the metadata fields of Params from the main, EXIF and GPS
// directories; a directory that was not loaded has no entries, so its
// fields take their defaults.
void TIFFReadMetadata(const TTIFFDirectory& MainDir, const TTIFFDirectory& ExifDir, const TTIFFDirectory& GpsDir,
                      TIOParamsVals& Params);

// Decodes a raw UserComment value (8-byte code, then the text) into Code and
// Text. UTF-16 text is taken in the byte order of the file; trailing zero
// characters are dropped.
void TIFFDecodeUserComment(const Byte* Data, size_t Size, bool LittleEndian, AnsiString& Code, WideString& Text);

// Adds the main-directory EXIF tags to Tags, writes the EXIF sub-directory
// and (when EXIF_GPSVERSIONID is set) the GPS sub-directory at once, and
// adds their offsets as ExifIFD and GPSInfo. Base is the file's start.
// ForJPEG adds the components configuration EXIF requires of JPEG data.
void TIFFWriteEXIFTags(TTagList& Tags, TStream* Stream, int64_t Base, TIOParamsVals& Params,
                       TIEProgressRec& Progress, bool ForJPEG = false);

// Adds the IPTC, XMP, annotation and ICC blocks of Params to Tags.
void TIFFWriteMetadataTags(TTagList& Tags, TIOParamsVals& Params);
