#include "platform/host/drive_set.h"

#include <sys/stat.h>
#include <QFile>
#include <algorithm>

#include "platform/drives/cd_image_drive.h"
#include "platform/drives/fat_drive.h"
#include "platform/drives/folder_drive.h"
#include "platform/drives/images_drive.h"
#include "platform/drives/service_floppy_drive.h"
#include "platform/media/medium.h"

namespace platform {

namespace {

// The kind of drive object a table entry stands for now.
enum class Shape { kFolder, kFat, kImages, kService, kCdImage };

Shape ShapeOf(DriveInfo& info, SystemCalls& system, QString* medium) {
    if (info.kind == DriveKind::kImages)
        return Shape::kImages;
    if (!info.serviceBlock.isEmpty())
        return Shape::kService;  // the service says where its disk is, and mounts it
    // A floppy device or an image file standing for the disk: written through mtools, unless
    // the device is mounted now, when its mount point is the drive's folder.
    *medium = info.mounted ? info.root : info.device;
    // A file standing for a CD is an image of one: only read, so whether it is in use (mounted
    // through a loop device) does not matter, and is not looked for at every step.
    struct stat st {};
    if (info.kind == DriveKind::kOptical && info.device.isEmpty() && info.mounted &&
        system.Stat(QFile::encodeName(info.root).constData(), &st) == 0 && S_ISREG(st.st_mode))
        return Shape::kCdImage;
    const MediumState state = MediumAt(system, *medium);
    if (state.kind == MediumState::Kind::kDevice && state.mountPoint) {
        info.root = *state.mountPoint;
        info.mounted = true;
        return Shape::kFolder;
    }
    if ((state.kind == MediumState::Kind::kDevice && info.kind == DriveKind::kFloppy) ||
        (state.kind == MediumState::Kind::kImageFile && info.device.isEmpty())) {
        return Shape::kFat;
    }
    return Shape::kFolder;
}

bool HasShape(const Drive& drive, Shape shape) {
    switch (shape) {
        case Shape::kImages:
            return dynamic_cast<const ImagesDrive*>(&drive) != nullptr;
        case Shape::kFat:
            return dynamic_cast<const FloppyDrive*>(&drive) != nullptr;
        case Shape::kFolder:
            return dynamic_cast<const FolderDrive*>(&drive) != nullptr;
        case Shape::kService:
            return dynamic_cast<const ServiceFloppyDrive*>(&drive) != nullptr;
        case Shape::kCdImage:
            return dynamic_cast<const CdImageDrive*>(&drive) != nullptr;
    }
    return false;
}

}  // namespace

DriveTable DriveSet::Update(const DriveInfos& infos) {
    DriveInfos sorted = infos;
    std::sort(sorted.begin(), sorted.end(),
              [](const DriveInfo& x, const DriveInfo& y) { return x.letter < y.letter; });
    DriveTable table;
    for (DriveInfo& info : sorted) {
        QString medium;
        const Shape shape = ShapeOf(info, services_.system, &medium);
        std::shared_ptr<Drive>& drive = kept_[info.letter];
        // A drive of the service keeps what it mounted wherever its disk is mounted now.
        const bool same = drive && HasShape(*drive, shape) && drive->info().device == info.device &&
                          (shape == Shape::kService || drive->info().root == info.root);
        if (same) {
            drive->Refresh(info);
        } else if (shape == Shape::kService) {
            drive = std::make_shared<ServiceFloppyDrive>(info, services_);
        } else if (shape == Shape::kImages) {
            drive = std::make_shared<ImagesDrive>(info, services_);
        } else if (shape == Shape::kCdImage) {
            drive = std::make_shared<CdImageDrive>(info, services_);
        } else if (shape == Shape::kFat) {
            drive = std::make_shared<FloppyDrive>(info, medium, services_);
        } else {
            drive = std::make_shared<FolderDrive>(info, services_);
        }
        table.push_back(drive);
    }
    return table;
}

const DriveInfos& KeptDetection::Get(const std::function<DriveInfos()>& detect) {
    // Asked before detecting, so that a mount made meanwhile is seen at the next call.
    const bool mounted = mounts_ == nullptr || mounts_->Changed();
    if (!kept_ || mounted || !age_.isValid() || age_.elapsed() >= life_.count()) {
        age_.start();
        kept_ = detect();
    }
    return *kept_;
}

}  // namespace platform
