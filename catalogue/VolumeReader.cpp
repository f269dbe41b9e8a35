#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/database/Database.h"
#include "framework/files/KindText.h"
#include "framework/files/ReadAhead.h"
#include "framework/files/Volumes.h"
#include "framework/streams/MemoryBlock.h"
#include "framework/text/Date.h"
#include "framework/text/Normalization.h"
#include "framework/text/Text.h"
#include "framework/threads/Thread.h"
#include "framework/windows/Dialogs.h"

namespace {

// A read whose records could not all be stored, with the engine's error.
std::string notSaved(const framework::Database& db) {
  return "ディスクの情報を保存できませんでした。\n" + Module1::ErrorText(db);
}

const std::string kFailedSuffix = ":ListError";

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// What one read keeps while it walks.
struct ReadState {
  std::string discName;  // the name its records carry, worked out once
  int unreadableFolders = 0;
  std::optional<std::string> failure;  // why it stopped; none while it goes on
};

// The read under way; the walk's routines called on their own get an idle one.
ReadState* currentRead = nullptr;

ReadState& current() {
  static ReadState idle;
  return currentRead ? *currentRead : idle;
}

class CurrentRead {
 public:
  explicit CurrentRead(ReadState& state) : previous_(std::exchange(currentRead, &state)) {}
  ~CurrentRead() { currentRead = previous_; }
  CurrentRead(const CurrentRead&) = delete;
  CurrentRead& operator=(const CurrentRead&) = delete;

 private:
  ReadState* previous_;
};

// The chooser stores the name normalised already, and one that failed there with the suffix: it
// is marked once, so that an update finds the disc under the name it was stored with.
std::string recordDiscName(Window1& window, const std::string& chosen) {
  const bool failedInChooser = !framework::ComposeUtf8(chosen) && endsWith(chosen, kFailedSuffix);
  return failedInChooser ? chosen : window.UTF8Mac(chosen);
}

}  // namespace

void Window1::NewCD() {
  ReadState read;
  const CurrentRead reading(read);
  bool landed = false;
  if (!Module1::IsNoDiscName(CDName)) {
    read.discName = recordDiscName(*this, CDName);
    ProgressWheel1().setVisible(true);
    Label1().setVisible(true);

    // The whole disc lands at the end or nothing of it does (in an update, nor the removal of
    // the old records); numbers of a read undone were never stored, so they are handed out again.
    framework::Transaction transaction(Module1::db);
    const std::int32_t numbered = Module1::MaxID;
    auto volume = framework::Volume(Module1::VolNo);
    if (volume && transaction.Begin()) {
      const auto skipped = [](const std::string& name) { return framework::textEquals(name, "Desktop Folder"); };
      if (const framework::ReadAhead ahead(*volume, skipped); const auto disc = NewRec(*volume, 0)) {
        const int n = volume->Count();
        if (volume->ListingFailed()) ++read.unreadableFolders;
        for (int i = 1; i <= n && !read.failure; ++i) {
          // An entry gone since the listing gives no item and is passed over.
          auto child = volume->Item(i);
          if (child && child->Visible() && !skipped(child->Name())) CollectInfoitem(*child, *disc);
          framework::Yield();
        }
      }
      if (!read.failure && !transaction.Commit()) read.failure = notSaved(*Module1::db);
    } else if (volume) {
      read.failure = notSaved(*Module1::db);
    }
    if (read.failure || !volume) {
      transaction.Rollback();
      Module1::MaxID = numbered;
    } else {
      landed = true;
    }

    ProgressWheel1().setVisible(false);
    Label1().setVisible(false);
  }

  CDName.clear();
  CDList().DeleteAllRows();
  OpenDB();
  if (read.failure)
    framework::MsgBox(*read.failure);
  else
    framework::Beep();
  if (landed && read.unreadableFolders > 0)
    framework::MsgBox(std::to_string(read.unreadableFolders) + " 個のフォルダを読み込めませんでした。");
}

void Window1::CollectInfoitem(framework::FolderItem& item, std::int32_t parent) {
  ReadState& read = current();
  const int n = item.Count();
  if (item.ListingFailed()) ++read.unreadableFolders;
  const auto self = NewRec(item, parent);
  if (!self) return;
  for (int i = 1; i <= n && !read.failure; ++i) {
    auto child = item.Item(i);
    if (child && child->Visible()) CollectInfoitem(*child, *self);
    framework::Yield();
  }
}

std::optional<std::int32_t> Window1::NewRec(const framework::FolderItem& item, std::int32_t parent) {
  ReadState& read = current();
  const std::optional<std::int32_t> number = Module1::NextNumber();
  if (!number) {
    read.failure = "レコード番号が上限に達したため、ディスクを読み込めませんでした。";
    return std::nullopt;
  }
  framework::DatabaseRecord rec;

  if (parent == 0) {
    const framework::Date now;
    rec.IntegerColumn("FolNo", 0);
    rec.IntegerColumn("No", *number);
    rec.Column("Name", read.discName);
    rec.BooleanColumn("Folder", true);
    rec.Column("CDName", read.discName);
    rec.Column("Type", "ディスク");
    rec.DateColumn("Date", now);
    rec.DateColumn("Time", now);
  } else {
    rec.IntegerColumn("FolNo", parent);
    rec.IntegerColumn("No", *number);
    // A name that does not compose goes through UTF8Mac, which applies the option as it stands now.
    const std::optional<std::string> composed = item.ComposedName();
    rec.Column("Name", composed ? *composed : UTF8Mac(item.Name()));
    if (item.Directory()) {
      rec.BooleanColumn("Folder", true);
      rec.Column("Type", "フォルダ");
    } else {
      rec.Column("Type", GetFileKind(item));
    }
    // The item's status is read once, so both columns hold the one modification date.
    const framework::Date modified = item.ModificationDate();
    rec.DateColumn("Date", modified);
    rec.DateColumn("Time", modified);
    // The whole length (a folder's is 0).
    rec.IntegerColumn("Byte", static_cast<std::int64_t>(item.Length()));
    rec.Column("CDName", read.discName);
  }

  if (auto& db = Module1::db) {
    db->InsertRecord("Folder1", rec);
    // A disc missing a record is no copy of the volume: the first failure ends the read.
    if (db->Error()) {
      read.failure = notSaved(*db);
      return std::nullopt;
    }
  }
  return number;
}

std::string Window1::GetFileKind(const framework::FolderItem& item) {
  auto buffer = framework::NewMemoryBlock(64);
  if (framework::GetDocumentKindString(item, buffer) == 0) return buffer.PString(0);
  return " ";
}
