// The media-file player behind the companion's media frames: the file
// playback a media framework gives (a graph with a frame grabber, time
// formats, duration, seeking and the current frame), here over the
// platform's video-file reader. Tests put a player of their own in its place.
#pragma once

#include <cstdint>
#include <memory>

#include "imaging/core/bitmap/iebitmap.h"

// Time formats of SetTimeFormat.
constexpr Byte IETimeFormatNone = 0;
constexpr Byte IETimeFormatFrame = 1;
constexpr Byte IETimeFormatSample = 2;
constexpr Byte IETimeFormatField = 3;
constexpr Byte IETimeFormatByte = 4;
constexpr Byte IETimeFormatMediaTime = 5;  // 100-nanosecond units

class TIEMediaFilePlayer {
 public:
  virtual ~TIEMediaFilePlayer() = default;

  WideString MediaFileName;
  // Frames are kept for GetCurrentFrame (media files always set it).
  bool GrabFrames = false;

  // Builds the playback of MediaFileName; false when it cannot be played.
  virtual bool Connect() = 0;
  virtual void Disconnect() = 0;
  virtual void Pause() = 0;
  // Only the low 7 bits count. A format the source cannot give leaves the
  // current one in force (a source that cannot count frames stays in media
  // time).
  virtual void SetTimeFormat(Byte Format) = 0;
  // In the current time format; 0 when unknown.
  virtual int64_t GetDuration() = 0;
  // 100-nanosecond units; measured from the playing source when the stream
  // does not state it, giving up (0) when no second frame comes soon.
  virtual int64_t GetAverageTimePerFrame() = 0;
  // In the current time format. A reader that decodes on demand has nothing
  // to wait for here, so no settling time is needed.
  virtual void SetPosition(int64_t Position) = 0;
  // The frame at the position into Bitmap as ie24RGB of the frame's size
  // (reallocated unless it already is that), top row first. False, with the
  // picture untouched, when there is no frame there.
  virtual bool GetCurrentFrame(TIEBitmap* Bitmap) = 0;
  virtual void GetVideoFormat(Integer& Width, Integer& Height) = 0;
};

// The player the companion creates for OpenMediaFile. Replaceable (tests).
extern std::unique_ptr<TIEMediaFilePlayer> (*IECreateMediaFilePlayer)();
// The player over the platform's video-file reader.
std::unique_ptr<TIEMediaFilePlayer> IECreateVideoFilePlayer();

// Copies a frame of 24-bit top-down rows into Bitmap as ie24RGB, reallocated
// unless it already has that size and format. False (Bitmap untouched) when
// Data holds fewer than RowLen x Height bytes or the size is unusable.
bool IECopyFrameRows(const Byte* Data, int64_t DataSize, Integer Width, Integer Height, TIEBitmap* Bitmap);
