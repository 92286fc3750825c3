// What a new user meets first: files that ImageMagick, netpbm and gifsicle
// write load through the I/O companion by file name and by content with the
// pixels Pillow decodes, and every cut of them loads or fails cleanly.
#include <gtest/gtest.h>

#include "formats_test_util.h"
#include "imaging/core/base/iestreams.h"
#include "imaging/io/ieformats.h"
#include "imaging/io/ziduzuvio.h"

using namespace fmt_test;

namespace native_peer_files_tests {
namespace {

struct PeerFile {
  const char* Name;
  const char* Make;  // shell command; $IN is a 17 x 11 PPM, $OUT the file
  const char* Ext;
  bool Exact;        // pixels equal Pillow's decoding
  bool Sniffed;      // recognised by content (WBMP has no signature)
};

TEST(NativePeerFiles, LoadByNameAndContentAndSurviveCuts) {
  for (const char* tool : {"convert", "ppmtobmp", "ppmtopcx", "ppmtotga", "pamtopnm", "pbmtowbmp", "gifsicle"})
    ASSERT_TRUE(HaveTool(tool)) << tool;
  const PeerFile files[] = {
      {"ImageMagick BMP", "convert $IN BMP3:$OUT", "bmp", true, true},
      // Its rows run to the padded row length: the padding must not land in the last pixel.
      {"ImageMagick 8-bit RLE BMP", "convert $IN -colors 200 -compress RLE BMP3:$OUT", "bmp", true, true},
      {"netpbm BMP", "ppmtobmp $IN > $OUT", "bmp", true, true},
      {"ImageMagick PCX", "convert $IN $OUT", "pcx", true, true},
      {"netpbm PCX", "ppmtopcx $IN > $OUT 2>/dev/null", "pcx", true, true},
      {"ImageMagick TGA RLE", "convert $IN -compress RLE $OUT", "tga", true, true},
      {"netpbm TGA", "ppmtotga $IN > $OUT", "tga", true, true},
      {"ImageMagick ICO", "convert $IN $OUT", "ico", true, true},
      {"netpbm PPM", "pamtopnm $IN > $OUT", "ppm", true, true},
      {"ImageMagick plain PGM", "convert $IN -colorspace gray -compress none pgm:$OUT", "pgm", true, true},
      {"netpbm WBMP", "convert $IN -monochrome pbm:- | pbmtowbmp > $OUT", "wbmp", false, false},
      {"ImageMagick DCX", "convert $IN $OUT", "dcx", true, true},
      {"gifsicle interlaced GIF", "convert $IN -colors 64 gif:- | gifsicle -i > $OUT", "gif", true, true},
  };
  IEBuildFormatRegistry();
  TempDir dir("peers");
  const std::string in = dir.File("in.ppm");
  ASSERT_EQ(Shell("convert -size 17x11 plasma:fractal -seed 4 -depth 8 '" + in + "'"), 0);
  for (const PeerFile& f : files) {
    SCOPED_TRACE(f.Name);
    const std::string out = dir.File(std::string("peer.") + f.Ext);
    std::string cmd = f.Make;
    for (size_t at; (at = cmd.find("$IN")) != std::string::npos;) cmd.replace(at, 3, "'" + in + "'");
    for (size_t at; (at = cmd.find("$OUT")) != std::string::npos;) cmd.replace(at, 4, "'" + out + "'");
    ASSERT_EQ(Shell(cmd), 0) << cmd;
    const Bytes whole = gt_test::ReadFileBytes(out);
    ASSERT_FALSE(whole.empty());
    // The pictures as stored: netpbm writes a PCX's size as its resolution,
    // which evening out unequal resolutions would turn into another size.
    TZiduzUvIO byName(nullptr);
    byName.SetAutoAdjustDPI(false);
    byName.LoadFromFile(Wide(out));
    ASSERT_FALSE(byName.Aborting());
    const Rgb a = ToRgb(byName.IEBitmap());
    if (f.Sniffed) {
      TZiduzUvIO byContent(nullptr);
      byContent.SetAutoAdjustDPI(false);
      TIEMemStream s(whole.data(), int64_t(whole.size()));
      byContent.LoadFromStream(&s);
      ASSERT_FALSE(byContent.Aborting());
      EXPECT_EQ(a.Pixels, ToRgb(byContent.IEBitmap()).Pixels);
    }
    EXPECT_EQ(a.W, 17);
    EXPECT_EQ(a.H, 11);
    if (f.Exact) {
      const Rgb want = PillowRgb(out);
      ASSERT_EQ(want.W, 17);
      EXPECT_EQ(a.Pixels, want.Pixels);
    }
    // Cut files and files with a damaged middle: a clean failure, or a
    // picture no larger than the real one.
    const std::string cut = dir.File(std::string("cut.") + f.Ext);
    gt_test::Lcg g(uint32_t(whole.size()));
    for (size_t len = 0; len < whole.size(); len += 1 + whole.size() / 23) {
      for (bool damage : {false, true}) {
        Bytes part(whole.begin(), whole.begin() + long(len));
        if (damage) {
          part = whole;
          for (int k = 0; k < 4; ++k) part[len + size_t(g.Next() % (whole.size() - len))] ^= 0xA5;
        }
        ASSERT_TRUE(gt_test::WriteFileBytes(cut, part));
        TZiduzUvIO io(nullptr);
        io.LoadFromFile(Wide(cut));
        if (!io.Aborting()) {
          EXPECT_LE(int64_t(io.IEBitmap()->Width()) * io.IEBitmap()->Height(), int64_t(1) << 24) << len;
        }
      }
    }
  }
  IEFreeFormatRegistry();
}

}  // namespace
}  // namespace native_peer_files_tests
