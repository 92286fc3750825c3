// Theme services over the widget toolkit's style. A part is drawn by reading
// the target's pixels under it, letting the style paint over them, and
// writing the result back through the DC, so that its clip, its mapping and
// whatever shows around rounded corners stay as they were.
#include "platform/ui/uxtheme.h"

#include <QApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>
#include <QTimer>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "platform/ui/messages.h"
#include "platform/ui/private/window.h"

namespace {

enum TThemeClass { tcButton, tcStatus, tcProgress, tcExplorerBar, tcScrollBar, tcGlobals };

struct TThemeData {
  TThemeClass Class;
  HWND Window;
};

struct TClassName {
  const char* Name;
  TThemeClass Class;
};
constexpr TClassName kClasses[] = {
    {"BUTTON", tcButton},           {"STATUS", tcStatus},       {"PROGRESS", tcProgress},
    {"EXPLORERBAR", tcExplorerBar}, {"SCROLLBAR", tcScrollBar}, {"GLOBALS", tcGlobals},
};

// Handles are numbers that are never reused, so a handle closed by a theme
// change stays invalid even when a new one is opened at once.
std::map<uintptr_t, TThemeData>& Handles() {
  static auto& M = *new std::map<uintptr_t, TThemeData>;
  return M;
}
uintptr_t g_NextId = 1;
bool g_AppThemed = false;
std::set<HWND>& Unthemed() {
  static auto& S = *new std::set<HWND>;
  return S;
}

const TThemeData* Find(HTHEME Theme) {
  auto It = Handles().find(reinterpret_cast<uintptr_t>(Theme));
  return It == Handles().end() ? nullptr : &It->second;
}

bool StyleReady() {
  // The theme services start the window layer like any window would.
  if (!QCoreApplication::instance()) gtui::InitWindowing();
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr && QApplication::style() != nullptr;
}

// Names compare without regard to ASCII case, as class names do.
bool SameName(const std::u16string& A, const char* B) {
  if (A.size() != std::strlen(B)) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    char16_t c = A[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c != static_cast<char16_t>(B[i])) return false;
  }
  return true;
}

bool KnownPart(TThemeClass Class, Integer Part, Integer State) {
  switch (Class) {
    case tcButton:
      if (Part == BP_PUSHBUTTON) return State >= PBS_NORMAL && State <= PBS_DEFAULTED;
      if (Part == BP_GROUPBOX) return State >= GBS_NORMAL && State <= GBS_DISABLED;
      return false;
    case tcStatus: return Part >= 0 && Part <= SP_GRIPPER;
    case tcProgress: return Part >= PP_BAR && Part <= PP_CHUNKVERT;
    case tcExplorerBar: return Part == 0;
    default: return false;
  }
}

bool Disabled(TThemeClass Class, Integer Part, Integer State) {
  return Class == tcButton && ((Part == BP_PUSHBUTTON && State == PBS_DISABLED) ||
                               (Part == BP_GROUPBOX && State == GBS_DISABLED));
}

QPalette PaletteFor(TThemeClass Class, Integer Part, Integer State) {
  QPalette Pal = QApplication::palette();
  Pal.setCurrentColorGroup(Disabled(Class, Part, State) ? QPalette::Disabled : QPalette::Active);
  return Pal;
}

void PaintPart(QPainter& P, const QRect& R, TThemeClass Class, Integer Part, Integer State) {
  QStyle* S = QApplication::style();
  const QPalette Pal = PaletteFor(Class, Part, State);
  const bool Enabled = !Disabled(Class, Part, State);
  switch (Class) {
    case tcButton:
      if (Part == BP_PUSHBUTTON) {
        QStyleOptionButton O;
        O.rect = R;
        O.palette = Pal;
        O.state = Enabled ? QStyle::State_Enabled : QStyle::State_None;
        O.state |= State == PBS_PRESSED ? QStyle::State_Sunken : QStyle::State_Raised;
        if (State == PBS_HOT) O.state |= QStyle::State_MouseOver;
        if (State == PBS_DEFAULTED) O.features |= QStyleOptionButton::DefaultButton;
        S->drawControl(QStyle::CE_PushButtonBevel, &O, &P, nullptr);
      } else {
        QStyleOptionFrame O;
        O.rect = R;
        O.palette = Pal;
        O.state = Enabled ? QStyle::State_Enabled : QStyle::State_None;
        O.lineWidth = 1;
        O.midLineWidth = 0;
        S->drawPrimitive(QStyle::PE_FrameGroupBox, &O, &P, nullptr);
      }
      break;
    case tcStatus: {
      QStyleOption O;
      O.rect = R;
      O.palette = Pal;
      O.state = QStyle::State_Enabled;
      if (Part == 0) {
        // The bar is the window colour under whatever the style adds.
        P.fillRect(R, Pal.window());
        S->drawPrimitive(QStyle::PE_PanelStatusBar, &O, &P, nullptr);
      } else if (Part == SP_GRIPPER) {
        QStyleOptionSizeGrip G;
        G.QStyleOption::operator=(O);
        G.corner = Qt::BottomRightCorner;
        S->drawControl(QStyle::CE_SizeGrip, &G, &P, nullptr);
      } else {
        // A sunken one-pixel pane frame, as status bar items have.
        qDrawShadeRect(&P, R, Pal, true, 1, 0, nullptr);
        S->drawPrimitive(QStyle::PE_FrameStatusBarItem, &O, &P, nullptr);
      }
      break;
    }
    case tcProgress: {
      QStyleOptionProgressBar O;
      O.rect = R;
      O.palette = Pal;
      O.state = QStyle::State_Enabled;
      if (Part == PP_BAR || Part == PP_CHUNK) O.state |= QStyle::State_Horizontal;
      O.minimum = 0;
      O.maximum = 100;
      O.textVisible = false;
      if (Part == PP_BAR || Part == PP_BARVERT) {
        O.progress = 0;
        S->drawControl(QStyle::CE_ProgressBarGroove, &O, &P, nullptr);
      } else {
        // A chunk is a full bar of its own size: the caller sizes it.
        O.progress = 100;
        S->drawControl(QStyle::CE_ProgressBarContents, &O, &P, nullptr);
      }
      break;
    }
    case tcExplorerBar: {
      QLinearGradient G(R.topLeft(), R.bottomLeft());
      G.setColorAt(0, Pal.color(QPalette::Midlight));
      G.setColorAt(1, Pal.color(QPalette::Mid));
      P.fillRect(R, G);
      break;
    }
    default: break;
  }
}

// Runs Paint over a copy of the DC's pixels under R and writes them back.
template <class F>
HRESULT PaintOver(HDC DC, const TRect& R, const TRect* Clip, F&& Paint) {
  const Integer W = R.Right - R.Left, H = R.Bottom - R.Top;
  if (W <= 0 || H <= 0) return S_OK;
  if (static_cast<int64_t>(W) * H > (int64_t(1) << 26)) return E_INVALIDARG;
  BITMAPINFO Info{};
  Info.bmiHeader.biWidth = W;
  Info.bmiHeader.biHeight = -H;
  Info.bmiHeader.biPlanes = 1;
  Info.bmiHeader.biBitCount = 32;
  Info.bmiHeader.biCompression = BI_RGB;
  void* Bits = nullptr;
  HBITMAP Bmp = CreateDIBSection(DC, &Info, DIB_RGB_COLORS, &Bits, nullptr, 0);
  if (!Bmp || !Bits) return E_FAIL;
  HDC Mem = CreateCompatibleDC(DC);
  if (!Mem) {
    DeleteObject(Bmp);
    return E_FAIL;
  }
  HGDIOBJ Old = SelectObject(Mem, Bmp);
  BitBlt(Mem, 0, 0, W, H, DC, R.Left, R.Top, SRCCOPY);
  {
    // The style paints on opaque pixels.
    auto* Px = static_cast<uint32_t*>(Bits);
    for (size_t i = 0, n = size_t(W) * H; i < n; ++i) Px[i] |= 0xFF000000u;
    QImage Img(static_cast<uchar*>(Bits), W, H, W * 4, QImage::Format_RGB32);
    QPainter P(&Img);
    Paint(P, QRect(0, 0, W, H));
  }
  const Integer Saved = SaveDC(DC);
  if (Clip) IntersectClipRect(DC, Clip->Left, Clip->Top, Clip->Right, Clip->Bottom);
  BitBlt(DC, R.Left, R.Top, W, H, Mem, 0, 0, SRCCOPY);
  RestoreDC(DC, Saved);
  SelectObject(Mem, Old);
  DeleteDC(Mem);
  DeleteObject(Bmp);
  return S_OK;
}

COLORREF ToColorRef(const QColor& C) { return RGB(C.red(), C.green(), C.blue()); }

// Sends the change to every window and repaints the visible ones.
void BroadcastThemeChange() {
  for (HWND Wnd : gtui::AllWindowHandles(true))
    if (IsWindow(Wnd)) SendMessage(Wnd, WM_THEMECHANGED, 0, 0);
  for (HWND Wnd : gtui::AllWindowHandles(false))
    if (IsWindow(Wnd)) InvalidateRect(Wnd, nullptr, TRUE);
}

bool g_ChangePending = false;

}  // namespace

namespace gtui {
// The desktop's style or palette changed under the program: every top-level
// window hears of it, the program's windows hear it once.
void DesktopThemeChanged() {
  if (g_ChangePending) return;
  g_ChangePending = true;
  QTimer::singleShot(0, qApp, [] {
    g_ChangePending = false;
    BroadcastThemeChange();
  });
}
}  // namespace gtui

HTHEME OpenThemeData(HWND Window, const WCHAR* ClassList) {
  if (!ClassList || !g_AppThemed || !StyleReady()) return nullptr;
  if (Window && Unthemed().count(Window)) return nullptr;
  std::u16string List(ClassList);
  size_t Start = 0;
  while (Start <= List.size()) {
    size_t End = List.find(u';', Start);
    if (End == std::u16string::npos) End = List.size();
    std::u16string Name = List.substr(Start, End - Start);
    while (!Name.empty() && Name.front() == u' ') Name.erase(Name.begin());
    while (!Name.empty() && Name.back() == u' ') Name.pop_back();
    for (const TClassName& C : kClasses)
      if (SameName(Name, C.Name)) {
        const uintptr_t Id = g_NextId++;
        Handles().emplace(Id, TThemeData{C.Class, Window});
        return reinterpret_cast<HTHEME>(Id);
      }
    Start = End + 1;
  }
  return nullptr;
}

HRESULT CloseThemeData(HTHEME Theme) {
  return Handles().erase(reinterpret_cast<uintptr_t>(Theme)) ? S_OK : E_HANDLE;
}

HRESULT DrawThemeBackground(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const TRect* Rect,
                            const TRect* Clip) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!DC || !Rect || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  if (!StyleReady()) return E_FAIL;
  const TThemeClass Class = D->Class;
  return PaintOver(DC, *Rect, Clip,
                   [&](QPainter& P, const QRect& R) { PaintPart(P, R, Class, PartId, StateId); });
}

HRESULT DrawThemeEdge(HTHEME Theme, HDC DC, Integer, Integer, const TRect* DestRect, UINT Edge, UINT Flags,
                      TRect* ContentRect) {
  if (!Find(Theme)) return E_HANDLE;
  if (!DC || !DestRect) return E_INVALIDARG;
  TRect R = *DestRect;
  // BF_ADJUST leaves the inside in R.
  if (!DrawEdge(DC, &R, Edge, Flags | BF_ADJUST)) return E_FAIL;
  if (ContentRect) *ContentRect = R;
  return S_OK;
}

HRESULT GetThemeColor(HTHEME Theme, Integer PartId, Integer StateId, Integer PropId, COLORREF* Color) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!Color || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  if (!StyleReady()) return E_FAIL;
  const QPalette Pal = PaletteFor(D->Class, PartId, StateId);
  QPalette::ColorRole Role;
  switch (PropId) {
    case TMT_TEXTCOLOR:
      Role = D->Class == tcButton && PartId == BP_PUSHBUTTON ? QPalette::ButtonText : QPalette::WindowText;
      break;
    case TMT_FILLCOLOR:
      Role = D->Class == tcProgress ? (PartId == PP_CHUNK || PartId == PP_CHUNKVERT ? QPalette::Highlight : QPalette::Base)
             : D->Class == tcButton && PartId == BP_PUSHBUTTON ? QPalette::Button
                                                                : QPalette::Window;
      break;
    case TMT_BORDERCOLOR: Role = QPalette::Mid; break;
    default: return E_PROP_ID_UNSUPPORTED;
  }
  *Color = ToColorRef(Pal.color(Role));
  return S_OK;
}

HRESULT GetThemeMetric(HTHEME Theme, HDC, Integer PartId, Integer StateId, Integer PropId, Integer* Value) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!Value || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  if (!StyleReady()) return E_FAIL;
  QStyle* S = QApplication::style();
  switch (PropId) {
    case TMT_BORDERSIZE: *Value = S->pixelMetric(QStyle::PM_DefaultFrameWidth); return S_OK;
    case TMT_PROGRESSCHUNKSIZE:
      if (D->Class != tcProgress) return E_PROP_ID_UNSUPPORTED;
      *Value = S->pixelMetric(QStyle::PM_ProgressBarChunkWidth);
      return S_OK;
    case TMT_PROGRESSSPACESIZE:
      if (D->Class != tcProgress) return E_PROP_ID_UNSUPPORTED;
      // The style draws its chunks as one continuous bar.
      *Value = 0;
      return S_OK;
    default: return E_PROP_ID_UNSUPPORTED;
  }
}

HRESULT GetThemeMargins(HTHEME Theme, HDC, Integer PartId, Integer StateId, Integer PropId, const TRect*,
                        MARGINS* Margins) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!Margins || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  if (!StyleReady()) return E_FAIL;
  if (PropId != TMT_CONTENTMARGINS) return E_PROP_ID_UNSUPPORTED;
  QStyle* S = QApplication::style();
  const Integer M = D->Class == tcButton && PartId == BP_PUSHBUTTON ? S->pixelMetric(QStyle::PM_ButtonMargin) / 2
                                                                    : S->pixelMetric(QStyle::PM_DefaultFrameWidth);
  *Margins = MARGINS{M, M, M, M};
  return S_OK;
}

HRESULT GetThemePartSize(HTHEME Theme, HDC, Integer PartId, Integer StateId, const TRect* Rect, THEMESIZE Kind,
                         TSize* Size) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!Size || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  if (!StyleReady()) return E_FAIL;
  QStyle* S = QApplication::style();
  if (D->Class == tcStatus && PartId == SP_GRIPPER) {
    const Integer G = S->pixelMetric(QStyle::PM_SizeGripSize);
    *Size = TSize(G, G);
  } else if (Kind == TS_DRAW && Rect) {
    *Size = TSize(Rect->Right - Rect->Left, Rect->Bottom - Rect->Top);
  } else {
    // The parts stretch to any size; the smallest that shows their frame.
    const Integer F = 2 * S->pixelMetric(QStyle::PM_DefaultFrameWidth) + 1;
    *Size = TSize(F, F);
  }
  return S_OK;
}

HRESULT DrawThemeText(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const WCHAR* Text, Integer Count,
                      DWORD Flags, DWORD, const TRect* Rect) {
  COLORREF Color = 0;
  const HRESULT Got = GetThemeColor(Theme, PartId, StateId, TMT_TEXTCOLOR, &Color);
  if (FAILED(Got)) return Got;
  if (!DC || !Text || !Rect) return E_INVALIDARG;
  TRect R = *Rect;
  const COLORREF OldColor = SetTextColor(DC, Color);
  const Integer OldMode = SetBkMode(DC, TRANSPARENT);
  DrawTextW(DC, Text, Count, &R, Flags);
  SetBkMode(DC, OldMode);
  SetTextColor(DC, OldColor);
  return S_OK;
}

HRESULT GetThemeTextExtent(HTHEME Theme, HDC DC, Integer PartId, Integer StateId, const WCHAR* Text, Integer Count,
                           DWORD Flags, const TRect* Bounding, TRect* Extent) {
  const TThemeData* D = Find(Theme);
  if (!D) return E_HANDLE;
  if (!DC || !Text || !Extent || !KnownPart(D->Class, PartId, StateId)) return E_INVALIDARG;
  TRect R = Bounding ? *Bounding : TRect(0, 0, 0, 0);
  DrawTextW(DC, Text, Count, &R, Flags | DT_CALCRECT);
  *Extent = R;
  return S_OK;
}

BOOL IsThemeBackgroundPartiallyTransparent(HTHEME Theme, Integer PartId, Integer StateId) {
  const TThemeData* D = Find(Theme);
  if (!D || !KnownPart(D->Class, PartId, StateId)) return FALSE;
  switch (D->Class) {
    case tcButton: return TRUE;  // rounded push buttons; the group box is only a frame
    case tcStatus: return PartId != 0;
    case tcProgress: return TRUE;  // rounded groove and chunk
    default: return FALSE;
  }
}

HRESULT SetWindowTheme(HWND Window, const WCHAR* SubAppName, const WCHAR* SubIdList) {
  if (!IsWindow(Window)) return E_HANDLE;
  const bool Off = SubAppName && !*SubAppName && SubIdList && !*SubIdList;
  if (Off)
    Unthemed().insert(Window);
  else
    Unthemed().erase(Window);
  SendMessage(Window, WM_THEMECHANGED, 0, 0);
  return S_OK;
}

BOOL IsThemeActive() { return StyleReady() ? TRUE : FALSE; }

BOOL IsAppThemed() { return g_AppThemed ? TRUE : FALSE; }

HRESULT EnableTheming(BOOL Enable) {
  const bool Value = Enable != FALSE;
  if (Value == g_AppThemed) return S_OK;
  g_AppThemed = Value;
  BroadcastThemeChange();
  return S_OK;
}

Integer GtOpenThemeDataCount() { return static_cast<Integer>(Handles().size()); }
