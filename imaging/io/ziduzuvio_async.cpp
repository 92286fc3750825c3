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

// One worker per handed-over operation. It frees itself when done; its last
// touch of the component is leaving the worker list, so the component may be
// destroyed as soon as WaitThreads sees the list empty.
class TIEIOThread : public TThread {
 public:
  TIEIOThread(TZiduzUvIO* IO, std::function<void()> Work) : TThread(true), FIO(IO), FWork(std::move(Work)) {
    SetFreeOnTerminate(true);
  }

 protected:
  void Execute() override {
    const std::thread::id self = std::this_thread::get_id();
    FIO->WorkerStarted(self);
    try {
      FWork();
    } catch (...) {
      // Reported the usual way: the operation failed. Nobody is there to
      // catch the error on this thread, so its message goes to the log.
      TZiduzUvIO::LogFailure(IECurrentExceptionText());
      FIO->SetAborting(true);
    }
    FWork = nullptr;
    FIO->RemoveWorker(self);
  }

 private:
  TZiduzUvIO* FIO;
  std::function<void()> FWork;
};

// ---------------------------------------------------------------------------
// The asynchronous rule

TZiduzUvIO::TSyncScope::TSyncScope() { ++tSyncDepth; }
TZiduzUvIO::TSyncScope::~TSyncScope() { --tSyncDepth; }

bool TZiduzUvIO::HandOver(std::function<void()> Work) {
  if (!Asynchronous() || OwnsBitmap() || tSyncDepth > 0 || InWorkerThread()) return false;
  {
    // Counted before the thread exists, so that WaitThreads (and the
    // destructor) cannot miss a worker that has not started yet.
    std::lock_guard lock(FWorkerLock);
    ++FStartingWorkers;
  }
  // Read here, on the thread that owns the view: a PNG load asks for the
  // background, and the view may change or go while the worker runs.
  const TColor background = Background();
  auto* worker = new TIEIOThread(this, [this, background, Work = std::move(Work)] {
    tHandedBackgroundOf = this;
    tHandedBackground = background;
    Work();
  });
  try {
    worker->Start();
  } catch (...) {
    {
      std::lock_guard lock(FWorkerLock);
      --FStartingWorkers;
    }
    delete worker;
    return false;  // no thread to be had: the caller runs the operation itself
  }
  return true;
}

void TZiduzUvIO::WorkerStarted(std::thread::id Worker) {
  std::lock_guard lock(FWorkerLock);
  FWorkers.push_back(Worker);
  --FStartingWorkers;
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
  if (Aborting() || !D.FTarget || !FView) {
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
