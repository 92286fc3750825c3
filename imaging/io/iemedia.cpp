// The media-file player over the platform's video-file reader. A source
// counts frames when its container records how many it holds; the others
// answer in media time only, and the companion steps through them by the
// average frame time.
#include "imaging/io/iemedia.h"

#include <cstring>

#include "platform/base/sysutils.h"
#include "platform/devices/videofile.h"

namespace {

class TIEVideoFilePlayer final : public TIEMediaFilePlayer {
 public:
  bool Connect() override {
    std::string why;
    FFormat = IETimeFormatMediaTime;
    FPosition = 0;
    return FFile.Open(WideToUtf8(MediaFileName), why);
  }
  void Disconnect() override { FFile.Close(); }
  void Pause() override {}
  void SetTimeFormat(Byte Format) override {
    Format &= 0x7F;
    if (Format == IETimeFormatMediaTime || (Format == IETimeFormatFrame && FFile.Info().FrameCount > 0))
      FFormat = Format;
  }
  int64_t GetDuration() override {
    if (!FFile.IsOpen()) return 0;
    return FFormat == IETimeFormatFrame ? FFile.Info().FrameCount : FFile.Info().Duration;
  }
  int64_t GetAverageTimePerFrame() override {
    const GtVideoInfo& i = FFile.Info();
    if (!FFile.IsOpen()) return 0;
    if (i.RateNum > 0 && i.RateDen > 0) return Round(10000000.0L * i.RateDen / i.RateNum);
    return FFile.MeasureFrameTime();
  }
  void SetPosition(int64_t Position) override { FPosition = Position; }
  bool GetCurrentFrame(TIEBitmap* Bitmap) override {
    if (!FFile.IsOpen() || Bitmap == nullptr) return false;
    const int64_t index = FFormat == IETimeFormatFrame ? FPosition : FFile.FrameAtTime(FPosition);
    GtVideoFrame f;
    if (!FFile.ReadFrame(index, f)) return false;
    return IECopyFrameRows(f.Bgr.data(), static_cast<int64_t>(f.Bgr.size()), f.Width, f.Height, Bitmap);
  }
  void GetVideoFormat(Integer& Width, Integer& Height) override {
    if (!FFile.IsOpen()) return;
    Width = FFile.Info().Width;
    Height = FFile.Info().Height;
  }

 private:
  GtVideoFile FFile;
  Byte FFormat = IETimeFormatMediaTime;
  int64_t FPosition = 0;
};

}  // namespace

std::unique_ptr<TIEMediaFilePlayer> IECreateVideoFilePlayer() { return std::make_unique<TIEVideoFilePlayer>(); }

std::unique_ptr<TIEMediaFilePlayer> (*IECreateMediaFilePlayer)() = IECreateVideoFilePlayer;

bool IECopyFrameRows(const Byte* Data, int64_t DataSize, Integer Width, Integer Height, TIEBitmap* Bitmap) {
  if (Bitmap == nullptr || Data == nullptr || Width <= 0 || Height <= 0) return false;
  const int64_t rowLen = int64_t(Width) * 3;
  // The frame's bytes must cover every row the size announces.
  if (DataSize < rowLen * Height) return false;
  if (Bitmap->Width() != Width || Bitmap->Height() != Height || Bitmap->PixelFormat() != ie24RGB) {
    if (!Bitmap->Allocate(Width, Height, ie24RGB)) return false;
  }
  for (Integer y = 0; y < Height; ++y)
    std::memcpy(Bitmap->GetScanline(y), Data + rowLen * y, static_cast<size_t>(rowLen));
  return true;
}
