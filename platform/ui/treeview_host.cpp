// The tree view's Qt side: the model over the control's nodes, the view's
// input that goes through the control (expansion, selection, editing,
// begin-drag), and the drawing of a row through the layer's device contexts
// with the geometry the hit test uses.
#include "platform/ui/private/treeviewhost.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <utility>

#include "platform/ui/private/itemviews.h"

using namespace gtui;

namespace {
COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)); }
HTREEITEM ItemOf(TTreeNode* Node) { return reinterpret_cast<HTREEITEM>(Node); }
constexpr Integer LabelPad = 2;
}  // namespace

// ---------------------------------------------------------------- model

const std::vector<TTreeNode*>* TTreeModel::ChildrenOf(const QModelIndex& Parent) const {
  if (!Host->TV) return nullptr;
  if (!Parent.isValid()) return &Host->TV->Items()->FRoots;
  return &static_cast<TTreeNode*>(Parent.internalPointer())->FChildren;
}

QModelIndex TTreeModel::index(int Row, int Column, const QModelIndex& Parent) const {
  const std::vector<TTreeNode*>* C = ChildrenOf(Parent);
  if (!C || Column != 0 || Row < 0 || static_cast<size_t>(Row) >= C->size()) return {};
  return createIndex(Row, 0, (*C)[static_cast<size_t>(Row)]);
}

QModelIndex TTreeModel::parent(const QModelIndex& Index) const {
  if (!Index.isValid() || !Host->TV) return {};
  return IndexOf(static_cast<TTreeNode*>(Index.internalPointer())->FParent);
}

int TTreeModel::rowCount(const QModelIndex& Parent) const {
  const std::vector<TTreeNode*>* C = ChildrenOf(Parent);
  return C ? static_cast<int>(C->size()) : 0;
}

bool TTreeModel::hasChildren(const QModelIndex& Parent) const {
  if (!Host->TV) return false;
  if (!Parent.isValid()) return !Host->TV->Items()->FRoots.empty();
  return static_cast<TTreeNode*>(Parent.internalPointer())->HasChildren();
}

QVariant TTreeModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || !Host->TV || (Role != Qt::DisplayRole && Role != Qt::EditRole)) return {};
  return ToQString(static_cast<TTreeNode*>(Index.internalPointer())->Text());
}

bool TTreeModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (Role != Qt::EditRole || !Index.isValid()) return false;
  const QString Text = Value.toString();
  Host->EndEdit(&Text);
  return true;
}

Qt::ItemFlags TTreeModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (Host->TV && !Host->TV->ReadOnly()) F |= Qt::ItemIsEditable;
  return F;
}

void TTreeModel::Reordered() {
  emit layoutAboutToBeChanged();
  const QModelIndexList Old = persistentIndexList();
  QModelIndexList New;
  for (const QModelIndex& I : Old) New.push_back(IndexOf(static_cast<TTreeNode*>(I.internalPointer())));
  changePersistentIndexList(Old, New);
  emit layoutChanged();
}

// ---------------------------------------------------------------- delegate and view

QSize TTreeDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(100, Host->RowHeight());
}

void TTreeDelegate::updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem&, const QModelIndex& Index) const {
  QRect R = Host->PartsOf(static_cast<TTreeNode*>(Index.internalPointer())).Label;
  R.setWidth(std::max(R.width() + 20, 80));
  R.moveTopLeft(Host->ClientToView(R.topLeft()));
  Editor->setGeometry(R);
}

void TTreeSelectionModel::setCurrentIndex(const QModelIndex& Index, QItemSelectionModel::SelectionFlags Command) {
  TCustomTreeView* TV = Host->TV;
  if (Host->Syncing || !TV || !Index.isValid()) {
    QItemSelectionModel::setCurrentIndex(Index, Command);
    return;
  }
  auto* Node = static_cast<TTreeNode*>(Index.internalPointer());
  if (Node == TV->Selected()) {
    QItemSelectionModel::setCurrentIndex(Index, Command);
    return;
  }
  Guarded([&] { TV->SelectNode(Node, Action); });
  Action = TVC_BYKEYBOARD;
}

bool TTreeQtView::edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) {
  const bool Opens = Trigger == AllEditTriggers || (editTriggers() & Trigger);
  if (!Opens || !Index.isValid() || state() == EditingState) return QTreeView::edit(Index, Trigger, Event);
  if (!Host->BeginEdit(static_cast<TTreeNode*>(Index.internalPointer()))) return false;
  const bool Ok = QTreeView::edit(Index, Trigger, Event);
  if (!Ok) Host->EditingNode = nullptr;
  return Ok;
}

void TTreeQtView::closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) {
  if (Host->EditingNode) Host->EndEdit(nullptr);
  QTreeView::closeEditor(Editor, Hint == QAbstractItemDelegate::EditNextItem || Hint == QAbstractItemDelegate::EditPreviousItem
                                     ? QAbstractItemDelegate::NoHint
                                     : Hint);
}

void TTreeQtView::drawRow(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  Host->PaintNode(P, static_cast<TTreeNode*>(Index.internalPointer()),
                  QRect(0, Option.rect.top(), viewport()->width(), Option.rect.height()));
}

void TTreeQtView::paintEvent(QPaintEvent* E) {
  if (TCustomTreeView* TV = Host->TV) {
    NMTVCUSTOMDRAW CD;
    CD.nmcd.hdr.code = NM_CUSTOMDRAW;
    CD.nmcd.dwDrawStage = CDDS_PREPAINT;
    LRESULT R = CDRF_DODEFAULT;
    Guarded([&] { R = SendMessage(TV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&CD)); });
    Host->CustomDrawItems = (R & CDRF_NOTIFYITEMDRAW) != 0;
  }
  QTreeView::paintEvent(E);
}

void TTreeQtView::mousePressEvent(QMouseEvent* E) {
  PressNode = nullptr;
  TCustomTreeView* TV = Host->TV;
  TTreeNode* Node = nullptr;
  const UINT Hit = TV ? Host->HitTest(Host->ViewToClient(E->position().toPoint()), Node) : 0;
  if (TV && Node && (Hit & TVHT_ONITEMBUTTON) && E->button() == Qt::LeftButton) {
    Guarded([&] { Node->Expanded() ? Node->Collapse(false) : Node->Expand(false); });
    E->accept();
    return;
  }
  if (TV && Node && (Hit & TVHT_ONITEM) && (E->button() == Qt::LeftButton || E->button() == Qt::RightButton)) {
    PressNode = Node;
    PressPos = E->position().toPoint();
    PressButton = E->button();
  }
  if (E->button() == Qt::RightButton) {
    // A right click selects only where the program asks for it.
    if (TV && Node && (Hit & TVHT_ONITEM) && TV->RightClickSelect()) Guarded([&] { TV->SelectNode(Node, TVC_BYMOUSE); });
    E->accept();
    return;
  }
  Host->Selection->Action = TVC_BYMOUSE;
  QTreeView::mousePressEvent(E);
  Host->Selection->Action = TVC_BYKEYBOARD;
  E->accept();
}

void TTreeQtView::mouseMoveEvent(QMouseEvent* E) {
  if (PressNode && (E->position().toPoint() - PressPos).manhattanLength() >= QApplication::startDragDistance()) {
    TTreeNode* Node = PressNode;
    PressNode = nullptr;
    if (TCustomTreeView* TV = Host->TV) {
      NMTREEVIEWW N;
      N.hdr.code = PressButton == Qt::RightButton ? TVN_BEGINRDRAGW : TVN_BEGINDRAGW;
      N.itemNew.hItem = ItemOf(Node);
      N.itemNew.lParam = reinterpret_cast<LPARAM>(Node);
      const QPoint C = Host->ViewToClient(PressPos);
      N.ptDrag = TPoint(C.x(), C.y());
      Guarded([&] { SendMessage(TV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&N)); });
    }
    E->accept();
    return;
  }
  if (!(E->buttons() & (Qt::LeftButton | Qt::RightButton))) QTreeView::mouseMoveEvent(E);
  E->accept();
}

void TTreeQtView::mouseDoubleClickEvent(QMouseEvent* E) {
  TTreeNode* Node = nullptr;
  const UINT Hit = Host->TV ? Host->HitTest(Host->ViewToClient(E->position().toPoint()), Node) : 0;
  // A double click on a node opens or closes it.
  if (Node && (Hit & TVHT_ONITEM) && E->button() == Qt::LeftButton)
    Guarded([&] { Node->Expanded() ? Node->Collapse(false) : Node->Expand(false); });
  E->accept();
}

void TTreeQtView::keyPressEvent(QKeyEvent* E) {
  TCustomTreeView* TV = Host->TV;
  TTreeNode* Node = TV ? TV->Selected() : nullptr;
  if (!Node || (E->modifiers() & (Qt::AltModifier | Qt::ControlModifier))) {
    QTreeView::keyPressEvent(E);
    return;
  }
  switch (E->key()) {
    case Qt::Key_Right:
      Guarded([&] {
        if (Node->HasChildren() && !Node->Expanded()) Node->Expand(false);
        else if (TTreeNode* C = Node->getFirstChild(); C && Node->Expanded()) TV->SelectNode(C, TVC_BYKEYBOARD);
      });
      break;
    case Qt::Key_Left:
      Guarded([&] {
        if (Node->Expanded()) Node->Collapse(false);
        else if (Node->Parent()) TV->SelectNode(Node->Parent(), TVC_BYKEYBOARD);
      });
      break;
    case Qt::Key_Plus: Guarded([&] { Node->Expand(false); }); break;
    case Qt::Key_Minus: Guarded([&] { Node->Collapse(false); }); break;
    case Qt::Key_Asterisk: Guarded([&] { Node->Expand(true); }); break;
    default: QTreeView::keyPressEvent(E); return;
  }
  E->accept();
}

// ---------------------------------------------------------------- host

Integer TTreeViewHost::RowHeight() const {
  const QFontMetrics FM(font());
  Integer H = FM.height() + 3;
  if (TV) {
    H = std::max<Integer>(H, ImageListSize(TV->ImageListFor(TVSIL_NORMAL)).height() + 1);
    H = std::max<Integer>(H, ImageListSize(TV->ImageListFor(TVSIL_STATE)).height() + 1);
  }
  return H;
}

void TTreeViewHost::ApplyOptions() {
  if (!TV) return;
  View->setIndentation(TV->FIndent);
  View->setRootIsDecorated(TV->FShowRoot);
  View->setEditTriggers(TV->FReadOnly ? QAbstractItemView::NoEditTriggers : QAbstractItemView::SelectedClicked);
  QPalette Pal = View->palette();
  const COLORREF C = Rgb(TV->Color());
  Pal.setColor(QPalette::Base, QColor::fromRgb(GetRValue(C), GetGValue(C), GetBValue(C)));
  View->setPalette(Pal);
  View->doItemsLayout();
  View->viewport()->update();
}

TTreeViewHost::TParts TTreeViewHost::PartsOf(TTreeNode* Node) const {
  TParts Out;
  if (!TV || !Node) return Out;
  const QModelIndex I = Model->IndexOf(Node);
  const QRect V = View->visualRect(I);
  if (!V.isValid()) return Out;
  const QPoint Top = ViewToClient(QPoint(0, V.top()));
  Out.Row = QRect(Top.x(), Top.y(), View->viewport()->width(), V.height());
  const int Left = Top.x() - View->horizontalScrollBar()->value();
  int X = Left + (Node->Level() + (TV->FShowRoot ? 1 : 0)) * TV->FIndent;
  if (Node->HasChildren() && TV->FShowButtons && (TV->FShowRoot || Node->Level() > 0))
    Out.Button = QRect(X - TV->FIndent, Out.Row.top(), TV->FIndent, Out.Row.height());
  const QSize StateSize = ImageListSize(TV->ImageListFor(TVSIL_STATE));
  if (StateSize.width() > 0 && Node->StateIndex() > 0) {
    Out.State = QRect(X, Out.Row.top() + (Out.Row.height() - StateSize.height()) / 2, StateSize.width(), StateSize.height());
    X += StateSize.width();
  }
  const QSize Img = ImageListSize(TV->ImageListFor(TVSIL_NORMAL));
  if (Img.width() > 0) {
    Out.Icon = QRect(X, Out.Row.top() + (Out.Row.height() - Img.height()) / 2, Img.width(), Img.height());
    X += Img.width() + 1;
  }
  const QFontMetrics FM(font());
  Out.Label = QRect(X, Out.Row.top(), FM.horizontalAdvance(ToQString(Node->Text())) + 2 * LabelPad, Out.Row.height());
  return Out;
}

UINT TTreeViewHost::HitTest(const QPoint& P, TTreeNode*& Node) const {
  Node = nullptr;
  if (!TV) return TVHT_NOWHERE;
  const QPoint V = ClientToView(P);
  const QRect VR = View->viewport()->rect();
  UINT Outside = 0;
  if (V.y() < 0) Outside |= TVHT_ABOVE;
  if (V.y() >= VR.height()) Outside |= TVHT_BELOW;
  if (V.x() < 0) Outside |= TVHT_TOLEFT;
  if (V.x() >= VR.width()) Outside |= TVHT_TORIGHT;
  if (Outside) return Outside;
  const QModelIndex I = View->indexAt(QPoint(VR.width() / 2, V.y()));
  if (!I.isValid()) return TVHT_NOWHERE;
  Node = static_cast<TTreeNode*>(I.internalPointer());
  const TParts Parts = PartsOf(Node);
  if (Parts.Button.contains(P)) return TVHT_ONITEMBUTTON;
  if (Parts.State.contains(P)) return TVHT_ONITEMSTATEICON;
  if (Parts.Icon.contains(P)) return TVHT_ONITEMICON;
  if (Parts.Label.contains(P)) return TVHT_ONITEMLABEL;
  const int Start = !Parts.Button.isNull() ? Parts.Button.left()
                    : !Parts.State.isNull() ? Parts.State.left()
                    : !Parts.Icon.isNull()  ? Parts.Icon.left()
                                            : Parts.Label.left();
  return P.x() < Start || P.x() < Parts.Label.left() ? TVHT_ONITEMINDENT : TVHT_ONITEMRIGHT;
}

void TTreeViewHost::PaintNode(QPainter* P, TTreeNode* Node, const QRect& RowRect) const {
  TCustomTreeView* Control = TV;
  if (!Control || !Node) return;
  HWND Wnd = Control->Handle();
  const bool IsSelected = Control->FSelected == Node;
  PaintingNode = Node;
  NMTVDISPINFOW Info;
  Info.hdr.code = TVN_GETDISPINFOW;
  Info.item.mask = TVIF_IMAGE | (IsSelected ? TVIF_SELECTEDIMAGE : 0u);
  Info.item.hItem = ItemOf(Node);
  Info.item.lParam = reinterpret_cast<LPARAM>(Node);
  Guarded([&] { SendMessage(Wnd, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
  PaintingNode = nullptr;
  if (!TV || !Model->IndexOf(Node).isValid() || Node->FDeleting) return;
  const TParts Parts = PartsOf(Node);
  const QPoint Origin = ViewToClient(RowRect.topLeft());
  TRowCanvas Row(RowRect.size(), Origin);
  HDC DC = Row.DC();
  auto ToTRect = [](const QRect& Q) { return TRect(Q.left(), Q.top(), Q.right() + 1, Q.bottom() + 1); };
  const COLORREF Window = Rgb(TV->Color());
  FillRowRect(DC, TRect(Origin.x(), Origin.y(), Origin.x() + RowRect.width(), Origin.y() + RowRect.height()), Window);
  const bool Selected = (IsSelected && (View->hasFocus() || !TV->FHideSelection)) || Node->FDropTarget;
  COLORREF Text = Rgb(Selected ? clHighlightText : TV->Font()->Color());
  COLORREF TextBk = Selected ? Rgb(clHighlight) : CLR_DEFAULT;
  PaintingNode = Node;
  if (CustomDrawItems) {
    TCanvas* C = TV->FCanvas.get();
    C->SetHandle(DC);
    C->Font()->Assign(TV->Font());
    C->Brush()->SetColor(TV->Color());
    NMTVCUSTOMDRAW CD;
    CD.nmcd.hdr.code = NM_CUSTOMDRAW;
    CD.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    CD.nmcd.hdc = DC;
    CD.nmcd.rc = ToTRect(Parts.Row);
    CD.nmcd.dwItemSpec = reinterpret_cast<DWORD_PTR>(ItemOf(Node));
    CD.nmcd.uItemState = (IsSelected ? CDIS_SELECTED : 0u) | (IsSelected && View->hasFocus() ? CDIS_FOCUS : 0u);
    CD.nmcd.lItemlParam = reinterpret_cast<LPARAM>(Node);
    CD.clrText = Text;
    CD.clrTextBk = TextBk;
    CD.iLevel = Node->Level();
    LRESULT R = CDRF_DODEFAULT;
    Guarded([&] { R = SendMessage(Wnd, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&CD)); });
    C->SetHandle(nullptr);
    if (!TV || !Model->IndexOf(Node).isValid() || Node->FDeleting) {
      PaintingNode = nullptr;
      return;
    }
    if (R & CDRF_SKIPDEFAULT) {
      P->drawImage(RowRect.topLeft(), Row.Finished());
      PaintingNode = nullptr;
      return;
    }
    if (!Selected) {
      Text = CD.clrText;
      TextBk = CD.clrTextBk;
    }
  }
  if (!Parts.Button.isNull()) {
    // The classic box with a plus or a minus.
    const QPoint M = Parts.Button.center();
    TRect Box(M.x() - 4, M.y() - 4, M.x() + 5, M.y() + 5);
    FillRowRect(DC, Box, Rgb(clBtnShadow));
    InflateRect(Box, -1, -1);
    FillRowRect(DC, Box, Window);
    FillRowRect(DC, TRect(M.x() - 2, M.y(), M.x() + 3, M.y() + 1), Rgb(clWindowText));
    if (!Node->FExpanded) FillRowRect(DC, TRect(M.x(), M.y() - 2, M.x() + 1, M.y() + 3), Rgb(clWindowText));
  }
  if (!Parts.State.isNull())
    DrawListImage(Row, TV->ImageListFor(TVSIL_STATE), Node->StateIndex(), -1, Parts.State.left(), Parts.State.top(), false, Window);
  if (!Parts.Icon.isNull())
    DrawListImage(Row, TV->ImageListFor(TVSIL_NORMAL), IsSelected ? Node->SelectedIndex() : Node->ImageIndex(),
                  Node->OverlayIndex(), Parts.Icon.left(), Parts.Icon.top(), Node->FCut, Window);
  if (TextBk != CLR_NONE && TextBk != CLR_DEFAULT)
    FillRowRect(DC, ToTRect(TV->FRowSelect && Selected ? Parts.Row : Parts.Label), TextBk);
  HGDIOBJ OldFont = SelectObject(DC, TV->FCanvas->Font()->Handle());
  SetBkMode(DC, TRANSPARENT);
  SetTextColor(DC, Text);
  TRect L = ToTRect(Parts.Label);
  L.Left += LabelPad;
  const WideString& S = Node->Text();
  DrawTextW(DC, S.c_str(), static_cast<Integer>(S.size()), &L, DT_NOPREFIX | DT_SINGLELINE | DT_VCENTER);
  SelectObject(DC, OldFont);
  if (IsSelected && View->hasFocus()) {
    TRect F = ToTRect(Parts.Label);
    DrawFocusRect(DC, &F);
  }
  P->drawImage(RowRect.topLeft(), Row.Finished());
  PaintingNode = nullptr;
}

void TTreeViewHost::SyncCurrent() {
  if (!TV) return;
  TSyncing S(this);
  TTreeNode* N = TV->FSelected;
  if (N) {
    Selection->setCurrentIndex(Model->IndexOf(N), QItemSelectionModel::ClearAndSelect);
  } else {
    Selection->clear();
  }
  View->viewport()->update();
}

void TTreeViewHost::SyncExpanded(TTreeNode* Node) {
  TSyncing S(this);
  View->setExpanded(Model->IndexOf(Node), Node->FExpanded);
}

void TTreeViewHost::SyncAllExpanded() {
  if (!TV) return;
  TSyncing S(this);
  std::vector<TTreeNode*> Stack(TV->Items()->FRoots.rbegin(), TV->Items()->FRoots.rend());
  while (!Stack.empty()) {
    TTreeNode* N = Stack.back();
    Stack.pop_back();
    if (!N->FExpanded) continue;
    View->setExpanded(Model->IndexOf(N), true);
    Stack.insert(Stack.end(), N->FChildren.rbegin(), N->FChildren.rend());
  }
}

bool TTreeViewHost::BeginEdit(TTreeNode* Node) {
  if (!TV || TV->FReadOnly || !Node) return false;
  NMTVDISPINFOW Info;
  Info.hdr.code = TVN_BEGINLABELEDITW;
  Info.item.hItem = ItemOf(Node);
  Info.item.lParam = reinterpret_cast<LPARAM>(Node);
  LRESULT Refused = 1;
  Guarded([&] { Refused = SendMessage(TV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
  if (Refused || !TV) return false;
  EditingNode = Node;
  return true;
}

void TTreeViewHost::EndEdit(const QString* Text) {
  TTreeNode* Node = std::exchange(EditingNode, nullptr);
  if (!TV || !Node) return;
  NMTVDISPINFOW Info;
  Info.hdr.code = TVN_ENDLABELEDITW;
  Info.item.mask = TVIF_TEXT;
  Info.item.hItem = ItemOf(Node);
  Info.item.lParam = reinterpret_cast<LPARAM>(Node);
  std::u16string Buffer = Text ? Text->toStdU16String() : std::u16string();
  Info.item.pszText = Text ? Buffer.data() : nullptr;
  Info.item.cchTextMax = static_cast<Integer>(Buffer.size() + 1);
  Guarded([&] { SendMessage(TV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
}
