#include "platform/fat_drive.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFileInfo>
#include <cerrno>

#include "platform/runtime_error.h"

namespace platform {

namespace {

// The one name a path gives in the disk's root; 76 when it goes through folders.
QString RootName(const DrivePath& path) {
    if (path.names.size() > 1)
        throw RuntimeError(errors::kPathNotFound);
    if (path.endsWithSeparator || path.names.isEmpty())
        throw RuntimeError(errors::kPathFileAccess);
    return path.names.front();
}

// The sizes of the standard floppies, 160 KB to 2.88 MB: an image file of any other size is a cut
// or foreign file, not a disk (mtools would read a cut image and write past its end).
bool StandardFloppySize(qint64 bytes) {
    for (const qint64 size : {163840, 184320, 327680, 368640, 737280, 1228800, 1474560, 2949120}) {
        if (bytes == size)
            return true;
    }
    return false;
}

// Raises 57 when the disk is an image file that cannot be a whole floppy.
void CheckImageSize(const QString& medium) {
    struct stat st {};
    if (::stat(QFile::encodeName(medium).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
        !StandardFloppySize(st.st_size)) {
        throw RuntimeError(errors::kDeviceIO);
    }
}

}  // namespace

FatDrive::FatDrive(DriveInfo info, std::function<void()> keepAlive)
    : Drive(std::move(info)), keepAlive_(std::move(keepAlive)) {}

ResolvedPath FatDrive::Resolve(const DrivePath& path) const {
    ResolvedPath r;
    r.drive = info();
    r.endsWithSeparator = path.endsWithSeparator;
    r.status =
        path.names.size() > 1 ? ResolvedPath::Status::kMissingFolder : ResolvedPath::Status::kOk;
    r.name = path.names.value(0);
    return r;  // no Linux path: nothing on this disk is a file a program could start
}

QString FatDrive::Dir(const DrivePath& path) {
    if (path.names.size() > 1 || (path.endsWithSeparator && !path.names.isEmpty()))
        throw RuntimeError(errors::kPathNotFound);
    if (MadeWhenWritten())
        return {};  // an empty disk
    CheckImageSize(Medium());
    FatMedium medium(Medium(), keepAlive_);
    return path.names.isEmpty() ? medium.FirstEntry() : medium.StoredName(path.names.front());
}

SourceFile FatDrive::OpenSource(const DrivePath& path) {
    const QString name = RootName(path);
    if (MadeWhenWritten())
        throw RuntimeError(errors::kFileNotFound);
    CheckImageSize(Medium());
    // The file comes out of the disk into memory, to be copied from there like any other.
    const int fd = ::memfd_create("qtl99-copia", MFD_CLOEXEC);
    if (fd < 0)
        throw RuntimeError(NumberForErrno(errno));
    struct stat st {};
    try {
        FatMedium(Medium(), keepAlive_).CopyOut(name, fd);
        if (::fstat(fd, &st) != 0)
            throw RuntimeError(NumberForErrno(errno));
    } catch (...) {
        ::close(fd);
        throw;
    }
    return SourceFile(fd, st);
}

void FatDrive::CopyIn(const DrivePath& path, const SourceFile& source) {
    const QString name = RootName(path);
    FatMedium medium(Medium(), keepAlive_);
    if (MadeWhenWritten()) {
        const QString folder = QFileInfo(Medium()).absolutePath();
        if (!QDir().mkpath(folder))
            throw RuntimeError(errors::kPathNotFound);
        medium.FormatStandard();
    }
    CheckImageSize(Medium());
    medium.CopyIn(source.fd(), name);
}

FloppyDrive::FloppyDrive(DriveInfo info, QString medium, std::function<void()> keepAlive)
    : FatDrive(std::move(info), std::move(keepAlive)), medium_(std::move(medium)) {}

bool FloppyDrive::IsReady() const {
    struct stat st {};
    if (::stat(QFile::encodeName(medium_).constData(), &st) != 0)
        return false;
    if (!S_ISBLK(st.st_mode))
        return S_ISREG(st.st_mode);
    // A drive with no disk in it cannot be opened; one the user may not open still has a disk,
    // and its operations say 70.
    const int fd =
        ::open(QFile::encodeName(medium_).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EACCES || errno == EPERM || errno == EROFS;
}

ImagesDrive::ImagesDrive(DriveInfo info, int& disk, std::function<void()> keepAlive)
    : FatDrive(std::move(info), std::move(keepAlive)), disk_(disk) {}

QString ImagesDrive::ListEntry() const {
    return QStringLiteral("%1 [%2]").arg(name(), QFileInfo(info().root).fileName());
}

QString ImagesDrive::ToolTip() const {
    return QStringLiteral("Los disquetes se guardan como imágenes en %1")
        .arg(QDir::toNativeSeparators(info().root));
}

QString ImagesDrive::Medium() const {
    return info().root + QStringLiteral("/Disco%1.img").arg(disk_);
}

bool ImagesDrive::MadeWhenWritten() const {
    // A link at the image's name is not followed: it counts as no image, and writing replaces it.
    struct stat st {};
    return ::lstat(QFile::encodeName(Medium()).constData(), &st) != 0 || S_ISLNK(st.st_mode);
}

}  // namespace platform
