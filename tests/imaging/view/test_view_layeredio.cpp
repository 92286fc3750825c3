// Layered content through a view's I/O companion: PSD layers mapped onto the
// view's layers (replacing or adding, a background below an offset first
// layer), a PSD save of the view's layers read back by psd-tools, and the
// layers and vector object files loaded into a view that can hold them or
// drawn into the picture when none is attached.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/core/base/iestreams.h"
#include "imaging/formats/psd.h"
#include "imaging/io/ziduzuvio.h"
#include "imaging/view/ievect.h"
#include "tests/imaging/view/view_test_util.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace view_layeredio_tests {

uint32_t BE32Of(const std::vector<Byte>& B, size_t At) {
  return uint32_t(B[At]) << 24 | uint32_t(B[At + 1]) << 16 | uint32_t(B[At + 2]) << 8 | B[At + 3];
}

using gt_test::TempDir;


WideString Wide(const std::string& S) { return WideString(S.begin(), S.end()); }

// Colour bytes and alpha of a picture, row by row, for exact comparisons.
std::vector<Byte> Pixels(TIEBitmap* B) {
  std::vector<Byte> out;
  if (!B || B->IsEmpty()) return out;
  const Integer w = B->Width(), h = B->Height();
  const Integer bytes = (w * B->BitCount() + 7) / 8;
  for (Integer y = 0; y < h; ++y) {
    const Byte* r = static_cast<const Byte*>(B->GetScanline(y));
    out.insert(out.end(), r, r + bytes);
  }
  if (B->HasAlphaChannel()) {
    TIEBitmap* a = B->GetAlphaChannel();
    for (Integer y = 0; y < h; ++y) {
      const Byte* r = static_cast<const Byte*>(a->GetScanline(y));
      out.insert(out.end(), r, r + w);
    }
  }
  return out;
}

bool AllAlpha(TIEBitmap* B, Byte V) {
  if (!B->HasAlphaChannel()) return V == 255;
  TIEBitmap* a = B->GetAlphaChannel();
  for (Integer y = 0; y < a->Height(); ++y)
    for (Integer x = 0; x < a->Width(); ++x)
      if (static_cast<const Byte*>(a->GetScanline(y))[x] != V) return false;
  return true;
}

// Counts the finish events of a companion.
struct TFinishes {
  int Count = 0;
  void Attach(TZiduzUvIO* IO) {
    IO->OnFinishWork = [this](TObject*) { ++Count; };
  }
};

class LayeredIO : public view_test::StartedViewTest {
 protected:
  // A view of one 4 x 3 layer.
  TZiduzUvView* LayerView() {
    TZiduzUvView* v = MakeView(160, 120);
    SetPicture(v, 4, 3);
    v->GetIEBitmap()->Fill(double(0x102030));
    return v;
  }
  TZiduzUvVect* VectView() {
    auto* v = new TZiduzUvVect(Form.get());
    v->SetParent(Form.get());
    v->SetBounds(0, 0, 160, 120);
    return v;
  }
  // The layers our reader finds in a document, for the mapping checks.
  static TIEPSDLayerList ReadLayers(const std::string& File) {
    TIEPSDLayerList list;
    TIEWideFileStream f(Wide(File), fmOpenRead);
    TIOParamsVals p(nullptr);
    std::atomic<bool> aborting{false};
    TIEProgressRec rec(aborting);
    TIEBitmap merged;
    IEReadPSD(&f, &merged, p, rec, true, &list);
    EXPECT_FALSE(aborting.load());
    return list;
  }
  // A document of three images: the merged picture, then two layers; the
  // first layer at the top left or away from it.
  static std::string MagickDocument(const TempDir& Dir, bool OffsetFirst) {
    const std::string f = Dir.File(OffsetFirst ? "offset.psd" : "plain.psd");
    const std::string first = OffsetFirst ? "-size 6x4 gradient:yellow-black -repage +2+1"
                                          : "-size 12x8 gradient:yellow-black";
    EXPECT_EQ(gt_test::Shell("convert -size 12x8 gradient:red-blue \\( " + first +
                             " \\) \\( -size 5x3 gradient:white-green -repage +4+3 \\) -type TrueColor -depth 8 '" +
                             f + "'"),
              0);
    return f;
  }
  static void ExpectSameLayer(TIELayer* Got, TIELayer* Want) {
    EXPECT_EQ(Got->PosX, Want->PosX);
    EXPECT_EQ(Got->PosY, Want->PosY);
    EXPECT_EQ(Got->Transparency, Want->Transparency);
    EXPECT_EQ(Got->Visible, Want->Visible);
    EXPECT_EQ(Got->Name, Want->Name);
    EXPECT_EQ(Got->Bitmap->Width(), Want->Bitmap->Width());
    EXPECT_EQ(Got->Bitmap->Height(), Want->Bitmap->Height());
    EXPECT_EQ(Pixels(Got->Bitmap), Pixels(Want->Bitmap));
  }
};

// The layer mapping: one view layer per document layer, a transparent
// background of the document's size below a first layer that is not at the
// top left, and the view's own layers kept when the document's are added.
TEST_F(LayeredIO, PsdLayersGoToTheViewLayers) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  TempDir dir("psdview");
  struct TCase {
    const char* Name;
    bool OffsetFirst, Replace;
  };
  const TCase cases[] = {
      {"replace, first layer at the top left", false, true},
      {"replace, first layer offset", true, true},
      {"add to a view of two layers", false, false},
      {"add, first layer offset", true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string file = MagickDocument(dir, c.OffsetFirst);
    TIEPSDLayerList want = ReadLayers(file);
    ASSERT_EQ(want.size(), 2u);
    ASSERT_EQ(want[0]->PosX != 0 || want[0]->PosY != 0, c.OffsetFirst);

    TZiduzUvView* v = LayerView();
    v->AddLayer();
    v->GetIEBitmap()->Allocate(3, 2, ie24RGB);
    v->GetIEBitmap()->Fill(double(0x0000FF));
    v->GetIEBitmap()->GetAlphaChannel()->Fill(77);
    v->Layers(1)->PosX = 1;
    const std::vector<Byte> before0 = Pixels(v->Layers(0)->Bitmap), before1 = Pixels(v->Layers(1)->Bitmap);

    TZiduzUvIO* io = v->GetIO();
    TFinishes fin;
    fin.Attach(io);
    io->Params().PSD_LOADLAYERS = true;
    io->Params().PSD_REPLACELAYERS = c.Replace;
    io->LoadFromFilePSD(Wide(file));
    EXPECT_FALSE(io->Aborting());
    EXPECT_EQ(fin.Count, 1);
    EXPECT_EQ(io->Params().FILETYPE, ieftPSD);

    const Integer kept = c.Replace ? 0 : 2;
    const Integer background = c.OffsetFirst ? 1 : 0;
    ASSERT_EQ(v->LayersCount(), kept + background + 2);
    if (!c.Replace) {
      EXPECT_EQ(Pixels(v->Layers(0)->Bitmap), before0);
      EXPECT_EQ(Pixels(v->Layers(1)->Bitmap), before1);
      EXPECT_EQ(v->Layers(1)->PosX, 1);
    }
    if (c.OffsetFirst) {
      TIELayer* bg = v->Layers(kept);
      EXPECT_EQ(bg->PosX, 0);
      EXPECT_EQ(bg->PosY, 0);
      EXPECT_EQ(bg->Bitmap->Width(), 12);
      EXPECT_EQ(bg->Bitmap->Height(), 8);
      EXPECT_EQ(bg->Bitmap->PixelFormat(), ie24RGB);
      EXPECT_TRUE(AllAlpha(bg->Bitmap, 0));
    }
    for (size_t k = 0; k < want.size(); ++k) {
      SCOPED_TRACE(k);
      ExpectSameLayer(v->Layers(kept + background + Integer(k)), want[k].get());
    }
    delete v;
  }
}

// Without layer loading the view's picture is the merged picture; a
// document cut short changes nothing of the view's layers.
TEST_F(LayeredIO, PsdMergedPictureAndCutDocument) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  TempDir dir("psdview");
  const std::string file = MagickDocument(dir, false);
  {
    TZiduzUvView* v = LayerView();
    TZiduzUvIO* io = v->GetIO();
    io->Params().PSD_LOADLAYERS = false;
    io->LoadFromFile(Wide(file));
    EXPECT_FALSE(io->Aborting());
    EXPECT_EQ(v->LayersCount(), 1);
    const std::string bgr = gt_test::Capture("convert '" + file + "[0]' -depth 8 bgr:-");
    ASSERT_EQ(v->GetIEBitmap()->Width(), 12);
    std::vector<Byte> got = Pixels(v->GetIEBitmap());
    got.resize(12 * 8 * 3);
    EXPECT_EQ(std::string(got.begin(), got.end()), bgr);
    delete v;
  }
  {
    // Cut inside the layer records: past the header, the colour data and
    // the resources, into the layer section.
    std::vector<Byte> bytes = gt_test::ReadFileBytes(file);
    size_t at = 26;
    for (int section = 0; section < 2; ++section) at += 4 + BE32Of(bytes, at);
    ASSERT_LT(at + 60, bytes.size());
    bytes.resize(at + 60);
    const std::string cut = dir.File("cut.psd");
    ASSERT_TRUE(gt_test::WriteFileBytes(cut, bytes));
    TZiduzUvView* v = LayerView();
    v->AddLayer();
    const std::vector<Byte> before = Pixels(v->Layers(0)->Bitmap);
    TZiduzUvIO* io = v->GetIO();
    io->Params().PSD_LOADLAYERS = true;
    io->Params().PSD_REPLACELAYERS = true;
    io->LoadFromFilePSD(Wide(cut));
    EXPECT_TRUE(io->Aborting());
    EXPECT_EQ(v->LayersCount(), 2);
    EXPECT_EQ(Pixels(v->Layers(0)->Bitmap), before);
    delete v;
  }
}

// An asynchronous load: the worker never touches the view; the layers
// arrive on the main thread before the finish event.
TEST_F(LayeredIO, PsdLayersArriveFromAWorkerBeforeTheFinish) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  TempDir dir("psdview");
  const std::string file = MagickDocument(dir, true);
  TZiduzUvView* v = LayerView();
  TZiduzUvIO* io = v->GetIO();
  io->Params().PSD_LOADLAYERS = true;
  io->Params().PSD_REPLACELAYERS = true;
  io->SetAsynchronous(true);
  Integer layersAtFinish = -1;
  // A view in a window hears of the end through its own event.
  v->SetOnFinishWork([&](TObject*) { layersAtFinish = v->LayersCount(); });
  const std::vector<Byte> shown = Pixels(v->GetIEBitmap());
  io->LoadFromFilePSD(Wide(file));
  ASSERT_TRUE(gt_test::WaitUntil([&] {
    Application->ProcessMessages();
    return layersAtFinish >= 0;
  }));
  io->WaitThreads(false);
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(layersAtFinish, 3);
  EXPECT_EQ(v->LayersCount(), 3);
  EXPECT_TRUE(AllAlpha(v->Layers(0)->Bitmap, 0));
  EXPECT_NE(Pixels(v->Layers(2)->Bitmap), shown);
  delete v;
}

// A save writes the view's layers: psd-tools finds each with its box,
// opacity, visibility and name; the view's own layers are not changed by
// the writer's preparation; a load puts the same layers back.
TEST_F(LayeredIO, PsdSaveOfTheViewLayersReadsBack) {
  ASSERT_TRUE(gt_test::HaveTool("python3"));
  ASSERT_EQ(gt_test::Shell("/usr/bin/python3 -c 'import psd_tools' 2>/dev/null"), 0);
  TempDir dir("psdview");
  TZiduzUvView* v = LayerView();
  SetPicture(v, 12, 8);
  v->GetIEBitmap()->Fill(double(0x336699));
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(5, 4, ie24RGB));
  v->GetIEBitmap()->Fill(double(0x0000FF));
  v->GetIEBitmap()->GetAlphaChannel()->Fill(255);
  v->Layers(1)->PosX = 3;
  v->Layers(1)->PosY = 2;
  v->Layers(1)->Transparency = 128;
  v->Layers(1)->Name = "up";
  // Shown larger than its picture: the writer scales a copy, never this layer.
  v->Layers(1)->Width = 10;
  v->Layers(1)->Height = 8;
  v->AddLayer();
  ASSERT_TRUE(v->GetIEBitmap()->Allocate(2, 2, ie24RGB));
  v->GetIEBitmap()->Fill(double(0x00FF00));
  v->Layers(2)->PosX = 7;
  v->Layers(2)->PosY = 5;
  v->Layers(2)->Visible = false;
  v->Layers(2)->Name = "hidden";

  const std::string file = dir.File("saved.psd");
  TZiduzUvIO* io = v->GetIO();
  TFinishes fin;
  fin.Attach(io);
  io->SaveToFilePSD(Wide(file));
  ASSERT_FALSE(io->Aborting());
  EXPECT_EQ(fin.Count, 1);
  EXPECT_EQ(v->Layers(1)->Bitmap->Width(), 5);
  EXPECT_EQ(v->Layers(1)->Width, 10);

  const std::string listing = gt_test::Capture(
      "/usr/bin/python3 -c \"from psd_tools import PSDImage;p=PSDImage.open('" + file +
      "');print(p.width,p.height);[print(l.name,l.bbox,l.opacity,l.visible) for l in p]\"");
  std::istringstream lines(listing);
  std::string line;
  std::vector<std::string> got;
  while (std::getline(lines, line)) got.push_back(line);
  ASSERT_EQ(got.size(), 4u) << listing;
  EXPECT_EQ(got[0], "13 10");
  EXPECT_EQ(got[2], "up (3, 2, 13, 10) 128 True");
  EXPECT_EQ(got[3], "hidden (7, 5, 9, 7) 255 False");

  TZiduzUvView* back = LayerView();
  TZiduzUvIO* in = back->GetIO();
  in->Params().PSD_LOADLAYERS = true;
  in->LoadFromFile(Wide(file));
  ASSERT_FALSE(in->Aborting());
  ASSERT_EQ(back->LayersCount(), 3);
  EXPECT_EQ(back->Layers(1)->PosX, 3);
  EXPECT_EQ(back->Layers(1)->Bitmap->Width(), 10);
  EXPECT_EQ(back->Layers(1)->Transparency, 128);
  EXPECT_FALSE(back->Layers(2)->Visible);
  EXPECT_EQ(back->Layers(2)->Name, "hidden");
  delete back;
  delete v;
}

// ---------------------------------------------------------------------------
// Layers and vector object files

class LayeredFiles : public LayeredIO {
 protected:
  // A view of two layers saved as a layers file.
  std::string LayersFile(const TempDir& Dir, TZiduzUvView* Source) {
    SetPicture(Source, 10, 6);
    Source->GetIEBitmap()->Fill(double(0x404040));
    Source->AddLayer();
    EXPECT_TRUE(Source->GetIEBitmap()->Allocate(3, 2, ie24RGB));
    Source->GetIEBitmap()->Fill(double(0x00FFFF));
    Source->Layers(1)->PosX = 4;
    Source->Layers(1)->PosY = 3;
    const std::string f = Dir.File("two.lyr");
    TFileStream out(Wide(f), fmCreate);
    Source->SaveLayersToStream(&out, -1);
    return f;
  }
  // A red filled box from (2, 3) to (20, 15) saved as an object file.
  std::string ObjectsFile(const TempDir& Dir, TZiduzUvVect* Source) {
    TIEVectObject o;
    o.Kind = vkBox;
    o.X1 = 2;
    o.Y1 = 3;
    o.X2 = 20;
    o.Y2 = 15;
    o.PenColor = 0x0000FF;
    o.BrushColor = 0x0000FF;
    o.BrushStyle = bsSolid;
    Source->AddObject(o);
    const std::string f = Dir.File("box.iev");
    TFileStream out(Wide(f), fmCreate);
    Source->SaveObjectsToStream(&out);
    return f;
  }
};

TEST_F(LayeredFiles, LayersFileIntoAViewOrDrawnIntoThePicture) {
  TempDir dir("lyr");
  TZiduzUvView* source = LayerView();
  const std::string file = LayersFile(dir, source);
  // What the layers look like flattened, as the off-screen path must draw them.
  TZiduzUvView* flat = LayerView();
  {
    TFileStream in(Wide(file), fmOpenRead);
    ASSERT_TRUE(flat->LoadLayersFromStream(&in));
  }
  flat->FlattenLayers();

  TZiduzUvView* v = LayerView();
  TZiduzUvIO* io = v->GetIO();
  TFinishes fin;
  fin.Attach(io);
  io->LoadFromFile(Wide(file));
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(fin.Count, 0);  // the view received it: no finish event
  EXPECT_EQ(io->Params().FILETYPE, ieftLYR);
  ASSERT_EQ(v->LayersCount(), 2);
  EXPECT_EQ(v->Layers(1)->PosX, 4);
  EXPECT_EQ(Pixels(v->Layers(1)->Bitmap), Pixels(source->Layers(1)->Bitmap));

  TIEBitmap own;
  auto alone = TZiduzUvIO::CreateForBitmap(&own);
  TFinishes fin2;
  fin2.Attach(alone.get());
  alone->LoadFromFileFormat(Wide(file), ieftLYR);
  EXPECT_FALSE(alone->Aborting());
  EXPECT_EQ(fin2.Count, 1);
  EXPECT_EQ(alone->Params().FILETYPE, ieftLYR);
  EXPECT_EQ(Pixels(&own), Pixels(flat->GetIEBitmap()));
  delete v;
  delete flat;
  delete source;
}

TEST_F(LayeredFiles, ObjectsFileIntoAVectorViewOrDrawn) {
  TempDir dir("iev");
  TZiduzUvVect* source = VectView();
  const std::string file = ObjectsFile(dir, source);

  TZiduzUvVect* v = VectView();
  TZiduzUvIO* io = v->GetIO();
  io->LoadFromFile(Wide(file));
  EXPECT_FALSE(io->Aborting());
  EXPECT_EQ(io->Params().FILETYPE, ieftIEV);
  EXPECT_EQ(v->ObjectsCount(), 1);
  // Only the objects show: a clear picture reaching the objects' extent.
  EXPECT_EQ(v->GetIEBitmap()->Width(), 21);
  EXPECT_EQ(v->GetIEBitmap()->Height(), 16);
  EXPECT_TRUE(AllAlpha(v->GetIEBitmap(), 0));

  // A view without objects: the objects are drawn into its picture.
  TZiduzUvView* plain = LayerView();
  TZiduzUvIO* pio = plain->GetIO();
  TFinishes fin;
  fin.Attach(pio);
  pio->LoadFromFile(Wide(file));
  EXPECT_FALSE(pio->Aborting());
  EXPECT_EQ(fin.Count, 1);
  EXPECT_EQ(plain->LayersCount(), 1);
  TIEBitmap* b = plain->GetIEBitmap();
  ASSERT_EQ(b->Width(), 21);
  ASSERT_EQ(b->Height(), 16);
  const Byte* inside = static_cast<const Byte*>(b->GetScanline(9)) + 10 * 3;
  const Byte* outside = static_cast<const Byte*>(b->GetScanline(1)) + 1 * 3;
  EXPECT_EQ(std::vector<Byte>(inside, inside + 3), (std::vector<Byte>{0, 0, 255}));  // BGR red
  EXPECT_EQ(std::vector<Byte>(outside, outside + 3), (std::vector<Byte>{255, 255, 255}));
  delete plain;
  delete v;
  delete source;
}

// Files that do not read whole leave an attached view as it was and are
// reported; a stream with no view that can hold it loads nothing and says so.
TEST_F(LayeredFiles, DamagedFilesAndStreamsWithoutAView) {
  TempDir dir("lyr");
  TZiduzUvView* source = LayerView();
  const std::string file = LayersFile(dir, source);
  std::vector<Byte> bytes = gt_test::ReadFileBytes(file);
  bytes.resize(bytes.size() - 7);
  const std::string cut = dir.File("cut.lyr");
  ASSERT_TRUE(gt_test::WriteFileBytes(cut, bytes));

  TZiduzUvView* v = LayerView();
  v->AddLayer();
  const std::vector<Byte> before = Pixels(v->Layers(0)->Bitmap);
  TZiduzUvIO* io = v->GetIO();
  io->LoadFromFile(Wide(cut));
  EXPECT_TRUE(io->Aborting());
  EXPECT_EQ(v->LayersCount(), 2);
  EXPECT_EQ(Pixels(v->Layers(0)->Bitmap), before);

  // Objects need a vector view; the single-image view cannot take them from a stream.
  TZiduzUvVect* vs = VectView();
  const std::string objects = ObjectsFile(dir, vs);
  TZiduzUvView* w = LayerView();
  TZiduzUvIO* wio = w->GetIO();
  TFinishes fin;
  fin.Attach(wio);
  const std::vector<Byte> shown = Pixels(w->GetIEBitmap());
  {
    TFileStream in(Wide(objects), fmOpenRead);
    wio->LoadFromStreamFormat(&in, ieftIEV);
  }
  EXPECT_TRUE(wio->Aborting());
  EXPECT_EQ(fin.Count, 0);
  EXPECT_EQ(Pixels(w->GetIEBitmap()), shown);

  // By content, into a vector view: the objects arrive.
  TZiduzUvVect* target = VectView();
  TFileStream again(Wide(objects), fmOpenRead);
  target->GetIO()->LoadFromStream(&again);
  EXPECT_FALSE(target->GetIO()->Aborting());
  EXPECT_EQ(target->ObjectsCount(), 1);
  delete target;
  delete w;
  delete vs;
  delete v;
  delete source;
}

}  // namespace view_layeredio_tests
