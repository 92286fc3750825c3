// The parts of the EXIF block helpers that need no TIFF parser: the block
// header test and the search for a TIFF header in a camera file.
#include "imaging/io/ieexif.h"

#include <algorithm>
#include <cstring>

bool IEIsEXIFBlock(const void* Data, Integer Size) {
  return Data != nullptr && Size >= 5 && std::memcmp(Data, "Exif\0", 5) == 0;
}

int64_t IEFindTIFFHeader(TStream* Stream) {
  if (Stream == nullptr) return -1;
  const int64_t start = Stream->Position();
  const int64_t size = Stream->Size();
  std::vector<Byte> buf(static_cast<size_t>(std::clamp<int64_t>(size - start, 0, 0x20000)));
  const int64_t got = buf.empty() ? 0 : Stream->Read(buf.data(), int64_t(buf.size()));
  Stream->Seek(start, soBeginning);
  for (int64_t i = 0; i + 8 <= got; ++i) {
    const Byte* p = buf.data() + i;
    const bool ii = p[0] == 'I' && p[1] == 'I', mm = p[0] == 'M' && p[1] == 'M';
    if (!ii && !mm) continue;
    const Cardinal magic = ii ? Cardinal(p[2] | p[3] << 8) : Cardinal(p[2] << 8 | p[3]);
    const int64_t first = ii ? int64_t(p[4] | p[5] << 8 | p[6] << 16 | Cardinal(p[7]) << 24)
                             : int64_t(Cardinal(p[4]) << 24 | p[5] << 16 | p[6] << 8 | p[7]);
    // Some camera formats use their own magic numbers in place of 42.
    if (first < size && (magic == 42 || magic == 0x4F52 || magic == 0x5352)) return i;
  }
  return -1;
}
