// HD Photo (file type 29) through the platform codec: a reader of one frame
// of a container into a TIEBitmap, a writer of a TIEBitmap as one frame with
// the encoder options in their fixed order, and the procedures the registry
// and the I/O component call.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"
#include "platform/devices/hdphoto.h"

constexpr Integer IEHDPhotoFileType = 29;

// How a frame of a platform pixel format is read: the bitmap's format, and
// the format the rows are converted from.
struct TIEHDPhotoReadFormat {
  TIEPixelFormat Bitmap;
  THDPhotoPixelFormat Source;
  bool operator==(const TIEHDPhotoReadFormat&) const = default;
};
TIEHDPhotoReadFormat IEHDPhotoReadFormat(THDPhotoPixelFormat Frame, bool Native);
// The platform format a bitmap is written in; false for the formats the
// writer refuses (ie8p, ie32f, ieCIELab, ie32RGB).
bool IEHDPhotoWriteFormat(TIEPixelFormat Bitmap, THDPhotoPixelFormat& Format);

class TIEWICReader {
 public:
  // False for a file type other than HD Photo, when the codec is missing, or
  // when the stream holds no container the codec accepts. The bytes from the
  // stream position to its end are read.
  bool Open(TStream* Stream, Integer FileType);
  Integer FrameCount() const { return FDecoder ? Integer(FDecoder->FrameCount()) : 0; }
  // Reads frame Index into Bitmap; with Params, the frame's metadata and
  // sizes too. Any failure (no decoder, an index outside the container, a
  // picture over the limits, a decoding error) sets the abort flag.
  void ReadFrame(Integer Index, TIEBitmap* Bitmap, TIOParamsVals* Params, TIEProgressRec& Progress);
  Integer FrameWidth() const { return FDecoder ? FDecoder->Width() : 0; }
  Integer FrameHeight() const { return FDecoder ? FDecoder->Height() : 0; }

 private:
  std::unique_ptr<THDPhotoDecoder> FDecoder;
  TStream* FStream = nullptr;
  int64_t FStart = 0;
};

// The encoder's options and their start values.
struct TIEWICEncoderOptions {
  double ResolutionX = 0, ResolutionY = 0;  // 0: the library default
  double ImageQuality = -1.0;               // negative: not written
  double CompressionQuality = -1.0;         // negative: not written
  bool Lossless = false;
  bool UseCodecOptions = false;
  Byte Quality = 1, Overlap = 1, Subsampling = 3;
  Word HorizontalTileSlices = 0, VerticalTileSlices = 0;
  bool FrequencyOrder = true;
  Byte TiffCompressionMethod = 1;
};
// The property bag the options give, in the order it is written.
std::vector<THDPhotoOption> IEHDPhotoPropertyBag(const TIEWICEncoderOptions& Options);

class TIEWICWriter {
 public:
  bool Open(TStream* Stream, Integer FileType);
  TIEWICEncoderOptions& Options() { return FOptions; }
  // Encodes Bitmap as one frame at the stream position; with Params, the
  // resolution and quality options come from them. Raises for a pixel
  // format the writer refuses; false when the codec fails (nothing written).
  bool WriteFrame(TIEBitmap* Bitmap, TIOParamsVals* Params);

 private:
  TStream* FStream = nullptr;
  TIEWICEncoderOptions FOptions;
};

void IEReadHDPhoto(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool Preview);
void IEWriteHDPhoto(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
Integer IECountHDPhotoFrames(const WideString& FileName);
