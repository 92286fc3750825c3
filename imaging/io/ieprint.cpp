// Printing and print preview of the companion's picture. The layout is
// plain arithmetic on inches; the device gives the pixels per inch.
#include "imaging/io/ieprint.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/printers.h"

bool IEComputePrintLayout(Integer PicWidth, Integer PicHeight, double PicDpiX, double PicDpiY, Integer DeviceDpiX,
                          Integer DeviceDpiY, double PageWidth, double PageHeight, double LeftMargin,
                          double TopMargin, double RightMargin, double BottomMargin, Byte VerticalPosition,
                          Byte HorizontalPosition, Byte SizeMode, double SpecWidth, double SpecHeight,
                          TIEPrintLayout& Layout) {
  Layout = TIEPrintLayout();
  if (PicWidth <= 0 || PicHeight <= 0 || PicDpiX <= 0 || PicDpiY <= 0 || DeviceDpiX <= 0 || DeviceDpiY <= 0)
    return false;
  const double availW = PageWidth - (LeftMargin + RightMargin);
  const double availH = PageHeight - (TopMargin + BottomMargin);
  if (!(availW > 0) || !(availH > 0)) return false;
  double w = 0, h = 0;
  switch (SizeMode) {
    case iesNormal:
      w = PicWidth / PicDpiX;
      h = PicHeight / PicDpiY;
      break;
    case iesFit: {
      const double w0 = double(PicWidth) / DeviceDpiX, h0 = double(PicHeight) / DeviceDpiY;
      const double f = std::min(availW / w0, availH / h0);
      w = w0 * f;
      h = h0 * f;
      break;
    }
    case iesStretch:
      w = availW;
      h = availH;
      break;
    case iesSpecified:
      w = SpecWidth;
      h = SpecHeight;
      break;
    default:
      break;
  }
  if (!std::isfinite(w) || !std::isfinite(h) || w <= 0 || h <= 0) return false;
  auto place = [](Byte Pos, double Margin, double Avail, double Size) {
    switch (Pos) {
      case 0: return Margin;
      case 1: return Margin + (Avail - Size) / 2;
      case 2: return Margin + Avail - Size;
      default: return 0.0;
    }
  };
  Layout.X = place(HorizontalPosition, LeftMargin, availW, w);
  Layout.Y = place(VerticalPosition, TopMargin, availH, h);
  Layout.Width = w;
  Layout.Height = h;
  return true;
}

void TZiduzUvIO::PrintImage(TCanvas* Canvas, double LeftMargin, double TopMargin, double RightMargin,
                            double BottomMargin, Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode,
                            double SpecWidth, double SpecHeight, double Gamma) {
  IEWriteDebugLog(u"TZiduzUvIO.PrintImage: begin");
  if (!Canvas) Canvas = Printer()->Canvas();
  HDC dc = Canvas->Handle();
  const Integer dpiX = GetDeviceCaps(dc, LOGPIXELSX), dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  const Integer resX = GetDeviceCaps(dc, HORZRES), resY = GetDeviceCaps(dc, VERTRES);
  if (dpiX > 0 && dpiY > 0)
    PrintImageEx(Canvas, dpiX, dpiY, double(resX) / dpiX, double(resY) / dpiY, LeftMargin, TopMargin, RightMargin,
                 BottomMargin, VerticalPosition, HorizontalPosition, SizeMode, SpecWidth, SpecHeight, Gamma);
  IEWriteDebugLog(u"TZiduzUvIO.PrintImage: end");
}

void TZiduzUvIO::PrintImageEx(TCanvas* Canvas, Integer DeviceDpiX, Integer DeviceDpiY, double PageWidth,
                              double PageHeight, double LeftMargin, double TopMargin, double RightMargin,
                              double BottomMargin, Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode,
                              double SpecWidth, double SpecHeight, double Gamma) {
  IEWriteDebugLog(u"TZiduzUvIO.PrintImageEx: begin");
  if (!Canvas || !PrepareBitmap() || !IEBitmap() || IEBitmap()->IsEmpty()) return;
  double dpiX = FView ? FView->DpiX() : FParams->DPIX;
  double dpiY = FView ? FView->DpiY() : FParams->DPIY;
  if (dpiX <= 1) dpiX = DeviceDpiX;
  if (dpiY <= 1) dpiY = DeviceDpiY;
  IEWriteDebugLog(u"TZiduzUvIO.PrintImageEx: setting page sizes");
  TIEPrintLayout l;
  if (IEComputePrintLayout(IEBitmap()->Width(), IEBitmap()->Height(), dpiX, dpiY, DeviceDpiX, DeviceDpiY, PageWidth,
                           PageHeight, LeftMargin, TopMargin, RightMargin, BottomMargin, VerticalPosition,
                           HorizontalPosition, SizeMode, SpecWidth, SpecHeight, l))
    PrintImagePosEx(Canvas, DeviceDpiX, DeviceDpiY, l.X, l.Y, l.Width, l.Height, Gamma);
  IEWriteDebugLog(u"TZiduzUvIO.PrintImageEx: end");
}

void TZiduzUvIO::PrintImagePosEx(TCanvas* Canvas, Integer DeviceDpiX, Integer DeviceDpiY, double X, double Y,
                                 double Width, double Height, double Gamma) {
  IEWriteDebugLog(u"TZiduzUvIO.PrintImagePosEx: begin");
  TIEBitmap* b = IEBitmap();
  if (!Canvas || !b || b->IsEmpty()) return;
  const int64_t x = Round(DeviceDpiX * X), y = Round(DeviceDpiY * Y);
  const int64_t w = Round(DeviceDpiX * Width), h = Round(DeviceDpiY * Height);
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX || std::llabs(x) > INT32_MAX || std::llabs(y) > INT32_MAX)
    return;
  // The filter only helps where pixels are dropped.
  TResampleFilter filter = FPrintFilter;
  if (filter == rfNone || double(w) / b->Width() >= 1) {
    filter = rfNone;
    IEWriteDebugLog(u"TZiduzUvIO.PrintImagePosEx: calling RenderToCanvas without subsampling filter");
  } else {
    IEWriteDebugLog(u"TZiduzUvIO.PrintImagePosEx: calling RenderToCanvas with subsampling filter");
  }
  b->RenderToCanvas(Canvas, Integer(x), Integer(y), Integer(w), Integer(h), filter, Gamma);
  IEWriteDebugLog(u"TZiduzUvIO.PrintImagePosEx: end");
}

void TZiduzUvIO::RenderPrintPreview(TBitmap* Bitmap, Integer MaxWidth, Integer MaxHeight, TPrinter* APrinter,
                                    double LeftMargin, double TopMargin, double RightMargin, double BottomMargin,
                                    Byte VerticalPosition, Byte HorizontalPosition, Byte SizeMode, double SpecWidth,
                                    double SpecHeight, double Gamma) {
  if (!Bitmap) return;
  TPrinter* p = APrinter ? APrinter : Printer();
  const double pageW = p->PageWidth(), pageH = p->PageHeight();
  const double res = p->Resolution();
  // Nothing to show on a page without size, or in less than the 5 pixels kept free.
  if (pageW <= 0 || pageH <= 0 || res <= 0 || MaxWidth <= 5 || MaxHeight <= 5) return;
  const double zoom = std::min((MaxWidth - 5) / (pageW / 100), (MaxHeight - 5) / (pageH / 100));
  const double f = zoom / 100;
  const Integer pw = Integer(Round(pageW * f)), ph = Integer(Round(pageH * f));
  const Integer dpiX = Integer(Round(res * f)), dpiY = Integer(Round(res * f));
  if (pw <= 0 || ph <= 0 || dpiX <= 0 || dpiY <= 0) return;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(1, 1);
  Bitmap->SetSize(pw, ph);
  TCanvas* c = Bitmap->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clWhite);
  c->FillRect(TRect(0, 0, pw, ph));
  PrintImageEx(c, dpiX, dpiY, double(pw) / dpiX, double(ph) / dpiY, LeftMargin, TopMargin, RightMargin, BottomMargin,
               VerticalPosition, HorizontalPosition, SizeMode, SpecWidth, SpecHeight, Gamma);
  c->Brush()->SetStyle(bsClear);
  c->Pen()->SetColor(clBlack);
  c->Pen()->SetWidth(1);
  c->Pen()->SetStyle(psDash);
  c->Pen()->SetMode(pmNot);
  c->Rectangle(Integer(Round(dpiX * LeftMargin)), Integer(Round(dpiY * TopMargin)),
               Integer(Round(pw - dpiX * RightMargin)), Integer(Round(ph - dpiY * BottomMargin)));
  c->Pen()->SetMode(pmCopy);
  c->Pen()->SetStyle(psSolid);
}
