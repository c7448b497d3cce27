#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/finding/detection.h"
#include "platform/finding/udev_floppies.h"
#include "platform/host.h"
#include "platform/host/drive_set.h"
#include "platform/media/mount_table.h"
#include "platform/system_calls.h"
#include "tests/support/fakes.h"

namespace qtltest {

// The system calls of the drives and the FAT medium, each of which a test can make fail by name:
// `fault` is asked before each call and a non-zero errno it returns fails that call with it.
class FaultySystem : public platform::SystemCallsWrapper {
  public:
    FaultySystem() : SystemCallsWrapper(platform::DefaultSystemCalls()) {}
    enum class Op {
        kListFolder,
        kOpenSource,
        kOpenDestination,
        kRead,  // a read of the source or, while verifying, of the copy
        kWrite,
        kCopyRange,
        kSync,
        kClose,
        kVerify,  // opening the finished copy to read it back
        kOpen,    // any other open: a folder, the disk of a FAT medium, a temporary image
        kRename,
        kRenameNoReplace,  // a rename that never replaces (RENAME_NOREPLACE)
        kLink,
        kUnlink,
        kMakeFolder,
        kSyncData,
        kAllocate,
        kMemoryFile,
        kStat,  // a look at a path: the name walk, whether a drive's folder is there, where
                // a link leads
    };
    std::function<int(Op)> fault;
    // Paths of the machine shown otherwise, so that a test stages a mount table, a loop
    // device or a gone folder without root: a path that is, or lies under, a key is reached
    // at its value instead; an empty value hides it (ENOENT).
    std::map<std::string, std::string> seenAs;
    // Paths that look like block devices of these numbers; what stands there is opened as it
    // is (an image file standing for the disk).
    std::map<std::string, dev_t> devices;
    // Called with the bytes of each read, write and kernel copy before it is made: a slow
    // medium sleeps here.
    std::function<void(size_t)> pace;

    DIR* OpenFolder(const char* path) override;
    int OpenSource(const char* path) override;
    int CreateCopy(int folder, const char* name, mode_t mode) override;
    int OpenCopy(int folder, const char* name) override;
    ssize_t Read(int fd, void* buffer, size_t size, off_t offset) override;
    ssize_t Write(int fd, const void* buffer, size_t size) override;
    ssize_t CopyRange(int in, off_t offset, int out, size_t size) override;
    int Sync(int fd) override;
    // A wait for the medium, and a sync of the whole file system, are syncs too.
    int WriteOut(int fd, off_t offset, off_t size, bool wait) override;
    int SyncFileSystem(int fd) override;
    // The file system every folder is on, when set: a FAT floppy's (MSDOS_SUPER_MAGIC), say.
    long fileSystem = 0;
    int StatFs(int fd, struct statfs* info) override;
    int Close(int fd) override;
    int Open(const char* path, int flags, mode_t mode) override;
    int OpenAt(int folder, const char* name, int flags, mode_t mode) override;
    int Rename(int folder, const char* from, const char* to, unsigned flags) override;
    int Link(int folder, const char* from, const char* to) override;
    int Unlink(int folder, const char* name) override;
    int MakeFolder(const char* path, mode_t mode) override;
    int SyncData(int fd) override;
    int Allocate(int fd, off_t size) override;
    int MemoryFile(const char* name) override;
    int Stat(const char* path, struct stat* info, bool follow) override;
    int RealPath(const char* path, std::string* real) override;

  private:
    bool Fails(Op op);
    // Where `path` is reached: itself, or what `seenAs` shows in its place; false when hidden.
    bool Seen(const char* path, std::string* shown) const;
};

// The child programs of the FAT medium (mtools), each run of which a test can make go wrong:
// `fault` is asked before each run.
class FaultyChildren : public platform::Children {
  public:
    enum class Fault {
        kNone,
        kNotStarted,  // the program cannot be started
        kKilled,      // it dies of a signal before doing anything
        kFails,       // it exits with an I/O error, having done nothing
        kHangs,       // it never ends, and is ended at a short deadline
        kShort,       // its output stops half way
    };
    std::function<Fault(const platform::ChildRun&)> fault;

    platform::ChildOutcome Run(const platform::ChildRun& run) override;
};

// Block devices as a test describes them: what it does not say is not there (no device, no
// size, no label, not removable).
class ScriptedProbe : public platform::DeviceProbe {
  public:
    std::function<bool(const QString&)> exists;
    std::function<qint64(const QString&)> sizeBytes;
    std::function<QString(const QString&)> label;
    std::function<bool(const QString&)> removable;

    bool Exists(const QString& d) const override { return exists && exists(d); }
    qint64 SizeBytes(const QString& d) const override { return sizeBytes ? sizeBytes(d) : -1; }
    QString Label(const QString& d) const override { return label ? label(d) : QString(); }
    bool Removable(const QString& d) const override { return removable && removable(d); }
};

// udev's database as a test lists it, counting its reads.
class ListedUdev : public platform::UdevDatabase {
  public:
    std::vector<platform::UdevDisk> disks;
    mutable int reads = 0;
    std::vector<platform::UdevDisk> Disks() const override {
        ++reads;
        return disks;
    }
};

// A watch of the mount table that a test tells of each mount.
class ToldMounts : public platform::MountWatch {
  public:
    bool mounted = false;
    bool Changed() override { return std::exchange(mounted, false); }
};

// A host of temporary drives: a temporary folder tree whose sub-folders are mapped to lettered
// drives, with the program placed in one of them. Its message boxes, pointer and processes are
// fakes, replaced for a while by TestServices.
// The notices a test host hears: kept, and said on standard error as the program says them.
class SaidNotices : public platform::Notices {
  public:
    void Say(const QString& line) override;
    QStringList lines;
};

class TempDrives : public platform::Host {
  public:
    // The tree is made in the system's temporary folder, or under `parent`.
    explicit TempDrives(const QString& parent = {});
    // What a fault kept from going outside the tree goes with it.
    ~TempDrives() override;
    TempDrives(const TempDrives&) = delete;
    TempDrives& operator=(const TempDrives&) = delete;

    // The absolute Linux path of a path relative to the tree.
    QString Path(const QString& relative) const;
    // Creates a folder (and its parents).
    QString MakeFolder(const QString& relative) const;
    // Writes a file, creating its folders.
    void Write(const QString& relative, const QByteArray& bytes) const;
    QByteArray Read(const QString& relative) const;
    bool Exists(const QString& relative) const;

    // Maps drives: each entry "x:=folder[,kind]" with folder relative to the tree.
    void MapDrives(const QString& table);
    // Runs the program from a folder of the tree, or from a CD image file in it.
    void PlaceProgram(const QString& relative);

    platform::DriveTable Drives() override;
    QString ProgramFolder() override { return programFolder_; }
    platform::Dialogs& dialogs() override { return *dialogs_; }
    platform::Screen& screen() override { return *screen_; }
    platform::Notices& notices() override { return ownNotices; }
    platform::Processes& processes() override { return fakeProcesses; }
    platform::SystemCalls& systemCalls() override { return settingsSystem; }

    // Hands out other message boxes and pointer (nullptr: the host's own again).
    void Use(platform::Dialogs* dialogs, platform::Screen* screen);

    FaultySystem system;
    // The calls the host reads the settings file through, apart from the drives' so that a
    // fault or a pace set for the drives leaves the settings as they are.
    FaultySystem settingsSystem;
    FaultyChildren children;
    SaidNotices ownNotices;
    platform::DriveServices services{system, children, nullptr, nullptr, &ownNotices};
    FakeProcesses fakeProcesses{*this};
    ScriptedDialogs ownDialogs;
    FakeScreen ownScreen;

  private:
    QTemporaryDir dir_;
    platform::DriveInfos table_;  // read once, as the program reads its own table
    QString programFolder_;
    platform::DriveSet drives_{services};
    platform::Dialogs* dialogs_ = &ownDialogs;
    platform::Screen* screen_ = &ownScreen;
};

// Fresh scripted boxes, pointer and generation window for a test, given to the host and to the
// shared services while it lives.
class TestServices {
  public:
    explicit TestServices(TempDrives& host);
    ~TestServices();
    TestServices(const TestServices&) = delete;
    TestServices& operator=(const TestServices&) = delete;

    ScriptedDialogs dialogs;
    FakeScreen screen;
    FakeWindow window;
    Lib::Modulo lib;  // on the host, with these boxes and this window

  private:
    TempDrives& host_;
};

}  // namespace qtltest
