#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/database/Database.h"

// The globals through which the windows hand work to the catalogue core, and the catalogue database.
namespace Module1 {

extern std::shared_ptr<framework::Database> db;  // the open catalogue, set when the main window opens
extern std::int32_t PB;                          // 0: read a new disc, 1: update a disc
extern std::int32_t MaxID;                       // highest record number handed out
extern std::int32_t VolNo;                       // index of the chosen volume
extern bool ErrorCD;                             // append ":ListError" to names that fail normalisation

// The database item "lumeno", fetched on first use and cached; an empty fetch is tried again next
// time, and tells why in `problem` when given.
std::shared_ptr<framework::Database> lumeno(framework::DatabaseProblem* problem = nullptr);

// The opening's first step: db := lumeno. A catalogue that cannot be had leaves db empty and is
// reported: "データベース「PATH」を開けませんでした。", a new line and the reason. One that cannot be
// written is told once and only read. Otherwise the engine's check of the file starts beside the
// window: damage it finds is reported as soon as it is known, and `whenChangeable` runs once the
// catalogue is whole and ready for changes.
void OpenCatalogue(std::function<void()> whenChangeable = {});

// Whether the catalogue may change now: open, writable, checked whole in this run, no damage met.
bool Changeable();

// Sets MaxID to the highest No in Folder1 (0 for an empty table, and for a table of numbers below 1;
// a number past the 32-bit range counts as the highest one); a failed query leaves it as it is.
void RefreshNumbering();

// Raises MaxID by one and gives the new value; none, with MaxID left as it is, when MaxID is at
// the highest signed 32-bit number: numbers never wrap.
std::optional<std::int32_t> NextNumber();

// The preferences file "lm.pref": the option and the main window's size.
void ReadPref();
void WritePref();

// Releases the cached database item and db, in that order, at exit.
void Release();

// "" and " " stand for no chosen volume: nothing is read or updated under them.
bool IsNoDiscName(const std::string& name);

// Shows why the catalogue cannot serve a command and gives true, or gives false: a catalogue that
// could not be opened refuses every command that needs it; a read-only or damaged one refuses the
// commands that would change it (`changes`). A change asked before the check's verdict waits for
// it, the busy indicators shown and the window going on.
bool RefusedWithoutCatalogue(bool changes);

// A failure met in the catalogue: the engine's result code and its text as the user is shown it.
struct Failure {
  std::int32_t code = 0;
  std::string text;
};
// The database's latest error as a failure, its text as ErrorText gives it; none after a success.
std::optional<Failure> FailureOf(const framework::Database& db);
// How the record set's rows ended: none when they ran out, the engine's failure when it stopped them.
std::optional<Failure> FailureOf(const framework::RecordSet& rs);

// The one way a failure of the catalogue is shown. Damage (framework::IsDamageCode) is shown as
// "データベースが壊れています。", a new line and the text, and from then on the catalogue is changed
// no more; a busy or locked catalogue is no damage (the command did nothing and can be tried again),
// and any failure but damage is shown as its text.
void Report(const Failure& failure);
// Whether damage was met in this run.
bool Damaged();

// The database's latest error as the catalogue reports it: the code in decimal digits, a blank, the
// message; a change undone because the file was moved or deleted says so.
std::string ErrorText(const framework::Database& db);

}  // namespace Module1
