// The rich text editor's data, format bookkeeping, editing operations, layout
// and drawing. Keys, mouse, clipboard and dialogs are in ietextcontrol_input.cpp.
#include "imaging/view/ietextcontrol.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/core/base/iestartup.h"
#include "platform/base/strutils.h"
#include "platform/ui/clipbrd.h"

namespace ietextcontrol {
namespace {

UINT g_MemoFormat = 0;

const TIEStartupRegistrar g_TextCStartup(iessTextC, "IETextCInitialize", IETextCInitialize, IETextCFinalize);

int16_t Clamp16(Integer V) { return static_cast<int16_t>(std::clamp<Integer>(V, 0, 32767)); }
Byte Clamp8(Integer V) { return static_cast<Byte>(std::clamp<Integer>(V, 0, 255)); }

}  // namespace
}  // namespace ietextcontrol

using namespace ietextcontrol;

TIETextShortcuts IETextShortcuts;

void IETextCInitialize() { g_MemoFormat = RegisterClipboardFormat(u"ZIDUZUV TEXTMEMO"); }
void IETextCFinalize() {}

UINT IETextCMemoFormat() {
  // The same name always gives the same number, so a control used before the
  // library's start-up still agrees with every other user of the format.
  if (!g_MemoFormat) g_MemoFormat = RegisterClipboardFormat(u"ZIDUZUV TEXTMEMO");
  return g_MemoFormat;
}

// ---------------------------------------------------------------- TIETextFormat

AnsiString TIETextFormat::FontName() const {
  return AnsiString(reinterpret_cast<const char*>(Name + 1), Name[0]);
}

void TIETextFormat::SetFontName(const AnsiString& Value) {
  std::memset(Name, 0, sizeof(Name));
  const size_t N = std::min<size_t>(Value.size(), 255);
  Name[0] = static_cast<Byte>(N);
  std::memcpy(Name + 1, Value.data(), N);
}

TFontStyles TIETextFormat::FontStyles() const {
  TFontStyles S;
  for (TFontStyle F : {fsBold, fsItalic, fsUnderline, fsStrikeOut})
    if (Style & (1u << F)) S.Include(F);
  return S;
}

bool TIETextFormat::SameFormat(const TIETextFormat& Other) const {
  return std::memcmp(reinterpret_cast<const Byte*>(this) + 4, reinterpret_cast<const Byte*>(&Other) + 4,
                     sizeof(TIETextFormat) - 4) == 0;
}

// ---------------------------------------------------------------- construction

TIETextControl::TIETextControl(TComponent* AOwner)
    : TCustomControl(AOwner),
      FTextBrush(std::make_unique<TBrush>()),
      FBorderPen(std::make_unique<TPen>()),
      FBackgroundBrush(std::make_unique<TBrush>()),
      FBackBuffer(std::make_unique<TBitmap>()),
      FCurrentFormat(std::make_unique<TIETextFormat>()) {
  SetParentFont(false);
  FBackBuffer->SetPixelFormat(pf24bit);
  FControlStyle.Include(csOpaque);
  if (AOwner) SetCursor(crIBeam);
  SetTabStop(true);
}

TIETextControl::~TIETextControl() = default;

void TIETextControl::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  // Resizing repaints only what the layout changes, not the whole window.
  Params.WindowClass.style &= ~static_cast<DWORD>(CS_HREDRAW | CS_VREDRAW);
}

Integer TIETextControl::CodePage() const { return CharsetToCodePage(Font()->Charset()); }

void TIETextControl::BuildDefaultFormat(TIETextFormat& F) const {
  F = TIETextFormat();
  F.SetFontName(WideToAnsi(Font()->Name(), CodePage()));
  F.Height = Font()->Height();
  F.Style = Font()->Style().Bits();
  F.Color = Font()->Color();
  F.BackColor = FTextBrush->Color();
  F.BrushStyle = FTextBrush->Style();
  F.Alignment = Alignment;
}

void TIETextControl::EnsureText() {
  if (!Text) {
    FOwnText = std::make_unique<AnsiString>();
    Text = FOwnText.get();
  }
  if (!CharFormats) {
    FOwnCharFormats = std::make_unique<std::vector<Integer>>();
    CharFormats = FOwnCharFormats.get();
  }
  if (!Formats) {
    FOwnFormats = std::make_unique<TIETextFormatList>();
    Formats = FOwnFormats.get();
  }
  CharFormats->resize(static_cast<size_t>(TextLength), 0);
}

void TIETextControl::Init() {
  SelStart = SelEnd = 0;
  CaretPos = 0;
  TextLength = Text ? static_cast<Integer>(Text->size()) : 0;
  if (!CharFormats) {
    FOwnCharFormats = std::make_unique<std::vector<Integer>>(static_cast<size_t>(TextLength), 0);
    CharFormats = FOwnCharFormats.get();
  }
  CharFormats->resize(static_cast<size_t>(TextLength), 0);
  if (!Formats) {
    FOwnFormats = std::make_unique<TIETextFormatList>();
    Formats = FOwnFormats.get();
    if (TextLength > 0) {
      TIETextFormat F;
      BuildDefaultFormat(F);
      F.RefCount = TextLength;
      Formats->push_back(F);
    }
  }
  // Indexes that name no entry (a damaged buffer handed in) fall back to the
  // first entry, or to a new default one, so the invariant holds.
  for (Integer& Ix : *CharFormats)
    if (Ix < 0 || Ix >= static_cast<Integer>(Formats->size())) {
      if (Formats->empty()) {
        TIETextFormat F;
        BuildDefaultFormat(F);
        Formats->push_back(F);
      }
      Ix = 0;
    }
  FCaches.assign(static_cast<size_t>(TextLength) + 1, TCharCache());
  BuildDefaultFormat(*FCurrentFormat);
  Invalidate();
}

void TIETextControl::SetSingleFormat(bool Value) {
  FSingleFormat = Value;
  Update();
}

// ---------------------------------------------------------------- format bookkeeping

Integer TIETextControl::AddFormat(const TIETextFormat& Format) {
  for (size_t i = 0; i < Formats->size(); ++i)
    if ((*Formats)[i].SameFormat(Format)) return static_cast<Integer>(i);
  TIETextFormat F = Format;
  F.RefCount = 0;
  Formats->push_back(F);
  return static_cast<Integer>(Formats->size()) - 1;
}

void TIETextControl::GiveFormat(Integer Index, const TIETextFormat& Format) {
  const Integer F = AddFormat(Format);
  (*CharFormats)[static_cast<size_t>(Index)] = F;
  ++(*Formats)[static_cast<size_t>(F)].RefCount;
}

void TIETextControl::ReleaseFormat(Integer Index) {
  const Integer F = (*CharFormats)[static_cast<size_t>(Index)];
  if (F < 0 || F >= static_cast<Integer>(Formats->size())) return;
  Integer& Count = (*Formats)[static_cast<size_t>(F)].RefCount;
  if (Count > 0) --Count;
}

void TIETextControl::CompactFormats() {
  if (!Formats || !CharFormats) return;
  std::vector<Integer> NewIndex(Formats->size(), -1);
  TIETextFormatList Kept;
  for (size_t i = 0; i < Formats->size(); ++i)
    if ((*Formats)[i].RefCount > 0) {
      NewIndex[i] = static_cast<Integer>(Kept.size());
      Kept.push_back((*Formats)[i]);
    }
  // A character whose entry had a count of 0 (the counts of re-formatted
  // characters are not kept exact) keeps an entry: the nearest kept one below.
  for (Integer& Ix : *CharFormats) {
    if (Ix < 0 || Ix >= static_cast<Integer>(NewIndex.size())) {
      Ix = 0;
      continue;
    }
    if (NewIndex[static_cast<size_t>(Ix)] < 0) {
      const TIETextFormat Lost = (*Formats)[static_cast<size_t>(Ix)];
      Kept.push_back(Lost);
      Kept.back().RefCount = 0;
      NewIndex[static_cast<size_t>(Ix)] = static_cast<Integer>(Kept.size()) - 1;
    }
    Ix = NewIndex[static_cast<size_t>(Ix)];
  }
  *Formats = std::move(Kept);
}

void TIETextControl::CurrentFormatFromCaret() {
  if (TextLength <= 0 || !CharFormats || !Formats) return;
  const Integer i = std::clamp(CaretPos - 1, 0, TextLength - 1);
  const Integer F = (*CharFormats)[static_cast<size_t>(i)];
  if (F < 0 || F >= static_cast<Integer>(Formats->size())) return;
  *FCurrentFormat = (*Formats)[static_cast<size_t>(F)];
  FCurrentFormat->RefCount = 0;
}

// ---------------------------------------------------------------- editing

void TIETextControl::ClearCaches(Integer From) {
  FCaches.resize(static_cast<size_t>(std::max(TextLength, 0)) + 1);
  for (size_t i = static_cast<size_t>(std::max(From, 0)); i < FCaches.size(); ++i) FCaches[i] = TCharCache();
}

void TIETextControl::ResizeCaches() {
  if (FCaches.size() != static_cast<size_t>(TextLength) + 1) FCaches.resize(static_cast<size_t>(TextLength) + 1);
}

void TIETextControl::InsertChar(char Ch) {
  EnsureText();
  CaretPos = std::clamp(CaretPos, 0, TextLength);
  const size_t At = static_cast<size_t>(CaretPos);
  Text->insert(Text->begin() + static_cast<std::ptrdiff_t>(At), Ch);
  CharFormats->insert(CharFormats->begin() + static_cast<std::ptrdiff_t>(At), 0);
  FCaches.insert(FCaches.begin() + static_cast<std::ptrdiff_t>(std::min(At, FCaches.size())), TCharCache());
  ++TextLength;
  GiveFormat(CaretPos, *FCurrentFormat);
  ClearCaches(CaretPos);
  ++CaretPos;
}

void TIETextControl::DeleteChar(Integer Index) {
  if (!Text || Index < 0 || Index >= TextLength) return;
  ReleaseFormat(Index);
  Text->erase(static_cast<size_t>(Index), 1);
  CharFormats->erase(CharFormats->begin() + Index);
  --TextLength;
  ClearCaches(Index);
  if (CaretPos > TextLength) CaretPos = TextLength;
}

void TIETextControl::DeleteSelection() {
  if (SelStart >= SelEnd) return;
  const Integer From = std::clamp(SelStart, 0, TextLength), To = std::clamp(SelEnd, 0, TextLength);
  for (Integer i = To - 1; i >= From; --i) DeleteChar(i);
  CaretPos = From;
  SelStart = SelEnd = 0;
}

template <class F>
void TIETextControl::ChangeSelection(F Change) {
  if (Text && SelStart < SelEnd) {
    EnsureText();
    const Integer From = std::clamp(SelStart, 0, TextLength), To = std::clamp(SelEnd, 0, TextLength);
    for (Integer i = From; i < To; ++i) {
      const Integer Old = (*CharFormats)[static_cast<size_t>(i)];
      TIETextFormat Fm = Old >= 0 && Old < static_cast<Integer>(Formats->size()) ? (*Formats)[static_cast<size_t>(Old)]
                                                                                 : *FCurrentFormat;
      Change(Fm);
      // The old entry's count is left as it is; CompactFormats settles it.
      GiveFormat(i, Fm);
    }
    ClearCaches(From);
  }
  Change(*FCurrentFormat);
}

void TIETextControl::SetFont(TFont* Value) {
  const AnsiString Name = WideToAnsi(Value->Name(), CodePage());
  ChangeSelection([&](TIETextFormat& F) {
    F.SetFontName(Name);
    F.Height = Value->Height();
    F.Style = Value->Style().Bits();
    F.Color = Value->Color();
  });
}

void TIETextControl::SetBackColor(TColor Value) {
  ChangeSelection([&](TIETextFormat& F) { F.BackColor = Value; });
}

void TIETextControl::GrowFont() {
  ChangeSelection([](TIETextFormat& F) {
    F.Height = F.Height < 0 ? F.Height - 1 : F.Height + 1;
    if (F.Height == 0) F.Height = 1;
  });
}

void TIETextControl::ShrinkFont() {
  // A height of 0 would mean "the default size", so the smallest is 1.
  ChangeSelection([](TIETextFormat& F) {
    F.Height = F.Height < 0 ? F.Height + 1 : F.Height - 1;
    if (F.Height == 0) F.Height = 1;
  });
}

void TIETextControl::ToggleStyle(Byte Bit) {
  if (Text && SelStart < SelEnd && SelStart < TextLength) {
    EnsureText();
    const Integer First = (*CharFormats)[static_cast<size_t>(std::max(SelStart, 0))];
    Byte Style = First >= 0 && First < static_cast<Integer>(Formats->size()) ? (*Formats)[static_cast<size_t>(First)].Style
                                                                              : FCurrentFormat->Style;
    Style ^= Bit;
    ChangeSelection([&](TIETextFormat& F) { F.Style = Style; });
  } else {
    FCurrentFormat->Style ^= Bit;
  }
}

void TIETextControl::SetAlignment(Byte Value) {
  if (Text && TextLength > 0) {
    EnsureText();
    const Integer C = std::clamp(CaretPos, 0, TextLength);
    Integer From = C, To = C;
    while (From > 0 && (*Text)[static_cast<size_t>(From) - 1] != '\n') --From;
    while (To < TextLength && (*Text)[static_cast<size_t>(To)] != '\n') ++To;
    for (Integer i = From; i < To; ++i) {
      const Integer Old = (*CharFormats)[static_cast<size_t>(i)];
      if (Old < 0 || Old >= static_cast<Integer>(Formats->size())) continue;
      TIETextFormat F = (*Formats)[static_cast<size_t>(Old)];
      F.Alignment = Value;
      GiveFormat(i, F);
    }
    ClearCaches(From);
  }
  FCurrentFormat->Alignment = Value;
}

// ---------------------------------------------------------------- layout and drawing

void TIETextControl::FormatFont(TFont* Target, Integer FormatIndex, double Scale) const {
  const TColor Keep = Target->Color();
  if (FSingleFormat || !Formats || FormatIndex < 0 || FormatIndex >= static_cast<Integer>(Formats->size())) {
    Target->Assign(Font());
    Target->SetHeight(static_cast<Integer>(Round(Font()->Height() * Scale)));
  } else {
    const TIETextFormat& F = (*Formats)[static_cast<size_t>(FormatIndex)];
    Target->SetName(AnsiToWide(F.FontName(), CodePage()));
    Target->SetHeight(static_cast<Integer>(Round(F.Height * Scale)));
    Target->SetStyle(F.FontStyles());
    Target->SetCharset(Font()->Charset());
    Target->SetColor(F.Color);
  }
  if (IgnoreColors) Target->SetColor(Keep);
}

struct TIETextControl::TLine {
  Integer Start = 0, End = 0, Next = 0;  // drawn characters [Start, End), the next line at Next
  Integer Width = 0, Height = 0, Descent = 0;
  bool ParagraphEnd = false;
};

void TIETextControl::DrawTo(TIECanvas* IECanvas, Integer X, Integer Y, Integer Width, Integer Height) {
  if (Width <= 1 || Height <= 1 || !IECanvas) return;
  TCanvas* C = IECanvas->Canvas();
  const Integer N = Text ? std::min<Integer>(TextLength, static_cast<Integer>(Text->size())) : 0;
  const char* T = N > 0 ? Text->data() : "";
  if (N > 0 && (!CharFormats || static_cast<Integer>(CharFormats->size()) < N)) EnsureText();
  ResizeCaches();
  const Integer Cp = CodePage();
  const TColor EntryFontColor = C->Font()->Color(), EntryBrushColor = C->Brush()->Color();

  // 1. The box.
  TIEPen* Pen = IECanvas->Pen();
  Pen->SetWidth(1);
  Pen->SetColor(Font()->Color());
  Pen->SetStyle(FBorderPen->Style());
  if (!IgnoreColors) Pen->SetColor(FBorderPen->Color());
  Pen->SetMode(pmCopy);
  IECanvas->Brush()->SetColor(FBackgroundBrush->Color());
  IECanvas->Brush()->SetStyle(FBackgroundBrush->Style());
  IECanvas->Rectangle(X, Y, X + static_cast<Integer>(Round(Width * Zoom)), Y + static_cast<Integer>(Round(Height * Zoom)));
  Pen->SetStyle(psClear);

  // 2. The inner area.
  const Integer Left = static_cast<Integer>(Trunc(Width * MarginLeft / 100)) + 1;
  const Integer Top = static_cast<Integer>(Trunc(Height * MarginTop / 100)) + 1;
  const Integer UW = static_cast<Integer>(Trunc(Width - Width * MarginRight / 100 - Width * MarginLeft / 100)) - 2;
  const Integer UH = static_cast<Integer>(Trunc(Height - Height * MarginBottom / 100 - Height * MarginTop / 100)) - 2;
  HDC DC = C->Handle();
  const UINT OldAlign = SetTextAlign(DC, TA_BASELINE | TA_LEFT);
  if (RecordWrappedText) WrappedText.clear();

  // Cell metrics of a character, measured with its format at scale 1.
  Integer Selected = -2;
  auto Select = [&](Integer FormatIndex, double Scale) {
    FormatFont(C->Font(), FormatIndex, Scale);
    Selected = Scale == 1.0 ? FormatIndex : -3;
  };
  auto FormatOf = [&](Integer i) { return FSingleFormat || !CharFormats ? -1 : (*CharFormats)[static_cast<size_t>(i)]; };
  auto FontCell = [&](TCharCache& Cell) {
    if (FixedCharHeight != 0) {
      Cell.Height = Clamp16(FixedCharHeight);
      Cell.Ascent = Cell.Descent = 0;
      return;
    }
    C->RequiredState(csHandleValid | csFontValid);
    TEXTMETRICW Tm;
    GetTextMetricsW(C->Handle(), &Tm);
    Cell.Height = Clamp16(Tm.tmHeight);
    Cell.Ascent = Clamp8(Tm.tmAscent);
    Cell.Descent = Clamp8(Tm.tmDescent);
  };
  auto Measure = [&](Integer i) -> TCharCache& {
    TCharCache& Cell = FCaches[static_cast<size_t>(i)];
    if (Cell.Height != 0) return Cell;
    const Integer F = FormatOf(i);
    if (Selected != F) Select(F, 1.0);
    const Byte B = static_cast<Byte>(T[i]);
    // Control characters take the room of a space.
    const char Ch = B < 32 ? ' ' : static_cast<char>(B);
    Cell.Width = Clamp16(C->TextWidth(AnsiToWide(AnsiString(1, Ch), Cp)));
    FontCell(Cell);
    return Cell;
  };

  struct TGlyph {
    Integer Index, X, Y;
    bool Selected;
  };
  std::vector<TGlyph> Glyphs;
  std::vector<Integer> Xs;
  auto OutX = [&](Integer Px) { return X + static_cast<Integer>(Round((Left + Px) * Zoom)); };
  auto OutY = [&](Integer Py) { return Y + static_cast<Integer>(Round((Top + Py) * Zoom)); };
  Integer Cy = 0;
  bool Stopped = false;
  TLine Last;
  bool HaveLine = false;
  Integer I = 0;
  while (I < N) {
    // Measuring pass.
    TLine L;
    L.Start = I;
    Integer J = I, Cx = 0, LastSpace = -1;
    bool Wrapped = false;
    Xs.clear();
    while (J < N && T[J] != '\n') {
      const TCharCache& M = Measure(J);
      // At least one character per line, however narrow the box: otherwise
      // the layout would make no progress.
      if (Cx + M.Width + 2 >= UW && J > L.Start) {
        Wrapped = true;
        break;
      }
      Xs.push_back(Cx);
      Cx += M.Width;
      if (T[J] == ' ') LastSpace = J;
      ++J;
    }
    if (Wrapped) {
      if (T[J] == ' ') {  // a space at the wrap point is skipped
        L.End = J;
        L.Next = J + 1;
      } else if (LastSpace >= L.Start) {  // cut after the last space
        L.End = L.Next = LastSpace + 1;
      } else {  // a word longer than the line is cut where it overflows
        L.End = L.Next = J;
      }
    } else if (J < N) {  // byte 10
      L.End = J;
      L.Next = J + 1;
      L.ParagraphEnd = true;
    } else {
      L.End = L.Next = N;
      L.ParagraphEnd = true;
    }
    for (Integer k = L.Start; k < L.End; ++k) {
      const TCharCache& M = FCaches[static_cast<size_t>(k)];
      L.Height = std::max<Integer>(L.Height, M.Height);
      L.Descent = std::max<Integer>(L.Descent, M.Descent);
    }
    if (L.End > L.Start) L.Width = Xs[static_cast<size_t>(L.End - 1 - L.Start)] + FCaches[static_cast<size_t>(L.End - 1)].Width;
    // An empty line (a byte 10 alone) is as high as the byte's own cell.
    if (L.End == L.Start && L.Next > L.End) {
      const TCharCache& M = Measure(L.End);
      L.Height = M.Height;
      L.Descent = M.Descent;
    }

    // 4. Start x from the alignment of the line's first character.
    Byte Align = Alignment;
    if (!FSingleFormat && L.End > L.Start) {
      const Integer F = FormatOf(L.Start);
      if (Formats && F >= 0 && F < static_cast<Integer>(Formats->size())) Align = (*Formats)[static_cast<size_t>(F)].Alignment;
    }
    Integer Offset = 0;
    double Stretch = 1.0;
    if (Align == 1)
      Offset = UW - L.Width - 1;
    else if (Align == 2)
      Offset = (UW - L.Width - 1) / 2;
    else if (Align == 3 && !L.ParagraphEnd && L.Width > 0)
      Stretch = static_cast<double>(UW) / (L.Width + 1);

    // 6. Lines below the box are not drawn; an auto-height control grows instead.
    const bool Fits = Cy + L.Height <= UH;
    if (!Fits && AutoHeight && Visible() && Parent()) {
      const double Free = 1.0 - (MarginTop + MarginBottom) / 100;
      const double Need = Free > 0 ? (Cy + L.Height + 2) / Free : Cy + L.Height + 2;
      SetHeight(static_cast<Integer>(std::ceil(Need * Zoom)) + 1);
      Stopped = true;
      break;
    }

    // 5. Drawing pass.
    const Integer LineY = OutY(Cy), LineH = static_cast<Integer>(Round(L.Height * Zoom));
    const Integer Baseline = Cy + L.Height - L.Descent;
    for (Integer k = L.Start; k < L.End; ++k) {
      TCharCache& M = FCaches[static_cast<size_t>(k)];
      const Integer Rx = Xs[static_cast<size_t>(k - L.Start)];
      const Integer Px = Offset + (Stretch != 1.0 ? static_cast<Integer>(Trunc(Rx * Stretch)) : Rx);
      M.X = OutX(Px);
      M.Y = LineY;
      M.LineHeight = Clamp16(LineH);
      if (!Fits || Px + M.Width > UW) continue;
      Glyphs.push_back({k, M.X, Y + static_cast<Integer>(Round((Top + Baseline) * Zoom)), k >= SelStart && k < SelEnd});
      if (RecordWrappedText) WrappedText += T[k];
    }
    // The skipped space or the byte 10 sits at the end of the line, where the caret goes before it.
    for (Integer k = L.End; k < L.Next; ++k) {
      TCharCache& M = FCaches[static_cast<size_t>(k)];
      if (M.Height == 0) Measure(k);
      M.X = OutX(Offset + static_cast<Integer>(Stretch != 1.0 ? Trunc(L.Width * Stretch) : L.Width));
      M.Y = LineY;
      M.LineHeight = Clamp16(LineH);
    }
    if (RecordWrappedText) WrappedText += '\n';
    Last = L;
    Last.Width = Offset + L.Width;
    HaveLine = true;
    Cy += L.Height + LineSpacing;
    I = L.Next;
  }

  // 7. The characters are drawn after the layout, at the zoomed size.
  Integer Drawn = -2;
  bool DrawnSelected = false, First = true;
  for (const TGlyph& G : Glyphs) {
    const Integer F = FormatOf(G.Index);
    if (First || F != Drawn || G.Selected != DrawnSelected) {
      First = false;
      Select(F, Zoom);
      Drawn = F;
      DrawnSelected = G.Selected;
      const TIETextFormat* Fm = !FSingleFormat && Formats && F >= 0 && F < static_cast<Integer>(Formats->size())
                                    ? &(*Formats)[static_cast<size_t>(F)]
                                    : nullptr;
      TColor Back = Fm ? Fm->BackColor : FTextBrush->Color();
      TBrushStyle Style = Fm ? static_cast<TBrushStyle>(Fm->BrushStyle) : FTextBrush->Style();
      TColor Fore = C->Font()->Color();
      if (IgnoreColors) {
        Back = EntryBrushColor;
        Fore = EntryFontColor;
      }
      if (G.Selected) {
        Back = ~ColorToRGB(Back) & 0xFFFFFF;
        Fore = ~ColorToRGB(Fore) & 0xFFFFFF;
        Style = bsSolid;  // a selection shows even over a clear background
      }
      C->Font()->SetColor(Fore);
      C->Brush()->SetColor(Back);
      C->Brush()->SetStyle(Style);
    }
    C->TextOut(G.X, G.Y, AnsiToWide(AnsiString(1, T[G.Index]), Cp));
  }
  C->Brush()->SetStyle(bsClear);

  // 8. The caret's place after the last character.
  TCharCache& End = FCaches[static_cast<size_t>(N)];
  if (!Stopped) {
    if (N == 0 || !HaveLine) {
      Select(-1, 1.0);
      TCharCache Cell;
      FontCell(Cell);
      End.X = OutX(0);
      End.Y = OutY(0);
      End.LineHeight = Clamp16(static_cast<Integer>(Round(Cell.Height * Zoom)));
    } else if (T[N - 1] == '\n') {
      const TCharCache& Nl = FCaches[static_cast<size_t>(N - 1)];
      End.X = OutX(0);
      End.Y = OutY(Cy);
      End.LineHeight = Clamp16(static_cast<Integer>(Round(Nl.Height * Zoom)));
    } else {
      const TCharCache& Prev = FCaches[static_cast<size_t>(N - 1)];
      End.X = OutX(Last.Width);
      End.Y = Prev.Y;
      End.LineHeight = Prev.LineHeight;
    }
    const TCharCache& At = FCaches[static_cast<size_t>(std::clamp(CaretPos, 0, N))];
    CaretX = At.X;
    CaretY = At.Y;
    CaretHeight = At.LineHeight;
    if (AutoHeight && Visible() && Parent() && CaretY + CaretHeight > Y + static_cast<Integer>(Round(Height * Zoom)))
      SetHeight(CaretY + CaretHeight - Y + 2);
  }
  SetTextAlign(DC, OldAlign);
}

// ---------------------------------------------------------------- painting

void TIETextControl::Update() {
  ClearCaches(0);
  Invalidate();
}

void TIETextControl::Refresh() { Repaint(); }

void TIETextControl::EnsureLayout() {
  ResizeCaches();
  bool Stale = false;
  for (const TCharCache& Cell : FCaches)
    if (Cell.X < 0) Stale = true;
  if (!Stale) return;
  const Integer W = std::max(ClientWidth(), 2), H = std::max(ClientHeight(), 2);
  FBackBuffer->SetSize(W, H);
  TIECanvas Ie(FBackBuffer->Canvas(), false, false);
  const double Z = Zoom > 0 ? Zoom : 1.0;
  const bool KeepAuto = AutoHeight;
  AutoHeight = false;  // measuring only: no resize from here
  DrawTo(&Ie, 0, 0, static_cast<Integer>(Trunc(W / Z)), static_cast<Integer>(Trunc(H / Z)));
  AutoHeight = KeepAuto;
}

void TIETextControl::Paint() {
  if (!Visible() || !Parent()) return;
  DestroyCaret();
  const Integer W = ClientWidth(), H = ClientHeight();
  if (W <= 0 || H <= 0) return;
  FBackBuffer->SetSize(W, H);
  TCanvas* B = FBackBuffer->Canvas();
  const TRect R(0, 0, W, H);
  if (BackgroundBitmap && FBackgroundBrush->Style() != bsSolid)
    B->CopyRect(R, BackgroundBitmap->Canvas(), TRect(Left(), Top(), Left() + W, Top() + H));
  if (FBackgroundBrush->Style() != bsClear) {
    B->Brush()->Assign(FBackgroundBrush.get());
    B->FillRect(R);
  }
  {
    TIECanvas Ie(B, false, false);
    const double Z = Zoom > 0 ? Zoom : 1.0;
    DrawTo(&Ie, 0, 0, static_cast<Integer>(Trunc(W / Z)), static_cast<Integer>(Trunc(H / Z)));
  }
  Canvas()->Draw(0, 0, FBackBuffer.get());
  if (Focused()) {
    CreateCaret(Handle(), nullptr, 0, CaretHeight);
    SetCaretPos(CaretX, CaretY);
    ShowCaret(Handle());
  }
}

void TIETextControl::WMSize(TMessage& Message) {
  TCustomControl::WMSize(Message);
  Update();
}

void TIETextControl::WMEraseBkgnd(TMessage& Message) { Message.Result = 1; }

void TIETextControl::WMKillFocus(TMessage& Message) {
  TCustomControl::WMKillFocus(Message);
  HideCaret(HandleAllocated() ? Handle() : nullptr);
  DestroyCaret();
}
