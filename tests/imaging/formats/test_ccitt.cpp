// Fax coding: strips libtiff made decode bit-exactly in every compression,
// fill order and polarity; strips we write libtiff decodes bit-exactly at
// narrow and wide widths; hostile strips stay inside their rows.
#include <gtest/gtest.h>

#include <string>

#include "formats_test_util.h"
#include "imaging/formats/ccitt.h"
#include "imaging/formats/tiffread.h"
#include "imaging/formats/tiffwrite.h"

namespace ccitt_tests {
namespace {

using namespace fmt_test;

std::string Quote(const std::string& S) { return "'" + S + "'"; }

// A bilevel picture with long runs, single pixels and a row that alternates
// from its first pixel, the worst case of the coders.
void MakeBilevel(TIEBitmap& B, Integer W, Integer H, uint32_t Seed) {
  ASSERT_TRUE(B.Allocate(W, H, ie1g));
  for (Integer y = 0; y < H; ++y) {
    Byte* r = static_cast<Byte*>(B.GetScanline(y));
    std::memset(r, 0xFF, size_t(B.RowLen()));
    for (Integer x = 0; x < W; ++x) {
      Seed = Seed * 1664525u + 1013904223u;
      bool black;
      // Alternating from a black first pixel needs a run more than there are
      // pixels, which libtiff's 1-D run buffer only holds while the width is
      // not a multiple of 32: the wide rows alternate from white.
      if (y % 5 == 1)
        black = (x & 1) == (W >= 32 ? 1 : 0);
      else if (y % 5 == 2)
        black = x >= W / 3 && x < W / 3 + W / 4;
      else if (y % 5 == 3)
        black = (Seed >> 28) < 3;
      else
        black = ((x / 9 + y / 3) & 1) != 0;
      if (black) r[x >> 3] &= Byte(~(0x80 >> (x & 7)));
    }
  }
}

bool SameBits(TIEBitmap& A, TIEBitmap& B, std::string& Where) {
  if (A.Width() != B.Width() || A.Height() != B.Height() || B.PixelFormat() != ie1g) {
    Where = "size or format";
    return false;
  }
  for (Integer y = 0; y < A.Height(); ++y) {
    const Byte* a = static_cast<const Byte*>(A.GetScanline(y));
    const Byte* b = static_cast<const Byte*>(B.GetScanline(y));
    for (Integer x = 0; x < A.Width(); ++x)
      if (((a[x >> 3] ^ b[x >> 3]) >> (7 - (x & 7))) & 1) {
        Where = "pixel " + std::to_string(x) + "," + std::to_string(y);
        return false;
      }
  }
  return true;
}

// An uncompressed bilevel TIFF of B with the given photometric (0: the bits
// inverted, so that 0 is white).
Bytes PlainTIFF(TIEBitmap& B, Word Photometric) {
  const Integer w = B.Width(), h = B.Height();
  const uint32_t rowLen = uint32_t((w + 7) / 8), dataAt = 8 + 2 + 9 * 12 + 4;
  Bytes f = {'I', 'I', 42, 0, 8, 0, 0, 0};
  Add16(f, 9);
  auto entry = [&](Word Tag, Word Type, uint32_t Count, uint32_t Value) {
    Add16(f, Tag), Add16(f, Type), Add32(f, Count), Add32(f, Value);
  };
  entry(256, 4, 1, uint32_t(w));
  entry(257, 4, 1, uint32_t(h));
  entry(258, 3, 1, 1);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, Photometric);
  entry(273, 4, 1, dataAt);
  entry(277, 3, 1, 1);
  entry(278, 4, 1, uint32_t(h));
  entry(279, 4, 1, rowLen * uint32_t(h));
  Add32(f, 0);
  for (Integer y = 0; y < h; ++y) {
    const Byte* r = static_cast<const Byte*>(B.GetScanline(y));
    for (uint32_t i = 0; i < rowLen; ++i) f.push_back(Photometric == 0 ? Byte(~r[i]) : r[i]);
  }
  return f;
}

void ReadTIFFFile(const Bytes& File, TIEBitmap& B, bool& Aborted) {
  Progress p;
  TIOParamsVals params(nullptr);
  params.ISNATIVEPIXELFORMAT = true;
  std::unique_ptr<TIEMask> mask;
  Integer count = 0;
  TMemoryStream s;
  Fill(s, File);
  IEReadTIFF(&B, &s, count, &params, p.Rec, false, mask, true, true, false);
  Aborted = p.Aborting.load();
}

// libtiff writes each coding from an uncompressed picture: modified Huffman,
// Group 3 1-D and 2-D, Group 4, each in both fill orders and both
// polarities; every strip decodes to the same bits.
TEST(Ccitt, LibtiffStripsDecodeBitExactly) {
  ASSERT_TRUE(HaveTool("tiffcp"));
  ASSERT_TRUE(HaveTool("/usr/bin/python3"));
  TempDir dir("ccitt");
  TIEBitmap pic;
  MakeBilevel(pic, 203, 37, 7);
  struct TCoding {
    const char* Name;
    std::string Make;  // from plain.tif to coded.tif
  };
  const TCoding codings[] = {
      {"g3 1-D", "tiffcp -c g3:1d -r 10"},
      {"g3 2-D", "tiffcp -c g3:2d -r 10"},
      {"g4", "tiffcp -c g4 -r 10"},
  };
  for (Word photometric : {Word(0), Word(1)}) {
    const std::string plain = dir.File("plain" + std::to_string(photometric) + ".tif");
    gt_test::WriteFileBytes(plain, PlainTIFF(pic, photometric));
    std::vector<std::pair<std::string, std::string>> made;
    for (const TCoding& c : codings)
      for (const char* fill : {"msb2lsb", "lsb2msb"}) {
        const std::string out = dir.File(std::string("c") + std::to_string(made.size()) + ".tif");
        ASSERT_EQ(Shell(c.Make + " -f " + fill + " " + Quote(plain) + " " + Quote(out)), 0) << c.Name;
        made.push_back({std::string(c.Name) + " " + fill, out});
      }
    // Modified Huffman through Pillow's libtiff, then its fill order by tiffcp.
    const std::string mh = dir.File("mh" + std::to_string(photometric) + ".tif"), mh2 = mh + "2.tif";
    ASSERT_EQ(Shell("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + plain +
                    "').save('" + mh + "', compression='tiff_ccitt', tiffinfo={262: " +
                    std::to_string(photometric) + "})\""),
              0);
    made.push_back({"modified Huffman msb2lsb", mh});
    ASSERT_EQ(Shell("tiffcp -f lsb2msb " + Quote(mh) + " " + Quote(mh2)), 0);
    made.push_back({"modified Huffman lsb2msb", mh2});
    for (const auto& [name, file] : made) {
      SCOPED_TRACE(name + ", photometric " + std::to_string(photometric));
      const std::string info = Capture("tiffinfo " + Quote(file) + " 2>/dev/null");
      EXPECT_NE(info.find(photometric == 0 ? "min-is-white" : "min-is-black"), std::string::npos) << info;
      TIEBitmap b;
      bool aborted = true;
      ReadTIFFFile(gt_test::ReadFileBytes(file), b, aborted);
      ASSERT_FALSE(aborted);
      std::string where;
      EXPECT_TRUE(SameBits(pic, b, where)) << where;
    }
  }
}

// What we write in each coding and fill order, libtiff decodes to the same
// bits, from one pixel wide to wider than a fax line; the narrow widths
// with a row alternating from its first pixel are the worst case of the
// encoders.
TEST(Ccitt, OurStripsDecodeBitExactlyThroughLibtiff) {
  ASSERT_TRUE(HaveTool("tiffcp"));
  TempDir dir("ccitt");
  for (Integer width : {1, 5, 7, 8, 15, 16, 1728, 2000}) {
    TIEBitmap pic;
    MakeBilevel(pic, width, 23, uint32_t(width));
    for (Integer compression : {1, 2, 3, 4})
      for (Integer fill : {1, 2}) {
        SCOPED_TRACE("width " + std::to_string(width) + ", compression " + std::to_string(compression) +
                     ", fill order " + std::to_string(fill));
        TIOParamsVals p(nullptr);
        p.BITSPERSAMPLE = 1;
        p.SAMPLESPERPIXEL = 1;
        p.TIFF_COMPRESSION = Byte(compression);
        p.TIFF_FILLORDER = fill;
        Progress wp;
        TMemoryStream s;
        IEWriteTIFF(&s, false, &pic, p, wp.Rec);
        ASSERT_FALSE(wp.Aborting.load());
        EXPECT_EQ(p.TIFF_COMPRESSION, compression);
        const std::string ours = dir.File("ours.tif"), plain = dir.File("plain.tif");
        gt_test::WriteFileBytes(ours, Contents(s));
        std::remove(plain.c_str());
        ASSERT_EQ(Shell("tiffcp -c none " + Quote(ours) + " " + Quote(plain) + " 2>/dev/null"), 0);
        TIEBitmap b;
        bool aborted = true;
        ReadTIFFFile(gt_test::ReadFileBytes(plain), b, aborted);
        ASSERT_FALSE(aborted);
        std::string where;
        EXPECT_TRUE(SameBits(pic, b, where)) << where;
        // And our own reader decodes our strip.
        TIEBitmap again;
        ReadTIFFFile(Contents(s), again, aborted);
        ASSERT_FALSE(aborted);
        EXPECT_TRUE(SameBits(pic, again, where)) << where;
      }
  }
}

// Encoder details: long runs take repeated 2560 make-up codes, fill order 2
// mirrors every byte, Group 4 ends with EOFB on a byte boundary, Group 3 2-D
// rows carry EOL + tag bit 1 first and EOL + 0 after.
TEST(Ccitt, EncoderCodes) {
  // One black row of 6000 pixels: white 0, then 2560 + 2560 + 832 + 48.
  std::vector<Byte> row(750, 0xFF);
  std::atomic<bool> aborting{false};
  TMemoryStream s;
  IECCITTEncodeHuffmanRow(row.data(), 6000, &s, aborting, 1);
  const Bytes mh = Contents(s);
  // 8 (white 0) + 12 + 12 + 13 (black 832) + 12 (black 48) bits = 57 bits.
  EXPECT_EQ(mh.size(), 8u);
  EXPECT_EQ(mh[0], 0x35) << "white run 0";
  std::vector<Byte> out(750);
  EXPECT_EQ(IECCITTDecodeHuffmanRow(out.data(), mh.data(), int64_t(mh.size()), 6000, 1), 8);
  EXPECT_EQ(out, std::vector<Byte>(750, 0)) << "all black (0 in decoded rows)";

  TIEBitmap pic;
  MakeBilevel(pic, 61, 9, 3);
  Bytes coded[2];
  for (Integer fill : {1, 2}) {
    TMemoryStream g4;
    TIECCITTState st;
    std::vector<Byte> r(8);
    for (Integer y = 0; y < 9; ++y) {
      const Byte* src = static_cast<const Byte*>(pic.GetScanline(y));
      for (size_t i = 0; i < 8; ++i) r[i] = Byte(~src[i]);
      IECCITTEncodeG4Row(r.data(), 61, &g4, st, aborting, fill);
    }
    IECCITTEncodeG4Row(nullptr, 0, &g4, st, aborting, fill);
    EXPECT_EQ(st.PendingBits, 0);
    EXPECT_TRUE(st.RefLine.empty());
    coded[fill - 1] = Contents(g4);
  }
  ASSERT_EQ(coded[0].size(), coded[1].size());
  for (size_t i = 0; i < coded[0].size(); ++i) {
    Byte m = coded[1][i];
    m = Byte((m * 0x0202020202ull & 0x010884422010ull) % 1023);
    EXPECT_EQ(coded[0][i], m) << i;
  }
  // EOFB: two EOLs, 000000000001 000000000001, just before the padding.
  const Bytes& g4 = coded[0];
  ASSERT_GE(g4.size(), 4u);
  uint32_t tail = 0;
  for (size_t i = g4.size() - 4; i < g4.size(); ++i) tail = tail << 8 | g4[i];
  bool found = false;
  for (int pad = 0; pad < 8 && !found; ++pad) found = ((tail >> pad) & 0xFFFFFF) == 0x001001;
  EXPECT_TRUE(found) << std::hex << tail;

  // Group 3 2-D: EOL, tag 1, the first row 1-D; then EOL, tag 0.
  TMemoryStream g3;
  TIECCITTState st;
  std::vector<Byte> white(8, 0);
  IECCITTEncodeG3Row2D(white.data(), 61, &g3, st, aborting, 1);
  IECCITTEncodeG3Row2D(white.data(), 61, &g3, st, aborting, 1);
  IECCITTEncodeG3Row2D(nullptr, 0, &g3, st, aborting, 1);
  const Bytes b = Contents(g3);
  ASSERT_GE(b.size(), 4u);
  EXPECT_EQ(b[0], 0x00);
  EXPECT_EQ(b[1], 0x19) << "the EOL's 0001, tag 1, then 001 of white 61 (00110010)";
}

// Decoding: an EOL after 20 fill zeros is one code; a strip that ends early
// ends the row white; random strips at widths that are multiples of 8 never
// write past the row (the sanitizer build checks).
TEST(Ccitt, DecoderEdges) {
  // EOL with 20 extra zeros, then white 8 (10011): 8 pixels white then the
  // rest of a 16-pixel row black 8 (000101).
  // Bits: 20+11 zeros, 1, 10011, 000101 -> 43 bits.
  std::string bits = std::string(31, '0') + "1" + "10011" + "000101";
  Bytes data((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') data[i / 8] |= Byte(0x80 >> (i % 8));
  std::vector<Byte> out(2);
  const int64_t end = IECCITTDecodeRow1D(out.data(), data.data(), int64_t(data.size()), 16, 0, 1);
  EXPECT_EQ(end, int64_t(bits.size()));
  EXPECT_EQ(out[0], 0xFF);
  EXPECT_EQ(out[1], 0x00);

  // Data that ends inside a row: the rest stays white.
  const Byte cut[] = {0x35};  // white 0, then nothing
  out.assign(2, 0);
  IECCITTDecodeRow1D(out.data(), cut, 1, 16, 0, 1);
  EXPECT_EQ(out[1], 0xFF);

  uint32_t seed = 99;
  for (Integer width : {8, 16, 64, 1728}) {
    const size_t rowBytes = size_t(width) / 8;
    for (int round = 0; round < 200; ++round) {
      Bytes junk(size_t(1 + round % 40));
      for (Byte& v : junk) v = Byte((seed = seed * 1664525u + 1013904223u) >> 24);
      std::vector<Byte> row(rowBytes), ref(rowBytes, 255);
      int64_t pos = 0;
      for (int r = 0; r < 4 && pos < int64_t(junk.size()) * 8; ++r) {
        const int64_t next = IECCITTDecodeRow2D(row.data(), junk.data(), int64_t(junk.size()), width, ref.data(),
                                                pos, 1 + round % 2, round % 3 == 0);
        ASSERT_GE(next, pos);
        if (next == pos) break;
        pos = next;
      }
      IECCITTDecodeRow1D(row.data(), junk.data(), int64_t(junk.size()), width, 0, 1);
    }
  }
}

}  // namespace
}  // namespace ccitt_tests
