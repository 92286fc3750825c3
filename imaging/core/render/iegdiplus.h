// Drawing wrappers that paint through the GDI+ flat API when it is loaded and
// wanted (antialiased or high-speed), and through the plain TCanvas otherwise.
// Text always goes through the TCanvas.
#pragma once

#include <memory>

#include "platform/graphics/canvas.h"
#include "platform/graphics/gdiplus.h"

// Binding: loaded once for all while at least one user holds it.
bool IEGDIPlusLoaded();
bool IEGDIPlusAvailable();
void IEGDIPlusLoad();
void IEGDIPlusUnload();
void IEGDIPlusInitialize();
void IEGDIPlusFinalize();
// The allowed switch (set at start-up).
void IESetGDIPlusAllowed(bool Value);
Integer IEGDIPlusUseCount();

class TIEPen : public TObject {
 public:
  explicit TIEPen(TPen* Pen);
  ~TIEPen() override;
  Cardinal GetARGB() const;
  void CreateGdiPen();
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  Byte Transparency() const { return FTransparency; }
  void SetTransparency(Byte Value);
  float Width() const { return FWidth; }
  void SetWidth(float Value);
  TPenStyle Style() const { return FStyle; }
  void SetStyle(TPenStyle Value);
  TPenMode Mode() const { return FMode; }
  void SetMode(TPenMode Value);
  Byte LineJoin() const { return FLineJoin; }
  void SetLineJoin(Byte Value);
  void SetHandle(HPEN Value);
  GpPen* GdiPen() const { return FGdiPen; }
  TPen* Pen() const { return FPen; }

 private:
  GpPen* FGdiPen = nullptr;
  TPen* FPen;
  TColor FColor;
  Byte FTransparency = 255;
  float FWidth;
  TPenStyle FStyle;
  TPenMode FMode;
  Byte FLineJoin = 2;
};

class TIEBrush : public TObject {
 public:
  explicit TIEBrush(TBrush* Brush);
  ~TIEBrush() override;
  Cardinal GetARGB() const;
  void CreateGdiBrush();
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  Byte Transparency() const { return FTransparency; }
  void SetTransparency(Byte Value);
  TBrushStyle Style() const { return FStyle; }
  void SetStyle(TBrushStyle Value);
  TColor BackColor() const { return FBackColor; }
  void SetBackColor(TColor Value) { FBackColor = Value; }
  Byte BackTransparency() const { return FBackTransparency; }
  void SetBackTransparency(Byte Value) { FBackTransparency = Value; }
  GpBrush* GdiBrush() const { return FGdiBrush; }
  TBrush* Brush() const { return FBrush; }

 private:
  void DeleteGdiBrush();
  GpBrush* FGdiBrush = nullptr;
  TBrush* FBrush;
  TColor FColor;
  Byte FTransparency = 255;
  TColor FBackColor = 0;
  Byte FBackTransparency = 0;
  TBrushStyle FStyle;
};

// Smoothing values: GDI+ smoothing mode plus 1.
constexpr Integer iesmHighSpeed = 2;
constexpr Integer iesmAntialias = 5;

class TIECanvas : public TObject {
 public:
  TIECanvas(TCanvas* Canvas, bool Antialias = true, bool UseGdiPlus = true);
  ~TIECanvas() override;
  HDC GetHandle();
  bool UsesGdiPlus() const { return FUseGdiPlus; }
  void SetSmoothingMode(Integer Mode);
  void SetPenPos(const TPoint& P) { MoveTo(P.X, P.Y); }
  // The start of the next LineTo.
  TPoint PenPos() const { return FUseGdiPlus ? TPoint(FPenX, FPenY) : FCanvas->PenPos(); }
  void MoveTo(Integer X, Integer Y);
  void LineTo(Integer X, Integer Y);
  void DrawLine(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void FillRect(const TRect& Rect);
  void Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void RectangleRect(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2);
  void EllipseRect(const TRect& R) { Ellipse(R.Left, R.Top, R.Right, R.Bottom); }
  void Polygon(const TPoint* Points, Integer LastIndex);
  void Polyline(const TPoint* Points, Integer LastIndex);
  void Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4);
  void RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer CornerW, Integer CornerH);
  Integer TextWidth(const WideString& Text) { return FCanvas->TextWidth(Text); }
  Integer TextHeight(const WideString& Text) { return FCanvas->TextHeight(Text); }
  TSize TextExtent(const WideString& Text) { return FCanvas->TextExtent(Text); }
  void TextOut(Integer X, Integer Y, const WideString& Text) { FCanvas->TextOut(X, Y, Text); }
  void TextRect(const TRect& R, Integer X, Integer Y, const WideString& Text) { FCanvas->TextRect(R, X, Y, Text); }
  TFont* GetFont() { return FCanvas->Font(); }
  TIEPen* Pen() { return FPen.get(); }
  TIEBrush* Brush() { return FBrush.get(); }
  TCanvas* Canvas() { return FCanvas; }

 private:
  GpGraphics* FGraphics = nullptr;
  TCanvas* FCanvas;
  std::unique_ptr<TIEPen> FPen;
  Integer FPenX = 0, FPenY = 0;
  std::unique_ptr<TIEBrush> FBrush;
  bool FUseGdiPlus = false;
};
