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

#include "platform/host.h"
#include "platform/qt_host.h"

namespace {

// The roots of the drives that have a medium now, by drive letter. The launcher's one use of
// the drive table.
QStringList RaicesListasPorLetra(platform::Host& anfitrion) {
    QStringList raices;
    for (const auto& unidad : anfitrion.Drives()) {
        if (unidad->IsReady() && !unidad->Root().isEmpty())
            raices << unidad->Root();
    }
    return raices;
}

// The program of the first medium that holds it beside its settings file, or the empty text.
// The settings file's name is matched without regard to case, as the drive check matches it.
QString ProgramaDelCd(platform::Host& anfitrion) {
    for (const QString& raiz : RaicesListasPorLetra(anfitrion)) {
        const QFileInfo programa(QDir(raiz).filePath(QStringLiteral("QTL99")));
        const bool conAjustes =
            !QDir(raiz).entryList({QStringLiteral("Archivos.ini")}, QDir::Files).isEmpty();
        if (programa.isFile() && programa.isExecutable() && conAjustes)
            return programa.absoluteFilePath();
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    platform::QtDialogs dialogos;
    platform::QtScreen pantalla;
    const QByteArray tabla = qgetenv("QTL99_DRIVES");
    platform::LinuxHost anfitrion(dialogos, pantalla,
                                  tabla.isNull() ? QString() : QString::fromLocal8Bit(tabla));
    QString programa = ProgramaDelCd(anfitrion);
    if (programa.isEmpty()) {
        // No window toolkit until a box is needed; it is gone again before the program starts.
        QApplication aplicacion(argc, argv);
        while ((programa = ProgramaDelCd(anfitrion)).isEmpty()) {
            if (anfitrion.dialogs().MsgBox(
                    QStringLiteral("Inserte el CD de instalación en la unidad de CD"),
                    platform::style::kRetryCancel + platform::style::kExclamation,
                    QStringLiteral("Quintarel")) != platform::answer::kRetry) {
                return 0;
            }
        }
    }
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
