// Profile objects: loading, copying, saving, and the description and
// copyright texts, checked against exiftool's reading of the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "icc_test_util.h"
#include "imaging/core/color/ieicc.h"
#include "platform/base/strutils.h"
#include "platform/base/sysutils.h"

namespace test_icc_profile_tests {

using namespace icctest;

namespace {

std::vector<Byte> StreamBytes(TMemoryStream& S) {
  const Byte* p = static_cast<const Byte*>(S.Memory());
  return std::vector<Byte>(p, p + S.Size());
}

// exiftool's two texts, "-" standing for a missing tag, made empty.
std::pair<std::string, std::string> ExiftoolTexts(const std::string& Path) {
  std::string out = Capture("exiftool -f -s3 -ProfileDescription -ProfileCopyright '" + Path + "'");
  std::istringstream in(out);
  std::string desc, cprt;
  std::getline(in, desc);
  std::getline(in, cprt);
  if (desc == "-") desc.clear();
  if (cprt == "-") cprt.clear();
  return {desc, cprt};
}

// Our 8-bit text in the exiftool's UTF-8.
std::string AsUtf8(const AnsiString& S) { return WideToUtf8(AnsiToWide(S)); }

}  // namespace

TEST(ICCProfile, LoadSaveAssignAndClear) {
  const std::vector<Byte> lab = LabProfileBytes();
  ASSERT_GT(lab.size(), 128u);
  TIEICC icc;
  EXPECT_FALSE(icc.IsValid());
  icc.LoadFromBuffer(lab.data(), Integer(lab.size()));
  EXPECT_TRUE(icc.IsValid());
  EXPECT_FALSE(icc.Applied());
  ASSERT_EQ(icc.RawLength(), Integer(lab.size()));

  TMemoryStream withLength, rawOnly;
  icc.SaveToStream(&withLength, false);
  icc.SaveToStream(&rawOnly, true);
  std::vector<Byte> expected = {Byte(lab.size()), Byte(lab.size() >> 8), Byte(lab.size() >> 16),
                                Byte(lab.size() >> 24)};
  expected.insert(expected.end(), lab.begin(), lab.end());
  EXPECT_EQ(StreamBytes(withLength), expected);
  EXPECT_EQ(StreamBytes(rawOnly), lab);

  TIEICC copy;
  copy.Assign(&icc);
  EXPECT_TRUE(copy.IsValid());
  EXPECT_EQ(std::vector<Byte>(copy.Raw(), copy.Raw() + copy.RawLength()), lab);
  EXPECT_EQ(copy.Description(), icc.Description());
  copy.Assign(&copy);  // assigning itself keeps the profile
  EXPECT_TRUE(copy.IsValid());

  icc.FreeTransform();
  EXPECT_TRUE(icc.Applied());
  icc.Clear();
  EXPECT_FALSE(icc.IsValid());
  EXPECT_FALSE(icc.Applied());
  EXPECT_EQ(icc.RawLength(), 0);
  EXPECT_EQ(icc.Raw(), nullptr);
  EXPECT_TRUE(icc.Description().empty());
}

TEST(ICCProfile, SRGBHasNoBytesSoItsCopyIsEmpty) {
  TIEICC srgb;
  srgb.LoadSRGB();
  EXPECT_TRUE(srgb.IsValid());
  EXPECT_EQ(srgb.RawLength(), 0);
  TMemoryStream s;
  srgb.SaveToStream(&s, false);
  EXPECT_EQ(StreamBytes(s), (std::vector<Byte>{0, 0, 0, 0}));
  TIEICC copy;
  copy.Assign(&srgb);
  EXPECT_FALSE(copy.IsValid());
}

TEST(ICCProfile, RejectedBytesStayInvalidButKeepTheirBytesAndTexts) {
  // Without the header's signature the engine refuses the bytes.
  std::vector<Byte> bytes = BuildProfile({{"desc", DescTag("No Colour Here")}, {"cprt", TextTag("Nobody")}});
  std::fill_n(bytes.begin() + 36, 4, Byte(0));
  TIEICC icc;
  icc.LoadFromBuffer(bytes.data(), Integer(bytes.size()));
  EXPECT_FALSE(icc.IsValid());
  EXPECT_EQ(icc.RawLength(), Integer(bytes.size()));
  EXPECT_EQ(icc.Description(), "No Colour Here");
  EXPECT_EQ(icc.Copyright(), "Nobody");

  const Byte junk[3] = {1, 2, 3};
  icc.LoadFromBuffer(junk, 3);
  EXPECT_FALSE(icc.IsValid());
  EXPECT_TRUE(icc.Description().empty());
  icc.LoadFromBuffer(nullptr, 10);
  EXPECT_EQ(icc.RawLength(), 0);
  icc.LoadFromBuffer(junk, -5);
  EXPECT_EQ(icc.RawLength(), 0);
}

// Texts of well-formed profiles of each tag type, compared with exiftool.
TEST(ICCProfile, TextsOfEachTagTypeMatchExiftool) {
  ASSERT_TRUE(HaveTool("exiftool")) << "exiftool is needed (libimage-exiftool-perl)";
  struct Case {
    const char* Name;
    std::vector<Byte> Bytes;
    const char* Description;  // as 8-bit (code page 1252) text
    const char* Copyright;
  };
  const Case cases[] = {
      {"v2 desc and text", BuildProfile({{"desc", DescTag("Press Proof 2")}, {"cprt", TextTag("No rights kept")}}),
       "Press Proof 2", "No rights kept"},
      // Newer profiles store both texts as multi-localised Unicode.
      {"v4 mluc", BuildProfile({{"cprt", MlucTag({{"enUS", u"Public domain"}})},
                                {"desc", MlucTag({{"enUS", u"Newer Profile"}})}}),
       "Newer Profile", "Public domain"},
      {"English record picked among others",
       BuildProfile({{"desc", MlucTag({{"deDE", u"Druckprofil"}, {"enUS", u"Print profile"}})}}), "Print profile",
       ""},
      {"text outside ASCII", BuildProfile({{"desc", MlucTag({{"enUS", u"Caf\u00e9 cr\u00e8me"}})}}),
       "Caf\xe9 cr\xe8me", ""},
      // Some profiles store the copyright in the description type.
      {"copyright in the description type", BuildProfile({{"cprt", DescTag("Old style")}}), "", "Old style"},
      {"description of 1000 bytes or more is skipped",
       BuildProfile({{"desc", DescTag(std::string(1000, 'x'))}, {"cprt", TextTag("kept")}}), "", "kept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEICC icc;
    icc.LoadFromBuffer(c.Bytes.data(), Integer(c.Bytes.size()));
    EXPECT_EQ(icc.Description(), c.Description);
    EXPECT_EQ(icc.Copyright(), c.Copyright);
    TTempFile file("case.icc", c.Bytes);
    auto [desc, cprt] = ExiftoolTexts(file.Path());
    if (std::strlen(c.Description) > 0) {
      EXPECT_EQ(AsUtf8(icc.Description()), desc);
    }
    EXPECT_EQ(AsUtf8(icc.Copyright()), cprt);
  }
}

// Real profiles: the system's CMYK profile (an older and a newer version
// where both are installed) and the engine's own sRGB profile, checked
// against exiftool and against the engine's reading of the same tags.
TEST(ICCProfile, TextsOfRealProfilesMatchExiftoolAndTheEngine) {
  ASSERT_TRUE(HaveTool("exiftool")) << "exiftool is needed (libimage-exiftool-perl)";
  std::vector<std::vector<Byte>> profiles;
  std::vector<Byte> cmyk;
  ASSERT_TRUE(CEReadSystemCMYKProfile(cmyk)) << "a CMYK profile is needed (libgs-common)";
  profiles.push_back(cmyk);
  for (const char* path : {"/usr/share/color/icc/ghostscript/ps_cmyk.icc", "/usr/share/color/icc/ghostscript/srgb.icc"}) {
    std::vector<Byte> b = ReadFileBytes(path);
    if (!b.empty()) profiles.push_back(b);
  }
  profiles.push_back(SRGBProfileBytes());
  for (const auto& bytes : profiles) {
    TIEICC icc;
    icc.LoadFromBuffer(bytes.data(), Integer(bytes.size()));
    ASSERT_TRUE(icc.IsValid());
    SCOPED_TRACE(icc.Description());
    EXPECT_FALSE(icc.Description().empty());
    TTempFile file("real.icc", bytes);
    auto [desc, cprt] = ExiftoolTexts(file.Path());
    EXPECT_EQ(AsUtf8(icc.Description()), desc);
    EXPECT_EQ(AsUtf8(icc.Copyright()), cprt);
    HCEPROFILE p = CEOpenProfileFromMemory(bytes.data(), bytes.size());
    EXPECT_EQ(icc.Description(), CEProfileText(p, cepiDescription));
    EXPECT_EQ(icc.Copyright(), CEProfileText(p, cepiCopyright));
    CECloseProfile(p);
  }
}

// Damaged tag tables end the scan without reading outside the bytes (the
// bytes are copied into a block of exactly their size, so the sanitizer
// build catches any read past them).
TEST(ICCProfile, DamagedTagTablesAreReadSafely) {
  const std::vector<Byte> good =
      BuildProfile({{"cprt", TextTag("First")}, {"desc", DescTag("Second")}});
  struct Case {
    const char* Name;
    std::vector<Byte> Bytes;
    const char* Description;
    const char* Copyright;
  };
  std::vector<Case> cases;
  {
    std::vector<Byte> b(good.begin(), good.begin() + 130);  // the count would run past the end
    cases.push_back({"130 bytes", b, "", ""});
  }
  {
    std::vector<Byte> b = good;
    PutBE32(b, 128, 1001);
    cases.push_back({"count above 1000", b, "", ""});
  }
  {
    std::vector<Byte> b = good;
    PutBE32(b, 128, 0x80000000u);
    cases.push_back({"negative count", b, "", ""});
  }
  {
    std::vector<Byte> b = good;
    PutBE32(b, 128, 3);  // a third entry would be the tag data itself
    std::vector<Byte> c(b.begin(), b.begin() + 132 + 24 + 4);
    cases.push_back({"table cut after two entries", c, "", ""});
  }
  {
    std::vector<Byte> b = good;
    PutBE32(b, 132 + 12 + 4, uint32_t(b.size()) - 4);  // desc data runs past the end
    cases.push_back({"tag beyond the profile stops the scan", b, "", "First"});
  }
  {
    std::vector<Byte> b = good;
    PutBE32(b, 132 + 4, 0x7ffffff0u);  // offset + size overflows 32 bits
    PutBE32(b, 132 + 8, 0x7ffffff0u);
    cases.push_back({"offset plus size beyond 31 bits", b, "", ""});
  }
  {
    // An unterminated text ends at its tag, not in the next tag's data.
    std::vector<Byte> t = TextTag("Open");
    t.pop_back();
    std::vector<Byte> b = BuildProfile({{"cprt", t}, {"desc", DescTag("Next")}});
    cases.push_back({"unterminated text", b, "Next", "Open"});
  }
  {
    std::vector<Byte> m = MlucTag({{"enUS", u"Long"}});
    PutBE32(m, 16 + 4, 4000);  // string length past the tag
    cases.push_back({"mluc string past its tag", BuildProfile({{"desc", m}}), "", ""});
  }
  {
    std::vector<Byte> m = MlucTag({{"enUS", u"Lost"}});
    PutBE32(m, 8, 0xffffffffu);  // record count far beyond the tag
    PutBE32(m, 12, 0xfffffff0u);
    cases.push_back({"mluc record count and size absurd", BuildProfile({{"desc", m}}), "", ""});
  }
  {
    std::vector<Byte> b = BuildProfile({{"desc", std::vector<Byte>{'d', 'e'}}});
    cases.push_back({"tag shorter than its type", b, "", ""});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEICC icc;
    icc.LoadFromBuffer(c.Bytes.data(), Integer(c.Bytes.size()));
    EXPECT_EQ(icc.Description(), c.Description);
    EXPECT_EQ(icc.Copyright(), c.Copyright);
  }
}

}  // namespace test_icc_profile_tests
