#include "platform/drives/folder_drive.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <utility>

#include "platform/drives/copy_chunk.h"
#include "platform/runtime_error.h"
#include "platform/temporary_names.h"

namespace platform {

namespace {

// A path of a copy must name a file: not a folder, not the empty name.
void CheckFileName(const ResolvedPath& r) {
    RaiseIfUnreachable(r, errors::kDiskNotReady);
    if (r.endsWithSeparator || r.name.isEmpty())
        throw RuntimeError(errors::kPathFileAccess);
}

constexpr size_t kFirstChunk = 32 << 10;  // half a second on a floppy
constexpr size_t kSmallestChunk = 16 << 10;

}  // namespace

// The size of the chunks a copy goes in: each should take about a tenth of a second, so that
// a chunk is on its way to the medium while the next is written, on a floppy as on a fast disk.
class FolderDrive::Chunks {
  public:
    // Starts at the pace the medium `device` showed on the last copy to it (kept in `paces`,
    // when there is one), so a fast disk is not held to a floppy's steps file after file.
    Chunks(std::map<dev_t, size_t>& paces, dev_t device) : paces_(paces), device_(device) {
        if (paces_.count(device_) != 0)
            size_ = paces_.at(device_);
    }
    // The pace of a copy that went through is the medium's from now on.
    void Learnt() { paces_[device_] = size_; }

    size_t size() const { return size_; }
    void Took(qint64 milliseconds) {
        if (milliseconds < 25 && size_ < kLargestChunk)
            size_ *= 2;
        else if (milliseconds > 200 && size_ > kSmallestChunk)
            size_ /= 2;
    }

  private:
    std::map<dev_t, size_t>& paces_;
    dev_t device_;
    size_t size_ = kFirstChunk;
};

namespace {

// False with errno set when pushing a part of a file to its medium failed; a file system that
// cannot be asked to (EINVAL, ESPIPE) has it written by the final sync.
bool WriteOut(SystemCalls& system, int fd, off_t offset, off_t size, bool wait) {
    return system.WriteOut(fd, offset, size, wait) == 0 || errno == EINVAL || errno == ESPIPE;
}

// The path the kernel knows an open file or folder by, links resolved; empty when it cannot say.
QByteArray RealPath(SystemCalls& system, int fd) {
    if (fd < 0)
        return {};
    char path[PATH_MAX];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t n = system.ReadLink(link.constData(), path, sizeof path);
    return n > 0 && n < static_cast<ssize_t>(sizeof path) ? QByteArray(path, n) : QByteArray();
}

}  // namespace

FolderDrive::FolderDrive(DriveInfo info, const DriveServices& services)
    : Drive(std::move(info)), services_(services), system_(services.system) {}

FolderDrive::~FolderDrive() {
    try {
        SyncDisk();
    } catch (const RuntimeError&) {
        // Nobody is left to tell; the names are as durable as the medium made them.
    }
}

bool FolderDrive::IsReady() const {
    if (!info().mounted || info().root.isEmpty())
        return false;
    struct stat st {};
    return system_.Stat(QFile::encodeName(info().root).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

QString FolderDrive::Root() const {
    return info().mounted ? info().root : QString();
}

ResolvedPath FolderDrive::Resolve(const DrivePath& path) const {
    ResolvedPath r = ResolveInFolder(system_, info().root, path);
    r.drive = info();
    return r;
}

QString FolderDrive::Dir(const DrivePath& path) {
    // Mask 22 lists ordinary, hidden and system files and folders alike: every entry.
    ResolvedPath r = Resolve(path);
    RaiseIfUnreachable(r, errors::kNoDiskToList);
    if (!r.endsWithSeparator)
        return r.exists ? r.name : QString();
    if (!r.exists)
        return {};

    DIR* dir = system_.OpenFolder(QFile::encodeName(r.linuxPath).constData());
    if (dir == nullptr)
        throw RuntimeError(NumberForErrno(errno));
    QString first;
    while (const dirent* entry = system_.ReadFolder(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        // A copy cut short by a program that no longer runs is its leftover, not the disk's.
        if (RemoveIfLeftover(::dirfd(dir), name))
            continue;
        first = QFile::decodeName(name);
        break;
    }
    system_.CloseFolder(dir);
    return first;
}

bool FolderDrive::RemoveIfLeftover(int folder, const QByteArray& name) const {
    const TemporaryNameParts parts = ReadTemporaryName(name, {});
    return parts.stem.isEmpty() && RemoveLeftover(system_, folder, name.constData(), parts.owner);
}

SourceFile FolderDrive::OpenSource(const DrivePath& path) {
    const ResolvedPath from = Resolve(path);
    CheckFileName(from);
    if (!from.exists)
        throw RuntimeError(errors::kFileNotFound);
    const int fd = system_.OpenSource(QFile::encodeName(from.linuxPath).constData());
    if (fd < 0)
        throw RuntimeError(errno == ENOENT ? errors::kFileNotFound : CopyErrorNumber(errno));
    struct stat st {};
    const int failure = system_.StatFd(fd, &st) == 0 ? 0 : errno;
    SourceFile in(fd, st, system_);
    if (failure != 0)
        throw RuntimeError(CopyErrorNumber(failure));
    if (!S_ISREG(st.st_mode))
        throw RuntimeError(errors::kPathFileAccess);
    // A link on the drive must not hand out a file from elsewhere on the machine: what was
    // opened must lie under the drive's root, both as the kernel names them (links resolved).
    const OpenFd rootFd(
        system_, system_.Open(QFile::encodeName(info().root).constData(), O_PATH | O_DIRECTORY));
    const QByteArray root = RealPath(system_, rootFd.get());
    const QByteArray real = RealPath(system_, in.fd());
    if (real.isEmpty() || root.isEmpty() || !(root == "/" || real.startsWith(root + '/')))
        throw RuntimeError(errors::kPathFileAccess);
    system_.SetFlags(in.fd(), 0);
    return in;
}

int FolderDrive::CopyErrorNumber(int errnum) {
    if (errnum == ENOMEDIUM || errnum == ENODEV || errnum == ENXIO)
        return errors::kDiskNotReady;
    return NumberForErrno(errnum);
}

void FolderDrive::CopyIn(const DrivePath& path, const SourceFile& source) {
    const ResolvedPath to = Resolve(path);
    CheckFileName(to);
    const qsizetype slash = to.linuxPath.lastIndexOf(u'/');
    const QByteArray folderPath = QFile::encodeName(to.linuxPath.left(slash + 1));
    const QByteArray name = QFile::encodeName(to.linuxPath.mid(slash + 1));
    OpenFd folder(system_, system_.Open(folderPath.constData(), O_RDONLY | O_DIRECTORY));
    if (folder.get() < 0)
        throw RuntimeError(CopyErrorNumber(errno));

    // What stands under the destination name is looked at, never followed: a link is replaced,
    // a folder refused, and the source itself never opened for writing.
    struct stat existing {};
    Unnamed::Identity replaces;
    if (system_.StatAt(folder.get(), name.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw RuntimeError(errors::kPathFileAccess);
        if (existing.st_dev == source.info().st_dev && existing.st_ino == source.info().st_ino)
            throw RuntimeError(errors::kPathFileAccess);
        replaces = {true, existing.st_ino, existing.st_size, existing.st_mtim};
    }

    // The copy is written under a name of its own and only a complete, verified copy takes the
    // destination name: whatever fails, the entry that was there stays as it was.
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = TemporaryName({}, {});
        fd = system_.CreateCopy(folder.get(), temporary.constData(), source.info().st_mode & 0777);
        // The copies not yet named hold entries of their own in a floppy's small root folder:
        // named, they leave room for this one, as they would have one by one.
        if (fd < 0 && errno == ENOSPC && !unnamed_.empty()) {
            NameHeldCopies();
            continue;
        }
        if (fd < 0 && (errno != EEXIST || attempt == 100))
            throw RuntimeError(CopyErrorNumber(errno));
    }
    OpenFd out(system_, fd);

    struct stat medium {};
    system_.StatFd(out.get(), &medium);
    Chunks chunks(paces_, medium.st_dev);
    int failure = Write(source.fd(), out.get(), chunks);
    if (failure == 0) {
        const struct timespec times[2] = {source.info().st_atim, source.info().st_mtim};
        system_.SetTimes(out.get(), times);  // kept where the file system can hold it
        // The last of the data on its way to the medium; the file is made durable with the
        // others of its turn, read back, and only then named. Where the file system cannot be
        // asked for that, a sync of the file does it.
        if (system_.WriteOut(out.get(), 0, 0, false) != 0 &&
            ((errno != EINVAL && errno != ESPIPE) || system_.Sync(out.get()) != 0)) {
            failure = errno;
        }
    }
    if (failure == 0 && out.Close() != 0)
        failure = errno;
    if (failure != 0) {
        system_.Unlink(folder.get(), temporary.constData());
        throw RuntimeError(CopyErrorNumber(failure));
    }
    chunks.Learnt();
    // Read back with the others of its turn, once they are all on the medium: the source is
    // kept open for it, as the caller closes its own descriptor when this returns.
    const int again = system_.Duplicate(source.fd());
    if (again < 0) {
        failure = errno;
        system_.Unlink(folder.get(), temporary.constData());
        throw RuntimeError(CopyErrorNumber(failure));
    }
    HoldName(folder.Release(), folderPath,
             {temporary,
              name,
              again,
              medium.st_dev,
              {true, medium.st_ino, source.info().st_size, source.info().st_mtim},
              replaces});
}

int FolderDrive::Write(int in, int out, Chunks& chunks) {
    bool kernel = true;
    off_t pending = 0;  // the chunk before this one, still on its way to the medium
    QElapsedTimer clock;
    for (off_t offset = 0;;) {
        clock.start();
        off_t copied = 0;
        const size_t asked = chunks.size();
        if (const int failure = CopyChunk(system_, in, offset, out, asked, &kernel, &copied)) {
            return failure;
        }
        if (copied == 0)
            return 0;
        // Pushed to the medium as it goes: this chunk starts out while the one before is waited
        // for, so the final sync has little left to wait for and the disk is never idle.
        if (!WriteOut(system_, out, offset, copied, false) ||
            (pending > 0 && !WriteOut(system_, out, offset - pending, pending, true))) {
            return errno;
        }
        pending = copied;
        offset += copied;
        chunks.Took(clock.elapsed());
        if (static_cast<size_t>(copied) < asked)
            return 0;  // a short chunk is the end of the file
    }
}

// Reads the finished copy back from the medium, not from the page cache, and compares it with
// the source: a floppy can take the data and still fail to hold it. Returns 0, or the errno of
// the failure (EIO when the copy differs).
int FolderDrive::Verify(int source, int folder, const QByteArray& copyName, Chunks& chunks,
                        bool* sourceFailed) {
    OpenFd back(system_, system_.OpenCopy(folder, copyName.constData()));
    if (back.get() < 0)
        return errno;
    // Drop the cached pages so that the comparison reads the medium; a file system in memory
    // has no other medium to read.
    struct statfs fs {};
    if (system_.StatFs(back.get(), &fs) != 0 ||
        (fs.f_type != TMPFS_MAGIC && fs.f_type != RAMFS_MAGIC)) {
        system_.DropCache(back.get());
    }
    QElapsedTimer clock;
    for (off_t offset = 0;;) {
        clock.start();
        const size_t size = chunks.size();
        const ssize_t a = ReadFull(system_, source, CopyBuffer(0), size, offset);
        if (a < 0) {
            *sourceFailed = true;
            return errno;
        }
        const ssize_t b = ReadFull(system_, back.get(), CopyBuffer(1), size, offset);
        if (b < 0)
            return errno;
        if (a != b || std::memcmp(CopyBuffer(0), CopyBuffer(1), static_cast<size_t>(a)) != 0)
            return EIO;
        if (a < static_cast<ssize_t>(size))
            return 0;
        offset += a;
        chunks.Took(clock.elapsed());
    }
}

int FolderDrive::SyncAndReadBackHeld(const Unnamed** at, bool* sourceFailed) {
    if (unnamed_.empty())
        return 0;
    // Every copy whole on the medium before any is read back: one sync for them all.
    if (system_.SyncFileSystem(held_) != 0)
        return errno;
    // In the order they were written; a floppy can take the data and still fail to hold it.
    for (const Unnamed& copy : unnamed_) {
        Chunks chunks(paces_, copy.medium);
        if (const int failure = Verify(copy.source, held_, copy.temporary, chunks, sourceFailed)) {
            *at = &copy;
            return failure;
        }
    }
    return 0;
}

int FolderDrive::GiveName(const Unnamed& copy) {
    const char* temporary = copy.temporary.constData();
    const char* name = copy.name.constData();
    struct stat there {};
    if (system_.StatAt(held_, name, &there) == 0) {
        // Only what stood there when the copy began, or a copy of this disk under the same
        // name, is replaced; anything else another program made meanwhile and is left alone.
        const auto named = named_.find(QFile::decodeName(copy.name).toCaseFolded());
        if (!copy.replaces.Is(there) && (named == named_.end() || !named->second.Is(there)))
            return EEXIST;
        return RenameTemporary(system_, held_, temporary, name);
    }
    if (system_.Rename(held_, temporary, name, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // A file system with no rename that never replaces (many FUSE mounts): the name was free
    // a moment ago.
    if (system_.StatAt(held_, name, &there) == 0)
        return EEXIST;
    return RenameTemporary(system_, held_, temporary, name);
}

}  // namespace platform
