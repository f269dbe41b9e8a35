#pragma once
#include <optional>
#include <string>

#include "framework/files/FolderItem.h"

namespace framework {

// The user's preferences folder (the generic configuration folder, made when missing); none when the
// system gives none or it cannot be made.
std::optional<FolderItem> SpecialFolderPreferences();

// The file of the bare name `bareName` that the program reads beside itself: the first that exists
// of the one in the user's data folder, in the application's own folder and in the data folder
// installed with it (../share/lumeno from there); the one in the application's folder when none
// exists. None for a name that is empty or not a single component, or when there is no application
// folder.
std::optional<FolderItem> GetFolderItem(const std::string& bareName);

// Tests put the application folder elsewhere; an empty path goes back to the executable's folder.
void setApplicationFolder(const std::string& path);

}  // namespace framework
