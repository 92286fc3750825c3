// The source export of a saved picture: the Pascal and C forms compile with
// the real compilers and reproduce the bytes, the Base64 form decodes with
// the system's decoder, and the character picture maps grey levels to its
// ramp.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "dispatch_test_util.h"
#include "imaging/io/iesourceexport.h"

namespace test_source_export_tests {

using namespace dispatch_test;
using io_test::Bytes;
using io_test::ReadFile;
using io_test::Shell;
using io_test::TempDir;
using io_test::WriteFile;

namespace {

using gt_test::HaveTool;

std::vector<std::string> Lines(const Bytes& Text) {
  std::vector<std::string> r;
  std::string cur;
  for (Byte b : Text) {
    if (b == '\n') {
      if (!cur.empty() && cur.back() == '\r') cur.pop_back();
      r.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(static_cast<char>(b));
    }
  }
  EXPECT_TRUE(cur.empty()) << "text does not end with a line break";
  return r;
}

class SourceExport : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    plugin = std::make_unique<TFakePlugIn>();
    ASSERT_TRUE(io.IEBitmap()->Allocate(31, 3, ie24RGB));  // 9 + 279 bytes: many lines, every byte value
    for (Integer y = 0; y < 3; ++y)
      for (Integer x = 0; x < 93; ++x)
        static_cast<Byte*>(io.IEBitmap()->GetScanline(y))[x] = static_cast<Byte>(y * 93 + x);
    TMemoryStream s;
    io.SaveToStream(&s, 4100);
    ASSERT_FALSE(io.Aborting());
    saved = StreamBytes(s);
    ASSERT_EQ(mkdir(dir.File("sub.dir").c_str(), 0755), 0);
  }
  void TearDown() override {
    plugin.reset();
    RegistryTest::TearDown();
  }
  std::unique_ptr<TFakePlugIn> plugin;
  TZiduzUvIO io{nullptr};
  Bytes saved;
  TempDir dir;
};

TEST(SourceArrayName, IdentifierFromTheBaseName) {
  struct TCase {
    const char16_t* File;
    const char* Want;
  } cases[] = {
      {u"/home/u.v/a_b.jpg", "a_b_jpg"},  {u"pic.inc", "pic_inc"},
      {u"my-pic.2.inc", "my_pic_2_inc"},  {u"2pic.h", "_2pic_h"},
      {u"/tmp/\u00e9t\u00e9.h", "_t__h"}, {u"plain", "plain"},
  };
  for (const TCase& c : cases) EXPECT_EQ(IESourceArrayName(c.File), c.Want) << c.Want;
}

TEST_F(SourceExport, PascalCompilesAndReproducesTheBytes) {
  const std::string inc = dir.File("sub.dir/my-pic.2.inc");
  io.ExportSourceArray(Utf8ToWide(inc), 4100, 0);
  ASSERT_FALSE(io.Aborting());
  EXPECT_EQ(io.Params().FILENAME, Utf8ToWide(inc));
  const std::vector<std::string> lines = Lines(ReadFile(inc));
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "const");
  EXPECT_EQ(lines[1], "  my_pic_2_inc_Size = 288;");
  EXPECT_EQ(lines[2], "  my_pic_2_inc : array [0..my_pic_2_inc_Size-1] of byte = (");
  EXPECT_EQ(lines[3].substr(0, 13), "    $47,$54,$");  // "GT"
  EXPECT_EQ(lines.back().substr(lines.back().size() - 2), ");");
  for (size_t i = 3; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 4u + 72u) << i;  // 18 items of 4

  ASSERT_TRUE(HaveTool("fpc")) << "fpc is not installed";
  WriteFile(dir.File("sub.dir/prog.pas"),
            io_test::Str("program prog;\n{$I 'my-pic.2.inc'}\nvar f: file;\nbegin\n  Assign(f, 'out.bin');\n"
                         "  Rewrite(f, 1);\n  BlockWrite(f, my_pic_2_inc, my_pic_2_inc_Size);\n  Close(f);\nend.\n"));
  ASSERT_EQ(Shell("cd '" + dir.File("sub.dir") + "' && fpc -v0 prog.pas >fpc.log 2>&1 && ./prog"), 0)
      << std::string(reinterpret_cast<const char*>(ReadFile(dir.File("sub.dir/fpc.log")).data()),
                     ReadFile(dir.File("sub.dir/fpc.log")).size());
  EXPECT_EQ(ReadFile(dir.File("sub.dir/out.bin")), saved);
}

TEST_F(SourceExport, CCompilesAndReproducesTheBytes) {
  const std::string header = dir.File("sub.dir/pic.h");
  io.ExportSourceArray(Utf8ToWide(header), 4100, 1);
  ASSERT_FALSE(io.Aborting());
  const std::vector<std::string> lines = Lines(ReadFile(header));
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "// Size=288");
  EXPECT_EQ(lines[1], "const unsigned char pic_h[288] = {");
  EXPECT_EQ(lines[2].substr(0, 10), "0x47,0x54,");
  EXPECT_EQ(lines.back(), "};");
  EXPECT_NE(lines[lines.size() - 2].back(), ',');

  ASSERT_TRUE(HaveTool("gcc")) << "gcc is not installed";
  WriteFile(dir.File("sub.dir/prog.c"),
            io_test::Str("#include <stdio.h>\n#include \"pic.h\"\nint main(void) {\n"
                         "  FILE* f = fopen(\"out.bin\", \"wb\");\n"
                         "  if (!f || fwrite(pic_h, 1, sizeof pic_h, f) != sizeof pic_h) return 1;\n"
                         "  return fclose(f) != 0;\n}\n"));
  ASSERT_EQ(Shell("cd '" + dir.File("sub.dir") + "' && gcc -std=c99 -pedantic -Wall -Werror prog.c -o prog && ./prog"),
            0);
  EXPECT_EQ(ReadFile(dir.File("sub.dir/out.bin")), saved);
}

TEST_F(SourceExport, Base64DecodesWithTheSystemDecoder) {
  const std::string text = dir.File("pic.b64");
  io.ExportSourceArray(Utf8ToWide(text), 4100, 2);
  ASSERT_FALSE(io.Aborting());
  for (const std::string& l : Lines(ReadFile(text))) EXPECT_LE(l.size(), 76u);
  ASSERT_EQ(Shell("base64 -d '" + text + "' > '" + dir.File("out.bin") + "'"), 0);
  EXPECT_EQ(ReadFile(dir.File("out.bin")), saved);
}

TEST_F(SourceExport, CharacterPicture) {
  ASSERT_TRUE(io.IEBitmap()->Allocate(4, 2, ie24RGB));
  const TRGB row0[4] = {{255, 255, 255}, {0, 0, 0}, {128, 128, 128}, {0, 0, 255}};  // blue, green, red
  std::memcpy(io.IEBitmap()->GetScanline(0), row0, sizeof row0);
  std::memset(io.IEBitmap()->GetScanline(1), 255, 12);
  const std::string path = dir.File("pic.txt");
  io.ExportSourceArray(Utf8ToWide(path), 0, 3);
  ASSERT_FALSE(io.Aborting());
  // White is a blank, black the darkest character, mid grey the middle of the ramp.
  EXPECT_EQ(ReadFile(path), io_test::Str(" W+@\r\n    \r\n"));

  ASSERT_TRUE(io.IEBitmap()->Allocate(1, 1, ie24RGB));
  std::memset(io.IEBitmap()->GetScanline(0), 255, 3);
  io.ExportSourceArray(Utf8ToWide(path), 0, 3);
  EXPECT_EQ(ReadFile(path), io_test::Str(" \r\n"));
}

// When there is nothing to export the text file is not touched.
TEST_F(SourceExport, NothingToExportLeavesTheFileAlone) {
  const std::string path = dir.File("keep.txt");
  struct TCase {
    const char* Name;
    TIEFileType FileType;
    Integer Language;
    TIEPixelFormat PF;
  } cases[] = {
      {"format without a writer", 4999, 0, ie24RGB},
      {"character picture of a grey picture", 0, 3, ie8g},
      {"unknown language", 4100, 7, ie24RGB},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFile(path, io_test::Str("KEEP"));
    io.Params().FILENAME = u"before";
    ASSERT_TRUE(io.IEBitmap()->Allocate(2, 2, c.PF));
    io.SetAborting(false);
    io.ExportSourceArray(Utf8ToWide(path), c.FileType, c.Language);
    EXPECT_TRUE(io.Aborting());
    EXPECT_EQ(ReadFile(path), io_test::Str("KEEP"));
    EXPECT_EQ(io.Params().FILENAME, u"before");
  }
}

}  // namespace

}  // namespace test_source_export_tests
