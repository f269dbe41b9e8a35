// The import of the old catalogue "olddbtext": nine lines a record, names in Mac OS Japanese.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Window1.h"
#include "catalogue/Class1.h"
#include "catalogue/Module1.h"
#include "framework/Database.h"
#include "framework/Date.h"
#include "framework/Dialogs.h"
#include "framework/Encodings.h"
#include "framework/SpecialFolder.h"
#include "framework/Text.h"
#include "framework/TextInputStream.h"
#include "framework/Thread.h"

namespace {

constexpr const char* kMissingFile =
    "「ドラヴェル」ソフトを使って、移行用のファイルを作成、このソフト本体と同じフォルダにそれを入れてから実行してください。"
    "※必ず新たにディスクを読み込む前に移行を終わらせてください。";

std::string fromMacJapanese(const std::string& line) {
  return framework::ConvertEncoding(framework::DefineEncoding(line, framework::Encodings::MacJapanese),
                                    framework::Encodings::UTF8);
}

// A plain decimal integer (an optional sign, then digits) in the signed 32-bit range; what Val
// would make of anything else is a guess, and a guessed number could hang a row under a stranger.
bool readInt32(const std::string& line, std::int32_t& out) {
  std::string_view digits = line;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 10) return false;
  for (char c : digits)
    if (c < '0' || c > '9') return false;
  const double value = framework::Val(line);
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

}  // namespace

void Window1::OldDbReading() {
  if (Module1::RefusedWithoutCatalogue(true)) return;
  auto item = framework::GetFolderItem("olddbtext");
  if (!item || !item->Visible()) {
    framework::MsgBox(kMissingFile);
    return;
  }
  // A read numbers its rows from MaxID and uses the one current disc name; the import resets both.
  if (Class1::RefusedWhileReading()) return;
  auto db = Module1::db;
  if (!db) return;
  auto stream = framework::TextInputStream::Open(*item);
  if (!stream) {
    framework::MsgBox(kMissingFile);
    return;
  }

  framework::DatabaseRecord rec;
  framework::Date when;
  int unreadable = 0;
  // A file without a line holds no record.
  while (!stream->Eof()) {
    std::array<std::string, 9> line;
    int count = 0;
    for (; count < 9 && !stream->Eof(); ++count) line[count] = stream->ReadLine();
    // A last record cut short is not made up from empty lines.
    if (count < 9) break;

    std::int32_t no = 0, folNo = 0, bytes = 0;
    bool readable = readInt32(line[3], no);
    readable = readInt32(line[5], folNo) && readable;
    readable = readInt32(line[7], bytes) && readable;
    readable = when.setSQLDateTime(line[1] + " " + line[8]) && readable;
    if (readable) {
      rec.Column("Name", fromMacJapanese(line[0]));
      rec.Column("Type", fromMacJapanese(line[2]));
      rec.IntegerColumn("No", no);
      rec.Column("CDName", fromMacJapanese(line[4]));
      rec.IntegerColumn("FolNo", folNo);
      rec.BooleanColumn("Folder", framework::textEquals(line[6], "true"));
      rec.IntegerColumn("Byte", bytes);
      rec.DateColumn("Date", when);
      rec.DateColumn("Time", when);
      db->InsertRecord("Folder1", rec);
    } else {
      ++unreadable;
    }
    framework::Yield();
  }
  stream->Close();

  if (db->Error()) framework::MsgBox(Module1::ErrorText(*db));
  db->Commit();
  Module1::RefreshNumbering();
  CDName = "";
  CDList().DeleteAllRows();
  OpenDB();
  if (unreadable > 0)
    framework::MsgBox("移行用ファイルの " + std::to_string(unreadable) + " 件のレコードを読み込めませんでした。");
  framework::Beep();
}
