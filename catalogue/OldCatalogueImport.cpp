// The import of the old catalogue "olddbtext": nine lines a record, names in Mac OS Japanese.
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <QEventLoop>
#include <QPointer>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/database/Database.h"
#include "framework/files/SpecialFolder.h"
#include "framework/streams/TextInputStream.h"
#include "framework/text/Date.h"
#include "framework/text/Encodings.h"
#include "framework/text/Text.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"

namespace {

constexpr const char* kMissingFile =
    "「ドラヴェル」ソフトを使って、移行用のファイルを作成、このソフト本体と同じフォルダにそれを入れてから実行してください。"
    "※必ず新たにディスクを読み込む前に移行を終わらせてください。";

constexpr const char* kUnreadableFile = "移行用ファイルを読み込めませんでした。";
constexpr const char* kNoRecord = "移行用ファイルにレコードがありませんでした。";

// No line of the old catalogue comes near this; a longer one means the file is no such catalogue.
constexpr std::size_t kLineLimit = std::size_t{1} << 20;
// A read numbers above the highest number in the table, so the largest Int32 must stay free.
constexpr std::int64_t kHighestNumber = INT32_MAX - 1;
// The engine's result for a row the table refuses (a number already there): that row alone fails.
constexpr std::int32_t kConstraint = 19;

std::string fromMacJapanese(const std::string& line) {
  return framework::ConvertEncoding(framework::DefineEncoding(line, framework::Encodings::MacJapanese),
                                    framework::Encodings::UTF8);
}

// Plain decimal digits naming a number in [low, high]. Read exactly, without going through a
// double; what Val would make of anything else is a guess, and a guessed number could hang a row
// under a stranger.
bool readNumber(const std::string& line, std::int64_t low, std::int64_t high, std::int64_t& out) {
  if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) return false;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end != line.data() + line.size() || value < low || value > high) return false;
  out = value;
  return true;
}

// A size in bytes. Earlier versions stored sizes in 32 bits, so those of 2 to 4 GiB come as
// negative numbers: they are the same bits read unsigned.
bool readSize(const std::string& line, std::int64_t& out) {
  if (line.size() > 1 && line[0] == '-') {
    std::int64_t below = 0;
    if (!readNumber(line.substr(1), 1, std::int64_t{1} << 31, below)) return false;
    out = (std::int64_t{1} << 32) - below;
    return true;
  }
  return readNumber(line, 0, INT64_MAX, out);
}

// Sets every column of the record from its nine lines; false, setting none, when a number
// or the date-time cannot be read.
bool readRecord(const std::array<std::string, 9>& line, framework::DatabaseRecord& rec, framework::Date& when) {
  std::int64_t no = 0, folNo = 0, bytes = 0;
  if (!readNumber(line[3], 1, kHighestNumber, no) || !readNumber(line[5], 0, kHighestNumber, folNo) ||
      !readSize(line[7], bytes) || !when.setSQLDateTime(line[1] + " " + line[8]))
    return false;
  rec.Column("Name", fromMacJapanese(line[0]));
  rec.Column("Type", fromMacJapanese(line[2]));
  rec.IntegerColumn("No", no);
  rec.Column("CDName", fromMacJapanese(line[4]));
  rec.IntegerColumn("FolNo", folNo);
  rec.BooleanColumn("Folder", framework::textEquals(line[6], "true"));
  rec.IntegerColumn("Byte", bytes);
  rec.DateColumn("Date", when);
  rec.DateColumn("Time", when);
  return true;
}

// The records of the file, stored in one transaction while the window goes on; ends like the import.
void importRecords(Window1& window, framework::TextInputStream& stream) {
  // Not empty: the import was refused otherwise.
  const std::shared_ptr<framework::Database> db = Module1::db;
  // Whatever stops the import early (a failure, the thread dropped at quit) keeps none of it.
  framework::Transaction import(db);
  // Nothing of the import stays, and then the one reason is shown.
  auto abandon = [&import](const std::string& reason) {
    import.Rollback();
    framework::MsgBox(reason);
  };
  if (!import.Begin()) return abandon(Module1::ErrorText(*db));
  framework::DatabaseRecord rec;
  framework::Date when;
  int stored = 0, refused = 0, unreadable = 0;
  std::string refusal;
  while (!stream.Eof()) {
    std::array<std::string, 9> line;
    int count = 0;
    for (; count < 9 && !stream.Eof(); ++count) {
      std::optional<std::string> read = stream.ReadLine(kLineLimit);
      if (!read) return abandon(kUnreadableFile);
      line[count] = std::move(*read);
    }
    if (count < 9 || !readRecord(line, rec, when)) {
      ++unreadable;
    } else {
      db->InsertRecord("Folder1", rec);
      if (!db->Error()) {
        ++stored;
      } else if (db->ErrorCode() == kConstraint) {
        if (refused++ == 0) refusal = Module1::ErrorText(*db);
      } else {
        return abandon(Module1::ErrorText(*db));
      }
    }
    framework::Yield();
  }
  stream.Close();

  // A failed commit keeps nothing.
  if (!import.Commit()) return abandon(Module1::ErrorText(*db));
  Module1::RefreshNumbering();
  window.CDName = "";
  window.CDList().DeleteAllRows();
  window.OpenDB();
  if (refused > 0) {
    framework::MsgBox(refusal);
    framework::MsgBox("移行用ファイルの " + std::to_string(refused) + " 件のレコードを保存できませんでした。");
  }
  if (unreadable > 0)
    framework::MsgBox("移行用ファイルの " + std::to_string(unreadable) + " 件のレコードを読み込めませんでした。");
  if (stored > 0) framework::Beep();
}

}  // namespace

// The import lands whole or not at all. A file that cannot be read as a whole (a line beyond the
// limit) and any failure of the engine other than a refused row leave the catalogue as it was,
// with one message. Otherwise, after the list is rebuilt, come the first refusal's reason, the
// count of refused rows and the count of unreadable records, each once; the beep only when rows
// were stored. The records are stored on a thread of their own, as a read is, so the window goes on
// answering and refuses other changes until the import has ended; this returns then.
void Window1::OldDbReading() {
  if (Module1::RefusedWithoutCatalogue(true)) return;
  auto item = framework::GetFolderItem("olddbtext");
  if (!item || !item->Visible()) {
    framework::MsgBox(kMissingFile);
    return;
  }
  // A read numbers its rows from MaxID and uses the one current disc name; the import resets both.
  if (Class1::RefusedWhileReading()) return;
  // A pipe, a device or a folder in the file's place is no file to import.
  std::shared_ptr<framework::TextInputStream> stream = framework::TextInputStream::Open(*item);
  if (!stream) {
    framework::MsgBox(kMissingFile);
    return;
  }
  if (stream->Eof()) {
    framework::MsgBox(kNoRecord);
    return;
  }
  // The notice closes once the import has ended, as when it ran here; events go on meanwhile. The
  // import tells the wait on its way out, however it leaves (a quit unwinds it).
  QEventLoop wait;
  struct EndWait {
    QPointer<QEventLoop> wait;
    ~EndWait() {
      if (wait) wait->quit();
    }
  };
  auto import = std::make_shared<Class1>([this, stream, ended = QPointer<QEventLoop>(&wait)] {
    const EndWait end{ended};
    importRecords(*this, *stream);
  });
  import->Run();
  if (import->IsRunning()) wait.exec();
}
