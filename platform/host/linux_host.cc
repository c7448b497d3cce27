#include "platform/host/linux_host.h"

#include <algorithm>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>

namespace platform {

// Where the images go on a machine whose floppy drives are not enough: the user's documents,
// inside the user's home folder and nowhere else. Empty (no drive of images) when there is no
// home folder to put them in; said once on standard error.
const QString& LinuxHost::ImagesFolder() {
    if (imagesFolder_)
        return *imagesFolder_;
    const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
    struct stat st {};
    if (home.isEmpty() || services_.system.Stat(QFile::encodeName(home).constData(), &st) != 0 ||
        !S_ISDIR(st.st_mode) || QDir(home).isRoot()) {
        notices_.Say(QStringLiteral("HOME no es una carpeta personal; no hay unidad de imágenes"));
        imagesFolder_.emplace();
    } else {
        imagesFolder_ =
            ImagesFolderIn(services_.system, home,
                           QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    }
    return *imagesFolder_;
}

LinuxHost::LinuxHost(Dialogs& dialogs, Screen& screen, Notices& notices, const QString& driveTable,
                     FloppySources floppies, SystemCalls& system)
    : floppies_(std::move(floppies)),
      ownProbe_(system),
      detected_(std::chrono::milliseconds(500), floppies_.mounts.get()),
      dialogs_(dialogs, detected_),
      screen_(screen),
      notices_(notices),
      services_{system, DefaultChildren(), floppies_.disks.get(), &screen_, &notices_} {
    if (driveTable.isNull())
        return;
    ParsedDriveTable parsed = ParseDriveTable(driveTable);
    for (const QString& problem : parsed.problems)
        notices_.Say(QStringLiteral("QTL99_DRIVES: ") + problem);
    explicitTable_ = std::move(parsed.drives);
}

DriveTable LinuxHost::Drives() {
    TellMissingLibraries();
    if (explicitTable_)
        return drives_.Update(WithProgramCd(*explicitTable_));
    return drives_.Update(WithProgramCd(detected_.Get([this] {
        return DetectDrives(ReadMountInfo(services_.system), ReadFstab(services_.system),
                            floppies_.probe ? *floppies_.probe : ownProbe_, letters_,
                            ImagesFolder(), FoundFloppies());
    })));
}

DriveInfos LinuxHost::WithProgramCd(DriveInfos infos) const {
    if (programCd_.isEmpty())
        return infos;
    const QString cd = QDir::cleanPath(programCd_);
    QChar letter;
    for (char16_t l = u'd'; l <= u'z' && letter.isNull(); ++l) {
        if (FindDrive(infos, QChar(l)) == nullptr)
            letter = QChar(l);
    }
    const bool standsFor = std::any_of(infos.begin(), infos.end(), [&](const DriveInfo& d) {
        return d.kind == DriveKind::kOptical && d.mounted && QDir::cleanPath(d.root) == cd;
    });
    if (!standsFor && !letter.isNull()) {
        DriveInfo drive;
        drive.letter = letter;
        drive.root = cd;
        drive.kind = DriveKind::kOptical;
        infos.push_back(drive);
    }
    return infos;
}

void LinuxHost::TellMissingLibraries() {
    if (std::exchange(toldLibraries_, true))
        return;
    // Once, and in words: the drives that the library finds are what is missing.
    if (const QString why = MountTablesUnavailable(); !why.isEmpty())
        notices_.Say(QStringLiteral("no se puede usar libmount (%1): no se ve ningún disco montado "
                                    "ni se sabe si una imagen lo está")
                         .arg(why));
    if (const QString why = UdevUnavailable(); !explicitTable_ && floppies_.udev && !why.isEmpty())
        notices_.Say(QStringLiteral("no se puede usar libudev (%1): sin el servicio de discos no "
                                    "se ve ninguna disquetera USB")
                         .arg(why));
}

int LinuxHost::Boxes::MsgBox(const QString& text, int style, const QString& title) {
    const int answer = boxes_.MsgBox(text, style, title);
    detected_.Forget();
    return answer;
}

std::vector<FoundFloppy> LinuxHost::FoundFloppies() const {
    std::vector<FoundFloppy> found;
    if (services_.disks && services_.disks->IsReachable()) {
        for (const UDisksFloppy& f : services_.disks->FloppyDrives()) {
            found.push_back({f.device, f.drive, f.block, f.mountPoints.value(0), f.label});
        }
        return found;
    }
    if (floppies_.udev) {
        for (const UdevFloppy& f : ClassifyFloppies(floppies_.udev->Disks()))
            found.push_back({f.node, {}, {}, {}, {}});
    }
    return found;
}

QString LinuxHost::ProgramFolder() {
    if (!programCd_.isEmpty())
        return programCd_;
    std::string exe;
    if (services_.system.RealPath("/proc/self/exe", &exe) != 0)
        exe.clear();
    return QFileInfo(QFile::decodeName(exe.c_str())).absolutePath();
}

}  // namespace platform
