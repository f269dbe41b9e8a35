#include "framework/files/FileType.h"

#include <algorithm>
#include <utility>

namespace framework {
namespace {

struct Entry {
  std::uint64_t id;
  FileTypeInfo info;
};

// Whether the registry still exists: file types held by statics may outlive it at process exit.
bool registryAlive = false;

struct Registry {
  Registry() { registryAlive = true; }
  ~Registry() { registryAlive = false; }
  std::vector<Entry> entries;
};

std::vector<Entry>& registry() {
  static Registry r;
  return r.entries;
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
  registered_ = false;
  if (!registryAlive) return;
  auto& r = registry();
  r.erase(std::remove_if(r.begin(), r.end(), [this](const Entry& e) { return e.id == id_; }), r.end());
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
