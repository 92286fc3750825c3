// The per-format frame and the 12-byte stream header: writing, recognising
// and skipping the header, refusing impossible lengths, and what differs
// between the formats (resolution steps, view resolution, field timing,
// background). The built-in rows hold codec doubles (the test format of
// dispatch_test_util.h) so that the frame runs without the real codecs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dispatch_test_util.h"
#include "imaging/core/base/iestreams.h"

namespace test_frame_tests {

using namespace dispatch_test;
using io_test::Bytes;
using io_test::Cat;
using io_test::LE32;
using io_test::Str;

namespace {

TIEBuiltInCodec FakeCodec() { return {FakeRead, FakeWrite}; }

TEST(StreamHeader, Recognition) {
  struct TCase {
    const char* Name;
    const char* Magic;
    Bytes Data;  // read from position 2
    TIEStreamHeaderResult Want;
    int64_t Start, Length;
  };
  const Bytes five = Str("12345");
  const TCase cases[] = {
      {"valid, data followed by more", "JFIF",
       Cat({Str("ab"), Str("JFIF"), io_test::Zeros(4), LE32(5), five, Str("xyz")}), iehValid, 14, 5},
      {"length exactly to the end", "TIFF", Cat({Str("ab"), Str("TIFF"), io_test::Zeros(4), LE32(5), five}), iehValid,
       14, 5},
      {"empty data", "TIFF", Cat({Str("ab"), Str("TIFF"), io_test::Zeros(4), LE32(0)}), iehValid, 14, 0},
      {"bytes 5 to 7 are not looked at", "JFIF", Cat({Str("ab"), Str("JFIF"), Bytes{0, 9, 9, 9}, LE32(5), five}),
       iehValid, 14, 5},
      {"length one past the end", "JFIF", Cat({Str("ab"), Str("JFIF"), io_test::Zeros(4), LE32(6), five}), iehInvalid,
       0, 0},
      {"negative length", "JFIF", Cat({Str("ab"), Str("JFIF"), io_test::Zeros(4), LE32(0x80000000u), five}), iehInvalid,
       0, 0},
      {"huge length", "PCX2", Cat({Str("ab"), Str("PCX2"), io_test::Zeros(4), LE32(0x7FFFFFFFu), five}), iehInvalid, 0,
       0},
      {"byte 4 not 0", "JFIF", Cat({Str("ab"), Str("JFIF"), Bytes{1, 0, 0, 0}, LE32(5), five}), iehNone, 0, 0},
      {"other magic", "JFIF", Cat({Str("ab"), Str("TIFF"), io_test::Zeros(4), LE32(5), five}), iehNone, 0, 0},
      {"shorter than a header", "JFIF", Cat({Str("ab"), Str("JFIF"), io_test::Zeros(4), Bytes{1, 0}}), iehNone, 0, 0},
      {"old PCX form runs to the end", "PCX2", Cat({Str("ab"), Str("PCX"), Bytes{0}, five}), iehValid, 6, 5},
      {"old PCX form, nothing after it", "PCX2", Cat({Str("ab"), Str("PCX"), Bytes{0}}), iehValid, 6, 0},
      {"PCX2 header", "PCX2", Cat({Str("ab"), Str("PCX2"), io_test::Zeros(4), LE32(3), five}), iehValid, 14, 3},
      {"old form only for PCX", "TIFF", Cat({Str("ab"), Str("TIF"), Bytes{0}, five}), iehNone, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s;
    io_test::Fill(s, c.Data, 2);
    int64_t start = -1, length = -1;
    EXPECT_EQ(IEReadStreamHeader(&s, c.Magic, start, length), c.Want);
    if (c.Want == iehValid) {
      EXPECT_EQ(start, c.Start);
      EXPECT_EQ(length, c.Length);
      EXPECT_EQ(s.Position(), c.Start);
    } else {
      EXPECT_EQ(s.Position(), 2);
    }
  }
}

TEST(StreamHeader, Writing) {
  TMemoryStream s;
  ASSERT_TRUE(IEWriteStreamHeader(&s, "JFIF", 0x01020304));
  EXPECT_EQ(StreamBytes(s), Cat({Str("JFIF"), io_test::Zeros(4), Bytes{4, 3, 2, 1}}));
  EXPECT_FALSE(IEWriteStreamHeader(&s, "JFIF", int64_t(1) << 31));
  EXPECT_FALSE(IEWriteStreamHeader(&s, "JFIF", -1));
  EXPECT_EQ(s.Size(), 12);
}

// Saved with headers, read back by content: the position ends where the
// header says the data ends, whatever the reader consumed.
TEST_F(RegistryTest, HeaderRoundTripThroughTheFrame) {
  // A reader that, like a buffering decoder, reads on past the picture.
  TIEBuiltInCodec greedy{[](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R, bool Preview) {
                           FakeRead(S, B, P, R, Preview);
                           Byte sink[256];
                           while (S->Read(sink, sizeof sink) > 0) {
                           }
                         },
                         FakeWrite};
  for (TIEFileType id : {ieftTIFF, ieftPCX}) {
    SCOPED_TRACE(id == ieftTIFF ? "TIFF" : "PCX");
    TCodecScope row(id, greedy);
    TZiduzUvIO io(nullptr);
    io.SetStreamHeaders(true);
    ASSERT_TRUE(io.IEBitmap()->Allocate(5, 3, ie24RGB));
    for (Integer y = 0; y < 3; ++y) std::memset(io.IEBitmap()->GetScanline(y), 10 * y + 1, 15);
    TMemoryStream s;
    io_test::Fill(s, Str("abc"), 3);
    io.SaveToStream(&s, id);
    ASSERT_FALSE(io.Aborting());
    const int64_t dataLen = 9 + 45;
    const Bytes all = StreamBytes(s);
    ASSERT_EQ(all.size(), 3u + 12u + dataLen);
    EXPECT_EQ(Bytes(all.begin() + 3, all.begin() + 7), Str(id == ieftTIFF ? "TIFF" : "PCX2"));
    EXPECT_EQ(Bytes(all.begin() + 7, all.begin() + 15), Cat({io_test::Zeros(4), LE32(dataLen)}));
    EXPECT_EQ(s.Position(), s.Size());
    s.WriteBuffer("TAIL", 4);

    TZiduzUvIO in(nullptr);
    in.SetStreamHeaders(true);
    s.SetPosition(3);
    in.LoadFromStream(&s);
    ASSERT_FALSE(in.Aborting());
    EXPECT_EQ(in.Params().FILETYPE, id);
    EXPECT_EQ(s.Position(), 3 + 12 + dataLen);
    char tail[4];
    ASSERT_EQ(s.Read(tail, 4), 4);
    EXPECT_EQ(std::string(tail, 4), "TAIL");
    ASSERT_EQ(in.IEBitmap()->Width(), 5);
    EXPECT_EQ(static_cast<Byte*>(in.IEBitmap()->GetScanline(2))[14], 21);

    // Read back without the headers switch, the header bytes reach the reader.
    TZiduzUvIO plain(nullptr);
    s.SetPosition(3);
    if (id == ieftTIFF)
      plain.LoadFromStreamTIFF(&s);
    else
      plain.LoadFromStreamPCX(&s);
    EXPECT_TRUE(plain.Aborting());
  }
}

// Headers that are missing where promised, or announce more data than the
// stream holds, end the load before the reader runs.
TEST_F(RegistryTest, BadHeadersAreRefused) {
  TCodecScope tiff(ieftTIFF, FakeCodec()), pcx(ieftPCX, FakeCodec());
  const Bytes data = MakeFake(2, 2, ie24RGB);
  struct TCase {
    const char* Name;
    Bytes Stream;
    TIEFileType Id;
  };
  const TCase cases[] = {
      {"TIFF without header", data, ieftTIFF},
      {"TIFF length past the end", Cat({Str("TIFF"), io_test::Zeros(4), LE32(data.size() + 1), data}), ieftTIFF},
      {"TIFF negative length", Cat({Str("TIFF"), io_test::Zeros(4), LE32(0xFFFFFFF0u), data}), ieftTIFF},
      {"PCX length past the end", Cat({Str("PCX2"), io_test::Zeros(4), LE32(1000), data}), ieftPCX},
      {"PCX without header", data, ieftPCX},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TZiduzUvIO io(nullptr);
    io.SetStreamHeaders(true);
    TEventLog log;
    log.Attach(io);
    TMemoryStream s;
    io_test::Fill(s, c.Stream);
    gFake.Reads = 0;
    if (c.Id == ieftTIFF)
      EXPECT_EQ(io.LoadFromStreamTIFF(&s), 0);
    else
      io.LoadFromStreamPCX(&s);
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(gFake.Reads, 0);
    EXPECT_EQ(log.Finishes(), 1);
  }
}

TEST_F(RegistryTest, PCXHeaderForms) {
  TIEBuiltInCodec failing{FakeRead, [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
                            FakeWrite(S, B, P, R);
                            R.Abort();
                          }};
  {
    // The old 4-byte form: the data runs to the end of the stream.
    TCodecScope row(ieftPCX, FakeCodec());
    const Bytes data = MakeFake(3, 2, ie8g);
    TZiduzUvIO io(nullptr);
    io.SetStreamHeaders(true);
    TMemoryStream s;
    io_test::Fill(s, Cat({Str("PCX"), Bytes{0}, data}));
    io.LoadFromStream(&s);
    ASSERT_FALSE(io.Aborting());
    EXPECT_EQ(io.IEBitmap()->Width(), 3);
    EXPECT_EQ(io.IEBitmap()->PixelFormat(), ie8g);
  }
  {
    // A PCX write that failed leaves the reserved header bytes unfilled.
    TCodecScope row(ieftPCX, failing);
    TZiduzUvIO io(nullptr);
    io.SetStreamHeaders(true);
    io.IEBitmap()->Allocate(2, 2, ie24RGB);
    TMemoryStream s;
    io.SaveToStream(&s, ieftPCX);
    EXPECT_TRUE(io.Aborting());
    const Bytes all = StreamBytes(s);
    ASSERT_GE(all.size(), 12u);
    EXPECT_EQ(Bytes(all.begin(), all.begin() + 12), io_test::Zeros(12));
  }
}

// What the frame does around each format's codec: whether the default
// resolution is fixed, whether the view takes the resolution after a file
// and after a stream load, and when FILENAME is set.
TEST_F(RegistryTest, PerFormatFrameDifferences) {
  struct TCase {
    TIEFileType Id;
    bool FixesDPI, SyncFile, SyncStream, NameAfterFinish;
  };
  const TCase cases[] = {
      {ieftTIFF, true, true, true, true},  {ieftGIF, true, false, false, true},
      {ieftJPEG, true, true, true, false}, {ieftPCX, true, true, true, true},
      {ieftBMP, true, true, true, true},   {ieftICO, true, true, false, false},
      {ieftCUR, true, true, false, false}, {ieftPNG, true, true, true, false},
      {ieftTGA, true, true, false, false}, {ieftPXM, true, false, false, false},
      {ieftDCX, true, true, true, true},   {ieftDICOM, false, false, false, false},
  };
  io_test::TempDir dir;
  const Bytes data = MakeFake(2, 2, ie24RGB);
  const std::string path = dir.File("pic.any");
  io_test::WriteFile(path, data);
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Id);
    if (c.Id == ieftJPEG) continue;  // no double in the JPEG row; its codec is tested for real
    TCodecScope row(c.Id, FakeCodec());
    for (bool file : {true, false}) {
      SCOPED_TRACE(file ? "file" : "stream");
      TFakeView view(TFakeView::WithIEBitmap);
      TZiduzUvIO io(nullptr);
      io.SetAttachedZiduzUv(&view);
      io.Params().SetDpiX(0);
      io.Params().SetDpiY(0);
      view.Log.clear();
      WideString nameAtFinish = u"unset";
      io.OnFinishWork = [&](TObject*) { nameAtFinish = io.Params().FILENAME; };
      TMemoryStream s;
      io_test::Fill(s, data);
      const WideString name = Utf8ToWide(path);
      switch (c.Id) {
        case ieftTIFF:
          file ? (void)io.LoadFromFileTIFF(name) : (void)io.LoadFromStreamTIFF(&s);
          break;
        case ieftGIF:
          file ? (void)io.LoadFromFileGIF(name) : (void)io.LoadFromStreamGIF(&s);
          break;
        case ieftPCX:
          file ? io.LoadFromFilePCX(name) : io.LoadFromStreamPCX(&s);
          break;
        case ieftBMP:
          file ? io.LoadFromFileBMP(name) : io.LoadFromStreamBMP(&s);
          break;
        case ieftICO:
          file ? io.LoadFromFileICO(name) : io.LoadFromStreamICO(&s);
          break;
        case ieftCUR:
          file ? io.LoadFromFileCUR(name) : io.LoadFromStreamCUR(&s);
          break;
        case ieftPNG:
          file ? io.LoadFromFilePNG(name) : io.LoadFromStreamPNG(&s);
          break;
        case ieftTGA:
          file ? io.LoadFromFileTGA(name) : io.LoadFromStreamTGA(&s);
          break;
        case ieftPXM:
          file ? io.LoadFromFilePXM(name) : io.LoadFromStreamPXM(&s);
          break;
        case ieftDCX:
          file ? io.LoadFromFileDCX(name) : io.LoadFromStreamDCX(&s);
          break;
        case ieftDICOM:
          file ? io.LoadFromFileDICOM(name) : io.LoadFromStreamDICOM(&s);
          break;
      }
      ASSERT_FALSE(io.Aborting());
      EXPECT_EQ(io.Params().FILETYPE, c.Id);
      EXPECT_EQ(io.Params().DPIX, c.FixesDPI ? 300 : 0);
      const bool synced = std::find(view.Log.begin(), view.Log.end(), "LockUpdate") != view.Log.end();
      EXPECT_EQ(synced, file ? c.SyncFile : c.SyncStream);
      EXPECT_EQ(io.Params().FILENAME, file ? name : u"");
      if (file) {
        EXPECT_EQ(nameAtFinish, c.NameAfterFinish ? u"" : name);
      }
      EXPECT_EQ(view.Log.back(), "ImageChange");
    }
  }
}

// The PNG methods take the component's background in and give PNG's back.
TEST_F(RegistryTest, PNGBackground) {
  TRGB seen{};
  TIEBuiltInCodec png{[&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R, bool Preview) {
                        seen = P.PNG_BACKGROUND;
                        FakeRead(S, B, P, R, Preview);
                        P.PNG_BACKGROUND = TRGB{0x30, 0x20, 0x10};
                      },
                      FakeWrite};
  TCodecScope row(ieftPNG, png);
  io_test::TempDir dir;
  const std::string path = dir.File("a.png");
  io_test::WriteFile(path, MakeFake(1, 1, ie24RGB));
  TZiduzUvIO io(nullptr);
  io.SetBackground(0x00C08040);  // red 0x40, green 0x80, blue 0xC0
  io.LoadFromFile(Utf8ToWide(path));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(seen.r, 0x40);
  EXPECT_EQ(seen.g, 0x80);
  EXPECT_EQ(seen.b, 0xC0);
  EXPECT_EQ(io.Background(), 0x00302010);
}

// A row's step before writing runs once the picture is prepared, before the
// writer, for file and stream saves alike.
TEST_F(RegistryTest, StepBeforeWriting) {
  std::vector<std::string> order;
  TIEBuiltInCodec codec{FakeRead,
                        [&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
                          order.push_back("write " + std::to_string(P.JPEG_QUALITY));
                          FakeWrite(S, B, P, R);
                        },
                        [&](TIOParamsVals& P) {
                          order.push_back("before");
                          P.JPEG_QUALITY = 33;
                        }};
  TCodecScope row(ieftTIFF, codec);
  io_test::TempDir dir;
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(2, 2, ie24RGB);
  io.SaveToFile(Utf8ToWide(dir.File("a.tif")));
  TMemoryStream s;
  io.SaveToStream(&s, ieftTIFF);
  EXPECT_FALSE(io.Aborting());
  EXPECT_EQ(order, (std::vector<std::string>{"before", "write 33", "before", "write 33"}));
}

// The TIFF and GIF loads answer the number of images, 0 when nothing was read.
TEST_F(RegistryTest, ImageCounts) {
  TCodecScope tiff(ieftTIFF, FakeCodec());
  TZiduzUvIO io(nullptr);
  TMemoryStream s;
  io_test::Fill(s, MakeFake(1, 1, ie24RGB));
  EXPECT_EQ(io.LoadFromStreamTIFF(&s), 1);
  io_test::Fill(s, Str("GTFK"));
  EXPECT_EQ(io.LoadFromStreamTIFF(&s), 0);
}

}  // namespace

}  // namespace test_frame_tests
