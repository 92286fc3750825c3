// Shared helpers of the toolbar and docking library.
#include "controls/tbcommon.h"

#include <algorithm>

#include "controls/widestrings.h"
#include "platform/base/strutils.h"
#include "platform/devices/sounds.h"
#include "platform/graphics/colors.h"
#include "platform/ui/forms.h"

namespace {

// Settings queries the window layer answers only when it knows them; an
// unknown query fails and the callers take their documented default.
constexpr UINT SpiGetGradientCaptions = 0x1008;
constexpr UINT SpiGetKeyboardCues = 0x100A;

constexpr Integer CaptionBackground[2] = {COLOR_INACTIVECAPTION, COLOR_ACTIVECAPTION};
constexpr Integer CaptionGradient[2] = {COLOR_GRADIENTINACTIVECAPTION, COLOR_GRADIENTACTIVECAPTION};
constexpr Integer CaptionText[2] = {COLOR_INACTIVECAPTIONTEXT, COLOR_CAPTIONTEXT};

// Rows of 16 bits, the high byte 0: alternating 0x55 and 0xAA.
constexpr Word CheckerPattern[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};

// Keeps a device context's state for the length of a scope, also when the
// scope is left by an exception.
class TSavedDC {
 public:
  explicit TSavedDC(HDC DC) : FDC(DC), FSaved(SaveDC(DC)) {}
  ~TSavedDC() {
    if (FSaved) RestoreDC(FDC, FSaved);
  }
  TSavedDC(const TSavedDC&) = delete;
  TSavedDC& operator=(const TSavedDC&) = delete;

 private:
  HDC FDC;
  Integer FSaved;
};

}  // namespace

// ---------------------------------------------------------------- lists

bool ListAddUnique(TList*& List, void* Item) {
  if (!List) List = new TList;
  if (List->IndexOf(Item) >= 0) return false;
  List->Add(Item);
  return true;
}

bool ListAddUniqueFront(TList*& List, void* Item) {
  if (!List) List = new TList;
  if (List->IndexOf(Item) >= 0) return false;
  List->Insert(0, Item);
  return true;
}

void ListRemoveAndRelease(TList*& List, void* Item) {
  if (!List) return;
  List->Remove(Item);
  if (List->Count() == 0) {
    delete List;
    List = nullptr;
  }
}

// ---------------------------------------------------------------- messages

void DispatchPendingPaints() {
  MSG M;
  while (PeekMessage(&M, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE)) {
    if (!GetMessage(&M, nullptr, WM_PAINT, WM_PAINT)) {
      PostQuitMessage(static_cast<Integer>(M.wParam));
      return;
    }
    DispatchMessage(&M);
  }
}

void DiscardQueuedMessages(UINT First, UINT Last) {
  MSG M;
  while (PeekMessage(&M, nullptr, First, Last, PM_REMOVE)) {
    if (M.message == WM_QUIT) {
      PostQuitMessage(static_cast<Integer>(M.wParam));
      return;
    }
  }
}

TPoint LastMessagePoint() {
  const DWORD Pos = GetMessagePos();
  return TPoint(static_cast<int16_t>(LOWORD(Pos)), static_cast<int16_t>(HIWORD(Pos)));
}

bool ThreadHasActiveWindow() { return GetActiveWindow() != nullptr; }

// ---------------------------------------------------------------- printing

void EmulatePrint(HWND Wnd, TMessage& Message, const TTBPaintNonClientProc& PaintNonClient, void* PaintData) {
  const LPARAM Flags = Message.LParam;
  HDC DC = reinterpret_cast<HDC>(Message.WParam);
  if ((Flags & PRF_CHECKVISIBLE) && !IsWindowVisible(Wnd)) {
    Message.Result = 0;
    return;
  }
  {
    TSavedDC Outer(DC);
    if ((Flags & PRF_NONCLIENT) && PaintNonClient) {
      TSavedDC Frame(DC);
      PaintNonClient(Wnd, DC, PaintData);
    }
    TPoint ClientOrigin(0, 0);
    ClientToScreen(Wnd, &ClientOrigin);
    TRect WR;
    GetWindowRect(Wnd, &WR);
    const TPoint Offset(ClientOrigin.X - WR.Left, ClientOrigin.Y - WR.Top);
    if (Flags & PRF_CLIENT) {
      // The device context addresses the whole window when the frame is
      // printed too; the client draws in its own coordinates.
      const bool Shift = (Flags & PRF_NONCLIENT) != 0;
      if (Flags & PRF_ERASEBKGND) {
        TSavedDC Erase(DC);
        if (Shift) OffsetViewportOrgEx(DC, Offset.X, Offset.Y, nullptr);
        SendMessage(Wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0);
      }
      {
        TSavedDC Client(DC);
        if (Shift) OffsetViewportOrgEx(DC, Offset.X, Offset.Y, nullptr);
        SendMessage(Wnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(DC), 0);
      }
      if (Flags & PRF_CHILDREN) {
        // Children print everything of theirs, whatever was asked of this window.
        const LPARAM ChildFlags = (Flags & ~LPARAM(0x1F)) | 0x1E;
        EnumChildWindows(
            Wnd,
            [&](HWND Child, LPARAM) {
              if (GetParent(Child) != Wnd || !(GetWindowLong(Child, GWL_STYLE) & WS_VISIBLE)) return TRUE;
              TRect R;
              GetWindowRect(Child, &R);
              TPoint Corners[2] = {R.TopLeft(), R.BottomRight()};
              MapWindowPoints(nullptr, Wnd, Corners, 2);
              R = TRect(Corners[0].X, Corners[0].Y, Corners[1].X, Corners[1].Y);
              TSavedDC Saved(DC);
              if (Shift) OffsetViewportOrgEx(DC, Offset.X, Offset.Y, nullptr);
              OffsetViewportOrgEx(DC, R.Left, R.Top, nullptr);
              IntersectClipRect(DC, 0, 0, R.Width(), R.Height());
              SendMessage(Child, WM_PRINT, reinterpret_cast<WPARAM>(DC), ChildFlags);
              return TRUE;
            },
            0);
      }
    }
  }
  Message.Result = 1;
}

void EmulatePrintClient(TMessage& Message, const TTBPaintHandler& PaintHandler, TObject* Control) {
  TMessage Paint;
  Paint.Msg = WM_PAINT;
  Paint.WParam = Message.WParam;
  Paint.LParam = 0;
  Paint.Result = 0;
  TSavedDC Saved(reinterpret_cast<HDC>(Message.WParam));
  if (PaintHandler) PaintHandler(Control, Paint);
}

void ClipToNonClientUpdateRegion(HWND Wnd, HDC DC, HRGN Region) {
  if (reinterpret_cast<uintptr_t>(Region) <= 1) return;
  TRect WR;
  GetWindowRect(Wnd, &WR);
  if (SelectClipRgn(DC, Region) == ERROR) {
    HRGN Whole = CreateRectRgnIndirect(&WR);
    SelectClipRgn(DC, Whole);
    DeleteObject(Whole);
  }
  OffsetClipRgn(DC, -WR.Left, -WR.Top);
}

// ---------------------------------------------------------------- text

WideString StripAmpersands(const WideString& Text) {
  WideString S;
  S.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == u'&') {
      if (++I >= Text.size()) break;
    }
    S += Text[I];
  }
  return S;
}

WideString DoubleAmpersands(const WideString& Text) {
  WideString S;
  S.reserve(Text.size() + 4);
  for (WideChar C : Text) {
    S += C;
    if (C == u'&') S += u'&';
  }
  return S;
}

WideString TrimEllipsisOrColon(const WideString& Text) {
  const size_t L = Text.size();
  if (L > 1 && Text[L - 1] == u':') return Text.substr(0, L - 1);
  if (L > 3 && Text.compare(L - 3, 3, u"...") == 0) return Text.substr(0, L - 3);
  return Text;
}

WideChar AcceleratorOf(const WideString& Text) {
  WideChar Result = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != u'&') continue;
    if (I + 1 >= Text.size()) break;
    ++I;  // past the "&": its follower is the candidate, or the second "&" of a pair
    if (Text[I] != u'&') Result = Text[I];
  }
  return Result;
}

WideChar LowerChar(WideChar Ch) {
  if (Ch < 0x80) return (Ch >= u'A' && Ch <= u'Z') ? static_cast<WideChar>(Ch + 32) : Ch;
  if (Ch >= 0xD800 && Ch <= 0xDFFF) return Ch;
  WideString L = WideLowerCase(WideString(1, Ch));
  return L.size() == 1 ? L[0] : Ch;
}

Integer MeasureTextWidth(HDC DC, const WideString& Text, bool StripPrefix) {
  return TextExtentOf(DC, StripPrefix ? StripAmpersands(Text) : Text).cx;
}

Integer DrawTextString(HDC DC, const WideString& Text, TRect& R, UINT Format) {
  return DrawTextW(DC, Text.c_str(), static_cast<Integer>(Text.size()), &R, Format);
}

TSize TextExtentOf(HDC DC, const WideString& Text) {
  TSize S(0, 0);
  GetTextExtentPoint32W(DC, Text.c_str(), static_cast<Integer>(Text.size()), &S);
  return S;
}

void TextOutString(HDC DC, Integer X, Integer Y, const WideString& Text) {
  TextOutW(DC, X, Y, Text.c_str(), static_cast<Integer>(Text.size()));
}

namespace {
Integer FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM Data) {
  *reinterpret_cast<bool*>(Data) = true;
  return 0;  // the first font is enough
}
}  // namespace

bool FontFaceExists(HDC DC, const WideString& Face) {
  bool Found = false;
  EnumFontsW(DC, Face.c_str(), FaceFound, reinterpret_cast<LPARAM>(&Found));
  return Found;
}

HFONT CreateVerticalFont(HDC DC) {
  HGDIOBJ Current = GetCurrentObject(DC, OBJ_FONT);
  LOGFONTW LF;
  if (!Current || GetObjectW(Current, sizeof(LF), &LF) == 0) return nullptr;
  LF.lfEscapement = 2700;
  LF.lfOrientation = 2700;
  LF.lfOutPrecision = OUT_TT_ONLY_PRECIS;
  // The bitmap face of old desktops cannot turn; its outline successor can.
  const WideString Face(LF.lfFaceName);
  if (WideSameText(Face, u"MS Sans Serif") || WideSameText(Face, u"Microsoft Sans Serif")) {
    const WideString Tahoma = u"Tahoma";
    std::fill(std::begin(LF.lfFaceName), std::end(LF.lfFaceName), WCHAR(0));
    std::copy(Tahoma.begin(), Tahoma.end(), LF.lfFaceName);
    TEXTMETRICW TM;
    if (GetTextMetricsW(DC, &TM)) LF.lfHeight = LF.lfHeight > 0 ? TM.tmHeight : TM.tmInternalLeading - TM.tmHeight;
  }
  return CreateFontIndirectW(&LF);
}

void DrawVerticalText(HDC DC, const WideString& Text, const TRect& R, UINT Format) {
  HFONT Font = CreateVerticalFont(DC);
  HGDIOBJ OldFont = Font ? SelectObject(DC, Font) : nullptr;
  TEXTMETRICW TM;
  GetTextMetricsW(DC, &TM);
  const Integer X0 = R.Left + (R.Width() - TM.tmHeight) / 2;
  const Integer Y = R.Top + (R.Height() - MeasureTextWidth(DC, Text, true)) / 2;
  // Remove the prefix characters; the last single one marks the underline.
  WideString S = Text;
  size_t Underline = 0;  // 1-based, 0 for none
  for (size_t I = 0; I < S.size(); ++I) {
    if (S[I] != u'&') continue;
    S.erase(I, 1);
    if (I >= S.size())
      Underline = 0;
    else if (S[I] != u'&')
      Underline = I + 1;
    // the character now at I (a kept "&" included) is stepped over
  }
  const UINT OldAlign = SetTextAlign(DC, TA_BOTTOM);
  TextOutString(DC, X0, Y, S);
  SetTextAlign(DC, OldAlign);
  if (Underline > 0 && !(Format & DT_HIDEPREFIX)) {
    const Integer Offset = TextExtentOf(DC, S.substr(0, Underline - 1)).cx;
    const Integer Length = TextExtentOf(DC, S.substr(Underline - 1, 1)).cx;
    const Integer X = X0 + TM.tmDescent - 2;
    HPEN Pen = CreatePen(PS_SOLID, 1, GetTextColor(DC));
    HGDIOBJ OldPen = SelectObject(DC, Pen);
    MoveToEx(DC, X, Y + Offset, nullptr);
    LineTo(DC, X, Y + Offset + Length);
    SelectObject(DC, OldPen);
    DeleteObject(Pen);
  }
  if (Font) {
    SelectObject(DC, OldFont);
    DeleteObject(Font);
  }
}

// ---------------------------------------------------------------- drawing

HRGN CreateFrameRegion(const TRect& R, const TSize& Size) {
  if (IsRectEmpty(R)) return CreateRectRgn(0, 0, 0, 0);
  HRGN Result = CreateRectRgnIndirect(&R);
  TRect Inner = R;
  InflateRect(Inner, -Size.cx, -Size.cy);
  if (!Result || IsRectEmpty(Inner)) return Result;
  HRGN Hole = CreateRectRgnIndirect(&Inner);
  CombineRgn(Result, Result, Hole, RGN_XOR);
  DeleteObject(Hole);
  return Result;
}

void InvertRectFrames(HDC DC, const TRect& NewRect, const TRect& OldRect, const TSize& NewSize, const TSize& OldSize,
                      HBRUSH Brush) {
  HRGN Region = CreateFrameRegion(NewRect, NewSize);
  if (!Region) return;
  if (HRGN Old = CreateFrameRegion(OldRect, OldSize)) {
    CombineRgn(Region, Region, Old, RGN_XOR);
    DeleteObject(Old);
  }
  {
    TSavedDC Saved(DC);
    SelectClipRgn(DC, Region);
    TRect Box;
    GetClipBox(DC, &Box);
    SelectObject(DC, Brush);
    PatBlt(DC, Box.Left, Box.Top, Box.Width(), Box.Height(), PATINVERT);
  }
  DeleteObject(Region);
}

HBITMAP CreateMonoBitmap(Integer Width, Integer Height, const void* Bits) {
  return CreateBitmap(Width, Height, 1, 1, Bits);
}

HBRUSH CreateCheckerBrush() {
  HBITMAP Bitmap = CreateMonoBitmap(8, 8, CheckerPattern);
  HBRUSH Brush = CreatePatternBrush(Bitmap);
  DeleteObject(Bitmap);
  return Brush;
}

void DrawCheckerFrames(HDC DC, const TRect& NewRect, const TRect& OldRect, const TSize& NewSize,
                       const TSize& OldSize) {
  HBRUSH Brush = CreateCheckerBrush();
  InvertRectFrames(DC, NewRect, OldRect, NewSize, OldSize, Brush);
  DeleteObject(Brush);
}

bool GradientFillAvailable() { return true; }

void FillSolid(HDC DC, const TRect& R, COLORREF Colour) {
  HBRUSH B = CreateSolidBrush(Colour);
  TRect Copy = R;
  FillRect(DC, &Copy, B);
  DeleteObject(B);
}

void FillGradientRect(HDC DC, const TRect& R, TColor Color1, bool Horizontal, TColor Color2) {
  if (!GradientFillAvailable()) return;
  const Integer C1 = ColorToRGB(Color1), C2 = ColorToRGB(Color2);
  TRIVERTEX V[2];
  V[0].x = R.Left;
  V[0].y = R.Top;
  V[0].Red = static_cast<WORD>((C1 & 0xFF) << 8);
  V[0].Green = static_cast<WORD>(((C1 >> 8) & 0xFF) << 8);
  V[0].Blue = static_cast<WORD>(((C1 >> 16) & 0xFF) << 8);
  V[1].x = R.Right;
  V[1].y = R.Bottom;
  V[1].Red = static_cast<WORD>((C2 & 0xFF) << 8);
  V[1].Green = static_cast<WORD>(((C2 >> 8) & 0xFF) << 8);
  V[1].Blue = static_cast<WORD>(((C2 >> 16) & 0xFF) << 8);
  GRADIENT_RECT GR;
  GR.UpperLeft = 0;
  GR.LowerRight = 1;
  GradientFill(DC, V, 2, &GR, 1, Horizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

void DrawSmallCaption(HWND, HDC DC, const TRect& R, bool Active, const WideString& Text) {
  if (R.Left >= R.Right) return;
  const Integer A = Active ? 1 : 0;
  if (SystemFlag(SpiGetGradientCaptions, false) && GradientFillAvailable() &&
      GetSysColor(CaptionBackground[A]) != GetSysColor(CaptionGradient[A]))
    FillGradientRect(DC, R, SysColor(CaptionBackground[A]), true, SysColor(CaptionGradient[A]));
  else
    FillRect(DC, &R, GetSysColorBrush(CaptionBackground[A]));
  TRect T = R;
  T.Left += GetSystemMetrics(SM_CXEDGE);
  NONCLIENTMETRICSW Metrics;
  if (T.Left >= T.Right || !ReadNonClientMetrics(Metrics)) return;
  HFONT Font = CreateFontIndirectW(&Metrics.lfSmCaptionFont);
  HGDIOBJ OldFont = SelectObject(DC, Font);
  const COLORREF OldColor = SetTextColor(DC, GetSysColor(CaptionText[A]));
  const Integer OldMode = SetBkMode(DC, TRANSPARENT);
  DrawTextString(DC, Text, T, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  SetBkMode(DC, OldMode);
  SetTextColor(DC, OldColor);
  SelectObject(DC, OldFont);
  DeleteObject(Font);
}

void RepaintBuffered(HWND Wnd) {
  TRect Client;
  if (IsWindowVisible(Wnd) && GetClientRect(Wnd, &Client) && !IsRectEmpty(Client)) {
    ValidateRect(Wnd, nullptr);
    HDC DC = GetDC(Wnd);
    TRect Clip, Area;
    GetClipBox(DC, &Clip);
    if (DC && IntersectRect(Area, Clip, Client)) {
      HBITMAP Bitmap = CreateCompatibleBitmap(DC, Area.Width(), Area.Height());
      HDC Mem = Bitmap ? CreateCompatibleDC(DC) : nullptr;
      if (Mem) {
        HGDIOBJ Old = SelectObject(Mem, Bitmap);
        SetWindowOrgEx(Mem, Area.Left, Area.Top, nullptr);
        SendMessage(Wnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(Mem), 0);
        SendMessage(Wnd, WM_PAINT, reinterpret_cast<WPARAM>(Mem), 0);
        SetWindowOrgEx(Mem, 0, 0, nullptr);
        BitBlt(DC, Area.Left, Area.Top, Area.Width(), Area.Height(), Mem, 0, 0, SRCCOPY);
        SelectObject(Mem, Old);
        DeleteDC(Mem);
        DeleteObject(Bitmap);
        ReleaseDC(Wnd, DC);
        return;
      }
      if (Bitmap) DeleteObject(Bitmap);
    }
    if (DC) ReleaseDC(Wnd, DC);
  }
  InvalidateRect(Wnd, nullptr, TRUE);
}

// ---------------------------------------------------------------- system settings

Integer MenuPopupDelay() {
  // The desktop setting only; there is no second store to fall back on.
  UINT Delay = 400;
  if (!SystemParametersInfo(SPI_GETMENUSHOWDELAY, 0, &Delay, 0)) Delay = 400;
  const Integer Result = static_cast<Integer>(Delay);
  return Result < 0 ? 0 : Result;
}

bool FlatMenusActive() { return WindowsXPOrLater() && SystemFlag(SPI_GETFLATMENU, false); }

bool KeyboardCuesShown() { return SystemFlag(SpiGetKeyboardCues, true); }

bool SystemFlag(UINT Action, bool Default) {
  BOOL Value = FALSE;
  if (!SystemParametersInfo(Action, 0, &Value, 0)) return Default;
  return Value != FALSE;
}

bool ReadNonClientMetrics(NONCLIENTMETRICSW& Metrics) {
  Metrics.cbSize = sizeof(NONCLIENTMETRICSW);
  return SystemParametersInfo(SPI_GETNONCLIENTMETRICS, sizeof(NONCLIENTMETRICSW), &Metrics, 0) != FALSE;
}

bool WindowsXPOrLater() { return IsWindowsXPOrLater; }

Integer MinInt(Integer A, Integer B) { return A < B ? A : B; }

bool SamePoint(const TPoint& A, const TPoint& B) { return A.X == B.X && A.Y == B.Y; }

// ---------------------------------------------------------------- screen areas

void DesktopArea(bool UseWorkArea, TRect& R) {
  if (UseWorkArea && SystemParametersInfo(SPI_GETWORKAREA, 0, &R, 0)) return;
  R = TRect(0, 0, Screen->Width(), Screen->Height());
}

bool SeveralMonitors() { return Screen->MonitorCount() > 1; }

bool MonitorArea(Integer Monitor, bool UseWorkArea, TRect& R) {
  if (Monitor < 0 || Monitor >= Screen->MonitorCount()) return false;
  const TMonitor M = Screen->Monitors(Monitor);
  R = UseWorkArea ? M.WorkareaRect : M.BoundsRect;
  return true;
}

void MonitorAreaOfRect(const TRect& Rect, bool UseWorkArea, TRect& R) {
  if (!SeveralMonitors()) return DesktopArea(UseWorkArea, R);
  // The monitor sharing the largest area with the rectangle, else the one
  // nearest to its centre.
  Integer Best = -1;
  int64_t BestArea = 0;
  for (Integer I = 0; I < Screen->MonitorCount(); ++I) {
    TRect Common;
    if (!IntersectRect(Common, Rect, Screen->Monitors(I).BoundsRect)) continue;
    const int64_t Area = static_cast<int64_t>(Common.Width()) * Common.Height();
    if (Area > BestArea) {
      BestArea = Area;
      Best = I;
    }
  }
  if (Best >= 0 && MonitorArea(Best, UseWorkArea, R)) return;
  MonitorAreaOfPoint(TPoint(Rect.Left + Rect.Width() / 2, Rect.Top + Rect.Height() / 2), UseWorkArea, R);
}

void MonitorAreaOfPoint(const TPoint& Point, bool UseWorkArea, TRect& R) {
  if (!SeveralMonitors()) return DesktopArea(UseWorkArea, R);
  const TMonitor M = Screen->MonitorFromPoint(Point);
  R = UseWorkArea ? M.WorkareaRect : M.BoundsRect;
}

// ---------------------------------------------------------------- mouse, foreground and sound

void LoadTrackMouseEvent() {}

bool StartMouseTracking(HWND, DWORD) { return false; }

void ForegroundLock(bool) {}

bool SoundEventConfigured(const WideString& Alias) { return GtSoundEventConfigured(WideToUtf8(Alias)); }

void PlaySoundEvent(const WideString& Alias) { GtPlaySoundEvent(WideToUtf8(Alias)); }
