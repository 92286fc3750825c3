// Content sniffing and the format probes on hostile bytes: nothing may raise,
// read outside the data or hang, every answer is a known id, and the stream
// position is where it was before the call.
#include <cstdint>
#include <cstdlib>
#include <set>

#include "imaging/core/base/iestreams.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieprobes.h"

namespace {

const std::set<TIEFileType> kKnown = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 19, 24, 25, 26, 27, 28, 29};

void Check(bool Condition) {
  if (!Condition) std::abort();
}

void Run(TStream& S, int64_t Pos) {
  S.SetPosition(Pos);
  TIEFileType t = ieftUnknown;
  try {
    t = IEFindStreamFormat(&S);
  } catch (...) {
    std::abort();
  }
  Check(kKnown.count(t) == 1);
  Check(S.Position() == Pos);

  // Every probe on its own, from the same place.
  bool (*const probes[])(TStream*) = {
      IEProbeTIFF, IEProbeTIFFRaw, IEProbeHDPhoto, IEProbePNG, IEProbeDICOM, IEProbeICO,
      IEProbeCUR,  IEProbeTGA,     IEProbePNM,     IEProbeJP2, IEProbeJ2K,   IEProbeAVI,
      IEProbeDCX,  IEProbeWMF,     IEProbeEMF,     IEProbePSD, IEIsVectorObjectsStream,
      IEIsLayersStream, IEIsImageWithObjectsStream};
  for (auto probe : probes) {
    try {
      probe(&S);
    } catch (...) {
      std::abort();
    }
    Check(S.Position() == Pos);
  }
  int64_t jpeg = IEProbeJPEG(&S, true);
  Check(jpeg == -1 || (jpeg >= Pos && jpeg < Pos + 150));
  Check(S.Position() == Pos);
  int64_t at = IEProbeJPEG(&S, false);
  Check(at == -1 || at == 0);
  Check(S.Position() == Pos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool built = (IEBuildFormatRegistry(), true);
  (void)built;
  if (size > (1 << 20)) return 0;
  TIEMemStream s(data, static_cast<int64_t>(size));
  Run(s, 0);
  // The same bytes seen from inside the stream, as a load from a stream
  // positioned after other data sees them.
  if (size > 0) Run(s, static_cast<int64_t>(data[0] % (size < 16 ? size : 16)));
  return 0;
}
