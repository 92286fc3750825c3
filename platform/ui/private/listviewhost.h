// The Qt side of the list view (platform/ui only): the model that shows the
// control's items, the delegate and views that draw them through the layer,
// and the native widget of the list's window that holds them.
#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QListView>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <QWidget>

#include "platform/ui/listview.h"

class TListViewHost;

class TListModel : public QAbstractTableModel {
 public:
  explicit TListModel(TListViewHost* AHost) : Host(AHost) {}
  int rowCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : Rows; }
  int columnCount(const QModelIndex& Parent) const override { return Parent.isValid() ? 0 : Columns; }
  QModelIndex index(int Row, int Column, const QModelIndex& Parent) const override;
  QVariant data(const QModelIndex& Index, int Role) const override;
  bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;
  // Tells the views that everything may have changed (the end of an update bracket).
  void Reset();
  void InsertRow(int Row);
  void BeginRemoveRow(int Row);
  void EndRemoveRow();
  // The items were put in a new order: persistent indexes follow their items.
  void Reordered();
  void RowChanged(int Row) {
    if (Row >= 0 && Row < Rows) emit dataChanged(index(Row, 0, {}), index(Row, std::max(0, Columns - 1), {}));
  }
  void HeaderChanged() {
    if (Columns > 0) emit headerDataChanged(Qt::Horizontal, 0, Columns - 1);
  }
  TListViewHost* Host;
  int Rows = 0, Columns = 1;  // what the views were told
};

class TListDelegate : public QStyledItemDelegate {
 public:
  explicit TListDelegate(TListViewHost* AHost) : Host(AHost) {}
  void paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  QSize sizeHint(const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  void updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
  TListViewHost* Host;
};

// What both kinds of view do alike: label editing through the control,
// begin-drag notifications, input that stays in the view.
template <class Base>
class TListViewT : public Base {
 public:
  explicit TListViewT(TListViewHost* AHost) : Host(AHost) {}
  // Label editing started by the program; false when the list refused it.
  bool StartEdit(const QModelIndex& Index) { return edit(Index, QAbstractItemView::AllEditTriggers, nullptr); }
  void CancelEditing() {
    if (auto* E = this->viewport()->template findChild<QLineEdit*>())
      this->closeEditor(E, QAbstractItemDelegate::RevertModelCache);
  }

 protected:
  bool edit(const QModelIndex& Index, QAbstractItemView::EditTrigger Trigger, QEvent* Event) override;
  void closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) override;
  void mousePressEvent(QMouseEvent* E) override;
  void mouseMoveEvent(QMouseEvent* E) override;
  void mouseReleaseEvent(QMouseEvent* E) override {
    PressRow = -1;
    Base::mouseReleaseEvent(E);
    E->accept();  // the window procedure has seen it; the view must not pass it up again
  }
  void mouseDoubleClickEvent(QMouseEvent* E) override {
    Base::mouseDoubleClickEvent(E);
    E->accept();
  }
  void wheelEvent(QWheelEvent* E) override {
    Base::wheelEvent(E);
    E->accept();
  }
  void contextMenuEvent(QContextMenuEvent* E) override { E->accept(); }
  void paintEvent(QPaintEvent* E) override;
  TListViewHost* Host;
  QPoint PressPos;
  int PressRow = -1;
  Qt::MouseButton PressButton = Qt::NoButton;
};

class TReportView : public TListViewT<QTreeView> {
 public:
  using TListViewT::TListViewT;

 protected:
  void drawRow(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const override;
};

using TIconView = TListViewT<QListView>;

// The native widget of a list view's window: the view of the current style
// over the model, the background picture, and the state of editing.
class TListViewHost : public QWidget {
 public:
  explicit TListViewHost(TCustomListView* AControl) : LV(AControl), Model(new TListModel(this)) {
    Model->setParent(this);
    auto* L = new QVBoxLayout(this);
    L->setContentsMargins(0, 0, 0, 0);
    Delegate = new TListDelegate(this);
    Delegate->setParent(this);
  }
  void MakeView();
  void SyncAll();
  void SyncSelectionToQt();
  void SyncItemToQt(int Row);
  void SyncColumns();
  void SyncHeaderLook();
  void ApplyOptions();
  QRect RowRectInView(int Row) const;
  // The parts of an item in client coordinates (the host's).
  struct TParts {
    QRect Bounds, State, Icon, Label, SelectBounds;
  };
  TParts PartsOf(int Row) const;
  UINT HitTest(const QPoint& P, int& Row) const;
  void PaintItem(QPainter* P, int Row, const QRect& ViewRect) const;
  bool BeginEdit(int Row);
  void EndEdit(const QString* Text);
  Integer RowHeight() const;
  QSize IconCell() const;
  QPoint ViewToClient(const QPoint& P) const { return View->viewport()->mapTo(this, P); }
  QPoint ClientToView(const QPoint& P) const { return View->viewport()->mapFrom(this, P); }
  HIMAGELIST ImagesForStyle() const {
    return LV->ImageListFor(LV->FViewStyle == vsIcon ? LVSIL_NORMAL : LVSIL_SMALL);
  }
  bool Report() const { return LV->FViewStyle == vsReport; }

  TCustomListView* LV;  // null once the control has let go of its window
  TListModel* Model;
  TListDelegate* Delegate;
  QAbstractItemView* View = nullptr;
  TReportView* ReportView = nullptr;
  TIconView* IconView = nullptr;
  QImage Background;
  ULONG BackgroundFlags = 0;
  Integer BackgroundX = 0, BackgroundY = 0;
  bool Syncing = false;
  mutable bool CustomDrawItems = false;  // the control asked for item notifications in this paint
  mutable int PaintingRow = -1;
  int EditingRow = -1;
};

// Made in listview_host.cpp, used from the control's side.
extern template class TListViewT<QTreeView>;
extern template class TListViewT<QListView>;
