// The handle registry and the drawing objects: pens, brushes, fonts,
// bitmaps, palettes and regions.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

#include "platform/base/strutils.h"
#include "platform/graphics/gdi_private.h"

namespace gdi {

namespace {

struct TRegistry {
  std::mutex Lock;
  std::unordered_map<const void*, std::shared_ptr<TObj>> Map;
};

TRegistry& Reg() {
  static TRegistry* r = new TRegistry;  // lives for the whole run, like the stock objects
  return *r;
}

// Largest pixel block a bitmap may take (bytes).
constexpr uint64_t kMaxBitmapBytes = uint64_t(1) << 34;

struct TStock {
  HGDIOBJ Obj[DC_PEN + 1] = {};
  HGDIOBJ SysBrush[SystemColorCount] = {};
  std::shared_ptr<TBitmapObj> DefBitmap;
  std::shared_ptr<TPaletteObj> DefPalette;
};

HGDIOBJ RegisterStock(std::shared_ptr<TObj> O) {
  O->Stock = true;
  return Register(std::move(O));
}

HGDIOBJ StockPen(DWORD Style, COLORREF Color) {
  auto p = std::make_shared<TPenObj>();
  p->Style = Style;
  p->Color = Color;
  return RegisterStock(p);
}

HGDIOBJ StockBrush(UINT Style, COLORREF Color) {
  auto b = std::make_shared<TBrushObj>();
  b->Style = Style;
  b->Color = Color;
  return RegisterStock(b);
}

HGDIOBJ StockFont(LONG Height, LONG Weight, const char16_t* Face) {
  auto f = std::make_shared<TFontObj>();
  f->Lf.lfHeight = Height;
  f->Lf.lfWeight = Weight;
  f->Lf.lfCharSet = DEFAULT_CHARSET;
  for (Integer i = 0; Face[i] && i < LF_FACESIZE - 1; ++i) f->Lf.lfFaceName[i] = Face[i];
  return RegisterStock(f);
}

const PALETTEENTRY kDefaultPalette[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

TStock& Stock() {
  static TStock* s = [] {
    auto* st = new TStock;
    st->Obj[WHITE_BRUSH] = StockBrush(BS_SOLID, 0xFFFFFF);
    st->Obj[LTGRAY_BRUSH] = StockBrush(BS_SOLID, 0xC0C0C0);
    st->Obj[GRAY_BRUSH] = StockBrush(BS_SOLID, 0x808080);
    st->Obj[DKGRAY_BRUSH] = StockBrush(BS_SOLID, 0x404040);
    st->Obj[BLACK_BRUSH] = StockBrush(BS_SOLID, 0);
    st->Obj[NULL_BRUSH] = StockBrush(BS_NULL, 0);
    st->Obj[WHITE_PEN] = StockPen(PS_SOLID, 0xFFFFFF);
    st->Obj[BLACK_PEN] = StockPen(PS_SOLID, 0);
    st->Obj[NULL_PEN] = StockPen(PS_NULL, 0);
    st->Obj[OEM_FIXED_FONT] = StockFont(12, FW_NORMAL, u"Courier New");
    st->Obj[ANSI_FIXED_FONT] = StockFont(12, FW_NORMAL, u"Courier New");
    st->Obj[ANSI_VAR_FONT] = StockFont(-11, FW_NORMAL, u"MS Sans Serif");
    st->Obj[SYSTEM_FONT] = StockFont(16, FW_BOLD, u"System");
    st->Obj[DEVICE_DEFAULT_FONT] = StockFont(16, FW_BOLD, u"System");
    st->Obj[SYSTEM_FIXED_FONT] = StockFont(15, FW_NORMAL, u"Courier New");
    st->Obj[DEFAULT_GUI_FONT] = StockFont(-11, FW_NORMAL, u"MS Shell Dlg");
    auto pal = std::make_shared<TPaletteObj>();
    pal->Entries.assign(kDefaultPalette, kDefaultPalette + 20);
    st->DefPalette = pal;
    st->Obj[DEFAULT_PALETTE] = RegisterStock(pal);
    auto bmp = std::make_shared<TBitmapObj>();
    bmp->Allocate(1, 1, 1, true);
    bmp->Colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
    st->DefBitmap = bmp;
    RegisterStock(bmp);
    return st;
  }();
  return *s;
}

template <class T>
HGDIOBJ Add(std::shared_ptr<T> O) {
  return Register(std::static_pointer_cast<TObj>(std::move(O)));
}

template <class D, class S>
void CopyFontFields(D& A, const S& W) {
  A.lfHeight = W.lfHeight;
  A.lfWidth = W.lfWidth;
  A.lfEscapement = W.lfEscapement;
  A.lfOrientation = W.lfOrientation;
  A.lfWeight = W.lfWeight;
  A.lfItalic = W.lfItalic;
  A.lfUnderline = W.lfUnderline;
  A.lfStrikeOut = W.lfStrikeOut;
  A.lfCharSet = W.lfCharSet;
  A.lfOutPrecision = W.lfOutPrecision;
  A.lfClipPrecision = W.lfClipPrecision;
  A.lfQuality = W.lfQuality;
  A.lfPitchAndFamily = W.lfPitchAndFamily;
}

void FontWToA(const LOGFONTW& W, LOGFONTA& A) {
  CopyFontFields(A, W);
  WideString face;
  for (Integer i = 0; i < LF_FACESIZE && W.lfFaceName[i]; ++i) face.push_back(W.lfFaceName[i]);
  AnsiString a = WideToAnsi(face);
  std::memset(A.lfFaceName, 0, sizeof(A.lfFaceName));
  std::memcpy(A.lfFaceName, a.data(), std::min<size_t>(a.size(), LF_FACESIZE - 1));
}

void FontAToW(const LOGFONTA& A, LOGFONTW& W) {
  CopyFontFields(W, A);
  AnsiString a;
  for (Integer i = 0; i < LF_FACESIZE && A.lfFaceName[i]; ++i) a.push_back(A.lfFaceName[i]);
  WideString w = AnsiToWide(a);
  std::memset(W.lfFaceName, 0, sizeof(W.lfFaceName));
  for (size_t i = 0; i < w.size() && i < LF_FACESIZE - 1; ++i) W.lfFaceName[i] = w[i];
}

Integer GetObjectImpl(HGDIOBJ Object, Integer Count, void* Buffer, bool Wide) {
  auto o = Lookup(Object);
  if (!o) return 0;
  auto put = [&](const void* rec, Integer size) -> Integer {
    if (!Buffer) return size;
    Integer n = std::min(Count, size);
    if (n <= 0) return 0;
    std::memcpy(Buffer, rec, static_cast<size_t>(n));
    return n;
  };
  switch (o->Type) {
    case OBJ_PEN: {
      auto* p = static_cast<TPenObj*>(o.get());
      if (p->Geometric() || !p->UserStyle.empty()) {
        // Pens from ExtCreatePen answer with an EXTLOGPEN, as on Windows.
        EXTLOGPEN e;
        e.elpPenStyle = p->Style;
        e.elpWidth = static_cast<DWORD>(p->Width);
        e.elpBrushStyle = p->BrushStyle;
        e.elpColor = p->Color;
        e.elpNumEntries = static_cast<DWORD>(p->UserStyle.size());
        return put(&e, sizeof(EXTLOGPEN));
      }
      LOGPEN lp;
      lp.lopnStyle = p->Style;
      lp.lopnWidth = TPoint(p->Width, 0);
      lp.lopnColor = p->Color;
      return put(&lp, sizeof(LOGPEN));
    }
    case OBJ_BRUSH: {
      auto* b = static_cast<TBrushObj*>(o.get());
      LOGBRUSH lb;
      lb.lbStyle = b->Style;
      lb.lbColor = b->Color;
      lb.lbHatch = static_cast<ULONG_PTR>(b->Hatch);
      return put(&lb, sizeof(LOGBRUSH));
    }
    case OBJ_FONT: {
      auto* f = static_cast<TFontObj*>(o.get());
      if (Wide) return put(&f->Lf, sizeof(LOGFONTW));
      LOGFONTA a;
      FontWToA(f->Lf, a);
      return put(&a, sizeof(LOGFONTA));
    }
    case OBJ_PAL: {
      auto* p = static_cast<TPaletteObj*>(o.get());
      WORD n = static_cast<WORD>(p->Entries.size());
      return put(&n, sizeof(WORD));
    }
    case OBJ_BITMAP: {
      auto* b = static_cast<TBitmapObj*>(o.get());
      DIBSECTION ds;
      ds.dsBm.bmWidth = b->Width;
      ds.dsBm.bmHeight = b->Height;
      ds.dsBm.bmWidthBytes = static_cast<LONG>(b->RowBytes);
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = static_cast<WORD>(b->BitCount);
      ds.dsBm.bmBits = b->IsDIB ? b->Bits : nullptr;
      if (b->IsDIB && (Count >= static_cast<Integer>(sizeof(DIBSECTION)) || !Buffer)) {
        ds.dsBmih.biWidth = b->Width;
        ds.dsBmih.biHeight = b->TopDown ? -b->Height : b->Height;
        ds.dsBmih.biBitCount = static_cast<WORD>(b->BitCount);
        ds.dsBmih.biCompression = b->Compression;
        ds.dsBmih.biSizeImage = static_cast<DWORD>(b->RowBytes * b->Height);
        ds.dsBmih.biClrUsed = static_cast<DWORD>(b->BitCount <= 8 ? b->Colors.size() : 0);
        std::memcpy(ds.dsBitfields, b->Masks, sizeof(ds.dsBitfields));
        return put(&ds, sizeof(DIBSECTION));
      }
      return put(&ds.dsBm, sizeof(BITMAP));
    }
  }
  return 0;
}

}  // namespace

HGDIOBJ Register(std::shared_ptr<TObj> Obj) {
  void* h = Obj.get();
  auto& r = Reg();
  std::lock_guard<std::mutex> g(r.Lock);
  r.Map[h] = std::move(Obj);
  return h;
}

std::shared_ptr<TObj> Lookup(const void* Handle) {
  if (!Handle) return nullptr;
  auto& r = Reg();
  std::lock_guard<std::mutex> g(r.Lock);
  auto it = r.Map.find(Handle);
  return it == r.Map.end() ? nullptr : it->second;
}

bool Unregister(const void* Handle) {
  std::shared_ptr<TObj> keep;  // destroyed outside the lock
  auto& r = Reg();
  std::lock_guard<std::mutex> g(r.Lock);
  auto it = r.Map.find(Handle);
  if (it == r.Map.end()) return false;
  keep = std::move(it->second);
  r.Map.erase(it);
  return true;
}

TDCObj* LookupDC(HDC DC) {
  auto o = Lookup(DC);
  if (!o || (o->Type != OBJ_DC && o->Type != OBJ_MEMDC)) return nullptr;
  return static_cast<TDCObj*>(o.get());
}

std::shared_ptr<TBrushObj> LookupBrush(HBRUSH Brush) {
  auto b = LookupAs<TBrushObj>(Brush, OBJ_BRUSH);
  if (b) return b;
  // The window manager accepts a system colour index + 1 in place of a brush.
  uintptr_t v = reinterpret_cast<uintptr_t>(Brush);
  if (v >= 1 && v <= static_cast<uintptr_t>(SystemColorCount))
    return LookupAs<TBrushObj>(GetSysColorBrush(static_cast<Integer>(v - 1)), OBJ_BRUSH);
  return nullptr;
}

std::shared_ptr<TBitmapObj> DefaultBitmap() { return Stock().DefBitmap; }
std::shared_ptr<TPaletteObj> DefaultPalette() { return Stock().DefPalette; }

void ResetDCState(TDCObj* DC) {
  TStock& st = Stock();
  DC->S = TDCState();
  DC->S.Pen = LookupAs<TPenObj>(st.Obj[BLACK_PEN], OBJ_PEN);
  DC->S.Brush = LookupAs<TBrushObj>(st.Obj[WHITE_BRUSH], OBJ_BRUSH);
  DC->S.Font = LookupAs<TFontObj>(st.Obj[SYSTEM_FONT], OBJ_FONT);
  DC->S.Palette = st.DefPalette;
  if (DC->Kind == TDCObj::dkMemory) {
    DC->S.Bitmap = st.DefBitmap;
    ++DC->S.Bitmap->SelectCount;
  }
}

TGdiPixels TBitmapObj::Pixels() {
  TGdiPixels p;
  p.Width = Width;
  p.Height = Height;
  p.BitCount = BitCount;
  if (!Bits || Width <= 0 || Height <= 0) return p;
  if (TopDown) {
    p.Row0 = Bits;
    p.Stride = RowBytes;
  } else {
    p.Row0 = Bits + RowBytes * (Height - 1);
    p.Stride = -RowBytes;
  }
  if (BitCount <= 8) {
    p.Colors = Colors.data();
    p.ColorCount = static_cast<Integer>(Colors.size());
  }
  if (BitCount == 16) {
    p.RedMask = Masks[0];
    p.GreenMask = Masks[1];
    p.BlueMask = Masks[2];
  }
  p.MonoDDB = BitCount == 1 && !IsDIB;
  return p;
}

bool TBitmapObj::Allocate(Integer AWidth, Integer AHeight, Integer ABitCount, bool ATopDown) {
  if (AWidth <= 0 || AHeight <= 0) return false;
  const uint64_t row = (static_cast<uint64_t>(AWidth) * static_cast<uint64_t>(ABitCount) + 31) / 32 * 4;
  const uint64_t total = row * static_cast<uint64_t>(AHeight);
  if (total > kMaxBitmapBytes || row > static_cast<uint64_t>(INT32_MAX)) return false;
  uint8_t* mem = new (std::nothrow) uint8_t[static_cast<size_t>(total)]();
  if (!mem) return false;
  Owned.reset(mem);
  Bits = mem;
  Width = AWidth;
  Height = AHeight;
  BitCount = ABitCount;
  RowBytes = static_cast<ptrdiff_t>(row);
  TopDown = ATopDown;
  return true;
}

}  // namespace gdi

using namespace gdi;

Integer GtGdiObjectCount() {
  auto& r = Reg();
  std::lock_guard<std::mutex> g(r.Lock);
  Integer n = 0;
  for (auto& kv : r.Map)
    if (!kv.second->Stock) ++n;
  return n;
}

HGDIOBJ GetStockObject(Integer Index) {
  if (Index < 0 || Index > DC_PEN) return nullptr;
  return Stock().Obj[Index];
}

HBRUSH GetSysColorBrush(Integer Index) {
  if (Index < 0 || Index >= SystemColorCount) return nullptr;
  TStock& st = Stock();
  static std::mutex m;
  std::lock_guard<std::mutex> g(m);
  if (!st.SysBrush[Index]) st.SysBrush[Index] = StockBrush(BS_SOLID, GetSysColor(Index));
  // Follow a changed system colour (GtSetSysColor).
  auto b = LookupAs<TBrushObj>(st.SysBrush[Index], OBJ_BRUSH);
  if (b) b->Color = GetSysColor(Index);
  return static_cast<HBRUSH>(st.SysBrush[Index]);
}

DWORD GetObjectType(HGDIOBJ Object) {
  auto o = Lookup(Object);
  if (!o) return 0;
  if (o->Type == OBJ_PEN && (static_cast<TPenObj*>(o.get())->Geometric() ||
                             !static_cast<TPenObj*>(o.get())->UserStyle.empty()))
    return OBJ_EXTPEN;
  return o->Type;
}

BOOL DeleteObject(HGDIOBJ Object) {
  auto o = Lookup(Object);
  if (!o) return FALSE;
  if (o->Stock) return TRUE;
  if (o->Type == OBJ_DC || o->Type == OBJ_MEMDC) return FALSE;
  // A bitmap selected into a DC cannot be deleted; pens, brushes and fonts
  // stay alive in the DCs that hold them until they are deselected.
  if (o->Type == OBJ_BITMAP && static_cast<TBitmapObj*>(o.get())->SelectCount > 0) return FALSE;
  return Unregister(Object) ? TRUE : FALSE;
}

Integer GetObjectA(HGDIOBJ Object, Integer Count, void* Buffer) { return GetObjectImpl(Object, Count, Buffer, false); }
Integer GetObjectW(HGDIOBJ Object, Integer Count, void* Buffer) { return GetObjectImpl(Object, Count, Buffer, true); }

// ---------------------------------------------------------------- pens and brushes

HPEN CreatePen(Integer Style, Integer Width, COLORREF Color) {
  if (Style < 0 || Style > static_cast<Integer>(PS_INSIDEFRAME)) return nullptr;
  auto p = std::make_shared<TPenObj>();
  p->Style = static_cast<DWORD>(Style);
  p->Width = Width < 0 ? 0 : Width;
  p->Color = Color;
  return static_cast<HPEN>(Add(p));
}

HPEN CreatePenIndirect(const LOGPEN* Pen) {
  if (!Pen) return nullptr;
  return CreatePen(static_cast<Integer>(Pen->lopnStyle), Pen->lopnWidth.X, Pen->lopnColor);
}

HPEN ExtCreatePen(DWORD Style, DWORD Width, const LOGBRUSH* Brush, DWORD StyleCount, const DWORD* StyleEntries) {
  if (!Brush) return nullptr;
  const DWORD kind = Style & PS_STYLE_MASK;
  if (kind > PS_ALTERNATE) return nullptr;
  const bool geometric = (Style & PS_TYPE_MASK) == PS_GEOMETRIC;
  if (!geometric && Width != 1) return nullptr;
  if (kind == PS_USERSTYLE && (StyleCount == 0 || StyleCount > 16 || !StyleEntries)) return nullptr;
  auto p = std::make_shared<TPenObj>();
  p->Style = Style;
  p->Width = static_cast<Integer>(std::min<DWORD>(Width, 1u << 20));
  p->Color = Brush->lbColor;
  p->BrushStyle = Brush->lbStyle;
  if (kind == PS_USERSTYLE) p->UserStyle.assign(StyleEntries, StyleEntries + StyleCount);
  return static_cast<HPEN>(Add(p));
}

HBRUSH CreateSolidBrush(COLORREF Color) {
  auto b = std::make_shared<TBrushObj>();
  b->Style = BS_SOLID;
  b->Color = Color;
  return static_cast<HBRUSH>(Add(b));
}

HBRUSH CreateHatchBrush(Integer Hatch, COLORREF Color) {
  if (Hatch < HS_HORIZONTAL || Hatch > HS_DIAGCROSS) return nullptr;
  auto b = std::make_shared<TBrushObj>();
  b->Style = BS_HATCHED;
  b->Color = Color;
  b->Hatch = Hatch;
  return static_cast<HBRUSH>(Add(b));
}

HBRUSH CreatePatternBrush(HBITMAP Bitmap) {
  auto src = LookupAs<TBitmapObj>(Bitmap, OBJ_BITMAP);
  if (!src || !src->Bits) return nullptr;
  auto copy = std::make_shared<TBitmapObj>();
  if (!copy->Allocate(src->Width, src->Height, src->BitCount, src->TopDown)) return nullptr;
  std::memcpy(copy->Bits, src->Bits, static_cast<size_t>(src->RowBytes * src->Height));
  copy->IsDIB = src->IsDIB;
  copy->Colors = src->Colors;
  std::memcpy(copy->Masks, src->Masks, sizeof(copy->Masks));
  auto b = std::make_shared<TBrushObj>();
  b->Style = BS_PATTERN;
  b->Pattern = copy;
  return static_cast<HBRUSH>(Add(b));
}

HBRUSH CreateBrushIndirect(const LOGBRUSH* Brush) {
  if (!Brush) return nullptr;
  switch (Brush->lbStyle) {
    case BS_SOLID: return CreateSolidBrush(Brush->lbColor);
    case BS_NULL: return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    case BS_HATCHED: return CreateHatchBrush(static_cast<Integer>(Brush->lbHatch), Brush->lbColor);
    case BS_PATTERN: return CreatePatternBrush(reinterpret_cast<HBITMAP>(Brush->lbHatch));
  }
  return nullptr;
}

// ---------------------------------------------------------------- fonts

HFONT CreateFontIndirectW(const LOGFONTW* Font) {
  if (!Font) return nullptr;
  auto f = std::make_shared<TFontObj>();
  f->Lf = *Font;
  f->Lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(Add(f));
}

HFONT CreateFontIndirectA(const LOGFONTA* Font) {
  if (!Font) return nullptr;
  LOGFONTW w;
  FontAToW(*Font, w);
  return CreateFontIndirectW(&w);
}

HFONT CreateFontW(Integer Height, Integer Width, Integer Escapement, Integer Orientation, Integer Weight,
                  DWORD Italic, DWORD Underline, DWORD StrikeOut, DWORD CharSet, DWORD OutPrecision,
                  DWORD ClipPrecision, DWORD Quality, DWORD PitchAndFamily, const WCHAR* FaceName) {
  LOGFONTW lf;
  lf.lfHeight = Height;
  lf.lfWidth = Width;
  lf.lfEscapement = Escapement;
  lf.lfOrientation = Orientation;
  lf.lfWeight = Weight;
  lf.lfItalic = static_cast<BYTE>(Italic);
  lf.lfUnderline = static_cast<BYTE>(Underline);
  lf.lfStrikeOut = static_cast<BYTE>(StrikeOut);
  lf.lfCharSet = static_cast<BYTE>(CharSet);
  lf.lfOutPrecision = static_cast<BYTE>(OutPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(ClipPrecision);
  lf.lfQuality = static_cast<BYTE>(Quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(PitchAndFamily);
  for (Integer i = 0; FaceName && FaceName[i] && i < LF_FACESIZE - 1; ++i) lf.lfFaceName[i] = FaceName[i];
  return CreateFontIndirectW(&lf);
}

// ---------------------------------------------------------------- bitmaps

HBITMAP CreateBitmap(Integer Width, Integer Height, UINT Planes, UINT BitCount, const void* Bits) {
  if (Planes != 1 || Width < 0 || Height < 0) return nullptr;
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 16 && BitCount != 24 && BitCount != 32)
    return nullptr;
  if (Width == 0 || Height == 0) {
    // Windows hands back the 1 x 1 monochrome stock bitmap.
    return static_cast<HBITMAP>(static_cast<HGDIOBJ>(Stock().DefBitmap.get()));
  }
  auto b = std::make_shared<TBitmapObj>();
  if (!b->Allocate(Width, Height, static_cast<Integer>(BitCount), true)) return nullptr;
  if (BitCount == 1) b->Colors = {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (BitCount == 16) {
    b->Masks[0] = 0x7C00;
    b->Masks[1] = 0x03E0;
    b->Masks[2] = 0x001F;
  }
  if (BitCount == 4 || BitCount == 8) {
    // A device bitmap of a palette depth takes the default palette's colours.
    const size_t n = size_t(1) << BitCount;
    b->Colors.assign(n, RGBQUAD{});
    for (size_t i = 0; i < n && i < 20; ++i)
      b->Colors[i] = RGBQUAD{kDefaultPalette[i].peBlue, kDefaultPalette[i].peGreen, kDefaultPalette[i].peRed, 0};
  }
  if (Bits) {
    // Source rows are padded to 16 bits.
    const size_t srcRow = (static_cast<size_t>(Width) * BitCount + 15) / 16 * 2;
    const size_t n = std::min<size_t>(srcRow, static_cast<size_t>(b->RowBytes));
    for (Integer y = 0; y < Height; ++y)
      std::memcpy(b->Bits + b->RowBytes * y, static_cast<const uint8_t*>(Bits) + srcRow * y, n);
  }
  return static_cast<HBITMAP>(Add(b));
}

HBITMAP CreateDIBSection(HDC DC, const BITMAPINFO* Info, UINT Usage, void** Bits, void* Section, DWORD Offset) {
  (void)Section;
  (void)Offset;
  if (Bits) *Bits = nullptr;
  if (!Info) return nullptr;
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
      h.biPlanes != 1)
    return nullptr;
  const Integer bc = h.biBitCount;
  if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return nullptr;
  if (h.biCompression != BI_RGB && !(h.biCompression == BI_BITFIELDS && (bc == 16 || bc == 32))) return nullptr;
  auto b = std::make_shared<TBitmapObj>();
  const Integer height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (!b->Allocate(h.biWidth, height, bc, h.biHeight < 0)) return nullptr;
  b->IsDIB = true;
  b->Compression = h.biCompression;
  const uint8_t* table = reinterpret_cast<const uint8_t*>(Info) + h.biSize;
  if (bc <= 8) {
    const size_t n = size_t(1) << bc;
    size_t used = h.biClrUsed ? std::min<size_t>(h.biClrUsed, n) : n;
    b->Colors.assign(n, RGBQUAD{});
    if (Usage == DIB_PAL_COLORS) {
      TDCObj* dc = LookupDC(DC);
      const std::vector<PALETTEENTRY>& pal = (dc && dc->S.Palette) ? dc->S.Palette->Entries : DefaultPalette()->Entries;
      const WORD* idx = reinterpret_cast<const WORD*>(table);
      for (size_t i = 0; i < used; ++i) {
        const PALETTEENTRY& e = pal.empty() ? PALETTEENTRY{} : pal[std::min<size_t>(idx[i], pal.size() - 1)];
        b->Colors[i] = RGBQUAD{e.peBlue, e.peGreen, e.peRed, 0};
      }
    } else {
      std::memcpy(b->Colors.data(), table, used * sizeof(RGBQUAD));
      for (auto& c : b->Colors) c.rgbReserved = 0;
    }
  } else if (bc == 16) {
    if (h.biCompression == BI_BITFIELDS) std::memcpy(b->Masks, table, 12);
    else {
      b->Masks[0] = 0x7C00;
      b->Masks[1] = 0x03E0;
      b->Masks[2] = 0x001F;
    }
  } else if (bc == 32) {
    if (h.biCompression == BI_BITFIELDS) std::memcpy(b->Masks, table, 12);
    else {
      b->Masks[0] = 0xFF0000;
      b->Masks[1] = 0xFF00;
      b->Masks[2] = 0xFF;
    }
  }
  if (Bits) *Bits = b->Bits;
  return static_cast<HBITMAP>(Add(b));
}

HBITMAP CreateCompatibleBitmap(HDC DC, Integer Width, Integer Height) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || Width < 0 || Height < 0) return nullptr;
  if (Width == 0 || Height == 0) return CreateBitmap(0, 0, 1, 1, nullptr);
  if (dc->Kind == TDCObj::dkMemory && dc->S.Bitmap) {
    const TBitmapObj& sel = *dc->S.Bitmap;
    if (sel.BitCount == 1 && !sel.IsDIB) return CreateBitmap(Width, Height, 1, 1, nullptr);
    if (sel.IsDIB) {
      // A DIB section selected: a DIB section of the same layout.
      std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
      auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
      bi->bmiHeader = BITMAPINFOHEADER();
      bi->bmiHeader.biWidth = Width;
      bi->bmiHeader.biHeight = sel.TopDown ? -Height : Height;
      bi->bmiHeader.biBitCount = static_cast<WORD>(sel.BitCount);
      bi->bmiHeader.biCompression = sel.Compression;
      if (sel.BitCount <= 8) {
        bi->bmiHeader.biClrUsed = static_cast<DWORD>(sel.Colors.size());
        std::memcpy(buf.data() + sizeof(BITMAPINFOHEADER), sel.Colors.data(), sel.Colors.size() * sizeof(RGBQUAD));
      } else if (sel.Compression == BI_BITFIELDS) {
        std::memcpy(buf.data() + sizeof(BITMAPINFOHEADER), sel.Masks, 12);
      }
      return CreateDIBSection(DC, bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
    }
    return CreateBitmap(Width, Height, 1, static_cast<UINT>(sel.BitCount), nullptr);
  }
  if (dc->Kind == TDCObj::dkSurface && dc->Surface) {
    Integer bits = dc->Surface->DeviceCaps(BITSPIXEL);
    if (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)
      return CreateBitmap(Width, Height, 1, static_cast<UINT>(bits), nullptr);
  }
  return CreateBitmap(Width, Height, 1, 32, nullptr);
}

HBITMAP CreateDIBitmap(HDC DC, const BITMAPINFOHEADER* Header, DWORD Init, const void* Bits, const BITMAPINFO* Info,
                       UINT Usage) {
  if (!Header) return nullptr;
  const Integer h = Header->biHeight < 0 ? -Header->biHeight : Header->biHeight;
  HBITMAP bmp = DC ? CreateCompatibleBitmap(DC, Header->biWidth, h) : CreateBitmap(Header->biWidth, h, 1, 32, nullptr);
  if (!bmp) return nullptr;
  if ((Init & CBM_INIT) && Bits && Info) SetDIBits(DC, bmp, 0, static_cast<UINT>(h), Bits, Info, Usage);
  return bmp;
}

UINT GetDIBColorTable(HDC DC, UINT Start, UINT Count, RGBQUAD* Colors) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || dc->Kind != TDCObj::dkMemory || !dc->S.Bitmap || !Colors) return 0;
  const TBitmapObj& b = *dc->S.Bitmap;
  if (b.BitCount > 8 || !b.IsDIB) return 0;
  UINT n = 0;
  for (UINT i = Start; i < b.Colors.size() && n < Count; ++i, ++n) Colors[n] = b.Colors[i];
  return n;
}

UINT SetDIBColorTable(HDC DC, UINT Start, UINT Count, const RGBQUAD* Colors) {
  TDCObj* dc = LookupDC(DC);
  if (!dc || dc->Kind != TDCObj::dkMemory || !dc->S.Bitmap || !Colors) return 0;
  TBitmapObj& b = *dc->S.Bitmap;
  if (b.BitCount > 8 || !b.IsDIB) return 0;
  UINT n = 0;
  for (UINT i = Start; i < b.Colors.size() && n < Count; ++i, ++n) {
    b.Colors[i] = Colors[n];
    b.Colors[i].rgbReserved = 0;
  }
  return n;
}

// ---------------------------------------------------------------- palettes

HPALETTE CreatePalette(const LOGPALETTE* Palette) {
  if (!Palette || Palette->palVersion != 0x300 || Palette->palNumEntries == 0) return nullptr;
  auto p = std::make_shared<TPaletteObj>();
  p->Entries.assign(Palette->palPalEntry, Palette->palPalEntry + Palette->palNumEntries);
  return static_cast<HPALETTE>(Add(p));
}

UINT GetPaletteEntries(HPALETTE Palette, UINT Start, UINT Count, PALETTEENTRY* Entries) {
  auto p = LookupAs<TPaletteObj>(Palette, OBJ_PAL);
  if (!p) return 0;
  if (auto bmp = p->Linked.lock()) {
    // A bitmap's palette reads the bitmap's current colour table.
    p->Entries.resize(bmp->Colors.size());
    for (size_t i = 0; i < bmp->Colors.size(); ++i)
      p->Entries[i] = PALETTEENTRY{bmp->Colors[i].rgbRed, bmp->Colors[i].rgbGreen, bmp->Colors[i].rgbBlue, 0};
  }
  if (!Entries) return static_cast<UINT>(p->Entries.size());
  UINT n = 0;
  for (UINT i = Start; i < p->Entries.size() && n < Count; ++i, ++n) Entries[n] = p->Entries[i];
  return n;
}

UINT SetPaletteEntries(HPALETTE Palette, UINT Start, UINT Count, const PALETTEENTRY* Entries) {
  auto p = LookupAs<TPaletteObj>(Palette, OBJ_PAL);
  if (!p || p->Stock || !Entries) return 0;
  auto bmp = p->Linked.lock();
  UINT n = 0;
  for (UINT i = Start; i < p->Entries.size() && n < Count; ++i, ++n) {
    p->Entries[i] = Entries[n];
    if (bmp && i < bmp->Colors.size())
      bmp->Colors[i] = RGBQUAD{Entries[n].peBlue, Entries[n].peGreen, Entries[n].peRed, 0};
  }
  return n;
}

HPALETTE SelectPalette(HDC DC, HPALETTE Palette, BOOL ForceBackground) {
  (void)ForceBackground;
  TDCObj* dc = LookupDC(DC);
  auto p = LookupAs<TPaletteObj>(Palette, OBJ_PAL);
  if (!dc || !p) return nullptr;
  HPALETTE old = reinterpret_cast<HPALETTE>(dc->S.Palette.get());
  dc->S.Palette = p;
  return old;
}

UINT RealizePalette(HDC DC) {
  // True-colour devices have no hardware palette to map.
  return LookupDC(DC) ? 0 : GDI_ERROR;
}

UINT GetSystemPaletteEntries(HDC DC, UINT Start, UINT Count, PALETTEENTRY* Entries) {
  (void)DC;
  (void)Start;
  (void)Count;
  (void)Entries;
  return 0;  // not a palette device
}

UINT GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color) {
  auto p = LookupAs<TPaletteObj>(Palette, OBJ_PAL);
  if (!p || p->Entries.empty()) return CLR_INVALID;
  std::vector<RGBQUAD> q(p->Entries.size());
  for (size_t i = 0; i < q.size(); ++i) q[i] = RGBQUAD{p->Entries[i].peBlue, p->Entries[i].peGreen, p->Entries[i].peRed, 0};
  return NearestIndex(q.data(), static_cast<Integer>(q.size()), Color & 0xFFFFFF);
}

// ---------------------------------------------------------------- regions

namespace {

std::shared_ptr<TRgnObj> Rgn(HRGN R) { return LookupAs<TRgnObj>(R, OBJ_REGION); }

HRGN NewRgn(TRegion R) {
  auto o = std::make_shared<TRgnObj>();
  o->R = std::move(R);
  return static_cast<HRGN>(Add(o));
}

}  // namespace

HRGN CreateRectRgn(Integer Left, Integer Top, Integer Right, Integer Bottom) {
  return NewRgn(TRegion::FromRect(TRect(Left, Top, Right, Bottom)));
}

HRGN CreateRectRgnIndirect(const TRect* R) {
  return R ? CreateRectRgn(R->Left, R->Top, R->Right, R->Bottom) : nullptr;
}

HRGN CreatePolygonRgn(const TPoint* Points, Integer Count, Integer FillMode) {
  if (!Points || Count < 0) return nullptr;
  TPolyD poly;
  TRect box(INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN);
  for (Integer i = 0; i < Count; ++i) {
    poly.push_back({static_cast<double>(Points[i].X), static_cast<double>(Points[i].Y)});
    box.Left = std::min(box.Left, Points[i].X);
    box.Top = std::min(box.Top, Points[i].Y);
    box.Right = std::max(box.Right, Points[i].X + 1);
    box.Bottom = std::max(box.Bottom, Points[i].Y + 1);
  }
  if (Count < 3) return NewRgn(TRegion());
  return NewRgn(TRegion::FromSpans(FillPolygons({poly}, FillMode == WINDING, box)));
}

Integer CombineRgn(HRGN Dest, HRGN Src1, HRGN Src2, Integer Mode) {
  auto d = Rgn(Dest), a = Rgn(Src1);
  if (!d || !a || Mode < RGN_AND || Mode > RGN_COPY) return ERROR;
  if (Mode == RGN_COPY) {
    d->R = a->R;
    return d->R.Kind();
  }
  auto b = Rgn(Src2);
  if (!b) return ERROR;
  d->R = TRegion::Combine(a->R, b->R, Mode);
  return d->R.Kind();
}

Integer OffsetRgn(HRGN Region, Integer DX, Integer DY) {
  auto r = Rgn(Region);
  if (!r) return ERROR;
  r->R.Offset(DX, DY);
  return r->R.Kind();
}

Integer GetRgnBox(HRGN Region, TRect* R) {
  auto r = Rgn(Region);
  if (!r || !R) return ERROR;
  *R = r->R.Box();
  return r->R.Kind();
}

BOOL PtInRegion(HRGN Region, Integer X, Integer Y) {
  auto r = Rgn(Region);
  return r && r->R.Contains(X, Y) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN Region, const TRect* R) {
  auto r = Rgn(Region);
  if (!r || !R) return FALSE;
  TRect n(std::min(R->Left, R->Right), std::min(R->Top, R->Bottom), std::max(R->Left, R->Right),
          std::max(R->Top, R->Bottom));
  return r->R.Intersects(n) ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN A, HRGN B) {
  auto a = Rgn(A), b = Rgn(B);
  if (!a || !b) return ERROR;
  return a->R == b->R ? TRUE : FALSE;
}

BOOL SetRectRgn(HRGN Region, Integer Left, Integer Top, Integer Right, Integer Bottom) {
  auto r = Rgn(Region);
  if (!r) return FALSE;
  r->R = TRegion::FromRect(TRect(Left, Top, Right, Bottom));
  return TRUE;
}
