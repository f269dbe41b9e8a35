#pragma once
#include <optional>
#include <string>

#include "framework/FolderItem.h"

namespace framework {

// The user's preferences folder (the generic configuration folder, made when missing); none when the
// system gives none or it cannot be made.
std::optional<FolderItem> SpecialFolderPreferences();

// The item of the bare name `bareName` in the application's own folder, whether or not it exists;
// none for a name that is empty or not a single component, or when there is no application folder.
std::optional<FolderItem> GetFolderItem(const std::string& bareName);

// Tests put the application folder elsewhere; an empty path goes back to the executable's folder.
void setApplicationFolder(const std::string& path);

}  // namespace framework
