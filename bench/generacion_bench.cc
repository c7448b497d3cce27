// Times a whole disk set made by the real GenerarDiscos against the least this machine can do
// for the same bytes (the floor: an in-process copy of each file, one sync of the disk's
// folder, then every byte read back from the medium with its cache dropped), and against cp
// with an rm of the destination and a sync -f per disk, the three taking turns round after
// round. Prints the medians of each and of the rounds' ratios, once on /dev/shm (the loop's
// own overhead) and once on the given folder's disk (durability included). Then how long the
// window's thread takes to answer the desktop while a disk is written at a floppy's pace,
// 60 KiB a second, and read back. Last, what asking for the drives costs where no table names
// them.
// Usage: generacion_bench [FOLDER_ON_DISK] [ROUNDS]
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "generation/generacion.h"
#include "platform/host/linux_host.h"
#include "tests/support/answer_probe.h"
#include "tests/support/temp_drives.h"
#include "ui/corrida.h"

namespace {

constexpr int kDiscos = 30;
constexpr int kArchivos = 10;
constexpr int kTamano = 140 * 1024;

void Escribir(const QString& ruta, const QByteArray& datos) {
    QDir().mkpath(QFileInfo(ruta).absolutePath());
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly) || f.write(datos) != datos.size()) {
        std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(ruta));
        std::exit(1);
    }
}

void Vaciar(const QString& carpeta) {
    QDir d(carpeta);
    for (const QString& n : d.entryList(QDir::Files | QDir::Hidden))
        d.remove(n);
}

// The synthetic CD: 30 disks of 10 files of 140 KiB.
void CrearCd(const QString& base) {
    QString discos;
    QByteArray datos(kTamano, Qt::Uninitialized);
    for (int n = 1; n <= kDiscos; ++n) {
        QString lista;
        for (int k = 1; k <= kArchivos; ++k) {
            for (int i = 0; i < kTamano; ++i)
                datos[i] = static_cast<char>((i * 31 + n * 7 + k) & 0xFF);
            const QString nombre = QStringLiteral("ARCH%1.BIN").arg(k, 2, 10, QLatin1Char('0'));
            Escribir(base + QStringLiteral("/cd/Discos/Disco%1/").arg(n) + nombre, datos);
            lista += nombre + u',';
        }
        discos += QStringLiteral("Disco%1=%2\n").arg(n).arg(lista);
    }
    Escribir(base + QStringLiteral("/cd/Archivos.ini"),
             QStringLiteral("[GENERAL]\nCANTIDAD=%1\nDiskPath=\\Discos\\Disco\n[DISCOS]\n%2")
                 .arg(kDiscos)
                 .arg(discos)
                 .toUtf8());
    QDir().mkpath(base + QStringLiteral("/floppy"));
}

double TiempoGenerar(qtltest::TempDrives& drives, const QString& base) {
    qtltest::TestServices s{drives};
    const QString floppy = base + QStringLiteral("/floppy");
    // OK to every prompt; before each disk the "user" inserts an empty one.
    for (int n = 0; n < kDiscos; ++n)
        s.dialogs.Answer(platform::answer::kOk, [&] { Vaciar(floppy); });
    s.dialogs.Answer(platform::answer::kOk);
    QElapsedTimer t;
    t.start();
    generacion::Generacion(s.window, s.lib)
        .GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
    const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
    if (s.dialogs.transcript.size() != kDiscos + 2 || s.window.closed != 1) {
        std::fprintf(stderr, "la generación no terminó como se esperaba: %s\n",
                     qPrintable(s.dialogs.transcript.join(u'\n')));
        std::exit(1);
    }
    return ms;
}

double TiempoCp(const QString& base) {
    QElapsedTimer t;
    t.start();
    for (int n = 1; n <= kDiscos; ++n) {
        const QString orden = QStringLiteral(
                                  "rm -rf '%1/floppy/'* && cp '%1/cd/Discos/Disco%2/'* "
                                  "'%1/floppy/' && sync -f '%1/floppy'")
                                  .arg(base)
                                  .arg(n);
        if (std::system(orden.toLocal8Bit().constData()) != 0)
            std::exit(1);
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

[[noreturn]] void Fallo(const QString& que) {
    std::fprintf(stderr, "suelo: %s\n", qPrintable(que));
    std::exit(1);
}

// The floor: each disk's files copied in-process into the emptied floppy folder, the folder's
// file system synced once, then each file read back from the medium, its cache dropped first.
double TiempoSuelo(const QString& base) {
    const QString floppy = base + QStringLiteral("/floppy");
    std::vector<char> datos(kTamano), leido(kTamano);
    QElapsedTimer t;
    t.start();
    for (int n = 1; n <= kDiscos; ++n) {
        Vaciar(floppy);
        const QString origen = base + QStringLiteral("/cd/Discos/Disco%1/").arg(n);
        QStringList nombres;
        for (int k = 1; k <= kArchivos; ++k) {
            const QString nombre = QStringLiteral("ARCH%1.BIN").arg(k, 2, 10, QLatin1Char('0'));
            nombres << nombre;
            const int in = ::open(QFile::encodeName(origen + nombre).constData(), O_RDONLY);
            const int out = ::open(QFile::encodeName(floppy + u'/' + nombre).constData(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0 || ::read(in, datos.data(), kTamano) != kTamano ||
                ::write(out, datos.data(), kTamano) != kTamano)
                Fallo(nombre);
            ::close(in);
            ::close(out);
        }
        const int carpeta = ::open(QFile::encodeName(floppy).constData(), O_RDONLY | O_DIRECTORY);
        if (carpeta < 0 || ::syncfs(carpeta) != 0)
            Fallo(floppy);
        ::close(carpeta);
        for (const QString& nombre : nombres) {
            const int fd = ::open(QFile::encodeName(floppy + u'/' + nombre).constData(), O_RDONLY);
            if (fd < 0 || ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) != 0 ||
                ::read(fd, leido.data(), kTamano) != kTamano)
                Fallo(nombre);
            ::close(fd);
        }
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Medir(const QString& donde, const char* titulo, int rondas) {
    qtltest::TempDrives drives(donde);
    const QString base = drives.Path(QString());
    if (!QFileInfo(base).isDir()) {
        std::printf("%-34s no disponible (%s)\n", titulo, qPrintable(donde));
        return;
    }
    CrearCd(base);
    drives.MapDrives(QStringLiteral("d:=cd;a:=floppy"));
    drives.PlaceProgram(QStringLiteral("cd"));
    std::vector<double> nuestro, cp, suelo, sobreCp, sobreSuelo;
    for (int i = 0; i < rondas; ++i) {
        // Each goes first in turn, so that none always finds the disk busier; the ratios are
        // taken within the round, so that a disk that slows down or speeds up over the run
        // weighs on every side alike.
        const auto generar = [&] { nuestro.push_back(TiempoGenerar(drives, base)); };
        const auto conCp = [&] { cp.push_back(TiempoCp(base)); };
        const auto elSuelo = [&] { suelo.push_back(TiempoSuelo(base)); };
        if (i % 3 == 0) {
            generar();
            conCp();
            elSuelo();
        } else if (i % 3 == 1) {
            conCp();
            elSuelo();
            generar();
        } else {
            elSuelo();
            generar();
            conCp();
        }
        sobreCp.push_back(nuestro.back() / cp.back());
        sobreSuelo.push_back(nuestro.back() / suelo.back());
    }
    std::printf("%-34s GenerarDiscos %8.1f ms   suelo      %8.1f ms   relación %.2f\n", titulo,
                Mediana(nuestro), Mediana(suelo), Mediana(sobreSuelo));
    std::printf("%-34s                           cp+rm+sync %8.1f ms   relación %.2f\n", "",
                Mediana(cp), Mediana(sobreCp));
}

// One disk of four 60 KiB files written to a medium that takes 60 KiB a second, as a floppy
// does, the run on a thread of its own as the window has it; the desktop asks the window's
// thread once every tenth of a second from the first byte written to the end of the read-back.
void MedirRespuesta(const QString& donde) {
    qtltest::TempDrives drives(donde);
    drives.MapDrives(QStringLiteral("d:=cd;a:=floppy"));
    drives.PlaceProgram(QStringLiteral("cd"));
    drives.MakeFolder(QStringLiteral("floppy"));
    QString lista;
    for (int k = 1; k <= 4; ++k) {
        const QString nombre = QStringLiteral("ARCH%1.BIN").arg(k);
        drives.Write(QStringLiteral("cd/Discos/Disco1/") + nombre,
                     QByteArray(qsizetype{60} * 1024, 'q'));
        lista += nombre + u',';
    }
    drives.Write(
        QStringLiteral("cd/Archivos.ini"),
        ("[GENERAL]\nCANTIDAD=1\nDiskPath=\\Discos\\Disco\n[DISCOS]\nDisco1=" + lista + "\n")
            .toUtf8());
    qtltest::AnswerProbe escritorio;
    drives.system.pace = [&](size_t bytes) {
        escritorio.Start();
        QThread::usleep(static_cast<unsigned long>(bytes * 1000000 / (size_t{60} * 1024)));
    };
    qtltest::TestServices s{drives};
    s.dialogs.Answer(platform::answer::kOk);
    s.dialogs.Answer(platform::answer::kOk, [&] { escritorio.Stop(); });
    QObject ventana;
    QEventLoop bucle;
    ui::Corrida::Iniciar(
        ventana, s.window, s.lib,
        [](generacion::Generacion& g) {
            g.GenerarDiscos(QStringLiteral("d:"), QStringLiteral("a:"));
        },
        [&] { bucle.quit(); });
    bucle.exec();
    QCoreApplication::processEvents();  // the last queries, however late
    const std::vector<double> esperas = escritorio.Waits();
    std::printf("%-34s mediana %6.1f ms   peor %6.1f ms   (%zu consultas)\n",
                "respuesta de la ventana a 60 KiB/s", qtltest::Median(esperas),
                qtltest::Worst(esperas), esperas.size());
}

// What asking for the drives costs the program where no table names them: detecting them (the
// mount tables, udev), as after every box, and taking the kept table between boxes.
void MedirDeteccion() {
    qtltest::ScriptedDialogs cajas;
    cajas.answerer = [](const QString&, int) { return platform::answer::kOk; };
    qtltest::FakeScreen pantalla;
    qtltest::SaidNotices avisos;
    platform::LinuxHost maquina(cajas, pantalla, avisos, QString());
    maquina.Drives();  // libmount's and udev's own start, once
    std::vector<double> detectar;
    QElapsedTimer t;
    for (int i = 0; i < 21; ++i) {
        maquina.dialogs().MsgBox(QStringLiteral("caja"), 0, QStringLiteral("bench"));
        t.start();
        maquina.Drives();
        detectar.push_back(static_cast<double>(t.nsecsElapsed()) / 1e3);
    }
    constexpr int kVeces = 1000;
    t.start();
    for (int i = 0; i < kVeces; ++i)
        maquina.Drives();
    std::printf("%-34s detectadas %8.1f us   guardadas %6.1f us\n",
                "unidades sin tabla, por consulta", Mediana(detectar),
                static_cast<double>(t.nsecsElapsed()) / 1e3 / kVeces);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString disco = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const int rondas = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::printf("%d discos x %d archivos x %d KiB, mediana de %d rondas\n", kDiscos, kArchivos,
                kTamano / 1024, rondas);
    Medir(QStringLiteral("/dev/shm"), "/dev/shm (sobrecarga del bucle)", rondas);
    Medir(disco, qPrintable(QStringLiteral("disco (%1)").arg(disco)), rondas);
    MedirRespuesta(disco);
    MedirDeteccion();
    return 0;
}
