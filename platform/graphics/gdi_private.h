// Internals of the GDI stand-in: the objects behind the handles, regions as
// bands of spans, the pixel painters and the per-call drawing target. Only the
// graphics module's own sources include this.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/graphics/gdi.h"
#include "platform/graphics/gdi_surface.h"

namespace gdi {

// ---------------------------------------------------------------- regions

struct TSpan {
  Integer Y, X0, X1;  // pixels X0 .. X1 - 1 of row Y
};

// Rows grouped into bands with equal spans; spans are sorted, disjoint and
// not touching. An empty region has no bands.
struct TBand {
  Integer Top = 0, Bottom = 0;
  std::vector<Integer> X;  // pairs: start, end (exclusive)
};

class TRegion {
 public:
  std::vector<TBand> Bands;

  static TRegion FromRect(const TRect& R);
  // Spans may overlap and come in any order.
  static TRegion FromSpans(std::vector<TSpan> Spans);
  static TRegion Combine(const TRegion& A, const TRegion& B, Integer Mode);

  bool Empty() const { return Bands.empty(); }
  TRect Box() const;
  Integer Kind() const;  // NULLREGION, SIMPLEREGION or COMPLEXREGION
  bool IsRect() const { return Bands.size() == 1 && Bands[0].X.size() == 2; }
  void Offset(Integer DX, Integer DY);
  bool Contains(Integer X, Integer Y) const;
  bool Intersects(const TRect& R) const;
  bool operator==(const TRegion& Other) const;
  // Calls F(y, x0, x1) for every span of the region inside rows Top..Bottom-1.
  template <class F>
  void ForEachSpan(F&& Fn) const {
    for (const TBand& b : Bands)
      for (Integer y = b.Top; y < b.Bottom; ++y)
        for (size_t i = 0; i + 1 < b.X.size(); i += 2) Fn(y, b.X[i], b.X[i + 1]);
  }
};

// ---------------------------------------------------------------- objects

struct TObj {
  explicit TObj(UINT AType) : Type(AType) {}
  virtual ~TObj() = default;
  UINT Type;           // OBJ_*
  bool Stock = false;  // stock objects are never deleted
};

struct TBitmapObj : TObj {
  TBitmapObj() : TObj(OBJ_BITMAP) {}
  Integer Width = 0, Height = 0, BitCount = 1;
  bool IsDIB = false;    // DIB section (else a device-dependent bitmap)
  bool TopDown = false;  // memory order; DIB sections with positive height are bottom-up
  ptrdiff_t RowBytes = 0;
  uint8_t* Bits = nullptr;  // lowest address of the pixel block
  std::unique_ptr<uint8_t[]> Owned;
  std::vector<RGBQUAD> Colors;  // colour table for up to 8 bits
  uint32_t Masks[3] = {0, 0, 0};
  DWORD Compression = BI_RGB;
  std::atomic<Integer> SelectCount{0};
  TGdiPixels Pixels();
  // Allocates zeroed pixels; false when the size is unreasonable or memory short.
  bool Allocate(Integer AWidth, Integer AHeight, Integer ABitCount, bool ATopDown);
};

struct TPenObj : TObj {
  TPenObj() : TObj(OBJ_PEN) {}
  DWORD Style = PS_SOLID;  // full style incl. type, end cap and join bits
  Integer Width = 1;
  COLORREF Color = 0;
  std::vector<DWORD> UserStyle;
  UINT BrushStyle = BS_SOLID;
  DWORD Kind() const { return Style & PS_STYLE_MASK; }
  bool Geometric() const { return (Style & PS_TYPE_MASK) == PS_GEOMETRIC; }
};

struct TBrushObj : TObj {
  TBrushObj() : TObj(OBJ_BRUSH) {}
  UINT Style = BS_SOLID;
  COLORREF Color = 0;
  Integer Hatch = 0;
  std::shared_ptr<TBitmapObj> Pattern;  // own copy for pattern brushes
};

struct TFontImpl;  // the realised face (gdi_text.cpp)
struct TFontObj : TObj {
  TFontObj() : TObj(OBJ_FONT) {}
  LOGFONTW Lf;
  std::once_flag Once;
  std::shared_ptr<TFontImpl> Impl;
};

struct TPaletteObj : TObj {
  TPaletteObj() : TObj(OBJ_PAL) {}
  std::vector<PALETTEENTRY> Entries;
  // A bitmap's palette writes its entries through to the bitmap's colour table.
  std::weak_ptr<TBitmapObj> Linked;
};

struct TRgnObj : TObj {
  TRgnObj() : TObj(OBJ_REGION) {}
  TRegion R;
};

struct TDCState {
  std::shared_ptr<TPenObj> Pen;
  std::shared_ptr<TBrushObj> Brush;
  std::shared_ptr<TFontObj> Font;
  std::shared_ptr<TPaletteObj> Palette;
  std::shared_ptr<TBitmapObj> Bitmap;
  COLORREF TextColor = 0;
  COLORREF BkColor = 0xFFFFFF;
  Integer BkMode = OPAQUE;
  Integer Rop2 = R2_COPYPEN;
  Integer StretchMode = BLACKONWHITE;
  Integer PolyFillMode = ALTERNATE;
  UINT TextAlign = 0;
  Integer CharExtra = 0;
  Integer GraphicsMode = GM_COMPATIBLE;
  Integer ArcDirection = AD_COUNTERCLOCKWISE;
  TPoint WindowOrg, ViewportOrg, BrushOrg, CurPos;
  XFORM World;
  Integer StylePos = 0;  // position in the dash pattern of cosmetic styled pens
  bool HasClip = false;
  TRegion Clip;  // device coordinates
};

struct TDCObj : TObj {
  enum TKind { dkMemory, dkSurface, dkScreen };
  explicit TDCObj(TKind AKind) : TObj(AKind == dkMemory ? OBJ_MEMDC : OBJ_DC), Kind(AKind) {}
  ~TDCObj() override;
  TKind Kind;
  TGdiSurface* Surface = nullptr;
  TDCState S;
  std::vector<TDCState> Saved;
};

// Handle registry: every live object by its address.
HGDIOBJ Register(std::shared_ptr<TObj> Obj);
std::shared_ptr<TObj> Lookup(const void* Handle);
bool Unregister(const void* Handle);
template <class T>
std::shared_ptr<T> LookupAs(const void* Handle, UINT Type) {
  auto o = Lookup(Handle);
  if (!o || o->Type != Type) return nullptr;
  return std::static_pointer_cast<T>(o);
}
TDCObj* LookupDC(HDC DC);  // the DC stays alive while its handle is not deleted
std::shared_ptr<TBrushObj> LookupBrush(HBRUSH Brush);  // also accepts (HBRUSH)(COLOR_x + 1)
std::shared_ptr<TBitmapObj> DefaultBitmap();           // the 1 x 1 monochrome bitmap of new memory DCs
std::shared_ptr<TPaletteObj> DefaultPalette();
void ResetDCState(TDCObj* DC);

// ---------------------------------------------------------------- coordinates

// Logical -> device mapping of a DC: world transform, then the window and
// viewport origins.
struct TXform {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;  // x' = A x + C y + E, y' = B x + D y + F
  bool AxisAligned() const { return B == 0 && C == 0; }
  void Map(double X, double Y, double& OX, double& OY) const {
    OX = A * X + C * Y + E;
    OY = B * X + D * Y + F;
  }
};
TXform DeviceXform(const TDCObj* DC);
TPoint MapPoint(const TDCObj* DC, Integer X, Integer Y);
// Maps the pixel range [L, R) x [T, B) (corners in any order) to device pixels,
// keeping every logical pixel one device pixel under flips.
TRect MapRect(const TDCObj* DC, Integer L, Integer T, Integer R, Integer B);

// ---------------------------------------------------------------- drawing target

// Locks the DC's pixels for one call and works out the effective clip.
class TTarget {
 public:
  explicit TTarget(TDCObj* DC);
  ~TTarget();
  TTarget(const TTarget&) = delete;
  TTarget& operator=(const TTarget&) = delete;
  bool Valid() const { return FLocked && Px.Width > 0 && Px.Height > 0 && !ClipEmpty(); }
  bool ClipEmpty() const { return ClipIsRect ? IsRectEmpty(ClipRect) : Clip.Empty(); }
  TRect ClipBox() const { return ClipIsRect ? ClipRect : Clip.Box(); }
  void Touch(const TRect& R);
  // Calls Fn(y, x0, x1) for the parts of the span inside the clip.
  template <class F>
  void ClipSpan(Integer Y, Integer X0, Integer X1, F&& Fn) const;

  TDCObj* DC;
  TGdiPixels Px;
  bool ClipIsRect = true;
  TRect ClipRect;
  TRegion Clip;

 private:
  bool FLocked = false;
  TRect FChanged;
};

template <class F>
void TTarget::ClipSpan(Integer Y, Integer X0, Integer X1, F&& Fn) const {
  if (ClipIsRect) {
    if (Y < ClipRect.Top || Y >= ClipRect.Bottom) return;
    Integer a = X0 > ClipRect.Left ? X0 : ClipRect.Left;
    Integer b = X1 < ClipRect.Right ? X1 : ClipRect.Right;
    if (a < b) Fn(Y, a, b);
    return;
  }
  for (const TBand& band : Clip.Bands) {
    if (Y < band.Top) return;
    if (Y >= band.Bottom) continue;
    for (size_t i = 0; i + 1 < band.X.size(); i += 2) {
      Integer a = X0 > band.X[i] ? X0 : band.X[i];
      Integer b = X1 < band.X[i + 1] ? X1 : band.X[i + 1];
      if (a < b) Fn(Y, a, b);
    }
    return;
  }
}

// ---------------------------------------------------------------- pixels

// Pixel value in the target's layout for a colour (palette index flags honoured).
uint32_t ColorToPixel(const TGdiPixels& Px, COLORREF Color, const TDCObj* DC);
// The sample under Mask widened to 8 bits: narrow fields repeat their top
// bits below themselves, so that a full field reads 255 and an empty one 0;
// wide fields keep their top 8 bits.
Byte MaskedSample(uint32_t Pixel, uint32_t Mask);
COLORREF PixelToColor(const TGdiPixels& Px, uint32_t Pixel);
uint32_t ReadPixel(const TGdiPixels& Px, Integer X, Integer Y);
void WritePixel(const TGdiPixels& Px, Integer X, Integer Y, uint32_t Value);
// Mask of the bits a pixel value of this layout uses.
uint32_t PixelMask(Integer BitCount);
// Nearest colour-table index (exact matches first).
uint32_t NearestIndex(const RGBQUAD* Colors, Integer Count, COLORREF Color);

inline uint32_t Rop2(Integer Code, uint32_t P, uint32_t D) {
  switch (Code) {
    case R2_BLACK: return 0;
    case R2_NOTMERGEPEN: return ~(P | D);
    case R2_MASKNOTPEN: return ~P & D;
    case R2_NOTCOPYPEN: return ~P;
    case R2_MASKPENNOT: return P & ~D;
    case R2_NOT: return ~D;
    case R2_XORPEN: return P ^ D;
    case R2_NOTMASKPEN: return ~(P & D);
    case R2_MASKPEN: return P & D;
    case R2_NOTXORPEN: return ~(P ^ D);
    case R2_NOP: return D;
    case R2_MERGENOTPEN: return ~P | D;
    case R2_COPYPEN: return P;
    case R2_MERGEPENNOT: return P | ~D;
    case R2_MERGEPEN: return P | D;
    case R2_WHITE: return 0xFFFFFFFFu;
  }
  return D;
}

// Bitwise ternary raster operation from the truth-table byte of a ROP code.
inline uint32_t Rop3(uint8_t T, uint32_t P, uint32_t S, uint32_t D) {
  uint32_t r = 0;
  if (T & 0x01) r |= ~P & ~S & ~D;
  if (T & 0x02) r |= ~P & ~S & D;
  if (T & 0x04) r |= ~P & S & ~D;
  if (T & 0x08) r |= ~P & S & D;
  if (T & 0x10) r |= P & ~S & ~D;
  if (T & 0x20) r |= P & ~S & D;
  if (T & 0x40) r |= P & S & ~D;
  if (T & 0x80) r |= P & S & D;
  return r;
}
inline bool RopUsesSource(uint8_t T) { return ((T >> 2) & 0x33) != (T & 0x33); }
inline bool RopUsesPattern(uint8_t T) { return ((T >> 4) & 0x0F) != (T & 0x0F); }
inline bool RopUsesDest(uint8_t T) { return ((T >> 1) & 0x55) != (T & 0x55); }

// A brush pattern resolved for one target: pixel values and cells left alone.
struct TPattern {
  Integer W = 0, H = 0;
  std::vector<uint32_t> Pix;
  std::vector<uint8_t> Skip;
  bool AnySkip = false;
};

struct TPaintOp {
  Integer Rop2 = R2_COPYPEN;
  uint32_t Fg = 0;
  const TPattern* Pat = nullptr;
  Integer OrgX = 0, OrgY = 0;  // device position of the pattern's first cell
};

// The 8 x 8 hatch patterns, row 0 at the top, bit 0x80 the leftmost pixel.
extern const uint8_t HatchBits[6][8];

void PaintSpan(const TGdiPixels& Px, Integer Y, Integer X0, Integer X1, const TPaintOp& Op);
// Paints the region (device coordinates) clipped by the target.
void PaintRegion(TTarget& Tg, const TRegion& R, const TPaintOp& Op);
// The paint operation of the DC's brush (or Brush); false for a hollow brush.
bool BrushOp(TTarget& Tg, const TBrushObj* Brush, TPaintOp& Op, TPattern& Storage);
// Blends Color into the target through a coverage mask (text, smoothing):
// Alpha holds Width x Height bytes for the device rectangle at (X, Y).
void BlendMask(TTarget& Tg, Integer X, Integer Y, Integer Width, Integer Height, const uint8_t* Alpha,
               COLORREF Color);

// ---------------------------------------------------------------- shapes

struct TPointD {
  double X = 0, Y = 0;
};
using TPolyD = std::vector<TPointD>;
// Pixels whose centres lie inside the polygons (alternate or winding rule),
// limited to the rows and columns of Limit.
std::vector<TSpan> FillPolygons(const std::vector<TPolyD>& Polys, bool Winding, const TRect& Limit);
// The pixels of a cosmetic line from (X0, Y0) to (X1, Y1) without its end
// point: Fn(x, y, step) for every step whose pixel lies inside Box.
template <class F>
void LineWalk(Integer X0, Integer Y0, Integer X1, Integer Y1, const TRect& Box, F&& Fn);

}  // namespace gdi

template <class F>
void gdi::LineWalk(Integer X0, Integer Y0, Integer X1, Integer Y1, const TRect& Box, F&& Fn) {
  const int64_t dx = static_cast<int64_t>(X1) - X0, dy = static_cast<int64_t>(Y1) - Y0;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const bool xmajor = adx >= ady;
  const int64_t n = xmajor ? adx : ady;
  if (n == 0 || IsRectEmpty(Box)) return;
  const int64_t sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
  const int64_t maj0 = xmajor ? X0 : Y0, smaj = xmajor ? sx : sy;
  const int64_t lo = xmajor ? Box.Left : Box.Top, hi = (xmajor ? Box.Right : Box.Bottom) - 1;
  // Steps whose major coordinate lies inside the box; the minor one is tested per pixel.
  int64_t i0 = smaj > 0 ? lo - maj0 : maj0 - hi;
  int64_t i1 = smaj > 0 ? hi - maj0 : maj0 - lo;
  if (i0 < 0) i0 = 0;
  if (i1 > n - 1) i1 = n - 1;
  const int64_t minor = xmajor ? ady : adx;
  // Minor coordinate of step i: round(i x minor / major), halves away from the start.
  for (int64_t i = i0; i <= i1; ++i) {
    const int64_t m = (2 * i * minor + n) / (2 * n);
    const int64_t x = xmajor ? X0 + sx * i : X0 + sx * m;
    const int64_t y = xmajor ? Y0 + sy * m : Y0 + sy * i;
    if (x < Box.Left || x >= Box.Right || y < Box.Top || y >= Box.Bottom) continue;
    Fn(static_cast<Integer>(x), static_cast<Integer>(y), i);
  }
}
