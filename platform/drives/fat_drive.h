#pragma once

#include <sys/types.h>
#include <optional>

#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"
#include "platform/fat/fat_medium.h"

namespace platform {

// A drive whose disk is a FAT floppy written through mtools, never mounted: the disk's files
// lie in its root (a path with folders in it raises 76). Dir, OpenSource and CopyIn raise what
// FatMedium raises for the medium (71 no disk, 70 write-protected, 57 unreadable, 61 full, 52 a
// name FAT cannot hold); an image file of no standard floppy's size (a cut file) is 57 too.
class FatDrive : public Drive {
  public:
    FatDrive(DriveInfo info, const DriveServices& services);

    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;

  protected:
    // The image file or device that holds the disk now.
    virtual QString Medium() const = 0;
    // Whether the disk is there to be read: false when there is none yet, which reads as an
    // empty one. Only asks.
    virtual bool HasDisk() { return true; }
    // Gets the disk ready to be written, making it where there is none yet.
    virtual void MakeDisk() {}

    // Writes `source` to the disk as `name` (the path's one name, not yet read as FAT keeps
    // it), once the disk is made and checked: at once, unless a drive holds it back until its
    // disk is finished.
    virtual void Write(const QString& name, const SourceFile& source);

    // Makes `folder` and the folders above it that are missing.
    void MakeFolder(const QString& folder);

    const DriveServices& services_;
};

// A floppy drive that is a block device nothing has mounted (a:=/dev/fd0), or one image file
// that stands for the disk in it (a:=/home/u/disco.img; swapping disks is replacing the file).
class FloppyDrive : public FatDrive {
  public:
    // `medium` is the device or the image file.
    // An image file being written is locked against another program (which gets 71) from the
    // first write of a disk until the disk is finished or another one asked for.
    FloppyDrive(DriveInfo info, QString medium, const DriveServices& services);
    ~FloppyDrive() override;
    bool IsReady() const override;
    void InsertDisk(int number) override;
    void FinishDisk() override;
    void EndOfSet() override { Unlock(); }

  protected:
    QString Medium() const override { return medium_; }
    void MakeDisk() override;

  private:
    void Unlock();

    QString medium_;
    int lock_ = -1;  // the image, open and locked while its disk is written
};

}  // namespace platform
