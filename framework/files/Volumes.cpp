#include "framework/files/Volumes.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace framework {

namespace {

std::optional<std::vector<std::pair<std::string, std::string>>>& testVolumes() {
  static std::optional<std::vector<std::pair<std::string, std::string>>> volumes;
  return volumes;
}

// The kernel's own file systems: nothing there is a disc to catalogue. In-memory ones (tmpfs,
// ramfs) hold real files and are offered.
bool isPseudoFileSystem(std::string_view type) {
  static constexpr std::string_view pseudo[] = {
      "autofs",   "binfmt_misc", "bpf",       "cgroup",     "cgroup2",  "configfs", "debugfs",
      "devpts",   "devtmpfs",    "efivarfs",  "fusectl",    "hugetlbfs", "mqueue",  "nsfs",
      "proc",     "pstore",      "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",
      "tracefs",     "fuse.gvfsd-fuse", "fuse.portal", "nfsd", "rootfs"};
  return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

// The mount table writes blanks, tabs, newlines and backslashes in a field as \ooo.
std::string unescapeField(std::string_view field) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
        octal(field[i + 3])) {
      out.push_back(static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                      (field[i + 3] - '0')));
      i += 3;
      continue;
    }
    out.push_back(field[i]);
  }
  return out;
}

// The components of `path` below `root`, or none when it does not lie below it.
std::optional<int> depthBelow(std::string_view path, std::string_view root) {
  if (path.size() <= root.size() + 1 || path.substr(0, root.size()) != root || path[root.size()] != '/')
    return std::nullopt;
  const std::string_view rest = path.substr(root.size() + 1);
  return 1 + static_cast<int>(std::count(rest.begin(), rest.end(), '/'));
}

// Where removable media are mounted: by hand at /mnt/NAME, by the desktop at /media/LABEL,
// /media/USER/LABEL or /run/media/USER/LABEL. Deeper mounts are parts of some other tree.
bool isRemovablePlace(std::string_view path) {
  const auto mnt = depthBelow(path, "/mnt");
  const auto media = depthBelow(path, "/media");
  const auto runMedia = depthBelow(path, "/run/media");
  return mnt == 1 || media == 1 || media == 2 || runMedia == 2;
}

std::string readMountTable() {
  std::ifstream in("/proc/self/mounts");
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string lastComponent(const std::string& path) {
  const FolderItem item(path);
  return item.Name();
}

}  // namespace

std::vector<std::string> removableMountPoints(std::string_view mountTable) {
  std::vector<std::string> points;
  std::istringstream lines{std::string(mountTable)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, point, type;
    if (!(fields >> device >> point >> type)) continue;
    point = unescapeField(point);
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    if (isPseudoFileSystem(type) || !isRemovablePlace(point)) continue;
    // A file system mounted again on the same point hides the first; the point is one volume.
    if (std::find(points.begin(), points.end(), point) != points.end()) continue;
    points.push_back(point);
  }
  return points;
}

int VolumeCount() {
  if (testVolumes()) return static_cast<int>(testVolumes()->size());
  return 1 + static_cast<int>(removableMountPoints(readMountTable()).size());
}

std::optional<FolderItem> Volume(int index) {
  if (index < 0) return std::nullopt;
  if (testVolumes()) {
    const auto& volumes = *testVolumes();
    if (static_cast<std::size_t>(index) >= volumes.size()) return std::nullopt;
    const auto& [name, folder] = volumes[static_cast<std::size_t>(index)];
    return FolderItem(folder, name);
  }
  if (index == 0) return FolderItem("/");
  const auto points = removableMountPoints(readMountTable());
  if (static_cast<std::size_t>(index) > points.size()) return std::nullopt;
  const std::string& point = points[static_cast<std::size_t>(index - 1)];
  return FolderItem(point, lastComponent(point));
}

void setTestVolumes(std::vector<std::pair<std::string, std::string>> nameAndFolder) {
  testVolumes() = std::move(nameAndFolder);
}

void clearTestVolumes() { testVolumes().reset(); }

}  // namespace framework
