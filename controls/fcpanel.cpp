// The framed panel and the group box.
#include "controls/fcpanel.h"

#include <algorithm>

#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

TFcCustomPanel::TFcCustomPanel(TComponent* AOwner) : TCustomPanel(AOwner) {
  SetBevelOuter(bvNone);
  SetBevelInner(bvNone);
  TControlStyle st = ControlStyle();
  st.Include(csOpaque);
  st.Exclude(csSetCaption);
  st.Exclude(csParentBackground);
  SetControlStyle(st);
  RegisterFcTransparentProperty(this, [this] { return FTransparent; });
}

TFcCustomPanel::~TFcCustomPanel() {
  UnregisterFcTransparentProperty(this);
  FFrame.Detach(this);
  for (auto& e : FSavedEnabled) RemoveFreeNotification(e.first);
}

TPoint TFcCustomPanel::MousePosition() {
  TPoint p;
  GetCursorPos(&p);
  return ScreenToClient(p);
}

void TFcCustomPanel::AdjustFrameRect(TRect& R, bool IncludeBorderWidth) {
  if (IncludeBorderWidth) InflateRect(R, -BorderWidth(), -BorderWidth());
  const Integer w = FrameStyleWidth(FBorderOuter, BevelWidth()) + FrameStyleWidth(FBorderInner, BevelWidth());
  if (HasSide(FBorderSides, sdLeft)) R.Left += w;
  if (HasSide(FBorderSides, sdTop)) R.Top += w;
  if (HasSide(FBorderSides, sdRight)) R.Right -= w;
  if (HasSide(FBorderSides, sdBottom)) R.Bottom -= w;
}

TRect TFcCustomPanel::ClientRect() {
  TRect r = TCustomPanel::ClientRect();
  AdjustFrameRect(r, false);
  return r;
}

void TFcCustomPanel::AdjustClientRect(TRect& Rect) { TCustomPanel::AdjustClientRect(Rect); }

void TFcCustomPanel::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  // A panel docked to the bottom or right grows toward the top or left.
  if (Align() == alBottom && AHeight != Height()) ATop = Top() + Height() - AHeight;
  if (Align() == alRight && AWidth != Width()) ALeft = Left() + Width() - AWidth;
  TCustomPanel::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TFcCustomPanel::GetGradientColors(TColor& Start, TColor& Stop) {
  if (FGradientColorStyle == gcsCustom) {
    Start = FGradientColorStart;
    Stop = FGradientColorStop;
  } else {
    GradientColorsForStyle(FGradientColorStyle, Start, Stop);
  }
}

void TFcCustomPanel::GetFlatColors(TColor& Color, Integer& Adjustment) {
  if (FVisualStyle == vsGradient && FGradientColorStyle != gcsCustom) {
    Color = FrameColorForStyle(FGradientColorStyle);
    Adjustment = 0;
  } else {
    Color = FFlatColor;
    Adjustment = FFlatColorAdjustment;
  }
}

void TFcCustomPanel::Paint() {
  TCanvas* c = Canvas();
  TRect r(0, 0, Width(), Height());
  TColor flat;
  Integer adj;
  GetFlatColors(flat, adj);
  const TColor parentColor = Parent() ? Parent()->Color() : Color();
  TRect inner;
  PaintControlFrame(c, r, FBorderOuter, FBorderInner, BorderWidth(), FBorderSides, BevelWidth(), FBorderColor,
                    FBorderHighlight, FBorderShadow, flat, adj, Color(), parentColor, FTransparent, false, inner);
  r = inner;
  if (!FTransparent && FPaintClientArea) {
    const bool rounded = (FBorderOuter == fsFlatRounded && FBorderInner == fsNone && BorderWidth() == 0) ||
                         FBorderInner == fsFlatRounded;
    TRect f = r;
    if (rounded) {
      if (HasSide(FBorderSides, sdLeft)) --f.Left;
      if (HasSide(FBorderSides, sdTop)) --f.Top;
      if (HasSide(FBorderSides, sdRight)) ++f.Right;
      if (HasSide(FBorderSides, sdBottom)) ++f.Bottom;
    }
    if (FVisualStyle == vsGradient) {
      TColor a, b;
      GetGradientColors(a, b);
      PaintGradient(c, f, FGradientDirection, a, b, 1);
    } else {
      c->Brush()->SetStyle(bsSolid);
      c->Brush()->SetColor(Color());
      c->FillRect(f);
    }
    if (rounded) {
      const TColor cc = AdjustLightness(flat, adj);
      const bool l = HasSide(FBorderSides, sdLeft), t = HasSide(FBorderSides, sdTop),
                 rt = HasSide(FBorderSides, sdRight), b = HasSide(FBorderSides, sdBottom);
      if (l && t) c->SetPixels(f.Left, f.Top, cc);
      if (t && rt) c->SetPixels(f.Right - 1, f.Top, cc);
      if (rt && b) c->SetPixels(f.Right - 1, f.Bottom - 1, cc);
      if (b && l) c->SetPixels(f.Left, f.Bottom - 1, cc);
    }
  }
  if (FShowGrid) DrawGrid(r);
  c->Brush()->SetStyle(bsClear);
  DrawCaption(r);
  c->Brush()->SetStyle(bsSolid);
  if (OnPaint) OnPaint(this);
}

void TFcCustomPanel::DrawGrid(TRect R) {
  TCanvas* c = Canvas();
  const Integer nx = FGridXSize ? (R.Right - R.Left) / FGridXSize : 0;
  const Integer ny = FGridYSize ? (R.Bottom - R.Top) / FGridYSize : 0;
  c->Pen()->SetColor(FGridColor);
  c->Pen()->SetWidth(1);
  c->Pen()->SetStyle(psSolid);
  if (FGridStyle == gsDots) {
    for (Integer i = 1; i <= nx; ++i)
      for (Integer j = 1; j <= ny; ++j) c->SetPixels(R.Left + i * FGridXSize - 1, R.Top + j * FGridYSize - 1, FGridColor);
    return;
  }
  auto line = [&](Integer X1, Integer Y1, Integer X2, Integer Y2) {
    if (FGridStyle == gsSolidLines) {
      c->MoveTo(X1, Y1);
      c->LineTo(X2, Y2);
      return;
    }
    if (X1 == X2)
      for (Integer y = Y1 + 1; y < Y2; y += 2) c->SetPixels(X1, y, FGridColor);
    else
      for (Integer x = X1 + 1; x < X2; x += 2) c->SetPixels(x, Y1, FGridColor);
  };
  for (Integer i = 1; i <= nx; ++i) line(R.Left + i * FGridXSize - 1, R.Top, R.Left + i * FGridXSize - 1, R.Bottom);
  for (Integer j = 1; j <= ny; ++j) line(R.Left, R.Top + j * FGridYSize - 1, R.Right, R.Top + j * FGridYSize - 1);
}

void TFcCustomPanel::DrawCaption(TRect R) {
  const WideString text = Caption();
  if (text.empty()) return;
  TCanvas* c = Canvas();
  c->SetFont(Font());
  InflateRect(R, -FTextMargin, -FTextMarginVertical);
  UINT align = Alignment() == taLeftJustify ? DT_LEFT : Alignment() == taRightJustify ? DT_RIGHT : DT_CENTER;
  const UINT wrap = FWordWrap ? UINT(DT_WORDBREAK) : 0u;
  TRect m = R;
  const Integer h = DrawTextOn(c, text, m, DT_CALCRECT | DT_EXPANDTABS | DT_VCENTER | align | wrap);
  switch (FAlignmentVertical) {
    case avTop: R.Bottom = std::min(R.Bottom, R.Top + h); break;
    case avCenter:
      R.Top = (R.Top + R.Bottom - h) / 2;
      R.Bottom = std::min(R.Bottom, R.Top + h);
      break;
    case avBottom: R.Top = std::max(R.Top, R.Bottom - h - 1); break;
  }
  c->Brush()->SetStyle(bsClear);
  if (!Enabled()) c->Font()->SetColor(clGrayText);
  DrawTextOn(c, text, R, DT_EXPANDTABS | DT_VCENTER | align | wrap);
}

void TFcCustomPanel::FrameSettingsChanged() {
  if (!FFrame.ApplyCommon(
          this, [this](TFrameStyleEx S) { FBorderOuter = S; }, FFlatColor, FFlatColorAdjustment,
          [this](TColor C) { SetColor(C); }))
    return;
  if (FFrame.Has(fcpFrameSides)) FBorderSides = FFrame.Controller()->FrameSides();
  if (FFrame.Has(fcpColor)) {
    FBorderHighlight = LightenColor(Color(), 100);
    FBorderShadow = DarkenColor(Color(), 50);
  }
  Invalidate();
}

void TFcCustomPanel::Changed() { Invalidate(); }

void TFcCustomPanel::RealignChildren() { Realign(); }

void TFcCustomPanel::InvalidateStrip(const TRect& R) {
  if (HandleAllocated()) InvalidateRect(Handle(), &R, TRUE);
}

void TFcCustomPanel::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomPanel::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  FFrame.Forget(AComponent, Operation);
  FSavedEnabled.erase(std::remove_if(FSavedEnabled.begin(), FSavedEnabled.end(),
                                     [&](auto& e) { return static_cast<TComponent*>(e.first) == AComponent; }),
                      FSavedEnabled.end());
}

void TFcCustomPanel::EnabledChanged() {
  Repaint();
  if (!Enabled()) {
    for (auto& e : FSavedEnabled) RemoveFreeNotification(e.first);
    FSavedEnabled.clear();
    for (Integer i = 0; i < ControlCount(); ++i) {
      TControl* ch = Controls(i);
      FSavedEnabled.emplace_back(ch, ch->Enabled());
      // Told when the child goes, so that its entry goes with it.
      FreeNotification(ch);
    }
    for (Integer i = 0; i < ControlCount(); ++i) Controls(i)->SetEnabled(false);
  } else {
    for (Integer i = 0; i < ControlCount(); ++i) {
      TControl* ch = Controls(i);
      auto it = std::find_if(FSavedEnabled.begin(), FSavedEnabled.end(), [&](auto& e) { return e.first == ch; });
      if (it == FSavedEnabled.end() || it->second) ch->SetEnabled(true);
    }
  }
}

void TFcCustomPanel::WindowPosChanged() {
  const Integer oldW = FLastWidth, oldH = FLastHeight;
  FLastWidth = Width();
  FLastHeight = Height();
  if (oldW < 0) return;
  if (FFullRepaint || !Caption().empty()) {
    Invalidate();
    return;
  }
  TRect now(0, 0, Width(), Height()), before(0, 0, oldW, oldH);
  AdjustFrameRect(now, true);
  AdjustFrameRect(before, true);
  // The strip runs from the nearer of the old and new inner edges to the
  // farther outer edge, so that a growing panel loses its old frame too.
  if (Width() != oldW)
    InvalidateStrip(TRect(std::min(now.Right, before.Right) - 1, 0, std::max(oldW, Width()), std::max(oldH, Height())));
  if (Height() != oldH)
    InvalidateStrip(TRect(0, std::min(now.Bottom, before.Bottom) - 1, std::max(oldW, Width()), std::max(oldH, Height())));
}

void TFcCustomPanel::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_ENABLEDCHANGED:
      TCustomPanel::WndProc(Message);
      EnabledChanged();
      return;
    case WM_WINDOWPOSCHANGED:
      WindowPosChanged();
      break;
    case WM_ERASEBKGND:
      if (FTransparent && FPaintClientArea) {
        PaintParentBackground(this, reinterpret_cast<HDC>(Message.WParam), true);
        Message.Result = 1;
        return;
      }
      break;
    case WM_PRINTCLIENT:
      // A transparent child asks for what the panel shows beneath it.
      PaintWindow(reinterpret_cast<HDC>(Message.WParam));
      Message.Result = 0;
      return;
    case WM_THEMECHANGED:
      TCustomPanel::WndProc(Message);
      XpColorScheme = ReadXpColorScheme();
      return;
    default: break;
  }
  TCustomPanel::WndProc(Message);
}

#define FC_PANEL_SETTER(Name, Type, Field, After)     \
  void TFcCustomPanel::Set##Name(Type Value) {        \
    if (Field == Value) return;                       \
    Field = Value;                                    \
    After;                                            \
  }
FC_PANEL_SETTER(AlignmentVertical, TAlignmentVertical, FAlignmentVertical, Changed())
FC_PANEL_SETTER(BorderColor, TColor, FBorderColor, Changed())
FC_PANEL_SETTER(BorderInner, TFrameStyleEx, FBorderInner, RealignChildren(); Changed())
FC_PANEL_SETTER(BorderOuter, TFrameStyleEx, FBorderOuter, RealignChildren(); Changed())
FC_PANEL_SETTER(BorderSides, TSides, FBorderSides, RealignChildren(); Changed())
FC_PANEL_SETTER(BorderHighlight, TColor, FBorderHighlight, Changed())
FC_PANEL_SETTER(BorderShadow, TColor, FBorderShadow, Changed())
FC_PANEL_SETTER(FlatColor, TColor, FFlatColor, Changed())
FC_PANEL_SETTER(FlatColorAdjustment, Integer, FFlatColorAdjustment, Changed())
FC_PANEL_SETTER(GradientColorStyle, TFcGradientColorStyle, FGradientColorStyle, Changed())
FC_PANEL_SETTER(GradientColorStart, TColor, FGradientColorStart, Changed(); InvalidateTransparentChildren(this))
FC_PANEL_SETTER(GradientColorStop, TColor, FGradientColorStop, Changed(); InvalidateTransparentChildren(this))
FC_PANEL_SETTER(GradientDirection, TGradientDirection, FGradientDirection, Changed();
                InvalidateTransparentChildren(this))
FC_PANEL_SETTER(GridColor, TColor, FGridColor, Changed())
FC_PANEL_SETTER(GridStyle, TFcGridStyle, FGridStyle, Changed())
FC_PANEL_SETTER(GridXSize, Word, FGridXSize, Changed())
FC_PANEL_SETTER(GridYSize, Word, FGridYSize, Changed())
FC_PANEL_SETTER(PaintClientArea, bool, FPaintClientArea, Changed())
FC_PANEL_SETTER(ShowGrid, bool, FShowGrid, Changed())
FC_PANEL_SETTER(TextMargin, Integer, FTextMargin, Changed())
FC_PANEL_SETTER(TextMarginVertical, Integer, FTextMarginVertical, Changed())
FC_PANEL_SETTER(WordWrap, bool, FWordWrap, Changed())
FC_PANEL_SETTER(VisualStyle, TFcVisualStyle, FVisualStyle, Changed())
#undef FC_PANEL_SETTER

void TFcCustomPanel::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  SetFcOpaque(this, Value);
  Changed();
  for (Integer i = 0; i < ControlCount(); ++i) Controls(i)->Invalidate();
}

// ---------------------------------------------------------------------------
// Group box

TFcCustomGroupBox::TFcCustomGroupBox(TComponent* AOwner) : TFcCustomPanel(AOwner) {
  TControlStyle st = ControlStyle();
  st.Include(csSetCaption);
  st.Include(csDoubleClicks);
  SetControlStyle(st);
  SetBorderOuter(fsNone);
  SetBorderInner(fsNone);
  SetAlignment(taLeftJustify);
  SetAlignmentVertical(avTop);
  SetHeight(105);
}

bool TFcCustomGroupBox::ThemeApplies() const {
  return VisualStyle() == vsWinXP && FcThemesEnabled() && (FGroupStyle == gsStandard || FGroupStyle == gsFlat);
}

void TFcCustomGroupBox::SetBannerHeight(Integer Value) {
  if (FBannerHeight == Value) return;
  FBannerHeight = Value;
  RealignChildren();
  Changed();
}

void TFcCustomGroupBox::SetGroupStyle(TFcGroupBoxStyle Value) {
  if (FGroupStyle == Value) return;
  FGroupStyle = Value;
  RealignChildren();
  Changed();
}

void TFcCustomGroupBox::FrameSettingsChanged() {
  if (FrameController() && FrameController()->FrameVisible() && FGroupStyle == gsCustom)
    TFcCustomPanel::FrameSettingsChanged();
}

Integer TFcCustomGroupBox::TextHeight(const WideString& Sample) {
  Canvas()->SetFont(Font());
  return Canvas()->TextHeight(Sample);
}

void TFcCustomGroupBox::AdjustClientRect(TRect& Rect) {
  TFcCustomPanel::AdjustClientRect(Rect);
  const Integer h = TextHeight(u"Yy");
  switch (FGroupStyle) {
    case gsStandard:
    case gsFlat: {
      const Integer b = h / 2 - 1;
      Rect.Top += b < BorderWidth() ? b : h - BorderWidth();
      const Integer d = FGroupStyle == gsStandard ? 2 : 1;
      InflateRect(Rect, -d, -d);
      break;
    }
    case gsCustom:
      if (!Caption().empty()) Rect.Top += h;
      InflateRect(Rect, -2, -2);
      break;
    case gsTopLine: Rect.Top += h; break;
    case gsBanner: Rect.Top += FBannerHeight != 0 ? FBannerHeight : h + 8; break;
    case gsUnderline: Rect.Top += h + 4; break;
  }
}

TRect TFcCustomGroupBox::CaptionRect() {
  const WideString text = Caption();
  if (text.empty() || FGroupStyle == gsCustom) return TRect();
  Canvas()->SetFont(Font());
  const WideString plain = StripAccelerators(text);
  // Measured through the canvas, so that the font is selected even outside painting.
  TSize sz = Canvas()->TextExtent(plain);
  if (ThemeApplies()) {
    const TFcThemeData theme(HandleAllocated() ? Handle() : nullptr, u"BUTTON");
    TRect extent;
    Canvas()->RequiredState(csHandleValid | csFontValid);
    if (theme && SUCCEEDED(GetThemeTextExtent(theme.Handle(), Canvas()->Handle(), BP_GROUPBOX, GBS_NORMAL,
                                              plain.c_str(), static_cast<Integer>(plain.size()),
                                              DT_SINGLELINE | DT_NOPREFIX, nullptr, &extent)))
      sz = TSize(extent.Width(), extent.Height());
  }
  const Integer W = Width();
  const bool rtl = Alignment() == taRightJustify;
  switch (FGroupStyle) {
    case gsStandard:
    case gsFlat: return rtl ? TRect(W - sz.cx - 8, 0, W - 8, sz.cy) : TRect(8, 0, 8 + sz.cx, sz.cy);
    case gsTopLine: return rtl ? TRect(W - sz.cx - 4, 0, W - 4, sz.cy) : TRect(0, 0, sz.cx + 4, sz.cy);
    case gsBanner: return TRect(0, 0, W, FBannerHeight != 0 ? FBannerHeight : sz.cy + 6);
    case gsUnderline: return TRect(0, 0, W, sz.cy + 2);
    default: return TRect();
  }
}

void TFcCustomGroupBox::Paint() {
  if (FGroupStyle == gsCustom) {
    TFcCustomPanel::Paint();
    return;
  }
  TCanvas* c = Canvas();
  HDC dc = c->Handle();
  const Integer W = Width(), H = Height();
  const Integer half = TextHeight(u"Pp") / 2 - 1;
  TRect cr = CaptionRect();
  const bool hasCaption = cr.Right > cr.Left;
  TColor flat;
  Integer adj;
  GetFlatColors(flat, adj);
  flat = AdjustLightness(flat, adj);
  if (ThemeApplies() && PaintThemed(cr, half)) return;
  const Integer saved = SaveDC(dc);
  if (!Transparent()) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->FillRect(TRect(0, 0, W, H));
  } else if (FGroupStyle != gsBanner && hasCaption) {
    ExcludeClipRect(dc, cr.Left, cr.Top, cr.Right, cr.Bottom);
  }
  TRect fr(0, half, W, H), ignored;
  auto styled = [&](TSides Sides) {
    switch (BorderOuter()) {
      case fsNone: PaintStyleSides(c, fr, fsGroove, Sides, ignored); break;
      case fsFlat:
        if (Sides == sdAll)
          PaintBoxOutline(c, fr, flat, ignored);
        else {
          c->Pen()->SetColor(flat);
          c->MoveTo(fr.Left + 2, fr.Top);
          c->LineTo(fr.Right - 2, fr.Top);
        }
        break;
      case fsFlatBold:
        if (Sides == sdAll)
          PaintSidesRepeated(c, fr, flat, flat, 2, sdAll, ignored);
        else {
          c->Pen()->SetColor(flat);
          c->MoveTo(fr.Left + 2, fr.Top);
          c->LineTo(fr.Right - 2, fr.Top);
          c->MoveTo(fr.Left + 2, fr.Top + 1);
          c->LineTo(fr.Right - 2, fr.Top + 1);
        }
        break;
      case fsFlatRounded: PaintRoundedOutline(c, fr, flat, Sides, ignored); break;
      default: PaintStyleSides(c, fr, BorderOuter(), Sides, ignored); break;
    }
  };
  switch (FGroupStyle) {
    case gsStandard: styled(sdAll); break;
    case gsTopLine: styled(SideBit(sdTop)); break;
    case gsFlat: PaintRoundedOutline(c, fr, flat, sdAll, ignored); break;
    case gsBanner:
      if (hasCaption) {
        TColor top, bottom, line;
        if (GradientColorStyle() == gcsCustom) {
          top = GradientColorStart();
          bottom = GradientColorStop();
          line = flat;
        } else {
          TColor dark, light;
          StatusGradientColorsForStyle(GradientColorStyle(), dark, light, line);
          top = light;
          bottom = dark;
        }
        TRect b = cr;
        c->Pen()->SetColor(line);
        c->MoveTo(b.Left, b.Top + 1);
        c->LineTo(b.Left, b.Bottom - 1);
        c->MoveTo(b.Left + 1, b.Top);
        c->LineTo(b.Right - 1, b.Top);
        c->MoveTo(b.Right - 1, b.Top + 1);
        c->LineTo(b.Right - 1, b.Bottom - 1);
        c->MoveTo(b.Left + 1, b.Bottom - 1);
        c->LineTo(b.Right - 1, b.Bottom - 1);
        InflateRect(b, -1, -1);
        PaintGradient(c, b, gdHorizontalEnd, top, bottom, 1);
      }
      break;
    case gsUnderline:
      if (hasCaption) {
        c->Pen()->SetColor(flat);
        c->MoveTo(cr.Left, cr.Bottom);
        c->LineTo(cr.Right, cr.Bottom);
      }
      break;
    default: break;
  }
  RestoreDC(dc, saved);
  c->Refresh();
  if (!hasCaption) return;
  if (!Transparent() && FGroupStyle != gsBanner) {
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(Color());
    c->FillRect(cr);
  }
  if (FGroupStyle == gsBanner) InflateRect(cr, -4, -1);
  c->SetFont(Font());
  c->Brush()->SetStyle(bsClear);
  if (!Enabled())
    c->Font()->SetColor(clGrayText);
  else if (VisualStyle() == vsWinXP && FcThemesEnabled())
    c->Font()->SetColor(ThemeElementColor(tekGroupBoxCaption));
  const UINT align = Alignment() == taRightJustify ? DT_RIGHT : Alignment() == taCenter ? DT_CENTER : DT_LEFT;
  DrawTextOn(c, Caption(), cr, align | DT_SINGLELINE | DT_VCENTER);
  c->Brush()->SetStyle(bsSolid);
}

bool TFcCustomGroupBox::PaintThemed(const TRect& CaptionBox, Integer Half) {
  const TFcThemeData theme(Handle(), u"BUTTON");
  if (!theme) return false;
  TCanvas* c = Canvas();
  c->SetFont(Font());
  c->RequiredState(csHandleValid | csFontValid);
  HDC dc = c->Handle();
  const Integer state = Enabled() ? GBS_NORMAL : GBS_DISABLED;
  if (!Transparent()) PaintParentBackground(this, dc, true);
  const Integer saved = SaveDC(dc);
  if (CaptionBox.Right > CaptionBox.Left)
    ExcludeClipRect(dc, CaptionBox.Left, CaptionBox.Top, CaptionBox.Right, CaptionBox.Bottom);
  theme.Draw(dc, BP_GROUPBOX, state, TRect(0, Half, Width(), Height()));
  RestoreDC(dc, saved);
  if (CaptionBox.Right > CaptionBox.Left) {
    const WideString text = Caption();
    const UINT align = Alignment() == taRightJustify ? DT_RIGHT : Alignment() == taCenter ? DT_CENTER : DT_LEFT;
    DrawThemeText(theme.Handle(), dc, BP_GROUPBOX, state, text.c_str(), static_cast<Integer>(text.size()), align, 0,
                  &CaptionBox);
  }
  return true;
}

void TFcCustomGroupBox::WndProc(TMessage& Message) {
  if (Message.Msg == CM_DIALOGCHAR) {
    const WideChar key = static_cast<WideChar>(Message.WParam);
    if (FcIsAccel(key, Caption()) && CanFocus()) {
      std::vector<TWinControl*> list;
      GetTabOrderList(list);
      if (!list.empty()) list.front()->SetFocus();
      Message.Result = 1;
      return;
    }
  }
  TFcCustomPanel::WndProc(Message);
  if (Message.Msg == CM_FONTCHANGED) Invalidate();
}
