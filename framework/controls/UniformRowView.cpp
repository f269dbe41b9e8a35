#include "framework/controls/UniformRowView.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace framework {

namespace {
// Rows so far off that their pixels would not fit an int are placed at this distance instead.
constexpr qint64 kFarAway = INT_MAX / 4;
}  // namespace

UniformRowView::UniformRowView(QWidget* parent) : QAbstractItemView(parent), header_(new QHeaderView(Qt::Horizontal, this)) {
  setHorizontalScrollMode(ScrollPerPixel);
  header_->setFocusPolicy(Qt::NoFocus);
  header_->installEventFilter(this);
  connect(header_, &QHeaderView::sectionResized, this, [this] {
    updateGeometries();
    viewport()->update();
  });
  connect(header_, &QHeaderView::sectionCountChanged, this, [this] { updateGeometries(); });
  connect(header_, &QHeaderView::geometriesChanged, this, [this] { updateGeometries(); });
  fitRowHeight();
}

UniformRowView::~UniformRowView() {
  // The header goes after this part of the view: it must not call back into it.
  header_->removeEventFilter(this);
  disconnect(header_, nullptr, this, nullptr);
}

int UniformRowView::columnWidth(int column) const { return header_->sectionSize(column); }

int UniformRowView::rowCount() const { return model() ? model()->rowCount(rootIndex()) : 0; }

void UniformRowView::setModel(QAbstractItemModel* model) {
  disconnect(rowsRemoved_);
  QAbstractItemView::setModel(model);
  header_->setModel(model);
  if (model)
    rowsRemoved_ = connect(model, &QAbstractItemModel::rowsRemoved, this, [this] {
      updateGeometries();
      viewport()->update();
    });
}

int UniformRowView::rowTop(qint64 row) const {
  return static_cast<int>(std::clamp(row * rowHeight_ - verticalOffset(), -kFarAway, kFarAway));
}

int UniformRowView::rowAt(int y) const {
  const qint64 content = qint64(y) + verticalOffset();
  if (content < 0) return -1;
  const qint64 row = content / rowHeight_;
  return row < rowCount() ? static_cast<int>(row) : -1;
}

QRect UniformRowView::visualRect(const QModelIndex& index) const {
  if (!index.isValid() || index.parent() != rootIndex() || header_->isSectionHidden(index.column())) return {};
  return QRect(header_->sectionViewportPosition(index.column()), rowTop(index.row()),
               header_->sectionSize(index.column()), rowHeight_);
}

QModelIndex UniformRowView::indexAt(const QPoint& point) const {
  const int row = rowAt(point.y());
  const int column = header_->logicalIndexAt(point.x());
  if (row < 0 || column < 0) return {};
  return model()->index(row, column, rootIndex());
}

void UniformRowView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || index.parent() != rootIndex()) return;
  const qint64 top = qint64(index.row()) * rowHeight_;
  const qint64 room = viewport()->height();
  const qint64 shown = verticalOffset();
  qint64 offset = shown;
  switch (hint) {
    case PositionAtTop: offset = top; break;
    case PositionAtBottom: offset = top + rowHeight_ - room; break;
    case PositionAtCenter: offset = top + rowHeight_ / 2 - room / 2; break;
    case EnsureVisible:
      if (top < shown) offset = top;
      else if (top + rowHeight_ > shown + room) offset = top + rowHeight_ - room;
      break;
  }
  offset = std::max<qint64>(0, offset);
  // By whole rows, the row that must show in full is rounded into view.
  const qint64 value = verticalScrollMode() == ScrollPerItem ? (offset + rowHeight_ - 1) / rowHeight_ : offset;
  verticalScrollBar()->setValue(static_cast<int>(std::min<qint64>(value, INT_MAX)));
}

QModelIndex UniformRowView::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
  const int rows = rowCount();
  if (rows == 0 || !model()) return {};
  const QModelIndex current = currentIndex();
  int column = current.isValid() ? current.column() : 0;
  if (!current.isValid()) {
    for (int v = 0; v < header_->count(); ++v)
      if (!header_->isSectionHidden(header_->logicalIndex(v))) {
        column = header_->logicalIndex(v);
        break;
      }
    return model()->index(0, column, rootIndex());
  }
  const qint64 row = current.row(), h = rowHeight_, room = viewport()->height();
  qint64 next = row;
  switch (action) {
    case MoveUp:
    case MovePrevious: next = row - 1; break;
    case MoveDown:
    case MoveNext: next = row + 1; break;
    // A page moves the current row by the rows in sight, as far as the viewport's edge goes.
    case MovePageUp: next = std::min(row - 1, (row * h + h - 1 - room) / h); break;
    case MovePageDown: next = std::max(row + 1, (row * h + room) / h); break;
    case MoveHome: next = 0; break;
    case MoveEnd: next = rows - 1; break;
    case MoveLeft:
    case MoveRight: break;
  }
  return model()->index(static_cast<int>(std::clamp<qint64>(next, 0, rows - 1)), column, rootIndex());
}

int UniformRowView::horizontalOffset() const { return horizontalScrollBar()->value(); }

int UniformRowView::verticalOffset() const {
  const qint64 value = verticalScrollBar()->value();
  return static_cast<int>(std::min<qint64>(verticalScrollMode() == ScrollPerItem ? value * rowHeight_ : value, INT_MAX));
}

bool UniformRowView::isIndexHidden(const QModelIndex& index) const { return header_->isSectionHidden(index.column()); }

void UniformRowView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const QRect r = rect.normalized();
  const int top = rowAt(r.top()), bottom = rowAt(r.bottom());
  const int columns = model() ? model()->columnCount(rootIndex()) : 0;
  if (!selectionModel() || top < 0 || bottom < 0 || columns == 0) return;
  selectionModel()->select(QItemSelection(model()->index(top, 0, rootIndex()),
                                          model()->index(bottom, columns - 1, rootIndex())),
                           command);
}

QRegion UniformRowView::visualRegionForSelection(const QItemSelection& selection) const {
  const QRect area = viewport()->rect();
  QRegion region;
  for (const QItemSelectionRange& range : selection) {
    if (!range.isValid() || range.parent() != rootIndex()) continue;
    const int top = rowTop(range.top()), bottom = rowTop(qint64(range.bottom()) + 1);
    region += QRect(area.left(), top, area.width(), bottom - top).intersected(area);
  }
  return region;
}

void UniformRowView::initViewItemOption(QStyleOptionViewItem* option) const {
  QAbstractItemView::initViewItemOption(option);
  option->showDecorationSelected = true;
}

void UniformRowView::updateGeometries() {
  if (layingOut_) {
    layoutAgain_ = true;
    return;
  }
  layingOut_ = true;
  // Showing or hiding a scroll bar changes the viewport, and so the other bar's range: settle both.
  for (int pass = 0; pass < 4; ++pass) {
    layoutAgain_ = false;
    const QSize before = viewport()->size();
    const int headerHeight = header_->isHidden() ? 0 : header_->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect frame = viewport()->geometry();
    header_->setGeometry(frame.left(), frame.top() - headerHeight, frame.width(), headerHeight);

    QScrollBar* down = verticalScrollBar();
    const int room = viewport()->height(), rows = rowCount();
    if (verticalScrollMode() == ScrollPerItem) {
      const int inView = std::max(1, room / rowHeight_);
      down->setSingleStep(1);
      down->setPageStep(inView);
      down->setRange(0, std::max(0, rows - inView));
    } else {
      down->setSingleStep(rowHeight_);
      down->setPageStep(room);
      down->setRange(0, static_cast<int>(std::clamp<qint64>(qint64(rows) * rowHeight_ - room, 0, INT_MAX)));
    }
    QScrollBar* across = horizontalScrollBar();
    const int width = viewport()->width();
    const int columns = header_->count() - header_->hiddenSectionCount();
    across->setSingleStep(std::max(2, width / (columns + 1)));
    across->setPageStep(width);
    across->setRange(0, std::max(0, header_->length() - width));
    header_->setOffset(across->value());
    if (!layoutAgain_ && viewport()->size() == before) break;
  }
  layingOut_ = false;
  QAbstractItemView::updateGeometries();
}

void UniformRowView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  if (parent != rootIndex()) return;
  updateGeometries();
  // Rows added below the viewport move nothing in sight.
  if (rowTop(start) < viewport()->height()) viewport()->update();
}

void UniformRowView::scrollContentsBy(int dx, int) {
  // By whole rows the scroll bar counts rows; the viewport moves by pixels.
  const int offset = verticalOffset();
  const int dy = shownOffset_ - offset;
  shownOffset_ = offset;
  if (dx) header_->setOffset(horizontalScrollBar()->value());
  QAbstractItemView::scrollContentsBy(dx, dy);
}

void UniformRowView::paintEvent(QPaintEvent* event) {
  const int rows = rowCount();
  if (rows == 0) return;
  const QRect area = event->rect();
  const qint64 offset = verticalOffset();
  const qint64 first = std::max<qint64>(0, (area.top() + offset) / rowHeight_);
  const qint64 last = std::min<qint64>(rows - 1, (area.bottom() + offset) / rowHeight_);
  if (first > last) return;

  QStyleOptionViewItem base;
  initViewItemOption(&base);
  const QModelIndex current = currentIndex();
  const bool focused = hasFocus() || viewport()->hasFocus();
  QPainter painter(viewport());
  for (int v = 0; v < header_->count(); ++v) {
    const int column = header_->logicalIndex(v);
    if (header_->isSectionHidden(column)) continue;
    const int x = header_->sectionViewportPosition(column), width = header_->sectionSize(column);
    if (x + width <= area.left() || x > area.right()) continue;
    for (qint64 row = first; row <= last; ++row) {
      const QModelIndex index = model()->index(static_cast<int>(row), column, rootIndex());
      QStyleOptionViewItem option(base);
      option.rect = QRect(x, rowTop(row), width, rowHeight_);
      if (selectionModel() && selectionModel()->isSelected(index)) option.state |= QStyle::State_Selected;
      if (alternatingRowColors() && row % 2) option.features |= QStyleOptionViewItem::Alternate;
      if (option.state & QStyle::State_Enabled) option.palette.setCurrentColorGroup(QPalette::Normal);
      if (focused && index == current) option.state |= QStyle::State_HasFocus;
      style()->drawPrimitive(QStyle::PE_PanelItemViewRow, &option, &painter, this);
      itemDelegateForIndex(index)->paint(&painter, option, index);
    }
  }
}

void UniformRowView::fitRowHeight() {
  // The height a tree view gives a row of text in this font.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameVMargin, nullptr, this) + 1;
  rowHeight_ = std::max(1, fontMetrics().height() + 2 * margin);
  shownOffset_ = verticalOffset();
}

void UniformRowView::changeEvent(QEvent* event) {
  QAbstractItemView::changeEvent(event);
  if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
    fitRowHeight();
    updateGeometries();
    viewport()->update();
  }
}

bool UniformRowView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == header_ && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent))
    updateGeometries();
  return QAbstractItemView::eventFilter(watched, event);
}

}  // namespace framework
