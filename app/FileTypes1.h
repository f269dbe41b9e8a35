#pragma once
#include <memory>

#include "framework/files/FileType.h"

// The application's file-type set: three types registered for the whole run.
namespace FileTypes1 {

extern std::unique_ptr<framework::FileType> pSpecialDisk;
extern std::unique_ptr<framework::FileType> pSpecialAny;
extern std::unique_ptr<framework::FileType> pApplicationText;

// Builds and registers the three types, each complete before it is registered.
void Initialize();
// Releases the three types in the order above; each withdraws its registration.
void Release();

}  // namespace FileTypes1
