#include "platform/drives/service_floppy_drive.h"

#include <fcntl.h>
#include <QFile>
#include <QRegularExpression>
#include <utility>

#include "platform/drives/fat_drive.h"
#include "platform/drives/folder_drive.h"
#include "platform/media/floppy.h"
#include "platform/media/medium.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

// A disk is in a drive the service cannot watch: a classic floppy device answers a blocking
// open only with a disk in it (its size is that of its format, disk or none); for any other
// what udev's last probe found tells.
bool DiskIn(SystemCalls& system, const UDisksFloppy& floppy) {
    if (IsFloppyControllerDevice(floppy.device))
        return MediumAt(system, floppy.device).diskIn;
    return floppy.mediaAvailable;
}

// Raises `number` with its cause, in the same words.
[[noreturn]] void Fail(const DriveInfo& drive, const QString& device, int number,
                       const QString& cause) {
    throw RuntimeError(number, QStringLiteral("%1 (%2): %3").arg(drive.name(), device, cause));
}

const QString kNoDisk = QStringLiteral("no hay ningún disco en la unidad");
const QString kGone =
    QStringLiteral("la disquetera no está conectada, o el servicio de discos no responde");
const QString kNoFilesystem = QStringLiteral(
    "el disco no está formateado (no tiene sistema de archivos); formatéelo o inserte otro");

}  // namespace

ServiceFloppyDrive::ServiceFloppyDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services) {}

ServiceFloppyDrive::~ServiceFloppyDrive() = default;

UDisksResult ServiceFloppyDrive::Wait(const std::function<UDisksResult()>& action) const {
    // The hourglass while the window answers: the service may be asking for a password.
    KeptPointer* const pointer = services_.pointer;
    const int before = pointer != nullptr ? pointer->current() : pointer::kHourglass;
    if (before != pointer::kHourglass)
        pointer->SetMousePointer(pointer::kHourglass);
    struct PutBack {
        KeptPointer* pointer;
        int before;
        ~PutBack() {
            if (before != pointer::kHourglass)
                pointer->SetMousePointer(before);
        }
    } putBack{pointer, before};
    return action();
}

std::optional<UDisksFloppy> ServiceFloppyDrive::Look() const {
    if (services_.disks == nullptr)
        return std::nullopt;
    for (UDisksFloppy& f : services_.disks->FloppyDrives()) {
        if (f.block == info().serviceBlock)
            return std::move(f);
    }
    return std::nullopt;
}

const std::optional<UDisksFloppy>& ServiceFloppyDrive::LookAgain() const {
    if (lookAge_.isValid() && lookAge_.elapsed() < kLookLife.count())
        return look_;
    look_ = Look();
    if (look_ && look_->mountPoints.isEmpty() && !look_->mediaChangeDetected) {
        // The service cannot see a floppy go in or out: udev probes it anew when asked to.
        const QString block = look_->block;
        const UDisksResult rescan = Wait([&] { return services_.disks->Rescan(block); });
        look_ = rescan.ok() ? Look() : std::nullopt;
    }
    lookAge_.start();
    return look_;
}

bool ServiceFloppyDrive::IsReady() const {
    const std::optional<UDisksFloppy>& f = LookAgain();
    return f && (!f->mountPoints.isEmpty() || DiskIn(services_.system, *f) || OnlyAMountTells(*f));
}

bool ServiceFloppyDrive::MakeReady() {
    const std::optional<UDisksFloppy> f = LookAgain();
    if (!f)
        return false;
    if (!f->mountPoints.isEmpty() || DiskIn(services_.system, *f))
        return true;
    if (!OnlyAMountTells(*f))
        return false;
    // An empty drive, or a disk the probe did not recognise: only a mount attempt tells.
    Refusal why;
    if (!MountAsUser(*f, &why).isEmpty())
        return true;
    // Not ready, and why: said, since only the drive knows it.
    if (services_.notices != nullptr)
        services_.notices->Say(
            QStringLiteral("%1 (%2): %3").arg(info().name(), f->device, why.cause));
    return false;
}

QString ServiceFloppyDrive::Root() const {
    return info().mounted ? info().root : QString();
}

ResolvedPath ServiceFloppyDrive::Resolve(const DrivePath& path) const {
    if (!Root().isEmpty()) {
        ResolvedPath r = ResolveInFolder(services_.system, Root(), path);
        r.drive = info();
        return r;
    }
    return ResolveInRoot(info(), path);
}

Drive& ServiceFloppyDrive::Folder(const QString& mountPoint) {
    if (!folder_ || folder_->info().root != mountPoint) {
        // The copies the old folder holds are named first. What fails there is told at this
        // step, before anything else is written: the copies it lost are the last ones taken.
        std::optional<RuntimeError> failed;
        try {
            if (folder_)
                folder_->NameHeldCopies();
        } catch (const RuntimeError& error) {
            failed = error;
        }
        KeepWhatWasLost();
        DriveInfo mounted = info();
        mounted.root = mountPoint;
        mounted.mounted = true;
        folder_ = std::make_unique<FolderDrive>(mounted, services_);
        if (failed)
            throw *failed;
    }
    return *folder_;
}

bool ServiceFloppyDrive::CanOpen(const QString& device) const {
    const int fd = services_.system.Open(QFile::encodeName(device).constData(),
                                         O_RDWR | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    services_.system.Close(fd);
    return true;
}

bool ServiceFloppyDrive::OnlyAMountTells(const UDisksFloppy& f) const {
    return !f.mediaChangeDetected && f.canMount && !IsFloppyControllerDevice(f.device) &&
           !CanOpen(f.device);
}

QString ServiceFloppyDrive::MountAsUser(const UDisksFloppy& f, Refusal* refusal) const {
    const QString block = f.block;
    Forget();
    const UDisksResult mounted = Wait([&] { return services_.disks->Mount(block); });
    switch (mounted.failure) {
        case UDisksFailure::kNone:
            mountedHere_ = true;
            return mounted.mountPoint;
        case UDisksFailure::kAlreadyMounted:
            if (!mounted.mountPoint.isEmpty())
                return mounted.mountPoint;
            *refusal = {0, mounted.message};
            return {};
        case UDisksFailure::kNotAuthorized:
            *refusal = {errors::kPermissionDenied,
                        QStringLiteral("el servicio de discos no deja montar el disco a este "
                                       "usuario")};
            return {};
        case UDisksFailure::kNoMedium:
            *refusal = {0, kNoDisk};
            return {};
        case UDisksFailure::kNoFilesystem:
            *refusal = {0, kNoFilesystem};
            return {};
        case UDisksFailure::kUnreadable:
            // With a file system found on it, the disk is there and cannot be read now.
            *refusal = f.hasFilesystem
                           ? Refusal{errors::kDeviceIO, QStringLiteral("el disco no se puede leer")}
                           : Refusal{0, QStringLiteral("no hay ningún disco en la unidad, o no se "
                                                       "puede leer")};
            return {};
        case UDisksFailure::kGaveUp:
            // It may still be mounted: the next look takes that mount as this program's.
            mountUnanswered_ = true;
            *refusal = {0, QStringLiteral("el servicio de discos no ha contestado a tiempo")};
            return {};
        case UDisksFailure::kBusy:
            *refusal = {0, QStringLiteral("el disco está ocupado")};
            return {};
        case UDisksFailure::kOther:
            *refusal = {
                errors::kDeviceIO,
                QStringLiteral("el servicio de discos no pudo montarlo: ") + mounted.message};
            return {};
        default:  // unplugged, the service gone
            *refusal = {0, kGone};
            return {};
    }
}

Drive& ServiceFloppyDrive::Disk(int notReady) {
    const std::optional<UDisksFloppy> f = LookAgain();  // a copy: a mount below forgets it
    if (!f)
        Fail(info(), info().device, notReady, kGone);
    if (!f->mountPoints.isEmpty()) {
        // A mount this program stopped waiting for is its own all the same.
        mountedHere_ = mountedHere_ || mountUnanswered_;
        mountUnanswered_ = false;
        return Folder(f->mountPoints.first());
    }
    mountedHere_ = false;  // whatever this program mounted is gone
    const bool diskIn = DiskIn(services_.system, *f);

    // Where the device may be opened (root, the disk group), mtools writes it unmounted.
    if (diskIn && CanOpen(f->device)) {
        if (!device_ || device_->info().device != f->device) {
            DriveInfo unmounted = info();
            unmounted.device = f->device;
            unmounted.root.clear();
            unmounted.mounted = false;
            device_ = std::make_unique<FloppyDrive>(unmounted, f->device, services_);
        }
        return *device_;
    }
    // A disk the probe found no file system on is left as it is: formatting would wipe
    // whatever it holds.
    if (diskIn && !f->idUsage.isEmpty() && !f->hasFilesystem)
        Fail(info(), f->device, notReady, kNoFilesystem);
    if (!diskIn && !OnlyAMountTells(*f))
        Fail(info(), f->device, notReady, kNoDisk);

    // Otherwise the service mounts it as the user.
    Refusal why;
    const QString mountPoint = MountAsUser(*f, &why);
    if (!mountPoint.isEmpty())
        return Folder(mountPoint);
    Fail(info(), f->device, why.number != 0 ? why.number : notReady, why.cause);
}

QString ServiceFloppyDrive::Dir(const DrivePath& path) {
    return Disk(errors::kNoDiskToList).Dir(path);
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
    if (lostCopies_ > 0)
        throw RuntimeError(lost_);
}

int ServiceFloppyDrive::TakeLost() {
    KeepWhatWasLost();
    lost_ = 0;
    return std::exchange(lostCopies_, 0);
}

void ServiceFloppyDrive::KeepWhatWasLost() {
    if (!folder_)
        return;
    const int number = folder_->lost();
    if (const int copies = folder_->TakeLost(); copies > 0) {
        if (lostCopies_ == 0)
            lost_ = number;
        lostCopies_ += copies;
    }
}

void ServiceFloppyDrive::Unmount(bool raise) {
    // The folder holds its last names open until they are synced: let go first, or the
    // service finds the disk busy.
    try {
        if (folder_)
            folder_->NameHeldCopies();
    } catch (const RuntimeError&) {
        if (raise)
            throw;
    }
    Forget();
    const std::optional<UDisksFloppy> f = Look();
    if (f && !f->mountPoints.isEmpty()) {
        const QString block = f->block;
        const UDisksFailure failure = Wait([&] { return services_.disks->Unmount(block); }).failure;
        if (failure != UDisksFailure::kNone && failure != UDisksFailure::kNotMounted &&
            failure != UDisksFailure::kGone) {
            if (raise) {
                Fail(info(), f->device, errors::kDiskNotReady,
                     QStringLiteral("no se puede desmontar el disco (¿lo usa otro programa?)"));
            }
            return;
        }
        mountUnanswered_ = false;  // a mount that landed late is undone with it
    }
    // A mount not answered yet may still land: it stays this program's to undo.
    mountedHere_ = false;
    KeepWhatWasLost();
    folder_.reset();
}

void ServiceFloppyDrive::ReleaseDisk() {
    Unmount(true);
}

void ServiceFloppyDrive::EndOfSet() {
    Forget();
    if (mountedHere_ || mountUnanswered_)
        Unmount(false);
    if (folder_)
        folder_->EndOfSet();
    TakeLost();
}

void ServiceFloppyDrive::InsertDisk(int number) {
    Forget();
    if (folder_)
        folder_->InsertDisk(number);
    TakeLost();
}

}  // namespace platform
