// Device contexts, drawing objects and the GDI calls the program makes, with
// Windows semantics: right and bottom edges exclusive, lines without their end
// point, raster operations on the stored pixel values (so inverting twice
// restores), alternate polygon fill, bottom-up DIB sections.
#pragma once

#include "platform/graphics/colors.h"
#include "platform/graphics/windef.h"

// Opaque handles. Every handle is checked on use: a stale or foreign handle
// makes a call fail, never crash.
struct HDC__;
struct HGDIOBJ__;
using HDC = HDC__*;
using HGDIOBJ = void*;
struct HPEN__;
struct HBRUSH__;
struct HFONT__;
struct HBITMAP__;
struct HRGN__;
struct HPALETTE__;
using HPEN = HPEN__*;
using HBRUSH = HBRUSH__*;
using HFONT = HFONT__*;
using HBITMAP = HBITMAP__*;
using HRGN = HRGN__*;
using HPALETTE = HPALETTE__*;
// Cursors and icons share one handle type; each kind checks that a handle is
// one of its own.
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
using HICON = HCURSOR;

// ---------------------------------------------------------------- records

struct XFORM {
  FLOAT eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
};

struct RGBQUAD {
  BYTE rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
  friend constexpr bool operator==(const RGBQUAD&, const RGBQUAD&) = default;
};

struct PALETTEENTRY {
  BYTE peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
};

struct LOGPALETTE {
  WORD palVersion = 0x300;
  WORD palNumEntries = 0;
  PALETTEENTRY palPalEntry[1];
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
  WORD bfType = 0;
  DWORD bfSize = 0;
  WORD bfReserved1 = 0, bfReserved2 = 0;
  DWORD bfOffBits = 0;
};
#pragma pack(pop)

struct BITMAPINFOHEADER {
  DWORD biSize = 40;
  LONG biWidth = 0;
  LONG biHeight = 0;
  WORD biPlanes = 1;
  WORD biBitCount = 0;
  DWORD biCompression = 0;
  DWORD biSizeImage = 0;
  LONG biXPelsPerMeter = 0;
  LONG biYPelsPerMeter = 0;
  DWORD biClrUsed = 0;
  DWORD biClrImportant = 0;
};

struct BITMAPCOREHEADER {
  DWORD bcSize = 12;
  WORD bcWidth = 0, bcHeight = 0, bcPlanes = 1, bcBitCount = 0;
};

struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

struct BITMAP {
  LONG bmType = 0;
  LONG bmWidth = 0;
  LONG bmHeight = 0;
  LONG bmWidthBytes = 0;
  WORD bmPlanes = 1;
  WORD bmBitsPixel = 0;
  void* bmBits = nullptr;
};

struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3] = {0, 0, 0};
  void* dshSection = nullptr;
  DWORD dsOffset = 0;
};

struct LOGPEN {
  UINT lopnStyle = 0;
  TPoint lopnWidth;
  COLORREF lopnColor = 0;
};

struct LOGBRUSH {
  UINT lbStyle = 0;
  COLORREF lbColor = 0;
  ULONG_PTR lbHatch = 0;
};

struct EXTLOGPEN {
  DWORD elpPenStyle = 0;
  DWORD elpWidth = 0;
  UINT elpBrushStyle = 0;
  COLORREF elpColor = 0;
  ULONG_PTR elpHatch = 0;
  DWORD elpNumEntries = 0;
  DWORD elpStyleEntry[1] = {0};
};

constexpr Integer LF_FACESIZE = 32;

struct LOGFONTA {
  LONG lfHeight = 0;
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  CHAR lfFaceName[LF_FACESIZE] = {};
};

struct LOGFONTW {
  LONG lfHeight = 0;
  LONG lfWidth = 0;
  LONG lfEscapement = 0;
  LONG lfOrientation = 0;
  LONG lfWeight = 0;
  BYTE lfItalic = 0;
  BYTE lfUnderline = 0;
  BYTE lfStrikeOut = 0;
  BYTE lfCharSet = 0;
  BYTE lfOutPrecision = 0;
  BYTE lfClipPrecision = 0;
  BYTE lfQuality = 0;
  BYTE lfPitchAndFamily = 0;
  WCHAR lfFaceName[LF_FACESIZE] = {};
};

static_assert(sizeof(LOGFONTA) == 60, "LOGFONTA is 60 bytes");
static_assert(sizeof(LOGFONTW) == 92, "LOGFONTW is 92 bytes");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
static_assert(sizeof(BITMAPFILEHEADER) == 14, "BITMAPFILEHEADER is 14 bytes");

struct TEXTMETRICW {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
  LONG tmWeight = 0;
  LONG tmOverhang = 0;
  LONG tmDigitizedAspectX = 0;
  LONG tmDigitizedAspectY = 0;
  WCHAR tmFirstChar = 0;
  WCHAR tmLastChar = 0;
  WCHAR tmDefaultChar = 0;
  WCHAR tmBreakChar = 0;
  BYTE tmItalic = 0;
  BYTE tmUnderlined = 0;
  BYTE tmStruckOut = 0;
  BYTE tmPitchAndFamily = 0;
  BYTE tmCharSet = 0;
};
using TEXTMETRIC = TEXTMETRICW;
using TTextMetric = TEXTMETRICW;

struct FIXED {
  WORD fract = 0;
  int16_t value = 0;
};
struct MAT2 {
  FIXED eM11, eM12, eM21, eM22;
};
struct GLYPHMETRICS {
  UINT gmBlackBoxX = 0;
  UINT gmBlackBoxY = 0;
  TPoint gmptGlyphOrigin;
  int16_t gmCellIncX = 0;
  int16_t gmCellIncY = 0;
};

struct TRIVERTEX {
  LONG x = 0;
  LONG y = 0;
  WORD Red = 0, Green = 0, Blue = 0, Alpha = 0;
};
struct GRADIENT_RECT {
  ULONG UpperLeft = 0;
  ULONG LowerRight = 0;
};
struct GRADIENT_TRIANGLE {
  ULONG Vertex1 = 0, Vertex2 = 0, Vertex3 = 0;
};

// ---------------------------------------------------------------- constants

// Object types (GetObjectType, GetCurrentObject).
enum : UINT {
  OBJ_PEN = 1, OBJ_BRUSH = 2, OBJ_DC = 3, OBJ_METADC = 4, OBJ_PAL = 5, OBJ_FONT = 6,
  OBJ_BITMAP = 7, OBJ_REGION = 8, OBJ_METAFILE = 9, OBJ_MEMDC = 10, OBJ_EXTPEN = 11,
};

// Stock objects.
enum : Integer {
  WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
  NULL_BRUSH = 5, HOLLOW_BRUSH = NULL_BRUSH, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8,
  OEM_FIXED_FONT = 10, ANSI_FIXED_FONT = 11, ANSI_VAR_FONT = 12, SYSTEM_FONT = 13,
  DEVICE_DEFAULT_FONT = 14, DEFAULT_PALETTE = 15, SYSTEM_FIXED_FONT = 16, DEFAULT_GUI_FONT = 17,
  DC_BRUSH = 18, DC_PEN = 19,
};

// Pen styles.
enum : DWORD {
  PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
  PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0x0000000F,
  PS_ENDCAP_ROUND = 0x00000000, PS_ENDCAP_SQUARE = 0x00000100, PS_ENDCAP_FLAT = 0x00000200,
  PS_ENDCAP_MASK = 0x00000F00, PS_JOIN_ROUND = 0x00000000, PS_JOIN_BEVEL = 0x00001000,
  PS_JOIN_MITER = 0x00002000, PS_JOIN_MASK = 0x0000F000, PS_COSMETIC = 0x00000000,
  PS_GEOMETRIC = 0x00010000, PS_TYPE_MASK = 0x000F0000,
};

// Brush styles and hatches.
enum : UINT {
  BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = BS_NULL, BS_HATCHED = 2, BS_PATTERN = 3,
  BS_DIBPATTERN = 5, BS_DIBPATTERNPT = 6, BS_PATTERN8X8 = 7, BS_DIBPATTERN8X8 = 8,
};
enum : Integer {
  HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};

// Binary raster operations (pen and brush drawing).
enum : Integer {
  R2_BLACK = 1, R2_NOTMERGEPEN = 2, R2_MASKNOTPEN = 3, R2_NOTCOPYPEN = 4, R2_MASKPENNOT = 5,
  R2_NOT = 6, R2_XORPEN = 7, R2_NOTMASKPEN = 8, R2_MASKPEN = 9, R2_NOTXORPEN = 10, R2_NOP = 11,
  R2_MERGENOTPEN = 12, R2_COPYPEN = 13, R2_MERGEPENNOT = 14, R2_MERGEPEN = 15, R2_WHITE = 16,
};

// Ternary raster operations (blits).
enum : DWORD {
  SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA, MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049, DSTINVERT = 0x00550009, BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062, NOMIRRORBITMAP = 0x80000000, CAPTUREBLT = 0x40000000,
};
constexpr DWORD MAKEROP4(DWORD Fore, DWORD Back) { return ((Back << 8) & 0xFF000000u) | Fore; }

// Background modes, fill modes, stretch modes, graphics and map modes.
enum : Integer { TRANSPARENT = 1, OPAQUE = 2 };
enum : Integer { ALTERNATE = 1, WINDING = 2 };
enum : Integer {
  BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4,
  STRETCH_ANDSCANS = 1, STRETCH_ORSCANS = 2, STRETCH_DELETESCANS = 3, STRETCH_HALFTONE = 4,
};
enum : Integer { GM_COMPATIBLE = 1, GM_ADVANCED = 2 };
enum : Integer { MM_TEXT = 1 };
enum : DWORD { MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3 };
enum : Integer { AD_COUNTERCLOCKWISE = 1, AD_CLOCKWISE = 2 };

// Text alignment.
enum : UINT {
  TA_NOUPDATECP = 0, TA_UPDATECP = 1, TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0,
  TA_BOTTOM = 8, TA_BASELINE = 24, TA_RTLREADING = 256,
};
constexpr UINT GDI_ERROR = 0xFFFFFFFFu;

// ExtTextOut options.
enum : UINT { ETO_OPAQUE = 0x0002, ETO_CLIPPED = 0x0004, ETO_GLYPH_INDEX = 0x0010, ETO_RTLREADING = 0x0080 };

// Region types and combine modes.
enum : Integer { ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2, COMPLEXREGION = 3, RGN_ERROR = ERROR };
enum : Integer { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

// DIB constants.
enum : DWORD { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_JPEG = 4, BI_PNG = 5 };
enum : UINT { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };
constexpr DWORD CBM_INIT = 4;

// Font constants.
enum : LONG {
  FW_DONTCARE = 0, FW_THIN = 100, FW_EXTRALIGHT = 200, FW_LIGHT = 300, FW_NORMAL = 400,
  FW_MEDIUM = 500, FW_SEMIBOLD = 600, FW_BOLD = 700, FW_EXTRABOLD = 800, FW_HEAVY = 900,
};
enum : BYTE {
  ANSI_CHARSET = 0, DEFAULT_CHARSET = 1, SYMBOL_CHARSET = 2, SHIFTJIS_CHARSET = 128,
  HANGEUL_CHARSET = 129, GB2312_CHARSET = 134, CHINESEBIG5_CHARSET = 136, OEM_CHARSET = 255,
  JOHAB_CHARSET = 130, HEBREW_CHARSET = 177, ARABIC_CHARSET = 178, GREEK_CHARSET = 161,
  TURKISH_CHARSET = 162, VIETNAMESE_CHARSET = 163, THAI_CHARSET = 222, EASTEUROPE_CHARSET = 238,
  RUSSIAN_CHARSET = 204, MAC_CHARSET = 77, BALTIC_CHARSET = 186,
};
enum : BYTE {
  OUT_DEFAULT_PRECIS = 0, OUT_STRING_PRECIS = 1, OUT_CHARACTER_PRECIS = 2, OUT_STROKE_PRECIS = 3,
  OUT_TT_PRECIS = 4, OUT_DEVICE_PRECIS = 5, OUT_RASTER_PRECIS = 6, OUT_TT_ONLY_PRECIS = 7,
  OUT_OUTLINE_PRECIS = 8,
};
enum : BYTE { CLIP_DEFAULT_PRECIS = 0, CLIP_CHARACTER_PRECIS = 1, CLIP_STROKE_PRECIS = 2 };
enum : BYTE {
  DEFAULT_QUALITY = 0, DRAFT_QUALITY = 1, PROOF_QUALITY = 2, NONANTIALIASED_QUALITY = 3,
  ANTIALIASED_QUALITY = 4, CLEARTYPE_QUALITY = 5, CLEARTYPE_NATURAL_QUALITY = 6,
};
enum : BYTE {
  DEFAULT_PITCH = 0, FIXED_PITCH = 1, VARIABLE_PITCH = 2, FF_DONTCARE = 0x00, FF_ROMAN = 0x10,
  FF_SWISS = 0x20, FF_MODERN = 0x30, FF_SCRIPT = 0x40, FF_DECORATIVE = 0x50,
};
enum : BYTE { TMPF_FIXED_PITCH = 0x01, TMPF_VECTOR = 0x02, TMPF_DEVICE = 0x08, TMPF_TRUETYPE = 0x04 };
enum : DWORD { RASTER_FONTTYPE = 0x0001, DEVICE_FONTTYPE = 0x0002, TRUETYPE_FONTTYPE = 0x0004 };
enum : UINT { GGO_METRICS = 0, GGO_BITMAP = 1, GGO_NATIVE = 2, GGO_GRAY8_BITMAP = 6, GGO_GLYPH_INDEX = 0x80 };

// GetDeviceCaps indices.
enum : Integer {
  DRIVERVERSION = 0, TECHNOLOGY = 2, HORZSIZE = 4, VERTSIZE = 6, HORZRES = 8, VERTRES = 10,
  BITSPIXEL = 12, PLANES = 14, NUMBRUSHES = 16, NUMPENS = 18, NUMFONTS = 22, NUMCOLORS = 24,
  CURVECAPS = 28, LINECAPS = 30, POLYGONALCAPS = 32, TEXTCAPS = 34, CLIPCAPS = 36,
  RASTERCAPS = 38, ASPECTX = 40, ASPECTY = 42, ASPECTXY = 44, LOGPIXELSX = 88, LOGPIXELSY = 90,
  SIZEPALETTE = 104, NUMRESERVED = 106, COLORRES = 108, PHYSICALWIDTH = 110,
  PHYSICALHEIGHT = 111, PHYSICALOFFSETX = 112, PHYSICALOFFSETY = 113, VREFRESH = 116,
  SHADEBLENDCAPS = 120,
};
enum : Integer { DT_PLOTTER = 0, DT_RASDISPLAY = 1, DT_RASPRINTER = 2 };
enum : Integer {
  RC_BITBLT = 1, RC_BANDING = 2, RC_SCALING = 4, RC_BITMAP64 = 8, RC_GDI20_OUTPUT = 0x0010,
  RC_DI_BITMAP = 0x0080, RC_PALETTE = 0x0100, RC_DIBTODEV = 0x0200, RC_STRETCHBLT = 0x0800,
  RC_FLOODFILL = 0x1000, RC_STRETCHDIB = 0x2000,
};

// GradientFill modes.
enum : ULONG { GRADIENT_FILL_RECT_H = 0, GRADIENT_FILL_RECT_V = 1, GRADIENT_FILL_TRIANGLE = 2 };

// DrawText formats.
enum : UINT {
  DT_TOP = 0x00000000, DT_LEFT = 0x00000000, DT_CENTER = 0x00000001, DT_RIGHT = 0x00000002,
  DT_VCENTER = 0x00000004, DT_BOTTOM = 0x00000008, DT_WORDBREAK = 0x00000010,
  DT_SINGLELINE = 0x00000020, DT_EXPANDTABS = 0x00000040, DT_TABSTOP = 0x00000080,
  DT_NOCLIP = 0x00000100, DT_EXTERNALLEADING = 0x00000200, DT_CALCRECT = 0x00000400,
  DT_NOPREFIX = 0x00000800, DT_INTERNAL = 0x00001000, DT_EDITCONTROL = 0x00002000,
  DT_PATH_ELLIPSIS = 0x00004000, DT_END_ELLIPSIS = 0x00008000, DT_MODIFYSTRING = 0x00010000,
  DT_RTLREADING = 0x00020000, DT_WORD_ELLIPSIS = 0x00040000, DT_NOFULLWIDTHCHARBREAK = 0x00080000,
  DT_HIDEPREFIX = 0x00100000, DT_PREFIXONLY = 0x00200000,
};

// DrawEdge edges and flags.
enum : UINT {
  BDR_RAISEDOUTER = 0x0001, BDR_SUNKENOUTER = 0x0002, BDR_RAISEDINNER = 0x0004,
  BDR_SUNKENINNER = 0x0008, BDR_OUTER = 0x0003, BDR_INNER = 0x000C, BDR_RAISED = 0x0005,
  BDR_SUNKEN = 0x000A, EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
  EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER, EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
  EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,
};
enum : UINT {
  BF_LEFT = 0x0001, BF_TOP = 0x0002, BF_RIGHT = 0x0004, BF_BOTTOM = 0x0008,
  BF_TOPLEFT = BF_TOP | BF_LEFT, BF_TOPRIGHT = BF_TOP | BF_RIGHT,
  BF_BOTTOMLEFT = BF_BOTTOM | BF_LEFT, BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
  BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM, BF_DIAGONAL = 0x0010, BF_MIDDLE = 0x0800,
  BF_SOFT = 0x1000, BF_ADJUST = 0x2000, BF_FLAT = 0x4000, BF_MONO = 0x8000,
};

// DrawFrameControl types and states.
enum : UINT { DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4, DFC_POPUPMENU = 5 };
enum : UINT {
  DFCS_CAPTIONCLOSE = 0x0000, DFCS_CAPTIONMIN = 0x0001, DFCS_CAPTIONMAX = 0x0002,
  DFCS_CAPTIONRESTORE = 0x0003, DFCS_CAPTIONHELP = 0x0004, DFCS_MENUARROW = 0x0000,
  DFCS_MENUCHECK = 0x0001, DFCS_MENUBULLET = 0x0002, DFCS_MENUARROWRIGHT = 0x0004,
  DFCS_SCROLLUP = 0x0000, DFCS_SCROLLDOWN = 0x0001, DFCS_SCROLLLEFT = 0x0002,
  DFCS_SCROLLRIGHT = 0x0003, DFCS_BUTTONCHECK = 0x0000, DFCS_BUTTONRADIO = 0x0004,
  DFCS_BUTTONPUSH = 0x0010, DFCS_INACTIVE = 0x0100, DFCS_PUSHED = 0x0200, DFCS_CHECKED = 0x0400,
  DFCS_HOT = 0x1000, DFCS_ADJUSTRECT = 0x2000, DFCS_FLAT = 0x4000, DFCS_MONO = 0x8000,
};

// ---------------------------------------------------------------- device contexts

// A memory DC; Reference (or 0 for the screen) is only consulted for the
// format of compatible bitmaps. A new memory DC holds a 1 x 1 monochrome bitmap.
HDC CreateCompatibleDC(HDC Reference);
BOOL DeleteDC(HDC DC);
// The screen device context: for measuring text and asking device caps.
// Drawing on it is discarded. Each call returns a new DC (release it with DeleteDC).
HDC GtCreateScreenDC();
Integer GetDeviceCaps(HDC DC, Integer Index);
BOOL GdiFlush();

Integer SaveDC(HDC DC);
// Level -1 restores the last saved state; a positive level restores that state
// and drops every later one.
BOOL RestoreDC(HDC DC, Integer SavedDC);

HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object);
HGDIOBJ GetCurrentObject(HDC DC, UINT Type);
BOOL DeleteObject(HGDIOBJ Object);
HGDIOBJ GetStockObject(Integer Index);
// Live objects and DCs that are not stock objects (for leak checks in tests).
Integer GtGdiObjectCount();
DWORD GetObjectType(HGDIOBJ Object);
// Fills Buffer with the object's record (LOGPEN, EXTLOGPEN, LOGBRUSH, LOGFONTA/W,
// BITMAP or DIBSECTION by size); returns the bytes written, or the size needed
// when Buffer is null.
Integer GetObjectA(HGDIOBJ Object, Integer Count, void* Buffer);
Integer GetObjectW(HGDIOBJ Object, Integer Count, void* Buffer);

COLORREF SetTextColor(HDC DC, COLORREF Color);
COLORREF GetTextColor(HDC DC);
COLORREF SetBkColor(HDC DC, COLORREF Color);
COLORREF GetBkColor(HDC DC);
Integer SetBkMode(HDC DC, Integer Mode);
Integer GetBkMode(HDC DC);
Integer SetROP2(HDC DC, Integer Rop2);
Integer GetROP2(HDC DC);
Integer SetStretchBltMode(HDC DC, Integer Mode);
Integer GetStretchBltMode(HDC DC);
Integer SetPolyFillMode(HDC DC, Integer Mode);
Integer GetPolyFillMode(HDC DC);
UINT SetTextAlign(HDC DC, UINT Align);
UINT GetTextAlign(HDC DC);
Integer SetTextCharacterExtra(HDC DC, Integer Extra);
Integer SetMapMode(HDC DC, Integer Mode);
Integer GetMapMode(HDC DC);
Integer SetArcDirection(HDC DC, Integer Direction);
Integer GetArcDirection(HDC DC);

BOOL SetWindowOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old);
BOOL GetWindowOrgEx(HDC DC, TPoint* Org);
BOOL OffsetWindowOrgEx(HDC DC, Integer DX, Integer DY, TPoint* Old);
BOOL SetViewportOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old);
BOOL GetViewportOrgEx(HDC DC, TPoint* Org);
BOOL OffsetViewportOrgEx(HDC DC, Integer DX, Integer DY, TPoint* Old);
BOOL SetBrushOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old);
BOOL GetBrushOrgEx(HDC DC, TPoint* Org);
Integer SetGraphicsMode(HDC DC, Integer Mode);
Integer GetGraphicsMode(HDC DC);
// Only in GM_ADVANCED, as on Windows.
BOOL SetWorldTransform(HDC DC, const XFORM* Xform);
BOOL GetWorldTransform(HDC DC, XFORM* Xform);
BOOL ModifyWorldTransform(HDC DC, const XFORM* Xform, DWORD Mode);
BOOL LPtoDP(HDC DC, TPoint* Points, Integer Count);
BOOL DPtoLP(HDC DC, TPoint* Points, Integer Count);

// ---------------------------------------------------------------- objects

HPEN CreatePen(Integer Style, Integer Width, COLORREF Color);
HPEN CreatePenIndirect(const LOGPEN* Pen);
HPEN ExtCreatePen(DWORD Style, DWORD Width, const LOGBRUSH* Brush, DWORD StyleCount, const DWORD* StyleEntries);
HBRUSH CreateSolidBrush(COLORREF Color);
HBRUSH CreateHatchBrush(Integer Hatch, COLORREF Color);
// The brush keeps its own copy of the pattern; a monochrome pattern paints
// its 0 bits in the text colour and its 1 bits in the background colour.
HBRUSH CreatePatternBrush(HBITMAP Bitmap);
HBRUSH CreateBrushIndirect(const LOGBRUSH* Brush);
HBRUSH GetSysColorBrush(Integer Index);
HFONT CreateFontIndirectA(const LOGFONTA* Font);
HFONT CreateFontIndirectW(const LOGFONTW* Font);
HFONT CreateFontW(Integer Height, Integer Width, Integer Escapement, Integer Orientation, Integer Weight,
                  DWORD Italic, DWORD Underline, DWORD StrikeOut, DWORD CharSet, DWORD OutPrecision,
                  DWORD ClipPrecision, DWORD Quality, DWORD PitchAndFamily, const WCHAR* FaceName);

// Device-dependent bitmap; Bits (rows padded to 16 bits, as on Windows) may be null.
HBITMAP CreateBitmap(Integer Width, Integer Height, UINT Planes, UINT BitCount, const void* Bits);
HBITMAP CreateCompatibleBitmap(HDC DC, Integer Width, Integer Height);
// A DIB section: positive biHeight is bottom-up (the first row in memory is the
// bottom row), negative top-down. *Bits receives the pixel memory.
HBITMAP CreateDIBSection(HDC DC, const BITMAPINFO* Info, UINT Usage, void** Bits, void* Section, DWORD Offset);
HBITMAP CreateDIBitmap(HDC DC, const BITMAPINFOHEADER* Header, DWORD Init, const void* Bits,
                       const BITMAPINFO* Info, UINT Usage);
UINT GetDIBColorTable(HDC DC, UINT Start, UINT Count, RGBQUAD* Colors);
UINT SetDIBColorTable(HDC DC, UINT Start, UINT Count, const RGBQUAD* Colors);
// Copies Lines scan lines, from Start counted from the bottom, of the bitmap
// into Bits in the layout Info asks for; with null Bits only fills Info's header.
Integer GetDIBits(HDC DC, HBITMAP Bitmap, UINT Start, UINT Lines, void* Bits, BITMAPINFO* Info, UINT Usage);
Integer SetDIBits(HDC DC, HBITMAP Bitmap, UINT Start, UINT Lines, const void* Bits, const BITMAPINFO* Info,
                  UINT Usage);

HPALETTE CreatePalette(const LOGPALETTE* Palette);
UINT GetPaletteEntries(HPALETTE Palette, UINT Start, UINT Count, PALETTEENTRY* Entries);
UINT SetPaletteEntries(HPALETTE Palette, UINT Start, UINT Count, const PALETTEENTRY* Entries);
HPALETTE SelectPalette(HDC DC, HPALETTE Palette, BOOL ForceBackground);
UINT RealizePalette(HDC DC);
UINT GetSystemPaletteEntries(HDC DC, UINT Start, UINT Count, PALETTEENTRY* Entries);
UINT GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color);
COLORREF GetNearestColor(HDC DC, COLORREF Color);

// ---------------------------------------------------------------- regions

HRGN CreateRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom);
HRGN CreateRectRgnIndirect(const TRect* R);
HRGN CreatePolygonRgn(const TPoint* Points, Integer Count, Integer FillMode);
HRGN CreateEllipticRgn(Integer Left, Integer Top, Integer Right, Integer Bottom);
HRGN CreateRoundRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom, Integer Width, Integer Height);
Integer CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, Integer Mode);
Integer OffsetRgn(HRGN Region, Integer DX, Integer DY);
Integer GetRgnBox(HRGN Region, TRect* R);
BOOL PtInRegion(HRGN Region, Integer X, Integer Y);
BOOL RectInRegion(HRGN Region, const TRect* R);
BOOL EqualRgn(HRGN A, HRGN B);
BOOL SetRectRgn(HRGN Region, Integer Left, Integer Top, Integer Right, Integer Bottom);
BOOL FillRgn(HDC DC, HRGN Region, HBRUSH Brush);
BOOL PaintRgn(HDC DC, HRGN Region);
BOOL InvertRgn(HDC DC, HRGN Region);
BOOL FrameRgn(HDC DC, HRGN Region, HBRUSH Brush, Integer Width, Integer Height);

// Clip regions are in device coordinates; the rectangle calls take logical ones.
Integer SelectClipRgn(HDC DC, HRGN Region);
Integer ExtSelectClipRgn(HDC DC, HRGN Region, Integer Mode);
Integer OffsetClipRgn(HDC DC, Integer DX, Integer DY);
Integer GetClipBox(HDC DC, TRect* R);
// 1 and a copy in Region when the DC has a clip region, 0 when it has none.
Integer GetClipRgn(HDC DC, HRGN Region);
Integer IntersectClipRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom);
Integer ExcludeClipRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom);
BOOL PtVisible(HDC DC, Integer X, Integer Y);

// ---------------------------------------------------------------- drawing

BOOL MoveToEx(HDC DC, Integer X, Integer Y, TPoint* Old);
BOOL GetCurrentPositionEx(HDC DC, TPoint* Pos);
// Draws from the current position up to, but not including, (X, Y).
BOOL LineTo(HDC DC, Integer X, Integer Y);
BOOL Polyline(HDC DC, const TPoint* Points, Integer Count);
BOOL PolylineTo(HDC DC, const TPoint* Points, Integer Count);
BOOL Polygon(HDC DC, const TPoint* Points, Integer Count);
BOOL PolyPolygon(HDC DC, const TPoint* Points, const Integer* Counts, Integer PolyCount);
BOOL PolyBezier(HDC DC, const TPoint* Points, DWORD Count);
BOOL Rectangle(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom);
BOOL Ellipse(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom);
BOOL RoundRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom, Integer Width, Integer Height);
BOOL Arc(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd);
BOOL Pie(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd);
BOOL Chord(HDC DC, Integer L, Integer T, Integer R, Integer B, Integer XStart, Integer YStart, Integer XEnd, Integer YEnd);
COLORREF GetPixel(HDC DC, Integer X, Integer Y);
COLORREF SetPixel(HDC DC, Integer X, Integer Y, COLORREF Color);
BOOL SetPixelV(HDC DC, Integer X, Integer Y, COLORREF Color);
// Calls Proc for every point of the line that LineTo would draw.
using LINEDDAPROC = void (*)(Integer X, Integer Y, LPARAM Data);
BOOL LineDDA(Integer X1, Integer Y1, Integer X2, Integer Y2, LINEDDAPROC Proc, LPARAM Data);

// Rectangle fills of the window manager: right and bottom exclusive.
Integer FillRect(HDC DC, const TRect* R, HBRUSH Brush);
Integer FrameRect(HDC DC, const TRect* R, HBRUSH Brush);
BOOL InvertRect(HDC DC, const TRect* R);
// Dotted XOR frame: drawing it twice restores the pixels.
BOOL DrawFocusRect(HDC DC, const TRect* R);
BOOL DrawEdge(HDC DC, TRect* R, UINT Edge, UINT Flags);
BOOL DrawFrameControl(HDC DC, TRect* R, UINT Type, UINT State);

// Colour at each end of the span, channel value of pixel i of n:
// (c1 x (n - i) + c2 x i) div n, then the high byte (so the far edge itself
// is one step short of the second colour). Triangles are not supported.
BOOL GradientFill(HDC DC, const TRIVERTEX* Vertices, ULONG VertexCount, const void* Mesh, ULONG MeshCount, ULONG Mode);

// ---------------------------------------------------------------- blits

BOOL PatBlt(HDC DC, Integer X, Integer Y, Integer Width, Integer Height, DWORD Rop);
BOOL BitBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc, DWORD Rop);
// A negative width or height mirrors; the origin is always the first pixel
// drawn, the extent counts pixels in the direction of its sign.
BOOL StretchBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc,
                Integer WidthSrc, Integer HeightSrc, DWORD Rop);
// Where a mask bit is 1 the foreground operation (low 24 bits of Rop) applies,
// where it is 0 the background one (high byte).
BOOL MaskBlt(HDC Dest, Integer X, Integer Y, Integer Width, Integer Height, HDC Src, Integer XSrc, Integer YSrc,
             HBITMAP Mask, Integer XMask, Integer YMask, DWORD Rop);
// ySrc of a bottom-up DIB counts from its bottom row, as on Windows.
Integer StretchDIBits(HDC DC, Integer XDest, Integer YDest, Integer DestWidth, Integer DestHeight, Integer XSrc,
                      Integer YSrc, Integer SrcWidth, Integer SrcHeight, const void* Bits, const BITMAPINFO* Info,
                      UINT Usage, DWORD Rop);
Integer SetDIBitsToDevice(HDC DC, Integer XDest, Integer YDest, DWORD Width, DWORD Height, Integer XSrc, Integer YSrc,
                          UINT StartScan, UINT Lines, const void* Bits, const BITMAPINFO* Info, UINT Usage);

// ---------------------------------------------------------------- text

BOOL TextOutW(HDC DC, Integer X, Integer Y, const WCHAR* Text, Integer Count);
BOOL TextOutA(HDC DC, Integer X, Integer Y, const CHAR* Text, Integer Count);
BOOL ExtTextOutW(HDC DC, Integer X, Integer Y, UINT Options, const TRect* R, const WCHAR* Text, UINT Count,
                 const Integer* Dx);
BOOL GetTextExtentPoint32W(HDC DC, const WCHAR* Text, Integer Count, TSize* Size);
BOOL GetTextExtentPoint32A(HDC DC, const CHAR* Text, Integer Count, TSize* Size);
BOOL GetTextExtentExPointW(HDC DC, const WCHAR* Text, Integer Count, Integer MaxExtent, Integer* Fit,
                           Integer* Dx, TSize* Size);
BOOL GetTextMetricsW(HDC DC, TEXTMETRICW* Metrics);
Integer GetTextFaceW(HDC DC, Integer Count, WCHAR* Face);
BOOL GetCharWidth32W(HDC DC, UINT First, UINT Last, Integer* Widths);
// GGO_METRICS only: fills Metrics and returns 0; other formats give GDI_ERROR.
DWORD GetGlyphOutlineW(HDC DC, UINT Char, UINT Format, GLYPHMETRICS* Metrics, DWORD BufferSize, void* Buffer,
                       const MAT2* Mat);
// Draws Text (Count -1: up to the terminating zero) formatted in R; returns the
// text height, or with DT_VCENTER/DT_BOTTOM the offset from R->Top to the
// bottom of the text. DT_CALCRECT measures into R and draws nothing.
Integer DrawTextW(HDC DC, const WCHAR* Text, Integer Count, TRect* R, UINT Format);
using FONTENUMPROCW = Integer (*)(const LOGFONTW* Font, const TEXTMETRICW* Metrics, DWORD FontType, LPARAM Data);
Integer EnumFontsW(HDC DC, const WCHAR* Face, FONTENUMPROCW Proc, LPARAM Data);

// The face a requested family is drawn with (after the metric-compatible
// substitutions), for tests and diagnostics.
WideString GtResolvedFontFamily(const WideString& Family);
// Whether text with DEFAULT_QUALITY is smoothed (the system's font smoothing
// setting); on by default. Returns the previous value.
bool GtSetFontSmoothing(bool On);
bool GtFontSmoothing();
