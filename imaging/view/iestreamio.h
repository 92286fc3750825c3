// Little helpers for the view's own stream formats (layers, selections,
// vector objects): fixed-size values written as they lie in memory, and a
// reader that fails for good at the first short read.
#pragma once

#include <cstdint>
#include <cstring>

#include "imaging/core/base/iestreams.h"

namespace iestreamio {

inline void PutBytes(TStream* S, const void* P, int64_t N) { S->WriteBuffer(P, N); }
inline void PutByte(TStream* S, Byte V) { S->WriteBuffer(&V, 1); }
inline void PutInt(TStream* S, Integer V) { S->WriteBuffer(&V, 4); }
inline void PutBool(TStream* S, bool V) { PutByte(S, V ? 1 : 0); }
inline void PutDouble(TStream* S, double V) { S->WriteBuffer(&V, 8); }

// After a short read every later read gives zeros and Ok stays false, so a
// record can be read field by field and checked once. Budget caps the bytes
// a reader may take, for streams whose size says nothing (inflated data).
struct TStreamReader {
  TStream* S;
  int64_t Budget = INT64_MAX;
  bool Ok = true;
  bool Get(void* P, int64_t N) {
    if (Ok && (N > Budget || S->Read(P, N) != N)) Ok = false;
    if (Ok) Budget -= N;
    if (!Ok) std::memset(P, 0, size_t(N));
    return Ok;
  }
  Byte Byte1() {
    Byte v;
    Get(&v, 1);
    return v;
  }
  bool Bool() { return Byte1() != 0; }
  Integer Int() {
    Integer v;
    Get(&v, 4);
    return v;
  }
  int64_t Int64() {
    int64_t v;
    Get(&v, 8);
    return v;
  }
  double Dbl() {
    double v;
    Get(&v, 8);
    return v;
  }
  int64_t Left() { return S->Size() - S->Position(); }
};

}  // namespace iestreamio
