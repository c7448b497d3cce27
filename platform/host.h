#pragma once

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/dialogs.h"
#include "platform/drives/detection.h"
#include "platform/drives/drive.h"
#include "platform/drives/drive_services.h"
#include "platform/drives/udev_floppies.h"
#include "platform/drives/udisks.h"
#include "platform/process.h"
#include "platform/system_calls.h"

namespace platform {

// Everything the program asks of the machine it runs on: its drives, its own folder, message
// boxes and the beep, the pointer, starting programs. Built once by the process entry and handed
// to each unit that needs it; a test hands in a host of its own.
class Host {
  public:
    virtual ~Host() = default;
    // The drives in force now, in letter order: a disk inserted or a drive plugged in while the
    // program runs is seen at the next operation after a box, a mount or half a second.
    virtual DriveTable Drives() = 0;
    // The Linux folder that holds the running program.
    virtual QString ProgramFolder() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual Screen& screen() = 0;
    virtual Processes& processes() = 0;
    // The calls through which the settings file is read: this machine's unless the host
    // hands out others.
    virtual SystemCalls& systemCalls() { return DefaultSystemCalls(); }
};

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
    // `mountsChanged` tells whether anything was mounted or unmounted since it was last asked.
    explicit KeptDetection(std::chrono::milliseconds life,
                           std::function<bool()> mountsChanged = WatchMounts())
        : life_(life), mountsChanged_(std::move(mountsChanged)) {}
    // The kept table, or the one `detect` makes now when the kept one may be out of date.
    const DriveInfos& Get(const std::function<DriveInfos()>& detect);
    // A box was shown: the next table is detected afresh.
    void Forget() { kept_.reset(); }

  private:
    std::chrono::milliseconds life_;
    std::function<bool()> mountsChanged_;
    QElapsedTimer age_;
    std::optional<DriveInfos> kept_;
};

// What a detected table asks the machine besides its system calls, in one bundle the host
// keeps, so that a test hands in its own: floppy drives, with or without a disk, from the
// desktop's disk service when it answers, else udev's database (with neither, the mount tables
// alone); the block devices' probe; the watch of the mount table.
struct FloppySources {
    std::shared_ptr<const DiskService> disks;                     // nullptr: no service to ask
    std::function<std::vector<UdevDisk>()> udev = ReadUdevDisks;  // empty: no udev
    DeviceProbe probe = SystemDeviceProbe();
    // Whether anything was mounted or unmounted since it was last asked.
    std::function<bool()> mountsChanged = WatchMountsFromFirstQuestion();
};

// The host of this machine.
class LinuxHost : public Host {
  public:
    // `driveTable` is the explicit table (the text of QTL99_DRIVES), or a null text to detect
    // the drives; what is wrong in it is said on standard error, once, here.
    LinuxHost(Dialogs& dialogs, Screen& screen, const QString& driveTable,
              FloppySources floppies = {});
    // What runs between the chunks of a long copy and while a child program works.
    void SetKeepAlive(std::function<void()> keepAlive) {
        services_.keepAlive = std::move(keepAlive);
    }

    DriveTable Drives() override;
    QString ProgramFolder() override;  // the folder of /proc/self/exe
    Dialogs& dialogs() override { return dialogs_; }
    Screen& screen() override { return screen_; }
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
    KeptDetection detected_;
    Boxes dialogs_;
    KeptPointer screen_;
    LinuxProcesses processes_{*this};
    // The floppy drives the service or udev know now.
    std::vector<FoundFloppy> FoundFloppies() const;

    std::optional<DriveInfos> explicitTable_;
    FloppySources floppies_;
    DriveLetters letters_;  // detected devices keep their letters for the life of the process
    DriveServices services_{
        DefaultSystemCalls(), DefaultChildren(), {}, floppies_.disks.get(), &screen_};
    DriveSet drives_{services_};
};

}  // namespace platform
