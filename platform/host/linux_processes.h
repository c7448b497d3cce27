#pragma once

#include "platform/host.h"
#include "platform/process.h"

namespace platform {

// Programs started on this machine, their drive paths read on `host`'s drives.
class LinuxProcesses : public Processes {
  public:
    explicit LinuxProcesses(Host& host) : host_(host) {}
    void Shell(const QString& commandLine, int windowStyle) override;
    [[noreturn]] void End(int status) override;

  private:
    Host& host_;
};

}  // namespace platform
