// The 12-byte stream header on hostile bytes: recognition never raises, never
// accepts a length the stream cannot hold, and leaves the position either at
// the announced data or where it was. Then the same bytes through the load
// frame with headers on: the reader sees exactly the announced data, and the
// stream ends just after it.
#include <cstdint>
#include <cstdlib>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ziduzuvio.h"

namespace {

void Check(bool Condition) {
  if (!Condition) std::abort();
}

int64_t gSeenSize = -1;

// Reads everything it is given and remembers how much that was.
void CountingReader(TStream* S, TIEBitmap*, TIOParamsVals&, TIEProgressRec& Rec, bool) {
  Byte buf[512];
  int64_t n = 0, got;
  while ((got = S->Read(buf, sizeof buf)) > 0) n += got;
  gSeenSize = n;
  Rec.Abort();  // nothing was decoded
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 16)) return 0;
  static const bool wired = [] {
    IEBuildFormatRegistry();
    IESetBuiltInCodec(ieftTIFF, {CountingReader, nullptr});
    IESetBuiltInCodec(ieftPCX, {CountingReader, nullptr});
    return true;
  }();
  (void)wired;
  TIEMemStream s(data, static_cast<int64_t>(size));
  const int64_t total = static_cast<int64_t>(size);
  for (const char* magic : {"JFIF", "TIFF", "PCX2"}) {
    for (int64_t pos : {int64_t(0), total > 3 ? int64_t(3) : int64_t(0)}) {
      s.SetPosition(pos);
      int64_t start = -1, length = -1;
      TIEStreamHeaderResult r = iehNone;
      try {
        r = IEReadStreamHeader(&s, magic, start, length);
      } catch (...) {
        std::abort();
      }
      if (r == iehValid) {
        Check(start > pos && length >= 0 && start + length <= total);
        Check(s.Position() == start);
      } else {
        Check(s.Position() == pos);
      }
    }
  }
  // Through the frame.
  for (TIEFileType id : {ieftTIFF, ieftPCX}) {
    s.SetPosition(0);
    int64_t start = -1, length = -1;
    const bool valid = IEReadStreamHeader(&s, id == ieftTIFF ? "TIFF" : "PCX2", start, length) == iehValid;
    s.SetPosition(0);
    TZiduzUvIO io(nullptr);
    io.SetStreamHeaders(true);
    gSeenSize = -1;
    try {
      if (id == ieftTIFF)
        io.LoadFromStreamTIFF(&s);
      else
        io.LoadFromStreamPCX(&s);
    } catch (...) {
      std::abort();
    }
    Check(io.Aborting());
    if (valid) {
      Check(gSeenSize == length);
      Check(s.Position() == start + length);
    } else {
      Check(gSeenSize == -1);
    }
  }
  return 0;
}
