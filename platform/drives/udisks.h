#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <optional>
#include <vector>

#include "platform/drives/disk_service.h"

// A client of the desktop's disk service, UDisks2 (org.freedesktop.UDisks2 on the system bus):
// how an ordinary user finds a USB floppy drive, with or without a disk, and mounts its disk.
// Every call is bounded by a timeout; one that may wait long (a password asked, a slow drive)
// keeps the caller's thread answering through the `keepAlive` it is handed. None ever starts the
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

    // The actions below may wait for minutes (the service asking the user for a password, a
    // slow drive). While one waits, `keepAlive` (when given) is called on the caller's thread
    // at least every hundredth of a second. Each fails with kGaveUp when its timeout passes
    // with no answer; the service may still carry it out afterwards.

    // Makes the service look at the drive of `block` again (udev probes the disk anew), so
    // that FloppyDrives then tells whether a disk is in a floppy drive and what it holds.
    // Fails with kNoService, kGaveUp, kNotAuthorized, kGone or kOther.
    UDisksResult Rescan(const QString& block,
                        const std::function<void()>& keepAlive = {}) const override;

    // Mounts the file system of `block` (an object path from FloppyDrives) where the service
    // chooses, as the user. Fails with kNoService, kGaveUp, kNotAuthorized, kNoFilesystem,
    // kNoMedium, kUnreadable, kBusy, kAlreadyMounted (with the mount point), kGone or kOther.
    UDisksResult Mount(const QString& block,
                       const std::function<void()>& keepAlive = {}) const override;

    // Unmounts the file system of `block`. Fails with kNoService, kGaveUp, kNotAuthorized,
    // kNoFilesystem, kBusy (a program still has a file open on it), kNotMounted, kGone or
    // kOther.
    UDisksResult Unmount(const QString& block,
                         const std::function<void()>& keepAlive = {}) const override;

  private:
    // Calls `method` of `interface` on `block` with no options, and says how it went; the
    // method's answer, if any, goes to `answer`.
    UDisksResult OnBlock(const QString& block, const QString& interface, const QString& method,
                         const std::function<void()>& keepAlive, QVariant* answer = nullptr) const;

    const QDBusConnection& bus() const;

    mutable std::optional<QDBusConnection> bus_;
    int queryTimeoutMs_;
    int actionTimeoutMs_;
};

}  // namespace platform
