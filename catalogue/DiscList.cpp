// The three read-only queries behind the main window's lists: the disc rows, the children of an
// expanded row and the name search with each hit's path.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/Date.h"
#include "framework/NameIndex.h"
#include "framework/Normalization.h"
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
  if (!rs && Module1::db) Module1::Report(Module1::FailureOf(*Module1::db).value_or(Module1::Failure{}));
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
  if (const auto failure = Module1::FailureOf(*rs)) Module1::Report(*failure);
}

void Window1::CDList_ExpandRow(framework::Listbox& list, int row) {
  const std::string no = list.Cell(row, 4);
  if (!isNumberText(no)) return;
  auto rs = select("SELECT * FROM Folder1 WHERE FolNo=" + no);
  if (!rs && Module1::db) Module1::Report(Module1::FailureOf(*Module1::db).value_or(Module1::Failure{}));
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
  if (const auto failure = Module1::FailureOf(*rs)) Module1::Report(*failure);
}

void Window1::KensakuButton_Action() {
  framework::Listbox& results = SearchList();
  results.DeleteAllRows();
  if (Module1::RefusedWithoutCatalogue(false)) return;
  const std::string typed = TextField1().Text();
  // Names are stored composed, so a text typed or pasted decomposed is composed like them.
  const std::optional<std::string> composed = framework::ComposeUtf8(typed);
  const std::shared_ptr<framework::Database> db = Module1::db;
  auto rs = framework::NameIndex::Search(*db, composed ? *composed : typed, Module1::Changeable());
  if (!rs || rs->Eof()) return;
  // The path text of each folder met, worked out once per search. Only walks that end at a disc
  // or at a missing parent are kept: in a circle of links the path depends on where it was entered.
  std::unordered_map<std::int32_t, std::string> folderPaths;
  struct Level {
    std::int32_t no;
    std::string name;
  };
  std::vector<Level> levels;              // the levels above the hit, from its parent upwards
  std::unordered_set<std::int32_t> seen;  // the numbers met on this walk
  while (!rs->Eof()) {
    const std::int32_t no = rs->Field("No").IntegerValue();
    std::int32_t up = rs->Field("FolNo").IntegerValue();
    std::string name = rs->Field("Name").StringValue();
    const bool folder = framework::textEquals(rs->Field("Folder").StringValue(), "True");
    levels.clear();
    seen.clear();
    seen.insert(no);
    const std::string* known = nullptr;
    bool circle = false;
    // Imported data can link to a number that names no record, or round in a circle: such a walk
    // ends with what it has found, so the search neither loops nor stops.
    while (up != 0) {
      if (!seen.insert(up).second) {
        circle = true;
        break;
      }
      if (auto found = folderPaths.find(up); found != folderPaths.end()) {
        known = &found->second;
        break;
      }
      auto parent = db->SQLSelect("SELECT FolNo, Name FROM Folder1 WHERE No=?1", {std::int64_t{up}});
      if (!parent || parent->Eof()) break;
      levels.push_back({up, parent->Field("Name").StringValue()});
      up = parent->Field("FolNo").IntegerValue();
      framework::Yield();
    }
    std::string path = known ? *known : std::string();
    for (auto it = levels.rbegin(); it != levels.rend(); ++it) {
      path += " > ";
      path += it->name;
      if (!circle) folderPaths.emplace(it->no, path);
    }
    path += " > ";
    path += name;
    if (folder && !circle) folderPaths.emplace(no, path);
    results.AddRow(std::move(path));
    rs->MoveNext();
    framework::Yield();
  }
  if (const auto failure = Module1::FailureOf(*rs)) Module1::Report(*failure);
}
