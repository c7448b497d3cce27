#pragma once

#include <QStringList>

#include "platform/process.h"

namespace qtltest {

// Records every Shell command line and End; launches for real only when asked to.
class ProcesosFalsos : public platform::Processes {
  public:
    void Shell(const QString& commandLine, int windowStyle) override {
        lineas << commandLine;
        estilos << windowStyle;
        if (lanzarDeVerdad)
            real_.Shell(commandLine, windowStyle);
    }
    // Records instead of ending the process; the code after End does nothing further.
    void End() override { ++terminado; }

    bool lanzarDeVerdad = false;
    QStringList lineas;
    QList<int> estilos;
    int terminado = 0;

  private:
    platform::LinuxProcesses real_;
};

}  // namespace qtltest
