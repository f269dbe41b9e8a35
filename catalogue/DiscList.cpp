// The three read-only queries behind the main window's lists: the disc rows, the children of an
// expanded row and the name search with each hit's path.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/Date.h"
#include "framework/Text.h"
#include "framework/Thread.h"

namespace {

// A field's date-time as DatabaseField::DateValue reads it: a text that is no date-time is the
// current moment.
framework::Date readDate(const std::string& text) {
  if (std::optional<framework::Date> stored = framework::Date::fromSQLDateTime(text)) return *stored;
  return framework::Date();
}

// The date-time text of a row: the Date field's short date, a blank and the Time field's long
// time. The program writes one moment to both fields, so that moment is read once.
std::string dateTimeText(const std::string& date, const std::string& time) {
  const framework::Date d = readDate(date);
  std::string text = d.ShortDate();
  text += ' ';
  text += (time == date ? d : readDate(time)).LongTime();
  return text;
}

// A record number as the list's cell holds it: decimal digits, perhaps signed.
bool isNumberText(const std::string& text) {
  std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

std::unique_ptr<framework::RecordSet> select(const std::string& sql) {
  if (!Module1::db) return nullptr;
  return Module1::db->SQLSelect(sql);
}

}  // namespace

void Window1::OpenDB() {
  auto rs = select("SELECT * FROM Folder1 WHERE FolNo=0");
  // A failed query lists nothing; it is told, so that it is not taken for an empty catalogue.
  if (!rs && Module1::db) Module1::ReportFailedQuery(*Module1::db);
  if (!rs || rs->Bof() || rs->Eof()) return;
  framework::Listbox& list = CDList();
  while (!rs->Eof()) {
    list.AddFolder(rs->Field("Name").StringValue());
    const int last = list.ListCount() - 1;
    const std::string date = rs->Field("Date").StringValue();
    if (!date.empty()) list.setCell(last, 1, dateTimeText(date, rs->Field("Time").StringValue()));
    list.setCell(last, 3, rs->Field("Type").StringValue());
    list.setCell(last, 4, rs->Field("No").StringValue());
    list.setCell(last, 5, rs->Field("CDName").StringValue());
    rs->MoveNext();
    framework::Yield();
  }
  Module1::RowsFailed(*rs);
}

void Window1::CDList_ExpandRow(framework::Listbox& list, int row) {
  const std::string no = list.Cell(row, 4);
  if (!isNumberText(no)) return;
  auto rs = select("SELECT * FROM Folder1 WHERE FolNo=" + no);
  if (!rs && Module1::db) Module1::ReportFailedQuery(*Module1::db);
  if (!rs || rs->Eof()) return;
  while (!rs->Eof()) {
    std::string name = rs->Field("Name").StringValue();
    if (framework::textEquals(rs->Field("Folder").StringValue(), "True")) {
      list.AddFolder(std::move(name));
    } else {
      list.AddRow(std::move(name));
    }
    const std::string date = rs->Field("Date").StringValue();
    if (!date.empty()) {
      const int added = list.LastIndex();
      list.setCell(added, 1, dateTimeText(date, rs->Field("Time").StringValue()));
      list.setCell(added, 2, rs->Field("Byte").StringValue());
      list.setCell(added, 3, rs->Field("Type").StringValue());
      list.setCell(added, 4, rs->Field("No").StringValue());
    }
    rs->MoveNext();
    framework::Yield();
    // A read that ended meanwhile rebuilt the list: the row is gone, so its children are not wanted.
    if (!list.Expanded(row) || list.Cell(row, 4) != no) return;
  }
  Module1::RowsFailed(*rs);
}

void Window1::KensakuButton_Action() {
  framework::Listbox& results = SearchList();
  results.DeleteAllRows();
  if (Module1::RefusedWithoutCatalogue(false)) return;
  const std::string term = TextField1().Text();
  auto rs = select("SELECT * FROM Folder1 WHERE Name LIKE " + Module1::SqlText("%" + term + "%"));
  if (!rs || rs->Eof()) return;
  std::vector<std::string> names;        // the hit's levels, from the hit upwards
  std::unordered_set<std::int32_t> seen;  // the numbers met on this walk
  while (!rs->Eof()) {
    names.assign(1, rs->Field("Name").StringValue());
    seen.clear();
    seen.insert(rs->Field("No").IntegerValue());
    std::int32_t up = rs->Field("FolNo").IntegerValue();
    // Imported data can link to a number that names no record, or round in a circle: such a walk
    // ends with what it has found, so the search neither loops nor stops.
    while (up != 0 && seen.insert(up).second) {
      auto parent = select("SELECT * FROM Folder1 WHERE No=" + std::to_string(up));
      if (!parent || parent->Eof()) break;
      names.push_back(parent->Field("Name").StringValue());
      up = parent->Field("FolNo").IntegerValue();
      framework::Yield();
    }
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) path += " > " + *it;
    results.AddRow(path);
    rs->MoveNext();
    framework::Yield();
  }
  Module1::RowsFailed(*rs);
}
