// The processing companion's frame: attachment to a view or a picture,
// pixel-format admission, the selection's rectangle, progress and refresh.
#include "imaging/proc/ziduzuvproc.h"

#include "imaging/io/ioparams.h"  // IEDefaultDpiX, IEDefaultDpiY
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/bitmap.h"
#include "platform/ui/extctrls.h"

namespace {

TZiduzUvProc* CreateViewProc(TIEView* View) {
  auto* p = new TZiduzUvProc(View);
  p->SetAttachedZiduzUv(View);
  return p;
}

// Formats tried, in order, when the picture's own format is refused.
constexpr TIEPixelFormat kPreference[IEPixelFormatCount][7] = {
    {ieNone, ieNone, ieNone, ieNone, ieNone, ieNone, ieNone},         // ieNone
    {ie8g, ie16g, ie32f, ie24RGB, ieNone, ieNone, ieNone},            // ie1g
    {ie24RGB, ieCMYK, ieRGB48, ieCIELab, ieNone, ieNone, ieNone},     // ie8p
    {ie16g, ie32f, ie24RGB, ieCMYK, ieRGB48, ieNone, ieNone},         // ie8g
    {ie32f, ie8g, ieRGB48, ie24RGB, ieCMYK, ieNone, ieNone},          // ie16g
    {ieCMYK, ieCIELab, ieRGB48, ie8p, ie16g, ie8g, ieNone},           // ie24RGB
    {ie16g, ie8g, ie24RGB, ieRGB48, ieCIELab, ieNone, ieNone},        // ie32f
    {ie24RGB, ieRGB48, ieCIELab, ie8g, ieNone, ieNone, ieNone},       // ieCMYK
    {ie24RGB, ieCMYK, ieCIELab, ie16g, ieNone, ieNone, ieNone},       // ieRGB48
    {ie24RGB, ieCMYK, ieRGB48, ie8g, ieNone, ieNone, ieNone},         // ieCIELab
    {ie24RGB, ieCMYK, ieRGB48, ie8g, ieNone, ieNone, ieNone},         // ie32RGB
};

bool InSet(TIEPixelFormatSet Set, TIEPixelFormat F) { return (Set & IEPixelFormatBit(F)) != 0; }

// The format CheckPixelFormat converts to, or ieNone when none of the set
// can be reached. The walk of the last resort never picks ieNone itself.
TIEPixelFormat AdmittedFormat(TIEPixelFormat Current, TIEPixelFormatSet Allowed) {
  if (static_cast<unsigned>(Current) < IEPixelFormatCount)
    for (TIEPixelFormat f : kPreference[Current])
      if (f != ieNone && InSet(Allowed, f)) return f;
  for (int v = IEPixelFormatCount - 1; v >= 1; --v)
    if (InSet(Allowed, static_cast<TIEPixelFormat>(v))) return static_cast<TIEPixelFormat>(v);
  return ieNone;
}

}  // namespace

const TIEViewProcLink IEViewProcLink{
    &CreateViewProc,
    [](TZiduzUvProc* Proc, const TIEProgressEvent& Event) { Proc->OnProgress = Event; },
    [](TZiduzUvProc* Proc, const TNotifyEvent& Event) { Proc->OnFinishWork = Event; },
    [](TZiduzUvProc* Proc, const TIESaveUndoEvent& Event) { Proc->OnSaveUndo = Event; },
    [](TZiduzUvProc* Proc) { delete Proc; },
    [](TZiduzUvProc* Proc, TIEUndoSource Source) { Proc->SaveUndo(Source); },
    [](TZiduzUvProc* Proc, TIEUndoSource Source) {
      for (Integer i = Proc->GetUndoCount() - 1; i >= 0; --i)
        if (Proc->GetUndoSource(i) == Source) {
          Proc->ClearUndoAt(Proc->GetUndoCount() - 1 - i);
          return;
        }
    },
};

TZiduzUvProc::TZiduzUvProc(TComponent* AOwner) : TComponent(AOwner), FAutoUndo(AOwner != nullptr) { UseOwnBitmap(); }

std::unique_ptr<TZiduzUvProc> TZiduzUvProc::CreateFromBitmap(TIEBitmap* Bitmap) {
  auto p = std::make_unique<TZiduzUvProc>(nullptr);
  p->SetAutoUndo(false);
  p->SetAttachedIEBitmap(Bitmap);
  return p;
}

TZiduzUvProc::~TZiduzUvProc() {
  ForgetView(true);
  if (FImage) RemoveFreeNotification(FImage);
  ClearAllUndo();
  ClearAllRedo();
}

void TZiduzUvProc::UseOwnBitmap() {
  FOwnBitmap = std::make_unique<TIEBitmap>();
  FIEBitmap = FOwnBitmap.get();
}

void TZiduzUvProc::ForgetView(bool ViewAlive) {
  if (FView && ViewAlive) {
    if (FHandlerHandle >= 0) FView->RemoveBitmapChangeHandler(FHandlerHandle);
    RemoveFreeNotification(FView);
  }
  FHandlerHandle = -1;
  FView = nullptr;
}

void TZiduzUvProc::SetAttachedZiduzUv(TIEView* View) {
  if (View == FView) return;
  ForgetView(true);
  if (View == nullptr) {
    FAttachedTBitmap = nullptr;
    UseOwnBitmap();
    return;
  }
  FView = View;
  FAttachedTBitmap = nullptr;
  if (TIEBitmap* b = View->GetIEBitmap()) {
    FOwnBitmap.reset();
    FIEBitmap = b;
  } else {
    UseOwnBitmap();
    if ((FAttachedTBitmap = View->GetBitmap())) FIEBitmap->EncapsulateTBitmap(FAttachedTBitmap, true);
  }
  FreeNotification(View);
  if (FImage) {
    RemoveFreeNotification(FImage);
    FImage = nullptr;
  }
  FHandlerHandle =
      View->AddBitmapChangeHandler([this](TObject* Sender, bool Destroying) { BitmapChanged(Sender, Destroying); });
}

void TZiduzUvProc::SetAttachedIEBitmap(TIEBitmap* Bitmap) {
  if (Bitmap == nullptr && (FView || FImage)) return;
  ForgetView(true);
  FAttachedTBitmap = nullptr;
  if (Bitmap == nullptr) {
    UseOwnBitmap();
    return;
  }
  if (FImage) {
    RemoveFreeNotification(FImage);
    FImage = nullptr;
  }
  FOwnBitmap.reset();
  FIEBitmap = Bitmap;
}

void TZiduzUvProc::SetAttachedBitmap(TBitmap* Bitmap) {
  if (Bitmap == nullptr && (FView || FImage)) return;
  ForgetView(true);
  if (FImage) {
    RemoveFreeNotification(FImage);
    FImage = nullptr;
  }
  UseOwnBitmap();
  FAttachedTBitmap = Bitmap;
  if (Bitmap) FIEBitmap->EncapsulateTBitmap(Bitmap, true);
}

void TZiduzUvProc::SetAttachedTImage(TImage* Image) {
  ForgetView(true);
  if (FImage) RemoveFreeNotification(FImage);
  FImage = Image;
  if (Image) {
    UseOwnBitmap();
    FAttachedTBitmap = Image->Picture()->Bitmap();
    FIEBitmap->EncapsulateTBitmap(FAttachedTBitmap, true);
    FreeNotification(Image);
  } else {
    FAttachedTBitmap = nullptr;
    UseOwnBitmap();
  }
}

void TZiduzUvProc::BitmapChanged(TObject*, bool Destroying) {
  if (!FView) return;
  if (Destroying) {
    // The view is inside its destructor: forget it, call nothing on it.
    ForgetView(false);
    FAttachedTBitmap = nullptr;
    UseOwnBitmap();
    return;
  }
  if (TIEBitmap* b = FView->GetIEBitmap()) {
    FOwnBitmap.reset();
    FIEBitmap = b;
    FAttachedTBitmap = nullptr;
  } else if (TBitmap* tb = FView->GetBitmap()) {
    UseOwnBitmap();
    FAttachedTBitmap = tb;
    FIEBitmap->EncapsulateTBitmap(tb, true);
  }
}

void TZiduzUvProc::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove || AComponent == nullptr) return;
  if (AComponent == FView) {
    ForgetView(false);
    FAttachedTBitmap = nullptr;
    UseOwnBitmap();
  } else if (AComponent == FImage) {
    FImage = nullptr;
    FAttachedTBitmap = nullptr;
    UseOwnBitmap();
  }
}

TColor TZiduzUvProc::Background() const { return FView ? FView->Background() : FBackground; }

void TZiduzUvProc::SetBackground(TColor Value) {
  if (FView)
    FView->SetBackground(Value);
  else
    FBackground = Value;
}

Integer TZiduzUvProc::GetDpiX() const { return FView ? FView->DpiX() : IEDefaultDpiX; }
Integer TZiduzUvProc::GetDpiY() const { return FView ? FView->DpiY() : IEDefaultDpiY; }

// ---------------------------------------------------------------------------
// The frame of every operation
// ---------------------------------------------------------------------------

void TZiduzUvProc::RewrapTBitmap() {
  if (FAttachedTBitmap) FIEBitmap->EncapsulateTBitmap(FAttachedTBitmap, false);
}

bool TZiduzUvProc::PrepareBitmap(TIEPixelFormatSet Allowed) {
  if (!FIEBitmap) return false;
  RewrapTBitmap();
  return CheckPixelFormat(Allowed);
}

bool TZiduzUvProc::CanAdmit(TIEPixelFormatSet Allowed) const {
  if (!FIEBitmap) return false;
  if (Allowed == 0 || InSet(Allowed, FIEBitmap->PixelFormat())) return true;
  return FAutoConvertFormat && AdmittedFormat(FIEBitmap->PixelFormat(), Allowed) != ieNone;
}

bool TZiduzUvProc::CheckPixelFormat(TIEPixelFormatSet Allowed) {
  TIEPixelFormat current = FIEBitmap->PixelFormat();
  if (Allowed == 0 || InSet(Allowed, current)) return true;
  if (!FAutoConvertFormat) return false;
  TIEPixelFormat to = AdmittedFormat(current, Allowed);
  if (to == ieNone) return false;
  FIEBitmap->SetPixelFormat(to);
  // A conversion the container could not make leaves the old format: the
  // operation must not run on pixels of a layout it does not accept.
  return FIEBitmap->PixelFormat() == to;
}

bool TZiduzUvProc::GetSelectionArea(Integer& x1, Integer& y1, Integer& x2, Integer& y2, TIEMask*& Mask) {
  RewrapTBitmap();
  x1 = y1 = 0;
  x2 = FIEBitmap->Width();
  y2 = FIEBitmap->Height();
  Mask = nullptr;
  auto* view = dynamic_cast<TZiduzUvView*>(FView);
  if (!view) return false;
  Mask = view->SelectionMask();
  if (!view->Selected()) return false;
  if (Mask && !Mask->IsEmpty()) {
    x1 = Mask->X1;
    y1 = Mask->Y1;
    x2 = Mask->X2 + 1;
    y2 = Mask->Y2 + 1;
  }
  return true;
}

bool TZiduzUvProc::BeginOperation(TIEPixelFormatSet Allowed, const WideString& Caption, TIEProcOperation& Op) {
  // A format that cannot be admitted ends the call before the undo entry, so
  // a refused operation never pushes the user's real entries out of a short
  // stack; the entry itself is still taken before any conversion, so undo
  // gives back the picture in its own format.
  if (!CanAdmit(Allowed)) return false;
  if (FAutoUndo) SaveUndoCaptioned(Caption, ieuImage);
  if (!PrepareBitmap(Allowed)) return false;
  return BeginOperationBox(Op);
}

bool TZiduzUvProc::BeginOperationBox(TIEProcOperation& Op) {
  GetSelectionArea(Op.x1, Op.y1, Op.x2, Op.y2, Op.Mask);
  Op.Work = FIEBitmap;
  Op.Temporary.reset();
  if (Op.Mask && !Op.Mask->IsEmpty()) {
    Integer w = Op.Mask->X2 - Op.Mask->X1 + 1, h = Op.Mask->Y2 - Op.Mask->Y1 + 1;
    auto tmp = std::make_unique<TIEBitmap>();
    if (!tmp->Allocate(w, h, FIEBitmap->PixelFormat())) return false;
    FIEBitmap->CopyPaletteTo(tmp.get());
    FIEBitmap->CopyRectTo(tmp.get(), Op.Mask->X1, Op.Mask->Y1, 0, 0, w, h);
    if (FIEBitmap->HasAlphaChannel())
      FIEBitmap->GetAlphaChannel()->CopyRectTo(tmp->GetAlphaChannel(), Op.Mask->X1, Op.Mask->Y1, 0, 0, w, h);
    Op.Temporary = std::move(tmp);
    Op.Work = Op.Temporary.get();
    Op.x1 = Op.y1 = 0;
    Op.x2 = w;
    Op.y2 = h;
  }
  return true;
}

void TZiduzUvProc::EndOperation(TIEProcOperation& Op) {
  if (Op.Temporary && Op.Mask) {
    TIEBitmap* tmp = Op.Temporary.get();
    Op.Mask->CopyBitmap(FIEBitmap, tmp, false, true, false);
    if (tmp->HasAlphaChannel() && !tmp->GetAlphaChannel()->Full()) {
      // Only the selected pixels take the changed alpha; the rest of the box
      // keeps its own.
      TIEBitmap* src = tmp->GetAlphaChannel();
      TIEBitmap* dst = FIEBitmap->GetAlphaChannel();
      TIEMask* m = Op.Mask;
      for (Integer y = m->Y1; y <= m->Y2 && y < dst->Height(); ++y) {
        const Byte* s = static_cast<const Byte*>(src->GetScanline(y - m->Y1));
        std::vector<Byte> row(s, s + src->Width());
        Byte* d = static_cast<Byte*>(dst->GetScanline(y));
        for (Integer x = m->X1; x <= m->X2 && x < dst->Width(); ++x)
          if (m->IsPointInside(x, y)) d[x] = row[x - m->X1];
      }
      dst->SetFull(false);
    }
  }
  Op.Temporary.reset();
  Op.Work = nullptr;
  RefreshAttached();
}

void TZiduzUvProc::RefreshAttached() {
  if (FAttachedTBitmap) FIEBitmap->RemoveAlphaChannel(false, 0);
  if (FView) {
    FView->Update();
    FView->ImageChange();
  } else if (FAttachedTBitmap) {
    FAttachedTBitmap->SetModified(true);
  }
}

void TZiduzUvProc::Progress(Integer Percent) {
  if (OnProgress) OnProgress(this, Percent);
}

TIEProgressEvent TZiduzUvProc::ProgressEvent() {
  if (!OnProgress) return nullptr;
  return [this](TObject* Sender, Integer Per) {
    if (OnProgress) OnProgress(Sender, Per);
  };
}

void TZiduzUvProc::DoFinishWork() {
  if (OnProgress) OnProgress(this, 100);
  if (OnFinishWork) OnFinishWork(this);
}
