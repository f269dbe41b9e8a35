#include "catalogue/OldCatalogueReader.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

#include "framework/text/Date.h"
#include "framework/text/Encodings.h"
#include "framework/text/Text.h"

namespace {

// Enough records that a hand-over costs little beside them, few enough that the first ones are
// stored soon after the start.
constexpr std::size_t kBatch = 512;
// A batch of long names is handed over sooner, so that what is read ahead stays small whatever
// the file holds.
constexpr std::size_t kBatchBytes = std::size_t{1} << 18;
// Batches read ahead of the stores; more would only hold memory.
constexpr std::size_t kQueued = 8;

// No line of the old catalogue comes near this; a longer one means the file is no such catalogue.
constexpr std::size_t kLineLimit = std::size_t{1} << 20;
// A read numbers above the highest number in the table, so the largest Int32 must stay free.
constexpr std::int64_t kHighestNumber = INT32_MAX - 1;

std::string fromMacJapanese(const std::string& line) {
  return framework::ConvertEncoding(framework::DefineEncoding(line, framework::Encodings::MacJapanese),
                                    framework::Encodings::UTF8);
}

// Plain decimal digits naming a number in [low, high]. Read exactly, without going through a
// double; what Val would make of anything else is a guess, and a guessed number could hang a row
// under a stranger.
bool readNumber(const std::string& line, std::int64_t low, std::int64_t high, std::int64_t& out) {
  if (line.empty() || line.find_first_not_of("0123456789") != std::string::npos) return false;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), value);
  if (error != std::errc() || end != line.data() + line.size() || value < low || value > high) return false;
  out = value;
  return true;
}

// A size in bytes. Earlier versions stored sizes in 32 bits, so those of 2 to 4 GiB come as
// negative numbers: they are the same bits read unsigned.
bool readSize(const std::string& line, std::int64_t& out) {
  if (line.size() > 1 && line[0] == '-') {
    std::int64_t below = 0;
    if (!readNumber(line.substr(1), 1, std::int64_t{1} << 31, below)) return false;
    out = (std::int64_t{1} << 32) - below;
    return true;
  }
  return readNumber(line, 0, INT64_MAX, out);
}

// Sets every column of the record from its nine lines; false, setting none, when a number
// or the date-time cannot be read.
bool readRecord(const std::array<std::string, 9>& line, framework::DatabaseRecord& rec, framework::Date& when) {
  std::int64_t no = 0, folNo = 0, bytes = 0;
  if (!readNumber(line[3], 1, kHighestNumber, no) || !readNumber(line[5], 0, kHighestNumber, folNo) ||
      !readSize(line[7], bytes) || !when.setSQLDateTime(line[1] + " " + line[8]))
    return false;
  rec.Column("Name", fromMacJapanese(line[0]));
  rec.Column("Type", fromMacJapanese(line[2]));
  rec.IntegerColumn("No", no);
  rec.Column("CDName", fromMacJapanese(line[4]));
  rec.IntegerColumn("FolNo", folNo);
  rec.BooleanColumn("Folder", framework::textEquals(line[6], "true"));
  rec.IntegerColumn("Byte", bytes);
  // Both columns hold the whole moment, as a read stores them.
  const std::string moment = when.SQLDateTime();
  rec.Column("Date", moment);
  rec.Column("Time", moment);
  return true;
}

}  // namespace

OldCatalogueReader::OldCatalogueReader(std::shared_ptr<framework::TextInputStream> stream)
    : stream_(std::move(stream)), thread_([this](std::stop_token stop) { run(std::move(stop)); }) {}

void OldCatalogueReader::run(std::stop_token stop) {
  framework::TextInputStream& stream = *stream_;
  framework::Date when;
  Batch batch;
  std::size_t bytes = 0;  // of the lines in the batch
  while (!stream.Eof()) {
    std::array<std::string, 9> line;
    int count = 0;
    for (; count < 9 && !stream.Eof(); ++count) {
      std::optional<std::string> read = stream.ReadLine(kLineLimit);
      if (!read) {
        batch.unreadableFile = true;
        break;
      }
      bytes += read->size();
      line[count] = std::move(*read);
    }
    if (batch.unreadableFile) break;
    framework::DatabaseRecord rec;
    if (count < 9 || !readRecord(line, rec, when)) ++batch.unreadable;
    else batch.records.push_back(std::move(rec));
    if (batch.records.size() + static_cast<std::size_t>(batch.unreadable) >= kBatch || bytes >= kBatchBytes) {
      if (!push(stop, batch)) return;
      bytes = 0;
    }
  }
  stream.Close();
  batch.last = true;
  push(stop, batch);
}

bool OldCatalogueReader::push(const std::stop_token& stop, Batch& batch) {
  std::vector<Batch> spent;
  {
    std::unique_lock lock(mutex_);
    if (!changed_.wait(lock, stop, [this] { return batches_.size() < kQueued; })) return false;
    batches_.push_back(std::move(batch));
    spent.swap(spent_);
    changed_.notify_all();
  }
  batch = Batch{};
  batch.records.reserve(kBatch);
  return true;
}

std::optional<OldCatalogueReader::Batch> OldCatalogueReader::next(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [this] { return !batches_.empty(); })) return std::nullopt;
  Batch batch = std::move(batches_.front());
  batches_.pop_front();
  changed_.notify_all();
  return batch;
}

void OldCatalogueReader::giveBack(Batch&& batch) {
  std::lock_guard lock(mutex_);
  spent_.push_back(std::move(batch));
}
