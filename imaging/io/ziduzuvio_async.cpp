// Asynchronous mode of the I/O companion: the worker threads that run a
// load or save handed to them, and the hand-over of a picture decoded on a
// worker to the attached view. A worker never writes the picture the view
// paints: it decodes into a picture of its own, which the view takes over
// on the main thread together with the resolution the load found.
#include <utility>

#include "imaging/io/ziduzuvio.h"
#include "platform/base/threads.h"

thread_local TZiduzUvIO::TPrivateDecode* TZiduzUvIO::tPrivateDecode = nullptr;
thread_local Integer TZiduzUvIO::tSyncDepth = 0;
thread_local const TZiduzUvIO* TZiduzUvIO::tHandedBackgroundOf = nullptr;
thread_local TColor TZiduzUvIO::tHandedBackground = 0;
thread_local uint64_t TZiduzUvIO::tFinishes = 0;

// One worker per handed-over operation. It frees itself when done; its last
// touch of the component is leaving the worker list, so the component may be
// destroyed as soon as WaitThreads sees the list empty.
class TIEIOThread : public TThread {
 public:
  TIEIOThread(TZiduzUvIO* IO, std::function<void()> Work, uint64_t Ticket)
      : TThread(true), FIO(IO), FWork(std::move(Work)), FTicket(Ticket) {
    SetFreeOnTerminate(true);
  }

 protected:
  void Execute() override {
    const std::thread::id self = std::this_thread::get_id();
    const uint64_t finishes = TZiduzUvIO::tFinishes;
    bool failed = false;
    if (FIO->WorkerStarted(self, FTicket)) {
      try {
        FWork();
      } catch (...) {
        // Reported the usual way: the operation failed. Nobody is there to
        // catch the error on this thread, so its message goes to the log.
        TZiduzUvIO::LogFailure(IECurrentExceptionText());
        failed = true;
      }
    } else {
      failed = true;  // cancelled before its turn
    }
    if (failed) {
      FIO->SetAborting(true);
      // The caller waits for OnFinishWork: it comes, whether or not the
      // method got as far as reporting its end.
      if (TZiduzUvIO::tFinishes == finishes) {
        try {
          FIO->DoFinishWork();
        } catch (...) {
          TZiduzUvIO::LogFailure(IECurrentExceptionText());
        }
      }
    }
    FWork = nullptr;
    FIO->WorkerDone(FTicket);
    FIO->RemoveWorker(self);
  }

 private:
  TZiduzUvIO* FIO;
  std::function<void()> FWork;
  uint64_t FTicket;
};

// ---------------------------------------------------------------------------
// The asynchronous rule

TZiduzUvIO::TSyncScope::TSyncScope() { ++tSyncDepth; }
TZiduzUvIO::TSyncScope::~TSyncScope() { --tSyncDepth; }

bool TZiduzUvIO::HandOver(std::function<void()> Work) {
  if (!Asynchronous() || OwnsBitmap() || tSyncDepth > 0 || InWorkerThread()) return false;
  uint64_t ticket;
  {
    // Counted before the thread exists, so that WaitThreads (and the
    // destructor) cannot miss a worker that has not started yet.
    std::lock_guard lock(FWorkerLock);
    ++FStartingWorkers;
    ticket = FNextTicket++;
  }
  // Read here, on the thread that owns the view: a PNG load asks for the
  // background, and the view may change or go while the worker runs.
  const TColor background = Background();
  auto* worker = new TIEIOThread(this, [this, background, Work = std::move(Work)] {
    tHandedBackgroundOf = this;
    tHandedBackground = background;
    Work();
  }, ticket);
  try {
    worker->Start();
  } catch (...) {
    {
      // The turn is given up at once, so that later workers are not held.
      std::lock_guard lock(FWorkerLock);
      --FStartingWorkers;
      if (FServing == ticket) {
        ++FServing;
        AdvanceTurn();
      } else {
        FSkippedTickets.push_back(ticket);
      }
      FWorkersChanged.notify_all();
    }
    delete worker;
    return false;  // no thread to be had: the caller runs the operation itself
  }
  return true;
}

bool TZiduzUvIO::WorkerStarted(std::thread::id Worker, uint64_t Ticket) {
  std::unique_lock lock(FWorkerLock);
  FWorkers.push_back(Worker);
  --FStartingWorkers;
  FWorkersChanged.wait(lock, [&] { return FServing == Ticket || Ticket < FCancelBelow; });
  return Ticket >= FCancelBelow;
}

void TZiduzUvIO::WorkerDone(uint64_t Ticket) {
  std::lock_guard lock(FWorkerLock);
  if (Ticket == FServing) {
    ++FServing;
    AdvanceTurn();
  }
  FWorkersChanged.notify_all();
}

void TZiduzUvIO::AdvanceTurn() {
  for (;;) {
    if (FServing < FCancelBelow) {
      FServing = FCancelBelow;
      continue;
    }
    auto it = std::find(FSkippedTickets.begin(), FSkippedTickets.end(), FServing);
    if (it == FSkippedTickets.end()) return;
    FSkippedTickets.erase(it);
    ++FServing;
  }
}

void TZiduzUvIO::QueueEvent(UINT Msg, WPARAM WParam) {
  std::shared_ptr<TIEViewHandover> h = FHandover;
  TThread::Queue(nullptr, [h, Msg, WParam] {
    TZiduzUvIO* io;
    {
      std::lock_guard lock(h->Lock);
      io = h->IO;
    }
    // Components live and die on the main thread, so io stays valid while
    // its event runs here; a component gone meanwhile hears nothing.
    if (io) io->FireViewMessageEvent(Msg, WParam);
  });
}

// ---------------------------------------------------------------------------
// Private decode

TZiduzUvIO::TPrivateDecode::TPrivateDecode(TZiduzUvIO& IO) {
  // Only a worker of this component loading into the picture container of
  // an attached view; synchronous loads and other targets decode in place.
  if (!IO.FView || IO.FOwnedBitmap || !IO.FIEBitmap || IO.ActivePrivateDecode() || !IO.InWorkerThread()) return;
  FIO = &IO;
  FTarget = std::make_unique<TIEBitmap>();
  FOuter = tPrivateDecode;
  tPrivateDecode = this;
}

TZiduzUvIO::TPrivateDecode::~TPrivateDecode() {
  if (FIO) tPrivateDecode = FOuter;
}

TZiduzUvIO::TPrivateDecode* TZiduzUvIO::ActivePrivateDecode() const {
  for (TPrivateDecode* d = tPrivateDecode; d; d = d->FOuter)
    if (d->FIO == this) return d;
  return nullptr;
}

TIEBitmap* TZiduzUvIO::IEBitmap() const {
  if (tPrivateDecode) {
    const TPrivateDecode* d = ActivePrivateDecode();
    if (d && d->FTarget) return d->FTarget.get();
  }
  return FIEBitmap;
}

// ---------------------------------------------------------------------------
// Hand-over to the view, on the main thread

void TZiduzUvIO::SetHandoverView(TIEViewContract* View) {
  std::lock_guard lock(FHandover->Lock);
  if (FHandover->View != View) FHandover->Picture.reset();
  FHandover->View = View;
}

void TZiduzUvIO::QueueViewMessage(UINT Msg, WPARAM WParam) {
  // The view is asked on the main thread whether it is still ours, where
  // views are created and destroyed; the worker never calls it.
  std::shared_ptr<TIEViewHandover> h = FHandover;
  TThread::Queue(nullptr, [h, Msg, WParam] {
    TIEViewContract* view;
    TZiduzUvIO* io;
    {
      std::lock_guard lock(h->Lock);
      view = h->View;
      io = h->IO;
    }
    // A view that went meanwhile hears nothing, as with any message posted
    // to it. Components live and die on the main thread, so io stays valid
    // while its event runs here.
    if (!view) return;
    if (view->HasParentWindow())
      view->PostIOMessage(Msg, WParam, 0);
    else if (io)
      io->FireViewMessageEvent(Msg, WParam);
  });
}

void TZiduzUvIO::PublishDecoded(TPrivateDecode& D) {
  // A failed or cancelled load hands over nothing: the view keeps its
  // picture, never a half-decoded one.
  if (Aborting() || !D.FPublish || !D.FTarget || !FView) {
    D.FTarget.reset();
    return;
  }
  {
    std::lock_guard lock(FHandover->Lock);
    if (FHandover->View != FView) {
      D.FTarget.reset();
      return;
    }
    // A later load replaces a picture its predecessor has not delivered yet.
    FHandover->Picture = std::move(D.FTarget);
    FHandover->DpiX = FParams->DPIX;
    FHandover->DpiY = FParams->DPIY;
  }
  std::shared_ptr<TIEViewHandover> h = FHandover;
  TThread::Queue(nullptr, [h] {
    std::unique_ptr<TIEBitmap> picture;
    TIEViewContract* view;
    Integer dpiX, dpiY;
    {
      std::lock_guard lock(h->Lock);
      view = h->View;
      picture = std::move(h->Picture);
      dpiX = h->DpiX;
      dpiY = h->DpiY;
    }
    if (!view || !picture) return;
    // The resolution first, without a repaint; the picture's arrival repaints.
    if (view->IsSingleImageView()) {
      view->LockUpdate();
      view->SetDpi(dpiX, dpiY);
      view->UnlockUpdateQuiet();
    }
    view->DeliverDecodedBitmap(std::move(picture));
  });
}
