// Why a table of our own: the engine's precalculated tables interpolate the
// clipped, gamma-encoded output, and the clipping at the edge of the RGB
// gamut plus the steep start of the encoding curve put saturated and dark
// colours up to 20 levels off. Here the exact transform is sampled in linear
// light, unclipped, on a grid that follows the input profile's own curves;
// the encoding and the clipping come after the interpolation, per channel.
// That stays within 2 levels of the exact transform per 8-bit channel.
#include "platform/devices/private/colorengine_display.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

constexpr int G = TCEDisplayTable::kGrid;
constexpr int N = TCEDisplayTable::kCurveSteps;
// Floats between neighbouring nodes of each input channel.
constexpr size_t kStride3 = 4;
constexpr size_t kStride2 = kStride3 * G;
constexpr size_t kStride1 = kStride2 * G;
constexpr size_t kStride0 = kStride1 * G;

constexpr cmsUInt32Number kExactFlags = cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE;

// The same profile with linear tone curves: the exact transform into it
// gives linear-light RGB, and float formats leave it unclipped.
cmsHPROFILE LinearCopy(cmsHPROFILE Output) {
  cmsUInt32Number n = 0;
  if (!cmsSaveProfileToMem(Output, nullptr, &n) || n == 0) return nullptr;
  std::vector<Byte> bytes(n);
  if (!cmsSaveProfileToMem(Output, bytes.data(), &n)) return nullptr;
  cmsHPROFILE linear = cmsOpenProfileFromMem(bytes.data(), n);
  if (!linear) return nullptr;
  cmsToneCurve* one = cmsBuildGamma(nullptr, 1.0);
  const bool ok = one && cmsWriteTag(linear, cmsSigRedTRCTag, one) && cmsWriteTag(linear, cmsSigGreenTRCTag, one) &&
                  cmsWriteTag(linear, cmsSigBlueTRCTag, one);
  if (one) cmsFreeToneCurve(one);
  if (!ok) {
    cmsCloseProfile(linear);
    return nullptr;
  }
  return linear;
}

// The curves that open the input table of Intent when they are a set of
// four rising curves from 0 to 1, sampled into Samples; false otherwise.
bool ProfileInputCurves(cmsHPROFILE Input, cmsUInt32Number Intent, std::vector<float> (&Samples)[4]) {
  // Floating-point tables take precedence in the engine; they are left to
  // the even grid.
  if (cmsIsTag(Input, cmsSigDToB0Tag) || cmsIsTag(Input, cmsSigDToB1Tag) || cmsIsTag(Input, cmsSigDToB2Tag))
    return false;
  cmsTagSignature sig = cmsSigAToB0Tag;
  if (Intent == INTENT_RELATIVE_COLORIMETRIC || Intent == INTENT_ABSOLUTE_COLORIMETRIC) sig = cmsSigAToB1Tag;
  if (Intent == INTENT_SATURATION) sig = cmsSigAToB2Tag;
  if (!cmsIsTag(Input, sig)) sig = cmsSigAToB0Tag;
  auto* table = static_cast<cmsPipeline*>(cmsReadTag(Input, sig));
  if (!table) return false;
  cmsStage* first = cmsPipelineGetPtrToFirstStage(table);
  if (!first || cmsStageType(first) != cmsSigCurveSetElemType || cmsStageInputChannels(first) != 4 ||
      cmsStageOutputChannels(first) != 4)
    return false;
  cmsPipeline* curves = cmsPipelineAlloc(cmsGetProfileContextID(Input), 4, 4);
  cmsStage* copy = curves ? cmsStageDup(first) : nullptr;
  if (!copy || !cmsPipelineInsertStage(curves, cmsAT_END, copy)) {
    if (copy) cmsStageFree(copy);
    if (curves) cmsPipelineFree(curves);
    return false;
  }
  for (auto& s : Samples) s.resize(N + 1);
  for (int i = 0; i <= N; ++i) {
    const float v = float(i) / N;
    const float in[4] = {v, v, v, v};
    float out[4];
    cmsPipelineEvalFloat(in, out, curves);
    for (int k = 0; k < 4; ++k) Samples[k][size_t(i)] = out[k];
  }
  cmsPipelineFree(curves);
  for (const auto& s : Samples) {
    if (!(std::fabs(s[0]) < 1e-3f) || !(std::fabs(s[N] - 1) < 1e-3f)) return false;
    for (int i = 0; i < N; ++i)
      if (!(s[size_t(i) + 1] >= s[size_t(i)])) return false;
  }
  return true;
}

inline float Lerp(const std::vector<float>& Table, float Position) {
  int i = int(Position);
  if (i >= N) i = N - 1;
  const float f = Position - float(i);
  const float a = Table[size_t(i)];
  return a + f * (Table[size_t(i) + 1] - a);
}

// Corner offsets and weights of the tetrahedron of a cube that holds the
// fractions (A, B, C) along strides 1, 2 and 3 (the split the engine uses).
struct TTetra {
  size_t D1, D2, D3;
  float F1, F2, F3;
};

inline TTetra Tetra(float A, float B, float C) {
  if (A >= B) {
    if (B >= C) return {kStride1, kStride2, kStride3, A, B, C};
    if (A >= C) return {kStride1, kStride3, kStride2, A, C, B};
    return {kStride3, kStride1, kStride2, C, A, B};
  }
  if (A >= C) return {kStride2, kStride1, kStride3, B, A, C};
  if (B >= C) return {kStride2, kStride3, kStride1, B, C, A};
  return {kStride3, kStride2, kStride1, C, B, A};
}

}  // namespace

std::unique_ptr<TCEDisplayTable> TCEDisplayTable::Build(cmsHPROFILE Input, cmsHPROFILE Output,
                                                        cmsUInt32Number Intent) {
  if (!Input || !Output || cmsGetColorSpace(Input) != cmsSigCmykData || cmsGetColorSpace(Output) != cmsSigRgbData ||
      !cmsIsMatrixShaper(Output))
    return nullptr;
  cmsHPROFILE linear = LinearCopy(Output);
  if (!linear) return nullptr;
  std::unique_ptr<TCEDisplayTable> t(new TCEDisplayTable);
  const bool ok = t->BuildInputCurves(Input, Intent) && t->BuildNodes(Input, linear, Intent) &&
                  t->BuildOutputCurves(linear, Output, Intent);
  cmsCloseProfile(linear);
  if (!ok) return nullptr;
  return t;
}

bool TCEDisplayTable::BuildInputCurves(cmsHPROFILE Input, cmsUInt32Number Intent) {
  if (!ProfileInputCurves(Input, Intent, FIn)) {
    for (auto& s : FIn) {
      s.resize(N + 1);
      for (int i = 0; i <= N; ++i) s[size_t(i)] = float(i) / N;
    }
  }
  for (auto& s : FIn)
    for (float& v : s) v = std::clamp(v * float(G - 1), 0.0f, float(G - 1));
  const size_t strides[4] = {kStride0, kStride1, kStride2, kStride3};
  for (int k = 0; k < 4; ++k)
    for (int b = 0; b < 256; ++b) {
      const float x = Lerp(FIn[k], float(b) * (float(N) / 255.0f));
      int i = int(x);
      if (i > G - 2) i = G - 2;
      FByteSteps[k][b] = {uint32_t(size_t(i) * strides[k]), x - float(i)};
    }
  return true;
}

float TCEDisplayTable::InputCoordinate(int Channel, float Value) const {
  return Lerp(FIn[Channel], Value * N);
}

bool TCEDisplayTable::BuildNodes(cmsHPROFILE Input, cmsHPROFILE Linear, cmsUInt32Number Intent) {
  // Input value of every node: where the input curve reaches the node's
  // grid coordinate, found by bisection (the curves rise).
  float at[4][G];
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < G; ++j) {
      float lo = 0, hi = 1;
      for (int step = 0; step < 40; ++step) {
        const float mid = (lo + hi) / 2;
        (InputCoordinate(k, mid) < float(j) ? lo : hi) = mid;
      }
      at[k][j] = j == 0 ? 0.0f : j == G - 1 ? 1.0f : hi;
    }
  cmsHTRANSFORM exact = cmsCreateTransform(Input, TYPE_CMYK_FLT, Linear, TYPE_RGBA_FLT, Intent, kExactFlags);
  if (!exact) return false;
  FNodes.assign(kStride0 * G, 0.0f);
  // One slice of channel 0 at a time; the transform has no cache, so the
  // slices can run on several threads at once.
  std::atomic<int> next{0};
  auto work = [&] {
    std::vector<float> in(size_t(G) * G * G * 4);
    for (int i0; (i0 = next.fetch_add(1)) < G;) {
      float* p = in.data();
      for (int i1 = 0; i1 < G; ++i1)
        for (int i2 = 0; i2 < G; ++i2)
          for (int i3 = 0; i3 < G; ++i3, p += 4) {
            // The engine's float CMYK runs 0..100.
            p[0] = at[0][i0] * 100;
            p[1] = at[1][i1] * 100;
            p[2] = at[2][i2] * 100;
            p[3] = at[3][i3] * 100;
          }
      cmsDoTransform(exact, in.data(), FNodes.data() + size_t(i0) * kStride0, cmsUInt32Number(G * G * G));
    }
  };
  const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
  std::vector<std::thread> pool;
  for (unsigned i = 1; i < threads; ++i) {
    // Fewer threads only cost time: the calling thread takes what is left.
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (auto& t : pool) t.join();
  cmsDeleteTransform(exact);
  for (float v : FNodes)
    if (!std::isfinite(v)) return false;
  return true;
}

bool TCEDisplayTable::BuildOutputCurves(cmsHPROFILE Linear, cmsHPROFILE Output, cmsUInt32Number Intent) {
  // Both profiles share their primaries, so a grey ramp through them gives
  // each channel's encoding curve.
  cmsHTRANSFORM encode = cmsCreateTransform(Linear, TYPE_RGB_FLT, Output, TYPE_RGB_FLT, Intent, kExactFlags);
  if (!encode) return false;
  std::vector<float> ramp(size_t(N + 1) * 3), encoded(size_t(N + 1) * 3);
  for (int i = 0; i <= N; ++i) ramp[size_t(i) * 3] = ramp[size_t(i) * 3 + 1] = ramp[size_t(i) * 3 + 2] = float(i) / N;
  cmsDoTransform(encode, ramp.data(), encoded.data(), cmsUInt32Number(N + 1));
  cmsDeleteTransform(encode);
  for (int c = 0; c < 3; ++c) {
    FOut[c].resize(N + 1);
    for (int i = 0; i <= N; ++i) {
      const float v = encoded[size_t(i) * 3 + size_t(c)];
      if (!std::isfinite(v)) return false;
      FOut[c][size_t(i)] = std::clamp(v, 0.0f, 1.0f) * 65535.0f;
    }
  }
  return true;
}

void TCEDisplayTable::Run(const Byte* Source, const TCEFormat& InputFormat, Byte* Target,
                          const TCEFormat& OutputFormat, size_t Count) const {
  const bool inWords = InputFormat.BytesPerChannel == 2, outWords = OutputFormat.BytesPerChannel == 2;
  if (inWords) {
    if (outWords)
      RunAs<true, true>(Source, InputFormat, Target, OutputFormat, Count);
    else
      RunAs<true, false>(Source, InputFormat, Target, OutputFormat, Count);
  } else {
    if (outWords)
      RunAs<false, true>(Source, InputFormat, Target, OutputFormat, Count);
    else
      RunAs<false, false>(Source, InputFormat, Target, OutputFormat, Count);
  }
}

template <bool InWords, bool OutWords>
void TCEDisplayTable::RunAs(const Byte* Source, const TCEFormat& InputFormat, Byte* Target,
                            const TCEFormat& OutputFormat, size_t Count) const {
  using TVec = float __attribute__((vector_size(16)));
  const size_t inSize = size_t(InputFormat.BytesPerChannel) * (InputFormat.Channels + InputFormat.Extra);
  const size_t outSize = size_t(OutputFormat.BytesPerChannel) * (OutputFormat.Channels + OutputFormat.Extra);
  // Byte offset of each colour channel; reversed channels keep the extra
  // channels behind them.
  size_t inAt[4], outAt[3];
  for (int k = 0; k < 4; ++k) inAt[k] = size_t(InputFormat.Reversed ? 3 - k : k) * InputFormat.BytesPerChannel;
  for (int c = 0; c < 3; ++c) outAt[c] = size_t(OutputFormat.Reversed ? 2 - c : c) * OutputFormat.BytesPerChannel;
  const size_t strides[4] = {kStride0, kStride1, kStride2, kStride3};
  const float* nodes = FNodes.data();
  const float* out[3] = {FOut[0].data(), FOut[1].data(), FOut[2].data()};
  auto load = [](const float* p) {
    TVec v;
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  for (size_t n = 0; n < Count; ++n, Source += inSize, Target += outSize) {
    size_t base = 0;
    float f[4];
    for (int k = 0; k < 4; ++k) {
      if constexpr (InWords) {
        Word w;
        std::memcpy(&w, Source + inAt[k], 2);
        const float x = Lerp(FIn[k], float(w) * (float(N) / 65535.0f));
        int i = int(x);
        if (i > G - 2) i = G - 2;
        f[k] = x - float(i);
        base += size_t(i) * strides[k];
      } else {
        const TStep& s = FByteSteps[k][Source[inAt[k]]];
        f[k] = s.Fraction;
        base += s.Offset;
      }
    }
    // Tetrahedra in channels 1..3 on the two slices of channel 0, and a
    // straight line between them, as the engine interpolates a four-colour
    // table; the three colour channels at once.
    const TTetra t = Tetra(f[1], f[2], f[3]);
    const size_t d2 = t.D1 + t.D2, d3 = d2 + t.D3;
    TVec v[2];
    for (int s = 0; s < 2; ++s) {
      const float* p = nodes + base + size_t(s) * kStride0;
      const TVec a = load(p), b = load(p + t.D1), d = load(p + d2), e = load(p + d3);
      v[s] = a + t.F1 * (b - a) + t.F2 * (d - b) + t.F3 * (e - d);
    }
    const TVec rgb = v[0] + f[0] * (v[1] - v[0]);
    for (int c = 0; c < 3; ++c) {
      // Clipped to the gamut here, after the interpolation (NaN to 0).
      float x = rgb[c] > 0 ? rgb[c] : 0.0f;
      x = std::min(x, 1.0f) * float(N);
      const int i = std::min(int(x), N - 1);
      const float* o = out[c] + i;
      const float enc = o[0] + (x - float(i)) * (o[1] - o[0]);
      const Word w = Word(enc + 0.5f);
      if constexpr (OutWords) {
        std::memcpy(Target + outAt[c], &w, 2);
      } else {
        // The engine's rounding of a word to a byte.
        Target[outAt[c]] = Byte((uint32_t(w) * 65281u + 8388608u) >> 24);
      }
    }
  }
}
