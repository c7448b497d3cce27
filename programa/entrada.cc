// The process entry, the one place that wires every layer together: it builds the host of this
// machine and hands it to the shared services and the windows.
#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <cerrno>

#include "app/lib.h"
#include "platform/diskservice/udisks.h"
#include "platform/host/linux_host.h"
#include "platform/qt_host.h"
#include "programa/avisos.h"
#include "programa/linea_de_ordenes.h"
#include "programa/opciones.h"
#include "ui/evento.h"
#include "ui/ventanas.h"

int main(int argc, char** argv) {
    // A descriptor 0, 1 or 2 left closed would be taken by the first file opened, and what is
    // meant for the terminal written into that file. /dev/null holds it, open for reading only,
    // so that a write to it still fails as it did.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int nulo = ::open("/dev/null", O_RDONLY);
            if (nulo >= 0 && nulo != fd) {
                ::dup2(nulo, fd);
                ::close(nulo);
            }
        }
    }
    // With options of its own the program works without windows, and no display is needed.
    if (programa::PideLineaDeOrdenes(argc, argv))
        return programa::LineaDeOrdenes(argc, argv);

    QApplication aplicacion(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("QTL99"));
    QCoreApplication::setOrganizationName(QStringLiteral("."));
    QCoreApplication::setApplicationVersion(QStringLiteral(QTL99_VERSION));
    ui::PrepararAplicacion();

    platform::QtDialogs dialogos;
    platform::QtScreen pantalla;
    // The user's own drive table, when there is one; otherwise the drives are detected.
    const QByteArray tabla = qgetenv("QTL99_DRIVES");
    // Floppy drives are found, and their disks mounted, through the desktop's disk service on
    // the system bus; where there is none, through udev.
    platform::FloppySources disqueteras;
    disqueteras.disks = std::make_shared<platform::UDisksClient>();
    programa::Avisos avisos;
    platform::LinuxHost anfitrion(dialogos, pantalla, avisos,
                                  tabla.isNull() ? QString() : QString::fromLocal8Bit(tabla),
                                  std::move(disqueteras));
    // "QTL99 --cd X": the windows as if the program ran from the CD X (a folder or an image).
    if (const std::optional<QString> cd = programa::CdDeLasVentanas(argc, argv))
        anfitrion.GiveProgramCd(*cd);
    // The windows, and the standard module that reaches them; the program ends when no window
    // is loaded any more.
    ui::Programa programa;
    programa.alDescargarTodas = [] { QCoreApplication::quit(); };
    Lib::Modulo lib(anfitrion, programa);
    programa.Iniciar(lib);

    ui::Evento(anfitrion, [&lib] { lib.Main(); });
    if (programa.cargadas == 0)
        return 0;
    return QApplication::exec();
}
