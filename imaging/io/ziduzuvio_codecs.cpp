// The codecs wired into the built-in formats. Every descriptor row starts
// with the codec its module provides (empty until the module is built, and
// then every load, save and parameter read of that format refuses cleanly);
// IESetBuiltInCodec swaps one at run time.
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "imaging/io/ieformatdesc.h"

namespace {

struct TCodecSlot {
  TIEFileType FileType;
  TIEBuiltInCodec Codec;
};

struct TCodecTable {
  std::shared_mutex Lock;
  std::vector<TCodecSlot> Slots;
  TCodecTable() {
    for (const TIEFormatDescriptor& d : IEFormatDescriptors())
      if (d.Registered) Slots.push_back({d.FileType, d.Codec});
  }
};

TCodecTable& Table() {
  static TCodecTable t;
  return t;
}

}  // namespace

TIEBuiltInCodec IEGetBuiltInCodec(TIEFileType FileType) {
  TCodecTable& t = Table();
  std::shared_lock lock(t.Lock);
  for (const TCodecSlot& s : t.Slots)
    if (s.FileType == FileType) return s.Codec;
  return {};
}

TIEBuiltInCodec IESetBuiltInCodec(TIEFileType FileType, TIEBuiltInCodec Codec) {
  TCodecTable& t = Table();
  std::unique_lock lock(t.Lock);
  for (TCodecSlot& s : t.Slots) {
    if (s.FileType != FileType) continue;
    TIEBuiltInCodec old = std::move(s.Codec);
    s.Codec = std::move(Codec);
    return old;
  }
  return {};
}
