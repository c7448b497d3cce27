#pragma once

#include <QString>
#include <vector>

// Floppy drives as udev knows them, for a machine without the desktop's disk service. Reading
// udev's database and deciding which disk is a floppy drive are apart, so the decision runs on
// sample records.
namespace platform {

// What udev says of one whole disk (a block device of type "disk").
struct UdevDisk {
    QString node;              // /dev/sdb, /dev/fd0
    qint64 sizeBytes = 0;      // of the medium in it now; 0 with none
    bool removable = false;    // its medium can be taken out (sysfs "removable")
    bool floppyDrive = false;  // udev's rules marked it a floppy drive (ID_DRIVE_FLOPPY=1)
    QString usbInterfaces;     // ID_USB_INTERFACES, ":080400:" for a USB floppy (UFI) drive
    QString fsType;            // ID_FS_TYPE of the file system on the whole disk, may be empty
};

// A floppy drive found through udev.
struct UdevFloppy {
    QString node;
    qint64 sizeBytes = 0;
    // A disk is in it: its size is not 0. A /dev/fd* device gives the size of the format it
    // was set to, disk or no disk, so there only reading the disk tells.
    bool hasMedia = false;
};

// udev's database of block devices, so that a test hands in its own disks.
class UdevDatabase {
  public:
    virtual ~UdevDatabase() = default;
    // Every whole disk of the block subsystem udev knows now; empty when udev cannot be read.
    virtual std::vector<UdevDisk> Disks() const = 0;
};

// This machine's database, read with libudev.
class SystemUdev final : public UdevDatabase {
  public:
    std::vector<UdevDisk> Disks() const override;
};

// Why libudev cannot be used (the loader's words), or empty when it can: without it and the disk
// service no USB floppy drive is seen.
QString UdevUnavailable();

// The floppy drives among `disks`, in the order given: a disk udev marks a floppy drive, a
// /dev/fd* device, a USB floppy (UFI) drive with or without a disk, or a removable disk of a
// floppy's size (2.88 MB at most) holding a FAT file system. Never a loop, RAM or zram device.
std::vector<UdevFloppy> ClassifyFloppies(const std::vector<UdevDisk>& disks);

}  // namespace platform
