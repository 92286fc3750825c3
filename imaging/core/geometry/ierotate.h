// Mirroring, quarter turns and turns by any angle of a picture, and the
// upright turn of a picture stored with an EXIF orientation. Positive angles
// turn counter-clockwise as seen on the screen.
#pragma once

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"

// Mirrors the picture in place: Direction 0 exchanges left and right, 1 top
// and bottom. Every pixel format; the palette stays; an alpha channel is
// mirrored the same way.
void IEFlipBitmap(TIEBitmap* Bitmap, Byte Direction);

// Bytes of source rows a quarter turn holds at once when either picture is
// in a temporary file (64 MiB): such a turn goes band by band, so neither
// picture is ever in memory whole. Tests lower it to make small pictures
// take several bands.
extern int64_t IETurnBandBytes;

// Dst := Src turned a quarter turn (Dst is allocated Src.Height x Src.Width).
// Only ie24RGB pictures are accepted: anything else gives false and leaves
// Dst alone. The alpha channel is not turned.
bool IERotate90Clockwise24(TIEBitmap* Src, TIEBitmap* Dst);
bool IERotate90CounterClockwise24(TIEBitmap* Src, TIEBitmap* Dst);

// Turns an ie24RGB picture in place by Angle degrees: quarter turns first,
// then three shears for the rest (at most 45 degrees), with or without
// anti-aliasing; uncovered areas take Background (byte 0 blue, 1 green,
// 2 red). An ie1g picture goes to IERotate1Bit (white background when all
// three bytes are non-zero). Any other pixel format is refused: the result
// is false and the picture stays as it was, since reading it as bits would
// destroy it. False also when memory runs out (picture unchanged). The alpha
// channel is not turned: after a shear it is resized along, after quarter
// turns alone it stays (wholly opaque when its size no longer fits).
bool IERotateBitmap(TIEBitmap* Bitmap, bool Antialias, const TIEProgressEvent& OnProgress, TObject* Sender,
                    const TRGB& Background, double Angle);

// Turns an ie1g picture in place: 90, -90 (270) and 180 (-180) exactly,
// other angles by nearest-pixel mapping with cosine and sine cut to four
// decimals. Outside areas are white with WhiteBackground, else black. The
// alpha channel is dropped. False (picture unchanged) for another pixel
// format or when memory runs out.
bool IERotate1Bit(TIEBitmap* Bitmap, bool WhiteBackground, TIEProgressRec& Progress, double Angle);

// Dst := Src turned by Angle with nearest-neighbour sampling, any pixel
// format; uncovered areas take Background as TIEBitmap::Fill reads it (ie1g:
// always black). Dst gets Src's palette and no alpha channel. Src may be Dst.
bool IERotateIntoBitmap(TIEBitmap* Src, TIEBitmap* Dst, double Background, double Angle,
                        const TIEProgressEvent& OnProgress, TObject* Sender);

// Turns a picture stored with EXIF orientation 2..8 upright, for every pixel
// format and without resampling: 2 mirror, 3 half turn, 4 flip, 5 transpose
// (mirror along the main diagonal), 6 quarter turn clockwise, 7 transverse
// (mirror along the other diagonal), 8 quarter turn counter-clockwise. Other
// values change nothing. An alpha channel is turned the same way.
void IEApplyExifOrientation(TIEBitmap* Bitmap, Integer Orientation);
