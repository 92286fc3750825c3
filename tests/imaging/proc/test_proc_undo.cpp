// The undo and redo stacks: limits, index conventions, restore without pop,
// events, and the selection and layer states of a view.
#include <gtest/gtest.h>

#include "imaging/view/ziduzuvview.h"
#include "proc_test_util.h"

namespace test_proc_undo_tests {

using namespace proc_test;

namespace {

// A view whose selection is one integer and whose layers are (identifier,
// value) records, so that restores can be seen.
class StateView : public TZiduzUvView, public TIEUndoViewState {
 public:
  StateView() : TZiduzUvView(nullptr) {}
  int32_t Selection = 0;
  struct Layer {
    Byte Id[16];
    int32_t Value;
    int Loads;
  };
  std::vector<Layer> FakeLayers;
  int32_t RecordLength = 24;  // what the next records claim to be long

  void SaveSelectionToStream(TStream* S) override { S->WriteBuffer(&Selection, 4); }
  void LoadSelectionFromStream(TStream* S, Integer Mode) override {
    EXPECT_EQ(Mode, 1);
    S->ReadBuffer(&Selection, 4);
  }
  Integer UndoLayerCount() override { return static_cast<Integer>(FakeLayers.size()); }
  void SaveLayerToStream(Integer I, TStream* S, bool) override {
    S->WriteBuffer(&RecordLength, 4);
    S->WriteBuffer(FakeLayers[I].Id, 16);
    S->WriteBuffer(&FakeLayers[I].Value, 4);
  }
  void LoadLayerFromStream(Integer I, TStream* S) override {
    int32_t len;
    Byte id[16];
    S->ReadBuffer(&len, 4);
    S->ReadBuffer(id, 16);
    S->ReadBuffer(&FakeLayers[I].Value, 4);
    ++FakeLayers[I].Loads;
  }
  void GetLayerIdentifier(Integer I, Byte Id[16]) override { std::memcpy(Id, FakeLayers[I].Id, 16); }
  void SaveLayersToStream(TStream*, Integer) override {}
  void LoadLayersFromStream(TStream*) override {}
  void AddLayer(Byte Tag, int32_t Value) {
    Layer l{};
    std::memset(l.Id, Tag, 16);
    l.Value = Value;
    FakeLayers.push_back(l);
  }
};

// A 4 x 3 picture whose first byte tells the states apart.
void Mark(TIEBitmap& B, Byte V) { static_cast<Byte*>(B.GetScanline(0))[0] = V; }
Byte MarkOf(TIEBitmap& B) { return static_cast<Byte*>(B.GetScanline(0))[0]; }

struct Fixture {
  TIEBitmap B;
  TZiduzUvProc P{nullptr};
  Events Ev;
  explicit Fixture(Integer Limit, Integer W = 4, Integer H = 3) {
    Noise(B, W, H, ie8g);
    P.SetAutoUndo(true);
    P.SetUndoLimit(Limit);
    P.SetAttachedIEBitmap(&B);
    Ev.Attach(P);
  }
  // Saves the present state, then moves on to the next mark.
  void Step(Byte Next) {
    P.SaveUndoCaptioned(u"step", ieuImage);
    Mark(B, Next);
  }
};

TEST(ProcUndo, StacksKeepTheNewestEntriesUpToTheLimit) {
  struct Case {
    Integer Limit, W, H, Steps, Count, Saved;
  } cases[] = {
      {1, 4, 3, 2, 1, 2},  // default limit: the state before the second step
      {3, 4, 3, 5, 3, 5},
      {0, 4, 3, 2, 0, 0},  // saving off: no entry, no event
      {1, 1, 1, 2, 0, 0},  // a 1 x 1 picture is never saved
      {1, 1, 5, 2, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.Limit << " size " << c.W << "x" << c.H);
    Fixture f(c.Limit, c.W, c.H);
    for (Integer i = 0; i < c.Steps; ++i) f.Step(static_cast<Byte>(10 + i));
    EXPECT_EQ(f.P.GetUndoCount(), c.Count);
    EXPECT_EQ(f.Ev.Saved, c.Saved);
    if (c.Count > 0) {
      f.P.Undo();
      EXPECT_EQ(MarkOf(f.B), 10 + c.Steps - 2);
    }
  }
}

TEST(ProcUndo, UndoRestoresWithoutPoppingAndCountsFromTheNewest) {
  Fixture f(3);
  f.Step(1);
  f.Step(2);
  f.Step(3);  // entries hold marks of before, 1, 2
  const Byte first = 0;
  (void)first;
  f.P.Undo();
  EXPECT_EQ(MarkOf(f.B), 2);
  Mark(f.B, 99);
  f.P.Undo();  // twice in a row: the same state
  EXPECT_EQ(MarkOf(f.B), 2);
  EXPECT_EQ(f.P.GetUndoCount(), 3);
  f.P.UndoAt(1);
  EXPECT_EQ(MarkOf(f.B), 1);
  f.P.UndoAt(3);  // outside: nothing
  EXPECT_EQ(MarkOf(f.B), 1);
  f.P.ClearUndoAt(0);  // drops the newest (mark 2)
  f.P.Undo();
  EXPECT_EQ(MarkOf(f.B), 1);
  f.P.ClearUndo();
  EXPECT_EQ(f.P.GetUndoCount(), 1);
  f.P.ClearUndoAt(5);
  EXPECT_EQ(f.P.GetUndoCount(), 1);
  EXPECT_EQ(f.Ev.Finished, 0);  // restoring finishes no work
}

TEST(ProcUndo, UndoWithRedoThenRedoComesBack) {
  Fixture f(2);
  f.Step(5);
  f.P.Undo(true);
  ASSERT_EQ(f.P.GetRedoCount(), 1);
  EXPECT_NE(MarkOf(f.B), 5);
  const int savedEvents = f.Ev.Saved;
  f.P.Redo();
  EXPECT_EQ(MarkOf(f.B), 5);
  EXPECT_EQ(f.P.GetRedoCount(), 1);
  EXPECT_EQ(f.Ev.Saved, savedEvents);  // the redo stack fires nothing
}

TEST(ProcUndo, SourcesCountFromTheOldestWhileRestoresCountFromTheNewest) {
  StateView view;
  ASSERT_TRUE(view.GetIEBitmap()->Allocate(4, 4, ie24RGB));
  TZiduzUvProc p(nullptr);
  p.SetUndoLimit(3);
  p.SetAttachedZiduzUv(&view);
  view.Selection = 1;
  p.SaveUndo(ieuSelection);
  p.SaveUndo(ieuImage);
  view.Selection = 2;
  p.SaveUndo(ieuSelection);
  view.Selection = 3;
  EXPECT_EQ(p.GetUndoSource(0), ieuSelection);
  EXPECT_EQ(p.GetUndoSource(1), ieuImage);
  EXPECT_EQ(p.GetUndoSource(3), ieuUnknown);
  EXPECT_EQ(p.GetUndoSource(-1), ieuUnknown);
  p.UndoAt(0);
  EXPECT_EQ(view.Selection, 2);
  p.UndoAt(2);
  EXPECT_EQ(view.Selection, 1);
}

TEST(ProcUndo, LayersAreRestoredByIdentifierAndDeletedOnesAreSkipped) {
  StateView view;
  ASSERT_TRUE(view.GetIEBitmap()->Allocate(4, 4, ie24RGB));
  view.AddLayer(1, 100);
  view.AddLayer(2, 200);
  view.AddLayer(3, 300);
  TZiduzUvProc p(nullptr);
  p.SetAttachedZiduzUv(&view);
  p.SaveUndo(ieuLayer);
  view.FakeLayers.erase(view.FakeLayers.begin() + 1);  // layer 2 deleted since
  view.FakeLayers[0].Value = 0;
  view.FakeLayers[1].Value = 0;
  view.AddLayer(4, 400);  // added since: left alone
  p.Undo();
  EXPECT_EQ(view.FakeLayers[0].Value, 100);
  EXPECT_EQ(view.FakeLayers[1].Value, 300);
  EXPECT_EQ(view.FakeLayers[2].Value, 400);
  EXPECT_EQ(view.FakeLayers[2].Loads, 0);
}

TEST(ProcUndo, ADamagedLayerRecordLengthEndsTheRestore) {
  for (int32_t bad : {0, 4, 19, 1000, -24}) {
    SCOPED_TRACE(bad);
    StateView view;
    ASSERT_TRUE(view.GetIEBitmap()->Allocate(4, 4, ie24RGB));
    view.AddLayer(1, 100);
    view.AddLayer(2, 200);
    TZiduzUvProc p(nullptr);
    p.SetAttachedZiduzUv(&view);
    view.RecordLength = bad;
    p.SaveUndo(ieuLayer);
    view.FakeLayers[0].Value = view.FakeLayers[1].Value = 0;
    p.Undo();  // must come back, and load nothing it cannot trust
    EXPECT_EQ(view.FakeLayers[0].Loads + view.FakeLayers[1].Loads, 0);
  }
}

TEST(ProcUndo, OperationsCaptionTheirEntries) {
  TIEBitmap b;
  Noise(b, 20, 10, ie24RGB);
  TZiduzUvProc p(nullptr);
  p.SetAutoUndo(true);
  p.SetUndoLimit(10);
  p.SetAttachedIEBitmap(&b);
  p.Rotate(12.5, false);
  p.Resample(40, 30, rfTriangle);
  p.ImageResize(640, 480);
  p.Crop(1, 1, 5, 5);
  p.Flip(1);
  const std::u16string want[] = {u"Rotate 12.5", u"Resample 40,30", u"ImageResize 640,480", u"Crop", u"Flip"};
  ASSERT_EQ(p.GetUndoCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.UndoCaptions(i), want[i]);
}

}  // namespace

namespace {

TEST(ProcUndo, TheSingleImageViewsSelectionLayersAndLayerPicturesComeBack) {
  TZiduzUvView view(nullptr);
  view.SetSelectionBase(iesbBitmap);
  ASSERT_TRUE(view.GetIEBitmap()->Allocate(40, 30, ie24RGB));
  view.GetIEBitmap()->Fill(0);
  view.Update();  // the selection mask follows the picture's size
  TZiduzUvProc p(nullptr);
  p.SetUndoLimit(5);
  p.SetAttachedZiduzUv(&view);

  view.Select(5, 4, 20, 15);
  ASSERT_TRUE(view.Selected());
  const Integer x1 = view.SelectionMask()->X1, y2 = view.SelectionMask()->Y2;
  p.SaveUndo(ieuSelection);
  view.Deselect();
  ASSERT_FALSE(view.Selected());
  p.Undo();
  EXPECT_TRUE(view.Selected());
  EXPECT_EQ(view.SelectionMask()->X1, x1);
  EXPECT_EQ(view.SelectionMask()->Y2, y2);
  // A masked operation now works through the view's own selection.
  p.IntensityRGBall(10, 10, 10);
  EXPECT_EQ(view.GetIEBitmap()->GetPixelTriple(x1 + 1, y2 - 1).r, 10);
  EXPECT_EQ(view.GetIEBitmap()->GetPixelTriple(0, 0).r, 0);
  view.Deselect();

  const Integer layer = view.AddLayer();
  ASSERT_EQ(layer, 1);
  view.Layers(1)->PosX = 7;
  p.SaveUndo(ieuLayer);
  view.Layers(1)->PosX = 30;
  p.Undo();
  EXPECT_EQ(view.Layers(1)->PosX, 7);

  view.SetCurrentLayer(1);
  TIEBitmap* lb = view.Layers(1)->Bitmap;
  ASSERT_TRUE(lb->Allocate(6, 6, ie24RGB));
  lb->Fill(static_cast<double>(0x0000FF));
  p.SaveUndo(ieuImage);
  lb->Fill(0);
  view.SetCurrentLayer(0);
  p.Undo();  // back into layer 1, whichever layer is current now
  EXPECT_EQ(view.Layers(1)->Bitmap->GetPixelTriple(3, 3).r, 255);
  EXPECT_EQ(view.Layers(0)->Bitmap->Width(), 40);
}

}  // namespace

}  // namespace test_proc_undo_tests
