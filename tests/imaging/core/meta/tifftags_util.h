// Shared helpers of the TIFF tag handler tests: files, outside tools and
// little byte builders.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/classes.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"
#include "tests/support/temp_dir.h"

namespace tifftags_test {

using Bytes = std::vector<uint8_t>;

using gt_test::ReadFileBytes;
using gt_test::StreamBytes;
using gt_test::WriteFileBytes;

inline std::filesystem::path DataDir() { return std::filesystem::path(GT_TEST_DATA_DIR) / "tifftags"; }

// A folder of its own for each test, removed afterwards.
class TempDir {
 public:
  TempDir() : FDir("tifftags"), FPath(FDir.Path) {}
  std::filesystem::path operator/(const std::string& n) const { return FPath / n; }
  const std::filesystem::path& Path() const { return FPath; }

 private:
  gt_test::TempDir FDir;
  std::filesystem::path FPath;
};

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

using gt_test::Capture;
using gt_test::HaveTool;

// The oracles come from Debian packages that the install script brings in.
#define REQUIRE_TOOL(name, package) \
  ASSERT_TRUE(::tifftags_test::HaveTool(name)) << name " is missing; install the Debian package " package

// tiffdump output with every file offset masked: directory positions and the
// offset entries of pieces and sub-directories.
inline std::string NormalizeTiffdump(const std::string& Dump) {
  static const char* const pointers[] = {"StripOffsets (273) ", "TileOffsets (324) ", "JPEGInterchangeFormat (513) ",
                                         "34665 (0x8769) ",     "34853 (0x8825) ",   "40965 (0xa005) "};
  std::istringstream in(Dump);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.empty() || line.rfind("Magic:", 0) == 0) {
      out += line + "\n";
      continue;
    }
    if (line.rfind("Directory ", 0) == 0 && line.find(": offset ") != std::string::npos) {
      const std::string n = line.substr(10, line.find(':') - 10);
      const size_t next = line.find(" next ");
      const bool last = next != std::string::npos && line.compare(next + 6, 2, "0 ") == 0;
      out += "Directory " + n + (last ? " last" : " chained") + "\n";
      continue;
    }
    bool masked = false;
    for (const char* p : pointers) {
      if (line.rfind(p, 0) == 0 && line.find('<') != std::string::npos) {
        out += line.substr(0, line.find('<')) + "<offsets>\n";
        masked = true;
        break;
      }
    }
    if (masked) continue;
    if (line.find(':') != std::string::npos && line.find('<') == std::string::npos) continue;  // file name, warnings
    out += line + "\n";
  }
  return out;
}

inline std::string Tiffdump(const std::filesystem::path& p) { return Capture("tiffdump " + Quote(p) + " 2>/dev/null"); }

// exiftool -v3 reduced to the parsed entries: names, values and types of every
// directory, without the hex dumps, the file's own properties and the values
// of offset tags, which move when a file is rewritten.
inline std::string NormalizeExiftoolV3(const std::string& Dump) {
  static const char* const offsetNames[] = {"StripOffsets", "TileOffsets", "ThumbnailOffset", "OtherImageStart",
                                            "PreviewImageStart"};
  std::istringstream in(Dump);
  std::string line, out;
  bool body = false;
  while (std::getline(in, line)) {
    if (!body) {
      body = line.rfind("  ExifByteOrder", 0) == 0;
      if (!body) continue;
    }
    const size_t start = line.find_first_not_of("| ");
    const std::string rest = start == std::string::npos ? std::string() : line.substr(start);
    size_t hex = 0;
    while (hex < rest.size() && std::isxdigit(static_cast<unsigned char>(rest[hex]))) ++hex;
    if (hex >= 4 && rest.compare(hex, 2, ": ") == 0) continue;  // hex dump
    if (rest.rfind("[snip ", 0) == 0) continue;
    // "N)  Name = value" of an offset tag
    size_t d = 0;
    while (d < rest.size() && std::isdigit(static_cast<unsigned char>(rest[d]))) ++d;
    bool masked = false;
    if (d > 0 && d < rest.size() && rest[d] == ')') {
      const size_t name = rest.find_first_not_of(' ', d + 1);
      for (const char* n : offsetNames) {
        if (name != std::string::npos && rest.compare(name, std::strlen(n) + 3, std::string(n) + " = ") == 0) {
          out += line.substr(0, start + name) + n + " = <offsets>\n";
          masked = true;
          break;
        }
      }
    }
    if (!masked) out += line + "\n";
  }
  return out;
}

inline std::string ExiftoolV3(const std::filesystem::path& p) { return Capture("exiftool -v3 " + Quote(p) + " 2>&1"); }

// Little byte builder for hand-made TIFF structures and maker notes.
class ByteWriter {
 public:
  explicit ByteWriter(bool Big) : FBig(Big) {}
  void U8(uint8_t v) { FData.push_back(v); }
  void U16(uint32_t v) {
    if (FBig) {
      U8(uint8_t(v >> 8));
      U8(uint8_t(v));
    } else {
      U8(uint8_t(v));
      U8(uint8_t(v >> 8));
    }
  }
  void U32(uint32_t v) {
    if (FBig) {
      U16(v >> 16);
      U16(v & 0xFFFF);
    } else {
      U16(v & 0xFFFF);
      U16(v >> 16);
    }
  }
  void Raw(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    FData.insert(FData.end(), b, b + n);
  }
  void Raw(const Bytes& b) { Raw(b.data(), b.size()); }
  void Str(const std::string& s) { Raw(s.data(), s.size()); }
  void Pad() {
    if (FData.size() & 1) U8(0);
  }
  void Patch32(size_t at, uint32_t v) {
    ByteWriter w(FBig);
    w.U32(v);
    std::memcpy(FData.data() + at, w.FData.data(), 4);
  }
  size_t Size() const { return FData.size(); }
  bool Big() const { return FBig; }
  Bytes& Data() { return FData; }

 private:
  bool FBig;
  Bytes FData;
};

inline uint16_t Get16(const uint8_t* p, bool big) {
  return big ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t Get32(const uint8_t* p, bool big) {
  return big ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
             : uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace tifftags_test
