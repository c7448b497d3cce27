#pragma once

#include <QString>

#include "platform/dialogs.h"
#include "platform/drive_table.h"
#include "platform/process.h"
#include "platform/system_calls.h"

namespace platform {

// Everything the program asks of the machine it runs on: its drives, its own folder, message
// boxes and the beep, the pointer, starting programs. Built once by the process entry and handed
// to each unit that needs it; a test hands in a host of its own. This machine's is LinuxHost
// (platform/host/linux_host.h); what is done with a host's drives is in platform/host/files.h.
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
    virtual Notices& notices() = 0;
    virtual Processes& processes() = 0;
    // The calls through which the settings file is read and the program's folder is put in
    // drive form: this machine's unless the host hands out others.
    virtual SystemCalls& systemCalls() { return DefaultSystemCalls(); }
};

}  // namespace platform
