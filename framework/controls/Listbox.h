#pragma once
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/controls/ListboxModel.h"
#include "framework/controls/RectControl.h"

class QAbstractItemView;
class QHeaderView;

namespace framework {

class ListboxView;
class ListboxItemModel;

// A list of rows with text cells; with Hierarchical set, folder rows expand level by level.
// Rows and columns count from 0; row numbers are flat display indexes; at most one row is
// selected. Texts are UTF-8 bytes; ill-formed bytes are shown as replacement characters.
class Listbox : public RectControl {
 public:
  // `parent` is the window's content area.
  Listbox(std::string name, QWidget* parent);
  ~Listbox() override;

  // Append an expandable / a plain row. During ExpandRow the row goes beneath the expanding
  // row (after the rows added so far in that event) one level deeper; otherwise at the end.
  void AddFolder(std::string_view text);
  void AddRow(std::string_view text);
  // Inserts a plain row at `row` (clamped to the list), moving the rows from there down.
  void InsertRow(int row, const std::string& text, int indent = 0);
  void DeleteAllRows();

  // A cell never set, or out of range, reads "". Setting out of range is ignored.
  std::string Cell(int row, int column) const;
  void setCell(int row, int column, std::string text);

  int ListCount() const;
  // The row added most recently (AddFolder, AddRow, InsertRow); -1 when none.
  int LastIndex() const;
  // The selected row; -1 when none.
  int ListIndex() const;
  // Selects a row; -1 or a row out of range clears the selection.
  void setListIndex(int row);
  // Cell 0 of the selected row; "" when none.
  std::string Text() const;

  bool RowIsFolder(int row) const;
  int RowIndent(int row) const;
  bool Expanded(int row) const;
  // Expanding a collapsed folder row of a hierarchical list raises ExpandRow and then shows the
  // rows it added; collapsing removes every row beneath. Anything else is ignored.
  void setExpanded(int row, bool expanded);

  void setColumnCount(int count);
  int ColumnCount() const { return columnCount_; }
  // Comma-separated widths: "40%" of the list's width or "900" pixels; 0 hides a column (its
  // texts stay). Columns without a width share what is left. Percentages follow resizes.
  void setColumnWidths(const std::string& widths);
  std::string ColumnWidths() const { return columnWidths_; }
  // Set HasHeading before InitialValue.
  void setHasHeading(bool hasHeading);
  bool HasHeading() const { return hasHeading_; }
  // Lines of tab-separated texts. With a heading the first line holds the headings; every
  // other line becomes a row (" " gives one row holding a blank).
  void setInitialValue(const std::string& value);
  void setHierarchical(bool hierarchical);
  bool Hierarchical() const { return hierarchical_; }
  void setColumnsResizable(bool resizable);
  // Sideways scroll position of the content in pixels (clamped to the content).
  void setScrollPositionX(int px);
  int ScrollPositionX() const;
  // Whether the list shows its own horizontal scroll bar (off by default).
  void setScrollbarHorizontal(bool shown);

  // Raised with the row's index when a folder row expands; rows added meanwhile go beneath it.
  std::function<void(int row)> ExpandRow;

  const ListboxModel& model() const { return model_; }
  // The view, for tests that drive it as a user would: a tree view when the list is
  // hierarchical, otherwise a UniformRowView.
  QAbstractItemView* view() const;

 private:
  template <class> friend class ListboxViewOf;
  friend class ListboxView;
  // Puts a view of the kind the list needs in place of the current one, set up as the list is.
  void replaceView();
  void setUpView();
  QHeaderView* header() const;
  // A position set before the content had its width is applied once the range allows it.
  void restoreScrollX();
  void applyColumnWidths();
  void toggleFromUser(int committedRow);

  ListboxModel model_;
  std::unique_ptr<ListboxItemModel> itemModel_;
  QAbstractItemView* view_;
  int columnCount_ = 1;
  bool columnsResizable_ = false;
  bool scrollbarHorizontal_ = false;
  std::string columnWidths_;
  bool hasHeading_ = false;
  bool hierarchical_ = false;
  int scrollX_ = 0;
};

}  // namespace framework
