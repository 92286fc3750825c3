#include "imaging/formats/imagecounts.h"

#include "imaging/formats/dcx.h"
#include "imaging/formats/gif.h"
#include "imaging/formats/ico.h"
#include "imaging/formats/tiffread.h"
#include "platform/base/classes.h"

namespace {

template <class TCount>
Integer CountOfFile(const WideString& FileName, TCount Count) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  return Count(&file);
}

}  // namespace

Integer IECountGIFFramesOfFile(const WideString& FileName) {
  try {
    return IEGIFRemoveFrame(FileName, -1, false);
  } catch (...) {
    return 0;
  }
}

Integer IECountTIFFImagesOfFile(const WideString& FileName) { return CountOfFile(FileName, IECountTIFFImages); }
Integer IECountDCXPagesOfFile(const WideString& FileName) { return CountOfFile(FileName, IECountDCXPages); }
Integer IECountICOImagesOfFile(const WideString& FileName) { return CountOfFile(FileName, IECountICOImages); }
