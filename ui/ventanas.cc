#include "ui/ventanas.h"

namespace ui {

Instancia<FrmOpcion> frmOpcion;
Instancia<FrmGenerar> frmGenerar;

void VentanasQt::MostrarOpcion() {
    frmOpcion().show();
}
void VentanasQt::VisibleEspera(bool visible) {
    frmGenerar().lblEspere->setVisible(visible);
}
void VentanasQt::RefrescarGenerar() {
    frmGenerar().repaint();
}

}  // namespace ui
