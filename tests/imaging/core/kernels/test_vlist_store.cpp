// Placement of pictures in the virtual image list's store: offsets, growth,
// reuse of freed space, and a store that stays bounded over a long session.
#include <cerrno>
#include <random>

#include "vlist_fixture.h"

namespace test_vlist_store_tests {

namespace {

constexpr int64_t kInitialStore = 262144;

// 100 x 100 ie24RGB: rows of 300 bytes, 30,000 bytes a picture.
std::unique_ptr<TIEBitmap> Small(int Seed) { return MakePicture(100, 100, ie24RGB, Seed); }

using VlistStoreTest = VlistTest;

TEST_F(VlistStoreTest, PlacesPicturesOneAfterAnotherAndGrowsByTheLargePictureRule) {
  TIEVirtualImageList list(W("ILIST"), true);
  EXPECT_EQ(list.StoreSize(), kInitialStore);
  EXPECT_EQ(list.GrowStep(), kInitialStore);
  std::vector<TIEVirtualImageInfo*> imgs;
  for (int i = 0; i < 3; ++i) {
    auto b = Small(i);
    imgs.push_back(list.AddBitmap(b.get()));
    ASSERT_NE(imgs.back(), nullptr);
    EXPECT_EQ(imgs.back()->Offset, 30000 * i);
    EXPECT_EQ(imgs.back()->Size, 30000);
  }
  EXPECT_EQ(list.StoreSize(), kInitialStore);
  EXPECT_EQ(list.EndOffset(), 90000);

  // 100 x 1000 ie24RGB: 300,000 bytes, more than the step.
  auto big = MakePicture(100, 1000, ie24RGB, 9);
  TIEVirtualImageInfo* b = list.AddBitmap(big.get());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Offset, 90000);
  EXPECT_EQ(list.GrowStep(), 300000 + 30000);
  EXPECT_EQ(list.LastAllocation(), 300000);
  EXPECT_EQ(list.StoreSize(), kInitialStore + 330000);
  EXPECT_EQ(list.EndOffset(), 390000);

  // Every picture survived the growth of the store.
  for (int i = 0; i < 3; ++i) {
    auto want = Small(i);
    EXPECT_TRUE(BitsMatch(list.GetImageBits(imgs[i]), *want)) << i;
  }
  EXPECT_TRUE(BitsMatch(list.GetImageBits(b), *big));

  // Deleting everything shrinks the store to the (raised) step and starts
  // again at 0.
  for (auto* img : imgs) list.Delete(img);
  list.Delete(b);
  EXPECT_EQ(list.ImageCount(), 0);
  EXPECT_EQ(list.StoreSize(), 330000);
  EXPECT_EQ(list.EndOffset(), 0);
  auto again = Small(4);
  TIEVirtualImageInfo* a = list.AddBitmap(again.get());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->Offset, 0);
  EXPECT_TRUE(BitsMatch(list.GetImageBits(a), *again));
}

TEST_F(VlistStoreTest, FreedSpaceIsReused) {
  struct Case {
    const char* name;
    std::vector<int> deleteOrder;  // of four 30,000-byte pictures at 0, 30000, 60000, 90000
    Integer newHeight;             // of the 100-wide ie24RGB picture added afterwards
    int64_t expectedOffset;
  };
  const Case cases[] = {
      {"middle block, same size", {1}, 100, 30000},
      {"smaller picture takes the front of a free block", {1}, 40, 30000},
      // Deleted out of address order: the three blocks must still merge
      // into one that takes a picture of three times the size.
      {"neighbours merged whatever the order", {2, 0, 1}, 300, 0},
      {"free space at the end goes back to the end", {3, 2}, 200, 60000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TIEVirtualImageList list(W("ILIST"), false);
    std::vector<TIEVirtualImageInfo*> imgs;
    for (int i = 0; i < 4; ++i) imgs.push_back(list.AddBitmap(Small(i).get()));
    for (int d : c.deleteOrder) list.Delete(imgs[d]);
    auto pic = MakePicture(100, c.newHeight, ie24RGB, 7);
    TIEVirtualImageInfo* img = list.AddBitmap(pic.get());
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->Offset, c.expectedOffset);
    EXPECT_EQ(list.StoreSize(), kInitialStore);
    EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *pic));
    // The survivors are untouched by the newcomer.
    for (int i = 0; i < 4; ++i) {
      if (std::find(c.deleteOrder.begin(), c.deleteOrder.end(), i) != c.deleteOrder.end()) continue;
      auto want = Small(i);
      EXPECT_TRUE(BitsMatch(list.GetImageBits(imgs[i]), *want)) << i;
    }
  }
}

TEST_F(VlistStoreTest, FreeBlocksSurviveAGrowthOfTheStore) {
  TIEVirtualImageList list(W("ILIST"), true);
  std::vector<TIEVirtualImageInfo*> imgs;
  for (int i = 0; i < 3; ++i) imgs.push_back(list.AddBitmap(Small(i).get()));
  list.Delete(imgs[1]);
  auto big = MakePicture(100, 1000, ie24RGB, 9);
  ASSERT_NE(list.AddBitmap(big.get()), nullptr);
  ASSERT_GT(list.StoreSize(), kInitialStore);
  // The hole left by the deleted picture is still there to be used.
  auto pic = Small(5);
  TIEVirtualImageInfo* img = list.AddBitmap(pic.get());
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(img->Offset, 30000);
  EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *pic));
  EXPECT_TRUE(BitsMatch(list.GetImageBits(imgs[2]), *Small(2)));
}

TEST_F(VlistStoreTest, PrepareSpaceReservesRoomForAWholeFolder) {
  TIEVirtualImageList list(W("ICACHE"), true);
  list.PrepareSpace(160, 120, 24, 100);
  const int64_t reserved = kInitialStore + int64_t(480) * 120 * 100;
  EXPECT_EQ(list.StoreSize(), reserved);
  for (int i = 0; i < 100; ++i) ASSERT_NE(list.AddBitmap(MakePicture(160, 120, ie24RGB, i).get()), nullptr);
  EXPECT_EQ(list.StoreSize(), reserved);
  // Nonsense requests change nothing.
  list.PrepareSpace(160, 120, 24, -5);
  list.PrepareSpace(0, 120, 24, 5);
  list.PrepareSpace(INT32_MAX, INT32_MAX, 48, INT32_MAX);
  EXPECT_EQ(list.StoreSize(), reserved);
}

// A long browsing session: pictures of several sizes come and go, at most a
// few dozen alive at once. The store must track what is alive, not what
// ever passed through it.
TEST_F(VlistStoreTest, StoreStaysBoundedWhilePicturesComeAndGo) {
  struct Shape {
    Integer w, h;
    TIEPixelFormat pf;
  };
  const Shape shapes[] = {{160, 120, ie24RGB}, {120, 160, ie24RGB}, {100, 100, ie24RGB}, {64, 64, ie8p},
                          {90, 70, ie8g}};
  for (bool useDisk : {false, true}) {
    SCOPED_TRACE(useDisk ? "disk" : "memory");
    TIEVirtualImageList list(W("ILIST"), useDisk);
    std::mt19937 rng(12345);
    std::vector<TIEVirtualImageInfo*> alive;
    std::vector<int> seeds;
    int64_t aliveBytes = 0, peakAlive = 0;
    for (int i = 0; i < 5000; ++i) {
      const Shape& s = shapes[rng() % 5];
      auto pic = MakePicture(s.w, s.h, s.pf, i);
      TIEVirtualImageInfo* img = list.AddBitmap(pic.get());
      ASSERT_NE(img, nullptr);
      alive.push_back(img);
      seeds.push_back(i);
      aliveBytes += img->Size;
      peakAlive = std::max(peakAlive, aliveBytes);
      if (alive.size() > 40) {
        size_t k = rng() % alive.size();
        aliveBytes -= alive[k]->Size;
        list.Delete(alive[k]);
        alive.erase(alive.begin() + static_cast<ptrdiff_t>(k));
        seeds.erase(seeds.begin() + static_cast<ptrdiff_t>(k));
      }
    }
    // 5,000 pictures of up to 57,600 bytes (some 200 MB) passed through;
    // about 41 are alive at any time, under 2 MB.
    EXPECT_LE(list.StoreSize(), peakAlive * 3 / 2 + list.GrowStep()) << "peak alive " << peakAlive;
    EXPECT_LE(list.EndOffset(), list.StoreSize());
    // And the pictures still alive are intact.
    for (size_t k = 0; k < alive.size(); ++k) {
      TIEBitmap* got = list.GetBitmap(alive[k]);
      ASSERT_NE(got, nullptr);
      auto want = MakePicture(got->Width(), got->Height(), got->PixelFormat(), seeds[k]);
      EXPECT_TRUE(SameRows(*got, *want)) << k;
      list.ReleaseBitmap(got, false);
    }
  }
}

// A picture that keeps changing shape (a thumbnail rebuilt at another size)
// gives its old block back each time.
TEST_F(VlistStoreTest, ReshapedPictureGivesItsOldBlockBack) {
  TIEVirtualImageList list(W("ILIST"), true);
  TIEVirtualImageInfo* keep = list.AddBitmap(Small(1).get());
  TIEVirtualImageInfo* img = list.AddBitmap(Small(2).get());
  for (int i = 0; i < 200; ++i) {
    TIEBitmap* b = list.GetBitmap(img);
    ASSERT_NE(b, nullptr);
    const Integer h = i % 2 ? 100 : 90;
    ASSERT_TRUE(b->Allocate(120, h, ie24RGB));
    FillPattern(*b, i);
    list.ReleaseBitmap(b, true);
    ASSERT_EQ(img->Width, 120);
    ASSERT_EQ(img->Height, h);
  }
  EXPECT_EQ(list.StoreSize(), kInitialStore);
  // Two shapes alternate: the keeper and at most three blocks' worth of
  // reshaped picture, however many rounds pass.
  EXPECT_LE(list.EndOffset(), 30000 + 3 * 36000);
  EXPECT_EQ(img->OriginalWidth, 120);
  EXPECT_EQ(img->OriginalHeight, 100);
  auto want = MakePicture(120, 100, ie24RGB, 199);
  EXPECT_TRUE(BitsMatch(list.GetImageBits(img), *want));
  EXPECT_TRUE(BitsMatch(list.GetImageBits(keep), *Small(1)));
}

TEST_F(VlistStoreTest, StoreFailuresRaiseAndLeaveTheListUsable) {
  {
    // The store cannot be made: no list with pixels going nowhere.
    IETempFolder = Utf8ToWide(Dir + "/missing");
    EXPECT_THROW(TIEVirtualImageList(W("ILIST"), true), EInOutError);
    IETempFolder = Utf8ToWide(Dir);
  }
  TIEVirtualImageList list(W("ILIST"), true);
  std::vector<TIEVirtualImageInfo*> imgs;
  for (int i = 0; i < 3; ++i) imgs.push_back(list.AddBitmap(Small(i).get()));
  // The disk is full when the store has to grow.
  IEFileBufferTestHooks.Fallocate = [](int, int64_t, int64_t) { return ENOSPC; };
  auto big = MakePicture(100, 1000, ie24RGB, 9);
  EXPECT_THROW(list.AddBitmap(big.get()), EWriteError);
  EXPECT_EQ(list.ImageCount(), 3);
  EXPECT_EQ(list.StoreSize(), kInitialStore);
  EXPECT_EQ(list.EndOffset(), 90000);
  EXPECT_THROW(list.PrepareSpace(100, 100, 24, 100), EWriteError);
  EXPECT_EQ(list.StoreSize(), kInitialStore);
  IEFileBufferTestHooks.Fallocate = nullptr;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(BitsMatch(list.GetImageBits(imgs[i]), *Small(i))) << i;
  TIEVirtualImageInfo* b = list.AddBitmap(big.get());
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Offset, 90000);
}

}  // namespace

}  // namespace test_vlist_store_tests
