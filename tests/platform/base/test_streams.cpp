#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <fstream>
#include <memory>

#include "platform/base/classes.h"
#include "platform/base/fileutils.h"
#include "scratch_dir.h"

namespace test_streams_tests {

namespace {
std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void WriteAll(const std::string& path, const std::string& data) {
  std::ofstream f(path, std::ios::binary);
  f << data;
}
}  // namespace

TEST(MemoryStream, CapacityAlwaysCoversTheData) {
  // Sizes around the growth steps; each write must land inside the block.
  for (int64_t n : {1, 0xFFF, 0x1000, 0x1001, 0x1FFF, 0x2001, 0x3FFF, 0x5001}) {
    TMemoryStream s;
    std::string data(static_cast<size_t>(n), '\0');
    for (int64_t i = 0; i < n; ++i) data[static_cast<size_t>(i)] = static_cast<char>(i * 7);
    s.WriteBuffer(data.data(), n);
    EXPECT_GE(s.Capacity(), s.Size()) << n;
    EXPECT_EQ(std::memcmp(s.Memory(), data.data(), static_cast<size_t>(n)), 0) << n;
    s.WriteBuffer("tail", 4);  // and growing once more keeps it
    EXPECT_GE(s.Capacity(), s.Size()) << n;
  }
}

TEST(MemoryStream, HostilePositionsNeitherWrapNorWrite) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  EXPECT_EQ(s.Seek(INT64_MAX, soBeginning), INT64_MAX);
  EXPECT_EQ(s.Seek(10, soCurrent), INT64_MAX);  // saturates instead of wrapping
  EXPECT_EQ(s.Write("x", 1), 0);
  char c;
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Seek(-5, soBeginning), -5);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_EQ(s.Read(&c, 1), 0);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_THROW(s.SetSize(-1), EStreamError);
}

TEST(MemoryStream, CopyFromAndLoadFromStream) {
  TMemoryStream src;
  src.WriteBuffer("0123456789", 10);
  src.SetPosition(7);
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(&src, 0), 10);  // 0 copies everything, from the start
  EXPECT_EQ(std::string(static_cast<char*>(dst.Memory()), 10), "0123456789");
  src.SetPosition(8);
  EXPECT_THROW(dst.CopyFrom(&src, 5), EReadError);
  EXPECT_EQ(dst.CopyFrom(&src, -3), 0);
  TMemoryStream copy;
  copy.LoadFromStream(&src);
  EXPECT_EQ(copy.Size(), 10);
  EXPECT_EQ(copy.Position(), 0);
}

TEST(FileStream, CreateWriteReopenRead) {
  ScratchDir dir;
  WideString name = dir.Wide() + u"data \u0416.bin";
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("hello world", 11);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.Seek(-5, soEnd), 6);
    f.WriteBuffer("WORLD", 5);
    f.SetSize(8);
    EXPECT_EQ(f.Size(), 8);
  }
  EXPECT_EQ(ReadAll(dir.Path + "/data \xD0\x96.bin"), "hello WO");
  TFileStream r(name, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(r.FileName(), name);
  char buf[16] = {};
  r.SetPosition(6);
  EXPECT_EQ(r.Read(buf, 16), 2);
  EXPECT_STREQ(buf, "WO");
  r.SetPosition(4);
  EXPECT_THROW(r.ReadBuffer(buf, 5), EReadError);  // short read raises
  EXPECT_EQ(r.Write("x", 1), 0);                    // read-only handle
}

TEST(FileStream, FailuresNameTheFullPath) {
  ScratchDir dir;
  std::string cwd = WideToUtf8(GetCurrentDir());
  ASSERT_EQ(chdir(dir.Path.c_str()), 0);
  try {
    TFileStream f(u"missing.bin", fmOpenRead);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file \"" + dir.Path + "/missing.bin\". "), std::string::npos)
        << e.what();
  }
  try {
    TFileStream f(u"no/such/folder/x.bin", fmCreate);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const EFCreateError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + dir.Path + "/no/such/folder/x.bin\". "),
              std::string::npos)
        << e.what();
  }
  ASSERT_EQ(chdir(cwd.c_str()), 0);
  WriteAll(dir.Path + "/f", "x");
  EXPECT_THROW(TFileStream(dir.Wide() + u"f", 3), EFOpenError);     // access bits 3
  EXPECT_THROW(TFileStream(dir.Wide() + u"f", 0x50), EFOpenError);  // sharing nibble 5
  EXPECT_THROW(TFileStream(dir.Wide(), fmOpenRead), EFOpenError);   // a folder is no file
  EXPECT_THROW(TFileStream(dir.Wide(), fmCreate), EFCreateError);
}

TEST(FileStream, SharingIsEnforcedBetweenOpens) {
  struct Case { Word first, second; bool secondOpens; };
  const Case cases[] = {
      {fmOpenRead | fmShareDenyWrite, fmOpenRead | fmShareDenyWrite, true},
      {fmOpenRead | fmShareDenyWrite, fmOpenReadWrite | fmShareExclusive, false},
      {fmOpenRead | fmShareDenyWrite, fmOpenWrite | fmShareDenyWrite, false},
      {fmOpenRead | fmShareExclusive, fmOpenRead | fmShareDenyWrite, false},
      {fmOpenRead | fmShareDenyNone, fmOpenReadWrite | fmShareExclusive, true},
      {fmOpenReadWrite | fmShareExclusive, fmOpenRead | fmShareDenyNone, true},  // advisory: no lock asked
      {fmOpenRead | fmShareDenyWrite, fmCreate, false},
  };
  ScratchDir dir;
  WideString name = dir.Wide() + u"shared";
  for (const auto& c : cases) {
    WriteAll(dir.Path + "/shared", "keep me");
    TFileStream first(name, c.first);
    if (c.secondOpens) {
      EXPECT_NO_THROW(TFileStream(name, c.second)) << std::hex << c.first << " " << c.second;
    } else {
      EXPECT_THROW(TFileStream(name, c.second), EStreamError) << std::hex << c.first << " " << c.second;
      // A refused create leaves the other holder's data alone.
      EXPECT_EQ(ReadAll(dir.Path + "/shared"), "keep me");
    }
  }
  // The lock goes with the stream.
  { TFileStream held(name, fmOpenReadWrite | fmShareExclusive); }
  EXPECT_NO_THROW(TFileStream(name, fmOpenReadWrite | fmShareExclusive));
}

TEST(HandleStream, ClosesOnlyWhatItOwns) {
  ScratchDir dir;
  std::string path = dir.Path + "/h";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  {
    THandleStream s(fd);
    s.WriteBuffer("abc", 3);
    EXPECT_EQ(s.Size(), 3);
  }
  EXPECT_NE(fcntl(fd, F_GETFD), -1);  // still open
  { THandleStream owner(fd, true); }
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  THandleStream bad(-1);
  char c;
  EXPECT_EQ(bad.Read(&c, 1), 0);
  EXPECT_EQ(bad.Seek(0, soCurrent), -1);
}

// A refused transfer keeps the system's reason, so that whoever sees the short
// count can say what happened (a full disk above all); transfers that work
// leave it at 0.
TEST(HandleStream, RefusedTransfersKeepTheSystemsReason) {
  ScratchDir dir;
  const std::string file = dir.Path + "/f";
  WriteAll(file, "data");
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  struct Case {
    const char* What;
    int Fd;
    std::function<bool(THandleStream&)> Transfer;  // true when it moved all it was asked to
    int Error;
    const char* Text;
  } cases[] = {
      {"write to a full device", ::open("/dev/full", O_WRONLY | O_CLOEXEC),
       [](THandleStream& s) { return s.Write("abc", 3) == 3; }, ENOSPC, "No space left on device"},
      {"read from a file open only for writing", ::open(file.c_str(), O_WRONLY | O_CLOEXEC),
       [](THandleStream& s) { char c[4]; return s.Read(c, 4) == 4; }, EBADF, "Bad file descriptor"},
      {"seek in a pipe", pipeFds[0], [](THandleStream& s) { return s.Seek(0, soBeginning) == 0; }, ESPIPE,
       "Illegal seek"},
      {"read of a readable file", ::open(file.c_str(), O_RDONLY | O_CLOEXEC),
       [](THandleStream& s) { char c[4]; return s.Read(c, 4) == 4; }, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    ASSERT_GE(c.Fd, 0);
    THandleStream s(c.Fd, true);
    EXPECT_EQ(c.Transfer(s), c.Error == 0);
    EXPECT_EQ(s.LastError(), c.Error);
    if (c.Text) {
      EXPECT_EQ(SysErrorMessage(s.LastError()), Utf8ToWide(c.Text));
    }
    // Later successes do not hide an earlier refusal.
    if (c.Error != 0) {
      s.Seek(0, soCurrent);
      EXPECT_EQ(s.LastError(), c.Error);
    }
  }
  ::close(pipeFds[1]);
}

}  // namespace test_streams_tests
