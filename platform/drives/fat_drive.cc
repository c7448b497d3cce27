#include "platform/drives/fat_drive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>

#include "platform/drives/medium.h"
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

// Raises 57 when the disk is an image file that cannot be a whole floppy.
void CheckImageSize(SystemCalls& system, const QString& medium) {
    const MediumState state = MediumAt(system, medium);
    if (state.kind == MediumState::Kind::kImageFile && !StandardFloppySize(state.bytes))
        throw RuntimeError(errors::kDeviceIO);
}

}  // namespace

// The folder of the images and the folders above it, each made only when missing. Raises 76
// when one cannot be made (a file in the way, no such parent), 70 when it may not be.
void FatDrive::MakeFolder(const QString& folder) {
    const QStringList parts = QDir::cleanPath(folder).split(u'/', Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += u'/' + part;
        if (services_.system.MakeFolder(QFile::encodeName(path).constData(), 0777) != 0 &&
            errno != EEXIST) {
            throw RuntimeError(errno == EACCES || errno == EPERM || errno == EROFS
                                   ? NumberForErrno(errno)
                                   : errors::kPathNotFound);
        }
    }
}

FatDrive::FatDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services) {}

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
    CheckImageSize(services_.system, Medium());
    FatMedium medium(Medium(), services_);
    return path.names.isEmpty() ? medium.FirstEntry() : medium.StoredName(path.names.front());
}

SourceFile FatDrive::OpenSource(const DrivePath& path) {
    const QString name = RootName(path);
    if (MadeWhenWritten())
        throw RuntimeError(errors::kFileNotFound);
    CheckImageSize(services_.system, Medium());
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
    FatMedium medium(Medium(), services_);
    if (MadeWhenWritten()) {
        MakeFolder(QFileInfo(Medium()).absolutePath());
        medium.FormatStandard();
    }
    CheckImageSize(services_.system, Medium());
    medium.CopyIn(source.fd(), name);
}

FloppyDrive::FloppyDrive(DriveInfo info, QString medium, const DriveServices& services)
    : FatDrive(std::move(info), services), medium_(std::move(medium)) {}

bool FloppyDrive::IsReady() const {
    return MediumAt(services_.system, medium_).diskIn;
}

ImagesDrive::ImagesDrive(DriveInfo info, const DriveServices& services)
    : FatDrive(std::move(info), services) {}

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
    return services_.system.Stat(QFile::encodeName(Medium()).constData(), &st, false) != 0 ||
           S_ISLNK(st.st_mode);
}

}  // namespace platform
