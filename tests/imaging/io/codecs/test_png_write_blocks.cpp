// The PNG writer hands its output to the stream in large blocks: a picture
// whose file spans several blocks must arrive whole and in order, and a
// stream that fails once must end the write with nothing written after the
// failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "codec_test_util.h"
#include "imaging/io/iepng.h"

namespace test_png_write_blocks_tests {

using namespace codec_test;

namespace {

// Records the size of every write; the write numbered FailAt (from 1) is refused.
class TRecordingStream : public TMemoryStream {
 public:
  int FailAt = 0;
  std::vector<int64_t> Writes;
  int64_t Write(const void* Buffer, int64_t Count) override {
    Writes.push_back(Count);
    if (static_cast<int>(Writes.size()) == FailAt) return 0;
    return TMemoryStream::Write(Buffer, Count);
  }
};

void SetRGB(TIOParamsVals& P) {
  P.SAMPLESPERPIXEL = 3;
  P.BITSPERSAMPLE = 8;
  P.PNG_COMPRESSION = 0;  // stored: the file is as large as the pixels
}

TEST(PngWriterBlocks, AFileOfManyBlocksArrivesWholeInFewWrites) {
  auto pic = MakePicture(400, 300);  // about 360 KB stored, six blocks
  TIOParamsVals p(nullptr);
  SetRGB(p);
  TRecordingStream s;
  Progress pr;
  IEWritePNG(&s, pic.get(), p, pr.Rec, nullptr);
  ASSERT_FALSE(pr.Aborting);
  ASSERT_GT(s.Size(), 5 * 65536);
  // Every chunk's header, data and checksum gathered: one write per block.
  EXPECT_LE(static_cast<int64_t>(s.Writes.size()), s.Size() / 65536 + 2);

  TIEBitmap back;
  TIOParamsVals q(nullptr);
  Progress pq;
  s.SetPosition(0);
  IEReadPNG(&s, &back, q, pq.Rec, false);
  ASSERT_FALSE(pq.Aborting);
  ASSERT_EQ(back.Width(), 400);
  ASSERT_EQ(back.Height(), 300);
  for (Integer y = 0; y < 300; ++y)
    ASSERT_TRUE(std::equal(static_cast<const Byte*>(pic->GetScanline(y)),
                           static_cast<const Byte*>(pic->GetScanline(y)) + 400 * 3,
                           static_cast<const Byte*>(back.GetScanline(y))))
        << "row " << y;

  if (HaveTool("pngcheck")) {
    io_test::TempDir dir;
    const std::string path = dir.File("blocks.png");
    io_test::WriteFile(path, Contents(s));
    EXPECT_EQ(io_test::Shell("pngcheck -q " + path + " >/dev/null"), 0);
  }
}

TEST(PngWriterBlocks, AFailedWriteEndsTheWriteAndNothingFollowsIt) {
  auto pic = MakePicture(400, 300);
  TIOParamsVals p(nullptr);
  SetRGB(p);
  TRecordingStream s;
  s.FailAt = 2;  // the second block is refused; the stream would take more
  Progress pr;
  EXPECT_NO_THROW(IEWritePNG(&s, pic.get(), p, pr.Rec, nullptr));
  EXPECT_TRUE(pr.Aborting);
  // Only the first block is in the stream: no later bytes after a gap.
  EXPECT_EQ(s.Writes.size(), 2u);
  EXPECT_EQ(s.Size(), s.Writes[0]);
}

}  // namespace

}  // namespace test_png_write_blocks_tests
