#include "app/lib.h"

#include "platform/host/files.h"

namespace Lib {

QString Modulo::LeerIni(const QString& archivo, const QString& seccion, const QString& clave,
                        const QString& porDefecto) {
    constexpr int kTamano = 255;
    QString buffer(kTamano, QLatin1Char(' '));
    // The path is built anew at every call: nothing about the file is kept between lookups.
    const QString ruta = RutaAplicacion() + archivo;
    QString porQue;
    const int n =
        platform::GetPrivateProfileString(host_, seccion, clave.isEmpty() ? nullptr : &clave,
                                          porDefecto, buffer, kTamano, ruta, &porQue);
    // A file there that cannot be read gives the defaults, as no file does; why is said once,
    // not at every key.
    if (porQue != ajustesIlegibles_ && !porQue.isEmpty()) {
        host_.notices().Say(
            QStringLiteral("%1 no se puede leer (%2); se usan los valores por defecto")
                .arg(ruta, porQue));
    }
    ajustesIlegibles_ = porQue;
    return buffer.left(n);
}

QString Modulo::RutaAplicacion() {
    QString ruta = platform::AppPath(host_);
    if (ruta.endsWith(QLatin1Char('\\')))
        return ruta;
    return ruta + QLatin1Char('\\');
}

int Modulo::MsgBox(const QString& texto, int estilo, const QString& titulo) {
    return host_.dialogs().MsgBox(texto, estilo, titulo);
}

void Modulo::Beep() {
    host_.dialogs().Beep();
}

void Modulo::MostrarError(const platform::RuntimeError& error) {
    using platform::style::kExclamation;
    using platform::style::kOk;
    using platform::style::kQuestion;
    Beep();
    switch (error.number()) {
        case platform::errors::kBadFileName:
            MsgBox(TextoDelError(error), kOk + kQuestion, kTitulo);
            break;
        case platform::errors::kDeviceUnavailable:
        case platform::errors::kPathNotFound:
            MsgBox(TextoDelError(error), kOk + kExclamation, kTitulo);
            break;
        default:
            MsgBox(TextoDelError(error), kOk + kExclamation, kTituloAplicacion);
            break;
    }
}

QString TextoDelError(const platform::RuntimeError& error) {
    switch (error.number()) {
        case platform::errors::kBadFileName:
            return QStringLiteral("Error: La unidad seleccionada no se encuentra disponible");
        case platform::errors::kDeviceUnavailable:
            return QStringLiteral("Error: Inserte un disco en la unidad");
        case platform::errors::kPathNotFound:
            return QStringLiteral(
                "Error: El archivo que intenta copiar no existe en el dispositivo origen ");
        default:
            return error.text();
    }
}

void Modulo::Espera(int puntero, bool visible) {
    host_.screen().SetMousePointer(puntero);
    ventanas_.VisibleEspera(visible);
    // Repainted now: the window is next repainted only when the copy that follows lets the
    // event loop run, between its chunks.
    ventanas_.RefrescarGenerar();
}

void Modulo::MostrarEspera() {
    Espera(platform::pointer::kHourglass, true);
}
void Modulo::OcultarEspera() {
    Espera(platform::pointer::kDefault, false);
}

void Modulo::Main() {
    RutaSetup = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("SetupPath"),
                        QStringLiteral("0"));
    RutaPower = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("PowerPath"),
                        QStringLiteral("0"));
    ventanas_.MostrarOpcion();
}

}  // namespace Lib
