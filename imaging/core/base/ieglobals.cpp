#include "imaging/core/base/ieglobals.h"

int64_t IEMemoryThresholdOverride = -1;
bool IEFileFallback = true;
bool IEUseSegments = true;
WideString IETempFolder;
