#include "ui/instancia.h"

namespace ui {

int& VentanasCargadas() {
    static int cargadas = 0;
    return cargadas;
}

std::function<void()>& AlDescargarTodas() {
    static std::function<void()> accion;
    return accion;
}

}  // namespace ui
