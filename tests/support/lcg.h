// A small deterministic generator for test pictures: the same numbers on
// every platform and standard library, unlike the distributions of <random>.
#pragma once

#include <cstdint>

namespace gt_test {

struct Lcg {
  uint32_t State;
  explicit Lcg(uint32_t Seed) : State(Seed) {}
  // 24 bits of the next state.
  uint32_t Next() {
    State = State * 1664525u + 1013904223u;
    return State >> 8;
  }
};

}  // namespace gt_test
