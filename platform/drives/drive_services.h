#pragma once

#include <functional>

#include "platform/child_runner.h"
#include "platform/dialogs.h"
#include "platform/system_calls.h"

namespace platform {

class DeviceProbe;
class DiskService;
class MountWatch;
class UdevDatabase;

// What the drives and the host's detection reach the machine through: every system call and
// every child program goes through these, and each other service is an interface, so a test
// wraps or replaces one of them to make any single call fail or see something else. Kept by
// the host for its life; the drives hold a reference.
struct DriveServices {
    SystemCalls& system;
    Children& children;
    // The desktop's disk service, through which a floppy drive it knows has its disk looked at,
    // mounted and unmounted; nullptr where there is none to ask.
    const DiskService* disks = nullptr;
    // The pointer, an hourglass while the disk service is waited on (it may be asking the user
    // for a password); nullptr where nobody sees one.
    KeptPointer* pointer = nullptr;
    // What finds the drives: the block devices' probe; udev's database, asked for floppy drives
    // where the disk service is not there (nullptr: no udev); the watch of the mount table.
    const DeviceProbe* probe = nullptr;
    const UdevDatabase* udev = nullptr;
    MountWatch* mounts = nullptr;
};

}  // namespace platform
