// Asynchronous loads into a real single-image view: the worker decodes into
// a picture of its own and the view takes it over on the window's thread, so
// the picture being painted is never written from another thread, a failed
// load leaves it as it was, and the view may go while a load still runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "../io_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/iepng.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/sysutils.h"
#include "platform/base/threads.h"
#include "platform/ui/forms.h"
#include "platform/ui/testsupport.h"
#include "tests/support/wait.h"

namespace test_async_view_tests {

namespace {

constexpr Integer kBigW = 2000, kBigH = 1500;

// The pixel the big fixture holds at (x, y): every row and column differs,
// so a row of another row or a half-written row shows.
inline void BigPixel(Integer x, Integer y, Byte* bgr) {
  bgr[0] = static_cast<Byte>(x * 3 + y);
  bgr[1] = static_cast<Byte>(y * 5 + 1);
  bgr[2] = static_cast<Byte>((x ^ y) + 7);
}

// Writes the fixture PNG (150 dpi) through a companion of its own.
void WriteBigPng(const std::string& Path) {
  TZiduzUvIO io(nullptr);
  TIEBitmap* b = io.IEBitmap();
  ASSERT_TRUE(b->Allocate(kBigW, kBigH, ie24RGB));
  for (Integer y = 0; y < kBigH; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < kBigW; ++x) BigPixel(x, y, row + 3 * x);
  }
  io.Params().SetDpiX(150);
  io.Params().SetDpiY(150);
  io.SaveToFilePNG(W(Path.c_str()));
  ASSERT_FALSE(io.Aborting());
}

bool RowIsBig(TIEBitmap* B, Integer y) {
  const Byte* row = static_cast<const Byte*>(B->GetScanline(y));
  Byte want[3];
  for (Integer x : {0, 1, kBigW / 2, kBigW - 1}) {
    BigPixel(x, y, want);
    if (row[3 * x] != want[0] || row[3 * x + 1] != want[1] || row[3 * x + 2] != want[2]) return false;
  }
  return true;
}

// The view's first picture: 64 x 48 of one colour.
constexpr Integer kOldW = 64, kOldH = 48;
constexpr Byte kOld = 0x5A;

bool IsOldPicture(TIEBitmap* B) {
  if (B->Width() != kOldW || B->Height() != kOldH || B->PixelFormat() != ie24RGB) return false;
  for (Integer y : {0, kOldH / 2, kOldH - 1}) {
    const Byte* row = static_cast<const Byte*>(B->GetScanline(y));
    for (Integer i = 0; i < kOldW * 3; ++i)
      if (row[i] != kOld) return false;
  }
  return true;
}

class AsyncViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new io_test::TempDir;
    BigPng = Dir->File("big.png");
    WriteBigPng(BigPng);
    // The same file cut in half, and bytes that are no PNG at all.
    const io_test::Bytes whole = io_test::ReadFile(BigPng);
    io_test::WriteFile(Dir->File("cut.png"), io_test::Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    io_test::WriteFile(Dir->File("junk.png"), io_test::Bytes(4096, 0x33));
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }
  void SetUp() override {
    IEBuildFormatRegistry();
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(20, 20, 500, 400);
    Form->Show();
    GtTestPump(10);
    View = new TZiduzUvView(Form.get());
    View->SetBorderStyle(bsNone);
    View->SetParent(Form.get());
    View->SetBounds(0, 0, 400, 300);
    View->HandleNeeded();
    ASSERT_TRUE(View->GetIEBitmap()->Allocate(kOldW, kOldH, ie24RGB));
    View->GetIEBitmap()->Fill(0x5A5A5A);
    View->Update();
    GtTestPump(5);
    Shown = View->GetIEBitmap();
  }
  void TearDown() override {
    Form.reset();
    Application->ProcessMessages();
    IEFreeFormatRegistry();
  }
  // What the window thread does while a load runs: render the back buffer
  // from the picture and read the picture.
  void PaintOnce() {
    View->InvalidateRectDirty(TRect(0, 0, 400, 300));
    View->PaintBackBufferTo(TRect(0, 0, 400, 300));
    TIEBitmap* b = View->GetIEBitmap();
    ASSERT_EQ(b, Shown);
    // Either the old picture or the whole new one, never a mixture.
    if (b->Width() == kBigW) {
      ASSERT_EQ(b->Height(), kBigH);
      ASSERT_TRUE(RowIsBig(b, 0) && RowIsBig(b, kBigH - 1)) << "a half-decoded picture was shown";
    } else {
      ASSERT_TRUE(IsOldPicture(b)) << "the shown picture was written before it was handed over";
    }
  }
  // Pumps (painting between) until Done or the time is up.
  bool PumpPainting(const std::function<bool()>& Done, Integer TimeoutMs = gt_test::kWaitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (!Done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      PaintOnce();
      if (::testing::Test::HasFatalFailure()) return false;
      GtTestPump(1);
    }
    return true;
  }
  TZiduzUvIO* AsyncIO() {
    TZiduzUvIO* io = View->GetIO();
    io->SetAsynchronous(true);
    return io;
  }

  static inline io_test::TempDir* Dir = nullptr;
  static inline std::string BigPng;
  std::unique_ptr<TForm> Form;
  TZiduzUvView* View = nullptr;
  TIEBitmap* Shown = nullptr;
};

TEST_F(AsyncViewTest, PictureArrivesWholeOnTheWindowThread) {
  std::atomic<Integer> finishes{0};
  std::vector<Integer> progress;
  std::thread::id finishThread;
  View->SetOnFinishWork([&](TObject*) {
    finishThread = std::this_thread::get_id();
    ++finishes;
  });
  View->SetOnProgress([&](TObject*, Integer per) { progress.push_back(per); });
  TZiduzUvIO* io = AsyncIO();
  const Integer dpi0 = View->DpiX();
  ASSERT_NE(dpi0, 150);

  io->LoadFromFile(W(BigPng.c_str()));
  // The call returned at once; give the worker time to decode everything
  // without letting the window thread run: the shown picture and the view's
  // resolution must still be untouched, because only the window thread may
  // change them.
  for (int i = 0; i < 20; ++i) {
    PaintOnce();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  io->WaitThreads(false);
  EXPECT_TRUE(IsOldPicture(View->GetIEBitmap()));
  EXPECT_EQ(View->DpiX(), dpi0);
  EXPECT_EQ(finishes, 0) << "OnFinishWork must come through the window thread";

  ASSERT_TRUE(PumpPainting([&] { return finishes > 0; }));
  EXPECT_EQ(finishThread, std::this_thread::get_id());
  EXPECT_FALSE(io->Aborting());
  // The same picture object now holds the new pixels, laid out and shown.
  ASSERT_EQ(View->GetIEBitmap(), Shown);
  ASSERT_EQ(Shown->Width(), kBigW);
  ASSERT_EQ(Shown->Height(), kBigH);
  for (Integer y : {0, 1, 777, kBigH - 1}) EXPECT_TRUE(RowIsBig(Shown, y)) << "row " << y;
  EXPECT_EQ(View->ImageWidth(), kBigW);
  EXPECT_EQ(View->ImageHeight(), kBigH);
  EXPECT_EQ(View->DpiX(), 150);
  EXPECT_EQ(View->DpiY(), 150);
  EXPECT_EQ(io->Params().FILETYPE, ieftPNG);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 100);
  EXPECT_EQ(io->IEBitmap(), Shown);
  PaintOnce();
}

// A load that fails on the worker leaves the view's picture, its resolution
// and its layout as they were, and still ends with OnFinishWork.
TEST_F(AsyncViewTest, FailedLoadLeavesThePictureAlone) {
  struct TCase {
    const char* Name;
    std::string File;
  };
  const TCase cases[] = {
      {"truncated PNG", Dir->File("cut.png")},
      {"not a PNG", Dir->File("junk.png")},
      {"missing file", Dir->File("none.png")},
  };
  std::atomic<Integer> finishes{0};
  View->SetOnFinishWork([&](TObject*) { ++finishes; });
  TZiduzUvIO* io = AsyncIO();
  const Integer dpi0 = View->DpiX();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    finishes = 0;
    io->LoadFromFile(W(c.File.c_str()));
    ASSERT_TRUE(PumpPainting([&] { return finishes > 0; }));
    io->WaitThreads(false);
    GtTestPump(20);
    EXPECT_TRUE(io->Aborting());
    EXPECT_EQ(View->GetIEBitmap(), Shown);
    EXPECT_TRUE(IsOldPicture(Shown));
    EXPECT_EQ(View->ImageWidth(), kOldW);
    EXPECT_EQ(View->DpiX(), dpi0);
    EXPECT_FALSE(View->HasPendingBitmap());
  }
}

// Holds the PNG reader at its start until released, so that a test can act
// while a load is certainly running.
std::atomic<bool> gEntered{false}, gRelease{false};
void GatedPngRead(TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec, bool Preview) {
  gEntered = true;
  gt_test::WaitUntil([] { return gRelease.load(); });
  IEPngReadRoutine(S, B, P, Rec, Preview);
}

class TGate {
 public:
  TGate() : FOld(IESetBuiltInCodec(ieftPNG, {GatedPngRead, IEPngWriteRoutine})) {
    gEntered = false;
    gRelease = false;
  }
  ~TGate() {
    gRelease = true;
    if (FReleaser.joinable()) FReleaser.join();
    IESetBuiltInCodec(ieftPNG, std::move(FOld));
  }
  // Opens the gate from another thread after Ms, while this one blocks.
  void ReleaseAfter(Integer Ms) {
    FReleaser = std::thread([Ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
      gRelease = true;
    });
  }
  static bool WaitEntered() {
    return gt_test::WaitUntil([] { return gEntered.load(); });
  }

 private:
  TIEBuiltInCodec FOld;
  std::thread FReleaser;
};

// The view goes while its own companion's load runs: the view waits for the
// worker, the picture is dropped with the view, and nothing queued for the
// window thread afterwards touches either.
TEST_F(AsyncViewTest, ViewDestroyedWhileItsOwnCompanionLoads) {
  TGate gate;
  std::atomic<Integer> finishes{0};
  View->SetOnFinishWork([&](TObject*) { ++finishes; });
  AsyncIO()->LoadFromFile(W(BigPng.c_str()));
  ASSERT_TRUE(TGate::WaitEntered());
  gate.ReleaseAfter(50);
  delete View;
  View = nullptr;
  GtTestPump(100);
  while (CheckSynchronize(0)) {
  }
  EXPECT_EQ(finishes, 0);
}

// The same with a companion of the application's, not the view's: the
// companion forgets the view, its next load works on a picture of its own.
TEST_F(AsyncViewTest, ViewDestroyedWhileAnOutsideCompanionLoads) {
  TGate gate;
  auto io = std::make_unique<TZiduzUvIO>(nullptr);
  io->SetAttachedZiduzUv(View);
  io->SetAsynchronous(true);
  io->LoadFromFile(W(BigPng.c_str()));
  ASSERT_TRUE(TGate::WaitEntered());
  gate.ReleaseAfter(50);
  delete View;
  View = nullptr;
  EXPECT_EQ(io->AttachedZiduzUv(), nullptr);
  io->WaitThreads(false);
  GtTestPump(100);
  while (CheckSynchronize(0)) {
  }
  EXPECT_TRUE(io->OwnsBitmap());
  io.reset();
}

// The companion goes first, while its load runs: destruction waits for the
// worker and the picture it decoded never reaches the view.
TEST_F(AsyncViewTest, CompanionDestroyedWhileItLoads) {
  TGate gate;
  auto io = std::make_unique<TZiduzUvIO>(nullptr);
  io->SetAttachedZiduzUv(View);
  io->SetAsynchronous(true);
  io->LoadFromFile(W(BigPng.c_str()));
  ASSERT_TRUE(TGate::WaitEntered());
  gate.ReleaseAfter(30);
  io.reset();
  for (int i = 0; i < 20; ++i) {
    PaintOnce();
    GtTestPump(5);
  }
  EXPECT_TRUE(IsOldPicture(View->GetIEBitmap()));
  EXPECT_FALSE(View->HasPendingBitmap());
}

}  // namespace

// An AVI loaded by name on a worker: opening, reading the frame and closing
// run there as a whole, and frames asked of an open AVI are read before a
// close from the window thread lets the file go.
TEST_F(AsyncViewTest, AVIFramesOnAWorker) {
  ASSERT_TRUE(gt_test::HaveTool("ffmpeg"));
  const std::string avi = Dir->File("clip.avi");
  ASSERT_EQ(io_test::Shell("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 8 -c:v rawvideo "
                           "-pix_fmt bgr24 '" + avi + "' && ffmpeg -v error -y -i '" + avi +
                           "' -f rawvideo -pix_fmt bgr24 '" + avi + ".bgr'"),
            0);
  const io_test::Bytes frames = io_test::ReadFile(avi + ".bgr");
  ASSERT_EQ(frames.size(), size_t(64) * 48 * 3 * 8);
  auto isFrame = [&](Integer K) {
    TIEBitmap* b = View->GetIEBitmap();
    if (b->Width() != 64 || b->Height() != 48) return false;
    for (Integer y = 0; y < 48; ++y)
      if (std::memcmp(b->GetScanline(y), &frames[(size_t(K) * 48 + y) * 64 * 3], 64 * 3) != 0) return false;
    return true;
  };
  std::atomic<Integer> finishes{0};
  View->SetOnFinishWork([&](TObject*) { ++finishes; });
  TZiduzUvIO* io = AsyncIO();
  auto pumpUntil = [&](Integer N) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(gt_test::kWaitMs);
    while (finishes < N) {
      if (std::chrono::steady_clock::now() > end) return false;
      GtTestPump(1);
    }
    return true;
  };

  io->Params().SetImageIndex(5);
  io->LoadFromFile(W(avi.c_str()));
  ASSERT_TRUE(pumpUntil(1));
  EXPECT_FALSE(io->Aborting());
  EXPECT_TRUE(isFrame(5));
  EXPECT_EQ(io->Params().FILETYPE, ieftAVI);

  ASSERT_EQ(io->OpenAVIFile(W(avi.c_str())), 8);
  io->LoadAVIFrame(6);
  io->CloseAVIFile();  // right away: the frame asked for is read first
  ASSERT_TRUE(pumpUntil(2));
  EXPECT_FALSE(io->Aborting());
  EXPECT_TRUE(isFrame(6));
  EXPECT_EQ(finishes, 2);
}

}  // namespace test_async_view_tests
