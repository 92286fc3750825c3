// Sizes of rendered metafiles: the size a metafile import asks for, worked
// out from the metafile's own size, and the library-wide limit.
#pragma once

#include "platform/base/types.h"

// The largest side a metafile is rendered at (8000 after start-up).
extern Integer IEMetafileMaxSize;

// The picture size for a metafile of MetaWidth x MetaHeight asked at Width x
// Height: both positive as asked; a negative one follows the other with the
// metafile's aspect (integer division); both negative the metafile's own
// size; then a side beyond MaxSize brings both down keeping the aspect.
// False for a metafile without a size, a zero side asked, or a result that
// is empty or beyond 32 bits. Products are computed in 64 bits.
bool IEMetafileImportSize(int64_t MetaWidth, int64_t MetaHeight, Integer Width, Integer Height, Integer MaxSize,
                          Integer& OutWidth, Integer& OutHeight);
