#include "platform/host.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>

#include "platform/folder_drive.h"

namespace platform {

DriveTable MakeDrives(const DriveInfos& infos, const DriveContext& context) {
    DriveInfos sorted = infos;
    std::sort(sorted.begin(), sorted.end(),
              [](const DriveInfo& x, const DriveInfo& y) { return x.letter < y.letter; });
    DriveTable table;
    for (const DriveInfo& info : sorted)
        table.push_back(std::make_unique<FolderDrive>(info, context.system, context.keepAlive));
    return table;
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
    const DriveContext context{DefaultSystemCalls(), keepAlive_};
    if (explicitTable_)
        return MakeDrives(*explicitTable_, context);
    return MakeDrives(DetectDrives(ReadMountInfo(), ReadFstab(), SystemDeviceProbe(), letters_),
                      context);
}

QString LinuxHost::ProgramFolder() {
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(exe).absolutePath();
}

}  // namespace platform
