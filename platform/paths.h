#pragma once

#include <QString>
#include <QStringList>

#include "platform/drive_table.h"
#include "platform/system_calls.h"

// Drive paths ("a:\DISCO1\LEEME.TXT") read the way the program's original platform reads them.
// The reading is the same for every kind of drive; each kind then finds the names on its disk.
namespace platform {

// A drive path split into its drive letter and the names after it:
// - "\" and "/" both separate, repeated separators collapse, "." is dropped and ".." goes up
//   but never above the drive root, so no path can reach outside the drive it names;
// - trailing blanks and dots of each name are dropped, leading blanks are kept.
// "x:" alone or "x:NAME" start at the drive root. `letter` is null when the text does not
// start with "x:".
struct DrivePath {
    QChar letter;
    QStringList names;
    bool endsWithSeparator = false;  // the path ends in "\" or "/", or is the root: a folder
};
DrivePath ParseDrivePath(const QString& drivePath);

// A name as every disk keeps it: its trailing blanks and dots dropped ("LEEME.TXT . " is
// "LEEME.TXT"), leading blanks kept.
QString WithoutTrailingBlanksAndDots(QString name);

// What a path names on its drive.
struct ResolvedPath {
    enum class Status {
        kNoDrive,        // no "x:" in front, or the letter is not in the drive table
        kNotReady,       // the drive has no medium (not mounted, root missing)
        kMissingFolder,  // a folder on the way does not exist (or is not a folder)
        kDenied,         // a folder on the way cannot be searched or read (EACCES, EPERM)
        kOk,             // every folder on the way exists; the last name may not
    };
    Status status = Status::kNoDrive;
    DriveInfo drive;
    QString linuxPath;    // the drive root followed by the matched names (folder drives)
    QString name;         // the last name as stored on disk (as given when it does not exist)
    bool exists = false;  // the whole path names an existing entry
    bool endsWithSeparator = false;
};

// Raises the number of a path that cannot be reached: 68 when its drive is not in the table,
// `notReadyNumber` when the drive has no medium, 76 when a folder on the way is missing, 70
// when a folder on the way may not be searched or read (permission is not absence).
void RaiseIfUnreachable(const ResolvedPath& resolved, int notReadyNumber);

// Finds `names` under the Linux folder `root`: each name matches its exact entry, or else the
// first entry of its folder that is the same without regard to case; a last name that does
// not exist keeps the case it was given. Every look goes through `system`.
ResolvedPath ResolveInFolder(SystemCalls& system, const QString& root, const DrivePath& path);

}  // namespace platform
