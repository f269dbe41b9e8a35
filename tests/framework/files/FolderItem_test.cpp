#include <QTemporaryDir>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "framework/files/FolderItem.h"

using framework::FolderItem;
namespace fs = std::filesystem;

namespace {

class FolderItemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    root_ = dir_.path().toStdString();
  }
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }
  void file(const std::string& relative, const std::string& content = "x") const {
    std::ofstream(path(relative), std::ios::binary) << content;
  }
  std::vector<std::string> names(FolderItem folder) const {
    std::vector<std::string> out;
    for (int i = 1; i <= folder.Count(); ++i) out.push_back(folder.Item(i).value().Name());
    return out;
  }

  QTemporaryDir dir_;
  std::string root_;
};

TEST_F(FolderItemTest, ListsEntriesSortedByBytesWithHiddenOnesMarked) {
  for (const char* name : {"b", "B", "a", ".hidden", "\xC3\xA9", "_z", "10", "9"}) file(name);
  fs::create_directory(path("dir"));

  FolderItem folder(root_);
  // Upper case before lower case and UTF-8 lead bytes last: plain unsigned byte order.
  EXPECT_EQ(names(folder),
            (std::vector<std::string>{".hidden", "10", "9", "B", "_z", "a", "b", "dir", "\xC3\xA9"}));
  EXPECT_FALSE(folder.Item(1)->Visible());
  EXPECT_TRUE(folder.Item(2)->Visible());
  EXPECT_TRUE(folder.Item(8)->Directory());
  EXPECT_FALSE(folder.Item(7)->Directory());
  EXPECT_FALSE(folder.Item(0));
  EXPECT_FALSE(folder.Item(10));
  EXPECT_EQ(folder.Item(8)->Count(), 0);  // an empty folder
}

TEST_F(FolderItemTest, FileAndMissingItemProperties) {
  file("f.txt", "hello");
  FolderItem f(path("f.txt"));
  EXPECT_TRUE(f.Exists());
  EXPECT_TRUE(f.Visible());
  EXPECT_FALSE(f.Directory());
  EXPECT_EQ(f.Length(), 5u);
  EXPECT_EQ(f.Count(), 0);
  EXPECT_EQ(f.Name(), "f.txt");
  EXPECT_FALSE(f.Child("x"));  // a file gives no children

  FolderItem missing(path("nothing"));
  EXPECT_FALSE(missing.Exists());
  EXPECT_FALSE(missing.Visible());
  EXPECT_FALSE(missing.Directory());
  EXPECT_EQ(missing.Count(), 0);

  EXPECT_EQ(FolderItem(root_ + "/").Path(), root_);
  EXPECT_EQ(FolderItem("/").Name(), "/");
  EXPECT_EQ(FolderItem(root_, "Shown").Name(), "Shown");
}

TEST_F(FolderItemTest, ModificationDateIsTheFilesTime) {
  file("old");
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};  // 2001-09-09 01:46:40 UTC
  ASSERT_EQ(::utimensat(AT_FDCWD, path("old").c_str(), times, 0), 0);
  EXPECT_EQ(FolderItem(path("old")).ModificationDate().toQDateTime().toSecsSinceEpoch(), 1000000000);
}

TEST_F(FolderItemTest, SymbolicLinkToAFolderIsAnItemOfItsOwn) {
  fs::create_directory(path("real"));
  file("real/inside");
  fs::create_directory_symlink(path("real"), path("link"));
  fs::create_symlink(path("gone"), path("dangling"));

  FolderItem link(path("link"));
  EXPECT_TRUE(link.Exists());
  EXPECT_FALSE(link.Directory());
  EXPECT_EQ(link.Count(), 0);
  EXPECT_TRUE(FolderItem(path("dangling")).Exists());
  EXPECT_EQ(FolderItem(path("real")).Count(), 1);
  // A link to a folder still gives the item of a name inside it (the preferences folder may be one).
  EXPECT_EQ(link.Child("inside")->Path(), path("link/inside"));
}

TEST_F(FolderItemTest, FolderThatCannotBeListedHasNoEntries) {
  fs::create_directory(path("locked"));
  file("locked/secret");
  if (::geteuid() != 0) {
    ::chmod(path("locked").c_str(), 0);
    EXPECT_EQ(FolderItem(path("locked")).Count(), 0);
    ::chmod(path("locked").c_str(), 0755);
  }
  // A folder known as one whose listing then fails (it has gone meanwhile): also no entries.
  fs::create_directory(path("vanishing"));
  FolderItem vanishing(path("vanishing"));
  ASSERT_TRUE(vanishing.Directory());
  fs::remove(path("vanishing"));
  EXPECT_EQ(vanishing.Count(), 0);
  EXPECT_TRUE(vanishing.ListingFailed());
  FolderItem fine(root_);
  EXPECT_EQ(fine.Count(), 1);
  EXPECT_FALSE(fine.ListingFailed());
}

TEST_F(FolderItemTest, EntriesTheirFileSystemMarksHiddenAreInvisibleAndOthersPayNothing) {
  for (const char* name : {"hidden", "archived", "plain", "both"}) file(name);
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
  std::vector<std::string> asked;
  const auto attributesOf = [&](const std::string& entry) -> std::optional<std::uint32_t> {
    asked.push_back(entry.substr(entry.rfind('/') + 1));
    if (entry == path("hidden")) return 0x02;
    if (entry == path("archived")) return 0x20;
    if (entry == path("both")) return 0x22;
    return std::nullopt;
  };
  const struct {
    const char* type;
    std::vector<std::string> visible;
    std::size_t asks;  // every entry, or none at all
  } cases[] = {
      {"vfat", {"archived", "pipe", "plain"}, 5},
      {"exfat", {"archived", "pipe", "plain"}, 5},
      {"ntfs3", {"archived", "pipe", "plain"}, 5},
      {"ntfs-3g", {"archived", "pipe", "plain"}, 5},
      {"ext4", {"archived", "both", "hidden", "pipe", "plain"}, 0},
      {"tmpfs", {"archived", "both", "hidden", "pipe", "plain"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    asked.clear();
    framework::setFileSystemSeam({[&](const std::string&) { return std::string(c.type); }, attributesOf});
    FolderItem folder(root_);
    std::vector<std::string> visible;
    for (int i = 1; i <= folder.Count(); ++i)
      if (folder.Item(i)->Visible()) visible.push_back(folder.Item(i)->Name());
    EXPECT_EQ(visible, c.visible);
    EXPECT_EQ(asked.size(), c.asks);
  }
  framework::setFileSystemSeam({});
  // The real file system here marks nothing, and a FIFO is never opened to ask.
  FolderItem folder(root_);
  ASSERT_EQ(folder.Count(), 5);
  for (int i = 1; i <= 5; ++i) EXPECT_TRUE(folder.Item(i)->Visible());
}

TEST_F(FolderItemTest, EntriesMarkedHiddenOnARealNtfsVolumeAreInvisible) {
  const std::string image = path("ntfs.img"), point = path("ntfs");
  fs::create_directory(point);
  const std::string make = "truncate -s 8M '" + image + "' && mkntfs -F -f -q '" + image + "' >/dev/null 2>&1 && ntfs-3g '" +
                           image + "' '" + point + "' 2>/dev/null";
  if (std::system(make.c_str()) != 0) GTEST_SKIP() << "no ntfs-3g mount here";
  const std::unique_ptr<const std::string, void (*)(const std::string*)> unmount(
      &point, [](const std::string* p) { ::umount(p->c_str()); });
  for (const char* name : {"hidden", "plain"}) file("ntfs/" + std::string(name));
  fs::create_directory(path("ntfs/System Volume Information"));
  for (const char* name : {"hidden", "System Volume Information"}) {
    unsigned char bytes[4];
    const std::string entry = path("ntfs/") + name;
    ASSERT_EQ(::getxattr(entry.c_str(), "system.ntfs_attrib_be", bytes, 4), 4);
    bytes[3] |= 0x02;  // FILE_ATTRIBUTE_HIDDEN
    ASSERT_EQ(::setxattr(entry.c_str(), "system.ntfs_attrib_be", bytes, 4, 0), 0);
  }
  {
    FolderItem volume(point);
    std::vector<std::string> visible;
    for (int i = 1; i <= volume.Count(); ++i)
      if (volume.Item(i)->Visible()) visible.push_back(volume.Item(i)->Name());
    EXPECT_EQ(visible, std::vector<std::string>{"plain"});
  }
}

TEST_F(FolderItemTest, LengthOfAFileBeyond4GiBIsExactAndAFoldersIsZero) {
  fs::create_directory(path("folder"));
  EXPECT_EQ(FolderItem(path("folder")).Length(), 0u);
  const std::uint64_t size = (std::uint64_t{1} << 32) + 5;
  file("sparse", "");
  ASSERT_EQ(::truncate(path("sparse").c_str(), static_cast<off_t>(size)), 0);
  EXPECT_EQ(FolderItem(path("sparse")).Length(), size);
}

TEST_F(FolderItemTest, EntryDeletedAfterTheListingGivesNoItemAndTheRestStay) {
  for (const char* name : {"a", "b", "c"}) file(name);
  FolderItem folder(root_);
  ASSERT_EQ(folder.Count(), 3);
  fs::remove(path("b"));
  file("d");
  EXPECT_EQ(folder.Count(), 3);  // the listing is kept
  EXPECT_EQ(folder.Item(1)->Name(), "a");
  EXPECT_FALSE(folder.Item(2));
  EXPECT_EQ(folder.Item(3)->Name(), "c");
}

TEST_F(FolderItemTest, StatusIsReadOnceAndKept) {
  file("grows", "12");
  FolderItem item(path("grows"));
  EXPECT_EQ(item.Length(), 2u);
  file("grows", "123456");
  EXPECT_EQ(item.Length(), 2u);
  EXPECT_EQ(FolderItem(path("grows")).Length(), 6u);
}

TEST_F(FolderItemTest, ChildNamesOnlyASingleComponentOfAFolder) {
  FolderItem folder(root_);
  const auto child = folder.Child("not-yet");
  ASSERT_TRUE(child);
  EXPECT_EQ(child->Path(), path("not-yet"));
  EXPECT_FALSE(child->Exists());
  EXPECT_EQ(FolderItem("/").Child("etc")->Path(), "/etc");
  for (const char* bad : {"", ".", "..", "a/b"}) EXPECT_FALSE(folder.Child(bad)) << bad;
  EXPECT_FALSE(FolderItem(path("missing")).Child("x"));
}

TEST_F(FolderItemTest, LaunchGoesThroughTheHook) {
  std::vector<std::string> launched;
  framework::setLaunchHook([&](const FolderItem& item) {
    launched.push_back(item.Path());
    return true;
  });
  EXPECT_TRUE(FolderItem(path("tavikurl")).Launch(true));
  framework::setLaunchHook({});
  EXPECT_EQ(launched, std::vector<std::string>{path("tavikurl")});
}

}  // namespace
