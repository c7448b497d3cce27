#pragma once

#include <sys/types.h>
#include <optional>
#include <vector>

#include "platform/drives/fat_drive.h"
#include "platform/runtime_error.h"

namespace platform {

// A drive of floppy images: its folder holds one image a disk, Disco<n>.img, and the disk "in"
// it is the image of the disk last asked for (disk 1 before any, and at the start of a set). An
// image that does not exist yet is an empty standard 1.44 MB floppy, made (with its folder) when
// it is first written: under a name of its own, .Disco<n>.img.QTL99-<pid>-<k>.tmp, held open, and
// the folder locked against another program, until the disk's list is done (FinishDisk), when it
// takes its name, never over an image another program made. An image that is there already (a
// blank) is written the same way, as a copy that replaces it when done; a link there (to another
// set's image) is a disk in use (71), never followed nor replaced. A disk whose list copied
// nothing is an empty image all the same.
// A new image's files are held back and written together when its list is done (FinishDisk), or
// when a file comes that might not fit: what a fresh image holds is known,
// and a child program a file would cost more than the copies. A file that may not fit is
// written at once, like every file after it, so that a full disk is told at its file.
// A disk not finished is given up at the next prompt or when the set ends; an image that goes away
// while its disk is written is a disk taken out (71), never made afresh; the temporary images of a
// process that no longer runs are removed when a disk is put in and before one is begun. Dir and
// OpenSource only ask: a file held back is found where it is held.
class ImagesDrive : public FatDrive {
  public:
    ImagesDrive(DriveInfo info, const DriveServices& services);
    ~ImagesDrive() override;

    QString ListEntry() const override;  // "a: [Disquetes QTL99]": where the images go
    QString ToolTip() const override;
    bool IsReady() const override { return true; }
    QString Dir(const DrivePath& path) override;
    SourceFile OpenSource(const DrivePath& path) override;
    void InsertDisk(int number) override;
    void FinishDisk() override;
    void EndOfSet() override { GiveUp(); }

  protected:
    QString Medium() const override;
    bool HasDisk() override;
    void MakeDisk() override;
    void Write(const QString& name, const SourceFile& source) override;

  private:
    struct Begun {
        int disk = 0;
        QByteArray name;  // its temporary name in the folder
        int folder = -1;  // the folder, open and locked
        int image = -1;   // the image, open
        // The image there was at its name when the disk began, copied into this one and
        // replaced by it when the disk is finished.
        bool replaces = false;
        dev_t replacedDevice = 0;
        ino_t replacedInode = 0;
        // Its mode and owner, which the disk written takes when it takes its place.
        mode_t replacedMode = 0;
        uid_t replacedOwner = 0;
        gid_t replacedGroup = 0;
    };
    QString FinalName() const;  // Disco<n>.img
    void Begin();
    // Copies the image `name` of the folder into the one begun: 57 when it is no whole floppy.
    void CopyImage(const QByteArray& name);
    // 61, saying that what is full is the folder's own disk.
    RuntimeError FolderFull() const;
    void GiveUp();
    // Takes the file to be written with the others of its disk; false when it is to be written
    // now.
    bool HoldBack(const QString& name, const SourceFile& source);
    // The file held back under the root name of `path`, as FAT would find it; nullptr for none.
    const FatMedium::Incoming* HeldAt(const DrivePath& path) const;
    // Writes the files held back; those not written stay held when it raises.
    void WriteHeldBack();
    void DropHeldBack(size_t count);
    // The leftovers of the folder's temporary images, unless another program holds the folder
    // (`lockedFolder`: this drive's own lock on it, or -1).
    void RemoveLeftovers(int lockedFolder);

    int disk_ = 1;
    std::optional<Begun> begun_;
    // The files of the disk begun that are held back, and what the image has room for besides.
    // Only a disk that began as a freshly made image, whose files have all been held, is known
    // well enough.
    std::vector<FatMedium::Incoming> heldBack_;
    bool holding_ = false;
    int clustersLeft_ = 0;
    int entriesLeft_ = 0;
};

}  // namespace platform
