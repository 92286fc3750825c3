// The registry file reader against hostile input, and the writer's output
// reading back unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/base/sysutils.h"
#include "platform/registry/registry_file.h"

namespace test_registry_file_tests {

using gt::reg::FormatRegistryFile;
using gt::reg::ParseRegistryFile;
using gt::reg::RegKey;
using gt::reg::RegTree;
using gt::reg::RegValue;

namespace {

const std::string kHead = R"({"format": "gimro-tal registry", "version": 1, "roots": )";

// A file whose HKEY_CURRENT_USER root holds Node.
std::string WithUserRoot(const std::string& Node) { return kHead + R"({"HKEY_CURRENT_USER": )" + Node + "}}"; }
// A file whose user root holds one value given as JSON.
std::string WithValue(const std::string& Value) { return WithUserRoot(R"({"values": {"v": )" + Value + "}}"); }

// Keys nested Depth deep below the user root, each named "k".
std::string Nested(size_t Depth, bool Close = true) {
  std::string s = kHead + R"({"HKEY_CURRENT_USER": )";
  for (size_t i = 0; i < Depth; ++i) s += R"({"keys": {"k": )";
  if (!Close) return s;
  s += "{}";
  for (size_t i = 0; i < Depth; ++i) s += "}}";
  return s + "}}";
}

}  // namespace

TEST(RegistryFile, RejectsMalformedAndHostileFiles) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* error;  // part of the reported reason
  };
  const Case cases[] = {
      {"empty", "", "expected '{'"},
      {"not JSON", "registry", "expected '{'"},
      {"truncated object", kHead + R"({"HKEY_CURRENT_USER": {"values": {"v": {"integer": 12)", "expected ',' or '}'"},
      {"truncated string", R"({"format": "gimro-tal reg)", "unterminated string"},
      {"truncated escape", R"({"format": "a\)", "unterminated escape"},
      {"bad escape", WithValue(R"({"string": "a\x41"})"), "bad escape"},
      {"short unicode escape", WithValue(R"({"string": "\u12"})"), "bad \\u escape"},
      {"truncated unicode escape", R"({"format": "\u12)", "truncated \\u escape"},
      {"raw control character", WithValue("{\"string\": \"a\nb\"}"), "control character"},
      {"invalid UTF-8 byte", WithValue("{\"string\": \"\xff\"}"), "invalid UTF-8"},
      {"overlong UTF-8", WithValue("{\"string\": \"\xc0\xaf\"}"), "invalid UTF-8"},
      {"UTF-8 surrogate", WithValue("{\"string\": \"\xed\xa0\x80\"}"), "invalid UTF-8"},
      {"UTF-8 past U+10FFFF", WithValue("{\"string\": \"\xf4\x90\x80\x80\"}"), "invalid UTF-8"},
      {"truncated UTF-8", "{\"format\": \"\xe4\xbd", "truncated UTF-8"},
      {"NUL byte", WithValue(std::string("{\"string\": \"a\0b\"}", 17)), "control character"},
      {"integer too large", WithValue(R"({"integer": 4294967296})"), "out of range"},
      {"integer too small", WithValue(R"({"integer": -2147483649})"), "out of range"},
      {"integer too long", WithValue(R"({"integer": 123456789012345678901234})"), "out of range"},
      {"fraction", WithValue(R"({"integer": 1.5})"), "expected an integer"},
      {"leading zero", WithValue(R"({"integer": 012})"), "leading zero"},
      {"integer as text", WithValue(R"({"integer": "12"})"), "expected an integer"},
      {"odd hex", WithValue(R"({"binary": "abc"})"), "odd number"},
      {"non-hex", WithValue(R"({"binary": "zz"})"), "bad hex digit"},
      {"unknown type", WithValue(R"({"qword": 1})"), "unknown value type"},
      {"two types", WithValue(R"({"integer": 1, "string": "x"})"), "exactly one type"},
      {"no type", WithValue("{}"), "without a type"},
      {"duplicate value ignoring case", WithUserRoot(R"({"values": {"Name": {"integer": 1}, "NAME": {"integer": 2}}})"),
       "duplicate value name"},
      {"duplicate key ignoring case", WithUserRoot(R"({"keys": {"Sub": {}, "sub": {}}})"), "duplicate key name"},
      {"duplicate values member", WithUserRoot(R"({"values": {}, "values": {}})"), "duplicate \"values\""},
      {"key name with separator", WithUserRoot(R"({"keys": {"a\\b": {}}})"), "invalid key name"},
      {"empty key name", WithUserRoot(R"({"keys": {"": {}}})"), "invalid key name"},
      {"key name too long", WithUserRoot(R"({"keys": {")" + std::string(256, 'k') + R"(": {}}})"), "invalid key name"},
      {"unknown member of key", WithUserRoot(R"({"data": {}})"), "unknown member of a key"},
      {"unknown root", kHead + R"({"HKEY_DYN_DATA": {}}})", "unknown root"},
      {"duplicate root", kHead + R"({"HKEY_USERS": {}, "HKEY_USERS": {}}})", "duplicate root"},
      {"keys nested too deeply", Nested(gt::reg::kMaxKeyDepth + 1), "nested too deeply"},
      // An endless descent stops at the limit instead of exhausting the stack.
      {"nesting bomb", Nested(200000, false), "nested too deeply"},
      {"other format", R"({"format": "something else", "version": 1, "roots": {}})", "not a registry file"},
      {"newer version", R"({"format": "gimro-tal registry", "version": 2, "roots": {}})", "unsupported version"},
      {"missing version", R"({"format": "gimro-tal registry", "roots": {}})", "missing"},
      {"unknown top member", R"({"format": "gimro-tal registry", "version": 1, "extra": 1})", "unknown member"},
      {"trailing data", R"({"format": "gimro-tal registry", "version": 1} {})", "trailing data"},
      {"array instead of object", R"(["format"])", "expected '{'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegTree tree;
    tree.Roots[gt::reg::rrUsers].AddSubKey(W("stale"));
    std::string error;
    EXPECT_FALSE(ParseRegistryFile(c.bytes, tree, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_NE(error.find("at byte"), std::string::npos) << error;
    for (const auto& root : tree.Roots) EXPECT_TRUE(root.Empty());  // nothing half-read is left
  }
}

TEST(RegistryFile, AcceptsWhatAPersonMightWrite) {
  struct Case {
    const char* what;
    std::string bytes;
    WideString text;  // of the user root's string value "v"
  };
  const Case cases[] = {
      {"byte order mark and tabs", "\xef\xbb\xbf\t" + WithValue("{ \"string\" :\r\n\"x\" }"), W("x")},
      {"escaped pair equals raw text", WithValue(R"({"string": "\ud83d\ude00 \u00e9\/"})"), W("😀 é/")},
      {"raw non-BMP text", WithValue("{\"string\": \"\xf0\x9f\x98\x80\"}"), W("😀")},
      {"lone surrogate escape kept", WithValue(R"({"string": "\uDC00x"})"), WideString(1, char16_t(0xDC00)) + u"x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RegTree tree;
    std::string error;
    ASSERT_TRUE(ParseRegistryFile(c.bytes, tree, error)) << error;
    const RegValue* v = tree.Roots[gt::reg::rrCurrentUser].FindValue(W("v"));
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Type, rdString);
    EXPECT_EQ(v->Text, c.text);
  }
  // The deepest nesting the registry allows is read.
  RegTree tree;
  std::string error;
  EXPECT_TRUE(ParseRegistryFile(Nested(gt::reg::kMaxKeyDepth), tree, error)) << error;
  // Integers take the signed and the unsigned 32-bit range.
  ASSERT_TRUE(ParseRegistryFile(WithUserRoot(R"({"values": {"a": {"integer": 4294967295}, "b": {"integer": -2147483648}}})"),
                                tree, error)) << error;
  EXPECT_EQ(tree.Roots[gt::reg::rrCurrentUser].FindValue(W("a"))->Number, 0xFFFFFFFFu);
  EXPECT_EQ(tree.Roots[gt::reg::rrCurrentUser].FindValue(W("B"))->Number, 0x80000000u);
}

TEST(RegistryFile, WrittenFileReadsBackUnchanged) {
  RegTree tree;
  RegKey& user = tree.Roots[gt::reg::rrCurrentUser];
  auto add = [](RegKey& Key, const WideString& Name, TRegDataType Type, const WideString& Text, uint32_t Number,
                std::vector<Byte> Bytes) {
    RegValue v;
    v.Name = Name;
    v.Type = Type;
    v.Text = Text;
    v.Number = Number;
    v.Bytes = std::move(Bytes);
    Key.SetValue(v);
  };
  const WideString awkward = WideString(u"q\"\\/\b\f\n\r\t") + char16_t(0x01) + char16_t(0x7F) + char16_t(0xD800) +
                             u"x" + char16_t(0xDFFF) + W(" é Ж 😀") + char16_t(0xD83D);
  add(user, W(""), rdString, W("default"), 0, {});
  add(user, awkward, rdString, awkward, 0, {});
  add(user, W("kernel\\cpuusage"), rdBinary, W(""), 0, {0, 0, 0, 0, 255});
  add(user, W("e"), rdExpandString, W("%HOME%"), 0, {});
  add(user, W("neg"), rdInteger, W(""), 0x80000000u, {});
  add(user, W("empty"), rdBinary, W(""), 0, {});
  RegKey* deep = &tree.Roots[gt::reg::rrLocalMachine];
  for (size_t i = 0; i < gt::reg::kMaxKeyDepth; ++i) deep = &deep->AddSubKey(W("level"));
  add(*deep, W("bottom"), rdInteger, W(""), 7, {});
  tree.Roots[gt::reg::rrClassesRoot].AddSubKey(W(".jpg"));

  const std::string text = FormatRegistryFile(tree);
  RegTree back;
  std::string error;
  ASSERT_TRUE(ParseRegistryFile(text, back, error)) << error;
  EXPECT_EQ(FormatRegistryFile(back), text);
  const RegKey& u = back.Roots[gt::reg::rrCurrentUser];
  ASSERT_EQ(u.Values().size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(u.Values()[i].Name, user.Values()[i].Name);  // order of creation is kept
    EXPECT_TRUE(u.Values()[i].SameData(user.Values()[i])) << i;
  }
  std::vector<WideString> path(gt::reg::kMaxKeyDepth, W("LEVEL"));
  const RegKey* bottom = back.Find(gt::reg::rrLocalMachine, path);
  ASSERT_NE(bottom, nullptr);
  EXPECT_EQ(bottom->FindValue(W("bottom"))->Number, 7u);
  EXPECT_NE(back.Find(gt::reg::rrClassesRoot, {W(".JPG")}), nullptr);
  // The file is text a person can read: UTF-8, one value per line.
  EXPECT_NE(text.find("\"kernel\\\\cpuusage\": {\"binary\": \"00000000ff\"}"), std::string::npos);
  EXPECT_NE(text.find("\"neg\": {\"integer\": -2147483648}"), std::string::npos);
  EXPECT_NE(text.find("é Ж 😀"), std::string::npos);
}

}  // namespace test_registry_file_tests
