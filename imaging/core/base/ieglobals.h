// Library-wide switches of the imaging library, set in code at start-up.
#pragma once

#include <cstdint>

#include "platform/base/types.h"

// -1: no override; otherwise the byte size above which pictures go to a temporary file.
extern int64_t IEMemoryThresholdOverride;
// May a picture fall back to a temporary file when memory cannot hold it?
extern bool IEFileFallback;
// May a picture be stored as row segments when one block cannot be had?
extern bool IEUseSegments;
// Folder for temporary files; empty means the system's temporary folder.
extern WideString IETempFolder;
