// The list view's Qt side: the model over the control's items, the views
// of the four styles, and the drawing of a row through the layer's device
// contexts, with the geometry the hit test uses.
#include "platform/ui/private/listviewhost.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "platform/ui/private/itemviews.h"
#include "platform/ui/private/native.h"

using namespace gtui;

namespace {
COLORREF Rgb(TColor C) { return static_cast<COLORREF>(ColorToRGB(C)); }
constexpr Integer LabelPad = 2;  // space on each side of a label's text
}  // namespace

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

template class TListViewT<QTreeView>;
template class TListViewT<QListView>;
