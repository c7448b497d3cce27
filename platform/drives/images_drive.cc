#include "platform/drives/images_drive.h"

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

#include "platform/fat/fat_names.h"
#include "platform/media/floppy.h"
#include "platform/media/medium.h"
#include "platform/runtime_error.h"
#include "platform/temporary_names.h"

namespace platform {

ImagesDrive::ImagesDrive(DriveInfo info, const DriveServices& services)
    : FatDrive(std::move(info), services) {}

QString ImagesDrive::ListEntry() const {
    return QStringLiteral("%1 [%2]").arg(name(), QFileInfo(info().root).fileName());
}

QString ImagesDrive::ToolTip() const {
    return QStringLiteral("Los disquetes se guardan como imágenes en %1")
        .arg(QDir::toNativeSeparators(info().root));
}

ImagesDrive::~ImagesDrive() {
    GiveUp();
}

QString ImagesDrive::FinalName() const {
    return QStringLiteral("Disco%1.img").arg(disk_);
}

QString ImagesDrive::Medium() const {
    if (begun_ && begun_->disk == disk_)
        return info().root + u'/' + QFile::decodeName(begun_->name);
    return info().root + u'/' + FinalName();
}

void ImagesDrive::InsertDisk(int number) {
    GiveUp();  // a disk left unfinished never passes for a finished one
    disk_ = number;
    RemoveLeftovers(-1);
}

bool ImagesDrive::HasDisk() {
    SystemCalls& system = services_.system;
    if (begun_ && begun_->disk == disk_) {
        // The disk being written must still be there: an image that went away is a disk taken
        // out of the drive, and is never made afresh.
        struct stat held {
        }, there{};
        if (system.StatFd(begun_->image, &held) != 0 || held.st_nlink == 0 ||
            system.Stat(QFile::encodeName(Medium()).constData(), &there) != 0 ||
            there.st_ino != held.st_ino || there.st_dev != held.st_dev) {
            throw RuntimeError(
                errors::kDiskNotReady,
                QStringLiteral("la imagen %1 ha desaparecido mientras se escribía").arg(Medium()));
        }
        return true;
    }
    struct stat st {};
    const QByteArray finalPath = QFile::encodeName(info().root + u'/' + FinalName());
    const bool made = system.Stat(finalPath.constData(), &st, false) == 0;
    if (made && S_ISLNK(st.st_mode)) {
        // A link at the image's name leads to an image of another set: a disk in use, never
        // followed nor replaced.
        throw RuntimeError(errors::kDiskNotReady,
                           QStringLiteral("%1 es un enlace a otra imagen; quítelo y reintente")
                               .arg(QFile::decodeName(finalPath)));
    }
    if (made && !S_ISREG(st.st_mode)) {
        throw RuntimeError(
            errors::kPathFileAccess,
            QStringLiteral("%1 no es una imagen de disquete sino %2; quítelo o cámbielo de nombre")
                .arg(QFile::decodeName(finalPath), S_ISDIR(st.st_mode)
                                                       ? QStringLiteral("una carpeta")
                                                       : QStringLiteral("un archivo especial")));
    }
    return made;
}

void ImagesDrive::MakeDisk() {
    if (HasDisk() && begun_ && begun_->disk == disk_)
        return;  // being written
    GiveUp();
    RemoveLeftovers(-1);
    Begin();
}

void ImagesDrive::CopyImage(const QByteArray& name) {
    SystemCalls& system = services_.system;
    const OpenFd from(system, system.OpenAt(begun_->folder, name.constData(),
                                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (from.get() < 0 || system.StatFd(from.get(), &st) != 0)
        throw RuntimeError(NumberForErrno(errno));
    if (!S_ISREG(st.st_mode) || !StandardFloppySize(st.st_size)) {
        // No whole floppy: never written at all.
        throw RuntimeError(errors::kDeviceIO,
                           QStringLiteral("%1 no es una imagen de disquete: mide %2 bytes")
                               .arg(info().root + u'/' + QFile::decodeName(name))
                               .arg(st.st_size));
    }
    std::vector<char> buffer(1 << 16);
    for (off_t offset = 0; offset < st.st_size;) {
        const ssize_t n = ReadFull(system, from.get(), buffer.data(), buffer.size(), offset);
        if (n <= 0)
            throw RuntimeError(n < 0 ? NumberForErrno(errno) : errors::kDeviceIO);
        for (ssize_t done = 0; done < n;) {
            const ssize_t w =
                system.Write(begun_->image, buffer.data() + done, static_cast<size_t>(n - done));
            if (w < 0)
                throw RuntimeError(NumberForErrno(errno));
            done += w;
        }
        offset += n;
    }
    if (system.SyncData(begun_->image) != 0)
        throw RuntimeError(NumberForErrno(errno));
    begun_->replaces = true;
    begun_->replacedDevice = st.st_dev;
    begun_->replacedInode = st.st_ino;
}

void ImagesDrive::Begin() {
    SystemCalls& system = services_.system;
    MakeFolder(info().root);
    Begun begun;
    begun.disk = disk_;
    begun.folder = system.Open(QFile::encodeName(info().root).constData(), O_RDONLY | O_DIRECTORY);
    if (begun.folder < 0)
        throw RuntimeError(NumberForErrno(errno));
    // One program writes a folder of images at a time: two would each make the same disk. A
    // file system that keeps no locks (NFS without its lock service) is written all the same.
    if (system.Lock(begun.folder) != 0 && errno == EWOULDBLOCK) {
        system.Close(begun.folder);
        throw RuntimeError(
            errors::kDiskNotReady,
            QStringLiteral("otro programa está escribiendo imágenes en %1").arg(info().root));
    }
    for (int attempt = 0; begun.image < 0; ++attempt) {
        begun.name = TemporaryName(QFile::encodeName(FinalName()) + ".", ".tmp");
        begun.image =
            system.OpenAt(begun.folder, begun.name.constData(), O_RDWR | O_CREAT | O_EXCL, 0666);
        if (begun.image < 0 && (errno != EEXIST || attempt == 100)) {
            const int failure = errno;
            system.Close(begun.folder);
            throw RuntimeError(NumberForErrno(failure));
        }
    }
    begun_ = begun;
    try {
        // An image already there (a blank kept for an emulator, one made by mformat) is the
        // disk: it is written as a copy under the temporary name like a new one, never in
        // place, so that a disk cut short leaves it as it was.
        struct stat there {};
        const QByteArray finalName = QFile::encodeName(FinalName());
        if (system.StatAt(begun_->folder, finalName.constData(), &there) == 0) {
            // An image nobody may write is a disk with its write-protect tab set.
            if ((there.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
                throw RuntimeError(errors::kPermissionDenied);
            // One with other names: the copy put in its place would leave them on the blank,
            // apart from the disk written; a disk in use.
            if (S_ISREG(there.st_mode) && there.st_nlink > 1) {
                throw RuntimeError(
                    errors::kDiskNotReady,
                    QStringLiteral(
                        "%1 tiene otros nombres (enlaces duros), que se quedarían con la "
                        "imagen en blanco; quítelos o use una copia de la imagen")
                        .arg(info().root + u'/' + FinalName()));
            }
            CopyImage(finalName);
            begun_->replacedMode = there.st_mode & 07777;
            begun_->replacedOwner = there.st_uid;
            begun_->replacedGroup = there.st_gid;
        } else {
            FatMedium(Medium(), services_).Format(begun_->image, false);  // durable when done
            holding_ = true;
            clustersLeft_ = kStandardFloppyClusters;
            entriesLeft_ = kStandardFloppyRootEntries;
        }
    } catch (const RuntimeError& error) {
        GiveUp();
        if (error.number() == errors::kDiskFull && error.cause().isEmpty())
            throw FolderFull();
        throw;
    } catch (...) {
        GiveUp();
        throw;
    }
}

void ImagesDrive::FinishDisk() {
    // A disk asked for is an image even when its list copied nothing: an empty one, unless
    // an image is there already.
    if ((!begun_ || begun_->disk != disk_) && HasDisk())
        return;
    MakeDisk();  // still there, or made now
    WriteHeldBack();
    SystemCalls& system = services_.system;
    if (system.SyncData(begun_->image) != 0) {
        const int number = NumberForErrno(errno);
        if (number == errors::kDiskFull)
            throw FolderFull();
        throw RuntimeError(number);
    }
    // Never over an image another program made meanwhile (nor a link), only over the one this
    // disk was copied from.
    const QByteArray finalName = QFile::encodeName(FinalName());
    struct stat st {};
    const bool there = system.StatAt(begun_->folder, finalName.constData(), &st) == 0;
    const bool replace = there && !S_ISLNK(st.st_mode) && begun_->replaces &&
                         st.st_dev == begun_->replacedDevice && st.st_ino == begun_->replacedInode;
    if (replace) {
        // The disk written takes the blank's place as it was: its owner and group where this
        // user may give them (the group alone, else), and its mode, where the file system
        // keeps them. Only now: mtools reopens the image while it is written.
        if (system.SetOwner(begun_->image, begun_->replacedOwner, begun_->replacedGroup) != 0)
            system.SetOwner(begun_->image, static_cast<uid_t>(-1), begun_->replacedGroup);
        system.SetMode(begun_->image, begun_->replacedMode);
    }
    int failure = FinishTemporary(system, begun_->folder, begun_->name.constData(),
                                  finalName.constData(), !replace);
    if (failure != 0 && failure != EEXIST && !replace) {
        // A file system with neither a rename that never replaces nor links (many FUSE
        // mounts): the folder is locked against the other programs that write images, so a
        // name found free is given by a plain rename.
        if (system.StatAt(begun_->folder, finalName.constData(), &st) == 0)
            failure = EEXIST;
        else if (errno == ENOENT)
            failure = FinishTemporary(system, begun_->folder, begun_->name.constData(),
                                      finalName.constData(), false);
    }
    if (failure == EEXIST) {
        throw RuntimeError(errors::kDiskNotReady,
                           QStringLiteral("ya hay un %1 en %2; quítelo y reintente")
                               .arg(QFile::decodeName(finalName), info().root));
    }
    if (failure != 0)
        throw RuntimeError(NumberForErrno(failure));
    system.Close(begun_->image);
    system.Close(begun_->folder);  // and the folder is free for others
    begun_.reset();
}

// A file held back is on the disk as far as anyone who asks can tell: it is found where it
// is, and nothing is written to answer.
const FatMedium::Incoming* ImagesDrive::HeldAt(const DrivePath& path) const {
    if (!begun_ || begun_->disk != disk_ || path.names.size() != 1 || path.endsWithSeparator)
        return nullptr;
    const QString name = WithoutTrailingBlanksAndDots(path.names.front());
    for (const FatMedium::Incoming& held : heldBack_) {
        if (held.name.compare(name, Qt::CaseInsensitive) == 0)
            return &held;
    }
    return nullptr;
}

QString ImagesDrive::Dir(const DrivePath& path) {
    if (const FatMedium::Incoming* held = HeldAt(path))
        return held->name;
    const QString first = FatDrive::Dir(path);
    if (first.isEmpty() && path.names.isEmpty() && begun_ && begun_->disk == disk_ &&
        !heldBack_.empty())
        return heldBack_.front().name;
    return first;
}

SourceFile ImagesDrive::OpenSource(const DrivePath& path) {
    const FatMedium::Incoming* held = HeldAt(path);
    if (held == nullptr)
        return FatDrive::OpenSource(path);
    SystemCalls& system = services_.system;
    const int fd = system.Open(("/proc/self/fd/" + QByteArray::number(held->fd)).constData(),
                               O_RDONLY | O_NOCTTY);
    if (fd < 0)
        throw RuntimeError(NumberForErrno(errno));
    struct stat st {};
    if (system.StatFd(fd, &st) != 0) {
        const int failure = errno;
        system.Close(fd);
        throw RuntimeError(NumberForErrno(failure));
    }
    return SourceFile(fd, st, system);
}

void ImagesDrive::Write(const QString& name, const SourceFile& source) {
    if (HoldBack(name, source))
        return;
    WriteHeldBack();
    holding_ = false;  // from here on, what the disk holds is for mtools to tell
    FatDrive::Write(name, source);
}

bool ImagesDrive::HoldBack(const QString& given, const SourceFile& source) {
    if (!holding_)
        return false;
    const QString name = FatName(given);  // a name FAT cannot hold fails at its file
    const struct stat& st = source.info();
    if (!S_ISREG(st.st_mode))
        return false;
    const off_t clusters = StandardFloppyClustersFor(st.st_size);
    const int entries = MostRootEntries(name);
    if (clusters > clustersLeft_ || entries > entriesLeft_)
        return false;
    // A name that is there already replaces its file, as only a copy made now can.
    for (const FatMedium::Incoming& held : heldBack_) {
        if (held.name.compare(name, Qt::CaseInsensitive) == 0)
            return false;
    }
    // The file is opened anew: the caller closes its own when this returns.
    SystemCalls& system = services_.system;
    const int fd = system.Open(("/proc/self/fd/" + QByteArray::number(source.fd())).constData(),
                               O_RDONLY | O_NOCTTY);
    if (fd < 0)
        return false;
    heldBack_.push_back({fd, name});
    clustersLeft_ -= static_cast<int>(clusters);
    entriesLeft_ -= entries;
    return true;
}

void ImagesDrive::WriteHeldBack() {
    if (heldBack_.empty())
        return;
    size_t written = 0;
    try {
        FatMedium(Medium(), services_).CopyInTogether(heldBack_, [&](size_t) { ++written; });
    } catch (...) {
        DropHeldBack(written);
        holding_ = false;
        throw;
    }
    DropHeldBack(written);
}

void ImagesDrive::DropHeldBack(size_t count) {
    for (size_t i = 0; i < count; ++i)
        services_.system.Close(heldBack_[i].fd);
    heldBack_.erase(heldBack_.begin(), heldBack_.begin() + static_cast<ptrdiff_t>(count));
}

RuntimeError ImagesDrive::FolderFull() const {
    // The box speaks of a full floppy; the floppy is whole, what is full is the folder's disk.
    return RuntimeError(
        errors::kDiskFull,
        QStringLiteral("no cabe la imagen %1 en %2: el disco de esa carpeta está lleno")
            .arg(FinalName(), info().root));
}

void ImagesDrive::GiveUp() {
    DropHeldBack(heldBack_.size());
    holding_ = false;
    if (!begun_)
        return;
    SystemCalls& system = services_.system;
    system.Unlink(begun_->folder, begun_->name.constData());
    system.Close(begun_->image);
    system.Close(begun_->folder);
    begun_.reset();
}

void ImagesDrive::RemoveLeftovers(int lockedFolder) {
    // The program's own temporary images, of a process that no longer runs: a disk cut short
    // by a kill or a crash, never named as a finished one.
    static const QRegularExpression kImageStem(QStringLiteral("^Disco[0-9]+\\.img\\.$"));
    SystemCalls& system = services_.system;
    DIR* folder = system.OpenFolder(QFile::encodeName(info().root).constData());
    if (folder == nullptr)
        return;
    const int fd = ::dirfd(folder);
    // Only while no other program writes here: one that runs elsewhere (another container)
    // cannot be told from a gone one by its number.
    if (lockedFolder < 0 && system.Lock(fd) != 0 && errno == EWOULDBLOCK) {
        system.CloseFolder(folder);
        return;
    }
    while (const dirent* entry = system.ReadFolder(folder)) {
        const TemporaryNameParts parts = ReadTemporaryName(entry->d_name, ".tmp");
        if (parts.owner > 0 && kImageStem.match(QString::fromLatin1(parts.stem)).hasMatch())
            RemoveLeftover(system, fd, entry->d_name, parts.owner);
    }
    system.CloseFolder(folder);
}

}  // namespace platform
