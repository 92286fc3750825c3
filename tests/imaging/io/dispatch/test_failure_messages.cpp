// A failed load or save says why: a file that cannot be opened or created
// raises the file stream's error to the caller; every refusal that may not
// raise (unknown format, a reader not built, content nobody recognises, a
// reader that failed) leaves its reason in the imaging library's debug log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "dispatch_test_util.h"
#include "imaging/core/base/iestartup.h"

namespace test_failure_messages_tests {

using namespace dispatch_test;
using io_test::TempDir;

namespace {

WideString Wide(const std::string& S) { return Utf8ToWide(S); }

// Points the debug log at a file of its own for one test.
class DebugLog {
 public:
  explicit DebugLog(const std::string& Path) : FPath(Path), FSaved(IEDebugLogFile) { IEDebugLogFile = Wide(Path); }
  ~DebugLog() { IEDebugLogFile = FSaved; }
  std::string Take() {
    const io_test::Bytes b = io_test::ReadFile(FPath);
    ::unlink(FPath.c_str());
    return std::string(b.begin(), b.end());
  }

 private:
  std::string FPath;
  WideString FSaved;
};

void ThrowingRead(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool) {
  throw EReadError("Stream read error: the device went away");
}

struct TCase {
  const char* Name;
  std::function<void(TZiduzUvIO&)> Do;
  const char* Raised;  // text the exception carries, or nil: nothing raises
  const char* Logged;  // text the debug log holds afterwards, or nil
};

void Check(const TCase& c, DebugLog& Log) {
  SCOPED_TRACE(c.Name);
  TZiduzUvIO io(nullptr);
  io.IEBitmap()->Allocate(2, 2, ie24RGB);
  io.SetAborting(false);
  std::string raised;
  try {
    c.Do(io);
  } catch (const Exception& e) {
    raised = e.what();
  }
  EXPECT_TRUE(io.Aborting());
  if (c.Raised) {
    EXPECT_NE(raised.find(c.Raised), std::string::npos) << "raised: \"" << raised << "\"";
  } else {
    EXPECT_EQ(raised, "");
  }
  const std::string log = Log.Take();
  if (c.Logged) {
    EXPECT_NE(log.find(c.Logged), std::string::npos) << "log: \"" << log << "\"";
  }
}

TEST_F(RegistryTest, FailedLoadsSayWhy) {
  TempDir dir;
  DebugLog log(dir.File("debug.log"));
  const std::string missing = dir.File("missing.jpg");
  const std::string unknown = dir.File("notes.xyz"), tiff = dir.File("scan.tif"), folder = dir.File("folder.png");
  io_test::WriteFile(unknown, io_test::Str("plain text, no picture"));
  io_test::WriteFile(tiff, io_test::Zeros(64));
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  auto entry = std::make_unique<TIEFileFormatInfo>();
  entry->FileType = 4110;
  entry->FullName = u"Raising format";
  entry->Extensions = u"GTRX";
  entry->ReadRoutine = ThrowingRead;
  IERegisterFormat(std::move(entry));
  const std::string raising = dir.File("a.gtrx");
  io_test::WriteFile(raising, io_test::Zeros(16));

  const std::string noSuchFile = "Cannot open file \"" + missing + "\". No such file or directory";
  const TCase cases[] = {
      {"missing file by extension", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(missing)); }, noSuchFile.c_str(),
       nullptr},
      {"missing file by id", [&](TZiduzUvIO& io) { io.LoadFromFileFormat(Wide(missing), ieftPNG); },
       "No such file or directory", nullptr},
      // A folder cannot be read as a file, whoever runs the test (root reads
      // any file, so a permission test proves nothing there).
      {"a folder named like a picture", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(folder)); }, "Is a directory",
       nullptr},
      {"unknown extension", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(unknown)); }, nullptr,
       "notes.xyz\": unknown file format (extension \".xyz\")"},
      {"format whose reader is not built",
       [&](TZiduzUvIO& io) {
         // The row keeps its registry entry while its codec is taken away.
         TCodecScope none(ieftTIFF, {});
         io.LoadFromFile(Wide(tiff));
       },
       nullptr,
       "scan.tif\": TIFF cannot be read: its reader is not built"},
      {"stream of unknown content",
       [](TZiduzUvIO& io) {
         TMemoryStream s;
         io_test::Fill(s, io_test::Str("plain text, no picture"));
         io.LoadFromStream(&s);
       },
       nullptr, "the stream: unknown file format"},
      {"reader that raised", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(raising)); }, nullptr,
       "the reader failed: Stream read error: the device went away"},
      {"parameters of a missing file", [&](TZiduzUvIO& io) { io.ReadParamsFromFileFormat(Wide(missing), ieftJPEG); },
       nullptr, noSuchFile.c_str()},
      {"save as a format whose writer is not built",
       [&](TZiduzUvIO& io) {
         TCodecScope none(ieftTGA, {});
         io.SaveToFile(Wide(dir.File("a.tga")));
       },
       nullptr, "Targa Bitmap cannot be written: its writer is not built"},
      {"save into a missing folder",
       [&](TZiduzUvIO& io) { io.SaveToFile(Wide(dir.File("no/such/folder/a.png"))); }, "Cannot create file", nullptr},
  };
  for (const TCase& c : cases) Check(c, log);
  IEUnregisterFormat(4110);
}

// Where a user can read the file, whoever that user is, an unreadable one is
// refused with the system's reason.
TEST_F(RegistryTest, AFileWithoutReadPermissionSaysSo) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads any file; the folder case covers this";
  TempDir dir;
  DebugLog log(dir.File("debug.log"));
  const std::string locked = dir.File("locked.png");
  io_test::WriteFile(locked, io_test::Zeros(64));
  ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
  Check({"no read permission", [&](TZiduzUvIO& io) { io.LoadFromFile(Wide(locked)); }, "Permission denied", nullptr},
      log);
}

}  // namespace

}  // namespace test_failure_messages_tests
