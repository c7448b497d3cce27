#pragma once

#include <sys/stat.h>
#include <memory>

#include "platform/cdimage/cd_image.h"
#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"

namespace platform {

// A CD drive whose disc is an image file (the table's root): read in-process, never written.
// Names are found as on any other drive (the exact one, else the first without regard to
// case), ISO 9660 versions dropped. The image is opened when first asked for and again when
// its file changes (a sheet or its .bin); why it cannot be is said once, and the drive is then not
// ready.
//
// Nothing on it has a Linux path, so no program on it can be started (Shell raises 70, its
// cause said). OpenSource reads the whole file into memory first: a file with a sector that
// cannot be read raises 57, and one whose name its folder holds twice raises 57 too, before
// anything is written. CopyIn raises 70: a CD is only read.
class CdImageDrive : public Drive {
  public:
    CdImageDrive(DriveInfo info, const DriveServices& services);
    ~CdImageDrive() override;

    // "d: [VOLUMEN]" with the image's volume name.
    QString ListEntry() const override;
    QString ToolTip() const override { return info().root; }
    bool IsReady() const override { return Image() != nullptr; }
    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    QString ReadThrough(const DrivePath& path, qint64* bytes) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;

  private:
    // The image, opened (again when its file is not the one opened); nullptr when it cannot be.
    const CdImage* Image() const;
    // The entry `path` names, and the folder it lies in; status as Resolve's.
    const CdEntry* Find(const DrivePath& path, ResolvedPath* resolved) const;
    // The file `path` names, one that can be read; raises as OpenSource does when there is none.
    const CdEntry& FileAt(const DrivePath& path) const;
    // The whole of `entry` to the end of `out` (kept nowhere when -1); raises 57 with the sector
    // that cannot be read.
    void ReadWhole(const CdEntry& entry, int out) const;
    // What file `entry`, reached by `path`, is, as SourceFile::identity.
    QString Identity(const DrivePath& path, const CdEntry& entry) const;

    const DriveServices& services_;
    mutable std::unique_ptr<CdImage> image_;
    mutable struct stat opened_ {};  // the image file when it was opened
    mutable QString told_;           // the last cause said
};

}  // namespace platform
