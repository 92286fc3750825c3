// The list view over Qt's item views: the items live in the control; a
// model shows them to a QTreeView (report rows) or a QListView (icons, small
// icons, list), and every row is drawn by the layer itself so that images,
// states, custom-draw colours and the hit test follow one geometry.
#include "platform/ui/listview.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "platform/base/strutils.h"
#include "platform/ui/private/itemviews.h"
#include "platform/ui/private/native.h"

using namespace gtui;

namespace {
COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)); }
constexpr Integer LabelPad = 2;  // space on each side of a label's text
}  // namespace

// ---------------------------------------------------------------- the Qt side

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

// ---------------------------------------------------------------- model

QModelIndex TListModel::index(int Row, int Column, const QModelIndex& Parent) const {
  if (Parent.isValid() || Row < 0 || Row >= Rows || Column < 0 || Column >= Columns) return {};
  TCustomListView* LV = Host->LV;
  void* Item = LV && Row < LV->Items()->Count() ? LV->Items()->Item(Row) : nullptr;
  return createIndex(Row, Column, Item);
}

QVariant TListModel::data(const QModelIndex& Index, int Role) const {
  TCustomListView* LV = Host->LV;
  if (!LV || !Index.isValid() || Index.row() >= LV->Items()->Count()) return {};
  TListItem* Item = LV->Items()->Item(Index.row());
  if (Role == Qt::EditRole || (Role == Qt::DisplayRole && Index.column() == 0)) return ToQString(Item->Caption());
  if (Role == Qt::DisplayRole) {
    TStrings* S = Item->SubItems();
    int I = Index.column() - 1;
    return I < S->Count() ? ToQString(S->Strings(I)) : QString();
  }
  return {};
}

bool TListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
  if (Role != Qt::EditRole || !Index.isValid()) return false;
  const QString Text = Value.toString();
  Host->EndEdit(&Text);
  return true;
}

Qt::ItemFlags TListModel::flags(const QModelIndex& Index) const {
  if (!Index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags F = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (Index.column() == 0 && Host->LV && !Host->LV->ReadOnly()) F |= Qt::ItemIsEditable;
  return F;
}

QVariant TListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  TCustomListView* LV = Host->LV;
  if (!LV || Orientation != Qt::Horizontal || Section < 0 || Section >= LV->Columns()->Count()) return {};
  TListColumn* C = LV->Columns()->Items(Section);
  switch (Role) {
    case Qt::DisplayRole: return ToQString(C->Caption());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(C->Alignment() == taRightJustify ? Qt::AlignRight
                                               : C->Alignment() == taCenter     ? Qt::AlignHCenter
                                                                                : Qt::AlignLeft) |
                                 Qt::AlignVCenter);
    case Qt::DecorationRole:
      if (C->FHeaderFormat & (HDF_BITMAP | HDF_BITMAP_ON_RIGHT)) return PixmapOfBitmap(C->FHeaderBitmap);
      return {};
    default: return {};
  }
}

void TListModel::Reset() {
  // Selection signals of a change of structure are the view's bookkeeping, not the user's choice.
  const bool WasSyncing = std::exchange(Host->Syncing, true);
  beginResetModel();
  TCustomListView* LV = Host->LV;
  Rows = LV ? LV->Items()->Count() : 0;
  Columns = !LV ? 0 : LV->ViewStyle() == vsReport ? LV->Columns()->Count() : 1;
  endResetModel();
  Host->Syncing = WasSyncing;
}

void TListModel::InsertRow(int Row) {
  const bool WasSyncing = std::exchange(Host->Syncing, true);
  beginInsertRows(QModelIndex(), Row, Row);
  ++Rows;
  endInsertRows();
  Host->Syncing = WasSyncing;
}

void TListModel::BeginRemoveRow(int Row) {
  Host->Syncing = true;
  beginRemoveRows(QModelIndex(), Row, Row);
}

void TListModel::EndRemoveRow() {
  --Rows;
  endRemoveRows();
  Host->Syncing = false;
}

void TListModel::Reordered() {
  const bool WasSyncing = std::exchange(Host->Syncing, true);
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList Old = persistentIndexList();
  QModelIndexList New;
  for (const QModelIndex& I : Old) {
    auto* Item = static_cast<TListItem*>(I.internalPointer());
    New.push_back(Item ? createIndex(Item->Index(), I.column(), Item) : QModelIndex());
  }
  changePersistentIndexList(Old, New);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  Host->Syncing = WasSyncing;
}

// ---------------------------------------------------------------- delegate

void TListDelegate::paint(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  Host->PaintItem(P, Index.row(), Option.rect);
}

QSize TListDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  if (!Host->LV) return QSize(1, 1);
  switch (Host->LV->ViewStyle()) {
    case vsIcon: return Host->IconCell();
    case vsReport: return QSize(Host->LV->Columns()->Count() ? Host->LV->Columns()->Items(0)->Width() : 1, Host->RowHeight());
    default: {
      // A fixed column width keeps the layout of very long lists cheap.
      const QSize Img = ImageListSize(Host->ImagesForStyle());
      return QSize(Img.width() + 150, Host->RowHeight());
    }
  }
}

void TListDelegate::updateEditorGeometry(QWidget* Editor, const QStyleOptionViewItem&, const QModelIndex& Index) const {
  const TListViewHost::TParts Parts = Host->PartsOf(Index.row());
  QRect R = Parts.Label;
  R.setWidth(std::max(R.width(), 80));
  R.moveTopLeft(Host->ClientToView(R.topLeft()));
  Editor->setGeometry(R);
}

// ---------------------------------------------------------------- views

template <class Base>
bool TListViewT<Base>::edit(const QModelIndex& Index, QAbstractItemView::EditTrigger Trigger, QEvent* Event) {
  const bool Opens = Trigger == QAbstractItemView::AllEditTriggers || (this->editTriggers() & Trigger);
  if (!Opens || !Index.isValid() || this->state() == QAbstractItemView::EditingState)
    return Base::edit(Index, Trigger, Event);
  if (!Host->BeginEdit(Index.row())) return false;
  const bool Ok = Base::edit(this->model()->index(Index.row(), 0), Trigger, Event);
  if (!Ok) Host->EditingRow = -1;
  return Ok;
}

template <class Base>
void TListViewT<Base>::closeEditor(QWidget* Editor, QAbstractItemDelegate::EndEditHint Hint) {
  // A commit has already ended the edit through setData; anything else cancels it.
  if (Host->EditingRow >= 0) Host->EndEdit(nullptr);
  Base::closeEditor(Editor, Hint == QAbstractItemDelegate::EditNextItem || Hint == QAbstractItemDelegate::EditPreviousItem
                                ? QAbstractItemDelegate::NoHint
                                : Hint);
}

template <class Base>
void TListViewT<Base>::mousePressEvent(QMouseEvent* E) {
  PressRow = -1;
  int Row = -1;
  const QPoint C = Host->ViewToClient(E->position().toPoint());
  if ((E->button() == Qt::LeftButton || E->button() == Qt::RightButton) && (Host->HitTest(C, Row) & LVHT_ONITEM)) {
    PressRow = Row;
    PressPos = E->position().toPoint();
    PressButton = E->button();
  }
  Base::mousePressEvent(E);
  E->accept();
}

template <class Base>
void TListViewT<Base>::mouseMoveEvent(QMouseEvent* E) {
  if (PressRow >= 0 && (E->position().toPoint() - PressPos).manhattanLength() >= QApplication::startDragDistance()) {
    const int Row = PressRow;
    PressRow = -1;
    if (TCustomListView* LV = Host->LV) {
      NMLISTVIEW N;
      N.hdr.code = PressButton == Qt::RightButton ? LVN_BEGINRDRAG : LVN_BEGINDRAG;
      N.iItem = Row;
      const QPoint C = Host->ViewToClient(PressPos);
      N.ptAction = TPoint(C.x(), C.y());
      Guarded([&] { SendMessage(LV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&N)); });
    }
    E->accept();
    return;
  }
  // Moving with the button held starts a drag from an item, never a range selection.
  if (!(E->buttons() & (Qt::LeftButton | Qt::RightButton)) || PressRow < 0) Base::mouseMoveEvent(E);
  E->accept();
}

template <class Base>
void TListViewT<Base>::paintEvent(QPaintEvent* E) {
  if (TCustomListView* LV = Host->LV) {
    if (!Host->Background.isNull()) {
      QPainter P(this->viewport());
      const QImage& B = Host->Background;
      if (Host->BackgroundFlags & LVBKIF_STYLE_TILE) {
        P.fillRect(this->viewport()->rect(), QBrush(B));
      } else {
        const QRect VR = this->viewport()->rect();
        P.drawImage(QPoint((VR.width() - B.width()) * Host->BackgroundX / 100, (VR.height() - B.height()) * Host->BackgroundY / 100), B);
      }
    }
    NMLVCUSTOMDRAW CD;
    CD.nmcd.hdr.code = NM_CUSTOMDRAW;
    CD.nmcd.dwDrawStage = CDDS_PREPAINT;
    LRESULT R = CDRF_DODEFAULT;
    Guarded([&] { R = SendMessage(LV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&CD)); });
    Host->CustomDrawItems = (R & CDRF_NOTIFYITEMDRAW) != 0;
  }
  Base::paintEvent(E);
}

void TReportView::drawRow(QPainter* P, const QStyleOptionViewItem& Option, const QModelIndex& Index) const {
  Host->PaintItem(P, Index.row(), Option.rect);
}

// ---------------------------------------------------------------- host

Integer TListViewHost::RowHeight() const {
  const QFontMetrics FM(font());
  Integer H = FM.height() + 3;
  if (LV) {
    H = std::max<Integer>(H, ImageListSize(LV->ImageListFor(LVSIL_SMALL)).height() + 1);
    H = std::max<Integer>(H, ImageListSize(LV->ImageListFor(LVSIL_STATE)).height() + 1);
  }
  return H;
}

QSize TListViewHost::IconCell() const {
  const QSize Img = LV ? ImageListSize(LV->ImageListFor(LVSIL_NORMAL)) : QSize(32, 32);
  const QFontMetrics FM(font());
  return QSize(std::max(Img.width() + 2 * 8, 75), Img.height() + 4 + 2 * FM.height() + 6);
}

void TListViewHost::MakeView() {
  if (View) {
    layout()->removeWidget(View);
    delete View;
    View = nullptr;
    ReportView = nullptr;
    IconView = nullptr;
  }
  Model->Reset();
  if (Report()) {
    ReportView = new TReportView(this);
    ReportView->setRootIsDecorated(false);
    ReportView->setItemsExpandable(false);
    ReportView->setIndentation(0);
    ReportView->setUniformRowHeights(true);
    ReportView->setAllColumnsShowFocus(true);
    ReportView->header()->setStretchLastSection(false);
    ReportView->header()->setSectionsMovable(false);
    ReportView->header()->setSectionResizeMode(QHeaderView::Interactive);
    View = ReportView;
  } else {
    IconView = new TIconView(this);
    IconView->setMovement(QListView::Static);
    IconView->setResizeMode(QListView::Adjust);
    IconView->setUniformItemSizes(true);
    IconView->setLayoutMode(QListView::Batched);
    IconView->setWrapping(true);
    if (LV->FViewStyle == vsIcon) {
      IconView->setViewMode(QListView::IconMode);
      IconView->setGridSize(IconCell());
    } else {
      IconView->setViewMode(QListView::ListMode);
      IconView->setFlow(LV->FViewStyle == vsList ? QListView::TopToBottom : QListView::LeftToRight);
    }
    View = IconView;
  }
  View->setFrameShape(QFrame::NoFrame);
  View->setModel(Model);
  View->setItemDelegate(Delegate);
  View->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
  View->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  View->setDragEnabled(false);
  View->setSelectionBehavior(QAbstractItemView::SelectRows);
  View->setFocusPolicy(focusPolicy());
  setFocusProxy(View);
  layout()->addWidget(View);
  View->show();
  ShowViewportInputToWindow(View, LV->FHandle);
  QObject::connect(View->selectionModel(), &QItemSelectionModel::selectionChanged, View,
                   [this](const QItemSelection& Sel, const QItemSelection& Desel) {
                     if (Syncing || !LV) return;
                     Guarded([&] {
                       for (const QItemSelectionRange& R : Desel)
                         for (int Row = R.top(); Row <= R.bottom() && LV; ++Row)
                           if (Row < LV->Items()->Count()) LV->Items()->Item(Row)->SetSelected(false);
                       for (const QItemSelectionRange& R : Sel)
                         for (int Row = R.top(); Row <= R.bottom() && LV; ++Row)
                           if (Row < LV->Items()->Count()) LV->Items()->Item(Row)->SetSelected(true);
                     });
                   });
  QObject::connect(View->selectionModel(), &QItemSelectionModel::currentChanged, View,
                   [this](const QModelIndex& Cur, const QModelIndex&) {
                     if (Syncing || !LV || !Cur.isValid() || Cur.row() >= LV->Items()->Count()) return;
                     Guarded([&] { LV->Items()->Item(Cur.row())->SetFocused(true); });
                   });
  if (ReportView) {
    QHeaderView* H = ReportView->header();
    QObject::connect(H, &QHeaderView::sectionClicked, H, [this](int Section) {
      if (!LV) return;
      NMLISTVIEW N;
      N.hdr.code = LVN_COLUMNCLICK;
      N.iSubItem = Section;
      Guarded([&] { SendMessage(LV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&N)); });
    });
    QObject::connect(H, &QHeaderView::sectionResized, H, [this](int Section, int, int NewSize) {
      if (!Syncing && LV && Section < LV->Columns()->Count()) LV->Columns()->Items(Section)->FWidth = NewSize;
    });
    // The end of a press on the header (a click or a drag of a divider) ends its capture.
    struct TRelease : QObject {
      TListViewHost* Host;
      explicit TRelease(TListViewHost* H, QObject* P) : QObject(P), Host(H) {}
      bool eventFilter(QObject*, QEvent* E) override {
        if (E->type() == QEvent::MouseButtonRelease && Host->LV && Host->LV->HeaderHandle())
          Guarded([&] { SendMessage(Host->LV->HeaderHandle(), WM_CAPTURECHANGED, 0, 0); });
        return false;
      }
    };
    H->viewport()->installEventFilter(new TRelease(this, H->viewport()));
  }
  SyncAll();
}

void TListViewHost::ApplyOptions() {
  if (!View || !LV) return;
  View->setSelectionMode(LV->FMultiSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
  View->setEditTriggers(LV->FReadOnly ? QAbstractItemView::NoEditTriggers : QAbstractItemView::SelectedClicked);
  if (ReportView) ReportView->header()->setVisible(LV->FShowColumnHeaders);
  QPalette Pal = View->palette();
  Pal.setColor(QPalette::Base, QColor::fromRgb(GetRValue(Rgb(LV->Color())), GetGValue(Rgb(LV->Color())), GetBValue(Rgb(LV->Color()))));
  View->setPalette(Pal);
  if (IconView && LV->FViewStyle == vsIcon) IconView->setGridSize(IconCell());
}

void TListViewHost::SyncColumns() {
  if (!LV) return;
  Model->Reset();
  if (ReportView) {
    Syncing = true;
    for (Integer i = 0; i < LV->Columns()->Count(); ++i) ReportView->header()->resizeSection(i, LV->Columns()->Items(i)->FWidth);
    Syncing = false;
    SyncHeaderLook();
  }
  SyncSelectionToQt();
}

void TListViewHost::SyncHeaderLook() {
  if (!ReportView || !LV) return;
  QHeaderView* H = ReportView->header();
  int SortSection = -1;
  Qt::SortOrder Order = Qt::AscendingOrder;
  for (Integer i = 0; i < LV->Columns()->Count(); ++i) {
    Integer F = LV->Columns()->Items(i)->FHeaderFormat;
    if (F & (HDF_SORTUP | HDF_SORTDOWN)) {
      SortSection = i;
      Order = (F & HDF_SORTUP) ? Qt::AscendingOrder : Qt::DescendingOrder;
      break;
    }
  }
  H->setSortIndicatorShown(SortSection >= 0);
  H->setSortIndicator(SortSection, Order);
  Model->HeaderChanged();
  H->viewport()->update();
}

void TListViewHost::SyncAll() {
  ApplyOptions();
  SyncColumns();
}

void TListViewHost::SyncSelectionToQt() {
  if (!View || !LV) return;
  Syncing = true;
  QItemSelection Sel;
  int Start = -1;
  const int N = std::min(Model->Rows, LV->Items()->Count());
  const int LastCol = std::max(0, Model->Columns - 1);
  for (int Row = 0; Row <= N; ++Row) {
    const bool S = Row < N && LV->Items()->Item(Row)->Selected();
    if (S && Start < 0) Start = Row;
    if (!S && Start >= 0) {
      Sel.select(Model->index(Start, 0, {}), Model->index(Row - 1, LastCol, {}));
      Start = -1;
    }
  }
  View->selectionModel()->select(Sel, QItemSelectionModel::ClearAndSelect);
  if (TListItem* F = LV->ItemFocused(); F && F->Index() < Model->Rows)
    View->selectionModel()->setCurrentIndex(Model->index(F->Index(), 0, {}), QItemSelectionModel::NoUpdate);
  Syncing = false;
  View->viewport()->update();
}

void TListViewHost::SyncItemToQt(int Row) {
  if (!View || !LV || Row < 0 || Row >= Model->Rows || Row >= LV->Items()->Count()) return;
  TListItem* Item = LV->Items()->Item(Row);
  Syncing = true;
  const QModelIndex I = Model->index(Row, 0, {});
  View->selectionModel()->select(I, (Item->Selected() ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                        QItemSelectionModel::Rows);
  if (Item->Focused()) View->selectionModel()->setCurrentIndex(I, QItemSelectionModel::NoUpdate);
  Syncing = false;
}

QRect TListViewHost::RowRectInView(int Row) const {
  if (!View || Row < 0 || Row >= Model->Rows) return {};
  QRect R = View->visualRect(Model->index(Row, 0, {}));
  if (ReportView) {
    QHeaderView* H = ReportView->header();
    int Left = H->count() ? H->sectionViewportPosition(0) : 0;
    int Right = Left;
    for (int i = 0; i < H->count(); ++i) Right = std::max(Right, H->sectionViewportPosition(i) + H->sectionSize(i));
    R.setLeft(Left);
    R.setRight(Right - 1);
  }
  return R;
}

TListViewHost::TParts TListViewHost::PartsOf(int Row) const {
  TParts Out;
  if (!LV || Row < 0 || Row >= LV->Items()->Count()) return Out;
  QRect R = RowRectInView(Row);
  if (R.isEmpty()) return Out;
  R.moveTopLeft(ViewToClient(R.topLeft()));
  Out.Bounds = R;
  TListItem* Item = LV->Items()->Item(Row);
  const QSize StateSize = ImageListSize(LV->ImageListFor(LVSIL_STATE));
  const QSize Img = ImageListSize(ImagesForStyle());
  const QFontMetrics FM(font());
  const int TextW = FM.horizontalAdvance(ToQString(Item->Caption())) + 2 * LabelPad;
  if (LV->FViewStyle == vsIcon) {
    const int IconLeft = R.left() + (R.width() - Img.width()) / 2;
    Out.Icon = QRect(IconLeft, R.top() + 2, Img.width(), Img.height());
    if (StateSize.width() > 0)
      Out.State = QRect(IconLeft - StateSize.width(), Out.Icon.bottom() + 1 - StateSize.height(), StateSize.width(), StateSize.height());
    const int LabelW = std::min(TextW, R.width());
    Out.Label = QRect(R.left() + (R.width() - LabelW) / 2, Out.Icon.bottom() + 3, LabelW, FM.height() + 2);
    Out.SelectBounds = Out.Icon.united(Out.Label);
    return Out;
  }
  int X = R.left();
  int ColumnRight = R.right();
  if (ReportView && ReportView->header()->count() > 0)
    ColumnRight = ViewToClient(QPoint(ReportView->header()->sectionViewportPosition(0) + ReportView->header()->sectionSize(0) - 1, 0)).x();
  if (StateSize.width() > 0) {
    Out.State = QRect(X, R.top() + (R.height() - StateSize.height()) / 2, StateSize.width(), StateSize.height());
    X += StateSize.width();
  }
  if (Img.width() > 0) {
    Out.Icon = QRect(X + 1, R.top() + (R.height() - Img.height()) / 2, Img.width(), Img.height());
    X = Out.Icon.right() + 1;
  }
  X += 2;
  Out.Label = QRect(X, R.top(), std::max(0, std::min(TextW, ColumnRight + 1 - X)), R.height());
  Out.SelectBounds = (LV->FRowSelect && Report()) ? R : (Out.Icon.isNull() ? Out.Label : Out.Icon.united(Out.Label));
  return Out;
}

UINT TListViewHost::HitTest(const QPoint& P, int& Row) const {
  Row = -1;
  if (!View || !LV) return LVHT_NOWHERE;
  const QPoint V = ClientToView(P);
  const QRect VR = View->viewport()->rect();
  UINT Outside = 0;
  if (V.y() < 0) Outside |= LVHT_ABOVE;
  if (V.y() >= VR.height()) Outside |= LVHT_BELOW;
  if (V.x() < 0) Outside |= LVHT_TOLEFT;
  if (V.x() >= VR.width()) Outside |= LVHT_TORIGHT;
  if (Outside) return Outside;
  const QModelIndex I = View->indexAt(ReportView ? QPoint(std::max(0, ReportView->header()->sectionViewportPosition(0)), V.y()) : V);
  if (!I.isValid()) return LVHT_NOWHERE;
  const TParts Parts = PartsOf(I.row());
  UINT Flags = 0;
  if (Parts.State.contains(P)) Flags = LVHT_ONITEMSTATEICON;
  else if (Parts.Icon.contains(P)) Flags = LVHT_ONITEMICON;
  else if (Parts.Label.contains(P)) Flags = LVHT_ONITEMLABEL;
  else if (Report() && Parts.Bounds.contains(P) && (LV->FRowSelect || P.x() > Parts.Label.right()))
    Flags = LVHT_ONITEMLABEL;  // the rest of a report row belongs to the item
  if (!Flags) return LVHT_NOWHERE;
  Row = I.row();
  return Flags;
}

void TListViewHost::PaintItem(QPainter* P, int Row, const QRect& ViewRect) const {
  if (!LV || Row < 0 || Row >= LV->Items()->Count()) return;
  TListItem* Item = LV->Items()->Item(Row);
  TCustomListView* Control = LV;
  HWND Wnd = Control->Handle();
  PaintingRow = Row;
  // The image index is asked for only now, as the row is about to show.
  NMLVDISPINFOW Info;
  Info.hdr.code = LVN_GETDISPINFOW;
  Info.item.mask = LVIF_IMAGE;
  Info.item.iItem = Row;
  Info.item.iImage = Item->ImageIndex();
  Guarded([&] { SendMessage(Wnd, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
  if (!LV || Row >= LV->Items()->Count() || LV->Items()->Item(Row) != Item) {
    PaintingRow = -1;
    return;
  }
  const TParts Parts = PartsOf(Row);
  QRect Cell = ViewRect;
  if (ReportView) Cell = QRect(0, ViewRect.top(), View->viewport()->width(), ViewRect.height());
  const QPoint Origin = ViewToClient(Cell.topLeft());
  TRowCanvas RowCanvas(Cell.size(), Origin);
  HDC DC = RowCanvas.DC();
  const TRect Whole(Origin.x(), Origin.y(), Origin.x() + Cell.width(), Origin.y() + Cell.height());
  const COLORREF Window = Rgb(LV->Color());
  if (!Background.isNull()) {
    // The picture behind the rows shows through them.
    QPainter BP(&RowCanvas.Image());
    BP.translate(-Cell.topLeft());
    if (BackgroundFlags & LVBKIF_STYLE_TILE) {
      BP.fillRect(Cell, QBrush(Background));
    } else {
      BP.fillRect(Cell, QColor::fromRgb(GetRValue(Window), GetGValue(Window), GetBValue(Window)));
      const QRect VR = View->viewport()->rect();
      BP.drawImage(QPoint((VR.width() - Background.width()) * BackgroundX / 100,
                          (VR.height() - Background.height()) * BackgroundY / 100),
                   Background);
    }
  } else {
    FillRowRect(DC, Whole, Window);
  }
  const bool ShowSel = View->hasFocus() || !LV->FHideSelection;
  const bool Selected = (Item->Selected() && ShowSel) || Item->DropTarget();
  const bool Focused = Item->Focused() && View->hasFocus();
  COLORREF Text = Rgb(Selected ? clHighlightText : LV->Font()->Color());
  COLORREF TextBk = Selected ? Rgb(clHighlight) : LV->FTextBkColor;
  if (CustomDrawItems) {
    TCanvas* C = LV->FCanvas.get();
    C->SetHandle(DC);
    C->Font()->Assign(LV->Font());
    C->Brush()->SetColor(LV->Color());
    NMLVCUSTOMDRAW CD;
    CD.nmcd.hdr.code = NM_CUSTOMDRAW;
    CD.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    CD.nmcd.hdc = DC;
    CD.nmcd.rc = TRect(Parts.Bounds.left(), Parts.Bounds.top(), Parts.Bounds.right() + 1, Parts.Bounds.bottom() + 1);
    CD.nmcd.dwItemSpec = static_cast<DWORD_PTR>(Row);
    CD.nmcd.uItemState = (Item->Selected() ? CDIS_SELECTED : 0u) | (Focused ? CDIS_FOCUS : 0u);
    CD.nmcd.lItemlParam = reinterpret_cast<LPARAM>(Item);
    CD.clrText = Text;
    CD.clrTextBk = TextBk;
    LRESULT R = CDRF_DODEFAULT;
    Guarded([&] { R = SendMessage(Wnd, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&CD)); });
    C->SetHandle(nullptr);
    if (!LV || Row >= LV->Items()->Count() || LV->Items()->Item(Row) != Item) {
      PaintingRow = -1;
      return;
    }
    if (R & CDRF_SKIPDEFAULT) {
      P->drawImage(Cell.topLeft(), RowCanvas.Finished());
      PaintingRow = -1;
      return;
    }
    if (!Selected) {
      Text = CD.clrText;
      TextBk = CD.clrTextBk;
    }
  }
  auto ToTRect = [](const QRect& Q) { return TRect(Q.left(), Q.top(), Q.right() + 1, Q.bottom() + 1); };
  const bool FillBk = TextBk != CLR_NONE && TextBk != CLR_DEFAULT;
  if (Selected && LV->FRowSelect && Report())
    FillRowRect(DC, ToTRect(Parts.Bounds), TextBk);
  else if (FillBk && !Parts.Label.isEmpty())
    FillRowRect(DC, ToTRect(Parts.Label), TextBk);
  const COLORREF IconBk = Background.isNull() ? Window : Rgb(clWindow);
  if (Item->StateIndex() > 0 && !Parts.State.isNull())
    DrawListImage(RowCanvas, LV->ImageListFor(LVSIL_STATE), Item->StateIndex(), -1, Parts.State.left(), Parts.State.top(), false, IconBk);
  if (!Parts.Icon.isNull())
    DrawListImage(RowCanvas, ImagesForStyle(), Item->ImageIndex(), Item->OverlayIndex(), Parts.Icon.left(), Parts.Icon.top(),
                  Item->Cut(), IconBk);
  HGDIOBJ OldFont = SelectObject(DC, LV->FCanvas->Font()->Handle());
  SetBkMode(DC, TRANSPARENT);
  SetTextColor(DC, Text);
  const UINT Flags = DT_NOPREFIX | DT_END_ELLIPSIS | DT_SINGLELINE | DT_VCENTER;
  TRect L = ToTRect(Parts.Label);
  L.Left += LabelPad;
  const WideString& Caption = Item->Caption();
  DrawTextW(DC, Caption.c_str(), static_cast<Integer>(Caption.size()), &L, Flags | (LV->FViewStyle == vsIcon ? UINT(DT_CENTER) : 0u));
  if (ReportView && Item->FSubItems) {
    QHeaderView* H = ReportView->header();
    SetTextColor(DC, Selected && LV->FRowSelect ? Text : Rgb(LV->Font()->Color()));
    for (int Col = 1; Col < H->count() && Col - 1 < Item->FSubItems->Count(); ++Col) {
      const QPoint Left = ViewToClient(QPoint(H->sectionViewportPosition(Col), ViewRect.top()));
      TRect S(Left.x() + 6, Parts.Bounds.top(), Left.x() + H->sectionSize(Col) - 6, Parts.Bounds.bottom() + 1);
      const WideString& T = Item->FSubItems->Strings(Col - 1);
      const TAlignment A = LV->Columns()->Items(Col)->Alignment();
      DrawTextW(DC, T.c_str(), static_cast<Integer>(T.size()), &S,
                Flags | (A == taRightJustify ? UINT(DT_RIGHT) : A == taCenter ? UINT(DT_CENTER) : 0u));
    }
  }
  SelectObject(DC, OldFont);
  if (Focused) {
    TRect F = ToTRect(Parts.SelectBounds.isNull() ? Parts.Label : (LV->FRowSelect && Report() ? Parts.Bounds : Parts.Label));
    DrawFocusRect(DC, &F);
  }
  P->drawImage(Cell.topLeft(), RowCanvas.Finished());
  PaintingRow = -1;
}

bool TListViewHost::BeginEdit(int Row) {
  if (!LV || LV->FReadOnly || Row < 0 || Row >= LV->Items()->Count()) return false;
  NMLVDISPINFOW Info;
  Info.hdr.code = LVN_BEGINLABELEDITW;
  Info.item.iItem = Row;
  LRESULT Refused = 1;
  Guarded([&] { Refused = SendMessage(LV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
  if (Refused || !LV) return false;
  EditingRow = Row;
  return true;
}

void TListViewHost::EndEdit(const QString* Text) {
  const int Row = EditingRow;
  EditingRow = -1;
  if (!LV || Row < 0) return;
  NMLVDISPINFOW Info;
  Info.hdr.code = LVN_ENDLABELEDITW;
  Info.item.mask = LVIF_TEXT;
  Info.item.iItem = Row;
  std::u16string Buffer = Text ? Text->toStdU16String() : std::u16string();
  Info.item.pszText = Text ? Buffer.data() : nullptr;
  Info.item.cchTextMax = static_cast<Integer>(Buffer.size() + 1);
  Guarded([&] { SendMessage(LV->Handle(), CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Info)); });
}

// Access from the items to the host of their list's window.
struct TListViewAccess {
  static TListViewHost* Host(const TCustomListView* LV) {
    return LV && !LV->FDestroying ? NativeOf<TListViewHost>(LV->FHandle) : nullptr;
  }
};

namespace {
TListViewHost* HostOf(const TCustomListView* LV) { return TListViewAccess::Host(LV); }
}  // namespace

// ---------------------------------------------------------------- TListColumn(s)

TListColumn::TListColumn(TListColumns* AOwner) : FOwner(AOwner) {}

void TListColumn::SetCaption(const WideString& Value) {
  FCaption = Value;
  FOwner->Changed();
}

Integer TListColumn::Width() const { return FWidth; }

void TListColumn::SetWidth(Integer Value) {
  FWidth = std::max(0, Value);
  FOwner->Changed();
}

void TListColumn::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  FOwner->Changed();
}

Integer TListColumn::Index() const {
  for (Integer i = 0; i < FOwner->Count(); ++i)
    if (FOwner->FItems[static_cast<size_t>(i)].get() == this) return i;
  return -1;
}

TListColumns::~TListColumns() = default;

TListColumn* TListColumns::Add() {
  FItems.push_back(std::make_unique<TListColumn>(this));
  Changed();
  return FItems.back().get();
}

TListColumn* TListColumns::Items(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)].get();
}

void TListColumns::Delete(Integer Index) {
  Items(Index);
  FItems.erase(FItems.begin() + Index);
  Changed();
}

void TListColumns::Clear() {
  FItems.clear();
  Changed();
}

void TListColumns::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChanged) {
    FChanged = false;
    FOwner->ColumnsChanged();
  }
}

void TListColumns::Changed() {
  if (FUpdateCount > 0) {
    FChanged = true;
    return;
  }
  FOwner->ColumnsChanged();
}

// ---------------------------------------------------------------- TListItem

TListItem::TListItem(TListItems* AOwner) : FOwner(AOwner) {}

TListItem::~TListItem() = default;

TCustomListView* TListItem::ListView() const { return FOwner->Owner(); }

Integer TListItem::Index() const { return FIndex; }

void TListItem::SetCaption(const WideString& Value) {
  if (FCaption == Value) return;
  TCustomListView* LV = ListView();
  FCaption = Value;
  LV->ItemChanged(this, LVIF_TEXT, FState);
  if (LV->FSortType == stText || LV->FSortType == stBoth) LV->AlphaSort();
}

TStrings* TListItem::SubItems() {
  if (!FSubItems) {
    FSubItems = std::make_unique<TStringList>();
    FSubItems->OnChange = [this](TObject*) { SubItemsChanged(); };
  }
  return FSubItems.get();
}

void TListItem::SubItemsChanged() { ListView()->RepaintItem(this); }

void TListItem::SetImageIndex(TImageIndex Value) {
  if (FImageIndex == Value) return;
  FImageIndex = Value;
  ListView()->ItemChanged(this, LVIF_IMAGE, FState);
}

void TListItem::SetOverlayIndex(TImageIndex Value) {
  if (FOverlayIndex == Value) return;
  FOverlayIndex = Value;
  ListView()->RepaintItem(this);
}

void TListItem::SetStateIndex(TImageIndex Value) {
  if (FStateIndex == Value) return;
  FStateIndex = Value;
  ListView()->RepaintItem(this);
}

void TListItem::SetSelected(bool Value) { SetState(LVIS_SELECTED, Value); }
void TListItem::SetFocused(bool Value) { SetState(LVIS_FOCUSED, Value); }
void TListItem::SetCut(bool Value) { SetState(LVIS_CUT, Value); }
void TListItem::SetDropTarget(bool Value) { SetState(LVIS_DROPHILITED, Value); }

void TListItem::SetState(UINT Mask, bool Value) {
  const UINT New = Value ? (FState | Mask) : (FState & ~Mask);
  if (New == FState || FIndex < 0) return;
  ListView()->ItemStateChanging(this, New);
}

void TListItem::SetData(void* Value) {
  FData = Value;
  TCustomListView* LV = ListView();
  if (LV->FSortType == stData || LV->FSortType == stBoth) LV->AlphaSort();
}

void TListItem::Delete() { FOwner->Delete(Index()); }

void TListItem::MakeVisible(bool PartialOK) {
  TListViewHost* H = HostOf(ListView());
  if (!H || !H->View || FIndex >= H->Model->Rows) return;
  const QModelIndex I = H->Model->index(FIndex, 0, {});
  const QRect R = H->View->visualRect(I);
  if (PartialOK && R.intersects(H->View->viewport()->rect())) return;
  H->View->scrollTo(I, QAbstractItemView::EnsureVisible);
}

TRect TListItem::DisplayRect(TDisplayCode Code) const {
  TListViewHost* H = HostOf(ListView());
  if (!H) return TRect();
  const TListViewHost::TParts P = H->PartsOf(FIndex);
  QRect R = Code == drIcon ? P.Icon : Code == drLabel ? P.Label : Code == drSelectBounds ? P.SelectBounds : P.Bounds;
  if (R.isNull()) return TRect();
  return TRect(R.left(), R.top(), R.right() + 1, R.bottom() + 1);
}

bool TListItem::EditCaption() {
  TCustomListView* LV = ListView();
  LV->HandleNeeded();
  TListViewHost* H = HostOf(LV);
  if (!H || !H->View || FIndex >= H->Model->Rows) return false;
  MakeVisible(false);
  H->View->setFocus();
  const QModelIndex I = H->Model->index(FIndex, 0, {});
  if (H->ReportView) H->ReportView->StartEdit(I);
  if (H->IconView) H->IconView->StartEdit(I);
  return H->EditingRow == FIndex;
}

void TListItem::CancelEdit() {
  TListViewHost* H = HostOf(ListView());
  if (!H || H->EditingRow != FIndex) return;
  if (H->ReportView) H->ReportView->CancelEditing();
  if (H->IconView) H->IconView->CancelEditing();
}

void TListItem::Update() { ListView()->RepaintItem(this); }

// ---------------------------------------------------------------- TListItems

TListItems::~TListItems() {
  for (TListItem* I : FItems) delete I;
}

TListItem* TListItems::Add() { return Insert(Count()); }

TListItem* TListItems::Insert(Integer Index) {
  Index = std::clamp<Integer>(Index, 0, Count());
  TListItem* Item = FOwner->CreateListItem();
  FItems.insert(FItems.begin() + Index, Item);
  Renumber(static_cast<size_t>(Index));
  FOwner->ItemInserted(Item);
  return Item;
}

TListItem* TListItems::Item(Integer Index) const {
  if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[static_cast<size_t>(Index)];
}

Integer TListItems::IndexOf(const TListItem* Value) const {
  return Value && Value->FOwner == this ? Value->FIndex : -1;
}

void TListItems::Delete(Integer Index) {
  TListItem* Item = this->Item(Index);
  FOwner->ItemRemoving(Item);
  Index = Item->FIndex;  // a deletion handler may have moved things
  if (Index < 0 || Index >= Count() || FItems[static_cast<size_t>(Index)] != Item) return;
  TListViewHost* H = FUpdateCount > 0 ? nullptr : HostOf(FOwner);
  if (FUpdateCount > 0) FStructureChanged = true;
  if (H) H->Model->BeginRemoveRow(Index);
  FItems.erase(FItems.begin() + Index);
  Renumber(static_cast<size_t>(Index));
  if (H) H->Model->EndRemoveRow();
  Item->FIndex = -1;
  delete Item;
}

void TListItems::Clear() {
  BeginUpdate();
  try {
    while (Count() > 0) Delete(Count() - 1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TListItems::BeginUpdate() { ++FUpdateCount; }

void TListItems::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0) return;
  if (FStructureChanged) {
    FStructureChanged = false;
    FOwner->StructureChanged();
  }
}

void TListItems::Renumber(size_t From) {
  for (size_t i = From; i < FItems.size(); ++i) FItems[i]->FIndex = static_cast<Integer>(i);
}

// ---------------------------------------------------------------- TCustomListView

TCustomListView::TCustomListView(TComponent* AOwner)
    : TWinControl(AOwner),
      FItems(std::make_unique<TListItems>(this)),
      FColumns(std::make_unique<TListColumns>(this)),
      FCanvas(std::make_unique<TCanvas>()) {
  FControlStyle = TControlStyle{csSetCaption, csDoubleClicks, csOpaque};
  FTabStop = true;
  FColor = clWindow;
  FParentColor = false;
  SetBounds(0, 0, 250, 150);
  for (auto& Link : FImageLinks) {
    Link = std::make_unique<TChangeLink>();
    Link->OnChange = [this](TObject*) { ImageListChanged(); };
  }
}

TCustomListView::~TCustomListView() {
  FDestroying = true;
  if (TListViewHost* H = NativeOf<TListViewHost>(FHandle)) H->LV = nullptr;
  if (FHeaderHandle) DestroyWindow(std::exchange(FHeaderHandle, nullptr));
  ChangeImages(FSmallImages, nullptr, LVSIL_SMALL);
  ChangeImages(FLargeImages, nullptr, LVSIL_NORMAL);
  ChangeImages(FStateImages, nullptr, LVSIL_STATE);
}

void TCustomListView::ChangeImages(TCustomImageList*& Field, TCustomImageList* Value, UINT Slot) {
  if (Field == Value) return;
  TCustomImageList* Old = Field;
  Field = Value;
  FImageHandles[Slot] = Value ? Value->Handle() : nullptr;
  auto Used = [this](TCustomImageList* L) { return L == FSmallImages || L == FLargeImages || L == FStateImages; };
  // A list in two slots stays linked until it leaves both.
  TChangeLink* Link = FImageLinks[Slot].get();
  if (Old) {
    Old->UnRegisterChanges(Link);
    if (!Used(Old)) Old->RemoveFreeNotification(this);
  }
  if (Value) {
    Value->RegisterChanges(Link);
    Value->FreeNotification(this);
  }
}

void TCustomListView::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  // An image list that goes away leaves the list without it, never with a dangling one.
  bool Changed = false;
  TCustomImageList** Fields[] = {&FLargeImages, &FSmallImages, &FStateImages};
  for (UINT Slot = 0; Slot <= LVSIL_STATE; ++Slot)
    if (*Fields[Slot] && *Fields[Slot] == AComponent) {
      *Fields[Slot] = nullptr;
      FImageHandles[Slot] = nullptr;
      Changed = true;
    }
  if (Changed && !FDestroying) ImageListChanged();
}

HIMAGELIST TCustomListView::ImageListFor(UINT Kind) const { return Kind <= LVSIL_STATE ? FImageHandles[Kind] : nullptr; }

TListItem* TCustomListView::CreateListItem() {
  TListItemClass Class;
  if (OnCreateItemClass) OnCreateItemClass(this, Class);
  return Class ? Class(FItems.get()) : new TListItem(FItems.get());
}

LRESULT TCustomListView::Notify(NMHDR& Header) {
  Header.hwndFrom = FHandle;
  if (!FHandle) {
    // Without a window the notification still reaches the control's own handling.
    TMessage M{CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header), 0};
    WindowProc(M);
    return M.Result;
  }
  return SendMessage(FHandle, CN_NOTIFY, 0, reinterpret_cast<LPARAM>(&Header));
}

void TCustomListView::ItemStateChanging(TListItem* Item, UINT NewState) {
  if (FDestroying) {
    Item->FState = NewState;
    return;
  }
  const UINT Old = Item->FState;
  const Integer Index = Item->FIndex;
  auto Alive = [&] { return Index < FItems->Count() && FItems->FItems[static_cast<size_t>(Index)] == Item; };
  NMLISTVIEW N;
  N.hdr.code = LVN_ITEMCHANGING;
  N.iItem = Item->FIndex;
  N.uOldState = Old;
  N.uNewState = NewState;
  N.uChanged = LVIF_STATE;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  if (Notify(N.hdr) != 0) {
    // Refused: the view shows the item as it was.
    if (TListViewHost* H = HostOf(this); H && Alive()) H->SyncItemToQt(Index);
    return;
  }
  if (!Alive()) return;
  // A single-selection list keeps one selected and one focused item.
  if ((NewState & ~Old & LVIS_SELECTED) && !FMultiSelect && FSelCount > 0)
    for (TListItem* Other : FItems->FItems)
      if (Other != Item && Other->Selected()) Other->SetSelected(false);
  if (NewState & ~Old & LVIS_FOCUSED)
    if (TListItem* F = ItemFocused(); F && F != Item) F->SetFocused(false);
  if (!Alive()) return;
  const UINT Now = Item->FState;
  Item->FState = (Now & ~(Old ^ NewState)) | (NewState & (Old ^ NewState));
  if ((Item->FState ^ Now) & LVIS_SELECTED) FSelCount += Item->Selected() ? 1 : -1;
  if (TListViewHost* H = HostOf(this)) {
    H->SyncItemToQt(Item->FIndex);
    H->Model->RowChanged(Item->FIndex);
  }
  ItemChanged(Item, LVIF_STATE, Now);
}

void TCustomListView::ItemChanged(TListItem* Item, UINT Changed, UINT OldState) {
  if (FDestroying || Item->FIndex < 0) return;
  if (Changed != LVIF_STATE) RepaintItem(Item);
  NMLISTVIEW N;
  N.hdr.code = LVN_ITEMCHANGED;
  N.iItem = Item->FIndex;
  N.uOldState = OldState;
  N.uNewState = Item->FState;
  N.uChanged = Changed;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::RepaintItem(const TListItem* Item) {
  TListViewHost* H = HostOf(this);
  if (!H || !Item || Item->FIndex < 0 || H->PaintingRow == Item->FIndex) return;
  if (FItems->FUpdateCount > 0) return;
  H->Model->RowChanged(Item->FIndex);
}

void TCustomListView::ItemInserted(TListItem* Item) {
  if (FItems->FUpdateCount > 0) {
    FItems->FStructureChanged = true;
  } else if (TListViewHost* H = HostOf(this)) {
    H->Model->InsertRow(Item->FIndex);
  }
  NMLISTVIEW N;
  N.hdr.code = LVN_FIRST - 2;  // LVN_INSERTITEM
  N.iItem = Item->FIndex;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::ItemRemoving(TListItem* Item) {
  if (Item->Selected()) --FSelCount;
  if (TListViewHost* H = HostOf(this); H && H->EditingRow == Item->FIndex) {
    Item->CancelEdit();
    H->EditingRow = -1;
  }
  if (FDestroying) return;
  NMLISTVIEW N;
  N.hdr.code = LVN_DELETEITEM;
  N.iItem = Item->FIndex;
  N.lParam = reinterpret_cast<LPARAM>(Item);
  Notify(N.hdr);
}

void TCustomListView::StructureChanged() {
  if (TListViewHost* H = HostOf(this)) {
    H->Model->Reset();
    H->SyncSelectionToQt();
  }
}

void TCustomListView::ColumnsChanged() {
  if (TListViewHost* H = HostOf(this)) H->SyncColumns();
}

void TCustomListView::ImageListChanged() {
  if (FSmallImages) FImageHandles[LVSIL_SMALL] = FSmallImages->Handle();
  if (FLargeImages) FImageHandles[LVSIL_NORMAL] = FLargeImages->Handle();
  if (FStateImages) FImageHandles[LVSIL_STATE] = FStateImages->Handle();
  if (TListViewHost* H = HostOf(this)) {
    H->ApplyOptions();
    if (H->View) {
      H->View->doItemsLayout();
      H->View->viewport()->update();
    }
  }
}

void TCustomListView::SetSmallImages(TCustomImageList* Value) {
  ChangeImages(FSmallImages, Value, LVSIL_SMALL);
  ImageListChanged();
}

void TCustomListView::SetLargeImages(TCustomImageList* Value) {
  ChangeImages(FLargeImages, Value, LVSIL_NORMAL);
  ImageListChanged();
}

void TCustomListView::SetStateImages(TCustomImageList* Value) {
  ChangeImages(FStateImages, Value, LVSIL_STATE);
  ImageListChanged();
}

void TCustomListView::SetViewStyle(TViewStyle Value) {
  if (FViewStyle == Value) return;
  FViewStyle = Value;
  if (TListViewHost* H = HostOf(this)) H->MakeView();
}

void TCustomListView::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetRowSelect(bool Value) {
  FRowSelect = Value;
  FExStyle = Value ? (FExStyle | LVS_EX_FULLROWSELECT) : (FExStyle & ~LVS_EX_FULLROWSELECT);
  Invalidate();
}

void TCustomListView::SetReadOnly(bool Value) {
  FReadOnly = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetHideSelection(bool Value) {
  FHideSelection = Value;
  Invalidate();
}

void TCustomListView::SetShowColumnHeaders(bool Value) {
  FShowColumnHeaders = Value;
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

void TCustomListView::SetSortType(TSortType Value) {
  if (FSortType == Value) return;
  FSortType = Value;
  if (Value != stNone) AlphaSort();
}

TListItem* TCustomListView::Selected() const {
  if (FSelCount <= 0) return nullptr;
  for (TListItem* I : FItems->FItems)
    if (I->Selected()) return I;
  return nullptr;
}

void TCustomListView::SetSelected(TListItem* Value) {
  ClearSelection();
  if (Value) Value->SetSelected(true);
}

TListItem* TCustomListView::ItemFocused() const {
  for (TListItem* I : FItems->FItems)
    if (I->Focused()) return I;
  return nullptr;
}

void TCustomListView::SetItemFocused(TListItem* Value) {
  if (Value) {
    Value->SetFocused(true);
  } else if (TListItem* F = ItemFocused()) {
    F->SetFocused(false);
  }
}

void TCustomListView::ClearSelection() {
  for (TListItem* I : std::vector<TListItem*>(FItems->FItems)) {
    if (FSelCount <= 0) break;
    if (I->FIndex >= 0 && I->Selected()) I->SetSelected(false);
  }
}

void TCustomListView::SelectAll() {
  if (!FMultiSelect) return;
  for (TListItem* I : std::vector<TListItem*>(FItems->FItems))
    if (I->FIndex >= 0) I->SetSelected(true);
}

TListItem* TCustomListView::GetNextItem(TListItem* StartItem, TSearchDirection, TItemStates States) const {
  UINT Mask = 0;
  if (States.Contains(isCut)) Mask |= LVIS_CUT;
  if (States.Contains(isDropHilited)) Mask |= LVIS_DROPHILITED;
  if (States.Contains(isFocused)) Mask |= LVIS_FOCUSED;
  if (States.Contains(isSelected)) Mask |= LVIS_SELECTED;
  const Integer Start = StartItem ? StartItem->FIndex + 1 : 0;
  for (Integer i = std::max<Integer>(0, Start); i < FItems->Count(); ++i) {
    TListItem* I = FItems->FItems[static_cast<size_t>(i)];
    if ((I->FState & Mask) == Mask) return I;
  }
  return nullptr;
}

TListItem* TCustomListView::GetItemAt(Integer X, Integer Y) {
  int Row = -1;
  TListViewHost* H = HostOf(this);
  if (!H || !(H->HitTest(QPoint(X, Y), Row) & LVHT_ONITEM)) return nullptr;
  return Row >= 0 && Row < FItems->Count() ? FItems->Item(Row) : nullptr;
}

THitTests TCustomListView::GetHitTestInfoAt(Integer X, Integer Y) {
  LVHITTESTINFO Info;
  Info.pt = TPoint(X, Y);
  Perform(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Info));
  THitTests R;
  const UINT F = Info.flags;
  if (F & LVHT_NOWHERE) R.Include(htNowhere);
  if (F & LVHT_ONITEMICON) R.Include(htOnIcon);
  if (F & LVHT_ONITEMLABEL) R.Include(htOnLabel);
  // The same bit means "above" when no item was hit.
  if (F & LVHT_ONITEMSTATEICON) R.Include(Info.iItem >= 0 ? htOnStateIcon : htAbove);
  if (F & LVHT_ONITEM && Info.iItem >= 0) R.Include(htOnItem);
  if (F & LVHT_BELOW) R.Include(htBelow);
  if (F & LVHT_TORIGHT) R.Include(htToRight);
  if (F & LVHT_TOLEFT) R.Include(htToLeft);
  return R;
}

TListItem* TCustomListView::TopItem() {
  const LRESULT I = Perform(LVM_GETTOPINDEX, 0, 0);
  return I >= 0 && I < FItems->Count() ? FItems->Item(static_cast<Integer>(I)) : nullptr;
}

Integer TCustomListView::VisibleRowCount() { return static_cast<Integer>(Perform(LVM_GETCOUNTPERPAGE, 0, 0)); }

void TCustomListView::Scroll(Integer DX, Integer DY) {
  TListViewHost* H = HostOf(this);
  if (!H || !H->View) return;
  if (DX) H->View->horizontalScrollBar()->setValue(H->View->horizontalScrollBar()->value() + DX);
  if (DY) H->View->verticalScrollBar()->setValue(H->View->verticalScrollBar()->value() + DY);
}

void TCustomListView::Arrange(TListArrangement) {
  if (TListViewHost* H = HostOf(this); H && H->View) H->View->doItemsLayout();
}

void TCustomListView::UpdateItems(Integer FirstIndex, Integer LastIndex) {
  TListViewHost* H = HostOf(this);
  if (!H) return;
  for (Integer i = std::max(0, FirstIndex); i <= LastIndex && i < FItems->Count(); ++i) H->Model->RowChanged(i);
}

bool TCustomListView::AlphaSort() { return CustomSort(nullptr, 0); }

bool TCustomListView::CustomSort(const TLVCompare& SortProc, LPARAM Data) {
  if (SortProc) {
    SortWith([&](TListItem* A, TListItem* B) { return SortProc(A, B, Data); });
  } else {
    SortWith([&](TListItem* A, TListItem* B) {
      Integer R = 0;
      if (OnCompare)
        OnCompare(this, A, B, static_cast<Integer>(Data), R);
      else
        R = WideCompareText(A->Caption(), B->Caption());
      return R;
    });
  }
  return true;
}

void TCustomListView::SortWith(const std::function<Integer(TListItem*, TListItem*)>& Compare) {
  std::vector<TListItem*>& V = FItems->FItems;
  std::stable_sort(V.begin(), V.end(), [&](TListItem* A, TListItem* B) { return Compare(A, B) < 0; });
  FItems->Renumber(0);
  if (FItems->FUpdateCount > 0) {
    FItems->FStructureChanged = true;
    return;
  }
  if (TListViewHost* H = HostOf(this)) {
    H->Model->Reordered();
    H->SyncSelectionToQt();
  }
}

bool TCustomListView::IsEditing() const {
  TListViewHost* H = HostOf(this);
  return H && H->EditingRow >= 0;
}

bool TCustomListView::CanChange(TListItem* Item, Integer Change) {
  bool Allow = true;
  if (OnChanging) OnChanging(this, Item, static_cast<TItemChange>(Change), Allow);
  return Allow;
}

void TCustomListView::Change(TListItem* Item, Integer Change) {
  if (OnChange) OnChange(this, Item, static_cast<TItemChange>(Change));
}

bool TCustomListView::CanEdit(TListItem* Item) {
  bool Allow = !FReadOnly;
  if (Allow && OnEditing) OnEditing(this, Item, Allow);
  return Allow;
}

void TCustomListView::Edit(const LVITEMW& Item) {
  if (!Item.pszText || Item.iItem < 0 || Item.iItem >= FItems->Count()) return;
  TListItem* It = FItems->Item(Item.iItem);
  WideString S(Item.pszText);
  if (OnEdited) OnEdited(this, It, S);
  if (It->FIndex >= 0) It->SetCaption(S);
}

void TCustomListView::ColClick(TListColumn* Column) {
  if (OnColumnClick) OnColumnClick(this, Column);
}

void TCustomListView::Delete(TListItem* Item) {
  if (OnDeletion) OnDeletion(this, Item);
}

void TCustomListView::InsertItem(TListItem* Item) {
  if (OnInsert) OnInsert(this, Item);
}

void TCustomListView::GetImageIndex(TListItem* Item) {
  if (OnGetImageIndex) OnGetImageIndex(this, Item);
}

bool TCustomListView::IsCustomDrawn(TCustomDrawTarget Target, TCustomDrawStage Stage) {
  return Target == dtItem && Stage == cdPrePaint && static_cast<bool>(OnCustomDrawItem);
}

bool TCustomListView::CustomDrawItem(TListItem* Item, TCustomDrawState State, TCustomDrawStage Stage) {
  bool DefaultDraw = true;
  if (Stage == cdPrePaint && OnCustomDrawItem) OnCustomDrawItem(this, Item, State, DefaultDraw);
  return DefaultDraw;
}

void TCustomListView::CNNotify(TMessage& M) {
  auto* H = reinterpret_cast<NMHDR*>(M.LParam);
  M.Result = 0;
  if (!H) return;
  auto ItemAt = [this](Integer I) { return I >= 0 && I < FItems->Count() ? FItems->Item(I) : nullptr; };
  switch (H->code) {
    case LVN_ITEMCHANGING: {
      auto* N = reinterpret_cast<NMLISTVIEW*>(H);
      if (TListItem* I = ItemAt(N->iItem))
        M.Result = CanChange(I, N->uChanged == LVIF_TEXT ? ctText : N->uChanged == LVIF_IMAGE ? ctImage : ctState) ? 0 : 1;
      break;
    }
    case LVN_ITEMCHANGED: {
      auto* N = reinterpret_cast<NMLISTVIEW*>(H);
      TListItem* I = ItemAt(N->iItem);
      if (!I) break;
      Change(I, N->uChanged == LVIF_TEXT ? ctText : N->uChanged == LVIF_IMAGE ? ctImage : ctState);
      // A handler may have deleted the item.
      if (ItemAt(N->iItem) != I) break;
      if (N->uChanged == LVIF_STATE && ((N->uOldState ^ N->uNewState) & LVIS_SELECTED) && OnSelectItem)
        OnSelectItem(this, I, (N->uNewState & LVIS_SELECTED) != 0);
      break;
    }
    case LVN_FIRST - 2: {  // LVN_INSERTITEM
      if (TListItem* I = ItemAt(reinterpret_cast<NMLISTVIEW*>(H)->iItem)) InsertItem(I);
      break;
    }
    case LVN_DELETEITEM: {
      if (TListItem* I = ItemAt(reinterpret_cast<NMLISTVIEW*>(H)->iItem)) Delete(I);
      break;
    }
    case LVN_COLUMNCLICK: {
      const Integer C = reinterpret_cast<NMLISTVIEW*>(H)->iSubItem;
      if (C >= 0 && C < FColumns->Count()) ColClick(FColumns->Items(C));
      break;
    }
    case LVN_GETDISPINFOW: {
      auto* D = reinterpret_cast<NMLVDISPINFOW*>(H);
      if (TListItem* I = ItemAt(D->item.iItem); I && (D->item.mask & LVIF_IMAGE)) {
        GetImageIndex(I);
        D->item.iImage = I->FIndex >= 0 ? I->ImageIndex() : -1;
      }
      break;
    }
    case LVN_BEGINLABELEDITW: {
      TListItem* I = ItemAt(reinterpret_cast<NMLVDISPINFOW*>(H)->item.iItem);
      M.Result = I && CanEdit(I) ? 0 : 1;
      break;
    }
    case LVN_ENDLABELEDITW: Edit(reinterpret_cast<NMLVDISPINFOW*>(H)->item); break;
    case NM_CUSTOMDRAW: {
      auto* CD = reinterpret_cast<NMLVCUSTOMDRAW*>(H);
      if (CD->nmcd.dwDrawStage == CDDS_PREPAINT) {
        M.Result = IsCustomDrawn(dtItem, cdPrePaint) ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT;
      } else if (CD->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        TListItem* I = ItemAt(static_cast<Integer>(CD->nmcd.dwItemSpec));
        if (!I) break;
        TCustomDrawState S;
        if (CD->nmcd.uItemState & CDIS_SELECTED) S.Include(cdsSelected);
        if (CD->nmcd.uItemState & CDIS_FOCUS) S.Include(cdsFocused);
        const TColor FontBefore = FCanvas->Font()->Color(), BrushBefore = FCanvas->Brush()->Color();
        if (!CustomDrawItem(I, S, cdPrePaint)) {
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

LRESULT TCustomListView::HandleListMessage(TMessage& M, bool& Handled) {
  Handled = true;
  TListViewHost* H = HostOf(this);
  switch (M.Msg) {
    case LVM_SETBKCOLOR:
      if (static_cast<COLORREF>(M.LParam) != CLR_NONE) SetColor(static_cast<TColor>(M.LParam));
      return TRUE;
    case LVM_SETTEXTBKCOLOR:
      FTextBkColor = static_cast<COLORREF>(M.LParam);
      Invalidate();
      return TRUE;
    case LVM_SETIMAGELIST: {
      if (M.WParam > LVSIL_STATE) return 0;
      HIMAGELIST Old = FImageHandles[M.WParam];
      FImageHandles[M.WParam] = reinterpret_cast<HIMAGELIST>(M.LParam);
      if (H) {
        H->ApplyOptions();
        if (H->View) H->View->doItemsLayout();
        Invalidate();
      }
      return reinterpret_cast<LRESULT>(Old);
    }
    case LVM_GETITEMCOUNT: return FItems->Count();
    case LVM_GETNEXTITEM: {
      const Integer Start = static_cast<Integer>(static_cast<intptr_t>(M.WParam));
      TItemStates S;
      if (M.LParam & LVNI_CUT) S.Include(isCut);
      if (M.LParam & LVNI_DROPHILITED) S.Include(isDropHilited);
      if (M.LParam & LVNI_FOCUSED) S.Include(isFocused);
      if (M.LParam & LVNI_SELECTED) S.Include(isSelected);
      TListItem* I = GetNextItem(Start >= 0 && Start < FItems->Count() ? FItems->Item(Start) : nullptr, sdAll, S);
      return I ? I->FIndex : -1;
    }
    case LVM_GETITEMRECT: {
      auto* R = reinterpret_cast<TRect*>(M.LParam);
      const Integer Index = static_cast<Integer>(M.WParam);
      if (!R || Index < 0 || Index >= FItems->Count()) return FALSE;
      const Integer Code = R->Left;
      *R = FItems->Item(Index)->DisplayRect(Code == LVIR_ICON ? drIcon : Code == LVIR_LABEL ? drLabel
                                            : Code == LVIR_SELECTBOUNDS ? drSelectBounds : drBounds);
      return TRUE;
    }
    case LVM_HITTEST: {
      auto* Info = reinterpret_cast<LVHITTESTINFO*>(M.LParam);
      if (!Info) return -1;
      int Row = -1;
      Info->flags = H ? H->HitTest(QPoint(Info->pt.X, Info->pt.Y), Row) : LVHT_NOWHERE;
      Info->iItem = Row;
      Info->iSubItem = 0;
      return Row;
    }
    case LVM_ENSUREVISIBLE: {
      const Integer Index = static_cast<Integer>(M.WParam);
      if (Index < 0 || Index >= FItems->Count()) return FALSE;
      FItems->Item(Index)->MakeVisible(M.LParam != 0);
      return TRUE;
    }
    case LVM_GETHEADER: return reinterpret_cast<LRESULT>(FHeaderHandle);
    case LVM_GETTOPINDEX: {
      if (!H || !H->View) return 0;
      const QModelIndex I = H->View->indexAt(QPoint(2, 1));
      return I.isValid() ? I.row() : 0;
    }
    case LVM_GETCOUNTPERPAGE: {
      if (!H || !H->View) return 0;
      if (FViewStyle == vsIcon || FViewStyle == vsSmallIcon) return FItems->Count();
      return std::max<Integer>(1, H->View->viewport()->height() / std::max<Integer>(1, H->RowHeight()));
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD Old = FExStyle;
      const DWORD Mask = M.WParam ? static_cast<DWORD>(M.WParam) : 0xFFFFFFFFu;
      FExStyle = (FExStyle & ~Mask) | (static_cast<DWORD>(M.LParam) & Mask);
      FRowSelect = (FExStyle & LVS_EX_FULLROWSELECT) != 0;
      Invalidate();
      return Old;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return FExStyle;
    case LVM_SETBKIMAGEW: {
      auto* B = reinterpret_cast<const LVBKIMAGEW*>(M.LParam);
      if (!B || !H) return FALSE;
      if ((B->ulFlags & 0x3) == LVBKIF_SOURCE_NONE) {
        H->Background = QImage();
      } else if ((B->ulFlags & 0x3) == LVBKIF_SOURCE_URL && B->pszImage) {
        QImage Img(QString::fromUtf16(B->pszImage));
        if (Img.isNull()) return FALSE;
        H->Background = Img.convertToFormat(QImage::Format_RGB32);
      } else {
        return FALSE;
      }
      H->BackgroundFlags = B->ulFlags;
      H->BackgroundX = std::clamp(B->xOffsetPercent, 0, 100);
      H->BackgroundY = std::clamp(B->yOffsetPercent, 0, 100);
      if (H->View) H->View->viewport()->update();
      return TRUE;
    }
    default: Handled = false; return 0;
  }
}

void TCustomListView::Dispatch(TMessage& M) {
  if (M.Msg == CN_NOTIFY) {
    CNNotify(M);
    return;
  }
  if (M.Msg == WM_GETDLGCODE) {
    M.Result = DLGC_WANTARROWS | DLGC_WANTCHARS;
    return;
  }
  if ((M.Msg >= LVM_FIRST && M.Msg < LVM_FIRST + 0x100)) {
    bool Handled = false;
    LRESULT R = HandleListMessage(M, Handled);
    if (Handled) {
      M.Result = R;
      return;
    }
  }
  TWinControl::Dispatch(M);
}

void TCustomListView::HeaderProc(TMessage& M) {
  M.Result = 0;
  auto Column = [this](WPARAM I) {
    return static_cast<Integer>(I) < FColumns->Count() ? FColumns->Items(static_cast<Integer>(I)) : nullptr;
  };
  switch (M.Msg) {
    case HDM_GETITEMCOUNT: M.Result = FColumns->Count(); return;
    case HDM_GETITEMW: {
      auto* Item = reinterpret_cast<HDITEMW*>(M.LParam);
      TListColumn* C = Column(M.WParam);
      if (!Item || !C) return;
      if (Item->mask & HDI_FORMAT)
        Item->fmt = HDF_STRING | C->FHeaderFormat |
                    (C->FAlignment == taRightJustify ? HDF_RIGHT : C->FAlignment == taCenter ? HDF_CENTER : HDF_LEFT);
      if (Item->mask & HDI_WIDTH) Item->cxy = C->Width();
      if (Item->mask & HDI_BITMAP) Item->hbm = C->FHeaderBitmap;
      if ((Item->mask & HDI_TEXT) && Item->pszText && Item->cchTextMax > 0) {
        const size_t N = std::min(C->FCaption.size(), static_cast<size_t>(Item->cchTextMax - 1));
        std::copy_n(C->FCaption.begin(), N, Item->pszText);
        Item->pszText[N] = 0;
      }
      M.Result = TRUE;
      return;
    }
    case HDM_SETITEMW: {
      auto* Item = reinterpret_cast<const HDITEMW*>(M.LParam);
      TListColumn* C = Column(M.WParam);
      if (!Item || !C) return;
      if (Item->mask & HDI_FORMAT) {
        C->FHeaderFormat = Item->fmt & (HDF_SORTUP | HDF_SORTDOWN | HDF_BITMAP | HDF_BITMAP_ON_RIGHT);
        const Integer J = Item->fmt & HDF_JUSTIFYMASK;
        C->FAlignment = J == HDF_RIGHT ? taRightJustify : J == HDF_CENTER ? taCenter : taLeftJustify;
      }
      if (Item->mask & HDI_BITMAP) C->FHeaderBitmap = Item->hbm;
      if (Item->mask & HDI_WIDTH) C->FWidth = std::max(0, Item->cxy);
      if ((Item->mask & HDI_TEXT) && Item->pszText) C->FCaption = Item->pszText;
      if (TListViewHost* H = HostOf(this)) {
        if (Item->mask & (HDI_WIDTH | HDI_TEXT)) H->SyncColumns();
        H->SyncHeaderLook();
      }
      M.Result = TRUE;
      return;
    }
    case HDM_GETITEMRECT: {
      auto* R = reinterpret_cast<TRect*>(M.LParam);
      TListViewHost* H = HostOf(this);
      if (!R || !H || !H->ReportView || static_cast<Integer>(M.WParam) >= H->ReportView->header()->count()) return;
      QHeaderView* HV = H->ReportView->header();
      const int I = static_cast<int>(M.WParam);
      *R = TRect(HV->sectionViewportPosition(I), 0, HV->sectionViewportPosition(I) + HV->sectionSize(I), HV->height());
      M.Result = TRUE;
      return;
    }
    default: M.Result = DefWindowProc(FHeaderHandle, M.Msg, M.WParam, M.LParam); return;
  }
}

void TCustomListView::CreateWindowHandle(const TCreateParams& P) {
  auto* Host = new TListViewHost(this);
  Host->setFocusPolicy(Qt::StrongFocus);
  CreateNativeWindow(P, Host, [this](TMessage& M) { MainWndProc(M); }, &FHandle, FFont.get());
  Host->MakeView();
  // The header has a window of its own for its messages; the shell list
  // subclasses it when told of its creation.
  FHeaderHandle = AllocateHWnd([this](TMessage& M) { HeaderProc(M); });
  Perform(WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 0), reinterpret_cast<LPARAM>(FHeaderHandle));
}

void TCustomListView::DestroyWnd() {
  if (TListViewHost* H = NativeOf<TListViewHost>(FHandle)) {
    if (H->EditingRow >= 0) H->EditingRow = -1;
    H->LV = nullptr;
  }
  if (FHeaderHandle) {
    HWND Header = FHeaderHandle;
    FHeaderHandle = nullptr;
    DestroyWindow(Header);
  }
  TWinControl::DestroyWnd();
}

void TCustomListView::FontChanged() {
  TWinControl::FontChanged();
  if (TListViewHost* H = HostOf(this)) {
    H->setFont(ToQFont(FFont.get()));
    H->ApplyOptions();
    if (H->View) H->View->doItemsLayout();
  }
}

void TCustomListView::ColorChanged() {
  TWinControl::ColorChanged();
  if (TListViewHost* H = HostOf(this)) H->ApplyOptions();
}

// ---------------------------------------------------------------- subclassing

TWndMethod SubclassWindow(HWND Wnd, const TWndMethod& NewProc) {
  TWindow* W = Lookup(Wnd);
  if (!W || !NewProc) return nullptr;
  TWndMethod Old = W->Proc;
  W->Proc = NewProc;
  return Old;
}
