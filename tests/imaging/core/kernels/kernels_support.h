// Shared helpers of the kernel tests: running the outside references
// (ImageMagick, the scipy script) and small picture builders.
#pragma once

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"

namespace kernels_test {

// This folder in the source tree, where the reference script lives.
inline const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/core/kernels";

// Runs Command with Input on its standard input; its standard output.
inline std::string RunCapture(const std::string& Command, const std::string& Input, int& Status) {
  char inName[] = "/tmp/gt-kernels-XXXXXX";
  const int fd = ::mkstemp(inName);
  Status = -1;
  if (fd < 0) return {};
  FILE* f = ::fdopen(fd, "w");
  std::fwrite(Input.data(), 1, Input.size(), f);
  std::fclose(f);
  std::string out;
  if (FILE* p = ::popen((Command + " < " + inName).c_str(), "r")) {
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    Status = ::pclose(p);
  }
  std::remove(inName);
  return out;
}

inline Byte* RowOf(TIEBitmap& B, Integer Y) { return static_cast<Byte*>(B.GetScanline(Y)); }

// A gray picture from rows of values.
inline void FillGray(TIEBitmap& B, const std::vector<std::vector<int>>& Rows) {
  B.Allocate(Integer(Rows[0].size()), Integer(Rows.size()), ie8g);
  for (size_t y = 0; y < Rows.size(); ++y)
    for (size_t x = 0; x < Rows[y].size(); ++x) RowOf(B, Integer(y))[x] = Byte(Rows[y][x]);
}

inline std::vector<Byte> GrayPixels(TIEBitmap& B) {
  std::vector<Byte> v;
  for (Integer y = 0; y < B.Height(); ++y) v.insert(v.end(), RowOf(B, y), RowOf(B, y) + B.Width());
  return v;
}

}  // namespace kernels_test
