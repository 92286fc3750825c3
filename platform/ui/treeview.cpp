// The tree view: the nodes and notifications of the control, ChangeDelay
// and the control's messages; its window's widget (treeview_host.cpp) shows
// and draws them.
#include "platform/ui/treeview.h"

#include <QScrollBar>

#include <algorithm>
#include <utility>

#include "platform/base/strutils.h"
#include "platform/ui/private/itemviews.h"
#include "platform/ui/private/treeviewhost.h"

using namespace gtui;

namespace {
COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)); }
HTREEITEM ItemOf(TTreeNode* Node) { return reinterpret_cast<HTREEITEM>(Node); }
TTreeNode* NodeOf(HTREEITEM Item) { return reinterpret_cast<TTreeNode*>(Item); }
constexpr UINT_PTR ChangeTimerId = 0x7E51;
}  // namespace

// ---------------------------------------------------------------- TTreeNode

TTreeNode::TTreeNode(TTreeNodes* AOwner) : FOwner(AOwner) {}

TTreeNode::~TTreeNode() {
  for (TTreeNode* C : FChildren) delete C;
}

TCustomTreeView* TTreeNode::TreeView() const { return FOwner->Owner(); }

std::vector<TTreeNode*>& TTreeNode::Siblings() const { return FParent ? FParent->FChildren : FOwner->FRoots; }

void TTreeNode::Changed() { TreeView()->NodeChanged(this); }

void TTreeNode::SetText(const WideString& Value) {
  if (FText == Value) return;
  FText = Value;
  Changed();
  TCustomTreeView* TV = TreeView();
  if ((TV->FSortType == stText || TV->FSortType == stBoth) && FParent) FParent->AlphaSort(false);
  else if (TV->FSortType == stText || TV->FSortType == stBoth) TV->AlphaSort(false);
}

void TTreeNode::SetImageIndex(TImageIndex Value) {
  if (FImageIndex == Value) return;
  FImageIndex = Value;
  Changed();
}

void TTreeNode::SetSelectedIndex(TImageIndex Value) {
  if (FSelectedIndex == Value) return;
  FSelectedIndex = Value;
  Changed();
}

void TTreeNode::SetOverlayIndex(TImageIndex Value) {
  if (FOverlayIndex == Value) return;
  FOverlayIndex = Value;
  Changed();
}

void TTreeNode::SetStateIndex(TImageIndex Value) {
  if (FStateIndex == Value) return;
  FStateIndex = Value;
  Changed();
}

void TTreeNode::SetHasChildren(bool Value) {
  if (FHasChildren == Value) return;
  FHasChildren = Value;
  Changed();
}

void TTreeNode::SetExpanded(bool Value) { Value ? Expand(false) : Collapse(false); }

bool TTreeNode::Selected() const { return TreeView()->Selected() == this; }

void TTreeNode::SetSelected(bool Value) {
  if (Value) TreeView()->SetSelected(this);
  else if (Selected()) TreeView()->SetSelected(nullptr);
}

void TTreeNode::SetCut(bool Value) {
  if (FCut == Value) return;
  FCut = Value;
  Changed();
}

void TTreeNode::SetDropTarget(bool Value) {
  if (FDropTarget == Value) return;
  // One node at a time shows the drop look.
  if (Value)
    if (TTreeNode* Old = TreeView()->DropTarget(); Old && Old != this) Old->SetDropTarget(false);
  FDropTarget = Value;
  Changed();
}

TTreeNode* TTreeNode::Item(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FChildren[static_cast<size_t>(Index)];
}

Integer TTreeNode::Level() const {
  Integer L = 0;
  for (TTreeNode* P = FParent; P; P = P->FParent) ++L;
  return L;
}

Integer TTreeNode::AbsoluteIndex() const {
  Integer I = 0;
  for (TTreeNode* N = FOwner->GetFirstNode(); N; N = N->GetNext(), ++I)
    if (N == this) return I;
  return -1;
}

bool TTreeNode::HasAsParent(const TTreeNode* Value) const {
  for (TTreeNode* P = FParent; P; P = P->FParent)
    if (P == Value) return true;
  return false;
}

TTreeNode* TTreeNode::getNextSibling() const {
  const std::vector<TTreeNode*>& S = Siblings();
  return FIndex >= 0 && static_cast<size_t>(FIndex) + 1 < S.size() ? S[static_cast<size_t>(FIndex) + 1] : nullptr;
}

TTreeNode* TTreeNode::getPrevSibling() const {
  return FIndex > 0 ? Siblings()[static_cast<size_t>(FIndex) - 1] : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (!FChildren.empty()) return FChildren.front();
  for (const TTreeNode* N = this; N; N = N->FParent)
    if (TTreeNode* S = N->getNextSibling()) return S;
  return nullptr;
}

bool TTreeNode::IsVisible() const {
  for (TTreeNode* P = FParent; P; P = P->FParent)
    if (!P->FExpanded) return false;
  return true;
}

void TTreeNode::Expand(bool Recurse) {
  TCustomTreeView* TV = TreeView();
  if (HasChildren() && !FExpanded) TV->ExpandNode(this, true);
  if (Recurse)
    for (size_t i = 0; i < FChildren.size(); ++i) FChildren[i]->Expand(true);
}

void TTreeNode::Collapse(bool Recurse) {
  if (Recurse)
    for (TTreeNode* C : std::vector<TTreeNode*>(FChildren)) C->Collapse(true);
  if (FExpanded) TreeView()->ExpandNode(this, false);
}

void TTreeNode::Delete() { FOwner->Delete(this); }

void TTreeNode::DeleteChildren() {
  while (!FChildren.empty()) FOwner->Delete(FChildren.back());
}

void TTreeNode::MakeVisible() {
  for (TTreeNode* P = FParent; P; P = P->FParent)
    if (!P->FExpanded) P->Expand(false);
  if (TTreeViewHost* H = HostOf(TreeView())) H->View->scrollTo(H->Model->IndexOf(this), QAbstractItemView::EnsureVisible);
}

TRect TTreeNode::DisplayRect(bool TextOnly) const {
  TTreeViewHost* H = HostOf(TreeView());
  if (!H) return TRect();
  const TTreeViewHost::TParts P = H->PartsOf(const_cast<TTreeNode*>(this));
  const QRect R = TextOnly ? P.Label : P.Row;
  if (R.isNull()) return TRect();
  return TRect(R.left(), R.top(), R.right() + 1, R.bottom() + 1);
}

bool TTreeNode::EditText() {
  TCustomTreeView* TV = TreeView();
  TV->HandleNeeded();
  TTreeViewHost* H = HostOf(TV);
  if (!H) return false;
  MakeVisible();
  H->View->setFocus();
  H->View->StartEdit(H->Model->IndexOf(this));
  return H->EditingNode == this;
}

void TTreeNode::EndEdit(bool Cancel) {
  TTreeViewHost* H = HostOf(TreeView());
  if (!H || H->EditingNode != this) return;
  if (Cancel) {
    H->View->CancelEditing();
  } else if (auto* E = H->View->viewport()->findChild<QLineEdit*>()) {
    const QString T = E->text();
    H->EndEdit(&T);
    H->View->CancelEditing();
  }
}

bool TTreeNode::AlphaSort(bool Recurse) { return CustomSort(nullptr, 0, Recurse); }

namespace {
// Puts one level in order; the view is told afterwards.
void SortNodes(TCustomTreeView* TV, std::vector<TTreeNode*>& V, const TTVCompare& SortProc, LPARAM Data,
               const TTVCompareEvent& OnCompare) {
  auto Compare = [&](TTreeNode* A, TTreeNode* B) {
    if (SortProc) return SortProc(A, B, Data);
    Integer R = 0;
    if (OnCompare)
      OnCompare(TV, A, B, static_cast<Integer>(Data), R);
    else
      R = WideCompareText(A->Text(), B->Text());
    return R;
  };
  std::stable_sort(V.begin(), V.end(), [&](TTreeNode* A, TTreeNode* B) { return Compare(A, B) < 0; });
}
}  // namespace

bool TTreeNode::CustomSort(const TTVCompare& SortProc, LPARAM Data, bool Recurse) {
  TCustomTreeView* TV = TreeView();
  SortNodes(TV, FChildren, SortProc, Data, TV->OnCompare);
  for (size_t i = 0; i < FChildren.size(); ++i) FChildren[i]->FIndex = static_cast<Integer>(i);
  if (Recurse)
    for (TTreeNode* C : FChildren)
      if (!C->FChildren.empty()) C->CustomSort(SortProc, Data, true);
  TV->ChildrenReordered();
  return true;
}

// ---------------------------------------------------------------- TTreeNodes

TTreeNodes::~TTreeNodes() {
  for (TTreeNode* N : FRoots) delete N;
}

TTreeNode* TTreeNodes::InsertAt(TTreeNode* Parent, size_t Position, const WideString& S, void* Ptr) {
  std::vector<TTreeNode*>& V = Parent ? Parent->FChildren : FRoots;
  Position = std::min(Position, V.size());
  TTreeNode* N = FOwner->CreateNode();
  N->FParent = Parent;
  N->FText = S;
  N->FData = Ptr;
  TTreeViewHost* H = HostOf(FOwner);
  TSyncing Sync(H);
  if (H) H->Model->BeginInsert(Parent, static_cast<int>(Position));
  V.insert(V.begin() + static_cast<std::ptrdiff_t>(Position), N);
  for (size_t i = Position; i < V.size(); ++i) V[i]->FIndex = static_cast<Integer>(i);
  ++FCount;
  if (H) H->Model->EndInsert();
  FOwner->NodeAdded(N);
  return N;
}

TTreeNode* TTreeNodes::Add(TTreeNode* Sibling, const WideString& S) { return AddObject(Sibling, S, nullptr); }

TTreeNode* TTreeNodes::AddObject(TTreeNode* Sibling, const WideString& S, void* Ptr) {
  TTreeNode* Parent = Sibling ? Sibling->FParent : nullptr;
  return InsertAt(Parent, (Parent ? Parent->FChildren : FRoots).size(), S, Ptr);
}

TTreeNode* TTreeNodes::AddFirst(TTreeNode* Sibling, const WideString& S) {
  return InsertAt(Sibling ? Sibling->FParent : nullptr, 0, S, nullptr);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* Parent, const WideString& S) { return AddChildObject(Parent, S, nullptr); }

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* Parent, const WideString& S, void* Ptr) {
  return InsertAt(Parent, (Parent ? Parent->FChildren : FRoots).size(), S, Ptr);
}

TTreeNode* TTreeNodes::AddChildFirst(TTreeNode* Parent, const WideString& S) { return InsertAt(Parent, 0, S, nullptr); }

TTreeNode* TTreeNodes::Insert(TTreeNode* Sibling, const WideString& S) {
  if (!Sibling) return Add(nullptr, S);
  return InsertAt(Sibling->FParent, static_cast<size_t>(Sibling->FIndex), S, nullptr);
}

void TTreeNodes::Delete(TTreeNode* Node) {
  if (!Node || Node->FDeleting || Node->FOwner != this) return;
  TTreeNode* Sel = FOwner->FSelected;
  if (Sel && (Sel == Node || Sel->HasAsParent(Node)) && !FOwner->FDestroying) {
    // The node after the deleted branch takes the selection, as the control's own deletion does.
    TTreeNode* Next = Node->getNextSibling();
    if (!Next) Next = Node->getPrevSibling();
    if (!Next) Next = Node->FParent;
    if (Next && Next->FDeleting) Next = nullptr;
    if (!Next || !FOwner->SelectNode(Next, TVC_UNKNOWN)) FOwner->FSelected = nullptr;
  }
  Node->FDeleting = true;
  while (!Node->FChildren.empty()) Delete(Node->FChildren.back());
  FOwner->NodeRemoving(Node);
  TTreeNode* Parent = Node->FParent;
  std::vector<TTreeNode*>& V = Node->Siblings();
  const Integer Index = Node->FIndex;
  TTreeViewHost* H = HostOf(FOwner);
  {
    TSyncing Sync(H);
    if (H) H->Model->BeginRemove(Parent, Index);
    V.erase(V.begin() + Index);
    for (size_t i = static_cast<size_t>(Index); i < V.size(); ++i) V[i]->FIndex = static_cast<Integer>(i);
    --FCount;
    if (H) H->Model->EndRemove();
  }
  FOwner->NodeRemoved(Parent, Index);
  Node->FIndex = -1;
  delete Node;
}

void TTreeNodes::Clear() {
  // Emptying the tree drops the selection once, without moving it from node to node.
  FOwner->FSelected = nullptr;
  FOwner->FChangePending = false;
  BeginUpdate();
  while (!FRoots.empty()) Delete(FRoots.back());
  EndUpdate();
}

TTreeNode* TTreeNodes::Item(Integer Index) const {
  if (Index < 0 || Index >= FCount) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  TTreeNode* N = GetFirstNode();
  while (Index-- > 0 && N) N = N->GetNext();
  return N;
}

void TTreeNodes::BeginUpdate() {
  if (FUpdateCount++ == 0)
    if (TTreeViewHost* H = HostOf(FOwner)) H->View->viewport()->setUpdatesEnabled(false);
}

void TTreeNodes::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0) return;
  if (TTreeViewHost* H = HostOf(FOwner)) {
    H->View->viewport()->setUpdatesEnabled(true);
    H->View->viewport()->update();
  }
}

// ---------------------------------------------------------------- TCustomTreeView

TCustomTreeView::TCustomTreeView(TComponent* AOwner)
    : TWinControl(AOwner),
      FItems(std::make_unique<TTreeNodes>(this)),
      FCanvas(std::make_unique<TCanvas>()) {
  FControlStyle = TControlStyle{csSetCaption, csDoubleClicks, csOpaque};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  SetBounds(0, 0, 121, 97);
  for (auto& Link : FImageLinks) {
    Link = std::make_unique<TChangeLink>();
    Link->OnChange = [this](TObject*) { ImageListChanged(); };
  }
}

TCustomTreeView::~TCustomTreeView() {
  FDestroying = true;
  if (TTreeViewHost* H = NativeOf<TTreeViewHost>(FHandle)) H->TV = nullptr;
  if (FHandle) KillTimer(FHandle, ChangeTimerId);
  ChangeImages(FImages, nullptr);
  ChangeImages(FStateImages, nullptr);
  FSelected = nullptr;
}

void TCustomTreeView::ChangeImages(TCustomImageList*& Field, TCustomImageList* Value) {
  if (Field == Value) return;
  TCustomImageList* Old = Field;
  Field = Value;
  TChangeLink* Link = FImageLinks[&Field == &FStateImages ? 1 : 0].get();
  if (Old) {
    Old->UnRegisterChanges(Link);
    // A list in both slots stays linked until it leaves both.
    if (Old != FImages && Old != FStateImages) Old->RemoveFreeNotification(this);
  }
  if (Value) {
    Value->RegisterChanges(Link);
    Value->FreeNotification(this);
  }
}

void TCustomTreeView::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove || (AComponent != FImages && AComponent != FStateImages)) return;
  // An image list that goes away leaves the tree without it, never with a dangling one.
  if (AComponent == FImages) FImages = nullptr;
  if (AComponent == FStateImages) FStateImages = nullptr;
  if (!FDestroying) ImageListChanged();
}

TTreeNode* TCustomTreeView::CreateNode() {
  TTreeNodeClass Class;
  if (OnCreateNodeClass) OnCreateNodeClass(this, Class);
  return Class ? Class(FItems.get()) : new TTreeNode(FItems.get());
}

LRESULT TCustomTreeView::Notify(NMHDR& Header) {
  Header.hwndFrom = FHandle;
  if (!FHandle) {
    TMessage M{CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header), 0};
    WindowProc(M);
    return M.Result;
  }
  return SendMessage(FHandle, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header));
}

bool TCustomTreeView::SelectNode(TTreeNode* Node, UINT Action) {
  if (Node == FSelected || FDestroying) {
    if (TTreeViewHost* H = HostOf(this)) H->SyncCurrent();
    return Node == FSelected;
  }
  NMTREEVIEWW N;
  N.hdr.code = TVN_SELCHANGINGW;
  N.action = Action;
  N.itemOld.hItem = ItemOf(FSelected);
  N.itemOld.lParam = reinterpret_cast<LPARAM>(FSelected);
  N.itemNew.hItem = ItemOf(Node);
  N.itemNew.lParam = reinterpret_cast<LPARAM>(Node);
  if (Node && Notify(N.hdr) != 0) {
    if (TTreeViewHost* H = HostOf(this)) H->SyncCurrent();
    return false;
  }
  TTreeNode* Old = FSelected;
  FSelected = Node;
  if (TTreeViewHost* H = HostOf(this)) {
    H->SyncCurrent();
    if (Old) H->Model->NodeChanged(Old);
    if (Node) H->Model->NodeChanged(Node);
  }
  if (Node && FAutoExpand) Node->Expand(false);
  N.hdr.code = TVN_SELCHANGEDW;
  N.itemOld.hItem = ItemOf(Old);
  N.itemOld.lParam = reinterpret_cast<LPARAM>(Old);
  Notify(N.hdr);
  return true;
}

bool TCustomTreeView::ExpandNode(TTreeNode* Node, bool DoExpand) {
  NMTREEVIEWW N;
  N.hdr.code = TVN_ITEMEXPANDINGW;
  N.action = DoExpand ? TVE_EXPAND : TVE_COLLAPSE;
  N.itemNew.hItem = ItemOf(Node);
  N.itemNew.lParam = reinterpret_cast<LPARAM>(Node);
  N.itemNew.state = Node->FExpanded ? TVIS_EXPANDED : 0u;
  if (Notify(N.hdr) != 0) return false;
  if (DoExpand && Node->FChildren.empty()) {
    // Nothing came: the node has no children after all, and loses its button.
    Node->FHasChildren = false;
    NodeChanged(Node);
    return false;
  }
  Node->FExpanded = DoExpand;
  if (!DoExpand && FSelected && FSelected->HasAsParent(Node)) SelectNode(Node, TVC_UNKNOWN);
  if (TTreeViewHost* H = HostOf(this)) {
    H->SyncExpanded(Node);
    H->Model->NodeChanged(Node);
  }
  N.hdr.code = TVN_ITEMEXPANDEDW;
  N.itemNew.state = DoExpand ? TVIS_EXPANDED : 0u;
  Notify(N.hdr);
  return true;
}

void TCustomTreeView::NodeAdded(TTreeNode* Node) {
  if (TTreeNode* P = Node->FParent; P && P->FChildren.size() == 1) NodeChanged(P);
  if (FSortType == stText || FSortType == stBoth) {
    if (Node->FParent) Node->FParent->AlphaSort(false);
    else AlphaSort(false);
  }
}

void TCustomTreeView::NodeRemoving(TTreeNode* Node) {
  if (TTreeViewHost* H = HostOf(this); H && H->EditingNode == Node) {
    H->EditingNode = nullptr;
    H->View->CancelEditing();
  }
  if (FSelected == Node) FSelected = nullptr;
  if (Node->FDropTarget) Node->FDropTarget = false;
  if (FDestroying) return;
  NMTREEVIEWW N;
  N.hdr.code = TVN_DELETEITEMW;
  N.itemOld.hItem = ItemOf(Node);
  N.itemOld.lParam = reinterpret_cast<LPARAM>(Node);
  Notify(N.hdr);
}

void TCustomTreeView::NodeRemoved(TTreeNode* Parent, Integer) {
  if (Parent && Parent->FChildren.empty() && Parent->FExpanded) {
    Parent->FExpanded = false;
    Parent->FHasChildren = false;
  }
  if (TTreeViewHost* H = HostOf(this)) {
    H->SyncCurrent();
    if (Parent) H->Model->NodeChanged(Parent);
  }
}

void TCustomTreeView::NodeChanged(TTreeNode* Node) {
  TTreeViewHost* H = HostOf(this);
  if (!H || Node->FDeleting || H->PaintingNode == Node) return;
  H->Model->NodeChanged(Node);
}

void TCustomTreeView::ChildrenReordered() {
  if (TTreeViewHost* H = HostOf(this)) {
    TSyncing S(H);
    H->Model->Reordered();
    H->SyncAllExpanded();
    H->SyncCurrent();
  }
}

void TCustomTreeView::ImageListChanged() {
  FImageHandles[0] = FImages ? FImages->Handle() : nullptr;
  FImageHandles[1] = FStateImages ? FStateImages->Handle() : nullptr;
  if (TTreeViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomTreeView::SetSelected(TTreeNode* Value) { SelectNode(Value, TVC_UNKNOWN); }

TTreeNode* TCustomTreeView::DropTarget() const {
  for (TTreeNode* N = FItems->GetFirstNode(); N; N = N->GetNext())
    if (N->FDropTarget) return N;
  return nullptr;
}

TTreeNode* TCustomTreeView::TopItem() {
  TTreeViewHost* H = HostOf(this);
  if (!H) return FItems->GetFirstNode();
  const QModelIndex I = H->View->indexAt(QPoint(1, 1));
  return I.isValid() ? static_cast<TTreeNode*>(I.internalPointer()) : nullptr;
}

TTreeNode* TCustomTreeView::GetNodeAt(Integer X, Integer Y) {
  TTreeNode* Node = nullptr;
  TTreeViewHost* H = HostOf(this);
  if (!H) return nullptr;
  const UINT Hit = H->HitTest(QPoint(X, Y), Node);
  return (Hit & (TVHT_ONITEM | TVHT_ONITEMRIGHT | TVHT_ONITEMINDENT | TVHT_ONITEMBUTTON)) ? Node : nullptr;
}

THitTests TCustomTreeView::GetHitTestInfoAt(Integer X, Integer Y) {
  TVHITTESTINFO Info;
  Info.pt = TPoint(X, Y);
  Perform(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Info));
  THitTests R;
  const UINT F = Info.flags;
  if (F & TVHT_NOWHERE) R.Include(htNowhere);
  if (F & TVHT_ONITEMICON) R.Include(htOnIcon);
  if (F & TVHT_ONITEMLABEL) R.Include(htOnLabel);
  if (F & TVHT_ONITEMSTATEICON) R.Include(htOnStateIcon);
  if (F & TVHT_ONITEM) R.Include(htOnItem);
  if (F & TVHT_ONITEMINDENT) R.Include(htOnIndent);
  if (F & TVHT_ONITEMBUTTON) R.Include(htOnButton);
  if (F & TVHT_ONITEMRIGHT) R.Include(htOnRight);
  if (F & TVHT_ABOVE) R.Include(htAbove);
  if (F & TVHT_BELOW) R.Include(htBelow);
  if (F & TVHT_TORIGHT) R.Include(htToRight);
  if (F & TVHT_TOLEFT) R.Include(htToLeft);
  return R;
}

void TCustomTreeView::SetChangeDelay(Integer Value) { FChangeDelay = std::max(0, Value); }

void TCustomTreeView::SetHideSelection(bool Value) {
  FHideSelection = Value;
  Invalidate();
}

void TCustomTreeView::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (TTreeViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomTreeView::SetShowLines(bool Value) {
  FShowLines = Value;
  Invalidate();
}

void TCustomTreeView::SetShowRoot(bool Value) {
  FShowRoot = Value;
  if (TTreeViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomTreeView::SetShowButtons(bool Value) {
  FShowButtons = Value;
  Invalidate();
}

void TCustomTreeView::SetRowSelect(bool Value) {
  FRowSelect = Value;
  Invalidate();
}

void TCustomTreeView::SetIndent(Integer Value) {
  FIndent = std::max(0, Value);
  if (TTreeViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomTreeView::SetImages(TCustomImageList* Value) {
  ChangeImages(FImages, Value);
  ImageListChanged();
}

void TCustomTreeView::SetStateImages(TCustomImageList* Value) {
  ChangeImages(FStateImages, Value);
  ImageListChanged();
}

void TCustomTreeView::SetSortType(TSortType Value) {
  if (FSortType == Value) return;
  FSortType = Value;
  if (Value != stNone) AlphaSort(true);
}

bool TCustomTreeView::AlphaSort(bool Recurse) { return CustomSort(nullptr, 0, Recurse); }

bool TCustomTreeView::CustomSort(const TTVCompare& SortProc, LPARAM Data, bool Recurse) {
  std::vector<TTreeNode*>& V = FItems->FRoots;
  SortNodes(this, V, SortProc, Data, OnCompare);
  for (size_t i = 0; i < V.size(); ++i) V[i]->FIndex = static_cast<Integer>(i);
  if (Recurse)
    for (TTreeNode* C : V)
      if (!C->FChildren.empty()) C->CustomSort(SortProc, Data, true);
  ChildrenReordered();
  return true;
}

void TCustomTreeView::FullExpand() {
  for (TTreeNode* N = FItems->GetFirstNode(); N; N = N->getNextSibling()) N->Expand(true);
}

void TCustomTreeView::FullCollapse() {
  for (TTreeNode* N = FItems->GetFirstNode(); N; N = N->getNextSibling()) N->Collapse(true);
}

bool TCustomTreeView::IsEditing() const {
  TTreeViewHost* H = HostOf(this);
  return H && H->EditingNode;
}

bool TCustomTreeView::CanChange(TTreeNode* Node) {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Node, Allow);
  return Allow;
}

void TCustomTreeView::Change(TTreeNode* Node) {
  if (OnChange) OnChange(this, Node);
}

bool TCustomTreeView::CanExpand(TTreeNode* Node) {
  bool Allow = true;
  if (OnExpanding) OnExpanding(this, Node, Allow);
  return Allow;
}

void TCustomTreeView::Expand(TTreeNode* Node) {
  if (OnExpanded) OnExpanded(this, Node);
}

bool TCustomTreeView::CanCollapse(TTreeNode* Node) {
  bool Allow = true;
  if (OnCollapsing) OnCollapsing(this, Node, Allow);
  return Allow;
}

void TCustomTreeView::Collapse(TTreeNode* Node) {
  if (OnCollapsed) OnCollapsed(this, Node);
}

bool TCustomTreeView::CanEdit(TTreeNode* Node) {
  bool Allow = !FReadOnly;
  if (Allow && OnEditing) OnEditing(this, Node, Allow);
  return Allow;
}

void TCustomTreeView::Edit(const TVITEMW& Item) {
  TTreeNode* Node = NodeOf(Item.hItem);
  if (!Item.pszText || !Node) return;
  WideString S(Item.pszText);
  if (OnEdited) OnEdited(this, Node, S);
  Node->SetText(S);
}

void TCustomTreeView::Delete(TTreeNode* Node) {
  if (OnDeletion) OnDeletion(this, Node);
}

void TCustomTreeView::GetImageIndex(TTreeNode* Node) {
  if (OnGetImageIndex) OnGetImageIndex(this, Node);
}

void TCustomTreeView::GetSelectedIndex(TTreeNode* Node) {
  if (OnGetSelectedIndex) OnGetSelectedIndex(this, Node);
}

bool TCustomTreeView::IsCustomDrawn(TCustomDrawTarget Target, TCustomDrawStage Stage) {
  return Target == dtItem && Stage == cdPrePaint && static_cast<bool>(OnCustomDrawItem);
}

bool TCustomTreeView::CustomDrawItem(TTreeNode* Node, TCustomDrawState State, TCustomDrawStage Stage) {
  bool DefaultDraw = true;
  if (Stage == cdPrePaint && OnCustomDrawItem) OnCustomDrawItem(this, Node, State, DefaultDraw);
  return DefaultDraw;
}

void TCustomTreeView::CNNotify(TMessage& M) {
  auto* H = reinterpret_cast<NMHDR*>(M.LParam);
  M.Result = 0;
  if (!H) return;
  switch (H->code) {
    case TVN_SELCHANGINGW: {
      TTreeNode* Node = NodeOf(reinterpret_cast<NMTREEVIEWW*>(H)->itemNew.hItem);
      M.Result = Node && !CanChange(Node) ? 1 : 0;
      break;
    }
    case TVN_SELCHANGEDW: {
      TTreeNode* Node = NodeOf(reinterpret_cast<NMTREEVIEWW*>(H)->itemNew.hItem);
      if (FChangeDelay > 0 && FHandle) {
        // Quick moves restart the wait; only the selection that stays is told.
        FChangePending = true;
        SetTimer(FHandle, ChangeTimerId, static_cast<UINT>(FChangeDelay), nullptr);
      } else {
        FChangePending = false;
        Change(Node);
      }
      break;
    }
    case TVN_ITEMEXPANDINGW: {
      auto* N = reinterpret_cast<NMTREEVIEWW*>(H);
      TTreeNode* Node = NodeOf(N->itemNew.hItem);
      if (Node) M.Result = (N->action == TVE_COLLAPSE ? CanCollapse(Node) : CanExpand(Node)) ? 0 : 1;
      break;
    }
    case TVN_ITEMEXPANDEDW: {
      auto* N = reinterpret_cast<NMTREEVIEWW*>(H);
      if (TTreeNode* Node = NodeOf(N->itemNew.hItem)) N->action == TVE_COLLAPSE ? Collapse(Node) : Expand(Node);
      break;
    }
    case TVN_DELETEITEMW:
      if (TTreeNode* Node = NodeOf(reinterpret_cast<NMTREEVIEWW*>(H)->itemOld.hItem)) Delete(Node);
      break;
    case TVN_GETDISPINFOW: {
      auto* D = reinterpret_cast<NMTVDISPINFOW*>(H);
      if (TTreeNode* Node = NodeOf(D->item.hItem)) {
        if (D->item.mask & TVIF_IMAGE) GetImageIndex(Node);
        if (D->item.mask & TVIF_SELECTEDIMAGE) GetSelectedIndex(Node);
      }
      break;
    }
    case TVN_BEGINLABELEDITW: {
      TTreeNode* Node = NodeOf(reinterpret_cast<NMTVDISPINFOW*>(H)->item.hItem);
      M.Result = Node && CanEdit(Node) ? 0 : 1;
      break;
    }
    case TVN_ENDLABELEDITW: Edit(reinterpret_cast<NMTVDISPINFOW*>(H)->item); break;
    case NM_CUSTOMDRAW: {
      auto* CD = reinterpret_cast<NMTVCUSTOMDRAW*>(H);
      if (CD->nmcd.dwDrawStage == CDDS_PREPAINT) {
        M.Result = IsCustomDrawn(dtItem, cdPrePaint) ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
      } else if (CD->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        TTreeNode* Node = reinterpret_cast<TTreeNode*>(CD->nmcd.lItemlParam);
        if (!Node) break;
        TCustomDrawState S;
        if (CD->nmcd.uItemState & CDIS_SELECTED) S.Include(cdsSelected);
        if (CD->nmcd.uItemState & CDIS_FOCUS) S.Include(cdsFocused);
        const TColor FontBefore = FCanvas->Font()->Color(), BrushBefore = FCanvas->Brush()->Color();
        if (!CustomDrawItem(Node, S, cdPrePaint)) {
          M.Result = CDRF_SKIPDEFAULT;
        } else {
          if (FCanvas->Font()->Color() != FontBefore) CD->clrText = Rgb(FCanvas->Font()->Color());
          if (FCanvas->Brush()->Color() != BrushBefore) CD->clrTextBk = Rgb(FCanvas->Brush()->Color());
          M.Result = CDRF_NEWFONT;
        }
      }
      break;
    }
    default: break;
  }
}

LRESULT TCustomTreeView::HandleTreeMessage(TMessage& M, bool& Handled) {
  Handled = true;
  TTreeViewHost* H = HostOf(this);
  switch (M.Msg) {
    case TVM_EXPAND: {
      TTreeNode* Node = NodeOf(reinterpret_cast<HTREEITEM>(M.LParam));
      if (!Node) return FALSE;
      const UINT Code = static_cast<UINT>(M.WParam) & TVE_TOGGLE;
      const bool Want = Code == TVE_TOGGLE ? !Node->FExpanded : Code == TVE_EXPAND;
      if (Want == Node->FExpanded) return TRUE;
      return ExpandNode(Node, Want) ? TRUE : FALSE;
    }
    case TVM_GETCOUNT: return FItems->Count();
    case TVM_GETINDENT: return FIndent;
    case TVM_SETINDENT: SetIndent(static_cast<Integer>(M.WParam)); return TRUE;
    case TVM_SETIMAGELIST: {
      const size_t Slot = M.WParam == TVSIL_STATE ? 1 : 0;
      HIMAGELIST Old = FImageHandles[Slot];
      FImageHandles[Slot] = reinterpret_cast<HIMAGELIST>(M.LParam);
      if (H) H->ApplyOptions();
      return reinterpret_cast<LRESULT>(Old);
    }
    case TVM_SELECTITEM: {
      TTreeNode* Node = NodeOf(reinterpret_cast<HTREEITEM>(M.LParam));
      if (M.WParam == TVGN_DROPHILITE) {
        if (Node) Node->SetDropTarget(true);
        else if (TTreeNode* D = DropTarget()) D->SetDropTarget(false);
        return TRUE;
      }
      return SelectNode(Node, TVC_UNKNOWN) ? TRUE : FALSE;
    }
    case TVM_GETNEXTITEM: {
      TTreeNode* Node = NodeOf(reinterpret_cast<HTREEITEM>(M.LParam));
      TTreeNode* R = nullptr;
      switch (M.WParam) {
        case TVGN_ROOT: R = FItems->GetFirstNode(); break;
        case TVGN_NEXT: R = Node ? Node->getNextSibling() : nullptr; break;
        case TVGN_PREVIOUS: R = Node ? Node->getPrevSibling() : nullptr; break;
        case TVGN_PARENT: R = Node ? Node->Parent() : nullptr; break;
        case TVGN_CHILD: R = Node ? Node->getFirstChild() : FItems->GetFirstNode(); break;
        case TVGN_FIRSTVISIBLE: R = TopItem(); break;
        case TVGN_DROPHILITE: R = DropTarget(); break;
        case TVGN_CARET: R = FSelected; break;
        default: break;
      }
      return reinterpret_cast<LRESULT>(ItemOf(R));
    }
    case TVM_HITTEST: {
      auto* Info = reinterpret_cast<TVHITTESTINFO*>(M.LParam);
      if (!Info) return 0;
      TTreeNode* Node = nullptr;
      Info->flags = H ? H->HitTest(QPoint(Info->pt.X, Info->pt.Y), Node) : TVHT_NOWHERE;
      Info->hItem = ItemOf(Node);
      return reinterpret_cast<LRESULT>(Info->hItem);
    }
    case TVM_ENSUREVISIBLE: {
      TTreeNode* Node = NodeOf(reinterpret_cast<HTREEITEM>(M.LParam));
      if (Node) Node->MakeVisible();
      return Node ? TRUE : FALSE;
    }
    case TVM_ENDEDITLABELNOW: {
      if (H && H->EditingNode) H->EditingNode->EndEdit(M.WParam != 0);
      return TRUE;
    }
    case TVM_SETEXTENDEDSTYLE: {
      const DWORD Old = FExStyle;
      const DWORD Mask = M.WParam ? static_cast<DWORD>(M.WParam) : 0xFFFFFFFFu;
      FExStyle = (FExStyle & ~Mask) | (static_cast<DWORD>(M.LParam) & Mask);
      return Old;
    }
    case TVM_GETEXTENDEDSTYLE: return FExStyle;
    default: Handled = false; return 0;
  }
}

void TCustomTreeView::Dispatch(TMessage& M) {
  switch (M.Msg) {
    case CN_NOTIFY: CNNotify(M); return;
    case WM_GETDLGCODE: M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS; return;
    case WM_TIMER:
      if (M.WParam == ChangeTimerId) {
        KillTimer(FHandle, ChangeTimerId);
        if (FChangePending && FSelected) {
          FChangePending = false;
          Change(FSelected);
        }
        return;
      }
      break;
    default:
      if (M.Msg >= TV_FIRST && M.Msg < TV_FIRST + 0x100) {
        bool Handled = false;
        const LRESULT R = HandleTreeMessage(M, Handled);
        if (Handled) {
          M.Result = R;
          return;
        }
      }
      break;
  }
  TWinControl::Dispatch(M);
}

void TCustomTreeView::CreateWindowHandle(const TCreateParams& P) {
  auto* Host = new TTreeViewHost(this);
  Host->setFocusPolicy(Qt::StrongFocus);
  CreateNativeWindow(P, Host, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  Host->View->setFocusPolicy(Host->focusPolicy());
  Host->setFocusProxy(Host->View);
  ShowViewportInputToWindow(Host->View, FHandle);
  Host->ApplyOptions();
  Host->Model->Reset();
  Host->SyncAllExpanded();
  Host->SyncCurrent();
}

void TCustomTreeView::DestroyWnd() {
  if (FHandle) KillTimer(FHandle, ChangeTimerId);
  if (TTreeViewHost* H = NativeOf<TTreeViewHost>(FHandle)) {
    H->EditingNode = nullptr;
    H->TV = nullptr;
  }
  TWinControl::DestroyWnd();
}

void TCustomTreeView::FontChanged() {
  TWinControl::FontChanged();
  if (TTreeViewHost* H = HostOf(this)) {
    H->setFont(ToQFont(FFont.get()));
    H->ApplyOptions();
  }
}

void TCustomTreeView::ColorChanged() {
  TWinControl::ColorChanged();
  if (TTreeViewHost* H = HostOf(this)) H->ApplyOptions();
}
