#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace framework {

// What a registered file type handed to the registry.
struct FileTypeInfo {
  std::string name, creator, type, extensions;
};

// A named file type. Converting it to text registers it (once) with its current values; changing a
// value withdraws the registration first; destroying it withdraws it too.
class FileType {
 public:
  FileType();
  ~FileType();
  FileType(const FileType&) = delete;
  FileType& operator=(const FileType&) = delete;

  const std::string& Name() const { return name_; }
  const std::string& Extensions() const { return extensions_; }
  const std::string& MacType() const { return macType_; }
  const std::string& MacCreator() const { return macCreator_; }
  void setName(const std::string& v);
  void setExtensions(const std::string& v);
  void setMacType(const std::string& v);
  void setMacCreator(const std::string& v);

  bool IsRegistered() const { return registered_; }
  // Registers the type if it is not registered yet, and gives its Name.
  std::string toString();

 private:
  void withdraw();

  std::string name_, extensions_, macType_, macCreator_;
  std::uint64_t id_;
  bool registered_ = false;
};

// The file types registered now, in the order they were registered.
std::vector<FileTypeInfo> RegisteredFileTypes();

}  // namespace framework
