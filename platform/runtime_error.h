#pragma once

#include <QString>
#include <exception>
#include <utility>

namespace platform {

// The run-time error numbers the program tells apart or reports.
namespace errors {
inline constexpr int kNone = 0;
inline constexpr int kInvalidArgument = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kBadFileName = 52;
// 52 is raised in two senses, each named where it is raised:
inline constexpr int kNoDiskToList = kBadFileName;       // Dir on a drive with no disk
inline constexpr int kNameFatCannotHold = kBadFileName;  // a name a FAT floppy cannot hold
inline constexpr int kFileNotFound = 53;
inline constexpr int kDeviceIO = 57;
inline constexpr int kDiskFull = 61;
inline constexpr int kDeviceUnavailable = 68;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kDiskNotReady = 71;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
}  // namespace errors

// A failure of a platform operation, carrying the run-time's standard error number and, where
// the platform knows it, its cause in words (which disk, which file, why), for whoever shows the
// failure to say beside its box or in its own line. Every failure the program reports travels
// as this one type.
class RuntimeError : public std::exception {
  public:
    explicit RuntimeError(int number, QString cause = {})
        : number_(number), cause_(std::move(cause)) {}

    int number() const { return number_; }
    // Empty when the number says it all.
    const QString& cause() const { return cause_; }
    // The run-time's standard Spanish text for this number.
    QString text() const;
    const char* what() const noexcept override { return "QTL99 run-time error"; }

  private:
    int number_;
    QString cause_;
};

// The standard Spanish text of an error number; the empty text for 0.
QString StandardText(int number);

// The number for an errno value of a failed file-system call, by the program's table
// (ENOSPC disk full, EACCES permission denied, EIO device I/O, ...; anything else 75).
int NumberForErrno(int errnum);

}  // namespace platform
