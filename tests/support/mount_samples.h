#pragma once

namespace qtltest {

// A desktop machine's /proc/self/mountinfo: a USB stick, a CD, a USB floppy, a small image and a
// small disk without FAT, and a folder of the root bound elsewhere.
extern const char kMounts[];
// Its /etc/fstab: a floppy drive and a second optical drive, neither mounted.
extern const char kFstab[];

}  // namespace qtltest
