#pragma once

#include <functional>

namespace platform {

// The file-system operations of Dir and FileCopy, as a fault can be injected into them.
enum class FsOp {
    kListFolder,
    kOpenSource,
    kOpenDestination,
    kRead,
    kWrite,
    kSync,
    kClose,
    kVerify,  // opening the finished copy to read it back
};

// A hook for tests: called before each file-system operation; a non-zero errno returned makes
// that operation fail with it. Empty (no faults) unless a test sets it.
using FaultHook = std::function<int(FsOp)>;
void SetFaultHook(FaultHook hook);
int InjectedFault(FsOp op);

}  // namespace platform
