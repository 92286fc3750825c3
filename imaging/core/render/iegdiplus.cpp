// GDI+ drawing wrappers and the run-time binding to the GDI+ entry points.
#include "imaging/core/render/iegdiplus.h"

#include <cmath>
#include <numbers>
#include <vector>

#include "imaging/core/render/iegeom.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"

namespace {

// The entry points, resolved by name when the library is loaded.
struct TGdipProcs {
  decltype(&GdiplusStartup) Startup = nullptr;
  decltype(&GdiplusShutdown) Shutdown = nullptr;
  decltype(&GdipCreateFromHDC) CreateFromHDC = nullptr;
  decltype(&GdipDeleteGraphics) DeleteGraphics = nullptr;
  decltype(&GdipCreatePen1) CreatePen1 = nullptr;
  decltype(&GdipDeletePen) DeletePen = nullptr;
  decltype(&GdipDrawLine) DrawLine = nullptr;
  decltype(&GdipSetSmoothingMode) SetSmoothingMode = nullptr;
  decltype(&GdipSetPenWidth) SetPenWidth = nullptr;
  decltype(&GdipSetPenColor) SetPenColor = nullptr;
  decltype(&GdipSetPenDashStyle) SetPenDashStyle = nullptr;
  decltype(&GdipDeleteBrush) DeleteBrush = nullptr;
  decltype(&GdipCreateSolidFill) CreateSolidFill = nullptr;
  decltype(&GdipFillRectangle) FillRectangle = nullptr;
  decltype(&GdipDrawRectangle) DrawRectangle = nullptr;
  decltype(&GdipCreateHatchBrush) CreateHatchBrush = nullptr;
  decltype(&GdipDrawEllipse) DrawEllipse = nullptr;
  decltype(&GdipFillEllipse) FillEllipse = nullptr;
  decltype(&GdipDrawPolygonI) DrawPolygonI = nullptr;
  decltype(&GdipFillPolygonI) FillPolygonI = nullptr;
  decltype(&GdipDrawLinesI) DrawLinesI = nullptr;
  decltype(&GdipDrawArc) DrawArc = nullptr;
  decltype(&GdipCreatePath) CreatePath = nullptr;
  decltype(&GdipAddPathArc) AddPathArc = nullptr;
  decltype(&GdipDrawPath) DrawPath = nullptr;
  decltype(&GdipFillPath) FillPath = nullptr;
  decltype(&GdipDeletePath) DeletePath = nullptr;
  decltype(&GdipAddPathLine) AddPathLine = nullptr;
  decltype(&GdipSetPenLineJoin) SetPenLineJoin = nullptr;
  decltype(&GdipSetPenDashArray) SetPenDashArray = nullptr;
  decltype(&GdipSetWorldTransform) SetWorldTransform = nullptr;
  decltype(&GdipGetWorldTransform) GetWorldTransform = nullptr;
  decltype(&GdipResetWorldTransform) ResetWorldTransform = nullptr;
  decltype(&GdipCreateMatrix) CreateMatrix = nullptr;
  decltype(&GdipCreateMatrix2) CreateMatrix2 = nullptr;
  decltype(&GdipDeleteMatrix) DeleteMatrix = nullptr;
};

bool GAllowed = true;
GtGdiPlusLibrary* GLibrary = nullptr;
Integer GUseCount = 0;
ULONG_PTR GToken = 0;
Gdiplus::GdiplusStartupInput GStartupInput;
TGdipProcs G;

template <typename F>
bool Resolve(F& Slot, const char* Name) {
  Slot = reinterpret_cast<F>(GtGdiPlusProc(GLibrary, Name));
  return Slot != nullptr;
}

// All entry points or none: a library lacking one that the drawing calls
// would otherwise crash on first use, so it counts as not loaded.
bool ResolveAll() {
  bool ok = true;
  ok &= Resolve(G.Startup, "GdiplusStartup");
  ok &= Resolve(G.Shutdown, "GdiplusShutdown");
  ok &= Resolve(G.CreateFromHDC, "GdipCreateFromHDC");
  ok &= Resolve(G.DeleteGraphics, "GdipDeleteGraphics");
  ok &= Resolve(G.CreatePen1, "GdipCreatePen1");
  ok &= Resolve(G.DeletePen, "GdipDeletePen");
  ok &= Resolve(G.DrawLine, "GdipDrawLine");
  ok &= Resolve(G.SetSmoothingMode, "GdipSetSmoothingMode");
  ok &= Resolve(G.SetPenWidth, "GdipSetPenWidth");
  ok &= Resolve(G.SetPenColor, "GdipSetPenColor");
  ok &= Resolve(G.SetPenDashStyle, "GdipSetPenDashStyle");
  ok &= Resolve(G.DeleteBrush, "GdipDeleteBrush");
  ok &= Resolve(G.CreateSolidFill, "GdipCreateSolidFill");
  ok &= Resolve(G.FillRectangle, "GdipFillRectangle");
  ok &= Resolve(G.DrawRectangle, "GdipDrawRectangle");
  ok &= Resolve(G.CreateHatchBrush, "GdipCreateHatchBrush");
  ok &= Resolve(G.DrawEllipse, "GdipDrawEllipse");
  ok &= Resolve(G.FillEllipse, "GdipFillEllipse");
  ok &= Resolve(G.DrawPolygonI, "GdipDrawPolygonI");
  ok &= Resolve(G.FillPolygonI, "GdipFillPolygonI");
  ok &= Resolve(G.DrawLinesI, "GdipDrawLinesI");
  ok &= Resolve(G.DrawArc, "GdipDrawArc");
  ok &= Resolve(G.CreatePath, "GdipCreatePath");
  ok &= Resolve(G.AddPathArc, "GdipAddPathArc");
  ok &= Resolve(G.DrawPath, "GdipDrawPath");
  ok &= Resolve(G.FillPath, "GdipFillPath");
  ok &= Resolve(G.DeletePath, "GdipDeletePath");
  ok &= Resolve(G.AddPathLine, "GdipAddPathLine");
  ok &= Resolve(G.SetPenLineJoin, "GdipSetPenLineJoin");
  // Resolved for completeness; no drawing operation calls them.
  Resolve(G.SetPenDashArray, "GdipSetPenDashArray");
  Resolve(G.SetWorldTransform, "GdipSetWorldTransform");
  Resolve(G.GetWorldTransform, "GdipGetWorldTransform");
  Resolve(G.ResetWorldTransform, "GdipResetWorldTransform");
  Resolve(G.CreateMatrix, "GdipCreateMatrix");
  Resolve(G.CreateMatrix2, "GdipCreateMatrix2");
  Resolve(G.DeleteMatrix, "GdipDeleteMatrix");
  return ok;
}

}  // namespace

bool IEGDIPlusLoaded() { return GLibrary != nullptr; }
bool IEGDIPlusAvailable() { return GAllowed && GLibrary != nullptr; }
Integer IEGDIPlusUseCount() { return GUseCount; }
void IESetGDIPlusAllowed(bool Value) { GAllowed = Value; }

void IEGDIPlusLoad() {
  ++GUseCount;
  if (!GAllowed || GLibrary) return;
  GLibrary = GtLoadGdiPlus();
  if (!GLibrary) return;
  if (!ResolveAll()) {
    GtFreeGdiPlus(GLibrary);
    GLibrary = nullptr;
    G = TGdipProcs();
    return;
  }
  Gdiplus::GdiplusStartupOutput out;
  G.Startup(&GToken, &GStartupInput, &out);  // the result is deliberately ignored
}

void IEGDIPlusUnload() {
  // An unbalanced unload must not drive the count negative, or the next
  // load would never shut the library down.
  if (GUseCount <= 0) return;
  --GUseCount;
  if (GLibrary && GUseCount == 0) {
    G.Shutdown(GToken);
    GtFreeGdiPlus(GLibrary);
    GLibrary = nullptr;
    GToken = 0;
  }
}

void IEGDIPlusInitialize() {
  GAllowed = true;
  GLibrary = nullptr;
  GUseCount = 0;
}

void IEGDIPlusFinalize() {}

// ---------------------------------------------------------------------------
// TIEPen

TIEPen::TIEPen(TPen* Pen)
    : FPen(Pen),
      FColor(Pen->Color()),
      FWidth(static_cast<float>(Pen->Width())),
      FStyle(Pen->Style()),
      FMode(Pen->Mode()) {
  if (IEGDIPlusAvailable()) CreateGdiPen();
}

TIEPen::~TIEPen() {
  if (FGdiPen && IEGDIPlusAvailable()) G.DeletePen(FGdiPen);
}

Cardinal TIEPen::GetARGB() const { return IEColorToARGB(FColor, FStyle == psClear ? 0 : FTransparency); }

void TIEPen::CreateGdiPen() {
  if (FGdiPen) {
    G.DeletePen(FGdiPen);
    FGdiPen = nullptr;
  }
  if (G.CreatePen1(GetARGB(), FWidth, Gdiplus::UnitPixel, &FGdiPen) != Gdiplus::Ok || !FGdiPen) {
    FGdiPen = nullptr;
    throw Exception("Cannot create TIEPen. GdipCreatePen1 failed.");
  }
  SetStyle(FStyle);
  SetLineJoin(FLineJoin);
}

void TIEPen::SetColor(TColor Value) {
  FColor = Value;
  if (FGdiPen) G.SetPenColor(FGdiPen, GetARGB());
  FPen->SetColor(Value);
}

void TIEPen::SetTransparency(Byte Value) {
  FTransparency = Value;
  if (FGdiPen) G.SetPenColor(FGdiPen, GetARGB());
}

void TIEPen::SetWidth(float Value) {
  FWidth = Value;
  if (FGdiPen) G.SetPenWidth(FGdiPen, Value);
  FPen->SetWidth(static_cast<Integer>(Trunc(Value)));
}

void TIEPen::SetStyle(TPenStyle Value) {
  FStyle = Value;
  if (FGdiPen) {
    if (Value == psClear) {
      G.SetPenColor(FGdiPen, GetARGB());
      G.SetPenDashStyle(FGdiPen, Gdiplus::DashStyleSolid);
    } else if (Value == psInsideFrame) {
      G.SetPenDashStyle(FGdiPen, Gdiplus::DashStyleSolid);
    } else {
      G.SetPenDashStyle(FGdiPen, static_cast<GpDashStyle>(Value));
    }
  }
  FPen->SetStyle(Value);
}

void TIEPen::SetMode(TPenMode Value) {
  FMode = Value;
  FPen->SetMode(Value);
}

void TIEPen::SetLineJoin(Byte Value) {
  FLineJoin = Value;
  if (FGdiPen) G.SetPenLineJoin(FGdiPen, static_cast<GpLineJoin>(Value));
}

void TIEPen::SetHandle(HPEN Value) { FPen->SetHandle(Value); }

// ---------------------------------------------------------------------------
// TIEBrush

TIEBrush::TIEBrush(TBrush* Brush) : FBrush(Brush), FColor(Brush->Color()), FStyle(Brush->Style()) {
  if (IEGDIPlusAvailable()) CreateGdiBrush();
}

TIEBrush::~TIEBrush() { DeleteGdiBrush(); }

void TIEBrush::DeleteGdiBrush() {
  if (FGdiBrush && IEGDIPlusAvailable()) G.DeleteBrush(FGdiBrush);
  FGdiBrush = nullptr;
}

Cardinal TIEBrush::GetARGB() const { return IEColorToARGB(FColor, FStyle == bsClear ? 0 : FTransparency); }

void TIEBrush::CreateGdiBrush() {
  DeleteGdiBrush();
  if (FStyle == bsSolid || FStyle == bsClear) {
    GpSolidFill* b = nullptr;
    if (G.CreateSolidFill(GetARGB(), &b) != Gdiplus::Ok || !b)
      throw Exception("Cannot create TIEBrush. GdipCreateSolidFill failed.");
    FGdiBrush = b;
  } else if (FStyle >= bsHorizontal && FStyle <= bsDiagCross) {
    GpHatch* b = nullptr;
    if (G.CreateHatchBrush(static_cast<GpHatchStyle>(FStyle - 2), GetARGB(), IEColorToARGB(FBackColor, FBackTransparency),
                           &b) != Gdiplus::Ok ||
        !b)
      throw Exception("Cannot create TIEBrush. GdipCreateHatchBrush failed.");
    FGdiBrush = b;
  }
}

void TIEBrush::SetColor(TColor Value) {
  FColor = Value;
  if (IEGDIPlusAvailable()) CreateGdiBrush();
  FBrush->SetColor(Value);
}

void TIEBrush::SetTransparency(Byte Value) {
  FTransparency = Value;
  if (IEGDIPlusAvailable()) CreateGdiBrush();
}

void TIEBrush::SetStyle(TBrushStyle Value) {
  FStyle = Value;
  if (IEGDIPlusAvailable()) CreateGdiBrush();
  FBrush->SetStyle(Value);
}

// ---------------------------------------------------------------------------
// TIECanvas

namespace {
inline REAL F(Integer v) { return static_cast<REAL>(v); }
constexpr double kRadToDeg = 180.0 / std::numbers::pi;
}  // namespace

TIECanvas::TIECanvas(TCanvas* Canvas, bool Antialias, bool UseGdiPlus)
    : FCanvas(Canvas),
      FPen(std::make_unique<TIEPen>(Canvas->Pen())),
      FBrush(std::make_unique<TIEBrush>(Canvas->Brush())),
      FUseGdiPlus(UseGdiPlus && IEGDIPlusAvailable()) {
  if (FUseGdiPlus) {
    if (G.CreateFromHDC(FCanvas->Handle(), &FGraphics) != Gdiplus::Ok || !FGraphics) {
      FBrush.reset();
      FPen.reset();
      FGraphics = nullptr;
      throw Exception("Cannot create TIECanvas. GdipCreateFromHDC failed.");
    }
    SetSmoothingMode(Antialias ? iesmAntialias : iesmHighSpeed);
  }
}

TIECanvas::~TIECanvas() {
  FBrush.reset();
  FPen.reset();
  if (FGraphics) G.DeleteGraphics(FGraphics);
}

HDC TIECanvas::GetHandle() { return FCanvas->Handle(); }

void TIECanvas::SetSmoothingMode(Integer Mode) {
  if (FUseGdiPlus) G.SetSmoothingMode(FGraphics, static_cast<GpSmoothingMode>(Mode - 1));
}

void TIECanvas::MoveTo(Integer X, Integer Y) {
  FPenX = X;
  FPenY = Y;
  if (!FUseGdiPlus) FCanvas->MoveTo(X, Y);
}

void TIECanvas::LineTo(Integer X, Integer Y) {
  if (FUseGdiPlus) {
    G.DrawLine(FGraphics, FPen->GdiPen(), F(FPenX), F(FPenY), F(X), F(Y));
    FPenX = X;
    FPenY = Y;
  } else {
    FCanvas->LineTo(X, Y);
  }
}

void TIECanvas::DrawLine(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (FUseGdiPlus) {
    G.DrawLine(FGraphics, FPen->GdiPen(), F(X1), F(Y1), F(X2), F(Y2));
  } else {
    const TPoint pts[2] = {TPoint(X1, Y1), TPoint(X2, Y2)};
    FCanvas->Polygon(pts, 2);
  }
}

void TIECanvas::FillRect(const TRect& Rect) {
  if (FUseGdiPlus) {
    Integer l = Rect.Left, t = Rect.Top, r = Rect.Right, b = Rect.Bottom;
    IEOrderCoords(l, t, r, b);
    if (FBrush->GdiBrush()) G.FillRectangle(FGraphics, FBrush->GdiBrush(), F(l), F(t), F(r - l - 1), F(b - t - 1));
  } else {
    FCanvas->FillRect(Rect);
  }
}

void TIECanvas::Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (FUseGdiPlus) {
    IEOrderCoords(X1, Y1, X2, Y2);
    const REAL w = F(X2 - X1 - 1), h = F(Y2 - Y1 - 1);
    if (FBrush->GdiBrush()) G.FillRectangle(FGraphics, FBrush->GdiBrush(), F(X1), F(Y1), w, h);
    G.DrawRectangle(FGraphics, FPen->GdiPen(), F(X1), F(Y1), w, h);
  } else {
    FCanvas->Rectangle(X1, Y1, X2, Y2);
  }
}

void TIECanvas::Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!FUseGdiPlus) {
    FCanvas->Ellipse(X1, Y1, X2, Y2);
    return;
  }
  // A wide GDI+ pen is centred on the outline; move the corners so that thin
  // and inverted ellipses still come out where the plain canvas puts them.
  if (FPen->Width() != 1.0f) {
    const Integer e = static_cast<Integer>(Round(FPen->Width() / 2.0));
    auto step = [e](Integer& a1, Integer& a2) {
      if (a1 > a2) a1 += e;
      if (a1 <= a2 && e >= a2 - a1 - 1)
        a2 = a1 + e;
      else if (a1 > a2 && e >= a1 - a2 - 1)
        a2 = a1 - e;
    };
    step(X1, X2);
    step(Y1, Y2);
    if (X1 == X2 - e) X1 -= e;
    if (Y1 == Y2 - e) Y1 -= e;
    if (Y1 == Y2) {
      Y1 -= e + 1;
      Y2 -= e + 1;
    }
    if (X1 > X2) {
      X1 -= e;
      X2 -= e - 1;
    }
  }
  const REAL w = F(X2 - X1 - 1), h = F(Y2 - Y1 - 1);
  if (FBrush->GdiBrush()) G.FillEllipse(FGraphics, FBrush->GdiBrush(), F(X1), F(Y1), w, h);
  G.DrawEllipse(FGraphics, FPen->GdiPen(), F(X1), F(Y1), w, h);
}

void TIECanvas::Polygon(const TPoint* Points, Integer LastIndex) {
  if (LastIndex < 0 || !Points) return;
  if (FUseGdiPlus) {
    std::vector<GpPoint> pts(static_cast<size_t>(LastIndex) + 1);
    for (size_t i = 0; i < pts.size(); ++i) pts[i] = GpPoint{Points[i].X, Points[i].Y};
    // Outlined first, then filled: the fill covers the inner half of the outline.
    G.DrawPolygonI(FGraphics, FPen->GdiPen(), pts.data(), LastIndex + 1);
    if (FBrush->GdiBrush())
      G.FillPolygonI(FGraphics, FBrush->GdiBrush(), pts.data(), LastIndex + 1, Gdiplus::FillModeAlternate);
  } else {
    FCanvas->Polygon(Points, LastIndex + 1);
  }
}

void TIECanvas::Polyline(const TPoint* Points, Integer LastIndex) {
  if (LastIndex < 0 || !Points) return;
  if (FUseGdiPlus) {
    std::vector<GpPoint> pts(static_cast<size_t>(LastIndex) + 1);
    for (size_t i = 0; i < pts.size(); ++i) pts[i] = GpPoint{Points[i].X, Points[i].Y};
    G.DrawLinesI(FGraphics, FPen->GdiPen(), pts.data(), LastIndex + 1);
  } else {
    FCanvas->Polyline(Points, LastIndex + 1);
  }
}

void TIECanvas::Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  if (!FUseGdiPlus) {
    FCanvas->Arc(X1, Y1, X2, Y2, X3, Y3, X4, Y4);
    return;
  }
  const Integer cx = static_cast<Integer>((static_cast<int64_t>(X1) + X2) / 2);
  const Integer cy = static_cast<Integer>((static_cast<int64_t>(Y1) + Y2) / 2);
  const double start = -IELineAngle(cx, cy, X4, Y4) * kRadToDeg;
  const double sweep = IEVertexAngle(X3, Y3, cx, cy, X4, Y4) * kRadToDeg;
  // The same ellipse as Ellipse draws for this box (right and bottom
  // exclusive), so that an arc lies on the outline of its own ellipse.
  G.DrawArc(FGraphics, FPen->GdiPen(), F(X1), F(Y1), F(X2 - X1 - 1), F(Y2 - Y1 - 1), static_cast<REAL>(start),
            static_cast<REAL>(sweep));
}

void TIECanvas::RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer CornerW, Integer CornerH) {
  if (!FUseGdiPlus) {
    FCanvas->RoundRect(X1, Y1, X2, Y2, CornerW, CornerH);
    return;
  }
  IEOrderCoords(X1, Y1, X2, Y2);
  const Integer w = X2 - X1, h = Y2 - Y1;
  if (CornerW > w) CornerW = w;
  if (CornerH > h) CornerH = h;
  GpPath* path = nullptr;
  if (G.CreatePath(Gdiplus::FillModeAlternate, &path) != Gdiplus::Ok || !path) return;
  const REAL cw = F(CornerW), ch = F(CornerH);
  G.AddPathArc(path, F(X1), F(Y1), cw, ch, 180, 90);
  G.AddPathArc(path, F(X1 + w - CornerW), F(Y1), cw, ch, 270, 90);
  G.AddPathArc(path, F(X1 + w - CornerW), F(Y1 + h - CornerH), cw, ch, 0, 90);
  G.AddPathArc(path, F(X1), F(Y1 + h - CornerH), cw, ch, 90, 90);
  // The left side closes the outline from where the lower-left arc ends,
  // half a corner height above the bottom, to where the upper-left arc
  // begins. Starting a full corner height up would run past that end when
  // the corners are taller than two thirds of the box, drawing a spur.
  G.AddPathLine(path, F(X1), F(Y1 + h) - ch / 2, F(X1), F(Y1) + ch / 2);
  if (FBrush->GdiBrush()) G.FillPath(FGraphics, FBrush->GdiBrush(), path);
  G.DrawPath(FGraphics, FPen->GdiPen(), path);
  G.DeletePath(path);
}
