// Shared set-up of the fuzz targets that feed a view's stream readers: an
// offscreen platform, reader limits lowered to the fuzzer's budget, the
// library started once, and the input as a stream at position 0.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestartup.h"
#include "imaging/io/ielimits.h"
#include "platform/base/classes.h"

namespace fuzz_view {

inline void Prepare() {
  static const bool once = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    IEReadLimits.DeflateMaxBytes = 1 << 24;
    IEReadLimits.PNG = {1 << 22, 1 << 25};
    IEReadLimits.Native = {1 << 22, 1 << 25};
    IEStartup();
    return true;
  }();
  (void)once;
}

inline void Fill(TMemoryStream& S, const uint8_t* Data, size_t Size) {
  if (Size) S.WriteBuffer(Data, int64_t(Size));
  S.SetPosition(0);
}

}  // namespace fuzz_view
