// The shared test helpers are the oracles' side of many comparisons: a PNM
// reader that misreads a file or a runner that loses an exit code would let
// real faults pass. Checked here against files written by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/pnm_bitmap.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace test_support_tests {

namespace {

std::vector<uint8_t> File(const std::string& Head, const std::vector<uint8_t>& Raster) {
  std::vector<uint8_t> f(Head.begin(), Head.end());
  f.insert(f.end(), Raster.begin(), Raster.end());
  return f;
}

TEST(SupportPnm, ParsesEveryKindAndDepth) {
  struct Case {
    const char* What;
    std::vector<uint8_t> Bytes;
    char Kind;
    int Width, Height, Channels, MaxVal;
    std::vector<int> Data;
  } cases[] = {
      {"P4: 1 = black, rows padded to a byte", File("P4\n10 2\n", {0xA0, 0x40, 0xFF, 0xC0}), '4', 10, 2, 1, 1,
       {1, 0, 1, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
      {"P5 with comments between the fields", File("P5 # a\n# b\n3 # c\n1\n255\n", {0, 128, 255}), '5', 3, 1, 1, 255,
       {0, 128, 255}},
      {"P5 16-bit, big-endian", File("P5\n2 1\n65535\n", {0x12, 0x34, 0xFF, 0x01}), '5', 2, 1, 1, 65535,
       {0x1234, 0xFF01}},
      {"P6 in file order", File("P6\n2 1\n255\n", {1, 2, 3, 4, 5, 6}), '6', 2, 1, 3, 255, {1, 2, 3, 4, 5, 6}},
      {"raster longer than needed", File("P5\n1 1\n255\n", {7, 8, 9}), '5', 1, 1, 1, 255, {7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    gt_test::Pnm p;
    ASSERT_TRUE(gt_test::ParsePnm(c.Bytes, p));
    EXPECT_EQ(p.Kind, c.Kind);
    EXPECT_EQ(p.Width, c.Width);
    EXPECT_EQ(p.Height, c.Height);
    EXPECT_EQ(p.Channels, c.Channels);
    EXPECT_EQ(p.MaxVal, c.MaxVal);
    EXPECT_EQ(p.Data, c.Data);
  }
}

TEST(SupportPnm, RefusesWhatIsNotAWholeFile) {
  const struct {
    const char* What;
    std::vector<uint8_t> Bytes;
  } cases[] = {
      {"empty", {}},
      {"text PNM", File("P2\n1 1\n255\n", {'0'})},
      {"raster cut short", File("P6\n2 2\n255\n", {1, 2, 3, 4, 5, 6, 7, 8, 9})},
      {"16-bit raster cut in a sample", File("P5\n1 1\n65535\n", {1})},
      {"no raster at all", File("P5\n1 1\n255", {})},
      {"zero width", File("P5\n0 1\n255\n", {})},
      {"maximum 0", File("P5\n1 1\n0\n", {0})},
      {"maximum above 16 bits", File("P5\n1 1\n65536\n", {0, 0})},
      {"missing height", File("P5\n1 # nothing else\n", {})},
      {"header beyond any size", File("P5\n99999999999 1\n255\n", {0})},
  };
  for (const auto& c : cases) {
    gt_test::Pnm p;
    EXPECT_FALSE(gt_test::ParsePnm(c.Bytes, p)) << c.What;
  }
}

// What WritePnm stores is what the outside tools expect: samples in red,
// green, blue order, 16-bit ones big-endian, 1-bit pixels with 1 for black.
TEST(SupportPnm, PicturesWriteInFileOrderAndLoadBack) {
  gt_test::TempDir dir("support");
  ASSERT_TRUE(dir.Ok());
  struct Case {
    TIEPixelFormat Format;
    std::vector<uint8_t> Row;  // the picture's one row as stored
    std::vector<uint8_t> Raster;
  } cases[] = {
      {ie1g, {0xA0, 0x40}, {0x5F, 0x80}},  // 10 pixels; padding bits stay 0 in the file
      {ie8g, {10, 20}, {10, 20}},
      {ie16g, {0x34, 0x12, 0x01, 0xFF}, {0x12, 0x34, 0xFF, 0x01}},
      {ie24RGB, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
      {ieRGB48, {1, 0, 2, 0, 3, 0}, {0, 1, 0, 2, 0, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    const Integer width = c.Format == ie1g ? 10 : c.Format == ieRGB48 ? 1 : 2;
    TIEBitmap b(width, 1, c.Format);
    std::memcpy(b.GetScanline(0), c.Row.data(), c.Row.size());
    const std::string path = dir.File("p.pnm");
    ASSERT_TRUE(gt_test::WritePnm(path, b));
    const std::vector<uint8_t> file = gt_test::ReadFileBytes(path);
    ASSERT_GE(file.size(), c.Raster.size());
    EXPECT_EQ(std::vector<uint8_t>(file.end() - std::ptrdiff_t(c.Raster.size()), file.end()), c.Raster);
    gt_test::Pnm p;
    ASSERT_TRUE(gt_test::ParsePnm(file, p));
    TIEBitmap back;
    ASSERT_TRUE(gt_test::LoadPnm(p, back));
    ASSERT_EQ(back.PixelFormat(), c.Format);
    const auto* row = static_cast<const uint8_t*>(back.GetScanline(0));
    if (c.Format == ie1g) {
      EXPECT_EQ(row[0], c.Row[0]);
      EXPECT_EQ(row[1] & 0xC0, c.Row[1] & 0xC0);  // the two pixels of the second byte
    } else {
      EXPECT_EQ(std::vector<uint8_t>(row, row + c.Row.size()), c.Row);
    }
  }
  TIEBitmap cmyk(1, 1, ieCMYK);
  EXPECT_FALSE(gt_test::WritePnm(dir.File("cmyk.pnm"), cmyk)) << "no PNM holds CMYK";
}

TEST(SupportProcess, OutputAndExitCodesComeBackAsTheCommandGaveThem) {
  int status = -2;
  EXPECT_EQ(gt_test::Capture("printf 'a\\nb'; exit 3", &status), "a\nb");
  EXPECT_EQ(status, 3);
  EXPECT_EQ(gt_test::Capture("kill -9 $$", &status), "");
  EXPECT_EQ(status, -1) << "a command ended by a signal did not succeed";
  EXPECT_EQ(gt_test::Shell("exit 0"), 0);
  EXPECT_EQ(gt_test::Shell("exit 7"), 7);
  // Standard input from a string, large enough that a pipe could not hold it.
  const std::string big(1 << 20, 'x');
  EXPECT_EQ(gt_test::CaptureWithInput("wc -c", big, &status), std::to_string(big.size()) + "\n");
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(gt_test::HaveTool("sh"));
  EXPECT_FALSE(gt_test::HaveTool("gt-no-such-tool"));
}

TEST(SupportTempDir, UniqueFoldersRemovedWithTheirContents) {
  std::string first;
  {
    gt_test::TempDir a("support"), b("support");
    ASSERT_TRUE(a.Ok() && b.Ok());
    EXPECT_NE(a.Path, b.Path);
    ASSERT_TRUE(gt_test::WriteFileBytes(a.File("x"), {1, 2}));
    EXPECT_EQ(gt_test::FolderEntries(a.Path), std::vector<std::string>{"x"});
    first = a.Path;
  }
  EXPECT_TRUE(gt_test::FolderEntries(first).empty());
  EXPECT_NE(gt_test::Shell("test -e '" + first + "'"), 0);
}

TEST(SupportWait, ReturnsAsSoonAsTheConditionHoldsAndGivesUpAfterTheDeadline) {
  int polls = 0;
  EXPECT_TRUE(gt_test::WaitUntil([&] { return ++polls == 3; }));
  EXPECT_EQ(polls, 3);
  EXPECT_FALSE(gt_test::WaitUntil([] { return false; }, 20));
}

}  // namespace

}  // namespace test_support_tests
