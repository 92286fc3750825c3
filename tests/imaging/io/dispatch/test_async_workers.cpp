// The worker side of asynchronous mode: several operations handed over at
// once run one after the other in the order they were posted, their events
// reach the main thread in that order, a waiting caller sleeps instead of
// spinning, and a method that fails before its end still reports its finish.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dispatch_test_util.h"
#include "platform/base/threads.h"

namespace async_workers_tests {
namespace {

using namespace dispatch_test;

void Drain(TZiduzUvIO& IO) {
  IO.WaitThreads(false);
  while (CheckSynchronize(0)) {
  }
}

struct Event {
  std::string Kind;  // "progress" or "finish"
  Integer Value;     // the percentage, or the width of the picture when finished
  bool OnMain;
};

// Records, where each operation ends, the width of the picture it loaded.
class TRecording : public TZiduzUvIO {
 public:
  TRecording() : TZiduzUvIO(nullptr) {}
  std::mutex Lock;
  std::vector<Integer> Ended;
  void DoFinishWork() override {
    {
      std::lock_guard l(Lock);
      Ended.push_back(IEBitmap()->Width());
    }
    TZiduzUvIO::DoFinishWork();
  }
};

TEST_F(RegistryTest, LoadsRunInPostingOrderAndReportOnTheMainThread) {
  io_test::TempDir dir;
  // Pictures that tell each other apart by their width.
  const int n = 6;
  std::vector<WideString> files;
  for (int i = 0; i < n; ++i) {
    TZiduzUvIO maker(nullptr);
    ASSERT_TRUE(maker.IEBitmap()->Allocate(10 + i, 4, ie24RGB));
    files.push_back(Utf8ToWide(dir.File("p" + std::to_string(i) + ".png")));
    maker.SaveToFilePNG(files.back());
    ASSERT_FALSE(maker.Aborting());
  }
  TIEBitmap outside(2, 2, ie24RGB);
  TRecording io;
  io.AttachIEBitmap(&outside);
  io.SetAsynchronous(true);
  std::vector<Event> events;  // written by the handlers
  io.OnProgress = [&](TObject*, Integer per) { events.push_back({"progress", per, IsMainThread()}); };
  io.OnFinishWork = [&](TObject*) { events.push_back({"finish", 0, IsMainThread()}); };
  for (const WideString& f : files) io.LoadFromFilePNG(f);
  io.WaitThreads(false);
  EXPECT_EQ(io.Ended, (std::vector<Integer>{10, 11, 12, 13, 14, 15}));
  // Nothing was reported on the workers' threads.
  EXPECT_TRUE(events.empty());
  Drain(io);
  int finished = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_TRUE(events[i].OnMain) << events[i].Kind;
    if (events[i].Kind != "finish") continue;
    ++finished;
    // Each finish closes its own progress: 100 comes right before it.
    ASSERT_GT(i, 0u);
    EXPECT_EQ(events[i - 1].Kind, "progress");
    EXPECT_EQ(events[i - 1].Value, 100);
  }
  EXPECT_EQ(finished, n);
}

TEST_F(RegistryTest, GifAndTiffLoadsAnswerMinusOneAtOnce) {
  TFakePlugIn plugin;
  TCodecScope tiff(ieftTIFF, {FakeRead, nullptr});
  TFakeView view(TFakeView::WithIEBitmap);
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  io.SetAsynchronous(true);
  const Bytes data = MakeFake(9, 5, ie24RGB, 3);
  TMemoryStream s;
  io_test::Fill(s, data);
  EXPECT_EQ(io.LoadFromStreamTIFF(&s), -1);
  Drain(io);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(view.GetIEBitmap()->Width(), 9);
}

// A component whose finish fails once, the way a method can fail before it
// has reported its end: the worker reports the finish in its place.
class TFailingFinish : public TZiduzUvIO {
 public:
  TFailingFinish() : TZiduzUvIO(nullptr) {}
  std::atomic<int> Failures{1};
  void DoFinishWork() override {
    if (Failures.fetch_sub(1) > 0) throw EInvalidOperation("finish failed");
    TZiduzUvIO::DoFinishWork();
  }
};

TEST_F(RegistryTest, AWorkerThatRaisesStillReportsItsFinish) {
  io_test::TempDir dir;
  const WideString file = Utf8ToWide(dir.File("a.png"));
  {
    TZiduzUvIO maker(nullptr);
    ASSERT_TRUE(maker.IEBitmap()->Allocate(5, 5, ie24RGB));
    maker.SaveToFilePNG(file);
  }
  TIEBitmap outside(2, 2, ie24RGB);
  TFailingFinish io;
  io.AttachIEBitmap(&outside);
  io.SetAsynchronous(true);
  int finished = 0;
  io.OnFinishWork = [&](TObject*) { ++finished; };
  io.LoadFromFilePNG(file);
  Drain(io);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(finished, 1);
}

// Waiting for workers from another thread than the main one works without
// the main thread's help, and a worker's own wait does not wait for itself.
TEST_F(RegistryTest, WaitThreadsNeedsNoMainThread) {
  TIEBitmap outside(2, 2, ie24RGB);
  auto io = TZiduzUvIO::CreateForBitmap(&outside);
  io->SetAsynchronous(true);
  std::atomic<bool> waited{false};
  io->LoadFromFilePNG(u"/nonexistent/x.png");
  std::thread t([&] {
    io->WaitThreads(true);
    waited = true;
  });
  t.join();
  EXPECT_TRUE(waited);
  EXPECT_TRUE(io->Aborting());
  Drain(*io);
}

}  // namespace
}  // namespace async_workers_tests
