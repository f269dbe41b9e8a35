#pragma once
#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <string>
#include <vector>

#include "framework/controls/ListboxModel.h"
#include "framework/controls/UniformRowView.h"

namespace framework {

class Listbox;

// The committed rows of a list as a Qt table. Appends and cell changes are published to the
// view in one batch from the event loop (or before any other change), not row by row. The tree
// view of a hierarchical list lays out all its rows again at every published append, so there a
// long list filling bit by bit is published as it grows by a quarter, and in full once it stops;
// a long flat list filling is published every tenth of a second.
class ListboxItemModel : public QAbstractTableModel, public ListboxModel::Observer {
 public:
  enum Role { IndentRole = Qt::UserRole + 1, FolderRole, ExpandedRole };

  ListboxItemModel(const ListboxModel& rows, const Listbox& owner);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  void setHeadings(std::vector<std::string> headings);
  // Runs `change` (which alters the column count) as a model reset.
  template <class F> void resetColumns(F change) {
    flush();
    beginResetModel();
    change();
    published_ = rows_.committedCount();
    endResetModel();
  }
  // Tells the view about every append and cell change not yet published.
  void flush();

  void rowsAppended() override { schedule(); }
  void beforeInsert(int pos, int count) override;
  void afterInsert() override;
  void beforeRemove(int pos, int count) override;
  void afterRemove() override;
  void beforeReset() override;
  void afterReset() override;
  void rowChanged(int committedRow) override;

 private:
  void schedule();
  // Publishes the appends now when they are worth a layout of the whole view, otherwise soon.
  void publishAppends();

  const ListboxModel& rows_;
  const Listbox& owner_;
  std::vector<std::string> headings_;
  int published_ = 0;  // committed rows the view knows of: always a prefix of the rows
  int changeCount_ = 0;
  int dirtyFirst_ = -1, dirtyLast_ = -1;
  bool scheduled_ = false;
  QTimer* settle_ = nullptr;  // publishes a list that has stopped growing, or a flat list's next batch
  int settleCount_ = 0;       // committed rows when the settle timer was armed; -1 for a flat list
};

// Where the expand arrow of a row at `indent` lies within its first cell.
QRect listboxArrowRect(const QRect& cell, int indent, int step);

// Draws the first cell of a hierarchical list: indent, expand arrow, text. A cell whose text is
// cut to fit shows the whole text as its tooltip; a cell that fits shows none.
class ListboxDelegate : public QStyledItemDelegate {
 public:
  ListboxDelegate(const Listbox& owner, QObject* parent);
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override;
  // Whether the cell's text is wider than the room the style gives it, so it is drawn cut.
  bool textIsCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;

 private:
  // The cell as drawn: in the first column of a hierarchical list, the text's part beside the arrow
  // (whose place goes to `arrow` when given).
  QStyleOptionViewItem cellOption(const QStyleOptionViewItem& option, const QModelIndex& index, QRect* arrow) const;
  const Listbox& owner_;
};

// What both kinds of view of a list share: the list sizes the columns to the view's width, and
// only the program moves the list sideways.
template <class Base>
class ListboxViewOf : public Base {
 public:
  explicit ListboxViewOf(QWidget* parent);
  void setOwner(Listbox* owner) { owner_ = owner; }
  // Keeps the sideways position.
  void scrollTo(const QModelIndex& index, typename Base::ScrollHint hint = Base::EnsureVisible) override;

 protected:
  bool viewportEvent(QEvent* event) override;
  void updateGeometries() override;

  Listbox* owner_ = nullptr;
};

// The Qt view of a hierarchical list: a flat table drawn as a tree; expansion goes through the Listbox.
class ListboxView : public ListboxViewOf<QTreeView> {
 public:
  explicit ListboxView(QWidget* parent);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool onArrow(const QModelIndex& index, const QPoint& pos) const;
  bool isFolder(const QModelIndex& index) const;
};

// The Qt view of a list that is not hierarchical: rows of one height, which takes appended rows
// and paints at the cost of the rows in sight, however long the list already is.
class ListboxFlatView : public ListboxViewOf<UniformRowView> {
 public:
  explicit ListboxFlatView(QWidget* parent);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Letters typed into the list choose no row: in a list of millions of rows, each starting with
  // its disc's name, the toolkit's type-ahead would read them all on the window's thread.
  void keyboardSearch(const QString&) override {}
};

}  // namespace framework
