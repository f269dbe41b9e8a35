#include "framework/files/KindText.h"

#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
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

// Qt matches a name against the MIME globs anew each time (compiling some of them), several
// microseconds a name. Nearly every glob is a suffix "*.X", and a name that matches none of the
// others gets the type its last dotted parts decide, so the answer is cached on those parts.
class KindCache {
 public:
  KindCache() {
    QStringList others;
    for (const QMimeType& type : database_.allMimeTypes()) {
      for (const QString& pattern : type.globPatterns()) {
        if (isSuffixPattern(pattern)) {
          suffixDots_ = std::max<qsizetype>(suffixDots_, pattern.count(u'.'));
        } else {
          others << QRegularExpression::wildcardToRegularExpression(pattern);
        }
      }
    }
    // Case is ignored here, so this catches at least every name such a pattern can match.
    if (!others.isEmpty())
      others_ = QRegularExpression("(?:" + others.join(")|(?:") + ")", QRegularExpression::CaseInsensitiveOption);
  }

  std::optional<std::string> kind(const QString& fileName) {
    if (others_.isValid() && !others_.pattern().isEmpty() && others_.match(fileName).hasMatch())
      return kindOfType(database_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension));
    const QString key = decidingTail(fileName);
    if (auto found = byTail_.find(key); found != byTail_.end()) return found->second;
    if (byTail_.size() > 10000) byTail_.clear();  // odd names must not grow it without bound
    auto kind = kindOfType(database_.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension));
    byTail_.emplace(key, kind);
    return kind;
  }

 private:
  static bool isSuffixPattern(const QString& pattern) {
    if (!pattern.startsWith(QStringLiteral("*."))) return false;
    const QStringView rest = QStringView(pattern).mid(2);
    return !rest.contains(u'*') && !rest.contains(u'?') && !rest.contains(u'[');
  }

  // The part of the name from its suffixDots_-th last dot: every suffix glob is decided by it.
  QString decidingTail(const QString& fileName) const {
    qsizetype from = fileName.size();
    for (qsizetype dots = 0; dots < suffixDots_;) {
      const qsizetype dot = from > 0 ? fileName.lastIndexOf(u'.', from - 1) : -1;
      if (dot < 0) break;
      from = dot;
      ++dots;
    }
    return from == fileName.size() ? QString() : fileName.mid(from);
  }

  // A type's description is read from the database's XML for the user's language: once per type.
  std::optional<std::string> kindOfType(const QMimeType& type) {
    if (!type.isValid() || type.isDefault()) return std::nullopt;
    const QString name = type.name();
    if (auto found = byType_.find(name); found != byType_.end()) return found->second;
    const QString comment = type.comment().trimmed();
    std::optional<std::string> text;
    if (!comment.isEmpty()) text = cutAtCharacter(comment.toStdString(), maxKindBytes);
    byType_.emplace(name, text);
    return text;
  }

  QMimeDatabase database_;
  QRegularExpression others_;
  qsizetype suffixDots_ = 1;
  std::unordered_map<QString, std::optional<std::string>> byTail_;
  std::unordered_map<QString, std::optional<std::string>> byType_;
};

}  // namespace

std::optional<std::string> KindOfFileName(const std::string& name) {
  // One cache per thread: the read's workers ask side by side without a lock between them.
  thread_local KindCache cache;
  return cache.kind(QFile::decodeName(QByteArray::fromStdString(name)));
}

int GetDocumentKindString(const FolderItem& item, MemoryBlock& buffer) {
  if (buffer.Size() < maxKindBytes + 1) return -50;  // the old platform's "bad parameter"
  const std::optional<std::string> kind = item.KindByName();
  if (!kind) return -1;
  buffer.data()[0] = static_cast<std::uint8_t>(kind->size());
  std::memcpy(buffer.data() + 1, kind->data(), kind->size());
  return 0;
}

}  // namespace framework
