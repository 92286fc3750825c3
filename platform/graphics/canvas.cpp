#include "platform/graphics/canvas.h"

#include <cstring>

#include "platform/graphics/bitmap.h"

namespace {

const Integer kPenStyles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_NULL, PS_INSIDEFRAME,
                              PS_USERSTYLE, PS_ALTERNATE};
const Integer kPenModes[] = {R2_BLACK,      R2_WHITE,       R2_NOP,         R2_NOT,       R2_COPYPEN, R2_NOTCOPYPEN,
                             R2_MERGEPENNOT, R2_MASKPENNOT, R2_MERGENOTPEN, R2_MASKNOTPEN, R2_MERGEPEN, R2_NOTMERGEPEN,
                             R2_MASKPEN,    R2_NOTMASKPEN,  R2_XORPEN,      R2_NOTXORPEN};

}  // namespace

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------- TPen

TPen::TPen() = default;
TPen::~TPen() { Release(); }

void TPen::Release() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TPen::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPen*>(Source)) {
    Release();
    FColor = p->FColor;
    FWidth = p->FWidth;
    FStyle = p->FStyle;
    FMode = p->FMode;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

void TPen::SetColor(TColor Value) {
  Release();
  FColor = Value;
  Changed();
}

void TPen::SetWidth(Integer Value) {
  if (Value < 0) return;
  Release();
  FWidth = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  Release();
  FStyle = Value;
  Changed();
}

void TPen::SetMode(TPenMode Value) {
  FMode = Value;
  Changed();
}

HPEN TPen::Handle() {
  if (!FHandle) {
    const Integer style = FStyle <= psAlternate ? kPenStyles[FStyle] : static_cast<Integer>(PS_SOLID);
    if (style == static_cast<Integer>(PS_USERSTYLE) || style == static_cast<Integer>(PS_ALTERNATE)) {
      LOGBRUSH lb;
      lb.lbColor = static_cast<COLORREF>(ColorToRGB(FColor));
      const DWORD kind = style == static_cast<Integer>(PS_ALTERNATE) ? DWORD(PS_ALTERNATE) : DWORD(PS_SOLID);
      FHandle = ExtCreatePen(DWORD(PS_COSMETIC) | kind, 1, &lb, 0, nullptr);
    } else {
      FHandle = CreatePen(style, FWidth, static_cast<COLORREF>(ColorToRGB(FColor)));
    }
  }
  return FHandle;
}

void TPen::SetHandle(HPEN Value) {
  if (Value == FHandle) return;
  Release();
  FHandle = Value;
  if (Value) {
    EXTLOGPEN ex;
    LOGPEN lp;
    if (GetObjectType(Value) == OBJ_EXTPEN && GetObjectW(Value, sizeof(ex), &ex)) {
      FColor = static_cast<TColor>(ex.elpColor);
      FWidth = static_cast<Integer>(ex.elpWidth);
      const DWORD s = ex.elpPenStyle & PS_STYLE_MASK;
      FStyle = s <= PS_ALTERNATE ? static_cast<TPenStyle>(s) : psSolid;
    } else if (GetObjectW(Value, sizeof(lp), &lp)) {
      FColor = static_cast<TColor>(lp.lopnColor);
      FWidth = lp.lopnWidth.X;
      FStyle = lp.lopnStyle <= PS_INSIDEFRAME ? static_cast<TPenStyle>(lp.lopnStyle) : psSolid;
    }
  }
  Changed();
}

// ---------------------------------------------------------------- TBrush

TBrush::TBrush() = default;
TBrush::~TBrush() { Release(); }

void TBrush::Release() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TBrush::Assign(TPersistent* Source) {
  if (auto* b = dynamic_cast<TBrush*>(Source)) {
    Release();
    FColor = b->FColor;
    FStyle = b->FStyle;
    FBitmap = b->FBitmap;
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

void TBrush::SetColor(TColor Value) {
  Release();
  FColor = Value;
  // Giving a colour ends a clear style, as in the class library.
  if (FStyle == bsClear) FStyle = bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  Release();
  FStyle = Value;
  Changed();
}

void TBrush::SetBitmap(TBitmap* Value) {
  Release();
  FBitmap = Value;
  Changed();
}

HBRUSH TBrush::Handle() {
  if (!FHandle) {
    if (FBitmap && !FBitmap->Empty()) {
      FHandle = CreatePatternBrush(FBitmap->Handle());
    } else {
      LOGBRUSH lb;
      lb.lbColor = static_cast<COLORREF>(ColorToRGB(FColor));
      switch (FStyle) {
        case bsSolid: lb.lbStyle = BS_SOLID; break;
        case bsClear: lb.lbStyle = BS_NULL; break;
        default:
          lb.lbStyle = BS_HATCHED;
          lb.lbHatch = static_cast<ULONG_PTR>(FStyle - bsHorizontal);
      }
      FHandle = lb.lbStyle == BS_NULL ? nullptr : CreateBrushIndirect(&lb);
      if (!FHandle) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    }
  }
  return FHandle;
}

void TBrush::SetHandle(HBRUSH Value) {
  if (Value == FHandle) return;
  Release();
  FHandle = Value;
  FBitmap = nullptr;
  LOGBRUSH lb;
  if (Value && GetObjectW(Value, sizeof(lb), &lb)) {
    FColor = static_cast<TColor>(lb.lbColor);
    if (lb.lbStyle == BS_NULL) FStyle = bsClear;
    else if (lb.lbStyle == BS_HATCHED) FStyle = static_cast<TBrushStyle>(bsHorizontal + std::min<ULONG_PTR>(lb.lbHatch, 5));
    else FStyle = bsSolid;
  }
  Changed();
}

// ---------------------------------------------------------------- TFont

TFont::TFont() {
  FData.lfHeight = -11;
  FData.lfWeight = FW_NORMAL;
  FData.lfCharSet = DEFAULT_CHARSET;
  SetName(u"MS Sans Serif");
}

TFont::~TFont() { Release(); }

void TFont::Release() {
  if (FHandle) DeleteObject(FHandle);
  FHandle = nullptr;
}

void TFont::Modify() {
  Release();
  Changed();
}

void TFont::Assign(TPersistent* Source) {
  if (auto* f = dynamic_cast<TFont*>(Source)) {
    Release();
    FData = f->FData;
    FColor = f->FColor;
    // A font from another resolution keeps its point size.
    if (f->FPixelsPerInch != FPixelsPerInch && FData.lfHeight < 0)
      FData.lfHeight = -MulDiv(f->Size(), FPixelsPerInch, 72);
    Changed();
    return;
  }
  TGraphicsObject::Assign(Source);
}

void TFont::SetColor(TColor Value) {
  FColor = Value;
  Changed();
}

void TFont::SetHeight(Integer Value) {
  FData.lfHeight = Value;
  Modify();
}

Integer TFont::Size() const { return -MulDiv(FData.lfHeight, 72, FPixelsPerInch); }

void TFont::SetSize(Integer Value) { SetHeight(-MulDiv(Value, FPixelsPerInch, 72)); }

TFontName TFont::Name() const {
  WideString n;
  for (Integer i = 0; i < LF_FACESIZE && FData.lfFaceName[i]; ++i) n.push_back(FData.lfFaceName[i]);
  return n;
}

void TFont::SetName(const TFontName& Value) {
  if (Value.empty()) return;
  std::memset(FData.lfFaceName, 0, sizeof(FData.lfFaceName));
  for (size_t i = 0; i < Value.size() && i < LF_FACESIZE - 1; ++i) FData.lfFaceName[i] = Value[i];
  Modify();
}

TFontStyles TFont::Style() const {
  TFontStyles s;
  if (FData.lfWeight >= FW_BOLD) s.Include(fsBold);
  if (FData.lfItalic) s.Include(fsItalic);
  if (FData.lfUnderline) s.Include(fsUnderline);
  if (FData.lfStrikeOut) s.Include(fsStrikeOut);
  return s;
}

void TFont::SetStyle(TFontStyles Value) {
  FData.lfWeight = Value.Contains(fsBold) ? FW_BOLD : FW_NORMAL;
  FData.lfItalic = Value.Contains(fsItalic) ? 1 : 0;
  FData.lfUnderline = Value.Contains(fsUnderline) ? 1 : 0;
  FData.lfStrikeOut = Value.Contains(fsStrikeOut) ? 1 : 0;
  Modify();
}

void TFont::SetCharset(TFontCharset Value) {
  FData.lfCharSet = Value;
  Modify();
}

TFontPitch TFont::Pitch() const {
  switch (FData.lfPitchAndFamily & 3) {
    case FIXED_PITCH: return fpFixed;
    case VARIABLE_PITCH: return fpVariable;
  }
  return fpDefault;
}

void TFont::SetPitch(TFontPitch Value) {
  const BYTE bits = Value == fpFixed ? FIXED_PITCH : Value == fpVariable ? VARIABLE_PITCH : DEFAULT_PITCH;
  FData.lfPitchAndFamily = static_cast<BYTE>((FData.lfPitchAndFamily & ~3) | bits);
  Modify();
}

void TFont::SetOrientation(Integer Value) {
  FData.lfEscapement = Value;
  FData.lfOrientation = Value;
  Modify();
}

void TFont::SetQuality(TFontQuality Value) {
  FData.lfQuality = static_cast<BYTE>(Value);
  Modify();
}

HFONT TFont::Handle() {
  if (!FHandle) FHandle = CreateFontIndirectW(&FData);
  return FHandle;
}

void TFont::SetHandle(HFONT Value) {
  if (Value == FHandle) return;
  LOGFONTW lf;
  if (Value && GetObjectW(Value, sizeof(lf), &lf) != sizeof(lf)) return;
  Release();
  FHandle = Value;
  if (Value) FData = lf;
  Changed();
}

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas() : FFont(std::make_unique<TFont>()), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  // A changed font replaces the old one in the DC at once: drawing code that
  // took the handle measures and draws with it directly, and the old font's
  // handle, just freed, must not stay current there.
  FFont->OnChange = [this](TObject*) {
    const bool WasSelected = FHandle && (FState & csFontValid);
    FState &= static_cast<TCanvasStates>(~csFontValid);
    if (WasSelected) RequiredState(csFontValid);
  };
  FPen->OnChange = [this](TObject*) { FState &= static_cast<TCanvasStates>(~csPenValid); };
  FBrush->OnChange = [this](TObject*) { FState &= static_cast<TCanvasStates>(~csBrushValid); };
}

TCanvas::~TCanvas() { SetHandle(nullptr); }

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::DeselectHandles() {
  if (FHandle && (FState & (csPenValid | csBrushValid | csFontValid))) {
    SelectObject(FHandle, GetStockObject(BLACK_PEN));
    SelectObject(FHandle, GetStockObject(HOLLOW_BRUSH));
    SelectObject(FHandle, GetStockObject(SYSTEM_FONT));
  }
  FState &= static_cast<TCanvasStates>(~(csPenValid | csBrushValid | csFontValid));
}

void TCanvas::SetHandle(HDC Value) {
  if (FHandle == Value) return;
  if (FHandle) DeselectHandles();
  FHandle = Value;
  FState = Value ? csHandleValid : 0;
}

HDC TCanvas::Handle() {
  // The font goes with the handle, so that text put on the DC directly uses it.
  RequiredState(csHandleValid | csFontValid);
  return FHandle;
}

void TCanvas::Refresh() { DeselectHandles(); }

void TCanvas::RequiredState(TCanvasStates State) {
  TCanvasStates need = State & ~FState;
  if (!need) return;
  if (need & csHandleValid) {
    CreateHandle();
    if (!FHandle) throw EInvalidOperation("Canvas does not allow drawing");
  }
  if (need & csFontValid) {
    SelectObject(FHandle, FFont->Handle());
    SetTextColor(FHandle, static_cast<COLORREF>(ColorToRGB(FFont->Color())));
  }
  if (need & csPenValid) {
    SelectObject(FHandle, FPen->Handle());
    SetROP2(FHandle, kPenModes[FPen->Mode() <= pmNotXor ? FPen->Mode() : pmCopy]);
  }
  if (need & csBrushValid) {
    SelectObject(FHandle, FBrush->Handle());
    if (FBrush->Style() == bsSolid) {
      SetBkColor(FHandle, static_cast<COLORREF>(ColorToRGB(FBrush->Color())));
      SetBkMode(FHandle, OPAQUE);
    } else {
      // Hatches and clear brushes leave the background alone.
      SetBkColor(FHandle, ~static_cast<COLORREF>(ColorToRGB(FBrush->Color())) & 0xFFFFFF);
      SetBkMode(FHandle, TRANSPARENT);
    }
  }
  FState |= need;
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

void TCanvas::Arc(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  ::Arc(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::Chord(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Chord(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::Pie(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3, Integer X4, Integer Y4) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Pie(FHandle, X1, Y1, X2, Y2, X3, Y3, X4, Y4);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas) return;
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  Canvas->RequiredState(csHandleValid | csBrushValid);
  StretchBlt(FHandle, Dest.Left, Dest.Top, Dest.Right - Dest.Left, Dest.Bottom - Dest.Top, Canvas->FHandle,
             Source.Left, Source.Top, Source.Right - Source.Left, Source.Bottom - Source.Top,
             static_cast<DWORD>(FCopyMode));
  Changed();
}

void TCanvas::Draw(Integer X, Integer Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  SetBkColor(FHandle, static_cast<COLORREF>(ColorToRGB(FBrush->Color())));
  SetTextColor(FHandle, static_cast<COLORREF>(ColorToRGB(FFont->Color())));
  Graphic->Draw(this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequiredState(csHandleValid);
  Graphic->Draw(this, Rect);
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::DrawFocusRect(FHandle, &Rect);
  Changed();
}

void TCanvas::Ellipse(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Ellipse(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FillRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
  Changing();
  RequiredState(csHandleValid | csBrushValid);
  ::FrameRect(FHandle, &Rect, FBrush->Handle());
  Changed();
}

void TCanvas::MoveTo(Integer X, Integer Y) {
  RequiredState(csHandleValid);
  MoveToEx(FHandle, X, Y, nullptr);
}

void TCanvas::LineTo(Integer X, Integer Y) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::LineTo(FHandle, X, Y);
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, Integer Count) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Polygon(FHandle, Points, Count);
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, Integer Count) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Polyline(FHandle, Points, Count);
  Changed();
}

void TCanvas::PolyBezier(const TPoint* Points, Integer Count) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::PolyBezier(FHandle, Points, static_cast<DWORD>(Count));
  Changed();
}

void TCanvas::Rectangle(Integer X1, Integer Y1, Integer X2, Integer Y2) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::Rectangle(FHandle, X1, Y1, X2, Y2);
  Changed();
}

void TCanvas::RoundRect(Integer X1, Integer Y1, Integer X2, Integer Y2, Integer X3, Integer Y3) {
  Changing();
  RequiredState(csHandleValid | csPenValid | csBrushValid);
  ::RoundRect(FHandle, X1, Y1, X2, Y2, X3, Y3);
  Changed();
}

TSize TCanvas::TextExtent(const WideString& Text) {
  RequiredState(csHandleValid | csFontValid);
  TSize s;
  GetTextExtentPoint32W(FHandle, Text.data(), static_cast<Integer>(Text.size()), &s);
  return s;
}

void TCanvas::TextOut(Integer X, Integer Y, const WideString& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  ExtTextOutW(FHandle, X, Y, 0, nullptr, Text.data(), static_cast<UINT>(Text.size()), nullptr);
  MoveTo(X + TextWidth(Text), Y);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, Integer X, Integer Y, const WideString& Text) {
  Changing();
  RequiredState(csHandleValid | csFontValid | csBrushValid);
  UINT options = ETO_CLIPPED;
  if (FBrush->Style() != bsClear) options |= ETO_OPAQUE;
  ExtTextOutW(FHandle, X, Y, options, &Rect, Text.data(), static_cast<UINT>(Text.size()), nullptr);
  Changed();
}

TPoint TCanvas::PenPos() {
  RequiredState(csHandleValid);
  TPoint p;
  GetCurrentPositionEx(FHandle, &p);
  return p;
}

TRect TCanvas::ClipRect() {
  RequiredState(csHandleValid);
  TRect r;
  GetClipBox(FHandle, &r);
  return r;
}

TColor TCanvas::Pixels(Integer X, Integer Y) {
  RequiredState(csHandleValid);
  return static_cast<TColor>(GetPixel(FHandle, X, Y));
}

void TCanvas::SetPixels(Integer X, Integer Y, TColor Value) {
  Changing();
  RequiredState(csHandleValid | csPenValid);
  SetPixel(FHandle, X, Y, static_cast<COLORREF>(ColorToRGB(Value)));
  Changed();
}
