#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace framework::detail {

// The connection and the state every operation on it shares: the latest result and the prepared
// statements. Owned jointly by the Database and its record sets, so a record set outlives neither.
struct Connection {
  explicit Connection(sqlite3* handle) : db(handle) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Records the outcome of the latest operation; SQLITE_OK (or a finished step) clears it.
  void setResult(int code);
  void setError(int code, std::string message);
  void clearError() { setError(0, std::string()); }

  // Opens a transaction unless one is open; false (error state set) when it cannot.
  bool beginIfNeeded();
  // Runs one statement without a result, through a statement prepared once.
  int runCached(const std::string& sql);
  // The statement for the text, prepared once and reset before it is handed out; nullptr on failure.
  sqlite3_stmt* cached(const std::string& sql);

  sqlite3* db;
  std::int32_t errorCode = 0;
  std::string errorMessage;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
};

}  // namespace framework::detail
