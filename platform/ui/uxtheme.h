// Theme services: theme data by class name, the desktop style's drawing of
// buttons, group boxes, status bars, progress bars and bar backgrounds, their
// colours and sizes, and the theme-change notification. The parts are drawn
// by the widget toolkit's current style over what the target already holds,
// so partly transparent parts keep the pixels beneath them.
#pragma once

#include "platform/graphics/gdi.h"
#include "platform/ui/hresult.h"
#include "platform/ui/winuser.h"

struct HTHEME__;
using HTHEME = HTHEME__*;

// Parts and states of the classes drawn here. "SCROLLBAR" and "GLOBALS"
// open but have no parts to draw.
enum : Integer {
  // "BUTTON"
  BP_PUSHBUTTON = 1, BP_GROUPBOX = 4,
  PBS_NORMAL = 1, PBS_HOT = 2, PBS_PRESSED = 3, PBS_DISABLED = 4, PBS_DEFAULTED = 5,
  GBS_NORMAL = 1, GBS_DISABLED = 2,
  // "STATUS"; part 0 is the bar's background
  SP_PANE = 1, SP_GRIPPERPANE = 2, SP_GRIPPER = 3,
  // "PROGRESS"
  PP_BAR = 1, PP_BARVERT = 2, PP_CHUNK = 3, PP_CHUNKVERT = 4,
  // "EXPLORERBAR"; part 0 is the root element (the bar's background)
  EBP_HEADERBACKGROUND = 1,
};

// Property identifiers.
enum : Integer {
  TMT_BORDERSIZE = 2403,
  TMT_PROGRESSCHUNKSIZE = 2411,
  TMT_PROGRESSSPACESIZE = 2412,
  TMT_CONTENTMARGINS = 3602,
  TMT_BORDERCOLOR = 3801,
  TMT_FILLCOLOR = 3802,
  TMT_TEXTCOLOR = 3803,
};

enum THEMESIZE : Integer { TS_MIN = 0, TS_TRUE = 1, TS_DRAW = 2 };

struct MARGINS {
  Integer cxLeftWidth = 0, cxRightWidth = 0, cyTopHeight = 0, cyBottomHeight = 0;
};

// The first known class of a semicolon-separated list, for Window (may be
// null); null when no class is known, themes are off, or the window has its
// theme turned off by SetWindowTheme.
HTHEME OpenThemeData(HWND Window, const WCHAR* ClassList);
HRESULT CloseThemeData(HTHEME Theme);

// Draws the part over Rect, limited to Clip when given and to the DC's clip.
HRESULT DrawThemeBackground(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const TRect* Rect,
                            const TRect* Clip);
// The classic edge (DrawEdge's Edge and Flags); ContentRect, when given,
// receives what lies inside it.
HRESULT DrawThemeEdge(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const TRect* DestRect, UINT Edge,
                      UINT Flags, TRect* ContentRect);
// Text in the part's text colour with the DC's font, without a background;
// Flags are DrawTextW's. Flags2 is kept for callers and unused.
HRESULT DrawThemeText(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const WCHAR* Text, Integer Count,
                      DWORD Flags, DWORD Flags2, const TRect* Rect);
HRESULT GetThemeTextExtent(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const WCHAR* Text, Integer Count,
                           DWORD Flags, const TRect* Bounding, TRect* Extent);
// Whether pixels around the part stay as they were (rounded corners, grips).
BOOL IsThemeBackgroundPartiallyTransparent(HTHEME Theme, Integer PartId, Integer StateId);

HRESULT GetThemeColor(HTHEME Theme, Integer PartId, Integer StateId, Integer PropId, COLORREF* Color);
HRESULT GetThemeMetric(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, Integer PropId, Integer* Value);
HRESULT GetThemeMargins(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, Integer PropId, const TRect* Rect,
                        MARGINS* Margins);
HRESULT GetThemePartSize(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const TRect* Rect, THEMESIZE Kind,
                         TSize* Size);

// Both names empty turn the window's theme off; anything else turns it back
// on. The window receives WM_THEMECHANGED.
HRESULT SetWindowTheme(HWND Window, const WCHAR* SubAppName, const WCHAR* SubIdList);

// A desktop style is there to draw with.
BOOL IsThemeActive();
// The program draws with it: off until EnableTheming turns it on.
BOOL IsAppThemed();
// Switches the program's themed drawing; every window, message windows too,
// receives WM_THEMECHANGED and is repainted.
HRESULT EnableTheming(BOOL Enable);

// Theme data handles open now (for leak checks).
Integer GtOpenThemeDataCount();
