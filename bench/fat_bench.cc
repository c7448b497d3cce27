// Times a set of 30 floppy images of 10 files of 140 KiB written through FatMedium (a format,
// then a checked copy of each file) against the same set made by a shell loop of mformat and
// mcopy, as a user would script it: one mcopy per disk, and one mcopy per file. Prints the medians
// and their ratio, on /dev/shm and on the given folder's disk.
// Usage: fat_bench [FOLDER_ON_DISK] [ROUNDS]
#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/fat/fat_medium.h"
#include "platform/runtime_error.h"

namespace {

constexpr int kDiscos = 30;
constexpr int kArchivos = 10;
constexpr int kTamano = 140 * 1024;

QString Nombre(int k) {
    return QStringLiteral("ARCH%1.BIN").arg(k, 2, 10, QLatin1Char('0'));
}

void CrearCd(const QString& base) {
    QByteArray datos(kTamano, Qt::Uninitialized);
    for (int n = 1; n <= kDiscos; ++n) {
        QDir().mkpath(base + QStringLiteral("/cd/Disco%1").arg(n));
        for (int k = 1; k <= kArchivos; ++k) {
            for (int i = 0; i < kTamano; ++i)
                datos[i] = static_cast<char>((i * 31 + n * 7 + k) & 0xFF);
            QFile f(base + QStringLiteral("/cd/Disco%1/").arg(n) + Nombre(k));
            if (!f.open(QIODevice::WriteOnly) || f.write(datos) != datos.size()) {
                std::fprintf(stderr, "no se pudo escribir %s\n", qPrintable(f.fileName()));
                std::exit(1);
            }
        }
    }
}

void VaciarImagenes(const QString& base) {
    QDir(base + QStringLiteral("/img")).removeRecursively();
    QDir().mkpath(base + QStringLiteral("/img"));
}

double TiempoNuestro(const QString& base) {
    VaciarImagenes(base);
    QElapsedTimer t;
    t.start();
    try {
        for (int n = 1; n <= kDiscos; ++n) {
            const platform::FatServices servicios{platform::DefaultSystemCalls(),
                                                  platform::DefaultChildren()};
            platform::FatMedium disco(base + QStringLiteral("/img/Disco%1.img").arg(n), servicios);
            disco.FormatStandard();
            for (int k = 1; k <= kArchivos; ++k) {
                const QByteArray ruta =
                    QFile::encodeName(base + QStringLiteral("/cd/Disco%1/").arg(n) + Nombre(k));
                const int fd = ::open(ruta.constData(), O_RDONLY | O_CLOEXEC);
                disco.CopyIn(fd, Nombre(k));
                ::close(fd);
            }
        }
    } catch (const platform::RuntimeError& e) {
        std::fprintf(stderr, "FatMedium falló con el error %d\n", e.number());
        std::exit(1);
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// One mcopy for each disk's files, or (`porArchivo`) one for each file, as a script that names
// the files of a list one by one would.
double TiempoShell(const QString& base, bool porArchivo) {
    VaciarImagenes(base);
    const QString copia = porArchivo ? QStringLiteral(
                                           "for f in cd/Disco$n/*; do mcopy -i img/Disco$n.img "
                                           "\"$f\" :: || exit 1; done")
                                     : QStringLiteral("mcopy -i img/Disco$n.img cd/Disco$n/* ::");
    const QString orden = QStringLiteral(
                              "cd '%1' && for n in $(seq 1 %2); do mformat -C -f 1440 -i "
                              "img/Disco$n.img :: && %3 || exit 1; done")
                              .arg(base)
                              .arg(kDiscos)
                              .arg(copia);
    QElapsedTimer t;
    t.start();
    if (std::system(orden.toLocal8Bit().constData()) != 0) {
        std::fprintf(stderr, "el bucle de mformat y mcopy falló\n");
        std::exit(1);
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double Mediana(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Medir(const QString& donde, const char* titulo, int rondas) {
    QTemporaryDir dir(donde + QStringLiteral("/qtl99-fat-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::printf("%s: no disponible\n", titulo);
        return;
    }
    CrearCd(dir.path());
    std::vector<double> conRelectura, shell, shellPorArchivo;
    for (int i = 0; i < rondas; ++i) {
        conRelectura.push_back(TiempoNuestro(dir.path()));
        shell.push_back(TiempoShell(dir.path(), false));
        shellPorArchivo.push_back(TiempoShell(dir.path(), true));
    }
    const double a = Mediana(conRelectura), c = Mediana(shell), d = Mediana(shellPorArchivo);
    std::printf(
        "%s\n  FatMedium con relectura %8.1f ms   relación %.2f   (%.2f con mcopy por archivo)\n"
        "  mformat + mcopy por disco (shell)   %8.1f ms\n"
        "  mformat + mcopy por archivo (shell) %8.1f ms\n",
        titulo, a, a / c, a / d, c, d);
}

}  // namespace

int main(int argc, char** argv) {
    const QString disco = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const int rondas = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    std::printf("%d imágenes x %d archivos x %d KiB, mediana de %d rondas\n", kDiscos, kArchivos,
                kTamano / 1024, rondas);
    Medir(QStringLiteral("/dev/shm"), "/dev/shm", rondas);
    Medir(disco, qPrintable(QStringLiteral("disco (%1)").arg(disco)), rondas);
    return 0;
}
