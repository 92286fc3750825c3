// Pictures and selections to and from the clipboard: DIBs for every other
// program, the raw format that keeps pixel format, palette and alpha, and
// PNG from other programs. Everything read from the clipboard comes from
// any program: it is read with its block size into a picture of its own and
// reaches the document only when it was read whole.
#include <algorithm>

#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/render/iedib.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/graphics/globalmem.h"
#include "platform/ui/clipbrd.h"

namespace {

// Closes the clipboard on every way out.
struct TClipboardScope {
  ~TClipboardScope() { CloseClipboard(); }
};

UINT RawFormat() {
  if (IERawClipboardFormat == 0) IERawClipboardFormat = RegisterClipboardFormat(u"ZIDUZUV RAW FORMAT");
  return IERawClipboardFormat;
}

// The bytes of a clipboard block, copied out while it is locked.
bool BlockBytes(HGLOBAL H, std::vector<Byte>& Out) {
  if (!H) return false;
  const size_t size = GlobalSize(H);
  const void* p = GlobalLock(H);
  if (!p) return false;
  Out.assign(static_cast<const Byte*>(p), static_cast<const Byte*>(p) + size);
  GlobalUnlock(H);
  return true;
}

// Puts the raw image of B on the open clipboard; nothing when no block can
// be had or the clipboard refuses it.
void PutRaw(TIEBitmap* B) {
  const Integer size = B->GetRawSize();
  if (size <= 0) return;
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, static_cast<size_t>(size));
  if (!h) return;
  void* p = GlobalLock(h);
  if (!p) {
    GlobalFree(h);
    return;
  }
  B->SaveRawToStream(p, nullptr);
  GlobalUnlock(h);
  if (!SetClipboardData(RawFormat(), h)) GlobalFree(h);
}

// The clipboard's PNG format. Other programs offer it by its MIME type,
// which the list of formats names "image/png" unless "PNG" was registered
// before the list was first read; either name is the same data.
UINT PngFormat() {
  if (UINT f = IEGetClipboardFormatByName(u"PNG")) return f;
  return IEGetClipboardFormatByName(u"image/png");
}

bool PutDIB(HGLOBAL Dib) {
  if (!Dib) return false;
  if (SetClipboardData(CF_DIB, Dib)) return true;
  GlobalFree(Dib);
  return false;
}

}  // namespace

bool IEClipboardReadRaw(const std::vector<Byte>& Data, TIEBitmap& B) {
  TIEBitmap tmp;
  if (Data.empty() || !tmp.LoadRawFromStream(Data.data(), nullptr, static_cast<int64_t>(Data.size()))) return false;
  B.Assign(&tmp);
  if (!tmp.HasAlphaChannel()) B.RemoveAlphaChannel(false, 0);
  return true;
}

bool IEClipboardReadDIB(const std::vector<Byte>& Data, TIEBitmap& B) {
  TIEBitmap tmp;
  if (Data.empty() || IEDIBToBitmapBlock(Data.data(), Data.size(), &tmp) == 0 || tmp.IsEmpty()) return false;
  B.Assign(&tmp);
  B.RemoveAlphaChannel(false, 0);
  return true;
}

bool IEClipboardReadPNG(const std::vector<Byte>& Data, TIEBitmap& B) {
  if (Data.empty() || Data.size() > static_cast<size_t>(INT32_MAX)) return false;
  TIEBitmap tmp;
  auto io = TZiduzUvIO::CreateForBitmap(&tmp);
  io->LoadFromBuffer(Data.data(), static_cast<Integer>(Data.size()), 8);
  if (io->Aborting() || tmp.IsEmpty()) return false;
  io.reset();
  B.Assign(&tmp);
  if (!tmp.HasAlphaChannel()) B.RemoveAlphaChannel(false, 0);
  return true;
}

double IEBackgroundValue(TIEBitmap* Bitmap, TColor Background) {
  const TRGB c = IEColorToRGB(Background);
  const Integer gray = (c.r * IEGrayWeightRed + c.g * IEGrayWeightGreen + c.b * IEGrayWeightBlue) / 100;
  switch (Bitmap->PixelFormat()) {
    case ie1g:
      return gray >= 128 ? 1 : 0;
    case ie8g:
      return std::clamp(gray, 0, 255);
    case ie16g:
      return std::clamp(gray, 0, 255) * 257.0;
    case ie32f:
      return std::clamp(gray, 0, 255) / 255.0;
    case ie8p: {
      // The nearest entry of the picture's own palette.
      Integer best = 0;
      int64_t bestDist = INT64_MAX;
      for (Integer i = 0; i < Bitmap->GetPaletteLength(); ++i) {
        TRGB p;
        Bitmap->GetPaletteColor(i, p);
        const int64_t d = int64_t(p.r - c.r) * (p.r - c.r) + int64_t(p.g - c.g) * (p.g - c.g) +
                          int64_t(p.b - c.b) * (p.b - c.b);
        if (d < bestDist) {
          bestDist = d;
          best = i;
        }
      }
      return best;
    }
    default:
      return static_cast<double>(Integer(c.r) | Integer(c.g) << 8 | Integer(c.b) << 16);
  }
}

HGLOBAL IESelectionToDIB(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background, Integer DpiX, Integer DpiY) {
  if (!Bitmap || !Mask || Mask->IsEmpty()) return nullptr;
  TIEBitmap box;
  if (!box.Allocate(Mask->X2 - Mask->X1 + 1, Mask->Y2 - Mask->Y1 + 1, Bitmap->PixelFormat())) return nullptr;
  Bitmap->CopyPaletteTo(&box);
  box.Fill(IEBackgroundValue(Bitmap, Background));
  Mask->CopyBitmap(&box, Bitmap, true, false, false);
  return _CopyBitmaptoDIBEx(&box, 0, 0, 0, 0, DpiX, DpiY);
}

void IEFillMasked(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background) {
  if (!Bitmap || !Mask || Mask->IsEmpty()) return;
  TIEBitmap box;
  if (!box.Allocate(Mask->X2 - Mask->X1 + 1, Mask->Y2 - Mask->Y1 + 1, Bitmap->PixelFormat())) return;
  Bitmap->CopyPaletteTo(&box);
  box.Fill(IEBackgroundValue(Bitmap, Background));
  Mask->CopyBitmap(Bitmap, &box, false, true, false);
}

bool TZiduzUvProc::CopyToClipboard(bool WithRaw) {
  if (!PrepareBitmap(0) || !IEOpenClipboard()) return false;
  TClipboardScope scope;
  EmptyClipboard();
  if (!PutDIB(_CopyBitmaptoDIBEx(FIEBitmap, 0, 0, 0, 0, GetDpiX(), GetDpiY()))) return false;
  if (WithRaw) PutRaw(FIEBitmap);
  return true;
}

bool TZiduzUvProc::CopySelection(bool WithRaw, Integer x1, Integer y1, Integer x2, Integer y2, TIEMask* Mask) {
  if (!IEOpenClipboard()) return false;
  TClipboardScope scope;
  EmptyClipboard();
  const bool masked = Mask && !Mask->IsEmpty();
  HGLOBAL dib = masked ? IESelectionToDIB(FIEBitmap, Mask, Background(), GetDpiX(), GetDpiY())
                       : _CopyBitmaptoDIBEx(FIEBitmap, x1, y1, x2, y2, GetDpiX(), GetDpiY());
  if (!PutDIB(dib)) return false;
  if (WithRaw) {
    TIEBitmap part;
    if (masked) {
      FIEBitmap->CopySelectionTo(&part, Mask);
    } else if (part.Allocate(x2 - x1, y2 - y1, FIEBitmap->PixelFormat())) {
      FIEBitmap->CopyPaletteTo(&part);
      FIEBitmap->CopyRectTo(&part, x1, y1, 0, 0, x2 - x1, y2 - y1);
      if (FIEBitmap->HasAlphaChannel())
        FIEBitmap->GetAlphaChannel()->CopyRectTo(part.GetAlphaChannel(), x1, y1, 0, 0, x2 - x1, y2 - y1);
    }
    if (!part.IsEmpty()) PutRaw(&part);
  }
  return true;
}

bool TZiduzUvProc::SelCopyToClip(bool WithRaw) {
  if (!PrepareBitmap(0)) return false;
  Integer x1, y1, x2, y2;
  TIEMask* mask = nullptr;
  if (!GetSelectionArea(x1, y1, x2, y2, mask)) return CopyToClipboard(WithRaw);
  return CopySelection(WithRaw, x1, y1, x2, y2, mask);
}

bool TZiduzUvProc::SelCutToClip(bool WithRaw) {
  if (!PrepareBitmap(0)) return false;
  Integer x1, y1, x2, y2;
  TIEMask* mask = nullptr;
  if (!GetSelectionArea(x1, y1, x2, y2, mask)) return false;
  if (FAutoUndo) SaveUndoCaptioned(u"SelCutToClip", ieuImage);
  if (!CopySelection(WithRaw, x1, y1, x2, y2, mask)) return false;
  if (mask && !mask->IsEmpty())
    IEFillMasked(FIEBitmap, mask, Background());
  else
    FIEBitmap->FillRect(x1, y1, x2 - 1, y2 - 1, IEBackgroundValue(FIEBitmap, Background()));
  RefreshAttached();
  return true;
}

void TZiduzUvProc::PasteFromClipboard() {
  if (!PrepareBitmap(0) || !IEOpenClipboard()) return;
  std::vector<Byte> data;
  int kind = 0;
  {
    TClipboardScope scope;
    // Only the first format on offer is tried.
    if (IsClipboardFormatAvailable(RawFormat())) {
      kind = BlockBytes(GetClipboardData(RawFormat()), data) ? 1 : 0;
    } else if (UINT png = PngFormat()) {
      kind = BlockBytes(GetClipboardData(png), data) ? 2 : 0;
    } else if (IsClipboardFormatAvailable(CF_DIB)) {
      kind = BlockBytes(GetClipboardData(CF_DIB), data) ? 3 : 0;
    }
  }
  if (kind == 0) return;
  if (FAutoUndo) SaveUndoCaptioned(u"PasteFromClipboard", ieuImage);
  if (kind == 1)
    IEClipboardReadRaw(data, *FIEBitmap);
  else if (kind == 2)
    IEClipboardReadPNG(data, *FIEBitmap);
  else
    IEClipboardReadDIB(data, *FIEBitmap);
  RefreshAttached();
}

void TZiduzUvProc::SelPasteFromClipStretch(bool MergeAlpha) {
  if (!PrepareBitmap(0)) return;
  Integer x1, y1, x2, y2;
  TIEMask* mask = nullptr;
  if (!GetSelectionArea(x1, y1, x2, y2, mask)) {
    PasteFromClipboard();
    return;
  }
  if (x2 <= x1 || y2 <= y1 || !IEOpenClipboard()) return;
  std::vector<Byte> data;
  int kind = 0;
  {
    TClipboardScope scope;
    if (IsClipboardFormatAvailable(RawFormat()) && BlockBytes(GetClipboardData(RawFormat()), data))
      kind = 1;
    else if (IsClipboardFormatAvailable(CF_DIB) && BlockBytes(GetClipboardData(CF_DIB), data))
      kind = 3;
  }
  if (kind == 0) return;
  if (FAutoUndo) SaveUndoCaptioned(u"SelPasteFromClipStretch", ieuImage);
  TIEBitmap a;
  if (!(kind == 1 ? IEClipboardReadRaw(data, a) : IEClipboardReadDIB(data, a))) {
    RefreshAttached();
    return;
  }
  TIEBitmap b;
  if (b.Allocate(x2 - x1, y2 - y1, a.PixelFormat())) {
    IEStretchNearest(&a, &b);
    if (kind == 1 && mask && !mask->IsEmpty()) {
      if (a.HasAlphaChannel()) {
        IEStretchNearest(a.GetAlphaChannel(), b.GetAlphaChannel());
        if (MergeAlpha) mask->IntersectWithBitmap(b.GetAlphaChannel(), mask->X1, mask->Y1, false);
      }
      // The picture takes the pasted pixels in its own format.
      if (b.PixelFormat() != FIEBitmap->PixelFormat()) b.SetPixelFormat(FIEBitmap->PixelFormat());
      b.PasteSelectionTo(FIEBitmap, mask);
    } else {
      if (b.PixelFormat() != FIEBitmap->PixelFormat()) b.SetPixelFormat(FIEBitmap->PixelFormat());
      b.CopyRectTo(FIEBitmap, 0, 0, x1, y1, b.Width(), b.Height());
    }
  }
  RefreshAttached();
}
