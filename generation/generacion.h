#pragma once

#include <QString>

#include "platform/host.h"
#include "platform/runtime_error.h"

// The drive check and the disk-set loop of the generation window, free of any widget: the
// window is reached only through VentanaGeneracion, so the whole loop runs in a test.
namespace generacion {

// The progress labels of the generation window.
enum class Etiqueta { lblArchivos, lblCopiando, lblMarco };

// What the drive check and the loop need of the generation window.
class VentanaGeneracion {
  public:
    virtual ~VentanaGeneracion() = default;
    // The current `Drive` value of drvOrigen / drvDestino ("a:", "d: [QTL99]").
    virtual QString UnidadOrigen() = 0;
    virtual QString UnidadDestino() = 0;
    // lblArchivos.Caption.
    virtual void MostrarArchivo(const QString& nombre) = 0;
    virtual void VisibleEtiqueta(Etiqueta etiqueta, bool visible) = 0;
    // Repaints the window at once.
    virtual void Refresh() = 0;
    // Lets the event loop process what is pending, once.
    virtual void DoEvents() = 0;
    // Closes the window exactly as its "Cerrar" button does.
    virtual void cmdCerrar_Click() = 0;
    // Told of each run-time error the check or the loop deals with, before its box: the
    // command line names the number, which the boxes do not show. The windows need nothing.
    virtual void AvisarError(const platform::RuntimeError& /*error*/) {}
};

class Generacion {
  public:
    // `host` holds the drives the disks are read from and written to.
    Generacion(VentanaGeneracion& ventana, platform::Host& host) : ventana_(ventana), host_(host) {}

    // The start button: checks the drives and, when they pass, generates the disk set.
    void cmdComenzar_Click();

    // True when generation may start: two different drives, a source whose root holds
    // "Archivos.ini", and an empty destination. Each refusal is a beep and a box; a drive that
    // cannot be read is reported by MostrarError.
    bool ValidarUnidades();

    // False, after a beep and a box that names the file and its disk, when the set lists a name
    // that the floppy in drive `destino` cannot hold: found before disk 1, nothing is written.
    bool NombresAdmitidos(const QString& origen, const QString& destino);

    // Makes the whole disk set from drive `origen` onto drive `destino` ("d:", "a:"). No
    // run-time error leaves it: drive errors and a full disk offer Retry of the failed step,
    // any other error is reported and ends the run.
    void GenerarDiscos(const QString& origen, const QString& destino);

    // Shows or hides lblArchivos, lblCopiando and lblMarco, in that order.
    void MostrarProgreso(bool visible);

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
    VentanaGeneracion& ventana_;
    platform::Host& host_;
    QString destino_;  // the destination of the run in progress
};

}  // namespace generacion
