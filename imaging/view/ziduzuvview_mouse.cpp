// Mouse and keyboard on the single-image view: which interactions the view
// allows, and what a press, a move and a release do for zooming, scrolling,
// selecting and for moving, resizing and rotating layers; the cursors that
// tell what a press would do, automatic scrolling and the gliding scroll.
#include <algorithm>
#include <cmath>

#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/base/ieutils.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/base/strutils.h"
#include "platform/ui/forms.h"

namespace {

const TIEMouseInteractItems kSelectionItems[] = {miSelect,          miSelectPolygon, miSelectCircle,
                                                 miSelectZoom,      miSelectMagicWand, miSelectLasso};
const TIEMouseInteractItems kLayerItems[] = {miMoveLayers, miResizeLayers, miRotateLayers};

void RemoveSelectionItems(TIEMouseInteract& S, TIEMouseInteractItems Keep) {
  for (auto i : kSelectionItems)
    if (i != Keep) S.Exclude(i);
}
void RemoveLayerItems(TIEMouseInteract& S) {
  for (auto i : kLayerItems) S.Exclude(i);
}
TIEMouseInteract Only(const TIEMouseInteract& S, std::initializer_list<TIEMouseInteractItems> Keep) {
  TIEMouseInteract r;
  for (auto i : Keep)
    if (S.Contains(i)) r.Include(i);
  return r;
}

Integer TruncInt(double V) {
  if (!std::isfinite(V)) return 0;
  return static_cast<Integer>(std::clamp(std::trunc(V), -2147483648.0, 2147483647.0));
}

}  // namespace

// ---------------------------------------------------------------------------
// The interaction set

TIEMouseInteract IEMouseInteractRules(const TIEMouseInteract& Old, TIEMouseInteract New) {
  auto added = [&](TIEMouseInteractItems i) { return New.Contains(i) && !Old.Contains(i); };
  if (added(miScroll)) {
    RemoveSelectionItems(New, TIEMouseInteractItems(255));
    RemoveLayerItems(New);
  } else if (added(miSelect) || added(miSelectCircle) || added(miSelectLasso) || added(miSelectZoom)) {
    TIEMouseInteractItems keep = miSelect;
    if (added(miSelect)) keep = miSelect;
    else if (added(miSelectCircle)) keep = miSelectCircle;
    else if (added(miSelectLasso)) keep = miSelectLasso;
    else keep = miSelectZoom;
    New.Exclude(miScroll);
    RemoveSelectionItems(New, keep);
    RemoveLayerItems(New);
  } else if (added(miSelectPolygon)) {
    New = Only(New, {miSelectPolygon, miMovingScroll});
  } else if (added(miZoom)) {
    New.Exclude(miSelectPolygon);
    New.Exclude(miSelectMagicWand);
    RemoveLayerItems(New);
  } else if (added(miSelectMagicWand)) {
    New = Only(New, {miSelectMagicWand, miMovingScroll});
  } else if (New.Contains(miRotateLayers)) {
    New = Only(New, {miRotateLayers, miMoveLayers, miMovingScroll});
  } else if (New.Contains(miMoveLayers)) {
    New.Exclude(miZoom);
    New.Exclude(miScroll);
    RemoveSelectionItems(New, TIEMouseInteractItems(255));
    if (New.Contains(miResizeLayers)) New.Exclude(miRotateLayers);
  } else if (New.Contains(miResizeLayers)) {
    New.Exclude(miZoom);
    New.Exclude(miScroll);
    RemoveSelectionItems(New, TIEMouseInteractItems(255));
    New.Exclude(miRotateLayers);
  }
  return New;
}

void TZiduzUvView::SetMouseInteract(TIEMouseInteract Value) {
  if (Value == FMouseInteract) return;
  if (FPolygonSelecting && !FLassoSelecting && FMouseInteract.Contains(miSelectPolygon)) {
    RemoveLastPolygonPoint(FCurrentPolygon);
    FSelectionMask->Clear();
    EndSelection();
    FPolygonSelecting = false;
    Invalidate();
  }
  FMouseInteract = IEMouseInteractRules(FMouseInteract, Value);
}

// ---------------------------------------------------------------------------
// Cursors and hints

void TZiduzUvView::SetCursor(TCursor Value) {
  FRestingCursor = Value;
  TIEView::SetCursor(Value);
}

void TZiduzUvView::SetTempCursor(TCursor Value) {
  if (!FOwnerPresent) return;
  TIEView::SetCursor(Value);
}

void TZiduzUvView::RestoreCursor() { SetTempCursor(FRestingCursor); }

void TZiduzUvView::SetHint(const WideString& Text, Integer X, Integer Y, const WideString& Sample) {
  FHintText = Text;
  FHintPos = TPoint(X, Y);
  FHintSample = Sample;
}

static TCursor AddVariant(TCursor C) { return C == 1785 ? 1791 : C == 1793 ? 1794 : C; }

void TZiduzUvView::KeyDown(Word& Key, TShiftState Shift) {
  TIEView::KeyDown(Key, Shift);
  if (Shift.Contains(ssShift)) SetTempCursor(AddVariant(Cursor()));
}

void TZiduzUvView::KeyUp(Word& Key, TShiftState Shift) {
  TIEView::KeyUp(Key, Shift);
  if (!Shift.Contains(ssShift)) RestoreCursor();
}

static TCursor GripCursor(TIEGrip G) {
  switch (G) {
    case ieTopRight:
    case ieBottomLeft: return 1788;
    case ieLeftSide:
    case ieRightSide: return 1789;
    case ieTopSide:
    case ieBottomSide: return 1787;
    case ieTopLeft:
    case ieBottomRight: return 1786;
    default: return 1785;
  }
}

// ---------------------------------------------------------------------------
// Press, move, release

TPoint TZiduzUvView::ClampToLayerBox(Integer X, Integer Y) {
  const TRect& b = GetCurrentLayer()->ClientAreaBox;
  return TPoint(std::clamp(X, b.Left, std::max(b.Left, b.Right + 1)),
                std::clamp(Y, b.Top, std::max(b.Top, b.Bottom + 1)));
}

Integer TZiduzUvView::SelectionMoveHit(Integer X, Integer Y, bool Shift) {
  if (Shift || FSelectionMask->IsEmpty() || FRectSelecting || FPolygonSelecting || FCircleSelecting) return -1;
  if (!FSelectionMask->IsPointInside(SelToBitmapX(X), SelToBitmapY(Y))) return -1;
  return FSelectionOptions.Contains(iesoMoveable) ? 0 : -1;
}

void TZiduzUvView::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TIEView::MouseDown(Button, Shift, X, Y);
  // The press that comes with a double click which just closed a polygon
  // would start a new one with a stray point.
  if (Shift.Contains(ssDouble) && FPolygonJustEnded) {
    FPolygonJustEnded = false;
    return;
  }
  FPolygonJustEnded = false;
  FRestoreZoomFilter = FZoomFilter;
  if (Button == mbRight && FLeftDown) return;
  if (Button != mbLeft && !FMouseInteract.Contains(miZoom) &&
      !(Button == mbRight && FSelectionOptions.Contains(iesoRightButtonSelectLayers)))
    return;
  if (Button == mbLeft) FLeftDown = true;
  if (!FMouseInteract.Contains(miScroll) && FDelayZoomFilter) FZoomFilter = rfNone;
  FSavedSelectionBase = FSelectionBase;
  FSelectionBase = iesbClientArea;
  FInteracting = true;
  struct TBack {
    TZiduzUvView* V;
    ~TBack() {
      V->FSelectionBase = V->FSavedSelectionBase;
      V->FInteracting = false;
    }
  } back{this};
  const bool shift = Shift.Contains(ssShift), alt = Shift.Contains(ssAlt);
  FPressArea = TPoint(std::clamp(X, FOffsetX, FOffsetX + FExtentX), std::clamp(Y, FOffsetY, FOffsetY + FExtentY));
  FPressPos = ClampToLayerBox(X, Y);
  FPressRaw = FLastRaw = TPoint(X, Y);
  FLastPos = FBand = FPressPos;
  FPressView = TPoint(FViewX, FViewY);
  FPressPolygonCount = GetSelectionPolygonCount();
  FPressButton = Button;
  FPressShift = shift;
  auto event = [&](TNotifyEvent& E) {
    if (E) CallWithUserSelectionBase([&] { E(this); });
  };
  if (Button == mbLeft) {
    if (FMouseInteract.Contains(miSelectPolygon) || FMouseInteract.Contains(miSelectLasso)) {
      // A selection is made on the pixels as they show: turned layers are
      // turned for good first.
      LayersFixRotations(-1);
      event(OnBeforeSelectionChange);
      FMovingSelection = SelectionMoveHit(X, Y, shift);
      if (FMovingSelection < 0) {
        Integer px = X, py = Y;
        if (alt && FPolygonSelecting && !FCurrentPolygon->Points.empty()) {
          const TPoint last = FCurrentPolygon->Points.back();
          TIELayer* l = GetCurrentLayer();
          IEConstrainLineTo45(l->BitmapToClientX(last.X), l->BitmapToClientY(last.Y), px, py);
        }
        if (!FPolygonSelecting || FMouseInteract.Contains(miSelectLasso)) {
          if (shift)
            AddPolygonBreak(FCurrentPolygon);
          else
            Deselect();
        }
        AddPolygonPoint(FCurrentPolygon, std::clamp(SelToBitmapX(px), 0, FIEBitmap->Width()),
                        std::clamp(SelToBitmapY(py), 0, FIEBitmap->Height()));
        ShowOutline(true);
        FPolygonSelecting = true;
        FLassoSelecting = FMouseInteract.Contains(miSelectLasso);
        event(OnSelectionChanging);
      }
      return;
    }
    if (FMouseInteract.Contains(miSelect)) {
      LayersFixRotations(-1);
      event(OnBeforeSelectionChange);
      const TIEGrip g = FindSelectionGrip(X, Y, shift);
      if (g != 0) {
        BeginGripDrag(g);
      } else {
        FMovingSelection = SelectionMoveHit(X, Y, shift);
        if (FMovingSelection < 0) {
          FRectSelecting = true;
          if (FSelectionAspectRatio == 0) DragRectangle(X, Y, shift, alt);
          event(OnSelectionChanging);
        }
      }
      return;
    }
    if (FMouseInteract.Contains(miSelectZoom)) {
      FRectSelecting = true;
      event(OnSelectionChanging);
      SaveSelection();
      return;
    }
    if (FMouseInteract.Contains(miSelectCircle)) {
      LayersFixRotations(-1);
      event(OnBeforeSelectionChange);
      FMovingSelection = SelectionMoveHit(X, Y, shift);
      if (FMovingSelection < 0) {
        FCircleSelecting = true;
        FCurrentPolygon->Visible = true;
        if (FSelectionAspectRatio == 0) DragEllipse(X, Y, shift, alt);
        event(OnSelectionChanging);
      }
      return;
    }
    if (FMouseInteract.Contains(miSelectMagicWand)) {
      LayersFixRotations(-1);
      event(OnBeforeSelectionChange);
      FMovingSelection = SelectionMoveHit(X, Y, shift);
      return;
    }
  }
  const bool layerButton =
      Button == mbLeft || (Button == mbRight && FSelectionOptions.Contains(iesoRightButtonSelectLayers));
  if (layerButton && (FMouseInteract.Contains(miMoveLayers) || FMouseInteract.Contains(miResizeLayers) ||
                      FMouseInteract.Contains(miRotateLayers))) {
    FLayerDragStarted = false;
    FResizingGrip = FMouseInteract.Contains(miResizeLayers) ? FindLayerGrip(X, Y) : 0;
    if (FResizingGrip != 0) {
      FSavedLayerBox = GetCurrentLayer()->ClientAreaBox;
    } else if (FMouseInteract.Contains(miMoveLayers) || FMouseInteract.Contains(miRotateLayers)) {
      if (FMouseInteract.Contains(miRotateLayers) && !IsPointInLayer(X, Y, FCurrentLayer)) {
        FRotatingLayer = FCurrentLayer;
        FRotationAccumulated = GetCurrentLayer()->Rotate();
      } else {
        FMovingLayer = FindLayerAt(X, Y, true);
        if (FMovingLayer >= 0) {
          SetCurrentLayer(FMovingLayer);
          FMovingLayer = FCurrentLayer;
          DoLayerNotify(FMovingLayer, ielSelected);
          if (!Layers(FMovingLayer)->Locked) SetTempCursor(1790);
        }
      }
    }
  }
}

bool TZiduzUvView::AutoScroll(Integer X, Integer Y) {
  // One step per mouse move: the overshoot beyond the displayed area.
  if (!FSelectionOptions.Contains(iesoCanScroll)) return false;
  FAutoScrolling = true;
  Integer dx = 0, dy = 0;
  if (X < FOffsetX)
    dx = X - FOffsetX;
  else if (X > FOffsetX + FExtentX - 1)
    dx = X - (FOffsetX + FExtentX - 1);
  if (Y < FOffsetY)
    dy = Y - FOffsetY;
  else if (Y > FOffsetY + FExtentY - 1)
    dy = Y - (FOffsetY + FExtentY - 1);
  bool scrolled = false;
  if (dx != 0 || dy != 0) {
    const Integer ox = FViewX, oy = FViewY;
    SetViewOrigin(FViewX + dx, FViewY + dy);
    const Integer mx = FViewX - ox, my = FViewY - oy;
    if (mx != 0 || my != 0) {
      FPressPos.X -= mx;
      FPressPos.Y -= my;
      FPressArea.X -= mx;
      FPressArea.Y -= my;
      OffsetInteractionPoints(mx, my);
      scrolled = true;
    }
  }
  FAutoScrolling = false;
  return scrolled;
}

void TZiduzUvView::OffsetInteractionPoints(Integer DX, Integer DY) {
  FBand.X -= DX;
  FBand.Y -= DY;
  FLastPos.X -= DX;
  FLastPos.Y -= DY;
  FLastRaw.X -= DX;
  FLastRaw.Y -= DY;
}

void TZiduzUvView::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TIEView::MouseMove(Shift, X, Y);
  const TIESelectionBase userBase = FSelectionBase;
  FSavedSelectionBase = userBase;
  FSelectionBase = iesbClientArea;
  FInteracting = true;
  struct TBack {
    TZiduzUvView* V;
    TIESelectionBase B;
    ~TBack() {
      V->FSelectionBase = B;
      V->FInteracting = false;
    }
  } back{this, userBase};
  const bool shift = Shift.Contains(ssShift), alt = Shift.Contains(ssAlt);
  TPoint p = ClampToLayerBox(X, Y);
  const bool down = FLeftDown || Shift.Contains(ssLeft) || Shift.Contains(ssRight);
  auto event = [&](TNotifyEvent& E) {
    if (E) CallWithUserSelectionBase([&] { E(this); });
  };
  if (down) {
    if (FMouseInteract.Contains(miScroll)) {
      SetViewOrigin(FPressView.X - TruncInt((X - FPressRaw.X) * FScrollSpeed),
                    FPressView.Y - TruncInt((Y - FPressRaw.Y) * FScrollSpeed));
    } else if (FGripDragging != 0) {
      if (AutoScroll(X, Y)) p = ClampToLayerBox(X, Y);
      FGripDragging = DragGrip(TIEGrip(FGripDragging), p.X, p.Y, alt || FSelectionAspectRatio > 0);
      event(OnSelectionChanging);
    } else if (FMovingSelection < 0) {
      if (FRectSelecting) {
        if (AutoScroll(X, Y)) p = ClampToLayerBox(X, Y);
        DragRectangle(p.X, p.Y, shift, alt);
      } else if (FPolygonSelecting) {
        if (AutoScroll(X, Y)) p = ClampToLayerBox(X, Y);
        if (FLassoSelecting) {
          AddPolygonPoint(FCurrentPolygon, std::clamp(SelToBitmapX(p.X), 0, FIEBitmap->Width()),
                          std::clamp(SelToBitmapY(p.Y), 0, FIEBitmap->Height()));
          ShowOutline(true);
        }
        event(OnSelectionChanging);
      } else if (FCircleSelecting) {
        if (AutoScroll(X, Y)) p = ClampToLayerBox(X, Y);
        DragEllipse(p.X, p.Y, shift, alt);
      } else if (FMovingLayer >= 0 && !Layers(FMovingLayer)->Locked) {
        FLayerDragStarted = true;
        AutoScroll(X, Y);
        TIELayer* l = Layers(FMovingLayer);
        l->PosX += ClientToImageX(X) - ClientToImageX(FLastRaw.X);
        l->PosY += ClientToImageY(Y) - ClientToImageY(FLastRaw.Y);
        FLayerMoved = FLayerMoved || l->PosX != 0 || l->PosY != 0;
        SetHint(u"X=" + IntToStr(l->PosX) + u" Y=" + IntToStr(l->PosY), X, Y, u"X=000 Y=000");
        l->MaskCache.reset();
        Update();
        DoLayerNotify(FCurrentLayer, ielMoving);
      } else if (FRotatingLayer >= 0 && !Layers(FRotatingLayer)->Locked) {
        FLayerDragStarted = true;
        TIELayer* l = Layers(FRotatingLayer);
        double dx = (ClientToImageX(X) - ClientToImageX(FLastRaw.X)) / 4.0;
        double dy = (ClientToImageY(Y) - ClientToImageY(FLastRaw.Y)) / 4.0;
        const TPoint c = LayerRotationCentre(FRotatingLayer);
        if (c.X < X) dy = -dy;
        if (Y < c.Y) dx = -dx;
        FRotationAccumulated += dx + dy;
        l->SetRotate(shift ? std::trunc(FRotationAccumulated / FRotationSnapStep) * FRotationSnapStep
                           : FRotationAccumulated);
        SetHint(FloatToStr(l->Rotate()) + u"\u00b0", X, Y, u"0000\u00b0");
        l->MaskCache.reset();
        Update();
        DoLayerNotify(FCurrentLayer, ielRotating);
      } else if (FResizingGrip != 0 && !GetCurrentLayer()->Locked) {
        FLayerDragStarted = true;
        AutoScroll(X, Y);
        ResizeLayerWithGrip(X, Y, alt);
        TIELayer* l = GetCurrentLayer();
        SetHint(IntToStr(l->GetWidth()) + u" x " + IntToStr(l->GetHeight()), X, Y, u"0000 x 0000");
        l->MaskCache.reset();
        Update();
        DoLayerNotify(FCurrentLayer, ielResizing);
      }
    } else {
      AutoScroll(X, Y);
      p = ClampToLayerBox(X, Y);
      const Integer dx = SelToBitmapX(p.X) - SelToBitmapX(FLastPos.X);
      const Integer dy = SelToBitmapY(p.Y) - SelToBitmapY(FLastPos.Y);
      FMovingSelection = DragSelection(FMovingSelection, dx, dy, FSelectionOptions.Contains(iesoCutBorders));
      event(OnSelectionChanging);
    }
  } else if (!FPolygonSelecting || FLassoSelecting) {
    UpdateRestingCursor(X, Y, shift);
  } else {
    FBand = p;
    event(OnSelectionChanging);
  }
  if (FMouseInteract.Contains(miMovingScroll) && !down && (X != FLastRaw.X || Y != FLastRaw.Y)) {
    Integer mx = 0, my = 0;
    GetMaxViewXY(mx, my);
    const Integer vw = std::max(GetViewWidth(), 1), vh = std::max(GetViewHeight(), 1);
    const Integer cx = std::clamp(X, 0, vw), cy = std::clamp(Y, 0, vh);
    Glide(TruncInt((double(cx) / vw - 0.02) * 1.05 * mx), TruncInt((double(cy) / vh - 0.02) * 1.05 * my));
  }
  if (OnMouseInSel && FSelectionMask->IsPointInside(SelToBitmapX(p.X), SelToBitmapY(p.Y)))
    CallWithUserSelectionBase([&] { OnMouseInSel(this); });
  FBand = FLastPos = p;
  FLastRaw = TPoint(X, Y);
}

void TZiduzUvView::UpdateRestingCursor(Integer X, Integer Y, bool Shift) {
  bool anySel = false;
  for (auto i : kSelectionItems) anySel = anySel || FMouseInteract.Contains(i);
  if (anySel) {
    const TIEGrip g = FindSelectionGrip(X, Y, Shift);
    if (OnMouseInResizingGrip) CallWithUserSelectionBase([&] { OnMouseInResizingGrip(this, g); });
    if (g == 0) {
      if (SelectionMoveHit(X, Y, Shift) == 0)
        SetTempCursor(1790);
      else if (Shift)
        SetTempCursor(AddVariant(Cursor()));
      else
        RestoreCursor();
    } else {
      SetTempCursor(GripCursor(g));
    }
  } else if (FMouseInteract.Contains(miRotateLayers)) {
    if (IsPointInLayer(X, Y, FCurrentLayer)) {
      RestoreCursor();
    } else {
      const TPoint c = LayerRotationCentre(FCurrentLayer);
      if (X < c.X && Y < c.Y) SetTempCursor(1814);
      else if (X < c.X && Y > c.Y) SetTempCursor(1811);
      else if (X > c.X && Y < c.Y) SetTempCursor(1812);
      else if (X > c.X && Y > c.Y) SetTempCursor(1813);
    }
  } else if (FMouseInteract.Contains(miResizeLayers) || FMouseInteract.Contains(miMoveLayers)) {
    const TIEGrip g =
        FMouseInteract.Contains(miResizeLayers) && !GetCurrentLayer()->Locked ? FindLayerGrip(X, Y) : TIEGrip(0);
    if (g != 0) {
      SetTempCursor(GripCursor(g));
    } else {
      const Integer l = FMouseInteract.Contains(miMoveLayers) ? FindLayerAt(X, Y, true) : -1;
      if (l >= 0 && !Layers(l)->Locked)
        SetTempCursor(1790);
      else
        RestoreCursor();
    }
  }
}

TPoint TZiduzUvView::LayerRotationCentre(Integer Index) {
  TIELayer* l = Layers(Index);
  const Integer cx = TruncInt(l->GetWidth() * l->RotateCenterX), cy = TruncInt(l->GetHeight() * l->RotateCenterY);
  return TPoint(ImageToClientX(l->PosX + cx), ImageToClientY(l->PosY + cy));
}

double TZiduzUvView::ZoomInStep(double Z) {
  if (Z >= 500) return Z;  // a click never zooms in by lowering the zoom
  if (Z >= 100) return std::min(Z + 100, 500.0);
  for (double s : {5.0, 10.0, 25.0, 50.0, 75.0, 100.0})
    if (s > Z) return s;
  return 100;
}

double TZiduzUvView::ZoomOutStep(double Z) {
  if (Z >= 200) return Z - 100;
  for (double s : {100.0, 75.0, 50.0, 25.0, 10.0, 5.0})
    if (s < Z) return s;
  return 5;
}

void TZiduzUvView::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TIEView::MouseUp(Button, Shift, X, Y);
  const bool wasLeft = FLeftDown;
  if (Button == mbLeft) FLeftDown = false;
  // A release without its press (a right release during a left drag, or a
  // button the press ignored) changes nothing.
  if (Button != FPressButton || (Button == mbRight && wasLeft)) return;
  FPressButton = mbMiddle;
  FHintText.clear();
  const TIESelectionBase userBase = FSelectionBase;
  FSavedSelectionBase = userBase;
  FSelectionBase = iesbClientArea;
  FInteracting = true;
  struct TBack {
    TZiduzUvView* V;
    TIESelectionBase B;
    ~TBack() {
      V->FSelectionBase = B;
      V->FInteracting = false;
      V->FZoomFilter = V->FRestoreZoomFilter;
    }
  } back{this, userBase};
  const bool shift = Shift.Contains(ssShift);
  bool changed = false;
  const bool click = X == FPressPos.X && Y == FPressPos.Y;
  const bool moved = X != FPressRaw.X || Y != FPressRaw.Y;
  if (FMouseInteract.Contains(miZoom) && click && !IsEmpty()) {
    if (FMouseInteract.Contains(miScroll)) SetCursor(1779);
    double z = Button == mbRight ? ZoomInStep(FZoomX) : ZoomOutStep(FZoomX);
    TIEZoomEvent& e = Button == mbRight ? OnZoomIn : OnZoomOut;
    if (e) CallWithUserSelectionBase([&] { e(this, z); });
    if (z != FZoomX || z != FZoomY) ZoomAt(X, Y, z, false);
    FPolygonSelecting = false;
  } else if (Button == mbLeft && FMouseInteract.Contains(miScroll) && CanScroll()) {
    SetViewOrigin(FPressView.X - TruncInt((X - FPressRaw.X) * FScrollSpeed),
                  FPressView.Y - TruncInt((Y - FPressRaw.Y) * FScrollSpeed));
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelectZoom)) {
    ZoomToSelection(FSelectZoomUniform, true);
    FRectSelecting = false;
    RestoreSelection(true, 1);
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelect)) {
    if (moved || FGripDragging != 0 || FMovingSelection >= 0) {
      if (FRectSelecting || FGripDragging != 0) {
        if (!shift) FSelectionMask->Clear();
        EndSelection();
      }
      FRectSelecting = false;
      FGripDragging = 0;
      FMovingSelection = -1;
    } else {
      Deselect();
    }
    changed = true;
    FUpdateReason = urSelection;
    Update();
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelectCircle)) {
    if (!moved && FMovingSelection < 0 && FSelectionAspectRatio != 0) {
      Deselect();
    } else if (FCircleSelecting) {
      if (!shift) FSelectionMask->Clear();
      EndSelection();
    }
    FCircleSelecting = false;
    FMovingSelection = -1;
    changed = true;
    FUpdateReason = urSelection;
    Update();
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelectPolygon)) {
    if (FMovingSelection >= 0) {
      FMovingSelection = -1;
      changed = true;
    }
    FUpdateReason = urSelection;
    Update();
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelectMagicWand)) {
    if (FMovingSelection < 0) SelectMagicWand(X, Y, shift);
    FMovingSelection = -1;
    changed = true;
    FUpdateReason = urSelection;
    Update();
  } else if (Button == mbLeft && FMouseInteract.Contains(miSelectLasso)) {
    if (!moved && FMovingSelection < 0) {
      Deselect();
    } else if (FLassoSelecting) {
      if (!shift) FSelectionMask->Clear();
      EndSelection();
    }
    FLassoSelecting = FPolygonSelecting = false;
    FMovingSelection = -1;
    changed = true;
    FUpdateReason = urSelection;
    Update();
  }
  if (Button == mbLeft) {
    if (FRectMoving) {
      FSelectionMask->Clear();
      EndSelection();
      FRectMoving = false;
    }
    if (FMovingLayer >= 0) {
      FMovingLayer = -1;
      RestoreCursor();
      if (FLayerMoved) DoLayerNotify(FCurrentLayer, ielMoved);
      FLayerMoved = false;
      Invalidate();
    }
    if (FRotatingLayer >= 0) {
      FRotatingLayer = -1;
      if (moved) DoLayerNotify(FCurrentLayer, ielRotated);
      Invalidate();
    } else if (FMouseInteract.Contains(miRotateLayers) && !moved) {
      const Integer l = FindLayerAt(X, Y, true);
      if (l >= 0) {
        SetCurrentLayer(l);
        DoLayerNotify(FCurrentLayer, ielSelected);
      }
    }
    if (FResizingGrip != 0) {
      FResizingGrip = 0;
      if (moved) DoLayerNotify(FCurrentLayer, ielResized);
      Update();
    }
    FMovingSelection = -1;
    FGripDragging = 0;
    FRectSelecting = FCircleSelecting = FLassoSelecting = false;
    if (changed && OnSelectionChange) OnSelectionChange(this);
  }
  if (Button == mbRight && FSelectionOptions.Contains(iesoRightButtonTerminatePolySelect) && FPolygonSelecting)
    EndPolygonSelection(shift, false);
}

void TZiduzUvView::DblClick() {
  TIEView::DblClick();
  if (FPolygonSelecting && !FLassoSelecting) {
    EndPolygonSelection(FPressShift, true);
    FPolygonJustEnded = true;
  }
}

void TZiduzUvView::ResizeLayerWithGrip(Integer X, Integer Y, bool Constrain) {
  TIELayer* l = GetCurrentLayer();
  const Integer w0 = l->GetWidth(), h0 = l->GetHeight();
  Integer f = ClientToImageX(X), g = ClientToImageY(Y);
  const TRect& b = FSavedLayerBox;
  TIEGrip grip = TIEGrip(FResizingGrip);
  if (Constrain && l->Bitmap->Width() > 0) {
    const double r = double(l->Bitmap->Height()) / l->Bitmap->Width();
    switch (grip) {
      case ieTopRight: g = ClientToImageY(TruncInt(r * (b.Right - X)) + b.Top); break;
      case ieLeftSide: grip = ieBottomLeft; [[fallthrough]];
      case ieBottomLeft: g = ClientToImageY(TruncInt(r * (b.Left - X)) + b.Bottom); break;
      case ieRightSide: grip = ieBottomRight; [[fallthrough]];
      case ieTopLeft:
      case ieBottomRight: g = ClientToImageY(TruncInt(r * (X - b.Left)) + b.Top); break;
      case ieTopSide:
        grip = ieTopLeft;
        if (r != 0) f = ClientToImageX(TruncInt((Y - b.Top) / r) + b.Left);
        break;
      case ieBottomSide:
        grip = ieBottomRight;
        if (r != 0) f = ClientToImageX(TruncInt((Y - b.Top) / r) + b.Left);
        break;
      default: break;
    }
  }
  auto atLeast1 = [](Integer v) { return std::max(v, 1); };
  switch (grip) {
    case ieTopLeft:
      l->Width = atLeast1(l->PosX + w0 - f);
      l->Height = atLeast1(l->PosY + h0 - g);
      if (l->Width > 1) l->PosX = f;
      if (l->Height > 1) l->PosY = g;
      break;
    case ieTopRight:
      l->Width = atLeast1(f - l->PosX);
      l->Height = atLeast1(l->PosY + h0 - g);
      if (l->Height > 1) l->PosY = g;
      break;
    case ieBottomRight:
      l->Width = atLeast1(f - ClientToImageX(b.Left));
      l->Height = atLeast1(g - ClientToImageY(b.Top));
      break;
    case ieBottomLeft:
      l->Width = atLeast1(l->PosX + w0 - f);
      if (l->Width > 1) l->PosX = f;
      l->Height = atLeast1(g - ClientToImageY(b.Top));
      break;
    case ieLeftSide:
      l->Width = atLeast1(w0 + ClientToImageX(FLastRaw.X) - f);
      if (l->Width > 1) l->PosX += f - ClientToImageX(FLastRaw.X);
      break;
    case ieRightSide: l->Width = atLeast1(f - ClientToImageX(b.Left)); break;
    case ieTopSide:
      l->Height = atLeast1(l->PosY + h0 - g);
      if (l->Height > 1) l->PosY = g;
      break;
    case ieBottomSide: l->Height = atLeast1(h0 + g - ClientToImageY(FLastRaw.Y)); break;
    default: break;
  }
}

void TZiduzUvView::Glide(Integer TX, Integer TY) {
  FGlideTarget = TPoint(TX, TY);
  if (FGlideTimer && FGlideTimer->Enabled()) return;
  if (!FGlideTimer) {
    FGlideTimer = std::make_unique<TTimer>(nullptr);
    FGlideTimer->SetInterval(30);
    FGlideTimer->OnTimer = [this](TObject*) { GlideStep(); };
  }
  FGlideTimer->SetEnabled(true);
  GlideStep();
}

void TZiduzUvView::GlideStep() {
  const Integer a = FViewX, b = FViewY;
  SetViewOrigin(static_cast<Integer>(Round(a - (a - double(FGlideTarget.X)) / 8)),
                static_cast<Integer>(Round(b - (b - double(FGlideTarget.Y)) / 8)));
  // The timer cannot be freed inside its own tick; it is stopped here and
  // dropped by the next glide or the destructor.
  if (((FViewX == a && FViewY == b) || IEIsPrimaryButtonDown()) && FGlideTimer) FGlideTimer->SetEnabled(false);
}
