#include <fcntl.h>
#include <linux/fd.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>

#include "platform/system_calls.h"

namespace platform {

namespace {

template <typename Call>
auto Retry(Call call) -> decltype(call()) {
    decltype(call()) r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

// This machine's calls. It holds nothing, so one instance serves every host.
class PosixSystemCalls final : public SystemCalls {
  public:
    DIR* OpenFolder(const char* path) override;
    dirent* ReadFolder(DIR* dir) override;
    int CloseFolder(DIR* dir) override;
    int OpenSource(const char* path) override;
    int CreateCopy(int folder, const char* name, mode_t mode) override;
    int OpenCopy(int folder, const char* name) override;
    ssize_t Read(int fd, void* buffer, size_t size, off_t offset) override;
    ssize_t Write(int fd, const void* buffer, size_t size) override;
    ssize_t CopyRange(int in, off_t offset, int out, size_t size) override;
    int WriteOut(int fd, off_t offset, off_t size, bool wait) override;
    int Sync(int fd) override;
    int Close(int fd) override;
    int Open(const char* path, int flags, mode_t mode) override;
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override;
    int Stat(const char* path, struct stat* info, bool follow) override;
    int StatAt(int folder, const char* name, struct stat* info) override;
    int StatFd(int fd, struct stat* info) override;
    int StatFs(int fd, struct statfs* info) override;
    int Rename(int folder, const char* from, const char* to, unsigned flags) override;
    int Link(int folder, const char* from, const char* to) override;
    int Unlink(int folder, const char* name) override;
    int MakeFolder(const char* path, mode_t mode) override;
    int SetTimes(int fd, const struct timespec times[2]) override;
    int DropCache(int fd) override;
    int SyncData(int fd) override;
    int Allocate(int fd, off_t size) override;
    int MemoryFile(const char* name) override;
    int Lock(int fd) override;
    bool ProcessExists(pid_t pid) override;
    ssize_t ReadLink(const char* path, char* buffer, size_t size) override;
    int SetFlags(int fd, int flags) override;
    int Duplicate(int fd) override;
    int FlushDriveBuffer(int fd) override;
    int RealPath(const char* path, std::string* real) override;
    int SymLink(const char* target, int folder, const char* name) override;
    int RemoveFolder(int folder, const char* name) override;
    int SyncFileSystem(int fd) override;
    int SetOwner(int fd, uid_t owner, gid_t group) override { return ::fchown(fd, owner, group); }
    int SetMode(int fd, mode_t mode) override { return ::fchmod(fd, mode); }
};

}  // namespace

DIR* PosixSystemCalls::OpenFolder(const char* path) {
    return ::opendir(path);
}
dirent* PosixSystemCalls::ReadFolder(DIR* dir) {
    return ::readdir(dir);
}
int PosixSystemCalls::CloseFolder(DIR* dir) {
    return ::closedir(dir);
}
int PosixSystemCalls::OpenSource(const char* path) {
    return Retry([&] { return ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
}
int PosixSystemCalls::CreateCopy(int folder, const char* name, mode_t mode) {
    return Retry([&] {
        return ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    });
}
int PosixSystemCalls::OpenCopy(int folder, const char* name) {
    return Retry([&] { return ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
}
ssize_t PosixSystemCalls::Read(int fd, void* buffer, size_t size, off_t offset) {
    return Retry([&] { return ::pread(fd, buffer, size, offset); });
}
ssize_t PosixSystemCalls::Write(int fd, const void* buffer, size_t size) {
    return Retry([&] { return ::write(fd, buffer, size); });
}
ssize_t PosixSystemCalls::CopyRange(int in, off_t offset, int out, size_t size) {
    return Retry([&] {
        off_t at = offset;
        return ::copy_file_range(in, &at, out, nullptr, size, 0);
    });
}
int PosixSystemCalls::WriteOut(int fd, off_t offset, off_t size, bool wait) {
    const unsigned flags =
        wait ? SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER
             : SYNC_FILE_RANGE_WRITE;
    return Retry([&] { return ::sync_file_range(fd, offset, size, flags); });
}
int PosixSystemCalls::Sync(int fd) {
    return Retry([&] { return ::fsync(fd); });
}
int PosixSystemCalls::Close(int fd) {
    return ::close(fd);  // never retried: the descriptor is gone either way
}

int PosixSystemCalls::Open(const char* path, int flags, mode_t mode) {
    return Retry([&] { return ::open(path, flags | O_CLOEXEC, mode); });
}
int PosixSystemCalls::OpenAt(int folder, const char* name, int flags, mode_t mode) {
    return Retry([&] { return ::openat(folder, name, flags | O_CLOEXEC, mode); });
}
int PosixSystemCalls::Stat(const char* path, struct stat* info, bool follow) {
    return follow ? ::stat(path, info) : ::lstat(path, info);
}
int PosixSystemCalls::StatAt(int folder, const char* name, struct stat* info) {
    return ::fstatat(folder, name, info, AT_SYMLINK_NOFOLLOW);
}
int PosixSystemCalls::StatFd(int fd, struct stat* info) {
    return ::fstat(fd, info);
}
int PosixSystemCalls::StatFs(int fd, struct statfs* info) {
    return Retry([&] { return ::fstatfs(fd, info); });
}
int PosixSystemCalls::Rename(int folder, const char* from, const char* to, unsigned flags) {
    return ::renameat2(folder, from, folder, to, flags);
}
int PosixSystemCalls::Link(int folder, const char* from, const char* to) {
    return ::linkat(folder, from, folder, to, 0);
}
int PosixSystemCalls::Unlink(int folder, const char* name) {
    return ::unlinkat(folder, name, 0);
}
int PosixSystemCalls::MakeFolder(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}
int PosixSystemCalls::SetTimes(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}
int PosixSystemCalls::DropCache(int fd) {
    return ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}
int PosixSystemCalls::SyncData(int fd) {
    return Retry([&] { return ::fdatasync(fd); });
}
int PosixSystemCalls::Allocate(int fd, off_t size) {
    int failure = ::posix_fallocate(fd, 0, size);
    if (failure == EOPNOTSUPP || failure == EINVAL)
        failure = Retry([&] { return ::ftruncate(fd, size); }) == 0 ? 0 : errno;
    return failure;
}
int PosixSystemCalls::MemoryFile(const char* name) {
    return ::memfd_create(name, MFD_CLOEXEC);
}
int PosixSystemCalls::Lock(int fd) {
    return Retry([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
}
bool PosixSystemCalls::ProcessExists(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}
ssize_t PosixSystemCalls::ReadLink(const char* path, char* buffer, size_t size) {
    return ::readlink(path, buffer, size);
}
int PosixSystemCalls::SetFlags(int fd, int flags) {
    return ::fcntl(fd, F_SETFL, flags);
}
int PosixSystemCalls::Duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}
int PosixSystemCalls::FlushDriveBuffer(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) || ::major(st.st_rdev) != 2)
        return 0;  // only the floppy driver (block major 2) keeps a track buffer
    return Retry([&] { return ::ioctl(fd, FDFLUSH); });
}

int PosixSystemCalls::RealPath(const char* path, std::string* real) {
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr)
        return -1;
    real->assign(resolved);
    std::free(resolved);
    return 0;
}

int PosixSystemCalls::SymLink(const char* target, int folder, const char* name) {
    return ::symlinkat(target, folder, name);
}
int PosixSystemCalls::RemoveFolder(int folder, const char* name) {
    return ::unlinkat(folder, name, AT_REMOVEDIR);
}

int PosixSystemCalls::SyncFileSystem(int fd) {
    return Retry([&] { return ::syncfs(fd); });
}

SystemCalls& DefaultSystemCalls() {
    static PosixSystemCalls calls;
    return calls;
}

}  // namespace platform
