#pragma once

#include "platform/runtime_error.h"

#include <sys/types.h>
#include <QByteArray>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/child_runner.h"
#include "platform/system_calls.h"

namespace platform {

// What FAT through mtools reaches the machine by: its system calls and its child programs, and
// nothing else.
struct FatServices {
    SystemCalls& system;
    Children& children;
};

}  // namespace platform

// GNU mtools as the FAT medium runs it: the program found, a clean environment and a
// configuration of the program's own, the disk handed over open, and what a run's words mean
// as a run-time error number.
namespace platform::mtools {

// Where the child finds the file to copy, the configuration and the disk. The disk is handed
// over open, as /dev/fd/5: mtools never reads a path of ours, where "x.img@@0" would mean
// another file at an offset.
inline constexpr int kChildSourceFd = 3;
inline constexpr char kChildSourceName[] = "3";
inline constexpr int kChildConfigFd = 4;
inline constexpr int kChildMediumFd = 5;
inline constexpr char kChildMedium[] = "/dev/fd/5";
// The files of a run that copies several: the child's descriptors from 6 on, in their order.
inline constexpr int kChildFirstFileFd = 6;

// How long one mtools run may take: a floppy writes some 30 KB a second, and a copy is read
// back too; past this, the drive has hung.
inline constexpr std::chrono::milliseconds kShortestDeadline = std::chrono::seconds(30);
inline std::chrono::milliseconds DeadlineFor(off_t bytes) {
    return kShortestDeadline + std::chrono::milliseconds(bytes / 8);
}

// What one mtools run left.
struct Outcome : ChildOutcome {
    QString cause;  // why a run did not start, in words
    bool exited() const { return end == End::kExited; }
    // mtools refuses a name it cannot use, and a name already taken under "-D s", without a word.
    bool silent() const { return exited() && status != 0 && errors.trimmed().isEmpty(); }
    bool Says(const char* text) const { return errors.toLower().contains(text); }
};

// The number for a failed run. `notFound` is what "file not found" means to the caller; what
// the table does not know gives 75.
int NumberFor(const Outcome& o, int notFound);
// The error of a failed run: its number, with what a box cannot say (why it did not start, a
// message the table does not know, a bad line in /etc/mtools.conf) as its cause.
RuntimeError ErrorFor(const Outcome& o, int notFound);

// Runs one mtools command to its end through the host's runner, the disk open as `medium`
// (or none, -1) and the file `sourceFd` (or none) as the child's descriptor 3; `output`
// receives its standard output as it comes. Nothing goes through a shell. A run that cannot
// start (no mtools program, no configuration) comes back not started, with its cause.
Outcome Run(const FatServices& services, std::initializer_list<QByteArray> arguments, int medium,
            int sourceFd, std::function<void(const char*, size_t)> output = {},
            std::chrono::milliseconds deadline = kShortestDeadline);
// The same for a run of many arguments, the open files `files` handed over as the child's
// descriptors kChildFirstFileFd, kChildFirstFileFd + 1...
Outcome Run(const FatServices& services, const std::vector<QByteArray>& arguments, int medium,
            const std::vector<int>& files, std::function<void(const char*, size_t)> output,
            std::chrono::milliseconds deadline);

}  // namespace platform::mtools
