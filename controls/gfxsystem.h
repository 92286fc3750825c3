// Processor features for the pixel routines' start-up choice, and the theme
// nexus: the hidden window that follows the desktop's style changes.
#pragma once

#include "platform/base/types.h"
#include "platform/ui/uxtheme.h"
#include "platform/ui/winuser.h"

// Indexes of the detection table.
enum TInstructionSet { isMMX, isSSE, isSSE2, is3DNow, is3DNowExt };

// What the identification instruction tells about a processor; the live one
// is read by CurrentCpuIdentity, tests make their own.
struct TCpuIdentity {
  bool IdAvailable = false;            // the identification flag can be toggled
  Cardinal Signature = 0;              // EAX of leaf 1
  Cardinal FeatureBits = 0;            // EDX of leaf 1
  Cardinal HighestExtendedLeaf = 0;    // EAX of leaf 0x80000000
  Cardinal ExtendedFeatureBits = 0;    // EDX of leaf 0x80000001
};

// The processor this code runs on; all zero (no identification) on machines
// other than x86.
TCpuIdentity CurrentCpuIdentity();

bool CpuIdAvailable();
Cardinal CpuSignature();
Cardinal CpuFeatureBits();
bool CpuExtendedAvailable();
Cardinal CpuExtendedFeatureBits();

// False unless identification works and the family (bits 8..11 of the
// signature) is at least 5; the 3DNow! sets also need the extended leaves.
bool HasInstructionSet(const TCpuIdentity& Cpu, TInstructionSet Index);
bool HasInstructionSet(TInstructionSet Index);
bool HasMMX();
bool Has3DNow();

// The nexus exists from start-up to shutdown of the library. It holds theme
// data of the "SCROLLBAR" and "GLOBALS" classes while themes are in use and
// opens them again when the theme changes (WM_THEMECHANGED to its window).
class TThemeNexus {
 public:
  TThemeNexus();
  ~TThemeNexus();
  TThemeNexus(const TThemeNexus&) = delete;
  TThemeNexus& operator=(const TThemeNexus&) = delete;

  HWND Handle() const { return FWindow; }
  // Whether themes were in use at the last opening.
  bool ThemesEnabled() const { return FThemesEnabled; }
  // Null while themes are not in use.
  HTHEME ScrollbarTheme() const { return FScrollbarTheme; }
  HTHEME GlobalsTheme() const { return FGlobalsTheme; }

 private:
  void OpenThemes();
  void CloseThemes();
  void WndProc(TMessage& Message);

  HWND FWindow = nullptr;
  bool FThemesEnabled = false;
  HTHEME FScrollbarTheme = nullptr;
  HTHEME FGlobalsTheme = nullptr;
};

// The program draws with the desktop's theme and a theme is there.
bool ThemesInUse();
// The process's nexus, made on first use on the main thread and freed at exit.
TThemeNexus& ThemeNexus();
