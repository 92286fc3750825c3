// Image lists: splitting strips (whole images only, the right height only),
// the system-menu strip against an outside cropper, transparent and greyed
// drawing, change notification and lists sharing one handle.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/graphics/resources.h"
#include "platform/ui/imglist.h"
#include "tests/platform/graphics/gdi_test_util.h"
#include "tests/support/files.h"
#include "tests/support/pnm.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace imglist_tests {
namespace {

uint32_t PixelAt(TBitmap* B, Integer X, Integer Y) {
  const auto* Row = static_cast<const Byte*>(B->ScanLine(Y));
  return (uint32_t{Row[X * 3 + 2]} << 16) | (uint32_t{Row[X * 3 + 1]} << 8) | Row[X * 3];
}

uint32_t Rgb(TColor C) {
  const COLORREF R = static_cast<COLORREF>(ColorToRGB(C));
  return (uint32_t{GetRValue(R)} << 16) | (uint32_t{GetGValue(R)} << 8) | GetBValue(R);
}

TEST(ImageList, StripsGiveWholeImagesOfTheListsHeightOnly) {
  struct Case {
    const char* Name;
    Integer W, H;
    Integer First, Count;
  };
  const Case Cases[] = {
      {"four whole images", 64, 16, 0, 4},
      {"a trailing part is ignored", 40, 16, 0, 2},
      {"exactly one", 16, 16, 0, 1},
      {"narrower than one image", 8, 16, -1, 0},
      {"taller", 32, 20, -1, 0},
      {"shorter", 32, 8, -1, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    TImageList L(16, 16, nullptr);
    Integer Changes = 0;
    L.OnChange = [&](TObject*) { ++Changes; };
    auto Strip = FilledBitmap(C.W, C.H, clRed);
    EXPECT_EQ(L.AddMasked(Strip.get(), clFuchsia), C.First);
    EXPECT_EQ(L.Count(), C.Count);
    EXPECT_EQ(Changes, C.First >= 0 ? 1 : 0);
    auto Mask = FilledBitmap(C.W, C.H, clBlack);
    EXPECT_EQ(L.Add(Strip.get(), Mask.get()), C.First >= 0 ? C.Count : -1);
    EXPECT_EQ(L.Count(), 2 * C.Count);
  }
}

TEST(ImageList, SystemMenuStripMatchesTheOutsideCropWithSilverTransparent) {
  ASSERT_TRUE(gt_test::HaveTool("convert"));
  gt_test::TempDir Dir("imglist");
  ASSERT_TRUE(Dir.Ok());
  auto Strip = GtResourceBitmap(u"TBSYSMENUIMAGES");
  ASSERT_NE(Strip, nullptr);
  Strip->SaveToFile(Utf8ToWide(Dir.File("strip.bmp")));
  ASSERT_EQ(gt_test::Shell("convert " + Dir.File("strip.bmp") + " -depth 8 -crop 16x16 +repage " + Dir.File("tile_%d.ppm")), 0);

  TImageList L(16, 16, nullptr);
  ASSERT_EQ(L.AddMasked(Strip.get(), clSilver), 0);
  ASSERT_EQ(L.Count(), 4);
  Integer Opaque = 0, Clear = 0;
  for (Integer i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    gt_test::Pnm Tile;
    ASSERT_TRUE(gt_test::ParsePnm(gt_test::ReadFileBytes(Dir.File("tile_" + std::to_string(i) + ".ppm")), Tile));
    ASSERT_EQ(Tile.Width, 16);
    ASSERT_EQ(Tile.Height, 16);
    // Drawn over fuchsia: silver pixels let it through, the others are the tile's.
    auto Out = FilledBitmap(16, 16, clFuchsia);
    L.Draw(Out->Canvas(), 0, 0, i);
    for (Integer y = 0; y < 16; ++y)
      for (Integer x = 0; x < 16; ++x) {
        const uint32_t T = (uint32_t(Tile.At(x, y, 0)) << 16) | (uint32_t(Tile.At(x, y, 1)) << 8) | uint32_t(Tile.At(x, y, 2));
        const bool Silver = T == 0xC0C0C0;
        EXPECT_EQ(PixelAt(Out.get(), x, y), Silver ? 0xFF00FFu : T) << x << "," << y;
        (Silver ? Clear : Opaque) += 1;
      }
  }
  EXPECT_GT(Opaque, 0);
  EXPECT_GT(Clear, 0);
}

// K black, W white, R red, T transparent (fuchsia), on a 4 x 4 image.
const char* const kImage[] = {"KWTT", "RTTW", "TTKT", "TTTT"};

std::unique_ptr<TBitmap> ImageFromRows() {
  auto B = FilledBitmap(4, 4, clFuchsia);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x) {
      const char C = kImage[y][x];
      if (C != 'T') B->Canvas()->SetPixels(x, y, C == 'K' ? clBlack : C == 'W' ? clWhite : clRed);
    }
  return B;
}

TEST(ImageList, EnabledDrawingKeepsTheBackgroundAndGreyedDrawingMatchesTheGolden) {
  TImageList L(4, 4, nullptr);
  auto Img = ImageFromRows();
  ASSERT_EQ(L.AddMasked(Img.get(), clFuchsia), 0);
  const TColor Bg = static_cast<TColor>(RGB(10, 20, 30));

  auto Enabled = FilledBitmap(4, 4, Bg);
  L.Draw(Enabled->Canvas(), 0, 0, 0, true);
  for (Integer y = 0; y < 4; ++y)
    for (Integer x = 0; x < 4; ++x) {
      const char C = kImage[y][x];
      const uint32_t Want = C == 'K' ? 0u : C == 'W' ? 0xFFFFFFu : C == 'R' ? 0xFF0000u : Rgb(Bg);
      EXPECT_EQ(PixelAt(Enabled.get(), x, y), Want) << x << "," << y;
    }

  // Greyed at (1, 1) on 6 x 6: the dark and coloured pixels are the shape;
  // h the highlight one pixel down and right, s the shadow over it.
  const char* const Golden[] = {"......", ".s....", ".sh...", "..hs..", "....h.", "......"};
  auto Grey = FilledBitmap(6, 6, Bg);
  L.Draw(Grey->Canvas(), 1, 1, 0, false);
  for (Integer y = 0; y < 6; ++y)
    for (Integer x = 0; x < 6; ++x) {
      const char G = Golden[y][x];
      const uint32_t Want = G == 'h' ? Rgb(clBtnHighlight) : G == 's' ? Rgb(clBtnShadow) : Rgb(Bg);
      EXPECT_EQ(PixelAt(Grey.get(), x, y), Want) << x << "," << y;
    }
}

TEST(ImageList, DrawExBackgroundsAndMasksTable) {
  HIMAGELIST H = ImageList_Create(4, 4, ILC_COLOR24 | ILC_MASK, 1, 1);
  auto Img = ImageFromRows();
  ASSERT_EQ(ImageList_AddMasked(H, Img->Handle(), RGB(255, 0, 255)), 0);
  struct Case {
    const char* Name;
    COLORREF Bk;
    UINT Style;
    uint32_t ClearPixel, BlackPixel;  // at (3, 3) and (0, 0)
  };
  const Case Cases[] = {
      {"none, transparent", CLR_NONE, ILD_TRANSPARENT, 0x0A141E, 0},
      {"none, normal", CLR_NONE, ILD_NORMAL, 0x0A141E, 0},
      {"a colour fills", RGB(0, 255, 0), ILD_NORMAL, 0x00FF00, 0},
      {"transparent wins over a colour", RGB(0, 255, 0), ILD_TRANSPARENT, 0x0A141E, 0},
      {"the mask", CLR_NONE, ILD_MASK, 0xFFFFFF, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    auto Out = FilledBitmap(4, 4, static_cast<TColor>(RGB(10, 20, 30)));
    ASSERT_TRUE(ImageList_DrawEx(H, 0, Out->Canvas()->Handle(), 0, 0, 0, 0, C.Bk, CLR_NONE, C.Style));
    EXPECT_EQ(PixelAt(Out.get(), 3, 3), C.ClearPixel);
    EXPECT_EQ(PixelAt(Out.get(), 0, 0), C.BlackPixel);
  }
  // A mask bitmap: white is transparent.
  auto Red = FilledBitmap(4, 4, clRed);
  auto Mask = FilledBitmap(4, 4, clBlack);
  Mask->Canvas()->SetPixels(1, 1, clWhite);
  ASSERT_TRUE(ImageList_Replace(H, 0, Red->Handle(), Mask->Handle()));
  auto Out = FilledBitmap(4, 4, clBlue);
  ImageList_Draw(H, 0, Out->Canvas()->Handle(), 0, 0, ILD_TRANSPARENT);
  EXPECT_EQ(PixelAt(Out.get(), 1, 1), 0x0000FFu);
  EXPECT_EQ(PixelAt(Out.get(), 2, 1), 0xFF0000u);
  EXPECT_FALSE(ImageList_Replace(H, 1, Red->Handle(), nullptr));
  EXPECT_FALSE(ImageList_DrawEx(H, 5, Out->Canvas()->Handle(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, 0));
  EXPECT_TRUE(ImageList_Destroy(H));
  EXPECT_EQ(ImageList_GetImageCount(H), -1);
}

TEST(ImageList, ChangesAreAnnouncedOncePerChangeOrBracket) {
  TImageList L(8, 8, nullptr);
  Integer Changes = 0, Linked = 0;
  L.OnChange = [&](TObject* S) {
    EXPECT_EQ(S, &L);
    ++Changes;
  };
  auto Link = std::make_unique<TChangeLink>();
  Link->OnChange = [&](TObject* S) {
    EXPECT_EQ(S, &L);
    ++Linked;
  };
  L.RegisterChanges(Link.get());
  EXPECT_EQ(Link->Sender(), &L);
  auto Strip = FilledBitmap(24, 8, clRed);
  struct Step {
    const char* Name;
    std::function<void()> Do;
    Integer Changes, Count;
  };
  const Step Steps[] = {
      {"add", [&] { L.AddMasked(Strip.get(), clNone); }, 1, 3},
      {"bracket of three", [&] {
         L.BeginUpdate();
         L.AddMasked(Strip.get(), clNone);
         L.Delete(0);
         L.Delete(0);
         L.EndUpdate();
       }, 1, 4},
      {"empty bracket", [&] {
         L.BeginUpdate();
         L.EndUpdate();
       }, 0, 4},
      {"replace", [&] { L.Replace(1, FilledBitmap(8, 8, clBlue).get(), nullptr); }, 1, 4},
      {"same size", [&] { L.SetSize(8, 8); }, 0, 4},
      {"new size empties", [&] { L.SetWidth(10); }, 1, 0},
      {"clear an empty list", [&] { L.Clear(); }, 0, 0},
  };
  for (const Step& S : Steps) {
    SCOPED_TRACE(S.Name);
    Changes = Linked = 0;
    S.Do();
    EXPECT_EQ(Changes, S.Changes);
    EXPECT_EQ(Linked, S.Changes);
    EXPECT_EQ(L.Count(), S.Count);
  }
  EXPECT_THROW(L.Delete(0), EInvalidOperation);
  EXPECT_THROW(L.Replace(0, Strip.get(), nullptr), EInvalidOperation);
  // A link freed first leaves the list; a list freed first leaves the link.
  Link.reset();
  L.AddMasked(FilledBitmap(10, 8, clRed).get(), clNone);
  auto Late = std::make_unique<TChangeLink>();
  {
    TImageList Short(4, 4, nullptr);
    Short.RegisterChanges(Late.get());
  }
  EXPECT_EQ(Late->Sender(), nullptr);
}

TEST(ImageList, ListsOnOneHandleShareTheirImages) {
  auto A = std::make_unique<TImageList>(16, 16, nullptr);
  A->AddMasked(FilledBitmap(32, 16, clRed).get(), clFuchsia);
  TImageList B(nullptr);
  B.SetShareImages(true);
  B.SetHandle(A->Handle());
  EXPECT_EQ(B.Count(), 2);
  EXPECT_EQ(B.Width(), 16);
  B.AddMasked(FilledBitmap(16, 16, clBlue).get(), clFuchsia);
  EXPECT_EQ(A->Count(), 3);
  EXPECT_EQ(ImageList_GetImageCount(A->Handle()), 3);
  // The sharing list leaves the handle alive; the owner frees it.
  HIMAGELIST H = A->Handle();
  {
    TImageList C(nullptr);
    C.SetShareImages(true);
    C.SetHandle(H);
  }
  EXPECT_EQ(ImageList_GetImageCount(H), 3);
  B.SetHandle(nullptr);
  A.reset();
  EXPECT_EQ(ImageList_GetImageCount(H), -1);
}

}  // namespace
}  // namespace imglist_tests
