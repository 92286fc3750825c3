// The zoom filter rfFastLinear of the view's paint path. The drawing is
// defined as the source rectangle resampled to the destination size with
// the fast linear scaler (its alpha with the 8-bit one) and that picture
// drawn unscaled; the renderer makes only the rows and columns the window
// shows, a band at a time, so every case here holds it against that
// definition built from the public routines.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "imaging/core/render/ierender.h"
#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/render/render_support.h"

namespace test_render_fastlinear_tests {

using namespace render_test;

namespace {

struct Geometry {
  Integer DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH;
};

struct Case {
  const char* Name;
  Integer SrcWidth, SrcHeight;  // source picture
  Integer DestWidth, DestHeight;
  Geometry Call;       // what the renderer is given
  Geometry Clipped;    // the same after clipping against the destination
  bool Clip = false;   // a clip rectangle inside the destination rectangle
  Integer Transparency = 255;
  Byte Op = 0;
  enum { NoAlpha, Alpha, FullAlpha } AlphaKind = NoAlpha;
  bool Adjusted = false;  // contrast and channel offsets
  bool Reuse = true;
};

void Prepare(TIEBitmap& Src, const Case& C) {
  MakeNoise(Src, C.SrcWidth, C.SrcHeight, ie24RGB, 7);
  if (C.AlphaKind != Case::NoAlpha) {
    TIEBitmap* a = Src.GetAlphaChannel();
    Noise(*a, 8);
    a->SetFull(C.AlphaKind == Case::FullAlpha);
  }
  if (C.Adjusted) {
    Src.SetContrast(-20);
    Src.SetChannelOffset(0, 30);
    Src.SetChannelOffset(2, -50);
    Src.SetChannelOffsetsOn(true);
  }
}

// The definition: the (clipped) source rectangle copied out, resampled, and
// drawn at 1:1 with everything else as given.
void Expected(TIEBitmap& Src, TIEBitmap& Dst, const Case& C, const Integer* Clip) {
  const Geometry& g = C.Clipped;
  TIEBitmap part, scaled;
  ASSERT_TRUE(part.Allocate(g.SrcW, g.SrcH, ie24RGB));
  Src.CopyRectTo(&part, g.SrcX, g.SrcY, 0, 0, g.SrcW, g.SrcH);
  ASSERT_TRUE(scaled.Allocate(g.DstW, g.DstH, ie24RGB));
  IEResampleFastLinear24(&part, &scaled);
  if (C.AlphaKind != Case::NoAlpha) {
    TIEBitmap* sa = Src.GetAlphaChannel();
    TIEBitmap* pa = part.GetAlphaChannel();
    sa->CopyRectTo(pa, g.SrcX, g.SrcY, 0, 0, g.SrcW, g.SrcH);
    TIEBitmap* da = scaled.GetAlphaChannel();
    ASSERT_TRUE(da->Allocate(g.DstW, g.DstH, ie8g));
    IEResample8Bit(pa, da, rfFastLinear);
    da->SetFull(sa->Full());
  }
  for (Integer i = 0; i < 3; ++i) scaled.SetChannelOffset(i, Src.ChannelOffset(i));
  scaled.SetChannelOffsetsOn(Src.ChannelOffsetsOn());
  scaled.SetContrast(Src.Contrast());
  std::unique_ptr<TIERowTable> rows;
  std::unique_ptr<TIEMapTable> xm, ym;
  RenderToTIEBitmapEx(scaled, &Dst, rows, xm, ym, Clip, g.DstX, g.DstY, g.DstW, g.DstH, 0, 0, g.DstW, g.DstH, true,
                      C.Reuse, C.Transparency, rfNone, true, C.Op);
}

TEST(RenderFastLinear, DrawsTheResampledRectangleUnscaled) {
  const Case cases[] = {
      {"shrink", 90, 70, 40, 30, {3, 2, 31, 23, 5, 4, 80, 61}, {3, 2, 31, 23, 5, 4, 80, 61}},
      {"enlarge", 12, 9, 60, 50, {1, 2, 55, 41, 2, 1, 9, 7}, {1, 2, 55, 41, 2, 1, 9, 7}},
      {"wider and shorter", 20, 60, 70, 30, {0, 0, 64, 17, 1, 3, 16, 50}, {0, 0, 64, 17, 1, 3, 16, 50}},
      // Equal widths still average each pixel with its right neighbour.
      {"same width", 30, 20, 30, 50, {0, 1, 30, 45, 0, 0, 30, 20}, {0, 1, 30, 45, 0, 0, 30, 20}},
      // A reduction by more than 64 in one step.
      {"large reduction", 400, 300, 10, 8, {2, 1, 5, 4, 0, 0, 400, 300}, {2, 1, 5, 4, 0, 0, 400, 300}},
      // Tall enough for several bands, reduced and enlarged.
      {"bands, reduced", 37, 420, 30, 200, {4, 3, 23, 190, 1, 5, 35, 400}, {4, 3, 23, 190, 1, 5, 35, 400}},
      {"bands, enlarged", 30, 70, 50, 300, {0, 0, 45, 290, 2, 3, 26, 60}, {0, 0, 45, 290, 2, 3, 26, 60}},
      // Starting left of and above the destination: Round(10 x 20 / 40) = 5
      // source columns and Round(4 x 30 / 12) = 10 source rows fewer.
      {"negative start", 40, 40, 50, 30, {-10, -4, 40, 12, 3, 2, 20, 30}, {0, 0, 30, 8, 8, 12, 15, 20}},
      // Past the right and bottom edges: Trunc(10 x 24 / 30) = 8 columns and
      // Trunc(5 x 20 / 25) = 4 rows fewer.
      {"past the far edges", 40, 40, 50, 30, {30, 10, 30, 25, 1, 1, 24, 20}, {30, 10, 20, 20, 1, 1, 16, 16}},
      {"clipped", 90, 70, 40, 30, {3, 2, 31, 23, 5, 4, 80, 61}, {3, 2, 31, 23, 5, 4, 80, 61}, true},
      {"clipped bands", 37, 420, 30, 200, {4, 3, 23, 190, 1, 5, 35, 400}, {4, 3, 23, 190, 1, 5, 35, 400}, true},
      {"transparency", 90, 70, 40, 30, {3, 2, 31, 23, 5, 4, 80, 61}, {3, 2, 31, 23, 5, 4, 80, 61}, false, 180},
      {"blend operation", 12, 9, 60, 50, {1, 2, 55, 41, 2, 1, 9, 7}, {1, 2, 55, 41, 2, 1, 9, 7}, false, 255, 11},
      {"alpha, reduced", 90, 70, 40, 30, {3, 2, 31, 23, 5, 4, 80, 61}, {3, 2, 31, 23, 5, 4, 80, 61}, true, 200, 0,
       Case::Alpha},
      {"alpha, enlarged", 12, 9, 60, 50, {1, 2, 55, 41, 2, 1, 9, 7}, {1, 2, 55, 41, 2, 1, 9, 7}, false, 255, 0,
       Case::Alpha},
      {"full alpha", 12, 9, 60, 50, {1, 2, 55, 41, 2, 1, 9, 7}, {1, 2, 55, 41, 2, 1, 9, 7}, false, 255, 0,
       Case::FullAlpha},
      {"contrast and offsets", 90, 70, 40, 30, {3, 2, 31, 23, 5, 4, 80, 61}, {3, 2, 31, 23, 5, 4, 80, 61}, false,
       255, 0, Case::NoAlpha, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap src, got, want;
    Prepare(src, c);
    ASSERT_TRUE(got.Allocate(c.DestWidth, c.DestHeight, ie24RGB));
    ASSERT_TRUE(want.Allocate(c.DestWidth, c.DestHeight, ie24RGB));
    // Noise under the drawing, so that blending has something to mix with.
    Noise(got, 9);
    Noise(want, 9);
    const Geometry& g = c.Call;
    // The clip cuts into the drawn rectangle on every side.
    const Integer clip[4] = {c.Clipped.DstX + 3, c.Clipped.DstY + 2, c.Clipped.DstX + c.Clipped.DstW - 5,
                             c.Clipped.DstY + c.Clipped.DstH - 7};
    const Integer* clipRect = c.Clip ? clip : nullptr;
    std::unique_ptr<TIERowTable> rows;
    std::unique_ptr<TIEMapTable> xm, ym;
    RenderToTIEBitmapEx(src, &got, rows, xm, ym, clipRect, g.DstX, g.DstY, g.DstW, g.DstH, g.SrcX, g.SrcY, g.SrcW,
                        g.SrcH, true, c.Reuse, c.Transparency, rfFastLinear, true, c.Op);
    Expected(src, want, c, clipRect);
    EXPECT_TRUE(SamePixels(got, want));
  }
}

// Sources whose rows lie in separate blocks or in a temporary file draw
// exactly what a source in one block draws.
TEST(RenderFastLinear, EveryStorageDrawsTheSame) {
  TIEBitmap reference, expected;
  MakeNoise(reference, 70, 90, ie24RGB, 3);
  ASSERT_TRUE(expected.Allocate(50, 60, ie24RGB));
  FillMarker(expected);
  RenderToTIEBitmap(reference, &expected, 2, 3, 40, 52, 1, 1, 66, 85, 255, rfFastLinear, 0);
  for (Storage s : {Storage::Segments, Storage::File}) {
    SCOPED_TRACE(StorageName(s));
    TIEBitmap dst;  // the destination stays in memory: a file-backed one is refused
    ASSERT_TRUE(dst.Allocate(50, 60, ie24RGB));
    FillMarker(dst);
    StorageScope scope(s);
    TIEBitmap src;
    ASSERT_TRUE(src.Allocate(70, 90, ie24RGB));
    ExpectStorage(src, s);
    for (Integer y = 0; y < 90; ++y)
      std::memcpy(src.GetScanline(y), reference.GetScanline(y), PixelBytesOfRow(reference));
    RenderToTIEBitmap(src, &dst, 2, 3, 40, 52, 1, 1, 66, 85, 255, rfFastLinear, 0);
    EXPECT_TRUE(SamePixels(dst, expected));
  }
}

}  // namespace

}  // namespace test_render_fastlinear_tests
