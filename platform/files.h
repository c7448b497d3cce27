#pragma once

#include <QString>

// The file operations of the program, on drive paths. Failures raise RuntimeError with the
// numbers below.
namespace platform {

// Attribute mask of Dir: hidden (2) + system (4) + folder (16).
inline constexpr int kAtributosTodos = 22;

// Dir(path, 22). For a path ending in "\": the name of the first entry of that folder other
// than "." and ".." (dot-files included), or the empty text when it is empty or does not
// exist. For any other path: the stored name of that entry (file or folder), or the empty text.
// Raises 68 when the drive letter is not in the table, 52 when the drive is not ready, 76 when
// a folder on the way does not exist, 70 when the folder cannot be read.
QString Dir(const QString& path, int attributes);

// FileCopy(source, destination): copies the whole file or nothing.
// - Never writes to the source; an existing destination file is replaced.
// - Keeps the source's modification time.
// - Makes the data and the directory entry durable (fsync) before it returns, and reads the
//   copy back from the medium (not from the page cache) to compare it with the source.
// - On any failure removes what it wrote of the destination, then raises:
//   68 drive letter not in the table; 71 a drive not ready (or its medium removed);
//   76 a folder on the way missing; 53 the source missing (its folder exists);
//   75 an empty name, a folder as source or destination, or source and destination the same
//   file; 61 no space; 70 write-protected or not permitted; 57 a device I/O error or a copy
//   that does not read back the same as its source.
void FileCopy(const QString& source, const QString& destination);

}  // namespace platform
