#include "ui/ventanas.h"

#include <QApplication>
#include <QFont>

namespace ui {

Instancia<FrmOpcion> frmOpcion;
Instancia<FrmGenerar> frmGenerar;

void PrepararAplicacion() {
    for (const char* familia : {"MS Sans Serif", "Arial"}) {
        QFont::insertSubstitutions(QString::fromLatin1(familia), {QStringLiteral("Liberation Sans"),
                                                                  QStringLiteral("DejaVu Sans")});
    }
    QApplication::setQuitOnLastWindowClosed(false);
}

void MantenerVivo() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Iniciar(Lib::Modulo& lib) {
    frmOpcion.Iniciar(lib);
    frmGenerar.Iniciar(lib);
}

void VentanasQt::MostrarOpcion() {
    frmOpcion().show();
}
void VentanasQt::VisibleEspera(bool visible) {
    frmGenerar().VisibleEspera(visible);
}
void VentanasQt::RefrescarGenerar() {
    frmGenerar().repaint();
}

}  // namespace ui
