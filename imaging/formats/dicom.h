// DICOM reader: Part 10 files and bare data sets, their data elements into
// the parameters' tag list, and one frame of the pixel data into a picture,
// uncompressed or through the compressed-data decoders (dicomcodec.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

struct TIEDICOMDictEntry {
  uint32_t Tag;  // group << 16 | element
  char VR[2];    // "xs": decided by the file; "!!": item and delimitation tags
};
extern const TIEDICOMDictEntry IEDICOMDictionary[];
extern const size_t IEDICOMDictionarySize;
// The dictionary's VR of a tag, "xs" for one it does not know.
const char* IEDICOMLookupVR(uint16_t Group, uint16_t Element);

// ParamsOnly reads the elements and sizes without decoding pixels (Bitmap may
// then be nil). A malformed or unsupported file sets the abort flag.
void IEReadDICOM(TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress,
                 bool ParamsOnly);
// The frames of the data set at the stream's position (0 when it cannot be
// read); the position is restored.
Integer IECountDICOMFrames(TStream* Stream);
Integer IECountDICOMFramesOfFile(const WideString& FileName);

// --- the compressed pixel data decoders ---

// The fragment bytes of frame Index of encapsulated pixel data whose first
// item (the offset table) starts at Data[0]. Fragments of one frame are
// joined. False when the items are malformed or the frame is missing.
bool IEDICOMFrameFragments(const Byte* Data, size_t Size, Integer Index, Integer Frames, bool LittleEndian,
                           std::vector<Byte>& Frame);
// RLE (one segment per byte plane): Planes planes of Count bytes each,
// most significant plane first, into Out (Planes x Count bytes). False on a
// malformed header.
bool IEDICOMDecodeRLE(const Byte* Data, size_t Size, Integer Planes, size_t Count, std::vector<Byte>& Out);
// Lossless JPEG (Huffman, predictors 1 to 7, restart intervals). Samples
// come out interleaved per pixel, in Out16 for precision above 8 and in Out8
// otherwise. Width, Height, Components and Precision report the frame.
bool IEDICOMDecodeLosslessJPEG(const Byte* Data, size_t Size, std::vector<Word>& Out16, std::vector<Byte>& Out8,
                               Integer& Width, Integer& Height, Integer& Components, Integer& Precision);
