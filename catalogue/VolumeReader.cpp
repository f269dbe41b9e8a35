#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/Database.h"
#include "framework/Date.h"
#include "framework/Dialogs.h"
#include "framework/KindText.h"
#include "framework/MemoryBlock.h"
#include "framework/Normalization.h"
#include "framework/Text.h"
#include "framework/Thread.h"
#include "framework/Volumes.h"

namespace {

// A read whose records could not all be stored, with the engine's error.
std::string notSaved(const framework::Database& db) {
  return "ディスクの情報を保存できませんでした。\n" + Module1::ErrorText(db);
}

const std::string kFailedSuffix = ":ListError";

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void Window1::NewCD() {
  std::optional<std::string> failure;
  bool landed = false;
  if (!Module1::IsNoDiscName(CDName)) {
    unreadableFolders_ = 0;
    // The chooser stores the name normalised already, and one that failed there with the suffix:
    // it is marked once, so that an update finds the disc under the name it was stored with.
    discName_ = framework::ComposeUtf8(CDName) || !endsWith(CDName, kFailedSuffix) ? UTF8Mac(CDName) : CDName;
    ProgressWheel1().setVisible(true);
    Label1().setVisible(true);

    // The whole disc lands at the end or nothing of it does (in an update, nor the removal of
    // the old records); numbers of a read undone were never stored, so they are handed out again.
    framework::Transaction read(Module1::db);
    const std::int32_t numbered = Module1::MaxID;
    readFailure_.reset();
    auto volume = framework::Volume(Module1::VolNo);
    if (volume && read.Begin()) {
      if (const auto disc = NewRec(*volume, 0)) {
        const int n = volume->Count();
        if (volume->ListingFailed()) ++unreadableFolders_;
        for (int i = 1; i <= n && !readFailure_; ++i) {
          // An entry gone since the listing gives no item and is passed over.
          auto child = volume->Item(i);
          if (child && child->Visible() && !framework::textEquals(child->Name(), "Desktop Folder"))
            CollectInfoitem(*child, *disc);
          framework::Yield();
        }
      }
      if (!readFailure_ && !read.Commit()) readFailure_ = notSaved(*Module1::db);
    } else if (volume) {
      readFailure_ = notSaved(*Module1::db);
    }
    if (readFailure_ || !volume) {
      read.Rollback();
      Module1::MaxID = numbered;
    } else {
      landed = true;
    }
    failure = std::exchange(readFailure_, std::nullopt);

    ProgressWheel1().setVisible(false);
    Label1().setVisible(false);
  }

  CDName.clear();
  CDList().DeleteAllRows();
  OpenDB();
  if (failure)
    framework::MsgBox(*failure);
  else
    framework::Beep();
  if (landed && unreadableFolders_ > 0)
    framework::MsgBox(std::to_string(unreadableFolders_) + " 個のフォルダを読み込めませんでした。");
  unreadableFolders_ = 0;
}

void Window1::CollectInfoitem(framework::FolderItem& item, std::int32_t parent) {
  const int n = item.Count();
  if (item.ListingFailed()) ++unreadableFolders_;
  const auto self = NewRec(item, parent);
  if (!self) return;
  for (int i = 1; i <= n && !readFailure_; ++i) {
    auto child = item.Item(i);
    if (child && child->Visible()) CollectInfoitem(*child, *self);
    framework::Yield();
  }
}

std::optional<std::int32_t> Window1::NewRec(const framework::FolderItem& item, std::int32_t parent) {
  const std::optional<std::int32_t> number = Module1::NextNumber();
  if (!number) {
    readFailure_ = "レコード番号が上限に達したため、ディスクを読み込めませんでした。";
    return std::nullopt;
  }
  framework::DatabaseRecord rec;

  if (parent == 0) {
    const framework::Date now;
    rec.IntegerColumn("FolNo", 0);
    rec.IntegerColumn("No", *number);
    rec.Column("Name", discName_);
    rec.BooleanColumn("Folder", true);
    rec.Column("CDName", discName_);
    rec.Column("Type", "ディスク");
    rec.DateColumn("Date", now);
    rec.DateColumn("Time", now);
  } else {
    rec.IntegerColumn("FolNo", parent);
    rec.IntegerColumn("No", *number);
    rec.Column("Name", UTF8Mac(item.Name()));
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
    rec.Column("CDName", discName_);
  }

  if (auto& db = Module1::db) {
    db->InsertRecord("Folder1", rec);
    // A disc missing a record is no copy of the volume: the first failure ends the read.
    if (db->Error()) {
      readFailure_ = notSaved(*db);
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
