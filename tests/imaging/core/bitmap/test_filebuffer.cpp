// The temporary-file store behind file-backed pictures: creation that cannot
// be hijacked and leaves nothing behind, space reserved up front, checked
// mapping and write-back.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "bitmap_fixture.h"

namespace test_filebuffer_tests {

namespace {

int FailWithNoSpace(int, int64_t, int64_t) { return ENOSPC; }

// Open descriptors of a process that point into Dir, with their sizes.
std::vector<int64_t> OpenFileSizesIn(pid_t Pid, const std::string& Dir) {
  std::vector<int64_t> sizes;
  std::string fdDir = "/proc/" + std::to_string(Pid) + "/fd";
  for (const auto& n : FolderEntries(fdDir)) {
    char target[4096];
    std::string link = fdDir + "/" + n;
    ssize_t len = ::readlink(link.c_str(), target, sizeof target - 1);
    if (len <= 0) continue;
    target[len] = 0;
    if (std::string(target).rfind(Dir + "/", 0) != 0) continue;
    struct stat st;
    if (::stat(link.c_str(), &st) == 0) sizes.push_back(st.st_size);
  }
  return sizes;
}

}  // namespace

// Both ways of making the file: nameless where the file system offers it,
// otherwise an exclusive name removed at once.
class FileBufferKinds : public BitmapTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    BitmapTest::SetUp();
    IEFileBufferTestHooks.NoNamelessFile = GetParam();
  }
};

TEST_P(FileBufferKinds, FileIsPrivateUnlinkedAndReserved) {
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile(W("IMG"), true, 3 * 4096 + 5));
  EXPECT_TRUE(fb.IsAllocated());
  EXPECT_TRUE(FolderEntries(Dir).empty());  // no name anybody could open
  if (GetParam()) {
    std::string name = WideToUtf8(fb.FileName());
    EXPECT_EQ(name.rfind(Dir + "/IMG-", 0), 0u) << name;
    ASSERT_EQ(name.size(), Dir.size() + std::string("/IMG-12345678.tmp").size());
    for (char c : name.substr(Dir.size() + 5, 8)) EXPECT_TRUE(std::isxdigit(c) && !std::islower(c)) << name;
  }
  auto sizes = OpenFileSizesIn(::getpid(), Dir);
  ASSERT_EQ(sizes.size(), 1u);
  EXPECT_EQ(sizes[0], 3 * 4096 + 5);
  // The blocks are reserved, not a sparse hole that a full disk would later refuse.
  std::string fdDir = "/proc/self/fd";
  for (const auto& n : FolderEntries(fdDir)) {
    struct stat st;
    std::string link = fdDir + "/" + n;
    char target[4096];
    ssize_t len = ::readlink(link.c_str(), target, sizeof target - 1);
    if (len <= 0 || std::string(target, len).rfind(Dir + "/", 0) != 0) continue;
    ASSERT_EQ(::stat(link.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_nlink, 0u);
    EXPECT_GE(st.st_blocks * 512, 3 * 4096 + 5);
  }
  fb.Close();
  EXPECT_FALSE(fb.IsAllocated());
  EXPECT_TRUE(OpenFileSizesIn(::getpid(), Dir).empty());
}

// A process killed while it holds a 10 MB store leaves nothing behind.
TEST_P(FileBufferKinds, KilledProcessLeavesNothingInTheTemporaryFolder) {
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    TIEFileBuffer fb;
    char ok = 0;
    if (fb.AllocateFile(W("IMG"), true, 10 * 1024 * 1024)) {
      std::memset(fb.Map(ieaWrite, 5 * 1024 * 1024, 4096), 0x5A, 4096);
      fb.UnmapAll();
      ok = 1;
    }
    if (::write(ready[1], &ok, 1) != 1) ::_exit(2);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(ok, 1);
  std::vector<int64_t> held = OpenFileSizesIn(child, Dir);
  EXPECT_EQ(held, std::vector<int64_t>{10 * 1024 * 1024});
  EXPECT_TRUE(FolderEntries(Dir).empty());
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(FolderEntries(Dir).empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, FileBufferKinds, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Named" : "Nameless"); });

// A name planted in a shared folder (a symbolic link to a file of the
// user's) is never opened, so the file behind it cannot be truncated.
TEST_F(BitmapTest, TemporaryFileNeverFollowsAPlantedLink) {
  std::string victim = Dir + "/victim";
  std::string planted = Dir + "/IMG-00000000.tmp";
  { std::ofstream(victim) << "precious"; }
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  try {
    TIETemporaryFileStream s(Utf8ToWide(planted));
    ADD_FAILURE() << "opened a planted link";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), W("Unable to create ") + Utf8ToWide(planted));
  }
  std::ifstream in(victim);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "precious");
  ::unlink(planted.c_str());
  ::unlink(victim.c_str());
}

TEST_F(BitmapTest, TemporaryFileInAMissingFolderRaises) {
  WideString name;
  IEFileBufferTestHooks.NoNamelessFile = true;
  EXPECT_THROW(TIETemporaryFileStream(Utf8ToWide(Dir + "/missing"), W("IMG"), name), EInOutError);
  IETempFolder = Utf8ToWide(Dir + "/missing");
  TIEFileBuffer fb;
  EXPECT_FALSE(fb.AllocateFile(W("IMG"), true, 100));
  EXPECT_FALSE(fb.IsAllocated());
}

// A disk that cannot hold the store makes AllocateFile answer false at once,
// leaves no store behind, and the bitmap falls back to memory.
TEST_F(BitmapTest, NoSpaceForTheFileIsReportedAtAllocation) {
  IEFileBufferTestHooks.Fallocate = FailWithNoSpace;
  TIEFileBuffer fb;
  EXPECT_FALSE(fb.AllocateFile(W("IMG"), true, 1 << 20));
  EXPECT_FALSE(fb.IsAllocated());
  EXPECT_TRUE(OpenFileSizesIn(::getpid(), Dir).empty());

  IEMemoryThresholdOverride = 0;
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(50, 40, ie24RGB));
  EXPECT_EQ(b.Location(), ieMemory);
  static_cast<Byte*>(b.GetScanline(39))[149] = 9;
  EXPECT_EQ(static_cast<Byte*>(b.GetScanline(39))[149], 9);

  // A picture sent to the file because memory cannot hold it must not fall
  // back to memory: the allocation fails, not the process.
  const int64_t savedLeft = IEMemoryLeftOverride;
  IEMemoryLeftOverride = 1;
  TIEBitmap big;
  EXPECT_FALSE(big.Allocate(8192, 8192, ie8g));
  EXPECT_TRUE(big.IsEmpty());
  IEMemoryLeftOverride = savedLeft;

  // No memory either: the fall-back to the file fails too, cleanly.
  IEMemoryThresholdOverride = std::numeric_limits<int64_t>::max();
  IEBitmapTestHooks.FailBlock = [](int64_t) { return true; };
  IEBitmapTestHooks.FailSegment = [](int64_t, int32_t) { return true; };
  TIEBitmap c;
  EXPECT_FALSE(c.Allocate(50, 40, ie24RGB));
  EXPECT_TRUE(c.IsEmpty());
  EXPECT_EQ(c.PixelFormat(), ie24RGB);
  EXPECT_TRUE(OpenFileSizesIn(::getpid(), Dir).empty());
}

// The same without a seam: a file-size limit makes the real reservation
// fail (in a child, so the limit does not touch the test program).
TEST_F(BitmapTest, RealReservationFailureIsReportedAtAllocation) {
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{1 << 20, 1 << 20};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    TIEFileBuffer fb;
    bool big = fb.AllocateFile(W("IMG"), true, 10 << 20);
    bool bigAllocated = fb.IsAllocated();
    bool small = fb.AllocateFile(W("IMG"), true, 1 << 19);
    ::_exit(!big && !bigAllocated && small ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Mapping: ranges are checked against the store, read-only blocks are
// discarded, write-only blocks start zeroed and are written back.
class FileBufferStores : public BitmapTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FileBufferStores, MapChecksRangesAndWritesBackByAccess) {
  const bool useFile = GetParam();
  TIEFileBuffer fb;
  ASSERT_TRUE(fb.AllocateFile(W("IMG"), useFile, 1000));
  EXPECT_THROW(fb.Map(ieaRead, 990, 11), ERangeError);
  EXPECT_THROW(fb.Map(ieaRead, -1, 5), ERangeError);
  EXPECT_THROW(fb.Map(ieaRead, 1001, 0), ERangeError);
  EXPECT_THROW(fb.Map(ieaRead, 10, std::numeric_limits<int64_t>::max()), ERangeError);
  EXPECT_EQ(fb.MappingCount(), 0);

  auto* w = static_cast<Byte*>(fb.Map(ieaWrite, 990, 10));
  for (int i = 0; i < 10; ++i) EXPECT_EQ(w[i], 0);
  std::memset(w, 0x11, 10);
  fb.Unmap(w);
  auto* r = static_cast<Byte*>(fb.Map(ieaRead, 985, 15));
  EXPECT_EQ(r[4], 0);
  EXPECT_EQ(r[5], 0x11);
  std::memset(r, 0x22, 15);  // read-only: thrown away
  fb.Unmap(r);
  fb.Unmap(r);  // no longer mapped: ignored

  // Two mappings of one range are independent; the one given back last wins.
  auto* a = static_cast<Byte*>(fb.Map(ieaRead | ieaWrite, 0, 4));
  auto* b = static_cast<Byte*>(fb.Map(ieaRead | ieaWrite, 0, 4));
  EXPECT_EQ(fb.FindMapping(b), 1);
  std::memset(a, 1, 4);
  std::memset(b, 2, 4);
  fb.Unmap(b);
  fb.Unmap(a);
  auto* c = static_cast<Byte*>(fb.Map(ieaRead, 0, 1000));
  EXPECT_EQ(c[0], 1);
  EXPECT_EQ(c[995], 0x11);
  fb.UnmapAll();
  EXPECT_EQ(fb.MappingCount(), 0);
}

TEST_P(FileBufferStores, CopyToFlushesMappingsAndCopiesAcrossPieces) {
  const bool useFile = GetParam();
  const int64_t size = 3 * 1048576 + 123;
  TIEFileBuffer src, dst;
  ASSERT_TRUE(src.AllocateFile(W("IMG"), useFile, size));
  ASSERT_TRUE(dst.AllocateFile(W("IMG"), !useFile, size));
  auto* p = static_cast<Byte*>(src.Map(ieaWrite, 0, size));
  for (int64_t i = 0; i < size; ++i) p[i] = static_cast<Byte>(i * 7 + (i >> 20));
  auto* pending = static_cast<Byte*>(dst.Map(ieaWrite, 0, 10));
  std::memset(pending, 0xEE, 10);  // flushed first, then overwritten by the copy
  src.CopyTo(&dst, 100, size - 100);
  EXPECT_EQ(src.MappingCount(), 0);
  EXPECT_EQ(dst.MappingCount(), 0);
  auto* q = static_cast<Byte*>(dst.Map(ieaRead, 0, size));
  EXPECT_EQ(q[0], 0xEE);
  for (int64_t i = 100; i < size; ++i) ASSERT_EQ(q[i], static_cast<Byte>(i * 7 + (i >> 20))) << i;
  dst.Unmap(q);
  EXPECT_THROW(src.CopyTo(&dst, 1, size), ERangeError);
}

INSTANTIATE_TEST_SUITE_P(Stores, FileBufferStores, ::testing::Values(true, false),
                         [](const auto& info) { return std::string(info.param ? "File" : "Memory"); });

}  // namespace test_filebuffer_tests
