// The transition effects frame by frame: every effect starts on the start
// picture and ends on the end picture, and the built-in and block-transfer
// effects put the pixels where their geometry says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "imaging/proc/ietrans_procs.h"
#include "imaging/proc/ietrans_region.h"
#include "imaging/view/ietransitions.h"
#include "imaging/view/ziduzuvview.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/gdi.h"
#include "tests/support/lcg.h"

namespace test_trans_effects_tests {

namespace trans_effect_tests {
namespace {

using Pixels = std::vector<Byte>;

// The pixel bytes of a 24-bit bitmap, top row first, padding left out.
Pixels Bytes(TBitmap* B) {
  Pixels v;
  const size_t n = static_cast<size_t>(B->Width()) * 3;
  for (Integer y = 0; y < B->Height(); ++y) {
    const auto* r = static_cast<const Byte*>(B->ScanLine(y));
    v.insert(v.end(), r, r + n);
  }
  return v;
}

void FillNoise(TBitmap* B, uint32_t Seed) {
  gt_test::Lcg g(Seed);
  for (Integer y = 0; y < B->Height(); ++y) {
    auto* r = static_cast<Byte*>(B->ScanLine(y));
    for (Integer i = 0; i < B->Width() * 3; ++i) r[i] = static_cast<Byte>(g.Next());
  }
}

void FillSolid(TBitmap* B, Byte Value) {
  for (Integer y = 0; y < B->Height(); ++y) std::memset(B->ScanLine(y), Value, static_cast<size_t>(B->Width()) * 3);
}

// An engine with W x H noise pictures, running Type (driven by hand: the
// timer never fires without an event loop, and the clock stands still).
struct Engine {
  TIETransitionEffects E{nullptr};
  Engine(Integer Type, Integer W, Integer H, uint32_t Seed = 1) {
    E.SetTickSource([] { return Cardinal(0); });
    E.SetSizes(W, H);
    FillNoise(E.FromBitmap(), Seed);
    FillNoise(E.ToBitmap(), Seed + 100);
    E.SetTransitionType(static_cast<TIETransitionType>(Type));
    E.SetDuration(1000);
    E.Run(false);
  }
  Byte Frame(Integer X, Integer Y, Integer Channel) {
    return static_cast<const Byte*>(E.FrameBitmap()->ScanLine(Y))[X * 3 + Channel];
  }
};

// Shapes are drawn from halves of the frame (W div 2) and rasterised at
// pixel centres, so on odd frames their last state may leave a pixel row
// or column at an edge or the centre to the engine's final copy.
bool IsShape(Integer Type) {
  return (Type >= 77 && Type <= 84) || (Type >= 114 && Type <= 118) || (Type >= 133 && Type <= 146) ||
         (Type >= 169 && Type <= 184);
}

// Fade out ends on the background, fade in starts from it.
bool StartsOnStart(Integer Type) { return Type != iettFadeIn; }
bool EndsOnEnd(Integer Type, Integer W, Integer H) {
  return Type != iettFadeOut && (!IsShape(Type) || (W % 2 == 0 && H % 2 == 0));
}

// "same" or how many pixels differ and where the first is: short messages
// for frames of thousands of bytes.
std::string Diff(const Pixels& A, const Pixels& B, Integer W) {
  if (A.size() != B.size()) return "sizes differ";
  size_t n = 0, first = 0;
  for (size_t i = 0; i < A.size(); i += 3)
    if (A[i] != B[i] || A[i + 1] != B[i + 1] || A[i + 2] != B[i + 2]) {
      if (n++ == 0) first = i / 3;
      }
  if (n == 0) return "same";
  return std::to_string(n) + " pixels differ, first at " + std::to_string(first % size_t(W)) + "," +
         std::to_string(first / size_t(W));
}

// The end picture, but for the edge line the second page flip leaves in
// the first column when the page is fully open.
void ExpectEndPicture(Integer Type, Pixels Frame, const Pixels& To, Integer W, Integer H) {
  if (!EndsOnEnd(Type, W, H)) return;
  if (Type == iettPageFlipEffect2) {
    const Pixels line{0, 0, 0};
    for (Integer k = 0; k < H; ++k) {
      const size_t at = size_t(k) * W * 3;
      EXPECT_EQ((Pixels{Frame[at], Frame[at + 1], Frame[at + 2]}), line) << k;
      std::memcpy(&Frame[at], &To[at], 3);
    }
  }
  EXPECT_EQ(Diff(Frame, To, W), "same");
}

TEST(TransitionEffects, EveryEffectStartsOnTheStartPictureAndEndsOnTheEndPicture) {
  // Odd and even sizes: halves, quarters and pages of odd frames must cover
  // the last column and row too.
  const std::pair<Integer, Integer> sizes[] = {{40, 30}, {37, 23}, {23, 37}};
  for (auto [w, h] : sizes)
    for (Integer type = 1; type <= kIETransitionTableCount; ++type) {
      SCOPED_TRACE(testing::Message() << "type " << type << " at " << w << "x" << h);
      Engine t(type, w, h);
      ASSERT_TRUE(t.E.Running());
      const Pixels from = Bytes(t.E.FromBitmap()), to = Bytes(t.E.ToBitmap());
      FillSolid(t.E.FrameBitmap(), 0x5A);  // whatever the view showed before
      t.E.DrawStep(0);
      if (StartsOnStart(type)) {
        EXPECT_EQ(Diff(Bytes(t.E.FrameBitmap()), from, w), "same");
      }
      for (Integer s : {5, 300, 700, 1023, 1024}) t.E.DrawStep(s);
      Pixels frame = Bytes(t.E.FrameBitmap());
      if (type == iettRandomPoints || type == iettRandomBoxes || type == iettSweepClockwise ||
          type == iettSweepCounterClockwise) {
        // Random picks leave holes, and the sweeps' fan stops one step
        // short, for the end of the run to fill; most of the frame is
        // covered by now.
        size_t same = 0;
        for (size_t i = 0; i < frame.size(); ++i) same += frame[i] == to[i];
        EXPECT_GT(same, frame.size() * 3 / 4);
        continue;
      }
      ExpectEndPicture(type, frame, to, w, h);
    }
}

// Tiny frames and every step: nothing may reach outside the frames (the
// sanitizer build checks), and the frame stays the frame's size. The block
// copies still end on the end picture; the region effects' grids and
// bands are sized in tenths and twentieths of the frame and may draw
// nothing this small.
TEST(TransitionEffects, TinyFramesDrawEveryStepInsideTheFrame) {
  for (auto [w, h] : {std::pair{2, 2}, {3, 2}, {2, 5}, {7, 7}})
    for (Integer type = 1; type <= kIETransitionTableCount; ++type) {
      SCOPED_TRACE(testing::Message() << "type " << type << " at " << w << "x" << h);
      Engine t(type, w, h);
      for (Integer s = 0; s <= 1024; s += 31) t.E.DrawStep(s);
      t.E.DrawStep(1024);
      EXPECT_EQ(t.E.FrameBitmap()->Width(), w);
      const bool blocks = type <= 76 || (type >= 151 && type <= 158) || type >= 186;
      if (blocks && type != iettRandomPoints && type != iettRandomBoxes)
        ExpectEndPicture(type, Bytes(t.E.FrameBitmap()), Bytes(t.E.ToBitmap()), w, h);
    }
}

TEST(TransitionEffects, BlendsWeighStartAndEndByTheStep) {
  TZiduzUvView view(nullptr);
  view.SetBackground(TColor(0x204060));  // blue 0x20, green 0x40, red 0x60
  TIETransitionEffects e(&view);
  e.SetSizes(4, 3);
  FillSolid(e.FromBitmap(), 200);
  FillSolid(e.ToBitmap(), 100);
  struct Case {
    TIETransitionType Type;
    Integer Step;
    Pixels Pixel;  // B, G, R of every pixel
  } cases[] = {
      {iettCrossDissolve, 512, {150, 150, 150}},
      {iettCrossDissolve, 256, {175, 175, 175}},
      {iettFadeOut, 512, {(0x20 * 512 + 200 * 512) >> 10, (0x40 * 512 + 200 * 512) >> 10, (0x60 * 512 + 200 * 512) >> 10}},
      {iettFadeIn, 256, {(0x20 * 768 + 100 * 256) >> 10, (0x40 * 768 + 100 * 256) >> 10, (0x60 * 768 + 100 * 256) >> 10}},
      // Out, then in: at 511 the background nearly covers the start picture
      // (1022 of 1024); at 512 the fade in starts from the background.
      {iettFadeOutIn, 511, {(0x20 * 1022 + 200 * 2) >> 10, (0x40 * 1022 + 200 * 2) >> 10, (0x60 * 1022 + 200 * 2) >> 10}},
      {iettFadeOutIn, 512, {0x20, 0x40, 0x60}},
      {iettFadeOutIn, 768, {(0x20 * 512 + 100 * 512) >> 10, (0x40 * 512 + 100 * 512) >> 10, (0x60 * 512 + 100 * 512) >> 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Type) << " at " << c.Step);
    e.SetTransitionType(c.Type);
    e.Run(false);
    e.DrawStep(c.Step);
    const Pixels f = Bytes(e.FrameBitmap());
    for (size_t i = 0; i < f.size(); i += 3) ASSERT_EQ((Pixels{f[i], f[i + 1], f[i + 2]}), c.Pixel) << i / 3;
  }
  e.Stop();
}

// A picture whose pixels name their own position (column in blue, row in
// green, which picture in red), so a frame shows where each pixel came from.
void FillPositions(TBitmap* B, Byte Which) {
  for (Integer y = 0; y < B->Height(); ++y) {
    auto* r = static_cast<Byte*>(B->ScanLine(y));
    for (Integer x = 0; x < B->Width(); ++x, r += 3) {
      r[0] = static_cast<Byte>(x);
      r[1] = static_cast<Byte>(y);
      r[2] = Which;
    }
  }
}

// Pixel (X, Y) of the frame as (picture, column, row); picture 1 = start,
// 2 = end.
std::vector<Integer> Origin(TBitmap* B, Integer X, Integer Y) {
  const auto* p = static_cast<const Byte*>(B->ScanLine(Y)) + X * 3;
  return {p[2], p[0], p[1]};
}

TEST(TransitionEffects, PushesAndSlidesTakeTheirRowsAndColumnsFromBothPictures) {
  const Integer W = 40, H = 30, S = 256;  // a quarter of the way
  const Integer cw = S * W >> 10, ch = S * H >> 10;  // 10 columns, 7 rows
  struct Case {
    TIETransitionType Type;
    Integer X, Y;
    std::vector<Integer> From;
  } cases[] = {
      // Push: the end picture's last columns enter on the left.
      {iettMoveLeftRight1, 0, 5, {2, W - cw, 5}},
      {iettMoveLeftRight1, cw, 5, {1, 0, 5}},
      {iettMoveLeftRight1, W - 1, 5, {1, W - 1 - cw, 5}},
      // Slide out: the end picture stays in place, the start one moves.
      {iettMoveLeftRight2, cw - 1, 5, {2, cw - 1, 5}},
      {iettMoveLeftRight2, cw, 5, {1, 0, 5}},
      // Right to left: c = 768 x 40 >> 10 = 30 columns of the start picture.
      {iettMoveRightLeft1, 0, 3, {1, W - 30, 3}},
      {iettMoveRightLeft1, 30, 3, {2, 0, 3}},
      {iettMoveRightLeft2, 29, 3, {1, 29, 3}},
      {iettMoveRightLeft2, 30, 3, {2, 0, 3}},
      {iettMoveUpDown1, 4, 0, {2, 4, H - ch}},
      {iettMoveUpDown1, 4, ch, {1, 4, 0}},
      {iettMoveUpDown2, 4, ch - 1, {2, 4, ch - 1}},
      {iettMoveUpDown2, 4, H - 1, {1, 4, H - 1 - ch}},
      // c = 768 x 30 >> 10 = 22 rows of the start picture's bottom first.
      {iettMoveDownUp1, 4, 0, {1, 4, H - 22}},
      {iettMoveDownUp1, 4, 22, {2, 4, 0}},
      {iettMoveDownUp2, 4, 21, {1, 4, H - 1}},
      {iettMoveDownUp2, 4, 22, {2, 4, 22}},
      // Slides: the whole end picture at ((1024 - s) x W >> 10, ...) = 30, 22.
      {iettFromUpLeft, 0, 0, {2, 30, 22}},
      {iettFromUpLeft, 10, 8, {1, 10, 8}},
      {iettFromBottomRight, 30, 22, {2, 0, 0}},
      {iettFromBottomRight, 29, 22, {1, 29, 22}},
      // Wipes: left to right covers (s x W) >> 10 columns, the red line next.
      {iettLeftRight1, cw - 1, 0, {2, cw - 1, 0}},
      {iettLeftRight1, cw, 0, {1, cw, 0}},
      {iettRightLeft1, 30, 9, {2, 30, 9}},
      {iettRightLeft1, 29, 9, {1, 29, 9}},
      {iettUpDown1, 3, 7, {2, 3, 7}},  // Round(256 x 30 / 1024) = 8 rows (7.5 to even)
      {iettUpDown1, 3, 8, {1, 3, 8}},
      {iettDownUp1, 3, 22, {2, 3, 22}},  // Round(768 x 30 / 1024) = 22
      {iettDownUp1, 3, 21, {1, 3, 21}},
      // The centre wipe: from (20 - 5, 15 - 3), 10 x 7.
      {iettCenter1, 15, 12, {2, 15, 12}},
      {iettCenter1, 24, 18, {2, 24, 18}},
      {iettCenter1, 25, 18, {1, 25, 18}},
      {iettCenter1, 14, 12, {1, 14, 12}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << int(c.Type) << " at " << c.X << "," << c.Y);
    TIETransitionEffects e(nullptr);
    e.SetSizes(W, H);
    FillPositions(e.FromBitmap(), 1);
    FillPositions(e.ToBitmap(), 2);
    e.SetTransitionType(c.Type);
    e.Run(false);
    e.DrawStep(0);
    e.DrawStep(S);
    EXPECT_EQ(Origin(e.FrameBitmap(), c.X, c.Y), c.From);
  }
}

TEST(TransitionEffects, WipesWithAnEdgeDrawItInRedJustPastTheWipe) {
  TIETransitionEffects e(nullptr);
  e.SetSizes(40, 30);
  FillSolid(e.FromBitmap(), 10);
  FillSolid(e.ToBitmap(), 20);
  e.SetTransitionType(iettLeftRight2);
  e.Run(false);
  e.DrawStep(0);
  e.DrawStep(256);
  for (Integer y = 0; y < 30; ++y) {
    EXPECT_EQ(Origin(e.FrameBitmap(), 10, y), (std::vector<Integer>{255, 0, 0})) << y;
    EXPECT_EQ(Origin(e.FrameBitmap(), 9, y), (std::vector<Integer>{20, 20, 20})) << y;
    EXPECT_EQ(Origin(e.FrameBitmap(), 11, y), (std::vector<Integer>{10, 10, 10})) << y;
  }
  e.SetTransitionType(iettUpDown2);
  e.Run(false);
  e.DrawStep(0);
  e.DrawStep(512);
  for (Integer x = 0; x < 40; ++x) EXPECT_EQ(Origin(e.FrameBitmap(), x, 15), (std::vector<Integer>{255, 0, 0})) << x;
}

// Wipe right to left on a 3-pixel frame at the half: x = Round(1.5) = 2
// and Round(1.5) = 2 columns, one past the edge: the copy is cut there.
TEST(TransitionEffects, RoundedExtentsPastTheEdgeAreCut) {
  TIETransitionEffects e(nullptr);
  e.SetSizes(3, 2);
  FillPositions(e.FromBitmap(), 1);
  FillPositions(e.ToBitmap(), 2);
  e.SetTransitionType(iettRightLeft1);
  e.Run(false);
  e.DrawStep(0);
  e.DrawStep(512);
  EXPECT_EQ(Origin(e.FrameBitmap(), 1, 1), (std::vector<Integer>{1, 1, 1}));
  EXPECT_EQ(Origin(e.FrameBitmap(), 2, 1), (std::vector<Integer>{2, 2, 1}));
}

TEST(TransitionEffects, RandomBoxesOnASmallFrameAllSitAtTheOrigin) {
  TIETransitionEffects e(nullptr);
  e.SetSizes(7, 7);
  FillSolid(e.FromBitmap(), 1);
  FillSolid(e.ToBitmap(), 2);
  e.SetTransitionType(iettRandomBoxes);
  e.Run(false);
  e.DrawStep(0);
  // total = Round(600 x (49 div 64 = 0) ...) = 0: no box at all.
  e.DrawStep(600);
  EXPECT_EQ(e.RandomDone(), 0);
  EXPECT_EQ(Bytes(e.FrameBitmap()), Bytes(e.FromBitmap()));
  // 8 x 8: one box per 64 pixels, and every box at (0, 0).
  e.SetSizes(8, 8);
  FillSolid(e.FromBitmap(), 1);
  FillSolid(e.ToBitmap(), 2);
  e.Run(false);
  e.DrawStep(0);
  e.DrawStep(1024);  // Round(1 x 5.69) = 6 boxes
  EXPECT_EQ(e.RandomDone(), 6);
  EXPECT_EQ(Bytes(e.FrameBitmap()), Bytes(e.ToBitmap()));
  e.SetSizes(16, 16);
  FillSolid(e.FromBitmap(), 1);
  FillSolid(e.ToBitmap(), 2);
  e.Run(false);
  e.DrawStep(0);
  e.DrawStep(1024);  // Round(1024 x 4 x 5.69 / 1024) = 23 boxes
  EXPECT_EQ(e.RandomDone(), 23);
  // On 16 x 16 boxes sit at (0, 0), (0, 8), (8, 0) or (8, 8) only.
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) {
      // A whole 8 x 8 cell is either the end picture or the start one.
      const Integer cellCorner = Origin(e.FrameBitmap(), x & ~7, y & ~7)[0];
      EXPECT_EQ(Origin(e.FrameBitmap(), x, y)[0], cellCorner) << x << "," << y;
    }
  // A new run counts its own picks.
  e.Run(false);
  EXPECT_EQ(e.RandomDone(), 0);
}

TEST(TransitionEffects, RandomPointsPickTheGrowingTotalRowByRow) {
  Engine t(iettRandomPoints, 50, 4);
  t.E.DrawStep(0);
  // Round(50 x 180 x (180 / 180) / 1024) = Round(8.79) = 9 picks per row.
  t.E.DrawStep(180);
  EXPECT_EQ(t.E.RandomDone(), 9);
  const Cardinal before = IERandSeed();
  t.E.DrawStep(360);  // Round(50 x 360 x 2 / 1024) = 35: 26 new picks a row
  EXPECT_EQ(t.E.RandomDone(), 35);
  Cardinal seed = before;
  for (Integer i = 0; i < 26 * 4; ++i) seed = seed * 134775813u + 1u;
  EXPECT_EQ(IERandSeed(), seed);
}

// ---------------------------------------------------------------------------
// Block transfers, called as the table calls them

struct Frame {
  TBitmap From, To, Canvas;
  Frame(Integer W, Integer H) {
    for (TBitmap* b : {&From, &To, &Canvas}) {
      b->SetPixelFormat(pf24bit);
      b->SetSize(W, H);
    }
    FillPositions(&From, 1);
    FillPositions(&To, 2);
    FillPositions(&Canvas, 1);
  }
  void Draw(TIETransitionStepProc Proc, Integer Percent) {
    Proc(Canvas.Canvas(), &From, &To, TRect(0, 0, Canvas.Width(), Canvas.Height()), 1, Percent);
  }
  std::vector<Integer> At(Integer X, Integer Y) { return Origin(&Canvas, X, Y); }
};

TEST(TransitionEffects, BlockTransfersAtPercentZeroLeaveTheStartPicture) {
  // The build-ups stretch the end picture's edge strip over what is left,
  // and the page flips show the end picture's right half, from the start;
  // the diagonal cross from the centre starts as four triangles that tile
  // the frame, so XORed with it they leave nothing.
  const TIETransitionType shown[] = {iettBuildUpFromLeft, iettBuildUpFromRight, iettBuildUpFromTop,
                                     iettBuildUpFromBottom, iettPageFlipEffect, iettPageFlipEffect2};
  // Shreds and specks scatter their random offsets around the extent, so
  // some show from the start.
  for (Integer type = 31; type <= kIETransitionTableCount; ++type) {
    if (std::find(std::begin(shown), std::end(shown), type) != std::end(shown)) continue;
    if ((type >= iettShreddedFromLeft && type <= iettShreddedOutFromVerticalCenter) ||
        (type >= iettSpeckledWipeFromLeft && type <= iettSpeckledWipeFromBottom))
      continue;
    for (auto [w, h] : {std::pair{40, 30}, {37, 23}}) {
      if (IsShape(type) && w % 2 != 0) continue;  // half-pixel edges, as at the end
      Frame f(w, h);
      f.Draw(IETransitionEffectTable[type - 1].Proc, 0);
      EXPECT_EQ(Diff(Bytes(&f.Canvas), Bytes(&f.From), w), "same") << type << " at " << w << "x" << h;
    }
  }
}

TEST(TransitionEffects, BlockTransferGeometry) {
  // Build up from the right at 95 on 400 x 300: PW = 380; the last 20
  // columns are a 1:1 copy of the end picture's strip from 380.
  {
    Frame f(400, 300);
    f.Draw(BuildUpFromRight, 95);
    EXPECT_EQ(f.At(379, 10), (std::vector<Integer>{2, 379 & 255, 10}));
    EXPECT_EQ(f.At(380, 10), (std::vector<Integer>{2, 380 & 255, 10}));
    EXPECT_EQ(f.At(399, 10), (std::vector<Integer>{2, 399 & 255, 10}));
  }
  // Unroll from the left on W = 400: the roll's back beyond the unrolled
  // part shows the end picture mirrored.
  {
    Frame f(400, 300);
    f.Draw(UnrollFromLeft, 3);  // PW = MulDiv(400, 3, 100) = 12, R = 18
    EXPECT_EQ(f.At(11, 5), (std::vector<Integer>{2, 11, 5}));
    EXPECT_EQ(f.At(12, 5)[0], 2);
    EXPECT_EQ(f.At(17, 5)[0], 2);
    EXPECT_GT(f.At(12, 5)[1], f.At(17, 5)[1]);  // mirrored: columns fall to the right
    EXPECT_EQ(f.At(21, 5), (std::vector<Integer>{1, 21, 5}));
  }
  // Page flip at 50: the start picture's left half, the end picture's
  // right half, and the edge line of the second kind at W div 2.
  for (bool edge : {false, true}) {
    Frame f(40, 30);
    f.Draw(edge ? PageFlipEffect2 : PageFlipEffect, 50);
    EXPECT_EQ(f.At(19, 3), (std::vector<Integer>{1, 19, 3}));
    EXPECT_EQ(f.At(21, 3), (std::vector<Integer>{2, 21, 3}));
    EXPECT_EQ(f.At(20, 3), edge ? (std::vector<Integer>{0, 0, 0}) : (std::vector<Integer>{2, 20, 3}));
  }
  // Page flip at 75: the opening page covers c - w .. c with w = 10.
  {
    Frame f(40, 30);
    f.Draw(PageFlipEffect, 75);
    EXPECT_EQ(f.At(9, 3)[0], 1);
    EXPECT_EQ(f.At(10, 3)[0], 2);
    EXPECT_EQ(f.At(19, 3)[0], 2);
  }
  // Quarters slide in at 50 on 40 x 30: a = 10, b = 7 (PH = 15).
  {
    Frame f(40, 30);
    f.Draw(QuartersSlideInToCenter, 50);
    EXPECT_EQ(f.At(0, 0), (std::vector<Integer>{2, 10, 0}));  // top left quarter at (a - c, 0)
    EXPECT_EQ(f.At(9, 0), (std::vector<Integer>{2, 19, 0}));
    EXPECT_EQ(f.At(10, 0)[0], 1);
  }
}

TEST(TransitionEffects, PushesCarryTheFrameAlongTickByTick) {
  // Each tick moves the previous frame by the whole current extent.
  Frame f(100, 10);
  f.Draw(PushLeftAndSlideOut, 10);  // moved by 10, end columns 0..9 at 90
  EXPECT_EQ(f.At(0, 0), (std::vector<Integer>{1, 10, 0}));
  EXPECT_EQ(f.At(90, 0), (std::vector<Integer>{2, 0, 0}));
  f.Draw(PushLeftAndSlideOut, 20);  // moved by 20 more: 30 in all
  EXPECT_EQ(f.At(0, 0), (std::vector<Integer>{1, 30, 0}));
  EXPECT_EQ(f.At(70, 0), (std::vector<Integer>{2, 0, 0}));  // last tick's strip, carried along
  EXPECT_EQ(f.At(80, 0), (std::vector<Integer>{2, 0, 0}));
  // Down: the overlapping copy within the frame keeps every row intact.
  Frame g(10, 100);
  g.Draw(PushDownAndSlideOut, 10);
  EXPECT_EQ(g.At(3, 99), (std::vector<Integer>{1, 3, 89}));
  EXPECT_EQ(g.At(3, 10), (std::vector<Integer>{1, 3, 0}));
  EXPECT_EQ(g.At(3, 0), (std::vector<Integer>{2, 3, 90}));
}

// ---------------------------------------------------------------------------
// Regions

TEST(TransitionRegions, TheRectangleBuilderGrowsBy500AndMakesNoRegionWhenEmpty) {
  TComplexRegion c;
  EXPECT_EQ(c.CreateRegion(), nullptr);
  EXPECT_EQ(c.Bounds(), TRect(2147483647, 2147483647, -2147483647, -2147483647));
  for (Integer i = 0; i < 501; ++i) c.AddRect(i, 2, i + 1, 3);
  EXPECT_EQ(c.Count(), 501);
  EXPECT_EQ(c.Capacity(), 1000);
  EXPECT_EQ(c.DataSize(), 1000u * 16 + 36);
  c.AddRect(700, -5, 690, 1);  // stored as it is, covering nothing
  EXPECT_EQ(c.Bounds(), TRect(0, -5, 690, 3));
  HRGN r = c.CreateRegion();
  ASSERT_NE(r, nullptr);
  TRect box;
  GetRgnBox(r, &box);
  EXPECT_EQ(box, TRect(0, 2, 501, 3));
  DeleteObject(r);
  c.Clear();
  EXPECT_EQ(c.CreateRegion(), nullptr);
  EXPECT_EQ(c.Capacity(), 0);
}

// Bars in from the left on 500 x 400 at 25: PW = 125, X = 250 is not past
// W, so the even bands (thickness 400 div 50 + 1 = 9) reach x = 250 and
// the odd ones are empty.
TEST(TransitionRegions, BarsAtAQuarterFillTheEvenBandsToTwiceTheExtent) {
  Integer w, h, pw, ph;
  CalcTransitionExtent(TRect(0, 0, 500, 400), 25, w, h, pw, ph);
  HRGN r = BarsRegion(2 * pw, 0, 500, 400, 2, 0);
  ASSERT_NE(r, nullptr);
  for (Integer y : {0, 8, 18, 26, 396}) {
    EXPECT_TRUE(PtInRegion(r, 0, y)) << y;
    EXPECT_TRUE(PtInRegion(r, 249, y)) << y;
    EXPECT_FALSE(PtInRegion(r, 250, y)) << y;
  }
  for (Integer y : {9, 17, 27, 35}) EXPECT_FALSE(PtInRegion(r, 10, y)) << y;
  DeleteObject(r);
  // At 75 (X = 750): the even bands are full and the odd ones reach 250.
  r = BarsRegion(750, 0, 500, 400, 2, 0);
  EXPECT_TRUE(PtInRegion(r, 499, 0));
  EXPECT_TRUE(PtInRegion(r, 249, 9));
  EXPECT_FALSE(PtInRegion(r, 250, 9));
  DeleteObject(r);
}

TEST(TransitionRegions, RandomBigBoxesRepeatTheirPatternAndLeaveTheSharedSeedAlone) {
  Frame a(120, 80);
  IESetRandSeed(12345);
  a.Draw(RandomBigBoxesEffect, 40);
  EXPECT_EQ(IERandSeed(), 12345u);
  const Pixels first = Bytes(&a.Canvas);
  EXPECT_NE(first, Bytes(&a.From));
  // A second run between the same pictures (the same handle): the same boxes.
  FillPositions(&a.Canvas, 1);
  IERandom(1000);
  const Cardinal moved = IERandSeed();
  a.Draw(RandomBigBoxesEffect, 40);
  EXPECT_EQ(Bytes(&a.Canvas), first);
  // Later frames keep what earlier ones showed.
  Frame c(120, 80);
  c.Draw(RandomBigBoxesEffect, 40);
  const Pixels at40 = Bytes(&c.Canvas);
  c.Draw(RandomBigBoxesEffect, 70);
  const Pixels at70 = Bytes(&c.Canvas), to = Bytes(&c.To);
  size_t shown40 = 0, shown70 = 0;
  for (size_t i = 0; i < at40.size(); ++i) {
    if (at40[i] == to[i] && at40[i] != Bytes(&c.From)[i]) {
      ++shown40;
      EXPECT_EQ(at70[i], to[i]) << i;
    }
    shown70 += at70[i] == to[i];
  }
  EXPECT_GT(shown40, 0u);
  EXPECT_GT(shown70, shown40);
  EXPECT_EQ(IERandSeed(), moved);
}

TEST(TransitionRegions, UnevenBlindsWithoutProgressDrawNothing) {
  for (auto proc : {UnevenBlindsFromLeft, UnevenBlindsFromRight, UnevenBlindsFromTop, UnevenBlindsFromBottom}) {
    Frame f(40, 30);
    f.Draw(proc, 0);
    f.Draw(proc, 1);  // PW = MulDiv(40, 1, 100) = 0
    EXPECT_EQ(Bytes(&f.Canvas), Bytes(&f.From));
  }
}

TEST(TransitionRegions, PiesTurnClockwiseAndStopOneStepShort) {
  // Four steps from straight up: up, right, down, left; the last quarter
  // (left to up) is the step short.
  HRGN r = PieRegion(50, 50, 40, -3.1415926535897932385L / 2, 3 * 3.1415926535897932385L / 2, 4);
  EXPECT_TRUE(PtInRegion(r, 60, 30));   // upper right
  EXPECT_TRUE(PtInRegion(r, 60, 70));   // lower right
  EXPECT_TRUE(PtInRegion(r, 40, 70));   // lower left
  EXPECT_FALSE(PtInRegion(r, 40, 40));  // upper left: not reached
  DeleteObject(r);
  r = PieRegion(50, 50, 40, 0, 1, 0);
  TRect box;
  EXPECT_EQ(GetRgnBox(r, &box), NULLREGION);
  DeleteObject(r);
  // The sweep at 25 has covered the upper right quarter only.
  Frame f(100, 100);
  f.Draw(SweepClockwise, 25);
  EXPECT_EQ(f.At(80, 20)[0], 2);
  EXPECT_EQ(f.At(80, 80)[0], 1);
  EXPECT_EQ(f.At(20, 20)[0], 1);
  Frame g(100, 100);
  g.Draw(SweepCounterClockwise, 25);
  EXPECT_EQ(g.At(20, 20)[0], 2);
  EXPECT_EQ(g.At(80, 20)[0], 1);
}

// 800 x 600: n = MulDiv(800, 1, 90) = 9, halved to 4; cells of 200 x 150,
// a right triangle at each of the 5 x 5 grid points, legs 2 PW div 4 and
// 2 PH div 4.
TEST(TransitionRegions, TheTriangularWipeGrowsATriangleAtEveryGridPoint) {
  Frame f(800, 600);
  // PW = 80, PH = 60, so each triangle has its right angle 20 left of and
  // 15 above its grid point and its hypotenuse through the point.
  f.Draw(TriangularWipeEffect, 10);
  for (Integer i = 1; i <= 4; ++i)
    for (Integer j = 1; j <= 4; ++j) {
      const Integer x = j * 200, y = i * 150;
      EXPECT_EQ(f.At(x - 5, y - 5)[0], 2) << j << "," << i;
      EXPECT_EQ(f.At(x - 18, y - 13)[0], 2) << j << "," << i;
      EXPECT_EQ(f.At(x - 22, y - 5)[0], 1) << j << "," << i;  // left of the triangle
      if (x < 800 && y < 600) {
        EXPECT_EQ(f.At(x + 5, y + 5)[0], 1) << j << "," << i;  // past the hypotenuse
      }
    }
  EXPECT_EQ(f.At(100, 75)[0], 1);
}

TEST(TransitionRegions, BowTiesMeetInTheMiddleAtDifferentTimes) {
  // Horizontal: apex at PW, so the two meet at the centre at 50; vertical:
  // apex at 2 PH, at 25.
  Frame h(200, 100);
  h.Draw(HorizontalBowTieWipe, 50);
  EXPECT_EQ(h.At(98, 50)[0], 2);
  EXPECT_EQ(h.At(101, 50)[0], 2);
  Frame v(200, 100);
  v.Draw(VerticalBowTieWipe, 25);  // PH = 25: apexes at y = 50 from both sides
  EXPECT_EQ(v.At(100, 48)[0], 2);
  EXPECT_EQ(v.At(100, 52)[0], 2);
  EXPECT_EQ(v.At(60, 50)[0], 1);
}

}  // namespace
}  // namespace trans_effect_tests

}  // namespace test_trans_effects_tests
