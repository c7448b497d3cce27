// The process entry, the one place that wires every layer together.
#include <QApplication>

#include "app/lib.h"
#include "ui/ventanas.h"

int main(int argc, char** argv) {
    QApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QTL99"));
    QCoreApplication::setOrganizationName(QStringLiteral("."));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTL99_VERSION));
    // The run ends when no window is loaded any more, not when the last one is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::AlDescargarTodas() = [] { QCoreApplication::quit(); };

    ui::VentanasQt ventanas;
    Lib::Conectar({&ventanas});
    Lib::Main();
    if (ui::VentanasCargadas() == 0) return 0;
    return QApplication::exec();
}
