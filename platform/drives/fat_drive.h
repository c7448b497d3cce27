#pragma once

#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"
#include "platform/drives/fat_medium.h"

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
    // True when there is no disk yet that would be an empty one (a drive of images whose image
    // is not made yet); it is made the first time it is written.
    virtual bool MadeWhenWritten() const { return false; }

    // Makes `folder` and the folders above it that are missing.
    void MakeFolder(const QString& folder);

    const DriveServices& services_;
};

// A floppy drive that is a block device nothing has mounted (a:=/dev/fd0), or one image file
// that stands for the disk in it (a:=/home/u/disco.img; swapping disks is replacing the file).
class FloppyDrive : public FatDrive {
  public:
    // `medium` is the device or the image file.
    FloppyDrive(DriveInfo info, QString medium, const DriveServices& services);
    bool IsReady() const override;

  protected:
    QString Medium() const override { return medium_; }

  private:
    QString medium_;
};

// A drive of floppy images: its folder holds one image a disk, Disco<n>.img, and the disk "in"
// it is the image of the disk last asked for (disk 1 before any). An image that does not exist
// yet is an empty standard 1.44 MB floppy, made (with its folder) when it is first written; a link
// at its name counts as no image and is replaced by the first write, never followed.
class ImagesDrive : public FatDrive {
  public:
    ImagesDrive(DriveInfo info, const DriveServices& services);

    QString ListEntry() const override;  // "a: [Disquetes QTL99]": where the images go
    QString ToolTip() const override;
    bool IsReady() const override { return true; }
    void InsertDisk(int number) override { disk_ = number; }

  protected:
    QString Medium() const override;
    bool MadeWhenWritten() const override;

  private:
    int disk_ = 1;
};

}  // namespace platform
