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

void Iniciar(platform::Host& host) {
    frmOpcion.Iniciar(host);
    frmGenerar.Iniciar(host);
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
