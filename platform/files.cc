#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

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
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
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
int VerifyCopy(int source, int folder, const QByteArray& copyName) {
    Fd back(Sys(FsOp::kVerify, [&] {
        return ::openat(folder, copyName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }));
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

// A source file opened for a copy: a regular file whose real path lies on its own drive.
struct SourceFile {
    Fd fd{-1};
    struct stat stat {};
};

SourceFile OpenSource(const ResolvedPath& from) {
    const QByteArray path = QFile::encodeName(from.linuxPath);
    SourceFile in;
    // Non-blocking, so that a FIFO or a device named as a source cannot hang the program.
    in.fd = Fd(Sys(FsOp::kOpenSource, [&] {
        return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }));
    if (in.fd.get() < 0)
        throw RuntimeError(errno == ENOENT ? err::kArchivoNoEncontrado : CopyErrorNumber(errno));
    if (::fstat(in.fd.get(), &in.stat) != 0)
        throw RuntimeError(CopyErrorNumber(errno));
    if (!S_ISREG(in.stat.st_mode))
        throw RuntimeError(err::kAccesoRutaArchivo);
    // A link on the source drive must not hand out a file from elsewhere on the machine.
    const QString real =
        QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(in.fd.get())).symLinkTarget();
    const QString root = QFileInfo(from.drive.root).canonicalFilePath();
    if (real.isEmpty() || root.isEmpty() || !(root == u"/" || real.startsWith(root + u'/'))) {
        throw RuntimeError(err::kAccesoRutaArchivo);
    }
    ::fcntl(in.fd.get(), F_SETFL, 0);
    return in;
}

unsigned NextTemporaryNumber() {
    static unsigned next = 0;
    return ++next;
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

    const SourceFile in = OpenSource(from);
    const qsizetype slash = to.linuxPath.lastIndexOf(u'/');
    const QByteArray folderPath = QFile::encodeName(to.linuxPath.left(slash + 1));
    const QByteArray name = QFile::encodeName(to.linuxPath.mid(slash + 1));
    Fd folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        throw RuntimeError(CopyErrorNumber(errno));

    // What stands under the destination name is looked at, never followed: a link is replaced,
    // a folder refused, and the source itself never opened for writing.
    struct stat existing {};
    if (::fstatat(folder.get(), name.constData(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode))
            throw RuntimeError(err::kAccesoRutaArchivo);
        if (existing.st_dev == in.stat.st_dev && existing.st_ino == in.stat.st_ino)
            throw RuntimeError(err::kAccesoRutaArchivo);
    }

    // The copy is written under a name of its own and only a complete, verified copy takes the
    // destination name: whatever fails, the entry that was there stays as it was.
    QByteArray temporary;
    Fd out(-1);
    for (int attempt = 0; out.get() < 0; ++attempt) {
        temporary = ".QTL99-" + QByteArray::number(::getpid()) + "-" +
                    QByteArray::number(NextTemporaryNumber());
        out = Fd(Sys(FsOp::kOpenDestination, [&] {
            return ::openat(folder.get(), temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            in.stat.st_mode & 0777);
        }));
        if (out.get() < 0 && (errno != EEXIST || attempt == 100))
            throw RuntimeError(CopyErrorNumber(errno));
    }

    int failure = CopyData(in.fd.get(), out.get());
    if (failure == 0) {
        const struct timespec times[2] = {in.stat.st_atim, in.stat.st_mtim};
        ::futimens(out.get(), times);  // the time is kept where the file system can hold it
        if (Sys(FsOp::kSync, [&] { return ::fsync(out.get()); }) != 0)
            failure = errno;
    }
    if (failure == 0 && out.Close() != 0)
        failure = errno;
    if (failure == 0)
        failure = VerifyCopy(in.fd.get(), folder.get(), temporary);
    if (failure == 0 &&
        ::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlinkat(folder.get(), temporary.constData(), 0);
        throw RuntimeError(CopyErrorNumber(failure));
    }
    ::fsync(folder.get());  // some file systems cannot sync a folder; the data is durable
}

}  // namespace platform
