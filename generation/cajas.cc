#include "generation/cajas.h"

#include <cstdio>

#include "app/lib.h"
#include "platform/dialogs.h"

namespace generacion {

namespace {
namespace style = platform::style;
namespace answer = platform::answer;

const QString kTituloUnidades = QStringLiteral("Generación de diskettes de Instalación");

}  // namespace

void Cajas::DecirCausa(const platform::RuntimeError& error) {
    if (!error.cause().isEmpty())
        std::fprintf(stderr, "QTL99: %s\n", qPrintable(error.cause()));
}

int Cajas::Avisar(const QString& texto, int estilo, const QString& titulo) {
    lib_.Beep();
    return lib_.MsgBox(texto, estilo, titulo);
}

void Cajas::UnidadesIguales() {
    Avisar(
        QStringLiteral("Seleccione unidades diferentes para el origen y el destino de los datos"),
        style::kOk + style::kExclamation, kTituloUnidades);
}

void Cajas::OrigenSinArchivos() {
    Avisar(QStringLiteral("El dispositivo origen, seleccionado no posee los archivos necesarios "
                          "para la generacion de discos. ") +
               QStringLiteral("Seleccione otro dispositivo y reintente"),
           style::kOk + style::kExclamation);
}

void Cajas::DestinoOcupado() {
    Avisar(QStringLiteral("La unidad de destino debe estar vacia"),
           style::kOk + style::kExclamation);
}

void Cajas::NombreNoAdmitido(const QString& nombre, int disco, const QString& motivo) {
    Avisar(QStringLiteral("El nombre del archivo %1 del disco %2 no puede grabarse en un "
                          "diskette: %3")
               .arg(nombre)
               .arg(disco)
               .arg(motivo),
           style::kOk + style::kExclamation);
}

void Cajas::ErrorSinRemedio(const platform::RuntimeError& error) {
    DecirCausa(error);
    lib_.MostrarError(error);
}

bool Cajas::PedirDisco(int n) {
    return lib_.MsgBox(QStringLiteral("Inserte el diskette número ") + QString::number(n) +
                           QStringLiteral(" en la unidad"),
                       style::kOkCancel + style::kInformation, Lib::kTitulo) == answer::kOk;
}

bool Cajas::DiscoNoVacio() {
    return Avisar(QStringLiteral("La unidad de destino debe estar vacia"),
                  style::kRetryCancel + style::kExclamation) != answer::kCancel;
}

bool Cajas::Reintentar(Fallo fallo, const platform::RuntimeError& error) {
    DecirCausa(error);
    const QString texto =
        fallo == Fallo::kDiscoLleno
            ? QStringLiteral("No hay suficiente espacio en la unidad. Inserte un disco sin datos")
            : QStringLiteral("La unidad seleccionada no se encuentra disponible.");
    return Avisar(texto, style::kRetryCancel + style::kQuestion) == answer::kRetry;
}

void Cajas::Progreso(bool visible) {
    ventana_.VisibleEtiqueta(Etiqueta::lblArchivos, visible);
    ventana_.VisibleEtiqueta(Etiqueta::lblCopiando, visible);
    ventana_.VisibleEtiqueta(Etiqueta::lblMarco, visible);
}

void Cajas::Ocupado(bool ocupado) {
    if (ocupado)
        lib_.MostrarEspera();
    else
        lib_.OcultarEspera();
}

void Cajas::Finalizado() {
    Avisar(QStringLiteral("Generación de discos Finalizada"), style::kOk + style::kInformation);
}

}  // namespace generacion
