// The colour engine's display transform against the exact transform it is
// sampled from: the accuracy over a dense grid of inks for the press
// profiles the system installs, the pixel layouts it honours, and the pairs
// it cannot serve, which still convert.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/devices/colorengine.h"

namespace test_colorengine_display_tests {

namespace {

struct TPressProfile {
  std::string Name;
  std::vector<Byte> Bytes;
};

// Both press profiles of the PostScript interpreter: a large one with
// curved inputs on a 9-point grid and a small one on a 5-point grid.
std::vector<TPressProfile> PressProfiles() {
  std::vector<TPressProfile> found;
  for (const char* name : {"default_cmyk.icc", "ps_cmyk.icc"})
    for (const char* dir : {"/usr/share", "/usr/local/share"}) {
      std::ifstream f(std::string(dir) + "/color/icc/ghostscript/" + name, std::ios::binary);
      if (!f) continue;
      found.push_back({name, std::vector<Byte>(std::istreambuf_iterator<char>(f), {})});
      break;
    }
  return found;
}

class TProfiles {
 public:
  explicit TProfiles(const std::vector<Byte>& CMYK)
      : FCMYK(CEOpenProfileFromMemory(CMYK.data(), CMYK.size())), FSRGB(CECreateSRGBProfile()) {}
  ~TProfiles() {
    CECloseProfile(FCMYK);
    CECloseProfile(FSRGB);
  }
  TProfiles(const TProfiles&) = delete;
  TProfiles& operator=(const TProfiles&) = delete;
  HCEPROFILE CMYK() const { return FCMYK; }
  HCEPROFILE SRGB() const { return FSRGB; }

 private:
  HCEPROFILE FCMYK, FSRGB;
};

class TTransform {
 public:
  explicit TTransform(HCETRANSFORM T) : FT(T) {}
  ~TTransform() { CEDeleteTransform(FT); }
  TTransform(const TTransform&) = delete;
  TTransform& operator=(const TTransform&) = delete;
  HCETRANSFORM Get() const { return FT; }

 private:
  HCETRANSFORM FT;
};

// Every 7th ink level and the last, on all four inks: 38^4 colours.
std::vector<Byte> InkGrid() {
  std::vector<int> levels;
  for (int v = 0; v < 255; v += 7) levels.push_back(v);
  levels.push_back(255);
  std::vector<Byte> grid;
  grid.reserve(levels.size() * levels.size() * levels.size() * levels.size() * 4);
  for (int c : levels)
    for (int m : levels)
      for (int y : levels)
        for (int k : levels) grid.insert(grid.end(), {Byte(c), Byte(m), Byte(y), Byte(k)});
  return grid;
}

// Largest difference of the high bytes of two buffers of RGB+extra words,
// which is how the pictures' code cuts words to bytes.
int LargestDifference(const std::vector<Word>& A, const std::vector<Word>& B) {
  int largest = 0;
  for (size_t i = 0; i < A.size(); i += 4)
    for (size_t c = 0; c < 3; ++c) largest = std::max(largest, std::abs(int(A[i + c] >> 8) - int(B[i + c] >> 8)));
  return largest;
}

const TCEFormat kBytesIn{cecsCMYK, 4, 0, 1, false};
const TCEFormat kWordsIn{cecsCMYK, 4, 0, 2, false};
const TCEFormat kWordsOut{cecsRGB, 3, 1, 2, false};

TEST(ColorEngineDisplay, StaysWithinTwoLevelsOfTheExactTransform) {
  const auto profiles = PressProfiles();
  ASSERT_FALSE(profiles.empty()) << "no press profile installed";
  const std::vector<Byte> inks = InkGrid();
  const size_t n = inks.size() / 4;
  std::vector<Word> inkWords(inks.size());
  for (size_t i = 0; i < inks.size(); ++i) inkWords[i] = Word(inks[i] * 257);
  for (const auto& p : profiles) {
    SCOPED_TRACE(p.Name);
    TProfiles pr(p.Bytes);
    ASSERT_NE(pr.CMYK(), nullptr);
    TTransform exact(CECreateTransform(pr.CMYK(), kWordsIn, pr.SRGB(), kWordsOut, ceiPerceptual, cetfExact));
    TTransform fromBytes(CECreateTransform(pr.CMYK(), kBytesIn, pr.SRGB(), kWordsOut, ceiPerceptual, cetfDisplay));
    TTransform fromWords(CECreateTransform(pr.CMYK(), kWordsIn, pr.SRGB(), kWordsOut, ceiPerceptual, cetfDisplay));
    ASSERT_NE(exact.Get(), nullptr);
    ASSERT_NE(fromBytes.Get(), nullptr);
    ASSERT_NE(fromWords.Get(), nullptr);
    std::vector<Word> e(n * 4), b(n * 4), w(n * 4);
    CETranslate(exact.Get(), inkWords.data(), e.data(), n);
    CETranslate(fromBytes.Get(), inks.data(), b.data(), n);
    CETranslate(fromWords.Get(), inkWords.data(), w.data(), n);
    const int fromBytesOff = LargestDifference(e, b), fromWordsOff = LargestDifference(e, w);
    EXPECT_LE(fromBytesOff, 2);
    EXPECT_LE(fromWordsOff, 2);
    RecordProperty(p.Name + "_largest_difference", std::max(fromBytesOff, fromWordsOff));
  }
}

// Layouts the engine's formats can state: channel order, sizes and extra
// channels, in and out. Each must give the exact transform's colours in the
// same layout, and the extra channels of the output stay as they were.
TEST(ColorEngineDisplay, HonoursPixelLayouts) {
  const auto profiles = PressProfiles();
  ASSERT_FALSE(profiles.empty()) << "no press profile installed";
  TProfiles pr(profiles.front().Bytes);
  const struct {
    const char* Name;
    TCEFormat In, Out;
  } cases[] = {
      {"bytes in, BGR bytes and a spare byte out", {cecsCMYK, 4, 0, 1, false}, {cecsRGB, 3, 1, 1, true}},
      {"words with a spare word in, RGB words out", {cecsCMYK, 4, 1, 2, false}, {cecsRGB, 3, 0, 2, false}},
      {"K, Y, M, C bytes in, RGB bytes out", {cecsCMYK, 4, 0, 1, true}, {cecsRGB, 3, 0, 1, false}},
      {"K, Y, M, C words and two spare in, BGR words and two spare out", {cecsCMYK, 4, 2, 2, true},
       {cecsRGB, 3, 2, 2, true}},
  };
  constexpr Byte kSpare = 0xA5;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const size_t inSize = size_t(c.In.BytesPerChannel) * (c.In.Channels + c.In.Extra);
    const size_t outSize = size_t(c.Out.BytesPerChannel) * (c.Out.Channels + c.Out.Extra);
    // Every 51st level on the four inks, written channel by channel.
    std::vector<Byte> in;
    for (int i = 0; i < 6 * 6 * 6 * 6; ++i) {
      const int ink[4] = {i / 216 * 51, i / 36 % 6 * 51, i / 6 % 6 * 51, i % 6 * 51};
      std::vector<Byte> px(inSize, 0x5A);
      for (int k = 0; k < 4; ++k) {
        const size_t at = size_t(c.In.Reversed ? 3 - k : k) * c.In.BytesPerChannel;
        if (c.In.BytesPerChannel == 1) {
          px[at] = Byte(ink[k]);
        } else {
          const Word w = Word(ink[k] * 257);
          std::memcpy(&px[at], &w, 2);
        }
      }
      in.insert(in.end(), px.begin(), px.end());
    }
    const size_t n = in.size() / inSize;
    TTransform exact(CECreateTransform(pr.CMYK(), c.In, pr.SRGB(), c.Out, ceiPerceptual, cetfExact));
    TTransform display(CECreateTransform(pr.CMYK(), c.In, pr.SRGB(), c.Out, ceiPerceptual, cetfDisplay));
    ASSERT_NE(exact.Get(), nullptr);
    ASSERT_NE(display.Get(), nullptr);
    std::vector<Byte> e(n * outSize, kSpare), d(n * outSize, kSpare);
    CETranslate(exact.Get(), in.data(), e.data(), n);
    CETranslate(display.Get(), in.data(), d.data(), n);
    int largest = 0;
    for (size_t i = 0; i < n; ++i)
      for (size_t ch = 0; ch < size_t(c.Out.Channels + c.Out.Extra); ++ch) {
        const size_t at = i * outSize + ch * c.Out.BytesPerChannel;
        if (ch >= c.Out.Channels) {
          for (size_t b = 0; b < c.Out.BytesPerChannel; ++b) ASSERT_EQ(d[at + b], kSpare) << "pixel " << i;
          continue;
        }
        int ev = e[at], dv = d[at];
        if (c.Out.BytesPerChannel == 2) {
          Word ew, dw;
          std::memcpy(&ew, &e[at], 2);
          std::memcpy(&dw, &d[at], 2);
          ev = ew >> 8;
          dv = dw >> 8;
        }
        largest = std::max(largest, std::abs(ev - dv));
      }
    EXPECT_LE(largest, 2);
  }
}

// Pairs the table does not serve (here RGB input) get the engine's own
// precalculated transform, which still converts: sRGB to itself keeps the
// colours.
TEST(ColorEngineDisplay, OtherPairsStillConvert) {
  HCEPROFILE a = CECreateSRGBProfile(), b = CECreateSRGBProfile();
  const TCEFormat rgb{cecsRGB, 3, 0, 1, false};
  TTransform t(CECreateTransform(a, rgb, b, rgb, ceiPerceptual, cetfDisplay));
  CECloseProfile(a);
  CECloseProfile(b);
  ASSERT_NE(t.Get(), nullptr);
  std::vector<Byte> in, out(3 * 512);
  for (int i = 0; i < 512; ++i) in.insert(in.end(), {Byte(i / 64 * 36), Byte(i / 8 % 8 * 36), Byte(i % 8 * 36)});
  CETranslate(t.Get(), in.data(), out.data(), 512);
  for (size_t i = 0; i < in.size(); ++i) EXPECT_LE(std::abs(int(in[i]) - int(out[i])), 1) << "byte " << i;
}

}  // namespace

}  // namespace test_colorengine_display_tests
