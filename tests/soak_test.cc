// Many seeded generation runs with random faults, random answers and disks taken out and put
// in at random, onto a folder drive or a drive of floppy images (whose mtools runs fail too).
// After every run: each destination file is absent or an exact copy, every image is a clean
// FAT floppy, the source is unchanged, nothing was written outside the destination, and the
// window is back at rest.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <cerrno>
#include <cstring>
#include <map>
#include <random>

#include "generation/generacion.h"
#include "tests/support/fakes.h"
#include "tests/support/temp_drives.h"

namespace {

using FsOp = qtltest::FaultySystem::Op;
using Falla = qtltest::FaultyChildren::Fault;
namespace r = platform::answer;

constexpr int kErrores[] = {ENOSPC, EIO, EACCES, EROFS, ENOENT, EDQUOT, ENOMEDIUM};

// Every file below `folder` (relative name -> SHA-1), skipping the folders in `except`.
std::map<QString, QByteArray> Huellas(const QString& folder, const QStringList& except = {}) {
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(folder).relativeFilePath(path);
        if (std::any_of(except.begin(), except.end(),
                        [&](const QString& e) { return rel.startsWith(e); }))
            continue;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out[rel] = QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1);
    }
    return out;
}

// Random bytes, made once, that the files of every seed are cut from.
const QByteArray& Ruido() {
    static const QByteArray ruido = [] {
        std::mt19937_64 rng(42);
        QByteArray b(3000000, Qt::Uninitialized);
        for (qsizetype i = 0; i + 8 <= b.size(); i += 8) {
            const uint64_t v = rng();
            std::memcpy(b.data() + i, &v, 8);
        }
        return b;
    }();
    return ruido;
}

// The files of a floppy image (name -> SHA-1), read with mtools; fails the test when fsck.fat
// finds the image unclean.
std::map<QString, QByteArray> HuellasDeImagen(const QString& imagen) {
    std::map<QString, QByteArray> out;
    const auto [limpia, informe] =
        qtltest::Herramienta(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), imagen});
    EXPECT_EQ(limpia, 0) << "imagen no limpia: " << imagen.toStdString() << informe.constData();
    const QByteArray lista =
        qtltest::Herramienta(QStringLiteral("mdir"), {"-a", "-b", "-i", imagen, "::/"}).second;
    for (const QByteArray& linea : lista.split('\n')) {
        if (!linea.startsWith("::/") || linea.size() <= 3)
            continue;
        const QString nombre = QString::fromUtf8(linea.mid(3));
        out[nombre] = QCryptographicHash::hash(
            qtltest::Herramienta(QStringLiteral("mtype"), {"-i", imagen, "::/" + nombre}).second,
            QCryptographicHash::Sha1);
    }
    return out;
}

class Ensayo {
  public:
    Ensayo(uint32_t semilla, bool imagenes) : rng_(semilla), imagenes_(imagenes) {
        drives_.MapDrives(imagenes ? QStringLiteral("d:=cd,optical;a:=floppy,images")
                                   : QStringLiteral("d:=cd,optical;a:=floppy"));
        drives_.PlaceProgram(QStringLiteral("cd"));
        drives_.MakeFolder(QStringLiteral("floppy"));
        drives_.Write(QStringLiteral("testigo/no-tocar.txt"), "fuera de toda unidad");
        QByteArray discos;
        for (int n = 1; n <= 3; ++n) {
            discos += "Disco" + QByteArray::number(n) + "=";
            for (int k = 1; k <= 3; ++k) {
                const QString nombre = QStringLiteral("D%1F%2.BIN").arg(n).arg(k);
                const int tamano = std::uniform_int_distribution<int>(0, 1500000)(rng_);
                const int desde = std::uniform_int_distribution<int>(
                    0, static_cast<int>(Ruido().size() - tamano))(rng_);
                const QByteArray datos = Ruido().mid(desde, tamano);
                drives_.Write(QStringLiteral("cd/Discos/Disco%1/").arg(n) + nombre, datos);
                fuente_[nombre] = QCryptographicHash::hash(datos, QCryptographicHash::Sha1);
                discos += nombre.toLatin1() + ",";
            }
            discos += "\n";
        }
        drives_.Write(QStringLiteral("cd/Archivos.ini"),
                      "[GENERAL]\nCANTIDAD=3\nDiskPath=\\Discos\\Disco\n[DISCOS]\n" + discos);
        cd_ = Huellas(drives_.Path(QStringLiteral("cd")));
        fuera_ =
            Huellas(drives_.Path(QString()), {QStringLiteral("floppy"), QStringLiteral("sacado")});
    }

    // One run of the start button, with faults and answers drawn from the seed.
    void Correr() {
        qtltest::TestServices s{drives_};
        drives_.system.fault = ([this](FsOp op) { return Fallo(op); });
        drives_.children.fault = [this](const platform::ChildRun& run) { return FallaDe(run); };
        s.dialogs.answerer = [this](const QString& texto, int estilo) {
            return Responder(texto, estilo);
        };
        generacion::Generacion(s.window, s.lib).cmdComenzar_Click();
        drives_.system.fault = {};
        drives_.children.fault = {};
        ReinsertarSiFalta();

        EXPECT_EQ(s.screen.pointer, 0);
        EXPECT_FALSE(s.window.waitShown);
        EXPECT_TRUE(s.window.ProgressHidden()) << s.dialogs.transcript.join(u"\n").toStdString();
        EXPECT_EQ(s.window.closed, s.dialogs.transcript.contains(qtltest::BoxLine(
                                       64, QStringLiteral("Quintarel"),
                                       QStringLiteral("Generación de discos Finalizada")))
                                       ? 1
                                       : 0);
        // Every file on every disk, in the drive or taken out, is a whole, exact copy.
        std::map<QString, QByteArray> escritos;
        for (const auto& [rel, huella] :
             Huellas(drives_.Path(QString()), {QStringLiteral("cd"), QStringLiteral("testigo")})) {
            // Finished images, and the temporary one of a disk cut short.
            if (imagenes_ && (rel.endsWith(u".img") || rel.endsWith(u".tmp"))) {
                for (const auto& [nombre, h] : HuellasDeImagen(drives_.Path(rel)))
                    escritos[rel + QStringLiteral("::") + nombre] = h;
            } else {
                escritos[rel] = huella;
            }
        }
        for (const auto& [rel, huella] : escritos) {
            const QString nombre = rel.section(u':', -1).section(u'/', -1);
            ASSERT_TRUE(fuente_.count(nombre))
                << "archivo ajeno en un disco: " << rel.toStdString();
            EXPECT_EQ(huella, fuente_.at(nombre))
                << "copia distinta del original: " << rel.toStdString();
        }
        EXPECT_EQ(Huellas(drives_.Path(QStringLiteral("cd"))), cd_) << "el CD cambió";
        EXPECT_EQ(
            Huellas(drives_.Path(QString()), {QStringLiteral("floppy"), QStringLiteral("sacado")}),
            fuera_)
            << "se escribió fuera del disco de destino";
        faltas += static_cast<int>(std::count(s.dialogs.transcript.begin(),
                                              s.dialogs.transcript.end(), QStringLiteral("Beep")));
    }

    int fallosInyectados = 0;
    int fallosDeMtools = 0;
    int corridasDeMtools = 0;  // mtools runs started
    int faltas = 0;

  private:
    bool Azar(double p) { return std::bernoulli_distribution(p)(rng_); }

    int Fallo(FsOp op) {
        // The clean-up of a failed copy is left to work: a disk that fails that too keeps a
        // hidden leftover, which is not what this test looks for.
        if (op == FsOp::kUnlink)
            return 0;
        // Looks at a path (the name walk, whether a drive is there) are left to work too: their
        // failures are the paths tests' affair.
        if (op == FsOp::kStat)
            return 0;
        // A seed of images reaches mtools before anything fails, so that every seed it counts
        // puts mtools to the test.
        if (imagenes_ && corridasDeMtools == 0)
            return 0;
        // Between two files the disk may be taken out of the drive.
        if ((op == FsOp::kOpenSource || op == FsOp::kListFolder) && Azar(0.02))
            SacarDisco(/*sinReponer=*/true);
        if (Azar(0.03)) {
            ++fallosInyectados;
            return kErrores[std::uniform_int_distribution<int>(0, std::size(kErrores) - 1)(rng_)];
        }
        return 0;
    }

    // mtools may fail to start, die, fail, hang or stop short, except when it clears up after a
    // failed copy: a disk that fails that too keeps the entry, which this test does not look for.
    Falla FallaDe(const platform::ChildRun& run) {
        ++corridasDeMtools;
        if (run.arguments.size() > 2 && run.arguments[2] == "mdel")
            return Falla::kNone;
        if (!Azar(0.05))
            return Falla::kNone;
        ++fallosDeMtools;
        return static_cast<Falla>(std::uniform_int_distribution<int>(1, 5)(rng_));
    }

    // The disk in a: goes to the pile of written disks; an empty one goes in unless told not to.
    void SacarDisco(bool sinReponer = false) {
        const QString floppy = drives_.Path(QStringLiteral("floppy"));
        if (QFileInfo::exists(floppy))
            QDir().rename(floppy, drives_.Path(QStringLiteral("sacado%1").arg(++sacados_)));
        if (!sinReponer)
            drives_.MakeFolder(QStringLiteral("floppy"));
    }
    void ReinsertarSiFalta() {
        if (!QFileInfo::exists(drives_.Path(QStringLiteral("floppy"))))
            drives_.MakeFolder(QStringLiteral("floppy"));
    }

    int Responder(const QString& /*texto*/, int estilo) {
        if (++cajas_ > 300)
            return platform::style::ButtonSet(estilo) == platform::style::kOk
                       ? r::kOk
                       : r::kCancel;  // a run always ends
        switch (estilo) {
            case 65:  // insert disk n
                if (Azar(0.5))
                    SacarDisco();
                ReinsertarSiFalta();
                return Azar(0.93) || (imagenes_ && corridasDeMtools == 0) ? r::kOk : r::kCancel;
            case 53:  // not empty
                if (Azar(0.8))
                    SacarDisco();
                return Azar(0.9) ? r::kRetry : r::kCancel;
            case 37:  // drive not available, or disk full
                if (Azar(0.6))
                    SacarDisco();
                ReinsertarSiFalta();
                return Azar(0.85) ? r::kRetry : r::kCancel;
            default:
                return r::kOk;
        }
    }

    std::mt19937 rng_;
    bool imagenes_;
    qtltest::TempDrives drives_;
    std::map<QString, QByteArray> fuente_;
    std::map<QString, QByteArray> cd_;
    std::map<QString, QByteArray> fuera_;
    int sacados_ = 0;
    int cajas_ = 0;
};

TEST(EnsayoDeFallosTest, NothingLostNothingWrittenOutsideWhateverFails) {
    const uint32_t base = qEnvironmentVariableIsSet("QTL99_SEMILLA")
                              ? qEnvironmentVariableIntValue("QTL99_SEMILLA")
                              : 1999;
    const int rondas = qEnvironmentVariableIsSet("QTL99_RONDAS")
                           ? qEnvironmentVariableIntValue("QTL99_RONDAS")
                           : 150;
    QElapsedTimer reloj;
    reloj.start();
    int hechas = 0, fallos = 0, fallosMtools = 0, corridasMtools = 0, cajas = 0, conImagenes = 0;
    for (int i = 0; i < rondas && reloj.elapsed() < 60000; ++i, ++hechas) {
        const uint32_t semilla = base + i;
        SCOPED_TRACE("semilla " + std::to_string(semilla) +
                     " (repetir con QTL99_SEMILLA=" + std::to_string(semilla) + " QTL99_RONDAS=1)");
        // One seed in three writes floppy images.
        const bool imagenes = semilla % 3 == 0;
        conImagenes += imagenes ? 1 : 0;
        Ensayo ensayo(semilla, imagenes);
        for (int corrida = 0; corrida < 3; ++corrida)
            ensayo.Correr();  // the user may press Comenzar again
        fallos += ensayo.fallosInyectados;
        fallosMtools += ensayo.fallosDeMtools;
        corridasMtools += ensayo.corridasDeMtools;
        if (imagenes) {
            EXPECT_GT(ensayo.corridasDeMtools, 0) << "mtools nunca se ejecutó en imágenes";
        }
        cajas += ensayo.faltas;
        if (HasFailure())
            break;
    }
    std::printf(
        "ensayo: %d semillas x 3 corridas (%d en imágenes, %d ejecuciones de mtools), %d fallos "
        "de llamadas y %d de mtools inyectados, %d pitidos\n",
        hechas, conImagenes, corridasMtools, fallos, fallosMtools, cajas);
    EXPECT_GT(fallos, 0);
    EXPECT_GT(fallosMtools, 0);
}

}  // namespace
