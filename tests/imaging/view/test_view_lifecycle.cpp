// The single-image view's life: defaults of a new view, locks, companions and
// the events passed to them, image operations, window messages, pictures
// delivered by workers, cursors and the unit's start-up.
#include <atomic>
#include <thread>
#include <vector>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/proc/ziduzuvproc.h"
#include "imaging/view/ziduzuv.h"
#include "platform/base/threads.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/resources.h"
#include <exception>  // winuser.h uses std::exception_ptr

#include "platform/ui/winuser.h"
#include "view_test_util.h"

namespace test_view_lifecycle_tests {

using namespace view_test;

namespace {

using TLifeTest = ViewTest;

TEST_F(TLifeTest, NewViewDefaults) {
  auto* v = new TZiduzUvView(Form.get());
  // The constructor lays the view out exactly once, at its end.
  EXPECT_EQ(v->UpdateCount(), 1);
  // The back buffer starts small; the first paint sizes it to the view.
  ASSERT_NE(v->BackBuffer(), nullptr);
  EXPECT_EQ(v->BackBuffer()->Width(), 10);
  EXPECT_EQ(v->BackBuffer()->PixelFormat(), ie24RGB);
  v->SetParent(Form.get());
  GtTestPump(5);
  EXPECT_EQ(v->Width(), 105);
  EXPECT_EQ(v->Height(), 105);
  EXPECT_EQ(v->ZoomX(), 100);
  EXPECT_EQ(v->ZoomY(), 100);
  EXPECT_EQ(v->ViewX(), 0);
  EXPECT_EQ(v->ViewY(), 0);
  EXPECT_EQ(v->DpiX(), 300);
  EXPECT_EQ(v->DpiY(), 300);
  EXPECT_EQ(v->Background(), clBtnFace);
  EXPECT_TRUE(v->IsEmpty());
  EXPECT_EQ(v->LayersCount(), 1);
  EXPECT_EQ(v->CurrentLayer(), 0);
  EXPECT_EQ(v->Layers(0)->Bitmap, v->GetIEBitmap());
  EXPECT_EQ(v->BorderStyle(), bsSingle);
  EXPECT_TRUE(v->Ctl3D());
  EXPECT_EQ(v->Cursor(), 1785);
  EXPECT_EQ(v->ZoomFilter(), rfNone);
  EXPECT_EQ(v->ScrollBars(), ssBoth);
  EXPECT_TRUE(v->Center());
  EXPECT_TRUE(v->DoubleBuffer());
  EXPECT_TRUE(v->LegacyBitmap());
  EXPECT_TRUE(v->EnableAlphaChannel());
  EXPECT_EQ(v->BackgroundStyle(), iebsSolid);
  EXPECT_EQ(v->SelectionOptions(), (TIESelectionOptions{iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll}));
  EXPECT_EQ(v->ZiduzUvVersion(), u"3.0.4");
  v->SetZiduzUvVersion(u"2.0");
  EXPECT_EQ(v->ZiduzUvVersion(), u"3.0.4");
  EXPECT_EQ(v->TransitionDuration(), 1000);
  EXPECT_EQ(v->PaintLockCount(), 0);
  EXPECT_EQ(v->UpdateLockCount(), 0);
  EXPECT_FALSE(v->HasIO());
  EXPECT_FALSE(v->HasProc());
  EXPECT_FALSE(v->HasTransition());
  EXPECT_EQ(v->MouseWheelParams()->Action, 2);
  EXPECT_EQ(v->MouseWheelParams()->Value, 8);
  EXPECT_EQ(v->VScrollBarParams()->LineStep, -1);
}

TEST_F(TLifeTest, IsEmptyBelowTwoPixelsOnBothAxes) {
  struct Case {
    Integer W, H;
    bool Empty;
  } cases[] = {{1, 1, true}, {2, 1, false}, {1, 2, false}, {2, 2, false}};
  TZiduzUvView* v = MakeView(60, 60);
  for (const Case& c : cases) {
    SetPicture(v, c.W, c.H);
    EXPECT_EQ(v->IsEmpty(), c.Empty) << c.W << "x" << c.H;
  }
}

TEST_F(TLifeTest, PaintAndUpdateLocks) {
  TZiduzUvView* v = MakeView(60, 60);
  Integer before = v->UpdateCount();
  EXPECT_EQ(v->UnlockPaint(), 0);  // already 0: still updates
  EXPECT_EQ(v->UpdateCount(), before + 1);
  v->LockPaint();
  v->LockPaint();
  before = v->UpdateCount();
  EXPECT_EQ(v->UnlockPaint(), 1);
  EXPECT_EQ(v->PaintLockCount(), 1);
  EXPECT_EQ(v->UpdateCount(), before);
  EXPECT_EQ(v->UnlockPaintQuiet(), 0);
  EXPECT_EQ(v->UnlockPaintQuiet(), 0);
  EXPECT_EQ(v->UpdateCount(), before);

  // While the update lock is held, Update changes nothing, not even the reason.
  v->LockUpdate();
  v->SetUpdateReason(3);
  before = v->UpdateCount();
  v->Update();
  EXPECT_EQ(v->UpdateReason(), 3);
  EXPECT_EQ(v->UpdateCount(), before);
  v->UnlockUpdate();
  EXPECT_EQ(v->UpdateReason(), 0);
  EXPECT_EQ(v->UpdateCount(), before + 1);
  v->LockUpdate();
  v->UnlockUpdateQuiet();
  EXPECT_EQ(v->UpdateCount(), before + 1);
}

TEST_F(TLifeTest, CompanionsOnFirstUseCarryTheEvents) {
  TZiduzUvView* v = MakeView(60, 60);
  std::vector<std::pair<TObject*, Integer>> progress;
  Integer finished = 0;
  v->SetOnProgress([&](TObject* s, Integer p) { progress.push_back({s, p}); });
  TZiduzUvIO* io = v->GetIO();
  ASSERT_NE(io, nullptr);
  EXPECT_EQ(v->GetIO(), io);
  EXPECT_EQ(io->AttachedZiduzUv(), static_cast<TIEViewContract*>(v));
  EXPECT_EQ(io->IEBitmap(), v->GetIEBitmap());
  EXPECT_EQ(io->Owner(), v);
  ASSERT_TRUE(io->OnProgress);
  io->OnProgress(io, 10);  // set before the companion existed
  v->SetOnProgress([&](TObject* s, Integer p) { progress.push_back({s, p + 1000}); });
  io->OnProgress(io, 20);  // set after
  v->SetOnFinishWork([&](TObject*) { ++finished; });
  ASSERT_TRUE(io->OnFinishWork);
  io->OnFinishWork(io);
  EXPECT_EQ(progress, (std::vector<std::pair<TObject*, Integer>>{{io, 10}, {io, 1020}}));
  EXPECT_EQ(finished, 1);

  Integer undo = 0;
  v->SetOnSaveUndo([&](TObject*, TIEUndoSource s) { undo += s; });
  TZiduzUvProc* proc = v->GetProc();
  EXPECT_EQ(v->GetProc(), proc);
  EXPECT_EQ(proc->AttachedZiduzUv(), v);
  EXPECT_EQ(proc->AttachedIEBitmap(), v->GetIEBitmap());
  EXPECT_TRUE(proc->AutoUndo());
  EXPECT_EQ(proc->UndoLimit(), 1);
  ASSERT_TRUE(proc->OnSaveUndo && proc->OnProgress && proc->OnFinishWork);
  proc->OnSaveUndo(proc, ieuSelection);
  EXPECT_EQ(undo, ieuSelection);
  EXPECT_EQ(v->BitmapChangeHandlerCount(), 2);
  delete v;
}

TEST_F(TLifeTest, TransitionEventsCreateTheCompanionOnlyWhenSet) {
  TZiduzUvView* v = MakeView(60, 60);
  EXPECT_FALSE(v->OnTransitionStep());
  EXPECT_FALSE(v->OnTransitionStop());
  EXPECT_FALSE(v->OnTransitionPaint());
  EXPECT_FALSE(v->HasTransition());
  Integer steps = 0;
  v->SetOnTransitionStep([&](TObject*, Integer s) { steps += s; });
  ASSERT_TRUE(v->HasTransition());
  ASSERT_TRUE(v->OnTransitionStep());
  v->OnTransitionStep()(v, 7);
  EXPECT_EQ(steps, 7);
  v->SetOnTransitionStep(nullptr);
  EXPECT_EQ(v->GetTransition()->View(), v);
  EXPECT_EQ(v->GetTransition()->Duration(), 1000);
  EXPECT_EQ(v->GetTransition()->TransitionType(), iettNone);
}

TEST_F(TLifeTest, EagerViewHasBothCompanions) {
  auto* z = new TZiduzUv(Form.get());
  EXPECT_TRUE(z->HasIO());
  EXPECT_TRUE(z->HasProc());
  EXPECT_EQ(z->BitmapChangeHandlerCount(), 2);
  // Leaving its owner (as the owner's teardown makes it do before freeing
  // it) must not detach the companions behind the view's back: they would
  // stay registered after being freed. The form frees the view at the end.
  Form->RemoveComponent(z);
  EXPECT_EQ(z->GetIO()->AttachedZiduzUv(), static_cast<TIEViewContract*>(z));
  EXPECT_EQ(z->GetProc()->AttachedZiduzUv(), z);
  EXPECT_EQ(z->BitmapChangeHandlerCount(), 2);
  Form->InsertComponent(z);
}

TEST_F(TLifeTest, DestructionLetsCompanionsLeaveFirstAndTellsOthersLast) {
  auto* v = new TZiduzUvView(nullptr);
  v->GetIO();
  v->GetProc();
  // An outside processor follows the view; it is told with destroying = true
  // and forgets the view without calling it.
  TZiduzUvProc outside(nullptr);
  outside.SetAttachedZiduzUv(v);
  EXPECT_EQ(v->BitmapChangeHandlerCount(), 3);
  std::vector<bool> seen;
  v->AddBitmapChangeHandler([&](TObject*, bool d) {
    // By then the view's own companions are gone: only we and the outside
    // processor remain.
    seen.push_back(d);
  });
  delete v;
  EXPECT_EQ(seen, std::vector<bool>{true});
  EXPECT_EQ(outside.AttachedZiduzUv(), nullptr);
  EXPECT_EQ(outside.ChangeHandlerHandle(), -1);
  ASSERT_NE(outside.AttachedIEBitmap(), nullptr);
}

TEST_F(TLifeTest, ProcessorLeavingEarlyUnregisters) {
  TZiduzUvView* v = MakeView(60, 60);
  {
    TZiduzUvProc p(nullptr);
    p.SetAttachedZiduzUv(v);
    EXPECT_EQ(v->BitmapChangeHandlerCount(), 1);
    SetPicture(v, 3, 3);
    v->CallBitmapChangeHandlers();
    EXPECT_EQ(p.AttachedIEBitmap(), v->GetIEBitmap());
  }
  EXPECT_EQ(v->BitmapChangeHandlerCount(), 0);
  v->CallBitmapChangeHandlers();  // no dangling handler is reached
}

// A platform bitmap whose pixels are set through its rows.
std::unique_ptr<TBitmap> MakePlatformBitmap(TPixelFormat Pf, Integer W, Integer H) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(Pf);
  b->SetSize(W, H);
  return b;
}

TEST_F(TLifeTest, AssignPlatformBitmaps) {
  TZiduzUvView* v = MakeView(60, 60);
  Integer changes = 0;
  v->OnImageChange = [&](TObject*) { ++changes; };

  // 256 colours: palette indexes become their colours in 24 bits.
  auto p8 = MakePlatformBitmap(pf8bit, 3, 2);
  p8->SetColorTableEntry(5, RGBQUAD{10, 20, 30, 0});
  p8->SetColorTableEntry(6, RGBQUAD{200, 100, 50, 0});
  for (Integer y = 0; y < 2; ++y) {
    Byte* row = static_cast<Byte*>(p8->ScanLine(y));
    for (Integer x = 0; x < 3; ++x) row[x] = (x + y) % 2 ? 6 : 5;
  }
  v->Assign(p8.get());
  TIEBitmap* b = v->GetIEBitmap();
  ASSERT_EQ(b->PixelFormat(), ie24RGB);
  ASSERT_EQ(b->Width(), 3);
  ASSERT_EQ(b->Height(), 2);
  const Byte* r1 = static_cast<const Byte*>(b->GetScanline(1));
  EXPECT_EQ(r1[0], 200);  // (0,1) is index 6: blue 200, green 100, red 50
  EXPECT_EQ(r1[1], 100);
  EXPECT_EQ(r1[2], 50);
  EXPECT_EQ(r1[3], 10);
  EXPECT_EQ(changes, 1);

  // 1 bit stays 1 bit, with its bits.
  auto p1 = MakePlatformBitmap(pf1bit, 10, 2);
  p1->SetColorTableEntry(0, RGBQUAD{0, 0, 0, 0});
  p1->SetColorTableEntry(1, RGBQUAD{255, 255, 255, 0});
  static_cast<Byte*>(p1->ScanLine(0))[0] = 0xA5;
  static_cast<Byte*>(p1->ScanLine(0))[1] = 0x40;
  static_cast<Byte*>(p1->ScanLine(1))[0] = 0x0F;
  static_cast<Byte*>(p1->ScanLine(1))[1] = 0x00;
  v->Assign(static_cast<TPersistent*>(p1.get()));
  ASSERT_EQ(b->PixelFormat(), ie1g);
  ASSERT_EQ(b->Width(), 10);
  EXPECT_EQ(static_cast<const Byte*>(b->GetScanline(0))[0], 0xA5);
  EXPECT_EQ(static_cast<const Byte*>(b->GetScanline(0))[1] & 0xC0, 0x40);
  EXPECT_EQ(static_cast<const Byte*>(b->GetScanline(1))[0], 0x0F);
  EXPECT_EQ(v->ImageWidth(), 10);
  EXPECT_EQ(changes, 2);
  v->OnImageChange = nullptr;
}

TEST_F(TLifeTest, AssignViewCopiesPictureBackgroundAndDpi) {
  TZiduzUvView* a = MakeView(60, 60);
  TZiduzUvView* c = MakeView(60, 60);
  SetPicture(a, 4, 3);
  a->GetIEBitmap()->Fill(0x123456);
  a->SetBackground(0x00FF00);
  a->SetDpi(72, 96);
  c->Assign(static_cast<TPersistent*>(a));
  EXPECT_EQ(c->GetIEBitmap()->Width(), 4);
  EXPECT_EQ(c->ImageWidth(), 4);
  EXPECT_EQ(static_cast<const Byte*>(c->GetIEBitmap()->GetScanline(2))[0], 0x12);  // blue byte of 0x123456
  EXPECT_EQ(c->Background(), TColor(0x00FF00));
  EXPECT_EQ(c->DpiX(), 72);
  EXPECT_EQ(c->DpiY(), 96);
  // An unsupported source changes nothing.
  TPicture pic;
  c->Assign(&pic);
  EXPECT_EQ(c->GetIEBitmap()->Width(), 4);
  // Nil clears to the background.
  c->Assign(static_cast<TPersistent*>(nullptr));
  EXPECT_EQ(static_cast<const Byte*>(c->GetIEBitmap()->GetScanline(0))[1], 0xFF);

  // The whole picture (no selection) goes to another view and a platform bitmap.
  TZiduzUvView* d = MakeView(60, 60);
  a->CopySelectionTo(d);
  EXPECT_EQ(d->GetIEBitmap()->Width(), 4);
  EXPECT_EQ(d->DpiX(), 72);
  TBitmap tb;
  a->CopySelectionTo(&tb);
  EXPECT_EQ(tb.Width(), 4);
  EXPECT_EQ(tb.Height(), 3);
  EXPECT_EQ(tb.PixelFormat(), pf24bit);
}

TEST_F(TLifeTest, ClearAndBlank) {
  TZiduzUvView* v = MakeView(60, 60);
  SetPicture(v, 5, 4);
  v->GetIEBitmap()->GetAlphaChannel();
  v->SetBackground(0x0000FF);  // red
  v->Clear();
  EXPECT_FALSE(v->HasAlphaChannel());
  const Byte* row = static_cast<const Byte*>(v->GetIEBitmap()->GetScanline(3));
  EXPECT_EQ(row[4 * 3 + 2], 0xFF);
  EXPECT_EQ(row[4 * 3 + 0], 0x00);
  v->Blank();
  EXPECT_EQ(v->GetIEBitmap()->Width(), 1);
  EXPECT_EQ(v->GetIEBitmap()->Height(), 1);
  EXPECT_TRUE(v->IsEmpty());
  EXPECT_EQ(static_cast<const Byte*>(v->GetIEBitmap()->GetScanline(0))[2], 0xFF);
  // The system colour is resolved, not taken as its raw value.
  v->SetBackground(clBtnFace);
  v->Clear();
  const Integer rgb = ColorToRGB(clBtnFace);
  EXPECT_EQ(static_cast<const Byte*>(v->GetIEBitmap()->GetScanline(0))[0], Byte(rgb >> 16));
}

// The layout fits the selection mask to a picture of a new size, and an
// alpha channel left at another size is made anew, fully opaque, so that
// nothing reads past either plane.
TEST_F(TLifeTest, MaskAndAlphaFollowTheImageSize) {
  TZiduzUvView* v = MakeView(100, 80);
  SetPicture(v, 30, 20);
  ASSERT_NE(v->SelectionMask(), nullptr);
  EXPECT_EQ(v->SelectionMask()->Width(), 30);
  EXPECT_EQ(v->SelectionMask()->Height(), 20);
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(40, 25, ie24RGB));
  TIEBitmap* alpha = v->GetAlphaChannel();
  ASSERT_TRUE(alpha->Allocate(5, 5, ie8g));
  alpha->Fill(0);
  v->Update();
  EXPECT_EQ(v->SelectionMask()->Width(), 40);
  EXPECT_EQ(v->SelectionMask()->Height(), 25);
  ASSERT_TRUE(v->HasAlphaChannel());
  alpha = v->GetAlphaChannel();
  ASSERT_EQ(alpha->Width(), 40);
  ASSERT_EQ(alpha->Height(), 25);
  EXPECT_EQ(alpha->PixelFormat(), ie8g);
  for (Integer y : {0, 24}) {
    const auto* row = static_cast<const Byte*>(alpha->GetScanline(y));
    for (Integer x : {0, 39}) EXPECT_EQ(row[x], 255) << x << "," << y;
  }
}

struct TFakeVideo : TIEVideoNotifier {
  bool Connected = true;
  bool Notify = true;
  std::vector<bool> NotifyDuringEvent;
  bool IsConnected() override { return Connected; }
  void SetNotifyNewFrames(bool Value) override { Notify = Value; }
};

TEST_F(TLifeTest, WorkerMessages) {
  TZiduzUvView* v = MakeView(60, 60);
  std::vector<std::pair<TObject*, Integer>> progress;
  Integer finished = 0, frames = 0, events = 0;
  v->SetOnProgress([&](TObject* s, Integer p) { progress.push_back({s, p}); });
  v->SetOnFinishWork([&](TObject* s) {
    EXPECT_EQ(s, v);
    ++finished;
  });
  TFakeVideo video;
  v->OnDShowNewFrame = [&](TObject*) {
    ++frames;
    video.NotifyDuringEvent.push_back(video.Notify);
  };
  v->OnDShowEvent = [&](TObject*) { ++events; };

  v->Perform(IEM_PROGRESS, 42, 0);
  EXPECT_EQ(progress, (std::vector<std::pair<TObject*, Integer>>{{v, 42}}));
  v->Perform(IEM_FINISHWORK, 0, 0);
  EXPECT_EQ(finished, 1);

  v->Perform(IEM_NEWFRAME, 0, 0);  // nil: ignored
  v->Perform(IEM_EVENT, 0, 0);
  EXPECT_EQ(frames + events, 0);
  v->Perform(IEM_NEWFRAME, 0, reinterpret_cast<LPARAM>(static_cast<TIEVideoNotifier*>(&video)));
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(video.NotifyDuringEvent, std::vector<bool>{false});  // frames arriving meanwhile are not announced
  EXPECT_TRUE(video.Notify);
  v->Perform(IEM_EVENT, 0, reinterpret_cast<LPARAM>(static_cast<TIEVideoNotifier*>(&video)));
  EXPECT_EQ(events, 1);
  video.Connected = false;
  v->Perform(IEM_NEWFRAME, 0, reinterpret_cast<LPARAM>(static_cast<TIEVideoNotifier*>(&video)));
  v->Perform(IEM_EVENT, 0, reinterpret_cast<LPARAM>(static_cast<TIEVideoNotifier*>(&video)));
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(events, 1);

  // Posted from another thread, handled on this one, in order.
  std::thread t([v] {
    v->PostIOMessage(IEM_PROGRESS, 7, 0);
    v->PostIOMessage(IEM_FINISHWORK, 0, 0);
  });
  t.join();
  ASSERT_TRUE(GtTestPumpUntil([&] { return finished == 2; }, 2000));
  EXPECT_EQ(progress.back().second, 7);
  delete v;
}

TEST_F(TLifeTest, SizeMessageInsideUpdateDoesNotStartAnother) {
  TZiduzUvView* v = MakeView(200, 150);
  SetPicture(v, 400, 300);
  v->SetAutoFit(true);
  Integer sizeMessages = 0;
  v->OnViewChanging = [&](TObject*, Integer Change, double) {
    if (Change == 2 && v->Updating() && sizeMessages == 0) {
      ++sizeMessages;
      v->Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 150));
    }
  };
  const Integer before = v->UpdateCount();
  v->Update();
  EXPECT_EQ(sizeMessages, 1);
  EXPECT_EQ(v->UpdateCount(), before + 1);
  EXPECT_FALSE(v->Updating());
  // Outside an update the message lays the view out.
  v->OnViewChanging = nullptr;
  v->Perform(WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 150));
  EXPECT_EQ(v->UpdateCount(), before + 2);
}

TEST_F(TLifeTest, DecodedPictureIsSwappedInOnTheWindowThread) {
  // A worker decodes into a picture of its own; the view's picture is not
  // touched (and so can be painted) until message 8024 swaps it in.
  TZiduzUvView* v = MakeView(80, 60);
  SetPicture(v, 8, 6);
  v->GetIEBitmap()->Fill(0x000000);
  TIEBitmap* shown = v->GetIEBitmap();
  std::atomic<bool> delivered{false};
  std::vector<std::thread::id> changeThreads;
  v->OnImageChange = [&](TObject*) { changeThreads.push_back(std::this_thread::get_id()); };
  std::thread worker([&] {
    auto decoded = std::make_unique<TIEBitmap>(30, 20, ie24RGB);
    decoded->Fill(0xFFFFFF);
    v->DeliverDecodedBitmap(std::move(decoded));
    delivered = true;
  });
  while (!delivered) {
    // Meanwhile the window thread keeps reading the shown picture.
    EXPECT_EQ(shown->Width(), 8);
    EXPECT_EQ(static_cast<const Byte*>(shown->GetScanline(5))[0], 0);
    std::this_thread::yield();
  }
  worker.join();
  EXPECT_EQ(v->GetIEBitmap()->Width(), 8);
  EXPECT_TRUE(v->HasPendingBitmap());
  ASSERT_TRUE(GtTestPumpUntil([&] { return !v->HasPendingBitmap(); }, 2000));
  EXPECT_EQ(v->GetIEBitmap(), shown);  // same object: companions keep it
  EXPECT_EQ(shown->Width(), 30);
  EXPECT_EQ(static_cast<const Byte*>(shown->GetScanline(19))[89], 0xFF);
  EXPECT_EQ(v->ImageWidth(), 30);
  EXPECT_EQ(changeThreads, std::vector<std::thread::id>{std::this_thread::get_id()});
  delete v;
}

TEST_F(TLifeTest, ViewCursorsAreRegisteredOnce) {
  auto* v = new TZiduzUvView(Form.get());
  const HCURSOR arrow = Screen->Cursors(99999);
  std::vector<HCURSOR> first;
  for (Integer n = IEViewCursorFirst; n <= IEViewCursorLast; ++n) {
    first.push_back(Screen->Cursors(n));
    EXPECT_NE(first.back(), arrow) << n;
    TGtCursorImage img;
    EXPECT_TRUE(GtResourceCursor(IEViewCursorResource(n), img)) << n;
  }
  EXPECT_EQ(std::u16string(IEViewCursorResource(1795)), u"CROCE2-");
  EXPECT_EQ(std::u16string(IEViewCursorResource(1796)), u"CROCE2-");
  EXPECT_EQ(std::u16string(IEViewCursorResource(1805)), u"1803");
  EXPECT_EQ(std::u16string(IEViewCursorResource(1806)), u"1803");
  EXPECT_EQ(std::u16string(IEViewCursorResource(1814)), u"ROT4");
  EXPECT_EQ(IEViewCursorResource(1815), nullptr);
  delete v;
  auto* w = new TZiduzUvView(Form.get());
  for (Integer n = IEViewCursorFirst; n <= IEViewCursorLast; ++n)
    EXPECT_EQ(Screen->Cursors(n), first[size_t(n - IEViewCursorFirst)]) << n;
  delete w;
}

TEST(ViewUnit, StartUpSetsTheGlobals) {
  IEDefaultDpiX = 72;
  ZiduzUvViewInitialize();
  EXPECT_EQ(IEDefaultDpiX, 300);
  EXPECT_EQ(IEDefaultDpiY, 300);
  EXPECT_EQ(IEPixelGridThreshold, 400);
  ASSERT_NE(IEPixelGridPen, nullptr);
  EXPECT_EQ(IEPixelGridPen->Mode(), pmNot);
  EXPECT_EQ(IEPixelGridPen->Width(), 1);
  EXPECT_GT(IEScreenBitsPerPixel, 0);
  EXPECT_GT(IEScreenDpiX, 0);
  EXPECT_EQ(IEEdgeX, GetSystemMetrics(SM_CXEDGE));
  ZiduzUvViewFinalize();
  EXPECT_EQ(IEPixelGridPen, nullptr);
}

}  // namespace

}  // namespace test_view_lifecycle_tests
