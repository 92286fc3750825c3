// The TIFF reader: the directory cursor and its tag accessors, the decoding
// record, the transfer of the baseline fields into the parameters, the image
// counter, and the strip decoding of the uncompressed, PackBits, LZW and
// deflate layouts.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/bitmap/iemask.h"
#include "imaging/formats/tiffcommon.h"
#include "imaging/io/ielzwhooks.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

// The longest directory chain walked: a chain that goes on beyond it (or
// comes back to a directory already seen) ends there.
constexpr Integer TIFFMaxDirectories = 65535;
// String and byte tags longer than this are ignored.
constexpr Cardinal TIFFMaxStringLength = 0xFFFFF;
// ExtraSamples values kept.
constexpr Integer TIFFMaxExtraSamples = 10;

// One directory being read (main image, EXIF, GPS).
struct TTIFFDirectory {
  bool LittleEndian = true;
  TStream* Stream = nullptr;  // not owned
  std::vector<TTIFFEntry> Entries;
  int64_t Base = 0;  // added to every offset of the file before seeking
};

// The decoding record of one call.
struct TTIFFVars {
  Integer ImageWidth = 0, ImageHeight = 0;
  Integer SamplesPerPixel = 1, BitsPerSample = 1, RowsPerStrip = 0;
  Integer TileWidth = -1, TileLength = -1;
  Word Photometric = 2, PlanarConfig = 1, Orientation = 1, Compression = 1;
  std::vector<Cardinal> StripOffsets, StripByteCounts, TileOffsets, TileByteCounts;
  std::vector<TRGB> Palette;  // blue, green, red
  std::vector<Word> TransferFunction;
  Integer ResolutionUnit = 2;
  Double XResolution = 0, YResolution = 0;
  Integer Predictor = 1;
  std::vector<Byte> JPEGTables;
  Integer T4Options = 0, T6Options = 0, FillOrder = 1;
  Double XPosition = 0, YPosition = 0;
  AnsiString DocumentName, ImageDescription, PageName;
  Integer PageNumber = 0, PageCount = 0;
  AnsiString Software;
  Integer InkSet = 1, NumberOfInks = 4;
  Integer DotRange[8] = {};
  AnsiString Artist;
  Integer YCbCrSubsampleHoriz = 2, YCbCrSubsampleVert = 2;
  Integer JPEGProc = 0, JPEGIFOffset = 0, JPEGIFByteCount = 0, JPEGRestartInterval = 0;
  Integer JPEGLosslessPredictors[7] = {}, JPEGPointTransform[7] = {}, JPEGQTables[7] = {}, JPEGDCTables[7] = {},
          JPEGACTables[7] = {};
  TIETIFFLZWDecompressFunc LZWDecompress = nullptr;
  bool LittleEndian = true;
  TIOParamsVals* Params = nullptr;  // not owned
  TIEMask* AlphaMask = nullptr;     // not owned: the caller's
  bool IgnoreAlpha = false;
  Integer ExtraSample = 0;       // the first ExtraSamples value
  Integer ExtraSamplesCount = 0;  // at most TIFFMaxExtraSamples
  Integer ExtraSamples[TIFFMaxExtraSamples] = {};
};

// Reads the image TIFF_IMAGEINDEX (or, with TIFF_SUBINDEX >= 0, that entry of
// its SubIFDs) of the TIFF whose header is at the stream position. Never
// raises: a malformed or unsupported file sets Progress's abort flag.
// ImageCount receives the number of directories in the main chain. Bitmap
// and Params are both nil for counting. RelativeOffsets: offsets count from
// the stream position at entry, else from position 0. AlphaMask is created
// when the image has alpha and it is nil; the caller owns it.
void IEReadTIFF(TIEBitmap* Bitmap, TStream* Stream, Integer& ImageCount, TIOParamsVals* Params,
                TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool RelativeOffsets,
                bool IgnoreAlpha, bool ReadingExifThumbnail);

// The number of directories in the main chain of the TIFF at the stream
// position. The stream is left where reading stopped.
Integer IECountTIFFImages(TStream* Stream);

// The registry's calling shape: reads at the stream position (offsets count
// from there), puts the alpha into the bitmap's alpha channel, and with
// Preview fills Params only.
void IETIFFReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview);

// --- directory cursor --------------------------------------------------------------

// Walks the chain from FirstOffset, counting its directories in Count, and
// loads directory Index (-1: none) into Dir. True when it was loaded.
bool TIFFLoadIFD(TTIFFDirectory& Dir, Integer Index, int64_t FirstOffset, Integer& Count);
Integer TIFFFindTag(const TTIFFDirectory& Dir, Word Tag);
int64_t TIFFGetInteger(const TTIFFDirectory& Dir, Word Tag, int64_t Default);
int64_t TIFFGetArrayItem(const TTIFFDirectory& Dir, Word Tag, int64_t Index, int64_t Default);
// Fills Array with the SHORT or LONG values of the tag that lie inside the
// stream; returns their count (0 when the tag is absent).
Integer TIFFReadIntegerArray(const TTIFFDirectory& Dir, std::vector<Cardinal>& Array, Word Tag);
Double TIFFGetRational(const TTIFFDirectory& Dir, Word Tag);
Double TIFFGetRationalItem(const TTIFFDirectory& Dir, Word Tag, int64_t Index, Double Default);
void TIFFGetString(const TTIFFDirectory& Dir, Word Tag, AnsiString& Text);
void TIFFGetValueBytes(const TTIFFDirectory& Dir, Word Tag, AnsiString& Text);
void TIFFGetWideString(const TTIFFDirectory& Dir, Word Tag, WideString& Text);
// The tag's bytes (count x type size), empty when absent, unsized or not
// wholly inside the stream.
std::vector<Byte> TIFFReadTagBytes(const TTIFFDirectory& Dir, Word Tag);

// --- strips ------------------------------------------------------------------------

// Decodes every strip of a chunky image into Bitmap (allocated by the
// caller in the format IEReadTIFF chose).
void TIFFReadStrips(TTIFFDirectory& Dir, TTIFFVars& Vars, TIEBitmap* Bitmap, TIEProgressRec& Progress);
// Undoes horizontal differencing (Predictor 2) on one row of Width pixels of
// Samples samples of Bits (8 or 16, words in host order) each.
void TIFFUndoPredictor(Byte* Row, Integer Width, Integer Samples, Integer Bits);
