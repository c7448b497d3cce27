// qtl99-cd, what the menu entry starts: finds the installation CD among the drives and
// becomes the CD's own QTL99, whose program folder (and so its settings file, its setup
// program and its tour) is then the CD's.
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
#include "programa/avisos.h"

namespace {

// The roots of the CDs in their drives now, by drive letter: only optical media are taken,
// never a stick that happens to carry the same two files. The launcher's one use of the table.
QStringList RaicesDeCdPorLetra(platform::Host& anfitrion) {
    QStringList raices;
    for (const auto& unidad : anfitrion.Drives()) {
        if (unidad->info().kind == platform::DriveKind::kOptical && unidad->IsReady() &&
            !unidad->Root().isEmpty())
            raices << unidad->Root();
    }
    return raices;
}

// The installation CD found: its program, and whether it may be run from where it is (a file
// that is not executable, or a medium mounted without the right to run programs, may not).
struct CdEncontrado {
    QString programa;
    bool ejecutable = false;
};

// The first CD that holds the program beside its settings file. The settings file's name is
// matched without regard to case, as the drive check matches it.
std::optional<CdEncontrado> CdDeInstalacion(platform::Host& anfitrion) {
    for (const QString& raiz : RaicesDeCdPorLetra(anfitrion)) {
        const QFileInfo programa(QDir(raiz).filePath(QStringLiteral("QTL99")));
        const bool conAjustes =
            !QDir(raiz).entryList({QStringLiteral("Archivos.ini")}, QDir::Files).isEmpty();
        if (programa.isFile() && conAjustes) {
            const QByteArray ruta = QFile::encodeName(programa.absoluteFilePath());
            return CdEncontrado{programa.absoluteFilePath(), ::access(ruta.constData(), X_OK) == 0};
        }
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
    std::optional<CdEncontrado> cd = CdDeInstalacion(anfitrion);
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
                std::fprintf(stderr, "qtl99-cd: %s no puede ejecutarse (¿montado con noexec?)\n",
                             qPrintable(cd->programa));
            if (anfitrion.dialogs().MsgBox(
                    texto, platform::style::kRetryCancel + platform::style::kExclamation,
                    QStringLiteral("Quintarel")) != platform::answer::kRetry) {
                return 0;
            }
            cd = CdDeInstalacion(anfitrion);
        }
    }
    const QString programa = cd->programa;
    // In the CD's root, as when the desktop runs the CD's autorun file.
    const QByteArray raiz = QFile::encodeName(QFileInfo(programa).absolutePath());
    if (::chdir(raiz.constData()) != 0)
        std::perror("qtl99-cd: chdir");
    const QByteArray ruta = QFile::encodeName(programa);
    char nombre[] = "QTL99";
    char* const argumentos[] = {nombre, nullptr};
    ::execv(ruta.constData(), argumentos);
    // A medium mounted without the right to run programs, for one.
    std::fprintf(stderr, "qtl99-cd: no se pudo iniciar %s: %s\n", ruta.constData(),
                 std::strerror(errno));
    return 1;
}
