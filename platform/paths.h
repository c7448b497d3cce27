#pragma once

#include <QString>

#include "platform/drives.h"

// Drive paths ("a:\DISCO1\LEEME.TXT") resolved to Linux paths the way the program's
// original platform reads them.
namespace platform {

struct ResolvedPath {
    enum class Status {
        kNoDrive,        // no "x:" in front, or the letter is not in the drive table
        kNotReady,       // the drive has no medium (not mounted, root missing)
        kMissingFolder,  // a folder on the way does not exist (or is not a folder)
        kDenied,         // a folder on the way cannot be searched or read (EACCES, EPERM)
        kOk,             // every folder on the way exists; the last name may not
    };
    Status status = Status::kNoDrive;
    Drive drive;
    QString linuxPath;    // the drive root followed by the matched names
    QString name;         // the last name as stored on disk (as given when it does not exist)
    bool exists = false;  // the whole path names an existing entry
    bool endsWithSeparator = false;  // the path ends in "\" or "/": it names a folder
};

// Resolves a drive path:
// - "\" and "/" both separate, repeated separators collapse, "." is dropped and ".." goes up
//   but never above the drive root, so no path can reach outside the drive it names;
// - trailing blanks and dots of each name are dropped, leading blanks are kept;
// - each name matches its exact entry, or else the first entry of its folder that is the same
//   without regard to case; a last name that does not exist keeps the case it was given.
// "x:" alone or "x:NAME" start at the drive root.
ResolvedPath ResolveDrivePath(const QString& drivePath, const DriveTable& drives);
ResolvedPath ResolveDrivePath(const QString& drivePath);  // with CurrentDrives()

// Raises the number of a path that cannot be reached: 68 when its drive is not in the table,
// `notReadyNumber` when the drive has no medium, 76 when a folder on the way is missing, 70
// when a folder on the way may not be searched or read (permission is not absence).
void RaiseIfUnreachable(const ResolvedPath& resolved, int notReadyNumber);

// A Linux folder in drive form ("d:\INSTALA", "d:\" for a root): the drive whose root is the
// longest prefix of the folder. Empty when the folder lies on no drive.
QString ToDriveForm(const QString& linuxFolder, const DriveTable& drives);

}  // namespace platform
