// Shared helpers of the codec tests: pictures, streams, outside tools and
// the progress record.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../io_test_util.h"
#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieprogress.h"
#include "imaging/io/ioparams.h"
#include "platform/base/classes.h"

namespace codec_test {

using io_test::Bytes;

// Runs a shell command and returns what it printed on standard output.
inline std::string Capture(const std::string& Command, int* Status = nullptr) {
  std::string out;
  FILE* p = ::popen(Command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = ::pclose(p);
  if (Status) *Status = rc;
  return out;
}

inline bool HaveTool(const std::string& Name) { return io_test::Shell("command -v " + Name + " >/dev/null 2>&1") == 0; }

// An abort flag with a record around it.
struct Progress {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Rec{Aborting};
};

// A photo-like ie24RGB picture: gradients, edges and noise, deterministic.
inline std::unique_ptr<TIEBitmap> MakePicture(Integer W, Integer H, uint32_t Seed = 1) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (Integer y = 0; y < H; ++y) {
    Byte* p = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < W; ++x, p += 3) {
      Seed = Seed * 1664525u + 1013904223u;
      Byte n = Byte(Seed >> 27);
      p[0] = Byte(x * 255 / (W > 1 ? W - 1 : 1) ^ n);
      p[1] = Byte(y * 255 / (H > 1 ? H - 1 : 1) + n);
      p[2] = Byte(((x / 7 + y / 5) & 1) ? 220 - n : 30 + n);
    }
  }
  return b;
}

// Writes an ie24RGB picture as binary PPM (red, green, blue).
inline void WritePPM(const std::string& Path, TIEBitmap& B) {
  std::string head = "P6\n" + std::to_string(B.Width()) + " " + std::to_string(B.Height()) + "\n255\n";
  Bytes data(head.begin(), head.end());
  for (Integer y = 0; y < B.Height(); ++y) {
    const Byte* p = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < B.Width(); ++x, p += 3) {
      data.push_back(p[2]);
      data.push_back(p[1]);
      data.push_back(p[0]);
    }
  }
  io_test::WriteFile(Path, data);
}

// Reads a binary PNM (P5 or P6): samples in file order.
struct Pnm {
  int Width = 0, Height = 0, Channels = 0;
  Bytes Samples;
};
inline Pnm ReadPNM(const Bytes& Data) {
  Pnm r;
  size_t i = 0;
  auto token = [&]() {
    std::string t;
    while (i < Data.size()) {
      char c = char(Data[i]);
      if (c == '#') {
        while (i < Data.size() && Data[i] != '\n') ++i;
      } else if (isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++i;
      } else {
        t += c;
        ++i;
      }
    }
    return t;
  };
  std::string magic = token();
  r.Channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
  r.Width = std::stoi(token());
  r.Height = std::stoi(token());
  token();  // maxval
  ++i;      // the one white space after it
  r.Samples.assign(Data.begin() + static_cast<std::ptrdiff_t>(i), Data.end());
  return r;
}

// A memory stream's bytes.
inline Bytes Contents(TCustomMemoryStream& S) {
  const Byte* p = static_cast<const Byte*>(S.Memory());
  return Bytes(p, p + S.Size());
}

}  // namespace codec_test
