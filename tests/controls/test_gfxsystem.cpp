// Processor feature rules over made-up identification results, the live
// processor, and the theme nexus's window.
#include <gtest/gtest.h>

#include "tests/controls/tbtest.h"

#include "controls/gfxsystem.h"

namespace gfxsystem_tests {
namespace {

constexpr Cardinal AllStandard = 0x00800000u | 0x02000000u | 0x04000000u;
constexpr Cardinal AllExtended = 0x80000000u | 0x40000000u;

TEST(GfxSystemFeatures, RulesOverInjectedIdentities) {
  const struct {
    const char* Name;
    TCpuIdentity Cpu;
    bool Expected[5];  // isMMX, isSSE, isSSE2, is3DNow, is3DNowExt
  } Cases[] = {
      {"family 4 with every bit", {true, 0x0000048F, AllStandard, 0x80000008u, AllExtended}, {0, 0, 0, 0, 0}},
      {"family 5, MMX only", {true, 0x00000543, 0x00800000u, 0x80000001u, 0}, {1, 0, 0, 0, 0}},
      {"family 6, all", {true, 0x00000686, AllStandard, 0x80000008u, AllExtended}, {1, 1, 1, 1, 1}},
      {"only the base family counts", {true, 0x00A00411, AllStandard, 0x80000008u, AllExtended}, {0, 0, 0, 0, 0}},
      {"highest extended leaf exactly 0x80000000",
       {true, 0x00000600, AllStandard, 0x80000000u, AllExtended},
       {1, 1, 1, 0, 0}},
      {"one extended leaf above", {true, 0x00000600, 0, 0x80000001u, 0x80000000u}, {0, 0, 0, 1, 0}},
      {"no identification", {false, 0x00000686, AllStandard, 0x80000008u, AllExtended}, {0, 0, 0, 0, 0}},
  };
  for (const auto& C : Cases)
    for (int I = isMMX; I <= is3DNowExt; ++I)
      EXPECT_EQ(HasInstructionSet(C.Cpu, static_cast<TInstructionSet>(I)), C.Expected[I]) << C.Name << ", set " << I;
  EXPECT_FALSE(HasInstructionSet(TCpuIdentity{true, 0x600, 0xFFFFFFFFu, 0x80000008u, 0xFFFFFFFFu},
                                 static_cast<TInstructionSet>(7)));
}

TEST(GfxSystemFeatures, LiveProcessor) {
#if defined(__x86_64__)
  // Every x86-64 processor identifies itself and has MMX, SSE and SSE2.
  EXPECT_TRUE(CpuIdAvailable());
  EXPECT_GE((CpuSignature() >> 8) & 0xF, 5u);
  EXPECT_TRUE(HasMMX());
  EXPECT_TRUE(HasInstructionSet(isSSE2));
  EXPECT_EQ(Has3DNow(), CpuExtendedAvailable() && (CpuExtendedFeatureBits() & 0x80000000u) != 0);
#else
  EXPECT_FALSE(CpuIdAvailable());
  EXPECT_FALSE(HasMMX());
#endif
}

TEST(GfxSystemThemes, StyleChangeReachesTheNexusAndLeavesThemesOff) {
  TThemeNexus& Nexus = ThemeNexus();
  ASSERT_TRUE(IsWindow(Nexus.Handle()));
  EXPECT_EQ(&ThemeNexus(), &Nexus);
  EXPECT_EQ(SendMessage(Nexus.Handle(), WM_THEMECHANGED, 0, 0), DefWindowProc(Nexus.Handle(), WM_THEMECHANGED, 0, 0));
  EXPECT_FALSE(Nexus.ThemesEnabled());
  EXPECT_FALSE(ThemesInUse());
}

}  // namespace
}  // namespace gfxsystem_tests
