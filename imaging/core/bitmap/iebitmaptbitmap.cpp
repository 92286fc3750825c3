// The platform-bitmap location of the picture container (ieTBitmap): the
// pixels are the rows of a TBitmap, either the caller's (wrapped, never
// freed) or one the container owns. Only the layouts a platform bitmap has
// live there: 1, 8, 24 and 32 bits.
#include <algorithm>
#include <cstring>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/ieconvert.h"
#include "imaging/core/render/iedibconvert.h"
#include "imaging/core/render/iegeom.h"
#include "imaging/core/base/iesysinfo.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/colors.h"

namespace {

bool Holdable(TIEPixelFormat PF) {
  return PF == ie1g || PF == ie8p || PF == ie8g || PF == ie24RGB || PF == ie32RGB;
}

TPixelFormat PlatformFormat(TIEPixelFormat PF) {
  switch (PF) {
    case ie1g: return pf1bit;
    case ie8p:
    case ie8g: return pf8bit;
    case ie32RGB: return pf32bit;
    default: return pf24bit;
  }
}

// The text of the refusal for a format a platform bitmap cannot hold.
const char* RefusalText(TIEPixelFormat PF) {
  switch (PF) {
    case ie32f: return "ie32f pixel format not allowed when Location=ieTBitmap Please set TZiduzUvView.LegacyBitmap=false.";
    case ieCMYK: return "ieCMYK pixel format not allowed when Location=ieTBitmap. Please set TZiduzUvView.LegacyBitmap=false.";
    case ieRGB48: return "ieRGB48 pixel format not allowed when Location=ieTBitmap Please set TZiduzUvView.LegacyBitmap=false.";
    case ieCIELab: return "ieCIELab pixel format not allowed when Location=ieTBitmap Please set TZiduzUvView.LegacyBitmap=false.";
    default: return nullptr;
  }
}

// Gives an 8-bit or 1-bit platform bitmap the colour table that matches the
// container format (the palette of an ie8p picture is written by the caller).
void SetTableFor(TBitmap* B, TIEPixelFormat PF) {
  if (PF == ie8g) {
    IESetGrayColorTable(B);
  } else if (PF == ie1g) {
    B->SetColorTableEntry(0, RGBQUAD{0, 0, 0, 0});
    B->SetColorTableEntry(1, RGBQUAD{255, 255, 255, 0});
  }
}

void CopyPlatformRows(TBitmap* Src, TIEBitmap& Dst, size_t Bytes) {
  for (Integer y = 0; y < Dst.Height(); ++y) std::memcpy(Dst.GetScanline(y), Src->ScanLine(y), Bytes);
}

}  // namespace

// ---------------------------------------------------------------------------
// Wrapping and following the platform bitmap

void TIEBitmap::BuildScanlineCache() {
  FMemoryBlock = nullptr;
  FMemoryAllocation = nullptr;
  FMemoryIsExternal = false;
  FTopDown = 0;
  if (FVclBitmap && FWidth > 0 && FHeight > 0 && FBitCount > 0) {
    // A DIB section's rows are one block 4-byte aligned; which end holds row
    // 0 depends on how the bitmap was made.
    FRowLen = IEBitmapRowLen(FWidth, FBitCount, 32);
    Byte* first = static_cast<Byte*>(FVclBitmap->ScanLine(0));
    Byte* last = static_cast<Byte*>(FVclBitmap->ScanLine(FHeight - 1));
    FTopDown = first < last ? 1 : 0;
    FMemoryBlock = std::min(first, last);
    // The block belongs to the platform bitmap: it is never freed here.
    FMemoryIsExternal = true;
  }
  UpdateRowAccess();
}

void TIEBitmap::SyncTBitmapGeometry(bool Full) {
  TBitmap* b = FVclBitmap;
  if (!b) return;
  TIEPixelFormat pf;
  switch (b->PixelFormat()) {
    case pf1bit: pf = ie1g; break;
    case pf8bit:
      // Deciding between grey and palette reads the whole colour table:
      // the getters keep the decision while the layout stays 8 bits.
      if (!Full && (FPixelFormat == ie8g || FPixelFormat == ie8p)) {
        pf = FPixelFormat;
      } else {
        pf = FIsAlphaChannel || IEIsGrayColorTable(b) ? ie8g : ie8p;
      }
      break;
    case pf24bit: pf = ie24RGB; break;
    case pf32bit: pf = ie32RGB; break;
    default:
      // 4, 15 and 16 bits (and device layouts) have no container format:
      // reading their rows as 24-bit pixels would run past every row, so
      // the bitmap itself becomes 24 bits, keeping its picture.
      b->SetPixelFormat(pf24bit);
      pf = ie24RGB;
      break;
  }
  const Integer w = b->Width(), h = b->Height();
  const bool changed = Full || w != FWidth || h != FHeight || pf != FPixelFormat;
  if (changed) {
    FWidth = w;
    FHeight = h;
    FPixelFormat = pf;
    FBitCount = IEPixelFormatBitCount(pf);
    FChannelCount = IEPixelFormatChannelCount(pf);
    FRowLen = IEBitmapRowLen(std::max(w, 0), FBitCount, 32);
    if (FAlphaChannel && (FAlphaChannel->FWidth != w || FAlphaChannel->FHeight != h)) {
      // The old alpha values mean nothing at the new size: opaque.
      if (FAlphaChannel->Allocate(w, h, ie8g)) FAlphaChannel->FillBytes(255);
    }
    BuildScanlineCache();
  } else if (h > 0 && w > 0) {
    // Same geometry, but the bitmap may have new pixel storage.
    Byte* first = static_cast<Byte*>(b->ScanLine(0));
    if (first != FRow0) BuildScanlineCache();
  }
  if (pf == ie8p) {
    // A palette must exist to receive the colour table: without one every
    // entry would be dropped and the picture drawn as nothing.
    if (FPaletteLength != 256 || !FPalette) {
      FPalette.reset(new TRGB[256]());
      FPaletteLength = 256;
      Full = true;
    }
    if (Full) {
      const Integer n = std::min(b->ColorTableSize(), 256);
      for (Integer i = 0; i < n; ++i) {
        const RGBQUAD q = b->ColorTableEntry(i);
        FPalette[i] = TRGB{q.rgbBlue, q.rgbGreen, q.rgbRed};
      }
    }
  } else if (FPaletteLength != 0) {
    FPalette.reset();
    FPaletteLength = 0;
  }
}

void TIEBitmap::SyncWithTBitmap() {
  if (FVclBitmap) SyncTBitmapGeometry(true);
}

void TIEBitmap::EncapsulateTBitmap(TBitmap* Bitmap, bool FreeCurrent) {
  if (FreeCurrent) FreeImage(true);
  if (!Bitmap) return;
  if (Bitmap != FVclBitmap) {
    // Storage of our own would be hidden behind the caller's bitmap; the
    // palette and the alpha channel stay.
    DropStorage();
    FVclBitmap = Bitmap;
    FVclBitmapIsExternal = true;
  }
  FLocation = ieTBitmap;
  SyncTBitmapGeometry(true);
}

void TIEBitmap::UpdateTBitmapPalette() {
  if (FLocation != ieTBitmap || !FVclBitmap || FPaletteLength < 1 || !FPalette) return;
  const Integer n = std::min(FPaletteLength, FVclBitmap->ColorTableSize());
  for (Integer i = 0; i < n; ++i)
    FVclBitmap->SetColorTableEntry(i, RGBQUAD{FPalette[i].b, FPalette[i].g, FPalette[i].r, 0});
}

TBitmap* TIEBitmap::GetVclBitmap() {
  SetLocation(ieTBitmap);
  if (!FVclBitmap) {
    // An empty picture still hands out a bitmap to draw on.
    FVclBitmap = new TBitmap;
    FVclBitmapIsExternal = false;
    FVclBitmap->SetPixelFormat(PlatformFormat(FPixelFormat));
  }
  return FVclBitmap;
}

TCanvas* TIEBitmap::GetCanvas() { return GetVclBitmap()->Canvas(); }

// ---------------------------------------------------------------------------
// Allocation, moving, resizing

bool TIEBitmap::AllocateTBitmapStorage() {
  if (const char* refused = RefusalText(FPixelFormat)) throw Exception(refused);
  if (FPixelFormat == ie16g) FPixelFormat = ie8g;  // no 16-bit grey platform layout
  FBitCount = IEPixelFormatBitCount(FPixelFormat);
  FChannelCount = IEPixelFormatChannelCount(FPixelFormat);
  FRowLen = IEBitmapRowLen(FWidth, FBitCount, 32);
  const int64_t size = static_cast<int64_t>(FRowLen) * FHeight;
  const int64_t total = IEGetPhysicalMemory(false);
  if (total > 0 && size > total) return false;
  if (!FVclBitmap) {
    FVclBitmap = new TBitmap;
    FVclBitmapIsExternal = false;
  }
  TBitmap* b = FVclBitmap;
  // Emptied first, so that the format change converts no old pixels.
  b->SetSize(0, 0);
  b->SetPixelFormat(PlatformFormat(FPixelFormat));
  b->SetSize(FWidth, FHeight);
  if (b->Width() != FWidth || b->Height() != FHeight) return false;
  SetTableFor(b, FPixelFormat);
  BuildScanlineCache();
  if (!FMemoryBlock) return false;
  // New storage starts zeroed, wherever it lives.
  std::memset(FMemoryBlock, 0, static_cast<size_t>(size));
  UpdateTBitmapPalette();
  FFull = false;
  return true;
}

TIEBitmap* TIEBitmap::TBitmapCompatibleSource(TIEBitmap* Source, std::unique_ptr<TIEBitmap>& Held) {
  if (!Source || Source->FPixelFormat == ieNone || Holdable(Source->FPixelFormat) || Source->IsEmpty()) return Source;
  Held = std::make_unique<TIEBitmap>();
  Held->FBlackWhiteMethod = Source->FBlackWhiteMethod;
  Held->FDisplayLow = Source->FDisplayLow;
  Held->FDisplayHigh = Source->FDisplayHigh;
  const TIEPixelFormat target = Source->FPixelFormat == ie16g ? ie8g : ie24RGB;
  if (!Held->Allocate(Source->FWidth, Source->FHeight, target) || !IEConvertPixels(*Source, *Held)) {
    Held.reset();
    return nullptr;
  }
  Held->FFull = Source->FFull;
  return Held.get();
}

void TIEBitmap::MoveToTBitmap() {
  if (FLocation == ieTBitmap) return;
  if (const char* refused = RefusalText(FPixelFormat); refused && !IsEmpty()) throw Exception(refused);
  FNeedsAllocation = true;
  TIEBitmap tmp;
  MoveStorageTo(&tmp);
  FLocation = ieTBitmap;
  TIEBitmap* alpha = tmp.FAlphaChannel;
  tmp.FAlphaChannel = nullptr;
  if (tmp.IsEmpty()) {
    FPixelFormat = tmp.FPixelFormat;
  } else if (Allocate(tmp.FWidth, tmp.FHeight, tmp.FPixelFormat) && IEConvertPixels(tmp, *this)) {
    // ie16g arrives as ie8g; every other format row for row with its palette.
    UpdateTBitmapPalette();
  } else {
    // No platform bitmap could be had: the picture stays where it was.
    tmp.FAlphaChannel = alpha;
    tmp.MoveStorageTo(this);
    return;
  }
  FIsAlphaChannel = tmp.FIsAlphaChannel;
  FAlphaChannel = alpha;
  FFull = false;
}

void TIEBitmap::ResizeTBitmap(Integer NewWidth, Integer NewHeight) {
  if (!FVclBitmap) {
    if (Holdable(FPixelFormat) && NewWidth > 0 && NewHeight > 0) {
      Allocate(NewWidth, NewHeight, FPixelFormat);
    } else {
      FWidth = NewWidth;
      FHeight = NewHeight;
    }
    return;
  }
  // The platform bitmap keeps the part of its picture that still fits.
  FVclBitmap->SetSize(std::max(NewWidth, 0), std::max(NewHeight, 0));
  SyncTBitmapGeometry(false);
  FFull = false;
}

// ---------------------------------------------------------------------------
// Conversion and copies

bool TIEBitmap::ConvertTBitmapToPixelFormat(TIEPixelFormat PixelFormat) {
  if (FVclBitmap) SyncTBitmapGeometry(false);
  const TIEPixelFormat target = PixelFormat == ie16g ? ie8g : PixelFormat;
  // A format the platform bitmap cannot hold is refused outright: claiming
  // it while the rows keep their old layout would only be undone (or
  // misread) by the next look at the bitmap.
  if (!Holdable(target)) return false;
  if (target == FPixelFormat) return true;
  if (IsEmpty()) {
    if (FVclBitmap) FVclBitmap->SetPixelFormat(PlatformFormat(target));
    FPixelFormat = target;
    FNeedsAllocation = true;
    return true;
  }
  try {
    // Converted in memory, then laid into a platform bitmap of the new depth.
    TIEBitmap converted;
    converted.FLocation = ieMemory;
    converted.FBlackWhiteMethod = FBlackWhiteMethod;
    converted.FPaletteUsed = FPaletteUsed;
    converted.FDisplayLow = FDisplayLow;
    converted.FDisplayHigh = FDisplayHigh;
    if (!converted.Allocate(FWidth, FHeight, target) || !IEConvertPixels(*this, converted)) return false;
    auto nb = std::make_unique<TBitmap>();
    nb->SetPixelFormat(PlatformFormat(target));
    nb->SetSize(FWidth, FHeight);
    if (nb->Width() != FWidth || nb->Height() != FHeight) return false;
    const size_t bytes = static_cast<size_t>(std::min(converted.RowLen(), IEBitmapRowLen(FWidth, converted.BitCount(), 32)));
    for (Integer y = 0; y < FHeight; ++y) std::memcpy(nb->ScanLine(y), converted.GetScanline(y), bytes);
    SetTableFor(nb.get(), target);
    if (target == ie8p) {
      for (Integer i = 0; i < std::min(converted.FPaletteLength, nb->ColorTableSize()); ++i) {
        const TRGB& c = converted.FPalette[i];
        nb->SetColorTableEntry(i, RGBQUAD{c.b, c.g, c.r, 0});
      }
    }
    if (FVclBitmapIsExternal) {
      IECopyTBitmap(nb.get(), FVclBitmap);
    } else {
      delete FVclBitmap;
      FVclBitmap = nb.release();
    }
    // The format is settled here, not guessed from the colour table: a
    // palette that happens to be the grey ramp stays ie8p.
    FPixelFormat = target;
    FWidth = -1;  // forces the geometry to be taken anew
    SyncTBitmapGeometry(false);
    if (target == ie8p) std::memcpy(FPalette.get(), converted.FPalette.get(), sizeof(TRGB) * 256);
    return true;
  } catch (...) {
    return false;
  }
}

void TIEBitmap::CopyFromTBitmap(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap == FVclBitmap) return;
  const TPixelFormat spf = Bitmap->PixelFormat();
  // Layouts without a row format of their own are read from a 24-bit copy;
  // the caller's bitmap is never changed.
  std::unique_ptr<TBitmap> copy;
  TBitmap* src = Bitmap;
  auto as24 = [&] {
    copy = std::make_unique<TBitmap>();
    copy->Assign(Bitmap);
    copy->SetPixelFormat(pf24bit);
    src = copy.get();
  };
  if (FLocation == ieTBitmap) {
    if (!Bitmap->Empty() && spf != pf1bit && spf != pf24bit && spf != pf32bit) as24();
    if (!FVclBitmap) {
      FVclBitmap = new TBitmap;
      FVclBitmapIsExternal = false;
    }
    IECopyTBitmap(src, FVclBitmap);
    SyncTBitmapGeometry(true);
    FFull = false;
    return;
  }
  if (spf == pfDevice || spf == pfCustom) as24();
  const Integer w = src->Width(), h = src->Height();
  TIEPixelFormat pf;
  switch (src->PixelFormat()) {
    case pf1bit: pf = src->Monochrome() ? ie1g : ie8p; break;
    case pf4bit:
    case pf8bit: pf = ie8p; break;
    case pf32bit: pf = ie32RGB; break;
    default: pf = ie24RGB; break;
  }
  if (!Allocate(w, h, pf)) return;
  FFull = false;
  TIEBitmapAccess access = FAccess;
  FAccess = ieaWrite;
  switch (src->PixelFormat()) {
    case pf1bit:
      if (pf == ie1g) {
        CopyPlatformRows(src, *this, static_cast<size_t>(std::min(FRowLen, IEBitmapRowLen(w, 1, 32))));
      } else {
        for (Integer y = 0; y < h; ++y) {
          const Byte* s = static_cast<const Byte*>(src->ScanLine(y));
          Byte* d = static_cast<Byte*>(GetScanline(y));
          for (Integer x = 0; x < w; ++x) d[x] = (s[x >> 3] >> (7 - (x & 7))) & 1;
        }
      }
      break;
    case pf4bit:
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(src->ScanLine(y));
        Byte* d = static_cast<Byte*>(GetScanline(y));
        for (Integer x = 0; x < w; ++x) d[x] = (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4);
      }
      break;
    case pf15bit:
    case pf16bit: {
      const bool five = src->PixelFormat() == pf15bit;
      for (Integer y = 0; y < h; ++y) {
        const Byte* s = static_cast<const Byte*>(src->ScanLine(y));
        Byte* d = static_cast<Byte*>(GetScanline(y));
        for (Integer x = 0; x < w; ++x, d += 3) {
          const unsigned v = s[2 * x] | (unsigned(s[2 * x + 1]) << 8);
          const unsigned r = five ? (v >> 10) & 31 : v >> 11, b = v & 31;
          const unsigned g = five ? (v >> 5) & 31 : (v >> 5) & 63;
          d[2] = WidenSample(r, 5), d[1] = WidenSample(g, five ? 5 : 6), d[0] = WidenSample(b, 5);
        }
      }
      break;
    }
    default:  // 8, 24 and 32 bits: the rows as they are
      CopyPlatformRows(src, *this, static_cast<size_t>(std::min(FRowLen, IEBitmapRowLen(w, FBitCount, 32))));
      break;
  }
  FAccess = access;
  if (pf == ie8p) {
    const Integer n = std::min(src->ColorTableSize(), 256);
    for (Integer i = 0; i < n; ++i) {
      const RGBQUAD q = src->ColorTableEntry(i);
      FPalette[i] = TRGB{q.rgbBlue, q.rgbGreen, q.rgbRed};
    }
  }
}
