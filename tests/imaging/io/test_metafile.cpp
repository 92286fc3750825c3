// Metafiles: the size rules of an import, the sizes read from the headers,
// and rendering with and without the key-colour alpha, on small metafiles
// built here record by record; WMF rendering is checked against libwmf's own
// wmf2gd.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/io/iemetafile.h"
#include "imaging/io/ziduzuvio.h"
#include "io_test_util.h"
#include "platform/base/sysutils.h"
#include "platform/devices/metafile.h"

namespace metafile_tests {
namespace {

using namespace io_test;

void Put16(Bytes& B, int32_t V) {
  B.push_back(Byte(V));
  B.push_back(Byte(V >> 8));
}
void Put32(Bytes& B, int64_t V) {
  for (int i = 0; i < 4; ++i) B.push_back(Byte(V >> (8 * i)));
}

// A placeable Windows metafile of W x H units (PerInch to the inch) whose
// records fill the rectangle (0, 0)-(W/2, H/2) with a red brush, or paint
// nothing; with Blue also (W/2, H/2)-(W, H) blue.
Bytes Wmf(int W, int H, int PerInch, bool Paint, bool Blue = false) {
  Bytes body;
  auto record = [&](uint16_t Func, std::initializer_list<int32_t> Words) {
    Put32(body, 3 + int64_t(Words.size()));
    Put16(body, Func);
    for (int32_t w : Words) Put16(body, w);
  };
  record(0x020B, {0, 0});  // window origin
  record(0x020C, {H, W});  // window extent
  if (Paint) {
    record(0x02FC, {0, 0x00FF, 0x0000, 0});  // solid brush, COLORREF red
    record(0x012D, {0});                       // select it
    record(0x041B, {H / 2, W / 2, 0, 0});      // rectangle: bottom, right, top, left
    if (Blue) {
      record(0x02FC, {0, 0x0000, 0x00FF, 0});
      record(0x012D, {1});
      record(0x041B, {H, W, H / 2, W / 2});
    }
  }
  record(0x0000, {});
  Bytes b;
  Put32(b, 0x9AC6CDD7);
  Put16(b, 0);
  for (int v : {0, 0, W, H}) Put16(b, v);
  Put16(b, PerInch);
  Put32(b, 0);
  uint16_t sum = 0;
  for (size_t i = 0; i < b.size(); i += 2) sum ^= uint16_t(b[i] | b[i + 1] << 8);
  Put16(b, sum);
  Put16(b, 1);
  Put16(b, 9);
  Put16(b, 0x300);
  Put32(b, 9 + int64_t(body.size()) / 2);
  Put16(b, Paint ? (Blue ? 2 : 1) : 0);
  Put32(b, 7);
  Put16(b, 0);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// An enhanced metafile with the given frame (hundredths of a millimetre) and
// bounds W x H, filling (0, 0)-(W/2, H/2) red.
Bytes Emf(int W, int H, int32_t FrameLeft, int32_t FrameRight) {
  Bytes body;
  auto record = [&](uint32_t Type, std::initializer_list<int64_t> Values) {
    Put32(body, Type);
    Put32(body, 8 + 4 * int64_t(Values.size()));
    for (int64_t v : Values) Put32(body, v);
  };
  record(39, {1, 0, 0x000000FF, 0});  // solid red brush as object 1
  record(37, {1});                     // select it
  record(43, {0, 0, W / 2, H / 2});    // rectangle
  record(14, {0, 16, 20});             // end
  Bytes b;
  Put32(b, 1);
  Put32(b, 88);
  for (int64_t v : {0, 0, W - 1, H - 1}) Put32(b, v);
  for (int64_t v : {int64_t(FrameLeft), int64_t(0), int64_t(FrameRight), int64_t(H) * 2540 / 96}) Put32(b, v);
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

const Byte* Pixel(TIEBitmap* B, Integer X, Integer Y) { return static_cast<const Byte*>(B->GetScanline(Y)) + 3 * X; }
Byte Alpha(TIEBitmap* B, Integer X, Integer Y) { return static_cast<const Byte*>(B->GetAlphaChannel()->GetScanline(Y))[X]; }

TEST(MetafileSize, ImportSizeRules) {
  struct Case {
    int64_t MW, MH;
    Integer W, H;
    bool Ok;
    Integer OutW, OutH;
  } cases[] = {
      {400, 100, 0, 100, false, 0, 0},    // a zero side asked: nothing
      {400, 100, -1, 200, true, 800, 200},
      {400, 100, 300, -1, true, 300, 75},
      {400, 100, 50, 60, true, 50, 60},   // both given: exactly
      {400, 100, -1, -1, true, 400, 100},
      {20000, 10000, -1, -1, true, 8000, 4000},  // beyond the limit, aspect kept
      {10000, 20000, -1, -1, true, 4000, 8000},
      {400, 100, 9000, 10, true, 8000, 8},
      // 32-bit products of these would overflow
      {30000, 10000, -1, 2000000000, true, 8000, 2666},
      {0, 100, -1, -1, false, 0, 0},      // no size of its own
      {-400, 100, -1, -1, false, 0, 0},   // inverted bounds
      {1, 100000, -1, -1, false, 0, 0},   // the limit leaves nothing of the width
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.MW) + "x" + std::to_string(c.MH) + " at " + std::to_string(c.W) + "," +
                 std::to_string(c.H));
    Integer w = -7, h = -7;
    EXPECT_EQ(IEMetafileImportSize(c.MW, c.MH, c.W, c.H, 8000, w, h), c.Ok);
    EXPECT_EQ(w, c.OutW);
    EXPECT_EQ(h, c.OutH);
  }
}

TEST(MetafileSize, HeadersGiveThePixelSizeAt96Dpi) {
  struct Case {
    const char* What;
    Bytes Data;
    bool Loads, Enhanced;
    int32_t W, H;
  } cases[] = {
      {"placeable, 96 units to the inch", Wmf(40, 20, 96, true), true, false, 40, 20},
      {"placeable, 1440 units to the inch", Wmf(2880, 1440, 1440, true), true, false, 192, 96},
      {"placeable without units to the inch", Wmf(40, 20, 0, true), true, false, 0, 0},
      {"enhanced: the frame decides", Emf(40, 20, 0, 1058), true, true, 40, 20},
      {"enhanced, inverted frame", Emf(40, 20, 1058, 0), true, true, 0, 0},
      {"neither", Str("GIF89a and more bytes than any header needs......................."), false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMetafile m;
    EXPECT_EQ(m.LoadFromBytes(c.Data), c.Loads);
    EXPECT_EQ(m.Enhanced(), c.Enhanced);
    EXPECT_EQ(m.Width(), c.W);
    EXPECT_EQ(m.Height(), c.H);
  }
}

TEST(MetafileImport, RendersOnTheBackgroundWithKeyColourAlpha) {
  struct Case {
    const char* What;
    Bytes Data;
  } cases[] = {{"WMF", Wmf(40, 20, 96, true)}, {"EMF", Emf(40, 20, 0, 1058)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMetafile m;
    ASSERT_TRUE(m.LoadFromBytes(c.Data));
    TZiduzUvIO io(nullptr);
    io.SetBackground(0x00FF00);  // green, as TColor
    io.ImportMetafile(&m, -1, 80, true);
    ASSERT_FALSE(io.Aborting());
    TIEBitmap* b = io.IEBitmap();
    ASSERT_EQ(b->Width(), 160);
    ASSERT_EQ(b->Height(), 80);
    EXPECT_EQ(io.Params().FILETYPE, m.Enhanced() ? ieftEMF : ieftWMF);
    EXPECT_EQ(io.Params().WIDTH, 160);
    // Inside the red rectangle (away from its outline), and far from it.
    const Byte* in = Pixel(b, 40, 20);
    EXPECT_EQ(in[2], 255);
    EXPECT_EQ(in[1], 0);
    EXPECT_EQ(in[0], 0);
    const Byte* out = Pixel(b, 140, 70);
    EXPECT_EQ(out[1], 255);  // the background
    EXPECT_EQ(out[2], 0);
    ASSERT_TRUE(b->HasAlphaChannel());
    EXPECT_EQ(Alpha(b, 40, 20), 255);
    EXPECT_EQ(Alpha(b, 140, 70), 0);

    io.ImportMetafile(&m, 100, 30, false);
    EXPECT_EQ(b->Width(), 100);
    EXPECT_EQ(b->Height(), 30);
    EXPECT_FALSE(b->HasAlphaChannel());
  }
}

TEST(MetafileImport, NothingPaintedGivesAnAllZeroAlpha) {
  TMetafile m;
  ASSERT_TRUE(m.LoadFromBytes(Wmf(40, 20, 96, false)));
  TZiduzUvIO io(nullptr);
  io.ImportMetafile(&m, -1, -1, true);
  ASSERT_FALSE(io.Aborting());
  TIEBitmap* b = io.IEBitmap();
  ASSERT_EQ(b->Width(), 40);
  ASSERT_TRUE(b->HasAlphaChannel());
  int opaque = 0;
  for (Integer y = 0; y < b->Height(); ++y)
    for (Integer x = 0; x < b->Width(); ++x) opaque += Alpha(b, x, y) != 0;
  EXPECT_EQ(opaque, 0);
}

TEST(MetafileImport, WithoutASizeOrAskedForNothing) {
  TZiduzUvIO io(nullptr);
  TMetafile inverted;
  ASSERT_TRUE(inverted.LoadFromBytes(Emf(40, 20, 1058, 0)));
  io.ImportMetafile(&inverted, -1, -1, true);
  EXPECT_TRUE(io.Aborting());
  EXPECT_EQ(io.IEBitmap()->Width(), 0);

  TMetafile m;
  ASSERT_TRUE(m.LoadFromBytes(Wmf(40, 20, 96, true)));
  io.ImportMetafile(&m, 0, 100, false);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(io.IEBitmap()->Width(), 0);  // nothing done
}

TEST(MetafileImport, LoadsByNameAndReadsParameters) {
  IEBuildFormatRegistry();
  TempDir dir;
  WriteFile(dir.File("a.wmf"), Wmf(40, 20, 96, true));
  WriteFile(dir.File("a.emf"), Emf(40, 20, 0, 1058));
  WriteFile(dir.File("broken.wmf"), Str("not a metafile"));
  struct Case {
    const char* Name;
    bool Fails;
    TIEFileType Type;
  } cases[] = {{"a.wmf", false, ieftWMF}, {"a.emf", false, ieftEMF}, {"broken.wmf", true, ieftWMF}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvIO io(nullptr);
    int finishes = 0;
    io.OnFinishWork = [&](TObject*) { ++finishes; };
    io.LoadFromFile(Utf8ToWide(dir.File(c.Name)));
    EXPECT_EQ(io.Aborting(), c.Fails);
    EXPECT_EQ(finishes, 1);
    if (c.Fails) continue;
    EXPECT_EQ(io.IEBitmap()->Width(), 40);
    EXPECT_EQ(io.IEBitmap()->Height(), 20);
    EXPECT_EQ(io.Params().FILETYPE, c.Type);
    EXPECT_EQ(io.Params().FILENAME, Utf8ToWide(dir.File(c.Name)));
    EXPECT_TRUE(io.IEBitmap()->HasAlphaChannel());

    TZiduzUvIO params(nullptr);
    params.ReadParamsFromFile(Utf8ToWide(dir.File(c.Name)));
    EXPECT_FALSE(params.Aborting());
    EXPECT_EQ(params.Params().WIDTH, 40);
    EXPECT_EQ(params.Params().HEIGHT, 20);
    EXPECT_EQ(params.Params().FILETYPE, c.Type);
  }
  IEFreeFormatRegistry();
}

TEST(MetafileImport, WmfRenderingAgreesWithWmf2gd) {
  ASSERT_TRUE(gt_test::HaveTool("wmf2gd")) << "libwmf-bin missing (scripts/install-deps.sh installs it)";
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  TempDir dir;
  // Painted from corner to corner: wmf2gd maps what the records paint onto
  // its picture, we map the whole metafile; here the two are the same.
  const Bytes wmf = Wmf(40, 20, 96, true, true);
  WriteFile(dir.File("a.wmf"), wmf);
  ASSERT_EQ(Shell("cd '" + dir.Path + "' && wmf2gd --maxwidth=160 --maxheight=80 --maxsize -o a.png a.wmf " +
                  ">/dev/null 2>&1 && convert a.png -depth 8 rgb:a.rgb"),
            0);
  const Bytes ref = ReadFile(dir.File("a.rgb"));
  ASSERT_EQ(ref.size(), size_t(160) * 80 * 3);
  TMetafile m;
  ASSERT_TRUE(m.LoadFromBytes(wmf));
  TZiduzUvIO io(nullptr);
  io.SetBackground(0xFFFFFF);  // wmf2gd leaves unpainted pixels white
  io.ImportMetafile(&m, 160, 80, false);
  TIEBitmap* b = io.IEBitmap();
  ASSERT_EQ(b->Width(), 160);
  // Pixels away from the outlines agree (red, blue and the unpainted
  // quarters); the outlines themselves are each renderer's own.
  auto nearLine = [](Integer V, std::initializer_list<Integer> Lines) {
    for (Integer l : Lines)
      if (std::abs(V - l) < 10) return true;
    return false;
  };
  int compared = 0, differing = 0;
  for (Integer y = 0; y < 80; ++y)
    for (Integer x = 0; x < 160; ++x) {
      if (nearLine(x, {0, 80, 160}) || nearLine(y, {0, 40, 80})) continue;
      const Byte* p = Pixel(b, x, y);
      const Byte* r = &ref[(size_t(y) * 160 + x) * 3];
      ++compared;
      if (std::abs(p[2] - r[0]) > 8 || std::abs(p[1] - r[1]) > 8 || std::abs(p[0] - r[2]) > 8) ++differing;
    }
  EXPECT_GT(compared, 4000);
  EXPECT_EQ(differing, 0);
  // All four quarters were looked at: red, white, white, blue.
  EXPECT_EQ(Pixel(b, 40, 20)[0], 0);
  EXPECT_EQ(Pixel(b, 120, 60)[2], 0);
  EXPECT_EQ(Pixel(b, 120, 20)[1], 255);
}

}  // namespace
}  // namespace metafile_tests
