// The animation painter on a clock the test drives: frame order, loops,
// events, waits in delay units, disposal, a stop during a wait, and errors
// raised while painting that never escape a destructor.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "imaging/formats/giflib_painter.h"

namespace giflib_painter_tests {
namespace {

using Rgb = std::array<Byte, 3>;

// Time moves only when the painter waits; every wait is recorded. A wait
// for ever (threaded, rate 0) waits on the painter's real wake-up event.
class TFakeClock : public TGIFPainterClock {
 public:
  Cardinal Now() override { return FNow; }
  bool WaitFor(TEvent* Wake, Integer Ms) override {
    Record(Ms);
    if (Ms < 0) {
      WaitingForEver = true;
      return Wake ? Wake->WaitFor(INFINITE) != wrTimeout : true;
    }
    FNow += Cardinal(Ms);
    return false;
  }
  void Sleep(Integer Ms) override {
    if (Ms <= 0) return;
    Record(Ms);
    FNow += Cardinal(Ms);
  }
  std::vector<Integer> Waits() {
    std::lock_guard<std::mutex> l(FLock);
    return FWaits;
  }
  std::atomic<bool> WaitingForEver{false};

 private:
  void Record(Integer Ms) {
    std::lock_guard<std::mutex> l(FLock);
    FWaits.push_back(Ms);
  }
  std::atomic<Cardinal> FNow{1000};
  std::mutex FLock;
  std::vector<Integer> FWaits;
};

struct FrameSpec {
  Rgb Colour;
  Integer X = 0, W = 4;
  Word Delay = 0;
  Byte Disposal = 1;
  bool Control = true;
};

// Frames of one colour each on a 4 x 1 screen; a loop block of LoopCount
// on frame LoopFrame when it is 0 or more.
std::unique_ptr<TGIFImage> Animation(const std::vector<FrameSpec>& Frames, Integer LoopFrame = -1, Word LoopCount = 0) {
  auto img = std::make_unique<TGIFImage>();
  img->GetGlobalColorMap()->Add(0);
  img->SetWidth(4);
  img->SetHeight(1);
  for (size_t i = 0; i < Frames.size(); ++i) {
    const FrameSpec& s = Frames[i];
    auto* f = new TGIFSubImage(img.get());
    img->Add(f);
    f->SetBoundsRect(s.X, 0, s.W, 1);
    f->LocalColorMap()->Add(TGIFColorMap::RGBToColor(s.Colour[0], s.Colour[1], s.Colour[2]));
    f->LocalColorMap()->Add(0);
    if (Integer(i) == LoopFrame) {
      auto* loop = new TGIFAppExtNSLoop(f);
      loop->LoopCount = LoopCount;
      f->Extensions()->Add(loop);
    }
    if (s.Control) {
      auto* c = new TGIFGraphicControlExtension(f);
      f->Extensions()->Add(c);
      c->SetDelay(s.Delay);
      c->SetDisposal(s.Disposal);
    }
  }
  return img;
}

const Rgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0};

// Records events as "S", "P<frame>", "D<frame>", "L", "E".
struct Recorder {
  std::vector<std::string> Events;
  std::mutex Lock;
  void Attach(TGIFImage* Img) {
    auto add = [this](const std::string& E) {
      std::lock_guard<std::mutex> l(Lock);
      Events.push_back(E);
    };
    auto frameOf = [](TObject* S) { return std::to_string(static_cast<TGIFPainter*>(S)->ActiveFrame.load()); };
    Img->OnAnimationStart = [add](TObject*) { add("S"); };
    Img->OnFramePaint = [add, frameOf](TObject* S) { add("P" + frameOf(S)); };
    Img->OnFramePainted = [add, frameOf](TObject* S) { add("D" + frameOf(S)); };
    Img->OnAnimationLoop = [add](TObject*) { add("L"); };
    Img->OnAnimationEnd = [add](TObject*) { add("E"); };
  }
  std::string Painted() {
    std::lock_guard<std::mutex> l(Lock);
    std::string s;
    for (const std::string& e : Events)
      if (e[0] == 'D') s += e.substr(1);
    return s;
  }
};

std::unique_ptr<TBitmap> Target() {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(pf24bit);
  b->SetSize(4, 1);
  return b;
}

// Runs a painter that is not threaded to its end inside CreatePainter.
void PlayInline(TGIFImage* Img, Word Options, TCanvas* Canvas) {
  TGIFPainter* slot = nullptr;
  EXPECT_EQ(Img->CreatePainter(&slot, Canvas, TRect(0, 0, 4, 1), Options), nullptr);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(Img->PainterList()->LockList()->Count(), 0);
  Img->PainterList()->UnlockList();
}

// Starts a threaded painter and serves its calls to the main thread until it has ended.
void PlayThreaded(TGIFImage* Img, Word Options, TCanvas* Canvas, const std::function<void()>& WhileRunning = {}) {
  TGIFPainter* p = Img->CreatePainter(nullptr, Canvas, TRect(0, 0, 4, 1), Options);
  ASSERT_NE(p, nullptr);
  p->Start();
  for (;;) {
    const bool listed = Img->PainterList()->LockList()->Count() > 0;
    Img->PainterList()->UnlockList();
    if (!listed) break;
    CheckSynchronize(20);
    if (WhileRunning) WhileRunning();
  }
}

constexpr Word kInline = gpoAnimate | gpoLoop | gpoClearOnLoop;
constexpr Word kThreaded = gpoThreaded | kInline;

TEST(GifLibPainter, FrameOrderLoopsAndEvents) {
  struct Case {
    const char* Name;
    Integer LoopFrame;
    Word LoopCount;
    Word Options;
    const char* Events;
  };
  const Case cases[] = {
      {"no loop block: once", -1, 0, kInline, "S P0 D0 P1 D1 P2 D2 E"},
      {"no loop block, threaded: once", -1, 0, kThreaded, "S P0 D0 P1 D1 P2 D2 E"},
      {"count 2 on frame 1: the repeat starts there", 1, 2, kInline, "S P0 D0 P1 D1 P2 D2 L P1 D1 P2 D2 E"},
      {"count 0 in the caller's thread: once", 0, 0, kInline, "S P0 D0 P1 D1 P2 D2 E"},
      {"not animated: the first frame only", -1, 0, gpoLoop, "S P0 D0 E"},
      {"no loop option: one pass", 0, 3, gpoAnimate, "S P0 D0 P1 D1 P2 D2 E"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto img = Animation({{kRed}, {kBlue}, {kGreen}}, c.LoopFrame, c.LoopCount);
    img->PainterClock = std::make_shared<TFakeClock>();
    Recorder rec;
    rec.Attach(img.get());
    auto target = Target();
    if (c.Options & gpoThreaded)
      PlayThreaded(img.get(), c.Options, target->Canvas());
    else
      PlayInline(img.get(), c.Options, target->Canvas());
    std::string got;
    for (const std::string& e : rec.Events) got += (got.empty() ? "" : " ") + e;
    EXPECT_EQ(got, c.Events);
  }
}

TEST(GifLibPainter, LoopCountZeroRepeatsUntilStopped) {
  auto img = Animation({{kRed}, {kBlue}}, 0, 0);
  img->PainterClock = std::make_shared<TFakeClock>();
  Recorder rec;
  rec.Attach(img.get());
  // The seventh frame stops the painter from its own event.
  img->OnFramePainted = [&](TObject* S) {
    std::lock_guard<std::mutex> l(rec.Lock);
    rec.Events.push_back("D" + std::to_string(static_cast<TGIFPainter*>(S)->ActiveFrame.load()));
    if (rec.Events.size() >= 20) static_cast<TGIFPainter*>(S)->Stop();
  };
  auto target = Target();
  PlayThreaded(img.get(), kThreaded, target->Canvas());
  EXPECT_EQ(rec.Painted().substr(0, 6), "010101");
  EXPECT_GE(rec.Painted().size(), 7u);
}

TEST(GifLibPainter, WaitsInDelayUnitsOfTwelveMilliseconds) {
  struct Case {
    const char* Name;
    Word Delay;
    bool Control;
    Integer Rate;
    Word Options;
    std::vector<Integer> Waits;  // before frame 1, in slices for the caller's thread
  };
  const Case cases[] = {
      {"delay 1 is raised to 3 units", 1, true, 100, kInline, {36}},
      {"delay 0 plays 10 units", 0, true, 100, kInline, {100, 20}},
      {"no control block plays 10 units", 0, false, 100, kInline, {100, 20}},
      {"rate 200 halves the wait", 1, true, 200, kInline, {18}},
      {"rate 50 doubles it", 1, true, 50, kInline, {72}},
      {"5000 is cut to 1000 units in the caller's thread", 5000, true, 100, kInline, std::vector<Integer>(120, 100)},
      {"5000 stays when threaded", 5000, true, 100, kThreaded, {60000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    FrameSpec first{kRed};
    first.Delay = c.Delay;
    first.Control = c.Control;
    auto img = Animation({first, {kBlue}});
    img->AnimationRate = c.Rate;
    auto clock = std::make_shared<TFakeClock>();
    img->PainterClock = clock;
    auto target = Target();
    if (c.Options & gpoThreaded)
      PlayThreaded(img.get(), c.Options, target->Canvas());
    else
      PlayInline(img.get(), c.Options, target->Canvas());
    std::vector<Integer> waits = clock->Waits();
    // The caller's own thread first waits one unit before frame 0.
    if (!(c.Options & gpoThreaded)) {
      ASSERT_FALSE(waits.empty());
      EXPECT_EQ(waits.front(), c.Rate == 100 ? 12 : (c.Rate == 200 ? 6 : 24));
      waits.erase(waits.begin());
    }
    EXPECT_EQ(waits, c.Waits);
  }
}

TEST(GifLibPainter, OvershootIsHalvedAndTakenOff) {
  // A clock that runs 10 ms late on every sleep: the next wait is shortened
  // by half the overshoot.
  class TLateClock : public TFakeClock {
   public:
    void Sleep(Integer Ms) override { TFakeClock::Sleep(Ms + 10); }
  };
  auto img = Animation({{kRed, 0, 4, 5}, {kBlue, 0, 4, 5}, {kGreen}});
  auto clock = std::make_shared<TLateClock>();
  img->PainterClock = clock;
  auto target = Target();
  PlayInline(img.get(), kInline, target->Canvas());
  // Before frame 0: 12 (slept 22). Before frame 1: 60 - (22 - 12) / 2 = 55,
  // slept 65. Before frame 2: 60 - (65 - 55) / 2 = 55.
  EXPECT_EQ(clock->Waits(), (std::vector<Integer>{22, 65, 65}));
}

TEST(GifLibPainter, AHandlerChoosesTheNextFrame) {
  auto img = Animation({{kRed}, {kBlue}, {kGreen}});
  img->PainterClock = std::make_shared<TFakeClock>();
  Recorder rec;
  rec.Attach(img.get());
  bool jumped = false;
  img->OnFramePainted = [&](TObject* S) {
    auto* p = static_cast<TGIFPainter*>(S);
    rec.Events.push_back("D" + std::to_string(p->ActiveFrame.load()));
    if (p->ActiveFrame == 1 && !jumped) {
      jumped = true;
      p->ActiveFrame = 0;
    }
  };
  auto target = Target();
  PlayInline(img.get(), kInline, target->Canvas());
  EXPECT_EQ(rec.Painted(), "01012");
}

TEST(GifLibPainter, DisposalOnTheTarget) {
  // Frame 1 (disposal 3, restore previous) covers pixel 1 after a frame
  // that stays (1); frame 2 must be composed over the picture without it.
  // Frame 3 restores its own area to the background colour (2).
  FrameSpec f0{kRed};
  FrameSpec f1{kBlue, 1, 1};
  f1.Disposal = 3;
  FrameSpec f2{kGreen, 2, 1};
  FrameSpec f3{kBlue, 3, 1};
  f3.Disposal = 2;
  FrameSpec f4{kGreen, 0, 1};
  auto img = Animation({f0, f1, f2, f3, f4});
  img->AnimationBackColor = 0x00FFFF;  // yellow
  img->PainterClock = std::make_shared<TFakeClock>();
  auto target = Target();
  std::vector<std::string> shown;
  img->OnFramePainted = [&](TObject*) {
    std::string s;
    target->SetPixelFormat(pf24bit);
    const Byte* row = static_cast<const Byte*>(target->ScanLine(0));
    for (int x = 0; x < 4; ++x) {
      const Rgb c{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
      s += c == kRed ? 'r' : c == kBlue ? 'b' : c == kGreen ? 'g' : c == Rgb{255, 255, 0} ? 'y' : '?';
    }
    shown.push_back(s);
  };
  PlayInline(img.get(), kInline, target->Canvas());
  EXPECT_EQ(shown, (std::vector<std::string>{"rrrr", "rbrr", "rrgr", "rrgb", "grgy"}));
}

TEST(GifLibPainter, StopDuringAWaitForEverEndsThePainter) {
  auto img = Animation({{kRed}, {kBlue}});
  img->AnimationRate = 0;
  auto clock = std::make_shared<TFakeClock>();
  img->PainterClock = clock;
  Recorder rec;
  rec.Attach(img.get());
  auto target = Target();
  bool stopped = false;
  PlayThreaded(img.get(), kThreaded, target->Canvas(), [&] {
    if (clock->WaitingForEver && !stopped) {
      stopped = true;
      img->StopAllPainters();
    }
  });
  EXPECT_TRUE(stopped);
  // The first frame is shown, then the painter waits until it is stopped.
  EXPECT_EQ(rec.Painted(), "0");
}

TEST(GifLibPainter, ErrorsWhilePaintingNeverLeaveADestructor) {
  // Threaded: the error ends the painter and reaches the image as a warning.
  {
    auto img = Animation({{kRed}, {kBlue}});
    img->PainterClock = std::make_shared<TFakeClock>();
    img->OnFramePainted = [](TObject*) { throw EInvalidOperation("handler failed"); };
    std::vector<std::string> warnings;
    img->OnGIFWarning = [&](TObject*, Byte, const WideString& M) { warnings.push_back(WideToUtf8(M)); };
    auto target = Target();
    PlayThreaded(img.get(), kThreaded, target->Canvas());
    EXPECT_EQ(warnings, std::vector<std::string>{"handler failed"});
  }
  // In the caller's thread: raised to the caller once the painter is gone.
  {
    auto img = Animation({{kRed}, {kBlue}});
    img->PainterClock = std::make_shared<TFakeClock>();
    img->OnFramePaint = [](TObject*) { throw EInvalidOperation("paint refused"); };
    auto target = Target();
    TGIFPainter* slot = nullptr;
    try {
      img->CreatePainter(&slot, target->Canvas(), TRect(0, 0, 4, 1), kInline);
      ADD_FAILURE() << "no error";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "paint refused");
    }
    EXPECT_EQ(slot, nullptr);
  }
  // An image freed while its painter runs stops it first.
  {
    auto img = Animation({{kRed}, {kBlue}}, 0, 0);
    img->AnimationRate = 0;
    auto clock = std::make_shared<TFakeClock>();
    img->PainterClock = clock;
    auto target = Target();
    TGIFPainter* p = img->CreatePainter(nullptr, target->Canvas(), TRect(0, 0, 4, 1), kThreaded);
    ASSERT_NE(p, nullptr);
    p->Start();
    while (!clock->WaitingForEver) CheckSynchronize(20);
    img.reset();
  }
}

TEST(GifLibPainter, DrawStartsPaintersOnlyForAnimations) {
  // One frame, or animation switched off: drawn at once, no painter.
  for (Word options : {Word(kThreaded), Word(gpoThreaded | gpoLoop)}) {
    auto img = Animation(options & gpoAnimate ? std::vector<FrameSpec>{{kRed}} : std::vector<FrameSpec>{{kRed}, {kBlue}});
    img->PaintOptions = options;
    auto target = Target();
    img->Draw(target->Canvas(), TRect(0, 0, 4, 1));
    EXPECT_EQ(img->ActivePainter, nullptr);
    const Byte* row = static_cast<const Byte*>(target->ScanLine(0));
    EXPECT_EQ(row[2], 255);
  }
  // An animation drawn directly keeps one painter per canvas and rectangle.
  auto img = Animation({{kRed}, {kBlue}}, 0, 0);
  img->AnimationRate = 0;
  img->PainterClock = std::make_shared<TFakeClock>();
  img->PaintOptions = kThreaded | gpoDirect;
  auto target = Target();
  img->Draw(target->Canvas(), TRect(0, 0, 4, 1));
  TGIFPainter* first = img->ActivePainter;
  ASSERT_NE(first, nullptr);
  img->Draw(target->Canvas(), TRect(0, 0, 4, 1));
  EXPECT_EQ(img->ActivePainter, first);
  img->Draw(target->Canvas(), TRect(0, 0, 2, 1));
  EXPECT_NE(img->ActivePainter, nullptr);
  img->StopAllPainters();
  EXPECT_EQ(img->ActivePainter, nullptr);
}

}  // namespace
}  // namespace giflib_painter_tests
