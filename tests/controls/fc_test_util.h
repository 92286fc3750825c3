// Drawing surfaces for the control-set tests: a 24-bit TBitmap with pixel
// reads, and pictures of which pixels hold a colour.
#pragma once

#include <string>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

struct TFcSurface {
  TBitmap Bmp;
  TFcSurface(Integer W, Integer H, COLORREF Fill = 0xFFFFFF) {
    Bmp.SetPixelFormat(pf24bit);
    Bmp.SetSize(W, H);
    Clear(Fill);
  }
  TCanvas* Canvas() { return Bmp.Canvas(); }
  HDC DC() { return Bmp.Canvas()->Handle(); }
  Integer W() const { return Bmp.Width(); }
  Integer H() const { return Bmp.Height(); }
  void Clear(COLORREF C) {
    HBRUSH b = CreateSolidBrush(C);
    TRect r(0, 0, W(), H());
    FillRect(DC(), &r, b);
    DeleteObject(b);
  }
  COLORREF At(Integer X, Integer Y) { return GetPixel(DC(), X, Y) & 0xFFFFFF; }
  // One line per row: '#' where the pixel equals C, '.' elsewhere.
  std::string Picture(COLORREF C) {
    std::string s;
    for (Integer y = 0; y < H(); ++y) {
      for (Integer x = 0; x < W(); ++x) s += At(x, y) == C ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  // One character per pixel from a legend of colours; '?' for any other.
  std::string Map(std::initializer_list<std::pair<char, COLORREF>> Legend) {
    std::string s;
    for (Integer y = 0; y < H(); ++y) {
      for (Integer x = 0; x < W(); ++x) {
        char ch = '?';
        const COLORREF c = At(x, y);
        for (auto& [k, v] : Legend)
          if ((v & 0xFFFFFF) == c) {
            ch = k;
            break;
          }
        s += ch;
      }
      s += '\n';
    }
    return s;
  }
};

inline std::string Rows(std::initializer_list<const char*> R) {
  std::string s;
  for (const char* r : R) {
    s += r;
    s += '\n';
  }
  return s;
}
