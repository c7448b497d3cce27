#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The desktop's disk service: how an ordinary user finds a USB floppy drive, with or without
// a disk, and mounts its disk.
namespace platform {

// A floppy drive as the service knows it now.
struct UDisksFloppy {
    QString drive;   // object path of the drive; empty for a /dev/fd* block the service
                     // ties to no drive
    QString block;   // object path of the block that holds the disk: the whole disk, or the
                     // partition holding the file system when the whole disk holds none
    QString device;  // that block's device node: /dev/sdb, /dev/fd0
    // A disk is known to be in the drive. The service cannot see a disk go in or out of a
    // floppy drive and never sizes one (opening it makes the drive spin): it says `Size` 0 and
    // `MediaAvailable` true whatever is in it. Where it does not see changes
    // (`mediaChangeDetected` false) a disk is known only from udev's probe of it (`idUsage`),
    // which Rescan renews; an empty drive, a disk of zeros and one that cannot be read all probe
    // as nothing, and only a mount attempt tells them apart.
    bool mediaAvailable = false;
    bool mediaChangeDetected = false;  // the service sees a disk go in and out by itself
    qint64 sizeBytes = 0;              // of the disk as the service sized it; 0 when it did not
    QString idUsage;                   // what the probe found: "filesystem", "other"...; empty
                                       // with no disk or none it recognised
    QString idType;                    // the file system's type as probed: "vfat"...
    QString label;                     // the file system's label, may be empty
    bool canMount = false;             // the service offers to mount the block (even empty)
    bool hasFilesystem = false;        // the probe found a file system the service can mount
    QStringList mountPoints;           // where it is mounted now, may be empty
};

// Why a call to the service did not do what was asked.
enum class UDisksFailure {
    kNone,            // it did
    kNoService,       // no system bus, no service on it, or no answer within the timeout
    kGaveUp,          // an action had no answer within its timeout: it may still be done
    kNotAuthorized,   // the user may not (org.freedesktop.UDisks2.Error.NotAuthorized*)
    kNoFilesystem,    // the block holds no file system it can mount (an unformatted disk)
    kNoMedium,        // Mount: the drive holds no disk
    kUnreadable,      // Mount: no disk, or one that cannot be read (the two look alike)
    kBusy,            // a program still uses the mounted disk (Error.DeviceBusy)
    kAlreadyMounted,  // Mount: it was mounted already; `mountPoint` says where
    kNotMounted,      // Unmount: it was not mounted
    kGone,            // the block is gone: the drive was unplugged
    kOther,           // anything else; `message` says what the service said
};

struct UDisksResult {
    UDisksFailure failure = UDisksFailure::kNone;
    QString mountPoint;  // Mount: where the disk is now (also with kAlreadyMounted when known)
    QString message;     // the service's error name and text, for a log; empty on success

    bool ok() const { return failure == UDisksFailure::kNone; }
};

// The desktop's disk service as the drives and the host use it: one interface, so that a test
// hands in a service of its own. Every call is bounded by a timeout and none raises: a failure
// is a value the caller reads.
class DiskService {
  public:
    virtual ~DiskService() = default;

    // True when the service can be asked now.
    virtual bool IsReachable() const = 0;
    // The floppy drives the service knows, with or without a disk; empty when it is not
    // reachable.
    virtual std::vector<UDisksFloppy> FloppyDrives() const = 0;

    // The actions below block the calling thread (never the window's: the disk-set loop runs
    // on a thread of its own) and may wait for minutes (the service asking the user for a
    // password, a slow drive). Each fails with kGaveUp when its timeout passes with no answer;
    // the service may still carry it out afterwards.

    // Makes the service look at the drive of `block` again (udev probes the disk anew), so
    // that FloppyDrives then tells whether a disk is in a floppy drive and what it holds.
    // Fails with kNoService, kGaveUp, kNotAuthorized, kGone or kOther.
    virtual UDisksResult Rescan(const QString& block) const = 0;
    // Mounts the file system of `block` (an object path from FloppyDrives) where the service
    // chooses, as the user. Fails with kNoService, kGaveUp, kNotAuthorized, kNoFilesystem,
    // kNoMedium, kUnreadable, kBusy, kAlreadyMounted (with the mount point), kGone or kOther.
    virtual UDisksResult Mount(const QString& block) const = 0;
    // Unmounts the file system of `block`. Fails with kNoService, kGaveUp, kNotAuthorized,
    // kNoFilesystem, kBusy (a program still has a file open on it), kNotMounted, kGone or
    // kOther.
    virtual UDisksResult Unmount(const QString& block) const = 0;
};

}  // namespace platform
