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

void Conectar(const Servicios& servicios) { Actuales() = servicios; }
const Servicios& ServiciosActuales() { return Actuales(); }

QString LeerIni(QString archivo, QString seccion, QString clave, QString porDefecto) {
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
    const QString ruta = platform::AppPath();
    if (ruta.endsWith(QLatin1Char('\\'))) return ruta;
    return ruta + QLatin1Char('\\');
}

void Main() {
    RutaSetup = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("SetupPath"),
                        QStringLiteral("0"));
    RutaPower = LeerIni(kArchivoIni, QStringLiteral("GENERAL"), QStringLiteral("PowerPath"),
                        QStringLiteral("0"));
    Actuales().ventanas->MostrarOpcion();
}

}  // namespace Lib
