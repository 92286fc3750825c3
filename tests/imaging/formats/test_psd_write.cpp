// The PSD writer: layered documents that psd-tools and ImageMagick read with
// the same layers and composite, our own reader's round trip, resources,
// the transparent palette index, and PackBits rows.
#include <gtest/gtest.h>

#include <cstring>

#include "formats_test_util.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/formats/psd.h"
#include "imaging/formats/psdcommon.h"
#include "imaging/view/ziduzuvview.h"
#include "test_psd_util.h"

using namespace fmt_test;
using namespace psd_tests;

namespace psd_write_tests {
namespace {

std::unique_ptr<TIELayer> MakeLayer(std::unique_ptr<TIEBitmap> B, Integer X, Integer Y, const char* Name) {
  auto l = std::make_unique<TIELayer>(nullptr, B.release(), true, true);
  l->PosX = X;
  l->PosY = Y;
  l->Name = Name;
  return l;
}

Bytes Write(TIEBitmap* Merged, const std::vector<TIELayer*>& Layers, TIOParamsVals& P, bool* Aborted = nullptr) {
  TMemoryStream s;
  Progress pr;
  IEWritePSD(&s, P, pr.Rec, Merged, Layers);
  if (Aborted) {
    *Aborted = pr.Aborting;
  } else {
    EXPECT_FALSE(pr.Aborting);
  }
  return Contents(s);
}

bool Contains(const Bytes& Hay, const Bytes& Needle) {
  return std::search(Hay.begin(), Hay.end(), Needle.begin(), Needle.end()) != Hay.end();
}

// Three layers: an opaque background with alpha, a hidden half-opaque
// layer with a user mask and a two-letter name, and a grey layer in an RGB
// document.
struct Stack {
  std::unique_ptr<TIEBitmap> Merged = ManyColors(9, 6, 5);
  std::vector<std::unique_ptr<TIELayer>> Owned;
  std::vector<TIELayer*> Layers;
  Stack() {
    auto back = ManyColors(9, 6, 5);
    TIEBitmap* a = back->GetAlphaChannel();
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 9; ++x) a->SetPixelByte(x, y, Byte(x * 30));
    Owned.push_back(MakeLayer(std::move(back), 0, 0, "Back"));
    auto mid = FewColors(4, 3, 5);
    mid->GetAlphaChannel()->Fill(200);
    Owned.push_back(MakeLayer(std::move(mid), 3, 2, "ab"));
    Owned.back()->Transparency = 128;
    Owned.back()->Visible = false;
    auto mask = std::make_unique<TIEBitmap>(2, 2, ie8g);
    mask->SetPixelByte(1, 1, 77);
    mask->SetPixelByte(0, 1, 255);
    Owned.push_back(MakeLayer(std::move(mask), 4, 3, ""));
    Owned.back()->IsMask = true;
    Owned.back()->Visible = false;
    auto grey = std::make_unique<TIEBitmap>(3, 2, ie8g);
    for (Integer x = 0; x < 3; ++x) grey->SetPixelByte(x, 1, Byte(60 * x));
    Owned.push_back(MakeLayer(std::move(grey), -1, 5, "xyz"));
    for (auto& l : Owned) Layers.push_back(l.get());
  }
};

TEST(PsdWrite, LayeredDocumentReadsTheSameInPsdToolsAndImageMagick) {
  ASSERT_TRUE(HaveTool("convert"));
  Stack st;
  TIOParamsVals p(nullptr);
  p.SetDpiX(300);
  p.SetDpiY(150);
  const Bytes file = Write(st.Merged.get(), st.Layers, p);
  // The caller's grey layer now is RGB, as the document is.
  EXPECT_EQ(st.Layers[3]->Bitmap->PixelFormat(), ie24RGB);
  // The name "ab" is padded with one byte of value 1 to a multiple of 4.
  EXPECT_TRUE(Contains(file, {2, 'a', 'b', 1}));
  // No padding after three letters: the channel data follows at once.
  EXPECT_TRUE(Contains(file, {0, 0, 0, 0, 3, 'x', 'y', 'z', 0, 1}));
  TempDir dir("psdw");
  const std::string f = dir.File("ours.psd");
  ASSERT_TRUE(gt_test::WriteFileBytes(f, file));

  std::vector<TIELayer*> plain;
  for (TIELayer* l : st.Layers)
    if (!l->IsMask) plain.push_back(l);
  ExpectSameLayers(f, plain, st.Merged.get());
  // ImageMagick: the composite first, then one image per layer.
  EXPECT_EQ(ToRgb(st.Merged.get()), MagickRgb(f));
  EXPECT_EQ(Capture("identify -format '%p ' '" + f + "' 2>/dev/null"), "0 1 2 3 ");
  EXPECT_EQ(Capture("identify -format '%x %y' '" + f + "[0]' 2>/dev/null"), "300 150");
}

TEST(PsdWrite, OurReaderGetsTheLayersAndMaskBack) {
  Stack st;
  TIOParamsVals p(nullptr);
  const Bytes file = Write(st.Merged.get(), st.Layers, p);
  Read r;
  ReadPsd(r, file, true, false);
  ASSERT_FALSE(r.Pr.Aborting);
  ASSERT_EQ(r.L.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const TIELayer& a = *st.Layers[i];
    const TIELayer& b = *r.L[i];
    EXPECT_EQ(b.IsMask, a.IsMask);
    EXPECT_EQ(b.PosX, a.PosX);
    EXPECT_EQ(b.PosY, a.PosY);
    EXPECT_EQ(b.Name, a.Name);
    EXPECT_EQ(b.Visible, a.Visible);
    if (!a.IsMask) {
      EXPECT_EQ(b.Transparency, a.Transparency);
    }
    EXPECT_EQ(ToRgb(b.Bitmap), ToRgb(a.Bitmap));
  }
}

TEST(PsdWrite, PictureWithoutLayersIsItsOwnLayer) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
  };
  const Case cases[] = {{"rgb", ie24RGB}, {"grey", ie8g}, {"grey16", ie16g}, {"rgb48", ieRGB48},
                        {"cmyk", ieCMYK}, {"lab", ieCIELab}, {"bitmap", ie1g}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto src = ManyColors(7, 5, 9);
    TIEBitmap b(7, 5, c.Format);
    b.CopyAndConvertFormat(src.get());
    TIOParamsVals p(nullptr);
    const Bytes file = Write(&b, {}, p);
    Read r;
    ReadPsd(r, file, true, true);
    ASSERT_FALSE(r.Pr.Aborting);
    ASSERT_EQ(r.L.size(), 1u);
    EXPECT_EQ(r.L[0]->PosX, 0);
    EXPECT_EQ(r.L[0]->Transparency, 255);
    EXPECT_TRUE(r.L[0]->Visible);
    ASSERT_EQ(r.L[0]->Bitmap->PixelFormat(), c.Format);
    ASSERT_EQ(r.L[0]->Bitmap->Height(), 5);
    for (Integer y = 0; y < 5; ++y)
      EXPECT_EQ(std::memcmp(r.L[0]->Bitmap->GetScanline(y), b.GetScanline(y), size_t((7 * b.BitCount() + 7) / 8)),
                0);
    Read merged;
    ReadPsd(merged, file, false, true);
    ASSERT_EQ(merged.B.PixelFormat(), c.Format);
    for (Integer y = 0; y < 5; ++y)
      EXPECT_EQ(std::memcmp(merged.B.GetScanline(y), b.GetScanline(y), size_t((7 * b.BitCount() + 7) / 8)), 0);
  }
  // Formats the document cannot hold write nothing.
  TIEBitmap f(3, 3, ie32f);
  TIOParamsVals p(nullptr);
  bool aborted = false;
  EXPECT_TRUE(Write(&f, {}, p, &aborted).empty());
  EXPECT_TRUE(aborted);
}

TEST(PsdWrite, SixteenBitAlphaIsScaled) {
  TIEBitmap b(3, 2, ieRGB48);
  b.GetAlphaChannel()->Fill(255);
  b.GetAlphaChannel()->SetPixelByte(0, 0, 1);
  TIOParamsVals p(nullptr);
  const Bytes file = Write(&b, {}, p);
  TempDir dir("psdw");
  const std::string f = dir.File("a16.psd");
  ASSERT_TRUE(gt_test::WriteFileBytes(f, file));
  // psd-tools gives samples as fractions of 65535.
  const std::string out = Capture(
      "/usr/bin/python3 -c \"from psd_tools import PSDImage;a=PSDImage.open('" + f +
      "')[0].numpy()[...,3];print(round(a.max()*65535), round(a.min()*65535))\" 2>/dev/null");
  EXPECT_EQ(out, "65535 257\n");
}

TEST(PsdWrite, TransparentIndexOnlyWhenThereIsTransparency) {
  TIEBitmap b(16, 16, ie8p);
  for (int i = 0; i < 256; ++i) b.SetPaletteColor(i, TRGB{Byte(i), Byte(255 - i), Byte(i / 2)});
  for (Integer y = 0; y < 16; ++y)
    for (Integer x = 0; x < 16; ++x) b.SetPixelByte(x, y, Byte(y * 16 + x));
  TIOParamsVals p(nullptr);
  // Every index is used, 255 among them: nothing is transparent after reload.
  {
    const Bytes file = Write(&b, {}, p);
    EXPECT_FALSE(Contains(file, {'8', 'B', 'I', 'M', 0x04, 0x17}));
    Read r;
    ReadPsd(r, file, false, false);
    const Rgb got = ToRgb(&r.B);
    EXPECT_EQ(got.Alpha, Bytes(256, 255));
    EXPECT_EQ(got, ToRgb(&b));
  }
  // Transparent pixels on indexes that opaque pixels use too get a free one.
  TIEBitmap t(4, 1, ie8p);
  for (int i = 0; i < 256; ++i) {
    TRGB c{};
    c.r = Byte(i);
    t.SetPaletteColor(i, c);
  }
  const Bytes idx = {3, 3, 7, 0};
  for (Integer x = 0; x < 4; ++x) t.SetPixelByte(x, 0, idx[size_t(x)]);
  t.GetAlphaChannel()->SetPixelByte(1, 0, 0);
  t.GetAlphaChannel()->SetPixelByte(2, 0, 0);
  const Bytes file = Write(&t, {}, p);
  EXPECT_TRUE(Contains(file, {'8', 'B', 'I', 'M', 0x04, 0x17, 0, 0, 0, 0, 0, 2, 0, 1}));
  Read r;
  ReadPsd(r, file, false, false);
  const Rgb got = ToRgb(&r.B);
  EXPECT_EQ(got.Alpha, (Bytes{255, 0, 0, 255}));
  EXPECT_EQ(got.Pixels[0], 3);
  EXPECT_EQ(got.Pixels[9], 0);
}

TEST(PsdWrite, ResourcesComeBack) {
  TIEBitmap b(4, 3, ie24RGB);
  TIOParamsVals p(nullptr);
  p.SetDpiX(240);
  p.SetDpiY(120);
  p.XMP_INFO = "<x:xmpmeta/>";
  const Bytes icc = {0, 0, 0, 21, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  p.GetInputICCProfile()->LoadFromBuffer(icc.data(), Integer(icc.size()));
  p.EXIF_THUMBNAIL = std::make_unique<TIEBitmap>(5, 4, ie24RGB);
  p.EXIF_THUMBNAIL->Fill(double(0x2040C0));
  const Bytes file = Write(&b, {}, p);
  // Written at an offset into a stream that already holds more data: the
  // document is the same bytes wherever it lands.
  TMemoryStream s;
  const Bytes junk(700, 0xAB);
  s.WriteBuffer(junk.data(), int64_t(junk.size()));
  s.SetPosition(11);
  Progress pr;
  IEWritePSD(&s, p, pr.Rec, &b, {});
  ASSERT_FALSE(pr.Aborting);
  const Bytes all = Contents(s);
  ASSERT_GE(all.size(), 11 + file.size());
  EXPECT_EQ(Bytes(all.begin() + 11, all.begin() + 11 + std::ptrdiff_t(file.size())), file);

  Read r;
  ReadPsd(r, file, false, false);
  ASSERT_FALSE(r.Pr.Aborting);
  EXPECT_EQ(r.P.DPIX, 240);
  EXPECT_EQ(r.P.DPIY, 120);
  EXPECT_EQ(r.P.XMP_INFO, "<x:xmpmeta/>");
  ASSERT_TRUE(r.P.INPUTICCPROFILE);
  EXPECT_EQ(r.P.INPUTICCPROFILE->RawLength(), 21);
  ASSERT_TRUE(r.P.EXIF_THUMBNAIL);
  EXPECT_EQ(r.P.EXIF_THUMBNAIL->Width(), 5);
  EXPECT_EQ(r.P.EXIF_THUMBNAIL->Height(), 4);
}

TEST(PsdWrite, LayersAreShownSizeAfterWriting) {
  TIEBitmap merged(8, 8, ie24RGB);
  auto l = MakeLayer(ManyColors(4, 2), 1, 1, "big");
  l->Width = 8;
  l->Height = 6;
  TIOParamsVals p(nullptr);
  const Bytes file = Write(&merged, {l.get()}, p);
  EXPECT_EQ(l->Bitmap->Width(), 8);
  EXPECT_EQ(l->Bitmap->Height(), 6);
  Read r;
  ReadPsd(r, file, true, false);
  ASSERT_EQ(r.L.size(), 1u);
  EXPECT_EQ(r.L[0]->Bitmap->Width(), 8);
  EXPECT_EQ(r.L[0]->Bitmap->Height(), 6);
}

TEST(PsdWrite, PackBitsRows) {
  struct Case {
    const char* Name;
    Bytes Row, Packed;
  };
  Bytes mixed = {1, 2, 2, 2, 5, 5, 5, 5, 5, 9};
  const Case cases[] = {
      {"200 equal bytes are two runs", Bytes(200, 7), {0x81, 7, 0xB9, 7}},
      {"three equal bytes stay literal", {1, 2, 2, 2}, {3, 1, 2, 2, 2}},
      {"literals flushed before a run", mixed, {3, 1, 2, 2, 2, 0xFC, 5, 0, 9}},
      {"one byte", {4}, {0, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bytes out;
    psd_common::PackBits(c.Row.data(), c.Row.size(), out);
    EXPECT_EQ(out, c.Packed);
    Bytes back(c.Row.size(), 0xEE);
    psd_common::UnpackBits(out.data(), out.size(), back.data(), back.size());
    EXPECT_EQ(back, c.Row);
  }
  // 300 different bytes: literal packets of at most 128.
  Bytes ramp(300);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = Byte(i * 7);
  Bytes out;
  psd_common::PackBits(ramp.data(), ramp.size(), out);
  EXPECT_EQ(out.size(), 303u);
  EXPECT_EQ(out[0], 127);
  EXPECT_EQ(out[129], 127);
  EXPECT_EQ(out[258], 43);
}

}  // namespace
}  // namespace psd_write_tests
