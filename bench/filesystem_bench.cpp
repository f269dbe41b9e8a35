// Walking a generated volume of 100,000 items with FolderItem against `find` collecting the same
// fields (size and time), kind texts for 100,000 names with and without the per-type cache, and
// name composition for 100,000 names.
#include <QApplication>
#include <QMimeDatabase>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/files/FolderItem.h"
#include "framework/files/KindText.h"
#include "framework/text/Normalization.h"
#include "support/TreeGenerator.h"

using framework::FolderItem;

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;
const char* const kSuffixes[] = {".txt", ".jpg", ".pdf", ".mp3", ".c", ".html", ".zip", ".doc", "", ".xyz"};

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// What the reader asks of every item.
struct Totals {
  long items = 0;
  std::uint64_t bytes = 0;
  std::int64_t dates = 0;
};

void walk(FolderItem folder, Totals& totals) {
  const int n = folder.Count();
  for (int i = 1; i <= n; ++i) {
    auto child = folder.Item(i);
    if (!child || !child->Visible()) continue;
    ++totals.items;
    totals.bytes += child->Length();
    // The reader stores the date twice (Date and Time).
    totals.dates += child->ModificationDate() == child->ModificationDate();
    if (child->Directory()) walk(*child, totals);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  const long items = bench::makeTree(root + "/vol", kFolders * kFilesPerFolder).items;
  const std::string find = "find '" + root + "/vol' -printf '%s %T@ %y %p\\n' > /dev/null";
  if (std::system(find.c_str()) != 0) std::printf("find failed\n");  // warms the cache for both

  auto start = std::chrono::steady_clock::now();
  Totals totals;
  walk(FolderItem(root + "/vol"), totals);
  const double walkTime = seconds(start);
  start = std::chrono::steady_clock::now();
  if (std::system(find.c_str()) != 0) std::printf("find failed\n");
  const double findTime = seconds(start);
  std::printf("walk_100k_items: %.3f s vs find %.3f s, ratio %.2f (target: ratio <= 3; %ld of %ld items)\n",
              walkTime, findTime, walkTime / findTime, totals.items, items);

  std::vector<std::string> names;
  for (int i = 0; i < kFolders * kFilesPerFolder; ++i)
    names.push_back("/x/file" + std::to_string(i) + kSuffixes[i % 10]);

  framework::MemoryBlock buffer(64);
  start = std::chrono::steady_clock::now();
  int found = 0;
  for (const std::string& name : names) found += framework::GetDocumentKindString(FolderItem(name), buffer) == 0;
  const double kindTime = seconds(start);
  const QMimeDatabase db;
  start = std::chrono::steady_clock::now();
  long plain = 0;
  for (const std::string& name : names)
    plain += db.mimeTypeForFile(QString::fromStdString(name), QMimeDatabase::MatchExtension).comment().size();
  const double plainTime = seconds(start);
  std::printf("kind_text_100k_names: %.3f s vs uncached Qt lookup %.3f s, ratio %.2f (target: <= 1 s; %d found)\n",
              kindTime, plainTime, kindTime / plainTime, found);

  start = std::chrono::steady_clock::now();
  std::size_t composedBytes = 0;
  for (int i = 0; i < 100'000; ++i) {
    const std::string name = i % 2 ? "\xE3\x83\x86\xE3\x82\x99\xE3\x82\xA3\xE3\x82\xB9\xE3\x82\xAF " + std::to_string(i)
                                   : "Disc " + std::to_string(i) + ".txt";
    composedBytes += framework::ComposeUtf8(name)->size();
  }
  std::printf("compose_100k_names: %.3f s (target: <= 0.2 s; %zu bytes)\n", seconds(start), composedBytes);
  return 0;
}
