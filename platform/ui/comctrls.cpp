// Page controls, track bars and up-down buttons.
#include "platform/ui/comctrls.h"

#include <QHBoxLayout>
#include <QSlider>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "platform/ui/private/native.h"

using namespace gtui;

// ---------------------------------------------------------------- TTabSheet

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle.Include(csAcceptsControls);
  FVisible = false;
}

TTabSheet::~TTabSheet() {
  if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* Value) {
  if (FPageControl == Value) return;
  if (FPageControl) FPageControl->RemovePage(this);
  SetParent(Value);
  if (Value) Value->InsertPage(this);
}

Integer TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  auto& P = FPageControl->FPages;
  return static_cast<Integer>(std::find(P.begin(), P.end(), this) - P.begin());
}

void TTabSheet::SetPageIndex(Integer Value) {
  if (!FPageControl) return;
  auto& P = FPageControl->FPages;
  P.erase(std::find(P.begin(), P.end(), this));
  Value = std::clamp<Integer>(Value, 0, static_cast<Integer>(P.size()));
  P.insert(P.begin() + Value, this);
  FPageControl->UpdateTabs();
}

void TTabSheet::SetTabVisible(bool Value) {
  if (FTabVisible == Value) return;
  FTabVisible = Value;
  if (FPageControl) {
    if (!Value && FPageControl->FActivePage == this)
      FPageControl->SetActivePage(FPageControl->FindNextPage(this, true, true));
    FPageControl->UpdateTabs();
  }
}

Integer TTabSheet::TabIndex() const {
  if (!FPageControl || !FTabVisible) return -1;
  Integer I = 0;
  for (TTabSheet* P : FPageControl->FPages) {
    if (P == this) return I;
    if (P->FTabVisible) ++I;
  }
  return -1;
}

void TTabSheet::TextChanged() {
  if (FPageControl) FPageControl->UpdateTabs();
}

// ---------------------------------------------------------------- TPageControl

namespace {
QTabBar* TabBarOf(HWND Wnd) {
  QWidget* C = ClientWidgetOf(Wnd);
  return C ? C->findChild<QTabBar*>(QStringLiteral("gtTabs"), Qt::FindDirectChildrenOnly) : nullptr;
}
}  // namespace

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle.Include(csAcceptsControls);
  FColor = clBtnFace;
  FParentColor = false;
  FTabStop = true;
  SetBounds(0, 0, 289, 193);
}

TPageControl::~TPageControl() {
  for (TTabSheet* P : FPages) P->FPageControl = nullptr;
  FPages.clear();
  FActivePage = nullptr;
}

TTabSheet* TPageControl::Pages(Integer Index) const {
  if (Index < 0 || Index >= PageCount()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FPages[static_cast<size_t>(Index)];
}

Integer TPageControl::ActivePageIndex() const { return FActivePage ? FActivePage->PageIndex() : -1; }

void TPageControl::SetActivePageIndex(Integer Value) {
  SetActivePage(Value >= 0 && Value < PageCount() ? FPages[static_cast<size_t>(Value)] : nullptr);
}

void TPageControl::SetActivePage(TTabSheet* Page) {
  if (Page && Page->FPageControl != this) return;
  FActivePage = Page;
  ShowActive();
  UpdateTabs();
}

TTabSheet* TPageControl::FindNextPage(TTabSheet* CurPage, bool GoForward, bool CheckTabVisible) {
  if (FPages.empty()) return nullptr;
  Integer N = PageCount();
  auto It = std::find(FPages.begin(), FPages.end(), CurPage);
  Integer Start = It == FPages.end() ? (GoForward ? N - 1 : 0) : static_cast<Integer>(It - FPages.begin());
  Integer I = Start;
  for (Integer Step = 0; Step < N; ++Step) {
    I = GoForward ? (I + 1) % N : (I - 1 + N) % N;
    TTabSheet* P = FPages[static_cast<size_t>(I)];
    if (!CheckTabVisible || P->FTabVisible) return P;
  }
  return nullptr;
}

void TPageControl::SelectNextPage(bool GoForward) {
  TTabSheet* Next = FindNextPage(FActivePage, GoForward, true);
  if (!Next || Next == FActivePage || !CanChange()) return;
  SetActivePage(Next);
  Change();
}

bool TPageControl::CanChange() {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  return Allow;
}

void TPageControl::Change() {
  if (OnChange) OnChange(this);
}

TRect TPageControl::DisplayRect() {
  TRect C = TCustomControl::ClientRect();
  QTabBar* Bar = TabBarOf(FHandle);
  Integer TabHeight = Bar ? Bar->sizeHint().height() : 22;
  return TRect(4, TabHeight + 2, std::max(4, C.Right - 4), std::max(TabHeight + 2, C.Bottom - 4));
}

void TPageControl::AdjustClientRect(TRect& Rect) { Rect = DisplayRect(); }

void TPageControl::AlignControls(TControl* AControl, TRect& Rect) {
  TCustomControl::AlignControls(AControl, Rect);
  TRect D = DisplayRect();
  for (TTabSheet* P : FPages) {
    P->FAnchoring = true;
    P->SetBounds(D.Left, D.Top, D.Width(), D.Height());
    P->FAnchoring = false;
  }
}

void TPageControl::ShowActive() {
  for (TTabSheet* P : FPages)
    if (P != FActivePage) P->SetVisible(false);
  if (FActivePage) {
    FActivePage->SetVisible(true);
    FActivePage->BringToFront();
  }
  Realign();
}

void TPageControl::UpdateTabs() {
  QTabBar* Bar = TabBarOf(FHandle);
  if (!Bar) return;
  FSyncing = true;
  while (Bar->count() > 0) Bar->removeTab(0);
  for (TTabSheet* P : FPages)
    if (P->FTabVisible) Bar->addTab(ToQString(P->Caption()));
  Bar->setCurrentIndex(FActivePage ? FActivePage->TabIndex() : -1);
  Bar->setGeometry(0, 0, std::max(Bar->sizeHint().width(), 1), Bar->sizeHint().height());
  FSyncing = false;
}

void TPageControl::TabClicked(Integer TabIndex) {
  TTabSheet* Page = nullptr;
  Integer I = 0;
  for (TTabSheet* P : FPages)
    if (P->FTabVisible && I++ == TabIndex) Page = P;
  if (!Page || Page == FActivePage) return;
  if (!CanChange()) {
    UpdateTabs();
    return;
  }
  SetActivePage(Page);
  Change();
}

void TPageControl::CreateWnd() {
  TCustomControl::CreateWnd();
  auto* Bar = new QTabBar(ClientWidgetOf(FHandle));
  Bar->setObjectName(QStringLiteral("gtTabs"));
  Bar->setDrawBase(false);
  Bar->setFocusPolicy(Qt::NoFocus);
  QObject::connect(Bar, &QTabBar::currentChanged, Bar, [this](int Index) {
    if (FSyncing) return;
    Guarded([this, Index] { TabClicked(Index); });
  });
  Bar->show();
  UpdateTabs();
}

void TPageControl::WMSize(TMessage& M) {
  TCustomControl::WMSize(M);
  UpdateTabs();
}

void TPageControl::Paint() {
  TRect R = DisplayRect();
  InflateRect(R, 2, 2);
  DrawEdge(Canvas()->Handle(), &R, EDGE_RAISED, BF_RECT);
}

void TPageControl::InsertPage(TTabSheet* Page) {
  FPages.push_back(Page);
  Page->FPageControl = this;
  if (!FActivePage && Page->FTabVisible) FActivePage = Page;
  ShowActive();
  UpdateTabs();
}

void TPageControl::RemovePage(TTabSheet* Page) {
  auto It = std::find(FPages.begin(), FPages.end(), Page);
  if (It == FPages.end()) return;
  if (FActivePage == Page) {
    TTabSheet* Next = FindNextPage(Page, true, true);
    FActivePage = Next == Page ? nullptr : Next;
  }
  FPages.erase(std::find(FPages.begin(), FPages.end(), Page));
  Page->FPageControl = nullptr;
  if (!ComponentState().Contains(csDestroying)) {
    ShowActive();
    UpdateTabs();
  }
}

// ---------------------------------------------------------------- TTrackBar

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
  FTabStop = true;
  SetBounds(0, 0, 150, 45);
}

void TTrackBar::SetMin(Integer Value) {
  FMin = Value;
  if (FMax < FMin) FMax = FMin;
  SetPosition(FPosition);
  SyncWidget();
}

void TTrackBar::SetMax(Integer Value) {
  FMax = Value;
  if (FMin > FMax) FMin = FMax;
  SetPosition(FPosition);
  SyncWidget();
}

void TTrackBar::SetPosition(Integer Value) {
  Value = std::clamp(Value, FMin, FMax);
  if (Value == FPosition) return;
  FPosition = Value;
  SyncWidget();
  if (OnChange) OnChange(this);
}

void TTrackBar::SetOrientation(TTrackBarOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  SetBounds(FLeft, FTop, FHeight, FWidth);
  SyncWidget();
}

void TTrackBar::SetFrequency(Integer Value) {
  FFrequency = std::max(1, Value);
  SyncWidget();
}

void TTrackBar::SetLineSize(Integer Value) {
  FLineSize = std::max(1, Value);
  SyncWidget();
}

void TTrackBar::SetPageSize(Integer Value) {
  FPageSize = std::max(1, Value);
  SyncWidget();
}

void TTrackBar::SetTickMarks(TTickMark Value) {
  FTickMarks = Value;
  SyncWidget();
}

void TTrackBar::SetTickStyle(TTickStyle Value) {
  FTickStyle = Value;
  SyncWidget();
}

void TTrackBar::SyncWidget() {
  auto* S = NativeOf<QSlider>(FHandle);
  if (!S) return;
  FSyncing = true;
  S->setOrientation(FOrientation == trHorizontal ? Qt::Horizontal : Qt::Vertical);
  S->setRange(FMin, FMax);
  S->setSingleStep(FLineSize);
  S->setPageStep(FPageSize);
  S->setTickInterval(FFrequency);
  QSlider::TickPosition T = QSlider::NoTicks;
  if (FTickStyle != tsNone)
    T = FTickMarks == tmBoth ? QSlider::TicksBothSides : FTickMarks == tmTopLeft ? QSlider::TicksAbove : QSlider::TicksBelow;
  S->setTickPosition(T);
  S->setValue(FPosition);
  FSyncing = false;
}

void TTrackBar::CreateWindowHandle(const TCreateParams& P) {
  auto* S = new QSlider(FOrientation == trHorizontal ? Qt::Horizontal : Qt::Vertical);
  QObject::connect(S, &QSlider::valueChanged, S, [this](int V) {
    if (FSyncing) return;
    Guarded([this, V] {
      FPosition = V;
      if (OnChange) OnChange(this);
    });
  });
  CreateNativeWindow(P, S, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  SyncWidget();
}

void TTrackBar::Dispatch(TMessage& M) {
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS;
    return;
  }
  TWinControl::Dispatch(M);
}

// ---------------------------------------------------------------- TUpDown

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle = TControlStyle{csCaptureMouse, csDoubleClicks};
  SetBounds(0, 0, 17, 25);
}

TUpDown::~TUpDown() { SetAssociate(nullptr); }

void TUpDown::SetMin(Integer Value) {
  FMin = Value;
  SetPosition(FPosition);
}

void TUpDown::SetMax(Integer Value) {
  FMax = Value;
  SetPosition(FPosition);
}

void TUpDown::SetPosition(Integer Value) {
  FPosition = FMin <= FMax ? std::clamp(Value, FMin, FMax) : std::clamp(Value, FMax, FMin);
  UpdateAssociate();
}

void TUpDown::SetThousands(bool Value) {
  FThousands = Value;
  UpdateAssociate();
}

void TUpDown::SetOrientation(TUDOrientation Value) {
  if (FOrientation == Value) return;
  FOrientation = Value;
  RecreateWnd();
}

void TUpDown::SetAlignButton(TUDAlignButton Value) {
  FAlignButton = Value;
  PlaceBeside();
}

WideString TUpDown::PositionText() const {
  std::string Digits = std::to_string(std::abs(static_cast<int64_t>(FPosition)));
  std::string Out;
  for (size_t i = 0; i < Digits.size(); ++i) {
    if (FThousands && i > 0 && (Digits.size() - i) % 3 == 0) Out += ',';
    Out += Digits[i];
  }
  if (FPosition < 0) Out.insert(Out.begin(), '-');
  return Utf8ToWide(Out);
}

void TUpDown::UpdateAssociate() {
  if (FAssociate) FAssociate->SetText(PositionText());
}

void TUpDown::PlaceBeside() {
  if (!FAssociate) return;
  if (FParent != FAssociate->Parent()) SetParent(FAssociate->Parent());
  TRect A = FAssociate->BoundsRect();
  if (FAlignButton == udRight) {
    FAssociate->SetBounds(A.Left, A.Top, std::max(0, A.Width() - FWidth), A.Height());
    SetBounds(FAssociate->Left() + FAssociate->Width(), A.Top, FWidth, A.Height());
  } else {
    SetBounds(A.Left, A.Top, FWidth, A.Height());
    FAssociate->SetBounds(A.Left + FWidth, A.Top, std::max(0, A.Width() - FWidth), A.Height());
  }
}

void TUpDown::SetAssociate(TWinControl* Value) {
  if (FAssociate == Value) return;
  if (FAssociate) {
    FAssociate->WindowProc = FAssociateProc;
    FAssociate->RemoveFreeNotification(this);
  }
  FAssociate = Value;
  FAssociateProc = nullptr;
  if (!Value) return;
  Value->FreeNotification(this);
  FAssociateProc = Value->WindowProc;
  Value->WindowProc = [this](TMessage& M) {
    if (M.Msg == WM_KEYDOWN && FArrowKeys && (M.WParam == VK_UP || M.WParam == VK_DOWN)) {
      Step(M.WParam == VK_UP ? btNext : btPrev);
      M.WParam = 0;  // the edit does not move its cursor as well
      return;
    }
    FAssociateProc(M);
  };
  PlaceBeside();
  UpdateAssociate();
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAssociate) {
    FAssociate = nullptr;
    FAssociateProc = nullptr;
  }
}

void TUpDown::Step(TUDBtnType Button) {
  // The associate's text is the position when the user typed one.
  if (FAssociate) {
    std::string Digits;
    for (WideChar C : FAssociate->Text())
      if ((C >= u'0' && C <= u'9') || (C == u'-' && Digits.empty())) Digits += static_cast<char>(C);
    if (!Digits.empty() && Digits != "-") {
      try {
        SetPosition(static_cast<Integer>(std::clamp<long long>(std::stoll(Digits), INT_MIN, INT_MAX)));
      } catch (const std::exception&) {
      }
    }
  }
  int64_t New = static_cast<int64_t>(FPosition) + (Button == btNext ? FIncrement : -FIncrement);
  Integer Lo = std::min(FMin, FMax), Hi = std::max(FMin, FMax);
  if (New > Hi) New = FWrap ? Lo : Hi;
  if (New < Lo) New = FWrap ? Hi : Lo;
  bool Allow = true;
  if (OnChanging) OnChanging(this, Allow);
  if (OnChangingEx) OnChangingEx(this, Allow, static_cast<int16_t>(New), Button == btNext ? updUp : updDown);
  if (!Allow) return;
  SetPosition(static_cast<Integer>(New));
  if (OnClick) OnClick(this, Button);
}

void TUpDown::CreateWindowHandle(const TCreateParams& P) {
  auto* Box = new QWidget();
  QBoxLayout* L = FOrientation == udVertical ? static_cast<QBoxLayout*>(new QVBoxLayout(Box))
                                             : static_cast<QBoxLayout*>(new QHBoxLayout(Box));
  L->setContentsMargins(0, 0, 0, 0);
  L->setSpacing(0);
  auto Make = [&](Qt::ArrowType Arrow, TUDBtnType Kind) {
    auto* B = new QToolButton(Box);
    B->setArrowType(Arrow);
    B->setAutoRepeat(true);
    B->setFocusPolicy(Qt::NoFocus);
    B->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QObject::connect(B, &QToolButton::clicked, B, [this, Kind] { Guarded([this, Kind] { Step(Kind); }); });
    return B;
  };
  if (FOrientation == udVertical) {
    L->addWidget(Make(Qt::UpArrow, btNext));
    L->addWidget(Make(Qt::DownArrow, btPrev));
  } else {
    L->addWidget(Make(Qt::LeftArrow, btPrev));
    L->addWidget(Make(Qt::RightArrow, btNext));
  }
  CreateNativeWindow(P, Box, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
}
