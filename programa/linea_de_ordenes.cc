// The command line: its options, and the same check and disk-set loop as the windows on the
// same drives, shown on a terminal (Consola) in place of the generation window and its boxes.
// Nothing here needs a display.
#include "programa/linea_de_ordenes.h"

#include <getopt.h>

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
#include "programa/terminal.h"

namespace programa {

namespace {

// The set is read from the CD as drive d: and written as images to drive a:.
const QString kOrigen = QStringLiteral("d:");
const QString kDestino = QStringLiteral("a:");

const char kUso[] =
    "Uso: QTL99 [--imagenes CARPETA | --comprobar [--json]] [--cd CD]\n"
    "     QTL99 [--cd] CD\n";

int MalUso(const QString& texto) {
    Decir(texto);
    std::fputs(kUso, stderr);
    Escribir(stderr, QStringLiteral("Pruebe «QTL99 --help» para más información.\n"));
    return 2;
}

bool Ayuda() {
    if (!Escribir(stdout, QString::fromLatin1(kUso)))
        return false;
    return Escribir(
        stdout,
        QStringLiteral(
            "Sin opciones, abre la ventana del programa; con solo un CD, la abre sobre ese CD.\n"
            "\n"
            "  --imagenes CARPETA  escribe el juego de disquetes del CD como imágenes Disco1.img,\n"
            "                      Disco2.img... en CARPETA (la crea si falta), sin ventana\n"
            "  --comprobar         comprueba el Archivos.ini del CD: qué copiará cada disco, qué "
            "no,\n"
            "                      qué falta y si cabe en un disquete de 1,44 MB\n"
            "      --json          el informe de --comprobar en JSON\n"
            "  --cd CD             el CD: una carpeta, un CD montado o una imagen de CD (.iso, o\n"
            "                      .cue con su .bin), leída sin montarla (sin él, la carpeta del\n"
            "                      programa)\n"
            "  -h, --help          muestra esta ayuda y termina\n"
            "  -V, --version       muestra la versión y termina\n"
            "\n"
            "Estado de salida: 0 hecho (o el juego se generaría completo), 1 falló (o no se\n"
            "generaría completo), 2 uso incorrecto.\n"));
}

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

// Takes a folder name of the command line into `carpeta`. A name whose bytes are no text in the
// system's encoding would name another folder once read as text: it is refused, said, and the
// status to end with comes back.
std::optional<int> Carpeta(const char* dada, std::optional<QString>& carpeta) {
    const QString nombre = QFile::decodeName(dada);
    if (QFile::encodeName(nombre) != QByteArray(dada)) {
        QString visible;  // each byte that is not plain ASCII text as \xNN
        for (const char* c = dada; *c != '\0'; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            visible += byte >= 0x20 && byte < 0x7F
                           ? QString(QLatin1Char(*c))
                           : QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        }
        Decir(QStringLiteral("el nombre de carpeta «%1» no es texto válido en la codificación del "
                             "sistema; cámbielo o use otra carpeta")
                  .arg(visible));
        return 1;
    }
    carpeta = nombre;
    return std::nullopt;
}

// What is wrong with the option getopt_long refused last. A long one is the argument before
// optind; a letter (optopt) in a group such as -xy is still in the argument at optind while the
// group has letters left.
QString OpcionNoValida(int argc, char** argv, const option* largas) {
    const char* dada = argv[optind - 1];
    const char* actual = optind < argc ? argv[optind] : nullptr;
    if (optopt > 0 && optopt < 128 && actual != nullptr && actual[0] == '-' && actual[1] != '-' &&
        std::strchr(actual + 1, optopt) != nullptr)
        dada = actual;
    const QString argumento = QString::fromLocal8Bit(dada);
    if (!argumento.startsWith(QStringLiteral("--")))
        return QStringLiteral("opción no válida «-%1»").arg(QChar(optopt));
    const QString nombre = argumento.section(u'=', 0, 0);
    if (optopt != 0)  // a known option given a value it does not take
        return QStringLiteral("la opción «%1» no lleva argumento").arg(nombre);
    QStringList posibles;
    for (const option* l = largas; l->name != nullptr; ++l) {
        if (QString::fromLatin1(l->name).startsWith(nombre.mid(2)))
            posibles << QStringLiteral("--") + QString::fromLatin1(l->name);
    }
    if (posibles.size() > 1) {
        return QStringLiteral("la opción «%1» es ambigua: puede ser %2")
            .arg(nombre, posibles.join(QStringLiteral(", ")));
    }
    return QStringLiteral("opción no válida «%1»").arg(nombre);
}

struct Opciones {
    std::optional<QString> imagenes;
    std::optional<QString> cd;
    bool comprobar = false;
    bool json = false;
};

// Reads the options GNU-style (long options, their unambiguous beginnings, "--cd=X"); the
// status to end with when they do not make a command, nothing when they do.
std::optional<int> LeerOpciones(int argc, char** argv, Opciones& o) {
    enum { kImagenes = 256, kComprobar, kCd, kJson };
    static const option kLargas[] = {
        {"imagenes", required_argument, nullptr, kImagenes},
        {"comprobar", no_argument, nullptr, kComprobar},
        {"cd", required_argument, nullptr, kCd},
        {"json", no_argument, nullptr, kJson},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    int c = 0;
    while ((c = ::getopt_long(argc, argv, ":hV", kLargas, nullptr)) != -1) {
        switch (c) {
            case kImagenes:
                if (o.imagenes)
                    return MalUso(QStringLiteral("--imagenes va una sola vez"));
                if (const std::optional<int> estado = Carpeta(optarg, o.imagenes))
                    return estado;
                break;
            case kComprobar:
                o.comprobar = true;
                break;
            case kCd:
                if (o.cd)
                    return MalUso(QStringLiteral("--cd va una sola vez"));
                if (const std::optional<int> estado = Carpeta(optarg, o.cd))
                    return estado;
                break;
            case kJson:
                o.json = true;
                break;
            case 'h':
                return Ayuda() ? 0 : 1;
            case 'V':
                return Escribir(stdout, QStringLiteral("QTL99 " QTL99_VERSION "\n")) ? 0 : 1;
            case ':':
                return MalUso(QStringLiteral("la opción «%1» necesita un argumento")
                                  .arg(QString::fromLocal8Bit(argv[optind - 1])));
            default:
                return MalUso(OpcionNoValida(argc, argv, kLargas));
        }
    }
    if (optind < argc)
        return MalUso(QStringLiteral("sobra «%1»").arg(QString::fromLocal8Bit(argv[optind])));
    if (o.imagenes && o.comprobar)
        return MalUso(QStringLiteral("--imagenes y --comprobar no van juntas"));
    if (!o.imagenes && !o.comprobar)
        return MalUso(QStringLiteral("falta --imagenes CARPETA o --comprobar"));
    if (o.json && !o.comprobar)
        return MalUso(QStringLiteral("--json va solo con --comprobar"));
    if (o.imagenes && o.imagenes->isEmpty())
        return MalUso(QStringLiteral("--imagenes necesita una carpeta"));
    if (o.cd && o.cd->isEmpty())
        return MalUso(QStringLiteral("--cd necesita un CD"));
    return std::nullopt;
}

}  // namespace

namespace {

// The arguments that are not the window toolkit's own (-platform X, -style=Y, -reverse...).
QStringList Propios(int argc, char** argv) {
    // The window toolkit's own options, with or without a value of their own.
    static const QStringList kConValor = {QStringLiteral("platform"),
                                          QStringLiteral("platformpluginpath"),
                                          QStringLiteral("platformtheme"),
                                          QStringLiteral("plugin"),
                                          QStringLiteral("display"),
                                          QStringLiteral("geometry"),
                                          QStringLiteral("qwindowgeometry"),
                                          QStringLiteral("title"),
                                          QStringLiteral("qwindowtitle"),
                                          QStringLiteral("icon"),
                                          QStringLiteral("qwindowicon"),
                                          QStringLiteral("style"),
                                          QStringLiteral("stylesheet"),
                                          QStringLiteral("session"),
                                          QStringLiteral("name")};
    static const QStringList kSinValor = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                          QStringLiteral("nograb"), QStringLiteral("dograb"),
                                          QStringLiteral("sync")};
    QStringList propios;
    for (int i = 1; i < argc; ++i) {
        const QString dado = QString::fromLocal8Bit(argv[i]);
        QString a = dado;
        if (!a.startsWith(u'-') || a == QStringLiteral("-") || a == QStringLiteral("--")) {
            propios << dado;
            continue;
        }
        a.remove(0, a.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (kSinValor.contains(a) ||
            (kConValor.contains(a.section(u'=', 0, 0)) && a.contains(u'=')))
            continue;
        if (kConValor.contains(a) && i + 1 < argc) {
            ++i;
            continue;
        }
        propios << dado;
    }
    return propios;
}

// The CD of "--cd X", "--cd=X" or a lone "X" (as the desktop hands a file): the windows on it.
std::optional<QString> SoloUnCd(const QStringList& propios) {
    if (propios.size() == 2 && propios[0] == QStringLiteral("--cd") && !propios[1].isEmpty())
        return propios[1];
    if (propios.size() == 1 && propios[0].startsWith(QStringLiteral("--cd=")) &&
        propios[0].size() > 5)
        return propios[0].mid(5);
    if (propios.size() == 1 && !propios[0].startsWith(u'-'))
        return propios[0];
    return std::nullopt;
}

}  // namespace

bool PideLineaDeOrdenes(int argc, char** argv) {
    const QStringList propios = Propios(argc, argv);
    // A CD that is neither a folder nor a file is the command line's to refuse, saying why.
    const std::optional<QString> cd = SoloUnCd(propios);
    return !propios.isEmpty() && !(cd && (QFileInfo(*cd).isDir() || QFileInfo(*cd).isFile()));
}

std::optional<QString> CdDeLasVentanas(int argc, char** argv) {
    const std::optional<QString> cd = SoloUnCd(Propios(argc, argv));
    if (!cd)
        return std::nullopt;
    return QDir::cleanPath(QDir::current().absoluteFilePath(*cd));
}

int LineaDeOrdenes(int argc, char** argv) {
    // A pipe whose reader has gone is told by a failed write, never by a signal that would end
    // the program in the middle of a disk.
    std::signal(SIGPIPE, SIG_IGN);
    // The windows asked for on a CD that cannot be one: why, and no window.
    if (const std::optional<QString> cd = SoloUnCd(Propios(argc, argv))) {
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
    generacion.cmdComenzar_Click(ajustes);
    return consola.LlegoAlFinal() && consola.Completo(cd) ? 0 : 1;
}

}  // namespace programa
