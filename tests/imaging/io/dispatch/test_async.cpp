// Asynchronous mode of the I/O companion with the test view: which calls run
// on a worker, what they answer, how the decoded picture reaches the view
// (only on the main thread, into the same picture object), and the calls
// whose streams live only as long as the call.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "dispatch_test_util.h"
#include "imaging/io/iepng.h"
#include "platform/base/threads.h"

namespace test_async_tests {

using namespace dispatch_test;
using io_test::Bytes;

namespace {

// Runs the calls queued for the main thread until the component's workers
// are done and nothing is left.
void Drain(TZiduzUvIO& IO) {
  IO.WaitThreads(false);
  while (CheckSynchronize(0)) {
  }
}

void ExpectFake(TIEBitmap* B, const Bytes& Data) {
  const Integer w = Data[4] | Data[5] << 8, h = Data[6] | Data[7] << 8;
  ASSERT_EQ(B->Width(), w);
  ASSERT_EQ(B->Height(), h);
  for (Integer y = 0; y < h; ++y)
    ASSERT_EQ(0, std::memcmp(B->GetScanline(y), Data.data() + 9 + y * w * 3, w * 3)) << "row " << y;
}

// A load for a view runs on a worker, answers -1 at once, never writes the
// view's picture or resolution from there, and hands both over on the main
// thread: the resolution without a repaint, then the picture into the same
// object, refreshed and announced.
TEST_F(RegistryTest, AsyncLoadHandsThePictureOverOnTheMainThread) {
  TFakePlugIn plugin;
  gFake.ReadDpi = 200;
  TCodecScope tiff(ieftTIFF, {FakeRead, nullptr});
  TFakeView view(TFakeView::WithIEBitmap);
  TIEBitmap* shown = view.GetIEBitmap();
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  io.SetAsynchronous(true);
  view.Log.clear();
  const Bytes data = MakeFake(9, 5, ie24RGB, 3);
  TMemoryStream s;
  io_test::Fill(s, data);
  EXPECT_EQ(io.LoadFromStreamTIFF(&s), -1);
  io.WaitThreads(false);
  // Decoded, but nothing of it has reached the view yet.
  EXPECT_EQ(gFake.Reads, 1);
  EXPECT_EQ(shown->Width(), 4);
  EXPECT_EQ(view.FDpiX, 96);
  EXPECT_TRUE(view.Log.empty());
  Drain(io);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(view.GetIEBitmap(), shown);
  ExpectFake(shown, data);
  EXPECT_EQ(view.FDpiX, 200);
  EXPECT_EQ(view.FDpiY, 200);
  EXPECT_EQ(view.Log,
            (std::vector<std::string>{"LockUpdate", "SetDpi 200 200", "UnlockUpdateQuiet", "Update", "ImageChange"}));
  EXPECT_EQ(io.IEBitmap(), shown);
}

// A failing asynchronous load hands nothing over; the view keeps its
// picture, although the reader had already sized its target and written rows.
TEST_F(RegistryTest, FailedAsyncLoadChangesNothingInTheView) {
  TZiduzUvIO maker(nullptr);
  ASSERT_TRUE(maker.IEBitmap()->Allocate(64, 64, ie24RGB));
  maker.IEBitmap()->Fill(0xFFFFFF);
  TMemoryStream png;
  maker.SaveToStreamPNG(&png);
  ASSERT_FALSE(maker.Aborting());
  Bytes data = StreamBytes(png);
  data.resize(data.size() / 2);

  TFakeView view(TFakeView::WithIEBitmap);
  TIEBitmap* shown = view.GetIEBitmap();
  shown->Fill(0x123456);
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  io.SetAsynchronous(true);
  view.Log.clear();
  TMemoryStream s;
  io_test::Fill(s, data);
  io.LoadFromStreamPNG(&s);
  Drain(io);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(shown->Width(), 4);
  EXPECT_EQ(static_cast<const Byte*>(shown->GetScanline(2))[0], 0x12);  // blue first
  EXPECT_TRUE(view.Log.empty());
}

// Which components hand their work over: only one working on a picture it
// does not own, and never from inside one of its workers.
TEST_F(RegistryTest, WhoRunsAsynchronously) {
  TFakePlugIn plugin;
  const Bytes data = MakeFake(3, 2, ie24RGB);
  {
    SCOPED_TRACE("own bitmap: synchronous");
    TZiduzUvIO io(nullptr);
    io.SetAsynchronous(true);
    TMemoryStream s;
    io_test::Fill(s, data);
    io.LoadFromStream(&s);
    EXPECT_EQ(gFake.Reads, 1);
    ExpectFake(io.IEBitmap(), data);
  }
  {
    SCOPED_TRACE("outside bitmap: on a worker, decoded in place");
    TIEBitmap outside(1, 1, ie24RGB);
    auto io = TZiduzUvIO::CreateForBitmap(&outside);
    io->SetAsynchronous(true);
    std::atomic<Integer> finishes{0};
    std::thread::id where;
    io->OnFinishWork = [&](TObject*) {
      where = std::this_thread::get_id();
      ++finishes;
    };
    TMemoryStream s;
    io_test::Fill(s, data);
    gFake.SleepMs = 20;
    io->LoadFromStream(&s);
    EXPECT_EQ(finishes, 0);
    Drain(*io);
    EXPECT_EQ(finishes, 1);
    // Run on a worker, reported on the main thread.
    EXPECT_EQ(where, std::this_thread::get_id());
    ExpectFake(&outside, data);
  }
}

// A buffer load wraps the block in a stream of its own; with the call on a
// worker, that stream must live on the worker, not in the returned call.
TEST_F(RegistryTest, AsyncBufferLoadKeepsItsStreamAlive) {
  TFakePlugIn plugin;
  gFake.SleepMs = 20;
  TFakeView view(TFakeView::WithIEBitmap);
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  io.SetAsynchronous(true);
  const Bytes data = MakeFake(7, 6, ie24RGB, 9);
  io.LoadFromBuffer(data.data(), static_cast<Integer>(data.size()), ieftUnknown);
  Drain(io);
  EXPECT_FALSE(io.Aborting());
  ExpectFake(view.GetIEBitmap(), data);
}

// Exporting saves into a stream of its own first: that save stays on the
// caller's thread even in asynchronous mode, so the export is complete when
// the call returns.
TEST_F(RegistryTest, ExportStaysSynchronous) {
  TIEBitmap outside(5, 4, ie24RGB);
  outside.Fill(0x808080);
  auto io = TZiduzUvIO::CreateForBitmap(&outside);
  io->SetAsynchronous(true);
  io_test::TempDir dir;
  const std::string path = dir.File("picture.h");
  io->ExportSourceArray(W(path.c_str()), ieftPNG, 1);
  EXPECT_FALSE(io->Aborting());
  EXPECT_FALSE(io_test::ReadFile(path).empty());
  Drain(*io);
}

// A worker whose operation raises (the file cannot be opened) leaves
// Aborting set and unlists itself.
TEST_F(RegistryTest, RaisingWorkerReportsFailure) {
  TIEBitmap outside(2, 2, ie24RGB);
  auto io = TZiduzUvIO::CreateForBitmap(&outside);
  io->SetAsynchronous(true);
  io->LoadFromFilePNG(u"/nonexistent/folder/picture.png");
  io->WaitThreads(false);
  EXPECT_TRUE(io->Aborting());
  EXPECT_EQ(outside.Width(), 2);
  Drain(*io);
}

}  // namespace

}  // namespace test_async_tests
