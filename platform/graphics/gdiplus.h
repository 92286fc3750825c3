// The GDI+ flat API that the drawing wrappers load by name: antialiased
// lines, rectangles, ellipses, polygons, arcs and paths with ARGB colours
// (0xAARRGGBB), drawn into the pixels of a device context. Coordinates put
// pixel centres on whole numbers, as GDI+ does by default: without smoothing
// a filled rectangle (x, y, w, h) takes the pixels whose centre lies in
// [x, x + w) x [y, y + h), and a one-pixel line or outline the centres on it,
// end points included.
#pragma once

#include "platform/graphics/gdi.h"

namespace Gdiplus {
enum Status {
  Ok = 0, GenericError = 1, InvalidParameter = 2, OutOfMemory = 3, ObjectBusy = 4, InsufficientBuffer = 5,
  NotImplemented = 6, Win32Error = 7, WrongState = 8, Aborted = 9, FileNotFound = 10, ValueOverflow = 11,
  AccessDenied = 12, UnknownImageFormat = 13, FontFamilyNotFound = 14, FontStyleNotFound = 15,
  NotTrueTypeFont = 16, UnsupportedGdiplusVersion = 17, GdiplusNotInitialized = 18, PropertyNotFound = 19,
  PropertyNotSupported = 20,
};
enum Unit { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2, UnitPoint = 3, UnitInch = 4, UnitDocument = 5, UnitMillimeter = 6 };
enum DashStyle { DashStyleSolid = 0, DashStyleDash = 1, DashStyleDot = 2, DashStyleDashDot = 3, DashStyleDashDotDot = 4, DashStyleCustom = 5 };
enum LineJoin { LineJoinMiter = 0, LineJoinBevel = 1, LineJoinRound = 2, LineJoinMiterClipped = 3 };
enum SmoothingMode {
  SmoothingModeInvalid = -1, SmoothingModeDefault = 0, SmoothingModeHighSpeed = 1, SmoothingModeHighQuality = 2,
  SmoothingModeNone = 3, SmoothingModeAntiAlias = 4, SmoothingModeAntiAlias8x8 = 5,
};
enum FillMode { FillModeAlternate = 0, FillModeWinding = 1 };
enum HatchStyle {
  HatchStyleHorizontal = 0, HatchStyleVertical = 1, HatchStyleForwardDiagonal = 2, HatchStyleBackwardDiagonal = 3,
  HatchStyleCross = 4, HatchStyleDiagonalCross = 5,
};
struct GdiplusStartupInput {
  uint32_t GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput {
  void* NotificationHook = nullptr;
  void* NotificationUnhook = nullptr;
};
}  // namespace Gdiplus

using GpStatus = Gdiplus::Status;
using GpUnit = Gdiplus::Unit;
using GpDashStyle = Gdiplus::DashStyle;
using GpLineJoin = Gdiplus::LineJoin;
using GpSmoothingMode = Gdiplus::SmoothingMode;
using GpFillMode = Gdiplus::FillMode;
using GpHatchStyle = Gdiplus::HatchStyle;
using ARGB = uint32_t;
using REAL = float;

struct GpPoint {
  Integer X = 0, Y = 0;
};
struct GpGraphics;
struct GpPen;
struct GpPath;
struct GpMatrix;
// Brushes: a solid fill or a hatch (foreground and background colours).
struct GpBrush {
  virtual ~GpBrush() = default;
  ARGB Fore = 0;
  ARGB Back = 0;
  Integer Hatch = -1;  // -1 for a solid fill
};
struct GpSolidFill : GpBrush {};
struct GpHatch : GpBrush {};

GpStatus GdiplusStartup(ULONG_PTR* Token, const Gdiplus::GdiplusStartupInput* Input, Gdiplus::GdiplusStartupOutput* Output);
void GdiplusShutdown(ULONG_PTR Token);

GpStatus GdipCreateFromHDC(HDC DC, GpGraphics** Graphics);
GpStatus GdipDeleteGraphics(GpGraphics* Graphics);
GpStatus GdipSetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode Mode);
GpStatus GdipGetSmoothingMode(GpGraphics* Graphics, GpSmoothingMode* Mode);

GpStatus GdipCreatePen1(ARGB Color, REAL Width, GpUnit Unit, GpPen** Pen);
GpStatus GdipDeletePen(GpPen* Pen);
GpStatus GdipSetPenWidth(GpPen* Pen, REAL Width);
GpStatus GdipSetPenColor(GpPen* Pen, ARGB Color);
GpStatus GdipSetPenDashStyle(GpPen* Pen, GpDashStyle Style);
GpStatus GdipSetPenDashArray(GpPen* Pen, const REAL* Dashes, Integer Count);
GpStatus GdipSetPenLineJoin(GpPen* Pen, GpLineJoin Join);

GpStatus GdipCreateSolidFill(ARGB Color, GpSolidFill** Brush);
GpStatus GdipCreateHatchBrush(GpHatchStyle Style, ARGB Fore, ARGB Back, GpHatch** Brush);
GpStatus GdipDeleteBrush(GpBrush* Brush);

GpStatus GdipDrawLine(GpGraphics* Graphics, GpPen* Pen, REAL X1, REAL Y1, REAL X2, REAL Y2);
GpStatus GdipDrawRectangle(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipFillRectangle(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipDrawEllipse(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipFillEllipse(GpGraphics* Graphics, GpBrush* Brush, REAL X, REAL Y, REAL Width, REAL Height);
GpStatus GdipDrawPolygonI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, Integer Count);
GpStatus GdipFillPolygonI(GpGraphics* Graphics, GpBrush* Brush, const GpPoint* Points, Integer Count, GpFillMode Mode);
GpStatus GdipDrawLinesI(GpGraphics* Graphics, GpPen* Pen, const GpPoint* Points, Integer Count);
// Angles in degrees, clockwise from the x axis (y grows downwards).
GpStatus GdipDrawArc(GpGraphics* Graphics, GpPen* Pen, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle,
                     REAL SweepAngle);

GpStatus GdipCreatePath(GpFillMode Mode, GpPath** Path);
GpStatus GdipDeletePath(GpPath* Path);
GpStatus GdipAddPathArc(GpPath* Path, REAL X, REAL Y, REAL Width, REAL Height, REAL StartAngle, REAL SweepAngle);
GpStatus GdipAddPathLine(GpPath* Path, REAL X1, REAL Y1, REAL X2, REAL Y2);
GpStatus GdipDrawPath(GpGraphics* Graphics, GpPen* Pen, GpPath* Path);
GpStatus GdipFillPath(GpGraphics* Graphics, GpBrush* Brush, GpPath* Path);

GpStatus GdipCreateMatrix(GpMatrix** Matrix);
GpStatus GdipCreateMatrix2(REAL M11, REAL M12, REAL M21, REAL M22, REAL DX, REAL DY, GpMatrix** Matrix);
GpStatus GdipDeleteMatrix(GpMatrix* Matrix);
GpStatus GdipSetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix);
GpStatus GdipGetWorldTransform(GpGraphics* Graphics, GpMatrix* Matrix);
GpStatus GdipResetWorldTransform(GpGraphics* Graphics);
GpStatus GdipGetMatrixElements(const GpMatrix* Matrix, REAL* Elements);

// "Loading the library": a use count that always succeeds unless the test
// switch makes it fail, so that the plain-canvas fallback can be exercised.
struct GtGdiPlusLibrary;
GtGdiPlusLibrary* GtLoadGdiPlus();
void GtFreeGdiPlus(GtGdiPlusLibrary* Library);
// An entry point by its name, or nullptr.
void* GtGdiPlusProc(GtGdiPlusLibrary* Library, const char* Name);
void GtSetGdiPlusLoadFails(bool Fail);
Integer GtGdiPlusLoadCount();
