#pragma once

#include <functional>

#include "platform/child_runner.h"
#include "platform/dialogs.h"
#include "platform/system_calls.h"

namespace platform {

class DiskService;

// What the drives reach the machine through: every system call and every child program goes
// through these, so a test wraps one of them to make any single call fail. Kept by the host
// for its life; the drives hold a reference.
struct DriveServices {
    SystemCalls& system;
    Children& children;
    // Called between the chunks of a long copy and while a child program works, so the window
    // answers its desktop during a slow floppy write.
    std::function<void()> keepAlive;
    // The desktop's disk service, through which a floppy drive it knows has its disk looked at,
    // mounted and unmounted; nullptr where there is none to ask.
    const DiskService* disks = nullptr;
    // The pointer, an hourglass while the disk service is waited on (it may be asking the user
    // for a password); nullptr where nobody sees one.
    KeptPointer* pointer = nullptr;
};

}  // namespace platform
