#pragma once

#include <QString>

#include "platform/runtime_error.h"

namespace generacion {

// Why a step failed in a way the user may put right and retry.
enum class Fallo {
    kUnidad,      // the drive or its disk is not there or not ready
    kDiscoLleno,  // the disk is full
};

// Whoever shows the drive check and the disk-set loop to a person: the windows with the boxes
// of the design (Cajas), the command line with lines of its own. Each call says what the loop
// needs, never how it is shown; the loop learns nothing else of who shows it.
class Interlocutor {
  public:
    virtual ~Interlocutor() = default;

    // The drives chosen: "a:", or a drive list's value ("d: [QTL99]").
    virtual QString UnidadOrigen() = 0;
    virtual QString UnidadDestino() = 0;

    // What the drive check refuses, each told once: the same drive twice, a source without
    // the settings file, a destination that is not empty, a name of the set that the floppy
    // cannot hold (`motivo` says why), an error it cannot deal with.
    virtual void UnidadesIguales() = 0;
    virtual void OrigenSinArchivos() = 0;
    virtual void DestinoOcupado() = 0;
    virtual void NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) = 0;
    virtual void ErrorSinRemedio(const platform::RuntimeError& error) = 0;

    // Disk `n` is wanted in the destination; true once it is in, false to end the run.
    virtual bool PedirDisco(int n) = 0;
    // The disk in the destination is not empty; true to look again at another one.
    virtual bool DiscoNoVacio() = 0;
    // A step failed as `fallo` says; true to run it again, false to end the run.
    virtual bool Reintentar(Fallo fallo, const platform::RuntimeError& error) = 0;

    // The progress of the run: its labels shown or hidden; the file being copied now; the
    // window repainted now; what the user did meanwhile taken in; busy or not.
    virtual void Progreso(bool visible) = 0;
    virtual void Copiando(const QString& nombre) = 0;
    virtual void Repintar() = 0;
    virtual void Atender() = 0;
    virtual void Ocupado(bool ocupado) = 0;

    // The whole set is written; then the run is over.
    virtual void Finalizado() = 0;
    virtual void Terminado() = 0;
};

}  // namespace generacion
