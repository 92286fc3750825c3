// What the rich text editor does with keys, the mouse, the clipboard and the
// font and colour dialogs, and the one-line edit's two key handlers.
#include <algorithm>
#include <cstring>

#include "imaging/view/ietextcontrol.h"
#include "platform/base/strutils.h"
#include "platform/ui/choosedialogs.h"
#include "platform/ui/clipbrd.h"

namespace ietextcontrol_input {
namespace {

bool IsWordByte(char C) { return static_cast<Byte>(C) > 32; }

// The special keys the editor handles itself instead of the dialog navigation:
// Tab, Page Up/Down, End, Home and the arrows.
bool IsEditorKey(WPARAM Key) { return Key == VK_TAB || (Key >= 33 && Key <= 40); }

}  // namespace
}  // namespace ietextcontrol_input

using namespace ietextcontrol_input;

// ---------------------------------------------------------------- caret geometry

Integer TIETextControl::LineStartOf(Integer Index) {
  EnsureLayout();
  Integer C = std::clamp(Index, 0, TextLength);
  const Integer Y = FCaches[static_cast<size_t>(C)].Y;
  while (C > 0 && FCaches[static_cast<size_t>(C) - 1].Y == Y && (*Text)[static_cast<size_t>(C) - 1] != '\n') --C;
  return C;
}

Integer TIETextControl::LineEndOf(Integer Index) {
  EnsureLayout();
  Integer C = std::clamp(Index, 0, TextLength);
  const Integer Y = FCaches[static_cast<size_t>(C)].Y;
  // Stops before the byte 10 that ends a paragraph, or on the last character
  // of a wrapped line (the position after it is the next line's start).
  while (C < TextLength && (*Text)[static_cast<size_t>(C)] != '\n' && FCaches[static_cast<size_t>(C) + 1].Y == Y) ++C;
  return C;
}

Integer TIETextControl::VerticalTarget(bool Down) {
  EnsureLayout();
  const TCharCache& At = FCaches[static_cast<size_t>(std::clamp(CaretPos, 0, TextLength))];
  bool Found = false;
  Integer LineY = 0;
  for (const TCharCache& Cell : FCaches) {
    if (Down ? Cell.Y <= At.Y : Cell.Y >= At.Y) continue;
    if (!Found || (Down ? Cell.Y < LineY : Cell.Y > LineY)) LineY = Cell.Y;
    Found = true;
  }
  if (!Found) return CaretPos;
  Integer Best = -1, BestDist = 0;
  for (Integer i = 0; i <= TextLength; ++i) {
    const TCharCache& Cell = FCaches[static_cast<size_t>(i)];
    if (Cell.Y != LineY) continue;
    const Integer D = std::abs(Cell.X - At.X);
    if (Best < 0 || D < BestDist) {  // ties keep the first candidate
      Best = i;
      BestDist = D;
    }
  }
  return Best < 0 ? CaretPos : Best;
}

Integer TIETextControl::PointToCaret(Integer X, Integer Y) {
  EnsureLayout();
  Integer C = 0;
  for (Integer i = 0; i <= TextLength; ++i)
    if (FCaches[static_cast<size_t>(i)].Y <= Y) C = i;
  // Back along the same line while the point lies left of the character.
  while (C > 0 && X < FCaches[static_cast<size_t>(C)].X - 1 &&
         FCaches[static_cast<size_t>(C) - 1].Y == FCaches[static_cast<size_t>(C)].Y)
    --C;
  return C;
}

void TIETextControl::AfterCaretMove(Integer Previous, bool Shift) {
  if (Shift) {
    if (SelStart >= SelEnd) {
      SelStart = Previous;
      SelEnd = CaretPos;
    } else if (SelStart == Previous) {
      SelStart = CaretPos;
    } else if (SelEnd == Previous) {
      SelEnd = CaretPos;
    }
    if (SelEnd < SelStart) std::swap(SelStart, SelEnd);
  } else {
    SelStart = SelEnd = 0;
  }
  CurrentFormatFromCaret();
}

// ---------------------------------------------------------------- keys

void TIETextControl::KeyDown(Word& Key, TShiftState Shift) {
  HandleKey(Key, Shift);
  TCustomControl::KeyDown(Key, Shift);
}

void TIETextControl::HandleKey(Word Key, TShiftState Shift) {
  const bool Ctrl = Shift.Contains(ssCtrl), Sh = Shift.Contains(ssShift);
  const Integer Previous = CaretPos;
  const char* T = Text ? Text->data() : "";
  const Integer N = Text ? TextLength : 0;
  bool CaretKey = false;
  switch (Key) {
    case VK_BACK:
      if (SelStart < SelEnd) {
        DeleteSelection();
      } else if (CaretPos > 0) {
        const Integer C = CaretPos - 1;
        DeleteChar(C);
        CaretPos = C;
      }
      Refresh();
      break;
    case VK_RETURN:
      InsertChar('\n');
      Refresh();
      break;
    case VK_DELETE:
      if (SelStart < SelEnd)
        DeleteSelection();
      else
        DeleteChar(CaretPos);
      Refresh();
      break;
    case VK_INSERT: InsertMode = !InsertMode; break;
    case VK_LEFT:
      CaretKey = true;
      if (Ctrl) {
        Integer C = CaretPos;
        while (C > 0 && !IsWordByte(T[C - 1])) --C;
        while (C > 0 && IsWordByte(T[C - 1])) --C;
        CaretPos = std::clamp(C, 0, std::max(N - 1, 0));
      } else if (CaretPos > 0) {
        --CaretPos;
      }
      break;
    case VK_RIGHT:
      CaretKey = true;
      if (Ctrl) {
        Integer C = CaretPos;
        while (C < N && IsWordByte(T[C])) ++C;
        while (C < N && !IsWordByte(T[C])) ++C;
        CaretPos = std::clamp(C, 0, std::max(N - 1, 0));
      } else if (CaretPos < N) {
        ++CaretPos;
      }
      break;
    case VK_UP:
    case VK_DOWN:
      CaretKey = true;
      if (N > 0) CaretPos = VerticalTarget(Key == VK_DOWN);
      break;
    case VK_HOME:
      CaretKey = true;
      CaretPos = Ctrl || N == 0 ? 0 : LineStartOf(CaretPos);
      break;
    case VK_END:
      CaretKey = true;
      CaretPos = Ctrl || N == 0 ? N : LineEndOf(CaretPos);
      break;
    case VK_F1:
    case VK_F2:
      if (Sh) {
        if (Key == VK_F1)
          ShrinkFont();
        else
          GrowFont();
        Refresh();
      }
      break;
    default:
      if (!Ctrl) break;
      if (Key == IETextShortcuts.AlignLeft || Key == IETextShortcuts.AlignRight || Key == IETextShortcuts.AlignCenter ||
          Key == IETextShortcuts.Justify) {
        SetAlignment(Key == IETextShortcuts.AlignLeft    ? 0
                     : Key == IETextShortcuts.AlignRight ? 1
                     : Key == IETextShortcuts.AlignCenter ? 2
                                                          : 3);
        Refresh();
      } else if (Key == IETextShortcuts.Copy) {
        CopyToClipboard();
      } else if (Key == IETextShortcuts.Cut) {
        // Only what reached the clipboard may leave the text.
        if (CopyToClipboard()) DeleteSelection();
        Refresh();
      } else if (Key == IETextShortcuts.Paste) {
        PasteFromClipboard();
        Refresh();
      } else if (Key == IETextShortcuts.FontDialog) {
        if (!FSingleFormat) {
          TFont F;
          F.SetName(AnsiToWide(FCurrentFormat->FontName(), CodePage()));
          F.SetHeight(FCurrentFormat->Height);
          F.SetStyle(FCurrentFormat->FontStyles());
          F.SetColor(FCurrentFormat->Color);
          if (GtChooseFont(HandleAllocated() ? Handle() : nullptr, &F)) {
            SetFont(&F);
            Refresh();
          }
        }
      } else if (Key == IETextShortcuts.BackColorDialog) {
        if (!FSingleFormat) {
          TColor C = FCurrentFormat->BackColor;
          if (GtChooseColor(HandleAllocated() ? Handle() : nullptr, C)) {
            SetBackColor(C);
            Refresh();
          }
        }
      } else if (Key == IETextShortcuts.Bold || Key == IETextShortcuts.Italic || Key == IETextShortcuts.Underline) {
        ToggleStyle(Key == IETextShortcuts.Bold ? ietfBold : Key == IETextShortcuts.Italic ? ietfItalic : ietfUnderline);
        Refresh();
      }
      break;
  }
  if (CaretKey && CaretPos != Previous) {
    AfterCaretMove(Previous, Sh);
    Refresh();
  }
}

void TIETextControl::KeyPress(WideChar& Key) {
  if (Key >= 32 && Key != 127) {
    const AnsiString A = WideToAnsi(WideString(1, Key), CodePage());
    DeleteSelection();
    if (!InsertMode) DeleteChar(CaretPos);
    InsertChar(A.empty() ? '?' : A[0]);
    Refresh();
  }
  TCustomControl::KeyPress(Key);
}

void TIETextControl::CMWantSpecialKey(TMessage& Message) {
  if (IsEditorKey(Message.WParam)) {
    Message.Result = 1;
    return;
  }
  TCustomControl::CMWantSpecialKey(Message);
}

void TIETextControl::Dispatch(TMessage& Message) {
  Word Key = 0;
  switch (Message.Msg) {
    case WM_CUT: Key = IETextShortcuts.Cut; break;
    case WM_COPY: Key = IETextShortcuts.Copy; break;
    case WM_PASTE: Key = IETextShortcuts.Paste; break;
    default: TCustomControl::Dispatch(Message); return;
  }
  HandleKey(Key, TShiftState{ssCtrl});
  Message.Result = 0;
}

// ---------------------------------------------------------------- mouse

void TIETextControl::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  // The second press of a double click comes after DblClick has selected the
  // word; handling it as a press would empty that selection again.
  if (Shift.Contains(ssDouble)) {
    TCustomControl::MouseDown(Button, Shift, X, Y);
    return;
  }
  if (CanFocus()) SetFocus();
  if (Shift.Contains(ssShift)) {
    const Integer A = PointToCaret(FClickPoint.X, FClickPoint.Y), B = PointToCaret(X, Y);
    SelStart = std::min(A, B);
    SelEnd = std::max(A, B);
    CaretPos = B;
  } else {
    SelStart = SelEnd = 0;
    CaretPos = PointToCaret(X, Y);
  }
  FClickPoint = TPoint(X, Y);
  CurrentFormatFromCaret();
  Refresh();
  if (OnCursorMoved) OnCursorMoved(this);
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TIETextControl::MouseMove(TShiftState Shift, Integer X, Integer Y) {
  if (Shift.Contains(ssLeft)) {
    const Integer A = PointToCaret(FClickPoint.X, FClickPoint.Y), B = PointToCaret(X, Y);
    if (std::min(A, B) != SelStart || std::max(A, B) != SelEnd || CaretPos != B) {
      SelStart = std::min(A, B);
      SelEnd = std::max(A, B);
      CaretPos = B;
      CurrentFormatFromCaret();
      Refresh();
    }
    if (OnCursorMoved) OnCursorMoved(this);
  }
  TCustomControl::MouseMove(Shift, X, Y);
}

void TIETextControl::DblClick() {
  if (Text && TextLength > 0) {
    const char* T = Text->data();
    Integer S = std::clamp(CaretPos, 0, TextLength), E = S;
    while (S > 0 && IsWordByte(T[S - 1])) --S;
    while (E < TextLength && IsWordByte(T[E])) ++E;
    SelStart = S;
    SelEnd = E;
    Refresh();
  }
  TCustomControl::DblClick();
}

// ---------------------------------------------------------------- clipboard

bool IEParseTextMemoBlock(const Byte* Data, size_t Size, AnsiString& Text, TIETextFormatList& Formats) {
  Text.clear();
  Formats.clear();
  if (!Data) return false;
  const Byte* Zero = static_cast<const Byte*>(std::memchr(Data, 0, Size));
  if (!Zero) return false;
  const size_t N = static_cast<size_t>(Zero - Data);
  // N < Size here, so N + 1 + 280 N cannot overflow before it is compared.
  if ((Size - N - 1) / sizeof(TIETextFormat) < N) return false;
  Text.assign(reinterpret_cast<const char*>(Data), N);
  Formats.resize(N);
  for (size_t i = 0; i < N; ++i) {
    TIETextFormat F;
    std::memcpy(&F, Data + N + 1 + i * sizeof(TIETextFormat), sizeof(TIETextFormat));
    // Only the fields travel: padding, the name's tail and values outside
    // their ranges are made canonical, so equal formats stay equal.
    TIETextFormat& Out = Formats[i];
    Out.SetFontName(F.FontName());
    Out.Height = F.Height;
    Out.Style = F.Style & 0x0F;
    Out.Color = F.Color;
    Out.BackColor = F.BackColor;
    Out.BrushStyle = F.BrushStyle <= bsDiagCross ? F.BrushStyle : static_cast<Byte>(bsSolid);
    Out.Alignment = F.Alignment <= 3 ? F.Alignment : 0;
  }
  return true;
}

bool TIETextControl::CopyToClipboard() {
  if (!Text || SelStart >= SelEnd) return false;
  const Integer From = std::clamp(SelStart, 0, TextLength), To = std::clamp(SelEnd, 0, TextLength);
  if (From >= To) return false;
  if (!OpenClipboard(HandleAllocated() ? Handle() : nullptr)) return false;
  EnsureText();
  const size_t N = static_cast<size_t>(To - From);
  // Plain text keeps the platform's line ends (LF); the private block keeps
  // the bytes exactly, and a paste drops CR either way.
  std::vector<Byte> Plain(Text->begin() + From, Text->begin() + To);
  Plain.push_back(0);
  std::vector<Byte> Memo(N + 1 + sizeof(TIETextFormat) * N, 0);
  std::memcpy(Memo.data(), Text->data() + From, N);
  for (size_t i = 0; i < N; ++i) {
    const Integer F = (*CharFormats)[static_cast<size_t>(From) + i];
    const TIETextFormat& Fm =
        F >= 0 && F < static_cast<Integer>(Formats->size()) ? (*Formats)[static_cast<size_t>(F)] : *FCurrentFormat;
    std::memcpy(Memo.data() + N + 1 + i * sizeof(TIETextFormat), &Fm, sizeof(TIETextFormat));
  }
  auto Block = [](const std::vector<Byte>& Bytes) {
    HGLOBAL H = GlobalAlloc(GMEM_MOVEABLE, Bytes.size());
    if (H) {
      std::memcpy(GlobalLock(H), Bytes.data(), Bytes.size());
      GlobalUnlock(H);
    }
    return H;
  };
  EmptyClipboard();
  bool Ok = true;
  for (auto [Format, Bytes] : {std::pair<UINT, const std::vector<Byte>*>{CF_TEXT, &Plain},
                               std::pair<UINT, const std::vector<Byte>*>{IETextCMemoFormat(), &Memo}}) {
    HGLOBAL H = Block(*Bytes);
    if (!H || !SetClipboardData(Format, H)) {
      if (H) GlobalFree(H);
      Ok = false;
    }
  }
  CloseClipboard();
  return Ok;
}

bool TIETextControl::PasteFromClipboard() {
  if (!OpenClipboard(HandleAllocated() ? Handle() : nullptr)) return false;
  AnsiString Bytes;
  TIETextFormatList Fmts;
  bool Have = false;
  auto Read = [](UINT Format, std::vector<Byte>& Out) {
    HGLOBAL H = GetClipboardData(Format);
    if (!H) return false;
    const size_t Size = GlobalSize(H);
    const void* P = GlobalLock(H);
    if (P && Size) Out.assign(static_cast<const Byte*>(P), static_cast<const Byte*>(P) + Size);
    if (P) GlobalUnlock(H);
    return P != nullptr;
  };
  std::vector<Byte> Raw;
  const UINT Memo = IETextCMemoFormat();
  if (IsClipboardFormatAvailable(Memo) && Read(Memo, Raw)) Have = IEParseTextMemoBlock(Raw.data(), Raw.size(), Bytes, Fmts);
  if (!Have && IsClipboardFormatAvailable(CF_TEXT) && Read(CF_TEXT, Raw)) {
    Fmts.clear();
    Bytes.clear();
    for (Byte B : Raw) {
      if (B == 0) break;
      if (B != 13) Bytes += static_cast<char>(B);
    }
    Have = true;
  }
  CloseClipboard();
  if (!Have) return false;
  DeleteSelection();
  for (size_t i = 0; i < Bytes.size(); ++i) {
    if (!Fmts.empty()) *FCurrentFormat = Fmts[i];
    InsertChar(Bytes[i]);
  }
  return true;
}

// ---------------------------------------------------------------- TIEEdit

void TIEEdit::CMWantSpecialKey(TMessage& Message) {
  if (IsEditorKey(Message.WParam)) {
    Message.Result = 1;
    return;
  }
  TEdit::CMWantSpecialKey(Message);
}

void TIEEdit::KeyPress(WideChar& Key) {
  if (Key == u'\t') {
    Key = 0;
    return;
  }
  TEdit::KeyPress(Key);
}
