// The command line's options: read GNU-style, the usage and the help, and whether the
// arguments ask for the command line or for the windows on a CD.
#include "programa/opciones.h"

#include <getopt.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "programa/terminal.h"

namespace programa {

namespace {

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

}  // namespace

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
std::optional<QString> CdSolo(const QStringList& propios) {
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

std::optional<QString> SoloUnCd(int argc, char** argv) {
    return CdSolo(Propios(argc, argv));
}

bool PideLineaDeOrdenes(int argc, char** argv) {
    const QStringList propios = Propios(argc, argv);
    // A CD that is neither a folder nor a file is the command line's to refuse, saying why; it
    // is looked at as the windows would open it.
    const std::optional<QString> cd = CdDeLasVentanas(argc, argv);
    return !propios.isEmpty() && !(cd && (QFileInfo(*cd).isDir() || QFileInfo(*cd).isFile()));
}

std::optional<QString> CdDeLasVentanas(int argc, char** argv) {
    const std::optional<QString> cd = SoloUnCd(argc, argv);
    if (!cd)
        return std::nullopt;
    return QDir::cleanPath(QDir::current().absoluteFilePath(*cd));
}

}  // namespace programa
