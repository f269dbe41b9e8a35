#include "framework/FileType.h"

#include <algorithm>
#include <utility>

namespace framework {
namespace {

struct Entry {
  std::uint64_t id;
  FileTypeInfo info;
};

std::vector<Entry>& registry() {
  static std::vector<Entry> entries;
  return entries;
}

std::uint64_t nextId() {
  static std::uint64_t id = 0;
  return ++id;
}

}  // namespace

FileType::FileType() : id_(nextId()) {}

FileType::~FileType() { withdraw(); }

void FileType::withdraw() {
  if (!registered_) return;
  auto& r = registry();
  r.erase(std::remove_if(r.begin(), r.end(), [this](const Entry& e) { return e.id == id_; }), r.end());
  registered_ = false;
}

void FileType::setName(const std::string& v) {
  withdraw();
  name_ = v;
}
void FileType::setExtensions(const std::string& v) {
  withdraw();
  extensions_ = v;
}
void FileType::setMacType(const std::string& v) {
  withdraw();
  macType_ = v;
}
void FileType::setMacCreator(const std::string& v) {
  withdraw();
  macCreator_ = v;
}

std::string FileType::toString() {
  if (!registered_) {
    registry().push_back({id_, FileTypeInfo{name_, macCreator_, macType_, extensions_}});
    registered_ = true;
  }
  return name_;
}

std::vector<FileTypeInfo> RegisteredFileTypes() {
  std::vector<FileTypeInfo> v;
  for (const auto& e : registry()) v.push_back(e.info);
  return v;
}

}  // namespace framework
