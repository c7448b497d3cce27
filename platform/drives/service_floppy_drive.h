#pragma once

#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "platform/diskservice/udisks.h"
#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"

namespace platform {

class FolderDrive;
class FloppyDrive;

// A floppy drive the desktop's disk service knows (a USB floppy drive, /dev/fd*), listed with or
// without a disk in it. Its disk is reached as the service finds it at each operation: mounted
// (by anyone), it is the folder it is mounted on; mounted nowhere, it is written through mtools
// on the device when the program may open that (root, a member of the disk group), and is
// otherwise mounted through the service, as the user, and written as a folder.
//
// Dir, OpenSource and CopyIn raise what the folder or the device raise, and when the disk
// cannot be reached: 52 (Dir) or 71 without a disk, with a disk that holds no file system (it
// is never formatted here: the user inserts a formatted one, or formats it, and retries), with
// a disk busy, the drive unplugged, the service gone or not answering in time; 70 when the
// service says the user may not mount it; 57 when it fails to mount it for any other reason
// (a formatted disk it cannot read). Each carries its cause (MakeReady tells it to the notices).
// The service's actions are waited on with the hourglass shown.
//
// What the service says of the drive is asked once for each step: a look is kept for
// kLookLife, and forgotten whenever this drive acts on the disk or is told of a new one.
class ServiceFloppyDrive : public Drive {
  public:
    // Long enough for a step (the look before it, its copy and its check), too short for a
    // disk to be swapped.
    static constexpr std::chrono::milliseconds kLookLife{500};

    ServiceFloppyDrive(DriveInfo info, const DriveServices& services);
    ~ServiceFloppyDrive() override;

    // A disk is in it: mounted, or found by the service when it looks at the drive again; or
    // it may be, where only a mount can tell.
    bool IsReady() const override;
    // Where only a mount can tell, the disk is mounted to know.
    bool MakeReady() override;
    QString Root() const override;  // the mount point while the disk is mounted
    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;
    // What was copied to a mounted disk is made durable, and its folder let go.
    void FinishDisk() override { SyncDisk(); }
    void SyncDisk() override;
    int TakeLost() override;
    // Unmounts the disk, whoever mounted it (the service flushes it first), so that it can be
    // taken out and the next one is never reached through its mount. Raises 71 when the
    // service will not (a program still has a file open on it, or it does not answer).
    void ReleaseDisk() override;
    // Unmounts the disk when this program mounted it; a refusal leaves it mounted.
    void EndOfSet() override;
    void InsertDisk(int number) override;

  private:
    // What the service says of this drive now; nothing when it no longer knows it.
    std::optional<UDisksFloppy> Look() const;
    // The same, after the service has looked at the drive again where it cannot see a disk go
    // in or out by itself; nothing when it cannot. The look of this step when one is kept.
    const std::optional<UDisksFloppy>& LookAgain() const;
    // The next step looks afresh: this drive acted on the disk, or a disk may have changed.
    void Forget() const { lookAge_.invalidate(); }
    // The drive the disk is reached through now, mounting the disk when it must; raises
    // `notReady` without a disk.
    Drive& Disk(int notReady);
    // Runs an action of the service, the hourglass shown meanwhile.
    UDisksResult Wait(const std::function<UDisksResult()>& action) const;
    bool CanOpen(const QString& device) const;
    // Why a disk cannot be used: the error number (0 for the caller's own "not ready") and
    // its cause in words.
    struct Refusal {
        int number = 0;
        QString cause;
    };
    // Only a mount attempt can tell whether a disk is in: the service cannot see one go in,
    // udev's probe found nothing, and the device cannot be opened here.
    bool OnlyAMountTells(const UDisksFloppy& f) const;
    // Mounts the disk as the user through the service; where it is mounted, or empty with
    // `refusal` said.
    QString MountAsUser(const UDisksFloppy& f, Refusal* refusal) const;
    Drive& Folder(const QString& mountPoint);
    void Unmount(bool raise);

    const DriveServices& services_;
    std::unique_ptr<FolderDrive> folder_;
    // What the disk's folder lost (copies that could not be named), kept past its unmount
    // until they are taken.
    int lost_ = 0;
    int lostCopies_ = 0;
    void KeepWhatWasLost();
    std::unique_ptr<FloppyDrive> device_;
    // This program mounted the disk that is in it (asking whether one is in may mount it).
    mutable bool mountedHere_ = false;
    // A mount this program stopped waiting for: the service may still carry it out, and the
    // mount is then this program's to undo.
    mutable bool mountUnanswered_ = false;
    // The last look, and how long ago it was taken.
    mutable std::optional<UDisksFloppy> look_;
    mutable QElapsedTimer lookAge_;
};

}  // namespace platform
