#include "platform/system_calls.h"

#include <fcntl.h>
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
