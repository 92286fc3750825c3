// Copies between pictures: whole-image assignment, clipped rectangle copies,
// the alpha merge, the scaled copy into a 24-bit picture, and the members
// that hand selection copies and rendering to their routines.
#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/iebitrows.h"
#include "imaging/core/render/ierender.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/bitmap/ieselcopy.h"

namespace {

// The part of the rectangle (SrcX, SrcY, W, H) of a SrcW x SrcH picture
// placed at (DstX, DstY) of a DstW x DstH picture that lies inside both.
// Computed in 64 bits: callers pass sums of coordinates from anywhere.
struct TClip {
  Integer sx, sy, dx, dy, w, h;
};

bool ClipRect(Integer SrcW, Integer SrcH, Integer DstW, Integer DstH, Integer SrcX, Integer SrcY, Integer DstX,
              Integer DstY, Integer W, Integer H, TClip& c) {
  int64_t sx = SrcX, sy = SrcY, dx = DstX, dy = DstY, w = W, h = H;
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  w = std::min({w, int64_t(SrcW) - sx, int64_t(DstW) - dx});
  h = std::min({h, int64_t(SrcH) - sy, int64_t(DstH) - dy});
  if (w <= 0 || h <= 0) return false;
  c = TClip{Integer(sx), Integer(sy), Integer(dx), Integer(dy), Integer(w), Integer(h)};
  return true;
}

inline bool Bit(const Byte* s, int64_t x) { return (s[x >> 3] & (0x80 >> (x & 7))) != 0; }

// Copies one clipped row of a source row of SrcLen bytes.
void CopyRectRow(const Byte* s, Integer SrcLen, Byte* d, TIEPixelFormat sp, TIEPixelFormat dp, const TClip& c) {
  if (sp == ie1g && dp == ie1g) {
    IECopyBits(d, s, c.dx, SrcLen, c.w, c.sx);
  } else if (sp == ie1g && dp == ie24RGB) {
    Byte* p = d + size_t(c.dx) * 3;
    for (Integer x = 0; x < c.w; ++x, p += 3) {
      Byte v = Bit(s, int64_t(c.sx) + x) ? 255 : 0;
      p[0] = p[1] = p[2] = v;
    }
  } else {
    size_t size = size_t(IEPixelFormatByteCount(sp));
    std::memmove(d + size * size_t(c.dx), s + size * size_t(c.sx), size * size_t(c.w));
  }
}

// Rows in an order that never overwrites a source row before it was read.
template <class F>
void ForRows(const TClip& c, bool SameBitmap, F&& f) {
  if (SameBitmap && c.dy > c.sy) {
    for (Integer i = c.h - 1; i >= 0; --i) f(i);
  } else {
    for (Integer i = 0; i < c.h; ++i) f(i);
  }
}

}  // namespace

void TIEBitmap::AssignImage(TIEBitmap* Source) {
  if (!Source || Source == this || Source->IsEmpty()) return;
  // A platform bitmap takes only the formats it can hold.
  std::unique_ptr<TIEBitmap> held;
  if (FLocation == ieTBitmap && !(Source = TBitmapCompatibleSource(Source, held))) return;
  FNeedsAllocation = true;
  // The alpha channel object outlives the new storage.
  TIEBitmap* alpha = FAlphaChannel;
  FAlphaChannel = nullptr;
  bool ok = Allocate(Source->FWidth, Source->FHeight, Source->FPixelFormat);
  if (ok) {
    TIEAccessScope sa(*Source, ieaRead), da(*this, ieaWrite);
    if (FLocation == ieFile && Source->FLocation == ieFile && FRowLen == Source->FRowLen) {
      ReleaseMappedRows();
      Source->ReleaseMappedRows();
      Source->FFileBuffer->CopyTo(FFileBuffer.get(), 0, static_cast<int64_t>(FRowLen) * FHeight);
    } else {
      // The alignments may differ: row by row, the shorter length.
      const size_t bytes = size_t(std::min(FRowLen, Source->FRowLen));
      for (Integer y = 0; y < FHeight; ++y) std::memcpy(GetScanline(y), Source->GetScanline(y), bytes);
    }
  }
  FFull = false;
  if (alpha) {
    if (!ok) {
      delete alpha;
      alpha = nullptr;
    } else if (alpha->FWidth != FWidth || alpha->FHeight != FHeight) {
      // An alpha channel of the old size would be read beyond its rows by
      // everything that walks the picture's rows; its values mean nothing
      // for the new picture, so it becomes wholly opaque.
      if (alpha->Allocate(FWidth, FHeight, ie8g)) {
        alpha->FillBytes(255);
      } else {
        delete alpha;
        alpha = nullptr;
      }
    }
    FAlphaChannel = alpha;
  }
  Source->CopyPaletteTo(this);
}

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DstX, Integer DstY, Integer Width,
                           Integer Height) {
  if (!Dest || IsEmpty() || Dest->IsEmpty()) return;
  const TIEPixelFormat sp = FPixelFormat, dp = Dest->FPixelFormat;
  bool supported = (sp == ie1g && (dp == ie1g || dp == ie24RGB)) || (sp == dp && IEPixelFormatByteCount(sp) > 0);
  if (!supported) return;
  TClip c;
  if (!ClipRect(FWidth, FHeight, Dest->FWidth, Dest->FHeight, SrcX, SrcY, DstX, DstY, Width, Height, c)) return;
  if (Dest == this) {
    std::vector<Byte> row(static_cast<size_t>(FRowLen));
    ForRows(c, true, [&](Integer i) {
      std::memcpy(row.data(), GetScanline(c.sy + i), row.size());
      CopyRectRow(row.data(), FRowLen, static_cast<Byte*>(GetScanline(c.dy + i)), sp, dp, c);
    });
    return;
  }
  TIEAccessScope sa(*this, ieaRead);
  ForRows(c, false, [&](Integer i) {
    CopyRectRow(static_cast<const Byte*>(GetScanline(c.sy + i)), FRowLen, static_cast<Byte*>(Dest->GetScanline(c.dy + i)),
                sp, dp, c);
  });
}

void TIEBitmap::MergeAlphaRectTo(TIEBitmap* Dest, Integer SrcX, Integer SrcY, Integer DstX, Integer DstY,
                                 Integer Width, Integer Height) {
  if (!Dest) return;
  TIEBitmap* sa = GetAlphaChannel();
  TIEBitmap* da = Dest->GetAlphaChannel();
  if (!sa || !da || sa->FPixelFormat != ie8g || da->FPixelFormat != ie8g || sa->IsEmpty() || da->IsEmpty()) return;
  TClip c;
  if (!ClipRect(sa->FWidth, sa->FHeight, da->FWidth, da->FHeight, SrcX, SrcY, DstX, DstY, Width, Height, c)) return;
  std::vector<Byte> row(static_cast<size_t>(c.w));
  ForRows(c, sa == da, [&](Integer i) {
    std::memcpy(row.data(), static_cast<const Byte*>(sa->GetScanline(c.sy + i)) + c.sx, row.size());
    Byte* d = static_cast<Byte*>(da->GetScanline(c.dy + i)) + c.dx;
    for (Integer x = 0; x < c.w; ++x) d[x] = std::max(d[x], row[size_t(x)]);
  });
}

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                              Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, TResampleFilter Filter,
                              Integer Transparency) {
  if (!Dest || Dest == this || Dest->FPixelFormat != ie24RGB || Dest->IsEmpty() || IsEmpty()) return;
  if (Filter != rfNone && (SrcWidth != DstWidth || SrcHeight != DstHeight)) {
    StretchRectFiltered(Dest, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, Filter, Transparency);
    return;
  }
  if (DstWidth <= 0 || DstHeight <= 0) return;
  const Byte transparency = Byte(std::clamp(Transparency, 0, 255));
  try {
    const int64_t stepX = Trunc(double(SrcWidth) / DstWidth * 16384.0);
    const int64_t stepY = Trunc(double(SrcHeight) / DstHeight * 16384.0);
    const int64_t x0 = std::max<int64_t>(DstX, 0), x1 = std::min<int64_t>(int64_t(DstX) + DstWidth - 1, Dest->FWidth - 1);
    const int64_t y0 = std::max<int64_t>(DstY, 0), y1 = std::min<int64_t>(int64_t(DstY) + DstHeight - 1, Dest->FHeight - 1);
    if (x1 < x0 || y1 < y0) return;
    // One source column per destination column and one source row per
    // destination row, kept inside the source: a caller's source rectangle
    // may reach beyond the picture.
    std::vector<Integer> cols(size_t(x1 - x0 + 1)), rows(size_t(y1 - y0 + 1));
    for (int64_t x = x0; x <= x1; ++x)
      cols[size_t(x - x0)] = Integer(std::clamp<int64_t>(SrcX + (((x - DstX) * stepX) >> 14), 0, FWidth - 1));
    for (int64_t y = y0; y <= y1; ++y)
      rows[size_t(y - y0)] = Integer(std::clamp<int64_t>(SrcY + (((y - DstY) * stepY) >> 14), 0, FHeight - 1));
    const size_t n = cols.size();
    // At 1:1 inside the source the columns are one run: whole-row copies.
    const bool run = stepX == 16384 && cols.back() - cols.front() == Integer(n - 1);

    TIEBitmap* da = Dest->GetAlphaChannel();
    TIEBitmap* sa = FAlphaChannel;
    if (sa && !sa->FFull && sa->FWidth == FWidth && sa->FHeight == FHeight) {
      TIEAccessScope ssa(*sa, ieaRead);
      for (size_t i = 0; i < rows.size(); ++i) {
        const Byte* s = static_cast<const Byte*>(sa->GetScanline(rows[i]));
        Byte* d = static_cast<Byte*>(da->GetScanline(Integer(y0 + int64_t(i)))) + x0;
        for (size_t j = 0; j < n; ++j) d[j] = std::min(transparency, s[cols[j]]);
      }
      da->FFull = false;
    } else {
      for (int64_t y = y0; y <= y1; ++y) std::memset(static_cast<Byte*>(da->GetScanline(Integer(y))) + x0, transparency, n);
      if (transparency != 255) da->FFull = false;
    }

    TIEAccessScope ss(*this, ieaRead);
    if (FPixelFormat == ie1g) {
      for (size_t i = 0; i < rows.size(); ++i) {
        const Byte* s = static_cast<const Byte*>(GetScanline(rows[i]));
        Byte* d = static_cast<Byte*>(Dest->GetScanline(Integer(y0 + int64_t(i)))) + x0 * 3;
        for (size_t j = 0; j < n; ++j, d += 3) d[0] = d[1] = d[2] = Bit(s, cols[j]) ? 255 : 0;
      }
    } else if (FPixelFormat == ie24RGB) {
      for (size_t i = 0; i < rows.size(); ++i) {
        const Byte* s = static_cast<const Byte*>(GetScanline(rows[i]));
        Byte* d = static_cast<Byte*>(Dest->GetScanline(Integer(y0 + int64_t(i)))) + x0 * 3;
        if (run) {
          std::memcpy(d, s + size_t(cols.front()) * 3, n * 3);
        } else {
          for (size_t j = 0; j < n; ++j, d += 3) std::memcpy(d, s + size_t(cols[j]) * 3, 3);
        }
      }
    }
  } catch (...) {
    // A failing row of a file-backed picture ends the copy; what was drawn stays.
  }
}

// The filtered scaled copy: the source rectangle is resampled to the
// destination size in temporary pictures, which are then copied 1:1.
void TIEBitmap::StretchRectFiltered(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                                    Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                                    TResampleFilter Filter, Integer Transparency) {
  if (DstWidth < 1 || DstHeight < 1 || SrcWidth < 1 || SrcHeight < 1) return;
  TIEBitmap scaled;
  try {
    if (SrcWidth < DstWidth || FPixelFormat != ie1g || FAlphaChannel) {
      TIEBitmap part;
      if (!part.Allocate(SrcWidth, SrcHeight, FPixelFormat)) return;
      CopyRectTo(&part, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
      CopyPaletteTo(&part);
      if (FAlphaChannel) {
        TIEBitmap* pa = part.GetAlphaChannel();
        FAlphaChannel->CopyRectTo(pa, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
        pa->FFull = FAlphaChannel->FFull;
      }
      const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
      if (!scaled.Allocate(DstWidth, DstHeight, FPixelFormat == ie1g && project ? ie1g : ie24RGB)) return;
      if (FPixelFormat == ie1g) IEResample1Bit(&part, &scaled, Filter);
      else IEResampleFiltered(&part, &scaled, Filter);
      // The plain copy below draws ie1g and ie24RGB pictures only.
      if (scaled.FPixelFormat != ie1g && scaled.FPixelFormat != ie24RGB && !scaled.ConvertToPixelFormat(ie24RGB)) return;
      if (FAlphaChannel) {
        TIEBitmap* sa = scaled.GetAlphaChannel();
        IEResample8Bit(part.GetAlphaChannel(), sa, Filter);
        sa->FFull = FAlphaChannel->FFull;
      }
    } else {
      // A black-and-white picture shrunk horizontally: grey from the share of
      // white pixels each destination pixel covers.
      if (!scaled.Allocate(DstWidth, DstHeight, ie24RGB)) return;
      const Integer x2 = Integer(std::min<int64_t>(int64_t(SrcX) + SrcWidth - 1, INT32_MAX));
      const Integer y2 = Integer(std::min<int64_t>(int64_t(SrcY) + SrcHeight - 1, INT32_MAX));
      IEResample1BitToGray24(this, SrcX, SrcY, x2, y2, &scaled);
    }
  } catch (...) {
    // No memory for the resampling buffers: nothing is drawn.
    return;
  }
  scaled.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone, Transparency);
}

void TIEBitmap::CopySelectionTo(TIEBitmap* Dest, TIEMask* Mask) { IECopySelectionTo(*this, Dest, Mask); }

void TIEBitmap::CopySelectionOnBackgroundTo(TIEBitmap* Dest, TIEMask* Mask, Integer Background) {
  IECopySelectionOnBackgroundTo(*this, Dest, Mask, Background);
}

void TIEBitmap::PasteSelectionTo(TIEBitmap* Dest, TIEMask* Mask) { IEPasteSelectionTo(*this, Dest, Mask); }

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) { IECopyFromTIEMask(*this, Mask); }

void TIEBitmap::CopyToTIEMask(TIEMask* Mask) { IECopyToTIEMask(*this, Mask); }

void TIEBitmap::RenderToTIEBitmapEx(TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                                    std::unique_ptr<TIEMapTable>& XMap, std::unique_ptr<TIEMapTable>& YMap,
                                    const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth,
                                    Integer DstHeight, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                                    bool EnableAlpha, bool ReuseRows, Integer Transparency, TResampleFilter Filter,
                                    bool FreeTables, Byte BlendOperation) {
  ::RenderToTIEBitmapEx(*this, Dest, DestRows, XMap, YMap, ClipRect, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY,
                        SrcWidth, SrcHeight, EnableAlpha, ReuseRows, Transparency, Filter, FreeTables,
                        BlendOperation);
}

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                                  Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                                  Integer Transparency, TResampleFilter Filter, Byte BlendOperation) {
  ::RenderToTIEBitmap(*this, Dest, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, Transparency,
                      Filter, BlendOperation);
}
