// The command line: the same check and disk-set loop as the windows on the same drives, shown
// on a terminal (Consola) in place of the generation window and its boxes. Nothing here needs a
// display.
#include "programa/linea_de_ordenes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app/lib.h"
#include "generation/comprobacion.h"
#include "generation/generacion.h"
#include "platform/cdimage/cd_image.h"
#include "platform/finding/detection.h"
#include "platform/host/linux_host.h"
#include "platform/media/floppy.h"
#include "platform/runtime_error.h"
#include "programa/consola.h"
#include "programa/informe.h"
#include "programa/opciones.h"
#include "programa/terminal.h"

namespace programa {

namespace {

// The set is read from the CD as drive d: and written as images to drive a:.
const QString kOrigen = QStringLiteral("d:");
const QString kDestino = QStringLiteral("a:");

// The host of the command line: this machine's drives and boxes, with the CD's folder as
// the program folder, so that the settings are read from the CD as when it runs from there.
class AnfitrionDelCd : public platform::Host {
  public:
    AnfitrionDelCd(platform::Host& base, QString carpeta)
        : base_(base), carpeta_(std::move(carpeta)) {}
    platform::DriveTable Drives() override { return base_.Drives(); }
    QString ProgramFolder() override { return carpeta_; }
    platform::Dialogs& dialogs() override { return base_.dialogs(); }
    platform::Screen& screen() override { return base_.screen(); }
    platform::Notices& notices() override { return base_.notices(); }
    platform::Processes& processes() override { return base_.processes(); }
    platform::SystemCalls& systemCalls() override { return base_.systemCalls(); }

  private:
    platform::Host& base_;
    QString carpeta_;
};

// Why the set of `cd` cannot be written into `carpeta` whole, known before its first image: a
// count whose last disk overflows the disk number, or more images than the folder's disk has
// room for. Nothing when it can be tried.
std::optional<QString> SinSitio(const generacion::ComprobacionCd& cd, const QString& carpeta) {
    if (cd.errorCantidad == platform::errors::kOverflow && cd.cantidad == INT16_MAX) {
        return QStringLiteral(
                   "CANTIDAD=«%1»: tras el disco %2 el número de disco se desborda "
                   "(error 6: %3); no se escribe ninguna imagen")
            .arg(cd.textoCantidad)
            .arg(cd.cantidad)
            .arg(platform::StandardText(platform::errors::kOverflow));
    }
    // Each image not there yet takes a floppy's bytes, and the one being written one more
    // while it is made beside the blank it replaces.
    const QStorageInfo disco(carpeta);
    qint64 hace = cd.cantidad > 0 ? platform::kStandardFloppyBytes : 0;
    for (int n = 1; n <= cd.cantidad; ++n) {
        if (!QFileInfo(QStringLiteral("%1/Disco%2.img").arg(carpeta).arg(n)).isFile())
            hace += platform::kStandardFloppyBytes;
    }
    if (disco.isValid() && disco.bytesAvailable() >= 0 && hace > disco.bytesAvailable()) {
        return QStringLiteral(
                   "no caben %1 imágenes de disquete (%2 MB) en %3: su disco tiene %4 "
                   "MB libres; no se escribe ninguna imagen")
            .arg(cd.cantidad)
            .arg(hace / 1000000)
            .arg(carpeta)
            .arg(disco.bytesAvailable() / 1000000);
    }
    return std::nullopt;
}

// A folder given on the command line, absolute; empty (said) when it cannot be a drive. For the
// CD, a CD image the program can read will do too.
QString CarpetaDeUnidad(const QString& dada, bool crear, bool imagen = false) {
    QString carpeta = QDir::cleanPath(QDir::current().absoluteFilePath(dada));
    const QFileInfo info(carpeta);
    if (imagen && info.isFile()) {
        QString porQue;
        if (!platform::CdImage::Open(carpeta, &porQue)) {
            Decir(porQue);
            return {};
        }
        return carpeta;
    }
    if (!crear && !info.exists()) {
        Decir(QStringLiteral("«%1» no existe").arg(dada));
        return {};
    }
    if (crear && !info.exists() && !QDir().mkpath(carpeta)) {
        Decir(QStringLiteral("no se pudo crear la carpeta «%1»").arg(dada));
        return {};
    }
    if (!QFileInfo(carpeta).isDir()) {
        Decir((imagen ? QStringLiteral("«%1» no es una carpeta ni una imagen de CD")
                      : QStringLiteral("«%1» no es una carpeta"))
                  .arg(dada));
        return {};
    }
    return carpeta;
}

}  // namespace

int LineaDeOrdenes(int argc, char** argv) {
    // A pipe whose reader has gone is told by a failed write, never by a signal that would end
    // the program in the middle of a disk.
    std::signal(SIGPIPE, SIG_IGN);
    // The windows asked for on a CD that cannot be one: why, and no window.
    if (const std::optional<QString> cd = SoloUnCd(argc, argv)) {
        CarpetaDeUnidad(*cd, false, true);
        return 1;
    }
    Opciones o;
    if (const std::optional<int> estado = LeerOpciones(argc, argv, o))
        return *estado;

    QCoreApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QTL99"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTL99_VERSION));

    // The CD: the given folder, or the program's own, as drive d:; the images as drive a:.
    const QString carpetaCd =
        CarpetaDeUnidad(o.cd.value_or(QCoreApplication::applicationDirPath()), false, true);
    if (carpetaCd.isEmpty())
        return 1;
    // Each folder quoted: any name the file system allows is a drive.
    QString tabla = kOrigen + QLatin1Char('=') + platform::QuoteTableFolder(carpetaCd) +
                    QStringLiteral(",optical");
    QString carpetaImagenes;
    if (o.imagenes) {
        carpetaImagenes = CarpetaDeUnidad(*o.imagenes, true);
        if (carpetaImagenes.isEmpty())
            return 1;
        tabla += QLatin1Char(';') + kDestino + QLatin1Char('=') +
                 platform::QuoteTableFolder(carpetaImagenes) + QStringLiteral(",images");
    }

    Consola consola(kOrigen, kDestino, carpetaImagenes);
    platform::LinuxHost maquina(consola, consola, consola, tabla);
    AnfitrionDelCd anfitrion(maquina, carpetaCd);
    Lib::Modulo lib(anfitrion, consola);

    // The CD's settings, read once for the check and the set.
    generacion::AjustesDelCd ajustes(lib);
    const generacion::ComprobacionCd cd = generacion::ComprobarCd(lib, kOrigen, ajustes);
    if (o.comprobar) {
        if (!(o.json ? InformeJson(carpetaCd, cd) : Informe(carpetaCd, cd))) {
            Decir(QStringLiteral("no se pudo escribir el informe: %1")
                      .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        return cd.Completo() ? 0 : 1;
    }
    if (const std::optional<QString> porQue = SinSitio(cd, carpetaImagenes)) {
        Decir(*porQue);
        return 1;
    }
    consola.Contar(cd);
    generacion::Generacion generacion(consola, lib);
    generacion.TomarComprobacion(cd);
    generacion.cmdComenzar_Click(ajustes);
    return consola.LlegoAlFinal() && consola.Completo(cd) ? 0 : 1;
}

}  // namespace programa
