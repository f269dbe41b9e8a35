#include <cstdint>
#include <string>

#include "app/Window1.h"
#include "catalogue/Module1.h"
#include "framework/Database.h"
#include "framework/Date.h"
#include "framework/Dialogs.h"
#include "framework/KindText.h"
#include "framework/MemoryBlock.h"
#include "framework/Text.h"
#include "framework/Thread.h"
#include "framework/Volumes.h"

namespace {

// The low 32 bits as a signed value; the conversion of an out-of-range unsigned value is
// modular since C++20, so this is well defined.
std::int32_t low32(std::uint64_t length) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(length));
}

}  // namespace

void Window1::NewCD() {
  if (!Module1::IsNoDiscName(CDName)) {
    failedInserts_ = 0;
    ProgressWheel1().setVisible(true);
    Label1().setVisible(true);

    if (auto volume = framework::Volume(Module1::VolNo)) {
      const std::int32_t disc = NewRec(*volume, 0);
      const int n = volume->Count();
      for (int i = 1; i <= n; ++i) {
        // An entry gone since the listing gives no item and is passed over.
        auto child = volume->Item(i);
        if (child && child->Visible() && !framework::textEquals(child->Name(), "Desktop Folder"))
          CollectInfoitem(*child, disc);
        framework::Yield();
      }
    }

    ProgressWheel1().setVisible(false);
    Label1().setVisible(false);
    // The first failure was shown when it happened; one summary stands for the rest.
    if (failedInserts_ > 1)
      framework::MsgBox(std::to_string(failedInserts_) + " 件のレコードを保存できませんでした。");
    failedInserts_ = 0;
  }

  CDName.clear();
  CDList().DeleteAllRows();
  OpenDB();
  framework::Beep();
}

void Window1::CollectInfoitem(framework::FolderItem& item, std::int32_t parent) {
  const int n = item.Count();
  const std::int32_t self = NewRec(item, parent);
  for (int i = 1; i <= n; ++i) {
    auto child = item.Item(i);
    if (child && child->Visible()) CollectInfoitem(*child, self);
    framework::Yield();
  }
}

std::int32_t Window1::NewRec(const framework::FolderItem& item, std::int32_t parent) {
  framework::DatabaseRecord rec;
  const std::int32_t number = Module1::NextNumber();

  if (parent == 0) {
    const framework::Date now;
    rec.IntegerColumn("FolNo", 0);
    rec.IntegerColumn("No", number);
    rec.Column("Name", UTF8Mac(CDName));
    rec.BooleanColumn("Folder", true);
    rec.Column("CDName", UTF8Mac(CDName));
    rec.Column("Type", "ディスク");
    rec.DateColumn("Date", now);
    rec.DateColumn("Time", now);
  } else {
    rec.IntegerColumn("FolNo", parent);
    rec.IntegerColumn("No", number);
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
    rec.IntegerColumn("Byte", low32(item.Length()));
    rec.Column("CDName", UTF8Mac(CDName));
  }

  if (auto& db = Module1::db) {
    db->InsertRecord("Folder1", rec);
    if (db->Error()) {
      // One message box per read at most: a catalogue that fails once usually fails for every row.
      if (++failedInserts_ == 1)
        framework::MsgBox(Module1::ErrorText(*db));
    }
    db->Commit();
  }
  return Module1::MaxID;
}

std::string Window1::GetFileKind(const framework::FolderItem& item) {
  auto buffer = framework::NewMemoryBlock(64);
  if (framework::GetDocumentKindString(item, buffer) == 0) return buffer.PString(0);
  return " ";
}
