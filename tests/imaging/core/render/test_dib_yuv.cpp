// Video-frame YUV layouts in packed DIBs, checked against frames and colours
// made by ffmpeg from the same noise picture, odd sizes included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/render/iedib.h"
#include "imaging/core/render/iedibconvert.h"
#include "tests/support/temp_dir.h"

namespace test_dib_yuv_tests {

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

// A 40-byte header naming the layout, followed by the frame.
Bytes FrameDib(int32_t w, int32_t h, uint16_t bits, const char* code, const Bytes& frame) {
  Bytes b(40 + frame.size(), 0);
  const uint32_t size = 40;
  std::memcpy(&b[0], &size, 4);
  std::memcpy(&b[4], &w, 4);
  std::memcpy(&b[8], &h, 4);
  b[12] = 1;
  std::memcpy(&b[14], &bits, 2);
  std::memcpy(&b[16], code, 4);
  std::copy(frame.begin(), frame.end(), b.begin() + 40);
  return b;
}

// Our picture as red, green, blue per pixel, top row first.
Bytes OurRGB(TIEBitmap& bmp) {
  Bytes out;
  for (Integer y = 0; y < bmp.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(bmp.GetScanline(y));
    for (Integer x = 0; x < bmp.Width(); ++x) out.insert(out.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return out;
}

// Planes of a planar ffmpeg frame: Y (w x h), then two chroma planes of
// cw x ch.
struct TPlanes {
  Bytes Y, U, V;
  int cw = 0, ch = 0;
};

TPlanes Split(const Bytes& f, int w, int h, int sx, int sy) {
  TPlanes p;
  p.cw = (w + sx - 1) / sx;
  p.ch = (h + sy - 1) / sy;
  const size_t ys = size_t(w) * h, cs = size_t(p.cw) * p.ch;
  p.Y.assign(f.begin(), f.begin() + ys);
  p.U.assign(f.begin() + ys, f.begin() + ys + cs);
  p.V.assign(f.begin() + ys + cs, f.begin() + ys + 2 * cs);
  return p;
}

Bytes Cat(std::initializer_list<const Bytes*> parts) {
  Bytes out;
  for (const Bytes* p : parts) out.insert(out.end(), p->begin(), p->end());
  return out;
}

// The ffmpeg frames and colours of one picture size.
struct TYuvFixture {
  int w = 0, h = 0;
  // Frame in each of ffmpeg's layouts (in kLayouts order) and ffmpeg's colours for it.
  std::vector<Bytes> Frame, Rgb;
};

// ffmpeg's pixel format, the planar format of the same subsampling, and
// the subsampling.
struct TLayout {
  const char* Fmt;
  const char* Planar;
  int sx, sy;
};
const TLayout kLayouts[] = {
    {"yuv420p", "yuv420p", 2, 2}, {"yuv410p", "yuv410p", 4, 4}, {"yuv411p", "yuv411p", 4, 1},
    {"yuv444p", "yuv444p", 1, 1}, {"yuyv422", "yuv422p", 2, 1}, {"uyvy422", "yuv422p", 2, 1},
    {"yvyu422", "yuv422p", 2, 1},
};
enum { k420, k410, k411, k444, kYuyv, kUyvy, kYvyu, kLayoutCount };

struct TSize {
  int w, h;
};
// An even size and odd ones.
const TSize kSizes[] = {{16, 8}, {13, 7}, {1, 1}, {9, 5}};

// Made once for the whole suite: every size and layout goes through three
// ffmpeg runs (frames; planes of the packed frames; colours), each run with
// one input and one output per frame, instead of three runs per frame.
//
// Chroma is spread over its block here (each pixel takes the sample of the
// block it lies in), so that ffmpeg converts 4:4:4 samples and no chroma
// filter of its own comes in: ffmpeg repacks the packed frames into planes
// of the same subsampling (a lossless reorder), and turns the spread planes
// into colours.
class YuvFrames : public ::testing::TestWithParam<int> {
 protected:
  static void SetUpTestSuite() {
    dir = new gt_test::TempDir("dibyuv");
    fixtures = new std::vector<TYuvFixture>;
    setupFailure = new std::string;
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) {
      *setupFailure = "ffmpeg is not installed";
      return;
    }
    auto file = [&](size_t s, const std::string& fmt, const char* ext) {
      return dir->File(std::to_string(s) + "_" + fmt + ext);
    };
    auto dims = [](const TSize& z) { return " -s " + std::to_string(z.w) + "x" + std::to_string(z.h); };
    const size_t sizes = std::size(kSizes);
    // Noise pictures as PPM, and their frames in every layout.
    std::string frames = "ffmpeg -v error -y";
    for (size_t s = 0; s < sizes; ++s) {
      const std::string src = file(s, "src", ".ppm");
      std::mt19937 rng(unsigned(kSizes[s].w * 100 + kSizes[s].h));
      std::ofstream f(src, std::ios::binary);
      f << "P6 " << kSizes[s].w << " " << kSizes[s].h << " 255\n";
      for (int i = 0; i < kSizes[s].w * kSizes[s].h * 3; ++i) f.put(char(rng() & 0xFF));
      frames += " -i '" + src + "'";
    }
    for (size_t s = 0; s < sizes; ++s)
      for (const TLayout& l : kLayouts)
        frames += " -map " + std::to_string(s) + " -f rawvideo -pix_fmt " + l.Fmt + " '" + file(s, l.Fmt, ".yuv") + "'";
    if (!Run(frames)) return;
    // Planes of the packed frames; a planar frame is its own planes.
    std::string repack = "ffmpeg -v error -y", repackOut;
    int inputs = 0;
    for (size_t s = 0; s < sizes; ++s)
      for (const TLayout& l : kLayouts) {
        if (std::string(l.Fmt) == l.Planar) continue;
        repack += " -f rawvideo -pix_fmt " + std::string(l.Fmt) + dims(kSizes[s]) + " -i '" + file(s, l.Fmt, ".yuv") + "'";
        repackOut += " -map " + std::to_string(inputs++) + " -f rawvideo -pix_fmt " + l.Planar + " '" +
                     file(s, l.Fmt, ".planes") + "'";
      }
    if (!Run(repack + repackOut)) return;
    // Spread chroma, then ffmpeg's colours.
    std::string colours = "ffmpeg -v error -y", coloursOut;
    inputs = 0;
    for (size_t s = 0; s < sizes; ++s) {
      TYuvFixture fx;
      fx.w = kSizes[s].w, fx.h = kSizes[s].h;
      for (const TLayout& l : kLayouts) {
        fx.Frame.push_back(ReadFile(file(s, l.Fmt, ".yuv")));
        const bool planar = std::string(l.Fmt) == l.Planar;
        const TPlanes p = Split(planar ? fx.Frame.back() : ReadFile(file(s, l.Fmt, ".planes")), fx.w, fx.h, l.sx, l.sy);
        if (p.V.size() != size_t(p.cw) * p.ch) {
          *setupFailure = std::string("ffmpeg's planes of ") + l.Fmt + " are short";
          return;
        }
        Bytes spread = p.Y;
        for (const Bytes* c : {&p.U, &p.V})
          for (int y = 0; y < fx.h; ++y)
            for (int x = 0; x < fx.w; ++x) spread.push_back((*c)[size_t(y / l.sy) * p.cw + x / l.sx]);
        std::ofstream(file(s, l.Fmt, ".444"), std::ios::binary)
            .write(reinterpret_cast<const char*>(spread.data()), std::streamsize(spread.size()));
        colours += " -f rawvideo -pix_fmt yuv444p" + dims(kSizes[s]) + " -i '" + file(s, l.Fmt, ".444") + "'";
        coloursOut += " -map " + std::to_string(inputs++) + " -sws_flags accurate_rnd -f rawvideo -pix_fmt rgb24 '" +
                      file(s, l.Fmt, ".rgb") + "'";
      }
      fixtures->push_back(std::move(fx));
    }
    if (!Run(colours + coloursOut)) return;
    for (size_t s = 0; s < sizes; ++s)
      for (const TLayout& l : kLayouts) {
        (*fixtures)[s].Rgb.push_back(ReadFile(file(s, l.Fmt, ".rgb")));
        if ((*fixtures)[s].Rgb.back().size() != size_t(kSizes[s].w) * kSizes[s].h * 3) {
          *setupFailure = std::string("ffmpeg's colours of ") + l.Fmt + " are short";
          return;
        }
      }
  }
  static void TearDownTestSuite() {
    delete dir;
    delete fixtures;
    delete setupFailure;
    dir = nullptr, fixtures = nullptr, setupFailure = nullptr;
  }
  static bool Run(const std::string& Cmd) {
    if (std::system(Cmd.c_str()) == 0) return true;
    *setupFailure = "failed: " + Cmd;
    return false;
  }
  static gt_test::TempDir* dir;
  static std::vector<TYuvFixture>* fixtures;
  static std::string* setupFailure;
};

gt_test::TempDir* YuvFrames::dir = nullptr;
std::vector<TYuvFixture>* YuvFrames::fixtures = nullptr;
std::string* YuvFrames::setupFailure = nullptr;

void ExpectClose(const Bytes& ours, const Bytes& want, const std::string& what) {
  ASSERT_EQ(ours.size(), want.size()) << what;
  int worst = 0;
  size_t at = 0;
  for (size_t i = 0; i < ours.size(); ++i) {
    const int d = std::abs(int(ours[i]) - int(want[i]));
    if (d > worst) worst = d, at = i;
  }
  EXPECT_LE(worst, 2) << what << ": sample " << at << " (pixel " << at / 3 << ") ours " << int(ours[at])
                      << " ffmpeg " << int(want[at]);
}

// Every layout ffmpeg can give us directly or by reordering its planes,
// each at an even and at odd sizes.
TEST_P(YuvFrames, LayoutsDecodeLikeFfmpeg) {
  ASSERT_TRUE(setupFailure->empty()) << *setupFailure;
  const TYuvFixture& fx = (*fixtures)[size_t(GetParam())];
  {
    const int w = fx.w, h = fx.h;
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const Bytes &f420 = fx.Frame[k420], &f410 = fx.Frame[k410], &f411 = fx.Frame[k411], &f444 = fx.Frame[k444];
    const Bytes &fyuy = fx.Frame[kYuyv], &fuyv = fx.Frame[kUyvy], &fyvy = fx.Frame[kYvyu];
    const Bytes &c420 = fx.Rgb[k420], &c410 = fx.Rgb[k410], &c411 = fx.Rgb[k411], &c444 = fx.Rgb[k444];
    const Bytes &cyuy = fx.Rgb[kYuyv], &cuyv = fx.Rgb[kUyvy], &cyvy = fx.Rgb[kYvyu];
    const TPlanes p420 = Split(f420, w, h, 2, 2), p410 = Split(f410, w, h, 4, 4), p411 = Split(f411, w, h, 4, 1);

    // IYU1: U Y0 Y1 V Y2 Y3 per four pixels, from the 4:1:1 planes.
    Bytes iyu1;
    for (int y = 0; y < h; ++y)
      for (int g = 0; g < p411.cw; ++g) {
        auto Y = [&](int i) { return g * 4 + i < w ? p411.Y[size_t(y) * w + g * 4 + i] : uint8_t(16); };
        const uint8_t u = p411.U[size_t(y) * p411.cw + g], v = p411.V[size_t(y) * p411.cw + g];
        iyu1.insert(iyu1.end(), {u, Y(0), Y(1), v, Y(2), Y(3)});
      }
    // Y41P: U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4..Y7 per eight pixels, bottom row first.
    Bytes y41p;
    for (int r = h - 1; r >= 0; --r)
      for (int g = 0; g < (w + 7) / 8; ++g) {
        auto Y = [&](int i) { return g * 8 + i < w ? p411.Y[size_t(r) * w + g * 8 + i] : uint8_t(16); };
        auto C = [&](const Bytes& pl, int half) {
          const int c = g * 2 + half;
          return c < p411.cw ? pl[size_t(r) * p411.cw + c] : uint8_t(128);
        };
        y41p.insert(y41p.end(), {C(p411.U, 0), Y(0), C(p411.V, 0), Y(1), C(p411.U, 1), Y(2), C(p411.V, 1), Y(3), Y(4),
                                 Y(5), Y(6), Y(7)});
      }
    // IYU2: U Y V per pixel; cyuv: UYVY rows bottom first.
    Bytes iyu2;
    const size_t n = size_t(w) * h;
    for (size_t i = 0; i < n; ++i) iyu2.insert(iyu2.end(), {f444[n + i], f444[i], f444[2 * n + i]});
    Bytes cyuv;
    const size_t uyvyRow = fuyv.size() / size_t(h);
    for (int r = h - 1; r >= 0; --r) cyuv.insert(cyuv.end(), fuyv.begin() + r * uyvyRow, fuyv.begin() + (r + 1) * uyvyRow);

    struct TCase {
      const char* Code;
      uint16_t Bits;
      Bytes Frame;
      const Bytes* Want;
    } cases[] = {
        {"I420", 12, f420, &c420},
        {"IYUV", 12, f420, &c420},
        {"YV12", 12, Cat({&p420.Y, &p420.V, &p420.U}), &c420},
        {"YVU9", 9, Cat({&p410.Y, &p410.V, &p410.U}), &c410},
        {"YUY2", 16, fyuy, &cyuy},
        {"YUNV", 16, fyuy, &cyuy},
        {"UYVY", 16, fuyv, &cuyv},
        {"UYNV", 16, fuyv, &cuyv},
        {"cyuv", 16, cyuv, &cuyv},
        {"YVYU", 16, fyvy, &cyvy},
        {"IYU1", 12, iyu1, &c411},
        {"Y41P", 12, y41p, &c411},
        {"IYU2", 24, iyu2, &c444},
    };
    for (const TCase& c : cases) {
      SCOPED_TRACE(c.Code);
      // An exact-size block: reading past the frame leaves the allocation.
      const Bytes dib = FrameDib(w, h, c.Bits, c.Code, c.Frame);
      TIEBitmap out;
      ASSERT_EQ(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), c.Bits);
      ASSERT_EQ(out.Width(), w);
      ASSERT_EQ(out.Height(), h);
      ASSERT_EQ(out.PixelFormat(), ie24RGB);
      ExpectClose(OurRGB(out), *c.Want, c.Code);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, YuvFrames, ::testing::Range(0, int(std::size(kSizes))),
                         [](const ::testing::TestParamInfo<int>& Info) {
                           const TSize& z = kSizes[size_t(Info.param)];
                           return std::to_string(z.w) + "x" + std::to_string(z.h);
                         });

// A frame one byte short of what its size needs is refused, for the
// planar layouts (whose chroma planes are rounded up) and the packed ones.
TEST(YuvFrame, ShortFramesAreRefused) {
  struct TCase {
    const char* Code;
    int w, h;
    size_t Need;
  } cases[] = {
      {"I420", 5, 3, 15 + 2 * 3 * 2}, {"YV12", 4, 4, 16 + 2 * 4}, {"YVU9", 5, 5, 25 + 2 * 4},
      {"YUY2", 3, 2, 2 * 8},          {"IYU1", 5, 2, 2 * 12},      {"Y41P", 9, 2, 2 * 24},
      {"IYU2", 3, 2, 18},             {"Y211", 5, 1, 8},           {"CLJR", 5, 1, 8},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Code);
    TIEBitmap out;
    Bytes full = FrameDib(c.w, c.h, 12, c.Code, Bytes(c.Need, 128));
    EXPECT_NE(IEDIBToBitmapBlock(full.data(), full.size(), &out), 0);
    EXPECT_EQ(out.Width(), c.w);
    Bytes shorter = FrameDib(c.w, c.h, 12, c.Code, Bytes(c.Need - 1, 128));
    EXPECT_EQ(IEDIBToBitmapBlock(shorter.data(), shorter.size(), &out), 0);
    EXPECT_TRUE(out.IsEmpty());
  }
  // An unknown code is refused as well.
  TIEBitmap out;
  Bytes other = FrameDib(2, 2, 16, "ABCD", Bytes(64, 0));
  EXPECT_EQ(IEDIBToBitmapBlock(other.data(), other.size(), &out), 0);
}

TEST(YuvFrame, SampleConversion) {
  struct TCase {
    Integer Y, U, V;
    Byte R, G, B;
  } cases[] = {
      {16, 128, 128, 0, 0, 0},      // video black
      {235, 128, 128, 255, 255, 255},  // video white: 254.9 rounds up
      {126, 128, 128, 128, 128, 128},  // 110 x 1.164 = 128.04
      {81, 90, 240, 254, 0, 0},     // red: green and blue clamped at 0
      {0, 0, 0, 0, 135, 0},         // far outside the range: clamped
  };
  for (const TCase& c : cases) {
    const TRGB got = IEYUVToRGB(c.Y, c.U, c.V);
    EXPECT_EQ(got.r, c.R) << c.Y << "," << c.U << "," << c.V;
    EXPECT_EQ(got.g, c.G) << c.Y << "," << c.U << "," << c.V;
    EXPECT_EQ(got.b, c.B) << c.Y << "," << c.U << "," << c.V;
  }
}

// The two layouts ffmpeg has no format for, with values worked out by hand:
// Y211 gives pixels 0 and 1 the first luma sample and 2 and 3 the second;
// CLJR packs 5-bit luma and 6-bit chroma into one word per four pixels.
TEST(YuvFrame, HalfLumaAndPackedWordLayouts) {
  {
    // Y0 U Y2 V for 4 pixels, then 2 pixels of a second group.
    const Bytes frame = {16, 128, 235, 128, 126, 128, 16, 128};
    const Bytes dib = FrameDib(6, 1, 8, "Y211", frame);
    TIEBitmap out;
    ASSERT_NE(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 0);
    const Bytes want = {0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255, 128, 128, 128, 128, 128, 128};
    EXPECT_EQ(OurRGB(out), want);
  }
  {
    // Luma 31 (248 + 7 = 255 widened) for pixel 0, 0 for the others; chroma
    // 32 (widened to 130) for both.
    const uint32_t word = (31u << 12) | (32u << 6) | 32u;
    Bytes frame(4);
    std::memcpy(frame.data(), &word, 4);
    const Bytes dib = FrameDib(4, 1, 8, "CLJR", frame);
    TIEBitmap out;
    ASSERT_NE(IEDIBToBitmapBlock(dib.data(), dib.size(), &out), 0);
    const Bytes rgb = OurRGB(out);
    const TRGB bright = IEYUVToRGB(255, 130, 130), dark = IEYUVToRGB(0, 130, 130);
    EXPECT_EQ(rgb[0], bright.r);
    EXPECT_EQ(rgb[2], bright.b);
    EXPECT_EQ(rgb[3], dark.r);
    EXPECT_EQ(rgb[11], dark.b);
  }
}

}  // namespace

}  // namespace test_dib_yuv_tests
