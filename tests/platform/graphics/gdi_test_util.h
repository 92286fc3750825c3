// Small drawing surfaces for the graphics tests: a memory DC over a DIB
// section, pixel access and ASCII pictures of which pixels hold a colour.
#pragma once

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"

struct TTestDib {
  HDC DC = nullptr;
  HBITMAP Bmp = nullptr;
  HGDIOBJ Old = nullptr;
  uint8_t* Bits = nullptr;
  Integer W = 0, H = 0, BitCount = 0, Row = 0;

  // Bottom-up unless TopDown; 8-bit ones get a grey ramp, 1-bit black/white.
  TTestDib(Integer AW, Integer AH, Integer ABitCount = 24, COLORREF Fill = 0xFFFFFF, bool TopDown = false)
      : W(AW), H(AH), BitCount(ABitCount) {
    std::vector<uint8_t> buf(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bi = reinterpret_cast<BITMAPINFO*>(buf.data());
    bi->bmiHeader = BITMAPINFOHEADER();
    bi->bmiHeader.biWidth = W;
    bi->bmiHeader.biHeight = TopDown ? -H : H;
    bi->bmiHeader.biBitCount = static_cast<WORD>(BitCount);
    auto* table = reinterpret_cast<RGBQUAD*>(buf.data() + sizeof(BITMAPINFOHEADER));
    if (BitCount == 8)
      for (int i = 0; i < 256; ++i) table[i] = RGBQUAD{BYTE(i), BYTE(i), BYTE(i), 0};
    if (BitCount == 1) table[1] = RGBQUAD{255, 255, 255, 0};
    void* bits = nullptr;
    Bmp = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint8_t*>(bits);
    Row = static_cast<Integer>((W * BitCount + 31) / 32 * 4);
    DC = CreateCompatibleDC(nullptr);
    Old = SelectObject(DC, Bmp);
    Fill_(Fill);
  }
  ~TTestDib() {
    SelectObject(DC, Old);
    DeleteDC(DC);
    DeleteObject(Bmp);
  }
  TTestDib(const TTestDib&) = delete;
  TTestDib& operator=(const TTestDib&) = delete;

  void Fill_(COLORREF C) {
    HBRUSH b = CreateSolidBrush(C);
    TRect r(0, 0, W, H);
    FillRect(DC, &r, b);
    DeleteObject(b);
  }
  COLORREF At(Integer X, Integer Y) const { return GetPixel(DC, X, Y) & 0xFFFFFF; }
  // A pixel of a 24-bit DIB read from memory, whatever the DC's mapping.
  COLORREF Raw(Integer X, Integer Y) const {
    const uint8_t* p = Bits + static_cast<size_t>(H - 1 - Y) * Row + 3 * X;
    return RGB(p[2], p[1], p[0]);
  }
  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(Bits, Bits + static_cast<size_t>(Row) * H); }
  void Randomize(unsigned Seed) {
    std::mt19937 g(Seed);
    for (size_t i = 0; i < static_cast<size_t>(Row) * H; ++i) Bits[i] = static_cast<uint8_t>(g());
  }
  // One line per row: '#' where the pixel equals C, '.' elsewhere.
  std::string Picture(COLORREF C, Integer X0, Integer Y0, Integer X1, Integer Y1) const {
    std::string s;
    for (Integer y = Y0; y < Y1; ++y) {
      for (Integer x = X0; x < X1; ++x) s += At(x, y) == C ? '#' : '.';
      s += '\n';
    }
    return s;
  }
  std::string Picture(COLORREF C) const { return Picture(C, 0, 0, W, H); }
};

// A 24-bit bitmap filled with one colour.
inline std::unique_ptr<TBitmap> FilledBitmap(Integer W, Integer H, TColor Color) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  B->Canvas()->Brush()->SetColor(Color);
  B->Canvas()->FillRect(TRect(0, 0, W, H));
  return B;
}

inline std::string Lines(std::initializer_list<const char*> Rows) {
  std::string s;
  for (const char* r : Rows) {
    s += r;
    s += '\n';
  }
  return s;
}

// Selects a GDI object for the lifetime of the guard and deletes it afterwards.
struct TSelect {
  TSelect(HDC ADC, HGDIOBJ AObj) : DC(ADC), Obj(AObj), Old(SelectObject(ADC, AObj)) {}
  ~TSelect() {
    SelectObject(DC, Old);
    DeleteObject(Obj);
  }
  HDC DC;
  HGDIOBJ Obj, Old;
};
