#pragma once

#include <functional>
#include <utility>

namespace ui {

class Programa;

// The program's instance of a window. Naming it loads it when it is not loaded (its Form_Load
// runs) without showing it; Unload destroys it, and the next naming loads it afresh. It counts
// the program's loaded windows in `cargadas`; when the last one unloads, `alDescargarTodas`
// runs (the process entry ends the event loop there: the program ends when no window is loaded
// any more).
template <typename Ventana>
class Instancia {
  public:
    Instancia(Programa& programa, int& cargadas, std::function<void()>& alDescargarTodas)
        : programa_(programa), cargadas_(cargadas), alDescargarTodas_(alDescargarTodas) {}
    Instancia(const Instancia&) = delete;
    Instancia& operator=(const Instancia&) = delete;
    ~Instancia() { delete ventana_; }

    Ventana& operator()() {
        if (ventana_ == nullptr) {
            ventana_ = new Ventana(programa_);
            ++cargadas_;
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
        if (--cargadas_ == 0 && alDescargarTodas_)
            alDescargarTodas_();
    }

  private:
    Programa& programa_;
    int& cargadas_;
    std::function<void()>& alDescargarTodas_;
    Ventana* ventana_ = nullptr;
};

}  // namespace ui
