// Every ordered pair of pixel formats (and every format onto itself) on one
// 7 x 3 picture, against golden values that an independent numpy script
// (make_conv_golden.py) computed from the conversion rules on its own.
#include <limits>
#include <sstream>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/base/ieglobals.h"
#include "tests/imaging/core/color/conv_support.h"

namespace test_conversion_table_tests {

namespace {

struct TConvSource {
  TIEPixelFormat Format;
  const char* Pixels;
  const char* Palette;
};
struct TConvGolden {
  TIEPixelFormat Src, Dst;
  Byte Method;
  const char* Pixels;
  const char* Palette;
};
struct TLabReference {
  Integer In[3];
  double Out[3];
};

#include "tests/imaging/core/color/conv_golden.inc"

const char* Name(TIEPixelFormat f) {
  static const char* names[] = {"ieNone", "ie1g", "ie8p", "ie8g", "ie16g", "ie24RGB",
                                "ie32f",  "ieCMYK", "ieRGB48", "ieCIELab", "ie32RGB"};
  return names[f];
}

// Where the source lives: the conversions must not depend on it.
struct TStorage {
  const char* name;
  int64_t threshold;  // memory threshold: 0 puts every picture in a temporary file
  Integer alignment;  // row alignment of the source (8 gives unaligned 16-bit rows)
};
void PrintTo(const TStorage& s, std::ostream* os) { *os << s.name; }

// The golden values follow the CMYK formulas.
class ConversionTable : public FormulaCMYKTest, public ::testing::WithParamInterface<TStorage> {
 protected:
  void SetUp() override {
    FormulaCMYKTest::SetUp();
    IEMemoryThresholdOverride = GetParam().threshold;
  }

  // The source picture of one format, with an alpha channel that the
  // conversion must carry over.
  void MakeSource(TIEPixelFormat f, TIEBitmap& b) {
    const TConvSource* s = nullptr;
    for (const auto& c : kConvSources)
      if (c.Format == f) s = &c;
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(b.Allocate(7, 3, f));
    if (GetParam().alignment != 32) {
      // Alignment is re-laid only in memory: relocate there first.
      b.SetLocation(ieMemory);
      b.SetRowAlignment(GetParam().alignment);
      ASSERT_TRUE(b.Allocate(7, 3, f));
      ASSERT_EQ(b.RowAlignment(), GetParam().alignment);
    }
    SetPackedRows(b, FromHex(s->Pixels));
    if (*s->Palette) {
      auto pal = FromHex(s->Palette);
      ASSERT_EQ(pal.size(), 768u);
      std::memcpy(b.GetPaletteBuffer(), pal.data(), 768);
    }
    TIEBitmap* a = b.GetAlphaChannel();
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 7; ++x) Px(*a, x, y) = Byte(x * 30 + y);
    a->SetFull(false);
  }

  void ExpectConverted(TIEBitmap& d, const TConvGolden& g) {
    EXPECT_EQ(d.PixelFormat(), g.Dst);
    EXPECT_EQ(PackedRows(d), FromHex(g.Pixels));
    if (*g.Palette) {
      EXPECT_EQ(PaletteBytes(d), FromHex(g.Palette));
    }
  }
};

TEST_P(ConversionTable, CopyAndConvertFormatMatchesGoldenAndLeavesSourceAlone) {
  int checked = 0;
  for (const TConvGolden& g : kConvGolden) {
    std::ostringstream what;
    what << Name(g.Src) << " -> " << Name(g.Dst) << " (BlackWhiteMethod " << int(g.Method) << ")";
    SCOPED_TRACE(what.str());
    TIEBitmap src;
    MakeSource(g.Src, src);
    const TPictureSnapshot before = Snapshot(src);

    TIEBitmap dst;
    dst.SetBlackWhiteMethod(g.Method);
    ASSERT_TRUE(dst.Allocate(7, 3, g.Dst));
    // Stale contents must not survive: equal formats copy too.
    for (Integer y = 0; y < 3; ++y) std::memset(dst.GetScanline(y), 0xA5, size_t(dst.RowLen()));
    dst.CopyAndConvertFormat(&src);
    ExpectConverted(dst, g);
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(Snapshot(*dst.GetAlphaChannel()).Rows, Snapshot(*src.GetAlphaChannel()).Rows);

    EXPECT_TRUE(Snapshot(src) == before) << "the source changed";
    ++checked;
  }
  // 100 ordered pairs, plus the second BlackWhiteMethod for the nine
  // conversions to ie1g.
  EXPECT_EQ(checked, 109);
}

TEST_P(ConversionTable, ConvertToPixelFormatGivesTheSamePixelsAndKeepsAlpha) {
  for (const TConvGolden& g : kConvGolden) {
    if (g.Src == g.Dst) continue;
    std::ostringstream what;
    what << Name(g.Src) << " -> " << Name(g.Dst) << " (BlackWhiteMethod " << int(g.Method) << ")";
    SCOPED_TRACE(what.str());
    TIEBitmap b;
    MakeSource(g.Src, b);
    const std::vector<Byte> alpha = Snapshot(b).Alpha;
    b.SetBlackWhiteMethod(g.Method);
    ASSERT_TRUE(b.ConvertToPixelFormat(g.Dst));
    ExpectConverted(b, g);
    EXPECT_EQ(b.Width(), 7);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.BitCount(), IEPixelFormatBitCount(g.Dst));
    EXPECT_EQ(b.RowLen(), IEBitmapRowLen(7, IEPixelFormatBitCount(g.Dst), b.RowAlignment()));
    ASSERT_TRUE(b.HasAlphaChannel());
    EXPECT_EQ(Snapshot(b).Alpha, alpha);
  }
}

INSTANTIATE_TEST_SUITE_P(Storage, ConversionTable,
                         ::testing::Values(TStorage{"Memory", std::numeric_limits<int64_t>::max(), 32},
                                           TStorage{"File", 0, 32},
                                           TStorage{"MemoryByteAligned", std::numeric_limits<int64_t>::max(), 8}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

}  // namespace test_conversion_table_tests
