// Shared helpers of the I/O frame tests: byte fixtures, streams over them, a
// private temporary folder and the shell for the outside file makers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace io_test {

using Bytes = std::vector<uint8_t>;

inline Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> Parts) {
  Bytes r;
  for (const Bytes& p : Parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}
inline Bytes Zeros(size_t n) { return Bytes(n, 0); }
inline void PutLE16(Bytes& b, size_t at, uint32_t v) {
  b[at] = v & 0xFF;
  b[at + 1] = (v >> 8) & 0xFF;
}
inline void PutLE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF;
}
inline Bytes LE32(uint32_t v) {
  Bytes b(4);
  PutLE32(b, 0, v);
  return b;
}

// A memory stream holding Data, positioned at Pos.
inline void Fill(TMemoryStream& S, const Bytes& Data, int64_t Pos = 0) {
  S.Clear();
  if (!Data.empty()) S.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  S.SetPosition(Pos);
}

inline Bytes ReadFile(const std::string& Path) { return gt_test::ReadFileBytes(Path); }
inline void WriteFile(const std::string& Path, const Bytes& Data) { gt_test::WriteFileBytes(Path, Data); }

// Test files go to a private folder named after this suite.
class TempDir : public gt_test::TempDir {
 public:
  TempDir() : gt_test::TempDir("io") {}
};

using gt_test::Shell;

// A minimal TIFF: header, then one directory of (tag, type, count, value)
// entries with values held in the entry, then Tail bytes. Big-endian when Motorola.
struct IfdEntry {
  uint16_t Tag, Type;
  uint32_t Count, Value;
};
inline Bytes MakeTiff(const std::vector<IfdEntry>& Entries, bool Motorola = false, size_t Tail = 16) {
  Bytes b;
  auto u16 = [&](uint32_t v) {
    if (Motorola) {
      b.push_back((v >> 8) & 0xFF);
      b.push_back(v & 0xFF);
    } else {
      b.push_back(v & 0xFF);
      b.push_back((v >> 8) & 0xFF);
    }
  };
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back((v >> (Motorola ? 24 - 8 * i : 8 * i)) & 0xFF);
  };
  b.push_back(Motorola ? 'M' : 'I');
  b.push_back(Motorola ? 'M' : 'I');
  u16(42);
  u32(8);
  u16(static_cast<uint32_t>(Entries.size()));
  for (const IfdEntry& e : Entries) {
    u16(e.Tag);
    u16(e.Type);
    u32(e.Count);
    if (e.Type == 3 && e.Count == 1) {  // a SHORT sits in the first two value bytes
      u16(e.Value);
      u16(0);
    } else {
      u32(e.Value);
    }
  }
  u32(0);
  b.insert(b.end(), Tail, 0);
  return b;
}

}  // namespace io_test
