#include "ui/ventanas.h"

#include <QApplication>
#include <QFont>

namespace ui {

void PrepararAplicacion() {
    for (const char* familia : {"MS Sans Serif", "Arial"}) {
        QFont::insertSubstitutions(QString::fromLatin1(familia), {QStringLiteral("Liberation Sans"),
                                                                  QStringLiteral("DejaVu Sans")});
    }
    QApplication::setQuitOnLastWindowClosed(false);
}

void Programa::MostrarOpcion() {
    frmOpcion().show();
}
void Programa::VisibleEspera(bool visible) {
    frmGenerar().VisibleEspera(visible);
}
void Programa::RefrescarGenerar() {
    frmGenerar().repaint();
}

}  // namespace ui
