#include "ui/corrida.h"

#include <QCoreApplication>
#include <exception>
#include <type_traits>

#include "ui/evento.h"

namespace ui {

template <typename Codigo>
auto PuertoEnVentana::EnLaVentana(Codigo&& codigo)
    -> decltype(codigo(std::declval<generacion::Interlocutor&>())) {
    using Valor = decltype(codigo(cajas_));
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        if (ventana_.isNull())
            return Valor();
        return codigo(cajas_);
    }
    std::conditional_t<std::is_void_v<Valor>, bool, Valor> valor{};
    std::exception_ptr fallo;
    // The application outlives every window: the call is always delivered, and finds out there
    // whether the window is still there.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            if (ventana_.isNull())
                return;
            try {
                if constexpr (std::is_void_v<Valor>)
                    codigo(cajas_);
                else
                    valor = codigo(cajas_);
            } catch (...) {
                fallo = std::current_exception();  // never through Qt's event dispatch
            }
        },
        Qt::BlockingQueuedConnection);
    if (fallo)
        std::rethrow_exception(fallo);
    if constexpr (!std::is_void_v<Valor>)
        return valor;
}

using generacion::Interlocutor;

QString PuertoEnVentana::UnidadOrigen() {
    return EnLaVentana([](Interlocutor& c) { return c.UnidadOrigen(); });
}
QString PuertoEnVentana::UnidadDestino() {
    return EnLaVentana([](Interlocutor& c) { return c.UnidadDestino(); });
}
void PuertoEnVentana::UnidadesIguales() {
    EnLaVentana([](Interlocutor& c) { c.UnidadesIguales(); });
}
void PuertoEnVentana::OrigenSinArchivos() {
    EnLaVentana([](Interlocutor& c) { c.OrigenSinArchivos(); });
}
void PuertoEnVentana::DestinoOcupado() {
    EnLaVentana([](Interlocutor& c) { c.DestinoOcupado(); });
}
void PuertoEnVentana::NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) {
    EnLaVentana([&](Interlocutor& c) { c.NombreNoAdmitido(nombre, disco, motivo); });
}
void PuertoEnVentana::ErrorSinRemedio(const platform::RuntimeError& error) {
    EnLaVentana([&](Interlocutor& c) { c.ErrorSinRemedio(error); });
}
bool PuertoEnVentana::PedirDisco(int n) {
    return EnLaVentana([n](Interlocutor& c) { return c.PedirDisco(n); });
}
bool PuertoEnVentana::DiscoNoVacio() {
    return EnLaVentana([](Interlocutor& c) { return c.DiscoNoVacio(); });
}
bool PuertoEnVentana::Reintentar(generacion::Fallo fallo, const platform::RuntimeError& error) {
    return EnLaVentana([&](Interlocutor& c) { return c.Reintentar(fallo, error); });
}
void PuertoEnVentana::Progreso(bool visible) {
    EnLaVentana([visible](Interlocutor& c) { c.Progreso(visible); });
}
void PuertoEnVentana::Copiando(const QString& nombre) {
    EnLaVentana([&](Interlocutor& c) { c.Copiando(nombre); });
}
void PuertoEnVentana::Repintar() {
    EnLaVentana([](Interlocutor& c) { c.Repintar(); });
}
void PuertoEnVentana::Ocupado(bool ocupado) {
    EnLaVentana([ocupado](Interlocutor& c) { c.Ocupado(ocupado); });
}
void PuertoEnVentana::Finalizado() {
    EnLaVentana([](Interlocutor& c) { c.Finalizado(); });
}
void PuertoEnVentana::Terminado() {
    EnLaVentana([](Interlocutor& c) { c.Terminado(); });
}

Corrida::Corrida(QObject& ventana, generacion::VentanaGeneracion& etiquetas, Lib::Modulo& lib)
    : host_(lib.host()),
      cajas_(etiquetas, lib),
      puerto_(ventana, cajas_),
      generacion_(puerto_, lib) {}

Corrida::~Corrida() {
    hilo_->wait();  // it has ended: this runs once it said so
}

void Corrida::Iniciar(QObject& ventana, generacion::VentanaGeneracion& etiquetas, Lib::Modulo& lib,
                      std::function<void(generacion::Generacion&)> trabajo,
                      std::function<void()> alTerminar) {
    auto* corrida = new Corrida(ventana, etiquetas, lib);
    corrida->hilo_.reset(
        QThread::create([corrida, trabajo = std::move(trabajo)] { corrida->Correr(trabajo); }));
    connect(corrida->hilo_.get(), &QThread::finished, corrida,
            [corrida, alTerminar = std::move(alTerminar)] {
                if (alTerminar)
                    alTerminar();
                corrida->deleteLater();
            });
    corrida->hilo_->start();
}

void Corrida::Correr(const std::function<void(generacion::Generacion&)>& trabajo) {
    std::exception_ptr fallo;
    try {
        trabajo(generacion_);
    } catch (...) {
        fallo = std::current_exception();
    }
    // What the run did not catch gets the run-time's own report, on the window's thread, as an
    // event's error does.
    if (fallo) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&] { Evento(host_, [&] { std::rethrow_exception(fallo); }); },
            Qt::BlockingQueuedConnection);
    }
}

}  // namespace ui
