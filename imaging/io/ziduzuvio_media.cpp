// Frames of video files: AVI files through the video-file reader, and any
// playable media file through the media-file player, which steps by frames
// when the source counts them and by the average frame time when not.
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>

#include "imaging/io/iemedia.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"
#include "platform/devices/videofile.h"

namespace ziduzuvio_media {
namespace {

// Milliseconds per frame at the stream's rate; 0 when the rate is unknown.
Integer FrameDelay(const GtVideoInfo& Info) {
  if (Info.RateNum <= 0 || Info.RateDen <= 0) return 0;
  return static_cast<Integer>(Round(1000.0 / (static_cast<double>(Info.RateNum) / Info.RateDen)));
}

}  // namespace
}  // namespace ziduzuvio_media

using namespace ziduzuvio_media;

// ---------------------------------------------------------------------------
// AVI files

Integer TZiduzUvIO::OpenAVIFile(const WideString& FileName) {
  std::lock_guard op(FOperationLock);
  SetAborting(false);
  CloseAVIFile();
  FParams->AVI_FRAMECOUNT = 0;
  FParams->FILENAME = FileName;
  FParams->FILETYPE = ieftUnknown;
  auto file = std::make_unique<GtVideoFile>();
  std::string why;
  if (!file->Open(WideToUtf8(FileName), why) || file->Info().Container != "avi") {
    if (why.empty()) why = "not an AVI file";
    LogFailure(W("\"") + FileName + W("\": ") + Utf8ToWide(why));
    SetAborting(true);
    return 0;
  }
  FAVIFile = std::move(file);
  const GtVideoInfo& info = FAVIFile->Info();
  FParams->AVI_FRAMECOUNT = static_cast<Integer>(std::min<int64_t>(info.FrameCount, INT32_MAX));
  FParams->AVI_FRAMEDELAYTIME = FrameDelay(info);
  return FParams->AVI_FRAMECOUNT;
}

void TZiduzUvIO::LoadAVIFrame(Integer Index) {
  if (HandOver([this, Index] { LoadAVIFrame(Index); })) return;
  std::lock_guard op(FOperationLock);
  TPrivateDecode decode(*this);
  SetAborting(false);
  try {
    const int64_t count = FAVIFile ? FAVIFile->Info().FrameCount : 0;
    if (PrepareBitmap() && FAVIFile && Index >= 0 && Index < count) {
      const GtVideoInfo& info = FAVIFile->Info();
      GtVideoFrame frame;
      TIEBitmap* target = IEBitmap();
      bool ok = FAVIFile->ReadFrame(Index, frame);
      if (ok) {
        target->RemoveAlphaChannel(false, clWhite);
        ok = IECopyFrameRows(frame.Bgr.data(), static_cast<int64_t>(frame.Bgr.size()), frame.Width, frame.Height,
                             target);
      }
      if (!ok) {
        LogFailure(W("frame ") + IntToStr(Index) + W(" of \"") + FParams->FILENAME + W("\" cannot be decoded"));
        SetAborting(true);
      } else {
        FParams->AVI_FRAMECOUNT = static_cast<Integer>(std::min<int64_t>(count, INT32_MAX));
        FParams->AVI_FRAMEDELAYTIME = FrameDelay(info);
        // As the file stores its frames; the picture itself is always 24-bit.
        switch (info.BitCount) {
          case 1:
          case 4:
          case 8:
            FParams->BITSPERSAMPLE = info.BitCount;
            FParams->SAMPLESPERPIXEL = 1;
            break;
          case 15:
            FParams->BITSPERSAMPLE = 5;
            FParams->SAMPLESPERPIXEL = 3;
            break;
          default:
            FParams->BITSPERSAMPLE = 8;
            FParams->SAMPLESPERPIXEL = 3;
        }
        FParams->SetDpiX(IEDefaultDpiX);
        FParams->SetDpiY(IEDefaultDpiY);
        FParams->WIDTH = FParams->ORIGINALWIDTH = frame.Width;
        FParams->HEIGHT = FParams->ORIGINALHEIGHT = frame.Height;
        FParams->FreeColorMap();
        UpdateAttachedView();
      }
    }
  } catch (...) {
    LogFailure(IECurrentExceptionText());
    SetAborting(true);
  }
  DoFinishWork();
}

void TZiduzUvIO::CloseAVIFile() {
  // Frames handed to workers before the close are read before the file goes.
  if (!InWorkerThread()) WaitThreads(false);
  std::lock_guard op(FOperationLock);
  FAVIFile.reset();
}

void TZiduzUvIO::LoadAVIFile(const WideString& FileName) {
  // Open, frame and close belong together: on a worker they run there as a
  // whole, so the file is never closed under a frame being read.
  if (HandOver([this, FileName] { LoadAVIFile(FileName); })) return;
  std::lock_guard op(FOperationLock);
  TSyncScope sync;
  OpenAVIFile(FileName);
  if (Aborting()) {
    DoFinishWork();
    return;
  }
  // Named before the frame's finish event, which a listener may answer by
  // reading them.
  FParams->FILENAME = FileName;
  FParams->FILETYPE = ieftAVI;
  LoadAVIFrame(FParams->IMAGEINDEX);
  CloseAVIFile();
}

// ---------------------------------------------------------------------------
// Media files

Integer TZiduzUvIO::OpenMediaFile(const WideString& FileName) {
  std::lock_guard op(FOperationLock);
  CloseMediaFile();
  SetAborting(true);
  std::unique_ptr<TIEMediaFilePlayer> player = IECreateMediaFilePlayer ? IECreateMediaFilePlayer() : nullptr;
  if (!player) return 0;
  player->MediaFileName = FileName;
  player->GrabFrames = true;
  if (!player->Connect()) {
    LogFailure(W("\"") + FileName + W("\" cannot be played"));
    return 0;
  }
  player->Pause();
  player->SetTimeFormat(IETimeFormatMediaTime);
  const int64_t duration = player->GetDuration();
  if (duration <= 0) {
    // Not a media file: nothing stays open.
    player->Disconnect();
    return 0;
  }
  player->SetTimeFormat(IETimeFormatFrame);
  int64_t frames = player->GetDuration();
  const int64_t average = player->GetAverageTimePerFrame();
  int64_t step = 1;
  if (frames == duration && average > 0) {
    // The source cannot count frames: it is stepped through in media time.
    frames = duration / average;
    step = average;
  }
  if (frames < 0) frames = 0;
  FMediaFrameStep = step;
  // No frames to share the duration: no delay can be given.
  FMediaFrameDelay = frames > 0 ? static_cast<double>(duration) / 10000000.0 / static_cast<double>(frames) * 1000.0 : 0;
  Integer w = 0, h = 0;
  player->GetVideoFormat(w, h);
  FMediaFile = std::move(player);
  SetAborting(false);
  const Integer count = static_cast<Integer>(std::min<int64_t>(frames, INT32_MAX));
  FParams->MEDIAFILE_FRAMECOUNT = count;
  FParams->FILETYPE = ieftUnknown;
  FParams->FILENAME = FileName;
  FParams->WIDTH = FParams->ORIGINALWIDTH = w;
  FParams->HEIGHT = FParams->ORIGINALHEIGHT = h;
  return count;
}

void TZiduzUvIO::LoadMediaFileFrame(Integer FrameIndex) {
  std::lock_guard op(FOperationLock);
  if (!FMediaFile) return;
  FParams->SetImageIndex(FrameIndex);
  FMediaFile->SetPosition(int64_t(FrameIndex) * FMediaFrameStep);
  TIEBitmap* target = IEBitmap();
  const bool ok = target != nullptr && FMediaFile->GetCurrentFrame(target);
  SetAborting(!ok);
  FParams->MEDIAFILE_FRAMEDELAYTIME = static_cast<Integer>(Round(FMediaFrameDelay));
  if (ok) UpdateAttachedView();
}

void TZiduzUvIO::CloseMediaFile() {
  std::lock_guard op(FOperationLock);
  if (!FMediaFile) return;
  FMediaFile->Disconnect();
  FMediaFile.reset();
}
