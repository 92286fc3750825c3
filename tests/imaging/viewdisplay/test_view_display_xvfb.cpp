// The view on a real X server (run with tests/imaging/viewdisplay/xvfb_checks.sh):
// what the display shows of the window, captured by the platform and by
// ImageMagick's import, is the back buffer, and the back buffer is the
// nearest-neighbour picture. Without a display these checks skip.
#include <fstream>
#include <sstream>

#include "display_test_util.h"
#include "imaging/io/ziduzuvio.h"

namespace test_view_display_xvfb_tests {

using namespace display_test;

namespace {

// Reads a binary PPM (P6, maxval 255) into 0x00RRGGBB values.
bool ReadPpm(const std::string& Path, std::vector<uint32_t>& Px, Integer& W, Integer& H) {
  std::ifstream f(Path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  f >> magic >> W >> H >> maxval;
  if (!f || magic != "P6" || maxval != 255 || W <= 0 || H <= 0) return false;
  f.get();
  std::vector<unsigned char> raw(size_t(W) * size_t(H) * 3);
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  if (!f) return false;
  Px.resize(size_t(W) * size_t(H));
  for (size_t i = 0; i < Px.size(); ++i)
    Px[i] = (uint32_t(raw[3 * i]) << 16) | (uint32_t(raw[3 * i + 1]) << 8) | raw[3 * i + 2];
  return true;
}

class XvfbDisplay : public StartedViewTest {
 protected:
};

TEST_F(XvfbDisplay, XvfbScreenShowsTheZoomedScrolledPicture) {
  if (!GtTestHasRealDisplay()) GTEST_SKIP() << "needs an X server (tests/imaging/viewdisplay/xvfb_checks.sh)";
  // A 640 x 480 BMP written here byte by byte (bottom-up rows), turned into
  // PNG by ImageMagick and loaded through the I/O companion.
  const std::string bmp = ::testing::TempDir() + "/display_xvfb.bmp";
  {
    const uint32_t row = 640 * 3, size = 54 + row * 480;
    std::ofstream f(bmp, std::ios::binary);
    auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("BM", 2);
    u32(size), u32(0), u32(54), u32(40), u32(640), u32(480), u16(1), u16(24), u32(0), u32(row * 480);
    u32(2835), u32(2835), u32(0), u32(0);
    for (Integer y = 479; y >= 0; --y)
      for (Integer x = 0; x < 640; ++x) {
        const uint32_t c = PatternAt(x, y);
        const char px[3] = {char(c), char(c >> 8), char(c >> 16)};
        f.write(px, 3);
      }
  }
  const std::string png = ::testing::TempDir() + "/display_xvfb.png";
  int made = 0;
  RunOutput("convert " + bmp + " png:" + png + " 2>&1", made);
  ASSERT_EQ(made, 0) << "ImageMagick convert is needed";
  TZiduzUvView* v = MakeView(420, 300);
  v->GetIO()->LoadFromFile(Utf8ToWide(png));
  ASSERT_EQ(v->GetIEBitmap()->Width(), 640) << "load aborted: " << v->GetIO()->Aborting();
  v->SetZoom(200);
  v->SetViewOrigin(100, 50);
  GtTestActivate(Form->Handle());
  GtTestPump(300);
  const Integer vw = v->GetViewWidth(), vh = v->GetViewHeight();
  const std::vector<uint32_t> back = Pixels(v->BackBuffer());
  std::string where;
  ASSERT_EQ(CountDiff(back, NearestOracle(vw, vh, 200, 100, 50), &where, vw), 0u) << where;

  const TPoint o = v->ClientOrigin();
  std::vector<uint32_t> shown;
  ASSERT_TRUE(GtTestScreenPixels(o.X, o.Y, vw, vh, shown));
  EXPECT_EQ(CountDiff(shown, back, &where, vw), 0u) << where;

  // The same screen area as another program captures it.
  const std::string ppm = ::testing::TempDir() + "/display_xvfb.ppm";
  int status = 0;
  RunOutput("import -window root -crop " + std::to_string(vw) + "x" + std::to_string(vh) + "+" +
                std::to_string(o.X) + "+" + std::to_string(o.Y) + " +repage -depth 8 ppm:" + ppm + " 2>&1",
            status);
  ASSERT_EQ(status, 0);
  std::vector<uint32_t> captured;
  Integer w = 0, h = 0;
  ASSERT_TRUE(ReadPpm(ppm, captured, w, h));
  ASSERT_EQ(w, vw);
  ASSERT_EQ(h, vh);
  EXPECT_EQ(CountDiff(captured, back, &where, vw), 0u) << where;
}

}  // namespace

}  // namespace test_view_display_xvfb_tests
