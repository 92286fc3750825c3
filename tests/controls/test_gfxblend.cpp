// Pixel blending, colour algebra, block averaging and interpolation, checked
// against Pillow's channel operations and against numpy formulas of the
// blending rules, plus the cases where the shortcuts and rounding matter.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "controls/gfxblend.h"
#include "tests/support/lcg.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace gfxblend_tests {
namespace {

using gt_test::Lcg;
using gt_test::TempDir;

// Debian's interpreter, which has numpy and Pillow (a user's own one may not).
const std::string Python = "/usr/bin/python3";

constexpr int Side = 64;
constexpr int Pixels = Side * Side;

bool WriteFile(const std::string& Path, const void* Data, size_t Size) {
  FILE* F = std::fopen(Path.c_str(), "wb");
  if (!F) return false;
  const bool Ok = std::fwrite(Data, 1, Size, F) == Size;
  return std::fclose(F) == 0 && Ok;
}

std::vector<TColor32> ReadColors(const std::string& Path) {
  std::vector<TColor32> V;
  FILE* F = std::fopen(Path.c_str(), "rb");
  if (!F) return V;
  TColor32 C;
  while (std::fread(&C, sizeof C, 1, F) == 1) V.push_back(C);
  std::fclose(F);
  return V;
}

// Random colours whose alphas and weights hit 0 and 255 often, since the
// shortcuts live there.
struct TInputs {
  std::vector<TColor32> X, Y;
  std::vector<Byte> W, M;
  explicit TInputs(uint32_t Seed) : X(Pixels), Y(Pixels), W(Pixels), M(Pixels) {
    Lcg R(Seed);
    auto Edge = [&R](uint32_t V) -> uint32_t {
      switch (R.Next() % 6) {
        case 0: return 0;
        case 1: return 255;
        default: return V & 0xFF;
      }
    };
    for (int I = 0; I < Pixels; ++I) {
      X[I] = (R.Next() & 0xFFFFFF) | (Edge(R.Next()) << 24);
      Y[I] = (R.Next() & 0xFFFFFF) | (Edge(R.Next()) << 24);
      W[I] = static_cast<Byte>(Edge(R.Next()));
      M[I] = static_cast<Byte>(Edge(R.Next()));
    }
  }
  bool Save(const TempDir& D) const {
    return WriteFile(D.File("x"), X.data(), X.size() * 4) && WriteFile(D.File("y"), Y.data(), Y.size() * 4) &&
           WriteFile(D.File("w"), W.data(), W.size()) && WriteFile(D.File("m"), M.data(), M.size());
  }
};

void ExpectSame(const std::string& Name, const std::vector<TColor32>& Ours, const std::vector<TColor32>& Theirs,
                const TInputs& In) {
  ASSERT_EQ(Ours.size(), Theirs.size()) << Name;
  int Wrong = 0;
  for (size_t I = 0; I < Ours.size() && Wrong < 5; ++I)
    if (Ours[I] != Theirs[I]) {
      ++Wrong;
      ADD_FAILURE() << Name << " pixel " << I << std::hex << ": X " << In.X[I] << " Y " << In.Y[I] << " W "
                    << int(In.W[I]) << " M " << int(In.M[I]) << " ours " << Ours[I] << " expected " << Theirs[I];
    }
}

// The channel operations Pillow has; the colours are handed over as four
// independent 8-bit bands.
const char* const PillowScript = R"(
import sys
from PIL import Image, ImageChops
d = sys.argv[1]
a = Image.frombytes('RGBA', (64, 64), open(d + '/x', 'rb').read())
b = Image.frombytes('RGBA', (64, 64), open(d + '/y', 'rb').read())
for name, op in (('add', ImageChops.add), ('subtract', ImageChops.subtract), ('lighter', ImageChops.lighter),
                 ('darker', ImageChops.darker), ('difference', ImageChops.difference)):
    open(d + '/' + name, 'wb').write(op(a, b).tobytes())
)";

TEST(GfxBlendAlgebra, EqualsPillowChannelOperations) {
  ASSERT_TRUE(gt_test::HaveTool(Python));
  TempDir D("gfxchops");
  ASSERT_TRUE(D.Ok());
  const TInputs In(11);
  ASSERT_TRUE(In.Save(D));
  ASSERT_TRUE(WriteFile(D.File("chops.py"), PillowScript, std::string(PillowScript).size()));
  ASSERT_EQ(gt_test::Shell(Python + " '" + D.File("chops.py") + "' '" + D.Path + "'"), 0);
  const struct {
    const char* File;
    TColorAlgebraProc Op;
  } Cases[] = {{"add", AddColors},
               {"subtract", SubtractColors},
               {"lighter", MaxColors},
               {"darker", MinColors},
               {"difference", DifferenceColors}};
  for (const auto& C : Cases) {
    std::vector<TColor32> Ours(Pixels);
    for (int I = 0; I < Pixels; ++I) Ours[I] = C.Op(In.X[I], In.Y[I]);
    ExpectSame(C.File, Ours, ReadColors(D.File(C.File)), In);
  }
}

// The blending rules as formulas over whole arrays, written from the rules
// themselves: shortcuts first, then the per-channel arithmetic.
const char* const NumpyScript = R"(
import sys
import numpy as np
d = sys.argv[1]
X = np.fromfile(d + '/x', '<u4').astype(np.int64)
Y = np.fromfile(d + '/y', '<u4').astype(np.int64)
W = np.fromfile(d + '/w', 'u1').astype(np.int64)
M = np.fromfile(d + '/m', 'u1').astype(np.int64)
MR = np.repeat(M[::64], 64)   # one master alpha per row of 64
def ch(c, k): return (c >> (8 * k)) & 255
def pack(chs):
    r = np.zeros_like(X)
    for k, c in enumerate(chs): r |= (np.asarray(c, np.int64) & 255) << (8 * k)
    return r
def scale(c, w): return (c * w + 128) >> 8
def mix(x, y, w): return pack([scale(ch(x, k), w) + scale(ch(y, k), 255 - w) for k in range(4)])
def blend_w(f, b, w): return np.where(w == 0, b, np.where(w == 255, f, mix(f, b, w)))
def merge(f, b):
    fa = f >> 24; ba = b >> 24
    ra = fa + ba - (ba * fa) // 255
    q = 65536 // np.maximum(ra, 1)
    chs = []
    for k in range(3):
        bp = (ba * ch(b, k)) >> 8
        chs.append(((q * (bp + ((fa * (ch(f, k) - bp)) >> 8))) >> 8) & 255)
    chs.append(ra)
    return np.where(fa == 255, f, np.where(fa == 0, b, np.where(ba == 0, f, pack(chs))))
def merge_scaled(f, b, m):
    fa = f >> 24
    fa2 = (m * fa) // 255
    f2 = (f & 0xFFFFFF) | (fa2 << 24)
    r = np.where((fa2 == 255) | ((b >> 24) == 0), f2, merge(f2, b))
    r = np.where(fa == 0, b, r)
    r = np.where((fa == 255) & (m == 0), b, r)
    return np.where((fa == 255) & (m == 255), f, r)
def per_channel(fn): return pack([np.clip(fn(ch(X, k), ch(Y, k)), 0, 255) for k in range(4)])
fa = X >> 24
out = {
    'combine': blend_w(X, Y, W),
    'blend': blend_w(X, Y, fa),
    'blend_scaled': np.where(fa == 0, Y, blend_w(X, Y, (fa * (M + 1)) >> 8)),
    'blend_row_scaled': np.where(fa == 0, Y, blend_w(X, Y, (fa * (MR + 1)) >> 8)),
    'merge': merge(X, Y),
    'merge_weight': merge((X & 0xFFFFFF) | (W << 24), Y),
    'merge_scaled': merge_scaled(X, Y, M),
    'merge_row_scaled': merge_scaled(X, Y, MR),
    'modulate': per_channel(lambda a, b: (a * b) >> 8),
    'divide': per_channel(lambda a, b: np.where(a == 0, 255, np.minimum(255, (b * 256) // np.maximum(a, 1)))),
    'exclusion': per_channel(lambda a, b: a + b - (a * b) // 128),
}
for name, v in out.items(): v.astype('<u4').tofile(d + '/' + name)
)";

TEST(GfxBlendRules, EqualNumpyFormulasInEveryForm) {
  ASSERT_TRUE(gt_test::HaveTool(Python));
  TempDir D("gfxblend");
  ASSERT_TRUE(D.Ok());
  const TInputs In(29);
  ASSERT_TRUE(In.Save(D));
  ASSERT_TRUE(WriteFile(D.File("rules.py"), NumpyScript, std::string(NumpyScript).size()));
  ASSERT_EQ(gt_test::Shell(Python + " '" + D.File("rules.py") + "' '" + D.Path + "'"), 0);
  const auto Expected = [&D](const char* Name) { return ReadColors(D.File(Name)); };

  // Colour forms, in-place forms and the draw-mode table, pixel by pixel.
  using TPixelOp = TColor32 (*)(const TInputs&, int);
  const struct {
    const char* Name;
    const char* File;
    TPixelOp Op;
  } Cases[] = {
      {"CombineColor", "combine", [](const TInputs& In, int I) { return CombineColor(In.X[I], In.Y[I], In.W[I]); }},
      {"CombineInto", "combine",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         CombineInto(In.X[I], Y, In.W[I]);
         return Y;
       }},
      {"BlendColor", "blend", [](const TInputs& In, int I) { return BlendColor(In.X[I], In.Y[I]); }},
      {"BlendInto", "blend",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         BlendInto(In.X[I], Y);
         return Y;
       }},
      {"BlendColorScaled", "blend_scaled",
       [](const TInputs& In, int I) { return BlendColorScaled(In.X[I], In.Y[I], In.M[I]); }},
      {"BlendIntoScaled", "blend_scaled",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         BlendIntoScaled(In.X[I], Y, In.M[I]);
         return Y;
       }},
      {"MergeColor", "merge", [](const TInputs& In, int I) { return MergeColor(In.X[I], In.Y[I]); }},
      {"MergeInto", "merge",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         MergeInto(In.X[I], Y);
         return Y;
       }},
      {"MergeWithWeight", "merge_weight",
       [](const TInputs& In, int I) { return MergeWithWeight(In.X[I], In.Y[I], In.W[I]); }},
      {"MergeIntoWithWeight", "merge_weight",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         MergeIntoWithWeight(In.X[I], Y, In.W[I]);
         return Y;
       }},
      {"MergeColorScaled", "merge_scaled",
       [](const TInputs& In, int I) { return MergeColorScaled(In.X[I], In.Y[I], In.M[I]); }},
      {"MergeIntoScaled", "merge_scaled",
       [](const TInputs& In, int I) {
         TColor32 Y = In.Y[I];
         MergeIntoScaled(In.X[I], Y, In.M[I]);
         return Y;
       }},
      {"ModulateColors", "modulate", [](const TInputs& In, int I) { return ModulateColors(In.X[I], In.Y[I]); }},
      {"DivideColors", "divide", [](const TInputs& In, int I) { return DivideColors(In.X[I], In.Y[I]); }},
      {"ExclusionColors", "exclusion", [](const TInputs& In, int I) { return ExclusionColors(In.X[I], In.Y[I]); }},
      {"merge mode, combine", "merge_weight",
       [](const TInputs& In, int I) { return BlendOpsByMode[dmMerge].Combine(In.X[I], In.Y[I], In.W[I]); }},
      {"blend mode, scaled", "blend_scaled",
       [](const TInputs& In, int I) { return BlendOpsByMode[dmBlend].ColorScaled(In.X[I], In.Y[I], In.M[I]); }},
      {"merge mode, colour", "merge",
       [](const TInputs& In, int I) { return BlendOpsByMode[dmMerge].Color(In.X[I], In.Y[I]); }},
  };
  for (const auto& C : Cases) {
    std::vector<TColor32> Ours(Pixels);
    for (int I = 0; I < Pixels; ++I) Ours[I] = C.Op(In, I);
    ExpectSame(C.Name, Ours, Expected(C.File), In);
  }

  // Row forms, one row of 64 at a time, the scaled ones with the row's master alpha.
  const struct {
    const char* Name;
    const char* File;
    TBlendRowProc Row;
    TBlendRowScaledProc RowScaled;
  } Rows[] = {{"BlendRow", "blend", BlendRow, nullptr},
              {"MergeRow", "merge", MergeRow, nullptr},
              {"BlendRowScaled", "blend_row_scaled", nullptr, BlendRowScaled},
              {"MergeRowScaled", "merge_row_scaled", nullptr, MergeRowScaled},
              {"merge mode, row", "merge", BlendOpsByMode[dmMerge].Row, nullptr},
              {"blend mode, scaled row", "blend_row_scaled", nullptr, BlendOpsByMode[dmBlend].RowScaled}};
  for (const auto& R : Rows) {
    std::vector<TColor32> Dst = In.Y;
    for (int Y = 0; Y < Side; ++Y) {
      if (R.Row) R.Row(In.X.data() + Y * Side, Dst.data() + Y * Side, Side);
      else R.RowScaled(In.X.data() + Y * Side, Dst.data() + Y * Side, Side, In.M[Y * Side]);
    }
    ExpectSame(R.Name, Dst, Expected(R.File), In);
  }
}

TEST(GfxBlendRules, ShortcutsKeepTheirColoursWhole) {
  // Alpha 0 leaves the background as it is, whatever its own alpha.
  EXPECT_EQ(BlendColor(0x00FFFFFFu, 0x12345678u), 0x12345678u);
  EXPECT_EQ(BlendColorScaled(0x00FFFFFFu, 0x12345678u, 255), 0x12345678u);
  // Full weight stores X exactly, alpha included (a plain mix would give 254 for 255).
  TColor32 Y = 0x00000000u;
  CombineInto(0xFFFFFFFFu, Y, 255);
  EXPECT_EQ(Y, 0xFFFFFFFFu);
  EXPECT_EQ(BlendColorScaled(0xFFFFFFFFu, 0, 255), 0xFFFFFFFFu);
  // A master alpha small enough to give weight 0 keeps the background.
  EXPECT_EQ(BlendColorScaled(0x80FFFFFFu, 0xFF000000u, 0), 0xFF000000u);
  // Over a fully transparent background the foreground comes back unchanged.
  EXPECT_EQ(MergeColor(0x80123456u, 0x00FFFFFFu), 0x80123456u);
  EXPECT_EQ(MergeColorScaled(0xFF123456u, 0x40FFFFFFu, 0), 0x40FFFFFFu);
  // A zero channel of A divides to 255 in that channel only.
  EXPECT_EQ(DivideColors(0x00808080u, 0x10404040u), 0xFF808080u);
}

TEST(GfxBlendRows, EmptyCountsLeaveTheDestination) {
  const TColor32 Src[2] = {0xFF112233u, 0x80445566u};
  for (Integer Count : {0, -1, -100}) {
    TColor32 Dst[2] = {0xA0A0A0A0u, 0x0B0B0B0Bu};
    BlendRow(Src, Dst, Count);
    MergeRow(Src, Dst, Count);
    BlendRowScaled(Src, Dst, Count, 200);
    MergeRowScaled(Src, Dst, Count, 200);
    EXPECT_EQ(Dst[0], 0xA0A0A0A0u) << Count;
    EXPECT_EQ(Dst[1], 0x0B0B0B0Bu) << Count;
  }
}

TEST(GfxBlendSampling, AverageBlockRoundsAndNeverOverflows) {
  // Uniform blocks of 1 to 9 pixels give their colour back exactly (a
  // reciprocal of the count rounded each white block of 3 down to 254).
  const TColor32 Colors[] = {0xFFFFFFFFu, 0x01010101u, 0x80FF7F00u, 0xFE0102FDu};
  for (TColor32 C : Colors)
    for (Integer Count = 1; Count <= 9; ++Count)
      for (Integer Rows = 1; Rows <= 9; ++Rows) {
        if (Count * Rows > 9) continue;
        // Rows 16 bytes apart with stray bytes between them that must not count.
        if (Count <= 4) {
          std::vector<TColor32> Block(static_cast<size_t>(Rows) * 4 + 4, 0x5A5A5A5Au);
          for (Integer R = 0; R < Rows; ++R)
            for (Integer X = 0; X < Count; ++X) Block[R * 4 + X] = C;
          EXPECT_EQ(AverageBlock(Count, Rows, Block.data(), 16), C) << Count << " x " << Rows;
        } else {
          std::vector<TColor32> Wide(static_cast<size_t>(Count) * Rows, C);
          EXPECT_EQ(AverageBlock(Count, Rows, Wide.data(), Count * 4), C) << Count << " x " << Rows;
        }
      }
  // Means round half up.
  const TColor32 Pair[2] = {0x00000000u, 0xFFFFFF01u};
  EXPECT_EQ(AverageBlock(2, 1, Pair, 8), 0x80808001u);
  const TColor32 Thirds[3] = {0x00000000u, 0x00000000u, 0x02020202u};
  EXPECT_EQ(AverageBlock(3, 1, Thirds, 12), 0x01010101u);
  // 5000 x 4000 pixels (the same row read 4000 times) keep their colour.
  const std::vector<TColor32> Row(5000, 0xFFFFFFFFu);
  EXPECT_EQ(AverageBlock(5000, 4000, Row.data(), 0), 0xFFFFFFFFu);
  // Empty blocks answer 0 without dividing.
  for (auto [Count, Rows] : {std::pair{0, 1}, {1, 0}, {-3, 2}, {2, -1}})
    EXPECT_EQ(AverageBlock(Count, Rows, Row.data(), 0), 0u) << Count << " x " << Rows;
}

TEST(GfxBlendSampling, InterpolationWeighsTheFourCorners) {
  const TColor32 Top[2] = {0x11111111u, 0x22222222u};
  const TColor32 Bottom[2] = {0x33333333u, 0x44444444u};
  const struct {
    Cardinal WX, WY;
    TColor32 Bytes;  // InterpolateBytes(WX, WY); InterpolateFixed gets them shifted by 16
  } Cases[] = {
      {0, 0, 0x44444444u},      // the second pixel of the bottom pair
      {255, 0, 0x33333333u},    // the first of the bottom pair
      {0, 255, 0x22222222u},
      {255, 255, 0x11111111u},
      {4000, 300, 0x11111111u},  // weights above 255 count as 255
  };
  for (const auto& C : Cases) {
    EXPECT_EQ(InterpolateBytes(C.WX, C.WY, Top, Bottom), C.Bytes) << C.WX << "," << C.WY;
    EXPECT_EQ(InterpolateFixed(C.WX << 16 | 0xFFFF, C.WY << 16, Top, Bottom), C.Bytes) << C.WX << "," << C.WY;
  }
  // Halfway between black and white: 0 * 128 and 255 * 127 scaled with rounding.
  const TColor32 Black[2] = {0, 0xFFFFFFFFu};
  EXPECT_EQ(InterpolateBytes(128, 255, Black, Black), 0x7F7F7F7Fu);
}

TEST(GfxBlendTables, GammaAndColourBytes) {
  ASSERT_TRUE(gt_test::HaveTool(Python));
  const std::string Table = gt_test::Capture(
      Python + " -c \"import numpy as np, sys; "
      "sys.stdout.buffer.write(np.round((np.arange(256)/255)**0.7*255).astype('u1').tobytes())\"");
  ASSERT_EQ(Table.size(), 256u);
  for (int I = 0; I < 256; ++I) EXPECT_EQ(GammaTable[I], static_cast<Byte>(Table[I])) << I;
  EXPECT_EQ(GammaTable[0], 0);
  EXPECT_EQ(GammaTable[255], 255);
  SetGamma(1.0);
  for (int I = 0; I < 256; ++I) EXPECT_EQ(GammaTable[I], I);
  SetGamma(0.7);
  EXPECT_EQ(ColorByte0(0x12345678u), 0x78);
  EXPECT_EQ(ColorByte1(0x12345678u), 0x56);
  EXPECT_EQ(ColorByte2(0x12345678u), 0x34);
}

}  // namespace
}  // namespace gfxblend_tests
