// The layers stream and the single-layer record: round trips in every
// encoding, the bytes as outside tools see them, older versions, streams
// inside larger streams, the probe, and damaged streams that must leave the
// view's layers as they were.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/kernels/iebitmapstats.h"
#include "imaging/io/ieprobes.h"
#include "platform/base/classes.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"
#include "view_test_util.h"

namespace test_view_layersio_tests {

using namespace view_test;

namespace {

std::vector<uint8_t> Bytes(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.Memory());
  return std::vector<uint8_t>(p, p + S.Size());
}

void Load(TMemoryStream& S, const std::vector<uint8_t>& B) {
  S.Clear();
  if (!B.empty()) S.WriteBuffer(B.data(), int64_t(B.size()));
  S.SetPosition(0);
}

// A picture whose every pixel differs from its neighbours.
void Paint(TIEBitmap* B, Integer Seed) {
  for (Integer y = 0; y < B->Height(); ++y)
    for (Integer x = 0; x < B->Width(); ++x)
      B->SetPixelTriple(x, y, TRGB{Byte(x * 7 + Seed), Byte(y * 13 + Seed), Byte((x ^ y) + 3 * Seed)});
}

// The format readers are registered by the library's start-up.
class TLayersIO : public StartedViewTest {
 protected:
  // Three layers, every stored field away from its default.
  TZiduzUvView* MakeThree() {
    TZiduzUvView* v = MakeView(120, 120);
    SetPicture(v, 31, 17);
    Paint(v->GetIEBitmap(), 1);
    for (Integer i = 1; i < 3; ++i) {
      v->AddLayer();
      EXPECT_TRUE(v->GetIEBitmap()->Allocate(20 + i, 10 + 2 * i, ie24RGB));
      Paint(v->GetIEBitmap(), 40 * i);
    }
    // The top layer carries its own alpha.
    TIEBitmap* top = v->Layers(2)->Bitmap;
    for (Integer y = 0; y < top->Height(); ++y)
      for (Integer x = 0; x < top->Width(); ++x) top->SetAlpha(x, y, Byte(x * 11 + y));
    for (Integer i = 0; i < 3; ++i) {
      TIELayer* l = v->Layers(i);
      l->Visible = i != 1;
      l->VisibleBox = i == 0;
      l->Transparency = 100 + i;
      l->PosX = -5 + i;
      l->PosY = 7 * i - 3;
      l->Cropped = true;
      l->Locked = i != 0;
      l->Magnify = TIELayerMagnification{true, 3.25 + i, 1, 0};
      l->Operation = Byte(5 + i);
      l->Width = 40 + i;
      l->Height = 50 + i;
      l->ResampleFilter = rfLanczos3;
      l->UseResampleFilter = true;
      l->Name = "layer " + std::to_string(i) + " \xe9";
      l->WideName = u"\u00e9t\u00e9 " + std::u16string(1, char16_t(u'0' + i));
      l->UserData = std::malloc(3 + i);
      l->UserDataLen = 3 + i;
      std::memset(l->UserData, 0xA0 + i, size_t(3 + i));
      l->IsMask = i == 2;
      l->Selectable = i == 1;
      l->DrawOuter = true;
    }
    return v;
  }
  static void ExpectSameFields(TIELayer* A, TIELayer* B) {
    EXPECT_EQ(A->Visible, B->Visible);
    EXPECT_EQ(A->VisibleBox, B->VisibleBox);
    EXPECT_EQ(A->Transparency, B->Transparency);
    EXPECT_EQ(A->PosX, B->PosX);
    EXPECT_EQ(A->PosY, B->PosY);
    EXPECT_EQ(A->Cropped, B->Cropped);
    EXPECT_EQ(A->Locked, B->Locked);
    EXPECT_EQ(A->Magnify.Enabled, B->Magnify.Enabled);
    EXPECT_EQ(A->Magnify.Rate, B->Magnify.Rate);
    EXPECT_EQ(A->Magnify.Style, B->Magnify.Style);
    EXPECT_EQ(A->Magnify.Source, B->Magnify.Source);
    EXPECT_EQ(A->Operation, B->Operation);
    EXPECT_EQ(A->Width, B->Width);
    EXPECT_EQ(A->Height, B->Height);
    EXPECT_EQ(A->ResampleFilter, B->ResampleFilter);
    EXPECT_EQ(A->UseResampleFilter, B->UseResampleFilter);
    EXPECT_EQ(A->Name, B->Name);
    EXPECT_EQ(A->WideName, B->WideName);
    ASSERT_EQ(A->UserDataLen, B->UserDataLen);
    EXPECT_EQ(std::memcmp(A->UserData, B->UserData, size_t(A->UserDataLen)), 0);
    EXPECT_EQ(A->IsMask, B->IsMask);
    EXPECT_EQ(A->Selectable, B->Selectable);
    EXPECT_EQ(A->DrawOuter, B->DrawOuter);
  }
  // Image offsets of the records of a version-6 stream written by the view.
  static std::vector<int64_t> Offsets(const std::vector<uint8_t>& B, size_t Start = 0) {
    std::vector<int64_t> out;
    size_t p = Start + 25;
    const Integer count = Integer(gt_test::U32(B, Start + 21));
    for (Integer i = 0; i < count; ++i) {
      p += 1 + 1 + 4 + 4 + 4 + 1 + 1 + 1 + 8 + 1 + 1 + 1 + 4 + 4 + 1 + 1;
      p += 4 + gt_test::U32(B, p);      // name
      p += 4 + 2 * gt_test::U32(B, p);  // wide name
      p += 4 + gt_test::U32(B, p);      // user data
      p += 3;
      int64_t off;
      std::memcpy(&off, B.data() + p, 8);
      out.push_back(off);
      p += 8;
    }
    return out;
  }
};

TEST_F(TLayersIO, RoundTripInEveryLosslessEncoding) {
  for (Integer enc : {-1, -2, 8}) {
    SCOPED_TRACE(enc);
    TZiduzUvView* a = MakeThree();
    TMemoryStream s;
    a->SaveLayersToStream(&s, enc);
    TZiduzUvView* b = MakeView(50, 50);
    s.SetPosition(0);
    ASSERT_TRUE(b->LoadLayersFromStream(&s));
    ASSERT_EQ(b->LayersCount(), 3);
    for (Integer i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      ExpectSameFields(a->Layers(i), b->Layers(i));
      TIEBitmap* pa = a->Layers(i)->Bitmap;
      TIEBitmap* pb = b->Layers(i)->Bitmap;
      if (enc == 8 && !pa->HasAlphaChannel()) {
        // The PNG path may hand back an opaque alpha channel: the pixels
        // themselves must be alike.
        ASSERT_EQ(pb->Width(), pa->Width());
        ASSERT_EQ(pb->Height(), pa->Height());
        Integer diff = 0;
        for (Integer y = 0; y < pa->Height(); ++y)
          for (Integer x = 0; x < pa->Width(); ++x) {
            const TRGB p = pa->GetPixelTriple(x, y), q = pb->GetPixelTriple(x, y);
            diff += p.r != q.r || p.g != q.g || p.b != q.b;
          }
        EXPECT_EQ(diff, 0);
      } else {
        EXPECT_TRUE(IEBitmapsEqual(pa, pb));
      }
      EXPECT_EQ(b->Layers(i)->ClientAreaBox, TRect());
    }
    EXPECT_EQ(b->CurrentLayer(), 2);
    EXPECT_EQ(b->GetIEBitmap(), b->Layers(2)->Bitmap);
    delete a;
    delete b;
  }
}

TEST_F(TLayersIO, JpegPicturesComeBackClose) {
  TZiduzUvView* a = MakeView(60, 60);
  SetPicture(a, 32, 24);
  a->GetIEBitmap()->Fill(double(0x4080C0));
  TMemoryStream s;
  a->SaveLayersToStream(&s, 3);
  TZiduzUvView* b = MakeView(60, 60);
  s.SetPosition(0);
  ASSERT_TRUE(b->LoadLayersFromStream(&s));
  TIEBitmap* p = b->GetIEBitmap();
  ASSERT_EQ(p->Width(), 32);
  ASSERT_EQ(p->Height(), 24);
  const TRGB want = a->GetIEBitmap()->GetPixelTriple(0, 0);
  Integer far = 0;
  for (Integer y = 0; y < 24; ++y)
    for (Integer x = 0; x < 32; ++x) {
      const TRGB c = p->GetPixelTriple(x, y);
      far += std::abs(c.r - want.r) > 4 || std::abs(c.g - want.g) > 4 || std::abs(c.b - want.b) > 4;
    }
  EXPECT_EQ(far, 0);
  delete a;
  delete b;
}

TEST_F(TLayersIO, BytesAsOutsideToolsSeeThem) {
  gt_test::TempDir dir("layersio");
  ASSERT_TRUE(dir.Ok());
  TZiduzUvView* v = MakeThree();
  // Compression 1 is written as PNG, header included.
  TMemoryStream png;
  v->SaveLayersToStream(&png, 1);
  const auto pb = Bytes(png);
  ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("l.lyr"), pb));
  int st = 0;
  const std::string head = RunOutput("xxd -l 25 -p " + dir.File("l.lyr"), st);
  EXPECT_EQ(st, 0);
  std::string want;
  for (char c : std::string("ZIDUZUVLAYERS")) {
    char h[3];
    std::snprintf(h, 3, "%02x", Byte(c));
    want += h;
  }
  want += "06000000" "08000000" "03000000";
  std::string got;
  for (char c : head)
    if (c != '\n') got += c;
  EXPECT_EQ(got, want);
  // Each embedded PNG, from its offset to the next, is a whole PNG file.
  if (gt_test::HaveTool("pngcheck")) {
    const auto off = Offsets(pb);
    ASSERT_EQ(off.size(), 3u);
    for (size_t i = 0; i < off.size(); ++i) {
      const size_t end = i + 1 < off.size() ? size_t(off[i + 1]) : pb.size();
      ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("p.png"),
                                          std::vector<uint8_t>(pb.begin() + off[i], pb.begin() + long(end))));
      EXPECT_EQ(gt_test::Shell("pngcheck -q " + dir.File("p.png") + " >/dev/null"), 0) << i;
    }
  }
  // The deflated pictures inflate with an independent zlib to the raw ones.
  TMemoryStream deflated, raw;
  v->SaveLayersToStream(&deflated, -1);
  v->SaveLayersToStream(&raw, -2);
  const auto db = Bytes(deflated), rb = Bytes(raw);
  const auto doff = Offsets(db), roff = Offsets(rb);
  for (size_t i = 0; i < 3; ++i) {
    const uint32_t dl = gt_test::U32(db, size_t(doff[i])), rl = gt_test::U32(rb, size_t(roff[i]));
    // zlib's default level: header 78 9C.
    EXPECT_EQ(db[size_t(doff[i]) + 4], 0x78);
    EXPECT_EQ(db[size_t(doff[i]) + 5], 0x9C);
    ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("d.bin"), std::vector<uint8_t>(db.begin() + doff[i] + 4,
                                                                               db.begin() + doff[i] + 4 + dl)));
    ASSERT_TRUE(gt_test::WriteFileBytes(dir.File("r.bin"), std::vector<uint8_t>(rb.begin() + roff[i] + 4,
                                                                               rb.begin() + roff[i] + 4 + rl)));
    const std::string cmd = "python3 -c \"import zlib,sys; a=zlib.decompress(open(sys.argv[1],'rb').read()); "
                            "b=open(sys.argv[2],'rb').read(); sys.exit(0 if a==b else 1)\" " +
                            dir.File("d.bin") + " " + dir.File("r.bin");
    EXPECT_EQ(gt_test::Shell(cmd), 0) << i;
  }
  delete v;
}

// A version-2 stream made by hand: two layers, raw pictures.
std::vector<uint8_t> VersionTwo(TIEBitmap* P0, TIEBitmap* P1) {
  TMemoryStream s;
  s.WriteBuffer("ZIDUZUVLAYERS", 13);
  const Integer head[3] = {2, -2, 2};
  s.WriteBuffer(head, 12);
  std::vector<int64_t> slots;
  for (Integer i = 0; i < 2; ++i) {
    const Byte vis[2] = {1, 0};
    s.WriteBuffer(vis, 2);
    const Integer tp[3] = {77 + i, 3 + i, 4 + i};
    s.WriteBuffer(tp, 12);
    const Byte cl[3] = {1, 1, 1};  // cropped, locked, magnifier on
    s.WriteBuffer(cl, 3);
    const double rate = 4.5;
    s.WriteBuffer(&rate, 8);
    const Byte so[2] = {1, 9};  // style, operation
    s.WriteBuffer(so, 2);
    const Integer wh[2] = {0, 0};
    s.WriteBuffer(wh, 8);
    slots.push_back(s.Position());
    const int64_t z = 0;
    s.WriteBuffer(&z, 8);
  }
  TIEBitmap* pics[2] = {P0, P1};
  for (Integer i = 0; i < 2; ++i) {
    const int64_t p = s.Position();
    s.SetPosition(slots[size_t(i)]);
    s.WriteBuffer(&p, 8);
    s.SetPosition(p);
    TMemoryStream raw;
    pics[i]->SaveRawToStream(nullptr, &raw);
    const Integer len = Integer(raw.Size());
    s.WriteBuffer(&len, 4);
    s.WriteBuffer(raw.Memory(), len);
  }
  return Bytes(s);
}

TEST_F(TLayersIO, VersionTwoLoadsWithDefaults) {
  TIEBitmap p0, p1;
  ASSERT_TRUE(p0.Allocate(9, 5, ie24RGB));
  ASSERT_TRUE(p1.Allocate(4, 6, ie24RGB));
  Paint(&p0, 3);
  Paint(&p1, 9);
  TZiduzUvView* v = MakeView(60, 60);
  SetPicture(v, 10, 10);
  TIELayer* l0 = v->Layers(0);
  l0->Name = "kept";
  l0->Selectable = false;
  const TGUID guid = l0->GUID;
  TMemoryStream s;
  Load(s, VersionTwo(&p0, &p1));
  ASSERT_TRUE(v->LoadLayersFromStream(&s));
  ASSERT_EQ(v->LayersCount(), 2);
  EXPECT_EQ(v->Layers(0), l0);
  EXPECT_TRUE(IEEqualGUID(l0->GUID, guid));
  EXPECT_EQ(l0->Name, "kept");
  EXPECT_FALSE(l0->Selectable);
  EXPECT_EQ(l0->Transparency, 77);
  EXPECT_EQ(l0->PosX, 3);
  EXPECT_TRUE(IEBitmapsEqual(l0->Bitmap, &p0));
  TIELayer* l1 = v->Layers(1);
  EXPECT_EQ(l1->Transparency, 78);
  EXPECT_TRUE(l1->Locked);
  EXPECT_EQ(l1->Magnify.Rate, 4.5);
  EXPECT_EQ(l1->Magnify.Source, 1);
  EXPECT_TRUE(l1->Selectable);
  EXPECT_FALSE(l1->DrawOuter);
  EXPECT_EQ(l1->Operation, 9);
  EXPECT_TRUE(IEBitmapsEqual(l1->Bitmap, &p1));
  EXPECT_FALSE(IEEqualGUID(l1->GUID, guid));
  delete v;
}

TEST_F(TLayersIO, StreamInsideALargerStream) {
  TZiduzUvView* a = MakeThree();
  TMemoryStream s;
  const std::vector<uint8_t> junk(1000, 0x5A);
  s.WriteBuffer(junk.data(), 1000);
  a->SaveLayersToStream(&s, -1);
  const auto b = Bytes(s);
  for (int64_t off : Offsets(b, 1000)) EXPECT_GT(off, 1000);
  TZiduzUvView* v = MakeView(60, 60);
  s.SetPosition(1000);
  ASSERT_TRUE(IEIsLayersStream(&s));
  EXPECT_EQ(s.Position(), 1000);
  ASSERT_TRUE(v->LoadLayersFromStream(&s));
  ASSERT_EQ(v->LayersCount(), 3);
  for (Integer i = 0; i < 3; ++i) EXPECT_TRUE(IEBitmapsEqual(a->Layers(i)->Bitmap, v->Layers(i)->Bitmap));
  delete a;
  delete v;
}

TEST_F(TLayersIO, Probe) {
  TZiduzUvView* a = MakeThree();
  TMemoryStream good;
  a->SaveLayersToStream(&good, -2);
  const auto g = Bytes(good);
  delete a;
  struct TCase {
    const char* Name;
    std::vector<uint8_t> Data;
    bool Expected;
  };
  auto withVersion = [&](uint32_t v) {
    auto b = g;
    gt_test::PutU32(b, 13, v);
    return b;
  };
  std::vector<uint8_t> bad = g;
  bad[0] = 'X';
  const TCase cases[] = {
      {"written stream", g, true},
      {"version 0", withVersion(0), false},
      {"negative version", withVersion(0xFFFFFFFF), false},
      {"version 7", withVersion(7), false},
      {"24 bytes", std::vector<uint8_t>(g.begin(), g.begin() + 24), false},
      {"exactly the header", std::vector<uint8_t>(g.begin(), g.begin() + 25), true},
      {"wrong magic", bad, false},
      {"empty", {}, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s;
    // Three bytes in front, so that the probe must start where it is.
    s.WriteBuffer("abc", 3);
    if (!c.Data.empty()) s.WriteBuffer(c.Data.data(), int64_t(c.Data.size()));
    s.SetPosition(3);
    EXPECT_EQ(IEIsLayersStream(&s), c.Expected);
    EXPECT_EQ(s.Position(), 3);
  }
}

TEST_F(TLayersIO, DamagedStreamsLeaveTheLayersAlone) {
  TZiduzUvView* a = MakeThree();
  TMemoryStream good;
  a->SaveLayersToStream(&good, -1);
  const auto g = Bytes(good);
  TMemoryStream good8;
  a->SaveLayersToStream(&good8, 8);
  const auto g8 = Bytes(good8);
  delete a;
  const auto off = Offsets(g);
  const size_t rec0 = 25;
  // Field offsets in the first record.
  const size_t nameLen = rec0 + 2 + 12 + 3 + 8 + 3 + 8 + 2;
  const size_t wideLen = nameLen + 4 + gt_test::U32(g, nameLen);
  const size_t userLen = wideLen + 4 + 2 * gt_test::U32(g, wideLen);
  const size_t slot0 = userLen + 4 + gt_test::U32(g, userLen) + 3;
  auto patch32 = [&](std::vector<uint8_t> b, size_t at, uint32_t v) {
    gt_test::PutU32(b, at, v);
    return b;
  };
  auto patch64 = [&](std::vector<uint8_t> b, size_t at, int64_t v) {
    std::memcpy(b.data() + at, &v, 8);
    return b;
  };
  std::vector<uint8_t> corrupt = g;
  for (size_t i = size_t(off[1]) + 6; i < size_t(off[1]) + 40 && i < corrupt.size(); ++i) corrupt[i] ^= 0x55;
  std::vector<uint8_t> corrupt8 = g8;
  const auto off8 = Offsets(g8);
  for (size_t i = size_t(off8[2]) + 40; i < size_t(off8[2]) + 80 && i < corrupt8.size(); ++i) corrupt8[i] ^= 0x55;
  struct TCase {
    std::string Name;
    std::vector<uint8_t> Data;
  };
  std::vector<TCase> cases = {
      {"version 7", patch32(g, 13, 7)},
      {"version 0", patch32(g, 13, 0)},
      {"count 2^31-1", patch32(g, 21, 0x7FFFFFFF)},
      {"count 0", patch32(g, 21, 0)},
      {"negative count", patch32(g, 21, 0x80000000)},
      {"unknown encoding", patch32(g, 17, 999)},
      {"name length 2^31-1", patch32(g, nameLen, 0x7FFFFFFF)},
      {"wide name length 2^31-1", patch32(g, wideLen, 0x7FFFFFFF)},
      {"user data length 2^31-1", patch32(g, userLen, 0x7FFFFFFF)},
      {"negative user data length", patch32(g, userLen, 0xFFFFFFF0)},
      {"offset beyond the end", patch64(g, slot0, int64_t(g.size()) + 10)},
      {"negative offset", patch64(g, slot0, -8)},
      {"image length 2^31-1", patch32(g, size_t(off[0]), 0x7FFFFFFF)},
      {"negative image length", patch32(g, size_t(off[0]), 0xFFFFFFFF)},
      // Layer 0's display size sizes the view's selection plane and alpha.
      {"layer 0 shown at 100000 x 100000", patch32(patch32(g, rec0 + 28, 100000), rec0 + 32, 100000)},
      {"negative display width", patch32(g, rec0 + 28, 0xFFFFFFFF)},
      {"corrupt deflate data", corrupt},
      {"corrupt PNG data in the last layer", corrupt8},
  };
  for (size_t cut : {size_t(24), size_t(25), size_t(40), slot0 + 4, size_t(off[0]) + 2, size_t(off[1]) + 30,
                     g.size() - 1})
    cases.push_back({"cut at " + std::to_string(cut), std::vector<uint8_t>(g.begin(), g.begin() + long(cut))});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvView* v = MakeView(60, 60);
    SetPicture(v, 12, 8);
    Paint(v->GetIEBitmap(), 5);
    v->AddLayer();
    v->GetCurrentLayer()->PosX = 42;
    TIEBitmap keep;
    keep.Assign(v->Layers(0)->Bitmap);
    TMemoryStream s;
    Load(s, c.Data);
    EXPECT_FALSE(v->LoadLayersFromStream(&s));
    EXPECT_EQ(s.Position(), 0);
    ASSERT_EQ(v->LayersCount(), 2);
    EXPECT_EQ(v->CurrentLayer(), 1);
    EXPECT_EQ(v->GetCurrentLayer()->PosX, 42);
    EXPECT_TRUE(IEBitmapsEqual(v->Layers(0)->Bitmap, &keep));
    EXPECT_EQ(v->GetIEBitmap(), v->Layers(1)->Bitmap);
    delete v;
  }
}

TEST_F(TLayersIO, SingleLayerRecord) {
  TZiduzUvView* a = MakeThree();
  TIELayer* src = a->Layers(2);
  src->SetRotate(33.5);
  src->RotateCenterX = 0.25;
  src->ClientAreaBox = TRect(1, 2, 3, 4);
  for (bool withBitmap : {true, false}) {
    SCOPED_TRACE(withBitmap);
    TMemoryStream s;
    src->SaveToStream(&s, withBitmap);
    EXPECT_EQ(Integer(gt_test::U32(Bytes(s), 0)), Integer(s.Size()));
    TIELayer dst(nullptr, nullptr, false);
    s.SetPosition(0);
    ASSERT_TRUE(dst.LoadFromStream(&s));
    EXPECT_EQ(s.Position(), s.Size());
    EXPECT_TRUE(IEEqualGUID(dst.GUID, src->GUID));
    EXPECT_EQ(dst.Rotate(), 33.5);
    EXPECT_EQ(dst.RotateCenterX, 0.25);
    EXPECT_EQ(dst.ClientAreaBox, src->ClientAreaBox);
    EXPECT_EQ(dst.Name, src->Name);
    EXPECT_EQ(dst.WideName, src->WideName);
    EXPECT_EQ(dst.Magnify.Rate, src->Magnify.Rate);
    EXPECT_EQ(dst.UserData, src->UserData);
    EXPECT_EQ(dst.UserDataLen, 0);
    EXPECT_EQ(dst.Bitmap->IsEmpty(), !withBitmap);
    if (withBitmap) {
      EXPECT_TRUE(IEBitmapsEqual(dst.Bitmap, src->Bitmap));
    }
    // A record cut short changes nothing.
    const auto b = Bytes(s);
    TIELayer other(nullptr, nullptr, false);
    const TGUID before = other.GUID;
    for (size_t cut : {size_t(3), size_t(30), size_t(90), b.size() - 1}) {
      TMemoryStream part;
      Load(part, std::vector<uint8_t>(b.begin(), b.begin() + long(cut)));
      EXPECT_FALSE(other.LoadFromStream(&part)) << cut;
      EXPECT_TRUE(IEEqualGUID(other.GUID, before));
      EXPECT_EQ(other.Transparency, 255);
    }
  }
  delete a;
}

}  // namespace

}  // namespace test_view_layersio_tests
