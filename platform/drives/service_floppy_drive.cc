#include "platform/drives/service_floppy_drive.h"

#include <fcntl.h>
#include <QFile>
#include <QRegularExpression>

#include "platform/drives/fat_drive.h"
#include "platform/drives/folder_drive.h"
#include "platform/drives/medium.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

// A disk is in a drive the service cannot watch: a classic floppy device answers a blocking
// open only with a disk in it (its size is that of its format, disk or none); for any other
// the size the service found when it last looked tells.
bool DiskIn(SystemCalls& system, const UDisksFloppy& floppy) {
    static const QRegularExpression kFd(QStringLiteral("^/dev/fd[0-9]+$"));
    if (kFd.match(floppy.device).hasMatch())
        return MediumAt(system, floppy.device).diskIn;
    return floppy.mediaAvailable;
}

}  // namespace

ServiceFloppyDrive::ServiceFloppyDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services) {}

ServiceFloppyDrive::~ServiceFloppyDrive() = default;

std::optional<UDisksFloppy> ServiceFloppyDrive::Look() const {
    if (services_.disks == nullptr)
        return std::nullopt;
    for (UDisksFloppy& f : services_.disks->FloppyDrives()) {
        if (f.block == info().serviceBlock)
            return std::move(f);
    }
    return std::nullopt;
}

std::optional<UDisksFloppy> ServiceFloppyDrive::LookAgain() const {
    std::optional<UDisksFloppy> f = Look();
    if (f && f->mountPoints.isEmpty() && !f->mediaChangeDetected) {
        // The service cannot see a floppy go in or out: it looks only when asked to.
        if (!services_.disks->Rescan(f->block).ok())
            return std::nullopt;
        f = Look();
    }
    return f;
}

bool ServiceFloppyDrive::IsReady() const {
    const std::optional<UDisksFloppy> f = LookAgain();
    return f && (!f->mountPoints.isEmpty() || DiskIn(services_.system, *f));
}

QString ServiceFloppyDrive::Root() const {
    return info().mounted ? info().root : QString();
}

ResolvedPath ServiceFloppyDrive::Resolve(const DrivePath& path) const {
    if (!Root().isEmpty()) {
        ResolvedPath r = ResolveInFolder(Root(), path);
        r.drive = info();
        return r;
    }
    return ResolveInRoot(info(), path);
}

Drive& ServiceFloppyDrive::Folder(const QString& mountPoint) {
    if (!folder_ || folder_->info().root != mountPoint) {
        DriveInfo mounted = info();
        mounted.root = mountPoint;
        mounted.mounted = true;
        folder_ = std::make_unique<FolderDrive>(mounted, services_);
    }
    return *folder_;
}

Drive& ServiceFloppyDrive::Disk(int notReady) {
    const std::optional<UDisksFloppy> f = LookAgain();
    if (!f)
        throw RuntimeError(notReady);
    if (!f->mountPoints.isEmpty())
        return Folder(f->mountPoints.first());
    mountedHere_ = false;  // whatever this program mounted is gone
    if (!DiskIn(services_.system, *f))
        throw RuntimeError(notReady);

    // Where the device may be opened (root, the disk group), mtools writes it unmounted.
    const int fd = services_.system.Open(QFile::encodeName(f->device).constData(),
                                         O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd >= 0) {
        services_.system.Close(fd);
        if (!device_ || device_->info().device != f->device) {
            DriveInfo unmounted = info();
            unmounted.device = f->device;
            unmounted.root.clear();
            unmounted.mounted = false;
            device_ = std::make_unique<FloppyDrive>(unmounted, f->device, services_);
        }
        return *device_;
    }

    // Otherwise the service mounts it as the user. A disk without a file system is left as
    // it is: formatting would wipe whatever it holds.
    if (!f->hasFilesystem)
        throw RuntimeError(notReady);
    const UDisksResult mounted = services_.disks->Mount(f->block);
    switch (mounted.failure) {
        case UDisksFailure::kNone:
            mountedHere_ = true;
            return Folder(mounted.mountPoint);
        case UDisksFailure::kAlreadyMounted:
            if (!mounted.mountPoint.isEmpty())
                return Folder(mounted.mountPoint);
            throw RuntimeError(notReady);
        case UDisksFailure::kNotAuthorized:
            throw RuntimeError(errors::kPermissionDenied);
        case UDisksFailure::kOther:
            throw RuntimeError(errors::kDeviceIO);
        default:  // no file system after all, busy, unplugged, the service gone
            throw RuntimeError(notReady);
    }
}

QString ServiceFloppyDrive::Dir(const DrivePath& path) {
    return Disk(errors::kBadFileName).Dir(path);
}

SourceFile ServiceFloppyDrive::OpenSource(const DrivePath& path) {
    return Disk(errors::kDiskNotReady).OpenSource(path);
}

void ServiceFloppyDrive::CopyIn(const DrivePath& path, const SourceFile& source) {
    Disk(errors::kDiskNotReady).CopyIn(path, source);
}

void ServiceFloppyDrive::SyncDisk() {
    if (folder_)
        folder_->SyncDisk();
}

void ServiceFloppyDrive::Unmount(bool raise) {
    // The folder holds its last names open until they are synced: let go first, or the
    // service finds the disk busy.
    try {
        SyncDisk();
    } catch (const RuntimeError&) {
        if (raise)
            throw;
    }
    const std::optional<UDisksFloppy> f = Look();
    if (f && !f->mountPoints.isEmpty()) {
        const UDisksFailure failure = services_.disks->Unmount(f->block).failure;
        if (failure != UDisksFailure::kNone && failure != UDisksFailure::kNotMounted &&
            failure != UDisksFailure::kGone) {
            if (raise)
                throw RuntimeError(errors::kDiskNotReady);
            return;
        }
    }
    mountedHere_ = false;
    folder_.reset();
}

void ServiceFloppyDrive::ReleaseDisk() {
    Unmount(true);
}

void ServiceFloppyDrive::EndOfSet() {
    if (mountedHere_)
        Unmount(false);
}

}  // namespace platform
