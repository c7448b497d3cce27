#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/fault.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"

namespace platform {

namespace {

FaultHook& Hook() {
    static FaultHook hook;
    return hook;
}

// Runs a system call unless a fault is injected into it; returns -1 with errno set on failure.
template <typename Call>
auto Sys(FsOp op, Call call) -> decltype(call()) {
    if (const int fault = InjectedFault(op)) {
        errno = fault;
        return -1;
    }
    decltype(call()) r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

// The number for a failure of a copy: a vanished medium is a drive that is not ready.
int CopyErrorNumber(int errnum) {
    if (errnum == ENOMEDIUM || errnum == ENODEV || errnum == ENXIO)
        return err::kDiscoNoListo;
    return NumberForErrno(errnum);
}

// The checks every path of a copy goes through; the number a drive problem raises.
void CheckReachable(const ResolvedPath& r) {
    RaiseIfUnreachable(r, err::kDiscoNoListo);
    if (r.endsWithSeparator || r.name.isEmpty())
        throw RuntimeError(err::kAccesoRutaArchivo);
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports the close's own failure (a delayed write error).
    int Close() {
        const int fd = fd_;
        fd_ = -1;
        return Sys(FsOp::kClose, [fd] { return ::close(fd); });
    }

  private:
    int fd_;
};

// Two blocks for copying and comparing, allocated once for the whole run: a fresh megabyte per
// file would cost more in page faults than the copy of a small file itself.
constexpr size_t kBlock = 1 << 20;
char* Block(int which) {
    static std::unique_ptr<char[]> blocks[2] = {std::make_unique_for_overwrite<char[]>(kBlock),
                                                std::make_unique_for_overwrite<char[]>(kBlock)};
    return blocks[which].get();
}

// Copies every byte of `in` to `out`: copy_file_range where the kernel can, else large blocks.
int CopyData(int in, int out) {
    // With faults injected every read and write goes through the hook, so copy by blocks.
    bool kernelCopy = !Hook();
    for (;;) {
        if (kernelCopy) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n == 0)
                return 0;
            if (n > 0)
                continue;
            if (errno == EINTR)
                continue;
            if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP &&
                errno != EBADF) {
                return errno;
            }
            kernelCopy = false;  // not across these file systems: copy by blocks
        }
        char* block = Block(0);
        const ssize_t got = Sys(FsOp::kRead, [&] { return ::read(in, block, kBlock); });
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put = Sys(FsOp::kWrite, [&] {
                return ::write(out, block + done, static_cast<size_t>(got - done));
            });
            if (put < 0)
                return errno;
            done += put;
        }
    }
}

// Reads up to `size` bytes at `offset`, as many as there are.
ssize_t ReadFull(int fd, char* buffer, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = Sys(FsOp::kRead, [&] {
            return ::pread(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        });
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

// Reads the finished copy back from the medium, not from the page cache, and compares it with
// the source: a floppy can take the data and still fail to hold it. Returns 0, or the errno of
// the failure (EIO when the copy differs).
int VerifyCopy(int source, const QByteArray& copyPath) {
    Fd back(Sys(FsOp::kVerify, [&] { return ::open(copyPath.constData(), O_RDONLY | O_CLOEXEC); }));
    if (back.get() < 0)
        return errno;
    // Drop the cached pages so that the comparison reads the medium; a file system in memory
    // has no other medium to read.
    struct statfs fs {};
    if (::fstatfs(back.get(), &fs) != 0 || (fs.f_type != TMPFS_MAGIC && fs.f_type != RAMFS_MAGIC))
        ::posix_fadvise(back.get(), 0, 0, POSIX_FADV_DONTNEED);
    char* original = Block(0);
    char* copy = Block(1);
    for (off_t offset = 0;; offset += kBlock) {
        const ssize_t a = ReadFull(source, original, kBlock, offset);
        const ssize_t b = ReadFull(back.get(), copy, kBlock, offset);
        if (a < 0 || b < 0)
            return errno;
        if (a != b || std::memcmp(original, copy, static_cast<size_t>(a)) != 0)
            return EIO;
        if (a < static_cast<ssize_t>(kBlock))
            return 0;
    }
}

void SyncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);  // some file systems cannot sync a folder; the file itself is already durable
    ::close(fd);
}

}  // namespace

void SetFaultHook(FaultHook hook) {
    Hook() = std::move(hook);
}
int InjectedFault(FsOp op) {
    return Hook() ? Hook()(op) : 0;
}

QString Dir(const QString& path, int /*attributes*/) {
    // Mask 22 lists ordinary, hidden and system files and folders alike: every entry.
    const ResolvedPath r = ResolveDrivePath(path);
    RaiseIfUnreachable(r, err::kNombreArchivoIncorrecto);
    if (!r.endsWithSeparator)
        return r.exists ? r.name : QString();
    if (!r.exists)
        return {};

    const QByteArray folder = QFile::encodeName(r.linuxPath);
    DIR* dir = nullptr;
    if (const int fault = InjectedFault(FsOp::kListFolder)) {
        errno = fault;
    } else {
        dir = ::opendir(folder.constData());
    }
    if (dir == nullptr)
        throw RuntimeError(NumberForErrno(errno));
    QString first;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        first = QFile::decodeName(name);
        break;
    }
    ::closedir(dir);
    return first;
}

void FileCopy(const QString& source, const QString& destination) {
    const ResolvedPath from = ResolveDrivePath(source);
    CheckReachable(from);
    if (!from.exists)
        throw RuntimeError(err::kArchivoNoEncontrado);
    const ResolvedPath to = ResolveDrivePath(destination);
    CheckReachable(to);

    const QByteArray fromPath = QFile::encodeName(from.linuxPath);
    const QByteArray toPath = QFile::encodeName(to.linuxPath);
    Fd in(
        Sys(FsOp::kOpenSource, [&] { return ::open(fromPath.constData(), O_RDONLY | O_CLOEXEC); }));
    if (in.get() < 0) {
        throw RuntimeError(errno == ENOENT ? err::kArchivoNoEncontrado : CopyErrorNumber(errno));
    }
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        throw RuntimeError(CopyErrorNumber(errno));
    if (S_ISDIR(sourceStat.st_mode))
        throw RuntimeError(err::kAccesoRutaArchivo);

    // Opening the source itself as the destination would empty it.
    struct stat existing {};
    if (::stat(toPath.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw RuntimeError(err::kAccesoRutaArchivo);
        if (existing.st_dev == sourceStat.st_dev && existing.st_ino == sourceStat.st_ino) {
            throw RuntimeError(err::kAccesoRutaArchivo);
        }
    }

    Fd out(Sys(FsOp::kOpenDestination, [&] {
        return ::open(toPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }));
    if (out.get() < 0)
        throw RuntimeError(CopyErrorNumber(errno));

    int failure = CopyData(in.get(), out.get());
    if (failure == 0) {
        const struct timespec times[2] = {sourceStat.st_atim, sourceStat.st_mtim};
        ::futimens(out.get(), times);  // the time is kept where the file system can hold it
        if (Sys(FsOp::kSync, [&] { return ::fsync(out.get()); }) != 0)
            failure = errno;
    }
    if (failure == 0 && out.Close() != 0)
        failure = errno;
    if (failure == 0)
        failure = VerifyCopy(in.get(), toPath);
    if (failure != 0) {
        // Whole file or nothing: a partial copy is corrupted data and must not stay.
        ::unlink(toPath.constData());
        throw RuntimeError(CopyErrorNumber(failure));
    }
    SyncFolder(QFile::encodeName(to.linuxPath.left(to.linuxPath.lastIndexOf(u'/') + 1)));
}

}  // namespace platform
