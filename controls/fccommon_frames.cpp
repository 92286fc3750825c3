// The frame painters of the control set. Each paints inside a rectangle and
// hands back what is left inside, so that outer frame, border rings and inner
// frame stack. Lines are MoveTo/LineTo, so their end pixels stay unpainted and
// the lower-right lines, drawn last, own the top-right and bottom-left corners.
#include <map>
#include <mutex>

#include "controls/fccommon.h"
#include "platform/ui/forms.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

namespace {

// WM_PRINTCLIENT's request for the client area.
constexpr LPARAM kPrfClient = 0x00000004;

struct TStyleColors {
  TColor UpperLeft, LowerRight;
};
constexpr TStyleColors StyleColors[11] = {
    {clWindow, clWindow},           {cl3DDkShadow, cl3DDkShadow},     {clBtnShadow, clBtnHighlight},
    {clBtnHighlight, clBtnShadow},  {clBtnShadow, clBtnHighlight},    {clNone, clNone},
    {cl3DDkShadow, clBtnFace},      {clNone, clNone},                 {clBtnShadow, clBtnHighlight},
    {clBtnHighlight, clBtnShadow},  {clBtnShadow, clBtnShadow},
};

struct TRing {
  TColor OuterUL, OuterLR, InnerUL, InnerLR;
};
constexpr TRing RaisedEdge{cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow};
constexpr TRing SunkenEdge{clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight};
constexpr TRing ButtonUpEdge{clBtnHighlight, cl3DDkShadow, cl3DLight, clBtnShadow};
constexpr TRing ButtonDownEdge{clBtnText, clBtnText, clBtnShadow, clBtnShadow};

void Line(TCanvas* C, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  C->MoveTo(X1, Y1);
  C->LineTo(X2, Y2);
}

void TwoRings(TCanvas* Canvas, const TRect& Bounds, const TRing& R, TSides Sides, TRect& Result) {
  TRect mid;
  PaintSides(Canvas, Bounds, R.OuterUL, R.OuterLR, Sides, mid);
  PaintSides(Canvas, mid, R.InnerUL, R.InnerLR, Sides, Result);
}

// The etched look of fsGroove and fsBump: corner pixels first, then the light
// ring moved by one, then the other ring over it.
void PaintEtchedSides(TCanvas* Canvas, const TRect& B, TColor UL, TColor LR, TSides Sides, TRect& Result) {
  const bool l = HasSide(Sides, sdLeft), t = HasSide(Sides, sdTop), r = HasSide(Sides, sdRight),
             b = HasSide(Sides, sdBottom);
  auto px = [&](Integer X, Integer Y, TColor C) { Canvas->SetPixels(X, Y, C); };
  if (r) px(B.Right - 1, B.Top, LR);
  if (t && !r) px(B.Right - 1, B.Top, UL);
  if (b) px(B.Left, B.Bottom - 1, LR);
  if (l && !b) px(B.Left, B.Bottom - 1, UL);
  if (t && !l) px(B.Left, B.Top + 1, LR);
  if (l && !t) px(B.Left + 1, B.Top, LR);
  if (b && !r) px(B.Right - 1, B.Bottom - 2, UL);
  if (r && !b) px(B.Right - 2, B.Bottom - 1, UL);
  TRect ignored, shifted(B.Left + 1, B.Top + 1, B.Right, B.Bottom);
  PaintSides(Canvas, shifted, LR, LR, Sides, ignored);
  OffsetRect(shifted, -1, -1);
  PaintSides(Canvas, shifted, UL, UL, Sides, ignored);
  Result = B;
  if (l) Result.Left += 2;
  if (t) Result.Top += 2;
  if (r) Result.Right -= 2;
  if (b) Result.Bottom -= 2;
}

// A ring that leaves out its four corner pixels; shrinks by 1 on every side.
void PaintCutCornerRing(TCanvas* Canvas, TRect& R, TColor Color) {
  Canvas->Pen()->SetColor(Color);
  Line(Canvas, R.Left, R.Top + 1, R.Left, R.Bottom - 1);
  Line(Canvas, R.Left + 1, R.Top, R.Right - 1, R.Top);
  Line(Canvas, R.Right - 1, R.Top + 1, R.Right - 1, R.Bottom - 1);
  Line(Canvas, R.Left + 1, R.Bottom - 1, R.Right - 1, R.Bottom - 1);
  InflateRect(R, -1, -1);
}

}  // namespace

void PaintSides(TCanvas* Canvas, const TRect& Bounds, TColor UpperLeftColor, TColor LowerRightColor, TSides Sides,
                TRect& Result) {
  const TRect b = Bounds;
  if (UpperLeftColor != clNone) {
    Canvas->Pen()->SetColor(UpperLeftColor);
    if (HasSide(Sides, sdLeft)) Line(Canvas, b.Left, b.Top, b.Left, b.Bottom);
    if (HasSide(Sides, sdTop)) Line(Canvas, b.Left, b.Top, b.Right, b.Top);
  }
  if (LowerRightColor != clNone) {
    Canvas->Pen()->SetColor(LowerRightColor);
    if (HasSide(Sides, sdRight)) Line(Canvas, b.Right - 1, b.Top, b.Right - 1, b.Bottom);
    if (HasSide(Sides, sdBottom)) Line(Canvas, b.Left, b.Bottom - 1, b.Right, b.Bottom - 1);
  }
  Result = b;
  if (HasSide(Sides, sdLeft)) ++Result.Left;
  if (HasSide(Sides, sdTop)) ++Result.Top;
  if (HasSide(Sides, sdRight)) --Result.Right;
  if (HasSide(Sides, sdBottom)) --Result.Bottom;
}

void PaintSidesRepeated(TCanvas* Canvas, const TRect& Bounds, TColor UpperLeftColor, TColor LowerRightColor,
                        Integer Count, TSides Sides, TRect& Result) {
  Result = Bounds;
  if (Count <= 0) return;
  Canvas->Pen()->SetWidth(1);
  for (Integer i = 0; i < Count; ++i) {
    const TRect r = Result;
    PaintSides(Canvas, r, UpperLeftColor, LowerRightColor, Sides, Result);
  }
}

void PaintSunkenRaisedSides(TCanvas* Canvas, const TRect& Bounds, bool Sunken, TSides Sides, TRect& Result) {
  TwoRings(Canvas, Bounds, Sunken ? SunkenEdge : RaisedEdge, Sides, Result);
}

void PaintPushButtonFrame(TCanvas* Canvas, const TRect& Bounds, bool Down, TRect& Result) {
  PaintPushButtonSides(Canvas, Bounds, Down, sdAll, Result);
}

void PaintPushButtonSides(TCanvas* Canvas, const TRect& Bounds, bool Down, TSides Sides, TRect& Result) {
  TwoRings(Canvas, Bounds, Down ? ButtonDownEdge : ButtonUpEdge, Sides, Result);
}

void PaintTintedPushButtonFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TRect& Result) {
  PaintTintedPushButtonSides(Canvas, Bounds, FaceColor, Down, sdAll, Result);
}

void PaintTintedPushButtonSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TSides Sides,
                                TRect& Result) {
  const TColor F = FaceColor;
  if (Down)
    TwoRings(Canvas, Bounds, {DarkenColor(F, 100), DarkenColor(F, 100), DarkenColor(F, 50), DarkenColor(F, 50)},
             Sides, Result);
  else
    TwoRings(Canvas, Bounds, {LightenColor(F, 100), DarkenColor(F, 100), LightenColor(F, 40), DarkenColor(F, 50)},
             Sides, Result);
}

void PaintStyleFrame(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TRect& Result) {
  PaintStyleSides(Canvas, Bounds, Style, sdAll, Result);
}

void PaintStyleSides(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TSides Sides, TRect& Result) {
  Result = Bounds;
  if (Style > fsFlatBold) return;  // fsFlatRounded has no system-colour look
  const TStyleColors c = StyleColors[Style];
  switch (Style) {
    case fsNone: break;
    case fsFlat:
    case fsStatus:
    case fsPopup: PaintSides(Canvas, Bounds, c.UpperLeft, c.LowerRight, Sides, Result); break;
    case fsLowered:
    case fsRaised: PaintSunkenRaisedSides(Canvas, Bounds, Style == fsLowered, Sides, Result); break;
    case fsButtonDown:
    case fsButtonUp: PaintPushButtonSides(Canvas, Bounds, Style == fsButtonDown, Sides, Result); break;
    case fsFlatBold: PaintSidesRepeated(Canvas, Bounds, c.UpperLeft, c.LowerRight, 2, Sides, Result); break;
    case fsGroove:
    case fsBump: PaintEtchedSides(Canvas, Bounds, c.UpperLeft, c.LowerRight, Sides, Result); break;
    default: break;
  }
}

void PaintTintedStyleFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyleEx Style,
                           TRect& Result) {
  PaintTintedStyleSides(Canvas, Bounds, FaceColor, Style, sdAll, Result);
}

void PaintTintedStyleSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyleEx Style,
                           TSides Sides, TRect& Result) {
  const TColor F = FaceColor;
  Result = Bounds;
  switch (Style) {
    case fsFlat: PaintSides(Canvas, Bounds, DarkenColor(F, 50), DarkenColor(F, 50), Sides, Result); break;
    case fsGroove: PaintEtchedSides(Canvas, Bounds, DarkenColor(F, 50), LightenColor(F, 100), Sides, Result); break;
    case fsBump: PaintEtchedSides(Canvas, Bounds, LightenColor(F, 100), DarkenColor(F, 50), Sides, Result); break;
    case fsLowered:
      TwoRings(Canvas, Bounds, {DarkenColor(F, 50), LightenColor(F, 100), DarkenColor(F, 100), LightenColor(F, 50)},
               Sides, Result);
      break;
    case fsRaised:
      TwoRings(Canvas, Bounds, {LightenColor(F, 50), DarkenColor(F, 100), LightenColor(F, 100), DarkenColor(F, 50)},
               Sides, Result);
      break;
    case fsButtonDown:
    case fsButtonUp: PaintTintedPushButtonSides(Canvas, Bounds, F, Style == fsButtonDown, Sides, Result); break;
    case fsStatus: PaintSides(Canvas, Bounds, DarkenColor(F, 50), LightenColor(F, 100), Sides, Result); break;
    case fsPopup: PaintSides(Canvas, Bounds, LightenColor(F, 100), DarkenColor(F, 50), Sides, Result); break;
    case fsFlatBold:
      PaintSidesRepeated(Canvas, Bounds, DarkenColor(F, 50), DarkenColor(F, 50), 2, Sides, Result);
      break;
    default: break;
  }
}

void PaintBoxOutline(TCanvas* Canvas, const TRect& Bounds, TColor Color, TRect& Result) {
  PaintSides(Canvas, Bounds, Color, Color, sdAll, Result);
}

void PaintRoundedOutline(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides, TRect& Result) {
  const TRect b = Bounds;
  const bool l = HasSide(Sides, sdLeft), t = HasSide(Sides, sdTop), r = HasSide(Sides, sdRight),
             bo = HasSide(Sides, sdBottom);
  const Integer top = t ? b.Top + 2 : b.Top, bottom = bo ? b.Bottom - 2 : b.Bottom;
  const Integer left = l ? b.Left + 2 : b.Left, right = r ? b.Right - 2 : b.Right;
  Canvas->Pen()->SetColor(Color);
  if (l) Line(Canvas, b.Left, top, b.Left, bottom);
  if (t) Line(Canvas, left, b.Top, right, b.Top);
  if (r) Line(Canvas, b.Right - 1, top, b.Right - 1, bottom);
  if (bo) Line(Canvas, left, b.Bottom - 1, right, b.Bottom - 1);
  if (l && t) Canvas->SetPixels(b.Left + 1, b.Top + 1, Color);
  if (t && r) Canvas->SetPixels(b.Right - 2, b.Top + 1, Color);
  if (r && bo) Canvas->SetPixels(b.Right - 2, b.Bottom - 2, Color);
  if (l && bo) Canvas->SetPixels(b.Left + 1, b.Bottom - 2, Color);
  Result = TRect(left, top, right, bottom);
}

void PaintControlFrame(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                       Integer BorderWidth, TSides Sides, Integer BevelWidth, TColor BorderColor,
                       TColor HighlightColor, TColor ShadowColor, TColor FlatColor, Integer FlatAdjustment,
                       TColor FaceColor, TColor ParentColor, bool Transparent, bool CutCorners, TRect& Result) {
  const TColor flat = AdjustLightness(FlatColor, FlatAdjustment);
  TRect r = Bounds, next;
  switch (OuterStyle) {
    case fsFlat: PaintSides(Canvas, r, flat, flat, Sides, next); break;
    case fsFlatBold: PaintSidesRepeated(Canvas, r, flat, flat, 2, Sides, next); break;
    case fsFlatRounded: {
      const bool ringed = BorderWidth > 0 || InnerStyle != fsNone;
      TRect inner;
      PaintSides(Canvas, r, Transparent ? clNone : ParentColor, Transparent ? clNone : ParentColor, Sides, inner);
      TRect ignored;
      if (!Transparent)
        PaintSides(Canvas, inner, ringed ? BorderColor : FaceColor, ringed ? BorderColor : FaceColor, Sides, ignored);
      else if (ringed)
        PaintSides(Canvas, inner, BorderColor, BorderColor, Sides, ignored);
      PaintRoundedOutline(Canvas, r, flat, Sides, next);
      break;
    }
    case fsPopup: PaintSidesRepeated(Canvas, r, HighlightColor, ShadowColor, BevelWidth, Sides, next); break;
    case fsStatus: PaintSidesRepeated(Canvas, r, ShadowColor, HighlightColor, BevelWidth, Sides, next); break;
    default: PaintStyleSides(Canvas, r, OuterStyle, Sides, next); break;
  }
  r = next;
  if (BorderWidth > 0) {
    PaintSidesRepeated(Canvas, r, BorderColor, BorderColor, BorderWidth, Sides, next);
    r = next;
  }
  switch (InnerStyle) {
    case fsFlat:
      if (CutCorners)
        PaintCutCornerRing(Canvas, r, flat);
      else {
        PaintSides(Canvas, r, flat, flat, Sides, next);
        r = next;
      }
      break;
    case fsFlatBold:
      PaintSidesRepeated(Canvas, r, flat, flat, 2, Sides, next);
      r = next;
      break;
    case fsFlatRounded: {
      TRect a, ignored;
      PaintSides(Canvas, r, BorderColor, BorderColor, Sides, a);
      if (!Transparent) PaintSides(Canvas, a, FaceColor, FaceColor, Sides, ignored);
      PaintRoundedOutline(Canvas, r, flat, Sides, next);
      r = next;
      break;
    }
    case fsPopup:
      PaintSidesRepeated(Canvas, r, HighlightColor, ShadowColor, BevelWidth, Sides, next);
      r = next;
      break;
    case fsStatus:
      PaintSidesRepeated(Canvas, r, ShadowColor, HighlightColor, BevelWidth, Sides, next);
      r = next;
      break;
    default:
      PaintStyleSides(Canvas, r, InnerStyle, Sides, next);
      r = next;
      break;
  }
  Result = r;
}

void PaintDottedFocusFrame(TCanvas* Canvas, const TRect& Bounds, TRect& Result) {
  const TRect b = Bounds;
  for (Integer y = b.Top + 1; y < b.Bottom; y += 2) {
    Canvas->SetPixels(b.Left, y, clBlack);
    Canvas->SetPixels(b.Right - 1, y, clBlack);
  }
  for (Integer x = b.Left + 1; x < b.Right; x += 2) {
    Canvas->SetPixels(x, b.Top, clBlack);
    Canvas->SetPixels(x, b.Bottom - 1, clBlack);
  }
  Result = b;
  InflateRect(Result, -1, -1);
}

Integer FrameStyleWidth(TFrameStyleEx Style, Integer BevelWidth) {
  switch (Style) {
    case fsNone: return 0;
    case fsFlat: return 1;
    case fsStatus:
    case fsPopup: return BevelWidth;
    default: return 2;
  }
}

void PaintParentBackground(TControl* Control, HDC DC, bool InvalidateParent) {
  TWinControl* parent = Control ? Control->Parent() : nullptr;
  if (!parent) return;
  const Integer saved = SaveDC(DC);
  TPoint old;
  OffsetViewportOrgEx(DC, -Control->Left(), -Control->Top(), &old);
  IntersectClipRect(DC, 0, 0, parent->ClientWidth(), parent->ClientHeight());
  parent->Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
  parent->Perform(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(DC), kPrfClient);
  RestoreDC(DC, saved);
  // A custom control or a form repaints its own background; a plain one may
  // hold the only copy of what shows through.
  if (InvalidateParent && !dynamic_cast<TCustomControl*>(parent) && !dynamic_cast<TCustomForm*>(parent))
    parent->Invalidate();
}

namespace {
std::map<TControl*, std::function<bool()>>& TransparentReaders() {
  static std::map<TControl*, std::function<bool()>> m;
  return m;
}
}  // namespace

void RegisterFcTransparentProperty(TControl* Control, std::function<bool()> Read) {
  TransparentReaders()[Control] = std::move(Read);
}

void UnregisterFcTransparentProperty(TControl* Control) { TransparentReaders().erase(Control); }

void InvalidateTransparentChildren(TWinControl* Panel) {
  if (!Panel) return;
  auto& readers = TransparentReaders();
  for (Integer i = 0; i < Panel->ControlCount(); ++i) {
    TControl* c = Panel->Controls(i);
    auto it = readers.find(c);
    if (it != readers.end() && it->second && it->second()) c->Invalidate();
  }
}

HFONT CreateRotatedFont(TFont* Font, Integer AngleDegrees) {
  LOGFONTW lf{};
  const LOGFONTW& src = Font->Data();
  lf.lfHeight = Font->Height();
  lf.lfWidth = 0;
  lf.lfEscapement = AngleDegrees * 10;
  lf.lfOrientation = 0;
  const TFontStyles st = Font->Style();
  lf.lfWeight = st.Contains(fsBold) ? 700 : 400;
  lf.lfItalic = st.Contains(fsItalic) ? 1 : 0;
  lf.lfUnderline = st.Contains(fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = st.Contains(fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = Font->Charset();
  lf.lfOutPrecision = 0;
  lf.lfClipPrecision = 0;
  lf.lfQuality = 0;
  switch (Font->Pitch()) {
    case fpVariable: lf.lfPitchAndFamily = VARIABLE_PITCH; break;
    case fpFixed: lf.lfPitchAndFamily = FIXED_PITCH; break;
    default: lf.lfPitchAndFamily = DEFAULT_PITCH; break;
  }
  for (size_t i = 0; i < sizeof(lf.lfFaceName) / sizeof(lf.lfFaceName[0]); ++i) lf.lfFaceName[i] = src.lfFaceName[i];
  return CreateFontIndirectW(&lf);
}

WideString StripAccelerators(const WideString& Text) {
  // "&&" is one literal "&"; a lone "&" marks the next character and goes,
  // except as the last character, which always stays.
  WideString out;
  const size_t n = Text.size();
  for (size_t i = 0; i < n; ++i) {
    if (Text[i] == u'&' && i + 1 < n) {
      if (Text[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += Text[i];
  }
  return out;
}

Integer DrawTextOn(TCanvas* Canvas, const WideString& Text, TRect& Rect, UINT Format) {
  Canvas->RequiredState(csHandleValid | csFontValid | csBrushValid);
  return DrawTextW(Canvas->Handle(), Text.c_str(), -1, &Rect, Format);
}

bool FcIsAccel(WideChar Key, const WideString& Caption) {
  auto up = [](WideChar c) { return c >= u'a' && c <= u'z' ? static_cast<WideChar>(c - u'a' + u'A') : c; };
  for (size_t i = 0; i + 1 < Caption.size(); ++i) {
    if (Caption[i] != u'&') continue;
    if (Caption[i + 1] == u'&') {
      ++i;
      continue;
    }
    return up(Caption[i + 1]) == up(Key);
  }
  return false;
}
