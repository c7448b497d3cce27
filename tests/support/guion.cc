#include "tests/support/guion.h"

namespace qtltest {

QString Caja(int style, const QString& title, const QString& text) {
    return QStringLiteral("MsgBox %1 [%2] %3").arg(style).arg(title, text);
}

DialogosGuionados& DialogosGuionados::Responder(int respuesta, std::function<void()> antes) {
    guion_.emplace_back(respuesta, std::move(antes));
    return *this;
}

int DialogosGuionados::MsgBox(const QString& text, int style, const QString& title) {
    transcripcion << Caja(style, title, text);
    if (guion_.empty() && respondedor)
        return respondedor(text, style);
    if (guion_.empty()) {
        // Unscripted: answer as closing the box would, and let the test see it.
        guionAgotado = true;
        const int botones = style & 0x0F;
        return botones == platform::estilo::kOk     ? platform::respuesta::kAceptar
               : botones == platform::estilo::kSiNo ? platform::respuesta::kNo
                                                    : platform::respuesta::kCancelar;
    }
    auto [respuesta, antes] = std::move(guion_.front());
    guion_.pop_front();
    if (antes)
        antes();
    return respuesta;
}

bool VentanaFalsa::ProgresoVisible() const {
    using generacion::Etiqueta;
    return etiquetas.at(Etiqueta::lblArchivos) && etiquetas.at(Etiqueta::lblCopiando) &&
           etiquetas.at(Etiqueta::lblMarco);
}

bool VentanaFalsa::ProgresoOculto() const {
    using generacion::Etiqueta;
    auto oculta = [&](Etiqueta e) { return etiquetas.count(e) == 0 || !etiquetas.at(e); };
    return oculta(Etiqueta::lblArchivos) && oculta(Etiqueta::lblCopiando) &&
           oculta(Etiqueta::lblMarco);
}

}  // namespace qtltest
