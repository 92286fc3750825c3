// JPEG through the whole dispatch with the codec wired into the JPEG row:
// file, stream and buffer, with and without stream headers, and where the
// stream stands afterwards.
#include <gtest/gtest.h>

#include <cstdlib>

#include "dispatch_test_util.h"

namespace test_jpeg_roundtrip_tests {

using namespace dispatch_test;
using io_test::Bytes;

namespace {

class JpegRoundTrip : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    const TIEBuiltInCodec c = IEGetBuiltInCodec(ieftJPEG);
    ASSERT_TRUE(c.Read && c.Write) << "the JPEG row holds the JPEG codec";
    ASSERT_TRUE(source.Allocate(32, 16, ie24RGB));
    for (Integer y = 0; y < 16; ++y) {
      TRGB* row = static_cast<TRGB*>(source.GetScanline(y));
      for (Integer x = 0; x < 32; ++x) row[x] = TRGB{static_cast<Byte>(8 * x), static_cast<Byte>(16 * y), 128};
    }
  }
  // Lossy: the mean difference per sample stays small.
  void ExpectClose(TIEBitmap* B) {
    ASSERT_EQ(B->Width(), 32);
    ASSERT_EQ(B->Height(), 16);
    ASSERT_EQ(B->PixelFormat(), ie24RGB);
    int64_t diff = 0;
    for (Integer y = 0; y < 16; ++y) {
      const Byte* a = static_cast<const Byte*>(source.GetScanline(y));
      const Byte* b = static_cast<const Byte*>(B->GetScanline(y));
      for (Integer i = 0; i < 96; ++i) diff += std::abs(a[i] - b[i]);
    }
    EXPECT_LT(diff / (32 * 16 * 3), 8);
  }
  TIEBitmap source;
};

TEST_F(JpegRoundTrip, FileStreamBuffer) {
  io_test::TempDir dir;
  const WideString file = Utf8ToWide(dir.File("a.JPG"));
  TZiduzUvIO io(nullptr);
  io.AttachIEBitmap(&source);
  io.SaveToFile(file);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FILETYPE, ieftJPEG);

  TZiduzUvIO in(nullptr);
  in.LoadFromFile(file);
  ASSERT_FALSE(in.Aborting());
  EXPECT_EQ(in.Params().FILETYPE, ieftJPEG);
  ExpectClose(in.IEBitmap());

  for (bool headers : {false, true}) {
    SCOPED_TRACE(headers ? "with stream headers" : "without stream headers");
    TMemoryStream s;
    io_test::Fill(s, io_test::Str("lead"), 4);
    in.SetStreamHeaders(headers);
    in.SaveToStream(&s, ieftJPEG);
    ASSERT_FALSE(in.Aborting());
    const int64_t end = s.Size();
    const Bytes all = StreamBytes(s);
    if (headers) {
      EXPECT_EQ(Bytes(all.begin() + 4, all.begin() + 9), io_test::Cat({io_test::Str("JFIF"), Bytes{0}}));
      EXPECT_EQ(all[12] | all[13] << 8 | all[14] << 16 | all[15] << 24, end - 16);
    } else {
      EXPECT_EQ(all[4], 0xFF);
      EXPECT_EQ(all[5], 0xD8);
    }
    s.WriteBuffer("TAIL", 4);

    // The JPEG loader recognises the header whatever StreamHeaders holds, and
    // leaves the stream just after the announced data.
    TZiduzUvIO back(nullptr);
    s.SetPosition(4);
    back.LoadFromStream(&s);
    ASSERT_FALSE(back.Aborting());
    EXPECT_EQ(back.Params().FILETYPE, ieftJPEG);
    EXPECT_EQ(back.Params().FILENAME, u"");
    ExpectClose(back.IEBitmap());
    if (headers) {
      EXPECT_EQ(s.Position(), end);
    }

    TZiduzUvIO fromBuffer(nullptr);
    fromBuffer.LoadFromBuffer(static_cast<const Byte*>(s.Memory()) + 4, static_cast<Integer>(end - 4), 0);
    ASSERT_FALSE(fromBuffer.Aborting());
    ExpectClose(fromBuffer.IEBitmap());
  }

  // The parameters alone.
  TZiduzUvIO params(nullptr);
  params.ReadParamsFromFile(file);
  EXPECT_FALSE(params.Aborting());
  EXPECT_EQ(params.Params().FILETYPE, ieftJPEG);
  EXPECT_EQ(params.Params().WIDTH, 32);
  EXPECT_EQ(params.Params().HEIGHT, 16);
  EXPECT_TRUE(params.IEBitmap()->IsEmpty());
}

}  // namespace

}  // namespace test_jpeg_roundtrip_tests
