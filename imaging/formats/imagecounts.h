// How many frames, pages or pictures a file holds, for browsers that decide
// whether to offer frame stepping before they load anything.
#pragma once

#include "imaging/core/base/iedefs.h"

// Frames of a GIF file; 0 on any error (a missing or damaged file included).
Integer IECountGIFFramesOfFile(const WideString& FileName);
// Pictures of a TIFF file, pages of a DCX file, pictures of an icon or cursor
// file. The file is opened for reading with writers shut out, and always
// closed; an error opening it propagates.
Integer IECountTIFFImagesOfFile(const WideString& FileName);
Integer IECountDCXPagesOfFile(const WideString& FileName);
Integer IECountICOImagesOfFile(const WideString& FileName);
