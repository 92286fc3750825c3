// Whole files as bytes, for fixtures that tests write and oracles read back.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace gt_test {

// The bytes of the file at Path; empty when it cannot be read.
inline std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Writes Data as the whole file at Path; false when that failed.
inline bool WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Data) {
  std::ofstream f(Path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(Data.data()), static_cast<std::streamsize>(Data.size()));
  return bool(f);
}

// Little-endian fields of file headers built or inspected by tests (the
// machines this runs on are little-endian, as the files are).
inline uint32_t U32(const std::vector<uint8_t>& B, size_t At) {
  uint32_t v;
  std::memcpy(&v, B.data() + At, 4);
  return v;
}
inline void PutU32(std::vector<uint8_t>& B, size_t At, uint32_t V) { std::memcpy(B.data() + At, &V, 4); }
inline void PutU16(std::vector<uint8_t>& B, size_t At, uint16_t V) { std::memcpy(B.data() + At, &V, 2); }

}  // namespace gt_test
