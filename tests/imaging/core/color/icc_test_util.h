// Fixtures of the colour-profile tests: hand-built ICC profiles, profiles
// of the colour engine as bytes, temporary files and the outside oracles
// (exiftool, transicc).
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/base/types.h"
#include "platform/devices/colorengine.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace icctest {

inline void PutBE32(std::vector<Byte>& v, size_t at, uint32_t x) {
  v[at] = Byte(x >> 24);
  v[at + 1] = Byte(x >> 16);
  v[at + 2] = Byte(x >> 8);
  v[at + 3] = Byte(x);
}
inline void AppendBE32(std::vector<Byte>& v, uint32_t x) {
  v.resize(v.size() + 4);
  PutBE32(v, v.size() - 4, x);
}
inline void AppendText(std::vector<Byte>& v, const std::string& s) { v.insert(v.end(), s.begin(), s.end()); }

// Tag data of the ICC text type: "text", 4 reserved bytes, the text and its 0.
inline std::vector<Byte> TextTag(const std::string& s) {
  std::vector<Byte> v;
  AppendText(v, "text");
  AppendBE32(v, 0);
  AppendText(v, s);
  v.push_back(0);
  return v;
}

// Tag data of the text-description type: ASCII count and text, then empty
// Unicode and script-code parts.
inline std::vector<Byte> DescTag(const std::string& s) {
  std::vector<Byte> v;
  AppendText(v, "desc");
  AppendBE32(v, 0);
  AppendBE32(v, uint32_t(s.size() + 1));
  AppendText(v, s);
  v.push_back(0);
  AppendBE32(v, 0);  // Unicode language
  AppendBE32(v, 0);  // Unicode count
  v.push_back(0);    // script code
  v.push_back(0);
  v.push_back(0);    // script count
  v.resize(v.size() + 67, 0);
  return v;
}

struct TMlucRecord {
  std::string Lang;  // four letters, e.g. "enUS"
  std::u16string Text;
};
// Tag data of the multi-localised Unicode type of newer profiles.
inline std::vector<Byte> MlucTag(const std::vector<TMlucRecord>& Records) {
  std::vector<Byte> v;
  AppendText(v, "mluc");
  AppendBE32(v, 0);
  AppendBE32(v, uint32_t(Records.size()));
  AppendBE32(v, 12);
  uint32_t at = uint32_t(16 + 12 * Records.size());
  for (const auto& r : Records) {
    AppendText(v, r.Lang);
    AppendBE32(v, uint32_t(r.Text.size() * 2));
    AppendBE32(v, at);
    at += uint32_t(r.Text.size() * 2);
  }
  for (const auto& r : Records)
    for (char16_t c : r.Text) {
      v.push_back(Byte(c >> 8));
      v.push_back(Byte(c));
    }
  return v;
}

struct TTag {
  std::string Sig;
  std::vector<Byte> Data;
};
// A display profile header (version 2.1, RGB, XYZ) with the tags in order,
// each tag's data 4-aligned after the table.
inline std::vector<Byte> BuildProfile(const std::vector<TTag>& Tags) {
  std::vector<Byte> v(128, 0);
  PutBE32(v, 8, 0x02100000);
  std::copy_n("mntrRGB XYZ ", 12, v.begin() + 12);
  std::copy_n("acsp", 4, v.begin() + 36);
  AppendBE32(v, uint32_t(Tags.size()));
  size_t table = v.size();
  v.resize(table + 12 * Tags.size(), 0);
  for (size_t i = 0; i < Tags.size(); ++i) {
    while (v.size() % 4) v.push_back(0);
    std::copy_n(Tags[i].Sig.data(), 4, v.begin() + table + 12 * i);
    PutBE32(v, table + 12 * i + 4, uint32_t(v.size()));
    PutBE32(v, table + 12 * i + 8, uint32_t(Tags[i].Data.size()));
    v.insert(v.end(), Tags[i].Data.begin(), Tags[i].Data.end());
  }
  PutBE32(v, 0, uint32_t(v.size()));
  return v;
}

inline std::vector<Byte> EngineProfileBytes(HCEPROFILE P) {
  std::vector<Byte> v;
  CESaveProfileToMemory(P, v);
  CECloseProfile(P);
  return v;
}
inline std::vector<Byte> LabProfileBytes() { return EngineProfileBytes(CECreateLabProfile()); }
inline std::vector<Byte> SRGBProfileBytes() { return EngineProfileBytes(CECreateSRGBProfile()); }

using gt_test::Capture;
using gt_test::HaveTool;
using gt_test::ReadFileBytes;

// A file in a private temporary folder, removed with the object.
class TTempFile {
 public:
  TTempFile(const std::string& Name, const std::vector<Byte>& Data) : FDir("icc"), FPath(FDir.File(Name)) {
    gt_test::WriteFileBytes(FPath, Data);
  }
  const std::string& Path() const { return FPath; }

 private:
  gt_test::TempDir FDir;
  std::string FPath;
};

}  // namespace icctest
