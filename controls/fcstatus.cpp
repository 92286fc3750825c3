// The status bar and its status panes.
#include "controls/fcstatus.h"

#include <algorithm>

#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

namespace {

// SC_SIZE with the bottom-right edge: the system's own sizing of the form.
constexpr WPARAM kScSizeBottomRight = 0xF008;

// The frame of the bar or of a pane: flat is a one-pixel outline without its
// corner pixels in the flat colour adjusted by Adjustment; every other style
// is the common frame painter's.
void PaintPaneFrame(TCanvas* c, const TRect& R, TFrameStyleEx Style, TColor Flat, Integer Adjustment) {
  if (Style != fsFlat) {
    TRect ignored;
    PaintStyleFrame(c, R, Style, ignored);
    return;
  }
  c->Pen()->SetColor(AdjustLightness(Flat, Adjustment));
  c->MoveTo(R.Left, R.Top + 1);
  c->LineTo(R.Left, R.Bottom - 1);
  c->MoveTo(R.Left + 1, R.Top);
  c->LineTo(R.Right - 1, R.Top);
  c->MoveTo(R.Right - 1, R.Top + 1);
  c->LineTo(R.Right - 1, R.Bottom - 1);
  c->MoveTo(R.Left + 1, R.Bottom - 1);
  c->LineTo(R.Right - 1, R.Bottom - 1);
}

}  // namespace

TFcStatusBar::TFcStatusBar(TComponent* AOwner) : TFcCustomPanel(AOwner) {
  SetAlign(alBottom);
  TFcCustomPanel::SetBorderInner(fsNone);
  TFcCustomPanel::SetBorderOuter(fsNone);
  TFcCustomPanel::SetBorderSides(sdAll);
  SetHeight(19);
  SetBorderWidth(0);
  FAutoStyle = true;
}

TFcStatusBar::~TFcStatusBar() = default;

void TFcStatusBar::Loaded() {
  if (FAutoStyle) ApplyAutoStyle();
}

void TFcStatusBar::ApplyAutoStyle() {
  const bool keep = FAutoStyle;
  SetBorderInner(fsNone);
  SetBorderOuter(fsNone);
  SetBorderSides(sdAll);
  SetHeight(19);
  SetBorderWidth(0);
  FAutoStyle = keep;
}

void TFcStatusBar::SetBorderInner(TFrameStyleEx Value) {
  if (Value == BorderInner()) return;
  TFcCustomPanel::SetBorderInner(Value);
  FAutoStyle = false;
}

void TFcStatusBar::SetBorderOuter(TFrameStyleEx Value) {
  if (Value == BorderOuter()) return;
  TFcCustomPanel::SetBorderOuter(Value);
  FAutoStyle = false;
}

void TFcStatusBar::SetBorderSides(TSides Value) {
  if (Value == BorderSides()) return;
  TFcCustomPanel::SetBorderSides(Value);
  FAutoStyle = false;
}

bool TFcStatusBar::GripActive() {
  auto* form = dynamic_cast<TCustomForm*>(GetParentForm(this));
  FGripActive = form && (form->BorderStyle() == bsSizeable || form->BorderStyle() == bsSizeToolWin) &&
                form->WindowState() != wsMaximized;
  return FGripActive;
}

void TFcStatusBar::SetShowSizeGrip(bool Value) {
  if (FShowSizeGrip == Value) return;
  FShowSizeGrip = Value;
  GripActive();
  Invalidate();
}

void TFcStatusBar::SetSimpleCaption(const WideString& Value) {
  if (FSimpleCaption == Value) return;
  FSimpleCaption = Value;
  Invalidate();
}

void TFcStatusBar::SetSimpleFrameStyle(TFrameStyle Value) {
  if (FSimpleFrameStyle == Value) return;
  FSimpleFrameStyle = Value;
  Invalidate();
}

void TFcStatusBar::SetSimpleStatus(bool Value) {
  if (FSimpleStatus == Value) return;
  FSimpleStatus = Value;
  DisableAlign();
  try {
    if (Value) {
      // Remember who was hidden already: leaving simple mode must not show
      // the panes the program keeps hidden.
      FSimpleHidden.clear();
      for (Integer i = 0; i < ControlCount(); ++i) {
        FSimpleHidden.emplace_back(Controls(i), Controls(i)->Visible());
        Controls(i)->SetVisible(false);
      }
    } else {
      for (Integer i = 0; i < ControlCount(); ++i) {
        TControl* c = Controls(i);
        auto it = std::find_if(FSimpleHidden.begin(), FSimpleHidden.end(), [&](auto& e) { return e.first == c; });
        c->SetVisible(it == FSimpleHidden.end() || it->second);
      }
      FSimpleHidden.clear();
    }
  } catch (...) {
    EnableAlign();
    throw;
  }
  EnableAlign();
  Invalidate();
}

TRect TFcStatusBar::ClientRect() {
  TRect r = TFcCustomPanel::ClientRect();
  // The classic status bar reaches one pixel past its client edges.
  if (!FcThemesEnabled()) {
    r.Bottom += 1;
    if (FSimpleStatus) {
      r.Top = 2;
    } else {
      r.Top = 1;
      r.Left -= 1;
      r.Right += 1;
    }
  } else if (FSimpleStatus) {
    r.Left += 1;
    r.Top += 1;
    r.Right -= 1;
  }
  return r;
}

void TFcStatusBar::GetGradientColors(TColor& Start, TColor& Stop) {
  if (GradientColorStyle() == gcsCustom) {
    Start = GradientColorStop();
    Stop = GradientColorStart();
  } else {
    TColor line;
    StatusGradientColorsForStyle(GradientColorStyle(), Start, Stop, line);
  }
}

void TFcStatusBar::DrawSimpleFrame(TRect R) {
  if (VisualStyle() != vsClassic) return;
  TCanvas* c = Canvas();
  c->Pen()->SetWidth(1);
  PaintPaneFrame(c, R, FSimpleFrameStyle, FlatColor(), FlatColorAdjustment());
}

bool TFcStatusBar::ThemeInUse() const { return VisualStyle() == vsWinXP && FcThemesEnabled(); }

bool TFcStatusBar::CopyThemedBackground(TControl* Child, HDC DC, const TRect& R) {
  const Integer w = Width(), h = Height();
  if (w <= 0 || h <= 0) return false;
  const TFcThemeData theme(HandleAllocated() ? Handle() : nullptr, u"STATUS");
  if (!theme) return false;
  TBitmap back;
  back.SetPixelFormat(pf24bit);
  back.SetSize(w, h);
  if (!theme.Draw(back.Canvas()->Handle(), 0, 0, TRect(0, 0, w, h))) return false;
  BitBlt(DC, R.Left, R.Top, R.Width(), R.Height(), back.Canvas()->Handle(), Child->Left() + R.Left,
         Child->Top() + R.Top, SRCCOPY);
  return true;
}

bool TFcStatusBar::PaintThemed() {
  const TFcThemeData theme(Handle(), u"STATUS");
  if (!theme) return false;
  TCanvas* c = Canvas();
  c->SetFont(Font());
  c->RequiredState(csHandleValid | csFontValid);
  HDC dc = c->Handle();
  theme.Draw(dc, 0, 0, TRect(0, 0, Width(), Height()));
  if (FSimpleStatus && !FSimpleCaption.empty()) {
    const TRect r = ClientRect();
    DrawThemeText(theme.Handle(), dc, 0, 0, FSimpleCaption.c_str(), static_cast<Integer>(FSimpleCaption.size()),
                  DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER, 0, &r);
  }
  return true;
}

void TFcStatusBar::Paint() {
  if (ThemeInUse() && PaintThemed()) {
    if (FShowSizeGrip && GripActive()) DrawGrip();
    return;
  }
  TFcCustomPanel::Paint();
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  --r.Bottom;
  if (FSimpleStatus) {
    DrawSimpleFrame(r);
    InflateRect(r, -1, -1);
  }
  if (FSimpleStatus && !FSimpleCaption.empty()) {
    c->SetFont(Font());
    c->Brush()->SetStyle(bsClear);
    c->TextRect(r, r.Left + 2, r.Top + (r.Height() - c->TextHeight(u"Pp")) / 2, FSimpleCaption);
    c->Brush()->SetStyle(bsSolid);
  }
  if (FShowSizeGrip && GripActive()) DrawGrip();
}

void TFcStatusBar::DrawGrip() {
  TCanvas* c = Canvas();
  TRect r = ClientRect();
  --r.Bottom;
  if (ThemeInUse()) {
    const TFcThemeData theme(Handle(), u"STATUS");
    if (theme.Draw(c->Handle(), SP_GRIPPER, 0, TRect(r.Right - 20, r.Top, r.Right, r.Bottom))) return;
  }
  TColor light = clBtnHighlight, dark = clBtnShadow;
  if (VisualStyle() == vsGradient) {
    TColor d;
    StatusGradientColorsForStyle(GradientColorStyle(), d, light, dark);
  }
  const TPoint at[6] = {{r.Right - 5, r.Bottom - 12}, {r.Right - 5, r.Bottom - 8}, {r.Right - 5, r.Bottom - 4},
                        {r.Right - 9, r.Bottom - 8},  {r.Right - 9, r.Bottom - 4}, {r.Right - 13, r.Bottom - 4}};
  auto squares = [&](TColor Color, Integer D) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color);
    for (const TPoint& p : at) c->FillRect(TRect(p.X + D, p.Y + D, p.X + D + 2, p.Y + D + 2));
  };
  squares(light, 0);
  squares(dark, -1);
}

void TFcStatusBar::WndProc(TMessage& Message) {
  if (Message.Msg == WM_LBUTTONDOWN && FShowSizeGrip && GripActive()) {
    const TPoint p(static_cast<int16_t>(Message.LParam & 0xFFFF), static_cast<int16_t>((Message.LParam >> 16) & 0xFFFF));
    if (PtInRect(GripRect(), p)) {
      ReleaseCapture();
      if (TCustomForm* form = GetParentForm(this)) form->Perform(WM_SYSCOMMAND, kScSizeBottomRight, 0);
      return;
    }
  }
  if (Message.Msg == WM_SETCURSOR && FShowSizeGrip && GripActive()) {
    TPoint p;
    GetCursorPos(&p);
    if (PtInRect(GripRect(), ScreenToClient(p))) {
      ::SetCursor(Screen->Cursors(crSizeNWSE));
      Message.Result = 1;
      return;
    }
  }
  TFcCustomPanel::WndProc(Message);
  // The client rectangle depends on whether themes are in use: the panes
  // are placed again.
  if (Message.Msg == WM_THEMECHANGED) Realign();
}

void TFcStatusBar::Resize() {
  TFcCustomPanel::Resize();
  if (Width() < 50) return;
  Integer change = 0;
  if (FFirstResize) {
    FFirstResize = false;
    FLastWidth = Width();
  } else {
    change = Width() - FLastWidth;
  }
  if (FAutoScalePanes && ControlCount() > 0 && change != 0) {
    DisableAlign();
    for (Integer i = 0; i < ControlCount(); ++i) {
      TControl* c = Controls(i);
      const double grow = FLastWidth > 0 ? double(change) * c->Width() / FLastWidth : double(change) / ControlCount();
      c->SetWidth(c->Width() + static_cast<Integer>(Round(grow)));
    }
    EnableAlign();
  }
  FLastWidth = Width();
}

// ---------------------------------------------------------------------------
// Status pane

TFcCustomStatusPane::TFcCustomStatusPane(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(Left(), Top(), 100, 20);
  SetParentColor(true);
  TControlStyle st = ControlStyle();
  st.Exclude(csOpaque);
  SetControlStyle(st);
  FFillColor = Color();
  FNormalTextColor = FCurrentTextColor = Font()->Color();
  if (!BlinkingControls) BlinkingControls = new TFcBlinkingControlsList;
  BlinkingControls->AddBlinkingControl(this);
}

TFcCustomStatusPane::~TFcCustomStatusPane() {
  FFrame.Detach(this);
  if (BlinkingControls) BlinkingControls->RemoveBlinkingControl(this);
  ReleaseBlinkListIfEmpty();
}

bool TFcCustomStatusPane::InThemedStatusBar() const {
  auto* bar = dynamic_cast<TFcStatusBar*>(Parent());
  return bar && bar->ThemeInUse();
}

Integer TFcCustomStatusPane::AutoWidth(TCanvas* Canvas) {
  const WideString text = Caption();
  if (text.empty()) return FDefaultWidth;
  Canvas->SetFont(Font());
  TRect r(0, 0, 0, 0);
  DrawTextOn(Canvas, text, r, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
  return r.Width() + 2 * FBorderWidth + FCaptionOffset + 6;
}

void TFcCustomStatusPane::AdjustSize() {
  if (!FAutoSize || ComponentState().Contains(csReading)) return;
  // Measured on a screen context, so that a pane not yet shown can size itself.
  HDC dc = GetDC(nullptr);
  TCanvas canvas;
  canvas.SetHandle(dc);
  const Integer w = AutoWidth(&canvas);
  canvas.SetHandle(nullptr);
  ReleaseDC(nullptr, dc);
  SetWidth(w);
}

void TFcCustomStatusPane::Loaded() {
  if (!ParentColor()) SetTransparent(false);
  FNormalTextColor = FCurrentTextColor = Font()->Color();
  AdjustSize();
}

TRect TFcCustomStatusPane::TextRect() {
  TRect r = ClientRect();
  Integer d = FBorderWidth;
  switch (FFrameStyle) {
    case fsNone: break;
    case fsFlat:
    case fsStatus:
    case fsPopup: d += 1; break;
    default: d += 2; break;
  }
  InflateRect(r, -d, -d);
  return r;
}

void TFcCustomStatusPane::DrawFrame() {
  TCanvas* c = Canvas();
  if (InThemedStatusBar()) {
    auto* bar = static_cast<TFcStatusBar*>(Parent());
    const TFcThemeData theme(bar->Handle(), u"STATUS");
    if (theme.Draw(c->Handle(), SP_PANE, 0, ClientRect())) return;
  }
  TRect r(0, 0, Width(), Height());
  if (!FTransparent) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->FillRect(r);
  }
  c->Pen()->SetWidth(1);
  InflateRect(r, -FBorderWidth, -FBorderWidth);
  if (auto* bar = dynamic_cast<TFcStatusBar*>(Parent()); bar && bar->VisualStyle() == vsGradient) {
    // Only a separator, and none for the leftmost pane.
    if (bar->BorderWidth() < Left()) {
      TColor dark, light, line;
      StatusGradientColorsForStyle(bar->GradientColorStyle(), dark, light, line);
      c->Pen()->SetColor(line);
      c->MoveTo(r.Left, r.Top + 1);
      c->LineTo(r.Left, r.Bottom - 1);
    }
    return;
  }
  PaintPaneFrame(c, r, FFrameStyle, FFlatColor, FFlatColorAdjustment);
}

void TFcCustomStatusPane::DrawCaption(const WideString& Text) {
  TCanvas* c = Canvas();
  c->SetFont(Font());
  c->Font()->SetColor(FCurrentTextColor);
  const TRect r = TextRect();
  Integer x;
  UINT ta;
  switch (FAlignment) {
    case taRightJustify:
      x = r.Right - FCaptionOffset - 1;
      ta = TA_RIGHT;
      break;
    case taCenter:
      x = r.Left + r.Width() / 2;
      ta = TA_CENTER;
      break;
    default:
      x = r.Left + FCaptionOffset + 1;
      ta = TA_LEFT;
      break;
  }
  const Integer y = r.Top + (r.Height() - c->TextHeight(u"Pp")) / 2;
  if (InThemedStatusBar() && static_cast<TFcStatusBar*>(Parent())->CopyThemedBackground(this, c->Handle(), r)) {
    c->Brush()->SetStyle(bsClear);
  } else if (FTransparent) {
    c->Brush()->SetStyle(bsClear);
  } else {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(FFillColor);
  }
  if (!Enabled()) c->Font()->SetColor(clGrayText);
  const UINT old = SetTextAlign(c->Handle(), ta);
  c->TextRect(r, x, y, Text);
  SetTextAlign(c->Handle(), old);
  c->Brush()->SetStyle(bsSolid);
}

void TFcCustomStatusPane::Paint() {
  DrawFrame();
  DrawCaption(Caption());
}

void TFcCustomStatusPane::Blink(Byte Phase) {
  if (!FBlinking) return;
  FCurrentTextColor = Phase == 1 ? FBlinkColor : FNormalTextColor;
  Refresh();
}

void TFcCustomStatusPane::SetBlinking(bool Value) {
  if (FBlinking == Value) return;
  FBlinking = Value;
  if (!Value) {
    FCurrentTextColor = FNormalTextColor;
    Repaint();
  }
}

Word TFcCustomStatusPane::BlinkIntervalOff() const { return BlinkingControls ? BlinkingControls->IntervalOff() : 500; }
Word TFcCustomStatusPane::BlinkIntervalOn() const { return BlinkingControls ? BlinkingControls->IntervalOn() : 500; }
void TFcCustomStatusPane::SetBlinkIntervalOff(Word Value) {
  if (BlinkingControls) BlinkingControls->SetIntervalOff(Value);
}
void TFcCustomStatusPane::SetBlinkIntervalOn(Word Value) {
  if (BlinkingControls) BlinkingControls->SetIntervalOn(Value);
}

void TFcCustomStatusPane::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  AdjustSize();
}

void TFcCustomStatusPane::SetDefaultWidth(Integer Value) {
  if (FDefaultWidth == Value) return;
  FDefaultWidth = Value;
  AdjustSize();
}

void TFcCustomStatusPane::SetCaptionOffset(Integer Value) {
  if (FCaptionOffset == Value) return;
  FCaptionOffset = Value;
  Invalidate();
  AdjustSize();
}

#define FC_PANE_SETTER(Name, Type, Field)            \
  void TFcCustomStatusPane::Set##Name(Type Value) {  \
    if (Field == Value) return;                      \
    Field = Value;                                   \
    Invalidate();                                    \
  }
FC_PANE_SETTER(Alignment, TAlignment, FAlignment)
FC_PANE_SETTER(BlinkColor, TColor, FBlinkColor)
FC_PANE_SETTER(BorderWidth, Integer, FBorderWidth)
FC_PANE_SETTER(FlatColor, TColor, FFlatColor)
FC_PANE_SETTER(FlatColorAdjustment, Integer, FFlatColorAdjustment)
FC_PANE_SETTER(FrameStyle, TFrameStyle, FFrameStyle)
#undef FC_PANE_SETTER

void TFcCustomStatusPane::SetFillColor(TColor Value) {
  FFillColor = Value;
  FParentFillColor = false;
  Invalidate();
}

void TFcCustomStatusPane::SetParentFillColor(bool Value) {
  FParentFillColor = Value;
  if (Parent() && !ComponentState().Contains(csReading)) Perform(CM_PARENTCOLORCHANGED, 0, 0);
}

void TFcCustomStatusPane::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  SetFcOpaque(this, Value);
  Invalidate();
}

void TFcCustomStatusPane::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  FFrame.Forget(AComponent, Operation);
}

void TFcCustomStatusPane::FrameSettingsChanged() {
  if (!FFrame.ApplyCommon(
          this, [this](TFrameStyleEx S) { SetFrameStyle(S); }, FFlatColor, FFlatColorAdjustment,
          [this](TColor C) { SetFillColor(C); }))
    return;
  Invalidate();
}

bool TFcCustomStatusPane::ExecuteHintAction(const WideString& Hint) {
  if (!FAutoHint) return false;
  SetCaption(Hint);
  return true;
}

bool TFcCustomStatusPane::AtGripEdge(const TRect& R) {
  auto* bar = dynamic_cast<TFcStatusBar*>(Parent());
  if (!bar || !bar->ShowSizeGrip()) return false;
  const TPoint right = ClientToScreen(TPoint(R.Right, R.Top));
  const TPoint barRight = bar->ClientToScreen(TPoint(bar->ClientRect().Right, 0));
  return right.X >= barRight.X;
}

void TFcCustomStatusPane::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case FC_BLINK_QUERY: Message.Result = FBlinking ? 1 : 0; return;
    case FC_BLINK_PHASE: Blink(static_cast<Byte>(Message.WParam)); return;
    case CM_TEXTCHANGED:
      TGraphicControl::WndProc(Message);
      Invalidate();
      AdjustSize();
      return;
    case CM_FONTCHANGED:
      TGraphicControl::WndProc(Message);
      if (!ComponentState().Contains(csLoading)) {
        FNormalTextColor = Font()->Color();
        if (!FBlinking) FCurrentTextColor = FNormalTextColor;
      }
      AdjustSize();
      return;
    case CM_COLORCHANGED:
    case CM_PARENTCOLORCHANGED:
      TGraphicControl::WndProc(Message);
      if (FParentFillColor) FFillColor = Color();
      Invalidate();
      return;
    case CM_HITTEST: {
      TGraphicControl::WndProc(Message);
      auto* bar = dynamic_cast<TFcStatusBar*>(Parent());
      if (bar && AtGripEdge(ClientRect())) {
        // The last 12 pixels before the bar's client edge belong to the grip.
        const TPoint p(static_cast<int16_t>(Message.LParam & 0xFFFF),
                       static_cast<int16_t>((Message.LParam >> 16) & 0xFFFF));
        const Integer edge = ScreenToClient(bar->ClientToScreen(TPoint(bar->ClientRect().Right, 0))).X;
        if (p.X >= edge - 12 && p.X < edge) Message.Result = bar->Perform(WM_NCHITTEST, Message.WParam, Message.LParam);
      }
      return;
    }
    default: break;
  }
  TGraphicControl::WndProc(Message);
}
