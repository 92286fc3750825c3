// Progress arithmetic and the short-write guard of the codec calling contract.
#include "imaging/core/base/ieprogress.h"

#include <cmath>

#include "imaging/core/base/iestreams.h"

Double IEProgressStep(int64_t Units) { return Units > 0 ? 100.0 / static_cast<Double>(Units) : 0.0; }

Integer IEProgressPercent(int64_t Done, Double Step) {
  // Trunc saturates and maps NaN to 0, so the product is safe to convert.
  int64_t p = Trunc(static_cast<long double>(Done) * Step);
  if (p < 0) return 0;
  if (p > 100) return 100;
  return static_cast<Integer>(p);
}

void TIEProgressRec::Report(int64_t Done) const {
  if (fOnProgress) fOnProgress(Sender, IEProgressPercent(Done, per1));
}

void TIEProgressRec::ReportChanged(int64_t Done, Double Step, Integer& Last) const {
  if (!fOnProgress) return;
  Integer p = IEProgressPercent(Done, Step);
  if (p == Last) return;
  Last = p;
  fOnProgress(Sender, p);
}

void IESafeStreamWrite(TStream* Stream, TIEProgressRec& Progress, const void* Buffer, int64_t Count) {
  bool failed = false;
  IESafeStreamWrite(Stream, failed, Buffer, Count);
  if (failed) Progress.Abort();
}
