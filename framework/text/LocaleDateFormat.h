#pragma once
#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <functional>
#include <string>
#include <vector>

namespace framework {

// A locale's date format or time format worked out once into tables of texts, so that a list of
// a hundred thousand dates is not a hundred thousand parses of the format. Gives exactly the text
// that QLocale gives: every piece of text comes from QLocale itself, and the whole is checked
// against QLocale on a spread of values; a format that does not pass is left to QLocale.
class LocaleDateFormat {
 public:
  enum class Of { Date, Time };
  // The text the formatter reproduces: the date for Of::Date, the time for Of::Time.
  using Reference = std::function<QString(QDate, QTime)>;

  // `reference` defaults to locale.toString(value, format).
  LocaleDateFormat(const QLocale& locale, const QString& format, Of of, Reference reference = {});

  // Appends the UTF-8 text of the date (Of::Date) or of the time (Of::Time).
  void append(QDate date, std::string& out) const;
  void append(QTime time, std::string& out) const;

  // False when the format is left to QLocale on every call.
  bool compiled() const { return compiled_; }

 private:
  // What a piece of the format shows; its texts are indexed by that value.
  enum class Field { Literal, Day, Weekday, Month, Year2, Year4, Hour, Hour12, Minute, Second, AmPm };
  struct Piece {
    Field field;
    std::vector<std::string> texts;
  };

  bool build(const QLocale& locale, const QString& format);
  bool verify() const;
  bool appendCompiled(QDate date, std::string& out) const;
  bool appendCompiled(QTime time, std::string& out) const;

  Of of_;
  Reference reference_;
  std::vector<Piece> pieces_;
  bool compiled_ = false;
};

}  // namespace framework
