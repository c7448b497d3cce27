#pragma once

#include <QChar>
#include <QElapsedTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/drive_table.h"
#include "platform/drives/drive_services.h"
#include "platform/media/mount_table.h"

namespace platform {

// The drives a host keeps for its life, one a letter: made when its letter is first seen,
// refreshed in place after, so each keeps what it knows (the disk in a drive of images, the
// pace of a medium). A letter whose medium changes nature (a device mounted now, an image file
// made where there was none) gets a drive of the new kind.
class DriveSet {
  public:
    explicit DriveSet(const DriveServices& services) : services_(services) {}
    // The kept drives of `infos`, in letter order.
    DriveTable Update(const DriveInfos& infos);

  private:
    const DriveServices& services_;
    std::map<QChar, std::shared_ptr<Drive>> kept_;
};

// A detected drive table, kept while nothing can have changed it: younger than `life`, with
// nothing mounted or unmounted and no box shown since (at a box the user may swap a disk).
// Detecting asks the disk service and udev, which takes milliseconds: too long for every
// operation on every file.
class KeptDetection {
  public:
    // `mounts` tells whether anything was mounted or unmounted since it was last asked; with
    // none, every look detects afresh.
    KeptDetection(std::chrono::milliseconds life, MountWatch* mounts)
        : life_(life), mounts_(mounts) {}
    // The kept table, or the one `detect` makes now when the kept one may be out of date.
    const DriveInfos& Get(const std::function<DriveInfos()>& detect);
    // A box was shown: the next table is detected afresh.
    void Forget() { kept_.reset(); }

  private:
    std::chrono::milliseconds life_;
    MountWatch* mounts_;
    QElapsedTimer age_;
    std::optional<DriveInfos> kept_;
};

}  // namespace platform
