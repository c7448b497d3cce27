#pragma once

#include <QString>

// The standard module Lib: start-up, the settings lookup and the shared texts.
namespace Lib {

// The title of every message box shown without one of its own.
inline const QString kTituloAplicacion = QStringLiteral("Project1");
// The settings file, in the program folder.
inline const QString kArchivoIni = QStringLiteral("Archivos.ini");

// The launcher paths read at start-up; empty until Main sets them, then fixed for the run.
extern QString RutaSetup;
extern QString RutaPower;

// The value of `clave` in `seccion` of `archivo` (a file of the program folder), read anew at
// every call; `porDefecto` when the file, the section or the key is missing. An empty `clave`
// lists the section's key names, each followed by a NUL. At most 254 characters.
QString LeerIni(QString archivo, QString seccion, QString clave, QString porDefecto);

// The program folder, ending in exactly one backslash ("e:\", "e:\INSTALA\").
QString RutaAplicacion();

// The windows that start-up and the shared services reach; the user interface implements it.
class Ventanas {
public:
    virtual ~Ventanas() = default;
    // Names the option window (loading it when it is not loaded) and shows it modeless.
    virtual void MostrarOpcion() = 0;
};

// Where the shared services find what lies above them; set once by the process entry.
struct Servicios {
    Ventanas* ventanas = nullptr;
};
void Conectar(const Servicios& servicios);
const Servicios& ServiciosActuales();

// The start object: reads the launcher paths, shows the option window and returns.
void Main();

}  // namespace Lib
