// The single-image view: construction and destruction, companions, locks,
// image operations, messages, cursors and the unit's start-up.
#include "imaging/view/ziduzuvview.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/render/iegdiplus.h"
#include "imaging/core/render/ierendercanvas.h"
#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/io/ioparams.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/graphics/colors.h"
#include "platform/graphics/resources.h"
#include "platform/ui/forms.h"
#include "platform/ui/winuser.h"

// ---------------------------------------------------------------------------
// Unit globals

Integer IEScreenBitsPerPixel = 24;
bool IERemoteSession = false;
bool IEHasMMXFlag = false;
Integer IEEdgeX = 2, IEEdgeY = 2, IEBorderX = 1, IEBorderY = 1, IEHScrollHeight = 16, IEVScrollWidth = 16;
Integer IEPixelGridThreshold = 400;
TPen* IEPixelGridPen = nullptr;

void ZiduzUvViewInitialize() {
  HDC dc = GetDC(nullptr);
  IEScreenBitsPerPixel = GetDeviceCaps(dc, BITSPIXEL);
  IEScreenDpiX = GetDeviceCaps(dc, LOGPIXELSX);
  IEScreenDpiY = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  IERemoteSession = IEIsRemoteSession();
  IEDefaultDpiX = 300;
  IEDefaultDpiY = 300;
  IEHasMMXFlag = IEHasMMX();
  IEEdgeX = GetSystemMetrics(SM_CXEDGE);
  IEEdgeY = GetSystemMetrics(SM_CYEDGE);
  IEBorderX = GetSystemMetrics(SM_CXBORDER);
  IEBorderY = GetSystemMetrics(SM_CYBORDER);
  IEHScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
  IEVScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
  IEPixelGridThreshold = 400;
  delete IEPixelGridPen;
  IEPixelGridPen = new TPen();
  IEPixelGridPen->SetMode(pmNot);
  IEPixelGridPen->SetStyle(psSolid);
  IEPixelGridPen->SetWidth(1);
}

void ZiduzUvViewFinalize() {
  delete IEPixelGridPen;
  IEPixelGridPen = nullptr;
}

namespace {
TIEStartupRegistrar gViewStartup(iessView, "ZiduzUvView", ZiduzUvViewInitialize, ZiduzUvViewFinalize);

const char16_t* const kCursorNames[IEViewCursorLast - IEViewCursorFirst + 1] = {
    u"ZOOMMENO", u"ZOOMPIU", u"CROCE",   u"GOMMA",   u"MANO",    u"PENNA",   u"CROCE1",  u"CROCE3",
    u"MOVE2",    u"MOVEY",   u"MOVE1",   u"MOVEX",   u"MOVE",    u"CROCE3+", u"CROCE3-", u"CROCE2",
    u"CROCE2+",  u"CROCE2-", u"CROCE2-", u"1795",    u"1796",    u"1797",    u"1798",    u"1799",
    u"1800",     u"1801",    u"1802",    u"1803",    u"1803",    u"1805",    u"1806",    u"1807",
    u"1808",     u"ROT1",    u"ROT2",    u"ROT3",    u"ROT4",
};

// The handles this unit registered, so that a later view does not register
// (and leak) the same cursors again.
HCURSOR gOurCursors[IEViewCursorLast - IEViewCursorFirst + 1] = {};
}  // namespace

const char16_t* IEViewCursorResource(Integer Number) {
  if (Number < IEViewCursorFirst || Number > IEViewCursorLast) return nullptr;
  return kCursorNames[Number - IEViewCursorFirst];
}

// ---------------------------------------------------------------------------
// Construction and destruction

TZiduzUvView::TZiduzUvView(TComponent* AOwner) : TIEView(AOwner) {
  // Nothing below may run a layout: it runs once, at the end.
  LockUpdate();
  FLegacyBitmap = true;
  FLegacyTBitmap = std::make_unique<TBitmap>();
  FLegacyTBitmap->SetPixelFormat(pf24bit);
  FLegacyTBitmap->SetSize(Width(), Height());
  IEGDIPlusLoad();
  // The picture of layer 0, owned by the layer.
  FIEBitmap = new TIEBitmap();
  FImageWidth = FIEBitmap->Width();
  FImageHeight = FIEBitmap->Height();
  FLayers.push_back(std::make_unique<TIELayer>(this, FIEBitmap, true, true));
  FLayers.front()->VisibleBox = false;
  FLayers.front()->Locked = true;
  FCurrentLayer = 0;

  FOwnerPresent = AOwner != nullptr;
  FTransitionDuration = 1000;
  FSelectionOptions = TIESelectionOptions{iesoAnimated, iesoSizeable, iesoMoveable, iesoCanScroll};
  FZoomFilter = rfNone;
  FRestoreZoomFilter = rfNone;
  FBackBufferDirty = true;
  FPaintAll = true;
  RegisterCursors();
  FCursorPending = true;
  TControl::SetCursor(1785);
  SetScrollBars(ssBoth);
  FZoomX = FZoomY = 100;
  FZoomFactorX = FZoomFactorY = 1.0;
  FInvZoomX = FInvZoomY = 1.0;
  SetHeight(105);
  SetWidth(105);
  FCenter = true;
  FDoubleBuffer = true;
  SetDpi(IEDefaultDpiX, IEDefaultDpiY);

  // Selection.
  FPolygonSelecting = FLassoSelecting = FRectSelecting = FCircleSelecting = false;
  FMovingSelection = -1;
  FPolygons.push_back(std::make_unique<TIESelectionPolygon>());
  FCurrentPolygon = FPolygons.back().get();
  FVScrollBarParams = std::make_unique<TIEScrollBarParams>();
  FHScrollBarParams = std::make_unique<TIEScrollBarParams>();
  FMouseWheelParams = std::make_unique<TIEMouseWheelParams>();
  FSelectionMask = std::make_unique<TIEMask>();
  FSelectionMask->AllocateBits(FImageWidth, FImageHeight, 1);
  if (!ComponentState().Contains(csDesigning)) {
    FBackBuffer = std::make_unique<TIEBitmap>();
    FBackBuffer->Allocate(10, 10, ie24RGB);
  }
  FWallPaper = std::make_unique<TPicture>();

  UnlockUpdate();
}

TZiduzUvView::~TZiduzUvView() {
  // Nothing may lay the view out any more.
  Destroying();
  FOwnedObjects.clear();
  FGlideTimer.reset();
  FTransition.reset();
  SetNavigator(nullptr);
  // The companions unregister their handlers while the layers still exist.
  delete FIO;
  FIO = nullptr;
  if (FProc) IEViewProcLink.Free(FProc);
  FProc = nullptr;
  FBackBuffer.reset();
  FOutlineTimer.reset();
  FCurrentPolygon = nullptr;
  FPolygons.clear();
  if (FDrawDibHandle) IEDrawDibClose(static_cast<HDRAWDIB>(FDrawDibHandle));
  FDrawDibHandle = nullptr;
  FVScrollBarParams.reset();
  FHScrollBarParams.reset();
  FMouseWheelParams.reset();
  FSelectionMask.reset();
  FIEBitmap = nullptr;
  FLayers.clear();
  FLegacyTBitmap.reset();
  {
    std::lock_guard lock(FPendingLock);
    FPendingBitmap.reset();
  }
  FSelectionStreamStack.clear();
  FZoomedToBmpX.clear();
  FBmpToZoomedX.clear();
  FZoomedToBmpY.clear();
  FBmpToZoomedY.clear();
  FWallPaper.reset();
  FOutlinePixelBitmap.reset();
  FNavigatorShadeBuffer.reset();
  IEGDIPlusUnload();
  // TIEView's destructor then tells the remaining handlers.
}

void TZiduzUvView::RegisterCursors() {
  for (Integer n = IEViewCursorFirst; n <= IEViewCursorLast; ++n) {
    HCURSOR& ours = gOurCursors[n - IEViewCursorFirst];
    if (ours && Screen->Cursors(n) == ours) continue;
    TGtCursorImage img;
    if (!GtResourceCursor(kCursorNames[n - IEViewCursorFirst], img)) continue;
    HCURSOR h = GtCreateCursor(img.Pixels.data(), img.Width, img.Height, img.HotSpot.X, img.HotSpot.Y);
    if (!h) continue;
    Screen->SetCursors(n, h);
    ours = h;
  }
}

void TZiduzUvView::CreateWnd() {
  TIEView::CreateWnd();
  FBackBufferDirty = true;
  FPaintAll = true;
}

// ---------------------------------------------------------------------------
// Companions

TZiduzUvIO* TZiduzUvView::GetIO() {
  if (!FIO) {
    FIO = new TZiduzUvIO(this);
    FIO->SetAttachedZiduzUv(this);
    FIO->OnProgress = FOnProgress;
    FIO->OnFinishWork = FOnFinishWork;
  }
  return FIO;
}

TZiduzUvProc* TZiduzUvView::GetProc() {
  if (!FProc) {
    FProc = IEViewProcLink.Create(this);
    IEViewProcLink.SetOnProgress(FProc, FOnProgress);
    IEViewProcLink.SetOnFinishWork(FProc, FOnFinishWork);
    IEViewProcLink.SetOnSaveUndo(FProc, FOnSaveUndo);
  }
  return FProc;
}

TIETransitionEffects* TZiduzUvView::GetTransition() {
  if (!FTransition) FTransition = std::make_unique<TIETransitionEffects>(this);
  return FTransition.get();
}

void TZiduzUvView::SetOnProgress(TIEProgressEvent Value) {
  FOnProgress = std::move(Value);
  if (FIO) FIO->OnProgress = FOnProgress;
  if (FProc) IEViewProcLink.SetOnProgress(FProc, FOnProgress);
}

void TZiduzUvView::SetOnFinishWork(TNotifyEvent Value) {
  FOnFinishWork = std::move(Value);
  if (FIO) FIO->OnFinishWork = FOnFinishWork;
  if (FProc) IEViewProcLink.SetOnFinishWork(FProc, FOnFinishWork);
}

void TZiduzUvView::SetOnSaveUndo(TIESaveUndoEvent Value) {
  FOnSaveUndo = std::move(Value);
  if (FProc) IEViewProcLink.SetOnSaveUndo(FProc, FOnSaveUndo);
}

TNotifyEvent TZiduzUvView::OnTransitionStop() const { return FTransition ? FTransition->OnTransitionStop : nullptr; }
void TZiduzUvView::SetOnTransitionStop(TNotifyEvent Value) { GetTransition()->OnTransitionStop = std::move(Value); }
TIETransitionStepEvent TZiduzUvView::OnTransitionStep() const {
  return FTransition ? FTransition->OnTransitionStep : nullptr;
}
void TZiduzUvView::SetOnTransitionStep(TIETransitionStepEvent Value) {
  GetTransition()->OnTransitionStep = std::move(Value);
}
TIEOnTransitionPaint TZiduzUvView::OnTransitionPaint() const {
  return FTransition ? FTransition->OnTransitionPaint : nullptr;
}
void TZiduzUvView::SetOnTransitionPaint(TIEOnTransitionPaint Value) {
  GetTransition()->SetOnTransitionPaint(std::move(Value));
}

// ---------------------------------------------------------------------------
// Locks

Integer TZiduzUvView::UnlockPaint() {
  if (FPaintLockCount > 0) --FPaintLockCount;
  if (FPaintLockCount == 0) Update();
  return FPaintLockCount;
}

Integer TZiduzUvView::UnlockPaintQuiet() {
  if (FPaintLockCount > 0) --FPaintLockCount;
  return FPaintLockCount;
}

void TZiduzUvView::UnlockUpdateQuiet() {
  if (FUpdateLockCount > 0) --FUpdateLockCount;
}

void TZiduzUvView::UnlockUpdate() {
  if (FUpdateLockCount > 0) --FUpdateLockCount;
  if (FUpdateLockCount == 0) Update();
}

// ---------------------------------------------------------------------------
// Properties

void TZiduzUvView::SetLegacyBitmap(bool Value) { FLegacyBitmap = Value; }

void TZiduzUvView::SetZoomFilter(TResampleFilter Value) {
  FRestoreZoomFilter = Value;
  if (Value == FZoomFilter) return;
  FZoomFilter = Value;
  Update();
}

void TZiduzUvView::SetScrollBars(TScrollStyle Value) {
  FScrollBars = Value;
  if (Value != ssVertical && Value != ssBoth) HideVScrollBar();
  if (Value != ssHorizontal && Value != ssBoth) HideHScrollBar();
  FUpdateReason = urSize;
  Update();
}

void TZiduzUvView::SetCenter(bool Value) {
  FCenter = Value;
  FUpdateReason = urCenter;
  Update();
}

void TZiduzUvView::SetAutoFit(bool Value) {
  FAutoFit = Value;
  Update();
}

void TZiduzUvView::SetAutoStretch(bool Value) {
  FAutoStretch = Value;
  Update();
}

void TZiduzUvView::SetAutoShrink(bool Value) {
  FAutoShrink = Value;
  Update();
}

void TZiduzUvView::SetBackgroundStyle(TIEBackgroundStyle Value) {
  FBackgroundStyle = Value;
  Invalidate();
  FUpdateReason = urSize;
  Update();
}

void TZiduzUvView::SetWallPaper(TPicture* Value) {
  FWallPaper->Assign(Value);
  FUpdateReason = urSize;
  Update();
}

void TZiduzUvView::SetWallPaperStyle(TIEWallPaperStyle Value) {
  if (Value == FWallPaperStyle) return;
  FWallPaperStyle = Value;
  FUpdateReason = urSize;
  Update();
}

void TZiduzUvView::SetEnableAlphaChannel(bool Value) {
  FEnableAlphaChannel = Value;
  Update();
}

void TZiduzUvView::SetDrawVersion(bool Value) {
  FDrawVersion = Value;
  PaintNow();
}

void TZiduzUvView::SetBackground(TColor Value) {
  TIEView::SetBackground(Value);
  if (ComponentState().Contains(csDesigning)) Clear();
  FUpdateReason = urSize;
  Update();
  ImageChange();
  if (ComponentState().Contains(csDesigning)) PaintNow();
}

// ---------------------------------------------------------------------------
// Image operations

TIEBitmap* TZiduzUvView::GetAlphaChannel() { return FIEBitmap->GetAlphaChannel(); }
bool TZiduzUvView::HasAlphaChannel() { return FIEBitmap->HasAlphaChannel(); }
void TZiduzUvView::RemoveAlphaChannel(bool Merge) { FIEBitmap->RemoveAlphaChannel(Merge, Background()); }

void TZiduzUvView::ImageChange() {
  if (OnImageChange) OnImageChange(this);
}

void TZiduzUvView::Clear() {
  FIEBitmap->Fill(static_cast<double>(static_cast<Cardinal>(ColorToRGB(Background()))));
  RemoveAlphaChannel(false);
  Update();
}

void TZiduzUvView::Blank() {
  if (FTransition) FTransition->Stop();
  if (FIEBitmap->IsEmpty()) {
    const TIEPixelFormat pf = FIEBitmap->PixelFormat() == ieNone ? ie24RGB : FIEBitmap->PixelFormat();
    FIEBitmap->Allocate(1, 1, pf);
  } else {
    FIEBitmap->SetWidth(1);
    FIEBitmap->SetHeight(1);
  }
  Clear();
}

bool TZiduzUvView::IsEmpty() { return FIEBitmap->Width() < 2 && FIEBitmap->Height() < 2; }

TBitmap* TZiduzUvView::GetBitmap() {
  if (!FLegacyBitmap) return nullptr;
  // The platform form of the picture, brought up to date: 1-bit stays 1-bit,
  // everything else is given as 24-bit colour.
  TBitmap* b = FLegacyTBitmap.get();
  TIEBitmap* src = FIEBitmap;
  std::unique_ptr<TIEBitmap> converted;
  if (src->IsEmpty()) {
    b->SetSize(0, 0);
    return b;
  }
  TPixelFormat pf = pf24bit;
  if (src->PixelFormat() == ie1g) {
    pf = pf1bit;
  } else if (src->PixelFormat() != ie24RGB) {
    converted = std::make_unique<TIEBitmap>();
    converted->Assign(src);
    if (!converted->ConvertToPixelFormat(ie24RGB)) return b;
    src = converted.get();
  }
  b->SetPixelFormat(pf);
  b->SetSize(src->Width(), src->Height());
  if (pf == pf1bit) {
    b->SetColorTableEntry(0, RGBQUAD{0, 0, 0, 0});
    b->SetColorTableEntry(1, RGBQUAD{255, 255, 255, 0});
  }
  const size_t rowBytes = static_cast<size_t>(IEBitmapRowLen(src->Width(), src->BitCount(), 32));
  for (Integer y = 0; y < src->Height(); ++y) std::memcpy(b->ScanLine(y), src->GetScanline(y), rowBytes);
  return b;
}


void TZiduzUvView::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (auto* v = dynamic_cast<TZiduzUvView*>(Source)) {
    if (v == this) return;
    FIEBitmap->Assign(v->GetIEBitmap());
    TIEView::SetBackground(v->Background());
    SetDpi(v->DpiX(), v->DpiY());
    Update();
    ImageChange();
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) Assign(b);
}

void TZiduzUvView::Assign(TBitmap* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  FIEBitmap->CopyFromTBitmap(Source);
  // The view shows 1-bit pictures as they are and everything else in 24 bits.
  if (FIEBitmap->PixelFormat() != ie1g && FIEBitmap->PixelFormat() != ie24RGB && !FIEBitmap->IsEmpty())
    FIEBitmap->ConvertToPixelFormat(ie24RGB);
  Update();
  ImageChange();
}

void TZiduzUvView::CopySelectionToBitmap(TIEBitmap* Dest, bool OnBackground) {
  if (OnBackground)
    FIEBitmap->CopySelectionOnBackgroundTo(Dest, FSelectionMask.get(), ColorToRGB(Background()));
  else
    FIEBitmap->CopySelectionTo(Dest, FSelectionMask.get());
}

void TZiduzUvView::CopySelectionTo(TZiduzUvView* Dest) {
  if (Dest == nullptr || Dest == this) return;
  if (!FSelected)
    Dest->FIEBitmap->Assign(FIEBitmap);
  else
    CopySelectionToBitmap(Dest->FIEBitmap, true);
  Dest->TIEView::SetBackground(Background());
  Dest->SetDpi(DpiX(), DpiY());
  Dest->Update();
  Dest->ImageChange();
}

void TZiduzUvView::CopySelectionTo(TBitmap* Dest) {
  if (Dest == nullptr) return;
  if (!FSelected) {
    if (TBitmap* b = GetBitmap()) Dest->Assign(b);
  } else {
    TIEBitmap part;
    CopySelectionToBitmap(&part, true);
    if (part.PixelFormat() != ie1g && part.PixelFormat() != ie24RGB) part.ConvertToPixelFormat(ie24RGB);
    Dest->SetPixelFormat(part.PixelFormat() == ie1g ? pf1bit : pf24bit);
    Dest->SetSize(part.Width(), part.Height());
    const size_t rowBytes = static_cast<size_t>(IEBitmapRowLen(part.Width(), part.BitCount(), 32));
    for (Integer y = 0; y < part.Height(); ++y) std::memcpy(Dest->ScanLine(y), part.GetScanline(y), rowBytes);
  }
  Dest->SetModified(true);
}

void TZiduzUvView::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  TIEView::SetBounds(ALeft, ATop, AWidth, AHeight);
  const TComponentState s = ComponentState();
  if (s.Contains(csReading) || s.Contains(csLoading) || s.Contains(csDesigning)) {
    const TIEPixelFormat pf = FIEBitmap->PixelFormat() == ieNone ? ie24RGB : FIEBitmap->PixelFormat();
    FIEBitmap->Allocate(std::max(Width(), 0), std::max(Height(), 0), pf);
    Clear();
  }
}

void TZiduzUvView::Notification(TComponent* AComponent, TOperation Operation) {
  TIEView::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr && AComponent == FNavigator) FNavigator = nullptr;
}

bool TZiduzUvView::HasParentWindow() { return TIEView::HasParentWindow(); }

Integer TZiduzUvView::GetViewWidth() { return HasParentWindow() && HandleAllocated() ? ClientWidth() : 50; }
Integer TZiduzUvView::GetViewHeight() { return HasParentWindow() && HandleAllocated() ? ClientHeight() : 50; }

// ---------------------------------------------------------------------------
// Pictures from workers

void TZiduzUvView::DeliverDecodedBitmap(std::unique_ptr<TIEBitmap> Decoded) {
  if (!Decoded) return;
  {
    std::lock_guard lock(FPendingLock);
    FPendingBitmap = std::move(Decoded);
  }
  PostIOMessage(IEM_UPDATE, 0, 0);
}

bool TZiduzUvView::HasPendingBitmap() {
  std::lock_guard lock(FPendingLock);
  return FPendingBitmap != nullptr;
}

void TZiduzUvView::SwapInPendingBitmap() {
  std::unique_ptr<TIEBitmap> p;
  {
    std::lock_guard lock(FPendingLock);
    p = std::move(FPendingBitmap);
  }
  if (!p) return;
  // The current image object stays (companions hold it); its storage is
  // replaced on this, the painting, thread.
  p->MoveStorageTo(FIEBitmap);
  ImageChange();
}

// ---------------------------------------------------------------------------
// Messages

void TZiduzUvView::WndProc(TMessage& M) {
  switch (M.Msg) {
    case WM_ERASEBKGND:
      M.Result = 0;
      return;
    case IEM_UPDATE:
      SwapInPendingBitmap();
      Update();
      return;
    case IEM_NEWFRAME:
      if (auto* src = reinterpret_cast<TIEVideoNotifier*>(M.LParam)) {
        src->SetNotifyNewFrames(false);
        if (src->IsConnected() && OnDShowNewFrame) OnDShowNewFrame(this);
        src->SetNotifyNewFrames(true);
      }
      return;
    case IEM_EVENT:
      if (auto* src = reinterpret_cast<TIEVideoNotifier*>(M.LParam))
        if (src->IsConnected() && OnDShowEvent) OnDShowEvent(this);
      return;
    case IEM_PROGRESS:
      if (FOnProgress) FOnProgress(this, static_cast<Integer>(M.WParam));
      return;
    case IEM_FINISHWORK:
      if (FOnFinishWork) FOnFinishWork(this);
      return;
    default: break;
  }
  TIEView::WndProc(M);
  switch (M.Msg) {
    case WM_SIZE:
      // A size change caused by the layout itself (a scroll bar appearing)
      // is handled by the running update.
      if (!FUpdating) {
        if (FTransition) FTransition->Stop();
        FUpdateReason = urSize;
        Update();
      }
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); break;
    case WM_HSCROLL: WMHScroll(M); break;
    case WM_VSCROLL: WMVScroll(M); break;
    case WM_MOUSEWHEEL: WMMouseWheelAction(M); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// Update

void TZiduzUvView::Update() {
  if (FUpdateLockCount > 0) return;
  const TComponentState s = ComponentState();
  if (s.Contains(csDesigning)) return;
  TComponentState only = s;
  only.Exclude(csFreeNotification);
  if (!only.Empty()) return;
  const bool wasUpdating = FUpdating;
  FUpdating = true;
  try {
    DoUpdate();
  } catch (...) {
    FUpdateReason = urNone;
    FUpdating = wasUpdating;
    throw;
  }
  FUpdateReason = urNone;
  // A nested update leaves the outer one running.
  FUpdating = wasUpdating;
}

void TZiduzUvView::DoUpdate() {
  DropLayerCaches();
  // The layer list's view of the picture.
  SyncLayers();
  if (FAutoFit || FAutoStretch || FAutoShrink) AutoZoom();
  FitSelectionMaskAndAlpha();
  if (HandleAllocated()) {
    if (!ComponentState().Contains(csDesigning) && HasParentWindow()) {
      const Integer w = GetViewWidth(), h = GetViewHeight();
      FLastViewWidth = w;
      FLastViewHeight = h;
      ClampOrigin();
      try {
        LayoutScrollBars();
      } catch (...) {
        // A failing scroll bar must not break the layout.
      }
      if ((GetViewWidth() != w || GetViewHeight() != h) && !FNestedUpdate) {
        FNestedUpdate = true;
        try {
          Update();
        } catch (...) {
          FNestedUpdate = false;
          throw;
        }
        FNestedUpdate = false;
      }
    }
    ComputeImageExtent();
    FBackBufferDirty = true;
    FPaintAll = true;
    if (HasParentWindow()) Invalidate();
    UpdateNavigator();
  }
  ++FUpdateCount;
}

void TZiduzUvView::FitSelectionMaskAndAlpha() {
  if (FImageWidth == FLastImageWidth && FImageHeight == FLastImageHeight) return;
  FLastImageWidth = FImageWidth;
  FLastImageHeight = FImageHeight;
  if (FSelectionMask->Width() != FImageWidth || FSelectionMask->Height() != FImageHeight) {
    if (FSelected) {
      FSelectionMask->Resize(FImageWidth, FImageHeight);
      FSelectionMask->SyncFull();
      FSelectionMask->SyncRect();
    } else {
      FSelectionMask->AllocateBits(FImageWidth, FImageHeight, 1);
    }
  }
  if (FIEBitmap->HasAlphaChannel()) {
    TIEBitmap* a = FIEBitmap->GetAlphaChannel();
    if (a && (a->Width() != FIEBitmap->Width() || a->Height() != FIEBitmap->Height())) {
      a->Allocate(FIEBitmap->Width(), FIEBitmap->Height(), ie8g);
      a->Fill(255);
    }
  }
}
