// JPEG reader, stream-length scan and IPTC-replacing copy on hostile bytes:
// every path must end cleanly (abort flag or false), never read or write
// outside its buffers, and stay within small pixel and scan limits.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/iejpeg.h"
#include "imaging/io/ielimits.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  IEReadLimits.JPEG = {1 << 22, 1 << 24};
  IEReadLimits.JPEGMaxScans = 50;
  for (int pass = 0; pass < 2; ++pass) {
    TIEMemStream s(data, static_cast<int64_t>(size));
    TIEBitmap b;
    TIOParamsVals p(nullptr);
    p.JPEG_SCALE = pass == 0 ? 1 : 4;
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    Integer rows = IEReadJPEG(&s, nullptr, &b, p, rec, false, false, true, false, true, true, -1, pass == 1);
    if (rows < 0 || rows > b.Height()) std::abort();
  }
  {
    TIEMemStream s(data, static_cast<int64_t>(size));
    Integer n = IEGetJPEGStreamLength(&s);
    if (n < 0 || static_cast<size_t>(n) > size || s.Position() != 0) std::abort();
  }
  {
    TMemoryStream src, dst;
    if (size) src.WriteBuffer(data, static_cast<int64_t>(size));
    src.SetPosition(0);
    TIEIPTCInfoList iptc;
    iptc.AddStringItem(2, 120, "fuzz");
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    IEReplaceJPEGIPTC(&src, &dst, iptc, rec);
  }
  return 0;
}
