// The import of the old catalogue "olddbtext": nine lines a record, names in Mac OS Japanese.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <QEventLoop>
#include <QPointer>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "catalogue/OldCatalogueReader.h"
#include "framework/database/Database.h"
#include "framework/files/SpecialFolder.h"
#include "framework/streams/TextInputStream.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"

namespace {

constexpr const char* kMissingFile =
    "「ドラヴェル」ソフトを使って、移行用のファイルを作成、このソフト本体と同じフォルダにそれを入れてから実行してください。"
    "※必ず新たにディスクを読み込む前に移行を終わらせてください。";

constexpr const char* kUnreadableFile = "移行用ファイルを読み込めませんでした。";
constexpr const char* kNoRecord = "移行用ファイルにレコードがありませんでした。";

// The engine's result for a row the table refuses (a number already there): that row alone fails.
constexpr std::int32_t kConstraint = 19;
// How long the stores wait for the reader before giving the window its turn; short beside a slice.
constexpr std::chrono::milliseconds kWaitForRecords{1};

// The records of the file, stored in one transaction while the window goes on; ends like the import.
void importRecords(Window1& window, const std::shared_ptr<framework::TextInputStream>& stream) {
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
  // Reading and decoding go on beside the stores, which keep the window's thread to themselves.
  OldCatalogueReader reader(stream);
  int stored = 0, refused = 0, unreadable = 0;
  std::string refusal;
  for (bool last = false; !last;) {
    std::optional<OldCatalogueReader::Batch> batch = reader.next(kWaitForRecords);
    if (!batch) {
      framework::Yield();
      continue;
    }
    for (const framework::DatabaseRecord& rec : batch->records) {
      db->InsertRecord("Folder1", rec);
      if (!db->Error()) {
        ++stored;
      } else if (db->ErrorCode() == kConstraint) {
        if (refused++ == 0) refusal = Module1::ErrorText(*db);
      } else {
        return abandon(Module1::ErrorText(*db));
      }
      framework::Yield();
    }
    if (batch->unreadableFile) return abandon(kUnreadableFile);
    unreadable += batch->unreadable;
    last = batch->last;
    reader.giveBack(std::move(*batch));
  }

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
  const std::shared_ptr<framework::TextInputStream> stream = framework::TextInputStream::Open(*item);
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
    importRecords(*this, stream);
  });
  import->Run();
  if (import->IsRunning()) wait.exec();
}
