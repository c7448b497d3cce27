#pragma once

#include <QPointer>
#include <functional>
#include <utility>

#include "app/lib.h"

namespace ui {

// How many windows are loaded; when the last one unloads, `AlDescargarTodas` runs (the process
// entry ends the event loop there: the program ends when no window is loaded any more).
int& VentanasCargadas();
std::function<void()>& AlDescargarTodas();

// The program-wide instance of a window. Naming it loads it when it is not loaded (its
// Form_Load runs) without showing it; Unload destroys it, and the next naming loads it afresh.
template <typename Ventana>
class Instancia {
  public:
    // The module every load of the window is made with.
    void Iniciar(Lib::Modulo& lib) { lib_ = &lib; }

    Ventana& operator()() {
        if (ventana_ == nullptr) {
            ventana_ = new Ventana(*lib_);
            ++VentanasCargadas();
            ventana_->Form_Load();
        }
        return *ventana_;
    }
    Ventana* operator->() { return &(*this)(); }

    bool Cargada() const { return ventana_ != nullptr; }

    // The window may be unloading itself from inside its own code: it is hidden and marked
    // unloaded at once, and the event loop destroys the object once that code has returned.
    void Unload() {
        if (ventana_ == nullptr)
            return;
        Ventana* ventana = std::exchange(ventana_, nullptr);
        ventana->hide();
        ventana->deleteLater();
        if (--VentanasCargadas() == 0 && AlDescargarTodas())
            AlDescargarTodas()();
    }

  private:
    Lib::Modulo* lib_ = nullptr;
    Ventana* ventana_ = nullptr;
};

}  // namespace ui
