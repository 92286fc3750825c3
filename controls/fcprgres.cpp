// The progress bar. Every paint goes to one off-screen bitmap that is copied
// in one step, so a bar updated at every percent step does not flicker.
#include "controls/fcprgres.h"

#include <cstdio>

#include "controls/fcstatus.h"
#include "platform/ui/messages.h"

TFcLedLayout FcLedLayout(Integer Length, Integer Segments) {
  TFcLedLayout l;
  Integer n = Segments < 1 ? 1 : Segments;
  Integer s = Length / n;
  if (Length <= 80 && n > 10) {
    s = Length / 10;
    n = 10;
  }
  const Integer extra = s > 0 ? (Length - s * n) / s : 0;
  if (extra > 0) n += extra;
  l.Size = s;
  l.Count = n;
  l.Margin = (Length - s * n) / 2;
  return l;
}

TFcCustomProgressBar::TFcCustomProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) {
  TGraphicControl::SetBounds(Left(), Top(), 200, 24);
  TControlStyle st = ControlStyle();
  st.Include(csOpaque);
  SetControlStyle(st);
}

TFcCustomProgressBar::~TFcCustomProgressBar() {
  FFrame.Detach(this);
}

void TFcCustomProgressBar::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  TGraphicControl::SetBounds(ALeft, ATop, AWidth, AHeight);
  SetOrientation(Width() < Height() ? orVertical : orHorizontal);
}

void TFcCustomProgressBar::FillExtent(const TRect& R, TRect& Filled, TRect& Rest) const {
  // Values above 100 are kept but drawn as a full bar.
  const Integer p = FcDrawnPercent(FPercent);
  Filled = R;
  if (p < 100) {
    if (FOrientation == orHorizontal)
      Filled.Right = R.Left + static_cast<Integer>(Round(double(p) * R.Width() / 100));
    else
      Filled.Top = R.Bottom - static_cast<Integer>(Round(double(p) * R.Height() / 100));
  }
  if (FOrientation == orHorizontal)
    Rest = TRect(Filled.Right, R.Top, R.Right, R.Bottom);
  else
    Rest = TRect(R.Left, R.Top, R.Right, Filled.Top);
}

WideString TFcCustomProgressBar::BarText() const {
  if (!FShowPercent) return {};
  char buf[64];
  if (FShowParts) {
    std::snprintf(buf, sizeof buf, "%u / %u", FPartsComplete, FTotalParts);
    return WideString(buf, buf + std::char_traits<char>::length(buf));
  }
  std::snprintf(buf, sizeof buf, "%u%%", unsigned(FPercent));
  WideString pct(buf, buf + std::char_traits<char>::length(buf));
  if (FBarStyle == bsTraditional) return Hint() + u" " + pct;
  return pct;
}

void TFcCustomProgressBar::WriteText(TCanvas* C, const TRect& R, const TRect& Clip) {
  const WideString text = BarText();
  if (text.empty() && FBarStyle != bsTraditional) return;
  const UINT old = SetTextAlign(C->Handle(), TA_CENTER);
  C->TextRect(Clip, R.Right / 2, R.Top + (R.Height() - C->TextHeight(u"X")) / 2, text);
  SetTextAlign(C->Handle(), old);
}

void TFcCustomProgressBar::PaintPlain(TCanvas* C, const TRect& R) {
  TRect f, e;
  FillExtent(R, f, e);
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(FBarColor);
  C->Font()->SetColor(FBackColor);
  WriteText(C, R, f);
  C->Brush()->SetColor(FBackColor);
  C->Font()->SetColor(FBarColor);
  WriteText(C, R, e);
}

void TFcCustomProgressBar::PaintGradientBar(TCanvas* C, const TRect& R) {
  TRect f, e;
  FillExtent(R, f, e);
  const bool text = !BarText().empty();
  C->Font()->SetColor(FBackColor);
  PaintGradient(C, f, FGradientDirection, FBarColor, FBarColorStop, 1);
  if (text) {
    C->Brush()->SetStyle(bsClear);
    WriteText(C, R, f);
    C->Brush()->SetStyle(bsSolid);
  }
  C->Font()->SetColor(FBarColor);
  PaintGradient(C, e, FGradientDirection, FBackColor, FBackColorStop, 1);
  if (text) {
    C->Brush()->SetStyle(bsClear);
    WriteText(C, R, e);
    C->Brush()->SetStyle(bsSolid);
  }
}

void TFcCustomProgressBar::PaintLed(TCanvas* C, const TRect& R) {
  const bool vertical = FOrientation == orVertical;
  const Integer length = vertical ? R.Height() : R.Width();
  const TFcLedLayout l = FcLedLayout(length, FNumSegments);
  const Integer s = l.Size, n = l.Count, m = l.Margin;
  C->Pen()->SetStyle(psClear);
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(FBackColor);
  if (vertical) {
    C->Rectangle(R.Left, R.Top, R.Right + 1, R.Top + m + 1);
    C->Rectangle(R.Left, R.Bottom - m - 1, R.Right + 1, R.Bottom + 1);
  } else {
    C->Rectangle(R.Left, R.Top, R.Left + m + 1, R.Bottom + 1);
    C->Rectangle(R.Right - m - 1, R.Top, R.Right + 1, R.Bottom + 1);
  }
  // Clamped first: a percentage above 100 must not light segments past the last.
  const Integer lit = static_cast<Integer>(Trunc(double(FcDrawnPercent(FPercent)) * n / 100));
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetColor(FBackColor);
  auto segment = [&](Integer i) {
    if (vertical) {
      const Integer top = R.Top + m + s * (n - i);
      C->Rectangle(R.Left, top, R.Right, top + s);
    } else {
      const Integer left = R.Left + m + s * (i - 1);
      C->Rectangle(left, R.Top, left + s, R.Bottom);
    }
  };
  C->Brush()->SetColor(FBarColor);
  for (Integer i = 1; i <= lit; ++i) segment(i);
  C->Brush()->SetColor(FBackColor);
  for (Integer i = lit + 1; i <= n; ++i) segment(i);
}

void TFcCustomProgressBar::Paint() {
  const Integer w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(w, h);
  TCanvas* c = bmp.Canvas();
  c->SetFont(Font());
  TRect r(0, 0, w, h);
  const bool themed = ThemedLook() && PaintThemedFrame(c, r);
  if (themed) {
    if (FBarStyle == bsLED)
      PaintThemedChunks(c, r);
    else if (FBarStyle == bsTraditional)
      PaintPlain(c, r);
    else
      PaintGradientBar(c, r);
    BitBlt(Canvas()->Handle(), 0, 0, w, h, c->Handle(), 0, 0, SRCCOPY);
    return;
  }
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(FBorderColor);
  c->FillRect(r);
  const TColor parentColor = Parent() ? Parent()->Color() : FBorderColor;
  TRect inner;
  PaintControlFrame(c, r, FBorderOuter, FBorderInner, FBorderWidth, sdAll, FBevelWidth, FBorderColor,
                    clBtnHighlight, clBtnShadow, FFlatColor, FFlatColorAdjustment, FBackColor, parentColor, false,
                    true, inner);
  r = inner;
  if (FInteriorOffset > 0) {
    TRect ignored;
    PaintSidesRepeated(c, r, FBackColor, FBackColor, FInteriorOffset, sdAll, ignored);
    InflateRect(r, -FInteriorOffset, -FInteriorOffset);
  }
  switch (FBarStyle) {
    case bsTraditional: PaintPlain(c, r); break;
    case bsLED: PaintLed(c, r); break;
    case bsGradient: PaintGradientBar(c, r); break;
  }
  BitBlt(Canvas()->Handle(), 0, 0, w, h, c->Handle(), 0, 0, SRCCOPY);
}

bool TFcCustomProgressBar::ThemedLook() const {
  if (!FThemeAware || !FcThemesEnabled()) return false;
  auto* bar = dynamic_cast<TFcStatusBar*>(Parent());
  return !bar || bar->VisualStyle() == vsWinXP;
}

bool TFcCustomProgressBar::PaintThemedFrame(TCanvas* C, TRect& R) {
  const TFcThemeData progress(nullptr, u"PROGRESS");
  if (!progress) return false;
  HDC dc = C->Handle();
  const Integer io = FInteriorOffset;
  const Integer framePart = FOrientation == orVertical ? PP_BARVERT : PP_BAR;
  auto* bar = dynamic_cast<TFcStatusBar*>(Parent());
  if (bar && bar->CopyThemedBackground(this, dc, R)) {
    const TFcThemeData status(bar->HandleAllocated() ? bar->Handle() : nullptr, u"STATUS");
    status.Draw(dc, SP_PANE, 0, R);
    if (io > 0)
      InflateRect(R, -(io + 2), -(io + 1));
    else
      InflateRect(R, -1, -1);
    progress.Draw(dc, framePart, 0, R);
    const Integer d = FBarStyle == bsLED ? io : io + 2;
    InflateRect(R, -d, -d);
    return true;
  }
  // The frame's rounded corners show the parent's colour, not whatever the
  // off-screen bitmap held.
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Parent() ? Parent()->Color() : FBorderColor);
  C->FillRect(R);
  progress.Draw(dc, framePart, 0, R);
  const Integer d = FBarStyle == bsLED ? io + 1 : io + 3;
  InflateRect(R, -d, -d);
  return true;
}

void TFcCustomProgressBar::PaintThemedChunks(TCanvas* C, const TRect& R) {
  const TFcThemeData progress(nullptr, u"PROGRESS");
  TRect c = R;
  InflateRect(c, -1, -1);
  // Clamped first, as for every style: the chunks never pass the frame.
  const Integer p = FcDrawnPercent(FPercent);
  if (FOrientation == orHorizontal) {
    const Integer f = static_cast<Integer>(Round(double(p) * c.Width() / 100));
    if (f <= 0) return;
    c.Right = c.Left + f;
    progress.Draw(C->Handle(), PP_CHUNK, 0, c);
    return;
  }
  const Integer f = static_cast<Integer>(Round(double(p) * c.Height() / 100));
  // Nothing done shows no chunk at all.
  if (f <= 0 || c.Width() <= 0) return;
  c.Top = c.Bottom - f;
  TBitmap chunk;
  chunk.SetPixelFormat(pf24bit);
  chunk.SetSize(c.Width(), c.Height());
  // The chunk is drawn over what lies beneath it in the bar.
  BitBlt(chunk.Canvas()->Handle(), 0, 0, c.Width(), c.Height(), C->Handle(), c.Left, c.Top, SRCCOPY);
  progress.Draw(chunk.Canvas()->Handle(), PP_CHUNKVERT, 0, TRect(0, 0, c.Width(), c.Height()));
  // Turned upside down so that the chunks grow from the bottom.
  FlipBitmapVertically(&chunk);
  BitBlt(C->Handle(), c.Left, c.Top, c.Width(), c.Height(), chunk.Canvas()->Handle(), 0, 0, SRCCOPY);
}

void TFcCustomProgressBar::Change() {
  if (OnChange) OnChange(this, FPercent);
}

void TFcCustomProgressBar::SetPercent(Word Value) {
  if (FPercent == Value) return;
  FPercent = Value;
  Change();
  Repaint();
}

void TFcCustomProgressBar::SetPartsComplete(uint32_t Value) {
  if (Value > FTotalParts) Value = FTotalParts;
  if (FPartsComplete == Value) return;
  FPartsComplete = Value;
  if (!ComponentState().Contains(csLoading) && FTotalParts != 0)
    SetPercent(static_cast<Word>(Round(double(Value) / FTotalParts * 100)));
  Repaint();
}

void TFcCustomProgressBar::SetTotalParts(uint32_t Value) {
  if (Value > 2147483647u) Value = 2147483647u;
  if (FTotalParts == Value) return;
  FTotalParts = Value;
  if (!ComponentState().Contains(csLoading)) {
    FPartsComplete = 0;
    SetPercent(0);
  }
  Repaint();
}

void TFcCustomProgressBar::SetBarStyle(TBarStyle Value) {
  if (FBarStyle == Value) return;
  FBarStyle = Value;
  FShowPercent = Value != bsLED;
  FInteriorOffset = Value == bsLED ? 1 : 0;
  Repaint();
}

void TFcCustomProgressBar::SetBarColor(TColor Value) {
  if (FBarColor == Value) return;
  FBarColor = Value;
  Font()->SetColor(Value);
  Repaint();
}

#define FC_BAR_SETTER(Name, Type, Field, Then)         \
  void TFcCustomProgressBar::Set##Name(Type Value) {   \
    if (Field == Value) return;                        \
    Field = Value;                                     \
    Then();                                            \
  }
FC_BAR_SETTER(BackColor, TColor, FBackColor, Repaint)
FC_BAR_SETTER(BevelWidth, Integer, FBevelWidth, Repaint)
FC_BAR_SETTER(BorderColor, TColor, FBorderColor, Repaint)
FC_BAR_SETTER(BorderInner, TFrameStyleEx, FBorderInner, Repaint)
FC_BAR_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter, Repaint)
FC_BAR_SETTER(BorderWidth, Integer, FBorderWidth, Repaint)
FC_BAR_SETTER(FlatColor, TColor, FFlatColor, Invalidate)
FC_BAR_SETTER(FlatColorAdjustment, Integer, FFlatColorAdjustment, Invalidate)
FC_BAR_SETTER(InteriorOffset, Byte, FInteriorOffset, Repaint)
FC_BAR_SETTER(Orientation, TOrientation, FOrientation, Repaint)
FC_BAR_SETTER(ShowPercent, bool, FShowPercent, Repaint)
FC_BAR_SETTER(ShowParts, bool, FShowParts, Repaint)
FC_BAR_SETTER(ThemeAware, bool, FThemeAware, Invalidate)
#undef FC_BAR_SETTER

void TFcCustomProgressBar::SetNumSegments(TSegmentRange Value) {
  Value = Value < 1 ? 1 : Value > 100 ? 100 : Value;
  if (FNumSegments == Value) return;
  FNumSegments = Value;
  Repaint();
}

void TFcCustomProgressBar::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  FFrame.Forget(AComponent, Operation);
}

void TFcCustomProgressBar::FrameSettingsChanged() {
  if (!FFrame.ApplyCommon(
          this, [this](TFrameStyleEx S) { FBorderOuter = S; }, FFlatColor, FFlatColorAdjustment,
          [this](TColor C) { SetBackColor(C); }))
    return;
  Invalidate();
}

void TFcCustomProgressBar::WndProc(TMessage& Message) {
  TGraphicControl::WndProc(Message);
  if (Message.Msg != CM_HITTEST) return;
  // Over a status bar, the rightmost 12 pixels belong to its size grip.
  if (auto* bar = dynamic_cast<TFcStatusBar*>(Parent())) {
    const Integer x = static_cast<int16_t>(Message.LParam & 0xFFFF);
    const TRect cr = ClientRect();
    if (x >= cr.Right - 12 && x < cr.Right) Message.Result = bar->Perform(WM_NCHITTEST, Message.WParam, Message.LParam);
  }
}
