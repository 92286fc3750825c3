// The window manager's drawing helpers: rectangle fills and frames, the focus
// rectangle, 3-D edges and frame controls. Their glyphs are drawn here.
#include <algorithm>
#include <cmath>

#include "platform/graphics/gdi_private.h"

using namespace gdi;

namespace {

// PatBlt with a brush object that need not be selected.
BOOL PatBltWith(TDCObj* DC, HDC Handle, const std::shared_ptr<TBrushObj>& Brush, Integer X, Integer Y, Integer W,
                Integer H, DWORD Rop) {
  auto old = DC->S.Brush;
  DC->S.Brush = Brush;
  BOOL ok = PatBlt(Handle, X, Y, W, H, Rop);
  DC->S.Brush = old;
  return ok;
}

std::shared_ptr<TBrushObj> Solid(COLORREF Color) {
  auto b = std::make_shared<TBrushObj>();
  b->Style = BS_SOLID;
  b->Color = Color;
  return b;
}

void SolidRect(TDCObj* DC, HDC Handle, Integer L, Integer T, Integer R, Integer B, COLORREF Color) {
  if (R <= L || B <= T) return;
  PatBltWith(DC, Handle, Solid(Color), L, T, R - L, B - T, PATCOPY);
}

// One ring of a 3-D frame: upper-left colour on the left and top sides, then
// the lower-right colour on the right and bottom sides (which own the corners
// they share).
void Ring(TDCObj* DC, HDC Handle, TRect& R, COLORREF UL, COLORREF LR, UINT Sides) {
  if (Sides & BF_LEFT) SolidRect(DC, Handle, R.Left, R.Top, R.Left + 1, R.Bottom, UL);
  if (Sides & BF_TOP) SolidRect(DC, Handle, R.Left, R.Top, R.Right, R.Top + 1, UL);
  if (Sides & BF_RIGHT) SolidRect(DC, Handle, R.Right - 1, R.Top, R.Right, R.Bottom, LR);
  if (Sides & BF_BOTTOM) SolidRect(DC, Handle, R.Left, R.Bottom - 1, R.Right, R.Bottom, LR);
  if (Sides & BF_LEFT) ++R.Left;
  if (Sides & BF_TOP) ++R.Top;
  if (Sides & BF_RIGHT) --R.Right;
  if (Sides & BF_BOTTOM) --R.Bottom;
}

// Pixel rows of a glyph: Fn(row offset) -> (first column, last column + 1) pairs.
void Span(TDCObj* DC, HDC Handle, Integer X0, Integer X1, Integer Y, COLORREF C) {
  SolidRect(DC, Handle, X0, Y, X1, Y + 1, C);
}

void Triangle(TDCObj* DC, HDC Handle, const TRect& R, Integer Dir, COLORREF C) {
  // Dir: 0 right, 1 left, 2 up, 3 down. k rows/columns, the tip in the centre.
  const Integer w = R.Width(), h = R.Height();
  const Integer k = std::max(2, std::min(w, h) / 4 + 1);
  const Integer cx = R.Left + w / 2, cy = R.Top + h / 2;
  for (Integer i = 0; i < k; ++i) {
    const Integer half = k - 1 - i;
    switch (Dir) {
      case 0: SolidRect(DC, Handle, cx - k / 2 + i, cy - half, cx - k / 2 + i + 1, cy + half + 1, C); break;
      case 1: SolidRect(DC, Handle, cx + k / 2 - i, cy - half, cx + k / 2 - i + 1, cy + half + 1, C); break;
      case 2: Span(DC, Handle, cx - half, cx + half + 1, cy - k / 2 + i, C); break;
      default: Span(DC, Handle, cx - half, cx + half + 1, cy + k / 2 - i, C); break;
    }
  }
}

void Line2(TDCObj* DC, HDC Handle, Integer X0, Integer Y0, Integer X1, Integer Y1, COLORREF C) {
  // A two-pixel-thick line by steps of one pixel (glyph strokes).
  const Integer n = std::max(std::abs(X1 - X0), std::abs(Y1 - Y0));
  for (Integer i = 0; i <= n; ++i) {
    const Integer x = X0 + (n ? (X1 - X0) * i / n : 0), y = Y0 + (n ? (Y1 - Y0) * i / n : 0);
    SolidRect(DC, Handle, x, y, x + 2, y + 1, C);
  }
}

void Check(TDCObj* DC, HDC Handle, const TRect& R, COLORREF C) {
  const Integer s = std::max(6, std::min(R.Width(), R.Height()) / 2);
  const Integer cx = R.Left + R.Width() / 2, cy = R.Top + R.Height() / 2;
  const Integer x0 = cx - s / 2, y0 = cy;
  const Integer x1 = x0 + s / 3, y1 = y0 + s / 3;
  const Integer x2 = x0 + s, y2 = y1 - (s - s / 3);
  for (Integer t = 0; t < 2; ++t) {
    Line2(DC, Handle, x0, y0 + t, x1, y1 + t, C);
    Line2(DC, Handle, x1, y1 + t, x2, y2 + t, C);
  }
}

void Dot(TDCObj* DC, HDC Handle, const TRect& R, COLORREF C) {
  const Integer d = std::max(3, std::min(R.Width(), R.Height()) / 3);
  const double r = d / 2.0;
  const double cx = R.Left + R.Width() / 2.0, cy = R.Top + R.Height() / 2.0;
  for (Integer y = 0; y < d; ++y) {
    const double yc = y + 0.5 - r;
    const double half = std::sqrt(std::max(0.0, r * r - yc * yc));
    const Integer a = static_cast<Integer>(std::ceil(cx - half - 0.5)), b = static_cast<Integer>(std::ceil(cx + half - 0.5));
    Span(DC, Handle, a, b, static_cast<Integer>(std::floor(cy - r)) + y, C);
  }
}

void CaptionGlyph(TDCObj* DC, HDC Handle, const TRect& R, UINT Kind, COLORREF C) {
  const Integer w = R.Width(), h = R.Height();
  const Integer s = std::max(4, std::min(w, h) - 6);
  const Integer x0 = R.Left + (w - s) / 2, y0 = R.Top + (h - s) / 2;
  switch (Kind) {
    case DFCS_CAPTIONCLOSE:
      for (Integer i = 0; i < s; ++i) {
        SolidRect(DC, Handle, x0 + i, y0 + i, x0 + i + 2, y0 + i + 1, C);
        SolidRect(DC, Handle, x0 + s - 2 - i, y0 + i, x0 + s - i, y0 + i + 1, C);
      }
      break;
    case DFCS_CAPTIONMIN: SolidRect(DC, Handle, x0, y0 + s - 2, x0 + s - 2, y0 + s, C); break;
    case DFCS_CAPTIONMAX: {
      TRect b(x0, y0, x0 + s, y0 + s);
      SolidRect(DC, Handle, b.Left, b.Top, b.Right, b.Top + 2, C);
      Ring(DC, Handle, b, C, C, BF_RECT);
      break;
    }
    case DFCS_CAPTIONRESTORE: {
      const Integer q = s * 2 / 3;
      TRect back(x0 + s - q, y0, x0 + s, y0 + q);
      SolidRect(DC, Handle, back.Left, back.Top, back.Right, back.Top + 2, C);
      Ring(DC, Handle, back, C, C, BF_RECT);
      TRect front(x0, y0 + s - q, x0 + q, y0 + s);
      SolidRect(DC, Handle, front.Left, front.Top, front.Right, front.Bottom, GetSysColor(COLOR_BTNFACE));
      SolidRect(DC, Handle, front.Left, front.Top, front.Right, front.Top + 2, C);
      Ring(DC, Handle, front, C, C, BF_RECT);
      break;
    }
    case DFCS_CAPTIONHELP: {
      // A question mark: an arc of the top, a stem and a dot.
      const Integer cx = x0 + s / 2;
      SolidRect(DC, Handle, cx - s / 4, y0, cx + s / 4, y0 + 2, C);
      SolidRect(DC, Handle, cx + s / 4 - 1, y0, cx + s / 4 + 1, y0 + s / 3, C);
      SolidRect(DC, Handle, cx - 1, y0 + s / 3, cx + s / 4, y0 + s / 3 + 2, C);
      SolidRect(DC, Handle, cx - 1, y0 + s / 3, cx + 1, y0 + s - 4, C);
      SolidRect(DC, Handle, cx - 1, y0 + s - 2, cx + 1, y0 + s, C);
      break;
    }
  }
}

}  // namespace

Integer FillRect(HDC DC, const TRect* R, HBRUSH Brush) {
  TDCObj* dc = LookupDC(DC);
  auto b = LookupBrush(Brush);
  if (!dc || !R || !b) return 0;
  if (R->Right <= R->Left || R->Bottom <= R->Top) return 1;
  return PatBltWith(dc, DC, b, R->Left, R->Top, R->Right - R->Left, R->Bottom - R->Top, PATCOPY);
}

Integer FrameRect(HDC DC, const TRect* R, HBRUSH Brush) {
  TDCObj* dc = LookupDC(DC);
  auto b = LookupBrush(Brush);
  if (!dc || !R || !b) return 0;
  if (R->Right <= R->Left || R->Bottom <= R->Top) return 0;
  const Integer w = R->Right - R->Left, h = R->Bottom - R->Top;
  PatBltWith(dc, DC, b, R->Left, R->Top, w, 1, PATCOPY);
  if (h > 1) PatBltWith(dc, DC, b, R->Left, R->Bottom - 1, w, 1, PATCOPY);
  if (h > 2) {
    PatBltWith(dc, DC, b, R->Left, R->Top + 1, 1, h - 2, PATCOPY);
    if (w > 1) PatBltWith(dc, DC, b, R->Right - 1, R->Top + 1, 1, h - 2, PATCOPY);
  }
  return 1;
}

BOOL InvertRect(HDC DC, const TRect* R) {
  if (!R) return FALSE;
  return PatBlt(DC, R->Left, R->Top, R->Right - R->Left, R->Bottom - R->Top, DSTINVERT);
}

BOOL DrawFocusRect(HDC DC, const TRect* R) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !R) return FALSE;
  TTarget tg(dc);
  if (!tg.Valid()) return TRUE;
  const TRect d = MapRect(dc, R->Left, R->Top, R->Right, R->Bottom);
  if (IsRectEmpty(d)) return TRUE;
  // Every other pixel of a one-pixel frame, inverted: drawing it twice restores.
  std::vector<TSpan> spans;
  auto dot = [&](Integer x, Integer y) {
    if (((x + y) & 1) == 0) spans.push_back(TSpan{y, x, x + 1});
  };
  const TRect box = tg.ClipBox();
  for (Integer x = std::max(d.Left, box.Left); x < std::min(d.Right, box.Right); ++x) {
    dot(x, d.Top);
    if (d.Bottom - 1 > d.Top) dot(x, d.Bottom - 1);
  }
  for (Integer y = std::max(d.Top + 1, box.Top); y < std::min(d.Bottom - 1, box.Bottom); ++y) {
    dot(d.Left, y);
    if (d.Right - 1 > d.Left) dot(d.Right - 1, y);
  }
  TPaintOp op;
  op.Rop2 = R2_NOT;
  PaintRegion(tg, TRegion::FromSpans(std::move(spans)), op);
  return TRUE;
}

BOOL DrawEdge(HDC DC, TRect* R, UINT Edge, UINT Flags) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !R) return FALSE;
  TRect r = *R;
  const UINT sides = Flags & BF_RECT;
  const UINT outer = Edge & BDR_OUTER, inner = Edge & BDR_INNER;
  COLORREF oUL = 0, oLR = 0, iUL = 0, iLR = 0;
  if (Flags & BF_MONO) {
    oUL = oLR = GetSysColor(COLOR_WINDOWFRAME);
    iUL = iLR = GetSysColor(COLOR_WINDOW);
  } else if (Flags & BF_FLAT) {
    oUL = oLR = GetSysColor(COLOR_BTNSHADOW);
    iUL = iLR = GetSysColor(COLOR_BTNFACE);
  } else {
    const bool soft = (Flags & BF_SOFT) != 0;
    if (outer == BDR_RAISEDOUTER) {
      oUL = GetSysColor(soft ? COLOR_BTNHIGHLIGHT : COLOR_3DLIGHT);
      oLR = GetSysColor(COLOR_3DDKSHADOW);
    } else if (outer == BDR_SUNKENOUTER) {
      oUL = GetSysColor(soft ? COLOR_3DDKSHADOW : COLOR_BTNSHADOW);
      oLR = GetSysColor(COLOR_BTNHIGHLIGHT);
    }
    if (inner == BDR_RAISEDINNER) {
      iUL = GetSysColor(soft ? COLOR_3DLIGHT : COLOR_BTNHIGHLIGHT);
      iLR = GetSysColor(COLOR_BTNSHADOW);
    } else if (inner == BDR_SUNKENINNER) {
      iUL = GetSysColor(soft ? COLOR_BTNSHADOW : COLOR_3DDKSHADOW);
      iLR = GetSysColor(COLOR_3DLIGHT);
    }
  }
  if (outer) Ring(dc, DC, r, oUL, oLR, sides);
  if (inner) Ring(dc, DC, r, iUL, iLR, sides);
  if (Flags & BF_MIDDLE)
    SolidRect(dc, DC, r.Left, r.Top, r.Right, r.Bottom, GetSysColor((Flags & BF_MONO) ? COLOR_WINDOW : COLOR_BTNFACE));
  if (Flags & BF_ADJUST) *R = r;
  return TRUE;
}

BOOL DrawFrameControl(HDC DC, TRect* R, UINT Type, UINT State) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || !R) return FALSE;
  const TRect r = *R;
  switch (Type) {
    case DFC_MENU:
    case DFC_POPUPMENU: {
      // A black glyph on white: a mask for MaskBlt or the mask raster operations.
      SolidRect(dc, DC, r.Left, r.Top, r.Right, r.Bottom, 0xFFFFFF);
      switch (State & 0xFF) {
        case DFCS_MENUARROW: Triangle(dc, DC, r, 0, 0); break;
        case DFCS_MENUARROWRIGHT: Triangle(dc, DC, r, 1, 0); break;
        case DFCS_MENUCHECK: Check(dc, DC, r, 0); break;
        case DFCS_MENUBULLET: Dot(dc, DC, r, 0); break;
        default: return FALSE;
      }
      return TRUE;
    }
    case DFC_CAPTION:
    case DFC_SCROLL:
    case DFC_BUTTON: {
      TRect face = r;
      const bool pushed = (State & DFCS_PUSHED) != 0;
      if (Type == DFC_BUTTON && (State & 0x1F) != DFCS_BUTTONPUSH) {
        // Check box: a sunken white square with a tick when checked.
        DrawEdge(DC, &face, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        SolidRect(dc, DC, face.Left, face.Top, face.Right, face.Bottom,
                  GetSysColor((State & DFCS_INACTIVE) ? COLOR_BTNFACE : COLOR_WINDOW));
        if (State & DFCS_CHECKED) Check(dc, DC, face, GetSysColor(COLOR_BTNTEXT));
        return TRUE;
      }
      if (State & DFCS_FLAT) {
        SolidRect(dc, DC, r.Left, r.Top, r.Right, r.Bottom, GetSysColor(COLOR_BTNFACE));
      } else {
        DrawEdge(DC, &face, pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
      }
      if (Type == DFC_BUTTON) return TRUE;
      TRect g = face;
      if (pushed) OffsetRect(g, 1, 1);
      const bool inactive = (State & DFCS_INACTIVE) != 0;
      auto glyph = [&](const TRect& at, COLORREF c) {
        if (Type == DFC_CAPTION) {
          CaptionGlyph(dc, DC, at, State & 0xFF, c);
        } else {
          static const Integer dirs[4] = {2, 3, 1, 0};  // up, down, left, right
          Triangle(dc, DC, at, dirs[std::min<UINT>(State & 0xFF, 3)], c);
        }
      };
      if (inactive) {
        TRect e = g;
        OffsetRect(e, 1, 1);
        glyph(e, GetSysColor(COLOR_BTNHIGHLIGHT));
        glyph(g, GetSysColor(COLOR_BTNSHADOW));
      } else {
        glyph(g, GetSysColor(COLOR_BTNTEXT));
      }
      return TRUE;
    }
  }
  return FALSE;
}
