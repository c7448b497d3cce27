#include "platform/system_calls.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <cerrno>

namespace platform {

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

int ReadRegularFile(SystemCalls& system, const char* path, std::string* content) {
    const OpenFd fd(system, system.Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        return errno;
    struct stat st {};
    if (system.StatFd(fd.get(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    content->reserve(static_cast<size_t>(st.st_size));
    return ReadWhole(system, fd.get(), content);
}

int ReadWhole(SystemCalls& system, int fd, std::string* content) {
    if (content != nullptr)
        content->clear();
    char chunk[65536];
    for (off_t at = 0;;) {
        const ssize_t got = system.Read(fd, chunk, sizeof chunk, at);
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        if (content != nullptr)
            content->append(chunk, static_cast<size_t>(got));
        at += got;
    }
}

}  // namespace platform
