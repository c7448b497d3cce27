#include "ui/evento.h"

#include <cstdio>
#include <exception>

#include "app/lib.h"
#include "platform/runtime_error.h"

namespace ui {

void Evento(const std::function<void()>& codigo) {
    try {
        codigo();
    } catch (const platform::RuntimeError& error) {
        Lib::MsgBox(QStringLiteral("Error '%1' en tiempo de ejecución:\n\n%2")
                        .arg(error.number())
                        .arg(error.text()),
                    platform::estilo::kOk + platform::estilo::kCritico, Lib::kTituloAplicacion);
        Lib::ServiciosActuales().procesos->End();
    } catch (const std::exception& e) {
        // Not a run-time error (out of memory and the like): say so and end, never crash.
        std::fprintf(stderr, "QTL99: error interno: %s\n", e.what());
        Lib::ServiciosActuales().procesos->End();
    }
}

}  // namespace ui
