#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

#include "platform/diskservice/disk_service.h"

// A client of the desktop's disk service, UDisks2 (org.freedesktop.UDisks2 on the system bus):
// how an ordinary user finds a USB floppy drive, with or without a disk, and mounts its disk.
// Every call is bounded by a timeout and blocks the thread that makes it. None ever starts the
// service (no bus activation), and none raises: a failure is a value the caller reads.
namespace platform {

class UDisksClient : public DiskService {
  public:
    // Queries wait at most `queryTimeoutMs`; Rescan, Mount and Unmount up to `actionTimeoutMs`,
    // since the service may first ask the user for a password.
    static constexpr int kQueryTimeoutMs = 2500;
    static constexpr int kActionTimeoutMs = 120000;

    // The client of the machine's system bus, connected at its first call: a run that never
    // looks for a floppy drive never connects.
    UDisksClient();
    // A client of `bus` (a test's private bus).
    explicit UDisksClient(QDBusConnection bus, int queryTimeoutMs = kQueryTimeoutMs,
                          int actionTimeoutMs = kActionTimeoutMs);

    // True when the bus is there and the service holds its name on it now.
    bool IsReachable() const override;

    // The floppy drives the service knows, with or without a disk: drives whose media
    // compatibility names the floppy disk ("floppy"; a Zip or Jaz drive's "floppy_zip" or
    // "floppy_jaz" takes no floppy disk), and /dev/fd* blocks. Empty when the service is not
    // reachable.
    std::vector<UDisksFloppy> FloppyDrives() const override;

    // The actions, as DiskService says; each waits its action timeout at most.
    UDisksResult Rescan(const QString& block) const override;
    UDisksResult Mount(const QString& block) const override;
    UDisksResult Unmount(const QString& block) const override;

  private:
    // Calls `method` of `interface` on `block` with no options, and says how it went; the
    // method's answer, if any, goes to `answer`.
    UDisksResult OnBlock(const QString& block, const QString& interface, const QString& method,
                         QVariant* answer = nullptr) const;

    const QDBusConnection& bus() const;

    mutable std::optional<QDBusConnection> bus_;
    int queryTimeoutMs_;
    int actionTimeoutMs_;
};

}  // namespace platform
