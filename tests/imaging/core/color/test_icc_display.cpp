// Drawing CMYK pictures goes through the global profiles' display transform:
// over a dense grid of inks the drawn colours stay within 2 levels of the
// picture's exact conversion, and threads that draw at once from the start
// of a process all get the same colours.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "imaging/core/bitmap/iebitmap.h"
#include "imaging/core/color/ieicc.h"
#include "imaging/core/render/ierender.h"

namespace test_icc_display_tests {

namespace {

class UseCMYKProfileScope {
 public:
  UseCMYKProfileScope() { IEUseCMYKProfile = true; }
  ~UseCMYKProfileScope() { IEUseCMYKProfile = FSaved; }
  UseCMYKProfileScope(const UseCMYKProfileScope&) = delete;
  UseCMYKProfileScope& operator=(const UseCMYKProfileScope&) = delete;

 private:
  bool FSaved = IEUseCMYKProfile;
};

TEST(ICCDisplay, DrawnCMYKStaysWithinTwoLevelsOfTheConvertedPicture) {
  UseCMYKProfileScope scope;
  ASSERT_TRUE(IEInitCMYKProfiles());
  // Every 7th level and the last on all four channels: 38^4 pixels, 38^2 a row.
  std::vector<Byte> levels;
  for (int v = 0; v < 255; v += 7) levels.push_back(Byte(v));
  levels.push_back(255);
  const Integer side = Integer(levels.size() * levels.size());
  TIEBitmap cmyk;
  ASSERT_TRUE(cmyk.Allocate(side, side, ieCMYK));
  for (Integer y = 0; y < side; ++y) {
    Byte* p = static_cast<Byte*>(cmyk.GetScanline(y));
    for (Integer x = 0; x < side; ++x, p += 4) {
      p[0] = levels[size_t(y) / levels.size()];
      p[1] = levels[size_t(y) % levels.size()];
      p[2] = levels[size_t(x) / levels.size()];
      p[3] = levels[size_t(x) % levels.size()];
    }
  }
  TIEBitmap converted;
  converted.Assign(&cmyk);
  ASSERT_TRUE(converted.ConvertToPixelFormat(ie24RGB));
  TIEBitmap drawn;
  ASSERT_TRUE(drawn.Allocate(side, side, ie24RGB));
  RenderToTIEBitmap(cmyk, &drawn, 0, 0, side, side, 0, 0, side, side, 255, rfNone, 0);

  int largest = 0;
  for (Integer y = 0; y < side; ++y) {
    const Byte* a = static_cast<const Byte*>(converted.GetScanline(y));
    const Byte* b = static_cast<const Byte*>(drawn.GetScanline(y));
    for (Integer i = 0; i < side * 3; ++i) largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
  }
  EXPECT_LE(largest, 2);
  RecordProperty("largest_difference", largest);
}

// In a fresh process the display transform is made on first use; threads
// released together race for it and must all get what one thread gets.
TEST(ICCDisplayDeathTest, FirstUseFromSeveralThreadsAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto body = [] {
    IEUseCMYKProfile = true;
    std::vector<TCMYK> row(3000);
    for (size_t i = 0; i < row.size(); ++i)
      row[i] = TCMYK{Byte(i * 7), Byte(i * 13 + 5), Byte(i / 12), Byte(255 - i % 256)};
    std::atomic<bool> go{false};
    std::vector<std::vector<TRGB>> results(6, std::vector<TRGB>(row.size()));
    std::vector<std::thread> threads;
    for (auto& r : results)
      threads.emplace_back([&go, &row, &r] {
        while (!go.load()) std::this_thread::yield();
        IEDisplayCMYKToRGB(row.data(), r.data(), Integer(row.size()));
      });
    go = true;
    for (auto& t : threads) t.join();
    std::vector<TRGB> alone(row.size());
    IEDisplayCMYKToRGB(row.data(), alone.data(), Integer(row.size()));
    int mismatches = 0;
    for (const auto& r : results)
      for (size_t i = 0; i < row.size(); ++i)
        if (r[i].r != alone[i].r || r[i].g != alone[i].g || r[i].b != alone[i].b) ++mismatches;
    std::exit(IEInitCMYKProfiles() && mismatches == 0 ? 0 : 1);
  };
  EXPECT_EXIT(body(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

}  // namespace test_icc_display_tests
