// The limits every reader applies before it allocates for a picture: the
// largest picture in pixels and in bytes, per reader, in one table a caller
// may adjust (a fuzz target lowers them, a host with much memory raises
// them), and the checks that a size declared by a file can be explained by
// the data the file actually holds.
#pragma once

#include <cstdint>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIEBitmap;

// The largest picture one reader accepts: its pixel count, and the bytes of
// the decoded picture (or of any whole-picture buffer the reader needs).
struct TIEReadLimit {
  int64_t MaxPixels;
  int64_t MaxBytes;
};

// One row per reader. Read without a lock by codec threads: adjust them
// before loads start.
struct TIEReadLimits {
  TIEReadLimit JPEG{int64_t(1) << 30, int64_t(4) << 30};
  // Scans a progressive JPEG may hold; each costs a pass over the picture.
  Integer JPEGMaxScans = 1000;
  TIEReadLimit PNG{int64_t(1) << 30, int64_t(4) << 30};
  // The native codecs: BMP, icons and cursors, PNM, WBMP, raw pixels, PCX, TGA, GIF.
  TIEReadLimit Native{int64_t(1) << 30, int64_t(4) << 30};
  TIEReadLimit TIFF{int64_t(1) << 30, int64_t(4) << 30};
  // JPEG 2000: MaxBytes bounds the decoder's 32-bit samples and the picture together.
  TIEReadLimit JPEG2000{int64_t(1) << 30, int64_t(4) << 30};
  // HD Photo: MaxBytes bounds the container read into memory, the decoder's
  // own buffer and the picture, each.
  TIEReadLimit HDPhoto{int64_t(1) << 30, int64_t(4) << 30};
  // Output of one whole-buffer inflation (ZDecompressBuffer's default cap).
  int64_t DeflateMaxBytes = INT32_MAX;
};
extern TIEReadLimits IEReadLimits;

// The most bytes deflate data can expand to per compressed byte: a
// length-258 match coded in two bits, 258 x 8 / 2.
constexpr int64_t IEDeflateMaxRatio = 1032;

// True when a Width x Height picture of BitsPerPixel bits per pixel stays
// within Limit; false for sizes of 0 or less.
bool IEPictureFits(const TIEReadLimit& Limit, int64_t Width, int64_t Height, int64_t BitsPerPixel);

// IEPictureFits for a picture a reader decodes straight into Bitmap. Limit is
// there for memory: a picture above it that Bitmap would keep in a temporary
// file is held instead to the free space of the temporary folder, less a
// reserve. Readers that hold a whole-picture buffer of their own in memory
// use IEPictureFits for it.
bool IEPictureFitsBitmap(const TIEReadLimit& Limit, const TIEBitmap& Bitmap, int64_t Width, int64_t Height,
                         int64_t BitsPerPixel);

// Bytes from the stream's position to its end, or -1 when the stream cannot
// tell (a stream without a size). Leaves the position alone and raises nothing.
int64_t IEStreamBytesLeft(TStream* Stream);

// True when Available bytes of coded data can explain a picture that needs
// at least MinCodedBytes of them. An unknown amount (Available < 0) explains
// anything: the other limits still hold then.
bool IEDataCanExplain(int64_t MinCodedBytes, int64_t Available);

// The least compressed bytes deflate data must have to expand to Expanded
// bytes (rounded down, so never more than a real stream needs).
int64_t IEDeflateMinInput(int64_t Expanded);

// Capacity for a buffer that must hold Needed bytes and now holds Current:
// at least double (so filling it costs linear, not quadratic, copying), at
// least Needed, never more than Cap. Returns Current when Current >= Cap.
int64_t IEGrowCapacity(int64_t Current, int64_t Needed, int64_t Cap);
