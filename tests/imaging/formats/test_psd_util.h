// Builders of small PSD documents byte by byte, and the read helper of the
// PSD tests.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/formats/psd.h"
#include "imaging/view/ziduzuvview.h"

namespace psd_tests {

using fmt_test::Bytes;

inline void Be16(Bytes& B, uint32_t V) {
  B.push_back(Byte(V >> 8));
  B.push_back(Byte(V));
}
inline void Be32(Bytes& B, uint32_t V) {
  for (int s = 24; s >= 0; s -= 8) B.push_back(Byte(V >> s));
}
inline Bytes operator+(Bytes A, const Bytes& B) {
  A.insert(A.end(), B.begin(), B.end());
  return A;
}

// One image resource block, its name and data padded to even sizes.
inline Bytes Res(uint32_t Id, const std::string& Name, const Bytes& Data) {
  Bytes b = {'8', 'B', 'I', 'M'};
  Be16(b, Id);
  b.push_back(Byte(Name.size()));
  b.insert(b.end(), Name.begin(), Name.end());
  if ((Name.size() + 1) & 1) b.push_back(0);
  Be32(b, uint32_t(Data.size()));
  b = b + Data;
  if (Data.size() & 1) b.push_back(0);
  return b;
}

// 8-bit samples as 16-bit ones with the same high byte and a low byte that
// must not matter.
inline Bytes Widen(const Bytes& V, int Depth) {
  if (Depth != 16) return V;
  Bytes w;
  for (Byte b : V) {
    w.push_back(b);
    w.push_back(0x5A);
  }
  return w;
}

// Uncompressed merged data: each channel's rows one after the other.
inline Bytes RawMerged(const std::vector<Bytes>& Channels) {
  Bytes b = {0, 0};
  for (const Bytes& c : Channels) b = b + c;
  return b;
}

// A channel as a layer stores it, uncompressed.
inline Bytes RawChannel(const Bytes& Rows) { return Bytes{0, 0} + Rows; }

struct LayerSpec {
  int32_t Top = 0, Left = 0, Bottom = 0, Right = 0;
  std::vector<std::pair<int, Bytes>> Channels;  // id, data with its compression word
  Byte Opacity = 255, Clipping = 0, Flags = 0;
  Bytes MaskData;  // the layer mask data without its length
  std::string Name;
};

// The layer and mask section (without its own length) for these layers.
inline Bytes LayerSection(const std::vector<LayerSpec>& Layers, int Count) {
  Bytes info;
  Be16(info, uint32_t(uint16_t(int16_t(Count))));
  for (const LayerSpec& l : Layers) {
    for (int32_t v : {l.Top, l.Left, l.Bottom, l.Right}) Be32(info, uint32_t(v));
    Be16(info, uint32_t(l.Channels.size()));
    for (const auto& [id, data] : l.Channels) {
      Be16(info, uint32_t(uint16_t(int16_t(id))));
      Be32(info, uint32_t(data.size()));
    }
    info = info + Bytes{'8', 'B', 'I', 'M', 'n', 'o', 'r', 'm', l.Opacity, l.Clipping, l.Flags, 0};
    Bytes extra;
    Be32(extra, uint32_t(l.MaskData.size()));
    extra = extra + l.MaskData;
    Be32(extra, 0);
    extra.push_back(Byte(l.Name.size()));
    extra.insert(extra.end(), l.Name.begin(), l.Name.end());
    while (extra.size() % 4) extra.push_back(0);
    Be32(info, uint32_t(extra.size()));
    info = info + extra;
  }
  for (const LayerSpec& l : Layers)
    for (const auto& c : l.Channels) info = info + c.second;
  if (info.size() & 1) info.push_back(0);
  Bytes s;
  Be32(s, uint32_t(info.size()));
  s = s + info;
  Be32(s, 0);  // global layer mask information
  return s;
}

inline Bytes MaskData(int32_t Top, int32_t Left, int32_t Bottom, int32_t Right) {
  Bytes m;
  for (int32_t v : {Top, Left, Bottom, Right}) Be32(m, uint32_t(v));
  m = m + Bytes{0, 0, 0, 0};
  return m;
}

struct Doc {
  int Channels = 3, Depth = 8, Mode = 3;
  uint32_t W = 2, H = 2;
  Bytes ColourData, Resources, Layers;
  Bytes Merged;  // empty: uncompressed zeros
};

inline Bytes Build(const Doc& D) {
  Bytes f = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
  Be16(f, uint32_t(D.Channels));
  Be32(f, D.H);
  Be32(f, D.W);
  Be16(f, uint32_t(D.Depth));
  Be16(f, uint32_t(D.Mode));
  Be32(f, uint32_t(D.ColourData.size()));
  f = f + D.ColourData;
  Be32(f, uint32_t(D.Resources.size()));
  f = f + D.Resources;
  Be32(f, uint32_t(D.Layers.size()));
  f = f + D.Layers;
  if (!D.Merged.empty()) return f + D.Merged;
  f = f + Bytes{0, 0};
  f.resize(f.size() + size_t(D.Channels) * D.H * ((D.W * uint32_t(D.Depth) + 7) / 8), 0);
  return f;
}

struct Read {
  TIEBitmap B;
  TIOParamsVals P{nullptr};
  fmt_test::Progress Pr;
  TIEPSDLayerList L;
};

inline void ReadPsd(Read& R, const Bytes& File, bool LoadLayers, bool Native) {
  TIEMemStream s(File.data(), int64_t(File.size()));
  R.P.ISNATIVEPIXELFORMAT = Native;
  IEReadPSD(&s, &R.B, R.P, R.Pr.Rec, LoadLayers, &R.L);
}

// Equal sizes and alpha, and every sample within Tolerance.
inline bool Near(const fmt_test::Rgb& A, const fmt_test::Rgb& B, int Tolerance) {
  if (A.W != B.W || A.H != B.H || A.Alpha != B.Alpha || A.Pixels.size() != B.Pixels.size()) return false;
  for (size_t i = 0; i < A.Pixels.size(); ++i)
    if (std::abs(int(A.Pixels[i]) - int(B.Pixels[i])) > Tolerance) return false;
  return true;
}

}  // namespace psd_tests
