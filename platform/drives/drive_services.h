#pragma once

#include "platform/dialogs.h"
#include "platform/fat/mtools.h"
#include "platform/system_calls.h"

namespace platform {

class DiskService;

// What the drives reach the machine through: every system call and every child program goes
// through these, and the disk service is an interface, so a test wraps or replaces one of them
// to make any single call fail or see something else. Kept by the host for its life; the drives
// hold a reference.
struct DriveServices {
    SystemCalls& system;
    Children& children;
    // The desktop's disk service, through which a floppy drive it knows has its disk looked at,
    // mounted and unmounted; nullptr where there is none to ask.
    const DiskService* disks = nullptr;
    // The pointer, an hourglass while the disk service is waited on (it may be asking the user
    // for a password); nullptr where nobody sees one.
    KeptPointer* pointer = nullptr;
    // Where a drive says why it is not ready; nullptr where nobody hears it.
    Notices* notices = nullptr;

    // What a FAT medium is handed: the calls and the children, nothing more.
    operator FatServices() const {
        return {system, children};
    }  // NOLINT(google-explicit-constructor)
};

}  // namespace platform
