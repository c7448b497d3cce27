#include "app/lib.h"

#include "platform/profile.h"
#include "platform/program_folder.h"

namespace Lib {

QString RutaSetup;
QString RutaPower;

namespace {
Servicios& Actuales() {
    static Servicios servicios;
    return servicios;
}
}  // namespace

void Conectar(const Servicios& servicios) {
    Actuales() = servicios;
}
const Servicios& ServiciosActuales() {
    return Actuales();
}

QString LeerIni(const QString& archivo, const QString& seccion, const QString& clave,
                const QString& porDefecto) {
    constexpr int kTamano = 255;
    QString buffer(kTamano, QLatin1Char(' '));
    // The path is built anew at every call: nothing about the file is kept between lookups.
    const QString ruta = RutaAplicacion() + archivo;
    int n = 0;
    if (!clave.isEmpty()) {
        n = platform::GetPrivateProfileString(seccion, &clave, porDefecto, buffer, kTamano, ruta);
    } else {
        n = platform::GetPrivateProfileString(seccion, nullptr, porDefecto, buffer, kTamano, ruta);
    }
    return buffer.left(n);
}

QString RutaAplicacion() {
    QString ruta = platform::AppPath();
    if (ruta.endsWith(QLatin1Char('\\')))
        return ruta;
    return ruta + QLatin1Char('\\');
}

int MsgBox(const QString& texto, int estilo, const QString& titulo) {
    return Actuales().dialogos->MsgBox(texto, estilo, titulo);
}

void Beep() {
    Actuales().dialogos->Beep();
}

void MostrarError(const platform::RuntimeError& error) {
    using platform::estilo::kExclamacion;
    using platform::estilo::kOk;
    using platform::estilo::kPregunta;
    Beep();
    switch (error.number()) {
        case platform::err::kNombreArchivoIncorrecto:
            MsgBox(QStringLiteral("Error: La unidad seleccionada no se encuentra disponible"),
                   kOk + kPregunta, kTitulo);
            break;
        case platform::err::kDispositivoNoDisponible:
            MsgBox(QStringLiteral("Error: Inserte un disco en la unidad"), kOk + kExclamacion,
                   kTitulo);
            break;
        case platform::err::kRutaNoEncontrada:
            MsgBox(QStringLiteral(
                       "Error: El archivo que intenta copiar no existe en el dispositivo origen "),
                   kOk + kExclamacion, kTitulo);
            break;
        default:
            MsgBox(error.text(), kOk + kExclamacion, kTituloAplicacion);
            break;
    }
}

namespace {
constexpr int kPunteroNormal = 0;
constexpr int kPunteroReloj = 11;

void Espera(int puntero, bool visible) {
    Actuales().pantalla->SetMousePointer(puntero);
    Actuales().ventanas->VisibleEspera(visible);
    // Repainted now: the copy work that follows does not let the event loop run.
    Actuales().ventanas->RefrescarGenerar();
}
}  // namespace

void MostrarEspera() {
    Espera(kPunteroReloj, true);
}
void OcultarEspera() {
    Espera(kPunteroNormal, false);
}

void Main() {
    RutaSetup = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("SetupPath"),
                        QStringLiteral("0"));
    RutaPower = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("PowerPath"),
                        QStringLiteral("0"));
    Actuales().ventanas->MostrarOpcion();
}

}  // namespace Lib
