#include "platform/host/files.h"

#include <QFile>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <cerrno>

#include "platform/drives/drive.h"
#include "platform/profile.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

// The drive a path names, ready; raises 68 when there is none, `notReadyNumber` without a disk.
Drive& ReadyDrive(const DriveTable& drives, const DrivePath& path, int notReadyNumber) {
    Drive* drive = path.letter.isNull() ? nullptr : FindDrive(drives, path.letter);
    if (drive == nullptr)
        throw RuntimeError(errors::kDeviceUnavailable);
    if (!drive->IsReady())
        throw RuntimeError(notReadyNumber);
    return *drive;
}

// Runs `op` on the drive of `drive` ("a:"), when the table has one.
template <typename Op>
void OnDrive(Host& host, const QString& drive, Op op) {
    const DrivePath p = ParseDrivePath(drive);
    const DriveTable drives = host.Drives();
    if (Drive* d = p.letter.isNull() ? nullptr : FindDrive(drives, p.letter))
        op(*d);
}

}  // namespace

QString Dir(Host& host, const QString& path, int /*attributes*/) {
    const DrivePath p = ParseDrivePath(path);
    const DriveTable drives = host.Drives();
    return ReadyDrive(drives, p, errors::kNoDiskToList).Dir(p);
}

void FileCopy(Host& host, const QString& source, const QString& destination) {
    const DrivePath from = ParseDrivePath(source);
    const DrivePath to = ParseDrivePath(destination);
    const DriveTable drives = host.Drives();
    Drive& sourceDrive = ReadyDrive(drives, from, errors::kDiskNotReady);
    Drive& destinationDrive = ReadyDrive(drives, to, errors::kDiskNotReady);
    try {
        const SourceFile in = sourceDrive.OpenSource(from);
        try {
            destinationDrive.CopyIn(to, in);
        } catch (const RuntimeError& error) {
            // The box says only "Permiso denegado": the disk and the cause go with it.
            if (error.number() == errors::kPermissionDenied && error.cause().isEmpty()) {
                throw RuntimeError(
                    error.number(),
                    QStringLiteral("no se puede escribir %1 en la unidad %2 (%3): el "
                                   "disco está protegido contra escritura o no hay "
                                   "permiso")
                        .arg(destination, destinationDrive.name(), destinationDrive.info().root));
            }
            throw;
        }
    } catch (const RuntimeError&) {
        // The user may swap the disk at the box that tells of this failure: what was copied
        // to it before must be on it by then.
        try {
            destinationDrive.SyncDisk();
        } catch (const RuntimeError&) {
            // The failure being told is the copy's.
        }
        throw;
    }
}

void InsertDisk(Host& host, const QString& drive, int number) {
    OnDrive(host, drive, [number](Drive& d) { d.InsertDisk(number); });
}

int TakeLost(Host& host, const QString& drive) {
    int lost = 0;
    OnDrive(host, drive, [&lost](Drive& d) { lost = d.TakeLost(); });
    return lost;
}

void ReleaseDisk(Host& host, const QString& drive) {
    OnDrive(host, drive, [](Drive& d) { d.ReleaseDisk(); });
}

void EndOfSet(Host& host, const QString& drive) {
    OnDrive(host, drive, [](Drive& d) { d.EndOfSet(); });
}

void FinishDisk(Host& host, const QString& drive) {
    OnDrive(host, drive, [](Drive& d) { d.FinishDisk(); });
}

int ReadDriveFile(Host& host, const QString& drivePath, DriveFile* file, std::string* content) {
    const DrivePath path = ParseDrivePath(drivePath);
    const DriveTable drives = host.Drives();
    SystemCalls& system = host.systemCalls();
    try {
        const ResolvedPath r = ResolveDrivePath(drivePath, drives);
        RaiseIfUnreachable(r, errors::kDiskNotReady);
        if (r.endsWithSeparator || r.name.isEmpty())
            return errors::kPathFileAccess;
        if (!r.exists)
            return errors::kFileNotFound;
        // A file with a Linux path is read as the settings always were; any other (on a CD
        // image, a FAT disk mounted nowhere) through its drive, as its copy is.
        OpenFd linuxFile(system);
        SourceFile fromDrive;
        int fd = -1;
        if (!r.linuxPath.isEmpty()) {
            // Without waiting, and without becoming a terminal's.
            linuxFile.Reset(system.Open(QFile::encodeName(r.linuxPath).constData(),
                                        O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (linuxFile.get() < 0)
                return NumberForErrno(errno);
            fd = linuxFile.get();
        } else if (content == nullptr) {
            // Only whether it reads whole, and which file it is.
            file->identity = FindDrive(drives, path.letter)->ReadThrough(path, &file->bytes);
            return 0;
        } else {
            fromDrive = FindDrive(drives, path.letter)->OpenSource(path);
            fd = fromDrive.fd();
        }
        struct stat st {};
        if (system.StatFd(fd, &st) != 0)
            return NumberForErrno(errno);
        if (!S_ISREG(st.st_mode))
            return errors::kPathFileAccess;
        if (const int failure = ReadWhole(system, fd, content); failure != 0)
            return NumberForErrno(failure);
        file->bytes = st.st_size;
        file->identity = fd == fromDrive.fd() ? fromDrive.identity() : SourceFile::IdentityOf(st);
        return 0;
    } catch (const RuntimeError& error) {
        file->cause = error.cause();
        return error.number();
    }
}

QString AppPath(Host& host) {
    const QString folder = host.ProgramFolder();
    QString drivePath = ToDriveForm(host.systemCalls(), folder, host.Drives());
    if (!drivePath.isEmpty()) {
        // Only a drive root keeps its backslash.
        if (drivePath.size() > 3 && drivePath.endsWith(u'\\'))
            drivePath.chop(1);
        return drivePath;
    }
    host.notices().Say(QStringLiteral("la carpeta del programa %1 no está en ninguna unidad; se "
                                      "usan los valores por defecto de Archivos.ini")
                           .arg(folder));
    QString bare = folder;
    bare.replace(u'/', u'\\');
    return bare;
}

int GetPrivateProfileString(Host& host, const QString& section, const QString* key,
                            const QString& defaultText, QString& buffer, int size,
                            const QString& fileDrivePath, QString* unreadable) {
    QString text;
    std::string bytes;
    DriveFile file;
    if (ReadDriveFile(host, fileDrivePath, &file, &bytes) == 0)
        text = DecodeProfileText(QByteArray::fromStdString(bytes));
    if (unreadable != nullptr)
        *unreadable = file.cause;
    return ProfileLookup(text, section, key, defaultText, buffer, size);
}

}  // namespace platform
