#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <utility>

#include "app/lib.h"
#include "generation/generacion.h"
#include "platform/dialogs.h"
#include "platform/host/linux_processes.h"
#include "platform/runtime_error.h"

namespace qtltest {

// Message boxes and beeps answered from a script and recorded as a transcript:
// "Beep", "MsgBox 65 [Quintarel] Inserte el diskette número 1 en la unidad".
class ScriptedDialogs : public platform::Dialogs {
  public:
    // The next box gets `answer`; `before` runs first (as the user would act before answering).
    ScriptedDialogs& Answer(int answer, std::function<void()> before = {});
    int MsgBox(const QString& text, int style, const QString& title) override;
    void Beep() override { transcript << QStringLiteral("Beep"); }

    QStringList transcript;
    bool scriptExhausted = false;  // a box came with no answer left in the script
    // Answers the boxes that come after the script, when set (text, style -> answer).
    std::function<int(const QString&, int)> answerer;

  private:
    std::deque<std::pair<int, std::function<void()>>> script_;
};

// Runs an independent tool (mtools, fsck.fat) with no mtools settings of the user's; its exit
// code (-1 when it crashed) and standard output.
std::pair<int, QByteArray> Herramienta(const QString& programa, const QStringList& argumentos);

// The run-time error `op` raises; number 0 when it succeeds.
template <typename Op>
platform::RuntimeError ErrorOf(Op op) {
    try {
        op();
        return platform::RuntimeError(0);
    } catch (const platform::RuntimeError& e) {
        return e;
    }
}
// Its number alone.
template <typename Op>
int ErrorNumber(Op op) {
    return ErrorOf(op).number();
}

// A transcript line for a box, as ScriptedDialogs records it.
QString BoxLine(int style, const QString& title, const QString& text);

class FakeScreen : public platform::Screen {
  public:
    void SetMousePointer(int state) override {
        pointer = state;
        changes << state;
    }
    int pointer = platform::pointer::kDefault;
    QList<int> changes;
};

// Records every Shell command line and End; launches for real only when asked to.
class FakeProcesses : public platform::Processes {
  public:
    explicit FakeProcesses(platform::Host& host) : real_(host) {}
    void Shell(const QString& commandLine, int windowStyle) override {
        lines << commandLine;
        styles << windowStyle;
        if (launchForReal)
            real_.Shell(commandLine, windowStyle);
    }
    // Records instead of ending the process; the code after End does nothing further.
    void End(int status) override {
        ++ended;
        endStatus = status;
    }

    bool launchForReal = false;
    QStringList lines;
    QList<int> styles;
    int ended = 0;
    int endStatus = -1;

  private:
    platform::LinuxProcesses real_;
};

// The generation window, with no window at all.
class FakeWindow : public generacion::VentanaGeneracion, public Lib::Ventanas {
  public:
    QString UnidadOrigen() override { return source; }
    QString UnidadDestino() override { return destination; }
    void MostrarArchivo(const QString& nombre) override {
        caption = nombre;
        captionsShown << nombre;
    }
    void VisibleEtiqueta(generacion::Etiqueta etiqueta, bool visible) override {
        labels[etiqueta] = visible;
    }
    void Refresh() override { ++refreshes; }
    void DoEvents() override {
        if (onDoEvents)
            onDoEvents();
    }
    void cmdCerrar_Click() override { ++closed; }
    void MostrarOpcion() override { ++optionShown; }
    void VisibleEspera(bool visible) override { waitShown = visible; }
    void RefrescarGenerar() override { ++refreshes; }

    bool ProgressShown() const;
    bool ProgressHidden() const;

    QString source = QStringLiteral("d: [QTL99]");
    QString destination = QStringLiteral("a:");
    QString caption;
    QStringList captionsShown;
    std::map<generacion::Etiqueta, bool> labels;
    bool waitShown = false;
    int refreshes = 0;
    int closed = 0;
    int optionShown = 0;
    std::function<void()> onDoEvents;
};

}  // namespace qtltest
