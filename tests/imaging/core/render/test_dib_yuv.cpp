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

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), {});
}

void Shell(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

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

class YuvFrames : public ::testing::Test {
 protected:
  gt_test::TempDir dir{"dibyuv"};

  // Noise picture w x h, written as PPM; returns its path.
  std::string Noise(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::string path = dir.File("src_" + std::to_string(w) + "x" + std::to_string(h) + ".ppm");
    std::ofstream f(path, std::ios::binary);
    f << "P6 " << w << " " << h << " 255\n";
    for (int i = 0; i < w * h * 3; ++i) f.put(char(rng() & 0xFF));
    return path;
  }
  // The frame in ffmpeg's pixel format Fmt, and ffmpeg's colours for it.
  // Chroma is spread over its block here (each pixel takes the sample of
  // the block it lies in), so that ffmpeg converts 4:4:4 samples and no
  // chroma filter of its own comes in: ffmpeg repacks the frame into planes
  // of the same subsampling (Planar, a lossless reorder), and turns the
  // spread planes into colours.
  void Make(const std::string& src, const std::string& fmt, const std::string& planar, int sx, int sy, int w, int h,
            Bytes& frame, Bytes& rgb) {
    const std::string size = " -s " + std::to_string(w) + "x" + std::to_string(h);
    const std::string raw = dir.File(fmt + ".yuv"), planes = dir.File(fmt + ".planes"), full = dir.File(fmt + ".444"),
                      out = dir.File(fmt + ".rgb");
    Shell("ffmpeg -v error -y -i '" + src + "' -f rawvideo -pix_fmt " + fmt + " '" + raw + "'");
    Shell("ffmpeg -v error -y -f rawvideo -pix_fmt " + fmt + size + " -i '" + raw + "' -f rawvideo -pix_fmt " + planar +
          " '" + planes + "'");
    frame = ReadFile(raw);
    const TPlanes p = Split(ReadFile(planes), w, h, sx, sy);
    ASSERT_EQ(p.V.size(), size_t(p.cw) * p.ch);
    Bytes spread = p.Y;
    for (const Bytes* c : {&p.U, &p.V})
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) spread.push_back((*c)[size_t(y / sy) * p.cw + x / sx]);
    std::ofstream(full, std::ios::binary).write(reinterpret_cast<const char*>(spread.data()), std::streamsize(spread.size()));
    Shell("ffmpeg -v error -y -f rawvideo -pix_fmt yuv444p" + size + " -i '" + full +
          "' -sws_flags accurate_rnd -f rawvideo -pix_fmt rgb24 '" + out + "'");
    rgb = ReadFile(out);
    ASSERT_EQ(rgb.size(), size_t(w) * h * 3);
  }
};

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
TEST_F(YuvFrames, LayoutsDecodeLikeFfmpeg) {
  struct TSize {
    int w, h;
  } sizes[] = {{16, 8}, {13, 7}, {1, 1}, {9, 5}};
  for (const TSize& s : sizes) {
    const int w = s.w, h = s.h;
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    const std::string src = Noise(w, h, unsigned(w * 100 + h));
    Bytes f420, c420, f410, c410, f411, c411, f444, c444, fyuy, cyuy, fuyv, cuyv, fyvy, cyvy;
    Make(src, "yuv420p", "yuv420p", 2, 2, w, h, f420, c420);
    Make(src, "yuv410p", "yuv410p", 4, 4, w, h, f410, c410);
    Make(src, "yuv411p", "yuv411p", 4, 1, w, h, f411, c411);
    Make(src, "yuv444p", "yuv444p", 1, 1, w, h, f444, c444);
    Make(src, "yuyv422", "yuv422p", 2, 1, w, h, fyuy, cyuy);
    Make(src, "uyvy422", "yuv422p", 2, 1, w, h, fuyv, cuyv);
    Make(src, "yvyu422", "yuv422p", 2, 1, w, h, fyvy, cyvy);
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
