// EXIF blocks: the APP1 "Exif" block of JPEG files and the TIFF-structured
// EXIF data of camera RAW and HD Photo files, moved between a TIFF structure
// and the parameters. The routines that parse or build the TIFF structure
// are defined with the TIFF codec among the native formats, so that this
// folder does not build on that one.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// Copies the EXIF and GPS fields (and the maker note and the present-tag
// list) of Source into Dest; DPIX/DPIY follow the EXIF resolutions and
// TIFF_ORIENTATION the EXIF orientation. EXIF_HASEXIF and the thumbnail are
// left alone.
void IECopyEXIFParams(const TIOParamsVals& Source, TIOParamsVals& Dest);
// The EXIF TIFF structure of Params (with a second directory for a
// non-empty EXIF thumbnail), behind "Exif\0\0" when WithHeader. False and
// an empty Buffer when it could not be built.
bool IESaveEXIFToBuffer(TIOParamsVals& Params, std::vector<Byte>& Buffer, bool WithHeader);
// Whether the data begins with the EXIF block header "Exif\0".
bool IEIsEXIFBlock(const void* Data, Integer Size);
// Parses an APP1 EXIF block into Params. False, with Params unchanged, for
// a block that is not EXIF, too short to hold a TIFF header, or whose TIFF
// structure does not parse.
bool IELoadEXIFFromBuffer(const void* Data, Integer Size, TIOParamsVals& Params);
// The offset, from the stream position, of the first TIFF header within the
// next 128 KB, or -1; the position is restored.
int64_t IEFindTIFFHeader(TStream* Stream);
// EXIF fields and the smaller of the first two images as thumbnail of a
// TIFF-structured camera RAW stream at the stream position. False when the
// structure does not parse; the position is restored.
bool IELoadCameraRawEXIF(TStream* Stream, TIOParamsVals& Params);
// Every parameter of the first image of the TIFF stream at the position,
// read straight into Params; the position is restored.
bool IELoadEXIFFromTIFFStream(TStream* Stream, TIOParamsVals& Params);

// Writes the EXIF data of Params into directory IfdIndex of an already
// written TIFF: the target is read from InStream (from its position) or
// InFileName and written to OutStream (over InStream when they are the
// same, from the same position, the stream cut to the new length) or
// OutFileName. The target is a TIFF or an HD Photo container (whose image
// planes the rewrite moves with their offsets). True when the tags were
// written; false, with nothing written, when the target does not parse or
// has the other byte order (the EXIF structure is little-endian).
bool IEInjectEXIFTags(TStream* InStream, TStream* OutStream, const WideString& InFileName,
                      const WideString& OutFileName, Integer IfdIndex, TIOParamsVals& Params);

// The JPEG codec's hooks: reading the EXIF and XMP APP1 markers of
// Params.JPEG_MARKERS (and turning Bitmap upright when asked), and
// rebuilding those markers before a save.
bool IEJpegReadExifMarkers(TIOParamsVals& Params, TIEBitmap* Bitmap);
void IEJpegSaveExifMarkers(TIOParamsVals& Params);
