#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>
#include <functional>
#include <memory>
#include <utility>

#include "generation/cajas.h"
#include "generation/generacion.h"
#include "generation/interlocutor.h"
#include "platform/host.h"

namespace ui {

// The port of a run seen from its own thread: each call is made on the window's thread, and the
// run waits for it there (a box for its answer, a label until it is set), so that what the
// window shows arrives in order before the next step. A call made once the window is gone does
// nothing and answers no (the run then ends).
class PuertoEnVentana : public generacion::Interlocutor {
  public:
    // `ventana` is the object whose life the calls follow; `cajas` shows them.
    PuertoEnVentana(QObject& ventana, generacion::Interlocutor& cajas)
        : ventana_(&ventana), cajas_(cajas) {}

    QString UnidadOrigen() override;
    QString UnidadDestino() override;
    void UnidadesIguales() override;
    void OrigenSinArchivos() override;
    void DestinoOcupado() override;
    void NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) override;
    void ErrorSinRemedio(const platform::RuntimeError& error) override;
    bool PedirDisco(int n) override;
    bool DiscoNoVacio() override;
    bool Reintentar(generacion::Fallo fallo, const platform::RuntimeError& error) override;
    void Progreso(bool visible) override;
    void Copiando(const QString& nombre) override;
    void Repintar() override;
    // The window's thread attends its desktop by itself: nothing to do.
    void Atender() override {}
    void Ocupado(bool ocupado) override;
    void Finalizado() override;
    void Terminado() override;

  private:
    // Runs `codigo` on the window's thread and waits for it; an exception it raises is raised
    // here. Called on that thread, it runs at once.
    template <typename Codigo>
    auto EnLaVentana(Codigo&& codigo)
        -> decltype(codigo(std::declval<generacion::Interlocutor&>()));

    QPointer<QObject> ventana_;
    generacion::Interlocutor& cajas_;
};

// A run of the drive check and the disk-set loop of a generation window, on a thread of its
// own: the window's thread goes on answering its desktop and never waits on a drive. Once the
// run has ended, `alTerminar` runs on the window's thread (the window may be gone by then) and
// the run deletes itself.
class Corrida : public QObject {
  public:
    // Starts `trabajo` on a run shown in `ventana` (whose labels are `etiquetas`) with the
    // boxes of the design.
    static void Iniciar(QObject& ventana, generacion::VentanaGeneracion& etiquetas,
                        Lib::Modulo& lib, std::function<void(generacion::Generacion&)> trabajo,
                        std::function<void()> alTerminar);

  private:
    Corrida(QObject& ventana, generacion::VentanaGeneracion& etiquetas, Lib::Modulo& lib);
    ~Corrida() override;
    // The run's own thread: `trabajo`, and the report of what it did not catch.
    void Correr(const std::function<void(generacion::Generacion&)>& trabajo);

    platform::Host& host_;
    generacion::Cajas cajas_;
    PuertoEnVentana puerto_;
    generacion::Generacion generacion_;
    std::unique_ptr<QThread> hilo_;
};

}  // namespace ui
