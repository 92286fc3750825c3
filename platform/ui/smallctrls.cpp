// The speed button, static text, scroll box, progress bar and file list box.
#include "platform/ui/smallctrls.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/base/fileutils.h"
#include "platform/base/strutils.h"

// ---------------------------------------------------------------- TSpeedButton

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), FGlyph(std::make_unique<TBitmap>()) {
  FControlStyle = TControlStyle{csCaptureMouse, csDoubleClicks};
  SetBounds(0, 0, 23, 22);
}

TSpeedButton::~TSpeedButton() = default;

void TSpeedButton::SetFlat(bool Value) {
  if (FFlat == Value) return;
  FFlat = Value;
  Invalidate();
}

void TSpeedButton::SetGlyph(TBitmap* Value) {
  FGlyph->Assign(Value);
  Invalidate();
}

void TSpeedButton::SetDown(bool Value) {
  if (FGroupIndex == 0) Value = false;
  if (FDown == Value) return;
  FDown = Value;
  if (Value && FParent)
    for (Integer i = 0; i < FParent->ControlCount(); ++i) {
      auto* B = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
      if (B && B != this && B->FGroupIndex == FGroupIndex && B->FDown) {
        B->FDown = false;
        B->Invalidate();
      }
    }
  Invalidate();
}

void TSpeedButton::Click() {
  // A click of a grouped button presses it; only with AllowAllUp does a
  // click raise it again.
  if (FGroupIndex != 0) {
    if (!FDown)
      SetDown(true);
    else if (FAllowAllUp)
      SetDown(false);
  }
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabled) {
    FPressed = true;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) {
  bool WasPressed = FPressed && Button == mbLeft;
  if (WasPressed) {
    FPressed = false;
    Invalidate();
  }
  TGraphicControl::MouseUp(Button, Shift, X, Y);
  if (WasPressed && FEnabled && X >= 0 && Y >= 0 && X < FWidth && Y < FHeight) Click();
}

void TSpeedButton::Dispatch(TMessage& M) {
  if (M.Msg == CM_MOUSEENTER || M.Msg == CM_MOUSELEAVE) {
    FMouseInControl = M.Msg == CM_MOUSEENTER;
    if (FFlat) Invalidate();
  }
  TGraphicControl::Dispatch(M);
}

void TSpeedButton::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(clBtnFace);
  C->FillRect(R);
  bool Sunken = FDown || FPressed;
  // A flat button shows its edge only while the mouse is over it or it is down.
  if (Sunken)
    DrawEdge(C->Handle(), &R, FFlat ? UINT(BDR_SUNKENOUTER) : UINT(EDGE_SUNKEN), BF_RECT);
  else if (!FFlat || (FMouseInControl && FEnabled))
    DrawEdge(C->Handle(), &R, FFlat ? UINT(BDR_RAISEDINNER) : UINT(EDGE_RAISED), BF_RECT);
  if (FGlyph->Empty()) return;
  Integer GW = FGlyph->Width(), GH = FGlyph->Height();
  Integer X = (FWidth - GW) / 2 + (Sunken ? 1 : 0), Y = (FHeight - GH) / 2 + (Sunken ? 1 : 0);
  TColor Key = FGlyph->Canvas()->Pixels(0, GH - 1);
  for (Integer y = 0; y < GH; ++y)
    for (Integer x = 0; x < GW; ++x) {
      TColor P = FGlyph->Canvas()->Pixels(x, y);
      if (P == Key) continue;
      if (FEnabled) {
        C->SetPixels(X + x, Y + y, P);
      } else {
        // Greyed: the shape in the shadow colour over a highlight one pixel down and right.
        C->SetPixels(X + x + 1, Y + y + 1, clBtnHighlight);
        C->SetPixels(X + x, Y + y, clBtnShadow);
      }
    }
}

// ---------------------------------------------------------------- TStaticText

namespace {

// The lines of a text broken at CR, LF or CR LF.
std::vector<WideString> LinesOf(const WideString& T) {
  std::vector<WideString> Out(1);
  for (size_t i = 0; i < T.size(); ++i) {
    if (T[i] == u'\r' || T[i] == u'\n') {
      if (T[i] == u'\r' && i + 1 < T.size() && T[i + 1] == u'\n') ++i;
      Out.emplace_back();
    } else {
      Out.back() += T[i];
    }
  }
  return Out;
}

}  // namespace

TStaticText::TStaticText(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks, csOpaque};
  SetBounds(0, 0, 65, 17);
}

void TStaticText::SetAutoSize(bool Value) {
  FAutoSize = Value;
  AdjustBounds();
}

void TStaticText::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TStaticText::SetBorderStyle(TStaticBorderStyle Value) {
  FBorderStyle = Value;
  AdjustBounds();
  Invalidate();
}

void TStaticText::TextChanged() {
  AdjustBounds();
  Invalidate();
}

void TStaticText::FontChanged() {
  TCustomControl::FontChanged();
  AdjustBounds();
}

void TStaticText::AdjustBounds() {
  if (!FAutoSize) return;
  TCanvas* C = Canvas();
  C->SetFont(FFont.get());
  Integer W = 0, LineH = C->TextHeight(u"0");
  std::vector<WideString> Lines = LinesOf(Caption());
  for (const WideString& L : Lines) W = std::max(W, C->TextWidth(L));
  Integer Border = FBorderStyle == sbsNone ? 0 : FBorderStyle == sbsSingle ? 1 : 2;
  SetBounds(FLeft, FTop, W + 2 * Border, LineH * static_cast<Integer>(Lines.size()) + 2 * Border);
}

void TStaticText::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(FColor);
  C->FillRect(R);
  if (FBorderStyle == sbsSingle) {
    C->Brush()->SetColor(clWindowFrame);
    C->FrameRect(R);
    InflateRect(R, -1, -1);
  } else if (FBorderStyle == sbsSunken) {
    DrawEdge(C->Handle(), &R, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  }
  C->Brush()->SetStyle(bsClear);
  C->SetFont(FFont.get());
  if (!FEnabled) C->Font()->SetColor(clGrayText);
  Integer LineH = C->TextHeight(u"0"), Y = R.Top;
  for (const WideString& L : LinesOf(Caption())) {
    Integer W = C->TextWidth(L);
    Integer X = FAlignment == taLeftJustify ? R.Left : FAlignment == taRightJustify ? R.Right - W : R.Left + (R.Width() - W) / 2;
    C->TextOut(X, Y, L);
    Y += LineH;
  }
}

// ---------------------------------------------------------------- TScrollBox

TScrollBox::TScrollBox(TComponent* AOwner) : TScrollingWinControl(AOwner) {
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  SetBounds(0, 0, 185, 41);
}

// ---------------------------------------------------------------- TProgressBar

TProgressBar::TProgressBar(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque};
  SetBounds(0, 0, 150, 16);
}

void TProgressBar::SetRange(Integer AMin, Integer AMax) {
  FMin = AMin;
  FMax = std::max(AMin, AMax);
  FPosition = std::clamp(FPosition, FMin, FMax);
  Invalidate();
}

void TProgressBar::SetPosition(Integer Value) {
  Value = std::clamp(Value, FMin, FMax);
  if (Value == FPosition) return;
  FPosition = Value;
  Invalidate();
}

void TProgressBar::SetSmooth(bool Value) {
  FSmooth = Value;
  Invalidate();
}

void TProgressBar::SetOrientation(TProgressBarOrientation Value) {
  FOrientation = Value;
  Invalidate();
}

void TProgressBar::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(clBtnFace);
  C->FillRect(R);
  DrawEdge(C->Handle(), &R, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (FMax <= FMin || FPosition <= FMin) return;
  const bool Horz = FOrientation == pbHorizontal;
  const Integer Length = Horz ? R.Width() : R.Height();
  // The done part, in 64 bits: positions may span the whole integer range.
  const Integer Done = static_cast<Integer>(static_cast<int64_t>(Length) * (static_cast<int64_t>(FPosition) - FMin) /
                                            (static_cast<int64_t>(FMax) - FMin));
  C->Brush()->SetColor(clHighlight);
  // Classic chunks: two thirds of the bar's thickness wide, two pixels apart.
  const Integer Chunk = FSmooth ? Length : std::max(2, (Horz ? R.Height() : R.Width()) * 2 / 3);
  const Integer Gap = FSmooth ? 0 : 2;
  for (Integer At = 0; At < Done; At += Chunk + Gap) {
    Integer End = std::min(At + Chunk, Done);
    TRect Piece = Horz ? TRect(R.Left + At, R.Top, R.Left + End, R.Bottom) : TRect(R.Left, R.Bottom - End, R.Right, R.Bottom - At);
    C->FillRect(Piece);
  }
}

// ---------------------------------------------------------------- TFileListBox

namespace {

bool MatchOne(const WideString& N, size_t i, const WideString& P, size_t j) {
  while (j < P.size()) {
    if (P[j] == u'*') {
      while (j < P.size() && P[j] == u'*') ++j;
      if (j == P.size()) return true;
      for (size_t k = i; k <= N.size(); ++k)
        if (MatchOne(N, k, P, j)) return true;
      return false;
    }
    if (i >= N.size()) return false;
    if (P[j] != u'?' && P[j] != N[i]) return false;
    ++i;
    ++j;
  }
  return i == N.size();
}

}  // namespace

bool GtFileMaskMatches(const WideString& Name, const WideString& Mask) {
  WideString N = WideUpperCase(Name), M = WideUpperCase(Mask);
  size_t From = 0;
  while (From <= M.size()) {
    size_t End = M.find(u';', From);
    if (End == WideString::npos) End = M.size();
    WideString P = M.substr(From, End - From);
    while (!P.empty() && P.front() == u' ') P.erase(P.begin());
    while (!P.empty() && P.back() == u' ') P.pop_back();
    if (!P.empty()) {
      if (MatchOne(N, 0, P, 0)) return true;
      // "x.*" also takes names without any extension.
      if (P.size() >= 2 && P.compare(P.size() - 2, 2, u".*") == 0 && N.find(u'.') == WideString::npos &&
          MatchOne(N, 0, P.substr(0, P.size() - 2), 0))
        return true;
    }
    From = End + 1;
  }
  return false;
}

TFileListBox::TFileListBox(TComponent* AOwner) : TListBox(AOwner) {}

void TFileListBox::SetDirectory(const WideString& Value) {
  FDirectory = Value;
  ReadFileNames();
}

void TFileListBox::SetMask(const WideString& Value) {
  FMask = Value;
  ReadFileNames();
}

void TFileListBox::ReadFileNames() {
  std::vector<WideString> Names;
  std::string Dir = NativeFileName(FDirectory.empty() ? WideString(u".") : FDirectory);
  if (DIR* D = ::opendir(Dir.c_str())) {
    while (dirent* E = ::readdir(D)) {
      std::string Raw = E->d_name;
      if (Raw == "." || Raw == "..") continue;
      struct stat St {};
      if (::stat((Dir + "/" + Raw).c_str(), &St) != 0 || !S_ISREG(St.st_mode)) continue;
      WideString Name = WideFileName(Raw);
      if (GtFileMaskMatches(Name, FMask)) Names.push_back(Name);
    }
    ::closedir(D);
  }
  std::sort(Names.begin(), Names.end(), [](const WideString& A, const WideString& B) {
    WideString UA = WideUpperCase(A), UB = WideUpperCase(B);
    return UA != UB ? UA < UB : A < B;
  });
  Items()->BeginUpdate();
  Items()->Clear();
  for (const WideString& N : Names) Items()->Add(N);
  Items()->EndUpdate();
  SetItemIndex(-1);
}

WideString TFileListBox::FileName() const {
  Integer I = ItemIndex();
  if (I < 0 || I >= Items()->Count()) return WideString();
  return IncludeTrailingPathDelimiter(FDirectory) + Items()->Strings(I);
}
