#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/vfs.h>
#include <string>

namespace platform {

// The system calls of the drives, the name walk, the settings file, the mount table and the
// FAT medium: one pure virtual method a call. DefaultSystemCalls() is this machine's; a test
// derives from SystemCallsWrapper to make any one call fail or see something else. Each behaves as
// the call it is named after: -1 (or nullptr) with errno set on failure; EINTR is retried. Every
// descriptor opened here is close-on-exec.
class SystemCalls {
  public:
    virtual ~SystemCalls() = default;

    // opendir(path), readdir(dir), closedir(dir).
    virtual DIR* OpenFolder(const char* path) = 0;
    virtual dirent* ReadFolder(DIR* dir) = 0;
    virtual int CloseFolder(DIR* dir) = 0;
    // A file to be copied: open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), so that
    // opening a FIFO or a device never waits.
    virtual int OpenSource(const char* path) = 0;
    // A new file of a copy: openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW).
    virtual int CreateCopy(int folder, const char* name, mode_t mode) = 0;
    // The finished copy, to read it back: openat(folder, name, O_RDONLY | O_NOFOLLOW).
    virtual int OpenCopy(int folder, const char* name) = 0;
    // pread(fd, buffer, size, offset).
    virtual ssize_t Read(int fd, void* buffer, size_t size, off_t offset) = 0;
    // write(fd, buffer, size).
    virtual ssize_t Write(int fd, const void* buffer, size_t size) = 0;
    // copy_file_range(in, &offset, out, nullptr, size, 0): the kernel copies without the data
    // passing through the program.
    virtual ssize_t CopyRange(int in, off_t offset, int out, size_t size) = 0;
    // sync_file_range(fd, offset, size, ...): this part of a file starts going to the medium
    // now, and with `wait` the call returns once it is there; so no later call waits for the
    // whole file at once.
    virtual int WriteOut(int fd, off_t offset, off_t size, bool wait) = 0;
    // fsync(fd).
    virtual int Sync(int fd) = 0;
    // close(fd); its failure is a delayed write error.
    virtual int Close(int fd) = 0;

    // open(path, flags, mode), and openat(folder, name, flags, mode).
    virtual int Open(const char* path, int flags, mode_t mode = 0) = 0;
    virtual int OpenAt(int folder, const char* name, int flags, mode_t mode = 0) = 0;
    // stat(path) (lstat without `follow`), fstatat(folder, name, AT_SYMLINK_NOFOLLOW), fstat(fd),
    // fstatfs(fd).
    virtual int Stat(const char* path, struct stat* info, bool follow = true) = 0;
    virtual int StatAt(int folder, const char* name, struct stat* info) = 0;
    virtual int StatFd(int fd, struct stat* info) = 0;
    virtual int StatFs(int fd, struct statfs* info) = 0;
    // renameat2(folder, from, folder, to, flags): RENAME_NOREPLACE fails with EEXIST on a taken
    // name, and with EINVAL where the file system cannot promise it.
    virtual int Rename(int folder, const char* from, const char* to, unsigned flags) = 0;
    // linkat(folder, from, folder, to, 0): fails with EEXIST on a taken name.
    virtual int Link(int folder, const char* from, const char* to) = 0;
    // unlinkat(folder, name, 0).
    virtual int Unlink(int folder, const char* name) = 0;
    // mkdir(path, mode).
    virtual int MakeFolder(const char* path, mode_t mode) = 0;
    // futimens(fd, times).
    virtual int SetTimes(int fd, const struct timespec times[2]) = 0;
    // posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED): the cached pages of the file are dropped.
    // Returns 0 or an errno, as posix_fadvise does.
    virtual int DropCache(int fd) = 0;
    // fdatasync(fd).
    virtual int SyncData(int fd) = 0;
    // posix_fallocate(fd, 0, size), else ftruncate where the file system cannot allocate.
    // Returns 0 or an errno.
    virtual int Allocate(int fd, off_t size) = 0;
    // memfd_create(name, MFD_CLOEXEC): a file in memory.
    virtual int MemoryFile(const char* name) = 0;
    // flock(fd, LOCK_EX | LOCK_NB): EWOULDBLOCK when another open file holds it. Released when
    // the descriptor is closed.
    virtual int Lock(int fd) = 0;
    // kill(pid, 0) found a process: one whose leftovers are not to be touched.
    virtual bool ProcessExists(pid_t pid) = 0;
    // readlink(path, buffer, size).
    virtual ssize_t ReadLink(const char* path, char* buffer, size_t size) = 0;
    // fcntl(fd, F_SETFL, flags).
    virtual int SetFlags(int fd, int flags) = 0;
    // fcntl(fd, F_DUPFD_CLOEXEC, 0): another descriptor of the same open file.
    virtual int Duplicate(int fd) = 0;
    // ioctl(fd, FDFLUSH): a floppy driver's track buffer is dropped; 0 elsewhere.
    virtual int FlushDriveBuffer(int fd) = 0;
    // realpath(path): the absolute path with every link, "." and ".." resolved, in `real`.
    virtual int RealPath(const char* path, std::string* real) = 0;
    // symlinkat(target, folder, name).
    virtual int SymLink(const char* target, int folder, const char* name) = 0;
    // unlinkat(folder, name, AT_REMOVEDIR): the empty folder `name` goes.
    virtual int RemoveFolder(int folder, const char* name) = 0;
    // syncfs(fd): everything of the file system that holds `fd` goes to its medium.
    virtual int SyncFileSystem(int fd) = 0;
    // fchown(fd, owner, group) and fchmod(fd, mode): the file takes another's owner and mode.
    virtual int SetOwner(int fd, uid_t owner, gid_t group) = 0;
    virtual int SetMode(int fd, mode_t mode) = 0;
};

// Forwards every call to another SystemCalls: a test derives from it and overrides the calls
// it makes fail, with no test branch in the real calls.
class SystemCallsWrapper : public SystemCalls {
  public:
    explicit SystemCallsWrapper(SystemCalls& target) : target_(target) {}
    SystemCalls& target() const { return target_; }

    DIR* OpenFolder(const char* path) override { return target_.OpenFolder(path); }
    dirent* ReadFolder(DIR* dir) override { return target_.ReadFolder(dir); }
    int CloseFolder(DIR* dir) override { return target_.CloseFolder(dir); }
    int OpenSource(const char* path) override { return target_.OpenSource(path); }
    int CreateCopy(int folder, const char* name, mode_t mode) override {
        return target_.CreateCopy(folder, name, mode);
    }
    int OpenCopy(int folder, const char* name) override { return target_.OpenCopy(folder, name); }
    ssize_t Read(int fd, void* buffer, size_t size, off_t offset) override {
        return target_.Read(fd, buffer, size, offset);
    }
    ssize_t Write(int fd, const void* buffer, size_t size) override {
        return target_.Write(fd, buffer, size);
    }
    ssize_t CopyRange(int in, off_t offset, int out, size_t size) override {
        return target_.CopyRange(in, offset, out, size);
    }
    int WriteOut(int fd, off_t offset, off_t size, bool wait) override {
        return target_.WriteOut(fd, offset, size, wait);
    }
    int Sync(int fd) override { return target_.Sync(fd); }
    int Close(int fd) override { return target_.Close(fd); }
    int Open(const char* path, int flags, mode_t mode) override {
        return target_.Open(path, flags, mode);
    }
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override {
        return target_.OpenAt(folder, name, flags, mode);
    }
    int Stat(const char* path, struct stat* info, bool follow) override {
        return target_.Stat(path, info, follow);
    }
    int StatAt(int folder, const char* name, struct stat* info) override {
        return target_.StatAt(folder, name, info);
    }
    int StatFd(int fd, struct stat* info) override { return target_.StatFd(fd, info); }
    int StatFs(int fd, struct statfs* info) override { return target_.StatFs(fd, info); }
    int Rename(int folder, const char* from, const char* to, unsigned flags) override {
        return target_.Rename(folder, from, to, flags);
    }
    int Link(int folder, const char* from, const char* to) override {
        return target_.Link(folder, from, to);
    }
    int Unlink(int folder, const char* name) override { return target_.Unlink(folder, name); }
    int MakeFolder(const char* path, mode_t mode) override {
        return target_.MakeFolder(path, mode);
    }
    int SetTimes(int fd, const struct timespec times[2]) override {
        return target_.SetTimes(fd, times);
    }
    int DropCache(int fd) override { return target_.DropCache(fd); }
    int SyncData(int fd) override { return target_.SyncData(fd); }
    int Allocate(int fd, off_t size) override { return target_.Allocate(fd, size); }
    int MemoryFile(const char* name) override { return target_.MemoryFile(name); }
    int Lock(int fd) override { return target_.Lock(fd); }
    bool ProcessExists(pid_t pid) override { return target_.ProcessExists(pid); }
    ssize_t ReadLink(const char* path, char* buffer, size_t size) override {
        return target_.ReadLink(path, buffer, size);
    }
    int SetFlags(int fd, int flags) override { return target_.SetFlags(fd, flags); }
    int Duplicate(int fd) override { return target_.Duplicate(fd); }
    int FlushDriveBuffer(int fd) override { return target_.FlushDriveBuffer(fd); }
    int RealPath(const char* path, std::string* real) override {
        return target_.RealPath(path, real);
    }
    int SymLink(const char* target, int folder, const char* name) override {
        return target_.SymLink(target, folder, name);
    }
    int RemoveFolder(int folder, const char* name) override {
        return target_.RemoveFolder(folder, name);
    }
    int SyncFileSystem(int fd) override { return target_.SyncFileSystem(fd); }
    int SetOwner(int fd, uid_t owner, gid_t group) override {
        return target_.SetOwner(fd, owner, group);
    }
    int SetMode(int fd, mode_t mode) override { return target_.SetMode(fd, mode); }

  private:
    SystemCalls& target_;
};

// This machine's calls (POSIX and Linux), which hold nothing.
SystemCalls& DefaultSystemCalls();

// A descriptor closed through `system` when it goes.
class OpenFd {
  public:
    explicit OpenFd(SystemCalls& system, int fd = -1) : system_(system), fd_(fd) {}
    ~OpenFd() { Reset(); }
    OpenFd(const OpenFd&) = delete;
    OpenFd& operator=(const OpenFd&) = delete;
    int get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            system_.Close(fd_);
        fd_ = fd;
    }
    // Closes now and returns the close's own result (its failure is a delayed write error).
    int Close() { return system_.Close(Release()); }
    // Hands the descriptor over, to be closed by the caller.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    SystemCalls& system_;
    int fd_;
};

// Gives the finished file `temporary` of the open folder `folder` its name `name`, then syncs
// the folder so that the name is durable where the file system can sync one. With `noReplace`,
// never over an entry that is there: EEXIST then, and `temporary` stays for the caller to
// remove. Where the file system cannot promise that in one rename (FUSE, NFS), a link under
// the name and the removal of `temporary` do it. 0, or the errno of the failure.
int FinishTemporary(SystemCalls& system, int folder, const char* temporary, const char* name,
                    bool noReplace);
// The same without the sync, and replacing what stands under `name`: the caller syncs the
// folder later, once for many names.
int RenameTemporary(SystemCalls& system, int folder, const char* temporary, const char* name);

// Reads up to `size` bytes of `fd` at `offset`, as many as there are (fewer only at its end);
// -1 with errno on a failure.
ssize_t ReadFull(SystemCalls& system, int fd, char* buffer, size_t size, off_t offset);

// The whole content of the regular file `path` in `content`: 0, or the errno of the failure
// (EINVAL when the path names anything else: a FIFO would block until a writer came, a device
// may never end). Opened without waiting and without becoming a terminal's.
int ReadRegularFile(SystemCalls& system, const char* path, std::string* content);
// The whole of the open file `fd`, from its start, into `content` (nullptr: read and let go):
// 0, or the errno of the failure.
int ReadWhole(SystemCalls& system, int fd, std::string* content);

}  // namespace platform
