// The TIFF reader: directories and parameters of hand-built files, the strip
// decoding matrix against tifffile and Pillow, hostile strips, and loading
// libtiff-made pages through the I/O companion.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/formats/tiffread.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ieprobes.h"
#include "imaging/io/ziduzuvio.h"
#include "platform/base/classes.h"
#include "platform/base/strutils.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace test_tiff_read_tests {

namespace {

using Bytes = std::vector<uint8_t>;
using gt_test::Capture;
using gt_test::TempDir;

const std::string kHere = std::string(GT_TEST_DATA_DIR) + "/../imaging/formats";

// --- a small TIFF builder ------------------------------------------------------------

struct Field {
  Word Tag, Type;
  std::vector<Cardinal> Values;  // SHORT/LONG/BYTE values, or RATIONAL pairs
  std::string Text;              // ASCII
};

struct Page {
  std::vector<Field> Fields;
  Bytes Pixels;  // one strip; its offset and byte count are added
};

void Put(Bytes& B, size_t At, Cardinal V, int Size, bool Little) {
  for (int i = 0; i < Size; ++i) B[At + i] = Byte(V >> (8 * (Little ? i : Size - 1 - i)));
}
void Append(Bytes& B, Cardinal V, int Size, bool Little) {
  B.resize(B.size() + Size);
  Put(B, B.size() - Size, V, Size, Little);
}

// Pages chained in order; NextOf[i] overrides the next offset of page i
// with the offset of page NextOf[i] (a loop) when set.
// Dirs, when given, receives the offset of every directory.
Bytes BuildTIFF(const std::vector<Page>& Pages, bool Little = true, Word Magic = 42,
                std::map<size_t, size_t> NextOf = {}, std::vector<size_t>* Dirs = nullptr) {
  Bytes b;
  b.push_back(Little ? 'I' : 'M');
  b.push_back(Little ? 'I' : 'M');
  Append(b, Magic, 2, Little);
  Append(b, 0, 4, Little);
  std::vector<size_t> dirAt, nextAt;
  size_t link = 4;
  for (const Page& p : Pages) {
    std::vector<Field> fields = p.Fields;
    const size_t pixelsAt = b.size();
    b.insert(b.end(), p.Pixels.begin(), p.Pixels.end());
    if (!p.Pixels.empty()) {
      fields.push_back({273, 4, {Cardinal(pixelsAt)}, {}});
      fields.push_back({279, 4, {Cardinal(p.Pixels.size())}, {}});
    }
    std::sort(fields.begin(), fields.end(), [](const Field& a, const Field& c) { return a.Tag < c.Tag; });
    if (b.size() % 2) b.push_back(0);
    // Values longer than 4 bytes go before the directory.
    std::vector<Bytes> values;
    std::vector<Cardinal> counts;
    for (const Field& f : fields) {
      Bytes v;
      if (f.Type == 2) {
        v.assign(f.Text.begin(), f.Text.end());
        v.push_back(0);
      } else {
        const int size = f.Type == 3 ? 2 : f.Type == 1 ? 1 : 4;
        for (Cardinal x : f.Values) Append(v, x, size, Little);
      }
      counts.push_back(f.Type == 2 ? Cardinal(v.size()) : f.Type == 5 ? Cardinal(f.Values.size() / 2)
                                                                        : Cardinal(f.Values.size()));
      values.push_back(v);
    }
    std::vector<Cardinal> offsets(fields.size(), 0);
    for (size_t i = 0; i < fields.size(); ++i)
      if (values[i].size() > 4) {
        offsets[i] = Cardinal(b.size());
        b.insert(b.end(), values[i].begin(), values[i].end());
        if (b.size() % 2) b.push_back(0);
      }
    Put(b, link, Cardinal(b.size()), 4, Little);
    dirAt.push_back(b.size());
    Append(b, Cardinal(fields.size()), 2, Little);
    for (size_t i = 0; i < fields.size(); ++i) {
      Append(b, fields[i].Tag, 2, Little);
      Append(b, fields[i].Type, 2, Little);
      Append(b, counts[i], 4, Little);
      Bytes v = values[i];
      if (v.size() > 4) {
        Append(b, offsets[i], 4, Little);
      } else {
        v.resize(4, 0);
        b.insert(b.end(), v.begin(), v.end());
      }
    }
    link = b.size();
    nextAt.push_back(link);
    Append(b, 0, 4, Little);
  }
  for (auto [from, to] : NextOf) Put(b, nextAt[from], Cardinal(dirAt[to]), 4, Little);
  if (Dirs) *Dirs = dirAt;
  return b;
}

// Sets the value field of Tag in the first directory of a little-endian file.
Bytes WithValue(Bytes B, Word Tag, Cardinal Value) {
  const size_t dir = B[4] | B[5] << 8 | B[6] << 16 | size_t(B[7]) << 24;
  const size_t entries = B[dir] | B[dir + 1] << 8;
  for (size_t e = dir + 2; e < dir + 2 + 12 * entries; e += 12)
    if ((B[e] | B[e + 1] << 8) == Tag) Put(B, e + 8, Value, 4, true);
  return B;
}

// An 8-bit grey page W x H of value V.
Page GrayPage(Cardinal W, Cardinal H, Byte V, std::vector<Field> More = {}) {
  Page p;
  p.Fields = {{256, 4, {W}, {}}, {257, 4, {H}, {}}, {258, 3, {8}, {}}, {262, 3, {1}, {}}, {277, 3, {1}, {}}};
  p.Fields.insert(p.Fields.end(), More.begin(), More.end());
  p.Pixels.assign(size_t(W) * H, V);
  return p;
}

TMemoryStream* StreamOf(TMemoryStream& S, const Bytes& B) {
  S.Clear();
  S.Write(B.data(), int64_t(B.size()));
  S.SetPosition(0);
  return &S;
}

struct Result {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Progress{Aborting};
  TIOParamsVals Params{nullptr};
  TIEBitmap Bitmap;
  std::unique_ptr<TIEMask> Mask;
  Integer Count = -1;
};

void Read(Result& R, const Bytes& B, bool ParamsOnly = false) {
  TMemoryStream s;
  IEReadTIFF(&R.Bitmap, StreamOf(s, B), R.Count, &R.Params, R.Progress, ParamsOnly, R.Mask, true, false, false);
}

// --- directories and parameters --------------------------------------------------------

TEST(TiffDirectories, ParametersOfHandBuiltFiles) {
  const std::vector<Field> described = {{269, 2, {}, "doc"}, {270, 2, {}, "a description"}, {285, 2, {}, "p1"},
                                        {297, 3, {3, 10}, {}}, {282, 5, {300, 1}, {}}, {283, 5, {150, 2}, {}},
                                        {274, 3, {6}, {}}};
  Page bilevelRGB;
  bilevelRGB.Fields = {{256, 4, {9}, {}}, {257, 4, {2}, {}}, {258, 3, {1}, {}}, {262, 3, {2}, {}}};
  bilevelRGB.Pixels = {0x01, 0x00, 0x01, 0x00};
  Page sub = GrayPage(3, 2, 9);
  Page noLength = GrayPage(4, 4, 1);
  noLength.Fields.erase(noLength.Fields.begin() + 1);
  // The SubIFD is the file's second directory, not chained: its offset is
  // patched into the first page's tag 330 below.
  struct Case {
    const char* Name;
    Bytes File;
    Integer Index, SubIndex;
    bool Aborts;
    Integer Count, Width, Height, Photometric, Compression, PageNumber, PageCount, ByteOrder;
    Double XRes, YRes;
  };
  std::vector<size_t> dirs;
  Bytes withSub = BuildTIFF({GrayPage(5, 4, 1, {{330, 4, {0x7FFFFFF0}, {}}}), sub}, true, 42, {}, &dirs);
  {
    // Unchain the second directory and point the SubIFDs value at it.
    const size_t entries = withSub[dirs[0]], next = dirs[0] + 2 + 12 * entries;
    Put(withSub, next, 0, 4, true);
    for (size_t e = dirs[0] + 2; e < next; e += 12)
      if (withSub[e] == (330 & 0xFF) && withSub[e + 1] == 330 >> 8) Put(withSub, e + 8, Cardinal(dirs[1]), 4, true);
  }
  std::vector<Case> cases = {
      {"II with texts, resolution, page numbers", BuildTIFF({GrayPage(5, 4, 1, described)}), 0, -1, false, 1, 5,
       4, 1, 0, 3, 10, 1, 300.0, 75.0},
      {"MM with the same fields", BuildTIFF({GrayPage(5, 4, 1, described)}, false), 0, -1, false, 1, 5, 4, 1, 0, 3,
       10, 0, 300.0, 75.0},
      {"third of three pages", BuildTIFF({GrayPage(2, 2, 1), GrayPage(3, 2, 1), GrayPage(4, 3, 1)}), 2, -1, false,
       3, 4, 3, 1, 0, 0, 0, 1, 0, 0},
      {"SubIFD 0 of the first page", withSub, 0, 0, false, 1, 3, 2, 1, 0, 0, 0, 1, 0, 0},
      {"bilevel tagged RGB is white-is-zero", BuildTIFF({bilevelRGB}), 0, -1, false, 1, 9, 2, 0, 0, 0, 0, 1, 0,
       0},
      {"centimetres", BuildTIFF({GrayPage(2, 2, 1, {{296, 3, {3}, {}}, {282, 5, {100, 1}, {}}})}), 0, -1, false,
       1, 2, 2, 1, 0, 0, 0, 1, 254.0, 0},
      {"magic not 42", BuildTIFF({GrayPage(3, 3, 1)}, true, 43), 0, -1, false, 1, 3, 3, 1, 0, 0, 0, 1, 0, 0},
      {"no ImageLength", BuildTIFF({noLength}), 0, -1, true, 1, 4, 0, 1, 0, 0, 0, 1, 0, 0},
      {"two directories in a loop", BuildTIFF({GrayPage(2, 2, 1), GrayPage(3, 3, 1)}, true, 42, {{1, 0}}), 1, -1,
       false, 2, 3, 3, 1, 0, 0, 0, 1, 0, 0},
      {"page past the last", BuildTIFF({GrayPage(2, 2, 1), GrayPage(3, 3, 1)}), 5, -1, false, 2, 0, 0, 2, 0, -1,
       -1, 1, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Result r;
    r.Params.TIFF_IMAGEINDEX = c.Index;
    r.Params.TIFF_SUBINDEX = c.SubIndex;
    Read(r, c.File, true);
    EXPECT_EQ(r.Aborting.load(), c.Aborts);
    EXPECT_EQ(r.Count, c.Count);
    EXPECT_EQ(r.Bitmap.Width(), 0) << "parameters only";
    if (c.Index >= c.Count) {
      // Nothing read, nothing aborted: the count tells the caller why.
      EXPECT_EQ(r.Params.WIDTH, 0);
      continue;
    }
    EXPECT_EQ(r.Params.IMAGECOUNT, c.Count);
    EXPECT_EQ(r.Params.WIDTH, c.Width);
    EXPECT_EQ(r.Params.HEIGHT, c.Height);
    EXPECT_EQ(r.Params.ORIGINALWIDTH, c.Width);
    EXPECT_EQ(r.Params.TIFF_PHOTOMETINTEPRET, c.Photometric);
    EXPECT_EQ(r.Params.TIFF_COMPRESSION, c.Compression);
    EXPECT_EQ(r.Params.TIFF_PAGENUMBER, c.PageNumber);
    EXPECT_EQ(r.Params.TIFF_PAGECOUNT, c.PageCount);
    EXPECT_EQ(r.Params.TIFF_BYTEORDER, c.ByteOrder);
    EXPECT_DOUBLE_EQ(r.Params.EXIF_XRESOLUTION, c.XRes);
    EXPECT_DOUBLE_EQ(r.Params.EXIF_YRESOLUTION, c.YRes);
    EXPECT_EQ(r.Params.DPIX, Integer(c.XRes));
    if (c.PageNumber == 3) {
      EXPECT_EQ(r.Params.TIFF_DOCUMENTNAME, "doc");
      EXPECT_EQ(r.Params.TIFF_IMAGEDESCRIPTION, "a description");
      EXPECT_EQ(r.Params.EXIF_IMAGEDESCRIPTION, "a description");
      EXPECT_EQ(r.Params.TIFF_PAGENAME, "p1");
      EXPECT_EQ(r.Params.TIFF_ORIENTATION, 6);
      EXPECT_EQ(r.Params.EXIF_ORIENTATION, 6);
    }
  }
}

// Chains are counted the same way whoever walks them, and every walk ends:
// a loop back to an earlier directory stops at the revisit.
TEST(TiffDirectories, ChainCounting) {
  const Page a = GrayPage(2, 2, 1), b = GrayPage(3, 3, 1), c = GrayPage(4, 4, 1);
  Bytes zeroEntries = BuildTIFF({a, b});
  {
    // A third directory of 0 entries chained after the second one.
    std::vector<size_t> dirs;
    zeroEntries = BuildTIFF({a, b}, true, 42, {}, &dirs);
    const size_t next = dirs[1] + 2 + 12 * zeroEntries[dirs[1]];
    Put(zeroEntries, next, Cardinal(zeroEntries.size()), 4, true);
    zeroEntries.insert(zeroEntries.end(), {0, 0, 0, 0, 0, 0});
  }
  struct Case {
    const char* Name;
    Bytes File;
    Integer Count;
  } cases[] = {
      {"three chained", BuildTIFF({a, b, c}), 3},
      {"three chained, MM", BuildTIFF({a, b, c}, false), 3},
      {"self-reference counted once", BuildTIFF({a, b}, true, 42, {{1, 1}}), 2},
      {"loop of two", BuildTIFF({a, b}, true, 42, {{1, 0}}), 2},
      {"loop of three back to the second", BuildTIFF({a, b, c}, true, 42, {{2, 1}}), 3},
      {"zero-entry directory not counted", zeroEntries, 2},
      {"first offset 0", Bytes{'I', 'I', 42, 0, 0, 0, 0, 0, 0, 0}, 0},
      {"not a TIFF", Bytes{'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0}, 0},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    TMemoryStream s;
    EXPECT_EQ(IECountTIFFImages(StreamOf(s, k.File)), k.Count);
    // The reader's own walk ends as well and reports the same count.
    Result r;
    r.Params.TIFF_IMAGEINDEX = 1000;
    Read(r, k.File);
    EXPECT_EQ(r.Count, k.Count);
  }
  // A directory whose entries run past the end of the file is not counted.
  Bytes cut = BuildTIFF({a, b});
  cut.resize(cut.size() - 6);
  TMemoryStream s;
  EXPECT_EQ(IECountTIFFImages(StreamOf(s, cut)), 1);
}

// --- strip decoding matrix ------------------------------------------------------------

class TiffMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new TempDir("tiffmatrix");
    const std::string list = Capture("/usr/bin/python3 " + kHere + "/tiff_read_matrix.py " + Dir->Path, &Status);
    std::istringstream in(list);
    Case c;
    while (in >> c.Name >> c.Native >> c.Format >> c.W >> c.H >> c.Alpha >> c.Tol) Cases.push_back(c);
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
    Cases.clear();
  }
  struct Case {
    std::string Name;
    int Native, Format, W, H, Alpha, Tol;
  };
  static TempDir* Dir;
  static std::vector<Case> Cases;
  static int Status;
};
TempDir* TiffMatrix::Dir = nullptr;
std::vector<TiffMatrix::Case> TiffMatrix::Cases;
int TiffMatrix::Status = -1;

TEST_F(TiffMatrix, EveryLayoutDecodesAsTheOraclesRead) {
  ASSERT_EQ(Status, 0) << "tiff_read_matrix.py failed (tifffile, Pillow or tiffcp missing, or they disagree)";
  ASSERT_GE(Cases.size(), 30u);
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name + (c.Native ? " native" : " 24-bit"));
    const Bytes file = gt_test::ReadFileBytes(Dir->File(c.Name + ".tif"));
    Result r;
    r.Params.ISNATIVEPIXELFORMAT = c.Native != 0;
    Read(r, file);
    if (c.Name.find("lzw") != std::string::npos && !IETIFFLZWDecompressProc) {
      // Without a decoder an LZW file is refused, never shown blank.
      EXPECT_TRUE(r.Aborting.load());
      continue;
    }
    ASSERT_FALSE(r.Aborting.load());
    ASSERT_EQ(r.Bitmap.PixelFormat(), c.Format);
    ASSERT_EQ(r.Bitmap.Width(), c.W);
    ASSERT_EQ(r.Bitmap.Height(), c.H);
    const Bytes want = gt_test::ReadFileBytes(Dir->File(c.Name + "-" + std::to_string(c.Native) + ".want"));
    const size_t rowBytes = want.size() / size_t(c.H);
    ASSERT_EQ(rowBytes * c.H, want.size());
    size_t bad = 0;
    for (int y = 0; y < c.H; ++y) {
      const Byte* row = static_cast<const Byte*>(r.Bitmap.GetScanline(y));
      for (size_t i = 0; i < rowBytes; ++i) {
        // Bits past the last pixel of a 1-bit row are no pixels.
        const int keep = c.Format == ie1g && i + 1 == rowBytes ? 0xFF << (8 * rowBytes - c.W) : 0xFF;
        const int d = (int(row[i]) & keep) - (int(want[y * rowBytes + i]) & keep);
        if (d > c.Tol || d < -c.Tol) ++bad;
      }
    }
    EXPECT_EQ(bad, 0u);
    ASSERT_EQ(r.Mask != nullptr, c.Alpha != 0);
    if (c.Alpha) {
      const Bytes alpha = gt_test::ReadFileBytes(Dir->File(c.Name + ".alpha"));
      ASSERT_EQ(alpha.size(), size_t(c.W) * c.H);
      size_t wrong = 0;
      for (int y = 0; y < c.H; ++y)
        for (int x = 0; x < c.W; ++x) wrong += r.Mask->ScanLine(y)[x] != alpha[size_t(y) * c.W + x];
      EXPECT_EQ(wrong, 0u);
      EXPECT_FALSE(r.Mask->Full);
    }
  }
}

// Cut strips: every row is either the row of the whole file or left as
// allocated, the rows kept come first, nothing is read past the data (the
// sanitizer build checks) and the load is not thrown away. The matrix files
// keep their directory before the strips, so a cut takes pixel data only.
TEST_F(TiffMatrix, CutStripsKeepTheRowsBeforeTheCut) {
  ASSERT_EQ(Status, 0);
  for (const char* name : {"rgb8", "rgb8_packbits", "rgb8_deflate_predictor", "gray16_deflate_predictor_mm",
                           "bilevel_packbits", "cmyk16_mm_deflate_predictor", "palette4"}) {
    SCOPED_TRACE(name);
    const Bytes full = gt_test::ReadFileBytes(Dir->File(std::string(name) + ".tif"));
    Result whole;
    whole.Params.ISNATIVEPIXELFORMAT = true;
    Read(whole, full);
    ASSERT_FALSE(whole.Aborting.load());
    const int h = whole.Bitmap.Height();
    const size_t rowLen = size_t(whole.Bitmap.RowLen());
    // The last strip holds one row: losing a few bytes of it keeps at least
    // the six rows before it (a deflate strip may lose only its checksum).
    // The larger cut takes half of the pixel data.
    TMemoryStream s;
    TTIFFDirectory d;
    d.Stream = StreamOf(s, full);
    d.LittleEndian = full[0] == 'I';
    Integer count = 0;
    ASSERT_TRUE(TIFFLoadIFD(d, 0, 8, count));
    std::vector<Cardinal> offsets;
    ASSERT_GT(TIFFReadIntegerArray(d, offsets, 273), 0);
    for (size_t drop : {size_t(2), (full.size() - offsets[0]) / 2}) {
      SCOPED_TRACE(drop);
      const Bytes cut(full.begin(), full.end() - std::ptrdiff_t(drop));
      Result r;
      r.Params.ISNATIVEPIXELFORMAT = true;
      Read(r, cut);
      EXPECT_FALSE(r.Aborting.load());
      ASSERT_EQ(r.Bitmap.Height(), h);
      int kept = 0;
      bool ended = false;
      for (int y = 0; y < h; ++y) {
        const Byte* row = static_cast<const Byte*>(r.Bitmap.GetScanline(y));
        const bool same = std::memcmp(row, whole.Bitmap.GetScanline(y), rowLen) == 0;
        const bool blank = std::all_of(row, row + rowLen, [](Byte b) { return b == 0; });
        EXPECT_TRUE(same || blank) << "row " << y;
        if (same && !ended) ++kept;
        if (!same) ended = true;
        if (ended) {
          EXPECT_TRUE(blank) << "row " << y << " after the cut";
        }
      }
      if (drop == 2) {
        EXPECT_GE(kept, h - 1);
      } else {
        EXPECT_LT(kept, h - 1);
      }
    }
  }
}

// --- hostile and unsupported files --------------------------------------------------------

// The file with its first directory offset (header bytes 4 to 7, "II") set to Offset.
Bytes FirstDirectoryAt(Bytes File, Cardinal Offset) {
  for (int i = 0; i < 4; ++i) File[size_t(4 + i)] = Byte(Offset >> (8 * i));
  return File;
}

TEST(TiffHostile, RefusedOrReadSafely) {
  auto gray = [](std::vector<Field> More, Cardinal W = 4, Cardinal H = 3) { return GrayPage(W, H, 7, More); };
  Page planar11 = gray({{284, 3, {2}, {}}});
  planar11.Fields[4] = {277, 3, {11}, {}};
  planar11.Fields[2] = {258, 3, std::vector<Cardinal>(11, 8), {}};
  Page unequalBits = gray({});
  unequalBits.Fields[2] = {258, 3, {8, 8, 16}, {}};
  unequalBits.Fields[4] = {277, 3, {3}, {}};
  Page huge = GrayPage(1, 1, 0);
  huge.Fields[0] = {256, 4, {30000}, {}};
  huge.Fields[1] = {257, 4, {30000}, {}};
  Page bomb = gray({{259, 3, {8}, {}}});
  {
    // Zeros that inflate to 16 MB for a picture of 12 bytes.
    std::vector<Byte> zeros(16 << 20, 7);
    uLongf len = compressBound(uLong(zeros.size()));
    bomb.Pixels.resize(len);
    compress(bomb.Pixels.data(), &len, zeros.data(), uLong(zeros.size()));
    bomb.Pixels.resize(len);
  }
  struct Case {
    const char* Name;
    Bytes File;
    bool Aborts;
    bool Decoded;  // the grey picture of value 7 came out
  } cases[] = {
      {"planar with 11 samples", BuildTIFF({planar11}), true, false},
      {"floating-point predictor", BuildTIFF({gray({{317, 3, {3}, {}}})}), true, false},
      {"unequal BitsPerSample", BuildTIFF({unequalBits}), true, false},
      {"30000 x 30000 in a few bytes", BuildTIFF({huge}), true, false},
      {"deflate bomb", BuildTIFF({bomb}), false, true},
      {"StripByteCounts of 4 GiB", WithValue(BuildTIFF({gray({})}), 279, 0xFFFFFFFF), false, true},
      {"strip past the end", WithValue(BuildTIFF({gray({})}), 273, 0xFFFFFF00), false, false},
      // A cut file whose directory lay at its end, and one that names none:
      // there is no picture, which must not read as an empty success.
      {"first directory past the end", FirstDirectoryAt(BuildTIFF({gray({})}), 0xFFFFFF00), true, false},
      {"no first directory", FirstDirectoryAt(BuildTIFF({gray({})}), 0), true, false},
      {"no strips at all", BuildTIFF({[] {
         Page p = GrayPage(4, 3, 7);
         p.Pixels.clear();
         return p;
       }()}),
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Result r;
    r.Params.ISNATIVEPIXELFORMAT = true;
    Read(r, c.File);
    EXPECT_EQ(r.Aborting.load(), c.Aborts);
    if (c.Decoded) {
      ASSERT_EQ(r.Bitmap.PixelFormat(), ie8g);
      EXPECT_EQ(static_cast<Byte*>(r.Bitmap.GetScanline(2))[3], 7);
    } else if (!c.Aborts) {
      EXPECT_EQ(static_cast<Byte*>(r.Bitmap.GetScanline(2))[3], 0);
    }
  }
}

// A colour map is taken only when its length is 3 x 2^bits.
TEST(TiffHostile, ColourMapLength) {
  auto palette = [](Cardinal Bits, size_t Count) {
    Page p;
    p.Fields = {{256, 4, {2}, {}}, {257, 4, {1}, {}}, {258, 3, {Bits}, {}}, {262, 3, {3}, {}}};
    std::vector<Cardinal> map(Count);
    for (size_t i = 0; i < Count; ++i) map[i] = Cardinal(i % 3 == 0 ? 0xFF00 : 0x1000);
    p.Fields.push_back({320, 3, map, {}});
    p.Pixels = {0x10};
    return p;
  };
  struct Case {
    const char* Name;
    Page P;
    Integer Entries;
  } cases[] = {
      {"4 bits, 48 values", palette(4, 48), 16},
      {"4 bits, 47 values", palette(4, 47), 0},
      {"2 bits, 48 values", palette(2, 48), 0},
      {"31 bits", palette(31, 6), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Result r;
    Read(r, BuildTIFF({c.P}), true);
    EXPECT_EQ(r.Params.COLORMAPCOUNT, c.Entries);
    if (c.Entries) {
      EXPECT_EQ(r.Params.COLORMAP[0].r, 0xFF);
    }
  }
}

// --- probes -------------------------------------------------------------------------------

TEST(TiffProbes, ContentDecisions) {
  const Page plain = GrayPage(4, 3, 1);
  Page noLength = plain;
  noLength.Fields.erase(noLength.Fields.begin() + 1);
  auto raw = [&](std::vector<Field> More, Cardinal W = 4, Cardinal H = 3) {
    Page p = GrayPage(W, H, 1, More);
    return BuildTIFF({p});
  };
  Bytes mmBA = BuildTIFF({plain}, false);
  mmBA[8] = 0xBA;
  Bytes hdMM = raw({{48256, 4, {1}, {}}, {48257, 4, {1}, {}}, {48129, 1, {1}, {}}, {48320, 4, {1}, {}},
                    {48321, 4, {1}, {}}});
  Bytes hdII = hdMM;
  hdMM = BuildTIFF({GrayPage(4, 3, 1, {{48256, 4, {1}, {}}, {48257, 4, {1}, {}}, {48129, 1, {1}, {}},
                                       {48320, 4, {1}, {}}, {48321, 4, {1}, {}}})},
                   false);
  struct Case {
    const char* Name;
    Bytes File;
    bool Tiff, Raw, HDPhoto;
  } cases[] = {
      {"plain II", BuildTIFF({plain}), true, false, false},
      {"plain MM", BuildTIFF({plain}, false), true, false, false},
      {"eight bytes", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}, false, false, false},
      {"MM with 0xBA ninth byte", mmBA, false, false, false},
      {"no ImageLength", BuildTIFF({noLength}), false, false, false},
      {"DNGVersion BYTE x 4", raw({{50706, 1, {1, 4, 0, 0}, {}}}), true, true, false},
      {"DNGVersion SHORT", raw({{50706, 3, {1, 4, 0, 0}, {}}}), true, false, false},
      {"TIFF/EP 160 x 120", raw({{330, 4, {8}, {}}, {37398, 1, {1, 0, 0, 0}, {}}}, 160, 120), true, true, false},
      {"TIFF/EP 200 x 150", raw({{330, 4, {8}, {}}, {37398, 1, {1, 0, 0, 0}, {}}}, 200, 150), true, false, false},
      {"colour filter array", BuildTIFF({[] {
         Page p = GrayPage(4, 3, 1);
         p.Fields[3] = {262, 3, {32803}, {}};
         return p;
       }()}),
       true, true, false},
      {"HD Photo tags, II", hdII, true, false, true},
      {"HD Photo tags, MM", hdMM, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TMemoryStream s;
    s.Write("pad", 3);
    s.Write(c.File.data(), int64_t(c.File.size()));
    s.SetPosition(3);
    // Offsets count from the probe's start, and the position is kept.
    EXPECT_EQ(IEProbeTIFF(&s), c.Tiff);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(IEProbeTIFFRaw(&s), c.Raw);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(IEProbeHDPhoto(&s), c.HDPhoto);
    EXPECT_EQ(s.Position(), 3);
  }
  // A loop in the chain does not stop a probe from answering.
  TMemoryStream s;
  EXPECT_TRUE(IEProbeTIFF(StreamOf(s, BuildTIFF({plain, plain}, true, 42, {{1, 0}}))));
}

// --- through the I/O companion ------------------------------------------------------------

TEST(TiffCompanion, LoadsLibtiffPagesByFileStreamAndBuffer) {
  IEBuildFormatRegistry();
  struct TFree {
    ~TFree() { IEFreeFormatRegistry(); }
  } freeRegistry;
  TempDir dir("tiffio");
  // Three pages of different sizes and layouts, joined by libtiff.
  const std::string a = dir.File("a.tif"), b = dir.File("b.tif"), c = dir.File("c.tif"), all = dir.File("all.tif");
  ASSERT_EQ(gt_test::Shell("convert -size 5x4 xc:'#102030' -depth 8 -type TrueColor -compress none '" + a +
                           "' && convert -size 7x3 gradient:black-white -depth 8 -type Grayscale -compress zip '" +
                           b + "' && convert -size 9x2 xc:'#C08040' -depth 8 -type TrueColor -compress none '" + c +
                           "' && tiffcp -B '" + a + "' '" + b + "' '" + c + "' '" + all + "'"),
            0);
  const Bytes file = gt_test::ReadFileBytes(all);
  const WideString name = Utf8ToWide(all);
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way == 0 ? "file" : way == 1 ? "stream" : "buffer");
    for (Integer page : {0, 2}) {
      SCOPED_TRACE(page);
      TZiduzUvIO io(nullptr);
      io.Params().SetImageIndex(page);
      TMemoryStream s;
      if (way == 0) {
        io.LoadFromFile(name);
      } else if (way == 1) {
        io.LoadFromStream(StreamOf(s, file));
      } else {
        io.LoadFromBuffer(file.data(), Integer(file.size()), ieftTIFF);
      }
      ASSERT_FALSE(io.Aborting());
      EXPECT_EQ(io.Params().IMAGECOUNT, 3);
      EXPECT_EQ(io.Params().FILETYPE, ieftTIFF);
      EXPECT_EQ(io.Params().TIFF_BYTEORDER, 0);
      TIEBitmap* bm = io.IEBitmap();
      ASSERT_EQ(bm->Width(), page == 0 ? 5 : 9);
      ASSERT_EQ(bm->PixelFormat(), ie24RGB);
      const Byte* px = static_cast<const Byte*>(bm->GetScanline(1));
      if (page == 0)
        EXPECT_EQ((std::vector<Byte>(px, px + 3)), (std::vector<Byte>{0x30, 0x20, 0x10}));
      else
        EXPECT_EQ((std::vector<Byte>(px, px + 3)), (std::vector<Byte>{0x40, 0x80, 0xC0}));
    }
  }
  // The middle page is deflate grey: its rows go from black to white.
  TZiduzUvIO io(nullptr);
  io.Params().SetImageIndex(1);
  io.SetNativePixelFormat(true);
  io.LoadFromFile(name);
  ASSERT_FALSE(io.Aborting());
  ASSERT_EQ(io.IEBitmap()->PixelFormat(), ie8g);
  EXPECT_EQ(static_cast<Byte*>(io.IEBitmap()->GetScanline(0))[0], 0);
  EXPECT_EQ(static_cast<Byte*>(io.IEBitmap()->GetScanline(2))[6], 255);
}

}  // namespace

}  // namespace test_tiff_read_tests
