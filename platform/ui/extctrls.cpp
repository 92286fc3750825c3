// Panels, radio groups, images, shapes, bevels and the timer component.
#include "platform/ui/extctrls.h"

#include <QTimer>

#include <algorithm>

#include "platform/ui/private/native.h"

// ---------------------------------------------------------------- Frame3D

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, Integer Width) {
  Canvas->Pen()->SetWidth(1);
  Canvas->Pen()->SetStyle(psSolid);
  Canvas->Pen()->SetMode(pmCopy);
  --Rect.Bottom;
  --Rect.Right;
  for (Integer i = 0; i < Width; ++i) {
    TPoint Top[3] = {{Rect.Left, Rect.Bottom}, {Rect.Left, Rect.Top}, {Rect.Right, Rect.Top}};
    TPoint Bottom[3] = {{Rect.Right, Rect.Top}, {Rect.Right, Rect.Bottom}, {Rect.Left - 1, Rect.Bottom}};
    Canvas->Pen()->SetColor(TopColor);
    Canvas->Polyline(Top, 3);
    Canvas->Pen()->SetColor(BottomColor);
    Canvas->Polyline(Bottom, 3);
    InflateRect(Rect, -1, -1);
  }
  ++Rect.Bottom;
  ++Rect.Right;
}

// ---------------------------------------------------------------- TCustomPanel

TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle = TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csOpaque,
                                csDoubleClicks, csReplicatable};
  FColor = clBtnFace;
  FParentColor = false;
  SetBounds(0, 0, 185, 41);
}

void TCustomPanel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
  FBevelInner = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
  FBevelOuter = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelWidth(Integer Value) {
  FBevelWidth = std::max(1, Value);
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderWidth(Integer Value) {
  FBorderWidth = std::max(0, Value);
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderStyle(TBorderStyle Value) {
  if (FBorderStyle == Value) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomPanel::CreateParams(TCreateParams& P) {
  TCustomControl::CreateParams(P);
  if (FBorderStyle == bsSingle) {
    if (FCtl3D)
      P.ExStyle |= WS_EX_CLIENTEDGE;
    else
      P.Style |= WS_BORDER;
  }
}

void TCustomPanel::AdjustClientRect(TRect& Rect) {
  TCustomControl::AdjustClientRect(Rect);
  Integer Bevel = FBorderWidth;
  if (FBevelOuter != bvNone) Bevel += FBevelWidth;
  if (FBevelInner != bvNone) Bevel += FBevelWidth;
  InflateRect(Rect, -Bevel, -Bevel);
}

void TCustomPanel::Paint() {
  TCanvas* C = Canvas();
  TRect R = ClientRect();
  auto Colors = [this](TBevelCut Cut, TColor& Top, TColor& Bottom) {
    Top = Cut == bvLowered ? clBtnShadow : clBtnHighlight;
    Bottom = Cut == bvLowered ? clBtnHighlight : clBtnShadow;
    if (Cut == bvSpace) Top = Bottom = FColor;
  };
  TColor Top, Bottom;
  if (FBevelOuter != bvNone) {
    Colors(FBevelOuter, Top, Bottom);
    Frame3D(C, R, Top, Bottom, FBevelWidth);
  }
  Frame3D(C, R, FColor, FColor, FBorderWidth);
  if (FBevelInner != bvNone) {
    Colors(FBevelInner, Top, Bottom);
    Frame3D(C, R, Top, Bottom, FBevelWidth);
  }
  C->Brush()->SetColor(FColor);
  C->Brush()->SetStyle(bsSolid);
  C->FillRect(R);
  if (FText.empty()) return;
  C->Brush()->SetStyle(bsClear);
  C->SetFont(FFont.get());
  UINT Flags = DT_EXPANDTABS | DT_SINGLELINE | DT_VCENTER |
               (FAlignment == taCenter ? DT_CENTER : FAlignment == taRightJustify ? DT_RIGHT : DT_LEFT);
  DrawTextW(C->Handle(), FText.c_str(), static_cast<Integer>(FText.size()), &R, Flags);
}

// ---------------------------------------------------------------- TRadioGroup

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner), FItems(std::make_unique<TStringList>()) {
  FItems->OnChange = [this](TObject*) { UpdateButtons(); };
}

TRadioGroup::~TRadioGroup() {
  FItems->OnChange = nullptr;
  for (TRadioButton* B : FButtons) B->OnClick = nullptr;
}

TRadioButton* TRadioGroup::Buttons(Integer Index) const {
  if (Index < 0 || Index >= ButtonCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FButtons[static_cast<size_t>(Index)];
}

void TRadioGroup::UpdateButtons() {
  FUpdating = true;
  while (FButtons.size() > static_cast<size_t>(FItems->Count())) {
    TRadioButton* B = FButtons.back();
    FButtons.pop_back();
    delete B;
  }
  while (FButtons.size() < static_cast<size_t>(FItems->Count())) {
    auto* B = new TRadioButton(this);
    B->SetParent(this);
    B->OnClick = [this, B](TObject*) { ButtonClick(B); };
    FButtons.push_back(B);
  }
  for (size_t i = 0; i < FButtons.size(); ++i) FButtons[i]->SetCaption(FItems->Strings(static_cast<Integer>(i)));
  if (FItemIndex >= static_cast<Integer>(FButtons.size())) FItemIndex = -1;
  for (size_t i = 0; i < FButtons.size(); ++i) FButtons[i]->SetChecked(static_cast<Integer>(i) == FItemIndex);
  FUpdating = false;
  ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
  if (FButtons.empty()) return;
  HDC DC = GetDC(nullptr);
  TEXTMETRICW Tm;
  HGDIOBJ Old = SelectObject(DC, FFont->Handle());
  GetTextMetricsW(DC, &Tm);
  SelectObject(DC, Old);
  ReleaseDC(nullptr, DC);
  Integer Count = static_cast<Integer>(FButtons.size());
  Integer PerCol = (Count + FColumns - 1) / FColumns;
  Integer ButtonWidth = (FWidth - 10) / FColumns;
  Integer Avail = FHeight - Tm.tmHeight - 5;
  Integer ButtonHeight = Avail / PerCol;
  Integer TopMargin = Tm.tmHeight + 1 + (Avail % PerCol) / 2;
  for (Integer i = 0; i < Count; ++i)
    FButtons[static_cast<size_t>(i)]->SetBounds((i / PerCol) * ButtonWidth + 8, (i % PerCol) * ButtonHeight + TopMargin,
                                                ButtonWidth, ButtonHeight);
}

void TRadioGroup::SetItemIndex(Integer Value) {
  Value = std::clamp(Value, -1, static_cast<Integer>(FButtons.size()) - 1);
  if (FItemIndex == Value) return;
  if (FItemIndex >= 0) FButtons[static_cast<size_t>(FItemIndex)]->SetChecked(false);
  FItemIndex = Value;
  if (Value >= 0) FButtons[static_cast<size_t>(Value)]->SetChecked(true);
}

void TRadioGroup::SetColumns(Integer Value) {
  FColumns = std::clamp(Value, 1, 16);
  ArrangeButtons();
}

void TRadioGroup::ButtonClick(TRadioButton* Button) {
  if (FUpdating || !Button->Checked()) return;
  auto It = std::find(FButtons.begin(), FButtons.end(), Button);
  if (It == FButtons.end()) return;
  FItemIndex = static_cast<Integer>(It - FButtons.begin());
  Click();
}

void TRadioGroup::WMSize(TMessage& M) {
  TGroupBox::WMSize(M);
  ArrangeButtons();
}

// ---------------------------------------------------------------- TImage

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(std::make_unique<TPicture>()) {
  FControlStyle.Include(csReplicatable);
  FPicture->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() { FPicture->OnChange = nullptr; }

TCanvas* TImage::Canvas() {
  if (!FPicture->Graphic()) {
    TBitmap B;
    B.SetSize(FWidth, FHeight);
    FPicture->SetGraphic(&B);
  }
  auto* Bmp = dynamic_cast<TBitmap*>(FPicture->Graphic());
  if (!Bmp) throw EInvalidOperation("Can only modify an image if it contains a bitmap");
  return Bmp->Canvas();
}

void TImage::SetAutoSize(bool Value) {
  FAutoSize = Value;
  PictureChanged();
}

void TImage::SetStretch(bool Value) {
  FStretch = Value;
  Invalidate();
}

void TImage::SetCenter(bool Value) {
  FCenter = Value;
  Invalidate();
}

void TImage::SetProportional(bool Value) {
  FProportional = Value;
  Invalidate();
}

void TImage::SetTransparent(bool Value) {
  FTransparent = Value;
  PictureChanged();
}

void TImage::PictureChanged() {
  TGraphic* G = FPicture->Graphic();
  if (G) {
    // The display shows every colour, so a new palette needs no realising:
    // the repaint below takes it up.
    if (G->PaletteModified()) G->SetPaletteModified(false);
    G->SetTransparent(FTransparent);
    if (FAutoSize && G->Width() > 0 && G->Height() > 0) SetBounds(FLeft, FTop, G->Width(), G->Height());
  }
  if (!FDrawing) Invalidate();
}

TRect TImage::DestRect() const {
  TGraphic* G = FPicture->Graphic();
  Integer W = G ? G->Width() : 0, H = G ? G->Height() : 0;
  Integer CW = FWidth, CH = FHeight;
  if (FStretch || (FProportional && (W > CW || H > CH))) {
    if (FProportional && W > 0 && H > 0) {
      double XY = static_cast<double>(W) / H;
      if (CW / XY <= CH) {
        W = CW;
        H = static_cast<Integer>(Trunc(CW / XY));
      } else {
        H = CH;
        W = static_cast<Integer>(Trunc(CH * XY));
      }
    } else {
      W = CW;
      H = CH;
    }
  }
  TRect R(0, 0, W, H);
  if (FCenter) OffsetRect(R, (CW - W) / 2, (CH - H) / 2);
  return R;
}

void TImage::Paint() {
  TGraphic* G = FPicture->Graphic();
  if (!G || G->Empty()) return;
  FDrawing = true;
  try {
    TGraphicControl::Canvas()->StretchDraw(DestRect(), G);
  } catch (...) {
    FDrawing = false;
    throw;
  }
  FDrawing = false;
}

// ---------------------------------------------------------------- TShape

TShape::TShape(TComponent* AOwner)
    : TGraphicControl(AOwner), FPen(std::make_unique<TPen>()), FBrush(std::make_unique<TBrush>()) {
  FControlStyle.Include(csReplicatable);
  FPen->OnChange = [this](TObject*) { Invalidate(); };
  FBrush->OnChange = [this](TObject*) { Invalidate(); };
  SetBounds(0, 0, 65, 65);
}

TShape::~TShape() {
  FPen->OnChange = nullptr;
  FBrush->OnChange = nullptr;
}

void TShape::SetShape(TShapeType Value) {
  if (FShape == Value) return;
  FShape = Value;
  Invalidate();
}

void TShape::Paint() {
  TCanvas* C = Canvas();
  C->SetPen(FPen.get());
  C->SetBrush(FBrush.get());
  Integer PW = FPen->Width();
  Integer X = PW / 2, Y = X;
  Integer W = FWidth - PW + 1, H = FHeight - PW + 1;
  if (PW == 0) {
    --W;
    --H;
  }
  Integer S = std::min(W, H);
  if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) {
    X += (W - S) / 2;
    Y += (H - S) / 2;
    W = H = S;
  }
  switch (FShape) {
    case stRectangle:
    case stSquare: C->Rectangle(X, Y, X + W, Y + H); break;
    case stRoundRect:
    case stRoundSquare: C->RoundRect(X, Y, X + W, Y + H, S / 4, S / 4); break;
    case stCircle:
    case stEllipse: C->Ellipse(X, Y, X + W, Y + H); break;
  }
}

// ---------------------------------------------------------------- TBevel

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FControlStyle.Include(csReplicatable);
  SetBounds(0, 0, 50, 50);
}

void TBevel::SetShape(TBevelShape Value) {
  FShape = Value;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle Value) {
  FStyle = Value;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas* C = Canvas();
  C->Pen()->SetWidth(1);
  C->Pen()->SetStyle(psSolid);
  C->Pen()->SetMode(pmCopy);
  TColor Color1 = clBtnHighlight, Color2 = clBtnShadow;
  if (FStyle == bsLowered) std::swap(Color1, Color2);
  auto BevelRect = [&](const TRect& R) {
    TPoint A[3] = {{R.Left, R.Bottom}, {R.Left, R.Top}, {R.Right, R.Top}};
    TPoint B[3] = {{R.Right, R.Top}, {R.Right, R.Bottom}, {R.Left, R.Bottom}};
    C->Pen()->SetColor(Color1);
    C->Polyline(A, 3);
    C->Pen()->SetColor(Color2);
    C->Polyline(B, 3);
  };
  auto BevelLine = [&](TColor Color, Integer X1, Integer Y1, Integer X2, Integer Y2) {
    C->Pen()->SetColor(Color);
    C->MoveTo(X1, Y1);
    C->LineTo(X2, Y2);
  };
  switch (FShape) {
    case bsBox: BevelRect(TRect(0, 0, FWidth - 1, FHeight - 1)); break;
    case bsFrame: {
      TColor Temp = Color1;
      Color1 = Color2;
      BevelRect(TRect(1, 1, FWidth - 1, FHeight - 1));
      Color2 = Temp;
      Color1 = Temp;
      BevelRect(TRect(0, 0, FWidth - 2, FHeight - 2));
      break;
    }
    case bsTopLine:
      BevelLine(Color1, 0, 0, FWidth, 0);
      BevelLine(Color2, 0, 1, FWidth, 1);
      break;
    case bsBottomLine:
      BevelLine(Color1, 0, FHeight - 2, FWidth, FHeight - 2);
      BevelLine(Color2, 0, FHeight - 1, FWidth, FHeight - 1);
      break;
    case bsLeftLine:
      BevelLine(Color1, 0, 0, 0, FHeight);
      BevelLine(Color2, 1, 0, 1, FHeight);
      break;
    case bsRightLine:
      BevelLine(Color1, FWidth - 2, 0, FWidth - 2, FHeight);
      BevelLine(Color2, FWidth - 1, 0, FWidth - 1, FHeight);
      break;
    case bsSpacer: break;
  }
}

// ---------------------------------------------------------------- TTimer

struct TTimer::TImpl {
  std::unique_ptr<QTimer> Timer;
  // A handler may free its own timer: the Qt timer then goes later.
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
  bool Firing = false;
};

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner), FImpl(std::make_unique<TImpl>()) { UpdateTimer(); }

TTimer::~TTimer() {
  *FImpl->Alive = false;
  if (!FImpl->Timer) return;
  FImpl->Timer->stop();
  if (FImpl->Firing) FImpl->Timer.release()->deleteLater();
}

void TTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(Cardinal Value) {
  if (FInterval == Value) return;
  FInterval = Value;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (!FEnabled || FInterval == 0) {
    if (FImpl->Timer) FImpl->Timer->stop();
    return;
  }
  if (!FImpl->Timer) {
    gtui::InitWindowing();
    FImpl->Timer = std::make_unique<QTimer>();
    std::shared_ptr<bool> Alive = FImpl->Alive;
    QObject::connect(FImpl->Timer.get(), &QTimer::timeout, FImpl->Timer.get(), [this, Alive] {
      gtui::Guarded([this, &Alive] {
        FImpl->Firing = true;
        try {
          Timer();
        } catch (...) {
          if (*Alive) FImpl->Firing = false;
          throw;
        }
        if (*Alive) FImpl->Firing = false;
      });
    });
  }
  FImpl->Timer->start(static_cast<int>(std::min<Cardinal>(FInterval, 0x7FFFFFFF)));
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}
