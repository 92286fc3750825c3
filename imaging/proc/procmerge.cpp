// Operations that write given colours or another picture into the picture:
// merge, fill and transparent colour ranges.
#include <algorithm>

#include "imaging/core/geometry/ieresample.h"  // IEStretchNearest
#include "imaging/proc/procrows.h"
#include "imaging/proc/ziduzuvproc.h"
#include "platform/base/strutils.h"

void IEMergeBitmap24(TIEBitmap* Bitmap, TIEBitmap* Source, Integer Percent, Integer x1, Integer y1, Integer x2,
                     Integer y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || !Source || Bitmap->PixelFormat() != ie24RGB || Source->IsEmpty()) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  if (c.x2 <= c.x1 || c.y2 <= c.y1) return;
  // The given picture is read as 24-bit rows: any other layout is converted
  // on a copy first instead of being misread.
  TIEBitmap converted;
  if (Source->PixelFormat() != ie24RGB) {
    converted.Assign(Source);
    converted.SetPixelFormat(ie24RGB);
    if (converted.PixelFormat() != ie24RGB) return;
    Source = &converted;
  }
  TIEBitmap stretched;
  if (!stretched.Allocate(c.x2 - c.x1, c.y2 - c.y1, ie24RGB)) return;
  IEStretchNearest(Source, &stretched);
  const double e = Percent / 100.0, f = (100 - Percent) / 100.0;
  const Integer n = c.y2 - c.y1;
  for (Integer y = c.y1; y < c.y2; ++y) {
    const Byte* s = static_cast<const Byte*>(stretched.GetScanline(y - c.y1));
    Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y)) + 3 * static_cast<ptrdiff_t>(c.x1);
    for (Integer i = 0; i < 3 * (c.x2 - c.x1); ++i)
      d[i] = static_cast<Byte>(std::clamp<int64_t>(Round(d[i] * e + s[i] * f), 0, 255));
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, n);
  }
}

void IEFillRect24(TIEBitmap* Bitmap, Integer x1, Integer y1, Integer x2, Integer y2, Cardinal Color,
                  const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap) return;
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const Integer n = c.y2 - c.y1;
  if (Bitmap->PixelFormat() == ie24RGB) {
    const Byte b = Color & 0xFF, g = (Color >> 8) & 0xFF, r = (Color >> 16) & 0xFF;
    for (Integer y = c.y1; y < c.y2; ++y) {
      Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y));
      for (Integer x = c.x1; x < c.x2; ++x) {
        d[3 * x] = b;
        d[3 * x + 1] = g;
        d[3 * x + 2] = r;
      }
      IEReportRow(OnProgress, Sender, y - c.y1 + 1, n);
    }
  } else if (Bitmap->PixelFormat() == ie1g) {
    const bool white = (Color & 0xFFFFFF) >= 65536;
    for (Integer y = c.y1; y < c.y2; ++y) {
      Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y));
      for (Integer x = c.x1; x < c.x2; ++x) {
        const Byte bit = static_cast<Byte>(0x80 >> (x & 7));
        d[x >> 3] = white ? (d[x >> 3] | bit) : (d[x >> 3] & ~bit);
      }
    }
  }
}

void IESetTransparentRange(TIEBitmap* Bitmap, Cardinal MinColor, Cardinal MaxColor, Integer Alpha, Integer x1,
                           Integer y1, Integer x2, Integer y2, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || (Bitmap->PixelFormat() != ie24RGB && Bitmap->PixelFormat() != ie1g)) return;
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  TIERowClip c(Bitmap, x1, y1, x2, y2);
  const Integer n = c.y2 - c.y1;
  const Byte a = static_cast<Byte>(Alpha & 0xFF);
  const Byte lo[3] = {Byte(MinColor), Byte(MinColor >> 8), Byte(MinColor >> 16)};
  const Byte hi[3] = {Byte(MaxColor), Byte(MaxColor >> 8), Byte(MaxColor >> 16)};
  const bool targetWhite = (MinColor & 0xFFFFFF) >= 65536;
  std::vector<Byte> row(static_cast<size_t>(Bitmap->RowLen()));
  for (Integer y = c.y1; y < c.y2; ++y) {
    const Byte* s = static_cast<const Byte*>(Bitmap->GetScanline(y));
    std::copy(s, s + row.size(), row.begin());
    Byte* d = static_cast<Byte*>(alpha->GetScanline(y));
    for (Integer x = c.x1; x < c.x2; ++x) {
      bool hit;
      if (Bitmap->PixelFormat() == ie24RGB) {
        const Byte* p = &row[3 * static_cast<size_t>(x)];
        hit = true;
        for (int k = 0; k < 3; ++k) hit = hit && p[k] >= lo[k] && p[k] <= hi[k];
      } else {
        const bool white = (row[static_cast<size_t>(x >> 3)] & (0x80 >> (x & 7))) != 0;
        hit = white == targetWhite;
      }
      if (hit) d[x] = a;
    }
    IEReportRow(OnProgress, Sender, y - c.y1 + 1, n);
  }
  alpha->SyncFull();
}

void IEFillTransparentPixels(TIEBitmap* Bitmap, Cardinal Color) {
  if (!Bitmap || Bitmap->PixelFormat() != ie24RGB) return;
  TIEBitmap* alpha = Bitmap->GetAlphaChannel();
  const Byte b = Color & 0xFF, g = (Color >> 8) & 0xFF, r = (Color >> 16) & 0xFF;
  std::vector<Byte> arow(static_cast<size_t>(alpha->RowLen()));
  for (Integer y = 0; y < Bitmap->Height(); ++y) {
    const Byte* a = static_cast<const Byte*>(alpha->GetScanline(y));
    std::copy(a, a + arow.size(), arow.begin());
    Byte* d = static_cast<Byte*>(Bitmap->GetScanline(y));
    for (Integer x = 0; x < Bitmap->Width(); ++x)
      if (arow[static_cast<size_t>(x)] == 0) {
        d[3 * x] = b;
        d[3 * x + 1] = g;
        d[3 * x + 2] = r;
      }
  }
}

void TZiduzUvProc::Merge(TIEBitmap* Bitmap, Integer Percent) {
  if (!Bitmap || Bitmap == FIEBitmap) return;
  TIEProcOperation op;
  if (!BeginOperation(IEPixelFormats(ie24RGB), u"Merge " + IntToStr(Percent), op)) return;
  IEMergeBitmap24(op.Work, Bitmap, Percent, op.x1, op.y1, op.x2, op.y2, ProgressEvent(), this);
  EndOperation(op);
  DoFinishWork();
}

void TZiduzUvProc::MergeTBitmap(TBitmap* Bitmap, Integer Percent) {
  if (!Bitmap) return;
  TIEBitmap wrapper;
  wrapper.EncapsulateTBitmap(Bitmap, true);
  Merge(&wrapper, Percent);
  DoFinishWork();
}

void TZiduzUvProc::Fill(Cardinal Color) {
  TIEProcOperation op;
  if (!BeginOperation(IEPixelFormats(ie1g, ie24RGB), u"Fill", op)) return;
  IEFillRect24(op.Work, op.x1, op.y1, op.x2, op.y2, Color, ProgressEvent(), this);
  EndOperation(op);
  DoFinishWork();
}

void TZiduzUvProc::SetTransparentColors(Cardinal MinColor, Cardinal MaxColor, Integer Alpha) {
  TIEProcOperation op;
  if (!BeginOperation(IEPixelFormats(ie1g, ie24RGB), u"SetTransparentColors", op)) return;
  IESetTransparentRange(op.Work, MinColor, MaxColor, Alpha, op.x1, op.y1, op.x2, op.y2, ProgressEvent(), this);
  EndOperation(op);
  DoFinishWork();
}
