// Frame-by-frame reading of video files: the first video stream of a file,
// its length, rate and size, and any frame by its index as 24-bit rows. It
// stands in for the platform's video-file library and for file playback of
// its media framework.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct GtVideoInfo {
  std::string Container;  // the demultiplexer's short name, e.g. "avi"
  int Width = 0, Height = 0;
  // Frames the container records for the stream; 0 when it keeps no count.
  int64_t FrameCount = 0;
  // Frames per second as a fraction (the stream's rate and scale); 0/0 unknown.
  int RateNum = 0, RateDen = 0;
  // Length of the stream in 100-nanosecond units; 0 unknown.
  int64_t Duration = 0;
  // Bits per pixel as the file stores them (0 when the codec does not say).
  int BitCount = 0;
};

struct GtVideoFrame {
  int Width = 0, Height = 0;
  // Height rows of Width x 3 bytes, blue, green, red, the top row first.
  std::vector<uint8_t> Bgr;
};

class GtVideoFile {
 public:
  GtVideoFile();
  ~GtVideoFile();
  GtVideoFile(const GtVideoFile&) = delete;
  GtVideoFile& operator=(const GtVideoFile&) = delete;

  // Opens the file and a decoder for its first video stream. False, with
  // the reason in Error and nothing left open, when there is no decodable
  // video stream or its size or rate is unusable.
  bool Open(const std::string& Utf8Path, std::string& Error);
  void Close();
  bool IsOpen() const;
  const GtVideoInfo& Info() const;

  // Decodes frame Index (0 = the first, in display order). Frames that
  // follow the last one read are decoded onwards; others after a seek to
  // the key frame before them. False when the stream holds no such frame.
  bool ReadFrame(int64_t Index, GtVideoFrame& Frame);
  // The frame index shown at Time (100-nanosecond units from the start).
  int64_t FrameAtTime(int64_t Time) const;
  // The distance of the first two frames in 100-nanosecond units, found by
  // decoding a bounded number of packets; 0 when the stream does not show
  // two frames soon enough (a still picture, a stalled stream).
  int64_t MeasureFrameTime();

 private:
  struct Impl;
  std::unique_ptr<Impl> F;
};
