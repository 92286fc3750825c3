// Background styles of the views: everything is drawn through the canvas
// except the solid fills and the solid chessboard on a 24-bit target, which
// are written straight into the rows because they are repainted on every
// zoom and scroll.
#include "imaging/view/iebackground.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/render/ieshadow.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"
#include "platform/graphics/gdi.h"
#include "platform/ui/messages.h"
#include "platform/ui/winuser.h"

namespace {

// Surround of the photo-like style.
constexpr TColor kPhotoSurround = 0xB0B0B0;
// Colour of the grid lines over a selection.
constexpr TColor kGridColor = 0xA0A0A0;

// The second chessboard colour. Taken as a plain RGB value: the raw
// complement of a plain colour would carry the system-colour flag and
// resolve to some unrelated system colour (black to black, hiding the board).
TColor Complement(TColor Color) { return static_cast<TColor>(~static_cast<Cardinal>(Color) & 0x00FFFFFFu); }

// Puts the canvas's drawing tools back when the painter is done, so the
// caller's later drawing is not coloured by the background's.
class TToolsKeeper {
 public:
  explicit TToolsKeeper(TCanvas* Canvas) : FCanvas(Canvas) {
    FPen.Assign(Canvas->Pen());
    FBrush.Assign(Canvas->Brush());
    FFont.Assign(Canvas->Font());
  }
  ~TToolsKeeper() {
    FCanvas->Pen()->Assign(&FPen);
    FCanvas->Brush()->Assign(&FBrush);
    FCanvas->Font()->Assign(&FFont);
  }
  TToolsKeeper(const TToolsKeeper&) = delete;
  TToolsKeeper& operator=(const TToolsKeeper&) = delete;

 private:
  TCanvas* FCanvas;
  TPen FPen;
  TBrush FBrush;
  TFont FFont;
};

void SetBrush(TCanvas* Canvas, TColor Color, TBrushStyle Style) {
  TBrush* b = Canvas->Brush();
  b->SetBitmap(nullptr);
  b->SetColor(Color);
  b->SetStyle(Style);
}

// Whether Canvas draws straight onto the rows of Bitmap (24 bits): the
// bitmap's own canvas with no clip region, no origin shift and no world
// transform, so that a fill written into the rows covers exactly the pixels
// the canvas would.
bool DrawsStraightOnto(TCanvas* Canvas, TBitmap* Bitmap) {
  if (!Canvas || !Bitmap || Bitmap->PixelFormat() != pf24bit || Canvas != Bitmap->Canvas()) return false;
  if (Bitmap->Width() <= 0 || Bitmap->Height() <= 0) return false;
  HDC dc = Canvas->Handle();
  if (!dc) return false;
  HRGN rgn = CreateRectRgn(0, 0, 0, 0);
  const bool clipped = GetClipRgn(dc, rgn) != 0;
  DeleteObject(rgn);
  if (clipped) return false;
  TPoint wo, vo;
  if (!GetWindowOrgEx(dc, &wo) || !GetViewportOrgEx(dc, &vo) || wo.X != vo.X || wo.Y != vo.Y) return false;
  if (GetGraphicsMode(dc) == GM_ADVANCED) {
    XFORM x;
    if (!GetWorldTransform(dc, &x) || x.eM11 != 1 || x.eM12 != 0 || x.eM21 != 0 || x.eM22 != 1 || x.eDx != 0 ||
        x.eDy != 0)
      return false;
  }
  return true;
}

// A solid fill written into the rows of a 24-bit bitmap: one prepared row of
// blue, green, red triples copied into every row. This is the background of
// every full repaint of a view, so it bypasses the canvas. False when the
// fill must go through the canvas.
bool FillSolidRows(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, const TRect& R) {
  if (R.Right <= R.Left || R.Bottom <= R.Top) return false;  // the canvas's rules for reversed corners
  const auto rgb = static_cast<Cardinal>(ColorToRGB(Color));
  if ((rgb >> 24) != 0) return false;  // palette-relative colours resolve in the device context
  if (!DrawsStraightOnto(Canvas, Bitmap)) return false;
  const Integer x0 = std::max(R.Left, 0), x1 = std::min(R.Right, Bitmap->Width());
  const Integer y0 = std::max(R.Top, 0), y1 = std::min(R.Bottom, Bitmap->Height());
  if (x0 >= x1 || y0 >= y1) return true;
  const TRGB c = IEColorToRGB(Color);
  const size_t n = size_t(x1 - x0);
  std::vector<TRGB> row(n, c);
  auto* r0 = static_cast<Byte*>(Bitmap->ScanLine(0));
  const ptrdiff_t stride = Bitmap->Height() > 1 ? static_cast<Byte*>(Bitmap->ScanLine(1)) - r0 : ptrdiff_t(0);
  Byte* dst = r0 + stride * y0 + ptrdiff_t(3) * x0;
  for (Integer y = y0; y < y1; ++y, dst += stride) std::memcpy(dst, row.data(), n * sizeof(TRGB));
  return true;
}

// Bitmap, when given, is the target the canvas may draw on.
void FillSolid(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, const TRect& R) {
  if (Bitmap && FillSolidRows(Canvas, Bitmap, Color, R)) return;
  SetBrush(Canvas, Color, bsSolid);
  Canvas->FillRect(R);
}

// Hatch lines in Color over white: a hatched brush only paints its lines.
void FillHatched(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, TBrushStyle Style, const TRect& R) {
  FillSolid(Canvas, Bitmap, clWhite, R);
  SetBrush(Canvas, Color, Style);
  Canvas->FillRect(R);
}

// Index of the square holding offset I: the first square is S + 1 wide,
// the others S.
inline int64_t SquareOf(int64_t I, int64_t S) { return I <= S ? 0 : 1 + (I - S - 1) / S; }

// The solid chessboard written into a 24-bit bitmap: colour A (Color) in the
// top-left square. Only the part of the area inside the bitmap is written.
void ChessboardRows(TBitmap* Bitmap, TColor Color, Integer Left, Integer Top, Integer Width, Integer Height,
                    Integer S) {
  const TRGB a = IEColorToRGB(Color), b = IEColorToRGB(Complement(Color));
  const int64_t x0 = std::max<int64_t>(Left, 0), x1 = std::min<int64_t>(int64_t(Left) + Width, Bitmap->Width());
  const int64_t y0 = std::max<int64_t>(Top, 0), y1 = std::min<int64_t>(int64_t(Top) + Height, Bitmap->Height());
  if (x0 >= x1 || y0 >= y1) return;
  const size_t n = size_t(x1 - x0);
  // The two row patterns (starting with A or with B), built once.
  std::vector<TRGB> rows[2] = {std::vector<TRGB>(n), std::vector<TRGB>(n)};
  for (int64_t x = x0; x < x1; ++x) {
    const bool odd = (SquareOf(x - Left, S) & 1) != 0;
    rows[0][size_t(x - x0)] = odd ? b : a;
    rows[1][size_t(x - x0)] = odd ? a : b;
  }
  for (int64_t y = y0; y < y1; ++y) {
    const std::vector<TRGB>& src = rows[SquareOf(y - Top, S) & 1];
    auto* dst = static_cast<Byte*>(Bitmap->ScanLine(Integer(y))) + 3 * x0;
    std::memcpy(dst, src.data(), n * sizeof(TRGB));
  }
}

// The chessboard through the canvas: S x S tiles from the area's top-left,
// the first in the complement. The area is filled with the complement first,
// so a hatched brush shows defined pixels between its lines and only the
// tiles of the other colour need drawing.
void ChessboardTiles(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, TBrushStyle Style, Integer Left, Integer Top,
                     Integer Width, Integer Height, Integer S) {
  const int64_t right = int64_t(Left) + Width, bottom = int64_t(Top) + Height;
  if (Width <= 0 || Height <= 0) return;
  FillSolid(Canvas, Bitmap, Complement(Color), TRect(Left, Top, Integer(right), Integer(bottom)));
  if (Style == bsClear) return;
  SetBrush(Canvas, Color, Style);
  int64_t row = 0;
  for (int64_t y = Top; y < bottom; y += S, ++row) {
    const int64_t yb = std::min(y + S, bottom);
    for (int64_t x = Left + ((row & 1) ? 0 : S); x < right; x += 2 * int64_t(S)) {
      Canvas->FillRect(TRect(Integer(x), Integer(y), Integer(std::min(x + S, right)), Integer(yb)));
    }
  }
}

void Chessboard(TCanvas* Canvas, TBitmap* Bitmap, TColor Color, Integer Left, Integer Top, Integer Width,
                Integer Height, Integer S, TBrushStyle Style) {
  if (Bitmap && Bitmap->PixelFormat() == pf24bit && Style == bsSolid)
    ChessboardRows(Bitmap, Color, Left, Top, Width, Height, S);
  else
    ChessboardTiles(Canvas, Bitmap, Color, Style, Left, Top, Width, Height, S);
}

void DrawWallPaper(TCanvas* Canvas, TPicture* WallPaper, TIEWallPaperStyle Style, Integer Width, Integer Height) {
  if (!WallPaper) return;
  TGraphic* g = WallPaper->Graphic();
  if (!g || g->Empty()) return;
  switch (Style) {
    case iewoNormal: Canvas->Draw(0, 0, g); break;
    case iewoStretch: Canvas->StretchDraw(TRect(0, 0, Width, Height), g); break;
    case iewoTile: {
      const Integer w = g->Width(), h = g->Height();
      if (w <= 0 || h <= 0) break;
      for (int64_t y = 0; y < Height; y += h)
        for (int64_t x = 0; x < Width; x += w) Canvas->Draw(Integer(x), Integer(y), g);
      break;
    }
  }
}

}  // namespace

void IEDrawBackground(const TComponentState& State, TCanvas* Canvas, TBitmap* Bitmap, TIEBackgroundStyle Style,
                      TColor Color, Integer Left, Integer Top, Integer Width, Integer Height, Integer ImgX1,
                      Integer ImgY1, Integer ImgX2, Integer ImgY2, Integer ChessboardSize,
                      TBrushStyle ChessboardBrushStyle, TColor GradientEndColor, TPicture* WallPaper,
                      TIEWallPaperStyle WallPaperStyle) {
  if (!Canvas && Bitmap) Canvas = Bitmap->Canvas();
  if (!Canvas) return;
  TToolsKeeper keep(Canvas);
  const bool designing = State.Contains(csDesigning);
  const Integer s = std::max<Integer>(ChessboardSize, 1);
  const TRect area(Left, Top, Integer(int64_t(Left) + Width), Integer(int64_t(Top) + Height));
  const bool imageAtLeast2x2 = ImgX2 - ImgX1 >= 2 && ImgY2 - ImgY1 >= 2;
  Integer wallWidth = Width, wallHeight = Height;

  switch (Style) {
    case iebsSolid: FillSolid(Canvas, Bitmap, Color, area); break;
    case iebsHorizontal: FillHatched(Canvas, Bitmap, Color, bsHorizontal, area); break;
    case iebsVertical: FillHatched(Canvas, Bitmap, Color, bsVertical, area); break;
    case iebsFDiagonal: FillHatched(Canvas, Bitmap, Color, bsFDiagonal, area); break;
    case iebsBDiagonal: FillHatched(Canvas, Bitmap, Color, bsBDiagonal, area); break;
    case iebsCross: FillHatched(Canvas, Bitmap, Color, bsCross, area); break;
    case iebsDiagCross: FillHatched(Canvas, Bitmap, Color, bsDiagCross, area); break;
    case iebsChessboard:
      Chessboard(Canvas, Bitmap, Color, Left, Top, Width, Height, s, ChessboardBrushStyle);
      break;
    case iebsDiagonals: {
      FillSolid(Canvas, Bitmap, Color, area);
      TPen* p = Canvas->Pen();
      p->SetColor(Complement(Color));
      p->SetStyle(psSolid);
      p->SetMode(pmCopy);
      p->SetWidth(1);
      Canvas->MoveTo(area.Left, area.Top);
      Canvas->LineTo(area.Right, area.Bottom);
      Canvas->MoveTo(area.Right, area.Top);
      Canvas->LineTo(area.Left, area.Bottom);
      break;
    }
    case iebsCropped:
      if (designing) {
        FillSolid(Canvas, Bitmap, Color, area);
        break;
      }
      FillSolid(Canvas, Bitmap, clBtnFace, area);
      if (imageAtLeast2x2) {
        const Integer ex = GetSystemMetrics(SM_CXEDGE), ey = GetSystemMetrics(SM_CYEDGE);
        TRect r(ImgX1 - ex, ImgY1 - ey, ImgX2 + ex, ImgY2 + ey);
        DrawEdge(Canvas->Handle(), &r, EDGE_SUNKEN, BF_RECT);
      }
      break;
    case iebsCropShadow:
      FillSolid(Canvas, Bitmap, Color, area);
      if (!designing && imageAtLeast2x2) {
        IEDrawVertShadow(Canvas, Bitmap, ImgX2, ImgY1, ImgX2 + 4, ImgY2 + 3);
        IEDrawHorizShadow(Canvas, Bitmap, ImgX1, ImgY2, ImgX2 + 4, ImgY2 + 4);
      }
      break;
    case iebsGradient: {
      if (Width <= 0 || Height <= 0) break;
      const TRGB c1 = IEColorToRGB(Color), c2 = IEColorToRGB(GradientEndColor);
      TRIVERTEX v[2];
      v[0].x = area.Left;
      v[0].y = area.Top;
      v[0].Red = Word(c1.r << 8);
      v[0].Green = Word(c1.g << 8);
      v[0].Blue = Word(c1.b << 8);
      v[1].x = area.Right;
      v[1].y = area.Bottom;
      v[1].Red = Word(c2.r << 8);
      v[1].Green = Word(c2.g << 8);
      v[1].Blue = Word(c2.b << 8);
      GRADIENT_RECT mesh{0, 1};
      GradientFill(Canvas->Handle(), v, 2, &mesh, 1, GRADIENT_FILL_RECT_V);
      break;
    }
    case iebsSoftShadow:
      if (designing) {
        FillSolid(Canvas, Bitmap, Color, area);
      } else if (Bitmap) {
        FillSolid(Canvas, Bitmap, Color, area);
        if (imageAtLeast2x2) IEDrawSoftShadow(Bitmap, ImgX1, ImgY1, ImgX2, ImgY2);
      }
      break;
    case iebsPhotoLike:
      FillSolid(Canvas, Bitmap, kPhotoSurround, area);
      wallWidth = ImgX2 - ImgX1;
      wallHeight = ImgY2 - ImgY1;
      // Without a picture there is nothing to frame (a frame around the empty
      // rectangle would leave a stray dot at its corner).
      if (ImgX2 > ImgX1 && ImgY2 > ImgY1) {
        TPen* p = Canvas->Pen();
        p->SetColor(clBlack);
        p->SetStyle(psSolid);
        p->SetMode(pmCopy);
        p->SetWidth(1);
        SetBrush(Canvas, Color, bsClear);
        Canvas->Rectangle(ImgX1 - 1, ImgY1 - 1, ImgX2 + 1, ImgY2 + 1);
        Chessboard(Canvas, Bitmap, Color, ImgX1, ImgY1, ImgX2 - ImgX1, ImgY2 - ImgY1, s, ChessboardBrushStyle);
      }
      break;
  }

  DrawWallPaper(Canvas, WallPaper, WallPaperStyle, wallWidth, wallHeight);
}

WideString IEVersionText(const WideString& Version) {
  return u"ZiduzUv Version " + Version + u" - " + Utf8ToWide(std::to_string(26)) + u"/" +
         Utf8ToWide(std::to_string(9)) + u"/" + Utf8ToWide(std::to_string(2009));
}

void IEDrawVersionText(TCanvas* Canvas, Integer ViewWidth, Integer ViewHeight, const WideString& Version) {
  if (!Canvas) return;
  TToolsKeeper keep(Canvas);
  TFont* f = Canvas->Font();
  f->SetName(u"Arial");
  f->SetHeight(13);
  f->SetColor(clBlack);
  SetBrush(Canvas, clWhite, bsSolid);
  const WideString text = IEVersionText(Version);
  const TSize size = Canvas->TextExtent(text);
  Canvas->TextOut(ViewWidth - size.cx, ViewHeight - size.cy, text);
}

void IEDrawGrid(TCanvas* Canvas, Integer GridDivisions, Integer X1, Integer Y1, Integer X2, Integer Y2) {
  if (!Canvas || GridDivisions <= 1) return;
  IEOrderCoords(X1, Y1, X2, Y2);
  TToolsKeeper keep(Canvas);
  TPen* p = Canvas->Pen();
  p->SetColor(kGridColor);
  p->SetMode(pmCopy);
  p->SetStyle(psSolid);
  const int64_t w = int64_t(X2) - X1, h = int64_t(Y2) - Y1;
  for (Integer c = 1; c < GridDivisions; ++c) {
    const Integer y = Integer(Y1 + c * h / GridDivisions);
    Canvas->MoveTo(X1, y);
    Canvas->LineTo(X2, y);
    const Integer x = Integer(X1 + c * w / GridDivisions);
    Canvas->MoveTo(x, Y1);
    Canvas->LineTo(x, Y2);
  }
}
