#include "platform/graphics/bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/gdi_private.h"

namespace {

const RGBQUAD kVga16[16] = {
    {0, 0, 0, 0},     {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0}, {128, 0, 0, 0},   {128, 0, 128, 0},
    {128, 128, 0, 0}, {128, 128, 128, 0}, {192, 192, 192, 0}, {0, 0, 255, 0}, {0, 255, 0, 0},   {0, 255, 255, 0},
    {255, 0, 0, 0},   {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0},
};

// The default 8-bit table: the 20 static colours at both ends, a 6 x 6 x 6
// colour cube and a grey ramp between them.
std::vector<RGBQUAD> Default256() {
  std::vector<RGBQUAD> t(256);
  PALETTEENTRY sys[20];
  GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, sys);
  for (int i = 0; i < 10; ++i) {
    t[i] = RGBQUAD{sys[i].peBlue, sys[i].peGreen, sys[i].peRed, 0};
    t[246 + i] = RGBQUAD{sys[10 + i].peBlue, sys[10 + i].peGreen, sys[10 + i].peRed, 0};
  }
  int k = 10;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        t[k++] = RGBQUAD{static_cast<BYTE>(b * 51), static_cast<BYTE>(g * 51), static_cast<BYTE>(r * 51), 0};
  for (int i = 0; i < 20; ++i) {
    const BYTE v = static_cast<BYTE>(8 + i * 12);
    t[k++] = RGBQUAD{v, v, v, 0};
  }
  return t;
}

Integer BitsOf(TPixelFormat F) {
  switch (F) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf24bit: return 24;
    default: return 32;
  }
}

std::vector<RGBQUAD> DefaultColors(Integer Bits) {
  if (Bits == 1) return {RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}};
  if (Bits == 4) return std::vector<RGBQUAD>(kVga16, kVga16 + 16);
  if (Bits == 8) return Default256();
  return {};
}

std::shared_ptr<gdi::TBitmapObj> Obj(HBITMAP H) { return gdi::LookupAs<gdi::TBitmapObj>(H, OBJ_BITMAP); }

// Memory DC with a bitmap selected, for the copies inside this file.
struct TScratchDC {
  explicit TScratchDC(HBITMAP B) : DC(CreateCompatibleDC(nullptr)) { Old = SelectObject(DC, B); }
  ~TScratchDC() {
    SelectObject(DC, Old);
    DeleteDC(DC);
  }
  HDC DC;
  HGDIOBJ Old;
};

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  FCanvas.reset();
  Replace(nullptr);
}

TGraphic* TBitmap::Create() { return new TBitmap; }

Integer TBitmap::Width() const {
  auto o = Obj(FHandle);
  return o ? o->Width : 0;
}

Integer TBitmap::Height() const {
  auto o = Obj(FHandle);
  return o ? o->Height : 0;
}

std::vector<RGBQUAD> TBitmap::CurrentColors() const {
  auto o = Obj(FHandle);
  return o ? o->Colors : std::vector<RGBQUAD>();
}

HBITMAP TBitmap::NewDIB(Integer AWidth, Integer AHeight, TPixelFormat Format, const std::vector<RGBQUAD>* Colors) {
  const Integer bits = BitsOf(Format);
  std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
  auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
  bi->bmiHeader = BITMAPINFOHEADER();
  bi->bmiHeader.biWidth = AWidth;
  bi->bmiHeader.biHeight = AHeight;  // bottom-up, as a DIB
  bi->bmiHeader.biBitCount = static_cast<WORD>(bits);
  RGBQUAD* table = reinterpret_cast<RGBQUAD*>(buf.data() + sizeof(BITMAPINFOHEADER));
  if (bits <= 8) {
    std::vector<RGBQUAD> def = DefaultColors(bits);
    const std::vector<RGBQUAD>& c = (Colors && Colors->size() == def.size()) ? *Colors : def;
    std::memcpy(table, c.data(), c.size() * sizeof(RGBQUAD));
    bi->bmiHeader.biClrUsed = static_cast<DWORD>(c.size());
  } else if (Format == pf16bit) {
    bi->bmiHeader.biCompression = BI_BITFIELDS;
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(table, masks, sizeof(masks));
  }
  HBITMAP h = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, nullptr, nullptr, 0);
  if (!h) throw EOutOfMemory("Not enough memory for the bitmap");
  return h;
}

void TBitmap::Replace(HBITMAP NewHandle) {
  if (FCanvas) FCanvas->FreeContext();
  if (FPalette) {
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
  if (FHandle && FHandle != NewHandle) DeleteObject(FHandle);
  FHandle = NewHandle;
}

void TBitmap::SetSize(Integer AWidth, Integer AHeight) {
  AWidth = std::max(AWidth, 0);
  AHeight = std::max(AHeight, 0);
  if (AWidth == Width() && AHeight == Height()) return;
  if (FCanvas) FCanvas->FreeContext();  // the old bitmap is read below
  if (AWidth == 0 || AHeight == 0) {
    Replace(nullptr);
    Changed(this);
    return;
  }
  std::vector<RGBQUAD> colors = CurrentColors();
  HBITMAP nb = NewDIB(AWidth, AHeight, FPixelFormat, colors.empty() ? nullptr : &colors);
  {
    TScratchDC d(nb);
    PatBlt(d.DC, 0, 0, AWidth, AHeight, WHITENESS);
    if (FHandle) {
      TScratchDC s(FHandle);
      BitBlt(d.DC, 0, 0, std::min(AWidth, Width()), std::min(AHeight, Height()), s.DC, 0, 0, SRCCOPY);
    }
  }
  Replace(nb);
  Changed(this);
}

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == pfCustom) throw EInvalidGraphic("Invalid pixel format");
  if (Value == FPixelFormat) return;
  const TPixelFormat old = FPixelFormat;
  FPixelFormat = Value;
  if (!FHandle) return;
  // Keep the colour table when only the name of a 32-bit layout changes.
  if ((old == pfDevice && Value == pf32bit) || (old == pf32bit && Value == pfDevice)) return;
  if (FCanvas) FCanvas->FreeContext();
  HBITMAP nb = NewDIB(Width(), Height(), Value, nullptr);
  {
    TScratchDC d(nb);
    TScratchDC s(FHandle);
    BitBlt(d.DC, 0, 0, Width(), Height(), s.DC, 0, 0, SRCCOPY);
  }
  Replace(nb);
  Changed(this);
}

void* TBitmap::ScanLine(Integer Row) {
  auto o = Obj(FHandle);
  if (!o || Row < 0 || Row >= o->Height) throw EInvalidGraphicOperation("Scan line index out of range");
  const Integer r = o->TopDown ? Row : o->Height - 1 - Row;
  return o->Bits + o->RowBytes * r;
}

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TBitmapCanvas>(this);
  return FCanvas.get();
}

HBITMAP TBitmap::Handle() { return FHandle; }

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == FHandle) return;
  auto o = Obj(Value);
  if (Value && !o) throw EInvalidGraphic("Invalid bitmap handle");
  Replace(Value);
  if (o) {
    switch (o->BitCount) {
      case 1: FPixelFormat = pf1bit; break;
      case 4: FPixelFormat = pf4bit; break;
      case 8: FPixelFormat = pf8bit; break;
      case 16: FPixelFormat = (o->Masks[1] == 0x07E0) ? pf16bit : (o->Masks[1] == 0x03E0 ? pf15bit : pfCustom); break;
      case 24: FPixelFormat = pf24bit; break;
      default: FPixelFormat = o->IsDIB ? pf32bit : pfDevice;
    }
  }
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  if (FCanvas) FCanvas->FreeContext();
  if (FPalette) {
    DeleteObject(FPalette);
    FPalette = nullptr;
  }
  HBITMAP h = FHandle;
  FHandle = nullptr;
  return h;
}

HPALETTE TBitmap::Palette() {
  auto o = Obj(FHandle);
  if (!o || o->BitCount > 8) return nullptr;
  if (!FPalette) {
    std::vector<uint8_t> buf(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    auto* lp = reinterpret_cast<LOGPALETTE*>(buf.data());
    lp->palVersion = 0x300;
    lp->palNumEntries = static_cast<WORD>(o->Colors.size());
    for (size_t i = 0; i < o->Colors.size(); ++i)
      lp->palPalEntry[i] = PALETTEENTRY{o->Colors[i].rgbRed, o->Colors[i].rgbGreen, o->Colors[i].rgbBlue, 0};
    FPalette = CreatePalette(lp);
    if (auto p = gdi::LookupAs<gdi::TPaletteObj>(FPalette, OBJ_PAL)) p->Linked = o;
  }
  return FPalette;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (!Value || Value == FPalette) return;
  auto o = Obj(FHandle);
  if (o && o->BitCount <= 8) {
    PALETTEENTRY e[256];
    const UINT n = GetPaletteEntries(Value, 0, 256, e);
    for (UINT i = 0; i < n && i < o->Colors.size(); ++i) o->Colors[i] = RGBQUAD{e[i].peBlue, e[i].peGreen, e[i].peRed, 0};
  }
  DeleteObject(Value);
  Changed(this);
}

Integer TBitmap::ColorTableSize() const {
  auto o = Obj(FHandle);
  return o && o->BitCount <= 8 ? static_cast<Integer>(o->Colors.size()) : 0;
}

RGBQUAD TBitmap::ColorTableEntry(Integer Index) const {
  auto o = Obj(FHandle);
  if (!o || Index < 0 || Index >= static_cast<Integer>(o->Colors.size())) return RGBQUAD{};
  return o->Colors[static_cast<size_t>(Index)];
}

void TBitmap::SetColorTableEntry(Integer Index, RGBQUAD Value) {
  auto o = Obj(FHandle);
  if (!o || Index < 0 || Index >= static_cast<Integer>(o->Colors.size())) return;
  Value.rgbReserved = 0;
  o->Colors[static_cast<size_t>(Index)] = Value;
}

bool TBitmap::Monochrome() const {
  if (FPixelFormat != pf1bit) return false;
  auto o = Obj(FHandle);
  if (!o) return true;
  return o->Colors.size() == 2 && o->Colors[0] == RGBQUAD{0, 0, 0, 0} && o->Colors[1] == RGBQUAD{255, 255, 255, 0};
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  SetPixelFormat(Value ? pf1bit : pfDevice);
}

TColor TBitmap::TransparentColor() {
  if (FTransparentColor == clDefault || FTransparentMode == tmAuto) {
    if (Empty()) return clDefault;
    // The bottom-left pixel, as the class library does.
    return Canvas()->Pixels(0, Height() - 1) | 0x02000000;
  }
  return FTransparentColor;
}

void TBitmap::SetTransparentColor(TColor Value) {
  FTransparentColor = Value;
  FTransparentMode = Value == clDefault ? tmAuto : tmFixed;
  Changed(this);
}

void TBitmap::Assign(TPersistent* Source) {
  if (!Source) {
    Replace(nullptr);
    Changed(this);
    return;
  }
  if (auto* b = dynamic_cast<TBitmap*>(Source)) {
    if (b == this) return;
    if (b->FCanvas) b->FCanvas->FreeContext();  // its bitmap is read below
    if (FCanvas) FCanvas->FreeContext();
    FPixelFormat = b->FPixelFormat;
    FHandleType = b->FHandleType;
    FTransparentColor = b->FTransparentColor;
    FTransparentMode = b->FTransparentMode;
    TGraphic::SetTransparent(b->Transparent());
    auto so = Obj(b->FHandle);
    if (!so) {
      Replace(nullptr);
      Changed(this);
      return;
    }
    std::vector<RGBQUAD> colors = so->Colors;
    HBITMAP nb = nullptr;
    if (so->IsDIB && !so->TopDown && (so->BitCount != 16 || FPixelFormat == pf15bit || FPixelFormat == pf16bit)) {
      nb = NewDIB(so->Width, so->Height, FPixelFormat == pfCustom ? pf32bit : FPixelFormat,
                  colors.empty() ? nullptr : &colors);
      auto no = Obj(nb);
      if (no->RowBytes == so->RowBytes)
        std::memcpy(no->Bits, so->Bits, static_cast<size_t>(so->RowBytes) * static_cast<size_t>(so->Height));
    } else {
      if (FPixelFormat == pfCustom) FPixelFormat = pf32bit;
      nb = NewDIB(so->Width, so->Height, FPixelFormat, colors.empty() ? nullptr : &colors);
      TScratchDC d(nb);
      TScratchDC s(b->FHandle);
      BitBlt(d.DC, 0, 0, so->Width, so->Height, s.DC, 0, 0, SRCCOPY);
    }
    Replace(nb);
    Changed(this);
    return;
  }
  if (auto* g = dynamic_cast<TGraphic*>(Source)) {
    Replace(nullptr);
    FPixelFormat = pf24bit;
    SetSize(g->Width(), g->Height());
    if (!Empty()) Canvas()->Draw(0, 0, g);
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas* ACanvas, const TRect& Rect) {
  if (!ACanvas || Empty()) return;
  HDC dst = ACanvas->Handle();
  HDC src = Canvas()->Handle();
  const Integer w = Width(), h = Height();
  if (Transparent()) {
    // Pixels of the transparent colour keep the destination: a mask with 1
    // there, stretched like the picture, picks destination or picture.
    const COLORREF key = static_cast<COLORREF>(ColorToRGB(TransparentColor() & 0xFFFFFF));
    const Integer dw = std::abs(Rect.Width()), dh = std::abs(Rect.Height());
    if (dw == 0 || dh == 0) return;
    HBITMAP maskFull = CreateBitmap(w, h, 1, 1, nullptr);
    HBITMAP maskDst = CreateBitmap(dw, dh, 1, 1, nullptr);
    HBITMAP pic = CreateBitmap(dw, dh, 1, 32, nullptr);
    {
      TScratchDC m(maskFull), md(maskDst), p(pic);
      const COLORREF oldBk = SetBkColor(src, key);
      BitBlt(m.DC, 0, 0, w, h, src, 0, 0, SRCCOPY);  // colour to mono: the key becomes 1
      SetBkColor(src, oldBk);
      StretchBlt(md.DC, 0, 0, dw, dh, m.DC, 0, 0, w, h, SRCCOPY);
      StretchBlt(p.DC, 0, 0, dw, dh, src, 0, 0, w, h, SRCCOPY);
      SelectObject(md.DC, md.Old);
      MaskBlt(dst, std::min(Rect.Left, Rect.Right), std::min(Rect.Top, Rect.Bottom), dw, dh, p.DC, 0, 0, maskDst, 0,
              0, MAKEROP4(0x00AA0029, SRCCOPY));
      SelectObject(md.DC, maskDst);
    }
    DeleteObject(maskFull);
    DeleteObject(maskDst);
    DeleteObject(pic);
    return;
  }
  COLORREF oldText = 0, oldBk = 0;
  const bool mono = Monochrome();
  if (mono) {
    oldText = SetTextColor(dst, 0);
    oldBk = SetBkColor(dst, 0xFFFFFF);
  }
  StretchBlt(dst, Rect.Left, Rect.Top, Rect.Right - Rect.Left, Rect.Bottom - Rect.Top, src, 0, 0, w, h,
             static_cast<DWORD>(ACanvas->CopyMode()));
  if (mono) {
    SetTextColor(dst, oldText);
    SetBkColor(dst, oldBk);
  }
}

// ---------------------------------------------------------------- BMP files

namespace {

template <class T>
T Read(TStream* S) {
  T v{};
  S->ReadBuffer(&v, sizeof(T));
  return v;
}

[[noreturn]] void Invalid() { throw EInvalidGraphic("Bitmap image is not valid"); }

// Bound on how much picture run-length data may declare: bytes of rows per
// byte of data, plus a floor for small pictures drawn with few codes.
constexpr uint64_t kMaxRunLengthRatio = 256;
constexpr uint64_t kRunLengthSlack = uint64_t(1) << 24;

// Run-length pixels (8 bits: one index a byte; 4 bits: two indexes a byte,
// high half first) into zero-filled bottom-up rows of RowBytes, the first
// stored row at Out. Codes: a count and an index (or index pair) repeated;
// 0 0 ends a row, 0 1 ends the picture, 0 2 dx dy moves right and up, 0 n
// (n > 2) takes n indexes as they stand, padded to a 16-bit boundary.
// Hostile data never writes outside the picture: what falls right of a row
// is dropped, anything above the top row ends decoding, and data that ends
// early leaves the rows not reached at index 0.
void DecodeRunLength(const uint8_t* P, size_t N, Integer Bits, Integer Width, Integer Height, uint8_t* Out,
                     size_t RowBytes) {
  int64_t x = 0, y = 0;
  auto put = [&](uint8_t Index) {
    if (x < Width) {
      uint8_t* row = Out + static_cast<size_t>(y) * RowBytes;
      if (Bits == 8) {
        row[x] = Index;
      } else {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (Index & 0x0F)) : static_cast<uint8_t>((b & 0x0F) | (Index << 4));
      }
    }
    ++x;
  };
  // The index at position K of a pair byte or an absolute run.
  auto nibble = [&](uint8_t B, size_t K) -> uint8_t {
    return Bits == 8 ? B : static_cast<uint8_t>((K & 1) ? (B & 0x0F) : (B >> 4));
  };
  size_t i = 0;
  while (y < Height && i + 2 <= N) {
    const uint8_t count = P[i], code = P[i + 1];
    i += 2;
    if (count > 0) {
      for (size_t k = 0; k < count && x < Width; ++k) put(nibble(code, k));
    } else if (code == 0) {
      x = 0;
      ++y;
    } else if (code == 1) {
      break;
    } else if (code == 2) {
      if (i + 2 > N) break;
      x = std::min<int64_t>(x + P[i], Width);
      y += P[i + 1];
      i += 2;
    } else {
      const size_t bytes = Bits == 8 ? code : (code + 1u) / 2;
      for (size_t k = 0; k < code && x < Width; ++k) {
        const size_t at = i + (Bits == 8 ? k : k / 2);
        if (at >= N) break;
        put(nibble(P[at], k));
      }
      i += (bytes + 1) & ~size_t(1);
    }
  }
}

}  // namespace

void TBitmap::LoadFromStream(TStream* Stream) {
  const int64_t start = Stream->Position();
  const int64_t size = Stream->Size() - start;
  if (size < 26) Invalid();
  const WORD type = Read<WORD>(Stream);
  Read<DWORD>(Stream);
  Read<DWORD>(Stream);
  const DWORD offBits = Read<DWORD>(Stream);
  if (type != 0x4D42) Invalid();
  const DWORD hsize = Read<DWORD>(Stream);
  Integer width, height, bits;
  DWORD compression = BI_RGB, clrUsed = 0;
  DWORD masks[3] = {0, 0, 0};
  bool core = false;
  if (hsize == 12) {
    core = true;
    width = Read<WORD>(Stream);
    height = Read<int16_t>(Stream);
    if (Read<WORD>(Stream) != 1) Invalid();
    bits = Read<WORD>(Stream);
  } else if (hsize == 40 || hsize == 52 || hsize == 56 || hsize == 64 || hsize == 108 || hsize == 124) {
    width = Read<LONG>(Stream);
    height = Read<LONG>(Stream);
    if (Read<WORD>(Stream) != 1) Invalid();
    bits = Read<WORD>(Stream);
    compression = Read<DWORD>(Stream);
    Read<DWORD>(Stream);
    Read<LONG>(Stream);
    Read<LONG>(Stream);
    clrUsed = Read<DWORD>(Stream);
    Read<DWORD>(Stream);
    if (compression == BI_BITFIELDS) {
      // The masks follow a 40-byte header and sit inside larger ones.
      for (DWORD& m : masks) m = Read<DWORD>(Stream);
      if (hsize > 40) Stream->Seek(start + 14 + hsize, soBeginning);
    } else {
      Stream->Seek(start + 14 + hsize, soBeginning);
    }
  } else {
    Invalid();
  }
  if (width <= 0 || height == 0 || height == INT32_MIN) Invalid();
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) Invalid();
  // Run-length pixels come only bottom-up, in 8 bits (RLE8) or 4 bits (RLE4).
  const bool rle = (compression == BI_RLE8 && bits == 8) || (compression == BI_RLE4 && bits == 4);
  if (rle && height < 0) Invalid();
  if (compression != BI_RGB && !rle && !(compression == BI_BITFIELDS && (bits == 16 || bits == 32))) Invalid();
  const Integer absH = height < 0 ? -height : height;
  const uint64_t row = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  // The pixels must be in the stream before anything is allocated for them.
  // Run-length data may be far smaller than the picture, but a two-byte run
  // makes at most 255 pixels: a picture far beyond what the data can
  // describe is refused rather than allocated.
  if (rle ? row * static_cast<uint64_t>(absH) > static_cast<uint64_t>(size) * kMaxRunLengthRatio + kRunLengthSlack
          : row * static_cast<uint64_t>(absH) > static_cast<uint64_t>(size))
    Invalid();
  std::vector<RGBQUAD> colors;
  if (bits <= 8) {
    const size_t n = size_t(1) << bits;
    const size_t used = clrUsed ? std::min<size_t>(clrUsed, n) : n;
    colors.assign(n, RGBQUAD{});
    for (size_t i = 0; i < used; ++i) {
      if (core) {
        BYTE t[3];
        Stream->ReadBuffer(t, 3);
        colors[i] = RGBQUAD{t[0], t[1], t[2], 0};
      } else {
        colors[i] = Read<RGBQUAD>(Stream);
        colors[i].rgbReserved = 0;
      }
    }
  }
  TPixelFormat pf;
  switch (bits) {
    case 1: pf = pf1bit; break;
    case 4: pf = pf4bit; break;
    case 8: pf = pf8bit; break;
    case 16: pf = (compression == BI_BITFIELDS && masks[1] == 0x07E0) ? pf16bit : pf15bit; break;
    case 24: pf = pf24bit; break;
    default: pf = pf32bit;
  }
  const bool odd16 = bits == 16 && compression == BI_BITFIELDS &&
                     !(masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x1F) &&
                     !(masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x1F);
  const bool odd32 = bits == 32 && compression == BI_BITFIELDS &&
                     !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
  if (offBits >= 14 && static_cast<int64_t>(offBits) < size) Stream->Seek(start + offBits, soBeginning);
  if (rle) {
    // Whatever data there is decodes; a picture with none at all is not one.
    const int64_t left = Stream->Size() - Stream->Position();
    if (left <= 0) Invalid();
    std::vector<uint8_t> packed(static_cast<size_t>(left));
    Stream->ReadBuffer(packed.data(), left);
    HBITMAP nb = NewDIB(width, absH, pf, &colors);
    auto o = Obj(nb);
    std::memset(o->Bits, 0, static_cast<size_t>(o->RowBytes) * static_cast<size_t>(absH));
    DecodeRunLength(packed.data(), packed.size(), bits, width, absH, o->Bits, static_cast<size_t>(o->RowBytes));
    FPixelFormat = pf;
    Replace(nb);
    Changed(this);
    return;
  }
  if (static_cast<uint64_t>(Stream->Size() - Stream->Position()) < row * static_cast<uint64_t>(absH)) Invalid();
  std::vector<uint8_t> data(static_cast<size_t>(row * static_cast<uint64_t>(absH)));
  Stream->ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  if (odd16 || odd32) {
    // Unusual bit fields: read through the masks into 24 bits.
    pf = pf24bit;
  }
  HBITMAP nb = NewDIB(width, absH, pf, colors.empty() ? nullptr : &colors);
  auto o = Obj(nb);
  if (odd16 || odd32) {
    TGdiPixels src;
    src.Width = width;
    src.Height = absH;
    src.BitCount = bits;
    src.RedMask = masks[0];
    src.GreenMask = masks[1];
    src.BlueMask = masks[2];
    src.Row0 = height < 0 ? data.data() : data.data() + row * (absH - 1);
    src.Stride = height < 0 ? static_cast<ptrdiff_t>(row) : -static_cast<ptrdiff_t>(row);
    TGdiPixels dst = o->Pixels();
    for (Integer y = 0; y < absH; ++y)
      for (Integer x = 0; x < width; ++x) {
        uint32_t v = gdi::ReadPixel(src, x, y);
        const COLORREF c =
            RGB(gdi::MaskedSample(v, masks[0]), gdi::MaskedSample(v, masks[1]), gdi::MaskedSample(v, masks[2]));
        gdi::WritePixel(dst, x, y, gdi::ColorToPixel(dst, c, nullptr));
      }
  } else if (height > 0) {
    std::memcpy(o->Bits, data.data(), data.size());
  } else {
    for (Integer y = 0; y < absH; ++y)
      std::memcpy(o->Bits + o->RowBytes * (absH - 1 - y), data.data() + row * static_cast<uint64_t>(y),
                  static_cast<size_t>(row));
  }
  FPixelFormat = pf;
  Replace(nb);
  Changed(this);
}

void TBitmap::SaveToStream(TStream* Stream) {
  auto o = Obj(FHandle);
  if (!o) return;
  const bool bf = o->BitCount == 16 && o->Masks[1] == 0x07E0;
  const DWORD tableBytes = o->BitCount <= 8 ? static_cast<DWORD>(o->Colors.size() * sizeof(RGBQUAD)) : (bf ? 12 : 0);
  const DWORD imageBytes = static_cast<DWORD>(o->RowBytes * o->Height);
  BITMAPFILEHEADER fh;
  fh.bfType = 0x4D42;
  fh.bfOffBits = static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + tableBytes);
  fh.bfSize = fh.bfOffBits + imageBytes;
  BITMAPINFOHEADER ih;
  ih.biWidth = o->Width;
  ih.biHeight = o->Height;
  ih.biBitCount = static_cast<WORD>(o->BitCount);
  ih.biCompression = bf ? BI_BITFIELDS : BI_RGB;
  ih.biSizeImage = imageBytes;
  ih.biClrUsed = o->BitCount <= 8 ? static_cast<DWORD>(o->Colors.size()) : 0;
  Stream->WriteBuffer(&fh, sizeof(fh));
  Stream->WriteBuffer(&ih, sizeof(ih));
  if (o->BitCount <= 8) Stream->WriteBuffer(o->Colors.data(), tableBytes);
  if (bf) {
    const DWORD masks[3] = {o->Masks[0], o->Masks[1], o->Masks[2]};
    Stream->WriteBuffer(masks, 12);
  }
  // Rows bottom-up, as the file wants them.
  for (Integer y = o->Height - 1; y >= 0; --y) {
    const Integer r = o->TopDown ? y : o->Height - 1 - y;
    Stream->WriteBuffer(o->Bits + o->RowBytes * r, o->RowBytes);
  }
}

// ---------------------------------------------------------------- TBitmapCanvas

TBitmapCanvas::~TBitmapCanvas() { FreeContext(); }

void TBitmapCanvas::FreeContext() {
  if (!FDC) return;
  SetHandle(nullptr);
  SelectObject(FDC, FOldBitmap);
  DeleteDC(FDC);
  FDC = nullptr;
  FOldBitmap = nullptr;
}

void TBitmapCanvas::CreateHandle() {
  if (FDC) return;
  FDC = CreateCompatibleDC(nullptr);
  if (FBitmap->Handle()) FOldBitmap = SelectObject(FDC, FBitmap->Handle());
  SetHandle(FDC);
}
