// The I/O companion's core: construction, the target and how it follows an
// attached view, picture control or platform bitmap, event routing, the
// resolution helpers and the worker bookkeeping.
#include "imaging/io/ziduzuvio.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/iemedia.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"
#include "platform/base/threads.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/ui/extctrls.h"
#include "platform/devices/videofile.h"

void (*IEAdjustDPIProc)(TZiduzUvIO* IO) = [](TZiduzUvIO* IO) { IO->AdjustDPI(); };

namespace {

// The parameter record reaches its owner's platform bitmap and view through
// this link, so that it need not know the companion's class.
struct TOwnerLinkInstaller {
  TOwnerLinkInstaller() {
    IEParamsOwnerLink.GetTBitmap = [](TZiduzUvIO* Owner) { return Owner->GetTBitmap(); };
    // A worker decoding for the view leaves it alone: the resolution
    // travels with the picture to the main thread.
    IEParamsOwnerLink.SetViewDpiX = [](TZiduzUvIO* Owner, Integer Dpi) {
      if (Owner->DecodesPrivately()) return;
      if (TIEViewContract* v = Owner->AttachedZiduzUv(); v && v->IsSingleImageView()) v->SetDpiX(Dpi);
    };
    IEParamsOwnerLink.SetViewDpiY = [](TZiduzUvIO* Owner, Integer Dpi) {
      if (Owner->DecodesPrivately()) return;
      if (TIEViewContract* v = Owner->AttachedZiduzUv(); v && v->IsSingleImageView()) v->SetDpiY(Dpi);
    };
  }
} gOwnerLinkInstaller;

// After a load: gives the platform bitmap the target's picture when the
// target no longer uses its rows (a reader may have put storage of its own
// in place), then wraps it again. Formats a platform bitmap cannot hold
// arrive as 8-bit grey (ie16g) or 24-bit colour.
void WriteBackTBitmap(TIEBitmap* Target, TBitmap* B) {
  if (Target->IsEmpty() || (Target->Location() == ieTBitmap && Target->VclBitmap() == B)) return;
  TIEBitmap wrapper;
  wrapper.EncapsulateTBitmap(B, false);
  wrapper.AssignImage(Target);
  Target->EncapsulateTBitmap(B, true);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TZiduzUvIO::TZiduzUvIO(TComponent* AOwner) : TComponent(AOwner) {
  FHandover = std::make_shared<TIEViewHandover>();
  FHandover->IO = this;
  FOwnedBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnedBitmap.get();
  FHandlerHandle = -1;
  FParams = std::make_unique<TIOParamsVals>(this);
  FPreviewFont = std::make_unique<TFont>();
}

std::unique_ptr<TZiduzUvIO> TZiduzUvIO::CreateForBitmap(TIEBitmap* Bitmap) {
  auto io = std::make_unique<TZiduzUvIO>(nullptr);
  io->AttachIEBitmap(Bitmap);
  return io;
}

TZiduzUvIO::~TZiduzUvIO() {
  WaitThreads(false);
  CloseMediaFile();
  CloseAVIFile();
  if (FView) ForgetView(true);
  {
    // Events still queued for the main thread find no component any more.
    std::lock_guard lock(FHandover->Lock);
    FHandover->IO = nullptr;
  }
  // The record must not reach back into a component half gone.
  FParams.reset();
  FPreviewFont.reset();
  FIEBitmap = nullptr;
  FOwnedBitmap.reset();
}

// ---------------------------------------------------------------------------
// Target

void TZiduzUvIO::ReleaseOwnedBitmap() {
  if (FOwnedBitmap && FIEBitmap == FOwnedBitmap.get()) FIEBitmap = nullptr;
  FOwnedBitmap.reset();
}

void TZiduzUvIO::ResetToOwnBitmap() {
  FTBitmap = nullptr;
  ReleaseOwnedBitmap();
  FOwnedBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnedBitmap.get();
}

void TZiduzUvIO::WrapTBitmap(TBitmap* Bitmap) {
  // The wrapper is always the component's own: an outside picture container
  // is never turned into a wrapper of somebody's platform bitmap.
  if (!FOwnedBitmap) {
    FOwnedBitmap = std::make_unique<TIEBitmap>();
    FIEBitmap = FOwnedBitmap.get();
  }
  FTBitmap = Bitmap;
  FIEBitmap->EncapsulateTBitmap(Bitmap, true);
}

void TZiduzUvIO::ForgetView(bool ViewAlive) {
  // A view that is being destroyed is not called: it drops our registration
  // and its free-notification link itself.
  if (ViewAlive) {
    if (FView && FHandlerHandle >= 0) FView->RemoveBitmapChangeHandler(FHandlerHandle);
    if (FViewComponent) RemoveFreeNotification(FViewComponent);
  }
  FHandlerHandle = -1;
  FView = nullptr;
  FViewComponent = nullptr;
  SetHandoverView(nullptr);
}

void TZiduzUvIO::TakeViewBitmap() {
  ReleaseOwnedBitmap();
  FTBitmap = nullptr;
  if (TIEBitmap* b = FView->GetIEBitmap()) {
    FIEBitmap = b;
    return;
  }
  FOwnedBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnedBitmap.get();
  if (TBitmap* tb = FView->GetBitmap()) {
    FTBitmap = tb;
    FIEBitmap->EncapsulateTBitmap(tb, true);
  }
}

void TZiduzUvIO::SetAttachedZiduzUv(TIEViewContract* View) {
  std::lock_guard op(FOperationLock);
  if (View == FView) return;
  if (FView) ForgetView(true);
  if (View == nullptr) {
    // Whatever the view lent us is dropped with it: neither its picture nor
    // its platform bitmap may be used once it is gone.
    ResetToOwnBitmap();
    return;
  }
  FView = View;
  SetHandoverView(View);
  FViewComponent = View->ViewComponent();
  TakeViewBitmap();
  if (FViewComponent) FreeNotification(FViewComponent);
  if (FTImage) RemoveFreeNotification(FTImage);
  FTImage = nullptr;
  FHandlerHandle =
      View->AddBitmapChangeHandler([this](TObject* Sender, bool Destroying) { BitmapChanged(Sender, Destroying); });
}

void TZiduzUvIO::BitmapChanged(TObject*, bool Destroying) {
  // A running operation finishes with the picture it started on first.
  std::lock_guard op(FOperationLock);
  if (!FView) return;
  if (Destroying) {
    // From here on nothing of the view may be touched, so the target becomes
    // the component's own.
    ForgetView(false);
    ResetToOwnBitmap();
    return;
  }
  TakeViewBitmap();
  FParams->SetDpiX(FView->DpiX());
  FParams->SetDpiY(FView->DpiY());
}

void TZiduzUvIO::SetAttachedTImage(TImage* Image) {
  std::lock_guard op(FOperationLock);
  if (FView) ForgetView(true);
  if (FTImage && FTImage != Image) RemoveFreeNotification(FTImage);
  FTImage = Image;
  if (Image == nullptr) {
    ResetToOwnBitmap();
    return;
  }
  WrapTBitmap(Image->Picture()->Bitmap());
  FreeNotification(Image);
}

void TZiduzUvIO::ReplaceIEBitmap(TIEBitmap* Bitmap) {
  std::lock_guard op(FOperationLock);
  FTBitmap = nullptr;
  ReleaseOwnedBitmap();
  FIEBitmap = Bitmap;
}

void TZiduzUvIO::AttachIEBitmap(TIEBitmap* Bitmap) {
  std::lock_guard op(FOperationLock);
  // Nil while something is attached keeps that attachment (and its
  // registration, so that the target keeps following the view's picture).
  if (Bitmap == nullptr && (FView || FTImage)) return;
  if (FView) ForgetView(true);
  ReplaceIEBitmap(Bitmap);
  if (Bitmap) {
    if (FTImage) RemoveFreeNotification(FTImage);
    FTImage = nullptr;
  }
}

void TZiduzUvIO::AttachTBitmap(TBitmap* Bitmap) {
  std::lock_guard op(FOperationLock);
  if (Bitmap == nullptr && (FView || FTImage)) return;
  if (FView) ForgetView(true);
  if (FTImage) RemoveFreeNotification(FTImage);
  FTImage = nullptr;
  if (Bitmap == nullptr) {
    ResetToOwnBitmap();
    return;
  }
  WrapTBitmap(Bitmap);
}

TBitmap* TZiduzUvIO::GetTBitmap() {
  FollowTImage();
  if (FIEBitmap && FIEBitmap->Location() == ieTBitmap && FIEBitmap->VclBitmap()) return FIEBitmap->VclBitmap();
  return FTBitmap;
}

void TZiduzUvIO::SetMonoConversionMode(Byte Mode) {
  FMonoConversionMode = Mode;
  if (FIEBitmap) FIEBitmap->SetBlackWhiteMethod(Mode);
}

void TZiduzUvIO::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr) return;
  std::lock_guard op(FOperationLock);
  if (AComponent == FViewComponent) {
    // The view is going: it cannot be called any more.
    ForgetView(false);
    ResetToOwnBitmap();
  } else if (AComponent == FTImage) {
    FTImage = nullptr;
    ResetToOwnBitmap();
  }
}

void TZiduzUvIO::FollowTImage() {
  // The control's picture may have been replaced since: take its bitmap anew.
  if (FTImage && FOwnedBitmap && FIEBitmap == FOwnedBitmap.get()) FTBitmap = FTImage->Picture()->Bitmap();
}

bool TZiduzUvIO::PrepareBitmap(std::initializer_list<TIEPixelFormat> Allowed) {
  if (!FIEBitmap) return false;
  FollowTImage();
  if (FTBitmap) FIEBitmap->EncapsulateTBitmap(FTBitmap, false);
  if (Allowed.size() == 0) return true;
  return std::find(Allowed.begin(), Allowed.end(), FIEBitmap->PixelFormat()) != Allowed.end();
}

void TZiduzUvIO::UpdateAttachedView() {
  if (TPrivateDecode* d = ActivePrivateDecode()) {
    PublishDecoded(*d);
    return;
  }
  FollowTImage();
  if (FTBitmap && FIEBitmap) {
    // A platform bitmap carries no alpha.
    FIEBitmap->RemoveAlphaChannel(false, clWhite);
    WriteBackTBitmap(FIEBitmap, FTBitmap);
  }
  if (FView) {
    if (IsMainThread()) {
      FView->Update();
      FView->ImageChange();
    } else if (FView->HasParentWindow()) {
      // Views are touched on the main thread only; the view repaints and
      // announces the change when the message arrives.
      FView->PostIOMessage(IEM_UPDATE, 0, 0);
    }
  } else if (FTBitmap) {
    FTBitmap->SetModified(true);
  }
}

// ---------------------------------------------------------------------------
// Properties

TColor TZiduzUvIO::Background() const {
  if (tHandedBackgroundOf == this) return tHandedBackground;
  return FView ? FView->Background() : FBackground.load(std::memory_order_relaxed);
}

void TZiduzUvIO::SetBackground(TColor Value) {
  if (!FView) FBackground.store(Value, std::memory_order_relaxed);
}

bool TZiduzUvIO::NativePixelFormat() const { return FParams && FParams->ISNATIVEPIXELFORMAT; }

void TZiduzUvIO::SetNativePixelFormat(bool Value) {
  if (FParams) FParams->ISNATIVEPIXELFORMAT = Value;
}

void TZiduzUvIO::SetPreviewFont(TFont* Value) {
  if (Value) FPreviewFont->Assign(Value);
}

// ---------------------------------------------------------------------------
// Events

bool TZiduzUvIO::ViaViewMessages() { return FView && !IsMainThread() && FView->HasParentWindow(); }

void TZiduzUvIO::DoProgress(TObject* Sender, Integer per) {
  if (!OnProgress) return;
  // A private decode never calls the view, not even to ask for its parent
  // window: the view may be in the middle of its destruction, waiting for
  // this load to end. The main thread decides.
  if (DecodesPrivately()) {
    QueueViewMessage(IEM_PROGRESS, static_cast<WPARAM>(per));
    return;
  }
  if (ViaViewMessages()) {
    FView->PostIOMessage(IEM_PROGRESS, static_cast<WPARAM>(per), 0);
    return;
  }
  // The application's handlers run on the main thread, never on a worker.
  if (InWorkerThread()) {
    QueueEvent(IEM_PROGRESS, static_cast<WPARAM>(per));
    return;
  }
  OnProgress(Sender, per);
}

void TZiduzUvIO::DoFinishWork() {
  DoProgress(this, 100);
  ++tFinishes;
  if (!OnFinishWork) return;
  if (DecodesPrivately()) {
    QueueViewMessage(IEM_FINISHWORK, 0);
    return;
  }
  if (ViaViewMessages()) {
    FView->PostIOMessage(IEM_FINISHWORK, 0, 0);
    return;
  }
  if (InWorkerThread()) {
    QueueEvent(IEM_FINISHWORK, 0);
    return;
  }
  OnFinishWork(this);
}

void TZiduzUvIO::FireViewMessageEvent(UINT Msg, WPARAM WParam) {
  if (Msg == IEM_PROGRESS) {
    if (OnProgress) OnProgress(this, static_cast<Integer>(WParam));
  } else if (Msg == IEM_FINISHWORK) {
    if (OnFinishWork) OnFinishWork(this);
  }
}

void TZiduzUvIO::LogFailure(const WideString& Why) {
  // The debug log is the one place a refusal can be read back from: the
  // operations report failure through Aborting alone. It never raises.
  IEWriteDebugLog(W("TZiduzUvIO: ") + Why);
}

void TZiduzUvIO::Refuse(const WideString& Why) {
  LogFailure(Why);
  SetAborting(true);
  DoFinishWork();
}

void TZiduzUvIO::RefuseQuietly(const WideString& Why) {
  LogFailure(Why);
  SetAborting(true);
}

WideString IECurrentExceptionText() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return Utf8ToWide(e.what());
  } catch (...) {
  }
  return W("an unknown error");
}

void IERunReader(const TIEReadRoutine& Read, TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec,
                 bool Preview) {
  try {
    Read(S, B, P, Rec, Preview);
  } catch (...) {
    TZiduzUvIO::LogFailure(W("the reader failed: ") + IECurrentExceptionText());
    Rec.Abort();
  }
}

void IERunWriter(const TIEWriteRoutine& Write, TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& Rec) {
  try {
    Write(S, B, P, Rec);
  } catch (...) {
    TZiduzUvIO::LogFailure(W("the writer failed: ") + IECurrentExceptionText());
    Rec.Abort();
  }
}

void TZiduzUvIO::ClearTypeAndName() {
  FParams->FILENAME.clear();
  FParams->FILETYPE = 0;
}

// ---------------------------------------------------------------------------
// Resolution

void TZiduzUvIO::SyncViewDPI() {
  // A private decode hands the resolution over with the picture. It is
  // asked first: its worker must not call the view at all, which may be in
  // the middle of its destruction, waiting for this load to end.
  if (DecodesPrivately() || !FView || !FView->IsSingleImageView()) return;
  FView->LockUpdate();
  FView->SetDpi(FParams->DPIX, FParams->DPIY);
  FView->UnlockUpdateQuiet();
}

void TZiduzUvIO::FixDefaultDPI() {
  if (FParams->DPIX < 2) FParams->SetDpiX(IEDefaultDpiX);
  if (FParams->DPIY < 2) FParams->SetDpiY(IEDefaultDpiY);
}

// ---------------------------------------------------------------------------
// Workers

void TZiduzUvIO::AddWorker(std::thread::id Worker) {
  std::lock_guard lock(FWorkerLock);
  FWorkers.push_back(Worker);
}

void TZiduzUvIO::RemoveWorker(std::thread::id Worker) {
  std::lock_guard lock(FWorkerLock);
  auto it = std::find(FWorkers.begin(), FWorkers.end(), Worker);
  if (it != FWorkers.end()) FWorkers.erase(it);
  // Under the lock: once a waiter sees the list empty, the component may go.
  FWorkersChanged.notify_all();
}

bool TZiduzUvIO::InWorkerThread() {
  std::lock_guard lock(FWorkerLock);
  return std::find(FWorkers.begin(), FWorkers.end(), std::this_thread::get_id()) != FWorkers.end();
}

void TZiduzUvIO::WaitThreads(bool Abort) {
  std::unique_lock lock(FWorkerLock);
  // A worker of this component waits for the others, never for itself.
  const size_t self = std::count(FWorkers.begin(), FWorkers.end(), std::this_thread::get_id());
  if (Abort && (FWorkers.size() > self || FStartingWorkers > 0)) {
    SetAborting(true);
    // Operations still waiting for their turn never start.
    FCancelBelow = FNextTicket;
    FWorkersChanged.notify_all();
  }
  FWorkersChanged.wait(lock, [&] { return FWorkers.size() <= self && FStartingWorkers == 0; });
}
