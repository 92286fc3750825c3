// The vector view's object model: handles, normalisation, the shared bitmap
// store and its compaction, the selection list and its events, the extent,
// and the template's picture across RemoveAllObjects.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/view/ievect.h"
#include "tests/imaging/view/view_test_util.h"

namespace vect_model_tests {

// A custom object that counts its instances, so a leak or a double free of
// clones shows.
struct TCountingObject : TIEVectCustomObject {
  static inline int Alive = 0;
  Integer Payload = 0;
  TCountingObject() { ++Alive; }
  ~TCountingObject() override { --Alive; }
  std::unique_ptr<TIEVectCustomObject> Clone() override {
    auto c = std::make_unique<TCountingObject>();
    c->Payload = Payload;
    return c;
  }
  static std::unique_ptr<TIEVectCustomObject> Make() { return std::make_unique<TCountingObject>(); }
};

// W x H 24-bit picture filled with one colour.
void Solid(TIEBitmap& B, Integer W, Integer H, TColor C) {
  ASSERT_TRUE(B.Allocate(W, H, ie24RGB));
  B.Fill(double(C));
}

class VectModel : public view_test::ViewTest {
 protected:
  TZiduzUvVect* MakeVect() {
    auto* v = new TZiduzUvVect(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(0, 0, 200, 150);
    return v;
  }
  // A bitmap object with a W x W picture of colour C; its handle.
  static Integer AddBitmapObject(TZiduzUvVect* V, TColor C, Integer W = 4) {
    TIEVectObject o;
    o.Kind = vkBitmap;
    o.X2 = o.Y2 = 10;
    const Integer h = V->AddObject(o);
    TIEBitmap b;
    Solid(b, W, W, C);
    V->SetObjBitmap(h, &b);
    return h;
  }
};

TEST_F(VectModel, HandlesStartAtZeroAndRestartAfterRemoveAll) {
  TZiduzUvVect* v = MakeVect();
  EXPECT_EQ(v->GetObj(IEV_LAST), nullptr);
  EXPECT_EQ(v->AddNewObject(), 0);
  EXPECT_EQ(v->AddNewObject(), 1);
  EXPECT_EQ(v->GetObj(IEV_LAST), v->GetObj(1));
  EXPECT_EQ(v->GetObj(IEV_ALL), nullptr);
  EXPECT_EQ(v->GetObj(IEV_NONE), nullptr);
  // Handles that name nothing give nothing rather than a stray record.
  EXPECT_EQ(v->GetObj(2), nullptr);
  EXPECT_EQ(v->GetObj(-7), nullptr);
  v->RemoveAllObjects();
  EXPECT_EQ(v->ObjectsCount(), 0);
  EXPECT_TRUE(v->ZOrder().empty());
  EXPECT_EQ(v->AddNewObject(), 0);
  EXPECT_EQ(v->GetObj(IEV_LAST), v->GetObj(0));
}

TEST_F(VectModel, TemplateHoldsTheDocumentedStartValues) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject* t = v->GetObj(IEV_TEMPLATE);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(TRect(t->X1, t->Y1, t->X2, t->Y2), TRect(0, 0, 63, 63));
  EXPECT_EQ(t->ShapeWidth, 10);
  EXPECT_EQ(t->ShapeLength, 20);
  EXPECT_EQ(t->CharAngle, -10);
  EXPECT_EQ(t->Style, 15);
  EXPECT_EQ(t->RulerType, rtLabelCentre);
  EXPECT_DOUBLE_EQ(t->ArcEnd, 2 * 3.14159265358979323846);
  EXPECT_EQ(t->AnglePoints[2], TPoint(50, 50));
  ASSERT_TRUE(t->Shadow.has_value());
  EXPECT_DOUBLE_EQ(t->Shadow->Radius, 3.0);
  ASSERT_TRUE(t->Font.has_value());
  EXPECT_STREQ(t->Font->lfFaceName, "Arial");
  TIEBitmap* icon = v->GetStoredBitmap(t->BitmapIndex);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->Width(), 64);
  EXPECT_EQ(icon->PixelFormat(), ie24RGB);
}

TEST_F(VectModel, OnlyUndirectedKindsAreNormalised) {
  TZiduzUvVect* v = MakeVect();
  struct Case {
    TIEVectKind Kind;
    bool Normalised;
  };
  const Case cases[] = {{vkLine, false},     {vkRuler, false}, {vkPolyline, false}, {vkLineLabel, false},
                        {vkBox, true},       {vkEllipse, true}, {vkArc, true},      {vkText, true},
                        {vkAngle, true},     {vkMemo, true},    {vkBitmap, true}};
  for (const Case& c : cases) {
    TIEVectObject o;
    o.Kind = c.Kind;
    o.X1 = 50, o.Y1 = 40, o.X2 = 10, o.Y2 = 20;
    const TIEVectObject* n = v->GetObj(v->AddObject(o));
    const TRect got(n->X1, n->Y1, n->X2, n->Y2);
    EXPECT_EQ(got, c.Normalised ? TRect(10, 20, 50, 40) : TRect(50, 40, 10, 20)) << int(c.Kind);
  }
}

TEST_F(VectModel, SharedStoreCountsReferencesAndReusesFreedEntries) {
  TZiduzUvVect* v = MakeVect();
  const Integer a = AddBitmapObject(v, 0x0000FF), b = AddBitmapObject(v, 0x0000FF);
  const Integer entry = v->GetObj(a)->BitmapIndex;
  EXPECT_EQ(v->GetObj(b)->BitmapIndex, entry);
  EXPECT_EQ(v->BitmapRefCount(entry), 2);
  const Integer storeSize = v->BitmapStoreCount();
  v->SetObjBitmap(a, nullptr);
  EXPECT_EQ(v->GetObj(a)->BitmapIndex, -1);
  EXPECT_EQ(v->BitmapRefCount(entry), 1);
  EXPECT_NE(v->GetStoredBitmap(entry), nullptr);
  v->SetObjBitmap(b, nullptr);
  EXPECT_EQ(v->GetStoredBitmap(entry), nullptr);
  EXPECT_EQ(v->BitmapRefCount(entry), 0);
  // A different picture takes the freed entry instead of growing the store.
  const Integer c = AddBitmapObject(v, 0x00FF00);
  EXPECT_EQ(v->GetObj(c)->BitmapIndex, entry);
  EXPECT_EQ(v->BitmapStoreCount(), storeSize);
}

TEST_F(VectModel, WithoutSharingEqualPicturesGetEntriesOfTheirOwn) {
  TZiduzUvVect* v = MakeVect();
  v->SetShareBitmaps(false);
  const Integer a = AddBitmapObject(v, 0x0000FF), b = AddBitmapObject(v, 0x0000FF);
  const Integer ea = v->GetObj(a)->BitmapIndex, eb = v->GetObj(b)->BitmapIndex;
  EXPECT_NE(ea, eb);
  EXPECT_EQ(v->BitmapRefCount(ea), 1);
  EXPECT_EQ(v->BitmapRefCount(eb), 1);
  EXPECT_TRUE(IEBitmapsEqual(v->GetStoredBitmap(ea), v->GetStoredBitmap(eb)));
  // By index, without sharing: a copy in an entry of its own.
  const Integer c = v->AddNewObject();
  v->GetObj(c)->Kind = vkBitmap;
  ASSERT_TRUE(v->SetObjBitmapIndex(c, ea));
  EXPECT_NE(v->GetObj(c)->BitmapIndex, ea);
  EXPECT_EQ(v->BitmapRefCount(ea), 1);
}

TEST_F(VectModel, CompactionDropsFreeEntriesAndRenumbers) {
  TZiduzUvVect* v = MakeVect();
  // Entry 0 is the template's; three objects take entries 1, 2 and 3.
  ASSERT_EQ(v->GetObj(IEV_TEMPLATE)->BitmapIndex, 0);
  const Integer a = AddBitmapObject(v, 0x0000FF), b = AddBitmapObject(v, 0x00FF00), c = AddBitmapObject(v, 0xFF0000);
  ASSERT_EQ(v->GetObj(a)->BitmapIndex, 1);
  ASSERT_EQ(v->GetObj(b)->BitmapIndex, 2);
  ASSERT_EQ(v->GetObj(c)->BitmapIndex, 3);
  v->SetObjBitmap(IEV_TEMPLATE, nullptr);
  v->SetObjBitmap(b, nullptr);
  v->CompactBitmaps();
  EXPECT_EQ(v->BitmapStoreCount(), 2);
  EXPECT_EQ(v->GetObj(a)->BitmapIndex, 0);
  EXPECT_EQ(v->GetObj(c)->BitmapIndex, 1);
  EXPECT_EQ(v->GetObj(b)->BitmapIndex, -1);
  EXPECT_EQ(v->GetObj(IEV_TEMPLATE)->BitmapIndex, -1);
  Byte* px = static_cast<Byte*>(v->GetStoredBitmap(1)->GetScanline(0));
  EXPECT_EQ(px[0], 0xFF);  // blue first: the third picture's colour
}

TEST_F(VectModel, StoreIndexesAreBoundsChecked) {
  TZiduzUvVect* v = MakeVect();
  const Integer a = AddBitmapObject(v, 0x0000FF), b = AddBitmapObject(v, 0x00FF00);
  const Integer ea = v->GetObj(a)->BitmapIndex, eb = v->GetObj(b)->BitmapIndex;
  v->SetObjBitmap(b, nullptr);  // eb is free now
  // Beyond the store, on a free entry, on a handle that names nothing: refused, nothing counted.
  EXPECT_FALSE(v->SetObjBitmapIndex(a, v->BitmapStoreCount() + 5));
  EXPECT_FALSE(v->SetObjBitmapIndex(a, eb));
  EXPECT_FALSE(v->SetObjBitmapIndex(99, ea));
  EXPECT_EQ(v->GetObj(a)->BitmapIndex, ea);
  EXPECT_EQ(v->BitmapRefCount(ea), 1);
  EXPECT_EQ(v->BitmapRefCount(eb), 0);
  EXPECT_EQ(v->GetStoredBitmap(v->BitmapStoreCount()), nullptr);
  EXPECT_EQ(v->GetStoredBitmap(-1), nullptr);
  // The freed entry really is free: the next new picture lands there with count 1.
  const Integer c = AddBitmapObject(v, 0x123456);
  EXPECT_EQ(v->GetObj(c)->BitmapIndex, eb);
  EXPECT_EQ(v->BitmapRefCount(eb), 1);
  ASSERT_NE(v->GetStoredBitmap(eb), nullptr);
  // Giving an object the entry it already has, as its only user, keeps the picture.
  EXPECT_TRUE(v->SetObjBitmapIndex(c, eb));
  EXPECT_NE(v->GetStoredBitmap(eb), nullptr);
  EXPECT_EQ(v->BitmapRefCount(eb), 1);
}

TEST_F(VectModel, SelectionEventsAndSelectableFlag) {
  TZiduzUvVect* v = MakeVect();
  int events = 0;
  v->OnSelectObject = [&](TObject*) { ++events; };
  const Integer a = v->AddNewObject();
  TIEVectObject locked;
  locked.Style = vsVisible;
  const Integer b = v->AddObject(locked);
  v->AddSelObjectQuiet(b);
  EXPECT_EQ(v->SelObjectsCount(), 0);
  v->UnSelObject(a);
  EXPECT_EQ(events, 0);
  v->UnSelAllObjectsQuiet();
  EXPECT_EQ(events, 1);
  v->AddSelObject(IEV_LAST);  // b again: not selectable, but the event still fires
  EXPECT_EQ(events, 2);
  EXPECT_EQ(v->SelObjectsCount(), 0);
  v->AddSelObjectQuiet(a);
  EXPECT_TRUE(v->IsSelObject(a));
  v->UnSelObject(a);
  EXPECT_EQ(events, 3);
  EXPECT_FALSE(v->IsSelObject(a));
}

TEST_F(VectModel, SelectObjectsInRectTakesEnclosedObjectsOnce) {
  TZiduzUvVect* v = MakeVect();
  struct Case {
    TIEVectKind Kind;
    TRect R;
    bool Inside;
  };
  const Case cases[] = {
      {vkLine, TRect(90, 80, 10, 10), true},   // a reversed line, enclosed once normalised
      {vkBox, TRect(10, 10, 100, 80), true},   // on the bounds: inclusive
      {vkBox, TRect(9, 10, 50, 50), false},    // one pixel outside
      {vkEllipse, TRect(20, 20, 101, 30), false},
  };
  for (const Case& c : cases) {
    TIEVectObject o;
    o.Kind = c.Kind;
    o.X1 = c.R.Left, o.Y1 = c.R.Top, o.X2 = c.R.Right, o.Y2 = c.R.Bottom;
    v->AddObject(o);
  }
  v->AddSelObjectQuiet(1);
  v->SelectObjectsInRect(IEV_ALL, 10, 10, 100, 80);
  ASSERT_EQ(v->SelObjectsCount(), 2);
  EXPECT_EQ(v->SelObjects()[0], 1);
  EXPECT_EQ(v->SelObjects()[1], 0);
}

TEST_F(VectModel, ExtentCountsBothCornersOfEveryObject) {
  TZiduzUvVect* v = MakeVect();
  TRect r(1, 2, 3, 4);
  v->GetObjectsExtent(r);
  EXPECT_EQ(r, TRect(0, 0, 0, 0));
  TIEVectObject line;
  line.Kind = vkLine;
  line.X1 = 10, line.Y1 = 90, line.X2 = 70, line.Y2 = 20;
  v->AddObject(line);
  v->GetObjectsExtent(r);
  EXPECT_EQ(r, TRect(0, 0, 71, 91));
}

TEST_F(VectModel, TemplatePictureSurvivesRemoveAllObjects) {
  TZiduzUvVect* v = MakeVect();
  AddBitmapObject(v, 0x0000FF);
  AddBitmapObject(v, 0x00FF00);
  v->RemoveAllObjects();
  TIEBitmap stop;
  IEVectDrawStopIcon(&stop, 64, 64);
  EXPECT_EQ(v->BitmapStoreCount(), 1);
  const Integer h = v->AddObject([&] {
    TIEVectObject o(*v->GetObj(IEV_TEMPLATE));
    o.Kind = vkBitmap;
    return o;
  }());
  TIEBitmap* shown = v->GetStoredBitmap(v->GetObj(h)->BitmapIndex);
  ASSERT_NE(shown, nullptr);
  EXPECT_TRUE(IEBitmapsEqual(shown, &stop));
  EXPECT_EQ(v->GetObj(h)->BitmapIndex, v->GetObj(IEV_TEMPLATE)->BitmapIndex);
  EXPECT_EQ(v->BitmapRefCount(v->GetObj(h)->BitmapIndex), 2);
}

TEST_F(VectModel, EveryKindIsCopiedDeeplyAndFreedOnRemoval) {
  IEVectRegisterCustomClass("counting", &TCountingObject::Make);
  {
    TZiduzUvVect* v = MakeVect();
    for (Byte k = vkLine; k <= vkCustom; ++k) {
      TIEVectObject o(*v->GetObj(IEV_TEMPLATE));
      o.Kind = TIEVectKind(k);
      o.Text = "abc";
      o.Name = "n";
      o.CurvePoints = {{0, 0}, {0.5, 1}};
      o.MemoHasBitmap = true;
      if (k == vkMemo) {
        o.MemoCharFormats = {0, 1, 0};
        o.MemoFormats.resize(2);
        o.MemoFormats[1].Height = 7;
      }
      if (k == vkPolyline) o.Points = {TPoint(1, 1), TPoint(5, 9)};
      if (k == vkCustom) {
        auto c = std::make_unique<TCountingObject>();
        c->Payload = 42;
        o.CustomObject.P = std::move(c);
      }
      const Integer h = v->AddObject(o);
      TIEVectObject* n = v->GetObj(h);
      EXPECT_EQ(n->Text, "abc");
      EXPECT_EQ(n->Points.size(), k == vkPolyline ? 2u : 0u);
      if (k == vkMemo) {
        EXPECT_EQ(n->MemoFormats[1].Height, 7);
      }
      if (k == vkCustom) {
        auto* c = dynamic_cast<TCountingObject*>(n->CustomObject.get());
        ASSERT_NE(c, nullptr);
        EXPECT_NE(c, o.CustomObject.get());
        EXPECT_EQ(c->Payload, 42);
        EXPECT_EQ(c->Record, n);
        EXPECT_EQ(c->Handle, h);
        EXPECT_EQ(c->Owner, v);
      }
      if (n->UsesBitmap()) {
        EXPECT_EQ(n->BitmapIndex, v->GetObj(IEV_TEMPLATE)->BitmapIndex);
      }
    }
    // The template, plus the bitmap and memo objects, share its picture.
    EXPECT_EQ(v->BitmapRefCount(v->GetObj(IEV_TEMPLATE)->BitmapIndex), 3);
    const Integer h = v->AddNewObject();
    v->SetObjUserData(h, std::malloc(16));
    v->SetObjUserDataLen(h, 16);
    v->RemoveAllObjects();
    EXPECT_EQ(TCountingObject::Alive, 0);
    EXPECT_EQ(v->BitmapRefCount(v->GetObj(IEV_TEMPLATE)->BitmapIndex), 1);
    v->AddObject([&] {
      TIEVectObject o;
      o.Kind = vkCustom;
      o.CustomObject.P = TCountingObject::Make();
      return o;
    }());
    EXPECT_EQ(TCountingObject::Alive, 1);
    delete v;
  }
  EXPECT_EQ(TCountingObject::Alive, 0);
  EXPECT_EQ(IEVectCustomClassName(&TCountingObject::Make), "counting");
  EXPECT_NE(IEVectFindCustomClass("counting"), nullptr);
  EXPECT_EQ(IEVectFindCustomClass("Counting"), nullptr);
  IEVectUnregisterCustomClass(&TCountingObject::Make);
  EXPECT_EQ(IEVectFindCustomClass("counting"), nullptr);
}

TEST_F(VectModel, CopyAndAssignGiveTheTargetPicturesOfItsOwn) {
  TZiduzUvVect* a = MakeVect();
  const Integer p = AddBitmapObject(a, 0x0000FF);
  AddBitmapObject(a, 0x0000FF);
  TIEVectObject line;
  line.Kind = vkLine;
  line.X1 = 30, line.X2 = 5;
  a->AddObject(line);
  a->SetMeasureScale(2.5);
  TZiduzUvVect* b = MakeVect();
  b->AddNewObject();
  b->Assign(a);
  ASSERT_EQ(b->ObjectsCount(), 3);
  EXPECT_DOUBLE_EQ(b->MeasureScale(), 2.5);
  EXPECT_EQ(b->GetObj(2)->X1, 30);
  const Integer e0 = b->GetObj(0)->BitmapIndex, e1 = b->GetObj(1)->BitmapIndex;
  EXPECT_NE(e0, e1);
  EXPECT_EQ(b->BitmapRefCount(e0), 1);
  EXPECT_TRUE(IEBitmapsEqual(b->GetStoredBitmap(e0), a->GetStoredBitmap(a->GetObj(p)->BitmapIndex)));
  EXPECT_TRUE(b->ObjectsModified());
}

TEST_F(VectModel, PolylinePointsGrowTheRectangleAndAnglesMoveTheirPlacedPoints) {
  TZiduzUvVect* v = MakeVect();
  TIEVectObject o;
  o.Kind = vkPolyline;
  o.X1 = o.X2 = 10;
  o.Y1 = o.Y2 = 10;
  const Integer h = v->AddObject(o);
  v->AddPolylinePoint(h, 10, 10);
  v->AddPolylinePoint(h, 10, 10);  // equal to the last: dropped
  v->AddPolylinePoint(h, 4, 30);
  TIEVectObject* n = v->GetObj(h);
  EXPECT_EQ(n->Points.size(), 2u);
  EXPECT_EQ(TRect(n->X1, n->Y1, n->X2, n->Y2), TRect(4, 10, 10, 30));
  EXPECT_EQ(n->PointsBox, TRect(4, 10, 10, 30));

  TIEVectObject a;
  a.Kind = vkAngle;
  a.AnglePoints[0] = TPoint(1, 2);
  a.AnglePoints[1] = TPoint(3, 4);
  a.AnglePoints[2] = TPoint(-1000000, 0);
  const Integer ha = v->AddObject(a);
  v->MoveObject(ha, 5, -1);
  n = v->GetObj(ha);
  EXPECT_EQ(n->AnglePoints[0], TPoint(6, 1));
  EXPECT_EQ(n->AnglePoints[1], TPoint(8, 3));
  EXPECT_EQ(n->AnglePoints[2], TPoint(-1000000, 0));
  EXPECT_EQ(n->X1, 5);
}

TEST_F(VectModel, ChangedOnceFiresOnlyUntilTheNextFullChange) {
  TZiduzUvVect* v = MakeVect();
  int fired = 0;
  v->OnVectorialChanged = [&](TObject*) { ++fired; };
  v->DoVectorialChangedOnce();
  v->DoVectorialChangedOnce();
  EXPECT_EQ(fired, 1);
  v->DoVectorialChanged();
  EXPECT_EQ(fired, 2);
  EXPECT_TRUE(v->ObjectsModified());
  v->DoVectorialChangedOnce();
  EXPECT_EQ(fired, 3);
}

}  // namespace vect_model_tests
