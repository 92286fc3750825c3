// The splitter: the layout of its two panes and bar, the position rules,
// the bar's painting with its hot spot, and dragging with a ghost bar.
#include "controls/fcsplit.h"

#include <climits>
#include <cmath>

#include "platform/base/sysutils.h"
#include "platform/graphics/resources.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

namespace fcsplit {
namespace {

// Rounded percentages and positions must fit the 32-bit properties.
Integer RoundChecked(double Value) {
  if (!std::isfinite(Value) || Value > 2147483647.0 || Value < -2147483648.0) throw ERangeError("Range check error");
  const int64_t r = Round(Value);
  if (r > INT32_MAX || r < INT32_MIN) throw ERangeError("Range check error");
  return static_cast<Integer>(r);
}

HCURSOR LoadSplitCursor(const char16_t* Name) {
  TGtCursorImage img;
  if (!GtResourceCursor(Name, img)) return nullptr;
  return GtCreateCursor(img.Pixels.data(), img.Width, img.Height, img.HotSpot.X, img.HotSpot.Y);
}

}  // namespace
}  // namespace fcsplit

// ---------------------------------------------------------------------------
// Panes

TFcSplitterPane::TFcSplitterPane(TComponent* AOwner) : TFcCustomPanel(AOwner) {
  SetBorderOuter(fsNone);
  TControlStyle st = ControlStyle();
  st.Include(csAcceptsControls);
  SetControlStyle(st);
  FSplitter = dynamic_cast<TFcSplitter*>(AOwner);
  SetTabStop(false);
}

void TFcSplitterPane::DoEnter() {
  TFcCustomPanel::DoEnter();
  Repaint();
}

void TFcSplitterPane::DoExit() {
  TFcCustomPanel::DoExit();
  Repaint();
}

void TFcSplitterPane::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_NCHITTEST: {
      // An empty pane lets the mouse through to the window beneath; where a
      // graphic control lies on it, the pane keeps the mouse for that control.
      if (ComponentState().Contains(csDesigning)) break;
      const TPoint p = ScreenToClient(TPoint(GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)));
      if (PtInRect(ClientRect(), p) && ControlAtPos(p, false)) break;
      Message.Result = HTTRANSPARENT;
      return;
    }
    case CM_VISIBLECHANGED:
      TFcCustomPanel::WndProc(Message);
      if (FSplitter) FSplitter->LayoutPanes();
      return;
    default: break;
  }
  TFcCustomPanel::WndProc(Message);
}

// ---------------------------------------------------------------------------
// Splitter: construction and layout

TFcSplitter::TFcSplitter(TComponent* AOwner) : TFcCustomPanel(AOwner) {
  TControlStyle st = ControlStyle();
  st.Include(csCaptureMouse);
  st.Include(csOpaque);
  st.Exclude(csAcceptsControls);
  SetControlStyle(st);
  SetBounds(Left(), Top(), 200, 100);
  TFcCustomPanel::SetBorderOuter(fsNone);
  FPane1 = new TFcSplitterPane(this);
  FPane1->SetParent(this);
  FPane2 = new TFcSplitterPane(this);
  FPane2->SetParent(this);
  FUpperLeft = std::make_unique<TFcPaneData>(FPane1);
  FLowerRight = std::make_unique<TFcPaneData>(FPane2);
  FCursorHorz = fcsplit::LoadSplitCursor(u"FCSPLIT_HORZ");
  FCursorHorzHot = fcsplit::LoadSplitCursor(u"FCSPLIT_HORZHOTSPOT");
  FCursorVert = fcsplit::LoadSplitCursor(u"FCSPLIT_VERT");
  FCursorVertHot = fcsplit::LoadSplitCursor(u"FCSPLIT_VERTHOTSPOT");
  // The panes are placed without running the position setter: a new
  // splitter keeps its default percentage until its first resize.
  FConstructing = false;
  LayoutPanes();
}

TFcSplitter::~TFcSplitter() {
  for (HCURSOR c : {FCursorHorz, FCursorHorzHot, FCursorVert, FCursorVertHot})
    if (c) DestroyCursor(c);
  if (FGhostDC) EndGhostDrawing();
  if (FPatternBrush) DeleteObject(FPatternBrush);
}

TFcPaneData* TFcSplitter::GetPaneData(Integer Index) const {
  if (Index == 1) return FUpperLeft.get();
  if (Index == 2) return FLowerRight.get();
  throw ERangeError("Range check error");
}

TRect TFcSplitter::PaneArea() {
  TRect r = ClientRect();
  AdjustFrameRect(r, true);
  return r;
}

Integer TFcSplitter::GetBorderInset() {
  // One frame-width rule with the panel's (fsFlatBold and fsFlatRounded are
  // two pixels wide there too), so the bounds below match the pane area.
  Integer inset = BorderWidth();
  const Integer sides = (HasSide(BorderSides(), sdLeft) ? 1 : 0) + (HasSide(BorderSides(), sdTop) ? 1 : 0);
  for (TFrameStyleEx s : {BorderOuter(), BorderInner()}) inset += FrameStyleWidth(s, BevelWidth()) * sides;
  return inset;
}

void TFcSplitter::CheckPosition(Integer& Position) {
  if (!FPane1->Visible() || !FPane2->Visible()) return;
  const bool free = FHotSpotClosed && FHotSpotIgnoreMargins;
  const Integer lo = free ? 0 : FMarginMin, hi = free ? 0 : FMarginMax;
  if (Position < lo) Position = lo;
  const int64_t max = int64_t(Extent()) - hi - FSplitterWidth - 2 * int64_t(GetBorderInset());
  if (Position > max) Position = static_cast<Integer>(max);
  // A splitter too small for its margins and bar still gives no pane a
  // negative size.
  if (Position < 0) Position = 0;
}

void TFcSplitter::LayoutPanes() {
  if (FConstructing || ComponentState().Contains(csLoading) || !FPane1 || !FPane2) return;
  const TRect r = PaneArea();
  const Integer w = std::max(0, r.Width()), h = std::max(0, r.Height());
  const bool v1 = FPane1->Visible(), v2 = FPane2->Visible();
  const bool horz = FOrientation == orHorizontal;
  auto nonNeg = [](Integer V) { return V < 0 ? 0 : V; };
  DisableAlign();
  try {
    if (v1 && !v2)
      FPane1->SetBounds(r.Left, r.Top, w, h);
    else if (v1 && v2)
      FPane1->SetBounds(r.Left, r.Top, horz ? nonNeg(std::min(FPosition, w)) : w,
                        horz ? h : nonNeg(std::min(FPosition, h)));
    else
      FPane1->SetBounds(r.Left, r.Top, horz ? 0 : w, horz ? h : 0);
    const Integer thick = v1 && v2 ? FSplitterWidth : 0;
    const Integer at = v1 && v2 ? FPosition : 0;
    FBarRect = horz ? TRect(r.Left + at, r.Top, r.Left + at + thick, r.Top + h)
                    : TRect(r.Left, r.Top + at, r.Left + w, r.Top + at + thick);
    UpdateHotSpotRect();
    if (v2 && !v1)
      FPane2->SetBounds(r.Left, r.Top, w, h);
    else if (v1 && v2) {
      if (horz)
        FPane2->SetBounds(r.Left + FPosition + FSplitterWidth, r.Top, nonNeg(w - FPosition - FSplitterWidth), h);
      else
        FPane2->SetBounds(r.Left, r.Top + FPosition + FSplitterWidth, w, nonNeg(h - FPosition - FSplitterWidth));
    } else {
      FPane2->SetBounds(r.Left, r.Top, horz ? 0 : w, horz ? h : 0);
    }
    for (TFcSplitterPane* pane : {FPane1, FPane2})
      for (Integer i = 0; i < pane->ControlCount(); ++i)
        if (auto* inner = dynamic_cast<TFcSplitter*>(pane->Controls(i))) inner->LayoutPanes();
  } catch (...) {
    EnableAlign();
    throw;
  }
  EnableAlign();
  if (FRealTimeDrag) {
    FPane1->Repaint();
    FPane2->Repaint();
  }
  DrawSplitterBar();
}

void TFcSplitter::UpdateFixedPaneSize() {
  FFixedPaneSize = FFixedPane == fpUpperLeft ? FPosition : Extent() - FPosition;
}

void TFcSplitter::SetPreferredPosition(Integer Value) {
  FPreferredPosition = FFixedPane == fpUpperLeft ? Value : Extent() - Value;
}

void TFcSplitter::MoveBar(Integer Value) {
  if (Value == FPosition) return;
  SetPosition(Value);
  SetPreferredPosition(FPosition);
}

void TFcSplitter::ResetHotSpot() { FHotSpotClosed = FHotSpotClosedToMin = FHotSpotClosedToMax = false; }

void TFcSplitter::UpdateHotSpotRect() {
  const TRect& b = FBarRect;
  if (FOrientation == orVertical) {
    const Integer c = b.Left + b.Width() / 2;
    const Integer h = fcsplit::RoundChecked(FHotSpotSizePercent / 100.0 * b.Width()) / 2;
    FHotSpotRect = TRect(c - h, b.Top, c + h, b.Bottom);
  } else {
    const Integer c = b.Top + b.Height() / 2;
    const Integer h = fcsplit::RoundChecked(FHotSpotSizePercent / 100.0 * b.Height()) / 2;
    FHotSpotRect = TRect(b.Left, c - h, b.Right, c + h);
  }
}

// ---------------------------------------------------------------------------
// Position rules

void TFcSplitter::SetPosition(Integer Value) {
  if (!FInResize && Value == FPosition) return;
  CheckPosition(Value);
  if (!DoChanging(Value)) return;
  FPosition = Value;
  const Integer base = Base();
  // From the clamped position: Percent read back may differ from one just set.
  FPercent = base == 0 ? 0 : fcsplit::RoundChecked(double(FPosition) / base * 100);
  LayoutPanes();
  UpdateFixedPaneSize();
  DoChange();
}

void TFcSplitter::SetPercent(Integer Value) {
  if (FPercent == Value) return;
  FPercent = Value;
  if (ComponentState().Contains(csLoading)) return;
  FUsePercent = true;
  SetPosition(fcsplit::RoundChecked(Value / 100.0 * Base()));
}

void TFcSplitter::SetUsePercent(bool Value) {
  if (FUsePercent == Value) return;
  FUsePercent = Value;
  if (!Value) return;
  FFixedPane = fpUpperLeft;
  SetPercentMin(FPercentMin);
  SetPercentMax(FPercentMax);
}

void TFcSplitter::SetPercentMin(Integer Value) {
  FPercentMin = Value < 0 ? 0 : Value;
  if (!ComponentState().Contains(csLoading) && FUsePercent)
    SetMarginMin(fcsplit::RoundChecked(FPercentMin / 100.0 * Base()));
}

void TFcSplitter::SetPercentMax(Integer Value) {
  FPercentMax = Value > 100 ? 100 : Value;
  if (!ComponentState().Contains(csLoading) && FUsePercent)
    SetMarginMax(Base() - fcsplit::RoundChecked(FPercentMax / 100.0 * Base()));
}

void TFcSplitter::RecomputeMargins() {
  SetPercentMin(FPercentMin);
  SetPercentMax(FPercentMax);
}

void TFcSplitter::SetMarginMin(Integer Value) {
  FMarginMin = Value < 0 ? 0 : Value;
  if (int64_t(FMarginMin) + FMarginMax > Extent()) FMarginMin = Extent() - FMarginMax;
}

void TFcSplitter::SetMarginMax(Integer Value) {
  FMarginMax = Value < 0 ? 0 : Value;
  if (int64_t(FMarginMin) + FMarginMax > Extent()) FMarginMax = Extent() - FMarginMin;
}

void TFcSplitter::SetFixedPane(TFixedPane Value) {
  if (FFixedPane == Value) return;
  FFixedPane = Value;
  if (Value == fpLowerRight) FUsePercent = false;
  SetPreferredPosition(FPosition);
  UpdateFixedPaneSize();
}

void TFcSplitter::Resize() {
  TFcCustomPanel::Resize();
  if (FConstructing || !FPane1 || ComponentState().Contains(csWriting) || ComponentState().Contains(csDestroying))
    return;
  FInResize = true;
  try {
    const bool open = !FHotSpotClosed;
    if (FFixedPane == fpUpperLeft && FUsePercent) {
      RecomputeMargins();
      if (FHotSpotClosedToMin)
        SetPosition(0);
      else if (FHotSpotClosed)
        SetPosition(Base());
      else
        SetPosition(fcsplit::RoundChecked(FPercent / 100.0 * Base()));
    } else if (FFixedPane == fpUpperLeft) {
      if (FHotSpotClosedToMin)
        SetPosition(0);
      else if (FHotSpotClosed)
        SetPosition(INT_MAX);
      else
        SetPosition(FPosition);
      // Back to where the user put the bar once there is room again.
      if (open && FPreferredPosition > FPosition) SetPosition(FPreferredPosition);
    } else {
      SetPosition(static_cast<Integer>(int64_t(Extent()) - FFixedPaneSize));
      if (open && Extent() - FPosition < FPreferredPosition) SetPosition(Extent() - FPreferredPosition);
      if (!open) FRestorePosition = Extent() - FPreferredPosition;
    }
  } catch (...) {
    FInResize = false;
    throw;
  }
  FInResize = false;
}

void TFcSplitter::SetOrientation(TOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  if (FUsePercent) {
    SetPosition(fcsplit::RoundChecked(FPercent / 100.0 * Base()));
    RecomputeMargins();
  }
  LayoutPanes();
  DrawSplitterBar();
}

void TFcSplitter::SetSplitterWidth(Word Value) {
  if (FSplitterWidth == Value) return;
  FSplitterWidth = Value;
  if (FOrientation == orVertical)
    FBarRect.Bottom = FBarRect.Top + Value;
  else
    FBarRect.Right = FBarRect.Left + Value;
  LayoutPanes();
  Repaint();
}

void TFcSplitter::SetSplitterStyle(TSplitterStyle Value) {
  if (FSplitterStyle == Value) return;
  FSplitterStyle = Value;
  if (Value != ssStandard && FSplitterWidth < 6) SetSplitterWidth(6);
  Repaint();
}

void TFcSplitter::SetHotSpotVisible(bool Value) {
  if (FHotSpotVisible == Value) return;
  FHotSpotVisible = Value;
  if (Value && FSplitterWidth < 7) SetSplitterWidth(7);
  Repaint();
}

void TFcSplitter::SetHotSpotSizePercent(Integer Value) {
  if (FHotSpotSizePercent == Value) return;
  FHotSpotSizePercent = Value;
  UpdateHotSpotRect();
  Repaint();
}

#define FC_SPLIT_SETTER(Name, Type, Field) \
  void TFcSplitter::Set##Name(Type Value) { \
    if (Field == Value) return;             \
    Field = Value;                          \
    Repaint();                              \
  }
FC_SPLIT_SETTER(HotSpotColor, TColor, FHotSpotColor)
FC_SPLIT_SETTER(HotSpotDotColor, TColor, FHotSpotDotColor)
FC_SPLIT_SETTER(HotSpotFrameColor, TColor, FHotSpotFrameColor)
FC_SPLIT_SETTER(HotSpotHighlight, TColor, FHotSpotHighlight)
FC_SPLIT_SETTER(HotSpotDirection, THotSpotDirection, FHotSpotDirection)
FC_SPLIT_SETTER(GradientColorAdjustment, Integer, FGradientColorAdjustment)
FC_SPLIT_SETTER(GradientPath, TFcGroupBarGradientPath, FGradientPath)
#undef FC_SPLIT_SETTER

void TFcSplitter::SetBorderInner(TFrameStyleEx Value) {
  if (BorderInner() == Value) return;
  TFcCustomPanel::SetBorderInner(Value);
  LayoutPanes();
}

void TFcSplitter::SetBorderOuter(TFrameStyleEx Value) {
  if (BorderOuter() == Value) return;
  TFcCustomPanel::SetBorderOuter(Value);
  LayoutPanes();
}

void TFcSplitter::SetBorderSides(TSides Value) {
  if (BorderSides() == Value) return;
  TFcCustomPanel::SetBorderSides(Value);
  LayoutPanes();
}

void TFcSplitter::SetBorderWidth(Integer Value) {
  if (BorderWidth() == Value) return;
  TFcCustomPanel::SetBorderWidth(Value);
  LayoutPanes();
}

void TFcSplitter::SetTransparent(bool Value) {
  TFcCustomPanel::SetTransparent(Value);
  FPane1->SetTransparent(Value);
  FPane2->SetTransparent(Value);
}

void TFcSplitter::SetParentColor(bool Value) {
  TFcCustomPanel::SetParentColor(Value);
  FPane1->SetParentColor(Value);
  FPane2->SetParentColor(Value);
}

void TFcSplitter::DoChange() {
  if (OnChange) OnChange(this);
}

bool TFcSplitter::DoChanging(Integer NewPos) {
  bool allow = true;
  if (OnChanging) OnChanging(this, NewPos, allow);
  return allow;
}

void TFcSplitter::DoHotSpotClick() {
  if (OnHotSpotClick) OnHotSpotClick(this);
}

// ---------------------------------------------------------------------------
// Painting the bar and the hot spot

void TFcSplitter::Paint() {
  TFcCustomPanel::Paint();
  DrawSplitterBar();
}

void TFcSplitter::DrawSplitterBar() {
  if (!HandleAllocated()) return;
  TCanvas* c = Canvas();
  const TRect& b = FBarRect;
  if (FSplitterStyle == ssGroove || FSplitterStyle == ssBump) {
    c->Pen()->SetStyle(psClear);
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->Rectangle(b.Left, b.Top, b.Right + 1, b.Bottom + 1);
    c->Pen()->SetStyle(psSolid);
    const TFrameStyleEx style = FSplitterStyle == ssGroove ? fsStatus : fsPopup;
    TRect ignored;
    if (FOrientation == orVertical) {
      const Integer mid = b.Top + b.Height() / 2;
      PaintStyleFrame(c, TRect(b.Left, mid - 3, b.Right, mid), style, ignored);
      PaintStyleFrame(c, TRect(b.Left, mid, b.Right, mid + 3), style, ignored);
    } else {
      const Integer mid = b.Left + b.Width() / 2;
      PaintStyleFrame(c, TRect(mid - 3, b.Top, mid, b.Bottom), style, ignored);
      PaintStyleFrame(c, TRect(mid, b.Top, mid + 3, b.Bottom), style, ignored);
    }
  } else if (FSplitterStyle == ssGroupBar && VisualStyle() != vsClassic) {
    PaintBarBackground(c, b, VisualStyle(), GradientColorStyle(), FGradientPath == gpBottomToTop,
                       GradientColorStart(), GradientColorStop());
  } else if (!FullRepaint()) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->FillRect(b);
  }
  if (!FHotSpotVisible) return;
  if (FRefreshAfterRelease) {
    const TPoint p = MousePosition();
    DrawHotSpot(PtInRect(FHotSpotRect, p) != 0, p);
    FRefreshAfterRelease = false;
  } else {
    DrawHotSpot(false, TPoint(0, 0));
  }
}

void TFcSplitter::DrawHotSpot(bool Highlighted, TPoint P) {
  if (!HandleAllocated()) return;
  TCanvas* c = Canvas();
  const TRect hs = FHotSpotRect;
  TRect in;
  PaintSides(c, hs, FHotSpotFrameColor, FHotSpotFrameColor, sdAll, in);
  const Integer cx = hs.Left + hs.Width() / 2, cy = hs.Top + hs.Height() / 2;
  const bool vert = FOrientation == orVertical;
  const bool both = FHotSpotDirection == hsdBoth;
  c->Brush()->SetStyle(bsSolid);
  if (both) {
    c->Brush()->SetColor(FHotSpotColor);
    c->FillRect(in);
    if (Highlighted) {
      TRect half = in;
      if (!FHotSpotClosed) {
        if (vert) {
          if (P.X < cx) half.Right = cx; else half.Left = cx;
        } else {
          if (P.Y < cy) half.Bottom = cy; else half.Top = cy;
        }
      }
      c->Brush()->SetColor(FHotSpotHighlight);
      c->FillRect(half);
    }
  } else {
    c->Brush()->SetColor(Highlighted ? FHotSpotHighlight : FHotSpotColor);
    c->FillRect(in);
  }
  if (both && !FHotSpotClosed) {
    c->Pen()->SetStyle(psSolid);
    c->Pen()->SetColor(FHotSpotFrameColor);
    if (vert) {
      c->MoveTo(cx, hs.Top);
      c->LineTo(cx, hs.Bottom);
    } else {
      c->MoveTo(hs.Left, cy);
      c->LineTo(hs.Right, cy);
    }
  }
  // Arrows: true points toward the minimum (up or left).
  bool first = true, second = true;
  switch (FHotSpotDirection) {
    case hsdMin: first = second = !FHotSpotClosed; break;
    case hsdMax: first = second = FHotSpotClosed; break;
    case hsdBoth:
      if (!FHotSpotClosed) {
        first = true;
        second = false;
      } else {
        first = second = !FHotSpotClosedToMin;
      }
      break;
  }
  c->Pen()->SetStyle(psSolid);
  c->Pen()->SetColor(FHotSpotDotColor);
  c->Brush()->SetColor(FHotSpotDotColor);
  auto arrow = [&](Integer A, Integer B, bool TowardMin) {
    TPoint pts[3];
    if (vert) {
      if (TowardMin) {
        pts[0] = TPoint(A - 2, B + 1), pts[1] = TPoint(A, B - 1), pts[2] = TPoint(A + 2, B + 1);
      } else {
        pts[0] = TPoint(A - 2, B - 1), pts[1] = TPoint(A, B + 1), pts[2] = TPoint(A + 2, B - 1);
      }
    } else if (TowardMin) {
      pts[0] = TPoint(A + 1, B - 2), pts[1] = TPoint(A - 1, B), pts[2] = TPoint(A + 1, B + 2);
    } else {
      pts[0] = TPoint(A - 1, B - 2), pts[1] = TPoint(A + 1, B), pts[2] = TPoint(A - 1, B + 2);
    }
    c->Polygon(pts, 3);
  };
  if (vert) {
    arrow(hs.Left + 8, cy, first);
    arrow(hs.Right - 8, cy, second);
  } else {
    arrow(cx, hs.Top + 8, first);
    arrow(cx, hs.Bottom - 8, second);
  }
  const Integer length = vert ? hs.Width() : hs.Height();
  const Integer last = (length - 32) / 3;  // truncates toward zero
  const Integer centre = vert ? cx : cy;
  for (Integer i = 0; i <= last; ++i) {
    const Integer at = (vert ? hs.Left : hs.Top) + 15 + 3 * i;
    if (both && !FHotSpotClosed && std::abs(at - centre) <= 3) continue;
    if (vert)
      c->SetPixels(at, cy, FHotSpotDotColor);
    else
      c->SetPixels(cx, at, FHotSpotDotColor);
  }
}

void TFcSplitter::UpdateHotSpotHover() {
  if (!FHotSpotVisible) return;
  const TPoint p = MousePosition();
  if (PtInRect(FHotSpotRect, p)) {
    if (FHotSpotNormal || FHotSpotDirection == hsdBoth) DrawHotSpot(true, p);
    FHotSpotNormal = false;
  } else {
    if (!FHotSpotNormal) DrawHotSpot(false, p);
    FHotSpotNormal = true;
  }
}

// ---------------------------------------------------------------------------
// Dragging

void TFcSplitter::BeginGhostDrawing() {
  // Drawn over the parent and its children (the panes), where the whole
  // bar's travel lies; without a parent, on the screen.
  TWinControl* parent = Parent();
  FGhostWnd = parent && IsWindowsVersion(wkWindowsVista) ? parent->Handle() : nullptr;
  FGhostDC = FGhostWnd ? GetDCEx(FGhostWnd, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS | DCX_LOCKWINDOWUPDATE)
                       : GetDC(nullptr);
  if (FRealTimeDrag || !FGhostDC) return;
  if (!FPatternBrush) {
    uint16_t rows[8];
    // One bit per pixel, white (1) where x and y have the same parity.
    for (Integer y = 0; y < 8; ++y) rows[y] = static_cast<uint16_t>(y % 2 == 0 ? 0xAA : 0x55);
    HBITMAP bits = CreateBitmap(8, 8, 1, 1, rows);
    FPatternBrush = CreatePatternBrush(bits);
    DeleteObject(bits);
  }
  FOldBrush = SelectObject(FGhostDC, FPatternBrush);
}

void TFcSplitter::EndGhostDrawing() {
  if (FGhostDC) {
    if (FOldBrush) SelectObject(FGhostDC, FOldBrush);
    ReleaseDC(FGhostWnd, FGhostDC);
  }
  FOldBrush = nullptr;
  FGhostDC = nullptr;
  FGhostWnd = nullptr;
  if (FPatternBrush) DeleteObject(FPatternBrush);
  FPatternBrush = nullptr;
}

void TFcSplitter::DrawGhostBar(Integer Position) {
  if (FRealTimeDrag || !FGhostDC) return;
  const Integer inset = GetBorderInset();
  TPoint p(inset, inset);
  if (FOrientation == orHorizontal)
    p.X += Position;
  else
    p.Y += Position;
  p = FGhostWnd ? TPoint(p.X + Left(), p.Y + Top()) : ClientToScreen(p);
  // Inverting twice restores: the same call draws and erases.
  PatBlt(FGhostDC, p.X, p.Y, FBarRect.Width(), FBarRect.Height(), PATINVERT);
}

void TFcSplitter::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TFcCustomPanel::MouseDown(Button, Shift, X, Y);
  const TPoint p(X, Y);
  if (Button != mbLeft || !PtInRect(FBarRect, p)) return;
  const bool onHotSpot = FHotSpotVisible && PtInRect(FHotSpotRect, p);
  if (FLockBar && !onHotSpot) return;
  if (!FRealTimeDrag && CanFocus()) SetFocus();
  SetMouseCapture(true);
  FDragging = true;
  if (onHotSpot) FHotSpotPressed = true;
  FAnchor = Along(X, Y) - Extent() / 2;
  BeginGhostDrawing();
  FDragStart = FPosition;
  DrawGhostBar(FPosition);
  FLastGhost = FPosition;
}

void TFcSplitter::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TFcCustomPanel::MouseMove(Shift, X, Y);
  if ((FHotSpotPressed && FLockBar) || !FDragging) return;
  Integer pos = Along(X, Y) + FDragStart - Extent() / 2 - FAnchor;
  CheckPosition(pos);
  if (!DoChanging(pos)) return;
  if (pos != FLastGhost) {
    // A drag reopens a closed hot spot and turns a press on it into a drag.
    FHotSpotClosed = FHotSpotClosedToMin = FHotSpotClosedToMax = FHotSpotPressed = false;
    DrawGhostBar(FLastGhost);
    DrawGhostBar(pos);
    if (FRealTimeDrag) {
      SetPosition(pos);
      FPreferredPosition = FFixedPane == fpUpperLeft ? pos : Extent() - pos;
    }
  }
  FLastGhost = pos;
}

void TFcSplitter::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TFcCustomPanel::MouseUp(Button, Shift, X, Y);
  if (!((FDragging && Button == mbLeft) || FHotSpotPressed)) return;
  FDragging = false;
  SetMouseCapture(false);
  if (!FRealTimeDrag) {
    DrawGhostBar(FLastGhost);
    SetPosition(FLastGhost);
    SetPreferredPosition(FLastGhost);
  }
  if (FHotSpotPressed) {
    FHotSpotPressed = false;
    if (PtInRect(FHotSpotRect, TPoint(X, Y))) {
      if (FHotSpotClosed) {
        FHotSpotClosed = FHotSpotClosedToMin = FHotSpotClosedToMax = false;
        SetPosition(FRestorePosition);
        SetPreferredPosition(FPosition);
      } else {
        FRestorePosition = FPosition;
        FHotSpotClosed = true;
        const bool firstHalf = FOrientation == orVertical ? X < FHotSpotRect.Left + FHotSpotRect.Width() / 2
                                                          : Y < FHotSpotRect.Top + FHotSpotRect.Height() / 2;
        if (FHotSpotDirection == hsdMin || (FHotSpotDirection == hsdBoth && firstHalf)) {
          FHotSpotClosedToMin = true;
          SetPosition(0);
        } else {
          FHotSpotClosedToMax = true;
          SetPosition(INT_MAX);
        }
      }
      DoHotSpotClick();
    }
  }
  EndGhostDrawing();
  FRefreshAfterRelease = true;
}

void TFcSplitter::KeyDown(Word& Key, TShiftState Shift) {
  TFcCustomPanel::KeyDown(Key, Shift);
  if (Key != VK_ESCAPE || !FDragging) return;
  FDragging = false;
  SetMouseCapture(false);
  FHotSpotPressed = false;
  if (!FRealTimeDrag) {
    DrawGhostBar(FLastGhost);
    SetPreferredPosition(FPosition);
  }
  EndGhostDrawing();
}

void TFcSplitter::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_SETCURSOR: {
      UpdateHotSpotHover();
      const TPoint p = MousePosition();
      if (!PtInRect(FBarRect, p) || FLockBar) break;
      const bool hot = FHotSpotVisible && PtInRect(FHotSpotRect, p);
      HCURSOR cur = FOrientation == orVertical ? (hot ? FCursorVertHot : FCursorVert)
                                               : (hot ? FCursorHorzHot : FCursorHorz);
      if (!cur) break;
      ::SetCursor(cur);
      Message.Result = 1;
      return;
    }
    case CM_MOUSELEAVE:
      TFcCustomPanel::WndProc(Message);
      UpdateHotSpotHover();
      return;
    case WM_SHOWWINDOW:
      TFcCustomPanel::WndProc(Message);
      if (!ComponentState().Contains(csDestroying)) {
        FPane2->Repaint();
        FPane1->Repaint();
      }
      return;
    default: break;
  }
  TFcCustomPanel::WndProc(Message);
}
