#include "generation/comprobacion.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "app/lib.h"
#include "generation/ajustes.h"
#include "platform/drives/drive.h"
#include "platform/fat/fat_names.h"
#include "platform/host/files.h"
#include "platform/paths.h"
#include "platform/runtime_error.h"
#include "platform/system_calls.h"
#include "platform/val.h"

namespace generacion {

namespace {

using platform::RuntimeError;
namespace errors = platform::errors;

// Room for any value the settings file can hold, to see what the lookup's limit leaves out.
constexpr int kValorEntero = 1 << 16;

// The name as FAT keeps it: trailing blanks and dots are dropped on the way to the floppy.
QString NombreGuardado(const QString& nombre) {
    return platform::WithoutTrailingBlanksAndDots(nombre);
}

bool CaracterDeNombreCorto(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
           QStringView(u"!#$%&()-@^_`{}~").contains(c);
}

// One part of a short name: its characters allowed there, all in one letter case.
bool ParteCorta(const QString& parte, int maximo) {
    if (parte.size() > maximo)
        return false;
    bool mayusculas = false;
    bool minusculas = false;
    for (const QChar c : parte) {
        if (!CaracterDeNombreCorto(c))
            return false;
        mayusculas = mayusculas || c.isUpper();
        minusculas = minusculas || c.isLower();
    }
    return !(mayusculas && minusculas);
}

// The name an entry of a list gives on the disk: the last one of its path as the path
// resolves ("..\\..\\LEEME.TXT" lands in the root as LEEME.TXT); nothing when the path goes into
// a folder of the disk, which a floppy's copy refuses (76).
std::optional<QString> NombreEnElDisco(const QString& nombre) {
    const platform::DrivePath ruta = platform::ParseDrivePath(QStringLiteral("a:\\") + nombre);
    if (ruta.names.size() > 1)
        return std::nullopt;
    if (ruta.names.isEmpty() || ruta.endsWithSeparator)
        return nombre;  // no name at all: the copy's own error
    return ruta.names.front();
}

// The number copying the source `ruta` would raise before writing anything; 0 when it is a
// regular file, whose size goes to `bytes` and the file it is, links resolved, to `archivo`.
int ErrorDelOrigen(platform::Host& host, const QString& ruta, const QString& nombre, qint64& bytes,
                   QString& archivo, QString& causa) {
    if (NombreGuardado(nombre).isEmpty())
        return errors::kPathFileAccess;
    // Read once, whole, as its copy will be: a file whose reads fail is named here.
    platform::DriveFile leido;
    if (const int numero = platform::ReadDriveFile(host, ruta, &leido, nullptr); numero != 0) {
        causa = leido.cause;
        return numero;
    }
    bytes = leido.bytes;
    archivo = leido.identity;  // the file itself, whatever name or link reaches it
    return 0;
}

// The whole value of a key, past the lookup's limit (nullptr: the section's key names).
QString ValorEntero(Lib::Modulo& lib, const QString& seccion, const QString* clave) {
    QString buffer(kValorEntero, QLatin1Char(' '));
    const int n =
        platform::GetPrivateProfileString(lib.host(), seccion, clave, QString(), buffer,
                                          kValorEntero, lib.RutaAplicacion() + Lib::kArchivoIni);
    return buffer.left(n);
}

// A name that fits 8.3 (in either letter case: its short name is itself), in its parts, upper
// case; nothing for a long one.
std::optional<std::pair<QString, QString>> PartesCortas(const QString& nombre) {
    const QString guardado = NombreGuardado(nombre).toUpper();
    const qsizetype punto = guardado.indexOf(u'.');
    const QString base = punto < 0 ? guardado : guardado.left(punto);
    const QString extension = punto < 0 ? QString() : guardado.mid(punto + 1);
    if (base.isEmpty() || !ParteCorta(base, 8) || !ParteCorta(extension, 3))
        return std::nullopt;
    return std::pair{base, extension};
}

// The start of the short name the floppy makes up for a long name (upper case, no blanks nor
// dots, what a short name cannot hold as "_"), and its extension's first three characters.
std::pair<QString, QString> BaseDelAlias(const QString& nombre) {
    const QString guardado = NombreGuardado(nombre).toUpper();
    const qsizetype punto = guardado.lastIndexOf(u'.');
    const auto limpia = [](QStringView parte, qsizetype maximo) {
        QString s;
        for (const QChar c : parte) {
            if (c == u' ' || c == u'.')
                continue;
            s += CaracterDeNombreCorto(c) ? c : QChar(u'_');
            if (s.size() == maximo)
                break;
        }
        return s;
    };
    return {limpia(punto <= 0 ? QStringView(guardado) : QStringView(guardado).left(punto), 8),
            punto <= 0 ? QString() : limpia(QStringView(guardado).mid(punto + 1), 3)};
}

// Why the short name `corto` (BASE~N.EXT) may be the one the floppy makes up for a long name of
// the same disk, whatever their order; empty when it cannot be.
QString ChocaConUnAlias(const QString& corto, const QStringList& nombres) {
    const std::optional<std::pair<QString, QString>> partes = PartesCortas(corto);
    const qsizetype tilde = partes ? partes->first.indexOf(u'~') : -1;
    if (tilde <= 0 || tilde + 1 >= partes->first.size())
        return {};
    const QString numero = partes->first.mid(tilde + 1);
    for (const QChar c : numero) {
        if (!c.isDigit())
            return {};  // not the form of a made-up name
    }
    const QString inicio = partes->first.left(tilde);
    for (const QString& entrada : nombres) {
        const std::optional<QString> otro = NombreEnElDisco(entrada);
        if (!otro || PartesCortas(*otro) || NombreGuardado(*otro).isEmpty())
            continue;
        // The made-up name keeps as much of the long one as leaves room for "~" and the number.
        const auto [base, extension] = BaseDelAlias(*otro);
        const qsizetype largo = std::min<qsizetype>(base.size(), 7 - numero.size());
        if (inicio == base.left(largo) && extension == partes->second) {
            return QStringLiteral(
                       "puede ser el nombre corto que el diskette da a «%1», y uno de "
                       "los dos se perdería; cámbielo de nombre")
                .arg(*otro);
        }
    }
    return {};
}

DiscoComprobado ComprobarDisco(Lib::Modulo& lib, const QString& origen, const QString& prefijo,
                               int numero, const QString& lista) {
    DiscoComprobado disco;
    disco.numero = numero;
    disco.carpeta = origen + prefijo + QString::number(numero) + QStringLiteral("\\");
    // Each entry ends with its comma, as the loop reads the list.
    QString resto;
    const QStringList nombres = EntradasDeLaLista(lista, &resto);
    // The names the disk holds so far, and the file of the CD each one is.
    QHash<QString, QString> vistos;
    for (const QString& nombre : nombres) {
        EntradaComprobada e;
        e.nombre = nombre;
        QString archivo;
        e.error = ErrorDelOrigen(lib.host(), disco.carpeta + e.nombre, e.nombre, e.bytes, archivo,
                                 e.causa);
        const std::optional<QString> enDisco = NombreEnElDisco(e.nombre);
        if (!enDisco && e.error == 0) {
            e.error = errors::kPathNotFound;
            e.enCarpeta = true;
        }
        e.motivoFat = enDisco ? MotivoNombreFat(*enDisco) : QString();
        if (e.motivoFat.isEmpty() && enDisco)
            e.motivoFat = ChocaConUnAlias(*enDisco, nombres);
        const QString clave = NombreGuardado(enDisco.value_or(e.nombre)).toCaseFolded();
        // A name listed again is copied again over the copy before; only two files of the CD
        // that land on one name of the floppy lose one of them.
        if (const auto visto = vistos.constFind(clave); visto != vistos.cend()) {
            if (e.motivoFat.isEmpty() && !archivo.isEmpty() && !visto->isEmpty() &&
                *visto != archivo) {
                e.motivoFat = QStringLiteral(
                    "otro archivo del CD se guarda en el diskette con "
                    "este mismo nombre, y uno de los dos se perdería");
            }
            e.repetido = e.motivoFat.isEmpty();
        } else {
            vistos.insert(clave, archivo);
        }
        // Copied again, it is written beside the copy before until it replaces it: its room
        // counts again.
        if (e.error == 0 && e.motivoFat.isEmpty()) {
            e.entradas = EntradasDeDirectorio(e.nombre);
            e.grupos = static_cast<int>(platform::StandardFloppyClustersFor(e.bytes));
            disco.entradasRaiz += e.entradas;
            disco.grupos += e.grupos;
        }
        disco.entradas.append(e);
    }

    // What the list loses: the whole value tells whether the lookup's limit cut it.
    const QString clave = QStringLiteral("Disco") + QString::number(numero);
    const QString entero = ValorEntero(lib, QStringLiteral("DISCOS"), &clave);
    if (entero.size() > lista.size() && entero.startsWith(lista)) {
        for (const QString& nombre : entero.mid(lista.size() - resto.size()).split(u',')) {
            if (!nombre.isEmpty())
                disco.cortados.append(nombre);
        }
    } else {
        disco.sinComa = resto;
    }
    return disco;
}

}  // namespace

bool DiscoComprobado::Completo() const {
    if (!sinComa.isEmpty() || !cortados.isEmpty() || entradas.isEmpty() || !Cabe())
        return false;
    for (const EntradaComprobada& e : entradas) {
        if (e.error != 0 || !e.motivoFat.isEmpty())
            return false;
    }
    return true;
}

bool ComprobacionCd::Completo() const {
    if (!hayArchivoIni || errorCantidad != 0 || cantidad < 1 || !discosSinLista.isEmpty() ||
        !clavesNoLeidas.isEmpty())
        return false;
    for (const DiscoComprobado& d : discos) {
        if (!d.Completo())
            return false;
    }
    return true;
}

ComprobacionCd ComprobarCd(Lib::Modulo& lib, const QString& origen) {
    AjustesDelCd ajustes(lib);
    return ComprobarCd(lib, origen, ajustes);
}

ComprobacionCd ComprobarCd(Lib::Modulo& lib, const QString& origen, AjustesDelCd& ajustes) {
    platform::Host& host = lib.host();
    ComprobacionCd cd;
    try {
        const QString guardado = platform::Dir(
            host, origen + QStringLiteral("\\") + Lib::kArchivoIni, platform::kAllAttributes);
        cd.hayArchivoIni = guardado == Lib::kArchivoIni;
        cd.archivoIniGuardado = cd.hayArchivoIni ? QString() : guardado;
    } catch (const RuntimeError&) {
        cd.hayArchivoIni = false;
    }
    cd.textoCantidad = ajustes.TextoCantidad();
    cd.prefijo = ajustes.Prefijo();
    try {
        cd.cantidad = platform::CInt(platform::Val(cd.textoCantidad));
        // The disk number cannot go past the last 16-bit value after that disk.
        if (cd.cantidad == INT16_MAX)
            cd.errorCantidad = errors::kOverflow;
    } catch (const RuntimeError& error) {
        cd.errorCantidad = error.number();
    }

    const QString discos = QStringLiteral("DISCOS");
    for (int n = 1; n <= cd.cantidad; ++n) {
        const std::optional<QString>& lista = ajustes.Lista(n);
        if (!lista)
            cd.discosSinLista.append(n);
        cd.discos.append(ComprobarDisco(lib, origen, cd.prefijo, n, lista.value_or(QString())));
    }

    // Keys the loop never asks for: beyond the count, or not written as it asks (Disco01).
    static const QRegularExpression kClaveDeDisco(QStringLiteral("^disco([1-9][0-9]*)$"),
                                                  QRegularExpression::CaseInsensitiveOption);
    for (const QString& clave : ValorEntero(lib, discos, nullptr).split(QChar(0))) {
        if (clave.isEmpty())
            continue;
        const QRegularExpressionMatch m = kClaveDeDisco.match(clave);
        bool leida = false;
        if (m.hasMatch()) {
            const int n = m.captured(1).size() <= 5 ? m.captured(1).toInt() : 0;
            leida = n >= 1 && n <= cd.cantidad;
        }
        if (!leida)
            cd.clavesNoLeidas.append(clave);
    }
    return cd;
}

QString MotivoNombreFat(const QString& nombre) {
    const platform::FatNameCheck regla = platform::CheckFatName(nombre);
    switch (regla.fault) {
        case platform::FatNameFault::kNone:
            break;
        case platform::FatNameFault::kEmpty:
            return QStringLiteral("nombre vacío");
        case platform::FatNameFault::kTooLong:
            return QStringLiteral("más de 255 caracteres");
        case platform::FatNameFault::kControl:
            return QStringLiteral("lleva un carácter de control");
        case platform::FatNameFault::kReserved:
            return QStringLiteral("lleva «%1», que FAT no admite").arg(regla.what);
        case platform::FatNameFault::kNotInCodePage:
            return QStringLiteral(
                       "lleva «%1», que no está en la página de códigos del disquete (850)")
                .arg(regla.what);
        case platform::FatNameFault::kDeviceName:
            return QStringLiteral("es el nombre de un dispositivo de DOS (%1)").arg(regla.what);
    }
    return {};
}

int EntradasDeDirectorio(const QString& nombre) {
    const QString guardado = NombreGuardado(nombre);
    const qsizetype punto = guardado.indexOf(u'.');
    const QString base = punto < 0 ? guardado : guardado.left(punto);
    const QString extension = punto < 0 ? QString() : guardado.mid(punto + 1);
    if (!base.isEmpty() && ParteCorta(base, 8) && ParteCorta(extension, 3))
        return 1;
    // The long name in pieces of 13, then the short entry the system makes up for it.
    return static_cast<int>((guardado.size() + 12) / 13) + 1;
}

}  // namespace generacion
