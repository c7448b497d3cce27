#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "platform/drive_table.h"
#include "platform/media/mount_table.h"
#include "platform/system_calls.h"

// Finding the drives of this machine, and the explicit table that replaces them.
namespace platform {

// The explicit table of QTL99_DRIVES: "a:=/media/floppy0;d:=/media/cdrom0,optical". A folder
// written in double quotes is taken as it is, ";", "," and blanks at its ends included, with ""
// for a quote: a:="/home/ana/x;y ",images. Malformed entries are skipped and described in
// `problems`.
struct ParsedDriveTable {
    DriveInfos drives;
    QStringList problems;
};
ParsedDriveTable ParseDriveTable(const QString& text);
// `folder` written so that the table takes it as it is.
QString QuoteTableFolder(const QString& folder);

// What detection needs to know about block devices, so that it runs on sample tables.
class DeviceProbe {
  public:
    virtual ~DeviceProbe() = default;
    virtual bool Exists(const QString& device) const = 0;
    virtual qint64 SizeBytes(const QString& device) const = 0;  // -1 when unknown
    virtual QString Label(const QString& device) const = 0;     // empty for none
    // The disk's medium can be taken out.
    virtual bool Removable(const QString& device) const = 0;
};

// The probe of this machine's block devices (/sys, /dev/disk/by-label), each look through
// `system`.
class SystemDeviceProbe final : public DeviceProbe {
  public:
    explicit SystemDeviceProbe(SystemCalls& system) : system_(system) {}
    bool Exists(const QString& device) const override;
    qint64 SizeBytes(const QString& device) const override;
    QString Label(const QString& device) const override;
    bool Removable(const QString& device) const override;

  private:
    // The name /sys gives the block device `device` (links resolved); empty when it is none.
    QString BlockName(const QString& device) const;
    SystemCalls& system_;
};

// The letters detected devices were given, kept for the life of the process: a device keeps
// its letter while it comes and goes, and a new one takes the next free letter of its kind.
class DriveLetters {
  public:
    struct Known {
        QChar letter;
        DriveKind kind = DriveKind::kFixed;
    };
    // The letter of `device`, giving it the first free one from `first` to `last` when it is new;
    // a null QChar when every such letter is taken.
    QChar LetterFor(const QString& device, DriveKind kind, char first, char last);
    const std::vector<std::pair<QString, Known>>& known() const { return known_; }

  private:
    std::vector<std::pair<QString, Known>> known_;
};

// A floppy drive found by the desktop's disk service or by udev, with or without a disk.
struct FoundFloppy {
    QString device;      // /dev/sdb, /dev/fd0
    QString drive;       // the service's object for the drive, which keeps its letter whatever
                         // device it has; empty for a /dev/fd* device or when udev found it
    QString block;       // the service's object for its disk; empty when udev found it
    QString mountPoint;  // where the service says its disk is mounted; empty when it is not
    QString label;
};

// The detected table, in letter order: c: is "/", floppy drives (those `found`, fd devices,
// or removable FAT disks of a floppy's size; never a loop device) take a: and b:, optical drives
// and then other removable media take d: onwards in mount-table order; unmounted fstab entries for
// floppy and optical devices are listed as drives that are not ready, and so is a device `letters`
// knows that is gone. With fewer than two floppy drives, a drive of images in `imagesFolder` takes
// the next floppy letter (a: on a machine without a floppy drive), unless `imagesFolder` is empty.
DriveInfos DetectDrives(const std::vector<MountEntry>& mounts, const std::vector<MountEntry>& fstab,
                        const DeviceProbe& probe, DriveLetters& letters,
                        const QString& imagesFolder = {},
                        const std::vector<FoundFloppy>& found = {});

// Where a drive of images keeps its images: "Disquetes QTL99" in the documents folder
// `documents` when that folder, really (links and ".." resolved, as far as it exists), lies
// inside the home folder `home`; otherwise in `home`/Documents. The folder given back is the
// resolved one, so that nothing resolved later can lead elsewhere. Every look goes through
// `system`.
QString ImagesFolderIn(SystemCalls& system, const QString& home, const QString& documents);

}  // namespace platform
