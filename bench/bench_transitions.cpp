// The slowest frame of every transition effect at full-screen size: each
// effect plays from step 0 to 1024 in steps of 16 (65 frames, a second at
// 60 frames a second) on 1920 x 1080 noise pictures, on one core, and the
// longest time one frame took to compose is reported. An in-process figure
// (the frame's composition only, not the copy to a window); the goal is
// below 16 ms for every effect.
//
//   bench_transitions [first type] [last type]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/view/ietransitions.h"
#include "platform/graphics/bitmap.h"

namespace bench_transitions {

constexpr Integer kWidth = 1920, kHeight = 1080, kStride = 16;

void Fill(TBitmap* B, uint32_t Seed) {
  for (Integer y = 0; y < B->Height(); ++y) {
    auto* r = static_cast<Byte*>(B->ScanLine(y));
    for (Integer x = 0; x < B->Width() * 3; ++x) {
      Seed = Seed * 1664525u + 1013904223u;
      r[x] = static_cast<Byte>((Seed >> 24) / 4 + x / 12 + y / 8);
    }
  }
}

std::string Utf8(const char16_t* S) {
  std::string r;
  for (; *S; ++S) r += static_cast<char>(*S < 128 ? *S : '?');
  return r;
}

}  // namespace bench_transitions

int main(int argc, char** argv) {
  using namespace bench_transitions;
  const Integer first = argc > 1 ? std::atoi(argv[1]) : 1;
  const Integer last = argc > 2 ? std::atoi(argv[2]) : kIETransitionTableCount;
  TIETransitionEffects e(nullptr);
  double worst = 0;
  Integer worstType = 0;
  std::printf("In-process composition of one frame at %d x %d, one core (goal < 16 ms)\n", kWidth, kHeight);
  std::printf("%4s  %-45s %10s %10s\n", "type", "effect", "slowest ms", "mean ms");
  for (Integer type = std::max(first, 1); type <= std::min(last, kIETransitionTableCount); ++type) {
    e.SetSizes(kWidth, kHeight);
    Fill(e.FromBitmap(), 1);
    Fill(e.ToBitmap(), 2);
    e.SetTransitionType(static_cast<TIETransitionType>(type));
    e.Run(false);
    double slowest = 0, total = 0;
    Integer frames = 0;
    for (Integer s = 0; s <= 1024; s += kStride) {
      const auto t0 = std::chrono::steady_clock::now();
      e.DrawStep(s);
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
      slowest = std::max(slowest, ms);
      total += ms;
      ++frames;
    }
    e.Stop();
    std::printf("%4d  %-45s %10.2f %10.2f%s\n", type, Utf8(IETransitionEffectName(type)).c_str(), slowest,
                total / frames, slowest >= 16 ? "  over" : "");
    if (slowest > worst) {
      worst = slowest;
      worstType = type;
    }
  }
  std::printf("slowest frame of all: %.2f ms (type %d)\n", worst, worstType);
  return 0;
}
