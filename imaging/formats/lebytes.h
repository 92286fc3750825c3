// Little-endian header fields of the PC formats (BMP, ICO, PCX, DCX, TGA), and
// a read that zero-fills whatever a cut file cannot give.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/base/classes.h"
#include "platform/base/types.h"

inline uint16_t LE16(const Byte* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t LE32(const Byte* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put16(Byte* p, uint32_t v) {
  p[0] = Byte(v);
  p[1] = Byte(v >> 8);
}
inline void Put32(Byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = Byte(v >> (8 * i));
}

// Reads Count bytes; whatever the stream cannot give stays zero. Returns the
// bytes really read.
inline int64_t ReadFill(TStream* S, void* Buffer, int64_t Count) {
  if (Count <= 0) return 0;
  int64_t got = S->Read(Buffer, Count);
  if (got < 0) got = 0;
  if (got < Count) std::memset(static_cast<Byte*>(Buffer) + got, 0, size_t(Count - got));
  return got;
}
