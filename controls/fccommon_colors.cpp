// Colour arithmetic, scheme colours and the two-colour gradient painter of
// the control set. Gradients go through an off-screen bitmap: band gradients
// paint an 8-pixel strip and replicate it, box gradients paint one quadrant
// and mirror it, so the number of fills follows the number of colours.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "controls/fccommon.h"
#include "platform/base/sysutils.h"

Byte XpColorScheme = 0;
bool FullColorScreen = true;

namespace {

WideString GSchemeName;

// Start-up: full colour and the scheme are read once, as the panels expect.
struct TFcColorsInit {
  TFcColorsInit() {
    FullColorScreen = ScreenIsFullColor();
    XpColorScheme = ReadXpColorScheme();
  }
} GInit;

Byte ToByte(double V) {
  const int64_t r = Round(V);
  return static_cast<Byte>(std::clamp<int64_t>(r, 0, 255));
}

struct TScheme {
  TColor GradientLight, GradientDark, Frame, BarLight, BarDark;
};
constexpr TScheme Schemes[3] = {
    {0xFFEFE3, 0xEABB99, 0xBF7F57, 0xE7A27B, 0xD67563},
    {0xEDFFFF, 0x92C7B8, 0x77A17F, 0xADD9CC, 0x84BDA5},
    {0xFFF9F9, 0xD0BCBD, 0xB19F9F, 0xD4C8C4, 0xC8B3B1},
};
const TScheme& Scheme() { return Schemes[XpColorScheme < 3 ? XpColorScheme : 0]; }
bool OfficeColors(TFcGradientColorStyle Style) { return Style == gcsMSOffice && FcThemesEnabled(); }

}  // namespace

THsl240 ColorToHsl240(TColor Color) {
  const uint32_t c = static_cast<uint32_t>(ColorToRGB(Color));
  const double r = GetRValue(c) / 255.0, g = GetGValue(c) / 255.0, b = GetBValue(c) / 255.0;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  const double l = (mx + mn) / 2;
  double h = 0, s = 0;
  if (mx != mn) {
    const double d = mx - mn;
    s = l < 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = 2 + (b - r) / d;
    else
      h = 4 + (r - g) / d;
    h /= 6;
    if (h < 0) h += 1;
  }
  return {ToByte(h * 240), ToByte(s * 240), ToByte(l * 240)};
}

Byte HueOf(TColor Color) { return ColorToHsl240(Color).Hue; }

TColor Hsl240ToColor(Integer Hue, Integer Saturation, Integer Lightness) {
  const double h = Hue / 239.0, s = Saturation / 240.0, l = Lightness / 240.0;
  const double v = l < 0.5 ? l * (1 + s) : l + s - l * s;
  double r = 0, g = 0, b = 0;
  if (v > 0) {
    const double m = 2 * l - v;
    const double sv = (v - m) / v;
    const double h6 = h * 6;
    const int sextant = static_cast<int>(h6);
    const double fract = h6 - sextant;
    const double vsf = v * sv * fract;
    const double mid1 = m + vsf, mid2 = v - vsf;
    switch (sextant) {
      case 1: r = mid2, g = v, b = m; break;
      case 2: r = m, g = v, b = mid1; break;
      case 3: r = m, g = mid2, b = v; break;
      case 4: r = mid1, g = m, b = v; break;
      case 5: r = v, g = m, b = mid2; break;
      default: r = v, g = mid1, b = m; break;
    }
  }
  auto ch = [](double x) { return ToByte(std::min(x, 1.0) * 255); };
  return static_cast<TColor>(RGB(ch(r), ch(g), ch(b)));
}

TColor DarkenColor(TColor Color, Integer Amount) {
  const THsl240 t = ColorToHsl240(Color);
  return Hsl240ToColor(t.Hue, t.Saturation, LargerOf(t.Lightness - Amount, 0));
}

TColor LightenColor(TColor Color, Integer Amount) {
  // Lightness may pass 240: the channels then saturate at white.
  const THsl240 t = ColorToHsl240(Color);
  return Hsl240ToColor(t.Hue, t.Saturation, SmallerOf(t.Lightness + Amount, 255));
}

TColor AdjustLightness(TColor Color, Integer Amount) {
  if (Amount > 0) return LightenColor(Color, Amount);
  if (Amount < 0) return DarkenColor(Color, -Amount);
  return Color;
}

TColor BlendTwoColors(TColor First, TColor Second, Integer Weight) {
  const uint32_t a = static_cast<uint32_t>(ColorToRGB(First)), b = static_cast<uint32_t>(ColorToRGB(Second));
  const float f = static_cast<float>(Weight) / 255.0f;
  const float g = 1.0f - f;
  auto ch = [&](Byte x, Byte y) {
    const float v = static_cast<float>(x) * f + static_cast<float>(y) * g;
    return static_cast<Byte>(std::clamp<int64_t>(Round(v), 0, 255));
  };
  return static_cast<TColor>(
      RGB(ch(GetRValue(a), GetRValue(b)), ch(GetGValue(a), GetGValue(b)), ch(GetBValue(a), GetBValue(b))));
}

bool ColorsAlike(TColor A, TColor B) {
  const THsl240 a = ColorToHsl240(A), b = ColorToHsl240(B);
  return std::abs(a.Hue - b.Hue) < 20 && std::abs(a.Lightness - b.Lightness) < 60;
}

TColor ComplementaryColor(TColor Color, Integer Lightness) {
  Integer hue = HueOf(Color);
  hue = hue < 120 ? hue + 120 : hue - 120;
  return Hsl240ToColor(hue, 240, Lightness);
}

bool FcThemesEnabled() { return IsAppThemed() && IsThemeActive(); }
void SetFcThemesEnabled(bool Value) { EnableTheming(Value); }

void GradientColorsForStyle(TFcGradientColorStyle Style, TColor& Start, TColor& Stop) {
  if (OfficeColors(Style)) {
    Start = Scheme().GradientLight;
    Stop = Scheme().GradientDark;
  } else {
    Start = clWindow;
    Stop = DarkenColor(clBtnFace, 10);
  }
}

TColor FrameColorForStyle(TFcGradientColorStyle Style) {
  return OfficeColors(Style) ? Scheme().Frame : LightenColor(clBtnShadow, 30);
}

void StatusGradientColorsForStyle(TFcGradientColorStyle Style, TColor& Dark, TColor& Light, TColor& Line) {
  if (OfficeColors(Style)) {
    Dark = Scheme().GradientDark;
    Light = Scheme().GradientLight;
    Line = Scheme().GradientDark;
  } else {
    Dark = DarkenColor(clBtnFace, 20);
    Light = clWindow;
    Line = DarkenColor(clBtnFace, 40);
  }
}

void BarGradientColorsForStyle(TFcGradientColorStyle Style, TColor& First, TColor& Second) {
  if (OfficeColors(Style)) {
    First = Scheme().BarLight;
    Second = Scheme().BarDark;
  } else {
    First = BlendTwoColors(clBlack, clBtnFace, 40);
    Second = BlendTwoColors(clBlack, clBtnFace, 80);
  }
}

TColor ThemeElementColor(TFcThemeElementKind Kind) {
  if (!FcThemesEnabled()) return clBtnFace;
  if (Kind != tekGroupBoxCaption) return static_cast<TColor>(0xFFFFFF);
  const TFcThemeData theme(nullptr, u"BUTTON");
  COLORREF c = 0;
  if (theme && SUCCEEDED(GetThemeColor(theme.Handle(), BP_GROUPBOX, GBS_NORMAL, TMT_TEXTCOLOR, &c)))
    return static_cast<TColor>(c);
  // Theme data cannot be had: the classic text colour of a group box.
  return clBtnText;
}

void SetXpColorSchemeName(const WideString& Name) { GSchemeName = Name; }

Byte ReadXpColorScheme() {
  WideString n = GSchemeName;
  for (auto& c : n)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  if (n == u"HOMESTEAD") return 1;
  if (n == u"METALLIC") return 2;
  return 0;
}

// Every surface the platform paints on holds true colour.
bool ScreenIsFullColor() { return true; }

// Every kind asked for is an NT 6 or later system.
bool IsWindowsVersion(TWindowsVersionKind) { return true; }

// ---------------------------------------------------------------------------
// Gradients

namespace {

// One channel set in 16.16 fixed point, stepping toward a target colour.
struct TColorStepper {
  int64_t C[3];
  int64_t D[3];
  TColorStepper(uint32_t From, uint32_t To, int64_t Steps) {
    const Byte f[3] = {GetRValue(From), GetGValue(From), GetBValue(From)};
    const Byte t[3] = {GetRValue(To), GetGValue(To), GetBValue(To)};
    for (int i = 0; i < 3; ++i) {
      C[i] = int64_t(f[i]) << 16;
      D[i] = ((int64_t(t[i]) << 16) - C[i]) / (Steps + 1);
    }
  }
  COLORREF Color() const {
    return RGB(static_cast<Byte>(C[0] >> 16), static_cast<Byte>(C[1] >> 16), static_cast<Byte>(C[2] >> 16));
  }
  void Step() {
    for (int i = 0; i < 3; ++i) C[i] += D[i];
  }
};

// How many steps always share one band, from the colour-steps argument.
Integer ExtraSteps(Integer ColorSteps, bool Box) {
  Integer c = ColorSteps;
  if (c > 8) c = (Box ? 256 : 255) / c + 1;
  return std::max(c - 1, 0);
}

void FillBand(HDC DC, const TRect& R, COLORREF Color) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  HBRUSH b = CreateSolidBrush(Color);
  FillRect(DC, &R, b);
  DeleteObject(b);
}

// Steps Count positions through the stepper, handing out runs of one colour
// (and the merged extra steps) as [First, Last] position pairs.
template <class Emit>
void StepRuns(TColorStepper& St, Integer Count, Integer Extra, Emit Band) {
  Integer i = 0;
  while (i < Count) {
    const COLORREF c = St.Color();
    Integer j = i;
    for (Integer e = 0; e < Extra && j + 1 < Count; ++e) {
      St.Step();
      ++j;
    }
    for (;;) {
      St.Step();
      if (j + 1 >= Count || St.Color() != c) break;
      ++j;
    }
    Band(i, j, c);
    i = j + 1;
  }
}

// Bands along one axis of a strip (Vertical: along y), painted from the far
// end toward position 1. Mid < 0: one pass over the whole length.
void PaintBandGradient(HDC DC, Integer Length, Integer Across, bool AlongY, Integer Mid, COLORREF Start,
                       COLORREF Stop, Integer Extra) {
  auto band = [&](Integer a, Integer b, COLORREF c) {  // positions a..b, 0-based, inclusive
    const Integer lo = std::min(a, b), hi = std::max(a, b) + 1;
    FillBand(DC, AlongY ? TRect(0, lo, Across, hi) : TRect(lo, 0, hi, Across), c);
  };
  if (Mid < 0) {
    TColorStepper st(Stop, Start, Length);
    StepRuns(st, Length, Extra, [&](Integer i, Integer j, COLORREF c) { band(Length - 1 - i, Length - 1 - j, c); });
    return;
  }
  // First pass: the middle (stop colour) out to the near edge.
  const Integer n1 = std::min(Mid + 1, Length);
  TColorStepper st1(Stop, Start, n1);
  StepRuns(st1, n1, Extra, [&](Integer i, Integer j, COLORREF c) { band(n1 - 1 - i, n1 - 1 - j, c); });
  // Second pass: the far edge (start colour) in toward the middle.
  const Integer n2 = Length - n1;
  if (n2 <= 0) return;
  TColorStepper st2(Start, Stop, n2);
  StepRuns(st2, n2, Extra, [&](Integer i, Integer j, COLORREF c) { band(Length - 1 - i, Length - 1 - j, c); });
}

// Copies the painted strip over the rest of the bitmap, doubling each time.
void ReplicateStrip(HDC DC, Integer W, Integer H, bool AcrossX, Integer Strip) {
  const Integer total = AcrossX ? W : H;
  Integer done = std::min(Strip, total);
  while (done < total) {
    const Integer n = std::min(done, total - done);
    if (AcrossX)
      BitBlt(DC, done, 0, n, H, DC, 0, 0, SRCCOPY);
    else
      BitBlt(DC, 0, done, W, n, DC, 0, 0, SRCCOPY);
    done += n;
  }
}

// Nested boxes in the top-left quadrant, stop colour at the centre.
void PaintBoxGradient(HDC DC, Integer W, Integer H, Integer InsetX, Integer InsetY, COLORREF Start, COLORREF Stop,
                      Integer Extra) {
  if (Start == Stop || W < 5 || H <= 4) {
    FillBand(DC, TRect(0, 0, W, H), Start);
    return;
  }
  const Integer qx = (W - 1) / 2, qy = (H - 1) / 2;  // last column and row of the quadrant
  const Integer hx = std::max(qx - InsetX, 0), hy = std::max(qy - InsetY, 0);
  const Integer steps = std::max(hx, hy) + 1;
  // The corner walks from (hx, hy) to (0, 0) so that the last band reaches the edges.
  const int64_t dx = steps > 1 ? (int64_t(hx) << 16) / (steps - 1) : 0;
  const int64_t dy = steps > 1 ? (int64_t(hy) << 16) / (steps - 1) : 0;
  // The inner steps run from the stop colour toward the start colour; the
  // outermost band is the start colour itself, so the edges show it exactly.
  TColorStepper st(Stop, Start, steps - 1);
  Integer prevX = qx + 1, prevY = qy + 1;
  auto cornerX = [&](Integer k) { return k == steps - 1 ? 0 : static_cast<Integer>(((int64_t(hx) << 16) - dx * k) >> 16); };
  auto cornerY = [&](Integer k) { return k == steps - 1 ? 0 : static_cast<Integer>(((int64_t(hy) << 16) - dy * k) >> 16); };
  auto band = [&](Integer j, COLORREF c) {
    const Integer px = cornerX(j), py = cornerY(j);
    // The L: a horizontal piece above the previous box and a vertical one left of it.
    FillBand(DC, TRect(px, py, qx + 1, prevY), c);
    FillBand(DC, TRect(px, py, prevX, qy + 1), c);
    prevX = px;
    prevY = py;
  };
  StepRuns(st, steps - 1, Extra, [&](Integer, Integer j, COLORREF c) { band(j, c); });
  band(steps - 1, Start);
}

// The top half flipped onto the bottom half, then the left half onto the right.
void MirrorQuadrant(HDC DC, Integer W, Integer H) {
  const Integer hh = H / 2, hw = W / 2;
  if (hh > 0) StretchBlt(DC, 0, H - 1, W, -hh, DC, 0, 0, W, hh, SRCCOPY);
  if (hw > 0) StretchBlt(DC, W - 1, 0, -hw, H, DC, 0, 0, hw, H, SRCCOPY);
}

// Bands between anti-diagonal lines; the lines' ends run along the bottom and
// left edges, then along the right and top edges. Mirrored: the origin is the
// right edge (a negative width).
void PaintDiagonalGradient(HDC DC, Integer W, Integer H, bool Mirrored, COLORREF Start, COLORREF Stop,
                           Integer Extra) {
  const Integer steps = static_cast<Integer>(Trunc(std::sqrt(double(W) * W + double(H) * H))) + 1;
  const Integer half = std::max(steps / 2, 1);
  // Line k's ends in 16.16 fixed point, exact at the corners (k = half).
  auto ax = [&](Integer k) { return (int64_t(W) << 16) * k / half; };
  auto ay = [&](Integer k) { return (int64_t(H) << 16) * k / half; };
  auto fx = [&](int64_t v) { return static_cast<Integer>(std::min<int64_t>(v >> 16, W)); };
  auto fy = [&](int64_t v) { return static_cast<Integer>(std::max<int64_t>(v >> 16, 0)); };
  // Ends of line k: P on the bottom/right chain, Q on the left/top chain.
  auto line = [&](Integer k, TPoint& P, TPoint& Q) {
    if (k <= half) {
      P = {fx(ax(k)), H};
      Q = {fx(0), fy((int64_t(H) << 16) - ay(k))};
    } else {
      P = {fx(int64_t(W) << 16), fy((int64_t(H) << 16) - ay(k - half))};
      Q = {fx(ax(k - half)), 0};
    }
  };
  // The far colour under the bands: the far corner pixel lies on the
  // polygons' excluded edges.
  FillBand(DC, TRect(0, 0, W, H), Stop);
  TColorStepper st(Start, Stop, steps);
  const Integer bands = 2 * half;
  StepRuns(st, bands, Extra, [&](Integer i, Integer j, COLORREF c) {
    // Each band reaches one line further than its own end: the next band
    // paints over the overlap, and no pixel on a shared edge is left out.
    const Integer end = std::min(j + 2, bands);
    TPoint p0, q0, p1, q1;
    line(i, p0, q0);
    line(end, p1, q1);
    // Corners passed between the two lines belong to the band too.
    std::vector<TPoint> poly;
    if (i < half && end > half)
      poly = {p0, {fx(int64_t(W) << 16), H}, p1, q1, {fx(0), 0}, q0};
    else
      poly = {p0, p1, q1, q0};
    HBRUSH b = CreateSolidBrush(c);
    HPEN pen = CreatePen(PS_SOLID, 1, c);
    HGDIOBJ ob = SelectObject(DC, b), op = SelectObject(DC, pen);
    Polygon(DC, poly.data(), static_cast<Integer>(poly.size()));
    SelectObject(DC, ob);
    SelectObject(DC, op);
    DeleteObject(b);
    DeleteObject(pen);
  });
  // Mirrored through a flipped copy, so that the polygons' excluded edges
  // fall on the same pixels as in the unmirrored picture.
  if (Mirrored) StretchBlt(DC, W - 1, 0, -W, H, DC, 0, 0, W, H, SRCCOPY);
}

void PaintGradientBitmap(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, COLORREF Start,
                         COLORREF Stop, Integer ColorSteps) {
  const Integer w = std::abs(Rect.Right - Rect.Left), h = std::abs(Rect.Bottom - Rect.Top);
  if (w == 0 || h == 0) return;
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(w, h);
  HDC dc = bmp.Canvas()->Handle();
  const Integer extra = ExtraSteps(ColorSteps, false), boxExtra = ExtraSteps(ColorSteps, true);
  switch (Direction) {
    case gdDiagonalUp:
    case gdDiagonalDown:
      if (Start == Stop)
        FillBand(dc, TRect(0, 0, w, h), Start);
      else if (Direction == gdDiagonalUp)
        PaintDiagonalGradient(dc, w, h, false, Start, Stop, extra);
      else
        PaintDiagonalGradient(dc, w, h, true, Stop, Start, extra);
      break;
    case gdHorizontalCenter:
    case gdHorizontalEnd: {
      const Integer strip = std::min(8, w);
      PaintBandGradient(dc, h, strip, true, Direction == gdHorizontalCenter ? h / 2 : -1, Start, Stop, extra);
      ReplicateStrip(dc, w, h, true, strip);
      break;
    }
    case gdVerticalCenter:
    case gdVerticalEnd: {
      const Integer strip = std::min(8, h);
      PaintBandGradient(dc, w, strip, false, Direction == gdVerticalCenter ? w / 2 : -1, Start, Stop, extra);
      ReplicateStrip(dc, w, h, false, strip);
      break;
    }
    case gdHorizontalBox:
      FillBand(dc, TRect(0, 0, w, h), Start);
      PaintBoxGradient(dc, w, h, w / 4, 0, Start, Stop, boxExtra);
      MirrorQuadrant(dc, w, h);
      break;
    case gdVerticalBox:
      PaintBoxGradient(dc, w, h, 0, h / 4, Start, Stop, boxExtra);
      MirrorQuadrant(dc, w, h);
      break;
    case gdSquareBox:
      FillBand(dc, TRect(0, 0, w, h), Start);
      PaintBoxGradient(dc, w, h, 0, 0, Start, Stop, boxExtra);
      MirrorQuadrant(dc, w, h);
      break;
    case gdBigSquareBox:
      PaintBoxGradient(dc, w, h, w / 4, h / 4, Start, Stop, boxExtra);
      MirrorQuadrant(dc, w, h);
      break;
  }
  BitBlt(Canvas->Handle(), std::min(Rect.Left, Rect.Right), std::min(Rect.Top, Rect.Bottom), w, h, dc, 0, 0,
         SRCCOPY);
}

}  // namespace

void PaintGradient(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                   TColor StopColor, Integer ColorSteps) {
  const COLORREF s = static_cast<COLORREF>(ColorToRGB(StartColor)) & 0xFFFFFF;
  const COLORREF e = static_cast<COLORREF>(ColorToRGB(StopColor)) & 0xFFFFFF;
  if (Direction == gdHorizontalEnd || Direction == gdVerticalEnd) {
    if (Rect.Right == Rect.Left || Rect.Bottom == Rect.Top) return;
    TRIVERTEX v[2];
    v[0].x = Rect.Left;
    v[0].y = Rect.Top;
    v[0].Red = static_cast<WORD>(GetRValue(s) << 8);
    v[0].Green = static_cast<WORD>(GetGValue(s) << 8);
    v[0].Blue = static_cast<WORD>(GetBValue(s) << 8);
    v[0].Alpha = 0;
    v[1].x = Rect.Right;
    v[1].y = Rect.Bottom;
    v[1].Red = static_cast<WORD>(GetRValue(e) << 8);
    v[1].Green = static_cast<WORD>(GetGValue(e) << 8);
    v[1].Blue = static_cast<WORD>(GetBValue(e) << 8);
    v[1].Alpha = 0;
    GRADIENT_RECT gr{0, 1};
    // The platform always has the gradient call; should it refuse, the bands
    // are painted here so that the area never stays unpainted.
    if (!GradientFill(Canvas->Handle(), v, 2, &gr, 1,
                      Direction == gdHorizontalEnd ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H))
      PaintGradientBitmap(Canvas, Rect, Direction, s, e, ColorSteps);
    return;
  }
  PaintGradientBitmap(Canvas, Rect, Direction, s, e, ColorSteps);
}

void PaintGradientRing(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                       TColor StopColor) {
  if (!FullColorScreen) return;
  // The caller's clip (the button's excluded corners) must survive the ring.
  HDC dc = Canvas->Handle();
  const Integer saved = SaveDC(dc);
  ExcludeClipRect(dc, Rect.Left + 2, Rect.Top + 2, Rect.Right - 2, Rect.Bottom - 2);
  PaintGradient(Canvas, Rect, Direction, StartColor, StopColor, 1);
  RestoreDC(dc, saved);
}

void PaintBarBackground(TCanvas* Canvas, const TRect& Rect, TFcVisualStyle VisualStyle,
                        TFcGradientColorStyle ColorStyle, bool Reversed, TColor CustomFirst, TColor CustomSecond) {
  if (VisualStyle == vsWinXP && FcThemesEnabled()) {
    const TFcThemeData theme(nullptr, u"EXPLORERBAR");
    if (theme.Draw(Canvas->Handle(), 0, 0, Rect)) return;
  }
  if (VisualStyle == vsClassic || !FullColorScreen) return;
  TColor a, b;
  if (ColorStyle == gcsCustom) {
    a = CustomFirst;
    b = CustomSecond;
  } else {
    BarGradientColorsForStyle(ColorStyle, a, b);
  }
  if (Reversed) std::swap(a, b);
  PaintGradient(Canvas, Rect, gdHorizontalEnd, a, b, 1);
}

void FlipBitmapVertically(TBitmap* Bitmap) {
  const Integer w = Bitmap->Width(), h = Bitmap->Height();
  if (w <= 0 || h <= 1) return;
  TBitmap tmp;
  tmp.SetPixelFormat(Bitmap->PixelFormat() == pfDevice ? pf24bit : Bitmap->PixelFormat());
  tmp.SetSize(w, h);
  HDC src = Bitmap->Canvas()->Handle(), dst = tmp.Canvas()->Handle();
  for (Integer y = 0; y < h; ++y) BitBlt(dst, 0, h - 1 - y, w, 1, src, 0, y, SRCCOPY);
  Bitmap->Assign(&tmp);
}
