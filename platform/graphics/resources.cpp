#include "platform/graphics/resources.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <map>

#include "platform/base/strutils.h"

namespace {

constexpr Integer kSize = 32;
constexpr COLORREF kKey = RGB(255, 0, 255);  // untouched cursor pixels

// A 32 x 32 top-down 32-bit drawing surface.
struct TCursorSurface {
  TCursorSurface() {
    BITMAPINFO bi;
    bi.bmiHeader = BITMAPINFOHEADER();
    bi.bmiHeader.biWidth = kSize;
    bi.bmiHeader.biHeight = -kSize;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    Bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    Bits = static_cast<uint32_t*>(bits);
    DC = CreateCompatibleDC(nullptr);
    Old = SelectObject(DC, Bmp);
    HBRUSH key = CreateSolidBrush(kKey);
    const TRect all(0, 0, kSize, kSize);
    FillRect(DC, &all, key);
    DeleteObject(key);
    Pen = CreatePen(PS_SOLID, 2, 0);
    OldPen = SelectObject(DC, Pen);
    OldBrush = SelectObject(DC, GetStockObject(BLACK_BRUSH));
  }
  ~TCursorSurface() {
    SelectObject(DC, OldPen);
    SelectObject(DC, OldBrush);
    SelectObject(DC, Old);
    DeleteObject(Pen);
    DeleteDC(DC);
    DeleteObject(Bmp);
  }
  void Line(Integer X0, Integer Y0, Integer X1, Integer Y1) {
    MoveToEx(DC, X0, Y0, nullptr);
    LineTo(DC, X1, Y1);
  }
  void Poly(std::initializer_list<TPoint> P) {
    HGDIOBJ p = SelectObject(DC, GetStockObject(NULL_PEN));
    Polygon(DC, P.begin(), static_cast<Integer>(P.size()));
    SelectObject(DC, p);
  }
  // A double-headed arrow from (X0, Y0) to (X1, Y1).
  void DoubleArrow(double X0, double Y0, double X1, double Y1) {
    const double dx = X1 - X0, dy = Y1 - Y0, len = std::hypot(dx, dy);
    const double ux = dx / len, uy = dy / len, nx = -uy, ny = ux;
    auto head = [&](double X, double Y, double S) {
      const double bx = X - S * ux * 6, by = Y - S * uy * 6;
      Poly({TPoint(static_cast<Integer>(std::lround(X)), static_cast<Integer>(std::lround(Y))),
            TPoint(static_cast<Integer>(std::lround(bx + nx * 5)), static_cast<Integer>(std::lround(by + ny * 5))),
            TPoint(static_cast<Integer>(std::lround(bx - nx * 5)), static_cast<Integer>(std::lround(by - ny * 5)))});
    };
    Line(static_cast<Integer>(std::lround(X0 + ux * 4)), static_cast<Integer>(std::lround(Y0 + uy * 4)),
         static_cast<Integer>(std::lround(X1 - ux * 4)), static_cast<Integer>(std::lround(Y1 - uy * 4)));
    head(X1, Y1, 1);
    head(X0, Y0, -1);
  }
  void Ring(Integer L, Integer T, Integer R, Integer B) {
    HGDIOBJ b = SelectObject(DC, GetStockObject(NULL_BRUSH));
    Ellipse(DC, L, T, R, B);
    SelectObject(DC, b);
  }
  void Sign(bool Plus) {
    Line(22, 27, 30, 27);
    if (Plus) Line(26, 23, 26, 31);
  }
  void Cross(Integer Gap) {
    Line(15, 1, 15, 15 - Gap);
    Line(15, 16 + Gap, 15, 30);
    Line(1, 15, 15 - Gap, 15);
    Line(16 + Gap, 15, 30, 15);
  }
  void Pointer() { Poly({{1, 1}, {1, 21}, {6, 16}, {10, 25}, {13, 24}, {9, 15}, {16, 15}}); }

  // Black where drawn, a white border one pixel around it, transparent elsewhere.
  TGtCursorImage Image(TPoint HotSpot) {
    TGtCursorImage img;
    img.Width = img.Height = kSize;
    img.HotSpot = HotSpot;
    img.Pixels.assign(kSize * kSize, 0);
    auto drawn = [&](Integer x, Integer y) {
      if (x < 0 || y < 0 || x >= kSize || y >= kSize) return false;
      return (Bits[y * kSize + x] & 0xFFFFFF) != ((GetBValue(kKey) << 16) | (GetGValue(kKey) << 8) | GetRValue(kKey));
    };
    for (Integer y = 0; y < kSize; ++y)
      for (Integer x = 0; x < kSize; ++x) {
        if (drawn(x, y)) {
          img.Pixels[y * kSize + x] = 0xFF000000u;
          continue;
        }
        bool edge = false;
        for (Integer j = -1; j <= 1 && !edge; ++j)
          for (Integer i = -1; i <= 1 && !edge; ++i) edge = drawn(x + i, y + j);
        if (edge) img.Pixels[y * kSize + x] = 0xFFFFFFFFu;
      }
    return img;
  }

  HBITMAP Bmp = nullptr;
  uint32_t* Bits = nullptr;
  HDC DC = nullptr;
  HGDIOBJ Old = nullptr, OldPen = nullptr, OldBrush = nullptr;
  HPEN Pen = nullptr;
};

using TBuilder = std::function<TPoint(TCursorSurface&)>;

TPoint CrossFamily(TCursorSurface& S, Integer Variant, Integer Sign) {
  switch (Variant) {
    case 1: S.Cross(0); break;
    case 2:
      S.Cross(3);
      S.Line(13, 15, 18, 15);
      break;
    case 3:
      S.Cross(2);
      S.Ring(8, 8, 24, 24);
      break;
    default: S.Cross(2);
  }
  if (Sign) S.Sign(Sign > 0);
  return TPoint(15, 15);
}

TPoint Rotation(TCursorSurface& S, Integer Quarter) {
  // A three-quarter circle with an arrow head, turned by Quarter x 90 degrees.
  const double a0 = Quarter * 90.0 * 3.14159265358979 / 180.0;
  const double r = 10;
  auto at = [&](double a) { return TPoint(static_cast<Integer>(std::lround(15 + r * std::cos(a0 + a))),
                                          static_cast<Integer>(std::lround(15 - r * std::sin(a0 + a)))); };
  TPoint s = at(0), e = at(4.7);
  Arc(S.DC, 5, 5, 26, 26, s.X, s.Y, e.X, e.Y);
  const TPoint tip = at(0), b1 = at(-0.5);
  S.Poly({TPoint(tip.X + (tip.X - 15) / 3, tip.Y + (tip.Y - 15) / 3), TPoint(tip.X - (tip.X - 15) / 3, tip.Y - (tip.Y - 15) / 3), b1});
  return TPoint(15, 15);
}

const std::map<AnsiString, TBuilder>& Builders() {
  static const std::map<AnsiString, TBuilder> m = [] {
    std::map<AnsiString, TBuilder> b;
    b["CROCE"] = [](TCursorSurface& s) { return CrossFamily(s, 0, 0); };
    for (int v = 1; v <= 3; ++v) {
      const AnsiString n = "CROCE" + std::to_string(v);
      b[n] = [v](TCursorSurface& s) { return CrossFamily(s, v, 0); };
      b[n + "+"] = [v](TCursorSurface& s) { return CrossFamily(s, v, 1); };
      b[n + "-"] = [v](TCursorSurface& s) { return CrossFamily(s, v, -1); };
    }
    b["CURSOR_1"] = [](TCursorSurface& s) { return CrossFamily(s, 3, 0); };
    auto zoom = [](TCursorSurface& s, int sign) {
      s.Ring(2, 2, 21, 21);
      s.Line(7, 11, 16, 11);
      if (sign > 0) s.Line(11, 7, 11, 16);
      s.Poly({{17, 19}, {19, 17}, {30, 28}, {28, 30}});
      return TPoint(11, 11);
    };
    b["ZOOMPIU"] = [zoom](TCursorSurface& s) { return zoom(s, 1); };
    b["ZOOMMENO"] = [zoom](TCursorSurface& s) { return zoom(s, -1); };
    b["GOMMA"] = [](TCursorSurface& s) {
      s.Poly({{2, 22}, {16, 8}, {26, 18}, {12, 32}});
      return TPoint(5, 26);
    };
    b["MANO"] = [](TCursorSurface& s) {
      s.Poly({{8, 14}, {24, 14}, {24, 26}, {20, 31}, {11, 31}, {8, 26}});
      for (int f = 0; f < 4; ++f) s.Poly({{9 + 4 * f, 15}, {9 + 4 * f, 5 + (f == 1 || f == 2 ? 0 : 3)},
                                          {11 + 4 * f, 5 + (f == 1 || f == 2 ? 0 : 3)}, {11 + 4 * f, 15}});
      return TPoint(15, 15);
    };
    b["PENNA"] = [](TCursorSurface& s) {
      s.Poly({{1, 30}, {3, 22}, {22, 3}, {28, 9}, {9, 28}});
      return TPoint(1, 30);
    };
    b["MOVE"] = [](TCursorSurface& s) {
      s.DoubleArrow(3, 15, 28, 15);
      s.DoubleArrow(15, 3, 15, 28);
      return TPoint(15, 15);
    };
    b["MOVEX"] = [](TCursorSurface& s) {
      s.DoubleArrow(3, 15, 28, 15);
      return TPoint(15, 15);
    };
    b["MOVEY"] = [](TCursorSurface& s) {
      s.DoubleArrow(15, 3, 15, 28);
      return TPoint(15, 15);
    };
    b["MOVE1"] = [](TCursorSurface& s) {
      s.DoubleArrow(5, 5, 26, 26);
      return TPoint(15, 15);
    };
    b["MOVE2"] = [](TCursorSurface& s) {
      s.DoubleArrow(26, 5, 5, 26);
      return TPoint(15, 15);
    };
    for (int q = 0; q < 4; ++q)
      b["ROT" + std::to_string(q + 1)] = [q](TCursorSurface& s) { return Rotation(s, q); };
    for (int n = 1795; n <= 1808; ++n)
      b[std::to_string(n)] = [](TCursorSurface& s) {
        s.Pointer();
        return TPoint(1, 1);
      };
    auto split = [](TCursorSurface& s, bool vertical, bool hotspot) {
      if (vertical) {
        s.Line(4, 13, 27, 13);
        s.Line(4, 18, 27, 18);
        s.DoubleArrow(15, 2, 15, 29);
      } else {
        s.Line(13, 4, 13, 27);
        s.Line(18, 4, 18, 27);
        s.DoubleArrow(2, 15, 29, 15);
      }
      if (hotspot) s.Poly({{24, 24}, {30, 24}, {30, 30}, {24, 30}});
      return TPoint(15, 15);
    };
    b["FCSPLIT_HORZ"] = [split](TCursorSurface& s) { return split(s, false, false); };
    b["FCSPLIT_HORZHOTSPOT"] = [split](TCursorSurface& s) { return split(s, false, true); };
    b["FCSPLIT_VERT"] = [split](TCursorSurface& s) { return split(s, true, false); };
    b["FCSPLIT_VERTHOTSPOT"] = [split](TCursorSurface& s) { return split(s, true, true); };
    return b;
  }();
  return m;
}

AnsiString Key(const WideString& Name) { return WideToUtf8(UpperCase(Name)); }

}  // namespace

bool GtResourceCursor(const WideString& Name, TGtCursorImage& Image) {
  const auto& b = Builders();
  auto it = b.find(Key(Name));
  if (it == b.end()) return false;
  TCursorSurface s;
  const TPoint hot = it->second(s);
  Image = s.Image(hot);
  return true;
}

std::vector<WideString> GtResourceCursorNames() {
  std::vector<WideString> names;
  for (const auto& kv : Builders()) names.push_back(Utf8ToWide(kv.first));
  return names;
}

std::unique_ptr<TBitmap> GtResourceBitmap(const WideString& Name) {
  if (Key(Name) != "TBSYSMENUIMAGES") return nullptr;
  // Four 16 x 16 glyphs (close, maximise, minimise, restore) in black on the
  // silver that the image list treats as transparent.
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf4bit);
  b->SetSize(64, 16);
  b->Canvas()->Brush()->SetColor(clSilver);
  b->Canvas()->FillRect(TRect(0, 0, 64, 16));
  const UINT kinds[4] = {DFCS_CAPTIONCLOSE, DFCS_CAPTIONMAX, DFCS_CAPTIONMIN, DFCS_CAPTIONRESTORE};
  TBitmap cell;
  cell.SetPixelFormat(pf24bit);
  cell.SetSize(16, 16);
  for (int i = 0; i < 4; ++i) {
    TRect r(0, 0, 16, 16);
    DrawFrameControl(cell.Canvas()->Handle(), &r, DFC_CAPTION, kinds[i] | DFCS_FLAT);
    for (Integer y = 0; y < 16; ++y)
      for (Integer x = 0; x < 16; ++x)
        if (cell.Canvas()->Pixels(x, y) == ColorToRGB(clBtnText)) b->Canvas()->SetPixels(16 * i + x, y, clBlack);
  }
  return b;
}
