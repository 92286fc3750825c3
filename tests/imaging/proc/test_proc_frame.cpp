// The processor's frame: format admission, the masked shape of an operation,
// attachment and the view's lifetime.
#include <gtest/gtest.h>

#include "imaging/view/ziduzuvview.h"
#include "proc_test_util.h"

namespace test_proc_frame_tests {

using namespace proc_test;

namespace {

struct AdmitCase {
  TIEPixelFormatSet Allowed;
  TIEPixelFormat Expected[IEPixelFormatCount];  // by source format; ieNone: not used
};

// Worked out by hand from the preference rows and the walk from 10 down.
const AdmitCase kAdmit[] = {
    {IEPixelFormats(ie24RGB),
     {ieNone, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB, ie24RGB}},
    {IEPixelFormats(ie1g), {ieNone, ie1g, ie1g, ie1g, ie1g, ie1g, ie1g, ie1g, ie1g, ie1g, ie1g}},
    {IEPixelFormats(ie8g, ieCMYK),
     {ieNone, ie8g, ieCMYK, ie8g, ie8g, ieCMYK, ie8g, ieCMYK, ieCMYK, ieCMYK, ieCMYK}},
    {IEPixelFormats(ie16g, ieRGB48),
     {ieNone, ie16g, ieRGB48, ie16g, ie16g, ieRGB48, ie16g, ieRGB48, ieRGB48, ieRGB48, ieRGB48}},
};

TEST(ProcFrame, CheckPixelFormatFollowsThePreferenceRowsThenTheWalkDown) {
  for (const AdmitCase& c : kAdmit)
    for (int f = 1; f < IEPixelFormatCount; ++f) {
      SCOPED_TRACE(testing::Message() << "set " << c.Allowed << " from format " << f);
      TIEBitmap b;
      Noise(b, 5, 3, static_cast<TIEPixelFormat>(f));
      auto p = TZiduzUvProc::CreateFromBitmap(&b);
      EXPECT_TRUE(p->CheckPixelFormat(c.Allowed));
      EXPECT_EQ(b.PixelFormat(), c.Expected[f]);
      EXPECT_EQ(b.Width(), 5);
    }
}

TEST(ProcFrame, WithoutAutoConvertARefusedFormatIsLeftAlone) {
  TIEBitmap b;
  Noise(b, 4, 4, ie8g);
  const auto before = Bytes(b);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  p->SetAutoConvertFormat(false);
  EXPECT_FALSE(p->CheckPixelFormat(IEPixelFormats(ie24RGB)));
  EXPECT_TRUE(p->CheckPixelFormat(IEPixelFormats(ie24RGB, ie8g)));
  EXPECT_TRUE(p->CheckPixelFormat(0));
  EXPECT_EQ(b.PixelFormat(), ie8g);
  EXPECT_EQ(Bytes(b), before);
}

// Inverts every byte of the operation's rectangle through the frame.
void InvertThroughFrame(TZiduzUvProc& P, TIEPixelFormatSet Allowed) {
  TIEProcOperation op;
  if (!P.BeginOperation(Allowed, u"Invert", op)) return;
  const Integer n = IEPixelFormatByteCount(op.Work->PixelFormat());
  for (Integer y = op.y1; y < op.y2; ++y) {
    Byte* r = static_cast<Byte*>(op.Work->GetScanline(y));
    for (Integer i = op.x1 * n; i < op.x2 * n; ++i) r[i] = static_cast<Byte>(~r[i]);
  }
  P.EndOperation(op);
  P.DoFinishWork();
}

TEST(ProcFrame, AMaskedOperationChangesOnlyTheSelectedPixels) {
  MaskedProc p;
  TIEBitmap b;
  Noise(b, 40, 30, ie24RGB);
  TIEBitmap original;
  original.Assign(&b);
  p.SetAttachedIEBitmap(&b);
  p.SelectEllipse(40, 30, 5, 4, 30, 25);
  InvertThroughFrame(p, IEPixelFormats(ie24RGB));
  int inside = 0;
  for (Integer y = 0; y < 30; ++y)
    for (Integer x = 0; x < 40; ++x) {
      auto now = PixelBytes(b, x, y), was = PixelBytes(original, x, y);
      if (p.Selection->IsPointInside(x, y)) {
        ++inside;
        for (int c = 0; c < 3; ++c) ASSERT_EQ(now[c], Byte(~was[c])) << x << "," << y;
      } else {
        ASSERT_EQ(now, was) << x << "," << y;
      }
    }
  EXPECT_GT(inside, 300);
}

TEST(ProcFrame, AnEmptyMaskOfASelectionMeansTheWholePicture) {
  MaskedProc p;
  TIEBitmap b;
  Noise(b, 8, 6, ie8g);
  TIEBitmap original;
  original.Assign(&b);
  p.SetAttachedIEBitmap(&b);
  p.Selection = std::make_unique<TIEMask>();
  p.Selection->AllocateBits(8, 6, 1);
  InvertThroughFrame(p, IEPixelFormats(ie8g));
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 8; ++x) ASSERT_EQ(b.GetPixelByte(x, y), Byte(~original.GetPixelByte(x, y)));
}

TEST(ProcFrame, ARefusedFormatEndsTheOperationBeforeItsUndoEntry) {
  // The user's one real entry must survive an operation that cannot run.
  TIEBitmap b;
  Noise(b, 6, 6, ie8g);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  p.Flip(0);
  ASSERT_EQ(p.GetUndoCount(), 1);
  p.SetAutoConvertFormat(false);
  Events ev;
  ev.Attach(p);
  InvertThroughFrame(p, IEPixelFormats(ie24RGB));
  EXPECT_EQ(p.GetUndoCount(), 1);
  EXPECT_EQ(p.UndoCaptions(0), u"Flip");
  EXPECT_EQ(ev.Finished, 0);
  EXPECT_EQ(ev.Saved, 0);
}

TEST(ProcFrame, AMaskedOperationOnAConvertedPictureSavesTheOriginalFormat) {
  TIEBitmap b;
  Noise(b, 6, 5, ie8g);
  const auto before = Bytes(b);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetAttachedIEBitmap(&b);
  InvertThroughFrame(p, IEPixelFormats(ie24RGB));
  EXPECT_EQ(b.PixelFormat(), ie24RGB);
  p.Undo();
  EXPECT_EQ(b.PixelFormat(), ie8g);
  EXPECT_EQ(Bytes(b), before);
}

TEST(ProcFrame, FinishReportsExactlyOneHundredAfterTheChange) {
  TIEBitmap b;
  Noise(b, 6, 5, ie24RGB);
  auto p = TZiduzUvProc::CreateFromBitmap(&b);
  Events ev;
  ev.Attach(*p);
  p->Flip(1);
  ASSERT_FALSE(ev.Progress.empty());
  EXPECT_EQ(ev.Progress.back(), 100);
  EXPECT_EQ(ev.Finished, 1);
  EXPECT_EQ(p->GetUndoCount(), 0);  // made without owner: no undo
}

TEST(ProcFrame, TheProcessorFollowsAndOutlivesItsView) {
  auto view = std::make_unique<TZiduzUvView>(nullptr);
  TZiduzUvProc p(nullptr);
  p.SetAttachedZiduzUv(view.get());
  EXPECT_EQ(p.AttachedIEBitmap(), view->GetIEBitmap());
  EXPECT_GE(p.ChangeHandlerHandle(), 0);
  ASSERT_TRUE(view->GetIEBitmap()->Allocate(10, 8, ie24RGB));
  p.Flip(0);
  view.reset();
  EXPECT_EQ(p.AttachedZiduzUv(), nullptr);
  EXPECT_EQ(p.ChangeHandlerHandle(), -1);
  // The processor's own empty picture: operations run on it without harm.
  EXPECT_TRUE(p.AttachedIEBitmap()->IsEmpty());
  p.Flip(0);
  p.Rotate(30);
  p.SetAttachedZiduzUv(nullptr);
  EXPECT_TRUE(p.AttachedIEBitmap()->IsEmpty());
}

TEST(ProcFrame, APlatformBitmapIsWrappedAndMarkedModified) {
  TBitmap tb;
  tb.SetPixelFormat(pf24bit);
  tb.SetSize(6, 4);
  TZiduzUvProc p(nullptr);
  p.SetAttachedBitmap(&tb);
  EXPECT_EQ(p.AttachedIEBitmap()->Width(), 6);
  tb.SetModified(false);
  p.Flip(0);
  EXPECT_TRUE(tb.Modified());
  p.Rotate(90, false);
  EXPECT_EQ(tb.Width(), 4);
  EXPECT_EQ(tb.Height(), 6);
}

}  // namespace

}  // namespace test_proc_frame_tests
