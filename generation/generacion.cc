#include "generation/generacion.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "app/lib.h"
#include "app/reintento.h"
#include "generation/comprobacion.h"
#include "platform/dialogs.h"
#include "platform/drives/drive.h"
#include "platform/host/files.h"
#include "platform/val.h"

namespace generacion {

namespace {

// A name of nothing but blanks and dots names no file: trailing ones are dropped.
bool NombreVacio(const QString& nombre) {
    return platform::WithoutTrailingBlanksAndDots(nombre).isEmpty();
}

using platform::RuntimeError;

// Unwinds a run that ends early: the handler has already told the user.
struct FinDeGeneracion {};

// The first two characters of a drive list's value: the drive letter and its colon ("a:").
QString LetraDeUnidad(const QString& unidad) {
    return unidad.left(2);
}

// However the run ends, the destination drive hears that the set is over, once, so that a disk
// the program mounted for it is not left mounted.
class CierreDelJuego {
  public:
    CierreDelJuego(platform::Host& host, const QString& destino) : host_(host), destino_(destino) {}
    ~CierreDelJuego() { Cerrar(); }
    CierreDelJuego(const CierreDelJuego&) = delete;
    CierreDelJuego& operator=(const CierreDelJuego&) = delete;
    void Cerrar() {
        if (!std::exchange(cerrado_, true))
            platform::EndOfSet(host_, destino_);
    }

  private:
    platform::Host& host_;
    const QString& destino_;
    bool cerrado_ = false;
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
    interlocutor_.Ocupado(false);  // no hourglass over a message
    Fallo fallo = Fallo::kUnidad;
    switch (error.number()) {
        case platform::errors::kBadFileName:
        case platform::errors::kDeviceUnavailable:
        case platform::errors::kDiskNotReady:
        case platform::errors::kPathNotFound:
            break;
        case platform::errors::kDiskFull:
            fallo = Fallo::kDiscoLleno;
            break;
        default:
            interlocutor_.ErrorSinRemedio(error);
            return false;
    }
    // A drive error or a full disk: the user may put things right (another disk, perhaps) and
    // retry the failed step.
    SoltarDisco(destino_);
    return interlocutor_.Reintentar(fallo, error);
}

void Generacion::SoltarDisco(const QString& unidad) {
    try {
        platform::ReleaseDisk(host_, unidad);
    } catch (const RuntimeError&) {
    }
}

void Generacion::cmdComenzar_Click() {
    AjustesDelCd ajustes(lib_);
    cmdComenzar_Click(ajustes);
}

void Generacion::cmdComenzar_Click(AjustesDelCd& ajustes) {
    if (!ValidarUnidades())
        return;
    const QString origen = LetraDeUnidad(interlocutor_.UnidadOrigen());
    const QString destino = LetraDeUnidad(interlocutor_.UnidadDestino());
    if (!NombresAdmitidos(origen, destino, ajustes)) {
        platform::EndOfSet(host_, destino);  // nothing of the set was written
        return;
    }
    GenerarDiscos(origen, destino, ajustes);
}

bool Generacion::NombresAdmitidos(const QString& origen, const QString& destino,
                                  AjustesDelCd& ajustes) {
    // Only a floppy (a drive of images is one too) has FAT's rules for names.
    const platform::DriveTable unidades = host_.Drives();
    const platform::Drive* unidad = platform::FindDrive(unidades, destino.at(0));
    if (unidad == nullptr || (unidad->info().kind != platform::DriveKind::kFloppy &&
                              unidad->info().kind != platform::DriveKind::kImages)) {
        return true;
    }
    std::optional<ComprobacionCd> ahora;
    const ComprobacionCd& cd =
        comprobado_ ? *comprobado_ : ahora.emplace(ComprobarCd(lib_, origen, ajustes));
    for (const DiscoComprobado& disco : cd.discos) {
        for (const EntradaComprobada& entrada : disco.entradas) {
            // An empty name is the copy's own error, told when its turn comes.
            if (entrada.motivoFat.isEmpty() || NombreVacio(entrada.nombre))
                continue;
            interlocutor_.NombreNoAdmitido(entrada.nombre, disco.numero, entrada.motivoFat);
            return false;
        }
    }
    return true;
}

bool Generacion::ValidarUnidades() {
    try {
        // The same drive twice.
        if (interlocutor_.UnidadOrigen() == interlocutor_.UnidadDestino()) {
            interlocutor_.UnidadesIguales();
            return false;
        }
        // The source must look like the installation CD: "Archivos.ini" in its root.
        const QString origen = LetraDeUnidad(interlocutor_.UnidadOrigen());
        if (platform::Dir(host_, origen + QStringLiteral("\\") + Lib::kArchivoIni,
                          platform::kAllAttributes) != Lib::kArchivoIni) {
            interlocutor_.OrigenSinArchivos();
            return false;
        }
        // The destination must be empty: a new set starts with disk 1.
        const QString destino = LetraDeUnidad(interlocutor_.UnidadDestino());
        platform::InsertDisk(host_, destino, 1);
        if (!platform::Dir(host_, destino + QStringLiteral("\\"), platform::kAllAttributes)
                 .isEmpty()) {
            SoltarDisco(destino);  // the user will put another disk in
            interlocutor_.DestinoOcupado();
            return false;
        }
        return true;
    } catch (const RuntimeError& error) {
        interlocutor_.ErrorSinRemedio(error);
        return false;
    }
}

void Generacion::GenerarDiscos(const QString& origen, const QString& destino) {
    AjustesDelCd ajustes(lib_);
    GenerarDiscos(origen, destino, ajustes);
}

void Generacion::GenerarDiscos(const QString& origen, const QString& destino,
                               AjustesDelCd& ajustes) {
    CierreDelJuego cierre(host_, destino);
    destino_ = destino;
    try {
        // Show the labels; the count and the folder prefix of the CD's settings.
        Ejecutar([&] { interlocutor_.Progreso(true); });
        const QString textoCantidad = ajustes.TextoCantidad();
        const QString prefijo = ajustes.Prefijo();
        int16_t cantidad = 0;
        Ejecutar([&] { cantidad = platform::CInt(platform::Val(textoCantidad)); });
        int16_t n = 1;

        while (n <= cantidad) {
            // This disk's names, its list read when its turn comes.
            const QStringList nombres = EntradasDeLaLista(ajustes.Lista(n).value_or(QString()));

            // The disk in the drive is let go first, so that it can be taken out and the one
            // asked for is never written through its mount.
            Ejecutar([&] { platform::ReleaseDisk(host_, destino); });
            // Ask for the disk.
            if (!interlocutor_.PedirDisco(n)) {
                Ejecutar([&] { interlocutor_.Progreso(false); });  // cancelled: ends quietly
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
                        host_, LetraDeUnidad(interlocutor_.UnidadDestino()) + QStringLiteral("\\"),
                        platform::kAllAttributes);
                });
                if (entrada.isEmpty())
                    break;
                SoltarDisco(destino);  // the user will put an empty disk in
                if (!interlocutor_.DiscoNoVacio()) {
                    Ejecutar([&] { interlocutor_.Progreso(false); });  // cancelled
                    return;
                }
            }

            // Busy while the disk is written.
            Ejecutar([&] { interlocutor_.Progreso(true); });
            Ejecutar([&] { interlocutor_.Ocupado(true); });

            // The copies the drive has taken, by their place in the list. A drive that makes
            // its copies durable together may lose some at that commit; those are written
            // again, from the CD, before the step that is retried.
            std::vector<qsizetype> hechas, perdidas;
            const auto copiar = [&](qsizetype i) {
                platform::FileCopy(
                    host_,
                    origen + prefijo + QString::number(n) + QStringLiteral("\\") + nombres[i],
                    destino + QStringLiteral("\\") + nombres[i]);
                hechas.push_back(i);
            };
            const auto reponer = [&] {
                const auto k = std::min<size_t>(
                    static_cast<size_t>(platform::TakeLost(host_, destino)), hechas.size());
                perdidas.insert(perdidas.end(), hechas.end() - static_cast<ptrdiff_t>(k),
                                hechas.end());
                hechas.resize(hechas.size() - k);
                std::sort(perdidas.begin(), perdidas.end());
                const bool alguna = !perdidas.empty();
                while (!perdidas.empty()) {
                    interlocutor_.Copiando(nombres[perdidas.front()]);
                    copiar(perdidas.front());
                    perdidas.erase(perdidas.begin());
                }
                return alguna;
            };

            for (qsizetype i = 0; i < nombres.size(); ++i) {
                Ejecutar([&] { interlocutor_.Copiando(nombres[i]); });
                Ejecutar([&] { interlocutor_.Repintar(); });
                Ejecutar([&] { interlocutor_.Atender(); });
                Ejecutar([&] {
                    if (reponer())
                        interlocutor_.Copiando(nombres[i]);
                    copiar(i);
                });
            }

            // The disk's list is written: the drive gives the disk its name and makes it
            // durable before the next one is asked for.
            Ejecutar([&] {
                reponer();
                platform::FinishDisk(host_, destino);
            });

            // The disk is written: labels and hourglass off until the next one is in.
            Ejecutar([&] { interlocutor_.Progreso(false); });
            Ejecutar([&] { interlocutor_.Ocupado(false); });
            Ejecutar([&] { n = platform::Add16(n, 1); });
        }

        // Announce the end and close the window; it is not touched again. The last disk is
        // let go first, so that it can be taken out when the user is told.
        SoltarDisco(destino);
        cierre.Cerrar();  // nothing touches the drives once the window is told
        Ejecutar([&] { interlocutor_.Ocupado(false); });
        interlocutor_.Finalizado();
        Ejecutar([&] { interlocutor_.Terminado(); });
    } catch (const FinDeGeneracion&) {
        interlocutor_.Progreso(false);  // the run gave up; the window stays open
    }
}

}  // namespace generacion
