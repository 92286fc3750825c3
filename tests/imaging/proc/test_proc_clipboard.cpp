// Copy, cut and paste through the clipboard: the raw format keeps format,
// palette and alpha; DIBs for everything else; hostile blocks change nothing.
#include <gtest/gtest.h>

#include <string>

#include "imaging/core/base/ieplatformhelpers.h"
#include "imaging/core/base/iestartup.h"
#include "imaging/core/base/ieutils.h"
#include "platform/graphics/globalmem.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/testsupport.h"
#include "proc_test_util.h"
#include "tests/support/files.h"
#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_proc_clipboard_tests {

using namespace proc_test;

namespace {

void PutBlock(UINT Format, const std::vector<Byte>& Data) {
  ASSERT_TRUE(IEOpenClipboard());
  EmptyClipboard();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, Data.size());
  ASSERT_NE(h, nullptr);
  if (!Data.empty()) std::memcpy(GlobalLock(h), Data.data(), Data.size());
  GlobalUnlock(h);
  SetClipboardData(Format, h);
  CloseClipboard();
}

UINT Raw() { return RegisterClipboardFormat(u"ZIDUZUV RAW FORMAT"); }

TEST(ProcClipboard, RawCopyKeepsFormatPaletteAndAlpha) {
  for (TIEPixelFormat pf : {ie1g, ie8p, ie8g, ie24RGB, ie16g}) {
    SCOPED_TRACE(int(pf));
    TIEBitmap src;
    Noise(src, 13, 9, pf);
    src.GetAlphaChannel()->SetPixelByte(3, 4, 77);
    auto p = TZiduzUvProc::CreateFromBitmap(&src);
    Events ev;
    ev.Attach(*p);
    ASSERT_TRUE(p->CopyToClipboard(true));
    TIEBitmap dst;
    Noise(dst, 3, 3, ie24RGB);
    auto q = TZiduzUvProc::CreateFromBitmap(&dst);
    q->PasteFromClipboard();
    ASSERT_EQ(dst.PixelFormat(), pf);
    EXPECT_EQ(Bytes(dst), Bytes(src));
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.GetAlpha(3, 4), 77);
    if (pf == ie8p) {
      TRGB a, b;
      src.GetPaletteColor(200, a);
      dst.GetPaletteColor(200, b);
      EXPECT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b);
    }
    EXPECT_EQ(ev.Finished, 0);
  }
}

TEST(ProcClipboard, WithoutRawTheDibArrivesAsTwentyFourBits) {
  TIEBitmap src;
  Noise(src, 11, 6, ie8g);
  ASSERT_TRUE(TZiduzUvProc::CreateFromBitmap(&src)->CopyToClipboard(false));
  TIEBitmap dst;
  TZiduzUvProc::CreateFromBitmap(&dst)->PasteFromClipboard();
  ASSERT_EQ(dst.PixelFormat(), ie24RGB);
  ASSERT_EQ(dst.Width(), 11);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 11; ++x) {
      const Byte g = src.GetPixelByte(x, y);
      ASSERT_EQ(PixelBytes(dst, x, y), (std::vector<Byte>{g, g, g})) << x << "," << y;
    }
}

TEST(ProcClipboard, HostileBlocksNeverReachThePicture) {
  TIEBitmap good;
  Noise(good, 5, 4, ie24RGB);
  TZiduzUvProc::CreateFromBitmap(&good)->CopyToClipboard(true);
  std::vector<Byte> raw;
  ASSERT_TRUE(IEOpenClipboard());
  {
    HGLOBAL h = GetClipboardData(Raw());
    ASSERT_NE(h, nullptr);
    const Byte* p = static_cast<const Byte*>(GlobalLock(h));
    raw.assign(p, p + GlobalSize(h));
    GlobalUnlock(h);
  }
  CloseClipboard();
  std::vector<std::vector<Byte>> blocks = {
      {},                                                   // empty
      std::vector<Byte>(raw.begin(), raw.begin() + 20),     // cut short
      std::vector<Byte>(raw.begin(), raw.end() - 1),        // one byte short
      std::vector<Byte>(64, 0xFF),                          // garbage
  };
  // The same header with huge dimensions.
  std::vector<Byte> huge = raw;
  for (size_t i = 12; i < 24 && i < huge.size(); ++i) huge[i] = 0x7F;
  blocks.push_back(huge);
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    PutBlock(Raw(), blocks[i]);
    TIEBitmap dst;
    Noise(dst, 7, 3, ie8g);
    const auto before = Bytes(dst);
    TZiduzUvProc::CreateFromBitmap(&dst)->PasteFromClipboard();
    EXPECT_EQ(dst.PixelFormat(), ie8g);
    EXPECT_EQ(Bytes(dst), before);
    PutBlock(CF_DIB, blocks[i]);
    TZiduzUvProc::CreateFromBitmap(&dst)->PasteFromClipboard();
    EXPECT_EQ(Bytes(dst), before);
  }
}

TEST(ProcClipboard, CutOfAnEllipseLeavesTheBackgroundBehind) {
  MaskedProc p;
  p.SetAutoUndo(true);
  TIEBitmap b;
  Noise(b, 30, 20, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  p.SetAttachedIEBitmap(&b);
  p.SetBackground(0xFF0000);  // blue
  p.SelectEllipse(30, 20, 5, 4, 24, 15);
  ASSERT_TRUE(p.SelCutToClip(false));
  EXPECT_EQ(p.UndoCaptions(0), u"SelCutToClip");
  for (Integer y = 0; y < 20; ++y)
    for (Integer x = 0; x < 30; ++x)
      if (p.Selection->IsPointInside(x, y)) {
        ASSERT_EQ(PixelBytes(b, x, y), (std::vector<Byte>{255, 0, 0}));
      } else {
        ASSERT_EQ(PixelBytes(b, x, y), PixelBytes(original, x, y));
      }
  // The clipboard holds the box: corners in the background, the ellipse as it was.
  TIEBitmap pasted;
  TZiduzUvProc::CreateFromBitmap(&pasted)->PasteFromClipboard();
  const TIEMask& m = *p.Selection;
  ASSERT_EQ(pasted.Width(), m.X2 - m.X1 + 1);
  ASSERT_EQ(pasted.Height(), m.Y2 - m.Y1 + 1);
  EXPECT_EQ(PixelBytes(pasted, 0, 0), (std::vector<Byte>{255, 0, 0}));
  EXPECT_EQ(PixelBytes(pasted, 15 - m.X1, 10 - m.Y1), PixelBytes(original, 15, 10));
  // Without a selection a cut does nothing.
  TZiduzUvProc plain(nullptr);
  plain.SetAutoUndo(true);
  plain.SetAttachedIEBitmap(&b);
  EXPECT_FALSE(plain.SelCutToClip(true));
  EXPECT_EQ(plain.GetUndoCount(), 0);
}

TEST(ProcClipboard, StretchPasteScalesIntoTheSelectionBox) {
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(10, 10, ie24RGB));
  for (Integer y = 0; y < 10; ++y)
    for (Integer x = 0; x < 10; ++x) src.SetPixelTriple(x, y, TRGB{Byte(x < 5 ? 10 : 20), 0, 0});
  ASSERT_TRUE(TZiduzUvProc::CreateFromBitmap(&src)->CopyToClipboard(true));
  MaskedProc p;
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(60, 30, ie24RGB));
  b.Fill(0);
  p.SetAttachedIEBitmap(&b);
  p.Selection = std::make_unique<TIEMask>();
  p.Selection->AllocateBits(60, 30, 1);
  for (Integer y = 5; y < 25; ++y)
    for (Integer x = 10; x < 50; ++x) p.Selection->SetPixel(x, y, 1);
  p.SelPasteFromClipStretch(false);
  EXPECT_EQ(b.GetPixelTriple(10, 5).b, 10);
  EXPECT_EQ(b.GetPixelTriple(29, 24).b, 10);
  EXPECT_EQ(b.GetPixelTriple(30, 5).b, 20);
  EXPECT_EQ(b.GetPixelTriple(49, 24).b, 20);
  EXPECT_EQ(b.GetPixelTriple(9, 5).b, 0);
  EXPECT_EQ(b.GetPixelTriple(50, 24).b, 0);
  EXPECT_EQ(b.GetPixelTriple(30, 25).b, 0);
}

// A selection copied or cut from a one-byte picture is framed in the
// background colour as that format holds it: a system colour resolved, grey
// by the library's weights, the nearest palette entry; never the colour's
// low byte taken as a grey level or an index.
TEST(ProcClipboard, TheBackgroundOfOneBytePicturesIsTheColourNotItsLowByte) {
  const TColor face = static_cast<TColor>(0xFF00000F);  // the button face, a system colour
  const TRGB c = IEColorToRGB(face);
  const Integer gray = (c.r * IEGrayWeightRed + c.g * IEGrayWeightGreen + c.b * IEGrayWeightBlue) / 100;
  ASSERT_GT(gray, 100);  // a light grey, far from 15
  TIEBitmap g;
  Noise(g, 4, 4, ie8g);
  EXPECT_EQ(IEBackgroundValue(&g, face), gray);
  EXPECT_EQ(IEBackgroundValue(&g, 0x0000FF), 255 * IEGrayWeightRed / 100);  // red
  TIEBitmap p;
  Noise(p, 4, 4, ie8p);
  for (Integer i = 0; i < 256; ++i) p.SetPaletteColor(i, TRGB{Byte(i), Byte(i), Byte(i)});
  p.SetPaletteColor(200, TRGB{10, 20, 250});  // the only red entry
  EXPECT_EQ(IEBackgroundValue(&p, 0x0000F0), 200);
  TIEBitmap one;
  Noise(one, 8, 2, ie1g);
  EXPECT_EQ(IEBackgroundValue(&one, face), 1);
  EXPECT_EQ(IEBackgroundValue(&one, 0x101010), 0);
  // The cut of a grey picture leaves that grey behind.
  MaskedProc proc;
  Noise(g, 10, 10, ie8g);
  proc.SetAttachedIEBitmap(&g);
  proc.SetBackground(face);
  proc.SelectEllipse(10, 10, 2, 2, 7, 7);
  ASSERT_TRUE(proc.SelCutToClip(false));
  EXPECT_EQ(g.GetPixelByte(4, 4), gray);
}

// Another window holding the clipboard open, as a program in the middle of
// its own copy does: every operation gives up after its retries, reports
// failure where it can, and leaves picture and undo as they were (a cut keeps
// the undo entry it saves before it opens the clipboard).
TEST(ProcClipboard, LockedClipboardChangesNothing) {
  TIEBitmap other;
  Noise(other, 4, 4, ie24RGB, 5);
  ASSERT_TRUE(TZiduzUvProc::CreateFromBitmap(&other)->CopyToClipboard(true));
  MaskedProc p;
  p.SetAutoUndo(true);
  TIEBitmap b;
  Noise(b, 20, 10, ie24RGB);
  const auto before = Bytes(b);
  p.SetAttachedIEBitmap(&b);
  HWND holder = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5151));
  ASSERT_TRUE(OpenClipboard(holder));
  EXPECT_FALSE(p.CopyToClipboard(true));
  p.PasteFromClipboard();
  EXPECT_EQ(p.GetUndoCount(), 0);
  p.SelectEllipse(20, 10, 2, 2, 15, 8);
  EXPECT_FALSE(p.SelCopyToClip(true));
  EXPECT_FALSE(p.SelCutToClip(true));
  EXPECT_EQ(p.GetUndoCount(), 1);
  p.SelPasteFromClipStretch(false);
  EXPECT_EQ(p.GetUndoCount(), 1);
  EXPECT_EQ(Bytes(b), before);
  EXPECT_EQ(GetOpenClipboardWindow(), holder);  // nobody closed the holder's clipboard
  ASSERT_TRUE(CloseClipboard());
  // The other program's picture is still on offer once the holder lets go.
  p.Selection.reset();
  p.PasteFromClipboard();
  EXPECT_EQ(Bytes(b), Bytes(other));
}

// Another program's side of the clipboard on a real X server (run with
// tests/imaging/proc/xvfb_checks.sh): xclip takes what this process offers
// and offers what this process pastes. Without a display these checks skip.
class XvfbClipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/imaging/proc/xvfb_checks.sh)";
    ASSERT_TRUE(gt_test::HaveTool("xclip")) << "xclip missing (scripts/install-deps.sh installs it)";
    ASSERT_TRUE(gt_test::HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
    ASSERT_FALSE(Dir.Path.empty());
    IEStartup();  // the file readers, as the program's start has them
    Started = true;
  }
  void TearDown() override {
    if (Started) IEShutdown();
  }
  bool Started = false;
  // Runs Command in the background while this process answers the X
  // server's requests for the clipboard it owns; its exit code.
  int RunServing(const std::string& Command) {
    const std::string rc = Dir.File("rc");
    std::remove(rc.c_str());
    if (gt_test::Shell("(" + Command + "; echo $? > " + rc + ".part && mv " + rc + ".part " + rc + ") &") != 0)
      return -1;
    if (!GtTestPumpUntil([&] { return !gt_test::ReadFileBytes(rc).empty(); }, 30000)) return -1;
    return std::atoi(gt_test::Capture("cat " + rc).c_str());
  }
  gt_test::TempDir Dir{"clipx"};
};

TEST_F(XvfbClipboard, XvfbOurBitmapReachesAnotherProgramAsBmp) {
  for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
    SCOPED_TRACE(int(pf));
    TIEBitmap src;
    Noise(src, 13, 7, pf);  // odd width: the rows carry padding
    ASSERT_TRUE(TZiduzUvProc::CreateFromBitmap(&src)->CopyToClipboard(false));
    const std::string bmp = Dir.File("out.bmp"), ppm = Dir.File("out.ppm");
    ASSERT_EQ(RunServing("xclip -selection clipboard -t image/bmp -o > " + bmp), 0);
    ASSERT_EQ(gt_test::Capture("head -c 2 " + bmp), "BM");
    ASSERT_EQ(gt_test::Shell("convert bmp:" + bmp + " -type TrueColor -depth 8 ppm:" + ppm), 0);
    gt_test::Pnm pnm;
    TIEBitmap got;
    ASSERT_TRUE(gt_test::ReadPnm(ppm, pnm) && gt_test::LoadPnm(pnm, got));
    ASSERT_EQ(got.Width(), 13);
    ASSERT_EQ(got.Height(), 7);
    for (Integer y = 0; y < 7; ++y)
      for (Integer x = 0; x < 13; ++x) {
        const Byte g = pf == ie8g ? src.GetPixelByte(x, y) : 0;
        const auto want = pf == ie8g ? std::vector<Byte>{g, g, g} : PixelBytes(src, x, y);
        ASSERT_EQ(PixelBytes(got, x, y), want) << x << "," << y;
      }
  }
}

TEST_F(XvfbClipboard, XvfbPngOfAnotherProgramPastesAsItDecodes) {
  TIEBitmap src;
  Noise(src, 17, 9, ie24RGB);
  ASSERT_TRUE(gt_test::WritePnm(Dir.File("in.ppm"), src));
  const std::string png = Dir.File("in.png");
  ASSERT_EQ(gt_test::Shell("convert " + Dir.File("in.ppm") + " png:" + png), 0);
  // xclip stays in the background as the clipboard's owner until another
  // program takes the clipboard (the end of this test).
  ASSERT_EQ(gt_test::Shell("xclip -selection clipboard -t image/png -i " + png), 0);
  ASSERT_TRUE(GtTestPumpUntil(
      [] { return gt_test::Shell("xclip -selection clipboard -t TARGETS -o | grep -qx image/png") == 0; }, 10000));
  TIEBitmap dst;
  Noise(dst, 3, 3, ie8g);
  auto p = TZiduzUvProc::CreateFromBitmap(&dst);
  p->PasteFromClipboard();
  ASSERT_EQ(dst.PixelFormat(), ie24RGB);
  EXPECT_EQ(Bytes(dst), Bytes(src));
  EXPECT_EQ(dst.Width(), 17);
  ASSERT_TRUE(p->CopyToClipboard(false));  // takes the clipboard back: xclip ends
}

}  // namespace

}  // namespace test_proc_clipboard_tests
