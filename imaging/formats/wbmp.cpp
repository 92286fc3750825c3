// Wireless bitmap reader and writer. Both sides use the format's bit sense
// (1 = white), which is also the ie1g one, so rows are copied as they are.
#include "imaging/formats/wbmp.h"

#include <cstring>
#include <vector>

#include "imaging/io/ielimits.h"

namespace {

void PutInteger(std::vector<Byte>& Out, uint32_t V) {
  Byte groups[5];
  int n = 0;
  do {
    groups[n++] = Byte(V & 0x7F);
    V >>= 7;
  } while (V != 0);
  while (n-- > 0) Out.push_back(Byte(groups[n] | (n > 0 ? 0x80 : 0)));
}

}  // namespace

Integer IEReadWBMPInteger(TStream* Stream) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    Byte b;
    if (Stream->Read(&b, 1) != 1) return -1;
    v = (v << 7) | (b & 0x7F);
    if (!(b & 0x80)) return Integer(v);
  }
  return -1;
}

void IEReadWBMP(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                bool ParamsOnly) {
  try {
    const Integer type = IEReadWBMPInteger(Stream);
    const Integer fixed = IEReadWBMPInteger(Stream);
    const Integer w = IEReadWBMPInteger(Stream);
    const Integer h = IEReadWBMPInteger(Stream);
    if (type != 0 || fixed != 0 || w <= 0 || h <= 0 || !IEPictureFits(IEReadLimits.Native, w, h, 1)) {
      Progress.Abort();
      return;
    }
    const int64_t rowBytes = (int64_t(w) + 7) / 8;
    // Every row is stored whole: a file cannot describe more rows than it holds.
    const int64_t left = IEStreamBytesLeft(Stream);
    if (!ParamsOnly && !IEDataCanExplain(rowBytes * (h - 1) + 1, left)) {
      Progress.Abort();
      return;
    }
    Params.BITSPERSAMPLE = 1;
    Params.SAMPLESPERPIXEL = 1;
    Params.WIDTH = Params.ORIGINALWIDTH = w;
    Params.HEIGHT = Params.ORIGINALHEIGHT = h;
    Params.SetDpiX(IEDefaultDpiX);
    Params.SetDpiY(IEDefaultDpiY);
    Params.FreeColorMap();
    if (ParamsOnly) return;
    if (!Bitmap->Allocate(w, h, ie1g)) {
      Progress.Abort();
      return;
    }
    Progress.SetUnits(h);
    std::vector<Byte> row(static_cast<size_t>(rowBytes));
    for (Integer y = 0; y < h; ++y) {
      Progress.Report(y);
      const int64_t got = Stream->Read(row.data(), rowBytes);
      if (got < rowBytes) std::memset(row.data() + (got > 0 ? got : 0), 0, size_t(rowBytes - (got > 0 ? got : 0)));
      std::memcpy(Bitmap->GetScanline(y), row.data(), size_t(rowBytes));
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWriteWBMP(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRec& Progress) {
  try {
    if (!Bitmap || Bitmap->IsEmpty()) {
      Progress.Abort();
      return;
    }
    std::unique_ptr<TIEBitmap> copy;
    TIEBitmap* src = Bitmap;
    if (src->PixelFormat() != ie1g) {
      copy = std::make_unique<TIEBitmap>();
      copy->Assign(Bitmap);
      if (!copy->ConvertToPixelFormat(ie1g)) {
        Progress.Abort();
        return;
      }
      src = copy.get();
    }
    const Integer w = src->Width(), h = src->Height();
    std::vector<Byte> head;
    PutInteger(head, 0);
    PutInteger(head, 0);
    PutInteger(head, uint32_t(w));
    PutInteger(head, uint32_t(h));
    IESafeStreamWrite(Stream, Progress, head.data(), int64_t(head.size()));
    const int64_t rowBytes = (int64_t(w) + 7) / 8;
    Progress.SetUnits(h);
    for (Integer y = 0; y < h && !Progress.Aborted(); ++y) {
      Progress.Report(y);
      IESafeStreamWrite(Stream, Progress, src->GetScanline(y), rowBytes);
    }
  } catch (...) {
    Progress.Abort();
  }
}

void IEWBMPReadRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool Preview) {
  IEReadWBMP(Stream, Bitmap, Params, Progress, Preview);
}
void IEWBMPWriteRoutine(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIEProgressRec& Progress) {
  IEWriteWBMP(Stream, Bitmap, Progress);
}
