#pragma once

#include <sys/types.h>
#include <QByteArray>

#include "platform/system_calls.h"

// The one scheme of the program's temporary names, so that what a killed run left behind is
// known by its name wherever it lies: "." + stem + "QTL99-<pid>-<k>" + suffix, with the id
// of the process that made it and a count of its own.
namespace platform {

// A new temporary name of this process: each call gives another one.
QByteArray TemporaryName(const QByteArray& stem, const QByteArray& suffix);

// A temporary name read back: its stem and the process that made it.
struct TemporaryNameParts {
    QByteArray stem;
    pid_t owner = 0;
};
// The parts of `name` when it is a temporary name with `suffix`; owner 0 when it is not one.
TemporaryNameParts ReadTemporaryName(const QByteArray& name, const QByteArray& suffix);

// Removes the entry `name` of the open folder `folder` when it is the leftover of a program of
// this user that no longer runs: a regular file (never a link, a FIFO, a folder), owned by
// this user, and `owner`, the process id its name gives, neither this process nor one that
// runs. True when it went.
bool RemoveLeftover(SystemCalls& system, int folder, const char* name, pid_t owner);

}  // namespace platform
