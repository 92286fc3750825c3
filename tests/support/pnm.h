// Binary PNM files (P4, P5, P6; 8 or 16 bits a sample), the exchange format
// between the tests and the outside oracles. The reader checks the header
// against the data, so a tool that wrote something else fails the test
// instead of reading past the end.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace gt_test {

struct Pnm {
  char Kind = 0;  // '4' (bits, 1 = black), '5' (grey) or '6' (red, green, blue)
  int Width = 0, Height = 0;
  int Channels = 0;  // 1 for P4 and P5, 3 for P6
  int MaxVal = 0;    // 1 for P4
  std::vector<int> Data;  // every sample in file order, one per channel and pixel
  int At(int X, int Y, int C = 0) const {
    return Data[(size_t(Y) * size_t(Width) + size_t(X)) * size_t(Channels) + size_t(C)];
  }
};

// Parses a whole binary PNM file; false when it is not one or is cut short.
inline bool ParsePnm(const std::vector<uint8_t>& File, Pnm& Out) {
  Out = Pnm();
  size_t i = 0;
  // A decimal header field after white space and comments; -1 when missing.
  auto field = [&]() -> long {
    for (;;) {
      while (i < File.size() && std::isspace(File[i])) ++i;
      if (i < File.size() && File[i] == '#') {
        while (i < File.size() && File[i] != '\n') ++i;
        continue;
      }
      break;
    }
    long v = -1;
    while (i < File.size() && std::isdigit(File[i]) && v < 1000000) v = (v < 0 ? 0 : v * 10) + (File[i++] - '0');
    return v;
  };
  if (File.size() < 2 || File[0] != 'P' || (File[1] != '4' && File[1] != '5' && File[1] != '6')) return false;
  i = 2;
  const char kind = char(File[1]);
  const long w = field(), h = field(), maxval = kind == '4' ? 1 : field();
  if (w <= 0 || h <= 0 || w >= 1000000 || h >= 1000000 || maxval <= 0 || maxval > 65535) return false;
  if (i >= File.size() || !std::isspace(File[i])) return false;
  ++i;  // the one white space byte before the raster
  const size_t channels = kind == '6' ? 3 : 1;
  const size_t bytes = maxval > 255 ? 2 : 1;
  const size_t row = kind == '4' ? (size_t(w) + 7) / 8 : size_t(w) * channels * bytes;
  if ((File.size() - i) / row < size_t(h)) return false;
  Out.Kind = kind;
  Out.Width = int(w);
  Out.Height = int(h);
  Out.Channels = int(channels);
  Out.MaxVal = int(maxval);
  Out.Data.reserve(size_t(w) * size_t(h) * channels);
  for (long y = 0; y < h; ++y) {
    const uint8_t* r = File.data() + i + size_t(y) * row;
    if (kind == '4') {
      for (long x = 0; x < w; ++x) Out.Data.push_back((r[x >> 3] >> (7 - (x & 7))) & 1);
    } else {
      for (size_t s = 0; s < size_t(w) * channels; ++s)
        Out.Data.push_back(bytes == 2 ? (r[2 * s] << 8) | r[2 * s + 1] : r[s]);
    }
  }
  return true;
}

inline bool ReadPnm(const std::string& Path, Pnm& Out) { return ParsePnm(ReadFileBytes(Path), Out); }

// A P5 or P6 file of Width x Height pixels from samples in file order
// (Channels 1 or 3; two bytes a sample, big-endian, when MaxVal > 255).
inline bool WritePnmSamples(const std::string& Path, int Width, int Height, int Channels, int MaxVal,
                            const std::vector<int>& Samples) {
  const std::string head =
      std::string(Channels == 3 ? "P6\n" : "P5\n") + std::to_string(Width) + " " + std::to_string(Height) + "\n" +
      std::to_string(MaxVal) + "\n";
  std::vector<uint8_t> file(head.begin(), head.end());
  for (int v : Samples) {
    if (MaxVal > 255) file.push_back(uint8_t(v >> 8));
    file.push_back(uint8_t(v));
  }
  return WriteFileBytes(Path, file);
}

}  // namespace gt_test
