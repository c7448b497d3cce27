#include "platform/host.h"

#include <sys/stat.h>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#include "platform/fat_drive.h"
#include "platform/folder_drive.h"

namespace platform {

namespace {

std::unique_ptr<Drive> MakeDrive(DriveInfo info, const DriveContext& context) {
    if (info.kind == DriveKind::kImages) {
        static std::map<QChar, int> unkept;
        std::map<QChar, int>& disks = context.disks != nullptr ? *context.disks : unkept;
        const auto [at, added] = disks.try_emplace(info.letter, 1);  // disk 1 before any prompt
        return std::make_unique<ImagesDrive>(std::move(info), at->second, context.keepAlive);
    }
    // A floppy device or an image file standing for the disk: written through mtools, unless
    // the device is mounted now, when its mount point is the drive's folder.
    QString medium = info.mounted ? info.root : info.device;
    struct stat st {};
    if (!medium.isEmpty() && ::stat(QFile::encodeName(medium).constData(), &st) == 0 &&
        (S_ISBLK(st.st_mode) || (S_ISREG(st.st_mode) && info.device.isEmpty()))) {
        if (S_ISBLK(st.st_mode)) {
            if (const std::optional<QString> mountPoint = MountPointOf(st.st_rdev)) {
                info.root = *mountPoint;
                info.mounted = true;
                return std::make_unique<FolderDrive>(std::move(info), context.system,
                                                     context.keepAlive, context.paces);
            }
        }
        if (info.kind == DriveKind::kFloppy || S_ISREG(st.st_mode))
            return std::make_unique<FloppyDrive>(std::move(info), medium, context.keepAlive);
    }
    return std::make_unique<FolderDrive>(std::move(info), context.system, context.keepAlive,
                                         context.paces);
}

}  // namespace

DriveTable MakeDrives(const DriveInfos& infos, const DriveContext& context) {
    DriveInfos sorted = infos;
    std::sort(sorted.begin(), sorted.end(),
              [](const DriveInfo& x, const DriveInfo& y) { return x.letter < y.letter; });
    DriveTable table;
    for (const DriveInfo& info : sorted)
        table.push_back(MakeDrive(info, context));
    return table;
}

// Where the images go on a machine whose floppy drives are not enough: the user's documents.
static QString ImagesFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Disquetes QTL99");
}

LinuxHost::LinuxHost(Dialogs& dialogs, Screen& screen, const QString& driveTable)
    : dialogs_(dialogs), screen_(screen) {
    if (driveTable.isNull())
        return;
    ParsedDriveTable parsed = ParseDriveTable(driveTable);
    for (const QString& problem : parsed.problems)
        std::fprintf(stderr, "QTL99: QTL99_DRIVES: %s\n", qPrintable(problem));
    explicitTable_ = std::move(parsed.drives);
}

DriveTable LinuxHost::Drives() {
    const DriveContext context{DefaultSystemCalls(), keepAlive_, &disks_, &paces_};
    if (explicitTable_)
        return MakeDrives(*explicitTable_, context);
    return MakeDrives(
        DetectDrives(ReadMountInfo(), ReadFstab(), SystemDeviceProbe(), letters_, ImagesFolder()),
        context);
}

QString LinuxHost::ProgramFolder() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe).absolutePath();
}

}  // namespace platform
