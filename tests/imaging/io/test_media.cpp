// Frames of video files: AVI frames and media-file frames compared with what
// ffmpeg itself decodes from fixtures it makes, the frame arithmetic of the
// media player against a player of the test's own, and frame counts by name.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/iedpi.h"
#include "imaging/io/iemedia.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "platform/base/sysutils.h"

namespace media_tests {
namespace {

using namespace io_test;

constexpr int kW = 64, kH = 48, kFrames = 12;

// The fixtures, made once per test program by ffmpeg's own test source at 25
// frames per second: raw BGR frames in AVI (exact), MJPEG in AVI, and the
// same source in Matroska, which records no frame count.
class MediaFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir;
    ASSERT_TRUE(gt_test::HaveTool("ffmpeg")) << "ffmpeg missing (scripts/install-deps.sh installs it)";
    const std::string src = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(kW) + "x" +
                            std::to_string(kH) + ":rate=25 -frames:v " + std::to_string(kFrames) + " ";
    ASSERT_EQ(Shell("cd '" + Dir->Path + "' && " + src + "-c:v rawvideo -pix_fmt bgr24 raw.avi && " + src +
                    "-c:v mjpeg -q:v 4 mjpeg.avi && " + src + "-c:v mjpeg -q:v 4 clip.mkv && " +
                    "cp raw.avi disguised.mkv && echo not a video > text.avi"),
              0);
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }
  static std::string Path(const std::string& Name) { return Dir->File(Name); }

  // Frame K as ffmpeg decodes it: top-down BGR rows. Every frame of a file
  // is decoded in one run, once.
  static Bytes FfmpegFrame(const std::string& Name, int K) {
    const std::string out = Dir->File(Name + ".bgr");
    if (!std::filesystem::exists(out)) {
      EXPECT_EQ(Shell("ffmpeg -v error -y -i '" + Path(Name) + "' -f rawvideo -pix_fmt bgr24 '" + out + "'"), 0);
    }
    const Bytes all = ReadFile(out);
    const size_t frame = size_t(kW) * kH * 3;
    if (all.size() < frame * (K + 1)) return {};
    return Bytes(all.begin() + frame * K, all.begin() + frame * (K + 1));
  }

  static TempDir* Dir;
};
TempDir* MediaFiles::Dir = nullptr;

// The largest difference of one sample between the picture and the rows.
int MaxDiff(TIEBitmap* B, const Bytes& Rows) {
  if (B->PixelFormat() != ie24RGB || Rows.size() != size_t(B->Width()) * B->Height() * 3) return 256;
  int worst = 0;
  const size_t row = size_t(B->Width()) * 3;
  for (Integer y = 0; y < B->Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(B->GetScanline(y));
    for (size_t i = 0; i < row; ++i) worst = std::max(worst, std::abs(int(p[i]) - int(Rows[row * y + i])));
  }
  return worst;
}

TEST_F(MediaFiles, AVIFramesEqualFfmpegsDecode) {
  struct Case {
    const char* File;
    int Tolerance;  // raw frames are exact; MJPEG allows the colour conversion's rounding
  } cases[] = {{"raw.avi", 0}, {"mjpeg.avi", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    TZiduzUvIO io(nullptr);
    ASSERT_EQ(io.OpenAVIFile(Utf8ToWide(Path(c.File))), kFrames);
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(io.Params().AVI_FRAMECOUNT, kFrames);
    EXPECT_EQ(io.Params().AVI_FRAMEDELAYTIME, 40);
    // Backwards, forwards, a repeat and a jump: each needs the right frame
    // whatever the decoder read before.
    for (int k : {7, 0, 1, 2, 2, 11, 5}) {
      SCOPED_TRACE(k);
      io.LoadAVIFrame(k);
      ASSERT_FALSE(io.Aborting());
      EXPECT_EQ(io.IEBitmap()->Width(), kW);
      EXPECT_EQ(io.IEBitmap()->Height(), kH);
      EXPECT_LE(MaxDiff(io.IEBitmap(), FfmpegFrame(c.File, k)), c.Tolerance);
    }
    EXPECT_EQ(io.Params().WIDTH, kW);
    EXPECT_EQ(io.Params().ORIGINALHEIGHT, kH);
    EXPECT_EQ(io.Params().BITSPERSAMPLE, 8);
    EXPECT_EQ(io.Params().SAMPLESPERPIXEL, 3);
    io.CloseAVIFile();
  }
}

TEST_F(MediaFiles, AVIFrameCountAndRateAgreeWithFfprobe) {
  ASSERT_TRUE(gt_test::HaveTool("ffprobe"));
  const std::string probe = gt_test::Capture("ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames,r_frame_rate "
                                    "-of csv=p=0 '" + Path("raw.avi") + "'");
  EXPECT_EQ(probe.substr(0, probe.find_first_of("\r\n")), "25/1," + std::to_string(kFrames));
}

TEST_F(MediaFiles, FramesOutsideTheFileChangeNothing) {
  TZiduzUvIO io(nullptr);
  ASSERT_EQ(io.OpenAVIFile(Utf8ToWide(Path("raw.avi"))), kFrames);
  io.LoadAVIFrame(3);
  const Bytes third = FfmpegFrame("raw.avi", 3);
  int finishes = 0;
  io.OnFinishWork = [&](TObject*) { ++finishes; };
  for (int k : {kFrames, -1, 1 << 30}) {
    io.LoadAVIFrame(k);
    EXPECT_FALSE(io.Aborting()) << k;
    EXPECT_EQ(MaxDiff(io.IEBitmap(), third), 0) << k;
  }
  EXPECT_EQ(finishes, 3);  // every call ends with the event
  // Closed, no frame is read either.
  io.CloseAVIFile();
  io.LoadAVIFrame(0);
  EXPECT_EQ(MaxDiff(io.IEBitmap(), third), 0);
}

TEST_F(MediaFiles, OnlyAVIFilesOpenAsAVI) {
  for (const char* name : {"text.avi", "clip.mkv", "missing.avi"}) {
    TZiduzUvIO io(nullptr);
    EXPECT_EQ(io.OpenAVIFile(Utf8ToWide(Path(name))), 0) << name;
    EXPECT_TRUE(io.Aborting()) << name;
    EXPECT_EQ(io.Params().AVI_FRAMECOUNT, 0);
    io.LoadAVIFrame(0);  // nothing open: nothing read
    EXPECT_EQ(io.IEBitmap()->Width(), 0) << name;
  }
}

TEST_F(MediaFiles, LoadingAnAVIByNameTakesTheImageIndex) {
  IEBuildFormatRegistry();
  TZiduzUvIO io(nullptr);
  io.Params().SetImageIndex(9);
  io.LoadFromFile(Utf8ToWide(Path("raw.avi")));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(MaxDiff(io.IEBitmap(), FfmpegFrame("raw.avi", 9)), 0);
  EXPECT_EQ(io.Params().FILETYPE, ieftAVI);
  EXPECT_EQ(io.Params().FILENAME, Utf8ToWide(Path("raw.avi")));

  // A broken one fails with the finish event (nothing else would tell an
  // asynchronous caller that it is over).
  int finishes = 0;
  io.OnFinishWork = [&](TObject*) { ++finishes; };
  io.LoadFromFile(Utf8ToWide(Path("text.avi")));
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(finishes, 1);
  IEFreeFormatRegistry();
}

TEST_F(MediaFiles, MediaFramesEqualFfmpegsDecode) {
  struct Case {
    const char* File;
    int Tolerance;
  } cases[] = {
      {"raw.avi", 0},    // counts its frames: stepped by frame
      {"mjpeg.avi", 2},
      {"clip.mkv", 2},   // no frame count: stepped by the average frame time
      {"disguised.mkv", 0},  // the name does not matter, the content does
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    TZiduzUvIO io(nullptr);
    ASSERT_EQ(io.OpenMediaFile(Utf8ToWide(Path(c.File))), kFrames);
    EXPECT_TRUE(io.IsMediaFileOpen());
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(io.Params().MEDIAFILE_FRAMECOUNT, kFrames);
    EXPECT_EQ(io.Params().WIDTH, kW);
    EXPECT_EQ(io.Params().HEIGHT, kH);
    for (int k : {4, 0, 11, 10, 6}) {
      SCOPED_TRACE(k);
      io.LoadMediaFileFrame(k);
      ASSERT_FALSE(io.Aborting());
      EXPECT_EQ(io.Params().IMAGEINDEX, k);
      EXPECT_EQ(io.Params().MEDIAFILE_FRAMEDELAYTIME, 40);
      EXPECT_LE(MaxDiff(io.IEBitmap(), FfmpegFrame(c.File, k)), c.Tolerance);
    }
    io.CloseMediaFile();
    EXPECT_FALSE(io.IsMediaFileOpen());
  }
}

TEST_F(MediaFiles, WhatCannotBePlayedOpensNothing) {
  for (const char* name : {"text.avi", "missing.mkv"}) {
    TZiduzUvIO io(nullptr);
    EXPECT_EQ(io.OpenMediaFile(Utf8ToWide(Path(name))), 0) << name;
    EXPECT_TRUE(io.Aborting());
    EXPECT_FALSE(io.IsMediaFileOpen());
    io.LoadMediaFileFrame(0);
    EXPECT_EQ(io.IEBitmap()->Width(), 0);
  }
}

TEST_F(MediaFiles, ImageCountsOfVideoFiles) {
  IEBuildFormatRegistry();
  EXPECT_EQ(IEGetFileImageCount(Utf8ToWide(Path("raw.avi"))), kFrames);
  EXPECT_EQ(IEGetFileImageCount(Utf8ToWide(Path("clip.mkv"))), kFrames);  // no registry entry: the player counts
  EXPECT_EQ(IEGetFileImageCount(Utf8ToWide(Path("text.avi"))), 0);
  IEFreeFormatRegistry();
}

// ---------------------------------------------------------------------------
// The media-file arithmetic against a player that answers as the test says

struct FakeSetting {
  int64_t Duration;  // media time
  int64_t Frames;    // -1: cannot count frames (stays in media time)
  int64_t Average;
  bool Connects;
};
struct FakeSource {
  FakeSetting Is;
  std::vector<int64_t> Positions;
  std::vector<Byte> FormatsAsked;
  int Disconnects = 0;
};
FakeSource* gSource = nullptr;

class FakePlayer final : public TIEMediaFilePlayer {
 public:
  bool Connect() override { return gSource->Is.Connects; }
  void Disconnect() override { ++gSource->Disconnects; }
  void Pause() override {}
  void SetTimeFormat(Byte Format) override {
    gSource->FormatsAsked.push_back(Format);
    if (Format == IETimeFormatMediaTime || (Format == IETimeFormatFrame && gSource->Is.Frames >= 0)) FFormat = Format;
  }
  int64_t GetDuration() override { return FFormat == IETimeFormatFrame ? gSource->Is.Frames : gSource->Is.Duration; }
  int64_t GetAverageTimePerFrame() override { return gSource->Is.Average; }
  void SetPosition(int64_t Position) override { gSource->Positions.push_back(Position); }
  bool GetCurrentFrame(TIEBitmap* Bitmap) override {
    const Bytes rows(2 * 2 * 3, Byte(gSource->Positions.size()));
    return IECopyFrameRows(rows.data(), int64_t(rows.size()), 2, 2, Bitmap);
  }
  void GetVideoFormat(Integer& Width, Integer& Height) override {
    Width = 320;
    Height = 240;
  }

 private:
  Byte FFormat = IETimeFormatMediaTime;
};

// Whether a library whose file name begins with Name is mapped into this
// process.
bool Mapped(const std::string& Name) {
  std::ifstream maps("/proc/self/maps");
  for (std::string line; std::getline(maps, line);)
    if (line.find("/" + Name) != std::string::npos) return true;
  return false;
}

// The video, internet and metafile libraries (and the hundred behind them)
// are opened by their first use, not by starting the library or by loading
// and saving pictures: only a fresh process shows what start-up loaded, so
// the checks run in a copy of this program.
TEST_F(MediaFiles, DeviceLibrariesOpenOnFirstUse) {
  if (std::getenv("GT_FIRST_USE_SIDE")) {
    const char* const onFirstUse[] = {"libavformat.so", "libcurl.so", "libwmf-0.2.so", "libemf2svg.so"};
    IEStartup();
    for (const char* lib : onFirstUse) EXPECT_FALSE(Mapped(lib)) << lib << " after start-up";
    {
      TZiduzUvIO io(nullptr);
      ASSERT_TRUE(io.IEBitmap()->Allocate(8, 6, ie24RGB));
      io.IEBitmap()->Fill(0x336699);
      io.SaveToFile(Utf8ToWide(Path("side.png")));
      io.LoadFromFile(Utf8ToWide(Path("side.png")));
      ASSERT_FALSE(io.Aborting());
      for (const char* lib : onFirstUse) EXPECT_FALSE(Mapped(lib)) << lib << " after a load and a save";
      ASSERT_EQ(io.OpenAVIFile(Utf8ToWide(Path("raw.avi"))), kFrames);
      io.LoadAVIFrame(3);
      EXPECT_FALSE(io.Aborting());
      io.CloseAVIFile();
    }
    EXPECT_TRUE(Mapped("libavformat.so")) << "after a video file";
    EXPECT_FALSE(Mapped("libcurl.so"));
    IEShutdown();
    return;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    // The copy runs this one test whatever shard of the suite started it.
    unsetenv("GTEST_SHARD_INDEX");
    unsetenv("GTEST_TOTAL_SHARDS");
    unsetenv("GTEST_SHARD_STATUS_FILE");
    setenv("GT_FIRST_USE_SIDE", "1", 1);
    execl("/proc/self/exe", "test_imaging_io", "--gtest_filter=MediaFiles.DeviceLibrariesOpenOnFirstUse",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the copy's checks failed (its output is above)";
}

TEST(MediaFileArithmetic, FrameCountStepAndDelay) {
  struct Case {
    const char* What;
    FakeSetting Setting;
    Integer Count, Delay;
    int64_t PositionOfFrame10;
  } cases[] = {
      {"10 s, no frame count, 25 per second", {100000000, -1, 400000, true}, 250, 40, 4000000},
      {"10 s, counts 250 frames", {100000000, 250, 400000, true}, 250, 40, 10},
      {"no frame count, no frame time: media time units", {100000000, -1, 0, true}, 100000000, 0, 10},
      {"counts no frames at all: no delay", {100000000, 0, 0, true}, 0, 0, 10},
      {"a lying frame time larger than the whole", {100000000, -1, 300000000, true}, 0, 0, 3000000000},
  };
  IECreateMediaFilePlayer = [] { return std::unique_ptr<TIEMediaFilePlayer>(new FakePlayer); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    FakeSource source{c.Setting, {}, {}, 0};
    gSource = &source;
    TZiduzUvIO io(nullptr);
    EXPECT_EQ(io.OpenMediaFile(u"video.any"), c.Count);
    EXPECT_FALSE(io.Aborting());
    EXPECT_EQ(io.Params().MEDIAFILE_FRAMECOUNT, c.Count);
    EXPECT_EQ(io.Params().WIDTH, 320);
    EXPECT_EQ(io.Params().FILENAME, u"video.any");
    ASSERT_EQ(source.FormatsAsked, (std::vector<Byte>{IETimeFormatMediaTime, IETimeFormatFrame}));
    io.LoadMediaFileFrame(10);
    ASSERT_EQ(source.Positions, std::vector<int64_t>{c.PositionOfFrame10});
    EXPECT_EQ(io.Params().MEDIAFILE_FRAMEDELAYTIME, c.Delay);
    EXPECT_EQ(io.IEBitmap()->Width(), 2);
    io.CloseMediaFile();
    EXPECT_EQ(source.Disconnects, 1);
  }
  IECreateMediaFilePlayer = IECreateVideoFilePlayer;
  gSource = nullptr;
}

TEST(MediaFileArithmetic, NoDurationOrNoConnectionIsNoMediaFile) {
  FakeSource none{{0, 0, 400000, true}, {}, {}, 0}, refused{{100000000, 250, 400000, false}, {}, {}, 0};
  IECreateMediaFilePlayer = [] { return std::unique_ptr<TIEMediaFilePlayer>(new FakePlayer); };
  for (FakeSource* s : {&none, &refused}) {
    gSource = s;
    TZiduzUvIO io(nullptr);
    EXPECT_EQ(io.OpenMediaFile(u"x"), 0);
    EXPECT_TRUE(io.Aborting());
    EXPECT_FALSE(io.IsMediaFileOpen());
  }
  IECreateMediaFilePlayer = IECreateVideoFilePlayer;
  gSource = nullptr;
}

TEST(MediaFileArithmetic, FrameRowsMustCoverTheSize) {
  TIEBitmap b(3, 3, ie8g);
  const Bytes rows(4 * 2 * 3 - 1, 7);  // one byte short of 4 x 2
  EXPECT_FALSE(IECopyFrameRows(rows.data(), int64_t(rows.size()), 4, 2, &b));
  EXPECT_EQ(b.Width(), 3);  // untouched
  EXPECT_EQ(b.PixelFormat(), ie8g);
  EXPECT_FALSE(IECopyFrameRows(rows.data(), int64_t(rows.size()), 0, 2, &b));
  EXPECT_FALSE(IECopyFrameRows(rows.data(), int64_t(rows.size()), 2, -2, &b));
  EXPECT_TRUE(IECopyFrameRows(rows.data(), int64_t(rows.size()), 3, 2, &b));
  EXPECT_EQ(b.PixelFormat(), ie24RGB);
  EXPECT_EQ(b.Height(), 2);
}

}  // namespace
}  // namespace media_tests
