#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dialogs.h"
#include "platform/diskservice/disk_service.h"
#include "platform/drives/drive_services.h"
#include "platform/finding/detection.h"
#include "platform/finding/udev_floppies.h"
#include "platform/host.h"
#include "platform/host/drive_set.h"
#include "platform/host/linux_processes.h"
#include "platform/media/mount_table.h"

namespace platform {

// What a detected table asks the machine besides its system calls, owned by the host, so that
// a test hands in its own: floppy drives, with or without a disk, from the desktop's disk
// service when it answers, else udev's database (with neither, the mount tables alone); the
// block devices' probe; the watch of the mount table.
struct FloppySources {
    std::shared_ptr<const DiskService> disks;  // nullptr: no service to ask
    std::shared_ptr<const UdevDatabase> udev = std::make_shared<SystemUdev>();  // nullptr: none
    // nullptr: this machine's block devices, probed through the host's system calls.
    std::shared_ptr<const DeviceProbe> probe;
    // Whether anything was mounted or unmounted since it was last asked; nullptr: nothing
    // watches, and every look at the drives detects them afresh.
    std::shared_ptr<MountWatch> mounts = WatchMountsFromFirstQuestion();
};

// The host of this machine.
class LinuxHost : public Host {
  public:
    // `driveTable` is the explicit table (the text of QTL99_DRIVES), or a null text to detect
    // the drives; what is wrong in it goes to `notices`, once, here. Every system call of the
    // host and its drives goes through `system`.
    LinuxHost(Dialogs& dialogs, Screen& screen, Notices& notices, const QString& driveTable,
              FloppySources floppies = {}, SystemCalls& system = DefaultSystemCalls());

    DriveTable Drives() override;
    // The folder of /proc/self/exe, or the CD it was given.
    QString ProgramFolder() override;
    // The program's CD is `cd` (a folder or a CD image file), as if it ran from there: a drive
    // of its own, optical, on the first letter from d: the table leaves free (unless a drive
    // already stands for exactly it).
    void GiveProgramCd(const QString& cd) { programCd_ = cd; }
    Dialogs& dialogs() override { return dialogs_; }
    Screen& screen() override { return screen_; }
    Notices& notices() override { return notices_; }
    Processes& processes() override { return processes_; }
    SystemCalls& systemCalls() override { return services_.system; }

  private:
    // The program's boxes, after each of which the drives are detected afresh.
    class Boxes : public Dialogs {
      public:
        Boxes(Dialogs& boxes, KeptDetection& detected) : boxes_(boxes), detected_(detected) {}
        int MsgBox(const QString& text, int style, const QString& title) override;
        void Beep() override { boxes_.Beep(); }

      private:
        Dialogs& boxes_;
        KeptDetection& detected_;
    };
    // The floppy drives the service or udev know now.
    std::vector<FoundFloppy> FoundFloppies() const;
    // Where a drive of images keeps its images, decided at the first detection.
    const QString& ImagesFolder();
    // Says, at the first detection, which library that finds drives cannot be used.
    void TellMissingLibraries();
    bool toldLibraries_ = false;

    FloppySources floppies_;
    SystemDeviceProbe ownProbe_;
    KeptDetection detected_;
    Boxes dialogs_;
    KeptPointer screen_;
    Notices& notices_;
    LinuxProcesses processes_{*this};

    std::optional<DriveInfos> explicitTable_;
    QString programCd_;
    // `infos` with the program's CD given a drive.
    DriveInfos WithProgramCd(DriveInfos infos) const;
    std::optional<QString> imagesFolder_;
    DriveLetters letters_;  // detected devices keep their letters for the life of the process
    DriveServices services_;
    DriveSet drives_{services_};
};

}  // namespace platform
