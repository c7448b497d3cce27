#pragma once

#include <sys/types.h>
#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "platform/fat/fat_names.h"
#include "platform/fat/mtools.h"
#include "platform/media/floppy.h"

// A FAT floppy written without mounting it, through GNU mtools: no FAT code of our own.
namespace platform {

// One FAT floppy reached through mtools: an image file, or a block device that nothing has
// mounted (the caller checks that). Every operation opens the disk anew and hands it to mtools
// open, so a disk swapped between two operations is seen at the next one. mtools runs through
// the host's child runner, with a clean environment and a configuration of the program's own
// read after the system's /etc/mtools.conf (which it always reads first: a bad line there
// stops every run, and says so on standard error). The mtools program is the one beside the
// running executable, else the system's (PATH, /usr/bin). A run that hangs past its deadline
// is ended.
//
// Failures raise RuntimeError with these numbers:
//   71  the image file or the device's medium is not there, or mtools hung on it;
//   70  the medium is write-protected: a read-only device, or an image file that nobody may
//       write (no write permission bit), even for root;
//   57  the medium cannot be read as a FAT disk (no boot sector, bad FAT, I/O error), or a copy
//       reads back differently from its source;
//   61  no room left, in the data area or in the root folder;
//   52  a name that a FAT long name cannot hold, or that mtools refuses (a device name, "con");
//   75  an empty name, a folder where a file is wanted, no mtools program or its configuration
//       could not be made (said on standard error, and asked again at the next run), anything
//       else.
// The system calls and child programs go through `services`; nothing is called directly.
class FatMedium {
  public:
    FatMedium(QString imageOrDevice, FatServices services);

    const QString& path() const { return path_; }

    // Makes the image an empty standard 1.44 MB FAT12 floppy (kStandardFloppyBytes, fully
    // allocated, the `mformat -f 1440` geometry), whole or not at all: it formats a temporary
    // file in the same folder, makes it durable and renames it over the image. A link at the
    // image's name is replaced, never followed. Raises 76 when the folder does not exist, 70
    // when it cannot be written or the image is write-protected, 61 when the folder's disk is
    // full, 75 when the path is a device or a folder (the program never formats a real floppy).
    void FormatStandard();
    // Makes the open, empty regular file `image` an empty standard 1.44 MB FAT12 floppy, durable
    // unless `durable` is false (an image that is made durable with its files, before it is
    // named). Raises 61 when its disk is full, 75 when mtools fails.
    void Format(int image, bool durable = true);

    // The name of the first entry of the root folder (hidden and system files and folders
    // included, the volume label not), or the empty text when there is none.
    QString FirstEntry();

    // The stored name of `name` in the root folder: an exact match, else the first entry that
    // matches without regard to case; the empty text when there is none (or the name could not
    // be a FAT name). Trailing blanks and dots of `name` are ignored, as everywhere on the
    // platform.
    QString StoredName(const QString& name);

    // Copies the open regular file `sourceFd` (read with pread; its offset is not used) into the
    // root folder under `name` (trailing blanks and dots dropped; a long name becomes a VFAT
    // entry) with the source's modification time, makes the medium durable and reads the copy
    // back through mtools to compare it with the source. Whole or nothing: on any failure no
    // new entry stays. An existing file whose name differs only in case is replaced and keeps
    // its stored name, as FAT does: the copy goes under a temporary name first and replaces the
    // old entry only once it has read back right, so a failure leaves the old entry as it was
    // (this needs room for both while it runs). Raises the numbers above; 75 when `sourceFd` is
    // not a regular file or the name is an existing folder.
    void CopyIn(int sourceFd, const QString& name);

    // A file to copy with others: open and regular, read from its start, and its name as
    // FatName gives it.
    struct Incoming {
        int fd = -1;
        QString name;
    };
    // Copies `files` as CopyIn would, one after the other, but in one mtools run, read back in
    // one more: a child program a file costs more than the copy. A device is made durable
    // between the two; an image file is left for its caller to make durable once it is whole,
    // before it is named (its read-back reads the file as the system holds it either way). Their
    // names must be new on the disk and differ from each other in more than case, and the
    // caller knows that they fit. When the runs together do not work out, what they wrote goes
    // and the files are copied one by one, so that a failure is the one CopyIn raises, at its
    // file. `copied(i)` is called once file i is whole on the disk.
    void CopyInTogether(const std::vector<Incoming>& files,
                        const std::function<void(size_t)>& copied);

    // Removes what copies together of this process left where a removal failed; for a time
    // when none runs. Those of gone processes go at the next copy together.
    static void RemoveOwnWorkFolders(SystemCalls& system);

    // Copies the root entry `name` (found as StoredName finds it) to the open file
    // `destinationFd`, written from its current offset. Raises 53 when there is no such entry,
    // 75 when it is a folder, the numbers above for the medium, and the number of the errno when
    // writing to `destinationFd` fails (61 for a full disk).
    void CopyOut(const QString& name, int destinationFd);

  private:
    struct Entry {
        QString name;
        bool folder = false;
    };
    // The disk, open for one operation (read and write with `write`); raises 71 when it is not
    // there, 75 for what is no disk (a folder, a FIFO), 70 when it is write-protected.
    int Open(bool write);
    std::vector<Entry> List();
    static const Entry* Find(const std::vector<Entry>& entries, const QString& name);
    void Copy(int sourceFd, const QString& name);
    enum class Written { kYes, kSkipped };
    Written WriteEntry(int medium, int sourceFd, off_t size, const QString& name);
    // Whether the runs together wrote and read back every one of `files`; when not, nothing
    // of theirs is left on the disk.
    bool CopiedTogether(const std::vector<Incoming>& files);
    // Sends mtools' writes to the medium, past every cache: 0, or the number of the failure.
    int MakeDurable(int medium);
    void MakeDurableAndCheck(int medium, int sourceFd, off_t size, const QString& name);
    void Remove(int medium, const QByteArray& pattern);

    QString path_;
    FatServices services_;
};

}  // namespace platform
