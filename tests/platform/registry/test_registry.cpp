// TRegistry as the program uses it: typed values, read errors, key paths,
// deletion and read-only access.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "registry_fixture.h"

namespace test_registry_tests {

using regtest::RegistryTest;

namespace {

// Message of the ERegistryException that Fn raises, or "" when it raises none.
std::string RegistryError(const std::function<void()>& Fn) {
  try {
    Fn();
  } catch (const ERegistryException& e) {
    const Exception& base = e;  // readers' failures are caught as Exception by callers
    return WideToUtf8(base.Message());
  }
  return "";
}

uint64_t Bits(double D) {
  uint64_t b;
  std::memcpy(&b, &D, sizeof b);
  return b;
}

}  // namespace

TEST_F(RegistryTest, EveryTypeRoundTripsThroughTheFile) {
  const std::vector<Byte> withZeros = {0, 1, 0, 0, 255, 0};
  struct Case {
    const char* name;
    std::function<void(TRegistry&, const WideString&)> write;
    std::function<void(TRegistry&, const WideString&)> check;
    TRegDataType type;
    Integer size;
  };
  const WideString nonBmp = W("Grüße Ж 😀 你好");
  const WideString loneSurrogate = WideString(u"a") + char16_t(0xD800) + u"b";
  const Case cases[] = {
      {"ascii string", [](TRegistry& r, const WideString& n) { r.WriteString(n, W("/home/user/Bilder")); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadString(n), W("/home/user/Bilder")); },
       rdString, 18 * 2},
      {"empty string", [](TRegistry& r, const WideString& n) { r.WriteString(n, W("")); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadString(n), W("")); }, rdString, 2},
      {"non-BMP string", [&](TRegistry& r, const WideString& n) { r.WriteString(n, nonBmp); },
       [&](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadString(n), nonBmp); }, rdString,
       static_cast<Integer>(nonBmp.size() + 1) * 2},
      {"lone surrogate and quotes", [&](TRegistry& r, const WideString& n) { r.WriteString(n, loneSurrogate + u"\"\\\n"); },
       [&](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadString(n), loneSurrogate + u"\"\\\n"); },
       rdString, 7 * 2},
      {"expand string", [](TRegistry& r, const WideString& n) { r.WriteExpandString(n, W("%HOME%/x")); },
       [](TRegistry& r, const WideString& n) {
         EXPECT_EQ(r.ReadExpandString(n), W("%HOME%/x"));
         EXPECT_EQ(r.ReadString(n), W("%HOME%/x"));
       },
       rdExpandString, 9 * 2},
      {"integer", [](TRegistry& r, const WideString& n) { r.WriteInteger(n, 0xA0A0A0); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadInteger(n), 0xA0A0A0); }, rdInteger, 4},
      {"integer minimum", [](TRegistry& r, const WideString& n) { r.WriteInteger(n, std::numeric_limits<Integer>::min()); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadInteger(n), std::numeric_limits<Integer>::min()); },
       rdInteger, 4},
      {"integer -1", [](TRegistry& r, const WideString& n) { r.WriteInteger(n, -1); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(r.ReadInteger(n), -1); }, rdInteger, 4},
      {"bool true is integer 1", [](TRegistry& r, const WideString& n) { r.WriteBool(n, true); },
       [](TRegistry& r, const WideString& n) {
         EXPECT_TRUE(r.ReadBool(n));
         EXPECT_EQ(r.ReadInteger(n), 1);
       },
       rdInteger, 4},
      {"bool false is integer 0", [](TRegistry& r, const WideString& n) { r.WriteBool(n, false); },
       [](TRegistry& r, const WideString& n) {
         EXPECT_FALSE(r.ReadBool(n));
         EXPECT_EQ(r.ReadInteger(n), 0);
       },
       rdInteger, 4},
      {"float", [](TRegistry& r, const WideString& n) { r.WriteFloat(n, 0.1); },
       [](TRegistry& r, const WideString& n) {
         EXPECT_EQ(Bits(r.ReadFloat(n)), Bits(0.1));
         Byte raw[8];
         ASSERT_EQ(r.ReadBinaryData(n, raw, 8), 8);  // stored as the double's own bytes
         double d;
         std::memcpy(&d, raw, 8);
         EXPECT_EQ(Bits(d), Bits(0.1));
       },
       rdBinary, 8},
      {"float negative zero", [](TRegistry& r, const WideString& n) { r.WriteFloat(n, -0.0); },
       [](TRegistry& r, const WideString& n) { EXPECT_EQ(Bits(r.ReadFloat(n)), Bits(-0.0)); }, rdBinary, 8},
      {"float NaN", [](TRegistry& r, const WideString& n) { r.WriteFloat(n, std::nan("")); },
       [](TRegistry& r, const WideString& n) { EXPECT_TRUE(std::isnan(r.ReadFloat(n))); }, rdBinary, 8},
      {"date and time", [](TRegistry& r, const WideString& n) { r.WriteDateTime(n, 45123.75); },
       [](TRegistry& r, const WideString& n) {
         EXPECT_EQ(r.ReadDateTime(n), 45123.75);
         EXPECT_EQ(r.ReadFloat(n), 45123.75);
       },
       rdBinary, 8},
      {"binary with zero bytes", [&](TRegistry& r, const WideString& n) { r.WriteBinaryData(n, withZeros.data(), 6); },
       [&](TRegistry& r, const WideString& n) {
         std::vector<Byte> back(10, 0xEE);
         ASSERT_EQ(r.ReadBinaryData(n, back.data(), 10), 6);
         EXPECT_EQ(std::vector<Byte>(back.begin(), back.begin() + 6), withZeros);
         EXPECT_EQ(back[6], 0xEE);  // nothing written past the data
       },
       rdBinary, 6},
      {"empty binary", [](TRegistry& r, const WideString& n) { r.WriteBinaryData(n, nullptr, 0); },
       [](TRegistry& r, const WideString& n) {
         Byte b = 7;
         EXPECT_EQ(r.ReadBinaryData(n, &b, 1), 0);
         EXPECT_EQ(b, 7);
       },
       rdBinary, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WideString name = W(c.name);
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(W("\\Software\\Types"), true));
      c.write(reg, name);
      EXPECT_EQ(reg.GetDataType(name), c.type);
      EXPECT_EQ(reg.GetDataSize(name), c.size);
      c.check(reg, name);
    }
    // A copy of the file read by a registry that has never seen this process's
    // writes: the value came through the file.
    std::filesystem::copy_file(File, Dir / "copy.json", std::filesystem::copy_options::overwrite_existing);
    const auto original = File;
    UseFile("copy.json");
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKeyReadOnly(W("\\Software\\Types")));
      EXPECT_EQ(reg.GetDataType(name), c.type);
      EXPECT_EQ(reg.GetDataSize(name), c.size);
      c.check(reg, name);
    }
    UseFile(original.filename().string());
    std::filesystem::remove(Dir / "copy.json");
  }
}

TEST_F(RegistryTest, MissingAndWronglyTypedValuesRaise) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(W("\\Software\\Errors"), true));
    reg.WriteString(W("Text"), W("abc"));
    reg.WriteInteger(W("Number"), 5);
    Byte four[4] = {1, 2, 3, 4};
    reg.WriteBinaryData(W("Four"), four, 4);
    reg.WriteBinaryData(W("Nothing"), nullptr, 0);
  }
  struct Case {
    const char* what;
    std::function<void(TRegistry&)> call;
    const char* error;  // "" when the call must not raise
  };
  Byte buffer[16];
  const Case cases[] = {
      {"integer missing", [](TRegistry& r) { r.ReadInteger(W("Nope")); }, "Failed to get data for 'Nope'"},
      {"integer from text", [](TRegistry& r) { r.ReadInteger(W("Text")); }, "Invalid data type for 'Text'"},
      {"integer from binary", [](TRegistry& r) { r.ReadInteger(W("Four")); }, "Invalid data type for 'Four'"},
      {"bool missing", [](TRegistry& r) { r.ReadBool(W("Nope")); }, "Failed to get data for 'Nope'"},
      {"bool from text", [](TRegistry& r) { r.ReadBool(W("Text")); }, "Invalid data type for 'Text'"},
      {"text from integer", [](TRegistry& r) { r.ReadString(W("Number")); }, "Invalid data type for 'Number'"},
      {"expand text from binary", [](TRegistry& r) { r.ReadExpandString(W("Four")); }, "Invalid data type for 'Four'"},
      {"float missing", [](TRegistry& r) { r.ReadFloat(W("Nope")); }, "Failed to get data for 'Nope'"},
      {"float from integer", [](TRegistry& r) { r.ReadFloat(W("Number")); }, "Invalid data type for 'Number'"},
      {"float from 4 bytes", [](TRegistry& r) { r.ReadFloat(W("Four")); }, "Invalid data type for 'Four'"},
      {"date missing", [](TRegistry& r) { r.ReadDateTime(W("Nope")); }, "Failed to get data for 'Nope'"},
      {"binary from text", [&](TRegistry& r) { r.ReadBinaryData(W("Text"), buffer, 16); }, "Invalid data type for 'Text'"},
      {"binary too large for buffer", [&](TRegistry& r) { r.ReadBinaryData(W("Four"), buffer, 3); },
       "Invalid data type for 'Four'"},
      // As the class library: a missing text reads as empty, a missing binary as 0
      // bytes, and an empty binary value as an empty text.
      {"text missing", [](TRegistry& r) { EXPECT_EQ(r.ReadString(W("Nope")), W("")); }, ""},
      {"binary missing", [&](TRegistry& r) { EXPECT_EQ(r.ReadBinaryData(W("Nope"), buffer, 16), 0); }, ""},
      {"text from empty binary", [](TRegistry& r) { EXPECT_EQ(r.ReadString(W("Nothing")), W("")); }, ""},
  };
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(W("\\Software\\Errors"), false));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RegistryError([&] { c.call(reg); }), c.error);
  }
  EXPECT_EQ(reg.GetDataType(W("Nope")), rdUnknown);
  EXPECT_EQ(reg.GetDataSize(W("Nope")), -1);
  TRegDataInfo info;
  EXPECT_FALSE(reg.GetDataInfo(W("Nope"), info));
  EXPECT_TRUE(reg.GetDataInfo(W("Four"), info));
  EXPECT_EQ(info.RegData, rdBinary);
  EXPECT_EQ(info.DataSize, 4);

  // With no key open there is nothing to read or write.
  reg.CloseKey();
  EXPECT_EQ(RegistryError([&] { reg.ReadInteger(W("Number")); }), "Failed to get data for 'Number'");
  EXPECT_EQ(RegistryError([&] { reg.WriteInteger(W("Number"), 1); }), "Failed to set data for 'Number'");
  EXPECT_FALSE(reg.ValueExists(W("Number")));
}

TEST_F(RegistryTest, PathsAreAbsoluteOrRelativeAndNamesIgnoreCase) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(W("\\Software\\Brenhold"), true));
  EXPECT_EQ(reg.CurrentPath(), W("Software\\Brenhold"));
  // Relative to the open key.
  ASSERT_TRUE(reg.OpenKey(W("Gimro-Tal\\3.0"), true));
  EXPECT_EQ(reg.CurrentPath(), W("Software\\Brenhold\\Gimro-Tal\\3.0"));
  reg.WriteInteger(W("JPEG_Q"), 90);
  reg.WriteString(W(""), W("the default value"));
  reg.WriteInteger(W("jpeg_q"), 70);  // same value, first spelling kept

  EXPECT_TRUE(reg.KeyExists(W("\\SOFTWARE\\brenhold\\GIMRO-TAL\\3.0")));
  EXPECT_FALSE(reg.KeyExists(W("Software")));  // relative: below the open key
  EXPECT_EQ(reg.ReadInteger(W("Jpeg_Q")), 70);
  EXPECT_EQ(reg.ReadString(W("")), W("the default value"));
  std::vector<WideString> names;
  reg.GetValueNames(names);
  EXPECT_EQ(names, (std::vector<WideString>{W("JPEG_Q"), W("")}));

  // A key opened with other case keeps the case it was created with.
  ASSERT_TRUE(reg.OpenKey(W("\\software"), false));
  EXPECT_EQ(reg.CurrentPath(), W("software"));
  ASSERT_TRUE(reg.OpenKey(W("zeta"), true));
  ASSERT_TRUE(reg.OpenKey(W("\\SOFTWARE\\alpha"), true));
  ASSERT_TRUE(reg.OpenKey(W("\\Software"), false));
  reg.GetKeyNames(names);
  EXPECT_EQ(names, (std::vector<WideString>{W("alpha"), W("Brenhold"), W("zeta")}));

  // Failed opens leave the open key as it was.
  EXPECT_FALSE(reg.OpenKey(W("Missing"), false));
  EXPECT_FALSE(reg.OpenKey(W("A\\\\B"), true));  // empty name inside the path
  EXPECT_FALSE(reg.OpenKey(WideString(256, u'k'), true));
  EXPECT_EQ(reg.CurrentPath(), W("Software"));
  ASSERT_TRUE(reg.OpenKey(W("Brenhold\\"), false));  // one trailing separator is accepted

  // Closed: relative paths start at the root again.
  reg.CloseKey();
  EXPECT_EQ(reg.CurrentPath(), W(""));
  EXPECT_TRUE(reg.KeyExists(W("Software\\Brenhold")));
  EXPECT_FALSE(reg.OpenKey(W("Brenhold"), false));

  // Roots are separate trees; changing the root closes the key.
  ASSERT_TRUE(reg.OpenKey(W("\\Software"), false));
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.CurrentPath(), W(""));
  EXPECT_FALSE(reg.KeyExists(W("\\Software\\Brenhold")));
  ASSERT_TRUE(reg.OpenKey(W("\\Software\\Brenhold\\Gimro-Tal\\3.0"), true));
  EXPECT_FALSE(reg.ValueExists(W("JPEG_Q")));
  reg.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(reg.OpenKey(W("\\Gimro-Tal.JPEG"), true));
  reg.WriteInteger(W("sessid"), 12345);
  reg.SetRootKey(HKEY_USERS);
  EXPECT_FALSE(reg.KeyExists(W("\\Gimro-Tal.JPEG")));

  gt::reg::RegTree tree = ParseFile();
  EXPECT_NE(tree.Find(gt::reg::rrClassesRoot, {W("gimro-tal.jpeg")}), nullptr);
  EXPECT_NE(tree.Find(gt::reg::rrLocalMachine, {W("Software"), W("Brenhold")}), nullptr);
  EXPECT_EQ(tree.Find(gt::reg::rrCurrentUser, {W("Software"), W("Brenhold"), W("Gimro-Tal"), W("3.0")})
                ->FindValue(W("JPEG_Q"))->Number, 70u);
}

TEST_F(RegistryTest, DeleteKeyRemovesTheWholeBranch) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(W("\\A\\B\\C"), true));
  reg.WriteInteger(W("x"), 1);
  ASSERT_TRUE(reg.OpenKey(W("\\A\\B2"), true));
  reg.WriteString(W("y"), W("z"));
  ASSERT_TRUE(reg.OpenKey(W("\\Keep"), true));
  reg.WriteInteger(W("k"), 2);

  reg.CloseKey();
  EXPECT_TRUE(reg.DeleteKey(W("a")));  // relative to the root when closed, any case
  for (const char* path : {"\\A", "\\A\\B", "\\A\\B\\C", "\\A\\B2"}) EXPECT_FALSE(reg.KeyExists(W(path))) << path;
  EXPECT_TRUE(reg.KeyExists(W("\\Keep")));
  EXPECT_FALSE(reg.DeleteKey(W("\\A")));  // already gone
  EXPECT_FALSE(reg.DeleteKey(W("\\")));   // a root is never deleted
  EXPECT_FALSE(reg.DeleteKey(W("")));

  // Relative to the open key; the open key itself cannot go by an empty name.
  ASSERT_TRUE(reg.OpenKey(W("\\Keep\\Sub\\Deeper"), true));
  ASSERT_TRUE(reg.OpenKey(W("\\Keep"), false));
  EXPECT_TRUE(reg.DeleteKey(W("Sub")));
  EXPECT_FALSE(reg.KeyExists(W("Sub")));
  EXPECT_EQ(reg.ReadInteger(W("k")), 2);

  // DeleteValue.
  EXPECT_TRUE(reg.DeleteValue(W("K")));
  EXPECT_FALSE(reg.DeleteValue(W("k")));
  EXPECT_FALSE(reg.ValueExists(W("k")));

  // Deleting the open key leaves the object on a key that takes nothing more.
  ASSERT_TRUE(reg.OpenKey(W("\\Gone"), true));
  EXPECT_TRUE(reg.DeleteKey(W("\\Gone")));
  EXPECT_EQ(RegistryError([&] { reg.WriteInteger(W("v"), 1); }), "Failed to set data for 'v'");
  EXPECT_FALSE(reg.OpenKey(W("Child"), true));
  EXPECT_FALSE(reg.KeyExists(W("\\Gone")));

  gt::reg::RegTree tree = ParseFile();
  EXPECT_EQ(tree.Find(gt::reg::rrCurrentUser, {W("A")}), nullptr);
  ASSERT_NE(tree.Find(gt::reg::rrCurrentUser, {W("Keep")}), nullptr);
  EXPECT_TRUE(tree.Find(gt::reg::rrCurrentUser, {W("Keep")})->Empty());
}

TEST_F(RegistryTest, ReadOnlyOpensRefuseWrites) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(W("\\Gimro-Tal.JPEG\\Sub"), true));
    reg.WriteInteger(W("sessid"), 77);
  }
  const std::string before = regtest::ReadFile(File);
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKeyReadOnly(W("\\Missing")));  // never creates
  EXPECT_FALSE(reg.KeyExists(W("\\Missing")));
  ASSERT_TRUE(reg.OpenKeyReadOnly(W("\\gimro-tal.jpeg\\SUB")));
  EXPECT_EQ(reg.Access(), KEY_READ);
  EXPECT_EQ(reg.ReadInteger(W("sessid")), 77);

  const Byte byte = 1;
  const std::function<void(TRegistry&)> writes[] = {
      [](TRegistry& r) { r.WriteInteger(W("sessid"), 1); },
      [](TRegistry& r) { r.WriteBool(W("sessid"), true); },
      [](TRegistry& r) { r.WriteString(W("sessid"), W("x")); },
      [](TRegistry& r) { r.WriteExpandString(W("sessid"), W("x")); },
      [](TRegistry& r) { r.WriteFloat(W("sessid"), 1.0); },
      [](TRegistry& r) { r.WriteDateTime(W("sessid"), 1.0); },
      [&](TRegistry& r) { r.WriteBinaryData(W("sessid"), &byte, 1); },
  };
  for (const auto& write : writes) EXPECT_EQ(RegistryError([&] { write(reg); }), "Failed to set data for 'sessid'");
  EXPECT_FALSE(reg.DeleteValue(W("sessid")));
  EXPECT_FALSE(reg.OpenKey(W("NewChild"), true));  // no sub-keys under a read-only key
  EXPECT_EQ(RegistryError([&] { reg.CreateKey(W("NewChild")); }), "Failed to create key NewChild");
  EXPECT_FALSE(reg.DeleteKey(W("\\Gimro-Tal.JPEG")));

  // Access stays read-only for later opens, as with the class library.
  ASSERT_TRUE(reg.OpenKey(W("\\Gimro-Tal.JPEG\\Sub"), false));
  EXPECT_EQ(RegistryError([&] { reg.WriteInteger(W("sessid"), 1); }), "Failed to set data for 'sessid'");
  EXPECT_EQ(regtest::ReadFile(File), before);
  EXPECT_EQ(reg.ReadInteger(W("sessid")), 77);

  reg.SetAccess(KEY_ALL_ACCESS);
  ASSERT_TRUE(reg.OpenKey(W("\\Gimro-Tal.JPEG\\Sub"), false));
  reg.WriteInteger(W("sessid"), 78);
  EXPECT_EQ(reg.ReadInteger(W("sessid")), 78);

  // A write-only object cannot read.
  TRegistry writer(KEY_WRITE);
  ASSERT_TRUE(writer.OpenKey(W("\\Gimro-Tal.JPEG\\Sub"), false));
  writer.WriteInteger(W("other"), 5);
  EXPECT_EQ(RegistryError([&] { writer.ReadInteger(W("other")); }), "Failed to get data for 'other'");
  EXPECT_EQ(reg.ReadInteger(W("other")), 5);
}

TEST_F(RegistryTest, FileIsCreatedOnFirstWriteAndReadsSeeItsLatestContent) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(W("\\Software\\X"), false));
  reg.ReadString(W("nothing"));
  EXPECT_FALSE(std::filesystem::exists(File));  // opening and reading write nothing
  ASSERT_TRUE(reg.OpenKey(W("\\Software\\X"), true));
  EXPECT_TRUE(std::filesystem::exists(File));   // a created key is kept
  reg.WriteInteger(W("A"), 1);
  EXPECT_EQ(reg.ReadInteger(W("A")), 1);

  // Another writer replaces the file: the open object sees the new content.
  auto replace = [&](Integer value, const char* name) {
    gt::reg::RegTree tree = ParseFile();
    gt::reg::RegValue v;
    v.Name = W(name);
    v.Type = rdInteger;
    v.Number = static_cast<uint32_t>(value);
    tree.Find(gt::reg::rrCurrentUser, {W("Software"), W("X")})->SetValue(v);
    return gt::reg::FormatRegistryFile(tree);
  };
  regtest::WriteFile(Dir / "new.json", replace(2, "A"));
  std::filesystem::rename(Dir / "new.json", File);
  EXPECT_EQ(reg.ReadInteger(W("A")), 2);

  // Rewritten in place with the same size and the same time stamp: only the
  // content tells, and a recent file is compared by content.
  struct stat st;
  ASSERT_EQ(stat(File.c_str(), &st), 0);
  regtest::WriteFile(File, replace(3, "A"));
  timespec times[2] = {st.st_atim, st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, File.c_str(), times, 0), 0);
  EXPECT_EQ(reg.ReadInteger(W("A")), 3);

  // A write keeps what the other writer added.
  regtest::WriteFile(Dir / "new.json", replace(9, "FromOther"));
  std::filesystem::rename(Dir / "new.json", File);
  reg.WriteInteger(W("Mine"), 4);
  gt::reg::RegTree tree = ParseFile();
  const gt::reg::RegKey* key = tree.Find(gt::reg::rrCurrentUser, {W("Software"), W("X")});
  ASSERT_NE(key, nullptr);
  ASSERT_NE(key->FindValue(W("FromOther")), nullptr);
  EXPECT_EQ(key->FindValue(W("FromOther"))->Number, 9u);
  EXPECT_EQ(key->FindValue(W("Mine"))->Number, 4u);

  // The other writer deletes the key: the open object's writes fail.
  std::filesystem::remove(File);
  EXPECT_FALSE(reg.ValueExists(W("Mine")));
  EXPECT_EQ(RegistryError([&] { reg.WriteInteger(W("Mine"), 5); }), "Failed to set data for 'Mine'");
}

}  // namespace test_registry_tests
