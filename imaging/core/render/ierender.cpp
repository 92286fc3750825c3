#include "imaging/core/render/ierender.h"

#include <algorithm>
#include <cstring>

#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/geometry/ieresamplerows.h"

namespace {

constexpr Integer kStepOne = 16384;

// Tables of one call: either the caller's, or built here and afterwards
// freed or handed back.
template <class T>
struct TTable {
  std::unique_ptr<T>& Caller;
  std::unique_ptr<T> Built;
  const T* Use = nullptr;
  explicit TTable(std::unique_ptr<T>& C) : Caller(C) {}
  T& Build() {
    Built = std::make_unique<T>();
    Use = Built.get();
    return *Built;
  }
  void Finish(bool FreeTables) {
    if (!FreeTables && Built) Caller = std::move(Built);
  }
};

// A cached map fits when it covers the window and each entry in the window
// lies inside the source; the window's last entries may be pulled in while
// they point beyond the source.
// The drawn window, inclusive: the destination rectangle cut by the clip
// rectangle (left, top, right, bottom, inclusive) and by Dest's size. False
// when nothing of it is left.
bool DrawnWindow(Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight, const Integer* ClipRect,
                 Integer DestW, Integer DestH, int64_t& X1, int64_t& Y1, int64_t& X2, int64_t& Y2) {
  X1 = DstX;
  Y1 = DstY;
  X2 = int64_t(DstX) + DstWidth - 1;
  Y2 = int64_t(DstY) + DstHeight - 1;
  if (ClipRect) {
    X1 = std::max<int64_t>(X1, ClipRect[0]);
    Y1 = std::max<int64_t>(Y1, ClipRect[1]);
    X2 = std::min<int64_t>(X2, ClipRect[2]);
    Y2 = std::min<int64_t>(Y2, ClipRect[3]);
  }
  X1 = std::max<int64_t>(X1, 0);
  Y1 = std::max<int64_t>(Y1, 0);
  X2 = std::min<int64_t>(X2, int64_t(DestW) - 1);
  Y2 = std::min<int64_t>(Y2, int64_t(DestH) - 1);
  return X2 >= X1 && Y2 >= Y1;
}

bool FitCachedMap(const TIEMapTable* Map, Integer Origin, Integer First, Integer& Last, Integer Limit) {
  if (!Map || int64_t(Map->size()) <= int64_t(Last) - Origin) return false;
  while (Last >= First && (*Map)[size_t(Last - Origin)] >= Limit) --Last;
  for (Integer i = First; i <= Last; ++i) {
    const Integer v = (*Map)[size_t(i - Origin)];
    if (v < 0 || v >= Limit) return false;
  }
  return true;
}

void BuildMap(TIEMapTable& Map, Integer Count, Integer SrcStart, Integer SrcSize, Integer DstSize, Integer Limit) {
  Map.resize(size_t(Count));
  for (Integer i = 0; i < Count; ++i) {
    // (i x SrcSize / DstSize + SrcStart), truncated, kept in the source.
    const double v = double(i) * SrcSize / DstSize + SrcStart;
    const int64_t m = v < 0 ? 0 : int64_t(v);
    Map[size_t(i)] = Integer(std::min<int64_t>(m, Limit - 1));
  }
}

using TRowRenderer = void (*)(TIEBitmap&, const TIERenderRowsArgs&);

TRowRenderer RendererOf(TIEPixelFormat PF, bool Blended) {
  switch (PF) {
    case ie24RGB: return Blended ? RenderRows24RGBBlended : RenderRows24RGB;
    case ie32RGB: return Blended ? RenderRows32RGBBlended : RenderRows32RGB;
    case ie1g: return Blended ? RenderRows1gBlended : RenderRows1g;
    case ie8g: return Blended ? RenderRows8gBlended : RenderRows8g;
    case ie8p: return Blended ? RenderRows8pBlended : RenderRows8p;
    case ie16g: return Blended ? RenderRows16gBlended : RenderRows16g;
    case ie32f: return Blended ? RenderRows32fBlended : RenderRows32f;
    case ieCMYK: return Blended ? RenderRowsCMYKBlended : RenderRowsCMYK;
    case ieCIELab: return Blended ? RenderRowsCIELabBlended : RenderRowsCIELab;
    case ieRGB48: return Blended ? RenderRowsRGB48Blended : RenderRowsRGB48;
    default: return nullptr;
  }
}

// The filtered path: the source rectangle resampled to the destination size
// in a temporary picture, which is then drawn unscaled.
void RenderFiltered(TIEBitmap& Source, TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                    const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                    Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, bool EnableAlpha,
                    bool ReuseRows, Integer Transparency, TResampleFilter Filter, Byte BlendOperation) {
  const TIEPixelFormat pf = Source.PixelFormat();
  const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
  const bool withAlpha = EnableAlpha && Source.HasAlphaChannel();
  TIEBitmap scaled;
  if (SrcWidth < DstWidth || pf != ie1g || withAlpha || project) {
    TIEBitmap part;
    if (!part.Allocate(SrcWidth, SrcHeight, pf)) return;
    Source.CopyRectTo(&part, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
    if (withAlpha) {
      TIEBitmap* sa = Source.GetAlphaChannel();
      TIEBitmap* pa = part.GetAlphaChannel();
      sa->CopyRectTo(pa, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
      pa->SetFull(sa->Full());
    }
    if (!scaled.Allocate(DstWidth, DstHeight, pf == ie1g && project ? ie1g : ie24RGB)) return;
    if (pf == ie1g)
      IEResample1Bit(&part, &scaled, Filter);
    else
      IEResampleFiltered(&part, &scaled, Filter);
    if (withAlpha) {
      TIEBitmap* pa = part.GetAlphaChannel();
      TIEBitmap* da = scaled.GetAlphaChannel();
      if (!da->Allocate(DstWidth, DstHeight, ie8g)) return;
      IEResample8Bit(pa, da, Filter);
      da->SetFull(pa->Full());
    }
  } else {
    // An ie1g source shrunk across, without alpha: averaged set bits.
    if (!scaled.Allocate(DstWidth, DstHeight, ie24RGB)) return;
    IEResample1BitToGray24(&Source, SrcX, SrcY, SrcX + SrcWidth - 1, SrcY + SrcHeight - 1, &scaled);
  }
  for (Integer i = 0; i < 3; ++i) scaled.SetChannelOffset(i, Source.ChannelOffset(i));
  scaled.SetChannelOffsetsOn(Source.ChannelOffsetsOn());
  scaled.SetContrast(Source.Contrast());
  std::unique_ptr<TIEMapTable> xmap, ymap;
  RenderToTIEBitmapEx(scaled, Dest, DestRows, xmap, ymap, ClipRect, DstX, DstY, DstWidth, DstHeight, 0, 0,
                      scaled.Width(), scaled.Height(), EnableAlpha, ReuseRows, Transparency, rfNone, true,
                      BlendOperation);
}

// rfFastLinear of an ie24RGB source, made the way the filtered path above
// defines it (the source rectangle scaled to the destination size, then
// drawn unscaled) but without the two pictures: only the columns and rows
// of the drawn window are made, straight from the source rectangle, a strip
// of rows at a time, and each strip is drawn unscaled before the next. The
// horizontally scaled source rows are kept while the next destination rows
// still need them. This is the view's paint path with a zoom filter, so it
// allocates nothing of the picture's size. False (nothing drawn) when the
// alpha channel is not one this path reads; the caller then takes the
// general path.
bool RenderFastLinear(TIEBitmap& Source, TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                      const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                      Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, bool EnableAlpha,
                      bool ReuseRows, Integer Transparency, Byte BlendOperation) {
  TIEBitmap* alpha = EnableAlpha && Source.HasAlphaChannel() ? Source.GetAlphaChannel() : nullptr;
  if (alpha && (alpha->PixelFormat() != ie8g || alpha->Width() != Source.Width() ||
                alpha->Height() != Source.Height()))
    return false;
  // A Full alpha channel is never read by the drawing, so it is not scaled.
  if (alpha && alpha->Full()) alpha = nullptr;

  const Integer destW = Dest->Width(), destH = Dest->Height();
  int64_t x1, y1, x2, y2;
  if (!DrawnWindow(DstX, DstY, DstWidth, DstHeight, ClipRect, destW, destH, x1, y1, x2, y2)) return true;

  // Window columns and rows of the scaled picture.
  const Integer colFirst = Integer(x1 - DstX), colLast = Integer(x2 - DstX);
  const Integer rowFirst = Integer(y1 - DstY), rowLast = Integer(y2 - DstY);
  const Integer width = colLast - colFirst + 1;
  const size_t colorBytes = size_t(width) * 3;

  using ieresample_detail::TFastLinearScaler;
  const TFastLinearScaler color(SrcWidth, SrcHeight, DstWidth, DstHeight, 3);
  std::unique_ptr<TFastLinearScaler> alphaScaler;
  if (alpha) alphaScaler = std::make_unique<TFastLinearScaler>(SrcWidth, SrcHeight, DstWidth, DstHeight, 1);

  // Scaled source rows, slot = row mod slots: the rows of a span are
  // consecutive and the spans move down, so a span never evicts its own rows.
  Integer slots = 1;
  for (Integer j = rowFirst; j <= rowLast; ++j) {
    const TFastLinearScaler::TSpan span = color.RowSpan(j);
    slots = std::max(slots, span.To - span.From + 1);
  }
  std::vector<Byte> scaled(colorBytes * size_t(slots));
  std::vector<Byte> scaledAlpha(alpha ? size_t(width) * size_t(slots) : 0);
  std::vector<Integer> tag(size_t(slots), -1);
  std::vector<const Byte*> rows(static_cast<size_t>(slots)), alphaRows(static_cast<size_t>(slots));

  // The strip: a band of the scaled picture, with what the drawing reads
  // of the source besides its pixels.
  const Integer stripRows = Integer(std::clamp<int64_t>(int64_t(131072) / int64_t(colorBytes), 1, 64));
  TIEBitmap strip;
  if (!strip.Allocate(width, std::min(stripRows, rowLast - rowFirst + 1), ie24RGB)) return true;
  for (Integer i = 0; i < 3; ++i) strip.SetChannelOffset(i, Source.ChannelOffset(i));
  strip.SetChannelOffsetsOn(Source.ChannelOffsetsOn());
  strip.SetContrast(Source.Contrast());
  TIEBitmap* stripAlpha = nullptr;
  if (alpha) {
    stripAlpha = strip.GetAlphaChannel();
    if (!stripAlpha->Allocate(strip.Width(), strip.Height(), ie8g)) return true;
    stripAlpha->SetFull(false);
  }

  // One row table for every strip.
  std::unique_ptr<TIERowTable> ownRows;
  std::unique_ptr<TIERowTable>& rowTable = DestRows && int64_t(DestRows->size()) >= destH ? DestRows : ownRows;
  if (!rowTable) {
    rowTable = std::make_unique<TIERowTable>(size_t(destH));
    for (Integer y = 0; y < destH; ++y) (*rowTable)[size_t(y)] = static_cast<Byte*>(Dest->GetScanline(y));
  }

  std::unique_ptr<TIEAccessScope> alphaAccess;
  if (alpha) alphaAccess = std::make_unique<TIEAccessScope>(*alpha, ieaRead);
  for (Integer top = rowFirst; top <= rowLast; top += strip.Height()) {
    const Integer n = std::min(strip.Height(), rowLast - top + 1);
    for (Integer k = 0; k < n; ++k) {
      const TFastLinearScaler::TSpan span = color.RowSpan(top + k);
      for (Integer r = span.From; r <= span.To; ++r) {
        const size_t slot = size_t(r % slots);
        if (tag[slot] != r) {
          const Byte* s = static_cast<const Byte*>(Source.GetScanline(SrcY + r)) + size_t(SrcX) * 3;
          color.ScaleRow(s, scaled.data() + slot * colorBytes, colFirst, colLast);
          if (alpha) {
            const Byte* a = static_cast<const Byte*>(alpha->GetScanline(SrcY + r)) + SrcX;
            alphaScaler->ScaleRow(a, scaledAlpha.data() + slot * size_t(width), colFirst, colLast);
          }
          tag[slot] = r;
        }
        rows[size_t(r - span.From)] = scaled.data() + slot * colorBytes;
        if (alpha) alphaRows[size_t(r - span.From)] = scaledAlpha.data() + slot * size_t(width);
      }
      color.CombineRows(span, rows.data(), static_cast<Byte*>(strip.GetScanline(k)), Integer(colorBytes));
      if (alpha)
        alphaScaler->CombineRows(span, alphaRows.data(), static_cast<Byte*>(stripAlpha->GetScanline(k)), width);
    }
    std::unique_ptr<TIEMapTable> xmap, ymap;
    RenderToTIEBitmapEx(strip, Dest, rowTable, xmap, ymap, ClipRect, Integer(x1), top + DstY, width, n, 0, 0, width,
                        n, EnableAlpha, ReuseRows, Transparency, rfNone, true, BlendOperation);
  }
  return true;
}

}  // namespace

void RenderToTIEBitmapEx(TIEBitmap& Source, TIEBitmap* Dest, std::unique_ptr<TIERowTable>& DestRows,
                         std::unique_ptr<TIEMapTable>& XMap, std::unique_ptr<TIEMapTable>& YMap,
                         const Integer* ClipRect, Integer DstX, Integer DstY, Integer DstWidth, Integer DstHeight,
                         Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight, bool EnableAlpha,
                         bool ReuseRows, Integer Transparency, TResampleFilter Filter, bool FreeTables,
                         Byte BlendOperation) {
  if (!Dest || Dest == &Source) return;
  TIEAccessScope access(Source, ieaRead);
  if (DstWidth == 0 || DstHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return;
  const Integer destW = Dest->Width(), destH = Dest->Height();
  if (DstY > destH - 1 || DstX > destW - 1) return;
  // The destination's rows are addressed all at once: a file-backed picture
  // cannot give stable row addresses, and only ie24RGB rows are written.
  if (Dest->PixelFormat() != ie24RGB || Dest->IsEmpty() || Dest->Location() == ieFile) return;
  if (Source.IsEmpty()) return;
  const Integer srcW = Source.Width(), srcH = Source.Height();

  try {
    // Clipping in 64 bits: rectangles may be far outside either picture.
    int64_t dx = DstX, dy = DstY, dw = DstWidth, dh = DstHeight;
    int64_t sx = SrcX, sy = SrcY, sw = SrcWidth, sh = SrcHeight;
    if (dy < 0) {
      const int64_t d = Round(double(-dy) * SrcHeight / DstHeight);
      sh -= d;
      sy += d;
      dh += dy;
      dy = 0;
    }
    if (dx < 0) {
      const int64_t d = Round(double(-dx) * SrcWidth / DstWidth);
      sw -= d;
      sx += d;
      dw += dx;
      dx = 0;
    }
    if (dy + dh > destH) {
      sh -= Trunc(double(dy + dh - destH) * SrcHeight / DstHeight);
      dh = destH - dy;
    }
    if (dx + dw > destW) {
      sw -= Trunc(double(dx + dw - destW) * SrcWidth / DstWidth);
      dw = destW - dx;
    }
    dx = std::clamp<int64_t>(dx, 0, destW - 1);
    dy = std::clamp<int64_t>(dy, 0, destH - 1);
    dw = std::clamp<int64_t>(dw, 0, destW);
    dh = std::clamp<int64_t>(dh, 0, destH);
    sx = std::clamp<int64_t>(sx, 0, srcW - 1);
    sy = std::clamp<int64_t>(sy, 0, srcH - 1);
    sw = std::clamp<int64_t>(sw, 0, srcW);
    sh = std::clamp<int64_t>(sh, 0, srcH);
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
    DstX = Integer(dx), DstY = Integer(dy), DstWidth = Integer(dw), DstHeight = Integer(dh);
    SrcX = Integer(sx), SrcY = Integer(sy), SrcWidth = Integer(sw), SrcHeight = Integer(sh);

    const TIEPixelFormat pf = Source.PixelFormat();
    if (Filter != rfNone && (SrcWidth != DstWidth || SrcHeight != DstHeight) && (pf == ie1g || pf == ie24RGB)) {
      if (Filter == rfFastLinear && pf == ie24RGB &&
          RenderFastLinear(Source, Dest, DestRows, ClipRect, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth,
                           SrcHeight, EnableAlpha, ReuseRows, Transparency, BlendOperation))
        return;
      RenderFiltered(Source, Dest, DestRows, ClipRect, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth,
                     SrcHeight, EnableAlpha, ReuseRows, Transparency, Filter, BlendOperation);
      return;
    }
    const TRowRenderer opaque = RendererOf(pf, false), blended = RendererOf(pf, true);
    if (!opaque) return;

    TTable<TIERowTable> rows(DestRows);
    if (DestRows && int64_t(DestRows->size()) >= destH) {
      rows.Use = DestRows.get();
    } else {
      TIERowTable& t = rows.Build();
      t.resize(size_t(destH));
      for (Integer y = 0; y < destH; ++y) t[size_t(y)] = static_cast<Byte*>(Dest->GetScanline(y));
    }
    TTable<TIEMapTable> xmap(XMap), ymap(YMap);
    struct TFinish {
      TTable<TIERowTable>& R;
      TTable<TIEMapTable>& X;
      TTable<TIEMapTable>& Y;
      bool Free;
      ~TFinish() {
        R.Finish(Free);
        X.Finish(Free);
        Y.Finish(Free);
      }
    } finish{rows, xmap, ymap, FreeTables};

    const Integer stepX = Integer(Trunc(double(SrcWidth) / DstWidth * kStepOne));
    const Integer stepY = Integer(Trunc(double(SrcHeight) / DstHeight * kStepOne));

    // The drawn window: destination rectangle, clip rectangle and Dest.
    int64_t x1, y1, x2, y2;
    if (!DrawnWindow(DstX, DstY, DstWidth, DstHeight, ClipRect, destW, destH, x1, y1, x2, y2)) return;

    TIERenderRowsArgs a;
    a.DestRows = rows.Use->data();
    a.Dest = Dest;
    a.FirstRow = Integer(y1);
    a.LastRow = Integer(y2);
    a.FirstCol = Integer(x1);
    a.LastCol = Integer(x2);
    a.DstX = DstX;
    a.DstY = DstY;
    a.SrcX = SrcX;
    a.SrcY = SrcY;
    a.StepX = stepX;
    a.StepY = stepY;
    a.ReuseRows = ReuseRows;
    a.Transparency = std::clamp(Transparency, 0, 255);
    a.BlendOperation = BlendOperation;

    const bool cachedX = FitCachedMap(XMap.get(), DstX, a.FirstCol, a.LastCol, srcW);
    const bool cachedY = FitCachedMap(YMap.get(), DstY, a.FirstRow, a.LastRow, srcH);
    if (a.LastCol < a.FirstCol || a.LastRow < a.FirstRow) return;

    // An alpha channel is read only when it fits the picture.
    TIEBitmap* alpha = Source.HasAlphaChannel() ? Source.GetAlphaChannel() : nullptr;
    if (alpha && (alpha->PixelFormat() != ie8g || alpha->Width() != srcW || alpha->Height() != srcH)) alpha = nullptr;
    a.UseAlpha = EnableAlpha && alpha && !alpha->Full();
    std::unique_ptr<TIEAccessScope> alphaAccess;
    if (a.UseAlpha) alphaAccess = std::make_unique<TIEAccessScope>(*alpha, ieaRead);

    // Unscaled opaque 24-bit copy without any adjustment: straight row
    // copies, provided every source pixel of the window exists (a source
    // rectangle may reach past the picture; the maps then repeat its edge).
    if (stepX == kStepOne && stepY == kStepOne && pf == ie24RGB && a.Transparency >= 255 && !a.UseAlpha &&
        !Source.ChannelOffsetsOn() && Source.Contrast() == 0 && BlendOperation == 0 &&
        int64_t(SrcX) + (a.LastCol - DstX) < srcW && int64_t(SrcY) + (a.LastRow - DstY) < srcH) {
      RenderRows24RGB(Source, a);
      return;
    }

    if (cachedX) {
      xmap.Use = XMap.get();
    } else {
      BuildMap(xmap.Build(), a.LastCol - DstX + 1, SrcX, SrcWidth, DstWidth, srcW);
    }
    if (cachedY) {
      ymap.Use = YMap.get();
    } else {
      BuildMap(ymap.Build(), a.LastRow - DstY + 1, SrcY, SrcHeight, DstHeight, srcH);
    }
    a.XMap = xmap.Use->data();
    a.YMap = ymap.Use->data();
    const bool blend = a.Transparency < 255 || a.UseAlpha;
    (blend ? blended : opaque)(Source, a);
  } catch (...) {
    // A failing row of a file-backed source ends the drawing; what was drawn stays.
  }
}

void RenderToTIEBitmap(TIEBitmap& Source, TIEBitmap* Dest, Integer DstX, Integer DstY, Integer DstWidth,
                       Integer DstHeight, Integer SrcX, Integer SrcY, Integer SrcWidth, Integer SrcHeight,
                       Integer Transparency, TResampleFilter Filter, Byte BlendOperation) {
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xmap, ymap;
  RenderToTIEBitmapEx(Source, Dest, rows, xmap, ymap, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY,
                      SrcWidth, SrcHeight, true, false, Transparency, Filter, true, BlendOperation);
}
