#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "framework/files/Volumes.h"

namespace {

TEST(Volumes, MountTableGivesRemovableVolumesInOrder) {
  const std::string table =
      "/dev/vda / ext4 rw,relatime 0 0\n"
      "proc /proc proc rw 0 0\n"
      "/dev/sr0 /media/user/My\\040Disc udf ro 0 0\n"
      "tmpfs /media/ram tmpfs rw 0 0\n"
      "/dev/sdb1 /mnt vfat rw 0 0\n"
      "/dev/sdc1 /run/media/user/Back\\011Up\\134x exfat rw 0 0\n"
      "/dev/sdd1 /mediafiles ext4 rw 0 0\n"
      "/dev/sde1 /home/user/mnt ext4 rw 0 0\n"
      "/dev/sdf1 /mnt/usb/ hfsplus rw 0 0\n"
      "/dev/sdg1 /mnt/usb hfsplus rw 0 0\n"
      "autofs /mnt/auto autofs rw 0 0\n"
      "devtmpfs /media/dev devtmpfs rw 0 0\n"
      "sysfs /mnt/sys sysfs rw 0 0\n"
      "garbage\n"
      "\n";
  EXPECT_EQ(framework::removableMountPoints(table),
            (std::vector<std::string>{"/media/user/My Disc", "/media/ram", "/run/media/user/Back\tUp\\x",
                                      "/mnt/usb"}));
}

// Removable media lie directly under /mnt and /media, or directly under a user's folder in /media
// or /run/media; anything deeper is part of some other tree.
TEST(Volumes, OnlyMountPointsWhereMediaAreMountedAreOffered) {
  const struct {
    const char* point;
    bool offered;
  } cases[] = {
      {"/mnt/usb", true},
      {"/mnt/a/b/c/python", false},
      {"/mnt/a/b", false},
      {"/mnt", false},
      {"/media/DISC", true},
      {"/media/user/DISC", true},
      {"/media/user/DISC/inner", false},
      {"/media", false},
      {"/run/media/user/DISC", true},
      {"/run/media/user", false},
      {"/run/media/user/DISC/inner", false},
      {"/run/media", false},
      {"/run/mediax/user/DISC", false},
      {"/mntx/usb", false},
      {"/srv/mnt/usb", false},
  };
  for (const auto& c : cases) {
    const std::string table = std::string("/dev/sdb1 ") + c.point + " ext4 rw 0 0\n";
    EXPECT_EQ(framework::removableMountPoints(table).size(), c.offered ? 1u : 0u) << c.point;
  }
}

TEST(Volumes, RealTableAlwaysHasTheRoot) {
  framework::clearTestVolumes();
  ASSERT_GE(framework::VolumeCount(), 1);
  EXPECT_EQ(framework::Volume(0)->Path(), "/");
  EXPECT_TRUE(framework::Volume(0)->Directory());
  EXPECT_FALSE(framework::Volume(framework::VolumeCount()));
  EXPECT_FALSE(framework::Volume(-1));
}

// A tmpfs mounted under /mnt for the test's length (the tests run as root).
struct TmpfsMount {
  std::string point = "/mnt/lumeno-tmpfs-" + std::to_string(::getpid());
  bool mounted = false;
  TmpfsMount() {
    std::filesystem::create_directories(point);
    mounted = ::mount("lumeno", point.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~TmpfsMount() {
    if (mounted) ::umount(point.c_str());
    std::error_code ignored;
    std::filesystem::remove(point, ignored);
  }
};

TEST(Volumes, MountedTmpfsIsOfferedAndRead) {
  framework::clearTestVolumes();
  TmpfsMount tmpfs;
  if (!tmpfs.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  std::ofstream(tmpfs.point + "/file") << "data";
  int found = -1;
  for (int i = 1; i < framework::VolumeCount(); ++i)
    if (framework::Volume(i)->Path() == tmpfs.point) found = i;
  ASSERT_GT(found, 0);
  auto volume = *framework::Volume(found);
  EXPECT_EQ(volume.Name(), "lumeno-tmpfs-" + std::to_string(::getpid()));
  ASSERT_EQ(volume.Count(), 1);
  EXPECT_EQ(volume.Item(1)->Length(), 4u);
}

TEST(Volumes, TestVolumesStandInForTheMountedOnes) {
  framework::setTestVolumes({{"Boot", "/"}, {"Disc A", "/tmp"}, {"Disc B", "/tmp/nowhere"}});
  EXPECT_EQ(framework::VolumeCount(), 3);
  EXPECT_EQ(framework::Volume(0)->Name(), "Boot");
  EXPECT_EQ(framework::Volume(1)->Name(), "Disc A");
  EXPECT_EQ(framework::Volume(1)->Path(), "/tmp");
  EXPECT_EQ(framework::Volume(2)->Name(), "Disc B");
  EXPECT_FALSE(framework::Volume(3));

  framework::setTestVolumes({});
  EXPECT_EQ(framework::VolumeCount(), 0);
  EXPECT_FALSE(framework::Volume(0));

  framework::clearTestVolumes();
  EXPECT_EQ(framework::Volume(0)->Path(), "/");
}

}  // namespace
