// Metafiles rendered into the picture: the platform metafile draws itself at
// the size worked out here, once on the background and, for the alpha
// channel, once more on a key colour that no drawing of the metafile is
// likely to produce exactly.
#include <cstring>
#include <mutex>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/iemetafile.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/sysutils.h"
#include "platform/devices/metafile.h"

Integer IEMetafileMaxSize = 8000;

bool IEMetafileImportSize(int64_t MetaWidth, int64_t MetaHeight, Integer Width, Integer Height, Integer MaxSize,
                          Integer& OutWidth, Integer& OutHeight) {
  OutWidth = OutHeight = 0;
  if (MetaWidth <= 0 || MetaHeight <= 0 || Width == 0 || Height == 0) return false;
  int64_t w, h;
  if (Width > 0 && Height > 0) {
    w = Width;
    h = Height;
  } else if (Width < 0 && Height > 0) {
    w = Height * MetaWidth / MetaHeight;
    h = Height;
  } else if (Height < 0 && Width > 0) {
    w = Width;
    h = MetaHeight * Width / MetaWidth;
  } else {
    w = MetaWidth;
    h = MetaHeight;
  }
  if (MaxSize > 0 && (w > MaxSize || h > MaxSize)) {
    if (h > w) {
      w = w * MaxSize / h;
      h = MaxSize;
    } else {
      h = h * MaxSize / w;
      w = MaxSize;
    }
  }
  if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return false;
  OutWidth = static_cast<Integer>(w);
  OutHeight = static_cast<Integer>(h);
  return true;
}

namespace ziduzuvio_metafile {
namespace {

// The colour left where the metafile paints nothing (blue 1, green 2, red 3).
constexpr Byte kKeyB = 1, kKeyG = 2, kKeyR = 3;

// W x H rows of 24-bit pixels filled with one colour.
std::vector<Byte> Canvas(Integer W, Integer H, Byte B, Byte G, Byte R) {
  std::vector<Byte> rows(size_t(W) * size_t(H) * 3);
  for (size_t i = 0; i < rows.size(); i += 3) {
    rows[i] = B;
    rows[i + 1] = G;
    rows[i + 2] = R;
  }
  return rows;
}

}  // namespace
}  // namespace ziduzuvio_metafile

using namespace ziduzuvio_metafile;

void TZiduzUvIO::ImportMetafile(TMetafile* Metafile, Integer Width, Integer Height, bool WithAlpha) {
  std::lock_guard op(FOperationLock);
  SetAborting(false);
  if (Metafile == nullptr || Metafile->Width() <= 0 || Metafile->Height() <= 0) {
    SetAborting(true);
    return;
  }
  if (Width == 0 || Height == 0 || !PrepareBitmap()) return;
  FParams->ResetInfo();
  Integer w = 0, h = 0;
  if (!IEMetafileImportSize(Metafile->Width(), Metafile->Height(), Width, Height, IEMetafileMaxSize, w, h)) {
    SetAborting(true);
    return;
  }
  FParams->FILENAME.clear();
  FParams->FILETYPE = Metafile->Enhanced() ? ieftEMF : ieftWMF;
  FParams->BITSPERSAMPLE = 8;
  FParams->SAMPLESPERPIXEL = 3;
  FParams->WIDTH = FParams->ORIGINALWIDTH = w;
  FParams->HEIGHT = FParams->ORIGINALHEIGHT = h;
  FParams->SetDpiX(IEDefaultDpiX);
  FParams->SetDpiY(IEDefaultDpiY);
  FParams->FreeColorMap();
  SyncViewDPI();

  const TColor back = Background();
  const int64_t rowLen = int64_t(w) * 3;
  std::vector<Byte> rows = Canvas(w, h, Byte(back >> 16), Byte(back >> 8), Byte(back));
  TIEBitmap* target = IEBitmap();
  if (!Metafile->Draw(rows.data(), w, h, rowLen) || !target->Allocate(w, h, ie24RGB)) {
    SetAborting(true);
    return;
  }
  for (Integer y = 0; y < h; ++y) std::memcpy(target->GetScanline(y), rows.data() + rowLen * y, size_t(rowLen));
  target->RemoveAlphaChannel(false, clWhite);

  if (WithAlpha) {
    std::vector<Byte> keyed = Canvas(w, h, kKeyB, kKeyG, kKeyR);
    TIEBitmap* alpha = target->GetAlphaChannel();
    if (!alpha || !Metafile->Draw(keyed.data(), w, h, rowLen)) {
      SetAborting(true);
    } else {
      for (Integer y = 0; y < h; ++y) {
        const Byte* k = keyed.data() + rowLen * y;
        Byte* a = static_cast<Byte*>(alpha->GetScanline(y));
        for (Integer x = 0; x < w; ++x, k += 3)
          a[x] = (k[0] == kKeyB && k[1] == kKeyG && k[2] == kKeyR) ? 0 : 255;
      }
      alpha->SyncFull();
    }
  }
  UpdateAttachedView();
}

void TZiduzUvIO::LoadFromFileMetafile(const WideString& FileName, Integer Width, Integer Height, bool WithAlpha) {
  if (HandOver([this, FileName, Width, Height, WithAlpha] { LoadFromFileMetafile(FileName, Width, Height, WithAlpha); }))
    return;
  std::lock_guard op(FOperationLock);
  TPrivateDecode decode(*this);
  try {
    TMetafile meta;
    if (!meta.LoadMetafile(FileName)) {
      LogFailure(W("\"") + FileName + W("\" is no metafile that can be read"));
      SetAborting(true);
    } else {
      ImportMetafile(&meta, Width, Height, WithAlpha);
      FParams->FILENAME = FileName;
    }
  } catch (...) {
    LogFailure(IECurrentExceptionText());
    SetAborting(true);
  }
  DoFinishWork();
}

void TZiduzUvIO::ReadMetafileParams(TStream* Stream) {
  std::lock_guard op(FOperationLock);
  SetAborting(true);
  if (Stream == nullptr) return;
  try {
    const int64_t avail = Stream->Size() - Stream->Position();
    if (avail <= 0 || avail > (int64_t(256) << 20)) return;
    std::vector<uint8_t> data(static_cast<size_t>(avail));
    if (Stream->Read(data.data(), avail) != avail) return;
    TMetafile meta;
    if (!meta.LoadFromBytes(std::move(data)) || meta.Width() <= 0) return;
    FParams->FILENAME.clear();
    FParams->FILETYPE = meta.Enhanced() ? ieftEMF : ieftWMF;
    FParams->BITSPERSAMPLE = 8;
    FParams->SAMPLESPERPIXEL = 3;
    FParams->WIDTH = FParams->ORIGINALWIDTH = meta.Width();
    FParams->HEIGHT = FParams->ORIGINALHEIGHT = meta.Height();
    FParams->SetDpiX(IEDefaultDpiX);
    FParams->SetDpiY(IEDefaultDpiY);
    FParams->FreeColorMap();
    SetAborting(false);
  } catch (...) {
    LogFailure(IECurrentExceptionText());
  }
}
