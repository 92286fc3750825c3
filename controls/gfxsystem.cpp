// Processor identification for the blending routines and the theme nexus.
#include "controls/gfxsystem.h"

#include <memory>

#include "platform/base/sysinfo.h"

TCpuIdentity CurrentCpuIdentity() {
  TCpuIdentity Cpu;
  Cardinal A = 0, B = 0, C = 0, D = 0;
  // Every x86-64 processor has the identification instruction; elsewhere
  // CpuId fails and every feature answers false.
  if (!CpuId(0, A, B, C, D)) return Cpu;
  Cpu.IdAvailable = true;
  if (A >= 1 && CpuId(1, A, B, C, D)) {
    Cpu.Signature = A;
    Cpu.FeatureBits = D;
  }
  if (CpuId(0x80000000u, A, B, C, D)) {
    Cpu.HighestExtendedLeaf = A;
    if (A > 0x80000000u && CpuId(0x80000001u, A, B, C, D)) Cpu.ExtendedFeatureBits = D;
  }
  return Cpu;
}

namespace {

const TCpuIdentity& LiveCpu() {
  static const TCpuIdentity Cpu = CurrentCpuIdentity();
  return Cpu;
}

// Register bit of each table entry; the first three are standard features.
constexpr Cardinal FeatureMask[] = {0x00800000u, 0x02000000u, 0x04000000u, 0x80000000u, 0x40000000u};

}  // namespace

bool CpuIdAvailable() { return LiveCpu().IdAvailable; }
Cardinal CpuSignature() { return LiveCpu().Signature; }
Cardinal CpuFeatureBits() { return LiveCpu().FeatureBits; }
bool CpuExtendedAvailable() { return LiveCpu().HighestExtendedLeaf > 0x80000000u; }
Cardinal CpuExtendedFeatureBits() { return LiveCpu().ExtendedFeatureBits; }

bool HasInstructionSet(const TCpuIdentity& Cpu, TInstructionSet Index) {
  if (!Cpu.IdAvailable || Index < isMMX || Index > is3DNowExt) return false;
  // Processors before family 5 report bits that do not mean these sets.
  if (((Cpu.Signature >> 8) & 0xF) < 5) return false;
  if (Index == is3DNow || Index == is3DNowExt) {
    // A highest extended leaf of exactly 0x80000000 has no feature leaf.
    if (Cpu.HighestExtendedLeaf <= 0x80000000u) return false;
    return (Cpu.ExtendedFeatureBits & FeatureMask[Index]) != 0;
  }
  return (Cpu.FeatureBits & FeatureMask[Index]) != 0;
}

bool HasInstructionSet(TInstructionSet Index) { return HasInstructionSet(LiveCpu(), Index); }
bool HasMMX() { return HasInstructionSet(isMMX); }
bool Has3DNow() { return HasInstructionSet(is3DNow); }

// ---------------------------------------------------------------- theme nexus

bool ThemesInUse() { return IsAppThemed() && IsThemeActive(); }

TThemeNexus::TThemeNexus() {
  FWindow = AllocateHWnd([this](TMessage& Message) { WndProc(Message); });
  OpenThemes();
}

TThemeNexus::~TThemeNexus() {
  CloseThemes();
  if (FWindow) DeallocateHWnd(FWindow);
}

void TThemeNexus::OpenThemes() {
  FThemesEnabled = ThemesInUse();
  if (!FThemesEnabled) return;
  FScrollbarTheme = OpenThemeData(FWindow, u"SCROLLBAR");
  FGlobalsTheme = OpenThemeData(FWindow, u"GLOBALS");
}

// Every handle held is closed, whatever the theme state is now: themes that
// were switched off since the opening must not leave their handles open.
void TThemeNexus::CloseThemes() {
  for (HTHEME* Theme : {&FScrollbarTheme, &FGlobalsTheme})
    if (*Theme) {
      CloseThemeData(*Theme);
      *Theme = nullptr;
    }
}

void TThemeNexus::WndProc(TMessage& Message) {
  if (Message.Msg == WM_THEMECHANGED) {
    CloseThemes();
    OpenThemes();
  }
  Message.Result = DefWindowProc(FWindow, Message.Msg, Message.WParam, Message.LParam);
}

TThemeNexus& ThemeNexus() {
  static const std::unique_ptr<TThemeNexus> Nexus = std::make_unique<TThemeNexus>();
  return *Nexus;
}
