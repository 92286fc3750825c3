// Content sniffing over files that outside programs make (ImageMagick, netpbm,
// libtiff's tools), plus the few formats none of them writes, made by hand:
// each whole, behind the 12-byte stream header where the format has one, cut
// to 12 and to 8 bytes, and embedded at a non-zero stream position.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/io/ieformats.h"
#include "io_test_util.h"

namespace test_sniff_corpus_tests {

using namespace io_test;

namespace {

struct Sample {
  const char* Name;
  std::string Make;  // shell command writing $OUT; empty: Bytes are the file
  Bytes Data;
  TIEFileType Whole, Cut12, Cut8, Embedded;  // embedded: after 7 junk bytes, sniffed from there
  const char* Header;                        // the format's stream header magic, or nullptr
};

TIEFileType SniffAt(const Bytes& Data, int64_t Pos) {
  TMemoryStream s;
  Fill(s, Data, Pos);
  TIEFileType t = IEFindStreamFormat(&s);
  EXPECT_EQ(s.Position(), Pos);
  return t;
}

Bytes WithHeader(const char* Magic, const Bytes& Data) {
  Bytes h = Zeros(12);
  for (int i = 0; i < 4; ++i) h[i] = static_cast<uint8_t>(Magic[i]);
  PutLE32(h, 8, static_cast<uint32_t>(Data.size()));
  return Cat({h, Data});
}

class SniffCorpus : public ::testing::Test {
 protected:
  void SetUp() override {
    IEBuildFormatRegistry();
    ASSERT_EQ(Shell("command -v convert >/dev/null && command -v ppmmake >/dev/null && command -v tiffcp >/dev/null"), 0)
        << "ImageMagick, netpbm and libtiff's tools are needed (scripts/install-deps.sh)";
  }
  void TearDown() override { IEFreeFormatRegistry(); }
  TempDir Dir;
};

TEST_F(SniffCorpus, FilesOfOtherProgramsAndHandMadeOnes) {
  const std::string im = "convert -size 4x3 xc:red ";
  Bytes avi = Cat({Str("RIFF"), LE32(64), Str("AVI LIST"), LE32(40), Str("hdrlavih"), Zeros(40)});
  Bytes emf = Zeros(108);
  emf[0] = 1;
  emf[4] = 108;
  emf[40] = ' ', emf[41] = 'E', emf[42] = 'M', emf[43] = 'F';
  Bytes wmf = Cat({LE32(0x9AC6CDD7), Zeros(18), Bytes{1, 0, 9, 0, 0, 3, 24, 0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0}, Bytes{3, 0, 0, 0, 0, 0}});
  Bytes dicom = Cat({Zeros(128), Str("DICM"), Bytes{2, 0, 0, 0, 'U', 'L', 4, 0}, LE32(0)});
  Bytes layers = Cat({Str("ZIDUZUVLAYERS"), LE32(6), LE32(static_cast<uint32_t>(-2)), LE32(0)});
  Bytes objects = Cat({Str("IEV"), Bytes{0x3C}, LE32(16), Zeros(8)});
  Bytes withObjects = Cat({LE32(29), layers, objects});
  Bytes hdp = MakeTiff({{48129, 1, 16, 0}, {48256, 4, 1, 4}, {48257, 4, 1, 3}, {48320, 4, 1, 90}, {48321, 4, 1, 10}}, false, 24);
  Bytes dng = MakeTiff({{254, 4, 1, 1}, {256, 3, 1, 4}, {257, 3, 1, 3}, {50706, 1, 4, 0x00000401}}, false, 24);

  // Expected ids: whole file, first 12 bytes, first 8 bytes, embedded at 7.
  // A portable anymap's header is its first few tokens, so even 8 bytes say "P6 4 3".
  const std::vector<Sample> samples = {
      {"tif", im + "$OUT.tif && mv $OUT.tif $OUT", {}, 1, 0, 0, 1, "TIFF"},
      {"big-endian tif", im + "-compress lzw $OUT.tif && tiffcp -B $OUT.tif $OUT", {}, 1, 0, 0, 1, "TIFF"},
      {"netpbm tif", "ppmmake red 4 3 | pnmtotiff > $OUT 2>/dev/null", {}, 1, 0, 0, 1, "TIFF"},
      {"gif", im + "gif:$OUT", {}, 2, 0, 0, 2, nullptr},
      {"jpg", im + "jpg:$OUT", {}, 3, 3, 3, 3, "JFIF"},
      {"progressive jpg", im + "-interlace plane jpg:$OUT", {}, 3, 3, 3, 3, "JFIF"},
      {"pcx", im + "pcx:$OUT", {}, 4, 0, 0, 4, "PCX2"},
      {"netpbm pcx", "ppmmake red 40 3 | ppmtopcx > $OUT 2>/dev/null", {}, 4, 0, 0, 4, "PCX2"},
      {"bmp", im + "bmp:$OUT", {}, 5, 0, 0, 5, nullptr},
      {"OS/2 bmp", "ppmmake red 4 3 | ppmtobmp -os2 > $OUT 2>/dev/null", {}, 5, 0, 0, 5, nullptr},
      // Icon offsets are absolute stream positions: embedded, the directory no longer fits.
      {"ico", im + "ico:$OUT", {}, 6, 0, 0, 0, nullptr},
      {"cur", im + "ico:$OUT && printf '\\002' | dd of=$OUT bs=1 seek=2 conv=notrunc 2>/dev/null", {}, 7, 0, 0, 0, nullptr},
      {"png", im + "png:$OUT", {}, 8, 8, 0, 8, nullptr},
      {"tga", im + "tga:$OUT", {}, 11, 0, 0, 11, nullptr},
      {"rle tga", im + "-compress rle tga:$OUT", {}, 11, 0, 0, 11, nullptr},
      {"netpbm tga", "ppmmake red 4 3 | ppmtotga > $OUT 2>/dev/null", {}, 11, 0, 0, 11, nullptr},
      {"ppm", im + "ppm:$OUT", {}, 12, 12, 12, 12, nullptr},
      {"pgm", im + "pgm:$OUT", {}, 12, 12, 12, 12, nullptr},
      {"pbm", "convert -size 64x48 xc:red pbm:$OUT", {}, 12, 12, 12, 12, nullptr},
      {"plain ppm", "ppmmake red 4 3 | pnmtoplainpnm > $OUT", {}, 12, 12, 12, 12, nullptr},
      {"plain pbm", "pbmmake -plain 4 3 > $OUT", {}, 12, 12, 12, 12, nullptr},
      {"jp2", im + "jp2:$OUT", {}, 13, 13, 0, 13, nullptr},
      {"j2k", im + "j2k:$OUT", {}, 14, 14, 14, 14, nullptr},
      {"dcx", im + "dcx:$OUT", {}, 19, 0, 0, 19, nullptr},
      {"psd", im + "psd:$OUT", {}, 24, 0, 0, 24, nullptr},
      {"wbmp (no probe)", "convert -size 64x48 xc:red wbmp:$OUT", {}, 0, 0, 0, 0, nullptr},
      {"avi", "", avi, 15, 15, 0, 15, nullptr},
      {"emf", "", emf, 10, 0, 0, 10, nullptr},
      {"placeable wmf", "", wmf, 9, 0, 0, 9, nullptr},
      {"dicom", "", dicom, 28, 0, 0, 28, nullptr},
      {"hd photo", "", hdp, 29, 0, 0, 29, nullptr},
      {"dng (raw identification not built)", "", dng, 0, 0, 0, 0, nullptr},
      {"iev", "", objects, 25, 25, 25, 25, nullptr},
      {"lyr", "", layers, 26, 0, 0, 26, nullptr},
      // The objects offset is an absolute stream position, too.
      {"all", "", withObjects, 27, 0, 0, 0, nullptr},
  };

  for (const Sample& s : samples) {
    SCOPED_TRACE(s.Name);
    Bytes data = s.Data;
    if (!s.Make.empty()) {
      std::string out = Dir.File("sample");
      std::string cmd = "OUT='" + out + "'; rm -f \"$OUT\"*; " + s.Make;
      ASSERT_EQ(Shell(cmd), 0) << cmd;
      data = ReadFile(out);
      ASSERT_GT(data.size(), 12u);
    }
    EXPECT_EQ(SniffAt(data, 0), s.Whole) << "whole";
    EXPECT_EQ(SniffAt(Bytes(data.begin(), data.begin() + 12), 0), s.Cut12) << "first 12 bytes";
    EXPECT_EQ(SniffAt(Bytes(data.begin(), data.begin() + 8), 0), s.Cut8) << "first 8 bytes";
    EXPECT_EQ(SniffAt(Cat({Str("0123456"), data}), 7), s.Embedded) << "embedded at 7";
    if (s.Header) {
      Bytes h = WithHeader(s.Header, data);
      EXPECT_EQ(SniffAt(h, 0), s.Whole) << "with stream header";
      EXPECT_EQ(SniffAt(Cat({Str("abc"), h}), 3), s.Whole) << "with stream header at 3";
      // The header alone says nothing yet: the tests want more than 12 bytes.
      EXPECT_EQ(SniffAt(Bytes(h.begin(), h.begin() + 12), 0), 0) << "header only";
    }
  }
  // The old PCX stream header: "PCX", a 0 byte, then the data to the end.
  std::string out = Dir.File("old.pcx");
  ASSERT_EQ(Shell(im + "pcx:'" + out + "'"), 0);
  EXPECT_EQ(SniffAt(Cat({Str(std::string("PCX\0", 4)), ReadFile(out)}), 0), 4);
}

}  // namespace

}  // namespace test_sniff_corpus_tests
