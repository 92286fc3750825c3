// Shared pieces of the framed control set: colour arithmetic on a 0..240
// hue-saturation-lightness scale, scheme colours, the two-colour gradient
// painter, the frame-style painters every control draws its borders with,
// the frame controller, the shared blink timer and the colour-name tables.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/base/components.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/colors.h"
#include "platform/ui/controls.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/uxtheme.h"

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

// Whether the desktop theme's drawing is used: the theme services report a
// style and the program's themed drawing. Off unless the program turns it
// on: the classic look is what the controls draw by default. Switching it
// tells every window (WM_THEMECHANGED) and repaints.
bool FcThemesEnabled();
void SetFcThemesEnabled(bool Value);

// Theme data of one class, held for one paint.
class TFcThemeData {
 public:
  TFcThemeData(HWND Window, const WCHAR* ClassName) : FTheme(OpenThemeData(Window, ClassName)) {}
  ~TFcThemeData() {
    if (FTheme) CloseThemeData(FTheme);
  }
  TFcThemeData(const TFcThemeData&) = delete;
  TFcThemeData& operator=(const TFcThemeData&) = delete;
  explicit operator bool() const { return FTheme != nullptr; }
  HTHEME Handle() const { return FTheme; }
  bool Draw(HDC DC, Integer Part, Integer State, const TRect& R) const {
    return FTheme && SUCCEEDED(DrawThemeBackground(FTheme, DC, Part, State, &R, nullptr));
  }

 private:
  HTHEME FTheme;
};

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

// ---------------------------------------------------------------------------
// Frame controller, settings-store component and blink timer

enum TFramingPreference : Byte { fpCustomFraming, fpXPThemes };

enum TFcFrameControllerProperty : Byte {
  fcpColor,
  fcpFocusColor,
  fcpDisabledColor,
  fcpReadOnlyColor,
  fcpReadOnlyColorOnFocus,
  fcpParentColor,
  fcpFlatButtonColor,
  fcpFlatButtons,
  fcpFrameColor,
  fcpFrameHotColor,
  fcpFrameHotTrack,
  fcpFrameHotStyle,
  fcpFrameSides,
  fcpFrameStyle,
  fcpFrameVisible,
  fcpFramingPreference,
  fcpAll,  // every setting; not a set member
};
// A 16-bit set of TFcFrameControllerProperty (fcpAll excluded).
using TFcFrameControllerNotifications = Word;
constexpr TFcFrameControllerNotifications fcnAll = 0xFFFF;
constexpr bool HasNotification(TFcFrameControllerNotifications N, TFcFrameControllerProperty P) {
  return P < fcpAll && ((N >> P) & 1u) != 0;
}

// Controls that read the controller's settings themselves.
class IFrameSettingsListener {
 public:
  virtual ~IFrameSettingsListener() = default;
  virtual void FrameSettingsChanged() = 0;
};

// What a control class publishes to a frame controller that pushes settings
// by name: its notification set (when it has that property) and one setter
// per property name it has ("FrameSides" takes the set as a byte).
struct TFcFramedProperties {
  std::function<TFcFrameControllerNotifications(TControl*)> Notifications;
  std::map<std::string, std::function<void(TControl*, int64_t)>> Setters;
};
// Registers the table for controls whose dynamic type is exactly Class.
void RegisterFcFramedProperties(const std::type_info& Class, TFcFramedProperties Properties);

class TFcRegIniFile;

class TFcFrameController : public TComponent {
 public:
  explicit TFcFrameController(TComponent* AOwner);
  ~TFcFrameController() override;

  virtual void UpdateFramedControl(TControl* Control, TFcFrameControllerProperty Property);
  virtual void UpdateFramedControls(TFcFrameControllerProperty Property);
  void AddFramedControl(TControl* Control);
  void RemoveFramedControl(TControl* Control);
  void BeginFrameUpdate() { ++FUpdateCount; }
  void EndFrameUpdate();
  void Assign(TPersistent* Source) override;
  void Loaded();
  Integer FramedControlCount() const { return FControls ? static_cast<Integer>(FControls->size()) : 0; }

  TColor Color() const { return FColor; }
  virtual void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  virtual void SetParentColor(bool Value);
  TColor FlatButtonColor() const { return FFlatButtonColor; }
  virtual void SetFlatButtonColor(TColor Value);
  bool FlatButtons() const { return FFlatButtons; }
  virtual void SetFlatButtons(bool Value);
  TColor DisabledColor() const { return FDisabledColor; }
  virtual void SetDisabledColor(TColor Value);
  TColor ReadOnlyColor() const { return FReadOnlyColor; }
  virtual void SetReadOnlyColor(TColor Value);
  bool ReadOnlyColorOnFocus() const { return FReadOnlyColorOnFocus; }
  virtual void SetReadOnlyColorOnFocus(bool Value);
  TColor FocusColor() const { return FFocusColor; }
  virtual void SetFocusColor(TColor Value);
  TColor FrameColor() const { return FFrameColor; }
  virtual void SetFrameColor(TColor Value);
  TColor FrameHotColor() const { return FFrameHotColor; }
  virtual void SetFrameHotColor(TColor Value);
  bool FrameHotTrack() const { return FFrameHotTrack; }
  virtual void SetFrameHotTrack(bool Value);
  TFrameStyle FrameHotStyle() const { return FFrameHotStyle; }
  virtual void SetFrameHotStyle(TFrameStyle Value);
  TSides FrameSides() const { return FFrameSides; }
  virtual void SetFrameSides(TSides Value);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  virtual void SetFrameStyle(TFrameStyle Value);
  bool FrameVisible() const { return FFrameVisible; }
  virtual void SetFrameVisible(bool Value);
  TFramingPreference FramingPreference() const { return FFramingPreference; }
  virtual void SetFramingPreference(TFramingPreference Value);
  TFcRegIniFile* RegIniFile() const { return FRegIniFile; }
  virtual void SetRegIniFile(TFcRegIniFile* Value);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  Integer FUpdateCount = 0;
  std::unique_ptr<std::vector<TControl*>> FControls;
  TFcRegIniFile* FRegIniFile = nullptr;
  TColor FColor = clWindow;
  TColor FDisabledColor = clBtnFace;
  TColor FFlatButtonColor = clBtnFace;
  bool FFlatButtons = true;
  TColor FFocusColor = clWindow;
  TColor FFrameColor = clBtnShadow;
  TColor FFrameHotColor = clBtnShadow;
  TFrameStyle FFrameHotStyle = fsFlatBold;
  bool FFrameHotTrack = false;
  TSides FFrameSides = sdAll;
  TFrameStyle FFrameStyle = fsFlat;
  bool FFrameVisible = false;
  TFramingPreference FFramingPreference = fpXPThemes;
  bool FParentColor = false;
  TColor FReadOnlyColor = clInfoBk;
  bool FReadOnlyColorOnFocus = false;
};

// The tie of a framed control to its frame controller, the same in every
// control of the set: joining and leaving the controller's list, forgetting a
// controller that is freed, and the settings every control takes alike.
class TFcFrameLink {
 public:
  TFcFrameController* Controller() const { return FController; }
  TFcFrameControllerNotifications Notifications() const { return FNotifications; }
  void SetNotifications(TFcFrameControllerNotifications Value) { FNotifications = Value; }
  bool Has(TFcFrameControllerProperty P) const { return HasNotification(FNotifications, P); }
  // Moves Control from the old controller's list into Value's.
  void Attach(TControl* Control, TFcFrameController* Value);
  // For the control's destructor: leaves the controller's list.
  void Detach(TControl* Control);
  // For the control's Notification: a controller being freed is forgotten.
  void Forget(TComponent* AComponent, TOperation Operation);
  // The settings every framed control takes when notified of them: the frame
  // style (through SetStyle), the frame colour as its flat colour with no
  // adjustment, its colour (through SetColor) and the parent-colour switch.
  // False, and nothing applied, without a controller that shows frames.
  bool ApplyCommon(TControl* Control, const std::function<void(TFrameStyleEx)>& SetStyle, TColor& FlatColor,
                   Integer& FlatAdjustment, const std::function<void(TColor)>& SetColor) const;

 private:
  TFcFrameController* FController = nullptr;
  TFcFrameControllerNotifications FNotifications = fcnAll;
};

// A transparent control is not opaque: the parent paints beneath it.
void SetFcOpaque(TControl* Control, bool Transparent);

enum TFcPathType : Byte { ptIniFile, ptRegistry };
enum TFcRegKey : Byte {
  hkeyClassesRoot,
  hkeyCurrentUser,
  hkeyLocalMachine,
  hkeyUsers,
  hkeyPerformanceData,
  hkeyCurrentConfig,
  hkeyDynData,
};
enum TFcRegAccessKey : Byte {
  keyQueryValue,
  keySetValue,
  keyCreateSubKey,
  keyEnumerateSubKeys,
  keyNotify,
  keyCreateLink,
  keyRead,
  keyWrite,
  keyExecute,
  keyAllAccess,
};
using TFcRegAccess = Word;  // a set of TFcRegAccessKey
enum TFcSpecialFolder : Byte { sfNone, sfUserAppDataRoaming, sfUserAppDataLocal, sfUserDocuments, sfProgramData };
enum TFcIniFileEncoding : Byte { feDefault, feUTF8, feUnicode };

// Describes a settings store that a frame controller can name; nothing in
// the program opens it.
class TFcRegIniFile : public TComponent {
 public:
  explicit TFcRegIniFile(TComponent* AOwner) : TComponent(AOwner) {}
  const WideString& Path() const { return FPath; }
  virtual void SetPath(const WideString& Value);
  TFcPathType PathType() const { return FPathType; }
  virtual void SetPathType(TFcPathType Value);
  TFcRegKey RegKey() const { return FRegKey; }
  virtual void SetRegKey(TFcRegKey Value);
  TFcRegAccess RegAccess() const { return FRegAccess; }
  virtual void SetRegAccess(TFcRegAccess Value);
  TFcSpecialFolder SpecialFolder() const { return FSpecialFolder; }
  virtual void SetSpecialFolder(TFcSpecialFolder Value);
  TFcIniFileEncoding FileEncoding() const { return FFileEncoding; }
  virtual void SetFileEncoding(TFcIniFileEncoding Value);
  // True until the store is opened again after a change.
  bool ReopenStorage() const { return FReopen; }

 private:
  WideString FPath;
  TFcPathType FPathType = ptIniFile;
  TFcRegKey FRegKey = hkeyCurrentUser;
  TFcRegAccess FRegAccess = static_cast<TFcRegAccess>(1u << keyAllAccess);
  TFcSpecialFolder FSpecialFolder = sfNone;
  TFcIniFileEncoding FFileEncoding = feDefault;
  bool FReopen = true;
};

// Blink messages: whether a control blinks (answer 1), and the new phase.
constexpr UINT FC_BLINK_QUERY = 0xB3E8;
constexpr UINT FC_BLINK_PHASE = 0xB3E9;

// One timer that makes the registered controls blink in step.
class TFcBlinkingControlsList {
 public:
  TFcBlinkingControlsList();
  virtual ~TFcBlinkingControlsList();
  void AddBlinkingControl(TControl* Control);
  void RemoveBlinkingControl(TControl* Control);
  virtual Integer BlinkControlCount() const { return static_cast<Integer>(FControls.size()); }
  Word IntervalOn() const { return FIntervalOn; }
  void SetIntervalOn(Word Value) { FIntervalOn = Value; }
  Word IntervalOff() const { return FIntervalOff; }
  void SetIntervalOff(Word Value) { FIntervalOff = Value; }
  Byte Phase() const { return FPhase; }
  TTimer* Timer() const { return FTimer.get(); }

 private:
  void OnBlinkTimer(TObject* Sender);
  Byte FPhase = 1;
  Word FIntervalOn = 500;
  Word FIntervalOff = 500;
  std::unique_ptr<TTimer> FTimer;
  std::vector<TControl*> FControls;
};

// The one shared list; made by the first status pane.
extern TFcBlinkingControlsList* BlinkingControls;
// Frees the shared list (and its timer) when no control is left in it.
void ReleaseBlinkListIfEmpty();

// ---------------------------------------------------------------------------
// Colour-name tables

struct TFcColorRec {
  WideString Name;
  TColor Color;
};
struct TColorData {
  TColor Color;
  WideString Name;
};
// "Default" and "Custom", the 16 standard colours, the 25 system colours
// (indexes 0 to 24) and one empty string.
extern const TFcColorRec FcDefaultColor;
extern const TFcColorRec FcCustomColor;
extern const TFcColorRec FcStandardColors[16];
extern const TFcColorRec FcSystemColors[25];
extern const WideString FcEmptyColorName;
// 40 palette colours (eight columns, five rows), then 30 system colours.
const std::vector<TColorData>& FcColorData();
// The 19 key captions of a calculator pad.
extern const WideString FcCalculatorKeys[19];

// Whether Key is the accelerator ("&" before it) of Caption, case ignored.
bool FcIsAccel(WideChar Key, const WideString& Caption);
