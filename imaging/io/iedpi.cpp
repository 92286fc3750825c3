// Equal resolutions by resampling, and image counts by file name.
#include "imaging/io/iedpi.h"

#include <limits>
#include <memory>

#include "imaging/core/geometry/ieresample.h"
#include "imaging/io/ienativecodecs.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"

namespace {

// The size a picture of W x H takes for equal resolutions: the shorter side
// scaled by the ratio of the resolutions (the larger one wins on that side).
// False when the resolutions are already equal or unusable, or the new size
// does not fit a picture.
// Rows: the height is the side that changes (else the width).
bool EqualDpiSize(Integer W, Integer H, Integer DpiX, Integer DpiY, Integer& NewW, Integer& NewH, bool& Rows) {
  if (DpiX == DpiY || DpiX <= 0 || DpiY <= 0 || W <= 0 || H <= 0) return false;
  int64_t w = W, h = H;
  Rows = h < w;
  if (Rows)
    h = Round(static_cast<double>(h) / DpiY * DpiX);
  else
    w = Round(static_cast<double>(w) / DpiX * DpiY);
  if (w < 1 || h < 1 || w > std::numeric_limits<Integer>::max() || h > std::numeric_limits<Integer>::max())
    return false;
  NewW = static_cast<Integer>(w);
  NewH = static_cast<Integer>(h);
  return true;
}

// Resamples Src into a new picture of W x H: filtered through ie24RGB, else
// stretched in Src's own format. Nil when it cannot be allocated.
std::unique_ptr<TIEBitmap> Resampled(TIEBitmap* Src, Integer W, Integer H, bool Filtered) {
  auto r = std::make_unique<TIEBitmap>();
  if (Filtered) {
    if (Src->PixelFormat() != ie24RGB && !Src->ConvertToPixelFormat(ie24RGB)) return nullptr;
    if (!r->Allocate(W, H, ie24RGB)) return nullptr;
    IEResample(Src, r.get(), rfFastLinear);
  } else {
    if (!r->Allocate(W, H, Src->PixelFormat())) return nullptr;
    IEStretchNearest(Src, r.get());
  }
  return r;
}

}  // namespace

TIEBitmap* IEAdjustDPI(TIEBitmap* Bitmap, TIOParamsVals& Params, bool Filtered) {
  // The bitmap's own size, not WIDTH and HEIGHT: those may describe a larger
  // picture than the one loaded (a camera thumbnail, one frame of a canvas).
  Integer w = 0, h = 0;
  bool rows = false;
  if (!Bitmap || !EqualDpiSize(Bitmap->Width(), Bitmap->Height(), Params.DPIX, Params.DPIY, w, h, rows))
    return Bitmap;
  std::unique_ptr<TIEBitmap> r;
  try {
    r = Resampled(Bitmap, w, h, Filtered);
  } catch (...) {
    r.reset();
  }
  if (!r) return Bitmap;
  if (rows)
    Params.SetDpiY(Params.DPIX);
  else
    Params.SetDpiX(Params.DPIY);
  Params.WIDTH = w;
  Params.HEIGHT = h;
  return r.release();
}

void TZiduzUvIO::AdjustDPI() {
  TIEBitmap* b = IEBitmap();
  TIOParamsVals& p = *FParams;
  Integer w = 0, h = 0;
  bool rows = false;
  if (!b || !EqualDpiSize(b->Width(), b->Height(), p.DPIX, p.DPIY, w, h, rows)) return;
  // The alpha channel is set aside and stretched on its own, nearest, so
  // that no filter blends coverage values.
  std::unique_ptr<TIEBitmap> alpha;
  if (b->HasAlphaChannel()) {
    alpha = std::make_unique<TIEBitmap>();
    alpha->Assign(b->GetAlphaChannel());
    b->RemoveAlphaChannel(false, clWhite);
  }
  std::unique_ptr<TIEBitmap> r;
  try {
    r = Resampled(b, w, h, FFilteredAdjustDPI);
  } catch (...) {
    r.reset();
  }
  if (!r) {
    if (alpha) (void)b->AttachAlphaChannel(std::move(alpha));
    return;
  }
  r->RemoveAlphaChannel(false, clWhite);
  b->Assign(r.get());
  if (alpha) {
    TIEBitmap stretched;
    if (stretched.Allocate(w, h, alpha->PixelFormat())) {
      IEStretchNearest(alpha.get(), &stretched);
      TIEBitmap* a = b->GetAlphaChannel();
      if (a) a->Assign(&stretched);
    }
  }
  // The fields directly: the resolution setters would also rewrite the
  // EXIF resolution, which keeps what the file said.
  if (rows)
    p.DPIY = p.DPIX;
  else
    p.DPIX = p.DPIY;
  p.WIDTH = w;
  p.HEIGHT = h;
}

TIEFileType IEFileTypeOfExtension(const WideString& Extension) {
  TIEFileFormatInfoRef e = IEFindFormatInfoByExtension(LowerCase(Extension));
  return e ? e->FileType : ieftUnknown;
}

Integer IEGetFileImageCount(const WideString& FileName) {
  const TIEFileType t = IEFileTypeOfExtension(ExtractFileExt(FileName));
  try {
    switch (t) {
      case ieftUnknown:
      case ieftAVI: {
        // Whatever the media player can play; a component of its own (no
        // view, no window) so that this may run on any thread.
        TZiduzUvIO io(nullptr);
        const Integer frames = io.OpenMediaFile(FileName);
        io.CloseMediaFile();
        return frames;
      }
      case ieftTIFF:
        return IECountTIFFImagesOfFile(FileName);
      case ieftGIF:
        return IECountGIFFramesOfFile(FileName);
      case ieftICO:
        return IECountICOImagesOfFile(FileName);
      case ieftDCX:
        return IECountDCXPagesOfFile(FileName);
      case ieftHDP:
        return IECountHDPhotoFrames(FileName);
      default:
        return 1;
    }
  } catch (...) {
    return 0;
  }
}
