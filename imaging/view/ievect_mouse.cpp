// The mouse side of the vector view: a left-button gesture creates an object
// of the kind the vector interactions choose, or selects, moves and resizes
// objects by their grips, selects by rubber band, edits polyline points,
// and forwards the mouse to custom objects. Every gesture is bracketed by
// the automatic object undo.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "imaging/core/base/ieutils.h"
#include "imaging/view/ievect.h"

namespace ievect_mouse {

constexpr Integer kUnplaced = -1000000;
constexpr Integer kFar = 1000000;

bool IsTextKind(TIEVectKind K) { return K == vkText || K == vkMemo; }

Integer TruncTo(double V) { return Integer(std::trunc(V)); }

TRect Normal(const TPoint& A, const TPoint& B) {
  return TRect(std::min(A.X, B.X), std::min(A.Y, B.Y), std::max(A.X, B.X), std::max(A.Y, B.Y));
}

}  // namespace ievect_mouse

using namespace ievect_mouse;

std::unique_ptr<TPen> TZiduzUvVect::NewRubberBandPen() {
  auto p = std::make_unique<TPen>();
  p->SetColor(0);
  p->SetMode(pmNot);
  p->SetWidth(1);
  p->SetStyle(psSolid);
  return p;
}

void TZiduzUvVect::SetVectorInteract(TIEVectorInteract Value) {
  // Like the base view's setter: a change ends the edit and the gesture.
  if (Value == FVectorInteract) return;
  CancelInteraction();
  FVectorInteract = Value;
}

void TZiduzUvVect::SetMouseInteract(TIEMouseInteract Value) {
  TZiduzUvView::SetMouseInteract(Value);
  if (!Value.Empty()) {
    TIEVectorInteract keep;
    for (TIEVectorInteractItem i : {viMeasureArea, viMeasurePerimeter, viNoClickCreate})
      if (FVectorInteract.Contains(i)) keep.Include(i);
    FVectorInteract = keep;
  }
  CancelInteraction();
}

void TZiduzUvVect::CancelInteraction() {
  FHoverCustom = -1;
  FCreatingKind = vkNone;
  FActiveGrip = 0;
  FGrabbedPoint = -1;
  FInsertSegment = -1;
  FDragLenActive = false;
  EndMeasureHint(false);
  FFeedbackDrawn = false;
  DeactivateTextEdit();
  if (FEditingObject >= 0) {
    FEditingObject = -1;
    Update();
  }
}

void TZiduzUvVect::OffsetInteractionPoints(Integer DX, Integer DY) {
  TZiduzUvView::OffsetInteractionPoints(DX, DY);
  FCurrentPoint.X -= DX;
  FCurrentPoint.Y -= DY;
}

TPoint TZiduzUvVect::ClampToImageArea(Integer X, Integer Y) {
  const Integer r = std::max(FOffsetX, FOffsetX + FExtentX - 1), b = std::max(FOffsetY, FOffsetY + FExtentY - 1);
  return TPoint(std::clamp(X, FOffsetX, r), std::clamp(Y, FOffsetY, b));
}

// ---------------------------------------------------------------------------
// Feedback of the gesture, drawn on the window over the picture

// A rubber band drawn with a pen that does not invert cannot be erased by
// drawing it again: the back buffer is painted over the drag's rectangle.
bool TZiduzUvVect::EraseFeedbackFromBackBuffer(bool Erase) {
  if (FRubberBandPen->Mode() == pmNot || !Erase) return false;
  const TRect r = Normal(FStartPoint, FCurrentPoint);
  PaintBackBufferTo(TRect(r.Left - 1, r.Top - 1, r.Right + 2, r.Bottom + 2));
  return true;
}

void TZiduzUvVect::DrawNewLineFeedback(bool Erase) {
  if (!HandleAllocated()) return;
  if (EraseFeedbackFromBackBuffer(Erase)) return;
  TCanvas* c = Canvas();
  c->Pen()->Assign(FRubberBandPen.get());
  c->MoveTo(FStartPoint.X, FStartPoint.Y);
  c->LineTo(FCurrentPoint.X, FCurrentPoint.Y);
}

void TZiduzUvVect::DrawNewBoxFeedback(bool Erase) {
  if (!HandleAllocated()) return;
  if (EraseFeedbackFromBackBuffer(Erase)) return;
  const TRect r = Normal(FStartPoint, FCurrentPoint);
  TCanvas* c = Canvas();
  c->Pen()->Assign(FRubberBandPen.get());
  c->MoveTo(r.Left, r.Top);
  c->LineTo(r.Right, r.Top);
  c->LineTo(r.Right, r.Bottom);
  c->LineTo(r.Left, r.Bottom);
  c->LineTo(r.Left, r.Top);
}

void TZiduzUvVect::DrawNewEllipseFeedback(bool Erase) {
  if (!HandleAllocated()) return;
  if (EraseFeedbackFromBackBuffer(Erase)) return;
  const TRect r = Normal(FStartPoint, FCurrentPoint);
  TCanvas* c = Canvas();
  c->Pen()->Assign(FRubberBandPen.get());
  c->Brush()->SetStyle(bsClear);
  c->Ellipse(r.Left, r.Top, r.Right, r.Bottom);
}

void TZiduzUvVect::DrawNewObjectFeedback() {
  // The ruler being drawn, measured from the points: the back buffer
  // already shows the objects, the ruler goes over it on the window.
  if (!HandleAllocated()) return;
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetColor(FTemplate.PenColor);
  c->Pen()->SetWidth(std::max(1, FTemplate.PenWidth));
  c->MoveTo(FStartPoint.X, FStartPoint.Y);
  c->LineTo(FCurrentPoint.X, FCurrentPoint.Y);
}

void TZiduzUvVect::DrawNewAngleFeedback() {
  if (!HandleAllocated()) return;
  const TIEVectObject* o = GetObj(FAngleHandle);
  if (!o) return;
  TPoint p[3];
  Integer n = 0;
  for (; n < 3 && o->AnglePoints[n].X != kUnplaced; ++n)
    p[n] = TPoint(ImageToClientX(o->AnglePoints[n].X), ImageToClientY(o->AnglePoints[n].Y));
  if (n == 0 || n == 3) return;
  p[n++] = FCurrentPoint;
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetColor(o->PenColor);
  c->Pen()->SetWidth(1);
  c->MoveTo(p[0].X, p[0].Y);
  for (Integer i = 1; i < n; ++i) c->LineTo(p[i].X, p[i].Y);
}

// Erases (pmNot draws twice) or draws the feedback of the kind being made.
void TZiduzUvVect::ShapeFeedback(bool Erase) {
  if (Erase && !FFeedbackDrawn) return;
  switch (FCreatingKind) {
    case vkLine:
    case vkLineLabel:
      DrawNewLineFeedback(Erase);
      break;
    case vkEllipse:
      DrawNewEllipseFeedback(Erase);
      break;
    case vkBox:
    case vkBitmap:
    case vkText:
    case vkMemo:
    case vkCustom:
      DrawNewBoxFeedback(Erase);
      break;
    default:
      return;
  }
  FFeedbackDrawn = !Erase;
}

// ---------------------------------------------------------------------------
// Press

void TZiduzUvVect::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  // A selection hint comes off while the base view draws the outline, and
  // goes back on top showing the selection as the press left it.
  const bool selectionHint = FHintActive && FHintSource != iemhDragLen;
  if (selectionHint) HideMeasureHint();
  TZiduzUvView::MouseDown(Button, Shift, X, Y);
  FLastMousePos = TPoint(X, Y);
  FollowSelectionWithHint();
  if (FHintActive && FHintSource != iemhDragLen) RefreshMeasureHint(X, Y);
  if (Button != mbLeft || IsEmpty()) return;
  FVectLeftDown = true;
  FDoubleClickDown = Shift.Contains(ssDouble);
  const TPoint p = FDrawOutsideImage ? TPoint(X, Y) : ClampToImageArea(X, Y);
  FStartPoint = p;
  FUndoSavedForGesture = false;
  // A press on the view commits the text being typed before anything else.
  if (IsEditingText()) {
    DeactivateTextEdit();
    FEditingObject = -1;
    Update();
  }
  FInsertSegment = -1;
  FGrabbedPoint = -1;
  FActiveGrip = 0;
  FFeedbackDrawn = false;
  FObjectsModified = false;
  SaveUndoBeforeChange();

  const bool shift = Shift.Contains(ssShift);
  static const std::pair<TIEVectorInteractItem, TIEVectKind> kDragged[] = {
      {viPutLine, vkLine},   {viPutLineLabel, vkLineLabel}, {viPutRuler, vkRuler}, {viPutBox, vkBox},
      {viPutEllipse, vkEllipse}, {viPutBitmap, vkBitmap},   {viPutText, vkText},   {viPutMemo, vkMemo},
      {viDragLen, vkLine},   {viPutCustom, vkCustom}};
  TIEVectKind kind = vkNone;
  for (const auto& [item, k] : kDragged)
    if (FVectorInteract.Contains(item)) {
      kind = k;
      FDragLenActive = item == viDragLen;
      break;
    }
  if (kind != vkNone) {
    FCreatingKind = kind;
  } else if (FVectorInteract.Contains(viPutAngle)) {
    if (!FDoubleClickDown) PressAngle(Shift, p);
  } else if (FVectorInteract.Contains(viPutPolyline)) {
    PressPolyline(Shift, p);
  } else if (FVectorInteract.Contains(viEditPolyline)) {
    FGrabbedPoint = PolylinePointAt(X, Y);
    if (FGrabbedPoint < 0) FInsertSegment = PolylineSegmentAt(X, Y);
  } else if (FVectorInteract.Contains(viEdit)) {
    if (!FDoubleClickDown) {
      Integer grip = 0;
      GetGripAt(X, Y, grip);
      if ((grip == 0 || (grip == 3 && !FCenterGrip)) && FSelectOnMouseDown) {
        SelectAtPoint(shift, X, Y, true);
        GetGripAt(X, Y, grip);
      }
      FActiveGrip = grip;
      if (FActiveGrip != 0)
        for (Integer h : FSel)
          if (TIEVectObject* o = GetObj(h)) o->DragStartRect = TRect(o->X1, o->Y1, o->X2, o->Y2);
    } else {
      double d = 0;
      const Integer h = FindObjectAt(ClientToImageX(X), ClientToImageY(Y), d, true);
      if (h >= 0) {
        DoObjectDblClick(h);
        TIEVectObject* o = GetObj(h);
        if (o && IsTextKind(o->Kind) && d == 0) {
          const bool was = IsSelObject(h);
          const std::vector<Integer> others = FSel;
          for (Integer s : others)
            if (s != h) DoUserDeselectObject(s);
          UnSelAllObjectsQuiet();
          AddSelObject(h);
          if (!was) DoUserSelectObject(h);
          FEditingObject = h;
          ActivateTextEdit();
        }
      }
    }
    double d = 0;
    const Integer h = FindObjectAtClient(X, Y, d);
    if (TIEVectObject* o = GetObj(h); o && d == 0 && o->Kind == vkCustom && o->CustomObject)
      o->CustomObject->MouseDown(Button, Shift, X, Y);
  }
  FCurrentPoint = p;
  FAppliedDeltaX = FAppliedDeltaY = 0;
}

void TZiduzUvVect::PressAngle(TShiftState Shift, TPoint P) {
  TIEVectObject* a = FCreatingKind == vkAngle ? GetObj(FAngleHandle) : nullptr;
  if (!a) {
    // The template keeps its rectangle until the angle is placed, so that
    // a later click-created object still gets the last size drawn.
    FCreatingKind = vkAngle;
    FTemplate.Kind = vkAngle;
    TIEVectObject rec(FTemplate);
    rec.AnglePoints[0] = TPoint(ClientToImageX(P.X), ClientToImageY(P.Y));
    rec.AnglePoints[1] = rec.AnglePoints[2] = TPoint(kUnplaced, kUnplaced);
    rec.X1 = rec.Y1 = kFar;
    rec.X2 = rec.Y2 = -kFar;
    FAngleHandle = AddObject(rec);
    UnSelAllObjects();
    Update();
    return;
  }
  const Integer k = a->AnglePoints[1].X == kUnplaced ? 1 : 2;
  TPoint c = P;
  if (Shift.Contains(ssCtrl)) {
    const TPoint prev = a->AnglePoints[k - 1];
    IEConstrainLineTo45(ImageToClientX(prev.X), ImageToClientY(prev.Y), c.X, c.Y);
    FStartPoint = c;
  }
  a->AnglePoints[k] = TPoint(ClientToImageX(c.X), ClientToImageY(c.Y));
  if (k == 2) {
    const TPoint* q = a->AnglePoints;
    const Integer hw = std::abs(q[1].X - std::max(q[0].X, q[2].X));
    const Integer hh = std::abs(q[1].Y - std::max(q[0].Y, q[2].Y));
    a->X1 = q[1].X - hw;
    a->Y1 = q[1].Y - hh;
    a->X2 = q[1].X + hw;
    a->Y2 = q[1].Y + hh;
    FTemplate.X1 = a->X1;
    FTemplate.Y1 = a->Y1;
    FTemplate.X2 = a->X2;
    FTemplate.Y2 = a->Y2;
    AddSelObject(FAngleHandle);
    DoVectorialChanged();
    DoNewObject(FAngleHandle);
    FCreatingKind = vkNone;
  }
  Update();
}

void TZiduzUvVect::PressPolyline(TShiftState Shift, TPoint P) {
  TIEVectObject* o = FCreatingKind == vkPolyline ? GetObj(FPolylineHandle) : nullptr;
  if (!o) {
    FCreatingKind = vkPolyline;
    FTemplate.Kind = vkPolyline;
    TIEVectObject rec(FTemplate);
    rec.Points.clear();
    rec.X1 = rec.Y1 = kFar;
    rec.X2 = rec.Y2 = -kFar;
    FObjectsModified = true;
    FPolylineHandle = AddObject(rec);
    AddPolylinePoint(FPolylineHandle, ClientToImageX(P.X), ClientToImageY(P.Y));
    FPolylineLastPoint = P;
    UnSelAllObjects();
    Update();
    return;
  }
  TPoint c = P;
  if (Shift.Contains(ssCtrl)) {
    IEConstrainLineTo45(FPolylineLastPoint.X, FPolylineLastPoint.Y, c.X, c.Y);
    FStartPoint = c;
  }
  AddPolylinePoint(FPolylineHandle, ClientToImageX(c.X), ClientToImageY(c.Y));
  FPolylineLastPoint = c;
  if (FDoubleClickDown && FPolylineEndMode == 0) {
    FTemplate.X1 = o->X1;
    FTemplate.Y1 = o->Y1;
    FTemplate.X2 = o->X2;
    FTemplate.Y2 = o->Y2;
    AddSelObject(FPolylineHandle);
    DoVectorialChanged();
    // The press that made the polyline keeps its undo step; this one is dropped.
    FObjectsModified = false;
    DoNewObject(FPolylineHandle);
    FCreatingKind = vkNone;
  }
  Update();
}

// ---------------------------------------------------------------------------
// Move

void TZiduzUvVect::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (FDoubleClickDown) {
    // The move that follows a double click belongs to it.
    FDoubleClickDown = false;
    return;
  }
  const TPoint last = FLastRaw;
  const bool selectionHint = FHintActive && FHintSource != iemhDragLen;
  if (selectionHint) HideMeasureHint();
  TZiduzUvView::MouseMove(Shift, X, Y);
  if (X == last.X && Y == last.Y) {
    if (selectionHint) ShowMeasureHint(-1000000, -1000000);
    return;
  }
  FLastMousePos = TPoint(X, Y);
  const TPoint p = FDrawOutsideImage ? TPoint(X, Y) : ClampToImageArea(X, Y);
  if (FVectLeftDown && !IsEmpty())
    MouseMoveCaptured(Shift, X, Y, p);
  else
    MouseMoveFree(Shift, X, Y, p);
  ForwardCustomHover(Shift, X, Y);
  FollowSelectionWithHint();
  if (FHintActive && FHintSource != iemhDragLen) RefreshMeasureHint(X, Y);
}

void TZiduzUvVect::MouseMoveCaptured(TShiftState Shift, Integer X, Integer Y, TPoint P) {
  const bool ctrl = Shift.Contains(ssCtrl);
  if (FCreatingKind != vkNone) {
    FMovingObjects = true;
    if (!(FTemplate.Style & vsSizeable)) {
      // Placed by a click at the template's size: the press follows the mouse.
      FStartPoint = FCurrentPoint = P;
      return;
    }
    switch (FCreatingKind) {
      case vkPolyline:
        AddPolylinePoint(FPolylineHandle, ClientToImageX(P.X), ClientToImageY(P.Y));
        FPolylineLastPoint = P;
        Update();
        return;
      case vkAngle:
        Update();
        FCurrentPoint = P;
        DrawNewAngleFeedback();
        return;
      case vkRuler: {
        AutoScroll(X, Y);
        TPoint c = FDrawOutsideImage ? TPoint(X, Y) : ClampToImageArea(X, Y);
        if (ctrl) IEConstrainLineTo45(FStartPoint.X, FStartPoint.Y, c.X, c.Y);
        FCurrentPoint = c;
        Update();
        DrawNewObjectFeedback();
        return;
      }
      default:
        break;
    }
    // The hint comes off before the rubber line is erased and goes back on
    // top of the new one, so that neither draws over the other's pixels.
    HideMeasureHint();
    ShapeFeedback(true);
    if (AutoScroll(X, Y)) P = FDrawOutsideImage ? TPoint(X, Y) : ClampToImageArea(X, Y);
    TPoint c = FDragLenActive ? TPoint(X, Y) : P;
    switch (FCreatingKind) {
      case vkLine:
      case vkLineLabel:
        if (ctrl) IEConstrainLineTo45(FStartPoint.X, FStartPoint.Y, c.X, c.Y);
        break;
      case vkBox:
      case vkEllipse:
      case vkCustom:
        if (ctrl) {
          const Integer dx = c.X - FStartPoint.X, dy = c.Y - FStartPoint.Y;
          const Integer l = std::abs(dx) >= std::abs(dy) ? dx : dy;
          c = TPoint(FStartPoint.X + l, FStartPoint.Y + l);
        }
        break;
      case vkBitmap:
        if (Shift.Contains(ssAlt) || FTemplate.KeepAspect)
          if (TIEBitmap* b = GetStoredBitmap(FTemplate.BitmapIndex); b && b->Width() > 0)
            c.Y = TruncTo(double(b->Height()) / b->Width() * (c.X - FStartPoint.X) + FStartPoint.Y);
        break;
      default:
        break;
    }
    FCurrentPoint = c;
    ShapeFeedback(false);
    if (FDragLenActive) {
      if (!MeasureHintActive()) StartMeasureHint(iemhDragLen, FStartPoint.X, FStartPoint.Y);
      ShowMeasureHint(X, Y);
    }
    return;
  }
  if (FActiveGrip != 0) {
    DragGrip(Shift, P);
    AutoScroll(X, Y);
    return;
  }
  if (FVectorInteract.Contains(viEditPolyline)) {
    if (FGrabbedPoint < 0) return;
    AutoScroll(X, Y);
    TIEVectObject* o = SoleSelectedPolyline();
    if (!o || FGrabbedPoint >= Integer(o->Points.size())) return;
    const Integer tx = TruncTo((P.X - FStartPoint.X) * 100.0 / ZoomX());
    const Integer ty = TruncTo((P.Y - FStartPoint.Y) * 100.0 / ZoomY());
    const Integer dx = tx - FAppliedDeltaX, dy = ty - FAppliedDeltaY;
    FAppliedDeltaX = tx;
    FAppliedDeltaY = ty;
    if (dx == 0 && dy == 0) return;
    // The step in the polyline's own point coordinates.
    const TRect& pb = o->PointsBox;
    const double fx = pb.Right != pb.Left && o->X2 != o->X1 ? double(o->X2 - o->X1) / (pb.Right - pb.Left) : 1;
    const double fy = pb.Bottom != pb.Top && o->Y2 != o->Y1 ? double(o->Y2 - o->Y1) / (pb.Bottom - pb.Top) : 1;
    TPoint& q = o->Points[size_t(FGrabbedPoint)];
    q.X += Integer(Round(dx / fx));
    q.Y += Integer(Round(dy / fy));
    NormalizePolyline(o);
    FObjectsModified = true;
    Update();
    return;
  }
  if (FVectorInteract.Contains(viEdit) && FRubberBandSelect) {
    if (FFeedbackDrawn) {
      DrawNewBoxFeedback(true);
      FFeedbackDrawn = false;
    }
    AutoScroll(X, Y);
    FCurrentPoint = P;
    if (!Shift.Contains(ssShift)) UnSelAllObjectsQuiet();
    const TRect r = Normal(TPoint(ClientToImageX(FStartPoint.X), ClientToImageY(FStartPoint.Y)),
                           TPoint(ClientToImageX(FCurrentPoint.X), ClientToImageY(FCurrentPoint.Y)));
    SelectObjectsInRect(IEV_ALL, r.Left, r.Top, r.Right, r.Bottom);
    if (OnSelectObject) OnSelectObject(this);
    Update();
    DrawNewBoxFeedback(false);
    FFeedbackDrawn = true;
  }
}

void TZiduzUvVect::DragGrip(TShiftState Shift, TPoint P) {
  DoVectorialChangedOnce();
  FMovingObjects = true;
  TIEVectObject* first = FSel.empty() ? nullptr : GetObj(FSel[0]);
  if (Shift.Contains(ssCtrl) && first && first->IsDirected() && first->Kind != vkPolyline &&
      (FActiveGrip == 1 || FActiveGrip == 2)) {
    // The dragged end snaps to a multiple of 45 degrees round the other end.
    const bool one = FActiveGrip == 1;
    const Integer ax = one ? first->X2 : first->X1, ay = one ? first->Y2 : first->Y1;
    IEConstrainLineTo45(ImageToClientX(ax), ImageToClientY(ay), P.X, P.Y);
  }
  const Integer tx = TruncTo((P.X - FStartPoint.X) * 100.0 / ZoomX());
  const Integer ty = TruncTo((P.Y - FStartPoint.Y) * 100.0 / ZoomY());
  Integer dx = tx - FAppliedDeltaX, dy = ty - FAppliedDeltaY;
  TRect bounds;
  GetSelectionBounds(bounds);
  if (FActiveGrip == 3 && !FAllowMoveOutside) {
    // The selection stops at the border and follows the mouse again once
    // the mouse is back where it held it.
    const Integer w = GetIEBitmap()->Width(), h = GetIEBitmap()->Height();
    dx = std::clamp(dx, std::min(0, -bounds.Left), std::max(0, w - 1 - bounds.Right));
    dy = std::clamp(dy, std::min(0, -bounds.Top), std::max(0, h - 1 - bounds.Bottom));
  }
  FAppliedDeltaX += dx;
  FAppliedDeltaY += dy;
  const bool alt = Shift.Contains(ssAlt);
  for (Integer hobj : std::vector<Integer>(FSel)) {
    TIEVectObject* o = GetObj(hobj);
    if (!o) continue;
    const bool keep = alt || o->KeepAspect;
    DoObjectMoveResize(hobj, FActiveGrip, dx, dy);
    if (o->Style & vsSizeable) {
      switch (FActiveGrip) {
        case 1: ResizeObject(hobj, dx, dy, 0, 0, keep, 1); break;
        case 2: ResizeObject(hobj, 0, 0, dx, dy, keep, 2); break;
        case 4: ResizeObject(hobj, 0, dy, dx, 0, keep, 4); break;
        case 5: ResizeObject(hobj, dx, 0, 0, dy, keep, 5); break;
        case 6: ResizeObject(hobj, dx, 0, 0, 0, keep, 6); break;
        case 7: ResizeObject(hobj, 0, 0, dx, 0, keep, 7); break;
        case 8: ResizeObject(hobj, 0, dy, 0, 0, keep, 8); break;
        case 9: ResizeObject(hobj, 0, 0, 0, dy, keep, 9); break;
        case 10:
        case 11:
        case 12:
          if (o->Kind == vkAngle) {
            TPoint& q = o->AnglePoints[FActiveGrip - 10];
            q.X += dx;
            q.Y += dy;
          }
          break;
        default: break;
      }
    }
    if ((o->Style & vsMovable) && FActiveGrip == 3) MoveObject(hobj, dx, dy);
  }
  Update();
}

void TZiduzUvVect::MouseMoveFree(TShiftState Shift, Integer X, Integer Y, TPoint P) {
  const bool ctrl = Shift.Contains(ssCtrl);
  if (FCreatingKind == vkPolyline) {
    // The rubber segment from the last point to the mouse.
    Update();
    TPoint c = P;
    if (ctrl) IEConstrainLineTo45(FPolylineLastPoint.X, FPolylineLastPoint.Y, c.X, c.Y);
    FCurrentPoint = c;
    if (HandleAllocated()) {
      TCanvas* cv = Canvas();
      cv->Pen()->Assign(FRubberBandPen.get());
      cv->MoveTo(FPolylineLastPoint.X, FPolylineLastPoint.Y);
      cv->LineTo(c.X, c.Y);
    }
    return;
  }
  if (FCreatingKind == vkAngle) {
    Update();
    TPoint c = P;
    if (ctrl) IEConstrainLineTo45(FStartPoint.X, FStartPoint.Y, c.X, c.Y);
    FCurrentPoint = c;
    DrawNewAngleFeedback();
    return;
  }
  double d = 0;
  const Integer over = FindObjectAtClient(X, Y, d);
  if (over >= 0) DoObjectOver(over);
  if (FVectorInteract.Contains(viEditPolyline)) {
    if (PolylinePointAt(X, Y) >= 0)
      SetTempCursor(ctrl ? 1792 : 1790);
    else if (PolylineSegmentAt(X, Y) >= 0)
      SetTempCursor(1791);
    else
      RestoreCursor();
  } else if (FVectorInteract.Contains(viEdit)) {
    Integer grip = 0;
    GetGripAt(X, Y, grip);
    switch (grip) {
      case 0: RestoreCursor(); break;
      case 1:
      case 2: SetTempCursor(1786); break;
      case 3: SetTempCursor(1790); break;
      case 6:
      case 7: SetTempCursor(1789); break;
      case 8:
      case 9: SetTempCursor(1787); break;
      default: SetTempCursor(1788); break;
    }
  }
}

void TZiduzUvVect::ForwardCustomHover(TShiftState Shift, Integer X, Integer Y) {
  double d = 0;
  Integer h = FindObjectAtClient(X, Y, d);
  TIEVectObject* o = GetObj(h);
  if (!o || d != 0 || o->Kind != vkCustom || !o->CustomObject) h = -1, o = nullptr;
  if (h != FHoverCustom) {
    if (TIEVectObject* prev = GetObj(FHoverCustom); prev && prev->CustomObject) prev->CustomObject->MouseLeave();
    if (o) o->CustomObject->MouseEnter();
    FHoverCustom = h;
  }
  if (o) o->CustomObject->MouseMove(Shift, X, Y);
}

// ---------------------------------------------------------------------------
// Release

void TZiduzUvVect::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  const bool selectionHint = FHintActive && FHintSource != iemhDragLen;
  if (selectionHint) HideMeasureHint();
  TZiduzUvView::MouseUp(Button, Shift, X, Y);
  FollowSelectionWithHint();
  if (FHintActive && FHintSource != iemhDragLen) RefreshMeasureHint(X, Y);
  FDoubleClickDown = Shift.Contains(ssDouble);
  if (Button != mbLeft || !FVectLeftDown) return;
  FVectLeftDown = false;
  const TPoint p = FDrawOutsideImage ? TPoint(X, Y) : ClampToImageArea(X, Y);
  const bool click = p.X == FStartPoint.X && p.Y == FStartPoint.Y;
  const bool building = (FCreatingKind == vkPolyline && FPolylineEndMode != 2) || FCreatingKind == vkAngle;
  if (!building) {
    const bool handled = !click || !FVectorInteract.Contains(viNoClickCreate) || FVectorInteract.Contains(viEdit) ||
                         FVectorInteract.Contains(viMeasurePerimeter) || FVectorInteract.Contains(viMeasureArea);
    if (IsEditingText()) return;
    if (handled) {
      MouseUpLeft(Shift, p, click);
    } else {
      // A click that makes nothing still ends the gesture.
      FCreatingKind = vkNone;
      FActiveGrip = 0;
      FDragLenActive = false;
      EndMeasureHint(false);
    }
  }
  EndUndoGesture();
  double d = 0;
  const Integer h = FindObjectAtClient(X, Y, d);
  if (TIEVectObject* o = GetObj(h); o && d == 0 && o->Kind == vkCustom && o->CustomObject)
    o->CustomObject->MouseUp(Button, Shift, X, Y);
}

void TZiduzUvVect::MouseUpLeft(TShiftState Shift, TPoint P, bool Click) {
  const bool shift = Shift.Contains(ssShift);
  const bool edit = FVectorInteract.Contains(viEdit), editPoly = FVectorInteract.Contains(viEditPolyline);
  if (FCreatingKind != vkNone) {
    ShapeFeedback(true);
    TIEVectObject& t = FTemplate;
    if (FCreatingKind == vkPolyline) {
      if (const TIEVectObject* o = GetObj(FPolylineHandle)) {
        t.X1 = o->X1;
        t.Y1 = o->Y1;
        t.X2 = o->X2;
        t.Y2 = o->Y2;
      }
    } else if (Click && !FDragLenActive) {
      const Integer w = t.X2 - t.X1, h = t.Y2 - t.Y1;
      const Integer x = ClientToImageX(P.X), y = ClientToImageY(P.Y);
      t.X1 = FCenterNewObjects ? x - w / 2 : x;
      t.Y1 = FCenterNewObjects ? y - h / 2 : y;
      t.X2 = t.X1 + w;
      t.Y2 = t.Y1 + h;
    } else {
      t.X1 = ClientToImageX(FStartPoint.X);
      t.Y1 = ClientToImageY(FStartPoint.Y);
      t.X2 = ClientToImageX(FCurrentPoint.X);
      t.Y2 = ClientToImageY(FCurrentPoint.Y);
      // A box dragged up or left keeps its size for the next click, not a
      // negative one that would put the click at its far corner.
      t.Kind = FCreatingKind;
      if (!t.IsDirected()) {
        if (t.X1 > t.X2) std::swap(t.X1, t.X2);
        if (t.Y1 > t.Y2) std::swap(t.Y1, t.Y2);
      }
    }
    if (FDragLenActive) {
      FDragLenActive = false;
      // The hint goes, and the gesture reports the length it ended with.
      if (!MeasureHintActive()) StartMeasureHint(iemhDragLen, FStartPoint.X, FStartPoint.Y);
      FLastMeasured = GetDragLength(FStartPoint.X, FStartPoint.Y, FCurrentPoint.X, FCurrentPoint.Y);
      EndMeasureHint();
    } else {
      t.Kind = FCreatingKind;
      DoVectorialChangedOnce();
      const Integer hobj = FCreatingKind == vkPolyline ? FPolylineHandle : AddObject(t);
      UnSelAllObjectsQuiet();
      DoNewObject(hobj);
      AddSelObject(hobj);
      FObjectsModified = true;
      TIEVectObject* o = GetObj(hobj);
      if (o && IsTextKind(o->Kind) && FEditTextOnCreate) {
        FEditingObject = hobj;
        ActivateTextEdit();
      } else {
        DoVectorialChanged();
      }
    }
  } else if ((FActiveGrip != 0 && (!Click || FActiveGrip != 3)) || (!edit && !editPoly) || !Click) {
    if (FActiveGrip != 0) {
      bool changed = false;
      for (Integer h : FSel) {
        TIEVectObject* o = GetObj(h);
        if (!o) continue;
        if (!o->IsDirected()) {
          if (o->X1 > o->X2) std::swap(o->X1, o->X2);
          if (o->Y1 > o->Y2) std::swap(o->Y1, o->Y2);
        }
        changed = changed || o->DragStartRect != TRect(o->X1, o->Y1, o->X2, o->Y2) || o->Kind == vkAngle;
      }
      // A press on a grip that moved nothing is no change (and keeps no undo step).
      if (changed) DoVectorialChanged();
    }
  } else if (!FSelectOnMouseDown || FAlreadySelectedOnDown) {
    SelectAtPoint(shift, P.X, P.Y, false);
  }
  if (TIEVectObject* o = SoleSelectedPolyline()) {
    if (FGrabbedPoint >= 0 && Shift.Contains(ssCtrl) && o->Points.size() > 2 &&
        FGrabbedPoint < Integer(o->Points.size())) {
      o->Points.erase(o->Points.begin() + FGrabbedPoint);
      NormalizePolyline(o);
      DoVectorialChanged();
    }
    if (FInsertSegment >= 0 && FInsertSegment < Integer(o->Points.size())) {
      const TRect& pb = o->PointsBox;
      const double fx = pb.Right != pb.Left && o->X2 != o->X1 ? double(o->X2 - o->X1) / (pb.Right - pb.Left) : 1;
      const double fy = pb.Bottom != pb.Top && o->Y2 != o->Y1 ? double(o->Y2 - o->Y1) / (pb.Bottom - pb.Top) : 1;
      const Integer x = ClientToImageX(P.X), y = ClientToImageY(P.Y);
      const TPoint q(Integer(Round((x + pb.Left * fx - o->X1) / fx)), Integer(Round((y + pb.Top * fy - o->Y1) / fy)));
      o->Points.insert(o->Points.begin() + FInsertSegment + 1, q);
      NormalizePolyline(o);
      DoVectorialChanged();
    }
    if (FGrabbedPoint >= 0 && FObjectsModified) DoVectorialChanged();
  }
  FInsertSegment = -1;
  FGrabbedPoint = -1;
  Update();
  FCreatingKind = vkNone;
  FActiveGrip = 0;
  if (FMovingObjects) {
    FMovingObjects = false;
    Invalidate();
  }
  if (edit) {
    double d = 0;
    const Integer h = FindObjectAtClient(P.X, P.Y, d);
    if (h >= 0) DoObjectClick(h);
  }
}
