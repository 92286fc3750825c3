// The "IEV" object stream and the combined layers-and-objects stream: exact
// bytes of the empty stream, exact round trips, older versions written by an
// independent script, damaged files that must leave the view as it was, the
// probes, and the object undo list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/base/ieutils.h"
#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/io/iezlib.h"
#include "imaging/view/ievect.h"
#include "tests/imaging/view/view_test_util.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/stream_bytes.h"
#include "tests/support/temp_dir.h"

namespace vect_stream_tests {

using gt_test::StreamBytes;

struct TTagged : TIEVectCustomObject {
  AnsiString Data;
  std::unique_ptr<TIEVectCustomObject> Clone() override {
    auto c = std::make_unique<TTagged>();
    c->Data = Data;
    return c;
  }
  void SaveToStream(TStream* S) override { IESaveStringToStream(S, Data); }
  bool LoadFromStream(TStream* S) override {
    try {
      IELoadStringFromStream(S, Data);
      return true;
    } catch (const Exception&) {
      return false;
    }
  }
  static std::unique_ptr<TIEVectCustomObject> Make() { return std::make_unique<TTagged>(); }
};

std::vector<Byte> Inflate(const Byte* P, size_t N) {
  std::vector<Byte> out;
  void* raw = nullptr;
  Integer size = 0;
  ZDecompressBuffer(P, Integer(N), raw, size, 0);
  out.assign(static_cast<Byte*>(raw), static_cast<Byte*>(raw) + size);
  std::free(raw);
  return out;
}

class VectStream : public view_test::StartedViewTest {
 protected:
  TZiduzUvVect* MakeVect() {
    auto* v = new TZiduzUvVect(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(0, 0, 200, 150);
    return v;
  }
  static Integer AddPicture(TZiduzUvVect* V, TColor C, bool Alpha = false) {
    TIEVectObject o;
    o.Kind = vkBitmap;
    o.X2 = o.Y2 = 10;
    const Integer h = V->AddObject(o);
    TIEBitmap b;
    EXPECT_TRUE(b.Allocate(5, 3, ie24RGB));
    b.Fill(double(C));
    if (Alpha) {
      b.GetAlphaChannel()->Fill(255);
      static_cast<Byte*>(b.GetAlphaChannel()->GetScanline(1))[2] = 17;
      b.GetAlphaChannel()->SetFull(false);
    }
    V->SetObjBitmap(h, &b);
    return h;
  }
  // One object of every kind with fields away from their defaults.
  void FillEveryKind(TZiduzUvVect* V) {
    IEVectRegisterCustomClass("tagged", &TTagged::Make);
    const TIEVectObject& t = *V->GetObj(IEV_TEMPLATE);
    for (Byte k = vkLine; k <= vkCustom; ++k) {
      TIEVectObject o(t);
      o.Kind = TIEVectKind(k);
      o.X1 = 3 * k, o.Y1 = 90 - k, o.X2 = 40 + k, o.Y2 = 7;
      o.Name = "obj" + std::to_string(k);
      o.NameValue = -k;
      o.PenColor = 0x102030 + k;
      o.PenStyle = psDash;
      o.PenWidth = 2 + k;
      o.BrushColor = 0x405060;
      o.BrushStyle = bsCross;
      o.Transparency = 100 + k;
      o.FontQuality = 3;
      o.KeepAspect = true;
      o.Shadow->Enabled = true;
      o.Shadow->OffsetX = -4;
      o.Shadow->ShadowColor[2] = 9;
      o.Text = "text\xE9" + std::to_string(k);
      o.TextAlign = 2;
      o.AutoSize = true;
      o.Editable = false;
      o.BeginShape = leArrow;
      o.EndShape = leReverseArrow;
      o.ShapeWidth = 11;
      o.LabelBorder = 3;
      o.LabelBrushColor = 0x777777;
      o.ArcStart = 0.25;
      o.ArcEnd = 1.5;
      o.BitmapBorder = true;
      o.CurvePoints = {{0, 0.5}, {1, 0.25}};
      o.CharAngle = 450;
      o.RulerUnit = ieuMILLIMETERS;
      o.RulerType = rtScale;
      o.AnglePoints[2] = TPoint(-1000000, 0);
      o.Closed = true;
      if (k == vkPolyline) {
        o.Points = {TPoint(0, 0), TPoint(10, 5), TPoint(3, 9)};
        o.PointsBox = TRect(0, 0, 10, 9);
      }
      if (k == vkMemo) {
        o.MemoHasBitmap = true;
        o.MemoFormats.resize(2);
        o.MemoFormats[1].Name[0] = 'X';
        o.MemoCharFormats.assign(o.Text.size(), 1);
        o.MemoMargins[3] = 12.5;
        o.MemoLineSpacing = 3;
        o.MemoBackStyle = bsClear;
      }
      if (k == vkCustom) {
        auto c = std::make_unique<TTagged>();
        c->Data = "payload";
        o.CustomObject.P = std::move(c);
      }
      const Integer h = V->AddObject(o);
      if (k == vkText) {
        void* data = std::malloc(3);
        std::memcpy(data, "udb", 3);
        V->SetObjUserData(h, data);
        V->SetObjUserDataLen(h, 3);
      }
    }
    AddPicture(V, 0x0000FF, true);
  }
  void TearDown() override {
    IEVectUnregisterCustomClass(&TTagged::Make);
    StartedViewTest::TearDown();
  }
  static std::vector<Byte> Save(TZiduzUvVect* V) {
    TMemoryStream s;
    V->SaveObjectsToStream(&s);
    return StreamBytes(s);
  }
  static bool Load(TZiduzUvVect* V, const std::vector<Byte>& B) {
    TMemoryStream s;
    if (!B.empty()) s.WriteBuffer(B.data(), int64_t(B.size()));
    s.SetPosition(0);
    return V->LoadObjectsFromStream(&s);
  }
};

TEST_F(VectStream, EmptyViewWritesTheHeaderAndAnEmptyList) {
  TZiduzUvVect* v = MakeVect();
  const std::vector<Byte> b = Save(v);
  ASSERT_GE(b.size(), 30u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 3), "IEV");
  EXPECT_EQ(b[3], 0x51);
  EXPECT_EQ(gt_test::U32(b, 4), b.size());
  double scale;
  std::memcpy(&scale, b.data() + 8, 8);
  EXPECT_EQ(scale, 1.0);
  EXPECT_EQ(gt_test::U32(b, 16), 1u);  // the template's entry
  EXPECT_EQ(gt_test::U32(b, 20), 0u);  // used by no object: no picture
  // zlib at its default level, holding only the object count 0.
  EXPECT_EQ(b[24], 0x78);
  EXPECT_EQ(b[25], 0x9C);
  EXPECT_EQ(Inflate(b.data() + 24, b.size() - 24), std::vector<Byte>(4, 0));
}

TEST_F(VectStream, EveryKindRoundTripsExactly) {
  TZiduzUvVect* a = MakeVect();
  FillEveryKind(a);
  a->SetMeasureScale(0.5);
  const std::vector<Byte> first = Save(a);
  TZiduzUvVect* b = MakeVect();
  ASSERT_TRUE(Load(b, first));
  ASSERT_EQ(b->ObjectsCount(), a->ObjectsCount());
  EXPECT_EQ(Save(b), first);
  EXPECT_DOUBLE_EQ(b->MeasureScale(), 0.5);
  const TIEVectObject* text = b->GetObj(vkText - 1);
  ASSERT_EQ(text->UserDataLen, 3);
  EXPECT_EQ(std::memcmp(text->UserData, "udb", 3), 0);
  EXPECT_EQ(text->CurvePoints.size(), 2u);
  EXPECT_EQ(text->CharAngle, 450);
  const TIEVectObject* memo = b->GetObj(vkMemo - 1);
  EXPECT_EQ(memo->MemoFormats[1].Name[0], 'X');
  EXPECT_DOUBLE_EQ(memo->MemoMargins[3], 12.5);
  auto* custom = dynamic_cast<TTagged*>(b->GetObj(vkCustom - 1)->CustomObject.get());
  ASSERT_NE(custom, nullptr);
  EXPECT_EQ(custom->Data, "payload");
  EXPECT_EQ(b->GetObj(vkPolyline - 1)->Points[2], TPoint(3, 9));
  // The picture with its alpha channel.
  TIEBitmap* pic = b->GetStoredBitmap(b->GetObj(IEV_LAST)->BitmapIndex);
  ASSERT_NE(pic, nullptr);
  ASSERT_TRUE(pic->HasAlphaChannel());
  EXPECT_EQ(static_cast<Byte*>(pic->GetAlphaChannel()->GetScanline(1))[2], 17);
}

TEST_F(VectStream, AnObjectWithoutKindSavesAsAnEmptyGroup) {
  TZiduzUvVect* a = MakeVect();
  a->AddNewObject();  // the template's kind: none
  TIEVectObject box;
  box.Kind = vkBox;
  box.Name = "after";
  a->AddObject(box);
  TZiduzUvVect* b = MakeVect();
  ASSERT_TRUE(Load(b, Save(a)));
  ASSERT_EQ(b->ObjectsCount(), 1);
  EXPECT_EQ(b->GetObj(0)->Name, "after");
}

TEST_F(VectStream, SharedPictureIsStoredOnceAndSharedAgainAfterLoading) {
  TZiduzUvVect* a = MakeVect();
  AddPicture(a, 0x00FF00);
  AddPicture(a, 0x00FF00);
  const std::vector<Byte> b = Save(a);
  // After the header: two entries, the template's (count 0) and the shared one.
  EXPECT_EQ(gt_test::U32(b, 16), 2u);
  EXPECT_EQ(gt_test::U32(b, 20), 0u);
  EXPECT_EQ(gt_test::U32(b, 24), 2u);
  // The PNG runs from there to its IEND, and pngcheck accepts it.
  const std::string s(b.begin(), b.end());
  const size_t end = s.find("IEND");
  ASSERT_NE(end, std::string::npos);
  EXPECT_EQ(s.find("\x89PNG"), 28u);
  EXPECT_EQ(s.find("\x89PNG", 29), std::string::npos);
  gt_test::TempDir dir("vect");
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("e.png"), std::vector<uint8_t>(b.begin() + 28, b.begin() + end + 8)));
  ASSERT_TRUE(gt_test::HaveTool("pngcheck"));
  EXPECT_EQ(gt_test::Shell("pngcheck -q " + dir.File("e.png") + " >/dev/null"), 0);

  TZiduzUvVect* c = MakeVect();
  c->SetShareBitmaps(false);
  ASSERT_TRUE(Load(c, b));
  EXPECT_FALSE(c->ShareBitmaps());
  const Integer e = c->GetObj(0)->BitmapIndex;
  EXPECT_EQ(c->GetObj(1)->BitmapIndex, e);
  EXPECT_EQ(c->BitmapRefCount(e), 2);
}

TEST_F(VectStream, OlderVersionsLoadWithTheirDefaults) {
  gt_test::TempDir dir("vectfx");
  ASSERT_EQ(gt_test::Shell("python3 " + view_test::kHere + "/vect_fixtures.py " + dir.Path), 0);
  TZiduzUvVect* v = MakeVect();
  auto load = [&](const char* Name) { return v->LoadObjectsFromFile(Utf8ToWide(dir.File(Name))); };

  ASSERT_TRUE(load("v31.iev"));
  ASSERT_EQ(v->ObjectsCount(), 3);
  EXPECT_DOUBLE_EQ(v->MeasureScale(), 2.0);  // an integer scale
  TIEBitmap* green = v->GetStoredBitmap(v->GetObj(0)->BitmapIndex);
  ASSERT_NE(green, nullptr);
  EXPECT_EQ(green->Width(), 2);
  EXPECT_EQ(static_cast<Byte*>(green->GetScanline(1))[1], 255);
  EXPECT_EQ(v->GetObj(0)->Transparency, 255);
  EXPECT_FALSE(v->GetObj(0)->Shadow->Enabled);
  EXPECT_EQ(v->GetObj(0)->Shadow->OffsetX, 2);
  EXPECT_EQ(v->GetObj(1)->RulerType, rtScale);
  EXPECT_FALSE(v->GetObj(1)->Font.has_value());
  EXPECT_EQ(v->GetObj(2)->Text, "hello");
  EXPECT_EQ(v->GetObj(2)->TextAlign, 0);
  EXPECT_EQ(v->GetObj(2)->CharAngle, -10);
  EXPECT_TRUE(v->GetObj(2)->Editable);

  ASSERT_TRUE(load("v34.iev"));
  EXPECT_FALSE(v->GetObj(0)->Font.has_value());
  EXPECT_EQ(v->GetObj(0)->RulerUnit, ieuPIXELS);
  EXPECT_EQ(v->GetObj(1)->TextAlign, 1);

  ASSERT_TRUE(load("v35.iev"));
  ASSERT_TRUE(v->GetObj(0)->Font.has_value());
  EXPECT_EQ(v->GetObj(0)->Font->lfHeight, 12);
  EXPECT_STREQ(v->GetObj(0)->Font->lfFaceName, "Arial");
  EXPECT_EQ(v->GetObj(0)->RulerUnit, ieuMILLIMETERS);

  // The alpha block follows the picture only in the versions that had it.
  ASSERT_TRUE(load("v3c.iev"));
  ASSERT_EQ(v->ObjectsCount(), 2);
  TIEBitmap* red = v->GetStoredBitmap(v->GetObj(0)->BitmapIndex);
  ASSERT_NE(red, nullptr);
  ASSERT_TRUE(red->HasAlphaChannel());
  EXPECT_EQ(static_cast<Byte*>(red->GetAlphaChannel()->GetScanline(0))[0], 0);
  EXPECT_EQ(static_cast<Byte*>(red->GetAlphaChannel()->GetScanline(1))[2], 40);
  EXPECT_EQ(v->GetObj(1)->X2, 30);
  ASSERT_TRUE(load("v3d.iev"));
  ASSERT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(v->GetObj(1)->Transparency, 200);
  EXPECT_EQ(v->GetObj(1)->Name, "box");

  ASSERT_TRUE(load("group.iev"));
  ASSERT_EQ(v->ObjectsCount(), 2);
  EXPECT_EQ(v->GetObj(0)->Name, "a");
  EXPECT_EQ(v->GetObj(1)->Name, "b");

  ASSERT_TRUE(load("memo.iev"));
  EXPECT_EQ(v->GetObj(0)->MemoCharFormats, (std::vector<Integer>{0, 1}));
}

TEST_F(VectStream, DamagedStreamsChangeNothing) {
  gt_test::TempDir dir("vectbad");
  ASSERT_EQ(gt_test::Shell("python3 " + view_test::kHere + "/vect_fixtures.py " + dir.Path), 0);
  TZiduzUvVect* v = MakeVect();
  AddPicture(v, 0xABCDEF);
  v->AddNewObject();
  v->SetShareBitmaps(false);
  v->SetMeasureScale(3);
  const std::vector<Byte> before = Save(v);
  const Integer templateIndex = v->GetObj(IEV_TEMPLATE)->BitmapIndex;

  std::vector<std::vector<Byte>> bad;
  for (const char* name : {"deep.iev", "bad_index.iev", "free_index.iev", "bad_format.iev"})
    bad.push_back(gt_test::ReadFileBytes(dir.File(name)));
  // A sound stream cut short anywhere, and one whose compressed part is damaged.
  const std::vector<Byte> good = Save(v);
  for (size_t cut : {size_t(3), size_t(10), size_t(26), good.size() / 2, good.size() - 1})
    bad.emplace_back(good.begin(), good.begin() + cut);
  std::vector<Byte> corrupt = good;
  corrupt[corrupt.size() - 6] ^= 0x55;
  bad.push_back(corrupt);
  std::vector<Byte> version = good;
  version[3] = 0x52;
  bad.push_back(version);

  for (size_t i = 0; i < bad.size(); ++i) {
    EXPECT_FALSE(Load(v, bad[i])) << i;
    EXPECT_FALSE(v->ShareBitmaps()) << i;
    EXPECT_EQ(v->GetObj(IEV_TEMPLATE)->BitmapIndex, templateIndex) << i;
    EXPECT_EQ(Save(v), before) << i;
  }
}

TEST_F(VectStream, LoadingRecomputesTheUnitFactors) {
  TZiduzUvVect* a = MakeVect();
  a->SetMeasureScale(2);
  const std::vector<Byte> b = Save(a);
  TZiduzUvVect* c = MakeVect();
  ASSERT_TRUE(Load(c, b));
  EXPECT_DOUBLE_EQ(c->UnitPerPixelX(), 2.0);
  EXPECT_DOUBLE_EQ(c->UnitPerPixelY(), 2.0);
}

TEST_F(VectStream, CombinedStreamPointsAtItsObjectsAndProbes) {
  TZiduzUvVect* a = MakeVect();
  SetPicture(a, 6, 4);
  AddPicture(a, 0x112233);
  TMemoryStream s;
  a->SaveAllToStream(&s, -1);
  std::vector<Byte> all = StreamBytes(s);
  const uint32_t at = gt_test::U32(all, 0);
  ASSERT_LT(at + 4, all.size());
  EXPECT_EQ(std::string(all.begin() + at, all.begin() + at + 3), "IEV");
  EXPECT_EQ(std::string(all.begin() + 4, all.begin() + 17), "ZIDUZUVLAYERS");

  auto probe = [](const std::vector<Byte>& B, bool Combined) {
    TMemoryStream m;
    if (!B.empty()) m.WriteBuffer(B.data(), int64_t(B.size()));
    m.SetPosition(0);
    const bool r = Combined ? IEIsImageWithObjectsStream(&m) : IEIsVectorObjectsStream(&m);
    EXPECT_EQ(m.Position(), 0);
    return r;
  };
  std::vector<Byte> beyond = all, negative = all;
  gt_test::PutU32(beyond, 0, uint32_t(all.size() + 1));
  gt_test::PutU32(negative, 0, uint32_t(-8));
  const std::vector<Byte> iev(all.begin() + at, all.end());
  struct Case {
    const std::vector<Byte>* Bytes;
    bool Combined, Expected;
  };
  const std::vector<Byte> shortOne{'I', 'E', 'V'};
  const Case cases[] = {{&all, true, true},     {&beyond, true, false}, {&negative, true, false},
                        {&iev, true, false},    {&iev, false, true},    {&all, false, false},
                        {&shortOne, false, false}};
  for (const Case& c : cases) EXPECT_EQ(probe(*c.Bytes, c.Combined), c.Expected);

  TZiduzUvVect* b = MakeVect();
  s.SetPosition(0);
  ASSERT_TRUE(b->LoadAllFromStream(&s));
  EXPECT_EQ(b->GetIEBitmap()->Width(), 6);
  ASSERT_EQ(b->ObjectsCount(), 1);

  // Damaged objects: neither the layers nor the objects change.
  TZiduzUvVect* c = MakeVect();
  SetPicture(c, 9, 9);
  c->AddNewObject();
  std::vector<Byte> cut(all.begin(), all.end() - 3);
  TMemoryStream m;
  m.WriteBuffer(cut.data(), int64_t(cut.size()));
  m.SetPosition(0);
  EXPECT_FALSE(c->LoadAllFromStream(&m));
  EXPECT_EQ(c->GetIEBitmap()->Width(), 9);
  EXPECT_EQ(c->ObjectsCount(), 1);
}

TEST_F(VectStream, UndoKeepsTheNewestStepsAndDropsUnchangedGestures) {
  TZiduzUvVect* v = MakeVect();
  v->SetObjAutoUndo(true);
  int saved = 0;
  v->SetOnSaveUndo([&](TObject*, TIEUndoSource S) {
    EXPECT_EQ(S, ieuObject);
    ++saved;
  });
  TIEVectObject box;
  box.Kind = vkBox;
  v->SaveUndoBeforeChange();
  v->AddObject(box);
  v->DoVectorialChanged();
  v->EndUndoGesture();
  v->SetObjectsModified(false);
  v->SaveUndoBeforeChange();
  v->AddObject(box);
  v->DoVectorialChanged();
  v->EndUndoGesture();
  ASSERT_EQ(v->ObjUndoCount(), 1);
  EXPECT_EQ(saved, 2);
  // The newer step: it holds the one object there was before the second change.
  TZiduzUvVect* probe = MakeVect();
  ASSERT_TRUE(probe->LoadObjectsFromStream(v->ObjUndoAt(0)));
  EXPECT_EQ(probe->ObjectsCount(), 1);

  // A click that changes nothing leaves the list as it was.
  v->SetObjUndoLimit(5);
  v->SetObjectsModified(false);
  const std::vector<Byte> kept = StreamBytes(*v->ObjUndoAt(0));
  v->SaveUndoBeforeChange();
  v->EndUndoGesture();
  ASSERT_EQ(v->ObjUndoCount(), 1);
  EXPECT_EQ(StreamBytes(*v->ObjUndoAt(0)), kept);

  v->SetObjUndoLimit(0);
  v->SaveUndoBeforeChange();
  EXPECT_EQ(v->ObjUndoCount(), 1);
}

}  // namespace vect_stream_tests
