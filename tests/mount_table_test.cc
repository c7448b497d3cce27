// Where each device is mounted, as the mount tables say.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <optional>
#include <vector>

#include <QString>

#include "platform/media/mount_table.h"
#include "platform/system_calls.h"
#include "tests/support/mount_samples.h"

namespace {

using qtltest::kFstab;
using qtltest::kMounts;

TEST(TablaDeMontajeTest, KnowsWhereEachDeviceIsMounted) {
    // A part of the floppy bound elsewhere before the floppy itself: its root is the floppy's.
    const auto mounts =
        platform::ParseMountTable(QString::fromUtf8(kMounts) +
                                  u"50 24 2:0 /sub /srv/sub rw - vfat /dev/fd0 rw\n"
                                  u"51 24 2:0 / /media/floppy0 rw - vfat /dev/fd0 rw\n"_qs);
    const auto fstab = platform::ParseMountTable(QString::fromUtf8(kFstab));
    ASSERT_EQ(fstab.size(), 3u);
    struct Caso {
        dev_t device = 0;
        std::optional<QString> mountPoint;
    };
    for (const Caso& c :
         {Caso{makedev(8, 17), u"/media/ana/USB DATOS"_qs},
          Caso{makedev(7, 3), u"/media/ana/snap"_qs}, Caso{makedev(2, 0), u"/media/floppy0"_qs},
          Caso{makedev(8, 18), std::nullopt}, Caso{0, std::nullopt}}) {
        EXPECT_EQ(platform::MountPointOf(c.device, mounts), c.mountPoint)
            << major(c.device) << ':' << minor(c.device);
        EXPECT_EQ(platform::MountPointOf(c.device, fstab), std::nullopt) << "fstab has no numbers";
    }
    // Only a part of a file system mounted is still mounted.
    const std::vector<platform::MountEntry> parte(mounts.end() - 2, mounts.end() - 1);
    EXPECT_EQ(platform::MountPointOf(makedev(2, 0), parte), u"/srv/sub"_qs);
    // This machine's table, read now: /proc is where its file system is.
    struct stat proc {};
    ASSERT_EQ(stat("/proc", &proc), 0);
    EXPECT_EQ(platform::MountPointOf(proc.st_dev,
                                     platform::ReadMountInfo(platform::DefaultSystemCalls())),
              u"/proc"_qs);
}

}  // namespace
