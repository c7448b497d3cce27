#pragma once

#include "app/lib.h"
#include "ui/frm_generar.h"
#include "ui/frm_opcion.h"
#include "ui/instancia.h"

namespace ui {

// The program-wide instances of the two windows.
extern Instancia<FrmOpcion> frmOpcion;
extern Instancia<FrmGenerar> frmGenerar;

// Sets up the application the windows live in: the design's fonts drawn by what this machine
// has, and a run that ends when no window is loaded any more, not when the last one is hidden.
void PrepararAplicacion();

// Lets the program answer its desktop during a long copy: repaints, the window manager's
// pings, accessibility queries. No click or key is taken: those wait for the next DoEvents.
void MantenerVivo();

// Hands both windows the module they are made with; once, before either is named.
void Iniciar(Lib::Modulo& lib);

// What start-up and the shared services ask of the windows.
class VentanasQt : public Lib::Ventanas {
  public:
    void MostrarOpcion() override;
    void VisibleEspera(bool visible) override;
    void RefrescarGenerar() override;
};

}  // namespace ui
