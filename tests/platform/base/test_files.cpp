#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/base/fileutils.h"
#include "scratch_dir.h"

namespace test_files_tests {

namespace fs = std::filesystem;

TEST(TempFiles, NamesNeverCollideAcrossThreads) {
  ScratchDir dir;
  const WideString folder = dir.Wide();
  std::mutex lock;
  std::vector<WideString> names;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      std::vector<WideString> mine;
      for (int i = 0; i < 1000; ++i) {
        WideString name;
        try {
          int fd = CreateTempFile(folder, u"ietemp-", u".tmp", name);
          ::close(fd);
          mine.push_back(name);
        } catch (const Exception&) {
          ++failures;
        }
      }
      std::lock_guard<std::mutex> g(lock);
      names.insert(names.end(), mine.begin(), mine.end());
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures, 0);
  std::set<WideString> unique(names.begin(), names.end());
  EXPECT_EQ(unique.size(), 8000u);
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path), fs::directory_iterator())), 8000u);
  // Shape of a name, and only the owner may read it.
  const WideString& sample = names.front();
  ASSERT_EQ(sample.size(), folder.size() + 7 + 8 + 4);
  EXPECT_EQ(sample.substr(folder.size(), 7), u"ietemp-");
  EXPECT_EQ(ExtractFileExt(sample), u".tmp");
  struct stat st {};
  ASSERT_EQ(::stat(WideToUtf8(sample).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(TempFiles, FailuresRaiseAndNamelessFilesLeaveNoEntry) {
  ScratchDir dir;
  WideString name;
  EXPECT_THROW(CreateTempFile(dir.Wide() + u"missing/", u"x", u".tmp", name), EFCreateError);
  int fd = CreateUnnamedTempFile(dir.Wide());
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::write(fd, "data", 4), 4);
  char back[4] = {};
  EXPECT_EQ(::pread(fd, back, 4, 0), 4);
  EXPECT_EQ(std::string(back, 4), "data");
  EXPECT_TRUE(fs::is_empty(dir.Path));
  ::close(fd);
  EXPECT_THROW(CreateUnnamedTempFile(dir.Wide() + u"missing"), EFCreateError);
  const WideString tmp = GetTempDir();
  EXPECT_EQ(tmp.back(), u'/');
  EXPECT_TRUE(DirectoryExists(tmp));
}

TEST(Paths, SplittingAndJoining) {
  struct Case { WideString name, path, file, ext, jpg; };
  const Case cases[] = {
      {u"/a/b.c/d", u"/a/b.c/", u"d", u"", u"/a/b.c/d.jpg"},  // a dot in a folder does not count
      {u"/a/b/file.tar.gz", u"/a/b/", u"file.tar.gz", u".gz", u"/a/b/file.tar.jpg"},
      {u"noext", u"", u"noext", u"", u"noext.jpg"},
      {u"/a/b/", u"/a/b/", u"", u"", u"/a/b/.jpg"},
      {u"pic.JPG", u"", u"pic.JPG", u".JPG", u"pic.jpg"},
      {u"/x/\u0416.png", u"/x/", u"\u0416.png", u".png", u"/x/\u0416.jpg"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << WideToUtf8(c.name);
    EXPECT_EQ(ExtractFileName(c.name), c.file) << WideToUtf8(c.name);
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << WideToUtf8(c.name);
    EXPECT_EQ(ChangeFileExt(c.name, u".jpg"), c.jpg) << WideToUtf8(c.name);
  }
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"/a"), u"/a/");
  EXPECT_EQ(IncludeTrailingPathDelimiter(u"/a/"), u"/a/");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/a/"), u"/a");
  EXPECT_EQ(ExcludeTrailingPathDelimiter(u"/"), u"/");

  const WideString cwd = GetCurrentDir();
  struct Expand { WideString in, out; };
  const Expand expands[] = {
      {u"/a/./b/../c", u"/a/c"}, {u"/..", u"/"}, {u"//a//b/", u"/a/b/"}, {u"/a/b/..", u"/a"},
      {u"rel/x", cwd + u"/rel/x"}, {u".", cwd}, {u"", u""},
  };
  for (const auto& e : expands) EXPECT_EQ(ExpandFileName(e.in), e.out) << WideToUtf8(e.in);
}

TEST(Files, ExistenceSizeAndAttributes) {
  ScratchDir dir;
  const WideString d = dir.Wide();
  std::ofstream(dir.Path + "/plain") << "12345";
  std::ofstream(dir.Path + "/.hidden") << "x";
  std::ofstream(dir.Path + "/\xD0\x96\xF0\x9F\x98\x80.txt") << "wide";
  fs::create_directory(dir.Path + "/sub");
  fs::create_symlink(dir.Path + "/sub", dir.Path + "/link");
  {
    // 5 GiB without writing them: sizes beyond 32 bits.
    int fd = ::open((dir.Path + "/big").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, int64_t(5) << 30), 0);
    ::close(fd);
  }
  struct Case { WideString name; bool file, folder; int64_t size; Integer attr; };
  const Case cases[] = {
      {u"plain", true, false, 5, faNormal},
      {u".hidden", true, false, 1, faHidden},
      {u"\u0416\U0001F600.txt", true, false, 4, faNormal},
      {u"sub", false, true, -1, faDirectory},
      {u"link", false, true, -1, faDirectory | faSymLink},
      {u"big", true, false, int64_t(5) << 30, faNormal},
      {u"missing", false, false, -1, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    EXPECT_EQ(FileExists(d + c.name), c.file);
    EXPECT_EQ(DirectoryExists(d + c.name), c.folder);
    EXPECT_EQ(GetFileSize(d + c.name), c.size);
    EXPECT_EQ(FileGetAttr(d + c.name), c.attr);
  }
  if (geteuid() != 0) {  // root may write anything, so read-only shows only for others
    ::chmod((dir.Path + "/plain").c_str(), 0444);
    EXPECT_EQ(FileGetAttr(d + u"plain"), faReadOnly);
  }
  EXPECT_FALSE(FileExists(u""));
}

TEST(Files, FoldersDeletingAndRenaming) {
  ScratchDir dir;
  const WideString d = dir.Wide();
  EXPECT_TRUE(ForceDirectories(d + u"x/y/z/"));
  EXPECT_TRUE(DirectoryExists(d + u"x/y/z"));
  EXPECT_TRUE(ForceDirectories(d + u"x/y"));  // already there
  EXPECT_THROW(ForceDirectories(u""), EInOutError);
  std::ofstream(dir.Path + "/file") << "a";
  EXPECT_FALSE(ForceDirectories(d + u"file/sub"));  // a file stands in the way
  EXPECT_FALSE(CreateDir(d + u"x"));
  EXPECT_TRUE(CreateDir(d + u"w"));

  std::ofstream(dir.Path + "/other") << "b";
  EXPECT_FALSE(RenameFile(d + u"file", d + u"other"));  // no silent replacement
  EXPECT_EQ(GetFileSize(d + u"other"), 1);
  EXPECT_TRUE(RenameFile(d + u"file", d + u"other", true));
  EXPECT_FALSE(FileExists(d + u"file"));
  EXPECT_TRUE(RenameFile(d + u"other", d + u"\u0416"));
  EXPECT_TRUE(FileExists(d + u"\u0416"));

  EXPECT_FALSE(DeleteFile(d + u"x"));  // folders are not files
  EXPECT_TRUE(DirectoryExists(d + u"x"));
  EXPECT_TRUE(DeleteFile(d + u"\u0416"));
  EXPECT_FALSE(DeleteFile(d + u"\u0416"));
}

}  // namespace test_files_tests
