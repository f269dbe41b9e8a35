#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/Database.h"

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

// The text as one SQL string literal, whatever it holds: between single quotes, each inner one doubled.
std::string SqlText(std::string_view text);

// Shows why the catalogue cannot serve a command and gives true, or gives false: a catalogue that
// could not be opened refuses every command that needs it; a read-only or damaged one refuses the
// commands that would change it (`changes`). A change asked before the check's verdict waits for
// it, the busy indicators shown and the window going on.
bool RefusedWithoutCatalogue(bool changes);

// Damage met in the catalogue: shows it with the engine's error (code, blank, message), and from
// then on the catalogue is changed no more.
void ReportDamage(const std::string& engineError);
// Whether damage was met in this run.
bool Damaged();

// When the database's latest error is damage (framework::IsDamageCode), reports it and gives true.
// A busy or locked catalogue is no damage: the command that met it did nothing and can be tried
// again.
bool ReportIfDamage(const framework::Database& db);

// A query of the catalogue gave no record set: damage is reported as such, any other failure
// shown with the engine's error.
void ReportFailedQuery(const framework::Database& db);

// When the record set's rows ended by a failure instead of running out, reports it (damage as
// such, anything else with the engine's error) and gives true.
bool RowsFailed(const framework::RecordSet& rs);

// The database's latest error as the catalogue reports it: the code in decimal digits, a blank, the
// message; a change undone because the file was moved or deleted says so.
std::string ErrorText(const framework::Database& db);

}  // namespace Module1
