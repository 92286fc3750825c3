// The catalogue of transition effects and the arithmetic every effect
// shares: timing curves, percentages, extents, fitting; and the engine's
// refusal of frames too small to show a transition.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/view/ietransitions.h"
#include "platform/graphics/bitmap.h"

namespace test_transitions_tests {

namespace transition_tests {
namespace {

TEST(Transitions, TimingCurvesGiveTheStepForTheElapsedTime) {
  struct Case {
    TIETransitionTiming Timing;
    Cardinal Elapsed;
    Integer Duration, Step;
  } cases[] = {
      {ttLinear, 0, 1000, 0},          {ttLinear, 500, 1000, 512},     {ttLinear, 999, 1000, 1022},
      {ttLinear, 1000, 1000, 1024},    {ttLinear, 5000, 1000, 1024},   {ttLinear, 1, 0, 1024},
      {ttExponential, 0, 1000, 6},     {ttExponential, 1000, 1000, 1003},
      {ttExponential, 500, 1000, 82},  // exp(-0.218) / 10 x 1024
      {ttLogarithmic, 0, 1000, 0},     {ttLogarithmic, 5, 1000, 0},   // ln(0.05) + 2.718 < 0: held
      {ttLogarithmic, 7, 1000, 12},    {ttLogarithmic, 1000, 1000, 1024},  // 1028 limited
      {ttLogarithmic, 500, 1000, 886},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IETransitionTimingStep(c.Timing, c.Elapsed, c.Duration), c.Step)
        << int(c.Timing) << " at " << c.Elapsed << " of " << c.Duration;
  // No curve ever falls or leaves 0..1024.
  for (TIETransitionTiming t : {ttLinear, ttExponential, ttLogarithmic}) {
    Integer last = 0;
    for (Cardinal e = 0; e <= 1200; ++e) {
      const Integer s = IETransitionTimingStep(t, e, 1000);
      ASSERT_GE(s, last) << int(t) << " at " << e;
      ASSERT_LE(s, 1024);
      last = s;
    }
  }
}

TEST(Transitions, PercentRoundsHalvesToEven) {
  const std::pair<Integer, Integer> cases[] = {{0, 0},    {5, 0},     {6, 1},     {128, 12},  {384, 38},
                                               {512, 50}, {1023, 100}, {1024, 100}};
  for (auto [step, percent] : cases) EXPECT_EQ(IETransitionPercent(step), percent) << step;
}

TEST(Transitions, ExtentScalesTheLongerSideAndTheOtherInProportion) {
  struct Case {
    TRect R;
    Integer Percent, W, H, PW, PH;
  } cases[] = {
      {TRect(0, 0, 400, 300), 50, 400, 300, 200, 150},  {TRect(0, 0, 300, 400), 50, 300, 400, 150, 200},
      {TRect(10, 20, 410, 320), 50, 400, 300, 200, 150}, {TRect(0, 0, 3, 2), 50, 3, 2, 2, 1},  // 1.5 rounds up
      {TRect(0, 0, 400, 300), 0, 400, 300, 0, 0},       {TRect(0, 0, 400, 300), 100, 400, 300, 400, 300},
  };
  for (const Case& c : cases) {
    Integer w = -1, h = -1, pw = -1, ph = -1;
    CalcTransitionExtent(c.R, c.Percent, w, h, pw, ph);
    EXPECT_EQ((std::vector<Integer>{w, h, pw, ph}), (std::vector<Integer>{c.W, c.H, c.PW, c.PH}))
        << c.R.Right << "x" << c.R.Bottom << " at " << c.Percent;
  }
}

TEST(Transitions, FittingKeepsTheAspectRatioCentredAndEmptySizesGiveZeros) {
  struct Case {
    Integer SW, SH, DW, DH, X, Y, W, H;
  } cases[] = {
      {500, 300, 300, 300, 0, 60, 300, 180}, {300, 600, 400, 300, 125, 0, 150, 300},
      {400, 300, 800, 600, 0, 0, 800, 600},  {0, 300, 800, 600, 0, 0, 0, 0},
      {400, 0, 800, 600, 0, 0, 0, 0},        {400, 300, 0, 600, 0, 0, 0, 0},
      {-5, 300, 800, 600, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Integer x = -1, y = -1, w = -1, h = -1;
    IEFitRectKeepAspect(c.SW, c.SH, c.DW, c.DH, x, y, w, h);
    EXPECT_EQ((std::vector<Integer>{x, y, w, h}), (std::vector<Integer>{c.X, c.Y, c.W, c.H}))
        << c.SW << "x" << c.SH << " into " << c.DW << "x" << c.DH;
  }
}

TEST(Transitions, PanZoomMovesTheRectangleAndCutsItToThePicture) {
  struct Case {
    TRect Start, End;
    Integer Step;
    bool Draws, Clipped;
    TRect Source;
  } cases[] = {
      {TRect(100, 50, 300, 200), TRect(100, 50, 300, 200), 700, true, false, TRect(100, 50, 300, 200)},
      {TRect(0, 0, 400, 300), TRect(200, 100, 400, 300), 512, true, false, TRect(100, 50, 400, 300)},
      {TRect(0, 0, 400, 300), TRect(200, 100, 400, 300), 1024, true, false, TRect(200, 100, 400, 300)},
      {TRect(0, 0, 400, 300), TRect(200, 100, 400, 300), 0, true, false, TRect(0, 0, 400, 300)},
      // 10 - 512 x 21 / 1024 = -0.5 truncates to 0, not -1.
      {TRect(10, 0, 110, 100), TRect(-11, 0, 89, 100), 512, true, false, TRect(0, 0, 99, 100)},
      // Past the right edge: cut at the edge, not 500 wide from 300.
      {TRect(300, 0, 800, 400), TRect(300, 0, 800, 400), 0, true, true, TRect(300, 0, 600, 400)},
      {TRect(-50, -20, 150, 100), TRect(-50, -20, 150, 100), 0, true, true, TRect(0, 0, 150, 100)},
      {TRect(-100, 0, 900, 500), TRect(-100, 0, 900, 500), 0, true, true, TRect(0, 0, 600, 400)},
      {TRect(300, 200, 100, 300), TRect(300, 200, 100, 300), 0, false, false, TRect()},  // reversed
      {TRect(50, 50, 50, 80), TRect(50, 50, 50, 80), 0, false, false, TRect()},          // no width
      {TRect(700, 0, 900, 100), TRect(700, 0, 900, 100), 0, false, true, TRect()},       // outside
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Start.Left << "," << c.Start.Top << "," << c.Start.Right << ","
                                    << c.Start.Bottom << " step " << c.Step);
    TRect src(-7, -7, -7, -7);
    bool clipped = !c.Clipped;
    ASSERT_EQ(IEPanZoomSourceRect(c.Start, c.End, c.Step, 600, 400, src, clipped), c.Draws);
    EXPECT_EQ(clipped, c.Clipped);
    if (c.Draws) {
      EXPECT_EQ(src, c.Source);
      EXPECT_LE(src.Right, 600);
      EXPECT_LE(src.Bottom, 400);
    }
  }
}

TEST(Transitions, TheTableNamesEveryEffectOnceInTypeOrder) {
  std::set<std::u16string> names;
  for (const TEffect& e : IETransitionEffectTable) {
    ASSERT_NE(e.Name, nullptr);
    ASSERT_NE(std::u16string(e.Name), u"");
    names.insert(e.Name);
  }
  EXPECT_EQ(names.size(), 187u);
  const std::pair<TIETransitionType, const char16_t*> spots[] = {
      {iettCrossDissolve, u"Cross Fade"},
      {iettFadeOutIn, u"Fade Out then In"},
      {iettRandomBoxes, u"Random Boxes"},
      {iettCenterZoom2, u"Expand In to Center"},
      {iettExpandFromLeft, u"Expand from Left"},
      {iettBarsFrombothSides, u"Bars from both Sides"},
      {iettStarburstClockwiseFromCenter, u"Starburst Clockwise"},
      {iettRotationalRectangle, u"Rotational Rectangle Clockwise"},
      {iettPushUpAndSlideOut, u"Push up and Slide out"},
      {iettTriangularWipeEffect, u"Triangular Wipe"},
      {iettRandomBigBoxesEffect, u"Random Big Boxes"},
      {iettPageFlipEffect2, u"Page Flip 2"},
  };
  for (auto [type, name] : spots) EXPECT_EQ(std::u16string(IETransitionEffectName(type)), name) << int(type);
  EXPECT_EQ(int(iettPageFlipEffect2), 187);
  EXPECT_EQ(int(iettPanZoom), 188);
  for (Integer t : {0, 188, 189, -1}) EXPECT_EQ(std::u16string(IETransitionEffectName(t)), u"") << t;
  // The engine draws the first thirty itself: they have no procedure.
  for (Integer i = 0; i < 30; ++i) EXPECT_EQ(IETransitionEffectTable[i].Proc, nullptr);
}

TEST(Transitions, AFrameBelowTwoPixelsEitherWayDoesNotRun) {
  TIETransitionEffects e(nullptr);
  e.SetTransitionType(iettCrossDissolve);
  Integer stops = 0;
  e.OnTransitionStop = [&](TObject*) { ++stops; };
  for (auto [w, h] : {std::pair{1, 1}, {1, 50}, {50, 1}}) {
    e.SetSizes(w, h);
    e.Run(false);
    EXPECT_FALSE(e.Running()) << w << "x" << h;
  }
  e.SetSizes(2, 2);
  e.Run(false);
  EXPECT_TRUE(e.Running());
  // Stopping depends on the run alone, not on the type set meanwhile.
  e.SetTransitionType(iettNone);
  e.Stop();
  EXPECT_FALSE(e.Running());
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(e.StartFrame()->Width(), 1);
}

// An engine on 8 x 6 frames driven by a hand clock; Log records its events.
struct Clocked {
  Cardinal Now = 5000;
  TIETransitionEffects E{nullptr};
  std::vector<std::string> Log;
  explicit Clocked(TIETransitionType Type, Integer Duration = 1000) {
    E.SetTickSource([this] { return Now; });
    E.SetSizes(8, 6);
    E.SetTransitionType(Type);
    E.SetDuration(Duration);
    E.OnTransitionStep = [this](TObject*, Integer S) { Log.push_back("step " + std::to_string(S)); };
    E.SetOnTransitionPaint([this](TObject*, TBitmap* B, TIETransitionEffects*, Integer S) {
      Log.push_back(std::string(B == E.ToBitmap() ? "end " : B == E.FrameBitmap() ? "frame " : "? ") +
                    std::to_string(S));
    });
    E.OnTransitionStop = [this](TObject*) { Log.push_back("stop"); };
  }
};

TEST(Transitions, TheClockDecidesTheStepOfTheNextTick) {
  struct Case {
    TIETransitionTiming Timing;
    Cardinal Elapsed;
    Integer Next;
  } cases[] = {
      {ttLinear, 0, 0},       {ttLinear, 500, 512},    {ttLinear, 999, 1022},
      {ttExponential, 0, 6},  {ttExponential, 999, 998},
      {ttLogarithmic, 0, 0},  {ttLogarithmic, 6, 0},   // held at 0 below about 0.66 %
      {ttLogarithmic, 7, 12},
  };
  for (const Case& c : cases) {
    Clocked t(iettCrossDissolve);
    t.E.SetTiming(c.Timing);
    t.E.Run(true);
    t.Now += c.Elapsed;
    t.E.TimerEvent();  // draws step 0 whatever the clock says
    EXPECT_EQ(t.Log.front(), "step 0");
    EXPECT_EQ(t.E.Step(), c.Next) << int(c.Timing) << " after " << c.Elapsed;
    EXPECT_TRUE(t.E.Running());
  }
}

TEST(Transitions, RunsTickUntilTheDurationAndEndOnTheEndFrame) {
  {
    // One millisecond: step 0 is drawn, then the end frame, then the stop.
    Clocked t(iettCrossDissolve, 1);
    t.E.Run(true);
    t.Now += 1;
    t.E.TimerEvent();
    EXPECT_EQ(t.Log, (std::vector<std::string>{"step 0", "frame 0", "end 1024", "stop"}));
    EXPECT_FALSE(t.E.Running());
    EXPECT_EQ(t.E.FrameBitmap()->Width(), 1);
    t.E.TimerEvent();  // a late tick of a stopped run does nothing
    EXPECT_EQ(t.Log.size(), 4u);
  }
  {
    // Without UpdateOnStop, and for the pan-zoom, no end frame is shown.
    Clocked t(iettCrossDissolve, 100);
    t.E.Run(false);
    t.E.TimerEvent();
    t.Now += 50;
    t.E.TimerEvent();
    t.Now += 50;
    t.E.TimerEvent();
    EXPECT_EQ(t.Log, (std::vector<std::string>{"step 0", "frame 0", "step 0", "frame 0", "step 512", "frame 512",
                                                "stop"}));
  }
  {
    Clocked t(iettPanZoom, 10);
    t.E.Run(true);
    t.Now += 10;
    t.E.TimerEvent();
    EXPECT_EQ(t.Log, (std::vector<std::string>{"step 0", "frame 0", "stop"}));
  }
  {
    // The clock wraps around 2^32 between start and tick.
    Clocked t(iettCrossDissolve, 1000);
    t.Now = 0xFFFFFF00u;
    t.E.Run(true);
    t.Now += 0x100 + 244;  // 500 ms later
    t.E.TimerEvent();
    EXPECT_EQ(t.E.Step(), 512);
  }
}

TEST(Transitions, AnEffectTypeChangedWhileRunningDrawsNothingAndTheRunStillEnds) {
  for (Integer type : {0, 189, 255}) {
    Clocked t(iettCrossDissolve, 100);
    t.E.Run(true);
    t.E.SetTransitionType(static_cast<TIETransitionType>(type));
    t.E.TimerEvent();
    t.Now += 100;
    t.E.TimerEvent();
    EXPECT_FALSE(t.E.Running()) << type;
    EXPECT_EQ(t.Log.back(), "stop");
  }
}

TEST(Transitions, RunRefusesFramesOfAnotherSizeAndStopsTheReplacedRunsTimer) {
  Clocked t(iettCrossDissolve);
  t.E.Run(false);
  ASSERT_TRUE(t.E.Running());
  EXPECT_TRUE(t.E.TimerEnabled());
  // The end frame no longer matches the size set: the new run is refused
  // and the old run's timer does not tick on.
  t.E.ToBitmap()->SetSize(8, 3);
  t.E.Run(false);
  EXPECT_FALSE(t.E.Running());
  EXPECT_FALSE(t.E.TimerEnabled());
  // Resizing stops a running transition, announcing it while the frames
  // are already back to 1 x 1.
  t.E.SetSizes(8, 6);
  t.E.Run(false);
  Integer widthAtStop = -1;
  t.E.OnTransitionStop = [&](TObject*) { widthAtStop = t.E.FromBitmap()->Width(); };
  t.E.SetSizes(20, 10);
  EXPECT_EQ(widthAtStop, 1);
  EXPECT_EQ(t.E.FromBitmap()->Width(), 20);
}

TEST(Transitions, TheSharedGeneratorFollowsItsRecurrence) {
  IESetRandSeed(1);
  // seed := seed x 134775813 + 1; value = (seed x 1000) >> 32.
  for (Integer v : {31, 861, 202, 272, 671}) EXPECT_EQ(IERandom(1000), v);
  EXPECT_EQ(IERandSeed(), 2884733762u);
  IESetRandSeed(1);
  EXPECT_EQ(IERandom(0), 0);
  EXPECT_EQ(IERandSeed(), 134775814u);  // 0 still advances
}

// A 600 x 400 picture, red on the left half and blue on the right, panned
// over a 60 x 40 frame: a rectangle inside the picture fills the frame; one
// that reaches past the right edge is cut there and letter-boxed.
TEST(Transitions, PanZoomFramesStretchOrLetterBoxThePicture) {
  TIEBitmap picture;
  ASSERT_TRUE(picture.Allocate(600, 400, ie24RGB));
  for (Integer y = 0; y < 400; ++y)
    for (Integer x = 0; x < 600; ++x) picture.SetPixelTriple(x, y, x < 300 ? TRGB{0, 0, 255} : TRGB{255, 0, 0});
  TIETransitionEffects e(nullptr);
  e.SetTransitionType(iettPanZoom);
  e.SetFullImage(&picture);
  std::vector<uint32_t> row;  // the middle row of the first frame, 0xRRGGBB
  e.SetOnTransitionPaint([&](TObject*, TBitmap* B, TIETransitionEffects*, Integer Step) {
    if (Step != 0 || !row.empty()) return;
    const auto* p = static_cast<const Byte*>(B->ScanLine(20));
    for (Integer x = 0; x < B->Width(); ++x, p += 3) row.push_back(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
  });
  auto firstRow = [&](TRect R) {
    row.clear();
    e.SetSizes(60, 40);
    e.PanZoomStartRect = e.PanZoomEndRect = R;
    e.Run(false);
    e.TimerEvent();
    e.Stop();
    return row;
  };
  const auto inside = firstRow(TRect(0, 0, 300, 400));
  ASSERT_EQ(inside.size(), 60u);
  for (uint32_t c : inside) EXPECT_EQ(c, 0xFF0000u);
  // 300 x 400 of picture into 60 x 40: 30 wide, centred from column 15.
  const auto cut = firstRow(TRect(300, 0, 800, 400));
  ASSERT_EQ(cut.size(), 60u);
  for (Integer x = 0; x < 60; ++x) {
    const bool picturePart = x >= 16 && x < 44;  // a column of slack each side for the stretch's edges
    const bool border = x < 14 || x >= 46;
    if (picturePart) {
      EXPECT_EQ(cut[size_t(x)], 0x0000FFu) << x;
    } else if (border) {
      EXPECT_EQ(cut[size_t(x)], 0u) << x;
    }
  }
}

}  // namespace
}  // namespace transition_tests

}  // namespace test_transitions_tests
