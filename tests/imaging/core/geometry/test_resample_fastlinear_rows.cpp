// The fast linear scaler's averages: the vector sums and divisions against
// the portable ones over runs of every length class, and the exact integer
// quotient of long runs on both sides of the 32-bit division limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/core/geometry/ieresample.h"
#include "tests/imaging/core/geometry/resample_support.h"

namespace test_resample_fastlinear_rows_tests {

using namespace resample_test;

namespace {

class VectorPathScope {
 public:
  explicit VectorPathScope(bool On) : FSaved(IEResampleUseVectorPaths) { IEResampleUseVectorPaths = On; }
  ~VectorPathScope() { IEResampleUseVectorPaths = FSaved; }

 private:
  bool FSaved;
};

uint32_t Hash(Integer x, Integer y, Integer c) {
  uint32_t h = uint32_t(x) * 0x9E3779B1u ^ uint32_t(y) * 0x85EBCA77u ^ uint32_t(c) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  return h ^ (h >> 12);
}

// Noise with long bright stretches, so that sums reach the top of their
// range (255 per pixel), and, from 128 pixels on, flat squares of other
// values, whose sums are whole multiples of the run length: the quotients
// that a division rounding the wrong way would miss by one.
double Pattern(Integer x, Integer y, Integer c) {
  if ((x / 128 + y / 128) % 2 == 1) return double((x / 128 * 37 + y / 128 * 11 + 1) % 256);
  if ((x / 37 + y / 11) % 3 == 0) return 255;
  return double(Hash(x, y, c) % 256);
}

TEST(FastLinearRows, VectorPathsGiveThePortableResults) {
  struct Size {
    Integer Sw, Sh, Dw, Dh;
  };
  // Runs of one pixel (the last column), of two (equal sizes), three to
  // five (one group of four and a partial one), of three and four in turn,
  // long ones, the longest
  // vector runs (256 columns or rows) and the first portable ones (257),
  // runs of 61 (whose single-precision reciprocal lies below 1/61);
  // widths whose rows have no padding, so that a load past a row's end
  // would leave the picture.
  const Size sizes[] = {{100, 80, 33, 27},   {100, 80, 100, 40},   {100, 60, 50, 30},  {100, 50, 40, 20},
                        {1024, 20, 341, 9},  {1024, 30, 49, 3},    {2550, 12, 10, 5},  {2560, 12, 10, 6},
                        {40, 2550, 20, 10},  {40, 2560, 20, 10},   {1200, 1200, 20, 20}, {300, 2, 299, 1},
                        {64, 64, 160, 128},  {7, 5, 2, 9}};
  for (const Size& s : sizes)
    for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
      SCOPED_TRACE(std::to_string(s.Sw) + "x" + std::to_string(s.Sh) + " to " + std::to_string(s.Dw) + "x" +
                   std::to_string(s.Dh) + (pf == ie8g ? " gray" : " colour"));
      TIEBitmap src, vector(s.Dw, s.Dh, pf), portable(s.Dw, s.Dh, pf);
      Make(src, pf, s.Sw, s.Sh, Pattern);
      {
        VectorPathScope on(true);
        IEResample(&src, &vector, rfFastLinear);
      }
      {
        VectorPathScope off(false);
        IEResample(&src, &portable, rfFastLinear);
      }
      ASSERT_EQ(Samples(vector), Samples(portable));
    }
}

// Averages of 4104 samples take the 32-bit division, of 4105 the 64-bit
// one; both must give the integer quotient, also when the sum is a whole
// multiple of the count (all 255) and when it falls just short of one.
TEST(FastLinearRows, LongRunsAverageToTheIntegerQuotient) {
  struct Case {
    Integer Length;       // 2 x length - 1 source pixels reduced to 2
    bool Alternating;     // even positions 254, odd 255; else all 255
    double First, Second; // the two averages
  };
  const Case cases[] = {
      // Pixels 0 .. 4103 and pixel 4103 alone: (255 x 4104 - 2052) / 4104 = 254.5.
      {4104, true, 254, 255},
      {4104, false, 255, 255},
      // Pixels 0 .. 4104 and pixel 4104 alone: 255 - 2053 / 4105.
      {4105, true, 254, 254},
      {4105, false, 255, 255},
  };
  for (const Case& c : cases)
    for (bool vector : {true, false})
      for (bool across : {true, false})
        for (TIEPixelFormat pf : {ie24RGB, ie8g}) {
          SCOPED_TRACE(std::to_string(c.Length) + (c.Alternating ? " alternating" : " constant") +
                       (across ? " across" : " down") + (vector ? " vector" : " portable") +
                       (pf == ie8g ? " gray" : " colour"));
          VectorPathScope paths(vector);
          const Integer n = 2 * c.Length - 1;
          auto value = [&](Integer x, Integer y, Integer) {
            const Integer k = across ? x : y;
            return c.Alternating && k % 2 == 0 ? 254.0 : 255.0;
          };
          TIEBitmap src, dst(across ? 2 : 1, across ? 1 : 2, pf);
          Make(src, pf, across ? n : 1, across ? 1 : n, value);
          IEResample(&src, &dst, rfFastLinear);
          const Integer channels = pf == ie8g ? 1 : 3;
          for (Integer ch = 0; ch < channels; ++ch) {
            EXPECT_EQ(Sample(dst, 0, 0, ch), c.First);
            EXPECT_EQ(Sample(dst, across ? 1 : 0, across ? 0 : 1, ch), c.Second);
          }
        }
}

}  // namespace

}  // namespace test_resample_fastlinear_rows_tests
