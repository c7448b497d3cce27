#pragma once

#include "app/lib.h"
#include "ui/frm_opcion.h"
#include "ui/instancia.h"

namespace ui {

// The program-wide instances of the windows.
extern Instancia<FrmOpcion> frmOpcion;

// What start-up and the shared services ask of the windows.
class VentanasQt : public Lib::Ventanas {
public:
    void MostrarOpcion() override;
};

}  // namespace ui
