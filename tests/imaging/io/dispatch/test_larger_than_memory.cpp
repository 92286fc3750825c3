// A picture larger than memory, at a scale a test can run: the memory
// threshold forced to 0 keeps every picture in a temporary file, and the
// kernels' band budgets forced to their least make each of them work band by
// band, as they do for a picture of several gigabytes. Open, rotate by 90
// degrees, resize to 25% and save must give the file the same work gives in
// memory.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>

#include "dispatch_test_util.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/iesysinfo.h"
#include "imaging/core/bitmap/iefilebuffer.h"
#include "imaging/core/geometry/ieresample.h"
#include "imaging/core/geometry/ierotate.h"
#include "imaging/io/ielimits.h"
#include "tests/support/lcg.h"

using namespace dispatch_test;

namespace larger_than_memory_tests {

// Opens In, turns it a quarter turn, resizes it to a quarter with Lanczos3
// and saves it as Out; every picture on the way must be in a file when
// InFiles.
void OpenTurnResizeSave(const WideString& In, const WideString& Out, bool InFiles) {
  TIEBitmap picture;
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&picture);
  io.LoadFromFile(In);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(picture.Location(), InFiles ? ieFile : ieMemory);
  ASSERT_TRUE(IERotateBitmap(&picture, true, nullptr, nullptr, TRGB{0, 0, 0}, 90));
  EXPECT_EQ(picture.Location(), InFiles ? ieFile : ieMemory);
  TIEBitmap small(picture.Width() / 4, picture.Height() / 4, ie24RGB);
  EXPECT_EQ(small.Location(), InFiles ? ieFile : ieMemory);
  IEResample(&picture, &small, rfLanczos3);
  io.AttachIEBitmap(&small);
  io.SaveToFile(Out);
  ASSERT_FALSE(io.Aborting());
}

// Noise in smooth light: pixels a JPEG keeps close, with detail everywhere.
void FillNoiseInSmoothLight(TIEBitmap& Picture) {
  gt_test::Lcg g(5);
  for (Integer y = 0; y < Picture.Height(); ++y) {
    Byte* row = static_cast<Byte*>(Picture.GetScanline(y));
    for (Integer x = 0; x < Picture.Width() * 3; ++x) row[x] = Byte((x / 3 + y) / 3 + g.Next() % 40);
  }
}

class LargerThanMemory : public RegistryTest {};

TEST_F(LargerThanMemory, OpenTurnResizeSaveGivesTheFileOfTheWorkInMemory) {
  io_test::TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  // Odd sizes, so that no band divides a side evenly.
  TIEBitmap source(333, 251, ie24RGB);
  FillNoiseInSmoothLight(source);
  const WideString in = Utf8ToWide(dir.File("in.jpg"));
  {
    TZiduzUvIO io(nullptr);
    io.AttachIEBitmap(&source);
    io.SaveToFile(in);
    ASSERT_FALSE(io.Aborting());
  }

  const int64_t savedThreshold = IEMemoryThresholdOverride, savedLeft = IEMemoryLeftOverride,
                savedResample = IEResampleBandBytes, savedTurn = IETurnBandBytes;
  const WideString savedFolder = IETempFolder;
  IEMemoryLeftOverride = std::numeric_limits<int64_t>::max();
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  OpenTurnResizeSave(in, Utf8ToWide(dir.File("memory.jpg")), false);

  IETempFolder = Utf8ToWide(dir.Path);
  IEMemoryThresholdOverride = 0;
  IEResampleBandBytes = 1;
  IETurnBandBytes = 1;
  OpenTurnResizeSave(in, Utf8ToWide(dir.File("files.jpg")), true);

  IEMemoryThresholdOverride = savedThreshold;
  IEMemoryLeftOverride = savedLeft;
  IEResampleBandBytes = savedResample;
  IETurnBandBytes = savedTurn;
  IETempFolder = savedFolder;

  const io_test::Bytes memory = io_test::ReadFile(dir.File("memory.jpg"));
  ASSERT_GT(memory.size(), 1000u);
  EXPECT_EQ(io_test::ReadFile(dir.File("files.jpg")), memory);
}

// The readers' pixel and byte limits are there for memory: a picture above
// them loads when it is kept in a temporary file with room for it, and is
// refused when it would be in memory or the folder has no room.
TEST_F(LargerThanMemory, ReaderLimitsHoldForMemoryAndFreeSpaceForFiles) {
  io_test::TempDir dir;
  ASSERT_FALSE(dir.Path.empty());
  TIEBitmap source(90, 70, ie24RGB);
  FillNoiseInSmoothLight(source);
  const int64_t savedThreshold = IEMemoryThresholdOverride, savedLeft = IEMemoryLeftOverride;
  const WideString savedFolder = IETempFolder;
  const TIEReadLimits savedLimits = IEReadLimits;
  IETempFolder = Utf8ToWide(dir.Path);
  IEMemoryLeftOverride = std::numeric_limits<int64_t>::max();

  static int64_t freeBytes = 0;
  struct Case {
    const char* what;
    int64_t threshold;  // the memory threshold: 0 keeps every picture in a file
    int64_t free;       // free space of the temporary folder
    bool loads;
  };
  const Case cases[] = {
      {"in memory", std::numeric_limits<int64_t>::max(), int64_t(1) << 40, false},
      {"in a file with room", 0, int64_t(1) << 40, true},
      {"in a file on a full disk", 0, int64_t(1) << 20, false},
  };
  for (const char* ext : {"jpg", "png"}) {
    const WideString file = Utf8ToWide(dir.File(std::string("in.") + ext));
    TIEBitmap expected;
    {
      TZiduzUvIO io(nullptr);
      io.AttachIEBitmap(&source);
      io.SaveToFile(file);
      ASSERT_FALSE(io.Aborting());
      io.AttachIEBitmap(&expected);
      io.LoadFromFile(file);
      ASSERT_FALSE(io.Aborting()) << ext;
    }
    // Limits a tenth of the picture.
    IEReadLimits.JPEG = IEReadLimits.PNG = TIEReadLimit{630, 630 * 3};
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(ext) + ", " + c.what);
      IEMemoryThresholdOverride = c.threshold;
      freeBytes = c.free;
      IEFileBufferTestHooks.FreeBytes = [] { return freeBytes; };
      TIEBitmap picture;
      TZiduzUvIO io(nullptr);
      io.AttachIEBitmap(&picture);
      io.LoadFromFile(file);
      EXPECT_EQ(!io.Aborting(), c.loads);
      if (!c.loads || io.Aborting()) continue;
      EXPECT_EQ(picture.Location(), ieFile);
      ASSERT_EQ(picture.Width(), expected.Width());
      ASSERT_EQ(picture.Height(), expected.Height());
      for (Integer y = 0; y < picture.Height(); ++y)
        ASSERT_EQ(std::memcmp(picture.GetScanline(y), expected.GetScanline(y), size_t(picture.Width()) * 3), 0)
            << "row " << y;
    }
    IEReadLimits = savedLimits;
  }
  IEFileBufferTestHooks.FreeBytes = nullptr;
  IEMemoryThresholdOverride = savedThreshold;
  IEMemoryLeftOverride = savedLeft;
  IETempFolder = savedFolder;
}

}  // namespace larger_than_memory_tests
