#include "catalogue/Module1.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include <QTimer>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "framework/text/Text.h"
#include "framework/windows/Dialogs.h"
#include "framework/windows/Window.h"

namespace Module1 {

std::shared_ptr<framework::Database> db;
std::int32_t PB = 0;
std::int32_t MaxID = 0;
std::int32_t VolNo = 0;
bool ErrorCD = false;

namespace {
bool damaged = false;
std::string damageText;  // the message shown when the damage was met, repeated by each refusal

std::shared_ptr<framework::Database>& lumenoCache() {
  static std::shared_ptr<framework::Database> cache;
  return cache;
}
}  // namespace

std::shared_ptr<framework::Database> lumeno(framework::DatabaseProblem* problem) {
  auto& cache = lumenoCache();
  if (!cache) cache = framework::DatabaseItem("lumeno", problem);
  return cache;
}

namespace {

void showBusy(bool busy) {
  Window1* window = framework::openInstance<Window1>();
  if (!window || (!busy && Class1::IsReading())) return;
  window->ProgressWheel1().setVisible(busy);
  window->Label1().setVisible(busy);
}

// The check's verdict, on the main thread: a whole catalogue is made ready for changes at once, so
// the first change does not wait; damage is shown now. A check that could not run is tried again
// by the first change, which tells why if it fails again.
// How soon a catalogue whose making ready was put off is tried again.
constexpr int kReadyAgainMs = 100;

// Making the file ready waits while a statement of the connection is part-way through its rows (a
// long hit list filling): it is tried again until it has gone through, since until then searches
// cannot be read aside.
void readyLater(const std::weak_ptr<framework::Database>& checked) {
  QTimer::singleShot(kReadyAgainMs, [checked] {
    const auto database = checked.lock();
    if (!database || database != db || damaged || database->Checked() == framework::Database::Check::Ready) return;
    // A failure is left to the first change, which reports it.
    if (database->ReadyForChanges() && database->Checked() != framework::Database::Check::Ready) readyLater(checked);
  });
}

void verdictIn(const std::weak_ptr<framework::Database>& checked, const std::function<void()>& whenChangeable) {
  const auto database = checked.lock();
  if (!database || database != db || damaged) return;
  if (database->Checked() == framework::Database::Check::Failed) return;
  if (database->ReadyForChanges()) {
    if (database->Checked() != framework::Database::Check::Ready) readyLater(checked);
    if (whenChangeable) whenChangeable();
  } else if (const auto failure = FailureOf(*database); failure && framework::IsDamageCode(failure->code)) {
    Report(*failure);
  }
}

}  // namespace

void OpenCatalogue(std::function<void()> whenChangeable) {
  framework::DatabaseProblem problem;
  db = lumeno(&problem);
  if (!db) {
    framework::MsgBox("データベース「" + problem.path + "」を開けませんでした。\n" + problem.reason);
    return;
  }
  if (db->ReadOnly()) {
    framework::MsgBox("データベース「" + db->FilePath() + "」に書き込めないため、読み込み専用で開きました。");
    return;
  }
  std::weak_ptr<framework::Database> checked = db;
  db->StartCheck([checked, whenChangeable] { verdictIn(checked, whenChangeable); });
}

bool Changeable() {
  return db && !db->ReadOnly() && !damaged && db->Checked() == framework::Database::Check::Ready;
}

void RefreshNumbering() {
  if (!db) return;
  auto rs = db->SQLSelect("SELECT MAX(No) FROM Folder1");
  // Any other failure keeps MaxID without a word.
  if (!rs) {
    if (const auto failure = FailureOf(*db); failure && framework::IsDamageCode(failure->code)) Report(*failure);
    return;
  }
  const std::string text = rs->IdxField(1).StringValue();
  // The empty text of an empty table reads 0. Reads number from 1 up, and a number past the
  // range must stop them rather than wrap into numbers the table holds.
  const long long highest = std::strtoll(text.c_str(), nullptr, 10);
  MaxID = static_cast<std::int32_t>(std::clamp<long long>(highest, 0, std::numeric_limits<std::int32_t>::max()));
}

std::optional<std::int32_t> NextNumber() {
  if (MaxID == std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return ++MaxID;
}

void Release() {
  lumenoCache().reset();
  db.reset();
  damaged = false;
  damageText.clear();
}

bool IsNoDiscName(const std::string& name) {
  return framework::textEquals(name, "") || framework::textEquals(name, " ");
}

bool RefusedWithoutCatalogue(bool changes) {
  if (!db) {
    framework::MsgBox("データベースを開けないため、実行できません。");
    return true;
  }
  if (!changes) return false;
  if (db->ReadOnly()) {
    framework::MsgBox("データベースに書き込めないため、実行できません。");
    return true;
  }
  if (!damaged) {
    // Held while it waits: a quit meanwhile releases the module's own reference.
    const std::shared_ptr<framework::Database> held = db;
    const bool waits = held->Checked() == framework::Database::Check::Running;
    if (waits) showBusy(true);
    const bool ready = held->ReadyForChanges();
    if (waits) showBusy(false);
    if (!ready) {
      // A wait cut short by the application quitting needs no word.
      if (held->Checked() != framework::Database::Check::Running) Report(FailureOf(*held).value_or(Failure{}));
      return true;
    }
  }
  if (damaged) {
    framework::MsgBox(damageText);
    return true;
  }
  return false;
}

bool Damaged() { return damaged; }

std::optional<Failure> FailureOf(const framework::Database& db) {
  if (!db.Error()) return std::nullopt;
  return Failure{db.ErrorCode(), ErrorText(db)};
}

std::optional<Failure> FailureOf(const framework::RecordSet& rs) {
  if (!rs.Error()) return std::nullopt;
  return Failure{rs.ErrorCode(), std::to_string(rs.ErrorCode()) + " " + rs.ErrorMessage()};
}

void Report(const Failure& failure) {
  if (!framework::IsDamageCode(failure.code)) {
    framework::MsgBox(failure.text);
    return;
  }
  damaged = true;
  damageText = "データベースが壊れています。\n" + failure.text;
  framework::MsgBox(damageText);
}

std::string ErrorText(const framework::Database& db) {
  if (db.Moved())
    return "データベース「" + db.FilePath() + "」のファイルが移動または削除されたため、変更を取り消しました。";
  return std::to_string(db.ErrorCode()) + " " + db.ErrorMessage();
}

}  // namespace Module1
