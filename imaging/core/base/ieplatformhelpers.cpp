#include "imaging/core/base/ieplatformhelpers.h"

#include <cstdint>

#include "imaging/core/base/iestartup.h"
#include "platform/base/threads.h"
#include "platform/ui/clipbrd.h"
#include "platform/ui/winuser.h"

std::function<void(HWND)> IECenterWindowHook;

UINT IERawClipboardFormat = 0;
UINT IEVectClipboardFormat = 0;
UINT IETextMemoClipboardFormat = 0;

namespace {

Byte g_WinVersion = 0;

// The operating system's version parts; this platform has no such record.
bool QueryWinVersionParts(Cardinal& PlatformId, Cardinal& Major, Cardinal& Minor) {
  PlatformId = Major = Minor = 0;
  return false;
}

Byte QueryWinVersion() {
  Cardinal PlatformId, Major, Minor;
  if (!QueryWinVersionParts(PlatformId, Major, Minor)) return 0;
  return IEWinVersionFromParts(PlatformId, Major, Minor);
}

// The version byte, the private clipboard formats and the centring hook are
// the container's platform defaults.
TIEStartupRegistrar g_WinVersionStep(
    iessWinVersion, "platform services",
    [] {
      g_WinVersion = QueryWinVersion();
      IERawClipboardFormat = RegisterClipboardFormat(W("ZIDUZUV RAW FORMAT"));
      IEVectClipboardFormat = RegisterClipboardFormat(W("ZIDUZUV VECT"));
      IETextMemoClipboardFormat = RegisterClipboardFormat(W("ZIDUZUV TEXTMEMO"));
    },
    [] {
      g_WinVersion = 0;
      IERawClipboardFormat = IEVectClipboardFormat = IETextMemoClipboardFormat = 0;
    });

TIEStartupRegistrar g_CenterHookStep(
    iessCenterHook, "window-centring hook", [] { IECenterWindowHook = nullptr; },
    [] { IECenterWindowHook = nullptr; });

}  // namespace

// ---------------------------------------------------------------- windows

void IECenterWindow(HWND Window) {
  if (IECenterWindowHook) {
    IECenterWindowHook(Window);
    return;
  }
  TRect R;
  if (!Window || !GetWindowRect(Window, &R)) return;
  // The work area rather than the whole screen, so that panels do not cover
  // the window.
  TRect Area;
  if (!SystemParametersInfo(SPI_GETWORKAREA, 0, &Area, 0))
    Area = TRect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  // Integer division truncates toward zero, as the placement rule expects.
  const Integer X = Area.Left + (Area.Width() - R.Width()) / 2;
  const Integer Y = Area.Top + (Area.Height() - R.Height()) / 3;
  SetWindowPos(Window, nullptr, X, Y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---------------------------------------------------------------- system

Byte IEWinVersionFromParts(Cardinal PlatformId, Cardinal Major, Cardinal Minor) {
  if (PlatformId == 1 && Major == 4) {
    switch (Minor) {
      case 0: return 1;
      case 10: return 2;
      case 90: return 3;
      default: return 0;
    }
  }
  if (PlatformId == 2) {
    if (Major == 4 && Minor == 0) return 4;
    if (Major == 5 && Minor <= 2) return static_cast<Byte>(5 + Minor);
    if (Major == 6 && Minor <= 1) return static_cast<Byte>(8 + Minor);
  }
  return 0;
}

Byte IEGetWinVersion() { return g_WinVersion; }

bool IEIsRemoteSession() { return GetSystemMetrics(SM_REMOTESESSION) != 0; }

bool IEIsPrimaryButtonDown() {
  const bool Swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  return GetAsyncKeyState(Swapped ? VK_RBUTTON : VK_LBUTTON) < 0;
}

// ---------------------------------------------------------------- scroll bars

void IEApplyScrollInfo(HWND Window, Integer Bar, const SCROLLINFO& Info, bool Flat, bool Redraw) {
  if (Flat)
    FlatSB_SetScrollInfo(Window, Bar, &Info, Redraw);
  else
    SetScrollInfo(Window, Bar, &Info, Redraw);
}

void IESetScrollInfo(HWND Window, Integer Bar, Integer Min, Integer Max, Integer Page, Integer Pos, bool Redraw,
                     bool Flat) {
  SCROLLINFO Info;
  Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  Info.nMin = Min;
  Info.nMax = Max;
  Info.nPage = Page < 0 ? 0u : static_cast<UINT>(Page);
  Info.nPos = Pos;
  IEApplyScrollInfo(Window, Bar, Info, Flat, Redraw);
}

void IESetScrollRange(HWND Window, Integer Bar, Integer Min, Integer Max, bool Redraw, bool Flat) {
  SCROLLINFO Info;
  Info.fMask = SIF_RANGE;
  Info.nMin = Min;
  Info.nMax = Max;
  IEApplyScrollInfo(Window, Bar, Info, Flat, Redraw);
}

void IESetScrollPos(HWND Window, Integer Bar, Integer Pos, bool Redraw, bool Flat) {
  SCROLLINFO Info;
  Info.fMask = SIF_POS;
  Info.nPos = Pos;
  IEApplyScrollInfo(Window, Bar, Info, Flat, Redraw);
}

void IEEnableScrollBar(HWND Window, Integer Bar, UINT Arrows, bool Flat) {
  if (Flat)
    FlatSB_EnableScrollBar(Window, Bar, Arrows);
  else
    EnableScrollBar(Window, static_cast<UINT>(Bar), Arrows);
}

void IEShowScrollBar(HWND Window, Integer Bar, bool Show, bool Flat) {
  if (Flat)
    FlatSB_ShowScrollBar(Window, Bar, Show);
  else
    ShowScrollBar(Window, Bar, Show);
}

// ---------------------------------------------------------------- clipboard

bool IEOpenClipboard() {
  for (Integer Try = 0; Try < 10; ++Try) {
    if (OpenClipboard(nullptr)) return true;
    Sleep(20);
  }
  return false;
}

std::unique_ptr<TStringList> IEListClipboardFormats() {
  auto List = std::make_unique<TStringList>();
  WCHAR Name[513];
  for (UINT F = EnumClipboardFormats(0); F != 0; F = EnumClipboardFormats(F)) {
    const Integer Len = GetClipboardFormatName(F, Name, 513);
    if (Len > 0)
      List->AddObject(WideString(Name, static_cast<size_t>(Len)),
                      reinterpret_cast<TObject*>(static_cast<uintptr_t>(F)));
  }
  return List;
}

UINT IEGetClipboardFormatByName(const WideString& Name) {
  std::unique_ptr<TStringList> List = IEListClipboardFormats();
  List->SetCaseSensitive(false);
  const Integer I = List->IndexOf(Name);
  return I < 0 ? 0u : static_cast<UINT>(reinterpret_cast<uintptr_t>(List->Objects(I)));
}
