#include "platform/host.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#include "platform/drives/fat_drive.h"
#include "platform/drives/folder_drive.h"
#include "platform/drives/images_drive.h"
#include "platform/drives/medium.h"
#include "platform/drives/service_floppy_drive.h"

namespace platform {

namespace {

// The kind of drive object a table entry stands for now.
enum class Shape { kFolder, kFat, kImages, kService };

Shape ShapeOf(DriveInfo& info, SystemCalls& system, QString* medium) {
    if (info.kind == DriveKind::kImages)
        return Shape::kImages;
    if (!info.serviceBlock.isEmpty())
        return Shape::kService;  // the service says where its disk is, and mounts it
    // A floppy device or an image file standing for the disk: written through mtools, unless
    // the device is mounted now, when its mount point is the drive's folder.
    *medium = info.mounted ? info.root : info.device;
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
        } else if (shape == Shape::kFat) {
            drive = std::make_shared<FloppyDrive>(info, medium, services_);
        } else {
            drive = std::make_shared<FolderDrive>(info, services_);
        }
        table.push_back(drive);
    }
    return table;
}

// Where the images go on a machine whose floppy drives are not enough: the user's documents,
// inside the user's home folder and nowhere else. Empty (no drive of images) when there is no
// home folder to put them in; said once on standard error.
static QString ImagesFolder() {
    static const QString folder = [] {
        const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
        if (home.isEmpty() || !QFileInfo(home).isDir() || QDir(home).isRoot()) {
            std::fprintf(stderr,
                         "QTL99: HOME no es una carpeta personal; no hay unidad de imágenes\n");
            return QString();
        }
        return ImagesFolderIn(home,
                              QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    }();
    return folder;
}

LinuxHost::LinuxHost(Dialogs& dialogs, Screen& screen, const QString& driveTable,
                     FloppySources floppies)
    : detected_(std::chrono::milliseconds(500), floppies.mountsChanged),
      dialogs_(dialogs, detected_),
      screen_(screen),
      floppies_(std::move(floppies)) {
    if (driveTable.isNull())
        return;
    ParsedDriveTable parsed = ParseDriveTable(driveTable);
    for (const QString& problem : parsed.problems)
        std::fprintf(stderr, "QTL99: QTL99_DRIVES: %s\n", qPrintable(problem));
    explicitTable_ = std::move(parsed.drives);
}

DriveTable LinuxHost::Drives() {
    if (explicitTable_)
        return drives_.Update(*explicitTable_);
    return drives_.Update(detected_.Get([this] {
        return DetectDrives(ReadMountInfo(services_.system), ReadFstab(services_.system),
                            floppies_.probe, letters_, ImagesFolder(), FoundFloppies());
    }));
}

int LinuxHost::Boxes::MsgBox(const QString& text, int style, const QString& title) {
    const int answer = boxes_.MsgBox(text, style, title);
    detected_.Forget();
    return answer;
}

const DriveInfos& KeptDetection::Get(const std::function<DriveInfos()>& detect) {
    // Asked before detecting, so that a mount made meanwhile is seen at the next call.
    const bool mounted = mountsChanged_();
    if (!kept_ || mounted || !age_.isValid() || age_.elapsed() >= life_.count()) {
        age_.start();
        kept_ = detect();
    }
    return *kept_;
}

std::vector<FoundFloppy> LinuxHost::FoundFloppies() const {
    std::vector<FoundFloppy> found;
    if (floppies_.disks && floppies_.disks->IsReachable()) {
        for (const UDisksFloppy& f : floppies_.disks->FloppyDrives()) {
            found.push_back({f.device, f.drive, f.block, f.mountPoints.value(0), f.label});
        }
        return found;
    }
    if (floppies_.udev) {
        for (const UdevFloppy& f : ClassifyFloppies(floppies_.udev()))
            found.push_back({f.node, {}, {}, {}, {}});
    }
    return found;
}

QString LinuxHost::ProgramFolder() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe).absolutePath();
}

}  // namespace platform
