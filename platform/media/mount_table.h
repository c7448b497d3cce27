#pragma once

#include <sys/types.h>

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/system_calls.h"

// The mount tables, read with util-linux's libmount: what is mounted where now, and a watch
// that tells when that changes.
namespace platform {

// One entry of /proc/self/mountinfo or /etc/fstab.
struct MountEntry {
    QString device;  // the source as written: /dev/sdb1, LABEL=..., proc
    QString mountPoint;
    QString fsType;
    dev_t deviceNumber = 0;                // of the mounted file system; 0 when unknown (fstab)
    QString fsRoot = QStringLiteral("/");  // folder of the file system mounted there (bind mounts)
};
// A mount table in any of the kernel's or fstab's formats; libmount tells them apart.
std::vector<MountEntry> ParseMountTable(const QString& text);
std::vector<MountEntry> ParseMountTable(QByteArray bytes);
// Why this machine's tables cannot be read with libmount (the loader's words), or empty when they
// can: without it no mounted disk is seen.
QString MountTablesUnavailable();

// This machine's tables, read afresh through `system`; empty when they cannot be read.
std::vector<MountEntry> ReadMountInfo(SystemCalls& system);  // /proc/self/mountinfo
std::vector<MountEntry> ReadFstab(SystemCalls& system);      // /etc/fstab

// The watch of the mount table, as a question: has anything been mounted or unmounted since
// it was last asked? Where it cannot watch, the answer is always yes.
class MountWatch {
  public:
    virtual ~MountWatch() = default;
    virtual bool Changed() = 0;
};
// This machine's watch (libmount's monitor), started now.
std::unique_ptr<MountWatch> WatchMounts();
// The same watch started at its first question, which answers yes: a run that never looks at
// the drives never starts one.
std::unique_ptr<MountWatch> WatchMountsFromFirstQuestion();

// Where the block device `device` is mounted in `mounts` (the whole file system if it is
// mounted as such anywhere, else the first place a part of it is), or nothing when it is not.
std::optional<QString> MountPointOf(dev_t device, const std::vector<MountEntry>& mounts);

}  // namespace platform
