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

namespace psd_tests {

// psd-tools' view of a document: per layer its name, box, opacity and
// visibility, and its pixels (RGBA) in LayerN.png of Dir.
struct ToolLayer {
  std::string Name;
  int Left = 0, Top = 0, Right = 0, Bottom = 0, Opacity = 0, Visible = 0;
};

inline std::vector<ToolLayer> PsdToolsLayers(const std::string& Path, const std::string& Dir, int* Status = nullptr) {
  const std::string py =
      "import sys\n"
      "from psd_tools import PSDImage\n"
      "p=PSDImage.open(sys.argv[1])\n"
      "for i,l in enumerate(p):\n"
      "  b=l.bbox\n"
      "  print('%s\\t%d %d %d %d %d %d'%(l.name,b[0],b[1],b[2],b[3],l.opacity,1 if l.visible else 0))\n"
      "  im=l.topil()\n"
      "  if im is not None: im.convert('RGBA').save('%s/layer%d.png'%(sys.argv[2],i))\n"
      "c=p.topil()\n"
      "if c is not None: c.convert('RGBA').save(sys.argv[2]+'/merged.png')\n";
  const std::string script = Dir + "/dump.py";
  gt_test::WriteFileBytes(script, Bytes(py.begin(), py.end()));
  int status = -1;
  const std::string out =
      gt_test::Capture("/usr/bin/python3 '" + script + "' '" + Path + "' '" + Dir + "' 2>/dev/null", &status);
  if (Status) *Status = status;
  std::vector<ToolLayer> layers;
  size_t at = 0;
  while (at < out.size()) {
    const size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? out.size() : end + 1;
    const size_t tab = line.rfind('\t');
    if (tab == std::string::npos) continue;
    ToolLayer l;
    l.Name = line.substr(0, tab);
    std::sscanf(line.c_str() + tab + 1, "%d %d %d %d %d %d", &l.Left, &l.Top, &l.Right, &l.Bottom, &l.Opacity,
                &l.Visible);
    layers.push_back(l);
  }
  return layers;
}

// The layers that are not masks.
inline std::vector<TIELayer*> Plain(const TIEPSDLayerList& L) {
  std::vector<TIELayer*> v;
  for (const auto& l : L)
    if (!l->IsMask) v.push_back(l.get());
  return v;
}

// Our layers against psd-tools', property by property and pixel by pixel.
// With Merged, psd-tools' composite must equal it too.
inline void ExpectSameLayers(const std::string& Path, const std::vector<TIELayer*>& ours,
                             TIEBitmap* Merged = nullptr) {
  fmt_test::TempDir dir("psdtools");
  int status = -1;
  const std::vector<ToolLayer> theirs = PsdToolsLayers(Path, dir.Path, &status);
  ASSERT_EQ(status, 0);
  if (Merged) {
    EXPECT_EQ(fmt_test::PillowRgb(dir.File("merged.png")), fmt_test::ToRgb(Merged));
  }
  ASSERT_EQ(ours.size(), theirs.size());
  for (size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE("layer " + std::to_string(i));
    const TIELayer& l = *ours[i];
    const ToolLayer& t = theirs[i];
    EXPECT_EQ(l.Name, t.Name);
    EXPECT_EQ(l.PosX, t.Left);
    EXPECT_EQ(l.PosY, t.Top);
    EXPECT_EQ(l.PosX + l.Bitmap->Width(), t.Right);
    EXPECT_EQ(l.PosY + l.Bitmap->Height(), t.Bottom);
    EXPECT_EQ(l.Transparency, t.Opacity);
    EXPECT_EQ(l.Visible, t.Visible != 0);
    const fmt_test::Rgb want = fmt_test::PillowRgb(dir.File("layer" + std::to_string(i) + ".png"));
    EXPECT_EQ(fmt_test::ToRgb(l.Bitmap), want);
  }
}

}  // namespace psd_tests
