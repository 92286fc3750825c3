// The selection outline on the window: dashes that move with the outline
// timer, the grips of a rectangular selection, and the outline of a
// selection that lives only in the mask.
#include <algorithm>
#include <cstdlib>

#include "imaging/view/ziduzuvview.h"
#include "platform/base/threads.h"
#include "platform/ui/extctrls.h"

namespace {

// The pixels of the line from (X1, Y1) to (X2, Y2) in the order the
// platform's line DDA visits them: the start included, the end excluded.
template <class F>
void LineDDA(Integer X1, Integer Y1, Integer X2, Integer Y2, F&& Pixel) {
  const Integer dx = std::abs(X2 - X1), dy = std::abs(Y2 - Y1);
  const Integer sx = X1 < X2 ? 1 : -1, sy = Y1 < Y2 ? 1 : -1;
  Integer x = X1, y = Y1;
  if (dx >= dy) {
    Integer err = dx / 2;
    for (Integer i = 0; i < dx; ++i) {
      Pixel(x, y);
      x += sx;
      err -= dy;
      if (err < 0) {
        y += sy;
        err += dx;
      }
    }
  } else {
    Integer err = dy / 2;
    for (Integer i = 0; i < dy; ++i) {
      Pixel(x, y);
      y += sy;
      err -= dx;
      if (err < 0) {
        x += sx;
        err += dy;
      }
    }
  }
}

}  // namespace

std::function<Cardinal()> IEOutlineClock = [] { return GetTickCount(); };

void TZiduzUvView::DashedLine(TIESelectionPolygon* Rec, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  TCanvas* c = Canvas();
  LineDDA(X1, Y1, X2, Y2, [&](Integer x, Integer y) {
    c->SetPixels(x, y, Rec->DashCounter <= 3 ? Rec->OutlineColor1 : Rec->OutlineColor2);
    if (++Rec->DashCounter > 7) Rec->DashCounter = 0;
  });
}

void TZiduzUvView::DrawSelectionOutline(TObject* Sender, bool /*NotFromPaint*/) {
  if (!HasParentWindow() || !HandleAllocated() || !FSelectionVisible) return;
  const bool fromTimer = dynamic_cast<TTimer*>(Sender) != nullptr;
  const bool gesture =
      FRectSelecting || FPolygonSelecting || FCircleSelecting || FGripDragging != 0 || FMovingSelection >= 0;
  TIELayer* layer = GetCurrentLayer();
  for (size_t ri = 0; ri < FPolygons.size(); ++ri) {
    TIESelectionPolygon* rec = FPolygons[ri].get();
    if (!rec->Visible) continue;
    if (rec->Animated && fromTimer && !gesture) {
      rec->Phase = rec->Phase >= 9 ? 0 : rec->Phase + 1;
      FOutlinePhase = FOutlinePhase >= 9 ? 0 : FOutlinePhase + 1;
    }
    if (FPaintLockCount > 0 || FAutoScrolling) continue;
    const auto& p = rec->Points;
    const bool rect = IsRectPolygon(p.data(), static_cast<Integer>(p.size()));
    // Grips on the points of a rectangle and, extended, on its sides.
    if (rec->Sizeable && rect && !FRectSelecting && FMovingSelection < 0) {
      TCanvas* c = Canvas();
      c->Pen()->SetStyle(psSolid);
      c->Pen()->SetMode(pmCopy);
      c->Pen()->SetColor(FSelGripPenColor);
      c->Brush()->SetStyle(FSelGripBrushStyle);
      c->Brush()->SetColor(FSelGripBrushColor);
      const Integer s = FSelGripSize;
      Integer minX = INT32_MAX, minY = INT32_MAX, maxX = INT32_MIN, maxY = INT32_MIN;
      auto grip = [&](Integer x, Integer y) {
        if (FSelGripShape == 0)
          c->Rectangle(x - s, y - s, x + s, y + s);
        else
          c->Ellipse(x - s, y - s, x + s, y + s);
      };
      for (const TPoint& q : p) {
        const Integer x = layer->BitmapToClientX(q.X), y = layer->BitmapToClientY(q.Y);
        grip(x, y);
        minX = std::min(minX, x);
        minY = std::min(minY, y);
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
      }
      if (FSelGripExtended) {
        const Integer mx = (minX + maxX) / 2, my = (minY + maxY) / 2;
        grip(mx, minY);
        grip(minX, my);
        grip(maxX, my);
        grip(mx, maxY);
      }
      c->Brush()->SetStyle(bsSolid);
      DrawGrid(minX, minY, maxX, maxY);
    }
    // A selection held only in the mask is outlined from the mask.
    if (ri == 0 && !FSelectionMask->IsEmpty() && !gesture && !FRectMoving) {
      if (FFastFramesCount > 0) continue;
      const Cardinal start = IEOutlineClock();
      const Integer* d = layer->DrawnRect;
      TRect drawn;
      FSelectionMask->DrawOutline(Canvas(), d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], FOutlinePhase,
                                  FOutlineColor1, FOutlineColor2, &drawn);
      FOutlineDrawnRect = drawn;
      const Cardinal ms = IEOutlineClock() - start;
      // A slow outline is redrawn less often.
      if (FOutlineTimingPercent < 0 && (FOwnerPresent || HasParentWindow()) && FOutlineTimer)
        FOutlineTimer->SetInterval(std::max<Cardinal>(210, static_cast<Cardinal>(uint64_t(ms) * 100 / 20)));
      continue;
    }
    rec->DashCounter = rec->Phase;
    if (p.empty()) continue;
    auto notify = [&](Integer point, Integer x, Integer y) {
      if (OnDrawPolygon) OnDrawPolygon(this, static_cast<Integer>(ri), point, Canvas(), x, y);
    };
    if (rect) {
      const Integer x1 = layer->BitmapToClientX(p[0].X), y1 = layer->BitmapToClientY(p[0].Y);
      const Integer x2 = layer->BitmapToClientX(p[2].X) - 1, y2 = layer->BitmapToClientY(p[2].Y) - 1;
      DashedLine(rec, x1, y1, x2, y1);
      notify(1, x2, y1);
      DashedLine(rec, x2, y1, x2, y2);
      notify(2, x2, y2);
      DashedLine(rec, x2, y2, x1, y2);
      notify(3, x1, y2);
      DashedLine(rec, x1, y2, x1, y1);
      notify(0, x1, y1);
      if (FRectSelecting || FRectMoving) DrawGrid(x1, y1, x2, y2);
      continue;
    }
    // Sub-polygons, each closed; the last one stays open while drawn.
    size_t first = 0;
    for (size_t i = 0; i <= p.size(); ++i) {
      const bool end = i == p.size() || p[i].X == IEPolygonSeparator;
      if (!end) {
        if (i > first) {
          const TPoint a = p[i - 1], b = p[i];
          const Integer bx = layer->BitmapToClientX(b.X), by = layer->BitmapToClientY(b.Y);
          DashedLine(rec, layer->BitmapToClientX(a.X), layer->BitmapToClientY(a.Y), bx, by);
          notify(static_cast<Integer>(i), bx, by);
        }
        continue;
      }
      const bool last = i == p.size();
      if (i > first && !(last && FPolygonSelecting)) {
        const TPoint a = p[i - 1], b = p[first];
        const Integer bx = layer->BitmapToClientX(b.X), by = layer->BitmapToClientY(b.Y);
        DashedLine(rec, layer->BitmapToClientX(a.X), layer->BitmapToClientY(a.Y), bx, by);
        notify(static_cast<Integer>(first), bx, by);
      }
      first = i + 1;
    }
  }
}

void TZiduzUvView::SetSelectionGripStyle(TColor PenColor, TColor BrushColor, TBrushStyle BrushStyle, Integer Size,
                                         bool Extended, Integer Shape) {
  FSelGripPenColor = PenColor;
  FSelGripBrushColor = BrushColor;
  FSelGripBrushStyle = BrushStyle;
  FSelGripSize = Size;
  FSelGripExtended = Extended;
  FSelGripShape = Shape;
}
