// The three read-only queries behind the main window's lists: the disc rows, the children of an
// expanded row and the name search with each hit's path.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/NameIndex.h"
#include "framework/text/Date.h"
#include "framework/text/Normalization.h"
#include "framework/text/Text.h"
#include "framework/threads/Thread.h"

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

// What the search lists in the click itself, before the rest goes on beside the window: this long,
// and at least this many rows, since the walks give way to a read under way, which may take the
// whole of that time; a short list is still listed whole in the click.
constexpr auto kFirstHits = std::chrono::milliseconds(8);
constexpr int kFirstRows = 200;

// The query's rows; a failed query lists nothing, and is told, so that it is not taken for an
// empty catalogue.
std::unique_ptr<framework::RecordSet> select(const std::string& sql) {
  if (!Module1::db) return nullptr;
  auto rs = Module1::db->SQLSelect(sql);
  if (!rs) Module1::Report(Module1::FailureOf(*Module1::db).value_or(Module1::Failure{}));
  return rs;
}

// The paths of a search's hits. The hits come in record order, which follows the discs' folders,
// so the folders met lately are kept: the paths of two generations of them, the older let go at
// once when the newer fills. The memory stays small however many folders a search meets, and
// nothing large is ever rebuilt or freed in one piece.
class PathMemo {
 public:
  explicit PathMemo(framework::Database& db) : db_(db) {}

  // The path of the record `number` named `name` whose parent is `up`: " > " before each level's
  // name, from its disc down; valid until the next call. Imported data can link to a number that
  // names no record, or round in a circle: such a walk ends with what it has found, so the search
  // neither loops nor stops.
  std::string_view pathOf(std::int32_t number, std::int32_t up, std::string_view name, bool folder) {
    // Hits come in runs beneath one folder: its path stays at the start of the text.
    if (up == 0 || up == number || up != prefixOf_) {
      circle_ = false;
      // Nearly every hit lies in a folder met lately: no walk, no circle to look out for.
      const std::string* known = up != 0 && up != number ? find(up) : nullptr;
      if (known) path_.assign(*known);
      else walk(number, up);
      // A circle's path depends on where it was entered, so it serves no other hit.
      prefixOf_ = circle_ || up == 0 ? kNoFolder : up;
      prefixLength_ = path_.size();
    }
    path_.resize(prefixLength_);
    path_ += " > ";
    path_ += name;
    if (folder && !circle_) remember(number, path_);
    return path_;
  }

 private:
  // Folders kept in each generation.
  static constexpr std::size_t kGeneration = 16384;
  static constexpr std::int32_t kNoFolder = 0;

  // Puts in path_ the path of `up` (the parent of `number`) from the catalogue, down from the
  // nearest folder already known; sets circle_ when the links go round.
  void walk(std::int32_t number, std::int32_t up) {
    levels_.clear();
    seen_.clear();
    seen_.insert(number);
    const std::string* known = nullptr;
    while (up != 0) {
      if (!seen_.insert(up).second) {
        circle_ = true;
        break;
      }
      if ((known = find(up))) break;
      auto parent = db_.SQLSelect("SELECT FolNo, Name FROM Folder1 WHERE No=?1", {std::int64_t{up}});
      if (!parent || parent->Eof()) break;
      levels_.push_back({up, parent->Field("Name").StringValue()});
      up = parent->Field("FolNo").IntegerValue();
      framework::Yield();
    }
    // Only walks that end at a disc or at a missing parent are kept: in a circle of links the path
    // depends on where it was entered. The known start is taken before anything is kept, since
    // keeping may let its generation go.
    path_.assign(known ? *known : std::string_view());
    for (auto it = levels_.rbegin(); it != levels_.rend(); ++it) {
      path_ += " > ";
      path_ += it->name;
      if (!circle_) remember(it->no, path_);
    }
  }

  const std::string* find(std::int32_t no) {
    if (auto found = recent_.find(no); found != recent_.end()) return &found->second;
    auto found = older_.find(no);
    if (found == older_.end()) return nullptr;
    std::string path = std::move(found->second);
    older_.erase(found);
    return &remember(no, std::move(path));
  }

  const std::string& remember(std::int32_t no, std::string path) {
    // The older generation's table is kept for the next one, so only its entries are freed.
    if (recent_.size() >= kGeneration) {
      std::swap(recent_, older_);
      recent_.clear();
    }
    return recent_.insert_or_assign(no, std::move(path)).first->second;
  }

  struct Level {
    std::int32_t no;
    std::string name;
  };
  framework::Database& db_;
  std::unordered_map<std::int32_t, std::string> recent_, older_;  // folders met lately
  std::vector<Level> levels_;                                     // above the hit, from its parent upwards
  std::unordered_set<std::int32_t> seen_;                         // the numbers met on this walk
  bool circle_ = false;                                           // the latest walk went round
  std::string path_;                                              // the latest path
  std::int32_t prefixOf_ = kNoFolder;  // the folder whose path starts path_
  std::size_t prefixLength_ = 0;       // and its length
};

// A search's hits still to list.
struct HitListing {
  std::shared_ptr<framework::Database> db;  // kept while its rows are stepped
  std::unique_ptr<framework::RecordSet> rs;
  PathMemo paths;
  QPointer<QWidget> window;  // the list's window: once it has gone, so has the list
  bool stopped = false;      // a newer search has taken the list

  bool over() const { return stopped || !window; }
};

// The listing under way, which a new search stops.
std::weak_ptr<HitListing>& currentListing() {
  static std::weak_ptr<HitListing> listing;
  return listing;
}

// Adds one row per hit until the record set ends (true), the listing is stopped or `pause` answers
// true after a row (false).
bool listHits(framework::Listbox& results, HitListing& hits, const std::function<bool()>& pause) {
  framework::RecordSet& rs = *hits.rs;
  while (!rs.Eof()) {
    // The search gives No, FolNo, Name and Folder, in that order.
    const std::string_view path =
        hits.paths.pathOf(rs.IdxField(1).IntegerValue(), rs.IdxField(2).IntegerValue(), rs.IdxField(3).StringValue(),
                          framework::textEquals(rs.IdxField(4).StringValue(), "True"));
    // The walk gives way: a newer search may have emptied the list meanwhile.
    if (hits.over()) return false;
    results.AddRow(path);
    rs.MoveNext();
    if (pause() || hits.over()) return false;
  }
  if (const auto failure = Module1::FailureOf(rs)) Module1::Report(*failure);
  return true;
}

// Lists the hits that did not fit in the first slice, beside the window.
class HitListFill final : public framework::Thread {
 public:
  HitListFill(framework::Listbox& results, std::shared_ptr<HitListing> hits)
      : results_(results), hits_(std::move(hits)) {}

 protected:
  void Event_Run() override {
    listHits(results_, *hits_, [] {
      framework::Yield();
      return false;
    });
  }

 private:
  framework::Listbox& results_;
  std::shared_ptr<HitListing> hits_;
};

}  // namespace

void Window1::OpenDB() {
  auto rs = select("SELECT * FROM Folder1 WHERE FolNo=0");
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

bool Window1::SearchListFilling() const {
  const auto listing = currentListing().lock();
  return listing && !listing->over();
}

void Window1::KensakuButton_Action() {
  framework::Listbox& results = SearchList();
  if (auto earlier = currentListing().lock()) earlier->stopped = true;
  results.DeleteAllRows();
  if (Module1::RefusedWithoutCatalogue(false)) return;
  const std::string typed = TextField1().Text();
  // Names are stored composed, so a text typed or pasted decomposed is composed like them.
  const std::optional<std::string> composed = framework::ComposeUtf8(typed);
  const std::shared_ptr<framework::Database> db = Module1::db;
  auto rs = NameIndex::Search(*db, composed ? *composed : typed, Module1::Changeable());
  if (!rs || rs->Eof()) return;
  auto hits = std::make_shared<HitListing>(HitListing{db, std::move(rs), PathMemo(*db), results.widget()->window()});
  // The first hits show at once; a long list goes on filling beside the window, which answers meanwhile.
  const auto until = std::chrono::steady_clock::now() + kFirstHits;
  int listed = 0;
  if (listHits(results, *hits, [&] { return ++listed >= kFirstRows && std::chrono::steady_clock::now() >= until; }))
    return;
  currentListing() = hits;
  std::make_shared<HitListFill>(results, std::move(hits))->Run();
}
