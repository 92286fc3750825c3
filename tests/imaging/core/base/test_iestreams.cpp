// Imaging streams, copy and write helpers, temporary names, file-name helpers
// and the encoders, with ghostscript and base64 as independent decoders.
#include "imaging/core/base/iestreams.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "helpers_test_support.h"
#include "imaging/core/base/ieglobals.h"
#include "imaging/core/base/ieutils.h"
#include "platform/base/sysutils.h"
#include "tests/support/process.h"

namespace test_iestreams_tests {

namespace {

constexpr Word kCreate = 0xFFFF;
constexpr Word kReadDenyWrite = 0x20;

std::string ReadFile(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& name, const std::string& data) {
  std::ofstream f(name, std::ios::binary);
  f << data;
}

std::string MemText(TMemoryStream& s) { return std::string(static_cast<const char*>(s.Memory()), s.Size()); }

std::string RandomBytes(std::mt19937& gen, size_t n) {
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

// A source whose Size promises more than Read delivers.
class LyingStream : public TStream {
 public:
  int64_t Read(void* Buffer, int64_t Count) override {
    const int64_t n = std::min<int64_t>(Count, FReal - FPos);
    if (n <= 0) return 0;
    std::memset(Buffer, 7, static_cast<size_t>(n));
    FPos += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    FPos = Origin == soBeginning ? Offset : Origin == soCurrent ? FPos + Offset : 1000 + Offset;
    return FPos;
  }
  int64_t Size() override { return 1000; }

 private:
  int64_t FPos = 0;
  int64_t FReal = 100;
};

std::string ExceptionText(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return WideToUtf8(e.Message());
  }
  return "(no exception)";
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEWideFileStream

TEST(TIEWideFileStream, CreateWriteReopenRead) {
  ScopedTempDir tmp;
  const WideString name = tmp.WPath() + u"caf\u00e9 \u4e2d.bin";
  {
    TIEWideFileStream f(name, kCreate);
    EXPECT_EQ(f.Write("hello world", 11), 11);
    EXPECT_EQ(f.Size(), 11);
    EXPECT_EQ(f.Seek(6, soBeginning), 6);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5);  // create mode reads as well
    EXPECT_EQ(std::string(buf, 5), "world");
    f.SetSize(5);
    EXPECT_EQ(f.Size(), 5);
    EXPECT_EQ(f.Position(), 5);
  }
  EXPECT_EQ(ReadFile(tmp.Path() + "caf\xc3\xa9 \xe4\xb8\xad.bin"), "hello");
  {
    TIEWideFileStream f(name, kReadDenyWrite);
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 5);
    EXPECT_EQ(f.Write("x", 1), 0);  // read-only access
    EXPECT_EQ(f.Seek(-1, soEnd), 4);
    EXPECT_EQ(f.Seek(-10, soBeginning), -1);
  }
  {
    TIEWideFileStream f(name, 2);  // read and write, existing file kept
    EXPECT_EQ(f.Size(), 5);
    f.Seek(0, soEnd);
    f.WriteBuffer("!", 1);
  }
  EXPECT_EQ(ReadFile(tmp.Path() + "caf\xc3\xa9 \xe4\xb8\xad.bin"), "hello!");
  {
    TIEWideFileStream f(name, kCreate);  // empties it
    EXPECT_EQ(f.Size(), 0);
  }
}

TEST(TIEWideFileStream, FailuresNameTheFullPath) {
  ScopedTempDir tmp;
  const std::string dir = tmp.Path();
  // The reason is the system's own text for what went wrong.
  const std::string noFile = "No such file or directory", folder = "Is a directory";
  struct Case {
    WideString name;
    Word mode;
    std::string prefix, reason;
  } cases[] = {
      {Utf8ToWide(dir + "missing/x.bin"), kCreate, "Cannot create file \"" + dir + "missing/x.bin\". ", noFile},
      {Utf8ToWide(dir + "missing.bin"), kReadDenyWrite, "Cannot open file \"" + dir + "missing.bin\". ", noFile},
      {Utf8ToWide(dir + "a/../missing.bin"), 0, "Cannot open file \"" + dir + "missing.bin\". ", noFile},
      {Utf8ToWide(dir), 0, "Cannot open file \"" + dir, folder},
      {Utf8ToWide(dir), kReadDenyWrite, "Cannot open file \"" + dir, folder},
      {Utf8ToWide(dir), kCreate, "Cannot create file \"" + dir, folder},
  };
  for (const auto& c : cases) {
    const std::string msg = ExceptionText([&] { TIEWideFileStream f(c.name, c.mode); });
    EXPECT_EQ(msg.rfind(c.prefix, 0), 0u) << msg;
    EXPECT_GT(msg.size(), c.prefix.size()) << "the system's reason follows: " << msg;
    EXPECT_EQ(msg.substr(msg.size() - std::min(msg.size(), c.reason.size())), c.reason) << msg;
  }
  EXPECT_THROW(TIEWideFileStream(Utf8ToWide(dir + "missing/x.bin"), kCreate), EFCreateError);
  EXPECT_THROW(TIEWideFileStream(Utf8ToWide(dir + "missing.bin"), 0), EFOpenError);

  // Relative names are expanded from the current folder in the message.
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  const std::string rel = ExceptionText([] { TIEWideFileStream f(u"nothere.jpg", 0); });
  ASSERT_EQ(::chdir(old), 0);
  char real[4096];
  ASSERT_NE(::realpath(dir.c_str(), real), nullptr);
  EXPECT_NE(rel.find("\"" + std::string(real) + "/nothere.jpg\""), std::string::npos) << rel;

  // Invalid mode words fail like a missing file, even for an existing one.
  WriteFile(dir + "exists.bin", "x");
  for (Word mode : {Word(3), Word(0x50), Word(0xF2)})
    EXPECT_THROW(TIEWideFileStream(Utf8ToWide(dir + "exists.bin"), mode), EFOpenError) << mode;
  for (Word mode : {Word(0), Word(0x10), Word(0x40), Word(0x42)})
    EXPECT_NO_THROW(TIEWideFileStream(Utf8ToWide(dir + "exists.bin"), mode)) << mode;
  const std::string missing =
      "Cannot open file \"" + dir + "exists.bin\". " + WideToUtf8(SysErrorMessage(ENOENT));
  for (Word mode : {Word(3), Word(0x52)})
    EXPECT_EQ(ExceptionText([&] { TIEWideFileStream f(Utf8ToWide(dir + "exists.bin"), mode); }), missing) << mode;
  // Bits outside the access and sharing fields are ignored.
  for (Word mode : {Word(0x0104), Word(0x8028)}) {
    TIEWideFileStream f(Utf8ToWide(dir + "exists.bin"), mode);
    char c = 0;
    EXPECT_EQ(f.Read(&c, 1), 1) << mode;
    EXPECT_EQ(c, 'x') << mode;
  }
}

// The sharing of an open stream holds against later opens of the same file,
// and a create that loses leaves the file's bytes alone.
TEST(TIEWideFileStream, SharingHoldsWhileOpen) {
  ScopedTempDir tmp;
  const std::string path = tmp.Path() + "held.bin";
  const WideString name = Utf8ToWide(path);
  struct Case {
    Word holder, second;
    bool opens;
  } cases[] = {
      {kReadDenyWrite, kReadDenyWrite, true},  // readers share
      {kReadDenyWrite, 0x42, true},            // deny none asks for nothing
      {kReadDenyWrite, kCreate, false},
      {kReadDenyWrite, 0x21, false},  // a writer that denies writing
      {kCreate, kReadDenyWrite, false},
      {0x10, kReadDenyWrite, false},  // exclusive
  };
  for (const auto& c : cases) {
    WriteFile(path, "keep");
    {
      TIEWideFileStream held(name, c.holder);
      if (c.opens) {
        EXPECT_NO_THROW(TIEWideFileStream(name, c.second)) << c.holder << " " << c.second;
      } else if (c.second == kCreate) {
        EXPECT_THROW(TIEWideFileStream(name, c.second), EFCreateError) << c.holder;
      } else {
        EXPECT_THROW(TIEWideFileStream(name, c.second), EFOpenError) << c.holder << " " << c.second;
      }
    }
    if (c.holder != kCreate) {
      EXPECT_EQ(ReadFile(path), "keep") << c.holder << " " << c.second;
    }
    EXPECT_NO_THROW(TIEWideFileStream(name, c.second)) << "free again: " << c.holder << " " << c.second;
  }
}

// ---------------------------------------------------------------------------
// TIEMemStream

TEST(TIEMemStream, ReadsTheCallersBufferAndNeverChangesIt) {
  const char data[] = "0123456789";
  TIEMemStream s(data, 10);
  char buf[4];
  EXPECT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.Memory(), data);
  EXPECT_EQ(s.Write("xx", 2), 0);
  s.SetSize(2);
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(s.Position(), 4);
  EXPECT_STREQ(data, "0123456789");
  bool aborting = false;
  IESafeStreamWrite(&s, aborting, "x", 1);  // a writer sees the refusal
  EXPECT_TRUE(aborting);
}

// ---------------------------------------------------------------------------
// TIEBufferedReadStream

TEST(TIEBufferedReadStream, EdgeCases) {
  const char data[] = "ABCDEFGHIJ";
  TIEMemStream src(data, 10);
  TIEBufferedReadStream b(&src, 4, false);
  EXPECT_EQ(b.Size(), 10);
  std::string got;
  char c;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(b.Read(&c, 1), 1);
    got += c;
  }
  EXPECT_EQ(got, "ABCDEFGHIJ");
  EXPECT_EQ(b.Read(&c, 1), 0);
  EXPECT_TRUE(b.AtEnd());

  char buf[5];
  EXPECT_EQ(b.Seek(8, soBeginning), 8);
  EXPECT_FALSE(b.AtEnd());
  EXPECT_EQ(b.Read(buf, 5), 2);
  EXPECT_EQ(std::string(buf, 2), "IJ");
  EXPECT_TRUE(b.AtEnd());
  EXPECT_EQ(b.Seek(20, soBeginning), 10);
  EXPECT_TRUE(b.AtEnd());
  EXPECT_EQ(b.Seek(-5, soCurrent), 5);
  EXPECT_FALSE(b.AtEnd());
  EXPECT_EQ(b.Seek(-50, soCurrent), 0);
  EXPECT_EQ(b.Seek(0, soEnd), 10);
  EXPECT_EQ(b.Seek(-3, soEnd), 7);
  EXPECT_EQ(b.Read(buf, 0), 0);
  EXPECT_EQ(b.Read(buf, -1), 0);
  EXPECT_EQ(ExceptionText([&] { b.Write("x", 1); }), "TIEBufferedReadStream cannot write!");
}

TEST(TIEBufferedReadStream, RelativeModeCountsFromTheCreationPlace) {
  std::string data(300, '\0');
  for (int i = 0; i < 300; ++i) data[i] = static_cast<char>(i);
  TIEMemStream src(data.data(), 300);
  src.SetPosition(100);
  TIEBufferedReadStream b(&src, 16, true);
  EXPECT_EQ(b.Position(), 0);
  EXPECT_EQ(b.Size(), 200);
  Byte x;
  EXPECT_EQ(b.Seek(0, soBeginning), 0);
  ASSERT_EQ(b.Read(&x, 1), 1);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(b.Seek(50, soBeginning), 50);
  ASSERT_EQ(b.Read(&x, 1), 1);
  EXPECT_EQ(x, 150);
  // Never before the place it was created at.
  EXPECT_EQ(b.Seek(-10, soBeginning), 0);
  ASSERT_EQ(b.Read(&x, 1), 1);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(b.Seek(0, soEnd), 200);
}

TEST(TIEBufferedReadStream, SourceShorterThanItsSize) {
  LyingStream src;
  TIEBufferedReadStream b(&src, 64, false);
  std::vector<Byte> buf(1000, 0);
  EXPECT_EQ(b.Read(buf.data(), 1000), 100);  // never stale buffer bytes past what arrived
  EXPECT_TRUE(b.AtEnd());
}

// Random reads and seeks through the buffer give the same bytes and positions
// as the plain file stream with the same (clamped) moves.
TEST(TIEBufferedReadStream, MatchesAPlainFileStream) {
  ScopedTempDir tmp;
  std::mt19937 gen(1234);
  const int64_t size = 50000;
  WriteFile(tmp.Path() + "data.bin", RandomBytes(gen, size));
  const WideString name = tmp.WPath() + u"data.bin";
  for (bool relative : {false, true}) {
    const int64_t origin = relative ? 777 : 0;
    TIEWideFileStream source(name, kReadDenyWrite);
    TIEWideFileStream plain(name, kReadDenyWrite);
    source.Seek(origin, soBeginning);
    plain.Seek(origin, soBeginning);
    TIEBufferedReadStream b(&source, 1024, relative);
    std::vector<Byte> got(5000), want(5000);
    for (int op = 0; op < 10000; ++op) {
      const int kind = static_cast<int>(gen() % 4);
      if (kind < 2) {
        const int64_t n = kind == 0 ? 1 : static_cast<int64_t>(gen() % 3500);
        const int64_t r = b.Read(got.data(), n);
        const int64_t e = plain.Read(want.data(), n);
        ASSERT_EQ(r, e) << "op " << op;
        ASSERT_EQ(std::memcmp(got.data(), want.data(), static_cast<size_t>(r)), 0) << "op " << op;
        ASSERT_EQ(b.AtEnd(), r < n) << "op " << op;
      } else {
        const auto origins = std::array{soBeginning, soCurrent, soEnd};
        const TSeekOrigin o = origins[gen() % 3];
        const int64_t offset = static_cast<int64_t>(gen() % 60000) - 30000;
        const int64_t before = plain.Position();
        int64_t target = o == soBeginning ? origin + offset : o == soCurrent ? before + offset : size + offset;
        target = std::clamp<int64_t>(target, origin, size);
        ASSERT_EQ(b.Seek(offset, o), target - origin) << "op " << op;
        ASSERT_EQ(b.AtEnd(), target == size) << "op " << op;
        plain.Seek(target, soBeginning);
      }
      ASSERT_EQ(b.Position(), plain.Position() - origin) << "op " << op;
    }
  }
}

// ---------------------------------------------------------------------------
// Write and copy helpers

TEST(IESafeStreamWrite, ShortOrFailingWritesSetAborting) {
  TMemoryStream m;
  bool aborting = false;
  IESafeStreamWrite(&m, aborting, "abc", 3);
  EXPECT_FALSE(aborting);
  EXPECT_EQ(MemText(m), "abc");

  const char data[] = "x";
  TIEMemStream refuses(data, 1);
  IESafeStreamWrite(&refuses, aborting, "abc", 3);
  EXPECT_TRUE(aborting);
  IESafeStreamWrite(&m, aborting, "d", 1);  // never set back
  EXPECT_TRUE(aborting);

  TIEBufferedReadStream raises(&m, 4, false);
  bool a2 = false;
  EXPECT_NO_THROW(IESafeStreamWrite(&raises, a2, "x", 1));
  EXPECT_TRUE(a2);
}

TEST(IECopyFromStream, CountsAndBounds) {
  const std::string data = "0123456789";
  struct Case {
    int64_t startPos, count, copied;
    std::string out;
  } cases[] = {
      {4, 0, 10, "0123456789"},  // 0: the whole source from its start
      {2, 3, 3, "234"},          //
      {7, 100, 3, "789"},        // limited to what is left
      {10, 5, 0, ""},            //
      {3, -4, 0, ""},            //
  };
  for (const auto& c : cases) {
    TIEMemStream src(data.data(), 10);
    src.SetPosition(c.startPos);
    TMemoryStream dst;
    EXPECT_EQ(IECopyFromStream(&dst, &src, c.count), c.copied) << c.startPos << "/" << c.count;
    EXPECT_EQ(MemText(dst), c.out) << c.startPos << "/" << c.count;
  }
  LyingStream liar;
  TMemoryStream dst;
  EXPECT_THROW(IECopyFromStream(&dst, &liar, 0), EReadError);
  const char one[] = "abc";
  TIEMemStream src(one, 3);
  TIEMemStream full(one, 3);
  EXPECT_THROW(IECopyFromStream(&full, &src, 0), EWriteError);
}

TEST(IECopyFromStream, CopiesMoreThanFourGibibytesWorthOfCount) {
  // A 3 GiB sparse file (no disk blocks) into a counting sink: all of it
  // arrives, where a 32-bit count copies nothing or a truncated amount.
  // Holes read fastest from memory-backed /dev/shm, where they cost no memory.
  ScopedTempDir shm("/dev/shm");
  ScopedTempDir disk;
  const ScopedTempDir& tmp = shm.Ok() ? shm : disk;
  const std::string name = tmp.Path() + "sparse.bin";
  const int64_t size = int64_t{3} << 30;
  WriteFile(name, "");
  ASSERT_EQ(::truncate(name.c_str(), size), 0);
  TIEWideFileStream src(Utf8ToWide(name), kReadDenyWrite);
  src.Seek(12345, soBeginning);
  TNulStream sink;
  EXPECT_EQ(IECopyFromStream(&sink, &src, 0), size);
  EXPECT_EQ(sink.Size(), size);
  EXPECT_EQ(src.Position(), size);
}

TEST(IEWriteLineToStream, EndsWithCRLF) {
  TMemoryStream m;
  IEWriteLineToStream(&m, "abc");
  IEWriteLineToStream(&m, "");
  EXPECT_EQ(MemText(m), "abc\r\n\r\n");
}

// ---------------------------------------------------------------------------
// Temporary names and file-name helpers

namespace {

// Lead + 8 upper-case hexadecimal digits + ".tmp".
bool IsTempName(const WideString& Name, const std::string& Lead) {
  const std::string n = WideToUtf8(Name);
  if (n.size() != Lead.size() + 12 || n.compare(0, Lead.size(), Lead) != 0) return false;
  for (size_t i = Lead.size(); i < Lead.size() + 8; ++i)
    if (!((n[i] >= '0' && n[i] <= '9') || (n[i] >= 'A' && n[i] <= 'F'))) return false;
  return n.compare(Lead.size() + 8, 4, ".tmp") == 0;
}

}  // namespace

TEST(IETempNames, FormatFolderAndFreshness) {
  ScopedTempDir tmp;
  WideString name;
  IEMakeTempFileName(u"pre", tmp.WPath(), name);
  EXPECT_TRUE(IsTempName(name, tmp.Path() + "pre-")) << WideToUtf8(name);
  EXPECT_FALSE(IsTempName(u"/x/pre-0123456a.tmp", "/x/pre-"));
  EXPECT_FALSE(IEFileExistsW(name));

  const WideString saved = IETempFolder;
  IETempFolder = Utf8ToWide(tmp.Path().substr(0, tmp.Path().size() - 1));  // no trailing "/"
  IEGetTempFileName(name);
  IETempFolder = saved;
  EXPECT_TRUE(IsTempName(name, tmp.Path() + "ietemp-")) << WideToUtf8(name);

  IEGetTempFileName(name);  // the system's folder
  WideString folder;
  IEExtractFilePathW(name, folder);
  EXPECT_TRUE(IEDirectoryExists(folder)) << WideToUtf8(name);
  EXPECT_TRUE(IsTempName(name, WideToUtf8(folder) + "ietemp-")) << WideToUtf8(name);
}

TEST(IEFileNames, ExistsExtPathNameAndURLType) {
  ScopedTempDir tmp;
  WriteFile(tmp.Path() + "f.txt", "x");
  ASSERT_EQ(::symlink((tmp.Path() + "nowhere").c_str(), (tmp.Path() + "dangling").c_str()), 0);
  EXPECT_TRUE(IEFileExistsW(tmp.WPath() + u"f.txt"));
  EXPECT_TRUE(IEFileExists((tmp.WPath() + u"f.txt").c_str()));
  EXPECT_FALSE(IEFileExistsW(tmp.WPath()));
  EXPECT_FALSE(IEFileExistsW(tmp.WPath() + u"missing"));
  EXPECT_FALSE(IEFileExistsW(tmp.WPath() + u"dangling"));
  EXPECT_FALSE(IEFileExistsW(WideString()));
  EXPECT_FALSE(IEFileExists(nullptr));

  struct Ext {
    const char16_t* name;
    const char16_t* plain;
    const char16_t* dotted;
  } exts[] = {
      {u"/a/b.c/NAME.JPG", u"jpg", u".jpg"}, {u"noext", u"", u""},       {u"dir.d/file", u"", u""},
      {u"x.tar.GZ", u"gz", u".gz"},          {u"trailing.", u"", u"."}, {u".hidden", u"hidden", u".hidden"},
  };
  for (const auto& e : exts) {
    WideString r;
    IEExtractFileExt(e.name, false, r);
    EXPECT_EQ(r, e.plain) << WideToUtf8(e.name);
    IEExtractFileExtW(e.name, true, r);
    EXPECT_EQ(r, e.dotted) << WideToUtf8(e.name);
  }
  AnsiString a;
  IEExtractFileExtA("Photo.\xC9PS", true, a);  // 8-bit names keep their other bytes
  EXPECT_EQ(a, ".\xC9ps");

  struct Split {
    const char16_t* name;
    const char16_t* path;
    const char16_t* file;
  } splits[] = {
      {u"/home/u/a.jpg", u"/home/u/", u"a.jpg"}, {u"a.jpg", u"", u"a.jpg"}, {u"/", u"/", u""},
      {u"dir/", u"dir/", u""},                   {u"C:x.jpg", u"", u"C:x.jpg"},
  };
  for (const auto& s : splits) {
    WideString p, n;
    IEExtractFilePathW(s.name, p);
    IEExtractFileNameW(s.name, n);
    EXPECT_EQ(p, s.path) << WideToUtf8(s.name);
    EXPECT_EQ(n, s.file) << WideToUtf8(s.name);
  }

  const std::pair<const char16_t*, Integer> urls[] = {
      {u"http://x.org/a.jpg", 1}, {u"HTTPS://x", 2}, {u"http:/x", 0}, {u"FTP://", 3}, {u"file:///a", 0},
      {u"", 0},                   {u"ht", 0},        {u" http://x", 0}, {u"Https://", 2},
  };
  for (auto [text, type] : urls) EXPECT_EQ(IEGetURLType(text), type) << WideToUtf8(text);
}

// ---------------------------------------------------------------------------
// Encoders

namespace {

std::string A85(const std::string& in, int64_t* outCount = nullptr) {
  std::vector<Byte> out(in.size() / 4 * 5 + 5 + (in.size() / 4 * 5 + 5) / 75 * 2 + 4 + 16);
  const Byte* src = reinterpret_cast<const Byte*>(in.data());
  Byte* dst = out.data();
  int64_t count = 0;
  const int64_t n = IEASCII85Encode(src, static_cast<int64_t>(in.size()), dst, count);
  EXPECT_EQ(src, reinterpret_cast<const Byte*>(in.data()) + in.size());
  EXPECT_EQ(dst, out.data() + n);
  if (outCount) *outCount = count;
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(n));
}

std::string RLE(const std::string& in) {
  std::vector<Byte> out(in.size() + in.size() / 2 + 3);
  const int64_t n = IERunLengthEncode(reinterpret_cast<const Byte*>(in.data()), static_cast<int64_t>(in.size()),
                                      out.data());
  EXPECT_LE(n, static_cast<int64_t>(out.size()));
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(n));
}

std::string RunCommand(const std::string& command) {
  int status = -1;
  const std::string out = gt_test::Capture(command, &status);
  EXPECT_EQ(status, 0) << command << "\n" << out;
  return out;
}

}  // namespace

TEST(IEEncoders, ASCII85Cases) {
  int64_t count = 0;
  EXPECT_EQ(A85(std::string(4, '\0'), &count), "z~>\r\n");
  EXPECT_EQ(count, 1);
  EXPECT_EQ(A85(std::string(1, '\0'), &count), "!!~>\r\n");
  EXPECT_EQ(count, 2);
  EXPECT_EQ(A85(std::string(3, '\0')), "!!!!~>\r\n");  // a short zero group is not "z"
  EXPECT_EQ(A85("Man "), "9jqo^~>\r\n");
  EXPECT_EQ(A85(""), "~>\r\n");
  // Lines break after the group that takes them past 74 characters; the
  // terminator follows the last group on its line.
  const std::string text = A85(std::string(400, '\xff'), &count);
  EXPECT_EQ(count, 500);
  std::vector<std::string> lines;
  for (size_t start = 0, p; (p = text.find("\r\n", start)) != std::string::npos; start = p + 2)
    lines.push_back(text.substr(start, p - start));
  ASSERT_EQ(lines.size(), 7u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(lines[i].size(), 75u) << i;
  EXPECT_EQ(lines[6].size(), 52u);
  EXPECT_EQ(lines[6].substr(50), "~>");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(IEEncoders, RunLengthCases) {
  const struct {
    std::vector<Byte> in, out;
  } cases[] = {
      {Bytes({5, 5, 5}), Bytes({254, 5, 128})},
      {Bytes({1, 2, 3}), Bytes({2, 1, 2, 3, 128})},
      {Bytes({}), Bytes({128})},
      {Bytes({9}), Bytes({0, 9, 128})},
      {Bytes({1, 2, 2}), Bytes({1, 1, 2, 0, 2, 128})},
  };
  for (const auto& c : cases) {
    const std::string in(c.in.begin(), c.in.end());
    const std::string out = RLE(in);
    EXPECT_EQ(std::vector<Byte>(out.begin(), out.end()), c.out);
  }
  const std::string run = RLE(std::string(200, 'x'));  // runs are at most 128 long
  EXPECT_EQ(run, std::string("\x81x\xB9x\x80", 5));
  const std::string worst = RLE("abbccddeeffgghh");  // the longest output per byte
  EXPECT_LE(worst.size(), 15 + 15 / 2 + 3u);
}

// Ghostscript's ASCII85Decode and RunLengthDecode filters read back every
// buffer, one gs run for all of them.
TEST(IEEncoders, GhostscriptDecodesOurOutput) {
  if (::system("gs --version >/dev/null 2>&1") != 0) GTEST_FAIL() << "ghostscript (gs) is not installed";
  ScopedTempDir tmp;
  std::mt19937 gen(42);
  std::vector<std::string> inputs;
  std::ostringstream ps;
  ps << "/buf 65536 string def\n"
        "/copyall { /o exch def /s exch def\n"
        "  { s buf readstring exch o exch writestring not { exit } if } loop\n"
        "  o closefile s closefile } bind def\n";
  for (int i = 0; i < 200; ++i) {
    // Runs, noise, zero groups and odd lengths.
    std::string in;
    const size_t len = gen() % 3000;
    while (in.size() < len) {
      const int kind = gen() % 4;
      const size_t n = 1 + gen() % 300;
      if (kind == 0) in.append(n, static_cast<char>(gen() & 0xFF));
      else if (kind == 1) in.append(n, '\0');
      else in += RandomBytes(gen, n % 40 + 1);
    }
    in.resize(len);
    inputs.push_back(in);
    const std::string stem = tmp.Path() + std::to_string(i);
    WriteFile(stem + ".rla", A85(RLE(in)));
    WriteFile(stem + ".a85", A85(in));
    ps << "(" << stem << ".rla) (r) file /ASCII85Decode filter /RunLengthDecode filter (" << stem
       << ".rl.out) (w) file copyall\n";
    ps << "(" << stem << ".a85) (r) file /ASCII85Decode filter (" << stem << ".a.out) (w) file copyall\n";
  }
  WriteFile(tmp.Path() + "decode.ps", ps.str());
  RunCommand("gs -q -dNOSAFER -dNODISPLAY -dBATCH -dNOPAUSE " + tmp.Path() + "decode.ps 2>&1");
  for (int i = 0; i < 200; ++i) {
    const std::string stem = tmp.Path() + std::to_string(i);
    EXPECT_EQ(ReadFile(stem + ".rl.out"), inputs[i]) << "buffer " << i << " through RunLength and ASCII85";
    EXPECT_EQ(ReadFile(stem + ".a.out"), inputs[i]) << "buffer " << i << " through ASCII85";
  }
}

TEST(IEEncoders, Base64Lines) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"abc", "YWJj\n"},
      {"abcd", "YWJjZA==\n"},
      {"ab", "YWI=\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    TIEMemStream src(c.in.data(), static_cast<int64_t>(c.in.size()));
    TMemoryStream out;
    IEWriteBase64Text(&src, &out, 76);
    EXPECT_EQ(MemText(out), c.out) << c.in;
  }
  // 58 bytes: one line of 76 characters and one of 4.
  std::mt19937 gen(5);
  const std::string b58 = RandomBytes(gen, 58);
  TIEMemStream src(b58.data(), 58);
  TMemoryStream out;
  IEWriteBase64Text(&src, &out, 76);
  const std::string text = MemText(out);
  ASSERT_EQ(text.size(), 76 + 1 + 4 + 1u);
  EXPECT_EQ(text[76], '\n');
  EXPECT_EQ(text.substr(79), "==\n");  // 58 = 19 * 3 + 1: two characters and two "="

  // Only the rest of the stream from its position is encoded.
  const std::string abcdef = "xxabc";
  TIEMemStream part(abcdef.data(), 5);
  part.SetPosition(2);
  TMemoryStream o2;
  IEWriteBase64Text(&part, &o2, 8);
  EXPECT_EQ(MemText(o2), "YWJj\n");

  // A text file that takes nothing raises the input/output error.
  const char ro[] = "z";
  TIEMemStream refuses(ro, 1);
  TIEMemStream again(abcdef.data(), 5);
  EXPECT_THROW(IEWriteBase64Text(&again, &refuses, 76), EInOutError);
}

TEST(IEEncoders, Base64DecodesWithCoreutils) {
  if (::system("base64 --version >/dev/null 2>&1") != 0) GTEST_FAIL() << "base64 is not installed";
  ScopedTempDir tmp;
  std::mt19937 gen(99);
  for (size_t n : {0, 1, 2, 3, 4, 5, 56, 57, 58, 59, 100, 1000, 200000}) {
    for (Integer lineLength : {76, 4, 1, 64}) {
      const std::string in = RandomBytes(gen, n);
      TIEMemStream src(in.data(), static_cast<int64_t>(in.size()));
      TMemoryStream out;
      IEWriteBase64Text(&src, &out, lineLength);
      const std::string text = MemText(out);
      // Every line but the last holds ceil(LineLength / 4) groups.
      const size_t width = static_cast<size_t>((lineLength + 3) / 4 * 4);
      for (size_t start = 0, p; (p = text.find('\n', start)) != std::string::npos; start = p + 1) {
        if (p + 1 < text.size()) {
          EXPECT_EQ(p - start, width) << n << "/" << lineLength;
        }
      }
      WriteFile(tmp.Path() + "in.b64", text);
      RunCommand("base64 -d " + tmp.Path() + "in.b64 > " + tmp.Path() + "out.bin");
      EXPECT_EQ(ReadFile(tmp.Path() + "out.bin"), in) << n << " bytes, lines of " << lineLength;
    }
  }
}

}  // namespace test_iestreams_tests
