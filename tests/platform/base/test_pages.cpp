#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/base/pages.h"

namespace test_pages_tests {

namespace {

bool Mapped(const void* p) {
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  void* start = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(p) & ~(page - 1));
  return msync(start, page, MS_ASYNC) == 0 || errno != ENOMEM;
}

// The VmFlags line of the mapping that holds p, from /proc/self/smaps.
std::string VmFlagsOf(const void* p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  std::ifstream smaps("/proc/self/smaps");
  std::string line;
  bool inside = false;
  while (std::getline(smaps, line)) {
    uintptr_t from = 0, to = 0;
    char dash = 0;
    std::istringstream range(line);
    if (range >> std::hex >> from >> dash >> to && dash == '-') inside = from <= a && a < to;
    else if (inside && line.rfind("VmFlags:", 0) == 0) return line;
  }
  return {};
}

}  // namespace

TEST(ZeroedPages, AlignedZeroedWritableToTheLastByteAndGoneAfterFree) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  for (size_t size : {kLargePageBlock, kLargePageBlock + 1, (size_t(9) << 20) + page - 1}) {
    SCOPED_TRACE(size);
    auto* p = static_cast<unsigned char*>(AllocateZeroedPages(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (size_t(2) << 20), 0u);
    for (size_t i = 0; i < size; i += page / 2) ASSERT_EQ(p[i], 0) << i;
    EXPECT_EQ(p[size - 1], 0);
    std::memset(p, 0xA5, size);  // every byte belongs to the block
    // Asked for huge pages: the kernel marks the mapping so.
    EXPECT_NE(VmFlagsOf(p).find(" hg"), std::string::npos) << VmFlagsOf(p);
    FreeZeroedPages(p);
    EXPECT_FALSE(Mapped(p));
    EXPECT_FALSE(Mapped(p + size - 1));
  }
}

TEST(ZeroedPages, ImpossibleSizesFailCleanly) {
  EXPECT_EQ(AllocateZeroedPages(0), nullptr);
  EXPECT_EQ(AllocateZeroedPages(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocateZeroedPages(SIZE_MAX / 2), nullptr);  // more than any address space
  FreeZeroedPages(nullptr);
}

}  // namespace test_pages_tests
