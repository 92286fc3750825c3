// The DICOM reader: files pydicom makes in every uncompressed transfer
// syntax, with and without preamble, frames, signed and rescaled data,
// windows, odd bit depths, MONOCHROME1, colour and elements with long
// lengths, each compared sample by sample with what the reader must deliver;
// the tag list, frame counting, and files cut short or lying about themselves.
#include <gtest/gtest.h>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/formats/dicom.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"

using namespace fmt_test;

namespace dicom_tests {
namespace {

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/formats";

class DicomFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir("dcm");
    if (!HaveTool("/usr/bin/python3")) return;
    int status = -1;
    Log = Capture("/usr/bin/python3 " + kHere + "/test_dicom_fixtures.py " + Dir->Path + " 2>&1", &status);
    Made = status == 0;
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(Made) << "pydicom fixtures not made: " << Log;
  }
  static std::string File(const std::string& Name) { return Dir->File(Name); }
  static inline TempDir* Dir = nullptr;
  static inline bool Made = false;
  static inline std::string Log;
};

struct Loaded {
  bool Aborted = true;
  Bytes Samples;  // 8-bit grey, 16-bit grey little-endian, or red, green, blue
  TIEPixelFormat Format = ieNone;
};

Loaded Read(const Bytes& File, TIOParamsVals& P) {
  Loaded r;
  Progress pr;
  TIEMemStream s(File.data(), int64_t(File.size()));
  TIEBitmap b;
  IEReadDICOM(&s, P, &b, pr.Rec, false);
  r.Aborted = pr.Aborting;
  r.Format = b.PixelFormat();
  for (Integer y = 0; y < b.Height(); ++y)
    for (Integer x = 0; x < b.Width(); ++x) {
      if (b.PixelFormat() == ie8g) {
        r.Samples.push_back(b.GetPixelByte(x, y));
      } else if (b.PixelFormat() == ie16g) {
        const Word v = b.GetPixelWord(x, y);
        r.Samples.push_back(Byte(v));
        r.Samples.push_back(Byte(v >> 8));
      } else {
        TRGB c;
        b.GetPixelAsRGB(x, y, c);
        r.Samples.insert(r.Samples.end(), {c.r, c.g, c.b});
      }
    }
  return r;
}

TEST_F(DicomFiles, PixelsAsExpected) {
  struct Case {
    const char* Name;
    TIEPixelFormat Format;
    Integer W, H, Bits, Samples;
  };
  const Case cases[] = {
      {"implicit_le", ie16g, 11, 9, 12, 1},   {"explicit_le", ie16g, 11, 9, 12, 1},
      {"explicit_be", ie16g, 11, 9, 12, 1},   {"no_preamble", ie16g, 11, 9, 12, 1},
      {"frames", ie8g, 5, 6, 8, 1},           {"ct_signed", ie16g, 8, 8, 12, 1},
      {"window", ie16g, 10, 10, 16, 1},       {"window_zero", ie16g, 10, 10, 16, 1},
      {"six_bit", ie8g, 7, 5, 6, 1},          {"eight_in_sixteen", ie8g, 6, 4, 8, 1},
      {"monochrome1", ie8g, 4, 3, 8, 1},      {"long_vrs", ie8g, 4, 4, 8, 1},
      {"rgb", ie24RGB, 6, 5, 8, 3},           {"rgb_planar", ie24RGB, 6, 5, 8, 3},
      {"uniform", ie16g, 3, 3, 16, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p(nullptr);
    p.SetImageIndex(5);  // beyond the frames: the last one
    const Loaded got = Read(gt_test::ReadFileBytes(File(std::string(c.Name) + ".dcm")), p);
    EXPECT_FALSE(got.Aborted);
    EXPECT_EQ(got.Format, c.Format);
    EXPECT_EQ(p.WIDTH, c.W);
    EXPECT_EQ(p.HEIGHT, c.H);
    EXPECT_EQ(p.BITSPERSAMPLE, c.Bits);
    EXPECT_EQ(p.SAMPLESPERPIXEL, c.Samples);
    EXPECT_EQ(p.IMAGECOUNT, std::string(c.Name) == "frames" ? 3 : 1);
    EXPECT_EQ(p.IMAGEINDEX, std::string(c.Name) == "frames" ? 2 : 0);
    EXPECT_EQ(got.Samples, gt_test::ReadFileBytes(File(std::string(c.Name) + ".expect")));
  }
}

// Compressed pixel data made by dcmtk (RLE, lossless and baseline JPEG) and
// lossless JPEG with restart intervals, against the peer decoder's samples
// put through the same rescale, window and stretch.
TEST_F(DicomFiles, CompressedPixelsAsExpected) {
  struct Case {
    std::string Name;
    TIEPixelFormat Format;
    Integer Index, Tolerance;
    bool NeedsPeer;
  };
  std::vector<Case> cases = {
      {"rle_grey8", ie8g, 0, 0, true},         {"rle_grey16", ie16g, 0, 0, true},
      // Odd sizes: every segment ends in a pad byte.
      {"rle_rgb", ie24RGB, 0, 0, true},
      {"rle_frames_table", ie8g, 2, 0, true},  {"rle_frames_empty", ie8g, 2, 0, true},
      {"lossless_rgb", ie24RGB, 0, 0, true},   {"lossless_frames", ie8g, 2, 0, true},
      // Frames of several fragments.
      {"fragments_frames", ie16g, 2, 0, true}, {"fragments_one", ie16g, 0, 0, true},
      {"baseline_grey", ie8g, 0, 3, true},     {"baseline_rgb", ie24RGB, 0, 3, true},
      {"restart_sv1", ie16g, 0, 0, false},     {"restart_sv4", ie16g, 0, 0, false},
      {"restart_sv6", ie16g, 0, 0, false},     {"restart_sv7", ie16g, 0, 0, false},
      {"restart8", ie8g, 0, 0, false},
      // Reversible JPEG 2000: 12 bits windowed as stored, and 8 bits.
      {"j2k_grey16", ie16g, 0, 0, true},       {"j2k_window", ie16g, 0, 0, true},
      {"j2k_grey8", ie8g, 0, 0, true},
  };
  for (int sv = 1; sv <= 7; ++sv) {
    cases.push_back({"lossless16_sv" + std::to_string(sv), ie16g, 0, 0, true});
    cases.push_back({"lossless8_sv" + std::to_string(sv), ie8g, 0, 0, true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes file = gt_test::ReadFileBytes(File(c.Name + ".dcm"));
    ASSERT_FALSE(file.empty()) << (c.NeedsPeer ? "dcmtk's or GDCM's tools are missing" : "fixture not made");
    TIOParamsVals p(nullptr);
    p.SetImageIndex(c.Index);
    const Loaded got = Read(file, p);
    ASSERT_FALSE(got.Aborted);
    EXPECT_EQ(got.Format, c.Format);
    const Bytes want = gt_test::ReadFileBytes(File(c.Name + ".expect"));
    ASSERT_EQ(got.Samples.size(), want.size());
    int worst = 0;
    for (size_t i = 0; i < want.size(); ++i) worst = std::max(worst, std::abs(int(got.Samples[i]) - int(want[i])));
    EXPECT_LE(worst, c.Tolerance);
  }
}

TEST_F(DicomFiles, BrokenOrUnknownCompressedDataFails) {
  for (const char* name : {"bad_dht_count", "bad_dht_symbol", "jpeg_ls"}) {
    SCOPED_TRACE(name);
    TIOParamsVals p(nullptr);
    const Loaded got = Read(gt_test::ReadFileBytes(File(std::string(name) + ".dcm")), p);
    EXPECT_TRUE(got.Aborted);
    EXPECT_EQ(p.WIDTH, 8);  // the parameters are read all the same
  }
  // Cut inside the fragment, the file fails; only the closing delimiter may go.
  const Bytes rle = gt_test::ReadFileBytes(File("rle_rgb.dcm"));
  if (rle.empty()) return;
  for (size_t cut = rle.size() - 150; cut <= rle.size(); cut += 3) {
    SCOPED_TRACE(cut);
    TIOParamsVals p(nullptr);
    EXPECT_EQ(Read(Bytes(rle.begin(), rle.begin() + long(cut)), p).Aborted, cut < rle.size() - 8);
  }
}

TEST_F(DicomFiles, TagsProbeAndFrameCount) {
  const Bytes file = gt_test::ReadFileBytes(File("long_vrs.dcm"));
  TIOParamsVals p(nullptr);
  const Loaded got = Read(file, p);
  ASSERT_FALSE(got.Aborted);
  bool name = false, ut = false, syntax = false;
  for (Integer i = 0; i < p.DICOM_TAGS.Count(); ++i) {
    const TIEDICOMTag& t = p.DICOM_TAGS.GetTag(i);
    const std::string vr(t.VR, 2);
    const std::string value = t.Value() ? std::string(reinterpret_cast<const char*>(t.Value()), size_t(t.Length)) : "";
    if (t.Group == 0x0010 && t.Element == 0x0010) name = vr == "PN" && value == "Test^Fixture";
    if (t.Group == 0x0040 && t.Element == 0xA160) ut = vr == "UT" && t.Length == 70000;
    if (t.Group == 0x0002 && t.Element == 0x0010) syntax = vr == "UI" && value.rfind("1.2.840.10008.1.2.1", 0) == 0;
    EXPECT_FALSE(t.Group == 0x7FE0) << "nothing from the pixel data on";
  }
  EXPECT_TRUE(name);
  EXPECT_TRUE(ut);
  EXPECT_TRUE(syntax);

  for (const char* n : {"frames", "implicit_le", "no_preamble"}) {
    SCOPED_TRACE(n);
    const Bytes f = gt_test::ReadFileBytes(File(std::string(n) + ".dcm"));
    TIEMemStream s(f.data(), int64_t(f.size()));
    s.SetPosition(0);
    EXPECT_EQ(IEProbeDICOM(&s), std::string(n) != "no_preamble");
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(IECountDICOMFrames(&s), std::string(n) == "frames" ? 3 : 1);
    EXPECT_EQ(s.Position(), 0);
  }
  EXPECT_EQ(IECountDICOMFramesOfFile(Wide(File("frames.dcm"))), 3);
  EXPECT_EQ(IECountDICOMFramesOfFile(Wide(File("missing.dcm"))), 0);
}

// Replaces the first occurrence of From (a whole value with its padding).
Bytes Patched(Bytes F, const std::string& From, const std::string& To) {
  const std::string all(F.begin(), F.end());
  const size_t at = all.find(From);
  EXPECT_NE(at, std::string::npos) << From;
  EXPECT_EQ(From.size(), To.size());
  if (at != std::string::npos) std::copy(To.begin(), To.end(), F.begin() + long(at));
  return F;
}

TEST_F(DicomFiles, HostileAndUnsupportedFilesFailCleanly) {
  const Bytes six = gt_test::ReadFileBytes(File("six_bit.dcm"));
  const Bytes frames = gt_test::ReadFileBytes(File("frames.dcm"));
  const Bytes grey = gt_test::ReadFileBytes(File("explicit_le.dcm"));
  struct Case {
    const char* Name;
    Bytes File;
    bool Aborts;
    Integer Frames;
  };
  const Case cases[] = {
      // 6 bits stored still take a byte each: one byte short is too short.
      // (35 samples and a pad byte: two bytes short is one sample short.)
      {"six-bit pixels one byte short", Bytes(six.begin(), six.end() - 2), true, 1},
      {"16-bit pixels one byte short", Bytes(grey.begin(), grey.end() - 1), true, 1},
      {"last frame one byte short", Bytes(frames.begin(), frames.end() - 1), true, 3},
      {"no pixel data", Bytes(grey.begin(), grey.begin() + 300), true, 0},
      // Counts below one frame mean one frame.
      {"zero frames", Patched(frames, "3 ", "0 "), false, 1},
      {"negative frames", Patched(frames, "3 ", "-3"), false, 1},
      {"no number of frames", Patched(frames, "3 ", "x "), false, 1},
      {"empty", Bytes(), true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p(nullptr);
    p.SetImageIndex(2);
    const Loaded got = Read(c.File, p);
    EXPECT_EQ(got.Aborted, c.Aborts);
    EXPECT_EQ(p.IMAGECOUNT, c.Frames);
    if (c.Frames > 0) {
      EXPECT_LT(p.IMAGEINDEX, c.Frames);
    }
  }
  // 65535 x 65535 samples: far more than the file or any 32-bit count holds.
  const std::string rows("\x28\x00\x10\x00US\x02\x00\x09\x00", 10), cols("\x28\x00\x11\x00US\x02\x00\x0b\x00", 10);
  std::string bigRows = rows, bigCols = cols;
  bigRows[8] = bigRows[9] = bigCols[8] = bigCols[9] = '\xff';
  TIOParamsVals p(nullptr);
  const Loaded got = Read(Patched(Patched(grey, rows, bigRows), cols, bigCols), p);
  EXPECT_TRUE(got.Aborted);
  EXPECT_EQ(p.WIDTH, 65535);
}

TEST_F(DicomFiles, LoadsThroughTheIOComponent) {
  TZiduzUvIO io(nullptr);
  io.Params().SetImageIndex(1);
  io.LoadFromFileDICOM(Wide(File("frames.dcm")));
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().IMAGECOUNT, 3);
  EXPECT_EQ(io.IEBitmap()->Width(), 5);
  EXPECT_GT(io.Params().DICOM_TAGS.Count(), 10);
  const Bytes f = gt_test::ReadFileBytes(File("window.dcm"));
  TIEMemStream s(f.data(), int64_t(f.size()));
  TZiduzUvIO byStream(nullptr);
  byStream.LoadFromStreamDICOM(&s);
  EXPECT_FALSE(byStream.Aborting());
  EXPECT_EQ(byStream.IEBitmap()->Height(), 10);
}

}  // namespace
}  // namespace dicom_tests
