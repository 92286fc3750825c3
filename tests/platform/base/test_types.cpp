#include <gtest/gtest.h>

#include <cmath>

#include "platform/base/classes.h"
#include "platform/base/types.h"

namespace test_types_tests {

TEST(Rounding, HalvesGoToEvenNeighbour) {
  struct Case { double x; int64_t round, trunc; };
  const Case cases[] = {
      {2.5, 2, 2}, {3.5, 4, 3}, {-2.5, -2, -2}, {-3.5, -4, -3}, {0.5, 0, 0},
      {1.4999999, 1, 1}, {2.5000001, 3, 2}, {-0.7, -1, 0}, {1e12 + 0.5, 1000000000000, 1000000000000},
      // Values from damaged files: no undefined conversion, the range saturates.
      {std::nan(""), 0, 0}, {1e30, INT64_MAX, INT64_MAX}, {-1e30, INT64_MIN, INT64_MIN},
      {HUGE_VAL, INT64_MAX, INT64_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Round(c.x), c.round) << c.x;
    EXPECT_EQ(Trunc(c.x), c.trunc) << c.x;
  }
}

TEST(MemoryStream, ShortReadRaisesAndWritesGrow) {
  TMemoryStream s;
  const char data[] = "abcdef";
  s.WriteBuffer(data, 6);
  EXPECT_EQ(s.Size(), 6);
  s.SetPosition(2);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "cdef");
  s.SetPosition(4);
  EXPECT_THROW(s.ReadBuffer(buf, 3), EReadError);
  // Writing past the end fills the gap with zeros.
  s.SetPosition(10);
  s.WriteBuffer("x", 1);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(static_cast<const char*>(s.Memory())[8], 0);
}

}  // namespace test_types_tests
