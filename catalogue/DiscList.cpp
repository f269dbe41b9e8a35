// The three read-only queries behind the main window's lists: the disc rows, the children of an
// expanded row and the name search with each hit's path.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "catalogue/HitPaths.h"
#include "catalogue/NameIndex.h"
#include "catalogue/PathMemo.h"
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

// A search read aside (NameIndex::SearchAside): its paths listed as they come, in slices that give
// way to the window.
class AsideListing {
 public:
  AsideListing(framework::Listbox& results, std::unique_ptr<NameIndex::Aside> search)
      : results_(results), window_(results.widget()->window()) {
    // The next slice of a list still coming comes after the timers that fell due meanwhile: a call
    // posted at once would run first, and two slices back to back hold the window twice as long.
    again_.setSingleShot(true);
    again_.setInterval(0);
    QObject::connect(&again_, &QTimer::timeout, &context_, [this] { listSlice(); });
    // Each batch the window's thread has not yet been told of is told by a call posted to it.
    paths_ = std::make_unique<HitPaths>(std::move(search), [this] { post(); });
    // Stopped at once when the window goes, or the program quits, so no thread outlives them.
    QObject::connect(window_, &QObject::destroyed, &context_, [this] { paths_.reset(); });
    if (qApp) QObject::connect(qApp, &QCoreApplication::aboutToQuit, &context_, [this] { paths_.reset(); });
  }

  // The click's own part: what the thread gives within one slice, so a short list is usually
  // listed whole in it. A rare term can take the thread a whole scan to find: the click does not
  // wait for it, and the rows come as they are found.
  void listFirst() {
    const auto until = Clock::now() + kFirstHits;
    int listed = 0;
    for (;;) {
      const Outcome outcome = list([&] { return ++listed >= kFirstRows && Clock::now() >= until; });
      if (outcome == Outcome::Paused) again_.start();
      if (outcome != Outcome::Waiting || Clock::now() >= until) return;
      paths_->waitUntil(until);
    }
  }

  bool filling() const { return !done_ && window_; }

 private:
  using Clock = std::chrono::steady_clock;

  enum class Outcome { Done, Paused, Waiting };

  // Thread-safe: the thread tells of its batches through it. One call at a time is posted, so that
  // two slices never run back to back.
  void post() {
    if (!posted_.exchange(true))
      QMetaObject::invokeMethod(
          &context_,
          [this] {
            posted_ = false;
            listSlice();
          },
          Qt::QueuedConnection);
  }

  void listSlice() {
    const auto until = Clock::now() + kFirstHits;
    int listed = 0;
    // The clock is read every few rows: a row takes far less than a slice.
    if (list([&] { return ++listed % 16 == 0 && Clock::now() >= until; }) == Outcome::Paused) again_.start();
  }

  // Adds the rows of the batches queued until they run out, the thread has ended (Done) or `pause`
  // answers true after a row.
  Outcome list(const std::function<bool()>& pause) {
    while (!done_) {
      if (!window_ || !paths_) break;
      if (next_ == batch_.size()) {
        next_ = 0;
        if (!paths_->take(batch_)) {
          if (!paths_->finished()) return Outcome::Waiting;
          done_ = true;
          // Last: a search started from the message's own event loop ends this listing.
          if (const auto failure = paths_->failure()) Module1::Report(*failure);
          return Outcome::Done;
        }
      }
      results_.AddRow(batch_[next_++]);
      if (pause()) return Outcome::Paused;
    }
    done_ = true;
    return Outcome::Done;
  }

  framework::Listbox& results_;
  QPointer<QWidget> window_;  // the list's window: once it has gone, so has the list
  QObject context_;           // the calls posted to the window's thread; they go with it
  QTimer again_;              // the next slice of rows already queued
  HitPaths::Batch batch_;     // the batch being listed
  std::size_t next_ = 0;      // its next row
  bool done_ = false;
  std::atomic<bool> posted_{false};  // a slice is posted and has not begun
  std::unique_ptr<HitPaths> paths_;  // after the context: stopped before it goes
};

// The search read aside now or last; a newer search stops it.
std::unique_ptr<AsideListing>& asideListing() {
  static std::unique_ptr<AsideListing> listing;
  return listing;
}

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

bool Window1::SearchListFilling() {
  const auto listing = currentListing().lock();
  return (listing && !listing->over()) || (asideListing() && asideListing()->filling());
}

void Window1::KensakuButton_Action() {
  framework::Listbox& results = SearchList();
  if (auto earlier = currentListing().lock()) earlier->stopped = true;
  asideListing().reset();
  results.DeleteAllRows();
  if (Module1::RefusedWithoutCatalogue(false)) return;
  const std::string typed = TextField1().Text();
  // Names are stored composed, so a text typed or pasted decomposed is composed like them.
  const std::optional<std::string> composed = framework::ComposeUtf8(typed);
  const std::shared_ptr<framework::Database> db = Module1::db;
  const std::string& term = composed ? *composed : typed;
  // Read aside where a second connection sees what the window's does: the window stays free.
  if (auto aside = NameIndex::SearchAside(*db, term, Module1::Changeable())) {
    asideListing() = std::make_unique<AsideListing>(results, std::move(aside));
    asideListing()->listFirst();
    return;
  }
  auto rs = NameIndex::Search(*db, term, Module1::Changeable());
  // A failed search is told, so that it is not taken for one without hits.
  if (!rs) Module1::Report(Module1::FailureOf(*db).value_or(Module1::Failure{}));
  if (!rs || rs->Eof()) return;
  const auto parentOf = [db](std::int32_t no, std::int32_t& up, std::string& name) {
    auto parent = db->SQLSelect("SELECT FolNo, Name FROM Folder1 WHERE No=?1", {std::int64_t{no}});
    if (!parent || parent->Eof()) return false;
    name = parent->Field("Name").StringValue();
    up = parent->Field("FolNo").IntegerValue();
    return true;
  };
  auto hits = std::make_shared<HitListing>(
      HitListing{db, std::move(rs), PathMemo(parentOf, [] { framework::Yield(); }), results.widget()->window()});
  // The first hits show at once; a long list goes on filling beside the window, which answers meanwhile.
  const auto until = std::chrono::steady_clock::now() + kFirstHits;
  int listed = 0;
  if (listHits(results, *hits, [&] { return ++listed >= kFirstRows && std::chrono::steady_clock::now() >= until; }))
    return;
  currentListing() = hits;
  std::make_shared<HitListFill>(results, std::move(hits))->Run();
}
