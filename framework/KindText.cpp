#include "framework/KindText.h"

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace framework {

namespace {

constexpr std::size_t maxKindBytes = 63;

// Cut to at most `limit` bytes without splitting a UTF-8 character.
std::string cutAtCharacter(std::string text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

// Looking a comment up reads the MIME database's XML for the user's language; a walk meets the
// same few types again and again, so each type's text is made once.
std::optional<std::string> kindOfName(const QString& fileName) {
  static std::mutex mutex;
  static std::unordered_map<std::string, std::optional<std::string>> byType;
  static const QMimeDatabase database;

  const QMimeType type = database.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return std::nullopt;
  const std::string typeName = type.name().toStdString();

  const std::lock_guard lock(mutex);
  auto found = byType.find(typeName);
  if (found == byType.end()) {
    const QString comment = type.comment().trimmed();
    std::optional<std::string> text;
    if (!comment.isEmpty()) text = cutAtCharacter(comment.toStdString(), maxKindBytes);
    found = byType.emplace(typeName, std::move(text)).first;
  }
  return found->second;
}

}  // namespace

int GetDocumentKindString(const FolderItem& item, MemoryBlock& buffer) {
  if (buffer.Size() < maxKindBytes + 1) return -50;  // the old platform's "bad parameter"
  const std::optional<std::string> kind = kindOfName(QFile::decodeName(QByteArray::fromStdString(item.Name())));
  if (!kind) return -1;
  buffer.data()[0] = static_cast<std::uint8_t>(kind->size());
  std::memcpy(buffer.data() + 1, kind->data(), kind->size());
  return 0;
}

}  // namespace framework
