// Shared helpers of the native codec tests: a progress record, byte builders,
// pictures as RGB bytes, and the outside decoders (Pillow, ImageMagick) that
// serve as oracles.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/base/ieprogress.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"
#include "platform/base/sysutils.h"
#include "tests/support/files.h"
#include "tests/support/lcg.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"
#include "tests/support/temp_dir.h"

namespace fmt_test {

using Bytes = std::vector<uint8_t>;
using gt_test::Capture;
using gt_test::HaveTool;
using gt_test::Shell;
using gt_test::TempDir;

struct Progress {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Rec{Aborting};
};

inline void Add16(Bytes& B, uint32_t V) {
  B.push_back(Byte(V));
  B.push_back(Byte(V >> 8));
}
inline void Add32(Bytes& B, uint32_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(Byte(V >> (8 * i)));
}
inline void AddBytes(Bytes& B, const Bytes& More) { B.insert(B.end(), More.begin(), More.end()); }

inline void Fill(TMemoryStream& S, const Bytes& Data) {
  S.Clear();
  if (!Data.empty()) S.WriteBuffer(Data.data(), int64_t(Data.size()));
  S.SetPosition(0);
}
inline Bytes Contents(TCustomMemoryStream& S) { return gt_test::StreamBytes(S); }

// A decoded picture as red, green, blue bytes, top row first, and optionally
// its alpha (255 where the picture has none).
struct Rgb {
  int W = 0, H = 0;
  Bytes Pixels;
  Bytes Alpha;
  bool operator==(const Rgb&) const = default;
};

// For failure messages: the size, then the first pixel where two pictures of
// that size differ is easier to read than their bytes.
inline void PrintTo(const Rgb& R, std::ostream* Os) {
  *Os << R.W << "x" << R.H << " [";
  for (size_t i = 0; i < R.Pixels.size() && i < 36; ++i) *Os << int(R.Pixels[i]) << (i % 3 == 2 ? "; " : ",");
  *Os << "...] alpha [";
  for (size_t i = 0; i < R.Alpha.size() && i < 12; ++i) *Os << int(R.Alpha[i]) << ",";
  *Os << "...]";
}

inline Rgb ToRgb(TIEBitmap* B) {
  Rgb r;
  r.W = B->Width();
  r.H = B->Height();
  for (Integer y = 0; y < r.H; ++y)
    for (Integer x = 0; x < r.W; ++x) {
      TRGB c;
      B->GetPixelAsRGB(x, y, c);
      r.Pixels.push_back(c.r);
      r.Pixels.push_back(c.g);
      r.Pixels.push_back(c.b);
      r.Alpha.push_back(B->HasAlphaChannel() ? B->GetAlphaChannel()->GetPixelByte(x, y) : 255);
    }
  return r;
}

// Pillow's decoding of a file, converted to RGBA; W stays 0 when Pillow
// refuses the file.
inline Rgb PillowRgb(const std::string& Path, const std::string& Frame = "0") {
  const std::string py =
      "import sys\n"
      "from PIL import Image\n"
      "im=Image.open(sys.argv[1])\n"
      "im.seek(int(sys.argv[2]))\n"
      "im=im.convert('RGBA')\n"
      "sys.stdout.write('%d %d\\n'%im.size)\n"
      "sys.stdout.flush()\n"
      "sys.stdout.buffer.write(im.tobytes())\n";
  TempDir dir("pil");
  const std::string script = dir.File("dec.py");
  gt_test::WriteFileBytes(script, Bytes(py.begin(), py.end()));
  int status = -1;
  const std::string out = Capture("/usr/bin/python3 '" + script + "' '" + Path + "' " + Frame + " 2>/dev/null", &status);
  Rgb r;
  if (status != 0) return r;
  std::istringstream in(out);
  int w = 0, h = 0;
  in >> w >> h;
  const size_t at = out.find('\n');
  if (at == std::string::npos || out.size() - at - 1 != size_t(w) * h * 4) return r;
  r.W = w;
  r.H = h;
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    const char* p = out.data() + at + 1 + 4 * i;
    r.Pixels.insert(r.Pixels.end(), {Byte(p[0]), Byte(p[1]), Byte(p[2])});
    r.Alpha.push_back(Byte(p[3]));
  }
  return r;
}

// ImageMagick's decoding (8-bit RGB, no alpha); W stays 0 when it fails.
inline Rgb MagickRgb(const std::string& Path) {
  int status = -1;
  const std::string size = Capture("identify -format '%w %h\\n' '" + Path + "[0]' 2>/dev/null", &status);
  Rgb r;
  if (status != 0) return r;
  std::istringstream in(size);
  int w = 0, h = 0;
  in >> w >> h;
  const std::string raw = Capture("convert '" + Path + "[0]' -depth 8 rgb:- 2>/dev/null", &status);
  if (status != 0 || raw.size() != size_t(w) * h * 3) return r;
  r.W = w;
  r.H = h;
  r.Pixels.assign(raw.begin(), raw.end());
  r.Alpha.assign(size_t(w) * h, 255);
  return r;
}

// A picture with Colors distinct colours (at most 256) in a pattern of
// columns and rows, so that every colour appears and neighbours differ.
inline std::unique_ptr<TIEBitmap> FewColors(Integer W, Integer H, int Colors, uint32_t Seed = 3) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  std::vector<TRGB> pal;
  gt_test::Lcg g(Seed);
  for (int i = 0; i < Colors; ++i) {
    const uint32_t v = g.Next();
    pal.push_back(TRGB{Byte(v), Byte(v >> 8), Byte((v >> 16) ^ i)});
  }
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) b->SetPixelRGB(x, y, pal[size_t((x + 3 * y) % Colors)]);
  return b;
}

// A photo-like picture with many colours.
inline std::unique_ptr<TIEBitmap> ManyColors(Integer W, Integer H, uint32_t Seed = 1) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  gt_test::Lcg g(Seed);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) {
      const Byte n = Byte(g.Next() >> 19);
      b->SetPixelRGB(x, y, TRGB{Byte(x * 255 / (W > 1 ? W - 1 : 1) ^ n), Byte(y * 9 + n), Byte((x + y) * 5)});
    }
  return b;
}

inline WideString Wide(const std::string& S) { return Utf8ToWide(S); }

}  // namespace fmt_test
