#pragma once

#include <QString>
#include <memory>
#include <optional>

#include "generation/ajustes.h"
#include "generation/cajas.h"
#include "generation/comprobacion.h"
#include "generation/interlocutor.h"
#include "platform/host.h"
#include "platform/runtime_error.h"

// The drive check and the disk-set loop of the generation window, free of any widget: whoever
// shows them is reached only through the port Interlocutor, so the whole loop runs in a test
// and on the command line.
namespace generacion {

class Generacion {
  public:
    // The module's host holds the drives the disks are read from and written to;
    // `interlocutor` shows the run.
    Generacion(Interlocutor& interlocutor, Lib::Modulo& lib)
        : interlocutor_(interlocutor), lib_(lib), host_(lib.host()) {}
    // Shown on a generation window with the boxes of the design.
    Generacion(VentanaGeneracion& ventana, Lib::Modulo& lib)
        : cajas_(std::make_unique<Cajas>(ventana, lib)),
          interlocutor_(*cajas_),
          lib_(lib),
          host_(lib.host()) {}

    // The start button: checks the drives and, when they pass, generates the disk set from
    // the CD's settings (`ajustes`, read here when not given).
    void cmdComenzar_Click();
    void cmdComenzar_Click(AjustesDelCd& ajustes);
    // The CD as checked already for this run (the command line checks it for room first): the
    // names check takes it instead of reading every file of the set again.
    void TomarComprobacion(ComprobacionCd cd) { comprobado_ = std::move(cd); }

    // True when generation may start: two different drives, a source whose root holds
    // "Archivos.ini", and an empty destination. Each refusal is a beep and a box; a drive that
    // cannot be read is reported by MostrarError.
    bool ValidarUnidades();

    // False, after a beep and a box that names the file and its disk, when the set lists a name
    // that the floppy in drive `destino` cannot hold: found before disk 1, nothing is written.
    bool NombresAdmitidos(const QString& origen, const QString& destino, AjustesDelCd& ajustes);

    // Makes the whole disk set from drive `origen` onto drive `destino` ("d:", "a:"). No
    // run-time error leaves it: drive errors and a full disk offer Retry of the failed step,
    // any other error is reported and ends the run.
    void GenerarDiscos(const QString& origen, const QString& destino);
    void GenerarDiscos(const QString& origen, const QString& destino, AjustesDelCd& ajustes);

  private:
    // Runs one step of the loop under its error handler: on Retry the same step runs again,
    // with every value as it was; any other answer ends the run (FinDeGeneracion).
    template <typename Paso>
    void Ejecutar(Paso&& paso);
    // The loop's error handler; true when the user asked to retry the failed step.
    bool ManejarError(const platform::RuntimeError& error);
    // Lets the disk in drive `unidad` go before a box after which the user may put another
    // disk in, so that the other disk is never reached through this one's mount. A disk that
    // cannot be let go stays as it is: the box comes all the same.
    void SoltarDisco(const QString& unidad);
    std::unique_ptr<Cajas> cajas_;  // when the run is shown with the boxes
    Interlocutor& interlocutor_;
    Lib::Modulo& lib_;
    platform::Host& host_;
    QString destino_;                           // the destination of the run in progress
    std::optional<ComprobacionCd> comprobado_;  // the CD as checked before the run, if it was
};

}  // namespace generacion
