#include "catalogue/Module1.h"

#include <cstdlib>
#include <string>

#include "framework/Text.h"

namespace Module1 {

std::shared_ptr<framework::Database> db;
std::int32_t PB = 0;
std::int32_t MaxID = 0;
std::int32_t VolNo = 0;
bool ErrorCD = false;

namespace {
std::shared_ptr<framework::Database>& lumenoCache() {
  static std::shared_ptr<framework::Database> cache;
  return cache;
}
}  // namespace

std::shared_ptr<framework::Database> lumeno() {
  auto& cache = lumenoCache();
  if (!cache) cache = framework::DatabaseItem("lumeno");
  return cache;
}

void RefreshNumbering() {
  if (!db) return;
  auto rs = db->SQLSelect("SELECT MAX(No) FROM Folder1");
  if (!rs) return;
  const std::string text = rs->IdxField(1).StringValue();
  // The stored numbers are 32-bit, so the highest one fits; the empty text of an empty table reads 0.
  MaxID = static_cast<std::int32_t>(std::strtoll(text.c_str(), nullptr, 10));
}

std::int32_t NextNumber() {
  // Unsigned arithmetic wraps where signed overflow would be undefined.
  MaxID = static_cast<std::int32_t>(static_cast<std::uint32_t>(MaxID) + 1u);
  return MaxID;
}

void Release() {
  lumenoCache().reset();
  db.reset();
}

bool IsNoDiscName(const std::string& name) {
  return framework::textEquals(name, "") || framework::textEquals(name, " ");
}

std::string SqlText(std::string_view text) {
  std::string literal;
  literal.reserve(text.size() + 2);
  literal += '\'';
  for (char c : text) {
    literal += c;
    if (c == '\'') literal += '\'';
  }
  literal += '\'';
  return literal;
}

std::string ErrorText(const framework::Database& db) {
  return std::to_string(db.ErrorCode()) + " " + db.ErrorMessage();
}

}  // namespace Module1
