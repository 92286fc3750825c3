// Shared by the PDF and PostScript writer tests: the pictures they write and
// ghostscript's rendering of a page, compared with where the picture must land.
#pragma once

#include <cstdlib>
#include <string>

#include "formats_test_util.h"
#include "tests/support/pnm.h"

namespace pdf_render {

using fmt_test::Bytes;

// 100 x 50 pictures: blocks of 10 x 10 pixels, so that JPEG stays close and
// a scaled rendering can be sampled inside each block.
inline std::unique_ptr<TIEBitmap> Colour() {
  auto b = std::make_unique<TIEBitmap>(100, 50, ie24RGB);
  for (Integer y = 0; y < 50; ++y)
    for (Integer x = 0; x < 100; ++x) {
      const int bx = x / 10, by = y / 10;
      b->SetPixelRGB(x, y, TRGB{Byte(bx * 25), Byte(by * 60), Byte(255 - bx * 20 - by * 10)});
    }
  return b;
}

// Runs of every length up to the width, so CCITT codes of short and long
// runs, make-up codes and both colours at the row edges all occur.
inline bool BilevelWhite(int x, int y) { return ((x * (y + 1)) / 7 + y / 5) % 2 == 0 || (y % 9 == 0 && x > 3); }

inline std::unique_ptr<TIEBitmap> Bilevel() {
  auto b = std::make_unique<TIEBitmap>(100, 50, ie1g);
  for (Integer y = 0; y < 50; ++y) {
    Byte* row = static_cast<Byte*>(b->GetScanline(y));
    for (Integer x = 0; x < 100; ++x) {
      if (BilevelWhite(x, y))
        row[x / 8] |= Byte(0x80 >> (x % 8));
      else
        row[x / 8] &= Byte(~(0x80 >> (x % 8)));
    }
  }
  return b;
}

// Ghostscript's rendering of Page at 72 dpi on a 200 x 300 point page.
inline bool Render(const std::string& File, int Page, gt_test::Pnm& Out) {
  gt_test::TempDir dir("gsr");
  const std::string out = dir.File("page.ppm");
  const std::string cmd = "gs -q -dSAFER -dNOPAUSE -dBATCH -sDEVICE=ppmraw -r72 -dDEVICEWIDTHPOINTS=200 "
                          "-dDEVICEHEIGHTPOINTS=300 -dFIXEDMEDIA -dFirstPage=" +
                          std::to_string(Page) + " -dLastPage=" + std::to_string(Page) + " -sOutputFile='" + out +
                          "' '" + File + "' >/dev/null 2>&1";
  return gt_test::Shell(cmd) == 0 && gt_test::ReadPnm(out, Out) && Out.Width == 200 && Out.Height == 300;
}

// The picture, written on a 200 x 300 page, is drawn twice its size at the top
// left: every source pixel covers 2 x 2 page pixels, and everything below it
// stays white. Returns the largest difference of a sample from its source.
inline int PlacementError(const gt_test::Pnm& Page, TIEBitmap* Source) {
  int worst = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 200; ++x) {
      TRGB want{255, 255, 255};
      if (y < 100) Source->GetPixelAsRGB(x / 2, y / 2, want);
      const int* p = &Page.Data[(size_t(y) * 200 + x) * 3];
      worst = std::max({worst, std::abs(p[0] - want.r), std::abs(p[1] - want.g), std::abs(p[2] - want.b)});
    }
  return worst;
}

}  // namespace pdf_render
