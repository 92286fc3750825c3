// The toolbar: sizes from the view's layout per dock kind, wrap and chevron
// offsets, the chevron, the floating size list and the settings. Keys,
// shortcuts, the mouse and control items are in tbtoolbarinput.cpp.
#include "controls/tbtoolbar.h"

#include <algorithm>
#include <cstdlib>

#include "controls/tbcommon.h"
#include "controls/tbhook.h"

namespace {
constexpr Integer ChevronSize = 12;
const WideString DefaultChevronHint = u"More Buttons|";
}  // namespace

Integer ViewOrientationFor(TTBDockKind Kind) {
  switch (Kind) {
    case dkFloating: return tbvoFloating;
    case dkVertical: return tbvoVertical;
    default: return tbvoHorizontal;
  }
}

// ---------------------------------------------------------------- chevron

TTBChevronItem::TTBChevronItem(TTBCustomToolbar* AToolbar) : TTBCustomItem(AToolbar), FToolbar(AToolbar) {
  TTBItemStyle S = ItemStyle();
  S.Include(tisSubmenu).Include(tisNoAutoOpen);
  SetItemStyle(S);
  SetHint(DefaultChevronHint);
  SetCaption(DoubleAmpersands(GetShortHint(DefaultChevronHint)));
}

TTBView* TTBChevronItem::ChevronSourceView() { return FToolbar->View(); }

TTBItemViewer* TTBChevronItem::CreateViewer(TTBView* View, Integer GroupLevel) {
  return new TTBChevronItemViewer(View, this, GroupLevel);
}

void TTBChevronItemViewer::Paint(TCanvas* Canvas, const TRect& ClientRect, bool IsSelected, bool IsPushed, bool) {
  HDC DC = Canvas->Handle();
  TRect R = ClientRect;
  const bool Enabled = Item()->Enabled();
  const bool Designing = Item()->ComponentState().Contains(csDesigning);
  if (Enabled) {
    if (IsPushed)
      DrawEdge(DC, &R, BDR_SUNKENOUTER, BF_RECT);
    else if (IsSelected && !Designing)
      DrawEdge(DC, &R, BDR_RAISEDINNER, BF_RECT);
  }
  const bool Vertical = View()->Orientation() == tbvoVertical;
  // The glyph's top-left corner and the area it may cover.
  TRect G = Vertical ? TRect(R.Right - 9, R.Top + 2, R.Right - 4, R.Top + 10) : TRect(R.Left + 2, 4, R.Left + 10, 9);
  if (IsPushed) OffsetRect(G, 1, 1);
  const uint8_t* Rows = Vertical ? TBChevronGlyphDown : TBChevronGlyphRight;
  auto Draw = [&](Integer DX, Integer DY, COLORREF Color) {
    for (Integer Y = 0; Y < G.Height(); ++Y)
      for (Integer X = 0; X < G.Width(); ++X)
        if (Rows[Y] & (0x80 >> X)) SetPixelV(DC, G.Left + X + DX, G.Top + Y + DY, Color);
  };
  if (Enabled) {
    Draw(0, 0, GetSysColor(COLOR_BTNTEXT));
  } else {
    Draw(0, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    Draw(0, 0, GetSysColor(COLOR_BTNSHADOW));
  }
}

// ---------------------------------------------------------------- view

TTBToolbarView::TTBToolbarView(TTBCustomToolbar* AToolbar)
    : TTBView(AToolbar, nullptr, AToolbar->FRoot, AToolbar, true, false,
              !AToolbar->ComponentState().Contains(csDesigning)),
      FToolbar(AToolbar) {}

void TTBToolbarView::ApplyAutoSize(Integer, Integer) {
  FToolbar->FBaseSize = BaseSize();
  if (FToolbar->FCalcLock == 0 && (FToolbar->AutoResize() || FToolbar->Docked() || FToolbar->Floating()))
    FToolbar->Arrange();
}

void TTBToolbarView::UpdateLayout(TPoint& Size) {
  FToolbar->FShrunkSize = 0;
  // Every bar of a row gets one thickness; a full-size bar spans the dock.
  const bool Vertical = Orientation() == tbvoVertical;
  if (TTBDock* D = FToolbar->CurrentDock(); D && FToolbar->Docked()) {
    const Integer Min = D->GetOtherBarsRowThickness(FToolbar->EffectiveDockRow(), FToolbar);
    (Vertical ? Size.X : Size.Y) = std::max(Vertical ? Size.X : Size.Y, Min);
  }
  if (FToolbar->FullSize()) (Vertical ? Size.Y : Size.X) = std::max(Vertical ? Size.Y : Size.X, WrapOffset());
  ++FToolbar->FPositionsLock;
  struct TUnlock {
    Integer& L;
    ~TUnlock() { --L; }
  } Unlock{FToolbar->FPositionsLock};
  TTBView::UpdateLayout(Size);
}

void TTBToolbarView::InvalidateLayout() {
  FToolbar->FShrunkSize = 0;
  TTBView::InvalidateLayout();
}

TTBCustomItem* TTBToolbarView::ChevronItem() { return FToolbar->FChevronItem; }
TTBCustomItem* TTBToolbarView::MDIButtonsItem() { return FToolbar->FMDIButtonsItem; }
TTBCustomItem* TTBToolbarView::MDISystemMenuItem() { return FToolbar->FMDISystemMenuItem; }

TFont* TTBToolbarView::ViewFont() { return FToolbar->FSystemFont ? TTBView::ViewFont() : FToolbar->Font(); }

// ---------------------------------------------------------------- toolbar

TTBCustomToolbar::TTBCustomToolbar(TComponent* AOwner) : TTBCustomDockableWindow(AOwner) {
  FControlStyle.Exclude(csCaptureMouse);
  FRoot = new TTBRootItem(this);
  FRoot->SetParentComponentOfRoot(this);
  FChevronItem = new TTBChevronItem(this);
  FChevronItem->SetLinkSubitems(FRoot);
  FView = new TTBToolbarView(this);
  FView->SetBackgroundColor(clBtnFace);
  FView->RebuildViewers();
  SetBounds(Left(), Top(), 23, 22);
}

TTBCustomToolbar::~TTBCustomToolbar() {
  Destroying();
  if (FMenuHookRegistered) UnregisterHookProc(this, MenuBarGetMessageHook);
  FMenuHookRegistered = false;
  FProcessShortCuts = false;
  FMenuBar = false;
  UpdateShortcutRegistration();
  delete FView;
  FView = nullptr;
  delete FChevronItem;
  FChevronItem = nullptr;
  delete FRoot;
  FRoot = nullptr;
}

void TTBCustomToolbar::ReadPositionData(const TTBPositionReadIntProc& ReadIntProc, void* ExtraData) {
  if (ReadIntProc) SetFloatingWidth(ReadIntProc(Name(), u"FloatRightX", FFloatingWidth, ExtraData));
}

void TTBCustomToolbar::WritePositionData(const TTBPositionWriteIntProc& WriteIntProc, void* ExtraData) {
  if (WriteIntProc) WriteIntProc(Name(), u"FloatRightX", FFloatingWidth, ExtraData);
}

void TTBCustomToolbar::SetChevronHint(const WideString& Value) {
  FChevronItem->SetHint(Value);
  FChevronItem->SetCaption(DoubleAmpersands(GetShortHint(Value)));
}

void TTBCustomToolbar::SetChevronMoveItems(bool Value) {
  if (Value == FChevronMoveItems) return;
  FChevronMoveItems = Value;
  FView->SetUsePriorityList(Value && !ComponentState().Contains(csDesigning));
}

void TTBCustomToolbar::SetChevronPriorityForNewItems(TTBChevronPriorityForNewItems Value) {
  FChevronPriorityForNewItems = Value;
  FView->SetNewViewersGetHighestPriority(Value == tbcpHighest);
}

void TTBCustomToolbar::SetFloatingWidth(Integer Value) {
  if (Value == FFloatingWidth) return;
  FFloatingWidth = Value;
  if (Floating()) {
    UpdateViewProperties();
    Arrange();
  }
}

void TTBCustomToolbar::SetShrinkMode(TTBShrinkMode Value) {
  if (Value == FShrinkMode) return;
  FShrinkMode = Value;
  if (Docked())
    CurrentDock()->ArrangeBars();
  else if (!Floating())
    Arrange();
}

void TTBCustomToolbar::SetSystemFont(bool Value) {
  if (Value == FSystemFont) return;
  FSystemFont = Value;
  Arrange();
}

void TTBCustomToolbar::SetMenuBar(bool Value) {
  if (Value == FMenuBar) return;
  FMenuBar = Value;
  TTBViewStyle Style = FView->Style();
  if (Value) {
    FControlStyle.Include(csMenuEvents);
    Style.Include(vstMenuBar).Include(vstHideAccelsUntilAlt);
  } else {
    FControlStyle.Exclude(csMenuEvents);
    Style.Exclude(vstMenuBar).Exclude(vstHideAccelsUntilAlt);
  }
  FView->SetStyle(Style);
  if (!ComponentState().Contains(csLoading)) {
    SetFullSize(Value);
    SetShrinkMode(Value ? tbsmWrap : tbsmChevron);
    SetCloseButton(!Value);
    SetProcessShortCuts(Value);
  }
  const bool Hook = Value && !ComponentState().Contains(csDesigning);
  if (Hook && !FMenuHookRegistered)
    RegisterHookProc(this, MenuBarGetMessageHook, HookCodeBit(hookGetMessage));
  else if (!Hook && FMenuHookRegistered)
    UnregisterHookProc(this, MenuBarGetMessageHook);
  FMenuHookRegistered = Hook;
  UpdateShortcutRegistration();
}

void TTBCustomToolbar::SetProcessShortCuts(bool Value) {
  if (Value == FProcessShortCuts) return;
  FProcessShortCuts = Value;
  UpdateShortcutRegistration();
}

TPoint TTBCustomToolbar::GetBaseSize() {
  ++FCalcLock;
  FView->EnsureLayout();
  --FCalcLock;
  return FBaseSize;
}

void TTBCustomToolbar::GetMinShrinkSize(Integer& Length) {
  const bool Vertical = GetDockKind(CurrentDock(), Floating()) == dkVertical;
  Integer Along = 0;
  if (TTBItemViewer* V = FView->TopPriorityViewer())
    Along = Vertical ? V->BoundsRect.Height() : V->BoundsRect.Width();
  TPoint NC = GetDockedNCAreaSize();
  Length = Along + (Vertical ? NC.Y : NC.X) + ChevronSize;
}

Integer TTBCustomToolbar::GetWrapOffsetFor(TTBDock* Dock) {
  if (!Dock) return FFloatingWidth;
  if (FShrinkMode != tbsmWrap) return 0;
  TPoint NC = DockedNCAreaSizeFor(Dock);
  if (GetDockKind(Dock, false) == dkVertical) return Dock->Height() - Dock->BoundLineCountY() - NC.Y;
  return Dock->Width() - Dock->BoundLineCountX() - NC.X;
}

Integer TTBCustomToolbar::GetChevronOffsetFor(TTBDock* Dock, Integer Orientation) {
  if (FShrinkMode != tbsmChevron || !Docked() || Dock != CurrentDock()) return 0;
  TPoint NC = GetDockedNCAreaSize();
  return std::max<Integer>(FShrunkSize - (Orientation == tbvoVertical ? NC.Y : NC.X), 0);
}

void TTBCustomToolbar::UpdateViewProperties() {
  FView->SetOrientation(ViewOrientationFor(GetDockKind(CurrentDock(), Floating())));
  FView->SetChevronSize(ChevronSize);
  if (Docked() || Floating()) {
    TTBDock* Dock = Floating() ? nullptr : CurrentDock();
    FView->SetChevronOffset(GetChevronOffsetFor(Dock, FView->Orientation()));
    FView->SetWrapOffset(GetWrapOffsetFor(Dock));
    return;
  }
  FView->SetChevronOffset(0);
  FView->SetWrapOffset(0);
  // A plain toolbar that keeps its width (no automatic size, or stretched
  // between both sides) fits its items into that width: the width is the
  // length the chevron or the wrapping works within. Taking the offsets'
  // zero as the width instead would shrink the bar to nothing.
  const TAnchors A = Anchors();
  if (!AutoResize() || (A.Contains(akLeft) && A.Contains(akRight))) {
    if (FShrinkMode == tbsmChevron)
      FView->SetChevronOffset(ClientWidth());
    else if (FShrinkMode == tbsmWrap)
      FView->SetWrapOffset(ClientWidth());
  }
}

void TTBCustomToolbar::CalcSize(bool Apply, TTBDockKind Kind, TPoint& Size, TTBDock* Dock, bool AFloating) {
  ++FCalcLock;
  struct TUnlock {
    Integer& L;
    ~TUnlock() { --L; }
  } Unlock{FCalcLock};
  if (Apply) {
    UpdateViewProperties();
    FView->Relayout(Size);
    return;
  }
  const Integer Orientation = ViewOrientationFor(Kind);
  TTBDock* D = AFloating ? nullptr : Dock;
  TPoint Base;
  Size = TPoint(0, 0);
  Integer Lines = 1;
  FView->ComputeLayout(false, Orientation, GetWrapOffsetFor(D), GetChevronOffsetFor(D, Orientation), ChevronSize,
                       Base, Size, Lines);
  FWrapLineCount = Lines;
}

std::vector<TPoint> TTBCustomToolbar::GetFloatingSizes() {
  std::vector<TPoint> Sizes;
  std::vector<Integer> LineCounts;
  TRect Margins;
  FView->LayoutMargins(tbvoFloating, Margins);
  const Integer Smallest = Margins.Left + Margins.Right;
  const Integer Saved = FFloatingWidth;
  struct TRestore {
    Integer& Field;
    Integer Value;
    ~TRestore() { Field = Value; }
  } Restore{FFloatingWidth, Saved};
  TPoint S;
  FFloatingWidth = 0;
  CalcSize(false, dkFloating, S, nullptr, true);
  Sizes.push_back(S);
  LineCounts.push_back(FWrapLineCount);
  for (Integer W = S.X - 1; W >= Smallest;) {
    FFloatingWidth = W;
    CalcSize(false, dkFloating, S, nullptr, true);
    if (S.X > W) break;
    if (S.X == W) {
      if (FWrapLineCount == LineCounts.back()) {
        Sizes.back() = S;
      } else {
        Sizes.push_back(S);
        LineCounts.push_back(FWrapLineCount);
      }
      --W;
    } else
      W = S.X;
  }
  return Sizes;
}

namespace {
bool SizesTopOrBottom(Integer Side) { return Side == 2 || Side == 5; }
}  // namespace

void TTBCustomToolbar::SizeBegin(Integer Side, Integer StartWidth, Integer StartHeight, const TRect& Frame) {
  auto D = std::make_unique<TToolbarSizeData>();
  D->Side = Side;
  D->StartWidth = StartWidth;
  D->StartHeight = StartHeight;
  D->BorderX = Frame.Left;
  D->NewFloatingWidth = FFloatingWidth;
  for (const TPoint& C : GetFloatingSizes())
    D->Sizes.emplace_back(C.X + Frame.Left + Frame.Right, C.Y + Frame.Top + Frame.Bottom);
  const bool TB = SizesTopOrBottom(Side);
  auto Key = [TB](const TPoint& P) { return TB ? P.Y : P.X; };
  std::stable_sort(D->Sizes.begin(), D->Sizes.end(), [&](const TPoint& A, const TPoint& B) { return Key(A) > Key(B); });
  // The start size is normally one of the list; after a font change or a
  // floating width set by code it may not be, and then the entry nearest by
  // the sort key stands in for it.
  const Integer Start = TB ? StartHeight : StartWidth;
  size_t At = D->Sizes.size();
  for (size_t i = 0; i < D->Sizes.size(); ++i)
    if (D->Sizes[i] == TPoint(StartWidth, StartHeight)) {
      At = i;
      break;
    }
  if (At == D->Sizes.size() && !D->Sizes.empty()) {
    At = 0;
    for (size_t i = 1; i < D->Sizes.size(); ++i)
      if (std::abs(Key(D->Sizes[i]) - Start) < std::abs(Key(D->Sizes[At]) - Start)) At = i;
  }
  if (At < D->Sizes.size()) {
    if (At > 0) D->DistanceLarger = std::min<Integer>(Key(D->Sizes[At - 1]) - Key(D->Sizes[At]), 12);
    if (At + 1 < D->Sizes.size()) D->DistanceSmaller = std::min<Integer>(Key(D->Sizes[At]) - Key(D->Sizes[At + 1]), 12);
  }
  FSizeData = std::move(D);
}

void TTBCustomToolbar::SizeTrack(TRect& Rect, const TRect& StartRect) {
  if (!FSizeData || FSizeData->Sizes.empty()) return;
  TToolbarSizeData& D = *FSizeData;
  const bool TB = SizesTopOrBottom(D.Side);
  auto Key = [TB](const TPoint& P) { return TB ? P.Y : P.X; };
  Integer N = TB ? Rect.Height() : Rect.Width();
  const Integer S = TB ? StartRect.Height() : StartRect.Width();
  const bool Shrinking = N < S;
  if (!(D.SensitivityOff && Shrinking == D.Shrinking)) {
    D.SensitivityOff = false;
    if (N > S - D.DistanceSmaller && N < S + D.DistanceLarger) N = S;
  }
  D.Shrinking = Shrinking;

  const size_t Count = D.Sizes.size();
  size_t Pick;
  if (!Shrinking) {
    Pick = 0;
    for (size_t i = Count; i-- > 0;)
      if (Key(D.Sizes[i]) >= N) {
        Pick = i;
        break;
      }
  } else {
    Pick = Count - 1;
    for (size_t i = 0; i < Count; ++i)
      if (Key(D.Sizes[i]) <= N) {
        Pick = i;
        break;
      }
  }
  const TPoint E = D.Sizes[Pick];
  Rect = StartRect;
  if (TB) {
    D.NewFloatingWidth = Pick == Count - 1 ? 0 : E.X - 2 * D.BorderX;
    if (D.Side == 5)
      Rect.Bottom = Rect.Top + E.Y;
    else
      Rect.Top = Rect.Bottom - E.Y;
    Rect.Right = Rect.Left + E.X;
  } else {
    D.NewFloatingWidth = Pick == 0 ? 0 : E.X - 2 * D.BorderX;
    if (D.Side == 1)
      Rect.Right = Rect.Left + E.X;
    else
      Rect.Left = Rect.Right - E.X;
    Rect.Bottom = Rect.Top + E.Y;
  }
  D.SensitivityOff = !(Rect == StartRect);
}

void TTBCustomToolbar::SizeCommit() {
  if (FSizeData) FFloatingWidth = FSizeData->NewFloatingWidth;
}

void TTBCustomToolbar::SizeEnd() { FSizeData.reset(); }

void TTBCustomToolbar::Paint() {
  if (ComponentState().Contains(csDesigning) && !Docked()) {
    TRect R = ClientRect();
    TCanvas* C = Canvas();
    C->Pen()->SetColor(clBtnShadow);
    C->Pen()->SetStyle(psDot);
    C->Brush()->SetStyle(bsClear);
    C->Rectangle(R);
  }
  FView->PaintViewers(Canvas());
}

void TTBCustomToolbar::RelayoutContents() {
  TPoint Size;
  ++FCalcLock;
  UpdateViewProperties();
  FView->Relayout(Size);
  --FCalcLock;
}
