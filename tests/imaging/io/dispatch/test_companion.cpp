// The I/O companion's core: what it works on after each way of attaching a
// target, what happens when a view goes away or changes its picture, the
// order of its events, its resolution helpers, the routing of events from
// other threads, and one operation at a time per component.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "dispatch_test_util.h"
#include "platform/base/threads.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/extctrls.h"
#include "tests/support/wait.h"

namespace test_companion_tests {

using namespace dispatch_test;
using io_test::Bytes;

namespace {

void Load(TZiduzUvIO& IO, const Bytes& Data) {
  TMemoryStream s;
  io_test::Fill(s, Data);
  IO.LoadFromStream(&s);
}

// The pixels of the GTFK data as the target must hold them.
void ExpectPicture(TIEBitmap* B, const Bytes& Data) {
  ASSERT_NE(B, nullptr);
  const Integer w = Data[4] | Data[5] << 8, h = Data[6] | Data[7] << 8;
  const Integer ch = Data[8] == ie8g ? 1 : 3;
  ASSERT_EQ(B->Width(), w);
  ASSERT_EQ(B->Height(), h);
  for (Integer y = 0; y < h; ++y)
    EXPECT_EQ(0, std::memcmp(B->GetScanline(y), Data.data() + 9 + y * w * ch, w * ch)) << "row " << y;
}

TEST(Companion, NewComponentDefaults) {
  TZiduzUvIO io(nullptr);
  EXPECT_TRUE(io.OwnsBitmap());
  ASSERT_NE(io.IEBitmap(), nullptr);
  EXPECT_TRUE(io.IEBitmap()->IsEmpty());
  EXPECT_EQ(io.TBitmapReference(), nullptr);
  EXPECT_EQ(io.AttachedZiduzUv(), nullptr);
  EXPECT_EQ(io.AttachedTImage(), nullptr);
  EXPECT_TRUE(io.AutoAdjustDPI());
  EXPECT_FALSE(io.FilteredAdjustDPI());
  EXPECT_EQ(io.Background(), 0);
  EXPECT_FALSE(io.NativePixelFormat());
  EXPECT_FALSE(io.StreamHeaders());
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.MsgLanguage(), msSystem);
  EXPECT_EQ(io.DialogsMeasureUnit(), ieduInches);
  EXPECT_EQ(io.PreviewsParams(), 0);
  EXPECT_FALSE(io.SimplifiedParamsDialogs());
  ASSERT_NE(io.PreviewFont(), nullptr);
  EXPECT_EQ(io.Params().OWNER, &io);
  EXPECT_EQ(io.Params().DPIX, 300);
  io.SetNativePixelFormat(true);
  EXPECT_TRUE(io.Params().ISNATIVEPIXELFORMAT);
  TFont f;
  f.SetHeight(-23);
  io.SetPreviewFont(&f);
  EXPECT_EQ(io.PreviewFont()->Height(), -23);
  EXPECT_NE(io.PreviewFont(), &f);
}

// What the component works on after each way of attaching something.
TEST(Companion, AttachScenarios) {
  enum TTarget { OwnEmpty, ViewIEBitmap, WrapsViewTBitmap, Outside, None, WrapsOutsideTBitmap, WrapsImage };
  struct TWorld {
    TZiduzUvIO IO{nullptr};
    TFakeView IEView{TFakeView::WithIEBitmap};
    TFakeView TBView{TFakeView::WithTBitmapOnly};
    TIEBitmap OutsideIE{5, 5, ie8g};
    TBitmap OutsideTB;
    TImage Image{nullptr};
    TWorld() {
      OutsideTB.SetPixelFormat(pf24bit);
      OutsideTB.SetSize(6, 2);
      Image.Picture()->Bitmap()->SetPixelFormat(pf24bit);
      Image.Picture()->Bitmap()->SetSize(7, 3);
    }
  };
  struct TCase {
    const char* Name;
    std::function<void(TWorld&)> Do;
    bool Owns;
    TTarget Target;
    bool ViewAttached;
    Integer IEViewHandlers;
  };
  const TCase cases[] = {
      {"nothing attached", [](TWorld&) {}, true, OwnEmpty, false, 0},
      {"view with a picture container", [](TWorld& w) { w.IO.SetAttachedZiduzUv(&w.IEView); }, false, ViewIEBitmap,
       true, 1},
      {"view with a platform bitmap only", [](TWorld& w) { w.IO.SetAttachedZiduzUv(&w.TBView); }, true,
       WrapsViewTBitmap, true, 0},
      {"view, then nil",
       [](TWorld& w) {
         w.IO.SetAttachedZiduzUv(&w.IEView);
         w.IO.SetAttachedZiduzUv(nullptr);
       },
       true, OwnEmpty, false, 0},
      {"platform-bitmap view, then nil",
       [](TWorld& w) {
         w.IO.SetAttachedZiduzUv(&w.TBView);
         w.IO.SetAttachedZiduzUv(nullptr);
       },
       true, OwnEmpty, false, 0},
      {"outside picture container", [](TWorld& w) { w.IO.AttachIEBitmap(&w.OutsideIE); }, false, Outside, false, 0},
      {"nil container with nothing attached", [](TWorld& w) { w.IO.AttachIEBitmap(nullptr); }, false, None, false, 0},
      {"outside platform bitmap", [](TWorld& w) { w.IO.AttachTBitmap(&w.OutsideTB); }, true, WrapsOutsideTBitmap, false,
       0},
      {"view, then an outside container",
       [](TWorld& w) {
         w.IO.SetAttachedZiduzUv(&w.IEView);
         w.IO.AttachIEBitmap(&w.OutsideIE);
       },
       false, Outside, false, 0},
      // Nil while a view is attached keeps following the view.
      {"view, then a nil container",
       [](TWorld& w) {
         w.IO.SetAttachedZiduzUv(&w.IEView);
         w.IO.AttachIEBitmap(nullptr);
       },
       false, ViewIEBitmap, true, 1},
      {"picture control", [](TWorld& w) { w.IO.SetAttachedTImage(&w.Image); }, true, WrapsImage, false, 0},
      {"picture control, then nil",
       [](TWorld& w) {
         w.IO.SetAttachedTImage(&w.Image);
         w.IO.SetAttachedTImage(nullptr);
       },
       true, OwnEmpty, false, 0},
      {"picture control replaces the view",
       [](TWorld& w) {
         w.IO.SetAttachedZiduzUv(&w.IEView);
         w.IO.SetAttachedTImage(&w.Image);
       },
       true, WrapsImage, false, 0},
      // An outside container is never turned into a wrapper of a platform bitmap.
      {"outside container, then a platform bitmap",
       [](TWorld& w) {
         w.IO.AttachIEBitmap(&w.OutsideIE);
         w.IO.AttachTBitmap(&w.OutsideTB);
       },
       true, WrapsOutsideTBitmap, false, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TWorld w;
    c.Do(w);
    TIEBitmap* t = w.IO.IEBitmap();
    EXPECT_EQ(w.IO.OwnsBitmap(), c.Owns);
    EXPECT_EQ(w.IO.AttachedZiduzUv() != nullptr, c.ViewAttached);
    EXPECT_EQ(w.IEView.LiveHandlers(), c.IEViewHandlers);
    EXPECT_EQ(w.TBView.LiveHandlers(), c.Target == WrapsViewTBitmap ? 1 : 0);
    switch (c.Target) {
      case OwnEmpty:
        ASSERT_NE(t, nullptr);
        EXPECT_TRUE(t->IsEmpty());
        EXPECT_EQ(w.IO.TBitmapReference(), nullptr);
        break;
      case ViewIEBitmap:
        EXPECT_EQ(t, w.IEView.GetIEBitmap());
        break;
      case WrapsViewTBitmap:
        EXPECT_EQ(w.IO.TBitmapReference(), w.TBView.GetBitmap());
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Width(), 4);
        EXPECT_TRUE(t->MemoryIsExternal());
        break;
      case Outside:
        EXPECT_EQ(t, &w.OutsideIE);
        break;
      case None:
        EXPECT_EQ(t, nullptr);
        break;
      case WrapsOutsideTBitmap:
        EXPECT_EQ(w.IO.TBitmapReference(), &w.OutsideTB);
        ASSERT_NE(t, nullptr);
        EXPECT_NE(t, &w.OutsideIE);
        EXPECT_EQ(t->Width(), 6);
        EXPECT_EQ(w.OutsideIE.Width(), 5);  // untouched
        EXPECT_EQ(w.OutsideIE.PixelFormat(), ie8g);
        break;
      case WrapsImage:
        EXPECT_EQ(w.IO.TBitmapReference(), w.Image.Picture()->Bitmap());
        EXPECT_EQ(w.IO.AttachedTImage(), &w.Image);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->Width(), 7);
        break;
    }
  }
}

// A view that goes away, by either way of telling the component, must leave
// nothing of itself behind: the next load writes into a bitmap of the
// component's own (the sanitizer build catches any write into freed memory).
TEST_F(RegistryTest, ViewDestroyedWhileAttachedThenLoad) {
  struct TCase {
    const char* Name;
    TFakeView::TKind Kind;
    bool ViaHandlers;
    bool ViaNilFirst;
  };
  const TCase cases[] = {
      {"picture-container view, destroy event", TFakeView::WithIEBitmap, true, false},
      {"picture-container view, free notification only", TFakeView::WithIEBitmap, false, false},
      {"platform-bitmap view, destroy event", TFakeView::WithTBitmapOnly, true, false},
      {"platform-bitmap view, free notification only", TFakeView::WithTBitmapOnly, false, false},
      {"platform-bitmap view detached before it dies", TFakeView::WithTBitmapOnly, true, true},
  };
  TFakePlugIn plugin;
  const Bytes data = MakeFake(9, 5, ie24RGB, 3);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvIO io(nullptr);
    {
      auto view = std::make_unique<TFakeView>(c.Kind);
      view->NotifyHandlersOnDestroy = c.ViaHandlers;
      io.SetAttachedZiduzUv(view.get());
      if (c.ViaNilFirst) io.SetAttachedZiduzUv(nullptr);
    }
    EXPECT_EQ(io.AttachedZiduzUv(), nullptr);
    EXPECT_TRUE(io.OwnsBitmap());
    EXPECT_EQ(io.TBitmapReference(), nullptr);
    EXPECT_EQ(io.GetTBitmap(), nullptr);
    EXPECT_TRUE(io.PrepareBitmap());
    Load(io, data);
    EXPECT_FALSE(io.Aborting());
    ExpectPicture(io.IEBitmap(), data);
  }
}

TEST_F(RegistryTest, FollowsTheViewsPictureAndResolution) {
  TFakePlugIn plugin;
  for (auto kind : {TFakeView::WithIEBitmap, TFakeView::WithTBitmapOnly}) {
    SCOPED_TRACE(kind == TFakeView::WithIEBitmap ? "container view" : "platform-bitmap view");
    TFakeView view(kind);
    TZiduzUvIO io(nullptr);
    io.SetAttachedZiduzUv(&view);
    // The picture as read: the view's unequal resolution is not evened out here.
    io.SetAutoAdjustDPI(false);
    view.FDpiX = 150;
    view.FDpiY = 75;
    view.ReplacePicture(2, 2);  // the old picture is freed here
    EXPECT_EQ(io.Params().DPIX, 150);
    EXPECT_EQ(io.Params().DPIY, 75);
    const Bytes data = MakeFake(3, 2, ie24RGB, 9);
    Load(io, data);
    ASSERT_FALSE(io.Aborting());
    if (kind == TFakeView::WithIEBitmap) {
      EXPECT_EQ(io.IEBitmap(), view.GetIEBitmap());
      ExpectPicture(view.GetIEBitmap(), data);
    } else {
      // The loaded picture reached the view's current platform bitmap.
      TBitmap* b = view.GetBitmap();
      ASSERT_EQ(b->Width(), 3);
      ASSERT_EQ(b->Height(), 2);
      EXPECT_EQ(0, std::memcmp(b->ScanLine(1), data.data() + 9 + 9, 9));
    }
  }
}

TEST_F(RegistryTest, EventsEndWithOneHundredThenFinish) {
  TFakePlugIn plugin;
  TZiduzUvIO io(nullptr);
  TEventLog log;
  log.Attach(io);
  Load(io, MakeFake(2, 4, ie24RGB));
  EXPECT_FALSE(io.Aborting());
  const std::vector<std::string> ok = {"progress 0",  "progress 25",  "progress 50",
                                       "progress 75", "progress 100", "finish"};
  EXPECT_EQ(log.Items, ok);

  // A failed load reports 100 and finishes as well.
  log.Items.clear();
  Bytes bad = MakeFake(2, 4, ie24RGB);
  bad.resize(12);
  Load(io, bad);
  EXPECT_TRUE(io.Aborting());
  const std::vector<std::string> failed = {"progress 100", "finish"};
  EXPECT_EQ(log.Items, failed);

  // Without OnProgress the finish event still comes, alone.
  log.Items.clear();
  io.OnProgress = nullptr;
  io.DoFinishWork();
  EXPECT_EQ(log.Items, std::vector<std::string>{"finish"});
}

TEST(Companion, FixDefaultDPI) {
  struct TCase {
    Integer In, Out;
  } cases[] = {{0, 300}, {1, 300}, {2, 2}, {-5, 300}, {72, 72}};
  for (const TCase& c : cases) {
    TZiduzUvIO io(nullptr);
    io.Params().SetDpiX(c.In);
    io.Params().SetDpiY(c.In == 72 ? 0 : 72);
    io.FixDefaultDPI();
    EXPECT_EQ(io.Params().DPIX, c.Out) << c.In;
    EXPECT_EQ(io.Params().DPIY, c.In == 72 ? 300 : 72) << c.In;
  }
}

TEST(Companion, PrepareBitmapChecksThePixelFormat) {
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(2, 2, ie8p);
  EXPECT_TRUE(io.PrepareBitmap());
  EXPECT_FALSE(io.PrepareBitmap({ie24RGB}));
  EXPECT_TRUE(io.PrepareBitmap({ie1g, ie8p}));
  io.AttachIEBitmap(nullptr);
  EXPECT_FALSE(io.PrepareBitmap());
}

// Changes made to an attached platform bitmap behind the component's back are
// seen by the next operation.
TEST(Companion, PrepareBitmapSeesPlatformBitmapChanges) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 2);
  TZiduzUvIO io(nullptr);
  io.AttachTBitmap(&b);
  b.SetSize(8, 5);  // new pixel storage
  static_cast<Byte*>(b.ScanLine(4))[0] = 77;
  ASSERT_TRUE(io.PrepareBitmap());
  EXPECT_EQ(io.IEBitmap()->Width(), 8);
  EXPECT_EQ(io.IEBitmap()->Height(), 5);
  EXPECT_EQ(static_cast<Byte*>(io.IEBitmap()->GetScanline(4))[0], 77);
  // An 8-bit bitmap is used in place with its colour table.
  b.SetPixelFormat(pf8bit);
  ASSERT_TRUE(io.PrepareBitmap());
  EXPECT_EQ(io.IEBitmap()->PixelFormat(), ie8p);
  EXPECT_TRUE(io.IEBitmap()->MemoryIsExternal());
  // A layout the container cannot use in place is read as colour.
  b.SetPixelFormat(pf16bit);
  ASSERT_TRUE(io.PrepareBitmap());
  EXPECT_EQ(io.IEBitmap()->PixelFormat(), ie24RGB);
  EXPECT_EQ(io.IEBitmap()->Width(), 8);
}

TEST_F(RegistryTest, LoadsReachAnAttachedPlatformBitmap) {
  TFakePlugIn plugin;
  struct TCase {
    TIEPixelFormat PF;
    TPixelFormat Want;
  } cases[] = {{ie24RGB, pf24bit}, {ie8g, pf8bit}};
  for (const TCase& c : cases) {
    TBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetSize(2, 2);
    b.SetModified(false);
    TZiduzUvIO io(nullptr);
    io.AttachTBitmap(&b);
    const Bytes data = MakeFake(5, 3, c.PF, 40);
    Load(io, data);
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.PixelFormat(), c.Want);
    EXPECT_TRUE(b.Modified());
    const Byte* row = static_cast<const Byte*>(b.ScanLine(2));
    if (c.PF == ie24RGB) {
      EXPECT_EQ(0, std::memcmp(row, data.data() + 9 + 2 * 15, 15));
    } else {
      // A grey picture stays 8-bit, with a grey colour table.
      for (Integer x = 0; x < 5; ++x) {
        const Byte g = data[9 + 2 * 5 + x];
        EXPECT_EQ(row[x], g);
        EXPECT_EQ(b.ColorTableEntry(g).rgbRed, g);
        EXPECT_EQ(b.ColorTableEntry(g).rgbBlue, g);
      }
    }
    // The target uses the platform bitmap's pixels again.
    EXPECT_TRUE(io.IEBitmap()->MemoryIsExternal());
  }
}

TEST_F(RegistryTest, PictureControlWhosePictureIsReplaced) {
  TFakePlugIn plugin;
  TImage image(nullptr);
  image.Picture()->Bitmap()->SetPixelFormat(pf24bit);
  image.Picture()->Bitmap()->SetSize(3, 3);
  TZiduzUvIO io(nullptr);
  io.SetAttachedTImage(&image);
  // The control drops its bitmap for a new one.
  TBitmap other;
  other.SetPixelFormat(pf24bit);
  other.SetSize(4, 4);
  image.Picture()->SetBitmap(&other);
  const Bytes data = MakeFake(6, 2, ie24RGB, 5);
  Load(io, data);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.TBitmapReference(), image.Picture()->Bitmap());
  EXPECT_EQ(image.Picture()->Bitmap()->Width(), 6);
  // The control going away leaves the component with a bitmap of its own.
  {
    TImage gone(nullptr);
    io.SetAttachedTImage(&gone);
  }
  EXPECT_EQ(io.AttachedTImage(), nullptr);
  EXPECT_TRUE(io.OwnsBitmap());
  Load(io, data);
  ExpectPicture(io.IEBitmap(), data);
}

TEST(Companion, SyncViewDPIOnlyForTheSingleImageView) {
  for (bool single : {true, false}) {
    TFakeView view(TFakeView::WithIEBitmap, single);
    TZiduzUvIO io(nullptr);
    io.SetAttachedZiduzUv(&view);
    view.Log.clear();
    io.Params().DPIX = 120;
    io.Params().DPIY = 60;
    io.SyncViewDPI();
    if (single) {
      const std::vector<std::string> want = {"LockUpdate", "SetDpi 120 60", "UnlockUpdateQuiet"};
      EXPECT_EQ(view.Log, want);
    } else {
      EXPECT_TRUE(view.Log.empty());
    }
    // The record's resolution setters write the single-image view's too.
    io.Params().SetDpiX(222);
    EXPECT_EQ(view.DpiX(), single ? 222 : 96);
  }
}

TEST(Companion, BackgroundIsTheViewsWhileOneIsAttached) {
  TZiduzUvIO io(nullptr);
  io.SetBackground(0x123456);
  EXPECT_EQ(io.Background(), 0x123456);
  TFakeView view(TFakeView::WithIEBitmap);
  io.SetAttachedZiduzUv(&view);
  EXPECT_EQ(io.Background(), view.Background());
  io.SetBackground(0x0000FF);
  io.SetAttachedZiduzUv(nullptr);
  EXPECT_EQ(io.Background(), 0x123456);
}

TEST(Companion, UpdateAttachedView) {
  TFakeView view(TFakeView::WithIEBitmap);
  TZiduzUvIO io(nullptr);
  io.SetAttachedZiduzUv(&view);
  view.Log.clear();
  io.UpdateAttachedView();
  EXPECT_EQ(view.Log, (std::vector<std::string>{"Update", "ImageChange"}));

  // A platform bitmap carries no alpha: the target loses its alpha channel.
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(2, 2);
  b.SetModified(false);
  io.AttachTBitmap(&b);
  io.IEBitmap()->GetAlphaChannel();
  ASSERT_TRUE(io.IEBitmap()->HasAlphaChannel());
  io.UpdateAttachedView();
  EXPECT_FALSE(io.IEBitmap()->HasAlphaChannel());
  EXPECT_TRUE(b.Modified());
}

// From a worker, events and refreshes go to a view with a parent window as
// posted messages; without one the events wait for the main thread.
TEST(Companion, EventsFromAnotherThread) {
  for (bool parent : {true, false}) {
    SCOPED_TRACE(parent ? "view with parent window" : "view without parent window");
    TFakeView view(TFakeView::WithIEBitmap);
    view.ParentWindow = parent;
    TZiduzUvIO io(nullptr);
    io.SetAttachedZiduzUv(&view);
    view.Log.clear();
    std::vector<std::string> direct;
    io.OnProgress = [&](TObject*, Integer per) { direct.push_back("progress " + std::to_string(per)); };
    io.OnFinishWork = [&](TObject*) { direct.push_back("finish"); };
    std::thread worker([&] {
      io.AddWorker(std::this_thread::get_id());
      EXPECT_TRUE(io.InWorkerThread());
      io.DoProgress(&io, 40);
      io.DoFinishWork();
      io.UpdateAttachedView();
      io.RemoveWorker(std::this_thread::get_id());
    });
    worker.join();
    EXPECT_FALSE(io.InWorkerThread());
    EXPECT_TRUE(view.Log.empty()) << "the view was touched from another thread";
    if (parent) {
      ASSERT_EQ(view.Posted.size(), 4u);
      EXPECT_EQ(view.Posted[0].Msg, 8027u);
      EXPECT_EQ(view.Posted[0].WParam, 40);
      EXPECT_EQ(view.Posted[1].Msg, 8027u);
      EXPECT_EQ(view.Posted[1].WParam, 100);
      EXPECT_EQ(view.Posted[2].Msg, 8028u);
      EXPECT_EQ(view.Posted[3].Msg, 8024u);
      EXPECT_TRUE(direct.empty());
    } else {
      EXPECT_TRUE(view.Posted.empty());
      EXPECT_TRUE(direct.empty()) << "a handler ran on the worker";
      while (CheckSynchronize(0)) {
      }
      EXPECT_EQ(direct, (std::vector<std::string>{"progress 40", "progress 100", "finish"}));
    }
  }
}

TEST(Companion, WaitThreadsWithAbortStopsTheWorkers) {
  TZiduzUvIO io(nullptr);
  std::atomic<bool> listed{false}, sawAbort{false};
  std::thread worker([&] {
    io.AddWorker(std::this_thread::get_id());
    listed = true;
    // A codec reads the abort flag once per unit.
    gt_test::WaitUntil([&] { return io.Aborting(); });
    sawAbort = io.Aborting();
    io.RemoveWorker(std::this_thread::get_id());
  });
  while (!listed) std::this_thread::yield();
  io.WaitThreads(true);
  worker.join();
  EXPECT_TRUE(sawAbort);
  io.SetAborting(false);
  io.WaitThreads(true);  // no worker: returns at once, changes nothing
  EXPECT_FALSE(io.Aborting());
}

// Two threads using one component: the second operation waits for the first,
// so that the codecs never run on the shared picture at the same time.
TEST_F(RegistryTest, OneOperationAtATimePerComponent) {
  TFakePlugIn plugin;
  gFake.SleepMs = 30;
  TZiduzUvIO io(nullptr);
  const Bytes a = MakeFake(4, 4, ie24RGB, 1), b = MakeFake(6, 2, ie8g, 2);
  std::thread t1([&] { Load(io, a); });
  std::thread t2([&] { Load(io, b); });
  t1.join();
  t2.join();
  EXPECT_EQ(gFake.Reads, 2);
  EXPECT_EQ(gFake.MaxInside, 1);
}

}  // namespace

}  // namespace test_companion_tests
