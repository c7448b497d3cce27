#include "platform/system_calls.h"

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
}  // namespace

DIR* SystemCalls::OpenFolder(const char* path) {
    return ::opendir(path);
}
dirent* SystemCalls::ReadFolder(DIR* dir) {
    return ::readdir(dir);
}
int SystemCalls::CloseFolder(DIR* dir) {
    return ::closedir(dir);
}
int SystemCalls::OpenSource(const char* path) {
    return Retry([&] { return ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
}
int SystemCalls::CreateCopy(int folder, const char* name, mode_t mode) {
    return Retry([&] {
        return ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    });
}
int SystemCalls::OpenCopy(int folder, const char* name) {
    return Retry([&] { return ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
}
ssize_t SystemCalls::Read(int fd, void* buffer, size_t size, off_t offset) {
    return Retry([&] { return ::pread(fd, buffer, size, offset); });
}
ssize_t SystemCalls::Write(int fd, const void* buffer, size_t size) {
    return Retry([&] { return ::write(fd, buffer, size); });
}
ssize_t SystemCalls::CopyRange(int in, off_t offset, int out, size_t size) {
    return Retry([&] {
        off_t at = offset;
        return ::copy_file_range(in, &at, out, nullptr, size, 0);
    });
}
int SystemCalls::WriteOut(int fd, off_t offset, off_t size, bool wait) {
    const unsigned flags =
        wait ? SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER
             : SYNC_FILE_RANGE_WRITE;
    return Retry([&] { return ::sync_file_range(fd, offset, size, flags); });
}
int SystemCalls::Sync(int fd) {
    return Retry([&] { return ::fsync(fd); });
}
int SystemCalls::Close(int fd) {
    return ::close(fd);  // never retried: the descriptor is gone either way
}

int SystemCalls::Open(const char* path, int flags, mode_t mode) {
    return Retry([&] { return ::open(path, flags | O_CLOEXEC, mode); });
}
int SystemCalls::OpenAt(int folder, const char* name, int flags, mode_t mode) {
    return Retry([&] { return ::openat(folder, name, flags | O_CLOEXEC, mode); });
}
int SystemCalls::Stat(const char* path, struct stat* info, bool follow) {
    return follow ? ::stat(path, info) : ::lstat(path, info);
}
int SystemCalls::StatAt(int folder, const char* name, struct stat* info) {
    return ::fstatat(folder, name, info, AT_SYMLINK_NOFOLLOW);
}
int SystemCalls::StatFd(int fd, struct stat* info) {
    return ::fstat(fd, info);
}
int SystemCalls::StatFs(int fd, struct statfs* info) {
    return Retry([&] { return ::fstatfs(fd, info); });
}
int SystemCalls::Rename(int folder, const char* from, const char* to, unsigned flags) {
    return ::renameat2(folder, from, folder, to, flags);
}
int SystemCalls::Link(int folder, const char* from, const char* to) {
    return ::linkat(folder, from, folder, to, 0);
}
int SystemCalls::Unlink(int folder, const char* name) {
    return ::unlinkat(folder, name, 0);
}
int SystemCalls::MakeFolder(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}
int SystemCalls::SetTimes(int fd, const struct timespec times[2]) {
    return ::futimens(fd, times);
}
int SystemCalls::DropCache(int fd) {
    return ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}
int SystemCalls::SyncData(int fd) {
    return Retry([&] { return ::fdatasync(fd); });
}
int SystemCalls::Allocate(int fd, off_t size) {
    int failure = ::posix_fallocate(fd, 0, size);
    if (failure == EOPNOTSUPP || failure == EINVAL)
        failure = Retry([&] { return ::ftruncate(fd, size); }) == 0 ? 0 : errno;
    return failure;
}
int SystemCalls::MemoryFile(const char* name) {
    return ::memfd_create(name, MFD_CLOEXEC);
}
int SystemCalls::Lock(int fd) {
    return Retry([&] { return ::flock(fd, LOCK_EX | LOCK_NB); });
}
bool SystemCalls::ProcessExists(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}
ssize_t SystemCalls::ReadLink(const char* path, char* buffer, size_t size) {
    return ::readlink(path, buffer, size);
}
int SystemCalls::SetFlags(int fd, int flags) {
    return ::fcntl(fd, F_SETFL, flags);
}
int SystemCalls::FlushDriveBuffer(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode) || ::major(st.st_rdev) != 2)
        return 0;  // only the floppy driver (block major 2) keeps a track buffer
    return Retry([&] { return ::ioctl(fd, FDFLUSH); });
}

int RenameTemporary(SystemCalls& system, int folder, const char* temporary, const char* name) {
    return system.Rename(folder, temporary, name, 0) == 0 ? 0 : errno;
}

int FinishTemporary(SystemCalls& system, int folder, const char* temporary, const char* name,
                    bool noReplace) {
    if (system.Rename(folder, temporary, name, noReplace ? RENAME_NOREPLACE : 0) != 0) {
        if (!noReplace || errno != EINVAL)
            return errno;
        if (system.Link(folder, temporary, name) != 0)
            return errno;
        system.Unlink(folder, temporary);
    }
    system.Sync(folder);  // some file systems cannot sync a folder; the data is durable
    return 0;
}

bool RemoveLeftover(SystemCalls& system, int folder, const char* name, pid_t owner) {
    if (owner <= 0 || owner == ::getpid() || system.ProcessExists(owner))
        return false;
    struct stat st {};
    if (system.StatAt(folder, name, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    return system.Unlink(folder, name) == 0;
}

ssize_t ReadFull(SystemCalls& system, int fd, char* buffer, size_t size, off_t offset) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n =
            system.Read(fd, buffer + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

SystemCalls& DefaultSystemCalls() {
    static SystemCalls calls;
    return calls;
}

}  // namespace platform
