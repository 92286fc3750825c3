// Operations that change how colours are represented: gray, negative, black
// and white, fewer colours and the expansion of 1-bit pictures to 24 bits.
#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/core/base/iestartup.h"  // grey weights
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/color/iecolorformat.h"
#include "imaging/core/color/iequantizer.h"
#include "imaging/core/kernels/iefilters.h"  // the expansion table and the predefined filters
#include "imaging/proc/procrows.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/strutils.h"
#include "platform/graphics/bitmap.h"

namespace {

inline void InvertBytes(Byte* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);
    v = ~v;
    std::memcpy(p + i, &v, 8);
  }
  for (; i < n; ++i) p[i] = static_cast<Byte>(~p[i]);
}

}  // namespace

void IEProcInitialize() {
  IEBuild1BitExpandTable();
  IEBuildPredefinedFilters();
}
void IEProcFinalize() { IEFreePredefinedFilters(); }

namespace {
const TIEStartupRegistrar kProcStartup(iessProc, "IEProcInitialize", &IEProcInitialize, &IEProcFinalize);
}  // namespace

void IEConvertToGray24(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2,
                       const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const Integer wr = IEGrayWeightRed, wg = IEGrayWeightGreen, wb = IEGrayWeightBlue;
  for (Integer y = c.y1; y < c.y2; ++y) {
    Byte* p = static_cast<Byte*>(Bitmap->GetScanline(y)) + 3 * static_cast<ptrdiff_t>(c.x1);
    for (Integer x = c.x1; x < c.x2; ++x, p += 3) {
      const Byte g = static_cast<Byte>((p[2] * wr + p[1] * wg + p[0] * wb) / 100);
      p[0] = p[1] = p[2] = g;
    }
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, c.y2 - c.y1);
  }
}

void IENegative(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, const TIEProgressEvent& OnProgress,
                TObject* Sender) {
  if (!Bitmap) return;
  const TIEPixelFormat pf = Bitmap->PixelFormat();
  if (pf == ie8p) {
    for (Integer i = 0; i < Bitmap->GetPaletteLength(); ++i) {
      TRGB c;
      Bitmap->GetPaletteColor(i, c);
      c = TRGB{static_cast<Byte>(255 - c.b), static_cast<Byte>(255 - c.g), static_cast<Byte>(255 - c.r)};
      Bitmap->SetPaletteColor(i, c);
    }
    return;
  }
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const Integer n = c.y2 - c.y1;
  for (Integer y = c.y1; y < c.y2; ++y) {
    Byte* row = static_cast<Byte*>(Bitmap->GetScanline(y));
    switch (pf) {
      case ie1g:
        if (c.x1 % 8 == 0 && (c.x2 - c.x1) % 8 == 0) {
          InvertBytes(row + c.x1 / 8, static_cast<size_t>(c.x2 - c.x1) / 8);
        } else {
          for (Integer x = c.x1; x < c.x2; ++x) row[x >> 3] ^= static_cast<Byte>(0x80 >> (x & 7));
        }
        break;
      case ie8g:
      case ie24RGB:
      case ieRGB48:
      case ie16g: {
        const Integer bpp = IEPixelFormatByteCount(pf);
        InvertBytes(row + static_cast<ptrdiff_t>(bpp) * c.x1, static_cast<size_t>(bpp) * (c.x2 - c.x1));
        break;
      }
      case ie32f: {
        float* f = reinterpret_cast<float*>(row);
        for (Integer x = c.x1; x < c.x2; ++x) f[x] = 1.0f - f[x];
        break;
      }
      case ie32RGB:
        for (Integer x = c.x1; x < c.x2; ++x)
          for (int k = 0; k < 3; ++k) row[4 * x + k] = static_cast<Byte>(255 - row[4 * x + k]);
        break;
      case ieCMYK: {
        TCMYK* p = reinterpret_cast<TCMYK*>(row);
        for (Integer x = c.x1; x < c.x2; ++x) {
          TRGB rgb;
          IEConvertCMYKToRGB(p[x], rgb);
          p[x] = IEConvertRGBToCMYK(
              TRGB{static_cast<Byte>(255 - rgb.b), static_cast<Byte>(255 - rgb.g), static_cast<Byte>(255 - rgb.r)});
        }
        break;
      }
      case ieCIELab: {
        TCIELab* p = reinterpret_cast<TCIELab*>(row);
        for (Integer x = c.x1; x < c.x2; ++x) {
          TRGB rgb = IECIELabToRGB(p[x]);
          p[x] = IERGBToCIELab(
              TRGB{static_cast<Byte>(255 - rgb.b), static_cast<Byte>(255 - rgb.g), static_cast<Byte>(255 - rgb.r)});
        }
        break;
      }
      default:
        return;
    }
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, n);
  }
}

void IEQuantizeColors(TIEBitmap* Bitmap, Integer Count, TRGB* Palette, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB || Count < 1) return;
  // The quantizer makes at most 256 entries; larger counts keep their tail
  // as the caller gave it.
  std::vector<TRGB> own;
  if (!Palette) {
    own.assign(static_cast<size_t>(std::max(Count, 256)), TRGB{0, 0, 0});
    Palette = own.data();
  }
  TIEQuantizer q(Bitmap, Palette, std::min(Count, 256));
  const Integer W = Bitmap->Width(), H = Bitmap->Height();
  const Integer entries = std::min(Count, 256);
  for (Integer y = 0; y < H; ++y) {
    TRGB* p = static_cast<TRGB*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < W; ++x) {
      Integer i = q.RGBIndex(p[x]);
      if (i >= 0 && i < entries) p[x] = Palette[i];
    }
    if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc((y + 1) * 100.0 / (H + 0.5))));
  }
}

void IEExpand1BitTo24(TIEBitmap* Source, TIEBitmap* Target, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Source || !Target || Source->PixelFormat() != ie1g) return;
  const Integer W = Source->Width(), H = Source->Height();
  if (!Target->Allocate(W, H, ie24RGB)) return;
  const auto& table = IE1BitExpandTable;
  std::vector<Byte> bits(static_cast<size_t>((W + 7) / 8));
  for (Integer y = 0; y < H; ++y) {
    std::memcpy(bits.data(), Source->GetScanline(y), bits.size());
    Byte* d = static_cast<Byte*>(Target->GetScanline(y));
    const Integer whole = W / 8;
    for (Integer i = 0; i < whole; ++i, d += 24) std::memcpy(d, table[bits[static_cast<size_t>(i)]].data(), 24);
    if (W % 8) std::memcpy(d, table[bits[static_cast<size_t>(whole)]].data(), static_cast<size_t>(W % 8) * 3);
    if (OnProgress) OnProgress(Sender, static_cast<Integer>(Trunc((y + 1) * 100.0 / (H + 0.5))));
  }
}

// ---------------------------------------------------------------------------
// Operations
// ---------------------------------------------------------------------------

void TZiduzUvProc::ConvertToGray() {
  TIEProcOperation op;
  if (!BeginOperation(IEPixelFormats(ie24RGB), u"ConvertToGray", op)) return;
  IEConvertToGray24(op.Work, op.x1, op.y1, op.x2, op.y2, ProgressEvent(), this);
  EndOperation(op);
  DoFinishWork();
}

void TZiduzUvProc::Negative() {
  TIEProcOperation op;
  if (!BeginOperation(0, u"Negative", op)) return;
  if (op.Temporary && op.Work->PixelFormat() == ie8p) {
    // A paletted selection cannot be inverted through the palette, which the
    // whole picture shares: the selection's pixels need colours of their
    // own, so the picture becomes 24-bit first.
    op.Temporary.reset();
    FIEBitmap->SetPixelFormat(ie24RGB);
    if (FIEBitmap->PixelFormat() != ie24RGB || !BeginOperationBox(op)) {
      RefreshAttached();
      return;
    }
  }
  IENegative(op.Work, op.x1, op.y1, op.x2, op.y2, ProgressEvent(), this);
  EndOperation(op);
  DoFinishWork();
}

void TZiduzUvProc::ConvertTo(Integer NumColors, Byte DitherMethod) {
  if (!PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  if (FAutoUndo) SaveUndoCaptioned(u"ConvertTo " + IntToStr(NumColors), ieuImage);
  ConvertToColors(NumColors, nullptr, DitherMethod);
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::ConvertToColors(Integer NumColors, TRGB* Palette, Byte DitherMethod) {
  if (NumColors < 3) {
    std::atomic<bool> abort{false};
    TIEProgressRec rec(abort, ProgressEvent(), this);
    if (DitherMethod == 0)
      IEDitherTo1Bit(FIEBitmap, rec);
    else
      IEThresholdTo1Bit(FIEBitmap, -1, rec);
  } else if (NumColors <= 1024) {
    IEQuantizeColors(FIEBitmap, NumColors, Palette, ProgressEvent(), this);
  }
}

void TZiduzUvProc::ConvertToPalette(Integer NumColors, TRGB* Palette, Byte DitherMethod) {
  // Fewer than one colour has no palette to fill.
  if (NumColors < 1) return;
  if (!PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  if (FAutoUndo) SaveUndoCaptioned(u"ConvertToPalette", ieuImage);
  ConvertToColors(NumColors, NumColors >= 3 ? Palette : nullptr, DitherMethod);
  if (NumColors < 3 && Palette) {
    // Only as many entries as the caller's palette holds.
    Palette[0] = TRGB{0, 0, 0};
    if (NumColors >= 2) Palette[1] = TRGB{255, 255, 255};
  }
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::ConvertToBWThreshold(Integer Threshold) {
  if (!PrepareBitmap(IEPixelFormats(ie24RGB))) return;
  if (FAutoUndo) SaveUndoCaptioned(u"ConvertToBWThreshold " + IntToStr(Threshold), ieuImage);
  std::atomic<bool> abort{false};
  TIEProgressRec rec(abort, ProgressEvent(), this);
  IEThresholdTo1Bit(FIEBitmap, Threshold, rec);
  RefreshAttached();
  DoFinishWork();
}

void TZiduzUvProc::ConvertTo24Bit() {
  RewrapTBitmap();
  if (FIEBitmap->PixelFormat() != ie1g) return;
  // The platform bitmap's own depth matters only when one is attached.
  if (FAttachedTBitmap && FAttachedTBitmap->PixelFormat() != pf1bit) return;
  if (!PrepareBitmap(IEPixelFormats(ie1g))) return;
  if (FAutoUndo) SaveUndoCaptioned(u"ConvertTo24Bit", ieuImage);
  TIEBitmap copy;
  copy.Assign(FIEBitmap);
  IEExpand1BitTo24(&copy, FIEBitmap, ProgressEvent(), this);
  RefreshAttached();
  DoFinishWork();
}
