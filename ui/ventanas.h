#pragma once

#include "app/lib.h"
#include "ui/frm_generar.h"
#include "ui/frm_opcion.h"
#include "ui/instancia.h"

namespace ui {

// The program-wide instances of the two windows.
extern Instancia<FrmOpcion> frmOpcion;
extern Instancia<FrmGenerar> frmGenerar;

// What start-up and the shared services ask of the windows.
class VentanasQt : public Lib::Ventanas {
  public:
    void MostrarOpcion() override;
    void VisibleEspera(bool visible) override;
    void RefrescarGenerar() override;
};

}  // namespace ui
