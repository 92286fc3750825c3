// GIF frames on a canvas: transparent frames drawn over a checkerboard,
// stretched and tiled, show the checkerboard exactly where they are
// transparent; rendering keeps indexes and palettes; frames are made from
// bitmaps of every depth; palettes are cached until a colour changes; the
// image travels over the clipboard and reports its progress.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/formats/giflib.h"
#include "imaging/formats/giflib_reduce.h"
#include "tests/imaging/formats/giflib_test_util.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/extctrls.h"
#include "platform/ui/forms.h"

namespace giflib_render_tests {
namespace {

using Rgb = std::array<Byte, 3>;

Rgb RgbOf(TColor C) { return {Byte(C), Byte(C >> 8), Byte(C >> 16)}; }

using giflib_test::Bitmap24;

Rgb PixelOf(TBitmap* B, Integer X, Integer Y) {
  B->SetPixelFormat(pf24bit);
  const Byte* row = static_cast<const Byte*>(B->ScanLine(Y));
  return {row[3 * X + 2], row[3 * X + 1], row[3 * X]};
}

Rgb Checker(Integer X, Integer Y) { return (X + Y) % 2 ? Rgb{200, 200, 200} : Rgb{40, 40, 40}; }

const std::vector<TColor> kColours = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};

// A screen of SW x SH with one frame at (X, Y), global table kColours,
// transparent index 3 when Transparent.
std::unique_ptr<TGIFImage> OneFrame(Integer SW, Integer SH, Integer X, Integer Y, Integer W, Integer H,
                                    bool Transparent, const std::function<Byte(Integer, Integer)>& Fn) {
  auto img = std::make_unique<TGIFImage>();
  for (TColor c : kColours) img->GetGlobalColorMap()->Add(c);
  img->SetWidth(SW);
  img->SetHeight(SH);
  auto* f = new TGIFSubImage(img.get());
  img->Add(f);
  f->SetBoundsRect(X, Y, W, H);
  for (Integer y = 0; y < H; ++y)
    for (Integer x = 0; x < W; ++x) f->GetScanline(y)[x] = Fn(x, y);
  if (Transparent) {
    auto* gce = new TGIFGraphicControlExtension(f);
    f->Extensions()->Add(gce);
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(3);
  }
  return img;
}

Byte Pattern(Integer X, Integer Y) { return Byte((X * 3 + Y) % 4); }

// ------------------------------------------------------------- drawing

TEST(GifLibDraw, TransparentFramesOverACheckerboard) {
  // A 4 x 3 screen with a 2 x 2 frame at (1, 1), drawn into a canvas of
  // 8 x 6: stretched twice its size, or repeated at its own size.
  struct Case {
    const char* Name;
    Word Options;
    TRect Rect;
  };
  const Case cases[] = {
      {"stretched, transparent", gpoTransparent, TRect(0, 0, 8, 6)},
      {"stretched, opaque", 0, TRect(0, 0, 8, 6)},
      {"own size, transparent", gpoTransparent, TRect(0, 0, 4, 3)},
      {"tiled, transparent", gpoTransparent | gpoTile, TRect(0, 0, 8, 6)},
      {"tiled, opaque", gpoTile, TRect(0, 0, 8, 6)},
      {"offset stretch, transparent", gpoTransparent, TRect(2, 1, 6, 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto img = OneFrame(4, 3, 1, 1, 2, 2, true, Pattern);
    img->PaintOptions = c.Options;
    auto canvas = Bitmap24(8, 6, Checker);
    img->Draw(canvas->Canvas(), c.Rect);
    const bool transparent = c.Options & gpoTransparent;
    for (Integer y = 0; y < 6; ++y)
      for (Integer x = 0; x < 8; ++x) {
        // Which frame pixel lands on (x, y), if any.
        Integer fx = -1, fy = -1;
        if (c.Options & gpoTile) {
          const Integer tx = (x - c.Rect.Left - 1) % 4, ty = (y - c.Rect.Top - 1) % 3;
          if (x >= c.Rect.Left + 1 && y >= c.Rect.Top + 1 && tx < 2 && ty < 2) fx = tx, fy = ty;
        } else {
          const Integer sx = c.Rect.Width() / 4, sy = c.Rect.Height() / 3;
          const Integer lx = x - c.Rect.Left - sx, ly = y - c.Rect.Top - sy;
          if (lx >= 0 && ly >= 0 && lx < 2 * sx && ly < 2 * sy) fx = lx / sx, fy = ly / sy;
        }
        Rgb want = Checker(x, y);
        if (fx >= 0) {
          const Byte p = Pattern(fx, fy);
          if (!(transparent && p == 3)) want = RgbOf(kColours[p]);
        }
        ASSERT_EQ(PixelOf(canvas.get(), x, y), want) << x << "," << y;
      }
  }
}

TEST(GifLibDraw, MasksExistOnlyForUsedTransparentColours) {
  // The transparent colour never used: no mask, and the frame draws opaque.
  auto unused = OneFrame(2, 2, 0, 0, 2, 2, true, [](Integer x, Integer) { return Byte(x); });
  TGIFSubImage* f = unused->Images()->GetFrame(0);
  EXPECT_FALSE(f->HasMask());
  unused->PaintOptions = gpoTransparent;
  auto canvas = Bitmap24(2, 2, Checker);
  unused->Draw(canvas->Canvas(), TRect(0, 0, 2, 2));
  EXPECT_EQ(PixelOf(canvas.get(), 1, 1), RgbOf(kColours[1]));

  auto used = OneFrame(2, 2, 0, 0, 2, 2, true, [](Integer x, Integer y) { return Byte(x == 1 && y == 0 ? 3 : 0); });
  TGIFSubImage* g = used->Images()->GetFrame(0);
  ASSERT_TRUE(g->HasMask());
  BITMAP info{};
  ASSERT_NE(GetObjectW(g->TransparencyMask(), sizeof(info), &info), 0);
  EXPECT_EQ(info.bmBitsPixel, 1);
  EXPECT_EQ(info.bmWidth, 2);
  // A new size drops the rendering and the mask with the pixels.
  g->SetBoundsRect(0, 0, 1, 1);
  EXPECT_EQ(g->TransparencyMask(), nullptr);
  EXPECT_FALSE(g->HasMask());
}

TEST(GifLibRender, PlainFramesKeepTheirIndexesAndTable) {
  auto img = OneFrame(5, 3, 0, 0, 5, 3, false, Pattern);
  TGIFSubImage* f = img->Images()->GetFrame(0);
  TBitmap* b = f->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(f->GetBitmap(), b);  // kept
  ASSERT_EQ(b->PixelFormat(), pf8bit);
  ASSERT_GE(b->ColorTableSize(), 4);
  for (Integer i = 0; i < 4; ++i) {
    const RGBQUAD q = b->ColorTableEntry(i);
    EXPECT_EQ((Rgb{q.rgbRed, q.rgbGreen, q.rgbBlue}), RgbOf(kColours[size_t(i)]));
  }
  for (Integer y = 0; y < 3; ++y)
    for (Integer x = 0; x < 5; ++x) EXPECT_EQ(static_cast<Byte*>(b->ScanLine(y))[x], Pattern(x, y));
  // An empty frame renders nothing.
  TGIFSubImage empty(img.get());
  EXPECT_EQ(empty.GetBitmap(), nullptr);
}

TEST(GifLibRender, DitheredFramesUseTheWebSafePalette) {
  // Colours already web-safe come out exact; the transparent colour's
  // placeholder index may lie beyond the palette (white: 216).
  auto img = std::make_unique<TGIFImage>();
  for (TColor c : {TColor(0x660000 | 0x3300), TColor(0xFFFFFF), TColor(0x000099)})
    img->GetGlobalColorMap()->Add(c);
  img->PaintOptions = gpoDither;
  auto* f = new TGIFSubImage(img.get());
  img->Add(f);
  f->SetBoundsRect(0, 0, 3, 2);
  const Byte px[6] = {0, 2, 1, 2, 1, 0};
  std::memcpy(f->PixelData.data(), px, 6);
  auto* gce = new TGIFGraphicControlExtension(f);
  f->Extensions()->Add(gce);
  gce->SetTransparent(true);
  gce->SetTransparentColorIndex(1);
  TBitmap* b = f->GetBitmap();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->ColorTableSize(), 256);
  // (0, 51, 102) -> 8; (153, 0, 0) -> 108; transparent white -> 216.
  const Byte want[6] = {8, 108, 216, 108, 216, 8};
  for (Integer i = 0; i < 6; ++i) EXPECT_EQ(static_cast<Byte*>(b->ScanLine(i / 3))[i % 3], want[i]) << i;
  EXPECT_TRUE(f->HasMask());
}

// ------------------------------------------------------------- palettes

std::vector<Rgb> EntriesOf(HPALETTE P) {
  PALETTEENTRY e[256];
  const UINT n = GetPaletteEntries(P, 0, 256, e);
  std::vector<Rgb> out;
  for (UINT i = 0; i < n; ++i) out.push_back({e[i].peRed, e[i].peGreen, e[i].peBlue});
  return out;
}

TEST(GifLibPalette, CachedUntilAColourChanges) {
  auto img = OneFrame(2, 2, 0, 0, 2, 2, false, Pattern);
  img->PaintOptions = 0;
  HPALETTE p = img->GetPalette();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(img->GetPalette(), p);
  EXPECT_EQ(EntriesOf(p)[1], RgbOf(kColours[1]));
  img->GetGlobalColorMap()->SetColor(1, 0x123456);
  EXPECT_EQ(EntriesOf(img->GetPalette())[1], RgbOf(0x123456));
  // A frame with its own table has its own palette, which follows the table.
  TGIFSubImage* f = img->Images()->GetFrame(0);
  f->LocalColorMap()->Add(0x010203);
  f->LocalColorMap()->Add(0x040506);
  EXPECT_EQ(EntriesOf(f->GetPalette()), (std::vector<Rgb>{{3, 2, 1}, {6, 5, 4}}));
  f->LocalColorMap()->SetColor(0, 0x0A0B0C);
  EXPECT_EQ(EntriesOf(f->GetPalette())[0], (Rgb{12, 11, 10}));
  // The rendering follows a table change too.
  TBitmap* b = f->GetBitmap();
  ASSERT_NE(b, nullptr);
  f->LocalColorMap()->SetColor(1, 0x303030);
  const RGBQUAD q = f->GetBitmap()->ColorTableEntry(1);
  EXPECT_EQ(q.rgbRed, 0x30);
}

TEST(GifLibPalette, NoTableAnywhereIsAnError) {
  TGIFImage img;
  img.PaintOptions = 0;
  auto* f = new TGIFSubImage(&img);
  img.Add(f);
  f->SetBoundsRect(0, 0, 1, 1);
  for (int round = 0; round < 2; ++round) {
    try {
      img.GetPalette();
      ADD_FAILURE() << "no error";
    } catch (const GIFException& e) {
      EXPECT_STREQ(e.what(), "No global or local color table defined");
    }
  }
  img.GetGlobalColorMap()->Add(0xFFFFFF);
  EXPECT_NE(img.GetPalette(), nullptr);
}

// ------------------------------------------------------------- conversion

TEST(GifLibAssign, FramesFromBitmapsOfEveryDepth) {
  const Rgb colours[3] = {{10, 20, 30}, {250, 0, 5}, {0, 128, 64}};
  auto source24 = Bitmap24(5, 4, [&](Integer x, Integer y) { return colours[(x + 2 * y) % 3]; });
  struct Case {
    const char* Name;
    TPixelFormat Format;
  };
  for (const Case& c : {Case{"8 bits", pf8bit}, Case{"4 bits", pf4bit}, Case{"24 bits", pf24bit}}) {
    SCOPED_TRACE(c.Name);
    TBitmap src;
    src.Assign(source24.get());
    src.SetPixelFormat(c.Format);
    TGIFImage img;
    img.ReductionMethod = crmNone;
    img.Assign(&src);
    ASSERT_EQ(img.Images()->GetCount(), 1);
    TGIFSubImage* f = img.Images()->GetFrame(0);
    EXPECT_EQ(f->Width(), 5);
    EXPECT_EQ(img.Width(), 5);
    TGIFColorMap* map = f->ActiveColorMap();
    TBitmap view;
    view.Assign(&src);
    for (Integer y = 0; y < 4; ++y)
      for (Integer x = 0; x < 5; ++x) {
        const Byte p = f->GetPixel(x, y);
        ASSERT_LT(p, map->Count());
        const Byte* e = map->Entry(p);
        EXPECT_EQ((Rgb{e[0], e[1], e[2]}), PixelOf(&view, x, y)) << x << "," << y;
      }
    if (c.Format == pf24bit) {
      // Exactly the colours used, in the order met.
      ASSERT_EQ(map->Count(), 3);
      for (Integer i = 0; i < 3; ++i)
        EXPECT_EQ((Rgb{map->Entry(i)[0], map->Entry(i)[1], map->Entry(i)[2]}), colours[i]);
    }
    if (c.Format == pf8bit) {
      // The indexes as they stand.
      ASSERT_EQ(src.PixelFormat(), pf8bit);
      for (Integer y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(f->GetScanline(y), src.ScanLine(y), 5), 0);
    }
  }
  // More than 256 colours without reduction overflow the table.
  auto many = Bitmap24(20, 20, [](Integer x, Integer y) { return Rgb{Byte(x), Byte(y), 7}; });
  TGIFImage img;
  img.ReductionMethod = crmNone;
  try {
    img.Assign(many.get());
    ADD_FAILURE() << "no error";
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Color table overflow");
  }
}

TEST(GifLibAssign, TransparentBitmaps) {
  const Rgb key{255, 0, 255};
  struct Case {
    const char* Name;
    bool KeyUsed;
  };
  for (const Case& c : {Case{"mask hides pixels", true}, Case{"mask hides nothing", false}}) {
    SCOPED_TRACE(c.Name);
    auto src = Bitmap24(4, 2, [&](Integer x, Integer y) {
      if (c.KeyUsed && x == 2) return key;
      return (x + y) % 2 ? Rgb{1, 2, 3} : Rgb{9, 9, 9};
    });
    src->SetTransparentColor(0xFF00FF);
    src->SetTransparent(true);
    TGIFImage img;
    img.ReductionMethod = crmNone;
    img.Assign(src.get());
    TGIFSubImage* f = img.Images()->GetFrame(0);
    if (!c.KeyUsed) {
      EXPECT_FALSE(f->HasTransparency);
      EXPECT_EQ(f->Extensions()->GetCount(), 0);
      EXPECT_EQ(f->LocalColorMap()->Count(), 2);
      continue;
    }
    ASSERT_TRUE(f->HasTransparency);
    const Byte t = f->TransparentIndex();
    for (Integer y = 0; y < 2; ++y)
      for (Integer x = 0; x < 4; ++x) EXPECT_EQ(f->GetPixel(x, y) == t, x == 2) << x << "," << y;
    // It draws as a hole.
    img.PaintOptions = gpoTransparent;
    auto canvas = Bitmap24(4, 2, Checker);
    img.Draw(canvas->Canvas(), TRect(0, 0, 4, 2));
    EXPECT_EQ(PixelOf(canvas.get(), 2, 1), Checker(2, 1));
    EXPECT_EQ(PixelOf(canvas.get(), 1, 1), (Rgb{9, 9, 9}));
  }
}

TEST(GifLibAssign, FramesAndImagesCopy) {
  auto img = OneFrame(6, 5, 1, 2, 3, 2, true, Pattern);
  img->GetBitmap();
  img->PaintOptions = gpoTransparent;
  img->AnimationRate = 50;
  // A comment after the last image travels with the copy.
  auto* tail = new TGIFSubImage(img.get());
  img->Add(tail);
  auto* comment = new TGIFCommentExtension(tail);
  comment->CommentLines = {"kept"};
  tail->Extensions()->Add(comment);
  bool copying = false;
  img->OnProgress = [&](TObject*, TProgressStage, Byte, bool, const TRect&, const WideString& M) {
    copying = copying || M == W("Copying...");
  };
  TGIFImage copy;
  copy.Assign(img.get());
  EXPECT_TRUE(copying);
  EXPECT_FALSE(copy.OnProgress);
  EXPECT_EQ(copy.PaintOptions, gpoTransparent);
  EXPECT_EQ(copy.AnimationRate, 100);
  ASSERT_EQ(copy.Images()->GetCount(), 2);
  TGIFSubImage* f = copy.Images()->GetFrame(0);
  EXPECT_EQ(f->BoundsRect(), TRect(1, 2, 4, 4));
  EXPECT_EQ(f->PixelData, img->Images()->GetFrame(0)->PixelData);
  EXPECT_TRUE(f->HasTransparency);
  ASSERT_NE(f->ControlExtension, nullptr);
  EXPECT_EQ(f->TransparentIndex(), 3);
  ASSERT_EQ(copy.Images()->GetFrame(1)->Extensions()->GetCount(), 1);
  TMemoryStream a, b;
  img->SaveToStream(&a);
  copy.SaveToStream(&b);
  ASSERT_EQ(a.Size(), b.Size());
  EXPECT_EQ(std::memcmp(a.Memory(), b.Memory(), size_t(a.Size())), 0);

  // The bitmap form shows the screen with the frame at its place.
  TBitmap form;
  form.Assign(&copy);
  ASSERT_EQ(form.Width(), 6);
  EXPECT_EQ(PixelOf(&form, 1 + 1, 2), RgbOf(kColours[Pattern(1, 0)]));
}

// ------------------------------------------------------------- clipboard

TEST(GifLibClipboard, RoundTripThroughTheClipboard) {
  auto img = OneFrame(3, 2, 0, 0, 3, 2, false, Pattern);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  Word format = 0;
  HGLOBAL data = nullptr;
  HPALETTE palette = nullptr;
  img->SaveToClipboardFormat(format, data, palette);
  ASSERT_NE(data, nullptr);
  SetClipboardData(format, data);
  CloseClipboard();

  ASSERT_TRUE(OpenClipboard(nullptr));
  TGIFImage gif, dib;
  gif.LoadFromClipboardFormat(CF_GIF(), nullptr, nullptr);
  dib.LoadFromClipboardFormat(CF_DIB, nullptr, nullptr);
  std::string unsupported;
  try {
    TGIFImage text;
    text.LoadFromClipboardFormat(CF_TEXT, nullptr, nullptr);
  } catch (const Exception& e) {
    unsupported = e.what();
  }
  CloseClipboard();
  EXPECT_EQ(unsupported, "Unsupported clipboard format");
  ASSERT_EQ(gif.Images()->GetCount(), 1);
  EXPECT_EQ(gif.Images()->GetFrame(0)->PixelData, img->Images()->GetFrame(0)->PixelData);
  ASSERT_EQ(dib.Images()->GetCount(), 1);
  TGIFSubImage* f = dib.Images()->GetFrame(0);
  for (Integer y = 0; y < 2; ++y)
    for (Integer x = 0; x < 3; ++x) {
      const Byte* e = f->ActiveColorMap()->Entry(f->GetPixel(x, y));
      EXPECT_EQ((Rgb{e[0], e[1], e[2]}), RgbOf(kColours[Pattern(x, y)])) << x << "," << y;
    }
}

// ------------------------------------------------------------- progress

TEST(GifLibProgress, StartsAndEndsEveryOperation) {
  auto img = OneFrame(4, 40, 0, 0, 4, 40, false, Pattern);
  std::vector<std::string> log;
  img->OnProgress = [&](TObject*, TProgressStage S, Byte P, bool, const TRect&, const WideString& M) {
    log.push_back(WideToUtf8(M) + char('0' + S) + std::to_string(P));
  };
  TMemoryStream s;
  img->SaveToStream(&s);
  EXPECT_EQ(log, (std::vector<std::string>{"Saving...00", "Saving...1100", "Saving...2100"}));
  log.clear();
  s.SetPosition(0);
  img->LoadFromStream(&s);
  EXPECT_EQ(log.front(), "Loading...00");
  EXPECT_EQ(log.back(), "Loading...2100");
  log.clear();
  img->Images()->GetFrame(0)->GetBitmap();
  // Rows 0 and 32 report while rendering.
  EXPECT_EQ(log, (std::vector<std::string>{"Rendering...00", "Rendering...10", "Rendering...180", "Rendering...2100"}));

  // A handler that aborts the rendering leaves no bitmap and ends with 0.
  img->Images()->GetFrame(0)->FreeBitmap();
  log.clear();
  img->OnProgress = [&](TObject*, TProgressStage S, Byte P, bool, const TRect&, const WideString& M) {
    log.push_back(WideToUtf8(M) + char('0' + S) + std::to_string(P));
    if (S == psRunning) throw EAbort("stop");
  };
  EXPECT_EQ(img->Images()->GetFrame(0)->GetBitmap(), nullptr);
  EXPECT_EQ(log.back(), "Rendering...20");
}

// ------------------------------------------------------------- palette changes

// A two-entry palette of grey levels, owned by whoever it is given to.
HPALETTE GreyPalette() {
  std::vector<Byte> mem(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(mem.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 2;
  lp->palPalEntry[0] = PALETTEENTRY{0, 0, 0, 0};
  lp->palPalEntry[1] = PALETTEENTRY{128, 128, 128, 0};
  return CreatePalette(lp);
}

TEST(GifLibPalette, AReplacedPaletteMarksTheImageAndTheNextRenderingAsksForARedraw) {
  auto img = OneFrame(4, 4, 0, 0, 4, 4, false, Pattern);
  std::vector<std::string> log;
  img->OnProgress = [&](TObject*, TProgressStage S, Byte, bool Redraw, const TRect&, const WideString&) {
    if (S == psEnding) log.push_back(Redraw ? "end+redraw" : "end");
  };
  img->OnChange = [&](TObject*) { log.push_back("changed"); };
  TGIFSubImage* f = img->Images()->GetFrame(0);
  ASSERT_NE(f->GetBitmap(), nullptr);
  EXPECT_FALSE(img->PaletteModified());
  EXPECT_EQ(log, (std::vector<std::string>{"end"}));
  log.clear();
  // The same palette again is no change.
  f->SetPalette(f->GetPalette());
  EXPECT_FALSE(img->PaletteModified());
  // A new palette for a frame rendered with another one.
  f->SetPalette(GreyPalette());
  EXPECT_TRUE(img->PaletteModified());
  EXPECT_EQ(log, (std::vector<std::string>{"changed"}));
  log.clear();
  ASSERT_NE(f->GetBitmap(), nullptr);
  // The closing report asks for a redraw, then the image tells its holders.
  EXPECT_EQ(log, (std::vector<std::string>{"end+redraw", "changed"}));
  // The image's own palette: a rendered image goes stale the same way.
  img->SetPaletteModified(false);
  ASSERT_NE(img->GetBitmap(), nullptr);
  log.clear();
  img->SetPalette(GreyPalette());
  EXPECT_TRUE(img->PaletteModified());
  EXPECT_EQ(log, (std::vector<std::string>{"changed"}));
}

TEST(GifLibPalette, AnImageControlTakesUpTheChangedPaletteAndClearsTheMark) {
  auto form = std::make_unique<TForm>(nullptr);
  auto* view = new TImage(form.get());
  view->SetParent(form.get());
  auto img = OneFrame(4, 4, 0, 0, 4, 4, false, Pattern);
  view->Picture()->SetGraphic(img.get());
  auto* shown = dynamic_cast<TGIFImage*>(view->Picture()->Graphic());
  ASSERT_NE(shown, nullptr);
  ASSERT_NE(shown->GetBitmap(), nullptr);
  shown->SetPalette(GreyPalette());
  EXPECT_FALSE(shown->PaletteModified());
  // Held by no control, the mark stays for whoever draws it next.
  ASSERT_NE(img->GetBitmap(), nullptr);
  img->SetPalette(GreyPalette());
  EXPECT_TRUE(img->PaletteModified());
}

}  // namespace
}  // namespace giflib_render_tests
