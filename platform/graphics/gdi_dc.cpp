// Device contexts: creation, attributes, saved states, coordinate mapping and
// clipping, and the per-call drawing target.
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "platform/graphics/gdi_private.h"

namespace gdi {

namespace {

constexpr Integer kHuge = 1 << 30;  // "no limit" for clip arithmetic

Integer RoundCoord(double V) {
  double r = std::floor(V + 0.5);
  if (r > kHuge) return kHuge;
  if (r < -kHuge) return -kHuge;
  return static_cast<Integer>(r);
}

Integer ScreenCaps(Integer Index) {
  struct TScreen {
    Integer W = 1024, H = 768;
  };
  static const TScreen screen = [] {
    TScreen s;
    if (QGuiApplication::instance())
      if (QScreen* q = QGuiApplication::primaryScreen()) {
        s.W = q->geometry().width();
        s.H = q->geometry().height();
      }
    return s;
  }();
  const Integer w = screen.W, h = screen.H;
  switch (Index) {
    case DRIVERVERSION: return 0x4000;
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return w * 254 / 960;
    case VERTSIZE: return h * 254 / 960;
    case HORZRES: return w;
    case VERTRES: return h;
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case NUMBRUSHES: return -1;
    case NUMPENS: return -1;
    case NUMFONTS: return 0;
    case NUMCOLORS: return -1;
    case CURVECAPS: return 511;
    case LINECAPS: return 254;
    case POLYGONALCAPS: return 255;
    case TEXTCAPS: return 0x7E9F;
    case CLIPCAPS: return 1;
    case RASTERCAPS:
      return RC_BITBLT | RC_BITMAP64 | RC_GDI20_OUTPUT | RC_DI_BITMAP | RC_DIBTODEV | RC_STRETCHBLT |
             RC_STRETCHDIB | RC_FLOODFILL;
    case ASPECTX: return 36;
    case ASPECTY: return 36;
    case ASPECTXY: return 51;
    case LOGPIXELSX: return 96;
    case LOGPIXELSY: return 96;
    case SIZEPALETTE: return 0;
    case NUMRESERVED: return 20;
    case COLORRES: return 24;
    case VREFRESH: return 60;
  }
  return 0;
}

TRegion ClipOrAll(const TDCObj* DC) {
  if (DC->S.HasClip) return DC->S.Clip;
  return TRegion::FromRect(TRect(-kHuge, -kHuge, kHuge, kHuge));
}

void SetClip(TDCObj* DC, TRegion R) {
  DC->S.HasClip = true;
  DC->S.Clip = std::move(R);
}

// Surface bounds of a DC in device pixels (empty for the screen).
TRect DeviceBounds(TDCObj* DC) {
  if (DC->Kind == TDCObj::dkMemory && DC->S.Bitmap) return TRect(0, 0, DC->S.Bitmap->Width, DC->S.Bitmap->Height);
  if (DC->Kind == TDCObj::dkSurface && DC->Surface) {
    TGdiPixels p;
    if (DC->Surface->LockPixels(p)) {
      DC->Surface->UnlockPixels(TRect());
      return TRect(0, 0, p.Width, p.Height);
    }
  }
  if (DC->Kind == TDCObj::dkScreen) return TRect(0, 0, ScreenCaps(HORZRES), ScreenCaps(VERTRES));
  return TRect();
}

Integer ClipKind(TDCObj* DC) {
  TRegion b = TRegion::FromRect(DeviceBounds(DC));
  if (!DC->S.HasClip) return b.Kind();
  return TRegion::Combine(DC->S.Clip, b, RGN_AND).Kind();
}

HDC NewDC(TDCObj::TKind Kind, TGdiSurface* Surface) {
  auto dc = std::make_shared<TDCObj>(Kind);
  dc->Surface = Surface;
  ResetDCState(dc.get());
  return static_cast<HDC>(Register(dc));
}

}  // namespace

TDCObj::~TDCObj() = default;

TXform DeviceXform(const TDCObj* DC) {
  TXform t;
  if (DC->S.GraphicsMode == GM_ADVANCED) {
    const XFORM& w = DC->S.World;
    t.A = w.eM11;
    t.B = w.eM12;
    t.C = w.eM21;
    t.D = w.eM22;
    t.E = w.eDx;
    t.F = w.eDy;
  }
  t.E += DC->S.ViewportOrg.X - DC->S.WindowOrg.X;
  t.F += DC->S.ViewportOrg.Y - DC->S.WindowOrg.Y;
  return t;
}

TPoint MapPoint(const TDCObj* DC, Integer X, Integer Y) {
  TXform t = DeviceXform(DC);
  double x, y;
  t.Map(X, Y, x, y);
  return TPoint(RoundCoord(x), RoundCoord(y));
}

TRect MapRect(const TDCObj* DC, Integer L, Integer T, Integer R, Integer B) {
  if (L > R) std::swap(L, R);
  if (T > B) std::swap(T, B);
  TXform t = DeviceXform(DC);
  if (t.AxisAligned()) {
    auto axis = [](double S, double O, Integer A, Integer Bv, Integer& OA, Integer& OB) {
      if (S >= 0) {
        OA = RoundCoord(S * A + O);
        OB = RoundCoord(S * Bv + O);
      } else {
        OA = RoundCoord(S * Bv + O) + 1;
        OB = RoundCoord(S * A + O) + 1;
      }
    };
    TRect d;
    axis(t.A, t.E, L, R, d.Left, d.Right);
    axis(t.D, t.F, T, B, d.Top, d.Bottom);
    return d;
  }
  double xs[4], ys[4];
  t.Map(L, T, xs[0], ys[0]);
  t.Map(R, T, xs[1], ys[1]);
  t.Map(R, B, xs[2], ys[2]);
  t.Map(L, B, xs[3], ys[3]);
  return TRect(RoundCoord(*std::min_element(xs, xs + 4)), RoundCoord(*std::min_element(ys, ys + 4)),
               RoundCoord(*std::max_element(xs, xs + 4)), RoundCoord(*std::max_element(ys, ys + 4)));
}

TTarget::TTarget(TDCObj* ADC) : DC(ADC) {
  if (!DC) return;
  if (DC->Kind == TDCObj::dkMemory) {
    // The shared 1 x 1 stock bitmap of a fresh memory DC is never drawn on.
    if (DC->S.Bitmap && DC->S.Bitmap != DefaultBitmap()) {
      Px = DC->S.Bitmap->Pixels();
      FLocked = Px.Row0 != nullptr;
    }
  } else if (DC->Kind == TDCObj::dkSurface && DC->Surface) {
    FLocked = DC->Surface->LockPixels(Px);
  }
  if (!FLocked) return;
  const TRect bounds(0, 0, Px.Width, Px.Height);
  ClipRect = bounds;
  if (DC->S.HasClip) {
    Clip = TRegion::Combine(DC->S.Clip, TRegion::FromRect(bounds), RGN_AND);
    if (Clip.Empty()) ClipRect = TRect();
    else if (Clip.IsRect()) ClipRect = Clip.Box();
    else ClipIsRect = false;
  }
}

TTarget::~TTarget() {
  if (FLocked && DC && DC->Kind == TDCObj::dkSurface && DC->Surface) DC->Surface->UnlockPixels(FChanged);
}

void TTarget::Touch(const TRect& R) {
  TRect r;
  if (!IntersectRect(r, R, ClipBox())) return;
  UnionRect(FChanged, FChanged, r);
}

}  // namespace gdi

using namespace gdi;

Integer TGdiSurface::DeviceCaps(Integer Index) { return ScreenCaps(Index); }

HDC GtCreateSurfaceDC(TGdiSurface* Surface) {
  if (!Surface) return nullptr;
  return NewDC(TDCObj::dkSurface, Surface);
}

HDC GtCreateScreenDC() { return NewDC(TDCObj::dkScreen, nullptr); }

HDC CreateCompatibleDC(HDC Reference) {
  if (Reference && !LookupDC(Reference)) return nullptr;
  return NewDC(TDCObj::dkMemory, nullptr);
}

BOOL DeleteDC(HDC DC) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  if (dc->S.Bitmap) --dc->S.Bitmap->SelectCount;
  dc->S.Bitmap.reset();
  return Unregister(DC) ? TRUE : FALSE;
}

Integer GetDeviceCaps(HDC DC, Integer Index) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return 0;
  if (dc->Kind == TDCObj::dkSurface && dc->Surface) return dc->Surface->DeviceCaps(Index);
  return ScreenCaps(Index);
}

BOOL GdiFlush() { return TRUE; }

Integer SaveDC(HDC DC) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return 0;
  dc->Saved.push_back(dc->S);
  return static_cast<Integer>(dc->Saved.size());
}

BOOL RestoreDC(HDC DC, Integer SavedDC) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  const Integer n = static_cast<Integer>(dc->Saved.size());
  Integer level = SavedDC < 0 ? n + 1 + SavedDC : SavedDC;
  if (level < 1 || level > n) return FALSE;
  auto oldBitmap = dc->S.Bitmap;
  dc->S = dc->Saved[level - 1];
  dc->Saved.resize(level - 1);
  if (oldBitmap != dc->S.Bitmap) {
    if (oldBitmap) --oldBitmap->SelectCount;
    if (dc->S.Bitmap) ++dc->S.Bitmap->SelectCount;
  }
  return TRUE;
}

HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object) {
  TDCObj* dc = LookupDC(DC);
  auto o = gdi::Lookup(Object);
  if (!dc || !o) return nullptr;
  switch (o->Type) {
    case OBJ_PEN: {
      HGDIOBJ old = dc->S.Pen.get();
      dc->S.Pen = std::static_pointer_cast<TPenObj>(o);
      return old;
    }
    case OBJ_BRUSH: {
      HGDIOBJ old = dc->S.Brush.get();
      dc->S.Brush = std::static_pointer_cast<TBrushObj>(o);
      return old;
    }
    case OBJ_FONT: {
      HGDIOBJ old = dc->S.Font.get();
      dc->S.Font = std::static_pointer_cast<TFontObj>(o);
      return old;
    }
    case OBJ_BITMAP: {
      if (dc->Kind != TDCObj::dkMemory) return nullptr;
      auto b = std::static_pointer_cast<TBitmapObj>(o);
      if (b == dc->S.Bitmap) return b.get();
      // A bitmap lives in one DC at a time (the stock bitmap excepted).
      if (b->SelectCount > 0 && b != DefaultBitmap()) return nullptr;
      HGDIOBJ old = dc->S.Bitmap.get();
      if (dc->S.Bitmap) --dc->S.Bitmap->SelectCount;
      dc->S.Bitmap = b;
      ++b->SelectCount;
      return old;
    }
    case OBJ_REGION: {
      Integer k = SelectClipRgn(DC, static_cast<HRGN>(Object));
      return reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(k));
    }
  }
  return nullptr;
}

HGDIOBJ GetCurrentObject(HDC DC, UINT Type) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return nullptr;
  switch (Type) {
    case OBJ_PEN:
    case OBJ_EXTPEN: return dc->S.Pen.get();
    case OBJ_BRUSH: return dc->S.Brush.get();
    case OBJ_FONT: return dc->S.Font.get();
    case OBJ_PAL: return dc->S.Palette.get();
    case OBJ_BITMAP: return dc->S.Bitmap.get();
  }
  return nullptr;
}

// A device-context attribute's setter (which answers the old value, or Fail
// for an unknown context or a value Valid refuses) and its getter.
#define GT_DC_SET(SetName, Field, Type, Valid, Fail) \
  Type SetName(HDC DC, Type Value) {                 \
    TDCObj* dc = LookupDC(DC);                       \
    if (!dc || !(Valid)) return Fail;                \
    Type old = dc->S.Field;                          \
    dc->S.Field = Value;                             \
    return old;                                      \
  }
#define GT_DC_GET(GetName, Field, Type, Fail) \
  Type GetName(HDC DC) {                      \
    TDCObj* dc = LookupDC(DC);                \
    return dc ? dc->S.Field : Fail;           \
  }
#define GT_DC_ATTR(SetName, GetName, Field, Type, Valid, Fail) \
  GT_DC_SET(SetName, Field, Type, Valid, Fail)                 \
  GT_DC_GET(GetName, Field, Type, Fail)

GT_DC_ATTR(SetBkMode, GetBkMode, BkMode, Integer, (Value == TRANSPARENT || Value == OPAQUE), 0)
GT_DC_ATTR(SetROP2, GetROP2, Rop2, Integer, (Value >= R2_BLACK && Value <= R2_WHITE), 0)
GT_DC_ATTR(SetStretchBltMode, GetStretchBltMode, StretchMode, Integer, (Value >= BLACKONWHITE && Value <= HALFTONE), 0)
GT_DC_ATTR(SetPolyFillMode, GetPolyFillMode, PolyFillMode, Integer, (Value == ALTERNATE || Value == WINDING), 0)
GT_DC_ATTR(SetArcDirection, GetArcDirection, ArcDirection, Integer,
           (Value == AD_COUNTERCLOCKWISE || Value == AD_CLOCKWISE), 0)
GT_DC_ATTR(SetTextColor, GetTextColor, TextColor, COLORREF, true, CLR_INVALID)
GT_DC_ATTR(SetBkColor, GetBkColor, BkColor, COLORREF, true, CLR_INVALID)
GT_DC_ATTR(SetTextAlign, GetTextAlign, TextAlign, UINT, true, GDI_ERROR)
GT_DC_SET(SetTextCharacterExtra, CharExtra, Integer, true, static_cast<Integer>(0x80000000u))
#undef GT_DC_ATTR
#undef GT_DC_GET
#undef GT_DC_SET

Integer SetMapMode(HDC DC, Integer Mode) {
  // Only the text mapping mode exists here; every caller uses it.
  TDCObj* dc = LookupDC(DC);
  return dc && Mode == MM_TEXT ? MM_TEXT : 0;
}
Integer GetMapMode(HDC DC) { return LookupDC(DC) ? MM_TEXT : 0; }

namespace {
BOOL SetOrg(HDC DC, TPoint TDCState::*Field, Integer X, Integer Y, TPoint* Old, bool Relative) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  if (Old) *Old = dc->S.*Field;
  if (Relative) {
    (dc->S.*Field).X += X;
    (dc->S.*Field).Y += Y;
  } else {
    dc->S.*Field = TPoint(X, Y);
  }
  return TRUE;
}
}  // namespace

BOOL SetWindowOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old) { return SetOrg(DC, &TDCState::WindowOrg, X, Y, Old, false); }
BOOL OffsetWindowOrgEx(HDC DC, Integer DX, Integer DY, TPoint* Old) { return SetOrg(DC, &TDCState::WindowOrg, DX, DY, Old, true); }
BOOL SetViewportOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old) { return SetOrg(DC, &TDCState::ViewportOrg, X, Y, Old, false); }
BOOL OffsetViewportOrgEx(HDC DC, Integer DX, Integer DY, TPoint* Old) { return SetOrg(DC, &TDCState::ViewportOrg, DX, DY, Old, true); }
BOOL SetBrushOrgEx(HDC DC, Integer X, Integer Y, TPoint* Old) { return SetOrg(DC, &TDCState::BrushOrg, X, Y, Old, false); }

BOOL GetWindowOrgEx(HDC DC, TPoint* Org) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Org) return FALSE;
  *Org = dc->S.WindowOrg;
  return TRUE;
}
BOOL GetViewportOrgEx(HDC DC, TPoint* Org) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Org) return FALSE;
  *Org = dc->S.ViewportOrg;
  return TRUE;
}
BOOL GetBrushOrgEx(HDC DC, TPoint* Org) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Org) return FALSE;
  *Org = dc->S.BrushOrg;
  return TRUE;
}

Integer SetGraphicsMode(HDC DC, Integer Mode) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || (Mode != GM_COMPATIBLE && Mode != GM_ADVANCED)) return 0;
  Integer old = dc->S.GraphicsMode;
  if (Mode == GM_COMPATIBLE) {
    // Leaving advanced mode needs the identity transform, as on Windows.
    const XFORM& w = dc->S.World;
    if (w.eM11 != 1 || w.eM12 != 0 || w.eM21 != 0 || w.eM22 != 1 || w.eDx != 0 || w.eDy != 0) return 0;
  }
  dc->S.GraphicsMode = Mode;
  return old;
}
Integer GetGraphicsMode(HDC DC) {
  TDCObj* dc = LookupDC(DC);
  return dc ? dc->S.GraphicsMode : 0;
}

BOOL SetWorldTransform(HDC DC, const XFORM* Xform) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Xform || dc->S.GraphicsMode != GM_ADVANCED) return FALSE;
  if (Xform->eM11 * Xform->eM22 - Xform->eM12 * Xform->eM21 == 0) return FALSE;
  dc->S.World = *Xform;
  return TRUE;
}

BOOL GetWorldTransform(HDC DC, XFORM* Xform) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Xform) return FALSE;
  *Xform = dc->S.World;
  return TRUE;
}

BOOL ModifyWorldTransform(HDC DC, const XFORM* Xform, DWORD Mode) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || dc->S.GraphicsMode != GM_ADVANCED) return FALSE;
  if (Mode == MWT_IDENTITY) {
    dc->S.World = XFORM();
    return TRUE;
  }
  if (!Xform) return FALSE;
  auto mul = [](const XFORM& a, const XFORM& b) {  // a then b
    XFORM r;
    r.eM11 = a.eM11 * b.eM11 + a.eM12 * b.eM21;
    r.eM12 = a.eM11 * b.eM12 + a.eM12 * b.eM22;
    r.eM21 = a.eM21 * b.eM11 + a.eM22 * b.eM21;
    r.eM22 = a.eM21 * b.eM12 + a.eM22 * b.eM22;
    r.eDx = a.eDx * b.eM11 + a.eDy * b.eM21 + b.eDx;
    r.eDy = a.eDx * b.eM12 + a.eDy * b.eM22 + b.eDy;
    return r;
  };
  if (Mode == MWT_LEFTMULTIPLY) dc->S.World = mul(*Xform, dc->S.World);
  else if (Mode == MWT_RIGHTMULTIPLY) dc->S.World = mul(dc->S.World, *Xform);
  else return FALSE;
  return TRUE;
}

BOOL LPtoDP(HDC DC, TPoint* Points, Integer Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points) return FALSE;
  for (Integer i = 0; i < Count; ++i) Points[i] = MapPoint(dc, Points[i].X, Points[i].Y);
  return TRUE;
}

BOOL DPtoLP(HDC DC, TPoint* Points, Integer Count) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !Points) return FALSE;
  TXform t = DeviceXform(dc);
  const double det = t.A * t.D - t.B * t.C;
  if (det == 0) return FALSE;
  for (Integer i = 0; i < Count; ++i) {
    const double x = Points[i].X - t.E, y = Points[i].Y - t.F;
    Points[i] = TPoint(RoundCoord((t.D * x - t.C * y) / det), RoundCoord((-t.B * x + t.A * y) / det));
  }
  return TRUE;
}

// ---------------------------------------------------------------- clipping

Integer SelectClipRgn(HDC DC, HRGN Region) { return ExtSelectClipRgn(DC, Region, RGN_COPY); }

Integer ExtSelectClipRgn(HDC DC, HRGN Region, Integer Mode) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return ERROR;
  if (!Region) {
    if (Mode != RGN_COPY) return ERROR;
    dc->S.HasClip = false;
    dc->S.Clip = TRegion();
    return SIMPLEREGION;
  }
  auto r = LookupAs<TRgnObj>(Region, OBJ_REGION);
  if (!r || Mode < RGN_AND || Mode > RGN_COPY) return ERROR;
  if (Mode == RGN_COPY) SetClip(dc, r->R);
  else SetClip(dc, TRegion::Combine(ClipOrAll(dc), r->R, Mode));
  return ClipKind(dc);
}

Integer OffsetClipRgn(HDC DC, Integer DX, Integer DY) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return ERROR;
  if (dc->S.HasClip) dc->S.Clip.Offset(DX, DY);
  return ClipKind(dc);
}

Integer GetClipBox(HDC DC, TRect* R) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !R) return ERROR;
  TRegion b = TRegion::FromRect(DeviceBounds(dc));
  TRegion eff = dc->S.HasClip ? TRegion::Combine(dc->S.Clip, b, RGN_AND) : b;
  TRect box = eff.Box();
  // Back to logical coordinates.
  TPoint pts[2] = {box.TopLeft(), box.BottomRight()};
  if (!eff.Empty()) {
    DPtoLP(DC, pts, 2);
    *R = TRect(std::min(pts[0].X, pts[1].X), std::min(pts[0].Y, pts[1].Y), std::max(pts[0].X, pts[1].X),
               std::max(pts[0].Y, pts[1].Y));
  } else {
    *R = TRect();
  }
  return eff.Kind();
}

Integer GetClipRgn(HDC DC, HRGN Region) {
  TDCObj* dc = LookupDC(DC);
  auto r = LookupAs<TRgnObj>(Region, OBJ_REGION);
  if (!dc || !r) return -1;
  if (!dc->S.HasClip) return 0;
  r->R = dc->S.Clip;
  return 1;
}

Integer IntersectClipRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return ERROR;
  TRegion r = TRegion::FromRect(MapRect(dc, Left, Top, Right, Bottom));
  SetClip(dc, TRegion::Combine(ClipOrAll(dc), r, RGN_AND));
  return ClipKind(dc);
}

Integer ExcludeClipRect(HDC DC, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return ERROR;
  TRegion r = TRegion::FromRect(MapRect(dc, Left, Top, Right, Bottom));
  SetClip(dc, TRegion::Combine(ClipOrAll(dc), r, RGN_DIFF));
  return ClipKind(dc);
}

BOOL PtVisible(HDC DC, Integer X, Integer Y) {
  TDCObj* dc = LookupDC(DC);
  if (!dc) return FALSE;
  TPoint p = MapPoint(dc, X, Y);
  if (!PtInRect(DeviceBounds(dc), p)) return FALSE;
  return !dc->S.HasClip || dc->S.Clip.Contains(p.X, p.Y) ? TRUE : FALSE;
}
