#include "platform/drives/fat_drive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/media/medium.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

// The one name a path gives in the disk's root; 76 when it goes through folders.
QString RootName(const DrivePath& path) {
    if (path.names.size() > 1) {
        throw RuntimeError(
            errors::kPathNotFound,
            QStringLiteral("«%1» va a una carpeta del diskette, que no tiene ninguna")
                .arg(path.names.join(u'\\')));
    }
    if (path.endsWithSeparator || path.names.isEmpty())
        throw RuntimeError(errors::kPathFileAccess);
    return path.names.front();
}

// Raises 57 when the disk is an image file that cannot be a whole floppy, and 71 when it is in
// use (mounted, or behind a loop device): it is never written underneath its file system.
void CheckImage(SystemCalls& system, const QString& medium) {
    const MediumState state = MediumAt(system, medium);
    if (state.kind != MediumState::Kind::kImageFile)
        return;
    if (!StandardFloppySize(state.bytes)) {
        throw RuntimeError(errors::kDeviceIO,
                           QStringLiteral("%1 no es una imagen de disquete: mide %2 bytes")
                               .arg(medium)
                               .arg(state.bytes));
    }
    if (state.inUse) {
        throw RuntimeError(
            errors::kDiskNotReady,
            QStringLiteral("la imagen %1 está montada; desmóntela antes").arg(medium));
    }
}

}  // namespace

// The folder of the images and the folders above it, each made only when missing. Raises 76
// when one cannot be made (a file in the way, no such parent), 70 when it may not be.
void FatDrive::MakeFolder(const QString& folder) {
    const QStringList parts = QDir::cleanPath(folder).split(u'/', Qt::SkipEmptyParts);
    SystemCalls& system = services_.system;
    QString path;
    for (const QString& part : parts) {
        const QString parent = path.isEmpty() ? QStringLiteral("/") : path;
        path += u'/' + part;
        if (system.MakeFolder(QFile::encodeName(path).constData(), 0777) == 0) {
            // The new folder is durable in its parent, as the images put in it will be.
            const int fd =
                system.Open(QFile::encodeName(parent).constData(), O_RDONLY | O_DIRECTORY);
            if (fd >= 0) {
                system.Sync(fd);
                system.Close(fd);
            }
        } else if (errno != EEXIST) {
            const int failure = errno;
            const int number = NumberForErrno(failure);
            throw RuntimeError(number != errors::kPathFileAccess ? number : errors::kPathNotFound,
                               QStringLiteral("no se puede crear la carpeta %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(failure))));
        }
    }
}

FatDrive::FatDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services) {}

ResolvedPath FatDrive::Resolve(const DrivePath& path) const {
    return ResolveInRoot(info(), path);
}

QString FatDrive::Dir(const DrivePath& path) {
    if (path.names.size() > 1 || (path.endsWithSeparator && !path.names.isEmpty()))
        throw RuntimeError(errors::kPathNotFound);
    if (!HasDisk())
        return {};  // an empty disk
    CheckImage(services_.system, Medium());
    FatMedium medium(Medium(), services_);
    return path.names.isEmpty() ? medium.FirstEntry() : medium.StoredName(path.names.front());
}

SourceFile FatDrive::OpenSource(const DrivePath& path) {
    const QString name = RootName(path);
    if (!HasDisk())
        throw RuntimeError(errors::kFileNotFound);
    CheckImage(services_.system, Medium());
    // The file comes out of the disk into memory, to be copied from there like any other.
    const int fd = services_.system.MemoryFile("qtl99-copia");
    if (fd < 0)
        throw RuntimeError(NumberForErrno(errno));
    struct stat st {};
    try {
        FatMedium(Medium(), services_).CopyOut(name, fd);
        if (services_.system.StatFd(fd, &st) != 0)
            throw RuntimeError(NumberForErrno(errno));
    } catch (...) {
        services_.system.Close(fd);
        throw;
    }
    return SourceFile(fd, st, services_.system);
}

void FatDrive::CopyIn(const DrivePath& path, const SourceFile& source) {
    const QString name = RootName(path);
    MakeDisk();
    CheckImage(services_.system, Medium());
    Write(name, source);
}

void FatDrive::Write(const QString& name, const SourceFile& source) {
    FatMedium(Medium(), services_).CopyIn(source.fd(), name);
}

FloppyDrive::FloppyDrive(DriveInfo info, QString medium, const DriveServices& services)
    : FatDrive(std::move(info), services), medium_(std::move(medium)) {}

FloppyDrive::~FloppyDrive() {
    Unlock();
}

void FloppyDrive::InsertDisk(int /*number*/) {
    Unlock();
}

void FloppyDrive::FinishDisk() {
    Unlock();
}

void FloppyDrive::Unlock() {
    if (lock_ >= 0)
        services_.system.Close(lock_);
    lock_ = -1;
}

void FloppyDrive::MakeDisk() {
    SystemCalls& system = services_.system;
    if (lock_ >= 0 || MediumAt(system, medium_).kind != MediumState::Kind::kImageFile)
        return;
    // mtools takes no lock on an image: two programs writing one would lose entries.
    lock_ = system.Open(QFile::encodeName(medium_).constData(), O_RDONLY);
    if (lock_ >= 0 && system.Lock(lock_) != 0 && errno == EWOULDBLOCK) {
        Unlock();
        throw RuntimeError(errors::kDiskNotReady,
                           QStringLiteral("otro programa está escribiendo en %1").arg(medium_));
    }
}

bool FloppyDrive::IsReady() const {
    return MediumAt(services_.system, medium_).diskIn;
}

}  // namespace platform
