// The 38 per-pixel blend operations with which a layer is combined with what
// lies beneath it when rendering: arithmetic, photographic and HSL modes.
#pragma once

#include "imaging/core/base/ieutils.h"

// Number of defined operations (0..IEBlendOperationCount - 1); any other
// operation leaves the destination as it was.
constexpr Integer IEBlendOperationCount = 38;

// Combines the source colour Src with Dst by Operation and stores the result
// in Dst. Operations 0..30 treat blue, green and red alike and each channel
// alone; 31..33 take one channel of the source; 34..37 mix hue, saturation
// and lightness of the two colours.
void IEBlendRGB(const TRGB& Src, TRGB& Dst, Byte Operation);

// One channel of a per-channel operation (1..30): the result for source
// sample s and destination sample d; for any other operation d.
Byte IEBlendChannel(Byte s, Byte d, Byte Operation);

// The 65,536 results of a per-channel operation (1..30), indexed by
// s * 256 + d, built on first use and kept for the life of the program (safe
// from any thread); nullptr for every other operation.
const Byte* IEBlendChannelTable(Byte Operation);

// T[i] = Round(64 - 64 cos(i pi / 255)), 0 at 0 rising to 128 at 255: the
// curve of operation 29.
const Byte* IEBlendCosineCurve();
