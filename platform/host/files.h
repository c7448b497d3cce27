#pragma once

#include <QString>
#include <string>

#include "platform/host.h"

// The file operations of the program and its settings lookup, on drive paths of the host's
// drives. Failures raise RuntimeError with the numbers below; each kind of drive does the work
// (see Drive).
namespace platform {

// Attribute mask of Dir: hidden (2) + system (4) + folder (16).
inline constexpr int kAllAttributes = 22;

// Dir(path, 22). For a path ending in "\": the name of the first entry of that folder other
// than "." and ".." (dot-files included), or the empty text when it is empty or does not
// exist. For any other path: the stored name of that entry (file or folder), or the empty text.
// Raises 68 when the drive letter is not in the table, 52 when the drive is not ready, 76 when
// a folder on the way does not exist, 70 when a folder may not be read.
QString Dir(Host& host, const QString& path, int attributes);

// FileCopy(source, destination): copies the whole file or nothing.
// - Never writes to the source, never waits on a source that is not a regular file, never
//   reads a file outside the source's drive (links resolved).
// - Writes a copy under a temporary name, makes it durable, reads it back from the medium and
//   compares, and only then gives it the destination name: a link there is replaced (what it
//   pointed at is untouched) and an existing entry stays as it was on any failure.
// - Keeps the source's modification time; its permission bits less the umask.
// Raises 68 when a drive letter is not in the table; 71 when a drive is not ready (or its
// medium was removed); 76 a folder on the way missing; 53 the source missing (its folder
// exists); 75 an empty name, a folder or a non-regular file as source, a source off its drive,
// or source and destination the same file; 61 no space; 70 write-protected or not permitted;
// 57 a device I/O error or a copy that does not read back the same as its source.
void FileCopy(Host& host, const QString& source, const QString& destination);

// Tells the drive of `drive` ("a:") that the user put disk `number` of the set in it. Does
// nothing for a drive that is not in the table.
void InsertDisk(Host& host, const QString& drive, int number);

// Tells the drive of `drive` that the list of the disk in it is all written: what the drive
// held back for the disk is done now (a disk of images takes its name Disco<n>.img) and what
// was copied to it is durable, names included. Raises what FileCopy raises for the
// destination; does nothing for a drive not in the table.
void FinishDisk(Host& host, const QString& drive);
// How many of the last copies to the drive of `drive` a failed commit has lost since the last
// call (see Drive::TakeLost); 0 for a drive not in the table.
int TakeLost(Host& host, const QString& drive);
// Lets the disk in the drive of `drive` go before the user is asked for the next one (see
// Drive::ReleaseDisk). Raises 71 when it cannot; does nothing for a drive not in the table.
void ReleaseDisk(Host& host, const QString& drive);

// Tells the drive of `drive` that the disk set is over, done or given up (see
// Drive::EndOfSet). Never raises.
void EndOfSet(Host& host, const QString& drive);

// A file of a drive, read whole as its copy would read it (on a folder, a floppy, a CD image).
struct DriveFile {
    qint64 bytes = 0;
    QString identity;  // the same for the same file, whatever name reached it (SourceFile)
    QString cause;     // why it could not be read, where its drive knows it
};
// Reads the file `drivePath` through its drive, into `content` unless it is nullptr: 0, or the
// number its copy would raise before writing anything (68, 71, 76, 53, 70, 75, 57).
int ReadDriveFile(Host& host, const QString& drivePath, DriveFile* file, std::string* content);

// App.Path: the program folder in drive form, without a trailing backslash except at a drive
// root ("d:\INSTALA", "d:\"). When the folder lies on no drive, the host's notices say so
// and the Linux folder comes back with backslashes and no drive, so that every lookup of the
// settings file then gives its default.
QString AppPath(Host& host);

// The settings lookup (ProfileLookup, platform/profile.h) on the file named by a drive path,
// read anew at each call. A file that is missing, on a drive that is not there or not ready,
// that cannot be read, or that is not a regular file (a folder, a FIFO, a device) gives the
// default; none of them blocks the call. `unreadable`, when given, gets why a file that is there
// could not be read where its drive knows it (a CD image cut short), else nothing.
int GetPrivateProfileString(Host& host, const QString& section, const QString* key,
                            const QString& defaultText, QString& buffer, int size,
                            const QString& fileDrivePath, QString* unreadable = nullptr);

}  // namespace platform
