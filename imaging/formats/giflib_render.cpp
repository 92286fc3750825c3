// Frames rendered into bitmaps with a monochrome transparency mask, drawn
// stretched or tiled with or without their transparent colour, made from
// other graphics; the image's palette, bitmap form, progress and clipboard.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

#include "imaging/formats/giflib.h"
#include "imaging/formats/giflib_reduce.h"
#include "platform/devices/metafile.h"
#include "platform/graphics/icon.h"
#include "platform/ui/clipbrd.h"

namespace giflib_render {
namespace {

HPALETTE ExportPalette(TGIFColorMap* Map) {
  if (!Map || Map->Count() == 0) return nullptr;
  std::vector<Byte> buf(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY), 0);
  auto* p = reinterpret_cast<LOGPALETTE*>(buf.data());
  p->palVersion = 0x300;
  p->palNumEntries = WORD(Map->Count());
  PALETTEENTRY* e = p->palPalEntry;
  for (Integer i = 0; i < Map->Count(); ++i) {
    const Byte* c = Map->Entry(i);
    e[i] = {c[0], c[1], c[2], 0};
  }
  return CreatePalette(p);
}

// The platform's MulDiv: rounds half away from zero.
Integer MulDivRound(int64_t A, int64_t B, int64_t C) {
  if (C == 0) return -1;
  const int64_t n = A * B;
  const bool neg = (n < 0) != (C < 0);
  const int64_t q = ((n < 0 ? -n : n) + (C < 0 ? -C : C) / 2) / (C < 0 ? -C : C);
  return Integer(neg ? -q : q);
}

// Progress reports of one operation: starting now, ending (100, or 0 when an
// exception passes) when it goes out of scope, asking for a redraw when the
// image's palette changed meanwhile.
class TProgressScope {
 public:
  TProgressScope(TGIFImage* Image, TObject* Sender, const WideString& Msg)
      : FImage(Image), FSender(Sender), FMsg(Msg), FExceptions(std::uncaught_exceptions()) {
    if (FImage) FImage->Progress(FSender, psStarting, 0, false, TRect(0, 0, 0, 0), FMsg);
  }
  ~TProgressScope() {
    if (!FImage) return;
    const bool failing = std::uncaught_exceptions() > FExceptions || FFailed;
    try {
      FImage->Progress(FSender, psEnding, failing ? 0 : 100, FImage->PaletteModified(), TRect(0, 0, 0, 0), FMsg);
    } catch (...) {
      // A handler failing on the closing report must not end the process.
    }
  }
  void Running(Integer Percent, bool Redraw = false) {
    if (FImage) FImage->Progress(FSender, psRunning, Byte(Percent), Redraw, TRect(0, 0, 0, 0), FMsg);
  }
  void Failed() { FFailed = true; }

 private:
  TGIFImage* FImage;
  TObject* FSender;
  WideString FMsg;
  int FExceptions;
  bool FFailed = false;
};

// The 1-bit transparency mask a render builds beside its pixels when asked
// to; the bitmap is made only if some pixel is really transparent. Mask rows
// are 16-bit aligned, bit 7 of a byte the leftmost pixel.
class TRenderMask {
 public:
  TRenderMask(bool Build, Integer Width, Integer Height)
      : FBuild(Build), FW(Width), FH(Height), FRow(int64_t((Width + 15) / 16) * 2),
        FBits(Build ? size_t(FRow * Height) : 0, 0) {}
  bool Building() const { return FBuild; }
  void Set(Integer X, Integer Y) {
    FBits[size_t(int64_t(Y) * FRow + X / 8)] |= Byte(0x80 >> (X % 8));
    FAny = true;
  }
  HBITMAP Finish() const { return FAny ? CreateBitmap(FW, FH, 1, 1, FBits.data()) : nullptr; }

 private:
  bool FBuild;
  Integer FW, FH;
  int64_t FRow;
  std::vector<Byte> FBits;
  bool FAny = false;
};

// The tile grid: x from Start.X stepping by StepX while x < Limit.Right,
// for each x y from Start.Y stepping by StepY while y < Limit.Bottom.
template <class F>
void ForTiles(Integer X0, Integer Y0, Integer StepX, Integer StepY, const TRect& Limit, F&& Fn) {
  if (StepX <= 0 || StepY <= 0) return;
  for (Integer x = X0; x < Limit.Right; x += StepX)
    for (Integer y = Y0; y < Limit.Bottom; y += StepY) Fn(x, y);
}

// A memory DC with one object selected; undone on every way out.
class TSelected {
 public:
  TSelected(HDC Reference, HGDIOBJ Object) : FDC(CreateCompatibleDC(Reference)) {
    if (FDC) FOld = SelectObject(FDC, Object);
  }
  ~TSelected() {
    if (!FDC) return;
    SelectObject(FDC, FOld);
    DeleteDC(FDC);
  }
  HDC DC() const { return FDC; }

 private:
  HDC FDC;
  HGDIOBJ FOld = nullptr;
};

// A 24-bit copy of Source for reading colours without touching Source.
std::unique_ptr<TBitmap> Copy24(TBitmap* Source) {
  auto c = std::make_unique<TBitmap>();
  c->Assign(Source);
  c->SetPixelFormat(pf24bit);
  return c;
}

// The pixels a metafile leaves unpainted: drawn once on white and once on
// black, the two combined by exclusive or are 0 exactly where it painted.
std::unique_ptr<TBitmap> MetafileMask(TGraphic* Meta) {
  const Integer w = Meta->Width(), h = Meta->Height();
  auto white = std::make_unique<TBitmap>();
  TBitmap black;
  for (auto [b, colour] : {std::pair{white.get(), clWhite}, std::pair{&black, clBlack}}) {
    b->SetPixelFormat(pf24bit);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetStyle(bsSolid);
    b->Canvas()->Brush()->SetColor(colour);
    b->Canvas()->FillRect(TRect(0, 0, w, h));
    b->Canvas()->Draw(0, 0, Meta);
  }
  white->Canvas()->SetCopyMode(cmSrcInvert);
  white->Canvas()->Draw(0, 0, &black);
  return white;
}

}  // namespace
}  // namespace giflib_render

using namespace giflib_render;

// ------------------------------------------------------------------ frame

void TGIFSubImage::FreeBitmap() { FFrameBitmap.reset(); }

void TGIFSubImage::FreeMask() {
  if (FTransparencyMask) DeleteObject(FTransparencyMask);
  FTransparencyMask = nullptr;
  FMaskWanted = true;
}

bool TGIFSubImage::HasMask() {
  if (FMaskWanted && HasTransparency) {
    FreeBitmap();
    GetBitmap();
  }
  return FTransparencyMask != nullptr;
}

HPALETTE TGIFSubImage::GetPalette() {
  if (FFrameBitmap && FFrameBitmap->PixelFormat() <= pf8bit && FFrameBitmap->PixelFormat() != pfDevice)
    if (HPALETTE p = FFrameBitmap->Palette()) return p;
  if (FFramePalette) return FFramePalette;
  if (FImage && FImage->DoDither()) return FFramePalette = CreateWebSafePalette();
  if (FLocalColorMap.Count() == 0) return FImage ? FImage->GetPalette() : nullptr;
  return FFramePalette = ExportPalette(&FLocalColorMap);
}

void TGIFSubImage::SetPalette(HPALETTE Value) {
  if (Value == FFramePalette) return;
  if (FFramePalette) DeleteObject(FFramePalette);
  const bool stale = FFrameBitmap && FFrameBitmap->PixelFormat() <= pf8bit && FFrameBitmap->Palette() != Value;
  FFramePalette = Value;
  if (stale) {
    FreeBitmap();
    if (FImage) {
      FImage->SetPaletteModified(true);
      FImage->Changed(this);
    }
  }
}

TRect TGIFSubImage::ScaleRect(const TRect& Rect) const {
  const Integer sw = FImage ? FImage->Width() : Width(), sh = FImage ? FImage->Height() : Height();
  const Integer rw = Rect.Width(), rh = Rect.Height();
  // A zero screen would divide by zero: the frame then is the screen.
  const Integer w = sw > 0 ? sw : Left() + Width(), h = sh > 0 ? sh : Top() + Height();
  if (w <= 0 || h <= 0) return Rect;
  return TRect(Rect.Left + MulDivRound(Left(), rw, w), Rect.Top + MulDivRound(Top(), rh, h),
               Rect.Left + MulDivRound(Left() + Width(), rw, w), Rect.Top + MulDivRound(Top() + Height(), rh, h));
}

TBitmap* TGIFSubImage::GetBitmap() {
  if (FFrameBitmap || IsEmpty()) return FFrameBitmap.get();
  {
    TProgressScope progress(FImage, this, W("Rendering..."));
    auto bmp = std::make_unique<TBitmap>();
    try {
      if (FImage && FImage->DoDither())
        RenderDithered(bmp.get());
      else
        RenderPlain(bmp.get());
    } catch (const EAbort&) {
      progress.Failed();
      return nullptr;
    }
    FFrameBitmap = std::move(bmp);
  }
  // After the closing report: whoever shows the image draws it again.
  if (FImage && FImage->PaletteModified()) FImage->Changed(this);
  return FFrameBitmap.get();
}

void TGIFSubImage::RenderPlain(TBitmap* Bitmap) {
  const Integer w = Width(), h = Height();
  TRenderMask mask(FMaskWanted && HasTransparency, w, h);
  FMaskWanted = false;
  const Byte t = TransparentIndex();
  {
    TDIBWriter writer(Bitmap, pf8bit, w, h, GetPalette());
    for (Integer y = 0; y < h; ++y) {
      if (y % 32 == 0 && FImage)
        FImage->Progress(this, psRunning, Byte(int64_t(y) * 100 / h), false, TRect(0, 0, 0, 0), W("Rendering..."));
      const Byte* src = PixelData.data() + int64_t(y) * w;
      std::memcpy(writer.ScanLine(y), src, size_t(w));
      if (!mask.Building()) continue;
      for (Integer x = 0; x < w; ++x)
        if (src[x] == t) mask.Set(x, y);
    }
  }
  if (HBITMAP m = mask.Finish()) FTransparencyMask = m;
}

void TGIFSubImage::RenderDithered(TBitmap* Bitmap) {
  const Integer w = Width(), h = Height();
  TRenderMask mask(FMaskWanted && HasTransparency, w, h);
  FMaskWanted = false;
  const Byte t = TransparentIndex();
  TGIFColorMap* map = ActiveColorMap();
  auto entry = [&](Byte P, Byte& R, Byte& G, Byte& B) {
    const Byte* e = P < map->Count() ? map->Entry(P) : nullptr;
    R = e ? e[0] : 0;
    G = e ? e[1] : 0;
    B = e ? e[2] : 0;
  };
  // Transparent pixels keep a placeholder near their own colour; the mask
  // hides them, so it need not be a valid web-safe index.
  Byte fill = 0;
  if (mask.Building()) {
    Byte r, g, b;
    entry(t, r, g, b);
    fill = Byte(MulDivRound(36, r, 51) + MulDivRound(6, g, 51) + b / 51 + 1);
  }
  TNetscapeColorLookup lookup;
  auto engine = MakeDitherEngine(ditFloydSteinberg, w, &lookup);
  TDIBWriter writer(Bitmap, pf8bit, w, h, GetPalette());
  for (Integer y = 0; y < h; ++y) {
    if (y % 32 == 0 && FImage)
      FImage->Progress(this, psRunning, Byte(int64_t(y) * 100 / h), false, TRect(0, 0, 0, 0), W("Rendering..."));
    const Byte* src = PixelData.data() + int64_t(y) * w;
    Byte* dst = static_cast<Byte*>(writer.ScanLine(y));
    if (mask.Building()) std::memset(dst, fill, size_t(w));
    while (engine->Column >= 0 && engine->Column < w) {
      const Integer x = engine->Column;
      if (mask.Building() && src[x] == t) {
        mask.Set(x, y);
        engine->NextColumn();
        continue;
      }
      Byte r, g, b, R, G, B;
      entry(src[x], r, g, b);
      dst[x] = engine->Dither(r, g, b, R, G, B);
    }
    engine->NextLine();
  }
  if (HBITMAP m = mask.Finish()) FTransparencyMask = m;
}

void TGIFSubImage::Draw(TCanvas* ACanvas, const TRect& Rect, bool DoTransparent, bool DoTile) {
  if (!ACanvas || IsEmpty()) return;
  const TRect target = DoTile ? Rect : ScaleRect(Rect);
  const Integer sw = FImage ? FImage->Width() : Width(), sh = FImage ? FImage->Height() : Height();
  if (DoTransparent && HasTransparency && HasMask()) {
    TBitmap* bmp = GetBitmap();
    if (!bmp) return;
    TSelected mask(ACanvas->Handle(), FTransparencyMask);
    HDC src = bmp->Canvas()->Handle();
    if (DoTile)
      ForTiles(target.Left + Left(), target.Top + Top(), sw, sh, target, [&](Integer x, Integer y) {
        MaskedStretchBlt(ACanvas->Handle(), x, y, Width(), Height(), src, 0, 0, Width(), Height(), mask.DC(), 0, 0);
      });
    else
      MaskedStretchBlt(ACanvas->Handle(), target.Left, target.Top, target.Width(), target.Height(), src, 0, 0, Width(),
                       Height(), mask.DC(), 0, 0);
    if (ACanvas->OnChange) ACanvas->OnChange(ACanvas);
    return;
  }
  TBitmap* bmp = GetBitmap();
  if (!bmp) return;
  if (DoTile)
    ForTiles(target.Left + Left(), target.Top + Top(), sw, sh, target, [&](Integer x, Integer y) {
      ACanvas->StretchDraw(TRect(x, y, x + Width(), y + Height()), bmp);
    });
  else
    ACanvas->StretchDraw(target, bmp);
}

BOOL MaskedStretchBlt(HDC DstDC, Integer DstX, Integer DstY, Integer DstW, Integer DstH, HDC SrcDC, Integer SrcX,
                      Integer SrcY, Integer SrcW, Integer SrcH, HDC MaskDC, Integer MaskX, Integer MaskY) {
  if (SrcW == DstW && SrcH == DstH) {
    // The mask bitmap must leave its DC to be handed to MaskBlt.
    HBITMAP stand = CreateCompatibleBitmap(SrcDC, 1, 1);
    if (!stand) return FALSE;
    auto mask = static_cast<HBITMAP>(SelectObject(MaskDC, stand));
    const BOOL ok = MaskBlt(DstDC, DstX, DstY, DstW, DstH, SrcDC, SrcX, SrcY, mask, MaskX, MaskY, 0xCCAA0029);
    SelectObject(MaskDC, mask);
    DeleteObject(stand);
    return ok;
  }
  // Stretched: the source with its transparent pixels blackened is OR-ed
  // onto the destination after the mask has blackened the opaque area there.
  HBITMAP work = CreateCompatibleBitmap(DstDC, SrcW, SrcH);
  HBITMAP mono = CreateBitmap(SrcW, SrcH, 1, 1, nullptr);
  if (!work || !mono) {
    if (work) DeleteObject(work);
    if (mono) DeleteObject(mono);
    return FALSE;
  }
  BOOL ok = FALSE;
  {
    TSelected w(DstDC, work);
    TSelected m(DstDC, mono);
    BitBlt(m.DC(), 0, 0, SrcW, SrcH, MaskDC, MaskX, MaskY, NOTSRCCOPY);
    BitBlt(w.DC(), 0, 0, SrcW, SrcH, m.DC(), 0, 0, SRCCOPY);
    BitBlt(w.DC(), 0, 0, SrcW, SrcH, SrcDC, SrcX, SrcY, SRCAND);
    const COLORREF text = SetTextColor(DstDC, 0), back = SetBkColor(DstDC, 0xFFFFFF);
    ok = StretchBlt(DstDC, DstX, DstY, DstW, DstH, MaskDC, MaskX, MaskY, SrcW, SrcH, SRCAND) &&
         StretchBlt(DstDC, DstX, DstY, DstW, DstH, w.DC(), 0, 0, SrcW, SrcH, SRCPAINT);
    SetTextColor(DstDC, text);
    SetBkColor(DstDC, back);
  }
  DeleteObject(work);
  DeleteObject(mono);
  return ok;
}

void TGIFSubImage::AssignTo(TPersistent* Dest) {
  if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
    b->Assign(GetBitmap());
    return;
  }
  TGIFItem::AssignTo(Dest);
}

void TGIFSubImage::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Clear();
    return;
  }
  if (auto* src = dynamic_cast<TGIFSubImage*>(Source)) {
    Clear();
    // A frame of extensions only (a comment after the last image) keeps
    // them, so a copy saves the same blocks as its source.
    if (!src->IsEmpty()) {
      Descriptor = src->Descriptor;
      HasTransparency = src->HasTransparency;
      PixelData = src->PixelData;
      FLocalColorMap.Assign(src->LocalColorMap());
    }
    if (src->Extensions()->GetCount() > 0) {
      // Through the file form, so every kind is copied with its own rules
      // and the first control block becomes this frame's.
      TMemoryStream s;
      src->Extensions()->SaveToStream(&s);
      s.SetPosition(0);
      FExtensions.LoadFromStream(&s, this);
    }
    return;
  }
  if (auto* pic = dynamic_cast<TPicture*>(Source)) {
    Assign(pic->Graphic());
    return;
  }
  auto* graphic = dynamic_cast<TGraphic*>(Source);
  if (!graphic) {
    TGIFItem::Assign(Source);
    return;
  }
  Clear();
  if (graphic->Empty()) return;
  auto* bmp = dynamic_cast<TBitmap*>(graphic);
  auto* icon = dynamic_cast<TIcon*>(graphic);
  auto* meta = dynamic_cast<TMetafile*>(graphic);
  std::unique_ptr<TBitmap> drawn;
  if (!bmp) {
    auto draw = [&] {
      drawn = std::make_unique<TBitmap>();
      drawn->SetPixelFormat(pf24bit);
      drawn->SetSize(graphic->Width(), graphic->Height());
      drawn->Canvas()->Draw(0, 0, graphic);
    };
    auto assign = [&] {
      drawn = std::make_unique<TBitmap>();
      drawn->Assign(graphic);
    };
    // Icons and metafiles draw themselves best; other graphics convert.
    if (icon || meta) {
      try {
        draw();
      } catch (const Exception&) {
        assign();
      }
    } else {
      try {
        assign();
      } catch (const Exception&) {
        draw();
      }
    }
    bmp = drawn.get();
    if (bmp->Empty()) return;
  }
  SetBoundsRect(Left(), Top(), bmp->Width(), bmp->Height());
  const TPixelFormat pf = bmp->PixelFormat();
  if (pf == pf1bit || pf == pf4bit || pf == pf8bit) {
    FFrameBitmap = std::make_unique<TBitmap>();
    FFrameBitmap->Assign(bmp);
  } else {
    // Reduction turns its source into 24 bits; the caller's bitmap stays as it is.
    auto work = Copy24(bmp);
    FFrameBitmap = ReduceColors(work.get(), TGIFReductionMethod(FImage ? FImage->ReductionMethod : Byte(crmWebSafe216)),
                                TGIFDitherKind(FImage ? FImage->DitherKind : Byte(ditNearest)),
                                FImage ? FImage->ReductionColorBits : 8, nullptr);
    if (!FFrameBitmap || FFrameBitmap->Empty()) {
      FFrameBitmap.reset();
      GIFError("Unsupported PixelFormat");
    }
  }
  AllocPixelData();
  {
    TProgressScope progress(FImage, this, W("Converting..."));
    TBitmap* fb = FFrameBitmap.get();
    const Integer w = Width(), h = Height();
    const TPixelFormat fpf = fb->PixelFormat();
    const bool indexed = fpf == pf1bit || fpf == pf4bit || fpf == pf8bit;
    if (indexed) {
      FLocalColorMap.Clear();
      for (Integer i = 0; i < fb->ColorTableSize() && i < 256; ++i) {
        const RGBQUAD q = fb->ColorTableEntry(i);
        FLocalColorMap.Add(TGIFColorMap::RGBToColor(q.rgbRed, q.rgbGreen, q.rgbBlue));
      }
    } else if (fpf != pf24bit) {
      fb->SetPixelFormat(pf24bit);
    }
    // A small ring of recent colours spares most table searches.
    struct TCacheEntry {
      uint32_t Colour;
      Integer Index;
    };
    TCacheEntry cache[8];
    Integer cacheUsed = 0, last = 7;
    for (Integer y = 0; y < h; ++y) {
      if (y % 32 == 0) progress.Running(Integer(int64_t(y) * 100 / h));
      const Byte* src = static_cast<const Byte*>(fb->ScanLine(y));
      Byte* dst = PixelData.data() + int64_t(y) * w;
      if (fpf == pf1bit) {
        for (Integer x = 0; x < w; ++x) dst[x] = (src[x / 8] >> (7 - x % 8)) & 1;
      } else if (fpf == pf4bit) {
        for (Integer x = 0; x < w; ++x) dst[x] = (x % 2 == 0) ? src[x / 2] >> 4 : src[x / 2] & 15;
      } else if (fpf == pf8bit) {
        std::memcpy(dst, src, size_t(w));
      } else {
        for (Integer x = 0; x < w; ++x) {
          const uint32_t c = uint32_t(src[3 * x + 2]) | uint32_t(src[3 * x + 1]) << 8 | uint32_t(src[3 * x]) << 16;
          Integer found = -1;
          for (Integer k = 0, at = last; k < cacheUsed; ++k, at = (at + 7) % 8)
            if (cache[at].Colour == c) {
              found = cache[at].Index;
              last = at;
              break;
            }
          if (found < 0) {
            found = FLocalColorMap.AddUnique(TColor(c));
            last = (last + 1) % 8;
            cache[last] = {c, found};
            cacheUsed = std::min(cacheUsed + 1, Integer(8));
          }
          dst[x] = Byte(found);
        }
      }
    }
  }
  if (icon) {
    ICONINFO info;
    if (!GetIconInfo(icon->Handle(), &info)) return;
    DeleteObject(info.hbmColor);
    TBitmap mask;
    mask.SetHandle(info.hbmMask);
    TransparencyFromMask(&mask);
    return;
  }
  if (meta) {
    TransparencyFromMask(MetafileMask(meta).get());
    return;
  }
  if (!graphic->Transparent()) return;
  // The transparent colour of the source marks the pixels to leave out.
  auto colours = Copy24(bmp);
  const TColor key = ColorToRGB(bmp->TransparentColor() & 0xFFFFFF);
  const Byte kr = Byte(key), kg = Byte(key >> 8), kb = Byte(key >> 16);
  TBitmap mask;
  mask.SetPixelFormat(pf8bit);
  mask.SetSize(colours->Width(), colours->Height());
  for (Integer y = 0; y < colours->Height(); ++y) {
    const Byte* src = static_cast<const Byte*>(colours->ScanLine(y));
    Byte* dst = static_cast<Byte*>(mask.ScanLine(y));
    for (Integer x = 0; x < colours->Width(); ++x)
      dst[x] = src[3 * x] == kb && src[3 * x + 1] == kg && src[3 * x + 2] == kr ? 1 : 0;
  }
  TransparencyFromMask(&mask);
}

void TGIFSubImage::TransparencyFromMask(TBitmap* Mask) {
  FLocalColorMap.Optimize();
  if (FLocalColorMap.Count() == 0 || FLocalColorMap.Count() >= 256) return;
  const Integer index = FLocalColorMap.Add(0);
  bool changed = false;
  // Any non-zero byte of a pixel marks it, whatever the mask's format.
  const TPixelFormat pf = Mask->PixelFormat();
  const Integer bytes = pf == pf8bit ? 1 : 3;
  std::unique_ptr<TBitmap> wide;
  if (pf != pf8bit) {
    wide = Copy24(Mask);
    Mask = wide.get();
  }
  const Integer w = std::min(Width(), Mask->Width()), h = std::min(Height(), Mask->Height());
  for (Integer y = 0; y < h; ++y) {
    const Byte* src = static_cast<const Byte*>(Mask->ScanLine(y));
    Byte* dst = PixelData.data() + int64_t(y) * Width();
    for (Integer x = 0; x < w; ++x) {
      const Byte* m = src + int64_t(x) * bytes;
      if (m[0] | m[bytes - 1] | m[bytes / 2]) {
        dst[x] = Byte(index);
        changed = true;
      }
    }
  }
  if (!changed) {
    FLocalColorMap.Delete(index);
    return;
  }
  auto* gce = new TGIFGraphicControlExtension(this);
  FExtensions.Add(gce);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(Byte(index));
  FreeBitmap();
  FreeMask();
}

// ------------------------------------------------------------------ image

bool PaletteDisplay() {
  static bool value = [] {
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    const Integer bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    DeleteDC(dc);
    return bits > 0 && bits < 9;
  }();
  return value;
}

Word CF_GIF() {
  static const Word format = Word(RegisterClipboardFormat(u"GIF Image"));
  return format;
}

bool TGIFImage::DoDither() const {
  return (PaintOptions & gpoDither) && (!(PaintOptions & gpoDitherOnPaletteDisplay) || PaletteDisplay());
}

void TGIFImage::Progress(TObject* Sender, TProgressStage Stage, Byte PercentDone, bool RedrawNow, const TRect& R,
                         const WideString& Msg) {
  if (OnProgress) OnProgress(Sender, Stage, PercentDone, RedrawNow, R, Msg);
}

HPALETTE TGIFImage::Palette() {
  if (FInGetPalette) GIFError("No global or local color table defined");
  FInGetPalette = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } clear{FInGetPalette};
  if (FRenderBitmap && FRenderBitmap->PixelFormat() <= pf8bit && FRenderBitmap->PixelFormat() != pfDevice)
    if (HPALETTE p = FRenderBitmap->Palette()) return p;
  if (FPaletteHandle) return FPaletteHandle;
  if (DoDither()) return FPaletteHandle = CreateWebSafePalette();
  if (GetGlobalColorMap()->Count() > 0) return FPaletteHandle = ExportPalette(GetGlobalColorMap());
  if (FFrames.GetCount() > 0) return FFrames.GetFrame(0)->GetPalette();
  return nullptr;
}

void TGIFImage::SetPalette(HPALETTE Value) {
  if (Value == FPaletteHandle) return;
  if (FPaletteHandle) DeleteObject(FPaletteHandle);
  FPaletteHandle = Value;
  // Frames drawn with the old palette must render again.
  for (Integer i = 0; i < FFrames.GetCount(); ++i)
    if (FFrames.GetFrame(i)->LocalColorMap()->Count() == 0) FFrames.GetFrame(i)->FreeBitmap();
  if (FRenderBitmap) {
    FreeRenderBitmap();
    SetPaletteModified(true);
    Changed(this);
  }
}

TBitmap* TGIFImage::GetBitmap() {
  if (Empty()) return nullptr;
  if (FRenderBitmap) return FRenderBitmap.get();
  auto bmp = std::make_unique<TBitmap>();
  TGIFSubImage* f = FFrames.GetFrame(0);
  if (f->Width() == Width() && f->Height() == Height() && f->Left() == 0 && f->Top() == 0) {
    if (TBitmap* fb = f->GetBitmap()) bmp->Assign(fb);
  } else {
    bmp->SetPixelFormat(pf24bit);
    bmp->SetSize(Width(), Height());
    f->Draw(bmp->Canvas(), TRect(0, 0, Width(), Height()), false, false);
  }
  FRenderBitmap = std::move(bmp);
  return FRenderBitmap.get();
}

void TGIFImage::AssignTo(TPersistent* Dest) {
  if (auto* b = dynamic_cast<TBitmap*>(Dest)) {
    b->Assign(GetBitmap());
    return;
  }
  TGraphic::AssignTo(Dest);
}

void TGIFImage::LoadFromClipboardFormat(Word AFormat, HGLOBAL AData, HPALETTE APalette) {
  (void)APalette;
  if (!AData) AData = GetClipboardData(AFormat);
  if (AData && AFormat == CF_GIF()) {
    const size_t n = GlobalSize(AData);
    const void* p = GlobalLock(AData);
    try {
      TMemoryStream s;
      if (p && n > 0) s.WriteBuffer(p, int64_t(n));
      s.SetPosition(0);
      LoadFromStream(&s);
    } catch (...) {
      GlobalUnlock(AData);
      throw;
    }
    GlobalUnlock(AData);
    return;
  }
  if (AData && (AFormat == CF_BITMAP || AFormat == CF_DIB)) {
    // Bitmaps travel on this clipboard as packed DIBs.
    const size_t n = GlobalSize(AData);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(AData));
    std::vector<uint8_t> bmpFile;
    const bool ok = p && GtPackedDIBToBmpFile(p, n, bmpFile);
    GlobalUnlock(AData);
    if (!ok) throw EInvalidGraphic("Unsupported clipboard format");
    TBitmap bmp;
    TMemoryStream s;
    s.WriteBuffer(bmpFile.data(), int64_t(bmpFile.size()));
    s.SetPosition(0);
    bmp.LoadFromStream(&s);
    Clear();
    auto* frame = new TGIFSubImage(this);
    try {
      frame->Assign(&bmp);
    } catch (...) {
      delete frame;
      throw;
    }
    Add(frame);
    return;
  }
  throw EInvalidGraphic("Unsupported clipboard format");
}

void TGIFImage::SaveToClipboardFormat(Word& AFormat, HGLOBAL& AData, HPALETTE& APalette) {
  if (Empty()) return;
  // The bitmap form as a packed DIB (the form bitmaps take on this
  // clipboard), for readers that do not know GIF.
  TBitmap* b = GetBitmap();
  AFormat = CF_DIB;
  AData = nullptr;
  APalette = nullptr;
  if (b) {
    TMemoryStream s;
    b->SaveToStream(&s);
    std::vector<uint8_t> file(size_t(s.Size())), dib;
    s.SetPosition(0);
    s.ReadBuffer(file.data(), s.Size());
    if (GtBmpFileToPackedDIB(file.data(), file.size(), dib)) {
      AData = GlobalAlloc(GMEM_MOVEABLE, dib.size());
      if (void* p = AData ? GlobalLock(AData) : nullptr) {
        std::memcpy(p, dib.data(), dib.size());
        GlobalUnlock(AData);
      }
    }
  }
  TMemoryStream gif;
  SaveToStream(&gif);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size_t(gif.Size()));
  if (!block) return;
  try {
    void* p = GlobalLock(block);
    gif.SetPosition(0);
    if (p) gif.ReadBuffer(p, gif.Size());
    GlobalUnlock(block);
    if (!SetClipboardData(CF_GIF(), block)) GIFError("Failed to store GIF on clipboard");
  } catch (...) {
    GlobalFree(block);
    throw;
  }
}
