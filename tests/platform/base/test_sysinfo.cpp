#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/base/sysinfo.h"
#include "scratch_dir.h"

namespace test_sysinfo_tests {

namespace fs = std::filesystem;

TEST(RandomNumbers, SequenceOfTheProcessWideGenerator) {
  const Cardinal saved = RandSeed();
  SetRandSeed(0);
  std::vector<Integer> got;
  for (int i = 0; i < 10; ++i) got.push_back(Random(100));
  // The first ten draws of Random(100) from seed 0, worked out by hand from the rule.
  EXPECT_EQ(got, (std::vector<Integer>{0, 3, 86, 20, 27, 67, 31, 16, 37, 42}));

  SetRandSeed(12345);
  EXPECT_EQ(Random(0), 0);
  EXPECT_NE(RandSeed(), 12345u);  // a draw of 0 still advances
  // Saving and restoring the seed repeats the draws.
  Cardinal mark = RandSeed();
  std::vector<Integer> first, second;
  for (int i = 0; i < 5; ++i) first.push_back(Random(1000));
  SetRandSeed(mark);
  for (int i = 0; i < 5; ++i) second.push_back(Random(1000));
  EXPECT_EQ(first, second);
  for (Integer range : {1, 7, 1000, INT32_MAX})
    for (int i = 0; i < 200; ++i) {
      Integer r = Random(range);
      ASSERT_TRUE(r >= 0 && r < range) << range;
    }
  double f = Random();
  EXPECT_TRUE(f >= 0 && f < 1);
  SetRandSeed(saved);
}

TEST(RandomNumbers, DrawsFromManyThreadsEachAdvanceTheSeedOnce) {
  const Cardinal saved = RandSeed();
  SetRandSeed(777);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([] {
      for (int i = 0; i < 5000; ++i) Random(10);
    });
  for (auto& t : threads) t.join();
  // Lost or doubled updates would leave another seed than 40000 single steps.
  Cardinal seed = 777;
  for (int i = 0; i < 40000; ++i) seed = seed * 134775813u + 1u;
  EXPECT_EQ(RandSeed(), seed);
  Randomize();
  Cardinal a = RandSeed();
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  Randomize();
  EXPECT_NE(RandSeed(), a);
  SetRandSeed(saved);
}

namespace {
void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
}
const char* kMeminfo =
    "MemTotal:       16777216 kB\n"
    "MemFree:         1048576 kB\n"
    "MemAvailable:    8388608 kB\n"
    "Buffers:          102400 kB\n"
    "Cached:          2097152 kB\n";
}  // namespace

TEST(Memory, CgroupLimitsCapThePhysicalMemory) {
  const uint64_t GiB = uint64_t(1) << 30, MiB = uint64_t(1) << 20;
  struct Case {
    const char* name;
    const char* meminfo;
    const char* cgroupLine;
    std::vector<std::pair<std::string, std::string>> files;  // relative to the cgroup root
    bool ok;
    uint64_t total, avail;
  };
  const Case cases[] = {
      {"no limit", kMeminfo, "0::/a/b\n", {{"a/b/memory.max", "max\n"}}, true, 16 * GiB, 8 * GiB},
      {"limit below the machine", kMeminfo, "0::/a/b\n",
       {{"a/memory.max", "max\n"}, {"a/b/memory.max", "1073741824\n"}, {"a/b/memory.current", "268435456\n"}},
       true, GiB, 768 * MiB},
      {"parent limit smaller", kMeminfo, "0::/a/b\n",
       {{"a/memory.max", "536870912\n"}, {"a/memory.current", "134217728\n"}, {"a/b/memory.max", "1073741824\n"}},
       true, 512 * MiB, 384 * MiB},
      {"usage above the limit", kMeminfo, "0::/c\n",
       {{"c/memory.max", "1073741824\n"}, {"c/memory.current", "2147483648\n"}}, true, GiB, 0},
      {"container root", kMeminfo, "0::/\n", {{"memory.max", "2147483648\n"}}, true, 2 * GiB, 2 * GiB},
      {"old kernel without MemAvailable", "MemTotal: 4194304 kB\nMemFree: 1024 kB\nBuffers: 1024 kB\nCached: 2048 kB\n",
       "", {}, true, 4 * GiB, 4 * MiB},
      {"only the cgroup", nullptr, "0::/d\n", {{"d/memory.max", "1073741824\n"}}, true, GiB, GiB},
      {"junk limit ignored", kMeminfo, "0::/e\n", {{"e/memory.max", "-5\n"}}, true, 16 * GiB, 8 * GiB},
      {"nothing", nullptr, "", {}, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    const std::string proc = dir.Path + "/proc", cg = dir.Path + "/cgroup";
    fs::create_directories(proc + "/self");
    fs::create_directories(cg);
    if (c.meminfo) WriteFile(proc + "/meminfo", c.meminfo);
    WriteFile(proc + "/self/cgroup", std::string("1:memory:/v1/ignored\n") + c.cgroupLine);
    for (const auto& [file, text] : c.files) WriteFile(cg + "/" + file, text);
    TMemoryStatusEx st;
    ASSERT_EQ(ReadMemoryStatus(proc, cg, st), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(st.ullTotalPhys, c.total);
    EXPECT_EQ(st.ullAvailPhys, c.avail);
    EXPECT_EQ(st.dwMemoryLoad, 100 - c.avail * 100 / c.total);
  }
  TMemoryStatusEx real;
  ASSERT_TRUE(GlobalMemoryStatusEx(real));
  EXPECT_GT(real.ullTotalPhys, 0u);
  EXPECT_LE(real.ullAvailPhys, real.ullTotalPhys);
}

TEST(Processor, CountAndFeatures) {
  EXPECT_GE(GetProcessorCount(), 1);
  EXPECT_LE(GetProcessorCount(), static_cast<Integer>(std::max(1u, std::thread::hardware_concurrency())));
#if defined(__x86_64__)
  // Every x86-64 processor has MMX, SSE and SSE2; the flags agree with CPUID leaf 1.
  Cardinal a, b, c, d;
  ASSERT_TRUE(CpuId(1, a, b, c, d));
  EXPECT_TRUE(CpuHasFeature(cfMMX));
  EXPECT_TRUE(CpuHasFeature(cfSSE2));
  EXPECT_EQ(CpuHasFeature(cfMMX), ((d >> 23) & 1) != 0);
  EXPECT_EQ(CpuHasFeature(cfSSE3), (c & 1) != 0);
  EXPECT_EQ(CpuHasFeature(cfSSE41), ((c >> 19) & 1) != 0);
  ASSERT_TRUE(CpuId(0, a, b, c, d));
  EXPECT_GE(a, 1u);  // highest standard leaf
#else
  Cardinal a, b, c, d;
  EXPECT_FALSE(CpuId(1, a, b, c, d));
  EXPECT_FALSE(CpuHasFeature(cfMMX));
#endif
}

}  // namespace test_sysinfo_tests
