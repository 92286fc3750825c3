// Resampling: the dispatcher, the kernels, the nearest stretch, the two-pass
// kernel filter, the fast fixed-point scalers, the 1-bit reductions and the
// black-and-white projections. The row loops live in ieresamplerows.cpp.
#include "imaging/core/geometry/ieresample.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "imaging/core/geometry/ieareainterp.h"
#include "imaging/core/color/ieconvert.h"
#include "imaging/core/base/ieparallel.h"
#include "imaging/core/geometry/ieresamplerows.h"
#include "imaging/core/bitmap/ieworkbitmap.h"
#include "platform/base/sysutils.h"

using namespace ieresample_detail;

// ---------------------------------------------------------------------------
// Kernels

double IESinc(double x) {
  if (x == 0) return 1.0;
  x *= std::numbers::pi;
  return std::sin(x) / x;
}

double IETriangleFilter(double x) {
  const double a = std::fabs(x);
  return a < 1.0 ? 1.0 - a : 0.0;
}

double IEHermiteFilter(double x) {
  const double a = std::fabs(x);
  return a < 1.0 ? (2.0 * a - 3.0) * a * a + 1.0 : 0.0;
}

double IEBellFilter(double x) {
  const double a = std::fabs(x);
  if (a < 0.5) return 0.75 - a * a;
  if (a < 1.5) return 0.5 * (a - 1.5) * (a - 1.5);
  return 0.0;
}

double IEBSplineFilter(double x) {
  const double a = std::fabs(x);
  if (a < 1.0) return a * a * a / 2.0 - a * a + 2.0 / 3.0;
  if (a < 2.0) return (2.0 - a) * (2.0 - a) * (2.0 - a) / 6.0;
  return 0.0;
}

double IELanczos3Filter(double x) {
  const double a = std::fabs(x);
  return a < 3.0 ? IESinc(a) * IESinc(a / 3.0) : 0.0;
}

double IEMitchellFilter(double x) {
  const double a = std::fabs(x);
  if (a < 1.0) return (7.0 * a * a * a - 12.0 * a * a + 16.0 / 3.0) / 6.0;
  if (a < 2.0) return (-(7.0 / 3.0) * a * a * a + 12.0 * a * a - 20.0 * a + 32.0 / 3.0) / 6.0;
  return 0.0;
}

double IEBoxFilter(double x) { return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0; }

double IELinearFilter(double x) { return IETriangleFilter(x); }

const TIEFilterRec* IEFilterKernel(TResampleFilter Filter) {
  static const TIEFilterRec kKernels[8] = {
      {IETriangleFilter, 1.0}, {IEHermiteFilter, 1.0},  {IEBellFilter, 1.5}, {IEBSplineFilter, 2.0},
      {IELanczos3Filter, 3.0}, {IEMitchellFilter, 2.0}, {IEBoxFilter, 1.0},  {IELinearFilter, 1.0},
  };
  if (Filter < rfTriangle || Filter > rfLinear) return nullptr;
  return &kKernels[Filter - rfTriangle];
}

// ---------------------------------------------------------------------------
// Shared helpers

// A larger picture is made in bands of output rows, each from just the
// source rows it reads, so the work memory stays that of a band whatever the
// picture's size (a picture kept in a temporary file because memory is short
// must not need a second picture's worth of memory to be resized).
int64_t IEResampleBandBytes = int64_t(64) << 20;

namespace {

// Percentages Trunc(Units x 100 / Denominator), to OnProgress when it is set.
class TProgress {
 public:
  TProgress(const TIEProgressEvent& OnProgress, TObject* Sender, double Denominator, bool OnlyChanges)
      : FEvent(OnProgress), FSender(Sender), FDenominator(Denominator), FOnlyChanges(OnlyChanges) {}
  bool Active() const { return bool(FEvent); }
  void Report(double Units) {
    if (!FEvent) return;
    const Integer p = Integer(Trunc(Units * 100.0 / FDenominator));
    if (FOnlyChanges && p == FLast) return;
    FLast = p;
    FEvent(FSender, p);
  }

 private:
  const TIEProgressEvent& FEvent;
  TObject* FSender;
  double FDenominator;
  bool FOnlyChanges;
  Integer FLast = -1;
};

// Rows of a picture in a temporary file are reached one at a time through a
// single mapping, so only pictures in memory are shared between threads.
bool RowsShareable(TIEBitmap* A, TIEBitmap* B) { return A->Location() != ieFile && B->Location() != ieFile; }

// Gives Dst the pixel format PF at its own size when it has another (its
// alpha channel stays). False when Dst has no pixels afterwards.
bool EnsureFormat(TIEBitmap* Dst, TIEPixelFormat PF) {
  if (Dst->PixelFormat() != PF || Dst->NeedsAllocation()) {
    std::unique_ptr<TIEBitmap> alpha = Dst->AttachAlphaChannel(nullptr);
    Dst->Allocate(Dst->Width(), Dst->Height(), PF);
    if (alpha) (void)Dst->AttachAlphaChannel(std::move(alpha));
  }
  return Dst->PixelFormat() == PF && !Dst->IsEmpty();
}

// Writes the rows of a file-backed picture back to its store.
void FlushRows(TIEBitmap* B) {
  if (B->Location() == ieFile) B->ReleaseMappedRows();
}

// Eight bytes of 0 or 255 for the eight pixels of a 1-bit byte.
struct TBitBytes {
  uint64_t Table[256];
  TBitBytes() {
    for (int v = 0; v < 256; ++v) {
      Byte b[8];
      for (int k = 0; k < 8; ++k) b[k] = (v & (0x80 >> k)) ? 255 : 0;
      std::memcpy(&Table[v], b, 8);
    }
  }
};
const TBitBytes kBitBytes;

// Pixels 0 .. Width - 1 of a 1-bit row as bytes 0 and 255.
void ExpandBits(const Byte* Row, Byte* Dst, Integer Width) {
  const Integer whole = Width / 8;
  for (Integer i = 0; i < whole; ++i) std::memcpy(Dst + 8 * ptrdiff_t(i), &kBitBytes.Table[Row[i]], 8);
  for (Integer x = whole * 8; x < Width; ++x) Dst[x] = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
}

void GrayToTriples(const Byte* Gray, Byte* Dst, Integer Width) {
  for (Integer x = 0; x < Width; ++x, Dst += 3) Dst[0] = Dst[1] = Dst[2] = Gray[x];
}

inline bool GetBit(const Byte* Row, Integer x) { return (Row[x >> 3] & (0x80 >> (x & 7))) != 0; }

// How a kernel reads its source rows and writes its destination rows.
enum TSourceKind { skBGR, skByte, skBit };
enum TTargetKind { tkBGR, tkByte, tkGrayBGR };

Integer WorkChannels(TSourceKind Kind) { return Kind == skBGR ? 3 : 1; }

// A source row laid out along positions First .. First + Count - 1 of the
// axis (outside positions taken from the pixels MapSource names): four bytes
// per pixel for BGR rows, one byte otherwise.
void FillPaddedRow(const Byte* Row, TSourceKind Kind, Integer Width, Integer First, Integer Count, Byte* Out) {
  const Integer bpp = Kind == skBGR ? 4 : 1;
  const Integer lo = std::max<Integer>(First, 0);
  const Integer hi = std::min<Integer>(First + Count - 1, Width - 1);
  if (lo <= hi) {
    Byte* mid = Out + ptrdiff_t(lo - First) * bpp;
    switch (Kind) {
      case skBGR: {
        const Byte* s = Row + 3 * ptrdiff_t(lo);
        // Four bytes per copy; the fourth belongs to the next pixel and is
        // never weighted into a result.
        for (Integer x = lo; x < hi; ++x, s += 3, mid += 4) std::memcpy(mid, s, 4);
        mid[0] = s[0];
        mid[1] = s[1];
        mid[2] = s[2];
        mid[3] = 0;
        break;
      }
      case skByte:
        std::memcpy(mid, Row + lo, size_t(hi - lo + 1));
        break;
      case skBit:
        if (lo == 0) {
          ExpandBits(Row, mid, hi + 1);
        } else {
          for (Integer x = lo; x <= hi; ++x) mid[x - lo] = GetBit(Row, x) ? 255 : 0;
        }
        break;
    }
  }
  // The edges, from pixels already laid out.
  for (Integer p = 0; p < Count; ++p) {
    const Integer j = First + p;
    if (j >= lo && j <= hi) {
      p = hi - First;
      continue;
    }
    const Integer m = MapSource(j, Width);
    if (m >= lo && m <= hi) {
      std::memcpy(Out + ptrdiff_t(p) * bpp, Out + ptrdiff_t(m - First) * bpp, size_t(bpp));
    } else if (Kind == skBGR) {
      std::memcpy(Out + ptrdiff_t(p) * 4, Row + 3 * ptrdiff_t(m), 3);
      Out[ptrdiff_t(p) * 4 + 3] = 0;
    } else if (Kind == skByte) {
      Out[p] = Row[m];
    } else {
      Out[p] = GetBit(Row, m) ? 255 : 0;
    }
  }
}

// Work rows of a banded resampling: source rows Base .. Base + Have - 1,
// horizontally scaled, at work rows 0 .. Have - 1.
struct TBandWork {
  TIEWorkBitmap Bits;
  Integer Base = 0, Have = 0;

  // Room for the scaled rows of RowsNeeded source rows at least (the most
  // one output row reads), as many as the band budget holds, at most Height.
  bool Allocate(Integer Width, Integer Height, Integer Channels, Integer RowsNeeded) {
    const int64_t rowLen = std::max<int64_t>(IEBitmapRowLen(Width, 8 * Channels, 32), 1);
    const int64_t rows = std::max<int64_t>(std::max<int64_t>(IEResampleBandBytes, 1) / rowLen, RowsNeeded);
    return Bits.Allocate(Width, Integer(std::min<int64_t>(rows, Height)), 8 * Channels);
  }
  // Readies the work rows for source rows Lo .. Hi: the ones already scaled
  // are kept (moved to the start); returns the first source row still to be
  // scaled. The caller scales it .. Hi, then calls Filled(Hi).
  Integer Prepare(Integer Lo, Integer Hi) {
    if (Have > 0 && Lo >= Base && Lo < Base + Have) {
      const Integer keep = std::min(Base + Have - 1, Hi) - Lo + 1;
      // Rows are stored bottom-up: the kept block starts at its last row.
      if (Lo > Base)
        std::memmove(Bits.ScanLine(keep - 1), Bits.ScanLine(Lo - Base + keep - 1), size_t(keep) * size_t(Bits.RowLen));
      Base = Lo;
      Have = keep;
    } else {
      Base = Lo;
      Have = 0;
    }
    return Base + Have;
  }
  void Filled(Integer Hi) { Have = Hi - Base + 1; }
  Byte* Row(Integer SourceRow) const { return Bits.ScanLine(SourceRow - Base); }
};

// Splits Dh output rows into bands, each as many consecutive rows as read at
// most MaxRows source rows (Range(y, Lo, Hi) gives the rows output row y
// reads), and calls Band(First, Last, Lo, Hi) for each in order.
template <class TRange, class TBand>
void ForEachBand(Integer Dh, Integer MaxRows, TRange Range, TBand Band) {
  for (Integer y0 = 0; y0 < Dh;) {
    Integer lo, hi;
    Range(y0, lo, hi);
    Integer y1 = y0 + 1;
    for (; y1 < Dh; ++y1) {
      Integer l, h;
      Range(y1, l, h);
      l = std::min(l, lo);
      h = std::max(h, hi);
      if (h - l + 1 > MaxRows) break;
      lo = l;
      hi = h;
    }
    Band(y0, y1, lo, hi);
    y0 = y1;
  }
}

// The separable two-pass kernel filter: rows of Src filtered horizontally
// into work rows of Dst's width, whose columns are then filtered vertically
// into Dst, band by band.
void TwoPassFilter(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, TSourceKind SourceKind,
                   TTargetKind TargetKind, const TIEProgressEvent& OnProgress, TObject* Sender) {
  const Integer sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  TContribTable horz, vert;
  if (!BuildContribTable(horz, sw, dw, Filter) || !BuildContribTable(vert, sh, dh, Filter)) return;
  const Integer channels = WorkChannels(SourceKind);
  TBandWork work;
  if (!work.Allocate(dw, sh, channels, std::max<Integer>(vert.MaxCount, 1))) throw EOutOfMemory("Out of memory");

  TIEAccessScope readOnly(Src, ieaRead);
  TIEAccessScope writeOnly(Dst, ieaWrite);
  const bool shareable = RowsShareable(Src, Dst);
  // Rows scaled plus rows written, out of sh + dh: one band gives the same
  // reports as scaling every row first and then writing every row.
  TProgress progress(OnProgress, Sender, sh + dh + 0.5, true);
  Integer done = 0;

  const Integer padCount = horz.MaxLast - horz.MinFirst + 1;
  const Integer padBpp = SourceKind == skBGR ? 4 : 1;
  const Integer rowBytes = dw * channels;
  const auto range = [&](Integer y, Integer& Lo, Integer& Hi) {
    const Integer first = vert.First[size_t(y)], count = vert.Count[size_t(y)];
    Lo = Hi = MapSource(first, sh);
    for (Integer k = 1; k < count; ++k) {
      const Integer m = MapSource(first + k, sh);
      Lo = std::min(Lo, m);
      Hi = std::max(Hi, m);
    }
  };
  ForEachBand(dh, work.Bits.Height, range, [&](Integer Y0, Integer Y1, Integer Lo, Integer Hi) {
    const Integer from = work.Prepare(Lo, Hi);
    IEParallelRows(
        Hi - from + 1, horz.TotalTaps * channels + sw,
        [&](Integer First, Integer Last) {
          std::vector<Byte> padded(size_t(padCount) * size_t(padBpp) + 16);
          for (Integer y = from + First; y < from + Last; ++y) {
            const Byte* row = static_cast<const Byte*>(Src->GetScanline(y));
            FillPaddedRow(row, SourceKind, sw, horz.MinFirst, padCount, padded.data());
            if (SourceKind == skBGR)
              FilterRow4To3(padded.data(), work.Row(y), horz, dw);
            else
              FilterRow1(padded.data(), work.Row(y), horz, dw);
          }
        },
        progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(done + Done); }) : TIERowsDone(),
        shareable);
    done += Hi - from + 1;
    work.Filled(Hi);

    IEParallelRows(
        Y1 - Y0, int64_t(vert.MaxCount) * rowBytes,
        [&](Integer First, Integer Last) {
          std::vector<const Byte*> rows(size_t(std::max<Integer>(vert.MaxCount, 1)));
          std::vector<Byte> gray(TargetKind == tkGrayBGR ? size_t(dw) : 0);
          for (Integer y = Y0 + First; y < Y0 + Last; ++y) {
            const Integer first = vert.First[size_t(y)], count = vert.Count[size_t(y)];
            for (Integer k = 0; k < count; ++k) rows[size_t(k)] = work.Row(MapSource(first + k, sh));
            Byte* out = static_cast<Byte*>(Dst->GetScanline(y));
            Byte* target = TargetKind == tkGrayBGR ? gray.data() : out;
            FilterColumns(rows.data(), vert.Weights.data() + vert.Offset[size_t(y)], count, vert.Shift, target,
                          rowBytes);
            if (TargetKind == tkGrayBGR) GrayToTriples(gray.data(), out, dw);
          }
        },
        progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(done + Done); }) : TIERowsDone(),
        shareable);
    done += Y1 - Y0;
  });
  FlushRows(Dst);
}

// The fixed-point fast scaler (TFastLinearScaler): rows of Src scaled across
// into work rows of Dst's width, whose rows are then combined into Dst's
// rows, band by band.
void FastLinear(TIEBitmap* Src, TIEBitmap* Dst, TSourceKind SourceKind, TTargetKind TargetKind,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
  const Integer sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  const double rx = double(dw) / sw;
  const Integer channels = WorkChannels(SourceKind);
  const TFastLinearScaler scaler(sw, sh, dw, dh, channels);
  Integer widest = 1;  // the most source rows one output row combines
  for (Integer j = 0; j < dh; ++j) {
    const TFastLinearScaler::TSpan span = scaler.RowSpan(j);
    widest = std::max(widest, span.To - span.From + 1);
  }

  TBandWork work;
  if (!work.Allocate(dw, sh, channels, widest)) throw EOutOfMemory("Out of memory");
  TIEAccessScope readOnly(Src, ieaRead);
  TIEAccessScope writeOnly(Dst, ieaWrite);
  const bool shareable = RowsShareable(Src, Dst);
  TProgress progress(OnProgress, Sender, sh + dh + 0.5, false);
  Integer done = 0;

  const int64_t perRow = rx > 1 ? int64_t(dw) * channels * 2 : int64_t(sw) * channels + dw;
  const Integer rowBytes = dw * channels;
  const auto range = [&](Integer j, Integer& Lo, Integer& Hi) {
    const TFastLinearScaler::TSpan span = scaler.RowSpan(j);
    Lo = span.From;
    Hi = span.To;
  };
  ForEachBand(dh, work.Bits.Height, range, [&](Integer Y0, Integer Y1, Integer Lo, Integer Hi) {
    const Integer from = work.Prepare(Lo, Hi);
    IEParallelRows(
        Hi - from + 1, perRow,
        [&](Integer First, Integer Last) {
          std::vector<Byte> bytes(SourceKind == skBit ? size_t(sw) : 0);
          for (Integer y = from + First; y < from + Last; ++y) {
            const Byte* s = static_cast<const Byte*>(Src->GetScanline(y));
            if (SourceKind == skBit) {
              ExpandBits(s, bytes.data(), sw);
              s = bytes.data();
            }
            scaler.ScaleRow(s, work.Row(y), 0, dw - 1);
          }
        },
        progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(done + Done - 1); }) : TIERowsDone(),
        shareable);
    done += Hi - from + 1;
    work.Filled(Hi);

    IEParallelRows(
        Y1 - Y0,
        scaler.GrowsDown() ? int64_t(rowBytes) * 2 : int64_t(rowBytes) * std::max<int64_t>(1, int64_t(sh / dh + 1)),
        [&](Integer First, Integer Last) {
          std::vector<Byte> gray(TargetKind == tkGrayBGR ? size_t(dw) : 0);
          std::vector<const Byte*> rows;
          for (Integer j = Y0 + First; j < Y0 + Last; ++j) {
            Byte* out = static_cast<Byte*>(Dst->GetScanline(j));
            Byte* target = TargetKind == tkGrayBGR ? gray.data() : out;
            const TFastLinearScaler::TSpan span = scaler.RowSpan(j);
            rows.resize(size_t(span.To - span.From + 1));
            for (Integer r = span.From; r <= span.To; ++r) rows[size_t(r - span.From)] = work.Row(r);
            scaler.CombineRows(span, rows.data(), target, rowBytes);
            if (TargetKind == tkGrayBGR) GrayToTriples(gray.data(), out, dw);
          }
        },
        progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(done + Done - 1); }) : TIERowsDone(),
        shareable);
    done += Y1 - Y0;
  });
  FlushRows(Dst);
}

bool SameSize(TIEBitmap* A, TIEBitmap* B) { return A->Width() == B->Width() && A->Height() == B->Height(); }

bool HasPixels(TIEBitmap* B) { return B->Width() > 0 && B->Height() > 0 && B->PixelFormat() != ieNone; }

}  // namespace

// ---------------------------------------------------------------------------
// Dispatcher

void IEResample(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                TObject* Sender) {
  if (!Src || !Dst || Src == Dst) return;
  if (SameSize(Src, Dst)) {
    Dst->Assign(Src);
    return;
  }
  if (Filter == rfNone) {
    IEStretchNearest(Src, Dst, OnProgress, Sender);
  } else if (Src->PixelFormat() == ie1g) {
    EnsureFormat(Dst, (Filter == rfProjectBW || Filter == rfProjectWB) ? ie1g : ie24RGB);
    IEResample1Bit(Src, Dst, Filter);
  } else {
    IEResampleFiltered(Src, Dst, Filter, OnProgress, Sender);
  }
  if (Src->HasAlphaChannel()) {
    TIEBitmap* sa = Src->GetAlphaChannel();
    TIEBitmap* da = Dst->GetAlphaChannel();
    if (!sa || !da) return;
    if (da->Width() != Dst->Width() || da->Height() != Dst->Height() || da->PixelFormat() != ie8g)
      da->Allocate(Dst->Width(), Dst->Height(), ie8g);
    if (Filter == rfNone)
      IEStretchNearest(sa, da);
    else
      IEResample8Bit(sa, da, Filter);
    da->SetFull(sa->Full());
  }
}

void IEResampleFiltered(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                        TObject* Sender) {
  if (!Src || !Dst || Src == Dst) return;
  const Integer sw = Src->Width(), sh = Src->Height();
  if (sw <= 0 || sh <= 0 || (sw < 2 && sh < 2) || !HasPixels(Src)) return;
  if (Dst->Width() <= 0 || Dst->Height() <= 0) return;
  if (Filter == rfNone || Filter > rfProjectWB) {
    // Never given by the dispatcher; the stretch is what rfNone stands for.
    IEStretchNearest(Src, Dst, OnProgress, Sender);
    return;
  }
  const TIEPixelFormat pf = Src->PixelFormat();
  if (Filter == rfBilinear || Filter == rfBicubic) {
    const Integer bicubic = Filter == rfBicubic ? 1 : 0;
    if (pf == ie24RGB || pf == ie8g) {
      IEInterpolate8And24(Src, Dst, bicubic, OnProgress, Sender);
      return;
    }
    if (pf == ie16g || pf == ieRGB48) {
      IEInterpolate16And48(Src, Dst, bicubic, OnProgress, Sender);
      return;
    }
    Filter = rfTriangle;
  }
  if (pf == ie8g) {
    IEResample8Bit(Src, Dst, Filter);
    return;
  }
  std::unique_ptr<TIEBitmap> copy;
  TIEBitmap* src = Src;
  if (pf != ie24RGB) {
    copy = std::make_unique<TIEBitmap>(sw, sh, ie24RGB);
    if (copy->IsEmpty()) throw EOutOfMemory("Out of memory");
    if (!IEConvertPixels(*Src, *copy)) return;
    src = copy.get();
  }
  switch (Filter) {
    case rfProjectBW:
      IEProjectResample24(src, Dst, false, OnProgress, Sender);
      break;
    case rfProjectWB:
      IEProjectResample24(src, Dst, true, OnProgress, Sender);
      break;
    case rfFastLinear:
      if (EnsureFormat(Dst, ie24RGB)) IEResampleFastLinear24(src, Dst, OnProgress, Sender);
      break;
    default:
      if (EnsureFormat(Dst, ie24RGB)) TwoPassFilter(src, Dst, Filter, skBGR, tkBGR, OnProgress, Sender);
      break;
  }
}

void IEResample8Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter) {
  if (!Src || !Dst || Src == Dst || !HasPixels(Src) || Src->BitCount() != 8) return;
  if (Filter == rfNone) {
    IEStretchNearest(Src, Dst);
    return;
  }
  if (!IEFilterKernel(Filter)) {
    IEResampleFast8Bit(Src, Dst);
    return;
  }
  if (!EnsureFormat(Dst, Src->PixelFormat())) return;
  TwoPassFilter(Src, Dst, Filter, skByte, tkByte, nullptr, nullptr);
}

void IEResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter) {
  if (!Src || !Dst || Src == Dst || Src->PixelFormat() != ie1g || !HasPixels(Src)) return;
  switch (Filter) {
    case rfNone:
      IEStretchNearest(Src, Dst);
      return;
    case rfFastLinear:
    case rfBilinear:
    case rfBicubic:
      IEResampleFast1Bit(Src, Dst);
      return;
    case rfProjectBW:
      IEProjectResample1Bit(Src, Dst, false);
      return;
    case rfProjectWB:
      IEProjectResample1Bit(Src, Dst, true);
      return;
    default:
      if (!IEFilterKernel(Filter) || !EnsureFormat(Dst, ie24RGB)) return;
      TwoPassFilter(Src, Dst, Filter, skBit, tkGrayBGR, nullptr, nullptr);
      return;
  }
}

// ---------------------------------------------------------------------------
// Nearest stretch

namespace {

template <size_t N>
void StretchRow(const Byte* S, Byte* D, const Integer* Cols, Integer Width) {
  for (Integer i = 0; i < Width; ++i, D += N) std::memcpy(D, S + size_t(Cols[i]) * N, N);
}

}  // namespace

TIEBitmap* IEStretchNearest(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src == Dst || !HasPixels(Src)) return Dst;
  const TIEPixelFormat pf = Src->PixelFormat();
  if (!EnsureFormat(Dst, pf)) return Dst;
  const Integer sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  const Integer pixelBits = IEPixelFormatBitCount(pf);

  std::vector<Integer> cols(static_cast<size_t>(dw));
  const double fx = double(sw) / dw, fy = double(sh) / dh;
  for (Integer i = 0; i < dw; ++i) cols[size_t(i)] = Integer(std::clamp<int64_t>(Trunc(i * fx), 0, sw - 1));

  {
    TIEAccessScope readOnly(Src, ieaRead);
    TIEAccessScope writeOnly(Dst, ieaWrite);
    TProgress progress(OnProgress, Sender, dh + 0.5, true);
    IEParallelRows(
        dh, int64_t(dw) * std::max(1, pixelBits / 8),
        [&](Integer First, Integer Last) {
          for (Integer j = First; j < Last; ++j) {
            const Integer r = Integer(std::clamp<int64_t>(Trunc(j * fy), 0, sh - 1));
            const Byte* s = static_cast<const Byte*>(Src->GetScanline(r));
            Byte* d = static_cast<Byte*>(Dst->GetScanline(j));
            switch (pixelBits) {
              case 1: {
                Byte acc = 0;
                Integer i = 0;
                for (; i < dw; ++i) {
                  if (GetBit(s, cols[size_t(i)])) acc |= Byte(0x80 >> (i & 7));
                  if ((i & 7) == 7) {
                    d[i >> 3] = acc;
                    acc = 0;
                  }
                }
                if (dw & 7) d[dw >> 3] = acc;
                break;
              }
              case 8:
                StretchRow<1>(s, d, cols.data(), dw);
                break;
              case 16:
                StretchRow<2>(s, d, cols.data(), dw);
                break;
              case 24:
                StretchRow<3>(s, d, cols.data(), dw);
                break;
              case 32:
                StretchRow<4>(s, d, cols.data(), dw);
                break;
              case 48:
                StretchRow<6>(s, d, cols.data(), dw);
                break;
              default:
                break;
            }
          }
        },
        progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(Done - 1); }) : TIERowsDone(),
        RowsShareable(Src, Dst));
    FlushRows(Dst);
  }
  if (pf == ie8p) Src->CopyPaletteTo(Dst);
  return Dst;
}

// ---------------------------------------------------------------------------
// Fast scalers

void IEResampleFastLinear24(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src == Dst || Src->BitCount() != 24) return;
  if (Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0) return;
  if (SameSize(Src, Dst)) {
    Dst->Assign(Src);
    return;
  }
  if (!EnsureFormat(Dst, Src->PixelFormat())) return;
  FastLinear(Src, Dst, skBGR, tkBGR, OnProgress, Sender);
}

void IEResampleFast8Bit(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src == Dst || Src->BitCount() != 8) return;
  if (Src->Width() <= 0 || Src->Height() <= 0 || Dst->Width() <= 0 || Dst->Height() <= 0) return;
  if (SameSize(Src, Dst)) {
    Dst->Assign(Src);
    return;
  }
  if (!EnsureFormat(Dst, Src->PixelFormat())) return;
  FastLinear(Src, Dst, skByte, tkByte, OnProgress, Sender);
}

void IEResampleFast1Bit(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Src || !Dst || Src == Dst || Src->PixelFormat() != ie1g) return;
  const Integer sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  if (SameSize(Src, Dst)) {
    Dst->Assign(Src);
    return;
  }
  if (double(dw) / sw >= 1 || double(dh) / sh >= 1) {
    if (EnsureFormat(Dst, ie24RGB)) FastLinear(Src, Dst, skBit, tkGrayBGR, OnProgress, Sender);
  } else {
    IEResample1BitToGray24(Src, 0, 0, sw - 1, sh - 1, Dst);
  }
}

// ---------------------------------------------------------------------------
// 1-bit reduction to gray

namespace {

// Set bits From .. To (inclusive) of a 1-bit row.
Integer CountBits(const Byte* Row, Integer From, Integer To) {
  Integer n = 0;
  Integer x = From;
  while (x <= To && (x & 7)) n += GetBit(Row, x++);
  for (; x + 8 <= To + 1; x += 8) n += std::popcount(unsigned(Row[x >> 3]));
  while (x <= To) n += GetBit(Row, x++);
  return n;
}

}  // namespace

void IEResample1BitToGray24(TIEBitmap* Src, Integer x1, Integer y1, Integer x2, Integer y2, TIEBitmap* Dst) {
  if (!Src || !Dst || Src == Dst || Src->PixelFormat() != ie1g) return;
  const Integer sw = Src->Width(), sh = Src->Height(), dw = Dst->Width(), dh = Dst->Height();
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0 || x2 < x1 || y2 < y1) return;
  if (!EnsureFormat(Dst, ie24RGB)) return;
  const double fx = (double(x2) - x1 + 1) / dw, fy = (double(y2) - y1 + 1) / dh;
  const double tail = double(Trunc(fy)) / 2;  // rows end at Trunc(fy)/2, not fy/2

  // Every row and column is held inside the picture, also for a rectangle
  // that reaches beyond it.
  auto clampRow = [&](int64_t r) { return Integer(std::clamp<int64_t>(r, 0, sh - 1)); };
  auto clampCol = [&](int64_t c) { return Integer(std::clamp<int64_t>(c, 0, sw - 1)); };
  std::vector<Integer> from(static_cast<size_t>(dw)), to(static_cast<size_t>(dw));
  for (Integer k = 0; k < dw; ++k) {
    from[size_t(k)] = clampCol(int64_t(x1) + Trunc(fx * k - fx / 2));
    to[size_t(k)] = std::max(from[size_t(k)], clampCol(int64_t(x1) + Trunc(fx * k + fx / 2)));
  }

  TIEAccessScope readOnly(Src, ieaRead);
  TIEAccessScope writeOnly(Dst, ieaWrite);
  IEParallelRows(
      dh, int64_t(sw) / 8 + dw,
      [&](Integer First, Integer Last) {
        std::vector<Integer> counts(static_cast<size_t>(dw));
        for (Integer i = First; i < Last; ++i) {
          const Integer r0 = clampRow(int64_t(y1) + std::clamp<int64_t>(Trunc(fy * i - fy / 2), 0, sh - 1));
          const Integer r1 =
              std::max(r0, clampRow(int64_t(y1) + std::clamp<int64_t>(Trunc(fy * i + tail), 0, sh - 1)));
          std::fill(counts.begin(), counts.end(), 0);
          for (Integer r = r0; r <= r1; ++r) {
            const Byte* s = static_cast<const Byte*>(Src->GetScanline(r));
            for (Integer k = 0; k < dw; ++k) counts[size_t(k)] += CountBits(s, from[size_t(k)], to[size_t(k)]);
          }
          Byte* d = static_cast<Byte*>(Dst->GetScanline(i));
          const int64_t rowsCovered = r1 - r0 + 1;
          for (Integer k = 0; k < dw; ++k, d += 3) {
            const int64_t pixels = rowsCovered * (to[size_t(k)] - from[size_t(k)] + 1);
            d[0] = d[1] = d[2] = Byte(255 * int64_t(counts[size_t(k)]) / pixels);
          }
        }
      },
      nullptr, RowsShareable(Src, Dst));
  FlushRows(Dst);
}

// ---------------------------------------------------------------------------
// Projections

namespace {

template <bool OneBit>
TIEBitmap* Project(TIEBitmap* Src, TIEBitmap* Dst, bool WhitePriority, const TIEProgressEvent& OnProgress,
                   TObject* Sender) {
  if (!Src || !Dst || Src == Dst) return Dst;
  if (OneBit ? Src->PixelFormat() != ie1g : Src->BitCount() != 24) return Dst;
  const Integer sw = Src->Width(), sh = Src->Height();
  if (sw <= 0 || sh <= 0 || !EnsureFormat(Dst, ie1g)) return Dst;
  const Integer dw = Dst->Width(), dh = Dst->Height();

  // Column k >= 1 covers start(k - 1) .. start(k), column 0 covers column 0;
  // rows alike.
  std::vector<Integer> from(static_cast<size_t>(dw)), to(static_cast<size_t>(dw));
  const double fx = double(sw) / dw;
  auto start = [&](Integer k) { return Integer(std::clamp<int64_t>(Trunc(k * fx), 0, sw - 1)); };
  for (Integer k = 0; k < dw; ++k) {
    from[size_t(k)] = k == 0 ? 0 : start(k - 1);
    to[size_t(k)] = k == 0 ? 0 : start(k);
  }
  auto rowStart = [&](Integer j) {
    return Integer(std::clamp<int64_t>(Trunc(double(j) * sh / dh), 0, sh - 1));
  };

  TIEAccessScope readOnly(Src, ieaRead);
  TIEAccessScope writeOnly(Dst, ieaWrite);
  TProgress progress(OnProgress, Sender, dh + 0.5, false);
  const Integer rowLen = IEBitmapRowLen(dw, 1, 8);
  IEParallelRows(
      dh, int64_t(sw) * (OneBit ? 1 : 3),
      [&](Integer First, Integer Last) {
        std::vector<Byte> hit(static_cast<size_t>(dw));
        for (Integer j = First; j < Last; ++j) {
          const Integer r0 = j == 0 ? 0 : rowStart(j - 1);
          const Integer r1 = j == 0 ? 0 : rowStart(j);
          std::fill(hit.begin(), hit.end(), Byte(0));
          for (Integer r = r0; r <= r1; ++r) {
            const Byte* s = static_cast<const Byte*>(Src->GetScanline(r));
            for (Integer k = 0; k < dw; ++k) {
              if (hit[size_t(k)]) continue;
              for (Integer c = from[size_t(k)]; c <= to[size_t(k)]; ++c) {
                bool h;
                if (OneBit) {
                  h = GetBit(s, c) == WhitePriority;
                } else {
                  const Byte* p = s + 3 * ptrdiff_t(c);
                  h = WhitePriority ? (p[0] > 128 && p[1] > 128 && p[2] > 128) : (p[0] < 128 && p[1] < 128 && p[2] < 128);
                }
                if (h) {
                  hit[size_t(k)] = 1;
                  break;
                }
              }
            }
          }
          // Black-priority rows start white and take black dots; white-priority
          // rows the other way round.
          Byte* d = static_cast<Byte*>(Dst->GetScanline(j));
          std::memset(d, WhitePriority ? 0x00 : 0xFF, size_t(rowLen));
          for (Integer k = 0; k < dw; ++k) {
            if (!hit[size_t(k)]) continue;
            if (WhitePriority)
              d[k >> 3] |= Byte(0x80 >> (k & 7));
            else
              d[k >> 3] &= Byte(~(0x80 >> (k & 7)));
          }
        }
      },
      progress.Active() ? TIERowsDone([&](Integer Done) { progress.Report(Done - 1); }) : TIERowsDone(),
      RowsShareable(Src, Dst));
  FlushRows(Dst);
  return Dst;
}

}  // namespace

TIEBitmap* IEProjectResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhitePriority,
                                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  return Project<true>(Src, Dst, WhitePriority, OnProgress, Sender);
}

TIEBitmap* IEProjectResample24(TIEBitmap* Src, TIEBitmap* Dst, bool WhitePriority, const TIEProgressEvent& OnProgress,
                               TObject* Sender) {
  return Project<false>(Src, Dst, WhitePriority, OnProgress, Sender);
}
