// Pictures through the virtual image list: round trips of every format with
// palette and alpha, mapping of the least recently used, borrowed bitmaps
// and their write-back, and the whole-picture bits address of a borrowed
// picture.
#include "vlist_fixture.h"

namespace test_vlist_pictures_tests {

namespace {

// --- round trips, memory and disk store ---------------------------------------

class VlistRoundTripTest : public VlistTest, public ::testing::WithParamInterface<bool> {};

TEST_P(VlistRoundTripTest, EveryFormatReadsBackThroughBitsAndBitmap) {
  const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB};
  TIEVirtualImageList list(W("ILIST"), GetParam());
  std::vector<std::unique_ptr<TIEBitmap>> pics;
  std::vector<TIEVirtualImageInfo*> imgs;
  for (TIEPixelFormat pf : formats) {
    // Odd widths: rows of every format need padding to 4 bytes.
    pics.push_back(MakePicture(13, 7, pf, static_cast<int>(pf)));
    imgs.push_back(list.AddBitmap(pics.back().get()));
    ASSERT_NE(imgs.back(), nullptr);
    EXPECT_EQ(imgs.back()->Size, int64_t(IEBitmapRowLen(13, IEPixelFormatBitCount(pf), 32)) * 7 + (pf == ie8p ? 768 : 0));
  }
  for (size_t i = 0; i < pics.size(); ++i) {
    SCOPED_TRACE(int(formats[i]));
    TIEVirtualImageInfo* img = imgs[i];
    EXPECT_EQ(list.GetImageWidth(img), 13);
    EXPECT_EQ(list.GetImageHeight(img), 7);
    EXPECT_EQ(list.GetImagePixelFormat(img), formats[i]);
    EXPECT_EQ(list.GetImageBitCount(img), IEPixelFormatBitCount(formats[i]));
    // The bits are the rows bottom-up: first the picture's last row.
    EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *pics[i]));
    EXPECT_EQ(list.GetImageAlphaBits(img), nullptr);
    void* pal = list.GetImagePalette(img);
    if (formats[i] == ie8p) {
      ASSERT_NE(pal, nullptr);
      EXPECT_EQ(std::memcmp(pal, pics[i]->GetPaletteBuffer(), 768), 0);
    } else {
      EXPECT_EQ(pal, nullptr);
    }
    TIEBitmap* got = list.GetBitmap(img);
    ASSERT_NE(got, nullptr);
    EXPECT_TRUE(SameRows(*got, *pics[i]));
    EXPECT_FALSE(got->HasAlphaChannel());
    if (formats[i] == ie8p) {
      EXPECT_EQ(std::memcmp(got->GetPaletteBuffer(), pics[i]->GetPaletteBuffer(), 768), 0);
    }
    list.ReleaseBitmap(got, false);
  }
}

TEST_P(VlistRoundTripTest, AlphaChannelTravelsUnlessWhollyOpaque) {
  TIEVirtualImageList list(W("ILIST"), GetParam());
  // Partial alpha, on an ie8p picture so that the palette lies in between.
  auto part = MakePicture(21, 9, ie8p, 3);
  TIEBitmap* pa = part->GetAlphaChannel();
  FillPattern(*pa, 77);
  pa->SetFull(false);
  // Opaque alpha, marked Full.
  auto opaque = MakePicture(21, 9, ie24RGB, 4);
  opaque->GetAlphaChannel()->Fill(255);
  ASSERT_TRUE(opaque->GetAlphaChannel()->Full());

  TIEVirtualImageInfo* ip = list.AddBitmap(part.get());
  TIEVirtualImageInfo* io = list.AddBitmap(opaque.get());
  ASSERT_TRUE(ip && io);
  EXPECT_TRUE(ip->HasAlpha);
  EXPECT_EQ(ip->Size, int64_t(24) * 9 + 768 + 1 + int64_t(24) * 9);

  EXPECT_TRUE(BitsMatch(list.GetImageAlphaBits(ip), *pa));
  EXPECT_EQ(list.GetImageAlphaBits(io), nullptr);

  TIEBitmap* gp = list.GetBitmap(ip);
  ASSERT_NE(gp, nullptr);
  ASSERT_TRUE(gp->HasAlphaChannel());
  EXPECT_TRUE(SameRows(*gp->GetAlphaChannel(), *pa));
  EXPECT_FALSE(gp->GetAlphaChannel()->Full());
  EXPECT_TRUE(SameRows(*gp, *part));
  EXPECT_EQ(std::memcmp(gp->GetPaletteBuffer(), part->GetPaletteBuffer(), 768), 0);
  // While borrowed the alpha address is the borrowed bitmap's.
  EXPECT_EQ(list.GetImageAlphaBits(ip), gp->GetAlphaChannel()->GetScanline(8));

  TIEBitmap* go = list.GetBitmap(io);
  ASSERT_NE(go, nullptr);
  EXPECT_FALSE(go->HasAlphaChannel());
  EXPECT_TRUE(SameRows(*go, *opaque));
  list.ReleaseBitmap(gp, false);
  list.ReleaseBitmap(go, false);
}

INSTANTIATE_TEST_SUITE_P(Store, VlistRoundTripTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Disk" : "Memory"; });

// --- mapping -----------------------------------------------------------------------

using VlistMappingTest = VlistTest;

TEST_F(VlistMappingTest, AtMostElevenMappedLeastRecentlyUsedGoesFirstAndIsWrittenBack) {
  TIEVirtualImageList list(W("ILIST"), true);
  std::vector<std::unique_ptr<TIEBitmap>> pics;
  std::vector<TIEVirtualImageInfo*> imgs;
  for (int i = 0; i < 11; ++i) {
    pics.push_back(MakePicture(40, 30, ie24RGB, i));
    imgs.push_back(list.AddBitmap(pics.back().get()));
  }
  EXPECT_EQ(list.MappedCount(), 11);
  for (auto* img : imgs) EXPECT_NE(img->Block, nullptr);
  EXPECT_EQ(imgs[0]->MapMode, ieaWrite);

  // Touching picture 0 makes picture 1 the least recently used.
  ASSERT_NE(list.GetImageBits(imgs[0]), nullptr);
  EXPECT_EQ(imgs[0]->MapMode, ieaRead);
  pics.push_back(MakePicture(40, 30, ie24RGB, 11));
  imgs.push_back(list.AddBitmap(pics.back().get()));
  EXPECT_EQ(list.MappedCount(), 11);
  EXPECT_NE(imgs[0]->Block, nullptr);
  EXPECT_EQ(imgs[1]->Block, nullptr);

  // Picture 1 was mapped for writing: its pixels are in the store itself.
  TIEFileBuffer* store = list.Store();
  void* raw = store->Map(ieaRead, imgs[1]->Offset, imgs[1]->Size);
  EXPECT_TRUE(BitsMatch(raw, *pics[1]));
  store->Unmap(raw);
  // Picture 2 is still only in memory: the store holds zeros there.
  raw = store->Map(ieaRead, imgs[2]->Offset, imgs[2]->Size);
  std::vector<Byte> zeros(static_cast<size_t>(imgs[2]->Size), 0);
  EXPECT_EQ(std::memcmp(raw, zeros.data(), zeros.size()), 0);
  store->Unmap(raw);

  // Reading every picture back cycles the mapping; all pixels survive.
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < imgs.size(); ++i) {
      EXPECT_TRUE(BitsMatch(list.GetImageBits(imgs[i]), *pics[i])) << i;
      EXPECT_LE(list.MappedCount(), 11);
    }
}

// --- borrowed bitmaps ----------------------------------------------------------------

using VlistBorrowTest = VlistTest;

TEST_F(VlistBorrowTest, BorrowingIsCountedAndSharesOneBitmap) {
  TIEVirtualImageList list(W("ILIST"), false);
  auto pic = MakePicture(30, 20, ie24RGB, 1);
  TIEVirtualImageInfo* img = list.AddBitmap(pic.get());
  TIEBitmap* a = list.GetBitmap(img);
  TIEBitmap* b = list.GetBitmap(img);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(list.HolderCount(), 1);
  EXPECT_TRUE(img->Held);
  // While held, the shape comes from the bitmap.
  a->SetWidth(25);
  EXPECT_EQ(list.GetImageWidth(img), 25);
  EXPECT_EQ(img->Width, 30);
  list.ReleaseBitmap(a, false);
  EXPECT_TRUE(img->Held);
  EXPECT_EQ(list.HolderCount(), 1);
  list.ReleaseBitmapByImage(img, false);
  EXPECT_FALSE(img->Held);
  EXPECT_EQ(list.HolderCount(), 0);
  EXPECT_EQ(list.GetImageWidth(img), 30);
  // Unsaved changes are gone; nil and strangers are ignored.
  list.ReleaseBitmap(nullptr, true);
  TIEBitmap stranger(4, 4, ie8g);
  list.ReleaseBitmap(&stranger, true);
  list.ReleaseBitmapByImage(img, true);
  EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *pic));
}

TEST_F(VlistBorrowTest, SavedChangesAreStored) {
  struct Case {
    const char* name;
    Integer w, h;
    TIEPixelFormat pf;
    bool alpha;
  };
  // Stored as 40 x 30 ie8g without alpha, then changed to:
  const Case cases[] = {
      {"same shape", 40, 30, ie8g, false},
      {"new size", 57, 11, ie8g, false},
      // Same bit count, but a palette needs room the ie8g block lacks.
      {"palette format", 40, 30, ie8p, false},
      {"24-bit format", 40, 30, ie24RGB, false},
      {"alpha added", 40, 30, ie8g, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIEVirtualImageList list(W("ILIST"), true);
    TIEVirtualImageInfo* before = list.AddBitmap(MakePicture(10, 10, ie24RGB, 0).get());
    TIEVirtualImageInfo* img = list.AddBitmap(MakePicture(40, 30, ie8g, 1).get());
    TIEVirtualImageInfo* after = list.AddBitmap(MakePicture(10, 10, ie24RGB, 2).get());
    auto want = MakePicture(c.w, c.h, c.pf, 9);
    if (c.alpha) {
      FillPattern(*want->GetAlphaChannel(), 5);
      want->GetAlphaChannel()->SetFull(false);
    }
    TIEBitmap* b = list.GetBitmap(img);
    ASSERT_NE(b, nullptr);
    b->Assign(want.get());
    list.ReleaseBitmap(b, true);
    EXPECT_FALSE(img->Held);
    EXPECT_EQ(img->PixelFormat, c.pf);
    EXPECT_EQ(img->HasAlpha, c.alpha);
    EXPECT_EQ(img->OriginalWidth, c.w);
    EXPECT_EQ(img->OriginalHeight, c.h);
    TIEBitmap* got = list.GetBitmap(img);
    ASSERT_NE(got, nullptr);
    EXPECT_TRUE(SameRows(*got, *want));
    if (c.pf == ie8p) {
      EXPECT_EQ(std::memcmp(got->GetPaletteBuffer(), want->GetPaletteBuffer(), 768), 0);
    }
    EXPECT_EQ(got->HasAlphaChannel(), c.alpha);
    if (c.alpha) {
      EXPECT_TRUE(SameRows(*got->GetAlphaChannel(), *want->GetAlphaChannel()));
    }
    list.ReleaseBitmap(got, false);
    // The neighbours in the store are untouched.
    EXPECT_TRUE(BitsMatch(list.GetImageBits(before), *MakePicture(10, 10, ie24RGB, 0)));
    EXPECT_TRUE(BitsMatch(list.GetImageBits(after), *MakePicture(10, 10, ie24RGB, 2)));
  }
}

TEST_F(VlistBorrowTest, DeleteAndDestroyFreeBorrowedBitmaps) {
  // The sanitizer build shows a bitmap that is not freed.
  TIEVirtualImageList list(W("ILIST"), false);
  TIEVirtualImageInfo* a = list.AddBitmap(MakePicture(8, 8, ie24RGB, 1).get());
  TIEVirtualImageInfo* b = list.AddBitmap(MakePicture(8, 8, ie24RGB, 2).get());
  ASSERT_NE(list.GetBitmap(a), nullptr);
  ASSERT_NE(list.GetBitmap(a), nullptr);
  ASSERT_NE(list.GetBitmap(b), nullptr);
  list.Delete(a);
  EXPECT_EQ(list.HolderCount(), 1);
  EXPECT_EQ(list.ImageCount(), 1);
  EXPECT_EQ(list.Images(0), b);
  // A deleted or foreign record is refused, not used.
  TIEVirtualImageList other(W("ILIST"), false);
  TIEVirtualImageInfo* foreign = other.AddBitmap(MakePicture(8, 8, ie24RGB, 3).get());
  EXPECT_EQ(list.GetBitmap(foreign), nullptr);
  EXPECT_EQ(list.GetImageBits(foreign), nullptr);
  list.Delete(foreign);
  EXPECT_EQ(other.ImageCount(), 1);
  EXPECT_EQ(list.AddBitmap(nullptr), nullptr);
}

// --- the bits of a borrowed picture cover the whole picture --------------------------

TEST_F(VlistBorrowTest, BorrowedPictureBitsCoverTheWholePicture) {
  struct Case {
    const char* name;
    void (*setup)();
  };
  const Case cases[] = {
      {"above the memory threshold", [] { IEMemoryThresholdOverride = 4096; }},
      {"only segments to be had",
       [] { IEBitmapTestHooks.FailBlock = [](int64_t Size) { return Size > 4096; }; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIEVirtualImageList list(W("ILIST"), true);
    auto pic = MakePicture(120, 90, ie24RGB, 6);
    FillPattern(*pic->GetAlphaChannel(), 8);
    pic->GetAlphaChannel()->SetFull(false);
    TIEVirtualImageInfo* img = list.AddBitmap(pic.get());
    ASSERT_NE(img, nullptr);
    c.setup();
    TIEBitmap* b = list.GetBitmap(img);
    ASSERT_NE(b, nullptr);
    // Reading the whole block through the address must neither run off a
    // single row nor show stale rows.
    EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *pic));
    EXPECT_TRUE(BitsMatch(list.GetImageAlphaBits(img), *pic->GetAlphaChannel()));
    EXPECT_EQ(list.GetImageBits(img), b->GetScanline(89));
    // The borrower writes through the bitmap and moves it to a file: the
    // address still covers the whole, current picture.
    FillPattern(*b, 99);
    b->SetLocation(ieFile);
    auto want = MakePicture(120, 90, ie24RGB, 99);
    EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *want));
    EXPECT_TRUE(SameRows(*b, *want));
    list.ReleaseBitmap(b, true);
    IEMemoryThresholdOverride = SavedThreshold;
    IEBitmapTestHooks = {};
    EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *want));
    EXPECT_TRUE(BitsMatch(list.GetImageAlphaBits(img), *pic->GetAlphaChannel()));
  }
}

}  // namespace

}  // namespace test_vlist_pictures_tests
