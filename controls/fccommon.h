// Shared pieces of the framed control set: colour arithmetic on a 0..240
// hue-saturation-lightness scale, scheme colours, the two-colour gradient
// painter, the frame-style painters every control draws its borders with,
// the frame controller, the shared blink timer and the colour-name tables.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/components.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/ui/controls.h"
#include "platform/ui/extctrls.h"

// ---------------------------------------------------------------------------
// Colour arithmetic, scheme colours and gradients

// One byte each; hue, saturation and lightness on 0..240.
struct THsl240 {
  Byte Hue = 0;
  Byte Saturation = 0;
  Byte Lightness = 0;
  friend bool operator==(const THsl240&, const THsl240&) = default;
};

enum TFcGradientColorStyle : Byte { gcsSystem, gcsMSOffice, gcsCustom };

enum TGradientDirection : Byte {
  gdDiagonalUp,
  gdDiagonalDown,
  gdHorizontalEnd,
  gdHorizontalCenter,
  gdHorizontalBox,
  gdVerticalEnd,
  gdVerticalCenter,
  gdVerticalBox,
  gdSquareBox,
  gdBigSquareBox,
};

enum TFcVisualStyle : Byte { vsClassic, vsWinXP, vsGradient };

enum TWindowsVersionKind : Byte {
  wkWindows95,
  wkWindowsNT,
  wkWindows98,
  wkWindowsMe,
  wkWindows2000,
  wkWindowsXP,
  wkWindowsServer2003,
  wkWindowsVista,
};

// What ThemeElementColor is asked for.
enum TFcThemeElementKind : Byte { tekGroupBoxCaption, tekOther };

// 0 = blue, 1 = olive, 2 = silver; set once at start-up from ReadXpColorScheme.
extern Byte XpColorScheme;
// True when the screen shows full colour (gradients are painted only then).
extern bool FullColorScreen;

THsl240 ColorToHsl240(TColor Color);
Byte HueOf(TColor Color);
TColor Hsl240ToColor(Integer Hue, Integer Saturation, Integer Lightness);
TColor DarkenColor(TColor Color, Integer Amount);
TColor LightenColor(TColor Color, Integer Amount);
// 0 gives Color back untouched, even a system colour.
TColor AdjustLightness(TColor Color, Integer Amount);
TColor BlendTwoColors(TColor First, TColor Second, Integer Weight);
bool ColorsAlike(TColor A, TColor B);
TColor ComplementaryColor(TColor Color, Integer Lightness);
inline Integer SmallerOf(Integer A, Integer B) { return A < B ? A : B; }
inline Integer LargerOf(Integer A, Integer B) { return A > B ? A : B; }

// Whether the desktop theme's drawing is used. Off unless the program turns
// it on: the classic look is what the controls draw by default.
bool FcThemesEnabled();
void SetFcThemesEnabled(bool Value);

void GradientColorsForStyle(TFcGradientColorStyle Style, TColor& Start, TColor& Stop);
TColor FrameColorForStyle(TFcGradientColorStyle Style);
void StatusGradientColorsForStyle(TFcGradientColorStyle Style, TColor& Dark, TColor& Light, TColor& Line);
void BarGradientColorsForStyle(TFcGradientColorStyle Style, TColor& First, TColor& Second);
TColor ThemeElementColor(TFcThemeElementKind Kind);

// The colour scheme comes from a program setting (there is no desktop
// registry to read it from): "HOMESTEAD" is olive, "METALLIC" silver, any
// other name the default blue.
void SetXpColorSchemeName(const WideString& Name);
Byte ReadXpColorScheme();
bool ScreenIsFullColor();

void PaintGradient(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                   TColor StopColor, Integer ColorSteps);
void PaintGradientRing(TCanvas* Canvas, const TRect& Rect, TGradientDirection Direction, TColor StartColor,
                       TColor StopColor);
void PaintBarBackground(TCanvas* Canvas, const TRect& Rect, TFcVisualStyle VisualStyle,
                        TFcGradientColorStyle ColorStyle, bool Reversed, TColor CustomFirst, TColor CustomSecond);
void FlipBitmapVertically(TBitmap* Bitmap);
bool IsWindowsVersion(TWindowsVersionKind Kind);

// ---------------------------------------------------------------------------
// Frame styles and border drawing

enum TFrameStyleEx : Byte {
  fsNone,
  fsFlat,
  fsGroove,
  fsBump,
  fsLowered,
  fsButtonDown,
  fsRaised,
  fsButtonUp,
  fsStatus,
  fsPopup,
  fsFlatBold,
  fsFlatRounded,
};
// fsNone..fsFlatBold: properties of this type never hold fsFlatRounded.
using TFrameStyle = TFrameStyleEx;

enum TSide : Byte { sdLeft, sdTop, sdRight, sdBottom };
// A set of TSide stored as a byte: left 1, top 2, right 4, bottom 8.
using TSides = Byte;
constexpr TSides sdNone = 0;
constexpr TSides sdAll = 15;
constexpr TSides SideBit(TSide S) { return static_cast<TSides>(1u << S); }
constexpr bool HasSide(TSides Set, TSide S) { return (Set & SideBit(S)) != 0; }

void PaintSides(TCanvas* Canvas, const TRect& Bounds, TColor UpperLeftColor, TColor LowerRightColor, TSides Sides,
                TRect& Result);
void PaintSidesRepeated(TCanvas* Canvas, const TRect& Bounds, TColor UpperLeftColor, TColor LowerRightColor,
                        Integer Count, TSides Sides, TRect& Result);
void PaintSunkenRaisedSides(TCanvas* Canvas, const TRect& Bounds, bool Sunken, TSides Sides, TRect& Result);
void PaintPushButtonFrame(TCanvas* Canvas, const TRect& Bounds, bool Down, TRect& Result);
void PaintPushButtonSides(TCanvas* Canvas, const TRect& Bounds, bool Down, TSides Sides, TRect& Result);
void PaintTintedPushButtonFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TRect& Result);
void PaintTintedPushButtonSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, bool Down, TSides Sides,
                                TRect& Result);
void PaintStyleFrame(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TRect& Result);
void PaintStyleSides(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx Style, TSides Sides, TRect& Result);
void PaintTintedStyleFrame(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyleEx Style,
                           TRect& Result);
void PaintTintedStyleSides(TCanvas* Canvas, const TRect& Bounds, TColor FaceColor, TFrameStyleEx Style,
                           TSides Sides, TRect& Result);
void PaintBoxOutline(TCanvas* Canvas, const TRect& Bounds, TColor Color, TRect& Result);
void PaintRoundedOutline(TCanvas* Canvas, const TRect& Bounds, TColor Color, TSides Sides, TRect& Result);
void PaintControlFrame(TCanvas* Canvas, const TRect& Bounds, TFrameStyleEx OuterStyle, TFrameStyleEx InnerStyle,
                       Integer BorderWidth, TSides Sides, Integer BevelWidth, TColor BorderColor,
                       TColor HighlightColor, TColor ShadowColor, TColor FlatColor, Integer FlatAdjustment,
                       TColor FaceColor, TColor ParentColor, bool Transparent, bool CutCorners, TRect& Result);
void PaintDottedFocusFrame(TCanvas* Canvas, const TRect& Bounds, TRect& Result);
// Paints what the parent shows beneath Control into DC.
void PaintParentBackground(TControl* Control, HDC DC, bool InvalidateParent);
// Invalidates every child that says it is transparent (see RegisterFcTransparentProperty).
void InvalidateTransparentChildren(TWinControl* Panel);
// Controls with a "Transparent" property register how to read it; there is no
// run-time type information to find the published property by name.
void RegisterFcTransparentProperty(TControl* Control, std::function<bool()> Read);
void UnregisterFcTransparentProperty(TControl* Control);
HFONT CreateRotatedFont(TFont* Font, Integer AngleDegrees);
WideString StripAccelerators(const WideString& Text);
Integer DrawTextOn(TCanvas* Canvas, const WideString& Text, TRect& Rect, UINT Format);
// There is no form designer: nothing to tell.
inline void NotifyDesignerModified(TControl*) {}
// The frame width of a style: one rule for panels and splitters alike.
Integer FrameStyleWidth(TFrameStyleEx Style, Integer BevelWidth);
