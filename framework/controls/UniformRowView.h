#pragma once
#include <QAbstractItemView>

class QHeaderView;

namespace framework {

// A view of a flat model's rows, all of one height (the font's text height), placed by arithmetic,
// under a header of columns. Taking appended rows, painting and finding a row under the pointer
// cost the rows in sight, however long the list. The current row moves by whole rows: Left and
// Right never move it, Home and End go to the first and last row.
class UniformRowView : public QAbstractItemView {
  Q_OBJECT

 public:
  explicit UniformRowView(QWidget* parent);
  ~UniformRowView() override;

  // The columns' header, above the rows; hidden, it takes no room.
  QHeaderView* header() const { return header_; }
  int rowHeight() const { return rowHeight_; }
  int columnWidth(int column) const;

  void setModel(QAbstractItemModel* model) override;
  QRect visualRect(const QModelIndex& index) const override;
  // Moves up or down only; the sideways position is left as it is.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override;
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex& index) const override;
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void initViewItemOption(QStyleOptionViewItem* option) const override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int rowCount() const;
  // The row at a height in the viewport; -1 above the first row or below the last.
  int rowAt(int y) const;
  // Where a row's top lies in the viewport, kept within what a QRect can hold.
  int rowTop(qint64 row) const;
  void fitRowHeight();

  QHeaderView* header_;
  QMetaObject::Connection rowsRemoved_;
  int rowHeight_ = 1;
  int shownOffset_ = 0;     // the vertical offset the viewport's pixels were drawn at
  bool layingOut_ = false;  // updateGeometries is running
  bool layoutAgain_ = false;
};

}  // namespace framework
