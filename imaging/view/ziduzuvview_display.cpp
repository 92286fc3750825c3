// The display pipeline of the single-image view: the window paint, the back
// buffer and its copy to the window, the layer-0 compositing into the back
// buffer over the background, the overlays (grid, version text, hint), the
// delayed zoom filter with its fast frames, and the start of transitions.
//
// The view never draws the picture straight to the window: changes mark the
// back buffer dirty, the paint re-renders it only then and copies the
// exposed rectangle.
#include <algorithm>
#include <cstring>

#include "imaging/core/render/ierender.h"
#include "imaging/core/render/ierendercanvas.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/drawdib.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/winuser.h"

namespace {

// Interval of the outline timer, which also runs the delayed filter down.
constexpr Cardinal kOutlineInterval = 210;

// Restricts a device context's drawing to a rectangle for a scope.
class TClipScope {
 public:
  TClipScope(HDC DC, const TRect* ClipInclusive) : FDC(DC) {
    if (!ClipInclusive || !DC) return;
    FSaved = SaveDC(DC);
    IntersectClipRect(DC, ClipInclusive->Left, ClipInclusive->Top, ClipInclusive->Right + 1,
                      ClipInclusive->Bottom + 1);
  }
  ~TClipScope() {
    if (FSaved) RestoreDC(FDC, FSaved);
  }
  TClipScope(const TClipScope&) = delete;
  TClipScope& operator=(const TClipScope&) = delete;

 private:
  HDC FDC;
  Integer FSaved = 0;
};

}  // namespace

TIEBackBufferCopy IEBackBufferCopyPath(bool UseDrawDib, Integer ScreenBitsPerPixel, bool RemoteSession,
                                       bool ShadedNavigator) {
  if ((UseDrawDib || ScreenBitsPerPixel <= 8) && !RemoteSession) return iebcDrawDib;
  if (ScreenBitsPerPixel <= 23 && !RemoteSession) return iebcHalftone;
  if (ShadedNavigator) return iebcShaded;
  return iebcBlockCopy;
}

// ---------------------------------------------------------------------------
// Hooks called by the update and the geometry

void TZiduzUvView::DropLayerCaches() {
  // Layers are drawn straight from their pictures through the coordinate
  // maps; the only cached copy is the alpha composed with a mask layer,
  // which may no longer match the layers' pictures or positions.
  DropAllMaskCaches();
}

void TZiduzUvView::PaintNow() {
  // A synchronous repaint of the whole client area (the update of the base
  // control would run this view's layout instead).
  if (!HandleAllocated() || !HasParentWindow()) return;
  InvalidateRect(Handle(), nullptr, FALSE);
  UpdateWindow(Handle());
}

// ---------------------------------------------------------------------------
// Window paint

void TZiduzUvView::Paint() {
  if (!HandleAllocated() || !HasParentWindow()) return;
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  if (vw == 0 || vh == 0) return;
  TCanvas* canvas = Canvas();
  try {
    if (ComponentState().Contains(csDesigning)) {
      IEDrawBackground(ComponentState(), canvas, nullptr, FBackgroundStyle, Background(), 0, 0, Width(), Height(),
                       0, 0, 0, 0, FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(),
                       FWallPaperStyle);
    } else {
      // The visible area and the table cursors, as the drawing needs them.
      ComputeVisibleArea();
      RebuildCoordinateTables();
      if (FPaintLockCount == 0) {
        TRect r(0, 0, vw, vh);
        if (!FPaintAll) {
          r = canvas->ClipRect();
          if (r.Right == 0 || r.Bottom == 0) {
            r.Right = vw;
            r.Bottom = vh;
          }
        }
        PaintBackBufferTo(r);
        if (OnDrawCanvas) OnDrawCanvas(this, canvas, TRect(0, 0, vw, vh));
      }
      FPaintAll = false;
      // The selection outline goes over the copied picture; the end of its
      // pass runs the delayed filter and the fast frames down.
      DrawSelectionOutline(this, false);
      FinishOutlinePass();
      if (OnPaint) OnPaint(this);
    }
  } catch (...) {
    // The overlays and the cursor below still run.
  }
  if (FDrawVersion) IEDrawVersionText(canvas, vw, vh, IEZiduzUvVersion);
  if (!FHintText.empty() && FEnableInteractionHints) {
    Integer x = FHintPos.X, y = FHintPos.Y;
    IEDrawInfoBox(canvas, x, y, FHintText, FHintSample);
  }
  // No video source renders into a view in this system, so there is no
  // video rectangle to place.
  if (FOwnerPresent && FCursorPending) {
    SetCursor(Cursor());
    FCursorPending = false;
  }
}

// ---------------------------------------------------------------------------
// Back buffer

void TZiduzUvView::PaintBackBufferTo(const TRect& R) {
  if (!HasParentWindow() || !FBackBuffer) return;
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  if (vw <= 0 || vh <= 0) return;
  bool fresh = false;
  if (FBackBuffer->Width() != vw || FBackBuffer->Height() != vh || FBackBuffer->PixelFormat() != ie24RGB) {
    // Held as a platform bitmap, so the background painter and the copy to
    // the window work on the same pixels the renderer writes.
    if (FBackBuffer->Location() != ieTBitmap) FBackBuffer->SetLocation(ieTBitmap);
    if (!FBackBuffer->Allocate(vw, vh, ie24RGB)) return;
    FBackBufferRows.reset();
    FBackBufferDirty = true;
    fresh = true;
  }
  if (FBackBufferDirty) {
    // New storage holds nothing worth keeping, so it is rendered whole even
    // when only a part of the window is exposed; so is an empty rectangle.
    TRect clip(std::max(R.Left, 0), std::max(R.Top, 0), std::min(R.Right, vw) - 1, std::min(R.Bottom, vh) - 1);
    if (fresh || clip.Right < clip.Left || clip.Bottom < clip.Top) clip = TRect(0, 0, vw - 1, vh - 1);
    DrawLayers(FBackBuffer.get(), &FBackBufferRows, &clip, true, true);
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    FBackBufferDirty = false;
  }

  BITMAPINFOHEADER hdr;
  hdr.biSize = 40;
  hdr.biWidth = vw;
  hdr.biHeight = vh;
  hdr.biPlanes = 1;
  hdr.biBitCount = FBackBuffer->PixelFormat() == ie1g ? 1 : 24;
  hdr.biCompression = 0;
  std::memset(FDibHeader, 0, sizeof FDibHeader);
  if (hdr.biBitCount == 1) {
    const RGBQUAD white{255, 255, 255, 0};
    std::memcpy(FDibHeader + 40 + 4, &white, 4);
  }

  const Integer x = R.Left, y = R.Top;
  const Integer w = std::min(R.Width(), vw), h = std::min(R.Height(), vh);
  if (w > 0 && h > 0) {
    HDC dst = Canvas()->Handle();
    TBitmap* bb = FBackBuffer->GetVclBitmap();
    bool copied = false;
    switch (IEBackBufferCopyPath(FUseDrawDib, IEScreenBitsPerPixel, IERemoteSession,
                                 FIsNavigator && (FNavigatorOptions & 2) != 0)) {
      case iebcDrawDib: {
        // The rows must form one DIB block: bottom-up as the header says,
        // or top-down with a negative height.
        const auto* r0 = static_cast<const Byte*>(FBackBuffer->GetScanline(0));
        const int64_t dibRow = (int64_t(vw) * hdr.biBitCount + 31) / 32 * 4;
        const int64_t step = vh > 1 ? static_cast<const Byte*>(FBackBuffer->GetScanline(1)) - r0 : dibRow;
        const void* bits = nullptr;
        if (step == -dibRow) {
          bits = FBackBuffer->GetScanline(vh - 1);
        } else if (step == dibRow) {
          bits = r0;
          hdr.biHeight = -vh;
        }
        if (bits) {
          if (!FDrawDibHandle) FDrawDibHandle = IEDrawDibOpen();
          copied = IEDrawDibDraw(static_cast<HDRAWDIB>(FDrawDibHandle), dst, x, y, w, h, &hdr, bits, x, y, w, h,
                                 0) != FALSE;
        }
        break;
      }
      case iebcHalftone:
        SetStretchBltMode(dst, HALFTONE);
        copied = StretchBlt(dst, x, y, w, h, bb->Canvas()->Handle(), x, y, w, h, SRCCOPY) != FALSE;
        break;
      case iebcShaded:  // the frame of the shading comes with the navigator's selection; copied plainly
      case iebcBlockCopy: break;
    }
    if (!copied) BitBlt(dst, x, y, w, h, bb->Canvas()->Handle(), x, y, SRCCOPY);
  }
  std::memcpy(FDibHeader, &hdr, 40);
  FLastCopyWindow = Handle();
}

TBitmap* TZiduzUvView::GetBackBufferBitmap() { return FBackBuffer ? FBackBuffer->GetVclBitmap() : nullptr; }

void TZiduzUvView::InvalidateRectDirty(const TRect& R) {
  FBackBufferDirty = true;
  if (HandleAllocated()) InvalidateRect(Handle(), &R, FALSE);
}

void TZiduzUvView::CopyDisplayedImageTo(TCanvas* ACanvas) {
  if (!ACanvas || !FBackBuffer) return;
  TBitmap* bb = FBackBuffer->GetVclBitmap();
  BitBlt(ACanvas->Handle(), 0, 0, FVisibleWidth, FVisibleHeight, bb->Canvas()->Handle(), FOffsetX, FOffsetY,
         SRCCOPY);
}

void TZiduzUvView::PaintBackgroundTo(TCanvas* ACanvas) {
  if (!ACanvas) return;
  IEDrawBackground(ComponentState(), ACanvas, nullptr, FBackgroundStyle, Background(), 0, 0, Width(), Height(), 0,
                   0, 0, 0, FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(),
                   FWallPaperStyle);
}

void TZiduzUvView::SetChessboardStyle(Integer Size, TBrushStyle BrushStyle) {
  FChessboardSize = Size;
  FChessboardBrushStyle = BrushStyle;
}

void TZiduzUvView::DrawGrid(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  IEDrawGrid(Canvas(), FGridDivisions, X1, Y1, X2, Y2);
}

// ---------------------------------------------------------------------------
// Compositing

void TZiduzUvView::PaintLayersBackground(TIEBitmap* Target, const TRect* Clip) {
  const Integer tw = Target->Width(), th = Target->Height();
  TBitmap* tb = Target->GetVclBitmap();
  TCanvas* c = tb->Canvas();
  if (OnDrawBackground) {
    bool handled = false;
    {
      TClipScope scope(c->Handle(), Clip);
      OnDrawBackground(this, c, TRect(0, 0, tw, th), handled);
    }
    if (handled) {
      Target->SyncWithTBitmap();
      return;
    }
  }
  // Where the picture lies: what the layer drawing will actually cover.
  Integer ix1 = 0, iy1 = 0, ix2 = 0, iy2 = 0;
  if (FImageWidth > 0 && FImageHeight > 0) {
    ix1 = FOffsetX;
    iy1 = FOffsetY;
    ix2 = FOffsetX + std::min(FExtentX, FVisibleWidth);
    iy2 = FOffsetY + std::min(FExtentY, FVisibleHeight);
  }
  const bool partial = Clip && (Clip->Left > 0 || Clip->Top > 0 || Clip->Right < tw - 1 || Clip->Bottom < th - 1);
  if (!partial) {
    IEDrawBackground(ComponentState(), c, tb, FBackgroundStyle, Background(), 0, 0, tw, th, ix1, iy1, ix2, iy2,
                     FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(), FWallPaperStyle);
    Target->SyncWithTBitmap();
    return;
  }
  // A part only: some styles write rows directly, past any canvas clip, so
  // the background is painted whole aside and the clipped part copied in.
  if (!FBackgroundScratch) {
    FBackgroundScratch = std::make_unique<TBitmap>();
    FBackgroundScratch->SetPixelFormat(pf24bit);
  }
  TBitmap* s = FBackgroundScratch.get();
  if (s->Width() != tw || s->Height() != th) s->SetSize(tw, th);
  IEDrawBackground(ComponentState(), s->Canvas(), s, FBackgroundStyle, Background(), 0, 0, tw, th, ix1, iy1, ix2,
                   iy2, FChessboardSize, FChessboardBrushStyle, FGradientEndColor, FWallPaper.get(),
                   FWallPaperStyle);
  Target->SyncWithTBitmap();
  const Integer x1 = std::max(Clip->Left, 0), x2 = std::min(Clip->Right, tw - 1);
  const Integer y1 = std::max(Clip->Top, 0), y2 = std::min(Clip->Bottom, th - 1);
  if (x2 < x1) return;
  const size_t n = size_t(x2 - x1 + 1) * 3;
  for (Integer y = y1; y <= y2; ++y)
    std::memcpy(static_cast<Byte*>(Target->GetScanline(y)) + size_t(x1) * 3,
                static_cast<const Byte*>(s->ScanLine(y)) + size_t(x1) * 3, n);
}

void TZiduzUvView::DrawLayers(TIEBitmap* Target, std::unique_ptr<TIERowTable>* RowCache, const TRect* Clip,
                              bool DrawBackground, bool DrawDecorations) {
  if (!Target || Target->IsEmpty() || Target->PixelFormat() != ie24RGB) return;
  SyncLayers();
  ComputeVisibleArea();
  RebuildCoordinateTables();
  if (ComponentState().Contains(csDesigning)) return;
  // Nothing to composite: still paint the background, or the target would
  // keep whatever it showed before (the previous picture, or zeros).
  const bool alphaMismatch = FIEBitmap->HasAlphaChannel() &&
                             (FIEBitmap->GetAlphaChannel()->Width() != FIEBitmap->Width() ||
                              FIEBitmap->GetAlphaChannel()->Height() != FIEBitmap->Height());
  if (FImageWidth <= 0 || FImageHeight <= 0 || alphaMismatch) {
    if (DrawBackground) PaintLayersBackground(Target, Clip);
    return;
  }

  Integer clip4[4] = {0, 0, 0, 0};
  if (Clip) {
    clip4[0] = Clip->Left;
    clip4[1] = Clip->Top;
    clip4[2] = Clip->Right;
    clip4[3] = Clip->Bottom;
  }
  std::unique_ptr<TIERowTable> ownRows;
  std::unique_ptr<TIERowTable>& rows = RowCache ? *RowCache : ownRows;
  // A cache made for storage that has since moved is dropped.
  if (rows && (rows->size() != size_t(Target->Height()) || rows->front() != Target->GetScanline(0) ||
               rows->back() != Target->GetScanline(Target->Height() - 1)))
    rows.reset();

  bool first = true;
  for (Integer i = 0; i < LayersCount(); ++i) {
    TIELayer* layer = FLayers[size_t(i)].get();
    TIEBitmap* bmp = layer->Bitmap;
    if (!bmp || !layer->Visible || FVisibleWidth <= 0 || FVisibleHeight <= 0) continue;
    if (bmp->Width() < 2 && bmp->Height() < 2) continue;
    const bool sizeOverride = layer->Width != 0 || layer->Height != 0;
    const bool fastPath = FLayersSync || (LayersCount() == 1 && !sizeOverride && layer->PosX == 0 && layer->PosY == 0);
    // Layers placed, sized, masked or rotated on their own take the
    // per-layer placement.
    if (!fastPath) {
      DrawPlacedLayer(Target, rows, Clip, i, first, DrawBackground, DrawDecorations);
      continue;
    }

    if (first && DrawBackground) {
      const bool opaque = !FEnableAlphaChannel || !bmp->HasAlphaChannel() || bmp->GetAlphaChannel()->Full();
      const bool covers = FOffsetX <= 0 && FOffsetY <= 0 && FOffsetX + FVisibleWidth >= Target->Width() &&
                          FOffsetY + FVisibleHeight >= Target->Height();
      if (!(covers && opaque && layer->Transparency == 255)) PaintLayersBackground(Target, Clip);
      if (rows && rows->front() != Target->GetScanline(0)) rows.reset();
    }
    const TResampleFilter filter =
        FFilterDelayCount < 1 && (sizeOverride || FZoomX != 100 || FZoomY != 100) ? FZoomFilter : rfNone;

    // The columns and rows under the visible window, from the view's tables.
    if (!FDrawXMap) FDrawXMap = std::make_unique<TIEMapTable>();
    if (!FDrawYMap) FDrawYMap = std::make_unique<TIEMapTable>();
    FDrawXMap->resize(size_t(FVisibleWidth));
    FDrawYMap->resize(size_t(FVisibleHeight));
    for (Integer k = 0; k < FVisibleWidth; ++k) {
      const size_t t = size_t(FClientCursorX) + size_t(k);
      (*FDrawXMap)[size_t(k)] = t < FZoomedToBmpX.size() ? FZoomedToBmpX[t] : FVisibleBmpX;
    }
    for (Integer k = 0; k < FVisibleHeight; ++k) {
      const size_t t = size_t(FClientCursorY) + size_t(k);
      (*FDrawYMap)[size_t(k)] = t < FZoomedToBmpY.size() ? FZoomedToBmpY[t] : FVisibleBmpY;
    }
    RenderToTIEBitmapEx(*bmp, Target, rows, FDrawXMap, FDrawYMap, Clip ? clip4 : nullptr, FOffsetX, FOffsetY,
                        FVisibleWidth, FVisibleHeight, FVisibleBmpX, FVisibleBmpY, FVisibleBmpWidth,
                        FVisibleBmpHeight, FEnableAlphaChannel, first && FBackgroundStyle == iebsSolid,
                        layer->Transparency, filter, false, 0);
    layer->ClientAreaBox = TRect(FOffsetX, FOffsetY, FOffsetX + std::min(FExtentX, FVisibleWidth),
                                 FOffsetY + std::min(FExtentY, FVisibleHeight));
    const Integer drawn[8] = {FOffsetX,    FOffsetY,    FVisibleWidth,    FVisibleHeight,
                              FVisibleBmpX, FVisibleBmpY, FVisibleBmpWidth, FVisibleBmpHeight};
    std::copy(drawn, drawn + 8, layer->DrawnRect);
    if (DrawDecorations) DrawLayerDecorations(Target, Clip, i);
    first = false;
  }
  DrawLayersCropping(Target, Clip);
  if (first && DrawBackground) PaintLayersBackground(Target, Clip);
  if (!DrawDecorations) return;
  DrawSelectionOverlay(Target);

  // Pixel grid over the current layer from the grid threshold on.
  TIELayer* cur = FLayers[size_t(std::clamp(FCurrentLayer, 0, LayersCount() - 1))].get();
  if (FPixelGrid && cur->Visible && !first && (FZoomX >= IEPixelGridThreshold || FZoomY >= IEPixelGridThreshold) &&
      (FImageWidth > 1 || FImageHeight >= 2)) {
    const Integer* d = cur->DrawnRect;
    const Integer dx = d[0], dy = d[1], dw = d[2], dh = d[3], sw = d[6], sh = d[7];
    if (sw > 0 && sh > 0) {
      TCanvas* c = Target->GetCanvas();
      TClipScope scope(c->Handle(), Clip);
      TPen keep;
      keep.Assign(c->Pen());
      // The shared pen of the start-up: solid, width 1, inverting.
      if (IEPixelGridPen) c->Pen()->Assign(IEPixelGridPen);
      c->Pen()->SetMode(pmNot);
      c->Pen()->SetStyle(psSolid);
      c->Pen()->SetWidth(1);
      for (Integer i = 0; i <= sw; ++i) {
        const Integer x = dx + Integer(Round(double(i) * dw / sw));
        c->MoveTo(x, dy);
        c->LineTo(x, dy + dh);
      }
      for (Integer i = 0; i <= sh; ++i) {
        const Integer y = dy + Integer(Round(double(i) * dh / sh));
        c->MoveTo(dx, y);
        c->LineTo(dx + dw, y);
      }
      if (FHighlightedPixel.X >= 0 && FHighlightedPixel.Y >= 0) {
        c->Pen()->SetMode(pmCopy);
        c->Pen()->SetColor(0x0000FF);
        c->Pen()->SetWidth(2);
        c->Brush()->SetStyle(bsClear);
        c->RoundRect(ImageToClientX(FHighlightedPixel.X), ImageToClientY(FHighlightedPixel.Y),
                     ImageToClientX(FHighlightedPixel.X + 1), ImageToClientY(FHighlightedPixel.Y + 1), 5, 5);
        c->Brush()->SetStyle(bsSolid);
      }
      c->Pen()->Assign(&keep);
      Target->SyncWithTBitmap();
    }
  }
}

// ---------------------------------------------------------------------------
// Delayed filter and fast frames

void TZiduzUvView::FinishOutlinePass() {
  if (FOwnerPresent || HasParentWindow()) {
    const bool animated = FSelected && FSelectionVisible && FSelectionOptions.Contains(iesoAnimated);
    // The timer must keep running while either count is above 0, or the
    // filtered redraw would never come.
    const bool needed = FFilterDelayCount > 0 || FFastFramesCount > 0 || animated;
    if (needed && !FOutlineTimer) {
      FOutlineTimer = std::make_unique<TTimer>(nullptr);
      FOutlineTimer->SetEnabled(false);
      FOutlineTimer->SetInterval(kOutlineInterval);
      FOutlineTimer->OnTimer = [this](TObject* Sender) { OutlineTimerTick(Sender); };
    }
    if (FOutlineTimer && FOutlineTimer->Enabled() != needed) FOutlineTimer->SetEnabled(needed);
  }
  if (FFilterDelayCount > 0) {
    --FFilterDelayCount;
    // Now the picture is drawn with the filter.
    if (FFilterDelayCount == 0) Update();
  }
  if (FFastFramesCount > 0) --FFastFramesCount;
}

void TZiduzUvView::OutlineTimerTick(TObject* Sender) {
  DrawSelectionOutline(Sender, true);
  FinishOutlinePass();
}

bool TZiduzUvView::OutlineTimerEnabled() const { return FOutlineTimer && FOutlineTimer->Enabled(); }

// ---------------------------------------------------------------------------
// Transitions

void TZiduzUvView::CaptureTransitionStart() {
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  if (vw == 0 || vh == 0) return;
  TIETransitionEffects* t = GetTransition();
  t->SetSizes(vw, vh);
  TIEBitmap frame;
  frame.EncapsulateTBitmap(t->StartFrame(), true);
  DrawLayers(&frame, nullptr, nullptr, true, true);
}

void TZiduzUvView::RunTransition(TIETransitionType Effect, Integer Duration) {
  const Integer vw = GetViewWidth(), vh = GetViewHeight();
  if (vw == 0 || vh == 0) return;
  TIETransitionEffects* t = GetTransition();
  FTransitionType = Effect;
  FTransitionDuration = Duration < 1 ? 1 : Duration;
  t->SetTransitionType(Effect);
  t->SetDuration(FTransitionDuration);
  {
    TIEBitmap frame;
    frame.EncapsulateTBitmap(t->EndFrame(), true);
    DrawLayers(&frame, nullptr, nullptr, true, true);
  }
  t->SetFullImage(FIEBitmap);
  t->Run(true);
  if (Effect == iettPanZoom) ZoomToRect(t->PanZoomEndRect);
  FTransitionType = 0;
}
