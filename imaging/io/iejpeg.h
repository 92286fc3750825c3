// The JPEG codec over libjpeg (reader and writer with colour spaces, scaled
// decoding, resolution and markers) and the JPEG byte-stream utilities: the
// stream-length scan, the IPTC-replacing copy and the in-place IPTC update of
// a file. Failures set the progress record's abort flag; nothing is raised.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/meta/ieiptc.h"
#include "imaging/core/meta/iemarkers.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"
#include "platform/base/sysutils.h"

// Raised by the one-call decoder wrapper on a libjpeg error.
GT_DECLARE_EXCEPTION(EIEJpegException, Exception)

// Reads the JPEG at the stream position (a start within 150 bytes is found).
// Pictures beyond IEReadLimits.JPEG, or declaring more than their coded data
// can hold, are refused before anything is allocated. A file cut short loads
// with the rows the data gave and the rest filled as the decoder fills them,
// its warnings in JPEG_WARNINGTOT and JPEG_WARNINGCODE.
// TablesStream (or nil) holds abbreviated tables read before the image.
// Preview fills Params only. RawYCbCr keeps YCbCr samples as they are coded;
// InvertCMYK inverts CMYK samples before converting them (TIFF's convention);
// ReadICC collects the ICC profile into Params.INPUTICCPROFILE and ApplyICC
// drops the APP2 markers once the profile has been applied; MaxRows -1 reads
// all rows; Native keeps grey as ie8g and CMYK as ieCMYK. Returns the rows
// decoded.
Integer IEReadJPEG(TStream* Stream, TStream* TablesStream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool Preview, bool RawYCbCr, bool ReadMetadata, bool InvertCMYK,
                   bool ApplyICC, bool ReadICC, Integer MaxRows, bool Native);
// Writes Bitmap (any format; others than ie24RGB through a converted copy)
// with the options of Params and the markers of Params.JPEG_MARKERS.
void IEWriteJPEG(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// The registry's calling shapes over the two above, as a plain file or
// stream load and save call them.
void IEJpegReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview);
void IEJpegWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// The EXIF and XMP hooks, set to the EXIF block routines (ieexif.h); a nil
// hook makes the reader and the marker update leave EXIF and XMP alone. The reader calls ReadExif with
// the markers already in Params.JPEG_MARKERS; it returns true when it parsed
// an EXIF block (then EXIF_XRESOLUTION and friends are set). It may also turn
// Bitmap by the EXIF orientation. SaveExif rebuilds the EXIF and XMP APP1
// markers of Params before a save.
extern bool (*IEJpegReadExifHook)(TIOParamsVals& Params, TIEBitmap* Bitmap);
extern void (*IEJpegSaveExifHook)(TIOParamsVals& Params);

// Bytes from the stream position to the end of the EOI marker (to the end of
// the data when there is none); the position is restored.
Integer IEGetJPEGStreamLength(TStream* Stream);

// Copies the JPEG data of Source (from its position) to Dest, with the IPTC
// records of IPTC in an APP13 segment: merged into the first Photoshop APP13
// block (its other resources are kept), or placed after the leading APP0..APP12
// segments, or before the first DQT. An empty list removes the IPTC
// resource. False on a malformed segment or when no place was found.
bool IEReplaceJPEGIPTC(TCustomMemoryStream* Source, TMemoryStream* Dest, const TIEIPTCInfoList& IPTC,
                       TIEProgressRec& Progress);
// Rewrites the file with the IPTC records of IPTC without decoding it: the
// result goes to a temporary file in the same folder that replaces the file
// only when everything succeeded. False (file untouched) otherwise.
bool IEInjectJPEGIPTC(const WideString& FileName, const TIEIPTCInfoList& IPTC, TIEProgressRec& Progress);

// Photoshop resource blocks ("Photoshop 3.0\0" and 8BIM resources).
// Replaces the IPTC resource (0x0404) of Old by that of NewIPTC (a block as
// TIEIPTCInfoList::SaveToBuffer makes it with the Photoshop header; empty
// removes it) and keeps every other resource. False when Old is not a well
// formed block. Out is empty when no resource is left.
bool IEMergePhotoshopIPTC(const Byte* Old, size_t OldLength, const std::vector<Byte>& NewIPTC,
                          std::vector<Byte>& Out);
// Writes the resolution resource (0x03ED) of a Photoshop block in place:
// DPIX and DPIY as 16.16 fixed point, units pixels per inch. Nothing when the
// block has no such resource of at least 16 bytes; false when the block is
// malformed.
bool IESetPhotoshopResolution(Byte* Block, size_t Length, Integer DpiX, Integer DpiY);

// The marker update a JPEG save does before the writer runs: the resolution
// resource of the first APP13, then the IPTC records (when the user changed
// them, or there are records and no markers) merged into the first APP13 or
// appended as one, then the EXIF and XMP hook.
void IEUpdateJPEGMarkers(TIOParamsVals& Params);

// One-call decoder for callers that hold a whole JPEG in memory: decodes
// Size bytes at Data into Pixels (rows of Width x Components bytes, the
// colour space as coded, RGB for YCbCr). Raises EIEJpegException on a
// libjpeg error.
void IEDecodeJPEGBuffer(const void* Data, size_t Size, std::vector<Byte>& Pixels, Integer& Width, Integer& Height,
                        Integer& Components);
