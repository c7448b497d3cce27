#pragma once

#include <QString>

#include "platform/dialogs.h"
#include "platform/host.h"
#include "platform/runtime_error.h"

// The standard module Lib: start-up, the settings lookup and the shared texts.
namespace Lib {

// The title of every message box shown without one of its own.
inline const QString kTituloAplicacion = QStringLiteral("Project1");
// The title of the program's own messages.
inline const QString kTitulo = QStringLiteral("Quintarel");
// The settings file, in the program folder.
inline const QString kArchivoIni = QStringLiteral("Archivos.ini");

// The windows that start-up and the shared services reach; the user interface implements it.
class Ventanas {
  public:
    virtual ~Ventanas() = default;
    // Names the option window (loading it when it is not loaded) and shows it modeless.
    virtual void MostrarOpcion() = 0;
    // Names the generation window and shows or hides its wait label `lblEspere`.
    virtual void VisibleEspera(bool visible) = 0;
    // Names the generation window and repaints it at once.
    virtual void RefrescarGenerar() = 0;
};

// What the report of `error` says: the program's own text for 52, 68 and 76, the standard
// text of any other number.
QString TextoDelError(const platform::RuntimeError& error);

// The standard module, as one object built by the process entry (and by each test, with its
// own host and windows): start-up, the settings lookup, the boxes, the error reporter and the
// busy indication, all on the host and the windows it is made with, which must outlive it.
class Modulo {
  public:
    Modulo(platform::Host& host, Ventanas& ventanas) : host_(host), ventanas_(ventanas) {}
    Modulo(const Modulo&) = delete;
    Modulo& operator=(const Modulo&) = delete;

    platform::Host& host() { return host_; }

    // The launcher paths read at start-up; empty until Main sets them, then fixed for the run.
    QString RutaSetup;
    QString RutaPower;

    // The value of `clave` in `seccion` of `archivo` (a file of the program folder), read anew
    // at every call; `porDefecto` when the file, the section or the key is missing. An empty
    // `clave` lists the section's key names, each followed by a NUL. At most 254 characters.
    QString LeerIni(const QString& archivo, const QString& seccion, const QString& clave,
                    const QString& porDefecto);

    // The program folder, ending in exactly one backslash ("e:\", "e:\INSTALA\").
    QString RutaAplicacion();

    // The message boxes and the beep of the host.
    int MsgBox(const QString& texto, int estilo, const QString& titulo);
    void Beep();

    // Reports a run-time error that its handler does not deal with: a beep, then the box of
    // its number (52, 68, 76 have the program's own texts; any other shows the standard text
    // titled with the application title). Called from inside an error handler.
    void MostrarError(const platform::RuntimeError& error);

    // The busy indication, as absolute states: hourglass over the whole program and the wait
    // label of the generation window shown (MostrarEspera), or neither (OcultarEspera).
    void MostrarEspera();
    void OcultarEspera();

    // The start object: reads the launcher paths, shows the option window and returns.
    void Main();

  private:
    void Espera(int puntero, bool visible);

    platform::Host& host_;
    Ventanas& ventanas_;
    QString ajustesIlegibles_;  // why the settings file could not be read, as last said
};

}  // namespace Lib
