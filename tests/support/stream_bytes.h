// What a memory stream holds, as bytes to compare with a fixture.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/base/classes.h"

namespace gt_test {

inline std::vector<uint8_t> StreamBytes(TCustomMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return p ? std::vector<uint8_t>(p, p + S.Size()) : std::vector<uint8_t>();
}

}  // namespace gt_test
