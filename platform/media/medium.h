#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/media/floppy.h"
#include "platform/system_calls.h"

namespace platform {

// What stands at the path a floppy drive's disk is reached by: the one place that decides
// whether a path is a device, an image file or a folder, whether a disk is in it and where it
// is mounted.
struct MediumState {
    enum class Kind { kNothing, kDevice, kImageFile, kFolder, kOther };
    Kind kind = Kind::kNothing;
    // A device with a disk in it (one the user may not open counts when it has a size: its
    // operations say 70); any image file.
    bool diskIn = false;
    long long bytes = 0;  // the disk's size; 0 when unknown or empty
    // Where the device is mounted now, when it is.
    std::optional<QString> mountPoint;
    // An image file that is mounted (a FUSE FAT mount of it) or backs a loop device: a disk in
    // use, which is never written underneath its file system.
    bool inUse = false;
};

// Looks at `path` now, links followed.
MediumState MediumAt(SystemCalls& system, const QString& path);

// True when the image file whose real path is `image` is the source of one of `mountSources`
// (the devices of the mount table) or the backing file of one of `loopBackings` (what
// /sys/block/loop*/loop/backing_file says).
bool ImageInUse(const QString& image, const QStringList& mountSources,
                const QStringList& loopBackings);

}  // namespace platform
