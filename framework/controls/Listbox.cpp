#include "framework/controls/Listbox.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

#include "framework/controls/ListboxView.h"
#include "framework/text/Text.h"

namespace framework {

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = s.find(sep, start);
    parts.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

// Lines ended by CR, LF or CRLF; a final line end opens no further line.
std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::string line;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      out.push_back(std::move(line));
      line.clear();
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      line += s[i];
    }
  }
  if (!line.empty()) out.push_back(std::move(line));
  return out;
}

std::string trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

}  // namespace

namespace {
void setViewOwner(QAbstractItemView* view, Listbox* owner) {
  if (auto* tree = dynamic_cast<ListboxViewOf<QTreeView>*>(view)) tree->setOwner(owner);
  if (auto* flat = dynamic_cast<ListboxViewOf<UniformRowView>*>(view)) flat->setOwner(owner);
}
}  // namespace

Listbox::Listbox(std::string name, QWidget* parent)
    : RectControl(std::move(name), new ListboxFlatView(parent)), view_(static_cast<ListboxFlatView*>(widget())) {
  itemModel_ = std::make_unique<ListboxItemModel>(model_, *this);
  model_.setObserver(itemModel_.get());
  setUpView();
}

Listbox::~Listbox() {
  model_.setObserver(nullptr);
  // The view may outlive this object by a moment (its window deletes it); cut it loose first.
  if (widget()) {
    setViewOwner(view_, nullptr);
    view_->setModel(nullptr);
  }
}

void Listbox::setUpView() {
  view_->setItemDelegate(new ListboxDelegate(*this, view_));
  view_->setModel(itemModel_.get());
  setViewOwner(view_, this);
  QObject::connect(view_->horizontalScrollBar(), &QScrollBar::valueChanged, itemModel_.get(),
                   [this](int v) { scrollX_ = v; });
  setHasHeading(hasHeading_);
  setColumnsResizable(columnsResizable_);
  setScrollbarHorizontal(scrollbarHorizontal_);
  applyColumnWidths();
}

void Listbox::replaceView() {
  if (!widget()) return;
  QWidget* parent = widget()->parentWidget();
  QAbstractItemView* next = hierarchical_ ? static_cast<QAbstractItemView*>(new ListboxView(parent))
                                          : new ListboxFlatView(parent);
  setViewOwner(view_, nullptr);
  view_->setModel(nullptr);
  const int x = scrollX_;
  replaceWidget(next);
  view_ = next;
  scrollX_ = x;
  setUpView();
}

QAbstractItemView* Listbox::view() const { return view_; }

QHeaderView* Listbox::header() const {
  if (auto* tree = dynamic_cast<QTreeView*>(view_)) return tree->header();
  return static_cast<UniformRowView*>(view_)->header();
}

void Listbox::restoreScrollX() {
  if (view_->horizontalScrollBar()->value() != scrollX_) view_->horizontalScrollBar()->setValue(scrollX_);
}

void Listbox::AddFolder(std::string_view text) { model_.append(text, true); }
void Listbox::AddRow(std::string_view text) { model_.append(text, false); }
void Listbox::InsertRow(int row, const std::string& text, int indent) { model_.insert(row, text, indent); }
void Listbox::DeleteAllRows() { model_.clear(); }

std::string Listbox::Cell(int row, int column) const { return model_.cell(row, column); }
void Listbox::setCell(int row, int column, std::string text) { model_.setCell(row, column, std::move(text)); }

int Listbox::ListCount() const { return model_.count(); }
int Listbox::LastIndex() const { return model_.lastIndex(); }

int Listbox::ListIndex() const {
  if (!widget()) return -1;
  const QModelIndexList selected = view_->selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : model_.toFlat(selected.first().row());
}

void Listbox::setListIndex(int row) {
  if (!widget()) return;
  if (row < 0 || row >= model_.count()) {
    view_->selectionModel()->clearSelection();
    return;
  }
  // The view shows committed rows only: a row held aside by an expansion is spliced in first.
  int committed = model_.toCommitted(row);
  if (committed < 0) {
    model_.commitPending();
    committed = row;
  }
  itemModel_->flush();
  view_->selectionModel()->setCurrentIndex(itemModel_->index(committed, 0),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

std::string Listbox::Text() const {
  const int row = ListIndex();
  return row < 0 ? std::string() : model_.cell(row, 0);
}

bool Listbox::RowIsFolder(int row) const {
  const std::optional<ListboxRow> r = model_.row(row);
  return r && r->folder;
}

int Listbox::RowIndent(int row) const {
  const std::optional<ListboxRow> r = model_.row(row);
  return r ? r->indent : 0;
}

bool Listbox::Expanded(int row) const {
  const std::optional<ListboxRow> r = model_.row(row);
  return r && r->expanded;
}

void Listbox::setExpanded(int row, bool expanded) {
  const std::optional<ListboxRow> r = model_.row(row);
  if (!hierarchical_ || !r || !r->folder || r->expanded == expanded) return;
  if (expanded) {
    model_.beginExpansion(row);
    // The rows go beneath even when the handler leaves by an exception.
    struct End {
      ListboxModel& m;
      ~End() { m.endExpansion(); }
    } end{model_};
    if (auto handler = ExpandRow) handler(row);
    return;
  }
  // Rows held aside by an expansion go in first, so that no row number moves under the collapse.
  model_.commitPending();
  const int sel = ListIndex();
  const int removed = model_.collapse(row);
  // A selection inside the closed folder moves to the folder, as in any tree.
  if (sel > row && sel <= row + removed) setListIndex(row);
}

void Listbox::toggleFromUser(int committedRow) {
  const int row = model_.toFlat(committedRow);
  setExpanded(row, !Expanded(row));
}

void Listbox::setColumnCount(int count) {
  count = std::clamp(count, 1, ListboxModel::kMaxColumns);
  if (count == columnCount_) return;
  itemModel_->resetColumns([&] { columnCount_ = count; });
  applyColumnWidths();
}

void Listbox::setColumnWidths(const std::string& widths) {
  columnWidths_ = widths;
  applyColumnWidths();
}

void Listbox::applyColumnWidths() {
  if (!widget()) return;
  const int total = view_->viewport()->width();
  // Each entry: a percentage, pixels, or (empty, "*", missing) a share of what is left.
  std::vector<double> px(static_cast<std::size_t>(columnCount_), -1.0);
  if (!trimmed(columnWidths_).empty()) {
    const std::vector<std::string> parts = split(columnWidths_, ',');
    for (std::size_t i = 0; i < parts.size() && i < px.size(); ++i) {
      const std::string p = trimmed(parts[i]);
      if (p.empty() || p == "*") continue;
      const double v = std::max(0.0, Val(p));
      px[i] = p.back() == '%' ? total * v / 100.0 : v;
    }
  }
  double used = 0;
  int shares = 0;
  for (double w : px) {
    if (w < 0) ++shares;
    else used += w;
  }
  const double share = shares ? std::max(0.0, total - used) / shares : 0;
  // Widths are rounded on their running sum, so percentages adding to 100% fill the list exactly.
  double sum = 0;
  int placed = 0;
  QHeaderView* header = this->header();
  for (int i = 0; i < columnCount_; ++i) {
    const double w = px[static_cast<std::size_t>(i)] < 0 ? share : px[static_cast<std::size_t>(i)];
    sum += w;
    const int end = static_cast<int>(std::lround(sum));
    const int width = std::max(0, end - placed);
    placed = std::max(placed, end);
    header->setSectionHidden(i, width == 0);
    if (width > 0) header->resizeSection(i, width);
  }
}

void Listbox::setHasHeading(bool hasHeading) {
  hasHeading_ = hasHeading;
  if (widget()) header()->setVisible(hasHeading);
}

void Listbox::setInitialValue(const std::string& value) {
  std::vector<std::string> ls = lines(value);
  std::size_t first = 0;
  if (hasHeading_) {
    itemModel_->setHeadings(ls.empty() ? std::vector<std::string>{} : split(ls[0], '\t'));
    first = 1;
  }
  for (std::size_t i = first; i < ls.size(); ++i) {
    const std::vector<std::string> cells = split(ls[i], '\t');
    AddRow(cells[0]);
    for (std::size_t c = 1; c < cells.size(); ++c) setCell(LastIndex(), static_cast<int>(c), cells[c]);
  }
}

void Listbox::setHierarchical(bool hierarchical) {
  const bool kindChanges = hierarchical != hierarchical_;
  hierarchical_ = hierarchical;
  if (kindChanges) replaceView();
}

void Listbox::setColumnsResizable(bool resizable) {
  columnsResizable_ = resizable;
  if (widget()) header()->setSectionResizeMode(resizable ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void Listbox::setScrollPositionX(int px) {
  scrollX_ = std::max(0, px);
  if (widget()) view_->horizontalScrollBar()->setValue(scrollX_);
}

int Listbox::ScrollPositionX() const { return widget() ? view_->horizontalScrollBar()->value() : scrollX_; }

void Listbox::setScrollbarHorizontal(bool shown) {
  scrollbarHorizontal_ = shown;
  if (widget()) view_->setHorizontalScrollBarPolicy(shown ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

}  // namespace framework
