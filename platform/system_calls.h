#pragma once

#include <dirent.h>
#include <sys/types.h>

namespace platform {

// The system calls through which folder drives read and write their disks, one virtual
// method each, so that a test can wrap them and make any of them fail. Each behaves as the
// call it is named after: -1 (or nullptr) with errno set on failure; EINTR is retried here.
class SystemCalls {
  public:
    virtual ~SystemCalls() = default;

    // opendir(path).
    virtual DIR* OpenFolder(const char* path);
    // A file to be copied: open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), so that
    // opening a FIFO or a device never waits.
    virtual int OpenSource(const char* path);
    // A new file of a copy: openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW).
    virtual int CreateCopy(int folder, const char* name, mode_t mode);
    // The finished copy, to read it back: openat(folder, name, O_RDONLY | O_NOFOLLOW).
    virtual int OpenCopy(int folder, const char* name);
    // pread(fd, buffer, size, offset).
    virtual ssize_t Read(int fd, void* buffer, size_t size, off_t offset);
    // write(fd, buffer, size).
    virtual ssize_t Write(int fd, const void* buffer, size_t size);
    // copy_file_range(in, &offset, out, nullptr, size, 0): the kernel copies without the data
    // passing through the program.
    virtual ssize_t CopyRange(int in, off_t offset, int out, size_t size);
    // sync_file_range(fd, offset, size, ...): this part of a file starts going to the medium
    // now, and with `wait` the call returns once it is there; so no later call waits for the
    // whole file at once.
    virtual int WriteOut(int fd, off_t offset, off_t size, bool wait);
    // fsync(fd).
    virtual int Sync(int fd);
    // close(fd); its failure is a delayed write error.
    virtual int Close(int fd);
};

// The real calls.
SystemCalls& DefaultSystemCalls();

// Reads up to `size` bytes of `fd` at `offset`, as many as there are (fewer only at its end);
// -1 with errno on a failure.
ssize_t ReadFull(SystemCalls& system, int fd, char* buffer, size_t size, off_t offset);

}  // namespace platform
