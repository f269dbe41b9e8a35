#include "app/FileTypes1.h"

#include <string>

namespace FileTypes1 {

std::unique_ptr<framework::FileType> pSpecialDisk;
std::unique_ptr<framework::FileType> pSpecialAny;
std::unique_ptr<framework::FileType> pApplicationText;

namespace {
void build(std::unique_ptr<framework::FileType>& global, const std::string& name,
           const std::string& macType, const std::string& macCreator) {
  global = std::make_unique<framework::FileType>();
  global->setName(name);
  global->setExtensions("");
  global->setMacType(macType);
  global->setMacCreator(macCreator);
  // Every value is set before this, so the registration is made once and with all of them.
  global->toString();
}
}  // namespace

void Initialize() {
  build(pSpecialDisk, "special/disk", "disk", "MACS");
  build(pSpecialAny, "special/any", "????", "????");
  build(pApplicationText, "application/text", "TEXT", "text");
}

void Release() {
  pSpecialDisk.reset();
  pSpecialAny.reset();
  pApplicationText.reset();
}

}  // namespace FileTypes1
