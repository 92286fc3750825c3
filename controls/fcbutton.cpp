// The push button. The classic and hot-tracking looks are drawn to the pixel
// with the frame painters of the set; the mouse and Space only click a button
// they pressed themselves.
#include "controls/fcbutton.h"

#include "platform/ui/messages.h"

// ---------------------------------------------------------------------------
// TFcCustomButton

TFcCustomButton::TFcCustomButton(TComponent* AOwner) : TCustomControl(AOwner) {
  TControlStyle st = ControlStyle();
  st.Include(csCaptureMouse);
  st.Include(csSetCaption);
  st.Include(csOpaque);
  st.Include(csDoubleClicks);
  st.Include(csReplicatable);
  // Clicks come from DoClick alone, which knows about presses and Space.
  st.Exclude(csClickEvents);
  SetControlStyle(st);
  SetBounds(Left(), Top(), 115, 17);
  SetTabStop(true);
}

bool TFcCustomButton::UsesTheme() const { return FThemeAware && FcThemesEnabled(); }

#define FC_BUTTON_SETTER(Class, Name, Type, Field) \
  void Class::Set##Name(Type Value) {              \
    if (Field == Value) return;                    \
    Field = Value;                                 \
    Invalidate();                                  \
  }
FC_BUTTON_SETTER(TFcCustomButton, AlignmentVertical, TAlignmentVertical, FAlignmentVertical)
FC_BUTTON_SETTER(TFcCustomButton, HotTrackColor, TColor, FHotTrackColor)
FC_BUTTON_SETTER(TFcCustomButton, HotTrackColorType, TFcHotTrackColorType, FHotTrackColorType)
FC_BUTTON_SETTER(TFcCustomButton, HighlightColor, TColor, FHighlightColor)
FC_BUTTON_SETTER(TFcCustomButton, LightTextStyle, bool, FLightTextStyle)
FC_BUTTON_SETTER(TFcCustomButton, TextStyle, TTextStyle, FTextStyle)
FC_BUTTON_SETTER(TFcCustomButton, TextHighlightColor, TColor, FTextHighlightColor)
FC_BUTTON_SETTER(TFcCustomButton, TextShadowColor, TColor, FTextShadowColor)
FC_BUTTON_SETTER(TFcCustomButton, TextShadowDepth, Integer, FTextShadowDepth)
FC_BUTTON_SETTER(TFcCustomButton, HotTrack, bool, FHotTrack)
FC_BUTTON_SETTER(TFcCustomButton, ThemeAware, bool, FThemeAware)
FC_BUTTON_SETTER(TFcCustomButton, CornerBackground, bool, FCornerBackground)

void TFcCustomButton::DrawCaption(TCanvas* Canvas, TRect R, UINT Flags) {
  Canvas->Brush()->SetStyle(bsClear);
  Canvas->SetFont(Font());
  const WideString text = Caption();
  TRect calc = R;
  DrawTextOn(Canvas, text, calc, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK | DT_VCENTER | DT_CENTER);
  const Integer h = calc.Height();
  switch (FAlignmentVertical) {
    case avTop: R.Bottom = R.Top + h; break;
    case avCenter:
      R.Top = (R.Top + R.Bottom - h) / 2;
      R.Bottom = R.Top + h;
      break;
    case avBottom: R.Top = R.Bottom - h - 1; break;
  }
  auto drawAt = [&](Integer Dx, Integer Dy, TColor Color) {
    TRect m = R;
    OffsetRect(m, Dx, Dy);
    Canvas->Font()->SetColor(Color);
    DrawTextOn(Canvas, text, m, Flags);
  };
  if (Enabled()) {
    switch (FTextStyle) {
      case tsRaised:
        if (!FLightTextStyle) drawAt(1, 1, FTextShadowColor);
        drawAt(-1, -1, FTextHighlightColor);
        break;
      case tsRecessed:
        drawAt(1, 1, FTextHighlightColor);
        if (!FLightTextStyle) drawAt(-1, -1, FTextShadowColor);
        break;
      case tsShadow:
        if (Flags & DT_RIGHT)
          drawAt(0, FTextShadowDepth, FTextShadowColor);
        else
          drawAt(FTextShadowDepth, FTextShadowDepth, FTextShadowColor);
        break;
      case tsNormal: break;
    }
    Canvas->Font()->SetColor(Font()->Color());
    // Right-aligned text keeps room for a shadow on its right in every style.
    if (Flags & DT_RIGHT) OffsetRect(R, -FTextShadowDepth, 0);
  } else {
    Canvas->Font()->SetColor(ColorsAlike(Color(), clGrayText) ? cl3DDkShadow : clGrayText);
  }
  DrawTextOn(Canvas, text, R, Flags);
  Canvas->Brush()->SetStyle(bsSolid);
}

void TFcCustomButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != mbLeft || !Enabled()) return;
  ::SetFocus(Handle());
  if (GetFocus() != Handle()) return;
  FPressed = true;
  RefreshLook();
  FTracking = true;
}

void TFcCustomButton::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!FTracking) return;
  // Bottom and right edges are outside, as for the release that clicks: a
  // button never looks pressed where letting go would not click it.
  const bool inside = X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight();
  if (inside != FPressed) {
    FPressed = inside;
    RefreshLook();
  }
}

void TFcCustomButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FTracking) return;
  FTracking = false;
  FPressed = false;
  if (X >= 0 && X < ClientWidth() && Y >= 0 && Y < ClientHeight()) DoClick();
  RefreshLook();
}

void TFcCustomButton::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE: {
      TCustomControl::WndProc(Message);
      FMouseOver = Message.Msg == CM_MOUSEENTER;
      if ((FHotTrack || UsesTheme()) && HandleAllocated()) {
        const TRect r = HotRect();
        InvalidateRect(Handle(), &r, FALSE);
      }
      return;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      TCustomControl::WndProc(Message);
      if (Message.Msg == WM_KILLFOCUS) FPressed = false;
      FocusChanged();
      return;
    default: break;
  }
  TCustomControl::WndProc(Message);
}

// ---------------------------------------------------------------------------
// TFcButton

TFcButton::TFcButton(TComponent* AOwner) : TFcCustomButton(AOwner) {
  SetBounds(Left(), Top(), 75, 25);
  SetColor(clBtnFace);
}

FC_BUTTON_SETTER(TFcButton, Alignment, TAlignment, FAlignment)
FC_BUTTON_SETTER(TFcButton, FrameColor, TColor, FFrameColor)
FC_BUTTON_SETTER(TFcButton, ShowDownPattern, bool, FShowDownPattern)
FC_BUTTON_SETTER(TFcButton, ShowFocusRect, bool, FShowFocusRect)
#undef FC_BUTTON_SETTER

void TFcButton::SetHotTrack(bool Value) {
  if (HotTrack() == Value) return;
  TFcCustomButton::SetHotTrack(Value);
  // The hot-track ring has cut corners: the parent shows through them.
  SetCornerBackground(Value);
  if (HandleAllocated()) {
    const TRect r = ClientRect();
    InvalidateRect(Handle(), &r, TRUE);
  }
}

TRect TFcButton::FocusRect() {
  TRect r = ClientRect();
  const Integer inset = HotTrack() || UsesTheme() ? 3 : 4;
  InflateRect(r, -inset, -inset);
  if (FGroupIndex != 0 && DownLooking()) OffsetRect(r, 1, 1);
  return r;
}

TRect TFcButton::CaptionRect() {
  TRect r = ClientRect();
  InflateRect(r, -5, -5);
  if (DownLooking() && !HotTrack() && !UsesTheme()) OffsetRect(r, 1, 1);
  return r;
}

void TFcButton::DrawCaptionArea(TCanvas* Canvas) {
  UINT flags = DT_EXPANDTABS | DT_WORDBREAK;
  switch (FAlignment) {
    case taLeftJustify: flags |= DT_LEFT; break;
    case taRightJustify: flags |= DT_RIGHT; break;
    case taCenter: flags |= DT_CENTER; break;
  }
  DrawCaption(Canvas, CaptionRect(), flags);
}

void TFcButton::BuildDownPattern(TBitmap* Bitmap) {
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(8, 8);
  TCanvas* c = Bitmap->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  c->FillRect(TRect(0, 0, 8, 8));
  const TColor dots = static_cast<TColor>(ColorToRGB(Color()) == 0xC0C0C0 ? 0x808080 : 0xC0C0C0);
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = y % 2; x < 8; x += 2) c->SetPixels(x, y, dots);
}

void TFcButton::PaintHotTrack(TCanvas* C, TRect& R) {
  const TColor parent = Parent() ? Parent()->Color() : clBtnFace;
  auto line = [C](Integer X1, Integer Y1, Integer X2, Integer Y2, TColor Color) {
    C->Pen()->SetColor(Color);
    C->MoveTo(X1, Y1);
    C->LineTo(X2, Y2);
  };
  // The outer ring leaves its corners to the parent; the inner one leaves
  // out only its own four corner pixels.
  auto rings = [&](TColor Dark, TColor Light, TColor Inner) {
    const Integer l = R.Left, t = R.Top, r = R.Right, b = R.Bottom;
    line(l, t + 2, l, b - 2, Dark);
    line(l + 2, t, r - 2, t, Dark);
    line(r - 1, t + 2, r - 1, b - 2, Light);
    line(l + 2, b - 1, r - 2, b - 1, Light);
    C->SetPixels(l + 1, t + 1, Dark);
    C->SetPixels(r - 2, t + 1, Dark);
    C->SetPixels(l + 1, b - 2, Dark);
    C->SetPixels(r - 2, b - 2, Light);
    InflateRect(R, -1, -1);
    const Integer l2 = R.Left, t2 = R.Top, r2 = R.Right, b2 = R.Bottom;
    line(l2, t2 + 1, l2, b2 - 1, Inner);
    line(l2 + 1, t2, r2 - 1, t2, Inner);
    line(r2 - 1, t2 + 1, r2 - 1, b2 - 1, Inner);
    line(l2 + 1, b2 - 1, r2 - 1, b2 - 1, Inner);
    InflateRect(R, -1, -1);
  };
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetWidth(1);
  C->Brush()->SetStyle(bsSolid);
  if (!Enabled()) {
    const TColor inner = Color() == clBtnFace ? LightenColor(clBtnShadow, 30) : DarkenColor(Color(), 80);
    rings(parent, parent, inner);
    C->Brush()->SetColor(Color());
    C->FillRect(R);
    return;
  }
  rings(DarkenColor(parent, 20), LightenColor(parent, 20), FFrameColor);
  if (DownLooking()) {
    C->Brush()->SetColor(DarkenColor(Color(), 10));
    C->FillRect(R);
    return;
  }
  line(R.Left, R.Bottom - 2, R.Right, R.Bottom - 2, DarkenColor(Color(), 20));
  line(R.Left, R.Bottom - 1, R.Right, R.Bottom - 1, DarkenColor(Color(), 30));
  C->Brush()->SetColor(Color());
  C->FillRect(TRect(R.Left, R.Top, R.Right, R.Bottom - 2));
  if (MouseOver()) {
    if (HotTrackColorType() == htctActual) {
      PaintGradientRing(C, R, gdHorizontalEnd, BlendTwoColors(clWhite, HotTrackColor(), 190), HotTrackColor());
    } else {
      const TColor c = ComplementaryColor(HotTrackColor(), 180);
      PaintGradientRing(C, R, gdHorizontalEnd, c, DarkenColor(c, 30));
    }
  } else if (FGroupIndex == 0 && (FActiveDefault || Focused()) && !FPressed) {
    const TColor g = ColorsAlike(HighlightColor(), clBtnFace) ? DarkenColor(HighlightColor(), 30) : HighlightColor();
    const TColor face = LightenColor(Color(), 30);
    PaintGradientRing(C, R, gdHorizontalEnd, BlendTwoColors(g, face, 60), BlendTwoColors(g, face, 160));
  }
}

void TFcButton::PaintClassic(TCanvas* C, TRect& R) {
  if (FGroupIndex == 0 && (((FActiveDefault || Focused()) && !FPressed) || FClicking)) {
    TRect inside;
    PaintSides(C, R, clWindowFrame, clWindowFrame, sdAll, inside);
    R = inside;
  }
  TRect inside;
  if (Color() == clBtnFace) {
    if (FGroupIndex != 0)
      PaintStyleFrame(C, R, DownLooking() ? fsLowered : fsButtonUp, inside);
    else
      PaintPushButtonFrame(C, R, FPressed, inside);
  } else if (FGroupIndex == 0) {
    PaintTintedPushButtonFrame(C, R, Color(), FPressed, inside);
  } else if (DownLooking()) {
    PaintTintedStyleFrame(C, R, Color(), fsLowered, inside);
  } else {
    PaintTintedPushButtonFrame(C, R, Color(), false, inside);
  }
  R = inside;
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Color());
  C->FillRect(R);
}

Integer TFcButton::ThemeState() {
  if (!Enabled()) return PBS_DISABLED;
  if (DownLooking()) return PBS_PRESSED;
  if (FMouseOver) return PBS_HOT;
  if (FGroupIndex != 0 || !(FActiveDefault || Focused()) || FPressed) return PBS_NORMAL;
  return PBS_DEFAULTED;
}

bool TFcButton::PaintThemed(TCanvas* C, const TRect& R) {
  const TFcThemeData theme(Handle(), u"BUTTON");
  if (!theme) return false;
  const Integer state = ThemeState();
  HDC dc = C->Handle();
  if (IsThemeBackgroundPartiallyTransparent(theme.Handle(), BP_PUSHBUTTON, state))
    PaintParentBackground(this, dc, false);
  return theme.Draw(dc, BP_PUSHBUTTON, state, R);
}

void TFcButton::Paint() {
  TCanvas* c = Canvas();
  const TRect focus = FocusRect();
  TRect r = ClientRect();
  if (UsesTheme() && PaintThemed(c, r)) {
    // The theme's push button covers the whole client area.
  } else if (HotTrack()) {
    PaintHotTrack(c, r);
  } else {
    PaintClassic(c, r);
  }
  if (FGroupIndex != 0 && FState == fbsLatched && FShowDownPattern) {
    TBitmap pattern;
    BuildDownPattern(&pattern);
    c->Brush()->SetBitmap(&pattern);
    c->FillRect(r);
    c->Brush()->SetBitmap(nullptr);
  }
  c->SetFont(Font());
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Color());
  DrawCaptionArea(c);
  if (Focused() && FShowFocusRect) {
    TRect ignored;
    PaintDottedFocusFrame(c, focus, ignored);
  }
}

void TFcButton::PaintBackground(HDC DC) {
  TRect e = ClientRect();
  const Integer inset = Enabled() ? -1 : -2;
  InflateRect(e, inset, inset);
  const Integer saved = SaveDC(DC);
  ExcludeClipRect(DC, e.Left, e.Top, e.Right, e.Bottom);
  InflateRect(e, 1, -1);
  ExcludeClipRect(DC, e.Left, e.Top, e.Right, e.Bottom);
  InflateRect(e, -2, 2);
  ExcludeClipRect(DC, e.Left, e.Top, e.Right, e.Bottom);
  PaintParentBackground(this, DC, true);
  RestoreDC(DC, saved);
}

void TFcButton::DoClick() {
  if (FGroupIndex != 0)
    SetDown(!FDown);
  else
    RefreshLook();
  FClicking = true;
  try {
    Click();
  } catch (...) {
    FClicking = false;
    throw;
  }
  FClicking = false;
}

void TFcButton::Click() {
  if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(FModalResult);
  TFcCustomButton::Click();
}

void TFcButton::KeyDown(Word& Key, TShiftState Shift) {
  TFcCustomButton::KeyDown(Key, Shift);
  if (Key == VK_SPACE && !Shift.Contains(ssAlt)) {
    FSpacePressed = true;
    FPressed = true;
    RefreshLook();
  }
}

void TFcButton::KeyUp(Word& Key, TShiftState Shift) {
  TFcCustomButton::KeyUp(Key, Shift);
  if (Key != VK_SPACE) return;
  FPressed = false;
  // Only a Space pressed on this button clicks it; a release whose press went
  // to another control (focus moved in between) does nothing.
  const bool click = FSpacePressed;
  FSpacePressed = false;
  if (click) DoClick();
  RefreshLook();
}

void TFcButton::CreateWnd() {
  TFcCustomButton::CreateWnd();
  FActiveDefault = FDefault;
}

void TFcButton::SetDefault(bool Value) {
  FDefault = Value;
  if (!HandleAllocated()) return;
  if (TCustomForm* form = GetParentForm(this)) AnnounceFocus(form->ActiveControl());
}

void TFcButton::AnnounceFocus(TWinControl* Focused) {
  TCustomForm* form = GetParentForm(this);
  if (!form) return;
  // The layer does not send CM_FOCUSCHANGED itself: the buttons tell each
  // other, through the whole tree of the form.
  std::vector<TWinControl*> todo{form};
  while (!todo.empty()) {
    TWinControl* w = todo.back();
    todo.pop_back();
    for (Integer i = 0; i < w->ControlCount(); ++i) {
      TControl* c = w->Controls(i);
      if (dynamic_cast<TFcButton*>(c)) c->Perform(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Focused));
      if (auto* cw = dynamic_cast<TWinControl*>(c)) todo.push_back(cw);
    }
  }
}

void TFcButton::Broadcast() {
  if (FGroupIndex == 0 || !Parent()) return;
  TMessage m{FC_BUTTON_GROUP, static_cast<WPARAM>(FGroupIndex), reinterpret_cast<LPARAM>(this), 0};
  Parent()->Broadcast(m);
}

void TFcButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (Value == FDown) return;
  // The last down button of a group stays down unless all may be up.
  if (FDown && !FAllowAllUp && FGroupIndex != 0) return;
  FDown = Value;
  FState = Value ? fbsLatched : fbsUp;
  Invalidate();
  if (Value) Broadcast();
}

void TFcButton::SetGroupIndex(Integer Value) {
  if (FGroupIndex == Value) return;
  FGroupIndex = Value;
  Broadcast();
}

void TFcButton::SetAllowAllUp(bool Value) {
  if (FAllowAllUp == Value) return;
  FAllowAllUp = Value;
  Broadcast();
}

void TFcButton::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ERASEBKGND:
      if (CornerBackground()) {
        PaintBackground(reinterpret_cast<HDC>(Message.WParam));
        Message.Result = 1;
        return;
      }
      break;
    case WM_SETFOCUS:
      TFcCustomButton::WndProc(Message);
      AnnounceFocus(this);
      return;
    case WM_KILLFOCUS:
      TFcCustomButton::WndProc(Message);
      FSpacePressed = false;
      RefreshLook();
      AnnounceFocus(FindControl(reinterpret_cast<HWND>(Message.WParam)));
      return;
    case CM_FOCUSCHANGED: {
      auto* s = reinterpret_cast<TWinControl*>(Message.LParam);
      const bool acting = dynamic_cast<TFcButton*>(s) || dynamic_cast<TButton*>(s) ? s == this : FDefault;
      if (acting != FActiveDefault) {
        FActiveDefault = acting;
        Repaint();
      }
      return;
    }
    case CM_DIALOGKEY: {
      const bool noShift = KeyDataToShiftState(Message.LParam).Empty();
      if (((Message.WParam == VK_RETURN && FActiveDefault) || (Message.WParam == VK_ESCAPE && FCancel)) &&
          noShift && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    }
    case CM_DIALOGCHAR:
      if (FcIsAccel(static_cast<WideChar>(Message.WParam), Caption()) && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
      }
      break;
    case CM_ENABLEDCHANGED:
      if (!Enabled() && Parent())
        if (TCustomForm* form = GetParentForm(this)) form->DefocusControl(this, false);
      if (HandleAllocated()) EnableWindow(Handle(), Enabled());
      Invalidate();
      break;
    case CM_TEXTCHANGED: Repaint(); break;
    case FC_BUTTON_GROUP: {
      auto* s = reinterpret_cast<TFcButton*>(Message.LParam);
      if (s == this || static_cast<Integer>(Message.WParam) != FGroupIndex || FGroupIndex == 0) break;
      if (s->Down() && FDown) {
        FDown = false;
        FState = fbsUp;
        Invalidate();
      }
      FAllowAllUp = s->AllowAllUp();
      return;
    }
    default: break;
  }
  TFcCustomButton::WndProc(Message);
}
