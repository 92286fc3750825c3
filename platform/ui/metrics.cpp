// System metrics and the few system settings the program reads or changes.
#include <QApplication>
#include <QScreen>

#include <cstring>

#include "platform/ui/private/window.h"

namespace {

QRect PrimaryGeometry() {
  gtui::InitWindowing();
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->geometry() : QRect(0, 0, 1024, 768);
}

QRect WorkArea() {
  gtui::InitWindowing();
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->availableGeometry() : QRect(0, 0, 1024, 768);
}

QRect VirtualGeometry() {
  gtui::InitWindowing();
  QScreen* S = QGuiApplication::primaryScreen();
  return S ? S->virtualGeometry() : QRect(0, 0, 1024, 768);
}

// Desktop window dragging shows the contents; the setting is kept for the
// program that turns it off and back on (the window manager decides here).
bool g_DragFullWindows = true;
// Captions drawn as a gradient: off, as on the classic desktop, unless a
// program turns them on (SPI_SETGRADIENTCAPTIONS, 0x1009, Param TRUE).
bool g_GradientCaptions = false;
constexpr UINT SpiSetGradientCaptions = 0x1009;
// The program's own menu settings: menus slide by default, and fade (which
// needs a compositing window manager to be seen) only when chosen.
bool g_MenuAnimation = true;
bool g_MenuFade = false;

constexpr Integer kBorder = 1, kEdge = 2, kCaption = 18, kFrame = 4, kFixedFrame = 3;

void DefaultGuiFont(LOGFONTW& Font) {
  LOGFONTW F;
  if (GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(F), &F) == sizeof(F)) {
    Font = F;
    return;
  }
  Font = LOGFONTW();
  Font.lfHeight = -11;
  Font.lfWeight = FW_NORMAL;
  const char16_t Face[] = u"Tahoma";
  std::memcpy(Font.lfFaceName, Face, sizeof(Face));
}

}  // namespace

Integer GetSystemMetrics(Integer Index) {
  switch (Index) {
    case SM_CXSCREEN: return PrimaryGeometry().width();
    case SM_CYSCREEN: return PrimaryGeometry().height();
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return gtui::ScrollBarThickness;
    case SM_CYCAPTION: return kCaption + 1;
    case SM_CXBORDER:
    case SM_CYBORDER:
    case SM_CXFOCUSBORDER:
    case SM_CYFOCUSBORDER: return kBorder;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kFixedFrame;
    case SM_CXFRAME:
    case SM_CYFRAME: return kFrame;
    case SM_CXEDGE:
    case SM_CYEDGE: return kEdge;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYMENU: return kCaption + 1;
    case SM_CYSMCAPTION: return 15;
    case SM_CXSIZE:
    case SM_CYSIZE:
    case SM_CXMENUSIZE:
    case SM_CYMENUSIZE: return kCaption;
    case SM_CXMIN: return 112;
    case SM_CYMIN: return 27;
    case SM_CXMINTRACK: return 112;
    case SM_CYMINTRACK: return 27;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING: return 75;
    case SM_CXFULLSCREEN: return WorkArea().width();
    case SM_CYFULLSCREEN: return WorkArea().height() - kCaption - 1;
    case SM_CXMAXIMIZED: return WorkArea().width() + 2 * kFrame;
    case SM_CYMAXIMIZED: return WorkArea().height() + 2 * kFrame;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG: return 4;
    case SM_CXMENUCHECK:
    case SM_CYMENUCHECK: return 13;
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT: return 1;
    case SM_SWAPBUTTON:
    case SM_MENUDROPALIGNMENT:
    case SM_REMOTESESSION: return 0;
    case SM_XVIRTUALSCREEN: return VirtualGeometry().x();
    case SM_YVIRTUALSCREEN: return VirtualGeometry().y();
    case SM_CXVIRTUALSCREEN: return VirtualGeometry().width();
    case SM_CYVIRTUALSCREEN: return VirtualGeometry().height();
    case SM_CMONITORS:
      gtui::InitWindowing();
      return static_cast<Integer>(QGuiApplication::screens().size());
    default: return 0;
  }
}

BOOL SystemParametersInfo(UINT Action, UINT Param, void* PvParam, UINT) {
  switch (Action) {
    case SPI_GETWORKAREA: {
      if (!PvParam) return FALSE;
      QRect R = WorkArea();
      *static_cast<TRect*>(PvParam) = TRect(R.x(), R.y(), R.x() + R.width(), R.y() + R.height());
      return TRUE;
    }
    case SPI_GETWHEELSCROLLLINES:
      if (!PvParam) return FALSE;
      gtui::InitWindowing();
      *static_cast<UINT*>(PvParam) = static_cast<UINT>(QApplication::wheelScrollLines());
      return TRUE;
    case SPI_GETDRAGFULLWINDOWS:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = g_DragFullWindows ? TRUE : FALSE;
      return TRUE;
    case SPI_SETDRAGFULLWINDOWS: g_DragFullWindows = Param != 0; return TRUE;
    case SPI_GETFONTSMOOTHING:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = GtFontSmoothing() ? TRUE : FALSE;
      return TRUE;
    case SPI_SETFONTSMOOTHING: GtSetFontSmoothing(Param != 0); return TRUE;
    case SPI_GETNONCLIENTMETRICS: {
      auto* M = static_cast<NONCLIENTMETRICSW*>(PvParam);
      if (!M || M->cbSize < sizeof(NONCLIENTMETRICSW)) return FALSE;
      M->iBorderWidth = kBorder;
      M->iScrollWidth = M->iScrollHeight = gtui::ScrollBarThickness;
      M->iCaptionWidth = M->iCaptionHeight = kCaption;
      M->iSmCaptionWidth = 12;
      M->iSmCaptionHeight = 15;
      M->iMenuWidth = kCaption;
      M->iMenuHeight = kCaption;
      DefaultGuiFont(M->lfCaptionFont);
      M->lfCaptionFont.lfWeight = FW_BOLD;
      DefaultGuiFont(M->lfSmCaptionFont);
      DefaultGuiFont(M->lfMenuFont);
      DefaultGuiFont(M->lfStatusFont);
      DefaultGuiFont(M->lfMessageFont);
      return TRUE;
    }
    case SPI_GETKEYBOARDCUES:
      // Accelerators are always underlined, as on the classic desktop.
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = TRUE;
      return TRUE;
    case SPI_GETMENUANIMATION:
    case SPI_GETMENUFADE:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = (Action == SPI_GETMENUFADE ? g_MenuFade : g_MenuAnimation) ? TRUE : FALSE;
      return TRUE;
    // As on Windows, the value travels in PvParam.
    case SPI_SETMENUANIMATION: g_MenuAnimation = PvParam != nullptr; return TRUE;
    case SPI_SETMENUFADE: g_MenuFade = PvParam != nullptr; return TRUE;
    case SPI_GETGRADIENTCAPTIONS:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = g_GradientCaptions ? TRUE : FALSE;
      return TRUE;
    case SpiSetGradientCaptions: g_GradientCaptions = Param != 0; return TRUE;
    case SPI_GETFLATMENU:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = FALSE;
      return TRUE;
    case SPI_GETBEEP:
      if (!PvParam) return FALSE;
      *static_cast<BOOL*>(PvParam) = TRUE;
      return TRUE;
    case SPI_GETMENUSHOWDELAY:
    case SPI_GETMOUSEHOVERTIME:
      if (!PvParam) return FALSE;
      *static_cast<DWORD*>(PvParam) = 400;
      return TRUE;
    case SPI_GETMOUSEHOVERWIDTH:
    case SPI_GETMOUSEHOVERHEIGHT:
      if (!PvParam) return FALSE;
      *static_cast<UINT*>(PvParam) = 4;
      return TRUE;
    case SPI_GETKEYBOARDDELAY:
      if (!PvParam) return FALSE;
      *static_cast<Integer*>(PvParam) = 1;
      return TRUE;
    case SPI_GETKEYBOARDSPEED:
      if (!PvParam) return FALSE;
      *static_cast<DWORD*>(PvParam) = 31;
      return TRUE;
    default: return FALSE;
  }
}
