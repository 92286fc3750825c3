// Physical memory as the picture container sees it: the machine's, capped by
// the memory limit of the control group the process runs in.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <utility>
#include <vector>

#include "tests/imaging/core/bitmap/bitmap_fixture.h"
#include "imaging/core/base/iesysinfo.h"

namespace test_sysinfo_tests {

namespace {

struct CgroupCase {
  const char* name;
  const char* selfCgroup;                                   // content of /proc/self/cgroup
  std::vector<std::pair<const char*, const char*>> files;   // path under the mount, content
  int64_t limit, usage;
};

void PrintTo(const CgroupCase& c, std::ostream* os) { *os << c.name; }

void WriteFile(const std::string& Path, const std::string& Content) {
  for (size_t p = Path.find('/', 1); p != std::string::npos; p = Path.find('/', p + 1))
    ::mkdir(Path.substr(0, p).c_str(), 0700);
  std::ofstream(Path) << Content;
}

}  // namespace

class Cgroup : public BitmapTest, public ::testing::WithParamInterface<CgroupCase> {};

TEST_P(Cgroup, TightestLimitApplies) {
  const CgroupCase& c = GetParam();
  std::string root = Dir + "/sys";
  ::mkdir(root.c_str(), 0700);
  for (auto& [path, content] : c.files) WriteFile(root + "/" + path, content);
  WriteFile(Dir + "/self-cgroup", c.selfCgroup);
  TIECgroupMemory m = IEReadCgroupMemory(root, Dir + "/self-cgroup");
  EXPECT_EQ(m.Limit, c.limit);
  EXPECT_EQ(m.Usage, c.usage);
  RemoveTree(root);
  ::unlink((Dir + "/self-cgroup").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Cgroup,
    ::testing::Values(
        CgroupCase{"UnifiedOwnGroup", "0::/app\n",
                   {{"cgroup.controllers", "memory"}, {"memory.max", "max\n"},
                    {"app/memory.max", "1073741824\n"}, {"app/memory.current", "1000\n"}},
                   1073741824, 1000},
        CgroupCase{"UnifiedParentIsTighter", "0::/a/b\n",
                   {{"cgroup.controllers", ""}, {"a/memory.max", "500000\n"},
                    {"a/b/memory.max", "900000\n"}, {"a/b/memory.current", "7\n"}},
                   500000, 7},
        CgroupCase{"UnifiedUnlimited", "0::/a\n",
                   {{"cgroup.controllers", ""}, {"a/memory.max", "max\n"}},
                   -1, -1},
        CgroupCase{"UnifiedGarbageIgnored", "0::/a\n",
                   {{"cgroup.controllers", ""}, {"a/memory.max", "12abc\n"}, {"memory.max", "4096"}},
                   4096, -1},
        CgroupCase{"NamespacedGroupFallsBackToRoot", "0::/not/mounted/here\n",
                   {{"cgroup.controllers", ""}, {"memory.max", "5000\n"}, {"memory.current", "42"}},
                   5000, 42},
        CgroupCase{"HybridUnified", "4:memory:/x\n0::/u\n",
                   {{"unified/cgroup.controllers", ""}, {"unified/u/memory.max", "2000000\n"},
                    {"memory/x/memory.limit_in_bytes", "1000\n"}},
                   2000000, -1},
        CgroupCase{"OlderHierarchyWhenUnifiedHasNoLimit", "5:cpu,memory:/x\n0::/\n",
                   {{"unified/cgroup.controllers", ""},
                    {"memory/memory.limit_in_bytes", "9223372036854771712\n"},
                    {"memory/x/memory.limit_in_bytes", "2147483648\n"},
                    {"memory/x/memory.usage_in_bytes", "123\n"}},
                   2147483648LL, 123},
        CgroupCase{"NoControlGroups", "", {}, -1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PhysicalMemory, TotalIsCappedAndAvailableNeverExceedsIt) {
  int64_t machine = int64_t(::sysconf(_SC_PHYS_PAGES)) * ::sysconf(_SC_PAGE_SIZE);
  int64_t total = IEGetPhysicalMemory(false);
  int64_t avail = IEGetPhysicalMemory(true);
  ASSERT_GT(total, 0);
  EXPECT_LE(total, machine);
  TIECgroupMemory cg = IEReadCgroupMemory("/sys/fs/cgroup", "/proc/self/cgroup");
  if (cg.Limit >= 0) {
    EXPECT_LE(total, cg.Limit);
  }
  EXPECT_GT(avail, 0);
  EXPECT_LE(avail, total);
}

// Under an address-space limit (prlimit --as, where no control group can be
// made) what is left is the limit less the process's size. Measured in a
// child, so the limit never reaches the test program.
TEST(PhysicalMemory, MemoryLeftHonoursTheAddressSpaceLimit) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::ifstream statm("/proc/self/statm");
    int64_t pages = 0;
    statm >> pages;
    const int64_t size = pages * sysconf(_SC_PAGE_SIZE);
    const int64_t room = int64_t(256) << 20;
    struct rlimit limit = {rlim_t(size + room), rlim_t(size + room)};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
    const int64_t left = IEMemoryLeft();
    _exit(left > 0 && left <= room ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(IEMemoryLeft(), 0);  // this process has no such limit
}

}  // namespace test_sysinfo_tests
