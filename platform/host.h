#pragma once

#include <QString>
#include <functional>
#include <map>
#include <optional>

#include "platform/dialogs.h"
#include "platform/drive.h"
#include "platform/process.h"
#include "platform/system_calls.h"

namespace platform {

// Everything the program asks of the machine it runs on: its drives, its own folder, message
// boxes and the beep, the pointer, starting programs. Built once by the process entry and handed
// to each unit that needs it; a test hands in a host of its own.
class Host {
  public:
    virtual ~Host() = default;
    // The drives in force now, in letter order, read afresh at every call: a disk inserted or a
    // drive plugged in while the program runs is seen at the next operation.
    virtual DriveTable Drives() = 0;
    // The Linux folder that holds the running program.
    virtual QString ProgramFolder() = 0;
    virtual Dialogs& dialogs() = 0;
    virtual Screen& screen() = 0;
    virtual Processes& processes() = 0;
};

// What drive objects are made with.
struct DriveContext {
    SystemCalls& system;
    // Called between the chunks of a long copy and while mtools works.
    std::function<void()> keepAlive;
    // The disk in each drive of images, by letter; kept by the host, since the drive objects
    // are made anew at every operation.
    std::map<QChar, int>* disks = nullptr;
    // The pace (chunk size) each medium's copies settled on, by device; kept by the host too.
    std::map<dev_t, size_t>* paces = nullptr;
};

// One drive object per entry of `infos`, in letter order.
DriveTable MakeDrives(const DriveInfos& infos, const DriveContext& context);

// The host of this machine.
class LinuxHost : public Host {
  public:
    // `driveTable` is the explicit table (the text of QTL99_DRIVES), or a null text to detect
    // the drives; what is wrong in it is said on standard error, once, here.
    LinuxHost(Dialogs& dialogs, Screen& screen, const QString& driveTable);
    // What runs between the chunks of a long copy.
    void SetKeepAlive(std::function<void()> keepAlive) { keepAlive_ = std::move(keepAlive); }

    DriveTable Drives() override;
    QString ProgramFolder() override;  // the folder of /proc/self/exe
    Dialogs& dialogs() override { return dialogs_; }
    Screen& screen() override { return screen_; }
    Processes& processes() override { return processes_; }

  private:
    Dialogs& dialogs_;
    Screen& screen_;
    LinuxProcesses processes_{*this};
    std::optional<DriveInfos> explicitTable_;
    DriveLetters letters_;  // detected devices keep their letters for the life of the process
    std::map<QChar, int> disks_;
    std::map<dev_t, size_t> paces_;
    std::function<void()> keepAlive_;
};

}  // namespace platform
