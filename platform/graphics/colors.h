// Colour values of the class library (TColor) and of GDI (COLORREF), the
// system colours and their fixed table of classic defaults.
#pragma once

#include "platform/graphics/windef.h"

// Red in bits 0-7, green 8-15, blue 16-23. A high byte of 0xFF marks a system
// colour whose low byte is the COLOR_ index.
using TColor = int32_t;

constexpr COLORREF RGB(Byte R, Byte G, Byte B) {
  return static_cast<COLORREF>(R) | (static_cast<COLORREF>(G) << 8) | (static_cast<COLORREF>(B) << 16);
}
constexpr Byte GetRValue(COLORREF C) { return static_cast<Byte>(C & 0xFF); }
constexpr Byte GetGValue(COLORREF C) { return static_cast<Byte>((C >> 8) & 0xFF); }
constexpr Byte GetBValue(COLORREF C) { return static_cast<Byte>((C >> 16) & 0xFF); }
constexpr COLORREF PALETTEINDEX(WORD Index) { return 0x01000000u | Index; }
constexpr COLORREF PALETTERGB(Byte R, Byte G, Byte B) { return 0x02000000u | RGB(R, G, B); }

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
constexpr COLORREF CLR_NONE = 0xFFFFFFFFu;
constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

// System colour indices.
enum : Integer {
  COLOR_SCROLLBAR = 0,
  COLOR_BACKGROUND = 1,
  COLOR_ACTIVECAPTION = 2,
  COLOR_INACTIVECAPTION = 3,
  COLOR_MENU = 4,
  COLOR_WINDOW = 5,
  COLOR_WINDOWFRAME = 6,
  COLOR_MENUTEXT = 7,
  COLOR_WINDOWTEXT = 8,
  COLOR_CAPTIONTEXT = 9,
  COLOR_ACTIVEBORDER = 10,
  COLOR_INACTIVEBORDER = 11,
  COLOR_APPWORKSPACE = 12,
  COLOR_HIGHLIGHT = 13,
  COLOR_HIGHLIGHTTEXT = 14,
  COLOR_BTNFACE = 15,
  COLOR_BTNSHADOW = 16,
  COLOR_GRAYTEXT = 17,
  COLOR_BTNTEXT = 18,
  COLOR_INACTIVECAPTIONTEXT = 19,
  COLOR_BTNHIGHLIGHT = 20,
  COLOR_3DDKSHADOW = 21,
  COLOR_3DLIGHT = 22,
  COLOR_INFOTEXT = 23,
  COLOR_INFOBK = 24,
  COLOR_HOTLIGHT = 26,
  COLOR_GRADIENTACTIVECAPTION = 27,
  COLOR_GRADIENTINACTIVECAPTION = 28,
  COLOR_MENUHILIGHT = 29,
  COLOR_MENUBAR = 30,
  COLOR_DESKTOP = COLOR_BACKGROUND,
  COLOR_3DFACE = COLOR_BTNFACE,
  COLOR_3DSHADOW = COLOR_BTNSHADOW,
  COLOR_3DHIGHLIGHT = COLOR_BTNHIGHLIGHT,
  COLOR_3DHILIGHT = COLOR_BTNHIGHLIGHT,
  COLOR_BTNHILIGHT = COLOR_BTNHIGHLIGHT,
};
constexpr Integer SystemColorCount = 31;

constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
constexpr TColor SysColor(Integer Index) { return static_cast<TColor>(0xFF000000u | static_cast<uint32_t>(Index)); }

constexpr TColor clScrollBar = SysColor(COLOR_SCROLLBAR);
constexpr TColor clBackground = SysColor(COLOR_BACKGROUND);
constexpr TColor clActiveCaption = SysColor(COLOR_ACTIVECAPTION);
constexpr TColor clInactiveCaption = SysColor(COLOR_INACTIVECAPTION);
constexpr TColor clMenu = SysColor(COLOR_MENU);
constexpr TColor clWindow = SysColor(COLOR_WINDOW);
constexpr TColor clWindowFrame = SysColor(COLOR_WINDOWFRAME);
constexpr TColor clMenuText = SysColor(COLOR_MENUTEXT);
constexpr TColor clWindowText = SysColor(COLOR_WINDOWTEXT);
constexpr TColor clCaptionText = SysColor(COLOR_CAPTIONTEXT);
constexpr TColor clActiveBorder = SysColor(COLOR_ACTIVEBORDER);
constexpr TColor clInactiveBorder = SysColor(COLOR_INACTIVEBORDER);
constexpr TColor clAppWorkSpace = SysColor(COLOR_APPWORKSPACE);
constexpr TColor clHighlight = SysColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SysColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SysColor(COLOR_BTNFACE);
constexpr TColor clBtnShadow = SysColor(COLOR_BTNSHADOW);
constexpr TColor clGrayText = SysColor(COLOR_GRAYTEXT);
constexpr TColor clBtnText = SysColor(COLOR_BTNTEXT);
constexpr TColor clInactiveCaptionText = SysColor(COLOR_INACTIVECAPTIONTEXT);
constexpr TColor clBtnHighlight = SysColor(COLOR_BTNHIGHLIGHT);
constexpr TColor cl3DDkShadow = SysColor(COLOR_3DDKSHADOW);
constexpr TColor cl3DLight = SysColor(COLOR_3DLIGHT);
constexpr TColor clInfoText = SysColor(COLOR_INFOTEXT);
constexpr TColor clInfoBk = SysColor(COLOR_INFOBK);
constexpr TColor clHotLight = SysColor(COLOR_HOTLIGHT);
constexpr TColor clGradientActiveCaption = SysColor(COLOR_GRADIENTACTIVECAPTION);
constexpr TColor clGradientInactiveCaption = SysColor(COLOR_GRADIENTINACTIVECAPTION);
constexpr TColor clMenuHighlight = SysColor(COLOR_MENUHILIGHT);
constexpr TColor clMenuBar = SysColor(COLOR_MENUBAR);

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clLtGray = 0xC0C0C0;
constexpr TColor clDkGray = 0x808080;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clMoneyGreen = 0xC0DCC0;
constexpr TColor clSkyBlue = 0xF0CAA6;
constexpr TColor clCream = 0xF0FBFF;
constexpr TColor clMedGray = 0xA4A0A0;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The colour of a system colour index, from one fixed table of the classic
// defaults (so that drawing is the same on every desktop); 0 for unknown indices.
COLORREF GetSysColor(Integer Index);
// Replaces the value of one system colour (the UI layer may follow a theme);
// returns the previous value. Indices outside the table are ignored.
COLORREF GtSetSysColor(Integer Index, COLORREF Color);

// Resolves a system colour to its RGB value; any other value is returned as
// it stands (clNone and clDefault included).
Integer ColorToRGB(TColor Color);

// A sample of Bits bits widened to 8: a narrow sample repeats its top bits
// below itself, so that full scale stays full scale (5 bits: 31 -> 255, not
// 248) and 0 stays 0; a wider one keeps its top 8 bits. Every reader of
// packed 16-bit and bit-field pixels widens through this one rule.
inline Byte WidenSample(uint32_t V, int Bits) {
  if (Bits <= 0) return 0;
  if (Bits >= 8) return static_cast<Byte>(V >> (Bits - 8));
  uint32_t out = 0;
  for (int at = 8 - Bits; at > -Bits; at -= Bits) out |= at >= 0 ? V << at : V >> -at;
  return static_cast<Byte>(out);
}
