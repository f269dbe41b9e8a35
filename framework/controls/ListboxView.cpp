#include "framework/controls/ListboxView.h"

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include "framework/controls/Listbox.h"

namespace framework {

// ---- ListboxItemModel

namespace {
// Up to this many rows, appends are published at once; a layout of them costs nothing to see.
constexpr int kPublishedAtOnce = 4096;
// How long a list must stop growing before the last of its appends are published.
constexpr int kSettleMs = 50;
// How often a long flat list that is still growing is published: often enough to look alive, seldom
// enough that its scroll bar is not redrawn at every turn of the event loop.
constexpr int kFlatPublishMs = 100;
}  // namespace

ListboxItemModel::ListboxItemModel(const ListboxModel& rows, const Listbox& owner)
    : rows_(rows), owner_(owner), settle_(new QTimer(this)) {
  settle_->setSingleShot(true);
  QObject::connect(settle_, &QTimer::timeout, this, [this] {
    if (settleCount_ < 0 || rows_.committedCount() == settleCount_) flush();
    else publishAppends();
  });
}

int ListboxItemModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : published_; }

int ListboxItemModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : owner_.ColumnCount();
}

QVariant ListboxItemModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= published_) return {};
  const ListboxRow r = rows_.committed(index.row());
  switch (role) {
    case Qt::DisplayRole: {
      const auto c = static_cast<std::size_t>(index.column());
      if (c >= r.cellCount()) return QString();
      // Names from a volume may be ill-formed UTF-8; Qt shows such bytes as U+FFFD.
      return QString::fromUtf8(r.cell(c));
    }
    case IndentRole: return r.indent;
    case FolderRole: return r.folder;
    case ExpandedRole: return r.expanded;
    default: return {};
  }
}

QVariant ListboxItemModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || static_cast<std::size_t>(section) >= headings_.size()) return QString();
  return QString::fromUtf8(headings_[static_cast<std::size_t>(section)]);
}

Qt::ItemFlags ListboxItemModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ListboxItemModel::setHeadings(std::vector<std::string> headings) {
  headings_ = std::move(headings);
  const int n = columnCount();
  if (n > 0) emit headerDataChanged(Qt::Horizontal, 0, n - 1);
}

void ListboxItemModel::schedule() {
  if (scheduled_) return;
  scheduled_ = true;
  QMetaObject::invokeMethod(this, [this] { publishAppends(); }, Qt::QueuedConnection);
}

void ListboxItemModel::publishAppends() {
  scheduled_ = false;
  const int committed = rows_.committedCount();
  if (committed <= kPublishedAtOnce || dirtyFirst_ >= 0) {
    flush();
    return;
  }
  if (!owner_.Hierarchical()) {
    if (!settle_->isActive()) {
      settleCount_ = -1;
      settle_->start(kFlatPublishMs);
    }
    return;
  }
  if (committed - published_ >= published_ / 4) {
    flush();
    return;
  }
  settleCount_ = committed;
  settle_->start(kSettleMs);
}

void ListboxItemModel::flush() {
  scheduled_ = false;
  settle_->stop();
  const int committed = rows_.committedCount();
  if (published_ < committed) {
    beginInsertRows({}, published_, committed - 1);
    published_ = committed;
    endInsertRows();
  }
  if (dirtyFirst_ >= 0) {
    const int first = dirtyFirst_, last = std::min(dirtyLast_, published_ - 1);
    dirtyFirst_ = dirtyLast_ = -1;
    if (first <= last) emit dataChanged(index(first, 0), index(last, std::max(0, columnCount() - 1)));
  }
}

void ListboxItemModel::beforeInsert(int pos, int count) {
  flush();
  changeCount_ = count;
  beginInsertRows({}, pos, pos + count - 1);
}

void ListboxItemModel::afterInsert() {
  published_ += changeCount_;
  endInsertRows();
}

void ListboxItemModel::beforeRemove(int pos, int count) {
  flush();
  changeCount_ = count;
  beginRemoveRows({}, pos, pos + count - 1);
}

void ListboxItemModel::afterRemove() {
  published_ -= changeCount_;
  endRemoveRows();
}

void ListboxItemModel::beforeReset() {
  flush();
  beginResetModel();
}

void ListboxItemModel::afterReset() {
  published_ = rows_.committedCount();
  dirtyFirst_ = dirtyLast_ = -1;
  endResetModel();
}

void ListboxItemModel::rowChanged(int committedRow) {
  // Rows not yet published are read fresh when they are.
  if (committedRow >= published_) return;
  if (dirtyFirst_ < 0) {
    dirtyFirst_ = dirtyLast_ = committedRow;
  } else {
    dirtyFirst_ = std::min(dirtyFirst_, committedRow);
    dirtyLast_ = std::max(dirtyLast_, committedRow);
  }
  schedule();
}

// ---- ListboxDelegate

QRect listboxArrowRect(const QRect& cell, int indent, int step) {
  return QRect(cell.left() + indent * step, cell.top(), step, cell.height());
}

ListboxDelegate::ListboxDelegate(const Listbox& owner, QObject* parent) : QStyledItemDelegate(parent), owner_(owner) {}

QStyleOptionViewItem ListboxDelegate::cellOption(const QStyleOptionViewItem& option, const QModelIndex& index,
                                                 QRect* arrow) const {
  QStyleOptionViewItem opt(option);
  initStyleOption(&opt, index);
  if (index.column() != 0 || !owner_.Hierarchical()) return opt;
  const auto* view = qobject_cast<const QTreeView*>(opt.widget);
  const QRect a = listboxArrowRect(opt.rect, index.data(ListboxItemModel::IndentRole).toInt(),
                                   view ? view->indentation() : 20);
  if (arrow) *arrow = a;
  opt.rect.setLeft(a.right() + 1);
  return opt;
}

void ListboxDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (index.column() != 0 || !owner_.Hierarchical()) {
    QStyledItemDelegate::paint(painter, option, index);
    return;
  }
  QRect arrow;
  QStyleOptionViewItem opt = cellOption(option, index, &arrow);
  const QWidget* w = opt.widget;
  QStyle* style = w ? w->style() : QApplication::style();
  // The selection covers the indent too, as in any tree.
  QStyleOptionViewItem panel(opt);
  panel.rect = option.rect;
  style->drawPrimitive(QStyle::PE_PanelItemViewItem, &panel, painter, w);
  if (index.data(ListboxItemModel::FolderRole).toBool()) {
    QStyleOption branch;
    branch.rect = arrow;
    branch.palette = opt.palette;
    branch.state = QStyle::State_Item | QStyle::State_Children | (opt.state & QStyle::State_Enabled);
    if (index.data(ListboxItemModel::ExpandedRole).toBool()) branch.state |= QStyle::State_Open;
    style->drawPrimitive(QStyle::PE_IndicatorBranch, &branch, painter, w);
  }
  style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
}

bool ListboxDelegate::textIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QStyleOptionViewItem opt = cellOption(option, index, nullptr);
  if (opt.text.isEmpty()) return false;
  const QWidget* w = opt.widget;
  QStyle* style = w ? w->style() : QApplication::style();
  // The text's room as the style lays it out when it draws the cell.
  const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
  const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w).adjusted(margin, 0, -margin, 0);
  return QFontMetricsF(opt.font).horizontalAdvance(opt.text) > room.width();
}

bool ListboxDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                const QModelIndex& index) {
  if (!event || !view || event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
  // Only a cut text shows its whole self; an empty tip hides the one shown before.
  const QString tip = index.isValid() && textIsCut(option, index) ? index.data(Qt::DisplayRole).toString() : QString();
  const QRect cell = view->visualRect(index);
  QToolTip::showText(event->globalPos(), tip, view->viewport(), cell);
  event->setAccepted(!tip.isEmpty());
  return true;
}

QSize ListboxDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  QSize s = QStyledItemDelegate::sizeHint(option, index);
  if (index.column() == 0 && owner_.Hierarchical()) {
    const auto* view = qobject_cast<const QTreeView*>(option.widget);
    const int step = view ? view->indentation() : 20;
    s.rwidth() += (index.data(ListboxItemModel::IndentRole).toInt() + 1) * step;
  }
  return s;
}

// ---- ListboxView

namespace {
// Columns are sized by the list alone.
void fixColumns(QHeaderView* columns) {
  columns->setStretchLastSection(false);
  columns->setMinimumSectionSize(0);
  columns->setSectionsMovable(false);
  columns->setSectionResizeMode(QHeaderView::Fixed);
}
}  // namespace

ListboxView::ListboxView(QWidget* parent) : ListboxViewOf(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setHeaderHidden(true);
  fixColumns(header());
}

bool ListboxView::isFolder(const QModelIndex& index) const {
  return owner_ && owner_->Hierarchical() && index.isValid() &&
         index.sibling(index.row(), 0).data(ListboxItemModel::FolderRole).toBool();
}

bool ListboxView::onArrow(const QModelIndex& index, const QPoint& pos) const {
  if (!isFolder(index) || index.column() != 0) return false;
  const int indent = index.data(ListboxItemModel::IndentRole).toInt();
  return listboxArrowRect(visualRect(index), indent, indentation()).contains(pos);
}

void ListboxView::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && onArrow(index, event->position().toPoint())) {
    owner_->toggleFromUser(index.row());
    event->accept();
    return;
  }
  QTreeView::mousePressEvent(event);
}

void ListboxView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && isFolder(index)) {
    // On the arrow this is a second click on it; elsewhere the double click opens or closes.
    owner_->toggleFromUser(index.row());
    event->accept();
    return;
  }
  QTreeView::mouseDoubleClickEvent(event);
}

void ListboxView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  const bool sideways = event->key() == Qt::Key_Right || event->key() == Qt::Key_Left;
  if (sideways && owner_ && !owner_->Hierarchical() && horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) {
    // Without its own scroll bar the list moves sideways only under the program's control, so
    // an outside scroller showing the position stays true.
    event->accept();
    return;
  }
  if (!owner_ || !current.isValid() || !owner_->Hierarchical() || !sideways) {
    QTreeView::keyPressEvent(event);
    return;
  }
  const int row = current.row();
  const bool expanded = current.sibling(row, 0).data(ListboxItemModel::ExpandedRole).toBool();
  const int indent = current.sibling(row, 0).data(ListboxItemModel::IndentRole).toInt();
  if (event->key() == Qt::Key_Right) {
    if (isFolder(current) && !expanded) owner_->toggleFromUser(row);
    else if (isFolder(current) && row + 1 < model()->rowCount() &&
             model()->index(row + 1, 0).data(ListboxItemModel::IndentRole).toInt() > indent)
      setCurrentIndex(model()->index(row + 1, 0));
  } else {
    if (isFolder(current) && expanded) {
      owner_->toggleFromUser(row);
    } else if (indent > 0) {
      int parent = row - 1;
      while (parent >= 0 && model()->index(parent, 0).data(ListboxItemModel::IndentRole).toInt() >= indent) --parent;
      if (parent >= 0) setCurrentIndex(model()->index(parent, 0));
    }
  }
  event->accept();
}

template <class Base>
ListboxViewOf<Base>::ListboxViewOf(QWidget* parent) : Base(parent) {
  this->setSelectionMode(QAbstractItemView::SingleSelection);
  this->setSelectionBehavior(QAbstractItemView::SelectRows);
  this->setEditTriggers(QAbstractItemView::NoEditTriggers);
  this->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  this->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

template <class Base>
bool ListboxViewOf<Base>::viewportEvent(QEvent* event) {
  const bool handled = Base::viewportEvent(event);
  if (event->type() == QEvent::Resize && owner_) owner_->applyColumnWidths();
  return handled;
}

template <class Base>
void ListboxViewOf<Base>::updateGeometries() {
  Base::updateGeometries();
  if (owner_) owner_->restoreScrollX();
}

template <class Base>
void ListboxViewOf<Base>::scrollTo(const QModelIndex& index, typename Base::ScrollHint hint) {
  const int x = this->horizontalScrollBar()->value();
  Base::scrollTo(index, hint);
  this->horizontalScrollBar()->setValue(x);
}

template class ListboxViewOf<QTreeView>;
template class ListboxViewOf<UniformRowView>;

// ---- ListboxFlatView

ListboxFlatView::ListboxFlatView(QWidget* parent) : ListboxViewOf(parent) {
  QHeaderView* columns = header();
  columns->hide();
  columns->setHighlightSections(false);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  fixColumns(columns);
}

void ListboxFlatView::keyPressEvent(QKeyEvent* event) {
  const bool sideways = event->key() == Qt::Key_Right || event->key() == Qt::Key_Left;
  if (sideways) {
    // Without its own scroll bar the list moves sideways only under the program's control.
    if (horizontalScrollBarPolicy() != Qt::ScrollBarAlwaysOff)
      horizontalScrollBar()->triggerAction(event->key() == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                                         : QAbstractSlider::SliderSingleStepSub);
    event->accept();
    return;
  }
  UniformRowView::keyPressEvent(event);
}

}  // namespace framework
