#include "tests/support/mount_samples.h"

namespace qtltest {

const char kMounts[] =
    "22 1 0:21 / /sys rw - sysfs sysfs rw\n"
    "23 1 0:22 / /proc rw - proc proc rw\n"
    "24 1 254:1 / / rw - ext4 /dev/vda1 rw\n"
    "25 24 0:23 / /run rw - tmpfs tmpfs rw\n"
    "40 24 8:17 / /media/ana/USB\\040DATOS rw - vfat /dev/sdb1 rw\n"
    "41 24 11:0 / /media/ana/QTL99 ro - iso9660 /dev/sr0 ro\n"
    "42 24 8:32 / /media/ana/DISQUETE rw - vfat /dev/sdc rw\n"
    "43 24 7:3 / /media/ana/snap ro - squashfs /dev/loop3 ro\n"
    "44 24 8:48 / /media/ana/PEQUE rw - ext2 /dev/sdd rw\n"
    "45 24 254:2 / /home rw - ext4 /dev/vda2 rw\n"
    "46 24 254:1 /srv/cd /media/ana/CD\\040copiado ro - ext4 /dev/vda1 ro\n";

const char kFstab[] =
    "# comentario\n"
    "/dev/vda1 / ext4 defaults 0 1\n"
    "/dev/fd0 /media/floppy0 auto rw,user,noauto 0 0\n"
    "/dev/sr1 /media/cdrom1 udf,iso9660 ro,user,noauto 0 0\n";

}  // namespace qtltest
