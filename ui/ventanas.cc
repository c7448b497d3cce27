#include "ui/ventanas.h"

namespace ui {

Instancia<FrmOpcion> frmOpcion;

void VentanasQt::MostrarOpcion() { frmOpcion().show(); }

}  // namespace ui
