#pragma once

#include <sys/stat.h>
#include <QString>
#include <memory>
#include <vector>

#include "platform/drive_table.h"
#include "platform/paths.h"
#include "platform/system_calls.h"

namespace platform {

// A file opened to be copied: a regular file, read from its start. Closed on destruction.
class SourceFile {
  public:
    SourceFile() = default;
    // `fd` is closed through `system`. `identity` tells which file it is, whatever name reached
    // it; by default its device and number.
    SourceFile(int fd, const struct stat& info, SystemCalls& system, QString identity = {});
    ~SourceFile();
    SourceFile(SourceFile&& other) noexcept;
    SourceFile& operator=(SourceFile&& other) noexcept;
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    int fd() const { return fd_; }
    const struct stat& info() const { return stat_; }
    // The same text for the same file, whatever name or link reached it.
    const QString& identity() const { return identity_; }
    // The identity of a file of the machine: its device and number.
    static QString IdentityOf(const struct stat& info);

  private:
    int fd_ = -1;
    struct stat stat_ {};
    QString identity_;
    SystemCalls* system_ = nullptr;
};

// One lettered drive. Paths reach it already read by ParseDrivePath; what a name means on the
// disk is the drive's own affair. Operations raise RuntimeError with the numbers below.
class Drive {
  public:
    explicit Drive(DriveInfo info) : info_(std::move(info)) {}
    virtual ~Drive() = default;
    Drive(const Drive&) = delete;
    Drive& operator=(const Drive&) = delete;

    const DriveInfo& info() const { return info_; }
    // What the table says of the drive now (where its device is mounted, whether it is); the
    // drive keeps everything else it knows.
    void Refresh(DriveInfo info) { info_ = std::move(info); }
    QString name() const { return info_.name(); }

    // The text of its drive list entry: "a:", or "d: [LABEL]" when the drive has a label.
    virtual QString ListEntry() const;
    // What its drive list entry says when the pointer rests on it; empty for nothing.
    virtual QString ToolTip() const { return {}; }
    // True when there is a disk in it that can be read now, as far as the machine tells without
    // acting on the drive (nothing is mounted, written or formatted to know).
    virtual bool IsReady() const = 0;
    // The same, once the drive has done what it must to know: a drive whose disk only a mount
    // can reveal mounts it (and says why not). For the user's own choice of a drive.
    virtual bool MakeReady() { return IsReady(); }
    // The Linux folder of the disk's root when the disk is a folder; empty otherwise (and when
    // there is no disk).
    virtual QString Root() const { return {}; }

    // Where `path` leads on the disk; never raises (the status tells).
    virtual ResolvedPath Resolve(const DrivePath& path) const = 0;
    // Dir(path, 22): for a folder path, the first entry of that folder other than "." and ".."
    // (hidden and system files and folders included), or the empty text when it is empty or
    // does not exist; for any other path, that entry's stored name, or the empty text. Raises
    // 52 without a disk, 76 when a folder on the way is missing, 70 when one may not be read.
    virtual QString Dir(const DrivePath& path) = 0;
    // Opens file `path` to be copied. Raises 71 without a disk, 76 when a folder on the way is
    // missing, 53 when the file is, 70 when it may not be read, 75 when it is not a regular
    // file, has an empty name or lies (links resolved) outside the drive.
    virtual SourceFile OpenSource(const DrivePath& path) = 0;
    // Reads file `path` whole, as OpenSource does, and keeps nothing of it: its size goes to
    // `bytes`, and what file it is (as SourceFile::identity) is returned. Raises as OpenSource.
    virtual QString ReadThrough(const DrivePath& path, qint64* bytes);
    // Writes the whole of `source` under `path`, makes it durable and reads it back from the
    // medium to compare; an entry that was there is replaced only by a complete, verified copy
    // and is left as it was on any failure. Raises 71 without a disk, 76, 70, 75 (an empty
    // name, a folder, the source itself), 61 when the disk is full, 57 when the medium fails or
    // the copy does not read back the same. A drive may hold copies back to make them durable
    // and read them back together (their commit): what fails then is raised by a later CopyIn,
    // SyncDisk or FinishDisk, and the copies it lost are counted by TakeLost.
    virtual void CopyIn(const DrivePath& path, const SourceFile& source) = 0;
    // How many of the last copies CopyIn took without raising a failed commit has lost since
    // the last call: the disk does not hold them, and they are to be written again. Each is
    // counted once. Until they are taken, SyncDisk and FinishDisk raise the number of the
    // failure that lost them, so that a disk short of a copy is never taken for written.
    virtual int TakeLost() { return 0; }
    // The user has put disk `number` of the set in this drive (answered the prompt for it); a
    // new set starts with disk 1. A disk left unfinished is given up.
    virtual void InsertDisk(int /*number*/) {}
    // The list of the disk in the drive is all written: what the drive held back for it is done
    // now, and everything copied to the disk is durable, names included, so that it may be
    // taken out. Raises what CopyIn raises.
    virtual void FinishDisk() {}
    // Everything copied to the disk so far is made durable, names included: called before a
    // failure of a copy is told, since the user may take the disk out then. Raises what CopyIn
    // raises.
    virtual void SyncDisk() {}
    // The user is about to be asked for a disk: the disk in the drive is let go (unmounted,
    // whoever mounted it) so that it can be taken out and the next one is never reached
    // through its mount. Raises 71 when it cannot be let go.
    virtual void ReleaseDisk() {}
    // The set is over, done or given up: what the program did to the drive for it is undone
    // (a disk it mounted is unmounted) where that can be; never raises.
    virtual void EndOfSet() {}

  private:
    DriveInfo info_;
};

// The drive of a letter (either case), or nullptr.
Drive* FindDrive(const DriveTable& drives, QChar letter);

// `path` on a disk of drive `info` that has no Linux folder (a FAT disk mounted nowhere): its
// files lie in its root, a path through folders has a missing folder, and nothing on it is a
// file a program could be started from.
ResolvedPath ResolveInRoot(const DriveInfo& info, const DrivePath& path);

// A drive path resolved on the drive it names (status kNoDrive when there is none).
ResolvedPath ResolveDrivePath(const QString& drivePath, const DriveTable& drives);

// A Linux folder in drive form ("d:\INSTALA", "d:\" for a root): the drive whose root is the
// longest prefix of the folder, both with their links resolved through `system`. Empty when the
// folder lies on no drive. A CD image file an optical drive stands for is that drive's root.
QString ToDriveForm(SystemCalls& system, const QString& linuxFolder, const DriveTable& drives);

}  // namespace platform
