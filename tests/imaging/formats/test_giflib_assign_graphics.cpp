// GIF frames made from icons and metafiles: the graphic is drawn into a
// bitmap, and its transparent pixels (the icon's mask, or what a metafile
// leaves unpainted) become the frame's transparent colour, exactly there.
// The icon graphic itself loads files made by ImageMagick, draws through its
// mask and hands out its bitmaps only for live icon handles.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/formats/giflib.h"
#include "imaging/formats/giflib_reduce.h"
#include "platform/devices/metafile.h"
#include "platform/graphics/icon.h"
#include "tests/imaging/formats/formats_test_util.h"
#include "tests/imaging/formats/giflib_test_util.h"

namespace giflib_assign_graphics_tests {
namespace {

using fmt_test::Bytes;
using Rgb = std::array<Byte, 3>;

Rgb PixelOf(TBitmap* B, Integer X, Integer Y) {
  const Byte* row = static_cast<const Byte*>(B->ScanLine(Y));
  return {row[3 * X + 2], row[3 * X + 1], row[3 * X]};
}

Rgb FrameColour(TGIFSubImage* F, Integer X, Integer Y) {
  const Byte* c = F->ActiveColorMap()->Entry(F->GetPixel(X, Y));
  return {c[0], c[1], c[2]};
}

// An icon with a transparent surround, two opaque colours and a lone pixel,
// made by ImageMagick; Pillow's decoding of it is the reference.
struct IconFixture {
  fmt_test::TempDir Dir{"gifico"};
  std::string Path = Dir.File("a.ico");
  fmt_test::Rgb Expected;
  bool Make() {
    if (!fmt_test::HaveTool("convert")) return false;
    const std::string cmd = "convert -size 12x10 xc:none +antialias -fill '#FF0000' -draw 'rectangle 2,2 7,6' "
                            "-fill '#0033CC' -draw 'rectangle 5,5 9,8' -fill '#66FF99' -draw 'point 11,0' "
                            "'" + Path + "' 2>/dev/null";
    if (fmt_test::Shell(cmd) != 0) return false;
    Expected = fmt_test::PillowRgb(Path);
    return Expected.W == 12 && Expected.H == 10;
  }
  bool Clear(Integer X, Integer Y) const { return Expected.Alpha[size_t(Y * 12 + X)] == 0; }
  Rgb Colour(Integer X, Integer Y) const {
    const Byte* p = Expected.Pixels.data() + 3 * size_t(Y * 12 + X);
    return {p[0], p[1], p[2]};
  }
};

void LoadIcon(TIcon& Icon, const std::string& Path) { Icon.LoadFromFile(Utf8ToWide(Path)); }

TEST(GifLibAssignIcon, TransparentExactlyWhereTheIconIs) {
  IconFixture fx;
  ASSERT_TRUE(fx.Make()) << "ImageMagick or Pillow missing (scripts/install-deps.sh installs them)";
  TIcon icon;
  LoadIcon(icon, fx.Path);
  ASSERT_EQ(icon.Width(), 12);
  ASSERT_EQ(icon.Height(), 10);
  // Through a frame of an image and through the image itself.
  for (bool whole : {false, true}) {
    SCOPED_TRACE(whole ? "image" : "frame");
    TGIFImage img;
    img.ReductionMethod = crmNone;
    TGIFSubImage* f;
    if (whole) {
      img.Assign(&icon);
      ASSERT_EQ(img.Images()->GetCount(), 1);
      f = img.Images()->GetFrame(0);
    } else {
      f = new TGIFSubImage(&img);
      img.Add(f);
      f->Assign(&icon);
    }
    ASSERT_EQ(f->Width(), 12);
    ASSERT_EQ(f->Height(), 10);
    ASSERT_TRUE(f->HasTransparency);
    ASSERT_NE(f->ControlExtension, nullptr);
    const Byte t = f->TransparentIndex();
    for (Integer y = 0; y < 10; ++y)
      for (Integer x = 0; x < 12; ++x) {
        SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
        EXPECT_EQ(f->GetPixel(x, y) == t, fx.Clear(x, y));
        if (!fx.Clear(x, y)) {
          EXPECT_EQ(FrameColour(f, x, y), fx.Colour(x, y));
        }
      }
  }
}

TEST(GifLibAssignIcon, IconDrawsThroughItsMaskAndGuardsItsHandle) {
  IconFixture fx;
  ASSERT_TRUE(fx.Make()) << "ImageMagick or Pillow missing (scripts/install-deps.sh installs them)";
  TIcon icon;
  LoadIcon(icon, fx.Path);
  auto canvas = giflib_test::Bitmap24(12, 10, [](Integer x, Integer y) { return Rgb{Byte(x * 20), 77, Byte(y * 25)}; });
  canvas->Canvas()->Draw(0, 0, &icon);
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 12; ++x) {
      const Rgb under{Byte(x * 20), 77, Byte(y * 25)};
      EXPECT_EQ(PixelOf(canvas.get(), x, y), fx.Clear(x, y) ? under : fx.Colour(x, y)) << x << "," << y;
    }

  ICONINFO info;
  ASSERT_TRUE(GetIconInfo(icon.Handle(), &info));
  TBitmap mask, colour;
  mask.SetHandle(info.hbmMask);
  colour.SetHandle(info.hbmColor);
  EXPECT_EQ(mask.PixelFormat(), pf1bit);
  EXPECT_EQ(mask.Width(), 12);
  EXPECT_EQ(colour.Height(), 10);

  // A copy lives on its own; a freed icon's handle and a foreign one are refused.
  HICON stale;
  {
    TIcon copy;
    copy.Assign(&icon);
    stale = copy.Handle();
    ASSERT_NE(stale, icon.Handle());
    ASSERT_TRUE(GetIconInfo(stale, &info));
    DeleteObject(info.hbmMask);
    DeleteObject(info.hbmColor);
  }
  EXPECT_FALSE(GetIconInfo(stale, &info));
  int foreign = 0;
  EXPECT_FALSE(GetIconInfo(reinterpret_cast<HICON>(&foreign), &info));
  EXPECT_FALSE(GetIconInfo(nullptr, &info));
}

TEST(GifLibAssignIcon, BytesThatAreNoIconAreRefused) {
  const Bytes cases[] = {{}, Bytes(40, 0), {0, 0, 1, 0, 1, 0, 255, 255, 0, 0, 1, 0, 32, 0, 255, 255, 255, 127, 22, 0, 0, 0}};
  for (const Bytes& c : cases) {
    TMemoryStream s;
    fmt_test::Fill(s, c);
    TIcon icon;
    EXPECT_THROW(icon.LoadFromStream(&s), EInvalidGraphic) << c.size();
    EXPECT_TRUE(icon.Empty());
  }
}

void Put16(Bytes& B, int32_t V) {
  B.push_back(Byte(V));
  B.push_back(Byte(V >> 8));
}
void Put32(Bytes& B, int64_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(Byte(V >> (8 * i)));
}

// A placeable Windows metafile of W x H pixels painting a red rectangle over
// its top-left quarter, or nothing.
Bytes Wmf(int W, int H, bool Paint) {
  Bytes body;
  auto record = [&](uint16_t Func, std::initializer_list<int32_t> Words) {
    Put32(body, 3 + int64_t(Words.size()));
    Put16(body, Func);
    for (int32_t w : Words) Put16(body, w);
  };
  record(0x020B, {0, 0});
  record(0x020C, {H, W});
  if (Paint) {
    record(0x02FC, {0, 0x00FF, 0x0000, 0});
    record(0x012D, {0});
    record(0x041B, {H / 2, W / 2, 0, 0});
  }
  record(0x0000, {});
  Bytes b;
  Put32(b, 0x9AC6CDD7);
  Put16(b, 0);
  for (int v : {0, 0, W, H}) Put16(b, v);
  Put16(b, 96);
  Put32(b, 0);
  uint16_t sum = 0;
  for (size_t i = 0; i < b.size(); i += 2) sum ^= uint16_t(b[i] | b[i + 1] << 8);
  Put16(b, sum);
  Put16(b, 1);
  Put16(b, 9);
  Put16(b, 0x300);
  Put32(b, 9 + int64_t(body.size()) / 2);
  Put16(b, Paint ? 1 : 0);
  Put32(b, 7);
  Put16(b, 0);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// An enhanced metafile of W x H pixels filling its top-left quarter red.
Bytes Emf(int W, int H) {
  Bytes body;
  auto record = [&](uint32_t Type, std::initializer_list<int64_t> Values) {
    Put32(body, Type);
    Put32(body, 8 + 4 * int64_t(Values.size()));
    for (int64_t v : Values) Put32(body, v);
  };
  record(39, {1, 0, 0x000000FF, 0});
  record(37, {1});
  record(43, {0, 0, W / 2, H / 2});
  record(14, {0, 16, 20});
  Bytes b;
  Put32(b, 1);
  Put32(b, 88);
  for (int64_t v : {0, 0, W - 1, H - 1}) Put32(b, v);
  for (int64_t v : {int64_t(0), int64_t(0), int64_t(W) * 2540 / 96, int64_t(H) * 2540 / 96}) Put32(b, v);
  Put32(b, 0x464D4520);
  Put32(b, 0x10000);
  Put32(b, 88 + int64_t(body.size()));
  Put32(b, 5);
  Put16(b, 2);
  Put16(b, 0);
  for (int64_t v : {0, 0, 0, 1024, 768, 320, 240}) Put32(b, v);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// The metafile's own rendering on a white and a black background: the
// pixels where the two differ are the ones it did not paint.
std::vector<bool> Unpainted(const TMetafile& M) {
  const int w = M.Width(), h = M.Height();
  std::vector<uint8_t> white(size_t(w) * h * 3, 255), black(size_t(w) * h * 3, 0);
  EXPECT_TRUE(M.Draw(white.data(), w, h, w * 3));
  EXPECT_TRUE(M.Draw(black.data(), w, h, w * 3));
  std::vector<bool> r(size_t(w) * h);
  for (size_t i = 0; i < r.size(); ++i)
    r[i] = white[3 * i] != black[3 * i] || white[3 * i + 1] != black[3 * i + 1] || white[3 * i + 2] != black[3 * i + 2];
  return r;
}

TEST(GifLibAssignMetafile, TransparentExactlyWhereNothingWasPainted) {
  struct Case {
    const char* What;
    Bytes Data;
  } cases[] = {{"WMF", Wmf(40, 20, true)}, {"EMF", Emf(40, 20)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMetafile m;
    ASSERT_TRUE(m.LoadFromBytes(c.Data));
    const std::vector<bool> clear = Unpainted(m);
    TGIFImage img;
    img.ReductionMethod = crmNone;
    auto* f = new TGIFSubImage(&img);
    img.Add(f);
    f->Assign(&m);
    ASSERT_EQ(f->Width(), 40);
    ASSERT_EQ(f->Height(), 20);
    ASSERT_TRUE(f->HasTransparency);
    const Byte t = f->TransparentIndex();
    int transparent = 0;
    for (Integer y = 0; y < 20; ++y)
      for (Integer x = 0; x < 40; ++x) {
        EXPECT_EQ(f->GetPixel(x, y) == t, bool(clear[size_t(y * 40 + x)])) << x << "," << y;
        transparent += f->GetPixel(x, y) == t;
      }
    // The red quarter is painted and keeps its colour; the far corner is not.
    EXPECT_EQ(FrameColour(f, 10, 5), (Rgb{255, 0, 0}));
    EXPECT_EQ(f->GetPixel(35, 17), t);
    EXPECT_GT(transparent, 40 * 20 / 2);
  }
}

TEST(GifLibAssignMetafile, AMetafileThatPaintsNothingGivesAFullyTransparentFrame) {
  TMetafile m;
  ASSERT_TRUE(m.LoadFromBytes(Wmf(16, 8, false)));
  TGIFImage img;
  img.Assign(&m);
  TGIFSubImage* f = img.Images()->GetFrame(0);
  ASSERT_TRUE(f->HasTransparency);
  for (Integer y = 0; y < 8; ++y)
    for (Integer x = 0; x < 16; ++x) EXPECT_EQ(f->GetPixel(x, y), f->TransparentIndex()) << x << "," << y;
}

TEST(GifLibAssignMetafile, AsAGraphicItDrawsOverTheCanvasAndLoadsFromStreams) {
  TMetafile m;
  TMemoryStream s;
  fmt_test::Fill(s, Wmf(40, 20, true));
  m.LoadFromStream(&s);
  ASSERT_EQ(m.Width(), 40);
  auto canvas = giflib_test::Bitmap24(40, 20, [](Integer, Integer) { return Rgb{0, 200, 0}; });
  canvas->Canvas()->Draw(0, 0, &m);
  EXPECT_EQ(PixelOf(canvas.get(), 10, 5), (Rgb{255, 0, 0}));
  EXPECT_EQ(PixelOf(canvas.get(), 35, 17), (Rgb{0, 200, 0}));

  TMemoryStream bad;
  fmt_test::Fill(bad, Bytes{'n', 'o', 'p', 'e'});
  EXPECT_THROW(m.LoadFromStream(&bad), EInvalidGraphic);
  EXPECT_TRUE(m.Empty());
}

}  // namespace
}  // namespace giflib_assign_graphics_tests
