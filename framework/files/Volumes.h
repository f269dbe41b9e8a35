#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/files/FolderItem.h"

namespace framework {

// Volume 0 is the root file system; after it come the mounted file systems whose mount point lies
// directly under /mnt or /media, or directly under a user's folder in /media or /run/media, in the
// mount table's order. The table is read at every call.
int VolumeCount();
// The volume at `index`, named after the last component of its mount point; none out of range.
std::optional<FolderItem> Volume(int index);

// The mount points of the removable volumes in a mount table's text (the /proc/self/mounts format),
// unescaped, in its order, the kernel's pseudo file systems and repeated mount points left out (in-memory
// ones such as tmpfs are kept); root not included.
std::vector<std::string> removableMountPoints(std::string_view mountTable);

// Tests stand in their own volumes: volume 0 and each further one is a (name, folder path) pair.
void setTestVolumes(std::vector<std::pair<std::string, std::string>> nameAndFolder);
// Back to the real mount table.
void clearTestVolumes();

}  // namespace framework
