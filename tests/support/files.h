// Whole files as bytes, for fixtures that tests write and oracles read back.
#pragma once

#include <cstdint>
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

}  // namespace gt_test
