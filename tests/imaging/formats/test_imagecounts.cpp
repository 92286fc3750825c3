// Frame, page and picture counts of files made by ImageMagick, and what a
// missing or damaged file gives.
#include <gtest/gtest.h>

#include <string>

#include "formats_test_util.h"
#include "imaging/formats/imagecounts.h"

namespace imagecounts_tests {

using gt_test::HaveTool;
using gt_test::Shell;

TEST(ImageCountsOfFiles, CountWhatImageMagickWrote) {
  ASSERT_TRUE(HaveTool("convert")) << "ImageMagick missing (scripts/install-deps.sh installs it)";
  gt_test::TempDir dir("counts");
  ASSERT_TRUE(dir.Ok());
  const std::string three = "-size 9x7 xc:red xc:lime xc:blue ";
  ASSERT_EQ(Shell("cd '" + dir.Path + "' && convert " + three + "a.gif && convert " + three + "a.tif && convert " +
                  three + "a.dcx && convert -size 32x32 xc:red -define icon:auto-resize=32,16 a.ico"),
            0);
  const auto file = [&](const char* Name) { return Utf8ToWide(dir.File(Name)); };
  EXPECT_EQ(IECountGIFFramesOfFile(file("a.gif")), 3);
  EXPECT_EQ(IECountTIFFImagesOfFile(file("a.tif")), 3);
  EXPECT_EQ(IECountDCXPagesOfFile(file("a.dcx")), 3);
  EXPECT_EQ(IECountICOImagesOfFile(file("a.ico")), 2);

  // A GIF that cannot be read counts 0 frames; the other counts let the
  // error of opening a missing file through.
  ASSERT_EQ(Shell("cd '" + dir.Path + "' && head -c 9 a.gif > cut.gif"), 0);
  EXPECT_EQ(IECountGIFFramesOfFile(file("cut.gif")), 0);
  EXPECT_EQ(IECountGIFFramesOfFile(file("missing.gif")), 0);
  EXPECT_ANY_THROW(IECountTIFFImagesOfFile(file("missing.tif")));
  EXPECT_ANY_THROW(IECountDCXPagesOfFile(file("missing.dcx")));
  EXPECT_ANY_THROW(IECountICOImagesOfFile(file("missing.ico")));
}

}  // namespace imagecounts_tests
