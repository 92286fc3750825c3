// Printing a picture through packed DIBs, drawing it into platform bitmaps,
// the overlay boxes of the views and the DrawDib wrappers.
#include "imaging/core/render/ierendercanvas.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/render/iedib.h"
#include "imaging/core/render/iedibconvert.h"
#include "imaging/core/render/iegdiplus.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/bitmap.h"

namespace {

constexpr int64_t kMaxStripBytes = 41943040;  // 40 MB of DIB rows at a time
constexpr Integer kPrintDpi = 200;
constexpr size_t kInfoHeaderSize = 40;

WideString Num(int64_t V) { return Utf8ToWide(std::to_string(V)); }

// The closing line of a print, written on every way out.
struct TEndLine {
  TEndLine() = default;
  ~TEndLine() { IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: end")); }
  TEndLine(const TEndLine&) = delete;
  TEndLine& operator=(const TEndLine&) = delete;
};

// Frees a global block on every way out.
struct TGlobalFreer {
  void operator()(void* H) const { GlobalFree(static_cast<HGLOBAL>(H)); }
};
using TGlobalBlock = std::unique_ptr<void, TGlobalFreer>;

// G[i] = 255 * (i / 255) ^ (1 / Gamma), rounded half to even and clamped.
void BuildGammaTable(double Gamma, Byte (&G)[256]) {
  for (Integer i = 0; i < 256; ++i)
    G[i] = Byte(IEClampByte(Integer(Round(IEPowerDouble(i / 255.0, 1.0 / Gamma) * 255.0))));
}

bool GammaApplies(double Gamma) { return Gamma != 1 && Gamma > 0; }

uint32_t ReadU32(const Byte* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }
uint16_t ReadU16(const Byte* P) { return uint16_t(P[0] | P[1] << 8); }

// What a packed DIB block holds, checked against the block's length.
struct TDibLayout {
  const Byte* Header = nullptr;
  const Byte* Bits = nullptr;
  int32_t Width = 0, Height = 0;
  Integer BitCount = 0;
  size_t RowLen = 0;
};

bool ParseDib(const Byte* P, size_t Length, TDibLayout& L) {
  if (P == nullptr || Length < kInfoHeaderSize) return false;
  const uint32_t headerSize = ReadU32(P);
  if (headerSize < kInfoHeaderSize || headerSize > Length) return false;
  const int32_t width = int32_t(ReadU32(P + 4)), height = int32_t(ReadU32(P + 8));
  const Integer bits = ReadU16(P + 14);
  const uint32_t compression = ReadU32(P + 16);
  const uint32_t used = ReadU32(P + 32);
  if (width <= 0 || height == 0 || height == INT32_MIN || compression != 0) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  // The colour table has ClrUsed entries when that is given; counting
  // 2^bits entries regardless would take the first rows for colours.
  uint64_t entries = 0;
  if (bits <= 8) entries = used != 0 && used < (1u << bits) ? used : (1u << bits);
  const uint64_t rowLen = ((uint64_t(width) * uint64_t(bits) + 31) / 32) * 4;
  const uint64_t rows = uint64_t(height < 0 ? -int64_t(height) : int64_t(height));
  const uint64_t need = uint64_t(headerSize) + entries * 4 + rowLen * rows;
  if (need > Length) return false;
  L.Header = P;
  L.Bits = P + headerSize + entries * 4;
  L.Width = width;
  L.Height = height;
  L.BitCount = bits;
  L.RowLen = size_t(rowLen);
  return true;
}

void ApplyGamma(TIEBitmap& B, const Byte (&G)[256]) {
  const size_t n = size_t(B.Width()) * 3;
  for (Integer y = 0; y < B.Height(); ++y) {
    Byte* row = static_cast<Byte*>(B.GetScanline(y));
    for (size_t i = 0; i < n; ++i) row[i] = G[row[i]];
  }
}

// Does the packed DIB of this picture show other colours than the views do?
// The DIB conversion knows neither the grey display range nor contrast and
// channel offsets, so such pictures go through the views' renderer first.
bool NeedsDisplayColours(const TIEBitmap& B) {
  switch (B.PixelFormat()) {
    case ie8g:
    case ie16g:
    case ie32f:
      return B.DisplayHigh() - B.DisplayLow() != 0;
    case ie24RGB:
    case ie32RGB:
    case ieRGB48:
      return B.ChannelOffsetsOn() || B.Contrast() != 0;
    default:
      return false;
  }
}

void CopyDisplaySettings(const TIEBitmap& From, TIEBitmap& To) {
  To.SetDisplayLow(From.DisplayLow());
  To.SetDisplayHigh(From.DisplayHigh());
  for (Integer i = 0; i < 4; ++i) To.SetChannelOffset(i, From.ChannelOffset(i));
  To.SetChannelOffsetsOn(From.ChannelOffsetsOn());
  To.SetContrast(From.Contrast());
}

// Rows FirstRow.. of Source (Width x Rows) as the views show them, into an
// ie24RGB Dest.
bool RenderDisplayColours(TIEBitmap& Source, TIEBitmap& Dest, Integer FirstRow, Integer Rows) {
  const Integer w = Source.Width();
  if (Dest.Width() != w || Dest.Height() != Rows || Dest.PixelFormat() != ie24RGB) {
    if (!Dest.Allocate(w, Rows, ie24RGB)) return false;
  }
  Source.RenderToTIEBitmap(&Dest, 0, 0, w, Rows, 0, FirstRow, w, Rows, 255, rfNone, 0);
  return true;
}

}  // namespace

Integer IERenderStripHeight(int64_t MemoryThreshold, Integer Width, Integer Height, Integer RowAlignment) {
  if (Width <= 0 || Height <= 0) return 1;
  const int64_t rowLen = std::max<int64_t>(IEBitmapRowLen(Width, 24, RowAlignment), 1);
  int64_t strip = std::max<int64_t>(1, std::min<int64_t>(Height, (MemoryThreshold / 4) / rowLen));
  strip = std::min<int64_t>(strip, kMaxStripBytes / rowLen);
  return Integer(std::max<int64_t>(strip, 1));
}

bool _DIBDrawTo(TCanvas* Canvas, HGLOBAL Dib, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight) {
  if (Canvas == nullptr || Dib == nullptr) return false;
  const Byte* p = static_cast<const Byte*>(GlobalLock(Dib));
  if (p == nullptr) return false;
  TDibLayout L;
  const bool ok = ParseDib(p, GlobalSize(Dib), L);
  if (ok) {
    HDC dc = Canvas->Handle();
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchDIBits(dc, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, L.Bits,
                  reinterpret_cast<const BITMAPINFO*>(L.Header), DIB_RGB_COLORS, SRCCOPY);
  }
  GlobalUnlock(Dib);
  return ok;
}

void PrintPict(TCanvas* Canvas, Integer X, Integer Y, TIEBitmap* Bitmap, Integer SrcX, Integer FirstRow, Integer Width,
               Integer Rows) {
  if (Canvas == nullptr || Bitmap == nullptr || Width <= 0 || Rows <= 0) return;
  IEWriteDebugLog(W("PrintPict: calling _CopyBitmaptoDIBEx"));
  TGlobalBlock dib(_CopyBitmaptoDIBEx(Bitmap, SrcX, FirstRow, SrcX + Width, FirstRow + Rows, kPrintDpi, kPrintDpi));
  if (!dib) return;
  IEWriteDebugLog(W("PrintPict: calling _DIBDrawTo"));
  _DIBDrawTo(Canvas, dib.get(), 0, 0, Width, Rows, X, Y, Width, Rows);
  IEWriteDebugLog(W("PrintPict: calling GlobalFree"));
}

void TIEBitmap::RenderToCanvas(TCanvas* Canvas, Integer X, Integer Y, Integer Width, Integer Height,
                               TResampleFilter Filter, double Gamma) {
  IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: begin"));
  const TEndLine end;
  if (Canvas == nullptr || IsEmpty() || Width <= 0 || Height <= 0) return;
  TIEAccessScope access(this, ieaRead);

  if (Filter == rfNone) {
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: filter=none, gamma=1, gamma=0"));
    TIEBitmap* source = this;
    TIEBitmap shown;
    if (NeedsDisplayColours(*this) && RenderDisplayColours(*this, shown, 0, FHeight)) source = &shown;
    TGlobalBlock dib(_CopyBitmaptoDIBEx(source, 0, 0, 0, 0, kPrintDpi, kPrintDpi));
    if (dib) {
      // A gamma at or below 0 has no meaning; it would turn the page white.
      if (GammaApplies(Gamma)) IEGammaCorrectDIB(dib.get(), Gamma);
      IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: calling _DIBDrawTo"));
      _DIBDrawTo(Canvas, dib.get(), 0, 0, source->Width(), source->Height(), X, Y, Width, Height);
    }
    return;
  }

  const Integer strip = IERenderStripHeight(FMemoryThreshold, Width, Height, FRowAlignment);
  IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: stripHeight=") + Num(strip));
  IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: allocating ") + Num(Width) + W("x") + Num(Height));
  TIEBitmap scaled;
  if (FPixelFormat != ie1g && FPixelFormat != ie24RGB) {
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: _IEBmpStretchEx"));
    if (!scaled.Allocate(Width, Height, FPixelFormat)) return;
    IEStretchNearest(this, &scaled);
  } else if (FPixelFormat == ie1g) {
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: _Resample1BitEx"));
    const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
    if (!scaled.Allocate(Width, Height, project ? ie1g : ie24RGB)) return;
    IEResample1Bit(this, &scaled, Filter);
  } else {
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: _ResampleEx"));
    if (!scaled.Allocate(Width, Height, ie24RGB)) return;
    // The filters need two source pixels along some axis; a single pixel
    // would leave the page black.
    if (FWidth < 2 && FHeight < 2)
      IEStretchNearest(this, &scaled);
    else
      IEResampleFiltered(this, &scaled, Filter);
  }
  if (scaled.IsEmpty()) return;
  Canvas->SetCopyMode(cmSrcCopy);

  Byte gamma[256];
  const bool withGamma = scaled.PixelFormat() == ie24RGB && GammaApplies(Gamma);
  if (withGamma) BuildGammaTable(Gamma, gamma);
  // Colours as the views show them are made a strip at a time, and the
  // device gamma comes after them.
  const bool display = NeedsDisplayColours(*this);
  if (display) CopyDisplaySettings(*this, scaled);
  if (withGamma) {
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: gamma"));
    if (!display) ApplyGamma(scaled, gamma);
  }

  TIEBitmap shown;
  for (Integer y = 0; y < Height; y += strip) {
    const Integer rows = std::min(strip, Height - y);
    IEWriteDebugLog(W("TIEBitmap.RenderToCanvas: PrintPict y=") + Num(y));
    if (display && RenderDisplayColours(scaled, shown, y, rows)) {
      if (withGamma) ApplyGamma(shown, gamma);
      PrintPict(Canvas, X, Y + y, &shown, 0, 0, Width, rows);
    } else {
      PrintPict(Canvas, X, Y + y, &scaled, 0, y, Width, rows);
    }
  }
}

void TIEBitmap::RenderToTBitmapEx(TBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                                  std::unique_ptr<TIEMapTable>& XMap, std::unique_ptr<TIEMapTable>& YMap,
                                  const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth,
                                  Integer DstHeight, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                                  bool EnableAlpha, bool ReuseRows, Integer Transparency, TResampleFilter Filter,
                                  bool FreeTables, Byte BlendOperation) {
  if (Dest == nullptr) return;
  try {
    // The wrapper draws straight into Dest's rows and leaves the bitmap to
    // its owner when it goes. The renderer writes only ie24RGB targets.
    TIEBitmap target;
    target.EncapsulateTBitmap(Dest, false);
    RenderToTIEBitmapEx(&target, DestRows, XMap, YMap, ClipRect, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY,
                        SrcWidth, SrcHeight, EnableAlpha, ReuseRows, Transparency, Filter, FreeTables,
                        BlendOperation);
  } catch (...) {
    // Like the renderer itself, drawing into a platform bitmap reports nothing.
  }
}

void TIEBitmap::RenderToTBitmap(TBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                                Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                                Integer Transparency, TResampleFilter Filter, Byte BlendOperation) {
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xMap, yMap;
  RenderToTBitmapEx(Dest, rows, xMap, yMap, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth,
                    SrcHeight, true, false, Transparency, Filter, true, BlendOperation);
}

void IEDrawTextBox(TCanvas* Canvas, Integer& X, Integer& Y, const WideString& Text, TFont* Font, TBrush* Brush,
                   TBitmap* Background, Integer CanvasWidth, Integer CanvasHeight, TColor FrameColor1,
                   TColor FrameColor2) {
  if (Canvas == nullptr) return;
  if (Font) Canvas->SetFont(Font);
  if (Brush) Canvas->SetBrush(Brush);
  const TSize ext = Canvas->TextExtent(Text);
  const Integer w = ext.cx + 12, h = ext.cy + 12;
  // Kept inside the canvas; a box larger than the canvas starts at 0.
  X = std::max(0, std::min(X, CanvasWidth - w - 1));
  Y = std::max(0, std::min(Y, CanvasHeight - h - 1));
  if (Background) {
    // The frame's right column and bottom row lie at X + w and Y + h: the
    // saved area is one pixel larger than the box so that restoring it
    // leaves no trace of the frame.
    Background->SetPixelFormat(pf24bit);
    Background->SetSize(w + 1, h + 1);
    TCanvas* bc = Background->Canvas();
    bc->SetCopyMode(cmSrcCopy);
    bc->CopyRect(TRect(0, 0, w + 1, h + 1), Canvas, TRect(X, Y, X + w + 1, Y + h + 1));
  }
  Canvas->FillRect(TRect(X + 6, Y + 6, X + w, Y + h));
  IEDraw3DRect(Canvas, X + 6, Y + 6, X + w, Y + h, FrameColor1, FrameColor2);
  Canvas->TextOut(X + 9, Y + 9, Text);
}

void IEDrawInfoBox(TCanvas* Canvas, Integer& X, Integer& Y, const WideString& Text, const WideString& WidthSample) {
  if (Canvas == nullptr) return;
  TIECanvas c(Canvas, true, true);
  TFont* font = c.GetFont();
  font->SetName(W("Arial"));
  font->SetSize(9);
  font->SetColor(clBlack);
  c.Brush()->SetColor(0x60FFFF);
  c.Brush()->SetStyle(bsSolid);
  c.Brush()->SetTransparency(128);
  const Integer w = std::max(c.TextWidth(WidthSample), c.TextWidth(Text)) + 12;
  const Integer h = c.TextHeight(Text) + 12;
  X = std::max(X, 0);
  Y = std::max(Y, 0);
  c.FillRect(TRect(X + 6, Y + 6, X + w, Y + h));
  IEDraw3DRectGdiPlus(&c, X + 6, Y + 6, X + w, Y + h, clWhite, 0x808080);
  c.Brush()->SetStyle(bsClear);
  c.TextOut(X + 9, Y + 9, Text);
}

HDRAWDIB IEDrawDibOpen() { return DrawDibOpen(); }

BOOL IEDrawDibClose(HDRAWDIB Handle) { return DrawDibClose(Handle); }

BOOL IEDrawDibDraw(HDRAWDIB Handle, HDC DC, Integer XDst, Integer YDst, Integer DXDst, Integer DYDst,
                   const BITMAPINFOHEADER* Header, const void* Bits, Integer XSrc, Integer YSrc, Integer DXSrc,
                   Integer DYSrc, UINT Flags) {
  return DrawDibDraw(Handle, DC, XDst, YDst, DXDst, DYDst, Header, Bits, XSrc, YSrc, DXSrc, DYSrc, Flags);
}

UINT IEDrawDibRealize(HDRAWDIB Handle, HDC DC, BOOL Background) { return DrawDibRealize(Handle, DC, Background); }
