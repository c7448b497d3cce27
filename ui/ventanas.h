#pragma once

#include "app/lib.h"
#include "ui/frm_generar.h"
#include "ui/frm_opcion.h"
#include "ui/instancia.h"

namespace ui {

// Sets up the application the windows live in: the design's fonts drawn by what this machine
// has, and a run that ends when no window is loaded any more, not when the last one is hidden.
void PrepararAplicacion();

// The program's windows, as one object built by the process entry (each window test builds
// its own): the instances of the two windows, how many are loaded, and what start-up and the
// shared services ask of them. It outlives every window it loads.
class Programa : public Lib::Ventanas {
  public:
    Programa() = default;
    Programa(const Programa&) = delete;
    Programa& operator=(const Programa&) = delete;

    // Hands both windows the module they are made with; once, before either is named.
    void Iniciar(Lib::Modulo& lib) { lib_ = &lib; }
    Lib::Modulo& lib() { return *lib_; }

    // What runs when the last loaded window unloads; how many are loaded now.
    std::function<void()> alDescargarTodas;
    int cargadas = 0;
    // How many runs of Comenzar are under way, each on a thread of its own.
    int corridas = 0;

    Instancia<FrmOpcion> frmOpcion{*this, cargadas, alDescargarTodas};
    Instancia<FrmGenerar> frmGenerar{*this, cargadas, alDescargarTodas};

    void MostrarOpcion() override;
    void VisibleEspera(bool visible) override;
    void RefrescarGenerar() override;

  private:
    Lib::Modulo* lib_ = nullptr;
};

}  // namespace ui
