// The process entry, the one place that wires every layer together.
#include <QApplication>
#include <QFont>

#include "app/lib.h"
#include "platform/process.h"
#include "platform/qt_host.h"
#include "ui/evento.h"
#include "ui/ventanas.h"

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QTL99"));
    QCoreApplication::setOrganizationName(QStringLiteral("."));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTL99_VERSION));
    // The fonts of the design, drawn by whatever this machine has.
    for (const char* familia : {"MS Sans Serif", "Arial"}) {
        QFont::insertSubstitutions(QString::fromLatin1(familia), {QStringLiteral("Liberation Sans"),
                                                                  QStringLiteral("DejaVu Sans")});
    }
    // The run ends when no window is loaded any more, not when the last one is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::AlDescargarTodas() = [] { QCoreApplication::quit(); };

    ui::VentanasQt ventanas;
    platform::QtDialogs dialogos;
    platform::QtScreen pantalla;
    platform::LinuxProcesses procesos;
    Lib::Conectar({&ventanas, &dialogos, &pantalla, &procesos});

    ui::Evento([] { Lib::Main(); });
    if (ui::VentanasCargadas() == 0)
        return 0;
    return QApplication::exec();
}
