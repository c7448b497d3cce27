#pragma once

#include <sys/types.h>

#include <map>
#include <vector>

#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"

namespace platform {

// A drive whose disk is a Linux folder: a mounted medium, or any folder the table names. Each
// copy is written in chunks sent on to the medium as they go, and waits on it: the disk-set
// loop runs on a thread of its own. Its system calls go through the services.
class FolderDrive : public Drive {
  public:
    FolderDrive(DriveInfo info, const DriveServices& services);
    ~FolderDrive() override;

    bool IsReady() const override;
    QString Root() const override;
    ResolvedPath Resolve(const DrivePath& path) const override;
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void CopyIn(const DrivePath& path, const SourceFile& source) override;
    // Copies are named when their disk is done (on FAT in turns, a few at a time), each only
    // once it and the others of its turn are durable and read back whole from the medium. A
    // turn that could not be made durable, read back or named leaves the disk short of all its
    // copies: TakeLost counts them.
    void FinishDisk() override { SyncDisk(); }
    void SyncDisk() override;
    int TakeLost() override;
    // Names the copies held so far, as SyncDisk does, without raising again what a turn before
    // lost: for letting the disk go, which that must not keep mounted.
    void NameHeldCopies();
    // The number of what keeps this disk short of a copy not yet taken; 0 when nothing does.
    int lost() const { return lostCopies_ > 0 ? lost_ : 0; }
    void InsertDisk(int number) override;
    void EndOfSet() override;

  private:
    class Chunks;
    // Removes `name` of the open folder `folder` when it is the temporary copy of a program
    // that no longer runs; true when it went.
    bool RemoveIfLeftover(int folder, const QByteArray& name) const;
    // Writes all of `in` to `out` chunk by chunk; 0 or the errno of the failure.
    int Write(int in, int out, Chunks& chunks);
    // Reads the copy back from the medium and compares it with `source`; 0, or the errno of
    // the failure (EIO when they differ), `sourceFailed` set when it was the source that could
    // not be read.
    int Verify(int source, int folder, const QByteArray& copyName, Chunks& chunks,
               bool* sourceFailed);
    // A copy written under its temporary name, to be read back and named with the others of
    // its turn.
    struct Unnamed {
        QByteArray temporary, name;
        int source;  // the copy's source, open to compare the copy with; owned
        dev_t medium;
        // The file the copy is, and what stood under its name when it was begun, which it may
        // replace (nothing when `replaces.present` is false).
        struct Identity {
            bool present = false;
            ino_t inode = 0;
            off_t size = 0;
            struct timespec modified {};
            // The same file: its number, or (where a file system gives a file another number
            // once it is out of memory, as vfat does) its size and its time, to FAT's two
            // seconds.
            bool Is(const struct stat& st) const {
                const auto seconds = st.st_mtim.tv_sec - modified.tv_sec;
                return present && (st.st_ino == inode ||
                                   (st.st_size == size && seconds >= -2 && seconds <= 2));
            }
        };
        Identity copy, replaces;
    };
    // Makes the held copies durable with one sync of their file system, then reads each back
    // from the medium and compares it with its source; 0, or the errno of the first failure
    // (EIO when one differs), with the copy it failed at in `at` and whether its source failed.
    int SyncAndReadBackHeld(const Unnamed** at, bool* sourceFailed);
    // Gives `copy` its name, never over what another program put there meanwhile; 0 or the
    // errno of the failure (EEXIST when the name was taken).
    int GiveName(const Unnamed& copy);
    // Keeps `copy` of the open folder `folder` (at `path`) to be read back and named by
    // SyncDisk; takes both descriptors.
    void HoldName(int folder, const QByteArray& path, Unnamed copy);
    // The number for a failure of a copy: a vanished medium is a drive that is not ready.
    static int CopyErrorNumber(int errnum);
    const DriveServices& services_;
    SystemCalls& system_;
    // The chunk size the copies to each medium settled on, by device: a disk swapped in the
    // drive keeps the pace it showed.
    std::map<dev_t, size_t> paces_;
    // The copies written but not yet named, all of one folder: they are made durable together,
    // with one sync of the file system, then read back, and only then named. The folder is
    // held open with its path; -1 when there is none.
    static constexpr size_t kMostUnnamedOnFat = 8;
    static constexpr size_t kMostUnnamed = 256;  // each holds its source open
    std::vector<Unnamed> unnamed_;
    // The copies named since the disk was put in, by their names case folded: a name listed
    // again replaces its own copy.
    std::map<QString, Unnamed::Identity> named_;
    int held_ = -1;
    QByteArray heldPath_;
    int lost_ = 0;  // the number of the failure that kept copies of this disk from their names
    int lostCopies_ = 0;  // and how many copies it kept, not yet taken
};

}  // namespace platform
