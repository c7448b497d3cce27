// qtl99-cd, what the menu entry starts: finds the installation CD among the drives and
// becomes the CD's own QTL99, whose program folder (and so its settings file, its setup
// program and its tour) is then the CD's; a CD that carries none, or a CD image it is handed,
// is opened by the installed QTL99 (QTL99 --cd).
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/drives/drive.h"
#include "platform/host/linux_host.h"
#include "platform/qt_host.h"
#include "platform/runtime_error.h"
#include "programa/avisos.h"

namespace {

// The installation CD found: the program to become, whether it may be run from where it is (a
// file that is not executable, or a medium mounted without the right to run programs, may not),
// and, for the installed program, the CD it is to open.
struct CdEncontrado {
    QString programa;
    bool ejecutable = false;
    QString cd;  // empty: the CD's own program, run from its root
};

// This program's own QTL99, installed beside it.
QString QtlInstalado() {
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")))
        .absoluteDir()
        .filePath(QStringLiteral("QTL99"));
}

CdEncontrado AbrirConElInstalado(const QString& cd) {
    const QString instalado = QtlInstalado();
    return {instalado, ::access(QFile::encodeName(instalado).constData(), X_OK) == 0, cd};
}

// The first CD in its drive now, by drive letter, whose root holds the settings file (its name
// matched without regard to case, as the drive check matches it): its own QTL99 when it carries
// one, else the installed one on it (a CD made for another system, or a CD image). Only optical
// drives are taken, never a stick that happens to carry the same file.
std::optional<CdEncontrado> CdDeInstalacion(platform::Host& anfitrion) {
    for (const auto& unidad : anfitrion.Drives()) {
        if (unidad->info().kind != platform::DriveKind::kOptical || !unidad->IsReady())
            continue;
        QString ajustes;
        try {
            ajustes = unidad->Dir(
                platform::ParseDrivePath(unidad->name() + QStringLiteral("\\Archivos.ini")));
        } catch (const platform::RuntimeError&) {
            continue;
        }
        if (ajustes.isEmpty())
            continue;
        const QString raiz = unidad->Root();
        const QFileInfo programa(QDir(raiz).filePath(QStringLiteral("QTL99")));
        if (!raiz.isEmpty() && programa.isFile()) {
            const QByteArray ruta = QFile::encodeName(programa.absoluteFilePath());
            return CdEncontrado{
                programa.absoluteFilePath(), ::access(ruta.constData(), X_OK) == 0, {}};
        }
        return AbrirConElInstalado(raiz.isEmpty() ? unidad->info().root : raiz);
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    platform::QtDialogs dialogos;
    platform::QtScreen pantalla;
    const QByteArray tabla = qgetenv("QTL99_DRIVES");
    programa::Avisos avisos;
    platform::LinuxHost anfitrion(dialogos, pantalla, avisos,
                                  tabla.isNull() ? QString() : QString::fromLocal8Bit(tabla));
    // A CD given (a folder, a mounted CD, an image: the desktop's "Open with"): the installed
    // program opens it.
    std::optional<CdEncontrado> cd =
        argc > 1 ? AbrirConElInstalado(QFileInfo(QFile::decodeName(argv[1])).absoluteFilePath())
                 : CdDeInstalacion(anfitrion);
    if (!cd || !cd->ejecutable) {
        // No window toolkit until a box is needed; it is gone again before the program starts.
        QApplication aplicacion(argc, argv);
        while (!cd || !cd->ejecutable) {
            const QString texto =
                !cd ? QStringLiteral("Inserte el CD de instalación en la unidad de CD")
                    : QStringLiteral("No se puede ejecutar el programa del CD de instalación");
            if (!cd)
                std::fprintf(stderr, "qtl99-cd: no hay ningún CD de instalación en las unidades\n");
            else
                std::fprintf(stderr, "qtl99-cd: %s no puede ejecutarse (¿%s?)\n",
                             qPrintable(cd->programa),
                             cd->cd.isEmpty() ? "montado con noexec" : "instalado a medias");
            if (anfitrion.dialogs().MsgBox(
                    texto, platform::style::kRetryCancel + platform::style::kExclamation,
                    QStringLiteral("Quintarel")) != platform::answer::kRetry) {
                return 0;
            }
            cd = CdDeInstalacion(anfitrion);
        }
    }
    const QString programa = cd->programa;
    const QByteArray ruta = QFile::encodeName(programa);
    char nombre[] = "QTL99";
    char opcion[] = "--cd";
    QByteArray elCd = QFile::encodeName(cd->cd);
    if (cd->cd.isEmpty()) {
        // In the CD's root, as when the desktop runs the CD's autorun file.
        const QByteArray raiz = QFile::encodeName(QFileInfo(programa).absolutePath());
        if (::chdir(raiz.constData()) != 0)
            std::perror("qtl99-cd: chdir");
        char* const argumentos[] = {nombre, nullptr};
        ::execv(ruta.constData(), argumentos);
    } else {
        char* const argumentos[] = {nombre, opcion, elCd.data(), nullptr};
        ::execv(ruta.constData(), argumentos);
    }
    // A medium mounted without the right to run programs, for one.
    std::fprintf(stderr, "qtl99-cd: no se pudo iniciar %s: %s\n", ruta.constData(),
                 std::strerror(errno));
    return 1;
}
