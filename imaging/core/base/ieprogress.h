// The progress record every reader, writer and long imaging operation gets by
// reference, and the shapes of the routines the format registry calls.
// Through the record an operation reports percentages, learns that it should
// stop, and reports its own failure by setting the caller's abort flag
// instead of raising.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/base/classes.h"
#include "platform/base/types.h"

class TIEBitmap;
class TIOParamsVals;

// Called with the sender and a percentage from 0 to 100.
using TIEProgressEvent = std::function<void(TObject* Sender, Integer per)>;

// Percentage per unit of work: 100 / Units, and 0 when there are no units (a
// picture of height 0, a scanner that does not know its row count), so that
// no infinity or NaN ever reaches a percentage.
Double IEProgressStep(int64_t Units);

// Trunc(Done x Step) kept within 0..100, whatever Done and Step hold.
Integer IEProgressPercent(int64_t Done, Double Step);

// Lives on the caller's stack for one call; the codec must not keep it.
struct TIEProgressRec {
  // The caller's abort flag. Other threads set it to cancel (the companion's
  // WaitThreads), so it is atomic; codecs read it once per unit.
  explicit TIEProgressRec(std::atomic<bool>& AbortFlag, TIEProgressEvent Progress = nullptr,
                          TObject* ASender = nullptr)
      : fOnProgress(std::move(Progress)), Sender(ASender), Aborting(AbortFlag) {}
  TIEProgressRec(const TIEProgressRec&) = default;
  TIEProgressRec& operator=(const TIEProgressRec&) = delete;

  TIEProgressEvent fOnProgress;  // empty: the call reports nothing
  TObject* Sender = nullptr;     // passed to fOnProgress
  Integer val = 0;               // units done, for codecs that count outside their loop
  Double per1 = 0.0;             // percentage per unit
  Double per2 = 0.0;             // second step of two-level reporters
  std::atomic<bool>& Aborting;

  bool Aborted() const { return Aborting.load(std::memory_order_acquire); }
  void Abort() { Aborting.store(true, std::memory_order_release); }

  // per1 := IEProgressStep(Units).
  void SetUnits(int64_t Units) { per1 = IEProgressStep(Units); }
  // Reports IEProgressPercent(Done, per1) when a progress method is set.
  void Report(int64_t Done) const;
  // For two-level reporters: reports IEProgressPercent(Done, Step) only when it
  // differs from Last, and then stores it in Last.
  void ReportChanged(int64_t Done, Double Step, Integer& Last) const;
};

// The calling shapes of the registry's routines. A reader reads at the stream
// position; Preview reads the parameters only. A writer writes at the stream
// position. Both report failure through Progress.Aborting. A probe answers
// whether the stream holds the format (FileType is the entry's own id),
// leaves the position where it found it and raises nothing.
using TIEReadRoutine =
    std::function<void(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview)>;
using TIEWriteRoutine =
    std::function<void(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress)>;
using TIEProbeRoutine = std::function<bool(TStream* Stream, Integer FileType)>;

// Writers detect short writes through this: a write that is cut short or
// raises sets the record's abort flag. Never raises.
void IESafeStreamWrite(TStream* Stream, TIEProgressRec& Progress, const void* Buffer, int64_t Count);
