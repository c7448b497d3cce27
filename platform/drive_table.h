#pragma once

#include <QChar>
#include <QString>
#include <memory>
#include <vector>

// The table of lettered drives: what each letter stands for on this machine.
namespace platform {

enum class DriveKind { kFloppy, kFixed, kOptical, kRemovable, kImages };

// One entry of the drive table.
struct DriveInfo {
    QChar letter;  // always lower case, 'a'..'z'
    QString root;  // absolute Linux folder (of the disk, or of the images); empty when not mounted
    DriveKind kind = DriveKind::kFixed;
    QString label;        // volume label, may be empty
    QString device;       // block device of a detected drive; empty for an explicit table
    bool mounted = true;  // false for an /etc/fstab entry that is not mounted now
    // The desktop's disk service's object for the disk of a floppy drive it knows; empty
    // for a drive found any other way.
    QString serviceBlock;

    // "a:"
    QString name() const { return QString(letter) + QLatin1Char(':'); }
};

using DriveInfos = std::vector<DriveInfo>;

// The drive of a letter (either case), or nullptr.
inline const DriveInfo* FindDrive(const DriveInfos& drives, QChar letter) {
    const QChar l = letter.toLower();
    for (const DriveInfo& d : drives) {
        if (d.letter == l)
            return &d;
    }
    return nullptr;
}

class Drive;
// The drives in force, in letter order. The host keeps them; a table shares them.
using DriveTable = std::vector<std::shared_ptr<Drive>>;

}  // namespace platform
