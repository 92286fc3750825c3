// The Qt side of the tree view (platform/ui only): the model over the
// control's nodes, the view and its selection that ask the control first,
// and the native widget of the tree's window that holds them.
#pragma once

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/ui/private/native.h"
#include "platform/ui/treeview.h"

class TTreeViewHost;

class TTreeModel : public QAbstractItemModel {
 public:
  explicit TTreeModel(TTreeViewHost* AHost) : Host(AHost) {}
  QModelIndex index(int Row, int Column, const QModelIndex& Parent) const override;
  QModelIndex parent(const QModelIndex& Index) const override;
  int rowCount(const QModelIndex& Parent) const override;
  int columnCount(const QModelIndex&) const override { return 1; }
  bool hasChildren(const QModelIndex& Parent) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QModelIndex IndexOf(TTreeNode* Node) const { return Node ? createIndex(Node->FIndex, 0, Node) : QModelIndex(); }
  const std::vector<TTreeNode*>* ChildrenOf(const QModelIndex& Parent) const;
  void BeginInsert(TTreeNode* Parent, int Row) { beginInsertRows(IndexOf(Parent), Row, Row); }
  void EndInsert() { endInsertRows(); }
  void BeginRemove(TTreeNode* Parent, int Row) { beginRemoveRows(IndexOf(Parent), Row, Row); }
  void EndRemove() { endRemoveRows(); }
  void NodeChanged(TTreeNode* Node) {
    const QModelIndex I = IndexOf(Node);
    emit dataChanged(I, I);
  }
  void Reordered();
  void Reset() {
    beginResetModel();
    endResetModel();
  }
  TTreeViewHost* Host;
};

class TTreeDelegate : public QStyledItemDelegate {
 public:
  explicit TTreeDelegate(TTreeViewHost* AHost) : Host(AHost) {}
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  void updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  TTreeViewHost* Host;
};

class TTreeQtView : public QTreeView {
 public:
  explicit TTreeQtView(TTreeViewHost* AHost) : Host(AHost) {}
  void CancelEditing() {
    if (auto* E = viewport()->findChild<QLineEdit*>()) closeEditor(E, QAbstractItemDelegate::RevertModelCache);
  }
  // Label editing started by the program; false when the tree refused it.
  bool StartEdit(const QModelIndex& Index) { return edit(Index, AllEditTriggers, nullptr); }
  TTreeViewHost* Host;

 protected:
  bool edit(const QModelIndex& Index, EditTrigger Trigger, QEvent* Event) override;
  void closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) override;
  void drawRow(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
  void paintEvent(QPaintEvent* E) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override {
    PressNode = nullptr;
    QTreeView::mouseReleaseEvent(E);
    E->accept();
  }
  void mouseDoubleClickEvent(QMouseEvent* E) override;
  void wheelEvent(QWheelEvent* E) override {
    QTreeView::wheelEvent(E);
    E->accept();
  }
  void contextMenuEvent(QContextMenuEvent* E) override { E->accept(); }
  void keyPressEvent(QKeyEvent* E) override;

 private:
  QPoint PressPos;
  TTreeNode* PressNode = nullptr;
  Qt::MouseButton PressButton = Qt::NoButton;
};

// The selection follows the control: a move of the current row asks the
// control first, which may refuse it.
class TTreeSelectionModel : public QItemSelectionModel {
 public:
  TTreeSelectionModel(QAbstractItemModel* Model, TTreeViewHost* AHost) : QItemSelectionModel(Model), Host(AHost) {}
  void setCurrentIndex(const QModelIndex& Index, QItemSelectionModel::SelectionFlags Command) override;
  TTreeViewHost* Host;
  UINT Action = TVC_BYKEYBOARD;  // how the next move of the current row came about
};

class TTreeViewHost : public QWidget {
 public:
  explicit TTreeViewHost(TCustomTreeView* AControl) : TV(AControl), Model(new TTreeModel(this)) {
    Model->setParent(this);
    auto* L = new QVBoxLayout(this);
    L->setContentsMargins(0, 0, 0, 0);
    View = new TTreeQtView(this);
    Delegate = new TTreeDelegate(this);
    Delegate->setParent(this);
    View->setHeaderHidden(true);
    View->setUniformRowHeights(true);
    View->setItemsExpandable(false);
    View->setExpandsOnDoubleClick(false);
    View->setAnimated(false);
    View->setFrameShape(QFrame::NoFrame);
    View->setModel(Model);
    Selection = new TTreeSelectionModel(Model, this);
    View->setSelectionModel(Selection);
    View->setItemDelegate(Delegate);
    View->setSelectionMode(QAbstractItemView::SingleSelection);
    View->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    View->header()->setStretchLastSection(true);
    L->addWidget(View);
  }
  struct TParts {
    QRect Row, Button, State, Icon, Label;
  };
  TParts PartsOf(TTreeNode* Node) const;
  UINT HitTest(const QPoint& P, TTreeNode*& Node) const;
  void PaintNode(QPainter* P, TTreeNode* Node, const QRect& RowRect) const;
  void ApplyOptions();
  void SyncCurrent();
  void SyncExpanded(TTreeNode* Node);
  void SyncAllExpanded();
  bool BeginEdit(TTreeNode* Node);
  void EndEdit(const QString* Text);
  Integer RowHeight() const;
  QPoint ViewToClient(const QPoint& P) const { return View->viewport()->mapTo(this, P); }
  QPoint ClientToView(const QPoint& P) const { return View->viewport()->mapFrom(this, P); }

  TCustomTreeView* TV;  // null once the control has let go of its window
  TTreeModel* Model;
  TTreeDelegate* Delegate;
  TTreeQtView* View;
  TTreeSelectionModel* Selection;
  int Syncing = 0;
  mutable bool CustomDrawItems = false;
  mutable TTreeNode* PaintingNode = nullptr;
  TTreeNode* EditingNode = nullptr;
};

struct TTreeViewAccess {
  static TTreeViewHost* Host(const TCustomTreeView* TV) {
    return TV && !TV->FDestroying ? gtui::NativeOf<TTreeViewHost>(TV->FHandle) : nullptr;
  }
};

inline TTreeViewHost* HostOf(const TCustomTreeView* TV) { return TTreeViewAccess::Host(TV); }

// Marks changes the tree makes itself, which the view's signals must not answer.
struct TSyncing {
  explicit TSyncing(TTreeViewHost* AH) : H(AH) {
    if (H) ++H->Syncing;
  }
  ~TSyncing() {
    if (H) --H->Syncing;
  }
  TTreeViewHost* H;
};
