#pragma once

#include <functional>

#include "platform/child_runner.h"
#include "platform/system_calls.h"

namespace platform {

// What the drives reach the machine through: every system call and every child program goes
// through these, so a test wraps one of them to make any single call fail. Kept by the host
// for its life; the drives hold a reference.
struct DriveServices {
    SystemCalls& system;
    Children& children;
    // Called between the chunks of a long copy and while a child program works, so the window
    // answers its desktop during a slow floppy write.
    std::function<void()> keepAlive;
};

}  // namespace platform
