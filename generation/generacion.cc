#include "generation/generacion.h"

#include <algorithm>

#include "app/lib.h"
#include "app/reintento.h"
#include "generation/comprobacion.h"
#include "platform/dialogs.h"
#include "platform/drives/drive.h"
#include "platform/files.h"
#include "platform/val.h"

namespace generacion {

namespace {

// A name of nothing but blanks and dots names no file: trailing ones are dropped.
bool NombreVacio(const QString& nombre) {
    return platform::WithoutTrailingBlanksAndDots(nombre).isEmpty();
}

using platform::RuntimeError;
namespace style = platform::style;
namespace answer = platform::answer;

// Unwinds a run that ends early: the handler has already told the user.
struct FinDeGeneracion {};

const QString kTituloUnidades = QStringLiteral("Generación de diskettes de Instalación");

// The first two characters of a drive list's value: the drive letter and its colon ("a:").
QString LetraDeUnidad(const QString& unidad) {
    return unidad.left(2);
}

// InStr: the 1-based position of the first comma at or after `desde`, 0 when there is none.
int16_t PosicionComa(const QString& lista, int16_t desde) {
    const qsizetype p = lista.indexOf(QLatin1Char(','), desde - 1);
    return p < 0 ? int16_t{0} : platform::Add16(static_cast<int16_t>(p), 1);
}

// However the run ends, the destination drive hears that the set is over, so that a disk the
// program mounted for it is not left mounted.
class CierreDelJuego {
  public:
    CierreDelJuego(platform::Host& host, const QString& destino) : host_(host), destino_(destino) {}
    ~CierreDelJuego() { platform::EndOfSet(host_, destino_); }
    CierreDelJuego(const CierreDelJuego&) = delete;
    CierreDelJuego& operator=(const CierreDelJuego&) = delete;

  private:
    platform::Host& host_;
    const QString& destino_;
};

}  // namespace

template <typename Paso>
void Generacion::Ejecutar(Paso&& paso) {
    if (!Lib::ConReintento(paso,
                           [this](const RuntimeError& error) { return ManejarError(error); })) {
        throw FinDeGeneracion{};
    }
}

bool Generacion::ManejarError(const RuntimeError& error) {
    Lib::OcultarEspera();  // no hourglass over a message
    ventana_.AvisarError(error);
    QString texto;
    switch (error.number()) {
        case platform::errors::kBadFileName:
        case platform::errors::kDeviceUnavailable:
        case platform::errors::kDiskNotReady:
        case platform::errors::kPathNotFound:
            texto = QStringLiteral("La unidad seleccionada no se encuentra disponible.");
            break;
        case platform::errors::kDiskFull:
            texto = QStringLiteral(
                "No hay suficiente espacio en la unidad. Inserte un disco sin datos");
            break;
        default:
            Lib::MostrarError(error);
            return false;
    }
    // A drive error or a full disk: the user may put things right (another disk, perhaps) and
    // retry the failed step.
    SoltarDisco(destino_);
    Lib::Beep();
    return Lib::MsgBox(texto, style::kRetryCancel + style::kQuestion, Lib::kTitulo) ==
           answer::kRetry;
}

void Generacion::SoltarDisco(const QString& unidad) {
    try {
        platform::ReleaseDisk(host_, unidad);
    } catch (const RuntimeError&) {
    }
}

void Generacion::MostrarProgreso(bool visible) {
    ventana_.VisibleEtiqueta(Etiqueta::lblArchivos, visible);
    ventana_.VisibleEtiqueta(Etiqueta::lblCopiando, visible);
    ventana_.VisibleEtiqueta(Etiqueta::lblMarco, visible);
}

void Generacion::cmdComenzar_Click() {
    if (!ValidarUnidades())
        return;
    const QString origen = LetraDeUnidad(ventana_.UnidadOrigen());
    const QString destino = LetraDeUnidad(ventana_.UnidadDestino());
    if (!NombresAdmitidos(origen, destino)) {
        platform::EndOfSet(host_, destino);  // nothing of the set was written
        return;
    }
    GenerarDiscos(origen, destino);
}

bool Generacion::NombresAdmitidos(const QString& origen, const QString& destino) {
    // Only a floppy (a drive of images is one too) has FAT's rules for names.
    const platform::DriveTable unidades = host_.Drives();
    const platform::Drive* unidad = platform::FindDrive(unidades, destino.at(0));
    if (unidad == nullptr || (unidad->info().kind != platform::DriveKind::kFloppy &&
                              unidad->info().kind != platform::DriveKind::kImages)) {
        return true;
    }
    for (const DiscoComprobado& disco : ComprobarCd(host_, origen).discos) {
        for (const EntradaComprobada& entrada : disco.entradas) {
            // An empty name is the copy's own error, told when its turn comes.
            if (entrada.motivoFat.isEmpty() || NombreVacio(entrada.nombre))
                continue;
            Lib::Beep();
            Lib::MsgBox(QStringLiteral("El nombre del archivo %1 del disco %2 no puede grabarse "
                                       "en un diskette: %3")
                            .arg(entrada.nombre)
                            .arg(disco.numero)
                            .arg(entrada.motivoFat),
                        style::kOk + style::kExclamation, Lib::kTitulo);
            return false;
        }
    }
    return true;
}

bool Generacion::ValidarUnidades() {
    try {
        // The same drive twice.
        if (ventana_.UnidadOrigen() == ventana_.UnidadDestino()) {
            Lib::Beep();
            Lib::MsgBox(
                QStringLiteral(
                    "Seleccione unidades diferentes para el origen y el destino de los datos"),
                style::kOk + style::kExclamation, kTituloUnidades);
            return false;
        }
        // The source must look like the installation CD: "Archivos.ini" in its root.
        const QString origen = LetraDeUnidad(ventana_.UnidadOrigen());
        if (platform::Dir(host_, origen + QStringLiteral("\\") + Lib::kArchivoIni,
                          platform::kAllAttributes) != Lib::kArchivoIni) {
            Lib::Beep();
            Lib::MsgBox(QStringLiteral(
                            "El dispositivo origen, seleccionado no posee los archivos necesarios "
                            "para la generacion de discos. ") +
                            QStringLiteral("Seleccione otro dispositivo y reintente"),
                        style::kOk + style::kExclamation, Lib::kTitulo);
            return false;
        }
        // The destination must be empty: a new set starts with disk 1.
        const QString destino = LetraDeUnidad(ventana_.UnidadDestino());
        platform::InsertDisk(host_, destino, 1);
        if (!platform::Dir(host_, destino + QStringLiteral("\\"), platform::kAllAttributes)
                 .isEmpty()) {
            SoltarDisco(destino);  // the user will put another disk in
            Lib::Beep();
            Lib::MsgBox(QStringLiteral("La unidad de destino debe estar vacia"),
                        style::kOk + style::kExclamation, Lib::kTitulo);
            return false;
        }
        return true;
    } catch (const RuntimeError& error) {
        ventana_.AvisarError(error);
        Lib::MostrarError(error);
        return false;
    }
}

void Generacion::GenerarDiscos(const QString& origen, const QString& destino) {
    const CierreDelJuego cierre(host_, destino);
    destino_ = destino;
    try {
        // Show the labels; read the count and the folder prefix once for the run.
        Ejecutar([&] { MostrarProgreso(true); });
        QString textoCantidad;
        QString prefijo;
        Ejecutar([&] {
            textoCantidad = Lib::LeerIni(Lib::kArchivoIni, QStringLiteral("GENERAL"),
                                         QStringLiteral("CANTIDAD"), QStringLiteral("0"));
        });
        Ejecutar([&] {
            prefijo = Lib::LeerIni(Lib::kArchivoIni, QStringLiteral("GENERAL"),
                                   QStringLiteral("DiskPath"), QStringLiteral("0"));
        });
        int16_t cantidad = 0;
        Ejecutar([&] { cantidad = platform::CInt(platform::Val(textoCantidad)); });
        int16_t n = 1;

        while (n <= cantidad) {
            // This disk's list, read when its turn comes.
            QString lista;
            Ejecutar([&] {
                lista = Lib::LeerIni(Lib::kArchivoIni, QStringLiteral("DISCOS"),
                                     QStringLiteral("Disco") + QString::number(n), QString());
            });
            int16_t p = 0;
            Ejecutar([&] { p = PosicionComa(lista, 1); });
            int16_t s = 1;

            // The disk in the drive is let go first, so that it can be taken out and the one
            // asked for is never written through its mount.
            Ejecutar([&] { platform::ReleaseDisk(host_, destino); });
            // Ask for the disk.
            if (Lib::MsgBox(QStringLiteral("Inserte el diskette número ") + QString::number(n) +
                                QStringLiteral(" en la unidad"),
                            style::kOkCancel + style::kInformation, Lib::kTitulo) != answer::kOk) {
                Ejecutar([&] { MostrarProgreso(false); });  // cancelled: the run ends quietly
                return;
            }
            // The disk asked for is now in the destination drive (a drive of images takes
            // this disk's image from here on).
            Ejecutar([&] { platform::InsertDisk(host_, destino, n); });

            // Insist on an empty disk, read from the drive list itself.
            for (;;) {
                QString entrada;
                Ejecutar([&] {
                    entrada = platform::Dir(
                        host_, LetraDeUnidad(ventana_.UnidadDestino()) + QStringLiteral("\\"),
                        platform::kAllAttributes);
                });
                if (entrada.isEmpty())
                    break;
                SoltarDisco(destino);  // the user will put an empty disk in
                Lib::Beep();
                if (Lib::MsgBox(QStringLiteral("La unidad de destino debe estar vacia"),
                                style::kRetryCancel + style::kExclamation,
                                Lib::kTitulo) == answer::kCancel) {
                    Ejecutar([&] { MostrarProgreso(false); });  // cancelled
                    return;
                }
            }

            // Busy while the disk is written.
            Ejecutar([&] { MostrarProgreso(true); });
            Ejecutar([] { Lib::MostrarEspera(); });

            // Each entry ends with a comma; what follows the last comma is not a file.
            while (p > 0) {
                QString nombre;
                Ejecutar([&] { nombre = lista.mid(s - 1, platform::Subtract16(p, s)); });
                Ejecutar([&] { ventana_.MostrarArchivo(nombre); });
                Ejecutar([&] { ventana_.Refresh(); });
                Ejecutar([&] { ventana_.DoEvents(); });
                Ejecutar([&] {
                    platform::FileCopy(
                        host_,
                        origen + prefijo + QString::number(n) + QStringLiteral("\\") + nombre,
                        destino + QStringLiteral("\\") + nombre);
                });
                Ejecutar([&] { s = platform::Add16(p, 1); });
                Ejecutar([&] { p = PosicionComa(lista, s); });
            }

            // The disk's list is written: the drive gives the disk its name and makes it
            // durable before the next one is asked for.
            Ejecutar([&] { platform::FinishDisk(host_, destino); });

            // The disk is written: labels and hourglass off until the next one is in.
            Ejecutar([&] { MostrarProgreso(false); });
            Ejecutar([] { Lib::OcultarEspera(); });
            Ejecutar([&] { n = platform::Add16(n, 1); });
        }

        // Announce the end and close the window; it is not touched again. The last disk is
        // let go first, so that it can be taken out when the user is told.
        SoltarDisco(destino);
        platform::EndOfSet(host_, destino);
        Ejecutar([] { Lib::OcultarEspera(); });
        Lib::Beep();
        Lib::MsgBox(QStringLiteral("Generación de discos Finalizada"),
                    style::kOk + style::kInformation, Lib::kTitulo);
        Ejecutar([&] { ventana_.cmdCerrar_Click(); });
    } catch (const FinDeGeneracion&) {
        MostrarProgreso(false);  // the run gave up; the window stays open
    }
}

}  // namespace generacion
